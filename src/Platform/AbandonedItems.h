#pragma once
// Items that writers make under hidden names in a target's folder (the atomic writer's
// temporary files, the file operations' partial copies) and the sweep of those that a killed
// writer left behind.
//
// A writer holds an exclusive flock on its item (a file, or the top folder of a tree) for as
// long as it works on it. An item is abandoned once nobody holds it and it was left untouched
// for kAbandonedAfterSeconds: the age covers the instant between making an item and locking
// it, and file systems without locks. The lock decides, not the age alone: a slow writer keeps
// its lock for as long as it lives.
//
// Safe on any thread.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace vistel {

inline constexpr std::time_t kAbandonedAfterSeconds = 60;

// Takes the writer's lock on the item open as `fd`. The lock lives with the open file
// description: a descriptor duplicated from `fd` keeps it after `fd` is closed. False where
// the file system has no locks (the item then counts as alive while it is fresh).
bool holdWhileWritten(int fd);

// Removes the abandoned items of the folder open as `folder` whose names `isOurs` accepts:
// regular files, and, when `removeFolder` is given, folders, which it removes (called with the
// folder and the item's name, the item's lock held). Anything else (links, FIFOs, devices,
// items held, fresh or of another name) stays. What cannot be read or removed is left alone.
void sweepAbandonedItems(int folder, const std::function<bool(std::string_view name)>& isOurs,
                         const std::function<void(int folder, const std::string& name)>& removeFolder = {});

} // namespace vistel
