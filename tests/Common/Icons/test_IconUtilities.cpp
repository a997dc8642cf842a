// Colour records, image memory, images from pictures, file references and the interface image
// names.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "Common/Icons/IconFamily.h"
#include "Common/Icons/NSColorRGBColor.h"
#include "Common/Icons/NSImageExtention.h"
#include "Common/Icons/NSImageIconRef.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Icons/NSStringCarbonFSRefCreation.h"
#include "Common/Icons/NSWorkspaceCarbonIcons.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "IconsTestSupport.h"
#include "Platform/Bundle.h"

namespace vistel {
namespace {

TEST(NSColorRGBColor, ConvertsWithThirtyTwoThousandSevenHundredSixtySevenAsFull)
{
    struct Case {
        RGBColor record;
        QColor colour;
    } toColour[] = {
        {{32767, 0, 0}, QColor::fromRgbF(1, 0, 0)},
        {{65535, 40000, 0}, QColor::fromRgbF(1, 1, 0)}, // beyond full: clamped, not extended
        {{0, 0, 0}, QColor::fromRgbF(0, 0, 0)},
    };
    for (const Case& c : toColour) {
        const QColor colour = NSColorRGBColor::colorWithRGBColor(c.record);
        EXPECT_EQ(colour.spec(), QColor::Rgb);
        EXPECT_FLOAT_EQ(colour.redF(), c.colour.redF());
        EXPECT_FLOAT_EQ(colour.greenF(), c.colour.greenF());
        EXPECT_FLOAT_EQ(colour.alphaF(), 1.0f);
    }
    EXPECT_EQ(NSColorRGBColor::approximateRGBColor(Qt::white), (RGBColor{32767, 32767, 32767}));
    EXPECT_EQ(NSColorRGBColor::approximateRGBColor(QColor::fromRgbF(0.5f, 0, 0.25f)), (RGBColor{16383, 0, 8191}));
    EXPECT_EQ(NSColorRGBColor::approximateRGBColor(QColor::fromHsvF(0, 1, 1)), (RGBColor{32767, 0, 0}));
    // Extended colours are clamped into the record's range.
    EXPECT_EQ(NSColorRGBColor::approximateRGBColor(QColor::fromRgbF(1.5f, -0.5f, 0)), (RGBColor{32767, 0, 0}));
    EXPECT_EQ(NSColorRGBColor::approximateRGBColor(QColor()), (RGBColor{0, 0, 0}));
}

Ref<BitmapImageRep> bitmap(int width, int height, int bitsPerComponent)
{
    const std::size_t bytesPerPixel = std::size_t(bitsPerComponent / 8 * 4);
    return BitmapImageRep::create(PlatformImage::create(std::size_t(width), std::size_t(height), std::size_t(bitsPerComponent),
        bytesPerPixel * 8, bytesPerPixel * std::size_t(width), kImageAlphaPremultipliedLast, PlatformColorSpace::createDeviceRGB(),
        std::vector<std::uint8_t>(bytesPerPixel * std::size_t(width * height))));
}

TEST(NSImageExtention, MemoryUsageSumsTheRepresentations)
{
    Ref<MultiImage> image = MultiImage::create();
    EXPECT_EQ(NSImageExtention::imageMemoryUsageInBytes(*image), 0u);
    image->addRepresentation(bitmap(100, 50, 8));
    EXPECT_EQ(NSImageExtention::imageMemoryUsageInBytes(*image), 20000u);
    image->addRepresentation(bitmap(100, 50, 8));
    EXPECT_EQ(NSImageExtention::imageMemoryUsageInBytes(*image), 40000u);
    image->addRepresentation(bitmap(10, 10, 16));
    EXPECT_EQ(NSImageExtention::imageMemoryUsageInBytes(*image), 40800u);
}

TEST(NSImageCGImageRef, ImageOfAPictureHasItsPixelSize)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    Ref<MultiImage> image = NSImageCGImageRef::initWithCGImage(PlatformImage::fromQImage(picture));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSizeF(40, 30));
    ASSERT_EQ(image->representations().size(), 1u);
    EXPECT_EQ(image->representations()[0]->cgImage()->toQImage().pixel(39, 29), qRgb(10, 200, 30));
    EXPECT_FALSE(NSImageCGImageRef::initWithCGImage(nullptr));
}

TEST(NSStringCarbonFSRefCreation, CreatesOnlyWhenAsked)
{
    test::TemporaryFolder folder;
    const std::string path = folder / "new file";
    FSRef ref;
    EXPECT_FALSE(NSStringCarbonFSRefCreation::getFSRef(path, ref, false));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(NSStringCarbonFSRefCreation::getFSRef(path, ref, true));
    EXPECT_EQ(ref.path, path);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);

    // An existing file is referenced, never truncated.
    test::writeText(folder / "kept", "contents");
    ASSERT_TRUE(NSStringCarbonFSRefCreation::getFSRef(folder / "kept", ref, true));
    EXPECT_EQ(std::filesystem::file_size(folder / "kept"), 8u);
    // A dangling link is not followed to create its target.
    ASSERT_EQ(::symlink((folder / "target").c_str(), (folder / "link").c_str()), 0);
    EXPECT_FALSE(NSStringCarbonFSRefCreation::getFSRef(folder / "link", ref, true));
    EXPECT_FALSE(std::filesystem::exists(folder / "target"));
    EXPECT_FALSE(NSStringCarbonFSRefCreation::getFSRef(folder / "missing folder/x", ref, true));
}

class TemplateImages : public testing::Test {
protected:
    void SetUp() override { Bundle::setResourcePathOverride(VISTEL_SOURCE_DIR "/resources"); }
    void TearDown() override { Bundle::setResourcePathOverride({}); }
};

TEST_F(TemplateImages, EveryImageNameFindsAnImage)
{
    EXPECT_STREQ(kImageNameAdd, kNSImageNameAddTemplate);
    EXPECT_STREQ(kImageNameLockLocked, "LockLocked.icns");
    EXPECT_EQ(NSImageNameTemplatesLoader::fallbackImageName(kImageNameEnterFullScreen), "EnterFullScreen.icns");
    NSImageNameTemplatesLoader::load();
    for (const char* name : {kImageNameAdd, kImageNameRemove, kImageNameQuickLook, kImageNameGoLeft, kImageNameGoRight,
                             kImageNameListView, kImageNameIconView, kImageNameInfo, kImageNameSlideshow,
                             kImageNameEnterFullScreen, kImageNameLockLocked}) {
        const QImage image = NSImageNamedImageExtended::imageNamed(name, "images", QSize(20, 20));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(20, 20)) << name;
    }
}

TEST_F(TemplateImages, OwnArtworkStandsInWithoutATheme)
{
    test::TemporaryFolder empty;
    IconTheme::setSearchPaths({empty.path()});
    NSImageNameTemplatesLoader::registerTemplateImages();
    IconTheme::setSearchPaths({});
    for (const char* name : {kImageNameAdd, kImageNameListView, kImageNameEnterFullScreen}) {
        const QImage registered = NSImageNamedImageExtended::imageNamed(name, "images");
        const std::string fallback = NSImageNameTemplatesLoader::fallbackImageName(name); // "Add.icns"
        const QImage own(QString::fromStdString(std::string(VISTEL_SOURCE_DIR "/resources/images/")
                                                + fallback.substr(0, fallback.size() - 5) + ".png"));
        ASSERT_FALSE(own.isNull()) << name;
        EXPECT_EQ(registered.convertToFormat(QImage::Format_ARGB32), own.convertToFormat(QImage::Format_ARGB32)) << name;
    }
    NSImageNameTemplatesLoader::registerTemplateImages(); // the theme's images again
}

TEST_F(TemplateImages, DumpedImagesAreIconFamilies)
{
    test::TemporaryFolder folder;
    ASSERT_TRUE(NSImageNameTemplatesLoader::dumpImageNamed("LockLocked.icns", folder.path()));
    Ref<IconFamily> family = IconFamily::iconFamilyWithContentsOfFile(folder / "LockLocked.icns");
    ASSERT_TRUE(family);
    EXPECT_TRUE(family->bitmapImageRepWithAlphaForIconFamilyElement(makeOSType("ic09")));
    EXPECT_FALSE(NSImageNameTemplatesLoader::dumpImageNamed("NoSuchImage.icns", folder.path()));
    EXPECT_FALSE(NSImageNameTemplatesLoader::dumpImageNamed("../images/Add.png", folder.path()));
}

TEST(NSWorkspaceCarbonIcons, IconOfAMIMEType)
{
    if (IconTheme::lookupIcon("folder", 32).empty())
        VISTEL_SKIP_UNAVAILABLE() << "the Adwaita icon theme is not installed";
    Ref<MultiImage> icon = NSWorkspaceCarbonIcons::iconForMIME("image/jpeg");
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), QSizeF(512, 512));
    EXPECT_TRUE(icon->scalesWhenResized());
    EXPECT_GE(icon->representations().size(), 3u);
    EXPECT_FALSE(NSWorkspaceCarbonIcons::iconForMIME("no/such-type"));

    // The selected look darkens the icon's own pixels and leaves the transparent ones.
    const IconRef folder = IconRef::named("folder");
    const QImage plain = NSBitmapImageRepIconRef::initWithIconRefExt(folder, 32, 32)->cgImage()->toQImage();
    const QImage selected
        = NSBitmapImageRepIconRef::initWithIconRefExt(folder, 32, 32, kAlignNone, kTransformSelected)->cgImage()->toQImage();
    EXPECT_LT(qGray(selected.pixel(16, 16)), qGray(plain.pixel(16, 16)));
    EXPECT_EQ(qAlpha(selected.pixel(16, 16)), qAlpha(plain.pixel(16, 16)));
    // A wide bitmap with the icon on the left.
    const QImage left
        = NSBitmapImageRepIconRef::initWithIconRefExt(folder, 64, 32, kAlignLeft)->cgImage()->toQImage();
    EXPECT_EQ(left.size(), QSize(64, 32));
    EXPECT_EQ(qAlpha(left.pixel(60, 16)), 0);
    EXPECT_FALSE(NSBitmapImageRepIconRef::initWithIconRefExt(folder, 0, 32));
}

} // namespace
} // namespace vistel
