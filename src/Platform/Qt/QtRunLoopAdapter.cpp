#include "Platform/Qt/QtRunLoopAdapter.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <exception>

#include "Platform/Exception.h"
#include "Platform/Log.h"

namespace vistel {

QtRunLoopAdapter::QtRunLoopAdapter(RunLoop* loop)
    : loop_(loop)
{
    ZOV_ASSERT(loop_, "No run loop to drive");
    notifier_ = std::make_unique<QSocketNotifier>(loop_->wakeUpDescriptor(), QSocketNotifier::Read);
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { pass(); });
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { pass(); });
    // Whatever was queued before the adapter existed runs at the first turn of Qt's loop.
    loop_->wakeUp();
}

QtRunLoopAdapter::~QtRunLoopAdapter() = default;

void QtRunLoopAdapter::pushMode(std::string mode)
{
    ZOV_ASSERT(!mode.empty() && mode != NSRunLoopCommonModes, "Invalid run-loop mode");
    modes_.push_back(std::move(mode));
    loop_->wakeUp(); // sources and timers of the new mode
}

void QtRunLoopAdapter::popMode()
{
    ZOV_ASSERT(!modes_.empty(), "No run-loop mode to pop");
    modes_.pop_back();
    loop_->wakeUp(); // what waited for the outer mode runs now
}

std::string QtRunLoopAdapter::currentMode() const
{
    return modes_.empty() ? std::string(NSDefaultRunLoopMode) : modes_.back();
}

// Called from Qt's event handlers: no exception may leave it (the loop already catches those
// of its callbacks; this guards the adapter's own calls).
void QtRunLoopAdapter::pass()
{
    try {
        // Armed before the pass too: a callback of this pass that runs a nested Qt event loop
        // (a menu, a dialog) keeps the loop's timers firing meanwhile. A due timer arms it for
        // 0 ms, and the re-entrant pass finds that the outer one has already moved it on.
        armTimer();
        loop_->runMode(currentMode(), RunLoop::TimePoint::min());
        armTimer();
    } catch (const Exception& e) {
        ZovLog("QtRunLoopAdapter::pass " + e.description());
    } catch (const std::exception& e) {
        ZovLog(std::string("QtRunLoopAdapter::pass ") + e.what());
    }
}

void QtRunLoopAdapter::armTimer()
{
    const auto next = loop_->nextTimerDate(currentMode());
    if (next == RunLoop::distantFuture()) {
        timer_->stop();
        return;
    }
    const auto now = RunLoop::Clock::now();
    // A date set far into the past must not overflow the subtraction: it is simply due.
    const long long ms = next <= now ? 0
        : std::min<long long>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count(), 24LL * 3600 * 1000);
    timer_->start(std::chrono::milliseconds(ms));
}

} // namespace vistel
