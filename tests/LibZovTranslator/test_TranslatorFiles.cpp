// Path joining by the string-path rules, and replacing files whole.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>

#include "StringEncodings.h"
#include "TranslatorFiles.h"

using namespace vistel;
using namespace vistel::translator_files;

TEST(TranslatorFiles, AppendingPathComponent)
{
    struct Case {
        const char* base;
        const char* component;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp", "scratch.tiff", "/tmp/scratch.tiff"},
        {"/tmp/", "scratch.tiff", "/tmp/scratch.tiff"},
        {"/", "scratch.tiff", "/scratch.tiff"},
        {"", "scratch.tiff", "scratch.tiff"},
        {"a", "", "a"},
        {"a/", "", "a"},
        {"", "", ""},
        {"a", "/b", "a/b"},
        {"a//", "//b//", "a/b"},
        {"proj", "/abs/path", "proj/abs/path"},
        {"a", "b/c", "a/b/c"},
        {"/", "", "/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(appendingPathComponent(c.base, c.component), c.expected) << c.base << " + " << c.component;
}

TEST(TranslatorFiles, DeletingLastPathComponent)
{
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/scratch.tiff", "/tmp"}, {"/tmp/lock/", "/tmp"}, {"/tmp/", "/"}, {"/tmp", "/"},
        {"/", "/"}, {"scratch.tiff", ""}, {"a/b/", "a"}, {"", ""}, {"a//b", "a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(deletingLastPathComponent(c.path), c.expected) << c.path;
}

TEST(TranslatorFiles, WriteFileAtomicallyReplacesAndKeepsPermissions)
{
    char folder[] = "/tmp/vistel-files-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/table.strings";
    ASSERT_TRUE(writeFileAtomically(path, "first"));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(path, "second"));
    EXPECT_EQ(readFile(path, 0, 100), "second");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(readFile(path, 7, 100), std::nullopt); // below the minimum size
    EXPECT_EQ(readFile(path, 0, 3), std::nullopt);   // above the maximum size
    EXPECT_FALSE(writeFileAtomically(std::string(folder) + "/missing/table.strings", "x"));
    ::unlink(path.c_str());
    ::rmdir(folder);
}

TEST(TranslatorFiles, ReadFileRefusesAFifoWithoutWaitingForAWriter)
{
    char folder[] = "/tmp/vistel-files-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/Localizable.strings";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] { return readFile(path, 0, 100); });
    const bool returned = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!returned) { // release the blocked reader so that the test can end
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    EXPECT_TRUE(returned);
    EXPECT_EQ(read.get(), std::nullopt);
    ::unlink(path.c_str());
    ::rmdir(folder);
}

TEST(StringEncodings, IntValueAndAvailability)
{
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {{"4", 4}, {"  30", 30}, {"+12abc", 12}, {"-5", -5}, {"", 0}, {"x4", 0},
                          {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
    for (const Case& c : cases)
        EXPECT_EQ(intValueOfString(c.text), c.value) << c.text;
    EXPECT_TRUE(isAvailableStringEncoding(4));
    EXPECT_TRUE(isAvailableStringEncoding(30));
    EXPECT_FALSE(isAvailableStringEncoding(0));
    EXPECT_FALSE(isAvailableStringEncoding(99));
}
