#pragma once
// UDisks2Client: what the program asks of the system's disk service (UDisks2, the bus name
// "org.freedesktop.UDisks2" on the system bus): renaming a volume by setting the label of its
// file system. The sidebar's eject will go through here too.
//
// A volume is named by the number of its block device (the st_dev of its mount point); the
// service's object for it is found with Manager.ResolveDevice on "/dev/block/<major>:<minor>".
// Labels are checked against the file system's rules (Block.IdType) before anything is sent,
// so a label the file system cannot take answers BadName (-37) the same way whatever the
// service would say.
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

    // Whether a file system of type `type` ("vfat", "exfat", "ntfs", "ext4", "xfs", ...) can take
    // `label`: not empty, no control characters, within the type's length, and for FAT and
    // exFAT none of the characters they forbid.
    static bool isValidLabel(std::string_view type, std::string_view label);
};

} // namespace vistel
