#pragma once
// File-tree helpers of the file-operation engine and the file services built on it. None of
// them follows a symbolic link below the path it is given. Safe on any thread.

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"
#include "Platform/StatusCodes.h"

namespace vistel {

// The target of a symbolic link.
StatusCode readLink(const std::string& path, std::string& target);
// The same for the link `name` of the folder open as `parent`.
StatusCode readLinkAt(int parent, const std::string& name, std::string& target);

// ".vistel-<purpose>-<pid>-<counter>-<random>": a name no user item is expected to carry.
std::string uniqueHiddenName(const char* purpose);

// True for the hidden name a copy is built under (uniqueHiddenName("partial")).
bool isPartialCopyName(std::string_view name);
// Removes the partial copies in the folder that writers killed mid-way left behind: those
// that no live process holds and that were left untouched for a minute (the sweep the atomic
// writer makes of its temporary files, Platform/AbandonedItems.h). The folder is opened
// without following a link at its last component; a folder that cannot be opened is left.
void sweepAbandonedPartialCopies(const std::string& folder);
// The same for the folder open as `folder`.
void sweepAbandonedPartialCopiesAt(int folder);

// Renames `from` to `to` without ever replacing an item, or, with `overwrite`, replacing
// whatever is at `to` (a folder too) only once `from` is in place. DifferentVolumes when the
// two are on different file systems.
StatusCode placeItem(const std::string& from, const std::string& to, bool overwrite);

// Deletes the item and, for a folder, everything in it. Links are removed, never followed.
// 0, or the status of the first failure (the walk goes on past it).
StatusCode removeTree(const std::string& path);
// The same for a tree this process made (a partial copy): its folders owned by the effective
// user are opened up first, so that a read-only mode copied into the tree does not keep it.
StatusCode removeOwnTree(const std::string& path);
// The same for the item `name` of the folder open as `parent`.
StatusCode removeOwnTreeAt(int parent, const std::string& name);

// Adds the tree's regular-file bytes and its items (the item itself included; FIFOs, devices
// and sockets not counted) to the totals. Unreadable folders count as themselves only.
void measureTree(const std::string& path, std::uint64_t& bytes, std::uint64_t& objects);

// The Trash (holding "files" and "info") for an item on the device of `path`, made when
// missing: the home Trash ($XDG_DATA_HOME/Trash) for the home trash's device, otherwise the
// volume's $topdir/.Trash/$uid (when $topdir/.Trash is a real folder with the sticky bit) or
// $topdir/.Trash-$uid. `topFolder`, when given, gets $topdir (empty for the home Trash).
StatusCode trashFolderForPath(const std::string& path, std::string& trashFolder, std::string* topFolder = nullptr);

// Moves the item to its volume's Trash with a matching .trashinfo; `trashedPath` gets its new
// path. Never copies: an item that cannot be renamed into a Trash is reported, not moved.
StatusCode moveItemToTrash(const std::string& path, std::string& trashedPath);

// The Path value of a .trashinfo: percent-encoded as RFC 2396 says (unreserved characters and
// '/' kept). The DeletionDate is local time, "YYYY-MM-DDThh:mm:ss".
std::string trashInfoPathEncode(const std::string& path);

} // namespace vistel
