// The decoders of the codec kit against the committed test pictures: pixels against Debian's
// reference decoders, reduced decodes, the EXIF thumbnail, metadata, pages, and damaged input.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "BMPCodec.h"
#include "CodecFixtures.h"
#include "GIFCodec.h"
#include "JPEGCodec.h"
#include "PNGCodec.h"
#include "Platform/Imaging/ImageProperties.h"
#include "RAWCodec.h"
#include "TIFFCodec.h"
#include "WebPCodec.h"
#include "TestSupport.h"

namespace vistel::codec {
namespace {

using test::encoded;
using test::readFixture;

std::vector<std::unique_ptr<ImageCodec>> allCodecs()
{
    std::vector<std::unique_ptr<ImageCodec>> codecs;
    codecs.push_back(std::make_unique<JPEGCodec>());
    codecs.push_back(std::make_unique<PNGCodec>());
    codecs.push_back(std::make_unique<TIFFCodec>());
    codecs.push_back(std::make_unique<WebPCodec>());
    codecs.push_back(std::make_unique<GIFCodec>());
    codecs.push_back(std::make_unique<BMPCodec>());
    codecs.push_back(std::make_unique<RAWCodec>());
    return codecs;
}

// The one codec of allCodecs() that opens the fixture, by type identifier.
std::unique_ptr<ImageDecoder> openFixture(const std::string& name)
{
    auto bytes = readFixture(name);
    for (auto& codec : allCodecs())
        if (auto decoder = codec->open(encoded(bytes)))
            return decoder;
    return nullptr;
}

DecodeResult decodeFixture(const std::string& name, DecodeMode mode = DecodeMode::Full, std::uint32_t maxPixelSize = 0)
{
    auto decoder = openFixture(name);
    if (!decoder)
        return DecodeResult::failure("no codec opens " + name);
    DecodeOptions options;
    options.mode = mode;
    options.maxPixelSize = maxPixelSize;
    return decoder->decode(0, options);
}

// ---- pixels against reference decoders --------------------------------------------------------

struct ReferenceCase {
    const char* fixture;
    const char* command; // %s: the fixture's path; prints a PNM or PAM on stdout
    const char* tool;    // must be installed for the case to run
    bool keepAlpha;
    int tolerance;       // in units of the picture's own maxval
};

void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.fixture << " against " << c.tool; }

class ReferencePixels : public ::testing::TestWithParam<ReferenceCase> { };

TEST_P(ReferencePixels, matchReferenceDecoder)
{
    const ReferenceCase& c = GetParam();
    if (!test::toolAvailable(c.tool))
        VISTEL_SKIP_UNAVAILABLE() << c.tool << " is not installed";
    char command[1024];
    std::snprintf(command, sizeof command, c.command, test::fixturePath(c.fixture).c_str());
    const auto reference = test::referenceFromCommand(command);
    ASSERT_TRUE(reference) << command;
    const DecodeResult result = decodeFixture(c.fixture);
    ASSERT_TRUE(result.image) << result.error;
    const test::Samples ours = test::samplesOf(*result.image, c.keepAlpha);
    EXPECT_LE(test::maxDifference(ours, *reference), c.tolerance) << c.fixture;
}

INSTANTIATE_TEST_SUITE_P(Corpus, ReferencePixels,
    ::testing::Values(
        ReferenceCase { "baseline.jpg", "djpeg -pnm %s", "djpeg", false, 1 },
        ReferenceCase { "progressive.jpg", "djpeg -pnm %s", "djpeg", false, 1 },
        ReferenceCase { "grey.jpg", "djpeg -pnm %s", "djpeg", false, 1 },
        ReferenceCase { "icc.jpg", "djpeg -pnm %s", "djpeg", false, 1 },
        // djpeg also fills the rows a truncated stream lacks.
        ReferenceCase { "truncated.jpg", "djpeg -pnm %s", "djpeg", false, 1 },
        // ImageMagick writes the ink amounts of a CMYK picture as they are.
        ReferenceCase { "cmyk.jpg", "convert %s -depth 8 pam:-", "convert", false, 1 },
        ReferenceCase { "rgb8.png", "pngtopam %s", "pngtopam", false, 0 },
        ReferenceCase { "rgba16.png", "pngtopam -alphapam %s", "pngtopam", true, 0 },
        ReferenceCase { "grey.png", "pngtopam %s", "pngtopam", false, 0 },
        ReferenceCase { "palette.png", "pngtopam -alphapam %s", "pngtopam", true, 0 },
        ReferenceCase { "interlaced.png", "pngtopam %s", "pngtopam", false, 0 },
        ReferenceCase { "icc.png", "pngtopam %s", "pngtopam", false, 0 },
        ReferenceCase { "rgb16.tif", "tifftopnm %s", "tifftopnm", false, 0 },
        ReferenceCase { "grey.tif", "tifftopnm %s", "tifftopnm", false, 0 },
        ReferenceCase { "tiled.tif", "t=$(mktemp) && tiff2rgba %s $t && tifftopnm $t 2>/dev/null; rm -f $t", "tiff2rgba", false, 0 },
        ReferenceCase { "multipage.tif", "t=$(mktemp) && tiff2rgba %s $t && tifftopnm $t 2>/dev/null; rm -f $t", "tiff2rgba", false, 0 },
        ReferenceCase { "cmyk.tif", "convert %s -depth 8 pam:-", "convert", false, 0 },
        ReferenceCase { "lossy.webp", "convert %s -depth 8 ppm:-", "convert", false, 2 },
        ReferenceCase { "alpha.webp", "convert %s -depth 8 pam:-", "convert", true, 0 },
        ReferenceCase { "anim.gif", "giftopnm %s", "giftopnm", false, 0 },
        ReferenceCase { "rgb24.bmp", "bmptopnm %s", "bmptopnm", false, 0 },
        ReferenceCase { "palette4.bmp", "bmptopnm %s", "bmptopnm", false, 0 },
        ReferenceCase { "rle8.bmp", "bmptopnm %s", "bmptopnm", false, 0 }),
    [](const auto& info) {
        std::string name = info.param.fixture;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

// ---- which codec opens what ----------------------------------------------------------------

TEST(CodecSniffing, eachFixtureIsOpenedByItsOwnCodecOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "baseline.jpg", "public.jpeg" }, { "cmyk.jpg", "public.jpeg" }, { "truncated.jpg", "public.jpeg" },
        { "rgba16.png", "public.png" }, { "palette.png", "public.png" }, { "rgb16.tif", "public.tiff" },
        { "multipage.tif", "public.tiff" }, { "lossy.webp", "org.webmproject.webp" }, { "anim.gif", "com.compuserve.gif" },
        { "rle8.bmp", "com.microsoft.bmp" }, { "raw.dng", "public.camera-raw-image" },
    };
    for (const auto& [fixture, type] : cases) {
        auto bytes = readFixture(fixture);
        ASSERT_FALSE(bytes->empty()) << fixture;
        int opened = 0;
        for (auto& codec : allCodecs()) {
            if (auto decoder = codec->open(encoded(bytes))) {
                ++opened;
                EXPECT_EQ(decoder->typeIdentifier(), type) << fixture;
            }
        }
        EXPECT_EQ(opened, 1) << fixture;
    }
}

TEST(CodecSniffing, formatListsNameTypesExtensionsAndMIMETypes)
{
    for (auto& codec : allCodecs()) {
        ASSERT_FALSE(codec->formats().empty());
        for (const CodecFormat& f : codec->formats()) {
            EXPECT_FALSE(f.typeIdentifier.empty());
            EXPECT_FALSE(f.name.empty());
        }
    }
    const CodecFormat& jpeg = JPEGCodec().formats().front();
    EXPECT_EQ(jpeg.typeIdentifier, "public.jpeg");
    EXPECT_EQ(jpeg.extensions, "jpg,jpeg,jpe");
    EXPECT_EQ(jpeg.mimeType, "image/jpeg");
}

// ---- JPEG ------------------------------------------------------------------------------------

TEST(JPEGCodec, reducedDecodeScalesInTheDCTDomain)
{
    if (!test::toolAvailable("djpeg"))
        VISTEL_SKIP_UNAVAILABLE() << "djpeg is not installed";
    // 64x48 to at most 16: the decoder picks 2/8, which is djpeg's -scale 1/4 exactly.
    const DecodeResult result = decodeFixture("baseline.jpg", DecodeMode::ReducedImage, 16);
    ASSERT_TRUE(result.image) << result.error;
    EXPECT_EQ(result.image->width(), 16u);
    EXPECT_EQ(result.image->height(), 12u);
    const auto reference = test::referenceFromCommand("djpeg -scale 1/4 -pnm " + test::fixturePath("baseline.jpg"));
    ASSERT_TRUE(reference);
    EXPECT_LE(test::maxDifference(test::samplesOf(*result.image, false), *reference), 1);
}

TEST(JPEGCodec, reducedDecodeFitsSizesBetweenScales)
{
    // 20 px needs 3/8 (24x18), then an area reduction to 20x15.
    const DecodeResult result = decodeFixture("baseline.jpg", DecodeMode::ReducedImage, 20);
    ASSERT_TRUE(result.image) << result.error;
    EXPECT_EQ(result.image->width(), 20u);
    EXPECT_EQ(result.image->height(), 15u);
    // Never enlarged.
    const DecodeResult big = decodeFixture("baseline.jpg", DecodeMode::ReducedImage, 500);
    ASSERT_TRUE(big.image);
    EXPECT_EQ(big.image->width(), 64u);
}

double meanSample(const PlatformImage& image)
{
    const test::Samples s = test::samplesOf(image, false);
    double sum = 0;
    for (auto v : s.values)
        sum += v;
    return sum / double(s.values.size());
}

TEST(JPEGCodec, embeddedThumbnailFollowsTheDecodeMode)
{
    const DecodeResult main = decodeFixture("exif.jpg", DecodeMode::ReducedImage, 32);
    ASSERT_TRUE(main.image) << main.error;
    const double mainMean = meanSample(*main.image);

    struct Case {
        DecodeMode mode;
        std::uint32_t size;
        bool expectThumbnail;
        std::uint32_t width;
    } cases[] = {
        { DecodeMode::EmbeddedThumbnail, 120, true, 32 }, // the thumbnail as it is, not enlarged
        { DecodeMode::EmbeddedThumbnail, 16, true, 16 },
        { DecodeMode::Thumbnail, 32, true, 32 },          // big enough
        { DecodeMode::Thumbnail, 48, false, 48 },         // too small: the main picture, reduced
        { DecodeMode::ReducedImage, 32, false, 32 },      // never the thumbnail
    };
    for (const Case& c : cases) {
        const DecodeResult r = decodeFixture("exif.jpg", c.mode, c.size);
        ASSERT_TRUE(r.image) << r.error;
        EXPECT_EQ(r.image->width(), c.width) << int(c.mode) << " " << c.size;
        // The fixture's EXIF thumbnail is the negative of the picture.
        const double mean = meanSample(*r.image);
        if (c.expectThumbnail)
            EXPECT_NEAR(mean, 255 - mainMean, 12) << int(c.mode) << " " << c.size;
        else
            EXPECT_NEAR(mean, mainMean, 4) << int(c.mode) << " " << c.size;
    }
}

TEST(JPEGCodec, embeddedModeWithoutThumbnailDecodesTheMainPicture)
{
    const DecodeResult r = decodeFixture("baseline.jpg", DecodeMode::EmbeddedThumbnail, 32);
    ASSERT_TRUE(r.image) << r.error;
    EXPECT_EQ(r.image->width(), 32u);
    EXPECT_EQ(r.image->height(), 24u);
}

TEST(JPEGCodec, findsTheExifThumbnailInsideItsBlock)
{
    auto bytes = readFixture("exif.jpg");
    const auto thumbnail = findExifThumbnail(bytes->data(), bytes->size());
    ASSERT_TRUE(thumbnail && thumbnail->jpeg);
    const auto header = readJPEGHeader(bytes->data() + thumbnail->jpeg->offset, thumbnail->jpeg->length);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, 32u);
    EXPECT_FALSE(findExifThumbnail(readFixture("baseline.jpg")->data(), readFixture("baseline.jpg")->size()));
    // A thumbnail length that runs past the EXIF block is not followed.
    auto damaged = *bytes;
    const std::size_t lengthAt = [&] {
        // IFD1's JPEGInterchangeFormatLength entry: tag 0x0202 in the TIFF block's byte order.
        for (std::size_t i = 0; i + 12 < damaged.size(); ++i)
            if ((damaged[i] == 0x02 && damaged[i + 1] == 0x02 && damaged[i + 2] == 0x00 && damaged[i + 3] == 0x04)
                || (damaged[i] == 0x02 && damaged[i + 1] == 0x02 && damaged[i + 2] == 0x04 && damaged[i + 3] == 0x00))
                return i + 8;
        return std::size_t(0);
    }();
    ASSERT_NE(lengthAt, 0u);
    damaged[lengthAt] = damaged[lengthAt + 1] = damaged[lengthAt + 2] = damaged[lengthAt + 3] = 0x7F;
    EXPECT_FALSE(findExifThumbnail(damaged.data(), damaged.size()));
}

TEST(JPEGCodec, reportsMetadataThroughTheImagingVocabulary)
{
    auto decoder = openFixture("exif.jpg");
    ASSERT_TRUE(decoder);
    const auto page = decoder->page(0);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->width, 64u);
    EXPECT_EQ(page->height, 48u);
    const Value& p = page->properties;
    EXPECT_EQ(p[kImagePropertyPixelWidth].toInt64(), 64);
    EXPECT_EQ(p[kImagePropertyColorModel].toString(), "RGB");
    EXPECT_EQ(p[kImagePropertyTIFFDictionary][kImagePropertyTIFFMake].toString(), "Vistel");
    EXPECT_EQ(p[kImagePropertyTIFFDictionary][kImagePropertyTIFFOrientation].toInt64(), 6);
    EXPECT_DOUBLE_EQ(p[kImagePropertyExifDictionary][kImagePropertyExifFNumber].toDouble(), 2.8);
    EXPECT_EQ(p[kImagePropertyJFIFDictionary][kImagePropertyJFIFIsProgressive].toBool(true), false);
    EXPECT_FALSE(decoder->page(1));

    auto progressive = openFixture("progressive.jpg");
    ASSERT_TRUE(progressive);
    EXPECT_TRUE(progressive->page(0)->properties[kImagePropertyJFIFDictionary][kImagePropertyJFIFIsProgressive].toBool());
}

TEST(JPEGCodec, keepsTheEmbeddedICCProfile)
{
    const DecodeResult r = decodeFixture("icc.jpg");
    ASSERT_TRUE(r.image);
    ASSERT_TRUE(r.image->colorSpace()->hasICCProfile());
    EXPECT_EQ(r.image->colorSpace()->profileName(), "Vistel fixture RGB");
    auto decoder = openFixture("icc.jpg");
    EXPECT_EQ(decoder->page(0)->properties[kImagePropertyProfileName].toString(), "Vistel fixture RGB");
}

TEST(JPEGCodec, cmykPicturesStayCMYK)
{
    const DecodeResult r = decodeFixture("cmyk.jpg");
    ASSERT_TRUE(r.image);
    EXPECT_EQ(r.image->colorSpace()->model(), PlatformColorSpace::Model::CMYK);
    EXPECT_EQ(r.image->bitsPerPixel(), 32u);
    // Drawn through the generic CMYK profile: the white square stays near white.
    const QImage drawn = r.image->toQImage();
    ASSERT_FALSE(drawn.isNull());
    const QColor white = drawn.pixelColor(14, 14);
    EXPECT_GT(white.lightness(), 220);
}

TEST(JPEGCodec, truncatedStreamGivesItsFirstRows)
{
    const DecodeResult r = decodeFixture("truncated.jpg");
    ASSERT_TRUE(r.image) << r.error;
    EXPECT_TRUE(r.partial);
    EXPECT_EQ(r.image->width(), 64u);
    EXPECT_EQ(r.image->height(), 48u);
}

TEST(JPEGCodec, cancellationStopsTheDecode)
{
    auto decoder = openFixture("baseline.jpg");
    ASSERT_TRUE(decoder);
    DecodeOptions options;
    options.cancelled = [] { return true; };
    const DecodeResult r = decoder->decode(0, options);
    EXPECT_FALSE(r.image);
    EXPECT_FALSE(r.error.empty());
}

// ---- PNG -----------------------------------------------------------------------------------

TEST(PNGCodec, layoutsOfTheDecodedPictures)
{
    struct Case {
        const char* fixture;
        std::size_t bitsPerComponent, bitsPerPixel;
        ImageAlphaInfo alpha;
        PlatformColorSpace::Model model;
    } cases[] = {
        { "rgb8.png", 8, 24, kImageAlphaNone, PlatformColorSpace::Model::RGB },
        { "rgba16.png", 16, 64, kImageAlphaLast, PlatformColorSpace::Model::RGB },
        { "grey.png", 8, 8, kImageAlphaNone, PlatformColorSpace::Model::Monochrome },
        { "palette.png", 8, 32, kImageAlphaLast, PlatformColorSpace::Model::RGB },
        { "rgb16.tif", 16, 48, kImageAlphaNone, PlatformColorSpace::Model::RGB },
        { "cmyk.tif", 8, 32, kImageAlphaNone, PlatformColorSpace::Model::CMYK },
        { "grey.tif", 8, 8, kImageAlphaNone, PlatformColorSpace::Model::Monochrome },
        { "alpha.webp", 8, 32, kImageAlphaLast, PlatformColorSpace::Model::RGB },
    };
    for (const Case& c : cases) {
        const DecodeResult r = decodeFixture(c.fixture);
        ASSERT_TRUE(r.image) << c.fixture << ": " << r.error;
        EXPECT_EQ(r.image->bitsPerComponent(), c.bitsPerComponent) << c.fixture;
        EXPECT_EQ(r.image->bitsPerPixel(), c.bitsPerPixel) << c.fixture;
        EXPECT_EQ(r.image->alphaInfo(), c.alpha) << c.fixture;
        EXPECT_EQ(r.image->colorSpace()->model(), c.model) << c.fixture;
    }
}

TEST(PNGCodec, propertiesAndProfile)
{
    auto decoder = openFixture("icc.png");
    ASSERT_TRUE(decoder);
    const Value p = decoder->page(0)->properties;
    EXPECT_EQ(p[kImagePropertyProfileName].toString(), "Vistel fixture RGB");
    EXPECT_EQ(p[kImagePropertyDepth].toInt64(), 8);
    EXPECT_FALSE(p[kImagePropertyHasAlpha].toBool(true));
    EXPECT_TRUE(p.contains(kImagePropertyPNGDictionary));
    auto palette = openFixture("palette.png");
    EXPECT_TRUE(palette->page(0)->properties[kImagePropertyIsIndexed].toBool());
    EXPECT_TRUE(palette->page(0)->properties[kImagePropertyHasAlpha].toBool());
}

TEST(PNGCodec, chromaticitiesOfTheCHRMChunk)
{
    const Value png = openFixture("rgb8.png")->page(0)->properties[kImagePropertyPNGDictionary];
    const Value& c = png[kImagePropertyPNGChromaticities];
    const double expected[] = { 0.3127, 0.329, 0.64, 0.33, 0.3, 0.6, 0.15, 0.06 }; // white, red, green, blue
    ASSERT_EQ(c.size(), 8u) << c.description();
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_NEAR(c.at(i).toDouble(), expected[i], 1e-5) << i;
    // A picture without the chunk has no chromaticities.
    EXPECT_FALSE(openFixture("grey.png")->page(0)->properties[kImagePropertyPNGDictionary].contains(kImagePropertyPNGChromaticities));
}

TEST(PNGCodec, sixteenBitThumbnailsBecomeEightBit)
{
    const DecodeResult r = decodeFixture("rgba16.png", DecodeMode::Thumbnail, 16);
    ASSERT_TRUE(r.image);
    EXPECT_EQ(r.image->width(), 16u);
    EXPECT_EQ(r.image->height(), 12u);
    EXPECT_EQ(r.image->bitsPerComponent(), 8u);
    EXPECT_EQ(r.image->alphaInfo(), kImageAlphaLast);
}

TEST(PNGCodec, truncatedFileKeepsTheRowsRead)
{
    auto bytes = readFixture("rgb8.png");
    auto cut = std::make_shared<std::vector<std::uint8_t>>(bytes->begin(), bytes->begin() + bytes->size() * 2 / 3);
    auto decoder = PNGCodec().open(encoded(cut));
    ASSERT_TRUE(decoder);
    const DecodeResult r = decoder->decode(0, DecodeOptions {});
    ASSERT_TRUE(r.image) << r.error;
    EXPECT_TRUE(r.partial);
    // The first row is the picture's.
    const DecodeResult whole = decodeFixture("rgb8.png");
    EXPECT_EQ(std::memcmp(r.image->rowAddress(0), whole.image->rowAddress(0), 64 * 3), 0);
}

// ---- TIFF ------------------------------------------------------------------------------------

TEST(TIFFCodec, everyDirectoryIsAPage)
{
    auto decoder = openFixture("multipage.tif");
    ASSERT_TRUE(decoder);
    ASSERT_EQ(decoder->pageCount(), 2u);
    const auto second = decoder->page(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->width, 32u);
    EXPECT_EQ(second->height, 24u);
    const DecodeResult r = decoder->decode(1, DecodeOptions {});
    ASSERT_TRUE(r.image) << r.error;
    EXPECT_EQ(r.image->width(), 32u);
    // Page 0 again after page 1.
    const DecodeResult first = decoder->decode(0, DecodeOptions {});
    ASSERT_TRUE(first.image);
    EXPECT_EQ(first.image->width(), 64u);
    EXPECT_FALSE(decoder->page(2));
    EXPECT_FALSE(decoder->decode(2, DecodeOptions {}).image);
}

TEST(TIFFCodec, sixteenBitSamplesKeepTheirPrecision)
{
    auto decoder = openFixture("rgb16.tif");
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->page(0)->bitsPerSample, 16u);
    EXPECT_EQ(decoder->page(0)->properties[kImagePropertyTIFFDictionary][kImagePropertyTIFFCompression].toInt64(), 5);
}

// ---- WebP ------------------------------------------------------------------------------------

// Lossy and lossless files cut short: the rows their data holds are the whole file's rows, the
// rest grey and opaque; a cut inside the headers opens nothing.
TEST(WebPCodec, truncatedFileKeepsTheRowsItHolds)
{
    for (const char* name : { "lossy.webp", "alpha.webp" }) {
        const auto bytes = readFixture(name);
        const DecodeResult whole = decodeFixture(name);
        ASSERT_TRUE(whole.image) << whole.error;
        EXPECT_FALSE(whole.partial);
        const test::Samples full = test::samplesOf(*whole.image, true);
        int partialSeen = 0;
        for (std::size_t keep = bytes->size() / 2; keep < bytes->size(); keep += 16) {
            auto cut = std::make_shared<std::vector<std::uint8_t>>(bytes->begin(), bytes->begin() + keep);
            auto decoder = WebPCodec().open(encoded(cut));
            ASSERT_TRUE(decoder) << name << " cut at " << keep;
            const DecodeResult r = decoder->decode(0, DecodeOptions {});
            if (!r.image) {
                EXPECT_FALSE(r.error.empty());
                continue; // not even the first rows are there
            }
            ASSERT_TRUE(r.partial) << name << " cut at " << keep;
            ++partialSeen;
            const test::Samples ours = test::samplesOf(*r.image, true);
            ASSERT_EQ(ours.width, full.width);
            ASSERT_EQ(ours.height, full.height);
            ASSERT_EQ(ours.channels, full.channels);
            std::size_t y = 0;
            for (; y < ours.height && std::equal(&ours.values[y * ours.width * ours.channels],
                                                 &ours.values[(y + 1) * ours.width * ours.channels],
                                                 &full.values[y * full.width * full.channels]); ++y) { }
            EXPECT_GT(y, 0u) << name << " cut at " << keep;
            const std::size_t last = ours.height - 1;
            for (std::size_t x = 0; x < ours.width; ++x) {
                EXPECT_EQ(ours.at(x, last, 0), 128) << name << " cut at " << keep;
                if (ours.channels == 4) {
                    EXPECT_EQ(ours.at(x, last, 3), 255) << name << " cut at " << keep;
                }
            }
        }
        EXPECT_GT(partialSeen, 0) << name;
        auto header = std::make_shared<std::vector<std::uint8_t>>(bytes->begin(), bytes->begin() + 20);
        EXPECT_FALSE(WebPCodec().open(encoded(header)));
    }
}

// ---- GIF, BMP ------------------------------------------------------------------------------

TEST(GIFCodec, decodesTheFirstFrameOnly)
{
    auto decoder = openFixture("anim.gif");
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->pageCount(), 1u);
    const DecodeResult r = decoder->decode(0, DecodeOptions {});
    ASSERT_TRUE(r.image);
    // The first frame has the white square; the second is the negative.
    const test::Samples s = test::samplesOf(*r.image, true);
    EXPECT_GT(s.at(14, 14, 0), 240);
    EXPECT_EQ(s.at(14, 14, 3), 255);
}

// A 1 x 1 GIF with a black and white global table; optionally a loop block, a graphic control
// block and a red and green table of the frame's own.
std::vector<std::uint8_t> tinyGIF(bool loopBlock, bool controlBlock, bool localMap)
{
    std::vector<std::uint8_t> b = { 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255 };
    if (loopBlock) {
        const std::uint8_t block[] = { 0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 3, 0, 0 };
        b.insert(b.end(), std::begin(block), std::end(block)); // loops 3 times
    }
    if (controlBlock) {
        const std::uint8_t block[] = { 0x21, 0xF9, 4, 0, 25, 0, 0, 0 }; // 25 hundredths of a second
        b.insert(b.end(), std::begin(block), std::end(block));
    }
    const std::uint8_t descriptor[] = { 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, std::uint8_t(localMap ? 0x80 : 0) };
    b.insert(b.end(), std::begin(descriptor), std::end(descriptor));
    if (localMap) {
        const std::uint8_t colors[] = { 255, 0, 0, 0, 255, 0 };
        b.insert(b.end(), std::begin(colors), std::end(colors));
    }
    const std::uint8_t pixels[] = { 2, 2, 0x44, 0x01, 0, 0x3B };
    b.insert(b.end(), std::begin(pixels), std::end(pixels));
    return b;
}

TEST(GIFCodec, theBlocksBeforeTheFirstFrame)
{
    const Value anim = openFixture("anim.gif")->page(0)->properties[kImagePropertyGIFDictionary];
    EXPECT_EQ(anim[kImagePropertyGIFLoopCount], Value(0)); // forever
    EXPECT_DOUBLE_EQ(anim[kImagePropertyGIFDelayTime].toDouble(), 0.1);
    EXPECT_TRUE(anim[kImagePropertyGIFHasGlobalColorMap].toBool());
    EXPECT_EQ(anim[kImagePropertyGIFImageColorMap].size() % 3, 0u);
    EXPECT_GE(anim[kImagePropertyGIFImageColorMap].size(), 6u);

    struct Case {
        bool loopBlock, controlBlock, localMap;
        const char* gif;
    } cases[] = {
        { true, true, true, "{DelayTime = 0.25; HasGlobalColorMap = 1; ImageColorMap = (255, 0, 0, 0, 255, 0); LoopCount = 3;}" },
        { false, false, false, "{HasGlobalColorMap = 1; ImageColorMap = (0, 0, 0, 255, 255, 255);}" },
    };
    for (const Case& c : cases) {
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(tinyGIF(c.loopBlock, c.controlBlock, c.localMap));
        auto decoder = GIFCodec().open(encoded(bytes));
        ASSERT_TRUE(decoder) << c.gif;
        EXPECT_EQ(decoder->page(0)->properties[kImagePropertyGIFDictionary].description(), c.gif);
        // Reading the blocks leaves the frame to decode.
        const DecodeResult r = decoder->decode(0, DecodeOptions {});
        ASSERT_TRUE(r.image) << r.error;
        EXPECT_EQ(test::samplesOf(*r.image, true).at(0, 0, 0), c.localMap ? 255 : 0);
    }
}

TEST(GIFCodec, cutShortAnywhereInTheBlocksBeforeTheFirstFrame)
{
    const std::vector<std::uint8_t> whole = tinyGIF(true, true, true);
    for (std::size_t size = 13 + 6; size < whole.size(); ++size) { // from the end of the global table on
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(whole.begin(), whole.begin() + std::ptrdiff_t(size));
        auto decoder = GIFCodec().open(encoded(bytes));
        ASSERT_TRUE(decoder) << size; // the header is whole: the blocks are read as far as they go
        const Value gif = decoder->page(0)->properties[kImagePropertyGIFDictionary];
        EXPECT_TRUE(gif[kImagePropertyGIFHasGlobalColorMap].toBool()) << size;
        // A loop count only once its sub-block is whole (the header, the global table and the
        // block's first 18 bytes).
        EXPECT_EQ(gif.contains(kImagePropertyGIFLoopCount), size >= 13 + 6 + 18) << size;
        EXPECT_FALSE(decoder->decode(0, DecodeOptions {}).image && size < whole.size() - 4) << size;
    }
}

TEST(BMPCodec, rejectsHeadersThatLie)
{
    auto bytes = *readFixture("rgb24.bmp");
    struct Case {
        std::size_t offset;
        std::uint32_t value;
    } cases[] = {
        { 18, 0x7FFFFFFF }, // width
        { 22, 0 },          // height
        { 28, 7 },          // bits per pixel
        { 30, 4 },          // embedded JPEG
        { 10, 0x10000 },    // pixel data beyond the file
    };
    for (const Case& c : cases) {
        auto damaged = std::make_shared<std::vector<std::uint8_t>>(bytes);
        for (int i = 0; i < 4; ++i)
            (*damaged)[c.offset + i] = std::uint8_t(c.value >> (8 * i));
        if (c.offset == 28)
            (*damaged)[30] = 0, (*damaged)[29] = 0;
        EXPECT_FALSE(BMPCodec().open(encoded(damaged))) << c.offset;
    }
}

// ---- camera RAW ------------------------------------------------------------------------------

TEST(RAWCodec, previewForThumbnailsHalfSizeOtherwise)
{
    auto decoder = openFixture("raw.dng");
    ASSERT_TRUE(decoder);
    const auto page = decoder->page(0);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->width, 64u);
    EXPECT_EQ(page->height, 48u);
    EXPECT_EQ(page->properties[kImagePropertyTIFFDictionary][kImagePropertyTIFFMake].toString(), "Vistel");

    // The fixture's preview is plain red; its sensor data a grey ramp from left to right.
    DecodeOptions thumbnail;
    thumbnail.mode = DecodeMode::EmbeddedThumbnail;
    thumbnail.maxPixelSize = 120;
    const DecodeResult preview = decoder->decode(0, thumbnail);
    ASSERT_TRUE(preview.image) << preview.error;
    EXPECT_EQ(preview.image->width(), 32u);
    const test::Samples p = test::samplesOf(*preview.image, false);
    EXPECT_EQ(p.at(5, 5, 0), 200);
    EXPECT_EQ(p.at(5, 5, 1), 40);

    const DecodeResult full = decoder->decode(0, DecodeOptions {});
    ASSERT_TRUE(full.image) << full.error;
    EXPECT_EQ(full.image->width(), 32u);
    EXPECT_EQ(full.image->height(), 24u);
    const test::Samples f = test::samplesOf(*full.image, false);
    EXPECT_LT(f.at(1, 12, 1), f.at(16, 12, 1));
    EXPECT_LT(f.at(16, 12, 1), f.at(30, 12, 1));
}

// ---- damaged input, every codec --------------------------------------------------------------

// Prefixes and byte flips of every fixture: each decode fails with a reason, or gives a picture
// no larger than the page it describes.
TEST(DamagedInput, neverCrashesAndAnswersConsistently)
{
    const char* fixtures[] = { "baseline.jpg", "progressive.jpg", "cmyk.jpg", "exif.jpg", "rgba16.png", "palette.png",
        "interlaced.png", "rgb16.tif", "tiled.tif", "multipage.tif", "cmyk.tif", "lossy.webp", "alpha.webp", "anim.gif",
        "rgb24.bmp", "palette4.bmp", "rle8.bmp", "raw.dng" };
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (const char* name : fixtures) {
        const auto original = readFixture(name);
        for (int variant = 0; variant < 24; ++variant) {
            auto bytes = std::make_shared<std::vector<std::uint8_t>>(*original);
            if (variant < 8) {
                bytes->resize(bytes->size() * std::size_t(variant + 1) / 9);
            } else {
                for (int flips = 0; flips < 4; ++flips)
                    (*bytes)[next() % bytes->size()] ^= std::uint8_t(1u << (next() % 8));
            }
            for (auto& codec : allCodecs()) {
                auto decoder = codec->open(encoded(bytes));
                if (!decoder)
                    continue;
                for (std::size_t page = 0; page < std::min<std::size_t>(decoder->pageCount(), 3); ++page) {
                    const auto description = decoder->page(page);
                    for (DecodeMode mode : { DecodeMode::Full, DecodeMode::EmbeddedThumbnail }) {
                        DecodeOptions options;
                        options.mode = mode;
                        options.maxPixelSize = 24;
                        const DecodeResult r = decoder->decode(page, options);
                        if (!r.image) {
                            EXPECT_FALSE(r.error.empty()) << name << " variant " << variant;
                        } else if (description && mode == DecodeMode::Full) {
                            EXPECT_LE(r.image->width() * r.image->height(), std::size_t(description->width) * description->height)
                                << name << " variant " << variant;
                        }
                    }
                }
            }
        }
    }
}

// ---- the thumbnail rule ------------------------------------------------------------------------

TEST(FitWithin, averagesBlocksAndKeepsTheLayout)
{
    // A 4x2 16-bit grey picture (little-endian) with two flat halves, reduced to 2x1.
    std::vector<std::uint8_t> px;
    const std::uint16_t values[8] = { 0x1000, 0x3000, 0xF000, 0xF000, 0x1000, 0x3000, 0xF000, 0xF000 };
    for (auto v : values) {
        px.push_back(std::uint8_t(v & 0xFF));
        px.push_back(std::uint8_t(v >> 8));
    }
    auto image = PlatformImage::create(4, 2, 16, 16, 8, kImageBitmapByteOrder16Little, PlatformColorSpace::createDeviceGray(), px);
    ASSERT_TRUE(image);
    auto small = fitWithin(image, 2);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width(), 2u);
    EXPECT_EQ(small->height(), 1u);
    EXPECT_EQ(small->bitsPerComponent(), 8u);
    EXPECT_EQ(small->rowAddress(0)[0], 0x20);
    EXPECT_EQ(small->rowAddress(0)[1], 0xF0);
    EXPECT_EQ(fitWithin(image, 4).get(), image.get());
    EXPECT_EQ(fitWithin(image, 0).get(), image.get());
}

TEST(FitWithin, averagesBlocksLargerThanSixteenMillionPixels)
{
    // 255 times a block of more than 2^32 / 255 pixels does not fit 32 bits.
    const std::size_t side = 4200;
    auto image = PlatformImage::create(side, side, 8, 8, side, kImageAlphaNone, PlatformColorSpace::createDeviceGray(),
        std::vector<std::uint8_t>(side * side, 0xFF));
    ASSERT_TRUE(image);
    auto dot = fitWithin(image, 1);
    ASSERT_TRUE(dot);
    EXPECT_EQ(dot->width(), 1u);
    EXPECT_EQ(dot->height(), 1u);
    EXPECT_EQ(dot->rowAddress(0)[0], 0xFF);
}

} // namespace
} // namespace vistel::codec
