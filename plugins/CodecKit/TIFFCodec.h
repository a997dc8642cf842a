#pragma once
// TIFF through libtiff: strips and tiles, 8 and 16-bit grey, RGB and CMYK with or without alpha
// read directly; every other layout libtiff understands (palette, bilevel, YCbCr, planar...)
// through its RGBA reader. Each directory of the main chain is a page. Camera RAW files built
// on TIFF are left to the RAW codec.

#include "ImageCodec.h"

namespace vistel::codec {

class TIFFCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
