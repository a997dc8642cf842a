#pragma once
// NSStringCarbonFSRefCreation: a file reference for a path, creating an empty file when asked.
//
// The file is created with O_EXCL, so an object that appears at the path meanwhile is never
// truncated or replaced: the reference then names that object. Safe on any thread.

#include <string_view>

#include "Common/FileSystem/FSRef.h"

namespace vistel::NSStringCarbonFSRefCreation {

// True, with `ref` filled, when the path names an existing object, or when `createFileIfNecessary`
// is set and an empty file could be made there. A path that names nothing is never created
// without it.
bool getFSRef(std::string_view path, FSRef& ref, bool createFileIfNecessary);

} // namespace vistel::NSStringCarbonFSRefCreation
