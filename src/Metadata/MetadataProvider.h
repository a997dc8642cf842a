#pragma once
// MetadataProvider: one field table and the first selected catalogue item, as the two-level tree
// a metadata view shows (categories at the top, the fields that have a value beneath them).
//
// Values come from the catalogue item only, through its attribute calls (attributeWithName,
// attributeNamesForTag), never from the picture file: the catalogue holds them as text. An edit
// goes back through setAttribute / setAttributesValues to the first item, and the catalogue is
// told the item changed (notifyFSItemChanged, no reload of children). With several items only
// the first is read and written.
//
// Rows are walked in table order; a row's index is its value's priority. A category is made by
// the first of its rows that has a value and sorts by that row's priority; inside a category the
// values are sorted by priority and each row occurs once. A row the item has no value for is
// absent; a "{FileSystemItem}" row whose property is nil shows "" (the row is present); a "*"
// row (every name under its group, such as the keyword set) is always present, its value the
// sorted list of names (empty when there are none).
//
// MetadataValue is one node: a category (no converter, its children as value) or a field (the
// raw value as the item holds it, the converter its row names). A node is a group when it has no
// converter and its value is a list: every category, but not the keyword field, whose list
// carries the "Keywords" converter.
//
// Keyword completion (keywordsList) offers the keywords stored in the catalogue's keyword set
// that begin with the typed text in any case and with any diacritics, matched literally.
//
// Reading creates nothing in the catalogue: viewing an item through any table leaves its tags
// and tag names as they were.
//
// Thread rules: main thread only (the catalogue's thread).

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Metadata/MetadataConverter.h"
#include "Metadata/MetadataProfile.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class FileSystemItemMO;
class FileSystemItemMOCategory;

class MetadataValue final : public Object {
public:
    // A field value (converterID null: shown as it is) or, with an empty key pair and no
    // converter, a category.
    MetadataValue(std::string key, Value value, std::int32_t priority, std::int32_t uiType, const char* converterID,
                  std::string sourcePath1, std::string sourcePath2);

    std::int32_t priority() const noexcept { return priority_; }
    const std::string& key() const noexcept { return key_; }
    void setKey(std::string key) { key_ = std::move(key); }
    // The raw value; for a category the list of its field values (objects), by priority.
    Value value() const;
    void setValue(Value value) { value_ = std::move(value); }
    std::int32_t uiType() const noexcept { return uiType_; }
    const Value& userData() const noexcept { return userData_; }
    void setUserData(Value userData) { userData_ = std::move(userData); }
    const std::string& objSourcePath1() const noexcept { return sourcePath1_; }
    const std::string& objSourcePath2() const noexcept { return sourcePath2_; }

    bool hasConverter() const noexcept { return converter_ != nullptr; }
    // The displayed value: the converter's toUI of the value, or the value itself.
    Value covertedValue() const;
    // Stores the converter's fromUI of an edited display value, or the value itself.
    void setValueWithConversion(const Value& displayed);
    // -1, 0, 1 by priority.
    int compare(const MetadataValue& other) const noexcept;
    // Takes the other value's raw value and converter, nothing else.
    void copyValueFrom(const MetadataValue& other);

    // A node with no converter whose value is a list (every category).
    bool isGroup() const;
    bool isCategory() const noexcept { return category_; }
    // A category's field values, by priority.
    const std::vector<Ref<MetadataValue>>& children() const noexcept { return children_; }

private:
    friend class MetadataProvider;
    static Ref<MetadataValue> makeCategory(std::string key, std::int32_t priority);

    std::int32_t priority_;
    std::string key_;
    Value value_;
    std::int32_t uiType_;
    Value userData_;
    Ref<MetadataConverterProtocol> converter_;
    std::string sourcePath1_;
    std::string sourcePath2_;
    bool category_ = false;
    std::vector<Ref<MetadataValue>> children_;
};

class MetadataProvider final : public Object {
public:
    // The outline's column identifiers.
    static constexpr const char* ColumnName = "Name";
    static constexpr const char* ColumnValue = "Value";

    // What the insert call did.
    enum class Change { Unchanged = 0, Inserted = 1, Updated = 2 };

    static Ref<MetadataProvider> providerWithName(std::string name, Ref<MetadataProfile> profile);
    MetadataProvider(std::string name, Ref<MetadataProfile> profile);

    const std::string& ufName() const noexcept { return ufName_; }
    const Ref<MetadataProfile>& profile() const noexcept { return profile_; }
    const std::vector<Ref<MetadataValue>>& dataCache() const noexcept { return dataCache_; }
    const std::vector<Ref<FileSystemItemMO>>& fileSystemItems() const noexcept { return fileSystemItems_; }

    // Rebuilds every value from the first item; no items clears.
    void updateWithItems(const std::vector<Ref<FileSystemItemMO>>& items);
    // Reads the first item again when it is among `items`: the values whose content changed
    // (empty when none). New values are inserted but not reported; vanished ones stay.
    std::vector<Ref<MetadataValue>> updateChangedItems(const std::vector<Ref<FileSystemItemMO>>& items);
    void clearAll();

    // The category of that key, or null.
    Ref<MetadataValue> categoryItems(std::string_view category) const;
    Ref<MetadataValue> createCategory(std::string_view category, std::int32_t priority);
    // Inserts or updates one field value; for Updated the updated value goes to `changed`.
    Change setValue(const Value& value, std::string_view name, std::int32_t priority, std::int32_t uiType,
                    const char* converterID, std::string_view category, std::string_view sourcePath1,
                    std::string_view sourcePath2, Ref<MetadataValue>* changed = nullptr);

    // Outline data source; a null item is the top.
    std::size_t numberOfChildrenOfItem(const MetadataValue* item) const;
    Ref<MetadataValue> childOfItem(std::size_t index, const MetadataValue* item) const;
    bool isItemExpandable(const MetadataValue* item) const;
    bool isGroupItem(const MetadataValue* item) const;
    Value objectValueForColumnID(std::string_view column, const MetadataValue* item) const;
    // "Name" renames the node (nothing is written); "Value" stores the edit and writes it to the
    // first item, then tells its catalogue the item changed.
    void setObjectValue(const Value& value, std::string_view column, MetadataValue* item);
    std::int32_t uiTypeForItem(const MetadataValue* item) const { return item ? item->uiType() : 0; }
    void setUserDataForItem(const Value& userData, MetadataValue* item);
    Value userDataForItem(const MetadataValue* item) const;

    // Category tree: toggles the category on the first item; whether it is assigned to it.
    void applyCategory(FileSystemItemMOCategory* category);
    bool stateForCategory(FileSystemItemMOCategory* category) const;

    // Keyword completion: the keywords of the set `tagName` stored in the default catalogue that
    // begin with `substring` (case and diacritics ignored, * ? \ % _ taken literally), minus
    // `alreadyUsed`, sorted by plain comparison; nullopt when the catalogue has none.
    static std::optional<std::vector<std::string>> keywordsList(std::string_view tagName, std::string_view substring,
                                                                const std::set<std::string>& alreadyUsed);

private:
    // Reads every row of the first item; collects the updated values in `changed` when given.
    void readRows(std::vector<Ref<MetadataValue>>* changed);
    void notifyItemChanged(FileSystemItemMO* item) const;

    Ref<MetadataProfile> profile_;
    std::string ufName_;
    std::vector<Ref<MetadataValue>> dataCache_;
    std::vector<Ref<FileSystemItemMO>> fileSystemItems_;
};

} // namespace vistel
