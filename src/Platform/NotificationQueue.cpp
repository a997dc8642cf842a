#include "Platform/NotificationQueue.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "Platform/Exception.h"

namespace vistel {

struct NotificationQueue::State {
    struct Entry {
        Notification notification;
        RunLoop::Modes modes;
    };

    explicit State(NotificationCenter& c)
        : center(c)
    {
    }
    void post(std::deque<Entry>& list, const std::string& mode);
    void removeMatching(const Notification& notification, unsigned coalesceMask, std::vector<Entry>& removed);

    NotificationCenter& center;
    std::mutex mutex;
    std::deque<Entry> asap;
    std::deque<Entry> idle;
};

NotificationQueue& NotificationQueue::defaultQueue()
{
    // Per thread, like its run loop; released when the thread exits.
    thread_local Ref<NotificationQueue> queue = create(NotificationCenter::defaultCenter(), RunLoop::current());
    return *queue;
}

Ref<NotificationQueue> NotificationQueue::create(NotificationCenter& center, RunLoop* loop)
{
    ZOV_ASSERT(loop, "Invalid run loop");
    return Ref<NotificationQueue>::adopt(new NotificationQueue(center, loop));
}

NotificationQueue::NotificationQueue(NotificationCenter& center, RunLoop* loop)
    : state_(std::make_shared<State>(center))
    , loop_(loop)
{
    observer_ = loop_->addObserver([state = state_](RunLoop::Activity activity, const std::string& mode) {
        state->post(state->asap, mode);
        if (activity == RunLoop::Activity::BeforeWaiting)
            state->post(state->idle, mode);
    });
}

NotificationQueue::~NotificationQueue()
{
    loop_->removeObserver(observer_);
}

namespace {

bool matches(const Notification& a, const Notification& b, unsigned mask)
{
    if (mask == NSNotificationNoCoalescing)
        return false;
    if ((mask & NSNotificationCoalescingOnName) && a.name != b.name)
        return false;
    if ((mask & NSNotificationCoalescingOnSender) && a.object.get() != b.object.get())
        return false;
    return true;
}

} // namespace

void NotificationQueue::State::removeMatching(const Notification& notification, unsigned coalesceMask,
                                              std::vector<Entry>& removed)
{
    for (auto* list : {&asap, &idle}) {
        auto keep = std::stable_partition(list->begin(), list->end(),
                                          [&](const Entry& e) { return !matches(e.notification, notification, coalesceMask); });
        std::move(keep, list->end(), std::back_inserter(removed));
        list->erase(keep, list->end());
    }
}

void NotificationQueue::enqueueNotification(Notification notification, PostingStyle style, unsigned coalesceMask,
                                            RunLoop::Modes modes)
{
    std::vector<State::Entry> removed; // released outside the lock
    {
        std::lock_guard lock(state_->mutex);
        state_->removeMatching(notification, coalesceMask, removed);
        if (style == PostingStyle::NSPostASAP)
            state_->asap.push_back({std::move(notification), std::move(modes)});
        else if (style == PostingStyle::NSPostWhenIdle)
            state_->idle.push_back({std::move(notification), std::move(modes)});
    }
    if (style == PostingStyle::NSPostNow)
        state_->center.postNotification(notification);
    else
        loop_->wakeUp(); // so that a loop waiting, or driven from outside, makes a pass
}

void NotificationQueue::dequeueNotificationsMatching(const Notification& notification, unsigned coalesceMask)
{
    std::vector<State::Entry> removed;
    std::lock_guard lock(state_->mutex);
    state_->removeMatching(notification, coalesceMask, removed);
}

// Posts the notifications of `list` that were queued for `mode` when the call began; those
// queued by observers meanwhile wait for the next pass, so an observer that re-queues cannot
// keep the loop here.
void NotificationQueue::State::post(std::deque<Entry>& list, const std::string& mode)
{
    std::vector<Entry> batch;
    {
        std::lock_guard lock(mutex);
        auto keep = std::stable_partition(list.begin(), list.end(),
                                          [&](const Entry& e) { return !RunLoop::modesContain(e.modes, mode); });
        std::move(keep, list.end(), std::back_inserter(batch));
        list.erase(keep, list.end());
    }
    for (const auto& entry : batch)
        center.postNotification(entry.notification);
}

} // namespace vistel
