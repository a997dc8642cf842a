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

// A layout that counts its relayouts and places nothing.
class CountingLayout : public ZovLayout {
public:
    static std::unique_ptr<CountingLayout> create() { return std::unique_ptr<CountingLayout>(new CountingLayout()); }
    void relayout() override { ++relayouts; }
    int relayouts = 0;
};

struct RelayoutRecorder : ZovLayoutRelayoutDelegate {
    void relayouted(ZovLayout&) override { ++count; }
    int count = 0;
};

} // namespace

TEST(Layout, MarginsSwitchThePoliciesAroundTheInnerOne)
{
    auto layout = CountingLayout::create();
    const ZovSizePolicy inner = MakePreferredSizePolicy(50, 10, 80);
    expectPolicy(layout->hSizePolicyWithMargins(inner), inner, "no margins");

    layout->setMargin(4, ZovLayoutDirectionTop); // a vertical margin alone...
    EXPECT_TRUE(layout->hasMargins());
    expectPolicy(layout->hSizePolicyWithMargins(inner), {10, -1, 50, ZovSizePolicyPreferred}, "...unbounds the horizontal");
    expectPolicy(layout->vSizePolicyWithMargins(inner), {14, -1, 54, ZovSizePolicyPreferred});

    layout->setMarginFixed(false, ZovLayoutDirectionBottom);
    layout->setMargin(6, ZovLayoutDirectionBottom);
    // A margin that is not fixed counts as Preferred(m, 0, -1) in the policy: no minimum.
    expectPolicy(layout->vSizePolicyWithMargins(inner), {14, -1, 60, ZovSizePolicyPreferred});

    layout->setMargins(0);
    EXPECT_FALSE(layout->hasMargins());
    expectPolicy(layout->vSizePolicyWithMargins(inner), inner, "margins back to 0");
    EXPECT_FALSE(layout->isMarginFixedForDirection(ZovLayoutDirectionBottom));
    layout->setMarginsFixed(true);
    EXPECT_TRUE(layout->isMarginFixedForDirection(ZovLayoutDirectionBottom));
}

TEST(Layout, InnerAreaWithMargins)
{
    auto layout = CountingLayout::create();
    EXPECT_EQ(layout->hSizeWithMargins(100, MakeExpandingSizePolicy(0, -1)), (ZovSpacePair {0, 100}));

    layout->setMargin(10, ZovLayoutDirectionLeft);
    layout->setMargin(10, ZovLayoutDirectionRight);
    const ZovSpacePair fixedMargins = layout->hSizeWithMargins(100, MakeExpandingSizePolicy(0, -1));
    EXPECT_FLOAT_EQ(fixedMargins.offset, 10);
    EXPECT_FLOAT_EQ(fixedMargins.size, 80);

    layout->setMarginsFixed(false);
    const ZovSpacePair loose = layout->hSizeWithMargins(100, MakePreferredSizePolicy(50, 0, -1));
    EXPECT_FLOAT_EQ(loose.offset, 10);
    EXPECT_FLOAT_EQ(loose.size, 80);
    // Margins that are not fixed yield when space is short; fixed ones do not.
    const ZovSpacePair squeezed = layout->hSizeWithMargins(30, MakeFixedSizePolicy(30));
    EXPECT_FLOAT_EQ(squeezed.offset, 0);
    EXPECT_FLOAT_EQ(squeezed.size, 30);
}

TEST(Layout, DirectionsAreChecked)
{
    auto layout = CountingLayout::create();
    EXPECT_EQ(assertionText([&] { layout->setMargin(1, 4); }), "Invalid direction");
    EXPECT_EQ(assertionText([&] { layout->setMarginFixed(true, -1); }), "Invalid direction");
    EXPECT_EQ(assertionText([&] { layout->marginForDirection(7); }), "Invalid direction");
    EXPECT_EQ(assertionText([&] { layout->isMarginFixedForDirection(4); }), "Invalid direction");
}

TEST(Layout, TheMarkClimbsUntilAMarkedAncestor)
{
    auto root = CountingLayout::create();
    CountingLayout* middle = ZovLayoutItem::attach(CountingLayout::create(), *root);
    CountingLayout* inner = ZovLayoutItem::attach(CountingLayout::create(), *middle);
    root->performRelayout();
    middle->performRelayout();
    inner->performRelayout();
    ASSERT_FALSE(root->needsRelayout());

    inner->setSpacing(3);
    EXPECT_TRUE(inner->needsRelayout());
    EXPECT_TRUE(middle->needsRelayout());
    EXPECT_TRUE(root->needsRelayout());

    root->performRelayout();
    EXPECT_EQ(root->relayouts, 2); // once for its children's arrival, once now
    EXPECT_FALSE(root->needsRelayout());
    inner->setSpacing(4); // middle is still marked: the climb stops there
    EXPECT_FALSE(root->needsRelayout());
}

TEST(Layout, PerformRelayoutOnAHiddenLayoutTellsTheDelegateOnly)
{
    auto layout = CountingLayout::create();
    RelayoutRecorder recorder;
    layout->setRelayoutDelegate(&recorder);
    layout->setVisible(false);
    layout->setNeedsRelayout();
    layout->performRelayout();
    EXPECT_FALSE(layout->needsRelayout());
    EXPECT_EQ(layout->relayouts, 0);
    EXPECT_EQ(recorder.count, 1);
    layout->performRelayout(); // not marked: nothing
    EXPECT_EQ(recorder.count, 1);
}

TEST(Layout, SettingTheFrameLaysOutAtOnce)
{
    RecordingDelegate delegate;
    auto layout = CountingLayout::create();
    layout->setDelegate(&delegate);
    layout->setFrame({0, 0, 10, 10});
    EXPECT_EQ(layout->relayouts, 1);
    EXPECT_EQ(delegate.events, "frame;");
    EXPECT_FALSE(layout->needsRelayout());
}

TEST(Layout, ItemAtPoint)
{
    auto root = CountingLayout::create();
    ZovLayoutItem* first = ZovLayoutItem::createWithParentLayout(*root);
    first->setFrame({0, 0, 50, 50});
    CountingLayout* nested = ZovLayoutItem::attach(CountingLayout::create(), *root);
    nested->setFrame({50, 0, 50, 50});
    ZovLayoutItem* inNested = ZovLayoutItem::createWithParentLayout(*nested);
    inNested->setFrame({10, 10, 10, 10});
    ZovLayoutItem* later = ZovLayoutItem::createWithParentLayout(*root);
    later->setFrame({50, 0, 50, 50}); // under the nested layout

    EXPECT_EQ(root->itemAtPoint({0, 0}), first);
    EXPECT_EQ(root->itemAtPoint({49.9f, 49.9f}), first);
    EXPECT_EQ(root->itemAtPoint({60, 10}), inNested);
    // In the nested layout but in none of its children: no hit, whatever lies under it.
    EXPECT_EQ(root->itemAtPoint({55, 5}), nullptr);
    EXPECT_EQ(root->itemAtPoint({100, 10}), nullptr); // the right edge is outside
    nested->setVisible(false);
    EXPECT_EQ(root->itemAtPoint({55, 5}), later);
}

TEST(Layout, ReplaceItemHandsTheOldOneBack)
{
    RecordingDelegate oldDelegate;
    RecordingDelegate newDelegate;
    auto box = ZovBoxLayout::createVertical();
    ZovLayoutItem* a = nullptr;
    {
        auto item = ZovLayoutItem::create();
        a = item.get();
        box->addItem(std::move(item));
    }
    auto bItem = ZovLayoutItem::create();
    ZovLayoutItem* b = bItem.get();
    box->addItem(std::move(bItem));
    box->performRelayout();

    auto replacement = ZovLayoutItem::create();
    ZovLayoutItem* r = replacement.get();
    a->setDelegate(&oldDelegate);
    r->setDelegate(&newDelegate);
    std::unique_ptr<ZovLayoutItem> old = box->replaceItemFrom(a, std::move(replacement));
    EXPECT_EQ(old.get(), a);
    EXPECT_EQ(a->parentLayout(), nullptr);
    EXPECT_EQ(r->parentLayout(), box.get());
    EXPECT_EQ(box->layoutItems().toVector(), (std::vector<ZovLayoutItem*> {r, b}));
    EXPECT_EQ(box->items().toVector(), (std::vector<ZovLayoutItem*> {r, b}));
    EXPECT_EQ(box->visibleLayoutItems().toVector(), (std::vector<ZovLayoutItem*> {b, r}));
    EXPECT_EQ(oldDelegate.events, "reparented;root;");
    EXPECT_EQ(newDelegate.events, "reparented;root;");
    EXPECT_TRUE(box->needsRelayout());

    auto stranger = ZovLayoutItem::create();
    EXPECT_EQ(assertionText([&] { box->replaceItemFrom(stranger.get(), ZovLayoutItem::create()); }),
              "No such item in layout");

    // A layout that does not know how to follow a replacement says so.
    auto plain = CountingLayout::create();
    ZovLayoutItem* child = ZovLayoutItem::createWithParentLayout(*plain);
    EXPECT_EQ(assertionText([&] { plain->replaceItemFrom(child, ZovLayoutItem::create()); }),
              "Must be reimplemented by all subclasses");
}
