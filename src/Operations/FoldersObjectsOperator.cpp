#include "Operations/FoldersObjectsOperator.h"

#include <sys/stat.h>

#include <condition_variable>
#include <mutex>

#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/Strings/NSStringDevices.h"
#include "Platform/FilePaths.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {
// The most items the deletion worker is ahead of the recorded ones, and the most results it
// hands back at once.
constexpr std::size_t MaxAhead = 64;
constexpr std::size_t MaxBatch = 16;
} // namespace

struct FoldersObjectsOperator::DeleteJob {
    std::mutex mutex;
    std::condition_variable changed;
    // Results the main thread has recorded; set there.
    std::size_t recorded = 0;
    bool cancelled = false;
};

struct FoldersObjectsOperator::Collect {
    Paths paths;
    int operationType = 0;
    std::vector<Ref<FSObjectInfo>> objects;
    std::uint64_t total = 0;
};

Ref<FoldersObjectsOperator> FoldersObjectsOperator::create(Paths paths, Value options, int operationType)
{
    return Ref<FoldersObjectsOperator>::adopt(new FoldersObjectsOperator(std::move(paths), std::move(options), operationType));
}

FoldersObjectsOperator::FoldersObjectsOperator(Paths paths, Value options, int operationType)
    : FileOperation(std::move(options), operationType)
    , selectedObjects_(std::move(paths))
{
}

void FoldersObjectsOperator::addStatusStringsTo(Value& record) const
{
    FileOperation::addStatusStringsTo(record);
    const std::int64_t total = std::int64_t(objectsToProcess_.size());
    record.set(kFSOperationBytesCompleteKey, std::int64_t(totalBytesDone_));
    record.set(kFSOperationTotalBytesKey, std::int64_t(totalBytes_));
    record.set(kFSOperationBytesRemainingKey, std::int64_t(totalBytes_ - std::min(totalBytes_, totalBytesDone_)));
    record.set(kFSOperationObjectsCompleteKey, std::int64_t(currentProcessIndex_));
    record.set(kFSOperationTotalObjectsKey, total);
    record.set(kFSOperationObjectsRemainingKey, total - std::int64_t(currentProcessIndex_));
    if (!record.contains(kFSOperationCurrentObjectKey) && !targetObject_.empty())
        record.set(kFSOperationCurrentObjectKey, lastPathComponent(targetObject_));
}

void FoldersObjectsOperator::preflight()
{
    totalItems_ = selectedObjects_.size();
    auto collect = std::make_shared<Collect>();
    collect->paths = selectedObjects_;
    collect->operationType = operationType_;
    Ref<FoldersObjectsOperator> self(this);
    runPreflight(
        [collect] {
            for (const std::string& path : collect->paths) {
                if (preflightCancelled())
                    return false;
                if (collect->operationType == kFileOperationDelete)
                    FSObjectInfo::collectFolderItems(path, &collect->objects, collect->total);
            }
            return true;
        },
        [self, collect] { self->preflightComplete(collect); });
}

void FoldersObjectsOperator::preflightComplete(const std::shared_ptr<Collect>& collect)
{
    objectsToProcess_ = std::move(collect->objects);
    totalBytes_ = collect->total;
    totalItems_ = objectsToProcess_.size();
    if (objectsToProcess_.empty())
        complete();
    else
        startNext();
}

void FoldersObjectsOperator::keepFoldersAbove(const std::string& path)
{
    const std::string* root = nullptr;
    for (const std::string& selected : selectedObjects_)
        if (isPathUnder(path, selected))
            root = &selected;
    if (!root)
        return;
    for (std::string folder = parentFolderPath(path); isPathUnder(folder, *root); folder = parentFolderPath(folder)) {
        struct stat info {};
        if (::lstat(folder.c_str(), &info) == 0)
            keptFolders_.insert({info.st_dev, info.st_ino});
        if (folder == *root || folder.size() <= 1)
            break;
    }
}

bool FoldersObjectsOperator::isKeptFolder(const FSObjectInfo& item) const
{
    return item.fsType() == 1 && keptFolders_.count({item.objectRef().device, item.objectRef().inode});
}

void FoldersObjectsOperator::startNext()
{
    if (finished_)
        return;
    if (currentProcessIndex_ >= objectsToProcess_.size()) {
        complete();
        return;
    }
    if (operationType_ != kFileOperationDelete)
        return;
    // Folders that hold a kept item stay, without a question, counted done.
    while (currentProcessIndex_ < objectsToProcess_.size()) {
        const Ref<FSObjectInfo>& next = objectsToProcess_[currentProcessIndex_];
        if (!isKeptFolder(*next))
            break;
        keepFoldersAbove(next->objectPath());
        totalBytesDone_ += next->objectSize();
        ++currentProcessIndex_;
        postStatus(Value::dictionary({{kFSOperationErrorKey, 0},
                                      {kFSOperationStageKey, kFSOperationStageRunning},
                                      {kFSOperationCurrentObjectKey, lastPathComponent(next->objectPath())}}));
    }
    if (currentProcessIndex_ >= objectsToProcess_.size()) {
        complete();
        return;
    }
    const Ref<FSObjectInfo> item = objectsToProcess_[currentProcessIndex_];
    const std::string path = item->objectPath();
    targetObject_ = path;
    if (item->isParentLocked()) {
        const FSRef parent = item->parentRef();
        if (!handleLockedObject(parent.path, &lockedFileAction_))
            return;
        for (std::size_t later = currentProcessIndex_ + 1; later < objectsToProcess_.size(); ++later) {
            FSObjectInfo& other = *objectsToProcess_[later];
            if (other.objectRef().sameObject(parent)) {
                other.setIsLocked(false);
                break;
            }
            if (other.parentRef().sameObject(parent))
                other.setIsParentLocked(false);
        }
    }
    if (item->isLocked() && !handleLockedObject(path, &lockedFileAction_))
        return;

    // This item and the items after it that need no question and are not kept are deleted in
    // order by one worker; it stops at the first failure or once cancelled. It hands the results
    // back in batches, and never gets more than MaxAhead items ahead of the ones recorded, so
    // that the records never trail the deletions far.
    std::vector<Ref<FSObjectInfo>> run {item};
    for (std::size_t next = currentProcessIndex_ + 1; next < objectsToProcess_.size(); ++next) {
        const Ref<FSObjectInfo>& other = objectsToProcess_[next];
        if (other->isLocked() || other->isParentLocked() || isKeptFolder(*other))
            break;
        run.push_back(other);
    }
    state_ = FileSystemFunctions::createFileOperation();
    auto job = std::make_shared<DeleteJob>();
    deleteJob_ = job;
    Ref<FoldersObjectsOperator> self(this);
    deleteThread_ = NSThreadExt::create([self, job, run = std::move(run)] {
        std::vector<StatusCode> batch;
        auto handBack = [&] {
            if (batch.empty())
                return;
            RunLoop::main()->perform([self, job, results = std::move(batch)] { self->handleResults(*job, results); },
                                     {NSDefaultRunLoopMode});
            batch = {};
        };
        for (std::size_t index = 0; index < run.size(); ++index) {
            std::unique_lock lock(job->mutex);
            if (index >= job->recorded + MaxAhead || batch.size() >= MaxBatch) {
                lock.unlock();
                handBack(); // before any wait: the wait is for these to be recorded
                lock.lock();
            }
            job->changed.wait(lock, [&] { return job->cancelled || index < job->recorded + MaxAhead; });
            if (job->cancelled)
                break;
            lock.unlock();
            const StatusCode error = StatusCode(std::int16_t(run[index]->deletePermanentlyFSObject()));
            batch.push_back(error);
            if (error != 0)
                break;
        }
        handBack();
        RunLoop::main()->perform([self] { self->deletionRunEnded(); }, {NSDefaultRunLoopMode});
    });
    deleteThread_->start();
}

void FoldersObjectsOperator::handleResults(DeleteJob& job, const std::vector<StatusCode>& results)
{
    for (const StatusCode error : results)
        handleFileOperation(error);
    const std::lock_guard lock(job.mutex);
    job.recorded += results.size();
    job.changed.notify_one();
}

bool FoldersObjectsOperator::cancelRunningItem()
{
    if (!deleteThread_)
        return false;
    {
        // The item under way ends; nothing more is deleted.
        const std::lock_guard lock(deleteJob_->mutex);
        deleteJob_->cancelled = true;
        deleteJob_->changed.notify_one();
    }
    deleteThread_->cancel();
    return true;
}

void FoldersObjectsOperator::handleFileOperation(StatusCode error)
{
    if (finished_ || currentProcessIndex_ >= objectsToProcess_.size())
        return;
    const Ref<FSObjectInfo> item = objectsToProcess_[currentProcessIndex_];
    targetObject_ = item->objectPath();
    if (error != 0) {
        handleError(error, FileOperationActionAsk, operationType_, targetObject_, {}, targetObject_);
        noteParentChanged(true);
        finish(error, true);
        return;
    }
    totalBytesDone_ += item->objectSize();
    ++currentProcessIndex_;
    noteParentChanged(false);
    postStatus(Value::dictionary({{kFSOperationErrorKey, 0},
                                  {kFSOperationStageKey, kFSOperationStageRunning},
                                  {kFSOperationCurrentObjectKey, lastPathComponent(targetObject_)}}));
}

void FoldersObjectsOperator::noteParentChanged(bool always)
{
    if (targetObject_.empty() || targetObject_.front() != '/')
        return;
    const std::string parent = parentFolderPath(targetObject_);
    if (always || parent != lastNotedFolder_)
        NSWorkspaceChanges::noteFileSystemChanged(parent);
    lastNotedFolder_ = parent;
}

void FoldersObjectsOperator::deletionRunEnded()
{
    deleteThread_ = {};
    deleteJob_ = {};
    FileSystemFunctions::releaseFileOperation(state_);
    state_ = {};
    if (finished_)
        return;
    noteParentChanged(true);
    targetObject_.clear();
    if (action_ == FileOperationActionStop)
        finish(0, true); // cancelled while deleting: what was deleted stays deleted, nothing more is
    else if (currentProcessIndex_ >= objectsToProcess_.size())
        finish(0, false);
    else
        startNext();
}

void FoldersObjectsOperator::skipNext()
{
    if (finished_ || currentProcessIndex_ >= objectsToProcess_.size())
        return;
    const Ref<FSObjectInfo> item = objectsToProcess_[currentProcessIndex_];
    targetObject_ = item->objectPath();
    if (item->fsType() == 1)
        keepFoldersAbove(targetObject_);
    complete();
}

void FoldersObjectsOperator::complete()
{
    if (finished_)
        return;
    const std::string name = lastPathComponent(targetObject_);
    completeItem();
    targetObject_.clear();
    if (currentProcessIndex_ < objectsToProcess_.size()) {
        totalBytesDone_ += objectsToProcess_[currentProcessIndex_]->objectSize();
        ++currentProcessIndex_;
        postStatus(Value::dictionary({{kFSOperationErrorKey, 0},
                                      {kFSOperationStageKey, kFSOperationStageRunning},
                                      {kFSOperationCurrentObjectKey, name}}));
    }
    if (currentProcessIndex_ < objectsToProcess_.size() && action_ != FileOperationActionStop) {
        startNext();
        return;
    }
    finish(0, action_ == FileOperationActionStop);
}

} // namespace vistel
