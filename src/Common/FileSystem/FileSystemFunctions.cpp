#include "Common/FileSystem/FileSystemFunctions.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/ObjectLock.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Strings/NSStringExtensions.h"
#include "Platform/AtomicFileWriter.h"
#include "Platform/FileOperations/FileTree.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

std::mutex& cameraMutex()
{
    static std::mutex mutex;
    return mutex;
}
CameraFileServices& cameraSlot()
{
    static CameraFileServices services;
    return services;
}

const char* fileTypeName(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return "NSFileTypeRegular";
    case S_IFDIR: return "NSFileTypeDirectory";
    case S_IFLNK: return "NSFileTypeSymbolicLink";
    case S_IFCHR: return "NSFileTypeCharacterSpecial";
    case S_IFBLK: return "NSFileTypeBlockSpecial";
    case S_IFSOCK: return "NSFileTypeSocket";
    default: return "NSFileTypeUnknown";
    }
}

std::string userName(uid_t uid)
{
    std::vector<char> buffer(4096);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return {};
}

std::string groupName(gid_t gid)
{
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return {};
}

} // namespace

// --- record ----------------------------------------------------------------------------------

Ref<FileOperationRecord> FileOperationRecord::create()
{
    return Ref<FileOperationRecord>::adopt(new FileOperationRecord());
}

Ref<FSFileOperation> FileOperationRecord::fileOperation() const
{
    std::lock_guard lock(mutex_);
    return operation_;
}

void FileOperationRecord::setFileOperation(Ref<FSFileOperation> operation)
{
    std::lock_guard lock(mutex_);
    operation_ = std::move(operation);
}

void FileOperationRecord::cancel()
{
    cancelled_.store(true);
    if (Ref<FSFileOperation> operation = fileOperation())
        operation->cancel();
}

Value FileOperationRecord::dictionary() const
{
    Value result = Value::dictionary();
    if (Ref<FSFileOperation> operation = fileOperation())
        result.set(fileOperationRefParamDictionary, Value(operation));
    result.set(errorCodeParamDictKey, Value(static_cast<int>(error())));
    if (isCancelled())
        result.set(fileOperationCancelFlag, Value(true));
    return result;
}

// --- camera seam -----------------------------------------------------------------------------

void setCameraFileServices(CameraFileServices services)
{
    std::lock_guard lock(cameraMutex());
    cameraSlot() = std::move(services);
}

CameraFileServices cameraFileServices()
{
    std::lock_guard lock(cameraMutex());
    return cameraSlot();
}

// --- icons -------------------------------------------------------------------------------------

namespace {

std::mutex& iconMutex()
{
    static std::mutex mutex;
    return mutex;
}

FileSystemFunctions::IconSource& iconSlot()
{
    static FileSystemFunctions::IconSource source;
    return source;
}

} // namespace

Ref<MultiImage> FileSystemFunctions::iconForFile(std::string_view path)
{
    if (!NSStringDevices::isVolumePath(path) && !NSStringDevices::isICADevicePath(path))
        return {};
    IconSource source;
    {
        std::lock_guard lock(iconMutex());
        source = iconSlot();
    }
    return source ? source(std::string(path)) : Ref<MultiImage>();
}

void FileSystemFunctions::setIconSource(IconSource source)
{
    std::lock_guard lock(iconMutex());
    iconSlot() = std::move(source);
}

// --- attributes and existence -----------------------------------------------------------------

Date FileSystemFunctions::dateOfFileTime(std::int64_t seconds, std::uint32_t nanoseconds)
{
    using namespace std::chrono;
    return Date::fromTimePoint(system_clock::time_point(
        duration_cast<system_clock::duration>(std::chrono::seconds(seconds) + std::chrono::nanoseconds(nanoseconds))));
}

Value FileSystemFunctions::fileAttributesAtPath(std::string_view path, bool traverseLink)
{
    if (NSStringDevices::isICADevicePath(path)) {
        const CameraFileServices camera = cameraFileServices();
        const std::string text(path);
        if (camera.fileExists && camera.fileAttributes && camera.fileExists(text))
            return camera.fileAttributes(text);
        return Value::dictionary();
    }
    if (!NSStringDevices::isVolumePath(path))
        return Value::dictionary();
    const std::string text(path);
    struct stat info {};
    if ((traverseLink ? ::stat(text.c_str(), &info) : ::lstat(text.c_str(), &info)) != 0)
        return Value::dictionary();
    Value attributes = Value::dictionary({
        {"NSFileType", Value(fileTypeName(info.st_mode))},
        {"NSFileSize", Value(static_cast<unsigned long long>(info.st_size))},
        {"NSFileModificationDate", Value(dateOfFileTime(info.st_mtim.tv_sec, static_cast<std::uint32_t>(info.st_mtim.tv_nsec)))},
        {"NSFilePosixPermissions", Value(static_cast<int>(info.st_mode & 07777))},
        {"NSFileOwnerAccountID", Value(static_cast<unsigned long long>(info.st_uid))},
        {"NSFileGroupOwnerAccountID", Value(static_cast<unsigned long long>(info.st_gid))},
        {"NSFileReferenceCount", Value(static_cast<unsigned long long>(info.st_nlink))},
        {"NSFileSystemNumber", Value(static_cast<unsigned long long>(info.st_dev))},
        {"NSFileSystemFileNumber", Value(static_cast<unsigned long long>(info.st_ino))},
    });
    struct statx extended {};
    const int flags = traverseLink ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(AT_FDCWD, text.c_str(), flags, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME)) {
        attributes.set("NSFileCreationDate",
                       Value(dateOfFileTime(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec)));
    }
    if (const std::string owner = userName(info.st_uid); !owner.empty())
        attributes.set("NSFileOwnerAccountName", Value(owner));
    if (const std::string group = groupName(info.st_gid); !group.empty())
        attributes.set("NSFileGroupOwnerAccountName", Value(group));
    if (!S_ISLNK(info.st_mode)) {
        FSRef ref;
        if (makeFSRef(text, ref) == 0)
            attributes.set("NSFileImmutable", Value(CheckObjectLocked(ref) == status::ObjectLocked));
    }
    return attributes;
}

bool FileSystemFunctions::fileExistsAtPath(std::string_view path, bool* isDirectory)
{
    if (NSStringDevices::isICADevicePath(path)) {
        const CameraFileServices camera = cameraFileServices();
        const std::string text(path);
        // "ICA:/<id>" alone is the camera's root; anything after the identifier names a file
        // ("ICA:/41/README" is no folder, whatever its extension).
        const std::optional<std::string> root = NSStringDevices::icaDevicePath(path);
        if (!root || text != *root) {
            if (isDirectory)
                *isDirectory = false;
            return camera.fileExists && camera.fileExists(text);
        }
        if (isDirectory)
            *isDirectory = true;
        return camera.deviceAttached && camera.deviceAttached(text);
    }
    if (!NSStringDevices::isVolumePath(path))
        return false;
    struct stat info {};
    if (::stat(std::string(path).c_str(), &info) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return true;
}

// --- records and operations --------------------------------------------------------------------

Ref<FileOperationRecord> FileSystemFunctions::createFileOperation()
{
    Ref<FileOperationRecord> record = FileOperationRecord::create();
    record->setFileOperation(FSFileOperation::create());
    return record;
}

void FileSystemFunctions::releaseFileOperation(const Ref<FileOperationRecord>& record)
{
    if (record)
        record->setFileOperation(nullptr);
}

FSFileOperation* FileSystemFunctions::fsFileOperation(const Ref<FileOperationRecord>& record)
{
    // The record keeps the operation alive; the pointer is valid while the caller holds it.
    return record ? record->fileOperation().get() : nullptr;
}

StatusCode FileSystemFunctions::fileOperationError(const Ref<FileOperationRecord>& record)
{
    return record ? record->error() : 0;
}

void FileSystemFunctions::setFileOperationError(const Ref<FileOperationRecord>& record, StatusCode errorCode)
{
    if (record)
        record->setError(errorCode);
}

void FileSystemFunctions::cancelFileOperation(const Ref<FileOperationRecord>& record)
{
    if (record)
        record->cancel();
}

bool FileSystemFunctions::isFileOperationIsCanceled(const Ref<FileOperationRecord>& record)
{
    return record && record->isCancelled();
}

Ref<FileOperationRecord> FileSystemFunctions::FSPathObjectsOperationAsyncEx(
    const char* source, const char* destDirPath, const std::optional<std::string>& destName, std::uint32_t flags,
    FSFileOperationStatusCallback callback, double statusChangeInterval, Ref<Object> clientContext,
    std::int32_t operationType)
{
    Ref<FileOperationRecord> record = createFileOperation();
    const std::string sourcePath = source ? source : "";
    const std::string destination = destDirPath ? destDirPath : "";

    if (NSStringDevices::isICADevicePath(sourcePath)) {
        if (operationType != kFileOperationCopy && operationType != kFileOperationMove) {
            record->setError(status::OperationNotSupported);
            return record;
        }
        const CameraFileServices camera = cameraFileServices();
        record->setError(camera.startDownload ? camera.startDownload(sourcePath, destination, destName, record,
                                                                     std::move(callback), statusChangeInterval,
                                                                     std::move(clientContext))
                                              : status::NoSuchVolume);
        return record;
    }

    FSFileOperation& operation = *record->fileOperation();
    StatusCode result = 0;
    switch (operationType) {
    case kFileOperationCopy:
        result = operation.startCopy(sourcePath, destination, destName, flags, std::move(callback),
                                     statusChangeInterval, std::move(clientContext));
        break;
    case kFileOperationMoveToTrash:
        result = operation.startMoveToTrash(sourcePath, flags, std::move(callback), statusChangeInterval,
                                            std::move(clientContext));
        break;
    case kFileOperationMove:
    case kFileOperationRename:
        result = operation.startMove(sourcePath, destination, destName, flags, std::move(callback),
                                     statusChangeInterval, std::move(clientContext));
        break;
    default: result = status::OperationNotSupported; break;
    }
    record->setError(result);
    return record;
}

// --- safe save ---------------------------------------------------------------------------------

StatusCode FileSystemFunctions::writeNSDataToFile(std::string_view path, const Value::Bytes* data, bool newFileOnly)
{
    if (!data || path.empty())
        return status::FileWriteOutOfSpace;
    AtomicWriteOptions options;
    // The target keeps its name and place and gets the new contents in one exchange; a new
    // file never replaces an item that took its name meanwhile. Owner read-only while written.
    options.replacement = FileReplacement::Exchange;
    options.keepItemCreatedMeanwhile = true;
    options.writingMode = 0400;
    options.newFileOnly = newFileOnly;
    const AtomicWriteResult result = writeFileAtomically(path, *data, options);
    if (!result.temporaryName.empty())
        ZovLog("FileSystemFunctions::writeNSDataToFile temporary file " + result.temporaryName);
    const StatusCode status = statusFromErrno(result.error);
    switch (result.step) {
    case AtomicWriteStep::None: return 0;
    case AtomicWriteStep::Path: return status::BadName;
    case AtomicWriteStep::Folder:
        ZovLog(vistel::format("Can't create directory reference FSPathMakeRef for dir %@", parentFolderPath(path)));
        break;
    case AtomicWriteStep::Link: break;
    case AtomicWriteStep::Target:
        if (newFileOnly && result.error == EEXIST)
            return status::DuplicateName;
        break;
    case AtomicWriteStep::Create:
    case AtomicWriteStep::Write:
    case AtomicWriteStep::Sync:
    case AtomicWriteStep::Mode:
        ZovLog(vistel::format("FSCreateFileAndOpenForkUnicode returned %ld\n file name %@.", long(status),
                              result.temporaryName));
        break;
    case AtomicWriteStep::Replace:
        if (result.error == EEXIST)
            return status::DuplicateName;
        ZovLog(vistel::format("FSExchangeObjectsCompat error error code %ld\n file name %@", long(status),
                              result.temporaryName));
        ZovLog(vistel::format("Can't exchange temporary file returned %ld\n file name %@.", long(status),
                              result.temporaryName));
        break;
    }
    ZovLog("FileSystemFunctions::writeNSDataToFile " + result.cause);
    return status;
}

} // namespace vistel
