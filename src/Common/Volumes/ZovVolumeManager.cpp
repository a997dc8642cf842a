#include "Common/Volumes/ZovVolumeManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <set>

#include "Common/Alert/NSAlertFileError.h"
#include "Common/FileSystem/FSRef.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Common/Volumes/VolumeSources.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

ZovVolumeManager::ZovVolumeManager() = default;

ZovVolumeManager::~ZovVolumeManager()
{
    if (thread_) {
        stopping_.store(true, std::memory_order_release);
        loop_->stop();
        thread_->abort(); // waits for the body
    }
    if (mountTableFd_ >= 0)
        ::close(mountTableFd_);
}

ZovVolumeManager& ZovVolumeManager::sharedVolumeManager()
{
    // Made once and never destroyed: its thread serves the whole run, up to the process's exit.
    static ZovVolumeManager* shared = [] {
        Ref<ZovVolumeManager> manager = create();
        manager->installMountHandler();
        return manager.leak();
    }();
    return *shared;
}

Ref<ZovVolumeManager> ZovVolumeManager::create()
{
    Ref<ZovVolumeManager> manager = Ref<ZovVolumeManager>::adopt(new ZovVolumeManager());
    ZovVolumeManager* self = manager.get();
    manager->thread_ = NSThreadExt::create([self] { self->threadBody(); });
    manager->thread_->start();
    {
        std::unique_lock lock(manager->startMutex_);
        manager->started_.wait(lock, [&] { return manager->listed_; });
    }
    ZOV_ASSERT(manager->volumeInfoForMountPoint("/"), "Missed volume mounted to '/' (root)");
    return manager;
}

void ZovVolumeManager::threadBody()
{
    loop_ = Ref<RunLoop>(RunLoop::current());
    // The table file is always readable; a change of the table raises its priority event. It
    // reports a change only to a watcher that was in place before it (polling the file
    // consumes the change), so the source is armed first and the table listed afterwards:
    // whatever changes in between is in the listing.
    bool listed = false;
    mountTableFd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (mountTableFd_ >= 0)
        mountTableSource_ = loop_->addFileDescriptor(mountTableFd_, RunLoop::Priority, [this, &listed](int, std::uint32_t) {
            if (listed)
                diffMountTable(true);
        });
    else
        ZovLog("ZovVolumeManager::threadBody can't watch the mount table");
    loop_->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now());
    diffMountTable(false);
    listed = true;
    {
        std::lock_guard lock(startMutex_);
        listed_ = true;
    }
    started_.notify_all();
    while (!stopping_.load(std::memory_order_acquire))
        loop_->run();
    if (mountTableSource_)
        loop_->removeFileDescriptor(mountTableSource_);
}

void ZovVolumeManager::installMountHandler()
{
    Ref<ZovVolumeManager> self(this);
    NSAlertFileError::setVolumeLookup([self](const std::string& path) -> std::optional<NSAlertFileError::Volume> {
        const Ref<ZovDeviceInfo> info = self->volumeInfoForPath(path);
        if (!info)
            return std::nullopt;
        return NSAlertFileError::Volume {info->displayName(), info->verifySynchronously()};
    });
}

std::int16_t ZovVolumeManager::nextRefNum()
{
    // Called under mutex_. At most 32768 volumes can be mounted at once in this scheme; a
    // number in use is skipped.
    for (int tries = 0; tries < 32768; ++tries) {
        const std::int16_t candidate = nextRefNum_;
        nextRefNum_ = candidate == INT16_MIN ? std::int16_t(-1) : std::int16_t(candidate - 1);
        if (!volumeInfoForRefNumHash_.count(candidate))
            return candidate;
    }
    return 0;
}

void ZovVolumeManager::rescanMountTable()
{
    ThreadMessages::performSelector([this] { diffMountTable(true); }, loop_.get(), true);
}

void ZovVolumeManager::diffMountTable(bool signal)
{
    const VolumeFactsSources sources = volumeFactsSources();
    const std::vector<MountTableEntry> mounts = volumeMounts(parseMountTable(sources.mountTableText()), sources);

    // A mount is the same one while its id and mount point stay.
    auto identity = [](const MountTableEntry& mount) { return std::to_string(mount.mountId) + " " + mount.mountPoint; };
    std::set<std::string> present;
    for (const MountTableEntry& mount : mounts)
        present.insert(identity(mount));

    std::vector<std::int16_t> gone;
    std::set<std::string> registered;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [refNum, info] : volumeInfoForRefNumHash_) {
            if (present.count(identity(info->mount())))
                registered.insert(identity(info->mount()));
            else
                gone.push_back(refNum);
        }
    }
    for (std::int16_t refNum : gone)
        removeVolumeInfo(refNum);

    // Mounts that could not be registered (the same file system mounted twice) are not
    // described again at every change, only when a volume went (its key may be free now).
    if (gone.empty())
        std::erase_if(unregistered_, [&](const std::string& mount) { return !present.count(mount); });
    else
        unregistered_.clear();
    for (const MountTableEntry& mount : mounts) {
        if (registered.count(identity(mount)) || unregistered_.count(identity(mount)))
            continue;
        std::int16_t refNum = 0;
        {
            std::lock_guard lock(mutex_);
            refNum = nextRefNum();
        }
        if (refNum == 0)
            break;
        // Described outside the lock: udev, sysfs and the identity file are read here.
        const Ref<ZovVolumeInfo> info = ZovVolumeInfo::volumeInfoWithMount(mount, refNum);
        if (!info || !addVolumeInfo(info))
            unregistered_.insert(identity(mount));
        else if (signal)
            emitVolumeSignal(ZovVolumeManagerMountedNotification, info);
    }
}

void ZovVolumeManager::emitVolumeSignal(const char* name, const Ref<ZovDeviceInfo>& info)
{
    emitSignal(name, Value::dictionary({{ZovVolumeManagerVolumeInfoKey, Value(info)}}));
}

bool ZovVolumeManager::addVolumeInfo(const Ref<ZovVolumeInfo>& info)
{
    if (!info)
        return false;
    std::lock_guard lock(mutex_);
    if (volumeInfoForKeyHash_.count(info->key()) || volumeInfoForRefNumHash_.count(info->refNum()))
        return false;
    volumeInfoForKeyHash_[info->key()] = info;
    volumeInfoForMountPointHash_[info->mountPoint()] = info;
    volumeInfoForRefNumHash_[info->refNum()] = info;
    return true;
}

void ZovVolumeManager::removeVolumeInfo(std::int16_t refNum)
{
    Ref<ZovVolumeInfo> removed;
    {
        std::lock_guard lock(mutex_);
        const auto found = volumeInfoForRefNumHash_.find(refNum);
        if (found == volumeInfoForRefNumHash_.end())
            return;
        removed = found->second;
        volumeInfoForRefNumHash_.erase(found);
        volumeInfoForKeyHash_.erase(removed->key());
        const auto atMountPoint = volumeInfoForMountPointHash_.find(removed->mountPoint());
        if (atMountPoint != volumeInfoForMountPointHash_.end() && atMountPoint->second.get() == removed.get())
            volumeInfoForMountPointHash_.erase(atMountPoint);
    }
    // Outside the lock: a receiver on this thread may look the registry up.
    emitVolumeSignal(ZovVolumeManagerUnmountedNotification, removed);
}

void ZovVolumeManager::updateVolumeInfo(const Ref<ZovVolumeInfo>& info)
{
    if (!info)
        return;
    const VolumeFactsSources sources = volumeFactsSources();
    std::optional<MountTableEntry> current;
    for (const MountTableEntry& mount : parseMountTable(sources.mountTableText()))
        if (mount.mountId == info->mount().mountId && mount.mountPoint == info->mountPoint())
            current = mount;
    if (!current)
        return;
    const Ref<ZovVolumeInfo> fresh = ZovVolumeInfo::volumeInfoWithMount(*current, info->refNum());
    if (!fresh)
        return;
    std::lock_guard lock(mutex_);
    const auto found = volumeInfoForRefNumHash_.find(info->refNum());
    if (found == volumeInfoForRefNumHash_.end())
        return;
    volumeInfoForKeyHash_.erase(found->second->key());
    volumeInfoForMountPointHash_.erase(found->second->mountPoint());
    found->second = fresh;
    volumeInfoForKeyHash_[fresh->key()] = fresh;
    volumeInfoForMountPointHash_[fresh->mountPoint()] = fresh;
}

std::vector<Ref<ZovDeviceInfo>> ZovVolumeManager::volumeInfos() const
{
    std::lock_guard lock(mutex_);
    std::vector<Ref<ZovDeviceInfo>> infos;
    for (const auto& [key, info] : volumeInfoForKeyHash_)
        infos.push_back(info);
    return infos;
}

Ref<ZovDeviceInfo> ZovVolumeManager::volumeInfoForKey(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = volumeInfoForKeyHash_.find(key);
    return found == volumeInfoForKeyHash_.end() ? nullptr : found->second;
}

Ref<ZovDeviceInfo> ZovVolumeManager::volumeInfoForMountPoint(const std::string& mountPoint) const
{
    std::lock_guard lock(mutex_);
    const auto found = volumeInfoForMountPointHash_.find(mountPoint);
    return found == volumeInfoForMountPointHash_.end() ? nullptr : found->second;
}

Ref<ZovVolumeInfo> ZovVolumeManager::volumeInfoForRefNum(std::int16_t refNum) const
{
    std::lock_guard lock(mutex_);
    const auto found = volumeInfoForRefNumHash_.find(refNum);
    return found == volumeInfoForRefNumHash_.end() ? nullptr : found->second;
}

Ref<ZovDeviceInfo> ZovVolumeManager::volumeInfoForPath(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    if (NSStringDevices::isICADevicePath(path)) {
        // A camera answers for its own paths only; never the boot volume.
        Ref<ZovDeviceInfo> best;
        for (const auto& [mountPoint, info] : volumeInfoForMountPointHash_)
            if (mountPoint.starts_with("ICA:/") && isPathUnder(path, mountPoint)
                && (!best || mountPoint.size() > best->mountPoint().size()))
                best = info;
        return best;
    }
    // Any other text belongs to the boot volume unless a longer mount point holds it.
    const auto root = volumeInfoForMountPointHash_.find("/");
    Ref<ZovDeviceInfo> best = root == volumeInfoForMountPointHash_.end() ? nullptr : root->second;
    for (const auto& [mountPoint, info] : volumeInfoForMountPointHash_)
        if (mountPoint.starts_with('/') && isPathUnder(path, mountPoint)
            && (!best || mountPoint.size() > best->mountPoint().size()))
            best = info;
    return best;
}

std::string ZovVolumeManager::displayNameFromPath(const std::string& path) const
{
    if (const Ref<ZovDeviceInfo> info = volumeInfoForMountPoint(path))
        return info->displayName();
    return lastPathComponent(path);
}

} // namespace vistel
