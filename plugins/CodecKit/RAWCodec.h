#pragma once
// Camera RAW through libraw: the camera's embedded preview for thumbnails, a half-size
// demosaiced decode otherwise.

#include "ImageCodec.h"

namespace vistel::codec {

class RAWCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
