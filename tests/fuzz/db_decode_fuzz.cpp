// Feeds arbitrary bytes to the database decoder. Whatever it accepts must survive being
// encoded and decoded again unchanged; anything else must be refused with a message.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "db_round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<std::string> problem = orlavine::testing::roundTripProblem(text)) {
        std::fprintf(stderr, "database round trip failed: %s\n", problem->c_str());
        std::abort();
    }
    return 0;
}
