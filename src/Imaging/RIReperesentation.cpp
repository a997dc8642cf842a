#include "Imaging/RIReperesentation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <limits>
#include <mutex>
#include <unordered_set>

#include <QImage>
#include <QPainter>

#include "Common/Strings/NSStringDevices.h"
#include "Imaging/CodecHostObjects.h"
#include "Imaging/CodecPlugInHost.h"
#include "Imaging/ImageRepRegistry.h"
#include "Platform/FolderListing.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

struct ClassState {
    std::once_flag once;
    Ref<RICodecRegistry> registry;
    std::atomic<double> screenScale {1.0};
    std::mutex cameraLock;
    std::shared_ptr<ICADeviceThumbnailSource> camera;
};

ClassState& classState()
{
    static ClassState* state = new ClassState; // lives until the process ends, like the codecs
    return *state;
}

// Alpha that carries information; none, skip-first and skip-last are padding.
bool alphaInfoHasAlpha(std::uint32_t bitmapInfo)
{
    switch (bitmapInfo & kImageBitmapAlphaInfoMask) {
    case kImageAlphaPremultipliedLast:
    case kImageAlphaPremultipliedFirst:
    case kImageAlphaLast:
    case kImageAlphaFirst:
    case kImageAlphaOnly:
        return true;
    default:
        return false;
    }
}

const char* colorSpaceNameForModel(std::uint32_t model)
{
    switch (model) {
    case CODEC_COLOR_MODEL_RGB:
        return kCalibratedRGBColorSpace;
    case CODEC_COLOR_MODEL_GREY:
        return kCalibratedWhiteColorSpace;
    default:
        return kCustomColorSpace;
    }
}

Value dictionaryOrEmpty(ICFDictionary* dictionary)
{
    Value value = dictionary ? dictionaryOf(dictionary) : Value();
    return value.isDictionary() ? value : Value::dictionary();
}

std::int32_t clampedSide(float size)
{
    if (!(size > 0))
        return 0;
    if (size >= float(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return std::int32_t(size); // truncated
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Codec bootstrap

void RIReperesentation::initialize()
{
    ClassState& state = classState();
    std::call_once(state.once, [&state] {
        state.registry = RICodecRegistry::create(CodecPlugInHost::shared());
        if (!state.registry->hasCodecCore()) {
            ZovLog("RIReperesentation::initialize no codec core; pictures cannot be decoded");
            return;
        }
        ImageRepRegistry::registerImageRepClass({
            "RIReperesentation",
            [](const ImageRepRegistry::Data& data) { return canInitWithData(data); },
            [](const ImageRepRegistry::Data& data) -> Ref<ImageRep> { return imageRepWithData(data, true); },
            [] { return imageUnfilteredFileTypes(); },
            [] { return imageUnfilteredTypes(); },
        });
    });
}

Ref<RICodecRegistry> RIReperesentation::codecRegistry()
{
    initialize();
    return classState().registry;
}

Value RIReperesentation::imageUnfilteredFileTypesProperties()
{
    return codecRegistry()->fileTypesProperties();
}

std::vector<std::string> RIReperesentation::imageUnfilteredFileTypes()
{
    return codecRegistry()->fileTypes();
}

std::vector<std::string> RIReperesentation::imageUnfilteredTypes()
{
    return codecRegistry()->types();
}

std::vector<std::string> RIReperesentation::imageUnfilteredPasteboardTypes()
{
    return imageUnfilteredTypes();
}

std::vector<std::string> RIReperesentation::imagePasteboardTypes()
{
    return imageUnfilteredTypes();
}

bool RIReperesentation::isFileSystemItemDecodableByName(std::string_view name, bool)
{
    return codecRegistry()->isDecodableByName(name);
}

// ---------------------------------------------------------------------------------------------
// Screen and camera

void RIReperesentation::setMainScreenScaleFactor(double factor)
{
    classState().screenScale.store(factor > 0 && std::isfinite(factor) ? factor : 1.0);
}

double RIReperesentation::mainScreenScaleFactor()
{
    return classState().screenScale.load();
}

void RIReperesentation::setCameraThumbnailSource(std::shared_ptr<ICADeviceThumbnailSource> source)
{
    ClassState& state = classState();
    std::lock_guard guard(state.cameraLock);
    state.camera = std::move(source);
}

// ---------------------------------------------------------------------------------------------
// Making representations

RIReperesentation::RIReperesentation() = default;

RIReperesentation::~RIReperesentation()
{
    if (decodeParam_)
        releaseFields(*decodeParam_);
}

bool RIReperesentation::canInitWithData(const Data& data)
{
    return data && canInitWithData(data, nullptr);
}

bool RIReperesentation::canInitWithData(const Data& data, AutoPtr<IImageDecodeState>* outDecoder)
{
    std::string failure;
    AutoPtr<IImageDecodeState> decoder = openWithCodecs(data, failure);
    if (!decoder)
        return false;
    // Without an out pointer the decode state made for the question is released here.
    if (outDecoder)
        *outDecoder = std::move(decoder);
    return true;
}

AutoPtr<IImageDecodeState> RIReperesentation::openWithCodecs(const Data& data, std::string& failure)
{
    failure.clear();
    if (!data || data->empty()) {
        failure = data ? "empty file" : "no data (the file could not be read)";
        return {};
    }
    const Ref<RICodecRegistry> registry = codecRegistry();
    for (const AutoPtr<IImageCodec>& codec : registry->codecs()) {
        if (!codec->vtbl->Open)
            continue;
        // A fresh provider for each codec, so every codec starts at position 0.
        CodecOpenParams params {};
        params.dataProvider = createDataProvider(data);
        if (!params.dataProvider) {
            failure = "not enough memory";
            return {};
        }
        IUniCharString* why = nullptr;
        params.failure = &why;
        std::int32_t accepted = 0;
        IImageDecodeState* state = nullptr;
        const CodecResult result = codec->vtbl->Open(codec.get(), 0, &params, &accepted, &state);
        releaseFields(params);
        AutoPtr<IImageDecodeState> decoder = AutoPtr<IImageDecodeState>::adopt(state);
        AutoPtr<IUniCharString> whyObject = AutoPtr<IUniCharString>::adopt(why);
        if (result >= 0 && accepted && decoder) {
            failure.clear();
            return decoder;
        }
        // The first codec that knew the format says why it could not read it.
        if (failure.empty() && whyObject)
            failure = utf8StringOf(whyObject.get());
    }
    if (failure.empty())
        failure = registry->hasCodecCore() ? "not a picture" : "no codecs installed";
    return {};
}

bool RIReperesentation::openLocked(const Data& data)
{
    std::string failure;
    dataSize_ = data ? data->size() : 0;
    decoder_ = openWithCodecs(data, failure);
    if (!decoder_) {
        noteFailureLocked("open", std::move(failure));
        return false;
    }
    if (!loadInformation()) {
        noteFailureLocked("open", decoderFailureLocked("unreadable picture information"));
        return false;
    }
    return true;
}

namespace {
thread_local std::string tLastOpenFailure;
thread_local std::uint64_t tDecodeCount = 0;
}

std::uint64_t RIReperesentation::decodeCountOnCurrentThread()
{
    return tDecodeCount;
}

namespace {

// Whether a failure line about a named file is new: a file that cannot be read is asked for
// again by every redraw of a view showing it, and the log tells of it once. The memory is
// bounded: past 10,000 lines it starts again.
bool firstFailureReport(const std::string& line)
{
    static std::mutex lock;
    static std::unordered_set<std::string> reported;
    std::lock_guard guard(lock);
    if (reported.size() >= 10000)
        reported.clear();
    return reported.insert(line).second;
}

} // namespace

void RIReperesentation::noteFailureLocked(std::string_view action, std::string cause)
{
    const std::string name = fileName_.empty() ? "(" + std::to_string(dataSize_) + " bytes)" : fileName_;
    const std::string line = "RIReperesentation::" + std::string(action) + " " + name + ": " + cause;
    if (fileName_.empty() || firstFailureReport(line))
        ZovLog(line);
    lastFailure_ = std::move(cause);
}

std::string RIReperesentation::decoderFailureLocked(std::string_view fallback) const
{
    if (decoder_ && decoder_->vtbl->CopyFailure) {
        if (auto text = AutoPtr<IUniCharString>::adopt(decoder_->vtbl->CopyFailure(decoder_.get())))
            return utf8StringOf(text.get());
    }
    return std::string(fallback);
}

std::string RIReperesentation::lastFailure() const
{
    std::lock_guard guard(decodeLock_);
    return lastFailure_;
}

std::string RIReperesentation::lastOpenFailure()
{
    return tLastOpenFailure;
}

namespace {

// The factories' common end: the representation, or null with the thread's failure noted.
Ref<RIReperesentation> madeOrNull(Ref<RIReperesentation> rep, bool made)
{
    tLastOpenFailure = made ? std::string() : rep->lastFailure();
    return made ? rep : nullptr;
}

} // namespace

Ref<RIReperesentation> RIReperesentation::imageRepWithData(const Data& data, bool lazy, std::string_view fileName)
{
    Ref<RIReperesentation> rep = Ref<RIReperesentation>::adopt(new RIReperesentation);
    rep->fileName_ = fileName;
    const bool made = rep->initImageWithData(data, lazy);
    return madeOrNull(std::move(rep), made);
}

Ref<RIReperesentation> RIReperesentation::imageRepWithData(Value::Bytes data, bool lazy, std::string_view fileName)
{
    return imageRepWithData(std::make_shared<const Value::Bytes>(std::move(data)), lazy, fileName);
}

Ref<RIReperesentation> RIReperesentation::imageRepWithThumbnailForData(const Data& data, float size, int useEmbedded,
    std::string_view fileName)
{
    Ref<RIReperesentation> rep = Ref<RIReperesentation>::adopt(new RIReperesentation);
    rep->fileName_ = fileName;
    const bool made = rep->initImageWithThumbnailForData(data, size, useEmbedded);
    return madeOrNull(std::move(rep), made);
}

bool RIReperesentation::initImageWithData(const Data& data, bool lazy)
{
    std::lock_guard guard(decodeLock_);
    if (!openLocked(data))
        return false;
    decodeParam_ = std::make_unique<IDP_DecodeParam>();
    decodeParam_->mode = CODEC_DECODE_MODE_FULL;
    decodeParam_->image = createImageObject();
    decodeParam_->progress = createProgressObject();
    {
        std::lock_guard progressGuard(progressLock_);
        pendingProgress_ = decodeParam_->progress;
    }
    if (lazy)
        return true;
    return decodePendingLocked(false);
}

bool RIReperesentation::initImageWithThumbnailForData(const Data& data, float size, int useEmbedded)
{
    std::lock_guard guard(decodeLock_);
    if (!openLocked(data))
        return false;
    decodeParam_ = std::make_unique<IDP_DecodeParam>();
    decodeParam_->mode = useEmbedded == 1 ? CODEC_DECODE_MODE_EMBEDDED_THUMBNAIL
        : useEmbedded == 0                ? CODEC_DECODE_MODE_THUMBNAIL_DECODED
                                          : CODEC_DECODE_MODE_THUMBNAIL;
    decodeParam_->size.width = decodeParam_->size.height = clampedSide(size);
    decodeParam_->image = createImageObject();
    return true;
}

bool RIReperesentation::loadInformation()
{
    if (!decoder_)
        return false;
    PageInfo page {};
    ImageTypeInfo typeInfo {};
    struct Release {
        PageInfo& page;
        ImageTypeInfo& typeInfo;
        ~Release()
        {
            releaseFields(page);
            releaseFields(typeInfo);
        }
    } release {page, typeInfo};
    if (decoder_->vtbl->GetPageInfo(decoder_.get(), 0, &page) < 0)
        return false;
    if (decoder_->vtbl->GetTypeInfo(decoder_.get(), &typeInfo) < 0)
        return false;

    imageMetadata_ = dictionaryOrEmpty(typeInfo.imageMetadata);
    pageMetadata_ = dictionaryOrEmpty(page.pageMetadata);
    imageOrientation_ = imageOrientationFromMetadata(pageMetadata_);

    const QSizeF pixels(page.width, page.height);
    const QSizeF orientedPixels = convertSizeWithOrientation(imageOrientation_, pixels);
    // A codec that reports no usable resolution (0 or negative dpi) is treated as giving none.
    if ((page.flags & CODEC_PAGE_INFO_HAS_RESOLUTION) && page.horizontalResolution > 0
        && page.verticalResolution > 0) {
        const double k = 72.0 * mainScreenScaleFactor();
        const QSizeF resolution(page.horizontalResolution, page.verticalResolution);
        dpi_ = convertSizeWithOrientation(imageOrientation_, resolution);
        // Each stored side is divided by its own resolution, then the result is oriented.
        const QSizeF points(pixels.width() * k / resolution.width(), pixels.height() * k / resolution.height());
        originalSize_ = convertSizeWithOrientation(imageOrientation_, points);
    } else {
        originalSize_ = orientedPixels;
    }
    ImageRep::setSize(originalSize_);
    setPixelsWide(std::size_t(orientedPixels.width()));
    ImageRep::setPixelsHigh(std::size_t(orientedPixels.height()));
    setBitsPerSample(int(page.bitsPerSample));
    dataType_ = typeInfo.formatType ? utf8StringOf(typeInfo.formatType) : std::string();
    return true;
}

bool RIReperesentation::decodePendingLocked(bool refreshType)
{
    if (zovImage_)
        return true;
    if (!decoder_ || !decodeParam_)
        return false;
    CodecDecodeResult result {};
    ++tDecodeCount;
    if (decoder_->vtbl->Decode(decoder_.get(), decodeParam_.get(), &result) < 0) {
        IProgress* progress = decodeParam_->progress;
        if (progress && progress->vtbl->IsCancelled(progress)) {
            lastFailure_ = "cancelled"; // the caller's choice, not the file's fault: not logged
            return false;
        }
        noteFailureLocked("decode", decoderFailureLocked("decoding failed"));
        return false;
    }
    IZOVImage* image = decodeParam_->image;
    if (!image || !platformImageOf(image)) {
        noteFailureLocked("decode", "the codec gave no pixels"); // "success" without pixels is a failed decode
        return false;
    }
    // An incomplete picture (a truncated file decoded as far as it goes) says why too.
    if (std::string incomplete = decoderFailureLocked({}); !incomplete.empty())
        noteFailureLocked("decode", "incomplete picture: " + incomplete);
    if (refreshType) {
        ImageTypeInfo typeInfo {};
        if (decoder_->vtbl->GetTypeInfo(decoder_.get(), &typeInfo) >= 0 && typeInfo.formatType)
            dataType_ = utf8StringOf(typeInfo.formatType);
        releaseFields(typeInfo);
    }
    takeBitmapLocked(image);
    clearRequestLocked();
    return true;
}

void RIReperesentation::takeBitmapLocked(IZOVImage* image)
{
    zovImage_ = image;
    const ImageFormat* format = image->vtbl->Format(image);
    const QSizeF oriented = convertSizeWithOrientation(imageOrientation_, QSizeF(format->width, format->height));
    originalSize_ = oriented;
    ImageRep::setSize(oriented);
    setBitsPerSample(int(format->bitsPerComponent));
    setPixelsWide(std::size_t(oriented.width()));
    ImageRep::setPixelsHigh(std::size_t(oriented.height()));
    setAlpha(alphaInfoHasAlpha(format->bitmapInfo));
    setColorSpaceName(colorSpaceNameForModel(format->colorModel));
}

void RIReperesentation::clearRequestLocked()
{
    {
        std::lock_guard progressGuard(progressLock_);
        pendingProgress_ = nullptr;
    }
    decoder_ = nullptr;
    if (decodeParam_) {
        releaseFields(*decodeParam_);
        decodeParam_.reset();
    }
}

Ref<RIReperesentation> RIReperesentation::createWithCGImage(const Ref<PlatformImage>& image, QSizeF targetSize,
    const Value& metadata, bool highQuality)
{
    if (!image || image->width() == 0 || image->height() == 0)
        return nullptr;
    const int width = clampedSide(float(targetSize.width()));
    const int height = clampedSide(float(targetSize.height()));
    if (width == 0 || height == 0)
        return nullptr;
    const std::uint32_t orientation = imageOrientationFromMetadata(metadata);
    // Scaled as stored to the target's stored shape, then turned by whole pixels: exact for
    // every size and orientation, and the full-size picture is never turned.
    const QSize storedTarget = convertSizeWithOrientation(orientation, QSizeF(width, height)).toSize();
    QImage source = image->toQImage();
    if (source.size() != storedTarget)
        source = source.scaled(storedTarget, Qt::IgnoreAspectRatio,
            highQuality ? Qt::SmoothTransformation : Qt::FastTransformation);
    const QImage canvas
        = uprightImage(source.convertToFormat(QImage::Format_ARGB32_Premultiplied), orientation);
    if (canvas.isNull() || canvas.size() != QSize(width, height))
        return nullptr;
    Ref<PlatformImage> scaled = PlatformImage::fromQImage(canvas);
    if (!scaled)
        return nullptr;

    Ref<RIReperesentation> rep = Ref<RIReperesentation>::adopt(new RIReperesentation);
    std::lock_guard guard(rep->decodeLock_);
    AutoPtr<IZOVImage> object = AutoPtr<IZOVImage>::adopt(createImageObject());
    if (!object || object->vtbl->SetImage(object.get(), scaled.get()) < 0)
        return nullptr;
    rep->zovImage_ = object;
    rep->originalSize_ = targetSize;
    rep->ImageRep::setSize(targetSize);
    rep->setAlpha(alphaInfoHasAlpha(image->bitmapInfo()));
    rep->setColorSpaceName(kDeviceRGBColorSpace);
    rep->setBitsPerSample(8);
    rep->setPixelsWide(std::size_t(width));
    rep->ImageRep::setPixelsHigh(std::size_t(height));
    return rep;
}

RIReperesentation::Data RIReperesentation::dataAtPath(std::string_view path)
{
    if (NSStringDevices::isICADevicePath(path)) {
        std::shared_ptr<ICADeviceThumbnailSource> camera;
        {
            ClassState& state = classState();
            std::lock_guard guard(state.cameraLock);
            camera = state.camera;
        }
        return camera ? camera->dataAtPath(path) : nullptr;
    }
    if (!NSStringDevices::isVolumePath(path))
        return nullptr;
    // Only a regular file is read. A FIFO, socket or device named like a picture is refused
    // before it is opened, and the open never waits (a FIFO without writer would block the
    // file thread for ever); the opened file is checked again, since the name may have been
    // replaced in between.
    const std::string name(path);
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    FileDescriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    if (const int flags = ::fcntl(file.get(), F_GETFL); flags >= 0)
        ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
    // One read of the size the file has; a file that grows meanwhile is read as it was.
    auto bytes = std::make_shared<Value::Bytes>(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t got = ::read(file.get(), bytes->data() + done, bytes->size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return nullptr;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    bytes->resize(done);
    return bytes;
}

Ref<RIReperesentation> RIReperesentation::createWithSmallThumbnailForPath(std::string_view path,
    float targetThumbnailSize, int useEmbedded)
{
    if (NSStringDevices::isVolumePath(path))
        return imageRepWithThumbnailForData(dataAtPath(path), targetThumbnailSize, useEmbedded, path);
    if (!NSStringDevices::isICADevicePath(path))
        return nullptr;

    std::shared_ptr<ICADeviceThumbnailSource> camera;
    {
        ClassState& state = classState();
        std::lock_guard guard(state.cameraLock);
        camera = state.camera;
    }
    if (!camera)
        return nullptr;
    const Ref<Object> object = camera->icaFileSystemObjectAtPath(path);
    if (!object)
        return nullptr;
    const Data data = camera->fileSystemObjectThumbnailData(object);
    if (!data || data->empty())
        return nullptr;
    Ref<RIReperesentation> rep = imageRepWithData(data, false, path);
    if (!rep)
        return nullptr;
    // The camera's thumbnail is small; the picture's own pixel size is what the views show.
    const QSizeF resolution = camera->fileSystemObjectResolution(object);
    if (resolution.width() >= 1 && resolution.height() >= 1) {
        rep->setPixelsHigh(std::size_t(resolution.height()));
        rep->setPixelsWide(std::size_t(resolution.width()));
    }
    return rep;
}

// ---------------------------------------------------------------------------------------------
// Accessors

void RIReperesentation::setSize(QSizeF size)
{
    {
        std::lock_guard guard(decodeLock_);
        originalSize_ = size;
    }
    ImageRep::setSize(size);
}

void RIReperesentation::setPixelsHigh(std::size_t pixels)
{
    ImageRep::setPixelsHigh(pixels);
}

QSizeF RIReperesentation::dpi() const
{
    std::lock_guard guard(decodeLock_);
    return dpi_;
}

std::string RIReperesentation::type() const
{
    std::lock_guard guard(decodeLock_);
    return dataType_;
}

Value RIReperesentation::imageMetadata() const
{
    std::lock_guard guard(decodeLock_);
    return imageMetadata_;
}

Value RIReperesentation::pageMetadata() const
{
    std::lock_guard guard(decodeLock_);
    return pageMetadata_;
}

std::uint32_t RIReperesentation::imageOrientation() const
{
    std::lock_guard guard(decodeLock_);
    return imageOrientation_;
}

void RIReperesentation::setImageOrientation(std::uint32_t orientation)
{
    std::lock_guard guard(decodeLock_);
    imageOrientation_ = orientation;
    Value tiff = pageMetadata_.get(kImagePropertyTIFFDictionary);
    if (!tiff.isDictionary())
        tiff = Value::dictionary();
    tiff.set(kImagePropertyTIFFOrientation, Value(orientation));
    pageMetadata_.set(kImagePropertyTIFFDictionary, std::move(tiff));
}

QSizeF RIReperesentation::convertSizeWithOrientation(QSizeF size) const
{
    return convertSizeWithOrientation(imageOrientation(), size);
}

// ---------------------------------------------------------------------------------------------
// Decoding and drawing

Ref<PlatformImage> RIReperesentation::cgImage()
{
    std::lock_guard guard(decodeLock_);
    if (!zovImage_ && !decodePendingLocked(true))
        return nullptr;
    return platformImageOf(zovImage_.get());
}

bool RIReperesentation::drawInRect(QPainter& painter, const QRectF& rect)
{
    const Ref<PlatformImage> image = cgImage();
    if (!image)
        return false;
    const std::uint32_t orientation = imageOrientation();
    QSizeF drawn = rect.size();
    if (orientation > 4)
        drawn.transpose();
    painter.save();
    painter.translate(rect.center());
    applyContectTransformForOrientation(orientation, painter);
    painter.drawImage(QRectF(QPointF(-drawn.width() / 2, -drawn.height() / 2), drawn), image->toQImage());
    painter.restore();
    return true;
}

bool RIReperesentation::draw(QPainter& painter)
{
    return drawAtPoint(painter, QPointF(0, 0));
}

bool RIReperesentation::drawAtPoint(QPainter& painter, QPointF point)
{
    if (!cgImage())
        return false;
    return drawInRect(painter, QRectF(point, QSizeF(double(pixelsWide()), double(pixelsHigh()))));
}

void RIReperesentation::stopProgress()
{
    AutoPtr<IProgress> progress;
    {
        std::lock_guard guard(progressLock_);
        progress = pendingProgress_;
    }
    // Our own reference keeps the object alive even if the decode finishes meanwhile.
    if (progress)
        progress->vtbl->SetCancelled(progress.get(), 1);
}

Ref<RIReperesentation> RIReperesentation::copy()
{
    const Ref<PlatformImage> image = cgImage();
    Ref<RIReperesentation> rep = Ref<RIReperesentation>::adopt(new RIReperesentation);
    std::scoped_lock guard(decodeLock_, rep->decodeLock_);
    if (image) {
        AutoPtr<IZOVImage> object = AutoPtr<IZOVImage>::adopt(createImageObject());
        if (object && object->vtbl->SetImage(object.get(), image.get()) >= 0)
            rep->zovImage_ = object;
    }
    rep->originalSize_ = originalSize_;
    rep->ImageRep::setSize(ImageRep::size());
    rep->setPixelsWide(pixelsWide());
    rep->ImageRep::setPixelsHigh(pixelsHigh());
    rep->setBitsPerSample(bitsPerSample());
    rep->setAlpha(hasAlpha());
    rep->setColorSpaceName(colorSpaceName());
    rep->dpi_ = dpi_;
    rep->imageOrientation_ = imageOrientation_;
    rep->dataType_ = dataType_;
    rep->imageMetadata_ = imageMetadata_;
    rep->pageMetadata_ = pageMetadata_;
    return rep;
}

void RIReperesentation::logMetadata()
{
    std::lock_guard guard(decodeLock_);
    if (imageMetadata_.size())
        ZovLog(imageMetadata_.logDescription());
    else
        ZovLog("Can't load image metadata");
    if (!decoder_ || !decoder_->vtbl->GetPageCount)
        return;
    std::uint32_t count = 0;
    if (decoder_->vtbl->GetPageCount(decoder_.get(), &count) < 0)
        return;
    for (std::uint32_t i = 0; i < count; ++i) {
        PageInfo page {};
        if (decoder_->vtbl->GetPageInfo(decoder_.get(), std::int32_t(i), &page) >= 0 && page.pageMetadata) {
            ZovLog(vistel::format("Metadata for page №%d", i));
            ZovLog(dictionaryOf(page.pageMetadata).logDescription());
        } else {
            ZovLog(vistel::format("Can't load page metadata for page №%d", i));
        }
        releaseFields(page);
    }
}

int RIReperesentation::pendingDecodeMode() const
{
    std::lock_guard guard(decodeLock_);
    return decodeParam_ ? decodeParam_->mode : -1;
}

QSize RIReperesentation::pendingDecodeSize() const
{
    std::lock_guard guard(decodeLock_);
    return decodeParam_ ? QSize(decodeParam_->size.width, decodeParam_->size.height) : QSize();
}

bool RIReperesentation::isDecoded() const
{
    std::lock_guard guard(decodeLock_);
    return bool(zovImage_);
}

} // namespace vistel
