#pragma once
// ImageConvertor: the batch conversion engine.
//
// Every batch conversion, resize, rename, Save As, rotation and picture-frame transfer runs
// here. A caller hands addJobWithInputFiles() a list of files and folders, an output folder and
// an options dictionary (keys below); the engine makes a group holding one preflight job,
// which expands the folders into the full file list on a worker, then a second group with one
// conversion job per file found. Jobs are dealt in advance to the engine's workers (one per
// processor), job i of a group to worker i mod N.
//
// Progress. Each group posts "kFSOperationStatusNotification" (FileOperation.h) with itself as
// the object, directly on the default centre; the records are read with the fileOperation...
// readers and carry "kFSOperationOperationType" 5. The preflight group posts stage 1 and ends
// with stage 3; the conversion group - a different object, announced only through its own
// records - posts stage 2 when it starts and after each job. Every group ends with exactly one
// final record: stage 3 with error 0, or stage 4 with the failure's code (0 for the user's
// cancel). A preflight that finds nothing ends its batch there (no conversion group).
// Posting "kFSOperationCancelNotification" with a group as object cancels that group only.
//
// Errors. A job that fails ends its own group: the file-error alert names that job's input
// and output, and the group's final record is stage 4 with the code. Other groups go on.
//
// Cancelling only raises flags and drops the group's jobs still waiting in the workers' lists;
// the main thread never waits for a worker (a worker may be waiting for the main thread to
// answer a question). A job checks its group's flag between its steps and writes nothing once
// it is raised.
//
// Quitting. While it runs a group is registered with the quit-time registry through the
// installed ImageConvertorRegistryHooks and describes itself with applicationShouldTerminate().
//
// Thread rules: addJobWithInputFiles(), cancel, the group accessors and the hooks on the main
// thread; jobs run on the workers; results reach the main thread through its run loop (common
// modes).

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Common/Tools/Threads/SignalObject.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class ImageConvertorJob;
class ImageConvertorThread;
class ImageConvertorBatch;
class ThreadJob;
class ZovClass;

// ---- Option keys of addJobWithInputFiles()
//
// A batch converts (decodes and encodes) when one of "format", "resizeOperator", "size" or
// "rotate" is present; otherwise it copies its files unchanged (a rename batch).

// String, a type identifier: "public.jpeg", "public.png", "com.compuserve.gif", "public.tiff",
// "public.jpeg-2000", "com.adobe.pdf". Absent: the picture's own type.
inline constexpr const char* kImageConvertorFormatKey = "format";
// Number 0..1: lossy quality. Absent: convertionQuality() (so pass 1.0 for a lossless turn).
// For JPEG 2000, 1.0 is lossless.
inline constexpr const char* kImageConvertorQualityKey = "quality";
// Integer: TIFF compression (1 none, 5 LZW, 32773 PackBits).
inline constexpr const char* kImageConvertorCompressionKey = "compression";
// String: the PDF's password, used only when "encrypt" is true.
inline constexpr const char* kImageConvertorPasswordKey = "password";
inline constexpr const char* kImageConvertorEncryptKey = "encrypt";
// Array [width, height] in pixels: the box the upright picture is reduced into, keeping its
// aspect; never enlarged; [0, 0] keeps the size.
inline constexpr const char* kImageConvertorSizeKey = "size";
// Object (ImageConversionRules.h): ImageResizeOperatorProtocol / ImageRenameOperatorProtocol.
inline constexpr const char* kImageConvertorResizeOperatorKey = "resizeOperator";
inline constexpr const char* kImageConvertorRenameOperatorKey = "renameOperator";
// Number, radians: within 0.00001 of pi/2 a quarter turn clockwise, any other value a quarter
// turn anticlockwise.
inline constexpr const char* kImageConvertorRotateKey = "rotate";
// Boolean, read with "rotate": false forces decoding and encoding again; true or absent lets
// the turn be made by rewriting the orientation only (with "quality" 1.0 and no other change).
inline constexpr const char* kImageConvertorRotateQualityKey = "rotateQuality";
// Integers (FileOperationAction): the batch's first answers to a name already taken (1 replace,
// 2 unique name, 4 skip, 5 stop) and to a file no codec reads (4 skip, 5 stop, 6 copy it).
inline constexpr const char* kFileOperationDuplicateActionKey = "FileOperationDuplicateAction";
inline constexpr const char* kFileOperationNoCodecActionKey = "FileOperationNoCodecAction";
// Also read: the three progress texts kFolderProgressKey... of FileOperation.h.

// The shared answers dictionary's count of files found by the preflight.
inline constexpr const char* kImageConvertorTotalNumberOfItemsKey = "totalNumberOfItems";

// The signal a worker emits when a job ends; user info "job", "kFSOperationErrorKey",
// "operationType".
inline constexpr const char* ImageConvertorThreadJobFinishedSignal = "ImageConvertorThreadJobFinishedSignal";

class ImageConvertorJobGroup;

// How groups reach the quit-time registry: called on the main thread when a group starts and
// when it has posted its final record. Empty members do nothing.
struct ImageConvertorRegistryHooks {
    std::function<void(ImageConvertorJobGroup&)> registerHandler;
    std::function<void(ImageConvertorJobGroup&)> unregisterHandler;
};
// Installs the hooks (the application does at start-up); answers the previous ones.
ImageConvertorRegistryHooks setImageConvertorRegistryHooks(ImageConvertorRegistryHooks hooks);

// One group of jobs: a batch's preflight, or its conversions.
class ImageConvertorJobGroup final : public Object {
public:
    int groupId() const { return groupId_; }
    const Value& options() const { return groupOptions_; }
    int jobsCount() const { return static_cast<int>(groupJobs_.size()); }
    Ref<ThreadJob> jobAtIndex(int index) const;
    int jobsCompleted() const { return jobsCount() - remains_; }
    float progress() const;
    bool isFinished() const { return remains_ == 0; }
    // Whether the group was cancelled (by the user or by a failing job).
    bool isCancelled() const { return cancelled_->load(std::memory_order_acquire); }
    // The flag its jobs read on the workers.
    const std::shared_ptr<std::atomic<bool>>& cancelFlag() const { return cancelled_; }

    // The quit-time question: 0 (running: work would be lost), with the group's source, its
    // destination folder and a description ("Converting 12 images to \"Desktop\"").
    unsigned applicationShouldTerminate(std::string* source, std::string* destination, std::string* description) const;

    static const ZovClass& zovClass();

private:
    friend class ImageConvertor;
    ImageConvertorJobGroup(int groupId, std::vector<Ref<ThreadJob>> jobs, Value options);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    // Counts the job as done; false when it is not one of the group's or was counted.
    bool setJobFinished(ThreadJob& job);
    void cancelAll();

    int groupId_;
    std::vector<Ref<ThreadJob>> groupJobs_;
    int remains_;
    Value groupOptions_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    bool finalPosted_ = false;
    bool registered_ = false;
};

class ImageConvertor final : public SignalObject {
public:
    // The shared engine, one worker per online processor, made at first use on the main thread.
    static ImageConvertor& sharedImageConvertor();
    // Cancels every group and stops the workers, waiting for each one's current job to notice.
    // The shared engine does this at exit (before static objects go, and when the application
    // object goes): a worker still in a cancelled job must not outlive what it reads.
    void stopWorkers();
    // An engine of its own with `workerCount` workers (tests); workers stop when it goes.
    static Ref<ImageConvertor> create(int workerCount);

    // The default conversion quality, 0 to 1: what a batch without "quality" uses.
    static constexpr float convertionQuality() { return 0.95f; }

    // Starts a batch and answers its preflight group (the engine keeps it).
    Ref<ImageConvertorJobGroup> addJobWithInputFiles(const std::vector<std::string>& inputFiles,
                                                     const std::string& outputFolder, const Value& options);

    // The options of a rotation of pictures in place: a quarter turn clockwise or not, without
    // re-encoding where the format allows; over the original unless `keepCopy`, else under a
    // unique name beside it. The caller adds its progress texts.
    static Value rotationOptions(bool clockwise, bool keepCopy);

    // Cancels a running group (as posting "kFSOperationCancelNotification" for it does).
    void handleCancelOperation(ImageConvertorJobGroup& group);

    // Groups that have not posted their final record, by id.
    std::vector<Ref<ImageConvertorJobGroup>> runningGroups() const;
    int workerCount() const { return static_cast<int>(threads_.size()); }

    ~ImageConvertor() override;

private:
    explicit ImageConvertor(int workerCount);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    int nextGroupId() const;
    Ref<ImageConvertorJobGroup> makeGroup(std::vector<Ref<ThreadJob>> jobs, const Value& options);
    void startJobGroup(ImageConvertorJobGroup& group);
    void jobFinished(const Value& userInfo);
    void preflightFinished(ImageConvertorJobGroup& group, ThreadJob& job, int errorCode, int operationType);
    // A non-zero status ends the group and shows the file-error alert naming `failedJob`.
    void reportGroup(ImageConvertorJobGroup& group, int status, int operationType, ThreadJob* failedJob = nullptr);
    void postFinal(ImageConvertorJobGroup& group, bool cancelled, int error);
    void retireGroup(ImageConvertorJobGroup& group);

    std::map<int, Ref<ImageConvertorJobGroup>> jobGroups_;
    std::vector<Ref<ImageConvertorThread>> threads_;
};

} // namespace vistel
