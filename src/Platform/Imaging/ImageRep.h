#pragma once
// ImageRep: one representation of a picture inside a MultiImage, and BitmapImageRep, the
// representation over a PlatformImage that is already decoded.
//
// A representation answers its size in points, its pixel counts, bits per sample, alpha and
// colour-space name, and its pixels through cgImage() (which subclasses may decode on first
// use). Its descriptive fields are guarded by a lock, so a representation may be read from
// several threads; a subclass's cgImage() must be safe to call from any thread too.

#include <cstddef>
#include <mutex>
#include <string>

#include <QSizeF>

#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Object.h"

namespace vistel {

// The platform's colour-space names that representations report.
inline constexpr const char* kCalibratedRGBColorSpace = "NSCalibratedRGBColorSpace";
inline constexpr const char* kCalibratedWhiteColorSpace = "NSCalibratedWhiteColorSpace";
inline constexpr const char* kDeviceRGBColorSpace = "NSDeviceRGBColorSpace";
inline constexpr const char* kDeviceWhiteColorSpace = "NSDeviceWhiteColorSpace";
inline constexpr const char* kDeviceCMYKColorSpace = "NSDeviceCMYKColorSpace";
inline constexpr const char* kCustomColorSpace = "NSCustomColorSpace";

class ImageRep : public Object {
public:
    QSizeF size() const;
    virtual void setSize(QSizeF size);
    std::size_t pixelsWide() const;
    std::size_t pixelsHigh() const;
    void setPixelsWide(std::size_t pixels);
    virtual void setPixelsHigh(std::size_t pixels);
    int bitsPerSample() const;
    void setBitsPerSample(int bits);
    bool hasAlpha() const;
    void setAlpha(bool alpha);
    std::string colorSpaceName() const;
    void setColorSpaceName(std::string name);

    // The pixels; null when there are none (a failed decode).
    virtual Ref<PlatformImage> cgImage() = 0;

protected:
    ImageRep() = default;

private:
    mutable std::mutex lock_;
    QSizeF size_;
    std::size_t pixelsWide_ = 0;
    std::size_t pixelsHigh_ = 0;
    int bitsPerSample_ = 0;
    bool alpha_ = false;
    std::string colorSpaceName_;
};

class BitmapImageRep : public ImageRep {
public:
    // Size in points = pixels (72 dpi); null for a null image.
    static Ref<BitmapImageRep> create(Ref<PlatformImage> image);
    Ref<PlatformImage> cgImage() override { return image_; }

private:
    explicit BitmapImageRep(Ref<PlatformImage> image) : image_(std::move(image)) { }
    const Ref<PlatformImage> image_;
};

} // namespace vistel
