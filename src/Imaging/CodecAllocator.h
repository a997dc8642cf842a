#pragma once
// CodecAllocator: the memory allocator that the codec contract's IAllocator objects wrap.
//
// An allocator is a set of callbacks (CodecAllocatorContext) with the `info` pointer they share;
// the context's retain/release keep `info` alive while the allocator lives. The process has one
// default allocator (the C library's malloc family until setDefault() replaces it), from which
// codecs take memory through the host-information record. Allocators are immutable once made,
// and every member is safe to call from any thread.

#include <cstdint>

#include "Imaging/CodecPlugInContract.h"
#include "Platform/Object.h"

namespace vistel {

class CodecAllocator : public Object {
public:
    // An allocator over `context`. `parent` is the allocator it was created with (kept alive as
    // long as this one, may be null).
    static Ref<CodecAllocator> create(const CodecAllocatorContext& context, Ref<CodecAllocator> parent = nullptr);
    // The C library's malloc, realloc and free.
    static Ref<CodecAllocator> system();

    static Ref<CodecAllocator> defaultAllocator();
    static void setDefault(Ref<CodecAllocator> allocator); // null restores the system allocator

    // Null when the context cannot allocate. A null pointer reallocates as an allocation; a new
    // size of 0 frees the block and answers null.
    void* allocate(std::uint64_t size, std::uint64_t hint) const;
    void* reallocate(void* pointer, std::uint64_t newSize, std::uint64_t hint) const;
    void deallocate(void* pointer) const;
    std::uint64_t preferredSize(std::uint64_t size, std::uint64_t hint) const;
    const CodecAllocatorContext& context() const noexcept { return context_; }

private:
    CodecAllocator(const CodecAllocatorContext& context, Ref<CodecAllocator> parent);
    ~CodecAllocator() override;

    CodecAllocatorContext context_;
    Ref<CodecAllocator> parent_;
};

} // namespace vistel
