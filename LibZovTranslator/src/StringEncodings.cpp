#include "StringEncodings.h"

#include <algorithm>
#include <climits>

namespace vistel {

namespace {

constexpr std::uint32_t kEncodings[] = {
    1,          // ASCII
    2,          // legacy 8-bit set of old property lists
    3,          // Japanese EUC
    4,          // UTF-8
    5,          // ISO Latin 1
    6,          // Symbol
    7,          // non-lossy ASCII
    8,          // Shift JIS
    9,          // ISO Latin 2
    10,         // Unicode (UTF-16)
    11,         // code page 1251 (Cyrillic)
    12,         // code page 1252 (Latin 1)
    13,         // code page 1253 (Greek)
    14,         // code page 1254 (Turkish)
    15,         // code page 1250 (Latin 2)
    21,         // ISO 2022 JP
    30,         // Roman (8-bit)
    0x90000100, // UTF-16 big endian
    0x94000100, // UTF-16 little endian
    0x8C000100, // UTF-32
    0x98000100, // UTF-32 big endian
    0x9C000100, // UTF-32 little endian
};

} // namespace

std::span<const std::uint32_t> availableStringEncodings()
{
    return kEncodings;
}

bool isAvailableStringEncoding(std::uint32_t encoding)
{
    return std::find(std::begin(kEncodings), std::end(kEncodings), encoding) != std::end(kEncodings);
}

std::int32_t intValueOfString(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'
                               || text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturate; keeps room for the sign
    }
    if (negative)
        return value > INT_MAX ? INT_MIN : static_cast<std::int32_t>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<std::int32_t>(value);
}

} // namespace vistel
