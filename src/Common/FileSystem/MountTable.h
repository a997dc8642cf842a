#pragma once
// The mount table of this process, as /proc/self/mountinfo lists it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vistel {

struct MountTableEntry {
    std::string root;       // the folder of the file system mounted there ("/" for the whole one)
    std::string mountPoint;
    std::string fileSystem; // "ext4", "vfat", ...
    std::string source;     // what is mounted: "/dev/sdb1", "tmpfs", "server:/export"
    std::uint64_t device = 0;
};

// Every line in table order (stacked mounts: the one on top comes last), the octal escapes of
// the text fields undone; empty when the table cannot be read.
std::vector<MountTableEntry> readMountTable();

} // namespace vistel
