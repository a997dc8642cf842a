// Metadata of pictures from cameras, cards and the network is untrusted: reading it must never
// crash, and whatever was read must be writable again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImagePropertyMapping.h"

using namespace vistel;

namespace {

const std::vector<std::uint8_t>& smallJPEG()
{
    static const std::vector<std::uint8_t> bytes = [] {
        auto image = PlatformImage::create(8, 8, 8, 8, 8, kImageAlphaNone, PlatformColorSpace::createDeviceGray(),
            std::vector<std::uint8_t>(64, 100));
        auto destination = ImageDestination::createWithData("public.jpeg");
        destination->addImage(image);
        destination->finalize();
        return destination->data();
    }();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Value properties = ImagePropertyMapping::readImageProperties(data, size);
    std::vector<std::uint8_t> jpeg = smallJPEG();
    ImagePropertyMapping::writeImageProperties(jpeg, properties);
    return 0;
}
