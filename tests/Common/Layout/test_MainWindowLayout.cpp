#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Common/Layout/ZovDockAreaLayout.h"
#include "Common/Layout/ZovMainWindowLayout.h"
#include "LayoutTestSupport.h"

using namespace vistel;
using vistel::test::assertionText;
using vistel::test::expectPolicy;
using vistel::test::expectRect;

namespace {

ZovBoxLayout* boxOf(ZovMainWindowLayout& layout, std::int32_t position)
{
    return static_cast<ZovBoxLayout*>(layout.dockAreaForPosition(position)->parentLayout());
}

// Puts a stacked area holding one dock with the given content policies into an area.
ZovDockAreaStackedLayout* putDock(ZovMainWindowLayout& layout, std::int32_t position, ZovSizePolicy h, ZovSizePolicy v)
{
    auto dock = ZovDockItemLayout::create();
    dock->contentItem()->setHSizePolicy(h);
    dock->contentItem()->setVSizePolicy(v);
    auto stacked = ZovDockAreaStackedLayout::createWithDockItem(std::move(dock));
    ZovDockAreaStackedLayout* raw = stacked.get();
    ZovDockAreaBoxedLayout* area = layout.dockAreaForPosition(position);
    area->insertDockArea(std::move(stacked), area->count() - 1);
    return raw;
}

// Restores the class-wide corner defaults when a test has changed them.
struct CornerDefaults {
    ~CornerDefaults()
    {
        ZovMainWindowLayout::setDefaultArea(ZovDockAreaPositionTop, ZovMainWindowCornerTopLeft);
        ZovMainWindowLayout::setDefaultArea(ZovDockAreaPositionTop, ZovMainWindowCornerTopRight);
        ZovMainWindowLayout::setDefaultArea(ZovDockAreaPositionBottom, ZovMainWindowCornerBottomLeft);
        ZovMainWindowLayout::setDefaultArea(ZovDockAreaPositionBottom, ZovMainWindowCornerBottomRight);
    }
};

} // namespace

TEST(MainWindowLayout, MadeWithFourHiddenAreasAroundTheContent)
{
    auto layout = ZovMainWindowLayout::create();
    for (std::int32_t p = 0; p < 4; ++p) {
        ZovBoxLayout* box = boxOf(*layout, p);
        EXPECT_FALSE(box->isVisible());
        EXPECT_EQ(box->parentLayout(), layout.get());
        EXPECT_TRUE(layout->dockAreaForPosition(p)->isTopLevel());
        EXPECT_EQ(layout->dockAreaForPosition(p)->changedDelegate(), layout.get());
        ZovMainWindowLayoutSplitter* splitter = ZovMainWindowLayoutSplitter::splitterOfItem(*layout->splitterForPosition(p));
        ASSERT_NE(splitter, nullptr);
        EXPECT_EQ(splitter->dockAreaPosition(), p);
        EXPECT_EQ(splitter->mainWindowLayout(), layout.get());
        EXPECT_EQ(splitter->dockArea(), layout->dockAreaForPosition(p));
        EXPECT_EQ(splitter->layoutItem(), layout->splitterForPosition(p));
        // The bar faces the centre: after the area on the left and top, before it otherwise.
        const bool barLast = p == ZovDockAreaPositionLeft || p == ZovDockAreaPositionTop;
        EXPECT_EQ(box->itemAtIndex(barLast ? 1 : 0), layout->splitterForPosition(p)) << p;
        EXPECT_EQ(box->orientation(), p <= 1 ? ZovLayoutOrientationHorizontal : ZovLayoutOrientationVertical);
    }
    expectPolicy(layout->contentItem()->hSizePolicy(), MakeExpandingSizePolicy(0, -1));

    layout->setFrame({0, 0, 800, 600});
    expectRect(layout->contentItem()->frame(), {0, 0, 800, 600}, "content fills the layout");
}

TEST(MainWindowLayout, DefaultCornersLetTopAndBottomSpanTheWidth)
{
    auto layout = ZovMainWindowLayout::create();
    const ZovSizePolicy hundred = MakePreferredSizePolicy(100, 0, -1);
    for (std::int32_t p = 0; p < 4; ++p)
        putDock(*layout, p, hundred, hundred);
    layout->setFrame({0, 0, 800, 600});

    expectRect(boxOf(*layout, ZovDockAreaPositionLeft)->frame(), {0, 111, 111, 378}, "left");
    expectRect(boxOf(*layout, ZovDockAreaPositionRight)->frame(), {689, 111, 111, 378}, "right");
    expectRect(boxOf(*layout, ZovDockAreaPositionTop)->frame(), {0, 0, 800, 111}, "top");
    expectRect(boxOf(*layout, ZovDockAreaPositionBottom)->frame(), {0, 489, 800, 111}, "bottom");
    expectRect(layout->contentItem()->frame(), {111, 111, 578, 378}, "content");
    // Inside the left box: the area, then its bar.
    expectRect(layout->dockAreaForPosition(ZovDockAreaPositionLeft)->frame(), {0, 0, 100, 378}, "left area");
    expectRect(layout->splitterForPosition(ZovDockAreaPositionLeft)->frame(), {100, 0, 11, 378}, "left bar");
    expectRect(layout->splitterForPosition(ZovDockAreaPositionRight)->frame(), {0, 0, 11, 378}, "right bar");
    expectRect(layout->splitterForPosition(ZovDockAreaPositionBottom)->frame(), {0, 0, 800, 11}, "bottom bar");

    // The grid's policy: three rows of side, centre and side combined across.
    expectPolicy(layout->hSizePolicy(), {22, -1, 222, ZovSizePolicyExpanding});
}

TEST(MainWindowLayout, TheTopLeftCornerGivenToTheLeftArea)
{
    CornerDefaults restore;
    ZovMainWindowLayout::setDefaultArea(ZovDockAreaPositionLeft, ZovMainWindowCornerTopLeft);
    auto layout = ZovMainWindowLayout::create();
    ZovMainWindowLayout::setDefaultArea(ZovDockAreaPositionTop, ZovMainWindowCornerTopLeft);
    EXPECT_EQ(layout->areaForCorner(ZovMainWindowCornerTopLeft), ZovDockAreaPositionLeft); // copied at creation

    const ZovSizePolicy hundred = MakePreferredSizePolicy(100, 0, -1);
    for (std::int32_t p = 0; p < 4; ++p)
        putDock(*layout, p, hundred, hundred);
    layout->setFrame({0, 0, 800, 600});
    expectRect(boxOf(*layout, ZovDockAreaPositionLeft)->frame(), {0, 0, 111, 489}, "left runs up to the top");
    expectRect(boxOf(*layout, ZovDockAreaPositionTop)->frame(), {111, 0, 689, 111}, "top shortened");
    expectRect(boxOf(*layout, ZovDockAreaPositionBottom)->frame(), {0, 489, 800, 111}, "bottom unchanged");
}

TEST(MainWindowLayout, CornersAndPositionsAreChecked)
{
    EXPECT_EQ(ZovMainWindowLayout::defaultAreaForCorner(5), 2);
    EXPECT_EQ(ZovMainWindowLayout::defaultAreaForCorner(6), 2);
    EXPECT_EQ(ZovMainWindowLayout::defaultAreaForCorner(9), 3);
    EXPECT_EQ(ZovMainWindowLayout::defaultAreaForCorner(10), 3);
    EXPECT_EQ(assertionText([] { ZovMainWindowLayout::defaultAreaForCorner(7); }), "No such corner");
    EXPECT_EQ(assertionText([] { ZovMainWindowLayout::setDefaultArea(2, 12); }), "No such corner");
    // Only the two areas touching a corner can own it.
    EXPECT_EQ(assertionText([] { ZovMainWindowLayout::setDefaultArea(1, 5); }), "Invalid dock area position");
    EXPECT_EQ(assertionText([] { ZovMainWindowLayout::setDefaultArea(4, 5); }), "Invalid dock area position");
    EXPECT_EQ(assertionText([] { ZovMainWindowLayout::setDefaultArea(-1, 10); }), "Invalid dock area position");
    EXPECT_EQ(ZovMainWindowLayout::defaultAreaForCorner(5), 2); // refused changes left nothing behind

    auto layout = ZovMainWindowLayout::create();
    EXPECT_EQ(assertionText([&] { layout->dockAreaForPosition(4); }), "Invalid dock area position");
    EXPECT_EQ(assertionText([&] { layout->splitterForPosition(-1); }), "Invalid dock area position");
}

TEST(MainWindowLayout, AnAreaBoxIsShownExactlyWhileTheAreaHoldsSomething)
{
    auto layout = ZovMainWindowLayout::create();
    layout->setFrame({0, 0, 800, 600});
    putDock(*layout, ZovDockAreaPositionRight, MakePreferredSizePolicy(100, 0, -1), MakePreferredSizePolicy(0, 0, -1));
    EXPECT_TRUE(boxOf(*layout, ZovDockAreaPositionRight)->isVisible());
    expectRect(layout->contentItem()->frame(), {0, 0, 689, 600}, "laid out at once");

    layout->dockAreaForPosition(ZovDockAreaPositionRight)->removeDockArea(0);
    EXPECT_FALSE(boxOf(*layout, ZovDockAreaPositionRight)->isVisible());
    expectRect(layout->contentItem()->frame(), {0, 0, 800, 600});
}

TEST(MainWindowLayoutSplitter, DraggingTheLeftBar)
{
    auto layout = ZovMainWindowLayout::create();
    putDock(*layout, ZovDockAreaPositionLeft, MakePreferredSizePolicy(100, 50, 300), MakePreferredSizePolicy(0, 0, -1));
    putDock(*layout, ZovDockAreaPositionRight, MakePreferredSizePolicy(80, 40, -1), MakePreferredSizePolicy(0, 0, -1));
    layout->setFrame({0, 0, 800, 600});
    ZovDockAreaBoxedLayout* left = layout->dockAreaForPosition(ZovDockAreaPositionLeft);
    ZovDockAreaBoxedLayout* right = layout->dockAreaForPosition(ZovDockAreaPositionRight);
    ASSERT_FLOAT_EQ(left->frame().width, 100);
    ASSERT_FLOAT_EQ(right->frame().width, 80);

    ZovMainWindowLayoutSplitter* bar = ZovMainWindowLayoutSplitter::splitterOfItem(*layout->splitterForPosition(0));
    EXPECT_EQ(bar->orientation(), 0);
    bar->pressAt({5, 10});
    bar->moveAt({35, 10});
    EXPECT_FLOAT_EQ(left->frame().width, 130);
    EXPECT_FLOAT_EQ(right->frame().width, 80); // frozen at its width
    expectPolicy(left->hSizePolicy(), {50, -1, 130, ZovSizePolicyPreferred});
    EXPECT_TRUE(right->hasCustomHSizePolicy());

    // Growing stops at the area's maximum.
    left->setHSizePolicy(MakePreferredSizePolicy(130, 50, 300));
    bar->pressAt({5, 10});
    bar->moveAt({505, 10});
    EXPECT_FLOAT_EQ(left->frame().width, 300);

    // Dragging the right bar to the right narrows the right area, down to its minimum.
    ZovMainWindowLayoutSplitter* rightBar = ZovMainWindowLayoutSplitter::splitterOfItem(*layout->splitterForPosition(1));
    rightBar->pressAt({5, 10});
    rightBar->moveAt({25, 10});
    EXPECT_FLOAT_EQ(right->frame().width, 60);
    rightBar->moveAt({1000, 10});
    EXPECT_FLOAT_EQ(right->frame().width, 40);
    EXPECT_FLOAT_EQ(left->frame().width, 300);
}

TEST(MainWindowLayoutSplitter, DraggingABarBetweenBoxedAreas)
{
    const struct {
        float delta;
        float first;
        float second;
    } cases[] = {
        {-80, 50, 250}, // the first area stops at its minimum of 50
        {30, 130, 170},
        {400, 250, 50}, // the second area stops at its minimum
    };
    for (const auto& c : cases) {
        std::vector<std::unique_ptr<ZovDockAreaLayout>> areas;
        areas.push_back(ZovDockAreaStackedLayout::createWithDockItem(ZovDockItemLayout::create()));
        areas.push_back(ZovDockAreaStackedLayout::createWithDockItem(ZovDockItemLayout::create()));
        areas[0]->setHSizePolicy(MakePreferredSizePolicy(100, 50, -1));
        areas[1]->setHSizePolicy(MakePreferredSizePolicy(200, 50, -1));
        ZovDockAreaLayout* a = areas[0].get();
        ZovDockAreaLayout* b = areas[1].get();
        auto boxed = ZovDockAreaBoxedLayout::create(std::move(areas));
        boxed->setFrame({0, 0, 311, 100});
        ASSERT_FLOAT_EQ(a->frame().width, 100);
        ASSERT_FLOAT_EQ(b->frame().width, 200);

        ZovMainWindowLayoutSplitter* bar = ZovMainWindowLayoutSplitter::splitterOfItem(*boxed->splitters()[0]);
        EXPECT_EQ(bar->dockAreaPosition(), -1);
        bar->pressAt({5, 5});
        bar->moveAt({5 + c.delta, 5});
        EXPECT_FLOAT_EQ(a->frame().width, c.first) << c.delta;
        EXPECT_FLOAT_EQ(b->frame().width, c.second) << c.delta;
        EXPECT_FLOAT_EQ(boxed->splitters()[0]->frame().x, c.first) << c.delta;
    }
}

TEST(MainWindowLayoutSplitter, OtherAreasKeepTheirSizes)
{
    std::vector<std::unique_ptr<ZovDockAreaLayout>> areas;
    for (int i = 0; i < 3; ++i)
        areas.push_back(ZovDockAreaBoxedLayout::create());
    ZovDockAreaLayout* third = areas[2].get();
    auto boxed = ZovDockAreaBoxedLayout::create(std::move(areas));
    boxed->setOrientation(ZovLayoutOrientationVertical);
    boxed->setFrame({0, 0, 50, 322});
    const float thirdHeight = third->frame().height;
    ZovMainWindowLayoutSplitter* bar = ZovMainWindowLayoutSplitter::splitterOfItem(*boxed->splitters()[0]);
    EXPECT_EQ(bar->orientation(), 1);
    bar->pressAt({5, 5});
    bar->moveAt({5, 25});
    EXPECT_FLOAT_EQ(third->frame().height, thirdHeight);
    EXPECT_FLOAT_EQ(third->vSizePolicy().preferredSize, thirdHeight);
}
