#pragma once
// FSObjectInfo: one item of the flat list a file operation works through: a file or folder on
// a volume, or a camera file, with its size and lock state.
//
// collectFolderItems lists a tree depth first, every folder after its contents and the
// starting item last, so that deleting in list order empties each folder before it is
// deleted. Symbolic links are items of their own and are never followed: a link to something
// outside the selection is listed (and deleted) as the link only.
//
// The lock flags are settable so that an operation can record what it already unlocked. An
// item is used by one thread at a time.

#include <cstdint>
#include <string>
#include <vector>

#include "Common/FileSystem/FSRef.h"
#include "Platform/Object.h"
#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel {

// Reference record of an item: type 1 a file-system item, type 2 a camera file.
struct FSObjectReference {
    std::int32_t type = 0;
    Value icaObject;          // the camera object's properties (type 2)
    std::string icaFilePath;  // the camera path (type 2)
    FSRef fsRef;              // identity of the item as listed, links not followed (type 1)
};

class FSObjectInfo : public Object {
public:
    // A file-system item; null references stay null.
    static Ref<FSObjectInfo> createWithFSRef(const FSRef* objectRef, const FSRef* parentRef, std::uint64_t objectSize,
                                             bool isFolder, bool isLocked, bool isParentLocked);
    // A camera file item; null when the path is not a camera path or names no camera file.
    static Ref<FSObjectInfo> createWithICAStringPath(const std::string& path);

    // Appends the item at `path` and everything below it to `objects` (when given) and adds
    // their sizes to `totalSize` (a camera path adds its one camera file). Other strings log
    // "Unknown device path %@" and change nothing.
    static void collectFolderItems(const std::string& path, std::vector<Ref<FSObjectInfo>>* objects,
                                   std::uint64_t& totalSize);

    // The item's path (file system) or camera path; empty, with a log line, for an unknown type.
    std::string objectPath() const;

    // Deletes the item now, without the Trash, clearing the parent's and the item's locks first
    // where they are marked. A folder must be empty by then. 0, or the status of the first step
    // that failed (-43 when the path names another object than the one listed).
    StatusCode deletePermanentlyFSObject();

    bool isFolder() const noexcept { return isFolder_; }
    bool isLocked() const noexcept { return isLocked_; }
    void setIsLocked(bool locked) noexcept { isLocked_ = locked; }
    std::uint64_t objectSize() const noexcept { return objectSize_; }
    const FSRef& objectRef() const noexcept { return object_.fsRef; }
    bool isParentLocked() const noexcept { return isParentLocked_; }
    void setIsParentLocked(bool locked) noexcept { isParentLocked_ = locked; }
    const FSRef& parentRef() const noexcept { return parent_.fsRef; }
    std::int32_t fsType() const noexcept { return object_.type; }

private:
    FSObjectInfo() = default;

    bool isFolder_ = false;
    bool isLocked_ = false;
    std::uint64_t objectSize_ = 0;
    FSObjectReference object_;
    bool isParentLocked_ = false;
    FSObjectReference parent_;
};

} // namespace vistel
