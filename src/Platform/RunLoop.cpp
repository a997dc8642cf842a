#include "Platform/RunLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>

#include "Platform/Exception.h"
#include "Platform/Log.h"

namespace vistel {

struct RunLoop::Source {
    SourceId id;
    int fd;
    std::uint32_t events;
    std::function<void(int, std::uint32_t)> callback;
    Modes modes;
    bool armed = false;
    std::atomic<bool> removed {false};
};

struct RunLoop::ObserverEntry {
    ObserverId id;
    std::function<void(Activity, const std::string&)> callback;
    std::atomic<bool> removed {false};
};

// The thread-specific holder: the loop lives while its thread does (and longer when others
// keep references to it).
struct RunLoopHolder {
    Ref<RunLoop> loop;
    ~RunLoopHolder()
    {
        if (loop)
            loop->threadDidExit();
    }
};

namespace {

thread_local RunLoopHolder currentHolder;
std::atomic<RunLoop*> mainLoop {nullptr};

// Runs one callback of the loop; a throwing callback is logged and the loop goes on, so the
// rest of the pass is not lost.
template <class F>
void callOut(const char* what, F&& f)
{
    try {
        f();
    } catch (...) {
        logCaughtException(std::string("RunLoop: exception in ") + what + ":");
    }
}

std::uint32_t toEpoll(std::uint32_t events)
{
    std::uint32_t result = 0;
    if (events & RunLoop::Readable)
        result |= EPOLLIN;
    if (events & RunLoop::Writable)
        result |= EPOLLOUT;
    if (events & RunLoop::Priority)
        result |= EPOLLPRI;
    return result;
}

std::uint32_t fromEpoll(std::uint32_t events)
{
    std::uint32_t result = 0;
    // A hang-up or error shows as readable, so that the owner's read sees it.
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR))
        result |= RunLoop::Readable;
    if (events & EPOLLOUT)
        result |= RunLoop::Writable;
    if (events & EPOLLPRI)
        result |= RunLoop::Priority;
    return result;
}

// Seconds as a clock duration, saturated: an interval of centuries, an infinite or a NaN one
// must not overflow the clock's integer count.
RunLoop::Clock::duration toDuration(double seconds)
{
    if (!(seconds > 0))
        return RunLoop::Clock::duration::zero();
    const double count = std::chrono::duration<double>(seconds) / RunLoop::Clock::duration(1);
    if (count >= 9.2e18) // just below the largest count
        return RunLoop::Clock::duration::max();
    return RunLoop::Clock::duration(static_cast<RunLoop::Clock::rep>(count));
}

// `date + step` (step >= 0), the far future when that does not fit.
RunLoop::TimePoint later(RunLoop::TimePoint date, RunLoop::Clock::duration step)
{
    if (date > RunLoop::TimePoint::max() - step)
        return RunLoop::TimePoint::max();
    return date + step;
}

// The first tick after `now` on the grid `fireDate + k * step` (step > 0): a repeating timer
// that fell behind skips the ticks it missed and keeps its phase.
RunLoop::TimePoint nextTick(RunLoop::TimePoint fireDate, RunLoop::TimePoint now, RunLoop::Clock::duration step)
{
    RunLoop::Clock::rep late;
    if (__builtin_sub_overflow(now.time_since_epoch().count(), fireDate.time_since_epoch().count(), &late))
        return later(now, step); // a date set far into the past has no phase worth keeping
    RunLoop::Clock::rep advance;
    if (__builtin_mul_overflow(late / step.count() + 1, step.count(), &advance))
        return RunLoop::TimePoint::max();
    return later(fireDate, RunLoop::Clock::duration(advance));
}

} // namespace

RunLoop::RunLoop()
    : thread_(pthread_self())
{
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ZOV_ASSERT(epoll_ >= 0 && wakeFd_ >= 0, "Cannot create run loop descriptors");
    epoll_event event {};
    event.events = EPOLLIN;
    event.data.u64 = 0; // source ids start at 1
    ZOV_ASSERT(epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &event) == 0, "Cannot create run loop descriptors");
}

RunLoop::~RunLoop()
{
    // No valid timer is left here: each one retains its loop until it is invalidated.
    ::close(wakeFd_);
    ::close(epoll_);
}

RunLoop* RunLoop::current()
{
    if (!currentHolder.loop)
        currentHolder.loop = Ref<RunLoop>::adopt(new RunLoop());
    return currentHolder.loop.get();
}

RunLoop* RunLoop::main()
{
    return mainLoop.load(std::memory_order_acquire);
}

void RunLoop::recordMainThread()
{
    RunLoop* loop = current();
    RunLoop* expected = nullptr;
    if (mainLoop.compare_exchange_strong(expected, loop, std::memory_order_acq_rel)) {
        loop->retain(); // the main loop lives for the whole process
        return;
    }
    ZOV_ASSERT(expected == loop, "The main thread is already recorded");
}

bool RunLoop::isMainThread()
{
    RunLoop* loop = main();
    return loop && pthread_equal(loop->thread_, pthread_self());
}

bool RunLoop::modesContain(const Modes& modes, std::string_view mode)
{
    const bool isCommon = mode == NSDefaultRunLoopMode || mode == NSEventTrackingRunLoopMode
                          || mode == NSModalPanelRunLoopMode;
    for (const auto& m : modes)
        if (m == mode || (isCommon && m == NSRunLoopCommonModes))
            return true;
    return false;
}

void RunLoop::threadDidExit()
{
    std::deque<PendingPerform> dropped;
    std::vector<TimerEntry> timers;
    std::vector<std::shared_ptr<Source>> sources;
    std::vector<std::shared_ptr<ObserverEntry>> observers;
    {
        std::lock_guard lock(mutex_);
        exited_.store(true, std::memory_order_release);
        dropped.swap(performs_);
        timers.swap(timers_);
        sources.swap(sources_);
        observers.swap(observers_);
    }
    for (auto& source : sources)
        source->removed.store(true, std::memory_order_release);
    for (auto& observer : observers)
        observer->removed.store(true, std::memory_order_release);
    for (auto& entry : timers)
        entry.timer->invalidate();
    // Everything taken out is destroyed here, outside the lock: a callback's captures may
    // release objects whose destructors post to, or remove themselves from, this loop.
}

// --- performs ----------------------------------------------------------------------------

bool RunLoop::perform(std::function<void()> call, Modes modes, unsigned order, const void* target)
{
    {
        std::lock_guard lock(mutex_);
        if (exited_.load(std::memory_order_relaxed))
            return false; // `call` is destroyed by the caller's frame, outside the lock
        performs_.push_back({order, nextSequence_++, std::move(modes), std::move(call), target});
    }
    signalWakeUp();
    return true;
}

std::size_t RunLoop::cancelPerforms(const void* target)
{
    std::vector<PendingPerform> removed;
    std::lock_guard lock(mutex_);
    auto keep = std::stable_partition(performs_.begin(), performs_.end(),
                                      [target](const PendingPerform& p) { return p.target != target; });
    for (auto it = keep; it != performs_.end(); ++it)
        removed.push_back(std::move(*it));
    performs_.erase(keep, performs_.end());
    return removed.size();
}

bool RunLoop::runPerforms(const std::string& mode)
{
    std::vector<PendingPerform> batch;
    {
        std::lock_guard lock(mutex_);
        auto keep = std::stable_partition(performs_.begin(), performs_.end(),
                                          [&](const PendingPerform& p) { return !modesContain(p.modes, mode); });
        for (auto it = keep; it != performs_.end(); ++it)
            batch.push_back(std::move(*it));
        performs_.erase(keep, performs_.end());
    }
    if (batch.empty())
        return false;
    std::stable_sort(batch.begin(), batch.end(),
                     [](const PendingPerform& a, const PendingPerform& b) { return a.order < b.order; });
    for (auto& p : batch) {
        callOut("a perform", p.call);
        p.call = nullptr; // release the captures now, in order
    }
    return true;
}

// --- timers ------------------------------------------------------------------------------

Ref<RunLoop::Timer> RunLoop::Timer::create(double intervalSeconds, bool repeats, Callback callback)
{
    return Ref<Timer>::adopt(new Timer(intervalSeconds, repeats, std::move(callback)));
}

RunLoop::Timer::Timer(double intervalSeconds, bool repeats, Callback callback)
    : interval_(intervalSeconds > 0 ? intervalSeconds : 0) // NaN too
    , repeats_(repeats)
    , fireDate_(later(Clock::now(), toDuration(interval_)))
    , callback_(std::move(callback))
{
}

void RunLoop::Timer::invalidate()
{
    Callback dropped;
    Ref<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        valid_.store(false, std::memory_order_release);
        dropped.swap(callback_);
        loop = std::move(loop_);
    }
    // The loop drops the entry at its next pass; waking it keeps the next-timer date honest
    // for an outside driver.
    if (loop)
        loop->wakeUp();
}

RunLoop::TimePoint RunLoop::Timer::fireDate() const
{
    std::lock_guard lock(mutex_);
    return fireDate_;
}

void RunLoop::Timer::setFireDate(TimePoint date)
{
    Ref<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        fireDate_ = date;
        loop = loop_;
    }
    if (loop)
        loop->wakeUp();
}

void RunLoop::addTimer(const Ref<Timer>& timer, std::string_view mode)
{
    ZOV_ASSERT(timer, "Invalid timer");
    {
        std::lock_guard lock(mutex_);
        if (exited_.load(std::memory_order_relaxed))
            return;
        {
            // Lock order: the loop, then its timers.
            std::lock_guard timerLock(timer->mutex_);
            if (!timer->valid_.load(std::memory_order_relaxed))
                return;
            ZOV_ASSERT(!timer->loop_ || timer->loop_.get() == this, "Timer already belongs to another run loop");
            if (!timer->loop_)
                timer->loop_ = Ref<RunLoop>(this);
        }
        auto it = std::find_if(timers_.begin(), timers_.end(), [&](const TimerEntry& e) { return e.timer == timer; });
        if (it == timers_.end())
            timers_.push_back({timer, {std::string(mode)}});
        else if (std::find(it->modes.begin(), it->modes.end(), mode) == it->modes.end())
            it->modes.emplace_back(mode);
    }
    signalWakeUp();
}

Ref<RunLoop::Timer> RunLoop::scheduleTimer(double intervalSeconds, bool repeats, std::function<void(Timer&)> callback,
                                           Modes modes)
{
    auto timer = Timer::create(intervalSeconds, repeats, std::move(callback));
    for (const auto& mode : modes)
        addTimer(timer, mode);
    return timer;
}

RunLoop::TimePoint RunLoop::nextTimerDate(std::string_view mode)
{
    TimePoint next = distantFuture();
    std::lock_guard lock(mutex_);
    for (const auto& entry : timers_)
        if (entry.timer->isValid() && modesContain(entry.modes, mode))
            next = std::min(next, entry.timer->fireDate());
    return next;
}

bool RunLoop::fireTimers(const std::string& mode)
{
    const TimePoint now = Clock::now();
    // Fire dates are taken once: another thread may move a timer while this pass sorts.
    std::vector<std::pair<TimePoint, Ref<Timer>>> due;
    std::vector<TimerEntry> dropped; // released outside the lock
    {
        std::lock_guard lock(mutex_);
        auto invalid = std::stable_partition(timers_.begin(), timers_.end(),
                                             [](const TimerEntry& e) { return e.timer->isValid(); });
        std::move(invalid, timers_.end(), std::back_inserter(dropped));
        timers_.erase(invalid, timers_.end());
        for (const auto& entry : timers_)
            if (modesContain(entry.modes, mode))
                if (const TimePoint date = entry.timer->fireDate(); date <= now)
                    due.emplace_back(date, entry.timer);
    }
    std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    bool fired = false;
    for (auto& entry : due) {
        Timer* timer = entry.second.get();
        Timer::Callback callback;
        {
            std::lock_guard lock(timer->mutex_);
            if (!timer->valid_.load(std::memory_order_relaxed) || timer->fireDate_ > now)
                continue; // invalidated or moved by an earlier callback of this pass
            callback = timer->callback_; // a copy: the callback may invalidate its own timer
            const auto step = toDuration(timer->interval_);
            if (timer->repeats_ && step > Clock::duration::zero()) {
                timer->fireDate_ = nextTick(timer->fireDate_, now, step);
            } else if (timer->repeats_) {
                timer->fireDate_ = now; // a zero interval fires once per pass
            }
            // A pass nested in the timer's own call (a modal alert, a menu) skips its ticks
            // rather than calling it again inside itself.
            if (timer->firing_)
                continue;
        }
        if (!timer->repeats_)
            timer->invalidate();
        fired = true;
        if (callback) {
            timer->firing_ = true;
            callOut("a timer", [&] { callback(*timer); });
            timer->firing_ = false;
        }
    }
    return fired;
}

// --- sources -----------------------------------------------------------------------------

RunLoop::SourceId RunLoop::addFileDescriptor(int fd, std::uint32_t events,
                                              std::function<void(int, std::uint32_t)> callback, Modes modes)
{
    ZOV_ASSERT(fd >= 0 && callback, "Invalid file descriptor source");
    SourceId id;
    {
        std::lock_guard lock(mutex_);
        for (const auto& s : sources_)
            ZOV_ASSERT(s->fd != fd, "File descriptor already has a source");
        auto source = std::make_shared<Source>();
        id = source->id = nextId_++;
        source->fd = fd;
        source->events = events;
        source->callback = std::move(callback);
        source->modes = std::move(modes);
        sources_.push_back(std::move(source));
        armedMode_.clear(); // re-arm at the next pass
    }
    signalWakeUp();
    return id;
}

void RunLoop::removeFileDescriptor(SourceId id)
{
    std::shared_ptr<Source> removed; // its callback is released outside the lock
    std::lock_guard lock(mutex_);
    auto it = std::find_if(sources_.begin(), sources_.end(), [id](const auto& s) { return s->id == id; });
    if (it == sources_.end())
        return;
    (*it)->removed.store(true, std::memory_order_release);
    if ((*it)->armed)
        epoll_ctl(epoll_, EPOLL_CTL_DEL, (*it)->fd, nullptr);
    removed = std::move(*it);
    sources_.erase(it);
}

// Puts exactly the sources of `mode` into the epoll set, so that a ready descriptor of another
// mode neither wakes the loop nor keeps an outside driver busy.
void RunLoop::armSources(const std::string& mode)
{
    std::lock_guard lock(mutex_);
    if (armedMode_ == mode)
        return;
    for (auto& source : sources_) {
        const bool want = modesContain(source->modes, mode);
        if (want == source->armed)
            continue;
        if (want) {
            epoll_event event {};
            event.events = toEpoll(source->events);
            event.data.u64 = source->id;
            if (epoll_ctl(epoll_, EPOLL_CTL_ADD, source->fd, &event) != 0) {
                ZovLog("RunLoop::armSources cannot watch descriptor " + std::to_string(source->fd) + ": "
                       + std::strerror(errno));
                continue;
            }
        } else {
            epoll_ctl(epoll_, EPOLL_CTL_DEL, source->fd, nullptr);
        }
        source->armed = want;
    }
    armedMode_ = mode;
}

// --- observers ---------------------------------------------------------------------------

RunLoop::ObserverId RunLoop::addObserver(std::function<void(Activity, const std::string&)> callback)
{
    auto entry = std::make_shared<ObserverEntry>();
    entry->callback = std::move(callback);
    std::lock_guard lock(mutex_);
    entry->id = nextId_++;
    observers_.push_back(entry);
    return entry->id;
}

void RunLoop::removeObserver(ObserverId id)
{
    std::shared_ptr<ObserverEntry> removed; // its callback is released outside the lock
    std::lock_guard lock(mutex_);
    for (auto it = observers_.begin(); it != observers_.end(); ++it)
        if ((*it)->id == id) {
            (*it)->removed.store(true, std::memory_order_release);
            removed = std::move(*it);
            observers_.erase(it);
            return;
        }
}

void RunLoop::notifyObservers(Activity activity, const std::string& mode)
{
    std::vector<std::shared_ptr<ObserverEntry>> observers;
    {
        std::lock_guard lock(mutex_);
        observers = observers_;
    }
    for (auto& observer : observers)
        if (!observer->removed.load(std::memory_order_acquire))
            callOut("a run-loop observer", [&] { observer->callback(activity, mode); });
}

// --- waking ------------------------------------------------------------------------------

void RunLoop::signalWakeUp()
{
    // One write per wait is enough; the flag spares the system call for bursts of performs.
    if (wakePending_.exchange(true, std::memory_order_acq_rel))
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

void RunLoop::wakeUp()
{
    signalWakeUp();
}

void RunLoop::drainWakeUp()
{
    // Read first, then clear the flag. The other order loses wake-ups: a signal between the
    // two would have its write consumed by the read while the flag stays set, so that no later
    // signal writes again and the loop sleeps with work queued. In this order a signal that
    // still sees the flag set comes before the clear, and the caller's next round finds its
    // work; any later one writes.
    std::uint64_t count;
    [[maybe_unused]] auto read = ::read(wakeFd_, &count, sizeof count);
    wakePending_.store(false, std::memory_order_seq_cst);
}

void RunLoop::stop()
{
    stopRequested_.store(true, std::memory_order_release);
    signalWakeUp();
}

bool RunLoop::hasPendingWork(const std::string& mode)
{
    const TimePoint now = Clock::now();
    std::lock_guard lock(mutex_);
    for (const auto& p : performs_)
        if (modesContain(p.modes, mode))
            return true;
    for (const auto& entry : timers_)
        if (entry.timer->isValid() && modesContain(entry.modes, mode) && entry.timer->fireDate() <= now)
            return true;
    return false;
}

// Waits up to `timeoutMs` (-1 forever) and serves the ready sources of `mode`.
bool RunLoop::waitAndServe(const std::string& mode, int timeoutMs)
{
    epoll_event events[32];
    const std::uint64_t wait = ++waitCount_;
    int count = epoll_wait(epoll_, events, 32, timeoutMs);
    if (count < 0)
        return false; // EINTR: the caller makes another pass
    bool served = false;
    for (int i = 0; i < count; ++i) {
        const SourceId id = events[i].data.u64;
        if (id == 0) {
            drainWakeUp();
            continue;
        }
        std::shared_ptr<Source> source;
        {
            std::lock_guard lock(mutex_);
            for (auto& s : sources_)
                if (s->id == id)
                    source = s;
        }
        if (!source || source->removed.load(std::memory_order_acquire) || !modesContain(source->modes, mode))
            continue;
        served = true;
        const std::uint32_t ready = fromEpoll(events[i].events);
        callOut("a file-descriptor source", [&] { source->callback(source->fd, ready); });
        // A nested pass inside the callback waited and may have served the descriptors still
        // listed here: their readiness is stale. Level-triggered, the next wait reports again
        // whatever is still ready.
        if (waitCount_ != wait)
            break;
    }
    return served;
}

// --- running -----------------------------------------------------------------------------

RunLoop::RunResult RunLoop::runMode(std::string_view modeView, TimePoint until)
{
    ZOV_ASSERT(pthread_equal(thread_, pthread_self()), "A run loop runs only on its own thread");
    ZOV_ASSERT(modeView != NSRunLoopCommonModes && !modeView.empty(), "Invalid run-loop mode");
    const std::string mode(modeView);
    modeStack_.push_back(mode);

    RunResult result = RunResult::TimedOut;
    bool handled = false;
    for (;;) {
        // Every round: a source added while the loop waited must be watched from the next wait
        // on, not only from the next runMode().
        armSources(mode);
        handled |= fireTimers(mode);
        handled |= runPerforms(mode);
        notifyObservers(Activity::AfterPass, mode);
        if (stopRequested_.exchange(false, std::memory_order_acq_rel)) {
            result = RunResult::Stopped;
            break;
        }
        bool pending = hasPendingWork(mode);
        if (!pending) {
            notifyObservers(Activity::BeforeWaiting, mode);
            pending = hasPendingWork(mode);
        }
        if (handled) {
            result = RunResult::Handled;
            break;
        }
        const TimePoint now = Clock::now();
        int timeoutMs = 0;
        if (!pending) {
            const TimePoint wakeAt = std::min(until, nextTimerDate(mode));
            if (wakeAt == distantFuture())
                timeoutMs = -1;
            else if (wakeAt > now)
                timeoutMs = static_cast<int>(std::min<long long>(
                    std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count(), 24LL * 3600 * 1000));
        }
        handled |= waitAndServe(mode, timeoutMs);
        if (handled || stopRequested_.load(std::memory_order_acquire))
            continue; // the next round runs what the wait let in and reports it
        // A wake-up may have let in a perform although nothing was served: only leave with
        // nothing queued, or an outside driver would not hear of it again.
        if (Clock::now() >= until && !hasPendingWork(mode)) {
            // A source added while this round drained the wake-up is armed before an outside
            // driver goes back to watching the descriptor.
            armSources(mode);
            break; // timed out
        }
    }

    modeStack_.pop_back();
    if (!modeStack_.empty())
        armSources(modeStack_.back()); // back to the outer pass's sources
    return result;
}

void RunLoop::run()
{
    while (runMode(NSDefaultRunLoopMode, distantFuture()) != RunResult::Stopped) { }
}

void RunLoop::runUntil(TimePoint until)
{
    for (;;) {
        if (runMode(NSDefaultRunLoopMode, until) == RunResult::Stopped)
            return;
        if (Clock::now() >= until)
            return;
    }
}

std::string RunLoop::currentMode() const
{
    return modeStack_.empty() ? std::string() : modeStack_.back();
}

} // namespace vistel
