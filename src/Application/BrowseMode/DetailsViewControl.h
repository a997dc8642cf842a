#pragma once
// DetailsViewControl: the items view control whose view is a four-column list
// (DetailViewControlTableView): name (thumbnail or icon at 32 x 32, padlock), size, kind and
// modification date, one row per listed object.
//
// Cell texts: the name after one space; size, kind and date after two; a folder's kind is
// "Folder" (translated) and its size is empty. The date takes the longest of five ICU styles
// (full/full, long/long, medium/medium, short/short, short/none) whose text fits the column in
// the date cell's font; the choice is made again only when the column's width changes.
//
// The table keeps its column widths under "NSOutlineView Columns DetailsViewControl". Clicks,
// double clicks (and Return / Enter without modifiers), right clicks and row drags go to the
// control's user actions; a right click on a row outside the selection selects it alone first.
// A drag offers copy, move and link; the end of a drag never deletes anything (a move was done by
// the receiver).
//
// Thread rules: main thread only.

#include <array>
#include <string>

#include "Application/BrowseMode/ItemsViewControl.h"
#include "Platform/Gui/OutlineView.h"

namespace vistel {

class DetailsViewControl;

class DetailViewControlTableView : public TableView, public ItemsViewProtocol {
public:
    explicit DetailViewControlTableView(DetailsViewControl& control, QWidget* parent = nullptr);

    // ItemsViewProtocol.
    IndexSet selectedItemsIndexes() const override;
    int clickedItem() const override { return clickedRow(); }
    int controlClickedItem() const override { return controlClickedRow_; }
    void setNeedsDisplay() override { viewport()->update(); }
    void reloadData() override { TableView::reloadData(); }
    void updateLayoutAndFrame() override { }

    // Replaces the table's selection (nothing when it is already that).
    void setSelectedItemIndexes(const IndexSet& indexes);
    int controlClickedRow() const { return controlClickedRow_; }
    int controlClickedColumn() const { return controlClickedColumn_; }

protected:
    QMenu* menuForRow(int row) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    DetailsViewControl& control_;
    int controlClickedRow_ = -1;
    int controlClickedColumn_ = -1;
};

class DetailsViewControl : public ItemsViewControl, public TableViewDataSource, public TableViewDelegate {
public:
    ZOV_CLASS(DetailsViewControl, ItemsViewControl)

    explicit DetailsViewControl(QWidget* parent = nullptr);
    ~DetailsViewControl() override;

    DetailViewControlTableView* tableView() const { return table_; }
    ItemsViewProtocol* itemsView() const override { return table_; }
    QWidget* itemsViewWidget() const override { return table_; }

    // --- the control --------------------------------------------------------------------------------
    void reloadData() override;
    void updateItemWithIndex(unsigned index) override;
    IndexSet visibleItemsIndexSet() const override;
    void scrollToItemWithIndex(unsigned index) override;
    void handleBrowsingSelectionNotifications(const Notification& notification) override;
    Ref<FileSystemItemMO> dropFolderForDrop(QPoint point) const override;
    // Return or Enter without modifiers opens the selection (answers true); other keys false.
    bool performKeyEquivalent(int key, Qt::KeyboardModifiers modifiers);

    // --- table data source and delegate ---------------------------------------------------------
    std::optional<long> numberOfRowsInTableView(TableView&) override { return long(foldersObjectsCount()); }
    std::optional<Value> objectValue(TableView& table, TableColumn* column, long row) override;
    bool willDisplayCell(TableView& table, Cell& cell, TableColumn* column, long row) override;
    bool selectionDidChange(const Notification& notification) override;

    // The text of a cell, as the list shows it (empty for an unknown column).
    std::string cellText(const std::string& column, long row);

    // --- dates --------------------------------------------------------------------------------------
    static constexpr int DateFormatCount = 5;
    // The date in one of the five styles (0 longest … 4 short date only).
    static std::string formattedDate(const Date& date, int formatIndex);
    // The locale and time zone the dates are written in (empty: ICU's defaults); the shared
    // formatters are made again.
    static void setDateFormatLocale(const std::string& locale, const std::string& timeZone);
    int cachedDateFormatIndex() const { return cachedDateFormatIndex_; }
    // The font of every cell: the small system font.
    static QFont cellFont();
    // The side of the square every name cell's picture is drawn in, whatever its shape.
    static constexpr int NameImageSide = 32;

    // Until the user sizes a column, and unless widths were kept from an earlier run, the name
    // column takes the width the other columns leave.
    void fitNameColumn();
    bool fitsNameColumn() const { return fitNameColumn_; }

private:
    // Wide enough for the dates' medium style (a first layout only).
    void fitDateColumnToMediumStyle();

    DetailViewControlTableView* table_ = nullptr;
    int cachedDateColumnWidth_ = -1;
    int cachedDateFormatIndex_ = -1;
    bool copyingSelection_ = false;
    bool fitNameColumn_ = false;
    bool fittingNameColumn_ = false;
};

} // namespace vistel
