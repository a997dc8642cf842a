// Drawing the grid reads the items' rating, tagged state and categories: it never writes to
// the catalogue, so showing a folder with every overlay on leaves its tags as they were.

#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "ThumbnailsViewTestSupport.h"

namespace vistel::test {
namespace {

class ThumbnailsReadingTest : public CatalogueTest {
protected:
    long long rows(const char* entity)
    {
        auto all = database_->searchObjectsBy("", {}, 0, entity);
        return all ? static_cast<long long>(all->size()) : -1;
    }
};

TEST_F(ThumbnailsReadingTest, DrawingEveryOverlayCreatesNoTags)
{
    openCatalogue();
    Ref<FileSystemItemMO> root = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    Ref<FileSystemItemMOCategory> places = FileSystemItemMOCategory::rootCategory()->childWithName("Places");
    ASSERT_TRUE(places);
    ListDataSource source;
    for (int i = 0; i < 100; ++i) {
        Ref<FileSystemItemMO> item = pictureItem(root, "p" + std::to_string(i) + ".jpg");
        item->setRefreshStatus(0);
        if (i % 4 == 0)
            item->setDatabaseRating(Value(i % 6));
        if (i % 10 == 0)
            places->setToItem(item.get());
        source.items.push_back(item);
    }
    ASSERT_TRUE(database_->managedObjectContext()->save());
    const long long tags = rows(MediaDatabase::EntityTag), names = rows(MediaDatabase::EntityTagName);

    ThumbnailsView grid;
    grid.setShowFileName(true);
    grid.setShowIcon(true);
    grid.setShowRating(true);
    grid.setShowTagged(true);
    grid.setShowLocked(true);
    grid.setShowCategory(true);
    grid.setShowAutoRotate(true);
    grid.resize(1400, 4000);
    grid.setItemSize(64);
    grid.setDataSource(&source);
    grid.show();
    grid.updateLayoutAndFrame();
    ASSERT_EQ(grid.visibleItemsIndexSet().count(), 100u);
    grid.grab();
    spinEvents(5);
    grid.grab();

    // (Drawing may ask the file threads for thumbnails, which update the items' own fields.)
    EXPECT_EQ(rows(MediaDatabase::EntityTag), tags);
    EXPECT_EQ(rows(MediaDatabase::EntityTagName), names);
    grid.setDataSource(nullptr);
}

} // namespace
} // namespace vistel::test
