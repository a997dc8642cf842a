// The main window and the mode bases: modes made from factories, switching, action routing and
// validation through a test mode's handler, the frame, and the status band.

#include <gtest/gtest.h>

#include <QApplication>
#include <QToolBar>

#include "Application/BasicModeController.h"
#include "Application/BasicUIHandler.h"
#include "Application/MainWindow.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Window.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"
#include "ShellTestSupport.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

// Takes "rotateLeft:" (enabled) and "rename:" (disabled), records what it performs.
class TestHandler : public BasicUIHandler {
public:
    using BasicUIHandler::BasicUIHandler;
    bool respondsToUserActionSelector(const std::string& action) const override
    {
        return action == "rotateLeft:" || action == "rename:";
    }
    bool validateUserAction(const std::string& action, Object*, const Items*, const QMimeData*, QObject*) override
    {
        return action == "rotateLeft:";
    }
    bool processItems(const Items& items, Object* location, const std::string& action, const QMimeData*,
                      QObject* sender) override
    {
        performed.push_back(action);
        EXPECT_TRUE(items.empty());
        EXPECT_EQ(location, nullptr);
        EXPECT_EQ(sender, lastSender);
        return true;
    }
    std::vector<std::string> performed;
    QObject* lastSender = nullptr;
};

class TestMode : public BasicModeController {
public:
    TestMode(MainWindow* owner, std::string identifier)
        : BasicModeController(owner)
        , identifier_(std::move(identifier))
    {
        handler = makeRef<TestHandler>(this);
        setUIHandler(handler);
    }
    std::string controllerID() const override { return identifier_; }
    void initWindowLayout() override { ++laidOut; }
    void selectDefaultItem() override { ++defaultItemSelected; }

    Ref<TestHandler> handler;
    int laidOut = 0;
    int defaultItemSelected = 0;

private:
    std::string identifier_;
};

class BareMode : public BasicModeController {
public:
    using BasicModeController::BasicModeController;
};

// A main window with a browse and a view test mode.
struct Shell {
    Shell()
    {
        MainWindow::clearModeFactories();
        for (const char* identifier : {kBrowsingModeControllerID, kViewModeControllerID})
            MainWindow::registerModeFactory([identifier](MainWindow& owner) {
                auto mode = std::make_unique<TestMode>(&owner, identifier);
                mode->setUp();
                return mode;
            });
        controller = MainWindow::create();
        controller->showWindow();
    }
    ~Shell() { MainWindow::clearModeFactories(); }
    TestMode* browse() const { return static_cast<TestMode*>(controller->browsingModeController()); }
    TestMode* view() const { return static_cast<TestMode*>(controller->viewModeController()); }
    std::unique_ptr<MainWindow> controller;
};

} // namespace

TEST(ModeBasesTest, TheFirstModeIsCurrentAndSelectsItsDefaultItemSoonAfter)
{
    ASSERT_TRUE(privateFolders);
    Shell shell;
    ASSERT_NE(shell.browse(), nullptr);
    EXPECT_EQ(shell.controller->currentModeController(), shell.browse());
    EXPECT_EQ(shell.browse()->laidOut, 1);
    EXPECT_EQ(shell.controller->window()->contentView(), shell.browse()->containerView());
    EXPECT_EQ(shell.controller->window()->findChild<QToolBar*>(), shell.browse()->controllerToolBar());
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(2);
    while (shell.browse()->defaultItemSelected == 0 && RunLoop::Clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(shell.browse()->defaultItemSelected, 1);
}

TEST(ModeBasesTest, SwitchingModesKeepsTheOldContentAndUnknownIdentifiersChangeNothing)
{
    Shell shell;
    QPointer<QWidget> browseContent = shell.browse()->containerView();
    shell.controller->selectController(kViewModeControllerID);
    EXPECT_EQ(shell.controller->currentModeController(), shell.view());
    EXPECT_EQ(shell.controller->window()->contentView(), shell.view()->containerView());
    EXPECT_TRUE(browseContent); // taken out, not deleted

    ScopedLogCapture log;
    shell.controller->selectController("NoSuchMode");
    EXPECT_TRUE(log.contains("MainWindow::setCurrentModeController invalid argument"));
    EXPECT_EQ(shell.controller->currentModeController(), shell.view());

    // The mode selector's action carries the identifier on its sender.
    QObject selector;
    selector.setProperty("itemIdentifier", QString(kBrowsingModeControllerID));
    EXPECT_TRUE(Responder::sendAction("selectController:", shell.controller.get(), &selector, nullptr));
    EXPECT_EQ(shell.controller->currentModeController(), shell.browse());
    EXPECT_EQ(shell.controller->window()->contentView(), browseContent.data());
}

TEST(ModeBasesTest, ActionsTheWindowGetsGoToTheCurrentModesHandler)
{
    Shell shell;
    Window* window = shell.controller->window();
    QObject sender;
    shell.browse()->handler->lastSender = &sender;
    struct Case {
        const char* action;
        bool taken;
        bool enabled;
    };
    for (const Case& c : {Case {"rotateLeft:", true, true}, Case {"rename:", true, false},
                          Case {"noSuchAction:", false, false}, Case {"openDocument:", false, true},
                          Case {"selectController:", true, true}}) {
        ActionItem item(c.action, c.action);
        EXPECT_EQ(shell.controller->validateUserInterfaceItem(item), c.enabled) << c.action;
        if (std::string(c.action) != "selectController:" && std::string(c.action) != "openDocument:")
            EXPECT_EQ(Responder::sendAction(c.action, nullptr, &sender, window), c.taken) << c.action;
    }
    EXPECT_EQ(shell.browse()->handler->performed, (std::vector<std::string> {"rotateLeft:", "rename:"}));
    EXPECT_TRUE(shell.view()->handler->performed.empty());
}

TEST(ModeBasesTest, FrameScreenAndSelectedFolders)
{
    EXPECT_EQ(MainWindow::defaultFrame(QRect(0, 0, 1000, 800)), QRect(75, 60, 850, 680));
    EXPECT_EQ(MainWindow::defaultFrame(QRect(100, 30, 1000, 800)), QRect(175, 90, 850, 680));
    EXPECT_EQ(MainWindow::screenForNumber(std::int64_t(12345)), QGuiApplication::primaryScreen());
    EXPECT_EQ(MainWindow::screenForNumber(std::nullopt), QGuiApplication::primaryScreen());

    Shell shell;
    const std::vector<Ref<Object>> folders = {makeRef<Object>(), makeRef<Object>()};
    shell.controller->setBrowsingSelectedFolders(folders);
    const Ref<Object>* first = shell.controller->browsingSelectedFolders().data();
    shell.controller->setBrowsingSelectedFolders(std::vector<Ref<Object>>(folders));
    EXPECT_EQ(shell.controller->browsingSelectedFolders().data(), first);
    shell.controller->setBrowsingSelectedFolders({folders[1]});
    EXPECT_EQ(shell.controller->browsingSelectedFolders().size(), 1u);

    // Closing stores the screen's number and hides the window.
    Window* window = shell.controller->window();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Preferences::sharedPreferences().valueForKey("MainWindow.ScreenNumber"),
              Value(static_cast<long long>(window->screenNumber().value_or(0))));
}

TEST(ModeBasesTest, TheStatusBandStaysAtTheBottomAndAModeWithoutIdentifierRaises)
{
    Shell shell;
    TestMode* mode = shell.browse();
    auto* panel = new QWidget;
    mode->setStatusPanel(panel);
    mode->containerView()->resize(800, 600);
    EXPECT_EQ(mode->statusBarContainerView()->geometry(), QRect(0, 576, 800, 24));
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 700, 24));

    BareMode bare(shell.controller.get());
    EXPECT_THROW(bare.controllerToolBar(), Exception);
    EXPECT_EQ(bare.controllerUIName(), "<undefined>");
}
