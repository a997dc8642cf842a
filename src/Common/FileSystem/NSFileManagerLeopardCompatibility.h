#pragma once
// Folder creation, removal and attributes that behave alike for every caller
// (the …Ext methods of NSFileManager(LeopardCompatibility); the lock operations are in
// FileManagerLock.h).
//
// `error`, when given, is set to 0 on success and to the status of the failure otherwise.
// Callable from any thread.

#include <string_view>

#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel::NSFileManagerLeopardCompatibility {

// NSFileManagerCreation::createDirectoryExtAtPath.
bool createDirectoryAtPathExt(std::string_view path, bool withIntermediateDirectories, const Value& attributes,
                              StatusCode* error = nullptr);

// Deletes the file, link or folder (with everything in it) at the path; links inside are
// removed, never followed.
bool removeItemAtPathExt(std::string_view path, StatusCode* error = nullptr);

// The attributes of a volume path or a camera path (links not followed); an empty dictionary
// for any other text, and for a path that names nothing (error -43 or the lookup's status).
Value attributesOfItemAtPathExt(std::string_view path, StatusCode* error = nullptr);

} // namespace vistel::NSFileManagerLeopardCompatibility
