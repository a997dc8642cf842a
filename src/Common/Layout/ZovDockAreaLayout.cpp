#include "Common/Layout/ZovDockAreaLayout.h"

#include "Common/Layout/ZovMainWindowLayout.h"
#include "Platform/Exception.h"
#include "Platform/FeatureSwitches.h"

namespace vistel {

// ---- ZovDockAreaLayout ----

void ZovDockAreaLayout::setHSizePolicy(const ZovSizePolicy& policy)
{
    hasCustomHSizePolicy_ = true;
    ZovLayout::setHSizePolicy(policy);
}

void ZovDockAreaLayout::setVSizePolicy(const ZovSizePolicy& policy)
{
    hasCustomVSizePolicy_ = true;
    ZovLayout::setVSizePolicy(policy);
}

ZovSizePolicy ZovDockAreaLayout::hSizePolicy()
{
    return hasCustomHSizePolicy_ ? ZovLayout::hSizePolicy() : computedHSizePolicy();
}

ZovSizePolicy ZovDockAreaLayout::vSizePolicy()
{
    return hasCustomVSizePolicy_ ? ZovLayout::vSizePolicy() : computedVSizePolicy();
}

// ---- ZovDockAreaBoxedLayout ----

ZovDockAreaBoxedLayout::ZovDockAreaBoxedLayout()
{
    boxLayout_ = attach(ZovBoxLayout::create(ZovLayoutOrientationHorizontal), *this);
}

ZovDockAreaBoxedLayout::~ZovDockAreaBoxedLayout()
{
    // The areas and bars belong to the box, which ZovLayout destroys.
    for (ZovDockAreaLayout* area : items_)
        area->parentDockAreaLayout_ = nullptr;
    items_.clear();
    splitters_.clear();
}

std::unique_ptr<ZovDockAreaBoxedLayout> ZovDockAreaBoxedLayout::create(std::vector<std::unique_ptr<ZovDockAreaLayout>> areas)
{
    std::unique_ptr<ZovDockAreaBoxedLayout> boxed(new ZovDockAreaBoxedLayout());
    for (auto& area : areas) {
        ZOV_ASSERT(area != nullptr, "No such item");
        ZovDockAreaLayout* raw = area.get();
        raw->parentDockAreaLayout_ = boxed.get();
        if (!boxed->items_.isEmpty()) {
            auto splitter = MakeMainWindowSplitterItem(boxed->orientation(), raw);
            boxed->splitters_.addObject(splitter.get());
            boxed->boxLayout_->addItem(std::move(splitter));
        }
        boxed->boxLayout_->addItem(std::move(area));
        boxed->items_.addObject(raw);
    }
    return boxed;
}

void ZovDockAreaBoxedLayout::setOrientation(std::int32_t orientation)
{
    if (orientation == boxLayout_->orientation())
        return;
    for (ZovLayoutItem* splitter : splitters_)
        splitter->exchangeSizePolicies();
    boxLayout_->setOrientation(orientation);
}

std::int32_t ZovDockAreaBoxedLayout::insertDockArea(std::unique_ptr<ZovDockAreaLayout> area, std::int32_t index)
{
    ZOV_ASSERT(area != nullptr, "No such item");
    ZOV_ASSERT(index >= -1 && index <= items_.count() - 1, "Index out of range");
    ZovDockAreaLayout* raw = area.get();
    raw->parentDockAreaLayout_ = this;
    const bool front = index == -1;
    if (!items_.isEmpty()) {
        // The bar belongs to the area that will follow it.
        ZovDockAreaLayout* follower = front ? items_.firstObject() : raw;
        auto splitter = MakeMainWindowSplitterItem(orientation(), follower);
        ZovLayoutItem* bar = splitter.get();
        boxLayout_->insertItem(std::move(splitter), front ? -1 : 2 * index);
        splitters_.insertObject(bar, front ? 0 : index);
    }
    items_.insertObject(raw, index + 1);
    const std::int32_t boxIndex = boxLayout_->insertItem(std::move(area), front ? -1 : 2 * index + 1);
    notifyChanged();
    return boxIndex;
}

std::unique_ptr<ZovDockAreaLayout> ZovDockAreaBoxedLayout::removeDockArea(std::int32_t index)
{
    ZovDockAreaLayout* raw = items_.objectAtIndex(index); // "Index out of range"
    raw->parentDockAreaLayout_ = nullptr;
    items_.removeObjectAtIndex(index);
    std::unique_ptr<ZovLayoutItem> area = boxLayout_->removeItemAtIndex(2 * index);
    if (index == 0) {
        if (!items_.isEmpty()) {
            splitters_.removeObjectAtIndex(0);
            boxLayout_->removeItemAtIndex(0).reset();
        }
    } else {
        splitters_.removeObjectAtIndex(index - 1);
        boxLayout_->removeItemAtIndex(2 * index - 1).reset();
    }
    notifyChanged();
    return std::unique_ptr<ZovDockAreaLayout>(static_cast<ZovDockAreaLayout*>(area.release()));
}

void ZovDockAreaBoxedLayout::notifyChanged()
{
    if (ZovDockAreaLayoutChangedDelegate* delegate = changedDelegate())
        delegate->dockAreaLayoutChanged(*this);
}

ZovSizePolicy ZovDockAreaBoxedLayout::computedHSizePolicy()
{
    return boxLayout_->hSizePolicy();
}

ZovSizePolicy ZovDockAreaBoxedLayout::computedVSizePolicy()
{
    return boxLayout_->vSizePolicy();
}

void ZovDockAreaBoxedLayout::relayout()
{
    boxLayout_->setFrame({0, 0, frame().width, frame().height});
}

// ---- ZovDockAreaStackedLayout ----

ZovDockAreaStackedLayout::ZovDockAreaStackedLayout()
{
    auto box = ZovBoxLayout::create(ZovLayoutOrientationHorizontal);
    box->setStacked(true);
    boxLayout_ = attach(std::move(box), *this);
    auto tab = ZovLayoutItem::create();
    tab->setHSizePolicy(MakePreferredSizePolicy(0, 0, -1));
    tab->setVSizePolicy(MakeFixedSizePolicy(TabHeight));
    tabItem_ = attach(std::move(tab), *this);
}

ZovDockAreaStackedLayout::~ZovDockAreaStackedLayout()
{
    // The docks go with the box; their caption items are children of this area and go with it.
    for (ZovLayoutItem* item : boxLayout_->items())
        static_cast<ZovDockItemLayout*>(item)->parentArea_ = nullptr;
}

std::unique_ptr<ZovDockAreaStackedLayout> ZovDockAreaStackedLayout::createWithDockItem(std::unique_ptr<ZovDockItemLayout> dock)
{
    std::vector<std::unique_ptr<ZovDockItemLayout>> docks;
    docks.push_back(std::move(dock));
    return createWithDockItems(std::move(docks));
}

std::unique_ptr<ZovDockAreaStackedLayout> ZovDockAreaStackedLayout::createWithDockItems(std::vector<std::unique_ptr<ZovDockItemLayout>> docks)
{
    std::unique_ptr<ZovDockAreaStackedLayout> stacked(new ZovDockAreaStackedLayout());
    for (auto& dock : docks)
        stacked->insertDockItem(std::move(dock), stacked->count() - 1);
    return stacked;
}

ZovDockItemLayout* ZovDockAreaStackedLayout::dockItemAtIndex(std::int32_t index) const
{
    return static_cast<ZovDockItemLayout*>(boxLayout_->itemAtIndex(index));
}

ZovDockItemLayout* ZovDockAreaStackedLayout::currentDock() const
{
    const std::int32_t c = boxLayout_->currentIndex();
    return c >= 0 && c < boxLayout_->count() ? dockItemAtIndex(c) : nullptr;
}

std::int32_t ZovDockAreaStackedLayout::insertDockItem(std::unique_ptr<ZovDockItemLayout> dock, std::int32_t index)
{
    ZOV_ASSERT(dock != nullptr, "No such item");
    ZOV_ASSERT(index >= -1 && index <= count() - 1, "Index out of range");
    tabItem_->setVisible(count() >= 1);
    ZovLayoutItem* caption = dock->captionItem_;
    if (dock->detachedCaption_)
        attach(std::move(dock->detachedCaption_), *this);
    else
        caption->setParentLayout(this);
    dock->parentArea_ = this;
    return boxLayout_->insertItem(std::move(dock), index);
}

std::unique_ptr<ZovDockItemLayout> ZovDockAreaStackedLayout::removeDockItem(std::int32_t index)
{
    ZovDockItemLayout* dock = dockItemAtIndex(index); // "Index out of range"
    if (dock->captionItem_->parentLayout() == this)
        dock->detachedCaption_ = dock->captionItem_->detach();
    std::unique_ptr<ZovLayoutItem> removed = boxLayout_->removeItemAtIndex(index);
    dock->parentArea_ = nullptr;
    const std::int32_t remaining = count();
    tabItem_->setVisible(remaining >= 2);
    // The box leaves no current dock when the current one was first; an area that still holds
    // docks always shows one, so its neighbour takes over.
    if (remaining > 0 && boxLayout_->currentIndex() < 0)
        boxLayout_->setCurrentIndex(std::min(index, remaining - 1));
    setNeedsRelayout();
    return std::unique_ptr<ZovDockItemLayout>(static_cast<ZovDockItemLayout*>(removed.release()));
}

ZovSizePolicy ZovDockAreaStackedLayout::computedHSizePolicy()
{
    return boxLayout_->hSizePolicy();
}

ZovSizePolicy ZovDockAreaStackedLayout::computedVSizePolicy()
{
    std::vector<ZovSizePolicy> parts;
    if (ZovDockItemLayout* dock = currentDock())
        parts.push_back(dock->captionItem()->vSizePolicy());
    parts.push_back(boxLayout_->vSizePolicy());
    if (count() >= 2)
        parts.push_back(tabItem_->vSizePolicy());
    return CombineSizePoliciesAlong(parts);
}

void ZovDockAreaStackedLayout::relayout()
{
    const std::int32_t n = count();
    const std::int32_t c = boxLayout_->currentIndex();
    for (std::int32_t i = 0; i < n; ++i)
        dockItemAtIndex(i)->setVisible(i == c);
    ZovDockItemLayout* current = currentDock();

    const LayoutRect& f = frame();
    std::vector<ZovSizePolicy> parts;
    if (current)
        parts.push_back(current->captionItem()->vSizePolicy());
    parts.push_back(boxLayout_->vSizePolicy());
    if (n >= 2)
        parts.push_back(tabItem_->vSizePolicy());
    const std::vector<ZovSpacePair> pairs = DistributeSpace(f.height, parts);

    std::size_t next = 0;
    if (current) {
        current->captionItem()->setFrame({0, pairs[next].offset, f.width, pairs[next].size});
        ++next;
    }
    boxLayout_->setFrame({0, pairs[next].offset, f.width, pairs[next].size});
    ++next;
    if (n >= 2)
        tabItem_->setFrame({0, pairs[next].offset, f.width, pairs[next].size});
}

// ---- ZovDockItemLayout ----

ZovDockItemLayout::ZovDockItemLayout()
{
    contentItem_ = ZovLayoutItem::createWithParentLayout(*this);
    captionItem_ = ZovLayoutItem::createWithParentLayout(*this);
    captionItem_->setHSizePolicy(MakePreferredSizePolicy(0, 0, -1));
    // This edition shows no caption bars in its docks.
    captionItem_->setVSizePolicy(MakeFixedSizePolicy(IsPhotoFrameBuild() ? 0 : 22));
}

ZovDockItemLayout::~ZovDockItemLayout() = default;

std::unique_ptr<ZovDockItemLayout> ZovDockItemLayout::create()
{
    return std::unique_ptr<ZovDockItemLayout>(new ZovDockItemLayout());
}

ZovSizePolicy ZovDockItemLayout::hSizePolicy()
{
    const ZovSizePolicy parts[] = {captionItem_->hSizePolicy(), contentItem_->hSizePolicy()};
    return CombineSizePoliciesAcross(parts);
}

ZovSizePolicy ZovDockItemLayout::vSizePolicy()
{
    return contentItem_->vSizePolicy();
}

void ZovDockItemLayout::relayout()
{
    contentItem_->setFrame({0, 0, frame().width, frame().height});
}

} // namespace vistel
