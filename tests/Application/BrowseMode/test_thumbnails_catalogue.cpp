// The thumbnail grid over the real catalogue and its updater threads: pictures stored turned
// or mirrored show upright, scrolling never decodes on the main thread, the cells on screen
// get their thumbnails first, and a shown folder gets every stored thumbnail without scrolling.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include <QBuffer>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/DecodePool.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "ExifFixtures.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/FilePaths.h"
#include "ThumbnailsViewTestSupport.h"

namespace vistel::test {
namespace {

std::vector<std::uint8_t> jpegBytes(const QImage& image, int quality = 92)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", quality);
    return {bytes.begin(), bytes.end()};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The orientation whose display transform undoes orientation `k`'s.
std::uint32_t inverseOrientation(std::uint32_t k)
{
    return k == 6 ? 8 : k == 8 ? 6 : k;
}

// A JPEG whose pixels are `upright` stored for orientation `k`, with the tag, and with an EXIF
// thumbnail (stored the same way) when asked.
std::vector<std::uint8_t> orientedJpeg(const QImage& upright, std::uint32_t k, bool withThumbnail)
{
    const QImage stored = RIReperesentation::uprightImage(upright, inverseOrientation(k));
    std::vector<std::vector<TiffField>> directories {{TiffField {0x0112, 3, {k}, {}, {}}}};
    std::vector<std::vector<std::uint8_t>> blobs;
    if (withThumbnail) {
        const std::vector<std::uint8_t> thumbnail = jpegBytes(stored.scaled(stored.size() / 2), 90);
        directories.push_back({TiffField {0x0103, 3, {6}, {}, {}}, TiffField {0x0201, 4, {}, {}, {0}},
                               TiffField {0x0202, 4, {std::uint32_t(thumbnail.size())}, {}, {}}});
        blobs.push_back(thumbnail);
    }
    const std::vector<std::uint8_t> tiff = tiffBytes(true, directories, blobs);
    return withApp1(jpegBytes(stored), kExifHeader, tiff);
}

enum class Quarter { Red, Green, Blue, Yellow, Other };

Quarter quarterOf(QColor c)
{
    const auto high = [](int v) { return v > 170; };
    const auto low = [](int v) { return v < 90; };
    if (high(c.red()) && low(c.green()) && low(c.blue()))
        return Quarter::Red;
    if (low(c.red()) && high(c.green()) && low(c.blue()))
        return Quarter::Green;
    if (low(c.red()) && low(c.green()) && high(c.blue()))
        return Quarter::Blue;
    if (high(c.red()) && high(c.green()) && low(c.blue()))
        return Quarter::Yellow;
    return Quarter::Other;
}

class ThumbnailsCatalogueTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogueForUpdates();
        tree_ = std::make_unique<TemporaryFolder>("vistel-grid-pictures");
        Ref<FileSystemItemMO> item = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        for (const std::string& component : pathComponents(tree_->path()))
            if (component != "/")
                item = database_->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
        folder_ = item;
    }
    void TearDown() override
    {
        grid_.reset();
        area_.reset();
        source_.items.clear();
        database_->stopJobs();
        folder_ = nullptr;
        CatalogueTest::TearDown();
    }
    void listFolder()
    {
        folder_->setRefreshStatus(kRefreshStatusNotVerified);
        folder_->enqueueRefresh();
        ASSERT_TRUE(spinUntil([&] { return folder_->refreshStatus() == 0; }, 20000));
        for (const auto& child : folder_->childrenWithMask(kMaskAll & ~kMaskInvalid & ~kMaskFolders))
            source_.items.push_back(child);
    }
    std::string path(const std::string& name) const { return *tree_ / name; }

    std::unique_ptr<TemporaryFolder> tree_;
    Ref<FileSystemItemMO> folder_;
    ListDataSource source_;
    std::unique_ptr<QScrollArea> area_;
    std::unique_ptr<ThumbnailsView> grid_;
};

TEST_F(ThumbnailsCatalogueTest, EveryOrientationShowsUpright)
{
    const QImage upright = thumbnailQuadrants(320, 240);
    for (std::uint32_t k = 1; k <= 8; ++k) {
        const QImage back = RIReperesentation::uprightImage(RIReperesentation::uprightImage(upright, inverseOrientation(k)), k);
        ASSERT_EQ(quarterOf(back.pixelColor(80, 60)), Quarter::Red) << "fixture for " << k;
        ASSERT_EQ(quarterOf(back.pixelColor(240, 60)), Quarter::Green) << "fixture for " << k;
        ASSERT_EQ(quarterOf(back.pixelColor(80, 180)), Quarter::Blue) << "fixture for " << k;
        writeFile(path("o" + std::to_string(k) + ".jpg"), orientedJpeg(upright, k, false));
        writeFile(path("o" + std::to_string(k) + "t.jpg"), orientedJpeg(upright, k, true));
    }
    listFolder();
    ASSERT_EQ(source_.items.size(), 16u);
    grid_ = std::make_unique<ThumbnailsView>();
    grid_->setShowTagged(false);
    grid_->resize(1100, 800);
    grid_->setDataSource(&source_);
    grid_->show();
    for (float size : {100.0f, 300.0f}) {
        SCOPED_TRACE(size);
        grid_->setItemSize(size);
        grid_->updateLayoutAndFrame();
        // Drawing asks for what each cell lacks; wait until every cell holds a thumbnail that
        // fits its size and nothing is pending any more.
        auto settled = [&] {
            grid_->grab();
            for (const auto& item : source_.items) {
                if (item->hasPendingRefreshStatusRequests() || !item->hasCachedThumbnailImage())
                    return false;
                const QSizeF held = item->thumbnailImage()->size();
                if (size > 200 && std::max(held.width(), held.height()) < size - 1)
                    return false;
            }
            return true;
        };
        ASSERT_TRUE(spinUntil(settled, 60000));
        spinUntil([&] { return grid_->isDoneItemsFastUpdating(); }, 3000);
        const QImage shot = grid_->grab().toImage();
        if (const char* keep = std::getenv("VISTEL_KEEP_SCREENSHOTS"))
            shot.save(QString::fromUtf8(keep) + QString("/orientation-%1.png").arg(int(size)));
        for (std::uint64_t i = 0; i < source_.items.size(); ++i) {
            const QRectF t = grid_->itemRectForIndex(i);
            ASSERT_FALSE(t.isEmpty());
            const auto probe = [&](double fx, double fy) {
                return quarterOf(shot.pixelColor(int(t.x() + t.width() * fx), int(t.y() + t.height() * fy)));
            };
            EXPECT_EQ(probe(0.25, 0.25), Quarter::Red) << source_.items[i]->name();
            EXPECT_EQ(probe(0.75, 0.25), Quarter::Green) << source_.items[i]->name();
            EXPECT_EQ(probe(0.25, 0.75), Quarter::Blue) << source_.items[i]->name();
            EXPECT_EQ(probe(0.75, 0.75), Quarter::Yellow) << source_.items[i]->name();
            EXPECT_NEAR(t.width() / t.height(), 4.0 / 3.0, 0.05) << source_.items[i]->name();
        }
    }
}

TEST_F(ThumbnailsCatalogueTest, ScrollingThroughStoredThumbnailsDecodesNothingOnTheMainThread)
{
    // 2,000 items whose large thumbnails are stored but were never decoded (a later run, or
    // images the object cache let go).
    const std::vector<std::uint8_t> stored = jpegBytes(thumbnailQuadrants(320, 240));
    const int count = 2000;
    for (int i = 0; i < count; ++i) {
        Ref<FileSystemItemMO> item = folder_->createChildWithName("p" + std::to_string(i) + ".jpg",
                                                                  MediaDatabase::EntityFile, true);
        item->setValid(true);
        item->setDecodable(true);
        item->setThumbnailLargeData(Value::Bytes(stored.begin(), stored.end()));
        item->setRefreshStatus(0);
        source_.items.push_back(item);
    }
    ASSERT_FALSE(source_.items.front()->hasCachedThumbnailImage());
    area_ = std::make_unique<QScrollArea>();
    ThumbnailsView* grid = gridInScrollArea(*area_, source_, 5, 3.5);
    area_->show();

    const std::uint64_t before = RIReperesentation::decodeCountOnCurrentThread();
    QScrollBar* bar = area_->verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += bar->pageStep() / 2) {
        bar->setValue(value);
        grid->repaint();
        spinEvents(2);
    }
    bar->setValue(bar->maximum());
    // The last cells get their thumbnails from the workers meanwhile.
    const IndexSet visible = grid->visibleItemsIndexSet();
    ASSERT_FALSE(visible.empty());
    EXPECT_TRUE(spinUntil(
        [&] {
            grid->repaint();
            bool all = true;
            visible.enumerate([&](std::uint64_t i) { return all = source_.items[i]->hasCachedThumbnailImage(); });
            return all;
        },
        30000));
    EXPECT_EQ(RIReperesentation::decodeCountOnCurrentThread(), before);
    grid->setDataSource(nullptr);
}


// Records the order in which items get their thumbnails, and redraws them as the control does.
class ArrivalRecorder : public IFSItemThumbnailChangedNotification {
public:
    void notifyFSItemThumbnailChanged(FileSystemItemMO* item) override
    {
        arrivals.push_back(item);
        if (grid && source)
            for (std::size_t i = 0; i < source->items.size(); ++i)
                if (source->items[i].get() == item)
                    grid->updateItemWithIndex(unsigned(i));
    }
    std::vector<FileSystemItemMO*> arrivals;
    ThumbnailsView* grid = nullptr;
    ListDataSource* source = nullptr;
};

TEST_F(ThumbnailsCatalogueTest, CellsOnScreenGetTheirThumbnailsFirst)
{
    // 40 large pictures without an EXIF thumbnail: one encoded, then copied.
    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(QColor(40, 120, 200));
    QPainter(&big).fillRect(0, 0, 2000, 1500, Qt::red);
    const std::vector<std::uint8_t> bytes = jpegBytes(big, 85);
    for (int i = 0; i < 40; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "big%02d.jpg", i);
        writeFile(path(name), bytes);
    }
    listFolder();
    ASSERT_EQ(source_.items.size(), 40u);
    // One decode worker, so that what was made before the jump is known exactly.
    DecodePool::setWorkerCount(1);
    ArrivalRecorder recorder;
    database_->addThumbnailUpdateObserver(&recorder, nullptr);

    // An active window showing 4 × 3 cells.
    area_ = std::make_unique<QScrollArea>();
    ThumbnailsView* grid = gridInScrollArea(*area_, source_, 4, 3);
    recorder.grid = grid;
    recorder.source = &source_;
    area_->show();
    area_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(area_.get()));
    grid->updateLayoutAndFrame();
    grid->repaint();
    const IndexSet first = grid->visibleItemsIndexSet();
    ASSERT_EQ(first.count(), 12u) << first.description();
    auto indexOf = [&](FileSystemItemMO* item) {
        for (std::size_t i = 0; i < source_.items.size(); ++i)
            if (source_.items[i].get() == item)
                return std::uint64_t(i);
        return std::uint64_t(NSNotFound);
    };

    // The first cells' thumbnails come in; meanwhile the user jumps to the end.
    ASSERT_TRUE(spinUntil([&] { return recorder.arrivals.size() >= 2; }, 60000));
    const std::size_t beforeJump = recorder.arrivals.size();
    QScrollBar* bar = area_->verticalScrollBar();
    bar->setValue(bar->maximum());
    grid->repaint();
    // Made before the new cells' requests were queued (the drawing above queued them): the
    // results waiting in the queue, the job running now and the result taken from the queue
    // for the main loop's next pass. Counted once the requests are in, not before the jump:
    // a busy machine may hold this thread long enough between the two for the file thread
    // to finish a job and start the next one of the first screen.
    const std::size_t madeBefore = MediaDatabase::resultsQueue()->count() + 2;
    const IndexSet last = grid->visibleItemsIndexSet();
    ASSERT_FALSE(last.intersection(first) == last);
    IndexSet lastOnly = last;
    for (const IndexSet::Range& range : first.ranges())
        lastOnly.removeRange(range.location, range.length);
    ASSERT_TRUE(spinUntil(
        [&] {
            IndexSet got;
            for (FileSystemItemMO* item : recorder.arrivals)
                if (lastOnly.containsIndex(indexOf(item)))
                    got.addIndex(indexOf(item));
            return got == lastOnly;
        },
        120000));
    database_->removeThumbnailUpdateObserver(&recorder, nullptr);

    // Before the jump only cells on screen arrived.
    for (std::size_t i = 0; i < beforeJump; ++i)
        EXPECT_TRUE(first.containsIndex(indexOf(recorder.arrivals[i]))) << i;
    // After it, the newly shown cells came next: others only from work done or running then.
    std::size_t end = beforeJump;
    for (std::size_t i = beforeJump; i < recorder.arrivals.size(); ++i)
        if (lastOnly.containsIndex(indexOf(recorder.arrivals[i])))
            end = i + 1;
    std::size_t others = 0;
    for (std::size_t i = beforeJump; i < end; ++i)
        others += !lastOnly.containsIndex(indexOf(recorder.arrivals[i]));
    EXPECT_LE(others, madeBefore);
    // Nothing off screen was ever asked for.
    for (FileSystemItemMO* item : recorder.arrivals)
        EXPECT_TRUE(first.containsIndex(indexOf(item)) || last.containsIndex(indexOf(item))) << item->name();
    grid->setDataSource(nullptr);
}

// Counts the decodes the workers take at background priority (stored thumbnails) and at any
// other.
class TakenDecodes {
public:
    TakenDecodes()
    {
        DecodePool::setTakeObserver([this](std::int64_t priority, std::uint64_t) {
            (priority::majorFromValue(priority) < 0 ? background : foreground)++;
        });
    }
    ~TakenDecodes() { DecodePool::setTakeObserver(nullptr); }
    std::atomic<int> background {0};
    std::atomic<int> foreground {0};
};

TEST_F(ThumbnailsCatalogueTest, AShownFolderGetsEveryStoredThumbnailWithoutScrolling)
{
    // 30 pictures, half with an EXIF thumbnail, and a text file that is no picture.
    const QImage picture = thumbnailQuadrants(640, 480);
    for (int i = 0; i < 30; ++i)
        writeFile(path("p" + std::to_string(i) + ".jpg"), orientedJpeg(picture, 1, i % 2 == 0));
    writeFile(path("notes.txt"), {'h', 'i'});
    TakenDecodes taken;
    Ref<BrowsingSelection> selection = BrowsingSelection::create();
    // Chosen in the sidebar, never drawn: the selection lists the folder and asks for the rest.
    folder_->setValid(true);
    selection->setSelectedFolders({folder_});
    auto stored = [&] { return committed("SELECT count(*) FROM FileThumbnailLarge WHERE length(imageData) > 0"); };
    ASSERT_TRUE(spinUntil([&] { return stored() == 30; }, 60000)) << stored();
    for (const auto& item : folder_->childrenWithMask(kMaskAll & ~kMaskInvalid))
        EXPECT_EQ(item->hasCachedThumbnailLargeData(), item->name() != "notes.txt") << item->name();
    // Each picture was decoded once, in the background.
    EXPECT_TRUE(spinUntil([&] { return selection->backgroundThumbnails().isIdle(); }, 2000));
    EXPECT_EQ(taken.background.load(), 30);
    EXPECT_EQ(taken.foreground.load(), 0);
    // Shown again after a listing of the same folders: nothing is asked twice.
    selection->updateFoldersObjects(true);
    spinEvents(200);
    EXPECT_EQ(taken.background.load(), 30);
}

TEST_F(ThumbnailsCatalogueTest, LeavingAFolderStopsItsBackgroundThumbnails)
{
    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(QColor(40, 120, 200));
    const std::vector<std::uint8_t> bytes = jpegBytes(big, 85);
    for (int i = 0; i < 40; ++i)
        writeFile(path("big" + std::to_string(i) + ".jpg"), bytes);
    // The folder the user goes to next: a long listing, and nothing in it to decode.
    std::filesystem::create_directory(path("notes"));
    for (int i = 0; i < 3000; ++i)
        writeFile(path("notes/n" + std::to_string(i) + ".txt"), {'n'});
    DecodePool::setWorkerCount(1);
    TakenDecodes taken;
    Ref<BrowsingSelection> selection = BrowsingSelection::create();
    folder_->setValid(true);
    selection->setSelectedFolders({folder_});
    ASSERT_TRUE(spinUntil([&] { return taken.background.load() > 0; }, 60000));
    // Left for a folder still to be listed: what was asked finishes, nothing more is asked,
    // also while the new folder's listing runs.
    const std::size_t asked = selection->backgroundThumbnails().askedCount();
    ASSERT_LE(asked, BackgroundThumbnails::window());
    Ref<FileSystemItemMO> notes = folder_->childWithName("notes");
    ASSERT_TRUE(notes);
    selection->setSelectedFolders({notes});
    ASSERT_TRUE(spinUntil([&] { return notes->refreshStatus() == 0; }, 60000));
    ASSERT_TRUE(spinUntil(
        [&] { return DecodePool::shared().queuedCount() + DecodePool::shared().runningCount() == 0 && MediaDatabase::resultsQueue()->count() == 0; },
        60000));
    spinEvents(200);
    EXPECT_EQ(std::size_t(taken.background.load()), asked);
    std::size_t withStored = 0;
    for (const auto& item : folder_->childrenWithMask(kMaskAll & ~kMaskInvalid))
        withStored += item->hasCachedThumbnailLargeData();
    EXPECT_EQ(withStored, asked);
}

} // namespace
} // namespace vistel::test
