// Shapes and orientation of what the decoders give: the TIFF reader's two roads agree for every
// orientation, reduced thumbnails keep the picture's shape, and the EXIF thumbnail is found in
// its uncompressed and mislabelled forms. Fixtures are made here with Debian's tools.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <QColor>
#include <QImage>

#include "../Imaging/CodecTestSupport.h"
#include "CodecFixtures.h"
#include "ExifFixtures.h"
#include "JPEGCodec.h"
#include "Platform/Imaging/ImageDestination.h"
#include "TIFFCodec.h"

namespace vistel::codec {
namespace {

bool run(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

std::shared_ptr<std::vector<std::uint8_t>> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Four flat quadrants on 16-pixel blocks (so JPEG keeps them nearly exact), wider than high:
// any mirror or turn of the rows moves a colour.
void writeQuadrantPPM(const std::string& path, int width, int height)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6 " << width << " " << height << " 255\n";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const unsigned char px[3] = { static_cast<unsigned char>(right ? 230 : 40),
                static_cast<unsigned char>(bottom ? 210 : 30), static_cast<unsigned char>(right == bottom ? 200 : 50) };
            out.write(reinterpret_cast<const char*>(px), 3);
        }
}

DecodeResult decodeFile(ImageCodec& codec, const std::string& path, DecodeMode mode = DecodeMode::Full,
    std::uint32_t maxPixelSize = 0)
{
    auto decoder = codec.open(test::encoded(readBytes(path)));
    if (!decoder)
        return DecodeResult::failure("not opened: " + path);
    DecodeOptions options;
    options.mode = mode;
    options.maxPixelSize = maxPixelSize;
    return decoder->decode(0, options);
}

// The mean absolute difference of two sample sets of the same shape; 255 when the shapes differ.
double meanDifference(const test::Samples& a, const test::Samples& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.values.empty())
        return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.values.size(); ++i)
        sum += std::abs(int(a.values[i]) - int(b.values[i]));
    return sum / double(a.values.size());
}

} // namespace

// JPEG-compressed YCbCr and palette TIFFs go through libtiff's RGBA reader; plain RGB through
// the direct one. Both hand over the rows as stored, whatever the orientation tag says.
TEST(TIFFOrientation, rgbaReaderGivesTheRowsAsStoredLikeTheDirectReader)
{
    for (const char* tool : { "pnmtotiff", "tiffcp", "tiffset" })
        if (!test::toolAvailable(tool))
            VISTEL_SKIP_UNAVAILABLE() << tool << " is not installed";
    test::TemporaryFolder scratch;
    const auto file = [&](const char* name) { return scratch.path() + "/" + name; };
    const std::string ppm = file("q.ppm");
    writeQuadrantPPM(ppm, 64, 32);
    const std::string direct = file("direct.tif"), jpeg = file("jpeg.tif"), palette = file("palette.tif");
    ASSERT_TRUE(run("pnmtotiff -truecolor " + ppm + " > " + direct));
    ASSERT_TRUE(run("tiffcp -c jpeg " + direct + " " + jpeg));
    ASSERT_TRUE(run("pnmtotiff " + ppm + " > " + palette)); // four colours: a colour map
    TIFFCodec codec;
    for (int o = 1; o <= 8; ++o) {
        for (const std::string& file : { direct, jpeg, palette })
            ASSERT_TRUE(run("tiffset -s 274 " + std::to_string(o) + " " + file));
        const DecodeResult reference = decodeFile(codec, direct);
        ASSERT_TRUE(reference.image) << reference.error;
        const test::Samples expected = test::samplesOf(*reference.image, false);
        // JPEG blurs colour across the quadrant edges; a wrong turn moves whole quadrants.
        const struct {
            const std::string& file;
            double tolerance;
        } roads[] = { { jpeg, 4 }, { palette, 0 } };
        for (const auto& road : roads) {
            const DecodeResult r = decodeFile(codec, road.file);
            ASSERT_TRUE(r.image) << r.error;
            EXPECT_LE(meanDifference(test::samplesOf(*r.image, false), expected), road.tolerance)
                << road.file << ", orientation " << o;
        }
    }
}

// ---- thumbnail shapes -----------------------------------------------------------------------

namespace {

// A grey JPEG of the given size, encoded in memory.
std::shared_ptr<std::vector<std::uint8_t>> greyJPEG(std::uint32_t width, std::uint32_t height)
{
    auto image = PlatformImage::create(width, height, 8, 8, width, kImageAlphaNone, PlatformColorSpace::createDeviceGray(),
        std::vector<std::uint8_t>(std::size_t(width) * height, 128));
    const Ref<ImageDestination> destination = ImageDestination::createWithData("public.jpeg");
    if (!image || !destination || !destination->addImage(image) || !destination->finalize())
        return nullptr;
    return std::make_shared<std::vector<std::uint8_t>>(destination->data());
}

} // namespace

// The reduced thumbnail has the picture's shape: the longer side is the size asked for, the
// shorter one rounded to nearest (never 0), whatever DCT scale the decoder went through.
TEST(ThumbnailShape, shorterSideRoundedToNearest)
{
    const struct {
        std::uint32_t width, height, size, expectedWidth, expectedHeight;
    } cases[] = {
        { 636, 227, 160, 160, 57 },
        { 227, 636, 160, 57, 160 },
        { 3872, 2403, 160, 160, 99 },
        { 200, 133, 160, 160, 106 },
        { 640, 480, 160, 160, 120 },
        { 1000, 1, 160, 160, 1 },
        { 2, 900, 100, 1, 100 },
        { 120, 90, 160, 120, 90 }, // never enlarged
    };
    JPEGCodec codec;
    for (const auto& c : cases) {
        auto bytes = greyJPEG(c.width, c.height);
        ASSERT_TRUE(bytes);
        for (const DecodeMode mode : { DecodeMode::ReducedImage, DecodeMode::Thumbnail }) {
            auto decoder = codec.open(test::encoded(bytes));
            ASSERT_TRUE(decoder);
            DecodeOptions options;
            options.mode = mode;
            options.maxPixelSize = c.size;
            const DecodeResult r = decoder->decode(0, options);
            ASSERT_TRUE(r.image) << r.error;
            EXPECT_EQ(r.image->width(), c.expectedWidth) << c.width << "x" << c.height << " at " << c.size;
            EXPECT_EQ(r.image->height(), c.expectedHeight) << c.width << "x" << c.height << " at " << c.size;
        }
    }
}

// A reduced decode is fitted to the full picture's shape; one whose shape disagrees with the
// size the decoder reported (and that cannot hold that shape) is fitted by its own.
TEST(ThumbnailShape, reducedDecodesTakeTheFullPicturesShape)
{
    const auto grey = [](std::uint32_t width, std::uint32_t height) {
        return PlatformImage::create(width, height, 8, 8, width, kImageAlphaNone, PlatformColorSpace::createDeviceGray(),
            std::vector<std::uint8_t>(std::size_t(width) * height, 90));
    };
    const auto reduced = fitWithin(grey(484, 301), 160, 3872, 2403); // 1/8 of 3872 x 2403, rounded up
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->width(), 160u);
    EXPECT_EQ(reduced->height(), 99u);
    const auto odd = fitWithin(grey(100, 2000), 160, 4000, 3000);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->width(), 8u);
    EXPECT_EQ(odd->height(), 160u);
}

// A reduced decode averages the DCT-scaled rows down as it decodes them: the same pixels as the
// whole scaled picture averaged afterwards, a broken stream's missing rows included, in the
// layout a screen draws without converting, each colour in its place.
TEST(ReducedDecode, rowsAveragedWhileDecodingMatchTheScaledPictureAveraged)
{
    constexpr std::uint32_t width = 800, height = 600;
    // Four quadrants of their own colour under a fine texture.
    const QColor quadrants[] = { QColor(230, 40, 50), QColor(40, 30, 200), QColor(60, 210, 40), QColor(200, 190, 180) };
    std::vector<std::uint8_t> pixels;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const QColor& colour = quadrants[(x >= width / 2) + 2 * (y >= height / 2)];
            const int texture = int((x * 7 + y * 3) % 16);
            for (const int value : { colour.red(), colour.green(), colour.blue() })
                pixels.push_back(std::uint8_t(value + texture));
        }
    const auto source = PlatformImage::create(width, height, 8, 24, width * 3, kImageAlphaNone,
        PlatformColorSpace::createDeviceRGB(), std::move(pixels));
    const Ref<ImageDestination> destination = ImageDestination::createWithData("public.jpeg");
    ASSERT_TRUE(source && destination && destination->addImage(source) && destination->finalize());
    const std::vector<std::uint8_t> whole = destination->data();
    const struct {
        const char* name;
        std::size_t size;
    } streams[] = { { "whole", whole.size() }, { "broken off", whole.size() * 3 / 5 } };
    for (const auto& stream : streams) {
        SCOPED_TRACE(stream.name);
        // 250 goes through the 3/8 scale (300 x 225); 300 is that scale exactly.
        const DecodeResult reduced = decodeJPEGStream(whole.data(), stream.size, 250);
        const DecodeResult scaled = decodeJPEGStream(whole.data(), stream.size, 300);
        ASSERT_TRUE(reduced.image && scaled.image) << reduced.error << scaled.error;
        ASSERT_EQ(scaled.image->width(), 300u);
        const auto expected = fitWithin(scaled.image, 250, width, height);
        ASSERT_EQ(reduced.image->width(), 250u);
        ASSERT_EQ(reduced.image->height(), 188u);
        EXPECT_EQ(reduced.partial, scaled.partial);
        for (std::size_t y = 0; y < 188; ++y)
            ASSERT_EQ(std::memcmp(reduced.image->rowAddress(y), expected->rowAddress(y), 250 * 4), 0) << "row " << y;
        const QImage shown = reduced.image->toQImage();
        EXPECT_EQ(shown.format(), QImage::Format_RGB32);
        if (stream.size < whole.size())
            continue;
        for (int q = 0; q < 4; ++q) {
            const QColor seen = shown.pixelColor(62 + 125 * (q % 2), 47 + 94 * (q / 2));
            EXPECT_NEAR(seen.red(), quadrants[q].red() + 8, 12) << "quadrant " << q;
            EXPECT_NEAR(seen.green(), quadrants[q].green() + 8, 12) << "quadrant " << q;
            EXPECT_NEAR(seen.blue(), quadrants[q].blue() + 8, 12) << "quadrant " << q;
        }
    }
}

// ---- EXIF thumbnails in IFD1 ------------------------------------------------------------------

namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TiffField;

constexpr std::uint32_t kThumbWidth = 16, kThumbHeight = 12;

// The thumbnail's pixels: every pixel its own colour, 8-bit RGB or grey rows.
Bytes thumbnailPixels(std::size_t samples)
{
    Bytes pixels;
    for (std::uint32_t y = 0; y < kThumbHeight; ++y)
        for (std::uint32_t x = 0; x < kThumbWidth; ++x)
            for (std::size_t c = 0; c < samples; ++c)
                pixels.push_back(std::uint8_t(c == 0 ? 16 * x : c == 1 ? 20 * y : 255 - 8 * x - 8 * y));
    return pixels;
}

// The same pixels encoded as a JPEG.
Bytes thumbnailJPEG()
{
    auto image = PlatformImage::create(kThumbWidth, kThumbHeight, 8, 24, kThumbWidth * 3, kImageAlphaNone,
        PlatformColorSpace::createDeviceRGB(), thumbnailPixels(3));
    const Ref<ImageDestination> destination = ImageDestination::createWithData("public.jpeg");
    if (!image || !destination || !destination->addImage(image) || !destination->finalize())
        return {};
    return destination->data();
}

// `pixels` cut into strips of `rowsPerStrip` rows.
std::vector<Bytes> strips(const Bytes& pixels, std::size_t rowBytes, std::size_t rowsPerStrip)
{
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < pixels.size(); at += rowBytes * rowsPerStrip)
        out.emplace_back(pixels.begin() + std::ptrdiff_t(at),
            pixels.begin() + std::ptrdiff_t(std::min(pixels.size(), at + rowBytes * rowsPerStrip)));
    return out;
}

} // namespace

// Uncompressed strips (one or several, either byte order, RGB or grey) and JPEG bytes labelled
// uncompressed are the thumbnail; the reduced main picture (flat grey) only when there is none.
TEST(ExifThumbnail, uncompressedAndMislabelledThumbnailsAreRead)
{
    const Bytes main = *greyJPEG(64, 48);
    const Bytes rgb = thumbnailPixels(3), grey = thumbnailPixels(1), jpeg = thumbnailJPEG();
    ASSERT_FALSE(jpeg.empty());
    const std::vector<TiffField> ifd0 { { 0x0112, 3, { 1 } } };
    const std::uint32_t rgbBytes = std::uint32_t(rgb.size()), jpegBytes = std::uint32_t(jpeg.size());
    const struct {
        const char* what;
        bool little;
        std::vector<TiffField> ifd1;
        std::vector<Bytes> blobs;
        std::size_t channels; // of the expected pixels; 0: the main picture
        bool exact;
    } cases[] = {
        { "RGB, one strip", true, test::thumbnailStripFields(kThumbWidth, kThumbHeight, 3, 2, kThumbHeight, { rgbBytes }), { rgb }, 3, true },
        { "RGB, strips of 5 rows, big-endian", false, test::thumbnailStripFields(kThumbWidth, kThumbHeight, 3, 2, 5, { 240, 240, 96 }), strips(rgb, kThumbWidth * 3, 5), 3, true },
        { "grey, one strip", true, test::thumbnailStripFields(kThumbWidth, kThumbHeight, 1, 1, kThumbHeight, { std::uint32_t(grey.size()) }), { grey }, 1, true },
        { "JPEG labelled uncompressed", true,
            { { 0x0103, 3, { 1 } }, { 0x0201, 4, {}, {}, { 0 } }, { 0x0202, 4, { jpegBytes } } }, { jpeg }, 3, false },
        { "JPEG in an uncompressed strip", false, test::thumbnailStripFields(kThumbWidth, kThumbHeight, 3, 2, kThumbHeight, { jpegBytes }), { jpeg }, 3, false },
        { "strips shorter than the picture", true, test::thumbnailStripFields(kThumbWidth, kThumbHeight, 3, 2, kThumbHeight, { rgbBytes - 1 }), { rgb }, 0, false },
        { "YCbCr strips", true, test::thumbnailStripFields(kThumbWidth, kThumbHeight, 3, 6, kThumbHeight, { rgbBytes }), { rgb }, 0, false },
    };
    JPEGCodec codec;
    for (const auto& c : cases) {
        const auto file = std::make_shared<Bytes>(
            test::withApp1(main, test::kExifHeader, test::tiffBytes(c.little, { ifd0, c.ifd1 }, c.blobs)));
        auto decoder = codec.open(test::encoded(file));
        ASSERT_TRUE(decoder) << c.what;
        DecodeOptions options;
        options.mode = DecodeMode::EmbeddedThumbnail;
        options.maxPixelSize = 160;
        const DecodeResult r = decoder->decode(0, options);
        ASSERT_TRUE(r.image) << c.what << ": " << r.error;
        if (c.channels == 0) {
            EXPECT_EQ(r.image->width(), 64u) << c.what;
            continue;
        }
        ASSERT_EQ(r.image->width(), kThumbWidth) << c.what;
        ASSERT_EQ(r.image->height(), kThumbHeight) << c.what;
        test::Samples expected;
        expected.width = kThumbWidth;
        expected.height = kThumbHeight;
        expected.channels = c.channels;
        const Bytes& pixels = c.channels == 3 ? rgb : grey;
        expected.values.assign(pixels.begin(), pixels.end());
        const test::Samples got = test::samplesOf(*r.image, false);
        if (c.exact)
            EXPECT_EQ(test::maxDifference(got, expected), 0) << c.what;
        else
            EXPECT_LE(meanDifference(got, expected), 6) << c.what;
    }
}

} // namespace vistel::codec
