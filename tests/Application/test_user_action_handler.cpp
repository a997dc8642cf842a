// The user-action handler base: predicates over catalogue items (a private store, volumes
// described by a replaced lookup), trash and delete through a recording FileOperation, new
// folders, and drag operations against real mounts (tmpfs volumes under /mnt).

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "Application/BasicUIHandler.h"
#include "Application/FileOperationLauncher.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Volumes/ZovDeviceInfo.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/FileSystem/MountTable.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/FilePaths.h"
#include "ShellTestSupport.h"
#include "MountNamespace.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

const auto* const environment = ::testing::AddGlobalTestEnvironment(new test::PrivateMountNamespace);

class FakeVolume : public ZovDeviceInfo {
public:
    FakeVolume(const std::string& mountPoint, const char* type, bool writable, bool ejectable)
    {
        setMountPoint(mountPoint);
        setType(type);
        setParameter(DeviceParameter::Writable, Value(writable));
        setParameter(DeviceParameter::Ejectable, Value(ejectable));
    }
};

class RecordingFileOperation : public FileOperationLauncher {
public:
    void deleteObjects(const std::vector<std::string>& paths) override { calls.push_back({"delete", paths}); }
    void moveToTrash(const std::vector<std::string>& paths) override { calls.push_back({"trash", paths}); }
    int createFolder(const std::string& path) override
    {
        calls.push_back({"create", {path}});
        return ::mkdir(path.c_str(), 0755) == 0 ? 0 : -1;
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> calls;
};

// A catalogue in the private store: "/" > "photos" (writable) > "a.jpg", "b.jpg";
// "/" > "locked" (read-only) > "c.jpg"; "/" > volumes "usb" (USB, writable, ejectable) and
// "dvd" (DVD, read-only) and "nas" (network).
class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        database = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(database.get());
        root = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        root->setWritable(true);
        photos = child(root, "photos", MediaDatabase::EntityFolder, true);
        a = child(photos, "a.jpg", MediaDatabase::EntityFile, true);
        b = child(photos, "b.jpg", MediaDatabase::EntityFile, true);
        locked = child(root, "locked", MediaDatabase::EntityFolder, false);
        c = child(locked, "c.jpg", MediaDatabase::EntityFile, true);
        usb = child(root, "usb", MediaDatabase::EntityVolume, true);
        dvd = child(root, "dvd", MediaDatabase::EntityVolume, false);
        nas = child(root, "nas", MediaDatabase::EntityVolume, true);
        onUsb = child(usb, "d.jpg", MediaDatabase::EntityFile, true);
        frame = child(root, "frame", MediaDatabase::EntityVolume, true);
        onFrame = child(frame, "album", MediaDatabase::EntityFolder, true);
        MountTableEntry frameMount;
        frameMount.mountPoint = "/frame";
        frameMount.fileSystem = "vfat";
        frameMount.mountOptions = frameMount.superOptions = "rw";
        Ref<ZovVolumeInfo> frameInfo = ZovVolumeInfo::volumeInfoWithMount(frameMount, 7301);
        ASSERT_TRUE(frameInfo);
        frameInfo->setDeviceCategory(ZovDeviceInfo::pictureFrameCategory());
        previousLookup_ = BasicUIHandler::setVolumeLookup([frameInfo](const std::string& path) -> Ref<ZovDeviceInfo> {
            if (path.rfind("/frame", 0) == 0)
                return frameInfo;
            if (path.rfind("/usb", 0) == 0)
                return makeRef<FakeVolume>("/usb", DeviceType::USB, true, true);
            if (path.rfind("/dvd", 0) == 0)
                return makeRef<FakeVolume>("/dvd", DeviceType::DVD, false, true);
            if (path.rfind("/nas", 0) == 0)
                return makeRef<FakeVolume>("/nas", DeviceType::Network, true, false);
            return makeRef<FakeVolume>("/", DeviceType::HD, true, false);
        });
        previousOperations_ = FileOperationLauncher::install(&operations);
    }
    void TearDown() override
    {
        BasicUIHandler::setVolumeLookup(previousLookup_);
        FileOperationLauncher::install(previousOperations_);
        MediaDatabase::setDefaultMediaDatabase(nullptr);
        database->clearAll();
    }
    Ref<FileSystemItemMO> child(const Ref<FileSystemItemMO>& parent, const char* name, const char* entity, bool writable)
    {
        Ref<FileSystemItemMO> item = database->createChildOf(parent.get(), name, entity);
        item->setWritable(writable);
        return item;
    }

    Ref<MediaDatabase> database;
    Ref<FileSystemItemMO> root, photos, a, b, locked, c, usb, dvd, nas, onUsb, frame, onFrame;
    RecordingFileOperation operations;
    BasicUIHandler handler {nullptr};

private:
    BasicUIHandler::VolumeLookup previousLookup_;
    FileOperationLauncher* previousOperations_ = nullptr;
};

} // namespace

TEST_F(HandlerTest, PredicatesOverItemsAndVolumes)
{
    struct Row {
        const char* name;
        Object* item;
        bool renamable, deletable, subfolders, unmountable, folderItem, volume;
    };
    Ref<Object> plain = makeRef<Object>();
    const Row rows[] = {
        {"file in a writable folder", a.get(), true, true, false, false, true, false},
        {"writable folder", photos.get(), true, true, true, false, true, false},
        {"read-only folder", locked.get(), false, true, false, false, true, false},
        {"file in a read-only folder", c.get(), true, false, false, false, true, false},
        {"USB volume", usb.get(), true, false, true, true, true, true},
        {"DVD volume", dvd.get(), false, false, false, true, true, true},
        {"network volume", nas.get(), false, false, true, true, true, true},
        {"folder on a picture frame", onFrame.get(), true, true, false, false, true, false},
        {"not an item", plain.get(), false, false, false, false, false, false},
        {"nothing", nullptr, false, false, false, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(BasicUIHandler::isItemCanBeRenamed(row.item), row.renamable);
        EXPECT_EQ(BasicUIHandler::isItemCanBeDeleted(row.item, false), row.deletable);
        EXPECT_EQ(BasicUIHandler::isItemCanBeDeleted(row.item, true), row.deletable);
        EXPECT_EQ(BasicUIHandler::isItemCanCreateSubitems(row.item), row.subfolders);
        EXPECT_EQ(BasicUIHandler::isItemCanUnmount(row.item), row.unmountable);
        EXPECT_EQ(BasicUIHandler::isFolderItem(row.item), row.folderItem);
        EXPECT_EQ(BasicUIHandler::isVolumeItem(row.item), row.volume);
    }
    using Items = BasicUIHandler::Items;
    EXPECT_TRUE(handler.canDeleteItems(Items {a, b}, false));
    EXPECT_FALSE(handler.canDeleteItems(Items {a, c}, false)); // one parent is read-only
    EXPECT_TRUE(handler.canDeleteItems(Items {onUsb}, true));  // a writable volume as parent
    EXPECT_FALSE(handler.canDeleteItems(Items {usb}, true));   // volumes are never deleted
    EXPECT_FALSE(handler.canDeleteItems(Items {}, false));
    EXPECT_EQ(BasicUIHandler::parentsForItems(Items {a, b, c}).size(), 2u);
    EXPECT_TRUE(handler.canShowInFinder(Items {a, photos}));
    EXPECT_FALSE(handler.canShowInFinder(Items {}));
}

TEST_F(HandlerTest, TrashOrDeleteGoThroughTheFileOperations)
{
    using Items = BasicUIHandler::Items;
    handler.moveToTrash(Items {a, b});
    handler.deleteItems(Items {a}, true);
    handler.deleteItems(Items {}, true);
    ASSERT_EQ(operations.calls.size(), 2u);
    EXPECT_EQ(operations.calls[0], (std::pair<std::string, std::vector<std::string>> {"trash", {"/photos/a.jpg", "/photos/b.jpg"}}));
    EXPECT_EQ(operations.calls[1].first, "delete");

    // One item that cannot go to the Trash (a volume): asked once for all; Cancel deletes nothing.
    operations.calls.clear();
    {
        test::ScriptedAlerts alerts({"Cancel"});
        handler.moveToTrash(Items {a, dvd});
        ASSERT_EQ(alerts.messages.size(), 1u);
        EXPECT_EQ(alerts.messages[0], "Some items can not be moved to Trash.");
        const AlertRecord record = Alert::answeredAlerts().back();
        ASSERT_EQ(record.buttons.size(), 2u); // no button without a title
        EXPECT_EQ(record.buttons[0].title, "Delete Permanently");
    }
    EXPECT_TRUE(operations.calls.empty());
    test::ScriptedAlerts alerts({"Delete Permanently"});
    handler.moveToTrash(Items {a, dvd});
    ASSERT_EQ(operations.calls.size(), 1u);
    EXPECT_EQ(operations.calls[0].first, "delete");
}

TEST_F(HandlerTest, NewFoldersGetUniqueUntitledNames)
{
    test::TemporaryFolder disk;
    // A folder item whose path is the temporary folder: "/" > ... built along its components.
    Ref<FileSystemItemMO> parent = root;
    for (const std::string& component : pathComponents(disk.path()))
        parent = child(parent, component.c_str(), MediaDatabase::EntityFolder, true);
    ASSERT_EQ(parent->fullPath(), disk.path());
    std::filesystem::create_directory(disk / "untitled folder");

    Ref<FileSystemItemMO> made = handler.createSubfolder(Value::dictionary({{"keyParentItem", Value(Ref<Object>(parent))}}));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->name(), "untitled folder 1");
    EXPECT_TRUE(std::filesystem::is_directory(disk / "untitled folder 1"));
    Ref<FileSystemItemMO> named = handler.createSubfolder(
        Value::dictionary({{"keyParentItem", Value(Ref<Object>(parent))}, {"keyFolderName", Value("Holiday")}}));
    ASSERT_TRUE(named);
    EXPECT_EQ(named->fullPath(), disk / "Holiday");
    // A name that exists already fails in the file system: no item.
    EXPECT_FALSE(handler.createSubfolder(
        Value::dictionary({{"keyParentItem", Value(Ref<Object>(parent))}, {"keyFolderName", Value("Holiday")}})));
    // A name that would leave the parent makes nothing.
    for (const char* outside : {"../Escaped", "a/b", ".."})
        EXPECT_FALSE(handler.createSubfolder(
            Value::dictionary({{"keyParentItem", Value(Ref<Object>(parent))}, {"keyFolderName", Value(outside)}})))
            << outside;
    EXPECT_FALSE(std::filesystem::exists(disk / "../Escaped"));
    EXPECT_FALSE(handler.createSubfolder(Value("not a dictionary")));
    EXPECT_FALSE(handler.createSubfolder(Value::dictionary({{"keyParentItem", Value(Ref<Object>(locked))}})));
}

TEST(DragOperationTest, MoveOnOneVolumeCopyAcrossAndNothingOntoTheSameFolder)
{
    ASSERT_TRUE(privateFolders);
    char pattern[] = "/mnt/vistel-drag-XXXXXX";
    if (!::mkdtemp(pattern))
        VISTEL_SKIP_UNAVAILABLE() << "cannot make a folder under /mnt";
    const std::string mount = pattern;
    if (::mount("tmpfs", pattern, "tmpfs", 0, "size=1m,mode=0777") != 0) {
        ::rmdir(pattern);
        VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here";
    }
    // The volume manager sees the new mount.
    ZovVolumeManager& volumes = ZovVolumeManager::sharedVolumeManager();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while ((!volumes.volumeInfoForPath(mount + "/x") || volumes.volumeInfoForPath(mount + "/x")->mountPoint() != mount) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(volumes.volumeInfoForPath(mount + "/x")->mountPoint(), mount);

    BasicUIHandler handler(nullptr);
    struct Case {
        const char* name;
        std::string folder;
        std::vector<std::string> dragged;
        std::uint32_t plain, withCtrl;
    };
    const Case cases[] = {
        {"within the volume", mount + "/b", {mount + "/a/1.jpg", mount + "/a/2.jpg"}, NSDragOperationMove, NSDragOperationCopy},
        {"onto its own folder", mount + "/a", {mount + "/c/3.jpg", mount + "/a/1.jpg"}, NSDragOperationNone, NSDragOperationCopy},
        {"from the start-up volume", mount + "/b", {"/var/tmp/1.jpg"}, NSDragOperationCopy, NSDragOperationCopy},
        {"to the start-up volume", "/var/tmp", {mount + "/a/1.jpg"}, NSDragOperationCopy, NSDragOperationCopy},
        {"mixed", mount + "/b", {mount + "/a/1.jpg", "/var/tmp/2.jpg"}, NSDragOperationCopy, NSDragOperationCopy},
        {"a folder named like the old volumes root", "/var/tmp", {"/Volumes/x/1.jpg"}, NSDragOperationMove,
         NSDragOperationCopy},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(handler.dragOperationForPath(c.folder, c.dragged, false), c.plain) << c.name;
        EXPECT_EQ(handler.dragOperationForPath(c.folder, c.dragged, true), c.withCtrl) << c.name;
    }
    ::umount2(pattern, MNT_DETACH);
    ::rmdir(pattern);
}
