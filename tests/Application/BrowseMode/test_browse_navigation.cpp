// The browse window's navigation and status line: the tool bar's history segments driven by the
// history, their clicks, Alt+Left/Right and the mouse's Back/Forward buttons, the handler's
// navigation rows, and the status bar following the mode's selection. With
// VISTEL_SCREENSHOT_DIR set, the window with its status line and a running progress strip is
// saved there as "browse-window.png".

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

#include <regex>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/FolderProgressPanel.h"
#include "Application/BrowseMode/WindowStatusBarPanel.h"
#include "Application/MainMenu.h"
#include "Application/MainWindow.h"
#include "CatalogueTestSupport.h"
#include "HistoryTestSupport.h"
#include "Operations/FileOperation.h"
#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/Gui/Window.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

// The browse mode with a stand-in sidebar.
class ModeWithSidebar : public BrowsingModeController {
public:
    ModeWithSidebar(MainWindow* owner, FakeSidebar* sidebar)
        : BrowsingModeController(owner)
        , sidebar_(sidebar)
    {
    }

protected:
    IBrowserPanelHistorySource* historySidebar() override { return sidebar_; }

private:
    FakeSidebar* sidebar_;
};

class BrowseNavigationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        for (const char* name : {"Pictures", "Holiday", "Beach", "Family"})
            sidebar_.rows.push_back(makeRef<FakeSidebar::Place>(name));
        for (std::size_t i = 1; i < sidebar_.rows.size(); ++i)
            sidebar_.parents[sidebar_.rows[i].get()] = sidebar_.rows[0];
        database_ = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(database_.get());
        MainWindow::clearModeFactories();
        MainWindow::registerModeFactory([this](MainWindow& owner) -> std::unique_ptr<BasicModeController> {
            auto mode = std::make_unique<ModeWithSidebar>(&owner, &sidebar_);
            mode->setUp();
            return mode;
        });
        window_ = MainWindow::create();
        window_->showWindow();
        mode_ = dynamic_cast<BrowsingModeController*>(window_->browsingModeController());
        ASSERT_TRUE(mode_);
        ASSERT_TRUE(mode_->navigationHistory());
    }
    void TearDown() override
    {
        window_.reset();
        MainWindow::clearModeFactories();
        MediaDatabase::setDefaultMediaDatabase(nullptr);
        if (database_)
            database_->stopJobs();
        database_ = nullptr;
    }
    std::vector<std::string> states()
    {
        std::vector<std::string> out;
        auto* item = dynamic_cast<QWidgetAction*>(
            mode_->toolbarItemForItemIdentifier(*mode_->controllerToolBar(), "historyNavigator", false));
        for (QToolButton* button : item->defaultWidget()->findChildren<QToolButton*>())
            out.push_back(button->toolTip().toStdString() + (button->isEnabled() ? "" : " (off)"));
        return out;
    }
    QList<QToolButton*> buttons()
    {
        auto* item = dynamic_cast<QWidgetAction*>(
            mode_->toolbarItemForItemIdentifier(*mode_->controllerToolBar(), "historyNavigator", false));
        return item->defaultWidget()->findChildren<QToolButton*>();
    }
    std::string selected() const
    {
        std::string names;
        for (const Ref<Object>& item : sidebar_.historySelectedItems())
            names += (names.empty() ? "" : "+") + sidebar_.historyItemName(*item);
        return names;
    }
    // Selects sidebar rows by index, as a user would.
    void choose(int row) { sidebar_.select({row}); }

    FakeSidebar sidebar_;
    Ref<MediaDatabase> database_;
    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
};

TEST_F(BrowseNavigationTest, TheSegmentsFollowTheHistoryAndTheirClicksMoveIt)
{
    EXPECT_EQ(states(), (std::vector<std::string> {" (off)", " (off)", " (off)"}));
    choose(1);
    choose(2);
    EXPECT_EQ(states(), (std::vector<std::string> {"Back to \"Holiday\"", " (off)", "Up to \"Pictures\""}));
    // The chain's validation on window updates leaves the history's segments alone.
    mode_->validateSegments();
    EXPECT_TRUE(buttons()[0]->isEnabled());

    buttons()[0]->click();
    EXPECT_EQ(selected(), "Holiday");
    EXPECT_EQ(states(), (std::vector<std::string> {" (off)", "Forward to \"Beach\"", "Up to \"Pictures\""}));
    buttons()[1]->click();
    EXPECT_EQ(selected(), "Beach");
    buttons()[2]->click();
    EXPECT_EQ(selected(), "Pictures");
    EXPECT_EQ(mode_->navigationHistory()->historyArray().size(), 3u);

    // The handler's rows answer from the history.
    BrowsingUAHandler* handler = mode_->browsingHandler();
    EXPECT_TRUE(handler->validateUserAction("backward:", nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(handler->validateUserAction("forward:", nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(handler->validateUserAction("enclosingFolder:", nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(handler->processItems({}, nullptr, "backward:", nullptr, nullptr));
    EXPECT_EQ(selected(), "Beach");
    EXPECT_TRUE(mode_->performAction("forward:", nullptr));
    EXPECT_EQ(selected(), "Pictures");
}

// The sidebar chose its start folder before the history was made: that folder is the first
// entry, so Back is there after the user's first step.
TEST(BrowseNavigation, AStartFolderChosenBeforeTheHistoryIsItsFirstEntry)
{
    ASSERT_TRUE(privateFolders);
    FakeSidebar sidebar;
    for (const char* name : {"Pictures", "Holiday"})
        sidebar.rows.push_back(makeRef<FakeSidebar::Place>(name));
    sidebar.selected = {0}; // chosen quietly, before anyone listens
    Ref<BrowserPanelHistory> history = BrowserPanelHistory::create(&sidebar);
    ASSERT_EQ(history->historyArray().size(), 1u);
    EXPECT_EQ(history->currentItemIndex(), 0u);
    EXPECT_FALSE(history->canNavigatePrevious());

    sidebar.select({1});
    ASSERT_TRUE(history->canNavigatePrevious());
    EXPECT_EQ(history->previousFolderName(), "Back to \"Pictures\"");
    history->navigatePrevious();
    EXPECT_EQ(sidebar.selected, (std::vector<int> {0}));
}

TEST_F(BrowseNavigationTest, KeysAndMouseButtonsGoBackAndForward)
{
    choose(1);
    choose(3);
    // The keys are the main menu's Back and Forward.
    MainMenu::install(window_->window()->menuBar(), MainMenu::WindowKind::Main);
    QWidget* inside = new QWidget(mode_->containerView());
    inside->setGeometry(10, 10, 50, 50);
    inside->show();
    window_->window()->activateWindow();
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == window_->window(); }, 3000));
    inside->setFocus();

    QTest::mousePress(inside, Qt::BackButton);
    EXPECT_EQ(selected(), "Holiday");
    QTest::mousePress(inside, Qt::ForwardButton);
    EXPECT_EQ(selected(), "Family");
    QTest::keyClick(inside, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(selected(), "Holiday");
    QTest::keyClick(inside, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(selected(), "Family");
    // Outside the mode's views the buttons do nothing.
    QWidget outside;
    outside.show();
    QTest::mousePress(&outside, Qt::BackButton);
    EXPECT_EQ(selected(), "Family");
}

TEST_F(BrowseNavigationTest, TheStatusBarShowsTheModesSelection)
{
    auto* bar = dynamic_cast<WindowStatusBarPanel*>(mode_->statusPanel());
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->dataSourceDelegate(), mode_->browsingSelection());
    EXPECT_EQ(bar->text(), "0 folders selected");
    EXPECT_EQ(bar->parentWidget(), mode_->statusBarContainerView());

    // A listed folder on the root volume, one of its three pictures selected.
    Ref<FileSystemItemMO> root = database_->volumeItemForPath("/");
    ASSERT_TRUE(root);
    Ref<FileSystemItemMO> folder = database_->createChildOf(root.get(), "Summer", MediaDatabase::EntityFolder);
    folder->setValid(true);
    folder->setRefreshStatus(0);
    for (const char* name : {"IMG_1.JPG", "IMG_2.JPG", "IMG_3.JPG"})
        pictureItem(folder, name);
    mode_->browsingSelection()->setSelectedFolders({folder});
    mode_->browsingSelection()->setSelectedObjectsIndexes(IndexSet {1});
    EXPECT_TRUE(std::regex_match(bar->text(), std::regex("1 of 3 selected, [0-9.]+ [KMGT]B available"))) << bar->text();

    if (const char* folder = std::getenv("VISTEL_SCREENSHOT_DIR")) {
        // The strip as the items panel shows it, above the status band, while records run.
        struct Operation : Object { };
        Ref<Object> copy = makeRef<Operation>();
        QWidget* container = mode_->containerView();
        auto strip = FolderProgressStrip::create({[&](FolderProgressPanel* panel) {
                                                      panel->setParent(container);
                                                      panel->setGeometry(1, container->height() - 24 - 50,
                                                                         container->width() - 2, 50);
                                                      panel->show();
                                                  },
                                                  {}});
        auto record = [](int stage, std::uint64_t done) {
            return Value::dictionary({{kFSOperationStageKey, stage},
                                      {kFSOperationTotalBytesKey, Value(std::int64_t(6) << 30)},
                                      {kFSOperationBytesCompleteKey, Value(static_cast<std::int64_t>(done))},
                                      {kFSOperationCurrentObjectKey, "/home/someone/Pictures/2024 Summer holiday by the sea/IMG_4711.JPG"},
                                      {kFSOperationDestinationObjectKey, "/media/someone/FRAME/DCIM/IMG_4711.JPG"},
                                      {kFolderProgressKeyStopButtonText, "Stop"},
                                      {kFolderProgressKeyExplanationWithDestination, "Copying “%@” to “%@”"}});
        };
        NotificationCenter::defaultCenter().postNotificationName(kFSOperationStatusNotification, copy, record(1, 0));
        NotificationCenter::defaultCenter().postNotificationName(kFSOperationStatusNotification, copy,
                                                                 record(2, std::uint64_t(3) << 30));
        ASSERT_TRUE(strip->progressPanel());
        EXPECT_EQ(strip->progressPanel()->progressIndicator()->value(), FolderProgressPanel::ProgressScale / 2);
        spinEvents(300);
        const std::string path = std::string(folder) + "/browse-window.png";
        EXPECT_TRUE(window_->window()->grab().save(QString::fromStdString(path)));
        strip = nullptr;
    }
}

} // namespace
} // namespace vistel::test
