#include "Common/FileSystem/FNSubscribeFileObserver.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Strings/NSStringDevices.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

namespace {

constexpr std::uint32_t WatchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool isFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

FNSubscribeFileObserver& FNSubscribeFileObserver::sharedFileObserver()
{
    // Made once and never destroyed: its thread serves the whole run.
    static FNSubscribeFileObserver* shared = create().leak();
    return *shared;
}

Ref<FNSubscribeFileObserver> FNSubscribeFileObserver::create()
{
    Ref<FNSubscribeFileObserver> watcher = Ref<FNSubscribeFileObserver>::adopt(new FNSubscribeFileObserver());
    FNSubscribeFileObserver* self = watcher.get();
    watcher->thread_ = NSThreadExt::create([self] { self->threadBody(); });
    watcher->thread_->setName("FNSubscribeFileObserver");
    watcher->thread_->start();
    // The body has begun, so its thread has its run loop.
    watcher->loop_ = watcher->thread_->runLoop();
    return watcher;
}

FNSubscribeFileObserver::FNSubscribeFileObserver() : alive_(std::make_shared<bool>(true))
{
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0)
        ZovLog(vistel::format("FNSubscribeFileObserver can't watch folders: error %d.", errno));
}

FNSubscribeFileObserver::~FNSubscribeFileObserver()
{
    *alive_ = false;
    if (thread_) {
        // The body leaves its loop once it sees the flag; abort() waits until it has.
        stopping_.store(true, std::memory_order_release);
        if (loop_)
            loop_->stop();
        thread_->abort();
    }
    if (inotify_ >= 0)
        ::close(inotify_); // ends every watch
}

void FNSubscribeFileObserver::threadBody()
{
    RunLoop* loop = RunLoop::current();
    RunLoop::SourceId source = 0;
    if (inotify_ >= 0)
        source = loop->addFileDescriptor(inotify_, RunLoop::Readable, [this](int, std::uint32_t) { readEvents(); });
    while (!stopping_.load(std::memory_order_acquire))
        loop->run();
    if (postTimer_)
        postTimer_->invalidate();
    if (source)
        loop->removeFileDescriptor(source);
}

void FNSubscribeFileObserver::queue(std::function<void()> action)
{
    loop_->perform(std::move(action));
}

void FNSubscribeFileObserver::addPath(std::string_view path)
{
    if (!NSStringDevices::isVolumePath(path))
        return;
    queue([this, path = std::string(path)] { addPathImp(path); });
}

void FNSubscribeFileObserver::forceAddPath(std::string_view path)
{
    if (!NSStringDevices::isVolumePath(path))
        return;
    queue([this, path = std::string(path)] { forceAddPathImp(path); });
}

void FNSubscribeFileObserver::removePath(std::string_view path)
{
    queue([this, path = std::string(path)] { removePathImp(path); });
}

void FNSubscribeFileObserver::noteFileSystemChanged(std::string_view path)
{
    if (!NSStringDevices::isVolumePath(path))
        return;
    queue([this, path = std::string(path)] { markChanged(path); });
}

std::vector<std::string> FNSubscribeFileObserver::watchedPaths() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (const auto& [path, watch] : watchForPath_)
        paths.push_back(path);
    return paths;
}

std::size_t FNSubscribeFileObserver::watchCount() const
{
    std::lock_guard lock(mutex_);
    return pathsForWatch_.size();
}

// --- the watcher's thread -------------------------------------------------------------------

void FNSubscribeFileObserver::addPathImp(const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        if (watchForPath_.count(path))
            return;
    }
    if (inotify_ < 0 || !isFolder(path))
        return;
    // Another spelling of a watched folder answers the folder's watch: still one watch.
    const int watch = ::inotify_add_watch(inotify_, path.c_str(), WatchedEvents);
    if (watch < 0) {
        ZovLog(vistel::format("FNSubscribeFileObserver addPath: %@ failed due to error %d.", path, errno));
        return;
    }
    std::lock_guard lock(mutex_);
    watchForPath_[path] = watch;
    pathsForWatch_[watch].insert(path);
}

void FNSubscribeFileObserver::removePathImp(const std::string& path)
{
    int watch = -1;
    {
        std::lock_guard lock(mutex_);
        auto it = watchForPath_.find(path);
        if (it == watchForPath_.end())
            return;
        watch = it->second;
        watchForPath_.erase(it);
        auto& paths = pathsForWatch_[watch];
        paths.erase(path);
        if (!paths.empty())
            return;
        pathsForWatch_.erase(watch);
    }
    ::inotify_rm_watch(inotify_, watch);
}

void FNSubscribeFileObserver::forceAddPathImp(const std::string& path)
{
    removePathImp(path);
    addPathImp(path);
    markChanged(path);
}

void FNSubscribeFileObserver::dropWatch(int watch)
{
    std::lock_guard lock(mutex_);
    auto it = pathsForWatch_.find(watch);
    if (it == pathsForWatch_.end())
        return;
    for (const std::string& path : it->second)
        watchForPath_.erase(path);
    pathsForWatch_.erase(it);
}

void FNSubscribeFileObserver::readEvents()
{
    alignas(struct inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                continue;
            return; // EAGAIN: drained
        }
        std::set<std::string> changed;
        std::vector<int> vanished;
        bool overflow = false;
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                overflow = true;
                continue;
            }
            if (event->mask & IN_IGNORED) {
                // The kernel ended the watch (folder deleted, file system unmounted).
                vanished.push_back(event->wd);
                continue;
            }
            std::lock_guard lock(mutex_);
            auto it = pathsForWatch_.find(event->wd);
            if (it == pathsForWatch_.end())
                continue; // a late event of a watch removed meanwhile
            changed.insert(it->second.begin(), it->second.end());
            if (event->mask & IN_MOVE_SELF)
                vanished.push_back(event->wd); // the watch would follow the folder elsewhere
        }
        if (overflow) {
            std::lock_guard lock(mutex_);
            for (const auto& [path, watch] : watchForPath_)
                changed.insert(path);
        }
        for (const std::string& path : changed)
            markChanged(path);
        for (int watch : vanished) {
            ::inotify_rm_watch(inotify_, watch); // fails harmlessly when the kernel ended it
            dropWatch(watch);
        }
    }
}

void FNSubscribeFileObserver::markChanged(const std::string& path)
{
    pendingChanges_.insert(path);
    if (postTimer_)
        return;
    postTimer_ = RunLoop::current()->scheduleTimer(CoalesceSeconds, false, [this](RunLoop::Timer&) { postPendingChanges(); },
                                                   {NSRunLoopCommonModes});
}

void FNSubscribeFileObserver::postPendingChanges()
{
    // Changes the kernel queued before the window closed belong to it, even when this thread
    // came late to read them: a burst is not split by a busy machine.
    if (inotify_ >= 0)
        readEvents();
    postTimer_ = nullptr;
    std::set<std::string> paths;
    paths.swap(pendingChanges_);
    RunLoop* main = RunLoop::main();
    if (!main)
        return;
    // The notification carries the watcher as its object: it is made on the main thread, where
    // a watcher of our own is destroyed, and only while it is alive.
    FNSubscribeFileObserver* self = this;
    std::shared_ptr<bool> alive = alive_;
    main->perform([self, alive, paths = std::move(paths)] {
        if (!*alive)
            return;
        Ref<Object> sender(self);
        for (const std::string& path : paths)
            NotificationCenter::defaultCenter().postNotificationName(
                FileIsWrittenToNotification, sender, Value::dictionary({{kFileObserverWriteNotificationPath, Value(path)}}));
    });
}

// --- the workspace's change notice ------------------------------------------------------------

void NSWorkspaceChanges::noteFileSystemChanged(std::string_view folder)
{
    FNSubscribeFileObserver::sharedFileObserver().noteFileSystemChanged(folder);
}

} // namespace vistel
