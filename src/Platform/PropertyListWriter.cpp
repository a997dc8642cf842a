// Value::toXmlPropertyList(): the byte-stable XML property-list writer.

#include <algorithm>
#include <cmath>
#include <string>

#include "Platform/Value.h"
#include "Platform/ValueDetail.h"

namespace vistel {

namespace {

using valuedetail::integerText;
using valuedetail::isWritableDate;
using valuedetail::shortestReal;

constexpr std::string_view XmlHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

constexpr std::size_t Base64LineLength = 68;
constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Text is kept byte for byte (file paths may not be valid UTF-8). Control characters other than
// tab and newline are written as character references, so that no XML reader normalises or
// drops them; a raw carriage return would come back as a newline.
void appendEscaped(std::string& out, std::string_view text)
{
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n') {
                out += "&#";
                out += std::to_string(c);
                out += ';';
            } else {
                out += ch;
            }
        }
    }
}

std::string xmlReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "+infinity" : "-infinity";
    return shortestReal(value);
}

void appendBase64Lines(std::string& out, const Value::Bytes& bytes, const std::string& indent)
{
    std::string line;
    auto flush = [&] {
        out += indent;
        out += line;
        out += '\n';
        line.clear();
    };
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        const std::uint32_t chunk = (std::uint32_t(bytes[i]) << 16) | (n > 1 ? std::uint32_t(bytes[i + 1]) << 8 : 0) |
                                    (n > 2 ? std::uint32_t(bytes[i + 2]) : 0);
        line += Base64Alphabet[(chunk >> 18) & 63];
        line += Base64Alphabet[(chunk >> 12) & 63];
        line += n > 1 ? Base64Alphabet[(chunk >> 6) & 63] : '=';
        line += n > 2 ? Base64Alphabet[chunk & 63] : '=';
        if (line.size() >= Base64LineLength)
            flush();
    }
    if (!line.empty())
        flush();
}

bool writeXmlValue(std::string& out, const Value& value, int depth, std::string& error)
{
    if (depth > valuedetail::MaxPropertyListNesting) {
        error = "nesting too deep";
        return false;
    }
    const std::string indent(static_cast<std::size_t>(depth), '\t');
    switch (value.type()) {
    case Value::Type::Null: error = "a null value cannot be written"; return false;
    case Value::Type::Object: error = "an object reference cannot be written"; return false;
    case Value::Type::Boolean: out += indent + (value.toBool() ? "<true/>\n" : "<false/>\n"); return true;
    case Value::Type::Integer: out += indent + "<integer>" + integerText(value) + "</integer>\n"; return true;
    case Value::Type::Real: out += indent + "<real>" + xmlReal(value.toDouble()) + "</real>\n"; return true;
    case Value::Type::String:
        out += indent + "<string>";
        appendEscaped(out, value.asString());
        out += "</string>\n";
        return true;
    case Value::Type::Data:
        out += indent + "<data>\n";
        appendBase64Lines(out, value.asData(), indent);
        out += indent + "</data>\n";
        return true;
    case Value::Type::Date:
        if (!isWritableDate(value.toDate())) {
            error = "date outside the years 0000 to 9999";
            return false;
        }
        out += indent + "<date>" + value.toDate().iso8601() + "</date>\n";
        return true;
    case Value::Type::Array:
        if (value.asArray().empty()) {
            out += indent + "<array/>\n";
            return true;
        }
        out += indent + "<array>\n";
        for (const auto& item : value.asArray())
            if (!writeXmlValue(out, item, depth + 1, error))
                return false;
        out += indent + "</array>\n";
        return true;
    case Value::Type::Dictionary:
        if (value.asDictionary().empty()) {
            out += indent + "<dict/>\n";
            return true;
        }
        out += indent + "<dict>\n";
        for (const auto& [key, item] : value.asDictionary()) {
            out += indent + "\t<key>";
            appendEscaped(out, key);
            out += "</key>\n";
            if (!writeXmlValue(out, item, depth + 1, error))
                return false;
        }
        out += indent + "</dict>\n";
        return true;
    }
    return false;
}

} // namespace

std::optional<std::string> Value::toXmlPropertyList() const
{
    std::string out(XmlHeader);
    std::string error;
    if (!writeXmlValue(out, *this, 0, error))
        return std::nullopt;
    out += "</plist>\n";
    return out;
}

} // namespace vistel
