#include "Operations/BatchFileOperation.h"

#include <sys/stat.h>

#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/NSWorkspaceFolderCalculations.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Strings/NSStringExtensions.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {

bool sameObject(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Bytes of one source as the progress counts them: a folder's tree, a file's size, 0 when
// there is nothing to measure. Links are not followed.
std::uint64_t measuredSize(const std::string& path)
{
    const Value attributes = FileSystemFunctions::fileAttributesAtPath(path, false);
    if (!attributes.isDictionary() || attributes.asDictionary().empty())
        return 0;
    if (attributes.get("NSFileType").toString() == "NSFileTypeDirectory") {
        FSRef ref;
        if (makeFSRef(path, ref) != 0)
            return 0;
        return NSWorkspaceCalculations::folderSizeForFSRef(ref, nullptr);
    }
    const std::int64_t size = attributes.get("NSFileSize").toInt64(0);
    return size < 0 ? 0 : std::uint64_t(size);
}

} // namespace

struct BatchFileOperation::Measure {
    Paths paths;
    std::vector<std::uint64_t> sizes;
    std::uint64_t total = 0;
};

Ref<BatchFileOperation> BatchFileOperation::create(Paths paths, Value options, int operationType)
{
    return Ref<BatchFileOperation>::adopt(new BatchFileOperation(std::move(paths), std::move(options), operationType));
}

BatchFileOperation::BatchFileOperation(Paths paths, Value options, int operationType)
    : FileOperation(std::move(options), operationType)
    , pathesList_(std::move(paths))
{
    pathesSizes_.reserve(pathesList_.size());
}

void BatchFileOperation::preflight()
{
    totalItems_ = int(pathesList_.size());
    auto measure = std::make_shared<Measure>();
    measure->paths = pathesList_;
    Ref<BatchFileOperation> self(this);
    runPreflight(
        [measure] {
            for (const std::string& path : measure->paths) {
                if (preflightCancelled())
                    return false;
                measure->sizes.push_back(measuredSize(path));
                measure->total += measure->sizes.back();
            }
            return true;
        },
        [self, measure] { self->preflightComplete(measure); });
}

void BatchFileOperation::preflightComplete(const std::shared_ptr<Measure>& measure)
{
    pathesSizes_ = measure->sizes;
    totalBytes_ = measure->total;
    totalItems_ = int(pathesList_.size());
    if (pathesList_.empty())
        finish(0, false);
    else
        startNext();
}

void BatchFileOperation::addStatusStringsTo(Value& record) const
{
    FileOperation::addStatusStringsTo(record);
    if (record.contains(kFSOperationBytesCompleteKey))
        return;
    record.set(kFSOperationBytesCompleteKey, std::uint64_t(totalBytesDone_));
    record.set(kFSOperationTotalBytesKey, std::uint64_t(totalBytes_));
    record.set(kFSOperationBytesRemainingKey, std::uint64_t(totalBytes_ - std::min(totalBytes_, totalBytesDone_)));
    record.set(kFSOperationObjectsCompleteKey, totalItemsDone_);
    record.set(kFSOperationTotalObjectsKey, totalItems_);
    record.set(kFSOperationObjectsRemainingKey, totalItems_ - totalItemsDone_);
}

void BatchFileOperation::startNext()
{
    if (finished_)
        return;
    if (index_ >= pathesList_.size() || action_ == FileOperationActionStop) {
        finish(0, action_ == FileOperationActionStop);
        return;
    }
    const std::string source = pathesList_[index_];
    std::optional<std::string> name;
    if (index_ < toNames_.size())
        name = toNames_[index_];
    const bool volumePath = !source.empty() && source.front() == '/';
    const int type = operationType_;
    if ((type == kFileOperationMoveToTrash || type == kFileOperationMove || type == kFileOperationRename) &&
        volumePath && !checkLocked(source, &lockedFileAction_))
        return;

    std::uint32_t flags = flags_ & ~std::uint32_t(kFSFileOperationOverwrite);
    if (type != kFileOperationMoveToTrash) {
        bool overwrite = false;
        destinationItem_ = joinPath(toPath_, name.value_or(lastPathComponent(source)));
        const auto destination = checkDuplicate(source, name.value_or(lastPathComponent(source)), overwrite);
        if (!destination)
            return;
        destinationItem_ = *destination;
        if (overwrite) {
            NSWorkspaceCalculations::unlockFolderContent(destinationItem_);
            flags |= kFSFileOperationOverwrite;
        }
        name = lastPathComponent(destinationItem_);
    }
    targetObject_ = source;

    auto callback = [](FSFileOperation*, const char* item, std::uint32_t stage, StatusCode error,
                       const Value& dictionary, Object* info) {
        static_cast<BatchFileOperation*>(info)->status(item, stage, error, dictionary);
    };
    state_ = FileSystemFunctions::FSPathObjectsOperationAsyncEx(
        source.c_str(), type == kFileOperationMoveToTrash ? nullptr : toPath_.c_str(), name, flags, callback, interval_,
        Ref<Object>(this), type);
    if (const StatusCode refused = state_->error()) {
        // Refused before it began (a camera item trashed or renamed): reported, then skipped.
        handleError(refused, FileOperationActionAsk, type, source, destinationItem_, source);
        relockUnlockedItem();
        FileSystemFunctions::releaseFileOperation(state_);
        state_ = {};
        skipNext();
        return;
    }
    if (auto* operation = FileSystemFunctions::fsFileOperation(state_))
        operation->scheduleWithRunLoop(RunLoop::main(), NSDefaultRunLoopMode);
}

std::optional<std::string> BatchFileOperation::checkDuplicate(const std::string& source, const std::string& name,
                                                             bool& overwrite)
{
    static constexpr const char* Selector = "checkDuplicate:toPath:toName:action:";
    const std::string candidate = joinPath(toPath_, name);
    const bool cameraCandidate = NSStringDevices::isICADevicePath(candidate);
    struct stat taken {};
    const bool isTaken = cameraCandidate ? FileSystemFunctions::fileExistsAtPath(candidate)
                                         : ::lstat(candidate.c_str(), &taken) == 0;
    if (!isTaken)
        return candidate;

    struct stat sourceInfo {};
    const bool sourceKnown = !cameraCandidate && ::lstat(source.c_str(), &sourceInfo) == 0;
    struct stat destinationFolder {};
    struct stat sourceFolder {};
    const bool sameFolder = ::stat(toPath_.c_str(), &destinationFolder) == 0 &&
                            ::stat(parentFolderPath(source).c_str(), &sourceFolder) == 0 &&
                            sameObject(destinationFolder, sourceFolder);
    if (sourceKnown && sameObject(taken, sourceInfo)) {
        // The name is the source's own.
        if (operationType_ == kFileOperationRename && candidate != source)
            return candidate; // the same item under another spelling: no clash
        if (operationType_ != kFileOperationCopy) {
            scheduleSkip(); // moving an item where it already is: done
            return std::nullopt;
        }
    }
    if (sameFolder) {
        if (operationType_ == kFileOperationRename) {
            auto alert = Alert::alertWithMessageText(
                vistel::format(translated("The name \"%@\" is already taken.", Selector), name),
                translated("OK", Selector), std::nullopt, std::nullopt,
                translated("Please choose a different name.", Selector));
            alert->runModal();
            scheduleSkip();
            return std::nullopt;
        }
        return NSStringExtensions::createUniqueFilePathFromPath(candidate, 0);
    }

    int answer = action_;
    if (answer == FileOperationActionAsk) {
        auto alert = Alert::alertWithMessageText(
            vistel::format(translated("An item named \"%@\" already exists in this location.", Selector), name),
            translated("Replace", Selector), translated("Stop", Selector), translated("Don't Replace", Selector),
            translated("Do you want to replace it with the one you're moving?", Selector));
        alert->addButtonWithTitle(translated("Rename", Selector));
        answer = askQuestion(*alert, FileOperationActionReplace, FileOperationActionUniqueName, &action_, Selector);
    }
    switch (answer) {
    case FileOperationActionStop: scheduleCancel(); return std::nullopt;
    case FileOperationActionSkip: scheduleSkip(); return std::nullopt;
    case FileOperationActionUniqueName: return NSStringExtensions::createUniqueFilePathFromPath(candidate, 0);
    default: overwrite = true; return candidate;
    }
}

void BatchFileOperation::skipNext()
{
    if (finished_ || index_ >= pathesList_.size())
        return;
    const std::uint64_t size = index_ < pathesSizes_.size() ? pathesSizes_[index_] : 0;
    Value record = Value::dictionary({{kFSOperationStageKey, kFSOperationStageRunning}, {kFSOperationErrorKey, 0}});
    record.set(kFSOperationCurrentObjectKey, pathesList_[index_]);
    destinationItem_.clear();
    targetObject_.clear();
    advance(size);
    postStatus(std::move(record));
    if (!finished_)
        startNext();
}

void BatchFileOperation::advance(std::uint64_t bytes)
{
    ++index_;
    ++totalItemsDone_;
    totalBytesDone_ += bytes;
}

bool BatchFileOperation::cancelRunningItem()
{
    if (!state_)
        return false;
    FileSystemFunctions::cancelFileOperation(state_);
    return true;
}

void BatchFileOperation::status(const char* item, std::uint32_t stage, StatusCode error, const Value& dictionary)
{
    if (finished_ || !state_)
        return;
    const std::string itemPath = item ? item : "";
    if (error != 0) {
        relockUnlockedItem();
        const bool usersCancel = error == status::UserCanceled;
        if (!usersCancel)
            handleError(error, FileOperationActionAsk, operationType_, targetObject_, destinationItem_, targetObject_);
        completeItem();
        finish(usersCancel ? 0 : error, true);
        return;
    }
    if (stage != kFSOperationStageComplete && !destinationItem_.empty() &&
        itemPath == parentFolderPath(destinationItem_))
        return;

    const std::uint64_t size = index_ < pathesSizes_.size() ? pathesSizes_[index_] : 0;
    const std::uint64_t bytes =
        stage == kFSOperationStagePreflighting ? 0
        : stage == kFSOperationStageComplete   ? size
                                               : fileOperationBytesComplete(dictionary);
    const int done = stage == kFSOperationStageComplete ? 1 : 0;
    Value record = dictionary.isDictionary() ? dictionary : Value::dictionary();
    const std::uint64_t complete = std::min(totalBytes_, totalBytesDone_ + bytes);
    record.set(kFSOperationBytesCompleteKey, complete);
    record.set(kFSOperationTotalBytesKey, std::uint64_t(totalBytes_));
    record.set(kFSOperationBytesRemainingKey, std::uint64_t(totalBytes_ - complete));
    record.set(kFSOperationObjectsCompleteKey, totalItemsDone_ + done);
    record.set(kFSOperationTotalObjectsKey, totalItems_);
    record.set(kFSOperationObjectsRemainingKey, totalItems_ - (totalItemsDone_ + done));
    // Stage 3 reaches readers once, in the final record.
    record.set(kFSOperationStageKey, kFSOperationStageRunning);
    record.set(kFSOperationErrorKey, 0);
    record.set(kFSOperationCurrentObjectKey,
               operationType_ == kFileOperationMoveToTrash ? targetObject_ : itemPath);
    if (!destinationItem_.empty())
        record.set(kFSOperationDestinationObjectKey, destinationItem_);
    postStatus(std::move(record));

    if (stage != kFSOperationStageComplete)
        return;
    unlockedItem_.clear();
    completeItem();
    advance(size);
    if (action_ == FileOperationActionStop) {
        finish(0, true);
        return;
    }
    // The next item starts in a later pass, outside the engine's callback.
    Ref<BatchFileOperation> self(this);
    RunLoop::main()->perform([self] { self->startNext(); }, {NSDefaultRunLoopMode});
}

} // namespace vistel
