// The icon theme lookup and the desktop's file icons.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "Common/Icons/IconTheme.h"
#include "Common/Icons/WorkspaceIcons.h"
#include "IconsTestSupport.h"

namespace vistel {
namespace {

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(IconTheme, LooksUpTheNearestSizeThroughTheInheritanceChain)
{
    test::FixtureTheme theme;
    struct Case {
        const char* name;
        int size;
        const char* expected; // suffix of the file, empty for none
    } cases[] = {
        {"both", 16, "/Fixture/16x16/apps/both.png"},
        {"both", 48, "/Fixture/48x48/apps/both.png"},
        {"both", 20, "/Fixture/16x16/apps/both.png"},
        {"both", 32, "/Fixture/48x48/apps/both.png"}, // a tie scales down from the larger file
        {"large-only", 256, "/Fixture/32x32/apps/large-only.png"},
        {"inherited", 64, "/hicolor/64x64/apps/inherited.png"},
        {"inherited", 16, "/hicolor/64x64/apps/inherited.png"},
        {"missing", 16, ""},
        {"../Fixture/16x16/apps/both", 16, ""},
        {"both", 0, ""},
    };
    for (const Case& c : cases) {
        const std::string found = IconTheme::lookupIcon(c.name, c.size);
        if (*c.expected)
            EXPECT_TRUE(endsWith(found, c.expected)) << c.name << " at " << c.size << ": " << found;
        else
            EXPECT_EQ(found, "") << c.name << " at " << c.size;
    }
    EXPECT_EQ(IconTheme::availableSizes("both"), (std::vector<int>{16, 48}));
    EXPECT_EQ(IconTheme::availableSizes("inherited"), (std::vector<int>{64}));
    EXPECT_TRUE(IconTheme::availableSizes("missing").empty());
}

TEST(IconTheme, LoadsAnIconIntoASquareOfTheSize)
{
    test::FixtureTheme theme;
    const QImage icon = IconTheme::loadIcon("both", 32);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(QColor(icon.pixel(16, 16)), QColor(Qt::blue)); // drawn from the 48-pixel file
    EXPECT_TRUE(IconTheme::loadIcon("missing", 32).isNull());
}

class DesktopIcons : public testing::Test {
protected:
    void SetUp() override
    {
        if (IconTheme::lookupIcon("folder", 32).empty())
            VISTEL_SKIP_UNAVAILABLE() << "the Adwaita icon theme is not installed";
        test::writeText(folder_ / "photo.jpg", "not really a JPEG, named as one");
        ::mkdir((folder_ / "album").c_str(), 0755);
    }
    test::TemporaryFolder folder_;
};

TEST_F(DesktopIcons, FileAndFolderIconsAreDrawnOffscreen)
{
    const auto jpegIcon = WorkspaceIcons::iconRefForFile(folder_ / "photo.jpg");
    ASSERT_TRUE(jpegIcon);
    EXPECT_TRUE(jpegIcon->themeName == "image-jpeg" || jpegIcon->themeName == "image-x-generic") << jpegIcon->themeName;
    EXPECT_EQ(WorkspaceIcons::iconRefForFile(folder_ / "album")->themeName, "folder");
    EXPECT_FALSE(WorkspaceIcons::iconRefForFile(folder_ / "nothing here"));

    for (const std::string& path : {folder_ / "photo.jpg", folder_ / "album"}) {
        Ref<MultiImage> icon = WorkspaceIcons::iconForFile(path);
        ASSERT_TRUE(icon) << path;
        ASSERT_FALSE(icon->representations().empty());
        const QImage drawn = icon->bestRepresentationForSize(QSizeF(32, 32))->cgImage()->toQImage();
        EXPECT_EQ(drawn.size(), QSize(32, 32));
        EXPECT_GT(qAlpha(drawn.pixel(16, 16)), 0) << path << " has a blank icon";
    }
}

TEST_F(DesktopIcons, IconsAreMadeOnWorkerThreads)
{
    Ref<MultiImage> icon;
    std::thread worker([&] { icon = WorkspaceIcons::iconForFile(folder_ / "photo.jpg"); });
    worker.join();
    ASSERT_TRUE(icon);
    EXPECT_FALSE(icon->representations().empty());
}

TEST_F(DesktopIcons, FileTypesAndSpecialFolders)
{
    EXPECT_EQ(WorkspaceIcons::iconRefForFileType("'fldr'")->themeName, "folder");
    for (const char* type : {"jpg", "JPG", "public.jpeg"}) {
        const auto icon = WorkspaceIcons::iconRefForFileType(type);
        ASSERT_TRUE(icon) << type;
        EXPECT_TRUE(icon->themeName == "image-jpeg" || icon->themeName == "image-x-generic") << type;
    }
    EXPECT_TRUE(WorkspaceIcons::iconRefForFileType("an-extension-nobody-has"));

    // The pictures folder of a home without user-dirs configuration is ~/Pictures.
    const std::string home = folder_ / "home";
    ::mkdir(home.c_str(), 0755);
    ::mkdir((home + "/Pictures").c_str(), 0755);
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfigValue = savedConfig ? savedConfig : "";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    const auto pictures = WorkspaceIcons::iconRefForFile(home + "/Pictures");
    const auto homeIcon = WorkspaceIcons::iconRefForFile(home);
    setenv("HOME", savedHome.c_str(), 1);
    if (savedConfig)
        setenv("XDG_CONFIG_HOME", savedConfigValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(pictures && homeIcon);
    EXPECT_EQ(pictures->themeName, "folder-pictures");
    EXPECT_EQ(homeIcon->themeName, "user-home");
}

} // namespace
} // namespace vistel
