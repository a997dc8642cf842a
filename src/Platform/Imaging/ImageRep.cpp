#include "Platform/Imaging/ImageRep.h"

namespace vistel {

QSizeF ImageRep::size() const
{
    std::lock_guard guard(lock_);
    return size_;
}

void ImageRep::setSize(QSizeF size)
{
    std::lock_guard guard(lock_);
    size_ = size;
}

std::size_t ImageRep::pixelsWide() const
{
    std::lock_guard guard(lock_);
    return pixelsWide_;
}

std::size_t ImageRep::pixelsHigh() const
{
    std::lock_guard guard(lock_);
    return pixelsHigh_;
}

void ImageRep::setPixelsWide(std::size_t pixels)
{
    std::lock_guard guard(lock_);
    pixelsWide_ = pixels;
}

void ImageRep::setPixelsHigh(std::size_t pixels)
{
    std::lock_guard guard(lock_);
    pixelsHigh_ = pixels;
}

int ImageRep::bitsPerSample() const
{
    std::lock_guard guard(lock_);
    return bitsPerSample_;
}

void ImageRep::setBitsPerSample(int bits)
{
    std::lock_guard guard(lock_);
    bitsPerSample_ = bits;
}

bool ImageRep::hasAlpha() const
{
    std::lock_guard guard(lock_);
    return alpha_;
}

void ImageRep::setAlpha(bool alpha)
{
    std::lock_guard guard(lock_);
    alpha_ = alpha;
}

std::string ImageRep::colorSpaceName() const
{
    std::lock_guard guard(lock_);
    return colorSpaceName_;
}

void ImageRep::setColorSpaceName(std::string name)
{
    std::lock_guard guard(lock_);
    colorSpaceName_ = std::move(name);
}

Ref<BitmapImageRep> BitmapImageRep::create(Ref<PlatformImage> image)
{
    if (!image)
        return nullptr;
    Ref<BitmapImageRep> rep = Ref<BitmapImageRep>::adopt(new BitmapImageRep(image));
    rep->setSize(QSizeF(double(image->width()), double(image->height())));
    rep->setPixelsWide(image->width());
    rep->setPixelsHigh(image->height());
    rep->setBitsPerSample(int(image->bitsPerComponent()));
    rep->setAlpha(image->hasAlpha());
    const auto& space = *image->colorSpace();
    const char* name = kCustomColorSpace;
    if (!space.hasICCProfile()) {
        switch (space.model()) {
        case PlatformColorSpace::Model::RGB: name = kDeviceRGBColorSpace; break;
        case PlatformColorSpace::Model::Monochrome: name = kDeviceWhiteColorSpace; break;
        case PlatformColorSpace::Model::CMYK: name = kDeviceCMYKColorSpace; break;
        case PlatformColorSpace::Model::Lab: break;
        }
    }
    rep->setColorSpaceName(name);
    return rep;
}

} // namespace vistel
