#include "Common/Strings/NSStringDevices.h"

#include <limits>

#include "Common/Strings/NSURLExtentions.h"

namespace vistel::NSStringDevices {

namespace {

constexpr std::string_view CameraScheme = "ICA";

// Reads a decimal integer the lenient way text-to-number conversions of the platform do:
// leading blanks, an optional sign, digits up to the first other character, clamped to the
// 64-bit range instead of overflowing. No digits read as 0.
std::int64_t leadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';

    // Accumulate as a negative number so that INT64_MIN is reachable.
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value < (min + digit) / 10)
            return negative ? min : max;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == min ? max : -value;
}

} // namespace

bool isVolumePath(std::string_view path)
{
    return !path.empty() && path.front() == '/';
}

bool isICADevicePath(std::string_view path)
{
    if (path.empty() || path.front() != 'I')
        return false;
    const std::optional<std::string> scheme = NSURLExtentions::protocol(path);
    return scheme && *scheme == CameraScheme;
}

std::int64_t icaDeviceID(std::string_view path)
{
    if (!isICADevicePath(path))
        return 0;
    const std::optional<std::string> host = NSURLExtentions::hostReplaced(path);
    return host ? leadingInteger(*host) : 0;
}

std::optional<std::string> icaDevicePath(std::string_view path)
{
    if (!isICADevicePath(path))
        return std::nullopt;
    // Without a host the "mount point" would name no camera at all.
    const std::optional<std::string> host = NSURLExtentions::hostReplaced(path);
    if (!host)
        return std::nullopt;
    return std::string(CameraScheme) + ":/" + *host;
}

std::optional<std::string> icaPathWithoutDevice(std::string_view path)
{
    if (!isICADevicePath(path))
        return std::nullopt;
    return NSURLExtentions::path(path);
}

} // namespace vistel::NSStringDevices
