#pragma once
// NotificationQueue: notifications posted later, in chosen run-loop modes, coalesced.
//
// Each thread has a default queue (defaultQueue()), bound to that thread's run loop and the
// default notification centre. Posting styles:
//   NSPostNow      - posted at once, after removing the queued notifications it coalesces with;
//   NSPostASAP     - posted at the end of the current (or next) pass of the run loop in one of
//                    the notification's modes, before the loop waits again;
//   NSPostWhenIdle - posted when the run loop, in one of the modes, has nothing else queued.
// Coalescing (a mask of NSNotificationCoalescingOnName / OnSender): a new notification
// replaces the queued ones with the same name and/or the same sender, so many changes within
// one pass reach observers once, with the newest user info.
//
// Thread rules: a queue posts only on its run loop's thread. Enqueueing from another thread
// is safe (the loop is woken), though the program's callers enqueue on the loop's thread.
// A queue may be released on any thread, even while its loop is posting. Notifications
// queued when the loop's thread ends are dropped.

#include <memory>

#include "Platform/NotificationCenter.h"
#include "Platform/RunLoop.h"

namespace vistel {

enum class PostingStyle { NSPostWhenIdle = 1, NSPostASAP = 2, NSPostNow = 3 };

enum NotificationCoalescing : unsigned {
    NSNotificationNoCoalescing = 0,
    NSNotificationCoalescingOnName = 1,
    NSNotificationCoalescingOnSender = 2,
};

class NotificationQueue : public Object {
public:
    // The calling thread's default queue, made on first use.
    static NotificationQueue& defaultQueue();
    static Ref<NotificationQueue> create(NotificationCenter& center, RunLoop* loop);

    void enqueueNotification(Notification notification, PostingStyle style,
                             unsigned coalesceMask = NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender,
                             RunLoop::Modes modes = {NSDefaultRunLoopMode});
    // Removes the queued notifications that match `notification` under `coalesceMask`
    // (NSNotificationNoCoalescing matches nothing).
    void dequeueNotificationsMatching(const Notification& notification, unsigned coalesceMask);

private:
    NotificationQueue(NotificationCenter& center, RunLoop* loop);
    ~NotificationQueue() override;

    // What the loop's observer uses, shared with it: a queue released on another thread while
    // its loop is posting stays whole until that post is over.
    struct State;
    std::shared_ptr<State> state_;
    Ref<RunLoop> loop_;
    RunLoop::ObserverId observer_ = 0;
};

} // namespace vistel
