// The main window's menu: every item's action is answered by a responder of that window, and
// items whose work is not there yet stay disabled.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "../ShellTestSupport.h"
#include "Application/Application.h"
#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/MainMenu.h"
#include "Application/MainWindow.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/Window.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

TEST(MainMenuTest, EveryItemOfTheMainWindowIsAnsweredByOneOfItsResponders)
{
    ASSERT_TRUE(privateFolders);
    RecordedTermination terminated;
    MainWindow::clearModeFactories();
    BrowsingModeController::registerMode();
    Application application;
    application.applicationDidFinishLaunching();
    MainWindow* main = application.mainWindow();
    ASSERT_TRUE(main);
    auto* mode = dynamic_cast<BrowsingModeController*>(main->browsingModeController());
    ASSERT_TRUE(mode);
    ASSERT_TRUE(mode->browserPanel());
    Window* window = main->window();

    // With an update server the Help menu lists its items too.
    const char* const saved = std::getenv("VISTEL_SERVER_URL");
    const std::string before = saved ? saved : "";
    ::setenv("VISTEL_SERVER_URL", "https://updates.example.org", 1);
    MainMenu::install(window->menuBar(), MainMenu::WindowKind::Main);
    validateWindowItems(window);

    // The mode (with its handler's table), the sidebar, the window with its controller, the
    // application.
    const std::vector<Responder*> responders {mode, mode->browserPanel(), window, main, &application};
    // No worker yet: known, and disabled.
    const std::set<std::string> waiting {"zoomIn:", "zoomOut:", "bestFit:"};
    const std::set<std::string> unanswered {"undo:", "redo:", "cut:"};
    std::set<std::string> seen;
    for (QAction* top : window->menuBar()->actions()) {
        ASSERT_TRUE(top->menu());
        for (QAction* action : top->menu()->actions()) {
            if (action->isSeparator())
                continue;
            auto* item = dynamic_cast<ActionItem*>(action);
            ASSERT_TRUE(item) << action->text().toStdString();
            const std::string selector = item->action();
            seen.insert(selector);
            SCOPED_TRACE(top->text().toStdString() + " > " + action->text().toStdString() + " (" + selector + ")");
            const bool known = std::any_of(responders.begin(), responders.end(),
                                           [&](Responder* responder) { return responder->respondsToAction(selector); });
            if (unanswered.count(selector)) {
                EXPECT_FALSE(known);
                EXPECT_FALSE(item->isEnabled());
                continue;
            }
            EXPECT_TRUE(known);
            if (waiting.count(selector)) {
                EXPECT_FALSE(item->isEnabled());
            }
        }
    }
    // The shown window's tool bar can be hidden and customised from the View menu.
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    validateWindowItems(window);
    for (QAction* top : window->menuBar()->actions())
        for (QAction* action : top->menu()->actions())
            if (auto* item = dynamic_cast<ActionItem*>(action);
                item && (item->action() == "toggleToolbarShown:" || item->action() == "runToolbarCustomizationPalette:"))
                EXPECT_TRUE(item->isEnabled()) << item->action();

    // The walk went through the renamed rows and the server's items.
    for (const char* selector : {"onCreateFolderAction:", "asList:", "backward:", "enclosingFolder:", "goFullScreen:",
                                 "showReleaseNotes:", "showBrowser:"})
        EXPECT_TRUE(seen.count(selector)) << selector;

    if (saved)
        ::setenv("VISTEL_SERVER_URL", before.c_str(), 1);
    else
        ::unsetenv("VISTEL_SERVER_URL");
    application.terminate();
    MainWindow::clearModeFactories();
    // The sidebar's listings run on the catalogue's threads: they end with the test.
    Application::mediaDatabase()->stopAll();
}

} // namespace
} // namespace vistel::test
