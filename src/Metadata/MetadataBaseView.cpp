#include "Metadata/MetadataBaseView.h"

#include <QApplication>
#include <QHeaderView>

namespace vistel {

namespace {

// The text size of mini controls.
constexpr double MiniFontPointSize = 9.0;
constexpr double RowHeight = 14.0;
constexpr int IndentPerLevel = 10;

QFont miniSystemFont()
{
    QFont font = QApplication::font();
    font.setPointSizeF(MiniFontPointSize);
    return font;
}

} // namespace

MetadataBaseView::MetadataBaseView(const QRect& frame, int firstColumnWidth, QWidget* parent)
    : MetadataBaseView(frame, newMetadataTable(firstColumnWidth), parent)
{
}

MetadataBaseView::MetadataBaseView(const QRect& frame, OutlineView* metadataList, QWidget* parent)
    : QScrollArea(parent), metadataList_(metadataList)
{
    setGeometry(frame);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    // The lists draw their own background; the scroll area none.
    viewport()->setAutoFillBackground(false);
    setWidget(metadataList);
}

MetadataBaseView::~MetadataBaseView()
{
    // The lists go after this object: they must not call back into it.
    MetadataBaseView::setDelegate(nullptr);
    MetadataBaseView::setDataSource(nullptr);
}

OutlineView* MetadataBaseView::newMetadataTable(int firstColumnWidth)
{
    auto* table = new OutlineView;
    configureMetadataTable(*table, firstColumnWidth);
    return table;
}

void MetadataBaseView::configureMetadataTable(OutlineView& table, int firstColumnWidth)
{
    table.setGeometry(0, 0, 20, 20);
    table.setFocusPolicy(Qt::NoFocus); // clicks never move the keyboard focus into it
    table.setIndentation(IndentPerLevel);
    table.setRowHeight(RowHeight);
    table.setHeaderHidden(true);
    table.setFrameShape(QFrame::NoFrame);
    table.setAction("outlineViewClick:");
    table.setDoubleAction("outlineViewDoubleClick:");

    QPalette palette = table.palette();
    const QColor grey = QColor::fromRgbF(0.75f, 0.75f, 0.75f, 1.0f);
    palette.setColor(QPalette::Base, grey);
    palette.setColor(QPalette::AlternateBase, grey);
    table.setPalette(palette);
    table.setAutoFillBackground(true);

    Cell nameCell;
    nameCell.setFont(miniSystemFont());
    nameCell.setLineBreakMode(Qt::ElideRight);
    nameCell.setEditable(false);
    nameCell.setAlignment(Qt::AlignRight);
    auto valueCell = nameCell.clone();
    valueCell->setAlignment(Qt::AlignLeft);

    auto name = std::make_unique<TableColumn>(MetadataProvider::ColumnName);
    name->setDataCell(nameCell.clone());
    name->setWidth(firstColumnWidth);
    name->setResizable(true); // by the user only
    name->setEditable(false);
    table.addTableColumn(std::move(name));
    auto value = std::make_unique<TableColumn>(MetadataProvider::ColumnValue);
    value->setDataCell(std::move(valueCell));
    value->setEditable(false);
    table.addTableColumn(std::move(value));
    // The value column follows the table's width.
    table.header()->setStretchLastSection(true);
    table.setSizesHeightToRows(true);
}

void MetadataBaseView::setDataSource(OutlineViewDataSource* dataSource)
{
    if (metadataList_)
        metadataList_->setDataSource(dataSource);
}

OutlineViewDataSource* MetadataBaseView::dataSource() const
{
    return metadataList_ ? metadataList_->dataSource() : nullptr;
}

void MetadataBaseView::setDelegate(OutlineViewDelegate* delegate)
{
    if (metadataList_)
        metadataList_->setDelegate(delegate);
}

OutlineViewDelegate* MetadataBaseView::delegate() const
{
    return metadataList_ ? metadataList_->delegate() : nullptr;
}

void MetadataBaseView::expand()
{
    if (metadataList_)
        metadataList_->expandItem(nullptr, true);
}

void MetadataBaseView::reloadData()
{
    if (metadataList_)
        metadataList_->reloadData();
}

void MetadataBaseView::reloadItem(Object* item)
{
    if (metadataList_)
        metadataList_->reloadItem(item);
}

void MetadataBaseView::setDataProvider(Ref<MetadataProvider> provider)
{
    provider_ = std::move(provider);
    if (provider_) {
        setDelegate(this);
        setDataSource(this);
    } else {
        setDelegate(nullptr);
        setDataSource(nullptr);
    }
}

MetadataValue* MetadataBaseView::valueOf(Object* item)
{
    return dynamic_cast<MetadataValue*>(item);
}

std::optional<long> MetadataBaseView::numberOfChildrenOfItem(OutlineView&, Object* item)
{
    if (!provider_)
        return 0;
    return static_cast<long>(provider_->numberOfChildrenOfItem(valueOf(item)));
}

std::optional<Ref<Object>> MetadataBaseView::child(OutlineView&, long index, Object* item)
{
    if (!provider_ || index < 0)
        return Ref<Object>();
    return Ref<Object>(provider_->childOfItem(static_cast<std::size_t>(index), valueOf(item)));
}

std::optional<bool> MetadataBaseView::isItemExpandable(OutlineView&, Object* item)
{
    return provider_ && provider_->isItemExpandable(valueOf(item));
}

std::optional<Value> MetadataBaseView::objectValue(OutlineView& view, TableColumn* column, Object* item)
{
    if (!provider_ || !column)
        return Value();
    Value value = provider_->objectValueForColumnID(column->identifier(), valueOf(item));
    if (column->identifier() == MetadataProvider::ColumnName && value.isString() && !isGroupItem(view, item).value_or(false))
        return Value(value.asString() + ":");
    return value;
}

std::optional<bool> MetadataBaseView::isGroupItem(OutlineView&, Object* item)
{
    return provider_ && provider_->isGroupItem(valueOf(item));
}

bool MetadataBaseView::willDisplayCell(OutlineView& view, Cell& cell, TableColumn* column, Object* item)
{
    if (item && column && column->identifier() == MetadataProvider::ColumnName)
        cell.setAlignment(isGroupItem(view, item).value_or(false) ? Qt::AlignLeft : Qt::AlignRight);
    return true;
}

std::optional<bool> MetadataBaseView::selectionShouldChange(OutlineView&)
{
    return true;
}

std::optional<bool> MetadataBaseView::shouldSelectItem(OutlineView& view, Object* item)
{
    return !isGroupItem(view, item).value_or(false);
}

} // namespace vistel
