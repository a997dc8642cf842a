#pragma once
// UTF-8 <-> UTF-16 conversions for the text readers of the localiser.
//
// The readers of string tables, sources and project files work on UTF-16 units, so that the
// rules "a name character is a unit whose low 8 bits are a letter, digit or _" and "at least
// N units left" mean the same as for the files' original tools.

#include <optional>
#include <string>
#include <string_view>

namespace vistel::utf16 {

// Strict decoding: nullopt for malformed UTF-8 (overlong forms, surrogates, truncation).
std::optional<std::u16string> fromUtf8(std::string_view text);

// Lone surrogates become U+FFFD.
std::string toUtf8(std::u16string_view text);

// Appends one code point (surrogates and values above U+10FFFF become U+FFFD).
void appendCodePoint(std::string& out, char32_t codePoint);

// Length of a UTF-8 text in UTF-16 units (the text is assumed valid; malformed bytes count one each).
std::size_t unitCount(std::string_view text);

} // namespace vistel::utf16
