// The in-place orientation rewrite on hand-made files: both EXIF byte orders, the XMP digit in
// its two spellings, the layouts it must leave to exiv2, WebP, and damaged or cut files.

#include <gtest/gtest.h>

#include <string>

#include "ExifFixtures.h"
#include "Imaging/OrientationTagPatch.h"

using namespace vistel;

namespace {

using Bytes = Value::Bytes;

// SOI, an EXIF APP1 with `tiff`, an XMP APP1 with `xmp` (when not empty), a stand-in for the
// picture data, EOI.
Bytes jpeg(const Bytes& tiff, const std::string& xmp = {})
{
    Bytes b {0xFF, 0xD8, 0xFF, 0xDA, 0, 8, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x22, 0x33, 0xFF, 0xD9};
    if (!xmp.empty())
        b = test::withApp1(b, test::kXmpHeader, Bytes(xmp.begin(), xmp.end()));
    return test::withApp1(b, test::kExifHeader, tiff);
}

Bytes tiffBlock(bool little, const std::vector<test::TiffField>& ifd0)
{
    return test::tiffBytes(little, {ifd0});
}

std::string xmpAttribute(const std::string& value)
{
    return "<x:xmpmeta><rdf:RDF><rdf:Description tiff:Orientation=\"" + value + "\" tiff:Make=\"8\"/></rdf:RDF></x:xmpmeta>";
}

std::string xmpElement(const std::string& value)
{
    return "<x:xmpmeta><rdf:RDF><rdf:Description><tiff:Orientation>" + value
        + "</tiff:Orientation></rdf:Description></rdf:RDF></x:xmpmeta>";
}

// The offsets at which two files of the same length differ.
std::vector<std::size_t> differences(const Bytes& a, const Bytes& b)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            at.push_back(i);
    return at;
}

std::size_t find(const Bytes& b, const std::string& text)
{
    return std::size_t(std::search(b.begin(), b.end(), text.begin(), text.end()) - b.begin());
}

const test::TiffField kMake {0x010F, 2, {}, {'A', 'B', 'C', 0}};
const test::TiffField kOrientation1 {0x0112, 3, {1}};

} // namespace

TEST(OrientationTagPatch, WritesTheShortValueInEitherByteOrder)
{
    for (const bool little : {true, false}) {
        const Bytes original = jpeg(tiffBlock(little, {kMake, kOrientation1}));
        Bytes patched = original;
        ASSERT_TRUE(patchOrientationInPlace(patched, 6)) << little;
        ASSERT_EQ(patched.size(), original.size());
        // The value field of the second entry: SOI, APP1 header (4), "Exif\0\0", TIFF header
        // (8), entry count (2), one entry (12), tag/type/count (8); the low byte first or last.
        const std::size_t value = 2 + 4 + 6 + 8 + 2 + 12 + 8;
        EXPECT_EQ(differences(original, patched), std::vector<std::size_t> {value + (little ? 0 : 1)});
        EXPECT_EQ(patched[value + (little ? 0 : 1)], 6);
        ASSERT_TRUE(patchOrientationInPlace(patched, 1));
        EXPECT_EQ(patched, original);
    }
}

TEST(OrientationTagPatch, WritesTheXmpDigitInBothSpellings)
{
    const struct {
        std::string xmp;
        std::string before; // the text just before the digit
    } cases[] = {{xmpAttribute("1"), "tiff:Orientation=\""}, {xmpElement("1"), "<tiff:Orientation>"}};
    for (const auto& [xmp, before] : cases) {
        const Bytes original = jpeg(tiffBlock(false, {kOrientation1}), xmp);
        Bytes patched = original;
        ASSERT_TRUE(patchOrientationInPlace(patched, 8)) << xmp;
        const std::vector<std::size_t> changed = differences(original, patched);
        ASSERT_EQ(changed.size(), 2u) << xmp;
        EXPECT_EQ(changed[1], find(original, before) + before.size()) << xmp;
        EXPECT_EQ(patched[changed[1]], '8');
        EXPECT_EQ(find(patched, "tiff:Make=\"8\""), find(original, "tiff:Make=\"8\"")); // untouched
    }
}

// What cannot be patched byte for byte is left alone (exiv2 then rewrites it).
TEST(OrientationTagPatch, LeavesOtherLayoutsUnchanged)
{
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"no orientation entry", jpeg(tiffBlock(true, {kMake}))},
        {"orientation as a LONG", jpeg(tiffBlock(true, {{0x0112, 4, {1}}}))},
        {"two values", jpeg(tiffBlock(true, {{0x0112, 3, {1, 1}}}))},
        {"XMP value of two digits", jpeg(tiffBlock(true, {kOrientation1}), xmpAttribute("01"))},
        {"XMP value not a digit", jpeg(tiffBlock(true, {kOrientation1}), xmpElement("x"))},
        {"no EXIF", Bytes {0xFF, 0xD8, 0xFF, 0xDA, 0, 4, 1, 2, 0xFF, 0xD9, 0, 0}},
        {"not JPEG or WebP", Bytes(64, 'I')},
        {"empty", Bytes {}},
    };
    for (const auto& c : cases) {
        Bytes bytes = c.file;
        EXPECT_FALSE(patchOrientationInPlace(bytes, 6)) << c.what;
        EXPECT_EQ(bytes, c.file) << c.what;
    }
    Bytes valid = jpeg(tiffBlock(true, {kOrientation1}));
    EXPECT_FALSE(patchOrientationInPlace(valid, 0));
    EXPECT_FALSE(patchOrientationInPlace(valid, 9));
}

TEST(OrientationTagPatch, WebPChunks)
{
    for (const bool exifHeader : {false, true}) {
        Bytes exif = exifHeader ? Bytes {'E', 'x', 'i', 'f', 0, 0} : Bytes {};
        const Bytes tiff = tiffBlock(true, {kMake, kOrientation1});
        exif.insert(exif.end(), tiff.begin(), tiff.end());
        const std::string xmp = xmpAttribute("1") + " "; // odd length: the chunk is padded
        Bytes webp {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
        const auto chunk = [&](const char* name, const Bytes& payload) {
            webp.insert(webp.end(), name, name + 4);
            for (int i = 0; i < 4; ++i)
                webp.push_back(std::uint8_t(payload.size() >> (8 * i)));
            webp.insert(webp.end(), payload.begin(), payload.end());
            if (payload.size() & 1)
                webp.push_back(0);
        };
        chunk("VP8L", Bytes(9, 0x2F));
        chunk("EXIF", exif);
        chunk("XMP ", Bytes(xmp.begin(), xmp.end()));
        const Bytes original = webp;
        ASSERT_TRUE(patchOrientationInPlace(webp, 3)) << exifHeader;
        EXPECT_EQ(differences(original, webp).size(), 2u);
        EXPECT_EQ(webp[find(original, "tiff:Orientation") + 18], '3');
    }
}

// Offsets and lengths that point past the block or the file, and the file cut at every length:
// no read outside the bytes (the sanitizer build checks), and nothing patched that is not there.
TEST(OrientationTagPatch, DamagedFilesAreSafe)
{
    const Bytes good = jpeg(tiffBlock(false, {kMake, kOrientation1}), xmpElement("1"));
    const std::size_t tiffAt = 2 + 4 + 6;
    const struct {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    } damages[] = {
        {"IFD0 offset past the block", tiffAt + 4, 0x7F},
        {"entry count past the block", tiffAt + 8, 0x40},
        {"segment length past the file", 4, 0xFF},
        {"byte order unknown", tiffAt, 'X'},
    };
    for (const auto& d : damages) {
        Bytes bytes = good;
        bytes[d.at] = d.value;
        const Bytes damaged = bytes;
        EXPECT_FALSE(patchOrientationInPlace(bytes, 6)) << d.what;
        EXPECT_EQ(bytes, damaged) << d.what;
    }
    for (std::size_t length = 0; length <= good.size(); ++length) {
        Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(length));
        const Bytes before = cut;
        if (patchOrientationInPlace(cut, 6))
            EXPECT_LE(differences(before, cut).size(), 2u) << length;
        else
            EXPECT_EQ(cut, before) << length;
    }
}
