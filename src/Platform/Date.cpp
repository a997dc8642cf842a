// Date: seconds since 1970 and the ISO 8601 text property lists store dates as.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "Platform/Value.h"
#include "Platform/ValueDetail.h"

namespace vistel {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian civil date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) noexcept
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool isLeapYear(std::int64_t y) noexcept
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) noexcept
{
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[m - 1];
}

// The dates the four-digit ISO 8601 form can express: 0000-01-01T00:00:00Z to 9999-12-31T23:59:59Z.
constexpr double FirstWritableSecond = -62167219200.0;
constexpr double LastWritableSecond = 253402300799.0;

} // namespace

bool valuedetail::isWritableDate(const Date& date) noexcept
{
    const double seconds = std::floor(date.secondsSince1970);
    return std::isfinite(seconds) && seconds >= FirstWritableSecond && seconds <= LastWritableSecond;
}

Date Date::now()
{
    return fromTimePoint(std::chrono::system_clock::now());
}

Date Date::fromTimePoint(std::chrono::system_clock::time_point point)
{
    using namespace std::chrono;
    return Date {duration_cast<duration<double>>(point.time_since_epoch()).count()};
}

std::chrono::system_clock::time_point Date::timePoint() const
{
    using namespace std::chrono;
    // The clock counts nanoseconds in 64 bits (about the years 1678 to 2262); a date beyond that
    // answers the clock's nearest end, since converting it would overflow. NaN is the epoch.
    const double ticks = duration<double, system_clock::period>(duration<double>(secondsSince1970)).count();
    if (std::isnan(ticks))
        return system_clock::time_point();
    if (ticks >= 9223372036854775808.0)
        return system_clock::time_point::max();
    if (ticks < -9223372036854775808.0)
        return system_clock::time_point::min();
    return system_clock::time_point(system_clock::duration(static_cast<system_clock::rep>(ticks)));
}

std::string Date::iso8601() const
{
    // Whole seconds, rounded down so that a date and its text stay in the same second; dates
    // outside the four-digit years are clamped to the nearest expressible one.
    double seconds = std::floor(secondsSince1970);
    if (std::isnan(seconds))
        seconds = 0;
    seconds = std::clamp(seconds, FirstWritableSecond, LastWritableSecond);
    const auto whole = static_cast<std::int64_t>(seconds);
    std::int64_t days = whole / 86400;
    std::int64_t rest = whole % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    // The year is within 0000-9999 after clamping.
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

std::optional<Date> Date::fromIso8601(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SS[.fraction]Z
    std::size_t pos = 0;
    auto digits = [&](std::size_t count, unsigned& out) {
        if (pos + count > text.size())
            return false;
        unsigned value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text[pos + i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        pos += count;
        out = value;
        return true;
    };
    auto literal = [&](char c) {
        if (pos >= text.size() || text[pos] != c)
            return false;
        ++pos;
        return true;
    };
    unsigned year, month, day, hour, minute, second;
    if (!digits(4, year) || !literal('-') || !digits(2, month) || !literal('-') || !digits(2, day) ||
        !literal('T') || !digits(2, hour) || !literal(':') || !digits(2, minute) || !literal(':') ||
        !digits(2, second))
        return std::nullopt;
    double fraction = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        double scale = 0.1;
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            fraction += (text[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start)
            return std::nullopt;
    }
    if (!literal('Z') || pos != text.size())
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    const std::int64_t days = daysFromCivil(year, month, day);
    const double seconds = static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second) + fraction;
    return Date {seconds};
}

} // namespace vistel
