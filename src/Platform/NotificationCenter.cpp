#include "Platform/NotificationCenter.h"

#include <algorithm>
#include <atomic>

namespace vistel {

struct NotificationCenter::Registration {
    const void* observer;
    Callback callback;
    std::string name;
    const Object* object;
    std::atomic<bool> removed {false};
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter* center = new NotificationCenter; // lives past static destruction
    return *center;
}

void NotificationCenter::addObserver(const void* observer, Callback callback, std::string name, const Object* object)
{
    if (!callback)
        return;
    auto registration = std::make_shared<Registration>();
    registration->observer = observer;
    registration->callback = std::move(callback);
    registration->name = std::move(name);
    registration->object = object;
    std::lock_guard lock(mutex_);
    registrations_.push_back(std::move(registration));
}

void NotificationCenter::removeObserver(const void* observer)
{
    removeObserver(observer, {}, nullptr);
}

void NotificationCenter::removeObserver(const void* observer, std::string_view name, const Object* object)
{
    std::vector<std::shared_ptr<Registration>> removed;
    {
        std::lock_guard lock(mutex_);
        auto keep = std::stable_partition(registrations_.begin(), registrations_.end(), [&](const auto& r) {
            return !(r->observer == observer && (name.empty() || r->name == name) && (!object || r->object == object));
        });
        removed.assign(keep, registrations_.end());
        registrations_.erase(keep, registrations_.end());
    }
    for (auto& r : removed)
        r->removed.store(true, std::memory_order_release);
}

void NotificationCenter::postNotification(const Notification& notification)
{
    std::vector<std::shared_ptr<Registration>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_)
            if ((r->name.empty() || r->name == notification.name) && (!r->object || r->object == notification.object.get()))
                matching.push_back(r);
    }
    // Each registration is checked just before its call, so one removed by an earlier
    // callback of this post is skipped.
    for (auto& r : matching)
        if (!r->removed.load(std::memory_order_acquire))
            r->callback(notification);
}

void NotificationCenter::postNotificationName(std::string name, Ref<Object> object, Value userInfo)
{
    postNotification(Notification {std::move(name), std::move(object), std::move(userInfo)});
}

} // namespace vistel
