#include <gtest/gtest.h>

#include <lcms2.h>

#include <QColorSpace>
#include <functional>
#include <thread>

#include "Platform/Imaging/PlatformImage.h"

using namespace vistel;

namespace {

constexpr int kWidth = 3, kHeight = 2;

struct RGBA {
    int r, g, b, a;
};

// The logical pixels every RGB layout below encodes (unpremultiplied).
const RGBA kColors[kWidth * kHeight] = {
    {255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0}, {10, 20, 30, 255}, {128, 128, 128, 64}, {255, 255, 255, 255}};

std::uint8_t premultiply(int c, int a)
{
    return std::uint8_t((c * a + 127) / 255);
}

std::vector<std::uint8_t> saveProfile(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// sRGB primaries and white with a linear tone curve: grey 128 is linear 0.502, sRGB 188.
std::vector<std::uint8_t> linearRGBProfile()
{
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(linear);
    return saveProfile(profile);
}

struct Layout {
    const char* name;
    std::size_t bitsPerComponent, bitsPerPixel;
    std::uint32_t bitmapInfo;
    std::function<Ref<PlatformColorSpace>()> space;
    std::function<std::vector<std::uint8_t>()> pixels; // tightly packed rows
    std::vector<RGBA> expected;                         // what the QImage shows
    bool zeroCopy;
    int tolerance;
};

std::vector<Layout> layouts()
{
    const std::vector<int> grey = {0, 64, 128, 192, 255, 17};
    const std::vector<int> grey16 = {0, 1000, 32768, 50000, 65535, 12345};
    std::vector<Layout> list;
    list.push_back({"grey 8", 8, 8, kImageAlphaNone, PlatformColorSpace::createDeviceGray,
        [grey] { return std::vector<std::uint8_t>(grey.begin(), grey.end()); },
        {{0, 0, 0, 255}, {64, 64, 64, 255}, {128, 128, 128, 255}, {192, 192, 192, 255}, {255, 255, 255, 255}, {17, 17, 17, 255}},
        true, 0});
    list.push_back({"grey 16", 16, 16, kImageAlphaNone | kImageBitmapByteOrder16Little, PlatformColorSpace::createDeviceGray,
        [grey16] {
            std::vector<std::uint8_t> bytes;
            for (int v : grey16)
                bytes.push_back(std::uint8_t(v)), bytes.push_back(std::uint8_t(v >> 8));
            return bytes;
        },
        {}, true, 0});
    auto rgbExpected = [](bool alpha, bool premultipliedLoss) {
        std::vector<RGBA> out;
        for (const auto& c : kColors)
            out.push_back(alpha ? (premultipliedLoss && c.a == 0 ? RGBA {0, 0, 0, 0} : c) : RGBA {c.r, c.g, c.b, 255});
        return out;
    };
    list.push_back({"RGB", 8, 24, kImageAlphaNone, PlatformColorSpace::createDeviceRGB,
        [] {
            std::vector<std::uint8_t> bytes;
            for (const auto& c : kColors)
                bytes.insert(bytes.end(), {std::uint8_t(c.r), std::uint8_t(c.g), std::uint8_t(c.b)});
            return bytes;
        },
        rgbExpected(false, false), true, 0});
    list.push_back({"RGBX", 8, 32, kImageAlphaNoneSkipLast, PlatformColorSpace::createDeviceRGB,
        [] {
            std::vector<std::uint8_t> bytes;
            for (const auto& c : kColors)
                bytes.insert(bytes.end(), {std::uint8_t(c.r), std::uint8_t(c.g), std::uint8_t(c.b), 0xFF});
            return bytes;
        },
        rgbExpected(false, false), true, 0});
    list.push_back({"premultiplied alpha first", 8, 32, kImageAlphaPremultipliedFirst | kImageBitmapByteOrder32Little,
        PlatformColorSpace::createDeviceRGB,
        [] {
            std::vector<std::uint8_t> bytes; // B, G, R, A in memory
            for (const auto& c : kColors)
                bytes.insert(bytes.end(), {premultiply(c.b, c.a), premultiply(c.g, c.a), premultiply(c.r, c.a), std::uint8_t(c.a)});
            return bytes;
        },
        rgbExpected(true, true), true, 2});
    list.push_back({"premultiplied alpha last", 8, 32, kImageAlphaPremultipliedLast, PlatformColorSpace::createDeviceRGB,
        [] {
            std::vector<std::uint8_t> bytes;
            for (const auto& c : kColors)
                bytes.insert(bytes.end(), {premultiply(c.r, c.a), premultiply(c.g, c.a), premultiply(c.b, c.a), std::uint8_t(c.a)});
            return bytes;
        },
        rgbExpected(true, true), true, 2});
    list.push_back({"CMYK", 8, 32, kImageAlphaNone, PlatformColorSpace::createDeviceCMYK,
        [] {
            return std::vector<std::uint8_t> {0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 128};
        },
        {{255, 255, 255, 255}, {0, 0, 0, 255}, {0, 255, 255, 255}, {255, 0, 255, 255}, {255, 255, 0, 255}, {127, 127, 127, 255}},
        false, 3});
    list.push_back({"ICC-tagged RGB", 8, 24, kImageAlphaNone,
        [] { return PlatformColorSpace::createWithICCProfile(linearRGBProfile()); },
        [] { return std::vector<std::uint8_t> {0, 0, 0, 255, 255, 255, 128, 128, 128, 255, 0, 0, 64, 64, 64, 0, 0, 255}; },
        {{0, 0, 0, 255}, {255, 255, 255, 255}, {188, 188, 188, 255}, {255, 0, 0, 255}, {137, 137, 137, 255}, {0, 0, 255, 255}},
        false, 2});
    return list;
}

void expectNear(const QColor& actual, const RGBA& expected, int tolerance, const std::string& where)
{
    EXPECT_NEAR(actual.alpha(), expected.a, tolerance) << where;
    if (expected.a == 0)
        return; // colour under full transparency is not kept by premultiplied layouts
    EXPECT_NEAR(actual.red(), expected.r, tolerance) << where;
    EXPECT_NEAR(actual.green(), expected.g, tolerance) << where;
    EXPECT_NEAR(actual.blue(), expected.b, tolerance) << where;
}

} // namespace

TEST(PlatformImage, PixelLayoutsConvertToQImageAndBack)
{
    for (const auto& layout : layouts()) {
        SCOPED_TRACE(layout.name);
        const auto pixels = layout.pixels();
        const std::size_t bytesPerRow = pixels.size() / kHeight;
        auto image = PlatformImage::create(kWidth, kHeight, layout.bitsPerComponent, layout.bitsPerPixel, bytesPerRow,
            layout.bitmapInfo, layout.space(), pixels);
        ASSERT_TRUE(image);
        const QImage qimage = image->toQImage();
        ASSERT_FALSE(qimage.isNull());
        EXPECT_EQ(qimage.size(), QSize(kWidth, kHeight));
        EXPECT_EQ(qimage.constBits() == image->bytes(), layout.zeroCopy);

        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const std::string where = std::to_string(x) + "," + std::to_string(y);
                if (layout.expected.empty()) { // 16-bit grey: exact 16-bit samples
                    const int value = pixels[std::size_t(y * kWidth + x) * 2] | (pixels[std::size_t(y * kWidth + x) * 2 + 1] << 8);
                    EXPECT_EQ(qimage.pixelColor(x, y).rgba64().red(), value) << where;
                    continue;
                }
                expectNear(qimage.pixelColor(x, y), layout.expected[std::size_t(y * kWidth + x)], layout.tolerance, where);
            }
        }

        auto back = PlatformImage::fromQImage(qimage);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width(), std::size_t(kWidth));
        EXPECT_EQ(back->height(), std::size_t(kHeight));
        if (layout.zeroCopy) {
            // Same layout, same bytes, same memory.
            EXPECT_EQ(back->bitsPerPixel(), layout.bitsPerPixel);
            EXPECT_EQ(back->bytes(), image->bytes());
            EXPECT_EQ(back->colorSpace()->model(), image->colorSpace()->model());
            continue;
        }
        // Converted pictures come back as sRGB pixels equal to what was shown.
        const QImage again = back->toQImage();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                EXPECT_EQ(again.pixel(x, y), qimage.pixel(x, y));
    }
}

TEST(PlatformImage, QImageKeepsThePixelsAliveAfterTheImageIsDropped)
{
    QImage qimage;
    {
        auto image = PlatformImage::create(2, 1, 8, 24, 6, kImageAlphaNone, PlatformColorSpace::createDeviceRGB(),
            {1, 2, 3, 4, 5, 6});
        qimage = image->toQImage();
    }
    EXPECT_EQ(qimage.pixel(1, 0), qRgb(4, 5, 6));
    qimage.setPixel(0, 0, qRgb(9, 9, 9)); // detaches: the shared buffer is never written
    EXPECT_EQ(qimage.pixel(0, 0), qRgb(9, 9, 9));
}

TEST(PlatformImage, PaddingThatIsNotOpaqueIsNotHandedToQtAsIs)
{
    // Decoders may leave zero in the padding byte; Qt's RGBX and RGB32 formats would read it as
    // alpha when drawing, so such pictures are converted instead of wrapped.
    auto padded = PlatformImage::create(1, 1, 8, 32, 4, kImageAlphaNoneSkipLast, PlatformColorSpace::createDeviceRGB(), {10, 20, 30, 0});
    const QImage shown = padded->toQImage();
    EXPECT_NE(shown.constBits(), padded->bytes());
    EXPECT_FALSE(shown.hasAlphaChannel());
    EXPECT_EQ(shown.pixel(0, 0), qRgb(10, 20, 30));
}

TEST(PlatformImage, ConvertedLayoutsReadRight)
{
    // 16-bit big-endian RGB (the default byte order), alpha first in memory order, and Lab.
    auto rgb16 = PlatformImage::create(1, 1, 16, 48, 6, kImageAlphaNone, PlatformColorSpace::createDeviceRGB(),
        {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x10});
    ASSERT_TRUE(rgb16);
    EXPECT_EQ(rgb16->toQImage().pixel(0, 0), qRgb(255, 128, 0));

    auto argb = PlatformImage::create(1, 1, 8, 32, 4, kImageAlphaFirst, PlatformColorSpace::createDeviceRGB(), {128, 10, 20, 30});
    ASSERT_TRUE(argb);
    EXPECT_EQ(argb->toQImage().pixelColor(0, 0), QColor(10, 20, 30, 128));

    auto lab = PlatformImage::create(2, 1, 8, 24, 6, kImageAlphaNone, PlatformColorSpace::createLab(),
        {255, 128, 128, 0, 128, 128});
    ASSERT_TRUE(lab);
    const QImage shown = lab->toQImage();
    expectNear(shown.pixelColor(0, 0), {255, 255, 255, 255}, 2, "Lab white");
    expectNear(shown.pixelColor(1, 0), {0, 0, 0, 255}, 2, "Lab black");
}

TEST(PlatformImage, InconsistentDescriptionsAreRefused)
{
    struct Case {
        const char* name;
        std::size_t width, height, bpc, bpp, bytesPerRow;
        std::uint32_t info;
        std::size_t bufferSize;
    };
    const Case cases[] = {
        {"zero width", 0, 1, 8, 24, 0, kImageAlphaNone, 16},
        {"odd depth", 1, 1, 5, 15, 2, kImageAlphaNone, 16},
        {"bits per pixel do not match", 1, 1, 8, 32, 4, kImageAlphaNone, 16},
        {"row too short", 4, 1, 8, 24, 11, kImageAlphaNone, 16},
        {"buffer too small", 2, 3, 8, 24, 6, kImageAlphaNone, 17},
        {"float components", 1, 1, 8, 32, 4, kImageAlphaLast | kImageBitmapFloatComponents, 16},
        {"16-bit order on 8-bit pixels", 1, 1, 8, 32, 4, kImageAlphaLast | kImageBitmapByteOrder16Little, 16},
        {"alpha only", 1, 1, 8, 32, 4, kImageAlphaOnly, 16},
        {"size overflows", std::size_t(1) << 62, 4, 8, 24, 3, kImageAlphaNone, 16},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(PlatformImage::create(c.width, c.height, c.bpc, c.bpp, c.bytesPerRow, c.info,
            PlatformColorSpace::createDeviceRGB(), std::vector<std::uint8_t>(c.bufferSize)))
            << c.name;
    EXPECT_FALSE(PlatformImage::create(1, 1, 8, 24, 3, kImageAlphaNone, nullptr, {1, 2, 3}));
}

TEST(PlatformImage, FromQImageKeepsTheColourSpaceAndConvertsOtherFormats)
{
    QImage indexed(2, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 50)});
    indexed.fill(1);
    auto fromIndexed = PlatformImage::fromQImage(indexed);
    ASSERT_TRUE(fromIndexed);
    EXPECT_EQ(fromIndexed->bitsPerPixel(), 32u);
    EXPECT_EQ(fromIndexed->toQImage().pixel(1, 1), qRgb(200, 100, 50));

    QImage p3(2, 2, QImage::Format_RGB32);
    p3.fill(qRgb(0, 255, 0));
    p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    auto tagged = PlatformImage::fromQImage(p3);
    ASSERT_TRUE(tagged);
    ASSERT_TRUE(tagged->colorSpace()->hasICCProfile());
    EXPECT_EQ(tagged->colorSpace()->model(), PlatformColorSpace::Model::RGB);
    // P3 green lies outside sRGB: shown, it is clipped to full sRGB green, not left as it was.
    const QColor shown = tagged->toQImage().pixelColor(0, 0);
    EXPECT_LE(shown.red(), 10);
    EXPECT_GE(shown.green(), 250);

    EXPECT_FALSE(PlatformImage::fromQImage(QImage()));
}

TEST(PlatformImage, ColourSpacesFromProfiles)
{
    auto cmyk = PlatformColorSpace::createWithICCProfile(PlatformColorSpace::genericCMYKProfile());
    ASSERT_TRUE(cmyk);
    EXPECT_EQ(cmyk->model(), PlatformColorSpace::Model::CMYK);
    EXPECT_EQ(cmyk->profileName(), "Generic CMYK");
    EXPECT_EQ(cmyk->fourCharModel(), 0x434D594Bu);
    EXPECT_EQ(PlatformColorSpace::createDeviceGray()->fourCharModel(), 0x47524559u);
    EXPECT_STREQ(PlatformColorSpace::createLab()->colorModelName(), "Lab");
    EXPECT_FALSE(PlatformColorSpace::createWithICCProfile({1, 2, 3, 4}));
    EXPECT_FALSE(PlatformColorSpace::createWithICCProfile({}));

    // A CMYK picture tagged with a profile shows through it like an untagged one with the
    // generic profile.
    auto tagged = PlatformImage::create(1, 1, 8, 32, 4, kImageAlphaNone, cmyk, {255, 0, 0, 0});
    expectNear(tagged->toQImage().pixelColor(0, 0), {0, 255, 255, 255}, 3, "tagged cyan");
}

TEST(PlatformImage, ReadsFromSeveralThreadsAtOnce)
{
    auto image = PlatformImage::create(64, 64, 8, 32, 256, kImageAlphaNone, PlatformColorSpace::createDeviceCMYK(),
        std::vector<std::uint8_t>(64 * 64 * 4, 40));
    std::vector<std::thread> threads;
    std::vector<QRgb> seen(4);
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] { seen[std::size_t(i)] = image->toQImage().pixel(31, 31); });
    for (auto& thread : threads)
        thread.join();
    for (QRgb value : seen)
        EXPECT_EQ(value, seen.front());
}
