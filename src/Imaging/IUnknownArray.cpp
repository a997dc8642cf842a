#include "Imaging/IUnknownArray.h"

#include <cstdint>

namespace vistel {

namespace {

// The element's IUnknown pointer with a reference added, or null when it refuses.
void* identityOf(void* element)
{
    if (!element)
        return nullptr;
    void* identity = nullptr;
    if (static_cast<IUnknown*>(element)->vtbl->QueryInterface(element, kIUnknownID, &identity) < 0)
        return nullptr;
    return identity;
}

} // namespace

Ref<IUnknownArray> IUnknownArray::create()
{
    return Ref<IUnknownArray>::adopt(new IUnknownArray);
}

Ref<IUnknownArray> CreateIUnknownArray()
{
    return IUnknownArray::create();
}

IUnknownArray::~IUnknownArray()
{
    for (void* element : elements_)
        CodecRelease(element);
}

void IUnknownArray::append(void* element)
{
    if (!element)
        return;
    elements_.push_back(element);
    CodecAddRef(element);
}

std::size_t IUnknownArray::indexOf(void* element) const noexcept
{
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (elementsEqual(elements_[i], element))
            return i;
    return elements_.size();
}

std::string IUnknownArray::describeElement(void* element)
{
    void* identity = identityOf(element);
    if (!identity)
        return "IUnknown[ERROR]";
    // The whole pointer, as a signed integer of its own width.
    const std::string text = "IUnknown[" + std::to_string(reinterpret_cast<std::intptr_t>(identity)) + "]";
    CodecRelease(identity);
    return text;
}

bool IUnknownArray::elementsEqual(void* a, void* b)
{
    void* identityA = identityOf(a);
    void* identityB = identityOf(b);
    const bool equal = identityA && identityB && identityA == identityB;
    CodecRelease(identityA);
    CodecRelease(identityB);
    return equal;
}

std::string IUnknownArray::description() const
{
    std::string text = "(";
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        if (i)
            text += ", ";
        text += describeElement(elements_[i]);
    }
    return text + ")";
}

} // namespace vistel
