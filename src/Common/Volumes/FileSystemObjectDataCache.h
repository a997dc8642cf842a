#pragma once
// FileSystemObjectDataCache: the downloaded bytes of one camera file. Reading a file from a
// camera is slow and the same file is read several times (thumbnail, viewer, copy), so the
// bytes are kept here until the object cache (ObjectsCacheReleaser, level 4 and above) takes
// them back. They are fetched in steps, so that a download reports progress and sees a cancel
// between steps; where the camera cannot read a range, the file is fetched whole at the first
// step and the steps then count the bytes handed over.
//
// Downloads and thumbnail readers of one camera meet on its CameraThumbnailLock: while a
// download of the camera runs, thumbnail readers wait before each step.
//
// Threads and locks: any thread. `readerMutex_` serialises readers of one file (one fetch at a
// time); `cacheMutex_` guards the bytes between a fill and releaseCache(), which only try-locks
// it; the releaser's other calls read atomics or the entry under `entryMutex_`, which is never
// held while calling the releaser.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Common/Tools/Cache/ObjectsCacheReleaser.h"
#include "Platform/ImageCapture/ImageCaptureCamera.h"
#include "Platform/Object.h"
#include "Platform/StatusCodes.h"

namespace vistel {

class CameraFileObject;
class FileOperationRecord;

// The count of downloads of one camera running now; thumbnail readers wait for 0.
class CameraThumbnailLock {
public:
    void beginDownload();
    void endDownload();
    void waitUntilNoDownload();
    int downloads() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int downloads_ = 0;
};

class FileSystemObjectDataCache final : public Object, public ObjectWithCacheProtocol {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Data = std::shared_ptr<const Bytes>;
    // Bytes done and total after a step (not after the last one).
    using ProgressFunction = std::function<void(std::uint64_t done, std::uint64_t total)>;

    static Ref<FileSystemObjectDataCache> create(Ref<CameraFileObject> object,
                                                 std::shared_ptr<ImageCaptureCamera> camera,
                                                 ObjectsCacheReleaser* releaser = nullptr);
    ~FileSystemObjectDataCache() override;

    // The file's bytes, fetched first when none are held: `step` bytes per step (0: one
    // step). A download (`thumbnailReader` false) counts itself on `lock` while it runs and
    // calls `progress` between steps; a thumbnail reader waits on `lock` before each step.
    // Answers null with the status in `error` when the object has no identifier (-50), a read
    // failed, the file does not fit in memory (-41), or `record` was cancelled (-128); nothing
    // is kept then and the next call tries again.
    Data generateCacheData(const Ref<FileOperationRecord>& record, std::uint64_t step, bool thumbnailReader,
                           CameraThumbnailLock& lock, StatusCode* error, const ProgressFunction& progress = {});

    // The held bytes (null when none), counted as a use.
    Data bytes();
    std::uint64_t length() const { return length_.load(); }
    const Ref<CameraFileObject>& object() const { return object_; }

    // ObjectWithCacheProtocol
    int releaseOption() const override { return 4; }
    Ref<ObjectWithCacheInfo> cacheInformation() const override;
    bool releaseCache() override;
    std::int64_t cacheSize() const override { return std::int64_t(length_.load()); }

private:
    FileSystemObjectDataCache(Ref<CameraFileObject> object, std::shared_ptr<ImageCaptureCamera> camera,
                              ObjectsCacheReleaser* releaser);
    void addToCacheReleaser();
    StatusCode fetch(const Ref<FileOperationRecord>& record, std::uint64_t step, bool thumbnailReader,
                     CameraThumbnailLock& lock, const ProgressFunction& progress, Bytes& buffer);

    Ref<CameraFileObject> object_;
    std::shared_ptr<ImageCaptureCamera> camera_;
    ObjectsCacheReleaser* releaser_;
    std::mutex readerMutex_;
    mutable std::mutex cacheMutex_; // guards bytes_
    Data bytes_;
    std::atomic<std::uint64_t> length_ {0};
    mutable std::mutex entryMutex_; // guards entry_ only
    Ref<ObjectWithCacheInfo> entry_;
};

} // namespace vistel
