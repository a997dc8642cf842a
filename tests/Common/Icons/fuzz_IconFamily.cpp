// Icon family bytes from anywhere: parsing and reading every element must stay in bounds, and
// a family that parses writes itself back unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Common/Icons/IconFamily.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistel;
    std::vector<std::uint8_t> bytes(data, data + size);
    Ref<IconFamily> family = IconFamily::iconFamilyWithIconFamilyHandle(bytes);
    if (!family)
        return 0;
    for (OSType type : family->elementTypes()) {
        (void)family->iconFamilyData(type);
        (void)family->bitmapImageRepWithAlphaForIconFamilyElement(type);
    }
    (void)family->imageWithAllReps();
    const std::vector<std::uint8_t> written = family->data();
    // Trailing bytes after the family's own length are not part of it.
    if (written.size() > bytes.size() || !std::equal(written.begin(), written.end(), bytes.begin()))
        std::abort();
    return 0;
}
