// Outline and table views: what they ask of their data source, selection, actions, editing,
// expanding and collapsing, row heights, the context menu and saved column widths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

#include <map>
#include <set>

#include "Platform/Gui/OutlineView.h"
#include "Platform/Gui/Window.h"
#include "Platform/UserDefaults.h"

using namespace vistel;

namespace {

// A tree item: a name and its children.
struct Node : Object {
    explicit Node(std::string name) : name(std::move(name)) { }
    std::string name;
    std::vector<Ref<Node>> children;
    bool expandable = false;
};

Ref<Node> makeNode(std::string name, int children = 0)
{
    auto node = makeRef<Node>(std::move(name));
    for (int i = 0; i < children; ++i)
        node->children.push_back(makeRef<Node>(node->name + "." + std::to_string(i)));
    node->expandable = children > 0;
    return node;
}

// A data source that counts every question.
struct CountingSource : OutlineViewDataSource {
    Ref<Node> root = makeNode("root");
    std::map<const Object*, int> countAsked;
    std::map<std::pair<const Object*, long>, int> childAsked;
    std::map<const Object*, int> valueAsked;
    std::vector<std::pair<std::string, Value>> written;

    Node* nodeOf(Object* item) { return item ? static_cast<Node*>(item) : root.get(); }
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override
    {
        ++countAsked[item];
        return static_cast<long>(nodeOf(item)->children.size());
    }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object* item) override
    {
        ++childAsked[{item, index}];
        return Ref<Object>(nodeOf(item)->children[static_cast<std::size_t>(index)]);
    }
    std::optional<bool> isItemExpandable(OutlineView&, Object* item) override { return nodeOf(item)->expandable; }
    std::optional<Value> objectValue(OutlineView&, TableColumn*, Object* item) override
    {
        ++valueAsked[item];
        return Value(nodeOf(item)->name);
    }
    bool setObjectValue(OutlineView&, const Value& value, TableColumn*, Object* item) override
    {
        written.emplace_back(nodeOf(item)->name, value);
        return true;
    }
};

std::unique_ptr<OutlineView> makeOutline(CountingSource& source, QSize size = {300, 200})
{
    auto view = std::make_unique<OutlineView>();
    view->addTableColumn(std::make_unique<TableColumn>("name"));
    view->setDataSource(&source);
    view->resize(size);
    view->show();
    return view;
}

// Paints the viewport now.
void paint(OutlineView& view)
{
    view.viewport()->grab();
}

TEST(OutlineView, ExpandingTenThousandChildrenAsksEachOnceAndValuesOnlyForPaintedRows)
{
    CountingSource source;
    source.root->children.push_back(makeNode("big", 10000));
    auto view = makeOutline(source);
    Object* big = source.root->children[0].get();
    view->expandItem(big);
    paint(*view);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + view->verticalScrollBar()->pageStep());
    paint(*view);
    view->verticalScrollBar()->setValue(5000);
    paint(*view);

    EXPECT_EQ(view->numberOfRows(), 10001);
    EXPECT_EQ(source.countAsked[big], 1);
    for (const auto& [key, times] : source.childAsked)
        EXPECT_LE(times, 1) << key.second;
    // Values: only rows that were on screen in one of the three paints (a page is under 20 rows).
    EXPECT_LT(source.valueAsked.size(), 60u);
    const std::pair<int, int> shown = view->rowsInRect(view->viewport()->rect());
    EXPECT_GT(shown.second, 5);
    for (int row = shown.first; row < shown.first + shown.second; ++row)
        EXPECT_GE(source.valueAsked[view->itemAtRow(row)], 1) << row;
    EXPECT_EQ(source.valueAsked.count(view->itemAtRow(2000)), 0u);
}

TEST(OutlineView, ReloadingAnItemAsksThatItemOnlyAndWithChildrenItsChildren)
{
    CountingSource source;
    for (const char* name : {"a", "b", "c"})
        source.root->children.push_back(makeNode(name, 2));
    auto view = makeOutline(source);
    view->expandItem(nullptr);
    paint(*view);
    ASSERT_EQ(view->numberOfRows(), 9);
    source.valueAsked.clear();
    source.countAsked.clear();
    source.childAsked.clear();

    Object* leaf = view->itemAtRow(2); // a.1
    view->reloadItem(leaf);
    paint(*view);
    EXPECT_TRUE(source.countAsked.empty());
    EXPECT_TRUE(source.childAsked.empty());
    // Painting may repaint the region, never ask for other rows' values without cause: the
    // reloaded item is asked again.
    EXPECT_GE(source.valueAsked[leaf], 1);

    Object* b = source.root->children[1].get();
    static_cast<Node*>(b)->children.push_back(makeRef<Node>("b.new"));
    view->reloadItem(b, true);
    paint(*view);
    EXPECT_EQ(source.countAsked[b], 1);
    EXPECT_EQ(source.countAsked.size(), 1u);
    EXPECT_EQ(view->numberOfRows(), 10);
    EXPECT_EQ(view->rowForItem(source.root->children[2].get()), 7);

    view->reloadData();
    EXPECT_EQ(view->numberOfRows(), 3);
}

// A delegate that records what the view tells it.
struct RecordingDelegate : OutlineViewDelegate {
    std::set<std::string> unselectable;
    std::vector<std::string> events;
    std::optional<double> height;
    QMenu* menu = nullptr;
    std::string nameOf(const Notification& n) { return n.userInfo.get("NSObject").toObject<Node>()->name; }
    std::optional<bool> shouldSelectItem(OutlineView&, Object* item) override
    {
        return !unselectable.count(static_cast<Node*>(item)->name);
    }
    std::optional<double> heightOfRowByItem(OutlineView&, Object*) override { return height; }
    std::optional<QMenu*> menuForItem(OutlineView&, Object* item) override
    {
        events.push_back("menu " + (item ? static_cast<Node*>(item)->name : std::string("none")));
        return menu;
    }
    bool didEndEditing(OutlineView&, TableColumn*, Object* item, const Value& text, int movement) override
    {
        events.push_back("end " + static_cast<Node*>(item)->name + " " + text.toString() + " " + std::to_string(movement));
        return true;
    }
    bool itemWillExpand(const Notification& n) override { return record("will expand ", n); }
    bool itemDidExpand(const Notification& n) override { return record("did expand ", n); }
    bool itemWillCollapse(const Notification& n) override { return record("will collapse ", n); }
    bool itemDidCollapse(const Notification& n) override { return record("did collapse ", n); }
    bool record(const std::string& what, const Notification& n)
    {
        events.push_back(what + nameOf(n));
        return true;
    }
};

// The line edit of the edit in progress (an ended one lingers hidden until deleted).
QLineEdit* currentEditor(OutlineView& view)
{
    for (QLineEdit* editor : view.viewport()->findChildren<QLineEdit*>())
        if (editor->isVisible())
            return editor;
    return nullptr;
}

QPoint rowCentre(OutlineView& view, int row)
{
    return view.frameOfCellAtColumn(0, row).center();
}

TEST(OutlineView, ClicksSelectByTheDelegatesLeaveAndActionsTravelTheChain)
{
    CountingSource source;
    for (const char* name : {"a", "b", "c", "d"})
        source.root->children.push_back(makeNode(name));
    RecordingDelegate delegate;
    delegate.unselectable = {"c"};
    Window window;
    auto* view = new OutlineView;
    view->addTableColumn(std::make_unique<TableColumn>("name"));
    view->setDataSource(&source);
    view->setDelegate(&delegate);
    window.setCentralWidget(view);
    std::vector<std::string> performed;
    window.setActionHandler("outlineClick:", [&](QObject*) { performed.push_back("click " + std::to_string(view->clickedRow())); });
    window.setActionHandler("outlineDoubleClick:", [&](QObject*) { performed.push_back("double " + std::to_string(view->clickedRow())); });
    view->setAction("outlineClick:");
    view->setDoubleAction("outlineDoubleClick:");
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(*view, 0));
    EXPECT_EQ(view->selectedRowIndexes(), std::vector<int>({0}));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCentre(*view, 1));
    EXPECT_EQ(view->selectedRowIndexes(), std::vector<int>({0, 1}));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(*view, 2)); // refused
    EXPECT_EQ(view->selectedRowIndexes(), std::vector<int>({0, 1}));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(*view, 3));
    EXPECT_EQ(view->selectedRowIndexes(), std::vector<int>({3}));
    // Every click sent the action (the refused one too); the double click its double action.
    ASSERT_GE(performed.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(performed.begin(), performed.begin() + 3), std::vector<std::string>({"click 0", "click 1", "click 2"}));
    EXPECT_EQ(performed.back(), "double 3");
}

TEST(OutlineView, ReturnEndsAnEditWithItsTextAndEscapeAbandonsIt)
{
    CountingSource source;
    for (const char* name : {"a", "b"})
        source.root->children.push_back(makeNode(name));
    RecordingDelegate delegate;
    auto view = makeOutline(source);
    view->setDelegate(&delegate);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));

    view->editColumn(0, 1);
    ASSERT_TRUE(view->isEditing());
    auto* editor = currentEditor(*view);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "b");
    editor->selectAll();
    QTest::keyClicks(editor, "renamed");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isEditing());
    ASSERT_EQ(source.written.size(), 1u);
    EXPECT_EQ(source.written[0], std::make_pair(std::string("b"), Value("renamed")));
    EXPECT_EQ(delegate.events, std::vector<std::string>({"end b renamed 16"}));

    // Tab and Backtab end it with their own movements.
    struct MoveCase { Qt::Key key; const char* event; };
    for (const MoveCase& c : {MoveCase {Qt::Key_Tab, "end a t 17"}, MoveCase {Qt::Key_Backtab, "end a t 18"}}) {
        delegate.events.clear();
        view->editColumn(0, 0);
        editor = currentEditor(*view);
        ASSERT_NE(editor, nullptr);
        editor->setText("t");
        QTest::keyClick(editor, c.key);
        QCoreApplication::processEvents();
        ASSERT_FALSE(delegate.events.empty());
        EXPECT_EQ(delegate.events.front(), c.event);
        if (QLineEdit* next = currentEditor(*view))
            QTest::keyClick(next, Qt::Key_Escape);
        QCoreApplication::processEvents();
    }
    source.written.clear();
    delegate.events.clear();

    view->editColumn(0, 0);
    editor = currentEditor(*view);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "zzz");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isEditing());
    EXPECT_TRUE(source.written.empty());
    EXPECT_TRUE(delegate.events.empty());
}

TEST(OutlineView, KeysAndTheTriangleExpandAndCollapseWithNotifications)
{
    CountingSource source;
    source.root->children.push_back(makeNode("a", 2));
    source.root->children[0]->children[0] = makeNode("a.0", 1);
    source.root->children.push_back(makeNode("b"));
    RecordingDelegate delegate;
    auto view = makeOutline(source);
    view->setDelegate(&delegate);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->selectRowIndexes({0}, false);
    view->setFocus();

    QTest::keyClick(view.get(), Qt::Key_Right);
    EXPECT_EQ(view->numberOfRows(), 4);
    QTest::keyClick(view.get(), Qt::Key_Left);
    EXPECT_EQ(view->numberOfRows(), 2);
    EXPECT_EQ(delegate.events, std::vector<std::string>({"will expand a", "did expand a", "will collapse a", "did collapse a"}));

    // The triangle left of the row expands; the option key expands the children too.
    const QRect cell = view->frameOfCellAtColumn(0, 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::AltModifier, QPoint(cell.x() - view->indentation() / 2, cell.center().y()));
    EXPECT_EQ(view->numberOfRows(), 5);
    EXPECT_TRUE(view->isItemExpanded(source.root->children[0]->children[0].get()));

    view->collapseItem(nullptr);
    EXPECT_EQ(view->numberOfRows(), 2);
    view->expandItem(nullptr);
    EXPECT_EQ(view->numberOfRows(), 5);
    EXPECT_EQ(view->levelForRow(2), 2);
}

TEST(OutlineView, RowHeightsComeFromTheDelegateAndAnOutlineOutsideAScrollAreaFitsItsRows)
{
    CountingSource source;
    for (const char* name : {"a", "b", "c"})
        source.root->children.push_back(makeNode(name));
    RecordingDelegate delegate;
    auto view = makeOutline(source);
    view->header()->hide();
    view->setDelegate(&delegate);
    view->setSizesHeightToRows(true);
    EXPECT_EQ(view->rectOfRow(1).height(), 17);
    EXPECT_EQ(view->height(), 3 * 17 + 2 * view->frameWidth());

    delegate.height = 30;
    view->noteHeightOfRowsWithIndexesChanged({0, 1, 2});
    EXPECT_EQ(view->height(), 3 * 30 + 2 * view->frameWidth());
    EXPECT_EQ(view->rectOfRow(2).height(), 30);
}

// A cell that records where it was drawn, by value.
struct RecordingCell : Cell {
    std::shared_ptr<std::vector<std::pair<std::string, QRectF>>> drawn = std::make_shared<std::vector<std::pair<std::string, QRectF>>>();
    std::unique_ptr<Cell> clone() const override { return std::make_unique<RecordingCell>(*this); }
    void drawInteriorWithFrame(QPainter&, const QRectF& frame, OutlineView&) override { drawn->emplace_back(stringValue().toStdString(), frame); }
};

struct GroupDelegate : OutlineViewDelegate {
    std::optional<bool> isGroupItem(OutlineView&, Object* item) override { return static_cast<Node*>(item)->expandable; }
};

TEST(OutlineView, AGroupRowIsOneCellAcrossTheRow)
{
    CountingSource source;
    source.root->children = {makeNode("group", 1)};
    auto view = std::make_unique<OutlineView>();
    auto cells = std::make_unique<RecordingCell>();
    auto drawn = cells->drawn;
    auto first = std::make_unique<TableColumn>("first");
    first->setDataCell(std::move(cells));
    view->addTableColumn(std::move(first));
    auto second = std::make_unique<TableColumn>("second");
    second->setDataCell(std::make_unique<RecordingCell>(*static_cast<RecordingCell*>(&view->tableColumns()[0]->dataCell())));
    view->addTableColumn(std::move(second));
    GroupDelegate delegate;
    view->setDelegate(&delegate);
    view->setDataSource(&source);
    view->resize(300, 200);
    view->show();
    view->expandItem(nullptr);
    view->viewport()->grab();
    std::map<std::string, std::vector<QRectF>> frames;
    for (const auto& [value, frame] : *drawn)
        frames[value].push_back(frame);
    ASSERT_EQ(frames["group"].size(), 1u);
    EXPECT_EQ(frames["group"][0].right(), view->viewport()->width());
    EXPECT_EQ(frames["group.0"].size(), 2u); // an ordinary row: one cell per column
}

TEST(OutlineView, RightClickShowsTheDelegatesMenuForTheRow)
{
    CountingSource source;
    source.root->children.push_back(makeNode("a"));
    RecordingDelegate delegate;
    QMenu menu;
    menu.addAction("Open");
    delegate.menu = &menu;
    auto view = makeOutline(source);
    view->setDelegate(&delegate);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const QPoint point = rowCentre(*view, 0);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, view->viewport()->mapToGlobal(point));
    QApplication::sendEvent(view->viewport(), &event);
    EXPECT_EQ(delegate.events, std::vector<std::string>({"menu a"}));
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(view->clickedRow(), 0);
    menu.hide();
}

// A data source that drags its items' names and takes drops on folders.
struct DraggingSource : CountingSource {
    std::vector<std::string> dropped;
    std::optional<bool> writeItems(OutlineView&, const std::vector<Ref<Object>>& items, QMimeData& data) override
    {
        QStringList names;
        for (const Ref<Object>& item : items)
            names << QString::fromStdString(static_cast<Node*>(item.get())->name);
        data.setText(names.join(","));
        return true;
    }
    std::optional<Qt::DropAction> validateDrop(OutlineView&, const QMimeData&, Object* item, long) override
    {
        return item && nodeOf(item)->expandable ? Qt::CopyAction : Qt::IgnoreAction;
    }
    std::optional<bool> acceptDrop(OutlineView&, const QMimeData& data, Object* item, long childIndex) override
    {
        dropped.push_back(nodeOf(item)->name + " <- " + data.text().toStdString() + " at " + std::to_string(childIndex));
        return true;
    }
};

TEST(OutlineView, DragsAndDropsGoThroughTheDataSourceWithTheirMimeData)
{
    DraggingSource source;
    source.root->children = {makeNode("folder", 1), makeNode("a"), makeNode("b")};
    auto view = makeOutline(source);
    QAbstractItemModel* model = view->model();
    std::unique_ptr<QMimeData> data(model->mimeData({model->index(1, 0), model->index(2, 0)}));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(), "a,b");
    EXPECT_TRUE(model->canDropMimeData(data.get(), Qt::CopyAction, 0, 0, model->index(0, 0)));
    EXPECT_FALSE(model->canDropMimeData(data.get(), Qt::CopyAction, 0, 0, model->index(1, 0)));
    EXPECT_TRUE(model->dropMimeData(data.get(), Qt::CopyAction, -1, 0, model->index(0, 0)));
    EXPECT_EQ(source.dropped, std::vector<std::string>({"folder <- a,b at -1"}));

    // A data source that writes nothing starts no drag.
    CountingSource plain;
    plain.root->children = {makeNode("a")};
    view->setDataSource(&plain);
    EXPECT_EQ(std::unique_ptr<QMimeData>(model->mimeData({model->index(0, 0)})), nullptr);
}

// Rows are selected as one range per run of neighbours under one parent, and the rows read back
// are the rows set: runs, gaps, single rows, repeats and rows out of range, in any order; a
// run that crosses from one parent's children to the next parent's splits there.
TEST(OutlineView, SelectedRowsAreRangesOfNeighboursAndReadBackAsSet)
{
    CountingSource source;
    for (const char* name : {"a", "b"})
        source.root->children.push_back(makeNode(name, 4));
    auto view = makeOutline(source);
    view->addTableColumn(std::make_unique<TableColumn>("second"));
    view->expandItem(nullptr);
    ASSERT_EQ(view->numberOfRows(), 10); // a a.0 … a.3 b b.0 … b.3

    struct Case {
        std::vector<int> rows;
        std::vector<int> selected;
        int ranges;
    };
    const Case cases[] = {
        {{}, {}, 0},
        {{3}, {3}, 1},
        {{1, 2, 3, 4}, {1, 2, 3, 4}, 1},
        {{4, 2, 3, 1}, {1, 2, 3, 4}, 1},            // any order
        {{1, 2, 4}, {1, 2, 4}, 2},                  // a gap
        {{0, 5}, {0, 5}, 1},                        // siblings a and b are neighbours in the model
        {{3, 4, 5, 6}, {3, 4, 5, 6}, 3},            // a.2 a.3 | b | b.0: three parents' runs
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 4},
        {{2, 2, 2, 9, 42, -1}, {2, 9}, 2},          // repeats and rows that do not exist
    };
    for (const Case& c : cases) {
        view->selectRowIndexes({7}, false); // something to replace
        view->selectRowIndexes(c.rows, false);
        EXPECT_EQ(view->selectedRowIndexes(), c.selected) << ::testing::PrintToString(c.rows);
        EXPECT_EQ(view->selectionModel()->selection().size(), c.ranges) << ::testing::PrintToString(c.rows);
        for (int row : c.selected)
            EXPECT_TRUE(view->selectionModel()->isRowSelected(view->indexOfRow(row).row(), view->indexOfRow(row).parent()))
                << row;
    }

    // Extending adds to what is selected; a cell's part of a row does not count as a row.
    view->selectRowIndexes({1, 2}, false);
    view->selectRowIndexes({8, 9}, true);
    EXPECT_EQ(view->selectedRowIndexes(), (std::vector<int> {1, 2, 8, 9}));
    view->selectionModel()->select(view->indexOfRow(4, 1), QItemSelectionModel::Select);
    EXPECT_EQ(view->selectedRowIndexes(), (std::vector<int> {1, 2, 8, 9}));
}

// A table of numbered rows.
struct Numbers : TableViewDataSource, TableViewDelegate {
    long rows = 5;
    std::optional<long> numberOfRowsInTableView(TableView&) override { return rows; }
    std::optional<Value> objectValue(TableView&, TableColumn* column, long row) override
    {
        return Value(column->identifier() + std::to_string(row));
    }
    std::optional<bool> shouldSelectRow(TableView&, long row) override { return row != 1; }
};

// A table's row items lead back to their rows, across reloads too, and a selection given as
// runs of rows comes back row by row; an item that is no row of the table has none.
TEST(TableView, RowItemsFindTheirRowsAndSelectionsComeBackWhole)
{
    Numbers numbers;
    numbers.rows = 1000;
    TableView table;
    table.setTableDataSource(&numbers);
    table.addTableColumn(std::make_unique<TableColumn>("n"));
    table.addTableColumn(std::make_unique<TableColumn>("m"));
    table.reloadData();
    Ref<Object> row7(table.itemAtRow(7));
    ASSERT_TRUE(row7);
    EXPECT_EQ(table.rowForItem(row7.get()), 7);
    EXPECT_EQ(table.rowForItem(table.itemAtRow(999)), 999);
    const Ref<Object> stranger = makeRef<Object>();
    EXPECT_EQ(table.rowForItem(stranger.get()), -1);

    IndexSet rows = IndexSet::withRange(2, 3);
    rows.addRange(10, 990);
    table.selectRowIndexSet(rows);
    EXPECT_EQ(table.selectedRowIndexSet(), rows);
    std::vector<int> expected {2, 3, 4};
    for (int row = 10; row < 1000; ++row)
        expected.push_back(row);
    EXPECT_EQ(table.selectedRowIndexes(), expected);
    // Rows given one by one, in any order, rows past the end left out.
    table.selectRowIndexes({501, 0, 2, 1, 500, 999, 5000}, false);
    EXPECT_EQ(table.selectedRowIndexes(), (std::vector<int> {0, 1, 2, 500, 501, 999}));

    numbers.rows = 5;
    table.reloadData();
    EXPECT_EQ(table.rowForItem(table.itemAtRow(3)), 3);
    EXPECT_EQ(table.rowForItem(row7.get()), -1); // no row 7 any more
    EXPECT_EQ(table.itemAtRow(7), nullptr);
}

TEST(TableView, RowsAreNumbersAndColumnWidthsAreSavedUnderTheAutosaveName)
{
    UserDefaults::standard().setPath(""); // in memory: the test writes no preferences file
    Numbers numbers;
    TableView table;
    table.setTableDataSource(&numbers);
    table.setTableDelegate(&numbers);
    auto column = std::make_unique<TableColumn>("n");
    column->setTitle("Number");
    column->setWidth(80);
    table.addTableColumn(std::move(column));
    table.setAutosaveName("TestNumbers");
    table.reloadData();
    table.resize(200, 200);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    EXPECT_EQ(table.numberOfRows(), 5);
    EXPECT_EQ(TableView::rowOfItem(table.itemAtRow(3)), 3);
    EXPECT_EQ(table.model()->index(3, 0).data().toString(), "n3");
    EXPECT_EQ(table.model()->headerData(0, Qt::Horizontal).toString(), "Number");

    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.frameOfCellAtColumn(0, 1).center());
    EXPECT_TRUE(table.selectedRowIndexes().empty());

    table.header()->resizeSection(0, 120);
    EXPECT_EQ(table.tableColumns()[0]->width(), 120);
    table.tableColumns()[0]->setMinWidth(40);
    table.header()->resizeSection(0, 20); // not below the column's minimum
    EXPECT_EQ(table.header()->sectionSize(0), 40);
    table.header()->resizeSection(0, 120);
    // Named before or after its columns are added, a table takes the saved widths.
    for (bool namedFirst : {false, true}) {
        TableView again;
        if (namedFirst)
            again.setAutosaveName("TestNumbers");
        again.addTableColumn(std::make_unique<TableColumn>("n"));
        if (!namedFirst)
            again.setAutosaveName("TestNumbers");
        EXPECT_EQ(again.tableColumns()[0]->width(), 120) << namedFirst;
        EXPECT_EQ(again.header()->sectionSize(0), 120) << namedFirst;
    }
}

} // namespace
