#pragma once
// BrowsingSelection: what the browse window shows. The folders chosen in the sidebar, the flat
// list of the catalogue items those folders show (each folder's children that the items mask
// lets through, concatenated in folder order), and which positions of that list are selected.
//
// Changes are not announced one by one: each is recorded in a change cache and one
// "BrowsingSelectionNotification" (object: the selection; user info: the cache plus the union
// of the entries' "kObjectsChangesBitmap") carries everything since the last one. A repeating
// 0.5 s timer sends it in the default, modal-panel and event-tracking modes, so changes flow
// while an alert runs or the mouse is tracked; folder changes, explicit selection changes and
// a cleared catalogue send it at once. Bitmap 1 alone means only the selected indexes changed
// ("kOldSelectedObjectsIndexes", an IndexSetObject, is the set before); 2 the list changed,
// 4 the folders changed.
//
// A shown folder whose children changed (a listing's results, one per main-loop pass) has its
// part of the flat list rebuilt once, when the change is sent, however many results came since.
//
// The flat list is the list the views were built from: foldersObjectAtIndex() and
// selectedItems() answer from it (constant time), so between a catalogue change and the next
// rebuild an index still names the item shown there. Folders and items are held by Ref: an item
// that turned invalid meanwhile reads invalid, never freed under its holder.
//
// Every picture shown gets its stored thumbnail in the background (BackgroundThumbnails), the
// cells the views draw first; choosing other folders stops that work.
//
// Thread rules: main thread only (the catalogue delivers its callbacks there). The timer lives
// on the run loop of the thread that made the selection and is invalidated by the destructor.

#include <string>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Common/FileSystem/Catalogue/BackgroundThumbnails.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Frames/ConfigurePhotoFrameDialog.h"
#include "Platform/RunLoop.h"
#include "Platform/Value.h"

namespace vistel {

inline constexpr const char* BrowsingSelectionNotification = "BrowsingSelectionNotification";
inline constexpr const char* BrowsingSelectionObjectsSelectionChanged = "BrowsingSelection_ObjectsSelectionChanged_Notification";
inline constexpr const char* BrowsingSelectionObjectsListChanged = "BrowsingSelection_ObjectsListChanged_Notification";
inline constexpr const char* BrowsingSelectionFoldersSelectionChanged = "BrowsingSelection_FoldersSelectionChanged_Notification";
inline constexpr const char* FSFolderChangedNotification = "FSFolderChangedNotification";
inline constexpr const char* FSItemChangeNotification = "FSItemChangeNotification";
inline constexpr const char* kClearDatabaseNotification = "kClearDatabaseNotification";
inline constexpr const char* kObjectsChangesBitmap = "kObjectsChangesBitmap";
inline constexpr const char* kOldSelectedObjectsIndexes = "kOldSelectedObjectsIndexes";
inline constexpr const char* kOldFoldersObjects = "kOldFoldersObjects";
inline constexpr const char* kOldSelectedFolders = "kOldSelectedFolders";
inline constexpr const char* kChangedItems = "kChangedItems";
inline constexpr const char* kItemValue = "kItemValue";
inline constexpr const char* kReloadChildren = "kReloadChildren";

class BrowsingSelection : public Object,
                          public IBrowsingGetSelection,
                          public IBrowsingSetSelection,
                          public IFSItemChangedNotification,
                          public IFSItemThumbnailChangedNotification,
                          public PhotoFrameFolderSelection {
public:
    // Starts the cache timer on the current run loop and observes every item of the default
    // catalogue.
    static Ref<BrowsingSelection> create();

    // --- IBrowsingGetSelection -----------------------------------------------------------------
    unsigned selectedFoldersCount() const override { return unsigned(selectedFolders_.size()); }
    bool isFolderSelected(const FileSystemItemMO* item) const override;
    bool isSelectedFolderFromSingleVolume() const override;
    Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned index) const override;
    // The position of the item in its (selected) parent's own child list; 0 when the parent is
    // not selected.
    unsigned foldersObjectIndex(FileSystemItemMO* item) const override;
    unsigned foldersObjectsCount() const override { return unsigned(foldersObjects_.size()); }
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override;
    void addFolderUpdateObserver(IFSItemChangedNotification* observer) override;
    void removeObserverForAllItems(IFSItemChangedNotification* observer) override;
    const IndexSet& selectedObjectsIndexes() const override { return selectedObjectsIndexes_; }
    void addNotificationObserver(BrowsingSelectionNotificationObserver* observer) override;
    void removeNotificationObserver(BrowsingSelectionNotificationObserver* observer) override;

    // --- IBrowsingSetSelection -----------------------------------------------------------------
    void updateFoldersObjects(bool keepSelection) override;
    void setSelectedFolders(const ItemList& folders) override;
    // Accepted and ignored: the sidebar sets the whole folder list.
    void addFolderToSelection(FileSystemItemMO*) override { }
    void removeFolderFromSelection(FileSystemItemMO*) override { }

    // --- further readers and writers ---------------------------------------------------------
    const ItemList& selectedFolders() const { return selectedFolders_; }
    const ItemList& foldersObjects() const { return foldersObjects_; }
    // A set whose only index is 0xFFFFFFFF counts as 0.
    unsigned selectedObjectsCount() const;
    ItemList selectedItems() const;
    // Indexes outside the list are dropped.
    ItemList foldersObjectsAtIndexes(const IndexSet& indexes) const;
    FileSystemItemMO* selectedFoldersVolume() const;
    void setSelectedObjectsIndexes(const IndexSet& indexes) { setSelectedObjectsIndexesWithSendNotification(indexes, true); }
    bool setSelectedObjectsIndexesWithSendNotification(const IndexSet& indexes, bool sendNotification);
    void removeSelection() { setSelectedObjectsIndexes(IndexSet()); }
    // An item about to appear under this path (a picture being renamed) is added to the
    // selection when a rebuild first lists it. Forgotten when the folders or the selected
    // indexes are set.
    void selectPathWhenListed(const std::string& path) { pathsToSelect_.push_back(path); }
    std::uint32_t objectsMask() const;

    // --- catalogue callbacks -------------------------------------------------------------------
    void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren) override;
    void notifyFSItemThumbnailChanged(FileSystemItemMO* item) override { addObjectChangesToCache(item); }

    // --- the change cache -----------------------------------------------------------------------
    const Value& notificationCache() const { return notificationCache_; }
    const Ref<RunLoop::Timer>& notificationCacheTimer() const { return notificationCacheTimer_; }
    void startNotificationCacheTimer();
    void stopNotificationCacheTimer();
    // One tick: sends what the cache holds (nothing when it is empty).
    void notificationCacheTimerFunction();
    void addObjectChangesToCache(FileSystemItemMO* item);

    // The children of `folder` that the items mask lets through; none for a file.
    ItemList folderObjects(FileSystemItemMO* folder) const;
    // Asks for the stored thumbnail of every picture shown, a few at a time, after what the
    // views draw; stopped when the folders change.
    const BackgroundThumbnails& backgroundThumbnails() const { return backgroundThumbnails_; }

private:
    BrowsingSelection();
    ~BrowsingSelection() override;
    void startObserving();
    void stopObserving();
    void askForFreshContents();
    // Gives the shown list to the background thumbnails once the shown folders are listed.
    void startBackgroundThumbnailsWhenListed();

    ItemList selectedFolders_;
    IndexSet selectedObjectsIndexes_;
    Value notificationCache_ = Value::dictionary();
    Ref<RunLoop::Timer> notificationCacheTimer_;
    ItemList foldersObjects_;
    std::vector<std::string> pathsToSelect_;
    Ref<MediaDatabase> database_; // the catalogue observed (kept alive while observed)
    BackgroundThumbnails backgroundThumbnails_;
    bool backgroundItemsOutdated_ = false; // the list changed since it was given to them
};

} // namespace vistel
