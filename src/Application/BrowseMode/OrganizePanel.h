#pragma once
// OrganizePanel: browse mode's "Organize" side panel. One outline with four sections, each row
// with a check box:
//   "Category"        the user's category tree from the catalogue (the root category's row)
//   "Ratings"         five star rows (5 down to 1), then "Unrated"
//   "Auto Categories" "Commonly Used" and "Photo Properties": one entry per field of the
//                     automatic-categories table, each with the values "Val 1" and "Val 2"
//   "Special Items"   "Image Well", "Uncategorized", "Tagged"
// Section rows are group rows spanning both columns; they are never selected or ticked. The
// check boxes sit in the "Value" column at the left; the tree is drawn in the "Name" column.
// Clicking a check box, or a row's name, ticks or unticks the row: the row goes into (or out
// of) its section's set. Field entries and the two lists show no check box.
//
// The ticks are kept for as long as the panel lives and change nothing outside it: the
// browsing selection's write side handed in with setSelection() is not kept, and the hook
// that would apply the ticks (updateSelection) has nothing to apply them to.
//
// Values are wrapped (AutoCategoryString) and ticked by identity, so "Val 1" under one field and
// "Val 1" under another are ticked apart. Categories are ticked by their catalogue identity.
//
// The rating, automatic-category and special rows are built once for the class and shared by
// every panel for the run.
//
// Thread rules: main thread only (the catalogue's thread).

#include <array>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/Gui/OutlineView.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Object.h"
#include "ZovClass.h"

namespace vistel {

class IBrowsingSetSelection;
class TableButtonCell;

// One value of an automatic category: a string with identity.
class AutoCategoryString : public Object {
public:
    explicit AutoCategoryString(std::string value) : value_(std::move(value)) { }
    const std::string& value() const { return value_; }
    const std::string& description() const { return value_; }
    // A new wrapper of the same string (a different member of any set).
    Ref<AutoCategoryString> copy() const { return makeRef<AutoCategoryString>(value_); }

private:
    std::string value_;
};

// An entry of an automatic-category list: a field's name and its values.
class AutoCategoryEntry : public Object {
public:
    AutoCategoryEntry(std::string name, std::vector<Ref<AutoCategoryString>> values)
        : name_(std::move(name)), values_(std::move(values))
    {
    }
    const std::string& name() const { return name_; }
    const std::vector<Ref<AutoCategoryString>>& values() const { return values_; }

private:
    std::string name_;
    std::vector<Ref<AutoCategoryString>> values_;
};

// A list of rows under a name (the ratings, the automatic-category lists, the special items).
class OrganizeItemList : public Object {
public:
    OrganizeItemList(std::string name, std::vector<Ref<Object>> elements)
        : name_(std::move(name)), elements_(std::move(elements))
    {
    }
    const std::string& name() const { return name_; }
    const std::vector<Ref<Object>>& elements() const { return elements_; }
    bool contains(const Object* item) const;

private:
    std::string name_;
    std::vector<Ref<Object>> elements_;
};

// A row that is a text ("Unrated", "Image Well"...).
class OrganizeText : public Object {
public:
    explicit OrganizeText(std::string text) : text_(std::move(text)) { }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// A level-indicator cell of the rating style: its value is the number of stars it draws.
class RatingLevelCell : public Cell {
public:
    std::unique_ptr<Cell> clone() const override { return std::make_unique<RatingLevelCell>(*this); }
    void drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view) override;
};

// A row of ratings: its number of stars and the cell that draws them.
class OrganizeRating : public Object {
public:
    explicit OrganizeRating(int stars);
    int stars() const { return stars_; }
    RatingLevelCell& cell() { return cell_; }

private:
    int stars_;
    RatingLevelCell cell_;
};

class OrganizePanel : public QWidget,
                      public Responder,
                      public IFSItemChangedNotification,
                      public OutlineViewDataSource,
                      public OutlineViewDelegate {
public:
    ZOV_ROOT_CLASS(OrganizePanel)

    enum SectionType : int {
        SectionCategories = 0,
        SectionRatings = 1,
        SectionAutoCategories = 2,
        SectionSpecialItems = 3,
        SectionNone = 4,
    };

    static constexpr const char* ValueColumn = "Value";
    static constexpr const char* NameColumn = "Name";

    OrganizePanel();
    ~OrganizePanel() override;
    // A cleared catalogue (no item, reload): the categories section is built again from the
    // new root category, its ticks dropped.
    void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren) override;

    OutlineView* organizeOutlineView() const { return organizeOutlineView_; }

    // Takes the browsing selection's write side: nothing is kept, the ticks filter nothing.
    void setSelection(IBrowsingSetSelection* selection);
    // The hook that would apply the ticks to the selection.
    void updateSelection() { }

    // Sections.
    int typeOfItem(const Object* item) const;
    bool isItemOfType(const Object* item, int type) const { return typeOfItem(item) == type; }
    Object* groupItemOfType(int type) const;
    std::string nameOfGroupItemOfType(int type) const;
    bool isGroupItemOfType(const Object* item, int type) const;
    // The section of a group row, or SectionNone.
    int typeOfGroupItem(const Object* item) const;
    bool isGroupItem(const Object* item) const { return typeOfGroupItem(item) != SectionNone; }

    // Whether the row is ticked.
    bool isTicked(const Object* item) const;

    // The shared rows.
    static OrganizeItemList& ratingsList();
    static OrganizeItemList& autoCategoriesList();
    static OrganizeItemList& specialItemsList();
    static OrganizeItemList& commonlyUsedList();
    static OrganizeItemList& photoPropertiesList();
    static Ref<AutoCategoryString> autoCategoryString(std::string value);
    // A list of one entry per automatic-categories field, each with "Val 1" and "Val 2".
    static Ref<OrganizeItemList> createAutoCategoriesCommonlyUsed();
    static Ref<OrganizeItemList> createAutoCategoriesPhotoProperties();

    // Data source.
    std::optional<long> numberOfChildrenOfItem(OutlineView& view, Object* item) override;
    std::optional<Ref<Object>> child(OutlineView& view, long index, Object* item) override;
    std::optional<bool> isItemExpandable(OutlineView& view, Object* item) override;
    std::optional<Value> objectValue(OutlineView& view, TableColumn* column, Object* item) override;
    bool setObjectValue(OutlineView& view, const Value& value, TableColumn* column, Object* item) override;
    // Delegate.
    bool willDisplayCell(OutlineView& view, Cell& cell, TableColumn* column, Object* item) override;
    std::optional<Cell*> dataCellForTableColumn(OutlineView& view, TableColumn* column, Object* item) override;
    std::optional<bool> shouldSelectItem(OutlineView& view, Object* item) override;
    std::optional<bool> isGroupItem(OutlineView& view, Object* item) override;

    // Actions: a click (or double click) on a row's name ticks or unticks it; so does a click on
    // its check box.
    void outlineViewClick(QObject* sender);
    void outlineViewDoubleClick(QObject* sender) { outlineViewClick(sender); }
    void outlineViewCheckBoxClick(QObject* sender);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Ticks or unticks the clicked row when it shows a check box.
    void toggleClickedRow();
    TableColumn* valueColumn() const;
    TableColumn* nameColumn() const;

    QPointer<OutlineView> organizeOutlineView_;
    Ref<Object> categoriesGroup_;
    Ref<MediaDatabase> database_; // observed for a cleared catalogue
    std::array<std::vector<Ref<Object>>, 4> searchSets_;
    IBrowsingSetSelection* selection_ = nullptr; // never set: the ticks filter nothing
    Cell plainCell_;
};

} // namespace vistel
