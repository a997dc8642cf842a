#pragma once
// BasicUIHandler: the base of every mode's user-action handler.
//
// A mode passes the actions it does not implement to its handler: respondsToUserActionSelector
// says whether the handler takes an action, validateUserAction whether it is enabled now, and
// processItems performs it on the selected items. The base takes none; the concrete handlers
// (browse mode) override the three.
//
// The base supplies what the concrete handlers share: predicates on catalogue items (can an
// item be renamed, deleted, unmounted, given subfolders), moving to the Trash and deleting,
// creating a subfolder, and the drag operation for a drop folder.
//
// Items are catalogue items (FileSystemItemMO; a volume is an item of entity "Volume"). Facts
// about volumes (kind, writable, ejectable, picture frame, mount point) come from the volume
// manager's lookup by path (volumeInfoForPath), which tests replace.
//
// Thread rules: main thread.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"
#include "ZovClass.h"

class QMimeData;
class QObject;

namespace vistel {

class BasicModeController;
class FileSystemItemMO;
class ZovDeviceInfo;

// Drag operations.
enum : std::uint32_t {
    NSDragOperationNone = 0,
    NSDragOperationCopy = 1,
    NSDragOperationMove = 16,
};

class BasicUIHandler : public Object {
public:
    ZOV_ROOT_CLASS(BasicUIHandler)

    using Items = std::vector<Ref<Object>>;

    explicit BasicUIHandler(BasicModeController* owner)
        : ownerController_(owner)
    {
    }
    BasicModeController* ownerController() const { return ownerController_; }

    // --- what concrete handlers override -----------------------------------------------------
    virtual bool validateUserAction(const std::string& action, Object* location, const Items* selection,
                                    const QMimeData* pasteboard, QObject* item);
    virtual bool respondsToUserActionSelector(const std::string& action) const;
    // Answers whether the action was carried out.
    virtual bool processItems(const Items& items, Object* location, const std::string& action,
                              const QMimeData* pasteboard, QObject* sender);
    virtual void keyDown(QObject*) { }

    // --- predicates --------------------------------------------------------------------------
    static bool isFolderItem(const Object* item);
    static bool isVolumeItem(const Object* item);
    static bool isItemCanBeRenamed(const Object* item);
    static bool isItemCanBeDeletedInt(const Object* item, bool permanently);
    static bool isItemCanBeDeleted(const Object* item, bool permanently);
    static bool isItemCanCreateSubitems(const Object* item);
    static bool isItemCanUnmount(const Object* item);
    // Whether the item may go to the Trash: a file or folder (no volume) on a writable volume.
    static bool isItemCanBeMovedToTrash(const Object* item);
    static std::set<FileSystemItemMO*> parentsForItems(const Items& items);

    bool canShowInFinder(const Items& items) const;
    bool canDeleteItems(const Items& items, bool permanently) const;
    bool canMoveObjectsToTrash(const Items& items) const { return canDeleteItems(items, false); }

    // --- operations (through the installed FileOperation) --------------------------------------
    // Moves the items to the Trash; when one cannot go there, asks whether to delete all of
    // them permanently instead.
    void moveToTrash(const Items& items);
    void deleteItems(const Items& items, bool permanently);
    // Asks once, before anything is deleted for good: "Are you sure you want to permanently
    // delete %@?" with the item's name (or "%d items"), "Delete" and "Cancel". True for Delete.
    bool confirmPermanentDeletion(const Items& items) const;
    // `arguments`: {"keyFolderName": name (optional), "keyParentItem": the folder item}. The new
    // catalogue item, or null (also for a name that is not one plain file name).
    Ref<FileSystemItemMO> createSubfolder(const Value& arguments);

    // The operation for dropping `draggedPaths` into the folder `path`; `copyModifier` is the
    // Ctrl key (the current keyboard state in the overload without it).
    std::uint32_t dragOperationForPath(const std::string& path, const std::vector<std::string>& draggedPaths,
                                       bool copyModifier) const;
    std::uint32_t dragOperationForPath(const std::string& path, const std::vector<std::string>& draggedPaths) const;

    // --- the volume lookup ----------------------------------------------------------------------
    using VolumeLookup = std::function<Ref<ZovDeviceInfo>(const std::string& path)>;
    // An empty lookup restores the volume manager's. Answers the previous one.
    static VolumeLookup setVolumeLookup(VolumeLookup lookup);
    static Ref<ZovDeviceInfo> volumeInfoForPath(const std::string& path);

private:
    BasicModeController* ownerController_;
};

} // namespace vistel
