#pragma once
// Dock-area and dock-item layouts: the geometry of the docking frame.
//
// A dock area is either boxed, holding child areas side by side (or one above the other) with
// an 11-point splitter bar between each pair, or stacked, holding several docks of which the
// current one is shown, with a 26-point tab bar at the bottom when there are two or more. A dock
// is laid out as a caption bar above its content; the caption item of a dock that sits in a
// stacked area is a child of that area, which places the current one.
//
// These layouts carry geometry only; the docking frame owns the area and dock objects that drive
// them and is told through the changed delegate when a boxed area gains or loses areas.
//
// Ownership follows the tree: a boxed area owns its inner box, which owns the child areas and
// the bars; a stacked area owns its box (which owns the dock layouts), its tab item and the
// caption items of its docks. A dock layout owns its caption item again whenever that item is
// not in an area.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Common/Layout/ZovBoxLayout.h"

namespace vistel {

class ZovDockAreaLayout;
class ZovDockAreaBoxedLayout;
class ZovDockItemLayout;

// Told when a boxed area gains or loses areas; not owned.
class ZovDockAreaLayoutChangedDelegate {
public:
    virtual ~ZovDockAreaLayoutChangedDelegate() = default;
    virtual void dockAreaLayoutChanged(ZovDockAreaLayout&) { }
};

// The common base of both area kinds. A policy set on an axis overrides the computed one from
// then on (splitter drags set them).
class ZovDockAreaLayout : public ZovLayout {
public:
    std::string_view className() const override { return "ZovDockAreaLayout"; }

    // No parent area: one of the main window's four areas, or an area not yet placed.
    bool isTopLevel() const noexcept { return parentDockAreaLayout_ == nullptr; }
    ZovDockAreaBoxedLayout* parentDockAreaLayout() const noexcept { return parentDockAreaLayout_; }

    void setHSizePolicy(const ZovSizePolicy& policy) override;
    void setVSizePolicy(const ZovSizePolicy& policy) override;
    ZovSizePolicy hSizePolicy() override;
    ZovSizePolicy vSizePolicy() override;
    bool hasCustomHSizePolicy() const noexcept { return hasCustomHSizePolicy_; }
    bool hasCustomVSizePolicy() const noexcept { return hasCustomVSizePolicy_; }

    ZovDockAreaLayoutChangedDelegate* changedDelegate() const noexcept { return changedDelegate_; }
    void setChangedDelegate(ZovDockAreaLayoutChangedDelegate* delegate) noexcept { changedDelegate_ = delegate; }

protected:
    ZovDockAreaLayout() = default;
    virtual ZovSizePolicy computedHSizePolicy() = 0;
    virtual ZovSizePolicy computedVSizePolicy() = 0;

private:
    friend class ZovDockAreaBoxedLayout;

    ZovDockAreaBoxedLayout* parentDockAreaLayout_ = nullptr;
    bool hasCustomHSizePolicy_ = false;
    bool hasCustomVSizePolicy_ = false;
    ZovDockAreaLayoutChangedDelegate* changedDelegate_ = nullptr;
};

// Child areas in a box: area 0, bar, area 1, bar, area 2 ... Area k stands at box index 2k
// and the bar before it at 2k - 1; each bar belongs to the area after it.
class ZovDockAreaBoxedLayout : public ZovDockAreaLayout {
public:
    // The areas given become children in order, with a bar before each but the first; the
    // changed delegate is not told.
    static std::unique_ptr<ZovDockAreaBoxedLayout> create(std::vector<std::unique_ptr<ZovDockAreaLayout>> areas = {});
    ~ZovDockAreaBoxedLayout() override;

    std::string_view className() const override { return "ZovDockAreaBoxedLayout"; }

    const ZovArray<ZovDockAreaLayout>& dockAreas() const noexcept { return items_; }
    const ZovArray<ZovLayoutItem>& splitters() const noexcept { return splitters_; }
    bool isEmpty() const noexcept { return items_.isEmpty(); }
    std::int32_t count() const noexcept { return items_.count(); }
    ZovBoxLayout* boxLayout() const noexcept { return boxLayout_; }

    std::int32_t orientation() const noexcept { return boxLayout_->orientation(); }
    // On a change every bar turns (its two policies exchanged), then the box.
    void setOrientation(std::int32_t orientation);

    // Inserts after `index` (-1 for the front), with a bar for the area that follows it when
    // the box already holds areas; answers the area's index in the box; tells the delegate.
    std::int32_t insertDockArea(std::unique_ptr<ZovDockAreaLayout> area, std::int32_t index);
    // Takes the area at `index` out, with its bar (the first bar when index is 0), tells the
    // delegate and hands the area to the caller. The bar is destroyed: nothing else holds it.
    std::unique_ptr<ZovDockAreaLayout> removeDockArea(std::int32_t index);

    // The box fills the area.
    void relayout() override;

protected:
    ZovDockAreaBoxedLayout();
    ZovSizePolicy computedHSizePolicy() override;
    ZovSizePolicy computedVSizePolicy() override;

private:
    void notifyChanged();

    ZovBoxLayout* boxLayout_ = nullptr; // a child of this area
    ZovArray<ZovDockAreaLayout> items_;
    ZovArray<ZovLayoutItem> splitters_;
};

// Docks stacked in a box that shows the current one, the current dock's caption above it and
// the tab bar below it when there are two or more docks.
class ZovDockAreaStackedLayout : public ZovDockAreaLayout {
public:
    static constexpr float TabHeight = 26;

    static std::unique_ptr<ZovDockAreaStackedLayout> createWithDockItem(std::unique_ptr<ZovDockItemLayout> dock);
    static std::unique_ptr<ZovDockAreaStackedLayout> createWithDockItems(std::vector<std::unique_ptr<ZovDockItemLayout>> docks);
    ~ZovDockAreaStackedLayout() override;

    std::string_view className() const override { return "ZovDockAreaStackedLayout"; }

    const ZovArray<ZovLayoutItem>& dockItems() const noexcept { return boxLayout_->items(); }
    ZovDockItemLayout* dockItemAtIndex(std::int32_t index) const;
    std::int32_t count() const noexcept { return boxLayout_->count(); }
    std::int32_t currentIndex() const noexcept { return boxLayout_->currentIndex(); }
    void setCurrentIndex(std::int32_t index) { boxLayout_->setCurrentIndex(index); }
    ZovBoxLayout* boxLayout() const noexcept { return boxLayout_; }
    ZovLayoutItem* tabItem() const noexcept { return tabItem_; }

    // The dock's caption item moves into the area; the box inserts the dock after `index`.
    std::int32_t insertDockItem(std::unique_ptr<ZovDockItemLayout> dock, std::int32_t index);
    // Takes the dock at `index` out (its caption item goes back to it) and hands it to the
    // caller. When the current dock leaves and docks remain, a neighbour becomes current; the
    // tab bar is shown exactly when two or more docks remain.
    std::unique_ptr<ZovDockItemLayout> removeDockItem(std::int32_t index);

    // From top to bottom: the current caption, the box, the tab bar (two or more docks).
    void relayout() override;

protected:
    ZovDockAreaStackedLayout();
    ZovSizePolicy computedHSizePolicy() override;
    ZovSizePolicy computedVSizePolicy() override;

private:
    ZovDockItemLayout* currentDock() const;

    ZovBoxLayout* boxLayout_ = nullptr; // a child of this area
    ZovLayoutItem* tabItem_ = nullptr;  // a child of this area
};

// A dock: a caption bar above the panel's content.
class ZovDockItemLayout : public ZovLayout {
public:
    static std::unique_ptr<ZovDockItemLayout> create();
    ~ZovDockItemLayout() override;

    std::string_view className() const override { return "ZovDockItemLayout"; }

    ZovLayoutItem* contentItem() const noexcept { return contentItem_; }
    ZovLayoutItem* captionItem() const noexcept { return captionItem_; }
    const std::string& caption() const noexcept { return caption_; }
    void setCaption(std::string caption) { caption_ = std::move(caption); }
    // The stacked area that holds the dock, or null.
    ZovDockAreaStackedLayout* parentArea() const noexcept { return parentArea_; }

    // Across-combination of caption and content.
    ZovSizePolicy hSizePolicy() override;
    // The content's alone: the caption's height is the stacked area's business.
    ZovSizePolicy vSizePolicy() override;
    // The content fills the dock; the caption item is placed by the stacked area.
    void relayout() override;

protected:
    ZovDockItemLayout();

private:
    friend class ZovDockAreaStackedLayout;

    ZovDockAreaStackedLayout* parentArea_ = nullptr;
    ZovLayoutItem* contentItem_ = nullptr; // a child of this layout
    ZovLayoutItem* captionItem_ = nullptr; // a child of this layout, of an area, or held below
    std::unique_ptr<ZovLayoutItem> detachedCaption_; // the caption item while it has no parent
    std::string caption_;
};

} // namespace vistel
