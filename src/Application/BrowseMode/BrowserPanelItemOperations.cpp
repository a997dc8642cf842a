// What the user does with the sidebar's rows: the context menu, the two bottom buttons,
// validation with tool tips, copy, paste, trash, new folder, rename, eject, picture frames,
// removing places, and drag and drop with the tree as source and destination.

#include "Application/BrowseMode/BrowserPanel.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPropertyAnimation>

#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/BrowseMode/PlaceBrowserPanelItem.h"
#include "Application/BrowseMode/TrackableOutlineView.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Frames/ConfigurePhotoFrameDialog.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Gui/View.h"
#include "Platform/Log.h"
#include "Platform/RunLoop.h"
#include "Preferences/Preferences.h"
#include "Preferences/ZovPlacesReader.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

const QMimeData* clipboardData()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData() : nullptr;
}

// The menu item of the context menu: action, the panel as target, the item as represented
// object.
class PanelMenuItem : public ActionItem {
public:
    PanelMenuItem(const QString& title, std::string action, Responder* target, Ref<Object> item, QObject* parent)
        : ActionItem(title, std::move(action), parent), item_(std::move(item))
    {
        setTarget(target);
    }
    Object* representedObject() const { return item_.get(); }

private:
    Ref<Object> item_;
};

} // namespace

// --- selected item -------------------------------------------------------------------------------------

Object* BrowserPanel::selectedItem() const
{
    const int row = treeView_->selectedRow();
    return row >= 0 ? treeView_->itemAtRow(row) : nullptr;
}

FileSystemItemMO* BrowserPanel::selectedCatalogueItem() const
{
    Object* item = selectedItem();
    return isFolderItem(item) ? managedObjectOf(item) : nullptr;
}

// A row as the handler's actions see it: a place stays a place (the handler never renames or
// deletes it as the folder it shows), any other row is its catalogue item.
Ref<Object> BrowserPanel::handlerItemOf(Object* item) const
{
    if (dynamic_cast<PlaceBrowserPanelItem*>(item))
        return Ref<Object>(item);
    return Ref<Object>(managedObjectOf(item));
}

// --- the context menu --------------------------------------------------------------------------------

QMenu* BrowserPanel::itemPopupMenu(Object* item)
{
    if (!isFolderItem(item))
        return nullptr;
    auto* menu = new QMenu(QString::fromStdString(translated("Title", "itemPopupMenu:")));
    auto add = [&](const char* title, const char* action, std::optional<std::string> text = std::nullopt) {
        menu->addAction(new PanelMenuItem(QString::fromStdString(text ? *text : translated(title, "itemPopupMenu:")), action,
                                          this, Ref<Object>(item), menu));
    };
    auto* volume = dynamic_cast<FileSystemVolumeMO*>(item);
    const std::string newFolder = translated("Create New Folder", "itemPopupMenu:");
    if (volume && volume->deviceType() == DeviceType::USB) {
        // A stick that could become a frame (the set-up dialog validates its own entry), or a
        // frame already.
        if (volume->isDPFDevice()) {
            add("Configure Frame…", "editPictureFrame:");
            add("Reset Frame", "resetPictureFrame:");
            add("Eject Frame", "onUnmountVolumeAction:");
        } else {
            add("New Frame…", "newPictureFrame:");
            add("Eject Volume", "onUnmountVolumeAction:");
        }
    } else if (volume) {
        add("Create New Folder", "onCreateFolderAction:", newFolder);
        add("Eject Volume", "onUnmountVolumeAction:");
    } else {
        add("Create New Folder", "onCreateFolderAction:", newFolder);
    }
    // Entries validate as the menu opens.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
        for (QAction* entry : menu->actions())
            if (auto* control = dynamic_cast<ActionItem*>(entry))
                control->setEnabled(validateUserInterfaceItem(*control));
    });
    return menu;
}

// --- bottom buttons ----------------------------------------------------------------------------------

QWidget* BrowserPanel::createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater&)
{
    if (identifier == 0) {
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(
            1, kImageNameAdd, QString::fromStdString(translated("Create new folder", "createControlWithID:statusUpdater:")));
        button->setAction("onCreateFolderAction:");
        return button;
    }
    if (identifier == 1) {
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(
            0, kImageNameRemove, QString::fromStdString(translated("Delete folder", "createControlWithID:statusUpdater:")));
        button->setAction("onDeleteFolderAction:");
        return button;
    }
    return nullptr;
}

// --- validation ----------------------------------------------------------------------------------------

void BrowserPanel::setToolTipForAction(const std::string& action, std::string toolTip)
{
    toolTips_[action] = std::move(toolTip);
    if (!buttonsStatusUpdater_)
        return;
    for (std::uint32_t identifier : {0u, 1u})
        if (auto* button = dynamic_cast<ActionButton*>(buttonsStatusUpdater_->controlWithID(identifier));
            button && button->action() == action && button->toolTip().toStdString() != toolTips_[action])
            button->setToolTip(QString::fromStdString(toolTips_[action]));
}

std::string BrowserPanel::toolTipForAction(const std::string& action) const
{
    auto found = toolTips_.find(action);
    return found == toolTips_.end() ? std::string() : found->second;
}

bool BrowserPanel::validateUserInterfaceItem(const UserInterfaceItem& uiItem)
{
    Object* item = selectedItem();
    if (!isFolderItem(item))
        return false;
    const std::string action = uiItem.action();
    auto* volume = BasicUIHandler::isVolumeItem(item) ? dynamic_cast<FileSystemVolumeMO*>(item) : nullptr;
    const bool frame = volume && volume->isDPFDevice();
    Ref<ZovDeviceInfo> device = volume ? volume->getDeviceInfo() : nullptr;
    const bool usb = device && device->type() == DeviceType::USB;
    if (action == "copy:" || action == "showHideDeviceProperties:")
        return true;
    if (action == "newPictureFrame:")
        return usb && !frame;
    if (action == "editPictureFrame:" || action == "resetPictureFrame:")
        return frame && volume->isWritable() && !itemIsDestinationForAnUserAction(item);
    if (action == "ejectVolume:")
        return usb;
    if (action == "onCreateFolderAction:") {
        setToolTipForAction(action, translated("Create new folder", "validateUserInterfaceItem:"));
        return BasicUIHandler::isItemCanCreateSubitems(managedObjectOf(item));
    }
    if (action == "onDeleteFolderAction:" || action == "delete:" || action == "moveToTrash:") {
        setToolTipForAction(action, translated("Move to trash", "validateUserInterfaceItem:"));
        BasicUIHandler::Items selected;
        for (const Ref<Object>& each : treeView_->selectedItemsArray()) {
            if (placesList()->contains(each.get()))
                return false;
            selected.emplace_back(managedObjectOf(each.get()));
        }
        return uiHandler() && uiHandler()->canMoveObjectsToTrash(selected);
    }
    if (action == "onUnmountVolumeAction:") {
        setToolTipForAction(action, vistel::format(translated("%@ «%@»", "validateUserInterfaceItem:"),
                                                   translated("Eject", "validateUserInterfaceItem:"),
                                                   managedObjectOf(item)->displayName()));
        return BasicUIHandler::isItemCanUnmount(item);
    }
    BrowsingUAHandler* handler = uiHandler();
    if (!handler)
        return false;
    BasicUIHandler::Items selection;
    for (const Ref<Object>& each : treeView_->selectedItemsArray())
        selection.push_back(handlerItemOf(each.get()));
    const bool fromClipboard = action == "paste:" || action == "move:";
    return handler->validateUserAction(action, managedObjectOf(item), fromClipboard ? nullptr : &selection,
                                       clipboardData(), nullptr);
}

bool BrowserPanel::itemIsDestinationForAnUserAction(const Object* item) const
{
    FileSystemItemMO* folder = managedObjectOf(item);
    if (!folder)
        return false;
    const std::string path = folder->fullPath();
    const Value tasks = ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().askForUserActionsList();
    if (!tasks.isArray())
        return false;
    for (const Value& task : tasks.asArray()) {
        const std::string destination = task["destinationPath"].isString() ? task["destinationPath"].toString() : "";
        if (!destination.empty() && (destination == path || destination.starts_with(path == "/" ? path : path + "/")))
            return true;
    }
    return false;
}

// --- actions ------------------------------------------------------------------------------------------------

bool BrowserPanel::respondsToAction(const std::string& action) const
{
    static const char* const own[] = {"copy:", "paste:", "moveToTrash:", "delete:", "deletePermanently:",
                                      "onDeleteFolderAction:", "onCreateFolderAction:", "onUnmountVolumeAction:",
                                      "newPictureFrame:", "editPictureFrame:", "resetPictureFrame:"};
    for (const char* name : own)
        if (action == name)
            return true;
    if (Responder::respondsToAction(action))
        return true;
    BrowsingUAHandler* handler = uiHandler();
    return handler && handler->respondsToUserActionSelector(action);
}

bool BrowserPanel::performAction(const std::string& action, QObject* sender)
{
    if (Responder::performAction(action, sender))
        return true;
    if (action == "copy:")
        copy();
    else if (action == "paste:")
        paste();
    else if (action == "moveToTrash:" || action == "delete:" || action == "onDeleteFolderAction:")
        onDeleteFolderAction();
    else if (action == "deletePermanently:")
        deletePermanently();
    else if (action == "onCreateFolderAction:")
        onCreateFolderAction();
    else if (action == "onUnmountVolumeAction:") {
        // The eject button of a row acts on its own row, which a click on it does not select.
        if (sender == treeView_ && treeView_->clickedRow() >= 0) {
            if (auto* volume = dynamic_cast<FileSystemVolumeMO*>(treeView_->itemAtRow(treeView_->clickedRow()))) {
                if (volumeEjector_)
                    volumeEjector_(volume);
                return true;
            }
        }
        onUnmountVolumeAction();
    } else if (action == "newPictureFrame:")
        configurePhotoFrame(nullptr);
    else if (action == "editPictureFrame:") {
        if (FileSystemItemMO* volume = browsingSelection_ ? browsingSelection_->selectedFoldersVolume() : nullptr)
            configurePhotoFrame(dynamic_cast<FileSystemVolumeMO*>(volume));
    } else if (action == "resetPictureFrame:")
        resetPictureFrame();
    else {
        BrowsingUAHandler* handler = uiHandler();
        if (!handler || !handler->respondsToUserActionSelector(action))
            return false;
        Object* item = selectedItem();
        BasicUIHandler::Items items;
        // Move Here takes the clipboard's names into the row's folder.
        if (managedObjectOf(item) && action != "move:")
            items.push_back(handlerItemOf(item));
        // Validated once more: a key's shortcut may reach here for a row the handler refuses.
        if (!handler->validateUserAction(action, managedObjectOf(item), items.empty() ? nullptr : &items,
                                         clipboardData(), nullptr))
            return false;
        handler->processItems(items, managedObjectOf(item), action, clipboardData(), this);
    }
    return true;
}

void BrowserPanel::copy()
{
    BrowsingUAHandler* handler = uiHandler();
    if (!handler)
        return;
    BasicUIHandler::Items items;
    for (const Ref<FileSystemItemMO>& folder : browsingSelectedFoldersArray())
        items.emplace_back(folder);
    handler->processItems(items, nullptr, "copy:", clipboardData(), this);
}

void BrowserPanel::paste()
{
    BrowsingUAHandler* handler = uiHandler();
    FileSystemItemMO* item = selectedCatalogueItem();
    if (handler && item)
        handler->processItems({}, item, "paste:", clipboardData(), this);
}

void BrowserPanel::deletePermanently()
{
    if (Object* item = selectedItem(); item && placesList()->contains(item)) {
        onDeleteFolderAction();
        return;
    }
    BrowsingUAHandler* handler = uiHandler();
    FileSystemItemMO* item = selectedCatalogueItem();
    if (!handler || !item)
        return;
    handler->processItems({Ref<Object>(item)}, item, "deletePermanently:", clipboardData(), this);
}

void BrowserPanel::onDeleteFolderAction(const QMimeData* dragged)
{
    std::vector<Ref<PlaceBrowserPanelItem>> placesToRemove;
    BasicUIHandler::Items toTrash;
    if (dragged) {
        Ref<Pasteboard> board = Pasteboard::pasteboardWithMimeData(const_cast<QMimeData*>(dragged));
        std::optional<Value> names = board->propertyListForType(NSFilenamesPboardType);
        if (names && names->isArray() && database_)
            for (const Value& name : names->asArray())
                if (Ref<FileSystemItemMO> item = database_->findExistingItemForPath(name.toString()))
                    toTrash.emplace_back(item);
    } else {
        for (const Ref<Object>& item : treeView_->selectedItemsArray()) {
            if (auto place = dynamicRefCast<PlaceBrowserPanelItem>(item); place && placesList()->contains(place.get()))
                placesToRemove.push_back(place);
            else if (FileSystemItemMO* folder = managedObjectOf(item.get()))
                toTrash.emplace_back(folder);
        }
    }
    BrowsingUAHandler* handler = uiHandler();
    if (!toTrash.empty() && (!handler || !handler->canMoveObjectsToTrash(toTrash)))
        return;
    for (const Ref<PlaceBrowserPanelItem>& place : placesToRemove) {
        const QRect row = treeView_->rectOfRow(treeView_->rowForItem(place.get()));
        ZovPlaceInfo* info = places_ ? places_->placeByPath(place->fullPath()) : nullptr;
        if (!info || !places_->removePlace(info))
            continue;
        showPoofAtPoint(treeView_->viewport()->mapToGlobal(row.center()));
        placesList()->remove(place.get());
        reloadTree(placesList(), true);
        outlineViewSelectionDidChange();
    }
    if (!toTrash.empty())
        handler->moveToTrash(toTrash);
}

void BrowserPanel::onCreateFolderAction()
{
    Object* item = selectedItem();
    FileSystemItemMO* folder = managedObjectOf(item);
    BrowsingUAHandler* handler = uiHandler();
    if (!handler || !BasicUIHandler::isItemCanCreateSubitems(folder))
        return;
    Ref<FileSystemItemMO> created = handler->createSubfolder(Value::dictionary({{"keyParentItem", Value(Ref<FileSystemItemMO>(folder))}}));
    if (!created)
        return;
    if (dynamic_cast<PlaceBrowserPanelItem*>(item) && locateToPath(folder->fullPath(), false, false))
        item = selectedItem();
    treeView_->expandItem(item);
    newFolderPath_ = created->fullPath();
    startEditNewFolder_ = true;
    pendingIsRename_ = false;
}

void BrowserPanel::onUnmountVolumeAction()
{
    auto* volume = dynamic_cast<FileSystemVolumeMO*>(selectedItem());
    if (volume && volumeEjector_)
        volumeEjector_(volume);
}

// --- rename ------------------------------------------------------------------------------------------------

bool BrowserPanel::isAcceptableItemName(const std::string& name)
{
    return !name.empty() && name.size() <= 255 && name.find_first_of(std::string(":/\0", 3)) == std::string::npos;
}

bool BrowserPanel::renameItem(Object* item, const std::string& newName)
{
    if (!isAcceptableItemName(newName))
        return false;
    if (placesList()->contains(item)) {
        FileSystemItemMO* folder = managedObjectOf(item);
        ZovPlaceInfo* place = places_ && folder ? places_->placeByPath(folder->fullPath()) : nullptr;
        if (place && places_->renamePlace(place, newName))
            reloadTree(placesList(), true);
        return true;
    }
    auto* folder = dynamic_cast<FileSystemItemMO*>(item);
    if (!folder || !BasicUIHandler::isItemCanBeRenamed(folder))
        return false;
    const std::string parent = parentFolderPath(folder->fullPath());
    BrowsingUAHandler* handler = uiHandler();
    const bool renamed = itemRenamer_ ? itemRenamer_(folder, newName) : handler && handler->renameItem(folder, newName);
    if (renamed) {
        selectFolderWhenListed(joinPath(parent, newName));
    } else {
        startEditNewFolder_ = false;
        newFolderPath_.reset();
        pendingIsRename_ = false;
    }
    return false;
}

// --- picture frames ----------------------------------------------------------------------------------------

void BrowserPanel::configurePhotoFrame(FileSystemVolumeMO* volume)
{
    std::unique_ptr<ConfigurePhotoFrameDialog> dialog = ConfigurePhotoFrameDialog::create(volume, browsingSelection_.get());
    if (!dialog || dialog->run() == 0 || !dialog->configuredVolume())
        return;
    // The frame is selected again once it is listed under PICTURE FRAMES; its row goes first
    // (announced unmounted), which keeps the path pending as for a renamed folder.
    selectFolderWhenListed(dialog->configuredVolume()->fullPath());
}

void BrowserPanel::resetPictureFrame()
{
    auto* volume = BasicUIHandler::isVolumeItem(selectedItem()) ? dynamic_cast<FileSystemVolumeMO*>(selectedItem()) : nullptr;
    if (!volume)
        return;
    Preferences& preferences = Preferences::sharedPreferences();
    if (preferences.boolForKey(prefs::ShowResetFrameAlert)) {
        const ItemSize resolution = volume->pictureFrameResolution();
        auto alert = Alert::alertWithMessageText(
            vistel::format(translated("Are you sure you want to stop treating \"%@\" as a Picture Frame?", "resetPictureFrame:"),
                           volume->volumeName()),
            translated("OK", "resetPictureFrame:"), translated("Cancel", "resetPictureFrame:"), std::nullopt,
            vistel::format(translated("Images will not be automatically converted to JPEG and resized to %dx%d pixels.",
                                      "resetPictureFrame:"),
                           static_cast<int>(resolution.width), static_cast<int>(resolution.height)));
        alert->setShowsSuppressionButton(true);
        const int answer = alert->runModal();
        if (alert->suppressionButton()->isChecked())
            preferences.setValue(Value(false), prefs::ShowResetFrameAlert);
        if (answer != NSAlertDefaultReturn)
            return;
    }
    startEditNewFolder_ = false;
    Ref<ZovDeviceInfo> device = volume->getDeviceInfo();
    if (!device) {
        Ref<FileSystemVolumeMO> gone(volume);
        RunLoop::main()->scheduleTimer(
            0.5, false, [gone](RunLoop::Timer&) { ConfigurePhotoFrameDialog::showNoDeviceAvailable(gone.get()); });
        return;
    }
    newFolderPath_ = volume->fullPath();
    pendingIsRename_ = false;
    device->setDisplayName(volume->name());
    volume->setDeviceCategory(ZovDeviceInfo::generalUSBFileStorageCategory());
    if (database_) {
        database_->handleMountedMedia(volume, false);
        database_->handleMountedMedia(volume, true);
    }
}

// --- drag and drop ---------------------------------------------------------------------------------------------

bool BrowserPanel::isDraggedItemPlace(const QMimeData& data)
{
    return data.hasText() && data.text() == PlacesListDragString;
}

std::vector<std::string> BrowserPanel::draggedPaths(const QMimeData& data)
{
    Ref<Pasteboard> board = Pasteboard::pasteboardWithMimeData(const_cast<QMimeData*>(&data));
    std::optional<Value> list = isDraggedItemPlace(data) ? board->propertyListForType(ZovPlacesListType)
                                                         : board->propertyListForType(NSFilenamesPboardType);
    std::vector<std::string> paths;
    if (list && list->isArray())
        for (const Value& path : list->asArray())
            if (path.isString())
                paths.push_back(path.toString());
    return paths;
}

std::optional<bool> BrowserPanel::writeItems(OutlineView&, const std::vector<Ref<Object>>& items, QMimeData& data)
{
    Value paths = Value::array();
    bool allPlaces = true;
    for (const Ref<Object>& item : items) {
        if (!isFolderItem(item.get()))
            continue;
        paths.append(Value(managedObjectOf(item.get())->fullPath()));
        allPlaces = allPlaces && dynamic_cast<PlaceBrowserPanelItem*>(item.get());
    }
    if (paths.size() == 0)
        return false;
    Ref<Pasteboard> board = Pasteboard::pasteboardWithMimeData(&data);
    if (allPlaces) {
        board->declareTypes({ZovPlacesListType, NSFilenamesPboardType, NSStringPboardType});
        board->setString(PlacesListDragString, NSStringPboardType);
        board->setPropertyList(paths, ZovPlacesListType);
        board->setPropertyList(paths, NSFilenamesPboardType);
    } else {
        board->declareTypes({NSFilenamesPboardType});
        board->setPropertyList(paths, NSFilenamesPboardType);
    }
    return true;
}

std::uint32_t BrowserPanel::dragOperationForInfo(const QMimeData& data, Object* item) const
{
    FileSystemItemMO* folder = isFolderItem(item) ? managedObjectOf(item) : nullptr;
    BrowsingUAHandler* handler = uiHandler();
    if (!folder || !handler)
        return NSDragOperationNone;
    return handler->dragOperationForPath(folder->fullPath(), draggedPaths(data));
}

Qt::DropAction BrowserPanel::sidebarDropAction(const QMimeData& data, Object* item) const
{
    const std::uint32_t operation = dragOperationForInfo(data, item);
    const Qt::DropAction wanted = operation == NSDragOperationMove ? Qt::MoveAction
        : operation == NSDragOperationCopy                         ? Qt::CopyAction
                                                                   : Qt::IgnoreAction;
    return dropActionAllowedBySource(wanted, treeView_->draggingSourceOperationMask());
}

std::optional<Qt::DropAction> BrowserPanel::validateDrop(OutlineView&, const QMimeData& data, Object* item, long)
{
    const bool places = isDraggedItemPlace(data);
    if (item != placesList()) {
        if (places && dynamic_cast<PlaceBrowserPanelItem*>(item))
            return Qt::IgnoreAction;
        if (!data.hasUrls() && !data.hasFormat(Pasteboard::FilenamesMimeType))
            return Qt::IgnoreAction;
        const Qt::DropAction operation = sidebarDropAction(data, item);
        if (operation == Qt::IgnoreAction)
            return Qt::IgnoreAction;
        BrowsingUAHandler* handler = uiHandler();
        const std::string action = operation == Qt::CopyAction ? "paste:" : "move:";
        if (!handler || !handler->validateUserAction(action, managedObjectOf(item), nullptr, &data, nullptr))
            return Qt::IgnoreAction;
        return operation;
    }
    const std::vector<std::string> paths = draggedPaths(data);
    if (paths.size() != 1 || !folderExists(paths.front()))
        return Qt::IgnoreAction;
    if (places || !places_ || !places_->placeByPath(paths.front()))
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

std::optional<bool> BrowserPanel::acceptDrop(OutlineView&, const QMimeData& data, Object* item, long childIndex)
{
    if (item != placesList()) {
        BrowsingUAHandler* handler = uiHandler();
        if (!handler)
            return false;
        const bool move = sidebarDropAction(data, item) == Qt::MoveAction
                          && handler->validateUserAction("move:", managedObjectOf(item), nullptr, &data, nullptr);
        return handler->processItems({}, managedObjectOf(item), move ? "move:" : "paste:", &data, this);
    }
    const std::vector<std::string> paths = draggedPaths(data);
    if (paths.size() != 1 || !folderExists(paths.front()) || !places_)
        return false;
    const std::string& path = paths.front();
    Ref<FileSystemItemMO> known = database_ ? database_->findExistingItemForPath(path) : nullptr;
    const std::string caption = known ? known->displayName() : lastPathComponent(path);
    // Dropped among the valid (shown) places: the index in the whole list is that of the shown
    // place it lands before.
    std::size_t index = places_->count();
    const auto shown = validPlaceItems();
    if (childIndex >= 0 && childIndex < static_cast<long>(shown.size()))
        if (ZovPlaceInfo* before = places_->placeByPath(shown[static_cast<std::size_t>(childIndex)]->fullPath()))
            index = places_->placeIndex(before);
    if (isDraggedItemPlace(data)) {
        // Reordering: the place moves to the new position.
        if (ZovPlaceInfo* moving = places_->placeByPath(path)) {
            const std::string name = moving->placeName();
            const std::size_t from = places_->placeIndex(moving);
            if (from < index)
                --index;
            places_->removePlace(moving);
            places_->insertPlace(path, name, index);
            return true;
        }
    }
    // The list's change notice asks the catalogue for the new place's folder.
    places_->insertPlace(path, caption, index);
    return true;
}

// --- the poof -----------------------------------------------------------------------------------------------------

namespace {

class PoofWindow : public QWidget {
public:
    PoofWindow()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_ShowWithoutActivating);
        resize(48, 48);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(230, 230, 230, 220));
        for (const QRectF& puff : {QRectF(4, 14, 22, 22), QRectF(20, 8, 24, 24), QRectF(14, 22, 26, 22)})
            painter.drawEllipse(puff);
    }
};

} // namespace

void BrowserPanel::showPoofAtPoint(QPoint globalPoint)
{
    auto* poof = new PoofWindow;
    poof->move(globalPoint - QPoint(24, 24));
    poof->show();
    auto* fade = new QPropertyAnimation(poof, "windowOpacity", poof);
    fade->setDuration(400);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    QObject::connect(fade, &QPropertyAnimation::finished, poof, &QWidget::close);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace vistel
