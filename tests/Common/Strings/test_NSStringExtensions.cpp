#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

#include "Common/Strings/NSStringExtensions.h"

namespace vistel {
namespace {

namespace fs = std::filesystem;
using NSStringExtensions::createUniqueFilePathFromPath;

class UniqueFilePath : public ::testing::Test {
protected:
    UniqueFilePath()
    {
        std::string pattern = (fs::temp_directory_path() / "vistel-unique-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~UniqueFilePath() override { fs::remove_all(folder); }

    std::string touch(const std::string& name)
    {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    std::string at(const std::string& name) const { return folder + "/" + name; }

    std::string folder;
};

TEST_F(UniqueFilePath, FreePathIsAnsweredAsItIs)
{
    EXPECT_EQ(createUniqueFilePathFromPath(at("a.jpg"), 0), at("a.jpg"));
}

TEST_F(UniqueFilePath, StylesNumberTakenNames)
{
    struct Case {
        std::vector<std::string> existing;
        std::string name;
        int style;
        std::string expected;
    };
    const Case cases[] = {
        {{"a.jpg"}, "a.jpg", 0, "a copy.jpg"},
        {{"a.jpg", "a copy.jpg"}, "a.jpg", 0, "a copy 1.jpg"},
        {{"a.jpg", "a copy.jpg", "a copy 1.jpg"}, "a.jpg", 0, "a copy 2.jpg"},
        {{"a.jpg", "a copy.jpg"}, "a.jpg", 1, "a 1.jpg"},
        {{"a.jpg", "a 1.jpg"}, "a.jpg", 1, "a 2.jpg"},
        {{"README"}, "README", 0, "README copy"},  // no extension, no trailing dot
        {{"README"}, "README", 1, "README 1"},
        {{".hidden"}, ".hidden", 0, ".hidden copy"}, // a leading dot is no extension
        {{"x.tar.gz"}, "x.tar.gz", 0, "x.tar copy.gz"},
        {{"Fotos Ü.jpg"}, "Fotos Ü.jpg", 0, "Fotos Ü copy.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " style " + std::to_string(c.style));
        for (const std::string& name : c.existing)
            touch(name);
        EXPECT_EQ(createUniqueFilePathFromPath(at(c.name), c.style), at(c.expected));
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            fs::remove(entry.path());
    }
}

TEST_F(UniqueFilePath, LongNamesAreCutAtCharacterBoundariesWithin255Bytes)
{
    // A 250-byte base of two-byte characters: every suffix forces a cut, which must not split one.
    std::string base;
    while (base.size() < 250)
        base += "\xC3\xA9"; // é
    touch(base + ".jpg");
    std::set<std::string> made;
    for (int style : {0, 1}) {
        for (int round = 0; round < 3; ++round) {
            const std::string path = createUniqueFilePathFromPath(at(base + ".jpg"), style);
            const std::string produced = path.substr(folder.size() + 1);
            const std::string producedBase = produced.substr(0, produced.find(' '));
            EXPECT_LE(produced.size(), 255u) << produced;
            EXPECT_EQ(producedBase.size() % 2, 0u) << "split character in " << produced;
            EXPECT_EQ(base.compare(0, producedBase.size(), producedBase), 0);
            EXPECT_TRUE(made.insert(produced).second) << produced;
            std::ofstream file(path);
            ASSERT_TRUE(file.good()) << produced; // the file system takes the name
        }
    }
    EXPECT_TRUE(made.count(base.substr(0, 246) + " copy.jpg"));
    EXPECT_TRUE(made.count(base.substr(0, 244) + " copy 1.jpg"));
    EXPECT_TRUE(made.count(base.substr(0, 248) + " 1.jpg"));
}

TEST(StringWithNewUUID, StandardUpperCaseVersion4Form)
{
    // 8-4-4-4-12 upper-case hex digits, version 4, variant 10xx.
    const auto wellFormed = [](const std::string& uuid) {
        if (uuid.size() != 36 || uuid[14] != '4' || std::string("89AB").find(uuid[19]) == std::string::npos)
            return false;
        for (std::size_t i = 0; i < uuid.size(); ++i) {
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash != (uuid[i] == '-'))
                return false;
            if (!dash && std::string("0123456789ABCDEF").find(uuid[i]) == std::string::npos)
                return false;
        }
        return true;
    };
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string uuid = NSStringExtensions::stringWithNewUUID();
        EXPECT_TRUE(wellFormed(uuid)) << uuid;
        EXPECT_TRUE(seen.insert(uuid).second);
    }
}

TEST(StringToDate, ReadsBothFormsAndFallsBack)
{
    const double defaultSeconds = 1232658012; // 2009-01-22 21:00:12 UTC
    struct Case {
        const char* text;
        bool useDefault;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"2009-01-22 21:00:12 +0000", false, defaultSeconds},
        {"2009-01-22 21:00:12", false, defaultSeconds}, // no zone: UTC
        {"2009:01:22 21:00:12", false, defaultSeconds}, // EXIF
        {"2009-01-22 23:00:12 +0200", false, defaultSeconds},
        {"2009-01-22 16:00:12 -0500", false, defaultSeconds},
        {"2000-02-29 00:00:00", false, 951782400},
        {"2001-02-29 00:00:00", false, std::nullopt},
        {"2009-13-01 00:00:00", false, std::nullopt},
        {"2009-01-22", false, std::nullopt},
        {"2009-01:22 21:00:12", false, std::nullopt},
        {"", false, std::nullopt},
        {"", true, defaultSeconds},
        {"yesterday", true, defaultSeconds},
    };
    for (const Case& c : cases) {
        const std::optional<Date> date = NSStringExtensions::stringToDate(c.text, c.useDefault);
        ASSERT_EQ(date.has_value(), c.seconds.has_value()) << c.text;
        if (date) {
            EXPECT_EQ(date->secondsSince1970, *c.seconds) << c.text;
        }
    }
}

} // namespace
} // namespace vistel
