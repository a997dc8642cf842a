// Recorded udev "usb" events reaching the volume manager: a camera arrives, reloads and goes.

#include <gtest/gtest.h>

#include <mutex>

#include "CameraTestSupport.h"
#include "Platform/NotificationCenter.h"
#include "VolumeTestSupport.h"

using namespace vistel;
using namespace vistel::test;

namespace {

const std::string devpath = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";

UdevDeviceEvent event(std::string action, bool camera = true)
{
    UdevDeviceEvent recorded {std::move(action), devpath,
                              {{"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"}, {"BUSNUM", "001"}, {"DEVNUM", "005"}}};
    if (camera)
        recorded.properties["ID_GPHOTO2"] = "1";
    return recorded;
}

// What libgphoto2 would detect, changed by the test; every camera opened is a camera in memory.
struct Bus {
    CameraDiscoverySources sources()
    {
        CameraDiscoverySources sources;
        sources.autodetect = [this] {
            std::lock_guard lock(mutex);
            ++detections;
            return attached;
        };
        sources.open = [this](const std::string& model, const std::string& port) -> std::shared_ptr<ImageCaptureCamera> {
            std::lock_guard lock(mutex);
            opened.push_back(model + " " + port);
            auto camera = std::make_shared<FakeCamera>();
            camera->add("/DCIM/100MEDIA", "IMG_0001.JPG", patternBytes(10, 1));
            return camera;
        };
        sources.devicePathForPort = [](const std::string& port) { return "/devices/at/" + port; };
        return sources;
    }
    std::mutex mutex;
    std::vector<DetectedCamera> attached;
    std::vector<std::string> opened;
    int detections = 0;
};

TEST(CameraUdevEvents, AddChangeRemoveGiveArrivalReloadAndOneUnmount)
{
    Bus bus;
    CameraRegistry registry(bus.sources());
    Ref<SignalRecorder> recorder = SignalRecorder::create(*registry.manager);
    // A slot on the manager's own thread may look the registry up while the signal is out.
    std::size_t registeredDuringUnmount = 99;
    Ref<SignalRecorder> direct = SignalRecorder::create(*registry.manager, ConnectionType::Direct, [&] {
        registeredDuringUnmount = registry.manager->volumeInfos().size();
    });

    std::mutex written;
    std::vector<std::string> writtenPaths;
    const int observer = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, [&](const Notification& notification) {
        std::lock_guard lock(written);
        writtenPaths.push_back(notification.userInfo.get(kFileObserverWriteNotificationPath).toString());
    }, FileIsWrittenToNotification);

    // A usb device that is no camera: not even a detection.
    registry.manager->handleUdevEvent(event("add", false));
    EXPECT_EQ(bus.detections, 1); // the one at start

    {
        std::lock_guard lock(bus.mutex);
        bus.attached = {{"Fake Camera", "usb:001,005"}};
    }
    registry.manager->handleUdevEvent(event("add"));
    ASSERT_TRUE(recorder->waitFor(1, 0));
    const Ref<ZovDeviceInfo> camera = recorder->mounted.at(0);
    EXPECT_EQ(bus.opened, std::vector<std::string> {"Fake Camera usb:001,005"});
    EXPECT_EQ(camera->key(), devpath); // no serial number: the udev device path
    EXPECT_EQ(registry.manager->volumeInfoForMountPoint(camera->mountPoint()).get(), camera.get());

    registry.manager->handleUdevEvent(event("change"));
    {
        std::lock_guard lock(written);
        EXPECT_EQ(writtenPaths, std::vector<std::string> {camera->mountPoint()});
    }

    registry.manager->handleUdevEvent(event("remove"));
    registry.manager->handleUdevEvent(event("remove"));
    EXPECT_TRUE(recorder->waitFor(1, 1));
    EXPECT_EQ(recorder->unmounted.at(0).get(), camera.get());
    EXPECT_TRUE(recorder->allOnMainThread);
    EXPECT_EQ(registeredDuringUnmount, 1u); // "/" alone
    EXPECT_FALSE(registry.manager->volumeInfoForMountPoint(camera->mountPoint()));
    NotificationCenter::defaultCenter().removeObserver(&observer);
}

TEST(CameraUdevEvents, CamerasAreDetectedAtStartWithIdentifiersNeverReused)
{
    Bus bus;
    bus.attached = {{"Fake Camera", "usb:001,005"}, {"Fake Camera", "usb:001,006"}};
    CameraRegistry registry(bus.sources());
    std::vector<std::int64_t> identifiers;
    for (const Ref<ZovDeviceInfo>& info : registry.manager->volumeInfos())
        if (const auto* camera = dynamic_cast<const ZovImageCaptureDeviceInfo*>(info.get())) {
            identifiers.push_back(camera->icaObject());
            EXPECT_EQ(camera->key(), "/devices/at/" + camera->port());
        }
    ASSERT_EQ(identifiers.size(), 2u);
    // Gone and back: a new identifier.
    const Ref<ZovImageCaptureDeviceInfo> first = registry.manager->imageCaptureDeviceInfoByICAObject(identifiers[0]);
    ASSERT_TRUE(first);
    registry.manager->handleDeviceRemoved(first->icaObject());
    const Ref<ZovImageCaptureDeviceInfo> again = registry.manager->handleDeviceAdded("Fake Camera", first->port());
    ASSERT_TRUE(again);
    EXPECT_NE(again->icaObject(), identifiers[0]);
    EXPECT_NE(again->icaObject(), identifiers[1]);
}

} // namespace
