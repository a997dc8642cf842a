#pragma once
// TrackableOutlineView: the sidebar's outline view (BrowserPanel is its data source and
// delegate). Beyond the platform outline it
// - keeps the selection by item across reloads (reloadItem),
// - selects only rows that hold folder items (selectRow walks up to the nearest one),
// - shows the sidebar's context menu for the row under a right click, selecting that row
//   alone first; a right click below the last row deselects everything,
// - edits names inline with a filter that refuses ":", "/" and NUL and more than 255 bytes of
//   UTF-8,
// - owns the progress marks of its rows (progressIndicator), and
// - drags places out of the sidebar: such a drag offers other applications Copy and Link only
//   (never Move: a file manager's Trash would take the real folder), and when it ends outside
//   the sidebar the first dragged place leaves the places list with a poof. Nothing is ever
//   trashed because of a drag's end.
//
// Thread rules: main thread only.

#include <memory>
#include <optional>
#include <vector>

#include "Common/Views/ZOVProgressIndicator.h"
#include "Platform/Gui/OutlineView.h"

class QMimeData;

namespace vistel {

class BrowserPanel;

class TrackableOutlineView : public OutlineView, public ZOVProgressIndicatorHost {
public:
    explicit TrackableOutlineView(BrowserPanel* panel);
    ~TrackableOutlineView() override;

    BrowserPanel* browserPanel() const { return browserPanel_; }
    ZOVProgressIndicator* progressMarks() const { return progressIndicator_.get(); }
    const ProgressMarkDrawing* progressIndicator() const override { return progressIndicator_.get(); }

    // The progress marks: a folder (or place) being listed spins until its listing ends.
    bool isItemInProgress(const Object* item) const;
    void insertItemInProgress(Object* item);
    void clear();

    // ZOVProgressIndicatorHost: a place item answers for its folder, and only while it is shown.
    bool checkProgressForItem(Object* item) override;
    bool itemNeedsRefresh(Object* item) override;
    std::optional<QRectF> progressRectForItem(Object* item) override;
    void setNeedsDisplayInProgressRect(const QRectF& rect) override;
    void updateItemCell(Object* item) override;

    // A catalogue item or a place item.
    static bool isFileSystemItem(const Object* item);
    // The folder items of the selected rows, top to bottom.
    std::vector<Ref<Object>> selectedItemsArray() const;
    // Selects exactly the shown rows of those items, then tells the delegate as for a user's
    // selection.
    void setSelectedItemsArray(const std::vector<Ref<Object>>& items);
    // Reloads (null: everything) and keeps the same items selected and open, wherever their
    // rows went, and the scroll position where it was: nothing scrolls and nothing else gets
    // selected; an inline edit of a row that comes back goes on with the text typed so far.
    void reloadItem(Object* item, bool reloadChildren = false);
    bool isReloading() const { return reloading_; }
    // The row of an item, loading the shown rows first (a child the data source has not been
    // asked for yet has no row in the platform view until then); -1 when it has none.
    int rowForItem(const Object* item) const;
    // From the row upwards, the first row of a folder item; -1 / NSNotFound pass unchanged.
    void selectRow(int row, bool byExtendingSelection);

    // The actions a drag from here offers: Copy and Link for places; Copy, Link and Move for
    // folders.
    static Qt::DropActions dragActionsFor(const QMimeData& data);
    // The end of a drag this view started, released at `globalPoint`: outside the view a drag
    // of places removes the first dragged place. Answers whether a place was removed.
    bool draggingEnded(const QMimeData& data, QPoint globalPoint);
    // What the source of the drag over the view allows (its possible actions); every action
    // while no drag is over it. Tests set it as a drag would.
    Qt::DropActions draggingSourceOperationMask() const { return draggingSourceActions_; }
    void setDraggingSourceOperationMask(Qt::DropActions actions) { draggingSourceActions_ = actions; }
    // Whether the last press was on a disclosure triangle (the click's action then toggles
    // nothing more).
    bool lastPressWasOnDisclosure() const { return lastPressOnDisclosure_; }
    // Whether a global point lies in the view.
    bool isPointInView(QPoint globalPoint) const;

protected:
    QMenu* menuForRow(int row) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    std::vector<int> rowsOfItems(const std::vector<Ref<Object>>& items) const;
    void restoreSelectedRows(const std::vector<int>& rows);
    // Posts NSOutlineViewSelectionDidChangeNotification and tells the delegate.
    void tellSelectionChanged();

    BrowserPanel* browserPanel_;
    Qt::DropActions draggingSourceActions_ = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    Ref<ZOVProgressIndicator> progressIndicator_;
    bool lastPressOnDisclosure_ = false;
    bool reloading_ = false;
};

} // namespace vistel
