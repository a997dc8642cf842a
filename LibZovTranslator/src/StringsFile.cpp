#include "StringsFile.h"

#include "Utf16.h"

namespace vistel {

namespace {

// Upper half of the legacy 8-bit character set of old property lists, which \NNN escapes above 127 name.
constexpr char16_t kLegacyUpperHalf[128] = {
    0x00A0, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00B5, 0x00D7, 0x00F7,
    0x00A9, 0x00A1, 0x00A2, 0x00A3, 0x2044, 0x00A5, 0x0192, 0x00A7, 0x00A4, 0x2019, 0x201C, 0x00AB, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x00AE, 0x2013, 0x2020, 0x2021, 0x00B7, 0x00A6, 0x00B6, 0x2022, 0x201A, 0x201E, 0x201D, 0x00BB, 0x2026, 0x2030, 0x00AC, 0x00BF,
    0x00B9, 0x02CB, 0x00B4, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x00A8, 0x00B2, 0x02DA, 0x00B8, 0x00B3, 0x02DD, 0x02DB, 0x02C7,
    0x2014, 0x00B1, 0x00BC, 0x00BD, 0x00BE, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00C6, 0x00ED, 0x00AA, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x0141, 0x00D8, 0x0152, 0x00BA, 0x00F2, 0x00F3, 0x00F4, 0x00F5,
    0x00F6, 0x00E6, 0x00F9, 0x00FA, 0x00FB, 0x0131, 0x00FC, 0x00FD, 0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x00FF, 0xFFFD, 0xFFFD,
};

bool isUnquotedChar(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$'
        || c == '/' || c == ':' || c == '.' || c == '-';
}

bool isOctal(char16_t c) { return c >= '0' && c <= '7'; }

int hexValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Resolves the escape whose backslash ends before `pos`; answers the position after it.
std::size_t appendEscape(std::u16string_view text, std::size_t pos, std::u16string& out)
{
    const char16_t e = text[pos++];
    switch (e) {
    case 'a': out.push_back(u'\a'); break;
    case 'b': out.push_back(u'\b'); break;
    case 'f': out.push_back(u'\f'); break;
    case 'n': out.push_back(u'\n'); break;
    case 'r': out.push_back(u'\r'); break;
    case 't': out.push_back(u'\t'); break;
    case 'v': out.push_back(u'\v'); break;
    case 'U': {
        unsigned value = 0;
        int digits = 0;
        while (digits < 4 && pos < text.size() && hexValue(text[pos]) >= 0) {
            value = value * 16 + static_cast<unsigned>(hexValue(text[pos++]));
            ++digits;
        }
        out.push_back(digits == 0 ? u'U' : static_cast<char16_t>(value));
        break;
    }
    default:
        if (isOctal(e)) {
            unsigned value = e - '0';
            for (int digits = 1; digits < 3 && pos < text.size() && isOctal(text[pos]); ++digits)
                value = value * 8 + (text[pos++] - '0');
            value &= 0xFF;
            out.push_back(value < 0x80 ? static_cast<char16_t>(value) : kLegacyUpperHalf[value - 0x80]);
        } else {
            out.push_back(e); // \" \' \\ and any other unit stand for themselves
        }
    }
    return pos;
}

class Parser {
public:
    explicit Parser(std::u16string_view text) : text_(text) { }

    std::optional<StringsDictionary> run(std::string* error)
    {
        StringsDictionary result;
        bool ok = parseTop(result);
        if (!ok) {
            if (error)
                *error = message_ + " at line " + std::to_string(lineAt(failAt_));
            return std::nullopt;
        }
        return result;
    }

private:
    std::u16string_view text_;
    std::size_t pos_ = 0;
    std::string message_;
    std::size_t failAt_ = 0;

    bool fail(std::string message)
    {
        if (message_.empty()) {
            message_ = std::move(message);
            failAt_ = pos_;
        }
        return false;
    }

    std::size_t lineAt(std::size_t position) const
    {
        std::size_t line = 1;
        for (std::size_t i = 0; i < position && i < text_.size(); ++i)
            line += text_[i] == '\n';
        return line;
    }

    bool atEnd() const { return pos_ >= text_.size(); }

    // Skips white space and comments; false for an unterminated block comment.
    bool skipSpace()
    {
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0xFEFF
                || c == 0x2028 || c == 0x2029) {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                pos_ += 2;
                while (pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r')
                    ++pos_;
            } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
                const std::size_t end = text_.find(u"*/", pos_ + 2);
                if (end == std::u16string_view::npos)
                    return fail("unterminated comment");
                pos_ = end + 2;
            } else {
                break;
            }
        }
        return true;
    }

    bool parseString(std::u16string& out)
    {
        out.clear();
        if (atEnd())
            return fail("unexpected end of text, expected a string");
        const char16_t c = text_[pos_];
        if (c == '"' || c == '\'')
            return parseQuoted(out, c);
        if (!isUnquotedChar(c))
            return fail("unexpected character, expected a string");
        while (pos_ < text_.size() && isUnquotedChar(text_[pos_]))
            out.push_back(text_[pos_++]);
        return true;
    }

    bool parseQuoted(std::u16string& out, char16_t quote)
    {
        const std::size_t start = pos_;
        ++pos_;
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_++];
            if (c == quote)
                return true;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= text_.size())
                break;
            pos_ = appendEscape(text_, pos_, out);
        }
        pos_ = start;
        return fail("unterminated quoted string");
    }

    bool expect(char16_t c, const char* what)
    {
        if (atEnd() || text_[pos_] != c)
            return fail(std::string("expected '") + what + "'");
        ++pos_;
        return true;
    }

    // One entry: key [= value] ;  — `allowBareKey` in the strings form only.
    bool parseEntry(StringsDictionary& result, bool allowBareKey)
    {
        std::u16string key, value;
        if (!parseString(key) || !skipSpace())
            return false;
        if (!atEnd() && text_[pos_] == ';' && allowBareKey) {
            ++pos_;
            std::string k = utf16::toUtf8(key);
            result.insert_or_assign(k, k);
            return true;
        }
        if (!expect('=', "=") || !skipSpace() || !parseString(value) || !skipSpace() || !expect(';', ";"))
            return false;
        result.insert_or_assign(utf16::toUtf8(key), utf16::toUtf8(value));
        return true;
    }

    bool parseTop(StringsDictionary& result)
    {
        if (!skipSpace())
            return false;
        if (!atEnd() && text_[pos_] == '{') {
            ++pos_;
            for (;;) {
                if (!skipSpace())
                    return false;
                if (atEnd())
                    return fail("unexpected end of text, expected '}'");
                if (text_[pos_] == '}') {
                    ++pos_;
                    break;
                }
                if (!parseEntry(result, false))
                    return false;
            }
            if (!skipSpace())
                return false;
            if (!atEnd())
                return fail("text after the closing '}'");
            return true;
        }
        for (;;) {
            if (!skipSpace())
                return false;
            if (atEnd())
                return true;
            if (!parseEntry(result, true))
                return false;
        }
    }
};

} // namespace

std::optional<std::u16string> decodeStringsFileBytes(std::string_view bytes)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        std::u16string out;
        out.reserve(bytes.size() / 2 - 1);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned lo = little ? byte(i) : byte(i + 1);
            const unsigned hi = little ? byte(i + 1) : byte(i);
            out.push_back(static_cast<char16_t>(hi << 8 | lo));
        }
        return out;
    }
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
        bytes.remove_prefix(3);
    return utf16::fromUtf8(bytes);
}

std::optional<StringsDictionary> parseStringsText(std::u16string_view text, std::string* error)
{
    return Parser(text).run(error);
}

std::optional<StringsDictionary> parseStringsFile(std::string_view bytes, std::string* error)
{
    auto text = decodeStringsFileBytes(bytes);
    if (!text) {
        if (error)
            *error = "text is not valid UTF-8 or UTF-16";
        return std::nullopt;
    }
    return parseStringsText(*text, error);
}

std::string unescapeStringsText(std::u16string_view quotedInside)
{
    std::u16string out;
    std::size_t pos = 0;
    while (pos < quotedInside.size()) {
        const char16_t c = quotedInside[pos++];
        if (c == '\\' && pos < quotedInside.size())
            pos = appendEscape(quotedInside, pos, out);
        else
            out.push_back(c); // a trailing lone backslash stands for itself
    }
    return utf16::toUtf8(out);
}

std::string escapeStringsText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

} // namespace vistel
