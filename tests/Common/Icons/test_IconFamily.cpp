// Icon families: the ".icns" container, the converters and families made from images.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include <QImageReader>

#include "Common/Icons/IconFamily.h"
#include "Common/Icons/NSImageIconRef.h"
#include "../FileSystem/FileSystemFixtures.h"
#include "IconsTestSupport.h"
#include "Platform/Log.h"
#include "TestSupport.h"

namespace vistel {
namespace {

Ref<MultiImage> imageOf(const QImage& picture)
{
    return MultiImage::createWithPlatformImage(PlatformImage::fromQImage(picture));
}

// A 300 by 150 picture: opaque red, a blue left half, and a half-transparent green square.
QImage sampleImage()
{
    QImage image(300, 150, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0));
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 150; ++x)
            image.setPixel(x, y, qRgb(0, 0, 255));
    for (int y = 60; y < 90; ++y)
        for (int x = 200; x < 230; ++x)
            image.setPixel(x, y, qRgba(0, 255, 0, 128));
    return image;
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(IconFamily, FamilyFromAnImageCentresItOnTransparentRows)
{
    Ref<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(imageOf(sampleImage()));
    ASSERT_TRUE(family);
    const std::vector<OSType> expected = {
        makeOSType("ic09"), makeOSType("ic08"), makeOSType("it32"), makeOSType("t8mk"),
        makeOSType("il32"), makeOSType("icl8"), makeOSType("l8mk"), makeOSType("ICN#"),
        makeOSType("is32"), makeOSType("ics8"), makeOSType("s8mk"), makeOSType("ics#"),
    };
    EXPECT_EQ(family->elementTypes(), expected);

    Ref<BitmapImageRep> big = family->bitmapImageRepWithAlphaForIconFamilyElement(makeOSType("ic09"));
    ASSERT_TRUE(big);
    const QImage pixels = big->cgImage()->toQImage();
    ASSERT_EQ(pixels.size(), QSize(512, 512));
    // 512 by 256 centred: rows 128...383 hold the picture.
    EXPECT_EQ(qAlpha(pixels.pixel(256, 60)), 0);
    EXPECT_EQ(qAlpha(pixels.pixel(256, 450)), 0);
    EXPECT_EQ(pixels.pixel(50, 256), qRgb(0, 0, 255));
    EXPECT_EQ(pixels.pixel(450, 140), qRgb(255, 0, 0));
    // Half-transparent green keeps its colour (un-premultiplied) and its alpha.
    const QRgb green = pixels.pixel(365, 256);
    EXPECT_NEAR(qAlpha(green), 128, 2);
    EXPECT_NEAR(qGreen(green), 255, 3);
    EXPECT_LE(qRed(green), 3);

    // The 32-bit elements with their masks as alpha.
    for (auto [type, size] : {std::pair{makeOSType("it32"), 128}, {makeOSType("il32"), 32}, {makeOSType("is32"), 16}}) {
        Ref<BitmapImageRep> rep = family->bitmapImageRepWithAlphaForIconFamilyElement(type);
        ASSERT_TRUE(rep) << osTypeString(type);
        const QImage small = rep->cgImage()->toQImage();
        EXPECT_EQ(small.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(small.pixel(size / 2, 1)), 0) << osTypeString(type);
        EXPECT_EQ(qAlpha(small.pixel(size / 4, size / 2)), 255) << osTypeString(type);
        EXPECT_GT(qBlue(small.pixel(size / 4, size / 2)), 200) << osTypeString(type);
    }
    EXPECT_FALSE(family->bitmapImageRepWithAlphaForIconFamilyElement(makeOSType("icl8")));
    EXPECT_FALSE(family->bitmapImageRepWithAlphaForIconFamilyElement(makeOSType("ih32")));
}

TEST(IconFamily, WrittenFileReadsBackEqualAndOpensInAnIndependentReader)
{
    test::TemporaryFolder folder;
    Ref<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(imageOf(sampleImage()));
    ASSERT_TRUE(family);
    const std::string path = folder / "sample.icns";
    ASSERT_TRUE(family->writeToFile(path));

    const std::vector<std::uint8_t> bytes = readFile(path);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "icns");
    const std::uint32_t total = (std::uint32_t(bytes[4]) << 24) | (std::uint32_t(bytes[5]) << 16)
        | (std::uint32_t(bytes[6]) << 8) | bytes[7];
    EXPECT_EQ(total, bytes.size());

    Ref<IconFamily> read = IconFamily::iconFamilyWithContentsOfFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->data(), family->data());
    for (OSType type : family->elementTypes())
        EXPECT_EQ(read->iconFamilyData(type), family->iconFamilyData(type)) << osTypeString(type);

    QImageReader reader(QString::fromStdString(path), "icns");
    if (!reader.canRead())
        VISTEL_SKIP_UNAVAILABLE() << "no icns image reader is installed (qt6-image-formats-plugins)";
    int largest = 0;
    int readable = 0;
    for (int index = 0; index < reader.imageCount(); ++index) {
        ASSERT_TRUE(reader.jumpToImage(index));
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        ++readable;
        largest = std::max(largest, image.width());
        if (image.width() == 128) {
            // The reader joins it32 with t8mk as we do.
            EXPECT_EQ(qAlpha(image.pixel(64, 2)), 0);
            EXPECT_EQ(image.pixel(30, 64) | 0xFF000000u, qRgb(0, 0, 255));
        }
    }
    EXPECT_GE(readable, 5) << "of " << reader.imageCount();
    EXPECT_EQ(largest, 512);
}

TEST(IconFamily, DamagedFilesAreRefused)
{
    Ref<IconFamily> family = IconFamily::iconFamily();
    ASSERT_EQ(family->setIconFamilyData(makeOSType("s8mk"), std::vector<std::uint8_t>(256, 7)), 0);
    const std::vector<std::uint8_t> good = family->data();
    ASSERT_TRUE(IconFamily::iconFamilyWithIconFamilyHandle(good));

    auto damaged = [&](auto change) {
        std::vector<std::uint8_t> bytes = good;
        change(bytes);
        return !IconFamily::iconFamilyWithIconFamilyHandle(bytes);
    };
    EXPECT_TRUE(damaged([](auto& b) { b[0] = 'x'; }));                     // not a family
    EXPECT_TRUE(damaged([](auto& b) { b[7] += 1; }));                      // total beyond the data
    EXPECT_TRUE(damaged([](auto& b) { b[15] = 4; }));                      // element shorter than its header
    EXPECT_TRUE(damaged([](auto& b) { b[14] = 0x10; }));                   // element beyond the total
    EXPECT_TRUE(damaged([](auto& b) { b.resize(12); b[7] = 12; }));        // header cut short
    EXPECT_TRUE(!IconFamily::iconFamilyWithIconFamilyHandle({}));

    // A run that overflows its channel makes the element unreadable, not the family.
    Ref<IconFamily> withBadRun = IconFamily::iconFamily();
    std::vector<std::uint8_t> handle = {'i', 'c', 'n', 's', 0, 0, 0, 18, 'i', 's', '3', '2', 0, 0, 0, 10, 0xFF, 0x01};
    withBadRun = IconFamily::iconFamilyWithIconFamilyHandle(handle);
    ASSERT_TRUE(withBadRun);
    EXPECT_FALSE(withBadRun->iconFamilyData(makeOSType("is32")));
    EXPECT_FALSE(withBadRun->bitmapImageRepWithAlphaForIconFamilyElement(makeOSType("is32")));
}

TEST(IconFamily, OnlyRegularFilesAreRead)
{
    test::TemporaryFolder folder;
    const std::string fifo = folder / "pipe.icns";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(IconFamily::iconFamilyWithContentsOfFile(fifo)) << "a FIFO without a writer must not block";
    EXPECT_FALSE(IconFamily::iconFamilyWithContentsOfFile(folder.path()));
    EXPECT_FALSE(IconFamily::iconFamilyWithContentsOfFile(folder / "missing.icns"));
}

TEST(IconFamily, RunLengthDataOfOtherWritersDecodes)
{
    // A 16-pixel is32 written by hand, channel after channel of 256 bytes: red as runs of 130
    // and 126, green as two literals and runs of 130 and 124, blue as runs.
    std::vector<std::uint8_t> stored = {0xFF, 255, 0xFB, 255};
    stored.insert(stored.end(), {0x01, 10, 20, 0xFF, 30, 0xF9, 30});
    stored.insert(stored.end(), {0xFF, 0, 0xFB, 0});
    std::vector<std::uint8_t> handle = {'i', 'c', 'n', 's', 0, 0, 0, 0, 'i', 's', '3', '2', 0, 0, 0, 0};
    handle.insert(handle.end(), stored.begin(), stored.end());
    handle[7] = std::uint8_t(handle.size());
    handle[15] = std::uint8_t(8 + stored.size());
    Ref<IconFamily> family = IconFamily::iconFamilyWithIconFamilyHandle(handle);
    ASSERT_TRUE(family);
    const auto pixels = family->iconFamilyData(makeOSType("is32"));
    ASSERT_TRUE(pixels);
    ASSERT_EQ(pixels->size(), 16u * 16u * 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(pixels->begin(), pixels->begin() + 12),
              (std::vector<std::uint8_t>{0, 255, 10, 0, 0, 255, 20, 0, 0, 255, 30, 0}));
    EXPECT_EQ((*pixels)[255 * 4 + 2], 30);
    // No mask: the bitmap is opaque.
    Ref<BitmapImageRep> rep = family->bitmapImageRepWithAlphaForIconFamilyElement(makeOSType("is32"));
    ASSERT_TRUE(rep);
    EXPECT_EQ(qAlpha(rep->cgImage()->toQImage().pixel(3, 3)), 255);
}

IconBitmapSource source(int size, int samples, int bitsPerPixel, const std::vector<std::uint8_t>& pixels,
                        bool premultiplied = true)
{
    IconBitmapSource bitmap;
    bitmap.pixelsWide = bitmap.pixelsHigh = size;
    bitmap.samplesPerPixel = samples;
    bitmap.bitsPerSample = bitsPerPixel == 1 ? 1 : 8;
    bitmap.bitsPerPixel = bitsPerPixel;
    bitmap.bytesPerRow = std::size_t((size * bitsPerPixel + 7) / 8);
    bitmap.premultiplied = premultiplied;
    bitmap.data = pixels.data();
    return bitmap;
}

TEST(IconFamily, ConvertersRefuseWhatTheyCannotReadWithTheirLogLines)
{
    const std::vector<std::uint8_t> rgba(32 * 32 * 4, 200);
    struct Case {
        const char* what;
        OSType type;
        IconBitmapSource bitmap;
        const char* logged; // empty: no line
    } cases[] = {
        {"wrong size", makeOSType("il32"), source(16, 4, 32, rgba), ""},
        {"planar", makeOSType("il32"), [&] { auto b = source(32, 4, 32, rgba); b.planar = true; return b; }(),
         "get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES"},
        {"16-bit samples", makeOSType("icl8"), [&] { auto b = source(32, 4, 32, rgba); b.bitsPerSample = 16; return b; }(),
         "get8BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerSample == 16"},
        {"grey colour index", makeOSType("icl8"), source(32, 1, 8, rgba),
         "get8BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to samplesPerPixel == 1, bitsPerPixel == 8"},
        {"two samples", makeOSType("l8mk"), source(32, 2, 16, rgba),
         "get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to samplesPerPixel == 2, bitsPerPixel == 16"},
        {"two-sample 1-bit", makeOSType("ICN#"), source(32, 2, 16, rgba),
         "get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerPixel == 16, samplesPerPixel== 2, "
         "bitsPerSample == 8"},
    };
    for (const Case& c : cases) {
        Ref<IconFamily> family = IconFamily::iconFamily();
        ScopedLogCapture log;
        EXPECT_FALSE(family->setIconFamilyElement(c.type, c.bitmap)) << c.what;
        EXPECT_TRUE(log.contains("Null data returned to setIconFamilyElement:fromBitmapImageRep:")) << c.what;
        if (*c.logged) {
            EXPECT_TRUE(log.contains(c.logged)) << c.what;
        } else {
            EXPECT_EQ(log.lines().size(), 1u) << c.what; // the setter's line only
        }
        EXPECT_TRUE(family->elementTypes().empty()) << c.what;
    }
    // A type that is not set from bitmaps answers NO without converting.
    Ref<IconFamily> family = IconFamily::iconFamily();
    ScopedLogCapture log;
    EXPECT_FALSE(family->setIconFamilyElement(makeOSType("ih32"), source(48, 4, 32, rgba)));
    EXPECT_TRUE(log.lines().empty());
}

TEST(IconFamily, ConvertersOfPixelLayouts)
{
    // Four pixels of a 16-pixel row matter; the rest is transparent.
    std::vector<std::uint8_t> premultiplied(16 * 16 * 4, 0);
    const std::uint8_t firstPixels[] = {
        128, 64, 0, 128, // half-transparent: un-premultiplied to 255, 127, 0
        0, 0, 0, 0,      // transparent
        10, 20, 30, 255, // opaque
        90, 0, 0, 60,    // damaged premultiplied data (a component above alpha): clamped
    };
    std::copy(std::begin(firstPixels), std::end(firstPixels), premultiplied.begin());
    auto argb = IconFamily::get32BitDataFromBitmapImageRep(source(16, 4, 32, premultiplied), 16);
    ASSERT_TRUE(argb);
    EXPECT_EQ(std::vector<std::uint8_t>(argb->begin(), argb->begin() + 16),
              (std::vector<std::uint8_t>{128, 255, 127, 0, 0, 0, 0, 0, 255, 10, 20, 30, 60, 255, 0, 0}));

    // Not premultiplied: the colour is taken as it is, never multiplied past 255.
    std::vector<std::uint8_t> straight(16 * 16 * 4, 0);
    const std::uint8_t straightPixels[] = {200, 100, 50, 100};
    std::copy(std::begin(straightPixels), std::end(straightPixels), straight.begin());
    argb = IconFamily::get32BitDataFromBitmapImageRep(source(16, 4, 32, straight, false), 16);
    ASSERT_TRUE(argb);
    EXPECT_EQ(std::vector<std::uint8_t>(argb->begin(), argb->begin() + 4), (std::vector<std::uint8_t>{100, 200, 100, 50}));

    // RGB: opaque.
    std::vector<std::uint8_t> rgb(16 * 16 * 3, 9);
    argb = IconFamily::get32BitDataFromBitmapImageRep(source(16, 3, 24, rgb), 16);
    ASSERT_TRUE(argb);
    EXPECT_EQ(std::vector<std::uint8_t>(argb->begin(), argb->begin() + 4), (std::vector<std::uint8_t>{255, 9, 9, 9}));

    // 8-bit masks: alpha of RGBA, all set for RGB, grey copied.
    auto mask = IconFamily::get8BitMaskFromBitmapImageRep(source(16, 4, 32, premultiplied), 16);
    ASSERT_TRUE(mask);
    EXPECT_EQ(std::vector<std::uint8_t>(mask->begin(), mask->begin() + 5), (std::vector<std::uint8_t>{128, 0, 255, 60, 0}));
    EXPECT_EQ(IconFamily::get8BitMaskFromBitmapImageRep(source(16, 3, 24, rgb), 16)->front(), 255);
    std::vector<std::uint8_t> grey(16 * 16, 77);
    EXPECT_EQ(IconFamily::get8BitMaskFromBitmapImageRep(source(16, 1, 8, grey), 16)->front(), 77);

    // 1-bit masks: RGBA pixels count by alpha (a transparent pixel with colour is unset),
    // image then identical mask.
    std::vector<std::uint8_t> colourWithoutAlpha(16 * 16 * 4, 0);
    const std::uint8_t bitPixels[] = {0, 0, 0, 255, 255, 255, 255, 0};
    std::copy(std::begin(bitPixels), std::end(bitPixels), colourWithoutAlpha.begin());
    auto bits = IconFamily::get1BitMaskFromBitmapImageRep(source(16, 4, 32, colourWithoutAlpha), 16);
    ASSERT_TRUE(bits);
    ASSERT_EQ(bits->size(), 16u * 16u / 4u);
    EXPECT_EQ((*bits)[0], 0x80);
    EXPECT_EQ((*bits)[32], 0x80); // the mask copy
    EXPECT_EQ((*bits)[2], 0x00);
    bits = IconFamily::get1BitMaskFromBitmapImageRep(source(16, 3, 24, rgb), 16);
    EXPECT_EQ((*bits)[0], 0xFF);
    std::vector<std::uint8_t> oneBit(16 * 2, 0xA5);
    bits = IconFamily::get1BitMaskFromBitmapImageRep(source(16, 1, 1, oneBit), 16);
    ASSERT_TRUE(bits);
    EXPECT_EQ((*bits)[0], 0xA5);
    EXPECT_EQ((*bits)[63], 0xA5);

    // Colour index: exact palette colours map to their entries, alpha ignored.
    const auto& palette = IconFamily::systemPalette();
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[0], 0xFFFFFFu);
    EXPECT_EQ(palette[255], 0x000000u);
    std::vector<std::uint8_t> white(16 * 16 * 3, 255);
    white[3] = white[4] = white[5] = 0;
    auto indexes = IconFamily::get8BitDataFromBitmapImageRep(source(16, 3, 24, white), 16);
    ASSERT_TRUE(indexes);
    EXPECT_EQ((*indexes)[0], 0);
    EXPECT_EQ((*indexes)[1], 255);
}

TEST(IconFamily, KilledWhileWritingLeavesTheOldOrTheNewFile)
{
    test::TemporaryFolder folder;
    const std::string path = folder / "sample.icns";
    Ref<IconFamily> first = IconFamily::iconFamilyWithThumbnailsOfImage(imageOf(sampleImage()));
    Ref<IconFamily> second = IconFamily::iconFamilyWithThumbnailsOfImage(imageOf(sampleImage().mirrored(true, false)));
    ASSERT_TRUE(first && second);
    const std::vector<std::uint8_t> firstBytes = first->data();
    const std::vector<std::uint8_t> secondBytes = second->data();
    ASSERT_NE(firstBytes, secondBytes);
    ASSERT_TRUE(first->writeToFile(path));
    const std::string failure = test::killRoundsLeaveOneOf(
        path, test::scaled(30, 1000), 11, [&](unsigned i) { (i % 2 ? first : second)->writeToFile(path); },
        {std::string(firstBytes.begin(), firstBytes.end()), std::string(secondBytes.begin(), secondBytes.end())});
    EXPECT_EQ(failure, "");
}

TEST(IconFamily, IconFilesAreIconReferences)
{
    // An icon file with only il32 and is32 data has the 16 and 32 classes, in that order.
    test::TemporaryFolder folder;
    Ref<IconFamily> family = IconFamily::iconFamily();
    QImage storage;
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(QColor(0, 128, 0));
    ASSERT_TRUE(family->setIconFamilyElement(makeOSType("il32"), IconBitmapSource::fromQImage(picture, storage)));
    ASSERT_TRUE(family->setIconFamilyElement(makeOSType("is32"),
                                             IconBitmapSource::fromQImage(picture.scaled(16, 16), storage)));
    const std::string path = folder / "two.icns";
    ASSERT_TRUE(family->writeToFile(path));
    const std::vector<Ref<BitmapImageRep>> reps = NSBitmapImageRepIconRef::imageRepsWithIconRef(IconRef::fromFile(path));
    ASSERT_EQ(reps.size(), 2u);
    EXPECT_EQ(reps[0]->pixelsWide(), 16u);
    EXPECT_EQ(reps[1]->pixelsWide(), 32u);
    EXPECT_EQ(QColor(reps[1]->cgImage()->toQImage().pixel(16, 16)), QColor(0, 128, 0));

    EXPECT_FALSE(family->writeToFile(folder / "no such folder/x.icns"));
}

} // namespace
} // namespace vistel
