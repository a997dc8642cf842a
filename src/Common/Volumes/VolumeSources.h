#pragma once
// Where the volume code learns about mounts and devices, and which mounts are volumes.
//
// The program reads /proc/self/mountinfo, libudev (by device number), sysfs (the root the
// volume lock check uses, ObjectLock.h) and statvfs. Tests replace the mount table, the udev
// facts, the free-space reader, the home folder and the user name with ScopedVolumeFactsSources, and the sysfs tree and mount
// flags with ScopedVolumeLockSources, before the code under test runs.
//
// Volumes are "/", mounts below /media, /run/media/<user>, /mnt and the home folder, and
// network file systems wherever they are mounted. Pseudo file systems and bind mounts of
// single files are not volumes: their paths belong to the volume above them.
//
// Thread safety: callable from any thread.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/FileSystem/MountTable.h"

namespace vistel {

// What udev knows of a block device.
struct BlockDeviceFacts {
    // The device's properties (ID_FS_UUID, ID_FS_LABEL, ID_CDROM, ID_PART_ENTRY_NUMBER...).
    std::map<std::string, std::string> properties;
    // Attributes of its USB device (idVendor, idProduct, serial, product); empty off USB.
    std::map<std::string, std::string> usbDevice;
};

struct VolumeFactsSources {
    // The text of the mount table. Empty: /proc/self/mountinfo.
    std::function<std::string()> mountTableText;
    // The facts of a block device. Empty: libudev.
    std::function<std::optional<BlockDeviceFacts>(dev_t device)> blockDevice;
    // The bytes an unprivileged user may still write on the file system holding `path`;
    // nullopt when it cannot tell. Empty: statvfs. May block (a dead network share).
    std::function<std::optional<std::uint64_t>(const std::string& path)> freeBytes;
    // Empty: $HOME and the login name of the effective user.
    std::string homeFolder;
    std::string userName;
};

// The installed sources with their defaults filled in.
VolumeFactsSources volumeFactsSources();

// Installs `sources` for its lifetime and restores the previous ones afterwards.
class ScopedVolumeFactsSources {
public:
    explicit ScopedVolumeFactsSources(VolumeFactsSources sources);
    ~ScopedVolumeFactsSources();
    ScopedVolumeFactsSources(const ScopedVolumeFactsSources&) = delete;
    ScopedVolumeFactsSources& operator=(const ScopedVolumeFactsSources&) = delete;

private:
    VolumeFactsSources previous_;
};

// libudev's facts of the block device `device`; nullopt for a device udev does not know
// (anonymous devices of tmpfs, overlay, network and btrfs subvolume mounts).
std::optional<BlockDeviceFacts> udevBlockDeviceFacts(dev_t device);

// statvfs's free bytes for unprivileged users.
std::optional<std::uint64_t> statvfsFreeBytes(const std::string& path);

// nfs, nfs4, cifs, smb3, smbfs, fuse.sshfs, davfs, 9p, afs.
bool isNetworkFileSystem(std::string_view fileSystem);

// The volumes of `table`, in table order; of mounts stacked on one mount point only the top
// one counts.
std::vector<MountTableEntry> volumeMounts(const std::vector<MountTableEntry>& table, const VolumeFactsSources& sources);

} // namespace vistel
