#pragma once
// RIReperesentation: the one image representation through which the program reads pictures.
//
// It picks the first codec plug-in that accepts the encoded bytes, reads size, resolution,
// metadata and EXIF orientation without decoding, decodes the pixels at once or on first
// demand (drawing, cgImage(), copy()), makes thumbnails of a requested size, makes scaled
// upright copies of decoded pictures, and draws with the orientation applied. Sizes, pixel
// counts and drawing are oriented: a picture stored 400 x 300 with orientation 6 reports
// 300 x 400.
//
// Codecs. The first use of the class (from whatever thread comes first, often an updater
// thread) bootstraps the codecs once over CodecPlugInHost::shared() (RICodecRegistry) and
// registers the class with ImageRepRegistry. The type lists below answer empty without a codec
// core.
//
// Threads. A representation is meant for one thread at a time, but every member is safe to
// call concurrently: decoding is serialised by the representation's own lock, and
// stopProgress() may come from any thread while a decode runs; it only raises the pending
// request's cancel flag, which the decoder polls. The screen scale factor is set once by the
// GUI at start-up and read atomically; updater threads never touch screens.
//
// Ownership. The representation holds one reference to the decode state and to the decoded
// bitmap; the decode state and the pending request are released as soon as the pixels are
// decoded.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

#include "Imaging/CodecPlugInContract.h"
#include "Imaging/ComSupport.h"
#include "Imaging/RICodecRegistry.h"
#include "Platform/Imaging/ImageRep.h"
#include "Platform/Value.h"

class QImage;
class QPainter;

namespace vistel {

class Bundle;

// What the small-thumbnail path needs of the camera information: the camera code installs one
// (RIReperesentation::setCameraThumbnailSource), tests install fakes. Called on updater threads.
class ICADeviceThumbnailSource {
public:
    virtual ~ICADeviceThumbnailSource() = default;
    // The file object behind a camera path ("ICA:/<id>/name"); null when there is none.
    virtual Ref<Object> icaFileSystemObjectAtPath(std::string_view path) = 0;
    // The object's thumbnail bytes; null or empty when the camera has none.
    virtual std::shared_ptr<const Value::Bytes> fileSystemObjectThumbnailData(const Ref<Object>& object) = 0;
    // The object's pixel size as the camera reports it; an empty size when unknown.
    virtual QSizeF fileSystemObjectResolution(const Ref<Object>& object) = 0;
    // The whole bytes of the camera file at `path` (a non-picture only up to a size cap); null
    // when there is no such file or it cannot be read.
    virtual std::shared_ptr<const Value::Bytes> dataAtPath(std::string_view) { return nullptr; }
};

class RIReperesentation final : public ImageRep {
public:
    using Data = std::shared_ptr<const Value::Bytes>;

    // ---- Codec bootstrap and decodable types

    // Bootstraps the codecs once (later calls wait for the first to finish). Every member below
    // calls it, so callers need not.
    static void initialize();
    static Ref<RICodecRegistry> codecRegistry();

    // The document-type dictionaries of all installed codecs.
    static Value imageUnfilteredFileTypesProperties();
    static std::vector<std::string> imageUnfilteredFileTypes();
    static std::vector<std::string> imageUnfilteredTypes();
    static std::vector<std::string> imageUnfilteredPasteboardTypes();
    static std::vector<std::string> imagePasteboardTypes();
    // YES when the name's extension (any case) is decodable; the folder flag is not consulted.
    static bool isFileSystemItemDecodableByName(std::string_view name, bool isFolder);
    // Merges document types into the bundle's Info.plist by "CFBundleTypeName" and writes the
    // file back (safely) only when it changed. Entries without a name are kept as they are.
    // True when the file was written.
    static bool tryToUpdateBundle(const Bundle& bundle, const Value& fileTypesProperties);
    // The same merge on one Info.plist file.
    static bool tryToUpdateInfoPlistAtPath(const std::string& path, const Value& fileTypesProperties);
    // The merged "CFBundleDocumentTypes" array (the merge itself, without files).
    static Value mergeDocumentTypes(const Value& existing, const Value& fileTypesProperties);

    // ---- Screen

    // The main screen's user-space scale factor (default 1.0): set once by the GUI.
    static void setMainScreenScaleFactor(double factor);
    static double mainScreenScaleFactor();

    // ---- Camera thumbnails

    static void setCameraThumbnailSource(std::shared_ptr<ICADeviceThumbnailSource> source);

    // ---- Making representations

    // YES when a codec accepts the bytes; without `outDecoder` the decode state it made is
    // released again, with it the caller receives it (one reference).
    static bool canInitWithData(const Data& data);
    static bool canInitWithData(const Data& data, AutoPtr<IImageDecodeState>* outDecoder);

    // A representation of the first codec that accepts the bytes, with size, resolution,
    // metadata and orientation read; pixels decoded now, or at first use when `lazy`. Null
    // when no codec accepts the bytes or reading fails. `fileName` (optional) names the file
    // in the log line a failure writes.
    static Ref<RIReperesentation> imageRepWithData(const Data& data, bool lazy = false, std::string_view fileName = {});
    static Ref<RIReperesentation> imageRepWithData(Value::Bytes data, bool lazy = false, std::string_view fileName = {});
    // A thumbnail no larger than `size`: `useEmbedded` 1 asks the codec for the embedded
    // thumbnail (mode 0), 0 for a reduced decode of the picture (mode 6), anything else for a
    // thumbnail of the size either way (mode 4). Decoded at first use.
    static Ref<RIReperesentation> imageRepWithThumbnailForData(const Data& data, float size, int useEmbedded,
        std::string_view fileName = {});
    // An upright copy of `image` (which has the orientation in `metadata`) scaled to fill
    // `targetSize` (whole pixels, fractions dropped): device RGB, 8 bits, premultiplied alpha;
    // orientation 1. At the picture's own size every pixel is the source's.
    static Ref<RIReperesentation> createWithCGImage(const Ref<PlatformImage>& image, QSizeF targetSize,
        const Value& metadata, bool highQuality);
    // The bytes of the file at `path` (one read of its size; a camera path through the camera
    // source); null for other paths and for files that cannot be read.
    static Data dataAtPath(std::string_view path);
    // A small thumbnail of the file at `path`: a volume path reads the file, a camera path asks
    // the camera for its thumbnail. Null for other paths and when nothing can be decoded.
    static Ref<RIReperesentation> createWithSmallThumbnailForPath(std::string_view path, float targetThumbnailSize,
        int useEmbedded);

    // ---- Failures
    //
    // Every failure to open or decode writes one log line, "RIReperesentation::open <file>:
    // <cause>" or "RIReperesentation::decode <file>: <cause>", the file being the name given
    // to the factory, or the byte count. Causes are short: "empty file", "not a picture",
    // "truncated at byte 812", "too large: 65535 x 65535 pixels", "unsupported compression:
    // ...", or the decoder's own words. A decode that gives an incomplete picture logs too; a
    // decode stopped by stopProgress() is kept as "cancelled" and not logged.

    // Why this representation's last open or decode failed or was incomplete; empty when
    // nothing went wrong.
    std::string lastFailure() const;
    // Why the calling thread's last factory call answered null; empty after one that answered a
    // representation.
    static std::string lastOpenFailure();
    // How many pictures the calling thread has decoded through the codecs (a diagnostic:
    // tests prove that a thread decodes nothing).
    static std::uint64_t decodeCountOnCurrentThread();

    // ---- Accessors

    void setSize(QSizeF size) override;
    void setPixelsHigh(std::size_t pixels) override;
    QSizeF dpi() const;
    std::string type() const;
    // The codec's metadata; empty dictionaries when it gave none.
    Value imageMetadata() const;
    Value pageMetadata() const;
    std::uint32_t imageOrientation() const;
    // Stores the orientation, also in the page metadata's {TIFF} dictionary.
    void setImageOrientation(std::uint32_t orientation);
    QSizeF convertSizeWithOrientation(QSizeF size) const;

    // ---- Decoding and drawing

    // The decoded pixels (decoding on first use); null when decoding fails.
    Ref<PlatformImage> cgImage() override;
    // Draws upright into `rect` of the painter's coordinates; false when there are no pixels.
    bool drawInRect(QPainter& painter, const QRectF& rect);
    // At the pixel size, at the origin or at a point.
    bool draw(QPainter& painter);
    bool drawAtPoint(QPainter& painter, QPointF point);
    // Raises the cancel flag of a pending decode request; safe from any thread.
    void stopProgress();
    // A copy holding the decoded pixels (decoding this one if needed), size, resolution,
    // orientation, type and metadata; no decode state.
    Ref<RIReperesentation> copy();
    // Diagnostic: logs the image metadata and each page's.
    void logMetadata();

    // ---- Orientation (EXIF 1-8)

    // The {TIFF} Orientation of a property dictionary; 1 when missing or outside 1-8.
    static std::uint32_t imageOrientationFromMetadata(const Value& metadata);
    // The orientation after a quarter turn: rotation 1 clockwise, 2 anticlockwise; anything
    // else, or an orientation outside 1-8, changes nothing.
    static std::uint32_t rotateOrientation(std::uint32_t orientation, int rotation);
    // Width and height exchanged for orientations above 4.
    static QSizeF convertSizeWithOrientation(std::uint32_t orientation, QSizeF sourceSize);
    // The transform that shows a picture drawn centred at the origin upright, for a y-down
    // painter (the mirror image of the y-up transform: same order, angles negated).
    static QTransform contextTransformForOrientation(std::uint32_t orientation);
    static void applyContectTransformForOrientation(std::uint32_t orientation, QPainter& painter);
    // The stored pixels shown upright: mirrored and turned by whole pixels, so every pixel of
    // the result is one of the source's.
    static QImage uprightImage(const QImage& stored, std::uint32_t orientation);

    // Encoded bytes turned by a quarter turn (rotation 1 clockwise, 2 anticlockwise, 0 none).
    // Where the format's orientation tag can be rewritten (JPEG, WebP, ...) only that tag
    // changes: pixels, maker notes, XMP and ICC profile stay as they were, and a file that has
    // the tag keeps its length, every other byte unchanged. Otherwise the
    // picture is encoded again in `formatType` (empty: the picture's own) at full quality with
    // all its metadata. Null for undecodable bytes, for TIFF, GIF, FlashPix, XBM and ICO, for
    // calibrated BMP and PNG, and when encoding fails.
    static Data rotateImageData(const Data& data, int rotation, std::string_view formatType = {});
    // Rewrites only the orientation of encoded bytes: in place (the EXIF IFD0 entry, and the
    // XMP tiff:Orientation digit when the packet has one) when the file has the entry, else
    // through exiv2, which adds it; false (bytes unchanged) when exiv2 cannot write the format
    // or fails.
    static bool rewriteOrientationTag(Value::Bytes& encoded, std::uint32_t orientation);

    // ---- For tests and diagnostics

    // The decode mode the pending request asks for; -1 when none is pending.
    int pendingDecodeMode() const;
    QSize pendingDecodeSize() const;
    bool isDecoded() const;

    ~RIReperesentation() override;

private:
    RIReperesentation();
    bool initImageWithData(const Data& data, bool lazy);
    bool initImageWithThumbnailForData(const Data& data, float size, int useEmbedded);
    // The decode state of the first codec that accepts the bytes; without one, `failure` says why.
    static AutoPtr<IImageDecodeState> openWithCodecs(const Data& data, std::string& failure);
    bool openLocked(const Data& data);
    bool loadInformation();
    // Keeps and logs a failure; call with decodeLock_ held.
    void noteFailureLocked(std::string_view action, std::string cause);
    // The decode state's own words for its last failure, or `fallback`.
    std::string decoderFailureLocked(std::string_view fallback) const;
    // Decodes the pending request and takes its bitmap; call with decodeLock_ held.
    bool decodePendingLocked(bool refreshType);
    void takeBitmapLocked(IZOVImage* image);
    void clearRequestLocked();

    // Serialises decoding and the fields it writes.
    mutable std::recursive_mutex decodeLock_;
    AutoPtr<IZOVImage> zovImage_;
    AutoPtr<IImageDecodeState> decoder_;
    std::unique_ptr<IDP_DecodeParam> decodeParam_;
    QSizeF originalSize_;
    QSizeF dpi_ {72, 72};
    std::string dataType_;
    Value imageMetadata_ = Value::dictionary();
    Value pageMetadata_ = Value::dictionary();
    std::uint32_t imageOrientation_ = 1;
    std::string fileName_; // for the log; may be empty
    std::size_t dataSize_ = 0;
    std::string lastFailure_;

    // The pending request's progress object, reachable by stopProgress() without waiting for a
    // running decode: guarded by its own lock, never held while decoding.
    mutable std::mutex progressLock_;
    AutoPtr<IProgress> pendingProgress_;
};

} // namespace vistel
