#include "Application/Viewer/ImageDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>

#include "Application/Viewer/CachedImage.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/ImageInformation.h"
#include "Application/Viewer/ImageZoomParameter.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

std::atomic<int> decodesNow {0};
std::atomic<int> decodesMost {0};
std::mutex hookLock;
std::function<void(const std::string&)> decodeHook;

// Counts a worker's body for the diagnostics.
struct RunningDecode {
    RunningDecode()
    {
        const int now = ++decodesNow;
        int most = decodesMost.load();
        while (now > most && !decodesMost.compare_exchange_weak(most, now)) { }
    }
    ~RunningDecode() { --decodesNow; }
    RunningDecode(const RunningDecode&) = delete;
    RunningDecode& operator=(const RunningDecode&) = delete;
};

} // namespace

QSize ImageDecoder::bitmapSizeFor(QSizeF wanted, QSizeF picture)
{
    if (wanted.width() < 0.5 || wanted.height() < 0.5 || picture.isEmpty())
        return {};
    if (wanted.width() > picture.width())
        wanted = picture;
    const double pixels = wanted.width() * wanted.height();
    if (pixels > MaximumBitmapPixels)
        wanted *= std::sqrt(MaximumBitmapPixels / pixels);
    return {std::max(1, int(std::floor(wanted.width() + 0.5))), std::max(1, int(std::floor(wanted.height() + 0.5)))};
}

Ref<ImageDecoder> ImageDecoder::initWithItem(ImageInformation* item, CachedPicturesViewController* viewer)
{
    return Ref<ImageDecoder>::adopt(new ImageDecoder(item, viewer));
}

ImageDecoder::ImageDecoder(ImageInformation* item, CachedPicturesViewController* viewer)
    : viewer_(viewer)
{
    std::lock_guard guard(mutex_);
    item_ = item;
}

ImageDecoder::~ImageDecoder() = default;

bool ImageDecoder::startDecode(ImageZoomParameter* parameter)
{
    if (!parameter)
        return false;
    Ref<ImageInformation> entry;
    {
        std::lock_guard guard(mutex_);
        if (decodeThread_)
            return false;
        entry = Ref<ImageInformation>(item_);
    }
    // Read here, on the main thread: the catalogue is not to be touched by the worker.
    const std::string path = entry ? entry->fullPath() : std::string();
    const QSizeF wanted = parameter->size();
    const bool flipped = viewer_ && viewer_->isFlipped();
    cancelRequested_ = false;
    // Everything the worker holds is handed on to its finish message, so that the entry, the
    // decoder and the viewer are let go on the main thread.
    Ref<NSThreadExt> worker = NSThreadExt::create(
        [self = Ref<ImageDecoder>(this), viewer = Ref<CachedPicturesViewController>(viewer_), entry, path, wanted, flipped]() mutable {
            bool failed = false;
            try {
                RunningDecode counted;
                failed = self->decoderFunc(path, wanted, flipped);
            } catch (const std::exception& e) { // the finish still goes back: the list counts on it
                ZovLog("ImageDecoder " + path + ": " + e.what());
                failed = true;
            }
            {
                std::lock_guard guard(self->mutex_);
                self->lastDecodeFailed_ = failed;
                self->decodeThread_ = nullptr; // cleared before the finish is posted
            }
            ImageDecoder* decoder = self.get();
            ThreadMessages::performSelectorOnMainThread(
                [self = std::move(self), viewer = std::move(viewer), entry = std::move(entry), decoder] {
                    if (viewer)
                        viewer->imageDecodingFinished(entry.get(), decoder);
                },
                false);
        });
    worker->setName("picture decode");
    {
        std::lock_guard guard(mutex_);
        decodeThread_ = worker;
    }
    try {
        worker->start();
    } catch (...) {
        std::lock_guard guard(mutex_);
        decodeThread_ = nullptr;
        return false;
    }
    return true;
}

bool ImageDecoder::decoderFunc(const std::string& path, QSizeF wantedSize, bool flipped)
{
    {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard guard(hookLock);
            hook = decodeHook;
        }
        if (hook)
            hook(path);
    }
    Ref<CachedImage> image;
    Ref<RIReperesentation> header;
    QSizeF pictureSize;
    {
        std::lock_guard guard(mutex_);
        image = image_;
        header = riRepresentation_;
        pictureSize = headerSize_;
    }
    if (!header) {
        if (cancelRequested_)
            return false;
        // Read once; every later decode of this decoder reuses the bytes.
        RIReperesentation::Data data = RIReperesentation::dataAtPath(path);
        if (!data) {
            const int error = errno;
            ZovLog("ImageDecoder " + path + ": cannot be read (" + std::strerror(error) + ")");
            return true;
        }
        header = RIReperesentation::imageRepWithData(data, true, path); // header only; logs failures
        if (!header || header->pixelsWide() == 0 || header->pixelsHigh() == 0)
            return true;
        pictureSize = QSizeF(double(header->pixelsWide()), double(header->pixelsHigh()));
        std::lock_guard guard(mutex_);
        riRepresentation_ = header;
        data_ = std::move(data);
        headerSize_ = pictureSize;
    }
    const QSize target = bitmapSizeFor(wantedSize, pictureSize);
    if (target.isEmpty())
        return false; // only the header was asked for
    if (image) {
        std::lock_guard guard(image->mutex());
        if (image->bitmap().size() == target)
            return false; // already done
    }
    QImage bitmap = decodedBitmap(path, target, pictureSize);
    if (bitmap.isNull())
        return !cancelRequested_;
    if (!image)
        image = CachedImage::create(pictureSize, flipped);
    {
        std::lock_guard guard(image->mutex());
        image->setBitmap(std::move(bitmap));
    }
    std::lock_guard guard(mutex_);
    image_ = image;
    return false;
}

QImage ImageDecoder::decodedBitmap(const std::string& path, QSize target, QSizeF pictureSize)
{
    std::shared_ptr<const Value::Bytes> data;
    {
        std::lock_guard guard(mutex_);
        data = data_;
    }
    const int longSide = std::max(target.width(), target.height());
    // A reduced decode (DCT scaling, then area reduction) of the bytes; the whole picture only
    // when the whole is wanted.
    const Ref<RIReperesentation> reduced = longSide >= int(std::max(pictureSize.width(), pictureSize.height()))
        ? RIReperesentation::imageRepWithData(data, true, path)
        : RIReperesentation::imageRepWithThumbnailForData(data, float(longSide), 0, path);
    if (!reduced)
        return {};
    {
        std::lock_guard guard(mutex_);
        decodingRepresentation_ = reduced;
    }
    Ref<PlatformImage> pixels;
    if (!cancelRequested_)
        pixels = reduced->cgImage();
    {
        std::lock_guard guard(mutex_);
        decodingRepresentation_ = nullptr;
    }
    if (!pixels)
        return {};
    const QImage stored = pixels->toQImage();
    const QImage::Format format = stored.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage upright = RIReperesentation::uprightImage(stored.convertToFormat(format), reduced->imageOrientation());
    if (upright.size() != target)
        upright = upright.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(format);
    return upright;
}

int ImageDecoder::state() const
{
    std::lock_guard guard(mutex_);
    if (decodeThread_)
        return 3;
    return image_ ? 2 : 1;
}

Ref<CachedImage> ImageDecoder::image() const
{
    std::lock_guard guard(mutex_);
    return image_;
}

ImageInformation* ImageDecoder::item() const
{
    std::lock_guard guard(mutex_);
    return item_;
}

void ImageDecoder::setItem(ImageInformation* item)
{
    std::lock_guard guard(mutex_);
    item_ = item;
}

QSizeF ImageDecoder::headerSize() const
{
    std::lock_guard guard(mutex_);
    return headerSize_;
}

bool ImageDecoder::lastDecodeFailed() const
{
    std::lock_guard guard(mutex_);
    return lastDecodeFailed_;
}

void ImageDecoder::stop()
{
    Ref<NSThreadExt> worker;
    Ref<RIReperesentation> decoding;
    // The flag first: a worker that stores its representation after this sees it.
    cancelRequested_ = true;
    {
        std::lock_guard guard(mutex_);
        worker = decodeThread_;
        decoding = decodingRepresentation_;
    }
    if (decoding)
        decoding->stopProgress();
    if (worker)
        worker->abort();
}

int ImageDecoder::decodesRunning() { return decodesNow.load(); }
int ImageDecoder::maxDecodesRunning() { return decodesMost.load(); }
void ImageDecoder::resetMaxDecodesRunning() { decodesMost = decodesNow.load(); }

void ImageDecoder::setDecodeHookForTesting(std::function<void(const std::string& path)> hook)
{
    std::lock_guard guard(hookLock);
    decodeHook = std::move(hook);
}

} // namespace vistel
