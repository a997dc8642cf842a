#pragma once
// HEIF (HEIC) and AVIF through libheif: the primary picture with its alpha, 8-bit or deeper
// samples, ICC profile and EXIF block, and its stored thumbnail for thumbnails. libheif applies
// the file's rotation and mirroring itself, so the reported orientation is always upright.
// Built only where libheif is installed (VISTEL_HAVE_HEIF).

#include "ImageCodec.h"

namespace vistel::codec {

class HEIFCodec final : public ImageCodec {
public:
    const std::vector<CodecFormat>& formats() const override;
    std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const override;
};

} // namespace vistel::codec
