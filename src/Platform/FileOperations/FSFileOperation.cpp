#include "Platform/FileOperations/FSFileOperation.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <map>
#include <new>
#include <thread>
#include <vector>

#include "Platform/AbandonedItems.h"
#include "Platform/FileOperations/FileTree.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex& chunkHookMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<FSFileOperationChunkHook>& chunkHookSlot()
{
    static std::shared_ptr<FSFileOperationChunkHook> hook;
    return hook;
}
std::shared_ptr<FSFileOperationChunkHook> currentChunkHook()
{
    std::lock_guard lock(chunkHookMutex());
    return chunkHookSlot();
}

// Deepest folder nesting a copy goes into: each level holds two descriptors and a stack frame.
constexpr unsigned kMaxCopyDepth = 2048;

// What one worker carries while it walks a tree. The walk goes from folder descriptor to
// folder descriptor (openat and friends, never following a link), so a folder renamed or
// replaced by a link while the walk is inside it cannot send it elsewhere.
class Job {
public:
    Job(FSFileOperation& operation, std::uint32_t flags) : operation_(operation), flags_(flags) { }

    bool cancelled() const { return operation_.isCancelled(); }
    bool skipPermissionErrors() const { return flags_ & kFSFileOperationSkipSourcePermissionErrors; }
    bool overwrite() const { return flags_ & kFSFileOperationOverwrite; }

    void report(const std::string& item) { operation_.report(item, kFSOperationStageRunning, progress); }

    // Holds the lock that keeps other processes' sweeps off the partial copy (the top item
    // made, open as `fd`) until releasePartialCopy().
    void holdPartialCopy(int fd)
    {
        partialCopy_ = FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (partialCopy_)
            holdWhileWritten(partialCopy_.get());
    }
    void releasePartialCopy() { partialCopy_ = FileDescriptor(); }

    FSFileOperation::Progress progress;

    // Copies the item `name` of the folder open as `sourceParent` (its path, for reports and
    // logs, is `source`) to `targetName` in the folder open as `targetParent`.
    StatusCode copyItem(int sourceParent, const std::string& name, const std::string& source, int targetParent,
                        const std::string& targetName, bool topLevel, unsigned depth = 0);

private:
    StatusCode copyFile(int sourceParent, const std::string& name, const std::string& source, int targetParent,
                        const std::string& targetName, const struct stat& info, bool topLevel);
    StatusCode copyFolder(int sourceParent, const std::string& name, const std::string& source, int targetParent,
                          const std::string& targetName, const struct stat& info, unsigned depth);
    StatusCode copySymbolicLink(int sourceParent, const std::string& name, const std::string& source,
                                int targetParent, const std::string& targetName, const struct stat& info);
    void skipped(const std::string& source, const struct stat& info, const char* why);

    FSFileOperation& operation_;
    std::uint32_t flags_;
    FileDescriptor partialCopy_;
    std::shared_ptr<FSFileOperationChunkHook> chunkHook_ = currentChunkHook();
};

bool isPermissionError(int error) { return error == EACCES || error == EPERM; }

// Metadata writes that a file system cannot store (vfat has no owner, mode bits or user
// attributes) are not failures of the copy.
bool ignorableMetadataError(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

// Copies the "user." attributes between two open items; only running out of space fails
// the copy.
StatusCode copyUserAttributes(int sourceFd, int targetFd)
{
    ssize_t size = ::flistxattr(sourceFd, nullptr, 0);
    if (size <= 0)
        return 0;
    std::vector<char> names(static_cast<size_t>(size));
    size = ::flistxattr(sourceFd, names.data(), names.size());
    if (size <= 0)
        return 0;
    std::vector<char> value;
    for (size_t at = 0; at < static_cast<size_t>(size);) {
        const std::string name(&names[at]);
        at += name.size() + 1;
        if (name.rfind("user.", 0) != 0)
            continue;
        ssize_t length = ::fgetxattr(sourceFd, name.c_str(), nullptr, 0);
        if (length < 0)
            continue;
        value.resize(static_cast<size_t>(length) + 1);
        length = ::fgetxattr(sourceFd, name.c_str(), value.data(), value.size());
        if (length < 0)
            continue;
        if (::fsetxattr(targetFd, name.c_str(), value.data(), static_cast<size_t>(length), 0) != 0 &&
            (errno == ENOSPC || errno == EDQUOT))
            return statusFromErrno(errno);
    }
    return 0;
}

void Job::skipped(const std::string& source, const struct stat& info, const char* why)
{
    ZovLog(std::string("FSFileOperation: left out ") + why + " " + source);
    if (S_ISREG(info.st_mode))
        progress.bytesComplete += static_cast<std::uint64_t>(info.st_size);
    ++progress.objectsComplete;
    report(source);
}

StatusCode Job::copyItem(int sourceParent, const std::string& name, const std::string& source, int targetParent,
                         const std::string& targetName, bool topLevel, unsigned depth)
{
    if (cancelled())
        return status::UserCanceled;
    struct stat info {};
    if (::fstatat(sourceParent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        if (!topLevel && isPermissionError(error) && skipPermissionErrors())
            return 0;
        return statusFromErrno(error);
    }
    if (S_ISREG(info.st_mode))
        return copyFile(sourceParent, name, source, targetParent, targetName, info, topLevel);
    if (S_ISDIR(info.st_mode))
        return copyFolder(sourceParent, name, source, targetParent, targetName, info, depth);
    if (S_ISLNK(info.st_mode))
        return copySymbolicLink(sourceParent, name, source, targetParent, targetName, info);
    // FIFOs, devices and sockets: opening one could block or act on hardware.
    if (topLevel)
        return status::ParameterError;
    skipped(source, info, "special file");
    return 0;
}

StatusCode Job::copyFile(int sourceParent, const std::string& name, const std::string& source, int targetParent,
                         const std::string& targetName, const struct stat& linkInfo, bool topLevel)
{
    // O_NONBLOCK: should the item have been replaced by a FIFO since it was looked at, open
    // must not wait for a writer; fstat below then refuses it.
    const int in = ::openat(sourceParent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        const int error = errno;
        // Only items inside the tree are left out; an unreadable source itself fails.
        if (!topLevel && isPermissionError(error) && skipPermissionErrors()) {
            skipped(source, linkInfo, "unreadable file");
            return 0;
        }
        return statusFromErrno(error);
    }
    FileDescriptor sourceFd(in);
    struct stat info {};
    if (::fstat(in, &info) != 0)
        return statusFromErrno(errno);
    if (!S_ISREG(info.st_mode))
        return status::ParameterError;

    FileDescriptor targetFd(
        ::openat(targetParent, targetName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!targetFd)
        return statusFromErrno(errno);
    if (topLevel)
        holdPartialCopy(targetFd.get());

    constexpr size_t chunk = 1 << 20;
    bool useCopyRange = true;
    std::vector<char> buffer;
    for (;;) {
        if (cancelled())
            return status::UserCanceled;
        ssize_t done = -1;
        if (useCopyRange) {
            done = ::copy_file_range(in, nullptr, targetFd.get(), nullptr, chunk, 0);
            if (done < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                             errno == EBADF || errno == ENOTSUP)) {
                useCopyRange = false;
                continue;
            }
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0)
                return statusFromErrno(errno);
        } else {
            buffer.resize(chunk);
            done = ::read(in, buffer.data(), buffer.size());
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0)
                return statusFromErrno(errno);
            for (ssize_t written = 0; written < done;) {
                const ssize_t n = ::write(targetFd.get(), buffer.data() + written, static_cast<size_t>(done - written));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    return statusFromErrno(errno);
                written += n;
            }
        }
        if (done == 0)
            break;
        progress.bytesComplete += static_cast<std::uint64_t>(done);
        report(source);
        if (chunkHook_)
            (*chunkHook_)(operation_, progress.bytesComplete);
    }

    if (StatusCode result = copyUserAttributes(in, targetFd.get()))
        return result;
    if (::fchmod(targetFd.get(), info.st_mode & 01777) != 0 && !ignorableMetadataError(errno))
        return statusFromErrno(errno);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(targetFd.get(), times) != 0 && !ignorableMetadataError(errno))
        return statusFromErrno(errno);
    // close() is where some file systems (network, FUSE) report a failed write.
    if (::close(targetFd.release()) != 0)
        return statusFromErrno(errno);
    ++progress.objectsComplete;
    report(source);
    return 0;
}

StatusCode Job::copyFolder(int sourceParent, const std::string& name, const std::string& source, int targetParent,
                           const std::string& targetName, const struct stat& info, unsigned depth)
{
    if (depth >= kMaxCopyDepth)
        return statusFromErrno(ENAMETOOLONG);
    DIR* folder = nullptr;
    const int fd = ::openat(sourceParent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        folder = ::fdopendir(fd);
    if (!folder) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (depth > 0 && isPermissionError(error) && skipPermissionErrors()) {
            skipped(source, info, "unreadable folder");
            return 0;
        }
        return statusFromErrno(error);
    }
    DirectoryHandle handle(folder);
    // Owner-only while it fills; the source's mode is applied once the contents are in.
    if (::mkdirat(targetParent, targetName.c_str(), 0700) != 0)
        return statusFromErrno(errno);
    const FileDescriptor target(
        ::openat(targetParent, targetName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!target)
        return statusFromErrno(errno);
    if (depth == 0)
        holdPartialCopy(target.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (!entry) {
            if (errno != 0)
                return statusFromErrno(errno);
            break;
        }
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        if (StatusCode result =
                copyItem(::dirfd(folder), child, joinPath(source, child), target.get(), child, false, depth + 1))
            return result;
    }
    if (StatusCode result = copyUserAttributes(::dirfd(folder), target.get()))
        return result;
    if (::fchmod(target.get(), info.st_mode & 01777) != 0 && !ignorableMetadataError(errno))
        return statusFromErrno(errno);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(target.get(), times) != 0 && !ignorableMetadataError(errno))
        return statusFromErrno(errno);
    ++progress.objectsComplete;
    report(source);
    return 0;
}

StatusCode Job::copySymbolicLink(int sourceParent, const std::string& name, const std::string& source,
                                 int targetParent, const std::string& targetName, const struct stat& info)
{
    std::string destination;
    if (StatusCode result = readLinkAt(sourceParent, name, destination))
        return result;
    if (::symlinkat(destination.c_str(), targetParent, targetName.c_str()) != 0)
        return statusFromErrno(errno);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    // Not every file system keeps link times.
    ::utimensat(targetParent, targetName.c_str(), times, AT_SYMLINK_NOFOLLOW);
    ++progress.objectsComplete;
    report(source);
    return 0;
}

// After a move across volumes: deletes the source item `name` of the folder open as
// `sourceParent` once its counterpart `copyName` in the folder open as `copyParent` is there
// (same kind; same size, same link target). What the copy left out (special files, items
// skipped for permissions, items that appeared or changed while it ran) stays where it is,
// and so do the folders holding it: `kept` is set then. Answers 0 or the first failure.
StatusCode removeMovedSource(int sourceParent, const std::string& name, int copyParent, const std::string& copyName,
                             bool& kept, unsigned depth = 0)
{
    struct stat source {};
    if (::fstatat(sourceParent, name.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : statusFromErrno(errno);
    struct stat copy {};
    if (::fstatat(copyParent, copyName.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0 ||
        (source.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) {
        kept = true;
        return 0;
    }
    if (S_ISREG(source.st_mode) || S_ISLNK(source.st_mode)) {
        bool same = source.st_size == copy.st_size;
        if (same && S_ISLNK(source.st_mode)) {
            std::string a, b;
            same = readLinkAt(sourceParent, name, a) == 0 && readLinkAt(copyParent, copyName, b) == 0 && a == b;
        }
        if (!same) {
            kept = true;
            return 0;
        }
        return ::unlinkat(sourceParent, name.c_str(), 0) == 0 ? 0 : statusFromErrno(errno);
    }
    if (!S_ISDIR(source.st_mode) || depth >= kMaxCopyDepth) {
        kept = true;
        return 0;
    }
    const FileDescriptor copyFolder(
        ::openat(copyParent, copyName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!copyFolder) {
        kept = true;
        return statusFromErrno(errno);
    }
    FileDescriptor folder;
    std::vector<std::string> names;
    StatusCode first = readFolderAt(sourceParent, name, folder, names);
    if (!folder) {
        kept = true;
        return first;
    }
    bool keptBelow = false;
    for (const std::string& child : names) {
        const StatusCode result = removeMovedSource(folder.get(), child, copyFolder.get(), child, keptBelow, depth + 1);
        if (result != 0 && first == 0)
            first = result;
    }
    if (keptBelow || first != 0) {
        kept = true;
        return first;
    }
    if (::unlinkat(sourceParent, name.c_str(), AT_REMOVEDIR) != 0) {
        if (errno != ENOTEMPTY && errno != EEXIST)
            return statusFromErrno(errno);
        kept = true; // something appeared in it meanwhile
    }
    return 0;
}

struct Request {
    std::string source;
    std::string destinationFolder;
    std::optional<std::string> destinationName;
    std::uint32_t flags = 0;
};

// True when `folder` is `item` or lies inside it (links resolved), where a copy would copy
// itself without end.
bool folderInsideItem(const std::string& folder, const std::string& item)
{
    char* resolvedFolder = ::realpath(folder.c_str(), nullptr);
    char* resolvedItem = ::realpath(item.c_str(), nullptr);
    const bool inside = resolvedFolder && resolvedItem && isPathUnder(resolvedFolder, resolvedItem);
    std::free(resolvedFolder);
    std::free(resolvedItem);
    return inside;
}

// With `move`, a destination that is the source itself under another name (a case-only rename
// on a case-insensitive file system) is no clash: placing the item sorts that out.
StatusCode checkDestination(const Request& request, Job& job, std::string& destination, bool move = false)
{
    struct stat folder {};
    if (::stat(request.destinationFolder.c_str(), &folder) != 0)
        return statusFromErrno(errno);
    if (!S_ISDIR(folder.st_mode))
        return statusFromErrno(ENOTDIR);
    struct stat source {};
    if (::lstat(request.source.c_str(), &source) == 0 && S_ISDIR(source.st_mode) &&
        folderInsideItem(request.destinationFolder, request.source))
        return status::ParameterError;
    const std::string name = request.destinationName ? *request.destinationName : lastPathComponent(request.source);
    if (!isPlainFileName(name))
        return status::BadName;
    if (name.size() > NAME_MAX)
        return status::BadName;
    destination = joinPath(request.destinationFolder, name);
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0 && !job.overwrite()) {
        const bool itself = move && source.st_ino != 0 && existing.st_dev == source.st_dev &&
                            existing.st_ino == source.st_ino;
        if (!itself)
            return status::DuplicateName;
    }
    return 0;
}

// Sweeps the partial copies killed writers left in the destination folder open as `folder`,
// at most once a minute a folder: what turned abandoned since the last sweep waited a minute
// anyway, and a batch of many items into one large folder must not list it for each.
void sweepPartialCopiesOnce(int folder)
{
    struct stat info {};
    if (::fstat(folder, &info) != 0)
        return;
    static std::mutex mutex;
    static std::map<std::pair<dev_t, ino_t>, std::time_t> lastSwept;
    const std::time_t now = std::time(nullptr);
    {
        std::lock_guard lock(mutex);
        std::time_t& last = lastSwept[{info.st_dev, info.st_ino}];
        if (last != 0 && now - last < kAbandonedAfterSeconds && now >= last)
            return;
        last = now;
        if (lastSwept.size() > 4096)
            std::erase_if(lastSwept, [now](const auto& entry) { return now - entry.second >= kAbandonedAfterSeconds; });
    }
    sweepAbandonedPartialCopiesAt(folder);
}

// Copies into a hidden temporary item beside the destination and gives it its name only when
// it is whole, so no partial item ever carries the destination name. `sourceParent` is the
// source's folder, opened once for the whole operation.
StatusCode copyTree(const Request& request, Job& job, int sourceParent, const std::string& destination,
                    std::string& finalItem)
{
    const FileDescriptor targetFolder(::open(request.destinationFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!targetFolder)
        return statusFromErrno(errno);
    sweepPartialCopiesOnce(targetFolder.get());
    std::string temporaryName;
    for (int attempt = 0;; ++attempt) {
        temporaryName = uniqueHiddenName("partial");
        struct stat ignored {};
        if (::fstatat(targetFolder.get(), temporaryName.c_str(), &ignored, AT_SYMLINK_NOFOLLOW) != 0)
            break;
        if (attempt > 100)
            return status::DuplicateName;
    }
    const std::string temporary = joinPath(request.destinationFolder, temporaryName);
    StatusCode result = job.copyItem(sourceParent, lastPathComponent(request.source), request.source, targetFolder.get(),
                                     temporaryName, true);
    if (result == 0 && job.cancelled())
        result = status::UserCanceled;
    if (result == 0)
        result = placeItem(temporary, destination, job.overwrite());
    if (result != 0)
        removeOwnTree(temporary);
    job.releasePartialCopy();
    if (result != 0)
        return result;
    finalItem = destination;
    return 0;
}

void runCopy(FSFileOperation& operation, const Request& request, bool deleteSource)
{
    Job job(operation, request.flags);
    std::string finalItem = request.source;
    auto finish = [&](StatusCode result) { operation.finish(finalItem, result, job.progress); };

    struct stat info {};
    if (::lstat(request.source.c_str(), &info) != 0)
        return finish(statusFromErrno(errno));
    std::string destination;
    if (StatusCode result = checkDestination(request, job, destination))
        return finish(result);
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode))
        return finish(status::ParameterError);
    // The walk and, for a move, the deletion of the source start from this one descriptor, so
    // that a folder on the source's path replaced meanwhile cannot redirect either.
    const FileDescriptor sourceParent(::open(parentFolderPath(request.source).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!sourceParent)
        return finish(statusFromErrno(errno));

    operation.report(request.source, kFSOperationStagePreflighting, job.progress);
    measureTree(request.source, job.progress.totalBytes, job.progress.totalObjects);
    job.progress.userVisibleTotal = 1;
    operation.report(request.source, kFSOperationStageRunning, job.progress);

    if (StatusCode result = copyTree(request, job, sourceParent.get(), destination, finalItem))
        return finish(result);
    job.progress.userVisibleComplete = 1;
    if (deleteSource) {
        // The copy is whole and in place: only now may the source go, and only what the copy
        // holds (never what it left out).
        const FileDescriptor copyParent(::open(parentFolderPath(destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!copyParent)
            return finish(statusFromErrno(errno));
        bool kept = false;
        if (StatusCode result = removeMovedSource(sourceParent.get(), lastPathComponent(request.source), copyParent.get(),
                                                  lastPathComponent(destination), kept))
            return finish(result);
        if (kept)
            ZovLog("FSFileOperation: items not moved stay in " + request.source);
    }
    finish(0);
}

void runMove(FSFileOperation& operation, const Request& request)
{
    Job job(operation, request.flags);
    std::string finalItem = request.source;
    auto finish = [&](StatusCode result) { operation.finish(finalItem, result, job.progress); };

    struct stat info {};
    if (::lstat(request.source.c_str(), &info) != 0)
        return finish(statusFromErrno(errno));
    std::string destination;
    struct stat target {};
    const bool sameItem = [&] {
        const std::string name = request.destinationName ? *request.destinationName : lastPathComponent(request.source);
        const std::string candidate = joinPath(request.destinationFolder, name);
        return ::lstat(candidate.c_str(), &target) == 0 && target.st_dev == info.st_dev && target.st_ino == info.st_ino &&
               name == lastPathComponent(request.source);
    }();
    if (sameItem) {
        // Moving an item onto itself changes nothing.
        job.progress.totalObjects = job.progress.objectsComplete = 1;
        return finish(0);
    }
    if (StatusCode result = checkDestination(request, job, destination, true))
        return finish(result);

    operation.report(request.source, kFSOperationStagePreflighting, job.progress);
    measureTree(request.source, job.progress.totalBytes, job.progress.totalObjects);
    job.progress.userVisibleTotal = 1;
    operation.report(request.source, kFSOperationStageRunning, job.progress);
    if (job.cancelled())
        return finish(status::UserCanceled);

    if (const FileDescriptor folder(::open(request.destinationFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folder)
        sweepPartialCopiesOnce(folder.get());
    const StatusCode result = placeItem(request.source, destination, job.overwrite());
    if (result == status::DifferentVolumes) {
        runCopy(operation, request, true);
        return;
    }
    if (result == 0) {
        finalItem = destination;
        job.progress.bytesComplete = job.progress.totalBytes;
        job.progress.objectsComplete = job.progress.totalObjects;
        job.progress.userVisibleComplete = 1;
    }
    finish(result);
}

void runTrash(FSFileOperation& operation, const Request& request)
{
    Job job(operation, request.flags);
    std::string finalItem = request.source;
    struct stat info {};
    if (::lstat(request.source.c_str(), &info) != 0)
        return operation.finish(finalItem, statusFromErrno(errno), job.progress);
    operation.report(request.source, kFSOperationStagePreflighting, job.progress);
    measureTree(request.source, job.progress.totalBytes, job.progress.totalObjects);
    job.progress.userVisibleTotal = 1;
    operation.report(request.source, kFSOperationStageRunning, job.progress);
    if (job.cancelled())
        return operation.finish(finalItem, status::UserCanceled, job.progress);
    std::string trashed;
    const StatusCode result = moveItemToTrash(request.source, trashed);
    if (result == 0) {
        finalItem = trashed;
        job.progress.bytesComplete = job.progress.totalBytes;
        job.progress.objectsComplete = job.progress.totalObjects;
        job.progress.userVisibleComplete = 1;
    }
    operation.finish(finalItem, result, job.progress);
}

} // namespace

Ref<FSFileOperation> FSFileOperation::create()
{
    return Ref<FSFileOperation>::adopt(new FSFileOperation());
}

StatusCode FSFileOperation::startCopy(const std::string& source, const std::string& destinationFolder,
                                      const std::optional<std::string>& destinationName, std::uint32_t flags,
                                      FSFileOperationStatusCallback callback, double statusInterval, Ref<Object> info)
{
    return start(Kind::Copy, source, destinationFolder, destinationName, flags, std::move(callback), statusInterval,
                 std::move(info));
}

StatusCode FSFileOperation::startMove(const std::string& source, const std::string& destinationFolder,
                                      const std::optional<std::string>& destinationName, std::uint32_t flags,
                                      FSFileOperationStatusCallback callback, double statusInterval, Ref<Object> info)
{
    return start(Kind::Move, source, destinationFolder, destinationName, flags, std::move(callback), statusInterval,
                 std::move(info));
}

StatusCode FSFileOperation::startMoveToTrash(const std::string& source, std::uint32_t flags,
                                             FSFileOperationStatusCallback callback, double statusInterval,
                                             Ref<Object> info)
{
    return start(Kind::Trash, source, {}, std::nullopt, flags, std::move(callback), statusInterval, std::move(info));
}

StatusCode FSFileOperation::start(Kind kind, const std::string& source, const std::string& destinationFolder,
                                  const std::optional<std::string>& destinationName, std::uint32_t flags,
                                  FSFileOperationStatusCallback callback, double statusInterval, Ref<Object> info)
{
    if (source.empty() || (kind != Kind::Trash && destinationFolder.empty()))
        return status::ParameterError;
    {
        std::lock_guard lock(mutex_);
        if (started_)
            return status::ParameterError;
        started_ = true;
        callback_ = std::move(callback);
        info_ = std::move(info);
        interval_ = statusInterval > 0 ? statusInterval : 0;
        startTime_ = Clock::now();
        status_.currentItem = source;
        updateLocked(source, kFSOperationStageUndefined, Progress {});
    }
    Request request {stripTrailingSlashes(source), destinationFolder, destinationName, flags};
    Ref<FSFileOperation> self(this);
    try {
        std::thread([self, kind, request = std::move(request)] {
            try {
                switch (kind) {
                case Kind::Copy: runCopy(*self, request, false); break;
                case Kind::Move: runMove(*self, request); break;
                case Kind::Trash: runTrash(*self, request); break;
                }
            } catch (const std::bad_alloc&) {
                self->finish(request.source, status::MemoryFull, Progress {});
            } catch (const std::exception& error) {
                ZovLog(std::string("FSFileOperation worker failed: ") + error.what());
                self->finish(request.source, status::IOError, Progress {});
            }
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(mutex_);
        started_ = false;
        return status::MemoryFull;
    }
    return 0;
}

void FSFileOperation::updateLocked(const std::string& item, std::uint32_t stage, const Progress& progress)
{
    status_.currentItem = item;
    status_.stage = stage;
    const double seconds = std::chrono::duration<double>(Clock::now() - startTime_).count();
    const auto remaining = [](std::uint64_t total, std::uint64_t done) { return total > done ? total - done : 0; };
    const std::uint64_t throughput =
        seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(progress.bytesComplete) / seconds) : 0;
    status_.dictionary = Value::dictionary({
        {kFSOperationBytesCompleteKey, Value(static_cast<unsigned long long>(progress.bytesComplete))},
        {kFSOperationTotalBytesKey, Value(static_cast<unsigned long long>(progress.totalBytes))},
        {kFSOperationBytesRemainingKey,
         Value(static_cast<unsigned long long>(remaining(progress.totalBytes, progress.bytesComplete)))},
        {kFSOperationObjectsCompleteKey, Value(static_cast<unsigned long long>(progress.objectsComplete))},
        {kFSOperationTotalObjectsKey, Value(static_cast<unsigned long long>(progress.totalObjects))},
        {kFSOperationObjectsRemainingKey,
         Value(static_cast<unsigned long long>(remaining(progress.totalObjects, progress.objectsComplete)))},
        {kFSOperationTotalUserVisibleObjectsKey, Value(static_cast<unsigned long long>(progress.userVisibleTotal))},
        {kFSOperationUserVisibleObjectsCompleteKey,
         Value(static_cast<unsigned long long>(progress.userVisibleComplete))},
        {kFSOperationThroughputKey, Value(static_cast<unsigned long long>(throughput))},
    });
}

void FSFileOperation::report(const std::string& item, std::uint32_t stage, const Progress& progress)
{
    std::lock_guard lock(mutex_);
    if (finished_)
        return;
    updateLocked(item, stage, progress);
    undelivered_ = true;
    postDeliveryLocked(false);
}

void FSFileOperation::finish(const std::string& item, StatusCode error, const Progress& progress)
{
    std::lock_guard lock(mutex_);
    if (finished_)
        return;
    updateLocked(item, kFSOperationStageComplete, progress);
    status_.error = error;
    finished_ = true;
    undelivered_ = true;
    postDeliveryLocked(true);
}

void FSFileOperation::postDeliveryLocked(bool force)
{
    if (!loop_ || deliveryQueued_ || finalDelivered_)
        return;
    if (!force && lastDelivery_ != Clock::time_point {} &&
        Clock::now() - lastDelivery_ < std::chrono::duration<double>(interval_))
        return;
    deliveryQueued_ = true;
    Ref<FSFileOperation> self(this);
    if (!loop_->perform([self] { self->deliver(); }, {mode_}, 0, this))
        deliveryQueued_ = false;
}

void FSFileOperation::deliver()
{
    FSFileOperationStatusCallback callback;
    Ref<Object> info;
    Status snapshot;
    bool final = false;
    {
        std::lock_guard lock(mutex_);
        deliveryQueued_ = false;
        if (!loop_ || loop_.get() != RunLoop::current() || finalDelivered_ || !undelivered_)
            return;
        snapshot = status_;
        final = finished_;
        finalDelivered_ = final;
        undelivered_ = false;
        lastDelivery_ = Clock::now();
        callback = callback_;
        info = info_;
    }
    if (callback)
        callback(this, snapshot.currentItem.c_str(), snapshot.stage, snapshot.error, snapshot.dictionary, info.get());
    if (final) {
        // Nothing calls back any more: let go of what the client handed over.
        std::lock_guard lock(mutex_);
        callback_ = nullptr;
        info_ = nullptr;
    }
}

bool FSFileOperation::scheduleWithRunLoop(RunLoop* loop, const std::string& mode)
{
    if (!loop)
        return false;
    std::lock_guard lock(mutex_);
    // A delivery queued for the old loop or mode is withdrawn, the same loop included: it
    // must not arrive in a mode that is no longer scheduled.
    if (loop_)
        loop_->cancelPerforms(this);
    loop_ = Ref<RunLoop>(loop);
    mode_ = mode;
    deliveryQueued_ = false;
    if (undelivered_)
        postDeliveryLocked(true);
    return true;
}

void FSFileOperation::unscheduleFromRunLoop(RunLoop* loop, const std::string& mode)
{
    std::lock_guard lock(mutex_);
    if (!loop_ || loop_.get() != loop || mode_ != mode)
        return;
    loop_->cancelPerforms(this);
    loop_ = nullptr;
    deliveryQueued_ = false;
}

StatusCode FSFileOperation::cancel()
{
    std::lock_guard lock(mutex_);
    if (!started_)
        return status::ParameterError;
    cancelled_.store(true, std::memory_order_relaxed);
    return 0;
}

FSFileOperation::Status FSFileOperation::copyStatus() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

bool FSFileOperation::isFinished() const
{
    std::lock_guard lock(mutex_);
    return finished_;
}

ScopedFSFileOperationChunkHook::ScopedFSFileOperationChunkHook(FSFileOperationChunkHook hook)
{
    std::lock_guard lock(chunkHookMutex());
    previous_ = std::exchange(chunkHookSlot(), std::make_shared<FSFileOperationChunkHook>(std::move(hook)));
}

ScopedFSFileOperationChunkHook::~ScopedFSFileOperationChunkHook()
{
    std::lock_guard lock(chunkHookMutex());
    chunkHookSlot() = std::move(previous_);
}

} // namespace vistel
