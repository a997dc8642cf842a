#pragma once
// WebP through libwebp: lossy and lossless, alpha, the first frame of an animation, ICC and
// EXIF chunks; reduced decodes let libwebp scale while it decodes.

#include "ImageCodec.h"

namespace vistel::codec {

class WebPCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
