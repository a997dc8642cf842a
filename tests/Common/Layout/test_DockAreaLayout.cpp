#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Common/Layout/ZovDockAreaLayout.h"
#include "Common/Layout/ZovMainWindowLayout.h"
#include "LayoutTestSupport.h"

using namespace vistel;
using vistel::test::assertionText;
using vistel::test::expectPolicy;
using vistel::test::expectRect;

namespace {

struct ChangeCounter : ZovDockAreaLayoutChangedDelegate {
    void dockAreaLayoutChanged(ZovDockAreaLayout&) override { ++count; }
    int count = 0;
};

// Three empty boxed areas, kept as raw pointers while a boxed area owns them.
std::vector<std::unique_ptr<ZovDockAreaLayout>> makeAreas(int n, std::vector<ZovDockAreaLayout*>& raw)
{
    std::vector<std::unique_ptr<ZovDockAreaLayout>> areas;
    for (int i = 0; i < n; ++i) {
        areas.push_back(ZovDockAreaBoxedLayout::create());
        raw.push_back(areas.back().get());
    }
    return areas;
}

// The box's children as letters: A for an area, | for a bar.
std::string shape(const ZovDockAreaBoxedLayout& boxed)
{
    std::string text;
    for (ZovLayoutItem* item : boxed.boxLayout()->items())
        text += ZovMainWindowLayoutSplitter::splitterOfItem(*item) ? "|" : "A";
    return text;
}

ZovDockAreaLayout* splitterArea(ZovLayoutItem* bar)
{
    return ZovMainWindowLayoutSplitter::splitterOfItem(*bar)->dockArea();
}

} // namespace

TEST(DockAreaBoxedLayout, MadeFromThreeAreas)
{
    std::vector<ZovDockAreaLayout*> areas;
    auto boxed = ZovDockAreaBoxedLayout::create(makeAreas(3, areas));
    EXPECT_EQ(shape(*boxed), "A|A|A");
    EXPECT_EQ(boxed->count(), 3);
    EXPECT_EQ(boxed->splitters().count(), 2);
    EXPECT_EQ(boxed->dockAreas().toVector(), areas);
    for (ZovDockAreaLayout* area : areas)
        EXPECT_EQ(area->parentDockAreaLayout(), boxed.get());
    EXPECT_EQ(splitterArea(boxed->splitters()[0]), areas[1]);
    EXPECT_EQ(splitterArea(boxed->splitters()[1]), areas[2]);
    // Horizontal box: bars 11 wide, stretching in height.
    expectPolicy(boxed->splitters()[0]->hSizePolicy(), MakeFixedSizePolicy(11));
    expectPolicy(boxed->splitters()[0]->vSizePolicy(), MakeExpandingSizePolicy(0, -1));

    boxed->setFrame({0, 0, 222, 50});
    EXPECT_FLOAT_EQ(boxed->splitters()[0]->frame().width, 11);
    EXPECT_FLOAT_EQ(boxed->splitters()[1]->frame().width, 11);
    expectRect(areas[0]->frame(), {0, 0, 66.6667f, 50});
}

TEST(DockAreaBoxedLayout, InsertingAtTheFrontGivesTheBarToTheOldArea)
{
    ChangeCounter changes;
    std::vector<ZovDockAreaLayout*> areas;
    auto boxed = ZovDockAreaBoxedLayout::create(makeAreas(1, areas));
    boxed->setChangedDelegate(&changes);
    auto added = ZovDockAreaBoxedLayout::create();
    ZovDockAreaLayout* newArea = added.get();
    EXPECT_EQ(boxed->insertDockArea(std::move(added), -1), 0);
    EXPECT_EQ(shape(*boxed), "A|A");
    EXPECT_EQ(boxed->boxLayout()->itemAtIndex(0), newArea);
    EXPECT_EQ(splitterArea(boxed->splitters()[0]), areas[0]);
    EXPECT_EQ(changes.count, 1);

    auto middle = ZovDockAreaBoxedLayout::create();
    ZovDockAreaLayout* middleArea = middle.get();
    EXPECT_EQ(boxed->insertDockArea(std::move(middle), 0), 2);
    EXPECT_EQ(boxed->dockAreas().toVector(), (std::vector<ZovDockAreaLayout*> {newArea, middleArea, areas[0]}));
    EXPECT_EQ(splitterArea(boxed->splitters()[0]), middleArea);
    EXPECT_EQ(splitterArea(boxed->splitters()[1]), areas[0]);
    EXPECT_EQ(boxed->boxLayout()->itemAtIndex(1), boxed->splitters()[0]);
    EXPECT_EQ(boxed->boxLayout()->itemAtIndex(3), boxed->splitters()[1]);
    EXPECT_EQ(assertionText([&] { boxed->insertDockArea(ZovDockAreaBoxedLayout::create(), 3); }), "Index out of range");
}

TEST(DockAreaBoxedLayout, RemovingTakesTheRightBar)
{
    {
        std::vector<ZovDockAreaLayout*> areas;
        auto boxed = ZovDockAreaBoxedLayout::create(makeAreas(3, areas));
        ZovLayoutItem* secondBar = boxed->splitters()[1];
        std::unique_ptr<ZovDockAreaLayout> removed = boxed->removeDockArea(0); // the first bar goes
        EXPECT_EQ(removed.get(), areas[0]);
        EXPECT_TRUE(removed->isTopLevel());
        EXPECT_EQ(removed->parentLayout(), nullptr);
        EXPECT_EQ(shape(*boxed), "A|A");
        EXPECT_EQ(boxed->splitters().toVector(), std::vector<ZovLayoutItem*> {secondBar});
    }
    {
        std::vector<ZovDockAreaLayout*> areas;
        auto boxed = ZovDockAreaBoxedLayout::create(makeAreas(3, areas));
        ZovLayoutItem* firstBar = boxed->splitters()[0];
        ChangeCounter changes;
        boxed->setChangedDelegate(&changes);
        boxed->removeDockArea(2); // the bar before it goes
        EXPECT_EQ(shape(*boxed), "A|A");
        EXPECT_EQ(boxed->splitters().toVector(), std::vector<ZovLayoutItem*> {firstBar});
        boxed->removeDockArea(1);
        boxed->removeDockArea(0);
        EXPECT_TRUE(boxed->isEmpty());
        EXPECT_EQ(shape(*boxed), "");
        EXPECT_EQ(changes.count, 3);
        EXPECT_EQ(assertionText([&] { boxed->removeDockArea(0); }), "Index out of range");
    }
}

TEST(DockAreaBoxedLayout, TurningTurnsEveryBar)
{
    std::vector<ZovDockAreaLayout*> areas;
    auto boxed = ZovDockAreaBoxedLayout::create(makeAreas(2, areas));
    boxed->setOrientation(ZovLayoutOrientationVertical);
    EXPECT_EQ(boxed->orientation(), ZovLayoutOrientationVertical);
    ZovLayoutItem* bar = boxed->splitters()[0];
    expectPolicy(bar->hSizePolicy(), MakeExpandingSizePolicy(0, -1));
    expectPolicy(bar->vSizePolicy(), MakeFixedSizePolicy(11));
    EXPECT_EQ(ZovMainWindowLayoutSplitter::splitterOfItem(*bar)->orientation(), 1);
    boxed->setOrientation(ZovLayoutOrientationVertical); // no change: the bars stay
    expectPolicy(bar->vSizePolicy(), MakeFixedSizePolicy(11));

    // A bar inserted afterwards is made for the new orientation.
    boxed->insertDockArea(ZovDockAreaBoxedLayout::create(), 1);
    expectPolicy(boxed->splitters()[1]->vSizePolicy(), MakeFixedSizePolicy(11));
}

TEST(DockAreaLayout, ACustomPolicyOverridesTheComputedOne)
{
    auto boxed = ZovDockAreaBoxedLayout::create();
    expectPolicy(boxed->hSizePolicy(), MakePreferredSizePolicy(0, 0, -1));
    EXPECT_FALSE(boxed->hasCustomHSizePolicy());
    boxed->setHSizePolicy(MakeFixedSizePolicy(33));
    EXPECT_TRUE(boxed->hasCustomHSizePolicy());
    EXPECT_FALSE(boxed->hasCustomVSizePolicy());
    expectPolicy(boxed->hSizePolicy(), MakeFixedSizePolicy(33));
}

TEST(DockItemLayout, ContentFillsTheDock)
{
    auto dock = ZovDockItemLayout::create();
    EXPECT_EQ(dock->contentItem()->parentLayout(), dock.get());
    EXPECT_EQ(dock->captionItem()->parentLayout(), dock.get());
    // This edition shows no caption bar.
    expectPolicy(dock->captionItem()->vSizePolicy(), MakeFixedSizePolicy(0));
    dock->setFrame({0, 0, 300, 200});
    expectRect(dock->contentItem()->frame(), {0, 0, 300, 200});

    dock->contentItem()->setHSizePolicy(MakePreferredSizePolicy(120, 40, 400));
    dock->contentItem()->setVSizePolicy(MakeFixedSizePolicy(90));
    expectPolicy(dock->hSizePolicy(), {40, -1, 120, ZovSizePolicyPreferred});
    expectPolicy(dock->vSizePolicy(), MakeFixedSizePolicy(90));

    dock->setCaption("Folders");
    EXPECT_EQ(dock->caption(), "Folders");
}

TEST(DockAreaStackedLayout, TwoDocksTwoHundredHigh)
{
    std::vector<std::unique_ptr<ZovDockItemLayout>> docks;
    docks.push_back(ZovDockItemLayout::create());
    docks.push_back(ZovDockItemLayout::create());
    ZovDockItemLayout* first = docks[0].get();
    ZovDockItemLayout* second = docks[1].get();
    auto stacked = ZovDockAreaStackedLayout::createWithDockItems(std::move(docks));
    EXPECT_EQ(first->captionItem()->parentLayout(), stacked.get());
    EXPECT_EQ(first->parentArea(), stacked.get());
    EXPECT_TRUE(stacked->tabItem()->isVisible());
    EXPECT_EQ(stacked->currentIndex(), 0);

    stacked->setFrame({0, 0, 150, 200});
    expectRect(first->captionItem()->frame(), {0, 0, 150, 0}, "caption");
    expectRect(stacked->boxLayout()->frame(), {0, 0, 150, 174}, "box");
    expectRect(stacked->tabItem()->frame(), {0, 174, 150, 26}, "tab bar");
    expectRect(first->frame(), {0, 0, 150, 174}, "current dock");
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());
    expectPolicy(stacked->vSizePolicy(), {26, -1, 26, ZovSizePolicyPreferred});

    stacked->setCurrentIndex(1);
    stacked->performRelayout();
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    expectRect(second->frame(), {0, 0, 150, 174});
}

TEST(DockAreaStackedLayout, TheTabBarShowsWithTwoOrMoreDocks)
{
    auto stacked = ZovDockAreaStackedLayout::createWithDockItem(ZovDockItemLayout::create());
    EXPECT_FALSE(stacked->tabItem()->isVisible()); // the first dock hides it
    stacked->insertDockItem(ZovDockItemLayout::create(), 0);
    EXPECT_TRUE(stacked->tabItem()->isVisible());
    stacked->insertDockItem(ZovDockItemLayout::create(), -1);
    EXPECT_EQ(stacked->count(), 3);

    stacked->removeDockItem(2);
    EXPECT_TRUE(stacked->tabItem()->isVisible()); // two remain
    stacked->removeDockItem(1);
    EXPECT_FALSE(stacked->tabItem()->isVisible()); // one remains: no tab bar over a single dock
    stacked->setFrame({0, 0, 100, 200});
    expectRect(stacked->boxLayout()->frame(), {0, 0, 100, 200});
    EXPECT_EQ(assertionText([&] { stacked->removeDockItem(1); }), "Index out of range");
}

// When the current dock is the first one and leaves, a neighbour becomes current: the area
// neither raises when asked for its policy nor shows nothing.
TEST(DockAreaStackedLayout, RemovingTheCurrentDockMakesANeighbourCurrent)
{
    std::vector<std::unique_ptr<ZovDockItemLayout>> docks;
    for (int i = 0; i < 3; ++i)
        docks.push_back(ZovDockItemLayout::create());
    ZovDockItemLayout* second = docks[1].get();
    auto stacked = ZovDockAreaStackedLayout::createWithDockItems(std::move(docks));
    ASSERT_EQ(stacked->currentIndex(), 0);

    std::unique_ptr<ZovDockItemLayout> removed = stacked->removeDockItem(0);
    EXPECT_EQ(stacked->currentIndex(), 0);
    EXPECT_EQ(stacked->dockItemAtIndex(0), second);
    EXPECT_EQ(removed->parentArea(), nullptr);
    EXPECT_EQ(removed->captionItem()->parentLayout(), nullptr);
    expectPolicy(stacked->vSizePolicy(), {26, -1, 26, ZovSizePolicyPreferred});
    stacked->setFrame({0, 0, 100, 100});
    EXPECT_TRUE(second->isVisible());
    expectRect(second->frame(), {0, 0, 100, 74});

    // The last dock leaving leaves an empty area that still lays out.
    stacked->removeDockItem(0);
    stacked->removeDockItem(0);
    EXPECT_EQ(stacked->currentIndex(), -1);
    expectPolicy(stacked->vSizePolicy(), MakePreferredSizePolicy(0, 0, -1));
    stacked->setFrame({0, 0, 100, 50});
    expectRect(stacked->boxLayout()->frame(), {0, 0, 100, 50});

    // A removed dock can go into another area, caption and all.
    auto other = ZovDockAreaStackedLayout::createWithDockItem(std::move(removed));
    EXPECT_EQ(other->dockItemAtIndex(0)->captionItem()->parentLayout(), other.get());
}
