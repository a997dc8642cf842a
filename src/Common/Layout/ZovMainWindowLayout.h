#pragma once
// ZovMainWindowLayout: a central content item and four dock areas on a three-by-three grid.
//
// Each area (0 left, 1 right, 2 top, 3 bottom) sits in a box together with an 11-point splitter
// bar that faces the centre; a box is shown exactly when its area holds something. Each corner
// cell of the grid belongs to one of the two areas that touch it: by default the top and bottom
// areas own all four, so they span the full width and the left and right areas lie between
// them. Corners are keyed (1 << side) | (1 << end): 5 top-left, 6 top-right, 9 bottom-left,
// 10 bottom-right.
//
// ZovMainWindowLayoutSplitter turns a drag of a bar into new preferred sizes of the areas next to
// it; it hangs on its bar item as the custom property ZovLayoutItemMainWindowLayoutSplitterKey,
// which holds its one reference.

#include <array>
#include <cstdint>
#include <memory>

#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Layout/ZovDockAreaLayout.h"
#include "Platform/Object.h"

namespace vistel {

class ZovMainWindowLayout;
// The docking frame's handler of splitter drags; the layout only keeps the pointer for it.
class ZovMainWindowLayoutSplitterDelegate;

enum : std::int32_t {
    ZovDockAreaPositionLeft = 0,
    ZovDockAreaPositionRight = 1,
    ZovDockAreaPositionTop = 2,
    ZovDockAreaPositionBottom = 3,
};

enum : std::int32_t {
    ZovMainWindowCornerTopLeft = 5,
    ZovMainWindowCornerTopRight = 6,
    ZovMainWindowCornerBottomLeft = 9,
    ZovMainWindowCornerBottomRight = 10,
};

inline constexpr float ZovMainWindowSplitterThickness = 11;

class ZovMainWindowLayoutSplitter : public Object {
public:
    // Position -1 and no main-window layout until the main-window layout claims the bar.
    static Ref<ZovMainWindowLayoutSplitter> create(ZovLayoutItem* item, ZovDockAreaLayout* dockArea);
    // The splitter hanging on a bar item, or null.
    static ZovMainWindowLayoutSplitter* splitterOfItem(const ZovLayoutItem& item);

    // 0 when the bar moves sideways (its horizontal policy is Fixed), else 1.
    std::int32_t orientation() const;
    ZovLayoutItem* layoutItem() const noexcept { return item_; }
    ZovDockAreaLayout* dockArea() const noexcept { return dockArea_; }
    std::int32_t dockAreaPosition() const noexcept { return dockAreaPosition_; }
    ZovMainWindowLayout* mainWindowLayout() const noexcept { return mainWindowLayout_; }

    // Points are in the bar item's own coordinates. The bar moves with every relayout, so the
    // difference between a drag point and the pressed point is the part not yet applied.
    void pressAt(LayoutPoint point) noexcept { pressedPoint_ = point; }
    void moveAt(LayoutPoint point);

private:
    friend class ZovMainWindowLayout;
    ZovMainWindowLayoutSplitter(ZovLayoutItem* item, ZovDockAreaLayout* dockArea) : item_(item), dockArea_(dockArea) { }

    ZovLayoutItem* item_ = nullptr;          // the bar; owns this object through its property
    ZovDockAreaLayout* dockArea_ = nullptr;  // the area after the bar
    std::int32_t dockAreaPosition_ = -1;
    ZovMainWindowLayout* mainWindowLayout_ = nullptr;
    LayoutPoint pressedPoint_;
};

// A new parentless bar item: orientation 0 gives a bar 11 wide that stretches in height (between
// areas side by side), any other orientation the other way round. Its splitter names `dockArea`.
std::unique_ptr<ZovLayoutItem> MakeMainWindowSplitterItem(std::int32_t orientation, ZovDockAreaLayout* dockArea);

class ZovMainWindowLayout : public ZovLayout, public ZovDockAreaLayoutChangedDelegate {
public:
    static std::unique_ptr<ZovMainWindowLayout> create();
    ~ZovMainWindowLayout() override;

    std::string_view className() const override { return "ZovMainWindowLayout"; }

    // The class-wide default owners of the corners, copied by every new layout. "No such corner"
    // for a key other than 5, 6, 9, 10; "Invalid dock area position" for a position that is not
    // one of the two areas touching the corner.
    static std::int32_t defaultAreaForCorner(std::int32_t corner);
    static void setDefaultArea(std::int32_t position, std::int32_t corner);
    std::int32_t areaForCorner(std::int32_t corner) const;

    ZovLayoutItem* contentItem() const noexcept { return contentItem_; }
    // "Invalid dock area position" outside 0 to 3.
    ZovDockAreaBoxedLayout* dockAreaForPosition(std::int32_t position) const;
    ZovLayoutItem* splitterForPosition(std::int32_t position) const;

    // The area's box is shown exactly when the area holds something; then the grid is laid out.
    void dockAreaLayoutChanged(ZovDockAreaLayout& area) override;

    ZovMainWindowLayoutSplitterDelegate* splitterDelegate() const noexcept { return splitterDelegate_; }
    void setSplitterDelegate(ZovMainWindowLayoutSplitterDelegate* delegate) noexcept { splitterDelegate_ = delegate; }

    ZovSizePolicy hSizePolicy() override;
    ZovSizePolicy vSizePolicy() override;
    void relayout() override;

protected:
    ZovMainWindowLayout();

private:
    struct DockArea {
        ZovDockAreaBoxedLayout* dockArea = nullptr; // in boxLayout
        ZovBoxLayout* boxLayout = nullptr;          // a child of this layout
        ZovLayoutItem* splitter = nullptr;          // in boxLayout
    };

    static std::size_t cornerSlot(std::int32_t corner);
    static std::array<std::int32_t, 4>& defaultCorners();
    bool owns(std::int32_t position, std::int32_t corner) const;
    // A side box's policy on the axis, or the hidden policy when the box is hidden.
    ZovSizePolicy shownPolicy(std::int32_t position, bool horizontal);
    ZovSizePolicy boxPolicy(std::int32_t position, bool horizontal);
    ZovSizePolicy gridPolicy(bool horizontal);

    ZovLayoutItem* contentItem_ = nullptr; // a child of this layout
    std::array<DockArea, 4> dockAreas_ {};
    std::array<std::int32_t, 4> areaForCorner_ {};
    ZovMainWindowLayoutSplitterDelegate* splitterDelegate_ = nullptr;
};

} // namespace vistel
