// Our own row controls in tables: the star row (the one star painter), the token field and the
// labelled container, watched by the notificator like Qt's controls.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

#include "Common/Views/CustomTables/NSControlContainer.h"
#include "Common/Views/CustomTables/TableViewNSViewContainerCell.h"
#include "Common/Views/RatingStars.h"
#include "Platform/Gui/TokenField.h"

using namespace vistel;

namespace {

struct Row : Object {
    explicit Row(std::string name) : name(std::move(name)) { }
    std::string name;
};

// An outline of two rows, "rating" (a star row in a labelled container) and "keywords" (a
// token field), that records what reaches its data source.
struct Panel : OutlineViewDataSource, TableViewNSViewContainerDelegateProtocol {
    std::vector<Ref<Row>> rows {makeRef<Row>("rating"), makeRef<Row>("keywords")};
    std::map<const Object*, QPointer<QWidget>> views;
    std::vector<std::pair<std::string, Value>> written;

    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override { return item ? 0 : 2; }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object*) override { return Ref<Object>(rows[static_cast<std::size_t>(index)]); }
    std::optional<bool> isItemExpandable(OutlineView&, Object*) override { return false; }
    std::optional<Value> objectValue(OutlineView&, TableColumn*, Object*) override { return Value(); }
    bool setObjectValue(OutlineView&, const Value& value, TableColumn*, Object* item) override
    {
        written.emplace_back(static_cast<Row*>(item)->name, value);
        return true;
    }
    QWidget* viewForRow(OutlineView& table, int row) override
    {
        Object* item = table.itemAtRow(row);
        QPointer<QWidget>& view = views[item];
        if (!view) {
            QWidget* control = nullptr;
            if (static_cast<Row*>(item)->name == "rating") {
                auto* container = new NSControlContainer(QRect(0, 0, 100, 28));
                container->addSubview(new QLabel("Rating:"), false);
                control = new RatingLevelIndicator;
                control->setGeometry(68, 4, 20, 20);
                container->addSubview(control, true);
                container->setNSControl(control);
                view = container;
            } else {
                control = view = new TokenField;
                view->resize(100, 24);
            }
            NSControlToCellAdapterNotificator::attach(control, table, *table.outlineTableColumn(), item);
        }
        return view;
    }
    std::optional<double> heightOfRowByItem(OutlineView&, Object*) override { return 30.0; }
};

struct Fixture {
    Panel panel;
    std::unique_ptr<OutlineView> outline = std::make_unique<OutlineView>();
    std::unique_ptr<NSViewContainerCellAdapter> adapter;
    QLineEdit* elsewhere = new QLineEdit(outline.get());

    Fixture()
    {
        auto column = std::make_unique<TableColumn>("Value");
        column->setWidth(300);
        column->setDataCell(std::make_unique<TableViewNSViewContainerCell>());
        outline->addTableColumn(std::move(column));
        adapter = std::make_unique<NSViewContainerCellAdapter>(*outline);
        adapter->setDataSource(&panel);
        adapter->setDelegate(&panel);
        adapter->reloadData();
        outline->resize(320, 200);
        elsewhere->setGeometry(0, 150, 50, 20);
        outline->show();
        outline->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(outline.get()));
        outline->viewport()->grab();
    }
    QWidget* view(int row) { return panel.views[panel.rows[static_cast<std::size_t>(row)].get()]; }
};

TEST(OwnRowControls, StarRowSetsClearsAndStepsTheRating)
{
    RatingLevelIndicator stars;
    stars.resize(100, 16);
    QObject context;
    std::vector<int> reported;
    stars.addObserver(&context, [&] { reported.push_back(stars.value()); }, {});
    EXPECT_EQ(stars.starAtPoint(QPointF(-1, 8)), 0);
    EXPECT_EQ(stars.starAtPoint(QPointF(3.5 * 16, 8)), 4);
    EXPECT_EQ(stars.starAtPoint(QPointF(5.5 * 16, 8)), -1);
    QTest::mouseClick(&stars, Qt::LeftButton, {}, QPoint(3 * 16 + 8, 8));
    EXPECT_EQ(stars.value(), 4);
    QTest::mouseClick(&stars, Qt::LeftButton, {}, QPoint(3 * 16 + 8, 8)); // the same star clears
    EXPECT_EQ(stars.value(), 0);
    QTest::mouseClick(&stars, Qt::LeftButton, {}, QPoint(90, 8)); // past the last star: nothing
    QTest::keyClick(&stars, Qt::Key_Left); // already 0: nothing
    QTest::keyClick(&stars, Qt::Key_5);
    QTest::keyClick(&stars, Qt::Key_Right); // already 5: nothing
    QTest::keyClick(&stars, Qt::Key_Left);
    EXPECT_EQ(reported, (std::vector<int> {4, 0, 5, 4}));
    stars.setValue(9); // shown clamped, not reported
    EXPECT_EQ(stars.value(), 5);
    EXPECT_EQ(reported.size(), 4u);
}

TEST(OwnRowControls, TheNotificatorWatchesTheStarRowAndTheTokenField)
{
    Fixture f;
    auto* container = dynamic_cast<NSControlContainer*>(f.view(0));
    ASSERT_NE(container, nullptr);
    auto* stars = dynamic_cast<RatingLevelIndicator*>(container->nsControl());
    ASSERT_NE(stars, nullptr);
    EXPECT_EQ(NSControlContainer::controlOfView(container), stars);
    // The container takes the cell's width; the stars keep their margins in it.
    EXPECT_EQ(container->width(), f.outline->frameOfCellAtColumn(0, 0).width());
    EXPECT_EQ(stars->geometry(), QRect(68, 4, container->width() - 80, 20));
    QTest::mouseClick(stars, Qt::LeftButton, {}, QPoint(static_cast<int>(3.5 * stars->starSide()), 10));
    ASSERT_EQ(f.panel.written.size(), 1u);
    EXPECT_EQ(f.panel.written[0], (std::pair<std::string, Value> {"rating", Value(4)}));

    auto* keywords = dynamic_cast<TokenField*>(f.view(1));
    ASSERT_NE(keywords, nullptr);
    keywords->setFocus();
    QTest::keyClicks(keywords->editor(), "sea,sand");
    EXPECT_EQ(f.panel.written.size(), 1u); // typing only reloads the row
    f.elsewhere->setFocus();
    ASSERT_EQ(f.panel.written.size(), 2u);
    EXPECT_EQ(f.panel.written[1], (std::pair<std::string, Value> {"keywords", Value("sea,sand")}));
}

} // namespace
