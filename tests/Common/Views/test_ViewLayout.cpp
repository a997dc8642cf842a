// Layout trees bound to widgets: frames, policies from controls, visibility, re-rooting,
// bindings and their ends, destroy handlers and the registries.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <vector>

#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Exception.h"

using namespace vistel;

namespace {

// Records that an item went away.
struct DeallocSpy : ZovLayoutItemDelegate {
    int deallocs = 0;
    void dealloc(ZovLayoutItem&) override { ++deallocs; }
};

struct Registries {
    std::size_t bindings = ZovViewLayout::bindingCount();
    std::size_t views = ZovViewLayoutItem::boundViewCount();
    std::size_t handlers = ZovViewDestroyHandler::registeredViewCount();
    bool operator==(const Registries&) const = default;
};

TEST(ZovViewLayout, TheRootFollowsTheHostsSizeNotItsPosition)
{
    QWidget parent;
    auto* host = new QWidget(&parent);
    View::setFrame(host, {20, 30, 300, 200});
    auto box = ZovBoxLayout::createVertical();
    ZovBoxLayout* raw = box.get();
    ZovViewLayout::attachLayout(std::move(box), host);
    EXPECT_EQ(raw->frame(), (LayoutRect {0, 0, 300, 200}));
    EXPECT_EQ(ZovViewLayout::findLayoutForView(host), raw);
    EXPECT_EQ(ZovViewLayout::findViewForLayout(raw), host);
    View::setFrame(host, {20, 30, 320, 210});
    EXPECT_EQ(raw->frame(), (LayoutRect {0, 0, 320, 210}));
}

TEST(ZovViewLayout, ViewsGoToTheirItemsFramesAtOnceAndFollowVisibility)
{
    QWidget host;
    host.resize(200, 200);
    auto box = ZovBoxLayout::createVertical();
    box->setMargins(10);
    auto* label = new QWidget; // no superview yet: placed when the layout is attached
    auto owned = ZovViewLayoutItem::createLayoutItemForView(label, MakeFixedSizePolicy(50), MakeFixedSizePolicy(20));
    ZovLayoutItem* item = owned.get();
    box->addItem(std::move(owned));
    box->addItem(ZovLayoutItem::createVerticalSpacer(MakeExpandingSizePolicy(0, -1)));
    ZovViewLayout::attachLayout(std::move(box), &host);
    EXPECT_EQ(label->parentWidget(), &host);
    // Top-down as the layout has it (a fixed width is centred across the column).
    EXPECT_EQ(item->calculateAbsoluteFrame(), (LayoutRect {75, 10, 50, 20}));
    EXPECT_EQ(label->geometry(), QRect(75, 10, 50, 20));
    item->setVisible(false);
    EXPECT_TRUE(View::isHidden(label));
    item->setVisible(true);
    EXPECT_FALSE(View::isHidden(label));
}

TEST(ZovViewLayoutItem, ControlsAnswerTheirSizeHintInsideTheirOwnLimits)
{
    QPushButton button("A rather long button title");
    const float hint = static_cast<float>(button.sizeHint().width());
    struct Case { ZovSizePolicy own; float preferred; };
    const Case cases[] {
        {MakePreferredSizePolicy(0, 0, -1), hint},
        {MakePreferredSizePolicy(0, 0, 40), 40},
        {MakePreferredSizePolicy(0, hint + 30, -1), hint + 30},
        {MakeExpandingSizePolicy(0, -1), hint},
    };
    auto item = ZovViewLayoutItem::createLayoutItemForView(&button);
    for (const Case& c : cases) {
        item->setHSizePolicy(c.own);
        const ZovSizePolicy answer = item->hSizePolicy();
        EXPECT_EQ(answer.preferredSize, c.preferred);
        EXPECT_EQ(answer.minSize, c.own.minSize);
        EXPECT_EQ(answer.maxSize, c.own.maxSize);
        EXPECT_EQ(answer.policy, c.own.policy);
    }
    // A plain widget has no answer of its own.
    QWidget plain;
    auto plainItem = ZovViewLayoutItem::createLayoutItemForView(&plain, MakeFixedSizePolicy(7), MakeFixedSizePolicy(8));
    EXPECT_EQ(plainItem->hSizePolicy(), MakeFixedSizePolicy(7));
    EXPECT_EQ(plainItem->hBaseLine(), ZovNoBaseLine);
}

TEST(ZovViewLayout, NestedBoxesKeepNeighboursOnSharedEdgesWhileResized)
{
    QWidget host;
    host.resize(400, 120);
    auto outer = ZovBoxLayout::createVertical();
    outer->setSpacing(3.3f);
    std::vector<QWidget*> widgets;
    for (int row = 0; row < 3; ++row) {
        auto line = ZovBoxLayout::createHorizontal();
        line->setSpacing(0);
        for (int column = 0; column < 3; ++column) {
            QWidget* widget = (row + column) % 2 ? static_cast<QWidget*>(new QLineEdit) : new QPushButton("OK");
            widgets.push_back(widget);
            line->addItem(ZovViewLayoutItem::createLayoutItemForView(widget, MakeExpandingSizePolicy(0, -1),
                                                                     MakePreferredSizePolicy(0, 0, -1)));
        }
        outer->addItem(std::unique_ptr<ZovLayoutItem>(std::move(line)));
    }
    ZovViewLayout::attachLayout(std::move(outer), &host);
    for (int width : {400, 600, 457}) {
        SCOPED_TRACE(width);
        View::setFrame(&host, {0, 0, static_cast<double>(width), 120});
        for (QWidget* widget : widgets) {
            const ZovLayoutItem* item = ZovViewLayoutItem::findLayoutItemForView(widget);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(widget->geometry(), View::pixelRect(toQRectF(item->calculateAbsoluteFrame())));
        }
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(widgets[row * 3]->geometry().left(), 0);
            EXPECT_EQ(widgets[row * 3]->geometry().right() + 1, widgets[row * 3 + 1]->geometry().left());
            EXPECT_EQ(widgets[row * 3 + 1]->geometry().right() + 1, widgets[row * 3 + 2]->geometry().left());
            EXPECT_EQ(widgets[row * 3 + 2]->geometry().right() + 1, width);
        }
    }
}

TEST(ZovViewLayout, OneLiveBindingPerViewAndDetachingEndsIt)
{
    const Registries before;
    QWidget host;
    host.resize(100, 100);
    DeallocSpy spy;
    auto box = ZovBoxLayout::createVertical();
    ZovBoxLayout* raw = box.get();
    raw->setDelegate(&spy);
    ZovViewLayout::attachLayout(std::move(box), &host);
    // Attached again: still one binding, still owned.
    ZovViewLayout::attachLayout(*raw, &host);
    EXPECT_EQ(ZovViewLayout::bindingCount(), before.bindings + 1);
    EXPECT_EQ(spy.deallocs, 0);
    // Detaching ends frame-following and hands the owned layout back.
    std::unique_ptr<ZovLayout> back = ZovViewLayout::detachLayoutFromView(&host);
    EXPECT_EQ(back.get(), raw);
    EXPECT_EQ(ZovViewLayout::findLayoutForView(&host), nullptr);
    EXPECT_EQ(ZovViewLayout::findViewForLayout(raw), nullptr);
    host.resize(150, 150);
    EXPECT_EQ(raw->frame().width, 100);
    // A flagged layout dies with its binding when another one takes the view.
    ZovViewLayout::attachLayout(std::move(back), &host);
    ZovViewLayout::attachLayout(ZovBoxLayout::createHorizontal(), &host);
    EXPECT_EQ(spy.deallocs, 1);
    EXPECT_EQ(ZovViewLayout::bindingCount(), before.bindings + 1);
}

TEST(ZovViewLayout, DeletingTheHostEmptiesTheRegistries)
{
    const Registries before;
    DeallocSpy spy;
    {
        QWidget host;
        host.resize(300, 100);
        auto box = ZovBoxLayout::createHorizontal();
        box->setDelegate(&spy);
        for (int i = 0; i < 4; ++i)
            box->addItem(ZovViewLayoutItem::createLayoutItemForView(new QPushButton("x")));
        ZovViewLayout::attachLayout(std::move(box), &host);
        EXPECT_NE(Registries(), before);
    }
    EXPECT_EQ(spy.deallocs, 1);
    EXPECT_EQ(Registries(), before);
}

TEST(ZovViewLayoutItem, ADestroyedViewLeavesItsItemWithoutView)
{
    auto item = ZovLayoutItem::create();
    {
        QWidget view;
        ZovViewLayoutItem::attachView(&view, *item);
        EXPECT_EQ(ZovViewLayoutItem::findLayoutItemForView(&view), item.get());
    }
    EXPECT_EQ(ZovViewLayoutItem::viewOfItem(*item), nullptr);
    EXPECT_EQ(item->delegate(), nullptr);
    item->setFrame({0, 0, 10, 10}); // nothing to place, no assertion
}

TEST(ZovViewLayoutItem, ItemsJoiningABoundTreeBringTheirViewsAlong)
{
    QWidget host;
    host.resize(200, 100);
    auto box = ZovBoxLayout::createHorizontal();
    ZovBoxLayout* raw = box.get();
    ZovViewLayout::attachLayout(std::move(box), &host);
    QWidget* view = new QWidget;
    raw->addItem(ZovViewLayoutItem::createLayoutItemForView(view));
    EXPECT_EQ(view->parentWidget(), &host);
    raw->performRelayout();
    EXPECT_EQ(view->geometry(), QRect(0, 0, 200, 100));
    // Taken out of the tree: the view leaves the host and is not left as a window.
    std::unique_ptr<ZovLayoutItem> item = raw->removeItemAtIndex(0);
    EXPECT_FALSE(View::hasSuperview(view));
    EXPECT_FALSE(view->isWindow());
    delete view;
    EXPECT_EQ(ZovViewLayoutItem::viewOfItem(*item), nullptr);
}

TEST(ZovViewDestroyHandler, BothObserversHearOfTheEndOnce)
{
    const Registries before;
    int calls = 0;
    std::unique_ptr<ZovViewDestroyHandler> first;
    std::unique_ptr<ZovViewDestroyHandler> second;
    std::unique_ptr<ZovViewDestroyHandler> dropped;
    {
        QWidget view;
        first = ZovViewDestroyHandler::create(&view, [&](ZovViewDestroyHandler& h) {
            ++calls;
            EXPECT_EQ(&h, first.get());
            first.reset(); // dropped in its own callback
        });
        second = ZovViewDestroyHandler::create(&view, [&](ZovViewDestroyHandler&) { ++calls; });
        dropped = ZovViewDestroyHandler::create(&view, [&](ZovViewDestroyHandler&) { ADD_FAILURE(); });
        dropped.reset();
    }
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second->view(), nullptr);
    second.reset();
    EXPECT_EQ(Registries(), before);
}

TEST(ZovViewLayoutItem, ViewOperationsOnAnItemWithoutViewAssert)
{
    auto item = ZovLayoutItem::create();
    item->setDelegate(&ZovViewLayoutItem::shared());
    EXPECT_THROW(ZovViewLayoutItem::shared().frameChanged(*item), Exception);
    item->setDelegate(nullptr);
}

} // namespace
