#include "Common/Volumes/ZovVolumeManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <set>

#include "Common/Alert/NSAlertFileError.h"
#include "Common/FileSystem/FSRef.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Common/Volumes/VolumeSources.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// The managers whose thread runs. Made once and never destroyed, so that the exit handler
// finds it whatever was destroyed before.
struct RunningManagers {
    std::mutex mutex;
    std::set<ZovVolumeManager*> managers;
};
RunningManagers& runningManagers()
{
    static RunningManagers* running = new RunningManagers;
    return *running;
}

} // namespace

ZovVolumeManager::ZovVolumeManager() = default;

ZovVolumeManager::~ZovVolumeManager()
{
    {
        RunningManagers& running = runningManagers();
        std::lock_guard lock(running.mutex);
        running.managers.erase(this);
    }
    haltThread();
    if (mountTableFd_ >= 0)
        ::close(mountTableFd_);
}

void ZovVolumeManager::haltThread()
{
    if (!thread_ || stopping_.exchange(true, std::memory_order_acq_rel))
        return;
    loop_->stop();
    thread_->abort(); // waits for the body
}

void ZovVolumeManager::haltAllThreads()
{
    RunningManagers& running = runningManagers();
    std::lock_guard lock(running.mutex);
    for (ZovVolumeManager* manager : running.managers)
        manager->haltThread();
    running.managers.clear();
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
    // Registered once the thread has listed the table, so after the statics that listing made.
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(&ZovVolumeManager::haltAllThreads); });
    {
        RunningManagers& running = runningManagers();
        std::lock_guard lock(running.mutex);
        running.managers.insert(self);
    }
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
    // Cameras: udev is watched before the first detection, for the same reason.
    if (cameraDiscoverySources().watchUdev) {
        udevMonitor_ = std::make_unique<UdevUsbMonitor>();
        if (udevMonitor_->fileDescriptor() >= 0)
            udevSource_ = loop_->addFileDescriptor(udevMonitor_->fileDescriptor(), RunLoop::Readable,
                                                   [this](int, std::uint32_t) {
                                                       if (std::optional<UdevDeviceEvent> event = udevMonitor_->receive())
                                                           handleUdevEvent(*event);
                                                   });
        else
            ZovLog("ZovVolumeManager::threadBody can't watch udev for cameras");
    }
    detectCameras({}, {});
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
    if (udevSource_)
        loop_->removeFileDescriptor(udevSource_);
    udevMonitor_.reset();
}

void ZovVolumeManager::installMountHandler()
{
    installCameraServices();
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

// --- cameras -----------------------------------------------------------------------------------

namespace vistel {

Ref<ZovImageCaptureDeviceInfo> ZovVolumeManager::imageCaptureDeviceInfoByICAObject(std::int64_t identifier) const
{
    std::lock_guard lock(mutex_);
    for (const auto& [key, info] : volumeInfoForKeyHash_)
        if (auto* camera = dynamic_cast<ZovImageCaptureDeviceInfo*>(info.get()); camera && camera->isEqual(identifier))
            return Ref<ZovImageCaptureDeviceInfo>(camera);
    return nullptr;
}

Ref<ZovImageCaptureDeviceInfo> ZovVolumeManager::icaDeveceWithPath(std::string_view path) const
{
    if (!NSStringDevices::isICADevicePath(path))
        return nullptr;
    const std::int64_t identifier = NSStringDevices::icaDeviceID(path);
    return identifier > 0 ? imageCaptureDeviceInfoByICAObject(identifier) : nullptr;
}

Ref<ZovImageCaptureDeviceInfo> ZovVolumeManager::cameraOnPort(const std::string& port,
                                                              const std::string& devicePath) const
{
    std::lock_guard lock(mutex_);
    for (const auto& [key, info] : volumeInfoForKeyHash_)
        if (auto* camera = dynamic_cast<ZovImageCaptureDeviceInfo*>(info.get()))
            if ((!port.empty() && camera->port() == port) || (!devicePath.empty() && camera->devicePath() == devicePath))
                return Ref<ZovImageCaptureDeviceInfo>(camera);
    return nullptr;
}

bool ZovVolumeManager::addImageCaptureDevice(const Ref<ZovImageCaptureDeviceInfo>& camera)
{
    if (!camera)
        return false;
    std::lock_guard lock(mutex_);
    if (volumeInfoForKeyHash_.count(camera->key()) || volumeInfoForMountPointHash_.count(camera->mountPoint()))
        return false;
    volumeInfoForKeyHash_[camera->key()] = camera;
    volumeInfoForMountPointHash_[camera->mountPoint()] = camera;
    return true;
}

void ZovVolumeManager::removeImageCaptureDevice(std::int64_t identifier)
{
    Ref<ZovImageCaptureDeviceInfo> removed;
    {
        std::lock_guard lock(mutex_);
        for (auto entry = volumeInfoForKeyHash_.begin(); entry != volumeInfoForKeyHash_.end(); ++entry) {
            auto* camera = dynamic_cast<ZovImageCaptureDeviceInfo*>(entry->second.get());
            if (camera && camera->type() == DeviceType::ImageCapture && camera->isEqual(identifier)) {
                removed = Ref<ZovImageCaptureDeviceInfo>(camera);
                volumeInfoForKeyHash_.erase(entry);
                volumeInfoForMountPointHash_.erase(removed->mountPoint());
                break;
            }
        }
    }
    // Outside the lock: a receiver on this thread may look the registry up.
    if (removed)
        emitVolumeSignal(ZovVolumeManagerUnmountedNotification, removed);
}

Ref<ZovImageCaptureDeviceInfo> ZovVolumeManager::handleDeviceAdded(const std::string& model, const std::string& port,
                                                                   const std::string& devicePath)
{
    if (RunLoop::current() != loop_.get()) {
        Ref<ZovImageCaptureDeviceInfo> added;
        ThreadMessages::performSelector([&] { added = handleDeviceAdded(model, port, devicePath); }, loop_.get(), true);
        return added;
    }
    if (Ref<ZovImageCaptureDeviceInfo> known = cameraOnPort(port, devicePath)) {
        known->reloadFileSystemObjectsAndDevicePropertiesDictionary(true);
        return known;
    }
    std::shared_ptr<ImageCaptureCamera> opened = cameraDiscoverySources().open(model, port);
    if (!opened)
        return nullptr;
    std::uint32_t identifier = 0;
    {
        // Low 16 bits in 1..32767 (read as a signed 16-bit number they are positive), below
        // 2^31, never given twice in a run.
        std::lock_guard lock(mutex_);
        do
            ++cameraCounter_;
        while ((cameraCounter_ & 0xFFFF) == 0 || (cameraCounter_ & 0xFFFF) >= 0x8000);
        if (cameraCounter_ < 0x80000000u)
            identifier = cameraCounter_;
    }
    if (identifier == 0)
        return nullptr;
    const Ref<ZovImageCaptureDeviceInfo> camera =
        ZovImageCaptureDeviceInfo::create(identifier, std::move(opened), port, devicePath, cameraCacheReleaser_);
    if (!camera || !addImageCaptureDevice(camera))
        return nullptr;
    emitVolumeSignal(ZovVolumeManagerMountedNotification, camera);
    return camera;
}

void ZovVolumeManager::handleDeviceRemoved(std::int64_t identifier)
{
    if (identifier == 0)
        return;
    if (RunLoop::current() != loop_.get()) {
        ThreadMessages::performSelector([&] { handleDeviceRemoved(identifier); }, loop_.get(), true);
        return;
    }
    removeImageCaptureDevice(identifier);
}

void ZovVolumeManager::detectCameras(const std::string& eventPort, const std::string& eventDevicePath)
{
    const CameraDiscoverySources sources = cameraDiscoverySources();
    for (const DetectedCamera& detected : sources.autodetect()) {
        if (cameraOnPort(detected.port, {}))
            continue; // already here
        const std::string devicePath = !eventPort.empty() && detected.port == eventPort
            ? eventDevicePath
            : (detected.port.starts_with("usb:") ? sources.devicePathForPort(detected.port) : std::string());
        handleDeviceAdded(detected.model, detected.port, devicePath);
    }
}

void ZovVolumeManager::handleUdevEvent(const UdevDeviceEvent& event)
{
    if (RunLoop::current() != loop_.get()) {
        ThreadMessages::performSelector([&] { handleUdevEvent(event); }, loop_.get(), true);
        return;
    }
    const std::string port = usbPortOfEvent(event).value_or(std::string());
    if (event.action == "remove") {
        // Removal events need not carry the camera mark: the device is matched by its port
        // or path.
        if (const Ref<ZovImageCaptureDeviceInfo> camera = cameraOnPort(port, event.devpath))
            removeImageCaptureDevice(camera->icaObject());
        return;
    }
    if (!event.properties.count("ID_GPHOTO2"))
        return;
    if (event.action == "add")
        detectCameras(port, event.devpath);
    else if (event.action == "change")
        if (const Ref<ZovImageCaptureDeviceInfo> camera = cameraOnPort(port, event.devpath))
            camera->reloadFileSystemObjectsAndDevicePropertiesDictionary(true);
}

// --- camera services ---------------------------------------------------------------------------

namespace {

// A camera file together with its camera, handed to the image representation.
class CameraFileHandle final : public Object {
public:
    CameraFileHandle(Ref<ZovImageCaptureDeviceInfo> camera, Ref<CameraFileObject> object)
        : camera(std::move(camera)), object(std::move(object))
    {
    }
    Ref<ZovImageCaptureDeviceInfo> camera;
    Ref<CameraFileObject> object;
};

class CameraThumbnailSource final : public ICADeviceThumbnailSource {
public:
    explicit CameraThumbnailSource(Ref<ZovVolumeManager> manager) : manager_(std::move(manager)) { }
    Ref<Object> icaFileSystemObjectAtPath(std::string_view path) override
    {
        const Ref<ZovImageCaptureDeviceInfo> camera = manager_->icaDeveceWithPath(path);
        Ref<CameraFileObject> object = camera ? camera->fileSystemObjectAtPath(std::string(path)) : nullptr;
        if (!object)
            return nullptr;
        return makeRef<CameraFileHandle>(camera, std::move(object));
    }
    std::shared_ptr<const Value::Bytes> fileSystemObjectThumbnailData(const Ref<Object>& object) override
    {
        const auto* handle = dynamic_cast<const CameraFileHandle*>(object.get());
        return handle ? handle->camera->fileSystemObjectThumbnailData(handle->object) : nullptr;
    }
    std::shared_ptr<const Value::Bytes> dataAtPath(std::string_view path) override
    {
        return ZovVolumeManager::dataOfCameraPath(path);
    }
    QSizeF fileSystemObjectResolution(const Ref<Object>& object) override
    {
        const auto* handle = dynamic_cast<const CameraFileHandle*>(object.get());
        if (!handle)
            return {};
        return QSizeF(handle->object->entry().width, handle->object->entry().height);
    }

private:
    Ref<ZovVolumeManager> manager_;
};

std::mutex& registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

Ref<ZovVolumeManager>& installedRegistry()
{
    static Ref<ZovVolumeManager> registry;
    return registry;
}

} // namespace

void ZovVolumeManager::installCameraServices()
{
    Ref<ZovVolumeManager> self(this);
    auto objectAt = [self](const std::string& path) -> Ref<CameraFileObject> {
        const Ref<ZovImageCaptureDeviceInfo> camera = self->icaDeveceWithPath(path);
        return camera ? camera->fileSystemObjectAtPath(path) : nullptr;
    };
    CameraFileServices services;
    services.fileAttributes = [objectAt](const std::string& path) {
        return ZovImageCaptureDeviceInfo::fileSytemAttributesForObject(objectAt(path));
    };
    services.fileExists = [objectAt](const std::string& path) { return bool(objectAt(path)); };
    services.deviceAttached = [self](const std::string& path) {
        const Ref<ZovImageCaptureDeviceInfo> camera = self->icaDeveceWithPath(path);
        return camera && camera->mountPoint() == path;
    };
    services.fileSize = [objectAt](const std::string& path) -> std::optional<std::uint64_t> {
        const Ref<CameraFileObject> object = objectAt(path);
        return object ? std::optional<std::uint64_t>(object->size()) : std::nullopt;
    };
    services.deleteObject = [self](const std::string& path) -> StatusCode {
        const Ref<ZovImageCaptureDeviceInfo> camera = self->icaDeveceWithPath(path);
        if (!camera)
            return status::NoSuchObject;
        return camera->deleteFileSystemObject(camera->fileSystemObjectAtPath(path));
    };
    services.mountPoint = [self](const std::string& path) {
        const Ref<ZovImageCaptureDeviceInfo> camera = self->icaDeveceWithPath(path);
        return camera ? camera->mountPoint() : std::string();
    };
    services.startDownload = [self](const std::string& source, const std::string& folder,
                                    const std::optional<std::string>& name, const Ref<FileOperationRecord>& record,
                                    FSFileOperationStatusCallback callback, double, Ref<Object> info) -> StatusCode {
        // Started whatever the source: a missing camera or file ends in one final report (-43).
        ZovImageCaptureDeviceInfo::startDownload(
            self->icaDeveceWithPath(source),
            ZovImageCaptureDeviceInfo::Transfer {source, folder, name, record, std::move(callback), std::move(info)});
        return status::NoError;
    };
    setCameraFileServices(std::move(services));
    RIReperesentation::setCameraThumbnailSource(std::make_shared<CameraThumbnailSource>(self));
    std::lock_guard lock(registryMutex());
    installedRegistry() = self;
}

Ref<ZovImageCaptureDeviceInfo> ZovVolumeManager::cameraOfPath(std::string_view path)
{
    Ref<ZovVolumeManager> registry;
    {
        std::lock_guard lock(registryMutex());
        registry = installedRegistry();
    }
    return registry ? registry->icaDeveceWithPath(path) : nullptr;
}

ZovImageCaptureDeviceInfo::Data ZovVolumeManager::dataOfCameraPath(std::string_view path, StatusCode* error)
{
    const Ref<ZovImageCaptureDeviceInfo> camera = cameraOfPath(path);
    const Ref<CameraFileObject> object = camera ? camera->fileSystemObjectAtPath(std::string(path)) : nullptr;
    if (!object) {
        if (error)
            *error = status::NoSuchObject;
        return nullptr;
    }
    return camera->fileSystemObjectData(object, error);
}

} // namespace vistel
