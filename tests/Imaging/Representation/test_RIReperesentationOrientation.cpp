// Orientation without codecs: reading it from metadata, the quarter-turn table checked against
// the EXIF definitions pixel by pixel, size exchange, and the drawing transform of all eight
// orientations (through the scaled upright copy, which draws with it).
#include <gtest/gtest.h>

#include <QColorSpace>

#include "Imaging/RIReperesentation.h"
#include "OrientationFixtures.h"
#include "Platform/Imaging/PlatformImage.h"

using namespace vistel;
using namespace vistel::test;

namespace {

Value withOrientation(Value orientation)
{
    return Value::dictionary({{"{TIFF}", Value::dictionary({{"Orientation", std::move(orientation)}})}});
}

} // namespace

TEST(RIReperesentationOrientation, FromMetadata)
{
    const struct {
        Value metadata;
        std::uint32_t orientation;
    } cases[] = {
        {withOrientation(6), 6},
        {withOrientation(8.0), 8},
        {withOrientation(0), 1},
        {withOrientation(9), 1},
        {withOrientation(-3), 1},
        {withOrientation("6"), 1},
        {Value::dictionary({{"Orientation", 6}}), 1}, // only the {TIFF} entry counts
        {Value::dictionary({{"{TIFF}", "not a dictionary"}}), 1},
        {Value::dictionary(), 1},
        {Value(), 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RIReperesentation::imageOrientationFromMetadata(c.metadata), c.orientation)
            << c.metadata.description();
}

// Turning the displayed picture a quarter turn must equal showing the same stored pixels with
// the table's new orientation.
TEST(RIReperesentationOrientation, QuarterTurnTableMatchesThePixels)
{
    const QImage stored = uprightPattern(6, 4);
    for (std::uint32_t o = 1; o <= 8; ++o) {
        const QImage shown = displayed(stored, o);
        EXPECT_EQ(displayed(stored, RIReperesentation::rotateOrientation(o, 1)), turnedClockwise(shown))
            << "clockwise from " << o;
        EXPECT_EQ(displayed(stored, RIReperesentation::rotateOrientation(o, 2)), turnedAnticlockwise(shown))
            << "anticlockwise from " << o;
    }
}

TEST(RIReperesentationOrientation, QuarterTurnCycles)
{
    for (std::uint32_t o = 1; o <= 8; ++o) {
        std::uint32_t turned = o;
        for (int i = 0; i < 4; ++i)
            turned = RIReperesentation::rotateOrientation(turned, 1);
        EXPECT_EQ(turned, o);
        EXPECT_EQ(RIReperesentation::rotateOrientation(RIReperesentation::rotateOrientation(o, 1), 2), o);
        EXPECT_EQ(RIReperesentation::rotateOrientation(o, 0), o);
        EXPECT_EQ(RIReperesentation::rotateOrientation(o, 3), o);
    }
    EXPECT_EQ(RIReperesentation::rotateOrientation(0, 1), 0u);
    EXPECT_EQ(RIReperesentation::rotateOrientation(9, 2), 9u);
    EXPECT_EQ(RIReperesentation::rotateOrientation(1, 1), 6u);
    EXPECT_EQ(RIReperesentation::rotateOrientation(2, 1), 7u);
    EXPECT_EQ(RIReperesentation::rotateOrientation(4, 1), 5u);
}

TEST(RIReperesentationOrientation, SizeExchange)
{
    EXPECT_EQ(RIReperesentation::convertSizeWithOrientation(6, QSizeF(400, 300)), QSizeF(300, 400));
    EXPECT_EQ(RIReperesentation::convertSizeWithOrientation(5, QSizeF(400, 300)), QSizeF(300, 400));
    EXPECT_EQ(RIReperesentation::convertSizeWithOrientation(4, QSizeF(400, 300)), QSizeF(400, 300));
    EXPECT_EQ(RIReperesentation::convertSizeWithOrientation(0, QSizeF(400, 300)), QSizeF(400, 300));
}

// The drawing transform of every orientation, landscape and portrait, exactly: the scaled
// upright copy at the picture's own size draws the stored pixels through it without smoothing.
TEST(RIReperesentationOrientation, EveryOrientationDrawsUpright)
{
    for (const QSize size : {QSize(12, 8), QSize(8, 12)}) {
        const QImage upright = uprightPattern(size.width(), size.height());
        for (std::uint32_t o = 1; o <= 8; ++o) {
            const QImage stored = storedFor(upright, o);
            ASSERT_EQ(displayed(stored, o), upright); // the fixture itself is right
            const Ref<PlatformImage> image = PlatformImage::fromQImage(stored);
            const Ref<RIReperesentation> rep
                = RIReperesentation::createWithCGImage(image, QSizeF(size), withOrientation(int(o)), false);
            ASSERT_TRUE(rep);
            EXPECT_EQ(rep->imageOrientation(), 1u);
            EXPECT_EQ(rep->size(), QSizeF(size));
            QImage drawn = rep->cgImage()->toQImage().convertToFormat(QImage::Format_RGB32);
            drawn.setColorSpace(upright.colorSpace()); // compare pixels only (drawing gives sRGB)
            EXPECT_EQ(drawn, upright) << "orientation " << o << ", " << size.width() << "x" << size.height();
        }
    }
}

TEST(RIReperesentationOrientation, ScaledUprightCopy)
{
    const QImage upright = uprightPattern(400, 300);
    const Ref<RIReperesentation> rep = RIReperesentation::createWithCGImage(
        PlatformImage::fromQImage(storedFor(upright, 6)), QSizeF(120, 90), withOrientation(6), true);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 120u);
    EXPECT_EQ(rep->pixelsHigh(), 90u);
    EXPECT_EQ(rep->bitsPerSample(), 8);
    EXPECT_EQ(uprightProblem(rep->cgImage()->toQImage(), 8), "");

    EXPECT_FALSE(RIReperesentation::createWithCGImage(nullptr, QSizeF(10, 10), {}, true));
    EXPECT_FALSE(RIReperesentation::createWithCGImage(PlatformImage::fromQImage(upright), QSizeF(0, 10), {}, true));
    EXPECT_FALSE(RIReperesentation::createWithCGImage(PlatformImage::fromQImage(upright), QSizeF(-5, 10), {}, true));
}

namespace {

// Every pixel its own colour (x and y up to 4095), so a copy shifted by one pixel cannot pass.
QImage numberedPattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x & 255, y & 255, (x >> 8) << 4 | (y >> 8)));
    return image;
}

// The first pixel that is not fully opaque, as text; empty when there is none.
std::string transparentPixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) != 255)
                return std::to_string(x) + "," + std::to_string(y);
    return {};
}

} // namespace

// Same-size copies equal the upright picture pixel for pixel; scaled copies (half size and odd
// targets) have no transparent edge. Odd and even sides, landscape and portrait, 1 x 1 up.
TEST(RIReperesentationOrientation, UprightCopiesAreExactAtEverySize)
{
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(77, 100), QSize(100, 77), QSize(341, 512), QSize(512, 341)}) {
        const QImage upright = numberedPattern(size.width(), size.height());
        const QSize half(std::max(1, size.width() / 2), std::max(1, size.height() / 2));
        const QSize odd(std::max(1, size.width() * 2 / 3) | 1, std::max(1, size.height() * 3 / 5) | 1);
        for (std::uint32_t o = 1; o <= 8; ++o) {
            const Ref<PlatformImage> stored = PlatformImage::fromQImage(storedFor(upright, o));
            for (const bool smooth : {false, true}) {
                for (const QSize target : {size, half, odd}) {
                    const std::string where = "orientation " + std::to_string(o) + ", " + std::to_string(size.width())
                        + "x" + std::to_string(size.height()) + " to " + std::to_string(target.width()) + "x"
                        + std::to_string(target.height()) + (smooth ? ", smooth" : "");
                    const Ref<RIReperesentation> rep
                        = RIReperesentation::createWithCGImage(stored, QSizeF(target), withOrientation(int(o)), smooth);
                    ASSERT_TRUE(rep) << where;
                    QImage copy = rep->cgImage()->toQImage();
                    ASSERT_EQ(copy.size(), target) << where;
                    EXPECT_EQ(transparentPixel(copy), "") << where;
                    if (target == size) {
                        copy = copy.convertToFormat(QImage::Format_RGB32);
                        copy.setColorSpace(upright.colorSpace());
                        EXPECT_EQ(copy, upright) << where;
                    }
                }
            }
        }
    }
}
