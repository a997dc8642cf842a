#include "Application/BrowseMode/DetailsViewControl.h"

#include <unicode/udat.h>
#include <unicode/ustring.h>

#include <QApplication>
#include <QDrag>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

#include <memory>
#include <mutex>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Strings/NSWorkspaceCalculations.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Platform/Imaging/ImageRep.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/UserDefaults.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// --- the five shared date formatters ---------------------------------------------------------------

struct DateFormatters {
    std::string locale;
    std::string timeZone;
    std::array<UDateFormat*, DetailsViewControl::DateFormatCount> formats {};

    ~DateFormatters() { close(); }
    void close()
    {
        for (UDateFormat*& format : formats)
            if (format) {
                udat_close(format);
                format = nullptr;
            }
    }
    UDateFormat* format(int index)
    {
        static constexpr std::array<std::pair<UDateFormatStyle, UDateFormatStyle>, DetailsViewControl::DateFormatCount>
            styles {{{UDAT_FULL, UDAT_FULL},
                     {UDAT_LONG, UDAT_LONG},
                     {UDAT_MEDIUM, UDAT_MEDIUM},
                     {UDAT_SHORT, UDAT_SHORT},
                     {UDAT_NONE, UDAT_SHORT}}};
        if (!formats[index]) {
            std::u16string zone(timeZone.begin(), timeZone.end());
            UErrorCode status = U_ZERO_ERROR;
            // udat_open takes the time style first.
            formats[index] = udat_open(styles[index].first, styles[index].second,
                                       locale.empty() ? nullptr : locale.c_str(),
                                       zone.empty() ? nullptr : reinterpret_cast<const UChar*>(zone.c_str()),
                                       zone.empty() ? -1 : int32_t(zone.size()), nullptr, 0, &status);
            if (U_FAILURE(status)) {
                if (formats[index])
                    udat_close(formats[index]);
                formats[index] = nullptr;
            }
        }
        return formats[index];
    }
};

std::mutex& formattersLock()
{
    static std::mutex lock;
    return lock;
}

DateFormatters& formatters()
{
    static DateFormatters shared;
    return shared;
}

// The picture scaled into a square of `side`, centred on a clear ground: every row's name then
// starts at the same place, whatever the shape of its picture.
QImage squareImage(const QImage& picture, int side)
{
    if (picture.isNull())
        return {};
    QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage(QPoint((side - picture.width()) / 2, (side - picture.height()) / 2), picture);
    return square;
}

QImage imageOf(const Ref<MultiImage>& image, QSize size)
{
    if (!image)
        return {};
    Ref<ImageRep> rep = image->bestRepresentationForSize(QSizeF(size));
    Ref<PlatformImage> pixels = rep ? rep->cgImage() : Ref<PlatformImage> {};
    if (!pixels)
        return {};
    QImage picture = pixels->toQImage();
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return {};
    return picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool showsPadlock(FileSystemItemMO* item)
{
    if (auto* volume = dynamic_cast<FileSystemVolumeMO*>(item))
        return volume->isVolumeRemovable() && !volume->isWritable();
    return item && item->isLocked();
}

// The columns: identifier, title, minimum width, width (0: the table's default).
struct ColumnSpec {
    const char* identifier;
    const char* title;
    double minWidth;
    double width;
};
constexpr ColumnSpec columnSpecs[] = {
    {"name", "Name", 100, 0},
    {"size", "Size", 30, 70},
    {"itemtype", "Type", 30, 140},
    {"mdate", "Modification Date", 50, 160},
};

} // namespace

// --- the table ------------------------------------------------------------------------------------------

DetailViewControlTableView::DetailViewControlTableView(DetailsViewControl& control, QWidget* parent)
    : TableView(parent), control_(control)
{
    setDragDropMode(QAbstractItemView::DragOnly);
    setAcceptDrops(false); // drops go to the control
}

IndexSet DetailViewControlTableView::selectedItemsIndexes() const
{
    return selectedRowIndexSet();
}

void DetailViewControlTableView::setSelectedItemIndexes(const IndexSet& indexes)
{
    if (indexes == selectedItemsIndexes())
        return;
    selectRowIndexSet(indexes);
}

bool DetailViewControlTableView::viewportEvent(QEvent* event)
{
    const bool handled = TableView::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        control_.fitNameColumn();
    return handled;
}

QMenu* DetailViewControlTableView::menuForRow(int row)
{
    controlClickedRow_ = row;
    controlClickedColumn_ = clickedColumn();
    QMenu* menu = control_.itemsViewPerformControlClick(this);
    if (menu)
        menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

void DetailViewControlTableView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Return with a modifier does nothing.
        control_.performKeyEquivalent(event->key(), event->modifiers());
        event->accept();
        return;
    }
    TableView::keyPressEvent(event);
}

void DetailViewControlTableView::startDrag(Qt::DropActions)
{
    const IndexSet rows = selectedItemsIndexes();
    if (rows.empty())
        return;
    IndexSet listed;
    const unsigned count = control_.foldersObjectsCount();
    rows.enumerate([&](std::uint64_t row) {
        if (row >= count)
            return false;
        listed.addIndex(row);
        return true;
    });
    auto data = std::make_unique<QMimeData>();
    if (listed.empty() || !control_.copyItemsToDrag(listed, *data))
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    // Whatever the receiver did (a move included) is done: nothing is deleted here.
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

// --- the control --------------------------------------------------------------------------------------

DetailsViewControl::DetailsViewControl(QWidget* parent) : ItemsViewControl(parent)
{
    table_ = new DetailViewControlTableView(*this, this);
    table_->setFont(cellFont());
    for (const ColumnSpec& spec : columnSpecs) {
        auto column = std::make_unique<TableColumn>(spec.identifier);
        column->setTitle(QString::fromStdString(ZOV_TRANSLATE(spec.title, "new")));
        column->setMinWidth(spec.minWidth);
        if (spec.width > 0)
            column->setWidth(spec.width);
        column->setEditable(false);
        column->setResizable(true);
        if (std::string_view(spec.identifier) == "name") {
            column->setDataCell(std::make_unique<ImageAndTextCell>());
        } else {
            auto cell = std::make_unique<Cell>();
            if (std::string_view(spec.identifier) == "size")
                cell->setAlignment(Qt::AlignRight);
            column->setDataCell(std::move(cell));
        }
        table_->addTableColumn(std::move(column));
    }
    table_->setRowHeight(20);
    table_->setUniformRowHeights(true); // every row is one line: no row's height is asked
    table_->setAlternatingRowColors(true);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    const std::string autosaveName(zovClass().name());
    fitNameColumn_ = !UserDefaults::standard().objectForKey("NSOutlineView Columns " + autosaveName).isDictionary();
    table_->header()->setStretchLastSection(false);
    if (fitNameColumn_)
        fitDateColumnToMediumStyle();
    table_->setAutosaveName(autosaveName);
    QObject::connect(table_->header(), &QHeaderView::sectionResized, this, [this] {
        if (!fittingNameColumn_)
            fitNameColumn_ = false; // the user sized a column: the layout is theirs from now on
    });
    table_->setTableDataSource(this);
    table_->setTableDelegate(this);
    table_->setTarget(this);
    table_->setAction("itemsViewPerformClick:");
    table_->setDoubleAction("itemsViewPerformDoubleClick:");
    setActionHandler("itemsViewPerformClick:", [this](QObject* sender) {
        itemsViewPerformClick(dynamic_cast<QWidget*>(sender));
    });
    setActionHandler("itemsViewPerformDoubleClick:", [this](QObject* sender) {
        itemsViewPerformDoubleClick(dynamic_cast<QWidget*>(sender));
    });
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(table_);
}

DetailsViewControl::~DetailsViewControl()
{
    table_->setTableDataSource(nullptr);
    table_->setTableDelegate(nullptr);
}

QFont DetailsViewControl::cellFont()
{
    QFont font = QApplication::font();
    const double size = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
    font.setPointSizeF(std::max(6.0, size - 1));
    return font;
}

void DetailsViewControl::fitDateColumnToMediumStyle()
{
    TableColumn* date = table_->tableColumnWithIdentifier("mdate");
    if (!date)
        return;
    // A wide example: a two-digit day and hour in a month with a long abbreviation.
    const Date example {1'790'636'338}; // 28 Sep 2026, 22:58:58 UTC
    const QFontMetricsF metrics(date->dataCell().font(table_));
    const double needed = std::ceil(metrics.horizontalAdvance(QString::fromStdString("  " + formattedDate(example, 2)))) + 8;
    if (needed > date->width()) {
        date->setWidth(needed);
        table_->header()->resizeSection(table_->columnIndex(date), int(needed));
    }
}

void DetailsViewControl::fitNameColumn()
{
    TableColumn* name = table_->tableColumnWithIdentifier("name");
    if (!fitNameColumn_ || !name || table_->viewport()->width() <= 0)
        return;
    const int section = table_->columnIndex(name);
    int others = 0;
    for (int i = 0; i < table_->header()->count(); ++i)
        if (i != section && !table_->header()->isSectionHidden(i))
            others += table_->header()->sectionSize(i);
    const int width = std::max(int(std::ceil(name->minWidth())), table_->viewport()->width() - others);
    if (width == table_->header()->sectionSize(section))
        return;
    fittingNameColumn_ = true;
    table_->header()->resizeSection(section, width);
    fittingNameColumn_ = false;
}

void DetailsViewControl::reloadData()
{
    ItemsViewControl::reloadData();
    const IndexSet selected = selectedItemsIndexes();
    copyingSelection_ = true;
    table_->setSelectedItemIndexes(selected);
    copyingSelection_ = false;
    if (!selected.empty())
        scrollToItemWithIndex(unsigned(selected.lastIndex()));
}

void DetailsViewControl::updateItemWithIndex(unsigned index)
{
    if (int(index) >= table_->numberOfRows())
        return;
    const QRect rect = table_->rectOfRow(int(index));
    if (!rect.isEmpty())
        table_->setNeedsDisplayInRect(rect);
}

IndexSet DetailsViewControl::visibleItemsIndexSet() const
{
    const auto [first, count] = table_->rowsInRect(table_->viewport()->rect());
    return count > 0 && first >= 0 ? IndexSet::withRange(std::uint64_t(first), std::uint64_t(count)) : IndexSet {};
}

void DetailsViewControl::scrollToItemWithIndex(unsigned index)
{
    if (int(index) < table_->numberOfRows())
        table_->scrollTo(table_->indexOfRow(int(index)));
}

void DetailsViewControl::handleBrowsingSelectionNotifications(const Notification& notification)
{
    const Value& info = notification.userInfo;
    if (isViewActive() && info.contains(kObjectsChangesBitmap) && info[kObjectsChangesBitmap].toInt64() == 1) {
        copyingSelection_ = true;
        table_->setSelectedItemIndexes(selectedItemsIndexes());
        copyingSelection_ = false;
        return;
    }
    ItemsViewControl::handleBrowsingSelectionNotifications(notification);
}

Ref<FileSystemItemMO> DetailsViewControl::dropFolderForDrop(QPoint point) const
{
    const QPoint inTable = table_->viewport()->mapFrom(this, point);
    const int row = table_->rowAtPoint(inTable);
    if (row >= 0 && unsigned(row) < foldersObjectsCount())
        if (Ref<FileSystemItemMO> object = foldersObjectAtIndex(unsigned(row)); object && object->isFolder())
            return object;
    return ItemsViewControl::dropFolderForDrop(point);
}

bool DetailsViewControl::performKeyEquivalent(int key, Qt::KeyboardModifiers modifiers)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    if (modifiers & ~Qt::KeypadModifier)
        return false;
    itemsViewPerformDoubleClick(this);
    return true;
}

// --- cells ------------------------------------------------------------------------------------------

std::string DetailsViewControl::formattedDate(const Date& date, int formatIndex)
{
    std::lock_guard lock(formattersLock());
    UDateFormat* format = formatters().format(std::clamp(formatIndex, 0, DateFormatCount - 1));
    if (!format)
        return {};
    std::u16string text(128, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const UDate when = date.secondsSince1970 * 1000.0;
    int32_t length = udat_format(format, when, reinterpret_cast<UChar*>(text.data()), int32_t(text.size()), nullptr,
                                 &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        text.assign(std::size_t(length) + 1, u'\0');
        status = U_ZERO_ERROR;
        length = udat_format(format, when, reinterpret_cast<UChar*>(text.data()), int32_t(text.size()), nullptr,
                             &status);
    }
    if (U_FAILURE(status))
        return {};
    text.resize(std::size_t(length));
    return QString::fromStdU16String(text).toStdString();
}

void DetailsViewControl::setDateFormatLocale(const std::string& locale, const std::string& timeZone)
{
    std::lock_guard lock(formattersLock());
    formatters().close();
    formatters().locale = locale;
    formatters().timeZone = timeZone;
}

std::string DetailsViewControl::cellText(const std::string& column, long row)
{
    if (!isViewActive() || row < 0)
        return {};
    Ref<FileSystemItemMO> object = foldersObjectAtIndex(unsigned(row));
    if (!object)
        return {};
    if (column == "name")
        return " " + object->displayName();
    if (column == "size") {
        if (object->isFolder())
            return {};
        return "  " + NSWorkspaceCalculations::sizeStringForSize(object->size().value_or(0), 4096);
    }
    if (column == "itemtype")
        return "  " + (object->isFolder() ? ZOV_TRANSLATE("Folder", "tableView:objectValueForTableColumn:row:")
                                          : object->userKind().value_or(""));
    if (column == "mdate") {
        const std::optional<Date> date = object->modificationDate();
        if (!date)
            return {};
        TableColumn* dateColumn = table_->tableColumnWithIdentifier("mdate");
        const int width = dateColumn ? int(dateColumn->width()) : 0;
        if (width != cachedDateColumnWidth_ || cachedDateFormatIndex_ < 0) {
            cachedDateColumnWidth_ = width;
            const QFontMetricsF metrics(dateColumn ? dateColumn->dataCell().font(table_) : cellFont());
            int index = 0;
            while (index < DateFormatCount - 1
                   && metrics.horizontalAdvance(QString::fromStdString("  " + formattedDate(*date, index))) > width)
                ++index;
            cachedDateFormatIndex_ = index;
        }
        return "  " + formattedDate(*date, cachedDateFormatIndex_);
    }
    return {};
}

std::optional<Value> DetailsViewControl::objectValue(TableView&, TableColumn* column, long row)
{
    if (!column || !isViewActive())
        return Value();
    return Value(cellText(column->identifier(), row));
}

bool DetailsViewControl::willDisplayCell(TableView&, Cell& cell, TableColumn*, long row)
{
    cell.setFont(cellFont());
    auto* imageCell = dynamic_cast<ImageAndTextCell*>(&cell);
    if (!imageCell)
        return true;
    Ref<FileSystemItemMO> object = row >= 0 ? foldersObjectAtIndex(unsigned(row)) : Ref<FileSystemItemMO> {};
    if (!object || !isViewActive()) {
        imageCell->setImage(QImage());
        imageCell->setShowPadlock(false);
        return true;
    }
    const QSize side(NameImageSide, NameImageSide);
    QImage image = object->isFolder() ? QImage() : imageOf(object->thumbnailImage(), side);
    if (image.isNull())
        image = imageOf(object->iconImage(), side);
    imageCell->setImage(squareImage(image, NameImageSide));
    imageCell->setShowPadlock(showsPadlock(object.get()));
    return true;
}

bool DetailsViewControl::selectionDidChange(const Notification&)
{
    if (copyingSelection_ || !isViewActive())
        return true;
    const IndexSet rows = table_->selectedItemsIndexes();
    if (rows != selectedItemsIndexes())
        setSelectedItemsIndexes(rows);
    return true;
}

} // namespace vistel
