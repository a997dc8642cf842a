#include "Common/Strings/NSStringExtensions.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>

#include <sys/stat.h>

#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "ZovTranslatorManager.h"

namespace vistel::NSStringExtensions {
namespace {

const ZovClass& nsStringClass()
{
    static const ZovClass descriptor("NSString", &ZovClass::nsObject());
    return descriptor;
}

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cutAtCharacterBoundary(const std::string& text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Reads exactly `count` digits at `position`.
bool readDigits(std::string_view text, std::size_t& position, std::size_t count, int& value)
{
    if (position + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[position + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    position += count;
    return true;
}

bool readChar(std::string_view text, std::size_t& position, char expected)
{
    if (position >= text.size() || text[position] != expected)
        return false;
    ++position;
    return true;
}

std::optional<Date> parseDate(std::string_view text)
{
    std::size_t p = 0;
    int year, month, day, hour, minute, second;
    if (!readDigits(text, p, 4, year))
        return std::nullopt;
    const char separator = p < text.size() ? text[p] : '\0';
    if (separator != '-' && separator != ':')
        return std::nullopt;
    if (!readChar(text, p, separator) || !readDigits(text, p, 2, month) || !readChar(text, p, separator)
        || !readDigits(text, p, 2, day) || !readChar(text, p, ' ') || !readDigits(text, p, 2, hour)
        || !readChar(text, p, ':') || !readDigits(text, p, 2, minute) || !readChar(text, p, ':')
        || !readDigits(text, p, 2, second))
        return std::nullopt;
    int offsetMinutes = 0;
    if (p < text.size()) {
        int zone;
        if (!readChar(text, p, ' ') || p >= text.size() || (text[p] != '+' && text[p] != '-'))
            return std::nullopt;
        const int sign = text[p++] == '-' ? -1 : 1;
        if (!readDigits(text, p, 4, zone) || p != text.size() || zone % 100 >= 60 || zone / 100 > 23)
            return std::nullopt;
        offsetMinutes = sign * ((zone / 100) * 60 + zone % 100);
    }
    static constexpr std::array<int, 12> daysInMonth {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    if (day > daysInMonth[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0))
        return std::nullopt;
    const std::int64_t seconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400
                                 + hour * 3600 + minute * 60 + second - offsetMinutes * 60;
    return Date {static_cast<double>(seconds)};
}

} // namespace

bool uniquePathIsTaken(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::string createUniqueFilePathFromPath(const std::string& path, int uniquePathParam)
{
    if (!uniquePathIsTaken(path))
        return path;

    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A leading dot starts a hidden name, a trailing one ends a name: neither opens an extension.
    const std::string bareExtension = pathExtension(name);
    const std::string extension = bareExtension.empty() ? std::string() : "." + bareExtension;
    const std::string base = name.substr(0, name.size() - extension.size());

    const char* const selector = "createUniqueFilePathFromPath:uniquePathParam:";
    const auto candidate = [&](const std::string& suffix) {
        const std::size_t room = suffix.size() < MaxFileNameBytes ? MaxFileNameBytes - suffix.size() : 0;
        return folder + cutAtCharacterBoundary(base, room) + suffix;
    };

    if (uniquePathParam == 0) {
        const std::string first = candidate(ZOV_TRANSLATE_AS(nsStringClass(), " copy", selector) + extension);
        if (!uniquePathIsTaken(first))
            return first;
    }
    const std::string numbered = uniquePathParam == 0 ? ZOV_TRANSLATE_AS(nsStringClass(), " copy %d%@", selector)
                                                      : std::string(" %d%@");
    for (long long number = 1;; ++number) {
        const std::string next = candidate(format(numbered, number, extension));
        if (!uniquePathIsTaken(next))
            return next;
    }
}

std::string stringWithNewUUID()
{
    // One generator per thread, seeded from the system's entropy source.
    thread_local std::mt19937_64 generator([] {
        std::random_device device;
        std::seed_seq seed {device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }());
    std::array<unsigned char, 16> bytes;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        std::uint64_t word = generator();
        for (std::size_t j = 0; j < 8; ++j, word >>= 8)
            bytes[i + j] = static_cast<unsigned char>(word);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1],
                  bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

Date defaultDate()
{
    return *parseDate("2009-01-22 21:00:12 +0000");
}

std::optional<Date> stringToDate(std::string_view text, bool useDefaultDate)
{
    std::optional<Date> date;
    if (!text.empty())
        date = parseDate(text);
    if (!date && useDefaultDate)
        return defaultDate();
    return date;
}

} // namespace vistel::NSStringExtensions
