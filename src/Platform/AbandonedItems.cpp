#include "Platform/AbandonedItems.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <vector>

#include "Platform/FolderListing.h"

namespace vistel {

bool holdWhileWritten(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void sweepAbandonedItems(int folder, const std::function<bool(std::string_view name)>& isOurs,
                         const std::function<void(int folder, const std::string& name)>& removeFolder)
{
    FileDescriptor listed;
    std::vector<std::string> names;
    readFolderAt(folder, ".", listed, names); // what could be read is enough
    const std::time_t now = std::time(nullptr);
    for (const std::string& name : names) {
        if (!isOurs(name))
            continue;
        const FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!fd || ::fstat(fd.get(), &info) != 0 || now - info.st_mtime < kAbandonedAfterSeconds)
            continue;
        const bool folderItem = S_ISDIR(info.st_mode);
        if (!S_ISREG(info.st_mode) && !(folderItem && removeFolder))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // a live writer holds it, or the file system has no locks
        // Only the item that was locked: the name may have been given to another meanwhile.
        struct stat named {};
        if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != info.st_dev
            || named.st_ino != info.st_ino)
            continue;
        if (folderItem)
            removeFolder(folder, name);
        else
            ::unlinkat(folder, name.c_str(), 0);
    }
}

} // namespace vistel
