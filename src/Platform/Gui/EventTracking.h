#pragma once
// EventTracking: what the application learns from every input event before and after Qt
// delivers it (PlatformApplication::notify calls in here).
//
// - Mouse tracking: from a mouse press until the last button is released the main run loop is
//   held in NSEventTrackingRunLoopMode (QtRunLoopAdapter::pushMode), so work scheduled only for
//   the default mode waits while the user drags. The pressed widget is recorded for as long:
//   hasFocus(widget) is keyboard focus, or being the widget the mouse is pressing (a control
//   asking from its own action during a click answers yes). A move or any later event seen with
//   no button held ends a tracking whose release was lost.
// - Window updates: after each input event (mouse, key, wheel, focus, activation)
//   "NSWindowDidUpdateNotification" is queued as soon as possible for every visible window, its
//   object the window's view object (View.h), coalesced by name and window, in all three
//   common modes. When it is posted the window's action items validate themselves
//   (Responder.h); menus validate theirs as they open.
//
// Thread rules: main thread only.

class QEvent;
class QObject;
class QWidget;

namespace vistel {

inline constexpr const char* NSWindowDidUpdateNotification = "NSWindowDidUpdateNotification";

class EventTracking {
public:
    // Called by the application around the delivery of each event: willDeliver answers whether
    // didDeliver wants to hear of the event afterwards (input events to widgets and windows).
    static bool willDeliver(QObject* receiver, QEvent* event);
    static void didDeliver(QEvent* event);
    // Ends a tracking (the application's end, a lost release).
    static void endTracking();

    static bool isTracking();
    // The widget the mouse is pressing, or null.
    static QWidget* pressedWidget();

    // Queues the update notification of every visible window (coalesced).
    static void scheduleWindowUpdates();

    EventTracking() = delete;
};

// Keyboard focus, or being the widget the mouse is pressing now.
bool hasFocus(const QWidget* widget);

} // namespace vistel
