#include "Common/Tools/Containers/ZovArray.h"

#include <cstring>

#include "Platform/Exception.h"

namespace vistel {

namespace {
constexpr std::int32_t SlotStep = 8;

void** allocateSlots(std::int32_t slots)
{
    return new void*[static_cast<std::size_t>(slots)]();
}
} // namespace

ZovArrayBase::ZovArrayBase(const std::vector<void*>& objects)
{
    const auto count = static_cast<std::int32_t>(objects.size());
    reserved_ = (count / SlotStep) * SlotStep + SlotStep;
    objects_ = allocateSlots(reserved_);
    if (count > 0)
        std::memcpy(objects_, objects.data(), sizeof(void*) * static_cast<std::size_t>(count));
    count_ = count;
    first_ = 0;
}

ZovArrayBase::ZovArrayBase(ZovArrayBase&& other) noexcept
    : count_(std::exchange(other.count_, 0))
    , reserved_(std::exchange(other.reserved_, 0))
    , first_(std::exchange(other.first_, 0))
    , objects_(std::exchange(other.objects_, nullptr))
{
}

ZovArrayBase& ZovArrayBase::operator=(ZovArrayBase&& other) noexcept
{
    if (this != &other) {
        freeBuffer();
        count_ = std::exchange(other.count_, 0);
        reserved_ = std::exchange(other.reserved_, 0);
        first_ = std::exchange(other.first_, 0);
        objects_ = std::exchange(other.objects_, nullptr);
    }
    return *this;
}

ZovArrayBase::~ZovArrayBase()
{
    freeBuffer();
}

void ZovArrayBase::freeBuffer() noexcept
{
    delete[] objects_;
    objects_ = nullptr;
    count_ = 0;
    reserved_ = 0;
    first_ = 0;
}

void* ZovArrayBase::objectAt(std::int32_t index) const
{
    ZOV_ASSERT(index >= 0 && index < count_, "Index out of range");
    return objects_[first_ + index];
}

void* ZovArrayBase::first() const
{
    ZOV_ASSERT(count_ > 0, "Array is empty");
    return objects_[first_];
}

void* ZovArrayBase::last() const
{
    ZOV_ASSERT(count_ > 0, "Array is empty");
    return objects_[first_ + count_ - 1];
}

std::int32_t ZovArrayBase::indexOf(const void* object) const noexcept
{
    for (std::int32_t i = 0; i < count_; ++i)
        if (objects_[first_ + i] == object)
            return i;
    return NotFound;
}

// 8 more slots at the end; the objects keep their slot numbers.
void ZovArrayBase::growAtEnd()
{
    ZOV_ASSERT(reserved_ <= INT32_MAX - SlotStep, "Index out of range");
    void** grown = allocateSlots(reserved_ + SlotStep);
    if (objects_)
        std::memcpy(grown, objects_, sizeof(void*) * static_cast<std::size_t>(reserved_));
    delete[] objects_;
    objects_ = grown;
    reserved_ += SlotStep;
}

// 8 more slots at the front; every object moves 8 slots up.
void ZovArrayBase::growAtFront()
{
    ZOV_ASSERT(reserved_ <= INT32_MAX - SlotStep, "Index out of range");
    void** grown = allocateSlots(reserved_ + SlotStep);
    if (objects_)
        std::memcpy(grown + SlotStep, objects_, sizeof(void*) * static_cast<std::size_t>(reserved_));
    delete[] objects_;
    objects_ = grown;
    reserved_ += SlotStep;
    first_ += SlotStep;
}

void ZovArrayBase::add(void* object)
{
    if (first_ + count_ + 1 > reserved_)
        growAtEnd();
    objects_[first_ + count_] = object;
    ++count_;
}

void ZovArrayBase::insert(void* object, std::int32_t index)
{
    ZOV_ASSERT(index >= 0 && index <= count_, "Index out of range");
    if (index == 0) {
        if (first_ < 1)
            growAtFront();
        --first_;
        objects_[first_] = object;
        ++count_;
        return;
    }
    if (first_ + count_ + 1 > reserved_)
        growAtEnd();
    void** at = objects_ + first_ + index;
    std::memmove(at + 1, at, sizeof(void*) * static_cast<std::size_t>(count_ - index));
    *at = object;
    ++count_;
}

void ZovArrayBase::replace(void* object, std::int32_t index)
{
    ZOV_ASSERT(index >= 0 && index < count_, "Index out of range");
    objects_[first_ + index] = object;
}

void ZovArrayBase::removeSlot(std::int32_t index)
{
    if (index == 0) {
        objects_[first_] = nullptr;
        ++first_;
    } else {
        void** at = objects_ + first_ + index;
        std::memmove(at, at + 1, sizeof(void*) * static_cast<std::size_t>(count_ - index - 1));
        objects_[first_ + count_ - 1] = nullptr;
    }
    --count_;
}

// After a removal: free the buffer when empty; otherwise give up whole steps of free slots at
// the front, or else at the end (never both in one call).
void ZovArrayBase::shrink()
{
    if (count_ == 0) {
        freeBuffer();
        return;
    }
    std::int32_t dropFront = 0;
    std::int32_t dropEnd = 0;
    if (first_ >= SlotStep) {
        dropFront = (first_ / SlotStep) * SlotStep;
    } else {
        const std::int32_t freeAtEnd = reserved_ - first_ - count_;
        if (freeAtEnd >= SlotStep)
            dropEnd = (freeAtEnd / SlotStep) * SlotStep;
    }
    if (dropFront == 0 && dropEnd == 0)
        return;
    const std::int32_t slots = reserved_ - dropFront - dropEnd;
    void** smaller = allocateSlots(slots);
    std::memcpy(smaller, objects_ + dropFront, sizeof(void*) * static_cast<std::size_t>(slots));
    delete[] objects_;
    objects_ = smaller;
    reserved_ = slots;
    first_ -= dropFront;
}

void ZovArrayBase::removeAt(std::int32_t index)
{
    ZOV_ASSERT(index >= 0 && index < count_, "Index out of range");
    removeSlot(index);
    shrink();
}

void ZovArrayBase::remove(const void* object)
{
    const std::int32_t index = indexOf(object);
    ZOV_ASSERT(index != NotFound, "No such object in array");
    removeSlot(index);
    shrink();
}

void* ZovArrayBase::takeAt(std::int32_t index)
{
    ZOV_ASSERT(index >= 0 && index < count_, "Index out of range");
    void* object = objects_[first_ + index];
    removeSlot(index);
    return object;
}

void* ZovArrayBase::take(const void* object)
{
    const std::int32_t index = indexOf(object);
    ZOV_ASSERT(index != NotFound, "No such object in array");
    void* taken = objects_[first_ + index];
    removeSlot(index);
    return taken;
}

void ZovArrayBase::clearSlots() noexcept
{
    if (count_ > 0)
        freeBuffer();
}

} // namespace vistel
