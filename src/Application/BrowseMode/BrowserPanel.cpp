#include "Application/BrowseMode/BrowserPanel.h"

#include <sys/stat.h>

#include <QFont>
#include <QHeaderView>
#include <QResizeEvent>

#include <algorithm>

#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/BrowseMode/PlaceBrowserPanelItem.h"
#include "Application/BrowseMode/TrackableOutlineView.h"
#include "Application/BrowseMode/VolumeEjector.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Common/Views/ZovViewLayout.h"
#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Volumes/ZovDeviceInfo.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/View.h"
#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"
#include "Preferences/ZovPlacesReader.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

QImage imageOf(const Ref<MultiImage>& image, int side)
{
    if (!image)
        return {};
    Ref<ImageRep> rep = image->bestRepresentationForSize(QSizeF(side, side));
    Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
    return pixels ? pixels->toQImage() : QImage();
}

bool isCameraVolume(const FileSystemItemMO* item)
{
    const auto* volume = dynamic_cast<const FileSystemVolumeMO*>(item);
    return volume && volume->deviceType() == DeviceType::ImageCapture;
}

// The root of a path in the tree: a camera's own path, else the mount point of the volume
// that holds the path (the longest one above it).
std::string rootPathOf(const std::string& path)
{
    if (NSStringDevices::isICADevicePath(path)) {
        const std::size_t slash = path.find('/', path.find(":/") + 2);
        return slash == std::string::npos ? path : path.substr(0, slash);
    }
    Ref<ZovDeviceInfo> volume = BasicUIHandler::volumeInfoForPath(path);
    return volume ? volume->mountPoint() : std::string("/");
}

std::vector<std::string> componentsOf(const std::string& path)
{
    if (NSStringDevices::isICADevicePath(path)) {
        // "ICA:/41/IMG 1.JPG": "ICA:", "41", then the names.
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t slash = path.find('/', start);
            const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            if (!part.empty())
                parts.push_back(part);
            if (slash == std::string::npos)
                break;
            start = slash + 1;
        }
        return parts;
    }
    return pathComponents(path);
}

} // namespace

// --- groups ----------------------------------------------------------------------------------------

bool BrowserPanel::GroupList::contains(const Object* item) const
{
    return std::any_of(items.begin(), items.end(), [&](const Ref<Object>& element) { return element.get() == item; });
}

bool BrowserPanel::GroupList::remove(const Object* item)
{
    auto found = std::find_if(items.begin(), items.end(), [&](const Ref<Object>& element) { return element.get() == item; });
    if (found == items.end())
        return false;
    items.erase(found);
    return true;
}

bool BrowserPanel::folderExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool BrowserPanel::isCategoryItem(const Object* item) { return dynamic_cast<const GroupList*>(item) != nullptr; }

bool BrowserPanel::isFolderItem(const Object* item)
{
    return dynamic_cast<const FileSystemItemMO*>(item) || dynamic_cast<const PlaceBrowserPanelItem*>(item);
}

FileSystemItemMO* BrowserPanel::managedObjectOf(const Object* item)
{
    if (auto* place = dynamic_cast<const PlaceBrowserPanelItem*>(item))
        return place->managedObject();
    return dynamic_cast<FileSystemItemMO*>(const_cast<Object*>(item));
}

BrowserPanel::GroupList* BrowserPanel::groupAt(int group) const
{
    return group >= 0 && group < static_cast<int>(groups_.size()) ? groups_[static_cast<std::size_t>(group)].get() : nullptr;
}

BrowserPanel::GroupList* BrowserPanel::groupList(Object* item) const
{
    auto* volume = dynamic_cast<FileSystemVolumeMO*>(item);
    if (!volume)
        return nullptr;
    const std::string type = volume->deviceType();
    if (type == DeviceType::USB)
        return groupAt(volume->isDPFDevice() ? PictureFramesGroup : RemovableVolumesGroup);
    if (type == DeviceType::Network)
        return groupAt(SharedGroup);
    return groupAt(DevicesGroup);
}

BrowserPanel::GroupList* BrowserPanel::itemGroup(const Object* item) const
{
    for (const Ref<GroupList>& group : groups_)
        if (group->contains(item))
            return group.get();
    return nullptr;
}

std::string BrowserPanel::nameForItemsCategory(const GroupList* list) const
{
    for (std::size_t i = 0; i < groups_.size(); ++i)
        if (groups_[i].get() == list)
            return groupCaptions_[i];
    return {};
}

std::vector<Ref<PlaceBrowserPanelItem>> BrowserPanel::placeItems() const
{
    std::vector<Ref<PlaceBrowserPanelItem>> items;
    if (GroupList* places = placesList())
        for (const Ref<Object>& item : places->items)
            if (auto place = dynamicRefCast<PlaceBrowserPanelItem>(item))
                items.push_back(place);
    return items;
}

std::vector<Ref<PlaceBrowserPanelItem>> BrowserPanel::validPlaceItems() const
{
    std::vector<Ref<PlaceBrowserPanelItem>> items = placeItems();
    std::erase_if(items, [](const Ref<PlaceBrowserPanelItem>& item) { return !item->isValid(); });
    return items;
}

// --- creation ------------------------------------------------------------------------------------------

BrowserPanel* BrowserPanel::create(ZovPlacesReader* places)
{
    auto* panel = new BrowserPanel(places ? places : ZovPlacesReader::placesReader());
    panel->setUpTree();
    return panel;
}

BrowserPanel::BrowserPanel(ZovPlacesReader* places)
    : database_(MediaDatabase::defaultMediaDatabase())
    , places_(places)
{
    setGeometry(0, 0, 1, 1);
    ItemsViewPreferences::shared();
    for (const char* caption : {"PICTURE FRAMES", "REMOVABLE VOLUMES", "PLACES", "DEVICES", "SHARED"})
        groupCaptions_.push_back(ZOV_TRANSLATE(caption, "new"));
    // What the eject needs is read here, on the main thread; the worker never sees the item.
    volumeEjector_ = [](FileSystemVolumeMO* volume) {
        if (std::optional<VolumeEjectRequest> request = ejectRequestForVolume(volume))
            startVolumeEject(std::move(*request));
    };
}

void BrowserPanel::setUpTree()
{
    treeView_ = new TrackableOutlineView(this);
    View::addSubview(this, treeView_);
    treeView_->setIndentation(10);
    treeView_->setHeaderHidden(true);
    treeView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    treeView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    treeView_->setRowHeight(20);
    auto column = std::make_unique<TableColumn>("tree");
    column->setResizable(false);
    column->setEditable(true);
    auto cell = std::make_unique<ImageAndTextCell>();
    QFont small = font();
    small.setPointSizeF(std::max(1.0, small.pointSizeF() - 2));
    cell->setFont(small);
    cell->setEditable(true);
    column->setDataCell(std::move(cell));
    treeView_->addTableColumn(std::move(column));
    treeView_->setTarget(this);
    treeView_->setAction("outlineViewClick:");
    treeView_->setDoubleAction("outlineViewDoubleClick:");
    setActionHandler("outlineViewClick:", [this](QObject*) { outlineViewClick(); });
    setActionHandler("outlineViewDoubleClick:", [this](QObject*) { outlineViewDoubleClick(); });
    treeView_->setDataSource(this);
    treeView_->setDelegate(this);

    initDeviceItemsAndNotify(true, true);
    expandAllGroups();

    toolbar_ = GTBottomToolbarStyle::newToolbarViewWithFrame(QRect(0, 0, 1, GTBottomToolbarStyle::toolbarHeight()));
    View::addSubview(this, toolbar_);
    buttonsStatusUpdater_ = std::make_unique<ZovButtonsStatusUpdater>(*this, *this, toolbar_);
    // The buttons act on the sidebar's selected row wherever the focus is: a new folder made
    // with "+" is selected and its name opened for editing, as from the row's menu.
    for (std::uint32_t identifier : {0u, 1u})
        if (auto* control = dynamic_cast<Control*>(buttonsStatusUpdater_->controlWithID(identifier)))
            control->setTarget(this);

    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, [this](const Notification& n) { notifyMediaMounted(n); }, "MountMedia");
    center.addObserver(this, [this](const Notification& n) { notifyMediaUnmounted(n); }, "UnmountMedia");
    center.addObserver(this, [this](const Notification& n) { placesChangedNotification(n); },
                       kPlacesReaderPlaceListChangedNotification);
    center.addObserver(this, [this](const Notification& n) { itemsMaskChangedNotification(n); },
                       ItemsViewPreferencesItemsMaskChanged);

    auto box = ZovBoxLayout::createVertical();
    box->setSpacing(0);
    box->addItem(ZovViewLayoutItem::createLayoutItemForView(treeView_, MakePreferredSizePolicy(200, 0, -1),
                                                            MakeExpandingSizePolicy(0, -1)));
    box->addItem(ZovViewLayoutItem::createLayoutItemForView(
        toolbar_, MakePreferredSizePolicy(200, 0, -1), MakeExpandingSizePolicy(0, GTBottomToolbarStyle::toolbarHeight())));
    ZovViewLayout::attachLayout(std::move(box), this);

    if (database_)
        database_->addItemUpdateObserver(this, nullptr);
}

BrowserPanel::~BrowserPanel()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (database_) {
        database_->removeItemUpdateObserver(this, nullptr);
        for (const Ref<MediaDatabaseRecursiveUpdater>& updater : MediaDatabaseRecursiveUpdater::listForMDB(database_.get()))
            database_->removeRefreshPathObserver(this, updater.get());
    }
    setBrowsingSelection(nullptr);
    buttonsStatusUpdater_.reset();
    if (treeView_) {
        treeView_->setDataSource(nullptr);
        treeView_->setDelegate(nullptr);
        treeView_->clear();
    }
}

BrowsingUAHandler* BrowserPanel::uiHandler() const
{
    return browsingModeController_ ? browsingModeController_->browsingHandler() : nullptr;
}

void BrowserPanel::setBrowsingModeController(BrowsingModeController* controller)
{
    browsingModeController_ = controller;
    setBrowsingSelection(controller ? controller->browsingSelection() : nullptr);
}

void BrowserPanel::setBrowsingSelection(BrowsingSelection* selection)
{
    if (selection == browsingSelection_.get())
        return;
    if (browsingSelection_)
        browsingSelection_->removeNotificationObserver(this);
    browsingSelection_ = Ref<BrowsingSelection>(selection);
    if (!browsingSelection_)
        return;
    browsingSelection_->addNotificationObserver(this);
    // Rows selected before the mode handed its selection over (a start location the catalogue
    // already knew at start-up) are browsed now.
    if (browsingSelection_->selectedFoldersCount() == 0 && !browsingSelectedFoldersArray().empty())
        applySelectionToBrowsingSelection();
}

std::string BrowserPanel::translated(const char* text, const char* selector) const { return ZOV_TRANSLATE(text, selector); }

// --- filling the groups ------------------------------------------------------------------------------

void BrowserPanel::initDeviceItemsAndNotify(bool notify, bool isStartInit)
{
    while (static_cast<int>(groups_.size()) < GroupCount)
        groups_.push_back(Ref<GroupList>::adopt(new GroupList(static_cast<int>(groups_.size()))));
    for (const Ref<GroupList>& group : groups_)
        if (group->group() != PlacesGroup)
            group->items.clear();
    if (database_)
        for (std::size_t i = 0; i < database_->rootItemsCount(); ++i) {
            Ref<FileSystemItemMO> item = database_->rootItem(i);
            if (GroupList* group = groupList(item.get()))
                group->items.emplace_back(item);
        }
    if (isStartInit)
        reloadPlaces();
    if (notify)
        reloadTree(nullptr, true); // groups open again unless the user closed them
}

void BrowserPanel::expandAllGroups()
{
    for (const Ref<GroupList>& group : groups_)
        if (!collapsedGroups_.count(group.get()) && !treeView_->isItemExpanded(group.get()))
            treeView_->expandItem(group.get());
}

void BrowserPanel::reloadTree(Object* item, bool reloadChildren)
{
    treeView_->reloadItem(item, reloadChildren);
    // A group that was empty could not open: it opens as soon as it has rows, unless the user
    // closed it.
    expandAllGroups();
}

bool BrowserPanel::itemDidExpand(const Notification& notification)
{
    if (auto* group = dynamic_cast<GroupList*>(notification.userInfo.get("NSObject").toObject().get()))
        collapsedGroups_.erase(group);
    return true;
}

bool BrowserPanel::itemDidCollapse(const Notification& notification)
{
    if (auto* group = dynamic_cast<GroupList*>(notification.userInfo.get("NSObject").toObject().get()))
        collapsedGroups_.insert(group);
    return true;
}

// --- data source ---------------------------------------------------------------------------------------

std::optional<long> BrowserPanel::numberOfChildrenOfItem(OutlineView&, Object* item)
{
    if (!item)
        return static_cast<long>(groups_.size());
    if (auto* group = dynamic_cast<GroupList*>(item)) {
        if (group->group() == PlacesGroup)
            return static_cast<long>(validPlaceItems().size());
        return static_cast<long>(group->items.size());
    }
    const int mask = static_cast<int>(ItemsViewPreferences::getFoldersMask());
    if (auto* place = dynamic_cast<PlaceBrowserPanelItem*>(item))
        return std::max(0L, place->numberOfChildrenWithMask(mask));
    if (auto* folder = dynamic_cast<FileSystemItemMO*>(item))
        return std::max(0L, folder->numberOfChildrenWithMask(mask));
    return 0L;
}

std::optional<Ref<Object>> BrowserPanel::child(OutlineView&, long index, Object* item)
{
    if (!item) {
        if (index >= 0 && index < static_cast<long>(groups_.size()))
            return Ref<Object>(groups_[static_cast<std::size_t>(index)]);
        return Ref<Object>();
    }
    if (auto* group = dynamic_cast<GroupList*>(item)) {
        if (group->group() == PlacesGroup) {
            const auto valid = validPlaceItems();
            if (index >= 0 && index < static_cast<long>(valid.size()))
                return Ref<Object>(valid[static_cast<std::size_t>(index)]);
            return Ref<Object>();
        }
        if (index >= 0 && index < static_cast<long>(group->items.size()))
            return group->items[static_cast<std::size_t>(index)];
        return Ref<Object>();
    }
    if (FileSystemItemMO* folder = managedObjectOf(item)) {
        const int mask = static_cast<int>(ItemsViewPreferences::getFoldersMask());
        if (index < 0 || index >= folder->numberOfChildrenWithMask(mask))
            return Ref<Object>();
        return Ref<Object>(folder->childAtIndex(index, mask));
    }
    throw Exception("Unexpected item.", "");
}

std::optional<bool> BrowserPanel::isItemExpandable(OutlineView&, Object* item)
{
    if (!item)
        return true;
    if (dynamic_cast<PlaceBrowserPanelItem*>(item))
        return false;
    if (!isFolderItem(item))
        return true;
    return managedObjectOf(item)->isFolder();
}

ZovPlaceInfo* BrowserPanel::itemPlaceInfo(const Object* item) const
{
    GroupList* places = placesList();
    if (!places_ || !places || !places->contains(item))
        return nullptr;
    FileSystemItemMO* folder = managedObjectOf(item);
    return folder ? places_->placeByPath(folder->fullPath()) : nullptr;
}

std::optional<Value> BrowserPanel::objectValue(OutlineView&, TableColumn*, Object* item)
{
    if (!item)
        return Value("?");
    if (isFolderItem(item)) {
        if (ZovPlaceInfo* place = itemPlaceInfo(item))
            return Value(place->placeName());
        if (auto* placeItem = dynamic_cast<PlaceBrowserPanelItem*>(item))
            return Value(placeItem->displayName());
        return Value(managedObjectOf(item)->displayName());
    }
    if (auto* group = dynamic_cast<GroupList*>(item))
        return Value(nameForItemsCategory(group));
    return Value("<Volumes>");
}

// --- delegate ------------------------------------------------------------------------------------------

bool BrowserPanel::willDisplayCell(OutlineView&, Cell& cell, TableColumn*, Object* item)
{
    if (!item)
        return true;
    auto* source = dynamic_cast<ImageAndTextCell*>(&cell);
    if (!source)
        return true;
    if (!isFolderItem(item)) {
        source->setImage(QImage());
        source->clearCount();
        source->setHasEjectButton(false);
        source->setDrawProgress(false);
        source->setShowPadlock(false);
        return true;
    }
    FileSystemItemMO* folder = managedObjectOf(item);
    auto* catalogueItem = dynamic_cast<FileSystemItemMO*>(item);
    auto* volume = dynamic_cast<FileSystemVolumeMO*>(item);
    QImage icon;
    if (ZovPlaceInfo* place = itemPlaceInfo(item))
        icon = place->placeIcon();
    if (icon.isNull() && volume && volume->isDPFDevice())
        icon = NSImageNamedImageExtended::imageNamed("frame-tree.icns", "images");
    if (icon.isNull())
        icon = imageOf(folder->iconImage(), 32);
    if (!icon.isNull())
        source->setImage(icon);
    if (volume && volume->isVolumeRemovable())
        source->setShowPadlock(!volume->isWritable());
    else
        source->setShowPadlock(catalogueItem && catalogueItem->isLocked());
    source->clearCount();
    if (folder->refreshStatus() != kRefreshStatusNotVerified) {
        const long count = folder->numberOfChildrenWithMask(static_cast<int>(ItemsViewPreferences::getItemsMask()));
        if (count >= 0)
            source->setCountValue(static_cast<int>(count));
    }
    source->setDrawProgress(treeView_->isItemInProgress(item));
    source->setHasEjectButton(BasicUIHandler::isItemCanUnmount(item));
    source->setEjectButtonAction("onUnmountVolumeAction:");
    source->setTarget(this);
    return true;
}

std::optional<bool> BrowserPanel::shouldSelectItem(OutlineView&, Object* item) { return isFolderItem(item); }

std::optional<bool> BrowserPanel::shouldEditTableColumn(OutlineView&, TableColumn*, Object* item)
{
    return BasicUIHandler::isItemCanBeRenamed(item);
}

std::optional<bool> BrowserPanel::isGroupItem(OutlineView&, Object* item) { return isCategoryItem(item); }

std::optional<QMenu*> BrowserPanel::menuForItem(OutlineView&, Object* item) { return itemPopupMenu(item); }

bool BrowserPanel::didEndEditing(OutlineView&, TableColumn*, Object* item, const Value& text, int movement)
{
    if (movement != NSReturnTextMovement && movement != NSTabTextMovement && movement != NSBacktabTextMovement
        && movement != NSOtherTextMovement)
        return true;
    if (!item || !isFolderItem(item) || treeView_->isReloading())
        return true; // an edit the tree's own reload ends goes on after it
    const std::string name = text.isString() ? text.toString() : std::string();
    const std::string current = dynamic_cast<PlaceBrowserPanelItem*>(item)
                                    ? static_cast<PlaceBrowserPanelItem*>(item)->displayName()
                                    : managedObjectOf(item)->displayName();
    if (name != current)
        renameItem(item, name);
    treeView_->setFocus();
    return true;
}

void BrowserPanel::outlineViewClick()
{
    Object* item = treeView_->itemAtRow(treeView_->clickedRow());
    if (!isCategoryItem(item) || treeView_->lastPressWasOnDisclosure())
        return;
    if (treeView_->isItemExpanded(item))
        treeView_->collapseItem(item);
    else
        treeView_->expandItem(item);
}

void BrowserPanel::outlineViewDoubleClick()
{
    Object* item = treeView_->itemAtRow(treeView_->clickedRow());
    if (!item)
        return;
    if (auto* place = dynamic_cast<PlaceBrowserPanelItem*>(item)) {
        locateToPath(place->fullPath(), false, false);
        return;
    }
    if (treeView_->isExpandable(item)) {
        if (treeView_->isItemExpanded(item))
            treeView_->collapseItem(item);
        else
            treeView_->expandItem(item);
    }
}

// --- the selection, from the tree to the browse mode ----------------------------------------------------

bool BrowserPanel::selectionDidChange(const Notification&)
{
    outlineViewSelectionDidChange();
    return true;
}

void BrowserPanel::outlineViewSelectionDidChange()
{
    static bool inside = false;
    if (inside)
        return;
    inside = true;
    // A renamed folder's row goes before its new one comes: that change keeps the new name
    // pending.
    if (!pendingIsRename_)
        newFolderPath_.reset();
    ItemList collected;
    std::vector<int> kept;
    bool duplicates = false;
    for (int row : treeView_->selectedRowIndexes()) {
        Object* item = treeView_->itemAtRow(row);
        if (!isFolderItem(item))
            continue;
        Ref<FileSystemItemMO> folder(managedObjectOf(item));
        if (std::find(collected.begin(), collected.end(), folder) != collected.end()) {
            duplicates = true;
            continue;
        }
        collected.push_back(folder);
        kept.push_back(row);
    }
    if (duplicates)
        treeView_->selectRowIndexes(kept, false);
    inside = false;
    if (browsingSelection_ && !followingSelection_)
        browsingSelection_->setSelectedFolders(collected);
    NotificationCenter::defaultCenter().postNotificationName(BrowserPanelSelectionChangedNotification,
                                                             Ref<Object>(View::viewObject(this)));
    reloadWindowCaption();
}

ItemList BrowserPanel::browsingSelectedFoldersArray() const
{
    ItemList folders;
    for (int row : treeView_->selectedRowIndexes())
        if (Object* item = treeView_->itemAtRow(row); isFolderItem(item))
            folders.emplace_back(managedObjectOf(item));
    return folders;
}

void BrowserPanel::applySelectionToBrowsingSelection()
{
    reloadWindowCaption();
    if (!browsingSelection_)
        return;
    const ItemList folders = browsingSelectedFoldersArray();
    if (folders != browsingSelection_->selectedFolders())
        browsingSelection_->setSelectedFolders(folders);
}

// --- the window caption ---------------------------------------------------------------------------------

std::string BrowserPanel::windowCaptionForNames(const std::vector<std::string>& names) const
{
    const std::string application = translated("Vistel", "reloadWindowCaption");
    const int count = static_cast<int>(names.size());
    switch (names.size()) {
    case 0: return application;
    case 1: return vistel::format(translated("%@ - %@", "reloadWindowCaption"), names[0], application);
    case 2:
        return vistel::format(translated("[%d folders: %@ or %@] - %@", "reloadWindowCaption"), count, names[0], names[1],
                              application);
    case 3:
        return vistel::format(translated("[%d folders: %@, %@ or %@] - %@", "reloadWindowCaption"), count, names[0],
                              names[1], names[2], application);
    default:
        return vistel::format(translated("[%d folders: %@, %@ … %@ or %@] - %@", "reloadWindowCaption"), count, names[0],
                              names[1], names[names.size() - 2], names.back(), application);
    }
}

void BrowserPanel::reloadWindowCaption()
{
    const ItemList folders = browsingSelectedFoldersArray();
    std::vector<std::string> names;
    for (const Ref<FileSystemItemMO>& folder : folders)
        names.push_back(folder->displayName());
    QWidget* target = window();
    if (!target || target == this)
        return;
    target->setWindowTitle(QString::fromStdString(windowCaptionForNames(names)));
    target->setWindowFilePath(folders.size() == 1 ? QString::fromStdString(folders.front()->fullPath()) : QString());
}

// --- paths ------------------------------------------------------------------------------------------------

int BrowserPanel::expandPath(const std::string& path, bool includePlaces)
{
    const std::vector<std::string> components = componentsOf(path);
    if (path.empty() || components.empty())
        return NSNotFound;
    Ref<Object> start;
    if (includePlaces)
        for (const Ref<PlaceBrowserPanelItem>& place : validPlaceItems())
            if (place->fullPath() == path)
                start = place;
    if (!start) {
        const std::string root = rootPathOf(path);
        for (const Ref<GroupList>& group : groups_) {
            if (group->group() == PlacesGroup && !includePlaces)
                continue;
            for (const Ref<Object>& item : group->items)
                if (FileSystemItemMO* folder = managedObjectOf(item.get()); folder && folder->fullPath() == root) {
                    if (auto* place = dynamic_cast<PlaceBrowserPanelItem*>(item.get()); place && !place->isValid())
                        continue;
                    start = item;
                    break;
                }
            if (start)
                break;
        }
    }
    if (!start)
        return NSNotFound;
    for (const Ref<GroupList>& group : groups_)
        if (group->contains(start.get()))
            treeView_->expandItem(group.get());
    Ref<Object> current = start;
    for (std::size_t i = componentsOf(managedObjectOf(start.get())->fullPath()).size(); i < components.size(); ++i) {
        if (dynamic_cast<PlaceBrowserPanelItem*>(current.get()))
            break; // places do not expand
        treeView_->expandItem(current.get());
        Ref<FileSystemItemMO> next = managedObjectOf(current.get())->childWithName(components[i]);
        if (next && treeView_->rowForItem(next.get()) < 0) {
            // Listed since the tree last asked: the tree asks again.
            treeView_->reloadItem(current.get(), true);
            treeView_->expandItem(current.get());
        }
        if (!next || treeView_->rowForItem(next.get()) < 0)
            break;
        current = next;
    }
    const int row = treeView_->rowForItem(current.get());
    return row < 0 ? NSNotFound : row;
}

bool BrowserPanel::locateToPath(const std::string& path, bool includePlaces, bool byExtendingSelection)
{
    const int row = expandPath(path, includePlaces);
    if (row == NSNotFound)
        return false;
    treeView_->selectRow(row, byExtendingSelection);
    treeView_->scrollTo(treeView_->indexOfRow(row));
    return true;
}

// --- the start location -------------------------------------------------------------------------------------

void BrowserPanel::selectDefaultItem()
{
    if (!database_)
        return;
    // The answer can come before the request returns.
    if (!startLocationFrom_)
        startLocationFrom_ = browsingSelectedFoldersArray();
    if (!database_->enqueueRefreshPath(Preferences::defaultBrowserPanelSelectedLoaction(), this))
        startLocationFrom_.reset();
}

void BrowserPanel::notifyFSItemUpdated(FileSystemItemMO* item, const std::string& path, bool status)
{
    Ref<PlaceBrowserPanelItem> placeItem;
    for (const Ref<PlaceBrowserPanelItem>& candidate : placeItems())
        if (candidate->fullPath() == path)
            placeItem = candidate;
    ZovPlaceInfo* place = places_ ? places_->placeByPath(path) : nullptr;
    // Only the folder of the path itself becomes a place item: a walk that ended early names
    // a folder above it.
    if (!placeItem && place && item && status && item->fullPath() == path) {
        placeItem = PlaceBrowserPanelItem::create(item, place);
        placesList()->items.emplace_back(placeItem);
        sortPlacesArray();
    }
    if (placeItem) {
        placeItem->setValid(status && folderExists(path));
        reloadTree(placesList(), true);
    }
    if (!status || !startLocationFrom_)
        return;
    std::string start = Preferences::defaultBrowserPanelSelectedLoaction();
    if (!folderExists(start))
        start = Preferences::userPicturesFolderPath();
    if (start != path)
        return;
    const ItemList selected = browsingSelectedFoldersArray();
    const bool chosenMeanwhile = selected != *startLocationFrom_;
    startLocationFrom_.reset();
    if (chosenMeanwhile || (selected.size() == 1 && isCameraVolume(selected.front()->volumeItem())))
        return;
    locateToPath(path, false, false);
}

// --- places ----------------------------------------------------------------------------------------------------

void BrowserPanel::reloadPlaces()
{
    if (!places_ || !database_)
        return;
    for (std::size_t i = 0; i < places_->count(); ++i)
        if (ZovPlaceInfo* place = places_->placeAtIndex(i))
            database_->enqueueRefreshPath(place->placePath(), this);
}

void BrowserPanel::sortPlacesArray()
{
    GroupList* list = placesList();
    if (!list)
        return;
    std::vector<Ref<Object>> sorted;
    const std::vector<Ref<PlaceBrowserPanelItem>> items = placeItems();
    if (places_)
        for (std::size_t i = 0; i < places_->count(); ++i) {
            ZovPlaceInfo* place = places_->placeAtIndex(i);
            for (const Ref<PlaceBrowserPanelItem>& item : items)
                if (place && item->fullPath() == place->placePath()
                    && std::find(sorted.begin(), sorted.end(), Ref<Object>(item)) == sorted.end()) {
                    sorted.emplace_back(item);
                    break;
                }
        }
    list->items = std::move(sorted);
    reloadTree(list, true);
}

void BrowserPanel::placesChangedNotification(const Notification&)
{
    GroupList* list = placesList();
    if (!list)
        return;
    std::erase_if(list->items, [&](const Ref<Object>& item) {
        auto* place = dynamic_cast<PlaceBrowserPanelItem*>(item.get());
        return !place || !places_ || !places_->placeByPath(place->fullPath());
    });
    sortPlacesArray();
    // A place that has no item yet shows once the catalogue has found its folder.
    if (places_ && database_)
        for (std::size_t i = 0; i < places_->count(); ++i) {
            ZovPlaceInfo* place = places_->placeAtIndex(i);
            const auto items = placeItems();
            if (place && std::none_of(items.begin(), items.end(), [&](const Ref<PlaceBrowserPanelItem>& item) {
                    return item->fullPath() == place->placePath();
                }))
                database_->enqueueRefreshPath(place->placePath(), this);
        }
}

void BrowserPanel::validatePlaces(FileSystemItemMO* folder)
{
    bool changed = false;
    for (const Ref<PlaceBrowserPanelItem>& place : placeItems()) {
        if (folder && place->parent().get() != folder)
            continue;
        const bool valid = folderExists(place->fullPath());
        if (valid != place->isValid()) {
            place->setValid(valid);
            changed = true;
        }
    }
    if (changed)
        reloadTree(placesList(), true);
}

PlaceBrowserPanelItem* BrowserPanel::placeItemForFSItem(const FileSystemItemMO* folder) const
{
    for (const Ref<PlaceBrowserPanelItem>& place : placeItems())
        if (place->managedObject() == folder)
            return place.get();
    return nullptr;
}

// --- mounts --------------------------------------------------------------------------------------------------------

void BrowserPanel::notifyMediaMounted(const Notification& notification)
{
    Ref<FileSystemItemMO> item = notification.userInfo.get("FileSystemItemMO").toObject<FileSystemItemMO>();
    if (!BasicUIHandler::isVolumeItem(item.get()))
        return;
    GroupList* group = groupList(item.get());
    if (group && !group->contains(item.get())) {
        auto position = std::find_if(group->items.begin(), group->items.end(), [&](const Ref<Object>& element) {
            auto* other = dynamic_cast<FileSystemItemMO*>(element.get());
            return other && item->compareDisplayName(other) == FileSystemItemMO::ComparisonResult::Ascending;
        });
        group->items.insert(position, Ref<Object>(item));
        reloadTree(group, true);
        if (!treeView_->isItemExpanded(group))
            treeView_->expandItem(group);
        validatePlaces(nullptr);
        if (treeView_->selectedRowIndexes().empty()) {
            const int row = treeView_->rowForItem(item.get());
            if (row >= 0)
                treeView_->selectRowIndexes({row}, false);
        }
    }
    // A volume waited for (a frame just set up) is selected as soon as it is listed again.
    if (group && newFolderPath_ && item->fullPath() == *newFolderPath_)
        if (const int row = treeView_->rowForItem(item.get()); row >= 0)
            selectPendingRow(row, item.get());
    if (isCameraVolume(item.get())) {
        // A new camera becomes the selection, unless a camera is being browsed already.
        const ItemList selected = browsingSelectedFoldersArray();
        const bool onCamera = selected.size() == 1 && isCameraVolume(selected.front()->volumeItem());
        const int row = treeView_->rowForItem(item.get());
        if (!onCamera && row >= 0)
            treeView_->selectRowIndexes({row}, false);
    }
    applySelectionToBrowsingSelection();
}

void BrowserPanel::notifyMediaUnmounted(const Notification& notification)
{
    Ref<FileSystemItemMO> item = notification.userInfo.get("FileSystemItemMO").toObject<FileSystemItemMO>();
    if (!item)
        return;
    GroupList* group = itemGroup(item.get());
    for (const Ref<GroupList>& list : groups_)
        if (list->remove(item.get()))
            validatePlaces(nullptr);
    if (group)
        reloadTree(group, true);
    applySelectionToBrowsingSelection();
}

void BrowserPanel::itemsMaskChangedNotification(const Notification&) { reloadTree(nullptr, true); }

void BrowserPanel::scrollViewFrameResized()
{
    const int width = treeView_->viewport()->width();
    if (TableColumn* column = treeView_->outlineTableColumn()) {
        column->setWidth(std::max(0, width - 3));
        treeView_->header()->resizeSection(0, std::max(0, width - 3));
    }
}

// --- the selection, from the browse mode to the tree ---------------------------------------------------------

void BrowserPanel::selectPendingRow(int row, FileSystemItemMO* folder)
{
    treeView_->scrollTo(treeView_->indexOfRow(row));
    treeView_->selectRowIndexes({row}, false);
    if (startEditNewFolder_)
        treeView_->editColumn(0, row);
    if (browsingSelection_)
        browsingSelection_->setSelectedFolders({Ref<FileSystemItemMO>(folder)});
    newFolderPath_.reset();
    pendingIsRename_ = false;
}

void BrowserPanel::startProgressIndicatorWithItems(const std::vector<Ref<FileSystemItemMO>>& items)
{
    std::vector<Object*> marked;
    auto mark = [&](Object* object) {
        if (object && std::find(marked.begin(), marked.end(), object) == marked.end()) {
            marked.push_back(object);
            treeView_->insertItemInProgress(object);
        }
    };
    for (const Ref<FileSystemItemMO>& item : items) {
        if (!item)
            continue;
        Ref<FileSystemItemMO> folder = item->isFolder() ? item : item->parent();
        if (!folder)
            continue;
        mark(folder.get());
        mark(placeItemForFSItem(folder.get()));
    }
}

void BrowserPanel::handleBrowsingSelectionNotifications(const Notification& notification)
{
    const Value& info = notification.userInfo;
    const std::int64_t bitmap = info.contains(kObjectsChangesBitmap) ? info[kObjectsChangesBitmap].toInt64() : 7;
    if (info.contains(kClearDatabaseNotification)) {
        newFolderPath_.reset();
        pendingIsRename_ = false;
        treeView_->clear();
        for (const Ref<GroupList>& group : groups_)
            group->items.clear();
        reloadTree(nullptr, true);
        initDeviceItemsAndNotify(true, true);
        return;
    }
    if (info.contains(FSFolderChangedNotification)) {
        const std::optional<std::string> pending = newFolderPath_;
        std::vector<Ref<FileSystemItemMO>> changedItems;
        const Value& changed = info[FSFolderChangedNotification][kChangedItems];
        if (changed.isDictionary())
            for (const auto& [key, entry] : changed.asDictionary()) {
                if (!entry.contains(kItemValue))
                    break;
                Ref<FileSystemItemMO> item = entry[kItemValue].toObject<FileSystemItemMO>();
                if (!item)
                    continue;
                changedItems.push_back(item);
                const bool reload = entry.contains(kReloadChildren) && entry[kReloadChildren].toBool();
                if (BasicUIHandler::isVolumeItem(item.get())) {
                    GroupList* own = groupList(item.get());
                    for (const Ref<GroupList>& group : groups_)
                        if (group.get() != own && group->remove(item.get()))
                            reloadTree(group.get(), true);
                    if (own && own->contains(item.get()))
                        reloadTree(item.get(), reload);
                    if (pending && item->fullPath() == *pending && own) {
                        treeView_->expandItem(own);
                        const int row = treeView_->rowForItem(item.get());
                        if (row >= 0)
                            selectPendingRow(row, item.get());
                    }
                } else if (item->isFolder()) {
                    reloadTree(item.get(), reload);
                    validatePlaces(item.get());
                }
                if (reload && pending && newFolderPath_ && parentFolderPath(*pending) == item->fullPath()) {
                    Ref<FileSystemItemMO> child = item->childWithName(lastPathComponent(*pending));
                    if (child) {
                        const int row = expandPath(*pending, false);
                        if (row != NSNotFound && treeView_->itemAtRow(row) == child.get())
                            selectPendingRow(row, child.get());
                    }
                }
            }
        startProgressIndicatorWithItems(changedItems);
    }
    if (info.contains(FSItemChangeNotification) && info[FSItemChangeNotification].isDictionary()) {
        std::vector<Ref<FileSystemItemMO>> items;
        for (const auto& [key, entry] : info[FSItemChangeNotification].asDictionary())
            if (Ref<FileSystemItemMO> item = entry[kItemValue].toObject<FileSystemItemMO>())
                items.push_back(item);
        startProgressIndicatorWithItems(items);
    }
    if (bitmap & 4) {
        reloadWindowCaption();
        if (!browsingSelection_)
            return;
        const ItemList& folders = browsingSelection_->selectedFolders();
        std::vector<Ref<FileSystemItemMO>> working;
        for (const Ref<FileSystemItemMO>& folder : folders)
            if (folder->hasPendingRefreshStatusRequests() || folder->needsRefresh())
                working.push_back(folder);
        startProgressIndicatorWithItems(working);
        const ItemList tree = browsingSelectedFoldersArray();
        if (tree != folders) {
            const ItemList wanted = folders;
            followingSelection_ = true;
            for (std::size_t i = 0; i < wanted.size(); ++i)
                if (isFolderItem(wanted[i].get()))
                    locateToPath(wanted[i]->fullPath(), false, i > 0);
            followingSelection_ = false;
            if (wanted.empty() && !tree.empty())
                browsingSelection_->setSelectedFolders(tree);
        }
    }
}

// --- the navigation history's view of the tree ------------------------------------------------

const Object* BrowserPanel::historyNotificationSender() const
{
    return View::viewObject(const_cast<BrowserPanel*>(this));
}

std::vector<Ref<Object>> BrowserPanel::historySelectedItems() const
{
    return treeView_->selectedItemsArray();
}

bool BrowserPanel::historyIsFileSystemItem(const Object& item) const
{
    return TrackableOutlineView::isFileSystemItem(&item);
}

std::string BrowserPanel::historyItemName(const Object& item) const
{
    if (auto* place = dynamic_cast<const PlaceBrowserPanelItem*>(&item))
        return place->name();
    const FileSystemItemMO* folder = managedObjectOf(&item);
    return folder ? folder->name() : std::string();
}

Ref<Object> BrowserPanel::historyParentForItem(const Object& item) const
{
    return Ref<Object>(treeView_->parentForItem(&item));
}

int BrowserPanel::historyRevealItem(const Object& item)
{
    Object* target = const_cast<Object*>(&item);
    if (GroupList* group = itemGroup(target))
        treeView_->expandItem(group);
    else if (FileSystemItemMO* folder = managedObjectOf(target))
        expandPath(folder->fullPath(), false);
    return treeView_->rowForItem(target);
}

void BrowserPanel::historySelectRows(const std::vector<int>& rows)
{
    treeView_->selectRowIndexes(rows, false);
    if (!rows.empty())
        treeView_->scrollTo(treeView_->indexOfRow(rows.front()));
}

} // namespace vistel
