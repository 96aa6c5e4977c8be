#include "kdcore/utils/local_time.hpp"

#include <fmt/format.h>

#include <ctime>

#include "kdinstr/utils/panic.hpp"

namespace kdcore::utils {

std::string LocalDateTime::to_string() const {
    std::string out =
        (year >= 0 && year <= 9999) ? fmt::format("{:04}", year) : fmt::format("{:+05}", year);
    out += fmt::format("-{:02}-{:02} {:02}:{:02}:{:02}", month, day, hour, minute, second);
    if (nanosecond == 0) return out;
    if (nanosecond % 1'000'000 == 0) return out + fmt::format(".{:03}", nanosecond / 1'000'000);
    if (nanosecond % 1'000 == 0) return out + fmt::format(".{:06}", nanosecond / 1'000);
    return out + fmt::format(".{:09}", nanosecond);
}

LocalDateTime LocalDateTime::now() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    // glibc reads TZ only once unless asked again; a process that changes it must see the change.
    ::tzset();
    std::tm tm{};
    if (::localtime_r(&ts.tv_sec, &tm) == nullptr)
        kdinstr::utils::panic("Local time out of range for `NaiveDateTime`");
    LocalDateTime out;
    out.year = tm.tm_year + 1900;
    out.month = static_cast<std::uint32_t>(tm.tm_mon + 1);
    out.day = static_cast<std::uint32_t>(tm.tm_mday);
    out.hour = static_cast<std::uint32_t>(tm.tm_hour);
    out.minute = static_cast<std::uint32_t>(tm.tm_min);
    out.second = static_cast<std::uint32_t>(tm.tm_sec);
    out.nanosecond = static_cast<std::uint32_t>(ts.tv_nsec);
    return out;
}

}  // namespace kdcore::utils
