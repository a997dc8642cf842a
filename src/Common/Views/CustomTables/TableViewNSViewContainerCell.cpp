#include "Common/Views/CustomTables/TableViewNSViewContainerCell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>

#include "Platform/Gui/ObservableControl.h"
#include "Platform/Gui/View.h"

namespace vistel {

// ---- the container cell --------------------------------------------------------------------

void TableViewNSViewContainerCell::setSubview(QWidget* view, int row, NSViewContainerCellAdapter* adapter)
{
    subview_ = view;
    itemRow_ = row;
    containerCellAdapter_ = adapter;
}

void TableViewNSViewContainerCell::drawWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view)
{
    Cell::drawWithFrame(painter, frame, view);
    QWidget* subview = subview_.data();
    if (!subview)
        return;
    if (!changeViewHeight_) {
        // The widget keeps its own height, or takes its optimal one; when that changes, the rows
        // from here down are measured again (the delegate answers the new height).
        const int currentHeight = subview->height();
        QSize optimal = subview->size();
        TableViewNSViewContainerDelegateProtocol* delegate = containerCellAdapter_ ? containerCellAdapter_->delegate() : nullptr;
        if (delegate && delegate->optimalFrame(view, optimal, subview, itemRow_) && optimal.height() != currentHeight) {
            subview->resize(subview->width(), optimal.height());
            std::vector<int> rows;
            for (int row = itemRow_, count = view.numberOfRows(); row >= 0 && row < count; ++row)
                rows.push_back(row);
            view.noteHeightOfRowsWithIndexesChanged(rows);
        }
    }
    view.hostView(subview, itemRow_, view.columnAtPoint(frame.center().toPoint()), coverOutlineCell_, changeViewHeight_);
}

// ---- the adapter ---------------------------------------------------------------------------

NSViewContainerCellAdapter::NSViewContainerCellAdapter(OutlineView& table) : table_(&table), tableForm_(dynamic_cast<TableView*>(&table))
{
    if (tableForm_) {
        tableForm_->setTableDataSource(this);
        tableForm_->setTableDelegate(this);
        tableForm_->reloadData();
    } else {
        table.setDataSource(this);
        table.setDelegate(this);
    }
    // Only the notifications about this table: another adapter's table is not ours to change.
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& notification) { tableViewItemDidChange(notification); }, kTableViewItemDidChangeNotification,
        View::viewObject(&table));
}

NSViewContainerCellAdapter::~NSViewContainerCellAdapter()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    delegate_ = nullptr;
    // Whichever goes first: a table that outlives the adapter asks it nothing more.
    if (OutlineView* table = table_.data()) {
        if (tableForm_) {
            if (tableForm_->tableDataSource() == this)
                tableForm_->setTableDataSource(nullptr);
            if (tableForm_->tableDelegate() == this)
                tableForm_->setTableDelegate(nullptr);
            tableForm_->reloadData();
        } else {
            if (table->delegate() == this)
                table->setDelegate(nullptr);
            if (table->dataSource() == this)
                table->setDataSource(nullptr);
        }
    }
}

bool NSViewContainerCellAdapter::isOutline() const
{
    return tableForm_ == nullptr;
}

void NSViewContainerCellAdapter::reloadData()
{
    if (OutlineView* table = table_.data()) {
        table->removeHostedViews();
        table->reloadData();
    }
}

void NSViewContainerCellAdapter::notifyChangedOutlineView(OutlineView& outline, Value newValue, const TableColumn* column, Object* item)
{
    Value info = Value::dictionary({{"NSObject", Value(Ref<Object>(item))}, {"Column", Value(column ? column->identifier() : std::string())}});
    info.set("Value", std::move(newValue)); // null: no value
    NotificationCenter::defaultCenter().postNotificationName(kTableViewItemDidChangeNotification, Ref<Object>(View::viewObject(&outline)), info);
}

void NSViewContainerCellAdapter::notifyChangedTableView(OutlineView& table, Value newValue, const TableColumn* column, long row)
{
    Value info = Value::dictionary({{"Row", Value(row)}, {"Column", Value(column ? column->identifier() : std::string())}});
    if (!newValue.isNull())
        info.set("Value", std::move(newValue));
    NotificationCenter::defaultCenter().postNotificationName(kTableViewItemDidChangeNotification, Ref<Object>(View::viewObject(&table)), info);
}

void NSViewContainerCellAdapter::tableViewItemDidChange(const Notification& notification)
{
    OutlineView* table = table_.data();
    if (!table)
        return;
    const Value& info = notification.userInfo;
    TableColumn* column = table->tableColumnWithIdentifier(info.get("Column").toString());
    const auto& entries = info.asDictionary();
    const auto valueEntry = entries.find("Value");
    // Present but null is "no value": the row is only reloaded.
    const bool hasValue = valueEntry == entries.end() || !valueEntry->second.isNull();
    const Value value = valueEntry == entries.end() ? Value() : valueEntry->second;
    if (isOutline()) {
        Ref<Object> item = info.get("NSObject").toObject();
        if (hasValue)
            setObjectValue(*table, value, column, item.get());
        table->reloadItem(item.get());
        return;
    }
    // The table form names its row; without one there is nothing to change (never row 0).
    if (!entries.count("Row"))
        return;
    const long row = info.get("Row").toInt64();
    if (hasValue)
        setObjectValue(*tableForm_, value, column, row);
    table->reloadItem(table->itemAtRow(static_cast<int>(row)));
}

QWidget* NSViewContainerCellAdapter::hostedViewForRow(TableColumn* column, int row)
{
    OutlineView* table = table_.data();
    if (!delegate_ || !table || !column || row < 0)
        return nullptr;
    if (!dynamic_cast<TableViewNSViewContainerProtocol*>(&column->dataCell()))
        return nullptr;
    return delegate_->viewForRow(*table, row);
}

void NSViewContainerCellAdapter::hideSubViewsForItem(Object* item)
{
    OutlineView* table = table_.data();
    if (!table || !delegate_)
        return;
    const long count = numberOfChildrenOfItem(*table, item).value_or(0);
    for (long index = 0; index < count; ++index) {
        Ref<Object> child = this->child(*table, index, item).value_or(nullptr);
        if (!child)
            continue;
        if (isItemExpandable(*table, child.get()).value_or(false))
            hideSubViewsForItem(child.get());
        const int row = table->rowForItem(child.get());
        if (QWidget* view = row >= 0 ? delegate_->viewForRow(*table, row) : nullptr)
            if (view->isVisible())
                view->hide();
    }
}

// ---- outline data source: passed on only while a real delegate is set ---------------------

std::optional<long> NSViewContainerCellAdapter::numberOfChildrenOfItem(OutlineView& table, Object* item)
{
    if (!delegate_ || !dataSource_)
        return 0;
    return dataSource_->numberOfChildrenOfItem(table, item).value_or(0);
}

std::optional<Ref<Object>> NSViewContainerCellAdapter::child(OutlineView& table, long index, Object* item)
{
    if (!delegate_ || !dataSource_)
        return Ref<Object>();
    return dataSource_->child(table, index, item).value_or(nullptr);
}

std::optional<bool> NSViewContainerCellAdapter::isItemExpandable(OutlineView& table, Object* item)
{
    if (!delegate_ || !dataSource_)
        return false;
    return dataSource_->isItemExpandable(table, item).value_or(false);
}

std::optional<Value> NSViewContainerCellAdapter::objectValue(OutlineView& table, TableColumn* column, Object* item)
{
    if (!delegate_ || !dataSource_)
        return Value();
    Value value = dataSource_->objectValue(table, column, item).value_or(Value());
    const int row = table.rowForItem(item);
    if (QWidget* view = hostedViewForRow(column, row)) {
        // The widget shows the value; one being edited keeps what the user typed.
        if (view->hasFocus() || view->isAncestorOf(QApplication::focusWidget()))
            return Value();
        if (delegate_->applyObjectValue(table, value, view, row))
            return Value();
    }
    return value;
}

bool NSViewContainerCellAdapter::setObjectValue(OutlineView& table, const Value& value, TableColumn* column, Object* item)
{
    return delegate_ && dataSource_ && dataSource_->setObjectValue(table, value, column, item);
}

std::optional<bool> NSViewContainerCellAdapter::writeItems(OutlineView& table, const std::vector<Ref<Object>>& items, QMimeData& data)
{
    if (!delegate_ || !dataSource_)
        return false;
    return dataSource_->writeItems(table, items, data).value_or(false);
}

std::optional<Qt::DropAction> NSViewContainerCellAdapter::validateDrop(OutlineView& table, const QMimeData& data, Object* item, long childIndex)
{
    if (!delegate_ || !dataSource_)
        return Qt::IgnoreAction;
    return dataSource_->validateDrop(table, data, item, childIndex).value_or(Qt::IgnoreAction);
}

std::optional<bool> NSViewContainerCellAdapter::acceptDrop(OutlineView& table, const QMimeData& data, Object* item, long childIndex)
{
    if (!delegate_ || !dataSource_)
        return false;
    return dataSource_->acceptDrop(table, data, item, childIndex).value_or(false);
}

// ---- outline delegate ----------------------------------------------------------------------

bool NSViewContainerCellAdapter::willDisplayCell(OutlineView& table, Cell& cell, TableColumn* column, Object* item)
{
    if (!delegate_)
        return false;
    if (auto* container = dynamic_cast<TableViewNSViewContainerProtocol*>(&cell)) {
        const int row = table.rowForItem(item);
        container->setSubview(row >= 0 ? delegate_->viewForRow(table, row) : nullptr, row, this);
        return true;
    }
    return outlineDelegate()->willDisplayCell(table, cell, column, item);
}

std::optional<Cell*> NSViewContainerCellAdapter::dataCellForTableColumn(OutlineView& table, TableColumn* column, Object* item)
{
    return delegate_ ? delegate_->dataCellForTableColumn(table, column, item).value_or(nullptr) : nullptr;
}

std::optional<bool> NSViewContainerCellAdapter::selectionShouldChange(OutlineView& table)
{
    return delegate_ && outlineDelegate()->selectionShouldChange(table).value_or(false);
}

std::optional<bool> NSViewContainerCellAdapter::shouldSelectItem(OutlineView& table, Object* item)
{
    return delegate_ && delegate_->shouldSelectItem(table, item).value_or(false);
}

std::optional<bool> NSViewContainerCellAdapter::shouldEditTableColumn(OutlineView& table, TableColumn* column, Object* item)
{
    return delegate_ && outlineDelegate()->shouldEditTableColumn(table, column, item).value_or(false);
}

std::optional<bool> NSViewContainerCellAdapter::shouldExpandItem(OutlineView& table, Object* item)
{
    return !delegate_ || delegate_->shouldExpandItem(table, item).value_or(true);
}

std::optional<bool> NSViewContainerCellAdapter::shouldCollapseItem(OutlineView& table, Object* item)
{
    return !delegate_ || delegate_->shouldCollapseItem(table, item).value_or(true);
}

std::optional<bool> NSViewContainerCellAdapter::isGroupItem(OutlineView& table, Object* item)
{
    return delegate_ && delegate_->isGroupItem(table, item).value_or(false);
}

std::optional<double> NSViewContainerCellAdapter::heightOfRowByItem(OutlineView& table, Object* item)
{
    const double standard = table.rowHeight();
    return delegate_ ? delegate_->heightOfRowByItem(table, item).value_or(standard) : standard;
}

std::optional<QMenu*> NSViewContainerCellAdapter::menuForItem(OutlineView& table, Object* item)
{
    return delegate_ ? delegate_->menuForItem(table, item).value_or(nullptr) : nullptr;
}

bool NSViewContainerCellAdapter::didEndEditing(OutlineView& table, TableColumn* column, Object* item, const Value& text, int movement)
{
    return delegate_ && delegate_->didEndEditing(table, column, item, text, movement);
}

bool NSViewContainerCellAdapter::selectionDidChange(const Notification& notification)
{
    return delegate_ && outlineDelegate()->selectionDidChange(notification);
}

bool NSViewContainerCellAdapter::itemWillExpand(const Notification& notification)
{
    return delegate_ && delegate_->itemWillExpand(notification);
}

bool NSViewContainerCellAdapter::itemDidExpand(const Notification& notification)
{
    return delegate_ && delegate_->itemDidExpand(notification);
}

bool NSViewContainerCellAdapter::itemWillCollapse(const Notification& notification)
{
    hideSubViewsForItem(notification.userInfo.get("NSObject").toObject().get());
    return delegate_ && delegate_->itemWillCollapse(notification);
}

bool NSViewContainerCellAdapter::itemDidCollapse(const Notification& notification)
{
    // Rows at or below the collapsed one that are on screen are drawn again (their widgets
    // move up into place).
    if (OutlineView* table = table_.data()) {
        const int first = table->rowForItem(notification.userInfo.get("NSObject").toObject().get());
        const auto [top, count] = table->rowsInRect(table->viewport()->rect());
        for (int row = std::max(first, top); first >= 0 && row < top + count; ++row)
            table->reloadItem(table->itemAtRow(row));
    }
    return delegate_ && delegate_->itemDidCollapse(notification);
}

// ---- table form ----------------------------------------------------------------------------

std::optional<long> NSViewContainerCellAdapter::numberOfRowsInTableView(TableView& table)
{
    if (!delegate_ || !tableDataSource_)
        return 0;
    return tableDataSource_->numberOfRowsInTableView(table).value_or(0);
}

std::optional<Value> NSViewContainerCellAdapter::objectValue(TableView& table, TableColumn* column, long row)
{
    if (!delegate_ || !tableDataSource_ || hostedViewForRow(column, static_cast<int>(row)))
        return Value();
    return tableDataSource_->objectValue(table, column, row).value_or(Value());
}

bool NSViewContainerCellAdapter::setObjectValue(TableView& table, const Value& value, TableColumn* column, long row)
{
    if (!delegate_ || !tableDataSource_ || hostedViewForRow(column, static_cast<int>(row)))
        return false;
    return tableDataSource_->setObjectValue(table, value, column, row);
}

bool NSViewContainerCellAdapter::willDisplayCell(TableView& table, Cell& cell, TableColumn* column, long row)
{
    if (!delegate_)
        return false;
    if (auto* container = dynamic_cast<TableViewNSViewContainerProtocol*>(&cell))
        if (QWidget* view = delegate_->viewForRow(table, static_cast<int>(row))) {
            container->setSubview(view, static_cast<int>(row), this);
            return true;
        }
    return tableDelegate()->willDisplayCell(table, cell, column, row);
}

std::optional<Cell*> NSViewContainerCellAdapter::dataCellForRow(TableView& table, TableColumn* column, long row)
{
    return delegate_ ? delegate_->dataCellForRow(table, column, row).value_or(nullptr) : nullptr;
}

std::optional<bool> NSViewContainerCellAdapter::selectionShouldChange(TableView& table)
{
    return !delegate_ || tableDelegate()->selectionShouldChange(table).value_or(true);
}

std::optional<bool> NSViewContainerCellAdapter::shouldSelectRow(TableView& table, long row)
{
    return !delegate_ || delegate_->shouldSelectRow(table, row).value_or(true);
}

std::optional<bool> NSViewContainerCellAdapter::shouldEditTableColumn(TableView& table, TableColumn* column, long row)
{
    return !delegate_ || tableDelegate()->shouldEditTableColumn(table, column, row).value_or(true);
}

std::optional<double> NSViewContainerCellAdapter::heightOfRow(TableView& table, long row)
{
    const double standard = table.rowHeight();
    return delegate_ ? delegate_->heightOfRow(table, row).value_or(standard) : standard;
}

// ---- the notificator -----------------------------------------------------------------------

// Lives as a child of the control (so it goes with it) and owns the notificator.
class NotificatorWatcher : public QObject {
public:
    NotificatorWatcher(QWidget* control, std::unique_ptr<NSControlToCellAdapterNotificator> notificator)
        : QObject(control), notificator_(std::move(notificator))
    {
    }
    NSControlToCellAdapterNotificator& notificator() { return *notificator_; }

    // Multi-line text fields end their edit when they lose the focus.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut && changedSinceEnd_) {
            changedSinceEnd_ = false;
            notificator_->handleTextValueDidEndEditing();
        }
        return QObject::eventFilter(watched, event);
    }
    void textChanged()
    {
        changedSinceEnd_ = true;
        notificator_->handleTextValueChanged();
    }

private:
    std::unique_ptr<NSControlToCellAdapterNotificator> notificator_;
    bool changedSinceEnd_ = false;
};

namespace {

// The object value of a control.
Value controlValue(QWidget* control)
{
    if (auto* own = dynamic_cast<ObservableControl*>(control))
        return own->observedValue();
    if (auto* box = qobject_cast<QCheckBox*>(control))
        return Value(box->isTristate() && box->checkState() == Qt::PartiallyChecked ? -1 : box->isChecked() ? 1 : 0);
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return Value(button->isChecked());
    if (auto* edit = qobject_cast<QDateTimeEdit*>(control))
        return Value(Date {static_cast<double>(edit->dateTime().toMSecsSinceEpoch()) / 1000.0});
    if (auto* spin = qobject_cast<QSpinBox*>(control))
        return Value(spin->value());
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(control))
        return Value(spin->value());
    if (auto* slider = qobject_cast<QAbstractSlider*>(control))
        return Value(slider->value());
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return Value(combo->currentText().toStdString());
    return {};
}

QString controlText(QWidget* control)
{
    if (auto* own = dynamic_cast<ObservableControl*>(control))
        return QString::fromStdString(own->observedValue().toString());
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        return plain->toPlainText();
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return rich->toPlainText();
    return {};
}

} // namespace

NSControlToCellAdapterNotificator::NSControlToCellAdapterNotificator(QWidget* control, OutlineView& table, const TableColumn& column, Object* item)
    : control_(control), table_(&table), columnIdentifier_(column.identifier()), item_(item)
{
}

NSControlToCellAdapterNotificator* NSControlToCellAdapterNotificator::attach(QWidget* control, OutlineView& table, const TableColumn& column, Object* item)
{
    if (!control)
        return nullptr;
    auto* watcher = new NotificatorWatcher(control, std::unique_ptr<NSControlToCellAdapterNotificator>(
                                                        new NSControlToCellAdapterNotificator(control, table, column, item)));
    NSControlToCellAdapterNotificator* notificator = &watcher->notificator();
    if (auto* own = dynamic_cast<ObservableControl*>(control)) {
        if (own->observedKind() == ObservableControl::ObservedKind::Text)
            own->addObserver(watcher, [notificator] { notificator->handleTextValueChanged(); },
                             [notificator] { notificator->handleTextValueDidEndEditing(); });
        else
            own->addObserver(watcher, [notificator] { notificator->handleValueChanged(); }, {});
    } else if (auto* line = qobject_cast<QLineEdit*>(control)) {
        QObject::connect(line, &QLineEdit::textEdited, watcher, [notificator] { notificator->handleTextValueChanged(); });
        QObject::connect(line, &QLineEdit::editingFinished, watcher, [notificator] { notificator->handleTextValueDidEndEditing(); });
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        QObject::connect(plain, &QPlainTextEdit::textChanged, watcher, [watcher] { watcher->textChanged(); });
        plain->installEventFilter(watcher);
    } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
        QObject::connect(rich, &QTextEdit::textChanged, watcher, [watcher] { watcher->textChanged(); });
        rich->installEventFilter(watcher);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(button, &QAbstractButton::clicked, watcher, [notificator] { notificator->handleValueChanged(); });
    } else if (auto* edit = qobject_cast<QDateTimeEdit*>(control)) {
        QObject::connect(edit, &QDateTimeEdit::dateTimeChanged, watcher, [notificator] { notificator->handleValueChanged(); });
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        QObject::connect(spin, &QSpinBox::valueChanged, watcher, [notificator] { notificator->handleValueChanged(); });
    } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(control)) {
        QObject::connect(spin, &QDoubleSpinBox::valueChanged, watcher, [notificator] { notificator->handleValueChanged(); });
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
        QObject::connect(slider, &QAbstractSlider::valueChanged, watcher, [notificator] { notificator->handleValueChanged(); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        QObject::connect(combo, &QComboBox::currentIndexChanged, watcher, [notificator] { notificator->handleValueChanged(); });
    }
    return notificator;
}

void NSControlToCellAdapterNotificator::handleValueChanged()
{
    if (control_)
        report(controlValue(control_));
}

void NSControlToCellAdapterNotificator::handleTextValueDidEndEditing()
{
    if (control_)
        report(Value(controlText(control_).toStdString()));
}

void NSControlToCellAdapterNotificator::handleTextValueChanged()
{
    report(Value());
}

void NSControlToCellAdapterNotificator::report(Value value)
{
    OutlineView* table = table_.data();
    if (!table)
        return;
    NSViewContainerCellAdapter::notifyChangedOutlineView(*table, std::move(value), table->tableColumnWithIdentifier(columnIdentifier_), item_.get());
}

} // namespace vistel
