#include "Platform/Formatter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <locale.h>

#include "Platform/Utf8.h"

namespace vistel {

namespace {

// LongDouble (L) with an integer conversion reads the 64-bit value, as C libraries do.
enum class Length { None, Char, Short, Long, LongLong, LongDouble };

// One parsed specifier. Width and precision are already clamped; -1 means "not given".
struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    char conversion = 0;
};

// Hands out arguments by position or in order, never past the end of the span.
class ArgumentCursor {
public:
    explicit ArgumentCursor(std::span<const Value> arguments) : arguments_(arguments) { }

    // `position` counts from 1; 0 means "the next plain argument".
    const Value* take(std::size_t position)
    {
        const std::size_t index = position == 0 ? next_++ : position - 1;
        return index < arguments_.size() ? &arguments_[index] : nullptr;
    }

private:
    std::span<const Value> arguments_;
    std::size_t next_ = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of decimal digits; the value saturates instead of overflowing.
std::size_t readNumber(std::string_view text, std::size_t& i)
{
    constexpr std::size_t Cap = 1'000'000'000;
    std::size_t value = 0;
    while (i < text.size() && isDigit(text[i])) {
        if (value < Cap)
            value = value * 10 + static_cast<std::size_t>(text[i] - '0');
        ++i;
    }
    return value;
}

// Reads "n$" at i when present; answers 0 and leaves i alone when not. A "0$" is answered as
// SIZE_MAX, which names no argument and so becomes the placeholder.
std::size_t readPosition(std::string_view text, std::size_t& i)
{
    std::size_t j = i;
    if (j >= text.size() || !isDigit(text[j]))
        return 0;
    const std::size_t value = readNumber(text, j);
    if (j >= text.size() || text[j] != '$')
        return 0;
    i = j + 1;
    return value == 0 ? std::numeric_limits<std::size_t>::max() : value;
}

int clampWidth(std::uint64_t value)
{
    return static_cast<int>(std::min<std::uint64_t>(value, MaxFormatWidth));
}

// The number of characters (code points) of UTF-8 text: every byte that does not continue a
// sequence starts one. Damaged text is counted byte by byte, which is all padding needs.
std::size_t characterCount(std::string_view text)
{
    std::size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++count;
    return count;
}

// The byte length of the first `characters` characters of `text`.
std::size_t prefixForCharacters(std::string_view text, std::size_t characters)
{
    std::size_t i = 0;
    std::size_t seen = 0;
    while (i < text.size()) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == characters)
                break;
            ++seen;
        }
        ++i;
    }
    return i;
}

// The longest prefix of at most `bytes` bytes that does not end inside a UTF-8 sequence.
std::size_t prefixForBytes(std::string_view text, std::size_t bytes)
{
    if (bytes >= text.size())
        return text.size();
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    return bytes;
}

void appendPadded(std::string& out, std::string_view body, std::size_t bodyWidth, const Spec& spec)
{
    const std::size_t width = spec.width > 0 ? static_cast<std::size_t>(spec.width) : 0;
    const std::size_t padding = width > bodyWidth ? width - bodyWidth : 0;
    if (!spec.left)
        out.append(padding, ' ');
    out.append(body);
    if (spec.left)
        out.append(padding, ' ');
}

// Numbers are printed in the "C" locale: the program's texts use '.' whatever locale the
// process runs in (Qt sets LC_ALL from the environment). uselocale() is per thread.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

class ScopedCLocale {
public:
    ScopedCLocale()
    {
        if (locale_t c = cLocale())
            previous_ = uselocale(c);
    }
    ~ScopedCLocale()
    {
        if (previous_)
            uselocale(previous_);
    }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t previous_ = nullptr;
};

// `cFormat` is always one the formatter assembled itself from validated pieces, with arguments
// of exactly the types it names; never text from the caller.
template <class... T>
void appendC(std::string& out, const char* cFormat, T... values)
{
    char buffer[256];
    const int length = std::snprintf(buffer, sizeof buffer, cFormat, values...);
    if (length < 0) {
        out += FormatPlaceholder;
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        out.append(buffer, static_cast<std::size_t>(length));
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length) + 1);
    std::snprintf(out.data() + start, static_cast<std::size_t>(length) + 1, cFormat, values...);
    out.resize(start + static_cast<std::size_t>(length));
}

// "%" + the flags that C defines for this conversion + "*" + ".*" when a precision is given.
std::string cSpecifierHead(const Spec& spec, std::string_view allowedFlags)
{
    std::string head = "%";
    auto flag = [&](bool on, char c) {
        if (on && allowedFlags.find(c) != std::string_view::npos)
            head += c;
    };
    flag(spec.left, '-');
    flag(spec.plus, '+');
    flag(spec.space, ' ');
    flag(spec.zero, '0');
    flag(spec.alternate, '#');
    head += '*';
    if (spec.precision >= 0)
        head += ".*";
    return head;
}

bool appendInteger(std::string& out, const Spec& spec, const Value& value)
{
    if (!value.isInteger() && !value.isBoolean())
        return false;
    // All 64 bits of the argument, as C sees them: an unsigned value above INT64_MAX reads as a
    // negative number under %d, as it would in C.
    const std::optional<std::uint64_t> large = value.unsignedAboveInt64();
    const std::int64_t x = large ? static_cast<std::int64_t>(*large) : value.toInt64();
    long long signedValue = x;
    unsigned long long unsignedValue = static_cast<std::uint64_t>(x);
    switch (spec.length) {
    case Length::Char:
        signedValue = static_cast<signed char>(x);
        unsignedValue = static_cast<unsigned char>(x);
        break;
    case Length::Short:
        signedValue = static_cast<short>(x);
        unsignedValue = static_cast<unsigned short>(x);
        break;
    case Length::None:
        // The C int the value stands for when it fits; a larger value keeps its 64 bits rather
        // than being cut.
        if (!large && x >= std::numeric_limits<std::int32_t>::min() &&
            x <= std::numeric_limits<std::int32_t>::max()) {
            signedValue = static_cast<std::int32_t>(x);
            unsignedValue = static_cast<std::uint32_t>(static_cast<std::int32_t>(x));
        }
        break;
    default: break;
    }

    const char c = spec.conversion;
    const bool isSigned = c == 'd' || c == 'i';
    std::string cFormat = cSpecifierHead(spec, isSigned ? "-+ 0" : (c == 'u' ? "-0" : "-0#"));
    cFormat += "ll";
    cFormat += c;
    const int width = spec.width > 0 ? spec.width : 0;
    if (spec.precision >= 0) {
        if (isSigned)
            appendC(out, cFormat.c_str(), width, spec.precision, signedValue);
        else
            appendC(out, cFormat.c_str(), width, spec.precision, unsignedValue);
    } else {
        if (isSigned)
            appendC(out, cFormat.c_str(), width, signedValue);
        else
            appendC(out, cFormat.c_str(), width, unsignedValue);
    }
    return true;
}

bool appendFloating(std::string& out, const Spec& spec, const Value& value)
{
    if (!value.isNumber())
        return false;
    if (spec.length != Length::None && spec.length != Length::Long && spec.length != Length::LongDouble)
        return false;
    std::string cFormat = cSpecifierHead(spec, "-+ 0#");
    cFormat += spec.conversion;
    const double x = value.toDouble();
    const int width = spec.width > 0 ? spec.width : 0;
    ScopedCLocale locale;
    if (spec.precision >= 0)
        appendC(out, cFormat.c_str(), width, spec.precision, x);
    else
        appendC(out, cFormat.c_str(), width, x);
    return true;
}

bool appendCString(std::string& out, const Spec& spec, const Value& value)
{
    if (spec.length != Length::None && spec.length != Length::Long)
        return false;
    std::string_view text;
    if (value.isNull())
        text = "(null)";
    else if (value.isString())
        text = value.asString();
    else
        return false;
    if (spec.precision >= 0)
        text = text.substr(0, prefixForBytes(text, static_cast<std::size_t>(spec.precision)));
    appendPadded(out, text, text.size(), spec);
    return true;
}

bool appendObject(std::string& out, const Spec& spec, const Value& value)
{
    if (spec.length != Length::None)
        return false;
    const std::string description = value.description();
    std::string_view text = description;
    if (spec.precision >= 0)
        text = text.substr(0, prefixForCharacters(text, static_cast<std::size_t>(spec.precision)));
    appendPadded(out, text, characterCount(text), spec);
    return true;
}

bool appendCharacter(std::string& out, const Spec& spec, const Value& value)
{
    if (spec.length != Length::None && spec.length != Length::Long)
        return false;
    std::string character;
    if (value.isInteger()) {
        const std::int64_t code = value.toInt64();
        if (code <= 0 || code > 0x10FFFF || !appendUtf8(character, static_cast<char32_t>(code)))
            return false;
    } else if (value.isString()) {
        const std::string& text = value.asString();
        if (text.empty() || characterCount(text) != 1 || text[0] == '\0')
            return false;
        character = text;
    } else {
        return false;
    }
    appendPadded(out, character, 1, spec);
    return true;
}

enum class Kind { Integer, Floating, CString, Object, Character, Percent, Unknown };

Kind kindOf(char c)
{
    switch (c) {
    case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': return Kind::Integer;
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': return Kind::Floating;
    case 's': return Kind::CString;
    case '@': return Kind::Object;
    case 'c': case 'C': return Kind::Character;
    case '%': return Kind::Percent;
    default: return Kind::Unknown;
    }
}

// Formats the specifier that begins at `i` (just after '%') and answers the index after it.
std::size_t formatOne(std::string_view format, std::size_t i, ArgumentCursor& arguments, std::string& out)
{
    const std::size_t n = format.size();
    Spec spec;
    bool ok = true;

    const std::size_t position = readPosition(format, i);

    for (; i < n; ++i) {
        const char c = format[i];
        if (c == '-')
            spec.left = true;
        else if (c == '+')
            spec.plus = true;
        else if (c == ' ')
            spec.space = true;
        else if (c == '0')
            spec.zero = true;
        else if (c == '#')
            spec.alternate = true;
        else if (c == '\'')
            continue; // grouping: accepted, never applied
        else
            break;
    }

    // Width and precision given as '*' or '*m$' are read from an integer argument.
    auto starArgument = [&](std::int64_t& result) {
        ++i;
        const Value* value = arguments.take(readPosition(format, i));
        if (!value || !(value->isInteger() || value->isBoolean())) {
            ok = false;
            return;
        }
        result = value->toInt64();
    };

    if (i < n && format[i] == '*') {
        std::int64_t width = 0;
        starArgument(width);
        if (width < 0) {
            spec.left = true;
            width = width == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max()
                                                                       : -width;
        }
        spec.width = clampWidth(static_cast<std::uint64_t>(width));
    } else if (i < n && isDigit(format[i])) {
        spec.width = clampWidth(readNumber(format, i));
    }

    if (i < n && format[i] == '.') {
        ++i;
        if (i < n && format[i] == '*') {
            std::int64_t precision = 0;
            starArgument(precision);
            spec.precision = precision < 0 ? -1 : clampWidth(static_cast<std::uint64_t>(precision));
        } else {
            spec.precision = clampWidth(readNumber(format, i));
        }
    }

    if (i < n) {
        switch (format[i]) {
        case 'h':
            ++i;
            spec.length = Length::Short;
            if (i < n && format[i] == 'h') {
                ++i;
                spec.length = Length::Char;
            }
            break;
        case 'l':
            ++i;
            spec.length = Length::Long;
            if (i < n && format[i] == 'l') {
                ++i;
                spec.length = Length::LongLong;
            }
            break;
        case 'q': case 'j': case 'z': case 't':
            ++i;
            spec.length = Length::LongLong;
            break;
        case 'L':
            ++i;
            spec.length = Length::LongDouble;
            break;
        default: break;
        }
    }

    if (i >= n) {
        // The text ends inside the specifier.
        out += FormatPlaceholder;
        return n;
    }

    spec.conversion = format[i];
    const Kind kind = kindOf(spec.conversion);
    if (kind == Kind::Unknown) {
        // Unknown or unsafe (%n, %p, %m...): no argument is taken, since its kind is unknown.
        // A printable ASCII conversion character is swallowed with the specifier; anything else
        // (a UTF-8 lead byte, a control character) stays in the text.
        const unsigned char c = static_cast<unsigned char>(spec.conversion);
        out += FormatPlaceholder;
        return (c > 0x20 && c < 0x7F) ? i + 1 : i;
    }
    ++i;

    if (kind == Kind::Percent) {
        out += '%';
        return i;
    }

    const Value* value = arguments.take(position);
    if (!ok || !value) {
        out += FormatPlaceholder;
        return i;
    }

    bool filled = false;
    switch (kind) {
    case Kind::Integer: filled = appendInteger(out, spec, *value); break;
    case Kind::Floating: filled = appendFloating(out, spec, *value); break;
    case Kind::CString: filled = appendCString(out, spec, *value); break;
    case Kind::Object: filled = appendObject(out, spec, *value); break;
    case Kind::Character: filled = appendCharacter(out, spec, *value); break;
    default: break;
    }
    if (!filled)
        out += FormatPlaceholder;
    return i;
}

} // namespace

std::string formatString(std::string_view format, std::span<const Value> arguments)
{
    std::string out;
    out.reserve(format.size() + 16 * arguments.size());
    ArgumentCursor cursor(arguments);
    std::size_t i = 0;
    while (i < format.size()) {
        const std::size_t percent = format.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(format.substr(i));
            break;
        }
        out.append(format.substr(i, percent - i));
        i = percent + 1;
        if (i >= format.size()) {
            out += '%';
            break;
        }
        if (format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        i = formatOne(format, i, cursor, out);
    }
    return out;
}

} // namespace vistel
