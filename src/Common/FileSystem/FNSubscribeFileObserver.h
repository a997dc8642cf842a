#pragma once
// FNSubscribeFileObserver: the folder-change watcher.
//
// What it is. The one process-wide watcher of the folders the user looks at: callers hand it
// folder paths (addPath), and every change inside a watched folder made by anybody - another
// program, our own file services, a copy still running - is announced on the main thread as
// "FileIsWrittenToNotification" with {"kFileObserverWriteNotificationPath": the folder path,
// spelled as addPath got it}; the catalogue refreshes that folder's item.
//
// How it runs. The watcher has its own worker thread (NSThreadExt) running a RunLoop whose
// source is one inotify descriptor. Callers only queue work to that loop and return at once:
// adding, renewing (forceAddPath) and removing watches, and change reports of our own
// (noteFileSystemChanged: a folder we changed ourselves, without waiting for the kernel).
// One watch per folder, with IN_CREATE, IN_DELETE, IN_MOVED_FROM, IN_MOVED_TO, IN_CLOSE_WRITE
// (a save in place), IN_ATTRIB, IN_DELETE_SELF and IN_MOVE_SELF. A folder that is deleted,
// moved away or unmounted loses its watch (IN_IGNORED, or the watch is removed on
// IN_MOVE_SELF, where the kernel would follow the folder to a path we do not know). A
// queue overflow (IN_Q_OVERFLOW) counts as a change of every watched folder.
//
// Coalescing. Changes of one folder within CoalesceSeconds of its first change are posted
// once: a burst of hundreds of files gives one notification per folder and window. When the
// window closes, the changes the kernel holds unread are taken into it first.
//
// Only folders are watched: camera paths ("ICA:/...", anything not beginning with "/"),
// files and paths that do not exist are ignored without a word.
//
// Thread rules: every member may be called from any thread. Notifications are posted on the
// main thread (RunLoop::main()); while there is none, they are dropped. The shared watcher
// lives for the whole run; one made with create() (tests) is destroyed on the main thread.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"

namespace vistel {

class FNSubscribeFileObserver : public Object {
public:
    // Changes of one folder within this many seconds of its first one are posted once.
    static constexpr double CoalesceSeconds = 0.15;

    // The program's watcher, made (and its thread started) on first use.
    static FNSubscribeFileObserver& sharedFileObserver();
    // A watcher of its own (tests).
    static Ref<FNSubscribeFileObserver> create();

    // Watches the folder; a second add of a watched folder changes nothing.
    void addPath(std::string_view path);
    // Renews the folder's watch and reports a change of it.
    void forceAddPath(std::string_view path);
    void removePath(std::string_view path);
    // Reports a change of the folder as if the kernel had seen one (coalesced with those).
    void noteFileSystemChanged(std::string_view path);

    // The watched folder paths, as given (for diagnostics and tests).
    std::vector<std::string> watchedPaths() const;
    // The number of inotify watches held (one per folder, whatever its spellings).
    std::size_t watchCount() const;
    // The watcher's run loop: work performed there runs after every action queued before it.
    RunLoop* runLoop() const { return loop_.get(); }

protected:
    FNSubscribeFileObserver();
    ~FNSubscribeFileObserver() override;

private:
    void threadBody();
    void queue(std::function<void()> action);
    void addPathImp(const std::string& path);
    void removePathImp(const std::string& path);
    void forceAddPathImp(const std::string& path);
    void readEvents();
    void dropWatch(int watch);
    void markChanged(const std::string& path);
    void postPendingChanges();

    Ref<NSThreadExt> thread_;
    std::atomic<bool> stopping_ {false};
    Ref<RunLoop> loop_;
    int inotify_ = -1;
    // False from the start of the destructor on; read and written on the main thread only.
    std::shared_ptr<bool> alive_;

    mutable std::mutex mutex_; // guards the two tables; written on the watcher's thread only
    std::map<std::string, int> watchForPath_;
    std::map<int, std::set<std::string>> pathsForWatch_;

    // The watcher's thread only.
    std::set<std::string> pendingChanges_;
    Ref<RunLoop::Timer> postTimer_;
};

// The workspace's change notice: our own code changed something in `folder` (a forced
// refresh, a removed identity file, a deletion): the watcher reports it like a change the
// kernel saw, so the catalogue refreshes the folder's item.
namespace NSWorkspaceChanges {
void noteFileSystemChanged(std::string_view folder);
} // namespace NSWorkspaceChanges

} // namespace vistel
