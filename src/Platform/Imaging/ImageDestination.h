#pragma once
// ImageDestination: encodes one picture into bytes or a file in a chosen format.
//
// Made for a type identifier ("public.jpeg", "public.png", "public.tiff", "org.webmproject.webp",
// "com.compuserve.gif", "com.microsoft.bmp", "public.jpeg-2000"); a picture is added with a property dictionary
// that carries both the encoder options and the metadata to write:
//   kImageDestinationLossyCompressionQuality  number 0..1 (JPEG, WebP, JPEG 2000; 1 gives lossless
//                                             WebP and JPEG 2000)
//   kImageDestinationBackgroundColor          [r, g, b, a] 0..1: what alpha is composited over
//                                             when the format has no alpha (JPEG; default white)
//   "DPIWidth", "DPIHeight"                   resolution (JPEG density, PNG pHYs in pixels per
//                                             metre, TIFF and BMP resolution)
//   "{TIFF}" "Compression"                    TIFF: 1 none, 5 LZW, 32773 PackBits
//   "{TIFF}", "{Exif}", "{ExifAux}", "{GPS}", "{IPTC}", "Orientation"
//                                             metadata, written through exiv2 for JPEG, TIFF,
//                                             PNG and WebP (GIF and BMP cannot carry it)
// Properties given to setProperties() apply under those given with the picture.
//
// One destination encodes one picture. An object is used by one thread at a time; different
// destinations may encode on different threads at once.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class ImageDestination : public Object {
public:
    // Null when the type cannot be written.
    static Ref<ImageDestination> createWithData(std::string_view typeIdentifier);
    // finalize() writes the file at `path` once encoding succeeded, with writeFileAtomically:
    // an existing picture is replaced only by a complete new one and keeps its mode and group.
    static Ref<ImageDestination> createWithPath(std::string path, std::string_view typeIdentifier);
    // The types that can be written.
    static const std::vector<std::string>& typeIdentifiers();

    const std::string& type() const noexcept { return type_; }
    void setProperties(const Value& properties);
    // False when a picture was already added or `image` is null.
    bool addImage(Ref<PlatformImage> image, const Value& properties = {});
    // Encodes; false when nothing was added, the encoder failed or the file could not be
    // written. The metadata is best effort: a picture whose metadata exiv2 refuses is still
    // written, without it, and the failure is logged.
    bool finalize();
    const std::vector<std::uint8_t>& data() const noexcept { return data_; }
    // A short reason after a failed finalize().
    const std::string& errorText() const noexcept { return error_; }

private:
    ImageDestination() = default;
    std::string type_;
    std::string path_;
    Value properties_;
    Value imageProperties_;
    Ref<PlatformImage> image_;
    std::vector<std::uint8_t> data_;
    std::string error_;
    bool finalized_ = false;
};

} // namespace vistel
