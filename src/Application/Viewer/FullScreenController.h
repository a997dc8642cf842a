#pragma once
// Full screen: the current picture of the picture list alone on a screen.
//
// FullScreenController owns a frameless, stay-on-top black window (FullScreenWindow) whose
// content is a FullScreenImageView over its owner's picture list, and whose next responder is
// the controller. The window is made hidden with the controller and reused at every start. A
// start takes the screen of the owner's reference window (else the primary screen), covers it
// and takes the keyboard (showFullScreen, raise, activate: without a window manager nobody else
// would). Capturing and releasing the display are no-ops here that always succeed.
//
// The owner (FullScreenModeDataSource: browse mode, the view mode) switches full screen on and
// off: to start it attaches its picture list to fullScreenView() and calls startFullScreen();
// to stop it calls stopFullScreen(), brings the picture shown into view in its own views and
// stops or re-attaches the list.
//
// Keys (FullScreenController::actionForKey, shared with the view mode), by the key whatever the
// modifiers: Space, Right and Page Down step to the next picture; Left and Page Up to the
// previous; Home to the first; End to the last. (X11 has one key for "Next" and "Page Down",
// so Page Down steps forward rather than jumping to the first picture.) Escape leaves when it is
// released, a double click leaves, a single click does nothing.
//
// Menus: the window carries the main menu's entries as its own actions (its menu bar hidden),
// validated through its chain: rotate left/right turn the view of the current picture (never
// the file), zoom in/out reach the view; both need a current picture. Every other entry is
// disabled while the window is in front, except Quit, which stays the application's.
//
// Thread rules: main thread.

#include <memory>
#include <string>

#include <QPointer>

#include "Application/Viewer/CachedImageView.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/Window.h"

class QKeyEvent;

namespace vistel {

class CachedPicturesViewController;
class FullScreenController;
class ImageInformation;

class FullScreenModeDataSource {
public:
    // Starts (true) or ends (false) full screen.
    virtual void setFullScreenModeState(FullScreenController& controller, bool isStarted) = 0;
    // The picture list whose pictures are shown.
    virtual CachedPicturesViewController* browsingCachedPicturesViewController() const = 0;
    // The window whose screen full screen takes; null: the primary screen.
    virtual QWidget* fullScreenReferenceWindow() const { return nullptr; }

protected:
    ~FullScreenModeDataSource() = default;
};

// The full-screen window's content: a picture view fitted to the screen.
class FullScreenImageView : public CachedImageView {
public:
    using CachedImageView::CachedImageView;
};

class FullScreenWindow : public Window {
public:
    explicit FullScreenWindow(FullScreenController& controller);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    FullScreenController& controller_;
};

class FullScreenController : public Responder {
public:
    // What a key does in the viewer.
    enum class KeyAction { None, Next, Previous, First, Last };
    static KeyAction actionForKey(int key);

    explicit FullScreenController(FullScreenModeDataSource& owner);
    ~FullScreenController() override;

    FullScreenModeDataSource& fullScreenModeDataSource() const { return owner_; }
    bool fullScreenIsActive() const { return fullScreenIsActive_; }
    FullScreenImageView* fullScreenView() const { return view_; }
    FullScreenWindow* window() const { return window_.get(); }
    CachedPicturesViewController* cachedPicturesViewController() const;
    ImageInformation* currentImageInformation() const;

    void startFullScreen();
    void stopFullScreen();
    // Hides the window without the owner's part (the program is ending).
    void applicationWillTerminate();

    // Steps by the key table; answers whether the key was one of it.
    bool keyDown(const QKeyEvent& event);
    // Escape (released) leaves full screen.
    bool keyUp(const QKeyEvent& event);
    // Two clicks or more leave full screen.
    void mouseUp(int clickCount);

    // Every action but Quit is the window's own; only rotate and zoom act.
    bool respondsToAction(const std::string& action) const override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

private:
    void leave();

    FullScreenModeDataSource& owner_;
    bool fullScreenIsActive_ = false;
    std::unique_ptr<FullScreenWindow> window_;
    FullScreenImageView* view_ = nullptr; // the window's content
};

} // namespace vistel
