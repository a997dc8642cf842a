#include "Application/Viewer/ImageInformation.h"

#include "Application/Viewer/CachedImage.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/ImageDecoder.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/RunLoop.h"

namespace vistel {

Ref<ImageInformation> ImageInformation::initWithItem(Ref<FileSystemItemMO> item)
{
    return Ref<ImageInformation>::adopt(new ImageInformation(std::move(item)));
}

ImageInformation::ImageInformation(Ref<FileSystemItemMO> item)
    : imageItem_(std::move(item))
{
}

ImageInformation::~ImageInformation()
{
    if (imageDecoder_)
        imageDecoder_->setItem(nullptr);
}

bool ImageInformation::startDecode(CachedPicturesViewController* viewer, ImageZoomParameter* parameter)
{
    if (!parameter || !viewer)
        return false;
    if (!imageDecoder_)
        imageDecoder_ = ImageDecoder::initWithItem(this, viewer);
    setReleaseDecoderFlag(false);
    setDecodingExpired(false);
    return imageDecoder_->startDecode(parameter);
}

int ImageInformation::state() const
{
    if (!imageDecoder_ || releaseDecoderFlag_)
        return NotDecoded;
    return imageDecoder_->state();
}

void ImageInformation::setReleaseDecoderFlag(bool flag)
{
    if (!flag) {
        releaseDecoderFlag_ = false;
        return;
    }
    decodingExpired_ = false;
    if (!imageDecoder_)
        return;
    if (state() == Decoding) {
        releaseDecoderFlag_ = true; // dropped when its decode finishes
        return;
    }
    // Idle, or a second request while a release is pending: the worker, if any, keeps the
    // decoder alive until it has reported.
    imageDecoder_->setItem(nullptr);
    Ref<ImageDecoder> dropped = std::move(imageDecoder_);
    releaseDecoderFlag_ = false;
    // Its picture, bytes and bitmap are freed on the next pass of the loop, not in the step
    // that drew the next picture.
    if (RunLoop* loop = RunLoop::current())
        loop->perform([dropped = std::move(dropped)] { });
}

std::string ImageInformation::fullPath() const { return imageItem_ ? imageItem_->fullPath() : std::string(); }

Ref<CachedImage> ImageInformation::image() const { return imageDecoder_ ? imageDecoder_->image() : nullptr; }

QSizeF ImageInformation::imageSize() const
{
    if (const Ref<CachedImage> decoded = image())
        return decoded->size();
    if (imageDecoder_) {
        const QSizeF header = imageDecoder_->headerSize();
        if (!header.isEmpty())
            return header;
    }
    if (!imageItem_ || !imageItem_->isDecodable())
        return {};
    const ItemSize dimensions = imageItem_->itemDimensions();
    return {dimensions.width, dimensions.height};
}

QSizeF ImageInformation::imageSizeWithAngel() const
{
    const QSizeF size = imageSize();
    return imageAngel_ % 180 == 0 ? size : size.transposed();
}

} // namespace vistel
