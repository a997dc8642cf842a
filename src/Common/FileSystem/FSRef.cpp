#include "Common/FileSystem/FSRef.h"

#include <sys/stat.h>

#include <cerrno>

namespace vistel {

StatusCode makeFSRef(std::string_view path, FSRef& ref, bool* isDirectory)
{
    if (path.empty())
        return status::ParameterError;
    std::string text(path);
    struct stat info {};
    if (::stat(text.c_str(), &info) != 0)
        return statusFromErrno(errno);
    ref.path = std::move(text);
    ref.device = info.st_dev;
    ref.inode = info.st_ino;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return status::NoError;
}

StatusCode verifyFSRef(const FSRef& ref)
{
    if (ref.isNull())
        return status::ParameterError;
    struct stat info {};
    if (::stat(ref.path.c_str(), &info) != 0)
        return statusFromErrno(errno);
    if (info.st_dev != ref.device || info.st_ino != ref.inode)
        return status::NoSuchObject;
    return status::NoError;
}

} // namespace vistel
