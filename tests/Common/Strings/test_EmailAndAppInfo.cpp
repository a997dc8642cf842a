#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "Common/Strings/NSStringApplicationInfoAddition.h"
#include "Common/Strings/NSStringEmailAddition.h"

namespace vistel {
namespace {

namespace fs = std::filesystem;
namespace info = NSStringApplicationInfoAddition;

TEST(EmailAddition, SplitsAtTheFirstAt)
{
    EXPECT_EQ(NSStringEmailAddition::login("ann@example.com"), "ann");
    EXPECT_EQ(NSStringEmailAddition::domain("ann@example.com"), "example.com");
    EXPECT_EQ(NSStringEmailAddition::login("nobody"), std::nullopt);
    EXPECT_EQ(NSStringEmailAddition::domain("a@b@c.d"), "b@c.d");
}

TEST(EmailAddition, ValidAddresses)
{
    struct Case {
        const char* address;
        bool valid;
    };
    const Case cases[] = {
        {"ann@example.com", true},
        {"ann.lee_2-x@mail.example.org", true},
        {"@example.com", true},                 // an empty login is valid
        {"jürgen@bücher.de", true},             // letters of any script
        {"ивана@пример.рф", true},
        {"ann@my-host.example.com", true},
        {"ann@example.co-m", false},           // "-" in the last part
        {"ann@localhost", false},              // no "."
        {"ann@example..com", false},           // empty part
        {"ann@.com", false},
        {"ann@example.com.", false},
        {"ann lee@example.com", false},        // space in the login
        {"ann+tag@example.com", false},
        {"ann@b@c.d", false},
        {"annexample.com", false},
        {"ann@ex\xC3mple.com", false},          // broken UTF-8
    };
    for (const Case& c : cases)
        EXPECT_EQ(NSStringEmailAddition::isEmailString(c.address), c.valid) << c.address;
}

class ApplicationInfo : public ::testing::Test {
protected:
    Ref<Bundle> bundleWith(const std::string& entries)
    {
        std::ofstream(folder + "/Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" << entries
            << "</dict></plist>\n";
        return Bundle::createWithPaths(folder, folder);
    }
    ApplicationInfo()
    {
        std::string pattern = (fs::temp_directory_path() / "vistel-info-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~ApplicationInfo() override { fs::remove_all(folder); }
    std::string folder;
};

TEST_F(ApplicationInfo, VersionTexts)
{
    struct Case {
        const char* shortVersion;
        const char* build;
        const char* major;
        const char* feature;
        const char* full;
        const char* current;
    };
    const Case cases[] = {
        {"2.5", "7", "2", "5", "2.5.7", "25007"},
        {"2.5.1", "42", "2", "5", "2.5.1.42", "25042"},
        {"3.10", "123", "3", "10", "3.10.123", "310123"},
        {"4", "1234", "4", "", "4.1234", "41234"}, // no feature part: ""
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shortVersion);
        Ref<Bundle> bundle = bundleWith(std::string("<key>CFBundleShortVersionString</key><string>") + c.shortVersion
                                        + "</string><key>CFBundleVersion</key><string>" + c.build + "</string>");
        EXPECT_EQ(info::shortVersion(*bundle), c.shortVersion);
        EXPECT_EQ(info::minorVersion(*bundle), c.build);
        EXPECT_EQ(info::majorVersion(*bundle), c.major);
        EXPECT_EQ(info::featureVersion(*bundle), c.feature);
        EXPECT_EQ(info::fullVersion(*bundle), c.full);
        EXPECT_EQ(info::currentVersion(*bundle), c.current);
    }
}

TEST_F(ApplicationInfo, ResolvesInfoKeysWithoutRegardToCase)
{
    Ref<Bundle> bundle = bundleWith("<key>CFBundleName</key><string>Vistel</string>");
    EXPECT_EQ(info::stringByResolvingInfoKey("CFBundleName", std::string("Quit CFBundleName? cfbundlename!"), *bundle),
              "Quit Vistel? Vistel!");
    EXPECT_EQ(info::stringByResolvingInfoKey("CFBundleName", std::string("no key here"), *bundle), "no key here");
    EXPECT_EQ(info::stringByResolvingInfoKey("CFBundleGetInfoString", std::string("About CFBundleGetInfoString"),
                                             *bundle),
              "About CFBundleGetInfoString"); // no such value: unchanged
    EXPECT_EQ(info::stringByResolvingInfoKey("CFBundleName", std::nullopt, *bundle), std::nullopt);
}

} // namespace
} // namespace vistel
