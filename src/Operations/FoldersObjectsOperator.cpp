#include "Operations/FoldersObjectsOperator.h"

#include <sys/stat.h>

#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/Strings/NSStringDevices.h"
#include "Platform/FilePaths.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {
// The most items one deletion worker takes.
constexpr std::size_t MaxRun = 64;
} // namespace

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
        if (next->fsType() != 1 || !keptFolders_.count({next->objectRef().device, next->objectRef().inode}))
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

    // This item and the items after it that need no question are deleted in order by one
    // worker; it stops at the first failure or once cancelled, and hands back each result. A
    // run is kept short so that the records never trail the deletions far.
    std::vector<Ref<FSObjectInfo>> run {item};
    for (std::size_t next = currentProcessIndex_ + 1; next < objectsToProcess_.size() && run.size() < MaxRun; ++next) {
        const Ref<FSObjectInfo>& other = objectsToProcess_[next];
        if (other->isLocked() || other->isParentLocked())
            break;
        run.push_back(other);
    }
    state_ = FileSystemFunctions::createFileOperation();
    Ref<FoldersObjectsOperator> self(this);
    deleteThread_ = NSThreadExt::create([self, run = std::move(run)] {
        for (const Ref<FSObjectInfo>& object : run) {
            if (NSThreadExt::currentThreadExt()->isCancelled())
                break;
            const StatusCode error = StatusCode(std::int16_t(object->deletePermanentlyFSObject()));
            RunLoop::main()->perform([self, error] { self->handleFileOperation(error); }, {NSDefaultRunLoopMode});
            if (error != 0)
                break;
        }
        RunLoop::main()->perform([self] { self->deletionRunEnded(); }, {NSDefaultRunLoopMode});
    });
    deleteThread_->start();
}

bool FoldersObjectsOperator::cancelRunningItem()
{
    if (!deleteThread_)
        return false;
    deleteThread_->cancel(); // the item under way ends; nothing more is deleted
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
