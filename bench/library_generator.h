#pragma once
// A made-up but realistic style library for the benchmarks: the same bytes on every run and every
// machine, so figures taken on different days compare.

#include <cstddef>
#include <cstdint>

#include "model/records.h"

namespace orlavine::bench {

// How the library is made up. The defaults give about 20 MB of encoded JSON.
struct LibraryShape {
    std::uint64_t seed = 0x6f726c6176696e65;  // fixed: the library must not change between runs
    std::size_t styles = 2000;
    // Styles of about 300 KB of code (whole-site themes), spread over the list.
    std::size_t largeStyles = 10;
    // One style in this many is of medium size (10-40 KB); the rest are small (1-10 KB).
    std::size_t mediumEvery = 20;
};

// Builds the library. The same shape always gives the same records, field for field: the
// random numbers come from a fixed generator, never from the standard distributions (whose
// output differs between standard libraries) nor from the clock.
styleDatabase generateLibrary(const LibraryShape& shape = {});

}  // namespace orlavine::bench
