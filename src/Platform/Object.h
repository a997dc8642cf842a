#pragma once
// Object and Ref<T>: intrusive, atomic reference counting.
//
// Objects that the program hands between owners and threads (catalogue items, device
// information, workers, codec host objects) derive from Object and are held through Ref<T>.
// A new object starts with one reference, which makeRef() adopts; retain()/release() exist
// for the few places that must balance references by hand (C boundaries of the codec
// contract). Reference counts are safe to change from any thread; the object itself is not
// made thread-safe by this.
//
// Objects that have exactly one owner (layout items, docks, dock areas) do not derive from
// Object: they are held by std::unique_ptr.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace vistel {

class Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    void retain() const noexcept { refCount_.fetch_add(1, std::memory_order_relaxed); }
    void release() const noexcept
    {
        if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }
    std::int32_t retainCount() const noexcept { return refCount_.load(std::memory_order_relaxed); }

protected:
    virtual ~Object() = default;

private:
    mutable std::atomic<std::int32_t> refCount_ {1};
};

// A nullable owning pointer to an Object. Copying retains, destruction releases.
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept { }
    // Takes an additional reference to `object`.
    explicit Ref(T* object) noexcept : ptr_(object)
    {
        if (ptr_)
            ptr_->retain();
    }
    Ref(const Ref& other) noexcept : Ref(other.ptr_) { }
    Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) { }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& other) noexcept : Ref(static_cast<T*>(other.get())) { }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(Ref<U>&& other) noexcept : ptr_(other.leak()) { }
    ~Ref()
    {
        if (ptr_)
            ptr_->release();
    }

    Ref& operator=(Ref other) noexcept
    {
        std::swap(ptr_, other.ptr_);
        return *this;
    }

    // Takes over a reference the caller already holds (a fresh object, or one handed over
    // across a C boundary).
    static Ref adopt(T* object) noexcept
    {
        Ref ref;
        ref.ptr_ = object;
        return ref;
    }
    // Gives up ownership without releasing; the caller now holds the reference.
    T* leak() noexcept { return std::exchange(ptr_, nullptr); }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    T& operator*() const noexcept { return *ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.ptr_ == b.ptr_; }
    friend bool operator==(const Ref& a, std::nullptr_t) noexcept { return a.ptr_ == nullptr; }
    friend bool operator==(const Ref& a, const T* b) noexcept { return a.ptr_ == b; }

private:
    T* ptr_ = nullptr;
};

template <class T, class... Args>
Ref<T> makeRef(Args&&... args)
{
    return Ref<T>::adopt(new T(std::forward<Args>(args)...));
}

// Casts between Ref types; answers null when the object is not a U.
template <class U, class T>
Ref<U> dynamicRefCast(const Ref<T>& ref)
{
    return Ref<U>(dynamic_cast<U*>(ref.get()));
}

} // namespace vistel
