// libFuzzer target: the PNG codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "PNGCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::PNGCodec>(data, size);
}
