#include "Common/Tools/Threads/ThreadSafeQueue.h"

#include <algorithm>

#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/Exception.h"

namespace vistel {

Ref<ThreadNotificationListener> ThreadNotificationListener::createWithThread(RunLoop* thread, Ref<Object> object,
                                                                             Selector selector, Value param)
{
    return Ref<ThreadNotificationListener>::adopt(
        new ThreadNotificationListener(thread, std::move(object), std::move(selector), std::move(param)));
}

ThreadNotificationListener::ThreadNotificationListener(RunLoop* thread, Ref<Object> object, Selector selector, Value param)
    : threadToNotify_(thread)
    , objectToNotify_(std::move(object))
    , selector_(std::move(selector))
    , optionalParam_(std::move(param))
{
    ZOV_ASSERT(thread && selector_, "Invalid listener");
}

void ThreadSafeQueue::enqueue(Value object)
{
    ZOV_ASSERT(!object.isNull(), "Cannot enqueue a null object");
    {
        std::lock_guard lock(lock_);
        elements_.push_back(std::move(object));
    }
    notEmpty_.notify_one();

    // Told outside the queue's lock: a listener of this very thread runs right here and may
    // take from the queue. Registration order is kept.
    std::vector<Ref<ThreadNotificationListener>> listeners;
    {
        std::lock_guard lock(listenersLock_);
        listeners = listeners_;
    }
    for (auto& listener : listeners)
        ThreadMessages::performSelector([listener] { listener->notify(); }, listener->threadToNotify(), false);
}

Value ThreadSafeQueue::take(bool first)
{
    Value object;
    if (first) {
        object = std::move(elements_.front());
        elements_.pop_front();
    } else {
        object = std::move(elements_.back());
        elements_.pop_back();
    }
    return object;
}

Value ThreadSafeQueue::dequeue(bool first)
{
    std::unique_lock lock(lock_);
    notEmpty_.wait(lock, [this] { return !elements_.empty(); });
    Value object = take(first);
    const bool more = !elements_.empty();
    lock.unlock();
    if (more)
        notEmpty_.notify_one(); // another waiting taker may go on
    return object;
}

Value ThreadSafeQueue::tryDequeue(bool first)
{
    std::unique_lock lock(lock_, std::try_to_lock);
    if (!lock.owns_lock() || elements_.empty())
        return Value();
    return take(first);
}

void ThreadSafeQueue::clear()
{
    std::deque<Value> removed; // released outside the lock
    std::lock_guard lock(lock_);
    removed.swap(elements_);
}

std::size_t ThreadSafeQueue::count() const
{
    std::lock_guard lock(lock_);
    return elements_.size();
}

Ref<ThreadNotificationListener> ThreadSafeQueue::addDequeueNotificationListner(Ref<Object> object,
                                                                               ThreadNotificationListener::Selector selector,
                                                                               Value param)
{
    auto listener = ThreadNotificationListener::createWithThread(RunLoop::current(), std::move(object), std::move(selector),
                                                                 std::move(param));
    std::lock_guard lock(listenersLock_);
    listeners_.push_back(listener);
    return listener;
}

void ThreadSafeQueue::removeListner(const Ref<ThreadNotificationListener>& listener)
{
    Ref<ThreadNotificationListener> removed;
    std::lock_guard lock(listenersLock_);
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it != listeners_.end()) {
        removed = std::move(*it);
        listeners_.erase(it);
    }
}

std::vector<Ref<ThreadNotificationListener>> ThreadSafeQueue::listeners() const
{
    std::lock_guard lock(listenersLock_);
    return listeners_;
}

} // namespace vistel
