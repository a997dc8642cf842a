#pragma once
// Folder sizes and recursive unlocking (the folder side of NSWorkspace(Calculations); the size
// texts are in Strings/NSWorkspaceCalculations.h).
//
// Walks never follow symbolic links: a link counts as one item of its own and is never
// unlocked, so a link to something outside the folder cannot reach it.
//
// Callable from any thread.

#include <cstdint>
#include <string_view>

#include "Common/FileSystem/FSRef.h"

namespace vistel::NSWorkspaceCalculations {

// The bytes of every regular file below the folder (64-bit) and, in `itemsCount` when given,
// the number of items below it (files, links and folders, each folder's contents too). With
// `unlockSubitems`, every locked item is unlocked before it is counted. 0 bytes and 0 items
// when the folder cannot be read or the reference no longer names it.
std::uint64_t folderSizeForFSRef(const FSRef& folder, std::uint64_t* itemsCount, bool unlockSubitems);
std::uint64_t folderSizeForFSRef(const FSRef& folder, std::uint64_t* itemsCount);

// Unlocks everything inside the folder, then the folder itself. Nothing happens for a path
// that names nothing.
void unlockFolderContent(std::string_view path);

} // namespace vistel::NSWorkspaceCalculations
