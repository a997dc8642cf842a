#pragma once
// ZovArray: a growable array of object pointers that neither owns nor retains what it holds.
//
// The item lists of the layout engine and the docking frame live in it. Object i is stored in
// slot first_ + i of a buffer of reserved_ slots; the slots before first_ are free, so removing
// the first object and inserting at the front are constant-time. The buffer grows and shrinks
// in steps of 8 slots only, and the slot arithmetic (when it grows at the front or the end,
// when it trims) is part of the contract: invariants after every call are
//     0 <= first_,  first_ + count_ <= reserved_,  reserved_ % 8 == 0.
//
// Lookups are by identity (the very pointer), never by equality. Programming errors (an index
// out of range, the first object of an empty array, removing an object that is not there)
// raise through ZOV_ASSERT.
//
// ZovArrayBase does the untyped work on void pointers; ZovArray<T> is the typed face. The
// array is movable but not copyable: a copy would silently share objects that have one owner.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

#include "Platform/Exception.h"
#include "Platform/Object.h"

namespace vistel {

class ZovArrayBase {
public:
    // The answer of indexOfObject for an object that is not in the array.
    static constexpr std::int32_t NotFound = 0x7FFFFFFF;

    ZovArrayBase() noexcept = default;
    ZovArrayBase(const ZovArrayBase&) = delete;
    ZovArrayBase& operator=(const ZovArrayBase&) = delete;
    ZovArrayBase(ZovArrayBase&& other) noexcept;
    ZovArrayBase& operator=(ZovArrayBase&& other) noexcept;
    ~ZovArrayBase();

    std::int32_t count() const noexcept { return count_; }
    bool isEmpty() const noexcept { return count_ == 0; }

    // Slot bookkeeping, exposed for diagnostics and tests of the invariants above.
    std::int32_t reservedSlots() const noexcept { return reserved_; }
    std::int32_t firstSlot() const noexcept { return first_; }

protected:
    // The copying factories: a buffer of (count rounded down to a multiple of 8) + 8 slots.
    explicit ZovArrayBase(const std::vector<void*>& objects);

    void* objectAt(std::int32_t index) const;
    void* first() const;
    void* last() const;
    std::int32_t indexOf(const void* object) const noexcept;
    void add(void* object);
    void insert(void* object, std::int32_t index);
    void replace(void* object, std::int32_t index);
    void removeAt(std::int32_t index);
    void remove(const void* object);
    void* takeAt(std::int32_t index);
    void* take(const void* object);
    void clearSlots() noexcept;

    void* const* data() const noexcept { return objects_ ? objects_ + first_ : nullptr; }

private:
    void growAtEnd();
    void growAtFront();
    void removeSlot(std::int32_t index);
    void shrink();
    void freeBuffer() noexcept;

    std::int32_t count_ = 0;
    std::int32_t reserved_ = 0;
    std::int32_t first_ = 0;
    void** objects_ = nullptr;
};

template <class T>
class ZovArray : public ZovArrayBase {
public:
    ZovArray() noexcept = default; // the empty array (+new, +array)
    ZovArray(ZovArray&&) noexcept = default;
    ZovArray& operator=(ZovArray&&) noexcept = default;

    // +newWithObjects:count: — copies the pointers; nothing is retained.
    static ZovArray createWithObjects(T* const* objects, std::int32_t count)
    {
        return ZovArray(objects, count);
    }
    // +newWithNSArray:
    static ZovArray createWithVector(const std::vector<T*>& objects)
    {
        return ZovArray(objects.data(), static_cast<std::int32_t>(objects.size()));
    }

    T* objectAtIndex(std::int32_t index) const { return cast(objectAt(index)); }
    T* operator[](std::int32_t index) const { return objectAtIndex(index); }
    T* firstObject() const { return cast(first()); }
    T* lastObject() const { return cast(last()); }
    std::int32_t indexOfObject(const T* object) const noexcept { return indexOf(erase(object)); }
    bool containsObject(const T* object) const noexcept { return indexOf(erase(object)) != NotFound; }

    void addObject(T* object) { add(erase(object)); }
    void insertObject(T* object, std::int32_t index) { insert(erase(object), index); }
    void replaceObject(T* object, std::int32_t index) { replace(erase(object), index); }
    void removeObjectAtIndex(std::int32_t index) { removeAt(index); }
    void removeObject(const T* object) { remove(erase(object)); }
    // Remove like the two above and answer the object, but never shrink the buffer.
    T* takeObjectAtIndex(std::int32_t index) { return cast(takeAt(index)); }
    T* takeObject(const T* object) { return cast(take(erase(object))); }
    // Frees the buffer when the array holds objects; the objects are not touched.
    void clear() noexcept { clearSlots(); }

    // The array does not own its objects; this is for the callers that made it the owner of
    // what it holds. Objects derived from Object are released once, any other object is
    // deleted. Then the array is cleared.
    void releaseAllAndClear()
    {
        static_assert(sizeof(T) > 0, "releaseAllAndClear needs the complete type");
        // Work on a copy of the pointers: a destructor may look at the array again.
        std::vector<T*> objects(begin(), end());
        clear();
        for (T* object : objects) {
            if (!object)
                continue;
            if constexpr (std::is_base_of_v<Object, T>)
                object->release();
            else
                delete object;
        }
    }

    // Iteration over the objects in order. Invalidated by any change of the array.
    class Iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = T*;

        Iterator() noexcept = default;
        explicit Iterator(void* const* slot) noexcept : slot_(slot) { }
        T* operator*() const noexcept { return static_cast<T*>(*slot_); }
        T* operator[](difference_type n) const noexcept { return static_cast<T*>(slot_[n]); }
        Iterator& operator++() noexcept { ++slot_; return *this; }
        Iterator operator++(int) noexcept { Iterator old = *this; ++slot_; return old; }
        Iterator& operator--() noexcept { --slot_; return *this; }
        Iterator operator--(int) noexcept { Iterator old = *this; --slot_; return old; }
        Iterator& operator+=(difference_type n) noexcept { slot_ += n; return *this; }
        Iterator& operator-=(difference_type n) noexcept { slot_ -= n; return *this; }
        friend Iterator operator+(Iterator it, difference_type n) noexcept { return it += n; }
        friend Iterator operator+(difference_type n, Iterator it) noexcept { return it += n; }
        friend Iterator operator-(Iterator it, difference_type n) noexcept { return it -= n; }
        friend difference_type operator-(Iterator a, Iterator b) noexcept { return a.slot_ - b.slot_; }
        friend bool operator==(Iterator a, Iterator b) noexcept { return a.slot_ == b.slot_; }
        friend auto operator<=>(Iterator a, Iterator b) noexcept { return a.slot_ <=> b.slot_; }

    private:
        void* const* slot_ = nullptr;
    };

    Iterator begin() const noexcept { return Iterator(data()); }
    Iterator end() const noexcept { return Iterator(data() ? data() + count() : nullptr); }
    std::vector<T*> toVector() const { return std::vector<T*>(begin(), end()); }

private:
    template <class P>
    ZovArray(P const* objects, std::int32_t count) : ZovArrayBase(copyPointers(objects, count))
    {
    }
    template <class P>
    static std::vector<void*> copyPointers(P const* objects, std::int32_t count)
    {
        ZOV_ASSERT(count >= 0 && (objects || count == 0), "Index out of range");
        std::vector<void*> pointers;
        if (count > 0)
            for (std::int32_t i = 0; i < count; ++i)
                pointers.push_back(erase(objects[i]));
        return pointers;
    }
    static void* erase(const T* object) noexcept
    {
        return const_cast<void*>(static_cast<const void*>(object));
    }
    static T* cast(void* object) noexcept { return static_cast<T*>(object); }
};

} // namespace vistel
