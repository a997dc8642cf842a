#include <gtest/gtest.h>

#include <fstream>

#include "Imaging/RIReperesentation.h"
#include "TestSupport.h"

namespace vistel {
namespace {

TEST(RIReperesentationFiles, DataAtPathReadsTheWholeFileOrNothing)
{
    test::TemporaryFolder folder("vistel-rep-files");
    Value::Bytes bytes(300 * 1024);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 31 + 7);
    std::ofstream(folder / "big.bin", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              std::streamsize(bytes.size()));
    std::ofstream(folder / "empty.bin");
    const RIReperesentation::Data data = RIReperesentation::dataAtPath(folder / "big.bin");
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, bytes);
    ASSERT_TRUE(RIReperesentation::dataAtPath(folder / "empty.bin"));
    EXPECT_TRUE(RIReperesentation::dataAtPath(folder / "empty.bin")->empty());
    for (const std::string& path : {folder.path(), folder / "missing", std::string("relative.jpg"), std::string("ICA:/1/x.jpg")})
        EXPECT_FALSE(RIReperesentation::dataAtPath(path)) << path;
}

} // namespace
} // namespace vistel
