#include "Common/Strings/NSStringApplicationInfoAddition.h"

#include <fstream>
#include <sstream>

#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "StringsFile.h"

namespace vistel::NSStringApplicationInfoAddition {
namespace {

std::string infoString(const Bundle& bundle, std::string_view key)
{
    const Value& value = bundle.objectForInfoDictionaryKey(key);
    if (value.isNull())
        return {};
    return value.isString() ? value.toString() : value.description();
}

// The `index`th "."-separated part of the short version, "" when it has fewer parts.
std::string versionPart(const Bundle& bundle, std::size_t index)
{
    const std::string version = shortVersion(bundle);
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        const std::size_t dot = version.find('.', start);
        if (dot == std::string::npos)
            return {};
        start = dot + 1;
    }
    const std::size_t end = version.find('.', start);
    return version.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matchesAt(std::string_view text, std::size_t position, std::string_view key)
{
    if (position + key.size() > text.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (asciiLower(text[position + i]) != asciiLower(key[i]))
            return false;
    }
    return true;
}

} // namespace

std::string shortVersion(const Bundle& bundle)
{
    return infoString(bundle, "CFBundleShortVersionString");
}

std::string majorVersion(const Bundle& bundle)
{
    return versionPart(bundle, 0);
}

std::string featureVersion(const Bundle& bundle)
{
    return versionPart(bundle, 1);
}

std::string minorVersion(const Bundle& bundle)
{
    return infoString(bundle, "CFBundleVersion");
}

std::string fullVersion(const Bundle& bundle)
{
    return format("%@.%@", shortVersion(bundle), minorVersion(bundle));
}

std::string localizedInfoValue(std::string_view key, const Bundle& bundle)
{
    for (const std::string& localization : bundle.preferredLocalizations()) {
        std::ifstream file(joinPath(bundle.resourcePath(), localization + ".lproj/InfoPlist.strings"),
                           std::ios::binary);
        if (!file)
            continue;
        std::stringstream bytes;
        bytes << file.rdbuf();
        if (const auto table = parseStringsFile(bytes.str())) {
            if (const auto found = table->find(key); found != table->end())
                return found->second;
        }
    }
    return bundle.objectForInfoDictionaryKey(key).toString();
}

std::string currentVersion(const Bundle& bundle)
{
    std::string build = minorVersion(bundle);
    if (build.size() == 1)
        build = "00" + build;
    else if (build.size() == 2)
        build = "0" + build;
    return majorVersion(bundle) + featureVersion(bundle) + build;
}

std::optional<std::string> stringByResolvingInfoKey(std::string_view key, const std::optional<std::string>& text,
                                                    const Bundle& bundle)
{
    if (!text)
        return std::nullopt;
    const Value& value = bundle.objectForInfoDictionaryKey(key);
    if (key.empty() || value.isNull())
        return text;
    const std::string replacement = value.isString() ? value.toString() : value.description();
    std::string result;
    result.reserve(text->size());
    for (std::size_t i = 0; i < text->size();) {
        if (matchesAt(*text, i, key)) {
            result += replacement;
            i += key.size();
        } else {
            result += (*text)[i++];
        }
    }
    return result;
}

} // namespace vistel::NSStringApplicationInfoAddition
