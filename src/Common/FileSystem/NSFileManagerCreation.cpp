#include "Common/FileSystem/NSFileManagerCreation.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "Common/FileSystem/FSRef.h"
#include "Platform/FilePaths.h"

namespace vistel::NSFileManagerCreation {

namespace {

bool fail(StatusCode* error, StatusCode status)
{
    if (error)
        *error = status;
    return false;
}

bool succeed(StatusCode* error)
{
    if (error)
        *error = 0;
    return true;
}

// mkdir applies the umask; an explicit mode is set exactly afterwards.
bool makeFolder(const std::string& path, const Value& attributes, StatusCode* error)
{
    if (::mkdir(path.c_str(), 0777) != 0)
        return fail(error, statusFromErrno(errno));
    const Value& mode = attributes["NSFilePosixPermissions"];
    if (mode.isNumber() && ::chmod(path.c_str(), static_cast<mode_t>(mode.toInt64()) & 07777) != 0)
        return fail(error, statusFromErrno(errno));
    return succeed(error);
}

bool exists(const std::string& path, bool* isFolder)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    *isFolder = S_ISDIR(info.st_mode);
    return true;
}

} // namespace

bool createDicrectoryRecursive(std::string_view pathView, const Value& attributes, StatusCode* error)
{
    const std::string path = stripTrailingSlashes(pathView);
    if (path.empty())
        return fail(error, status::ParameterError);
    const std::string parent = parentFolderPath(path);
    bool parentIsFolder = false;
    bool pathIsFolder = false;
    if (exists(parent, &parentIsFolder)) {
        if (!parentIsFolder)
            return fail(error, statusFromErrno(ENOTDIR));
        if (exists(path, &pathIsFolder))
            return succeed(error);
    } else if (parent != path && !createDicrectoryRecursive(parent, attributes, error)) {
        return false;
    }
    return makeFolder(path, attributes, error);
}

bool createDirectoryExtAtPath(std::string_view pathView, bool withIntermediateDirectories, const Value& attributes,
                              StatusCode* error)
{
    const std::string path = stripTrailingSlashes(pathView);
    if (path.empty())
        return fail(error, status::ParameterError);
    if (!withIntermediateDirectories)
        return makeFolder(path, attributes, error);
    bool isFolder = false;
    if (exists(path, &isFolder))
        return isFolder ? succeed(error) : fail(error, statusFromErrno(EEXIST));
    return createDicrectoryRecursive(path, attributes, error);
}

} // namespace vistel::NSFileManagerCreation
