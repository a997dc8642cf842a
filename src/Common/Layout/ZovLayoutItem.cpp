#include "Common/Layout/ZovLayoutItem.h"

#include <cinttypes>
#include <cstdio>

#include "Common/Layout/ZovLayout.h"
#include "Platform/Exception.h"

namespace vistel {

std::string LayoutPointerText(const void* pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%016" PRIxPTR, reinterpret_cast<std::uintptr_t>(pointer));
    return text;
}

std::string LayoutFloatText(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
    return text;
}

ZovLayoutItem::ZovLayoutItem()
    : hpolicy_(MakePreferredSizePolicy(0, 0, -1))
    , vpolicy_(MakePreferredSizePolicy(0, 0, -1))
{
}

std::unique_ptr<ZovLayoutItem> ZovLayoutItem::create()
{
    return std::unique_ptr<ZovLayoutItem>(new ZovLayoutItem());
}

ZovLayoutItem* ZovLayoutItem::createWithParentLayout(ZovLayout& parent)
{
    return attach(create(), parent);
}

std::unique_ptr<ZovLayoutItem> ZovLayoutItem::createHorizontalSpacer(const ZovSizePolicy& policy)
{
    auto item = create();
    item->hpolicy_ = policy;
    item->vpolicy_ = MakeFixedSizePolicy(0);
    return item;
}

std::unique_ptr<ZovLayoutItem> ZovLayoutItem::createVerticalSpacer(const ZovSizePolicy& policy)
{
    auto item = create();
    item->vpolicy_ = policy;
    item->hpolicy_ = MakeFixedSizePolicy(0);
    return item;
}

std::unique_ptr<ZovLayoutItem> ZovLayoutItem::detach()
{
    // A parentless item already belongs to a unique_ptr somewhere: a second one would free it twice.
    ZOV_ASSERT(parentLayout_ != nullptr, "No such item in layout");
    setParentLayout(nullptr);
    return std::unique_ptr<ZovLayoutItem>(this);
}

ZovLayoutItem::~ZovLayoutItem()
{
    sendDealloc();
    // Only an item deleted while it still has a parent gets here with one (a layout clears
    // the parent of each child before destroying it): leave the parent consistent.
    if (ZovLayout* parent = parentLayout_) {
        parentLayout_ = nullptr;
        parent->childItemRemoved(*this);
        if (parent->layoutItems_.containsObject(this))
            parent->layoutItems_.removeObject(this);
        if (parent->visibleLayoutItems_.containsObject(this))
            parent->visibleLayoutItems_.removeObject(this);
    }
}

void ZovLayoutItem::sendDealloc()
{
    if (deallocSent_)
        return;
    deallocSent_ = true;
    if (delegate_)
        delegate_->dealloc(*this);
}

ZovSizePolicy ZovLayoutItem::hSizePolicy()
{
    if (delegate_) {
        const ZovSizePolicy answer = delegate_->hSizePolicyRequested(*this);
        if (answer.policy != ZovSizePolicyNull)
            return answer;
    }
    return hpolicy_;
}

ZovSizePolicy ZovLayoutItem::vSizePolicy()
{
    if (delegate_) {
        const ZovSizePolicy answer = delegate_->vSizePolicyRequested(*this);
        if (answer.policy != ZovSizePolicyNull)
            return answer;
    }
    if (heightForWidthFactor_ == -1)
        return vpolicy_;
    // Height for width follows the own horizontal policy, not the delegate's.
    const float f = heightForWidthFactor_;
    const float maxSize = hpolicy_.isUnbounded() ? ZovSizeUnbounded : f * hpolicy_.maxSize;
    return MakePreferredSizePolicy(f * frame_.width, f * hpolicy_.minSize, maxSize);
}

void ZovLayoutItem::setHSizePolicy(const ZovSizePolicy& policy)
{
    hpolicy_ = policy;
    if (parentLayout_)
        parentLayout_->setNeedsRelayout();
}

void ZovLayoutItem::setVSizePolicy(const ZovSizePolicy& policy)
{
    vpolicy_ = policy;
    if (parentLayout_)
        parentLayout_->setNeedsRelayout();
}

void ZovLayoutItem::exchangeSizePolicies() noexcept
{
    std::swap(hpolicy_, vpolicy_);
}

float ZovLayoutItem::hBaseLine()
{
    return delegate_ ? delegate_->hBaseLineRequested(*this) : ZovNoBaseLine;
}

float ZovLayoutItem::vBaseLine()
{
    return delegate_ ? delegate_->vBaseLineRequested(*this) : ZovNoBaseLine;
}

void ZovLayoutItem::setFrame(const LayoutRect& frame)
{
    frame_ = frame;
    if (delegate_)
        delegate_->frameChanged(*this);
}

LayoutRect ZovLayoutItem::calculateAbsoluteFrame() const noexcept
{
    LayoutRect result = frame_;
    for (const ZovLayoutItem* ancestor = parentLayout_; ancestor; ancestor = ancestor->parentLayout_) {
        result.x += ancestor->frame_.x;
        result.y += ancestor->frame_.y;
    }
    return result;
}

void ZovLayoutItem::setVisible(bool visible)
{
    if (visible == isVisible_)
        return;
    isVisible_ = visible;
    if (ZovLayout* parent = parentLayout_) {
        parent->setNeedsRelayout();
        if (visible)
            parent->visibleLayoutItems_.addObject(this);
        else
            parent->visibleLayoutItems_.removeObject(this);
    }
    if (delegate_)
        delegate_->visibilityChanged(*this);
}

bool ZovLayoutItem::isVisibleTo(const ZovLayout* layout) const
{
    bool visible = true;
    for (const ZovLayoutItem* item = this; item; item = item->parentLayout_) {
        if (item == layout)
            return visible;
        visible = visible && item->isVisible_;
    }
    ZOV_RAISE("Given layout is not in layout chain");
}

namespace {
// The sum of the frame origins of `item` and of its ancestors below `stop` (up to and including
// the root when `stop` is not an ancestor).
LayoutPoint originsBelow(const ZovLayoutItem* item, const ZovLayoutItem* stop) noexcept
{
    LayoutPoint sum;
    for (; item && item != stop; item = item->parentLayout()) {
        sum.x += item->frame().x;
        sum.y += item->frame().y;
    }
    return sum;
}
} // namespace

LayoutPoint ZovLayoutItem::convertPointTo(LayoutPoint point, const ZovLayoutItem* item) const noexcept
{
    const LayoutPoint d = originsBelow(this, item);
    return {point.x + d.x, point.y + d.y};
}

LayoutRect ZovLayoutItem::convertRectTo(LayoutRect rect, const ZovLayoutItem* item) const noexcept
{
    const LayoutPoint d = originsBelow(this, item);
    return rect.offsetBy(d.x, d.y);
}

LayoutPoint ZovLayoutItem::convertPointFrom(LayoutPoint point, const ZovLayoutItem* item) const noexcept
{
    const LayoutPoint d = originsBelow(this, item);
    return {point.x - d.x, point.y - d.y};
}

LayoutRect ZovLayoutItem::convertRectFrom(LayoutRect rect, const ZovLayoutItem* item) const noexcept
{
    const LayoutPoint d = originsBelow(this, item);
    return rect.offsetBy(-d.x, -d.y);
}

void ZovLayoutItem::calculateSizes(LayoutSize* minSize, LayoutSize* maxSize, LayoutSize* preferredSize)
{
    const ZovSizePolicy h = hSizePolicy();
    const ZovSizePolicy v = vSizePolicy();
    auto reportedMax = [](const ZovSizePolicy& p) { return p.isUnbounded() ? ZovNoBaseLine : p.maxSize; };
    if (minSize)
        *minSize = {h.minSize, v.minSize};
    if (maxSize)
        *maxSize = {reportedMax(h), reportedMax(v)};
    if (preferredSize)
        *preferredSize = {h.preferredSize, v.preferredSize};
}

const Value& ZovLayoutItem::customProperty(std::string_view key) const noexcept
{
    return customProperties_.get(key);
}

void ZovLayoutItem::setCustomProperty(Value value, const std::string& key)
{
    if (value.isNull()) {
        customProperties_.remove(key);
        return;
    }
    customProperties_.set(key, std::move(value));
}

void ZovLayoutItem::setParentLayout(ZovLayout* parent)
{
    // A layout inside itself would make every walk to the root endless.
    for (const ZovLayoutItem* ancestor = parent; ancestor; ancestor = ancestor->parentLayout_)
        ZOV_ASSERT(ancestor != this, "Layout cannot contain itself");
    if (ZovLayout* old = parentLayout_) {
        old->setNeedsRelayout();
        old->childItemRemoved(*this);
        old->layoutItems_.removeObject(this);
        if (isVisible_)
            old->visibleLayoutItems_.removeObject(this);
    }
    parentLayout_ = parent;
    if (parent) {
        parent->layoutItems_.addObject(this);
        if (isVisible_)
            parent->visibleLayoutItems_.addObject(this);
        parent->childItemAdded(*this);
        parent->setNeedsRelayout();
    }
    if (delegate_)
        delegate_->reparented(*this);
    sendRootChange();
}

void ZovLayoutItem::sendRootChange()
{
    if (delegate_)
        delegate_->rootLayoutReparented(*this);
    if (ZovLayout* layout = asLayout())
        for (ZovLayoutItem* child : layout->layoutItems_.toVector())
            child->sendRootChange();
}

ZovLayout* ZovLayoutItem::topLevelLayout() noexcept
{
    if (!parentLayout_)
        return asLayout();
    ZovLayout* top = parentLayout_;
    while (top->parentLayout_)
        top = top->parentLayout_;
    return top;
}

std::string ZovLayoutItem::description() const
{
    auto policyText = [](const ZovSizePolicy& p) {
        return LayoutFloatText(p.minSize) + "," + LayoutFloatText(p.maxSize) + ","
            + LayoutFloatText(p.preferredSize) + "," + std::string(SizePolicyKindName(p.policy));
    };
    std::string text = "[" + std::string(className()) + " " + LayoutPointerText(this) + "]";
    text += "V(" + policyText(vpolicy_) + ")";
    text += " H(" + policyText(hpolicy_) + ")";
    text += " HV=" + LayoutFloatText(heightForWidthFactor_);
    text += isVisible_ ? " VISIBLE" : " INVISIBLE";
    text += " FRAME(" + LayoutFloatText(frame_.x) + "," + LayoutFloatText(frame_.y) + ","
        + LayoutFloatText(frame_.width) + "," + LayoutFloatText(frame_.height) + ")";
    text += " CUSTOM(" + customProperties_.description() + ")";
    text += " PARENT(" + LayoutPointerText(parentLayout_) + ")";
    return text;
}

} // namespace vistel
