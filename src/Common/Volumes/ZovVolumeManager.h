#pragma once
// ZovVolumeManager: the one registry of what the catalogue shows as volumes, each as a device
// information object (ZovVolumeInfo for a mounted volume). It lists the mounted volumes when
// it starts, follows mounts and unmounts, answers lookups by key, mount point, reference
// number and path, and tells of every mount and unmount with the signals
// "ZovVolumeManagerMountedNotification" and "ZovVolumeManagerUnmountedNotification", whose
// user info holds the device information under "ZovVolumeManagerVolumeInfoKey".
//
// Threads: the manager runs its own thread with a RunLoop. /proc/self/mountinfo is a
// descriptor source of that loop (a changed mount table raises its priority event); on each
// change the table is read again and compared with the registry: volumes that went are
// removed and signalled first, then new ones are described, registered and signalled. Signals
// are emitted on the manager's thread, after the registry's lock is released, so receivers on
// the main thread get them through their run loop. Lookups may be made from any thread and
// answer the registered object (retained).
//
// Cameras: libgphoto2's detection runs on the manager's thread at start and on every udev
// "usb" event of a device with ID_GPHOTO2 ("add": new cameras arrive; "change": the camera
// reloads and announces its mount point with "FileIsWrittenToNotification"; "remove": it
// goes). A camera is a ZovImageCaptureDeviceInfo under "ICA:/<identifier>"; its arrival and
// removal emit the same two signals, outside the registry's lock. installMountHandler() also
// installs the camera side of the file services, camera thumbnails and camera reads.
//
// Reference numbers: -1, -2, ... one per mounted volume, never given to another volume while
// it is mounted (and not again before the numbers wrap after 32768 mounts). They never meet 0
// (no device) nor the positive numbers that name cameras.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/SignalObject.h"
#include "Common/Volumes/CameraDiscovery.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Platform/RunLoop.h"

namespace vistel {

inline constexpr const char* ZovVolumeManagerMountedNotification = "ZovVolumeManagerMountedNotification";
inline constexpr const char* ZovVolumeManagerUnmountedNotification = "ZovVolumeManagerUnmountedNotification";
inline constexpr const char* ZovVolumeManagerVolumeInfoKey = "ZovVolumeManagerVolumeInfoKey";

class ZovVolumeManager : public SignalObject {
public:
    // The program's manager, started on first use (the caller waits until the volumes are
    // listed); it then installs its lookup for the file-error alert. Lives for the whole run.
    static ZovVolumeManager& sharedVolumeManager();
    // A manager of its own (tests): started and listed like the shared one; destroying it
    // stops its thread. Raises when no volume is mounted at "/".
    static Ref<ZovVolumeManager> create();

    // Makes the file-error alert check volumes through this registry.
    void installMountHandler();

    std::vector<Ref<ZovDeviceInfo>> volumeInfos() const;
    Ref<ZovDeviceInfo> volumeInfoForKey(const std::string& key) const;
    Ref<ZovDeviceInfo> volumeInfoForMountPoint(const std::string& mountPoint) const;
    Ref<ZovVolumeInfo> volumeInfoForRefNum(std::int16_t refNum) const;
    // The volume whose mount point is the longest one above `path`, else the volume at "/"
    // (also for "" and relative paths); a camera path answers its camera or null, never "/".
    Ref<ZovDeviceInfo> volumeInfoForPath(const std::string& path) const;

    // Registers `info` under its reference number, key and mount point (no signal). A volume
    // whose key is registered already (the same file system mounted twice) is not added.
    bool addVolumeInfo(const Ref<ZovVolumeInfo>& info);
    // Removes the volume of `refNum` and emits the unmounted signal; nothing when there is none.
    void removeVolumeInfo(std::int16_t refNum);
    // Describes the volume of `info` again (same reference number, current mount) and puts
    // the new information in its place; no signal.
    void updateVolumeInfo(const Ref<ZovVolumeInfo>& info);

    // ---- Cameras
    // The registered camera of `identifier`, or null.
    Ref<ZovImageCaptureDeviceInfo> imageCaptureDeviceInfoByICAObject(std::int64_t identifier) const;
    // The camera of a camera path ("ICA:/41/x"), or null.
    Ref<ZovImageCaptureDeviceInfo> icaDeveceWithPath(std::string_view path) const;
    // Registers the camera under its key and mount point (no signal); false for null or a
    // key registered already.
    bool addImageCaptureDevice(const Ref<ZovImageCaptureDeviceInfo>& camera);
    // Removes the camera of `identifier` and emits the unmounted signal once.
    void removeImageCaptureDevice(std::int64_t identifier);
    // Arrival of the camera of `model` on `port` (udev DEVPATH `devicePath` for USB): a
    // camera registered on that port reloads and announces; otherwise it is opened, described
    // under a new identifier, registered and signalled. Runs on the manager's thread (called
    // elsewhere, it runs there and waits). The camera, or null when it cannot be opened.
    Ref<ZovImageCaptureDeviceInfo> handleDeviceAdded(const std::string& model, const std::string& port,
                                                     const std::string& devicePath = {});
    void handleDeviceRemoved(std::int64_t identifier);
    // One udev "usb" event (see the header comment). Runs on the manager's thread.
    void handleUdevEvent(const UdevDeviceEvent& event);
    // The whole bytes of the camera file at `path` on the cameras of the manager that installed
    // its services last (installMountHandler); null with -43 in `error` when there is no such
    // file or it cannot be read.
    static ZovImageCaptureDeviceInfo::Data dataOfCameraPath(std::string_view path, StatusCode* error = nullptr);
    // The camera of a camera path among the cameras of that same manager; null when none.
    static Ref<ZovImageCaptureDeviceInfo> cameraOfPath(std::string_view path);
    // Replaces the shared object cache of the cameras made from now on (tests).
    void setCameraCacheReleaser(ObjectsCacheReleaser* releaser) { cameraCacheReleaser_ = releaser; }

    // The display name of the device mounted at exactly `path`; else the path's last component.
    std::string displayNameFromPath(const std::string& path) const;

    // Reads the mount table and brings the registry in step, signalling what changed. Runs on
    // the manager's thread (called elsewhere, it runs there and waits).
    void rescanMountTable();

    // The manager's run loop.
    RunLoop* runLoop() const { return loop_.get(); }

    std::string className() const override { return "ZovVolumeManager"; }

protected:
    ZovVolumeManager();
    ~ZovVolumeManager() override;

private:
    void threadBody();
    void diffMountTable(bool signal);
    std::int16_t nextRefNum();
    void emitVolumeSignal(const char* name, const Ref<ZovDeviceInfo>& info);
    void detectCameras(const std::string& eventPort, const std::string& eventDevicePath);
    Ref<ZovImageCaptureDeviceInfo> cameraOnPort(const std::string& port, const std::string& devicePath) const;
    void installCameraServices();
    // Ends the thread's loop and waits for its body; a second call does nothing.
    void haltThread();
    // Run at the process's exit, before the statics the threads read are destroyed: a mount
    // table change met then must not be served with them half gone.
    static void haltAllThreads();

    mutable std::mutex mutex_; // guards the three tables and nextRefNum_
    std::map<std::string, Ref<ZovDeviceInfo>> volumeInfoForKeyHash_;
    std::map<std::string, Ref<ZovDeviceInfo>> volumeInfoForMountPointHash_;
    std::map<std::int16_t, Ref<ZovVolumeInfo>> volumeInfoForRefNumHash_;
    std::int16_t nextRefNum_ = -1;
    std::set<std::string> unregistered_; // mounts left out; the manager's thread only
    std::uint32_t cameraCounter_ = 0; // under mutex_: identifiers given so far
    ObjectsCacheReleaser* cameraCacheReleaser_ = nullptr;
    std::unique_ptr<UdevUsbMonitor> udevMonitor_;
    RunLoop::SourceId udevSource_ = 0;

    Ref<NSThreadExt> thread_;
    std::atomic<bool> stopping_ {false};
    Ref<RunLoop> loop_;
    int mountTableFd_ = -1;
    RunLoop::SourceId mountTableSource_ = 0;
    std::mutex startMutex_;
    std::condition_variable started_;
    bool listed_ = false;
};

} // namespace vistel
