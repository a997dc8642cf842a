#include "Common/Volumes/CameraDiscovery.h"

#include <libudev.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace vistel {

namespace {

std::mutex& cameraSourcesMutex()
{
    static std::mutex mutex;
    return mutex;
}

CameraDiscoverySources& installed()
{
    static CameraDiscoverySources sources;
    return sources;
}

std::optional<std::string> portOf(const std::string& bus, const std::string& device)
{
    char* end = nullptr;
    const long busNumber = std::strtol(bus.c_str(), &end, 10);
    if (bus.empty() || *end)
        return std::nullopt;
    const long deviceNumber = std::strtol(device.c_str(), &end, 10);
    if (device.empty() || *end)
        return std::nullopt;
    char port[32];
    std::snprintf(port, sizeof port, "usb:%03ld,%03ld", busNumber, deviceNumber);
    return std::string(port);
}

std::string udevDevicePathForPort(const std::string& port)
{
    std::string found;
    struct udev* context = udev_new();
    if (!context)
        return found;
    struct udev_enumerate* enumerate = udev_enumerate_new(context);
    udev_enumerate_add_match_subsystem(enumerate, "usb");
    udev_enumerate_add_match_property(enumerate, "DEVTYPE", "usb_device");
    udev_enumerate_scan_devices(enumerate);
    for (struct udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate); entry && found.empty();
         entry = udev_list_entry_get_next(entry)) {
        struct udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (!device)
            continue;
        const char* bus = udev_device_get_property_value(device, "BUSNUM");
        const char* number = udev_device_get_property_value(device, "DEVNUM");
        if (bus && number && portOf(bus, number) == port)
            if (const char* path = udev_device_get_devpath(device))
                found = path;
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumerate);
    udev_unref(context);
    return found;
}

} // namespace

std::optional<std::string> usbPortOfEvent(const UdevDeviceEvent& event)
{
    const auto bus = event.properties.find("BUSNUM");
    const auto device = event.properties.find("DEVNUM");
    if (bus == event.properties.end() || device == event.properties.end())
        return std::nullopt;
    return portOf(bus->second, device->second);
}

CameraDiscoverySources cameraDiscoverySources()
{
    CameraDiscoverySources sources;
    {
        std::lock_guard lock(cameraSourcesMutex());
        sources = installed();
    }
    if (!sources.autodetect)
        sources.autodetect = [] { return autodetectCameras(); };
    if (!sources.open)
        sources.open = [](const std::string& model, const std::string& port) { return openGPhotoCamera(model, port); };
    if (!sources.devicePathForPort)
        sources.devicePathForPort = udevDevicePathForPort;
    return sources;
}

ScopedCameraDiscoverySources::ScopedCameraDiscoverySources(CameraDiscoverySources sources)
{
    std::lock_guard lock(cameraSourcesMutex());
    previous_ = std::move(installed());
    installed() = std::move(sources);
}

ScopedCameraDiscoverySources::~ScopedCameraDiscoverySources()
{
    std::lock_guard lock(cameraSourcesMutex());
    installed() = std::move(previous_);
}

UdevUsbMonitor::UdevUsbMonitor()
{
    udev_ = udev_new();
    if (!udev_)
        return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_)
        return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device");
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

UdevUsbMonitor::~UdevUsbMonitor()
{
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

int UdevUsbMonitor::fileDescriptor() const
{
    return monitor_ ? udev_monitor_get_fd(monitor_) : -1;
}

std::optional<UdevDeviceEvent> UdevUsbMonitor::receive()
{
    if (!monitor_)
        return std::nullopt;
    struct udev_device* device = udev_monitor_receive_device(monitor_);
    if (!device)
        return std::nullopt;
    UdevDeviceEvent event;
    if (const char* action = udev_device_get_action(device))
        event.action = action;
    if (const char* path = udev_device_get_devpath(device))
        event.devpath = path;
    for (struct udev_list_entry* entry = udev_device_get_properties_list_entry(device); entry;
         entry = udev_list_entry_get_next(entry))
        event.properties[udev_list_entry_get_name(entry)] = udev_list_entry_get_value(entry) ? udev_list_entry_get_value(entry) : "";
    udev_device_unref(device);
    return event;
}

} // namespace vistel
