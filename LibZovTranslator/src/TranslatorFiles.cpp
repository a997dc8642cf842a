#include "TranslatorFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistel::translator_files {

std::optional<std::uint64_t> fileSize(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::string> readFile(const std::string& path, std::uint64_t minSize, std::uint64_t maxSize)
{
    // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) < minSize
        || static_cast<std::uint64_t>(info.st_size) > maxSize) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > maxSize) { // the file grew while being read
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    if (bytes.size() < minSize)
        return std::nullopt;
    return bytes;
}

} // namespace vistel::translator_files
