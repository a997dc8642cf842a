// RIReperesentation: EXIF orientation, drawing transforms and rotation of encoded pictures.

#include <array>

#include <QImage>
#include <QPainter>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // exiv2 0.27 still uses std::auto_ptr
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "Imaging/OrientationTagPatch.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// Quarter turns under the EXIF definitions. Clockwise, the upright family cycles
// 1 -> 6 -> 3 -> 8 -> 1 and the mirrored one 2 -> 7 -> 4 -> 5 -> 2; anticlockwise is the
// inverse. Index 0 is unused.
constexpr std::array<std::uint32_t, 9> kClockwise {0, 6, 7, 8, 5, 2, 3, 4, 1};
constexpr std::array<std::uint32_t, 9> kAnticlockwise {0, 8, 5, 6, 7, 4, 1, 2, 3};

constexpr const char* kFailedText = "CGImageDestinationFinalize failed in [RIRepresentation rotateImageData].";

bool isRefusedType(std::string_view type, const std::string& colorSpaceName)
{
    static constexpr std::string_view refused[] = {
        "public.tiff", "com.compuserve.gif", "com.kodak.flashpix-image", "public.xbitmap-image", "com.microsoft.ico"};
    for (std::string_view r : refused)
        if (type == r)
            return true;
    if (type == "com.microsoft.bmp" || type == "public.png")
        return colorSpaceName.starts_with("NSCalibrated");
    return false;
}

std::unique_ptr<Exiv2::Image> openExiv2(const Value::Bytes& bytes)
{
    if (bytes.empty())
        return nullptr;
    auto image = Exiv2::ImageFactory::open(bytes.data(), long(bytes.size()));
    return std::unique_ptr<Exiv2::Image>(image.release());
}

bool readBack(Exiv2::Image& image, Value::Bytes& out)
{
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0)
        return false;
    io.seek(0, Exiv2::BasicIo::beg);
    const long size = long(io.size());
    Exiv2::DataBuf buffer = io.read(size);
    io.close();
    if (buffer.size_ != size || size <= 0)
        return false;
    out.assign(buffer.pData_, buffer.pData_ + size);
    return true;
}

// Sets the orientation in EXIF, and in XMP only where the picture already says it there.
void setOrientation(Exiv2::Image& image, std::uint32_t orientation)
{
    image.exifData()["Exif.Image.Orientation"] = std::uint16_t(orientation);
    Exiv2::XmpData& xmp = image.xmpData();
    const Exiv2::XmpKey key("Xmp.tiff.Orientation");
    if (xmp.findKey(key) != xmp.end()) {
        xmp["Xmp.tiff.Orientation"] = std::to_string(orientation);
        image.writeXmpFromPacket(false);
    } else {
        // Keep the XMP packet byte for byte.
        image.writeXmpFromPacket(true);
    }
}

// Copies every metadata block of `source` (EXIF with maker notes, IPTC, XMP, comment, ICC
// profile) into the freshly encoded `encoded`, with the new orientation. False when exiv2
// cannot write the encoded format; `encoded` is then unchanged.
bool copyAllMetadata(const Value::Bytes& source, Value::Bytes& encoded, std::uint32_t orientation)
{
    try {
        std::unique_ptr<Exiv2::Image> from = openExiv2(source);
        std::unique_ptr<Exiv2::Image> to = openExiv2(encoded);
        if (!from || !to)
            return false;
        from->readMetadata();
        to->readMetadata();
        const bool hadProfile = to->iccProfileDefined();
        to->setMetadata(*from);
        if (!hadProfile && from->iccProfileDefined())
            to->setIccProfile(*from->iccProfile(), false);
        to->exifData()["Exif.Image.Orientation"] = std::uint16_t(orientation);
        to->writeMetadata();
        Value::Bytes out;
        if (!readBack(*to, out))
            return false;
        encoded = std::move(out);
        return true;
    } catch (const std::exception& error) {
        ZovLog(std::string("RIReperesentation::rotateImageData metadata not copied: ") + error.what());
        return false;
    }
}

} // namespace

std::uint32_t RIReperesentation::imageOrientationFromMetadata(const Value& metadata)
{
    const Value& tiff = metadata.get(kImagePropertyTIFFDictionary);
    if (!tiff.isDictionary())
        return 1;
    const Value& value = tiff.get(kImagePropertyTIFFOrientation);
    if (!value.isNumber())
        return 1;
    const std::int64_t orientation = value.toInt64();
    return orientation >= 1 && orientation <= 8 ? std::uint32_t(orientation) : 1;
}

std::uint32_t RIReperesentation::rotateOrientation(std::uint32_t orientation, int rotation)
{
    if (orientation < 1 || orientation > 8)
        return orientation;
    if (rotation == 1)
        return kClockwise[orientation];
    if (rotation == 2)
        return kAnticlockwise[orientation];
    return orientation;
}

QSizeF RIReperesentation::convertSizeWithOrientation(std::uint32_t orientation, QSizeF sourceSize)
{
    return orientation > 4 ? sourceSize.transposed() : sourceSize;
}

QTransform RIReperesentation::contextTransformForOrientation(std::uint32_t orientation)
{
    // The y-up table (rotate pi/2 = a quarter turn anticlockwise on screen) in a y-down
    // coordinate system: the same steps in the same order, every angle negated. QTransform's
    // scale() and rotate() compose like QPainter's: the later step applies to points first.
    QTransform t;
    switch (orientation) {
    case 2:
        t.scale(-1, 1);
        break;
    case 3:
        t.rotate(-180);
        break;
    case 4:
        t.scale(1, -1);
        break;
    case 5:
        t.scale(1, -1);
        t.rotate(-90);
        break;
    case 6:
        t.rotate(-270);
        break;
    case 7:
        t.scale(-1, 1);
        t.rotate(-90);
        break;
    case 8:
        t.rotate(-90);
        break;
    default:
        break;
    }
    return t;
}

QImage RIReperesentation::uprightImage(const QImage& stored, std::uint32_t orientation)
{
    // Whole-pixel mirrors and quarter turns (QImage's exact paths, never a resampling).
    const QTransform clockwise = QTransform().rotate(90);
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5: // transposed
        return stored.transformed(clockwise).mirrored(true, false);
    case 6:
        return stored.transformed(clockwise);
    case 7: // transverse
        return stored.transformed(clockwise).mirrored(false, true);
    case 8:
        return stored.transformed(QTransform().rotate(-90));
    default:
        return stored;
    }
}

void RIReperesentation::applyContectTransformForOrientation(std::uint32_t orientation, QPainter& painter)
{
    painter.setWorldTransform(contextTransformForOrientation(orientation), true);
}

bool RIReperesentation::rewriteOrientationTag(Value::Bytes& encoded, std::uint32_t orientation)
{
    if (patchOrientationInPlace(encoded, orientation))
        return true;
    // No entry to patch: exiv2 adds one (and rewrites what it serialises).
    ImagePropertyMapping::initialize();
    try {
        std::unique_ptr<Exiv2::Image> image = openExiv2(encoded);
        if (!image || !image->good())
            return false;
        if (Exiv2::ImageFactory::checkMode(image->imageType(), Exiv2::mdExif) != Exiv2::amReadWrite)
            return false;
        image->readMetadata();
        setOrientation(*image, orientation);
        image->writeMetadata();
        Value::Bytes out;
        if (!readBack(*image, out))
            return false;
        encoded = std::move(out);
        return true;
    } catch (const std::exception& error) {
        ZovLog(std::string("RIReperesentation::rotateImageData orientation tag not rewritten: ") + error.what());
        return false;
    }
}

RIReperesentation::Data RIReperesentation::rotateImageData(const Data& data, int rotation, std::string_view formatType)
{
    const Ref<RIReperesentation> rep = imageRepWithData(data, false);
    if (!rep)
        return nullptr;
    const std::string ownType = rep->type();
    const std::string type = formatType.empty() ? ownType : std::string(formatType);
    if (isRefusedType(type, rep->colorSpaceName()))
        return nullptr;

    // The representation's orientation is always 1-8 (anything else was read as 1).
    const std::uint32_t orientation = rotateOrientation(rep->imageOrientation(), rotation);
    rep->setImageOrientation(orientation);

    // Lossless: the same format, only the orientation tag changes.
    if (type == ownType) {
        auto rewritten = std::make_shared<Value::Bytes>(*data);
        if (rewriteOrientationTag(*rewritten, orientation))
            return rewritten;
    }

    // No lossless way: encode again, at full quality, with all the metadata.
    const Ref<PlatformImage> image = rep->cgImage();
    const Ref<ImageDestination> destination = ImageDestination::createWithData(type);
    if (!image || !destination) {
        ZovLog(kFailedText);
        return nullptr;
    }
    Value properties = rep->pageMetadata();
    properties.set(kImageDestinationLossyCompressionQuality, 1.0);
    if (!destination->addImage(image, properties) || !destination->finalize()) {
        ZovLog(kFailedText);
        return nullptr;
    }
    auto encoded = std::make_shared<Value::Bytes>(destination->data());
    copyAllMetadata(*data, *encoded, orientation);
    return encoded;
}

} // namespace vistel
