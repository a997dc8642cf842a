// The image representation over the codec plug-ins of this build: the eight EXIF orientations
// drawn upright (pictures and thumbnails), and rotation of encoded pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include <QColorSpace>
#include <QImage>
#include <QPainter>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // exiv2 0.27 still uses std::auto_ptr
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "Imaging/RIReperesentation.h"
#include "ExifFixtures.h"
#include "OrientationFixtures.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Log.h"

using namespace vistel;
using namespace vistel::test;

namespace {

using Bytes = Value::Bytes;
using Data = RIReperesentation::Data;

Data shared(Bytes bytes)
{
    return std::make_shared<const Bytes>(std::move(bytes));
}

Bytes encode(const QImage& image, const char* type, Value properties = Value::dictionary())
{
    const Ref<ImageDestination> destination = ImageDestination::createWithData(type);
    if (!destination)
        return {};
    properties.set(kImageDestinationLossyCompressionQuality, 0.95);
    if (!destination->addImage(PlatformImage::fromQImage(image), properties) || !destination->finalize())
        return {};
    return destination->data();
}

Bytes jpegWithOrientation(const QImage& stored, int orientation)
{
    return encode(stored, "public.jpeg",
        Value::dictionary({{"{TIFF}", Value::dictionary({{"Orientation", orientation}, {"Make", "FixtureCam"}})}}));
}

std::unique_ptr<Exiv2::Image> openExiv2(const Bytes& bytes)
{
    ImagePropertyMapping::initialize();
    auto image = Exiv2::ImageFactory::open(bytes.data(), long(bytes.size()));
    image->readMetadata();
    return std::unique_ptr<Exiv2::Image>(image.release());
}

Bytes contentsOf(Exiv2::Image& image)
{
    Exiv2::BasicIo& io = image.io();
    io.open();
    io.seek(0, Exiv2::BasicIo::beg);
    Exiv2::DataBuf buffer = io.read(long(io.size()));
    io.close();
    return Bytes(buffer.pData_, buffer.pData_ + buffer.size_);
}

// A camera-like JPEG: orientation, maker notes, XMP and an ICC profile.
Bytes cameraJpeg(const QImage& upright, int orientation)
{
    Bytes bytes = jpegWithOrientation(upright, orientation);
    auto image = openExiv2(bytes);
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Model"] = "Fixture One";
    exif["Exif.Photo.DateTimeOriginal"] = "2024:05:17 10:21:33";
    Exiv2::DataValue makerNote(Exiv2::undefined);
    const Exiv2::byte note[] = {'F', 'I', 'X', 'N', 'O', 'T', 'E', 0, 1, 2, 3, 4, 5, 6, 7, 8};
    makerNote.read(note, sizeof note);
    exif.add(Exiv2::ExifKey("Exif.Photo.MakerNote"), &makerNote);
    image->xmpData()["Xmp.dc.title"] = "A fixture";
    image->xmpData()["Xmp.xmp.Rating"] = "4";
    const QByteArray icc = QColorSpace(QColorSpace::SRgb).iccProfile();
    Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(icc.constData()), long(icc.size()));
    image->setIccProfile(profile, false);
    image->writeMetadata();
    return contentsOf(*image);
}

// The bytes from the start-of-scan marker on: the compressed picture itself.
Bytes scanData(const Bytes& jpeg)
{
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xDA)
            return Bytes(jpeg.begin() + std::ptrdiff_t(at), jpeg.end());
        at += 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return {};
}

std::map<std::string, std::string> exifTags(const Bytes& bytes, bool withOrientation)
{
    std::map<std::string, std::string> tags;
    auto image = openExiv2(bytes);
    for (const Exiv2::Exifdatum& d : image->exifData())
        if (withOrientation || d.key() != "Exif.Image.Orientation")
            tags[d.key()] = d.toString();
    return tags;
}

std::map<std::string, std::string> xmpTags(const Bytes& bytes)
{
    std::map<std::string, std::string> tags;
    auto image = openExiv2(bytes);
    for (const Exiv2::Xmpdatum& d : image->xmpData())
        tags[d.key()] = d.toString();
    return tags;
}

Bytes iccOf(const Bytes& bytes)
{
    auto image = openExiv2(bytes);
    if (!image->iccProfileDefined())
        return {};
    const Exiv2::DataBuf* icc = image->iccProfile();
    return Bytes(icc->pData_, icc->pData_ + icc->size_);
}

std::uint32_t orientationOf(const Data& data)
{
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(data, true);
    return rep ? rep->imageOrientation() : 0;
}

// Draws the representation into a picture of its own size, as a view would.
QImage drawnAtOwnSize(RIReperesentation& rep)
{
    const QSize size = rep.size().toSize();
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    if (!rep.drawInRect(painter, QRectF(QPointF(0, 0), rep.size())))
        return {};
    return canvas;
}

class RIReperesentationCodecs : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RIReperesentation::imageUnfilteredTypes().empty())
            GTEST_SKIP() << "no codec plug-ins staged in this build";
    }
};

} // namespace

TEST_F(RIReperesentationCodecs, EightOrientationsDrawUpright)
{
    for (const QSize size : {QSize(96, 64), QSize(64, 96)}) {
        const QImage upright = uprightPattern(size.width(), size.height());
        for (int o = 1; o <= 8; ++o) {
            SCOPED_TRACE("orientation " + std::to_string(o) + ", " + std::to_string(size.width()) + "x"
                + std::to_string(size.height()));
            const Data jpeg = shared(jpegWithOrientation(storedFor(upright, std::uint32_t(o)), o));
            const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(jpeg, true);
            ASSERT_TRUE(rep);
            EXPECT_EQ(rep->imageOrientation(), std::uint32_t(o));
            EXPECT_EQ(rep->size(), QSizeF(size)); // upright before decoding
            EXPECT_EQ(uprightProblem(drawnAtOwnSize(*rep), 40), "");
            EXPECT_EQ(rep->size(), QSizeF(size)); // and after

            // Thumbnails, drawn and as the updater's scaled upright copy.
            const Ref<RIReperesentation> thumbnail = RIReperesentation::imageRepWithThumbnailForData(jpeg, 32, 2);
            ASSERT_TRUE(thumbnail);
            ASSERT_TRUE(thumbnail->cgImage());
            EXPECT_LE(std::max(thumbnail->pixelsWide(), thumbnail->pixelsHigh()), 32u);
            EXPECT_EQ(uprightProblem(drawnAtOwnSize(*thumbnail), 48), "");
            const Ref<RIReperesentation> cached = RIReperesentation::createWithCGImage(
                thumbnail->cgImage(), thumbnail->size(), thumbnail->pageMetadata(), true);
            ASSERT_TRUE(cached);
            EXPECT_EQ(uprightProblem(cached->cgImage()->toQImage(), 48), "");
        }
    }
}

TEST_F(RIReperesentationCodecs, RotatingAJpegRewritesOnlyItsOrientation)
{
    const Bytes original = cameraJpeg(uprightPattern(96, 64), 1);
    const Data data = shared(original);
    ASSERT_FALSE(scanData(original).empty());
    ASSERT_FALSE(iccOf(original).empty());
    ASSERT_EQ(exifTags(original, false).count("Exif.Photo.MakerNote"), 1u);

    const Data clockwise = RIReperesentation::rotateImageData(data, 1);
    ASSERT_TRUE(clockwise);
    EXPECT_EQ(orientationOf(clockwise), 6u);
    EXPECT_EQ(scanData(*clockwise), scanData(original)); // the compressed picture is untouched
    EXPECT_EQ(exifTags(*clockwise, false), exifTags(original, false));
    EXPECT_EQ(xmpTags(*clockwise), xmpTags(original));
    EXPECT_EQ(iccOf(*clockwise), iccOf(original));
    EXPECT_EQ(exifTags(*clockwise, true).at("Exif.Image.Orientation"), "6");

    EXPECT_EQ(orientationOf(RIReperesentation::rotateImageData(data, 2)), 8u);
    EXPECT_EQ(orientationOf(RIReperesentation::rotateImageData(data, 0)), 1u);

    Data turned = data;
    for (int i = 0; i < 4; ++i) {
        turned = RIReperesentation::rotateImageData(turned, 1);
        ASSERT_TRUE(turned);
    }
    EXPECT_EQ(orientationOf(turned), 1u);
    EXPECT_EQ(scanData(*turned), scanData(original));
    EXPECT_EQ(exifTags(*turned, true), exifTags(original, true));
}

// A camera JPEG (maker note blob, ICC profile) whose XMP packet, laid out by another tool than
// exiv2 and padded, also holds tiff:Orientation; its EXIF in the given byte order.
Bytes cameraJpegWithXmpOrientation(const QImage& upright, Exiv2::ByteOrder order)
{
    const std::string packet = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                               "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"FixtureCam XMP 1.0\">\n"
                               " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                               "  <rdf:Description rdf:about=\"\"\n"
                               "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
                               "    xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"\n"
                               "   xmp:Rating=\"4\"\n"
                               "   tiff:Orientation=\"1\"/>\n"
                               " </rdf:RDF>\n"
                               "</x:xmpmeta>\n"
        + std::string(400, ' ') + "\n<?xpacket end=\"w\"?>";
    // exiv2 keeps the byte order of EXIF it finds: the block is dropped and written anew.
    const Bytes camera = cameraJpeg(upright, 1); // exiv2 reads the bytes in place: kept alive
    auto image = openExiv2(camera);
    const Exiv2::ExifData exif = image->exifData();
    image->clearExifData();
    image->setXmpPacket(packet);
    image->writeXmpFromPacket(true);
    image->writeMetadata();
    const Bytes withoutExif = contentsOf(*image);
    auto again = openExiv2(withoutExif);
    again->setByteOrder(order);
    again->setExifData(exif);
    again->writeXmpFromPacket(true);
    again->writeMetadata();
    return contentsOf(*again);
}

// The offsets at which two files differ, as `cmp -l` lists them; every offset when the lengths
// differ.
std::vector<std::size_t> differingBytes(const Bytes& a, const Bytes& b)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i])
            at.push_back(i);
    return at;
}

// A turn changes the orientation value of IFD0 and the XMP digit, nothing else: the maker note
// and every offset stay put, and four turns give the original file back.
TEST_F(RIReperesentationCodecs, RotationChangesOnlyTheOrientationBytes)
{
    for (const Exiv2::ByteOrder order : {Exiv2::littleEndian, Exiv2::bigEndian}) {
        const Bytes original = cameraJpegWithXmpOrientation(uprightPattern(48, 32), order);
        const std::string tiffHeader = order == Exiv2::littleEndian ? std::string("Exif\0\0II", 8)
                                                                    : std::string("Exif\0\0MM", 8);
        ASSERT_NE(std::search(original.begin(), original.end(), tiffHeader.begin(), tiffHeader.end()), original.end());
        ASSERT_EQ(xmpTags(original).at("Xmp.tiff.Orientation"), "1");
        ASSERT_EQ(exifTags(original, false).count("Exif.Photo.MakerNote"), 1u);
        const Data data = shared(original);
        for (const int rotation : {1, 2}) {
            const std::uint32_t expected = rotation == 1 ? 6 : 8;
            const Data turned = RIReperesentation::rotateImageData(data, rotation);
            ASSERT_TRUE(turned);
            const std::vector<std::size_t> changed = differingBytes(original, *turned);
            ASSERT_EQ(changed.size(), 2u) << "byte order " << int(order) << ", rotation " << rotation;
            EXPECT_EQ((*turned)[changed[0]], expected); // the SHORT's low byte in the EXIF block
            EXPECT_EQ((*turned)[changed[1]], '0' + expected); // the XMP digit
            EXPECT_EQ(orientationOf(turned), expected);
            EXPECT_EQ(xmpTags(*turned).at("Xmp.tiff.Orientation"), std::to_string(expected));
            EXPECT_EQ(exifTags(*turned, false), exifTags(original, false));

            Data back = data;
            for (int i = 0; i < 4; ++i)
                back = RIReperesentation::rotateImageData(back, rotation);
            ASSERT_TRUE(back);
            EXPECT_EQ(*back, original);
        }
    }
}

// A camera that stores its EXIF thumbnail uncompressed: the embedded thumbnail is that one, and
// it is shown upright like the picture.
TEST_F(RIReperesentationCodecs, UncompressedExifThumbnailIsShownUpright)
{
    const QImage upright = uprightPattern(24, 16);
    const QImage stored = storedFor(upright, 6).convertToFormat(QImage::Format_RGB888);
    Bytes pixels;
    for (int y = 0; y < stored.height(); ++y)
        pixels.insert(pixels.end(), stored.constScanLine(y), stored.constScanLine(y) + stored.width() * 3);
    QImage grey(80, 120, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    const Bytes exif = tiffBytes(true, {{{0x0112, 3, {6}}},
        thumbnailStripFields(std::uint32_t(stored.width()), std::uint32_t(stored.height()), 3, 2,
            std::uint32_t(stored.height()), {std::uint32_t(pixels.size())})},
        {pixels});
    const Data data = shared(withApp1(encode(grey, "public.jpeg"), kExifHeader, exif));

    const Ref<RIReperesentation> thumbnail = RIReperesentation::imageRepWithThumbnailForData(data, 160, 1);
    ASSERT_TRUE(thumbnail && thumbnail->cgImage());
    const QImage drawn = drawnAtOwnSize(*thumbnail);
    EXPECT_EQ(drawn.size(), upright.size()); // the thumbnail's size, not the picture's
    EXPECT_EQ(uprightProblem(drawn, 8), "");
}

// Formats whose orientation tag is rewritten in place are never encoded again: the rotated
// bytes decode to exactly the same pixels.
TEST_F(RIReperesentationCodecs, LosslessFormatsKeepTheirPixels)
{
    for (const char* type : {"public.jpeg", "org.webmproject.webp"}) {
        const Data data = shared(encode(uprightPattern(40, 24), type));
        ASSERT_FALSE(data->empty()) << type;
        const Data rotated = RIReperesentation::rotateImageData(data, 1);
        ASSERT_TRUE(rotated) << type;
        Bytes rewritten = *data;
        ASSERT_TRUE(RIReperesentation::rewriteOrientationTag(rewritten, 6)) << type;
        EXPECT_EQ(*rotated, rewritten) << type; // the in-place rewrite, not a new encoding
        const Ref<RIReperesentation> before = RIReperesentation::imageRepWithData(data);
        const Ref<RIReperesentation> after = RIReperesentation::imageRepWithData(rotated);
        ASSERT_TRUE(before && after) << type;
        EXPECT_EQ(after->type(), type);
        EXPECT_EQ(after->imageOrientation(), 6u) << type;
        const Ref<PlatformImage> a = before->cgImage();
        const Ref<PlatformImage> b = after->cgImage();
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->byteSize(), b->byteSize());
        EXPECT_EQ(std::memcmp(a->bytes(), b->bytes(), a->byteSize()), 0) << type;
    }
}

TEST_F(RIReperesentationCodecs, StoredOrientationOutsideTheRangeCountsAsUpright)
{
    Bytes bytes = jpegWithOrientation(uprightPattern(32, 16), 1);
    auto image = openExiv2(bytes);
    image->exifData()["Exif.Image.Orientation"] = std::uint16_t(0);
    image->writeMetadata();
    const Data zero = shared(contentsOf(*image));
    EXPECT_EQ(orientationOf(zero), 1u);
    EXPECT_EQ(orientationOf(RIReperesentation::rotateImageData(zero, 1)), 6u);
}

TEST_F(RIReperesentationCodecs, RefusedFormats)
{
    const QImage picture = uprightPattern(32, 16);
    const struct {
        const char* type;
    } cases[] = {{"public.png"}, {"public.tiff"}, {"com.compuserve.gif"}, {"com.microsoft.bmp"}};
    for (const auto& c : cases) {
        const Bytes bytes = encode(picture, c.type);
        ASSERT_FALSE(bytes.empty()) << c.type;
        const Data data = shared(bytes);
        const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(data);
        ASSERT_TRUE(rep) << c.type;
        EXPECT_EQ(rep->type(), c.type);
        EXPECT_FALSE(RIReperesentation::rotateImageData(data, 1)) << c.type;
    }
    // Refused by the type asked for, whatever the bytes are.
    const Data jpeg = shared(jpegWithOrientation(picture, 1));
    EXPECT_FALSE(RIReperesentation::rotateImageData(jpeg, 1, "com.microsoft.ico"));
    EXPECT_FALSE(RIReperesentation::rotateImageData(shared(Bytes {1, 2, 3, 4}), 1));
    EXPECT_FALSE(RIReperesentation::rotateImageData(nullptr, 1));
}

// No lossless way from PNG bytes to a JPEG: the picture is encoded again, at full quality,
// with its metadata and the new orientation.
TEST_F(RIReperesentationCodecs, ReencodingKeepsMetadata)
{
    const QImage upright = uprightPattern(64, 48);
    const Data png = shared(encode(upright, "public.png",
        Value::dictionary({{"{TIFF}", Value::dictionary({{"Make", "FixtureCam"}, {"Model", "Fixture One"}})}})));
    const Data jpeg = RIReperesentation::rotateImageData(png, 1, "public.jpeg");
    ASSERT_TRUE(jpeg);
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(jpeg);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->type(), "public.jpeg");
    EXPECT_EQ(rep->imageOrientation(), 6u);
    EXPECT_EQ(rep->size(), QSizeF(48, 64));
    const std::map<std::string, std::string> tags = exifTags(*jpeg, true);
    EXPECT_EQ(tags.at("Exif.Image.Make"), "FixtureCam");
    EXPECT_EQ(tags.at("Exif.Image.Model"), "Fixture One");
    // Shown turned clockwise: turning the view back gives the upright pattern.
    EXPECT_EQ(uprightProblem(turnedAnticlockwise(drawnAtOwnSize(*rep)), 24), "");
}
