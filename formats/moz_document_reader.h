#pragma once
// Reading CSS whose rule groups are wrapped in @-moz-document blocks: cutting the text into
// chunks at each block, finding each block's header and code by brace matching, and parsing the
// header's rule functions into a section's four rule lists. A line-and-character reader built
// on plain string searches: it knows block comments, line comments and braces, nothing of CSS
// strings. Nothing here fails: malformed input gives fewer sections.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/records.h"

namespace orlavine {

inline constexpr std::string_view kMozDocument = "@-moz-document";

// Cuts `text` before every "@-moz-document" that is not inside a /* */ comment and not at the
// very start. Chunks are trimmed; text that is blank gives one empty chunk. The views point into
// `text`.
std::vector<std::string_view> splitMozDocumentChunkViews(std::string_view text);
// The same chunks as strings.
std::vector<std::string> splitMozDocumentChunks(std::string_view text);

// How a block's code treats CR. Documents read for the library join a CR LF pair into one line
// end; compiler output that is cut back into sections turns every CR into LF on its own, so CR LF
// becomes two line ends.
enum class CodeLineEnds { joinCrLf, eachCrIsLf };

struct MozDocumentBlock {
    std::vector<styleSection> sections;         // none, one or two
    std::optional<std::string> pendingComment;  // to put before the next block's code
};

// Reads one chunk that begins with "@-moz-document" (or, for the first chunk of a document,
// any text that has a header before a brace). `preprocessor` matters only for "stylus", whose
// blocks may go without braces. A comment that followed the previous block comes in as
// `pendingComment` and is put before this block's code.
MozDocumentBlock readMozDocumentBlock(std::string_view chunk, std::string_view preprocessor,
                                      std::optional<std::string> pendingComment,
                                      CodeLineEnds lineEnds = CodeLineEnds::joinCrLf);

// Parses a block header such as @-moz-document domain("a.example"), url-prefix('https://b/')
// into a section whose code is `code`, unchanged. As in CSS, white space, line breaks and
// /* */ comments (outside quoted values) between the parts of the rule functions count for
// nothing: "regexp(\n  'x'\n)" reads as "regexp('x')", and ")" and "," separate rules with
// white space between them too.
styleSection parseMozDocumentRules(std::string_view header, std::string code);

}  // namespace orlavine
