#pragma once
// FileSystemFunctions: the one place where the program asks for a path's attributes and
// existence whether the path is on a volume or on a camera, starts asynchronous copy, move,
// rename and move to the Trash, and saves a file safely over an existing one.
//
// The file-operation record travels with every asynchronous operation: the engine's operation
// object, the start status ("errorCodeParamDictKey") and the cancel flag
// ("fileOperationCancelFlag"). The record is shared between the thread that started the
// operation and any thread that cancels it; its members are safe to use from any thread.
//
// Camera paths are served through CameraFileServices, which the camera code installs at
// start-up; until then camera paths do not exist and camera transfers answer NoSuchVolume.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/Object.h"
#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel {

class MultiImage;

inline constexpr const char* fileOperationRefParamDictionary = "fileOperationRefParamDictionary";
inline constexpr const char* errorCodeParamDictKey = "errorCodeParamDictKey";
inline constexpr const char* fileOperationCancelFlag = "fileOperationCancelFlag";
inline constexpr const char* kFileObserverWriteNotificationPath = "kFileObserverWriteNotificationPath";
inline constexpr const char* FileIsWrittenToNotification = "FileIsWrittenToNotification";

// Operation types.
enum : std::int32_t {
    kFileOperationCopy = 0,
    kFileOperationMoveToTrash = 1,
    kFileOperationMove = 4,
    kFileOperationRename = 6,
};

class FileOperationRecord : public Object {
public:
    static Ref<FileOperationRecord> create();

    Ref<FSFileOperation> fileOperation() const;
    void setFileOperation(Ref<FSFileOperation> operation);
    StatusCode error() const noexcept { return error_.load(); }
    void setError(StatusCode error) noexcept { error_.store(error); }
    // Sets the flag and asks the running operation, if any, to stop.
    void cancel();
    bool isCancelled() const noexcept { return cancelled_.load(); }
    // The record as a dictionary with the keys above (the operation under
    // "fileOperationRefParamDictionary" when there is one).
    Value dictionary() const;

private:
    FileOperationRecord() = default;
    mutable std::mutex mutex_;
    Ref<FSFileOperation> operation_;
    std::atomic<StatusCode> error_ {0};
    std::atomic<bool> cancelled_ {false};
};

// What the camera code supplies for camera paths ("ICA:/..."). Any member may be empty.
struct CameraFileServices {
    // Attributes of the camera object at the path, or an empty dictionary.
    std::function<Value(const std::string& path)> fileAttributes;
    // Whether a camera file exists at the path.
    std::function<bool(const std::string& path)> fileExists;
    // Whether the camera whose root the path names is attached.
    std::function<bool(const std::string& path)> deviceAttached;
    // Size of the camera file, nullopt when there is none.
    std::function<std::optional<std::uint64_t>(const std::string& path)> fileSize;
    // Deletes the camera object; its status.
    std::function<StatusCode(const std::string& path)> deleteObject;
    // The camera's mount point for a path on it.
    std::function<std::string(const std::string& path)> mountPoint;
    // Starts a download (a copy; a move from a camera is a copy too) of the camera file into
    // the folder; calls back like the engine does; its start status.
    std::function<StatusCode(const std::string& source, const std::string& destinationFolder,
                             const std::optional<std::string>& destinationName, const Ref<FileOperationRecord>& record,
                             FSFileOperationStatusCallback callback, double interval, Ref<Object> info)>
        startDownload;
};
void setCameraFileServices(CameraFileServices services);
CameraFileServices cameraFileServices();

class FileSystemFunctions {
public:
    FileSystemFunctions() = delete;

    // Attributes of a volume path (NSFileType, NSFileSize, NSFileModificationDate,
    // NSFileCreationDate, NSFilePosixPermissions, NSFileOwnerAccountID/Name,
    // NSFileGroupOwnerAccountID/Name, NSFileReferenceCount, NSFileSystemNumber,
    // NSFileSystemFileNumber, NSFileImmutable), of a camera file, or an empty dictionary.
    static Value fileAttributesAtPath(std::string_view path, bool traverseLink);
    // The one conversion of a file time (seconds and nanoseconds since 1970) into a Date. Every
    // listing that stores file dates uses it, so dates read by different routes compare equal.
    static Date dateOfFileTime(std::int64_t seconds, std::uint32_t nanoseconds);
    // The icon the program shows for the file at `path`; a mount point shows the drive icon of
    // its device type. Answered by the installed icon source (the catalogue installs one over
    // the icon theme and the volume manager, which this layer cannot reach); null without one
    // and for paths that are neither volume nor camera paths.
    static Ref<MultiImage> iconForFile(std::string_view path);
    using IconSource = std::function<Ref<MultiImage>(const std::string& path)>;
    static void setIconSource(IconSource source);
    // Volume paths: whether something is there (links followed). A camera path is the
    // camera's root when nothing follows the identifier ("ICA:/41"), else a camera file.
    static bool fileExistsAtPath(std::string_view path, bool* isDirectory = nullptr);

    static Ref<FileOperationRecord> createFileOperation();
    // Lets go of the record's operation; the caller then drops its reference.
    static void releaseFileOperation(const Ref<FileOperationRecord>& record);
    static FSFileOperation* fsFileOperation(const Ref<FileOperationRecord>& record);
    static StatusCode fileOperationError(const Ref<FileOperationRecord>& record);
    static void setFileOperationError(const Ref<FileOperationRecord>& record, StatusCode errorCode);
    static void cancelFileOperation(const Ref<FileOperationRecord>& record);
    static bool isFileOperationIsCanceled(const Ref<FileOperationRecord>& record);

    // Starts one asynchronous operation of `operationType` (0 copy, 1 Trash, 4 move, 6 rename
    // to `destName`) and answers its record: the start status is in the record (-1426 for any
    // other type). Scheduling the record's operation on a run loop is the caller's part.
    static Ref<FileOperationRecord> FSPathObjectsOperationAsyncEx(const char* source, const char* destDirPath,
                                                                  const std::optional<std::string>& destName,
                                                                  std::uint32_t flags,
                                                                  FSFileOperationStatusCallback callback,
                                                                  double statusChangeInterval, Ref<Object> clientContext,
                                                                  std::int32_t operationType);

    // Safe save, through writeFileAtomically (Platform/AtomicFileWriter.h): the data goes to a
    // new hidden file in the target's folder (owner read-only while written), is flushed to
    // disk, takes over the target's mode (and owner where permitted) and then replaces the
    // target in one exchange (a rename where the file system cannot exchange), after which
    // the folder is flushed. A crash at any point leaves the old or the new contents under
    // the name, never a mix. 0 on success; 640 for no data or an empty path; -37 for a path
    // that names no file; -48 when a new file's name was taken meanwhile; the status of the
    // failed step otherwise, with the target untouched and no temporary file left. With
    // `newFileOnly` the save only makes a new file: an item already at the name answers -48
    // too, and is left as it is.
    static StatusCode writeNSDataToFile(std::string_view path, const Value::Bytes* data, bool newFileOnly = false);
};

} // namespace vistel
