#pragma once
// NotificationCenter: process-wide, synchronous notifications by name.
//
// An observer registers a callback for a notification name (empty: every name) and an object
// (null: every object); posting calls the matching callbacks at once, on the posting thread, in
// the order of registration. The object filter is an identity and is not retained; the
// notification itself keeps its object alive while it is being delivered or queued.
//
// Observers may be added and removed from any thread, also from inside a callback while a
// notification is being posted: an observer removed during a post is not called after its
// removal returned; one added during a post first hears the next post. A callback already
// running on another thread when removeObserver() returns may still be finishing: remove an
// observer on the thread that receives its notifications before destroying it.
//
// Posting is not deferred: the notification queue (NotificationQueue.h) posts later, coalesced.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

struct Notification {
    std::string name;
    Ref<Object> object; // the sender, or null
    Value userInfo;     // a dictionary, or null
};

class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // `observer` is only the identity removeObserver() matches on (usually `this`).
    void addObserver(const void* observer, Callback callback, std::string name, const Object* object = nullptr);
    // Removes every registration of `observer`.
    void removeObserver(const void* observer);
    // Removes the registrations of `observer` for `name` (empty: any) and `object` (null: any).
    void removeObserver(const void* observer, std::string_view name, const Object* object);

    void postNotification(const Notification& notification);
    void postNotificationName(std::string name, Ref<Object> object = {}, Value userInfo = {});

private:
    struct Registration;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};

} // namespace vistel
