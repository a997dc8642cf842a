#pragma once
// The locked state of files, folders and volumes.
//
// An object is locked when its owner has no write permission or it carries the immutable
// attribute. Locking clears every write bit (a-w); unlocking gives the owner write permission
// back (u+w) and, when the object is immutable, removes that attribute first (which needs the
// privilege to do so). A volume is locked by hardware when its block device is read-only
// (sysfs "ro" is 1, for the device or for the whole disk of a partition) and locked by software
// when it is mounted read-only.
//
// Thread safety: callable from any thread. The lock sources are process-wide and meant to be
// replaced only by tests (ScopedVolumeLockSources), before the code under test runs.

#include <functional>
#include <optional>
#include <string>

#include "Common/FileSystem/FSRef.h"
#include "Platform/StatusCodes.h"

namespace vistel {

// -45 when the object is locked, -44 when its volume is locked by hardware, -46 when its volume
// is locked by software, otherwise 0 (checked in that order); -43 when the reference's path no
// longer names the referenced object; another status when a lookup fails.
StatusCode CheckObjectLocked(const FSRef& ref);

// Locks (a-w) or unlocks (u+w, immutable attribute removed) the object. 0, or the status of
// the step that failed (-46 on a read-only volume, -5000 without permission, -43 for a
// reference whose object is gone).
StatusCode SetObjectLocked(const FSRef& ref, bool locked);

// The lock state of the volume holding `path` (device `device`): -44 locked by hardware, -46
// mounted read-only, 0 writable, or the lookup's status. A caller that has just read the
// mount's flags from the mount table passes them as `mountedReadOnly`, so that the check never
// waits on the file system (a dead network share); a test's mount-flag source still wins.
StatusCode CheckVolumeLocked(const std::string& path, dev_t device, std::optional<bool> mountedReadOnly = std::nullopt);

// "<sysfs root>/dev/block/<major>:<minor>" under the installed sources' root.
std::string sysfsBlockDeviceFolder(dev_t device);

// Where the volume lock states are read. Tests point these at a fake sysfs tree and a fake
// mount table; the program uses the defaults.
struct VolumeLockSources {
    // Root of the sysfs tree: "<root>/dev/block/<major>:<minor>/ro" is read.
    std::string sysfsRoot = "/sys";
    // Sets `readOnly` for the file system holding `path` (device `device`); answers 0 or the
    // lookup's status. Empty: statvfs's read-only mount flag.
    std::function<StatusCode(const std::string& path, dev_t device, bool& readOnly)> mountReadOnly;
};

// Installs `sources` for its lifetime and restores the previous ones afterwards.
class ScopedVolumeLockSources {
public:
    explicit ScopedVolumeLockSources(VolumeLockSources sources);
    ~ScopedVolumeLockSources();
    ScopedVolumeLockSources(const ScopedVolumeLockSources&) = delete;
    ScopedVolumeLockSources& operator=(const ScopedVolumeLockSources&) = delete;

private:
    VolumeLockSources previous_;
};

} // namespace vistel
