#pragma once
// Where the volume manager learns about cameras: libgphoto2's detection, opening a camera
// from its (model, port), the udev device path of a USB port, and the udev "usb" events the
// manager's thread receives. Tests replace the first three with ScopedCameraDiscoverySources
// and feed recorded events to ZovVolumeManager::handleUdevEvent.
//
// Thread safety: callable from any thread.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/ImageCapture/ImageCaptureCamera.h"

struct udev;
struct udev_monitor;

namespace vistel {

// One udev event of a "usb" device, as the manager reads it.
struct UdevDeviceEvent {
    std::string action;  // "add", "remove", "change"
    std::string devpath; // "/devices/pci0000:00/0000:00:14.0/usb1/1-2"
    std::map<std::string, std::string> properties; // ID_GPHOTO2, BUSNUM, DEVNUM...
};

// The libgphoto2 port of the event's device, "usb:001,005"; nullopt without BUSNUM/DEVNUM.
std::optional<std::string> usbPortOfEvent(const UdevDeviceEvent& event);

struct CameraDiscoverySources {
    // The cameras attached now. Empty: autodetectCameras() (no "disk:" ports).
    std::function<std::vector<DetectedCamera>()> autodetect;
    // Opens a camera. Empty: openGPhotoCamera.
    std::function<std::shared_ptr<ImageCaptureCamera>(const std::string& model, const std::string& port)> open;
    // The udev DEVPATH of a "usb:BBB,DDD" port; empty when unknown. Empty: libudev.
    std::function<std::string(const std::string& port)> devicePathForPort;
    // Whether the manager listens to udev (tests feed events themselves). Default: yes.
    bool watchUdev = true;
};

// The installed sources with their defaults filled in.
CameraDiscoverySources cameraDiscoverySources();

class ScopedCameraDiscoverySources {
public:
    explicit ScopedCameraDiscoverySources(CameraDiscoverySources sources);
    ~ScopedCameraDiscoverySources();
    ScopedCameraDiscoverySources(const ScopedCameraDiscoverySources&) = delete;
    ScopedCameraDiscoverySources& operator=(const ScopedCameraDiscoverySources&) = delete;

private:
    CameraDiscoverySources previous_;
};

// A udev monitor of "usb" devices; its descriptor goes to a run loop.
class UdevUsbMonitor {
public:
    UdevUsbMonitor();
    ~UdevUsbMonitor();
    UdevUsbMonitor(const UdevUsbMonitor&) = delete;
    UdevUsbMonitor& operator=(const UdevUsbMonitor&) = delete;
    // -1 when udev cannot be watched here.
    int fileDescriptor() const;
    // The next pending event, if any.
    std::optional<UdevDeviceEvent> receive();

private:
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};

} // namespace vistel
