// MDItemUpdaterThread: the file updater thread (see UpdaterThreads.h).

#include <cmath>

#include "Common/FileSystem/Catalogue/DecodePool.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Exception.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"

namespace vistel {

using namespace updater;

namespace {

constexpr const char* kSizeKey = "ThumbnailStyle.Size";
constexpr const char* kUseEmbeddedKey = "ThumbnailStyle.UseEmbeddedThumbnails";
constexpr const char* kGenerateLargeKey = "ThumbnailStyle.GenerateHighQualityThumbnails";
constexpr const char* kHighQualityScalingKey = "ThumbnailStyle.HighQualityScaling";

// The page facts a file result carries beside the metadata dictionaries.
constexpr const char* kPageFacts[] = {kImagePropertyDPIWidth, kImagePropertyDPIHeight, kImagePropertyDepth,
                                      kImagePropertyProfileName, kImagePropertyOrientation};

QSizeF sizeOf(const Value& value)
{
    if (value.isArray() && value.size() == 2)
        return {value.at(0).toDouble(), value.at(1).toDouble()};
    return {};
}

} // namespace

void registerThumbnailStyleDefaults()
{
    UserDefaults::standard().registerDefaults(Value::dictionary({{kSizeKey, Value(120.0)},
                                                                 {kUseEmbeddedKey, Value(true)},
                                                                 {kGenerateLargeKey, Value(true)},
                                                                 {kHighQualityScalingKey, Value(true)}}));
}

// Shared with the observers, which may run on the thread that changes a preference.
struct MDItemUpdaterThread::Preferences {
    std::atomic<float> smallThumbnailSize {32};
    std::atomic<bool> useEmbeddedThumbnails {false};
    std::atomic<bool> generateLargeThumbnails {false};
    std::atomic<bool> highQualityScaling {false};
    std::vector<UserDefaults::ObserverToken> tokens;

    void read(const std::string& key)
    {
        UserDefaults& defaults = UserDefaults::standard();
        if (defaults.objectForKey(key).isNull())
            return; // not registered yet: the value so far stays
        if (key == kSizeKey)
            smallThumbnailSize = defaults.floatForKey(key);
        else if (key == kUseEmbeddedKey)
            useEmbeddedThumbnails = defaults.boolForKey(key);
        else if (key == kGenerateLargeKey)
            generateLargeThumbnails = defaults.boolForKey(key);
        else if (key == kHighQualityScalingKey)
            highQualityScaling = defaults.boolForKey(key);
    }
};

Ref<MDItemUpdaterThread> MDItemUpdaterThread::create()
{
    return Ref<MDItemUpdaterThread>::adopt(new MDItemUpdaterThread());
}

MDItemUpdaterThread::MDItemUpdaterThread() : preferences_(std::make_shared<Preferences>())
{
    std::weak_ptr<Preferences> weak = preferences_;
    for (const char* key : {kSizeKey, kUseEmbeddedKey, kGenerateLargeKey, kHighQualityScalingKey}) {
        preferences_->read(key);
        preferences_->tokens.push_back(UserDefaults::standard().addObserver(key, [weak](const std::string& changed, const Value&) {
            if (auto preferences = weak.lock())
                preferences->read(changed);
        }));
    }
    // Rounded once; later changes are taken as they are.
    preferences_->smallThumbnailSize = std::round(preferences_->smallThumbnailSize.load());
}

MDItemUpdaterThread::~MDItemUpdaterThread()
{
    for (UserDefaults::ObserverToken token : preferences_->tokens)
        UserDefaults::standard().removeObserver(token);
}

float MDItemUpdaterThread::smallThumbnailSize() const
{
    return preferences_->smallThumbnailSize;
}

bool MDItemUpdaterThread::useEmbeddedThumbnails() const
{
    return preferences_->useEmbeddedThumbnails;
}

bool MDItemUpdaterThread::highQualityScaling() const
{
    return preferences_->highQualityScaling;
}

MediaDatabaseUpdaterThread::DuplicateAnswer MDItemUpdaterThread::processDuplicateRequest(const Value&,
                                                                                          MDUpdaterThreadJob&,
                                                                                          std::size_t index)
{
    jobsStack_.erase(jobsStack_.begin() + static_cast<std::ptrdiff_t>(index));
    return StackChanged;
}

namespace {

bool isDecodeJob(const MDUpdaterThreadJob& job)
{
    const std::string type = job.request()[kType].toString();
    return type == kTypeFile || type == kTypeDecodeSmall;
}

} // namespace

void MDItemUpdaterThread::main()
{
    MediaDatabaseUpdaterThread::main();
    // Stopped: what was handed to the pool and not begun is dropped, what runs is waited for.
    DecodePool::shared().cancel(this);
}

void MDItemUpdaterThread::continueJobs()
{
    // A thread driven from another one (tests) runs its jobs in place, one after the other.
    const bool handsToPool = NSThreadExt::currentThreadExt() == this;
    if (handsToPool && isDecodeJob(*jobsStack_.back())) {
        DecodePool::shared().waitForRoom(this, [this] { return isCancelled(); });
        if (isCancelled())
            return;
        // What came while the workers were busy competes for the free one.
        fillJobsStack(true);
    }
    currentJob_ = jobsStack_.back();
    jobsStack_.pop_back();
    const Value& request = currentJob_->request();
    const std::string type = request[kType].toString();
    if (type == kTypeChangePriority) {
        changePriority(request);
        return;
    }
    if (!isDecodeJob(*currentJob_))
        return;
    if (!handsToPool) {
        runDecodeJob(request);
        return;
    }
    Ref<MDItemUpdaterThread> self(this);
    DecodePool::shared().submit(this, currentJob_->priority(), currentJob_->index(), [self, request] {
        if (self->isCancelled())
            return;
        try {
            self->runDecodeJob(request);
        } catch (const Exception& exception) {
            ZovLog(self->description() + " JOB FAILED: Caught exception " + exception.name() + ": " + exception.reason()
                   + ". Job type " + request[kType].toString() + " path " + request[kPath].toString() + ".");
            self->sendFailure(request);
        }
    });
}

void MDItemUpdaterThread::runDecodeJob(const Value& request)
{
    if (request[kType].toString() == kTypeDecodeSmall) {
        createImageWithRequest(request);
        return;
    }
    const Value attributes = FileSystemFunctions::fileAttributesAtPath(request[kPath].toString(), true);
    if (attributes.size() == 0) {
        sendItemStatus(request, false);
        return;
    }
    // Unchanged: same size and modification date, and the same creation date where the file
    // system records one (without one every check would find the file changed).
    const bool unchanged = attributes.contains("NSFileSize") && request.contains(kSize)
        && attributes["NSFileSize"].toInt64() == request[kSize].toInt64() && request.contains(kModificationDate)
        && attributes["NSFileModificationDate"] == request[kModificationDate]
        && (!attributes.contains("NSFileCreationDate") || attributes["NSFileCreationDate"] == request[kCreationDate]);
    if (unchanged && !request[kNeedsThumbnail].toBool())
        sendItemStatus(request, true);
    else
        sendItemIsChanged(request, attributes);
}

void MDItemUpdaterThread::changePriority(const Value& request)
{
    if (!request.contains(kPath))
        return;
    std::vector<Ref<MDUpdaterThreadJob>> moved;
    for (std::size_t i = jobsStack_.size(); i > 0; --i) {
        MDUpdaterThreadJob& job = *jobsStack_[i - 1];
        if (job.request()[kType].toString() != kTypeFile || job.request()[kPath] != request[kPath])
            continue;
        // Background high-quality work keeps its place below what the views wait for.
        if (priority::majorFromValue(job.priority()) < 0)
            break;
        Value changed = job.request();
        changed.set(kPriority, request[kNewPriority]);
        job.setRequest(std::move(changed));
        moved.push_back(jobsStack_[i - 1]);
        jobsStack_.erase(jobsStack_.begin() + static_cast<std::ptrdiff_t>(i - 1));
    }
    for (auto& job : moved)
        insertJob(std::move(job));
}

void MDItemUpdaterThread::sendItemStatus(const Value& request, bool exists)
{
    Value result = resultFor(request);
    result.set(kExists, Value(exists ? kExistsYes : kExistsNo));
    result.set(kStatus, Value(kStatusFinished));
    if (request[kNeedsHighQualityThumbnail].toBool())
        result.set(kNeedsHighQualityThumbnail, Value(true));
    generateCachedImagesIfDataIsProvided(request, result);
    addResult(std::move(result));
}

void MDItemUpdaterThread::generateCachedImagesIfDataIsProvided(const Value& request, Value& result) const
{
    const Value& large = request[kThumbnailLargeData];
    if (large.isData())
        if (Ref<MultiImage> image = createCacheImageForData(large.asData(), {}, 0, false))
            result.set(kThumbnailLargeImage, Value(image));
    const Value& small = request[kThumbnailSmallData];
    if (!small.isData())
        return;
    const float side = smallThumbnailSize();
    const QSizeF box(side, side);
    Ref<MultiImage> image;
    if (large.isData()) {
        image = createCacheImageForData(small.asData(), box, 1.1f, false);
        if (!image)
            image = createCacheImageForData(large.asData(), box, 0, false);
    } else {
        image = createCacheImageForData(small.asData(), box, 1.0f, true);
    }
    if (image)
        result.set(kThumbnailSmallImage, Value(image));
}

void MDItemUpdaterThread::sendItemIsChanged(const Value& request, const Value& attributes)
{
    Value result = resultFor(request);
    result.set(kExists, Value(kExistsYes));
    result.set(kStatus, Value(kStatusFinished));
    if (attributes.contains("NSFileSize"))
        result.set(kSize, attributes["NSFileSize"]);
    if (attributes.contains("NSFileCreationDate"))
        result.set(kCreationDate, attributes["NSFileCreationDate"]);
    if (attributes.contains("NSFileModificationDate"))
        result.set(kModificationDate, attributes["NSFileModificationDate"]);
    const bool highQuality = request[kNeedsHighQualityThumbnail].toBool();
    if (highQuality)
        result.set(kNeedsHighQualityThumbnail, Value(true));
    if (!request[kNeedsThumbnail].toBool()) {
        addResult(std::move(result));
        return;
    }
    const std::string path = request[kPath].toString();
    Ref<RIReperesentation> representation;
    if (highQuality) {
        if (RIReperesentation::Data data = RIReperesentation::dataAtPath(path))
            representation = RIReperesentation::imageRepWithThumbnailForData(data, LargeThumbnailSize, 2);
    } else {
        const bool sized = request.contains(kImageSize);
        const float size = sized ? static_cast<float>(request[kImageSize].toDouble()) : smallThumbnailSize();
        const int embedded = useEmbeddedThumbnails() && !sized ? 1 : 2;
        representation = RIReperesentation::createWithSmallThumbnailForPath(path, size, embedded);
    }
    Ref<PlatformImage> pixels = representation ? representation->cgImage() : Ref<PlatformImage>();
    if (pixels) {
        Ref<MultiImage> image = createCacheImageForRepresentation(*representation, {});
        if (highQuality && image) {
            // JPEG on a grey background, or LZW TIFF for pictures with alpha.
            const bool alpha = pixels->hasAlpha();
            Ref<ImageDestination> destination = ImageDestination::createWithData(alpha ? "public.tiff" : "public.jpeg");
            const Value options = alpha
                ? Value::dictionary({{kImagePropertyTIFFDictionary, Value::dictionary({{"Compression", Value(5)}})}})
                : Value::dictionary(
                    {{kImageDestinationLossyCompressionQuality, Value(0.75)},
                     {kImageDestinationBackgroundColor, Value::array({Value(0.5), Value(0.5), Value(0.5), Value(1.0)})}});
            Value::Bytes data;
            Ref<ImageRep> first = image->representations().front();
            if (destination && destination->addImage(first->cgImage(), options) && destination->finalize())
                data.assign(destination->data().begin(), destination->data().end());
            if (!data.empty())
                result.set(kThumbnailLargeData, Value(std::move(data)));
        } else if (image) {
            result.set(kThumbnailSmallImage, Value(image));
        }
    }
    const bool decodable = pixels && representation->type() != "com.adobe.pdf";
    result.set(kIsDecodable, Value(decodable));
    if (decodable) {
        // The picture's facts as the metadata tables show them: its own size, upright.
        const Value page = representation->pageMetadata();
        Value metadata = Value::dictionary();
        for (const auto& [key, value] : page.asDictionary())
            if (value.isDictionary())
                metadata.set(key, value);
        for (const char* key : kPageFacts)
            if (page.contains(key))
                metadata.set(key, page[key]);
        const std::uint32_t orientation = RIReperesentation::imageOrientationFromMetadata(page);
        if (page.contains(kImagePropertyPixelWidth) && page.contains(kImagePropertyPixelHeight)) {
            const QSizeF upright = RIReperesentation::convertSizeWithOrientation(
                orientation, QSizeF(page[kImagePropertyPixelWidth].toDouble(), page[kImagePropertyPixelHeight].toDouble()));
            metadata.set(kImagePropertyPixelWidth, Value(static_cast<long long>(upright.width())));
            metadata.set(kImagePropertyPixelHeight, Value(static_cast<long long>(upright.height())));
        }
        result.set(kPageMetadata, std::move(metadata));
    }
    addResult(std::move(result));
}

void MDItemUpdaterThread::createImageWithRequest(const Value& request)
{
    Value result = resultFor(request);
    const Value& data = request[kThumbnailLargeData];
    if (data.isData())
        if (Ref<MultiImage> image = createCacheImageForData(data.asData(), sizeOf(request[kSize]), 0, false))
            result.set(kThumbnailSmallImage, Value(image));
    // Sent with or without an image: the item's pending decode ends either way.
    addResult(std::move(result));
}

Ref<MultiImage> MDItemUpdaterThread::createCacheImageForData(const Value::Bytes& data, QSizeF size, float maximumZoom,
                                                             bool createIfZoomTooLarge) const
{
    Ref<RIReperesentation> representation = RIReperesentation::imageRepWithData(data, false);
    if (!representation)
        return {};
    const double w = double(representation->pixelsWide()), h = double(representation->pixelsHigh());
    if (!(w > 0 && h > 0))
        return {};
    QSizeF target(w, h);
    if (!size.isEmpty()) {
        double zoom = std::min(size.width() / w, size.height() / h);
        if (maximumZoom > 0 && zoom > maximumZoom) {
            if (!createIfZoomTooLarge)
                return {};
            zoom = maximumZoom;
        }
        target = QSizeF(std::max(1.0, std::floor(w * zoom)), std::max(1.0, std::floor(h * zoom)));
    }
    return createCacheImageForRepresentation(*representation, target);
}

Ref<MultiImage> MDItemUpdaterThread::createCacheImageForRepresentation(RIReperesentation& representation,
                                                                       QSizeF size) const
{
    if (size.isEmpty())
        size = QSizeF(double(representation.pixelsWide()), double(representation.pixelsHigh()));
    Ref<PlatformImage> pixels = representation.cgImage();
    if (!pixels || size.isEmpty())
        return {};
    Ref<RIReperesentation> copy =
        RIReperesentation::createWithCGImage(pixels, size, representation.pageMetadata(), highQualityScaling());
    if (!copy)
        return {};
    Ref<MultiImage> image = MultiImage::create(copy->size());
    image->addRepresentation(Ref<ImageRep>(copy));
    image->setCacheMode(MultiImage::CacheMode::Never);
    image->setDataRetained(true);
    image->setScalesWhenResized(false);
    image->setCacheDepthMatchesImageDepth(true);
    image->setFlipped(true);
    return image;
}

} // namespace vistel
