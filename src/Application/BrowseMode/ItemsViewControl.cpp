#include "Application/BrowseMode/ItemsViewControl.h"

#include <QClipboard>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>

#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"

namespace vistel {

namespace {

std::function<QPoint()>& mouseLocation()
{
    static std::function<QPoint()> location = [] { return QCursor::pos(); };
    return location;
}

BasicUIHandler::Items asItems(const ItemList& list)
{
    return BasicUIHandler::Items(list.begin(), list.end());
}

std::vector<std::string> draggedPaths(const QMimeData& data)
{
    std::vector<std::string> paths;
    Ref<Pasteboard> board = Pasteboard::pasteboardWithMimeData(const_cast<QMimeData*>(&data));
    if (std::optional<Value> names = board->propertyListForType(NSFilenamesPboardType); names && names->isArray())
        for (const Value& name : names->asArray())
            paths.push_back(name.toString());
    return paths;
}

bool offersType(const QMimeData& data, const char* type)
{
    return Pasteboard::pasteboardWithMimeData(const_cast<QMimeData*>(&data))->availableType(type);
}

Qt::DropAction qtAction(std::uint32_t operation)
{
    switch (operation) {
    case NSDragOperationNone:
        return Qt::IgnoreAction;
    case NSDragOperationCopy:
        return Qt::CopyAction;
    default:
        return Qt::MoveAction;
    }
}

} // namespace

ItemsViewControl::ItemsViewControl(QWidget* parent) : QWidget(parent)
{
    setAcceptDrops(true);
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification&) { reloadData(); }, ItemsViewPreferencesItemsMaskChanged);
}

ItemsViewControl::~ItemsViewControl()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (springTimer_)
        springTimer_->invalidate();
    if (browsingSelection_) {
        browsingSelection_->removeObserverForAllItems(this);
        browsingSelection_->removeNotificationObserver(this);
    }
}

// --- the selection ------------------------------------------------------------------------------------

void ItemsViewControl::setBrowsingSelection(BrowsingSelection* selection)
{
    if (selection == browsingSelection_.get())
        return;
    if (browsingSelection_) {
        browsingSelection_->removeObserverForAllItems(this);
        browsingSelection_->removeNotificationObserver(this);
    }
    // One reference: the old selection's is given up here.
    browsingSelection_ = Ref<BrowsingSelection>(selection);
    if (browsingSelection_) {
        browsingSelection_->addNotificationObserver(this);
        browsingSelection_->addFolderUpdateObserver(this);
    }
    reloadData();
    update();
}

ItemList ItemsViewControl::selectedItems() const
{
    return browsingSelection_ ? browsingSelection_->selectedItems() : ItemList {};
}

bool ItemsViewControl::isFolderSelected(const FileSystemItemMO* item) const
{
    if (!browsingSelection_ || !item)
        return false;
    for (const Ref<FileSystemItemMO>& folder : browsingSelection_->selectedFolders())
        if (folder.get() == item)
            return true;
    return false;
}

bool ItemsViewControl::isSelectedFoldersContainsObject(const FileSystemItemMO* item) const
{
    if (!browsingSelection_ || !item)
        return false;
    const int mask = int(ItemsViewPreferences::getItemsMask());
    for (const Ref<FileSystemItemMO>& folder : browsingSelection_->selectedFolders())
        if (folder->containsChild(item, mask))
            return true;
    return false;
}

bool ItemsViewControl::canSelectAll() const
{
    const unsigned count = foldersObjectsCount();
    return count > 0 && selectedItemsIndexes().count() < count;
}

void ItemsViewControl::selectAll(QObject*)
{
    if (canSelectAll())
        setSelectedItemsIndexes(IndexSet::withRange(0, foldersObjectsCount()));
}

bool ItemsViewControl::canSelectNone() const
{
    return foldersObjectsCount() > 0 && !selectedItemsIndexes().empty();
}

void ItemsViewControl::selectNone(QObject*)
{
    if (browsingSelection_)
        browsingSelection_->removeSelection();
}

// --- data source ----------------------------------------------------------------------------------------

unsigned ItemsViewControl::foldersObjectsCount() const
{
    return browsingSelection_ ? browsingSelection_->foldersObjectsCount() : 0;
}

Ref<FileSystemItemMO> ItemsViewControl::foldersObjectAtIndex(unsigned index) const
{
    return browsingSelection_ ? browsingSelection_->foldersObjectAtIndex(index) : Ref<FileSystemItemMO> {};
}

unsigned ItemsViewControl::selectedFoldersCount() const
{
    return browsingSelection_ ? browsingSelection_->selectedFoldersCount() : 0;
}

Ref<FileSystemItemMO> ItemsViewControl::selectedFolderAtIndex(unsigned index) const
{
    if (index >= selectedFoldersCount()) {
        ZovLog(vistel::format("ItemsViewControl::selectedFolderAtIndex invalid index %d", int(index)));
        return {};
    }
    return browsingSelection_->selectedFolderAtIndex(index);
}

Ref<FileSystemItemMO> ItemsViewControl::selectedFolderLocation() const
{
    return selectedFoldersCount() == 1 ? browsingSelection_->selectedFolderAtIndex(0) : Ref<FileSystemItemMO> {};
}

IndexSet ItemsViewControl::selectedItemsIndexes() const
{
    return browsingSelection_ ? browsingSelection_->selectedObjectsIndexes() : IndexSet {};
}

void ItemsViewControl::setSelectedItemsIndexes(const IndexSet& indexes)
{
    if (browsingSelection_)
        browsingSelection_->setSelectedObjectsIndexes(indexes);
}

std::optional<IndexSet> ItemsViewControl::highlightedItemsIndexes() const
{
    if (dropFolderIndex_ == ItemsViewNoDropFolder)
        return std::nullopt;
    return IndexSet(dropFolderIndex_);
}

// --- view state -----------------------------------------------------------------------------------------

void ItemsViewControl::setIsViewActive(bool active)
{
    if (active == isViewActive_)
        return;
    isViewActive_ = active;
    reloadData();
}

void ItemsViewControl::reloadData()
{
    resetDropFolderIndex();
    if (ItemsViewProtocol* view = itemsView())
        view->reloadData();
}

void ItemsViewControl::updateItemWithIndexes(const IndexSet& indexes)
{
    indexes.enumerate([this](std::uint64_t index) {
        updateItemWithIndex(unsigned(index));
        return true;
    });
}

void ItemsViewControl::resetDropFolderIndex()
{
    dropFolderIndex_ = ItemsViewNoDropFolder;
    if (springTimer_) {
        springTimer_->invalidate();
        springTimer_ = nullptr;
    }
}

// --- selection notifications ---------------------------------------------------------------------------

void ItemsViewControl::handleBrowsingSelectionNotifications(const Notification& notification)
{
    if (!isViewActive_ || !browsingSelection_)
        return;
    const Value& info = notification.userInfo;
    const std::int64_t bitmap = info.contains(kObjectsChangesBitmap) ? info[kObjectsChangesBitmap].toInt64() : 7;
    if (bitmap == 1) {
        const std::uint64_t oldDrop = dropFolderIndex_;
        resetDropFolderIndex();
        IndexSet redraw = selectedItemsIndexes();
        if (info.contains(BrowsingSelectionObjectsSelectionChanged)) {
            const Value& change = info[BrowsingSelectionObjectsSelectionChanged];
            if (change.contains(kOldSelectedObjectsIndexes))
                if (auto old = change[kOldSelectedObjectsIndexes].toObject<IndexSetObject>())
                    redraw.addIndexes(old->indexSet());
        }
        if (oldDrop != ItemsViewNoDropFolder)
            redraw.addIndex(oldDrop);
        updateItemWithIndexes(redraw);
        return;
    }
    if (bitmap & 4) {
        browsingSelection_->removeObserverForAllItems(this);
        browsingSelection_->addFolderUpdateObserver(this);
        reloadData();
        return;
    }
    if (bitmap & 2) {
        reloadData();
        return;
    }
    if (!info.contains(FSItemChangeNotification))
        return;
    const Value& changed = info[FSItemChangeNotification];
    const IndexSet visible = visibleItemsIndexSet();
    const ItemList objects = browsingSelection_->foldersObjectsAtIndexes(visible);
    if (visible.count() < objects.size())
        return;
    IndexSet redraw;
    std::size_t position = 0;
    visible.enumerate([&](std::uint64_t index) {
        if (position >= objects.size())
            return false;
        const Ref<FileSystemItemMO>& object = objects[position++];
        if (object && changed.contains(object->permanentObjectID().uriRepresentation()))
            redraw.addIndex(index);
        return true;
    });
    updateItemWithIndexes(redraw);
}

// --- user actions ---------------------------------------------------------------------------------------

void ItemsViewControl::itemsViewPerformClick(QWidget* view)
{
    if (view != itemsViewWidget() || !userActionsDelegate_ || !itemsView())
        return;
    const int clicked = itemsView()->clickedItem();
    if (clicked < 0)
        return;
    Ref<FileSystemItemMO> object = foldersObjectAtIndex(unsigned(clicked));
    if (!object)
        return;
    userActionsDelegate_->browsingControlPerformClick(this, asItems(selectedItems()), this);
}

void ItemsViewControl::itemsViewPerformDoubleClick(QWidget* view)
{
    if ((view != itemsViewWidget() && view != this) || !userActionsDelegate_)
        return;
    const ItemList selected = selectedItems();
    if (selected.size() == 1 && selected.front() && selected.front()->isFolder()) {
        // The folder opens in place.
        browsingSelection_->setSelectedFolders(selected);
        return;
    }
    userActionsDelegate_->browsingControlPerformDoubleClick(nullptr, asItems(selected), this);
}

QMenu* ItemsViewControl::itemsViewPerformControlClick(QWidget* view)
{
    if (view != itemsViewWidget() || !userActionsDelegate_ || !itemsView())
        return nullptr;
    const int clicked = itemsView()->controlClickedItem();
    if (clicked < 0 || !selectedItemsIndexes().containsIndex(std::uint64_t(clicked))) {
        if (clicked >= 0 && unsigned(clicked) < foldersObjectsCount())
            setSelectedItemsIndexes(IndexSet(std::uint64_t(clicked)));
        else
            setSelectedItemsIndexes(IndexSet());
    }
    if (clicked < 0)
        return nullptr;
    Ref<FileSystemItemMO> object = foldersObjectAtIndex(unsigned(clicked));
    if (!object)
        return nullptr;
    return userActionsDelegate_->browsingControlPerformControlClick(this, asItems(selectedItems()), this);
}

bool ItemsViewControl::processSelectedItems(const std::string& selector, QObject* sender)
{
    return processItems(selectedItemsIndexes(), selector, sender);
}

bool ItemsViewControl::processItems(const IndexSet& indexes, const std::string& selector, QObject* sender)
{
    if (!userActionsDelegate_)
        return false;
    Ref<FileSystemItemMO> location = selectedFolderLocation();
    ItemList items = browsingSelection_ ? browsingSelection_->foldersObjectsAtIndexes(indexes) : ItemList {};
    std::string action = selector;
    BasicUIHandler::Items passed = asItems(items);
    const QMimeData* pasteboard = QGuiApplication::clipboard()->mimeData();
    if (selector == "copyToDrag:") {
        // The drag's data (the shared drag pasteboard unless given), never the clipboard.
        action = "copy:";
        pasteboard = dragData_ ? dragData_ : Pasteboard::dragPasteboard()->mimeData();
    } else if (selector == "paste:" || selector == "move:") {
        // Paste and Move Here take the clipboard's names, never the selection.
        passed.clear();
    }
    const bool done = userActionsDelegate_->processItems(passed, location.get(), action, pasteboard, sender);
    if (done && (selector == "cut:" || selector == "delete:"))
        selectNone(sender);
    return done;
}

bool ItemsViewControl::copyItemsToDrag(const IndexSet& indexes, QMimeData& data)
{
    dragData_ = &data;
    const bool done = processItems(indexes, "copyToDrag:", this);
    dragData_ = nullptr;
    return done;
}

std::vector<std::string> ItemsViewControl::pasteboardDragTypesForItemsView(QWidget*)
{
    return {NSFilenamesPboardType, NSURLPboardType};
}

bool ItemsViewControl::validateUserInterfaceItem(QObject* item)
{
    auto* ui = dynamic_cast<UserInterfaceItem*>(item);
    if (!ui)
        return false;
    const std::string action = ui->action();
    if (action == "selectAll:")
        return canSelectAll();
    if (action == "selectNone:")
        return canSelectNone();
    if (!userActionsDelegate_)
        return false;
    Ref<FileSystemItemMO> location = selectedFolderLocation();
    const BasicUIHandler::Items selected = asItems(selectedItems());
    const bool fromClipboard = action == "paste:" || action == "move:";
    return userActionsDelegate_->validateUserAction(action, location.get(), fromClipboard ? nullptr : &selected,
                                                    QGuiApplication::clipboard()->mimeData(), item);
}

bool ItemsViewControl::respondsToAction(const std::string& action) const
{
    if (action == "selectAll:" || action == "selectNone:")
        return true;
    return userActionsDelegate_ && userActionsDelegate_->respondsToUserActionSelector(action);
}

bool ItemsViewControl::performAction(const std::string& action, QObject* sender)
{
    if (action == "selectAll:") {
        selectAll(sender);
        return true;
    }
    if (action == "selectNone:") {
        selectNone(sender);
        return true;
    }
    if (!userActionsDelegate_ || !userActionsDelegate_->respondsToUserActionSelector(action))
        return false;
    processItems(selectedItemsIndexes(), action, sender ? sender : this);
    return true;
}

bool ItemsViewControl::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    // Items that are QObjects validate with themselves (a drop proxy learns its location type).
    if (auto* object = dynamic_cast<QObject*>(const_cast<UserInterfaceItem*>(&item)))
        return validateUserInterfaceItem(object);
    ValidatedUserInterfaceItemProxy proxy(item.action(), item.tag());
    return validateUserInterfaceItem(static_cast<QObject*>(&proxy));
}

// --- drops ------------------------------------------------------------------------------------------------

void ItemsViewControl::setMouseLocationFunction(std::function<QPoint()> function)
{
    mouseLocation() = function ? std::move(function) : [] { return QCursor::pos(); };
}

Ref<FileSystemItemMO> ItemsViewControl::dropFolderForDrop(QPoint) const { return selectedFolderLocation(); }

Qt::DropAction ItemsViewControl::dragOperation(const QMimeData& data, QPoint point) const
{
    if (!userActionsDelegate_ || !offersType(data, NSFilenamesPboardType))
        return Qt::IgnoreAction;
    Ref<FileSystemItemMO> folder = dropFolderForDrop(point);
    if (!folder)
        return Qt::IgnoreAction;
    ValidatedUserInterfaceItemProxy proxy("paste:", 0);
    if (!userActionsDelegate_->validateUserAction("paste:", folder.get(), nullptr, &data, &proxy))
        return Qt::IgnoreAction;
    return qtAction(userActionsDelegate_->dragOperationForPath(folder->fullPath(), draggedPaths(data)));
}

Qt::DropAction ItemsViewControl::draggingEntered(const QMimeData& data, QPoint point)
{
    return dragOperation(data, point);
}

Qt::DropAction ItemsViewControl::draggingUpdated(const QMimeData& data, QPoint point)
{
    const Qt::DropAction operation = dragOperation(data, point);
    if (operation == Qt::IgnoreAction) {
        setDropFolderIndex(ItemsViewNoDropFolder);
        return operation;
    }
    Ref<FileSystemItemMO> folder = dropFolderForDrop(point);
    const std::uint64_t index = indexOfVisibleItem(folder.get());
    const IndexSet selected = selectedItemsIndexes();
    if (index != ItemsViewNoDropFolder && selected.count() == 1 && selected.firstIndex() == index) {
        setDropFolderIndex(ItemsViewNoDropFolder);
    } else if (index != ItemsViewNoDropFolder) {
        // Every update starts a new spring-loading check.
        setDropFolderIndex(ItemsViewNoDropFolder);
        setDropFolderIndex(index);
    } else {
        setDropFolderIndex(ItemsViewNoDropFolder);
    }
    return operation;
}

void ItemsViewControl::draggingExited() { setDropFolderIndex(ItemsViewNoDropFolder); }

bool ItemsViewControl::performDragOperation(const QMimeData& data, QPoint point, Qt::DropAction operation,
                                            QObject* sender)
{
    setDropFolderIndex(ItemsViewNoDropFolder);
    if (!userActionsDelegate_ || operation == Qt::IgnoreAction)
        return false;
    if (!offersType(data, NSFilenamesPboardType) && !offersType(data, NSURLPboardType))
        return false;
    Ref<FileSystemItemMO> folder = dropFolderForDrop(point);
    if (!folder)
        return false;
    return userActionsDelegate_->processItems({}, folder.get(), operation == Qt::CopyAction ? "paste:" : "move:", &data,
                                              sender);
}

std::uint64_t ItemsViewControl::indexOfVisibleItem(const FileSystemItemMO* folder) const
{
    if (!folder)
        return ItemsViewNoDropFolder;
    std::uint64_t found = ItemsViewNoDropFolder;
    const unsigned count = foldersObjectsCount();
    visibleItemsIndexSet().enumerate([&](std::uint64_t index) {
        if (index >= count)
            return false;
        if (foldersObjectAtIndex(unsigned(index)).get() == folder) {
            found = index;
            return false;
        }
        return true;
    });
    return found;
}

void ItemsViewControl::setDropFolderIndex(std::uint64_t index)
{
    if (index == dropFolderIndex_)
        return;
    if (index != ItemsViewNoDropFolder && index >= foldersObjectsCount())
        return;
    IndexSet redraw;
    if (dropFolderIndex_ != ItemsViewNoDropFolder)
        redraw.addIndex(dropFolderIndex_);
    resetDropFolderIndex();
    dropFolderIndex_ = index;
    if (index != ItemsViewNoDropFolder) {
        redraw.addIndex(index);
        Ref<FileSystemItemMO> folder = foldersObjectAtIndex(unsigned(index));
        const QPoint position = mouseLocation()();
        springTimer_ = RunLoop::main()->scheduleTimer(
            SpringLoadingDelay, false, [this, folder, position](RunLoop::Timer&) { enterToDropFolder(folder, position); },
            {NSDefaultRunLoopMode, NSEventTrackingRunLoopMode});
    }
    updateItemWithIndexes(redraw);
}

void ItemsViewControl::enterToDropFolder(const Ref<FileSystemItemMO>& folder, QPoint mousePosition)
{
    const std::uint64_t index = dropFolderIndex_;
    if (index == ItemsViewNoDropFolder || index >= foldersObjectsCount() || !folder)
        return;
    if (foldersObjectAtIndex(unsigned(index)).get() != folder.get() || mouseLocation()() != mousePosition)
        return;
    if (!folder->isFolder())
        return;
    springTimer_ = nullptr;
    dropFolderIndex_ = ItemsViewNoDropFolder;
    updateItemWithIndex(unsigned(index));
    browsingSelection_->setSelectedFolders({folder});
}

namespace {

// A drag event takes the operation, or is refused for none.
void answerDrag(QDragMoveEvent* event, Qt::DropAction operation)
{
    if (operation == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(operation);
    event->accept();
}

} // namespace

void ItemsViewControl::dragEnterEvent(QDragEnterEvent* event)
{
    // Qt sends the moves of a drag only to a widget that took its entry: a drag of file names is
    // taken wherever it enters (over the dragged pictures themselves, say) and answered point by
    // point as it moves; the drop asks again.
    if (!userActionsDelegate_ || !offersType(*event->mimeData(), NSFilenamesPboardType)) {
        event->ignore();
        return;
    }
    const Qt::DropAction operation = dropActionAllowedBySource(
        draggingEntered(*event->mimeData(), event->position().toPoint()), event->possibleActions());
    if (operation != Qt::IgnoreAction)
        event->setDropAction(operation);
    event->accept();
}

void ItemsViewControl::dragMoveEvent(QDragMoveEvent* event)
{
    answerDrag(event, dropActionAllowedBySource(draggingUpdated(*event->mimeData(), event->position().toPoint()),
                                                event->possibleActions()));
}

void ItemsViewControl::dragLeaveEvent(QDragLeaveEvent*) { draggingExited(); }

void ItemsViewControl::dropEvent(QDropEvent* event)
{
    const QPoint point = event->position().toPoint();
    // A source that allows no move (a copy from another program) never has its files moved.
    const Qt::DropAction operation =
        dropActionAllowedBySource(dragOperation(*event->mimeData(), point), event->possibleActions());
    if (performDragOperation(*event->mimeData(), point, operation, nullptr)) {
        event->setDropAction(operation);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace vistel
