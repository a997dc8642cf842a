// Fuzzes the XML property-list reader: any input is read or refused without crashing, and what
// is read is written back byte-stably.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Platform/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto value = vistel::Value::fromXmlPropertyList(input);
    if (!value)
        return 0;
    // Everything the reader accepts has a property-list form, and writing what was read back
    // in gives the same bytes again.
    const auto first = value->toXmlPropertyList();
    if (!first)
        std::abort();
    const auto reread = vistel::Value::fromXmlPropertyList(*first);
    if (!reread)
        std::abort();
    const auto second = reread->toXmlPropertyList();
    if (!second || *second != *first)
        std::abort();
    return 0;
}
