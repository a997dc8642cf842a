#pragma once
// FSFileOperation: one asynchronous copy, move or move to the Trash of a file or folder tree,
// with progress reported to a run loop.
//
// An operation object is made empty (create()), started once with one of the start calls, and
// scheduled on a run loop in a mode (scheduleWithRunLoop). Starting and scheduling may come in
// either order: the work begins on its own worker thread at the start, and status callbacks are
// delivered only while the operation is scheduled, on that loop's thread, never more often
// than the status interval. Exactly one final callback is delivered: stage 3 with status 0, or
// the status of the failure (UserCanceled after cancel()), with the figures reached.
//
// What the engine guarantees on disk:
//   - a copy is built under a hidden temporary name in the destination folder and given its
//     final name only when the whole tree was copied; a failed or cancelled copy removes what
//     it made and never touches the source; the hidden item is held (flock) while it is
//     written, and a copy or move into a folder first removes those that copies killed
//     mid-way left there (sweepAbandonedPartialCopies, FileTree.h);
//   - symbolic links are copied as links and never followed; FIFOs, devices and sockets are
//     never opened: such a source is refused (ParameterError), one inside a folder is left
//     out (logged);
//   - mode (without set-id bits), access and modification times and "user." extended
//     attributes are kept;
//   - a move is a rename; across volumes it is a copy, and the source is deleted only after
//     the copy was whole and in place, and only what the copy holds: items it left out
//     (special files, skipped unreadable items, items that appeared or changed meanwhile)
//     stay where they were, with the folders holding them;
//   - a tree is walked from folder descriptor to folder descriptor, so a folder on the way
//     replaced by a link while the operation runs never sends it elsewhere;
//   - the Trash follows the freedesktop.org trash rules (home trash for the home volume, the
//     volume's own .Trash/$uid or .Trash-$uid otherwise) and never copies across volumes.
//
// Threads: every call is safe from any thread. The callback runs on the scheduled loop's
// thread; the operation and the client info stay alive until the final callback has run.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/Object.h"
#include "Platform/RunLoop.h"
#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel {

// Stages reported to the status callback.
enum : std::uint32_t {
    kFSOperationStageUndefined = 0,
    kFSOperationStagePreflighting = 1,
    kFSOperationStageRunning = 2,
    kFSOperationStageComplete = 3,
};

// Start flags.
enum : std::uint32_t {
    kFSFileOperationDefaultOptions = 0,
    // An existing item of the destination name is replaced (only once the new one is whole).
    kFSFileOperationOverwrite = 1,
    // Source items that cannot be read for lack of permission are left out instead of failing
    // the operation.
    kFSFileOperationSkipSourcePermissionErrors = 2,
};

// Keys of the status dictionary. Byte counts are unsigned 64-bit, object counts integers,
// the throughput bytes per second.
inline constexpr const char* kFSOperationBytesCompleteKey = "kFSOperationBytesCompleteKey";
inline constexpr const char* kFSOperationTotalBytesKey = "kFSOperationTotalBytesKey";
inline constexpr const char* kFSOperationBytesRemainingKey = "kFSOperationBytesRemainingKey";
inline constexpr const char* kFSOperationObjectsCompleteKey = "kFSOperationObjectsCompleteKey";
inline constexpr const char* kFSOperationTotalObjectsKey = "kFSOperationTotalObjectsKey";
inline constexpr const char* kFSOperationObjectsRemainingKey = "kFSOperationObjectsRemainingKey";
inline constexpr const char* kFSOperationTotalUserVisibleObjectsKey = "kFSOperationTotalUserVisibleObjectsKey";
inline constexpr const char* kFSOperationUserVisibleObjectsCompleteKey = "kFSOperationUserVisibleObjectsCompleteKey";
inline constexpr const char* kFSOperationThroughputKey = "kFSOperationThroughputKey";

class FSFileOperation;

// (operation, current item path, stage, status, status dictionary, client info).
using FSFileOperationStatusCallback = std::function<void(FSFileOperation* operation, const char* currentItem,
                                                         std::uint32_t stage, StatusCode error,
                                                         const Value& statusDictionary, Object* info)>;

class FSFileOperation : public Object {
public:
    static Ref<FSFileOperation> create();

    // Start calls: each answers 0 when the worker started, otherwise the status of the refusal
    // (ParameterError for an empty path or a second start); a refused start delivers nothing.
    // Failures met by the worker (missing source, existing destination without the overwrite
    // flag, full disk...) arrive as the final callback's status.
    //
    // Copies `source` into the folder `destinationFolder`, named `destinationName` or the
    // source's own name.
    StatusCode startCopy(const std::string& source, const std::string& destinationFolder,
                         const std::optional<std::string>& destinationName, std::uint32_t flags,
                         FSFileOperationStatusCallback callback, double statusInterval, Ref<Object> info = {});
    // Moves (renames) `source` into `destinationFolder` under `destinationName` or its own name.
    StatusCode startMove(const std::string& source, const std::string& destinationFolder,
                         const std::optional<std::string>& destinationName, std::uint32_t flags,
                         FSFileOperationStatusCallback callback, double statusInterval, Ref<Object> info = {});
    // Moves `source` to the Trash of its volume.
    StatusCode startMoveToTrash(const std::string& source, std::uint32_t flags, FSFileOperationStatusCallback callback,
                                double statusInterval, Ref<Object> info = {});

    // Callbacks go to `loop` while it runs `mode`. One loop and mode at a time: scheduling
    // again replaces them. Answers false for a null loop.
    bool scheduleWithRunLoop(RunLoop* loop, const std::string& mode = NSDefaultRunLoopMode);
    // Stops deliveries to that loop and mode (an undelivered final callback waits for the next
    // schedule).
    void unscheduleFromRunLoop(RunLoop* loop, const std::string& mode = NSDefaultRunLoopMode);

    // Asks the worker to stop; its final callback then carries UserCanceled, unless the work
    // had already finished. 0, or ParameterError when the operation was never started.
    StatusCode cancel();

    // The latest figures, whether or not they were delivered.
    struct Status {
        std::string currentItem;
        std::uint32_t stage = kFSOperationStageUndefined;
        StatusCode error = 0;
        Value dictionary;
    };
    Status copyStatus() const;

    bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }
    // True once the worker ended (the final status is known).
    bool isFinished() const;

    // Internal: the worker's reports.
    struct Progress {
        std::uint64_t bytesComplete = 0;
        std::uint64_t totalBytes = 0;
        std::uint64_t objectsComplete = 0;
        std::uint64_t totalObjects = 0;
        std::uint64_t userVisibleComplete = 0;
        std::uint64_t userVisibleTotal = 0;
    };
    void report(const std::string& item, std::uint32_t stage, const Progress& progress);
    void finish(const std::string& item, StatusCode error, const Progress& progress);

private:
    FSFileOperation() = default;

    enum class Kind { Copy, Move, Trash };
    StatusCode start(Kind kind, const std::string& source, const std::string& destinationFolder,
                     const std::optional<std::string>& destinationName, std::uint32_t flags,
                     FSFileOperationStatusCallback callback, double statusInterval, Ref<Object> info);
    void updateLocked(const std::string& item, std::uint32_t stage, const Progress& progress);
    void postDeliveryLocked(bool force);
    void deliver();

    mutable std::mutex mutex_;
    bool started_ = false;
    bool finished_ = false;
    bool finalDelivered_ = false;
    bool deliveryQueued_ = false;
    bool undelivered_ = false;
    Ref<RunLoop> loop_;
    std::string mode_;
    FSFileOperationStatusCallback callback_;
    Ref<Object> info_;
    double interval_ = 0;
    std::chrono::steady_clock::time_point startTime_ {};
    std::chrono::steady_clock::time_point lastDelivery_ {};
    Status status_;
    std::atomic<bool> cancelled_ {false};
};

// Tests only: runs on the worker after each chunk of file data was written, with the bytes
// copied so far, so that a test can cancel or slow an operation at an exact point. Installed
// for the object's lifetime, before the operations under test start.
using FSFileOperationChunkHook = std::function<void(FSFileOperation& operation, std::uint64_t bytesComplete)>;
class ScopedFSFileOperationChunkHook {
public:
    explicit ScopedFSFileOperationChunkHook(FSFileOperationChunkHook hook);
    ~ScopedFSFileOperationChunkHook();
    ScopedFSFileOperationChunkHook(const ScopedFSFileOperationChunkHook&) = delete;
    ScopedFSFileOperationChunkHook& operator=(const ScopedFSFileOperationChunkHook&) = delete;

private:
    std::shared_ptr<FSFileOperationChunkHook> previous_;
};

} // namespace vistel
