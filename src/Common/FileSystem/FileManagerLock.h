#pragma once
// The lock operations of NSFileManagerLeopardCompatibility: whether a path or its volume is
// locked, and locking and unlocking a file or folder (see ObjectLock.h for what "locked" is).
//
// Errors are system status codes (Platform/StatusCodes.h). Safe on any thread.

#include <string_view>

#include "Platform/StatusCodes.h"

namespace vistel::NSFileManagerLeopardCompatibility {

// True when the object or its volume is locked, with `error` set to the lock status (-45,
// -44, -46) or to the status of a lookup that failed. A path that does not exist is not
// locked: false, with `error` set to its not-found status, so that callers go on and report
// the missing item instead of offering to unlock it. False with `error` 0 otherwise.
bool isPathLockedExt(std::string_view path, StatusCode& error);

// Lock (a-w) or unlock (u+w) the object at the path. True on success; false with `error` (may
// be null) set to the failure's status. `error` is set to 0 on success.
bool lockFileAtPath(std::string_view path, StatusCode* error = nullptr);
bool unlockFileAtPath(std::string_view path, StatusCode* error = nullptr);

} // namespace vistel::NSFileManagerLeopardCompatibility
