#include "Application/BrowseMode/TrackableOutlineView.h"

#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/BrowseMode/PlaceBrowserPanelItem.h"
#include "Application/BrowseMode/SidebarProgress.h"
#include "Common/Alert/FilteredInputFormatter.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Gui/CharacterSet.h"
#include "Preferences/ZovPlacesReader.h"

namespace vistel {

namespace {

// The inline editor's filter: no ":", "/" or NUL, at most 255 UTF-16 units and 255 bytes of
// UTF-8 (what a file name may hold).
class FolderNameFormatter : public FilteredInputFormatter {
public:
    explicit FolderNameFormatter(QObject* parent)
        : FilteredInputFormatter(CharacterSet::characterSetWithCharactersInString(std::string(":/\0", 3)).invertedSet(),
                                 255, 0, parent)
    {
    }
    State validate(QString& input, int& position) const override
    {
        if (input.toUtf8().size() > 255)
            return Invalid;
        return FilteredInputFormatter::validate(input, position);
    }
};

} // namespace

TrackableOutlineView::TrackableOutlineView(BrowserPanel* panel)
    : browserPanel_(panel)
{
    progressIndicator_ = ZOVProgressIndicator::create(this);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

TrackableOutlineView::~TrackableOutlineView()
{
    progressIndicator_->clear();
}

bool TrackableOutlineView::isItemInProgress(const Object* item) const
{
    return progressIndicator_->isItemInProgress(item);
}

void TrackableOutlineView::insertItemInProgress(Object* item)
{
    if (item)
        progressIndicator_->insertItemInProgress(Ref<Object>(item));
}

bool TrackableOutlineView::checkProgressForItem(Object* item)
{
    if (auto* place = dynamic_cast<PlaceBrowserPanelItem*>(item))
        return place->isValid() && catalogueItemIsInProgress(place->managedObject());
    return catalogueItemIsInProgress(dynamic_cast<FileSystemItemMO*>(item));
}

bool TrackableOutlineView::itemNeedsRefresh(Object* item)
{
    return catalogueItemNeedsRefresh(BrowserPanel::managedObjectOf(item));
}

std::optional<QRectF> TrackableOutlineView::progressRectForItem(Object* item)
{
    return ZOVProgressIndicator::progressMarkRectOfItem(*this, item);
}

void TrackableOutlineView::setNeedsDisplayInProgressRect(const QRectF& rect)
{
    setNeedsDisplayInRect(rect.toAlignedRect());
}

void TrackableOutlineView::updateItemCell(Object* item)
{
    if (rowForItem(item) >= 0)
        OutlineView::reloadItem(item, false);
}

void TrackableOutlineView::clear()
{
    progressIndicator_->clear();
}

bool TrackableOutlineView::isFileSystemItem(const Object* item) { return BrowserPanel::isFolderItem(item); }

std::vector<Ref<Object>> TrackableOutlineView::selectedItemsArray() const
{
    std::vector<Ref<Object>> items;
    for (int row : selectedRowIndexes())
        if (Object* item = itemAtRow(row); isFileSystemItem(item))
            items.emplace_back(item);
    return items;
}

void TrackableOutlineView::setSelectedItemsArray(const std::vector<Ref<Object>>& items)
{
    const std::vector<int> rows = rowsOfItems(items);
    const std::vector<int> before = selectedRowIndexes();
    selectRowIndexes(rows, false);
    if (selectedRowIndexes() != before)
        return; // the view told its delegate already
    // Nothing moved: the delegate hears it all the same, as after a user's selection.
    tellSelectionChanged();
}

void TrackableOutlineView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // Rows that go and come back during a reload are not a change of selection.
    if (reloading_)
        QTreeView::selectionChanged(selected, deselected);
    else
        OutlineView::selectionChanged(selected, deselected);
}

void TrackableOutlineView::reloadItem(Object* item, bool reloadChildren)
{
    const std::vector<Ref<Object>> selected = selectedItemsArray();
    const Ref<Object> current(itemAtRow(rowOfIndex(currentIndex())));
    const int vertical = verticalScrollBar()->value();
    const int horizontal = horizontalScrollBar()->value();
    struct Reloading {
        TrackableOutlineView& view;
        bool was;
        bool autoScrolled;
        ~Reloading()
        {
            view.reloading_ = was;
            view.setAutoScroll(autoScrolled);
        }
    } reloading {*this, std::exchange(reloading_, true), hasAutoScroll()};
    // Rows that go and come back never move the view: the current row set again, or moved by
    // the platform view when its row went, does not scroll to itself.
    setAutoScroll(false);
    // A name being typed in a row that the reload takes away and brings back is typed on.
    Ref<Object> edited;
    QString typed;
    if (isEditing()) {
        edited = current;
        for (QLineEdit* editor : viewport()->findChildren<QLineEdit*>())
            typed = editor->text();
    }
    // Children asked for again come back closed: what was open opens again, parents first.
    std::vector<Ref<Object>> expanded;
    if (!item || reloadChildren)
        for (int row = 0; row < numberOfRows(); ++row)
            if (Object* shown = itemAtRow(row); shown && shown != item && isItemExpanded(shown))
                expanded.emplace_back(shown);
    if (!item)
        reloadData();
    else
        OutlineView::reloadItem(item, reloadChildren);
    for (const Ref<Object>& open : expanded)
        if (rowForItem(open.get()) >= 0 && !isItemExpanded(open.get()))
            expandItem(open.get());
    if (selectedItemsArray() != selected)
        restoreSelectedRows(rowsOfItems(selected));
    if (current && rowForItem(current.get()) >= 0 && itemAtRow(rowOfIndex(currentIndex())) != current.get())
        selectionModel()->setCurrentIndex(indexOfRow(rowForItem(current.get())), QItemSelectionModel::NoUpdate);
    if (edited && !isEditing() && rowForItem(edited.get()) >= 0) {
        editColumn(0, rowForItem(edited.get()));
        for (QLineEdit* editor : viewport()->findChildren<QLineEdit*>())
            editor->setText(typed);
    }
    // The rows are laid out now, so the scroll bars have their new ranges before they go back.
    executeDelayedItemsLayout();
    verticalScrollBar()->setValue(vertical);
    horizontalScrollBar()->setValue(horizontal);
    reloading_ = reloading.was;
    // Only an item that is gone leaves the selection changed: then the delegate hears of it.
    if (selectedItemsArray() != selected)
        tellSelectionChanged();
}

void TrackableOutlineView::restoreSelectedRows(const std::vector<int>& rows)
{
    // Exactly these rows, without moving the current row (which would scroll to it).
    QItemSelection selection;
    for (int row : rows)
        if (const QModelIndex index = indexOfRow(row); index.isValid())
            selection.select(index, index);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::vector<int> TrackableOutlineView::rowsOfItems(const std::vector<Ref<Object>>& items) const
{
    std::vector<int> rows;
    for (const Ref<Object>& item : items) {
        if (!isFileSystemItem(item.get()))
            continue;
        const int row = rowForItem(item.get());
        if (row >= 0)
            rows.push_back(row);
    }
    return rows;
}

void TrackableOutlineView::tellSelectionChanged()
{
    Notification notification {NSOutlineViewSelectionDidChangeNotification, Ref<Object>(View::viewObject(this)), Value()};
    NotificationCenter::defaultCenter().postNotification(notification);
    if (delegate())
        delegate()->selectionDidChange(notification);
}

int TrackableOutlineView::rowForItem(const Object* item) const
{
    numberOfRows();
    return OutlineView::rowForItem(item);
}

void TrackableOutlineView::selectRow(int row, bool byExtendingSelection)
{
    if (row == -1 || row == BrowserPanel::NSNotFound) {
        if (!byExtendingSelection)
            deselectAll();
        return;
    }
    for (int candidate = std::min(row, numberOfRows() - 1); candidate >= 0; --candidate)
        if (isFileSystemItem(itemAtRow(candidate))) {
            selectRowIndexes({candidate}, byExtendingSelection);
            return;
        }
    if (!byExtendingSelection)
        deselectAll();
}

bool TrackableOutlineView::viewportEvent(QEvent* event)
{
    const bool handled = OutlineView::viewportEvent(event);
    // The column follows the visible width (a scroller coming or going changes it too).
    if (event->type() == QEvent::Resize && browserPanel_)
        browserPanel_->scrollViewFrameResized();
    return handled;
}

void TrackableOutlineView::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    lastPressOnDisclosure_ = index.isValid() && point.x() < visualRect(index).x();
    OutlineView::mousePressEvent(event);
}

QMenu* TrackableOutlineView::menuForRow(int row)
{
    Object* item = row >= 0 ? itemAtRow(row) : nullptr;
    if (row < 0) {
        deselectAll();
        return nullptr;
    }
    if (!isFileSystemItem(item) || !browserPanel_)
        return nullptr;
    selectRowIndexes({row}, false);
    QMenu* menu = browserPanel_->itemPopupMenu(item);
    if (menu) {
        menu->setParent(this, menu->windowFlags());
        menu->setAttribute(Qt::WA_DeleteOnClose);
    }
    return menu;
}

bool TrackableOutlineView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool editing = OutlineView::edit(index, trigger, event);
    if (editing)
        for (QLineEdit* editor : viewport()->findChildren<QLineEdit*>())
            if (!editor->validator())
                editor->setValidator(new FolderNameFormatter(editor));
    return editing;
}

Qt::DropActions TrackableOutlineView::dragActionsFor(const QMimeData& data)
{
    if (BrowserPanel::isDraggedItemPlace(data))
        return Qt::CopyAction | Qt::LinkAction;
    return Qt::CopyAction | Qt::LinkAction | Qt::MoveAction;
}

void TrackableOutlineView::startDrag(Qt::DropActions)
{
    const QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty() || !model())
        return;
    QMimeData* data = model()->mimeData(indexes);
    if (!data)
        return;
    // The drag owns the data; keep what the end of the drag needs to read.
    auto kept = std::make_unique<QMimeData>();
    for (const QString& format : data->formats())
        kept->setData(format, data->data(format));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(dragActionsFor(*data), Qt::CopyAction);
    draggingEnded(*kept, QCursor::pos());
}

bool TrackableOutlineView::isPointInView(QPoint globalPoint) const
{
    return rect().contains(mapFromGlobal(globalPoint));
}

// The data source decides from the dragged data; what the drag's source allows is kept for it
// while the drag is over the view.
void TrackableOutlineView::dragEnterEvent(QDragEnterEvent* event)
{
    draggingSourceActions_ = event->possibleActions();
    OutlineView::dragEnterEvent(event);
}

void TrackableOutlineView::dragMoveEvent(QDragMoveEvent* event)
{
    draggingSourceActions_ = event->possibleActions();
    OutlineView::dragMoveEvent(event);
}

void TrackableOutlineView::dragLeaveEvent(QDragLeaveEvent* event)
{
    draggingSourceActions_ = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    OutlineView::dragLeaveEvent(event);
}

void TrackableOutlineView::dropEvent(QDropEvent* event)
{
    draggingSourceActions_ = event->possibleActions();
    OutlineView::dropEvent(event);
    draggingSourceActions_ = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

bool TrackableOutlineView::draggingEnded(const QMimeData& data, QPoint globalPoint)
{
    if (isPointInView(globalPoint) || !BrowserPanel::isDraggedItemPlace(data) || !browserPanel_)
        return false;
    const std::vector<std::string> paths = BrowserPanel::draggedPaths(data);
    ZovPlacesReader* places = browserPanel_->placesReader();
    if (paths.empty() || !places)
        return false;
    ZovPlaceInfo* place = places->placeByPath(paths.front());
    if (!place || !places->removePlace(place))
        return false;
    BrowserPanel::showPoofAtPoint(globalPoint);
    return true;
}

} // namespace vistel
