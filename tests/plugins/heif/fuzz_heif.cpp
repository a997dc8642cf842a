// libFuzzer target: the HEIF/AVIF codec on arbitrary bytes.
#include "../FuzzCodec.h"
#include "HEIFCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::HEIFCodec>(data, size);
}
