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

// Why the coded pictures of a HEIF file may not be decoded, or "" when they may: every HEVC
// ("hvcC") and AV1 ("av1C") configuration among the item properties is read, and a coded
// size beyond the pixel limit, or well beyond the largest size the file declares (its "ispe"
// properties and the primary picture), refuses the file before libheif decodes anything.
std::string heifCodedSizeFailure(const std::uint8_t* bytes, std::size_t size, std::uint32_t primaryWidth,
    std::uint32_t primaryHeight);

} // namespace vistel::codec
