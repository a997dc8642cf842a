// Reading a whole regular file: what is refused without being read, and the size limit.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Platform/FolderListing.h"
#include "Platform/StatusCodes.h"
#include "TestSupport.h"

using namespace vistel;

TEST(ReadRegularFileTest, ReadsFilesAndRefusesEverythingElseUnread)
{
    test::TemporaryFolder folder;
    std::ofstream(folder / "file", std::ios::binary) << std::string("a\0b", 3);
    std::filesystem::create_directory(folder / "folder");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0); // nobody writes: reading would block
    std::filesystem::create_symlink(folder / "file", folder / "link");

    std::string bytes = "old";
    EXPECT_EQ(readRegularFile(folder / "file", bytes, 100), 0);
    EXPECT_EQ(bytes, std::string("a\0b", 3));
    EXPECT_EQ(readRegularFile(folder / "link", bytes, 100), 0);
    EXPECT_EQ(bytes.size(), 3u);

    struct Case {
        const char* name;
        std::size_t limit;
        int error;
    };
    for (const Case& c : {Case {"folder", 100, EISDIR}, Case {"fifo", 100, EINVAL}, Case {"missing", 100, ENOENT},
                          Case {"file", 2, EFBIG}}) {
        bytes = "old";
        EXPECT_EQ(readRegularFile(folder / c.name, bytes, c.limit), statusFromErrno(c.error)) << c.name;
        EXPECT_TRUE(bytes.empty()) << c.name;
    }
}

TEST(ReadRegularFileTest, ReadsIntoBytesUpToTheLimit)
{
    test::TemporaryFolder folder;
    const std::string contents(100000, 'x'); // more than one read's worth
    std::ofstream(folder / "file", std::ios::binary) << contents;
    std::vector<std::uint8_t> bytes {1, 2};
    EXPECT_EQ(readRegularFile(folder / "file", bytes, contents.size()), 0);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), contents);
    bytes = {1, 2};
    EXPECT_EQ(readRegularFile(folder / "file", bytes, contents.size() - 1), statusFromErrno(EFBIG));
    EXPECT_TRUE(bytes.empty());
    std::ofstream(folder / "empty", std::ios::binary).flush();
    EXPECT_EQ(readRegularFile(folder / "empty", bytes, 10), 0);
    EXPECT_TRUE(bytes.empty());
}
