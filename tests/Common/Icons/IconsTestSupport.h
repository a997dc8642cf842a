#pragma once
// Fixtures of the icon tests: a temporary folder, PNG files and a small icon theme.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include <vector>

#include <QColor>
#include <QImage>

#include "Common/Icons/IconTheme.h"
#include "TestSupport.h"

namespace vistel::test {

inline void writePng(const std::string& path, int width, int height, QColor color)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG")) << path;
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text.c_str(), file);
    std::fclose(file);
}

// A theme "Fixture" (fixed 16, 32 and 48 pixel folders; inherits hicolor) and a "hicolor" with
// one icon of its own, in a temporary search folder. Restores the real theme when done.
class FixtureTheme {
public:
    FixtureTheme()
    {
        const std::string icons = folder_ / "icons";
        writeText(icons + "/Fixture/index.theme",
                  "[Icon Theme]\nName=Fixture\nInherits=hicolor\nDirectories=16x16/apps,32x32/apps,48x48/apps\n\n"
                  "[16x16/apps]\nSize=16\nType=Fixed\n\n[32x32/apps]\nSize=32\nType=Fixed\n\n"
                  "[48x48/apps]\nSize=48\nType=Fixed\n");
        writeText(icons + "/hicolor/index.theme",
                  "[Icon Theme]\nName=Hicolor\nDirectories=64x64/apps\n\n[64x64/apps]\nSize=64\nType=Threshold\n");
        writePng(icons + "/Fixture/16x16/apps/both.png", 16, 16, Qt::red);
        writePng(icons + "/Fixture/48x48/apps/both.png", 48, 48, Qt::blue);
        writePng(icons + "/Fixture/32x32/apps/large-only.png", 32, 32, Qt::green);
        writePng(icons + "/hicolor/64x64/apps/inherited.png", 64, 64, Qt::yellow);
        IconTheme::setSearchPaths({icons});
        IconTheme::setThemeName("Fixture");
    }
    ~FixtureTheme()
    {
        IconTheme::setSearchPaths({});
        IconTheme::setThemeName({});
    }
    std::string iconsFolder() const { return folder_ / "icons"; }

private:
    TemporaryFolder folder_;
};

} // namespace vistel::test
