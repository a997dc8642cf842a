#include "Application/BasicModeController.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include "Application/BrowseMode/WindowStatusBarPanel.h"
#include "Application/MainWindow.h"
#include <QTabBar>

#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/ZovMainWindow.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Exception.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Window.h"

namespace vistel {

namespace {

// Keeps the status band at the bottom of the host, as wide as the host, and the panel in it
// 100 pixels short of the band's width.
class StatusBandFollower : public QObject {
public:
    StatusBandFollower(QWidget* host, BasicModeController* mode)
        : QObject(host)
        , mode_(mode)
    {
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            mode_->layoutStatusBand();
        return false;
    }

private:
    BasicModeController* mode_;
};

} // namespace

BasicModeController::BasicModeController(MainWindow* mainWindowController)
    : mainWindowController_(mainWindowController)
{
    layoutController_ = ZovMainWindow::create();
    container_ = layoutController_->parentView();
    if (ZovLayout* layout = ZovViewLayout::findLayoutForView(container_))
        layout->setMargins(1.0f);

    const QRect band = statusBarContainerSize();
    statusBarContainerView_ = new QWidget(container_);
    statusBarContainerView_->setGeometry(band);
    statusBarContainerView_->show();
    container_->installEventFilter(new StatusBandFollower(container_, this));
    setStatusPanel(WindowStatusBarPanel::statusBar());
}

void BasicModeController::layoutStatusBand()
{
    if (!statusBarContainerView_)
        return;
    statusBarContainerView_->setGeometry(statusBarContainerSize());
    statusBarContainerView_->raise();
    if (statusPanel_)
        statusPanel_->setGeometry(0, 0, std::max(0, statusBarContainerView_->width() - 100),
                                  statusBarContainerView_->height());
}

BasicModeController::~BasicModeController()
{
    if (toolbar_ && !toolbar_->parent())
        delete toolbar_.data();
    if (container_ && !container_->parent())
        delete container_.data(); // not in a window: the frame goes with its host
}

void BasicModeController::setUp()
{
    initWindowLayout();
    Window* window = parentWindow();
    ZovLayout* layout = ZovViewLayout::findLayoutForView(container_);
    if (!window || !layout)
        return;
    LayoutSize minimum, maximum, preferred;
    layout->calculateSizes(&minimum, &maximum, &preferred);
    window->setContentMinSize(QSizeF(minimum.width, minimum.height));
    window->setContentMaxSize(QSizeF(maximum.width, maximum.height));
    window->setContentSize(QSizeF(preferred.width, preferred.height));
}

std::string BasicModeController::controllerID() const
{
    throw Exception("controllerID", "Please ovverride this method");
}

Window* BasicModeController::parentWindow() const
{
    return mainWindowController_ ? mainWindowController_->window() : nullptr;
}

QWidget* BasicModeController::containerView() const { return container_; }

QRect BasicModeController::statusBarContainerSize() const
{
    const QRect frame = container_ ? container_->rect() : QRect();
    return QRect(frame.x(), frame.height() - StatusBarHeight, frame.width(), StatusBarHeight);
}

void BasicModeController::setStatusPanel(QWidget* panel)
{
    if (statusPanel_ && statusPanel_ != panel)
        delete statusPanel_.data();
    statusPanel_ = panel;
    if (!panel || !statusBarContainerView_)
        return;
    panel->setParent(statusBarContainerView_);
    panel->show();
    layoutStatusBand();
}

void BasicModeController::setActive(bool active)
{
    Window* window = parentWindow();
    if (!active || !window)
        return;
    if (window->centralWidget() != container_) {
        if (QWidget* previous = window->takeCentralWidget())
            previous->hide();
        window->setContentView(container_);
        container_->show();
    }
    WindowToolbar* toolbar = controllerToolBar();
    for (QToolBar* other : window->findChildren<QToolBar*>(Qt::FindDirectChildrenOnly))
        if (other != toolbar) {
            window->removeToolBar(other);
            other->setParent(nullptr);
        }
    if (toolbar->parent() != window) {
        window->addToolBar(toolbar);
        toolbar->setVisible(toolbar->isShown());
    }
}

WindowToolbar* BasicModeController::controllerToolBar()
{
    if (!toolbar_) {
        toolbar_ = new WindowToolbar(controllerID());
        toolbar_->setDisplayMode(2);
        toolbar_->setSizeMode(2);
        toolbar_->setAllowsUserCustomization(true);
        toolbar_->setAutosavesConfiguration(true);
        toolbar_->setDelegate(this);
    }
    return toolbar_;
}

std::optional<std::vector<std::string>> BasicModeController::toolbarAllowedItemIdentifiers(WindowToolbar& toolbar)
{
    if (toolbar.identifier() != controllerID())
        return std::nullopt;
    return std::vector<std::string> {};
}

std::optional<std::vector<std::string>> BasicModeController::toolbarDefaultItemIdentifiers(WindowToolbar& toolbar)
{
    // The base's own list: a subclass's allowed list is not its default.
    return BasicModeController::toolbarAllowedItemIdentifiers(toolbar);
}

QAction* BasicModeController::toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier, bool)
{
    if (toolbar.identifier() != controllerID())
        return nullptr;
    QPointer<QAction>& item = toolbarItemForIdentifier[identifier];
    if (!item)
        item = makeToolbarItem(identifier);
    return item;
}

QAction* BasicModeController::makeToolbarItem(const std::string&) { return nullptr; }

bool BasicModeController::respondsToAction(const std::string& action) const
{
    return Responder::respondsToAction(action) || (uiHandler_ && uiHandler_->respondsToUserActionSelector(action));
}

bool BasicModeController::performAction(const std::string& action, QObject* sender)
{
    if (Responder::performAction(action, sender))
        return true;
    if (!uiHandler_ || !uiHandler_->respondsToUserActionSelector(action))
        return false;
    uiHandler_->processItems({}, nullptr, action, QGuiApplication::clipboard()->mimeData(), sender);
    return true;
}

bool BasicModeController::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    if (Responder::respondsToAction(item.action()))
        return Responder::validateUserInterfaceItem(item);
    return uiHandler_ && uiHandler_->validateUserAction(item.action(), nullptr, nullptr,
                                                        QGuiApplication::clipboard()->mimeData(), nullptr);
}

void BasicModeController::keyDown(QObject* event)
{
    if (uiHandler_)
        uiHandler_->keyDown(event);
}

BasicModeController* BasicModeController::browsingModeController() const
{
    return mainWindowController_ ? mainWindowController_->browsingModeController() : nullptr;
}

BasicModeController* BasicModeController::viewModeController() const
{
    return mainWindowController_ ? mainWindowController_->viewModeController() : nullptr;
}

} // namespace vistel
