// libFuzzer target: the TIFF codec on arbitrary bytes.
#include "FuzzCodec.h"
#include "TIFFCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vistel::codec::fuzzCodec<vistel::codec::TIFFCodec>(data, size);
}
