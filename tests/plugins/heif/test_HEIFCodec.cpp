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

// Bits written most significant first, as HEVC and AV1 headers are.
class BitWriter {
public:
    void bits(std::uint32_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;) {
            if (used_ % 8 == 0)
                bytes_.push_back(0);
            bytes_.back() |= std::uint8_t(((value >> i) & 1) << (7 - used_ % 8));
            ++used_;
        }
    }
    void expGolomb(std::uint32_t value)
    {
        const std::uint64_t coded = std::uint64_t(value) + 1;
        unsigned length = 0;
        while ((coded >> length) > 1)
            ++length;
        bits(0, length);
        bits(std::uint32_t(coded), length + 1);
    }
    std::vector<std::uint8_t> bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    unsigned used_ = 0;
};

void appendBox(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& payload)
{
    const std::uint32_t size = std::uint32_t(payload.size() + 8);
    out.insert(out.end(), { std::uint8_t(size >> 24), std::uint8_t(size >> 16), std::uint8_t(size >> 8), std::uint8_t(size) });
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
}

// An HEVC sequence parameter set NAL unit (header included) for a `width` x `height` picture.
std::vector<std::uint8_t> hevcSequenceParameterSet(std::uint32_t width, std::uint32_t height)
{
    BitWriter w;
    w.bits(0x4201, 16); // NAL header: type 33
    w.bits(0, 4);       // video parameter set 0
    w.bits(0, 3);       // one sub-layer
    w.bits(1, 1);
    w.bits(0, 32);      // profile, tier and flags: 88 bits
    w.bits(0, 32);
    w.bits(0, 24);
    w.bits(93, 8);      // level 3.1
    w.expGolomb(0);     // sequence parameter set 0
    w.expGolomb(1);     // 4:2:0
    w.expGolomb(width);
    w.expGolomb(height);
    w.bits(1, 1);
    return w.bytes();
}

// An AV1 sequence header OBU (reduced still-picture form) allowing `width` x `height` frames.
std::vector<std::uint8_t> av1SequenceHeader(std::uint32_t width, std::uint32_t height)
{
    BitWriter w;
    w.bits(0, 3);  // profile
    w.bits(1, 1);  // still picture
    w.bits(1, 1);  // reduced still-picture header
    w.bits(8, 5);  // level
    w.bits(15, 4); // 16 bits of width
    w.bits(15, 4); // 16 bits of height
    w.bits(width - 1, 16);
    w.bits(height - 1, 16);
    const std::vector<std::uint8_t> payload = w.bytes();
    std::vector<std::uint8_t> obu;
    obu.push_back(0x0A); // type 1, with a size
    obu.push_back(std::uint8_t(payload.size()));
    for (std::uint8_t b : payload)
        obu.push_back(b);
    return obu;
}

// meta > iprp > ipco holding an "ispe" of the declared size and the given configuration.
std::vector<std::uint8_t> fileWithProperties(std::uint32_t declaredWidth, std::uint32_t declaredHeight,
    const char* configurationType, const std::vector<std::uint8_t>& configuration)
{
    std::vector<std::uint8_t> ispe(4, 0);
    for (std::uint32_t v : { declaredWidth, declaredHeight })
        ispe.insert(ispe.end(), { std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v) });
    std::vector<std::uint8_t> ipco;
    appendBox(ipco, "ispe", ispe);
    appendBox(ipco, configurationType, configuration);
    std::vector<std::uint8_t> iprp, meta(4, 0), file;
    appendBox(iprp, "ipco", ipco);
    appendBox(meta, "iprp", iprp);
    appendBox(file, "meta", meta);
    return file;
}

std::vector<std::uint8_t> hvcCWith(const std::vector<std::uint8_t>& sequenceParameterSet)
{
    std::vector<std::uint8_t> hvcC(22, 0);
    hvcC.push_back(1);    // one array
    hvcC.push_back(33);   // of sequence parameter sets
    hvcC.insert(hvcC.end(), { 0, 1, std::uint8_t(sequenceParameterSet.size() >> 8), std::uint8_t(sequenceParameterSet.size()) });
    hvcC.insert(hvcC.end(), sequenceParameterSet.begin(), sequenceParameterSet.end());
    return hvcC;
}

TEST(HEIFCodec, codedPicturesLargerThanTheDeclaredOnesAreRefused)
{
    struct Case {
        const char* what;
        const char* type;
        std::vector<std::uint8_t> configuration;
        bool refused;
    };
    auto av1 = [](std::uint32_t w, std::uint32_t h) {
        std::vector<std::uint8_t> c { 0x81, 0, 0, 0 };
        for (std::uint8_t b : av1SequenceHeader(w, h))
            c.push_back(b);
        return c;
    };
    const std::vector<Case> cases = {
        { "HEVC of the declared size, padded to its coding blocks", "hvcC", hvcCWith(hevcSequenceParameterSet(704, 512)), false },
        { "HEVC of 22000 x 22000 in a 640 x 480 picture", "hvcC", hvcCWith(hevcSequenceParameterSet(22000, 22000)), true },
        { "HEVC whose size cannot be read", "hvcC", hvcCWith({ 0x42, 0x01, 0x01 }), true },
        { "AV1 of the declared size", "av1C", av1(640, 480), false },
        { "AV1 of 30000 x 30000 in a 640 x 480 picture", "av1C", av1(30000, 30000), true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = fileWithProperties(640, 480, c.type, c.configuration);
        const std::string failure = heifCodedSizeFailure(file.data(), file.size(), 640, 480);
        EXPECT_EQ(!failure.empty(), c.refused) << failure;
        if (c.refused) {
            EXPECT_EQ(failure.rfind("too large: a coded picture of ", 0), 0u) << failure;
        }
    }
}

TEST(HEIFCodec, libheifsPlanesStayWithinThePixelLimit)
{
    // The tile of this 64 x 49 picture codes 17509 x 28788 samples in its stream.
    std::string failure;
    auto decoder = HEIFCodec().open(test::encoded(test::readFixture("../../data/hostile/heif-memory-blowup.heic")), &failure);
    ASSERT_TRUE(decoder) << failure;
    const DecodeResult r = decoder->decode(0, DecodeOptions {});
    EXPECT_FALSE(r.image);
    EXPECT_NE(r.error.find("exceeds the maximum image size"), std::string::npos) << r.error;
}

} // namespace
} // namespace vistel::codec
