#pragma once
// Helpers of the alert tests: a scripted responder for a scope, and spinning Qt's event loop
// (which pumps the main run loop) for a while or until a condition holds.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

#include "Platform/Gui/Alert.h"

namespace vistel::test {

class ScopedResponder {
public:
    explicit ScopedResponder(Alert::Responder responder)
    {
        Alert::clearAnsweredAlerts();
        previous_ = Alert::setResponder(std::move(responder));
    }
    ~ScopedResponder() { Alert::setResponder(std::move(previous_)); }
    ScopedResponder(const ScopedResponder&) = delete;
    ScopedResponder& operator=(const ScopedResponder&) = delete;

private:
    Alert::Responder previous_;
};

inline void spinEvents(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// True when `done` became true within `milliseconds` (generous: a loaded machine may not run a
// pass for a long while).
inline bool spinUntil(const std::function<bool()>& done, int milliseconds = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace vistel::test
