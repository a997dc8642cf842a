#pragma once
// Controls in table rows: a row of an outline or table shows a real widget (a line edit, a check
// box, a date edit, a growing text field) that the user edits in place.
//
// - TableViewNSViewContainerCell is a column's data cell that hosts the row's widget over the
//   cell: the view places it after every layout and scroll (OutlineView::hostView) and hides it
//   while its row has no place on screen. With coverOutlineCell it reaches the row's left edge;
//   with changeViewHeight it takes the cell's height, else it keeps its own, or the optimal
//   height the delegate reports, in which case the rows from there down are measured again.
// - NSViewContainerCellAdapter sits between the table and its real delegate and data source: it
//   hands container cells their widgets (the delegate's viewForRow) and forwards every other
//   question, answering its own default when the real delegate gives none. Questions for the
//   data source pass only while a real delegate is set. A row with a hosted widget shows no
//   value of its own: the delegate puts the value into the widget (applyObjectValue), never
//   while that widget has the keyboard focus, so a reload does not reset an edit in progress.
// - NSControlToCellAdapterNotificator reports a hosted control's edits as
//   "tableViewItemDidChange": text fields reload their row at each change and deliver their
//   text when editing ends (Return or a focus change); other controls deliver their value at
//   once. The adapter of that table writes the value through the data source and reloads the
//   row; adapters of other tables ignore it.
//
// The adapter unhooks itself from its table when it goes, and forgets the table when the table
// goes first. A notificator lives exactly as long as its control.
//
// Thread rules: main thread only.

#include <QPointer>
#include <QWidget>

#include "Platform/Gui/OutlineView.h"

namespace vistel {

class NSViewContainerCellAdapter;

inline constexpr const char* kTableViewItemDidChangeNotification = "tableViewItemDidChange";

// A cell that hosts a widget.
class TableViewNSViewContainerProtocol {
public:
    virtual ~TableViewNSViewContainerProtocol() = default;
    virtual void setSubview(QWidget* view, int row, NSViewContainerCellAdapter* adapter) = 0;
    virtual QWidget* view() const = 0;
    virtual void setCoverOutlineCell(bool cover) = 0;
    virtual void setChangeViewHeight(bool change) = 0;
};

// The real delegate behind an adapter: an outline and table delegate that also hands out the
// widgets of rows.
class TableViewNSViewContainerDelegateProtocol : public OutlineViewDelegate, public TableViewDelegate {
public:
    // The widget hosted in a row, or null.
    virtual QWidget* viewForRow(OutlineView& table, int row) = 0;
    // Puts the value into the widget; answers whether it did.
    virtual bool applyObjectValue(OutlineView& /*table*/, const Value& /*value*/, QWidget* /*view*/, int /*row*/) { return false; }
    // Fills the widget's optimal size; answers whether it did.
    virtual bool optimalFrame(OutlineView& /*table*/, QSize& /*size*/, QWidget* /*view*/, int /*row*/) { return false; }
};

class TableViewNSViewContainerCell : public Cell, public TableViewNSViewContainerProtocol {
public:
    std::unique_ptr<Cell> clone() const override { return std::make_unique<TableViewNSViewContainerCell>(*this); }

    void setSubview(QWidget* view, int row, NSViewContainerCellAdapter* adapter) override;
    QWidget* view() const override { return subview_.data(); }
    void setCoverOutlineCell(bool cover) override { coverOutlineCell_ = cover; }
    void setChangeViewHeight(bool change) override { changeViewHeight_ = change; }
    bool coverOutlineCell() const { return coverOutlineCell_; }
    bool changeViewHeight() const { return changeViewHeight_; }
    int itemRow() const { return itemRow_; }

    void drawWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view) override;

private:
    QPointer<QWidget> subview_;
    NSViewContainerCellAdapter* containerCellAdapter_ = nullptr;
    int itemRow_ = -1;
    bool coverOutlineCell_ = false;
    bool changeViewHeight_ = false;
};

class NSViewContainerCellAdapter : public OutlineViewDataSource,
                                   public OutlineViewDelegate,
                                   public TableViewDataSource,
                                   public TableViewDelegate {
public:
    // Becomes the table's data source and delegate (a TableView's table ones).
    explicit NSViewContainerCellAdapter(OutlineView& table);
    ~NSViewContainerCellAdapter() override;
    NSViewContainerCellAdapter(const NSViewContainerCellAdapter&) = delete;
    NSViewContainerCellAdapter& operator=(const NSViewContainerCellAdapter&) = delete;

    // The real delegate and data sources; not owned.
    void setDelegate(TableViewNSViewContainerDelegateProtocol* delegate) { delegate_ = delegate; }
    TableViewNSViewContainerDelegateProtocol* delegate() const { return delegate_; }
    void setDataSource(OutlineViewDataSource* dataSource) { dataSource_ = dataSource; }
    OutlineViewDataSource* dataSource() const { return dataSource_; }
    void setTableDataSource(TableViewDataSource* dataSource) { tableDataSource_ = dataSource; }
    OutlineView* table() const { return table_.data(); }

    // Takes every hosted widget off the table, then reloads it.
    void reloadData();

    // Posts "tableViewItemDidChange": the outline form (keys "NSObject", "Value", "Column"; a
    // null value stands for "no value") or the table form (keys "Row", "Value", "Column").
    static void notifyChangedOutlineView(OutlineView& outline, Value newValue, const TableColumn* column, Object* item);
    static void notifyChangedTableView(OutlineView& table, Value newValue, const TableColumn* column, long row);

    // Before items collapse: hides the widgets of every row below the item.
    void hideSubViewsForItem(Object* item);

    // Outline data source.
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override;
    std::optional<Ref<Object>> child(OutlineView&, long index, Object* item) override;
    std::optional<bool> isItemExpandable(OutlineView&, Object* item) override;
    std::optional<Value> objectValue(OutlineView&, TableColumn* column, Object* item) override;
    bool setObjectValue(OutlineView&, const Value& value, TableColumn* column, Object* item) override;
    std::optional<bool> writeItems(OutlineView&, const std::vector<Ref<Object>>& items, QMimeData& data) override;
    std::optional<Qt::DropAction> validateDrop(OutlineView&, const QMimeData& data, Object* item, long childIndex) override;
    std::optional<bool> acceptDrop(OutlineView&, const QMimeData& data, Object* item, long childIndex) override;

    // Outline delegate.
    bool willDisplayCell(OutlineView&, Cell& cell, TableColumn* column, Object* item) override;
    std::optional<Cell*> dataCellForTableColumn(OutlineView&, TableColumn* column, Object* item) override;
    std::optional<bool> selectionShouldChange(OutlineView&) override;
    std::optional<bool> shouldSelectItem(OutlineView&, Object* item) override;
    std::optional<bool> shouldEditTableColumn(OutlineView&, TableColumn* column, Object* item) override;
    std::optional<bool> shouldExpandItem(OutlineView&, Object* item) override;
    std::optional<bool> shouldCollapseItem(OutlineView&, Object* item) override;
    std::optional<bool> isGroupItem(OutlineView&, Object* item) override;
    std::optional<double> heightOfRowByItem(OutlineView&, Object* item) override;
    std::optional<QMenu*> menuForItem(OutlineView&, Object* item) override;
    bool didEndEditing(OutlineView&, TableColumn* column, Object* item, const Value& text, int movement) override;
    bool selectionDidChange(const Notification& notification) override;
    bool itemWillExpand(const Notification& notification) override;
    bool itemDidExpand(const Notification& notification) override;
    bool itemWillCollapse(const Notification& notification) override;
    bool itemDidCollapse(const Notification& notification) override;

    // Table data source and delegate.
    std::optional<long> numberOfRowsInTableView(TableView&) override;
    std::optional<Value> objectValue(TableView&, TableColumn* column, long row) override;
    bool setObjectValue(TableView&, const Value& value, TableColumn* column, long row) override;
    bool willDisplayCell(TableView&, Cell& cell, TableColumn* column, long row) override;
    std::optional<Cell*> dataCellForRow(TableView&, TableColumn* column, long row) override;
    std::optional<bool> selectionShouldChange(TableView&) override;
    std::optional<bool> shouldSelectRow(TableView&, long row) override;
    std::optional<bool> shouldEditTableColumn(TableView&, TableColumn* column, long row) override;
    std::optional<double> heightOfRow(TableView&, long row) override;

private:
    void tableViewItemDidChange(const Notification& notification);
    // The hosted widget of a row whose column shows a container cell, or null.
    QWidget* hostedViewForRow(TableColumn* column, int row);
    bool isOutline() const;
    // The real delegate seen as one or the other (its questions of both kinds share names).
    OutlineViewDelegate* outlineDelegate() const { return delegate_; }
    TableViewDelegate* tableDelegate() const { return delegate_; }

    QPointer<OutlineView> table_;
    TableView* tableForm_ = nullptr; // the table when it is a TableView
    TableViewNSViewContainerDelegateProtocol* delegate_ = nullptr;
    OutlineViewDataSource* dataSource_ = nullptr;
    TableViewDataSource* tableDataSource_ = nullptr;
};

// Reports one hosted control's edits for its table, column and item.
class NSControlToCellAdapterNotificator {
public:
    // Watches `control` (a QLineEdit, QPlainTextEdit or QTextEdit as a text field; a button,
    // date/time edit, spin box, slider or combo box as a control; one of our own controls, such
    // as the token field or the star row, as the kind it declares (ObservableControl)); the
    // notificator is destroyed with the control.
    static NSControlToCellAdapterNotificator* attach(QWidget* control, OutlineView& table, const TableColumn& column, Object* item);

    QWidget* control() const { return control_.data(); }

    // The three reports: the control's value, its text at the end of editing, no value (the
    // row is only reloaded).
    void handleValueChanged();
    void handleTextValueDidEndEditing();
    void handleTextValueChanged();

private:
    friend class NotificatorWatcher;
    NSControlToCellAdapterNotificator(QWidget* control, OutlineView& table, const TableColumn& column, Object* item);
    void report(Value value);

    QPointer<QWidget> control_;
    QPointer<OutlineView> table_;
    std::string columnIdentifier_;
    Ref<Object> item_;
};

} // namespace vistel
