#include "Platform/Imaging/ImageDestination.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

// Writes beside the target and renames over it, so a failed write (a full disk) never leaves a
// truncated picture in place of the one that was there.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += std::size_t(n);
    }
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written != bytes.size() || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(written != bytes.size() ? writeErrno : errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
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

    if (!path_.empty() && !writeFile(path_, encoded, error_))
        return false;
    data_ = std::move(encoded);
    error_.clear();
    return true;
}

} // namespace vistel
