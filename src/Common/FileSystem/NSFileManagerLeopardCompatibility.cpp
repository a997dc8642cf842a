#include "Common/FileSystem/NSFileManagerLeopardCompatibility.h"

#include <string>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/FileSystem/NSFileManagerCreation.h"
#include "Common/Strings/NSStringDevices.h"
#include "Platform/FileOperations/FileTree.h"

namespace vistel::NSFileManagerLeopardCompatibility {

bool createDirectoryAtPathExt(std::string_view path, bool withIntermediateDirectories, const Value& attributes,
                              StatusCode* error)
{
    return NSFileManagerCreation::createDirectoryExtAtPath(path, withIntermediateDirectories, attributes, error);
}

bool removeItemAtPathExt(std::string_view path, StatusCode* error)
{
    const StatusCode result = path.empty() ? status::ParameterError : removeTree(std::string(path));
    if (error)
        *error = result;
    return result == 0;
}

Value attributesOfItemAtPathExt(std::string_view path, StatusCode* error)
{
    if (error)
        *error = 0;
    if (!NSStringDevices::isVolumePath(path) && !NSStringDevices::isICADevicePath(path))
        return Value::dictionary();
    Value attributes = FileSystemFunctions::fileAttributesAtPath(path, false);
    if (attributes.size() == 0 && error)
        *error = status::NoSuchObject;
    return attributes;
}

} // namespace vistel::NSFileManagerLeopardCompatibility
