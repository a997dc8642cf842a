#pragma once
// IUnknownArray: a growable array of contract interface pointers (any interface, held through
// IUnknown slots 0 to 2). Appending adds a reference (the pointer itself is kept), destruction
// releases every element. Elements are described and compared through their IUnknown identity,
// so two interfaces of one object are equal. Not thread-safe; the array itself is an Object.

#include <cstddef>
#include <string>
#include <vector>

#include "Imaging/CodecPlugInContract.h"
#include "Platform/Object.h"

namespace vistel {

class IUnknownArray : public Object {
public:
    static Ref<IUnknownArray> create();

    void append(void* element); // null is not appended
    std::size_t count() const noexcept { return elements_.size(); }
    // The element as stored (no reference added); null out of range.
    void* at(std::size_t index) const noexcept { return index < elements_.size() ? elements_[index] : nullptr; }
    std::size_t indexOf(void* element) const noexcept; // by IUnknown identity; count() when absent

    // "IUnknown[<IUnknown pointer as a signed integer>]", or "IUnknown[ERROR]" when the element
    // refuses IUnknown.
    static std::string describeElement(void* element);
    // Equal when both answer IUnknown with the same pointer; a refusal means not equal.
    static bool elementsEqual(void* a, void* b);
    // "(" element descriptions separated by ", " ")".
    std::string description() const;

private:
    IUnknownArray() = default;
    ~IUnknownArray() override;
    std::vector<void*> elements_;
};

// An empty interface array.
Ref<IUnknownArray> CreateIUnknownArray();

} // namespace vistel
