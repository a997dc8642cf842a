#include "Platform/Gui/EventTracking.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/View.h"
#include "Platform/NotificationCenter.h"
#include "Platform/NotificationQueue.h"
#include "Platform/Qt/QtRunLoopAdapter.h"

namespace vistel {

namespace {

struct TrackingState {
    bool tracking = false;
    QPointer<QWidget> pressed;
    bool validatorInstalled = false;
    bool updatesPending = false;
};

TrackingState& state()
{
    static TrackingState tracking;
    return tracking;
}

bool isInputEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        return true;
    default:
        return false;
    }
}

void installValidator()
{
    if (state().validatorInstalled)
        return;
    state().validatorInstalled = true;
    NotificationCenter::defaultCenter().addObserver(&state(), [](const Notification& notification) {
        validateWindowItems(View::widgetOf(notification.object.get()));
    }, NSWindowDidUpdateNotification);
}

} // namespace

bool EventTracking::willDeliver(QObject* receiver, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && receiver->isWidgetType()) {
        state().pressed = static_cast<QWidget*>(receiver);
        if (!state().tracking) {
            if (QtRunLoopAdapter* adapter = PlatformApplication::runLoopAdapter()) {
                adapter->pushMode(NSEventTrackingRunLoopMode);
                state().tracking = true;
            }
        }
    } else if (type == QEvent::Show && receiver->isWidgetType()) {
        if (auto* menu = qobject_cast<QMenu*>(receiver)) {
            for (QAction* action : menu->actions()) {
                if (auto* item = dynamic_cast<ActionItem*>(action))
                    item->validate();
            }
        }
    }
    return isInputEvent(type) && (receiver->isWidgetType() || receiver->isWindowType());
}

void EventTracking::didDeliver(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease || type == QEvent::MouseMove) {
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            endTracking();
    } else if (type == QEvent::WindowDeactivate && QGuiApplication::mouseButtons() == Qt::NoButton) {
        endTracking();
    }
    scheduleWindowUpdates();
}

void EventTracking::endTracking()
{
    state().pressed = nullptr;
    if (!state().tracking)
        return;
    state().tracking = false;
    if (QtRunLoopAdapter* adapter = PlatformApplication::runLoopAdapter())
        adapter->popMode();
}

bool EventTracking::isTracking()
{
    return state().tracking;
}

QWidget* EventTracking::pressedWidget()
{
    return state().pressed.data();
}

void EventTracking::scheduleWindowUpdates()
{
    installValidator();
    // Once per pass of the main loop, however many events came: the windows are listed then,
    // and each window's notification is queued for the end of that pass.
    if (state().updatesPending || !RunLoop::main())
        return;
    state().updatesPending = true;
    RunLoop::main()->perform([] {
        state().updatesPending = false;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible() || qobject_cast<QMenu*>(window))
                continue;
            Ref<Object> object(View::viewObject(window));
            NotificationQueue::defaultQueue().enqueueNotification(
                Notification {NSWindowDidUpdateNotification, object, {}}, PostingStyle::NSPostASAP,
                NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender, {NSRunLoopCommonModes});
        }
    }, {NSRunLoopCommonModes});
}

bool hasFocus(const QWidget* widget)
{
    return widget && (widget->hasFocus() || widget == EventTracking::pressedWidget());
}

} // namespace vistel
