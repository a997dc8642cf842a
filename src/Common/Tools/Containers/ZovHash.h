#pragma once
// ZovHash: a hashed map of the ZovArray family. Keys are kept (copied: the map owns its copy of
// each key), objects are not: the map stores plain pointers and never deletes or releases them.
//
// The map has a fixed number of columns (buckets), 17 by default; a key lives in column
// hash(key) % capacity. A column is made on first use with 8 slots and grows by 8 when full;
// after a removal that leaves 8 or more free slots it is packed into whole steps of 8, or freed
// when it holds nothing. An empty slot has no key. keys() and objects() list every entry once,
// columns in order and slots in order within a column.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "Common/Tools/Containers/ZovArray.h"
#include "Platform/Exception.h"

namespace vistel {

template <class K, class V, class Hash = std::hash<K>, class Equal = std::equal_to<K>>
class ZovHash {
public:
    static constexpr std::int32_t DefaultCapacity = 17;

    // +new: 17 columns.
    ZovHash() : ZovHash(DefaultCapacity) { }
    // +newWithCapacity:. A capacity below 1 has no column to put a key in.
    explicit ZovHash(std::int32_t capacity)
    {
        ZOV_ASSERT(capacity >= 1, "Invalid capacity");
        capacity_ = capacity;
        columns_.resize(static_cast<std::size_t>(capacity));
    }
    ZovHash(const ZovHash&) = delete;
    ZovHash& operator=(const ZovHash&) = delete;
    // Not movable either: a moved-from map would have no columns to look keys up in.
    ZovHash(ZovHash&&) = delete;
    ZovHash& operator=(ZovHash&&) = delete;

    std::int32_t count() const noexcept { return count_; }
    std::int32_t capacity() const noexcept { return capacity_; }

    void setObject(V* object, const K& key)
    {
        auto& column = columns_[columnIndex(key)];
        if (column) {
            if (Slot* slot = column->find(key, equal_)) {
                slot->object = object;
                return;
            }
        } else {
            column = std::make_unique<Column>();
        }
        if (column->count == column->slotCount())
            column->grow();
        Slot* slot = column->firstEmpty();
        slot->key.emplace(key);
        slot->object = object;
        ++column->count;
        ++count_;
    }

    V* objectForKey(const K& key) const
    {
        const auto& column = columns_[columnIndex(key)];
        if (!column)
            return nullptr;
        const Slot* slot = column->find(key, equal_);
        return slot ? slot->object : nullptr;
    }

    void removeObjectForKey(const K& key) { takeObjectForKey(key); }

    // Removes the entry and answers its object; null when the key is absent.
    V* takeObjectForKey(const K& key)
    {
        auto& column = columns_[columnIndex(key)];
        if (!column)
            return nullptr;
        Slot* slot = column->find(key, equal_);
        if (!slot)
            return nullptr;
        V* object = slot->object;
        slot->key.reset();
        slot->object = nullptr;
        --column->count;
        --count_;
        if (column->count == 0)
            column.reset();
        else if (column->slotCount() - column->count >= SlotStep)
            column->pack();
        return object;
    }

    std::vector<K> keys() const
    {
        std::vector<K> result;
        result.reserve(static_cast<std::size_t>(count_));
        for (const auto& column : columns_)
            if (column)
                for (const Slot& slot : column->slots)
                    if (slot.key)
                        result.push_back(*slot.key);
        return result;
    }

    ZovArray<V> objects() const
    {
        ZovArray<V> result;
        for (const auto& column : columns_)
            if (column)
                for (const Slot& slot : column->slots)
                    if (slot.key)
                        result.addObject(slot.object);
        return result;
    }

    // Slots of the column that `key` falls into (0 when the column is not made): for tests
    // of the growth and packing rules.
    std::int32_t columnSlotsForKey(const K& key) const
    {
        const auto& column = columns_[columnIndex(key)];
        return column ? column->slotCount() : 0;
    }

private:
    static constexpr std::int32_t SlotStep = 8;

    struct Slot {
        std::optional<K> key;
        V* object = nullptr;
    };

    struct Column {
        std::int32_t count = 0;
        std::vector<Slot> slots;

        std::int32_t slotCount() const noexcept { return static_cast<std::int32_t>(slots.size()); }

        template <class Eq>
        Slot* find(const K& key, const Eq& equal)
        {
            for (Slot& slot : slots)
                if (slot.key && equal(*slot.key, key))
                    return &slot;
            return nullptr;
        }
        template <class Eq>
        const Slot* find(const K& key, const Eq& equal) const
        {
            return const_cast<Column*>(this)->find(key, equal);
        }
        Slot* firstEmpty()
        {
            for (Slot& slot : slots)
                if (!slot.key)
                    return &slot;
            return nullptr;
        }
        // A full column gets 8 more slots, its entries packed to the front.
        void grow()
        {
            packInto(slots.size() + SlotStep);
        }
        // ceil(count / 8) * 8 slots, entries at the front.
        void pack()
        {
            packInto(static_cast<std::size_t>((count + SlotStep - 1) / SlotStep * SlotStep));
        }
        void packInto(std::size_t size)
        {
            std::vector<Slot> packed;
            packed.reserve(size);
            for (Slot& slot : slots)
                if (slot.key)
                    packed.push_back(std::move(slot));
            packed.resize(size);
            slots = std::move(packed);
        }
    };

    std::size_t columnIndex(const K& key) const
    {
        return hash_(key) % static_cast<std::size_t>(capacity_);
    }

    std::int32_t count_ = 0;
    std::int32_t capacity_ = 0;
    std::vector<std::unique_ptr<Column>> columns_;
    [[no_unique_address]] Hash hash_ {};
    [[no_unique_address]] Equal equal_ {};
};

} // namespace vistel
