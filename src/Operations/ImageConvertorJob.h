#pragma once
// The jobs of the conversion engine (ImageConvertor.h).
//
// A job is a plain object without a thread: the engine deals it to a worker, which calls
// processWithErrorInfo() and reads the result record afterwards. All jobs of one batch share
// the batch's read-only options and one ImageConvertorBatch: the batch's remembered answers,
// the file count, and the output paths claimed by its running jobs.
//
// ImageConvertorPreflightJob expands the batch's files and folders into the full file list and
// the parallel list of destination paths, mirroring the folder structure below the output
// folder. A folder is entered once per (device, inode), so a link loop ends; hidden files in a
// folder are skipped, a file named directly is taken even when hidden. A camera's root
// ("ICA:/41") is a folder too: its files, read through the camera, go into a folder named like
// the camera.
//
// ImageConvertorJob turns one input file into one output file: it plans the output path (rename
// rule, the format's extension, a name taken on disk or by another job of the batch), asks the
// user once per batch when a file already exists or cannot be decoded, then copies the input
// unchanged or decodes it, turns it upright (and by the asked quarter turn), reduces it and
// encodes it (or makes a one-page PDF), and saves the result with the safe save. Only Replace
// writes over an existing file; a name taken after the job chose it, before its save or during
// it (-48), takes the next unique name.
// Names written to a picture frame or to a FAT, exFAT or FUSE block volume are made safe for it
// (fatSafeFileName()).
//
// Thread rules: a job runs on one worker at a time; the batch is locked by its jobs.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Operations/ImageConversionRules.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class ZovClass;

// The result of one job: errorCode 0 for success, skip, stop and cancel, else the failing
// step's code; operationType 5 when the job converted, 0 when it copied unchanged.
struct FileErrorInfo {
    std::int32_t errorCode = 0;
    std::int32_t operationType = 0;
};

// What the jobs of one batch share. Every read and write is under lock(), which a job also
// holds while a question about a name or an undecodable file is on screen, so the next job
// that reaches a question finds the remembered answer.
class ImageConvertorBatch final : public Object {
public:
    static Ref<ImageConvertorBatch> create(int duplicateAction, int noCodecAction);

    std::recursive_mutex& lock() { return lock_; }
    // Under lock():
    int duplicateAction = 0;
    int noCodecAction = 0;
    std::optional<int> totalNumberOfItems;
    // Output paths chosen by jobs of the batch that have not ended yet, by their claim key.
    std::set<std::string> claimedPaths;

private:
    ImageConvertorBatch() = default;
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::recursive_mutex lock_;
};

class ThreadJob : public Object {
public:
    int groupId() const { return groupId_; }
    void setGroupId(int groupId) { groupId_ = groupId; }
    const Value& options() const { return jobOptions_; }
    const Ref<ImageConvertorBatch>& batch() const { return batch_; }
    bool isFinished() const { return isFinished_; }
    void setFinished(bool finished) { isFinished_ = finished; }

    // The flag that stops the job (its group's); the job also stops when its worker is cancelled.
    void setCancelFlag(std::shared_ptr<std::atomic<bool>> flag) { cancelFlag_ = std::move(flag); }
    bool cancelFlagIs(const std::shared_ptr<std::atomic<bool>>& flag) const { return cancelFlag_ == flag; }
    // Raises the group's flag from the worker (a failure after which the group takes no job).
    void cancelGroupAtOnce()
    {
        if (cancelFlag_)
            cancelFlag_->store(true, std::memory_order_release);
    }
    bool isCancelled() const;

    // The worker that ran the job (0-based), -1 before it ran.
    int workerIndex() const { return workerIndex_.load(std::memory_order_acquire); }
    void setWorkerIndex(int index) { workerIndex_.store(index, std::memory_order_release); }

    virtual void processWithErrorInfo(FileErrorInfo& info) = 0;

protected:
    ThreadJob(int groupId, Value options, Ref<ImageConvertorBatch> batch)
        : groupId_(groupId), jobOptions_(std::move(options)), batch_(std::move(batch))
    {
    }

private:
    int groupId_;
    Value jobOptions_;
    Ref<ImageConvertorBatch> batch_;
    bool isFinished_ = false; // main thread
    std::shared_ptr<std::atomic<bool>> cancelFlag_;
    std::atomic<int> workerIndex_ {-1};
};

class ImageConvertorJob final : public ThreadJob {
public:
    static Ref<ImageConvertorJob> create(int groupId, int orderNumber, std::string inputFilePath,
                                         std::string outputFilePath, Value options, Ref<ImageConvertorBatch> batch,
                                         bool lastJob);

    int orderNumber() const { return orderNumber_; }
    const std::string& inputFilePath() const { return inputFilePath_; }
    const std::string& outputFilePath() const { return outputFilePath_; }
    // Where the job wrote (or was about to write); empty until it chose.
    std::string actualOutputFilePath() const;
    bool isLastJob() const { return isLastJob_; }

    static bool isConversionRequiredWithOptions(const Value& options);
    bool isConversionRequired() const { return isConversionRequiredWithOptions(options()); }

    void processWithErrorInfo(FileErrorInfo& info) override;

    static const ZovClass& zovClass();

private:
    ImageConvertorJob(int groupId, int orderNumber, std::string input, std::string output, Value options,
                      Ref<ImageConvertorBatch> batch, bool lastJob);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    void processOperation(int operation, FileErrorInfo& info);
    // Both with the batch locked.
    int getDuplicateFileAction(const std::string& outputFolder, const std::string& outputPath);
    std::string nextUniquePath(const std::string& path) const;
    int getNoCodecAction();
    int convertFrom(const std::string& input);
    int copyFrom(const std::string& input);
    // Saves `data` at the chosen output path; when the name was taken meanwhile (-48) takes the
    // next unique name, unless the job replaces.
    int save(const std::vector<std::uint8_t>& data);
    void releaseClaim();

    int orderNumber_;
    std::string inputFilePath_;
    std::string outputFilePath_;
    mutable std::mutex pathLock_;
    std::string actualOutputFilePath_;
    std::string claimKey_;
    bool isLastJob_;
    bool fatSafe_ = false;
    bool replace_ = false;
};

class ImageConvertorPreflightJob final : public ThreadJob {
public:
    static Ref<ImageConvertorPreflightJob> create(int groupId, std::vector<std::string> inputFiles,
                                                  std::string outputFolder, Value options,
                                                  Ref<ImageConvertorBatch> batch);

    const std::vector<std::string>& inputFiles() const { return inputFiles_; }
    const std::string& outputFolder() const { return outputFolder_; }
    // Read once the job has ended.
    const std::vector<std::string>& fullListOfFiles() const { return fullListOfFiles_; }
    const std::vector<std::string>& fullListOfDestinationFolders() const { return fullListOfDestinationFolders_; }

    void processWithErrorInfo(FileErrorInfo& info) override;

    // The planned output paths of the files found: the destination paths, except that a file
    // whose destination less its extension was met earlier in a converting batch becomes
    // "<base>_<input extension>.<extension>" (a.png, a.gif → a.png, a_gif.png → a.jpg, a_gif.jpg).
    static std::vector<std::string> plannedOutputPaths(const std::vector<std::string>& files,
                                                       const std::vector<std::string>& destinations,
                                                       bool conversionRequired);

private:
    ImageConvertorPreflightJob(int groupId, std::vector<std::string> inputFiles, std::string outputFolder,
                               Value options, Ref<ImageConvertorBatch> batch);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    void scanItem(const std::string& path, const std::string& destinationDir, bool isDir);
    // The files of the camera whose root is `root`, into a folder named like the camera.
    void scanCamera(const std::string& root, const std::string& destinationDir);

    std::vector<std::string> inputFiles_;
    std::string outputFolder_;
    std::vector<std::string> fullListOfFiles_;
    std::vector<std::string> fullListOfDestinationFolders_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> enteredFolders_;
};

// ---- Helpers of the jobs, exposed for their tests

// The extension written for a type: the first the type declares, "jpg" for "jpeg"; empty when
// the type declares none.
std::string outputExtensionForType(const std::string& typeIdentifier);

// A file name that a FAT or exFAT volume accepts: `"*/:<>?\|` and control characters become
// "_", trailing dots and blanks go, the DOS device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// with any extension) get "_" after them, and the base is cut at a character boundary so that
// the name stays within 255 UTF-16 units.
std::string fatSafeFileName(const std::string& name);
// Whether names written into `folder` must be FAT-safe: a picture frame, or a vfat, msdos,
// exfat or FUSE block file system.
bool folderNeedsFatSafeNames(const std::string& folder);

// The folder of a path: "" for a bare name, "/" for an item at the root.
std::string folderOfPath(const std::string& path);

// The target pixel size of a picture of upright size (w, h) reduced into the box (bw, bh),
// keeping its aspect: (w, h) when the box is (0, 0) or holds the picture.
FloatSize sizeInBox(FloatSize picture, FloatSize box);

} // namespace vistel
