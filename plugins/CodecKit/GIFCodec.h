#pragma once
// GIF through giflib: the first frame, placed on the logical screen, with its transparency.

#include "ImageCodec.h"

namespace vistel::codec {

class GIFCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
