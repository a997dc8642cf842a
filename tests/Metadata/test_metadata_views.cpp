// The metadata outline views over a provider of real catalogue items: the rows each list shows,
// the "Title:" rule, what can be selected, and a file view with nothing or one category.

#include <gtest/gtest.h>

#include <QTest>

#include <string>
#include <vector>

#include "../Common/FileSystem/Catalogue/CatalogueTestSupport.h"
#include "Metadata/MetadataBaseView.h"
#include "Metadata/MetadataFileView.h"

namespace vistel::test {
namespace {

// A table of one "File Information" row (always present: the item's own name).
const MetadataProfileItemInfo oneCategoryRows[] = {
    {MetadataProfile::SourceFileSystemItem, "name", "Name", MetadataProfile::CategoryFileInformation, nullptr, 0},
    {},
};
const MetadataProfileItemInfo noRows[] = {{}};

// The texts of a list's rows in one column, as drawn.
std::vector<std::string> rowTexts(OutlineView& list, int column)
{
    std::vector<std::string> texts;
    for (int row = 0; row < list.numberOfRows(); ++row)
        texts.push_back(list.preparedCellAtColumn(column, row)->stringValue().toStdString());
    return texts;
}

class MetadataViewsTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        Ref<FileSystemItemMO> root = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        picture_ = pictureItem(listedFolderItem(root, "album"), "beach.jpg");
    }
    void TearDown() override
    {
        picture_ = nullptr;
        CatalogueTest::TearDown();
    }
    Ref<MetadataProvider> provider(Ref<MetadataProfile> profile)
    {
        auto made = MetadataProvider::providerWithName("Test", std::move(profile));
        made->updateWithItems({picture_});
        return made;
    }
    template <typename View>
    void show(View& view, Ref<MetadataProvider> provider)
    {
        view.setDataProvider(std::move(provider));
        view.reloadData();
        view.expand();
    }

    Ref<FileSystemItemMO> picture_;
};

TEST_F(MetadataViewsTest, BaseViewShowsGroupsAndTitledValuesOfTheProvider)
{
    MetadataBaseView view(QRect(0, 0, 1, 1), 140);
    view.resize(300, 400);
    auto made = provider(MetadataProfile::fileProfile());
    show(view, made);
    OutlineView& list = *view.metadataList();

    // Every category and every value of the provider, in its order.
    std::vector<std::string> names;
    for (const auto& category : made->dataCache()) {
        names.push_back(category->key());
        for (const auto& value : category->children())
            names.push_back(value->key() + ":");
    }
    ASSERT_GE(made->dataCache().size(), 2u);
    EXPECT_EQ(rowTexts(list, 0), names);
    EXPECT_EQ(rowTexts(list, 0)[1], "Name:");
    EXPECT_EQ(rowTexts(list, 1)[1], "beach.jpg");

    // Group titles at the left, value titles at the right.
    EXPECT_EQ(list.preparedCellAtColumn(0, 0)->alignment(), Qt::AlignLeft);
    EXPECT_EQ(list.preparedCellAtColumn(0, 1)->alignment(), Qt::AlignRight);
    // The list keeps the focus where it is.
    EXPECT_EQ(list.focusPolicy(), Qt::NoFocus);

    // No provider: the list is detached and shows nothing.
    view.setDataProvider(nullptr);
    view.reloadData();
    EXPECT_EQ(view.dataSource(), nullptr);
    EXPECT_EQ(view.delegate(), nullptr);
    EXPECT_EQ(list.numberOfRows(), 0);
}

TEST_F(MetadataViewsTest, GroupRowsAreNeverSelected)
{
    MetadataBaseView view(QRect(0, 0, 1, 1), 140);
    view.resize(300, 400);
    show(view, provider(MetadataProfile::fileProfile()));
    view.show();
    OutlineView& list = *view.metadataList();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.rectOfRow(0).center());
    EXPECT_TRUE(list.selectedRowIndexes().empty());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.rectOfRow(1).center());
    EXPECT_EQ(list.selectedRowIndexes(), std::vector<int> {1});
}

// The categories (top-level rows) a list shows, by title.
std::vector<std::string> groupTitles(OutlineView& list)
{
    std::vector<std::string> titles;
    for (int row = 0; row < list.numberOfRows(); ++row)
        if (list.levelForRow(row) == 0)
            titles.push_back(list.preparedCellAtColumn(0, row)->stringValue().toStdString());
    return titles;
}

TEST_F(MetadataViewsTest, FileViewShowsTheFirstCategoryAboveAndTheOthersBelow)
{
    using Titles = std::vector<std::string>;
    struct Case {
        const char* name;
        Ref<MetadataProfile> profile;
        Titles first, second;
    };
    const Case cases[] = {
        {"no rows", MetadataProfile::profileWithInfo(noRows), {}, {}},
        {"one category", MetadataProfile::profileWithInfo(oneCategoryRows), {"File Information"}, {}},
        {"file table", MetadataProfile::fileProfile(), {"File Information"}, {"Image Attributes"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MetadataFileView view(QRect(0, 0, 1, 1), 80);
        view.resize(300, 600);
        show(view, provider(c.profile));
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        OutlineView& first = *view.metadataList();
        OutlineView& second = *view.extendedAttributesList();
        EXPECT_EQ(groupTitles(first), c.first);
        EXPECT_EQ(groupTitles(second), c.second);

        // Each list is as tall as its rows; the second starts right under the first.
        EXPECT_EQ(first.height(), first.numberOfRows() * 14);
        EXPECT_EQ(second.height(), second.numberOfRows() * 14);
        EXPECT_EQ(second.geometry().top(), first.geometry().top() + first.height());
    }
}

TEST_F(MetadataViewsTest, FileViewSelectsOnlyValuesOfItsSecondList)
{
    MetadataFileView view(QRect(0, 0, 1, 1), 80);
    view.resize(300, 600);
    show(view, provider(MetadataProfile::fileProfile()));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    OutlineView& first = *view.metadataList();
    OutlineView& second = *view.extendedAttributesList();
    ASSERT_GE(second.numberOfRows(), 2);

    QTest::mouseClick(first.viewport(), Qt::LeftButton, {}, first.rectOfRow(1).center());
    EXPECT_TRUE(first.selectedRowIndexes().empty());
    QTest::mouseClick(second.viewport(), Qt::LeftButton, {}, second.rectOfRow(0).center());
    EXPECT_TRUE(second.selectedRowIndexes().empty());
    QTest::mouseClick(second.viewport(), Qt::LeftButton, {}, second.rectOfRow(1).center());
    EXPECT_EQ(second.selectedRowIndexes(), std::vector<int> {1});
}

TEST_F(MetadataViewsTest, ViewOutsideAWindowReloadsWithoutHarm)
{
    MetadataFileView view(QRect(0, 0, 1, 1), 80);
    auto made = provider(MetadataProfile::fileProfile());
    show(view, made);
    view.reloadItem(made->dataCache()[0]->children()[0].get());
    view.reloadItem(nullptr);
    EXPECT_EQ(view.metadataList()->numberOfRows(), static_cast<int>(1 + made->dataCache()[0]->children().size()));
    view.setDataProvider(nullptr);
    view.reloadData();
    view.expand();
    EXPECT_EQ(view.extendedAttributesList()->numberOfRows(), 0);
}

} // namespace
} // namespace vistel::test
