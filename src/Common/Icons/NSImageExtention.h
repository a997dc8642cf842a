#pragma once
// Small image utilities: the pixel memory an image holds (NSImageExtention) and an image made
// from a decoded picture (NSImageCGImageRef). Safe on any thread.

#include <cstdint>

#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"

namespace vistel {

namespace NSImageExtention {

// The sum over the image's representations of pixels wide × pixels high × 4 × bits per sample
// ÷ 8, each representation's share truncated to whole bytes. Counted in 64-bit integers, so
// large pictures are counted exactly.
std::uint64_t imageMemoryUsageInBytes(const MultiImage& image);

} // namespace NSImageExtention

namespace NSImageCGImageRef {

// An image of the picture's pixel size holding one bitmap into which the picture was drawn
// once (premultiplied ARGB, sRGB). Null for a null picture.
Ref<MultiImage> initWithCGImage(const Ref<PlatformImage>& picture);

} // namespace NSImageCGImageRef
} // namespace vistel
