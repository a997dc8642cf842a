#include "Common/Icons/NSStringCarbonFSRefCreation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vistel::NSStringCarbonFSRefCreation {

bool getFSRef(std::string_view path, FSRef& ref, bool createFileIfNecessary)
{
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    FSRef found;
    if (makeFSRef(path, found) == 0) {
        ref = std::move(found);
        return true;
    }
    if (!createFileIfNecessary)
        return false;
    const std::string file(path);
    int fd;
    do {
        fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST)
        return false;
    if (fd >= 0 && ::close(fd) != 0) {
        ::unlink(file.c_str());
        return false;
    }
    // Made here, or made by someone else a moment ago: either way the path names it now.
    if (makeFSRef(path, found) != 0)
        return false;
    ref = std::move(found);
    return true;
}

} // namespace vistel::NSStringCarbonFSRefCreation
