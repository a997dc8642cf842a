#include "Application/MainWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>

#include "Application/BasicModeController.h"
#include <QTabBar>

#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/ZovMainWindow.h"
#include "Platform/Exception.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/WindowFrameAutosave.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Preferences/Preferences.h"

namespace vistel {

namespace {

std::vector<MainWindow::ModeFactory>& modeFactories()
{
    static std::vector<MainWindow::ModeFactory> factories;
    return factories;
}

} // namespace

void MainWindow::registerModeFactory(ModeFactory factory) { modeFactories().push_back(std::move(factory)); }
void MainWindow::clearModeFactories() { modeFactories().clear(); }

QScreen* MainWindow::screenForNumber(std::optional<std::int64_t> number)
{
    if (number && *number >= 0 && *number <= 0xffffffffLL)
        if (QScreen* screen = Window::screenWithNumber(static_cast<std::uint32_t>(*number)))
            return screen;
    return QGuiApplication::primaryScreen();
}

QRect MainWindow::defaultFrame(const QRect& visible, double fraction)
{
    const int width = static_cast<int>(visible.width() * fraction);
    const int height = static_cast<int>(visible.height() * fraction);
    return QRect(visible.x() + (visible.width() - width) / 2, visible.y() + (visible.height() - height) / 2, width,
                 height);
}

std::unique_ptr<MainWindow> MainWindow::create(const std::string& lastOpenFilePath)
{
    const Value stored = Preferences::sharedPreferences().valueForKey(prefs::MainWindowScreenNumber);
    QScreen* screen = screenForNumber(stored.isNumber() ? std::optional<std::int64_t>(stored.toInt64()) : std::nullopt);
    auto* window = new Window;
    if (screen)
        window->setScreen(screen);
    window->setWindowTitle(QGuiApplication::applicationDisplayName());
    std::unique_ptr<MainWindow> controller(new MainWindow(window));
    controller->setUp(lastOpenFilePath);
    return controller;
}

MainWindow::MainWindow(Window* window)
    : window_(window)
{
    window_->setWindowController(this);
}

void MainWindow::setUp(const std::string& lastOpenFilePath)
{
    frame_ = ZovMainWindow::create();
    window_->setContentView(frame_->parentView());

    for (const ModeFactory& factory : modeFactories()) {
        std::unique_ptr<BasicModeController> mode = factory(*this);
        if (!mode)
            continue;
        BasicModeController* made = mode.get();
        addController(std::move(mode));
        if (!current_)
            setCurrentModeController(made);
    }

    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification&) { windowWillClose(); }, NSWindowWillCloseNotification,
        View::viewObject(window_));

    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (screen)
        window_->setGeometry(defaultFrame(screen->availableGeometry()));
    WindowFrameAutosave::setFrameAutosaveName(window_, FrameAutosaveName);

    if (!lastOpenFilePath.empty()) {
        showFileAtPath(lastOpenFilePath);
    } else if (BasicModeController* browse = browsingModeController()) {
        defaultItemTimer_ = RunLoop::main()->scheduleTimer(0.1, false, [browse](RunLoop::Timer&) {
            browse->selectDefaultItem();
        });
    }
}

MainWindow::~MainWindow()
{
    if (defaultItemTimer_)
        defaultItemTimer_->invalidate();
    NotificationCenter::defaultCenter().removeObserver(this, {}, nullptr);
    storeScreenNumber();
    window_->setWindowController(nullptr);
    // The modes' containers are the window's children or hosts of their own.
    current_ = nullptr;
    if (QWidget* content = window_->takeCentralWidget())
        content->hide();
    controllers_.clear();
    delete window_;
}

void MainWindow::showWindow()
{
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void MainWindow::addController(std::unique_ptr<BasicModeController> controller)
{
    if (!controller)
        return;
    std::string identifier = controller->controllerID();
    controllers_[identifier] = std::move(controller);
}

void MainWindow::setCurrentModeController(BasicModeController* controller)
{
    if (!controller) {
        ZovLog("MainWindow::setCurrentModeController invalid argument");
        return;
    }
    if (controller == current_)
        return;
    if (current_)
        current_->setActive(false);
    current_ = controller;
    window_->setNextResponder(nullptr);
    current_->setActive(true);
}

void MainWindow::selectController(const std::string& identifier)
{
    BasicModeController* selected = nullptr;
    if (identifier == kViewModeControllerID)
        selected = viewModeController();
    else if (identifier == kBrowsingModeControllerID)
        selected = browsingModeController();
    if (selected != current_)
        setCurrentModeController(selected);
}

BasicModeController* MainWindow::browsingModeController() const
{
    auto it = controllers_.find(kBrowsingModeControllerID);
    return it == controllers_.end() ? nullptr : it->second.get();
}

BasicModeController* MainWindow::viewModeController() const
{
    auto it = controllers_.find(kViewModeControllerID);
    return it == controllers_.end() ? nullptr : it->second.get();
}

void MainWindow::showFileAtPath(const std::string& path)
{
    ZovLog("showFileAtPath " + path);
    if (BasicModeController* view = viewModeController())
        view->showFileAtPath(path);
}

void MainWindow::setBrowsingSelectedFolders(const std::vector<Ref<Object>>& folders)
{
    if (folders.size() == browsingSelectedFolders_.size() &&
        std::equal(folders.begin(), folders.end(), browsingSelectedFolders_.begin(),
                   [](const Ref<Object>& a, const Ref<Object>& b) { return a.get() == b.get(); }))
        return;
    browsingSelectedFolders_ = folders;
}

bool MainWindow::respondsToAction(const std::string& action) const
{
    if (action == "selectController:" || Responder::respondsToAction(action))
        return true;
    return current_ && current_->respondsToAction(action);
}

bool MainWindow::performAction(const std::string& action, QObject* sender)
{
    if (action == "selectController:") {
        const QVariant identifier = sender ? sender->property("itemIdentifier") : QVariant();
        selectController(identifier.isValid() ? identifier.toString().toStdString() : std::string());
        return true;
    }
    if (Responder::performAction(action, sender))
        return true;
    return current_ && current_->performAction(action, sender);
}

bool MainWindow::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    const std::string action = item.action();
    if (action == "selectController:" || action == "openDocument:")
        return true;
    if (Responder::respondsToAction(action))
        return Responder::validateUserInterfaceItem(item);
    return current_ && current_->validateUserInterfaceItem(item);
}

void MainWindow::storeScreenNumber()
{
    if (std::optional<std::uint32_t> number = window_->screenNumber())
        Preferences::sharedPreferences().setValue(Value(static_cast<long long>(*number)), prefs::MainWindowScreenNumber);
}

void MainWindow::windowWillClose()
{
    storeScreenNumber();
    for (auto& [identifier, mode] : controllers_)
        mode->windowWillClose();
}

} // namespace vistel
