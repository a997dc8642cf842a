#pragma once
// MediaDatabaseRecursiveUpdater: finds the catalogue item of a path whose folders may never
// have been listed (a place in the sidebar, a remembered path).
//
// How it walks. From the volume item of the path (the longest mount point above it; for a
// camera path, the hidden "Volumes" folder, which holds the camera's item), one component at
// a time: each folder is asked for the next child (asking starts the folder's refresh when it
// needs one). When the child is not there yet and the folder's listing is on its way (pending
// refresh requests), the updater waits as an observer of that folder's changes ("MDFolderChanged",
// "MDFolderChangedReload" of the folder, "MDFileChanged" of any item, as item observers get
// them) and goes on when the listing arrives. It ends with one
// "kMediaDatabaseRecursiveUpdaterNotification" (object: the updater; {"path", "status": YES
// when the whole path was found, "item": the deepest item reached}).
//
// It always ends: a component missing from a folder with nothing pending ends it with NO, and
// so does a folder waited on that turned invalid. A listing that vanished or failed without a
// word is caught by a check every RecheckSeconds: once the folder has nothing pending any more
// the walk goes on (and ends NO when the child is still missing).
//
// Lifetime: the catalogue's set of running updaters keeps each one alive from creation until
// it ends or stop() is called; stopAllForMediaDatabase ends them all without notification.
//
// Thread rules: main thread only, like the catalogue.

#include <string>
#include <string_view>
#include <vector>

#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"

namespace vistel {

class FileSystemItemMO;
class MediaDatabase;

inline constexpr const char* kMediaDatabaseRecursiveUpdaterNotification = "kMediaDatabaseRecursiveUpdaterNotification";

// Who asked the catalogue to refresh a path (MediaDatabase::enqueueRefreshPath) hears its end;
// one that dies first is dropped with its registration.
class IMediaDatabaseRefreshPathObserver {
public:
    IMediaDatabaseRefreshPathObserver() = default;
    IMediaDatabaseRefreshPathObserver(const IMediaDatabaseRefreshPathObserver&) = default;
    IMediaDatabaseRefreshPathObserver& operator=(const IMediaDatabaseRefreshPathObserver&) = default;
    virtual ~IMediaDatabaseRefreshPathObserver() { NotificationCenter::defaultCenter().removeObserver(this); }
    virtual void notifyFSItemUpdated(FileSystemItemMO* item, const std::string& path, bool status) = 0;
};

class MediaDatabaseRecursiveUpdater : public Object, public IFSItemChangedNotification {
public:
    // How often a waiting updater checks whether its folder still has a listing on its way.
    static constexpr double RecheckSeconds = 0.5;

    // A new updater, not started; null (logged) for a path it cannot walk.
    static Ref<MediaDatabaseRecursiveUpdater> recursivelyUpdatePath(std::string_view path, MediaDatabase* database);
    static void stopAllForMediaDatabase(MediaDatabase* database);
    // The running updaters of the catalogue.
    static std::vector<Ref<MediaDatabaseRecursiveUpdater>> listForMDB(MediaDatabase* database);

    // Walks as far as the catalogue knows now; may end at once.
    void start() { processNextComponent(); }
    // Ends the updater without notification.
    void stop();
    // An item change: the current item's goes on; its parent's ends the walk when the current
    // item turned invalid.
    void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren) override;

    const std::string& fullPath() const { return fullPath_; }
    bool isWaiting() const { return waitingOn_ != nullptr; }

private:
    MediaDatabaseRecursiveUpdater() = default;
    ~MediaDatabaseRecursiveUpdater() override;
    void processNextComponent();
    void startObservingItem(FileSystemItemMO* item);
    void stopObservingItem();
    void notifyPathStatus(bool status);

    MediaDatabase* mediaDatabase_ = nullptr;
    std::vector<std::string> components_;
    std::size_t componentIndex_ = 1;
    Ref<FileSystemItemMO> fsItem_;
    std::string fullPath_;
    // The item observed while waiting (and its parent), and the recheck timer.
    Ref<FileSystemItemMO> waitingOn_;
    Ref<FileSystemItemMO> waitingOnParent_;
    Ref<RunLoop::Timer> recheck_;
};

} // namespace vistel
