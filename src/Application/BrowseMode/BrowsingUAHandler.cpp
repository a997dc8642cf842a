#include "Application/BrowseMode/BrowsingUAHandler.h"

#include <sys/stat.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>

#include <map>

#include "Application/BrowseMode/BrowserPanelHistory.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ItemsViewControl.h"
#include "Application/NSApplicationWithLimitedOpenFiles.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/ErrorRecord.h"
#include "Platform/Gui/Document.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Gui/Workspace.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

const BasicUIHandler::Items& noItems()
{
    static const BasicUIHandler::Items empty;
    return empty;
}

bool isFolderOnDisk(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileSystemVolumeMO* volumeOf(FileSystemItemMO* item)
{
    return item ? dynamic_cast<FileSystemVolumeMO*>(item->volumeItem()) : nullptr;
}

} // namespace

const BasicUIHandler::Items& BrowsingUAHandler::UserAction::items() const { return selection ? *selection : noItems(); }

Ref<BrowsingUAHandler> BrowsingUAHandler::create(BasicModeController* controller)
{
    return Ref<BrowsingUAHandler>::adopt(new BrowsingUAHandler(controller));
}

// One row per selector. A null predicate is an action whose worker is not built yet.
const std::vector<BrowsingUAHandler::ActionRow>& BrowsingUAHandler::actionTable()
{
    using H = BrowsingUAHandler;
    static const std::vector<ActionRow> table {
        {"exportMetadata:", true, &H::validateExportMetadata, &H::performExportMetadata},
        {"copy:", true, &H::validateCopy, &H::performCopy},
        {"rename:", true, &H::validateRename, &H::performRename},
        {"paste:", true, &H::validatePaste, &H::performPaste},
        // Validated here, performed by the views' own drop handling.
        {"dropItems:", true, &H::validateDrop, nullptr},
        {"delete:", true, &H::validateDelete, &H::performDelete},
        {"deletePermanently:", true, &H::validateDeletePermanently, &H::performDeletePermanently},
        {"sendToFrame:", true, &H::validateSendToFrame, &H::performSendToFrame},
        // Nothing sends it and it would do nothing.
        {"sendToFrameDialog:", true, nullptr, nullptr},
        {"batchConvertFileFormat:", true, &H::validateBatch, &H::performBatchConvert},
        {"batchResize:", true, &H::validateBatch, &H::performBatchResize},
        {"batchRename:", true, &H::validateBatch, &H::performBatchRename},
        {"saveDocumentAs:", true, &H::validateSaveAs, &H::performSaveAs},
        {"printPictures:", true, &H::validatePrint, &H::performPrint},
        {"move:", true, &H::validateMove, &H::performMove},
        {"rotateLeft:", true, &H::validateRotate, &H::performRotate},
        {"rotateRight:", true, &H::validateRotate, &H::performRotate},
        {"moveToTrash:", true, &H::validateMoveToTrash, &H::performMoveToTrash},
        {"onCreateFolderAction:", true, &H::validateCreateFolder, &H::performCreateFolder},
        {"forward:", true, &H::validateForward, &H::performNavigation},
        {"enclosingFolder:", true, &H::validateEnclosingFolder, &H::performNavigation},
        {"backward:", true, &H::validateBackward, &H::performNavigation},
        {"asList:", true, &H::validateViewMode, &H::performAsList},
        {"asThumbnails:", true, &H::validateViewMode, &H::performAsThumbnails},
        {"selectAll:", true, &H::validateSelectAll, &H::performSelectAll},
        // The picture viewer's zoom (full screen is the mode's own).
        {"zoomIn:", true, nullptr, nullptr},
        {"zoomOut:", true, nullptr, nullptr},
        {"bestFit:", true, nullptr, nullptr},
        // Validated for menus only (the context menu's own actions).
        {"rotate:", false, &H::validateRotate, nullptr},
        {"showInFinder:", false, &H::validateShowInFinder, nullptr},
    };
    return table;
}

const BrowsingUAHandler::ActionRow* BrowsingUAHandler::rowFor(const std::string& action) const
{
    for (const ActionRow& row : actionTable())
        if (action == row.selector)
            return &row;
    return nullptr;
}

Ref<Pasteboard> BrowsingUAHandler::pasteboardFor(const QMimeData* data)
{
    if (!data)
        return {};
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard && clipboard->mimeData() == data)
        return Pasteboard::generalPasteboard();
    return Pasteboard::pasteboardWithMimeData(const_cast<QMimeData*>(data));
}

// --- the protocol ---------------------------------------------------------------------------------------

bool BrowsingUAHandler::respondsToUserActionSelector(const std::string& action) const
{
    const ActionRow* row = rowFor(action);
    return row && row->answered;
}

bool BrowsingUAHandler::validateUserAction(const std::string& action, Object* location, const Items* selection,
                                           const QMimeData* pasteboard, QObject* item)
{
    const ActionRow* row = rowFor(action);
    if (!row || !row->validate)
        return false;
    Ref<Pasteboard> board = pasteboardFor(pasteboard);
    return (this->*(row->validate))(UserAction {action, location, selection, board.get(), item, nullptr});
}

bool BrowsingUAHandler::processItems(const Items& items, Object* location, const std::string& action,
                                     const QMimeData* pasteboard, QObject* sender)
{
    const ActionRow* row = rowFor(action);
    if (!row || !row->perform)
        return false;
    Ref<Pasteboard> board = pasteboardFor(pasteboard);
    return (this->*(row->perform))(UserAction {action, location, &items, board.get(), nullptr, sender});
}

bool BrowsingUAHandler::validateUserInterfaceItem(QObject* item)
{
    auto* ui = dynamic_cast<UserInterfaceItem*>(item);
    if (!ui)
        return false;
    const Items* selection = nullptr;
    auto* menuItem = dynamic_cast<RepresentedItemsMenuItem*>(item);
    if (menuItem)
        selection = &menuItem->representedObject();
    QClipboard* clipboard = QGuiApplication::clipboard();
    // A context-menu entry validates with itself: "Send to Frame" takes the frame's name.
    return validateUserAction(ui->action(), nullptr, selection, clipboard ? clipboard->mimeData() : nullptr, menuItem);
}

// --- class operations ---------------------------------------------------------------------------------

std::vector<std::string> BrowsingUAHandler::pathesListFromItemsList(const Items& items, bool (*filter)(const Object*))
{
    std::vector<std::string> paths;
    for (const Ref<Object>& object : items) {
        FileSystemItemMO* item = asFileSystemItem(object.get());
        if (!item)
            continue;
        if (filter && !filter(object.get()))
            continue;
        const std::string path = item->fullPath();
        if (!path.empty())
            paths.push_back(path);
    }
    return paths;
}

bool BrowsingUAHandler::notIsFolder(const Object* object)
{
    FileSystemItemMO* item = asFileSystemItem(object);
    return item && !item->isFolder();
}

bool BrowsingUAHandler::isItemsCanRotate(const Items& items)
{
    for (const Ref<Object>& object : items) {
        FileSystemItemMO* item = asFileSystemItem(object.get());
        if (!item || !item->isDecodable() || !item->isWritable() || item->isRAWFile())
            return false;
        const std::string type = item->type().value_or("");
        if (type == "com.microsoft.ico" || type == "public.xbitmap-image" || type == "com.kodak.flashpix-image")
            return false;
    }
    return true;
}

// --- copy ---------------------------------------------------------------------------------------------

bool BrowsingUAHandler::canCopyItems(const Items* items, Pasteboard* pasteboard) const
{
    if (items)
        return !items->empty();
    if (!pasteboard)
        return false;
    std::optional<Value> names = pasteboard->propertyListForType(NSFilenamesPboardType);
    return names && names->isArray() && names->size() > 0;
}

void BrowsingUAHandler::copyItems(const Items* items, Pasteboard* pasteboard)
{
    Ref<Pasteboard> board(pasteboard ? pasteboard : Pasteboard::generalPasteboard().get());
    Value paths = Value::array();
    if (items) {
        for (const std::string& path : pathesListFromItemsList(*items))
            paths.append(path);
    } else if (std::optional<Value> names = board->propertyListForType(NSFilenamesPboardType)) {
        // Copy without items: the names already there are put back in every form.
        paths = *names;
    }
    if (paths.size() == 0)
        return;
    board->declareTypes({NSFilenamesPboardType});
    board->setPropertyList(paths, NSFilenamesPboardType);
}

bool BrowsingUAHandler::validateCopy(const UserAction& a) { return canCopyItems(a.selection, a.pasteboard); }

bool BrowsingUAHandler::performCopy(const UserAction& a)
{
    // From a menu or key the mode passes no items: the selection's are not known here.
    copyItems(a.selection && !a.selection->empty() ? a.selection : nullptr, a.pasteboard);
    return true;
}

// --- drop ---------------------------------------------------------------------------------------------

bool BrowsingUAHandler::canDropItems(const Items* items, Object* location, Pasteboard* pasteboard) const
{
    FileSystemItemMO* folder = asFileSystemItem(location);
    if (!folder || !folder->isWritable())
        return false;
    FileSystemVolumeMO* volume = volumeOf(folder);
    if (!volume || !volume->isDPFDevice())
        return true;
    // A picture frame takes files only.
    if (items) {
        for (const Ref<Object>& object : *items)
            if (FileSystemItemMO* item = asFileSystemItem(object.get()); item && item->isFolder())
                return false;
        return true;
    }
    if (pasteboard)
        if (std::optional<Value> names = pasteboard->propertyListForType(NSFilenamesPboardType))
            for (const Value& name : names->asArray())
                if (isFolderOnDisk(name.toString()))
                    return false;
    return true;
}

bool BrowsingUAHandler::validateDrop(const UserAction& a)
{
    if (!canDropItems(a.selection, a.location, a.pasteboard))
        return false;
    auto* special = dynamic_cast<SpecialDropLocationValidatedUserInterfaceItem*>(a.item);
    FileSystemItemMO* folder = asFileSystemItem(a.location);
    if (special && folder) {
        FileSystemVolumeMO* volume = volumeOf(folder);
        special->setDropLocationType(volume && volume->isDPFDevice() ? 1 : 0);
    }
    return true;
}

// --- the base's actions ---------------------------------------------------------------------------------

bool BrowsingUAHandler::validateShowInFinder(const UserAction& a) { return canShowInFinder(a.items()); }
bool BrowsingUAHandler::validateDelete(const UserAction& a) { return canDeleteItems(a.items(), false); }
bool BrowsingUAHandler::validateDeletePermanently(const UserAction& a) { return canDeleteItems(a.items(), true); }
bool BrowsingUAHandler::validateMoveToTrash(const UserAction& a) { return canMoveObjectsToTrash(a.items()); }
bool BrowsingUAHandler::validateCreateFolder(const UserAction& a)
{
    return a.location && isItemCanCreateSubitems(a.location);
}

bool BrowsingUAHandler::performDelete(const UserAction& a)
{
    if (a.items().empty())
        return false;
    deleteItems(a.items(), false);
    return true;
}

bool BrowsingUAHandler::performDeletePermanently(const UserAction& a)
{
    // Nothing comes back from a permanent delete: it is asked for once per action.
    if (a.items().empty() || !confirmPermanentDeletion(a.items()))
        return false;
    deleteItems(a.items(), true);
    return true;
}

bool BrowsingUAHandler::performMoveToTrash(const UserAction& a)
{
    if (!a.items().empty())
        moveToTrash(a.items());
    return false;
}

bool BrowsingUAHandler::performCreateFolder(const UserAction& a)
{
    if (a.location && isItemCanCreateSubitems(a.location))
        createSubfolder(Value::dictionary({{"keyParentItem", Value(Ref<Object>(a.location))}}));
    return false;
}

// --- navigation ---------------------------------------------------------------------------------------

BrowserPanelHistory* BrowsingUAHandler::navigationHistory() const
{
    auto* controller = dynamic_cast<BrowsingModeController*>(ownerController());
    return controller ? controller->navigationHistory() : nullptr;
}

void BrowsingUAHandler::backward(QObject*)
{
    if (BrowserPanelHistory* history = navigationHistory())
        history->navigatePrevious();
}

void BrowsingUAHandler::forward(QObject*)
{
    if (BrowserPanelHistory* history = navigationHistory())
        history->navigateNext();
}

void BrowsingUAHandler::enclosingFolder(QObject*)
{
    if (BrowserPanelHistory* history = navigationHistory())
        history->navigateParent();
}

bool BrowsingUAHandler::canNavigatePrevious() const
{
    BrowserPanelHistory* history = navigationHistory();
    return history && history->canNavigatePrevious();
}

bool BrowsingUAHandler::canNavigateNext() const
{
    BrowserPanelHistory* history = navigationHistory();
    return history && history->canNavigateNext();
}

bool BrowsingUAHandler::canNavigateParent() const
{
    BrowserPanelHistory* history = navigationHistory();
    return history && history->canNavigateParent();
}

void BrowsingUAHandler::actionBrowse(QObject* control)
{
    if (!control)
        return;
    switch (control->property("selectedSegment").toInt()) {
    case 0: backward(control); break;
    case 1: forward(control); break;
    case 2: enclosingFolder(control); break;
    default: break;
    }
}

bool BrowsingUAHandler::performNavigation(const UserAction& a)
{
    if (a.action == "backward:")
        backward(nullptr);
    else if (a.action == "forward:")
        forward(nullptr);
    else
        enclosingFolder(nullptr);
    return false;
}

// --- the items panel ---------------------------------------------------------------------------------

namespace {

ItemsPanel* itemsPanelOf(BasicModeController* controller)
{
    auto* browsing = dynamic_cast<BrowsingModeController*>(controller);
    return browsing ? browsing->itemsPanel() : nullptr;
}

bool setItemsPanelMode(BasicModeController* controller, const char* mode)
{
    ItemsPanel* panel = itemsPanelOf(controller);
    if (!panel)
        return false;
    panel->setMode(mode);
    return true;
}

} // namespace

bool BrowsingUAHandler::validateViewMode(const UserAction&) { return itemsPanelOf(ownerController()) != nullptr; }

bool BrowsingUAHandler::validateSelectAll(const UserAction&)
{
    ItemsPanel* panel = itemsPanelOf(ownerController());
    ItemsViewControl* control = panel ? panel->currentViewControl() : nullptr;
    return control && control->canSelectAll();
}

bool BrowsingUAHandler::performAsList(const UserAction&)
{
    return setItemsPanelMode(ownerController(), ItemsPanelDetailsMode);
}

bool BrowsingUAHandler::performAsThumbnails(const UserAction&)
{
    return setItemsPanelMode(ownerController(), ItemsPanelThumbnailsMode);
}

bool BrowsingUAHandler::performSelectAll(const UserAction& a)
{
    ItemsPanel* panel = itemsPanelOf(ownerController());
    ItemsViewControl* control = panel ? panel->currentViewControl() : nullptr;
    if (!control || !control->canSelectAll())
        return false;
    control->selectAll(a.sender);
    return true;
}

// --- opening ------------------------------------------------------------------------------------------

void BrowsingUAHandler::browsingControlPerformDoubleClick(QObject*, const Items& selection, QObject*)
{
    const std::vector<std::string> paths = pathesListFromItemsList(selection, &BrowsingUAHandler::notIsFolder);
    if (paths.empty() || !NSApplicationWithLimitedOpenFiles::shouldOpenFiles(paths))
        return;
    DocumentController* documents = DocumentController::sharedDocumentController();
    for (const std::string& path : paths) {
        // Files the program does not show itself go to the desktop's application.
        if (!documents || documents->typeForContentsOfFile(path).empty()) {
            Workspace::openFile(path);
            continue;
        }
        ErrorRecord error;
        if (documents->openDocumentWithContentsOfFile(path, true, &error))
            continue;
        if (error.code != 0)
            DocumentController::presentError(error);
        else
            Workspace::openFile(path);
    }
}

// --- the context menu -------------------------------------------------------------------------------

QMenu* BrowsingUAHandler::menuForItems(const Items& items, QObject* sender)
{
    if (items.empty())
        return nullptr;
    auto* menu = new QMenu;
    auto add = [&](const char* title, const char* selector, const char* action, int tag, const char* image) {
        auto* item = new RepresentedItemsMenuItem(QString::fromStdString(ZOV_TRANSLATE(title, selector)), action, tag,
                                                  items, menu);
        if (image) {
            QImage picture = NSImageNamedImageExtended::imageNamed(image, "images");
            if (!picture.isNull())
                item->setIcon(QIcon(QPixmap::fromImage(picture)));
        }
        item->setEnabled(validateUserInterfaceItem(item));
        Ref<BrowsingUAHandler> self(this);
        QObject::connect(item, &QAction::triggered, menu, [self, item] { self->performMenuItem(item); });
        menu->addAction(item);
        return item;
    };
    add("Send to Frame", "menuForItems:sender:", "sendToFrame:", 1, "frame-tree.icns");
    menu->addSeparator();
    add("Show in Finder", "menuForItems:sender:", "showInFinder:", 0, nullptr);
    add("Rename…", "menuForItems:sender:", "rename:", 0, nullptr);
    menu->addSeparator();
    const bool anyFolder = std::any_of(items.begin(), items.end(), [](const Ref<Object>& object) {
        FileSystemItemMO* item = asFileSystemItem(object.get());
        return item && item->isFolder();
    });
    if (!anyFolder) {
        add("Rotate Right", "menuForItems:sender:", "rotate:", 1, "RotateRight.icns");
        add("Rotate Left", "menuForItems:sender:", "rotate:", 0, "RotateLeft.icns");
        menu->addSeparator();
    }
    const int senderTag = sender ? sender->property("tag").toInt() : 0;
    add("Move to Trash", "menuForItems:sender:", "moveToTrash:", senderTag, nullptr);
    return menu;
}

void BrowsingUAHandler::performMenuItem(RepresentedItemsMenuItem* item)
{
    // Validated once more: a row may have changed since the menu was made.
    if (!item || !validateUserInterfaceItem(item))
        return;
    const std::string action = item->action();
    if (action == "showInFinder:")
        showInFinder(item);
    else if (action == "rename:")
        renameItems(item->representedObject());
    else if (action == "moveToTrash:")
        moveToTrash(item->representedObject());
    else if (action == "rotate:")
        rotateFiles(item->representedObject(), item->tag() != 0); // tag 0 left, any other right
    else if (action == "sendToFrame:")
        sendItems(item->representedObject(), true);
}

void BrowsingUAHandler::showInFinder(QObject* sender)
{
    auto* item = dynamic_cast<RepresentedItemsMenuItem*>(sender);
    if (!item)
        return;
    for (const std::string& path : pathesListFromItemsList(item->representedObject()))
        Workspace::selectFile(path);
}

} // namespace vistel
