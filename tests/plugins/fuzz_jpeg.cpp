// libFuzzer target: the JPEG codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "JPEGCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::JPEGCodec>(data, size);
}
