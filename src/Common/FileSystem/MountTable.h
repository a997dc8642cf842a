#pragma once
// The mount table of this process, as /proc/self/mountinfo lists it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vistel {

struct MountTableEntry {
    int mountId = 0;        // unique while mounted; ids of unmounted file systems are reused
    int parentId = 0;
    std::string root;       // the folder of the file system mounted there ("/" for the whole one)
    std::string mountPoint;
    std::string fileSystem; // "ext4", "vfat", ...
    std::string source;     // what is mounted: "/dev/sdb1", "tmpfs", "server:/export"
    std::uint64_t device = 0;
    std::string mountOptions; // of this mount: "rw,nosuid,relatime"
    std::string superOptions; // of the file system: "rw,size=4096k"

    // Whether `option` ("ro") is among the mount's or the file system's options.
    bool hasOption(std::string_view option) const;
};

// Every line in table order (stacked mounts: the one on top comes last), the octal escapes of
// the text fields undone; empty when the table cannot be read.
std::vector<MountTableEntry> readMountTable();
// The same for the text of a mountinfo file.
std::vector<MountTableEntry> parseMountTable(std::string_view text);
// The text of this process's table ("" when it cannot be read).
std::string readMountTableText();

} // namespace vistel
