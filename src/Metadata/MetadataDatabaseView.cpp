#include "Metadata/MetadataDatabaseView.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimeZone>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Views/CustomTables/NSControlContainer.h"
#include "Common/Views/CustomTables/TableButtonCell.h"
#include "Common/Views/RatingStars.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/Pasteboard.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr int kCategoriesMinimumHeight = 60;
// The labelled container: label at (4, 6) 60 × 16, control at (68, 4) 20 high, 12 from the right.
constexpr QRect kContainerFrame {0, 0, 100, 28};
constexpr QRect kLabelFrame {4, 6, 60, 16};
constexpr QRect kControlFrame {68, 4, 20, 20};
// A date edit at its earliest shows nothing: the row has no date.
const QDateTime kNoDate(QDate(1900, 1, 1), QTime(0, 0));

// The text sizes of small and mini controls.
QFont systemFontOfSize(double pointSize)
{
    QFont font = QApplication::font();
    font.setPointSizeF(pointSize);
    return font;
}
QFont smallFont() { return systemFontOfSize(11.0); }
QFont miniFont() { return systemFontOfSize(9.0); }

// The number a stored value holds: a number, or the leading number of its text.
std::optional<double> numberOfValue(const Value& value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.isString()) {
        const std::string& text = value.asString();
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || !std::isfinite(number))
            return std::nullopt;
        return number;
    }
    return value.toDouble();
}

bool containsFocus(const QWidget* widget)
{
    const QWidget* focus = QApplication::focusWidget();
    return widget && focus && (focus == widget || widget->isAncestorOf(focus));
}

FileSystemItemMOCategory* categoryOf(Object* item)
{
    return dynamic_cast<FileSystemItemMOCategory*>(item);
}

} // namespace

// ---- the control a value row hosts, found through the value's user data ----------------------

// Weak: the control's notificator holds the value, so the view owns the controls and drops them
// with their provider.
class MetadataDatabaseView::HostedControl : public Object {
public:
    explicit HostedControl(QWidget* view) : view_(view) { }
    QWidget* view() const { return view_.data(); }

private:
    QPointer<QWidget> view_;
};

// ---- the category tree's outline: one row selected, names edited in place -------------------

class MetadataDatabaseView::CategoriesOutlineView : public OutlineView {
public:
    explicit CategoriesOutlineView(std::function<void(Object*)> editingBegins) : editingBegins_(std::move(editingBegins)) { }

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override
    {
        // The root row ("Category") is no category to rename.
        Object* item = itemAtRow(rowOfIndex(index));
        if (index.isValid() && (!categoryOf(item) || !parentForItem(item)))
            return false;
        const bool editing = OutlineView::edit(index, trigger, event);
        if (editing && isEditing() && editingBegins_)
            editingBegins_(item);
        return editing;
    }

private:
    std::function<void(Object*)> editingBegins_;
};

// ---- set-up ---------------------------------------------------------------------------------

OutlineView* MetadataDatabaseView::newMetadataTable(int firstColumnWidth)
{
    auto* table = new OutlineView;
    table->setGeometry(0, 0, 20, 20);
    table->setFocusPolicy(Qt::NoFocus);
    table->setIndentation(10);
    table->setHeaderHidden(true);
    table->setFrameShape(QFrame::NoFrame);
    table->setAutoFillBackground(true);
    table->setAction("outlineViewClick:");
    table->setDoubleAction("outlineViewDoubleClick:");
    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    table->setPalette(palette);
    auto column = std::make_unique<TableColumn>(MetadataProvider::ColumnName);
    auto cell = std::make_unique<TableViewNSViewContainerCell>();
    cell->setCoverOutlineCell(true);
    cell->setChangeViewHeight(false);
    cell->setFont(miniFont());
    cell->setLineBreakMode(Qt::ElideRight);
    cell->setEditable(false);
    cell->setAlignment(Qt::AlignLeft);
    column->setDataCell(std::move(cell));
    column->setEditable(false);
    column->setWidth(firstColumnWidth);
    table->addTableColumn(std::move(column));
    table->header()->setStretchLastSection(true);
    return table;
}

OutlineView* MetadataDatabaseView::newMetadataTableCategories(int firstColumnWidth)
{
    auto* table = new CategoriesOutlineView([this](Object* item) {
        categoryEditing_ = true;
        editedCategory_ = Ref<FileSystemItemMOCategory>(categoryOf(item));
    });
    table->setGeometry(0, 0, 20, 20);
    table->setIndentation(12);
    table->setRowHeight(14);
    table->setHeaderHidden(true);
    table->setFrameShape(QFrame::NoFrame);
    table->setAction("outlineViewClick:");
    table->setDoubleAction("outlineViewDoubleClick:");
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto column = std::make_unique<TableColumn>(MetadataProvider::ColumnValue);
    auto cell = std::make_unique<TableButtonCell>();
    cell->setEditable(true);
    cell->setFont(miniFont());
    cell->setAction("categoryChanged:");
    column->setDataCell(std::move(cell));
    column->setEditable(true);
    column->setWidth(firstColumnWidth);
    table->addTableColumn(std::move(column));
    table->header()->setStretchLastSection(true);
    return table;
}

MetadataDatabaseView::MetadataDatabaseView(const QRect& frame, int firstColumnWidth, QWidget* parent)
    : MetadataBaseView(frame, newMetadataTable(firstColumnWidth), parent)
{
    OutlineView* list = metadataList();
    metadataListAdapter_ = std::make_unique<NSViewContainerCellAdapter>(*list);
    list->setSizesHeightToRows(true);

    const int barHeight = GTBottomToolbarStyle::toolbarHeight();
    toolbar_ = GTBottomToolbarStyle::newToolbarViewWithFrame(QRect(0, 1 - barHeight, frame.width(), barHeight));
    buttonsStatusUpdater_ = std::make_unique<ZovButtonsStatusUpdater>(*this, *this, toolbar_);
    // The buttons act on this tree wherever the keyboard focus is.
    for (std::uint32_t identifier : {CreateCategoryControl, DeleteCategoryControl})
        if (auto* control = dynamic_cast<Control*>(buttonsStatusUpdater_->controlWithID(identifier)))
            control->setTarget(this);

    documentView_ = new QWidget;
    documentView_->setGeometry(0, 0, 1, 1);
    documentView_->setAutoFillBackground(true);
    QPalette white = documentView_->palette();
    white.setColor(QPalette::Window, Qt::white);
    documentView_->setPalette(white);

    auto* categories = static_cast<CategoriesOutlineView*>(newMetadataTableCategories(firstColumnWidth));
    categories->outlineTableColumn()->dataCell().setTarget(this);
    categoriesList_ = categories;
    rootCell_.setFont(miniFont());
    rootCell_.setEditable(false);

    // An edit abandoned with Escape ends without a name: the row shows again.
    QObject::connect(categories->itemDelegate(), &QAbstractItemDelegate::closeEditor, categories, [this] {
        if (categoriesList_ && !categoriesList_->isEditing()) {
            categoryEditing_ = false;
            editedCategory_ = nullptr;
        }
    });

    // The scroll area shows the document: the value rows, the tree under them, the bar last.
    if (QWidget* previous = takeWidget(); previous && previous != list)
        previous->deleteLater();
    list->setParent(documentView_);
    categories->setParent(documentView_);
    toolbar_->setParent(documentView_);
    list->show();
    categories->show();
    toolbar_->show();
    list->installEventFilter(this);
    documentView_->installEventFilter(this);
    setWidget(documentView_);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    setActionHandler("categoryChanged:", [this](QObject* sender) { categoryChanged(sender); });
    setActionHandler("onCreateCategoryAction:", [this](QObject* sender) { onCreateCategoryAction(sender); });
    setActionHandler("onDeleteCategoryAction:", [this](QObject* sender) { onDeleteCategoryAction(sender); });
    setActionHandler("delete:", [this](QObject* sender) { onDeleteCategoryAction(sender); });
    layoutDocument();
}

MetadataDatabaseView::~MetadataDatabaseView()
{
    dropControls();
    if (OutlineView* list = metadataList())
        list->removeEventFilter(this);
    if (documentView_)
        documentView_->removeEventFilter(this);
    if (categoriesList_) {
        categoriesList_->setDelegate(nullptr);
        categoriesList_->setDataSource(nullptr);
    }
    if (metadataListAdapter_)
        metadataListAdapter_->setDelegate(nullptr);
    metadataListAdapter_ = nullptr;
}

void MetadataDatabaseView::setDataProvider(Ref<MetadataProvider> provider)
{
    if (provider.get() != dataProvider())
        dropControls();
    MetadataBaseView::setDataProvider(std::move(provider));
}

void MetadataDatabaseView::dropControls()
{
    if (OutlineView* list = metadataList())
        list->removeHostedViews();
    for (const QPointer<QWidget>& control : controls_)
        if (QWidget* view = control.data()) {
            if (containsFocus(view))
                view->clearFocus();
            delete view;
        }
    controls_.clear();
}

// ---- layout ---------------------------------------------------------------------------------

void MetadataDatabaseView::layoutDocument()
{
    OutlineView* list = metadataList();
    if (!documentView_ || !list || !categoriesList_ || !toolbar_)
        return;
    const int barHeight = GTBottomToolbarStyle::toolbarHeight();
    const int rowsHeight = list->height();
    const int minimum = rowsHeight + kCategoriesMinimumHeight + barHeight;
    if (documentView_->minimumHeight() != minimum)
        documentView_->setMinimumHeight(minimum);
    const int width = documentView_->width();
    const int height = std::max(documentView_->height(), minimum);
    list->setGeometry(0, 0, width, rowsHeight);
    categoriesList_->setGeometry(0, rowsHeight, width, height - rowsHeight - barHeight);
    toolbar_->setGeometry(0, height - barHeight, width, barHeight);
}

void MetadataDatabaseView::resizeEvent(QResizeEvent* event)
{
    MetadataBaseView::resizeEvent(event);
    layoutDocument();
}

bool MetadataDatabaseView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && (watched == metadataList() || watched == documentView_.data()))
        layoutDocument();
    return MetadataBaseView::eventFilter(watched, event);
}

// ---- forwarding -----------------------------------------------------------------------------

void MetadataDatabaseView::setDataSource(OutlineViewDataSource* dataSource)
{
    if (metadataListAdapter_)
        metadataListAdapter_->setDataSource(dataSource ? static_cast<MetadataBaseView*>(this) : nullptr);
    if (categoriesList_)
        categoriesList_->setDataSource(dataSource ? static_cast<MetadataBaseView*>(this) : nullptr);
}

void MetadataDatabaseView::setDelegate(OutlineViewDelegate* delegate)
{
    attached_ = delegate != nullptr;
    if (metadataListAdapter_)
        metadataListAdapter_->setDelegate(delegate ? static_cast<TableViewNSViewContainerDelegateProtocol*>(this) : nullptr);
    if (categoriesList_)
        categoriesList_->setDelegate(delegate ? static_cast<MetadataBaseView*>(this) : nullptr);
}

void MetadataDatabaseView::expand()
{
    if (OutlineView* list = metadataList())
        list->expandItem(nullptr, true);
    if (categoriesList_)
        categoriesList_->expandItem(nullptr, true);
}

void MetadataDatabaseView::reloadData()
{
    if (metadataListAdapter_)
        metadataListAdapter_->reloadData();
    if (categoriesList_)
        categoriesList_->reloadData();
    layoutDocument();
}

void MetadataDatabaseView::reloadItem(Object* item)
{
    OutlineView* list = metadataList();
    if (list && list->rowForItem(item) >= 0)
        list->reloadItem(item);
    else if (categoriesList_ && categoriesList_->rowForItem(item) >= 0)
        categoriesList_->reloadItem(item);
}

// ---- data source ----------------------------------------------------------------------------

std::optional<long> MetadataDatabaseView::numberOfChildrenOfItem(OutlineView& view, Object* item)
{
    if (isCategoriesList(view)) {
        if (!item)
            return FileSystemItemMOCategory::rootCategory() ? 1 : 0;
        FileSystemItemMOCategory* category = categoryOf(item);
        return category ? category->numberOfChildren() : 0;
    }
    if (isMetadataList(view))
        return MetadataBaseView::numberOfChildrenOfItem(view, item);
    return 0;
}

std::optional<Ref<Object>> MetadataDatabaseView::child(OutlineView& view, long index, Object* item)
{
    if (isCategoriesList(view)) {
        if (!item)
            return Ref<Object>(FileSystemItemMOCategory::rootCategory());
        FileSystemItemMOCategory* category = categoryOf(item);
        if (!category || index < 0 || index >= category->numberOfChildren())
            return Ref<Object>();
        return Ref<Object>(category->childAtIndex(index));
    }
    if (isMetadataList(view))
        return MetadataBaseView::child(view, index, item);
    return Ref<Object>();
}

std::optional<bool> MetadataDatabaseView::isItemExpandable(OutlineView& view, Object* item)
{
    if (isCategoriesList(view)) {
        FileSystemItemMOCategory* category = categoryOf(item);
        return category && (!view.parentForItem(item) || category->numberOfChildren() > 0);
    }
    if (isMetadataList(view))
        return MetadataBaseView::isItemExpandable(view, item);
    return false;
}

std::optional<Value> MetadataDatabaseView::objectValue(OutlineView& view, TableColumn* column, Object* item)
{
    if (isCategoriesList(view)) {
        FileSystemItemMOCategory* category = categoryOf(item);
        return category ? Value(category->name().value_or(std::string())) : Value();
    }
    if (!isMetadataList(view) || !column)
        return Value();
    MetadataProvider* provider = dataProvider();
    MetadataValue* value = valueOf(item);
    if (!provider || !value)
        return Value();
    // A value row's control shows the value; the row's group names it.
    if (column->identifier() == MetadataProvider::ColumnName && !provider->isGroupItem(value))
        return provider->objectValueForColumnID(MetadataProvider::ColumnValue, value);
    return provider->objectValueForColumnID(column->identifier(), value);
}

bool MetadataDatabaseView::setObjectValue(OutlineView& view, const Value& value, TableColumn* column, Object* item)
{
    // Only the value rows' controls write; a category is renamed when its edit ends.
    MetadataProvider* provider = dataProvider();
    MetadataValue* target = valueOf(item);
    if (!isMetadataList(view) || !provider || !target || column != view.outlineTableColumn())
        return false;
    provider->setObjectValue(value, MetadataProvider::ColumnValue, target);
    return true;
}

// ---- delegate -------------------------------------------------------------------------------

std::optional<bool> MetadataDatabaseView::isGroupItem(OutlineView& view, Object* item)
{
    if (isCategoriesList(view))
        return categoryOf(item) && !view.parentForItem(item);
    if (isMetadataList(view))
        return MetadataBaseView::isGroupItem(view, item);
    return false;
}

std::optional<double> MetadataDatabaseView::heightOfRowByItem(OutlineView& view, Object* item)
{
    const double standard = view.rowHeight();
    MetadataValue* value = valueOf(item);
    if (!isMetadataList(view) || !value || isGroupItem(view, item).value_or(true))
        return standard;
    QWidget* hosted = viewForItem(value);
    if (!hosted)
        return standard;
    QSize size = hosted->size();
    if (optimalFrame(view, size, hosted, view.rowForItem(item)))
        return size.height();
    return hosted->height();
}

bool MetadataDatabaseView::willDisplayCell(OutlineView& view, Cell& cell, TableColumn* column, Object* item)
{
    if (!isCategoriesList(view))
        return isMetadataList(view) && MetadataBaseView::willDisplayCell(view, cell, column, item);
    FileSystemItemMOCategory* category = categoryOf(item);
    if (!category)
        return true;
    if (!view.parentForItem(item)) {
        cell.setObjectValue(Value(ZOV_TRANSLATE("Category", "outlineView:willDisplayCell:forTableColumn:item:")));
        return true;
    }
    cell.setObjectValue(Value(category->name().value_or(std::string())));
    if (auto* box = dynamic_cast<TableButtonCell*>(&cell)) {
        MetadataProvider* provider = dataProvider();
        box->setIntValue(provider && provider->stateForCategory(category) ? TableButtonCell::On : TableButtonCell::Off);
        // The field editor covers the row being renamed.
        box->setHidden(categoryEditing_ && view.isEditing() && editedCategory_ && editedCategory_->isEqual(category));
    }
    return true;
}

std::optional<Cell*> MetadataDatabaseView::dataCellForTableColumn(OutlineView& view, TableColumn*, Object* item)
{
    // The root row is plain text: no box to tick.
    if (isCategoriesList(view) && categoryOf(item) && !view.parentForItem(item))
        return &rootCell_;
    return nullptr;
}

std::optional<bool> MetadataDatabaseView::selectionShouldChange(OutlineView& view)
{
    return MetadataBaseView::selectionShouldChange(view);
}

std::optional<bool> MetadataDatabaseView::shouldSelectItem(OutlineView& view, Object* item)
{
    return !isGroupItem(view, item).value_or(false);
}

bool MetadataDatabaseView::selectionDidChange(const Notification&)
{
    if (buttonsStatusUpdater_)
        buttonsStatusUpdater_->updateControls();
    return true;
}

// ---- row controls ---------------------------------------------------------------------------

QWidget* MetadataDatabaseView::controlOfView(QWidget* view)
{
    return NSControlContainer::controlOfView(view);
}

QWidget* MetadataDatabaseView::viewForRow(OutlineView& table, int row)
{
    if (!isMetadataList(table))
        return nullptr;
    Object* item = table.itemAtRow(row);
    MetadataValue* value = valueOf(item);
    if (!value || isGroupItem(table, item).value_or(true))
        return nullptr;
    return viewForItem(value);
}

QWidget* MetadataDatabaseView::viewForItem(MetadataValue* item)
{
    MetadataProvider* provider = dataProvider();
    if (!provider || !item)
        return nullptr;
    if (auto* hosted = dynamic_cast<HostedControl*>(provider->userDataForItem(item).toObject().get()); hosted && hosted->view())
        return hosted->view();
    const std::string title = provider->objectValueForColumnID(MetadataProvider::ColumnName, item).toString();
    QWidget* view = createViewOfType(provider->uiTypeForItem(item), QString::fromStdString(title), item);
    controls_.emplace_back(view);
    provider->setUserDataForItem(Value(Ref<Object>(makeRef<HostedControl>(view))), item);
    return view;
}

QWidget* MetadataDatabaseView::createLabelledControl(QWidget* control, const QString& title)
{
    auto* container = new NSControlContainer(kContainerFrame);
    auto* label = new QLabel(QString::fromStdString(vistel::format("%@:", title.toStdString())));
    label->setGeometry(kLabelFrame);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFont(smallFont());
    label->setTextFormat(Qt::PlainText);
    control->setGeometry(kControlFrame);
    container->addSubview(label, false);
    container->addSubview(control, true);
    container->setNSControl(control);
    return container;
}

QWidget* MetadataDatabaseView::createViewOfType(std::int32_t type, const QString& title, MetadataValue* item)
{
    QWidget* view = nullptr;
    QWidget* control = nullptr;
    switch (type) {
    case 2: {
        auto* line = new QLineEdit;
        line->setFont(smallFont());
        control = line;
        view = createLabelledControl(line, title);
        break;
    }
    case 3: {
        auto* date = new QDateTimeEdit;
        date->setFont(smallFont());
        date->setCalendarPopup(true);
        date->setTimeSpec(Qt::LocalTime);
        date->setDisplayFormat(QLocale().dateTimeFormat(QLocale::ShortFormat));
        date->setMinimumDateTime(kNoDate);
        date->setSpecialValueText(QStringLiteral(" "));
        date->setDateTime(kNoDate);
        control = date;
        view = createLabelledControl(date, title);
        break;
    }
    case 4: {
        auto* stars = new RatingLevelIndicator;
        control = stars;
        view = createLabelledControl(stars, title);
        break;
    }
    case 5: {
        auto* box = new QCheckBox;
        control = box;
        view = createLabelledControl(box, title);
        break;
    }
    case 6: {
        auto* tokens = new TokenField;
        tokens->setGeometry(0, 0, 1, 80);
        tokens->setDelegate(this);
        // Each change of its tokens may change its height, and so its row's.
        tokens->addObserver(tokens, [this, tokens, item] { fitTokenField(tokens, item); }, {});
        control = view = tokens;
        break;
    }
    default: {
        auto* text = new QPlainTextEdit;
        text->setGeometry(0, 0, 30, 80);
        text->setTabChangesFocus(true);
        control = view = text;
        break;
    }
    }
    // The list's grey is its own backdrop: the fields and boxes keep the application's field
    // colour, where inheriting the grey would leave them hard to tell from the rows.
    QPalette fields = view->palette();
    fields.setColor(QPalette::Base, QApplication::palette(control).color(QPalette::Base));
    view->setPalette(fields);
    if (OutlineView* list = metadataList())
        NSControlToCellAdapterNotificator::attach(control, *list, *list->outlineTableColumn(), item);
    return view;
}

std::optional<QDateTime> MetadataDatabaseView::dateOfStoredText(const std::string& text)
{
    static const std::regex form(R"(^\s*(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2}) ([+-])(\d{2})(\d{2})\s*$)");
    std::smatch match;
    if (!std::regex_match(text, match, form))
        return std::nullopt;
    auto number = [&](int group) { return std::atoi(match[group].str().c_str()); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    const int offsetMinutes = number(8) * 60 + number(9);
    if (!date.isValid() || !time.isValid() || number(8) > 23 || number(9) > 59)
        return std::nullopt;
    const int offset = (match[7].str() == "-" ? -1 : 1) * offsetMinutes * 60;
    QDateTime moment(date, time, QTimeZone(offset));
    if (!moment.isValid())
        return std::nullopt;
    return moment;
}

bool MetadataDatabaseView::applyObjectValue(OutlineView& table, const Value& value, QWidget* view, int row)
{
    QWidget* control = controlOfView(view);
    // What the user is editing stays as it is.
    if (!control || containsFocus(control) || containsFocus(view))
        return true;
    if (auto* tokens = dynamic_cast<TokenField*>(control); tokens && tokens->completionPopup()->isVisible())
        return true;
    const QSignalBlocker quiet(control);
    if (auto* date = qobject_cast<QDateTimeEdit*>(control)) {
        std::optional<QDateTime> moment;
        if (value.isDate())
            moment = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(value.toDate().secondsSince1970 * 1000)));
        else if (value.isString())
            moment = dateOfStoredText(value.asString());
        // A date that cannot be shown leaves the field empty; nothing is written back.
        const QDateTime shown = moment ? moment->toLocalTime() : kNoDate;
        if (date->dateTime() != shown)
            date->setDateTime(shown);
    } else if (auto* stars = dynamic_cast<RatingLevelIndicator*>(control)) {
        const double rating = numberOfValue(value).value_or(0);
        stars->setValue(static_cast<int>(std::lround(std::clamp(rating, 0.0, double(RatingLevelIndicator::kMaximum)))));
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        const bool on = numberOfValue(value).value_or(0) != 0;
        if (box->isChecked() != on)
            box->setChecked(on);
    } else if (auto* tokens = dynamic_cast<TokenField*>(control)) {
        const QString text = QString::fromStdString(value.isNull() ? std::string() : value.description());
        if (tokens->stringValue() != tokens->tokensOfString(text).join(',')) {
            tokens->setStringValue(text);
            fitTokenField(tokens, valueOf(table.itemAtRow(row)));
        }
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        const QString text = QString::fromStdString(value.isNull() ? std::string() : value.description());
        if (plain->toPlainText() != text)
            plain->setPlainText(text);
    } else if (auto* line = qobject_cast<QLineEdit*>(control)) {
        const QString text = QString::fromStdString(value.isNull() ? std::string() : value.description());
        if (line->text() != text)
            line->setText(text);
    }
    return true;
}

void MetadataDatabaseView::fitTokenField(TokenField* tokens, MetadataValue* item)
{
    OutlineView* list = metadataList();
    QSize size = tokens->size();
    if (!list || !optimalFrame(*list, size, tokens, -1) || size.height() == tokens->height())
        return;
    tokens->resize(tokens->width(), size.height());
    // The rows from the field's down are measured again.
    std::vector<int> rows;
    for (int row = std::max(list->rowForItem(item), 0), count = list->numberOfRows(); row < count; ++row)
        rows.push_back(row);
    list->noteHeightOfRowsWithIndexesChanged(rows);
}

bool MetadataDatabaseView::optimalFrame(OutlineView& table, QSize& size, QWidget* view, int)
{
    auto* tokens = dynamic_cast<TokenField*>(view);
    if (!isMetadataList(table) || !tokens)
        return false;
    // Before it is placed the field has no width of its own: the list's is near enough.
    const int width = tokens->width() > 40 ? tokens->width() : std::max(table.viewport()->width(), 100);
    size = tokens->sizeForWidth(width);
    size.setWidth(tokens->width());
    return true;
}

QStringList MetadataDatabaseView::completionsForSubstring(TokenField& field, const QString& substring, int, int&)
{
    std::set<std::string> used;
    for (const QString& token : field.tokensOfString(field.stringValue()))
        used.insert(token.toStdString());
    QStringList offered;
    if (auto found = MetadataProvider::keywordsList(kTagKeywords, substring.toStdString(), used))
        for (const std::string& keyword : *found)
            offered.push_back(QString::fromStdString(keyword));
    return offered;
}

// ---- bar and validation ---------------------------------------------------------------------

bool MetadataDatabaseView::respondsToAction(const std::string& action) const
{
    // Edit > Delete removes a category only from the tree; a text being edited keeps its own.
    if (action == "delete:")
        return categoriesList_ && categoriesList_->hasFocus();
    return Responder::respondsToAction(action);
}

std::vector<std::uint32_t> MetadataDatabaseView::allowedControlsID(ZovButtonsStatusUpdater&)
{
    return {CreateCategoryControl, DeleteCategoryControl};
}

QWidget* MetadataDatabaseView::createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater&)
{
    if (identifier == CreateCategoryControl) {
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(
            1, kImageNameAdd, QString::fromStdString(ZOV_TRANSLATE("Create new folder", "createControlWithID:statusUpdater:")));
        button->setAction("onCreateCategoryAction:");
        return button;
    }
    if (identifier == DeleteCategoryControl) {
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(
            0, kImageNameRemove, QString::fromStdString(ZOV_TRANSLATE("Delete folder", "createControlWithID:statusUpdater:")));
        button->setAction("onDeleteCategoryAction:");
        return button;
    }
    return nullptr;
}

bool MetadataDatabaseView::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    const std::string action = item.action();
    auto setToolTip = [&item](const std::string& text) {
        auto* widget = const_cast<QWidget*>(dynamic_cast<const QWidget*>(&item));
        const QString tip = QString::fromStdString(text);
        if (widget && widget->toolTip() != tip)
            widget->setToolTip(tip);
    };
    if (action == "onCreateCategoryAction:") {
        setToolTip(ZOV_TRANSLATE("Cretae New Category", "validateUserInterfaceItem:"));
        return selectedCategory() != nullptr;
    }
    if (action == "onDeleteCategoryAction:" || action == "delete:") {
        setToolTip(ZOV_TRANSLATE("Delete Category", "validateUserInterfaceItem:"));
        return selectedCategory() != nullptr;
    }
    return false;
}

// ---- categories -----------------------------------------------------------------------------

Ref<FileSystemItemMOCategory> MetadataDatabaseView::selectedCategory() const
{
    if (!categoriesList_)
        return {};
    const int row = categoriesList_->selectedRow();
    Object* item = row >= 0 ? categoriesList_->itemAtRow(row) : nullptr;
    FileSystemItemMOCategory* category = categoryOf(item);
    if (!category || !categoriesList_->parentForItem(item))
        return {};
    return Ref<FileSystemItemMOCategory>(category);
}

void MetadataDatabaseView::reloadCategory(FileSystemItemMOCategory* category)
{
    if (!categoriesList_ || !category)
        return;
    const Ref<FileSystemItemMOCategory> selected = selectedCategory();
    categoriesList_->reloadItem(category, true);
    if (selected)
        selectCategory(selected.get());
}

int MetadataDatabaseView::rowOfCategory(FileSystemItemMOCategory* category) const
{
    if (!categoriesList_ || !category)
        return -1;
    categoriesList_->numberOfRows(); // loads the shown rows, so a new child has its row
    return categoriesList_->rowForItem(category);
}

void MetadataDatabaseView::selectCategory(FileSystemItemMOCategory* category)
{
    if (!categoriesList_ || !category)
        return;
    const int row = rowOfCategory(category);
    if (row < 0)
        return;
    categoriesList_->selectRowIndexes({row}, false);
    categoriesList_->scrollTo(categoriesList_->indexOfRow(row));
}

void MetadataDatabaseView::categoryChanged(QObject*)
{
    MetadataProvider* provider = dataProvider();
    if (!categoriesList_ || !provider)
        return;
    const int row = categoriesList_->clickedRow();
    Object* item = row >= 0 ? categoriesList_->itemAtRow(row) : nullptr;
    FileSystemItemMOCategory* category = categoryOf(item);
    if (!category || !categoriesList_->parentForItem(item))
        return;
    provider->applyCategory(category);
    categoriesList_->reloadItem(category);
}

void MetadataDatabaseView::onCreateCategoryAction(QObject*)
{
    const Ref<FileSystemItemMOCategory> parent = selectedCategory();
    if (!parent)
        return;
    std::string name = ZOV_TRANSLATE("New Category", "onCreateCategoryAction:");
    const std::string numbered = ZOV_TRANSLATE("New Category %d", "onCreateCategoryAction:");
    for (int n = 1; parent->childWithName(name); ++n)
        name = vistel::format(numbered, n);
    const Ref<FileSystemItemMOCategory> made = parent->addChildWithName(name);
    if (!made)
        return;
    categoriesList_->reloadItem(parent.get(), true);
    categoriesList_->expandItem(parent.get());
    selectCategory(made.get());
    const int row = rowOfCategory(made.get());
    if (row < 0)
        return;
    categoryEditing_ = true;
    editedCategory_ = made;
    categoriesList_->setFocus(Qt::OtherFocusReason);
    categoriesList_->editColumn(0, row);
    if (auto* editor = qobject_cast<QLineEdit*>(categoriesList_->indexWidget(categoriesList_->indexOfRow(row))))
        editor->selectAll();
}

void MetadataDatabaseView::onDeleteCategoryAction(QObject*)
{
    const Ref<FileSystemItemMOCategory> category = selectedCategory(); // kept alive across the removal
    FileSystemItemMOCategory* parent = category ? categoryOf(categoriesList_->parentForItem(category.get())) : nullptr;
    if (!category || !parent)
        return;
    Preferences& preferences = Preferences::sharedPreferences();
    if (!preferences.boolForKey(prefs::CategoriesDoNotShowRemoveAlert) && category->numberOfChildren() > 0) {
        Alert alert;
        alert.setAlertStyle(AlertStyle::Warning);
        alert.setMessageText(vistel::format(
            ZOV_TRANSLATE("You are attempting to delete category \"%@\" that has existing sub-categories. Items assigned to any of "
                          "this categories will lose their assignments.",
                          "onDeleteCategoryAction:"),
            category->name().value_or(std::string())));
        alert.setInformativeText(ZOV_TRANSLATE("Do you wish to proceed?", "onDeleteCategoryAction:"));
        alert.addButtonWithTitle(ZOV_TRANSLATE("OK", "onDeleteCategoryAction:"))->setKeyEquivalent(AlertReturnKey);
        alert.addButtonWithTitle(ZOV_TRANSLATE("Cancel", "onDeleteCategoryAction:"))->setKeyEquivalent(AlertEscapeKey);
        alert.setShowsSuppressionButton(true);
        const int answer = alert.runModal();
        if (alert.suppressionButton()->isChecked())
            preferences.setValue(Value(answer == NSAlertFirstButtonReturn), prefs::CategoriesDoNotShowRemoveAlert);
        if (answer != NSAlertFirstButtonReturn)
            return;
    }
    parent->removeChild(category.get());
    categoriesList_->reloadItem(parent, true);
    if (buttonsStatusUpdater_)
        buttonsStatusUpdater_->updateControls();
}

bool MetadataDatabaseView::didEndEditing(OutlineView& view, TableColumn*, Object* item, const Value& text, int)
{
    if (!isCategoriesList(view))
        return false;
    FileSystemItemMOCategory* category = categoryOf(item);
    categoryEditing_ = false;
    editedCategory_ = nullptr;
    if (category)
        categoryNameEdited(category, QString::fromStdString(text.toString()));
    return true;
}

void MetadataDatabaseView::categoryNameEdited(FileSystemItemMOCategory* edited, const QString& text)
{
    const Ref<FileSystemItemMOCategory> category(edited);
    FileSystemItemMOCategory* parent = categoryOf(categoriesList_->parentForItem(category.get()));
    if (!parent)
        return;
    const std::string name = text.trimmed().toStdString();
    // An empty or blank name keeps the old one; the unchanged name simply ends the edit.
    if (name.empty() || category->name() == std::optional<std::string>(name)) {
        categoriesList_->reloadItem(category.get());
        return;
    }
    if (const Ref<FileSystemItemMOCategory> sibling = parent->childWithName(name); sibling && !sibling->isEqual(category.get())) {
        Alert alert;
        alert.setMessageText(vistel::format(ZOV_TRANSLATE("A category with name \"%@\" already exists.", "control:textShouldEndEditing:"), name));
        alert.setInformativeText(ZOV_TRANSLATE("Specify a different name.", "control:textShouldEndEditing:"));
        alert.addButtonWithTitle(ZOV_TRANSLATE("OK", "control:textShouldEndEditing:"))->setKeyEquivalent(AlertReturnKey);
        alert.runModal();
        // The edit goes on with what was typed.
        const int row = rowOfCategory(category.get());
        if (row < 0)
            return;
        categoryEditing_ = true;
        editedCategory_ = category;
        categoriesList_->setFocus(Qt::OtherFocusReason);
        categoriesList_->editColumn(0, row);
        if (auto* editor = qobject_cast<QLineEdit*>(categoriesList_->indexWidget(categoriesList_->indexOfRow(row)))) {
            editor->setText(text);
            editor->selectAll();
        }
        return;
    }
    category->setName(name);
    categoriesList_->reloadItem(parent, true);
    selectCategory(category.get());
}

std::vector<std::string> MetadataDatabaseView::draggedCategoryIDs(const QMimeData& data)
{
    std::vector<std::string> ids;
    Ref<Pasteboard> pasteboard = Pasteboard::pasteboardWithMimeData(const_cast<QMimeData*>(&data));
    std::optional<Value> list = pasteboard->availableType(kCategoriesPboardType) ? pasteboard->propertyListForType(kCategoriesPboardType)
                                                                                 : std::nullopt;
    if (!list || !list->isArray())
        return ids;
    for (const Value& id : list->asArray())
        if (id.isString())
            ids.push_back(id.asString());
    return ids;
}

std::optional<bool> MetadataDatabaseView::writeItems(OutlineView& view, const std::vector<Ref<Object>>& items, QMimeData& data)
{
    if (!isCategoriesList(view))
        return false;
    Value ids = Value::array();
    for (const Ref<Object>& item : items)
        if (FileSystemItemMOCategory* category = categoryOf(item.get()); category && view.parentForItem(item.get()))
            ids.append(category->uniqueIDString());
    if (ids.size() == 0)
        return false;
    Ref<Pasteboard> pasteboard = Pasteboard::pasteboardWithMimeData(&data);
    pasteboard->declareTypes({kCategoriesPboardType});
    return pasteboard->setPropertyList(ids, kCategoriesPboardType);
}

bool MetadataDatabaseView::canDropCategory(const std::string& id, FileSystemItemMOCategory* target) const
{
    const Ref<FileSystemItemMOCategory> dragged = FileSystemItemMOCategory::existingCategoryForUniqueID(id);
    const std::optional<std::string> name = FileSystemItemMOCategory::nameOfCategoryWithID(id);
    if (!dragged || !name || !target)
        return false;
    // Never under itself or one of its descendants: the tree has no cycles.
    for (FileSystemItemMOCategory* up = target; up; up = up->parentCategory())
        if (up->isEqual(dragged.get()))
            return false;
    if (target->childWithName(*name) || target->childWithID(dragged->uniqueID()))
        return false;
    return true;
}

std::optional<Qt::DropAction> MetadataDatabaseView::validateDrop(OutlineView& view, const QMimeData& data, Object* item, long)
{
    FileSystemItemMOCategory* target = categoryOf(item);
    const std::vector<std::string> ids = draggedCategoryIDs(data);
    if (!isCategoriesList(view) || !target || ids.empty())
        return Qt::IgnoreAction;
    for (const std::string& id : ids)
        if (!canDropCategory(id, target))
            return Qt::IgnoreAction;
    return Qt::MoveAction;
}

std::optional<bool> MetadataDatabaseView::acceptDrop(OutlineView& view, const QMimeData& data, Object* item, long)
{
    FileSystemItemMOCategory* target = categoryOf(item);
    const std::vector<std::string> ids = draggedCategoryIDs(data);
    if (!isCategoriesList(view) || !target || ids.empty() || !canDropCategory(ids.front(), target))
        return false;
    const Ref<FileSystemItemMOCategory> category = FileSystemItemMOCategory::existingCategoryForUniqueID(ids.front());
    const Ref<FileSystemItemMOCategory> former(category ? category->parentCategory() : nullptr);
    const bool moved = category && target->addExistingChild(category.get());
    if (former)
        categoriesList_->reloadItem(former.get(), true);
    const Ref<FileSystemItemMOCategory> keptTarget(target);
    categoriesList_->reloadItem(keptTarget.get(), true);
    categoriesList_->expandItem(keptTarget.get());
    if (moved)
        selectCategory(category.get());
    return moved;
}

} // namespace vistel
