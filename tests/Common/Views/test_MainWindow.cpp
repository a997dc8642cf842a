// The docking frame: geometry of a frame with docks, bar drags with the mouse, cursors, tabs,
// floating and re-docking, area splitting and collapsing, destruction.
#include <gtest/gtest.h>

#include <QTabBar>
#include <QTest>

#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/ZovMainWindow.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Window.h"
#include "Platform/UserDefaults.h"

using namespace vistel;

namespace {

struct FrameFixture : ::testing::Test {
    ZovMainWindow* frame = ZovMainWindow::create();
    QWidget* host = frame->parentView();
    QWidget* central = new QWidget;
    QWidget* left = new QWidget;
    QWidget* right1 = new QWidget;
    QWidget* right2 = new QWidget;
    ZovDock* leftDock = nullptr;
    ZovDock* rightDock1 = nullptr;
    ZovDock* rightDock2 = nullptr;

    static std::unique_ptr<ZovDock> makeDock(QWidget* view, const char* caption, const ZovSizePolicy& h)
    {
        auto dock = ZovDock::create(view);
        dock->setCaption(caption);
        dock->dockItemLayout()->contentItem()->setHSizePolicy(h);
        return dock;
    }

    FrameFixture()
    {
        NSImageNameTemplatesLoader::load();
        frame->setCentralView(central);
        ZovDockArea* leftArea = frame->dockAreaForPosition(ZovDockAreaPositionLeft);
        leftArea->splitBy(ZovLayoutOrientationVertical, makeDock(left, "Left", MakePreferredSizePolicy(200, 200, -1)), false);
        leftDock = leftArea->areas().front()->docks().front();
        ZovDockArea* rightArea = frame->dockAreaForPosition(ZovDockAreaPositionRight);
        ZovDockArea* stack = rightArea->splitBy(ZovLayoutOrientationVertical, makeDock(right1, "One", MakePreferredSizePolicy(150, 100, -1)), false);
        auto second = makeDock(right2, "Two", MakePreferredSizePolicy(150, 100, -1));
        rightDock2 = frame->adoptDock(std::move(second));
        stack->addToStack(*rightDock2, 0);
        rightDock1 = stack->docks().front();
        host->resize(1000, 700);
        host->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(host));
    }
    ~FrameFixture() override { delete host; }
};

TEST_F(FrameFixture, GeometriesOfTheFrame)
{
    // Left 200, bar 11, centre, bar 11, right 150; the status band keeps the bottom 26.
    EXPECT_EQ(left->geometry(), QRect(0, 0, 200, 674));
    EXPECT_EQ(central->geometry(), QRect(211, 0, 628, 674));
    EXPECT_EQ(right1->geometry(), QRect(850, 0, 150, 674 - 26));
    EXPECT_FALSE(right1->isHidden());
    EXPECT_TRUE(right2->isHidden());
    QTabBar* tabs = rightDock1->dockArea()->tabBar();
    ASSERT_NE(tabs, nullptr);
    EXPECT_FALSE(tabs->isHidden());
    EXPECT_EQ(tabs->geometry(), QRect(850, 674 - 26, 150, 26));
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), "Two");
}

TEST_F(FrameFixture, DraggingTheLeftBarWidensTheLeftDockDownToItsMinimum)
{
    const QRect rightBefore = right1->geometry();
    const QPoint bar(205, 300);
    QTest::mousePress(host, Qt::LeftButton, {}, bar);
    QTest::mouseMove(host, bar + QPoint(30, 0));
    QTest::mouseRelease(host, Qt::LeftButton, {}, bar + QPoint(30, 0));
    EXPECT_EQ(left->geometry(), QRect(0, 0, 230, 674));
    EXPECT_EQ(central->geometry().left(), 241);
    EXPECT_EQ(right1->geometry(), rightBefore);
    // Back past the minimum: it stops at 200.
    const QPoint moved(235, 300);
    QTest::mousePress(host, Qt::LeftButton, {}, moved);
    QTest::mouseMove(host, moved - QPoint(80, 0));
    QTest::mouseRelease(host, Qt::LeftButton, {}, moved - QPoint(80, 0));
    EXPECT_EQ(left->geometry().width(), 200);
    EXPECT_EQ(right1->geometry(), rightBefore);
}

TEST_F(FrameFixture, OnlyARingIsPaintedAroundTheViews)
{
    const QImage image = host->grab().toImage();
    const QColor ring = QColor::fromRgbF(0.741f, 0.741f, 0.741f);
    struct Case { QPoint point; bool grey; };
    const Case cases[] {
        {{210, 300}, true},   // left of the central view
        {{839, 300}, true},   // right of it
        {{500, 674}, true},   // below it
        {{211, 300}, false},  // inside: the view is transparent and shows no grey
        {{500, 300}, false},
        {{205, 20}, false},   // the bar between two rings
    };
    for (const Case& c : cases)
        EXPECT_EQ(image.pixel(c.point) == ring.rgb(), c.grey) << c.point.x() << "," << c.point.y();
}

TEST_F(FrameFixture, SplitCursorsOverVisibleBarsOnly)
{
    struct Case { QPoint point; Qt::CursorShape shape; };
    const Case cases[] {
        {{205, 300}, Qt::SplitHCursor},  // the left bar
        {{844, 10}, Qt::SplitHCursor},   // the right bar
        {{500, 300}, Qt::ArrowCursor},   // the central view
        {{500, 5}, Qt::ArrowCursor},     // where a top bar would be: the top area is empty
        {{500, 690}, Qt::ArrowCursor},   // the status band
    };
    for (const Case& c : cases) {
        EXPECT_EQ(frame->cursorAt(c.point), c.shape) << c.point.x() << "," << c.point.y();
        frame->mouseMoved(c.point);
        EXPECT_EQ(host->cursor().shape(), c.shape);
    }
    EXPECT_EQ(frame->visibleBars().size(), 2u);
}

TEST_F(FrameFixture, AClickOnTheSecondTabShowsThatDock)
{
    QTabBar* tabs = rightDock1->dockArea()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(rightDock1->dockArea()->layout() ? static_cast<ZovDockAreaStackedLayout*>(rightDock1->dockArea()->layout())->currentIndex() : -1, 1);
    EXPECT_TRUE(right1->isHidden());
    EXPECT_FALSE(right2->isHidden());
    EXPECT_EQ(right2->geometry(), QRect(850, 0, 150, 674 - 26));
}

TEST_F(FrameFixture, AFloatingDockGoesBackWhereItWasWhenItsWindowCloses)
{
    ZovDockArea* stack = rightDock1->dockArea();
    rightDock2->setFloating();
    EXPECT_EQ(rightDock2->state(), ZovDockStateFloating);
    ASSERT_NE(rightDock2->window(), nullptr);
    EXPECT_EQ(right2->window(), rightDock2->window());
    EXPECT_EQ(rightDock2->window()->pos(), QPoint(250, 250));
    EXPECT_EQ(stack->docks().size(), 1u);
    EXPECT_TRUE(stack->tabBar()->isHidden());
    rightDock2->setFloating(); // already floating: nothing
    rightDock2->window()->close();
    EXPECT_EQ(rightDock2->state(), ZovDockStateDocked);
    EXPECT_EQ(rightDock2->dockArea(), stack);
    EXPECT_EQ(stack->docks().back(), rightDock2);
    EXPECT_EQ(right2->window(), host);
    EXPECT_FALSE(stack->tabBar()->isHidden());
    // Its only area went away meanwhile: it comes back at its side.
    leftDock->setFloating();
    EXPECT_TRUE(frame->dockAreaForPosition(ZovDockAreaPositionLeft)->areas().empty());
    leftDock->window()->close();
    EXPECT_EQ(leftDock->dockArea()->topLevelArea(), frame->dockAreaForPosition(ZovDockAreaPositionLeft));
    EXPECT_EQ(left->geometry(), QRect(0, 0, 200, 674));
}

TEST(ZovDockArea, SplittingAndCollapsing)
{
    ZovMainWindow* frame = ZovMainWindow::create();
    QWidget* host = frame->parentView();
    host->resize(800, 600);
    ZovDockArea* top = frame->dockAreaForPosition(ZovDockAreaPositionLeft);
    auto boxedOrientation = [](ZovDockArea* area) { return static_cast<ZovDockAreaBoxedLayout*>(area->layout())->orientation(); };
    QWidget* a = new QWidget;
    QWidget* b = new QWidget;
    QWidget* c = new QWidget;
    ZovDockArea* first = top->splitBy(ZovLayoutOrientationHorizontal, ZovDock::create(a), false);
    // One child and another orientation: adopted without wrapping.
    ZovDockArea* second = top->splitBy(ZovLayoutOrientationVertical, ZovDock::create(b), false);
    EXPECT_EQ(boxedOrientation(top), ZovLayoutOrientationVertical);
    EXPECT_EQ(top->areas(), (std::vector<ZovDockArea*> {first, second}));
    // Two children across: wrapped in a boxed area keeping the old orientation; prepend puts
    // the new one first.
    ZovDockArea* third = top->splitBy(ZovLayoutOrientationHorizontal, ZovDock::create(c), true);
    ASSERT_EQ(top->areas().size(), 2u);
    EXPECT_EQ(top->areas()[0], third);
    ZovDockArea* wrapper = top->areas()[1];
    EXPECT_FALSE(wrapper->isStacked());
    EXPECT_EQ(boxedOrientation(wrapper), ZovLayoutOrientationVertical);
    EXPECT_EQ(wrapper->areas(), (std::vector<ZovDockArea*> {first, second}));
    // Splitting a nested area keeps its views in the frame's host.
    QWidget* d = new QWidget;
    EXPECT_EQ(first->splitBy(ZovLayoutOrientationHorizontal, ZovDock::create(d), false), nullptr);
    EXPECT_EQ(d->parentWidget(), host);
    EXPECT_EQ(a->parentWidget(), host);
    // Removing the only dock of a stacked child removes the child; the wrapper collapses when emptied.
    EXPECT_NE(top->dump().find("\n\t[0]{ZovDockArea 0x"), std::string::npos);
    EXPECT_NE(top->dump().find("[0]{ZovDoc 0x"), std::string::npos);
    ZovDock* dockB = second->docks().front();
    second->removeDock(*dockB);
    EXPECT_FALSE(View::hasSuperview(b));
    EXPECT_EQ(dockB->state(), ZovDockStateNotPlaced);
    EXPECT_THROW(top->removeDock(*dockB), Exception);
    EXPECT_THROW(top->addToStack(*dockB, -1), Exception);
    ZovDockArea* foreign = frame->dockAreaForPosition(ZovDockAreaPositionRight);
    EXPECT_THROW(top->removeDockArea(*foreign), Exception);
    // A top-level area never removes itself.
    top->removeDockArea(*top->areas()[1]);
    top->removeDockArea(*top->areas()[0]);
    EXPECT_TRUE(top->isEmpty());
    EXPECT_EQ(top->dump().rfind("{ZovDockArea 0x", 0), 0u);
    EXPECT_NE(frame->dockAreaForPosition(ZovDockAreaPositionLeft), nullptr);
    delete host;
}

TEST(ZovDockCaptionView, EvenOneCharacterTakesTheAlignment)
{
    auto dock = ZovDock::create(new QWidget);
    dock->setCaption("W");
    ZovDockCaptionView* caption = dock->captionView();
    caption->resize(200, 22);
    // The columns where the caption's text has dark pixels, for each alignment.
    auto inkColumns = [&](unsigned alignment) {
        dock->setCaptionTextAlignment(alignment);
        const QImage image = caption->grab().toImage();
        int first = -1;
        int last = -1;
        for (int x = 0; x < image.width(); ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (qGray(image.pixel(x, y)) < 60) {
                    if (first < 0)
                        first = x;
                    last = x;
                }
            }
        }
        return std::pair {first, last};
    };
    const auto left = inkColumns(NSLeftTextAlignment);
    const auto centre = inkColumns(NSCenterTextAlignment);
    const auto right = inkColumns(NSRightTextAlignment);
    ASSERT_GE(left.first, 0);
    EXPECT_LT(left.first, 10);
    EXPECT_NEAR((centre.first + centre.second) / 2.0, 100, 3);
    EXPECT_GT(right.second, 190);
    // No caption: plain light grey.
    dock->setCaption("");
    const QImage empty = caption->grab().toImage();
    EXPECT_EQ(empty.pixel(5, 5), empty.pixel(100, 11));
}

TEST(ZovMainWindow, DestroyingTheHostEmptiesEverything)
{
    const std::size_t bindings = ZovViewLayout::bindingCount();
    const std::size_t views = ZovViewLayoutItem::boundViewCount();
    ZovMainWindow* frame = ZovMainWindow::create();
    QWidget* host = frame->parentView();
    host->resize(640, 480);
    QPointer<QWidget> central = new QWidget;
    frame->setCentralView(central);
    QPointer<QWidget> replaced = central.data();
    frame->setCentralView(new QWidget);
    EXPECT_TRUE(replaced.isNull()); // the replaced central view is deleted
    QPointer<QWidget> panel = new QWidget;
    ZovDockArea* area = frame->dockAreaForPosition(ZovDockAreaPositionBottom)->splitBy(0, ZovDock::create(panel), false);
    area->docks().front()->setFloating();
    frame->toolBar()->addView(GTBottomToolbarStyle::newBevelButton(0, kImageNameAdd, "Add"));
    delete host;
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(ZovViewLayout::bindingCount(), bindings);
    EXPECT_EQ(ZovViewLayoutItem::boundViewCount(), views);
}

TEST(ZovMainWindow, ClosingTheWindowStoresItsScreenNumber)
{
    UserDefaults::standard().setPath(""); // in memory: the test writes no preferences file
    Window window;
    ZovMainWindow* frame = ZovMainWindow::create();
    window.setContentView(frame->parentView());
    window.show();
    window.close();
    const auto number = Window::screenNumber(window.screen());
    ASSERT_TRUE(number);
    EXPECT_EQ(UserDefaults::standard().integerForKey("MainWindow.ScreenNumber"), static_cast<std::int64_t>(*number));
}

} // namespace
