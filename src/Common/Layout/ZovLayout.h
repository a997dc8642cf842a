#pragma once
// ZovLayout: the layout item that has children.
//
// A layout keeps its children in order (layoutItems) and, separately, the visible ones in the
// order they became visible (visibleLayoutItems); it owns every child and destroys them with
// itself. It has four margins (direction 0 left, 1 right, 2 top, 3 bottom), each fixed or not,
// and a spacing that subclasses use between neighbours.
//
// Relayout is driven by a mark that climbs to the root: any change of a child's policy,
// visibility or membership, or of margins and spacing, marks the layout and every ancestor up
// to the first one already marked. The owner of the root runs performRelayout(), which clears
// the mark and, when the layout is visible, runs relayout(). A subclass places its children by
// setting their frames in relayout(); a child that is a layout relays itself out as soon as its
// frame is set.
//
// Subclasses decide where children go (relayout) and what the layout as a whole wants
// (hSizePolicy / vSizePolicy). The plain ZovLayout is not made on its own.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "Common/Layout/ZovLayoutItem.h"
#include "Common/Tools/Containers/ZovArray.h"

namespace vistel {

class ZovLayout;

// Told after each relayout of the layout it is set on; not owned.
class ZovLayoutRelayoutDelegate {
public:
    virtual ~ZovLayoutRelayoutDelegate() = default;
    virtual void relayouted(ZovLayout&) { }
};

enum : std::int32_t {
    ZovLayoutDirectionLeft = 0,
    ZovLayoutDirectionRight = 1,
    ZovLayoutDirectionTop = 2,
    ZovLayoutDirectionBottom = 3,
};

struct ZovLayoutMargin {
    float margin = 0;
    bool isFixed = true;
};

class ZovLayout : public ZovLayoutItem {
public:
    ~ZovLayout() override;

    std::string_view className() const override { return "ZovLayout"; }
    ZovLayout* asLayout() noexcept override { return this; }

    bool acceptsFirstResponder() const noexcept { return true; }

    float marginForDirection(std::int32_t direction) const;
    bool isMarginFixedForDirection(std::int32_t direction) const;
    void setMargin(float margin, std::int32_t direction);
    void setMarginFixed(bool fixed, std::int32_t direction);
    void setMarginsFixed(bool fixed);
    void setMargins(float margin);
    bool hasMargins() const noexcept { return hasMargins_; }

    float spacing() const noexcept { return spacing_; }
    void setSpacing(float spacing);

    bool needsRelayout() const noexcept { return needsRelayout_; }
    void setNeedsRelayout();
    void performRelayout();
    // Places the children; nothing here.
    virtual void relayout() { }
    // Hook called by setFrame before the layout is laid out; nothing here.
    virtual void frameChanged() { }
    // Stores the frame, tells the delegate, then lays the layout out at once.
    void setFrame(const LayoutRect& frame) override;

    const ZovArray<ZovLayoutItem>& layoutItems() const noexcept { return layoutItems_; }
    const ZovArray<ZovLayoutItem>& visibleLayoutItems() const noexcept { return visibleLayoutItems_; }

    // The first visible child, in list order, whose frame holds the point (in this layout's
    // coordinates); a child layout answers in its turn, and its answer is final.
    ZovLayoutItem* itemAtPoint(LayoutPoint point);

    // Puts the parentless `newItem` in the place of the child `oldItem` and hands `oldItem`
    // back to the caller. "No such item in layout" when `oldItem` is not a child.
    std::unique_ptr<ZovLayoutItem> replaceItemFrom(ZovLayoutItem* oldItem, std::unique_ptr<ZovLayoutItem> newItem);

    // Sent by the children as they join and leave; nothing here.
    virtual void childItemAdded(ZovLayoutItem& item);
    virtual void childItemRemoved(ZovLayoutItem& item);
    // Sent by replaceItemFrom; every subclass that allows replacing must override it.
    virtual void childItemReplacedFrom(ZovLayoutItem& oldItem, ZovLayoutItem& newItem);

    ZovLayoutRelayoutDelegate* relayoutDelegate() const noexcept { return relayoutDelegate_; }
    void setRelayoutDelegate(ZovLayoutRelayoutDelegate* delegate) noexcept { relayoutDelegate_ = delegate; }

    // The layout's policy around an inner policy: the inner policy itself without margins,
    // else the along-combination of [start margin, inner, end margin].
    ZovSizePolicy hSizePolicyWithMargins(const ZovSizePolicy& inner) const;
    ZovSizePolicy vSizePolicyWithMargins(const ZovSizePolicy& inner) const;
    // The {offset, length} of the inner area inside the margins for a given length.
    ZovSpacePair hSizeWithMargins(float length, const ZovSizePolicy& inner) const;
    ZovSpacePair vSizeWithMargins(float length, const ZovSizePolicy& inner) const;

    // The item's description, "SPACING(s)", "SUB_ITEMS[n](" and each child's description on a
    // line of its own, then ")".
    std::string description() const override;

protected:
    ZovLayout();

private:
    friend class ZovLayoutItem;

    ZovSizePolicy sizePolicyWithMargins(const ZovSizePolicy& inner, std::int32_t start) const;
    ZovSpacePair sizeWithMargins(float length, const ZovSizePolicy& inner, std::int32_t start) const;
    void updateHasMargins() noexcept;

    bool hasMargins_ = false;
    std::array<ZovLayoutMargin, 4> margins_ {};
    float spacing_ = 0;
    ZovArray<ZovLayoutItem> layoutItems_;
    ZovArray<ZovLayoutItem> visibleLayoutItems_;
    bool needsRelayout_ = false;
    ZovLayoutRelayoutDelegate* relayoutDelegate_ = nullptr;
};

} // namespace vistel
