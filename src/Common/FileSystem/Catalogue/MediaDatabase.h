#pragma once
// MediaDatabase: the catalogue of volumes, cameras, folders and files the user has visited.
//
// What it is. The one catalogue object of the process: the application object makes it at
// start-up, keeps it for the run and registers it (setDefaultMediaDatabase), so everybody else
// reaches it through defaultMediaDatabase(). It owns the object-store stack (model,
// coordinator, context; Platform/ObjectStore) over one SQLite file, finds items by uuid, by name
// under a parent and by identifier, creates child items and the Tag / TagName objects that hold
// tags, categories and database fields, and saves.
//
// The file. applicationSupportFolder() + "/Zov Systems/<bundle identifier>.mediaDatabase". A
// file of another model version is error 134100: the user chooses "Quit" (the application
// terminates) or "Recreate" (the file is deleted and made again). Any other failure to open, or
// a store that cannot be made again, is shown once; the session then runs on an in-memory store.
//
// Saving. The context's one "objects did change" notification per main-loop pass schedules a
// save when more than 250 objects are inserted or updated; noteAndSaveChanges() (called after
// every applied updater result) saves when more than 100 are. So the file is written in batches,
// each one transaction. Whatever is left unsaved is saved IdleSaveDelay seconds after the last
// change, once the main loop has nothing else to do: a rating or the last thumbnails of a folder
// never wait for the next burst (or a crash). Save failures are shown; the changes stay for the
// next save.
//
// Volumes. Every volume and camera seen is one Volume item (FileSystemVolumeMO) whose uuid is
// its device key. The volume mounted at "/" is the root item; it holds the hidden Folder
// "Volumes" (fixed uuid VolumesFolderUUID), the stored parent of every other volume item.
// A mounted volume's full path is its mount point: paths resolve from the volume item of the
// longest mount point above them (the volume manager's volumeInfoForPath), so a stick at
// /media/<user>/CARD is one item tree. volumes() lists the items of the devices present now,
// by display name; the list is dropped on every mount and unmount and built again on use.
// The volume manager's mount signals reach didMount / didUnmount on the main thread (the
// connection is made there); a volume that mounts again gets its item back, marked not
// verified, and "MountMedia" / "UnmountMedia" are posted when idle.
//
// Written folders. "FileIsWrittenToNotification" (the folder-change watcher, camera reloads,
// file services; any thread) is handled on the main thread: the item at the path gets its
// update request marked "File System Changed Notification" even while requests for it are
// pending, and the folder thread replaces or restarts a listing of it, so no write is lost.
// A folder item is watched from its first refresh on; enqueueRefreshPath walks a path whose
// folders were never listed (MediaDatabaseRecursiveUpdater.h).
//
// Updater threads (UpdaterThreads.h). enqueueRefresh() routes an item's request to the folder
// or file updater thread of the item's volume. The threads answer into one process-wide
// results queue; its listener (registered once) schedules the application of results on the
// main run loop, ONE result per pass, in the default and event-tracking modes, so input and
// timers stay responsive while thousands of results arrive. Applying a folder listing creates,
// updates and invalidates children (an invalid child keeps its tags; a child without
// attributes is only marked seen); applying a file result stores thumbnails and picture
// metadata. Each applied result ends with noteAndSaveChanges(). stopAll() stops, wakes and
// joins the threads.
//
// Notifications (posted ASAP on the default queue, coalesced by name and item, in the
// default and event-tracking modes): "MDFileChanged", "MDFolderChanged",
// "MDFolderChangedReload" ({"Reload": flag}) and "MDFileThumbnailChanged". Observers register
// per item with addItemUpdateObserver / addThumbnailUpdateObserver.
//
// Thread rules: main thread only. Updater threads never touch the context or the items; they
// name items by their ObjectIDs.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ZovClass.h"
#include "Platform/ErrorRecord.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Object.h"
#include "Platform/ObjectStore/ObjectStore.h"
#include "Platform/RunLoop.h"
#include "Common/Tools/Threads/SignalObject.h"

namespace vistel {

class FileSystemItemMO;
class ZovDeviceInfo;
class IMediaDatabaseRefreshPathObserver;
class MediaDatabaseRecursiveUpdater;
class MDFolderUpdaterThread;
class MediaDatabaseUpdaterThread;
class ThreadSafeQueue;

// What item observers implement. An observer that dies while registered is dropped: its
// registrations go with it, so nothing is ever delivered to a destroyed observer. (It still
// removes itself on its own thread first when another thread may be posting.)
class IFSItemChangedNotification {
public:
    virtual void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren) = 0;

protected:
    IFSItemChangedNotification() = default;
    IFSItemChangedNotification(const IFSItemChangedNotification&) = default;
    IFSItemChangedNotification& operator=(const IFSItemChangedNotification&) = default;
    ~IFSItemChangedNotification() { NotificationCenter::defaultCenter().removeObserver(this); }
};
class IFSItemThumbnailChangedNotification {
public:
    virtual void notifyFSItemThumbnailChanged(FileSystemItemMO* item) = 0;

protected:
    IFSItemThumbnailChangedNotification() = default;
    IFSItemThumbnailChangedNotification(const IFSItemThumbnailChangedNotification&) = default;
    IFSItemThumbnailChangedNotification& operator=(const IFSItemThumbnailChangedNotification&) = default;
    ~IFSItemThumbnailChangedNotification() { NotificationCenter::defaultCenter().removeObserver(this); }
};

class MediaDatabase : public SignalObject {
public:
    ZOV_ROOT_CLASS(MediaDatabase)

    // Entity names of the catalogue.
    static constexpr const char* EntityElement = "Element";
    static constexpr const char* EntityFile = "File";
    static constexpr const char* EntityFolder = "Folder";
    static constexpr const char* EntityVolume = "Volume";
    static constexpr const char* EntityTag = "Tag";
    static constexpr const char* EntityTagName = "TagName";
    // The version of the catalogue's data model (PRAGMA user_version of the file).
    static constexpr int ModelVersion = 1;

    static Ref<MediaDatabase> create();
    // The application's catalogue; null before the application registered it.
    static MediaDatabase* defaultMediaDatabase();
    static void setDefaultMediaDatabase(MediaDatabase* database);

    // --- the store ------------------------------------------------------------------------
    std::string applicationSupportFolder() const;
    // The store path; makes the "Zov Systems" folder when it is missing.
    std::string databaseURL() const;
    Ref<store::ObjectModel> managedObjectModel();
    Ref<store::PersistentStoreCoordinator> persistentStoreCoordinator();
    // Null while stopped, or when no store could be opened at all.
    Ref<store::ManagedObjectContext> managedObjectContext();
    // The recovery attempter of the incompatible-store error: "Recreate" deletes the file.
    bool attemptRecoveryFromError(const ErrorRecord& error, int optionIndex);

    // --- saving ---------------------------------------------------------------------------
    void noteAndSaveChanges(const Notification& notification);
    void noteAndSaveChanges();
    void saveChanges();
    static constexpr double IdleSaveDelay = 1.0;

    // --- shutting down and wiping -----------------------------------------------------------
    void stopAll();
    void clearAll();
    bool isStopped() const { return isStopped_; }

    // --- lookup ---------------------------------------------------------------------------
    // `format` is one of the catalogue's predicate texts ("uuid==%@", "(name==%@) AND
    // (parent==%@)", "value==%@", "self IN %@", "name==%@", "value like[cd] %@",
    // "(parentTag==nil) AND (parentElement==nil) AND (name.value==%@)",
    // "NOT (parentTag==nil) AND (name.value==%@)", "(parentTag.name==%@) AND (name IN %@)")
    // or empty; `arguments` fill its %@ in order (objects as Values holding them). nullopt on a
    // fetch error or an unknown text.
    std::optional<std::vector<Ref<store::ManagedObject>>> searchObjectsBy(std::string_view format,
                                                                          const std::vector<Value>& arguments,
                                                                          std::size_t fetchLimit,
                                                                          std::string_view entityName);
    // The item the context holds for the identifier (nothing is read from the file).
    Ref<FileSystemItemMO> objectExistingForID(const store::ObjectID& id);
    Ref<FileSystemItemMO> objectExistingForUUID(std::string_view uuid);
    // The one child of that name; null when there is none or more than one (logged).
    Ref<FileSystemItemMO> childOf(FileSystemItemMO* parent, std::string_view name);

    // --- creation and change ----------------------------------------------------------------
    // A new item of entity "File" or "Folder" (or "Volume") under `parent`.
    Ref<FileSystemItemMO> createChildOf(FileSystemItemMO* parent, std::string_view name, std::string_view type);
    // Stores the new name and moves the folder-change watcher's watch to the new path; the
    // file itself is renamed by the caller.
    void renameItem(FileSystemItemMO* item, std::string_view name);

    // --- tags -----------------------------------------------------------------------------
    Ref<store::ManagedObject> tagNameObject(std::string_view name, bool createIfNotExists);
    void removeTagNameObject(std::string_view name);
    // `parentType` is "parentElement" or "parentTag"; with no parent the tag stands alone.
    Ref<store::ManagedObject> createTagWithName(std::string_view name, store::ManagedObject* parent,
                                                std::string_view parentType);
    Ref<store::ManagedObject> tagOf(store::ManagedObject* parent, std::string_view parentType, std::string_view name,
                                    bool create);
    // The "tags" of the item's group `name`; nullopt when there is no such group.
    std::optional<std::vector<Ref<store::ManagedObject>>> tagsOf(FileSystemItemMO* item, std::string_view name,
                                                                 bool create);

    // --- volumes and paths ----------------------------------------------------------------
    static constexpr const char* VolumesFolderUUID = "8D8C8343-A16D-40AA-960B-7FB1E4D953CA";
    // The item at `path` (a volume path or a camera path), walking from the volume item of the
    // path; null when any step is missing. Never creates anything.
    Ref<FileSystemItemMO> findExistingItemForPath(std::string_view path);
    // The item of the volume (or camera) the path lies on; null when there is none.
    Ref<FileSystemItemMO> volumeItemForPath(std::string_view path);
    // The valid volume items sorted by display name; built when missing.
    const std::vector<Ref<FileSystemItemMO>>& volumes();
    // The hidden "Volumes" folder, made when missing; marked verified.
    Ref<FileSystemItemMO> volumesFolder();
    std::size_t rootItemsCount() { return volumes().size(); }
    Ref<FileSystemItemMO> rootItem(std::size_t index);
    // The volume item whose full path is "/".
    Ref<FileSystemItemMO> rootItem();
    void resetVolumes();

    // --- mounts -----------------------------------------------------------------------------
    // Slots of the volume manager's signals "ZovVolumeManagerMountedNotification" and
    // "ZovVolumeManagerUnmountedNotification".
    void didMount(const Notification& notification);
    void didUnmount(const Notification& notification);
    void handleMount(bool mount, ZovDeviceInfo* info);
    // Marks the item and, for a folder, everything below it as not verified.
    void markItemAsNotVerified(FileSystemItemMO* item);
    static void applyVolumeInfo(ZovDeviceInfo* info, FileSystemItemMO* item);
    void simulateMount(ZovDeviceInfo* info) { handleMount(true, info); }
    // Posts "MountMedia" or "UnmountMedia" (object: the catalogue) when idle, with the device's
    // "ProductName" and "VendorName" and the item under "FileSystemItemMO". The device is the
    // item's attached one, or `gone`, the information of a device that was just detached.
    void handleMountedMedia(FileSystemItemMO* volumeItem, bool mount, ZovDeviceInfo* gone = nullptr);

    // --- written files ---------------------------------------------------------------------
    // "FileIsWrittenToNotification" of `path`, on the main thread (the catalogue observes the
    // notification on every thread and brings it here): the item at the path, unless it is
    // unknown or the hidden "Volumes" folder, is refreshed by refreshWrittenItem.
    void receiveFileSystemNotification(const std::string& path);
    // Sends the item's update request marked "File System Changed Notification", also while
    // requests for it are pending: the folder thread replaces a queued listing of it, or lists
    // it again from the start when its listing is under way, so no write is lost.
    void refreshWrittenItem(FileSystemItemMO* item);
    // Tests watch the written items instead (empty: refreshWrittenItem again).
    using WrittenItemRefresher = std::function<void(FileSystemItemMO* item)>;
    void setWrittenItemRefresher(WrittenItemRefresher refresher) { writtenItemRefresher_ = std::move(refresher); }

    // --- path refreshes ----------------------------------------------------------------------
    // Starts a path updater (MediaDatabaseRecursiveUpdater.h) for `path`; `observer` (optional)
    // hears its end once through notifyFSItemUpdated and is then let go. Null for a path that
    // cannot be walked.
    Ref<MediaDatabaseRecursiveUpdater> enqueueRefreshPath(std::string_view path,
                                                          IMediaDatabaseRefreshPathObserver* observer);
    void removeRefreshPathObserver(IMediaDatabaseRefreshPathObserver* observer, MediaDatabaseRecursiveUpdater* updater);

    std::string className() const override { return "MediaDatabase"; }
    // --- updater threads and their results ----------------------------------------------------
    // A folder item's request goes to the folder thread of its path's volume (dropped when the
    // path has no volume), any other item's to the file thread (identifier 0 without volume).
    // A folder's path is added to the folder-change watcher, also without request.
    void enqueueRefresh(FileSystemItemMO* item, Value request);
    // The volume's thread, started (and given the results queue) when it is not running; null
    // for a path without volume.
    Ref<MDFolderUpdaterThread> folderUpdaterThreadForPath(const std::string& path);
    Ref<MediaDatabaseUpdaterThread> fileUpdaterThreadForPath(const std::string& path);
    // Cancels, wakes and joins every updater thread and drops the queued results.
    void stopJobs();
    // The one queue all updater threads answer into.
    static Ref<ThreadSafeQueue> resultsQueue();
    // Makes sure one result is applied at the main loop's next pass (and so on, one per pass).
    void notifyResultsFromThreads();
    void processResultFromThreads(const Value& result);
    void updateFolderItem(FileSystemItemMO* folder, const Value& children, std::string_view status);
    void updateFileItem(FileSystemItemMO* file, const Value& result);
    void updateItemDoesNotExist(FileSystemItemMO* item);
    void updateItemChanged(FileSystemItemMO* item);

    // --- notifications -------------------------------------------------------------------------
    // A folder posts "MDFolderChangedReload" or "MDFolderChanged", anything else (or null)
    // "MDFileChanged"; user info {"Reload": reload}.
    void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren);
    void notifyFSItemThumbnailChanged(FileSystemItemMO* item);
    // The observer gets "MDFileChanged" of ANY item and the folder changes of `item`.
    void addItemUpdateObserver(IFSItemChangedNotification* observer, FileSystemItemMO* item);
    void removeItemUpdateObserver(IFSItemChangedNotification* observer, FileSystemItemMO* item);
    void addThumbnailUpdateObserver(IFSItemThumbnailChangedNotification* observer, FileSystemItemMO* item);
    void removeThumbnailUpdateObserver(IFSItemThumbnailChangedNotification* observer, FileSystemItemMO* item);

    // Diagnostics: logs "-------<caption>------" and then the name of each item.
    void logObjects(const std::vector<Ref<store::ManagedObject>>& objects, std::string_view caption);

private:
    MediaDatabase();
    ~MediaDatabase() override;
    void releaseStack();
    void buildVolumes();
    // Applies the next queued result, then schedules the next pass's.
    void applyNextResult();
    // Moves the idle save to IdleSaveDelay from now.
    void scheduleIdleSave();

    Ref<store::PersistentStoreCoordinator> persistentStoreCoordinator_;
    Ref<store::ObjectModel> managedObjectModel_;
    Ref<store::ManagedObjectContext> managedObjectContext_;
    bool isStopped_ = false;
    Ref<RunLoop::Timer> idleSaveTimer_;
    // Tag-name text -> its TagName object; released by stopAll().
    std::unordered_map<std::string, Ref<store::ManagedObject>> tagNameCache_;
    // The valid volume items by display name; nullopt: built again on next use.
    std::optional<std::vector<Ref<FileSystemItemMO>>> volumes_;
    WrittenItemRefresher writtenItemRefresher_;
    // False from the start of the destructor on; main thread only. Written-file notices posted
    // on other threads reach the catalogue only while it is true.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vistel
