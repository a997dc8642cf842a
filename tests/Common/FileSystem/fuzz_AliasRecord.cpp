// Alias records come back from preferences and other stored files: any bytes must parse to a
// record or be refused, and a parsed record must survive a round trip unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Common/FileSystem/AliasRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto record = vistel::AliasRecord::fromBytes({data, size});
    if (record && vistel::AliasRecord::fromBytes(record->toBytes()) != record)
        std::abort();
    return 0;
}
