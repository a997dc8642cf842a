// The Properties tab in a real browse window: the picture clicked in the grid is the one its
// Database view edits, a caption typed there reaches the catalogue item when Tab ends it, and
// the stars and the tagged mark set there show on the grid's cell (and the grid's tag mark,
// clicked, shows back in the view).

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QStyleOptionButton>
#include <QTest>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/DynamicTabbedPanel.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/MetadataPanel.h"
#include "Application/BrowseMode/ThumbnailDecorations.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Application/MainWindow.h"
#include "BrowseTestSupport.h"
#include "Common/Views/RatingStars.h"
#include "ItemsTestSupport.h"
#include "Metadata/MetadataDatabaseView.h"
#include "Platform/UserDefaults.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();
// The grid draws the tag and rating marks over its thumbnails.
constexpr const char* kOverlays[] = {"ThumbnailInfo.Overlays.Tagged", "ThumbnailInfo.Overlays.Rating"};

class PropertiesWindowTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        UserDefaults::standard().setObject(Value(std::string(ItemsPanelThumbnailsMode)), "ItemsView.DefaultMode");
        for (const char* key : kOverlays)
            UserDefaults::standard().setObject(Value(true), key);
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey("ItemsView.DefaultMode");
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        for (const char* key : kOverlays)
            UserDefaults::standard().removeObjectForKey(key);
        ItemsCatalogueTest::TearDown();
    }
    // A folder with one picture in the grid; the user clicks it and brings the Properties tab
    // forward, whose Database view shows it.
    void showThePictureInTheDatabaseView()
    {
        pictures_ = folder(root_, "pictures", {"harbour.jpg"});
        picture_ = pictures_->childWithName("harbour.jpg");
        BrowsingModeController* mode = openBrowseWindow(window_);
        ASSERT_TRUE(mode);
        windowSelection_ = mode->browsingSelection();
        ASSERT_TRUE(waitForStartLocation(*mode));
        windowSelection_->setSelectedFolders({pictures_});
        mode->itemsPanel()->setMode(ItemsPanelThumbnailsMode);
        auto* control = dynamic_cast<ThumbnailsViewControl*>(mode->itemsPanel()->currentViewControl());
        ASSERT_TRUE(control);
        grid_ = control->thumbnailsView();
        ASSERT_TRUE(spinUntil([&] { return grid_->itemsCount() == 1 && grid_->width() > 100; }, 10000));
        spinEvents(700);

        QTest::mouseClick(grid_, Qt::LeftButton, {}, grid_->itemRectForIndex(0).center().toPoint());
        ASSERT_TRUE(spinUntil([&] { return windowSelection_->selectedItems().size() == 1; }, 5000));
        DynamicTabbedPanel* tabs = mode->rightTabbedPanel();
        tabs->selectTabByIndex(tabs->tabIndexBySelector("showHidePropertiesPanel:"));
        MetadataPanel* panel = mode->metadataPanel();
        ASSERT_TRUE(spinUntil([&] { return panel->isVisible() && panel->metadataListSelector()->currentText() == "Database"; }, 5000));
        view_ = panel->metadataViewContainer()->findChild<MetadataDatabaseView*>();
        ASSERT_TRUE(view_);
        ASSERT_TRUE(view_->dataProvider() && !view_->dataProvider()->fileSystemItems().empty());
        ASSERT_EQ(view_->dataProvider()->fileSystemItems().front()->name(), "harbour.jpg");
    }
    // The control of a "General" row of the view, once it is shown.
    template <class T>
    T* generalControl(const std::string& key)
    {
        T* found = nullptr;
        spinUntil(
            [&] {
                if (auto general = view_->dataProvider()->categoryItems("General"))
                    for (const auto& value : general->children())
                        if (value->key() == key)
                            found = dynamic_cast<T*>(MetadataDatabaseView::controlOfView(view_->viewForItem(value.get())));
                return found && found->isVisible() && found->width() > 0;
            },
            5000);
        return found;
    }

    std::unique_ptr<MainWindow> window_;
    Ref<FileSystemItemMO> pictures_, picture_;
    BrowsingSelection* windowSelection_ = nullptr;
    ThumbnailsView* grid_ = nullptr;
    MetadataDatabaseView* view_ = nullptr;
};

int lightnessAt(const QImage& shot, QPointF point)
{
    return shot.pixelColor(point.toPoint()).lightness();
}

// Pixels of `rect` that differ between two shots.
int changedPixels(const QImage& before, const QImage& after, const QRect& rect)
{
    int count = 0;
    for (int x = rect.left(); x <= rect.right(); ++x)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            count += before.pixel(x, y) != after.pixel(x, y);
    return count;
}

TEST_F(PropertiesWindowTest, ACaptionTypedInTheDatabaseViewIsStoredWhenTabEndsIt)
{
    ASSERT_NO_FATAL_FAILURE(showThePictureInTheDatabaseView());

    // The caption row's text field (the topmost one; Notes has one too): typed into, then Tab.
    QPlainTextEdit* caption = nullptr;
    ASSERT_TRUE(spinUntil(
        [&] {
            for (QWidget* hosted : view_->metadataList()->hostedViews())
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
    EXPECT_TRUE(spinUntil([&] { return picture_->databaseCaption().toString() == "Low tide"; }, 5000))
        << picture_->databaseCaption().toString();
}

TEST_F(PropertiesWindowTest, TheStarsAndTheTagMarkFollowBetweenTheDatabaseViewAndTheGrid)
{
    ASSERT_NO_FATAL_FAILURE(showThePictureInTheDatabaseView());
    ASSERT_TRUE(grid_->showRating() && grid_->showTagged());
    const IndexSet selected = windowSelection_->selectedObjectsIndexes();

    // The user clicks the fourth star of the view's star row.
    auto* stars = generalControl<RatingLevelIndicator>("Rating");
    ASSERT_TRUE(stars);
    ASSERT_GE(stars->width(), 5 * stars->starSide());
    QTest::mouseClick(stars, Qt::LeftButton, {}, QPointF(3.5 * stars->starSide(), stars->height() / 2.0).toPoint());
    ASSERT_TRUE(spinUntil([&] { return numberOfValue(picture_->databaseRating()) == 4.0; }, 5000))
        << picture_->databaseRating().toString();
    EXPECT_EQ(stars->value(), 4);

    // The grid's cell shows four stars: a star's light centre at the fourth place, the mark's
    // black band at the fifth.
    const QRectF starsRect = RartingThumbnailDecoration().drawRectFromItemRect(grid_->itemRectForIndex(0));
    const double side = starsRect.height();
    auto starCentre = [&](int star) { return QPointF(starsRect.x() + (star - 0.5) * side, starsRect.y() + side / 2); };
    QImage shot;
    EXPECT_TRUE(spinUntil(
        [&] {
            shot = grid_->grab().toImage();
            return lightnessAt(shot, starCentre(4)) > 150 && lightnessAt(shot, starCentre(5)) < 40;
        },
        5000))
        << "fourth " << lightnessAt(shot, starCentre(4)) << ", fifth " << lightnessAt(shot, starCentre(5));
    for (int star = 1; star <= 3; ++star)
        EXPECT_GT(lightnessAt(shot, starCentre(star)), 150) << "star " << star;

    // The user ticks "Tagged": the grid's mark turns on.
    const QRect tagRect = TagThumbnailDecoration().drawRectFromItemRect(grid_->itemRectForIndex(0)).toAlignedRect();
    const QImage untagged = grid_->grab().toImage();
    auto* tagged = generalControl<QCheckBox>("Tagged");
    ASSERT_TRUE(tagged);
    ASSERT_FALSE(tagged->isChecked());
    QStyleOptionButton option;
    option.initFrom(tagged);
    const QRect box = tagged->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, tagged);
    QTest::mouseClick(tagged, Qt::LeftButton, {}, box.center());
    ASSERT_TRUE(tagged->isChecked());
    EXPECT_TRUE(spinUntil([&] { return TagThumbnailDecoration::isTagged(*picture_); }, 5000));
    EXPECT_TRUE(spinUntil([&] { return changedPixels(untagged, grid_->grab().toImage(), tagRect) > 20; }, 5000));

    // A click on the grid's mark unticks it; the view's box follows and the selection stays.
    QTest::mouseClick(grid_, Qt::LeftButton, {}, tagRect.center());
    EXPECT_FALSE(TagThumbnailDecoration::isTagged(*picture_));
    EXPECT_TRUE(spinUntil([&] { return !tagged->isChecked(); }, 5000));
    EXPECT_TRUE(spinUntil([&] { return changedPixels(untagged, grid_->grab().toImage(), tagRect) == 0; }, 5000));
    EXPECT_EQ(windowSelection_->selectedObjectsIndexes(), selected);
    ASSERT_FALSE(view_->dataProvider()->fileSystemItems().empty());
    EXPECT_EQ(view_->dataProvider()->fileSystemItems().front().get(), picture_.get());
    EXPECT_EQ(stars->value(), 4);
}

} // namespace
} // namespace vistel::test
