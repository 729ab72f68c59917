#pragma once
// The cloud preferences record: one JSON object holding every synced setting in the form its
// transfer type gives it ("bool" as 1 or 0, "int" as an integer, "string" as a string).

#include <cstddef>
#include <string>
#include <string_view>

#include "model/result.h"
#include "model/settings_store.h"

namespace orlavine::sync {

// Largest preferences record read; the real one is well under a kilobyte.
inline constexpr std::size_t kMaxPreferencesBytes = 64u * 1024u;

// The record filled from the settings. A "string" key without a string value is left out.
std::string encodePreferences(const SettingsStores& settings);

// Writes each key the record holds into its store; keys it lacks, or holds in another form, are
// left as they are. Fails, changing nothing, when the record is not a JSON object.
Status applyPreferences(std::string_view record, SettingsStores& settings);

}  // namespace orlavine::sync
