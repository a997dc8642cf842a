// libFuzzer target: the WebP codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "WebPCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::WebPCodec>(data, size);
}
