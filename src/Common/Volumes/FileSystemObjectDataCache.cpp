#include "Common/Volumes/FileSystemObjectDataCache.h"

#include <algorithm>
#include <new>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"

namespace vistel {

// --- CameraThumbnailLock -----------------------------------------------------------------------

void CameraThumbnailLock::beginDownload()
{
    std::lock_guard lock(mutex_);
    ++downloads_;
}

void CameraThumbnailLock::endDownload()
{
    {
        std::lock_guard lock(mutex_);
        --downloads_;
    }
    idle_.notify_all();
}

void CameraThumbnailLock::waitUntilNoDownload()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return downloads_ == 0; });
}

int CameraThumbnailLock::downloads() const
{
    std::lock_guard lock(mutex_);
    return downloads_;
}

// --- FileSystemObjectDataCache -----------------------------------------------------------------

FileSystemObjectDataCache::FileSystemObjectDataCache(Ref<CameraFileObject> object,
                                                     std::shared_ptr<ImageCaptureCamera> camera,
                                                     ObjectsCacheReleaser* releaser)
    : object_(std::move(object)), camera_(std::move(camera)),
      releaser_(releaser ? releaser : &ObjectsCacheReleaser::sharedCacheReleaser())
{
}

Ref<FileSystemObjectDataCache> FileSystemObjectDataCache::create(Ref<CameraFileObject> object,
                                                                 std::shared_ptr<ImageCaptureCamera> camera,
                                                                 ObjectsCacheReleaser* releaser)
{
    return Ref<FileSystemObjectDataCache>::adopt(
        new FileSystemObjectDataCache(std::move(object), std::move(camera), releaser));
}

FileSystemObjectDataCache::~FileSystemObjectDataCache()
{
    Ref<ObjectWithCacheInfo> entry;
    {
        std::lock_guard lock(entryMutex_);
        entry = std::move(entry_);
    }
    if (entry)
        releaser_->removeObject(entry.get());
}

Ref<ObjectWithCacheInfo> FileSystemObjectDataCache::cacheInformation() const
{
    std::lock_guard lock(entryMutex_);
    return entry_;
}

void FileSystemObjectDataCache::addToCacheReleaser()
{
    Ref<ObjectWithCacheInfo> entry = releaser_->addObject(this);
    std::lock_guard lock(entryMutex_);
    entry_ = std::move(entry);
}

bool FileSystemObjectDataCache::releaseCache()
{
    // Called by the trim pass under the releaser's lock: never wait for a fill.
    std::unique_lock lock(cacheMutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    bytes_.reset();
    length_.store(0);
    std::lock_guard entryLock(entryMutex_);
    entry_ = nullptr;
    return true;
}

FileSystemObjectDataCache::Data FileSystemObjectDataCache::bytes()
{
    Data held;
    {
        std::lock_guard lock(cacheMutex_);
        held = bytes_;
    }
    if (held)
        addToCacheReleaser();
    return held;
}

FileSystemObjectDataCache::Data FileSystemObjectDataCache::generateCacheData(const Ref<FileOperationRecord>& record,
                                                                            std::uint64_t step, bool thumbnailReader,
                                                                            CameraThumbnailLock& lock,
                                                                            StatusCode* error,
                                                                            const ProgressFunction& progress)
{
    std::lock_guard reader(readerMutex_);
    if (Data held = bytes()) {
        if (error)
            *error = status::NoError;
        return held;
    }
    if (!object_ || object_->identifier() == 0) {
        if (error)
            *error = status::ParameterError;
        return nullptr;
    }
    if (!thumbnailReader)
        lock.beginDownload();
    Bytes buffer;
    StatusCode result = status::MemoryFull;
    try {
        result = fetch(record, step, thumbnailReader, lock, progress, buffer);
    } catch (const std::bad_alloc&) {
        buffer = Bytes(); // a file larger than memory can hold
    }
    if (!thumbnailReader)
        lock.endDownload();
    if (error)
        *error = result;
    if (result != status::NoError)
        return nullptr;
    Data filled = std::make_shared<const Bytes>(std::move(buffer));
    {
        std::lock_guard fill(cacheMutex_);
        bytes_ = filled;
        length_.store(filled->size());
    }
    addToCacheReleaser();
    return filled;
}

StatusCode FileSystemObjectDataCache::fetch(const Ref<FileOperationRecord>& record, std::uint64_t step,
                                            bool thumbnailReader, CameraThumbnailLock& lock,
                                            const ProgressFunction& progress, Bytes& buffer)
{
    const CameraFileEntry& entry = object_->entry();
    std::uint64_t size = entry.size;
    bool whole = !camera_->canReadRanges();
    std::uint64_t offset = 0;
    if (!whole)
        buffer.assign(size, 0);
    const bool oneStep = step == 0;
    // A file the camera lists as empty may still hold bytes: one whole get finds out.
    if (size == 0)
        whole = true;
    bool fetchedWhole = false;
    while (offset < size || (whole && !fetchedWhole)) {
        if (thumbnailReader)
            lock.waitUntilNoDownload();
        StatusCode result = status::NoError;
        const std::uint64_t count = oneStep ? size - offset : std::min(step, size - offset);
        if (whole && !fetchedWhole) {
            result = camera_->readWhole(entry, buffer);
            fetchedWhole = true;
            size = buffer.size();
        } else if (!whole) {
            std::uint64_t done = 0;
            result = camera_->readRange(entry, offset, std::span(buffer.data() + offset, count), done);
            if (result == status::OperationNotSupported && offset == 0) {
                whole = true; // the driver reads whole files only
                continue;
            }
            if (result == status::NoError && done != count)
                result = status::EndOfFile;
        }
        if (record && record->isCancelled())
            return status::UserCanceled;
        if (result != status::NoError)
            return result;
        offset += whole ? (oneStep ? size : std::min(step, size - offset)) : count;
        if (offset < size && progress)
            progress(offset, size);
    }
    if (record && record->isCancelled())
        return status::UserCanceled;
    return status::NoError;
}

} // namespace vistel
