#include "Platform/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "Platform/AbandonedItems.h"
#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"

namespace vistel {

namespace {

constexpr std::string_view kTemporaryPrefix = ".vistel-tmp-";
constexpr std::size_t kTemporaryRandomLength = 10;
constexpr char kTemporaryAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// Read from /proc, never by setting the mask and back: another thread creating a file in
// between would get the wrong mode.
mode_t readUmask()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned long mask = 022;
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %lo", &mask) == 1)
                break;
        std::fclose(status);
        return static_cast<mode_t>(mask & 0777);
    }
    return 022;
}

const mode_t startUmask = readUmask();

std::atomic<int> injectedChmodFailure {0};

std::string randomTemporaryName()
{
    unsigned char random[kTemporaryRandomLength];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        thread_local std::mt19937_64 fallback(std::random_device {}());
        for (unsigned char& byte : random)
            byte = static_cast<unsigned char>(fallback());
    }
    std::string name(kTemporaryPrefix);
    for (const unsigned char byte : random)
        name.push_back(kTemporaryAlphabet[byte % (sizeof kTemporaryAlphabet - 1)]);
    return name;
}

std::string describeType(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFSOCK: return "a socket";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFLNK: return "a symbolic link";
    default: return "not a regular file";
    }
}

// A file system without RENAME_EXCHANGE or RENAME_NOREPLACE (or an older kernel).
bool renameFlagUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// File systems without permissions (vfat, exfat picture frames) refuse the mode change.
bool modeNotStored(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP;
}

class Writer {
public:
    Writer(std::string_view path, const AtomicWriteOptions& options) : requested_(path), path_(path), options_(options)
    {
    }

    AtomicWriteResult run(std::span<const std::uint8_t> bytes);

private:
    // The cause reads "cannot write <path as asked>: <reason>".
    bool fail(AtomicWriteStep step, int error, const std::string& reason)
    {
        result_.error = error;
        result_.step = step;
        result_.cause = "cannot write " + requested_ + ": " + reason;
        return false;
    }
    // The reason ends with the words of errno.
    bool failErrno(AtomicWriteStep step, const std::string& reason)
    {
        const int error = errno;
        return fail(step, error, reason.empty() ? std::strerror(error) : reason + ": " + std::strerror(error));
    }

    bool findTarget();
    bool createTemporary();
    bool writeAll(std::span<const std::uint8_t> bytes);
    bool takeOverAttributes();
    bool replace();
    void removeTemporary()
    {
        if (!temporaryName_.empty())
            ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
    }

    std::string requested_; // the path as the caller gave it
    std::string path_;      // the same, or the file its symbolic link points to
    AtomicWriteOptions options_;
    std::string folderPath_;
    std::string name_;
    FileDescriptor folder_;
    struct stat target_ {};
    bool targetExists_ = false;
    FileDescriptor file_;
    std::string temporaryName_;
    AtomicWriteResult result_;
};

bool Writer::findTarget()
{
    if (path_.empty())
        return fail(AtomicWriteStep::Path, EINVAL, "the path is empty");
    struct stat link {};
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(path_.c_str(), nullptr);
        if (!resolved) {
            const int error = errno;
            return fail(AtomicWriteStep::Link, error,
                        error == ENOENT ? std::string("it is a symbolic link to nothing")
                                        : std::string("cannot follow its symbolic link: ") + std::strerror(error));
        }
        path_ = resolved;
        std::free(resolved);
    }
    folderPath_ = parentFolderPath(path_);
    name_ = lastPathComponent(path_);
    if (!isPlainFileName(name_))
        return fail(AtomicWriteStep::Path, EINVAL, "it names no file");

    folder_ = FileDescriptor(::open(folderPath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_)
        return failErrno(AtomicWriteStep::Folder, "cannot open its folder " + folderPath_);
    if (::fstatat(folder_.get(), name_.c_str(), &target_, AT_SYMLINK_NOFOLLOW) == 0) {
        if (options_.newFileOnly)
            return fail(AtomicWriteStep::Target, EEXIST, "an item of that name is there");
        if (S_ISDIR(target_.st_mode))
            return fail(AtomicWriteStep::Target, EISDIR, "it is a folder");
        if (!S_ISREG(target_.st_mode))
            return fail(AtomicWriteStep::Target, EINVAL, "it is " + describeType(target_.st_mode) + ", not a regular file");
        targetExists_ = true;
    } else if (errno != ENOENT) {
        return failErrno(AtomicWriteStep::Target, "cannot look at it");
    }
    return true;
}

bool Writer::createTemporary()
{
    sweepAbandonedItems(folder_.get(), isAtomicWriteTemporaryName);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = randomTemporaryName();
        file_ = FileDescriptor(::openat(folder_.get(), name.c_str(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, options_.writingMode));
        if (file_) {
            temporaryName_ = std::move(name);
            result_.temporaryName = temporaryName_;
            // Tells the sweep of other writers that this file is alive. Where the file system
            // has no locks the file is still fresh for a minute, which the sweep respects.
            holdWhileWritten(file_.get());
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return failErrno(AtomicWriteStep::Create, "cannot create a temporary file in " + folderPath_);
}

bool Writer::writeAll(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC; // a write that takes nothing and reports nothing: the disk is full
            return failErrno(AtomicWriteStep::Write, "");
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    if (::fsync(file_.get()) != 0)
        return failErrno(AtomicWriteStep::Sync, "cannot flush it to disk");
    return true;
}

bool Writer::takeOverAttributes()
{
    // Owner first: a change of owner clears the set-id bits, which the mode then restores.
    if (targetExists_ && (target_.st_uid != ::geteuid() || target_.st_gid != ::getegid())) {
        if (::fchown(file_.get(), target_.st_uid, target_.st_gid) != 0)
            ::fchown(file_.get(), static_cast<uid_t>(-1), target_.st_gid); // a member may still keep the group
    }
    const mode_t mode = targetExists_ ? (target_.st_mode & 07777) : (options_.newFileMode & ~startUmask & 07777);
    int error = injectedChmodFailure.load();
    if (error == 0 && ::fchmod(file_.get(), mode) != 0)
        error = errno;
    if (error != 0 && !modeNotStored(error)) {
        errno = error;
        return failErrno(AtomicWriteStep::Mode, "cannot set its mode");
    }
    return true;
}

bool Writer::replace()
{
    const int folder = folder_.get();
    const char* from = temporaryName_.c_str();
    const char* to = name_.c_str();
    if (targetExists_ && options_.replacement == FileReplacement::Exchange) {
        if (::renameat2(folder, from, folder, to, RENAME_EXCHANGE) == 0) {
            // The temporary name now holds the old bytes.
            ::unlinkat(folder, from, 0);
            temporaryName_.clear();
            return true;
        }
        // Without an exchange, or with the target gone meanwhile, a rename does it in one step too.
        if (!renameFlagUnsupported(errno) && errno != ENOENT)
            return failErrno(AtomicWriteStep::Replace, "cannot exchange it with " + temporaryName_);
    } else if (!targetExists_ && (options_.keepItemCreatedMeanwhile || options_.newFileOnly)) {
        if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) {
            temporaryName_.clear();
            return true;
        }
        if (errno == EEXIST)
            return fail(AtomicWriteStep::Replace, EEXIST, "an item of that name appeared meanwhile");
        if (!renameFlagUnsupported(errno))
            return failErrno(AtomicWriteStep::Replace, "cannot rename " + temporaryName_ + " to it");
        // No no-replace rename here: look once more, then rename.
        struct stat raced {};
        if (::fstatat(folder, to, &raced, AT_SYMLINK_NOFOLLOW) == 0)
            return fail(AtomicWriteStep::Replace, EEXIST, "an item of that name appeared meanwhile");
    }
    if (::renameat(folder, from, folder, to) != 0)
        return failErrno(AtomicWriteStep::Replace, "cannot rename " + temporaryName_ + " to it");
    temporaryName_.clear();
    return true;
}

AtomicWriteResult Writer::run(std::span<const std::uint8_t> bytes)
{
    if (!findTarget() || !createTemporary())
        return result_;
    if (!writeAll(bytes) || !takeOverAttributes() || !replace()) {
        removeTemporary();
        return result_;
    }
    // The name is in place; the lock goes with the descriptor.
    file_ = FileDescriptor();
    // The rename is durable only once the folder is on disk. Some file systems cannot flush a
    // folder; the file itself is on disk either way.
    ::fsync(folder_.get());
    return result_;
}

} // namespace

AtomicWriteResult writeFileAtomically(std::string_view path, std::span<const std::uint8_t> bytes,
                                      const AtomicWriteOptions& options)
{
    const int savedErrno = errno;
    AtomicWriteResult result = Writer(path, options).run(bytes);
    errno = result.error != 0 ? result.error : savedErrno;
    return result;
}

AtomicWriteResult writeFileAtomically(std::string_view path, std::string_view bytes, const AtomicWriteOptions& options)
{
    return writeFileAtomically(
        path, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), options);
}

mode_t processUmask() noexcept
{
    return startUmask;
}

bool isAtomicWriteTemporaryName(std::string_view name) noexcept
{
    if (name.size() != kTemporaryPrefix.size() + kTemporaryRandomLength || !name.starts_with(kTemporaryPrefix))
        return false;
    for (const char c : name.substr(kTemporaryPrefix.size()))
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

ScopedAtomicWriteChmodFailure::ScopedAtomicWriteChmodFailure(int error) : previous_(injectedChmodFailure.exchange(error)) { }

ScopedAtomicWriteChmodFailure::~ScopedAtomicWriteChmodFailure()
{
    injectedChmodFailure.store(previous_);
}

} // namespace vistel
