#include "Platform/FolderListing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
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

namespace {

// Reads straight into the container: sized once from the file's status, grown only when the file
// grows while it is read.
template <class Container>
StatusCode readRegularFileInto(const std::string& path, Container& bytes, std::size_t maxBytes)
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
    Container read;
    read.resize(static_cast<std::size_t>(info.st_size) + 1); // one more byte sees a file that grew
    std::size_t done = 0;
    for (;;) {
        if (done == read.size()) {
            if (read.size() > maxBytes)
                return statusFromErrno(EFBIG); // grew while read
            const std::size_t cap = maxBytes < SIZE_MAX ? maxBytes + 1 : maxBytes;
            read.resize(std::min(cap, read.size() * 2));
        }
        const ssize_t got = ::read(file.get(), read.data() + done, read.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return statusFromErrno(errno);
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    if (done > maxBytes)
        return statusFromErrno(EFBIG); // grew while read
    read.resize(done);
    bytes = std::move(read);
    return 0;
}

} // namespace

StatusCode readRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes)
{
    return readRegularFileInto(path, bytes, maxBytes);
}

StatusCode readRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::size_t maxBytes)
{
    return readRegularFileInto(path, bytes, maxBytes);
}

} // namespace vistel
