#include "Imaging/CodecAllocator.h"

#include <cstdlib>
#include <mutex>

namespace vistel {

namespace {

void* systemAllocate(std::uint64_t size, std::uint64_t, void*)
{
    return std::malloc(size);
}
void* systemReallocate(void* pointer, std::uint64_t newSize, std::uint64_t, void*)
{
    return std::realloc(pointer, newSize);
}
void systemDeallocate(void* pointer, void*)
{
    std::free(pointer);
}

std::mutex& defaultMutex()
{
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

// The replaced default; null means the system allocator.
Ref<CodecAllocator>& defaultSlot()
{
    static Ref<CodecAllocator>* slot = new Ref<CodecAllocator>;
    return *slot;
}

} // namespace

CodecAllocator::CodecAllocator(const CodecAllocatorContext& context, Ref<CodecAllocator> parent)
    : context_(context), parent_(std::move(parent))
{
    if (context_.retain && context_.info)
        context_.info = const_cast<void*>(context_.retain(context_.info));
}

CodecAllocator::~CodecAllocator()
{
    if (context_.release && context_.info)
        context_.release(context_.info);
}

Ref<CodecAllocator> CodecAllocator::create(const CodecAllocatorContext& context, Ref<CodecAllocator> parent)
{
    return Ref<CodecAllocator>::adopt(new CodecAllocator(context, std::move(parent)));
}

Ref<CodecAllocator> CodecAllocator::system()
{
    static CodecAllocator* allocator = [] {
        CodecAllocatorContext context {};
        context.allocate = systemAllocate;
        context.reallocate = systemReallocate;
        context.deallocate = systemDeallocate;
        return new CodecAllocator(context, nullptr); // kept for the life of the process
    }();
    return Ref<CodecAllocator>(allocator);
}

Ref<CodecAllocator> CodecAllocator::defaultAllocator()
{
    {
        std::lock_guard lock(defaultMutex());
        if (defaultSlot())
            return defaultSlot();
    }
    return system();
}

void CodecAllocator::setDefault(Ref<CodecAllocator> allocator)
{
    Ref<CodecAllocator> previous;
    std::lock_guard lock(defaultMutex());
    previous = std::exchange(defaultSlot(), std::move(allocator));
}

void* CodecAllocator::allocate(std::uint64_t size, std::uint64_t hint) const
{
    if (!context_.allocate || size == 0)
        return nullptr;
    return context_.allocate(size, hint, context_.info);
}

void* CodecAllocator::reallocate(void* pointer, std::uint64_t newSize, std::uint64_t hint) const
{
    if (!pointer)
        return allocate(newSize, hint);
    if (newSize == 0) {
        deallocate(pointer);
        return nullptr;
    }
    if (!context_.reallocate)
        return nullptr;
    return context_.reallocate(pointer, newSize, hint, context_.info);
}

void CodecAllocator::deallocate(void* pointer) const
{
    if (pointer && context_.deallocate)
        context_.deallocate(pointer, context_.info);
}

std::uint64_t CodecAllocator::preferredSize(std::uint64_t size, std::uint64_t hint) const
{
    if (context_.preferredSize)
        return context_.preferredSize(size, hint, context_.info);
    return size;
}

} // namespace vistel
