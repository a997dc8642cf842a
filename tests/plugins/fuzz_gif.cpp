// libFuzzer target: the GIF codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "GIFCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::GIFCodec>(data, size);
}
