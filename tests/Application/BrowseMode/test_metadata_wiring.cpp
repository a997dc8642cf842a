// A metadata provider fed the browse window's selection: a rating and a category set through it
// reach the catalogue item, the grid redraws that cell with the marks, and both are still there
// when the catalogue is opened again.

#include <gtest/gtest.h>

#include <QTest>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ThumbnailDecorations.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Application/MainWindow.h"
#include "BrowseTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "ItemsTestSupport.h"
#include "Metadata/MetadataProvider.h"
#include "Platform/UserDefaults.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

// Pixels of `rect` that differ between two shots.
int changedPixels(const QImage& before, const QImage& after, const QRectF& rect)
{
    int count = 0;
    for (int x = int(rect.left()) + 1; x < int(rect.right()); ++x)
        for (int y = int(rect.top()) + 1; y < int(rect.bottom()); ++y)
            count += before.pixelColor(x, y).rgb() != after.pixelColor(x, y).rgb();
    return count;
}

class MetadataWiringTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        for (const char* key : {"ThumbnailInfo.Overlays.Rating", "ThumbnailInfo.Overlays.Category"})
            UserDefaults::standard().setObject(Value(true), key);
        UserDefaults::standard().setObject(Value(std::string(ItemsPanelThumbnailsMode)), "ItemsView.DefaultMode");
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey("ItemsView.DefaultMode");
        ItemsCatalogueTest::TearDown();
    }
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MetadataWiringTest, RatingAndCategorySetThroughTheProviderRedrawTheCellAndSurviveARestart)
{
    Ref<FileSystemItemMO> pictures = folder(root_, "pictures", {"harbour.jpg"});
    const std::string path = pictures->fullPath() + "/harbour.jpg";
    ASSERT_TRUE(database_->managedObjectContext()->save());

    BrowsingModeController* mode = openBrowseWindow(window_);
    ASSERT_TRUE(mode);
    BrowsingSelection* selection = mode->browsingSelection();
    ASSERT_TRUE(waitForStartLocation(*mode));
    selection->setSelectedFolders({pictures});
    ItemsPanel* panel = mode->itemsPanel();
    ASSERT_TRUE(panel);
    panel->setMode(ItemsPanelThumbnailsMode);
    auto* control = dynamic_cast<ThumbnailsViewControl*>(panel->currentViewControl());
    ASSERT_TRUE(control);
    ThumbnailsView* grid = control->thumbnailsView();
    auto showsThePicture = [&] {
        const ItemList shown = selection->foldersObjects();
        return shown.size() == 1 && shown.front()->name() == "harbour.jpg" && grid->itemsCount() == 1
            && grid->width() > 100;
    };
    ASSERT_TRUE(spinUntil(showsThePicture, 10000));
    EXPECT_TRUE(grid->showRating());
    EXPECT_TRUE(grid->showCategory());

    // The folder's listing and the selection's next tick come first.
    spinUntil([&] { return pictures->refreshStatus() == 0 && !pictures->childrenRefreshStatusWithMask(kMaskAll); }, 10000);
    spinEvents(1200);

    // The user clicks the picture.
    const QRectF cell = grid->itemRectForIndex(0);
    QTest::mouseClick(grid, Qt::LeftButton, {}, cell.center().toPoint());
    ASSERT_TRUE(spinUntil([&] { return selection->selectedItems().size() == 1; }, 5000));
    spinUntil([&] { return grid->isDoneItemsFastUpdating(); }, 3000);
    spinEvents(700);
    ASSERT_TRUE(showsThePicture());
    ASSERT_EQ(selection->selectedItems().size(), 1u);
    ASSERT_EQ(selection->selectedItems().front()->fullPath(), path);
    const QImage before = grid->grab().toImage();

    // A provider fed the selection's selected items sets the rating and a category.
    auto provider = MetadataProvider::providerWithName("Database", MetadataProfile::databaseProfile());
    provider->updateWithItems(selection->selectedItems());
    Ref<MetadataValue> rating;
    if (auto general = provider->categoryItems("General"))
        for (const auto& value : general->children())
            if (value->key() == "Rating")
                rating = value;
    ASSERT_TRUE(rating);
    provider->setObjectValue(Value(4), MetadataProvider::ColumnValue, rating.get());
    Ref<FileSystemItemMOCategory> places = FileSystemItemMOCategory::rootCategory()->childWithName("Places");
    ASSERT_TRUE(places);
    provider->applyCategory(places.get());
    EXPECT_TRUE(provider->stateForCategory(places.get()));

    // The cell is drawn again with four stars and the category mark.
    const QRectF stars = RartingThumbnailDecoration().drawRectFromItemRect(grid->itemRectForIndex(0));
    const QRectF mark = CategoriesThumbnailDecoration().drawRectFromItemRect(grid->itemRectForIndex(0));
    const double side = stars.width() / 5;
    QImage after;
    ASSERT_TRUE(spinUntil(
        [&] {
            after = grid->grab().toImage();
            return changedPixels(before, after, stars) > 0 && changedPixels(before, after, mark) > 20;
        },
        10000));
    for (int star = 0; star < 4; ++star) {
        const QRectF place(stars.x() + star * side, stars.y(), side, side);
        EXPECT_GT(changedPixels(before, after, place), 10) << "star " << star + 1;
    }
    // The fifth place is the black backdrop only.
    const QRectF fifth(stars.x() + 4 * side + 2, stars.y() + side / 2, side - 4, 1);
    int black = 0;
    for (int x = int(fifth.left()); x < int(fifth.right()); ++x)
        black += after.pixelColor(x, int(fifth.top())).rgb() == QColor(Qt::black).rgb();
    EXPECT_EQ(black, int(fifth.right()) - int(fifth.left()));
    if (const char* keep = std::getenv("VISTEL_KEEP_SCREENSHOTS")) {
        before.save(QString::fromUtf8(keep) + "/metadata-wiring-before.png");
        after.save(QString::fromUtf8(keep) + "/metadata-wiring-after.png");
    }

    // Quitting saves; the next run finds both on the item.
    closeBrowseWindow(window_);
    provider = nullptr;
    ASSERT_TRUE(database_->managedObjectContext()->save());
    const std::string placesID = places->uniqueIDString();
    pictures = root_ = nullptr;
    places = nullptr;
    openCatalogue();
    Ref<FileSystemItemMO> again;
    if (auto files = database_->searchObjectsBy("", {}, 0, MediaDatabase::EntityFile))
        for (const auto& object : *files)
            if (auto item = dynamicRefCast<FileSystemItemMO>(object); item && item->fullPath() == path)
                again = item;
    ASSERT_TRUE(again);
    EXPECT_EQ(again->databaseRating(), Value("4"));
    EXPECT_EQ(FileSystemItemMOCategory::categoryUniqueIDsForItem(again.get()), std::set<std::string> {placesID});
}

} // namespace
} // namespace vistel::test
