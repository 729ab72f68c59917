#pragma once
// The JSON form of the style records: compact, absent optionals never written, unknown members
// ignored, and any missing required member or wrong type fails the whole decode.

#include <boost/json/value.hpp>
#include <cstddef>
#include <string>
#include <string_view>

#include "model/records.h"
#include "model/result.h"

namespace orlavine {

// Largest database text the decoder accepts. Real libraries are tens of megabytes.
inline constexpr std::size_t kMaxDatabaseBytes = std::size_t{512} * 1024 * 1024;
// Deepest nesting the decoder accepts; the records themselves nest about eight levels.
inline constexpr std::size_t kMaxJsonDepth = 64;

Result<styleDatabase> decodeDatabase(std::string_view json);
std::string encodeDatabase(const styleDatabase& db);

Result<styleContainer> decodeStyle(std::string_view json);
std::string encodeStyle(const styleContainer& style);

// The catalogue form of a style (the record held in styleData).
Result<styleJSON> decodeStyleJSON(std::string_view json);
Result<styleJSON> decodeStyleJSON(const boost::json::value& json);
boost::json::value styleJSONToJson(const styleJSON& record);

}  // namespace orlavine
