#include "Platform/FolderListing.h"

#include <fcntl.h>

#include <cerrno>

namespace vistel {

StatusCode readFolderAt(int parent, const std::string& name, FileDescriptor& folder, std::vector<std::string>& names)
{
    names.clear();
    folder = FileDescriptor(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return statusFromErrno(errno);
    // The stream reads through its own descriptor and closes it; `folder` stays open.
    const int readFd = ::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0);
    DIR* stream = readFd >= 0 ? ::fdopendir(readFd) : nullptr;
    if (!stream) {
        const StatusCode result = statusFromErrno(errno);
        if (readFd >= 0)
            ::close(readFd);
        return result;
    }
    DirectoryHandle handle(stream);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream);
        if (!entry)
            return errno != 0 ? statusFromErrno(errno) : 0;
        const std::string child = entry->d_name;
        if (child != "." && child != "..")
            names.push_back(child);
    }
}

StatusCode listFolder(const std::string& path, std::vector<std::string>& names)
{
    FileDescriptor folder;
    return readFolderAt(AT_FDCWD, path, folder, names);
}

} // namespace vistel
