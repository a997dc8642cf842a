// Volume items in the catalogue: the tree above the folders, duplicates, picture-frame options
// while the frame is away, paths resolved through volume items.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/FilePaths.h"

using namespace vistel;
using vistel::test::CatalogueTest;

namespace {

class VolumesTest : public CatalogueTest {
protected:
    // A Volume item of a device that is not attached.
    Ref<FileSystemVolumeMO> detachedVolume(const std::string& key, const std::string& name)
    {
        auto item = dynamicRefCast<FileSystemVolumeMO>(database_->managedObjectContext()->insertNewObject("Volume"));
        item->setUuid(key);
        item->setName(name);
        item->setParent(database_->volumesFolder().get());
        return item;
    }
    // Folder items from the path's volume item down to `path`; the last one.
    // The Folder items down to `path`, each as a listing leaves it (verified: looking one up
    // by path asks for no listing, so nothing else gets watched).
    Ref<FileSystemItemMO> itemsDownTo(const std::string& path)
    {
        Ref<FileSystemItemMO> folder = database_->volumeItemForPath(path);
        folder->setRefreshStatus(0);
        const std::size_t inside = pathComponents(folder->fullPath()).size();
        const std::vector<std::string> components = pathComponents(path);
        for (std::size_t i = inside; i < components.size(); ++i) {
            folder = database_->createChildOf(folder.get(), components[i], "Folder");
            folder->setRefreshStatus(0);
        }
        return folder;
    }
    static bool watched(const std::string& path)
    {
        FNSubscribeFileObserver& watcher = FNSubscribeFileObserver::sharedFileObserver();
        ThreadMessages::performSelector([] { }, watcher.runLoop(), true);
        const auto paths = watcher.watchedPaths();
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    }
    std::size_t volumeItemsWithKey(const std::string& key)
    {
        return database_->searchObjectsBy("uuid==%@", {Value(key)}, 1000, "Volume")->size();
    }
};

} // namespace

TEST_F(VolumesTest, AnEmptyStoreGivesTheRootTheHiddenFolderAndOneItemPerVolume)
{
    MediaDatabase& database = openCatalogue();
    const auto infos = ZovVolumeManager::sharedVolumeManager().volumeInfos();
    const auto& volumes = database.volumes();
    ASSERT_EQ(volumes.size(), infos.size());

    Ref<FileSystemItemMO> root = database.rootItem();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->uuid(), ZovVolumeManager::sharedVolumeManager().volumeInfoForMountPoint("/")->key());
    EXPECT_EQ(root->fullPath(), "/");
    EXPECT_EQ(database.findExistingItemForPath("/"), root);

    Ref<FileSystemItemMO> hidden = database.volumesFolder();
    EXPECT_EQ(hidden->uuid(), "8D8C8343-A16D-40AA-960B-7FB1E4D953CA");
    EXPECT_EQ(hidden->name(), "Volumes");
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_EQ(hidden->parent(), root);
    EXPECT_EQ(hidden->refreshStatus(), 0);

    for (const auto& info : infos) {
        SCOPED_TRACE(info->mountPoint());
        Ref<FileSystemItemMO> item = database.volumeItemForPath(info->mountPoint());
        ASSERT_TRUE(item);
        EXPECT_TRUE(dynamic_cast<FileSystemVolumeMO*>(item.get()));
        EXPECT_EQ(item->uuid(), info->key());
        EXPECT_EQ(item->fullPath(), info->mountPoint());
        EXPECT_TRUE(item->isValid());
        EXPECT_EQ(database.findExistingItemForPath(info->mountPoint()), item);
        if (info->mountPoint() != "/") {
            EXPECT_EQ(item->parent(), hidden);
        }
    }
    // Sorted by display name.
    for (std::size_t i = 1; i < volumes.size(); ++i)
        EXPECT_NE(volumes[i - 1]->compareDisplayName(volumes[i].get()), FileSystemItemMO::ComparisonResult::Descending);

    // A second list build finds the same items.
    const std::vector<Ref<FileSystemItemMO>> first = volumes;
    database.resetVolumes();
    EXPECT_EQ(database.volumes(), first);
    EXPECT_EQ(database.searchObjectsBy("uuid==%@", {Value(MediaDatabase::VolumesFolderUUID)}, 10, "Folder")->size(), 1u);
}

TEST_F(VolumesTest, TwoStoredVolumeItemsWithOneKeyAreReducedToOne)
{
    MediaDatabase& database = openCatalogue();
    const std::string rootKey = ZovVolumeManager::sharedVolumeManager().volumeInfoForMountPoint("/")->key();
    database.volumes();
    detachedVolume(rootKey, "copy");
    ASSERT_EQ(volumeItemsWithKey(rootKey), 2u);

    database.resetVolumes();
    database.volumes();
    EXPECT_EQ(volumeItemsWithKey(rootKey), 1u);
    EXPECT_EQ(database.rootItem()->name(), "/");
}

TEST_F(VolumesTest, PathsBelowAVolumeResolveThroughItsItem)
{
    MediaDatabase& database = openCatalogue();
    Ref<FileSystemItemMO> root = database.rootItem();
    ASSERT_TRUE(root);
    auto home = database.createChildOf(root.get(), "home-of-test", "Folder");
    auto picture = database.createChildOf(home.get(), "x.jpg", "File");

    EXPECT_EQ(database.findExistingItemForPath("/home-of-test/x.jpg"), picture);
    EXPECT_EQ(database.findExistingItemForPath("//home-of-test/./x.jpg/"), picture);
    EXPECT_EQ(picture->fullPath(), "/home-of-test/x.jpg");
    EXPECT_FALSE(database.findExistingItemForPath("/home-of-test/missing/x.jpg"));
    EXPECT_FALSE(database.findExistingItemForPath("relative/x.jpg"));
    // A camera that is not attached has no item to answer.
    EXPECT_FALSE(database.findExistingItemForPath("ICA:/41/DCIM/x.jpg"));
}

TEST_F(VolumesTest, FrameOptionsOfAFrameThatIsAwayComeFromTheStore)
{
    MediaDatabase& database = openCatalogue();
    database.volumes();
    auto frame = detachedVolume("frame-that-is-away", "FRAME");
    EXPECT_FALSE(frame->getDeviceInfo());
    EXPECT_EQ(frame->displayName(), "FRAME");
    EXPECT_EQ(frame->fullPath(), "/Volumes/FRAME");
    EXPECT_FALSE(frame->isWritable());
    EXPECT_FALSE(frame->isVolumeEjectable());
    EXPECT_EQ(frame->freeBytes(), 0u);
    EXPECT_FALSE(frame->isDPFDevice());

    struct Case {
        const char* x;
        const char* y;
        ItemSize expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, {1024, 768}},
        {"800", "0", {1024, 768}},
        {"0", "600", {1024, 768}},
        {"garbage", "600", {1024, 768}},
        {"800.000000", "600.000000", {800, 600}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.x ? c.x : "none") + " x " + (c.y ? c.y : "none"));
        frame->setAttribute(c.x ? Value(c.x) : Value(), "ResolutionX", kTagPictureFrameOptions);
        frame->setAttribute(c.y ? Value(c.y) : Value(), "ResolutionY", kTagPictureFrameOptions);
        EXPECT_EQ(frame->pictureFrameResolution(), c.expected);
    }

    // While away, the resolution setter stores nothing; the others store their attribute.
    frame->setPictureFrameResolution({640, 480});
    EXPECT_EQ(frame->pictureFrameResolution(), (ItemSize {800, 600}));
    frame->setPictureFrameModel("Model 7");
    frame->setPictureFrameSize(std::string("7"));
    frame->setDeviceCategory(std::string("Picture Frame"));
    frame->setDeviceHandledByUser(true);
    database.saveChanges();

    // Across runs.
    MediaDatabase& again = openCatalogue();
    auto stored = dynamicRefCast<FileSystemVolumeMO>(again.objectExistingForUUID("frame-that-is-away"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->pictureFrameModel(), "Model 7");
    EXPECT_EQ(stored->pictureFrameSize(), "7");
    EXPECT_EQ(stored->deviceCategory(), "Picture Frame");
    EXPECT_TRUE(stored->deviceHandledByUser());
    EXPECT_EQ(stored->pictureFrameResolution(), (ItemSize {800, 600}));
    // Not present now: not listed.
    const auto& listed = again.volumes();
    EXPECT_EQ(std::find(listed.begin(), listed.end(), Ref<FileSystemItemMO>(stored)), listed.end());
}

TEST_F(VolumesTest, CamerasAndNetworkVolumesCannotMoveToTheTrash)
{
    MediaDatabase& database = openCatalogue();
    database.volumes();
    auto camera = detachedVolume("camera-key", "ICA:/41");
    EXPECT_TRUE(camera->isCamera());
    EXPECT_EQ(camera->fullPath(), "ICA:/41");
    EXPECT_FALSE(camera->supportsMoveToTrash());
    auto disk = detachedVolume("disk-key", "DISK");
    EXPECT_TRUE(disk->supportsMoveToTrash());
    EXPECT_TRUE(dynamicRefCast<FileSystemVolumeMO>(database.rootItem())->supportsMoveToTrash());
}

TEST_F(VolumesTest, WrittenFoldersReachTheCatalogueOnTheMainThreadWhoeverPostsThem)
{
    MediaDatabase& database = openCatalogue();
    struct Written {
        Ref<FileSystemItemMO> item;
        bool onMainThread;
    };
    std::vector<Written> written;
    database.setWrittenItemRefresher([&](FileSystemItemMO* item) {
        written.push_back({Ref<FileSystemItemMO>(item), RunLoop::isMainThread()});
    });

    // A folder of the catalogue at a real path, watched by the program's watcher.
    test::TemporaryFolder real;
    Ref<FileSystemItemMO> folder = itemsDownTo(real.path());
    ASSERT_EQ(database.findExistingItemForPath(real.path()), folder);
    // A listing of it is on its way: the write is passed on all the same.
    folder->setRefreshStatus(1);
    FNSubscribeFileObserver::sharedFileObserver().addPath(real.path());
    ASSERT_TRUE(watched(real.path()));
    ASSERT_EQ(std::system(("echo x > " + test::shellQuoted(real / "new.jpg")).c_str()), 0);
    ASSERT_TRUE(test::spinUntil([&] { return !written.empty(); }, 5000));
    EXPECT_EQ(written[0].item, folder);
    EXPECT_TRUE(written[0].onMainThread);
    FNSubscribeFileObserver::sharedFileObserver().removePath(real.path());

    // Posted on a worker; unknown paths and the hidden folder are let be.
    written.clear();
    std::thread worker([&] {
        for (const std::string& path : {std::string("/no/such/folder"), std::string("/Volumes"), real.path()})
            NotificationCenter::defaultCenter().postNotificationName(
                FileIsWrittenToNotification, {}, Value::dictionary({{kFileObserverWriteNotificationPath, path}}));
    });
    worker.join();
    ASSERT_TRUE(test::spinUntil([&] { return !written.empty(); }, 5000));
    test::spinEvents(100);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].item, folder);
    EXPECT_TRUE(written[0].onMainThread);

    // Our own change notice, with nothing changed on disk: the folder once.
    written.clear();
    NSWorkspaceChanges::noteFileSystemChanged(real.path());
    NSWorkspaceChanges::noteFileSystemChanged(real.path());
    ASSERT_TRUE(test::spinUntil([&] { return !written.empty(); }, 5000));
    test::spinEvents(400);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].item, folder);
}

TEST_F(VolumesTest, RenamingAnItemMovesItsFoldersWatch)
{
    MediaDatabase& database = openCatalogue();
    test::TemporaryFolder real;
    std::filesystem::create_directory(real / "before");
    Ref<FileSystemItemMO> item = itemsDownTo(real / "before");
    FNSubscribeFileObserver::sharedFileObserver().addPath(real / "before");
    ASSERT_TRUE(watched(real / "before"));

    std::filesystem::rename(real / "before", real / "after");
    database.renameItem(item.get(), "after");
    EXPECT_EQ(item->fullPath(), real / "after");
    EXPECT_FALSE(watched(real / "before"));
    EXPECT_TRUE(watched(real / "after"));
    EXPECT_EQ(item->parent()->childWithName("after"), item);
    FNSubscribeFileObserver::sharedFileObserver().removePath(real / "after");
}

TEST_F(VolumesTest, RefreshedFoldersAreWatchedUntilTheyTurnInvalidAndVolumeItemsChangeTheVolumeList)
{
    MediaDatabase& database = openCatalogue();
    test::TemporaryFolder real;
    std::filesystem::create_directory(real / "sub");
    Ref<FileSystemItemMO> folder = itemsDownTo(real / "sub");
    database.enqueueRefresh(folder.get(), Value());
    EXPECT_TRUE(watched(real / "sub"));
    database.updateItemDoesNotExist(folder.get());
    EXPECT_FALSE(folder->valid());
    EXPECT_FALSE(watched(real / "sub"));

    // A volume item: nobody watches the hidden folder; the list is made again and the change
    // is posted without an item.
    auto volume = detachedVolume("gone-key", "GONE");
    database.volumes();
    int anyChanges = 0;
    int hiddenReloads = 0;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(&anyChanges, [&](const Notification& n) { anyChanges += !n.object; }, "MDFileChanged");
    center.addObserver(&hiddenReloads, [&](const Notification&) { ++hiddenReloads; }, "MDFolderChangedReload",
                       database.volumesFolder().get());
    database.updateItemDoesNotExist(volume.get());
    EXPECT_FALSE(volume->valid());
    EXPECT_TRUE(test::spinUntil([&] { return anyChanges == 1; }, 5000));
    database.updateItemChanged(database.volumes().front().get());
    EXPECT_TRUE(test::spinUntil([&] { return anyChanges == 2; }, 5000));
    EXPECT_EQ(hiddenReloads, 0);
    center.removeObserver(&anyChanges);
    center.removeObserver(&hiddenReloads);
}
