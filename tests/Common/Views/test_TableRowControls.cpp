// Controls in table rows: hosted widgets, the adapter between a table and its real delegate, and
// the notificator that brings the widgets' edits back as values.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <map>

#include "Common/Views/CustomTables/TableViewNSViewContainerCell.h"
#include "Platform/Gui/View.h"

using namespace vistel;

namespace {

struct Field : Object {
    Field(std::string name, std::string kind) : name(std::move(name)), kind(std::move(kind)) { }
    std::string name;
    std::string kind; // "group", "line", "check", "date", "notes"
    std::vector<Ref<Field>> children;
};

Ref<Field> field(std::string name, std::string kind, std::vector<Ref<Field>> children = {})
{
    auto made = makeRef<Field>(std::move(name), std::move(kind));
    made->children = std::move(children);
    return made;
}

struct Written {
    std::string item;
    std::string column;
    Value value;
    std::vector<int> selection; // the outline's selection when the value arrived
    bool operator==(const Written&) const = default;
};

// The metadata-like panel: data source and real delegate of an outline whose "value" column
// hosts a widget per field.
struct FieldsPanel : OutlineViewDataSource, TableViewNSViewContainerDelegateProtocol {
    Ref<Field> root = field("root", "group",
                            {field("Fields", "group",
                                   {field("caption", "line"), field("tagged", "check"), field("date", "date"), field("notes", "notes")}),
                             field("Nested", "group", {field("inner", "group", {field("deep", "line")})})});
    std::map<const Object*, QPointer<QWidget>> views;
    std::vector<Written> written;
    OutlineView* outline = nullptr;

    Field* of(Object* item) { return item ? static_cast<Field*>(item) : root.get(); }
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override { return static_cast<long>(of(item)->children.size()); }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object* item) override
    {
        return Ref<Object>(of(item)->children[static_cast<std::size_t>(index)]);
    }
    std::optional<bool> isItemExpandable(OutlineView&, Object* item) override { return of(item)->kind == "group"; }
    std::optional<Value> objectValue(OutlineView&, TableColumn* column, Object* item) override
    {
        return Value(column->identifier() == "name" ? of(item)->name : std::string("stored"));
    }
    bool setObjectValue(OutlineView& table, const Value& value, TableColumn* column, Object* item) override
    {
        written.push_back({of(item)->name, column ? column->identifier() : "", value, table.selectedRowIndexes()});
        return true;
    }

    QWidget* viewForRow(OutlineView& table, int row) override
    {
        Object* item = table.itemAtRow(row);
        if (!item || of(item)->kind == "group")
            return nullptr;
        QPointer<QWidget>& view = views[item];
        if (!view) {
            const std::string& kind = of(item)->kind;
            if (kind == "line")
                view = new QLineEdit;
            else if (kind == "check")
                view = new QCheckBox("Tagged");
            else if (kind == "date")
                view = new QDateEdit(QDate(2026, 12, 10));
            else
                view = new QPlainTextEdit;
            view->resize(100, 20);
            NSControlToCellAdapterNotificator::attach(view, table, *table.tableColumnWithIdentifier("value"), item);
        }
        return view;
    }
    bool applyObjectValue(OutlineView&, const Value& value, QWidget* view, int) override
    {
        if (auto* line = qobject_cast<QLineEdit*>(view))
            line->setText(QString::fromStdString(value.toString()));
        return true;
    }
    bool optimalFrame(OutlineView&, QSize& size, QWidget* view, int) override
    {
        auto* notes = qobject_cast<QPlainTextEdit*>(view);
        if (!notes)
            return false;
        size.setHeight(notes->document()->blockCount() * notes->fontMetrics().lineSpacing() + 10);
        return true;
    }
    std::optional<double> heightOfRowByItem(OutlineView&, Object* item) override
    {
        auto found = views.find(item);
        if (found != views.end() && found->second && qobject_cast<QPlainTextEdit*>(found->second.data()))
            return std::max(22, found->second->height());
        return 22.0;
    }
    std::optional<bool> shouldSelectItem(OutlineView&, Object*) override { return true; }
    std::optional<bool> selectionShouldChange(OutlineView&) override { return true; }
};

struct RowControlsFixture {
    FieldsPanel panel;
    std::unique_ptr<OutlineView> outline = std::make_unique<OutlineView>();
    std::unique_ptr<NSViewContainerCellAdapter> adapter;

    RowControlsFixture()
    {
        outline->addTableColumn(std::make_unique<TableColumn>("name"));
        auto value = std::make_unique<TableColumn>("value");
        value->setWidth(160);
        value->setDataCell(std::make_unique<TableViewNSViewContainerCell>());
        outline->addTableColumn(std::move(value));
        adapter = std::make_unique<NSViewContainerCellAdapter>(*outline);
        adapter->setDataSource(&panel);
        adapter->setDelegate(&panel);
        panel.outline = outline.get();
        adapter->reloadData();
        outline->resize(320, 300);
        outline->show();
        outline->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(outline.get()));
        outline->expandItem(nullptr);
        paint();
    }
    void paint() { outline->viewport()->grab(); }
    QWidget* viewOf(const std::string& name)
    {
        for (auto& [item, view] : panel.views)
            if (static_cast<const Field*>(item)->name == name)
                return view;
        return nullptr;
    }
    int rowOf(const std::string& name)
    {
        for (int row = 0; row < outline->numberOfRows(); ++row)
            if (static_cast<Field*>(outline->itemAtRow(row))->name == name)
                return row;
        return -1;
    }
};

TEST(TableRowControls, TypingReloadsTheRowAtEachKeyAndDeliversTheTextWhenEditingEnds)
{
    RowControlsFixture f;
    auto* caption = qobject_cast<QLineEdit*>(f.viewOf("caption"));
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(caption->isVisible());
    EXPECT_EQ(caption->text(), "stored");
    // Placed over its cell, its own height kept.
    const QRect cell = f.outline->frameOfCellAtColumn(1, f.rowOf("caption"));
    EXPECT_EQ(caption->geometry(), QRect(cell.x(), cell.y(), cell.width(), 20));

    int reloads = 0;
    QObject::connect(f.outline->model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& index) {
        reloads += f.outline->rowOfIndex(index) == f.rowOf("caption");
    });
    caption->setFocus();
    caption->clear();
    QTest::keyClicks(caption, "abc");
    f.paint(); // a reload repaints; the edit in progress keeps what was typed
    EXPECT_EQ(reloads, 3);
    EXPECT_EQ(caption->text(), "abc");
    EXPECT_TRUE(f.panel.written.empty());
    QTest::keyClick(caption, Qt::Key_Return);
    ASSERT_EQ(f.panel.written.size(), 1u);
    EXPECT_EQ(f.panel.written[0].item, "caption");
    EXPECT_EQ(f.panel.written[0].column, "value");
    EXPECT_EQ(f.panel.written[0].value, Value("abc"));

    // A focus change ends the edit too.
    QTest::keyClicks(caption, "d");
    f.viewOf("tagged")->setFocus();
    ASSERT_EQ(f.panel.written.size(), 2u);
    EXPECT_EQ(f.panel.written[1].value, Value("abcd"));
}

TEST(TableRowControls, ControlsDeliverTheirValuesAtOnce)
{
    RowControlsFixture f;
    auto* tagged = qobject_cast<QCheckBox*>(f.viewOf("tagged"));
    ASSERT_NE(tagged, nullptr);
    QTest::mouseClick(tagged, Qt::LeftButton, {}, QPoint(8, tagged->height() / 2));
    auto* date = qobject_cast<QDateEdit*>(f.viewOf("date"));
    ASSERT_NE(date, nullptr);
    date->setDate(QDate(2027, 1, 2));
    ASSERT_EQ(f.panel.written.size(), 2u);
    EXPECT_EQ(f.panel.written[0], (Written {"tagged", "value", Value(1), {}}));
    EXPECT_EQ(f.panel.written[1].item, "date");
    EXPECT_EQ(f.panel.written[1].value.toDate(), Date {static_cast<double>(QDateTime(QDate(2027, 1, 2), QTime(0, 0)).toSecsSinceEpoch())});
}

TEST(TableRowControls, AGrowingFieldMakesItsRowTaller)
{
    RowControlsFixture f;
    auto* notes = qobject_cast<QPlainTextEdit*>(f.viewOf("notes"));
    ASSERT_NE(notes, nullptr);
    const int row = f.rowOf("notes");
    // One line at first.
    EXPECT_EQ(f.outline->rectOfRow(row).height(), notes->fontMetrics().lineSpacing() + 10);
    notes->setFocus();
    QTest::keyClicks(notes, "one");
    for (const char* line : {"two", "three", "four"}) {
        QTest::keyClick(notes, Qt::Key_Return);
        QTest::keyClicks(notes, line);
    }
    f.paint();
    f.paint();
    const int expected = 4 * notes->fontMetrics().lineSpacing() + 10;
    EXPECT_EQ(notes->height(), expected);
    EXPECT_EQ(f.outline->rectOfRow(row).height(), expected);
    EXPECT_EQ(notes->geometry().top(), f.outline->rectOfRow(row).top());
    // The rows below moved down with it.
    EXPECT_EQ(f.outline->rectOfRow(row + 1).top(), f.outline->rectOfRow(row).bottom() + 1);
}

TEST(TableRowControls, CollapsingHidesTheViewsBelowGrandchildrenIncluded)
{
    RowControlsFixture f;
    QWidget* deep = f.viewOf("deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_TRUE(deep->isVisible());
    f.outline->collapseItem(f.panel.root->children[1].get()); // "Nested"
    EXPECT_FALSE(deep->isVisible());
    EXPECT_TRUE(f.viewOf("caption")->isVisible());
    f.outline->collapseItem(f.panel.root->children[0].get()); // "Fields"
    f.paint();
    for (const char* name : {"caption", "tagged", "date", "notes"})
        EXPECT_FALSE(f.viewOf(name)->isVisible()) << name;
    f.outline->expandItem(nullptr);
    f.paint();
    EXPECT_TRUE(deep->isVisible());
    EXPECT_EQ(deep->geometry().top(), f.outline->rectOfRow(f.rowOf("deep")).top());
}

TEST(TableRowControls, AnEditEndsBeforeTheSelectionMoves)
{
    RowControlsFixture f;
    f.outline->selectRowIndexes({f.rowOf("caption")}, false);
    auto* caption = qobject_cast<QLineEdit*>(f.viewOf("caption"));
    caption->setFocus();
    QTest::keyClicks(caption, "zz");
    const int nested = f.rowOf("Nested");
    QTest::mouseClick(f.outline->viewport(), Qt::LeftButton, {}, f.outline->frameOfCellAtColumn(0, nested).center());
    ASSERT_EQ(f.panel.written.size(), 1u);
    EXPECT_EQ(f.panel.written[0].item, "caption");
    EXPECT_EQ(f.panel.written[0].selection, std::vector<int>({f.rowOf("caption")}));
    EXPECT_EQ(f.outline->selectedRowIndexes(), std::vector<int>({nested}));
}

TEST(TableRowControls, TwoAdaptersNeverCrossTalkAndANullValueOnlyReloads)
{
    RowControlsFixture a;
    RowControlsFixture b;
    Object* captionA = a.outline->itemAtRow(a.rowOf("caption"));
    NSViewContainerCellAdapter::notifyChangedOutlineView(*a.outline, Value("for a"), a.outline->tableColumnWithIdentifier("value"), captionA);
    NSViewContainerCellAdapter::notifyChangedOutlineView(*a.outline, Value(), a.outline->tableColumnWithIdentifier("value"), captionA);
    ASSERT_EQ(a.panel.written.size(), 1u);
    EXPECT_EQ(a.panel.written[0].value, Value("for a"));
    EXPECT_TRUE(b.panel.written.empty());
}

TEST(TableRowControls, WithoutARealDelegateAnOutlineShowsNoRowsAndRefusesSelection)
{
    FieldsPanel panel;
    OutlineView outline;
    outline.addTableColumn(std::make_unique<TableColumn>("name"));
    NSViewContainerCellAdapter adapter(outline);
    adapter.setDataSource(&panel);
    adapter.reloadData();
    EXPECT_EQ(outline.numberOfRows(), 0);
    EXPECT_EQ(adapter.shouldSelectItem(outline, panel.root.get()), false);
    adapter.setDelegate(&panel);
    adapter.reloadData();
    EXPECT_EQ(outline.numberOfRows(), 2);
}

// A table of numbered rows behind an adapter.
struct Rows : TableViewDataSource, TableViewNSViewContainerDelegateProtocol {
    std::vector<std::pair<long, Value>> written;
    std::optional<long> numberOfRowsInTableView(TableView&) override { return 3; }
    std::optional<Value> objectValue(TableView&, TableColumn*, long row) override { return Value(row); }
    bool setObjectValue(TableView&, const Value& value, TableColumn*, long row) override
    {
        written.emplace_back(row, value);
        return true;
    }
    QWidget* viewForRow(OutlineView&, int) override { return nullptr; }
};

TEST(TableRowControls, TheTableFormNamesItsRowAndATableWithoutDelegateStillSelects)
{
    Rows rows;
    TableView table;
    table.addTableColumn(std::make_unique<TableColumn>("n"));
    NSViewContainerCellAdapter adapter(table);
    adapter.setTableDataSource(&rows);
    EXPECT_EQ(adapter.shouldSelectRow(table, 1), true);
    adapter.setDelegate(&rows);
    adapter.reloadData();
    EXPECT_EQ(table.numberOfRows(), 3);

    NSViewContainerCellAdapter::notifyChangedTableView(table, Value("two"), table.tableColumnWithIdentifier("n"), 2);
    // Without "Row" the notification names no row: nothing is written (not row 0).
    NotificationCenter::defaultCenter().postNotificationName(kTableViewItemDidChangeNotification, Ref<Object>(View::viewObject(&table)),
                                                             Value::dictionary({{"Column", "n"}, {"Value", "lost"}}));
    ASSERT_EQ(rows.written.size(), 1u);
    EXPECT_EQ(rows.written[0], std::make_pair(2L, Value("two")));
}

TEST(TableRowControls, AdapterOrTableMayGoFirst)
{
    FieldsPanel panel;
    {
        OutlineView outline;
        outline.addTableColumn(std::make_unique<TableColumn>("name"));
        {
            NSViewContainerCellAdapter adapter(outline);
            adapter.setDataSource(&panel);
            adapter.setDelegate(&panel);
            adapter.reloadData();
            EXPECT_EQ(outline.numberOfRows(), 2);
        }
        EXPECT_EQ(outline.dataSource(), nullptr);
        EXPECT_EQ(outline.delegate(), nullptr);
        outline.viewport()->grab();
        NSViewContainerCellAdapter::notifyChangedOutlineView(outline, Value("x"), nullptr, nullptr);
    }
    auto outline = std::make_unique<OutlineView>();
    outline->addTableColumn(std::make_unique<TableColumn>("name"));
    NSViewContainerCellAdapter adapter(*outline);
    adapter.setDataSource(&panel);
    adapter.setDelegate(&panel);
    outline.reset();
    EXPECT_EQ(adapter.table(), nullptr);
    adapter.reloadData();
    EXPECT_TRUE(panel.written.empty());
}

} // namespace
