// libFuzzer target: the in-place orientation rewrite on arbitrary bytes. A patch changes at most
// the two bytes of the EXIF value and one XMP digit, and leaves the length alone.
#include <cstdlib>

#include "Imaging/OrientationTagPatch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly `size` bytes, so that reading past the end is caught.
    const vistel::Value::Bytes original(data, data + size);
    vistel::Value::Bytes bytes = original;
    const std::uint32_t orientation = size > 0 ? 1 + data[size - 1] % 8 : 6;
    if (!vistel::patchOrientationInPlace(bytes, orientation))
        return bytes == original ? 0 : (std::abort(), 0);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < size; ++i)
        changed += bytes[i] != original[i];
    if (bytes.size() != original.size() || changed > 3)
        std::abort();
    return 0;
}
