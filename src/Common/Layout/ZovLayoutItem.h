#pragma once
// ZovLayoutItem: the node of the layout tree.
//
// An item is a rectangle (its frame, relative to the parent's frame origin, top-down) with a
// horizontal and a vertical size policy, a visibility flag, a bag of custom properties and an
// optional delegate that may answer for it. Plain items stand for a view, a spacer, a caption
// bar or a splitter; ZovLayout and its subclasses are items with children.
//
// Ownership: an item has exactly one owner. An item with a parent layout is owned by that
// layout, which destroys it with itself; an item without a parent is owned by whoever holds its
// std::unique_ptr. Handing a parentless item to a layout therefore gives up that unique_ptr
// (ZovLayoutItem::attach, or the unique_ptr overloads of the box), and detaching an item hands
// ownership back (detach, or the box's removeItem). setParentLayout itself only moves the
// item between lists; it is safe to call directly to move an item from one parent to another.
//
// Changes of policy, visibility or parent only mark the parent for relayout; the owner of the
// root runs the relayout. Main thread only.

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "Common/Layout/LayoutGeometry.h"
#include "Common/Layout/ZovSizePolicy.h"
#include "Platform/Value.h"

namespace vistel {

class ZovLayout;
class ZovLayoutItem;

// The answer of the baseline operations when there is no baseline.
inline constexpr float ZovNoBaseLine = std::numeric_limits<float>::max();

// Custom-property keys used across the program.
inline constexpr const char* ZovLayoutItemViewKey = "ZovLayoutItemViewKey";
inline constexpr const char* ZovLayoutItemMainWindowLayoutSplitterKey = "ZovLayoutItemMainWindowLayoutSplitterKey";
inline constexpr const char* ZovLayoutItemDockKey = "ZovLayoutItemDockKey";
inline constexpr const char* ZovLayoutItemDockAreaKey = "ZovLayoutItemDockAreaKey";

// Answers for an item and hears about its changes. Every operation is optional: the defaults
// mean "no answer" (a kind-0 policy, no baseline) and "not interested". The view binding
// implements this to tie an item to a view. The delegate is not owned by the item.
class ZovLayoutItemDelegate {
public:
    virtual ~ZovLayoutItemDelegate() = default;

    virtual ZovSizePolicy hSizePolicyRequested(ZovLayoutItem&) { return MakeNullSizePolicy(); }
    virtual ZovSizePolicy vSizePolicyRequested(ZovLayoutItem&) { return MakeNullSizePolicy(); }
    virtual float hBaseLineRequested(ZovLayoutItem&) { return ZovNoBaseLine; }
    virtual float vBaseLineRequested(ZovLayoutItem&) { return ZovNoBaseLine; }
    // After every setFrame, also when the frame did not change.
    virtual void frameChanged(ZovLayoutItem&) { }
    // After the visibility flag changed.
    virtual void visibilityChanged(ZovLayoutItem&) { }
    // After the parent changed.
    virtual void reparented(ZovLayoutItem&) { }
    // After the item, or one of its ancestors, changed parent: its root may be another one.
    virtual void rootLayoutReparented(ZovLayoutItem&) { }
    // At the start of the item's destruction. Called from a destructor: must not throw.
    virtual void dealloc(ZovLayoutItem&) { }
};

class ZovLayoutItem {
public:
    // A new parentless item with the defaults: both policies MakePreferredSizePolicy(0, 0, -1),
    // zero frame, no height-for-width, visible, no properties, no delegate.
    static std::unique_ptr<ZovLayoutItem> create();
    // A new item put into `parent`, which owns it.
    static ZovLayoutItem* createWithParentLayout(ZovLayout& parent);
    // Parentless spacers: the given policy on their axis, MakeFixedSizePolicy(0) across it.
    static std::unique_ptr<ZovLayoutItem> createHorizontalSpacer(const ZovSizePolicy& policy);
    static std::unique_ptr<ZovLayoutItem> createVerticalSpacer(const ZovSizePolicy& policy);

    // Hands a parentless item to `parent`, which owns it from then on; answers the item.
    template <class T>
    static T* attach(std::unique_ptr<T> item, ZovLayout& parent)
    {
        T* raw = item.release();
        raw->setParentLayout(&parent);
        return raw;
    }
    // Takes the item out of its parent and hands it to the caller.
    std::unique_ptr<ZovLayoutItem> detach();

    virtual ~ZovLayoutItem();
    ZovLayoutItem(const ZovLayoutItem&) = delete;
    ZovLayoutItem& operator=(const ZovLayoutItem&) = delete;

    // The class name printed by description().
    virtual std::string_view className() const { return "ZovLayoutItem"; }
    virtual ZovLayout* asLayout() noexcept { return nullptr; }
    const ZovLayout* asLayout() const noexcept { return const_cast<ZovLayoutItem*>(this)->asLayout(); }

    // The delegate's answer when its kind is not 0, else the own policy (vertical: else the
    // height-for-width policy when a factor is set).
    virtual ZovSizePolicy hSizePolicy();
    virtual ZovSizePolicy vSizePolicy();
    // Store the own policy and mark the parent.
    virtual void setHSizePolicy(const ZovSizePolicy& policy);
    virtual void setVSizePolicy(const ZovSizePolicy& policy);
    // The own policies as stored, without the delegate.
    const ZovSizePolicy& ownHSizePolicy() const noexcept { return hpolicy_; }
    const ZovSizePolicy& ownVSizePolicy() const noexcept { return vpolicy_; }
    // Swaps the two own policies; marks nothing.
    void exchangeSizePolicies() noexcept;

    float hBaseLine();
    float vBaseLine();

    // -1 is off; otherwise the vertical policy follows the current width (see vSizePolicy).
    float heightForWidthFactor() const noexcept { return heightForWidthFactor_; }
    void setHeightForWidthFactor(float factor) noexcept { heightForWidthFactor_ = factor; }

    const LayoutRect& frame() const noexcept { return frame_; }
    // Stores the frame and tells the delegate, also when nothing changed.
    virtual void setFrame(const LayoutRect& frame);
    // The item's size at the origin summed over the item and all its ancestors.
    LayoutRect calculateAbsoluteFrame() const noexcept;

    bool isVisible() const noexcept { return isVisible_; }
    void setVisible(bool visible);
    // Whether the item and every ancestor below `layout` are visible (the flag of `layout`
    // itself does not count); "Given layout is not in layout chain" when `layout` is not an
    // ancestor of the item.
    bool isVisibleTo(const ZovLayout* layout) const;

    // Into the coordinates of `item` (an ancestor), or of the root's parent when `item` is
    // null or unrelated; and back.
    LayoutPoint convertPointTo(LayoutPoint point, const ZovLayoutItem* item) const noexcept;
    LayoutRect convertRectTo(LayoutRect rect, const ZovLayoutItem* item) const noexcept;
    LayoutPoint convertPointFrom(LayoutPoint point, const ZovLayoutItem* item) const noexcept;
    LayoutRect convertRectFrom(LayoutRect rect, const ZovLayoutItem* item) const noexcept;

    // Minima, maxima (an unbounded maximum reported as the largest float) and preferred
    // sizes as width and height; a null pointer is skipped.
    void calculateSizes(LayoutSize* minSize, LayoutSize* maxSize, LayoutSize* preferredSize);

    // Null when the key is not set.
    const Value& customProperty(std::string_view key) const noexcept;
    // A null value removes the key.
    void setCustomProperty(Value value, const std::string& key);

    ZovLayoutItemDelegate* delegate() const noexcept { return delegate_; }
    void setDelegate(ZovLayoutItemDelegate* delegate) noexcept { delegate_ = delegate; }

    ZovLayout* parentLayout() const noexcept { return parentLayout_; }
    // Moves the item out of its former parent's lists and into the new parent's; see the
    // ownership rule above. Boxes refuse items that do not come through their insert calls;
    // a layout cannot be put inside itself ("Layout cannot contain itself").
    void setParentLayout(ZovLayout* parent);
    // The topmost ancestor; a parentless item answers itself when it is a layout, else null.
    ZovLayout* topLevelLayout() noexcept;

    // "[Class 0x...]V(min,max,pref,kind) H(...) HV=f VISIBLE FRAME(x,y,w,h) CUSTOM(...) PARENT(0x...)"
    virtual std::string description() const;

protected:
    ZovLayoutItem();

    // Tells the delegate that the item is going away; once only. Layouts call it at the start
    // of their destruction, before their children go.
    void sendDealloc();

private:
    friend class ZovLayout;

    void sendRootChange();

    ZovSizePolicy hpolicy_;
    ZovSizePolicy vpolicy_;
    float heightForWidthFactor_ = -1;
    ZovLayout* parentLayout_ = nullptr;
    LayoutRect frame_;
    bool isVisible_ = true;
    bool deallocSent_ = false;
    Value customProperties_; // a dictionary once the first property is set
    ZovLayoutItemDelegate* delegate_ = nullptr;
};

// Text helpers shared by the descriptions of the layout classes.
std::string LayoutPointerText(const void* pointer);
std::string LayoutFloatText(float value); // "%.0f"

} // namespace vistel
