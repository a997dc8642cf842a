#include "Common/Tools/Threads/NSThreadExt.h"

#include <cxxabi.h>
#include <pthread.h>

#include <cstdio>
#include <exception>
#include <thread>

#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/Exception.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

thread_local NSThreadExt* currentWorker = nullptr;
std::atomic<bool> multiThreaded {false};

// Lives on the starter's stack; the new thread signals `running` and never touches it again.
struct StartRecord {
    NSThreadExt* thread;
    std::mutex mutex;
    std::condition_variable condition;
    bool running = false;
};

} // namespace

// --- context ------------------------------------------------------------------------------

Ref<NSThreadExtContext> NSThreadExtContext::create(Ref<Object> target, Selector selector, Value argument)
{
    return Ref<NSThreadExtContext>::adopt(new NSThreadExtContext(std::move(target), std::move(selector), std::move(argument)));
}

NSThreadExtContext::NSThreadExtContext(Ref<Object> target, Selector selector, Value argument)
    : target_(std::move(target))
    , selector_(std::move(selector))
    , argument_(std::move(argument))
{
}

void NSThreadExtContext::execute()
{
    if (selector_)
        selector_(target_.get(), argument_);
}

// --- class operations ---------------------------------------------------------------------

Ref<NSThreadExt> NSThreadExt::create(std::function<void()> body)
{
    return createWithContext(NSThreadExtContext::create(
        {}, [body = std::move(body)](Object*, const Value&) { body(); }, {}));
}

Ref<NSThreadExt> NSThreadExt::createWithContext(Ref<NSThreadExtContext> context)
{
    return Ref<NSThreadExt>::adopt(new NSThreadExt(std::move(context)));
}

NSThreadExt* NSThreadExt::currentThreadExt()
{
    return currentWorker;
}

RunLoop* NSThreadExt::currentThread()
{
    return RunLoop::current();
}

void NSThreadExt::recordMainThread()
{
    RunLoop::recordMainThread();
}

RunLoop* NSThreadExt::mainThread()
{
    return RunLoop::main();
}

bool NSThreadExt::isMainThread()
{
    return RunLoop::isMainThread();
}

bool NSThreadExt::isMultiThreaded()
{
    return multiThreaded.load(std::memory_order_acquire);
}

void NSThreadExt::sleepForTimeInterval(double seconds)
{
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

void NSThreadExt::sleepUntilDate(RunLoop::TimePoint date)
{
    std::this_thread::sleep_until(date);
}

// --- running ------------------------------------------------------------------------------

void NSThreadExt::main()
{
    if (context_)
        context_->execute();
}

void NSThreadExt::start()
{
    ZOV_ASSERT(!started_.exchange(true, std::memory_order_acq_rel), "Thread already started");
    ThreadMessages::prepareForThreadMessages();
    multiThreaded.store(true, std::memory_order_release);
    {
        std::lock_guard lock(abortMutex_);
        bodyRunning_ = true;
    }

    StartRecord record {this, {}, {}, false};
    retain(); // released by the thread routine when the body has ended

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, StackSize);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int error = pthread_create(&thread, &attributes, &NSThreadExt::threadRoutine, &record);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        {
            std::lock_guard lock(abortMutex_);
            bodyRunning_ = false;
        }
        finished_.store(true, std::memory_order_release);
        release();
        ZOV_RAISE("Cannot create thread");
    }

    std::unique_lock lock(record.mutex);
    record.condition.wait(lock, [&] { return record.running; });
}

void* NSThreadExt::threadRoutine(void* startRecord)
{
    auto* record = static_cast<StartRecord*>(startRecord);
    NSThreadExt* self = record->thread;
    {
        std::lock_guard lock(self->mutex_);
        self->runLoop_ = Ref<RunLoop>(RunLoop::current()); // prepared for thread messages
    }
    currentWorker = self;
    self->executing_.store(true, std::memory_order_release);
    self->cancelled_.store(false, std::memory_order_release); // a cancel asked before the start is dropped
    {
        std::lock_guard lock(record->mutex);
        record->running = true;
        record->condition.notify_one();
    }
    // `record` may be gone from here on.

    // Ends the worker whether the body returns, raises, or the thread is unwound.
    struct Finisher {
        NSThreadExt* self;
        ~Finisher() { self->bodyEnded(); }
    } finisher {self};

    try {
        self->main();
    } catch (abi::__forced_unwind&) {
        throw; // pthread_exit/cancel: must go on unwinding
    } catch (const Exception& e) {
        ZovLog("NSThreadExt::threadRoutine exception in thread " + self->description() + ": " + e.description());
    } catch (const std::exception& e) {
        ZovLog("NSThreadExt::threadRoutine exception in thread " + self->description() + ": " + e.what());
    } catch (...) {
        ZovLog("NSThreadExt::threadRoutine unknown exception in thread " + self->description());
    }
    return nullptr;
}

void NSThreadExt::bodyEnded()
{
    executing_.store(false, std::memory_order_release);
    finished_.store(true, std::memory_order_release);
    {
        std::lock_guard lock(mutex_);
        runLoop_ = nullptr;
    }
    currentWorker = nullptr;
    {
        std::lock_guard lock(abortMutex_);
        bodyRunning_ = false;
        abortCondition_.notify_all();
    }
    release(); // may end the worker here, on its own thread
}

void NSThreadExt::cancel()
{
    cancelled_.store(true, std::memory_order_release);
}

void NSThreadExt::abort()
{
    if (cancelled_.exchange(true, std::memory_order_acq_rel))
        return;
    if (!started_.load(std::memory_order_acquire) || currentWorker == this)
        return; // nothing to wait for / waiting for ourselves would never end
    std::unique_lock lock(abortMutex_);
    abortCondition_.wait(lock, [this] { return !bodyRunning_; });
}

// --- names --------------------------------------------------------------------------------

void NSThreadExt::setName(std::string name)
{
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::string NSThreadExt::name() const
{
    std::lock_guard lock(mutex_);
    return name_;
}

std::string NSThreadExt::description() const
{
    std::string name = this->name();
    if (!name.empty())
        return "NSThreadExt '" + name + "'";
    char text[48];
    std::snprintf(text, sizeof text, "NSThreadExt %p", static_cast<const void*>(this));
    return text;
}

Ref<RunLoop> NSThreadExt::runLoop() const
{
    std::lock_guard lock(mutex_);
    return runLoop_;
}

// --- queues -------------------------------------------------------------------------------

Ref<ThreadSafeQueue> NSThreadExt::requestsQueue()
{
    std::lock_guard lock(mutex_);
    if (!requestsQueue_)
        requestsQueue_ = ThreadSafeQueue::create();
    return requestsQueue_;
}

Ref<ThreadSafeQueue> NSThreadExt::resultsQueue()
{
    std::lock_guard lock(mutex_);
    if (!resultsQueue_)
        resultsQueue_ = ThreadSafeQueue::create();
    return resultsQueue_;
}

void NSThreadExt::setRequestsQueue(Ref<ThreadSafeQueue> queue)
{
    std::lock_guard lock(mutex_);
    std::swap(requestsQueue_, queue); // the old queue is released after the lock
}

void NSThreadExt::setResultsQueue(Ref<ThreadSafeQueue> queue)
{
    std::lock_guard lock(mutex_);
    std::swap(resultsQueue_, queue);
}

void NSThreadExt::addRequest(Value request)
{
    requestsQueue()->enqueue(std::move(request));
}

void NSThreadExt::addResult(Value result)
{
    resultsQueue()->enqueue(std::move(result));
}

Value NSThreadExt::getRequestFirst(bool first, bool onlyTry)
{
    auto queue = requestsQueue();
    return onlyTry ? queue->tryDequeue(first) : queue->dequeue(first);
}

Value NSThreadExt::getResultFirst(bool first, bool onlyTry)
{
    auto queue = resultsQueue();
    return onlyTry ? queue->tryDequeue(first) : queue->dequeue(first);
}

Ref<ThreadNotificationListener> NSThreadExt::addRequestsQueueNotificationListner(Ref<Object> object,
                                                                                 ThreadNotificationListener::Selector selector,
                                                                                 Value param)
{
    return requestsQueue()->addDequeueNotificationListner(std::move(object), std::move(selector), std::move(param));
}

Ref<ThreadNotificationListener> NSThreadExt::addResultsQueueNotificationListner(Ref<Object> object,
                                                                                ThreadNotificationListener::Selector selector,
                                                                                Value param)
{
    return resultsQueue()->addDequeueNotificationListner(std::move(object), std::move(selector), std::move(param));
}

} // namespace vistel
