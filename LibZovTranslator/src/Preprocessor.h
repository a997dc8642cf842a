#pragma once
// Preprocessor: strips program text of preprocessor lines and comments and folds runs of
// white space outside quoted strings into one space. The string-table, source and project
// readers run every text through it before parsing. Quoted strings (double quotes; a
// backslash takes the next unit with it) pass unchanged; single quotes are not special.
//
// Stateless; safe to use from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace vistel {

class Preprocessor {
public:
    static Preprocessor preprocessor() { return {}; }
    // The preprocessed text; any sequence of UTF-16 units is accepted.
    std::u16string createPreprocessedString(std::u16string_view text) const;
    // UTF-8 in and out; nullopt when the text is not valid UTF-8 (the only way it can fail).
    std::optional<std::string> createPreprocessedString(std::string_view utf8) const;
};

namespace text_units {

// Shared lexical rules of the readers, on UTF-16 units.
inline bool isSpace(char16_t c)
{
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}
// A unit whose low 8 bits are an ASCII letter, digit or "_".
inline bool isNameChar(char16_t c)
{
    const unsigned low = c & 0xFF;
    return (low >= 'a' && low <= 'z') || (low >= 'A' && low <= 'Z') || (low >= '0' && low <= '9') || low == '_';
}
// Position after the quoted string that starts at `pos` (a double quote), or npos when it is
// not terminated.
std::size_t endOfQuoted(std::u16string_view text, std::size_t pos);
// Position after the balanced group that starts at `pos` (`(`, `{` or `<`), stepping over quoted
// strings whole; npos when the text ends first.
std::size_t endOfGroup(std::u16string_view text, std::size_t pos);
// Position of the next `needle` outside quoted strings at or after `pos`, or npos.
std::size_t findOutsideQuotes(std::u16string_view text, std::u16string_view needle, std::size_t pos);
std::size_t skipSpace(std::u16string_view text, std::size_t pos);

} // namespace text_units

} // namespace vistel
