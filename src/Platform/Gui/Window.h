#pragma once
// Window: a top-level window of the program (a QMainWindow; its menu bar and tool bar belong to
// the shell) that takes part in the responder chain.
//
// The window is a Responder whose next responder is its window controller (any Responder, not
// owned); the controller's own next responder is set by the shell (the current mode). The
// content view is the central widget; its minimum and maximum sizes follow the content limits
// (the largest float meaning "no limit"). Closing posts "NSWindowWillCloseNotification" with the
// window's view object (View.h) before the window goes.
//
// Screens are named by a number that stays the same across runs: a fixed hash of the screen's
// name (never its index in Qt's list), which preferences may store.
//
// Thread rules: main thread only.

#include <cstdint>
#include <optional>

#include <QMainWindow>
#include <QSizeF>

#include "Platform/Gui/Responder.h"

class QScreen;

namespace vistel {

inline constexpr const char* NSWindowWillCloseNotification = "NSWindowWillCloseNotification";

class Window : public QMainWindow, public Responder {
public:
    explicit Window(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    Responder* windowController() const { return controller_.get(); }
    void setWindowController(Responder* controller) { controller_ = controller; }
    Responder* nextResponder() const override { return windowController(); }

    // The central widget, with the content limits applied.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return centralWidget(); }
    void setContentMinSize(QSizeF size);
    void setContentMaxSize(QSizeF size);
    QSizeF contentMinSize() const { return minSize_; }
    QSizeF contentMaxSize() const { return maxSize_; }
    // Resizes the window so that its content has this size.
    void setContentSize(QSizeF size);

    // The number of the screen the window is on, when it has one.
    std::optional<std::uint32_t> screenNumber() const;
    static std::optional<std::uint32_t> screenNumber(const QScreen* screen);
    // The connected screen with that number, or null.
    static QScreen* screenWithNumber(std::uint32_t number);

    // A content limit in whole pixels: the largest float (or more than Qt allows) is no limit.
    static int pixelLimit(double value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyContentLimits();

    WeakResponder controller_;
    QSizeF minSize_ {0, 0};
    QSizeF maxSize_;
};

// Escape and Ctrl+W close `window` (a panel or dialog without a menu of its own), from any of
// its widgets that leaves the key alone.
void closeWithEscapeAndCloseKey(QWidget* window);

} // namespace vistel
