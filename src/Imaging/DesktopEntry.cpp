#include "Imaging/DesktopEntry.h"

#include <algorithm>

namespace vistel {

namespace {

constexpr std::string_view kPlaceholder = "@VISTEL_MIME_TYPES@";

// RFC 2045 token characters, which is also what keeps the entry's "a;b;" syntax intact.
bool isTokenCharacter(char c)
{
    if (c <= 0x20 || c >= 0x7f)
        return false;
    return std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

bool isMimeType(std::string_view text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == text.size())
        return false;
    const std::string_view type = text.substr(0, slash);
    const std::string_view subtype = text.substr(slash + 1);
    return std::all_of(type.begin(), type.end(), isTokenCharacter)
        && std::all_of(subtype.begin(), subtype.end(), isTokenCharacter);
}

} // namespace

std::vector<std::string> DesktopEntry::mimeTypes(const Value& fileTypesProperties)
{
    std::vector<std::string> types;
    for (const Value& entry : fileTypesProperties.asArray()) {
        for (const Value& mime : entry.get("CFBundleTypeMIMETypes").asArray()) {
            const std::string& text = mime.asString();
            if (isMimeType(text) && std::find(types.begin(), types.end(), text) == types.end())
                types.push_back(text);
        }
    }
    return types;
}

std::string DesktopEntry::mimeTypeList(const Value& fileTypesProperties)
{
    std::string list;
    for (const std::string& type : mimeTypes(fileTypesProperties))
        list += type + ';';
    return list;
}

std::string DesktopEntry::fillTemplate(std::string_view templateText, const Value& fileTypesProperties)
{
    const std::string list = mimeTypeList(fileTypesProperties);
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = templateText.find(kPlaceholder, start);
        out.append(templateText.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return out;
        out += list;
        start = at + kPlaceholder.size();
    }
}

} // namespace vistel
