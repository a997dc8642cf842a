#pragma once
// UDisks2Client: what the program asks of the system's disk service (UDisks2, the bus name
// "org.freedesktop.UDisks2" on the system bus): renaming a volume by setting the label of its
// file system, and ejecting it (the sidebar's eject).
//
// A volume is named by the number of its block device (the st_dev of its mount point); the
// service's object for it is found with Manager.ResolveDevice on "/dev/block/<major>:<minor>".
// Labels are checked against the file system's rules (Block.IdType) before anything is sent,
// so a label the file system cannot take answers BadName (-37) the same way whatever the
// service would say.
//
// Ejecting: the block object whose Filesystem.MountPoints holds the mount point (found through
// Manager.ResolveDevice of the device number, else among Manager.GetBlockDevices) is unmounted
// (Filesystem.Unmount, {"force": true} when forced); then its drive (Block.Drive) is ejected
// (Drive.Eject, optical discs) or powered off (Drive.PowerOff, USB drives). A mount the service
// does not know (a network share) is unmounted by the program itself (umount2; MNT_DETACH when
// forced).
//
// Calls are synchronous D-Bus calls through QtDBus (a QCoreApplication must exist) and wait at
// most CallTimeoutMilliseconds. The bus is the system bus, or the address in
// DBUS_SYSTEM_BUS_ADDRESS (tests point it at a private bus with a fake service). Any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "Platform/StatusCodes.h"

namespace vistel {

class UDisks2Client {
public:
    static constexpr int CallTimeoutMilliseconds = 20000;

    // Sets the label of the file system on the block device `deviceNumber`. Answers 0;
    // BadName for a label that file system cannot take (nothing is sent); NoSuchVolume when
    // the service is not there or knows no file system on the device; AccessDenied when it
    // refuses the caller; IOError for any other failure. `failure` (optional) gets the
    // service's text.
    static StatusCode setFilesystemLabel(std::uint64_t deviceNumber, const std::string& label,
                                         std::string* failure = nullptr);

    // What happens to the drive once its volume is unmounted.
    enum class DriveAction { None, Eject, PowerOff };

    // Unmounts the volume mounted at `mountPoint` from the block device `deviceNumber`, then
    // ejects or powers off its drive. Answers 0; ObjectBusy when something keeps the volume
    // busy; AccessDenied when the service refuses the caller (PermissionDenied when the
    // program's own unmount is refused); NoSuchVolume when nothing is mounted there; IOError
    // for any other failure. Once the volume is unmounted the answer is 0 even when the drive
    // refuses to eject or power off (logged; `failure` gets the text). `failure` (optional)
    // gets the service's text.
    static StatusCode ejectVolume(const std::string& mountPoint, std::uint64_t deviceNumber, bool force,
                                  DriveAction driveAction, std::string* failure = nullptr);

    // Whether a file system of type `type` ("vfat", "exfat", "ntfs", "ext4", "xfs", ...) can take
    // `label`: not empty, no control characters, within the type's length, and for FAT and
    // exFAT none of the characters they forbid.
    static bool isValidLabel(std::string_view type, std::string_view label);
};

} // namespace vistel
