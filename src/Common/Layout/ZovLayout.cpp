#include "Common/Layout/ZovLayout.h"

#include <vector>

#include "Platform/Exception.h"

namespace vistel {

ZovLayout::ZovLayout() = default;

ZovLayout::~ZovLayout()
{
    sendDealloc();
    // The children go without notifications: their parent field is cleared first, so their
    // own destruction does not reach back into this half-destroyed layout.
    const std::vector<ZovLayoutItem*> children = layoutItems_.toVector();
    layoutItems_.clear();
    visibleLayoutItems_.clear();
    for (ZovLayoutItem* child : children)
        child->parentLayout_ = nullptr;
    for (ZovLayoutItem* child : children)
        delete child;
}

namespace {
void checkDirection(std::int32_t direction)
{
    ZOV_ASSERT(direction >= 0 && direction <= 3, "Invalid direction");
}
} // namespace

float ZovLayout::marginForDirection(std::int32_t direction) const
{
    checkDirection(direction);
    return margins_[static_cast<std::size_t>(direction)].margin;
}

bool ZovLayout::isMarginFixedForDirection(std::int32_t direction) const
{
    checkDirection(direction);
    return margins_[static_cast<std::size_t>(direction)].isFixed;
}

void ZovLayout::updateHasMargins() noexcept
{
    hasMargins_ = false;
    for (const ZovLayoutMargin& m : margins_)
        hasMargins_ = hasMargins_ || m.margin != 0;
}

void ZovLayout::setMargin(float margin, std::int32_t direction)
{
    checkDirection(direction);
    margins_[static_cast<std::size_t>(direction)].margin = margin;
    updateHasMargins();
    setNeedsRelayout();
}

void ZovLayout::setMarginFixed(bool fixed, std::int32_t direction)
{
    checkDirection(direction);
    margins_[static_cast<std::size_t>(direction)].isFixed = fixed;
    setNeedsRelayout();
}

void ZovLayout::setMarginsFixed(bool fixed)
{
    for (ZovLayoutMargin& m : margins_)
        m.isFixed = fixed;
    setNeedsRelayout();
}

void ZovLayout::setMargins(float margin)
{
    for (ZovLayoutMargin& m : margins_)
        m.margin = margin;
    updateHasMargins();
    setNeedsRelayout();
}

void ZovLayout::setSpacing(float spacing)
{
    spacing_ = spacing;
    setNeedsRelayout();
}

void ZovLayout::setNeedsRelayout()
{
    if (needsRelayout_)
        return;
    needsRelayout_ = true;
    if (ZovLayout* parent = parentLayout())
        parent->setNeedsRelayout();
}

void ZovLayout::performRelayout()
{
    if (!needsRelayout_)
        return;
    needsRelayout_ = false;
    if (isVisible())
        relayout();
    if (relayoutDelegate_)
        relayoutDelegate_->relayouted(*this);
}

void ZovLayout::setFrame(const LayoutRect& frame)
{
    ZovLayoutItem::setFrame(frame);
    frameChanged();
    setNeedsRelayout();
    performRelayout();
}

ZovLayoutItem* ZovLayout::itemAtPoint(LayoutPoint point)
{
    for (ZovLayoutItem* child : layoutItems_) {
        if (!child->isVisible())
            continue;
        const LayoutRect& f = child->frame();
        if (point.x < f.x || point.x >= f.x + f.width || point.y < f.y || point.y >= f.y + f.height)
            continue;
        if (ZovLayout* layout = child->asLayout())
            return layout->itemAtPoint({point.x - f.x, point.y - f.y});
        return child;
    }
    return nullptr;
}

std::unique_ptr<ZovLayoutItem> ZovLayout::replaceItemFrom(ZovLayoutItem* oldItem, std::unique_ptr<ZovLayoutItem> newItem)
{
    const std::int32_t index = layoutItems_.indexOfObject(oldItem);
    ZOV_ASSERT(oldItem && index != ZovArrayBase::NotFound, "No such item in layout");
    ZOV_ASSERT(newItem && !newItem->parentLayout(), "No such item in layout");

    if (oldItem->isVisible())
        visibleLayoutItems_.removeObject(oldItem);
    oldItem->parentLayout_ = nullptr;
    if (oldItem->delegate())
        oldItem->delegate()->reparented(*oldItem);
    oldItem->sendRootChange();

    ZovLayoutItem* added = newItem.release();
    if (added->isVisible())
        visibleLayoutItems_.addObject(added);
    layoutItems_.replaceObject(added, index);
    added->parentLayout_ = this;
    if (added->delegate())
        added->delegate()->reparented(*added);
    added->sendRootChange();

    std::unique_ptr<ZovLayoutItem> old(oldItem);
    childItemReplacedFrom(*oldItem, *added);
    setNeedsRelayout();
    return old;
}

void ZovLayout::childItemAdded(ZovLayoutItem&) { }

void ZovLayout::childItemRemoved(ZovLayoutItem&) { }

void ZovLayout::childItemReplacedFrom(ZovLayoutItem&, ZovLayoutItem&)
{
    ZOV_RAISE("Must be reimplemented by all subclasses");
}

ZovSizePolicy ZovLayout::sizePolicyWithMargins(const ZovSizePolicy& inner, std::int32_t start) const
{
    if (!hasMargins_)
        return inner;
    auto marginPolicy = [](const ZovLayoutMargin& m) {
        return m.isFixed ? MakeFixedSizePolicy(m.margin) : MakePreferredSizePolicy(m.margin, 0, -1);
    };
    const ZovSizePolicy parts[] = {marginPolicy(margins_[static_cast<std::size_t>(start)]), inner,
                                   marginPolicy(margins_[static_cast<std::size_t>(start + 1)])};
    return CombineSizePoliciesAlong(parts);
}

ZovSpacePair ZovLayout::sizeWithMargins(float length, const ZovSizePolicy& inner, std::int32_t start) const
{
    if (!hasMargins_)
        return {0, length};
    // A margin that is not fixed never grows beyond its value but yields when space is short.
    auto marginPolicy = [](const ZovLayoutMargin& m) {
        return m.isFixed ? MakeFixedSizePolicy(m.margin) : MakePreferredSizePolicy(m.margin, 0, m.margin);
    };
    const ZovSizePolicy parts[] = {marginPolicy(margins_[static_cast<std::size_t>(start)]), inner,
                                   marginPolicy(margins_[static_cast<std::size_t>(start + 1)])};
    ZovSpacePair pairs[3];
    DistributeSpace(length, parts, pairs);
    return pairs[1];
}

ZovSizePolicy ZovLayout::hSizePolicyWithMargins(const ZovSizePolicy& inner) const
{
    return sizePolicyWithMargins(inner, ZovLayoutDirectionLeft);
}

ZovSizePolicy ZovLayout::vSizePolicyWithMargins(const ZovSizePolicy& inner) const
{
    return sizePolicyWithMargins(inner, ZovLayoutDirectionTop);
}

ZovSpacePair ZovLayout::hSizeWithMargins(float length, const ZovSizePolicy& inner) const
{
    return sizeWithMargins(length, inner, ZovLayoutDirectionLeft);
}

ZovSpacePair ZovLayout::vSizeWithMargins(float length, const ZovSizePolicy& inner) const
{
    return sizeWithMargins(length, inner, ZovLayoutDirectionTop);
}

std::string ZovLayout::description() const
{
    std::string text = ZovLayoutItem::description();
    text += " SPACING(" + LayoutFloatText(spacing_) + ")";
    text += " SUB_ITEMS[" + std::to_string(layoutItems_.count()) + "](";
    for (const ZovLayoutItem* child : layoutItems_)
        text += "\n" + child->description();
    text += "\n)";
    return text;
}

} // namespace vistel
