#pragma once
// JPEG through libjpeg-turbo: baseline and progressive, grey, RGB, CMYK and YCCK, ICC profiles,
// reduced decodes scaled in the DCT domain (1/8 to 1/1) and the EXIF thumbnail (JPEG or
// uncompressed strips).

#include <cstddef>
#include <cstdint>
#include <optional>

#include "ImageCodec.h"

namespace vistel::codec {

class JPEGCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

// Decodes a JPEG stream held in memory. With `maxPixelSize` the decoder scales in the DCT
// domain to the smallest scale that still covers that size and then fits the result within
// it; 0 decodes every pixel. A stream that breaks off after its first rows gives those rows
// (the rest grey) with `partial` set.
DecodeResult decodeJPEGStream(const std::uint8_t* bytes, std::size_t size, std::uint32_t maxPixelSize,
    const std::function<bool()>& cancelled = {});

struct JPEGHeader {
    std::uint32_t width = 0, height = 0;
    int components = 0;
    bool progressive = false;
    bool adobe = false;
    int densityUnit = 0; // JFIF: 0 aspect only, 1 per inch, 2 per cm
    std::uint32_t xDensity = 0, yDensity = 0;
    int jfifMajor = 0, jfifMinor = 0;
    bool hasJFIF = false;
    std::vector<std::uint8_t> icc;
};
// nullopt with `failure` (when given) saying why when the header cannot be read or is refused.
std::optional<JPEGHeader> readJPEGHeader(const std::uint8_t* bytes, std::size_t size, std::string* failure = nullptr);

struct ByteRange {
    std::size_t offset = 0, length = 0;
};

// The thumbnail in the EXIF block's IFD1 of a JPEG file, checked to lie inside the block:
// either a JPEG stream (`jpeg`, found by its bytes whatever the compression tag claims, so
// that one labelled uncompressed is read too), or uncompressed 8-bit RGB or grey strips
// (`strips`, in row order). Offsets are inside `bytes`; nullopt when there is none or its
// layout is not one of these (YCbCr or planar strips, other depths).
struct ExifThumbnail {
    std::optional<ByteRange> jpeg;
    std::vector<ByteRange> strips;
    std::uint32_t width = 0, height = 0;
    std::uint16_t samples = 0; // of the strips: 3 RGB, 1 grey
    bool whiteIsZero = false;  // grey strips stored inverted
};
std::optional<ExifThumbnail> findExifThumbnail(const std::uint8_t* bytes, std::size_t size);

// The thumbnail's pixels, fitted within `maxPixelSize` like decodeJPEGStream.
DecodeResult decodeExifThumbnail(const std::uint8_t* bytes, std::size_t size, const ExifThumbnail& thumbnail,
    std::uint32_t maxPixelSize, const std::function<bool()>& cancelled = {});

} // namespace vistel::codec
