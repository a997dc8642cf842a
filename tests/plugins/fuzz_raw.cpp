// libFuzzer target: the RAW codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "RAWCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::RAWCodec>(data, size);
}
