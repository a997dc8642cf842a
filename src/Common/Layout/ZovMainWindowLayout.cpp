#include "Common/Layout/ZovMainWindowLayout.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Platform/Exception.h"

namespace vistel {

namespace {

void checkPosition(std::int32_t position)
{
    ZOV_ASSERT(position >= 0 && position <= 3, "Invalid dock area position");
}

ZovSizePolicy policyOnAxis(ZovLayoutItem& item, bool horizontal)
{
    return horizontal ? item.hSizePolicy() : item.vSizePolicy();
}

void setPolicyOnAxis(ZovLayoutItem& item, bool horizontal, const ZovSizePolicy& policy)
{
    if (horizontal)
        item.setHSizePolicy(policy);
    else
        item.setVSizePolicy(policy);
}

float sizeOnAxis(const ZovLayoutItem& item, bool horizontal)
{
    return horizontal ? item.frame().width : item.frame().height;
}

} // namespace

// ---- ZovMainWindowLayoutSplitter ----

Ref<ZovMainWindowLayoutSplitter> ZovMainWindowLayoutSplitter::create(ZovLayoutItem* item, ZovDockAreaLayout* dockArea)
{
    return Ref<ZovMainWindowLayoutSplitter>::adopt(new ZovMainWindowLayoutSplitter(item, dockArea));
}

ZovMainWindowLayoutSplitter* ZovMainWindowLayoutSplitter::splitterOfItem(const ZovLayoutItem& item)
{
    return item.customProperty(ZovLayoutItemMainWindowLayoutSplitterKey).toObject<ZovMainWindowLayoutSplitter>().get();
}

std::int32_t ZovMainWindowLayoutSplitter::orientation() const
{
    return item_ && item_->ownHSizePolicy().policy == ZovSizePolicyFixed ? 0 : 1;
}

void ZovMainWindowLayoutSplitter::moveAt(LayoutPoint point)
{
    if (!item_ || !dockArea_)
        return;
    const bool horizontal = orientation() == 0;
    const float delta = horizontal ? point.x - pressedPoint_.x : point.y - pressedPoint_.y;

    if (dockArea_->isTopLevel()) {
        // A bar of the main window: the area beside it grows or shrinks, and the area across the
        // centre keeps its size.
        const ZovSizePolicy p = policyOnAxis(*dockArea_, horizontal);
        const float s = sizeOnAxis(*dockArea_, horizontal);
        const bool leadingArea = dockAreaPosition_ == ZovDockAreaPositionLeft || dockAreaPosition_ == ZovDockAreaPositionTop;
        const bool grows = (delta >= 0) == leadingArea;
        float n;
        if (grows) {
            n = s + std::abs(delta);
            if (!p.isUnbounded())
                n = std::min(n, p.maxSize);
        } else {
            n = std::max(p.minSize, s - std::abs(delta));
        }
        setPolicyOnAxis(*dockArea_, horizontal, {p.minSize, p.maxSize, n, ZovSizePolicyPreferred});
        if (mainWindowLayout_ && dockAreaPosition_ >= 0 && dockAreaPosition_ <= 3) {
            ZovDockAreaLayout* opposite = mainWindowLayout_->dockAreaForPosition(dockAreaPosition_ ^ 1);
            ZovSizePolicy q = policyOnAxis(*opposite, horizontal);
            q.preferredSize = sizeOnAxis(*opposite, horizontal);
            setPolicyOnAxis(*opposite, horizontal, q);
        }
    } else {
        // A bar between two areas of a boxed area: what one gains the other loses, within both
        // areas' bounds; every other area keeps its size.
        ZovDockAreaBoxedLayout* parent = dockArea_->parentDockAreaLayout();
        const std::int32_t index = parent->dockAreas().indexOfObject(dockArea_);
        if (index == ZovArrayBase::NotFound || index < 1)
            return;
        ZovDockAreaLayout* a = parent->dockAreas().objectAtIndex(index - 1);
        ZovDockAreaLayout* b = dockArea_;
        const float sa = sizeOnAxis(*a, horizontal);
        const float sb = sizeOnAxis(*b, horizontal);
        ZovSizePolicy pa = policyOnAxis(*a, horizontal);
        ZovSizePolicy pb = policyOnAxis(*b, horizontal);
        float t;
        if (delta < 0) {
            t = std::max(pa.minSize - sa, delta);
            if (!pb.isUnbounded())
                t = sb - std::min(sb - t, pb.maxSize);
        } else {
            t = delta;
            if (!pa.isUnbounded())
                t = std::min(sa + delta, pa.maxSize) - sa;
            t = sb - std::max(pb.minSize, sb - t);
        }
        pa.preferredSize = sa + t;
        pb.preferredSize = sb - t;
        setPolicyOnAxis(*a, horizontal, pa);
        setPolicyOnAxis(*b, horizontal, pb);
        for (ZovDockAreaLayout* other : parent->dockAreas().toVector()) {
            if (other == a || other == b)
                continue;
            ZovSizePolicy q = policyOnAxis(*other, horizontal);
            q.preferredSize = sizeOnAxis(*other, horizontal);
            setPolicyOnAxis(*other, horizontal, q);
        }
    }
    if (ZovLayout* top = dockArea_->topLevelLayout())
        top->performRelayout();
}

std::unique_ptr<ZovLayoutItem> MakeMainWindowSplitterItem(std::int32_t orientation, ZovDockAreaLayout* dockArea)
{
    auto item = ZovLayoutItem::create();
    const ZovSizePolicy thick = MakeFixedSizePolicy(ZovMainWindowSplitterThickness);
    const ZovSizePolicy stretch = MakeExpandingSizePolicy(0, -1);
    if (orientation == ZovLayoutOrientationHorizontal) {
        item->setHSizePolicy(thick);
        item->setVSizePolicy(stretch);
    } else {
        item->setHSizePolicy(stretch);
        item->setVSizePolicy(thick);
    }
    item->setCustomProperty(Value(ZovMainWindowLayoutSplitter::create(item.get(), dockArea)),
                            ZovLayoutItemMainWindowLayoutSplitterKey);
    return item;
}

// ---- ZovMainWindowLayout ----

std::size_t ZovMainWindowLayout::cornerSlot(std::int32_t corner)
{
    switch (corner) {
    case ZovMainWindowCornerTopLeft: return 0;
    case ZovMainWindowCornerTopRight: return 1;
    case ZovMainWindowCornerBottomLeft: return 2;
    case ZovMainWindowCornerBottomRight: return 3;
    default: ZOV_RAISE("No such corner");
    }
}

std::array<std::int32_t, 4>& ZovMainWindowLayout::defaultCorners()
{
    // By default the top and bottom areas own the corners of their rows.
    static std::array<std::int32_t, 4> corners {ZovDockAreaPositionTop, ZovDockAreaPositionTop,
                                                ZovDockAreaPositionBottom, ZovDockAreaPositionBottom};
    return corners;
}

std::int32_t ZovMainWindowLayout::defaultAreaForCorner(std::int32_t corner)
{
    return defaultCorners()[cornerSlot(corner)];
}

void ZovMainWindowLayout::setDefaultArea(std::int32_t position, std::int32_t corner)
{
    const std::size_t slot = cornerSlot(corner);
    // Only the two areas that touch a corner can own it; the corner key has their bits set.
    ZOV_ASSERT(position >= 0 && position <= 3 && ((corner >> position) & 1) != 0, "Invalid dock area position");
    defaultCorners()[slot] = position;
}

std::int32_t ZovMainWindowLayout::areaForCorner(std::int32_t corner) const
{
    return areaForCorner_[cornerSlot(corner)];
}

bool ZovMainWindowLayout::owns(std::int32_t position, std::int32_t corner) const
{
    return areaForCorner(corner) == position;
}

ZovMainWindowLayout::ZovMainWindowLayout()
{
    areaForCorner_ = defaultCorners();
    auto content = ZovLayoutItem::create();
    content->setHSizePolicy(MakeExpandingSizePolicy(0, -1));
    content->setVSizePolicy(MakeExpandingSizePolicy(0, -1));
    contentItem_ = attach(std::move(content), *this);

    for (std::int32_t p = 0; p < 4; ++p) {
        const std::int32_t orientation = p <= ZovDockAreaPositionRight ? ZovLayoutOrientationHorizontal
                                                                      : ZovLayoutOrientationVertical;
        auto area = ZovDockAreaBoxedLayout::create();
        area->setChangedDelegate(this);
        ZovDockAreaBoxedLayout* areaRaw = area.get();
        auto splitter = MakeMainWindowSplitterItem(orientation, areaRaw);
        ZovMainWindowLayoutSplitter* splitterObject = ZovMainWindowLayoutSplitter::splitterOfItem(*splitter);
        splitterObject->dockAreaPosition_ = p;
        splitterObject->mainWindowLayout_ = this;
        ZovLayoutItem* splitterRaw = splitter.get();

        ZovBoxLayout* box = ZovBoxLayout::createWithParentLayout(orientation, *this);
        // The bar always faces the centre.
        if (p == ZovDockAreaPositionLeft || p == ZovDockAreaPositionTop) {
            box->addItem(std::move(area));
            box->addItem(std::move(splitter));
        } else {
            box->addItem(std::move(splitter));
            box->addItem(std::move(area));
        }
        box->setVisible(false);
        dockAreas_[static_cast<std::size_t>(p)] = {areaRaw, box, splitterRaw};
    }
}

ZovMainWindowLayout::~ZovMainWindowLayout()
{
    // The areas go with their boxes; they must not call back into this layout meanwhile.
    for (DockArea& d : dockAreas_)
        d.dockArea->setChangedDelegate(nullptr);
}

std::unique_ptr<ZovMainWindowLayout> ZovMainWindowLayout::create()
{
    return std::unique_ptr<ZovMainWindowLayout>(new ZovMainWindowLayout());
}

ZovDockAreaBoxedLayout* ZovMainWindowLayout::dockAreaForPosition(std::int32_t position) const
{
    checkPosition(position);
    return dockAreas_[static_cast<std::size_t>(position)].dockArea;
}

ZovLayoutItem* ZovMainWindowLayout::splitterForPosition(std::int32_t position) const
{
    checkPosition(position);
    return dockAreas_[static_cast<std::size_t>(position)].splitter;
}

void ZovMainWindowLayout::dockAreaLayoutChanged(ZovDockAreaLayout& area)
{
    for (DockArea& d : dockAreas_)
        if (d.dockArea == &area)
            d.boxLayout->setVisible(!d.dockArea->isEmpty());
    performRelayout();
}

ZovSizePolicy ZovMainWindowLayout::shownPolicy(std::int32_t position, bool horizontal)
{
    ZovBoxLayout* box = dockAreas_[static_cast<std::size_t>(position)].boxLayout;
    return box->isVisible() ? policyOnAxis(*box, horizontal) : MakeHiddenSizePolicy();
}

ZovSizePolicy ZovMainWindowLayout::boxPolicy(std::int32_t position, bool horizontal)
{
    return policyOnAxis(*dockAreas_[static_cast<std::size_t>(position)].boxLayout, horizontal);
}

// The grid's policy on one axis: the rows (or columns) that run along the axis, combined across.
ZovSizePolicy ZovMainWindowLayout::gridPolicy(bool horizontal)
{
    // Along the horizontal axis the side areas are the left and right ones and the bands are
    // the top and bottom rows; along the vertical axis the other way round.
    const std::int32_t startSide = horizontal ? ZovDockAreaPositionLeft : ZovDockAreaPositionTop;
    const std::int32_t endSide = horizontal ? ZovDockAreaPositionRight : ZovDockAreaPositionBottom;
    const std::int32_t firstBand = horizontal ? ZovDockAreaPositionTop : ZovDockAreaPositionLeft;
    const std::int32_t lastBand = horizontal ? ZovDockAreaPositionBottom : ZovDockAreaPositionRight;
    // Corners at the start and end of each band.
    const std::int32_t firstStart = ZovMainWindowCornerTopLeft;
    const std::int32_t firstEnd = horizontal ? ZovMainWindowCornerTopRight : ZovMainWindowCornerBottomLeft;
    const std::int32_t lastStart = horizontal ? ZovMainWindowCornerBottomLeft : ZovMainWindowCornerTopRight;
    const std::int32_t lastEnd = ZovMainWindowCornerBottomRight;

    const ZovSizePolicy start = shownPolicy(startSide, horizontal);
    const ZovSizePolicy end = shownPolicy(endSide, horizontal);
    const ZovSizePolicy content = policyOnAxis(*contentItem_, horizontal);

    auto band = [&](std::int32_t position, std::int32_t startCorner, std::int32_t endCorner) {
        std::vector<ZovSizePolicy> parts;
        if (owns(startSide, startCorner))
            parts.push_back(start);
        parts.push_back(boxPolicy(position, horizontal));
        if (owns(endSide, endCorner))
            parts.push_back(end);
        return CombineSizePoliciesAlong(parts);
    };
    const ZovSizePolicy middleParts[] = {start, content, end};
    const ZovSizePolicy rows[] = {band(firstBand, firstStart, firstEnd), CombineSizePoliciesAlong(middleParts),
                                  band(lastBand, lastStart, lastEnd)};
    return CombineSizePoliciesAcross(rows);
}

ZovSizePolicy ZovMainWindowLayout::hSizePolicy()
{
    return hSizePolicyWithMargins(gridPolicy(true));
}

ZovSizePolicy ZovMainWindowLayout::vSizePolicy()
{
    return vSizePolicyWithMargins(gridPolicy(false));
}

void ZovMainWindowLayout::relayout()
{
    const LayoutRect& f = frame();
    const ZovSpacePair h = hSizeWithMargins(f.width, hSizePolicy());
    const ZovSpacePair v = vSizeWithMargins(f.height, vSizePolicy());

    // Columns: the top and bottom boxes without the side columns they span.
    const ZovSizePolicy left = shownPolicy(ZovDockAreaPositionLeft, true);
    const ZovSizePolicy right = shownPolicy(ZovDockAreaPositionRight, true);
    auto reducedBand = [&](std::int32_t position, std::int32_t leftCorner, std::int32_t rightCorner, bool horizontal,
                           const ZovSizePolicy& startPolicy, const ZovSizePolicy& endPolicy) {
        ZovSizePolicy p = boxPolicy(position, horizontal);
        if (owns(position, leftCorner))
            p = SizePolicyWithoutMargins(p, startPolicy);
        if (owns(position, rightCorner))
            p = SizePolicyWithoutMargins(p, endPolicy);
        return p;
    };
    const ZovSizePolicy middleColumnParts[] = {
        reducedBand(ZovDockAreaPositionTop, ZovMainWindowCornerTopLeft, ZovMainWindowCornerTopRight, true, left, right),
        policyOnAxis(*contentItem_, true),
        reducedBand(ZovDockAreaPositionBottom, ZovMainWindowCornerBottomLeft, ZovMainWindowCornerBottomRight, true, left,
                    right)};
    const ZovSizePolicy columnPolicies[] = {left, CombineSizePoliciesAcross(middleColumnParts), right};
    ZovSpacePair c[3];
    DistributeSpace(h.size, columnPolicies, c);

    // Rows: the left and right boxes without the top and bottom rows they span.
    const ZovSizePolicy top = shownPolicy(ZovDockAreaPositionTop, false);
    const ZovSizePolicy bottom = shownPolicy(ZovDockAreaPositionBottom, false);
    const ZovSizePolicy middleRowParts[] = {
        reducedBand(ZovDockAreaPositionLeft, ZovMainWindowCornerTopLeft, ZovMainWindowCornerBottomLeft, false, top, bottom),
        policyOnAxis(*contentItem_, false),
        reducedBand(ZovDockAreaPositionRight, ZovMainWindowCornerTopRight, ZovMainWindowCornerBottomRight, false, top,
                    bottom)};
    const ZovSizePolicy rowPolicies[] = {top, CombineSizePoliciesAcross(middleRowParts), bottom};
    ZovSpacePair r[3];
    DistributeSpace(v.size, rowPolicies, r);

    auto cell = [](const ZovSpacePair& column, const ZovSpacePair& row) {
        return LayoutRect {column.offset, row.offset, column.size, row.size};
    };
    std::array<LayoutRect, 4> rects;
    rects[ZovDockAreaPositionLeft] = cell(c[0], r[1]);
    rects[ZovDockAreaPositionRight] = cell(c[2], r[1]);
    rects[ZovDockAreaPositionTop] = cell(c[1], r[0]);
    rects[ZovDockAreaPositionBottom] = cell(c[1], r[2]);
    const std::pair<std::int32_t, LayoutRect> corners[] = {
        {ZovMainWindowCornerTopLeft, cell(c[0], r[0])},
        {ZovMainWindowCornerBottomLeft, cell(c[0], r[2])},
        {ZovMainWindowCornerTopRight, cell(c[2], r[0])},
        {ZovMainWindowCornerBottomRight, cell(c[2], r[2])},
    };
    for (const auto& [corner, rect] : corners) {
        const auto owner = static_cast<std::size_t>(areaForCorner(corner));
        rects[owner] = unionRect(rects[owner], rect);
    }

    for (std::size_t p = 0; p < 4; ++p)
        dockAreas_[p].boxLayout->setFrame(rects[p].offsetBy(h.offset, v.offset));
    contentItem_->setFrame({h.offset + c[1].offset, v.offset + r[1].offset, c[1].size, r[1].size});
}

} // namespace vistel
