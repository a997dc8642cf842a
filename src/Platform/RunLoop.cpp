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
    } catch (const Exception& e) {
        ZovLog(std::string("RunLoop: exception in ") + what + ": " + e.description());
    } catch (const std::exception& e) {
        ZovLog(std::string("RunLoop: exception in ") + what + ": " + e.what());
    } catch (...) {
        ZovLog(std::string("RunLoop: unknown exception in ") + what);
    }
}

std::uint32_t toEpoll(std::uint32_t events)
{
    std::uint32_t result = 0;
    if (events & RunLoop::Readable)
        result |= EPOLLIN;
    if (events & RunLoop::Writable)
        result |= EPOLLOUT;
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
    return result;
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
    for (auto& entry : timers_) {
        std::lock_guard lock(entry.timer->mutex_);
        entry.timer->loop_ = nullptr;
    }
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
    {
        std::lock_guard lock(mutex_);
        exited_.store(true, std::memory_order_release);
        dropped.swap(performs_);
        timers.swap(timers_);
        sources_.clear();
        observers_.clear();
    }
    for (auto& entry : timers)
        entry.timer->invalidate();
    // `dropped` is destroyed here, outside the lock: a closure's captures may release objects
    // whose destructors post to this or another loop.
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
    : interval_(intervalSeconds < 0 ? 0 : intervalSeconds)
    , repeats_(repeats)
    , fireDate_(Clock::now()
                + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval_)))
    , callback_(std::move(callback))
{
}

void RunLoop::Timer::invalidate()
{
    Callback dropped;
    RunLoop* loop = nullptr;
    {
        std::lock_guard lock(mutex_);
        valid_.store(false, std::memory_order_release);
        dropped.swap(callback_);
        loop = loop_;
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
    RunLoop* loop = nullptr;
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
        std::lock_guard timerLock(timer->mutex_);
        ZOV_ASSERT(!timer->loop_ || timer->loop_ == this, "Timer already belongs to another run loop");
        timer->loop_ = this;
    }
    {
        std::lock_guard lock(mutex_);
        if (exited_.load(std::memory_order_relaxed) || !timer->isValid())
            return;
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
    std::vector<Ref<Timer>> due;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(timers_, [](const TimerEntry& e) { return !e.timer->isValid(); });
        for (const auto& entry : timers_)
            if (modesContain(entry.modes, mode) && entry.timer->fireDate() <= now)
                due.push_back(entry.timer);
    }
    std::sort(due.begin(), due.end(), [](const Ref<Timer>& a, const Ref<Timer>& b) { return a->fireDate() < b->fireDate(); });
    bool fired = false;
    for (auto& timer : due) {
        Timer::Callback callback;
        {
            std::lock_guard lock(timer->mutex_);
            if (!timer->valid_.load(std::memory_order_relaxed) || timer->fireDate_ > now)
                continue; // invalidated or moved by an earlier callback of this pass
            callback = timer->callback_; // a copy: the callback may invalidate its own timer
            if (timer->repeats_ && timer->interval_ > 0) {
                const auto step = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timer->interval_));
                const auto behind = (now - timer->fireDate_) / step;
                timer->fireDate_ += step * (behind + 1);
            } else if (timer->repeats_) {
                timer->fireDate_ = now; // a zero interval fires once per pass
            }
        }
        if (!timer->repeats_)
            timer->invalidate();
        fired = true;
        if (callback)
            callOut("a timer", [&] { callback(*timer); });
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
    std::lock_guard lock(mutex_);
    auto it = std::find_if(sources_.begin(), sources_.end(), [id](const auto& s) { return s->id == id; });
    if (it == sources_.end())
        return;
    (*it)->removed.store(true, std::memory_order_release);
    if ((*it)->armed)
        epoll_ctl(epoll_, EPOLL_CTL_DEL, (*it)->fd, nullptr);
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
    std::lock_guard lock(mutex_);
    for (auto it = observers_.begin(); it != observers_.end(); ++it)
        if ((*it)->id == id) {
            (*it)->removed.store(true, std::memory_order_release);
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
    // Clear the flag before reading: a wake-up signalled after this point writes again.
    wakePending_.store(false, std::memory_order_release);
    std::uint64_t count;
    [[maybe_unused]] auto read = ::read(wakeFd_, &count, sizeof count);
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
    armSources(mode);

    RunResult result = RunResult::TimedOut;
    bool handled = false;
    for (;;) {
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
        if (Clock::now() >= until && !hasPendingWork(mode))
            break; // timed out
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
