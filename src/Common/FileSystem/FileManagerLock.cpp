#include "Common/FileSystem/FileManagerLock.h"

#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/ObjectLock.h"

namespace vistel::NSFileManagerLeopardCompatibility {

namespace {

bool setLocked(std::string_view path, bool locked, StatusCode* error)
{
    FSRef ref;
    StatusCode result = makeFSRef(path, ref);
    if (result == status::NoError)
        result = SetObjectLocked(ref, locked);
    if (error)
        *error = result;
    return result == status::NoError;
}

} // namespace

bool isPathLockedExt(std::string_view path, StatusCode& error)
{
    FSRef ref;
    error = makeFSRef(path, ref);
    if (error == status::NoSuchObject || error == status::FolderNotFound)
        return false;
    if (error == status::NoError)
        error = CheckObjectLocked(ref);
    return error != status::NoError;
}

bool lockFileAtPath(std::string_view path, StatusCode* error)
{
    return setLocked(path, true, error);
}

bool unlockFileAtPath(std::string_view path, StatusCode* error)
{
    return setLocked(path, false, error);
}

} // namespace vistel::NSFileManagerLeopardCompatibility
