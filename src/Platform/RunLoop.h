#pragma once
// RunLoop: the event loop of one thread.
//
// Every thread that receives messages has exactly one RunLoop, made on first use by
// RunLoop::current() and kept in a thread-specific holder until the thread exits. A RunLoop is
// reference counted so that other threads may keep it as the address of "that thread" (a
// worker's loop, the main loop): after its thread has exited it still exists but accepts no
// more work (perform() answers false and drops the closure).
//
// What a loop runs:
//   - performs: closures posted from any thread, each in a set of run-loop modes and with an
//     order (lower first within one pass);
//   - timers (RunLoop::Timer), added in one or more modes;
//   - file-descriptor sources, watched in their modes;
//   - observers, told after each pass and when the loop is about to wait (the notification
//     queue posts its "as soon as possible" and "when idle" notifications from there).
//
// The mode being run decides what fires: while the loop runs the modal-panel mode, work
// scheduled only for the default mode stays queued and runs once the loop is back in the
// default mode. NSRunLoopCommonModes stands for the default, event-tracking and modal-panel
// modes; it can be scheduled in but never run.
//
// Driving: a thread runs its own loop with run(), runUntil() or runMode(), which block in
// epoll. Another event loop can drive a RunLoop instead (the program's main thread is driven
// by Qt through QtRunLoopAdapter): it watches wakeUpDescriptor() for readability, arms a timer
// for nextTimerDate(), and calls runMode(mode, now) whenever either fires.
//
// Thread rules: perform(), wakeUp(), stop(), addTimer(), Timer::invalidate(), the source
// and observer calls may be made from any thread. runMode()/run()/runUntil() and
// currentMode() belong to the loop's own thread. Callbacks always run on the loop's thread,
// outside the loop's lock, so they may post, add or remove anything. An exception thrown by a
// callback is caught, logged and does not stop the loop.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <pthread.h>

#include "Platform/Object.h"

namespace vistel {

inline constexpr const char* NSDefaultRunLoopMode = "NSDefaultRunLoopMode";
inline constexpr const char* NSEventTrackingRunLoopMode = "NSEventTrackingRunLoopMode";
inline constexpr const char* NSModalPanelRunLoopMode = "NSModalPanelRunLoopMode";
// A mode of its own (not one of the common modes); timers that must also run while a reply
// is awaited are added to it.
inline constexpr const char* NSConnectionReplyMode = "NSConnectionReplyMode";
// Stands for the default, event-tracking and modal-panel modes.
inline constexpr const char* NSRunLoopCommonModes = "NSRunLoopCommonModes";

class RunLoop : public Object {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Modes = std::vector<std::string>;

    class Timer;

    enum class RunResult {
        Handled,  // at least one perform, timer or source ran
        TimedOut, // the deadline passed with nothing to do
        Stopped,  // stop() was called
    };

    // Observer moments of a pass.
    enum class Activity {
        AfterPass,     // the timers, performs and sources of one pass have run
        BeforeWaiting, // nothing is queued for the mode: the loop is idle and about to wait
    };

    // Priority: urgent data or a change announcement (EPOLLPRI), as /proc/self/mountinfo
    // signals a changed mount table; such a file is always readable, so Readable would spin.
    enum FileEvents : std::uint32_t { Readable = 1, Writable = 2, Priority = 4 };

    static TimePoint distantFuture() { return TimePoint::max(); }

    // The calling thread's loop, made on first use.
    static RunLoop* current();
    // The loop of the thread that called recordMainThread(), or null before that.
    static RunLoop* main();
    // Records the calling thread as the program's main thread. Called once, first thing in
    // main() and in test mains; a second call from another thread is a programming error.
    static void recordMainThread();
    static bool isMainThread();

    // --- performs --------------------------------------------------------------------------
    // Queues `call` to run on this loop's thread at its next pass in one of `modes`, lower
    // `order` first, posting order among equal orders. `target` tags the perform so that
    // cancelPerforms() can withdraw it. Answers false (and drops the call) when the loop's
    // thread has exited.
    bool perform(std::function<void()> call, Modes modes = {NSRunLoopCommonModes}, unsigned order = 0,
                 const void* target = nullptr);
    // Withdraws the queued performs tagged with `target`; answers how many.
    std::size_t cancelPerforms(const void* target);

    // --- timers ----------------------------------------------------------------------------
    // Adds `timer` in `mode` (a timer may be added in several modes, always to one loop).
    void addTimer(const Ref<Timer>& timer, std::string_view mode);
    // Makes a timer, adds it in each of `modes` and answers it.
    Ref<Timer> scheduleTimer(double intervalSeconds, bool repeats, std::function<void(Timer&)> callback,
                             Modes modes = {NSDefaultRunLoopMode});
    // The earliest fire date of a valid timer in `mode`; distantFuture() when none.
    TimePoint nextTimerDate(std::string_view mode);

    // --- file-descriptor sources -----------------------------------------------------------
    using SourceId = std::uint64_t;
    // Watches `fd` (level-triggered) while the loop runs one of `modes`; `callback` gets the fd
    // and the FileEvents that are ready. One source per descriptor. The loop never closes it.
    SourceId addFileDescriptor(int fd, std::uint32_t events, std::function<void(int fd, std::uint32_t ready)> callback,
                               Modes modes = {NSRunLoopCommonModes});
    // After it returns the callback is not called again (a call already running on the loop's
    // thread finishes).
    void removeFileDescriptor(SourceId source);

    // --- observers -------------------------------------------------------------------------
    using ObserverId = std::uint64_t;
    ObserverId addObserver(std::function<void(Activity, const std::string& mode)> callback);
    void removeObserver(ObserverId observer);

    // --- running ---------------------------------------------------------------------------
    // One pass in `mode`: fires due timers, runs queued performs, serves ready sources; when
    // nothing was there, waits for something until `until`. A deadline in the past makes a
    // pass that never blocks (what an outside event loop calls).
    RunResult runMode(std::string_view mode, TimePoint until);
    // Runs the default mode until stop().
    void run();
    // Runs the default mode until the deadline or stop().
    void runUntil(TimePoint until);
    // Makes the innermost run(), runUntil() or runMode() of this loop return. Any thread.
    void stop();
    // Wakes the loop out of its wait so that it makes a pass. Any thread.
    void wakeUp();

    // The mode of the innermost pass now running on this thread, or "" outside any pass.
    std::string currentMode() const;
    // Readable whenever the loop has something to do (a perform was posted, a source is
    // ready, wakeUp() was called). For outside event loops; never read it yourself.
    int wakeUpDescriptor() const { return epoll_; }
    // True when called on this loop's thread.
    bool isCurrent() const { return pthread_equal(thread_, pthread_self()) != 0; }
    // True once the loop's thread has exited.
    bool threadHasExited() const { return exited_.load(std::memory_order_acquire); }

    // True when `mode` is one of the modes in `modes` (directly or through the common modes).
    static bool modesContain(const Modes& modes, std::string_view mode);

private:
    RunLoop();
    ~RunLoop() override;
    friend struct RunLoopHolder;

    struct PendingPerform {
        unsigned order;
        std::uint64_t sequence;
        Modes modes;
        std::function<void()> call;
        const void* target;
    };
    struct TimerEntry {
        Ref<Timer> timer;
        Modes modes;
    };
    struct Source;
    struct ObserverEntry;

    void threadDidExit();
    bool runPerforms(const std::string& mode);
    bool fireTimers(const std::string& mode);
    bool hasPendingWork(const std::string& mode);
    bool waitAndServe(const std::string& mode, int timeoutMs);
    void armSources(const std::string& mode);
    void notifyObservers(Activity activity, const std::string& mode);
    void drainWakeUp();
    void signalWakeUp();

    int epoll_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> wakePending_ {false};
    std::atomic<bool> stopRequested_ {false};
    std::atomic<bool> exited_ {false};
    pthread_t thread_;

    mutable std::mutex mutex_; // guards everything below
    std::deque<PendingPerform> performs_;
    std::uint64_t nextSequence_ = 0;
    std::vector<TimerEntry> timers_;
    std::vector<std::shared_ptr<Source>> sources_;
    std::vector<std::shared_ptr<ObserverEntry>> observers_;
    std::uint64_t nextId_ = 1;
    std::string armedMode_;

    // Touched only by the loop's own thread.
    std::vector<std::string> modeStack_;
    std::uint64_t waitCount_ = 0; // bumped by every wait, so that a nested one is noticed
};

// A timer on one run loop. The callback runs on that loop's thread, in the modes the timer was
// added in. A repeating timer that fell behind fires once and keeps its phase (missed ticks are
// skipped); a non-repeating timer is invalidated after it fired. A timer is never called inside
// its own call: a pass nested in it (a modal panel) skips the timer's ticks meanwhile.
class RunLoop::Timer : public Object {
public:
    using Callback = std::function<void(Timer&)>;

    static Ref<Timer> create(double intervalSeconds, bool repeats, Callback callback);

    // Stops the timer for good and drops its callback. Any thread; a call already running on
    // the loop's thread finishes.
    void invalidate();
    bool isValid() const { return valid_.load(std::memory_order_acquire); }
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }
    TimePoint fireDate() const;
    void setFireDate(TimePoint date);

private:
    Timer(double intervalSeconds, bool repeats, Callback callback);
    friend class RunLoop;

    const double interval_;
    const bool repeats_;
    std::atomic<bool> valid_ {true};
    bool firing_ = false; // its call is running; the loop's thread only
    mutable std::mutex mutex_;
    TimePoint fireDate_;
    Callback callback_;
    // The loop it was added to. Retained while the timer is valid, so that invalidate() or
    // setFireDate() from another thread never touches a loop that is gone; invalidation drops
    // it, which breaks the cycle with the loop's own reference to the timer.
    Ref<RunLoop> loop_;
};

} // namespace vistel
