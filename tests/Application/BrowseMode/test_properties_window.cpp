// The Properties tab in a real browse window: the picture clicked in the grid is the one its
// Database view edits, and a caption typed there reaches the catalogue item when Tab ends it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/DynamicTabbedPanel.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/MetadataPanel.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Application/MainWindow.h"
#include "BrowseTestSupport.h"
#include "ItemsTestSupport.h"
#include "Metadata/MetadataDatabaseView.h"
#include "Platform/UserDefaults.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

class PropertiesWindowTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        UserDefaults::standard().setObject(Value(std::string(ItemsPanelThumbnailsMode)), "ItemsView.DefaultMode");
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey("ItemsView.DefaultMode");
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        ItemsCatalogueTest::TearDown();
    }
    std::unique_ptr<MainWindow> window_;
};

TEST_F(PropertiesWindowTest, ACaptionTypedInTheDatabaseViewIsStoredWhenTabEndsIt)
{
    Ref<FileSystemItemMO> pictures = folder(root_, "pictures", {"harbour.jpg"});
    BrowsingModeController* mode = openBrowseWindow(window_);
    ASSERT_TRUE(mode);
    BrowsingSelection* selection = mode->browsingSelection();
    spinEvents(1000); // the sidebar's own first choice comes first
    selection->setSelectedFolders({pictures});
    mode->itemsPanel()->setMode(ItemsPanelThumbnailsMode);
    auto* control = dynamic_cast<ThumbnailsViewControl*>(mode->itemsPanel()->currentViewControl());
    ASSERT_TRUE(control);
    ThumbnailsView* grid = control->thumbnailsView();
    ASSERT_TRUE(spinUntil([&] { return grid->itemsCount() == 1 && grid->width() > 100; }, 10000));
    spinEvents(700);

    // The user clicks the picture and brings the Properties tab forward.
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->itemRectForIndex(0).center().toPoint());
    ASSERT_TRUE(spinUntil([&] { return selection->selectedItems().size() == 1; }, 5000));
    DynamicTabbedPanel* tabs = mode->rightTabbedPanel();
    tabs->selectTabByIndex(tabs->tabIndexBySelector("showHidePropertiesPanel:"));
    MetadataPanel* panel = mode->metadataPanel();
    ASSERT_TRUE(spinUntil([&] { return panel->isVisible() && panel->metadataListSelector()->currentText() == "Database"; }, 5000));
    auto* view = panel->metadataViewContainer()->findChild<MetadataDatabaseView*>();
    ASSERT_TRUE(view);
    ASSERT_TRUE(view->dataProvider() && !view->dataProvider()->fileSystemItems().empty());
    ASSERT_EQ(view->dataProvider()->fileSystemItems().front()->name(), "harbour.jpg");

    // The caption row's text field (the topmost one; Notes has one too): typed into, then Tab.
    QPlainTextEdit* caption = nullptr;
    ASSERT_TRUE(spinUntil(
        [&] {
            for (QWidget* hosted : view->metadataList()->hostedViews())
                if (auto* field = qobject_cast<QPlainTextEdit*>(hosted); field && field->isVisible())
                    if (!caption || field->geometry().top() < caption->geometry().top())
                        caption = field;
            return caption != nullptr;
        },
        5000));
    caption->window()->activateWindow();
    QTest::mouseClick(caption->viewport(), Qt::LeftButton);
    ASSERT_TRUE(spinUntil([&] { return QApplication::focusWidget() == caption; }, 2000))
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "no focus");
    QTest::keyClicks(caption, "Low tide");
    QTest::keyClick(caption, Qt::Key_Tab);
    Ref<FileSystemItemMO> picture = pictures->childWithName("harbour.jpg");
    EXPECT_TRUE(spinUntil([&] { return picture->databaseCaption().toString() == "Low tide"; }, 5000))
        << picture->databaseCaption().toString();
}

} // namespace
} // namespace vistel::test
