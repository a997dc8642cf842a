#pragma once
// ImageInformation: one entry of the viewer's picture list. It holds the catalogue item, the
// entry's decoder (made on the first decode, dropped on release) and the view rotation of the
// picture (display only; the file is never turned).
//
// States (state()): 1 not decoded (no decoder, a release pending, or no bitmap), 2 decoded,
// 3 decoding (the decoder's worker runs).
//
// Thread rules: main thread. A running worker keeps the decoder alive by itself, so a release
// while decoding never frees what the worker uses.

#include <QSizeF>

#include <string>

#include "Platform/Object.h"

namespace vistel {

class CachedImage;
class CachedPicturesViewController;
class FileSystemItemMO;
class ImageDecoder;
class ImageZoomParameter;

class ImageInformation : public Object {
public:
    enum State : int { NotDecoded = 1, Decoded = 2, Decoding = 3 };

    static Ref<ImageInformation> initWithItem(Ref<FileSystemItemMO> item);

    // Starts a decode at the parameter's size (a zero size reads the header only); false for a
    // null parameter or while the decoder runs.
    bool startDecode(CachedPicturesViewController* viewer, ImageZoomParameter* parameter);
    int state() const;
    // Drops the decoder at once, or, while it runs, when it finishes (releaseDecoderFlag).
    void releaseDecoder() { setReleaseDecoderFlag(true); }

    FileSystemItemMO* imageItem() const { return imageItem_.get(); }
    ImageDecoder* imageDecoder() const { return imageDecoder_.get(); }
    std::string fullPath() const;
    // The decoded picture, or null.
    Ref<CachedImage> image() const;
    // The picture's pixel size, upright: the decoded picture's, else the size its header gave,
    // else the catalogue's (zero until the catalogue has read the file).
    QSizeF imageSize() const;
    // imageSize() with width and height swapped when the view rotation is 90 or 270.
    QSizeF imageSizeWithAngel() const;

    bool decodingExpired() const { return decodingExpired_; }
    void setDecodingExpired(bool expired) { decodingExpired_ = expired; }
    bool releaseDecoderFlag() const { return releaseDecoderFlag_; }
    void setReleaseDecoderFlag(bool flag);
    // Degrees: 0, 90, 180 or 270.
    unsigned imageAngel() const { return imageAngel_; }
    void setImageAngel(unsigned angle) { imageAngel_ = angle % 360; }
    // The file could not be read or decoded (its cause logged once); it is not tried again
    // until the catalogue reports a change of it (clearDecodingFailure).
    bool decodingFailed() const { return decodingFailed_; }
    void setDecodingFailed(bool failed) { decodingFailed_ = failed; }

private:
    explicit ImageInformation(Ref<FileSystemItemMO> item);
    ~ImageInformation() override;

    Ref<FileSystemItemMO> imageItem_;
    Ref<ImageDecoder> imageDecoder_;
    bool releaseDecoderFlag_ = false;
    bool decodingExpired_ = false;
    bool decodingFailed_ = false;
    unsigned imageAngel_ = 0;
};

} // namespace vistel
