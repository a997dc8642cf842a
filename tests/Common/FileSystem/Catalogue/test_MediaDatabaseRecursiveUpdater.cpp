// The path updater over catalogue items: walks that end at once, waits for a folder's listing
// (told the way the result application tells item observers), and every road to its end.

#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"
#include "Platform/Log.h"

using namespace vistel;
using vistel::test::CatalogueTest;
using vistel::test::spinEvents;
using vistel::test::spinUntil;

namespace {

// The bit of an item whose refresh is queued.
constexpr std::int32_t RefreshQueued = 1;

class RecursiveUpdaterTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        database = &openCatalogue();
        root = database->rootItem();
        ASSERT_TRUE(root);
        // A root listed before: only the folders the tests make are walked.
        root->setRefreshStatus(0);
    }
    Ref<FileSystemItemMO> folder(FileSystemItemMO* parent, const std::string& name, std::int32_t status = 0)
    {
        auto item = database->createChildOf(parent, name, "Folder");
        item->setValid(true);
        item->setRefreshStatus(status);
        return item;
    }
    // What the result application does when a folder's listing arrives.
    void listingArrived(FileSystemItemMO* item)
    {
        item->setRefreshStatus(0);
        NotificationCenter::defaultCenter().postNotificationName("MDFolderChangedReload", Ref<Object>(item),
                                                                 Value::dictionary({{"Reload", true}}));
    }

    MediaDatabase* database = nullptr;
    Ref<FileSystemItemMO> root;
    test::PathUpdaterEnds ends;
};

} // namespace

TEST_F(RecursiveUpdaterTest, KnownPathsEndInsideStart)
{
    auto a = folder(root.get(), "walk-a");
    auto b = folder(a.get(), "b");
    auto file = database->createChildOf(b.get(), "x.jpg", "File");
    const std::pair<std::string, Ref<FileSystemItemMO>> cases[] = {
        {"/", root}, {"/walk-a/b/x.jpg", file}, {"/walk-a//./b/", b}};
    for (const auto& [path, item] : cases) {
        SCOPED_TRACE(path);
        ends.calls.clear();
        auto updater = database->enqueueRefreshPath(path, &ends);
        ASSERT_TRUE(updater);
        ASSERT_EQ(ends.calls.size(), 1u);
        EXPECT_TRUE(ends.calls[0].status);
        EXPECT_EQ(ends.calls[0].item, item);
        EXPECT_EQ(ends.calls[0].path, path);
        EXPECT_TRUE(MediaDatabaseRecursiveUpdater::listForMDB(database).empty());
    }
}

TEST_F(RecursiveUpdaterTest, AMissingLastComponentEndsWithTheFolder)
{
    auto a = folder(root.get(), "walk-a");
    database->enqueueRefreshPath("/walk-a/missing.jpg", &ends);
    ASSERT_EQ(ends.calls.size(), 1u);
    EXPECT_FALSE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, a);
}

TEST_F(RecursiveUpdaterTest, EachFolderWhoseListingIsOnItsWayIsWaitedFor)
{
    auto a = folder(root.get(), "walk-a", RefreshQueued);
    auto updater = database->enqueueRefreshPath("/walk-a/b/c.jpg", &ends);
    ASSERT_TRUE(updater);
    EXPECT_TRUE(updater->isWaiting());
    EXPECT_TRUE(ends.calls.empty());

    // Other items' changes do not move it.
    auto other = folder(root.get(), "other", 0);
    listingArrived(other.get());
    EXPECT_TRUE(ends.calls.empty());

    auto b = folder(a.get(), "b", RefreshQueued);
    listingArrived(a.get());
    EXPECT_TRUE(updater->isWaiting());
    EXPECT_TRUE(ends.calls.empty());

    auto c = database->createChildOf(b.get(), "c.jpg", "File");
    listingArrived(b.get());
    ASSERT_EQ(ends.calls.size(), 1u);
    EXPECT_TRUE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, c);
    EXPECT_FALSE(updater->isWaiting());
    EXPECT_TRUE(MediaDatabaseRecursiveUpdater::listForMDB(database).empty());
}

TEST_F(RecursiveUpdaterTest, AFolderThatVanishesOrWhoseListingFailsSilentlyEndsTheWalkWithNo)
{
    // Its parent reports a change and the folder is no longer valid.
    auto a = folder(root.get(), "walk-a");
    auto gone = folder(a.get(), "gone", RefreshQueued);
    database->enqueueRefreshPath("/walk-a/gone/x.jpg", &ends);
    ASSERT_TRUE(ends.calls.empty());
    gone->setValid(false);
    NotificationCenter::defaultCenter().postNotificationName("MDFolderChangedReload", Ref<Object>(a),
                                                             Value::dictionary({{"Reload", true}}));
    ASSERT_EQ(ends.calls.size(), 1u);
    EXPECT_FALSE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, gone);

    // The pending request goes away without any notification.
    ends.calls.clear();
    auto silent = folder(a.get(), "silent", RefreshQueued);
    auto updater = database->enqueueRefreshPath("/walk-a/silent/x.jpg", &ends);
    spinEvents(100);
    EXPECT_TRUE(ends.calls.empty());
    silent->setRefreshStatus(0);
    ASSERT_TRUE(spinUntil([&] { return !ends.calls.empty(); }, 5000));
    EXPECT_FALSE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, silent);
}

TEST_F(RecursiveUpdaterTest, ACameraPathWalksFromTheVolumesFolder)
{
    auto camera = database->createChildOf(database->volumesFolder().get(), "ICA:/41", "Volume");
    auto dcim = folder(camera.get(), "DCIM");
    auto picture = database->createChildOf(dcim.get(), "My Photo #1.JPG", "File");
    database->enqueueRefreshPath("ICA:/41/DCIM/My Photo #1.JPG", &ends);
    ASSERT_EQ(ends.calls.size(), 1u);
    EXPECT_TRUE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, picture);
    EXPECT_EQ(picture->fullPath(), "ICA:/41/DCIM/My Photo #1.JPG");

    ends.calls.clear();
    database->enqueueRefreshPath("ICA:/42/DCIM", &ends);
    ASSERT_EQ(ends.calls.size(), 1u);
    EXPECT_FALSE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, database->volumesFolder());
}

TEST_F(RecursiveUpdaterTest, UnknownPathFormsMakeNoUpdaterAndStoppedOnesTellNothing)
{
    ScopedLogCapture log;
    EXPECT_FALSE(database->enqueueRefreshPath("relative/path", &ends));
    EXPECT_TRUE(log.contains("MediaDatabaseRecursiveUpdater::initWithPath unknown path relative/path"));

    folder(root.get(), "walk-a", RefreshQueued);
    auto updater = database->enqueueRefreshPath("/walk-a/x", &ends);
    ASSERT_EQ(MediaDatabaseRecursiveUpdater::listForMDB(database).size(), 1u);
    MediaDatabaseRecursiveUpdater::stopAllForMediaDatabase(database);
    EXPECT_TRUE(MediaDatabaseRecursiveUpdater::listForMDB(database).empty());
    EXPECT_FALSE(updater->isWaiting());
    spinEvents(700);
    EXPECT_TRUE(ends.calls.empty());
}
