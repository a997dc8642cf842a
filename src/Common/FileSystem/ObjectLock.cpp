#include "Common/FileSystem/ObjectLock.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <utility>

namespace vistel {

namespace {

std::mutex& sourcesMutex()
{
    static std::mutex mutex;
    return mutex;
}

VolumeLockSources& installedSources()
{
    static VolumeLockSources sources;
    return sources;
}

VolumeLockSources currentSources()
{
    std::lock_guard lock(sourcesMutex());
    return installedSources();
}

struct ObjectState {
    mode_t mode = 0;
    dev_t device = 0;
    bool immutable = false;
};

// Looks the referenced object up (following leaf links, as references do) and checks that it
// is still the one referenced.
StatusCode lookUp(const FSRef& ref, ObjectState& state)
{
    if (ref.isNull())
        return status::ParameterError;
    struct statx info {};
    if (::statx(AT_FDCWD, ref.path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_TYPE | STATX_MODE | STATX_INO,
                &info) != 0)
        return statusFromErrno(errno);
    state.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    if (state.device != ref.device || info.stx_ino != ref.inode)
        return status::NoSuchObject;
    state.mode = info.stx_mode;
    state.immutable = (info.stx_attributes_mask & STATX_ATTR_IMMUTABLE)
        && (info.stx_attributes & STATX_ATTR_IMMUTABLE);
    return status::NoError;
}

bool sysfsFlagIsSet(const std::string& file)
{
    std::ifstream in(file);
    int value = 0;
    return in >> value && value != 0;
}

// A read-only block device: the device itself, or the whole disk when the device is one of its
// partitions (a write-protect switch marks the disk). Devices without a sysfs entry (tmpfs,
// FUSE, network file systems) are never hardware-locked.
std::string blockDeviceFolder(const std::string& sysfsRoot, dev_t device)
{
    return sysfsRoot + "/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

bool lockedByHardware(const std::string& sysfsRoot, dev_t device)
{
    const std::string folder = blockDeviceFolder(sysfsRoot, device);
    if (sysfsFlagIsSet(folder + "/ro"))
        return true;
    // "<dev>/.." resolves through the sysfs link to the disk that holds the partition.
    return ::access((folder + "/partition").c_str(), F_OK) == 0 && sysfsFlagIsSet(folder + "/../ro");
}

StatusCode mountedReadOnly(const VolumeLockSources& sources, const std::string& path, dev_t device,
                           bool& readOnly)
{
    if (sources.mountReadOnly)
        return sources.mountReadOnly(path, device, readOnly);
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0)
        return statusFromErrno(errno);
    readOnly = (info.f_flag & ST_RDONLY) != 0;
    return status::NoError;
}

StatusCode clearImmutable(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return statusFromErrno(errno);
    int flags = 0;
    StatusCode result = status::NoError;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        result = statusFromErrno(errno);
    } else if (flags & FS_IMMUTABLE_FL) {
        flags &= ~FS_IMMUTABLE_FL;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
            result = statusFromErrno(errno);
    }
    ::close(fd);
    return result;
}

} // namespace

StatusCode CheckObjectLocked(const FSRef& ref)
{
    ObjectState state;
    if (const StatusCode error = lookUp(ref, state))
        return error;
    if (!(state.mode & S_IWUSR) || state.immutable)
        return status::ObjectLocked;

    return CheckVolumeLocked(ref.path, state.device);
}

StatusCode CheckVolumeLocked(const std::string& path, dev_t device, std::optional<bool> knownReadOnly)
{
    const VolumeLockSources sources = currentSources();
    if (lockedByHardware(sources.sysfsRoot, device))
        return status::VolumeLockedByHardware;
    bool readOnly = false;
    if (knownReadOnly && !sources.mountReadOnly)
        readOnly = *knownReadOnly;
    else if (const StatusCode error = mountedReadOnly(sources, path, device, readOnly))
        return error;
    return readOnly ? status::VolumeLockedBySoftware : status::NoError;
}

std::string sysfsBlockDeviceFolder(dev_t device)
{
    return blockDeviceFolder(currentSources().sysfsRoot, device);
}

StatusCode SetObjectLocked(const FSRef& ref, bool locked)
{
    ObjectState state;
    if (const StatusCode error = lookUp(ref, state))
        return error;

    mode_t mode = state.mode & 07777;
    if (locked) {
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        // An immutable object refuses every change, the mode included: the attribute goes
        // first, or the unlock would report success on an object that stays locked.
        if (state.immutable)
            if (const StatusCode error = clearImmutable(ref.path))
                return error;
        mode |= S_IWUSR;
    }
    if (mode == (state.mode & 07777))
        return status::NoError;
    if (::chmod(ref.path.c_str(), mode) != 0)
        return statusFromErrno(errno);
    return status::NoError;
}

ScopedVolumeLockSources::ScopedVolumeLockSources(VolumeLockSources sources)
{
    std::lock_guard lock(sourcesMutex());
    previous_ = std::exchange(installedSources(), std::move(sources));
}

ScopedVolumeLockSources::~ScopedVolumeLockSources()
{
    std::lock_guard lock(sourcesMutex());
    installedSources() = std::move(previous_);
}

} // namespace vistel
