#include "Preprocessor.h"

#include "Utf16.h"

namespace vistel {

std::u16string Preprocessor::createPreprocessedString(std::u16string_view text) const
{
    std::u16string out;
    out.reserve(text.size());
    bool lastWasSpace = false;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        if (c == '#') {
            // A preprocessor line; a backslash after the number sign continues it past the next
            // line feed.
            bool continued = false;
            ++i;
            while (i < n) {
                const char16_t d = text[i++];
                if (d == '\\') {
                    continued = true;
                } else if (d == '\n') {
                    if (!continued)
                        break;
                    continued = false;
                }
            }
        } else if (c == '/') {
            if (i + 1 >= n) {
                ++i; // a slash as the last unit is dropped
            } else if (text[i + 1] == '/') {
                const std::size_t end = text.find(u'\n', i + 2);
                i = end == std::u16string_view::npos ? n : end + 1;
            } else if (text[i + 1] == '*') {
                const std::size_t end = text.find(u"*/", i + 2);
                i = end == std::u16string_view::npos ? n : end + 2;
            } else {
                out.push_back(c);
                out.push_back(text[i + 1]);
                i += 2;
                lastWasSpace = false;
            }
        } else if (c == '"') {
            std::size_t end = text_units::endOfQuoted(text, i);
            if (end == std::u16string_view::npos)
                end = n;
            out.append(text.substr(i, end - i));
            i = end;
            lastWasSpace = false;
        } else if (text_units::isSpace(c)) {
            if (!lastWasSpace)
                out.push_back(u' ');
            lastWasSpace = true;
            ++i;
        } else {
            out.push_back(c);
            lastWasSpace = false;
            ++i;
        }
    }
    return out;
}

std::optional<std::string> Preprocessor::createPreprocessedString(std::string_view utf8) const
{
    auto text = utf16::fromUtf8(utf8);
    if (!text)
        return std::nullopt;
    return utf16::toUtf8(createPreprocessedString(std::u16string_view(*text)));
}

namespace text_units {

std::size_t endOfQuoted(std::u16string_view text, std::size_t pos)
{
    for (std::size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i; // takes the next unit with it
        else if (text[i] == '"')
            return i + 1;
    }
    return std::u16string_view::npos;
}

std::size_t endOfGroup(std::u16string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return std::u16string_view::npos;
    const char16_t open = text[pos];
    const char16_t close = open == '(' ? ')' : open == '{' ? '}' : '>';
    std::size_t depth = 1;
    std::size_t i = pos + 1;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == '"') {
            i = endOfQuoted(text, i);
            if (i == std::u16string_view::npos)
                return i;
            continue;
        }
        if (c == open)
            ++depth;
        else if (c == close && --depth == 0)
            return i + 1;
        ++i;
    }
    return std::u16string_view::npos;
}

std::size_t findOutsideQuotes(std::u16string_view text, std::u16string_view needle, std::size_t pos)
{
    std::size_t i = pos;
    while (i < text.size()) {
        if (text[i] == '"') {
            i = endOfQuoted(text, i);
            if (i == std::u16string_view::npos)
                return i;
            continue;
        }
        if (text.substr(i, needle.size()) == needle)
            return i;
        ++i;
    }
    return std::u16string_view::npos;
}

std::size_t skipSpace(std::u16string_view text, std::size_t pos)
{
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    return pos;
}

} // namespace text_units

} // namespace vistel
