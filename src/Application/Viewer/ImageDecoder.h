#pragma once
// ImageDecoder: decodes one entry of the viewer's picture list on a worker thread of its own
// (an NSThreadExt) and leaves a CachedImage whose bitmap has the size the view asked for.
//
// The file is read once, on the worker, and kept with its header representation, so a decode
// at another size reads nothing again. Each decode is a reduced decode of those bytes (DCT
// scaling, then area reduction) made upright; full-size pixels are never drawn down. The
// bitmap is never larger than the picture, nor above MaximumBitmapPixels.
//
// Thread rules: startDecode(), stop() and the accessors on the main thread; the worker reads
// and writes the fields marked below under the decoder's mutex, and swaps the bitmap under the
// image's. The worker clears the running state under the decoder's mutex, then posts
// imageDecodingFinished() to the main thread (a thread message); it never waits for the main
// thread.

#include <QImage>
#include <QSize>
#include <QSizeF>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class CachedImage;
class CachedPicturesViewController;
class ImageInformation;
class ImageZoomParameter;
class NSThreadExt;
class RIReperesentation;

class ImageDecoder : public Object {
public:
    // No bitmap holds more pixels (2^26, 256 MiB at 4 bytes a pixel); a larger target is scaled
    // down to fit, keeping its shape.
    static constexpr double MaximumBitmapPixels = double(1 << 26);

    // `item` is the owning entry and `viewer` the list told of every finish; neither is retained
    // by the decoder (the list owns the entry, the entry the decoder), but a running worker
    // keeps both, and the decoder, until its finish has run on the main thread.
    static Ref<ImageDecoder> initWithItem(ImageInformation* item, CachedPicturesViewController* viewer);

    // The whole-pixel size of the bitmap a wish of `wanted` gives for a picture of `picture`
    // pixels: the picture's own size when wider than it, scaled down to MaximumBitmapPixels
    // when above; empty for an empty wish (a header-only decode).
    static QSize bitmapSizeFor(QSizeF wanted, QSizeF picture);

    // Starts a worker that decodes at the parameter's size; false while one runs or for a
    // null parameter. The path is read here, on the main thread.
    bool startDecode(ImageZoomParameter* parameter);
    // 3 while the worker runs, else 2 with a bitmap, else 1.
    int state() const;
    // The picture, or null before the first successful decode.
    Ref<CachedImage> image() const;
    ImageInformation* item() const;
    void setItem(ImageInformation* item);
    // The picture's upright pixel size from the file's header once read; zero before.
    QSizeF headerSize() const;
    // The last decode could not read or decode the file (cause logged by the reader).
    bool lastDecodeFailed() const;
    // Cancels a running decode and waits until its worker has ended (its finish is still
    // posted). Returns at once when idle.
    void stop();

    // --- diagnostics ------------------------------------------------------------------------
    // Workers in their body now, and the most seen at once since the last reset.
    static int decodesRunning();
    static int maxDecodesRunning();
    static void resetMaxDecodesRunning();
    // Called on each worker before it reads anything, with the file's path (tests hold a
    // decode back with it). Empty: none.
    static void setDecodeHookForTesting(std::function<void(const std::string& path)> hook);

private:
    ImageDecoder(ImageInformation* item, CachedPicturesViewController* viewer);
    ~ImageDecoder() override;
    // The worker's body; answers whether the file could not be read or decoded.
    bool decoderFunc(const std::string& path, QSizeF wantedSize, bool flipped);
    // The bitmap of `wanted` pixels (whole, not above the picture nor MaximumBitmapPixels)
    // of the source bytes; null when decoding fails or is cancelled.
    QImage decodedBitmap(const std::string& path, QSize target, QSizeF pictureSize);

    CachedPicturesViewController* viewer_; // main thread only
    mutable std::mutex mutex_;                 // guards the fields below
    ImageInformation* item_ = nullptr;
    Ref<NSThreadExt> decodeThread_;
    Ref<CachedImage> image_;
    Ref<RIReperesentation> riRepresentation_;
    std::shared_ptr<const Value::Bytes> data_;
    Ref<RIReperesentation> decodingRepresentation_; // the running reduced decode, for stop()
    QSizeF headerSize_;
    bool lastDecodeFailed_ = false;
    std::atomic<bool> cancelRequested_ {false};
};

} // namespace vistel
