#include "Application/BrowseMode/BrowsingSelection.h"

#include <algorithm>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"

namespace vistel {

namespace {

Value itemArray(const ItemList& items)
{
    Value array = Value::array();
    for (const Ref<FileSystemItemMO>& item : items)
        array.append(Value(item));
    return array;
}

std::string objectKey(const FileSystemItemMO* item) { return item->permanentObjectID().uriRepresentation(); }

} // namespace

Ref<BrowsingSelection> BrowsingSelection::create() { return Ref<BrowsingSelection>::adopt(new BrowsingSelection()); }

BrowsingSelection::BrowsingSelection()
{
    startNotificationCacheTimer();
    database_ = Ref<MediaDatabase>(MediaDatabase::defaultMediaDatabase());
    if (database_) {
        database_->addItemUpdateObserver(this, nullptr);
        database_->addThumbnailUpdateObserver(this, nullptr);
    }
    // Showing or hiding files that are not pictures (folders, bundles) changes the list at once.
    NotificationCenter::defaultCenter().addObserver(
        this,
        [this](const Notification&) {
            Ref<BrowsingSelection> keepAlive(this);
            updateFoldersObjects(true);
            notificationCacheTimerFunction();
        },
        ItemsViewPreferencesItemsMaskChanged);
}

BrowsingSelection::~BrowsingSelection()
{
    stopNotificationCacheTimer();
    if (database_) {
        database_->removeItemUpdateObserver(this, nullptr);
        database_->removeThumbnailUpdateObserver(this, nullptr);
    }
    NotificationCenter::defaultCenter().removeObserver(this);
}

// --- the timer -----------------------------------------------------------------------------------------

void BrowsingSelection::startNotificationCacheTimer()
{
    if (notificationCacheTimer_)
        return;
    // The callback holds no reference: the destructor invalidates the timer first.
    notificationCacheTimer_ = RunLoop::current()->scheduleTimer(
        0.5, true, [this](RunLoop::Timer&) { notificationCacheTimerFunction(); },
        {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode});
}

void BrowsingSelection::stopNotificationCacheTimer()
{
    if (notificationCacheTimer_)
        notificationCacheTimer_->invalidate();
    notificationCacheTimer_ = nullptr;
}

void BrowsingSelection::startBackgroundThumbnailsWhenListed()
{
    // They wait for the folders' listings, so that they never slow them down.
    if (!backgroundItemsOutdated_
        || std::any_of(selectedFolders_.begin(), selectedFolders_.end(), [](const Ref<FileSystemItemMO>& f) {
               return f->needsRefresh() || f->hasPendingRefreshStatusRequests();
           }))
        return;
    backgroundItemsOutdated_ = false;
    backgroundThumbnails_.setItems(foldersObjects_);
}

void BrowsingSelection::notificationCacheTimerFunction()
{
    startBackgroundThumbnailsWhenListed();
    if (notificationCache_.size() == 0)
        return;
    std::uint64_t bitmap = 0;
    for (const auto& [key, entry] : notificationCache_.asDictionary()) {
        bitmap |= std::uint64_t(entry[kObjectsChangesBitmap].toInt64());
        if (bitmap == 7)
            break;
    }
    if (bitmap & 2)
        updateFoldersObjects(true);
    notificationCache_.set(kObjectsChangesBitmap, Value(static_cast<unsigned long long>(bitmap)));
    Value userInfo = notificationCache_;
    notificationCache_ = Value::dictionary();
    Ref<BrowsingSelection> keep(this); // an observer may let the selection go
    NotificationCenter::defaultCenter().postNotificationName(BrowsingSelectionNotification, Ref<Object>(keep),
                                                             std::move(userInfo));
}

// --- readers -------------------------------------------------------------------------------------------

bool BrowsingSelection::isFolderSelected(const FileSystemItemMO* item) const
{
    if (!item)
        return false;
    return std::any_of(selectedFolders_.begin(), selectedFolders_.end(),
                       [&](const Ref<FileSystemItemMO>& folder) { return folder.get() == item; });
}

bool BrowsingSelection::isSelectedFolderFromSingleVolume() const
{
    if (selectedFolders_.empty())
        return true;
    FileSystemItemMO* volume = selectedFolders_.front()->volumeItem();
    return std::all_of(selectedFolders_.begin(), selectedFolders_.end(),
                       [&](const Ref<FileSystemItemMO>& folder) { return folder->volumeItem() == volume; });
}

FileSystemItemMO* BrowsingSelection::selectedFoldersVolume() const
{
    if (selectedFolders_.empty() || !isSelectedFolderFromSingleVolume())
        return nullptr;
    return selectedFolders_.front()->volumeItem();
}

Ref<FileSystemItemMO> BrowsingSelection::selectedFolderAtIndex(unsigned index) const
{
    if (index >= selectedFolders_.size()) {
        const std::string text = vistel::format("BrowsinfSelection::selectedFolderAtIndex invalid index %d, total size %d",
                                                int(index), int(selectedFolders_.size()));
        ZovLog(text);
        throw Exception("Invalid index ", text);
    }
    return selectedFolders_[index];
}

unsigned BrowsingSelection::foldersObjectIndex(FileSystemItemMO* item) const
{
    if (!item)
        return 0;
    Ref<FileSystemItemMO> parent = item->parent();
    if (!parent || !isFolderSelected(parent.get()))
        return 0;
    const ItemList children = folderObjects(parent.get());
    auto it = std::find_if(children.begin(), children.end(), [&](const Ref<FileSystemItemMO>& c) { return c.get() == item; });
    return it == children.end() ? 0 : unsigned(it - children.begin());
}

Ref<FileSystemItemMO> BrowsingSelection::foldersObjectAtIndex(unsigned index) const
{
    return index < foldersObjects_.size() ? foldersObjects_[index] : Ref<FileSystemItemMO>();
}

unsigned BrowsingSelection::selectedObjectsCount() const
{
    if (selectedObjectsIndexes_.count() == 1 && selectedObjectsIndexes_.firstIndex() == 0xFFFFFFFFu)
        return 0;
    return unsigned(selectedObjectsIndexes_.count());
}

ItemList BrowsingSelection::selectedItems() const
{
    ItemList items;
    selectedObjectsIndexes_.enumerate([&](std::uint64_t index) {
        Ref<FileSystemItemMO> item = index < foldersObjects_.size() ? foldersObjects_[index] : Ref<FileSystemItemMO>();
        if (item)
            items.push_back(item);
        else
            ZovLog(vistel::format("BrowsingSelection::selectedItems can't find object with index %d", (long long)index));
        return true;
    });
    return items;
}

ItemList BrowsingSelection::foldersObjectsAtIndexes(const IndexSet& indexes) const
{
    ItemList items;
    indexes.enumerate([&](std::uint64_t index) {
        if (index >= foldersObjects_.size())
            return false; // ascending: the rest is outside too
        items.push_back(foldersObjects_[index]);
        return true;
    });
    return items;
}

std::uint32_t BrowsingSelection::objectsMask() const { return ItemsViewPreferences::getItemsMask(); }

ItemList BrowsingSelection::folderObjects(FileSystemItemMO* folder) const
{
    if (!folder || !folder->isFolder())
        return {};
    return folder->childrenWithMask(int(objectsMask()));
}

// --- observers -----------------------------------------------------------------------------------------

void BrowsingSelection::addFolderUpdateObserver(IFSItemChangedNotification* observer)
{
    if (!database_)
        return;
    for (const Ref<FileSystemItemMO>& folder : selectedFolders_)
        database_->addItemUpdateObserver(observer, folder.get());
}

void BrowsingSelection::removeObserverForAllItems(IFSItemChangedNotification* observer)
{
    if (database_)
        database_->removeItemUpdateObserver(observer, nullptr);
}

void BrowsingSelection::addNotificationObserver(BrowsingSelectionNotificationObserver* observer)
{
    if (!observer) {
        ZovLog("BrowsingSelection::addNotificationObserver invalid argument");
        return;
    }
    NotificationCenter::defaultCenter().addObserver(
        observer, [observer](const Notification& n) { observer->handleBrowsingSelectionNotifications(n); },
        BrowsingSelectionNotification, this);
}

void BrowsingSelection::removeNotificationObserver(BrowsingSelectionNotificationObserver* observer)
{
    if (!observer) {
        ZovLog("BrowsingSelection::removeNotificationObserver invalid argument");
        return;
    }
    NotificationCenter::defaultCenter().removeObserver(observer, BrowsingSelectionNotification, this);
}

void BrowsingSelection::startObserving()
{
    if (database_)
        database_->addItemUpdateObserver(this, nullptr);
}

void BrowsingSelection::stopObserving()
{
    if (database_)
        database_->removeItemUpdateObserver(this, nullptr);
}

// --- writers -------------------------------------------------------------------------------------------

void BrowsingSelection::setSelectedFolders(const ItemList& folders)
{
    if (folders == selectedFolders_)
        return;
    pathsToSelect_.clear();
    stopObserving();
    const ItemList old = selectedFolders_;
    selectedFolders_.clear();
    for (const Ref<FileSystemItemMO>& folder : folders) {
        if (!folder || !folder->isValid() || isFolderSelected(folder.get()))
            continue;
        selectedFolders_.push_back(folder);
    }
    if (selectedFolders_ == old) {
        startObserving();
        return;
    }
    const bool keep = std::any_of(old.begin(), old.end(), [&](const Ref<FileSystemItemMO>& f) { return isFolderSelected(f.get()); });
    backgroundThumbnails_.stop(); // what the old folders did not get yet is not asked for
    updateFoldersObjects(keep);
    if (!notificationCache_.contains(BrowsingSelectionFoldersSelectionChanged))
        notificationCache_.set(BrowsingSelectionFoldersSelectionChanged,
                               Value::dictionary({{kOldSelectedFolders, itemArray(old)}, {kObjectsChangesBitmap, 4}}));
    Ref<BrowsingSelection> keepAlive(this);
    notificationCacheTimerFunction();
    startObserving();
    askForFreshContents();
}

void BrowsingSelection::askForFreshContents()
{
    if (!database_)
        return;
    const ItemList folders = selectedFolders_;
    for (const Ref<FileSystemItemMO>& folder : folders) {
        if (folder->refreshStatus() == kRefreshStatusNotVerified) {
            // Marked pending as it is queued, so a second choice of it raises its priority.
            folder->enqueueRefresh();
            continue;
        }
        if (!folder->hasPendingRefreshStatusRequests())
            continue;
        const std::string path = folder->fullPath();
        if (path.empty())
            continue;
        if (Ref<MDFolderUpdaterThread> thread = database_->folderUpdaterThreadForPath(path))
            thread->addRequest(Value::dictionary({{"type", updater::kTypePutAtFront}, {"path", path}}));
    }
}

void BrowsingSelection::updateFoldersObjects(bool keepSelection)
{
    const IndexSet oldSelection = selectedObjectsIndexes_;
    const ItemList oldList = foldersObjects_;
    selectedObjectsIndexes_.removeAllIndexes();
    foldersObjects_.clear();
    for (const Ref<FileSystemItemMO>& folder : selectedFolders_) {
        const ItemList children = folderObjects(folder.get());
        foldersObjects_.insert(foldersObjects_.end(), children.begin(), children.end());
    }
    if (keepSelection) {
        // One forward pass: an item found before the previous match is not reselected.
        std::size_t from = 0;
        oldSelection.enumerate([&](std::uint64_t oldIndex) {
            if (oldIndex >= oldList.size() || from >= foldersObjects_.size())
                return false;
            FileSystemItemMO* item = oldList[oldIndex].get();
            for (std::size_t i = from; i < foldersObjects_.size(); ++i) {
                if (foldersObjects_[i].get() == item) {
                    selectedObjectsIndexes_.addIndex(i);
                    from = i + 1;
                    break;
                }
            }
            return true;
        });
    }
    backgroundItemsOutdated_ = true;
    startBackgroundThumbnailsWhenListed();
    // Items renamed here come back as new items: selected again by their new paths.
    if (!pathsToSelect_.empty()) {
        for (std::size_t i = 0; i < foldersObjects_.size(); ++i) {
            auto wanted = std::find(pathsToSelect_.begin(), pathsToSelect_.end(), foldersObjects_[i]->fullPath());
            if (wanted == pathsToSelect_.end())
                continue;
            selectedObjectsIndexes_.addIndex(i);
            pathsToSelect_.erase(wanted);
        }
    }
    if (!notificationCache_.contains(BrowsingSelectionObjectsSelectionChanged))
        notificationCache_.set(BrowsingSelectionObjectsSelectionChanged,
                               Value::dictionary({{kOldSelectedObjectsIndexes, Value(IndexSetObject::create(oldSelection))},
                                                  {kOldFoldersObjects, itemArray(oldList)},
                                                  {kObjectsChangesBitmap, 1}}));
    if (!notificationCache_.contains(BrowsingSelectionObjectsListChanged))
        notificationCache_.set(BrowsingSelectionObjectsListChanged,
                               Value::dictionary({{kOldFoldersObjects, itemArray(oldList)}, {kObjectsChangesBitmap, 2}}));
}

bool BrowsingSelection::setSelectedObjectsIndexesWithSendNotification(const IndexSet& indexes, bool sendNotification)
{
    pathsToSelect_.clear();
    if (indexes == selectedObjectsIndexes_)
        return false;
    const IndexSet old = selectedObjectsIndexes_;
    selectedObjectsIndexes_ = indexes;
    if (!notificationCache_.contains(BrowsingSelectionObjectsSelectionChanged))
        notificationCache_.set(BrowsingSelectionObjectsSelectionChanged,
                               Value::dictionary({{kOldSelectedObjectsIndexes, Value(IndexSetObject::create(old))},
                                                  {kObjectsChangesBitmap, 1}}));
    if (sendNotification)
        notificationCacheTimerFunction();
    return true;
}

// --- catalogue changes ---------------------------------------------------------------------------------

void BrowsingSelection::notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren)
{
    if (!item) {
        if (!reloadChildren)
            return;
        selectedFolders_.clear();
        foldersObjects_.clear(); // nothing shown may outlive a cleared catalogue
        backgroundThumbnails_.stop();
        selectedObjectsIndexes_.removeAllIndexes();
        notificationCache_ = Value::dictionary();
        notificationCache_.set(kClearDatabaseNotification, Value::dictionary({{kObjectsChangesBitmap, 7}}));
        notificationCacheTimerFunction();
        return;
    }
    if (!item->isFolder()) {
        addObjectChangesToCache(item);
        return;
    }
    Value entry = notificationCache_[FSFolderChangedNotification];
    if (!entry.isDictionary())
        entry = Value::dictionary({{kChangedItems, Value::dictionary()}});
    Value changed = entry[kChangedItems].isDictionary() ? entry[kChangedItems] : Value::dictionary();
    const std::string key = objectKey(item);
    if (!changed.contains(key))
        changed.set(key, Value::dictionary({{kItemValue, Value(Ref<FileSystemItemMO>(item))}, {kReloadChildren, reloadChildren}}));
    int bitmap = 0;
    if (reloadChildren) {
        if (isFolderSelected(item)) {
            // Rebuilt once, when the change is sent: a listing's many results cost one rebuild
            // per tick, not one each.
            bitmap = 3;
        } else {
            auto gone = std::find_if(selectedFolders_.begin(), selectedFolders_.end(), [&](const Ref<FileSystemItemMO>& f) {
                return f->parent().get() == item && !f->isValid();
            });
            if (gone != selectedFolders_.end()) {
                selectedFolders_.erase(gone);
                Value record = changed[key];
                record.set(kObjectsChangesBitmap, 7);
                changed.set(key, std::move(record));
                bitmap = 7;
            }
        }
    }
    entry.set(kChangedItems, std::move(changed));
    // Or-ed: a later change of another folder keeps the rebuild an earlier one asked for.
    entry.set(kObjectsChangesBitmap, entry[kObjectsChangesBitmap].toInt64() | bitmap);
    notificationCache_.set(FSFolderChangedNotification, std::move(entry));
}

void BrowsingSelection::addObjectChangesToCache(FileSystemItemMO* item)
{
    if (!item)
        return;
    Ref<FileSystemItemMO> folder = item->isFolder() ? Ref<FileSystemItemMO>(item) : item->parent();
    if (!folder || !isFolderSelected(folder.get()))
        return;
    Value entry = notificationCache_[FSItemChangeNotification];
    if (!entry.isDictionary())
        entry = Value::dictionary();
    const std::string key = objectKey(item);
    if (entry.contains(key))
        return;
    entry.set(key, Value::dictionary({{kItemValue, Value(Ref<FileSystemItemMO>(item))}}));
    notificationCache_.set(FSItemChangeNotification, std::move(entry));
}

} // namespace vistel
