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

std::vector<MountTableEntry> parseMountTable(std::string_view text)
{
    std::vector<MountTableEntry> entries;
    std::istringstream in {std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        // id, parent id, major:minor, root, mount point, options, optional fields up to "-",
        // file system type, source, super-block options.
        std::istringstream fields(line);
        MountTableEntry entry;
        std::string numbers, root, mountPoint, field;
        if (!(fields >> entry.mountId >> entry.parentId >> numbers >> root >> mountPoint >> entry.mountOptions))
            continue;
        while (fields >> field && field != "-") { }
        std::string source;
        if (!(fields >> entry.fileSystem >> source))
            continue;
        fields >> entry.superOptions;
        unsigned major = 0, minor = 0;
        if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2)
            continue;
        entry.root = unescapeMountField(root);
        entry.mountPoint = unescapeMountField(mountPoint);
        entry.source = unescapeMountField(source);
        entry.device = makedev(major, minor);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string readMountTableText()
{
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<MountTableEntry> readMountTable()
{
    return parseMountTable(readMountTableText());
}

bool MountTableEntry::hasOption(std::string_view option) const
{
    for (const std::string* list : {&mountOptions, &superOptions}) {
        std::string_view rest = *list;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            if (rest.substr(0, comma) == option)
                return true;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    return false;
}

} // namespace vistel
