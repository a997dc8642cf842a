// The right tabbed panel on its own (two tabs, "Organize" and a second one) and in the browse
// mode of a real main window: which tabs show, which one is selected, the caption, what is
// remembered under "DynamicTabbedPanel" after every step, the menu items' titles and check
// marks, and the right dock following the panel; the "Properties" tab shown and hidden through
// View ▸ Properties Panel and remembered across a restart.

#include <gtest/gtest.h>

#include <functional>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QMenuBar>
#include <QTabBar>

#include "../ShellTestSupport.h"
#include "BrowseTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/DynamicTabbedPanel.h"
#include "Application/MainMenu.h"
#include "Application/MainWindow.h"
#include "Common/Layout/ZovSizePolicy.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/Window.h"
#include "Platform/UserDefaults.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

// What the user defaults hold for the panel: the names, or "-" when nothing is stored.
std::string saved()
{
    const Value value = UserDefaults::standard().objectForKey(DynamicTabbedPanel::PreferencesKey);
    if (!value.isArray())
        return "-";
    std::string text;
    for (const Value& name : value.asArray())
        text += (text.empty() ? "" : ",") + name.asString();
    return text;
}

void setSaved(std::initializer_list<const char*> names)
{
    Value::ArrayType array;
    for (const char* name : names)
        array.emplace_back(name);
    UserDefaults::standard().setObject(Value(std::move(array)), DynamicTabbedPanel::PreferencesKey);
}

class TabbedPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        frame_ = ZovMainWindow::create();
        host_.reset(frame_->parentView());
        host_->resize(800, 600);
        host_->show();
        panel_ = DynamicTabbedPanel::create(*frame_);
        organize_ = new QWidget;
        second_ = new QWidget;
        panel_->addTab("Organize", organize_, "showHideOrganizePanel:", "Organize Panel", 0);
        panel_->addTab("Second", second_, "showHideSecondPanel:", "Second Panel", 1);
    }
    void TearDown() override { UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey); }

    // The visible tabs, the selected one in brackets.
    std::string shown() const
    {
        std::string text;
        for (std::size_t i = 0; i < panel_->visibleTabs().size(); ++i) {
            const std::string& name = panel_->visibleTabs()[i].name;
            text += (text.empty() ? "" : ",") + (static_cast<int>(i) == panel_->selectedSegment() ? "[" + name + "]" : name);
        }
        return text;
    }
    // The caption bar: the dock's caption, or the segments' labels when the control shows.
    std::string caption() const
    {
        if (panel_->segmentedControl()->isHidden())
            return "caption " + panel_->dock()->caption();
        std::string text = "segments";
        for (QAbstractButton* button : panel_->segments()->buttons())
            text += " " + button->text().toStdString();
        return text + (panel_->dock()->caption().empty() ? "" : " and caption " + panel_->dock()->caption());
    }

    ZovMainWindow* frame_ = nullptr;
    std::unique_ptr<QWidget> host_;
    DynamicTabbedPanel* panel_ = nullptr;
    QWidget* organize_ = nullptr;
    QWidget* second_ = nullptr;
};

TEST_F(TabbedPanelTest, ASavedListNamingNoTabShowsAllTabs)
{
    for (auto names : {std::initializer_list<const char*> {"Gone", "Away"}, std::initializer_list<const char*> {}}) {
        setSaved(names);
        DynamicTabbedPanel* panel = DynamicTabbedPanel::create(*frame_);
        panel->addTab("Organize", new QWidget, "showHideOrganizePanel:", "Organize Panel", 0);
        panel->addTab("Second", new QWidget, "showHideSecondPanel:", "Second Panel", 1);
        panel->setAutosaveTabs(true);
        ASSERT_EQ(panel->visibleTabs().size(), 2u);
        EXPECT_EQ(panel->selectedSegment(), 0);
        EXPECT_FALSE(panel->isPanelHidden());
        EXPECT_EQ(saved(), "Organize,Second");
    }
    // Nothing saved yet: all tabs as well.
    UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
    panel_->setAutosaveTabs(true);
    EXPECT_EQ(shown(), "[Organize],Second");
    EXPECT_EQ(saved(), "Organize,Second");
}

TEST_F(TabbedPanelTest, ShowingAndHidingTabsStepByStep)
{
    setSaved({"Organize"});
    panel_->setAutosaveTabs(true);
    EXPECT_EQ(shown(), "[Organize]");
    EXPECT_EQ(caption(), "caption Organize");
    EXPECT_EQ(saved(), "Organize");
    EXPECT_TRUE(organize_->isVisibleTo(panel_));

    struct Step {
        const char* what;
        std::function<void()> act;
        const char* shown;
        const char* caption;
        const char* saved;
    } steps[] = {
        // Showing a tab selects it.
        {"show Second", [&] { panel_->showHideTabBySelector("showHideSecondPanel:"); }, "Organize,[Second]",
         "segments Organize Second", "Organize,Second"},
        {"click Organize", [&] { panel_->segments()->button(0)->click(); }, "[Organize],Second", "segments Organize Second",
         "Organize,Second"},
        // Hiding the selected tab selects its neighbour at the same place.
        {"hide Organize", [&] { panel_->showHideTabBySelector("showHideOrganizePanel:"); }, "[Second]", "caption Second",
         "Second"},
        // A shown tab goes to its own place among the visible ones.
        {"show Organize", [&] { panel_->showHideTabBySelector("showHideOrganizePanel:"); }, "[Organize],Second",
         "segments Organize Second", "Organize,Second"},
        // Hiding a tab that is not selected keeps the shown tab shown.
        {"click Second", [&] { panel_->segments()->button(1)->click(); }, "Organize,[Second]", "segments Organize Second",
         "Organize,Second"},
        {"hide Organize again", [&] { panel_->showHideTabBySelector("showHideOrganizePanel:"); }, "[Second]",
         "caption Second", "Second"},
        {"show Organize again", [&] { panel_->showHideTabBySelector("showHideOrganizePanel:"); }, "[Organize],Second",
         "segments Organize Second", "Organize,Second"},
        {"click Second again", [&] { panel_->segments()->button(1)->click(); }, "Organize,[Second]",
         "segments Organize Second", "Organize,Second"},
        // The last tab hidden while selected: the one before it.
        {"hide Second", [&] { panel_->showHideTabBySelector("showHideSecondPanel:"); }, "[Organize]", "caption Organize",
         "Organize"},
        // Hiding the last visible tab hides the panel and saves nothing.
        {"hide the last", [&] { panel_->showHideTabBySelector("showHideOrganizePanel:"); }, "", "caption ", "Organize"},
        {"show Second from none", [&] { panel_->showHideTabBySelector("showHideSecondPanel:"); }, "[Second]",
         "caption Second", "Second"},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(shown(), step.shown) << step.what;
        EXPECT_EQ(caption(), step.caption) << step.what;
        EXPECT_EQ(saved(), step.saved) << step.what;
        EXPECT_EQ(panel_->isPanelHidden(), std::string(step.shown).empty()) << step.what;
        EXPECT_EQ(panel_->dock()->dockItemLayout()->isVisible(), !panel_->isPanelHidden()) << step.what;
        // The selected tab's view is the one shown in the panel.
        const int selected = panel_->selectedSegment();
        for (const DynamicTabbedPanel::Tab& tab : panel_->allTabs()) {
            const bool current = selected >= 0 && panel_->visibleTabs()[static_cast<std::size_t>(selected)].view == tab.view;
            EXPECT_EQ(tab.view->isVisibleTo(panel_), current) << step.what << " " << tab.name;
        }
    }
    EXPECT_FALSE(panel_->showHideTabBySelector("showHideNothing:"));
    // A tab taken out of the visible ones is no longer visible; it stays among all tabs.
    panel_->removeTabBySelector("showHideSecondPanel:");
    EXPECT_TRUE(panel_->visibleTabs().empty());
    EXPECT_EQ(panel_->tabIndexBySelector("showHideSecondPanel:"), 1);
}

TEST_F(TabbedPanelTest, TheSegmentsSitCentredAtTheTopOfTheCaptionBar)
{
    setSaved({"Organize", "Second"});
    panel_->setAutosaveTabs(true);
    panel_->dock()->dockItemLayout()->contentItem()->setHSizePolicy(MakePreferredSizePolicy(280, 80, -1));
    frame_->dockAreaForPosition(ZovDockAreaPositionRight)->splitBy(ZovLayoutOrientationVertical, *panel_->dock(), true);
    QWidget* bar = panel_->dock()->captionView();
    QWidget* control = panel_->segmentedControl();
    ASSERT_GT(bar->width(), control->width());
    EXPECT_EQ(bar->height(), 22);
    EXPECT_EQ(control->y(), 2);
    EXPECT_LE(std::abs(control->x() - (bar->width() - control->width()) / 2), 1);
    // The bar widens: the control follows.
    host_->resize(1200, 600);
    frame_->relayout();
    EXPECT_LE(std::abs(control->x() - (bar->width() - control->width()) / 2), 1);
}

TEST_F(TabbedPanelTest, MenuItemsReadTheTabsTitleWithACheckMarkWhileVisible)
{
    setSaved({"Organize"});
    panel_->setAutosaveTabs(true);
    ActionItem organize("Organize", "showHideOrganizePanel:");
    ActionItem second("Second", "showHideSecondPanel:");
    ActionItem other("Copy", "copy:");
    EXPECT_TRUE(panel_->validateUserInterfaceItem(organize));
    EXPECT_TRUE(panel_->validateUserInterfaceItem(second));
    EXPECT_FALSE(panel_->validateUserInterfaceItem(other));
    EXPECT_EQ(organize.text().toStdString(), "Organize Panel");
    EXPECT_EQ(second.text().toStdString(), "Second Panel");
    EXPECT_TRUE(organize.isChecked());
    EXPECT_FALSE(second.isChecked());
    EXPECT_FALSE(other.isCheckable());

    EXPECT_TRUE(panel_->respondsToAction("showHideSecondPanel:"));
    EXPECT_FALSE(panel_->respondsToAction("copy:"));
    EXPECT_TRUE(panel_->performAction("showHideSecondPanel:"));
    panel_->validateUserInterfaceItem(second);
    EXPECT_TRUE(second.isChecked());
}

// The browse mode in a real main window: the "Organize" and "Properties" tabs, docked on the right.
class RightTabbedPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
        ASSERT_TRUE(mode_->rightTabbedPanel());
        MainMenu::install(window_->window()->menuBar(), MainMenu::WindowKind::Main);
    }
    void TearDown() override
    {
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
    }
    ActionItem* menuItem(const char* action) const
    {
        for (QAction* entry : window_->window()->menuBar()->findChildren<QAction*>())
            if (auto* item = dynamic_cast<ActionItem*>(entry); item && item->action() == action)
                return item;
        return nullptr;
    }
    bool dockedOnTheRight() const
    {
        ZovDock* dock = mode_->rightTabbedPanel()->dock();
        return dock->state() == ZovDockStateDocked
               && dock->dockArea()->topLevelArea() == mode_->layoutController()->dockAreaForPosition(ZovDockAreaPositionRight);
    }
    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
};

TEST_F(RightTabbedPanelTest, TheOrganizeTabIsDockedOnTheRightAndItsMenuItemShowsAndHidesIt)
{
    DynamicTabbedPanel* panel = mode_->rightTabbedPanel();
    ASSERT_EQ(panel->allTabs().size(), 2u);
    EXPECT_EQ(panel->allTabs()[0].name, "Organize");
    EXPECT_EQ(panel->allTabs()[0].view, static_cast<QWidget*>(mode_->organizePanel()));
    EXPECT_EQ(panel->allTabs()[1].name, "Properties");
    EXPECT_EQ(panel->allTabs()[1].view, static_cast<QWidget*>(mode_->metadataPanel()));
    EXPECT_EQ(panel->allTabs()[1].menu, "Properties Panel");
    // The panel was handed the window's selection.
    EXPECT_EQ(mode_->metadataPanel()->selection(), static_cast<IBrowsingGetSelection*>(mode_->browsingSelection()));
    // First start: every tab is shown, and so is the panel, on the right.
    EXPECT_EQ(saved(), "Organize,Properties");
    EXPECT_TRUE(dockedOnTheRight());

    ActionItem* item = menuItem("showHideOrganizePanel:");
    ASSERT_TRUE(item);
    item->validate(window_->window());
    EXPECT_TRUE(item->isEnabled());
    EXPECT_EQ(item->text().toStdString(), "Organize Panel");
    EXPECT_TRUE(item->isChecked());

    // Hiding Organize leaves Properties alone in the panel, named in the caption.
    item->trigger();
    EXPECT_FALSE(panel->isPanelHidden());
    EXPECT_EQ(panel->dock()->caption(), "Properties");
    EXPECT_EQ(saved(), "Properties");
    item->validate(window_->window());
    EXPECT_TRUE(item->isEnabled());
    EXPECT_FALSE(item->isChecked());

    // Showing it again keeps the panel docked on the right with its preferred sizes.
    item->trigger();
    EXPECT_FALSE(panel->isPanelHidden());
    EXPECT_TRUE(dockedOnTheRight());
    EXPECT_EQ(panel->dock()->dockItemLayout()->contentItem()->ownHSizePolicy().preferredSize, 280);
    EXPECT_EQ(panel->dock()->dockItemLayout()->contentItem()->ownVSizePolicy().preferredSize, 560);
    EXPECT_GE(panel->width(), 80);
    EXPECT_TRUE(mode_->organizePanel()->isVisible());
    item->validate(window_->window());
    EXPECT_TRUE(item->isChecked());
}

TEST_F(RightTabbedPanelTest, ThePropertiesPanelMenuItemShowsAndHidesTheTabAndTheDock)
{
    DynamicTabbedPanel* panel = mode_->rightTabbedPanel();
    ActionItem* organize = menuItem("showHideOrganizePanel:");
    ActionItem* properties = menuItem("showHidePropertiesPanel:");
    ASSERT_TRUE(organize && properties);
    organize->trigger(); // Properties alone
    ASSERT_EQ(saved(), "Properties");

    properties->validate(window_->window());
    EXPECT_TRUE(properties->isEnabled());
    EXPECT_EQ(properties->text().toStdString(), "Properties Panel");
    EXPECT_TRUE(properties->isChecked());
    EXPECT_TRUE(mode_->metadataPanel()->isVisible());

    // Hiding the last tab takes the dock out.
    properties->trigger();
    EXPECT_TRUE(panel->isPanelHidden());
    EXPECT_EQ(panel->dock()->state(), ZovDockStateNotPlaced);
    EXPECT_FALSE(mode_->metadataPanel()->isVisible());
    properties->validate(window_->window());
    EXPECT_TRUE(properties->isEnabled());
    EXPECT_FALSE(properties->isChecked());

    // And back.
    properties->trigger();
    EXPECT_TRUE(dockedOnTheRight());
    EXPECT_TRUE(mode_->metadataPanel()->isVisible());
    EXPECT_EQ(panel->dock()->caption(), "Properties");
    properties->validate(window_->window());
    EXPECT_TRUE(properties->isChecked());
}

TEST_F(RightTabbedPanelTest, TheShownTabsAreKeptAcrossARestart)
{
    struct Case {
        const char* name;
        std::function<void()> before; // what the user does in the first run
        std::string visible;           // the tabs the next run shows
    };
    const Case cases[] = {
        {"Properties hidden", [&] { menuItem("showHidePropertiesPanel:")->trigger(); }, "Organize"},
        {"Organize hidden", [&] { menuItem("showHideOrganizePanel:")->trigger(); }, "Properties"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        closeBrowseWindow(window_);
        UserDefaults::standard().removeObjectForKey(DynamicTabbedPanel::PreferencesKey);
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
        MainMenu::install(window_->window()->menuBar(), MainMenu::WindowKind::Main);
        c.before();

        closeBrowseWindow(window_);
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
        MainMenu::install(window_->window()->menuBar(), MainMenu::WindowKind::Main);
        std::string shown;
        for (const auto& tab : mode_->rightTabbedPanel()->visibleTabs())
            shown += (shown.empty() ? "" : ",") + tab.name;
        EXPECT_EQ(shown, c.visible);
        ActionItem* properties = menuItem("showHidePropertiesPanel:");
        properties->validate(window_->window());
        EXPECT_EQ(properties->isChecked(), c.visible.find("Properties") != std::string::npos);
    }
}

TEST_F(RightTabbedPanelTest, AListSavedBeforeThePropertiesTabKeepsItHiddenUntilChosen)
{
    closeBrowseWindow(window_);
    setSaved({"Organize"});
    mode_ = openBrowseWindow(window_);
    ASSERT_TRUE(mode_);
    MainMenu::install(window_->window()->menuBar(), MainMenu::WindowKind::Main);
    DynamicTabbedPanel* panel = mode_->rightTabbedPanel();
    ASSERT_EQ(panel->visibleTabs().size(), 1u);
    EXPECT_EQ(panel->visibleTabs()[0].name, "Organize");
    EXPECT_FALSE(mode_->metadataPanel()->isVisible());

    ActionItem* properties = menuItem("showHidePropertiesPanel:");
    properties->validate(window_->window());
    EXPECT_TRUE(properties->isEnabled());
    EXPECT_FALSE(properties->isChecked());
    properties->trigger();
    EXPECT_EQ(saved(), "Organize,Properties");
    EXPECT_EQ(panel->visibleTabs().size(), 2u);
}

} // namespace
} // namespace vistel::test
