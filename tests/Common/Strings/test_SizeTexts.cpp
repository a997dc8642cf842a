#include <gtest/gtest.h>

#include <cstdint>

#include "Common/Strings/NSStringFileSystemAddition.h"
#include "Common/Strings/NSWorkspaceCalculations.h"

namespace vistel {
namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = KiB * 1024;
constexpr std::int64_t GiB = MiB * 1024;
constexpr std::int64_t TiB = GiB * 1024;

TEST(StringWithFileSize, UnitsChangeAtPowersOf1024)
{
    struct Case {
        std::int64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {MiB - 1, "1024.0 KB"}, // just below a megabyte, rounded
        {MiB, "1.0 MB"},
        {GiB - 1, "1024.0 MB"},
        {GiB, "1.0 GB"},
        {2 * TiB, "2048.0 GB"}, // gigabytes are the largest unit
    };
    for (const Case& c : cases)
        EXPECT_EQ(NSStringFileSystemAddition::stringWithFileSize(c.bytes), c.text) << c.bytes;
}

TEST(SizeStringForSize, RoundsUpToBlocksThenPicksTheUnit)
{
    struct Case {
        std::int64_t bytes;
        std::int32_t blockSize;
        const char* text;
    };
    const Case cases[] = {
        {0, 4096, "Zero KB"},
        {1, 4096, "4 KB"},
        {1023, 1, "Zero KB"}, // whole kilobytes only
        {1024, 1, "1 KB"},
        {1023 * KiB, 512, "1023 KB"},
        {1023 * KiB + 1, 512, "1023 KB"},
        {1024 * KiB, 512, "1.0 MB"},
        {MiB - KiB + 1, 4096, "1.0 MB"}, // the block rounding crosses the boundary
        {GiB - KiB, 1, "1024.0 MB"},
        {GiB, 1, "1.00 GB"},
        {TiB - KiB, 1, "1024.00 GB"},
        {TiB, 4096, "1.00 TB"},
        {2 * TiB, 4096, "2.00 TB"},
        {INT64_MAX, 4096, "8388608.00 TB"}, // no overflow at the top
        {5000, 0, "4 KB"},                  // no block size: bytes as they are
        {-5, 512, "Zero KB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NSWorkspaceCalculations::sizeStringForSize(c.bytes, c.blockSize), c.text)
            << c.bytes << " / " << c.blockSize;
}

} // namespace
} // namespace vistel
