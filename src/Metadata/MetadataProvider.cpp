#include "Metadata/MetadataProvider.h"

#include <algorithm>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/ObjectStore/TextFolding.h"

namespace vistel {

using store::ManagedObject;

namespace {

// The catalogue's limit for the completion queries.
constexpr std::size_t CompletionFetchLimit = 1000000;

// The name text of a catalogue object's "value".
std::string valueText(ManagedObject* object)
{
    return object ? object->stringValue("value").value_or(std::string()) : std::string();
}

} // namespace

// --- MetadataValue ----------------------------------------------------------------------------------

MetadataValue::MetadataValue(std::string key, Value value, std::int32_t priority, std::int32_t uiType,
                             const char* converterID, std::string sourcePath1, std::string sourcePath2)
    : priority_(priority), key_(std::move(key)), value_(std::move(value)), uiType_(uiType),
      sourcePath1_(std::move(sourcePath1)), sourcePath2_(std::move(sourcePath2))
{
    if (converterID)
        converter_ = MetadataConverterBase::converterForID(converterID);
}

Ref<MetadataValue> MetadataValue::makeCategory(std::string key, std::int32_t priority)
{
    auto category = makeRef<MetadataValue>(std::move(key), Value(), priority, 0, nullptr, std::string(), std::string());
    category->category_ = true;
    return category;
}

Value MetadataValue::value() const
{
    if (!category_)
        return value_;
    Value::ArrayType list;
    list.reserve(children_.size());
    for (const auto& child : children_)
        list.emplace_back(Ref<Object>(child));
    return Value(std::move(list));
}

Value MetadataValue::covertedValue() const
{
    return converter_ ? converter_->toUI(value_) : value();
}

void MetadataValue::setValueWithConversion(const Value& displayed)
{
    value_ = converter_ ? converter_->fromUI(displayed) : displayed;
}

int MetadataValue::compare(const MetadataValue& other) const noexcept
{
    return priority_ < other.priority_ ? -1 : priority_ > other.priority_ ? 1 : 0;
}

void MetadataValue::copyValueFrom(const MetadataValue& other)
{
    value_ = other.value_;
    converter_ = other.converter_;
}

bool MetadataValue::isGroup() const
{
    return !converter_ && (category_ || value_.isArray());
}

// --- MetadataProvider -------------------------------------------------------------------------------

Ref<MetadataProvider> MetadataProvider::providerWithName(std::string name, Ref<MetadataProfile> profile)
{
    return makeRef<MetadataProvider>(std::move(name), std::move(profile));
}

MetadataProvider::MetadataProvider(std::string name, Ref<MetadataProfile> profile)
    : profile_(std::move(profile)), ufName_(std::move(name))
{
}

void MetadataProvider::clearAll()
{
    dataCache_.clear();
    fileSystemItems_.clear();
}

void MetadataProvider::updateWithItems(const std::vector<Ref<FileSystemItemMO>>& items)
{
    if (items.empty() || !items.front()) {
        clearAll();
        return;
    }
    fileSystemItems_ = items;
    // A rebuild: nothing of the previous item may stay.
    dataCache_.clear();
    readRows(nullptr);
}

std::vector<Ref<MetadataValue>> MetadataProvider::updateChangedItems(const std::vector<Ref<FileSystemItemMO>>& items)
{
    if (items.empty() || fileSystemItems_.empty())
        return {};
    const bool concerned = std::any_of(items.begin(), items.end(), [&](const Ref<FileSystemItemMO>& item) {
        return std::find(fileSystemItems_.begin(), fileSystemItems_.end(), item) != fileSystemItems_.end();
    });
    if (!concerned)
        return {};
    std::vector<Ref<MetadataValue>> changed;
    readRows(&changed);
    return changed;
}

void MetadataProvider::readRows(std::vector<Ref<MetadataValue>>* changed)
{
    FileSystemItemMO* item = fileSystemItems_.empty() ? nullptr : fileSystemItems_.front().get();
    if (!item || !profile_)
        return;
    const std::size_t count = profile_->count();
    for (std::size_t index = 0; index < count; ++index) {
        const MetadataProfileItemInfo& row = *profile_->infoAtIndex(index);
        const std::string_view group = row.sourcePath1;
        const std::string_view name = row.sourcePath2;
        Value value;
        if (name == MetadataProfile::SourceAllNames) {
            Value::ArrayType names;
            for (const std::string& each : item->attributeNamesForTag(group))
                names.emplace_back(each); // a set: already in plain comparison order
            value = Value(std::move(names));
        } else {
            value = item->attributeWithName(name, group);
        }
        if (value.isNull())
            continue;
        Ref<MetadataValue> updated;
        const Change change = setValue(value, row.name, static_cast<std::int32_t>(index), row.uiType, row.converterID,
                                       row.category, group, name, changed ? &updated : nullptr);
        if (changed && change == Change::Updated && updated)
            changed->push_back(updated);
    }
}

Ref<MetadataValue> MetadataProvider::categoryItems(std::string_view category) const
{
    for (const auto& value : dataCache_)
        if (value->key() == category)
            return value;
    return {};
}

Ref<MetadataValue> MetadataProvider::createCategory(std::string_view category, std::int32_t priority)
{
    auto value = MetadataValue::makeCategory(std::string(category), priority);
    auto at = std::upper_bound(dataCache_.begin(), dataCache_.end(), value,
                               [](const Ref<MetadataValue>& a, const Ref<MetadataValue>& b) { return a->compare(*b) < 0; });
    dataCache_.insert(at, value);
    return value;
}

MetadataProvider::Change MetadataProvider::setValue(const Value& value, std::string_view name, std::int32_t priority,
                                                    std::int32_t uiType, const char* converterID,
                                                    std::string_view category, std::string_view sourcePath1,
                                                    std::string_view sourcePath2, Ref<MetadataValue>* changed)
{
    Ref<MetadataValue> group = categoryItems(category);
    if (!group)
        group = createCategory(category, priority);
    auto fresh = makeRef<MetadataValue>(std::string(name), value, priority, uiType, converterID,
                                        std::string(sourcePath1), std::string(sourcePath2));
    auto& values = group->children_;
    // After every value whose priority is not greater than the new one's.
    auto at = std::upper_bound(values.begin(), values.end(), fresh,
                               [](const Ref<MetadataValue>& a, const Ref<MetadataValue>& b) { return a->compare(*b) < 0; });
    if (at != values.begin()) {
        const Ref<MetadataValue>& previous = *(at - 1);
        if (previous->key() == fresh->key()) {
            if (previous->value_ == fresh->value_)
                return Change::Unchanged;
            previous->copyValueFrom(*fresh);
            if (changed)
                *changed = previous;
            return Change::Updated;
        }
    }
    values.insert(at, fresh);
    return Change::Inserted;
}

// --- outline data source ----------------------------------------------------------------------------

std::size_t MetadataProvider::numberOfChildrenOfItem(const MetadataValue* item) const
{
    if (!item)
        return dataCache_.size();
    return item->isCategory() ? item->children().size() : item->value().size();
}

Ref<MetadataValue> MetadataProvider::childOfItem(std::size_t index, const MetadataValue* item) const
{
    if (!item)
        return index < dataCache_.size() ? dataCache_[index] : Ref<MetadataValue>();
    if (item->isCategory())
        return index < item->children().size() ? item->children()[index] : Ref<MetadataValue>();
    return {}; // a field's list elements are texts, not nodes
}

bool MetadataProvider::isItemExpandable(const MetadataValue* item) const
{
    return !item || item->isGroup();
}

bool MetadataProvider::isGroupItem(const MetadataValue* item) const
{
    return !item || item->isGroup();
}

Value MetadataProvider::objectValueForColumnID(std::string_view column, const MetadataValue* item) const
{
    if (!item)
        return Value();
    if (column == ColumnName)
        return Value(item->key());
    if (item->isGroup())
        return Value("");
    return item->covertedValue();
}

void MetadataProvider::setObjectValue(const Value& value, std::string_view column, MetadataValue* item)
{
    if (!item)
        return;
    if (column == ColumnName) {
        item->setKey(value.toString());
        return;
    }
    if (column != ColumnValue || item->isCategory())
        return;
    item->setValueWithConversion(value);
    if (fileSystemItems_.empty() || !fileSystemItems_.front())
        return;
    FileSystemItemMO* target = fileSystemItems_.front().get();
    const Value stored = item->value();
    if (item->objSourcePath2() != MetadataProfile::SourceAllNames) {
        target->setAttribute(stored, item->objSourcePath2(), item->objSourcePath1());
    } else {
        std::vector<std::string> names;
        if (stored.isArray())
            for (const Value& each : stored.asArray())
                names.push_back(each.toString());
        else if (!stored.isNull())
            names.push_back(stored.toString());
        target->setAttributesValues(std::nullopt, names, item->objSourcePath1(), true);
    }
    notifyItemChanged(target);
}

void MetadataProvider::setUserDataForItem(const Value& userData, MetadataValue* item)
{
    if (item)
        item->setUserData(userData);
}

Value MetadataProvider::userDataForItem(const MetadataValue* item) const
{
    return item ? item->userData() : Value();
}

void MetadataProvider::notifyItemChanged(FileSystemItemMO* item) const
{
    if (MediaDatabase* database = item->mediaDatabase())
        database->notifyFSItemChanged(item, false);
}

// --- category tree ----------------------------------------------------------------------------------

void MetadataProvider::applyCategory(FileSystemItemMOCategory* category)
{
    if (!category || fileSystemItems_.empty() || !fileSystemItems_.front())
        return;
    FileSystemItemMO* item = fileSystemItems_.front().get();
    if (category->isAssignedToTheItem(item))
        category->removeFromItem(item);
    else
        category->setToItem(item);
    notifyItemChanged(item);
}

bool MetadataProvider::stateForCategory(FileSystemItemMOCategory* category) const
{
    if (!category || fileSystemItems_.empty() || !fileSystemItems_.front())
        return false;
    return category->isAssignedToTheItem(fileSystemItems_.front().get());
}

// --- keyword completion -----------------------------------------------------------------------------

std::optional<std::vector<std::string>> MetadataProvider::keywordsList(std::string_view tagName,
                                                                       std::string_view substring,
                                                                       const std::set<std::string>& alreadyUsed)
{
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    if (!database)
        return std::nullopt;
    // Names that begin with the typed text, the text itself taken literally.
    const std::string pattern = store::likeEscaped(substring) + "*";
    auto names = database->searchObjectsBy("value like[cd] %@", {Value(pattern)}, CompletionFetchLimit,
                                           MediaDatabase::EntityTagName);
    if (!names || names->empty())
        return std::nullopt;
    // Reading creates nothing: a keyword set never written has no keywords.
    auto setName = database->tagNameObject(tagName, false);
    if (!setName)
        return std::nullopt;
    Value::ArrayType candidates;
    candidates.reserve(names->size());
    for (const auto& name : *names)
        candidates.emplace_back(Ref<Object>(name));
    auto tags = database->searchObjectsBy("(parentTag.name==%@) AND (name IN %@)",
                                          {Value(Ref<Object>(setName)), Value(std::move(candidates))},
                                          CompletionFetchLimit, MediaDatabase::EntityTag);
    if (!tags || tags->empty())
        return std::nullopt;
    std::set<std::string> keywords;
    for (const auto& tag : *tags)
        keywords.insert(valueText(tag->toOne("name").get()));
    for (const std::string& used : alreadyUsed)
        keywords.erase(used);
    return std::vector<std::string>(keywords.begin(), keywords.end());
}

} // namespace vistel
