#pragma once
// Live preview: the desktop program sends the working copies of styles being edited to the
// browser host over the wormhole ("stylePreview"), and the host shows them in place of the saved
// styles, in memory only. The message is one line "orlavine-preview 1 PID" and then a library
// text holding the previewed styles; an empty list ends every preview. Previews of a program that
// no longer runs are ignored, so a crash never leaves pages on an unsaved copy.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"
#include "model/result.h"

namespace orlavine {

inline constexpr const char* kStylePreview = "stylePreview";
// Previews are a few styles being edited; anything larger is refused.
inline constexpr std::size_t kMaxPreviewBytes = std::size_t{64} * 1024 * 1024;

struct StylePreviews {
    pid_t sender = 0;
    std::vector<styleContainer> styles;
};

std::string encodePreviews(const StylePreviews& previews);
Result<StylePreviews> decodePreviews(std::string_view bytes);

// The previews that hold now: none when the message does not decode or its sender has ended.
std::vector<styleContainer> livePreviews(std::string_view bytes);

// `db` with each preview in place of the style of its uniqueID. A preview takes the saved
// style's switch, so switching a style off in the list still shows; previews of styles that are
// not in the library are dropped.
styleDatabase withPreviews(styleDatabase db, const std::vector<styleContainer>& previews);

}  // namespace orlavine
