#pragma once
// Points in time as stored in the library: seconds since 2001-01-01 00:00:00 UTC.

#include <chrono>
#include <compare>

namespace orlavine {

struct Date {
    // Seconds (with fraction) since the reference date 2001-01-01 00:00:00 UTC.
    double sinceReference = 0;

    // Seconds between the Unix epoch and the reference date.
    static constexpr double kReferenceFromUnix = 978307200.0;

    static Date now();
    static Date fromUnixSeconds(double unixSeconds) {
        return Date{unixSeconds - kReferenceFromUnix};
    }
    // The "distant past" fallback of date settings.
    static constexpr Date distantPast() { return Date{-63114076800.0}; }

    double unixSeconds() const { return sinceReference + kReferenceFromUnix; }

    auto operator<=>(const Date&) const = default;
};

}  // namespace orlavine
