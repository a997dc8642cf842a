#pragma once
// ZovBoxLayout: lines its children up in a row (orientation 0, horizontal) or a column
// (orientation 1, vertical), or, when stacked, shows only the current child over the whole
// area, like the pages of a tab view.
//
// items() holds the same children as layoutItems() but in positional order, and placement
// always follows it. Children join only through insertItem/addItem: a direct
// setParentLayout(box) raises "Do not use explicit [ZovLayoutItem setParentLayout:]".
//
// Along its axis the box divides the inner length (inside the margins) among the visible
// children with DistributeSpace, with a spacing policy MakePreferredSizePolicy(s, 0, s) between
// neighbours; across its axis every child gets the whole inner length.
//
// The current index names the child shown when stacked. It becomes 0 when the first child
// arrives, follows the current child when an earlier one leaves, and becomes -1 when the current
// child at index 0 leaves or the box empties; inserting never moves it.

#include <cstdint>
#include <memory>

#include "Common/Layout/ZovLayout.h"

namespace vistel {

enum : std::int32_t {
    ZovLayoutOrientationHorizontal = 0,
    ZovLayoutOrientationVertical = 1,
};

class ZovBoxLayout : public ZovLayout {
public:
    static std::unique_ptr<ZovBoxLayout> create(std::int32_t orientation);
    static std::unique_ptr<ZovBoxLayout> createHorizontal() { return create(ZovLayoutOrientationHorizontal); }
    static std::unique_ptr<ZovBoxLayout> createVertical() { return create(ZovLayoutOrientationVertical); }
    // A new box put into `parent` (not a box: boxes take children through insertItem only).
    static ZovBoxLayout* createWithParentLayout(std::int32_t orientation, ZovLayout& parent);

    ~ZovBoxLayout() override;

    std::string_view className() const override { return "ZovBoxLayout"; }

    std::int32_t orientation() const noexcept { return orientation_; }
    void setOrientation(std::int32_t orientation);
    bool isStacked() const noexcept { return isStacked_; }
    void setStacked(bool stacked);
    std::int32_t currentIndex() const noexcept { return currentIndex_; }
    // "Index out of range" unless 0 <= index < count.
    void setCurrentIndex(std::int32_t index);

    bool isEmpty() const noexcept { return items_.isEmpty(); }
    std::int32_t count() const noexcept { return items_.count(); }
    const ZovArray<ZovLayoutItem>& items() const noexcept { return items_; }
    ZovLayoutItem* itemAtIndex(std::int32_t index) const { return items_.objectAtIndex(index); }

    // Inserts after `index` (-1 for the front) and answers the new index. The box owns the item
    // from then on: a raw item is moved out of the layout it belongs to (a parentless one must
    // have been released by its owner; prefer the unique_ptr overloads for those).
    std::int32_t insertItem(ZovLayoutItem* item, std::int32_t index);
    std::int32_t insertItem(std::unique_ptr<ZovLayoutItem> item, std::int32_t index);
    std::int32_t addItem(ZovLayoutItem* item) { return insertItem(item, count() - 1); }
    std::int32_t addItem(std::unique_ptr<ZovLayoutItem> item) { return insertItem(std::move(item), count() - 1); }
    // Detaches the item and hands it to the caller. "No such item" when it is not in the box.
    std::unique_ptr<ZovLayoutItem> removeItem(ZovLayoutItem* item);
    std::unique_ptr<ZovLayoutItem> removeItemAtIndex(std::int32_t index);
    // Detaches and destroys every item, then marks.
    void clearItems();

    // The visible children's policy on the axis, around which the margins are put.
    ZovSizePolicy hSizePolicy() override;
    ZovSizePolicy vSizePolicy() override;

    void childItemAdded(ZovLayoutItem& item) override;
    void childItemRemoved(ZovLayoutItem& item) override;
    void childItemReplacedFrom(ZovLayoutItem& oldItem, ZovLayoutItem& newItem) override;
    void relayout() override;

protected:
    explicit ZovBoxLayout(std::int32_t orientation);

private:
    ZovSizePolicy gatheredPolicy(std::int32_t axis);
    void placeAlone(ZovLayoutItem& child);

    ZovArray<ZovLayoutItem> items_;
    std::int32_t orientation_ = ZovLayoutOrientationHorizontal;
    bool isStacked_ = false;
    std::int32_t currentIndex_ = -1;
    ZovLayoutItem* lastInsertedItem_ = nullptr;
};

} // namespace vistel

namespace vistel {

// The box of the frame's tool bar: a ZovBoxLayout under a class name of its own, relaid out as
// the box is.
class ZovBoxLayoutExt : public ZovBoxLayout {
public:
    static std::unique_ptr<ZovBoxLayoutExt> create(std::int32_t orientation)
    {
        return std::unique_ptr<ZovBoxLayoutExt>(new ZovBoxLayoutExt(orientation));
    }
    std::string_view className() const override { return "ZovBoxLayoutExt"; }

protected:
    explicit ZovBoxLayoutExt(std::int32_t orientation) : ZovBoxLayout(orientation) { }
};

} // namespace vistel
