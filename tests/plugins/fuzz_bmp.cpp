// libFuzzer target: the BMP codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "BMPCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::BMPCodec>(data, size);
}
