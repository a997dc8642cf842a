#include "Platform/FolderListing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

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

StatusCode readRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes)
{
    bytes.clear();
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return statusFromErrno(errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return statusFromErrno(errno);
    if (S_ISDIR(info.st_mode))
        return statusFromErrno(EISDIR);
    if (!S_ISREG(info.st_mode))
        return statusFromErrno(EINVAL);
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
        return statusFromErrno(EFBIG);
    std::string read;
    read.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return statusFromErrno(errno);
        if (got == 0)
            break;
        if (read.size() + static_cast<std::size_t>(got) > maxBytes)
            return statusFromErrno(EFBIG); // grew while read
        read.append(buffer, static_cast<std::size_t>(got));
    }
    bytes = std::move(read);
    return 0;
}

} // namespace vistel
