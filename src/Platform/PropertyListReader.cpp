// Value::fromXmlPropertyList(): XML property lists, read through pugixml.
//
// Reading is in three steps. A scan of the bytes bounds what the rest may cost: it refuses NUL
// bytes, a document type with an internal subset (entity declarations could expand without
// bound), nesting deeper than the limit and documents whose values would take more than the
// budget (ValueDetail.h), all before anything is built. pugixml then parses the document and
// checks that it is well-formed. Last, the tree is turned into a Value, refusing what a
// property list may not hold: unknown elements, text where values belong, bad integers, reals,
// dates and base64. Character references and the five named entities are decoded here, so that
// text keeps every byte, NUL included. Any thread; nothing is shared.

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "Platform/Utf8.h"
#include "Platform/Value.h"
#include "Platform/ValueDetail.h"

namespace vistel {

namespace {

using valuedetail::MaxPropertyListNesting;

bool isXmlSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) noexcept
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<Value> parseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (!negative)
        return Value(static_cast<unsigned long long>(magnitude));
    if (magnitude > std::uint64_t(1) << 63)
        return std::nullopt;
    return Value(static_cast<long long>(-static_cast<__int128>(magnitude)));
}

std::optional<Value> parseReal(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower == "nan")
        return Value(std::numeric_limits<double>::quiet_NaN());
    if (lower == "+infinity" || lower == "infinity" || lower == "inf" || lower == "+inf")
        return Value(std::numeric_limits<double>::infinity());
    if (lower == "-infinity" || lower == "-inf")
        return Value(-std::numeric_limits<double>::infinity());
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    double value = 0;
    // from_chars, unlike strtod, ignores the process locale (Qt sets it from the environment).
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || std::isnan(value) || std::isinf(value))
        return std::nullopt;
    return Value(value);
}

std::optional<Value::Bytes> decodeBase64(std::string_view text)
{
    Value::Bytes bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t chunk = 0;
    int symbols = 0;  // symbols in the current group of four
    int padding = 0;  // '=' seen
    for (const char c : text) {
        if (isXmlSpace(c))
            continue;
        int digit;
        if (c >= 'A' && c <= 'Z')
            digit = c - 'A';
        else if (c >= 'a' && c <= 'z')
            digit = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            digit = c - '0' + 52;
        else if (c == '+')
            digit = 62;
        else if (c == '/')
            digit = 63;
        else if (c == '=') {
            // Padding only completes a group that has two or three symbols.
            if (symbols + padding < 2)
                return std::nullopt;
            ++padding;
            if (symbols + padding > 4)
                return std::nullopt;
            continue;
        } else
            return std::nullopt;
        if (padding > 0)
            return std::nullopt; // data after padding
        chunk = (chunk << 6) | static_cast<std::uint32_t>(digit);
        if (++symbols == 4) {
            bytes.push_back(static_cast<std::uint8_t>(chunk >> 16));
            bytes.push_back(static_cast<std::uint8_t>(chunk >> 8));
            bytes.push_back(static_cast<std::uint8_t>(chunk));
            chunk = 0;
            symbols = 0;
        }
    }
    if (padding > 0 && symbols + padding != 4)
        return std::nullopt;
    if (symbols == 1)
        return std::nullopt;
    if (symbols == 2) {
        bytes.push_back(static_cast<std::uint8_t>(chunk >> 4));
    } else if (symbols == 3) {
        bytes.push_back(static_cast<std::uint8_t>(chunk >> 10));
        bytes.push_back(static_cast<std::uint8_t>(chunk >> 2));
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// The bounding scan

std::size_t findAfter(std::string_view xml, std::size_t from, std::string_view terminator)
{
    const std::size_t end = xml.find(terminator, from);
    return end == std::string_view::npos ? end : end + terminator.size();
}

// Where the markup opened at `from` ends (just past its '>'), quoted text skipped; npos when it
// never does. `bracket` is set when a '[' appears outside quotes, `lessThan` when a '<' appears
// inside them.
std::size_t endOfMarkup(std::string_view xml, std::size_t from, bool& bracket, bool& lessThan)
{
    char quote = 0;
    for (std::size_t i = from; i < xml.size(); ++i) {
        const char c = xml[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '<')
                lessThan = true;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The bytes are read as UTF-8: a declaration naming another encoding is refused.
bool declaresOtherEncoding(std::string_view xml)
{
    if (!xml.starts_with("<?xml") || xml.size() < 6 || !isXmlSpace(xml[5]))
        return false;
    std::string declaration(xml.substr(0, std::min<std::size_t>(xml.find("?>"), 4096)));
    for (char& c : declaration)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const std::size_t encoding = declaration.find("encoding");
    if (encoding == std::string::npos)
        return false;
    const std::size_t quote = declaration.find_first_of("\"'", encoding);
    const std::size_t close = quote == std::string::npos ? quote : declaration.find(declaration[quote], quote + 1);
    if (close == std::string::npos)
        return true;
    const std::string name = declaration.substr(quote + 1, close - quote - 1);
    return name != "utf-8" && name != "utf8" && name != "us-ascii";
}

// Answers why the document may not be built, or an empty text. Counts element tags only; what
// is malformed otherwise is left for the parser to report.
std::string boundsProblem(std::string_view xml)
{
    if (xml.find('\0') != std::string_view::npos)
        return "NUL byte in the document";
    // The plist element, then one more than the values the limit allows: the tree walk reports
    // the exact limit, this bound only keeps the tree small.
    constexpr std::size_t MaxOpenElements = MaxPropertyListNesting + 2;
    if (xml.size() > valuedetail::MaxPropertyListValueBytes)
        return "the document is larger than the values it may hold";
    const std::size_t elementBudget = (valuedetail::MaxPropertyListValueBytes - xml.size()) /
                                      valuedetail::PropertyListValueCost;
    std::size_t open = 0;
    std::size_t elements = 0;
    int doctypes = 0;
    std::size_t pos = xml.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    if (declaresOtherEncoding(xml.substr(pos)))
        return "unsupported encoding";
    for (;;) {
        const std::size_t lt = xml.find('<', pos);
        // The parser drops text outside the root element without a word.
        if (open == 0 && !trimmed(xml.substr(pos, lt == std::string_view::npos ? lt : lt - pos)).empty())
            return "text outside the property list";
        if (lt == std::string_view::npos)
            return {};
        const std::string_view rest = xml.substr(lt + 1);
        std::size_t end;
        if (rest.starts_with("!--")) {
            end = findAfter(xml, lt + 4, "-->");
        } else if (rest.starts_with("![CDATA[")) {
            end = findAfter(xml, lt + 9, "]]>");
        } else if (rest.starts_with("?")) {
            if (open > 0)
                return "processing instruction inside the property list";
            end = findAfter(xml, lt + 2, "?>");
        } else {
            bool bracket = false;
            bool lessThan = false;
            end = endOfMarkup(xml, lt + 1, bracket, lessThan);
            if (lessThan)
                return "'<' in an attribute value";
            if (rest.starts_with("!")) {
                if (!rest.starts_with("!DOCTYPE") || doctypes++ > 0 || elements > 0)
                    return "misplaced declaration";
                if (bracket)
                    return "document type with an internal subset";
            } else if (rest.starts_with("/")) {
                if (open > 0)
                    --open;
            } else if (end != std::string_view::npos) {
                if (++elements > elementBudget)
                    return "the values would take more than " +
                           std::to_string(valuedetail::MaxPropertyListValueBytes >> 20) + " MiB";
                if (xml[end - 2] != '/' && ++open > MaxOpenElements)
                    return "nesting too deep";
            }
        }
        if (end == std::string_view::npos)
            return {}; // unterminated: the parser says so
        pos = end;
    }
}

// ---------------------------------------------------------------------------------------------
// Text: character data and CDATA sections

bool isSpaceOnly(const char* text) noexcept
{
    for (; *text; ++text)
        if (!isXmlSpace(*text))
            return false;
    return true;
}

// Appends character data with its references decoded; false for a bad or unknown entity.
bool appendDecoded(std::string& out, std::string_view text, std::string& error)
{
    for (;;) {
        const std::size_t amp = text.find('&');
        out.append(text.substr(0, amp));
        if (amp == std::string_view::npos)
            return true;
        text.remove_prefix(amp + 1);
        const std::size_t semicolon = text.find(';');
        if (semicolon == std::string_view::npos || semicolon > 12) {
            error = "bad entity";
            return false;
        }
        const std::string_view entity = text.substr(0, semicolon);
        text.remove_prefix(semicolon + 1);
        if (entity == "amp")
            out += '&';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "quot")
            out += '"';
        else if (entity == "apos")
            out += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            std::string_view digits = entity.substr(1);
            int base = 10;
            if (digits[0] == 'x') {
                base = 16;
                digits.remove_prefix(1);
            }
            std::uint32_t code = 0;
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
            if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
                !appendUtf8(out, code)) {
                error = "bad character reference";
                return false;
            }
        } else {
            error = "unknown entity";
            return false;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The tree walk

class TreeReader {
public:
    std::optional<Value> read(const pugi::xml_document& document)
    {
        pugi::xml_node root;
        for (const pugi::xml_node node : document.children()) {
            switch (node.type()) {
            case pugi::node_element:
                if (root)
                    return fail("content after the property list", node);
                root = node;
                break;
            case pugi::node_pcdata:
                if (!isSpaceOnly(node.value()))
                    return fail("text outside the property list", node);
                break;
            case pugi::node_cdata: return fail("text outside the property list", node);
            default: break; // declaration, document type, comments, processing instructions
            }
        }
        if (!root)
            return fail("no property list", document);
        if (std::string_view(root.name()) != "plist")
            return fail("root element is not plist", root);
        pugi::xml_node value;
        if (!onlyElements(root, [&](pugi::xml_node child) {
                if (value)
                    return fail("content after the value", child), false;
                value = child;
                return true;
            }))
            return std::nullopt;
        if (!value)
            return fail("empty property list", root);
        return readValue(value, 0);
    }

    const std::string& error() const { return error_; }

private:
    std::string error_;

    std::nullopt_t fail(std::string_view reason, pugi::xml_node node)
    {
        if (error_.empty())
            error_ = std::string(reason) + " at offset " + std::to_string(node.offset_debug());
        return std::nullopt;
    }

    // Calls `visit` for each child element of a container; white space between them is allowed,
    // other text is not. False when a visit or the content fails.
    template <class Visit>
    bool onlyElements(pugi::xml_node container, Visit&& visit)
    {
        for (const pugi::xml_node child : container.children()) {
            switch (child.type()) {
            case pugi::node_element:
                if (!visit(child))
                    return false;
                break;
            case pugi::node_pcdata:
                if (!isSpaceOnly(child.value()))
                    return fail("text where a value belongs", child), false;
                break;
            case pugi::node_cdata: return fail("text where a value belongs", child), false;
            default: break;
            }
        }
        return true;
    }

    // The text of a scalar element: character data decoded, CDATA sections as they are.
    bool readText(pugi::xml_node node, std::string& out)
    {
        for (const pugi::xml_node child : node.children()) {
            switch (child.type()) {
            case pugi::node_pcdata: {
                std::string error;
                if (!appendDecoded(out, child.value(), error))
                    return fail(error, child), false;
                break;
            }
            case pugi::node_cdata: out += child.value(); break;
            case pugi::node_element: return fail("element inside text", child), false;
            default: break;
            }
        }
        return true;
    }

    std::optional<Value> readValue(pugi::xml_node node, int depth)
    {
        if (depth > MaxPropertyListNesting)
            return fail("nesting too deep", node);
        const std::string_view name = node.name();
        if (name == "dict")
            return readDictionary(node, depth);
        if (name == "array")
            return readArray(node, depth);
        if (name == "true" || name == "false") {
            if (!onlyElements(node, [&](pugi::xml_node child) { return fail("element inside a boolean", child), false; }))
                return std::nullopt;
            return Value(name == "true");
        }
        std::string text;
        if (!readText(node, text))
            return std::nullopt;
        if (name == "string")
            return Value(std::move(text));
        if (name == "data") {
            auto bytes = decodeBase64(text);
            if (!bytes)
                return fail("bad base64 data", node);
            return Value(std::move(*bytes));
        }
        if (name == "integer") {
            auto value = parseInteger(trimmed(text));
            return value ? value : fail("bad integer", node);
        }
        if (name == "real") {
            auto value = parseReal(trimmed(text));
            return value ? value : fail("bad real", node);
        }
        if (name == "date") {
            auto date = Date::fromIso8601(trimmed(text));
            return date ? std::optional<Value>(Value(*date)) : fail("bad date", node);
        }
        return fail("unknown element", node);
    }

    std::optional<Value> readArray(pugi::xml_node node, int depth)
    {
        Value::ArrayType items;
        const bool read = onlyElements(node, [&](pugi::xml_node child) {
            auto item = readValue(child, depth + 1);
            if (!item)
                return false;
            items.push_back(std::move(*item));
            return true;
        });
        return read ? std::optional<Value>(Value(std::move(items))) : std::nullopt;
    }

    std::optional<Value> readDictionary(pugi::xml_node node, int depth)
    {
        Value::DictionaryType entries;
        std::optional<std::string> key; // read, waiting for its value
        pugi::xml_node keyNode;
        const bool read = onlyElements(node, [&](pugi::xml_node child) {
            if (!key) {
                if (std::string_view(child.name()) != "key")
                    return fail("expected a key", child), false;
                key.emplace();
                keyNode = child;
                return readText(child, *key);
            }
            auto item = readValue(child, depth + 1);
            if (!item)
                return false;
            if (!entries.emplace(std::move(*key), std::move(*item)).second)
                return fail("duplicate key", keyNode), false;
            key.reset();
            return true;
        });
        if (!read)
            return std::nullopt;
        if (key)
            return fail("key without value", keyNode);
        return Value(std::move(entries));
    }
};

} // namespace

std::optional<Value> Value::fromXmlPropertyList(std::string_view xml, std::string* error)
{
    auto refuse = [&](std::string reason) -> std::optional<Value> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
    try {
        if (std::string problem = boundsProblem(xml); !problem.empty())
            return refuse(std::move(problem));
        // Entities are decoded by the tree walk (parse_escapes off), so that a reference to NUL
        // survives; white-space-only text is kept, for strings made of it.
        constexpr unsigned options = pugi::parse_cdata | pugi::parse_eol | pugi::parse_ws_pcdata;
        pugi::xml_document document;
        const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
        if (!parsed)
            return refuse(std::string(parsed.description()) + " at offset " + std::to_string(parsed.offset));
        TreeReader reader;
        auto value = reader.read(document);
        if (!value)
            return refuse(reader.error());
        return value;
    } catch (const std::exception& exception) {
        return refuse(exception.what());
    }
}

} // namespace vistel
