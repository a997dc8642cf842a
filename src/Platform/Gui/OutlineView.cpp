#include "Platform/Gui/OutlineView.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "Platform/Gui/View.h"
#include "Platform/UserDefaults.h"

namespace vistel {

// ---- Cell ----------------------------------------------------------------------------------

QString Cell::stringValue() const
{
    if (objectValue_.isString())
        return QString::fromStdString(objectValue_.asString());
    if (objectValue_.isInteger() || objectValue_.isBoolean())
        return QString::number(objectValue_.toInt64());
    if (objectValue_.isReal())
        return QString::number(objectValue_.toDouble());
    return {};
}

QFont Cell::font(const QWidget* view) const
{
    return font_ ? *font_ : (view ? view->font() : QApplication::font());
}

QColor Cell::textColor(const QWidget* view) const
{
    const QPalette palette = view ? view->palette() : QApplication::palette();
    if (!enabled_)
        return palette.color(QPalette::Disabled, QPalette::Text);
    return palette.color(highlighted_ ? QPalette::HighlightedText : QPalette::Text);
}

void Cell::drawWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view)
{
    drawInteriorWithFrame(painter, frame, view);
}

void Cell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view)
{
    const QString text = stringValue();
    if (text.isEmpty())
        return;
    painter.save();
    painter.setFont(font(&view));
    painter.setPen(textColor(&view));
    const QRectF area = frame.adjusted(2, 0, -2, 0);
    const QString shown = painter.fontMetrics().elidedText(text, lineBreakMode_, static_cast<int>(area.width()));
    painter.drawText(area, (alignment_ & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter, shown);
    painter.restore();
}

unsigned Cell::hitTest(QPointF point, const QRectF& frame, const OutlineView&) const
{
    if (!frame.contains(point))
        return NSCellHitNone;
    return NSCellHitContentArea | (editable_ ? NSCellHitEditableTextArea : 0u);
}

QRectF Cell::editingRect(const QRectF& frame, const OutlineView&) const
{
    return frame;
}

bool Cell::startTracking(QPointF, const QRectF&, OutlineView&)
{
    return false;
}

void Cell::continueTracking(QPointF, const QRectF&, OutlineView&) { }

void Cell::stopTracking(QPointF, const QRectF&, OutlineView&) { }

QRectF Cell::trackingRect(const QRectF&, const OutlineView&) const
{
    return {};
}

bool Cell::sendActionFrom(OutlineView& view) const
{
    if (action().empty())
        return false;
    return Control::sendActionFrom(&view, view.window());
}

// ---- TableColumn ---------------------------------------------------------------------------

TableColumn::TableColumn(std::string identifier) : identifier_(std::move(identifier)), dataCell_(std::make_unique<Cell>()) { }

void TableColumn::setDataCell(std::unique_ptr<Cell> cell)
{
    dataCell_ = cell ? std::move(cell) : std::make_unique<Cell>();
}

// ---- The model -----------------------------------------------------------------------------

namespace {

// The item standing for a table row.
class TableRowItem : public Object {
public:
    explicit TableRowItem(long row) : row(row) { }
    const long row;
};

} // namespace

// One loaded item: its count and children are asked once and kept until a reload.
struct OutlineNode {
    Ref<Object> item;
    OutlineNode* parent = nullptr;
    int indexInParent = 0;
    long childCount = -1; // not asked yet
    int expandable = -1;  // not asked yet
    // One slot per child, allocated together when the count is known; each is made (its item
    // asked) the first time it is asked for. Slots never move until the children are dropped.
    std::vector<OutlineNode> children;
    bool made = false;
};

class OutlineItemModel : public QAbstractItemModel {
public:
    explicit OutlineItemModel(OutlineView& view) : QAbstractItemModel(&view), view_(view) { }

    OutlineNode* nodeOf(const QModelIndex& index) const
    {
        return index.isValid() ? static_cast<OutlineNode*>(index.internalPointer()) : const_cast<OutlineNode*>(&root_);
    }
    OutlineNode* nodeForItem(const Object* item) const
    {
        if (!item)
            return const_cast<OutlineNode*>(&root_);
        if (const TableRowItem* row = tableRow(item)) {
            // A table's row items are found by their row, not kept in the lookup.
            if (row->row < 0 || std::size_t(row->row) >= root_.children.size())
                return nullptr;
            const OutlineNode& node = root_.children[std::size_t(row->row)];
            return node.made && node.item.get() == item ? const_cast<OutlineNode*>(&node) : nullptr;
        }
        auto found = nodes_.find(item);
        return found == nodes_.end() ? nullptr : found->second;
    }
    QModelIndex indexOfNode(const OutlineNode* node, int column = 0) const
    {
        if (!node || node == &root_)
            return {};
        return createIndex(node->indexInParent, column, const_cast<OutlineNode*>(node));
    }

    long childCount(OutlineNode* node) const
    {
        if (node->childCount < 0) {
            node->childCount = askCount(node);
            node->children.resize(static_cast<std::size_t>(node->childCount));
        }
        return node->childCount;
    }
    long askCount(OutlineNode* node) const
    {
        OutlineViewDataSource* source = view_.dataSource();
        const long count = source ? source->numberOfChildrenOfItem(view_, node->item.get()).value_or(0) : 0;
        return std::clamp<long>(count, 0, std::numeric_limits<int>::max());
    }

    OutlineNode* childNode(OutlineNode* node, int row) const
    {
        if (row < 0 || row >= childCount(node))
            return nullptr;
        OutlineNode& slot = node->children[static_cast<std::size_t>(row)];
        if (!slot.made) {
            slot.made = true;
            slot.parent = node;
            slot.indexInParent = row;
            if (OutlineViewDataSource* source = view_.dataSource())
                slot.item = source->child(view_, row, node->item.get()).value_or(nullptr);
            if (slot.item && !numberedRows())
                nodes_[slot.item.get()] = &slot;
        }
        return &slot;
    }

    bool isExpandable(OutlineNode* node) const
    {
        if (node == &root_)
            return true;
        if (view_.flatRows_)
            return false; // a table's rows have no children
        if (node->expandable < 0) {
            OutlineViewDataSource* source = view_.dataSource();
            node->expandable = source && source->isItemExpandable(view_, node->item.get()).value_or(false) ? 1 : 0;
        }
        return node->expandable == 1;
    }

    // Forgets a node's children (and their items in the lookup).
    void dropChildren(OutlineNode* node)
    {
        for (OutlineNode& child : node->children)
            if (child.made) {
                dropChildren(&child);
                if (child.item && !numberedRows())
                    nodes_.erase(child.item.get());
            }
        node->children.clear();
        node->childCount = -1;
    }

    void reset()
    {
        beginResetModel();
        dropChildren(&root_);
        nodes_.clear();
        endResetModel();
    }

    void reloadChildren(OutlineNode* node)
    {
        const QModelIndex parent = indexOfNode(node);
        if (node->childCount > 0) {
            beginRemoveRows(parent, 0, static_cast<int>(node->childCount) - 1);
            dropChildren(node);
            endRemoveRows();
        }
        dropChildren(node);
        node->childCount = 0; // empty until the insertion below
        node->expandable = -1;
        const long count = askCount(node);
        if (count > 0)
            beginInsertRows(parent, 0, static_cast<int>(count) - 1);
        node->childCount = count;
        node->children.resize(static_cast<std::size_t>(count));
        if (count > 0)
            endInsertRows();
    }

    void columnsChanged()
    {
        beginResetModel();
        endResetModel();
    }

    QModelIndex index(int row, int column, const QModelIndex& parent) const override
    {
        if (column < 0 || column >= columnCount(parent))
            return {};
        OutlineNode* child = childNode(nodeOf(parent), row);
        return child ? createIndex(row, column, child) : QModelIndex();
    }
    QModelIndex parent(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return {};
        return indexOfNode(nodeOf(index)->parent);
    }
    int rowCount(const QModelIndex& parent) const override
    {
        if (parent.column() > 0)
            return 0;
        OutlineNode* node = nodeOf(parent);
        if (node != &root_ && !isExpandable(node))
            return 0;
        return static_cast<int>(childCount(node));
    }
    int columnCount(const QModelIndex&) const override { return static_cast<int>(view_.tableColumns().size()); }
    bool hasChildren(const QModelIndex& parent) const override
    {
        if (parent.column() > 0)
            return false;
        OutlineNode* node = nodeOf(parent);
        return node == &root_ ? childCount(node) > 0 : isExpandable(node);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        // Only the text itself is answered (keyboard search, editors); painting asks the data
        // source through the cells.
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        OutlineViewDataSource* source = view_.dataSource();
        if (!source)
            return {};
        TableColumn* column = view_.tableColumns()[static_cast<std::size_t>(index.column())].get();
        Cell probe;
        probe.setObjectValue(source->objectValue(view_, column, nodeOf(index)->item.get()).value_or(Value()));
        return probe.stringValue();
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole || !view_.dataSource())
            return false;
        TableColumn* column = view_.tableColumns()[static_cast<std::size_t>(index.column())].get();
        const bool taken = view_.dataSource()->setObjectValue(view_, Value(value.toString().toStdString()), column, nodeOf(index)->item.get());
        emit dataChanged(index, index);
        return taken;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount({}))
            return {};
        return view_.tableColumns()[static_cast<std::size_t>(section)]->title();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::ItemIsDropEnabled;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
        TableColumn* column = view_.tableColumns()[static_cast<std::size_t>(index.column())].get();
        if (column->isEditable())
            flags |= Qt::ItemIsEditable;
        return flags;
    }

    // Drag and drop: the data source writes and takes the QMimeData itself.
    QStringList mimeTypes() const override { return {QStringLiteral("application/x-vistel-items")}; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override
    {
        OutlineViewDataSource* source = view_.dataSource();
        if (!source)
            return nullptr;
        std::vector<Ref<Object>> items;
        for (const QModelIndex& index : indexes)
            if (index.column() == 0)
                items.push_back(nodeOf(index)->item);
        auto data = std::make_unique<QMimeData>();
        if (!source->writeItems(view_, items, *data).value_or(false))
            return nullptr;
        return data.release();
    }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int, const QModelIndex& parent) const override
    {
        OutlineViewDataSource* source = view_.dataSource();
        return source && data && source->validateDrop(view_, *data, nodeOf(parent)->item.get(), row).value_or(Qt::IgnoreAction) != Qt::IgnoreAction;
    }
    bool dropMimeData(const QMimeData* data, Qt::DropAction, int row, int, const QModelIndex& parent) override
    {
        OutlineViewDataSource* source = view_.dataSource();
        return source && data && source->acceptDrop(view_, *data, nodeOf(parent)->item.get(), row).value_or(false);
    }

private:
    // Whether the items are a table's own row items (a table has one level, so its rows are the
    // root's children).
    bool numberedRows() const { return view_.numberedRowsSource_ && view_.dataSource() == view_.numberedRowsSource_; }
    const TableRowItem* tableRow(const Object* item) const
    {
        return numberedRows() ? dynamic_cast<const TableRowItem*>(item) : nullptr;
    }

    OutlineView& view_;
    OutlineNode root_;
    mutable std::unordered_map<const Object*, OutlineNode*> nodes_;
};

// ---- The one item delegate: draws cells, sizes rows, edits ------------------------------

class OutlineCellDelegate : public QStyledItemDelegate {
public:
    explicit OutlineCellDelegate(OutlineView& view) : QStyledItemDelegate(&view), view_(view) { }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // A group row is one cell across the whole row, drawn with its first column.
        Object* item = view_.model_->nodeOf(index)->item.get();
        const bool group = view_.delegate() && view_.delegate()->isGroupItem(view_, item).value_or(false);
        if (group && index.column() > 0)
            return;
        QRect frame = option.rect;
        if (group)
            frame.setRight(std::max(view_.viewport()->width(), view_.header()->length()) - 1);
        // The row's background and selection, drawn by the style without asking for data.
        QStyleOptionViewItem background = option;
        background.rect = frame;
        background.features = QStyleOptionViewItem::None;
        background.text.clear();
        if ((option.state & QStyle::State_Selected) && view_.delegate()
            && view_.delegate()->highlightSelectionInClipRect(view_, *painter, option.rect).value_or(false))
            background.state &= ~QStyle::State_Selected;
        view_.style()->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, &view_);
        std::unique_ptr<Cell> cell;
        if (view_.trackingCell_ && view_.trackingIndex_ == index)
            cell = view_.trackingCell_->clone();
        else
            cell = view_.preparedCellAtColumn(index.column(), view_.rowOfIndex(index));
        if (!cell)
            return;
        painter->save();
        cell->drawWithFrame(*painter, QRectF(frame), view_);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        double height = view_.rowHeight();
        if (OutlineViewDelegate* delegate = view_.delegate())
            height = delegate->heightOfRowByItem(view_, view_.model_->nodeOf(index)->item.get()).value_or(height);
        const int column = index.column();
        const int width = column >= 0 && column < static_cast<int>(view_.tableColumns().size())
                              ? static_cast<int>(view_.tableColumns()[static_cast<std::size_t>(column)]->width())
                              : 0;
        return {width, std::max(1, static_cast<int>(std::lround(height)))};
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        static_cast<QLineEdit*>(editor)->setText(index.data(Qt::EditRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        committedText_ = static_cast<QLineEdit*>(editor)->text();
        model->setData(index, committedText_, Qt::EditRole);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        std::unique_ptr<Cell> cell = view_.preparedCellAtColumn(index.column(), view_.rowOfIndex(index));
        QRect rect = option.rect;
        if (cell)
            rect = cell->editingRect(QRectF(option.rect), view_).toAlignedRect();
        editor->setGeometry(rect);
    }

    // The movement that ends the edit: Return, Tab, Backtab; Escape abandons.
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: endMovement_ = NSReturnTextMovement; break;
            case Qt::Key_Tab: endMovement_ = NSTabTextMovement; break;
            case Qt::Key_Backtab: endMovement_ = NSBacktabTextMovement; break;
            case Qt::Key_Escape: endMovement_ = -1; break;
            default: break;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
    int takeMovement()
    {
        return std::exchange(endMovement_, NSOtherTextMovement);
    }
    // The text the edit wrote (the editor itself shows the model's value again by then).
    QString takeCommittedText() { return std::exchange(committedText_, QString()); }

private:
    OutlineView& view_;
    int endMovement_ = NSOtherTextMovement;
    mutable QString committedText_;
};

// ---- OutlineView ---------------------------------------------------------------------------

// The rows as laid out: the expanded items top to bottom, rebuilt after a change of shape.
struct OutlineView::Rows {
    bool dirty = true;
    std::vector<OutlineNode*> nodes;
    std::unordered_map<const OutlineNode*, int> rowOfNode;
};

struct OutlineView::Hosted {
    QPointer<QWidget> widget;
    QPersistentModelIndex index;
    bool cover = false;
    bool cellHeight = false;
};

struct OutlineView::Hover {
    QPersistentModelIndex index;
};

OutlineView::OutlineView(QWidget* parent) : QTreeView(parent), rows_(std::make_unique<Rows>())
{
    model_ = new OutlineItemModel(*this);
    cellDelegate_ = new OutlineCellDelegate(*this);
    setModel(model_);
    // The row list follows every change of shape.
    auto shapeChanged = [this] { rows_->dirty = true; };
    QObject::connect(model_, &QAbstractItemModel::modelReset, this, shapeChanged);
    QObject::connect(model_, &QAbstractItemModel::rowsInserted, this, shapeChanged);
    QObject::connect(model_, &QAbstractItemModel::rowsRemoved, this, shapeChanged);
    QObject::connect(model_, &QAbstractItemModel::layoutChanged, this, shapeChanged);
    QObject::connect(this, &QTreeView::expanded, this, shapeChanged);
    QObject::connect(this, &QTreeView::collapsed, this, shapeChanged);
    setItemDelegate(cellDelegate_);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setAllColumnsShowFocus(true);
    // Drags start only when the data source writes the items, drops land only when it accepts.
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    header()->setStretchLastSection(false);
    QObject::connect(header(), &QHeaderView::sectionResized, this, [this](int section, int, int width) {
        if (section < 0 || section >= static_cast<int>(columns_.size()))
            return;
        TableColumn& column = *columns_[static_cast<std::size_t>(section)];
        if (width < column.minWidth()) {
            header()->resizeSection(section, static_cast<int>(std::ceil(column.minWidth())));
            return;
        }
        column.setWidth(width);
        saveColumnWidths();
    });
    QObject::connect(cellDelegate_, &QAbstractItemDelegate::closeEditor, this, [this](QWidget* editor, QAbstractItemDelegate::EndEditHint) {
        const int movement = cellDelegate_->takeMovement();
        const QString text = cellDelegate_->takeCommittedText();
        if (movement < 0 || !delegate_)
            return;
        const QModelIndex index = indexAt(editor->geometry().center());
        if (!index.isValid())
            return;
        TableColumn* column = columns_[static_cast<std::size_t>(index.column())].get();
        delegate_->didEndEditing(*this, column, model_->nodeOf(index)->item.get(),
                                 Value(text.toStdString()), movement);
    });
}

OutlineView::~OutlineView()
{
    // Hosted widgets go while the view is whole: one being edited ends its edit as it loses
    // the focus, and may report it.
    for (Hosted& hosted : hosted_)
        if (hosted.widget && hosted.widget->parentWidget() == viewport())
            delete hosted.widget.data();
    hosted_.clear();
    // Nothing is asked of the data source or delegate while the view goes.
    dataSource_ = nullptr;
    delegate_ = nullptr;
}

void OutlineView::setDataSource(OutlineViewDataSource* dataSource)
{
    dataSource_ = dataSource;
    reloadData();
}

void OutlineView::setDelegate(OutlineViewDelegate* delegate)
{
    delegate_ = delegate;
    if (cellDelegate_)
        emit cellDelegate_->sizeHintChanged({});
    scheduleDelayedItemsLayout();
    viewport()->update();
}

TableColumn& OutlineView::addTableColumn(std::unique_ptr<TableColumn> column)
{
    columns_.push_back(std::move(column));
    model_->columnsChanged();
    TableColumn& added = *columns_.back();
    {
        // Setting up the sections is not a user's resize: nothing is saved here.
        QSignalBlocker block(header());
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            header()->resizeSection(static_cast<int>(i), static_cast<int>(columns_[i]->width()));
            header()->setSectionResizeMode(static_cast<int>(i), columns_[i]->isResizable() ? QHeaderView::Interactive : QHeaderView::Fixed);
        }
    }
    restoreColumnWidths();
    return added;
}

void OutlineView::removeTableColumn(TableColumn& column)
{
    auto found = std::find_if(columns_.begin(), columns_.end(), [&](auto& c) { return c.get() == &column; });
    if (found == columns_.end())
        return;
    columns_.erase(found);
    model_->columnsChanged();
}

TableColumn* OutlineView::tableColumnWithIdentifier(std::string_view identifier) const
{
    for (const auto& column : columns_)
        if (column->identifier() == identifier)
            return column.get();
    return nullptr;
}

int OutlineView::columnIndex(const TableColumn* column) const
{
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].get() == column)
            return static_cast<int>(i);
    return -1;
}

void OutlineView::setAutosaveName(std::string name)
{
    autosaveName_ = std::move(name);
    restoreColumnWidths();
}

void OutlineView::saveColumnWidths()
{
    if (autosaveName_.empty())
        return;
    Value widths = Value::dictionary();
    for (const auto& column : columns_)
        widths.set(column->identifier(), Value(column->width()));
    UserDefaults::standard().setObject(widths, "NSOutlineView Columns " + autosaveName_);
}

void OutlineView::restoreColumnWidths()
{
    if (autosaveName_.empty())
        return;
    const Value widths = UserDefaults::standard().objectForKey("NSOutlineView Columns " + autosaveName_);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Value& width = widths.get(columns_[i]->identifier());
        if (width.isNumber()) {
            const double value = std::max(columns_[i]->minWidth(), width.toDouble());
            columns_[i]->setWidth(value);
            QSignalBlocker block(header());
            header()->resizeSection(static_cast<int>(i), static_cast<int>(value));
        }
    }
}

void OutlineView::reloadData()
{
    trackingCell_.reset();
    hover_.reset();
    model_->reset();
    updateSizeToRows();
}

void OutlineView::reloadItem(Object* item, bool reloadChildren)
{
    OutlineNode* node = model_->nodeForItem(item);
    if (!node)
        return;
    if (reloadChildren) {
        model_->reloadChildren(node);
        updateSizeToRows();
    }
    if (item) {
        const QModelIndex first = model_->indexOfNode(node, 0);
        const QModelIndex last = model_->indexOfNode(node, std::max(0, static_cast<int>(columns_.size()) - 1));
        emit model_->dataChanged(first, last);
    } else {
        viewport()->update();
    }
}

void OutlineView::ensureRows() const
{
    if (!rows_->dirty)
        return;
    rows_->dirty = false;
    rows_->nodes.clear();
    rows_->rowOfNode.clear();
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int row = 0, count = model_->rowCount(parent); row < count; ++row) {
            const QModelIndex index = model_->index(row, 0, parent);
            OutlineNode* node = model_->nodeOf(index);
            rows_->rowOfNode[node] = static_cast<int>(rows_->nodes.size());
            rows_->nodes.push_back(node);
            if (isExpanded(index))
                walk(index);
        }
    };
    walk({});
}

int OutlineView::rowOfIndex(const QModelIndex& index) const
{
    if (!index.isValid())
        return -1;
    if (flatRows_)
        return index.parent().isValid() ? -1 : index.row();
    ensureRows();
    auto found = rows_->rowOfNode.find(model_->nodeOf(index));
    return found == rows_->rowOfNode.end() ? -1 : found->second;
}

QModelIndex OutlineView::indexOfRow(int row, int column) const
{
    if (flatRows_)
        return row >= 0 && row < model_->rowCount({}) ? model_->index(row, column, {}) : QModelIndex();
    ensureRows();
    if (row < 0 || row >= static_cast<int>(rows_->nodes.size()))
        return {};
    return model_->indexOfNode(rows_->nodes[static_cast<std::size_t>(row)], column);
}

int OutlineView::numberOfRows() const
{
    if (flatRows_)
        return model_->rowCount({});
    ensureRows();
    return static_cast<int>(rows_->nodes.size());
}

Object* OutlineView::itemAtRow(int row) const
{
    const QModelIndex index = indexOfRow(row);
    return index.isValid() ? model_->nodeOf(index)->item.get() : nullptr;
}

int OutlineView::rowForItem(const Object* item) const
{
    OutlineNode* node = item ? model_->nodeForItem(item) : nullptr;
    return node ? rowOfIndex(model_->indexOfNode(node)) : -1;
}

Object* OutlineView::parentForItem(const Object* item) const
{
    OutlineNode* node = model_->nodeForItem(item);
    return node && node->parent ? node->parent->item.get() : nullptr;
}

int OutlineView::levelForItem(const Object* item) const
{
    OutlineNode* node = item ? model_->nodeForItem(item) : nullptr;
    if (!node)
        return -1;
    int level = 0;
    for (OutlineNode* parent = node->parent; parent && parent->parent; parent = parent->parent)
        ++level;
    return level;
}

bool OutlineView::isExpandable(const Object* item) const
{
    OutlineNode* node = model_->nodeForItem(item);
    return node && model_->isExpandable(node);
}

bool OutlineView::isItemExpanded(const Object* item) const
{
    OutlineNode* node = item ? model_->nodeForItem(item) : nullptr;
    return node && isExpanded(model_->indexOfNode(node));
}

QModelIndex OutlineView::indexForItem(const Object* item, int column) const
{
    return model_->indexOfNode(model_->nodeForItem(item), column);
}

void OutlineView::postItemNotification(const char* name, Object* item, bool (OutlineViewDelegate::*handler)(const Notification&))
{
    Notification notification {name, Ref<Object>(View::viewObject(this)), Value::dictionary({{"NSObject", Value(Ref<Object>(item))}})};
    NotificationCenter::defaultCenter().postNotification(notification);
    if (delegate_)
        (delegate_->*handler)(notification);
}

void OutlineView::expandOne(const QModelIndex& index, bool expandChildren)
{
    OutlineNode* node = model_->nodeOf(index);
    if (!model_->isExpandable(node))
        return;
    if (!isExpanded(index)) {
        if (delegate_ && !delegate_->shouldExpandItem(*this, node->item.get()).value_or(true))
            return;
        postItemNotification(NSOutlineViewItemWillExpandNotification, node->item.get(), &OutlineViewDelegate::itemWillExpand);
        expand(index);
        postItemNotification(NSOutlineViewItemDidExpandNotification, node->item.get(), &OutlineViewDelegate::itemDidExpand);
    }
    if (expandChildren)
        for (int row = 0, count = model_->rowCount(index); row < count; ++row)
            expandOne(model_->index(row, 0, index), true);
}

void OutlineView::collapseOne(const QModelIndex& index, bool collapseChildren)
{
    OutlineNode* node = model_->nodeOf(index);
    if (collapseChildren && node->childCount > 0)
        for (std::size_t row = 0; row < node->children.size(); ++row)
            if (node->children[row].made)
                collapseOne(model_->indexOfNode(&node->children[row]), true);
    if (!isExpanded(index))
        return;
    if (delegate_ && !delegate_->shouldCollapseItem(*this, node->item.get()).value_or(true))
        return;
    postItemNotification(NSOutlineViewItemWillCollapseNotification, node->item.get(), &OutlineViewDelegate::itemWillCollapse);
    collapse(index);
    postItemNotification(NSOutlineViewItemDidCollapseNotification, node->item.get(), &OutlineViewDelegate::itemDidCollapse);
}

void OutlineView::expandItem(Object* item, bool expandChildren)
{
    if (item) {
        if (OutlineNode* node = model_->nodeForItem(item))
            expandOne(model_->indexOfNode(node), expandChildren);
    } else {
        // Every item: rows revealed on the way are expanded too.
        for (int row = 0, count = model_->rowCount({}); row < count; ++row)
            expandOne(model_->index(row, 0, {}), true);
    }
    updateSizeToRows();
}

void OutlineView::collapseItem(Object* item, bool collapseChildren)
{
    if (item) {
        if (OutlineNode* node = model_->nodeForItem(item))
            collapseOne(model_->indexOfNode(node), collapseChildren);
    } else {
        for (int row = 0, count = model_->rowCount({}); row < count; ++row)
            collapseOne(model_->index(row, 0, {}), true);
    }
    updateSizeToRows();
}

std::vector<int> OutlineView::selectedRowIndexes() const
{
    // Read from the selection's ranges: asking the selection model for its selected rows
    // checks every row against every range.
    std::vector<int> rows;
    const int lastColumn = std::max(0, model_->columnCount({}) - 1);
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (range.left() > 0 || range.right() < lastColumn)
            continue; // part of a row only
        const QModelIndex parent = range.parent();
        if (flatRows_) {
            if (!parent.isValid())
                for (int modelRow = range.top(); modelRow <= range.bottom(); ++modelRow)
                    rows.push_back(modelRow);
            continue;
        }
        for (int modelRow = range.top(); modelRow <= range.bottom(); ++modelRow)
            if (int row = rowOfIndex(model_->index(modelRow, 0, parent)); row >= 0)
                rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int OutlineView::selectedRow() const
{
    std::vector<int> rows = selectedRowIndexes();
    return rows.empty() ? -1 : rows.front();
}

std::vector<Ref<Object>> OutlineView::selectedItems() const
{
    std::vector<Ref<Object>> items;
    for (int row : selectedRowIndexes())
        items.push_back(Ref<Object>(itemAtRow(row)));
    return items;
}

QItemSelection OutlineView::selectionOfRows(std::vector<int> rows) const
{
    // One range per run of rows that are neighbours under one parent, not one per row.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const int lastColumn = std::max(0, model_->columnCount({}) - 1);
    QItemSelection selection;
    if (flatRows_) {
        // Rows are the model's rows: each run needs its two ends only.
        const int count = model_->rowCount({});
        for (std::size_t i = 0; i < rows.size();) {
            std::size_t end = i + 1;
            while (end < rows.size() && rows[end] == rows[end - 1] + 1)
                ++end;
            const int top = std::max(rows[i], 0);
            const int bottom = std::min(rows[end - 1], count - 1);
            if (top <= bottom)
                selection.append(QItemSelectionRange(model_->index(top, 0, {}), model_->index(bottom, lastColumn, {})));
            i = end;
        }
        return selection;
    }
    QModelIndex first;
    QModelIndex last;
    auto close = [&] {
        if (first.isValid())
            selection.append(QItemSelectionRange(first, last.siblingAtColumn(lastColumn)));
    };
    for (int row : rows) {
        const QModelIndex index = indexOfRow(row);
        if (!index.isValid())
            continue;
        if (first.isValid() && index.parent() == last.parent() && index.row() == last.row() + 1) {
            last = index;
            continue;
        }
        close();
        first = last = index;
    }
    close();
    return selection;
}

void OutlineView::selectRowIndexes(const std::vector<int>& rows, bool byExtendingSelection)
{
    const QItemSelection selection = selectionOfRows(rows);
    selectionModel()->select(selection, QItemSelectionModel::Rows
                                            | (byExtendingSelection ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect));
    if (!rows.empty())
        selectionModel()->setCurrentIndex(indexOfRow(rows.back()), QItemSelectionModel::NoUpdate);
}

void OutlineView::deselectAll()
{
    selectionModel()->clearSelection();
}

QRect OutlineView::rectOfRow(int row) const
{
    const QModelIndex index = indexOfRow(row);
    if (!index.isValid())
        return {};
    const QRect cell = visualRect(index);
    return {0, cell.y(), std::max(viewport()->width(), header()->length()), cell.height()};
}

QRect OutlineView::cellFrame(const QModelIndex& index) const
{
    return visualRect(index);
}

QRect OutlineView::frameOfCellAtColumn(int column, int row) const
{
    return cellFrame(indexOfRow(row, column));
}

int OutlineView::rowAtPoint(QPoint point) const
{
    const QModelIndex index = indexAt(point);
    return index.isValid() ? rowOfIndex(index) : -1;
}

int OutlineView::columnAtPoint(QPoint point) const
{
    return header()->logicalIndexAt(point.x());
}

std::pair<int, int> OutlineView::rowsInRect(const QRect& rect) const
{
    const QModelIndex top = indexAt(QPoint(1, rect.top()));
    if (!top.isValid())
        return {-1, 0};
    const int first = rowOfIndex(top);
    int count = 0;
    for (QModelIndex index = top; index.isValid() && visualRect(index).top() <= rect.bottom(); index = indexBelow(index))
        ++count;
    return {first, count};
}

void OutlineView::setNeedsDisplayInRect(const QRect& rect)
{
    viewport()->update(rect);
}

void OutlineView::setRowHeight(double height)
{
    rowHeight_ = height;
    emit cellDelegate_->sizeHintChanged({});
    scheduleDelayedItemsLayout();
}

void OutlineView::noteHeightOfRowsWithIndexesChanged(const std::vector<int>& rows)
{
    // The tree keeps the heights it measured until it lays its rows out again: one layout
    // measures every changed row (announcing each one would lay out once per row).
    if (!rows.empty())
        if (const QModelIndex first = indexOfRow(*std::min_element(rows.begin(), rows.end())); first.isValid())
            emit cellDelegate_->sizeHintChanged(first);
    scheduleDelayedItemsLayout();
    updateSizeToRows();
}

void OutlineView::editColumn(int column, int row)
{
    const QModelIndex index = indexOfRow(row, column);
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

bool OutlineView::isEditing() const
{
    return state() == QAbstractItemView::EditingState;
}

Cell& OutlineView::dataCellForColumn(TableColumn& column, Object* item)
{
    if (delegate_)
        if (Cell* cell = delegate_->dataCellForTableColumn(*this, &column, item).value_or(nullptr))
            return *cell;
    return column.dataCell();
}

std::unique_ptr<Cell> OutlineView::preparedCellAtColumn(int column, int row)
{
    if (column < 0 || column >= static_cast<int>(columns_.size()))
        return nullptr;
    const QModelIndex index = indexOfRow(row, column);
    if (!index.isValid())
        return nullptr;
    TableColumn& tableColumn = *columns_[static_cast<std::size_t>(column)];
    Object* item = model_->nodeOf(index)->item.get();
    std::unique_ptr<Cell> cell = dataCellForColumn(tableColumn, item).clone();
    if (dataSource_)
        cell->setObjectValue(dataSource_->objectValue(*this, &tableColumn, item).value_or(Value()));
    cell->setHighlighted(selectionModel()->isSelected(index));
    if (delegate_)
        delegate_->willDisplayCell(*this, *cell, &tableColumn, item);
    if (hover_ && hover_->index == index)
        cell->mouseEntered();
    return cell;
}

// ---- hosted views --------------------------------------------------------------------------

void OutlineView::hostView(QWidget* widget, int row, int column, bool cover, bool cellHeight)
{
    if (!widget)
        return;
    const QModelIndex index = indexOfRow(row, column);
    auto found = std::find_if(hosted_.begin(), hosted_.end(), [&](const Hosted& h) { return h.widget == widget; });
    if (found == hosted_.end()) {
        hosted_.push_back({widget, index, cover, cellHeight});
        found = hosted_.end() - 1;
    } else {
        found->index = index;
        found->cover = cover;
        found->cellHeight = cellHeight;
    }
    if (widget->parentWidget() != viewport())
        View::addSubview(viewport(), widget);
    placeHostedViews();
}

void OutlineView::removeHostedViews()
{
    // Last first, as they were added.
    for (auto it = hosted_.rbegin(); it != hosted_.rend(); ++it)
        if (it->widget)
            View::removeFromSuperview(it->widget);
    hosted_.clear();
}

std::vector<QWidget*> OutlineView::hostedViews() const
{
    std::vector<QWidget*> views;
    for (const Hosted& hosted : hosted_)
        if (hosted.widget)
            views.push_back(hosted.widget);
    return views;
}

void OutlineView::placeHostedViews()
{
    std::erase_if(hosted_, [](const Hosted& h) { return !h.widget; });
    for (Hosted& hosted : hosted_) {
        QWidget* widget = hosted.widget;
        if (widget->parentWidget() != viewport())
            continue; // taken elsewhere by its owner
        // A view whose row is gone or folded away has no place on screen.
        bool shown = hosted.index.isValid();
        for (QModelIndex parent = hosted.index.parent(); shown && parent.isValid(); parent = parent.parent())
            shown = isExpanded(parent);
        QRect frame = shown ? visualRect(hosted.index) : QRect();
        if (frame.isEmpty()) {
            if (!View::isHidden(widget))
                widget->hide();
            continue;
        }
        if (hosted.cover)
            frame = QRect(0, frame.y(), frame.width() + frame.x(), frame.height());
        if (!hosted.cellHeight)
            frame.setHeight(std::min(frame.height(), std::max(widget->height(), 1)));
        if (widget->geometry() != frame)
            View::setFrame(widget, frame);
        if (widget->isHidden())
            widget->show();
    }
}

void OutlineView::updateGeometries()
{
    QTreeView::updateGeometries();
    placeHostedViews();
}

void OutlineView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    placeHostedViews();
}

// ---- size to rows --------------------------------------------------------------------------

void OutlineView::setSizesHeightToRows(bool sizes)
{
    sizesHeightToRows_ = sizes;
    if (sizes) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    updateSizeToRows();
}

void OutlineView::updateSizeToRows()
{
    if (!sizesHeightToRows_)
        return;
    executeDelayedItemsLayout();
    int height = 0;
    for (QModelIndex index = model_->index(0, 0, {}); index.isValid(); index = indexBelow(index))
        height += QTreeView::rowHeight(index);
    if (!header()->isHidden())
        height += header()->sizeHint().height();
    height += 2 * frameWidth();
    setFixedHeight(height);
}

// ---- selection -----------------------------------------------------------------------------

QItemSelectionModel::SelectionFlags OutlineView::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
    if (command == QItemSelectionModel::NoUpdate || !delegate_)
        return command;
    auto* self = const_cast<OutlineView*>(this);
    if (!delegate_->selectionShouldChange(*self).value_or(true))
        return QItemSelectionModel::NoUpdate;
    if (index.isValid() && !delegate_->shouldSelectItem(*self, model_->nodeOf(index)->item.get()).value_or(true))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void OutlineView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    Notification notification {NSOutlineViewSelectionDidChangeNotification, Ref<Object>(View::viewObject(this)), Value()};
    NotificationCenter::defaultCenter().postNotification(notification);
    if (delegate_)
        delegate_->selectionDidChange(notification);
}

// ---- mouse and keys ------------------------------------------------------------------------

void OutlineView::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    clickedRow_ = index.isValid() ? rowOfIndex(index) : -1;
    clickedColumn_ = index.isValid() ? index.column() : -1;
    if (index.isValid() && event->button() == Qt::LeftButton) {
        const QRect frame = visualRect(index);
        // The disclosure triangle: expand or collapse through our own path.
        if (index.column() == 0 && point.x() < frame.x() && point.x() >= frame.x() - indentation() && model_->hasChildren(index)) {
            OutlineNode* node = model_->nodeOf(index);
            const bool all = event->modifiers() & Qt::AltModifier;
            if (isExpanded(index))
                collapseItem(node->item.get(), all);
            else
                expandItem(node->item.get(), all);
            return;
        }
        // A cell that tracks the mouse takes the press.
        std::unique_ptr<Cell> cell = preparedCellAtColumn(index.column(), clickedRow_);
        if (cell && (cell->hitTest(QPointF(point), QRectF(frame), *this) & NSCellHitTrackableArea)
            && cell->startTracking(QPointF(point), QRectF(frame), *this)) {
            trackingCell_ = std::move(cell);
            trackingIndex_ = index;
            viewport()->update(frame);
            return;
        }
    }
    endHostedEditing();
    QTreeView::mousePressEvent(event);
}

void OutlineView::endHostedEditing()
{
    // A hosted widget that is being edited ends its edit (it loses the focus) before the
    // selection moves, so its value reaches its own row and never the new selection.
    QWidget* focus = QApplication::focusWidget();
    for (const Hosted& hosted : hosted_)
        if (hosted.widget && focus && (focus == hosted.widget || hosted.widget->isAncestorOf(focus))) {
            focus->clearFocus();
            return;
        }
}

void OutlineView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (trackingCell_) {
        const QRect frame = visualRect(trackingIndex_);
        trackingCell_->continueTracking(QPointF(point), QRectF(frame), *this);
        viewport()->update(frame);
        return;
    }
    updateHover(point);
    QTreeView::mouseMoveEvent(event);
}

void OutlineView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (trackingCell_) {
        std::unique_ptr<Cell> cell = std::move(trackingCell_);
        const QRect frame = visualRect(trackingIndex_);
        trackingIndex_ = QPersistentModelIndex();
        cell->stopTracking(QPointF(point), QRectF(frame), *this);
        viewport()->update(frame);
        return;
    }
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && !action().empty())
        Control::sendActionFrom(this, window());
}

void OutlineView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (trackingCell_ || event->button() != Qt::LeftButton) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    // A second press: selection as for a press, then the double action.
    mousePressEvent(event);
    if (trackingCell_)
        return;
    if (!doubleAction_.empty() && clickedRow_ >= 0)
        Responder::sendAction(doubleAction_, target(), this, window());
}

void OutlineView::leaveEvent(QEvent* event)
{
    updateHover(QPoint(-1, -1));
    QTreeView::leaveEvent(event);
}

void OutlineView::updateHover(QPoint point)
{
    // The cell under the mouse whose tracking rectangle holds it, if any.
    QPersistentModelIndex index;
    QRect rect;
    const QModelIndex under = indexAt(point);
    if (under.isValid()) {
        std::unique_ptr<Cell> cell = preparedCellAtColumn(under.column(), rowOfIndex(under));
        const QRect area = cell ? cell->trackingRect(QRectF(visualRect(under)), *this).toAlignedRect() : QRect();
        if (area.contains(point)) {
            index = under;
            rect = visualRect(under);
        }
    }
    const QPersistentModelIndex previous = hover_ ? hover_->index : QPersistentModelIndex();
    if (previous == index)
        return;
    if (hover_)
        viewport()->update(visualRect(hover_->index));
    hover_ = index.isValid() ? std::make_unique<Hover>(Hover {index}) : nullptr;
    if (hover_)
        viewport()->update(rect);
}

void OutlineView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && state() != QAbstractItemView::EditingState) {
        OutlineNode* node = model_->nodeOf(current.siblingAtColumn(0));
        const bool all = event->modifiers() & Qt::AltModifier;
        switch (event->key()) {
        case Qt::Key_Right:
            if (model_->isExpandable(node) && !isExpanded(current.siblingAtColumn(0))) {
                expandItem(node->item.get(), all);
                return;
            }
            break;
        case Qt::Key_Left:
            if (isExpanded(current.siblingAtColumn(0))) {
                collapseItem(node->item.get(), all);
                return;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!doubleAction_.empty()) {
                clickedRow_ = rowForItem(node->item.get());
                clickedColumn_ = current.column();
                Responder::sendAction(doubleAction_, target(), this, window());
                return;
            }
            break;
        default: break;
        }
    }
    QTreeView::keyPressEvent(event);
}

QMenu* OutlineView::menuForRow(int row)
{
    if (!delegate_)
        return nullptr;
    return delegate_->menuForItem(*this, itemAtRow(row)).value_or(nullptr);
}

void OutlineView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    clickedRow_ = index.isValid() ? rowOfIndex(index) : -1;
    clickedColumn_ = index.isValid() ? index.column() : -1;
    if (QMenu* menu = menuForRow(clickedRow_)) {
        menu->popup(event->globalPos());
        event->accept();
        return;
    }
    QTreeView::contextMenuEvent(event);
}

// ---- TableView -----------------------------------------------------------------------------

// Answers the outline's questions from the table's data source and delegate.
class TableView::RowBridge : public OutlineViewDataSource, public OutlineViewDelegate {
public:
    explicit RowBridge(TableView& table) : table_(table) { }

    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override
    {
        if (item || !table_.tableDataSource_)
            return 0;
        return table_.tableDataSource_->numberOfRowsInTableView(table_).value_or(0);
    }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object*) override
    {
        // A row's item stands for its number only: made once and kept for every reload.
        if (index < 0)
            return std::nullopt;
        if (std::size_t(index) >= rows_.size())
            rows_.resize(std::size_t(index) + 1);
        Ref<Object>& row = rows_[std::size_t(index)];
        if (!row)
            row = makeRef<TableRowItem>(index);
        return row;
    }
    std::optional<bool> isItemExpandable(OutlineView&, Object*) override { return false; }
    std::optional<Value> objectValue(OutlineView&, TableColumn* column, Object* item) override
    {
        if (!table_.tableDataSource_)
            return std::nullopt;
        return table_.tableDataSource_->objectValue(table_, column, rowOfItem(item));
    }
    bool setObjectValue(OutlineView&, const Value& value, TableColumn* column, Object* item) override
    {
        return table_.tableDataSource_ && table_.tableDataSource_->setObjectValue(table_, value, column, rowOfItem(item));
    }

    bool willDisplayCell(OutlineView&, Cell& cell, TableColumn* column, Object* item) override
    {
        return table_.tableDelegate_ && table_.tableDelegate_->willDisplayCell(table_, cell, column, rowOfItem(item));
    }
    std::optional<Cell*> dataCellForTableColumn(OutlineView&, TableColumn* column, Object* item) override
    {
        if (!table_.tableDelegate_)
            return std::nullopt;
        return table_.tableDelegate_->dataCellForRow(table_, column, rowOfItem(item));
    }
    std::optional<bool> selectionShouldChange(OutlineView&) override
    {
        return table_.tableDelegate_ ? table_.tableDelegate_->selectionShouldChange(table_) : std::nullopt;
    }
    std::optional<bool> shouldSelectItem(OutlineView&, Object* item) override
    {
        return table_.tableDelegate_ ? table_.tableDelegate_->shouldSelectRow(table_, rowOfItem(item)) : std::nullopt;
    }
    std::optional<bool> shouldEditTableColumn(OutlineView&, TableColumn* column, Object* item) override
    {
        return table_.tableDelegate_ ? table_.tableDelegate_->shouldEditTableColumn(table_, column, rowOfItem(item)) : std::nullopt;
    }
    std::optional<double> heightOfRowByItem(OutlineView&, Object* item) override
    {
        return table_.tableDelegate_ ? table_.tableDelegate_->heightOfRow(table_, rowOfItem(item)) : std::nullopt;
    }
    bool selectionDidChange(const Notification& notification) override
    {
        return table_.tableDelegate_ && table_.tableDelegate_->selectionDidChange(notification);
    }
    std::optional<bool> highlightSelectionInClipRect(OutlineView&, QPainter& painter, const QRect& clip) override
    {
        return table_.tableDelegate_ ? table_.tableDelegate_->highlightSelectionInClipRect(table_, painter, clip) : std::nullopt;
    }

private:
    TableView& table_;
    std::vector<Ref<Object>> rows_;
};

TableView::TableView(QWidget* parent) : OutlineView(parent), bridge_(std::make_unique<RowBridge>(*this))
{
    flatRows_ = true;
    numberedRowsSource_ = bridge_.get();
    setRootIsDecorated(false);
    setIndentation(0);
    setDataSource(bridge_.get());
    setDelegate(bridge_.get());
}

TableView::~TableView()
{
    setDataSource(nullptr);
    setDelegate(nullptr);
}

IndexSet TableView::selectedRowIndexSet() const
{
    IndexSet rows;
    const int lastColumn = std::max(0, model()->columnCount() - 1);
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (!range.parent().isValid() && range.left() == 0 && range.right() >= lastColumn)
            rows.addRange(std::uint64_t(range.top()), std::uint64_t(range.bottom() - range.top() + 1));
    return rows;
}

void TableView::selectRowIndexSet(const IndexSet& rows)
{
    const std::uint64_t count = std::uint64_t(std::max(0, model()->rowCount()));
    const int lastColumn = std::max(0, model()->columnCount() - 1);
    QItemSelection selection;
    int lastRow = -1;
    for (const IndexSet::Range& range : rows.ranges()) {
        if (range.location >= count)
            break;
        lastRow = int(std::min(range.location + range.length, count) - 1);
        selection.append(QItemSelectionRange(indexOfRow(int(range.location)), indexOfRow(lastRow, lastColumn)));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (lastRow >= 0)
        selectionModel()->setCurrentIndex(indexOfRow(lastRow), QItemSelectionModel::NoUpdate);
}

long TableView::rowOfItem(const Object* item)
{
    auto* row = dynamic_cast<const TableRowItem*>(item);
    return row ? row->row : -1;
}

} // namespace vistel
