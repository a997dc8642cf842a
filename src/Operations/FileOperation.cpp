#include "Operations/FileOperation.h"

#include <map>

#include <QCheckBox>

#include "Common/Alert/NSAlertFileError.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/FileManagerLock.h"
#include "Common/FileSystem/NSFileManagerLeopardCompatibility.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/ErrorRecord.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/NotificationQueue.h"
#include "Platform/RunLoop.h"
#include "ZovTranslatorManager.h"

namespace vistel {

// --- status record readers ----------------------------------------------------------------------

namespace {

std::uint64_t unsignedAt(const Value& record, const char* key)
{
    const Value& value = record.get(key);
    if (const auto big = value.unsignedAboveInt64())
        return *big;
    const std::int64_t number = value.toInt64(0);
    return number < 0 ? 0 : std::uint64_t(number);
}

int intAt(const Value& record, const char* key) { return int(record.get(key).toInt64(0)); }

std::string stringAt(const Value& record, const char* key) { return record.get(key).toString(); }

} // namespace

std::uint32_t fileOperationStage(const Value& record) { return std::uint32_t(intAt(record, kFSOperationStageKey)); }
int fileOperationError(const Value& record) { return intAt(record, kFSOperationErrorKey); }
std::string fileOperationCurrentObject(const Value& record) { return stringAt(record, kFSOperationCurrentObjectKey); }
std::string fileOperationDestinationObject(const Value& record)
{
    return stringAt(record, kFSOperationDestinationObjectKey);
}
std::uint64_t fileOperationBytesComplete(const Value& record) { return unsignedAt(record, kFSOperationBytesCompleteKey); }
std::uint64_t fileOperationBytesTotal(const Value& record) { return unsignedAt(record, kFSOperationTotalBytesKey); }
std::uint64_t fileOperationBytesRemaining(const Value& record)
{
    return unsignedAt(record, kFSOperationBytesRemainingKey);
}
int fileOperationObjectsComplete(const Value& record) { return intAt(record, kFSOperationObjectsCompleteKey); }
int fileOperationObjectTotal(const Value& record) { return intAt(record, kFSOperationTotalObjectsKey); }
int fileOperationObjectsRemaining(const Value& record) { return intAt(record, kFSOperationObjectsRemainingKey); }
std::string fileOperationExplanationWithDestination(const Value& record)
{
    return stringAt(record, kFolderProgressKeyExplanationWithDestination);
}
std::string fileOperationExplanation(const Value& record)
{
    return stringAt(record, kFolderProgressKeyExplanationWithoutDestination);
}
std::string fileOperationStopText(const Value& record) { return stringAt(record, kFolderProgressKeyStopButtonText); }
int fileOperationOperationType(const Value& record) { return intAt(record, kFSOperationOperationType); }

// --- registry and running set -------------------------------------------------------------------

namespace {

FileOperationRegistryHooks& registryHooks()
{
    static FileOperationRegistryHooks hooks;
    return hooks;
}

// Main thread only.
std::map<FileOperation*, Ref<FileOperation>>& runningOperations()
{
    static std::map<FileOperation*, Ref<FileOperation>> operations;
    return operations;
}

} // namespace

FileOperationRegistryHooks setFileOperationRegistryHooks(FileOperationRegistryHooks hooks)
{
    FileOperationRegistryHooks previous = std::move(registryHooks());
    registryHooks() = std::move(hooks);
    return previous;
}

std::size_t FileOperation::runningCount() { return runningOperations().size(); }

const ZovClass& FileOperation::zovClass()
{
    static const ZovClass descriptor("FileOperation", &ZovClass::nsObject());
    return descriptor;
}

std::string FileOperation::translated(const char* english, const char* selector) const
{
    return ZOV_TRANSLATE_AS(zovClass(), english, selector);
}

// --- lifetime -----------------------------------------------------------------------------------

FileOperation::FileOperation(Value options, int operationType)
    : options_(std::move(options))
    , operationType_(operationType)
{
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification&) { handleCancelOperation(); }, kFSOperationCancelNotification, this);
}

FileOperation::~FileOperation() { NotificationCenter::defaultCenter().removeObserver(this); }

void FileOperation::launch(const Ref<FileOperation>& operation)
{
    runningOperations().emplace(operation.get(), operation);
    if (registryHooks().registerHandler)
        registryHooks().registerHandler(*operation);
    operation->preflight();
}

void FileOperation::schedule(std::function<void(FileOperation&)> step)
{
    Ref<FileOperation> self(this);
    RunLoop::main()->perform(
        [self, step = std::move(step)] {
            if (!self->finished_)
                step(*self);
        },
        {NSRunLoopCommonModes});
}

void FileOperation::scheduleCancel()
{
    schedule([](FileOperation& operation) { operation.handleCancelOperation(); });
}

void FileOperation::scheduleSkip()
{
    schedule([](FileOperation& operation) { operation.skipNext(); });
}

// --- records ------------------------------------------------------------------------------------

void FileOperation::addStatusStringsTo(Value& record) const
{
    for (const char* key : {kFolderProgressKeyStopButtonText, kFolderProgressKeyExplanationWithoutDestination,
                            kFolderProgressKeyExplanationWithDestination})
        if (options_.get(key).isString())
            record.set(key, options_.get(key));
}

void FileOperation::postStatus(Value record)
{
    addStatusStringsTo(record);
    record.set(kFSOperationOperationType, operationType_);
    NotificationQueue::defaultQueue().enqueueNotification(
        Notification {kFSOperationStatusNotification, Ref<Object>(this), std::move(record)},
        PostingStyle::NSPostASAP, NSNotificationNoCoalescing, {NSDefaultRunLoopMode});
}

void FileOperation::finish(StatusCode error, bool cancelled)
{
    if (finished_)
        return;
    finished_ = true;
    action_ = FileOperationActionStop;
    const std::uint32_t stage = (cancelled || error != 0) ? kFSOperationStageCancelled : kFSOperationStageComplete;
    postStatus(Value::dictionary({{kFSOperationStageKey, stage}, {kFSOperationErrorKey, error}}));
    NotificationCenter::defaultCenter().removeObserver(this);
    stopPreflight();
    if (registryHooks().unregisterHandler)
        registryHooks().unregisterHandler(*this);
    // Let go in a later pass: this may run inside the operation's own callback.
    Ref<FileOperation> self(this);
    RunLoop::main()->perform([self] { runningOperations().erase(self.get()); }, {NSRunLoopCommonModes});
}

void FileOperation::handleCancelOperation()
{
    if (finished_)
        return;
    action_ = FileOperationActionStop;
    if (cancelRunningItem())
        return; // the item's own end finishes the operation
    finish(0, true);
}

void FileOperation::completeItem()
{
    if (!state_)
        return;
    if (auto* operation = FileSystemFunctions::fsFileOperation(state_))
        operation->unscheduleFromRunLoop(RunLoop::main(), NSDefaultRunLoopMode);
    FNSubscribeFileObserver& observer = FNSubscribeFileObserver::sharedFileObserver();
    switch (operationType_) {
    case kFileOperationMove:
    case kFileOperationRename:
        if (!destinationItem_.empty())
            observer.forceAddPath(destinationItem_);
        [[fallthrough]];
    case kFileOperationMoveToTrash:
    case kFileOperationDelete:
        if (!targetObject_.empty() && targetObject_.front() == '/')
            NSWorkspaceChanges::noteFileSystemChanged(parentFolderPath(targetObject_));
        break;
    default:
        if (!destinationItem_.empty() && action_ != FileOperationActionUniqueName)
            observer.forceAddPath(destinationItem_);
        break;
    }
    destinationItem_.clear();
    targetObject_.clear();
    FileSystemFunctions::releaseFileOperation(state_);
    state_ = {};
}

// --- locked items -------------------------------------------------------------------------------

bool FileOperation::checkLocked(const std::string& path, int* action)
{
    unlockedItem_.clear();
    StatusCode error = 0;
    if (!NSFileManagerLeopardCompatibility::isPathLockedExt(path, error))
        return true;
    return handleLockedObject(path, action);
}

bool FileOperation::handleLockedObject(const std::string& path, int* action)
{
    static constexpr const char* Selector = "handleLockedObject:action:";
    int answer = *action;
    if (answer == FileOperationActionAsk) {
        auto alert = Alert::alertWithMessageText(
            vistel::format(translated("Item named \"%@\" is locked.", Selector), lastPathComponent(path)),
            translated("Unlock", Selector), translated("Stop", Selector), translated("Skip", Selector),
            translated("Do you want to unlock this item to continue?", Selector));
        answer = askQuestion(*alert, FileOperationActionUnlock, FileOperationActionStop, action, Selector);
    }
    switch (answer) {
    case FileOperationActionStop: scheduleCancel(); return false;
    case FileOperationActionSkip: scheduleSkip(); return false;
    case FileOperationActionUnlock: {
        StatusCode error = 0;
        if (NSFileManagerLeopardCompatibility::unlockFileAtPath(path, &error)) {
            unlockedItem_ = path;
        } else {
            ErrorRecord record;
            record.domain = "NSOSStatusErrorDomain";
            record.code = error;
            record.userInfo = Value::dictionary({{"NSLocalizedDescription", statusText(error)}});
            PlatformApplication::presentError(record);
        }
        return true;
    }
    default: return true;
    }
}

int FileOperation::askQuestion(Alert& alert, int firstAnswer, int fourthAnswer, int* remembered, const char* selector)
{
    alert.setShowsSuppressionButton(true);
    alert.suppressionButton()->setText(QString::fromStdString(translated("Apply to all", selector)));
    const int result = alert.runModal();
    int answer = FileOperationActionStop;
    if (result == NSAlertDefaultReturn || result == NSAlertFirstButtonReturn)
        answer = firstAnswer;
    else if (result == NSAlertOtherReturn || result == NSAlertThirdButtonReturn)
        answer = FileOperationActionSkip;
    else if (result == NSAlertThirdButtonReturn + 1)
        answer = fourthAnswer;
    if (alert.suppressionButton()->isChecked() || answer == FileOperationActionStop)
        *remembered = answer;
    return answer;
}

void FileOperation::runPreflight(std::function<bool()> work, std::function<void()> done)
{
    postStatus(Value::dictionary({{kFSOperationErrorKey, 0}, {kFSOperationStageKey, kFSOperationStagePreflighting}}));
    Ref<FileOperation> self(this);
    preflightThread_ = NSThreadExt::create([self, work = std::move(work), done = std::move(done)] {
        if (!work())
            return;
        RunLoop::main()->perform(
            [self, done] {
                self->preflightThread_ = {};
                if (!self->finished_)
                    done(); // once stopped while measuring or collecting, nothing starts
            },
            {NSDefaultRunLoopMode});
    });
    preflightThread_->start();
}

bool FileOperation::preflightCancelled() { return NSThreadExt::currentThreadExt()->isCancelled(); }

void FileOperation::stopPreflight()
{
    if (!preflightThread_)
        return;
    preflightThread_->cancel();
    preflightThread_->abort();
    preflightThread_ = {};
}

void FileOperation::relockUnlockedItem()
{
    if (unlockedItem_.empty())
        return;
    StatusCode error = 0;
    if (!NSFileManagerLeopardCompatibility::lockFileAtPath(unlockedItem_, &error))
        ZovLog("FileOperation::relockUnlockedItem " + unlockedItem_ + " " + statusText(error));
    unlockedItem_.clear();
}

// --- errors, folders, quitting ------------------------------------------------------------------

void FileOperation::handleError(StatusCode error, int operationAction, int operationType, const std::string& source,
                                const std::string& destination, const std::string& targetObject)
{
    if (operationAction == FileOperationActionUniqueName)
        NSAlertFileError::showFileError(error, kFileOperationRename, source, targetObject);
    else
        NSAlertFileError::showFileError(error, operationType, source, destination);
}

StatusCode FileOperation::createFolder(const std::string& path)
{
    const std::string parent = parentFolderPath(path);
    FSRef parentRef;
    bool isDirectory = false;
    StatusCode error = makeFSRef(parent, parentRef, &isDirectory);
    if (error == 0 && !isDirectory)
        error = status::FolderNotFound;
    if (error == 0)
        NSFileManagerLeopardCompatibility::createDirectoryAtPathExt(path, false, Value(), &error);
    if (error != 0) {
        // The alert names the folder that could not be made (its destination is the new item).
        handleError(error, FileOperationActionAsk, kFileOperationCreateFolder, path, path, path);
        return error;
    }
    NSWorkspaceChanges::noteFileSystemChanged(parent);
    return 0;
}

int FileOperation::applicationShouldTerminate(std::string* source, std::string* destination,
                                              std::string* description) const
{
    static constexpr const char* Selector = "applicationShouldTerminate:source:destination:description:";
    if (source)
        *source = targetObject_;
    if (destination)
        *destination = destinationItem_;
    if (description) {
        std::string folderName;
        if (!destinationItem_.empty())
            folderName = ZovVolumeManager::sharedVolumeManager().displayNameFromPath(parentFolderPath(destinationItem_));
        if (folderName.empty())
            folderName = "???";
        switch (operationType_) {
        case kFileOperationCopy:
            *description = vistel::format(translated("Copying %d files to \"%@\"", Selector), filesCount(), folderName);
            break;
        case kFileOperationMoveToTrash:
            *description = vistel::format(translated("Moving %d files to Trash", Selector), filesCount());
            break;
        case kFileOperationDelete:
            *description = vistel::format(translated("Deleting %d files", Selector), filesCount());
            break;
        case kFileOperationMove:
            *description = vistel::format(translated("Moving %d files to \"%@\"", Selector), filesCount(), folderName);
            break;
        case kFileOperationRename:
            *description = vistel::format(translated("Renaming %d files to \"%@\"", Selector), filesCount(), folderName);
            break;
        default: description->clear(); break;
        }
    }
    return 0;
}

} // namespace vistel
