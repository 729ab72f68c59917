// libFuzzer target: whole UserCSS documents through readUserCSS and rereadUserCSS, and what they
// read through writeUserCSS and back. Nothing may crash or hang, and well-formed UTF-8 must stay
// well-formed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto problem = orlavine::testing::usercssProblem(input)) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        std::abort();
    }
    return 0;
}
