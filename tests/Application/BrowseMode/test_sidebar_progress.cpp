// What the sidebar's progress marks ask of the catalogue: whether a folder is still being
// listed (its own requests or its shown children's), and whether it waits for a refresh.

#include <gtest/gtest.h>

#include "Application/BrowseMode/SidebarProgress.h"
#include "CatalogueTestSupport.h"

using namespace vistel;
using vistel::test::CatalogueTest;
using vistel::test::listedFolderItem;
using vistel::test::pictureItem;

namespace {

class SidebarProgressTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        root_ = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        root_->setValid(true);
        folder_ = listedFolderItem(root_, "DCIM");
        picture_ = pictureItem(folder_, "IMG_0001.JPG");
        picture_->setRefreshStatus(0);
    }
    void TearDown() override
    {
        database_->stopJobs();
        CatalogueTest::TearDown();
    }

    Ref<FileSystemItemMO> root_, folder_, picture_;
};

} // namespace

TEST_F(SidebarProgressTest, AFolderIsInProgressWhileItOrAShownChildHasARequestQueued)
{
    struct Case {
        const char* what;
        bool valid;
        std::int32_t folderStatus;
        std::int32_t pictureStatus;
        bool inProgress;
        bool needsRefresh;
    };
    const Case cases[] = {
        {"listed, nothing queued", true, 0, 0, false, false},
        {"its own listing queued", true, 1, 0, true, false},
        {"a picture's thumbnail queued", true, 0, 1, true, false},
        {"never verified", true, kRefreshStatusNotVerified, 0, false, true},
        {"changed", true, kRefreshStatusChanged, 0, false, true},
        {"changed with a request queued", true, kRefreshStatusChanged | 1, 0, true, true},
        {"gone (not valid)", false, 1, 1, false, false},
    };
    for (const Case& c : cases) {
        folder_->setValid(c.valid);
        folder_->setRefreshStatus(c.folderStatus);
        picture_->setRefreshStatus(c.pictureStatus);
        EXPECT_EQ(catalogueItemIsInProgress(folder_.get()), c.inProgress) << c.what;
        EXPECT_EQ(catalogueItemNeedsRefresh(folder_.get()), c.needsRefresh) << c.what;
    }
    EXPECT_FALSE(catalogueItemIsInProgress(nullptr));
    EXPECT_FALSE(catalogueItemNeedsRefresh(nullptr));
}
