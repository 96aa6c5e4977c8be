#pragma once
// A local wall-clock date-time without time zone, to the nanosecond.
#include <cstdint>
#include <string>

namespace kdcore::utils {

struct LocalDateTime {
    std::int32_t year = 1970;
    std::uint32_t month = 1;   // 1..12
    std::uint32_t day = 1;     // 1..31
    std::uint32_t hour = 0;    // 0..23
    std::uint32_t minute = 0;  // 0..59
    std::uint32_t second = 0;  // 0..60 (a leap second keeps its 60)
    std::uint32_t nanosecond = 0;

    auto operator<=>(const LocalDateTime&) const = default;

    // "2024-03-05 14:07:09", then "." and 3, 6 or 9 digits when the fraction is not zero (the
    // fewest that show it exactly). Years outside 0..9999 carry their sign.
    std::string to_string() const;

    // The current time in the process's time zone (TZ, else the system's zone file), re-read on
    // every call. Panics when the local time cannot be represented.
    static LocalDateTime now();
};

}  // namespace kdcore::utils
