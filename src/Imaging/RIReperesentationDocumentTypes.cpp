// RIReperesentation: merging the decodable document types into an Info.plist.

#include <algorithm>
#include <fstream>
#include <sstream>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/StatusCodes.h"

namespace vistel {

namespace {

constexpr const char* kDocumentTypesKey = "CFBundleDocumentTypes";
constexpr const char* kTypeNameKey = "CFBundleTypeName";

// The entry's name; empty for an entry that is not a dictionary or has no string name.
std::string entryName(const Value& entry)
{
    const Value& name = entry.get(kTypeNameKey);
    return name.isString() ? name.asString() : std::string();
}

} // namespace

Value RIReperesentation::mergeDocumentTypes(const Value& existing, const Value& fileTypesProperties)
{
    // Existing entries keep their order; a later entry of a name replaces the earlier one in
    // its place. Entries without a name (written by hand or by an older version) are kept.
    Value::ArrayType merged;
    auto indexOfName = [&merged](const std::string& name) -> std::ptrdiff_t {
        for (std::size_t i = 0; i < merged.size(); ++i)
            if (entryName(merged[i]) == name)
                return std::ptrdiff_t(i);
        return -1;
    };
    for (const Value& entry : existing.asArray()) {
        const std::string name = entryName(entry);
        const std::ptrdiff_t at = name.empty() ? -1 : indexOfName(name);
        if (at >= 0)
            merged[std::size_t(at)] = entry;
        else
            merged.push_back(entry);
    }
    for (const Value& entry : fileTypesProperties.asArray()) {
        if (!entry.isDictionary())
            continue;
        const std::string name = entryName(entry);
        if (name.empty()) {
            // A nameless new type cannot be matched by name; add it once.
            if (std::find(merged.begin(), merged.end(), entry) == merged.end())
                merged.push_back(entry);
            continue;
        }
        const std::ptrdiff_t at = indexOfName(name);
        if (at < 0) {
            merged.push_back(entry);
            continue;
        }
        // The existing entry with the new entry's keys over it.
        Value& target = merged[std::size_t(at)];
        for (const auto& [key, value] : entry.asDictionary())
            target.set(key, value);
    }
    return Value(std::move(merged));
}

bool RIReperesentation::tryToUpdateInfoPlistAtPath(const std::string& path, const Value& fileTypesProperties)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ZovLog("RIReperesentation::tryToUpdateBundle can't read " + path);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    const std::optional<Value> info = Value::fromXmlPropertyList(text.str(), &error);
    if (!info || !info->isDictionary()) {
        ZovLog("RIReperesentation::tryToUpdateBundle damaged " + path + ": " + error);
        return false;
    }
    const Value& existing = info->get(kDocumentTypesKey);
    const Value merged = mergeDocumentTypes(existing, fileTypesProperties);
    if (merged == existing || (merged.size() == 0 && existing.isNull()))
        return false; // unchanged: leave the file (and its time stamps) alone

    Value updated = *info;
    updated.set(kDocumentTypesKey, merged);
    const std::optional<std::string> xml = updated.toXmlPropertyList();
    if (!xml)
        return false;
    const Value::Bytes bytes(xml->begin(), xml->end());
    const StatusCode status = FileSystemFunctions::writeNSDataToFile(path, &bytes);
    if (status != 0) {
        ZovLog("RIReperesentation::tryToUpdateBundle can't write " + path + ": " + statusText(status));
        return false;
    }
    return true;
}

bool RIReperesentation::tryToUpdateBundle(const Bundle& bundle, const Value& fileTypesProperties)
{
    if (bundle.resourcePath().empty())
        return false;
    return tryToUpdateInfoPlistAtPath(bundle.resourcePath() + "/Info.plist", fileTypesProperties);
}

} // namespace vistel
