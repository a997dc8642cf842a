#include "Application/BrowseMode/OrganizePanel.h"

#include <algorithm>

#include <QFontDatabase>
#include <QHeaderView>
#include <QResizeEvent>

#include "Application/BrowseMode/ThumbnailDecorations.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Common/Views/CustomTables/TableButtonCell.h"
#include "Metadata/MetadataProfile.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// The stars' margin inside their cell; they take the row's text colour.
constexpr double StarsInset = 3;

QFont smallSystemFont(bool bold)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
    font.setBold(bold);
    return font;
}

bool sameItem(const Object* a, const Object* b)
{
    if (a == b)
        return true;
    auto* first = dynamic_cast<const FileSystemItemMOCategory*>(a);
    auto* second = dynamic_cast<const FileSystemItemMOCategory*>(b);
    return first && second && first->isEqual(second);
}

Ref<OrganizeItemList> makeAutoCategoriesList(const char* name)
{
    std::vector<Ref<Object>> entries;
    Ref<MetadataProfile> profile = MetadataProfile::autoCategoriesProfile();
    Ref<MetadataProfileEnumerator> fields = profile->enumerator();
    while (const MetadataProfileItemInfo* field = fields->nextObject())
        entries.push_back(makeRef<AutoCategoryEntry>(
            field->name, std::vector<Ref<AutoCategoryString>> {OrganizePanel::autoCategoryString("Val 1"),
                                                                OrganizePanel::autoCategoryString("Val 2")}));
    return makeRef<OrganizeItemList>(name, std::move(entries));
}

// The categories section is the catalogue's root category; without a catalogue, an empty row.
Ref<Object> categoriesSection()
{
    if (Ref<FileSystemItemMOCategory> root = FileSystemItemMOCategory::rootCategory())
        return root;
    return makeRef<OrganizeItemList>("Categories", std::vector<Ref<Object>> {});
}

} // namespace

// ---- rows -----------------------------------------------------------------------------------

bool OrganizeItemList::contains(const Object* item) const
{
    return std::any_of(elements_.begin(), elements_.end(), [item](const Ref<Object>& element) { return element.get() == item; });
}

OrganizeRating::OrganizeRating(int stars)
    : stars_(stars)
{
    cell_.setObjectValue(Value(static_cast<long long>(stars)));
}

void RatingLevelCell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view)
{
    const double height = std::max(0.0, frame.height() - 2 * StarsInset);
    const QRectF stars(frame.left() + StarsInset, frame.top() + StarsInset, frame.width() - StarsInset, height);
    drawRatingStars(painter, stars, objectValue().toDouble(), textColor(&view));
}

Ref<AutoCategoryString> OrganizePanel::autoCategoryString(std::string value)
{
    return makeRef<AutoCategoryString>(std::move(value));
}

Ref<OrganizeItemList> OrganizePanel::createAutoCategoriesCommonlyUsed()
{
    return makeAutoCategoriesList("Commonly Used");
}

Ref<OrganizeItemList> OrganizePanel::createAutoCategoriesPhotoProperties()
{
    return makeAutoCategoriesList("Photo Properties");
}

OrganizeItemList& OrganizePanel::ratingsList()
{
    static const Ref<OrganizeItemList> list = [] {
        std::vector<Ref<Object>> rows;
        for (int stars = 5; stars >= 1; --stars)
            rows.push_back(makeRef<OrganizeRating>(stars));
        rows.push_back(makeRef<OrganizeText>(ZOV_TRANSLATE_CLASS("Unrated", "initialize")));
        return makeRef<OrganizeItemList>("Ratings", std::move(rows));
    }();
    return *list;
}

OrganizeItemList& OrganizePanel::commonlyUsedList()
{
    static const Ref<OrganizeItemList> list = createAutoCategoriesCommonlyUsed();
    return *list;
}

OrganizeItemList& OrganizePanel::photoPropertiesList()
{
    static const Ref<OrganizeItemList> list = createAutoCategoriesPhotoProperties();
    return *list;
}

OrganizeItemList& OrganizePanel::autoCategoriesList()
{
    static const Ref<OrganizeItemList> list = makeRef<OrganizeItemList>(
        "Auto Categories", std::vector<Ref<Object>> {Ref<Object>(&commonlyUsedList()), Ref<Object>(&photoPropertiesList())});
    return *list;
}

OrganizeItemList& OrganizePanel::specialItemsList()
{
    static const Ref<OrganizeItemList> list = makeRef<OrganizeItemList>(
        "Special Items", std::vector<Ref<Object>> {makeRef<OrganizeText>(ZOV_TRANSLATE_CLASS("Image Well", "initialize")),
                                                   makeRef<OrganizeText>(ZOV_TRANSLATE_CLASS("Uncategorized", "initialize")),
                                                   makeRef<OrganizeText>(ZOV_TRANSLATE_CLASS("Tagged", "initialize"))});
    return *list;
}

// ---- the panel ------------------------------------------------------------------------------

OrganizePanel::OrganizePanel()
{
    setGeometry(0, 0, 1, 1);
    categoriesGroup_ = categoriesSection();
    database_ = Ref<MediaDatabase>(MediaDatabase::defaultMediaDatabase());
    if (database_)
        database_->addItemUpdateObserver(this, nullptr);

    auto* outline = new OutlineView(this);
    organizeOutlineView_ = outline;
    outline->setGeometry(rect());
    outline->setFocusPolicy(Qt::NoFocus); // never the first responder
    outline->setIndentation(10);
    outline->setHeaderHidden(true);
    outline->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outline->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // "Name" shows the tree; "Value", the check boxes, is shown at its left.
    auto name = std::make_unique<TableColumn>(NameColumn);
    name->setEditable(false);
    outline->addTableColumn(std::move(name));
    auto value = std::make_unique<TableColumn>(ValueColumn);
    value->setWidth(16);
    value->setMinWidth(16);
    value->setResizable(false);
    value->setEditable(true);
    auto box = std::make_unique<TableButtonCell>();
    box->setAction("outlineViewCheckBoxClick:");
    box->setTarget(this);
    value->setDataCell(std::move(box));
    outline->addTableColumn(std::move(value));
    QHeaderView* header = outline->header();
    header->moveSection(header->visualIndex(1), 0);
    header->setStretchLastSection(true);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, 16);

    setActionHandler("outlineViewClick:", [this](QObject* sender) { outlineViewClick(sender); });
    setActionHandler("outlineViewDoubleClick:", [this](QObject* sender) { outlineViewDoubleClick(sender); });
    setActionHandler("outlineViewCheckBoxClick:", [this](QObject* sender) { outlineViewCheckBoxClick(sender); });
    outline->setAction("outlineViewClick:");
    outline->setDoubleAction("outlineViewDoubleClick:");
    outline->setTarget(this);
    outline->setDataSource(this);
    outline->setDelegate(this);

    outline->expandItem(nullptr, true);
    outline->collapseItem(&commonlyUsedList(), true);
    outline->collapseItem(&photoPropertiesList(), true);
}

OrganizePanel::~OrganizePanel()
{
    if (database_)
        database_->removeItemUpdateObserver(this, nullptr);
    if (organizeOutlineView_) {
        organizeOutlineView_->setDataSource(nullptr);
        organizeOutlineView_->setDelegate(nullptr);
    }
}

void OrganizePanel::notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren)
{
    if (item || !reloadChildren)
        return;
    // The old categories went with the catalogue: their rows would show nothing.
    OutlineView* outline = organizeOutlineView_;
    // The other rows keep how they were folded; the new categories open.
    std::vector<Object*> expanded;
    if (outline)
        for (Object* row : {static_cast<Object*>(&ratingsList()), static_cast<Object*>(&autoCategoriesList()),
                            static_cast<Object*>(&commonlyUsedList()), static_cast<Object*>(&photoPropertiesList()),
                            static_cast<Object*>(&specialItemsList())})
            if (outline->isItemExpanded(row))
                expanded.push_back(row);
    categoriesGroup_ = categoriesSection();
    searchSets_[SectionCategories].clear();
    if (!outline)
        return;
    outline->reloadData();
    outline->numberOfRows(); // the sections' rows are made again
    outline->expandItem(categoriesGroup_.get(), true);
    for (Object* row : expanded)
        outline->expandItem(row, false);
}

void OrganizePanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (organizeOutlineView_)
        organizeOutlineView_->setGeometry(rect());
}

void OrganizePanel::setSelection(IBrowsingSetSelection* selection)
{
    if (selection != selection_)
        updateSelection();
}

TableColumn* OrganizePanel::valueColumn() const
{
    return organizeOutlineView_ ? organizeOutlineView_->tableColumnWithIdentifier(ValueColumn) : nullptr;
}

TableColumn* OrganizePanel::nameColumn() const
{
    return organizeOutlineView_ ? organizeOutlineView_->tableColumnWithIdentifier(NameColumn) : nullptr;
}

// ---- sections -------------------------------------------------------------------------------

int OrganizePanel::typeOfItem(const Object* item) const
{
    if (!item)
        return SectionNone;
    if (dynamic_cast<const FileSystemItemMOCategory*>(item))
        return SectionCategories;
    if (ratingsList().contains(item))
        return SectionRatings;
    if (specialItemsList().contains(item))
        return SectionSpecialItems;
    if (autoCategoriesList().contains(item) || commonlyUsedList().contains(item) || photoPropertiesList().contains(item))
        return SectionAutoCategories;
    if (dynamic_cast<const AutoCategoryString*>(item))
        return SectionAutoCategories;
    return SectionNone;
}

Object* OrganizePanel::groupItemOfType(int type) const
{
    switch (type) {
    case SectionCategories: return categoriesGroup_.get();
    case SectionRatings: return &ratingsList();
    case SectionAutoCategories: return &autoCategoriesList();
    case SectionSpecialItems: return &specialItemsList();
    default: return nullptr;
    }
}

std::string OrganizePanel::nameOfGroupItemOfType(int type) const
{
    switch (type) {
    case SectionCategories: return ZOV_TRANSLATE("Categories", "nameOfGroupItemOfType:");
    case SectionRatings: return ZOV_TRANSLATE("Ratings", "nameOfGroupItemOfType:");
    case SectionAutoCategories: return ZOV_TRANSLATE("Auto Categories", "nameOfGroupItemOfType:");
    case SectionSpecialItems: return ZOV_TRANSLATE("Special Items", "nameOfGroupItemOfType:");
    default: return {};
    }
}

bool OrganizePanel::isGroupItemOfType(const Object* item, int type) const
{
    const Object* group = groupItemOfType(type);
    return group && sameItem(group, item);
}

int OrganizePanel::typeOfGroupItem(const Object* item) const
{
    for (int type = SectionCategories; type < SectionNone; ++type)
        if (isGroupItemOfType(item, type))
            return type;
    return SectionNone;
}

bool OrganizePanel::isTicked(const Object* item) const
{
    const int type = typeOfItem(item);
    if (type == SectionNone)
        return false;
    const auto& set = searchSets_[static_cast<std::size_t>(type)];
    return std::any_of(set.begin(), set.end(), [item](const Ref<Object>& ticked) { return sameItem(ticked.get(), item); });
}

// ---- data source ----------------------------------------------------------------------------

std::optional<long> OrganizePanel::numberOfChildrenOfItem(OutlineView&, Object* item)
{
    if (!item)
        return 4;
    if (auto* category = dynamic_cast<FileSystemItemMOCategory*>(item))
        return category->numberOfChildren();
    if (auto* list = dynamic_cast<OrganizeItemList*>(item))
        return static_cast<long>(list->elements().size());
    if (auto* entry = dynamic_cast<AutoCategoryEntry*>(item))
        return static_cast<long>(entry->values().size());
    return 0;
}

std::optional<Ref<Object>> OrganizePanel::child(OutlineView&, long index, Object* item)
{
    if (!item)
        return Ref<Object>(groupItemOfType(static_cast<int>(index)));
    if (auto* category = dynamic_cast<FileSystemItemMOCategory*>(item))
        return Ref<Object>(category->childAtIndex(index));
    if (auto* list = dynamic_cast<OrganizeItemList*>(item))
        return list->elements().at(static_cast<std::size_t>(index));
    if (auto* entry = dynamic_cast<AutoCategoryEntry*>(item))
        return Ref<Object>(entry->values().at(static_cast<std::size_t>(index)));
    return Ref<Object>();
}

std::optional<bool> OrganizePanel::isItemExpandable(OutlineView&, Object* item)
{
    if (item == &commonlyUsedList() || item == &photoPropertiesList())
        return true;
    if (dynamic_cast<OrganizeText*>(item) || dynamic_cast<OrganizeRating*>(item) || dynamic_cast<AutoCategoryString*>(item))
        return false;
    if (auto* category = dynamic_cast<FileSystemItemMOCategory*>(item))
        return category->numberOfChildren() > 0;
    if (auto* list = dynamic_cast<OrganizeItemList*>(item); list && list == categoriesGroup_.get())
        return false; // no catalogue: no categories
    return true;
}

std::optional<Value> OrganizePanel::objectValue(OutlineView&, TableColumn* column, Object* item)
{
    const bool valueColumn = column && column->identifier() == ValueColumn;
    // A section row is one cell across the row: its name.
    if (const int group = typeOfGroupItem(item); group != SectionNone)
        return Value(nameOfGroupItemOfType(group));
    if (item == &commonlyUsedList())
        return valueColumn ? Value() : Value(ZOV_TRANSLATE("Commonly Used", "outlineView:objectValueForTableColumn:byItem:"));
    if (item == &photoPropertiesList())
        return valueColumn ? Value() : Value(ZOV_TRANSLATE("Photo Properties", "outlineView:objectValueForTableColumn:byItem:"));
    if (auto* entry = dynamic_cast<AutoCategoryEntry*>(item))
        return valueColumn ? Value() : Value(entry->name());
    if (valueColumn)
        return typeOfItem(item) == SectionNone ? Value() : Value(isTicked(item));
    if (auto* category = dynamic_cast<FileSystemItemMOCategory*>(item))
        return Value(category->name().value_or(std::string()));
    if (auto* rating = dynamic_cast<OrganizeRating*>(item))
        return Value(static_cast<long long>(rating->stars()));
    if (auto* text = dynamic_cast<OrganizeText*>(item))
        return Value(text->text());
    if (auto* wrapper = dynamic_cast<AutoCategoryString*>(item))
        return Value(wrapper->description());
    return Value();
}

bool OrganizePanel::setObjectValue(OutlineView&, const Value& value, TableColumn* column, Object* item)
{
    // Only check boxes tick, and section rows have none.
    if (!column || column->identifier() != ValueColumn || isGroupItem(item))
        return false;
    const int type = typeOfItem(item);
    if (type == SectionNone)
        return false;
    auto& set = searchSets_[static_cast<std::size_t>(type)];
    std::erase_if(set, [item](const Ref<Object>& ticked) { return sameItem(ticked.get(), item); });
    if (value.toBool())
        set.push_back(Ref<Object>(item));
    return true;
}

// ---- delegate -------------------------------------------------------------------------------

std::optional<Cell*> OrganizePanel::dataCellForTableColumn(OutlineView&, TableColumn* column, Object* item)
{
    if (!column)
        return std::nullopt;
    if (isGroupItem(item))
        return &nameColumn()->dataCell();
    if (column->identifier() == NameColumn)
        if (auto* rating = dynamic_cast<OrganizeRating*>(item))
            return &rating->cell();
    if (column->identifier() == ValueColumn
        && (item == &commonlyUsedList() || item == &photoPropertiesList() || dynamic_cast<AutoCategoryEntry*>(item)))
        return &plainCell_;
    return std::nullopt;
}

bool OrganizePanel::willDisplayCell(OutlineView&, Cell& cell, TableColumn* column, Object* item)
{
    const bool group = isGroupItem(item);
    if (isGroupItemOfType(item, SectionCategories) && (group || (column && column->identifier() == NameColumn)))
        cell.setStringValue(QString::fromStdString(ZOV_TRANSLATE("Category", "outlineView:willDisplayCell:forTableColumn:item:")));
    cell.setFont(smallSystemFont(group));
    cell.setEnabled(!group);
    // The check box shows the row's tick, and no title.
    if (auto* box = dynamic_cast<TableButtonCell*>(&cell)) {
        box->setIntValue(cell.objectValue().toBool() ? TableButtonCell::On : TableButtonCell::Off);
        box->setObjectValue(Value(std::string()));
    }
    return true;
}

std::optional<bool> OrganizePanel::shouldSelectItem(OutlineView&, Object* item)
{
    return !isGroupItem(item);
}

std::optional<bool> OrganizePanel::isGroupItem(OutlineView&, Object* item)
{
    return isGroupItem(item);
}

// ---- clicks ---------------------------------------------------------------------------------

void OrganizePanel::outlineViewClick(QObject*)
{
    OutlineView* outline = organizeOutlineView_;
    TableColumn* name = nameColumn();
    if (!outline || !name || outline->clickedColumn() != outline->columnIndex(name))
        return;
    toggleClickedRow();
}

void OrganizePanel::outlineViewCheckBoxClick(QObject*)
{
    toggleClickedRow();
}

void OrganizePanel::toggleClickedRow()
{
    OutlineView* outline = organizeOutlineView_;
    TableColumn* value = valueColumn();
    if (!outline || !value)
        return;
    // The clicked row, never the selected one: a click on a section row selects nothing.
    Object* item = outline->itemAtRow(outline->clickedRow());
    if (!item || isGroupItem(item))
        return;
    const std::optional<Value> shown = objectValue(*outline, value, item);
    if (!shown || !shown->isBoolean())
        return;
    setObjectValue(*outline, Value(!shown->toBool()), value, item);
    outline->reloadItem(item);
}

} // namespace vistel
