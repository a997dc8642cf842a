#pragma once
// MetadataDatabaseView: the Properties panel's "Database" view. It shows and edits what the
// catalogue keeps about the selected item in rows that host real controls, and under them the
// user's category tree, one check box per category, with a bar of two buttons (delete on the
// left, create on the right).
//
// Value rows (metadataList, behind an NSViewContainerCellAdapter) get their control from the
// value's user-interface type:
//   0, 1 and above 6  a bare multi-line text field (Tab moves on, and so ends the edit)
//   2                 a labelled line edit          3  a labelled date and time with a calendar
//   4                 a labelled row of 0 to 5 stars 5  a labelled check box
//   6                 a token field of keywords, completed from the catalogue's keywords
// A control is made on its row's first showing, found through the provider's user data of its
// value, and dropped when the provider is replaced. The rows lie on a light grey; their fields
// and boxes keep the application's field colour. Edits reach the provider (and so the
// catalogue) through the table kit's notificator. A reload never touches a control that has the
// keyboard focus, and puts in only what differs. A stored value a control cannot show leaves it
// empty or clamped and writes nothing back until the user changes it: a date text that does not
// parse shows no date, a rating above 5 shows 5 stars.
//
// Dates are stored as "2026-12-09 23:09:04 +0000" (the catalogue's text of a date), shown in
// local time and written back as a date.
//
// The category tree (categoriesList) shows the root category as the group row "Category" (no
// box, not selectable), then the tree. A box ticks or unticks the category on the item shown.
// "Create" adds "New Category" (then "New Category 1", 2, ... while taken) under the selected
// category and starts editing its name; "Delete" removes the selected category, asking first
// when it has sub-categories unless "Categories.DoNotShowRemoveAlert" is set (the alert's box
// sets it). A rename to a sibling's name shows an alert and the edit goes on; an unchanged name
// ends the edit; an empty or blank name keeps the old one. A category is dragged (one at a time)
// as "VistelCategoriesIDs" (its identifier in a property list) and dropped onto another
// category; a drop onto itself, one of its descendants, or a category that already holds that
// name is refused as it is proposed and when it lands.
//
// Thread rules: main thread only.

#include <cstdint>
#include <optional>
#include <string>

#include <QDateTime>
#include <QPointer>

#include "Common/Views/CustomTables/TableViewNSViewContainerCell.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Metadata/MetadataBaseView.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/TokenField.h"
#include "ZovClass.h"

namespace vistel {

class FileSystemItemMOCategory;

inline constexpr const char* kCategoriesPboardType = "VistelCategoriesIDs";

class MetadataDatabaseView : public MetadataBaseView,
                             public TableViewNSViewContainerDelegateProtocol,
                             public TokenFieldDelegate,
                             public Responder,
                             public ZovButtonsStatusUpdaterDataSource {
public:
    ZOV_ROOT_CLASS(MetadataDatabaseView)

    // The bar's controls.
    enum ControlID : std::uint32_t { CreateCategoryControl = 0, DeleteCategoryControl = 1 };

    MetadataDatabaseView(const QRect& frame, int firstColumnWidth, QWidget* parent = nullptr);
    ~MetadataDatabaseView() override;

    // The value list: one "Name" column whose cells host the row controls.
    static OutlineView* newMetadataTable(int firstColumnWidth);
    // The category tree: one "Value" column of check boxes with editable titles.
    OutlineView* newMetadataTableCategories(int firstColumnWidth);

    OutlineView* categoriesList() const { return categoriesList_; }
    NSViewContainerCellAdapter* metadataListAdapter() const { return metadataListAdapter_.get(); }
    ZovButtonsStatusUpdater* buttonsStatusUpdater() const { return buttonsStatusUpdater_.get(); }
    QWidget* documentView() const { return documentView_; }
    QWidget* toolbarView() const { return toolbar_; }
    bool isCategoryEditing() const { return categoryEditing_; }

    // The control a value row hosts (made on first use), and the control inside it.
    QWidget* viewForItem(MetadataValue* item);
    static QWidget* controlOfView(QWidget* view);

    // Stored date texts: "2026-12-09 23:09:04 +0000" read as a point in time (nullopt when it
    // does not parse or names no real date).
    static std::optional<QDateTime> dateOfStoredText(const std::string& text);

    // --- forwarding to both lists ---------------------------------------------------------
    void setDataSource(OutlineViewDataSource* dataSource) override;
    void setDelegate(OutlineViewDelegate* delegate) override;
    void expand() override;
    void reloadData() override;
    void reloadItem(Object* item) override;
    // A new provider drops the controls made for the previous one.
    void setDataProvider(Ref<MetadataProvider> provider) override;

    // --- data source and delegate of both lists --------------------------------------------
    std::optional<long> numberOfChildrenOfItem(OutlineView& view, Object* item) override;
    std::optional<Ref<Object>> child(OutlineView& view, long index, Object* item) override;
    std::optional<bool> isItemExpandable(OutlineView& view, Object* item) override;
    std::optional<Value> objectValue(OutlineView& view, TableColumn* column, Object* item) override;
    bool setObjectValue(OutlineView& view, const Value& value, TableColumn* column, Object* item) override;
    std::optional<bool> isGroupItem(OutlineView& view, Object* item) override;
    std::optional<double> heightOfRowByItem(OutlineView& view, Object* item) override;
    bool willDisplayCell(OutlineView& view, Cell& cell, TableColumn* column, Object* item) override;
    std::optional<Cell*> dataCellForTableColumn(OutlineView& view, TableColumn* column, Object* item) override;
    std::optional<bool> selectionShouldChange(OutlineView& view) override;
    std::optional<bool> shouldSelectItem(OutlineView& view, Object* item) override;
    bool didEndEditing(OutlineView& view, TableColumn* column, Object* item, const Value& text, int movement) override;
    bool selectionDidChange(const Notification& notification) override;
    // Category drags.
    std::optional<bool> writeItems(OutlineView& view, const std::vector<Ref<Object>>& items, QMimeData& data) override;
    std::optional<Qt::DropAction> validateDrop(OutlineView& view, const QMimeData& data, Object* item, long childIndex) override;
    std::optional<bool> acceptDrop(OutlineView& view, const QMimeData& data, Object* item, long childIndex) override;

    // --- table kit -------------------------------------------------------------------------
    QWidget* viewForRow(OutlineView& table, int row) override;
    bool applyObjectValue(OutlineView& table, const Value& value, QWidget* view, int row) override;
    bool optimalFrame(OutlineView& table, QSize& size, QWidget* view, int row) override;

    // --- keyword completion ----------------------------------------------------------------
    QStringList completionsForSubstring(TokenField& field, const QString& substring, int tokenIndex, int& selectedIndex) override;

    // --- bar and validation ----------------------------------------------------------------
    std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater& updater) override;
    QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater& updater) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;
    // "delete:" only while the category tree has the keyboard focus.
    bool respondsToAction(const std::string& action) const override;

    // --- category actions ------------------------------------------------------------------
    // A row's box was clicked: the category is ticked or unticked on the item shown.
    void categoryChanged(QObject* sender);
    void onCreateCategoryAction(QObject* sender);
    void onDeleteCategoryAction(QObject* sender);
    // The selected category (null for none or the root row).
    Ref<FileSystemItemMOCategory> selectedCategory() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class HostedControl;
    class CategoriesOutlineView;

    void dropControls();
    // Gives a keyword field the height its tokens need, its row and those below following.
    void fitTokenField(TokenField* tokens, MetadataValue* item);
    QWidget* createViewOfType(std::int32_t type, const QString& title, MetadataValue* item);
    // A labelled container holding `control`.
    QWidget* createLabelledControl(QWidget* control, const QString& title);
    bool isCategoriesList(const OutlineView& view) const { return categoriesList_ && &view == categoriesList_.data(); }
    bool isMetadataList(const OutlineView& view) const { return &view == metadataList(); }
    // Lays the value rows, the tree and the bar out in the document view.
    void layoutDocument();
    // The edit of a category name ended with `text`.
    void categoryNameEdited(FileSystemItemMOCategory* category, const QString& text);
    // Reloads a category's row with its children, keeping the selected category selected.
    void reloadCategory(FileSystemItemMOCategory* category);
    void selectCategory(FileSystemItemMOCategory* category);
    // The category's row, its shown siblings loaded first; -1 when it has none.
    int rowOfCategory(FileSystemItemMOCategory* category) const;
    // Whether the category of `id` may be dropped onto `target`.
    bool canDropCategory(const std::string& id, FileSystemItemMOCategory* target) const;
    static std::vector<std::string> draggedCategoryIDs(const QMimeData& data);

    QPointer<QWidget> documentView_;
    QPointer<OutlineView> categoriesList_; // a CategoriesOutlineView
    QPointer<QWidget> toolbar_;
    std::unique_ptr<ZovButtonsStatusUpdater> buttonsStatusUpdater_;
    std::unique_ptr<NSViewContainerCellAdapter> metadataListAdapter_;
    bool categoryEditing_ = false;
    bool attached_ = false; // a provider's delegate and data source are set
    Ref<FileSystemItemMOCategory> editedCategory_;
    Cell rootCell_;
    std::vector<QPointer<QWidget>> controls_; // the row controls of the current provider
};

} // namespace vistel
