// Attribute groups of catalogue items: text attributes kept in Tag objects, the database fields
// and the image facts read through them.

#include <charconv>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

using store::ManagedObject;

namespace {

// The name text of a tag (its TagName's value).
std::string tagNameText(ManagedObject* tag)
{
    auto name = tag->toOne("name");
    return name ? name->stringValue("value").value_or(std::string()) : std::string();
}

// "2026-12-09 23:09:04 +0000", as a date describes itself.
std::string dateDescription(const Date& date)
{
    std::string text = date.iso8601(); // 2026-12-09T23:09:04Z
    if (text.size() == 20 && text[10] == 'T' && text.back() == 'Z')
        return text.substr(0, 10) + " " + text.substr(11, 8) + " +0000";
    return text;
}

// A number's floatValue of a text ('.' always; 0 when it reads none).
float floatValueOf(const Value& value)
{
    if (value.isNumber())
        return static_cast<float>(value.toDouble());
    const std::string& text = value.asString();
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && (*begin == ' ' || *begin == '+'))
        ++begin;
    float result = 0;
    std::from_chars(begin, end, result);
    return result;
}

} // namespace

std::optional<std::string> FileSystemItemMO::attributeValueToString(const Value& value)
{
    switch (value.type()) {
    case Value::Type::Null: return std::nullopt;
    case Value::Type::Boolean:
    case Value::Type::Integer:
    case Value::Type::Real: return value.description();
    case Value::Type::String: return value.asString();
    case Value::Type::Date: return dateDescription(value.toDate());
    case Value::Type::Array: {
        std::string joined;
        bool first = true;
        for (const Value& element : value.asArray()) {
            if (!first)
                joined += ".";
            first = false;
            joined += attributeValueToString(element).value_or(std::string());
        }
        return joined;
    }
    default: break;
    }
    ZovLog(value.logDescription());
    ZovLog(vistel::format("FileSystemItemMO::attributeValueToString unknown value class %@",
                          value.isData() ? "NSData" : value.isDictionary() ? "NSDictionary" : "NSObject"));
    return std::nullopt;
}

std::map<std::string, Ref<ManagedObject>> FileSystemItemMO::objectTags(ManagedObject* tag)
{
    std::map<std::string, Ref<ManagedObject>> tags;
    if (!tag)
        return tags;
    for (const auto& sub : tag->toMany("tags"))
        tags.emplace(tagNameText(sub.get()), sub);
    return tags;
}

Ref<ManagedObject> FileSystemItemMO::subTagObjectByName(std::string_view group, bool createIfNotExists)
{
    MediaDatabase* database = mediaDatabase();
    if (!database)
        return {};
    return database->tagOf(this, "parentElement", group, createIfNotExists);
}

void FileSystemItemMO::setAttribute(const Value& value, std::string_view name, std::string_view group)
{
    if (group == kTagFileSystemItem) {
        setValueForItemKey(value, name);
        return;
    }
    MediaDatabase* database = mediaDatabase();
    auto groupTag = subTagObjectByName(group, true);
    if (!database || !groupTag)
        return;
    auto attribute = database->tagOf(groupTag.get(), "parentTag", name, true);
    if (!attribute)
        return;
    attribute->setStringValue("value", attributeValueToString(value));
}

Value FileSystemItemMO::attributeWithName(std::string_view name, std::string_view group)
{
    if (group == kTagFileSystemItem) {
        auto value = valueForItemKey(name);
        if (!value)
            return Value();
        return value->isNull() ? Value("") : *value;
    }
    MediaDatabase* database = mediaDatabase();
    auto groupTag = subTagObjectByName(group, false);
    if (!database || !groupTag)
        return Value();
    auto attribute = database->tagOf(groupTag.get(), "parentTag", name, false);
    if (!attribute)
        return Value();
    auto text = attribute->stringValue("value");
    return text ? Value(*text) : Value();
}

std::set<std::string> FileSystemItemMO::attributeNamesForTag(std::string_view group)
{
    std::set<std::string> names;
    MediaDatabase* database = mediaDatabase();
    if (!database)
        return names;
    // Reading creates nothing: an item without the group has no names.
    if (auto tags = database->tagsOf(this, group, false))
        for (const auto& tag : *tags)
            names.insert(tagNameText(tag.get()));
    return names;
}

bool FileSystemItemMO::setAttributesValues(const std::optional<std::vector<Value>>& values,
                                           const std::vector<std::string>& names, std::string_view group,
                                           bool removeOthers)
{
    if (values && values->size() != names.size()) {
        ZovLog("FileSystemItemMO::setAttributesValues invalid values");
        return false;
    }
    MediaDatabase* database = mediaDatabase();
    auto groupTag = subTagObjectByName(group, true);
    if (!database || !groupTag)
        return false;
    auto existing = objectTags(groupTag.get());
    std::set<std::string> kept;
    for (std::size_t i = 0; i < names.size(); ++i) {
        Ref<ManagedObject> tag;
        if (auto it = existing.find(names[i]); it != existing.end())
            tag = it->second;
        else if ((tag = database->createTagWithName(names[i], groupTag.get(), "parentTag")))
            existing.emplace(names[i], tag);
        if (!tag) {
            ZovLog("FileSystemItemMO::setAttributesValues can't create keyObject");
            continue;
        }
        if (values && !(*values)[i].isNull())
            tag->setStringValue("value", attributeValueToString((*values)[i]));
        if (removeOthers)
            kept.insert(names[i]);
    }
    if (removeOthers)
        if (auto* context = managedObjectContext())
            for (const auto& [name, tag] : objectTags(groupTag.get()))
                if (!kept.count(name))
                    context->deleteObject(tag.get());
    return true;
}

bool FileSystemItemMO::removeAttributes(const std::vector<std::string>& names, std::string_view group)
{
    auto* context = managedObjectContext();
    if (auto groupTag = subTagObjectByName(group, false); groupTag && context) {
        auto tags = objectTags(groupTag.get());
        for (const std::string& name : names)
            if (auto it = tags.find(name); it != tags.end())
                context->deleteObject(it->second.get());
        ErrorRecord error;
        if (!context->commitEditing(&error))
            ZovLog("FileSystemItemMO::removeAttributes " + error.description());
    }
    return true;
}

// --- image facts ----------------------------------------------------------------------------------

std::optional<std::string> FileSystemItemMO::userDimensions()
{
    if (!isDecodable())
        return std::nullopt;
    const Value width = attributeWithName(kImagePropertyPixelWidth, kTagRootPageMetadata);
    const Value height = attributeWithName(kImagePropertyPixelHeight, kTagRootPageMetadata);
    if (width.isNull() || height.isNull())
        return std::nullopt;
    return vistel::format("%@ × %@", width, height);
}

std::optional<std::string> FileSystemItemMO::userDimensionsInches()
{
    if (!isDecodable())
        return std::nullopt;
    const Value width = attributeWithName(kImagePropertyPixelWidth, kTagRootPageMetadata);
    const Value height = attributeWithName(kImagePropertyPixelHeight, kTagRootPageMetadata);
    const Value resolution = attributeWithName(kImagePropertyDPIHeight, kTagRootPageMetadata);
    if (width.isNull() || height.isNull() || resolution.isNull())
        return std::nullopt;
    const float dpi = floatValueOf(resolution);
    if (!(dpi > 0))
        return std::nullopt; // no inches without a resolution
    return vistel::format("%2.2f × %2.2f", static_cast<double>(floatValueOf(width) / dpi),
                          static_cast<double>(floatValueOf(height) / dpi));
}

std::optional<std::string> FileSystemItemMO::numberOfPages()
{
    if (!isDecodable())
        return std::nullopt;
    return std::string("1");
}

std::optional<std::string> FileSystemItemMO::uncompressedSize()
{
    if (!isDecodable())
        return std::nullopt;
    return ZOV_TRANSLATE("<undefined>", "uncompressedSize");
}

ItemSize FileSystemItemMO::itemDimensions()
{
    if (!isDecodable())
        return {};
    return {floatValueOf(attributeWithName(kImagePropertyPixelWidth, kTagRootPageMetadata)),
            floatValueOf(attributeWithName(kImagePropertyPixelHeight, kTagRootPageMetadata))};
}

// --- the item's own properties by key ---------------------------------------------------------------

std::optional<Value> FileSystemItemMO::valueForItemKey(std::string_view key)
{
    auto text = [](const std::optional<std::string>& s) { return s ? Value(*s) : Value(); };
    auto date = [](const std::optional<Date>& d) { return d ? Value(*d) : Value(); };
    if (key == "name")
        return Value(name());
    if (key == "displayName")
        return Value(displayName());
    if (key == "fullPath")
        return Value(fullPath());
    if (key == "relativePath")
        return Value(relativePath());
    if (key == "uuid")
        return text(uuid());
    if (key == "type")
        return text(type());
    if (key == "userKind")
        return text(userKind());
    if (key == "size")
        return size() ? Value(static_cast<long long>(*size())) : Value();
    if (key == "creationDate")
        return date(creationDate());
    if (key == "modificationDate")
        return date(modificationDate());
    if (key == "userDimensions")
        return text(userDimensions());
    if (key == "userDimensionsInches")
        return text(userDimensionsInches());
    if (key == "numberOfPages")
        return text(numberOfPages());
    if (key == "uncompressedSize")
        return text(uncompressedSize());
    if (key == "databaseCaption")
        return databaseCaption();
    if (key == "databaseDatetime")
        return databaseDatetime();
    if (key == "databaseAuthor")
        return databaseAuthor();
    if (key == "databaseRating")
        return databaseRating();
    if (key == "databaseTagged")
        return databaseTagged();
    if (key == "databaseNotes")
        return databaseNotes();
    if (key == "databaseKeywords")
        return databaseKeywords();
    if (key == "databaseCategories")
        return databaseCategories();
    return std::nullopt;
}

bool FileSystemItemMO::setValueForItemKey(const Value& value, std::string_view key)
{
    auto text = [&]() { return value.isNull() ? std::optional<std::string>() : std::optional(value.toString()); };
    if (key == "name" && value.isString())
        setName(value.asString());
    else if (key == "displayName")
        setDisplayName(text());
    else if (key == "uuid")
        setUuid(text());
    else if (key == "type")
        setType(text());
    else if (key == "userKind")
        setUserKind(text());
    else if (key == "size")
        setSize(value.isNull() ? std::nullopt : std::optional(value.toInt64()));
    else if (key == "creationDate")
        setCreationDate(value.isDate() ? std::optional(value.toDate()) : std::nullopt);
    else if (key == "modificationDate")
        setModificationDate(value.isDate() ? std::optional(value.toDate()) : std::nullopt);
    else if (key.substr(0, 8) == "database" && valueForItemKey(key))
        setAttribute(value, key, kTagFileSystemItemDB);
    else
        return false;
    return true;
}

} // namespace vistel
