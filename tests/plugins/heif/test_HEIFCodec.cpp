// The HEIF/AVIF decoder against pictures made by libheif's encoder and decoded for reference
// by its converter.

#include <gtest/gtest.h>

#include "../CodecFixtures.h"
#include "HEIFCodec.h"
#include "JPEGCodec.h"
#include "Platform/Imaging/ImageProperties.h"
#include "TestSupport.h"

namespace vistel::codec {
namespace {

std::unique_ptr<ImageDecoder> openFixture(const std::string& name) { return HEIFCodec().open(test::encoded(test::readFixture(name))); }

std::optional<test::Samples> reference(const std::string& name, bool alpha)
{
    if (!test::toolAvailable("heif-convert") || !test::toolAvailable("pngtopam"))
        return std::nullopt;
    return test::referenceFromCommand("t=$(mktemp --suffix=.png) && heif-convert " + test::fixturePath(name) + " $t >/dev/null && pngtopam "
        + (alpha ? "-alphapam " : "") + "$t; rm -f $t");
}

TEST(HEIFCodec, matchesLibheifsConverter)
{
    for (const auto& [name, alpha] : { std::pair { "photo.heic", false }, std::pair { "alpha.avif", true } }) {
        const auto ref = reference(name, alpha);
        if (!ref)
            VISTEL_SKIP_UNAVAILABLE() << "heif-convert or pngtopam is not installed";
        auto decoder = openFixture(name);
        ASSERT_TRUE(decoder) << name;
        const DecodeResult r = decoder->decode(0, DecodeOptions {});
        ASSERT_TRUE(r.image) << r.error;
        EXPECT_EQ(r.image->alphaInfo(), alpha ? kImageAlphaLast : kImageAlphaNone);
        EXPECT_LE(test::maxDifference(test::samplesOf(*r.image, alpha), *ref), 1) << name;
    }
}

TEST(HEIFCodec, typesAndProperties)
{
    EXPECT_EQ(openFixture("photo.heic")->typeIdentifier(), "public.heic");
    EXPECT_EQ(openFixture("alpha.avif")->typeIdentifier(), "public.avif");
    auto decoder = openFixture("exif.heic");
    ASSERT_TRUE(decoder);
    const auto page = decoder->page(0);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->width, 64u);
    EXPECT_EQ(page->height, 48u);
    EXPECT_EQ(page->properties[kImagePropertyTIFFDictionary][kImagePropertyTIFFMake].toString(), "Vistel");
    // The EXIF block says 6, but HEIF pictures come out of libheif upright.
    EXPECT_EQ(page->properties[kImagePropertyTIFFDictionary][kImagePropertyTIFFOrientation].toInt64(), 1);
    EXPECT_EQ(page->properties[kImagePropertyOrientation].toInt64(), 1);
}

TEST(HEIFCodec, storedThumbnailServesThumbnailModes)
{
    auto decoder = openFixture("exif.heic");
    ASSERT_TRUE(decoder);
    struct Case {
        DecodeMode mode;
        std::uint32_t size, width;
    } cases[] = {
        { DecodeMode::EmbeddedThumbnail, 120, 32 }, // the stored 32x24 thumbnail
        { DecodeMode::Thumbnail, 48, 48 },          // too small: the picture, reduced
        { DecodeMode::ReducedImage, 40, 40 },
    };
    for (const Case& c : cases) {
        DecodeOptions options;
        options.mode = c.mode;
        options.maxPixelSize = c.size;
        const DecodeResult r = decoder->decode(0, options);
        ASSERT_TRUE(r.image) << r.error;
        EXPECT_EQ(r.image->width(), c.width) << int(c.mode);
    }
}

TEST(HEIFCodec, refusesOtherFilesAndDamagedOnes)
{
    auto jpeg = test::readFixture("../../data/baseline.jpg");
    EXPECT_FALSE(HEIFCodec().open(test::encoded(jpeg)));
    auto whole = test::readFixture("photo.heic");
    for (std::size_t keep : { std::size_t(12), whole->size() / 3, whole->size() - 10 }) {
        auto cut = std::make_shared<std::vector<std::uint8_t>>(whole->begin(), whole->begin() + keep);
        auto decoder = HEIFCodec().open(test::encoded(cut));
        if (!decoder)
            continue;
        const DecodeResult r = decoder->decode(0, DecodeOptions {});
        if (!r.image) {
            EXPECT_FALSE(r.error.empty());
        }
    }
    EXPECT_FALSE(JPEGCodec().open(test::encoded(whole)));
}

} // namespace
} // namespace vistel::codec
