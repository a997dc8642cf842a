#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"

#include <algorithm>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

using store::ManagedObject;

namespace {

Ref<FileSystemItemMOCategory> theRootCategory; // main thread only

store::ManagedObjectContext* catalogueContext()
{
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    return database ? database->managedObjectContext().get() : nullptr;
}

std::optional<std::string> tagName(ManagedObject* tag)
{
    if (!tag)
        return std::nullopt;
    auto name = tag->toOne("name");
    if (!name)
        return std::nullopt;
    return name->stringValue("value");
}

// The node standing for `tag` among the children built so far under `node`.
FileSystemItemMOCategory* builtNodeFor(FileSystemItemMOCategory* node, ManagedObject* tag, int depth = 0);

} // namespace

// --- class methods --------------------------------------------------------------------------------

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::rootCategory()
{
    if (theRootCategory && !theRootCategory->item())
        theRootCategory = nullptr;
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    if (!theRootCategory && database) {
        const char* form = "(parentTag==nil) AND (parentElement==nil) AND (name.value==%@)";
        auto found = database->searchObjectsBy(form, {Value(kRootCategoryName)}, 1, MediaDatabase::EntityTag);
        if (found && found->empty()) {
            database->createTagWithName(kRootCategoryName, nullptr, "");
            found = database->searchObjectsBy(form, {Value(kRootCategoryName)}, 1, MediaDatabase::EntityTag);
        }
        if (found && !found->empty())
            theRootCategory = categoryFromItem(found->front().get());
    }
    if (theRootCategory && theRootCategory->numberOfChildren() == 0) {
        theRootCategory->addChildWithName(ZOV_TRANSLATE_CLASS("Albums", "rootCategory"));
        theRootCategory->addChildWithName(ZOV_TRANSLATE_CLASS("Places", "rootCategory"));
        if (auto people = theRootCategory->addChildWithName(ZOV_TRANSLATE_CLASS("People", "rootCategory")))
            people->addChildWithName(ZOV_TRANSLATE_CLASS("Friends", "rootCategory"));
        theRootCategory->addChildWithName(ZOV_TRANSLATE_CLASS("Various", "rootCategory"));
    }
    return theRootCategory;
}

Ref<ManagedObject> FileSystemItemMOCategory::itemOfCategoryWithID(std::string_view uniqueID)
{
    auto* context = catalogueContext();
    if (!context)
        return {};
    auto id = context->persistentStoreCoordinator()->managedObjectIDForURIRepresentation(uniqueID);
    if (!id)
        return {};
    return context->objectWithID(*id);
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::existingCategoryForUniqueID(std::string_view uniqueID)
{
    auto tag = itemOfCategoryWithID(uniqueID);
    if (!tag || tag->entityName() != MediaDatabase::EntityTag)
        return {};
    std::vector<Ref<ManagedObject>> chain {tag};
    while (auto up = chain.back()->toOne("parentTag")) {
        if (std::find(chain.begin(), chain.end(), up) != chain.end())
            return {}; // a loop in the stored tree leads nowhere
        chain.push_back(up);
    }
    Ref<FileSystemItemMOCategory> node = rootCategory();
    if (!node || node->item() != chain.back())
        return {};
    for (auto it = chain.rbegin() + 1; node && it != chain.rend(); ++it)
        node = node->childWithItem(it->get());
    return node;
}

std::optional<std::string> FileSystemItemMOCategory::nameOfCategoryWithID(std::string_view uniqueID)
{
    return tagName(itemOfCategoryWithID(uniqueID).get());
}

std::set<std::string> FileSystemItemMOCategory::categoryUniqueIDsForItem(FileSystemItemMO* item)
{
    if (!item)
        return {};
    return item->attributeNamesForTag(kTagCategories);
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::categoryFromItem(ManagedObject* tag)
{
    if (!tag)
        return {};
    return makeRef<FileSystemItemMOCategory>(tag->objectID());
}

// --- the node ---------------------------------------------------------------------------------------

FileSystemItemMOCategory::~FileSystemItemMOCategory()
{
    if (subItemsObjects_)
        for (const auto& child : *subItemsObjects_)
            if (child->parent_ == this)
                child->parent_ = nullptr;
}

Ref<ManagedObject> FileSystemItemMOCategory::item() const
{
    auto* context = catalogueContext();
    return context ? context->objectRegisteredForID(impRef_) : Ref<ManagedObject>();
}

std::optional<std::string> FileSystemItemMOCategory::name() const
{
    return tagName(item().get());
}

void FileSystemItemMOCategory::setName(std::string_view newName)
{
    auto tag = item();
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    if (!tag || !database || name() == std::optional<std::string>(newName))
        return;
    tag->setToOne("name", database->tagNameObject(newName, true).get());
    if (parent_)
        parent_->sortChildren();
}

const std::vector<Ref<FileSystemItemMOCategory>>& FileSystemItemMOCategory::children()
{
    if (!subItemsObjects_) {
        subItemsObjects_ = std::make_unique<std::vector<Ref<FileSystemItemMOCategory>>>();
        if (auto tag = item()) {
            for (const auto& sub : tag->toMany("tags")) {
                auto node = categoryFromItem(sub.get());
                node->parent_ = this;
                subItemsObjects_->push_back(node);
            }
            sortChildren();
        }
    }
    return *subItemsObjects_;
}

void FileSystemItemMOCategory::sortChildren()
{
    if (!subItemsObjects_)
        return;
    std::stable_sort(subItemsObjects_->begin(), subItemsObjects_->end(),
                     [](const auto& a, const auto& b) { return a->name().value_or("") < b->name().value_or(""); });
}

long FileSystemItemMOCategory::numberOfChildren()
{
    if (!item())
        return 0;
    return static_cast<long>(children().size());
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::childAtIndex(long index)
{
    if (!item())
        return {};
    const auto& list = children();
    ZOV_ASSERT(index >= 0 && static_cast<std::size_t>(index) < list.size(), "Index out of range");
    return list[static_cast<std::size_t>(index)];
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::childWithName(std::string_view text)
{
    for (const auto& child : children())
        if (child->name() == std::optional<std::string>(text))
            return child;
    return {};
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::childWithID(const store::ObjectID& id)
{
    auto* context = catalogueContext();
    if (!context)
        return {};
    return childWithItem(context->objectWithID(id).get());
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::childWithItem(ManagedObject* tag)
{
    if (!tag)
        return {};
    for (const auto& child : children())
        if (child->item().get() == tag)
            return child;
    return {};
}

Ref<FileSystemItemMOCategory> FileSystemItemMOCategory::addChildWithName(std::string_view text)
{
    auto tag = item();
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    if (!tag || !database)
        return {};
    if (auto existing = childWithName(text))
        return existing;
    auto node = categoryFromItem(database->createTagWithName(text, tag.get(), "parentTag").get());
    if (!node)
        return {};
    children();
    subItemsObjects_->push_back(node);
    sortChildren();
    node->parent_ = this;
    return node;
}

namespace {

FileSystemItemMOCategory* builtNodeFor(FileSystemItemMOCategory* node, ManagedObject* tag, int depth)
{
    if (!node || depth > 64)
        return nullptr;
    if (node->item().get() == tag)
        return node;
    for (long i = 0; i < node->numberOfChildren(); ++i)
        if (auto* found = builtNodeFor(node->childAtIndex(i).get(), tag, depth + 1))
            return found;
    return nullptr;
}

} // namespace

bool FileSystemItemMOCategory::addExistingChild(FileSystemItemMOCategory* node)
{
    if (!node)
        return false;
    for (const auto& child : children())
        if (child->isEqual(node))
            return true;
    auto tag = item();
    auto nodeTag = node->item();
    if (!tag || !nodeTag)
        return false;
    // Under itself or a descendant the branch would leave the tree and every walk up would loop.
    for (Ref<ManagedObject> up = tag; up; up = up->toOne("parentTag"))
        if (up == nodeTag) {
            ZovLog("FileSystemItemMOCategory::addExistingChild: a category cannot move under itself or its descendants");
            return false;
        }
    FileSystemItemMOCategory* former = node->parent_;
    if (!former)
        if (auto oldParentTag = nodeTag->toOne("parentTag"))
            former = builtNodeFor(theRootCategory.get(), oldParentTag.get());
    nodeTag->setToOne("parentTag", tag.get());
    if (former && former->subItemsObjects_) {
        auto& siblings = *former->subItemsObjects_;
        siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [&](const auto& c) { return c->isEqual(node); }),
                       siblings.end());
    }
    subItemsObjects_->push_back(Ref<FileSystemItemMOCategory>(node));
    sortChildren();
    node->parent_ = this;
    return true;
}

void FileSystemItemMOCategory::removeChild(FileSystemItemMOCategory* node)
{
    if (!node)
        return;
    children();
    auto& list = *subItemsObjects_;
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& c) { return c->isEqual(node); });
    if (it == list.end())
        return;
    Ref<FileSystemItemMOCategory> child = *it;
    list.erase(it);
    child->removeSelf();
}

void FileSystemItemMOCategory::removeSelf()
{
    while (!children().empty()) {
        Ref<FileSystemItemMOCategory> child = subItemsObjects_->front();
        subItemsObjects_->erase(subItemsObjects_->begin());
        child->removeSelf();
    }
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    auto* context = catalogueContext();
    if (database && context) {
        const std::string id = uniqueIDString();
        if (auto nameObject = database->tagNameObject(id, true)) {
            if (auto assignments = database->searchObjectsBy("name==%@", {Value(Ref<Object>(nameObject))}, 1000000,
                                                             MediaDatabase::EntityTag))
                for (const auto& assignment : *assignments)
                    context->deleteObject(assignment.get());
            database->removeTagNameObject(id);
        }
        if (auto tag = item())
            context->deleteObject(tag.get());
    }
    parent_ = nullptr;
}

void FileSystemItemMOCategory::setToItem(FileSystemItemMO* target)
{
    if (target)
        target->setAttributesValues(std::nullopt, {uniqueIDString()}, kTagCategories, false);
}

void FileSystemItemMOCategory::removeFromItem(FileSystemItemMO* target)
{
    if (target)
        target->removeAttributes({uniqueIDString()}, kTagCategories);
}

bool FileSystemItemMOCategory::isAssignedToTheItem(FileSystemItemMO* target)
{
    return target && target->attributeNamesForTag(kTagCategories).count(uniqueIDString()) > 0;
}

bool FileSystemItemMOCategory::isAssignedToAnItem()
{
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    if (!database)
        return false;
    auto found = database->searchObjectsBy("NOT (parentTag==nil) AND (name.value==%@)", {Value(uniqueIDString())}, 1,
                                           MediaDatabase::EntityTag);
    return found && !found->empty();
}

std::string FileSystemItemMOCategory::description()
{
    return vistel::format("[%d]<%d>(%d){%d} \"%@\" [%@]", static_cast<long long>(impRef_.rowID),
                          subItemsObjects_ ? static_cast<long long>(subItemsObjects_->size()) : -1LL,
                          parent_ ? static_cast<long long>(parent_->impRef_.rowID) : 0LL,
                          static_cast<long long>(retainCount()), name().value_or("(null)"), uniqueIDString());
}

} // namespace vistel
