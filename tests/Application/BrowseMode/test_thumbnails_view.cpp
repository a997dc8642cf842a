// The thumbnail grid over catalogue items in a temporary store: mouse (QTest), keys, drags,
// redraws, priority requests, the empty text and the four marks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include "Application/BrowseMode/ThumbnailDecorations.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "ThumbnailsViewTestSupport.h"

namespace vistel::test {
namespace {

class ThumbnailsViewTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        QFont::insertSubstitution(QStringLiteral("Lucida Grande"), QStringLiteral("DejaVu Sans"));
        openCatalogue();
        root_ = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        root_->setValid(true);
        folder_ = root_->createChildWithName("pictures", MediaDatabase::EntityFolder, true);
        folder_->setValid(true);
        folder_->setRefreshStatus(0);
        delegate_.source = &source_;
    }
    void TearDown() override
    {
        grid_.reset();
        source_.items.clear();
        database_->stopJobs();
        CatalogueTest::TearDown();
    }
    // A file item holding a decoded 100 × 75 thumbnail; nothing is asked of the updaters.
    Ref<FileSystemItemMO> file(const std::string& name, bool withThumbnail = true)
    {
        Ref<FileSystemItemMO> item = folder_->createChildWithName(name, MediaDatabase::EntityFile, true);
        item->setValid(true);
        item->setRefreshStatus(0);
        if (withThumbnail)
            item->setThumbnailImage(heldImage(thumbnailQuadrants(100, 75)));
        return item;
    }
    // `count` items in a grid four cells wide (cells of 128 points, names under them).
    ThumbnailsView& makeGrid(int count)
    {
        for (int i = 0; i < count; ++i)
            source_.items.push_back(file("img" + std::to_string(i) + ".jpg"));
        grid_ = std::make_unique<ThumbnailsView>();
        grid_->resize(512, 400);
        grid_->setDataSource(&source_);
        grid_->setUserActionsDelegate(&delegate_);
        grid_->show();
        EXPECT_EQ(grid_->columns(), 4u);
        return *grid_;
    }
    QPoint centreOf(std::uint64_t index) const { return grid_->itemRectForIndex(index).center().toPoint(); }
    void move(QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QMouseEvent event(QEvent::MouseMove, QPointF(to), grid_->mapToGlobal(QPointF(to)), Qt::NoButton,
                          Qt::LeftButton, modifiers);
        QApplication::sendEvent(grid_.get(), &event);
    }

    Ref<FileSystemItemMO> root_, folder_;
    ListDataSource source_;
    RecordingDelegate delegate_;
    std::unique_ptr<ThumbnailsView> grid_;
};

TEST_F(ThumbnailsViewTest, ClickTable)
{
    makeGrid(20);
    struct Case {
        const char* what;
        IndexSet before;
        std::uint64_t index;
        Qt::KeyboardModifiers modifiers;
        IndexSet after;
    };
    const Case cases[] = {
        {"shift reaches the highest selected", {5, 9}, 2, Qt::ShiftModifier, IndexSet::withRange(2, 8)},
        {"shift past the highest", {5, 9}, 12, Qt::ShiftModifier, IndexSet({5, 9, 10, 11, 12})},
        {"shift on nothing", {}, 7, Qt::ShiftModifier, IndexSet(7)},
        {"ctrl adds", {5, 9}, 7, Qt::ControlModifier, IndexSet({5, 7, 9})},
        {"ctrl removes", {5, 9}, 5, Qt::ControlModifier, IndexSet(9)},
        {"ctrl+shift toggles, no range", {5, 9}, 12, Qt::ControlModifier | Qt::ShiftModifier, IndexSet({5, 9, 12})},
        {"plain click on one of several selected selects it alone", {5, 9}, 9, Qt::NoModifier, IndexSet(9)},
        {"plain press elsewhere", {5, 9}, 3, Qt::NoModifier, IndexSet(3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        source_.selection = c.before;
        const int clicks = delegate_.clicks;
        QTest::mouseClick(grid_.get(), Qt::LeftButton, c.modifiers, centreOf(c.index));
        EXPECT_EQ(source_.selection, c.after) << source_.selection.description();
        EXPECT_EQ(grid_->clickedItem(), int(c.index));
        EXPECT_EQ(delegate_.clicks, clicks + 1);
    }
    EXPECT_EQ(delegate_.controlClicks, 0); // Ctrl+click never opens the menu

    // The press on a selected item keeps the whole selection: a drag from it carries all and
    // leaves all selected; only a release without a drag narrows it.
    source_.selection = IndexSet::withRange(0, 4);
    QTest::mousePress(grid_.get(), Qt::LeftButton, {}, centreOf(2));
    EXPECT_EQ(source_.selection, IndexSet::withRange(0, 4));
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, centreOf(2));
    EXPECT_EQ(source_.selection, IndexSet(2));
    source_.selection = IndexSet::withRange(0, 4);
    delegate_.processed.clear();
    QTest::mousePress(grid_.get(), Qt::LeftButton, {}, centreOf(2));
    move(centreOf(2) + QPoint(20, 0));
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, centreOf(2) + QPoint(20, 0));
    ASSERT_EQ(delegate_.processed.size(), 1u);
    EXPECT_EQ(delegate_.processed[0].second, IndexSet::withRange(0, 4));
    EXPECT_EQ(source_.selection, IndexSet::withRange(0, 4));

    // The name under a thumbnail belongs to the item; the spacing between cells does not.
    source_.selection = {};
    const ThumbnailTextRect name = grid_->textRectForItemRect(grid_->itemRectForIndex(6), grid_->gridRectForItemIndex(6), "img6.jpg");
    QTest::mouseClick(grid_.get(), Qt::LeftButton, {}, name.rect.center().toPoint());
    EXPECT_EQ(source_.selection, IndexSet(6));
    const QRectF cell = grid_->gridRectForItemIndex(6);
    QTest::mouseClick(grid_.get(), Qt::LeftButton, {}, QPoint(int(cell.x()) + 2, int(cell.y()) + 2));
    EXPECT_TRUE(source_.selection.empty());
    QTest::mouseClick(grid_.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(int(cell.x()) + 2, int(cell.y()) + 2));
    EXPECT_TRUE(source_.selection.empty());
}

TEST_F(ThumbnailsViewTest, DoubleClickAndKeysOpen)
{
    makeGrid(8);
    // What a double click delivers: press, release, the second press as a double click, release.
    QTest::mouseClick(grid_.get(), Qt::LeftButton, {}, centreOf(2));
    QTest::mouseDClick(grid_.get(), Qt::LeftButton, {}, centreOf(2));
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, centreOf(2));
    EXPECT_EQ(delegate_.clicks, 1);
    EXPECT_EQ(delegate_.doubleClicks, 1);
    EXPECT_EQ(source_.selection, IndexSet(2));
    QTest::keyClick(grid_.get(), Qt::Key_Return);
    QTest::keyClick(grid_.get(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(delegate_.doubleClicks, 3);
    QTest::keyClick(grid_.get(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(delegate_.doubleClicks, 3);
}

TEST_F(ThumbnailsViewTest, MotionBelowSixPointsNeitherDragsNorBands)
{
    makeGrid(20);
    const QPoint start = centreOf(1);
    for (int distance : {5, 6}) {
        SCOPED_TRACE(distance);
        delegate_.processed.clear();
        source_.selection = {};
        QTest::mousePress(grid_.get(), Qt::LeftButton, {}, start);
        move(start + QPoint(distance, 0));
        QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, start + QPoint(distance, 0));
        EXPECT_EQ(delegate_.processed.size(), distance == 6 ? 1u : 0u);
    }
    ASSERT_EQ(delegate_.processed.size(), 1u);
    EXPECT_EQ(delegate_.processed[0].first, "copyToDrag:");
    EXPECT_EQ(delegate_.processed[0].second, IndexSet(1));
    // The drag carries the file as a URI list, through the drag pasteboard.
    ASSERT_NE(grid_->lastDragMimeData(), nullptr);
    EXPECT_TRUE(grid_->lastDragMimeData()->hasFormat("text/uri-list"));
    EXPECT_NE(grid_->lastDragMimeData()->data("text/uri-list").indexOf("img1.jpg"), -1);

    // A band from the spacing: 5 points select nothing, a longer one adds what it meets.
    const QRectF cell = grid_->gridRectForItemIndex(5);
    const QPoint corner(int(cell.x()) + 2, int(cell.y()) + 2);
    for (QPoint to : {corner + QPoint(5, 5), corner + QPoint(170, 60)}) {
        source_.selection = {};
        QTest::mousePress(grid_.get(), Qt::LeftButton, {}, corner);
        move(to);
        QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, to);
    }
    EXPECT_EQ(source_.selection, IndexSet({5, 6}));
    // With Ctrl the band adds to what was selected.
    source_.selection = IndexSet(0);
    QTest::mousePress(grid_.get(), Qt::LeftButton, Qt::ControlModifier, corner);
    move(corner + QPoint(40, 60), Qt::ControlModifier);
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, Qt::ControlModifier, corner + QPoint(40, 60));
    EXPECT_EQ(source_.selection, IndexSet({0, 5}));
}

TEST_F(ThumbnailsViewTest, NoDragWithoutDragTypes)
{
    makeGrid(4);
    delegate_.dragTypes.clear();
    QTest::mousePress(grid_.get(), Qt::LeftButton, {}, centreOf(0));
    move(centreOf(0) + QPoint(20, 0));
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, centreOf(0) + QPoint(20, 0));
    EXPECT_TRUE(delegate_.processed.empty());
}

TEST_F(ThumbnailsViewTest, TagMarkTogglesWithoutTouchingTheSelection)
{
    makeGrid(4);
    source_.selection = IndexSet(0);
    const QRectF tag = TagThumbnailDecoration().drawRectFromItemRect(grid_->itemRectForIndex(2));
    for (const char* expected : {"1", "0"}) {
        const int changes = source_.selectionChanges;
        QTest::mouseClick(grid_.get(), Qt::LeftButton, {}, tag.center().toPoint());
        EXPECT_EQ(source_.items[2]->databaseTagged().toString(), expected);
        EXPECT_EQ(source_.selection, IndexSet(0));
        EXPECT_EQ(source_.selectionChanges, changes);
    }
    // No drag follows a press the mark took.
    QTest::mousePress(grid_.get(), Qt::LeftButton, {}, tag.center().toPoint());
    move(tag.center().toPoint() + QPoint(30, 0));
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, tag.center().toPoint() + QPoint(30, 0));
    EXPECT_TRUE(delegate_.processed.empty());
    // Folders have no tag mark.
    Ref<FileSystemItemMO> folder = folder_->createChildWithName("sub", MediaDatabase::EntityFolder, true);
    EXPECT_FALSE(TagThumbnailDecoration().isVisibleForItem(*folder));
}

TEST_F(ThumbnailsViewTest, RightClickAsksTheDelegateForItsMenu)
{
    makeGrid(6);
    delegate_.menu.addAction("Open");
    source_.selection = IndexSet(1);
    QTest::mouseClick(grid_.get(), Qt::RightButton, {}, centreOf(4));
    EXPECT_EQ(grid_->controlClickedItem(), 4);
    EXPECT_EQ(delegate_.controlClicks, 1);
    EXPECT_TRUE(delegate_.menu.isVisible());
    EXPECT_EQ(source_.selection, IndexSet(1)); // the control decides what the menu is for
    delegate_.menu.hide();
    // Past the last item the index is out of range and the delegate answers no menu.
    delegate_.answerMenu = false;
    const QRectF last = grid_->gridRectForItemIndex(7);
    QTest::mouseClick(grid_.get(), Qt::RightButton, {}, last.center().toPoint());
    EXPECT_EQ(grid_->controlClickedItem(), 7);
    EXPECT_EQ(delegate_.controlClicks, 2);
    EXPECT_FALSE(delegate_.menu.isVisible());
}

TEST_F(ThumbnailsViewTest, KeyboardTable)
{
    makeGrid(10); // 4 columns: rows 0-3, 4-7, 8-9
    struct Case {
        const char* action;
        IndexSet before;
        IndexSet after;
    };
    const Case cases[] = {
        {"moveDown:", IndexSet(9), IndexSet(9)},
        {"moveRight:", IndexSet(9), IndexSet(9)},
        {"moveUp:", IndexSet(9), IndexSet(5)},
        {"moveLeft:", IndexSet({2, 7}), IndexSet(1)},
        {"moveRight:", IndexSet({2, 7}), IndexSet(8)},
        {"moveLeft:", IndexSet(), IndexSet(9)},
        {"moveUp:", IndexSet(), IndexSet(9)},
        {"moveRight:", IndexSet(), IndexSet(0)},
        {"moveDown:", IndexSet(), IndexSet(0)},
        {"moveLeft:", IndexSet(0), IndexSet(0)},
        {"moveToEndOfLine:", IndexSet(9), IndexSet(9)},
        {"moveToBeginningOfLine:", IndexSet(9), IndexSet(8)},
        {"moveUpAndModifySelection:", IndexSet(6), IndexSet::withRange(2, 5)},
        {"moveDownAndModifySelection:", IndexSet(1), IndexSet::withRange(1, 5)},
        {"moveLeftAndModifySelection:", IndexSet({4, 6}), IndexSet({3, 4, 6})},
        {"moveToEndOfLineAndModifySelection:", IndexSet(5), IndexSet::withRange(5, 3)},
        {"moveToBeginningOfLineAndModifySelection:", IndexSet(6), IndexSet::withRange(4, 3)},
        {"moveToBeginningOfDocument:", IndexSet(6), IndexSet(std::uint64_t(0))},
        {"moveToEndOfDocument:", IndexSet(2), IndexSet(9)},
        {"moveToBeginningOfDocumentAndModifySelection:", IndexSet(3), IndexSet::withRange(0, 4)},
        {"moveToEndOfDocumentAndModifySelection:", IndexSet(7), IndexSet::withRange(7, 3)},
        {"scrollToEndOfDocument:", IndexSet(2), IndexSet(2)},
    };
    for (const Case& c : cases) {
        source_.selection = c.before;
        EXPECT_TRUE(grid_->performKeyAction(c.action));
        EXPECT_EQ(source_.selection, c.after) << c.action << " from " << c.before.description() << " gave "
                                              << source_.selection.description();
    }
    // Keys: Shift with a plain arrow extends; Shift+End reaches the last item.
    source_.selection = IndexSet(5);
    QTest::keyClick(grid_.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(source_.selection, IndexSet({5, 6}));
    QTest::keyClick(grid_.get(), Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(source_.selection, IndexSet::withRange(5, 5));
    QTest::keyClick(grid_.get(), Qt::Key_Home);
    EXPECT_EQ(source_.selection, IndexSet(std::uint64_t(0)));
    QTest::keyClick(grid_.get(), Qt::Key_PageDown);
    EXPECT_EQ(source_.selection, IndexSet(std::uint64_t(0)));

    // An empty grid stays empty.
    source_.items.clear();
    source_.selection = {};
    grid_->reloadData();
    for (const char* action : {"moveLeft:", "moveDown:", "moveToEndOfDocument:", "scrollToEndOfDocument:",
                               "moveToBeginningOfLine:"}) {
        grid_->performKeyAction(action);
        EXPECT_TRUE(source_.selection.empty()) << action;
    }
}

TEST_F(ThumbnailsViewTest, DragImages)
{
    makeGrid(3);
    auto isBadge = [](QColor c) { return c.red() > 200 && c.green() < 120 && c.blue() < 120 && c.alpha() > 150; };
    // Three items: a red badge at the picture's lower right, the picture half transparent.
    int shift = -1;
    const QImage three = grid_->dragImageForItem(0, 3, &shift);
    EXPECT_EQ(shift, 0);
    ASSERT_EQ(three.size(), QSize(100, 75));
    const int d = std::max(QFontMetrics([] {
                               QFont f(QStringLiteral("Lucida Grande"));
                               f.setPointSizeF(12);
                               return f;
                           }())
                               .height(),
                           1);
    const int diameter = d + 5;
    const QPoint badgeCentre(95 - diameter / 2, 75 - 5 - diameter / 2);
    const QColor inBadge = three.pixelColor(badgeCentre.x() + 4, badgeCentre.y() + 4);
    EXPECT_TRUE(isBadge(inBadge)) << inBadge.name(QColor::HexArgb).toStdString();
    EXPECT_FALSE(isBadge(three.pixelColor(badgeCentre.x(), 75 - 2)));   // below the circle
    EXPECT_FALSE(isBadge(three.pixelColor(96, badgeCentre.y())));       // right of it
    EXPECT_NEAR(three.pixelColor(10, 10).alpha(), 128, 3);              // the red quarter at 0.5
    // One item: no badge.
    const QImage one = grid_->dragImageForItem(0, 1);
    EXPECT_FALSE(isBadge(one.pixelColor(badgeCentre.x() + 4, badgeCentre.y() + 4)));
    EXPECT_EQ(one.pixelColor(90, 70).rgb(), QColor(Qt::yellow).rgb());
    // No image: an orange square of the item size.
    const QImage none = grid_->dragImageForItem(50, 1);
    ASSERT_EQ(none.size(), QSize(100, 100));
    const QColor orange = none.pixelColor(50, 50);
    EXPECT_EQ(orange.red(), 255);
    EXPECT_NEAR(orange.green(), 128, 2);
    EXPECT_EQ(orange.blue(), 0);
    // A tiny picture makes room for the badge: it moves right and the image grows upwards.
    grid_->setItemSize(12);
    const QImage small = grid_->dragImageForItem(0, 12, &shift);
    EXPECT_GT(shift, 0);
    EXPECT_GT(small.height(), 9);
}

TEST_F(ThumbnailsViewTest, RedrawsOnlyTheCellsAsked)
{
    makeGrid(12);
    QApplication::processEvents();
    grid_->updateItemWithIndexes(IndexSet({2, 7}));
    QApplication::processEvents();
    EXPECT_EQ(grid_->lastPaint().drawnItems, IndexSet({2, 7}));
    grid_->invalidateRectsForNewSelection(IndexSet({1, 2}), IndexSet({2, 9}));
    QApplication::processEvents();
    EXPECT_EQ(grid_->lastPaint().drawnItems, IndexSet({1, 9}));
}

TEST_F(ThumbnailsViewTest, VisibleItemsGetPrioritiesSelectedFirst)
{
    for (int i = 0; i < 40; ++i)
        source_.items.push_back(file("img" + std::to_string(i) + ".jpg"));
    source_.selection = IndexSet(6);
    QScrollArea area;
    ThumbnailsView* grid = gridInScrollArea(area, source_, 4, 3);
    area.show();
    area.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
    grid->repaint();
    const IndexSet visible = grid->visibleItemsIndexSet();
    EXPECT_EQ(visible, IndexSet::withRange(0, 12)) << visible.description();
    const std::int32_t n = 40;
    for (std::uint64_t index : visible.indexes()) {
        const std::int32_t expected = (n - std::int32_t(index)) + (index == 6 ? n : 0);
        EXPECT_EQ(source_.items[index]->refreshingPriority(), expected) << index;
    }
    EXPECT_EQ(source_.items[30]->refreshingPriority(), 0); // off screen: untouched
    grid->setDataSource(nullptr);
}

TEST_F(ThumbnailsViewTest, EmptyGridTellsWhyWhenDropsAreWelcome)
{
    grid_ = std::make_unique<ThumbnailsView>();
    grid_->resize(500, 300);
    grid_->setDataSource(&source_);
    const QColor background = grid_->grab().toImage().pixelColor(250, 95);
    grid_->setUserActionsDelegate(&delegate_);
    const QImage withText = grid_->grab().toImage();
    int lit = 0;
    for (int x = 0; x < 500; ++x)
        for (int y = 80; y < 110; ++y)
            lit += withText.pixelColor(x, y).lightness() > 150;
    EXPECT_GT(lit, 50);
    EXPECT_EQ(background.rgb(), QColor::fromRgbF(0.3f, 0.3f, 0.3f).rgb());
    delegate_.validates = false;
    EXPECT_EQ(grid_->grab().toImage().pixelColor(250, 95).rgb(), background.rgb());
}

TEST_F(ThumbnailsViewTest, DropTargetIsRingedInGrey)
{
    makeGrid(3);
    source_.highlight = IndexSet(1);
    const QImage shot = grid_->grab().toImage();
    // Between the slide's edge (2 points around the picture and name) and 2 + 3 points out.
    const QRectF thumb = grid_->itemRectForIndex(1);
    const QPoint ring(int(thumb.x()) - 4, int(thumb.center().y()));
    EXPECT_EQ(shot.pixelColor(ring).rgb(), QColor(Qt::gray).rgb());
    const QRectF other = grid_->itemRectForIndex(2);
    EXPECT_NE(shot.pixelColor(int(other.x()) - 4, int(other.center().y())).rgb(), QColor(Qt::gray).rgb());
}

TEST_F(ThumbnailsViewTest, BackgroundDecidesTheSoftFrame)
{
    ThumbnailsView grid;
    grid.setBackgroundColor(QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    grid.setBackgroundColor(QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    EXPECT_EQ(grid.shadowFrameColor(), QColor::fromRgbF(0, 0, 0, 0.5f));
    grid.setBackgroundColor(QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    EXPECT_EQ(grid.shadowFrameColor(), QColor::fromRgbF(1, 1, 1, 0.5f));
}

TEST_F(ThumbnailsViewTest, BindingsReachTheProperties)
{
    ThumbnailsView grid;
    grid.setBindingValue("itemSize", Value(160.4));
    EXPECT_EQ(grid.itemSize(), 160);
    EXPECT_EQ(grid.bindingValue("itemSize").toDouble(), 160);
    grid.setBindingValue("showRating", Value(false));
    EXPECT_FALSE(grid.showRating());
    int hiddenRatings = 0;
    for (const auto& decoration : grid.decorations())
        hiddenRatings += dynamic_cast<RartingThumbnailDecoration*>(decoration.get()) && decoration->isHidden();
    EXPECT_EQ(hiddenRatings, 1);
    EXPECT_FALSE(grid.bindingValue("showRating").toBool());
    EXPECT_TRUE(grid.bindingValue("showTagged").toBool());
    grid.setBindingValue("useShadowBorder", Value(true));
    EXPECT_TRUE(grid.useShadowBorder());
    EXPECT_FALSE(grid.isDoneItemsFastUpdating()); // a new size draws small until it settles
}

TEST_F(ThumbnailsViewTest, AllFourMarks)
{
    makeGrid(2);
    Ref<FileSystemItemMO> item = source_.items[0];
    item->setDatabaseTagged(Value("1"));
    item->setDatabaseRating(Value("3"));
    item->setLocked(true);
    Ref<FileSystemItemMOCategory> root = FileSystemItemMOCategory::rootCategory();
    ASSERT_GT(root->numberOfChildren(), 0);
    root->childAtIndex(0)->setToItem(item.get());
    source_.selection = IndexSet(1);
    grid_->setUseShadowBorder(true);
    const QImage shot = grid_->grab().toImage();
    if (const char* keep = std::getenv("VISTEL_KEEP_SCREENSHOTS"))
        shot.save(QString::fromUtf8(keep) + "/thumbnails-marks.png");
    const QRectF thumb = grid_->itemRectForIndex(0);
    auto differs = [&](const QRectF& mark, QColor under) {
        int count = 0;
        for (int x = int(mark.left()) + 1; x < int(mark.right()); ++x)
            for (int y = int(mark.top()) + 1; y < int(mark.bottom()); ++y)
                count += shot.pixelColor(x, y).rgb() != under.rgb();
        return count;
    };
    // Each mark covers part of the quarter under it.
    EXPECT_GT(differs(TagThumbnailDecoration().drawRectFromItemRect(thumb), Qt::yellow), 20);
    EXPECT_GT(differs(CategoriesThumbnailDecoration().drawRectFromItemRect(thumb), Qt::yellow), 20);
    const QRectF stars = RartingThumbnailDecoration().drawRectFromItemRect(thumb);
    EXPECT_GT(differs(stars.adjusted(0, 0, -24, 0), Qt::blue), 20);
    // Three stars on black: the fourth and fifth places are backdrop only.
    const QRectF fourth(stars.x() + 37, stars.y() + 1, 22, 10);
    int black = 0;
    for (int x = int(fourth.left()); x < int(fourth.right()); ++x)
        black += shot.pixelColor(x, int(fourth.center().y())).rgb() == QColor(Qt::black).rgb();
    EXPECT_EQ(black, int(fourth.width()));
    EXPECT_GT(differs(LockedThumbnailDecoration().drawRectFromItemRect(thumb).adjusted(4, 0, 0, -8), Qt::blue), 10);
    // Hiding the ratings leaves the other marks.
    grid_->setShowRating(false);
    const QImage hidden = grid_->grab().toImage();
    EXPECT_EQ(hidden.pixelColor(int(fourth.center().x()), int(fourth.center().y())).rgb(), QColor(Qt::blue).rgb());
    const QRectF tag = TagThumbnailDecoration().drawRectFromItemRect(thumb);
    EXPECT_EQ(hidden.pixelColor(tag.center().toPoint()), shot.pixelColor(tag.center().toPoint()));
}

// Slow to answer: painting a few cells takes well over 0.1 s.
class SlowSource : public ListDataSource {
public:
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override
    {
        if (slow)
            QThread::msleep(3);
        return ListDataSource::foldersObjectAtIndex(index);
    }
    bool slow = false;
};

TEST_F(ThumbnailsViewTest, SlowPaintsWhileTrackingDrawSmallUntilThingsSettle)
{
    SlowSource source;
    for (int i = 0; i < 12; ++i)
        source.items.push_back(file("s" + std::to_string(i) + ".jpg"));
    grid_ = std::make_unique<ThumbnailsView>();
    grid_->resize(512, 500);
    grid_->setDataSource(&source);
    grid_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
    source.slow = true;
    // Outside a press a slow paint changes nothing.
    grid_->repaint();
    ASSERT_GT(grid_->lastPaint().seconds, 0.1);
    EXPECT_TRUE(grid_->isDoneItemsFastUpdating());
    // While the mouse is held the main loop tracks it: a slow paint starts fast updating.
    const QRectF gap = grid_->gridRectForItemIndex(0);
    QTest::mousePress(grid_.get(), Qt::LeftButton, {}, QPoint(int(gap.x()) + 2, int(gap.y()) + 2));
    grid_->repaint();
    QTest::mouseRelease(grid_.get(), Qt::LeftButton, {}, QPoint(int(gap.x()) + 2, int(gap.y()) + 2));
    EXPECT_FALSE(grid_->isDoneItemsFastUpdating());
    EXPECT_TRUE(grid_->inLiveResize());
    source.slow = false;
    // 0.5 s after the last trigger it ends with a full redraw.
    EXPECT_TRUE(spinUntil([&] { return grid_->isDoneItemsFastUpdating(); }, 3000));
    EXPECT_TRUE(spinUntil([&] { return grid_->lastPaint().drawnItems.count() == 12; }, 3000));
    grid_->setDataSource(nullptr);
}

TEST_F(ThumbnailsViewTest, BandBelowTheViewScrollsWhileHeld)
{
    for (int i = 0; i < 40; ++i)
        source_.items.push_back(file("b" + std::to_string(i) + ".jpg"));
    QScrollArea area;
    ThumbnailsView* grid = gridInScrollArea(area, source_, 4, 2.1);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    const QRectF cell = grid->gridRectForItemIndex(0);
    const QPoint start(int(cell.x()) + 2, int(cell.y()) + 2);
    QTest::mousePress(grid, Qt::LeftButton, {}, start);
    const QPoint below(60, 320); // under the viewport's bottom edge
    QMouseEvent move(QEvent::MouseMove, QPointF(below), grid->mapToGlobal(QPointF(below)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(grid, &move);
    EXPECT_TRUE(spinUntil([&] { return area.verticalScrollBar()->value() >= 100; }, 3000));
    const int scrolled = area.verticalScrollBar()->value();
    QTest::mouseRelease(grid, Qt::LeftButton, {}, grid->mapFromGlobal(grid->mapToGlobal(QPointF(below))).toPoint());
    spinEvents(300);
    EXPECT_EQ(area.verticalScrollBar()->value(), scrolled); // the release stopped it
    // The band reached as far down as the view scrolled: its first column's items are selected.
    EXPECT_TRUE(source_.selection.containsIndex(0));
    EXPECT_TRUE(source_.selection.containsIndex(4));
    EXPECT_FALSE(source_.selection.containsIndex(1));
    grid->setDataSource(nullptr);
}

TEST(RatingStar, FivePointsFilledToTheCentre)
{
    const QImage star = makeRatingStarImage(QSize(24, 24), 0, Qt::white);
    EXPECT_GT(star.pixelColor(12, 12).alpha(), 200); // the centre is filled (non-zero rule)
    EXPECT_GT(star.pixelColor(12, 2).alpha(), 100);  // the top point, rotation 0
    EXPECT_EQ(star.pixelColor(1, 1).alpha(), 0);     // corners stay clear
    EXPECT_EQ(star.pixelColor(12, 23).alpha(), 0);   // between the two lower points
    const QImage turned = makeRatingStarImage(QSize(24, 24), 180, Qt::white);
    EXPECT_GT(turned.pixelColor(12, 21).alpha(), 100);
    EXPECT_EQ(turned.pixelColor(12, 0).alpha(), 0);
}

} // namespace
} // namespace vistel::test
