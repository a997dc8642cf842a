#include "Platform/Imaging/ImageDestination.h"

#include <algorithm>

#include "Platform/AtomicFileWriter.h"
#include "Platform/Imaging/ImageEncoders.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

using Encoder = bool (*)(const Bitmap8&, const encoders::Settings&, encoders::Bytes&, std::string&);

struct Format {
    const char* type;
    Encoder encode;
    bool carriesMetadata;  // exiv2 can write metadata into it
    bool carriesAlpha;
    bool carriesProfile;
};

constexpr Format kFormats[] = {
    {"public.jpeg", encoders::encodeJPEG, true, false, true},
    {"public.png", encoders::encodePNG, true, true, true},
    {"public.tiff", encoders::encodeTIFF, true, true, true},
    {"org.webmproject.webp", encoders::encodeWebP, true, true, false},
    {"com.compuserve.gif", encoders::encodeGIF, false, true, false},
    {"com.microsoft.bmp", encoders::encodeBMP, false, true, false},
    {"public.jpeg-2000", encoders::encodeJPEG2000, false, true, false},
};

const Format* formatFor(std::string_view type)
{
    for (const auto& format : kFormats)
        if (type == format.type)
            return &format;
    return nullptr;
}

// Per-picture properties over the destination's: top-level keys replace, and sub-dictionaries
// merge key by key.
Value merged(const Value& base, const Value& over)
{
    Value result = base.isDictionary() ? base : Value::dictionary();
    for (const auto& [key, value] : over.asDictionary()) {
        const Value& existing = result.get(key);
        if (value.isDictionary() && existing.isDictionary()) {
            Value group = existing;
            for (const auto& [innerKey, innerValue] : value.asDictionary())
                group.set(innerKey, innerValue);
            result.set(key, std::move(group));
        } else {
            result.set(key, value);
        }
    }
    return result;
}

} // namespace

const std::vector<std::string>& ImageDestination::typeIdentifiers()
{
    static const std::vector<std::string> types = [] {
        std::vector<std::string> list;
        for (const auto& format : kFormats)
            list.emplace_back(format.type);
        return list;
    }();
    return types;
}

Ref<ImageDestination> ImageDestination::createWithData(std::string_view typeIdentifier)
{
    if (!formatFor(typeIdentifier))
        return nullptr;
    Ref<ImageDestination> destination = Ref<ImageDestination>::adopt(new ImageDestination());
    destination->type_ = std::string(typeIdentifier);
    return destination;
}

Ref<ImageDestination> ImageDestination::createWithPath(std::string path, std::string_view typeIdentifier)
{
    Ref<ImageDestination> destination = createWithData(typeIdentifier);
    if (destination)
        destination->path_ = std::move(path);
    return destination;
}

void ImageDestination::setProperties(const Value& properties)
{
    properties_ = merged(properties_, properties);
}

bool ImageDestination::addImage(Ref<PlatformImage> image, const Value& properties)
{
    if (!image || image_ || finalized_)
        return false;
    image_ = std::move(image);
    imageProperties_ = properties;
    return true;
}

bool ImageDestination::finalize()
{
    if (finalized_)
        return error_.empty();
    finalized_ = true;
    if (!image_) {
        error_ = "no image added";
        return false;
    }
    const Format* format = formatFor(type_);
    const Value properties = merged(properties_, imageProperties_);

    encoders::Settings settings;
    settings.quality = properties.get(kImageDestinationLossyCompressionQuality).toDouble(settings.quality);
    const Value& background = properties.get(kImageDestinationBackgroundColor);
    if (background.isArray() && background.size() >= 3) {
        // The colour is composited as an opaque one; its own alpha only scales it toward white.
        const double alpha = background.size() >= 4 ? std::clamp(background.at(3).toDouble(1), 0.0, 1.0) : 1.0;
        for (std::size_t c = 0; c < 3; ++c)
            settings.background[c] = background.at(c).toDouble(1) * alpha + (1 - alpha);
    }
    settings.dpiX = properties.get(kImagePropertyDPIWidth).toDouble(0);
    settings.dpiY = properties.get(kImagePropertyDPIHeight).toDouble(0);
    if (settings.dpiX > 0 && settings.dpiY <= 0)
        settings.dpiY = settings.dpiX;
    if (settings.dpiY > 0 && settings.dpiX <= 0)
        settings.dpiX = settings.dpiY;
    settings.tiffCompression =
        int(properties.get(kImagePropertyTIFFDictionary).get(kImagePropertyTIFFCompression).toInt64(1));

    Bitmap8 bitmap = image_->bitmap8(format->carriesProfile);
    if (bitmap.pixels.empty()) {
        error_ = "cannot convert the picture's pixels";
        return false;
    }
    if (!format->carriesProfile)
        bitmap.iccProfile.clear();

    std::vector<std::uint8_t> encoded;
    if (!format->encode(bitmap, settings, encoded, error_)) {
        ZovLog("ImageDestination::finalize " + type_ + ": " + error_);
        return false;
    }
    if (format->carriesMetadata && ImagePropertyMapping::hasWritableMetadata(properties)
        && !ImagePropertyMapping::writeImageProperties(encoded, properties))
        ZovLog("ImageDestination::finalize can't write metadata into " + type_);

    if (!path_.empty()) {
        // A replaced picture keeps its mode, owner and group.
        if (const AtomicWriteResult written = writeFileAtomically(path_, encoded); !written) {
            error_ = written.cause;
            return false;
        }
    }
    data_ = std::move(encoded);
    error_.clear();
    return true;
}

} // namespace vistel
