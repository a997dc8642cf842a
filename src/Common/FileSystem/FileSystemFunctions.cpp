#include "Common/FileSystem/FileSystemFunctions.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/ObjectLock.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Strings/NSStringExtensions.h"
#include "Platform/FileOperations/FileTree.h"
#include "Platform/Formatter.h"
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

std::atomic<int> safeSaveChmodFailure {0};

Date dateOf(const struct timespec& time)
{
    using namespace std::chrono;
    return Date::fromTimePoint(system_clock::time_point(
        duration_cast<system_clock::duration>(seconds(time.tv_sec) + nanoseconds(time.tv_nsec))));
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

// The process's file-creation mask, read without changing it (umask() would, for every thread).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

bool hasExtension(std::string_view path)
{
    const auto slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 && dot + 1 < name.size();
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

// --- attributes and existence -----------------------------------------------------------------

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
        {"NSFileModificationDate", Value(dateOf(info.st_mtim))},
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
        const struct timespec birth = {static_cast<time_t>(extended.stx_btime.tv_sec),
                                       static_cast<long>(extended.stx_btime.tv_nsec)};
        attributes.set("NSFileCreationDate", Value(dateOf(birth)));
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
        if (hasExtension(path)) {
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

StatusCode FileSystemFunctions::writeNSDataToFile(std::string_view pathView, const Value::Bytes* data)
{
    if (!data || pathView.empty())
        return status::FileWriteOutOfSpace;
    std::string path(pathView);
    // A link is saved through: the file it points to gets the new contents, the link stays.
    struct stat linkInfo {};
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved) {
            path = resolved;
            std::free(resolved);
        }
    }
    const std::string folder = parentFolderPath(path);
    const std::string name = lastPathComponent(path);
    if (name.empty() || name == "." || name == "..")
        return status::BadName;

    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd) {
        const StatusCode result = statusFromErrno(errno);
        ZovLog(vistel::format("Can't create directory reference FSPathMakeRef for dir %@", folder));
        return result;
    }

    struct stat target {};
    bool targetExists = false;
    if (::fstatat(folderFd.get(), name.c_str(), &target, 0) == 0) {
        if (!S_ISREG(target.st_mode))
            return S_ISDIR(target.st_mode) ? statusFromErrno(EISDIR) : status::ParameterError;
        targetExists = true;
    } else if (errno != ENOENT) {
        return statusFromErrno(errno);
    }

    // The new contents are always written under a temporary name first, so that the target
    // name never shows a partly written file, not even for a new file.
    std::string temporaryName;
    FileDescriptor fd;
    for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
        temporaryName = "." + NSStringExtensions::stringWithNewUUID();
        // Owner read-only while it is written; the final mode is set before it takes the name.
        fd = FileDescriptor(::openat(folderFd.get(), temporaryName.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0400));
        if (!fd && errno != EEXIST)
            break;
    }
    if (!fd) {
        const StatusCode result = statusFromErrno(errno);
        // Nothing was created: there is nothing of ours to remove.
        ZovLog(vistel::format("FSCreateFileAndOpenForkUnicode returned %ld\n file name %@.", long(result), temporaryName));
        return result;
    }
    ZovLog("FileSystemFunctions::writeNSDataToFile temporary file " + temporaryName);

    auto fail = [&](StatusCode result, const char* step) {
        ZovLog(vistel::format("FSCreateFileAndOpenForkUnicode returned %ld\n file name %@.", long(result), temporaryName));
        ZovLog(std::string("FileSystemFunctions::writeNSDataToFile failed at ") + step);
        fd = FileDescriptor();
        ::unlinkat(folderFd.get(), temporaryName.c_str(), 0);
        return result;
    };

    for (size_t written = 0; written < data->size();) {
        const ssize_t n = ::write(fd.get(), data->data() + written, data->size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(statusFromErrno(errno), "write");
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0)
        return fail(statusFromErrno(errno), "fsync");

    const mode_t mode = targetExists ? (target.st_mode & 07777) : (0666 & ~currentUmask());
    int chmodError = safeSaveChmodFailure.load();
    if (chmodError == 0 && ::fchmod(fd.get(), mode) != 0)
        chmodError = errno;
    // File systems without permissions (vfat, exfat picture frames) refuse the mode change;
    // the save goes on without it.
    if (chmodError != 0 && chmodError != EPERM && chmodError != ENOTSUP && chmodError != EOPNOTSUPP)
        return fail(statusFromErrno(chmodError), "fchmod");
    if (targetExists && (target.st_uid != ::geteuid() || target.st_gid != ::getegid()))
        ::fchown(fd.get(), target.st_uid, target.st_gid); // only where permitted: failure keeps ours
    if (::close(fd.release()) != 0)
        return fail(statusFromErrno(errno), "close");

    StatusCode result = 0;
    if (targetExists) {
        if (::renameat2(folderFd.get(), temporaryName.c_str(), folderFd.get(), name.c_str(), RENAME_EXCHANGE) == 0) {
            // The temporary name now holds the old contents.
            if (::unlinkat(folderFd.get(), temporaryName.c_str(), 0) != 0)
                ZovLog(vistel::format("Can't delete temporary file error code %ld\n %@",
                                      long(statusFromErrno(errno)), temporaryName));
        } else if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP) {
            // No exchange on this file system: a rename replaces the target in one step too.
            if (::renameat(folderFd.get(), temporaryName.c_str(), folderFd.get(), name.c_str()) != 0)
                result = statusFromErrno(errno);
        } else {
            result = statusFromErrno(errno);
        }
    } else if (::renameat2(folderFd.get(), temporaryName.c_str(), folderFd.get(), name.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EINVAL || errno == ENOSYS) {
            struct stat raced {};
            if (::fstatat(folderFd.get(), name.c_str(), &raced, AT_SYMLINK_NOFOLLOW) == 0)
                result = status::DuplicateName;
            else if (::renameat(folderFd.get(), temporaryName.c_str(), folderFd.get(), name.c_str()) != 0)
                result = statusFromErrno(errno);
        } else {
            // EEXIST: a file of the name appeared meanwhile; it is not ours to replace blindly.
            result = errno == EEXIST ? status::DuplicateName : statusFromErrno(errno);
        }
    }
    if (result != 0) {
        ZovLog(vistel::format("FSExchangeObjectsCompat error error code %ld\n file name %@", long(result), temporaryName));
        ZovLog(vistel::format("Can't exchange temporary file returned %ld\n file name %@.", long(result), temporaryName));
        ::unlinkat(folderFd.get(), temporaryName.c_str(), 0);
        return result;
    }
    // The rename itself is durable only once the folder is on disk.
    if (::fsync(folderFd.get()) != 0 && errno != EINVAL && errno != EROFS)
        ZovLog("FileSystemFunctions::writeNSDataToFile could not flush folder " + folder);
    return 0;
}

ScopedSafeSaveChmodFailure::ScopedSafeSaveChmodFailure(int error) : previous_(safeSaveChmodFailure.exchange(error)) { }

ScopedSafeSaveChmodFailure::~ScopedSafeSaveChmodFailure()
{
    safeSaveChmodFailure.store(previous_);
}

} // namespace vistel
