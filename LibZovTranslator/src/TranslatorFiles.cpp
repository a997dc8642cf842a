#include "TranslatorFiles.h"

#include <atomic>
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

bool writeFileAtomically(const std::string& path, std::string_view bytes)
{
    static std::atomic<unsigned> counter {0};
    struct stat old {};
    const bool replacing = ::stat(path.c_str(), &old) == 0;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = true;
    if (replacing)
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    std::size_t written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            ok = false;
        else
            written += static_cast<std::size_t>(put);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

namespace {

std::string foldSlashes(std::string path)
{
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out.push_back(c);
    }
    if (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

} // namespace

std::string appendingPathComponent(std::string_view base, std::string_view component)
{
    if (base.empty())
        return foldSlashes(std::string(component));
    if (component.empty())
        return foldSlashes(std::string(base));
    std::string joined(base);
    joined.push_back('/');
    joined.append(component);
    return foldSlashes(std::move(joined));
}

std::string deletingLastPathComponent(std::string_view path)
{
    std::string folded = foldSlashes(std::string(path));
    if (folded == "/")
        return folded;
    const std::size_t slash = folded.rfind('/');
    if (slash == std::string::npos)
        return "";
    if (slash == 0)
        return "/";
    return folded.substr(0, slash);
}

} // namespace vistel::translator_files
