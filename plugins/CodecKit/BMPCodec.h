#pragma once
// Windows and OS/2 bitmaps: 1, 4, 8-bit palette (plain, RLE8, RLE4), 16, 24 and 32-bit with
// bit-field masks and alpha, bottom-up and top-down.

#include "ImageCodec.h"

namespace vistel::codec {

class BMPCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
