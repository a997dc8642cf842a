// The view mode added to a real browse window: its tool bar, validation at the ends of the list
// (the keys still wrap), the strip's double click, the zoom-mode preference, slider and zoom
// following each other, and the picture shown selected in browse mode when the mode is left.

#include <gtest/gtest.h>

#include <QTest>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/MetadataPanel.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "Application/MainWindow.h"
#include "Application/ViewMode/ViewModeController.h"
#include "BrowseTestSupport.h"
#include "Common/Views/SliderWithButtons.h"
#include "ItemsTestSupport.h"
#include "Platform/UserDefaults.h"
#include "ViewerTestSupport.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

class ViewModeTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        // Two folders: the first with a subfolder before its two pictures, the second with one.
        first_ = folder(root_, "first", {});
        listedFolderItem(first_, "inner");
        second_ = folder(root_, "second", {});
        for (const auto& [parent, name] : {std::pair {first_, "a.jpg"}, {first_, "b.jpg"}, {second_, "c.jpg"}}) {
            writePicture(parent->fullPath() + "/" + name, testPicture(300, 200));
            pictureItem(parent, name);
        }
        ASSERT_TRUE(database_->managedObjectContext()->save());
        browse_ = openBrowseWindow(window_);
        ASSERT_TRUE(browse_);
        ASSERT_TRUE(waitForStartLocation(*browse_));
        browse_->browsingSelection()->setSelectedFolders({first_, second_});
        ASSERT_TRUE(spinUntil([&] { return browse_->browsingSelection()->foldersObjects().size() == 4; }, 10000));
        auto mode = std::make_unique<ViewModeController>(window_.get());
        mode->setUp();
        view_ = mode.get();
        window_->addController(std::move(mode));
        window_->setCurrentModeController(view_);
    }
    void TearDown() override
    {
        UserDefaults::standard().removeObjectForKey("ViewPanel.DefaultZoomMode");
        closeBrowseWindow(window_);
        ItemsCatalogueTest::TearDown();
    }
    CachedPicturesViewController& list() { return *browse_->browsingCachedPicturesViewController(); }
    bool valid(const char* action)
    {
        ActionItem item(action, action);
        return view_->validateUserInterfaceItem(item);
    }

    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* browse_ = nullptr;
    ViewModeController* view_ = nullptr;
    Ref<FileSystemItemMO> first_, second_;
};

TEST_F(ViewModeTest, ToolbarAndValidationAtTheEndsWhileKeysWrap)
{
    WindowToolbar* toolbar = view_->controllerToolBar();
    EXPECT_EQ(view_->toolbarDefaultItemIdentifiers(*toolbar),
              (std::vector<std::string> {"ViewModeConstrollerFirstImageIdentifier", "ViewModeControllerPreviousImageIdentifier",
                                         "ViewModeControllerNextImageIdentifier", "ViewModeControllerLastImageIdentifier",
                                         NSToolbarSeparatorItemIdentifier}));
    auto* zoomOut = dynamic_cast<ActionItem*>(
        view_->toolbarItemForItemIdentifier(*toolbar, "ViewModeControllerZoomOutIdentifier", false));
    ASSERT_TRUE(zoomOut);
    EXPECT_EQ(zoomOut->text().toStdString(), "Zoom out(-)");
    EXPECT_EQ(zoomOut->action(), "zoomOut:");
    EXPECT_EQ(view_->toolbarItemForItemIdentifier(*toolbar, "ViewModeControllerZoomOutIdentifier", false), zoomOut);

    ASSERT_EQ(list().imagesCount(), 3u);
    ASSERT_EQ(list().currentImageIndex(), 0u);
    EXPECT_FALSE(valid("firstImage:"));
    EXPECT_FALSE(valid("previousImage:"));
    EXPECT_TRUE(valid("nextImage:"));
    EXPECT_TRUE(valid("rotateLeft:"));
    EXPECT_TRUE(valid("zoomIn:"));
    EXPECT_TRUE(valid("goFullScreen:"));
    EXPECT_FALSE(valid("copy:"));
    QTest::keyClick(view_->imageView(), Qt::Key_End);
    EXPECT_EQ(list().currentImageIndex(), 2u);
    EXPECT_FALSE(valid("nextImage:"));
    EXPECT_FALSE(valid("lastImage:"));
    QTest::keyClick(view_->imageView(), Qt::Key_Right);
    EXPECT_EQ(list().currentImageIndex(), 0u);
}

TEST_F(ViewModeTest, StripDoubleClickTogglesFullScreenAndTheStripFollows)
{
    ThumbnailsView* strip = view_->thumbnailsView();
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->itemsCount(), 3u);
    EXPECT_EQ(strip->rows(), 1u);
    view_->itemsViewPerformDoubleClick(strip);
    ASSERT_TRUE(view_->fullScreenController()->fullScreenIsActive());
    EXPECT_EQ(view_->activeView(), view_->fullScreenController()->fullScreenView());
    EXPECT_TRUE(list().isBrowserIsActive(view_->activeView()));
    EXPECT_FALSE(view_->isViewActive());
    QTest::keyClick(view_->fullScreenController()->fullScreenView(), Qt::Key_Left);
    view_->itemsViewPerformDoubleClick(strip);
    EXPECT_FALSE(view_->fullScreenController()->fullScreenIsActive());
    EXPECT_TRUE(list().isBrowserIsActive(view_->imageView()));
    EXPECT_EQ(strip->selectedItemsIndexes(), IndexSet(2));
}

TEST_F(ViewModeTest, ZoomModePreferenceAndSliderFollowTheView)
{
    ViewModeImageView* image = view_->imageView();
    EXPECT_EQ(image->zoomMode(), ImageZoomMode::FitImage);
    UserDefaults::standard().setObject(Value(std::int64_t(3)), "ViewPanel.DefaultZoomMode");
    ASSERT_TRUE(spinUntil([&] { return image->zoomMode() == ImageZoomMode::ActualSize; }, 5000));
    EXPECT_FLOAT_EQ(image->zoomValue(), 1.0f);

    SliderWithButtons* slider = view_->imageScrollView()->zoomSlider();
    ASSERT_TRUE(slider);
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 1.0);
    image->setZoomValue(2.5);
    EXPECT_FLOAT_EQ(float(slider->doubleValue()), 2.5f);
    slider->slider()->setUserValue(0.5);
    EXPECT_FLOAT_EQ(image->zoomValue(), 0.5f);
    EXPECT_EQ(image->zoomMode(), ImageZoomMode::UserZoom);
    // Zoomed in beyond the scroll area: the view takes the picture's size, at once or when the
    // picture's header has been read.
    image->setZoomValue(4);
    EXPECT_TRUE(spinUntil([&] { return image->size() == QSize(1200, 800); }, 10000)) << image->size().width();
}

// With two folders selected, leaving selects the picture shown by its place among all listed
// items: "c.jpg" follows "inner", "a.jpg" and "b.jpg".
TEST_F(ViewModeTest, LeavingSelectsThePictureShownInBrowseMode)
{
    list().lastImage();
    ASSERT_EQ(list().currentImageInformation()->imageItem()->name(), "c.jpg");
    window_->setCurrentModeController(browse_);
    EXPECT_EQ(browse_->browsingSelection()->selectedObjectsIndexes(), IndexSet(3));
    EXPECT_FALSE(list().isStarted());
}

TEST_F(ViewModeTest, TheMetadataPanelDocksOnTheRightAndShowsTheCurrentPicture)
{
    auto* panel = dynamic_cast<MetadataPanel*>(view_->metadataPanel());
    ASSERT_TRUE(panel);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(view_->isMetadataPanelVisible());
    EXPECT_TRUE(valid("showHidePropertiesPanel:"));
    view_->showHidePropertiesPanel();
    EXPECT_TRUE(view_->isMetadataPanelVisible());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->currentViewSetType(), MetadataPanel::SelectionOnePicture);
    view_->showHidePropertiesPanel();
    EXPECT_FALSE(view_->isMetadataPanelVisible());
    EXPECT_EQ(panel->selection(), nullptr);
}

} // namespace
} // namespace vistel::test
