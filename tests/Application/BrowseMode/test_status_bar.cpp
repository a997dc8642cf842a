// The status bar over real volumes: tmpfs mounts below a private /media in this process's own
// mount namespace, described as USB sticks through the volume manager's device seam (a frame
// holds its identity file from the start), free space from the seam. Also the JPEG size model,
// and the navigation history walking the entries of a stick that was unmounted.

#include <gtest/gtest.h>

#include <memory>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/WindowStatusBarPanel.h"
#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "HistoryTestSupport.h"
#include "MediaTestSupport.h"
#include "Operations/ImageConvertor.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "TestVolumes.h"

namespace vistel::test {
namespace {

// Before main(), while the process has one thread: the volumes' folders lie in a /media only
// this process sees.
const bool privateMedia = usePrivateMediaFolder();

const auto* seamEnvironment = ::testing::AddGlobalTestEnvironment(new TestVolumeSeam);

class StatusBarTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        // Its pictures exist in the catalogue only: none is asked for its stored thumbnail.
        Preferences::sharedPreferences();
        UserDefaults::standard().registerDefaults(
            Value::dictionary({{"ThumbnailStyle.GenerateHighQualityThumbnails", Value(false)}}));
        database_->volumes();
        JPEGSizeEstimate::shared().setSeed(20240611);
    }
    void TearDown() override
    {
        if (bar_)
            bar_->setDataSourceDelegate(nullptr);
        delete bar_;
        selection_ = nullptr;
        volumes_.reset();
        database_->stopJobs();
        CatalogueTest::TearDown();
    }

    // A USB stick with `freeBytes` free, a frame at 800 x 600 when `frame`. Its volume item.
    Ref<FileSystemVolumeMO> mountStick(const std::string& name, bool frame, std::uint64_t freeBytes)
    {
        volumes_->setFreeBytes(name, freeBytes);
        return volumes_->mount(name, TestVolumes::Kind::Stick, frame ? frameIdentity(name, 800, 600) : nullptr);
    }
    void setFreeBytes(const std::string& name, std::uint64_t bytes) { volumes_->setFreeBytes(name, bytes); }
    // A listed folder with files: "p…" pictures, "…/" folders (listed, not decodable).
    Ref<FileSystemItemMO> folder(FileSystemItemMO* parent, const std::string& name, std::vector<std::string> files)
    {
        Ref<FileSystemItemMO> item = database_->createChildOf(parent, name, MediaDatabase::EntityFolder);
        item->setValid(true);
        item->setRefreshStatus(0);
        for (const std::string& file : files) {
            const bool isFolder = file.back() == '/';
            Ref<FileSystemItemMO> child = item->createChildWithName(
                isFolder ? file.substr(0, file.size() - 1) : file,
                isFolder ? MediaDatabase::EntityFolder : MediaDatabase::EntityFile, true);
            child->setValid(true);
            child->setDecodable(file[0] == 'p');
            item->updateObjectInCache(child.get());
        }
        return item;
    }
    void showStatusOf(const ItemList& folders, IndexSet selected = {})
    {
        if (!selection_) {
            selection_ = BrowsingSelection::create();
            bar_ = WindowStatusBarPanel::statusBar();
            bar_->setDataSourceDelegate(selection_.get());
        }
        selection_->setSelectedFolders(folders);
        selection_->setSelectedObjectsIndexes(selected);
    }

    std::unique_ptr<TestVolumes> volumes_ = std::make_unique<TestVolumes>();
    Ref<BrowsingSelection> selection_;
    WindowStatusBarPanel* bar_ = nullptr;
};

TEST_F(StatusBarTest, TextsOverFixtureVolumes)
{
    const std::int64_t picture = JPEGSizeEstimate::shared().estimatedJPEGSizeForPixels(800, 600,
                                                                                      ImageConvertor::convertionQuality());
    ASSERT_GT(picture, 1000);
    Ref<FileSystemVolumeMO> frame = mountStick("FRAME", true, 10 * std::uint64_t(picture) + 5);
    if (!frame)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here"
                                  << (privateMedia ? "" : " (no private mount namespace)");
    Ref<FileSystemVolumeMO> stick = mountStick("STICK", false, 3ull << 30);
    ASSERT_TRUE(stick);
    ASSERT_EQ(frame->deviceType(), "USB");
    ASSERT_TRUE(frame->isDPFDevice());
    ASSERT_EQ(frame->pictureFrameResolution(), (ItemSize {800, 600}));
    ASSERT_FALSE(stick->isDPFDevice());

    Ref<FileSystemItemMO> onFrame = folder(frame.get(), "DCIM", {"Album/", "p1.jpg", "p2.jpg", "p3.jpg"});
    Ref<FileSystemItemMO> onStick = folder(stick.get(), "Photos", {"Trips/", "p1.jpg"});
    Ref<FileSystemItemMO> noVolume = folder(nullptr, "Loose", {"p1.jpg"});

    struct Case {
        const char* what;
        ItemList folders;
        IndexSet selected;
        std::uint64_t frameFree;
        std::string text;
    } cases[] = {
        {"no folder", {}, {}, 0, "0 folders selected"},
        {"two volumes", {onFrame, onStick}, {}, 0, "Total 6 items"},
        {"no volume item", {noVolume}, {}, 0, "---"},
        {"frame", {onFrame}, {}, 10 * std::uint64_t(picture) + 5, "Total 3 pictures, space for 10 more pictures available"},
        // Album (0) is selected too and is not counted.
        {"frame, selected", {onFrame}, IndexSet {0, 1, 3}, 10 * std::uint64_t(picture) + 5,
         "2 of 3 pictures selected, space for 10 more pictures available"},
        {"frame, no room", {onFrame}, {}, std::uint64_t(picture) - 1, "Total 3 pictures, space for 0 more pictures available"},
        {"stick", {onStick}, {}, 0, "2 items, 3.00 GB available"},
        {"stick, selected", {onStick}, IndexSet {1}, 0, "1 of 2 selected, 3.00 GB available"},
    };
    for (const Case& c : cases) {
        if (c.frameFree)
            setFreeBytes("FRAME", c.frameFree);
        showStatusOf(c.folders, c.selected);
        bar_->updateText(); // free space is read as the text is made
        EXPECT_EQ(bar_->text(), c.text) << c.what;
    }
}

TEST_F(StatusBarTest, TheTextFollowsTheSelectionAndReloadsOfItsFolders)
{
    Ref<FileSystemVolumeMO> stick = mountStick("STICK", false, 1ull << 20);
    if (!stick)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    Ref<FileSystemItemMO> photos = folder(stick.get(), "Photos", {"p1.jpg", "p2.jpg"});
    showStatusOf({photos});
    EXPECT_EQ(bar_->text(), "2 items, 1.0 MB available");
    selection_->setSelectedObjectsIndexes(IndexSet {0, 1});
    EXPECT_EQ(bar_->text(), "2 of 2 selected, 1.0 MB available");

    // A new file in the folder: the catalogue's reload reaches the bar.
    pictureItem(photos, "p3.jpg");
    setFreeBytes("STICK", 2ull << 20);
    database_->notifyFSItemChanged(photos.get(), true);
    ASSERT_TRUE(spinUntil([&] { return bar_->text().find("of 3 selected, 2.0 MB") != std::string::npos; }, 5000))
        << bar_->text();

    // Another source replaces the first one, which is no longer followed.
    Ref<BrowsingSelection> other = BrowsingSelection::create();
    bar_->setDataSourceDelegate(other.get());
    EXPECT_EQ(bar_->text(), "0 folders selected");
    selection_->setSelectedFolders({});
    selection_->setSelectedFolders({photos});
    EXPECT_EQ(bar_->text(), "0 folders selected");
}

TEST(JPEGSizeEstimate, NoiseIsEncodedOncePerQualityAndAFixedSeedGivesTheSamePair)
{
    JPEGSizeEstimate& estimate = JPEGSizeEstimate::shared();
    estimate.setSeed(7);
    const int before = estimate.encodingCount();
    const std::int64_t size = estimate.estimatedJPEGSizeForPixels(1024, 768, 0.95f);
    EXPECT_EQ(estimate.encodingCount(), before + 2);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(estimate.estimatedJPEGSizeForPixels(1024, 768, 0.95f), size);
    EXPECT_EQ(estimate.encodingCount(), before + 2);
    const std::int64_t a = estimate.fixedOverhead(), b = estimate.bytesPer4096Pixels();
    // Noise hardly compresses: a 64 x 64 block costs about 3 bytes a pixel at quality 95.
    EXPECT_GT(b, 4096);
    EXPECT_GT(size, 192 * b);

    // Another quality is fitted anew; a lower one gives smaller pictures.
    EXPECT_LT(estimate.estimatedJPEGSizeForPixels(1024, 768, 0.5f), size);
    EXPECT_EQ(estimate.encodingCount(), before + 4);

    // The same seed again: the same pictures, the same pair.
    estimate.setSeed(7);
    EXPECT_EQ(estimate.estimatedJPEGSizeForPixels(1024, 768, 0.95f), size);
    EXPECT_EQ(estimate.fixedOverhead(), a);
    EXPECT_EQ(estimate.bytesPer4096Pixels(), b);
    EXPECT_EQ(estimate.encodingCount(), before + 6);
}

TEST(JPEGSizeEstimate, RoomIsZeroUnlessThePictureSizeIsAtLeastOneByte)
{
    struct Case {
        std::uint64_t freeBytes;
        std::int64_t pictureSize;
        std::uint64_t room;
    } cases[] = {
        {1000, 0, 0}, {1000, -50, 0}, {1000, 1, 1000}, {1000, 300, 3}, {299, 300, 0}, {~0ull, 1, ~0ull},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowStatusBarPanel::roomForPictures(c.freeBytes, c.pictureSize), c.room)
            << c.freeBytes << " / " << c.pictureSize;
}

TEST_F(StatusBarTest, WalkingTheHistoryPastAnUnmountedStick)
{
    Ref<FileSystemVolumeMO> stick = mountStick("STICK", false, 1ull << 20);
    if (!stick)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    Ref<FileSystemItemMO> root = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    Ref<FileSystemItemMO> home = folder(root.get(), "home", {});
    Ref<FileSystemItemMO> photos = folder(stick.get(), "Photos", {"p1.jpg"});
    Ref<FileSystemItemMO> trip = folder(photos.get(), "Trip", {"p2.jpg"});

    // The sidebar shows the stick's folders while it is mounted.
    FakeSidebar sidebar;
    for (const Ref<FileSystemItemMO>& item : {home, photos, trip})
        sidebar.rows.push_back(item);
    sidebar.parents[trip.get()] = photos;
    NotificationCenter::defaultCenter().addObserver(
        &sidebar,
        [&](const Notification&) {
            std::erase_if(sidebar.rows, [&](const Ref<Object>& row) {
                auto* item = dynamic_cast<FileSystemItemMO*>(row.get());
                return item && item->volumeItem() == stick.get();
            });
            sidebar.selected.clear();
        },
        "UnmountMedia");
    Ref<BrowserPanelHistory> history = BrowserPanelHistory::create(&sidebar);
    sidebar.selectItems({photos});
    sidebar.selectItems({trip});
    sidebar.selectItems({home});
    ASSERT_EQ(history->historyArray().size(), 3u);

    photos = nullptr; // only the history holds the stick's items now
    trip = nullptr;
    ASSERT_TRUE(volumes_->unmount("STICK"));
    sidebar.selectItems({home});
    database_->saveChanges();

    // Back and forth over the gone entries: nothing is found, nothing is selected, no crash.
    for (int round = 0; round < 2; ++round) {
        while (history->canNavigatePrevious())
            history->navigatePrevious();
        EXPECT_TRUE(sidebar.selected.size() == 1 && sidebar.rows[std::size_t(sidebar.selected[0])] == home);
        EXPECT_EQ(history->upFolderName(), "");
        while (history->canNavigateNext())
            history->navigateNext();
    }
    EXPECT_EQ(history->currentItemIndex(), 2u);
    EXPECT_EQ(history->previousFolderName(), "Back to \"Trip\"");
    NotificationCenter::defaultCenter().removeObserver(&sidebar);
}

} // namespace
} // namespace vistel::test
