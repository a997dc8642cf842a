#pragma once
// Folder creation that tells its callers which folders it made (NSFileManager(Creation)).
//
// Attributes: a dictionary whose "NSFilePosixPermissions" (integer), when present, is the
// mode of every folder made; otherwise folders get 0777 less the process's umask. `error`,
// when given, is set to 0 on success and to the status of the failed step otherwise.
//
// Callable from any thread.

#include <string_view>

#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel::NSFileManagerCreation {

// False when the parent exists but is no folder; true when the parent and the path exist;
// otherwise makes the parent first (recursively) and then the folder.
bool createDicrectoryRecursive(std::string_view path, const Value& attributes, StatusCode* error = nullptr);

// Makes the folder, and the missing folders above it when `withIntermediateDirectories`
// (an existing folder then counts as success, as for `mkdir -p`).
bool createDirectoryExtAtPath(std::string_view path, bool withIntermediateDirectories, const Value& attributes,
                              StatusCode* error = nullptr);

} // namespace vistel::NSFileManagerCreation
