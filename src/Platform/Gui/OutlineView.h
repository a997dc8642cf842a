#pragma once
// OutlineView and TableView: rows of items in columns, drawn by cells, fed by a data source and
// steered by a delegate.
//
// An OutlineView is a QTreeView over a model of our own that caches what it loaded. The data
// source answers, for an item (null: the invisible root), how many children it has and which
// child sits at an index; each answer is asked once and held (items by Ref) until reloadItem or
// reloadData, never again while scrolling or repainting. Cell values are not cached: they are
// asked only when a row is painted (and when an edit starts). A TableView is a one-level
// outline whose rows are numbers.
//
// Data sources and delegates are interfaces whose optional answers are std::optional: nullopt
// (and false from the void-like calls) means "does not respond", so the view, or an object that
// sits between the view and a real delegate, applies its default.
//
// Cells (Cell) are plain copyable objects. A column holds a data cell; to draw a row the view
// copies it (or the cell the delegate picks for the row), sets its value and highlight, lets the
// delegate set it up (willDisplayCell) and draws it through one QStyledItemDelegate. Mouse
// tracking in a cell is a state machine fed by the view's own press, move and release events
// (no nested event loop); hover is reported per cell through the cell's tracking rectangle.
//
// Expanding and collapsing go through expandItem / collapseItem for clicks, keys and code
// alike: the delegate is asked (shouldExpandItem), and the will/did notifications
// ("NSOutlineViewItemWillExpandNotification" ..., object the view's view object, user info
// "NSObject" the item) are posted and handed to the delegate.
//
// Thread rules: main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPainter>
#include <QPointer>
#include <QTreeView>

#include "Platform/Gui/Responder.h"
#include "Platform/IndexSet.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

class QMenu;
class QMimeData;

namespace vistel {

class OutlineView;
class OutlineItemModel;
class OutlineCellDelegate;

inline constexpr const char* NSOutlineViewItemWillExpandNotification = "NSOutlineViewItemWillExpandNotification";
inline constexpr const char* NSOutlineViewItemDidExpandNotification = "NSOutlineViewItemDidExpandNotification";
inline constexpr const char* NSOutlineViewItemWillCollapseNotification = "NSOutlineViewItemWillCollapseNotification";
inline constexpr const char* NSOutlineViewItemDidCollapseNotification = "NSOutlineViewItemDidCollapseNotification";
inline constexpr const char* NSOutlineViewSelectionDidChangeNotification = "NSOutlineViewSelectionDidChangeNotification";

// What a cell's hit test answers (bits).
enum CellHitResult : unsigned {
    NSCellHitNone = 0,
    NSCellHitContentArea = 1,
    NSCellHitEditableTextArea = 2,
    NSCellHitTrackableArea = 4,
};

// How an inline edit ended.
enum TextMovement : int {
    NSOtherTextMovement = 0,
    NSReturnTextMovement = 16,
    NSTabTextMovement = 17,
    NSBacktabTextMovement = 18,
};

// What draws a row's progress mark into a rectangle (a view may have one; see progressIndicator).
class ProgressMarkDrawing {
public:
    virtual ~ProgressMarkDrawing() = default;
    virtual void drawInteriorInFrame(QPainter& painter, const QRectF& frame, const QWidget* view) const = 0;
};

// One cell: draws a value in a rectangle of a view. Copyable; subclasses override clone().
class Cell : public Control {
public:
    Cell() = default;
    virtual ~Cell() = default;
    virtual std::unique_ptr<Cell> clone() const { return std::make_unique<Cell>(*this); }

    const Value& objectValue() const { return objectValue_; }
    virtual void setObjectValue(Value value) { objectValue_ = std::move(value); }
    // The value as text: a string answers itself, numbers their decimal form.
    QString stringValue() const;
    void setStringValue(const QString& text) { setObjectValue(Value(text.toStdString())); }

    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isEditable() const { return editable_; }
    void setEditable(bool editable) { editable_ = editable; }
    // The font; the view's font when never set.
    QFont font(const QWidget* view) const;
    void setFont(const QFont& font) { font_ = font; }
    Qt::TextElideMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(Qt::TextElideMode mode) { lineBreakMode_ = mode; }
    // Horizontal placement of the text (left unless set).
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment) { alignment_ = alignment; }

    // Drawing: the whole cell, then its interior (text, elided, vertically centred).
    virtual void drawWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view);
    virtual void drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view);
    // Bits of CellHitResult for a point of the view inside the frame.
    virtual unsigned hitTest(QPointF point, const QRectF& frame, const OutlineView& view) const;
    // Where an inline edit of the cell takes place.
    virtual QRectF editingRect(const QRectF& frame, const OutlineView& view) const;

    // Mouse tracking, a state machine the view drives with points of its viewport. startTracking
    // answers whether the cell takes the press (then the moves and the release come to it, and
    // the row's selection is left alone); stopTracking ends it.
    virtual bool startTracking(QPointF point, const QRectF& frame, OutlineView& view);
    virtual void continueTracking(QPointF point, const QRectF& frame, OutlineView& view);
    virtual void stopTracking(QPointF point, const QRectF& frame, OutlineView& view);

    // Hover: the part of the frame the cell wants to hear the mouse enter and leave (empty: none).
    virtual QRectF trackingRect(const QRectF& frame, const OutlineView& view) const;
    virtual void mouseEntered() { }
    virtual void mouseExited() { }

    // Sends the cell's action from the view (to its target, else along the responder chain).
    bool sendActionFrom(OutlineView& view) const;

protected:
    // The text colour for the cell's state in the view.
    QColor textColor(const QWidget* view) const;

private:
    Value objectValue_;
    bool highlighted_ = false;
    bool enabled_ = true;
    bool editable_ = false;
    std::optional<QFont> font_;
    Qt::TextElideMode lineBreakMode_ = Qt::ElideRight;
    Qt::Alignment alignment_ = Qt::AlignLeft;
};

// A column: identifier, title, widths, its data cell.
class TableColumn {
public:
    explicit TableColumn(std::string identifier);
    const std::string& identifier() const { return identifier_; }
    const QString& title() const { return title_; }
    void setTitle(QString title) { title_ = std::move(title); }
    double width() const { return width_; }
    void setWidth(double width) { width_ = width; }
    double minWidth() const { return minWidth_; }
    void setMinWidth(double width) { minWidth_ = width; }
    bool isResizable() const { return resizable_; }
    void setResizable(bool resizable) { resizable_ = resizable; }
    bool isEditable() const { return editable_; }
    void setEditable(bool editable) { editable_ = editable; }
    Cell& dataCell() const { return *dataCell_; }
    void setDataCell(std::unique_ptr<Cell> cell);

private:
    std::string identifier_;
    QString title_;
    double width_ = 100;
    double minWidth_ = 10;
    bool resizable_ = true;
    bool editable_ = true;
    std::unique_ptr<Cell> dataCell_;
};

// The outline's data source. item null = the root.
class OutlineViewDataSource {
public:
    virtual ~OutlineViewDataSource() = default;
    virtual std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<Ref<Object>> child(OutlineView&, long /*index*/, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<bool> isItemExpandable(OutlineView&, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<Value> objectValue(OutlineView&, TableColumn*, Object* /*item*/) { return std::nullopt; }
    // Answers whether it took the value.
    virtual bool setObjectValue(OutlineView&, const Value&, TableColumn*, Object* /*item*/) { return false; }
    // Drag and drop: the drag's data is handed as the QMimeData it travels in.
    virtual std::optional<bool> writeItems(OutlineView&, const std::vector<Ref<Object>>&, QMimeData&) { return std::nullopt; }
    virtual std::optional<Qt::DropAction> validateDrop(OutlineView&, const QMimeData&, Object* /*item*/, long /*childIndex*/) { return std::nullopt; }
    virtual std::optional<bool> acceptDrop(OutlineView&, const QMimeData&, Object* /*item*/, long /*childIndex*/) { return std::nullopt; }
};

// The outline's delegate.
class OutlineViewDelegate {
public:
    virtual ~OutlineViewDelegate() = default;
    // Sets up the cell about to be drawn; answers whether it responded.
    virtual bool willDisplayCell(OutlineView&, Cell&, TableColumn*, Object* /*item*/) { return false; }
    // The cell of a row in a column instead of the column's data cell (null: the column's).
    virtual std::optional<Cell*> dataCellForTableColumn(OutlineView&, TableColumn*, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<bool> selectionShouldChange(OutlineView&) { return std::nullopt; }
    virtual std::optional<bool> shouldSelectItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<bool> shouldEditTableColumn(OutlineView&, TableColumn*, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<bool> shouldExpandItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<bool> shouldCollapseItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    // A group row shows one cell (its first column's) across the whole row.
    virtual std::optional<bool> isGroupItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    virtual std::optional<double> heightOfRowByItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    // Draws the selection highlight of the selected cells in the clip rectangle itself; true
    // means it did (the view then draws none).
    virtual std::optional<bool> highlightSelectionInClipRect(OutlineView&, QPainter&, const QRect& /*clip*/) { return std::nullopt; }
    // The context menu for a row (item null: below the rows); the view shows it and owns nothing.
    virtual std::optional<QMenu*> menuForItem(OutlineView&, Object* /*item*/) { return std::nullopt; }
    // An inline edit ended with a movement (TextMovement); Escape abandons without a call.
    virtual bool didEndEditing(OutlineView&, TableColumn*, Object* /*item*/, const Value& /*text*/, int /*movement*/) { return false; }
    // Notifications, also posted through the default centre. Answer whether they responded.
    virtual bool selectionDidChange(const Notification&) { return false; }
    virtual bool itemWillExpand(const Notification&) { return false; }
    virtual bool itemDidExpand(const Notification&) { return false; }
    virtual bool itemWillCollapse(const Notification&) { return false; }
    virtual bool itemDidCollapse(const Notification&) { return false; }
};

class OutlineView : public QTreeView, public Control {
public:
    explicit OutlineView(QWidget* parent = nullptr);
    ~OutlineView() override;

    // Not owned; the owner clears them before it goes.
    void setDataSource(OutlineViewDataSource* dataSource);
    OutlineViewDataSource* dataSource() const { return dataSource_; }
    void setDelegate(OutlineViewDelegate* delegate);
    OutlineViewDelegate* delegate() const { return delegate_; }

    // Columns, owned by the view. The first one added shows the tree (outlineTableColumn).
    TableColumn& addTableColumn(std::unique_ptr<TableColumn> column);
    void removeTableColumn(TableColumn& column);
    const std::vector<std::unique_ptr<TableColumn>>& tableColumns() const { return columns_; }
    TableColumn* tableColumnWithIdentifier(std::string_view identifier) const;
    TableColumn* outlineTableColumn() const { return columns_.empty() ? nullptr : columns_.front().get(); }
    int columnIndex(const TableColumn* column) const;
    // Column widths are kept in the user defaults under "NSOutlineView Columns <name>".
    void setAutosaveName(std::string name);
    const std::string& autosaveName() const { return autosaveName_; }

    // Drops everything loaded; the data source is asked again as rows are shown.
    void reloadData();
    // Repaints the item's row (its values are asked again); with children, its children are
    // asked for again too.
    void reloadItem(Object* item, bool reloadChildren = false);

    // Rows are the visible (expanded) items, top to bottom.
    int numberOfRows() const;
    Object* itemAtRow(int row) const;
    int rowForItem(const Object* item) const; // -1 when the item has no row
    Object* parentForItem(const Object* item) const;
    int levelForItem(const Object* item) const; // -1 when unknown
    int levelForRow(int row) const { return levelForItem(itemAtRow(row)); }
    // Rows and model indexes (column 0 unless asked).
    int rowOfIndex(const QModelIndex& index) const;
    QModelIndex indexOfRow(int row, int column = 0) const;
    bool isExpandable(const Object* item) const;
    bool isItemExpanded(const Object* item) const;
    // A null item means every item. Asks the delegate and posts the will/did notifications.
    void expandItem(Object* item, bool expandChildren = false);
    void collapseItem(Object* item, bool collapseChildren = false);

    // Selection (rows).
    std::vector<int> selectedRowIndexes() const;
    int selectedRow() const; // the first, or -1
    std::vector<Ref<Object>> selectedItems() const;
    // Selects the rows (any order, repeats allowed) as one range per run of neighbouring rows.
    void selectRowIndexes(const std::vector<int>& rows, bool byExtendingSelection);
    void deselectAll();
    // The row and column of the last click (the action's receiver asks), -1 when none.
    int clickedRow() const { return clickedRow_; }
    int clickedColumn() const { return clickedColumn_; }

    // Action on a click, double action on a double click, sent like a control's.
    const std::string& doubleAction() const { return doubleAction_; }
    void setDoubleAction(std::string action) { doubleAction_ = std::move(action); }

    // Geometry, in the viewport's coordinates.
    QRect rectOfRow(int row) const;
    QRect frameOfCellAtColumn(int column, int row) const;
    int rowAtPoint(QPoint point) const;
    int columnAtPoint(QPoint point) const;
    // The rows painted now (first, count).
    std::pair<int, int> rowsInRect(const QRect& rect) const;
    void setNeedsDisplayInRect(const QRect& rect);

    // Row heights: the delegate's heightOfRowByItem, else this.
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height);
    void noteHeightOfRowsWithIndexesChanged(const std::vector<int>& rows);

    // Inline editing of a cell (Return, Tab, Backtab end it with their movement; Escape abandons).
    void editColumn(int column, int row);
    bool isEditing() const;

    // Cells: the one used for a row (the delegate's, else the column's), prepared for drawing
    // (a copy with the row's value, highlight and the delegate's set-up).
    // A subclass may provide the cells of its rows itself.
    virtual Cell& dataCellForColumn(TableColumn& column, Object* item);
    std::unique_ptr<Cell> preparedCellAtColumn(int column, int row);

    // Hosted views: widgets shown over cells, children of the viewport, placed by the view after
    // every layout and scroll and hidden while their row has no place on screen. `cover` reaches
    // the row's left edge (over the indentation); `cellHeight` gives the view the cell's height,
    // else it keeps its own.
    // A press that may move the selection first ends the edit of a hosted widget (it loses the
    // focus), so the edit lands in its own row.
    void hostView(QWidget* widget, int row, int column, bool cover, bool cellHeight);
    void removeHostedViews();
    std::vector<QWidget*> hostedViews() const;

    // Outside a scroll area the outline sizes its height to its rows.
    void setSizesHeightToRows(bool sizes);

    // The mark a row's cell draws while it has progress; null unless a subclass has one.
    virtual const ProgressMarkDrawing* progressIndicator() const { return nullptr; }

protected:
    bool flatRows_ = false; // a table: its rows are the model's top-level rows
    // The data source whose items are the table's own row items, found by their number rather
    // than kept in the item lookup.
    const OutlineViewDataSource* numberedRowsSource_ = nullptr;
    // The model index of an item's cell in a column.
    QModelIndex indexForItem(const Object* item, int column = 0) const;
    // The menu for a right or control click at a row (-1: none); default: the delegate's.
    virtual QMenu* menuForRow(int row);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    QItemSelection selectionOfRows(std::vector<int> rows) const;
    friend class OutlineItemModel;
    friend class OutlineCellDelegate;
    struct Hosted;
    struct Hover;
    struct Rows;

    void postItemNotification(const char* name, Object* item, bool (OutlineViewDelegate::*handler)(const Notification&));
    void expandOne(const QModelIndex& index, bool expandChildren);
    void collapseOne(const QModelIndex& index, bool collapseChildren);
    void ensureRows() const;
    void placeHostedViews();
    void endHostedEditing();
    void updateHover(QPoint point);
    void saveColumnWidths();
    void restoreColumnWidths();
    void updateSizeToRows();
    QRect cellFrame(const QModelIndex& index) const;

    OutlineViewDataSource* dataSource_ = nullptr;
    OutlineViewDelegate* delegate_ = nullptr;
    std::vector<std::unique_ptr<TableColumn>> columns_;
    OutlineItemModel* model_ = nullptr;
    OutlineCellDelegate* cellDelegate_ = nullptr;
    std::string doubleAction_;
    std::string autosaveName_;
    double rowHeight_ = 17;
    int clickedRow_ = -1;
    int clickedColumn_ = -1;
    bool sizesHeightToRows_ = false;
    std::unique_ptr<Rows> rows_;
    std::vector<Hosted> hosted_;
    std::unique_ptr<Hover> hover_;
    // The cell being tracked (a copy) and where.
    std::unique_ptr<Cell> trackingCell_;
    QPersistentModelIndex trackingIndex_;
};

// A table: a one-level outline whose rows are numbers.
class TableView;

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual std::optional<long> numberOfRowsInTableView(TableView&) { return std::nullopt; }
    virtual std::optional<Value> objectValue(TableView&, TableColumn*, long /*row*/) { return std::nullopt; }
    virtual bool setObjectValue(TableView&, const Value&, TableColumn*, long /*row*/) { return false; }
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual bool willDisplayCell(TableView&, Cell&, TableColumn*, long /*row*/) { return false; }
    // The cell of a row (null: the column's data cell).
    virtual std::optional<Cell*> dataCellForRow(TableView&, TableColumn*, long /*row*/) { return std::nullopt; }
    virtual std::optional<bool> selectionShouldChange(TableView&) { return std::nullopt; }
    virtual std::optional<bool> shouldSelectRow(TableView&, long /*row*/) { return std::nullopt; }
    virtual std::optional<bool> shouldEditTableColumn(TableView&, TableColumn*, long /*row*/) { return std::nullopt; }
    virtual std::optional<double> heightOfRow(TableView&, long /*row*/) { return std::nullopt; }
    virtual std::optional<bool> highlightSelectionInClipRect(TableView&, QPainter&, const QRect& /*clip*/) { return std::nullopt; }
    virtual bool selectionDidChange(const Notification&) { return false; }
};

class TableView : public OutlineView {
public:
    explicit TableView(QWidget* parent = nullptr);
    ~TableView() override;

    void setTableDataSource(TableViewDataSource* dataSource) { tableDataSource_ = dataSource; }
    TableViewDataSource* tableDataSource() const { return tableDataSource_; }
    void setTableDelegate(TableViewDelegate* delegate) { tableDelegate_ = delegate; }
    TableViewDelegate* tableDelegate() const { return tableDelegate_; }

    // The row an item of this table stands for (-1 for anything else).
    static long rowOfItem(const Object* item);

    // The selection as rows, read from and written as ranges of the flat model: no row
    // between a range's ends is visited, so selecting all of a long table costs one range.
    IndexSet selectedRowIndexSet() const;
    // Replaces the selection (rows past the end are left out); the current row becomes the last.
    void selectRowIndexSet(const IndexSet& rows);

private:
    class RowBridge;
    std::unique_ptr<RowBridge> bridge_;
    TableViewDataSource* tableDataSource_ = nullptr;
    TableViewDelegate* tableDelegate_ = nullptr;
};

} // namespace vistel
