#pragma once
// ThreadSafeQueue: the blocking queue between threads.
//
// Holds Values (the request and result dictionaries of the updater threads), oldest first.
// dequeue() blocks until there is something to take; tryDequeue() never blocks and answers a
// null Value when nothing could be taken - also when the queue was busy at that instant, so a
// caller that drains with tryDequeue() must expect to be told again (listeners are).
//
// Listeners are told once per enqueued object, on the thread that registered them, through a
// thread message (ThreadMessages.h): later on that thread's run loop, or at once inside
// enqueue() when that thread is the enqueuing one. They are told after the queue's lock is
// released, so a listener may take from (or add to) the same queue. A listener is handed its
// own parameter, not the object: it takes the objects from the queue itself.
//
// All operations may be called from any thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "Platform/Object.h"
#include "Platform/RunLoop.h"
#include "Platform/Value.h"

namespace vistel {

class ThreadNotificationListener : public Object {
public:
    using Selector = std::function<void(const Value& param)>;

    // `object` is kept alive as long as the listener; `selector` is what is called.
    static Ref<ThreadNotificationListener> createWithThread(RunLoop* thread, Ref<Object> object, Selector selector,
                                                            Value param);

    RunLoop* threadToNotify() const { return threadToNotify_.get(); }
    const Ref<Object>& objectToNotify() const { return objectToNotify_; }
    const Value& optionalParam() const { return optionalParam_; }
    void notify() const { selector_(optionalParam_); }

private:
    ThreadNotificationListener(RunLoop* thread, Ref<Object> object, Selector selector, Value param);

    Ref<RunLoop> threadToNotify_;
    Ref<Object> objectToNotify_;
    Selector selector_;
    Value optionalParam_;
};

class ThreadSafeQueue : public Object {
public:
    static Ref<ThreadSafeQueue> create() { return makeRef<ThreadSafeQueue>(); }
    ThreadSafeQueue() = default;

    // Appends `object` (never null) and tells every listener.
    void enqueue(Value object);
    // Waits until the queue is not empty, then removes and answers the first (or last) object.
    Value dequeue(bool first);
    // Removes and answers the first (or last) object, or null when the queue is empty or busy.
    Value tryDequeue(bool first);
    void clear();
    std::size_t count() const;

    // Registers a listener bound to the CALLING thread and answers it (the queue keeps it).
    Ref<ThreadNotificationListener> addDequeueNotificationListner(Ref<Object> object,
                                                                  ThreadNotificationListener::Selector selector,
                                                                  Value param = {});
    template <class T>
    Ref<ThreadNotificationListener> addDequeueNotificationListner(const Ref<T>& object, void (T::*selector)(const Value&),
                                                                  Value param = {})
    {
        T* target = object.get(); // kept alive by the listener
        return addDequeueNotificationListner(Ref<Object>(object), [target, selector](const Value& p) { (target->*selector)(p); },
                                             std::move(param));
    }
    void removeListner(const Ref<ThreadNotificationListener>& listener);
    std::vector<Ref<ThreadNotificationListener>> listeners() const;

private:
    Value take(bool first); // the lock is held

    mutable std::mutex lock_;
    std::condition_variable notEmpty_;
    std::deque<Value> elements_;

    mutable std::mutex listenersLock_;
    std::vector<Ref<ThreadNotificationListener>> listeners_;
};

} // namespace vistel
