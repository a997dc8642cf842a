// The organise panel over a catalogue with the default categories: the outline's structure as
// shown, ticking through check boxes and names, values ticked by identity, and section rows
// that neither select nor tick.

#include <gtest/gtest.h>

#include <QTest>

#include "Application/BrowseMode/OrganizePanel.h"
#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Common/Views/CustomTables/TableButtonCell.h"

namespace vistel::test {
namespace {

class OrganizePanelTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        panel_ = std::make_unique<OrganizePanel>();
        panel_->resize(300, 900);
        panel_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel_.get()));
        outline_ = panel_->organizeOutlineView();
        value_ = outline_->columnIndex(outline_->tableColumnWithIdentifier(OrganizePanel::ValueColumn));
        name_ = outline_->columnIndex(outline_->tableColumnWithIdentifier(OrganizePanel::NameColumn));
    }
    void TearDown() override
    {
        panel_.reset();
        CatalogueTest::TearDown();
    }

    // The rows as shown: indentation by level, "#" for a section row, the check box, the title
    // (stars as "*"), and "v" / ">" for expanded / collapsed rows.
    std::string dump() const
    {
        std::string text;
        for (int row = 0; row < outline_->numberOfRows(); ++row) {
            Object* item = outline_->itemAtRow(row);
            std::string line(static_cast<std::size_t>(2 * outline_->levelForRow(row)), ' ');
            std::unique_ptr<Cell> title = outline_->preparedCellAtColumn(name_, row);
            if (panel_->isGroupItem(item)) {
                line += "# ";
            } else {
                std::unique_ptr<Cell> box = outline_->preparedCellAtColumn(value_, row);
                auto* check = dynamic_cast<TableButtonCell*>(box.get());
                line += !check ? "    " : check->intValue() == TableButtonCell::On ? "[x] " : "[ ] ";
            }
            if (dynamic_cast<RatingLevelCell*>(title.get()))
                line += std::string(static_cast<std::size_t>(title->objectValue().toDouble()), '*');
            else
                line += title->stringValue().toStdString();
            if (outline_->isExpandable(item))
                line += outline_->isItemExpanded(item) ? " v" : " >";
            text += line + "\n";
        }
        return text;
    }
    int rowTitled(const std::string& title, int from = 0) const
    {
        for (int row = from; row < outline_->numberOfRows(); ++row)
            if (outline_->preparedCellAtColumn(name_, row)->stringValue().toStdString() == title)
                return row;
        return -1;
    }
    QPoint boxCentre(int row) const
    {
        const QRectF frame(outline_->frameOfCellAtColumn(value_, row));
        auto& box = static_cast<TableButtonCell&>(outline_->tableColumns()[static_cast<std::size_t>(value_)]->dataCell());
        return box.imageRectForBounds(frame, outline_).center().toPoint();
    }
    QPoint nameCentre(int row) const { return outline_->frameOfCellAtColumn(name_, row).center(); }
    void click(QPoint point) const { QTest::mouseClick(outline_->viewport(), Qt::LeftButton, {}, point); }

    std::unique_ptr<OrganizePanel> panel_;
    OutlineView* outline_ = nullptr;
    int value_ = -1;
    int name_ = -1;
};

TEST_F(OrganizePanelTest, TheOutlineShowsFourSectionsWithTheirRows)
{
    EXPECT_EQ(dump(), R"(# Category v
  [ ] Albums
  [ ] People v
    [ ] Friends
  [ ] Places
  [ ] Various
# Ratings v
  [ ] *****
  [ ] ****
  [ ] ***
  [ ] **
  [ ] *
  [ ] Unrated
# Auto Categories v
      Commonly Used >
      Photo Properties >
# Special Items v
  [ ] Image Well
  [ ] Uncategorized
  [ ] Tagged
)");
    // The check boxes are at the left of the names.
    const int albums = rowTitled("Albums");
    EXPECT_LT(outline_->frameOfCellAtColumn(value_, albums).x(), outline_->frameOfCellAtColumn(name_, albums).x());
    // One entry per automatic-categories field in each list, each with two values.
    EXPECT_EQ(OrganizePanel::commonlyUsedList().elements().size(), 48u);
    EXPECT_EQ(OrganizePanel::photoPropertiesList().elements().size(), 48u);
    EXPECT_NE(OrganizePanel::commonlyUsedList().elements()[0], OrganizePanel::photoPropertiesList().elements()[0]);
}

TEST_F(OrganizePanelTest, AnEmptiedCatalogueGivesTheCategoriesAgain)
{
    const std::string before = dump();
    click(boxCentre(rowTitled("Albums")));
    ASSERT_NE(dump(), before);
    database_->clearAll();
    ASSERT_TRUE(spinUntil([&] { return dump() == before; }, 5000)) << dump();
}

TEST_F(OrganizePanelTest, Val1IsTickedUnderOneFieldOnly)
{
    outline_->expandItem(&OrganizePanel::commonlyUsedList());
    auto& fields = OrganizePanel::commonlyUsedList().elements();
    outline_->expandItem(fields[0].get());
    outline_->expandItem(fields[1].get());
    const int first = rowTitled("Object Type Reference");
    const int second = rowTitled("Object Attribute Reference");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    // The field rows have no check box; their values have.
    EXPECT_FALSE(dynamic_cast<TableButtonCell*>(outline_->preparedCellAtColumn(value_, first).get()));
    const int val1 = rowTitled("Val 1", first);
    const int otherVal1 = rowTitled("Val 1", second);
    ASSERT_EQ(val1, first + 1);
    ASSERT_EQ(otherVal1, second + 1);

    click(boxCentre(val1));
    EXPECT_TRUE(panel_->isTicked(outline_->itemAtRow(val1)));
    EXPECT_FALSE(panel_->isTicked(outline_->itemAtRow(otherVal1)));
    EXPECT_FALSE(panel_->isTicked(outline_->itemAtRow(val1 + 1))); // "Val 2" of the same field
    auto* photoField = static_cast<AutoCategoryEntry*>(OrganizePanel::photoPropertiesList().elements()[0].get());
    EXPECT_FALSE(panel_->isTicked(photoField->values()[0].get()));
    EXPECT_EQ(static_cast<TableButtonCell&>(*outline_->preparedCellAtColumn(value_, val1)).intValue(), TableButtonCell::On);
    EXPECT_EQ(static_cast<TableButtonCell&>(*outline_->preparedCellAtColumn(value_, otherVal1)).intValue(), TableButtonCell::Off);
    // A click on the field's name ticks nothing.
    click(nameCentre(first));
    EXPECT_TRUE(panel_->isTicked(outline_->itemAtRow(val1)));
    EXPECT_FALSE(panel_->isTicked(outline_->itemAtRow(first)));
}

TEST_F(OrganizePanelTest, AClickOnANameTogglesItsBox)
{
    struct Case {
        const char* title;
    } cases[] = {{"Image Well"}, {"Albums"}, {"Unrated"}, {"Friends"}};
    for (const Case& c : cases) {
        const int row = rowTitled(c.title);
        ASSERT_GE(row, 0) << c.title;
        Object* item = outline_->itemAtRow(row);
        click(nameCentre(row));
        EXPECT_TRUE(panel_->isTicked(item)) << c.title;
        EXPECT_TRUE(dump().find("[x] " + std::string(c.title)) != std::string::npos) << c.title;
        click(nameCentre(row));
        EXPECT_FALSE(panel_->isTicked(item)) << c.title;
    }
    // A star row, ticked by its box.
    const int fiveStars = rowTitled("Ratings") + 1;
    click(boxCentre(fiveStars));
    EXPECT_TRUE(panel_->isTicked(outline_->itemAtRow(fiveStars)));
    EXPECT_FALSE(panel_->isTicked(outline_->itemAtRow(fiveStars + 1)));
    // A category is ticked by its catalogue identity: another node of the same category reads ticked.
    const int albums = rowTitled("Albums");
    click(boxCentre(albums));
    Ref<FileSystemItemMOCategory> again = FileSystemItemMOCategory::rootCategory()->childWithName("Albums");
    ASSERT_TRUE(again);
    EXPECT_TRUE(panel_->isTicked(again.get()));
}

TEST_F(OrganizePanelTest, SectionRowsNeitherSelectNorTick)
{
    // A row is selected first: a click on a section row must not toggle it.
    const int imageWell = rowTitled("Image Well");
    click(nameCentre(imageWell));
    ASSERT_TRUE(panel_->isTicked(outline_->itemAtRow(imageWell)));
    ASSERT_EQ(outline_->selectedRow(), imageWell);
    for (int type = OrganizePanel::SectionCategories; type < OrganizePanel::SectionNone; ++type) {
        Object* group = panel_->groupItemOfType(type);
        const int row = outline_->rowForItem(group);
        ASSERT_GE(row, 0) << type;
        click(nameCentre(row));
        EXPECT_EQ(outline_->selectedRow(), imageWell) << type;
        EXPECT_TRUE(panel_->isTicked(outline_->itemAtRow(imageWell))) << type;
        EXPECT_FALSE(panel_->isTicked(group)) << type;
        // Not even a value written straight to the outline ticks a section row.
        EXPECT_FALSE(panel_->setObjectValue(*outline_, Value(true), outline_->tableColumnWithIdentifier(OrganizePanel::ValueColumn), group));
        EXPECT_FALSE(panel_->isTicked(group)) << type;
    }
}

} // namespace
} // namespace vistel::test
