#pragma once
// C++ helpers for implementing and holding objects of the codec plug-in contract
// (CodecPlugInContract.h). Header-only and free of the program's libraries, so plug-ins use
// them as the host does.
//
// TComObject<Impl, &InterfaceID, Destructor> turns an implementation class into a contract
// object: it adds the atomic reference count, QueryInterface for InterfaceID and IUnknown, and
// destruction through the policy when the count reaches 0. Impl derives from the C interface
// struct first (so the object's first word is the table pointer), has no virtual functions,
// and provides
//     using Interface = IFoo;                       // the C interface struct
//     static void fillTable(IFooVtbl& table);      // slots 3 onward
// A new object has one reference, held by its creator:
//     IFoo* foo = TComObject<FooImp, &IFooID>::create(args...);
//
// AutoPtr<T> holds one interface pointer (m_Ptr): assigning adds a reference to the new value
// and releases the old; destruction releases. adopt() takes over a reference already held.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "Imaging/CodecPlugInContract.h"

namespace vistel {

inline bool operator==(const CodecUUIDBytes& a, const CodecUUIDBytes& b) noexcept
{
    return CodecUUIDEqual(&a, &b) != 0;
}

// Destruction policy: plain delete.
struct DefaultDestructor {
    template <class T>
    static void destroy(T* object) noexcept
    {
        delete object;
    }
};

template <class Impl, const CodecUUIDBytes* InterfaceID, class Destructor = DefaultDestructor>
class TComObject final : public Impl {
public:
    using Interface = typename Impl::Interface;
    using Table = std::remove_const_t<std::remove_pointer_t<decltype(Interface::vtbl)>>;

    template <class... Args>
    explicit TComObject(Args&&... args) : Impl(std::forward<Args>(args)...)
    {
        static_assert(!std::is_polymorphic_v<Impl>, "the table pointer must be the object's first word");
        static_assert(std::is_base_of_v<Interface, Impl>);
        this->Interface::vtbl = &table();
    }

    // A new object with one reference for the caller, as its interface pointer.
    template <class... Args>
    static Interface* create(Args&&... args)
    {
        return static_cast<Interface*>(new TComObject(std::forward<Args>(args)...));
    }

    static TComObject* fromInterface(void* self) noexcept
    {
        return static_cast<TComObject*>(static_cast<Interface*>(self));
    }

    static const Table& table() noexcept
    {
        static const Table t = [] {
            Table v {};
            v.QueryInterface = &queryInterface;
            v.AddRef = &addRef;
            v.Release = &release;
            Impl::fillTable(v);
            return v;
        }();
        return t;
    }

    std::uint32_t refCount() const noexcept { return refCount_.load(std::memory_order_relaxed); }

private:
    static CodecResult queryInterface(void* self, CodecUUIDBytes iid, void** out)
    {
        if (!out)
            return CODEC_E_INVALIDARG;
        if (iid == *InterfaceID || iid == kIUnknownID) {
            addRef(self);
            *out = self;
            return CODEC_S_OK;
        }
        *out = nullptr;
        return CODEC_E_NOINTERFACE;
    }
    static std::uint32_t addRef(void* self)
    {
        return fromInterface(self)->refCount_.fetch_add(1, std::memory_order_seq_cst) + 1;
    }
    static std::uint32_t release(void* self)
    {
        TComObject* object = fromInterface(self);
        const std::uint32_t count = object->refCount_.fetch_sub(1, std::memory_order_seq_cst) - 1;
        if (count == 0)
            Destructor::destroy(object);
        return count;
    }

    std::atomic<std::uint32_t> refCount_ {1};
};

// Reference policy of AutoPtr: the contract's slots 1 and 2.
struct IUnknownRefPolicy {
    static void addRef(void* p) noexcept { CodecAddRef(p); }
    static void release(void* p) noexcept { CodecRelease(p); }
};

template <class T, class RefPolicy = IUnknownRefPolicy>
class AutoPtr {
public:
    AutoPtr() noexcept = default;
    // Adds a reference to `p`.
    explicit AutoPtr(T* p) noexcept : m_Ptr(p) { RefPolicy::addRef(m_Ptr); }
    AutoPtr(const AutoPtr& other) noexcept : AutoPtr(other.m_Ptr) { }
    AutoPtr(AutoPtr&& other) noexcept : m_Ptr(std::exchange(other.m_Ptr, nullptr)) { }
    ~AutoPtr() { RefPolicy::release(m_Ptr); }

    AutoPtr& operator=(T* p) noexcept
    {
        RefPolicy::addRef(p);
        T* old = std::exchange(m_Ptr, p);
        RefPolicy::release(old);
        return *this;
    }
    AutoPtr& operator=(const AutoPtr& other) noexcept { return *this = other.m_Ptr; }
    AutoPtr& operator=(AutoPtr&& other) noexcept
    {
        if (this != &other) {
            T* old = std::exchange(m_Ptr, std::exchange(other.m_Ptr, nullptr));
            RefPolicy::release(old);
        }
        return *this;
    }

    // Takes over a reference the caller already holds (a new object, an out argument).
    static AutoPtr adopt(T* p) noexcept
    {
        AutoPtr a;
        a.m_Ptr = p;
        return a;
    }
    // Gives up the reference without releasing it.
    T* detach() noexcept { return std::exchange(m_Ptr, nullptr); }
    // For out arguments: releases the current value and answers the slot to fill.
    T** receive() noexcept
    {
        RefPolicy::release(std::exchange(m_Ptr, nullptr));
        return &m_Ptr;
    }

    T* get() const noexcept { return m_Ptr; }
    T* operator->() const noexcept { return m_Ptr; }
    explicit operator bool() const noexcept { return m_Ptr != nullptr; }

    T* m_Ptr = nullptr;
};

// Releases the interface fields of the contract's records (each holds one reference) and
// clears them.
template <class T>
inline void releaseField(T*& field) noexcept
{
    CodecRelease(std::exchange(field, nullptr));
}
inline void releaseFields(CodecHostInfo& r) noexcept
{
    releaseField(r.companyName);
    releaseField(r.productName);
    releaseField(r.allocator);
}
inline void releaseFields(CodecOpenParams& r) noexcept
{
    releaseField(r.string1);
    releaseField(r.string2);
    releaseField(r.dataProvider);
}
inline void releaseFields(CodecFormatList& r) noexcept
{
    releaseField(r.string1);
    releaseField(r.string2);
    releaseField(r.string3);
    releaseField(r.string4);
}
inline void releaseFields(ImageTypeInfo& r) noexcept
{
    releaseField(r.formatType);
    releaseField(r.imageMetadata);
}
inline void releaseFields(PageInfo& r) noexcept
{
    releaseField(r.object6);
    releaseField(r.string8);
    releaseField(r.pageMetadata);
}
inline void releaseFields(IDP_DecodeParam& r) noexcept
{
    releaseField(r.progress);
    releaseField(r.image);
}

} // namespace vistel
