#include "Common/FileSystem/MountTable.h"

#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vistel {

namespace {

// Undoes the octal escapes (\040 for a space, \134 for a backslash...) of the table's fields.
std::string unescapeMountField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3'
            && field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

std::vector<MountTableEntry> readMountTable()
{
    std::vector<MountTableEntry> entries;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id, parent id, major:minor, root, mount point, options, optional fields up to "-",
        // file system type, source, super-block options.
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint, options, field;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint >> options))
            continue;
        while (fields >> field && field != "-") { }
        std::string fileSystem, source;
        if (!(fields >> fileSystem >> source))
            continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2)
            continue;
        entries.push_back({unescapeMountField(root), unescapeMountField(mountPoint), std::move(fileSystem),
                           unescapeMountField(source), makedev(major, minor)});
    }
    return entries;
}

} // namespace vistel
