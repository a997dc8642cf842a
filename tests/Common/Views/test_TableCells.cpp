// Table cells: the check box with a title (tracking, states, hidden), cells per row and the
// delegate-drawn selection highlight.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "Common/Views/CustomTables/TableButtonCell.h"

using namespace vistel;

namespace {

// Options with a check box each; the "toggle:" action flips the clicked one (on from mixed).
struct Options : TableViewDataSource, TableViewDelegate, Responder {
    std::vector<int> states {TableButtonCell::Off, TableButtonCell::On, TableButtonCell::Mixed};
    std::vector<bool> hidden {false, false, false};
    std::optional<bool> highlight;
    std::unique_ptr<Cell> plainCell = std::make_unique<Cell>();
    bool plainForRowTwo = false;
    int toggles = 0;
    TableView* table = nullptr;

    Options()
    {
        setActionHandler("toggle:", [this](QObject*) {
            ++toggles;
            int& state = states[static_cast<std::size_t>(table->clickedRow())];
            state = state == TableButtonCell::On ? TableButtonCell::Off : TableButtonCell::On;
        });
    }
    std::optional<long> numberOfRowsInTableView(TableView&) override { return 3; }
    std::optional<Value> objectValue(TableView&, TableColumn*, long row) override { return Value("Option " + std::to_string(row)); }
    bool willDisplayCell(TableView&, Cell& cell, TableColumn*, long row) override
    {
        if (auto* button = dynamic_cast<TableButtonCell*>(&cell)) {
            button->setIntValue(states[static_cast<std::size_t>(row)]);
            button->setHidden(hidden[static_cast<std::size_t>(row)]);
        }
        return true;
    }
    std::optional<Cell*> dataCellForRow(TableView&, TableColumn*, long row) override
    {
        if (plainForRowTwo && row == 2)
            return plainCell.get();
        return std::nullopt;
    }
    std::optional<bool> highlightSelectionInClipRect(TableView&, QPainter&, const QRect&) override { return highlight; }
};

struct CellsFixture {
    Options options;
    TableView table;
    CellsFixture()
    {
        options.table = &table;
        auto column = std::make_unique<TableColumn>("option");
        column->setWidth(200);
        auto cell = std::make_unique<TableButtonCell>();
        cell->setAction("toggle:");
        cell->setTarget(&options);
        column->setDataCell(std::move(cell));
        table.addTableColumn(std::move(column));
        table.setTableDataSource(&options);
        table.setTableDelegate(&options);
        table.reloadData();
        table.resize(240, 120);
        table.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&table));
    }
    QRectF frame(int row) { return QRectF(table.frameOfCellAtColumn(0, row)); }
    TableButtonCell& prototype() { return static_cast<TableButtonCell&>(table.tableColumns()[0]->dataCell()); }
    QPoint boxCentre(int row) { return prototype().imageRectForBounds(frame(row), &table).center().toPoint(); }
};

TEST(TableButtonCell, AClickInTheBoxSendsTheActionOnceAndLeavesTheStateToTheReceiver)
{
    CellsFixture f;
    QTest::mouseClick(f.table.viewport(), Qt::LeftButton, {}, f.boxCentre(0));
    EXPECT_EQ(f.options.toggles, 1);
    EXPECT_EQ(f.options.states[0], TableButtonCell::On);
    EXPECT_TRUE(f.table.selectedRowIndexes().empty()); // the box took the press
    // The cell itself did not change: the next display shows the receiver's state.
    EXPECT_EQ(f.prototype().intValue(), TableButtonCell::Off);
    EXPECT_EQ(static_cast<TableButtonCell&>(*f.table.preparedCellAtColumn(0, 0)).intValue(), TableButtonCell::On);

    // Pressed, then released outside the cell: nothing.
    QTest::mousePress(f.table.viewport(), Qt::LeftButton, {}, f.boxCentre(1));
    QTest::mouseMove(f.table.viewport(), QPoint(f.boxCentre(1).x(), f.table.viewport()->height() - 2));
    QTest::mouseRelease(f.table.viewport(), Qt::LeftButton, {}, QPoint(f.boxCentre(1).x(), f.table.viewport()->height() - 2));
    EXPECT_EQ(f.options.toggles, 1);

    // Without an action nothing is sent.
    f.prototype().setAction("");
    QTest::mouseClick(f.table.viewport(), Qt::LeftButton, {}, f.boxCentre(2));
    EXPECT_EQ(f.options.toggles, 1);
    EXPECT_EQ(f.options.states[2], TableButtonCell::Mixed);
}

QImage render(TableButtonCell cell, OutlineView& view)
{
    QImage image(120, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    cell.setStringValue("Label");
    cell.drawWithFrame(painter, QRectF(0, 0, 120, 20), view);
    return image;
}

TEST(TableButtonCell, OffOnAndMixedLookApartAndAHiddenCellDrawsNothing)
{
    CellsFixture f;
    TableButtonCell cell;
    std::vector<QImage> looks;
    for (int state : {TableButtonCell::Off, TableButtonCell::On, TableButtonCell::Mixed}) {
        cell.setIntValue(state);
        looks.push_back(render(cell, f.table));
    }
    EXPECT_NE(looks[0], looks[1]);
    EXPECT_NE(looks[0], looks[2]);
    EXPECT_NE(looks[1], looks[2]);
    cell.setHidden(true);
    QImage blank(120, 20, QImage::Format_ARGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(render(cell, f.table), blank);
}

TEST(TableButtonCell, TitleAndBoxAreasAnswerTheirHits)
{
    CellsFixture f;
    TableButtonCell cell;
    cell.setStringValue("Label");
    const QRectF frame(0, 0, 200, 20);
    const QRectF title = cell.titleRectForBounds(frame, &f.table);
    const QRectF box = cell.imageRectForBounds(frame, &f.table);
    EXPECT_DOUBLE_EQ(title.width(), QFontMetricsF(cell.font(&f.table)).horizontalAdvance("Label") + 5);
    EXPECT_GE(title.left(), box.right());
    struct HitCase { QPointF point; unsigned hit; };
    for (const HitCase& c : {HitCase {title.center(), NSCellHitContentArea | NSCellHitEditableTextArea},
                             HitCase {box.center(), NSCellHitContentArea | NSCellHitTrackableArea},
                             HitCase {QPointF(195, 10), NSCellHitContentArea}})
        EXPECT_EQ(cell.hitTest(c.point, frame, f.table), c.hit) << c.point.x();
    EXPECT_EQ(cell.editingRect(frame, f.table).width(), title.width() - 5);
}

TEST(TableButtonCell, BoxesInRowsOneUnderTheOtherNeverTouch)
{
    CellsFixture f;
    TableButtonCell cell;
    cell.setStringValue("Label");
    for (int rowHeight : {12, 14, 20}) {
        SCOPED_TRACE(rowHeight);
        // Two rows, the upper one ticked; the column through the boxes' middle.
        QImage image(120, 2 * rowHeight, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        for (int row = 0; row < 2; ++row) {
            cell.setIntValue(row == 0 ? TableButtonCell::On : TableButtonCell::Off);
            painter.save();
            const QRectF frame(0, row * rowHeight, 120, rowHeight);
            painter.setClipRect(frame);
            cell.drawWithFrame(painter, frame, f.table);
            painter.restore();
        }
        painter.end();
        const QRectF box = cell.imageRectForBounds(QRectF(0, 0, 120, rowHeight), &f.table);
        const int x = int(box.center().x());
        // Each box is drawn whole in its row: some ink at its top and bottom edge.
        auto ink = [&](int y) { return image.pixelColor(x, y).lightness() < 250; };
        EXPECT_TRUE(ink(int(box.top()))) << box.top();
        EXPECT_TRUE(ink(rowHeight + int(box.top())));
        // Between the lower edge of the first box and the upper edge of the second, white.
        int gap = 0;
        for (int y = int(box.bottom()); y < rowHeight + int(box.top()); ++y)
            gap += !ink(y);
        EXPECT_GE(gap, 1);
    }
}

TEST(TableCells, ARowMayUseItsOwnCellAndTheDelegateMayDrawTheHighlight)
{
    CellsFixture f;
    EXPECT_NE(dynamic_cast<TableButtonCell*>(f.table.preparedCellAtColumn(0, 2).get()), nullptr);
    f.options.plainForRowTwo = true;
    EXPECT_EQ(dynamic_cast<TableButtonCell*>(f.table.preparedCellAtColumn(0, 2).get()), nullptr);

    f.table.selectRowIndexes({1}, false);
    const QPoint probe(f.table.frameOfCellAtColumn(0, 1).right() - 4, f.table.frameOfCellAtColumn(0, 1).center().y());
    const QColor highlight = f.table.palette().color(QPalette::Active, QPalette::Highlight);
    // The style shades its highlight a little: near the colour is the highlight.
    auto highlighted = [&] {
        const QColor shown = f.table.viewport()->grab().toImage().pixelColor(probe);
        return std::abs(shown.red() - highlight.red()) + std::abs(shown.green() - highlight.green()) + std::abs(shown.blue() - highlight.blue()) < 12;
    };
    for (std::optional<bool> answer : {std::optional<bool>(), std::optional<bool>(false)}) {
        f.options.highlight = answer;
        EXPECT_TRUE(highlighted());
    }
    f.options.highlight = true;
    EXPECT_FALSE(highlighted());
}

} // namespace
