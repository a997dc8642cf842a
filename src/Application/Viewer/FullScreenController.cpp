#include "Application/Viewer/FullScreenController.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>

#include "Application/MainMenu.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Platform/Log.h"

namespace vistel {

// --- the window ---------------------------------------------------------------------------------

FullScreenWindow::FullScreenWindow(FullScreenController& controller)
    : Window(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , controller_(controller)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowController(&controller);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    // The main menu's entries, as the window's own actions: their shortcuts work while the
    // window is in front, its (hidden) menu bar never shows.
    MainMenu::install(menuBar(), MainMenu::WindowKind::Main);
    menuBar()->hide();
    for (QAction* top : menuBar()->actions())
        if (QMenu* menu = top->menu())
            addActions(menu->actions());
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event)
{
    if (!controller_.keyDown(*event))
        Window::keyPressEvent(event);
}

void FullScreenWindow::keyReleaseEvent(QKeyEvent* event)
{
    if (!controller_.keyUp(*event))
        Window::keyReleaseEvent(event);
}

void FullScreenWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    controller_.mouseUp(2);
    event->accept();
}

// --- the controller -----------------------------------------------------------------------------

FullScreenController::KeyAction FullScreenController::actionForKey(int key)
{
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_Right:
    case Qt::Key_PageDown:
        return KeyAction::Next;
    case Qt::Key_Left:
    case Qt::Key_PageUp:
        return KeyAction::Previous;
    case Qt::Key_Home:
        return KeyAction::First;
    case Qt::Key_End:
        return KeyAction::Last;
    default:
        return KeyAction::None;
    }
}

FullScreenController::FullScreenController(FullScreenModeDataSource& owner)
    : owner_(owner)
    , window_(std::make_unique<FullScreenWindow>(*this))
{
    view_ = new FullScreenImageView(owner.browsingCachedPicturesViewController());
    window_->setContentView(view_);
    setActionHandler("rotateLeft:", [this](QObject*) {
        if (CachedPicturesViewController* list = cachedPicturesViewController())
            list->rotateImageLeft(currentImageInformation());
    });
    setActionHandler("rotateRight:", [this](QObject*) {
        if (CachedPicturesViewController* list = cachedPicturesViewController())
            list->rotateImageRight(currentImageInformation());
    });
    setActionHandler("zoomIn:", [this](QObject*) { view_->zoomIn(); });
    setActionHandler("zoomOut:", [this](QObject*) { view_->zoomOut(); });
}

FullScreenController::~FullScreenController()
{
    // The view goes with the window; it must not outlive its attachment to the list.
    window_.reset();
}

CachedPicturesViewController* FullScreenController::cachedPicturesViewController() const
{
    return owner_.browsingCachedPicturesViewController();
}

ImageInformation* FullScreenController::currentImageInformation() const
{
    CachedPicturesViewController* list = cachedPicturesViewController();
    return list ? list->currentImageInformation() : nullptr;
}

void FullScreenController::startFullScreen()
{
    fullScreenIsActive_ = true;
    QWidget* reference = owner_.fullScreenReferenceWindow();
    QScreen* screen = reference && reference->screen() ? reference->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        window_->setScreen(screen);
        window_->setGeometry(screen->geometry());
    }
    window_->showFullScreen();
    window_->raise();
    window_->activateWindow();
    view_->setFocus();
    view_->update();
}

void FullScreenController::stopFullScreen()
{
    fullScreenIsActive_ = false;
    window_->hide();
    if (QWidget* reference = owner_.fullScreenReferenceWindow(); reference && reference->isVisible()) {
        reference->raise();
        reference->activateWindow();
    }
}

void FullScreenController::applicationWillTerminate()
{
    fullScreenIsActive_ = false;
    window_->hide();
}

bool FullScreenController::keyDown(const QKeyEvent& event)
{
    ZovLog("ViewModeController::keyDown " + event.text().toStdString());
    CachedPicturesViewController* list = cachedPicturesViewController();
    if (!list)
        return false;
    switch (actionForKey(event.key())) {
    case KeyAction::Next:
        list->nextImage();
        return true;
    case KeyAction::Previous:
        list->previousImage();
        return true;
    case KeyAction::First:
        list->firstImage();
        return true;
    case KeyAction::Last:
        list->lastImage();
        return true;
    case KeyAction::None:
        break;
    }
    return false;
}

bool FullScreenController::keyUp(const QKeyEvent& event)
{
    if (event.key() != Qt::Key_Escape || event.isAutoRepeat() || !fullScreenIsActive_)
        return false;
    leave();
    return true;
}

void FullScreenController::mouseUp(int clickCount)
{
    if (clickCount >= 2 && fullScreenIsActive_)
        leave();
}

void FullScreenController::leave() { owner_.setFullScreenModeState(*this, false); }

bool FullScreenController::respondsToAction(const std::string& action) const
{
    return action != "terminate:";
}

bool FullScreenController::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    const std::string action = item.action();
    if (action == "rotateLeft:" || action == "rotateRight:" || action == "zoomIn:" || action == "zoomOut:")
        return currentImageInformation() != nullptr;
    return false;
}

} // namespace vistel
