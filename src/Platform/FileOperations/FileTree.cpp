#include "Platform/FileOperations/FileTree.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "Platform/AbandonedItems.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// Makes a folder that must belong to us: an existing one is accepted only when it is a real
// folder (not a link) owned by the effective user.
StatusCode ensurePrivateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return statusFromErrno(errno);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return statusFromErrno(errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return status::PermissionDenied;
    return 0;
}

StatusCode ensureFolders(const std::string& path)
{
    if (path.empty() || path == "/" || path == ".")
        return 0;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 0 : statusFromErrno(ENOTDIR);
    if (StatusCode result = ensureFolders(parentFolderPath(path)))
        return result;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return statusFromErrno(errno);
    return 0;
}

std::string homeTrashFolder()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return joinPath(dataHome, "Trash");
    const char* home = std::getenv("HOME");
    return joinPath(joinPath(home && home[0] ? home : "/", ".local/share"), "Trash");
}

// The device of the nearest existing folder on the way to `path`.
bool deviceOfNearest(const std::string& path, dev_t& device)
{
    std::string at = path;
    for (;;) {
        struct stat info {};
        if (::stat(at.c_str(), &info) == 0) {
            device = info.st_dev;
            return true;
        }
        if (at == "/" || at == ".")
            return false;
        at = parentFolderPath(at);
    }
}

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string truncateUtf8(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    // A UTF-8 sequence has at most three continuation bytes; a name that is not UTF-8 is cut
    // where it is, so that it never shrinks to nothing.
    size_t end = bytes;
    while (end > 0 && bytes - end < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        end = bytes;
    return text.substr(0, end);
}

std::string deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace

StatusCode readLink(const std::string& path, std::string& target)
{
    return readLinkAt(AT_FDCWD, path, target);
}

StatusCode readLinkAt(int parent, const std::string& name, std::string& target)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlinkat(parent, name.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            return statusFromErrno(errno);
        if (static_cast<size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<size_t>(length));
            return 0;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string uniqueHiddenName(const char* purpose)
{
    static std::atomic<std::uint64_t> counter {0};
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
        random = static_cast<std::uint64_t>(std::time(nullptr)) * 2654435761u;
    char text[96];
    std::snprintf(text, sizeof text, ".vistel-%s-%d-%llu-%016llx", purpose, static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(counter.fetch_add(1)), static_cast<unsigned long long>(random));
    return text;
}

namespace {

// A rename that never replaces: renameat2 with RENAME_NOREPLACE, or, on a file system without
// it, a plain rename when nothing carries the name. EEXIST in errno when something does.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without no-replace renames (or a folder moved into itself, which the plain
    // rename refuses again).
    const int error = errno;
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0) {
        errno = EEXIST;
        return false;
    }
    errno = error;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// `to` names the object `from` names (the same name in another case on a case-insensitive file
// system, or another hard link): a plain rename would do nothing, so the item goes through a
// hidden name in the same folder first. The first step is undone when the second fails, as it
// does for a hard link, whose other name is a name of its own.
StatusCode renameOntoItself(const std::string& from, const std::string& to)
{
    const std::string temporary = joinPath(parentFolderPath(from), uniqueHiddenName("renaming"));
    if (!renameNoReplace(from, temporary))
        return statusFromErrno(errno);
    if (renameNoReplace(temporary, to))
        return 0;
    const int error = errno;
    if (!renameNoReplace(temporary, from))
        ZovLog("FSFileOperation: could not give " + temporary + " back its name " + from + ": " +
               statusText(statusFromErrno(errno)));
    return error == EEXIST ? status::DuplicateName : statusFromErrno(error);
}

} // namespace

StatusCode placeItem(const std::string& from, const std::string& to, bool overwrite)
{
    if (renameNoReplace(from, to))
        return 0;
    if (errno != EEXIST)
        return statusFromErrno(errno);

    struct stat source {};
    struct stat target {};
    if (::lstat(from.c_str(), &source) != 0)
        return statusFromErrno(errno);
    if (::lstat(to.c_str(), &target) != 0)
        return placeItem(from, to, false);
    if (source.st_dev == target.st_dev && source.st_ino == target.st_ino && from != to)
        return renameOntoItself(from, to);
    if (!overwrite)
        return status::DuplicateName;
    if (S_ISDIR(source.st_mode) == S_ISDIR(target.st_mode) && ::rename(from.c_str(), to.c_str()) == 0)
        return 0; // a file over a file, a folder over an empty folder: one atomic step
    // Set the old item aside, put the new one in, and only then delete the old one.
    const std::string aside = joinPath(parentFolderPath(to), uniqueHiddenName("replaced"));
    if (::rename(to.c_str(), aside.c_str()) != 0)
        return statusFromErrno(errno);
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.c_str(), to.c_str());
        return statusFromErrno(error);
    }
    if (StatusCode result = removeTree(aside))
        ZovLog("FSFileOperation: could not delete the replaced item " + aside + ": " + statusText(result));
    return 0;
}

namespace {

// Deepest folder nesting the walks below go into: each level holds a descriptor and a stack
// frame, and a hostile tree must not exhaust either.
constexpr unsigned kMaxTreeDepth = 2048;

// Deletes `name` in the folder open as `parent`; a folder is entered through a descriptor
// opened without following links, so a link swapped in for a folder during the walk is
// removed as a link and what it points at is never touched. With `ownTree`, folders of the
// effective user are first given owner access, so that modes copied into a tree this process
// made cannot keep it from being deleted.
StatusCode removeAt(int parent, const char* name, unsigned depth, bool ownTree)
{
    struct stat info {};
    if (::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return statusFromErrno(errno);
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(parent, name, 0) == 0 ? 0 : statusFromErrno(errno);
    if (depth >= kMaxTreeDepth)
        return statusFromErrno(ENAMETOOLONG);
    if (ownTree && info.st_uid == ::geteuid() && ::geteuid() != 0 && (info.st_mode & S_IRWXU) != S_IRWXU) {
        // Through a handle on the folder itself: a path could meanwhile name a link.
        const FileDescriptor handle(::openat(parent, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (handle)
            ::chmod(("/proc/self/fd/" + std::to_string(handle.get())).c_str(), S_IRWXU);
    }
    FileDescriptor folder;
    std::vector<std::string> names;
    StatusCode first = readFolderAt(parent, name, folder, names);
    if (!folder)
        return first;
    for (const std::string& child : names) {
        const StatusCode result = removeAt(folder.get(), child.c_str(), depth + 1, ownTree);
        if (result != 0 && first == 0)
            first = result;
    }
    if (::unlinkat(parent, name, AT_REMOVEDIR) != 0 && first == 0)
        first = statusFromErrno(errno);
    return first;
}

StatusCode removePath(const std::string& path, bool ownTree)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return statusFromErrno(errno);
    if (!S_ISDIR(info.st_mode))
        return ::unlink(path.c_str()) == 0 ? 0 : statusFromErrno(errno);
    const std::string name = lastPathComponent(path);
    if (name.empty() || name == "/")
        return status::ParameterError; // never the root folder
    const FileDescriptor parent(::open(parentFolderPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent)
        return statusFromErrno(errno);
    return removeAt(parent.get(), name.c_str(), 0, ownTree);
}

} // namespace

StatusCode removeTree(const std::string& path) { return removePath(path, false); }

StatusCode removeOwnTree(const std::string& path) { return removePath(path, true); }

StatusCode removeOwnTreeAt(int parent, const std::string& name)
{
    if (!isPlainFileName(name))
        return status::ParameterError;
    return removeAt(parent, name.c_str(), 0, true);
}

bool isPartialCopyName(std::string_view name)
{
    // ".vistel-partial-<pid>-<counter>-<16 hex digits>"
    constexpr std::string_view prefix = ".vistel-partial-";
    if (!name.starts_with(prefix))
        return false;
    name.remove_prefix(prefix.size());
    auto digits = [&name](bool hex) {
        std::size_t length = 0;
        while (length < name.size() && (std::isdigit(static_cast<unsigned char>(name[length])) ||
                                        (hex && name[length] >= 'a' && name[length] <= 'f')))
            ++length;
        name.remove_prefix(length);
        return length;
    };
    auto dash = [&name] {
        if (name.empty() || name.front() != '-')
            return false;
        name.remove_prefix(1);
        return true;
    };
    return digits(false) > 0 && dash() && digits(false) > 0 && dash() && digits(true) == 16 && name.empty();
}

void sweepAbandonedPartialCopiesAt(int folder)
{
    sweepAbandonedItems(folder, isPartialCopyName,
                        [](int parent, const std::string& name) { removeOwnTreeAt(parent, name); });
}

void sweepAbandonedPartialCopies(const std::string& folder)
{
    const FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd)
        sweepAbandonedPartialCopiesAt(fd.get());
}

void measureTree(const std::string& path, std::uint64_t& bytes, std::uint64_t& objects)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISREG(info.st_mode)) {
        bytes += static_cast<std::uint64_t>(info.st_size);
        ++objects;
        return;
    }
    if (S_ISLNK(info.st_mode)) {
        ++objects;
        return;
    }
    if (!S_ISDIR(info.st_mode))
        return;
    ++objects;
    std::vector<std::string> names;
    if (listFolder(path, names) != 0)
        return;
    for (const std::string& name : names)
        measureTree(joinPath(path, name), bytes, objects);
}

StatusCode trashFolderForPath(const std::string& path, std::string& trashFolder, std::string* topFolder)
{
    const std::string item = absolutePath(path);
    struct stat info {};
    if (::lstat(item.c_str(), &info) != 0)
        return statusFromErrno(errno);

    const std::string home = homeTrashFolder();
    dev_t homeDevice = 0;
    if (deviceOfNearest(home, homeDevice) && homeDevice == info.st_dev) {
        if (StatusCode result = ensureFolders(home))
            return result;
        for (const char* sub : {"files", "info"})
            if (StatusCode result = ensurePrivateFolder(joinPath(home, sub)))
                return result;
        trashFolder = home;
        if (topFolder)
            topFolder->clear();
        return 0;
    }

    // $topdir: the highest folder above the item on the item's device.
    std::string top = parentFolderPath(item);
    for (;;) {
        if (top == "/")
            break;
        const std::string up = parentFolderPath(top);
        struct stat upInfo {};
        if (::stat(up.c_str(), &upInfo) != 0 || upInfo.st_dev != info.st_dev)
            break;
        top = up;
    }
    const std::string uid = std::to_string(::geteuid());
    std::string chosen;
    // An administrator-made $topdir/.Trash is used only when it is a real folder with the
    // sticky bit, so that users cannot tamper with each other's folders in it.
    const std::string shared = joinPath(top, ".Trash");
    struct stat sharedInfo {};
    if (::lstat(shared.c_str(), &sharedInfo) == 0 && S_ISDIR(sharedInfo.st_mode) && (sharedInfo.st_mode & S_ISVTX)) {
        if (ensurePrivateFolder(joinPath(shared, uid)) == 0)
            chosen = joinPath(shared, uid);
    }
    if (chosen.empty()) {
        const std::string own = joinPath(top, ".Trash-" + uid);
        if (StatusCode result = ensurePrivateFolder(own))
            return result;
        chosen = own;
    }
    for (const char* sub : {"files", "info"})
        if (StatusCode result = ensurePrivateFolder(joinPath(chosen, sub)))
            return result;
    trashFolder = chosen;
    if (topFolder)
        *topFolder = top;
    return 0;
}

std::string trashInfoPathEncode(const std::string& path)
{
    // The trash format keeps the URI "mark" characters besides the unreserved ones.
    return percentEncoded(path, "/!*'()");
}

StatusCode moveItemToTrash(const std::string& path, std::string& trashedPath)
{
    const std::string item = absolutePath(path);
    std::string trash;
    std::string top;
    if (StatusCode result = trashFolderForPath(item, trash, &top))
        return result;
    const std::string name = lastPathComponent(item);
    if (name.empty() || name == "/")
        return status::ParameterError;

    // Under $topdir the Path is relative to it, so the volume's Trash stays valid wherever
    // the volume is mounted next time.
    const std::string recorded = top.empty() ? item : item.substr(top == "/" ? 1 : top.size() + 1);
    const std::string info = "[Trash Info]\nPath=" + trashInfoPathEncode(recorded) + "\nDeletionDate=" + deletionDate() + "\n";

    static constexpr const char* infoSuffix = ".trashinfo";
    const size_t room = NAME_MAX - std::char_traits<char>::length(infoSuffix);
    for (unsigned attempt = 1; attempt < 10000; ++attempt) {
        const std::string suffix = attempt == 1 ? std::string() : "." + std::to_string(attempt);
        const std::string trashName = truncateUtf8(name, room - suffix.size()) + suffix;
        const std::string infoPath = joinPath(joinPath(trash, "info"), trashName + infoSuffix);
        FileDescriptor fd(::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST)
                continue;
            return statusFromErrno(errno);
        }
        const std::string filesPath = joinPath(joinPath(trash, "files"), trashName);
        struct stat existing {};
        if (::lstat(filesPath.c_str(), &existing) == 0) {
            ::unlink(infoPath.c_str());
            continue;
        }
        StatusCode result = 0;
        for (size_t written = 0; written < info.size() && result == 0;) {
            const ssize_t n = ::write(fd.get(), info.data() + written, info.size() - written);
            if (n < 0 && errno != EINTR)
                result = statusFromErrno(errno);
            else if (n > 0)
                written += static_cast<size_t>(n);
        }
        // The info file must be on disk before the item moves: a Trash item without it
        // cannot be put back.
        if (result == 0 && ::fsync(fd.get()) != 0)
            result = statusFromErrno(errno);
        if (result == 0 && ::close(fd.release()) != 0)
            result = statusFromErrno(errno);
        if (result == 0 && ::renameat2(AT_FDCWD, item.c_str(), AT_FDCWD, filesPath.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) {
                ::unlink(infoPath.c_str());
                continue;
            }
            if (errno == EINVAL && ::rename(item.c_str(), filesPath.c_str()) == 0) {
                trashedPath = filesPath;
                return 0;
            }
            result = statusFromErrno(errno);
        }
        if (result != 0) {
            ::unlink(infoPath.c_str());
            return result;
        }
        trashedPath = filesPath;
        return 0;
    }
    return status::DuplicateName;
}

} // namespace vistel
