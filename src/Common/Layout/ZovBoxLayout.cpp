#include "Common/Layout/ZovBoxLayout.h"

#include <vector>

#include "Platform/Exception.h"

namespace vistel {

ZovBoxLayout::ZovBoxLayout(std::int32_t orientation) : orientation_(orientation) { }

ZovBoxLayout::~ZovBoxLayout()
{
    // The children are destroyed by ZovLayout; items_ only lists them.
    items_.clear();
}

std::unique_ptr<ZovBoxLayout> ZovBoxLayout::create(std::int32_t orientation)
{
    return std::unique_ptr<ZovBoxLayout>(new ZovBoxLayout(orientation));
}

ZovBoxLayout* ZovBoxLayout::createWithParentLayout(std::int32_t orientation, ZovLayout& parent)
{
    return attach(create(orientation), parent);
}

void ZovBoxLayout::setOrientation(std::int32_t orientation)
{
    if (orientation == orientation_)
        return;
    orientation_ = orientation;
    setNeedsRelayout();
}

void ZovBoxLayout::setStacked(bool stacked)
{
    if (stacked == isStacked_)
        return;
    isStacked_ = stacked;
    setNeedsRelayout();
}

void ZovBoxLayout::setCurrentIndex(std::int32_t index)
{
    ZOV_ASSERT(index >= 0 && index < items_.count(), "Index out of range");
    if (index == currentIndex_)
        return;
    currentIndex_ = index;
    setNeedsRelayout();
}

std::int32_t ZovBoxLayout::insertItem(ZovLayoutItem* item, std::int32_t index)
{
    ZOV_ASSERT(item != nullptr, "No such item");
    // An item that is already in this box leaves it first, so the range it may go to is one
    // shorter; check before anything moves.
    const std::int32_t countAfterRemoval = items_.count() - (item->parentLayout() == this ? 1 : 0);
    ZOV_ASSERT(index >= -1 && index <= countAfterRemoval - 1, "Index out of range");

    struct InsertionMark {
        ZovLayoutItem*& mark;
        ~InsertionMark() { mark = nullptr; }
    } insertionMark {lastInsertedItem_};
    lastInsertedItem_ = item;
    item->setParentLayout(this);
    lastInsertedItem_ = nullptr;

    const bool wasEmpty = items_.isEmpty();
    items_.insertObject(item, index + 1);
    if (wasEmpty)
        currentIndex_ = 0;
    setNeedsRelayout();
    return index + 1;
}

std::int32_t ZovBoxLayout::insertItem(std::unique_ptr<ZovLayoutItem> item, std::int32_t index)
{
    ZOV_ASSERT(item != nullptr, "No such item");
    ZOV_ASSERT(index >= -1 && index <= items_.count() - 1, "Index out of range");
    return insertItem(item.release(), index);
}

std::unique_ptr<ZovLayoutItem> ZovBoxLayout::removeItem(ZovLayoutItem* item)
{
    ZOV_ASSERT(item != nullptr && items_.containsObject(item), "No such item");
    return item->detach();
}

std::unique_ptr<ZovLayoutItem> ZovBoxLayout::removeItemAtIndex(std::int32_t index)
{
    return items_.objectAtIndex(index)->detach();
}

void ZovBoxLayout::clearItems()
{
    // The detached items have no other owner: they are destroyed here, which also lets their
    // delegates unbind whatever they were bound to.
    while (!items_.isEmpty())
        items_.firstObject()->detach().reset();
    setNeedsRelayout();
}

void ZovBoxLayout::childItemAdded(ZovLayoutItem& item)
{
    ZOV_ASSERT(&item == lastInsertedItem_, "Do not use explicit [ZovLayoutItem setParentLayout:]");
}

void ZovBoxLayout::childItemRemoved(ZovLayoutItem& item)
{
    const std::int32_t n = items_.count();
    const std::int32_t k = items_.indexOfObject(&item);
    if (k != ZovArrayBase::NotFound) {
        items_.removeObjectAtIndex(k);
        if (n == 1)
            currentIndex_ = -1;
        else if (k <= currentIndex_)
            --currentIndex_;
    }
    setNeedsRelayout();
}

void ZovBoxLayout::childItemReplacedFrom(ZovLayoutItem& oldItem, ZovLayoutItem& newItem)
{
    const std::int32_t index = items_.indexOfObject(&oldItem);
    if (index != ZovArrayBase::NotFound)
        items_.replaceObject(&newItem, index);
}

// The visible children's policy on one axis (0 horizontal, 1 vertical).
ZovSizePolicy ZovBoxLayout::gatheredPolicy(std::int32_t axis)
{
    auto policyOf = [axis](ZovLayoutItem* child) {
        return axis == ZovLayoutOrientationHorizontal ? child->hSizePolicy() : child->vSizePolicy();
    };
    std::vector<ZovLayoutItem*> visible;
    for (ZovLayoutItem* child : items_)
        if (child->isVisible())
            visible.push_back(child);
    if (visible.empty())
        return MakePreferredSizePolicy(0, 0, -1);
    if (visible.size() == 1)
        return policyOf(visible.front());
    std::vector<ZovSizePolicy> policies;
    if (axis == orientation_) {
        const float s = spacing();
        for (std::size_t i = 0; i < visible.size(); ++i) {
            if (i > 0 && s != 0)
                policies.push_back(MakePreferredSizePolicy(s, 0, s));
            policies.push_back(policyOf(visible[i]));
        }
        return CombineSizePoliciesAlong(policies);
    }
    for (ZovLayoutItem* child : visible)
        policies.push_back(policyOf(child));
    return CombineSizePoliciesAcross(policies);
}

ZovSizePolicy ZovBoxLayout::hSizePolicy()
{
    return hSizePolicyWithMargins(gatheredPolicy(ZovLayoutOrientationHorizontal));
}

ZovSizePolicy ZovBoxLayout::vSizePolicy()
{
    return vSizePolicyWithMargins(gatheredPolicy(ZovLayoutOrientationVertical));
}

// Without margins the child fills the box; with margins a bounded child is sized and centred.
void ZovBoxLayout::placeAlone(ZovLayoutItem& child)
{
    const LayoutRect& f = frame();
    const ZovSpacePair h = hSizeWithMargins(f.width, child.hSizePolicy());
    const ZovSpacePair v = vSizeWithMargins(f.height, child.vSizePolicy());
    child.setFrame({h.offset, v.offset, h.size, v.size});
}

void ZovBoxLayout::relayout()
{
    bool anyVisible = false;
    for (ZovLayoutItem* child : items_)
        anyVisible = anyVisible || child->isVisible();
    if (!anyVisible)
        return;

    if (isStacked_) {
        const std::vector<ZovLayoutItem*> children = items_.toVector();
        for (std::size_t i = 0; i < children.size(); ++i)
            children[i]->setVisible(static_cast<std::int32_t>(i) == currentIndex_);
        if (currentIndex_ >= 0 && currentIndex_ < items_.count())
            placeAlone(*items_.objectAtIndex(currentIndex_));
        return;
    }

    std::vector<ZovLayoutItem*> visible;
    for (ZovLayoutItem* child : items_)
        if (child->isVisible())
            visible.push_back(child);
    if (visible.size() == 1) {
        placeAlone(*visible.front());
        return;
    }

    const LayoutRect& f = frame();
    const ZovSpacePair h = hSizeWithMargins(f.width, gatheredPolicy(ZovLayoutOrientationHorizontal));
    const ZovSpacePair v = vSizeWithMargins(f.height, gatheredPolicy(ZovLayoutOrientationVertical));
    const bool horizontal = orientation_ == ZovLayoutOrientationHorizontal;
    const float space = horizontal ? h.size : v.size;
    const float s = spacing();
    const bool spaced = s != 0;

    std::vector<ZovSizePolicy> policies;
    for (std::size_t i = 0; i < visible.size(); ++i) {
        if (spaced && i > 0)
            policies.push_back(MakePreferredSizePolicy(s, 0, s));
        policies.push_back(horizontal ? visible[i]->hSizePolicy() : visible[i]->vSizePolicy());
    }
    const std::vector<ZovSpacePair> pairs = DistributeSpace(space, policies);
    for (std::size_t k = 0; k < visible.size(); ++k) {
        const ZovSpacePair& pair = pairs[spaced ? 2 * k : k];
        if (horizontal)
            visible[k]->setFrame({h.offset + pair.offset, v.offset, pair.size, v.size});
        else
            visible[k]->setFrame({h.offset, v.offset + pair.offset, h.size, pair.size});
    }
}

} // namespace vistel
