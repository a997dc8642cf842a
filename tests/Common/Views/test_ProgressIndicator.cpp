// The progress mark as it spins for a view: golden pictures of the mark, the items in progress,
// the 0.1 s ticks with their mark-only redraws, the recheck after a second, and the quiet after
// the last item.
//
// Golden pictures live in tests/Common/Views/data; VISTEL_WRITE_GOLDEN=1 writes them anew.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cstdlib>
#include <map>
#include <set>

#include "../Alert/AlertTestSupport.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Common/Views/ZOVProgressIndicator.h"

using namespace vistel;
using vistel::test::spinEvents;
using vistel::test::spinUntil;

namespace {

QImage markImage(const ZOVProgressIndicator& indicator, int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    indicator.drawInteriorInFrame(painter, QRectF(0, 0, side, side), nullptr);
    return image;
}

// The largest difference of a colour channel between two pictures of one size.
int largestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            largest = std::max({largest, std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                                std::abs(p.blue() - q.blue()), std::abs(p.alpha() - q.alpha())});
        }
    return largest;
}

TEST(ZOVProgressIndicator, TheMarkAt16And32PixelsMatchesItsGoldenPictures)
{
    ZOVProgressIndicator indicator;
    indicator.setProgressStep(1);
    for (int side : {16, 32}) {
        const QImage drawn = markImage(indicator, side);
        const QString golden = QString("%1/progress-mark-%2.png").arg(VISTEL_TEST_DATA_DIR).arg(side);
        if (std::getenv("VISTEL_WRITE_GOLDEN")) {
            ASSERT_TRUE(drawn.save(golden));
        }
        const QImage expected = QImage(golden).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(expected.size(), drawn.size()) << side;
        // Antialiasing may differ by a few levels between renderers, never by a spoke.
        EXPECT_LE(largestDifference(drawn, expected), 8) << side;
    }
}

// A host that records what the indicator asks of it; items are in progress while listed in
// `busy`, and have a mark area unless listed in `withoutMark`.
struct RecordingHost : ZOVProgressIndicatorHost {
    std::set<const Object*> busy;
    std::set<const Object*> waiting;
    std::set<const Object*> withoutMark;
    std::map<const Object*, QRectF> marks;
    std::vector<QRectF> markRedraws;
    std::vector<const Object*> cellUpdates;

    bool checkProgressForItem(Object* item) override { return busy.contains(item); }
    bool itemNeedsRefresh(Object* item) override { return waiting.contains(item); }
    std::optional<QRectF> progressRectForItem(Object* item) override
    {
        if (withoutMark.contains(item))
            return std::nullopt;
        return marks.emplace(item, QRectF(180, 20.0 * static_cast<double>(marks.size()), 20, 20)).first->second;
    }
    void setNeedsDisplayInProgressRect(const QRectF& rect) override { markRedraws.push_back(rect); }
    void updateItemCell(Object* item) override { cellUpdates.push_back(item); }
};

// Counts the ticks an indicator posts.
struct Ticks {
    explicit Ticks(const ZOVProgressIndicator& indicator, std::function<void()> each = {}) : each_(std::move(each))
    {
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this](const Notification&) {
                ++count;
                if (each_)
                    each_();
            },
            UpdateItemsCellNotification, &indicator);
    }
    ~Ticks() { NotificationCenter::defaultCenter().removeObserver(this); }
    int count = 0;

private:
    std::function<void()> each_;
};

TEST(ZOVProgressIndicator, OnlyItemsInProgressAreAddedAndEachOnce)
{
    RecordingHost host;
    const Ref<ZOVProgressIndicator> indicator = ZOVProgressIndicator::create(&host);
    const Ref<Object> idle = makeRef<Object>(), listing = makeRef<Object>(), waiting = makeRef<Object>();
    host.busy.insert(listing.get());
    host.waiting.insert(waiting.get());

    indicator->insertItemInProgress(idle);
    EXPECT_FALSE(indicator->isItemInProgress(idle.get()));
    EXPECT_FALSE(indicator->isTimerRunning());
    EXPECT_TRUE(host.cellUpdates.empty());

    indicator->insertItemInProgress(listing);
    indicator->insertItemInProgress(waiting);
    EXPECT_TRUE(indicator->isItemInProgress(listing.get()));
    EXPECT_TRUE(indicator->isItemInProgress(waiting.get()));
    EXPECT_TRUE(indicator->isTimerRunning());
    EXPECT_EQ(host.cellUpdates, (std::vector<const Object*> {listing.get(), waiting.get()})); // full updates as they start

    // Inserted again: no second record, the check moves a second ahead.
    ZOVProgressUpdateInfo* info = indicator->itemUpdateInfo(listing.get());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->item(), listing.get());
    const RunLoop::TimePoint before = info->updateDate();
    spinEvents(20);
    indicator->insertItemInProgress(listing);
    EXPECT_EQ(indicator->itemsInProgress().size(), 2u);
    EXPECT_GT(info->updateDate(), before);
    EXPECT_FALSE(info->isUpdateExpired());
    EXPECT_EQ(host.cellUpdates.size(), 2u);

    indicator->clear();
    EXPECT_TRUE(indicator->itemsInProgress().empty());
    EXPECT_FALSE(indicator->isTimerRunning());
    EXPECT_EQ(indicator->progressStep(), 0u);
}

TEST(ZOVProgressIndicator, TicksRedrawOnlyTheMarksAndTwelveOfThemBringThePatternBack)
{
    RecordingHost host;
    const Ref<ZOVProgressIndicator> indicator = ZOVProgressIndicator::create(&host);
    const Ref<Object> folder = makeRef<Object>(), unmarked = makeRef<Object>();
    host.busy = {folder.get(), unmarked.get()};
    host.withoutMark.insert(unmarked.get());

    std::vector<unsigned> phases;
    std::vector<QImage> pictures;
    Ticks ticks(*indicator, [&] {
        phases.push_back(indicator->progressStep());
        pictures.push_back(markImage(*indicator, 16));
    });
    QElapsedTimer clock;
    clock.start();
    indicator->insertItemInProgress(folder);
    indicator->insertItemInProgress(unmarked);
    host.cellUpdates.clear();
    ASSERT_TRUE(spinUntil([&] { return ticks.count >= 13; }, 10000));
    // About ten a second (a loaded machine may be slower, never faster).
    EXPECT_GE(clock.elapsed(), 1200);

    for (std::size_t i = 0; i < 13; ++i)
        EXPECT_EQ(phases[i], i % 12 + 1);
    EXPECT_EQ(largestDifference(pictures[0], pictures[12]), 0);
    EXPECT_GT(largestDifference(pictures[0], pictures[1]), 100);

    // Each tick redrew the mark of the marked item and nothing else of it; the item whose cell
    // has no mark area had its whole cell redrawn.
    EXPECT_GE(host.markRedraws.size(), 13u);
    for (const QRectF& rect : host.markRedraws)
        EXPECT_EQ(rect, host.marks.at(folder.get()));
    for (const Object* item : host.cellUpdates)
        EXPECT_EQ(item, unmarked.get());
    EXPECT_GE(host.cellUpdates.size(), 13u);
    indicator->clear();
}

TEST(ZOVProgressIndicator, AFinishedItemLosesItsMarkAfterItsNextCheckAndThenTheTicksStop)
{
    RecordingHost host;
    const Ref<ZOVProgressIndicator> indicator = ZOVProgressIndicator::create(&host);
    const Ref<Object> first = makeRef<Object>(), second = makeRef<Object>();
    host.busy = {first.get(), second.get()};
    Ticks ticks(*indicator);
    // Started before the items go in: on a loaded machine the test may be held up between
    // the insertion (the item's last check) and its next line.
    QElapsedTimer clock;
    clock.start();
    indicator->insertItemInProgress(first);
    indicator->insertItemInProgress(second);
    const RunLoop::TimePoint secondFirstCheck = indicator->itemUpdateInfo(second.get())->updateDate();

    // Finished at once, but not asked again before a second has passed since its last check.
    host.busy.erase(first.get());
    ASSERT_TRUE(spinUntil([&] { return !indicator->isItemInProgress(first.get()); }, 10000));
    EXPECT_GE(clock.elapsed(), 950);
    EXPECT_TRUE(indicator->isTimerRunning());
    EXPECT_EQ(host.cellUpdates.back(), first.get()); // its whole cell redrawn, without the mark

    // The second one is still listing after its check: kept, its next check a second later
    // (compared by time points: a loaded machine may take a while to get here).
    ASSERT_TRUE(indicator->isItemInProgress(second.get()));
    EXPECT_TRUE(spinUntil([&] {
        return indicator->itemUpdateInfo(second.get())->updateDate() - secondFirstCheck >= std::chrono::milliseconds(950);
    }, 10000));
    ASSERT_TRUE(indicator->isItemInProgress(second.get()));
    host.busy.clear();
    ASSERT_TRUE(spinUntil([&] { return indicator->itemsInProgress().empty(); }, 10000));
    EXPECT_FALSE(indicator->isTimerRunning());
    EXPECT_EQ(indicator->progressStep(), 0u);
    EXPECT_EQ(host.cellUpdates.back(), second.get());

    // The last item ended: no further tick.
    const int ticksAtEnd = ticks.count;
    const std::size_t redrawsAtEnd = host.markRedraws.size();
    spinEvents(400);
    EXPECT_EQ(ticks.count, ticksAtEnd);
    EXPECT_EQ(host.markRedraws.size(), redrawsAtEnd);
}

TEST(ZOVProgressIndicator, AnOutlinesMarkAreaIsTheProgressRectOfItsSourceListCell)
{
    struct Rows : OutlineViewDataSource, OutlineViewDelegate {
        std::vector<Ref<Object>> items {makeRef<Object>(), makeRef<Object>()};
        std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override { return item ? 0 : 2; }
        std::optional<Ref<Object>> child(OutlineView&, long index, Object*) override { return items[static_cast<std::size_t>(index)]; }
        std::optional<Value> objectValue(OutlineView&, TableColumn*, Object*) override { return Value("Folder"); }
        bool willDisplayCell(OutlineView&, Cell& cell, TableColumn*, Object* item) override
        {
            static_cast<ImageAndTextCell&>(cell).setDrawProgress(item == items[1].get());
            return true;
        }
    } rows;
    OutlineView outline;
    auto column = std::make_unique<TableColumn>("tree");
    column->setWidth(200);
    column->setDataCell(std::make_unique<ImageAndTextCell>());
    outline.addTableColumn(std::move(column));
    outline.setDataSource(&rows);
    outline.setDelegate(&rows);
    outline.setRowHeight(20);
    outline.resize(240, 100);
    outline.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&outline));

    EXPECT_FALSE(ZOVProgressIndicator::progressMarkRectOfItem(outline, rows.items[0].get())); // draws no progress
    const Ref<Object> stranger = makeRef<Object>();
    EXPECT_FALSE(ZOVProgressIndicator::progressMarkRectOfItem(outline, stranger.get())); // no row
    const std::optional<QRectF> mark = ZOVProgressIndicator::progressMarkRectOfItem(outline, rows.items[1].get());
    ASSERT_TRUE(mark);
    ImageAndTextCell cell;
    cell.setDrawProgress(true);
    EXPECT_EQ(*mark, cell.progressRectForBounds(QRectF(outline.frameOfCellAtColumn(0, 1))));
    EXPECT_EQ(mark->height(), 20);
    outline.setDataSource(nullptr);
    outline.setDelegate(nullptr);
}

} // namespace
