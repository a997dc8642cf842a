#include "Platform/Imaging/MultiImage.h"

#include <algorithm>

#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"

namespace vistel {

Ref<MultiImage> MultiImage::create(QSizeF size)
{
    Ref<MultiImage> image = Ref<MultiImage>::adopt(new MultiImage());
    image->size_ = size;
    return image;
}

Ref<MultiImage> MultiImage::createWithPlatformImage(Ref<PlatformImage> platformImage, QSizeF size)
{
    Ref<BitmapImageRep> rep = BitmapImageRep::create(std::move(platformImage));
    if (!rep)
        return nullptr;
    Ref<MultiImage> image = create(size);
    image->addRepresentation(rep);
    return image;
}

QSizeF MultiImage::size() const
{
    std::lock_guard guard(lock_);
    if (size_.isEmpty() && !reps_.empty())
        return reps_.front()->size();
    return size_;
}

void MultiImage::setSize(QSizeF size)
{
    std::lock_guard guard(lock_);
    size_ = size;
}

bool MultiImage::isFlipped() const
{
    std::lock_guard guard(lock_);
    return flipped_;
}

void MultiImage::setFlipped(bool flipped)
{
    std::lock_guard guard(lock_);
    flipped_ = flipped;
}

MultiImage::CacheMode MultiImage::cacheMode() const
{
    std::lock_guard guard(lock_);
    return cacheMode_;
}

void MultiImage::setCacheMode(CacheMode mode)
{
    std::lock_guard guard(lock_);
    cacheMode_ = mode;
}

bool MultiImage::isDataRetained() const
{
    std::lock_guard guard(lock_);
    return dataRetained_;
}

void MultiImage::setDataRetained(bool retained)
{
    std::lock_guard guard(lock_);
    dataRetained_ = retained;
}

bool MultiImage::scalesWhenResized() const
{
    std::lock_guard guard(lock_);
    return scalesWhenResized_;
}

void MultiImage::setScalesWhenResized(bool scales)
{
    std::lock_guard guard(lock_);
    scalesWhenResized_ = scales;
}

bool MultiImage::cacheDepthMatchesImageDepth() const
{
    std::lock_guard guard(lock_);
    return cacheDepthMatchesImageDepth_;
}

void MultiImage::setCacheDepthMatchesImageDepth(bool matches)
{
    std::lock_guard guard(lock_);
    cacheDepthMatchesImageDepth_ = matches;
}

void MultiImage::addRepresentation(Ref<ImageRep> rep)
{
    if (!rep)
        return;
    std::lock_guard guard(lock_);
    reps_.push_back(std::move(rep));
}

void MultiImage::removeRepresentation(const Ref<ImageRep>& rep)
{
    std::lock_guard guard(lock_);
    reps_.erase(std::remove(reps_.begin(), reps_.end(), rep), reps_.end());
}

std::vector<Ref<ImageRep>> MultiImage::representations() const
{
    std::lock_guard guard(lock_);
    return reps_;
}

Ref<ImageRep> MultiImage::bestRepresentationForSize(QSizeF size) const
{
    const auto reps = representations();
    Ref<ImageRep> covering, largest;
    double coveringArea = 0, largestArea = -1;
    for (const auto& rep : reps) {
        const double wide = double(rep->pixelsWide()), high = double(rep->pixelsHigh());
        const double area = wide * high;
        if (wide >= size.width() && high >= size.height() && (!covering || area < coveringArea)) {
            covering = rep;
            coveringArea = area;
        }
        if (area > largestArea) {
            largest = rep;
            largestArea = area;
        }
    }
    return covering ? covering : largest;
}

std::vector<std::uint8_t> MultiImage::tiffRepresentation(int compression) const
{
    const auto reps = representations();
    if (reps.empty())
        return {};
    Ref<PlatformImage> image = reps.front()->cgImage();
    Ref<ImageDestination> destination = ImageDestination::createWithData("public.tiff");
    if (!image || !destination)
        return {};
    destination->addImage(image,
        Value::dictionary({{kImagePropertyTIFFDictionary, Value::dictionary({{kImagePropertyTIFFCompression, compression}})}}));
    if (!destination->finalize())
        return {};
    return destination->data();
}

} // namespace vistel
