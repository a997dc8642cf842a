#include "Common/FileSystem/NSWorkspaceFolderCalculations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Common/FileSystem/ObjectLock.h"
#include "Platform/FileOperations/FileTree.h"
#include "Platform/FilePaths.h"

namespace vistel::NSWorkspaceCalculations {

namespace {

void walk(const std::string& folder, bool unlock, std::uint64_t& bytes, std::uint64_t& items)
{
    std::vector<std::string> names;
    if (listFolder(folder, names) != 0)
        return;
    for (const std::string& name : names) {
        const std::string path = joinPath(folder, name);
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        if (unlock && !S_ISLNK(info.st_mode)) {
            const FSRef ref {path, info.st_dev, info.st_ino};
            if (CheckObjectLocked(ref) == status::ObjectLocked)
                SetObjectLocked(ref, false);
        }
        ++items;
        if (S_ISDIR(info.st_mode))
            walk(path, unlock, bytes, items);
        else if (S_ISREG(info.st_mode))
            bytes += static_cast<std::uint64_t>(info.st_size);
    }
}

} // namespace

std::uint64_t folderSizeForFSRef(const FSRef& folder, std::uint64_t* itemsCount, bool unlockSubitems)
{
    std::uint64_t bytes = 0;
    std::uint64_t items = 0;
    if (verifyFSRef(folder) == 0)
        walk(folder.path, unlockSubitems, bytes, items);
    if (itemsCount)
        *itemsCount = items;
    return bytes;
}

std::uint64_t folderSizeForFSRef(const FSRef& folder, std::uint64_t* itemsCount)
{
    return folderSizeForFSRef(folder, itemsCount, false);
}

void unlockFolderContent(std::string_view path)
{
    FSRef ref;
    if (makeFSRef(path, ref) != 0)
        return;
    folderSizeForFSRef(ref, nullptr, true);
    if (CheckObjectLocked(ref) == status::ObjectLocked)
        SetObjectLocked(ref, false);
}

} // namespace vistel::NSWorkspaceCalculations
