#pragma once
// NSThreadExt: the long-lived worker thread.
//
// A worker runs its body - main(), by default the context's call - on its own pthread with a
// fixed 10 MiB stack. start() returns only once the new thread runs its body. Cancelling is
// cooperative: cancel() sets a flag that the body polls through isCancelled() (find your own
// worker with currentThreadExt()); abort() sets it and waits until the body has returned.
// A worker runs once and is never restarted.
//
// Lifetime: start() keeps the worker alive until its body has ended, so a caller may drop its
// reference right after starting. The body may end the worker's last reference itself.
//
// Errors: an exception that escapes the body is caught on the worker's thread, logged with the
// worker's name, and the worker is left finished; the process goes on.
//
// Each worker has a request queue and a result queue (ThreadSafeQueue), made on first use; a
// shared results queue can be set on several workers.
//
// Threads are addressed by their RunLoop (ThreadMessages.h): a worker's thread has one from the
// moment its body starts until it ends (runLoop()). The program records its main thread with
// recordMainThread(), first thing in main() (test mains do the same).

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "Common/Tools/Threads/ThreadSafeQueue.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"
#include "Platform/Value.h"

namespace vistel {

// What a worker runs: a call on a target (kept alive) with an argument.
class NSThreadExtContext : public Object {
public:
    using Selector = std::function<void(Object* target, const Value& argument)>;

    static Ref<NSThreadExtContext> create(Ref<Object> target, Selector selector, Value argument);
    void execute();

private:
    NSThreadExtContext(Ref<Object> target, Selector selector, Value argument);
    Ref<Object> target_;
    Selector selector_;
    Value argument_;
};

class NSThreadExt : public Object {
public:
    // The fixed stack size of every worker.
    static constexpr std::size_t StackSize = 0xA00000;

    // A worker that runs `body`.
    static Ref<NSThreadExt> create(std::function<void()> body);
    // A worker that calls `selector` on `target` with `argument` (target kept alive).
    template <class T>
    static Ref<NSThreadExt> create(const Ref<T>& target, void (T::*selector)(const Value&), Value argument = {})
    {
        return createWithContext(NSThreadExtContext::create(
            Ref<Object>(target), [selector](Object* t, const Value& a) { (static_cast<T*>(t)->*selector)(a); },
            std::move(argument)));
    }
    static Ref<NSThreadExt> createWithContext(Ref<NSThreadExtContext> context);
    // Makes a worker for the call and starts it.
    template <class T>
    static Ref<NSThreadExt> detachNewThreadSelector(void (T::*selector)(const Value&), const Ref<T>& target,
                                                    Value argument = {})
    {
        auto thread = create(target, selector, std::move(argument));
        thread->start();
        return thread;
    }

    // The worker whose body runs on the calling thread, or null on other threads.
    static NSThreadExt* currentThreadExt();
    // The calling thread (its run loop, made on first use).
    static RunLoop* currentThread();
    // Records the calling thread as the main thread (also for RunLoop::main()).
    static void recordMainThread();
    static RunLoop* mainThread();
    static bool isMainThread();
    // True once a worker has been started in this process.
    static bool isMultiThreaded();
    static void sleepForTimeInterval(double seconds);
    static void sleepUntilDate(RunLoop::TimePoint date);

    // Starts the body on a new thread; returns when the body has begun. Raises when the
    // worker was started before or the thread cannot be made.
    void start();
    // Asks the body to stop; a cancel asked before start() is forgotten by start().
    void cancel();
    // Cancels and waits until the body has returned. Returns at once when the worker was
    // already cancelled, was never started, or when called from the worker's own body.
    void abort();

    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
    bool isExecuting() const { return executing_.load(std::memory_order_acquire); }
    bool isFinished() const { return finished_.load(std::memory_order_acquire); }

    void setName(std::string name);
    std::string name() const;
    // "NSThreadExt 'name'" or "NSThreadExt 0x...": for log lines and exception texts.
    std::string description() const;
    // The run loop of the worker's thread while its body runs, else null.
    Ref<RunLoop> runLoop() const;

    // --- request and result queues ---------------------------------------------------------
    Ref<ThreadSafeQueue> requestsQueue();
    Ref<ThreadSafeQueue> resultsQueue();
    void setRequestsQueue(Ref<ThreadSafeQueue> queue);
    void setResultsQueue(Ref<ThreadSafeQueue> queue);
    void addRequest(Value request);
    void addResult(Value result);
    // tryDequeue() when onlyTry, else dequeue(); a null Value when nothing was taken.
    Value getRequestFirst(bool first, bool onlyTry);
    Value getResultFirst(bool first, bool onlyTry);
    // The listener is bound to the calling thread.
    Ref<ThreadNotificationListener> addRequestsQueueNotificationListner(Ref<Object> object,
                                                                        ThreadNotificationListener::Selector selector,
                                                                        Value param = {});
    Ref<ThreadNotificationListener> addResultsQueueNotificationListner(Ref<Object> object,
                                                                       ThreadNotificationListener::Selector selector,
                                                                       Value param = {});

protected:
    NSThreadExt() = default;
    explicit NSThreadExt(Ref<NSThreadExtContext> context) : context_(std::move(context)) { }
    ~NSThreadExt() override = default;

    // The body. Subclasses override it; by default it executes the context.
    virtual void main();

private:
    static void* threadRoutine(void* startRecord);
    void bodyEnded();

    Ref<NSThreadExtContext> context_;
    std::atomic<bool> cancelled_ {false};
    std::atomic<bool> executing_ {false};
    std::atomic<bool> finished_ {false};
    std::atomic<bool> started_ {false};

    mutable std::mutex mutex_; // guards the fields below
    Ref<RunLoop> runLoop_;
    std::string name_;
    Ref<ThreadSafeQueue> requestsQueue_;
    Ref<ThreadSafeQueue> resultsQueue_;

    // abort() waits on this until the body has ended.
    std::mutex abortMutex_;
    std::condition_variable abortCondition_;
    bool bodyRunning_ = false;
};

} // namespace vistel
