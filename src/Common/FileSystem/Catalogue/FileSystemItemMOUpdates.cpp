// FileSystemItemMO: the refresh-status word, the requests an item sends to the updater
// threads, its stored pictures and its decoded thumbnails.

#include <atomic>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/Icons/NSImageExtention.h"
#include "Platform/Log.h"

namespace vistel {

using namespace updater;

namespace {

std::atomic<std::int32_t> majorPrioritySlice {0};

} // namespace

FileSystemItemMO::~FileSystemItemMO()
{
    removeFromCacheReleaser();
}

// --- refresh status ------------------------------------------------------------------------------

void FileSystemItemMO::appendRefreshStatus(std::int32_t bits)
{
    if (refreshStatus_ == kRefreshStatusNotVerified)
        refreshStatus_ = 0;
    if (bits & RefreshQueued)
        refreshStatus_ &= ~kRefreshStatusChanged;
    refreshStatus_ |= bits;
}

void FileSystemItemMO::removeRefreshStatus(std::int32_t bits)
{
    if (refreshStatus_ == kRefreshStatusNotVerified) {
        // Nothing was queued for an item that is not verified: clearing bits would turn the
        // word into "verified" with nothing known.
        ZovLog("FileSystemItemMO::removeRefreshStatus on an item that is not verified " + name());
        return;
    }
    refreshStatus_ &= ~bits;
}

bool FileSystemItemMO::hasRefreshStatus(std::int32_t bits) const
{
    if (bits == 0 || bits == kRefreshStatusNotVerified)
        return refreshStatus_ == bits;
    return (refreshStatus_ & bits) != 0;
}

void FileSystemItemMO::resetAsChanged()
{
    for (const char* holder : {"thumbnail", "thumbnailLarge"})
        if (Ref<store::ManagedObject> object = toOne(holder)) {
            setToOne(holder, nullptr);
            if (auto* context = managedObjectContext())
                context->deleteObject(object.get());
        }
    resetCachedImage();
    refreshStatus_ |= kRefreshStatusChanged;
}

std::int32_t FileSystemItemMO::newMajorPrioritySlice()
{
    return ++majorPrioritySlice;
}

std::int32_t FileSystemItemMO::currentMajorPrioritySlice()
{
    return majorPrioritySlice.load();
}

// --- requests ----------------------------------------------------------------------------------------

Value FileSystemItemMO::createUpdateRequest()
{
    Value request = Value::dictionary({{kType, Value(isFolder() ? kTypeFolder : kTypeFile)}});
    request.set(kPath, Value(fullPath()));
    if (rowID() != 0)
        request.set(kID, Value(ObjectIDReference::create(permanentObjectID())));
    if (auto date = creationDate())
        request.set(kCreationDate, Value(*date));
    if (auto date = modificationDate())
        request.set(kModificationDate, Value(*date));
    if (!isFolder())
        if (auto bytes = size())
            request.set(kSize, Value(static_cast<long long>(*bytes)));
    return request;
}

void FileSystemItemMO::enqueueRefresh()
{
    if (hasPendingRefreshStatusRequests())
        return;
    const std::int32_t status = refreshStatus_;
    MediaDatabase* database = mediaDatabase();
    if (!database)
        return;
    if (isFolder()) {
        if (!needsRefresh())
            return;
        appendRefreshStatus(RefreshQueued);
        database->enqueueRefresh(this, createUpdateRequest());
        return;
    }
    if (needsRefresh())
        enqueueThumbnailImageRequest(std::nullopt);
    if (status == 0)
        enqueueStoredThumbnail();
}

void FileSystemItemMO::enqueueStoredThumbnail()
{
    if (!hasRefreshStatus(RefreshHighQualityQueued))
        sendStoredThumbnailRequest();
}

bool FileSystemItemMO::enqueueBackgroundThumbnail()
{
    // A not-verified word has no pending bit: its first request verifies the file too.
    return !hasPendingRefreshStatusRequests() && sendStoredThumbnailRequest();
}

bool FileSystemItemMO::sendStoredThumbnailRequest()
{
    MediaDatabase* database = mediaDatabase();
    if (!database || isFolder() || !decodable() || hasCachedThumbnailLargeData())
        return false;
    appendRefreshStatus(RefreshHighQualityQueued);
    Value request = createUpdateRequest();
    request.set(kNeedsThumbnail, Value(true));
    request.set(kNeedsHighQualityThumbnail, Value(true));
    priority::setToRequest(priority::valueFromMinorAndMajor(refreshingPriority(), -1), request);
    database->enqueueRefresh(this, std::move(request));
    return true;
}

void FileSystemItemMO::enqueueThumbnailImageRequest(std::optional<float> size)
{
    MediaDatabase* database = mediaDatabase();
    if (!database)
        return;
    appendRefreshStatus(RefreshQueued);
    Value request = createUpdateRequest();
    std::optional<Value::Bytes> large = hasCachedThumbnailLargeData() && !cachedSmallImage_ ? thumbnailLargeData()
                                                                                            : std::nullopt;
    if (large && !large->empty())
        request.set(kThumbnailSmallData, Value(std::move(*large)));
    else
        request.set(kNeedsThumbnail, Value(true));
    if (size)
        request.set(kImageSize, Value(static_cast<double>(*size)));
    priority::setToRequest(priority::valueFromMinorAndMajor(refreshingPriority(), currentMajorPrioritySlice()), request);
    database->enqueueRefresh(this, std::move(request));
}

void FileSystemItemMO::optimizeSmallThumbnailForSize(ItemSize size)
{
    if (isFolder() || refreshStatus_ == kRefreshStatusNotVerified || hasRefreshStatus(RefreshQueued))
        return;
    if (!hasCachedThumbnailLargeData()) {
        enqueueThumbnailImageRequest(size.width >= size.height ? size.width : size.height);
        return;
    }
    // One decode at a time: a further call waits for the answer to the pending one.
    if (hasRefreshStatus(RefreshDecodePending) || rowID() == 0)
        return;
    MediaDatabase* database = mediaDatabase();
    const std::optional<Value::Bytes> large = thumbnailLargeData();
    if (!database || !large || large->empty())
        return;
    appendRefreshStatus(RefreshDecodePending);
    Value request = Value::dictionary({{kType, Value(kTypeDecodeSmall)},
                                       {kID, Value(ObjectIDReference::create(permanentObjectID()))},
                                       {kSize, Value::array({Value(double(size.width)), Value(double(size.height))})},
                                       {kThumbnailLargeData, Value(*large)},
                                       {kPath, Value(fullPath())}});
    priority::setToRequest(priority::valueFromMinorAndMajor(refreshingPriority(), currentMajorPrioritySlice()), request);
    database->enqueueRefresh(this, std::move(request));
}

void FileSystemItemMO::enqueueReorderRequest()
{
    if (isFolder() || !hasPendingRefreshStatusRequests() || rowID() == 0)
        return;
    MediaDatabase* database = mediaDatabase();
    if (!database)
        return;
    Value request = Value::dictionary({{kType, Value(kTypeChangePriority)},
                                       {kPath, Value(fullPath())},
                                       {kID, Value(ObjectIDReference::create(permanentObjectID()))}});
    priority::setToRequest(priority::valueFromMinorAndMajor(0x7fffffff, 0x7fffffff), request);
    request.set(kNewPriority, Value(static_cast<long long>(
                                  priority::valueFromMinorAndMajor(refreshingPriority(), currentMajorPrioritySlice()))));
    database->enqueueRefresh(this, std::move(request));
}

// --- stored pictures -----------------------------------------------------------------------------------

std::optional<Value::Bytes> FileSystemItemMO::holderData(std::string_view relationship) const
{
    Ref<store::ManagedObject> holder = toOne(relationship);
    if (!holder)
        return std::nullopt;
    const Value data = holder->valueForKey("imageData");
    if (!data.isData())
        return std::nullopt;
    return data.asData();
}

void FileSystemItemMO::setHolderData(std::string_view relationship, std::string_view entity,
                                     const std::optional<Value::Bytes>& data)
{
    Ref<store::ManagedObject> holder = toOne(relationship);
    if (!holder) {
        auto* context = managedObjectContext();
        if (!data || !context)
            return;
        holder = context->insertNewObject(entity);
        holder->setToOne("parent", this);
    }
    holder->setValueForKey(data ? Value(*data) : Value(), "imageData");
}

// --- decoded thumbnails and the object cache -------------------------------------------------------------

Ref<MultiImage> FileSystemItemMO::heldImage(Ref<MultiImage> FileSystemItemMO::*field, bool used)
{
    if (!isFolder() && used)
        enqueueRefresh();
    if (this->*field)
        addToCacheReleaser();
    return this->*field;
}

Ref<MultiImage> FileSystemItemMO::thumbnailImage()
{
    return heldImage(&FileSystemItemMO::cachedSmallImage_, true);
}

Ref<MultiImage> FileSystemItemMO::thumbnailImageLarge()
{
    return heldImage(&FileSystemItemMO::cachedLargeImage_, true);
}

void FileSystemItemMO::setThumbnailImage(Ref<MultiImage> image)
{
    cachedSmallImage_ = std::move(image);
    heldImage(&FileSystemItemMO::cachedSmallImage_, false);
}

void FileSystemItemMO::setThumbnailImageLarge(Ref<MultiImage> image)
{
    cachedLargeImage_ = std::move(image);
    heldImage(&FileSystemItemMO::cachedLargeImage_, false);
}

void FileSystemItemMO::resetCachedImage()
{
    cachedSmallImage_ = nullptr;
    cachedLargeImage_ = nullptr;
}

void FileSystemItemMO::resetCachedIcon()
{
    cachedIcon_ = nullptr;
}

bool FileSystemItemMO::releaseCache()
{
    cacheInfo_ = nullptr;
    resetCachedImage();
    resetCachedIcon();
    return true;
}

std::int64_t FileSystemItemMO::cacheSize() const
{
    std::int64_t bytes = 0;
    for (const MultiImage* image : {cachedSmallImage_.get(), cachedLargeImage_.get()})
        if (image)
            bytes += static_cast<std::int64_t>(NSImageExtention::imageMemoryUsageInBytes(*image));
    if (cachedIcon_ && iconIsOwnImage_)
        bytes += static_cast<std::int64_t>(NSImageExtention::imageMemoryUsageInBytes(*cachedIcon_));
    return bytes;
}

void FileSystemItemMO::addToCacheReleaser()
{
    cacheInfo_ = ObjectsCacheReleaser::sharedCacheReleaser().addObject(this);
}

void FileSystemItemMO::removeFromCacheReleaser()
{
    if (!cacheInfo_)
        return;
    Ref<ObjectWithCacheInfo> info = std::move(cacheInfo_);
    ObjectsCacheReleaser::sharedCacheReleaser().removeObject(info.get());
}

} // namespace vistel
