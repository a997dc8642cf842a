// Ejecting a volume from the sidebar: the real worker, alert and disk-service client against the
// fake UDisks2 service on a private bus. The volumes are tmpfs mounts in this process's own
// mount namespace; the fake really unmounts them (and answers DeviceBusy when the kernel says
// EBUSY), so the volume manager and the catalogue see them go. Skipped when mounting is refused.

#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <memory>

#include "Application/BrowseMode/VolumeEjector.h"
#include "CatalogueTestSupport.h"
#include "MediaTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/UDisks2Client.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "PrivateSystemBus.h"

extern char** environ;

using namespace vistel;
using vistel::test::CatalogueTest;
using vistel::test::MediaNotices;
using vistel::test::spinUntil;

namespace {

// Before main(), while the process has one thread, so that the namespace can be unshared: the
// card's folder lies in a /media only this process sees.
const bool privateMedia = test::usePrivateMediaFolder();

// One bus for the binary: QtDBus keeps its first connection to the system bus.
test::PrivateSystemBus& bus()
{
    static test::TemporaryFolder folder {"vistel-eject-bus"};
    static test::PrivateSystemBus bus(folder.path());
    return bus;
}

// A process that works inside a folder (its current folder) under its own command name.
class WorkingProcess {
public:
    WorkingProcess(const std::string& folder, const std::string& program)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        std::vector<char*> argv {const_cast<char*>(program.c_str()), const_cast<char*>("60"), nullptr};
        if (::posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~WorkingProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }
    // Whether its current folder is the folder yet (the spawn returns before the exec).
    bool isIn(const std::string& folder) const
    {
        std::error_code ignored;
        return std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/cwd", ignored) == folder;
    }

private:
    pid_t pid_ = -1;
};

class VolumeEjectTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        card_ = cardFolder_.emplace().path();
    }
    void TearDown() override
    {
        bus().stopFakes();
        cardFolder_.reset();
        CatalogueTest::TearDown();
    }
    bool mounted() const
    {
        for (const MountTableEntry& entry : readMountTable())
            if (entry.mountPoint == card_)
                return true;
        return false;
    }
    // Mounts the card; answers its volume item once the catalogue told of it.
    Ref<FileSystemVolumeMO> mountCard(MediaNotices& notices)
    {
        const std::size_t before = notices.posted.size();
        if (::mount("tmpfs", card_.c_str(), "tmpfs", 0, "size=1m") != 0)
            return {};
        if (!spinUntil([&] { return notices.posted.size() > before; }, 10000))
            return {};
        for (const auto& volume : database_->volumes())
            if (volume->fullPath() == card_)
                return dynamicRefCast<FileSystemVolumeMO>(volume);
        return {};
    }
    // The card's device as the fake serves it, "major:minor".
    std::string cardDevice() const
    {
        struct stat status {};
        ::stat(card_.c_str(), &status);
        return std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    }
    // Ejects and waits for the worker's answer.
    StatusCode eject(const VolumeEjectRequest& request)
    {
        std::optional<StatusCode> result;
        startVolumeEject(request, [&](StatusCode status) { result = status; });
        EXPECT_TRUE(spinUntil([&] { return result.has_value(); }, 30000));
        return result.value_or(status::IOError);
    }
    std::vector<std::string> unmountCalls() const
    {
        std::vector<std::string> calls;
        for (const std::string& call : bus().calls())
            if (call.starts_with("Unmount") || call == "Eject" || call == "PowerOff")
                calls.push_back(call);
        return calls;
    }

    std::optional<vistel::test::MediaCardFolder> cardFolder_;
    std::string card_;
};

#define SKIP_WITHOUT_BUS_OR_CARD(card)                                                                        \
    if (!bus().running())                                                                                     \
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon cannot be started here";                                    \
    if (!(card))                                                                                              \
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here"                                 \
                                  << (privateMedia ? "" : " (no private mount namespace)")

} // namespace

TEST_F(VolumeEjectTest, AnIdleVolumeIsUnmountedAndTheCatalogueHearsItGo)
{
    openCatalogue();
    MediaNotices notices;
    const Ref<FileSystemVolumeMO> card = mountCard(notices);
    SKIP_WITHOUT_BUS_OR_CARD(card);

    const std::optional<VolumeEjectRequest> request = ejectRequestForVolume(card.get());
    ASSERT_TRUE(request);
    EXPECT_EQ(request->mountPoint, card_);
    EXPECT_EQ(request->displayName, "CARD");
    EXPECT_EQ(request->deviceType, "HD"); // a file system without a block device
    EXPECT_EQ(request->options, 0u);
    const std::string device = cardDevice();
    ASSERT_TRUE(bus().startFakeUDisks2Mounted(VISTEL_FAKE_UDISKS2_PATH, device, "tmpfs", card_, ""));

    test::ScopedResponder responder([](const AlertRecord&) {
        AlertResponse press;
        press.key = AlertResponse::Key::Return;
        return press;
    });
    EXPECT_EQ(eject(*request), status::NoError);
    EXPECT_EQ(unmountCalls(), std::vector<std::string> {"Unmount force=0"});
    const auto calls = bus().calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "ResolveDevice /dev/block/" + device), calls.end());
    EXPECT_TRUE(Alert::answeredAlerts().empty());
    EXPECT_FALSE(mounted());
    ASSERT_TRUE(spinUntil([&] { return notices.posted.back().name == "UnmountMedia"; }, 10000));
    // Gone, the volume has nothing left to eject.
    EXPECT_FALSE(ejectRequestForVolume(card.get()));
}

TEST_F(VolumeEjectTest, AVolumeInUseNamesTheProcessAndIsEjectedOnlyWhenTheUserInsists)
{
    openCatalogue();
    MediaNotices notices;
    const Ref<FileSystemVolumeMO> card = mountCard(notices);
    SKIP_WITHOUT_BUS_OR_CARD(card);
    const std::optional<VolumeEjectRequest> request = ejectRequestForVolume(card.get());
    ASSERT_TRUE(request);
    ASSERT_TRUE(bus().startFakeUDisks2Mounted(VISTEL_FAKE_UDISKS2_PATH, cardDevice(), "tmpfs", card_, ""));
    WorkingProcess sleeper(card_, "sleep");
    ASSERT_TRUE(sleeper.running());
    ASSERT_TRUE(spinUntil([&] { return sleeper.isIn(card_); }, 10000));

    std::string answer = "OK";
    test::ScopedResponder responder([&](const AlertRecord&) {
        AlertResponse press;
        press.buttonTitle = answer;
        return press;
    });

    // "OK": the volume stays, nothing more is tried.
    EXPECT_EQ(eject(*request), status::ObjectBusy);
    ASSERT_EQ(Alert::answeredAlerts().size(), 1u);
    const AlertRecord asked = Alert::answeredAlerts()[0];
    EXPECT_EQ(asked.messageText, "The disk CARD is in use and could not be ejected.");
    EXPECT_EQ(asked.informativeText, "The volume is locked by sleep.");
    ASSERT_EQ(asked.buttons.size(), 2u);
    EXPECT_EQ(asked.buttons[0].title, "OK");
    EXPECT_EQ(asked.buttons[1].title, "Eject anyway");
    EXPECT_EQ(unmountCalls(), std::vector<std::string> {"Unmount force=0"});
    EXPECT_TRUE(mounted());
    EXPECT_TRUE(ejectRequestForVolume(card.get()));

    // "Eject anyway": a forced unmount, and the catalogue hears the volume go.
    answer = "Eject anyway";
    Alert::clearAnsweredAlerts();
    EXPECT_EQ(eject(*request), status::NoError);
    EXPECT_EQ(Alert::answeredAlerts().size(), 1u);
    EXPECT_EQ(unmountCalls(), (std::vector<std::string> {"Unmount force=0", "Unmount force=0", "Unmount force=1"}));
    EXPECT_FALSE(mounted());
    EXPECT_TRUE(spinUntil([&] { return notices.posted.back().name == "UnmountMedia"; }, 10000));
}

TEST_F(VolumeEjectTest, TheDriveIsEjectedOrPoweredOffByItsKind)
{
    struct Case {
        const char* deviceType;
        const char* drive;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"USB", "usb", {"Unmount force=0", "PowerOff"}},
        {"CD", "optical", {"Unmount force=1", "Eject"}}, // options word 1: forced at once
        {"DVD", "optical", {"Unmount force=1", "Eject"}},
        {"HD", "", {"Unmount force=0"}},
    };
    if (!bus().running())
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon cannot be started here";
    for (const Case& c : cases) {
        if (::mount("tmpfs", card_.c_str(), "tmpfs", 0, "size=1m") != 0)
            VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
        ASSERT_TRUE(bus().startFakeUDisks2Mounted(VISTEL_FAKE_UDISKS2_PATH, cardDevice(), "vfat", card_, c.drive));
        VolumeEjectRequest request;
        request.mountPoint = card_;
        struct stat status {};
        ::stat(card_.c_str(), &status);
        request.deviceNumber = status.st_dev;
        request.displayName = "CARD";
        request.deviceType = c.deviceType;
        request.options = ejectOptionsForDeviceType(c.deviceType);
        EXPECT_EQ(eject(request), status::NoError) << c.deviceType;
        EXPECT_EQ(unmountCalls(), c.calls) << c.deviceType;
        EXPECT_FALSE(mounted()) << c.deviceType;
        bus().stopFakes();
    }
}

TEST_F(VolumeEjectTest, AMountTheServiceDoesNotKnowIsUnmountedByTheProgram)
{
    if (!bus().running())
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon cannot be started here";
    if (::mount("tmpfs", card_.c_str(), "tmpfs", 0, "size=1m") != 0)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    struct stat status {};
    ::stat(card_.c_str(), &status);
    {
        WorkingProcess sleeper(card_, "sleep");
        ASSERT_TRUE(spinUntil([&] { return sleeper.isIn(card_); }, 10000));
        EXPECT_EQ(UDisks2Client::ejectVolume(card_, status.st_dev, false, UDisks2Client::DriveAction::PowerOff),
                  status::ObjectBusy);
        EXPECT_TRUE(mounted());
    }
    EXPECT_EQ(UDisks2Client::ejectVolume(card_, status.st_dev, false, UDisks2Client::DriveAction::PowerOff), status::NoError);
    EXPECT_FALSE(mounted());
    EXPECT_EQ(UDisks2Client::ejectVolume(card_, status.st_dev, false, UDisks2Client::DriveAction::None), status::NoSuchVolume);
    // The system's root is never unmounted, not even forced.
    struct stat root {};
    ::stat("/", &root);
    EXPECT_EQ(UDisks2Client::ejectVolume("/", root.st_dev, true, UDisks2Client::DriveAction::None), status::PermissionDenied);
    EXPECT_TRUE(std::filesystem::exists("/proc/self"));
}

TEST_F(VolumeEjectTest, ACameraIsNeverEjected)
{
    openCatalogue();
    test::TemporaryFolder cameraCard {"vistel-camera-card"};
    std::filesystem::create_directories(cameraCard.path() + "/DCIM");
    ZovVolumeManager& manager = ZovVolumeManager::sharedVolumeManager();
    const Ref<ZovImageCaptureDeviceInfo> camera = manager.handleDeviceAdded("Directory Browse", "disk:" + cameraCard.path());
    if (!camera)
        VISTEL_SKIP_UNAVAILABLE() << "the Directory Browse driver of libgphoto2 is not installed";
    Ref<FileSystemVolumeMO> item;
    EXPECT_TRUE(spinUntil(
        [&] {
            for (const auto& volume : database_->volumes())
                if (volume->uuid() == camera->key())
                    item = dynamicRefCast<FileSystemVolumeMO>(volume);
            return item != nullptr;
        },
        10000));
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->isCamera());
    EXPECT_FALSE(ejectRequestForVolume(item.get()));
    EXPECT_FALSE(ejectRequestForVolume(nullptr));
    manager.handleDeviceRemoved(camera->icaObject());
}

TEST_F(VolumeEjectTest, WhenEjectingAnywayFailsTooNothingMoreIsSaid)
{
    if (!bus().running())
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon cannot be started here";
    // Nothing is mounted on the card's folder: both attempts fail, nobody holds it.
    VolumeEjectRequest request;
    request.mountPoint = card_;
    request.displayName = "CARD";
    request.deviceType = "USB";
    test::ScopedResponder responder([](const AlertRecord&) {
        AlertResponse press;
        press.buttonTitle = "Eject anyway";
        return press;
    });
    EXPECT_EQ(eject(request), status::NoSuchVolume);
    ASSERT_EQ(Alert::answeredAlerts().size(), 1u);
    EXPECT_EQ(Alert::answeredAlerts()[0].messageText, "The disk CARD is in use and could not be ejected.");
    EXPECT_EQ(Alert::answeredAlerts()[0].informativeText, "");
}
