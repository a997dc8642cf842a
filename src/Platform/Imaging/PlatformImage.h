#pragma once
// PlatformImage: a decoded picture as the rest of the program sees it.
//
// Width, height, bits per component and per pixel, bytes per row (64-bit sizes), the bitmap
// info (alpha info in the low five bits, byte order in bits 12-14) and a colour space describe
// the pixels, which the image owns through a shared, immutable buffer. Nothing changes after
// creation, so an image may be read from any thread and handed between threads freely.
//
// Supported layouts: 8 or 16 bits per component; grey, RGB, CMYK or Lab colour; optionally one
// alpha or padding component first or last; 16-bit components big-endian by default or
// little-endian (ByteOrder16Little); 8-bit four-component pixels in memory order or reversed
// (ByteOrder32Little, as QImage's ARGB32 lies in memory).
//
// toQImage() gives an sRGB picture to draw: without copying when the layout is one QImage has
// and no colour conversion is needed, otherwise converted through lcms2. fromQImage() wraps a
// QImage without copying. QImage is safe off the main thread; QPixmap is never used here.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <QImage>

#include "Platform/Imaging/PlatformColorSpace.h"
#include "Platform/Object.h"

namespace vistel {

enum ImageAlphaInfo : std::uint32_t {
    kImageAlphaNone = 0,
    kImageAlphaPremultipliedLast = 1,
    kImageAlphaPremultipliedFirst = 2,
    kImageAlphaLast = 3,
    kImageAlphaFirst = 4,
    kImageAlphaNoneSkipLast = 5,
    kImageAlphaNoneSkipFirst = 6,
    kImageAlphaOnly = 7,
};

// Bitmap info: the alpha info above, or'ed with these.
inline constexpr std::uint32_t kImageBitmapAlphaInfoMask = 0x1F;
inline constexpr std::uint32_t kImageBitmapFloatComponents = 1u << 8;
inline constexpr std::uint32_t kImageBitmapByteOrderMask = 0x7000;
inline constexpr std::uint32_t kImageBitmapByteOrderDefault = 0;
inline constexpr std::uint32_t kImageBitmapByteOrder16Little = 1u << 12;
inline constexpr std::uint32_t kImageBitmapByteOrder32Little = 2u << 12;
inline constexpr std::uint32_t kImageBitmapByteOrder16Big = 3u << 12;
inline constexpr std::uint32_t kImageBitmapByteOrder32Big = 4u << 12;

// Eight-bit, unpremultiplied, tightly packed pixels: what the encoders write.
struct Bitmap8 {
    std::size_t width = 0;
    std::size_t height = 0;
    int channels = 0; // 1 grey, 3 RGB, 4 RGBA
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> iccProfile; // empty: sRGB (or untagged grey)
};

class PlatformImage : public Object {
public:
    // Copies nothing: `pixels` becomes the image's buffer. Null when the description is
    // inconsistent (unsupported depth, row too short, buffer too small, sizes overflow).
    static Ref<PlatformImage> create(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
        std::size_t bitsPerPixel, std::size_t bytesPerRow, std::uint32_t bitmapInfo,
        Ref<PlatformColorSpace> colorSpace, std::vector<std::uint8_t> pixels);
    // Wraps memory owned elsewhere: `owner` is kept alive as long as the image (and any QImage
    // made from it) lives, and the bytes must not change meanwhile.
    static Ref<PlatformImage> createWithBuffer(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
        std::size_t bitsPerPixel, std::size_t bytesPerRow, std::uint32_t bitmapInfo,
        Ref<PlatformColorSpace> colorSpace, std::shared_ptr<const void> owner, const std::uint8_t* bytes,
        std::size_t size);
    // Wraps the QImage's pixels without copying where the format maps to a layout above
    // (otherwise a converted copy). Null for a null QImage. The colour space is the QImage's
    // ICC profile when it has one, else device grey or RGB.
    static Ref<PlatformImage> fromQImage(const QImage& image);

    std::size_t width() const noexcept { return width_; }
    std::size_t height() const noexcept { return height_; }
    std::size_t bitsPerComponent() const noexcept { return bitsPerComponent_; }
    std::size_t bitsPerPixel() const noexcept { return bitsPerPixel_; }
    std::size_t bytesPerRow() const noexcept { return bytesPerRow_; }
    std::uint32_t bitmapInfo() const noexcept { return bitmapInfo_; }
    ImageAlphaInfo alphaInfo() const noexcept { return ImageAlphaInfo(bitmapInfo_ & kImageBitmapAlphaInfoMask); }
    // Alpha that carries information (not none and not padding).
    bool hasAlpha() const noexcept;
    const Ref<PlatformColorSpace>& colorSpace() const noexcept { return colorSpace_; }
    const std::uint8_t* bytes() const noexcept { return bytes_; }
    std::size_t byteSize() const noexcept { return bytesPerRow_ * height_; }
    const std::uint8_t* rowAddress(std::size_t y) const noexcept { return bytes_ + y * bytesPerRow_; }

    // An sRGB QImage to draw (see the class comment). The QImage keeps this image alive.
    QImage toQImage() const;

    // For encoders. With `keepColorSpace` grey and RGB pictures keep their pixels and report
    // their ICC profile; CMYK and Lab (and every picture without `keepColorSpace`) become sRGB.
    // Alpha is unpremultiplied; pictures without alpha give 1 (untagged or grey-profiled grey)
    // or 3 channels, pictures with alpha 4.
    Bitmap8 bitmap8(bool keepColorSpace) const;

private:
    PlatformImage() = default;
    std::size_t width_ = 0, height_ = 0, bitsPerComponent_ = 0, bitsPerPixel_ = 0, bytesPerRow_ = 0;
    std::uint32_t bitmapInfo_ = 0;
    Ref<PlatformColorSpace> colorSpace_;
    std::shared_ptr<const void> owner_;
    const std::uint8_t* bytes_ = nullptr;
};

} // namespace vistel
