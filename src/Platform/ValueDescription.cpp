// Value::description(): the human-readable text "%@" prints.

#include <cxxabi.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "Platform/Value.h"
#include "Platform/ValueDetail.h"

namespace vistel {

std::string valuedetail::integerText(const Value& value)
{
    if (const auto above = value.unsignedAboveInt64())
        return std::to_string(*above);
    return std::to_string(value.toInt64());
}

std::string valuedetail::shortestReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

namespace {

using valuedetail::integerText;
using valuedetail::shortestReal;

// Old-style property-list strings are quoted unless made only of these characters.
bool needsQuotes(const std::string& text)
{
    if (text.empty())
        return true;
    for (unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '_' || c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
        if (!plain)
            return true;
    }
    return false;
}

void appendQuoted(std::string& out, const std::string& text)
{
    if (!needsQuotes(text)) {
        out += text;
        return;
    }
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\%03o", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

std::string objectDescription(const Ref<Object>& object)
{
    const Object& target = *object;
    const char* mangled = typeid(target).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                          &std::free);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(object.get()));
    return std::string("<") + (status == 0 && demangled ? demangled.get() : mangled) + ": " + address + ">";
}

void describe(std::string& out, const Value& value, bool nested)
{
    switch (value.type()) {
    case Value::Type::Null: out += "(null)"; return;
    case Value::Type::Boolean: out += value.toBool() ? "1" : "0"; return;
    case Value::Type::Integer: out += integerText(value); return;
    case Value::Type::Real: out += shortestReal(value.toDouble()); return;
    case Value::Type::String:
        if (nested)
            appendQuoted(out, value.asString());
        else
            out += value.asString();
        return;
    case Value::Type::Data: {
        static const char hex[] = "0123456789abcdef";
        out += '<';
        const auto& bytes = value.asData();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && i % 4 == 0)
                out += ' ';
            out += hex[bytes[i] >> 4];
            out += hex[bytes[i] & 15];
        }
        out += '>';
        return;
    }
    case Value::Type::Date: {
        // "2026-12-09 23:09:04 +0000"
        std::string iso = value.toDate().iso8601();
        iso[10] = ' ';
        iso.pop_back();
        out += iso + " +0000";
        return;
    }
    case Value::Type::Array: {
        out += '(';
        bool first = true;
        for (const auto& item : value.asArray()) {
            if (!first)
                out += ", ";
            first = false;
            describe(out, item, true);
        }
        out += ')';
        return;
    }
    case Value::Type::Dictionary: {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.asDictionary()) {
            if (!first)
                out += ' ';
            first = false;
            appendQuoted(out, key);
            out += " = ";
            describe(out, item, true);
            out += ';';
        }
        out += '}';
        return;
    }
    case Value::Type::Object: out += objectDescription(value.toObject()); return;
    }
}

} // namespace

std::string Value::description() const
{
    std::string out;
    describe(out, *this, false);
    return out;
}

std::string Value::logDescription(std::size_t limit) const
{
    std::string text = description();
    if (text.size() <= limit)
        return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a character
    text.resize(cut);
    return text + "\xE2\x80\xA6"; // …
}

} // namespace vistel
