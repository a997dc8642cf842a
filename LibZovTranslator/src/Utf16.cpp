#include "Utf16.h"

#include <cstdint>

#include "Platform/Utf8.h"

namespace vistel::utf16 {

std::optional<std::u16string> fromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int extra;
        char32_t cp;
        char32_t minimum;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (n - i <= static_cast<std::size_t>(extra))
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = p[i + k];
            if ((cc & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

void appendCodePoint(std::string& out, char32_t cp)
{
    if (!appendUtf8(out, cp))
        appendUtf8(out, 0xFFFD);
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            appendCodePoint(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else {
            appendCodePoint(out, u); // lone surrogates turn into U+FFFD there
        }
    }
    return out;
}

std::size_t unitCount(std::string_view text)
{
    std::size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) == 0x80)
            continue; // continuation byte
        units += (c & 0xF8) == 0xF0 ? 2 : 1;
    }
    return units;
}

} // namespace vistel::utf16
