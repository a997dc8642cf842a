// The browsing selection over a real catalogue in a temporary store: notifications and their
// change cache, the flat list, reselection after a rebuild, and catalogue changes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

class Recorder : public BrowsingSelectionNotificationObserver {
public:
    void handleBrowsingSelectionNotifications(const Notification& notification) override
    {
        received.push_back(notification.userInfo);
    }
    std::vector<Value> received;
};

class BrowsingSelectionTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        // The pictures here exist in the catalogue only: no stored thumbnails are asked for
        // (registered over the program's defaults, which are registered once, on first use).
        Preferences::sharedPreferences();
        UserDefaults::standard().registerDefaults(
            Value::dictionary({{"ThumbnailStyle.GenerateHighQualityThumbnails", Value(false)}}));
        root_ = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        root_->setValid(true);
        a_ = folder("a", {"a1.jpg", "a2.jpg", "a3.jpg"});
        b_ = folder("b", {"b1.jpg", "b2.jpg"});
        selection_ = BrowsingSelection::create();
        selection_->addNotificationObserver(&recorder_);
    }
    void TearDown() override
    {
        if (selection_)
            selection_->removeNotificationObserver(&recorder_);
        selection_ = nullptr;
        database_->stopJobs();
        CatalogueTest::TearDown();
    }
    Ref<FileSystemItemMO> folder(const std::string& name, std::vector<std::string> files)
    {
        Ref<FileSystemItemMO> item = listedFolderItem(root_, name);
        for (const std::string& file : files)
            pictureItem(item, file);
        return item;
    }
    std::vector<std::string> names(const ItemList& items) const
    {
        std::vector<std::string> out;
        for (const auto& item : items)
            out.push_back(item ? item->name() : "<null>");
        return out;
    }
    std::vector<std::string> shown() const { return names(selection_->foldersObjects()); }
    static IndexSet indexSetOf(const Value& value) { return value.toObject<IndexSetObject>()->indexSet(); }
    // Waits for the next tick of the cache timer (which may send nothing).
    void waitForTick()
    {
        const std::size_t before = recorder_.received.size();
        spinUntil([&] { return recorder_.received.size() > before; }, 1500);
    }

    Ref<FileSystemItemMO> root_, a_, b_;
    Ref<BrowsingSelection> selection_;
    Recorder recorder_;
};

TEST_F(BrowsingSelectionTest, FolderChoicesAndTheirNotifications)
{
    selection_->setSelectedFolders({a_, b_});
    ASSERT_EQ(recorder_.received.size(), 1u);
    EXPECT_EQ(recorder_.received[0][kObjectsChangesBitmap].toInt64(), 7); // folders, list, selection
    EXPECT_EQ(shown(), (std::vector<std::string> {"a1.jpg", "a2.jpg", "a3.jpg", "b1.jpg", "b2.jpg"}));
    EXPECT_EQ(recorder_.received[0][BrowsingSelectionFoldersSelectionChanged][kOldSelectedFolders].size(), 0u);

    // The same folders again: nothing at all.
    selection_->setSelectedFolders({a_, b_});
    // Differing only by duplicates and invalid folders: nothing, and observation goes on.
    Ref<FileSystemItemMO> gone = folder("gone", {});
    gone->setValid(false);
    selection_->setSelectedFolders({a_, gone, b_, a_});
    waitForTick();
    EXPECT_EQ(recorder_.received.size(), 1u);
    Ref<FileSystemItemMO> a1 = selection_->foldersObjectAtIndex(0);
    selection_->notifyFSItemThumbnailChanged(a1.get()); // still observed: goes out at the next tick
    database_->notifyFSItemChanged(a1.get(), false);
    ASSERT_TRUE(spinUntil([&] { return recorder_.received.size() == 2; }, 5000));
    EXPECT_TRUE(recorder_.received[1][FSItemChangeNotification].contains(a1->permanentObjectID().uriRepresentation()));
    EXPECT_EQ(recorder_.received[1][kObjectsChangesBitmap].toInt64(), 0);

    // A file change in a folder that is not selected leaves no entry.
    Ref<FileSystemItemMO> other = folder("other", {"o.jpg"});
    selection_->notifyFSItemChanged(other->childAtIndex(0).get(), false);
    EXPECT_EQ(selection_->notificationCache().size(), 0u);
}

TEST_F(BrowsingSelectionTest, SelectedIndexes)
{
    selection_->setSelectedFolders({a_, b_});
    recorder_.received.clear();

    // {0, 2} shown as selected, then {1} and {1, 3} before a tick: one notification, bitmap 1,
    // old {0, 2}.
    selection_->setSelectedObjectsIndexes(IndexSet {0, 2});
    ASSERT_EQ(recorder_.received.size(), 1u);
    recorder_.received.clear();
    EXPECT_FALSE(selection_->setSelectedObjectsIndexesWithSendNotification(IndexSet {0, 2}, false));
    ASSERT_TRUE(selection_->setSelectedObjectsIndexesWithSendNotification(IndexSet {1, 3}, false));
    ASSERT_TRUE(selection_->setSelectedObjectsIndexesWithSendNotification(IndexSet {1}, false));
    EXPECT_TRUE(recorder_.received.empty());
    ASSERT_TRUE(spinUntil([&] { return !recorder_.received.empty(); }, 5000));
    ASSERT_EQ(recorder_.received.size(), 1u);
    const Value& sent = recorder_.received[0];
    EXPECT_EQ(sent[kObjectsChangesBitmap].toInt64(), 1);
    EXPECT_EQ(indexSetOf(sent[BrowsingSelectionObjectsSelectionChanged][kOldSelectedObjectsIndexes]), (IndexSet {0, 2}));
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a2.jpg"}));

    struct Case {
        IndexSet set;
        unsigned count;
        std::vector<std::string> items;
    } cases[] = {
        {IndexSet {0xFFFFFFFFu}, 0, {}},
        {IndexSet {0xFFFFFFFFu, 1}, 2, {"a2.jpg"}},
        {IndexSet {4, 5, 90}, 3, {"b2.jpg"}},
        {IndexSet {}, 0, {}},
    };
    for (const Case& c : cases) {
        selection_->setSelectedObjectsIndexes(c.set);
        EXPECT_EQ(selection_->selectedObjectsCount(), c.count) << c.set.description();
        EXPECT_EQ(names(selection_->selectedItems()), c.items) << c.set.description();
    }
    EXPECT_EQ(names(selection_->foldersObjectsAtIndexes(IndexSet {1, 4, 5, 7000})),
              (std::vector<std::string> {"a2.jpg", "b2.jpg"}));
    EXPECT_EQ(selection_->foldersObjectAtIndex(5), nullptr);
    EXPECT_THROW(selection_->selectedFolderAtIndex(2), Exception);
    EXPECT_EQ(selection_->selectedFolderAtIndex(1), b_);
}

TEST_F(BrowsingSelectionTest, RebuildKeepsSelectionInOneForwardPass)
{
    selection_->setSelectedFolders({a_});
    // a1 a2 a3: select a2 and a3.
    selection_->setSelectedObjectsIndexes(IndexSet {1, 2});
    recorder_.received.clear();

    // Two files inserted before a2: a2 and a3 stay selected at their new places.
    pictureItem(a_, "a0.jpg");
    pictureItem(a_, "a1b.jpg");
    database_->notifyFSItemChanged(a_.get(), true);
    ASSERT_TRUE(spinUntil([&] { return !recorder_.received.empty(); }, 5000));
    EXPECT_EQ(shown(), (std::vector<std::string> {"a0.jpg", "a1.jpg", "a1b.jpg", "a2.jpg", "a3.jpg"}));
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a2.jpg", "a3.jpg"}));
    const Value& sent = recorder_.received[0];
    EXPECT_EQ(sent[kObjectsChangesBitmap].toInt64(), 3);
    EXPECT_EQ(sent[BrowsingSelectionObjectsListChanged][kOldFoldersObjects].size(), 3u);
    EXPECT_EQ(indexSetOf(sent[BrowsingSelectionObjectsSelectionChanged][kOldSelectedObjectsIndexes]), (IndexSet {1, 2}));

    // a3 renamed so that it sorts before a2: a2 keeps its selection, a3 loses it.
    Ref<FileSystemItemMO> a3 = selection_->foldersObjectAtIndex(4);
    database_->renameItem(a3.get(), "a00.jpg");
    selection_->updateFoldersObjects(true);
    EXPECT_EQ(shown(), (std::vector<std::string> {"a0.jpg", "a00.jpg", "a1.jpg", "a1b.jpg", "a2.jpg"}));
    EXPECT_EQ(selection_->selectedObjectsIndexes(), (IndexSet {4}));
}

TEST_F(BrowsingSelectionTest, AListingsResultsRebuildTheListOncePerNotice)
{
    selection_->setSelectedFolders({a_, b_});
    recorder_.received.clear();

    // A listing's results, each telling that a's children changed, then a change of b's own.
    for (int i = 0; i < 50; ++i) {
        pictureItem(a_, "n" + std::to_string(i) + ".jpg");
        selection_->notifyFSItemChanged(a_.get(), true);
    }
    selection_->notifyFSItemChanged(b_.get(), false);
    // Nothing rebuilt meanwhile: the views still draw the list they were built from.
    EXPECT_EQ(shown().size(), 5u);
    ASSERT_TRUE(spinUntil([&] { return !recorder_.received.empty(); }, 5000));
    ASSERT_EQ(recorder_.received.size(), 1u);
    const Value& sent = recorder_.received[0];
    EXPECT_EQ(sent[kObjectsChangesBitmap].toInt64() & 2, 2);
    EXPECT_EQ(sent[BrowsingSelectionObjectsListChanged][kOldFoldersObjects].size(), 5u);
    EXPECT_EQ(shown().size(), 55u);
}

TEST_F(BrowsingSelectionTest, ARenamedPictureIsSelectedAgainUnderItsNewName)
{
    selection_->setSelectedFolders({a_});
    selection_->setSelectedObjectsIndexes(IndexSet {1});
    // The catalogue lists the renamed file as a new item, the old one gone.
    selection_->selectPathWhenListed(a_->fullPath() + "/trip.jpg");
    Ref<FileSystemItemMO> a2 = selection_->foldersObjectAtIndex(1);
    a_->deleteChild(a2.get(), true);
    pictureItem(a_, "trip.jpg");
    database_->notifyFSItemChanged(a_.get(), true);
    ASSERT_TRUE(spinUntil([&] { return shown().size() == 3u && shown()[2] == "trip.jpg"; }, 5000));
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"trip.jpg"}));
    // Only once: listed again later, it is not selected again.
    selection_->setSelectedObjectsIndexes(IndexSet {0});
    selection_->updateFoldersObjects(true);
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a1.jpg"}));
}

TEST_F(BrowsingSelectionTest, ShowingFilesThatAreNotPicturesChangesTheListAtOnce)
{
    Ref<FileSystemItemMO> notes = a_->createChildWithName("a2 notes.txt", MediaDatabase::EntityFile, true);
    notes->setValid(true);
    a_->updateObjectInCache(notes.get());
    ItemsViewPreferences& preferences = ItemsViewPreferences::shared();
    ASSERT_FALSE(preferences.showUndecodableFiles());
    selection_->setSelectedFolders({a_});
    selection_->setSelectedObjectsIndexes(IndexSet {1, 2});
    recorder_.received.clear();

    preferences.setShowUndecodableFiles(true);
    EXPECT_EQ(shown(), (std::vector<std::string> {"a1.jpg", "a2 notes.txt", "a2.jpg", "a3.jpg"}));
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a2.jpg", "a3.jpg"}));
    ASSERT_FALSE(recorder_.received.empty());
    EXPECT_TRUE(recorder_.received.back().contains(BrowsingSelectionObjectsListChanged));
    preferences.setShowUndecodableFiles(false);
    EXPECT_EQ(shown(), (std::vector<std::string> {"a1.jpg", "a2.jpg", "a3.jpg"}));
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a2.jpg", "a3.jpg"}));
}

TEST_F(BrowsingSelectionTest, ShownIndexNamesTheShownItemUntilTheRebuild)
{
    selection_->setSelectedFolders({a_});
    selection_->setSelectedObjectsIndexes(IndexSet {2});
    Ref<FileSystemItemMO> a1 = selection_->foldersObjectAtIndex(0);
    Ref<FileSystemItemMO> a3 = selection_->foldersObjectAtIndex(2);
    recorder_.received.clear();

    // a1 is gone from the disk: the catalogue marks it invalid and tells its observers later.
    database_->updateItemDoesNotExist(a1.get());
    EXPECT_EQ(a_->childrenWithMask(int(selection_->objectsMask())).size(), 2u);
    EXPECT_EQ(selection_->foldersObjectAtIndex(2), a3);
    EXPECT_EQ(selection_->foldersObjectAtIndex(0), a1);
    EXPECT_FALSE(selection_->foldersObjectAtIndex(0)->isValid()); // held, reads invalid
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a3.jpg"}));

    ASSERT_TRUE(spinUntil([&] { return !recorder_.received.empty(); }, 5000));
    EXPECT_EQ(shown(), (std::vector<std::string> {"a2.jpg", "a3.jpg"}));
    EXPECT_EQ(names(selection_->selectedItems()), (std::vector<std::string> {"a3.jpg"}));
}

TEST_F(BrowsingSelectionTest, ClearedCatalogueAndRemovedFolders)
{
    Ref<FileSystemItemMO> inner = folder("inner", {"i.jpg"});
    inner->setParent(a_.get());
    selection_->setSelectedFolders({b_, inner});
    recorder_.received.clear();

    // A selected folder gone under its changed parent: dropped, bitmap 7.
    inner->setValid(false);
    selection_->notifyFSItemChanged(a_.get(), true);
    EXPECT_EQ(selection_->selectedFoldersCount(), 1u);
    const Value& entry = selection_->notificationCache()[FSFolderChangedNotification];
    EXPECT_EQ(entry[kObjectsChangesBitmap].toInt64(), 7);
    EXPECT_EQ(entry[kChangedItems][a_->permanentObjectID().uriRepresentation()][kObjectsChangesBitmap].toInt64(), 7);
    ASSERT_TRUE(spinUntil([&] { return !recorder_.received.empty(); }, 5000));
    EXPECT_EQ(shown(), (std::vector<std::string> {"b1.jpg", "b2.jpg"}));
    recorder_.received.clear();

    // The catalogue cleared: bitmap 7, nothing selected or shown (and nothing held).
    ScopedLogCapture log;
    database_->clearAll();
    ASSERT_TRUE(spinUntil([&] { return !recorder_.received.empty(); }, 5000));
    ASSERT_EQ(recorder_.received.size(), 1u);
    EXPECT_EQ(recorder_.received[0][kObjectsChangesBitmap].toInt64(), 7);
    EXPECT_TRUE(recorder_.received[0].contains(kClearDatabaseNotification));
    EXPECT_EQ(selection_->selectedFoldersCount(), 0u);
    EXPECT_EQ(selection_->foldersObjectsCount(), 0u);
    selection_->notifyFSItemChanged(nullptr, false);
    EXPECT_EQ(selection_->notificationCache().size(), 0u);
}

TEST_F(BrowsingSelectionTest, ChangeRecordedDuringAnAlertReachesObserversWithinOneTick)
{
    selection_->setSelectedFolders({a_});
    recorder_.received.clear();
    Ref<FileSystemItemMO> a2 = selection_->foldersObjectAtIndex(1);
    bool seenDuringAlert = false;
    ScopedResponder responder([&](const AlertRecord&) {
        selection_->notifyFSItemThumbnailChanged(a2.get());
        seenDuringAlert = spinUntil([&] { return !recorder_.received.empty(); }, 5000);
        return AlertResponse::pressButton(0);
    });
    auto alert = Alert::alertWithMessageText(std::string("Busy"), std::nullopt, std::nullopt, std::nullopt, "");
    alert->runModal();
    EXPECT_TRUE(seenDuringAlert);
    ASSERT_EQ(recorder_.received.size(), 1u);
    EXPECT_TRUE(recorder_.received[0][FSItemChangeNotification].contains(a2->permanentObjectID().uriRepresentation()));
}

// Records the type and path of every job its thread takes up (on the thread; read under the lock).
class RecordingFolderThread : public MDFolderUpdaterThread {
public:
    static Ref<MDFolderUpdaterThread> create() { return Ref<MDFolderUpdaterThread>::adopt(new RecordingFolderThread()); }
    static std::vector<std::string> taken()
    {
        std::lock_guard lock(mutex());
        return log();
    }

protected:
    void continueJobs() override
    {
        {
            const Value& request = jobsStack_.back()->request();
            std::lock_guard lock(mutex());
            log().push_back(request[updater::kType].toString() + " " + request[updater::kPath].toString());
        }
        MDFolderUpdaterThread::continueJobs();
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& log()
    {
        static std::vector<std::string> l;
        return l;
    }
};

// Fresh contents for the chosen folders: a never-listed folder is listed, a pending one is put
// at the front of its thread's queue ("PAF"), a listed one gets nothing.
TEST_F(BrowsingSelectionTest, ChosenFoldersAskForFreshContents)
{
    database_->stopJobs();
    MDFolderUpdaterThread::setMaker(&RecordingFolderThread::create);
    TemporaryFolder tree("vistel-browse");
    ::close(::open((tree.path() + "/p.jpg").c_str(), O_CREAT | O_WRONLY, 0644));
    Ref<FileSystemItemMO> item = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    for (const std::string& component : pathComponents(tree.path()))
        if (component != "/")
            item = database_->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
    item->setValid(true);
    ASSERT_EQ(item->refreshStatus(), kRefreshStatusNotVerified);
    const std::string path = item->fullPath();
    auto count = [&](const std::string& entry) {
        const auto taken = RecordingFolderThread::taken();
        return std::count(taken.begin(), taken.end(), entry);
    };

    // Never listed: listed through the folder thread, the file becomes a child.
    selection_->setSelectedFolders({item});
    ASSERT_TRUE(spinUntil([&] { return item->refreshStatus() == 0 && item->numberOfChildren() == 1; }, 20000));
    const auto listings = count(std::string(updater::kTypeFolder) + " " + path);
    EXPECT_GE(listings, 1);

    // Pending: a "PAF" request for its path reaches the folder thread.
    selection_->setSelectedFolders({});
    item->appendRefreshStatus(FileSystemItemMO::RefreshQueued);
    ASSERT_TRUE(item->hasPendingRefreshStatusRequests());
    selection_->setSelectedFolders({item});
    ASSERT_TRUE(spinUntil([&] { return count(std::string(updater::kTypePutAtFront) + " " + path) == 1; }, 20000));
    item->removeRefreshStatus(FileSystemItemMO::RefreshQueued);

    // Listed and nothing pending: nothing is asked for.
    selection_->setSelectedFolders({});
    selection_->setSelectedFolders({item});
    spinEvents(300);
    EXPECT_EQ(count(std::string(updater::kTypeFolder) + " " + path), listings);
    EXPECT_EQ(count(std::string(updater::kTypePutAtFront) + " " + path), 1);
    database_->stopJobs();
    MDFolderUpdaterThread::setMaker({});
}

} // namespace
} // namespace vistel::test
