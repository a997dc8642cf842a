// Reading files within size limits, and the string-encoding helpers.

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

TEST(TranslatorFiles, ReadFileKeepsToItsSizeLimits)
{
    char folder[] = "/tmp/vistel-files-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/table.strings";
    std::ofstream(path) << "second";
    EXPECT_EQ(readFile(path, 0, 100), "second");
    EXPECT_EQ(fileSize(path), 6u);
    EXPECT_EQ(readFile(path, 7, 100), std::nullopt); // below the minimum size
    EXPECT_EQ(readFile(path, 0, 3), std::nullopt);   // above the maximum size
    EXPECT_EQ(readFile(std::string(folder) + "/missing.strings", 0, 100), std::nullopt);
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
