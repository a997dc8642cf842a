// The items panel: its modes and their notification, the switch and the size slider, the rotate
// buttons, the progress strip's place; and the panel in the browse window: the centre view, the
// preferred mode, "asList:" / "asThumbnails:" from the menu moving the "View" item.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

#include "../ShellTestSupport.h"
#include "BrowseTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/DetailsViewControl.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ThumbnailsViewControl.h"
#include "Application/MainWindow.h"
#include "Common/Views/SliderWithButtons.h"
#include "Common/Views/ZovMainWindow.h"
#include "ItemsTestSupport.h"
#include "Operations/FileOperation.h"
#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/UserDefaults.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

class ItemsPanelTest : public ItemsCatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        ItemsCatalogueTest::SetUp();
        a_ = folder(root_, "a", {"a1.jpg", "a2.jpg"});
        panel_.reset(ItemsPanel::itemsPanel());
        panel_->resize(500, 400);
        panel_->show();
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification& n) { posted_.push_back(n.userInfo.get("currentMode").toString()); },
            ItemsPanelSelectionChangedNotification, View::viewObject(panel_.get()));
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        panel_.reset();
        ItemsCatalogueTest::TearDown();
    }
    std::string checkedSegments() const
    {
        return std::string(panel_->switcherButton(0)->isChecked() ? "1" : "0")
            + (panel_->switcherButton(1)->isChecked() ? "1" : "0");
    }

    Ref<FileSystemItemMO> a_;
    RecordingHandler handler_;
    std::unique_ptr<ItemsPanel> panel_;
    std::vector<std::string> posted_;
};

TEST_F(ItemsPanelTest, ModeSwitchCases)
{
    EXPECT_EQ(panel_->mode(), ItemsPanelNullMode);
    EXPECT_EQ(panel_->currentViewControl(), nullptr);
    panel_->setSelectionAndHandler(selection_.get(), &handler_);
    ItemsViewControl* list = panel_->viewControlForMode(ItemsPanelDetailsMode);
    ItemsViewControl* grid = panel_->viewControlForMode(ItemsPanelThumbnailsMode);
    ASSERT_TRUE(list && grid);
    EXPECT_FALSE(list->isViewActive());
    EXPECT_FALSE(grid->isViewActive());

    struct Case {
        const char* set;
        std::string mode;        // afterwards
        std::vector<std::string> posted; // by this step
        const char* segments;    // list, thumbnails checked
        bool sliderShown;
    } cases[] = {
        {ItemsPanelDetailsMode, ItemsPanelDetailsMode, {ItemsPanelDetailsMode}, "10", false},
        {ItemsPanelDetailsMode, ItemsPanelDetailsMode, {}, "10", false}, // the current mode again
        {"ItemsPanelNoSuchMode", ItemsPanelNullMode, {}, "00", false},
        {ItemsPanelNullMode, ItemsPanelNullMode, {}, "00", false},
        {ItemsPanelDetailsMode, ItemsPanelDetailsMode, {ItemsPanelDetailsMode}, "10", false},
        {ItemsPanelThumbnailsMode, ItemsPanelThumbnailsMode, {ItemsPanelThumbnailsMode}, "01", true},
        {ItemsPanelThumbnailsMode, ItemsPanelThumbnailsMode, {}, "01", true},
        {ItemsPanelDetailsMode, ItemsPanelDetailsMode, {ItemsPanelDetailsMode}, "10", false},
    };
    for (const Case& c : cases) {
        posted_.clear();
        panel_->setMode(c.set);
        EXPECT_EQ(panel_->mode(), c.mode) << c.set;
        EXPECT_EQ(panel_->browsingModeTag(), c.mode) << c.set;
        EXPECT_EQ(posted_, c.posted) << c.set;
        EXPECT_EQ(checkedSegments(), c.segments) << c.set;
        EXPECT_EQ(!panel_->scaleThumbnailsPanel()->isSliderHidden(), c.sliderShown) << c.set;
        EXPECT_EQ(list->isViewActive(), c.mode == ItemsPanelDetailsMode) << c.set;
        EXPECT_EQ(list->isVisible(), c.mode == ItemsPanelDetailsMode) << c.set;
        EXPECT_EQ(grid->isViewActive(), c.mode == ItemsPanelThumbnailsMode) << c.set;
        EXPECT_EQ(grid->isVisible(), c.mode == ItemsPanelThumbnailsMode) << c.set;
        EXPECT_EQ(panel_->currentViewControl(),
                  c.mode == ItemsPanelDetailsMode ? list : c.mode == ItemsPanelThumbnailsMode ? grid : nullptr)
            << c.set;
    }
}

TEST_F(ItemsPanelTest, TheListFillsTheSlotAboveTheToolBarAndTheSwitchSetsTheMode)
{
    panel_->setSelectionAndHandler(selection_.get(), &handler_);
    selection_->setSelectedFolders({a_});
    panel_->setMode("ItemsPanelNoSuchMode");
    QTest::mouseClick(panel_->switcherButton(0), Qt::LeftButton);
    EXPECT_EQ(panel_->mode(), ItemsPanelDetailsMode);
    EXPECT_EQ(posted_, (std::vector<std::string> {ItemsPanelDetailsMode}));

    auto* list = dynamic_cast<DetailsViewControl*>(panel_->currentViewControl());
    ASSERT_TRUE(list);
    EXPECT_EQ(list->tableView()->numberOfRows(), 2);
    const int bar = GTBottomToolbarStyle::toolbarHeight();
    EXPECT_EQ(list->geometry(), QRect(0, 0, 500, 400 - bar));
    EXPECT_EQ(panel_->toolBar()->geometry(), QRect(0, 400 - bar, 500, bar));
    EXPECT_TRUE(list->tableView()->hasFocus() || QApplication::focusWidget() == nullptr);

    // A strip goes between the items and the tool bar, 50 high; hiding it gives the room back.
    auto* strip = new QWidget;
    QPointer<QWidget> watch(strip);
    panel_->showProgressView(strip);
    EXPECT_EQ(list->geometry(), QRect(0, 0, 500, 400 - bar - 50));
    EXPECT_EQ(strip->geometry(), QRect(0, 400 - bar - 50, 500, 50));
    panel_->showProgressView(nullptr);
    EXPECT_FALSE(watch);
    EXPECT_EQ(list->geometry(), QRect(0, 0, 500, 400 - bar));
}

// A file operation's status records put the panel's progress strip between the items and the
// tool bar; it goes a second after the operation completes.
TEST_F(ItemsPanelTest, AnOperationsStatusShowsTheStripUntilItEnds)
{
    panel_->setSelectionAndHandler(selection_.get(), &handler_);
    selection_->setSelectedFolders({a_});
    panel_->setMode(ItemsPanelDetailsMode);
    auto* list = panel_->currentViewControl();
    ASSERT_TRUE(list);
    const int bar = GTBottomToolbarStyle::toolbarHeight();
    auto post = [](const Ref<Object>& operation, int stage) {
        NotificationCenter::defaultCenter().postNotificationName(
            kFSOperationStatusNotification, operation,
            Value::dictionary({{kFSOperationStageKey, stage},
                               {kFSOperationCurrentObjectKey, "/tmp/a.jpg"},
                               {kFolderProgressKeyStopButtonText, "Stop"},
                               {kFolderProgressKeyExplanationWithoutDestination, "Copying %@"}}));
    };
    const Ref<Object> copy = makeRef<Object>();
    post(copy, 1);
    QPointer<QWidget> strip = panel_->progressView();
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip, panel_->progressStrip()->progressPanel());
    EXPECT_EQ(strip->geometry(), QRect(0, 400 - bar - 50, 500, 50));
    EXPECT_EQ(list->geometry(), QRect(0, 0, 500, 400 - bar - 50));
    post(copy, 3);
    EXPECT_TRUE(strip); // still there: it closes a second later
    EXPECT_TRUE(spinUntil([&] { return strip.isNull(); }, 5000));
    EXPECT_EQ(panel_->progressView(), nullptr);
    EXPECT_EQ(list->geometry(), QRect(0, 0, 500, 400 - bar));
}

TEST_F(ItemsPanelTest, RotateButtonsAndSlider)
{
    panel_->setSelectionAndHandler(selection_.get(), &handler_);
    panel_->setMode(ItemsPanelDetailsMode);
    ZovButtonsStatusUpdater* updater = panel_->buttonsUpdater();
    auto* left = dynamic_cast<ActionButton*>(updater->controlWithID(0));
    auto* right = dynamic_cast<ActionButton*>(updater->controlWithID(1));
    ASSERT_TRUE(left && right);
    EXPECT_EQ(left->action(), "rotateLeft:");
    EXPECT_EQ(right->action(), "rotateRight:");
    EXPECT_EQ(left->toolTip().toStdString(), "Rotate Left");
    EXPECT_EQ(updater->controlWithID(2), nullptr);
    // Validated by the current control, which asks the handler.
    handler_.validateAnswer = false;
    updater->updateControls();
    EXPECT_FALSE(left->isEnabled());
    handler_.validateAnswer = true;
    updater->updateControls();
    EXPECT_TRUE(left->isEnabled());
    EXPECT_EQ(handler_.last("validate:rotateLeft:")->location, nullptr);

    // The slider: 32 to 320, following "ThumbnailStyle.Size" both ways.
    Slider* slider = panel_->scaleThumbnailsPanel()->slider()->slider();
    EXPECT_EQ(slider->minValue(), 32);
    EXPECT_EQ(slider->maxValue(), 320);
    UserDefaults::standard().setObject(Value(200.0), "ThumbnailStyle.Size");
    ASSERT_TRUE(spinUntil([&] { return slider->doubleValue() == 200; }, 5000));
    slider->setUserValue(64);
    EXPECT_EQ(UserDefaults::standard().objectForKey("ThumbnailStyle.Size").toDouble(), 64);
}

TEST_F(ItemsPanelTest, ListAndGridShowTheSameFolder)
{
    // Pictures of four colours and a folder.
    Ref<FileSystemItemMO> pictures = folder(root_, "pictures", {});
    const std::vector<std::pair<std::string, QColor>> colours {
        {"blue.jpg", QColor(40, 60, 220)}, {"green.jpg", QColor(40, 180, 60)},
        {"orange.jpg", QColor(240, 150, 30)}, {"red.jpg", QColor(220, 40, 40)}};
    for (const auto& [name, colour] : colours) {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(QString::fromStdString(pictures->fullPath() + "/" + name), "JPEG"));
        Ref<FileSystemItemMO> item = pictures->createChildWithName(name, MediaDatabase::EntityFile, true);
        item->setValid(true);
        item->setDecodable(true);
        item->setSize(std::int64_t(QFileInfo(QString::fromStdString(item->fullPath())).size()));
        item->setUserKind("JPEG image");
        item->setModificationDate(Date {1'765'365'385});
        pictures->updateObjectInCache(item.get());
    }
    folder(pictures, "Holidays", {});
    panel_->resize(640, 360);
    panel_->setSelectionAndHandler(selection_.get(), &handler_);
    selection_->setSelectedFolders({pictures});
    const std::size_t shown = selection_->foldersObjectsCount();
    EXPECT_EQ(shown, 5u);

    panel_->setMode(ItemsPanelDetailsMode);
    auto* list = dynamic_cast<DetailsViewControl*>(panel_->currentViewControl());
    ASSERT_TRUE(list);
    EXPECT_EQ(list->tableView()->numberOfRows(), int(shown));
    const QImage listShot = panel_->grab().toImage();

    panel_->setMode(ItemsPanelThumbnailsMode);
    auto* grid = dynamic_cast<ThumbnailsViewControl*>(panel_->currentViewControl());
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->thumbnailsView()->itemsCount(), unsigned(shown));
    // The thumbnails arrive from the catalogue's workers: the centre of each picture's cell
    // turns its colour.
    auto colourAt = [&](std::uint64_t index) {
        const QPointF centre = grid->thumbnailsView()->itemRectForIndex(index).center();
        const QImage shot = grid->thumbnailsView()->grab().toImage();
        return shot.rect().contains(centre.toPoint()) ? shot.pixelColor(centre.toPoint()) : QColor();
    };
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
    };
    for (const auto& entry : colours) {
        const std::string& name = entry.first;
        const QColor& colour = entry.second;
        const ItemList items = selection_->foldersObjects();
        const auto at = std::find_if(items.begin(), items.end(), [&](const auto& item) { return item->name() == name; });
        ASSERT_NE(at, items.end()) << name;
        const std::uint64_t index = std::uint64_t(at - items.begin());
        EXPECT_TRUE(spinUntil([&] { return near(colourAt(index), colour); }, 20000)) << name;
    }
    const QImage gridShot = panel_->grab().toImage();
    if (const char* folder = std::getenv("VISTEL_SCREENSHOT_DIR")) {
        listShot.save(QString::fromLocal8Bit(folder) + "/items-list.png");
        gridShot.save(QString::fromLocal8Bit(folder) + "/items-grid.png");
    }
}

// --- the panel in the browse window ------------------------------------------------------------------

class ItemsPanelInWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
    }
    void open()
    {
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey("ItemsView.DefaultMode");
    }
    std::string viewSegments()
    {
        auto* item = dynamic_cast<QWidgetAction*>(
            mode_->toolbarItemForItemIdentifier(*mode_->controllerToolBar(), "thumbViewMode", false));
        std::string out;
        for (QToolButton* button : item->defaultWidget()->findChildren<QToolButton*>())
            out += button->isChecked() ? "1" : "0";
        return out;
    }
    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
};

TEST_F(ItemsPanelInWindowTest, ThePanelIsTheCentreAndStartsInThePreferredMode)
{
    UserDefaults::standard().setObject(Value(std::string(ItemsPanelDetailsMode)), "ItemsView.DefaultMode");
    open();
    ItemsPanel* panel = mode_->itemsPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(mode_->layoutController()->centralView(), panel);
    EXPECT_EQ(panel->mode(), ItemsPanelDetailsMode);
    EXPECT_EQ(panel->browsingModeController(), mode_);
    ItemsViewControl* list = panel->currentViewControl();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->browsingSelection(), mode_->browsingSelection());
    EXPECT_EQ(list->userActionsDelegate(), mode_->browsingHandler());
    EXPECT_GT(panel->width(), 100);

    // Activating the mode gives the list the keyboard focus.
    window_->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_->window()));
    list->itemsViewWidget()->clearFocus();
    mode_->setActive(true);
    EXPECT_TRUE(list->itemsViewWidget()->hasFocus());
}

TEST_F(ItemsPanelInWindowTest, AsListFromTheMenuMovesTheViewItem)
{
    open();
    ItemsPanel* panel = mode_->itemsPanel();
    EXPECT_EQ(panel->mode(), ItemsPanelThumbnailsMode); // no preference: thumbnails
    EXPECT_EQ(viewSegments(), "01");

    ActionItem asList("as List", "asList:");
    EXPECT_TRUE(mode_->validateUserInterfaceItem(asList));
    EXPECT_TRUE(Responder::sendAction("asList:", nullptr, &asList, window_->window()));
    EXPECT_EQ(panel->mode(), ItemsPanelDetailsMode);
    EXPECT_EQ(viewSegments(), "10");

    // Select All reaches the list's control (the focus may be anywhere in the window).
    ActionItem selectAll("Select All", "selectAll:");
    EXPECT_FALSE(mode_->validateUserInterfaceItem(selectAll)); // nothing listed

    // A click on a segment sends its action; the state comes back to the panel's mode.
    auto* item = dynamic_cast<QWidgetAction*>(
        mode_->toolbarItemForItemIdentifier(*mode_->controllerToolBar(), "thumbViewMode", false));
    QToolButton* list = item->defaultWidget()->findChildren<QToolButton*>()[0];
    list->click();
    EXPECT_EQ(viewSegments(), "10");
    ActionItem asThumbnails("as Thumbnails", "asThumbnails:");
    EXPECT_TRUE(Responder::sendAction("asThumbnails:", nullptr, &asThumbnails, window_->window()));
    EXPECT_EQ(panel->mode(), ItemsPanelThumbnailsMode);
    EXPECT_EQ(viewSegments(), "01");
}

// The mode chosen in one window is the mode of the next: kept as the window closes, and when
// the window goes without closing.
TEST_F(ItemsPanelInWindowTest, TheNextWindowStartsInTheModeTheLastOneClosedIn)
{
    open();
    ActionItem asList("as List", "asList:");
    ASSERT_TRUE(Responder::sendAction("asList:", nullptr, &asList, window_->window()));
    window_->window()->close();
    EXPECT_EQ(UserDefaults::standard().stringForKey("ItemsView.DefaultMode"), ItemsPanelDetailsMode);
    closeBrowseWindow(window_);

    open();
    EXPECT_EQ(mode_->itemsPanel()->mode(), ItemsPanelDetailsMode);
    EXPECT_EQ(viewSegments(), "10");
    ActionItem asThumbnails("as Thumbnails", "asThumbnails:");
    ASSERT_TRUE(Responder::sendAction("asThumbnails:", nullptr, &asThumbnails, window_->window()));
    closeBrowseWindow(window_); // never closed: the controller goes
    EXPECT_EQ(UserDefaults::standard().stringForKey("ItemsView.DefaultMode"), ItemsPanelThumbnailsMode);

    open();
    EXPECT_EQ(mode_->itemsPanel()->mode(), ItemsPanelThumbnailsMode);
}

} // namespace
} // namespace vistel::test
