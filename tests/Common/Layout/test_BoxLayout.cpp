#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Common/Layout/ZovBoxLayout.h"
#include "LayoutTestSupport.h"

using namespace vistel;
using vistel::test::assertionText;
using vistel::test::expectPolicy;
using vistel::test::expectRect;
using vistel::test::RecordingDelegate;

namespace {

struct Box {
    std::unique_ptr<ZovBoxLayout> box;
    std::vector<ZovLayoutItem*> items;

    explicit Box(std::int32_t orientation, int count = 0, ZovSizePolicy policy = MakePreferredSizePolicy(0, 0, -1))
        : box(ZovBoxLayout::create(orientation))
    {
        for (int i = 0; i < count; ++i)
            add(policy);
    }
    ZovLayoutItem* add(ZovSizePolicy policy)
    {
        auto item = ZovLayoutItem::create();
        item->setHSizePolicy(policy);
        item->setVSizePolicy(policy);
        items.push_back(item.get());
        box->addItem(std::move(item));
        return items.back();
    }
};

} // namespace

TEST(BoxLayout, CurrentIndexRules)
{
    // Each step: an operation on a box, then the expected count and current index.
    Box b(ZovLayoutOrientationHorizontal);
    EXPECT_EQ(b.box->currentIndex(), -1);
    b.add(MakeFixedSizePolicy(1));
    EXPECT_EQ(b.box->currentIndex(), 0); // the first item becomes current
    b.box->removeItemAtIndex(0);
    EXPECT_EQ(b.box->currentIndex(), -1); // the only item left

    Box three(ZovLayoutOrientationHorizontal, 3);
    three.box->setCurrentIndex(2);
    std::unique_ptr<ZovLayoutItem> first = three.box->removeItemAtIndex(0);
    EXPECT_EQ(three.box->currentIndex(), 1); // the same item stays current
    EXPECT_EQ(three.box->itemAtIndex(1), three.items[2]);

    three.box->insertItem(std::move(first), -1); // inserting in front does not move the index
    EXPECT_EQ(three.box->currentIndex(), 1);
    EXPECT_EQ(three.box->itemAtIndex(1), three.items[1]);

    three.box->setCurrentIndex(0);
    three.box->removeItemAtIndex(0); // the current item at index 0 leaves -1 behind
    EXPECT_EQ(three.box->currentIndex(), -1);
    EXPECT_EQ(three.box->count(), 2);

    EXPECT_EQ(assertionText([&] { three.box->setCurrentIndex(2); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.box->setCurrentIndex(-1); }), "Index out of range");
}

TEST(BoxLayout, InsertionPlacesAndAnswersTheIndex)
{
    Box b(ZovLayoutOrientationVertical, 2);
    auto front = ZovLayoutItem::create();
    ZovLayoutItem* f = front.get();
    EXPECT_EQ(b.box->insertItem(std::move(front), -1), 0);
    auto middle = ZovLayoutItem::create();
    ZovLayoutItem* m = middle.get();
    EXPECT_EQ(b.box->insertItem(std::move(middle), 1), 2);
    EXPECT_EQ(b.box->items().toVector(), (std::vector<ZovLayoutItem*> {f, b.items[0], m, b.items[1]}));
    EXPECT_EQ(b.box->addItem(ZovLayoutItem::create()), 4);
    EXPECT_EQ(assertionText([&] { b.box->insertItem(ZovLayoutItem::create(), 5); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { b.box->insertItem(ZovLayoutItem::create(), -2); }), "Index out of range");

    // Moving an item within the same box: it leaves first, then goes after the given index.
    b.box->insertItem(f, 3);
    EXPECT_EQ(b.box->itemAtIndex(4), f);
    EXPECT_EQ(assertionText([&] { b.box->insertItem(f, 4); }), "Index out of range");
    EXPECT_EQ(b.box->layoutItems().count(), b.box->count());
}

TEST(BoxLayout, ChildrenJoinOnlyThroughInsertion)
{
    Box b(ZovLayoutOrientationHorizontal, 1);
    // Refused once it is already in the child list, which therefore owns and destroys it.
    ZovLayoutItem* stray = ZovLayoutItem::create().release();
    EXPECT_EQ(assertionText([&] { stray->setParentLayout(b.box.get()); }),
              "Do not use explicit [ZovLayoutItem setParentLayout:]");
    EXPECT_EQ(b.box->count(), 1);
    auto stranger = ZovLayoutItem::create();
    EXPECT_EQ(assertionText([&] { b.box->removeItem(stranger.get()); }), "No such item");
    EXPECT_EQ(assertionText([&] { b.box->removeItemAtIndex(1); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { b.box->itemAtIndex(-1); }), "Index out of range");
}

TEST(BoxLayout, RemoveHandsTheItemBack)
{
    Box b(ZovLayoutOrientationHorizontal, 2);
    std::unique_ptr<ZovLayoutItem> removed = b.box->removeItem(b.items[0]);
    EXPECT_EQ(removed.get(), b.items[0]);
    EXPECT_EQ(removed->parentLayout(), nullptr);
    EXPECT_EQ(b.box->items().toVector(), std::vector<ZovLayoutItem*> {b.items[1]});
    EXPECT_EQ(b.box->layoutItems().toVector(), std::vector<ZovLayoutItem*> {b.items[1]});
}

TEST(BoxLayout, ClearItemsDestroysWhatItDetaches)
{
    Box b(ZovLayoutOrientationHorizontal, 3);
    RecordingDelegate delegates[3];
    for (int i = 0; i < 3; ++i)
        b.items[static_cast<std::size_t>(i)]->setDelegate(&delegates[i]);
    b.box->performRelayout();
    b.box->clearItems();
    EXPECT_TRUE(b.box->isEmpty());
    EXPECT_EQ(b.box->layoutItems().count(), 0);
    EXPECT_EQ(b.box->currentIndex(), -1);
    EXPECT_TRUE(b.box->needsRelayout());
    for (const RecordingDelegate& d : delegates)
        EXPECT_EQ(d.deallocs, 1); // the delegates hear of the end and can unbind their views
}

TEST(BoxLayout, SpacingGapsTakeTheirShareOfTheSurplus)
{
    Box b(ZovLayoutOrientationHorizontal, 3, MakeFixedSizePolicy(20));
    b.box->setSpacing(5);
    b.box->setFrame({0, 0, 100, 30});
    const float expected[] = {0, 40, 80};
    for (int i = 0; i < 3; ++i)
        expectRect(b.items[static_cast<std::size_t>(i)]->frame(), {expected[i], 0, 20, 30}, std::to_string(i));
    // The gathered policy along the axis includes the gaps: 3 x 20 + 2 x 5.
    expectPolicy(b.box->hSizePolicy(), {60, -1, 70, ZovSizePolicyPreferred});
    expectPolicy(b.box->vSizePolicy(), {20, 20, 20, ZovSizePolicyPreferred});
}

TEST(BoxLayout, VerticalRowWithMarginsAndHiddenChildren)
{
    Box b(ZovLayoutOrientationVertical);
    ZovLayoutItem* top = b.add(MakeFixedSizePolicy(10));
    ZovLayoutItem* hidden = b.add(MakeFixedSizePolicy(500));
    ZovLayoutItem* rest = b.add(MakeExpandingSizePolicy(0, -1));
    hidden->setVisible(false);
    b.box->setMargins(4);
    b.box->setFrame({0, 0, 50, 100});
    expectRect(top->frame(), {4, 4, 42, 10}, "top");
    expectRect(rest->frame(), {4, 14, 42, 82}, "rest");
    EXPECT_EQ(hidden->frame(), LayoutRect {}); // hidden children are left alone
}

TEST(BoxLayout, ASingleChildFillsTheBoxOrIsCentredWithinMargins)
{
    Box b(ZovLayoutOrientationHorizontal, 1, MakeFixedSizePolicy(20));
    b.box->setFrame({0, 0, 100, 60});
    expectRect(b.items[0]->frame(), {0, 0, 100, 60}, "fills even when Fixed");

    b.box->setMargins(10);
    b.box->setMarginsFixed(false);
    b.box->setFrame({0, 0, 100, 60});
    // Margins that are not fixed grow only up to their value; the bounded child is sized by
    // DistributeSpace with them: {10, 20, 10} spread with equal gaps over 100.
    expectRect(b.items[0]->frame(), {40, 20, 20, 20}, "bounded child between loose margins");
}

TEST(BoxLayout, StackedShowsOnlyTheCurrentChild)
{
    Box b(ZovLayoutOrientationHorizontal, 3, MakeFixedSizePolicy(10));
    b.box->setStacked(true);
    b.box->setCurrentIndex(2);
    b.box->setFrame({0, 0, 80, 40});
    EXPECT_FALSE(b.items[0]->isVisible());
    EXPECT_FALSE(b.items[1]->isVisible());
    EXPECT_TRUE(b.items[2]->isVisible());
    expectRect(b.items[2]->frame(), {0, 0, 80, 40});

    b.box->setCurrentIndex(0);
    b.box->performRelayout();
    EXPECT_TRUE(b.items[0]->isVisible());
    EXPECT_FALSE(b.items[2]->isVisible());
    expectRect(b.items[0]->frame(), {0, 0, 80, 40});
}

TEST(BoxLayout, OrientationAndStackingMarkOnlyOnChange)
{
    Box b(ZovLayoutOrientationHorizontal, 2);
    b.box->performRelayout();
    b.box->setOrientation(ZovLayoutOrientationHorizontal);
    b.box->setStacked(false);
    EXPECT_FALSE(b.box->needsRelayout());
    b.box->setOrientation(ZovLayoutOrientationVertical);
    EXPECT_TRUE(b.box->needsRelayout());
}

TEST(BoxLayout, NestedBoxesRelayOutThroughTheirFrames)
{
    auto root = ZovBoxLayout::createVertical();
    auto row = ZovBoxLayout::createHorizontal();
    ZovBoxLayout* rowRaw = row.get();
    auto left = ZovLayoutItem::create();
    ZovLayoutItem* l = left.get();
    left->setHSizePolicy(MakeFixedSizePolicy(30));
    auto right = ZovLayoutItem::create();
    ZovLayoutItem* r = right.get();
    row->addItem(std::move(left));
    row->addItem(std::move(right));
    root->addItem(std::move(row));
    auto footer = ZovLayoutItem::create();
    footer->setVSizePolicy(MakeFixedSizePolicy(20));
    root->addItem(std::move(footer));

    root->setFrame({0, 0, 200, 100});
    expectRect(rowRaw->frame(), {0, 0, 200, 80});
    expectRect(l->frame(), {0, 0, 30, 80});
    expectRect(r->frame(), {30, 0, 170, 80});
    expectRect(r->calculateAbsoluteFrame(), {30, 0, 170, 80});
}
