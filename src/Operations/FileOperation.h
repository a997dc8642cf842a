#pragma once
// FileOperation: a long-running file operation the user starts from browse mode (copy, move,
// move to the Trash, rename, permanent delete), its status record and its questions.
//
// An operation is made by one of the static factories, which answer it already running: it
// first measures or collects its items on a worker thread (stage 1), then processes them one
// by one on the main thread (stage 2), each copy, move, rename or Trash through the
// file-operation engine (FileSystemFunctions), each permanent deletion on a short-lived
// worker. Progress travels as "kFSOperationStatusNotification" (object: the operation, user
// info: the status record read with the fileOperation... readers below), posted ASAP without
// coalescing, so records arrive in order. Every operation ends with exactly one final record:
// stage 3 with error 0 when every item was done or skipped by answer, otherwise stage 4 with
// the failure's code (0 for the user's cancel, which shows no alert). Nothing is posted after
// it. Posting "kFSOperationCancelNotification" with the operation as object cancels it.
//
// Questions (locked item, name taken) are modal alerts on the main thread; engine callbacks
// and worker results are performed in the default run-loop mode, so they wait while a
// question holds the modal-panel mode.
//
// Lifetime: a main-thread set holds every operation from its factory until its final record;
// it lets go in a later perform, never inside the operation's own callback. While it runs an
// operation is registered with the quit-time registry through the installed
// FileOperationRegistryHooks, and answers the registry's questions with
// applicationShouldTerminate().
//
// Thread rules: the main thread only (factories, cancel, readers of the operation).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Object.h"
#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel {

class Alert;

class ZovClass;

inline constexpr const char* kFSOperationStatusNotification = "kFSOperationStatusNotification";
inline constexpr const char* kFSOperationCancelNotification = "kFSOperationCancelNotification";

inline constexpr const char* kFSOperationStageKey = "kFSOperationStageKey";
inline constexpr const char* kFSOperationErrorKey = "kFSOperationErrorKey";
inline constexpr const char* kFSOperationCurrentObjectKey = "kFSOperationCurrentObjectKey";
inline constexpr const char* kFSOperationDestinationObjectKey = "kFSOperationDestinationObjectKey";
inline constexpr const char* kFSOperationOperationType = "kFSOperationOperationType";

inline constexpr const char* kFolderProgressKeyStopButtonText = "kFolderProgressKeyStopButtonText";
inline constexpr const char* kFolderProgressKeyExplanationWithoutDestination =
    "kFolderProgressKeyExplanationWithoutDestination";
inline constexpr const char* kFolderProgressKeyExplanationWithDestination = "kFolderProgressKeyExplanationWithDestination";

// Stage of a status record: 1 preflighting, 2 running, 3 complete (the engine's stages), 4
// cancelled or failed.
inline constexpr std::uint32_t kFSOperationStageCancelled = 4;

// Operation types beyond the engine's (0 copy, 1 Trash, 4 move, 6 rename).
enum : std::int32_t {
    kFileOperationDelete = 2,
    kFileOperationCreateFolder = 3,
    kFileOperationConvert = 5,
};

// The answer to a question about one item, and the remembered answer for the rest.
enum FileOperationAction : int {
    FileOperationActionAsk = 0,
    FileOperationActionReplace = 1,
    FileOperationActionUniqueName = 2,
    FileOperationActionUnlock = 3,
    FileOperationActionSkip = 4,
    FileOperationActionStop = 5,
    FileOperationActionCopyUnchanged = 6,
};

// Readers of a status record; a missing key reads as 0 or "".
std::uint32_t fileOperationStage(const Value& record);
int fileOperationError(const Value& record);
std::string fileOperationCurrentObject(const Value& record);
std::string fileOperationDestinationObject(const Value& record);
std::uint64_t fileOperationBytesComplete(const Value& record);
std::uint64_t fileOperationBytesTotal(const Value& record);
std::uint64_t fileOperationBytesRemaining(const Value& record);
int fileOperationObjectsComplete(const Value& record);
int fileOperationObjectTotal(const Value& record);
int fileOperationObjectsRemaining(const Value& record);
std::string fileOperationExplanationWithDestination(const Value& record);
std::string fileOperationExplanation(const Value& record);
std::string fileOperationStopText(const Value& record);
int fileOperationOperationType(const Value& record);

class FileOperation;

// How operations reach the quit-time registry: called on the main thread when an operation
// starts and when it has posted its final record. Empty members do nothing.
struct FileOperationRegistryHooks {
    std::function<void(FileOperation&)> registerHandler;
    std::function<void(FileOperation&)> unregisterHandler;
};
// Installs the hooks (the application does at start-up); answers the previous ones.
FileOperationRegistryHooks setFileOperationRegistryHooks(FileOperationRegistryHooks hooks);

class FileOperation : public Object {
public:
    using Paths = std::vector<std::string>;

    // Factories: each answers the running operation.
    static Ref<FileOperation> copyObjects(const Paths& paths, const std::string& destinationFolder,
                                          std::uint32_t flags, double statusChangeInterval, const Value& options);
    // Moves always skip unreadable source items (flags 2); `flags` is not used.
    static Ref<FileOperation> moveObjects(const Paths& paths, const std::string& destinationFolder,
                                          std::uint32_t flags, double statusChangeInterval, const Value& options);
    static Ref<FileOperation> moveToTrash(const Paths& paths);
    static Ref<FileOperation> rename(const std::string& path, const std::string& newName);
    static Ref<FileOperation> deleteObjects(const Paths& paths);

    // Makes the folder now: 0, or the failure's status after the file-error alert (a missing
    // or unusable parent folder included). On success the parent folder is noted as changed.
    static StatusCode createFolder(const std::string& path);

    // The file-error alert for a failed item (action 2 reports a rename onto `targetObject`).
    static void handleError(StatusCode error, int operationAction, int operationType, const std::string& source,
                            const std::string& destination, const std::string& targetObject);

    // The operations that have not yet posted their final record.
    static std::size_t runningCount();

    int action() const { return action_; }
    int operationType() const { return operationType_; }
    const std::string& targetObject() const { return targetObject_; }
    bool isFinished() const { return finished_; }
    // Number of items for the quit description.
    virtual int filesCount() const { return 1; }

    // Stops the operation (the user's cancel: final stage 4 with error 0, no alert).
    void handleCancelOperation();

    // The quit-time registry's question: 0 (running: objects to quitting), with the item being
    // processed, its destination and a description such as "Copying 2 files to \"dst\"".
    int applicationShouldTerminate(std::string* source, std::string* destination, std::string* description) const;

    // The class the texts are translated under.
    static const ZovClass& zovClass();

    // Keeps a new operation in the running set, registers it and starts its preflight (the
    // factories' last step).
    static void launch(const Ref<FileOperation>& operation);

protected:
    FileOperation(Value options, int operationType);
    ~FileOperation() override;

    // Subclass parts.
    virtual void preflight() = 0;
    virtual void startNext() = 0;
    virtual void skipNext() = 0;
    // Posts the stage-1 record and runs `work` on the measuring or collecting worker; when it
    // answers true, `done` runs on the main thread in the default mode, unless the operation
    // was stopped meanwhile. `work` polls preflightCancelled() and answers false once it is.
    void runPreflight(std::function<bool()> work, std::function<void()> done);
    static bool preflightCancelled();
    // Cancels the measuring or collecting worker and waits for it.
    void stopPreflight();
    // Whole-operation figures and texts added to every record.
    virtual void addStatusStringsTo(Value& record) const;
    // A cancel while an item is under way: answers true when the item's own end will finish
    // the operation (the subclass asked it to stop).
    virtual bool cancelRunningItem() { return false; }

    // Posts a record (stage, error and the status strings added) ASAP, in order.
    void postStatus(Value record);
    // Posts the one final record (stage 3 when `cancelled` is false and `error` 0, else
    // stage 4 with `error`), unregisters and lets the running set go of the operation in a
    // later perform. Does nothing the second time.
    void finish(StatusCode error, bool cancelled);
    // What completing one item tells the folder watcher and the workspace; clears the
    // destination item, the target object and the record.
    void completeItem();

    // The locked-item test and question: true when the item may be processed now. On false a
    // skip or stop was scheduled.
    bool checkLocked(const std::string& path, int* action);
    bool handleLockedObject(const std::string& path, int* action);
    // Runs a question with "Apply to all": the first button answers `firstAnswer`, the other
    // button Skip, a fourth button `fourthAnswer`, anything else Stop. The answer is written to
    // `remembered` when "Apply to all" was ticked, and always a Stop.
    int askQuestion(Alert& alert, int firstAnswer, int fourthAnswer, int* remembered, const char* selector);
    // Locks again the item that handleLockedObject() unlocked, after a failure.
    void relockUnlockedItem();

    // Runs `step` on the main loop in the common modes after the current call returned,
    // unless the operation finished meanwhile.
    void schedule(std::function<void(FileOperation&)> step);
    void scheduleCancel();
    void scheduleSkip();

    std::string translated(const char* english, const char* selector) const;

    Ref<FileOperationRecord> state_;
    std::string destinationItem_;
    int action_ = FileOperationActionAsk;
    int lockedFileAction_ = FileOperationActionAsk;
    Value options_;
    int operationType_ = 0;
    std::string targetObject_;
    // The item unlocked on the user's request for the current item, empty when none.
    std::string unlockedItem_;
    bool finished_ = false;
    // The measuring or collecting worker while it runs.
    Ref<NSThreadExt> preflightThread_;
};

} // namespace vistel
