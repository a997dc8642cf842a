#pragma once
// PlaceBrowserPanelItem: one place of the user's places list as the sidebar shows it under
// PLACES. It pairs the catalogue item of the place's folder with the place, so that one folder
// can have two rows (under PLACES with the place's caption, and under its volume) and the tree
// can tell them apart.
//
// It is not a catalogue item and never passes for one: what is not about the place is asked of
// the folder explicitly (path, kind, icon, children, refresh state), and managedObject()
// answers the folder, so the browsing selection and the catalogue see the folder, never the
// place. The handler's predicates take catalogue items only, so a place is never renamed or
// trashed as a folder. A place item is equal only to itself.
//
// Validity: invalid until the catalogue answered the refresh of the place's path; then it
// follows whether the folder exists. Only valid place items are shown.
//
// Both halves are held by Ref: a folder whose volume goes away, or a place removed from the
// list, stays a live object until the item goes.
//
// Thread rules: main thread only.

#include <optional>
#include <string>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Object.h"
#include "Preferences/ZovPlacesReader.h"

namespace vistel {

class PlaceBrowserPanelItem : public Object {
public:
    // Null unless both are given.
    static Ref<PlaceBrowserPanelItem> create(FileSystemItemMO* item, ZovPlaceInfo* info);

    FileSystemItemMO* item() const { return item_.get(); }
    ZovPlaceInfo* info() const { return info_.get(); }
    // The folder: what the browsing selection and the catalogue see.
    FileSystemItemMO* managedObject() const { return item_.get(); }

    bool isValid() const { return valid_; }
    void setValid(bool valid) { valid_ = valid; }

    // The place's caption, else the folder's display name.
    std::string displayName() const;
    // Captions change through the places list: nothing changes here; true when a name is given.
    bool setDisplayName(const std::optional<std::string>& name) const { return name.has_value(); }

    // --- asked of the folder ----------------------------------------------------------------
    std::string fullPath() const { return item_->fullPath(); }
    std::string name() const { return item_->name(); }
    bool isFolder() const { return item_->isFolder(); }
    bool isLocked() const { return item_->isLocked(); }
    Ref<FileSystemItemMO> parent() const { return item_->parent(); }
    FileSystemItemMO* volumeItem() const { return item_->volumeItem(); }
    Ref<MultiImage> iconImage() const { return item_->iconImage(); }
    std::int32_t refreshStatus() const { return item_->refreshStatus(); }
    bool needsRefresh() const { return item_->needsRefresh(); }
    bool hasPendingRefreshStatusRequests() const { return item_->hasPendingRefreshStatusRequests(); }
    int childrenRefreshStatusWithMask(int mask) const { return item_->childrenRefreshStatusWithMask(mask); }
    long numberOfChildrenWithMask(int mask) const { return item_->numberOfChildrenWithMask(mask); }
    Ref<FileSystemItemMO> childAtIndex(long index, int mask) const { return item_->childAtIndex(index, mask); }
    Ref<FileSystemItemMO> childWithName(std::string_view name) const { return item_->childWithName(name); }

private:
    PlaceBrowserPanelItem(FileSystemItemMO* item, ZovPlaceInfo* info)
        : item_(item), info_(info)
    {
    }

    Ref<FileSystemItemMO> item_;
    Ref<ZovPlaceInfo> info_;
    bool valid_ = false;
};

} // namespace vistel
