#pragma once
// BrowserPanel: the browse mode's sidebar. One tree of everything the user can browse, in five
// groups, whose selected rows become the browse mode's selected folders.
//
//   0 "PICTURE FRAMES"     USB volumes that are picture frames
//   1 "REMOVABLE VOLUMES"  other USB volumes
//   2 "PLACES"             the user's places (PlaceBrowserPanelItem), only the valid ones shown
//   3 "DEVICES"            every other volume and camera
//   4 "SHARED"             network volumes
//
// Tree items, all held by Ref: the group lists (GroupList, the top-level rows: group rows that
// cannot be selected and toggle on a click), catalogue items (a volume at the top of a group,
// folders below) and place items. A "folder item" is a catalogue item or a place item.
//
// Both directions of the selection:
// - tree -> browse mode: the catalogue items behind the selected rows (a place and its folder
//   selected together count once, the duplicate row is deselected) go to the browsing
//   selection's setSelectedFolders; then "BrowserPanelSelectionChangedNotification" (object:
//   the panel's view object) and the window caption.
// - browse mode -> tree: on "BrowsingSelectionNotification" the panel expands to the selected
//   folders and selects their rows, follows catalogue changes of volumes (a volume that changed
//   group moves) and folders, and starts the progress marks of folders being listed.
//
// Volumes come and go with the catalogue's "MountMedia" / "UnmountMedia"; places with the
// places list ("kPlacesReaderPlaceListChangedNotification") and the catalogue's answers to path
// refreshes. The pending path (newFolderPath) is a folder or volume the panel selects as soon
// as the catalogue reports it (a folder just made or renamed, a volume just reset).
//
// The item operations (menus, buttons, validation, drag and drop, rename, frames, eject) are in
// BrowserPanelItemOperations.cpp.
//
// Thread rules: main thread only.

#include <QWidget>

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Application/BasicUIHandler.h"
#include "Application/BrowseMode/BrowserPanelHistory.h"
#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Platform/Gui/OutlineView.h"
#include "Platform/Gui/Responder.h"
#include "ZovClass.h"

class QMenu;
class QMimeData;

namespace vistel {

class BrowsingModeController;
class BrowsingSelection;
class BrowsingUAHandler;
class FileSystemVolumeMO;
class PlaceBrowserPanelItem;
class TrackableOutlineView;
class ZovPlaceInfo;
class ZovPlacesReader;

// The pasteboard type of dragged places: their paths as a property list.
inline constexpr const char* ZovPlacesListType = "ZovPlacesListType";
// The plain text a drag of places also carries.
inline constexpr const char* PlacesListDragString = "PlacesList";

class BrowserPanel : public QWidget,
                     public Responder,
                     public OutlineViewDataSource,
                     public OutlineViewDelegate,
                     public IFSItemChangedNotification,
                     public IMediaDatabaseRefreshPathObserver,
                     public ZovButtonsStatusUpdaterDataSource,
                     public BrowsingSelectionNotificationObserver,
                     public IBrowserPanelHistorySource {
public:
    ZOV_ROOT_CLASS(BrowserPanel)

    enum Group : int { PictureFramesGroup = 0, RemovableVolumesGroup = 1, PlacesGroup = 2, DevicesGroup = 3, SharedGroup = 4 };
    static constexpr int GroupCount = 5;
    static constexpr int NSNotFound = 0x7fffffff;

    // One group of the tree: a top-level row.
    class GroupList : public Object {
    public:
        explicit GroupList(int group) : group_(group) { }
        int group() const { return group_; }
        std::vector<Ref<Object>> items;
        bool contains(const Object* item) const;
        // Answers whether it was there.
        bool remove(const Object* item);

    private:
        int group_;
    };

    // A new panel over the default catalogue and the shared places list. `places` replaces the
    // shared places list (tests).
    static BrowserPanel* create(ZovPlacesReader* places = nullptr);
    ~BrowserPanel() override;

    TrackableOutlineView* treeView() const { return treeView_; }
    BrowsingModeController* browsingModeController() const { return browsingModeController_; }
    BrowsingSelection* browsingSelection() const { return browsingSelection_.get(); }
    BrowsingUAHandler* uiHandler() const;
    ZovPlacesReader* placesReader() const { return places_.get(); }
    // Stores the controller (not retained), then takes its browsing selection.
    void setBrowsingModeController(BrowsingModeController* controller);
    void setBrowsingSelection(BrowsingSelection* selection);

    // --- groups ---------------------------------------------------------------------------------
    static bool isCategoryItem(const Object* item);
    // A catalogue item or a place item.
    static bool isFolderItem(const Object* item);
    // The catalogue item behind a folder item (a place's folder), else null.
    static FileSystemItemMO* managedObjectOf(const Object* item);
    GroupList* groupAt(int group) const;
    GroupList* photoFramesList() const { return groupAt(PictureFramesGroup); }
    GroupList* placesList() const { return groupAt(PlacesGroup); }
    GroupList* devicesList() const { return groupAt(DevicesGroup); }
    // The group a catalogue root item belongs in; null for anything but a volume item.
    GroupList* groupList(Object* item) const;
    // The first group that holds the item.
    GroupList* itemGroup(const Object* item) const;
    std::string nameForItemsCategory(const GroupList* list) const;
    const std::vector<Ref<GroupList>>& devicesRootItem() const { return groups_; }
    std::size_t deviceItemsCount() const { return groups_.size(); }
    GroupList* deviceItemAtIndex(std::size_t index) const { return groupAt(static_cast<int>(index)); }
    // The valid place items of PLACES, in order.
    std::vector<Ref<PlaceBrowserPanelItem>> validPlaceItems() const;

    // --- paths and selection --------------------------------------------------------------------
    // The row of the deepest tree item reached on the path, or NSNotFound.
    int expandPath(const std::string& path, bool includePlaces);
    bool locateToPath(const std::string& path, bool includePlaces, bool byExtendingSelection);
    // The catalogue items of the selected folder rows, top to bottom.
    ItemList browsingSelectedFoldersArray() const;
    void applySelectionToBrowsingSelection();
    // Asks the catalogue for the start folder; its answer selects it unless a folder was chosen
    // meanwhile. Only one answer selects: a later refresh of the same folder (a place's) does not.
    void selectDefaultItem();
    void reloadWindowCaption();
    // The caption for the display names of the selected folders.
    std::string windowCaptionForNames(const std::vector<std::string>& names) const;

    // The pending path and whether its row goes into inline editing once selected.
    const std::optional<std::string>& newFolderPath() const { return newFolderPath_; }
    bool startEditNewFolder() const { return startEditNewFolder_; }

    // --- places -----------------------------------------------------------------------------------
    void reloadPlaces();
    void sortPlacesArray();
    void validatePlaces(FileSystemItemMO* folder);
    PlaceBrowserPanelItem* placeItemForFSItem(const FileSystemItemMO* folder) const;
    // The place of a row of PLACES, else null.
    ZovPlaceInfo* itemPlaceInfo(const Object* item) const;

    // --- notifications --------------------------------------------------------------------------
    void notifyMediaMounted(const Notification& notification);
    void notifyMediaUnmounted(const Notification& notification);
    void placesChangedNotification(const Notification& notification);
    void itemsMaskChangedNotification(const Notification& notification);
    void scrollViewFrameResized();
    void handleBrowsingSelectionNotifications(const Notification& notification) override;
    void notifyFSItemUpdated(FileSystemItemMO* item, const std::string& path, bool status) override;
    void notifyFSItemChanged(FileSystemItemMO*, bool) override { }
    void startProgressIndicatorWithItems(const std::vector<Ref<FileSystemItemMO>>& items);

    // --- the tree's data source -----------------------------------------------------------------
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override;
    // An index past a folder's children answers null, never the folder. Any other parent
    // raises "Unexpected item.".
    std::optional<Ref<Object>> child(OutlineView&, long index, Object* item) override;
    std::optional<bool> isItemExpandable(OutlineView&, Object* item) override;
    std::optional<Value> objectValue(OutlineView&, TableColumn*, Object* item) override;
    std::optional<bool> writeItems(OutlineView&, const std::vector<Ref<Object>>& items, QMimeData& data) override;
    std::optional<Qt::DropAction> validateDrop(OutlineView&, const QMimeData& data, Object* item, long childIndex) override;
    std::optional<bool> acceptDrop(OutlineView&, const QMimeData& data, Object* item, long childIndex) override;

    // --- the tree's delegate ----------------------------------------------------------------------
    bool willDisplayCell(OutlineView&, Cell& cell, TableColumn*, Object* item) override;
    std::optional<bool> shouldSelectItem(OutlineView&, Object* item) override;
    std::optional<bool> shouldEditTableColumn(OutlineView&, TableColumn*, Object* item) override;
    std::optional<bool> isGroupItem(OutlineView&, Object* item) override;
    std::optional<QMenu*> menuForItem(OutlineView&, Object* item) override;
    bool didEndEditing(OutlineView&, TableColumn*, Object* item, const Value& text, int movement) override;
    bool selectionDidChange(const Notification& notification) override;
    bool itemDidExpand(const Notification& notification) override;
    bool itemDidCollapse(const Notification& notification) override;
    void outlineViewSelectionDidChange();
    void outlineViewClick();
    void outlineViewDoubleClick();

    // --- the navigation history's view of the tree ---------------------------------------------
    const Object* historyNotificationSender() const override;
    std::vector<Ref<Object>> historySelectedItems() const override;
    bool historyIsFileSystemItem(const Object& item) const override;
    std::string historyItemName(const Object& item) const override;
    Ref<Object> historyParentForItem(const Object& item) const override;
    // A group's row (a volume, a place) opens its group; a folder deeper down opens the path to
    // it from its volume.
    int historyRevealItem(const Object& item) override;
    void historySelectRows(const std::vector<int>& rows) override;

    // --- item operations ----------------------------------------------------------------------------
    // The context menu of a folder item (the caller owns it), else null.
    QMenu* itemPopupMenu(Object* item);
    std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater&) override { return {0, 1}; }
    QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater& updater) override;
    ZovButtonsStatusUpdater* buttonsStatusUpdater() const { return buttonsStatusUpdater_.get(); }
    // The enabled state of an action for the selected row; sets the control's tool tip where
    // the action has one.
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    // The tool tip validation gave an action last (empty: none).
    std::string toolTipForAction(const std::string& action) const;

    void copy();
    void paste();
    void deletePermanently();
    // Removes the selected places and trashes the selected folders; with `dragged` (a drag
    // that ended on the Trash) the dragged paths instead.
    void onDeleteFolderAction(const QMimeData* dragged = nullptr);
    void onCreateFolderAction();
    void onUnmountVolumeAction();
    // Runs the frame set-up dialog for the volume (null: the dialog offers the USB volumes);
    // the volume set up is selected once it is listed as a frame.
    void configurePhotoFrame(FileSystemVolumeMO* volume);
    void resetPictureFrame();
    // Renames a place's caption or, through the installed renamer, a folder or volume. Answers
    // YES only for a place. A name that is empty, holds ":", "/" or NUL, or is longer than 255
    // bytes of UTF-8 changes nothing.
    bool renameItem(Object* item, const std::string& newName);
    // Selects the folder at `path` (a folder being renamed) as soon as the catalogue lists it.
    void selectFolderWhenListed(const std::string& path)
    {
        startEditNewFolder_ = false;
        newFolderPath_ = path;
        pendingIsRename_ = true;
    }
    // A row as the handler's actions take it: a place item itself, else the row's catalogue item.
    Ref<Object> handlerItemOf(Object* item) const;
    static bool isAcceptableItemName(const std::string& name);
    bool itemIsDestinationForAnUserAction(const Object* item) const;

    // Renaming folders and volumes is the handler's work (renameItem); tests may put another
    // renamer in its place (null: the handler's). Answers whether the rename was started.
    using ItemRenamer = std::function<bool(FileSystemItemMO* item, const std::string& name)>;
    void setItemRenamer(ItemRenamer renamer) { itemRenamer_ = std::move(renamer); }
    // Ejecting a volume is handed to this: by default the eject worker (VolumeEjector.h); a
    // camera or a volume that is not mounted is never ejected.
    using VolumeEjector = std::function<void(FileSystemVolumeMO* volume)>;
    void setVolumeEjector(VolumeEjector ejector) { volumeEjector_ = std::move(ejector); }

    // Drag and drop.
    std::uint32_t dragOperationForInfo(const QMimeData& data, Object* item) const;
    // That operation as a drop action, limited to what the drag's source allows.
    Qt::DropAction sidebarDropAction(const QMimeData& data, Object* item) const;
    static bool isDraggedItemPlace(const QMimeData& data);
    // The paths a drag carries: of "ZovPlacesListType" for a drag of places, else the file names.
    static std::vector<std::string> draggedPaths(const QMimeData& data);

    // The "poof" where a place went: a small fading frameless window at a global point.
    static void showPoofAtPoint(QPoint globalPoint);

private:
    explicit BrowserPanel(ZovPlacesReader* places);
    // Whether a folder is at the path on disk now.
    static bool folderExists(const std::string& path);
    void setUpTree();
    void initDeviceItemsAndNotify(bool notify, bool isStartInit);
    // Opens every group the user did not close.
    void expandAllGroups();
    // Reloads through the tree (keeping the selection), then opens the groups.
    void reloadTree(Object* item, bool reloadChildren);
    FileSystemItemMO* selectedCatalogueItem() const;
    Object* selectedItem() const;
    void selectPendingRow(int row, FileSystemItemMO* folder);
    std::string translated(const char* text, const char* selector) const;
    void setToolTipForAction(const std::string& action, std::string toolTip);
    std::vector<Ref<PlaceBrowserPanelItem>> placeItems() const;

    TrackableOutlineView* treeView_ = nullptr;
    QWidget* toolbar_ = nullptr;
    std::unique_ptr<ZovButtonsStatusUpdater> buttonsStatusUpdater_;
    std::vector<Ref<GroupList>> groups_;
    std::vector<std::string> groupCaptions_;
    BrowsingModeController* browsingModeController_ = nullptr;
    Ref<BrowsingSelection> browsingSelection_;
    Ref<MediaDatabase> database_;
    Ref<ZovPlacesReader> places_;
    bool startEditNewFolder_ = false;
    // The pending path is a renamed folder's: kept while its old row goes away.
    bool pendingIsRename_ = false;
    // While the tree follows the browsing selection, its changes are not sent back.
    bool followingSelection_ = false;
    // While the start folder is asked for: the folders selected when it was.
    std::optional<ItemList> startLocationFrom_;
    std::optional<std::string> newFolderPath_;
    std::map<std::string, std::string> toolTips_;
    std::set<const GroupList*> collapsedGroups_;
    ItemRenamer itemRenamer_;
    VolumeEjector volumeEjector_;
};

} // namespace vistel
