#include <gtest/gtest.h>

#include <memory>

#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Layout/ZovLayout.h"
#include "LayoutTestSupport.h"

using namespace vistel;
using vistel::test::assertionText;
using vistel::test::expectPolicy;
using vistel::test::RecordingDelegate;

namespace {

// A layout that places nothing, to hold children in these tests.
class PlainLayout : public ZovLayout {
public:
    static std::unique_ptr<PlainLayout> create() { return std::unique_ptr<PlainLayout>(new PlainLayout()); }
};

} // namespace

TEST(LayoutItem, Defaults)
{
    auto item = ZovLayoutItem::create();
    expectPolicy(item->hSizePolicy(), MakePreferredSizePolicy(0, 0, -1));
    expectPolicy(item->vSizePolicy(), MakePreferredSizePolicy(0, 0, -1));
    EXPECT_EQ(item->frame(), LayoutRect {});
    EXPECT_EQ(item->heightForWidthFactor(), -1);
    EXPECT_TRUE(item->isVisible());
    EXPECT_EQ(item->parentLayout(), nullptr);
    EXPECT_EQ(item->delegate(), nullptr);
    EXPECT_TRUE(item->customProperty("anything").isNull());
    EXPECT_EQ(item->topLevelLayout(), nullptr);
    EXPECT_EQ(item->hBaseLine(), ZovNoBaseLine);
    EXPECT_EQ(item->vBaseLine(), ZovNoBaseLine);
}

TEST(LayoutItem, Spacers)
{
    const ZovSizePolicy policy = MakeExpandingSizePolicy(5, -1);
    auto h = ZovLayoutItem::createHorizontalSpacer(policy);
    expectPolicy(h->hSizePolicy(), policy);
    expectPolicy(h->vSizePolicy(), MakeFixedSizePolicy(0));
    auto v = ZovLayoutItem::createVerticalSpacer(policy);
    expectPolicy(v->vSizePolicy(), policy);
    expectPolicy(v->hSizePolicy(), MakeFixedSizePolicy(0));
}

TEST(LayoutItem, DelegateAnswersUnlessItsKindIsZero)
{
    RecordingDelegate delegate; // outlives the item it answers for
    auto item = ZovLayoutItem::create();
    item->setHSizePolicy(MakeFixedSizePolicy(40));
    item->setVSizePolicy(MakeFixedSizePolicy(30));
    item->setDelegate(&delegate);
    expectPolicy(item->hSizePolicy(), MakeFixedSizePolicy(40), "kind 0 lets the own policy through");
    expectPolicy(item->vSizePolicy(), MakeFixedSizePolicy(30));
    delegate.hAnswer = MakeExpandingSizePolicy(1, 2);
    delegate.vAnswer = MakePreferredSizePolicy(7, 0, -1);
    expectPolicy(item->hSizePolicy(), MakeExpandingSizePolicy(1, 2));
    expectPolicy(item->vSizePolicy(), MakePreferredSizePolicy(7, 0, -1));
    expectPolicy(item->ownHSizePolicy(), MakeFixedSizePolicy(40));
}

TEST(LayoutItem, HeightForWidth)
{
    RecordingDelegate delegate;
    auto item = ZovLayoutItem::create();
    item->setHSizePolicy(MakePreferredSizePolicy(20, 10, 50));
    item->setHeightForWidthFactor(1);
    item->setFrame({0, 0, 40, 5});
    expectPolicy(item->vSizePolicy(), {10, 50, 40, ZovSizePolicyPreferred});

    item->setHeightForWidthFactor(0.5f);
    expectPolicy(item->vSizePolicy(), {5, 25, 20, ZovSizePolicyPreferred});

    item->setHSizePolicy(MakePreferredSizePolicy(20, 10, -1));
    item->setHeightForWidthFactor(2);
    expectPolicy(item->vSizePolicy(), {20, -1, 80, ZovSizePolicyPreferred}, "unbounded stays unbounded");

    // The own horizontal policy counts, not the delegate's; a vertical answer wins outright.
    delegate.hAnswer = MakeFixedSizePolicy(999);
    item->setDelegate(&delegate);
    expectPolicy(item->vSizePolicy(), {20, -1, 80, ZovSizePolicyPreferred});
    delegate.vAnswer = MakeFixedSizePolicy(3);
    expectPolicy(item->vSizePolicy(), MakeFixedSizePolicy(3));
}

TEST(LayoutItem, SetFrameAlwaysNotifies)
{
    RecordingDelegate delegate;
    auto item = ZovLayoutItem::create();
    item->setDelegate(&delegate);
    item->setFrame({1, 2, 3, 4});
    item->setFrame({1, 2, 3, 4});
    EXPECT_EQ(delegate.events, "frame;frame;");
    EXPECT_EQ(item->frame(), (LayoutRect {1, 2, 3, 4}));
}

TEST(LayoutItem, VisibilityChangesMarkTheParentAndKeepTheVisibleList)
{
    RecordingDelegate delegate;
    auto root = PlainLayout::create();
    ZovLayoutItem* a = ZovLayoutItem::createWithParentLayout(*root);
    ZovLayoutItem* b = ZovLayoutItem::createWithParentLayout(*root);
    a->setDelegate(&delegate);
    root->performRelayout();
    ASSERT_FALSE(root->needsRelayout());

    a->setVisible(false);
    EXPECT_TRUE(root->needsRelayout());
    EXPECT_EQ(delegate.events, "visibility;");
    EXPECT_EQ(root->visibleLayoutItems().toVector(), std::vector<ZovLayoutItem*> {b});

    root->performRelayout();
    a->setVisible(false); // already hidden: nothing
    EXPECT_FALSE(root->needsRelayout());
    EXPECT_EQ(delegate.events, "visibility;");

    a->setVisible(true); // the visible list is in the order items became visible
    EXPECT_EQ(root->visibleLayoutItems().toVector(), (std::vector<ZovLayoutItem*> {b, a}));
    EXPECT_EQ(root->layoutItems().toVector(), (std::vector<ZovLayoutItem*> {a, b}));
}

TEST(LayoutItem, AbsoluteFrameAndConversions)
{
    auto root = PlainLayout::create();
    root->setFrame({1, 1, 200, 200});
    PlainLayout* middle = ZovLayoutItem::attach(PlainLayout::create(), *root);
    middle->setFrame({10, 20, 100, 100});
    ZovLayoutItem* child = ZovLayoutItem::createWithParentLayout(*middle);
    child->setFrame({5, 5, 30, 40});

    const LayoutRect absolute = child->calculateAbsoluteFrame();
    EXPECT_EQ(absolute, (LayoutRect {16, 26, 30, 40}));

    EXPECT_EQ(child->convertPointTo({0, 0}, nullptr), (LayoutPoint {16, 26}));
    EXPECT_EQ(child->convertPointTo({0, 0}, middle), (LayoutPoint {5, 5}));
    EXPECT_EQ(child->convertPointTo({1, 1}, root.get()), (LayoutPoint {16, 26}));
    EXPECT_EQ(child->convertRectTo({1, 2, 3, 4}, middle), (LayoutRect {6, 7, 3, 4}));
    EXPECT_EQ(child->convertPointFrom({16, 26}, nullptr), (LayoutPoint {0, 0}));
    EXPECT_EQ(child->convertRectFrom({6, 7, 3, 4}, middle), (LayoutRect {1, 2, 3, 4}));
    auto unrelated = ZovLayoutItem::create();
    EXPECT_EQ(child->convertPointTo({0, 0}, unrelated.get()), (LayoutPoint {16, 26}));

    auto lone = PlainLayout::create();
    ZovLayoutItem* loneChild = ZovLayoutItem::createWithParentLayout(*lone);
    loneChild->setFrame({5, 5, 1, 1});
    EXPECT_EQ(loneChild->convertPointTo({0, 0}, nullptr), (LayoutPoint {5, 5}));
}

TEST(LayoutItem, VisibleToAnAncestor)
{
    auto root = PlainLayout::create();
    PlainLayout* middle = ZovLayoutItem::attach(PlainLayout::create(), *root);
    ZovLayoutItem* child = ZovLayoutItem::createWithParentLayout(*middle);
    EXPECT_TRUE(child->isVisibleTo(root.get()));
    middle->setVisible(false);
    EXPECT_FALSE(child->isVisibleTo(root.get()));
    EXPECT_TRUE(child->isVisibleTo(middle)); // the given layout's own flag does not count
    auto stranger = PlainLayout::create();
    EXPECT_EQ(assertionText([&] { child->isVisibleTo(stranger.get()); }), "Given layout is not in layout chain");
}

TEST(LayoutItem, SizesForWidthAndHeight)
{
    auto item = ZovLayoutItem::create();
    item->setHSizePolicy(MakePreferredSizePolicy(30, 10, 50));
    item->setVSizePolicy(MakeExpandingSizePolicy(5, -1));
    LayoutSize min, max, preferred;
    item->calculateSizes(&min, &max, &preferred);
    EXPECT_EQ(min, (LayoutSize {10, 5}));
    EXPECT_EQ(max, (LayoutSize {50, ZovNoBaseLine}));
    EXPECT_EQ(preferred, (LayoutSize {30, 0}));
    item->calculateSizes(nullptr, &max, nullptr);
    EXPECT_EQ(max.width, 50);
}

TEST(LayoutItem, CustomProperties)
{
    auto item = ZovLayoutItem::create();
    item->setCustomProperty(Value(42), "answer");
    EXPECT_EQ(item->customProperty("answer").toInt64(), 42);
    item->setCustomProperty(Value(), "answer");
    EXPECT_TRUE(item->customProperty("answer").isNull());
}

TEST(LayoutItem, ReparentingTellsTheDelegateAndWalksTheRootChangeDepthFirst)
{
    RecordingDelegate movingDelegate;
    RecordingDelegate leafDelegate;
    auto rootA = PlainLayout::create();
    auto rootB = PlainLayout::create();
    auto moving = PlainLayout::create();
    ZovLayoutItem* leaf = ZovLayoutItem::createWithParentLayout(*moving);
    moving->setDelegate(&movingDelegate);
    leaf->setDelegate(&leafDelegate);

    PlainLayout* placed = ZovLayoutItem::attach(std::move(moving), *rootA);
    EXPECT_EQ(movingDelegate.events, "reparented;root;");
    EXPECT_EQ(leafDelegate.events, "root;");
    EXPECT_EQ(leaf->topLevelLayout(), rootA.get());
    EXPECT_TRUE(rootA->needsRelayout());

    rootB->performRelayout();
    placed->setParentLayout(rootB.get()); // moves between two owners
    EXPECT_EQ(rootA->layoutItems().count(), 0);
    EXPECT_EQ(rootB->layoutItems().toVector(), std::vector<ZovLayoutItem*> {placed});
    EXPECT_EQ(leaf->topLevelLayout(), rootB.get());
    EXPECT_TRUE(rootB->needsRelayout());

    std::unique_ptr<ZovLayoutItem> back = placed->detach();
    EXPECT_EQ(placed->parentLayout(), nullptr);
    EXPECT_EQ(placed->topLevelLayout(), placed);
    EXPECT_EQ(leafDelegate.events, "root;root;root;");
    EXPECT_EQ(assertionText([&] { back->detach().release(); }), "No such item in layout");
}

TEST(LayoutItem, ALayoutCannotGoInsideItself)
{
    auto root = PlainLayout::create();
    PlainLayout* inner = ZovLayoutItem::attach(PlainLayout::create(), *root);
    EXPECT_EQ(assertionText([&] { root->setParentLayout(inner); }), "Layout cannot contain itself");
    EXPECT_EQ(assertionText([&] { inner->setParentLayout(inner); }), "Layout cannot contain itself");
    EXPECT_EQ(inner->parentLayout(), root.get()); // refused before anything moved
    EXPECT_EQ(root->parentLayout(), nullptr);
}

TEST(LayoutItem, DestructionTellsTheDelegateOnce)
{
    RecordingDelegate rootDelegate;
    RecordingDelegate childDelegate;
    {
        auto root = PlainLayout::create();
        root->setDelegate(&rootDelegate);
        ZovLayoutItem::createWithParentLayout(*root)->setDelegate(&childDelegate);
    }
    EXPECT_EQ(rootDelegate.deallocs, 1);
    EXPECT_EQ(childDelegate.deallocs, 1);
}

TEST(LayoutItem, DescriptionKeepsItsShape)
{
    auto item = ZovLayoutItem::create();
    item->setHSizePolicy(MakeFixedSizePolicy(20));
    item->setVSizePolicy(MakeExpandingSizePolicy(0, -1));
    item->setFrame({1, 2, 20, 40.4f});
    item->setVisible(false);
    const std::string expected = "[ZovLayoutItem " + LayoutPointerText(item.get())
        + "]V(0,-1,0,Expanding) H(20,20,20,Fixed) HV=-1 INVISIBLE FRAME(1,2,20,40) CUSTOM((null)) "
          "PARENT(0x0000000000000000)";
    EXPECT_EQ(item->description(), expected);
    EXPECT_EQ(LayoutPointerText(reinterpret_cast<void*>(0xabc)), "0x0000000000000abc");
}
