#pragma once
// PNG through libpng: 1 to 16-bit grey, RGB, palette, alpha and tRNS transparency, interlaced
// pictures, ICC profiles, resolution and the metadata exiv2 finds (eXIf, XMP text).

#include "ImageCodec.h"

namespace vistel::codec {

class PNGCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
