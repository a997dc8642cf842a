#pragma once
// FileSystemItemMOCategory: a node of the user's category tree ("Albums", "People", ...).
//
// The tree lives in the catalogue as Tag objects: the root is the Tag named
// "{{{ROOT_CATEGORY_NAME}}}" with no parent of either kind, a category is a Tag whose
// "parentTag" is its parent category's Tag. A category is identified everywhere (assignments,
// pasteboard, panels) by the URI text of its Tag's object identifier, which stays the same
// across runs. An item's categories are the attribute names of its "{FSICategories}" group.
//
// A node holds only the identifier of its Tag and builds its children on first use, sorted by
// plain name order (case-sensitive code points). Any number of nodes may stand for one Tag;
// they compare equal. Operations on a node whose Tag is gone answer nothing and do nothing.
// A category is never moved under itself or one of its own descendants.
//
// Thread rules: main thread only (the catalogue's context). The catalogue is
// MediaDatabase::defaultMediaDatabase().

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Object.h"
#include "Platform/ObjectStore/ObjectStore.h"
#include "ZovClass.h"

namespace vistel {

class FileSystemItemMO;

inline constexpr const char* kRootCategoryName = "{{{ROOT_CATEGORY_NAME}}}";

class FileSystemItemMOCategory : public Object {
public:
    ZOV_ROOT_CLASS(FileSystemItemMOCategory)

    static Ref<FileSystemItemMOCategory> rootCategory();
    static Ref<FileSystemItemMOCategory> existingCategoryForUniqueID(std::string_view uniqueID);
    static std::optional<std::string> nameOfCategoryWithID(std::string_view uniqueID);
    static std::set<std::string> categoryUniqueIDsForItem(FileSystemItemMO* item);
    static Ref<FileSystemItemMOCategory> categoryFromItem(store::ManagedObject* tag);
    static Ref<store::ManagedObject> itemOfCategoryWithID(std::string_view uniqueID);

    explicit FileSystemItemMOCategory(store::ObjectID tagID) : impRef_(std::move(tagID)) { }

    const store::ObjectID& uniqueID() const { return impRef_; }
    std::string uniqueIDString() const { return impRef_.uriRepresentation(); }
    // The Tag, when the catalogue's context holds it.
    Ref<store::ManagedObject> item() const;

    std::optional<std::string> name() const;
    void setName(std::string_view name);
    long numberOfChildren();
    // Raises "Index out of range" for an index outside the children.
    Ref<FileSystemItemMOCategory> childAtIndex(long index);
    Ref<FileSystemItemMOCategory> childWithName(std::string_view name);
    Ref<FileSystemItemMOCategory> childWithID(const store::ObjectID& id);
    Ref<FileSystemItemMOCategory> childWithItem(store::ManagedObject* tag);
    // The child of that name: the existing one, or a new one.
    Ref<FileSystemItemMOCategory> addChildWithName(std::string_view name);
    // Moves `node` under this category; refuses (false, logged) a move under the node itself or
    // one of its descendants.
    bool addExistingChild(FileSystemItemMOCategory* node);
    void removeChild(FileSystemItemMOCategory* node);

    void setToItem(FileSystemItemMO* item);
    void removeFromItem(FileSystemItemMO* item);
    bool isAssignedToTheItem(FileSystemItemMO* item);
    bool isAssignedToAnItem();

    FileSystemItemMOCategory* parentCategory() const { return parent_; }
    bool isEqual(const FileSystemItemMOCategory* other) const { return other && impRef_ == other->impRef_; }
    std::string description();

protected:
    ~FileSystemItemMOCategory() override;

private:
    const std::vector<Ref<FileSystemItemMOCategory>>& children();
    void sortChildren();
    void removeSelf();

    store::ObjectID impRef_;
    std::unique_ptr<std::vector<Ref<FileSystemItemMOCategory>>> subItemsObjects_;
    FileSystemItemMOCategory* parent_ = nullptr; // not retained; cleared by the parent
};

} // namespace vistel
