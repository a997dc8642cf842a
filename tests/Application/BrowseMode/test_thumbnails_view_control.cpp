// The thumbnails view control: the grid follows the preferences (bound and observed), drops
// go to the folder thumbnail under the pointer, and line keys do nothing without columns.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "ItemsTestSupport.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

class ThumbnailsViewControlTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ItemsCatalogueTest::SetUp();
        Preferences::sharedPreferences();
        a_ = folder(root_, "a", {"a1.jpg", "a2.jpg", "a3.jpg", "a4.jpg", "a5.jpg"});
        sub_ = folder(a_, "sub", {});
        control_ = std::make_unique<ThumbnailsViewControl>();
        control_->resize(700, 500);
        control_->setBrowsingControlUserActionsDelegate(&handler_);
        control_->setIsViewActive(true);
        control_->setBrowsingSelection(selection_.get());
        control_->show();
        selection_->setSelectedFolders({a_});
        // The catalogue's own changes of the new items come first.
        spinEvents(1200);
    }
    void TearDown() override
    {
        control_.reset();
        for (const char* key : {"ThumbnailStyle.Size", "ThumbnailStyle.Spacing", "ThumbnailInfo.Overlays.Rating",
                                "ThumbnailStyle.ShowFrame"})
            UserDefaults::standard().removeObjectForKey(key);
        ItemsCatalogueTest::TearDown();
    }
    ThumbnailsView& grid() { return *control_->thumbnailsView(); }
    std::uint64_t indexOf(const Ref<FileSystemItemMO>& item)
    {
        const ItemList shown = selection_->foldersObjects();
        return std::uint64_t(std::find(shown.begin(), shown.end(), item) - shown.begin());
    }
    QPoint centreOf(std::uint64_t index)
    {
        return grid().mapTo(control_.get(), grid().gridRectForItemIndex(index).center().toPoint());
    }

    Ref<FileSystemItemMO> a_, sub_;
    RecordingHandler handler_;
    std::unique_ptr<ThumbnailsViewControl> control_;
};

TEST_F(ThumbnailsViewControlTest, GridFollowsThePreferences)
{
    ASSERT_EQ(ThumbnailsViewControl::preferenceBindings().size(), 13u);
    // Every bound preference shows in the grid at once, whatever the value.
    for (const auto& binding : ThumbnailsViewControl::preferenceBindings()) {
        const Value before = grid().bindingValue(binding.binding);
        const Value changed = before.isBoolean() ? Value(!before.toBool()) : Value(before.toDouble() + 20);
        UserDefaults::standard().setObject(changed, binding.key);
        EXPECT_TRUE(spinUntil([&] { return grid().bindingValue(binding.binding) == changed; }, 3000)) << binding.key;
        UserDefaults::standard().removeObjectForKey(binding.key);
        EXPECT_TRUE(spinUntil([&] { return grid().bindingValue(binding.binding) == before; }, 3000)) << binding.key;
    }

    // The spacing: both at once; the same value changes nothing.
    const float spacing = grid().itemsVerticalSpacing();
    UserDefaults::standard().setObject(Value(double(spacing) + 7), "ThumbnailStyle.Spacing");
    ASSERT_TRUE(spinUntil([&] { return grid().itemsVerticalSpacing() == spacing + 7; }, 3000));
    EXPECT_EQ(grid().itemsHorizontalSpacing(), spacing + 7);
    grid().setItemsHorizontalSpacing(1);
    control_->applySpacingPreference(); // the vertical spacing is already the preference's
    EXPECT_EQ(grid().itemsHorizontalSpacing(), 1);
}

TEST_F(ThumbnailsViewControlTest, DropOverAFolderThumbnailGoesIntoIt)
{
    const std::uint64_t folderIndex = indexOf(sub_);
    ASSERT_LT(folderIndex, selection_->foldersObjectsCount());
    const std::uint64_t fileIndex = folderIndex == 0 ? 1 : 0;
    EXPECT_EQ(control_->dropFolderForDrop(centreOf(folderIndex)), sub_);
    EXPECT_EQ(control_->dropFolderForDrop(centreOf(fileIndex)), a_);
    EXPECT_EQ(control_->dropFolderForDrop(QPoint(690, 490)), a_); // empty space

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/x.jpg")});
    EXPECT_EQ(control_->draggingUpdated(files, centreOf(folderIndex)), Qt::CopyAction);
    EXPECT_EQ(control_->highlightedItemsIndexes(), IndexSet(folderIndex));
    EXPECT_EQ(control_->draggingUpdated(files, centreOf(fileIndex)), Qt::CopyAction);
    EXPECT_EQ(control_->highlightedItemsIndexes(), std::nullopt);
    control_->draggingExited();
}

TEST_F(ThumbnailsViewControlTest, LineActionsWithNoColumnsDoNothing)
{
    // An empty folder: no columns, and a key that acts on lines changes nothing.
    selection_->setSelectedFolders({sub_});
    ASSERT_EQ(grid().itemsCount(), 0u);
    EXPECT_EQ(grid().columns(), 0u);
    for (const char* action : {"moveDown:", "moveUp:", "moveToBeginningOfLine:", "moveToEndOfLine:",
                               "moveDownAndModifySelection:", "moveToEndOfLineAndModifySelection:"}) {
        grid().performKeyAction(action);
        EXPECT_TRUE(selection_->selectedObjectsIndexes().empty()) << action;
    }
}

} // namespace
} // namespace vistel::test
