#include "Common/Strings/NSStringEmailAddition.h"

#include <vector>

#include <QChar>

namespace vistel::NSStringEmailAddition {
namespace {

// Decodes UTF-8; nullopt for malformed text (overlong forms, surrogates, truncation).
std::optional<std::vector<char32_t>> codePoints(std::string_view text)
{
    std::vector<char32_t> result;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length;
        char32_t value;
        if (lead < 0x80) {
            length = 1;
            value = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size())
            return std::nullopt;
        for (std::size_t j = 1; j < length; ++j) {
            const auto next = static_cast<unsigned char>(text[i + j]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            value = (value << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return std::nullopt;
        result.push_back(value);
        i += length;
    }
    return result;
}

bool isLetterOrDigit(char32_t c)
{
    return QChar::isLetterOrNumber(c);
}

} // namespace

std::optional<std::string> login(std::string_view address)
{
    const std::size_t at = address.find('@');
    if (at == std::string_view::npos)
        return std::nullopt;
    return std::string(address.substr(0, at));
}

std::optional<std::string> domain(std::string_view address)
{
    const std::size_t at = address.find('@');
    if (at == std::string_view::npos)
        return std::nullopt;
    return std::string(address.substr(at + 1));
}

bool isValidLogin(std::string_view address)
{
    const std::optional<std::string> text = login(address);
    if (!text)
        return false;
    const auto characters = codePoints(*text);
    if (!characters)
        return false;
    for (char32_t c : *characters) {
        if (!isLetterOrDigit(c) && c != U'_' && c != U'.' && c != U'-')
            return false;
    }
    return true;
}

bool isValidDomain(std::string_view address)
{
    const std::optional<std::string> text = domain(address);
    if (!text)
        return false;
    const auto characters = codePoints(*text);
    if (!characters)
        return false;
    std::vector<std::vector<char32_t>> parts(1);
    for (char32_t c : *characters) {
        if (c == U'.')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    if (parts.size() < 2)
        return false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty())
            return false;
        const bool last = i + 1 == parts.size();
        for (char32_t c : parts[i]) {
            if (!isLetterOrDigit(c) && (last || c != U'-'))
                return false;
        }
    }
    return true;
}

bool isEmailString(std::string_view address)
{
    return isValidLogin(address) && isValidDomain(address);
}

} // namespace vistel::NSStringEmailAddition
