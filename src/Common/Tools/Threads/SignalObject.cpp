#include "Common/Tools/Threads/SignalObject.h"

#include "Common/Tools/Threads/DoneSignal.h"

#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/RunLoop.h"

namespace vistel {

// Shared by a receiver and the deliveries queued to it, so that a delivery never calls into a
// receiver that was destroyed, or one that disconnected everything after it was queued.
struct SignalObject::ReceiverState {
    std::atomic<bool> alive {true};
    std::atomic<std::uint64_t> epoch {0}; // advanced by disconnectAll / disconnectAllSelectors
};

namespace {

class ZovNotificationCenterWorker;

struct ZovNotificationCenterConnection {
    SignalObject* sender_;   // not retained
    SignalObject* receiver_; // not retained
    std::shared_ptr<SignalObject::ReceiverState> receiverState_;
    std::string signal_;
    std::string selector_;
    SignalObject::Slot slot_;
    ConnectionType connectionType_;
    ZovNotificationCenterWorker* worker_; // kept by the registry
    std::atomic<bool> connected_ {true};
};

using ConnectionPtr = std::shared_ptr<ZovNotificationCenterConnection>;

// One queued delivery. Destroying it (after it ran, or when it is dropped) releases a blocked
// emitter.
class ZovNotificationCenterNotification {
public:
    ZovNotificationCenterNotification(ConnectionPtr connection, Notification notification,
                                      std::shared_ptr<DoneSignal> waiter)
        : connection_(std::move(connection))
        , notification_(std::move(notification))
        , epoch_(connection_->receiverState_->epoch.load(std::memory_order_acquire))
        , conditionMutex_(std::move(waiter))
    {
    }
    ZovNotificationCenterNotification(ZovNotificationCenterNotification&&) noexcept = default;
    ZovNotificationCenterNotification& operator=(ZovNotificationCenterNotification&& other) noexcept
    {
        if (this != &other) {
            if (conditionMutex_)
                conditionMutex_->signal(); // never lose a blocked emitter
            connection_ = std::move(other.connection_);
            notification_ = std::move(other.notification_);
            epoch_ = other.epoch_;
            conditionMutex_ = std::move(other.conditionMutex_);
        }
        return *this;
    }
    ~ZovNotificationCenterNotification()
    {
        if (conditionMutex_)
            conditionMutex_->signal();
    }

    bool isFor(const SignalObject::ReceiverState* state) const { return connection_->receiverState_.get() == state; }

    void deliver()
    {
        const auto& state = *connection_->receiverState_;
        if (!state.alive.load(std::memory_order_acquire) || state.epoch.load(std::memory_order_acquire) != epoch_)
            return;
        connection_->slot_(notification_);
    }

private:
    ConnectionPtr connection_;
    Notification notification_;
    std::uint64_t epoch_;
    std::shared_ptr<DoneSignal> conditionMutex_;
};

// The receiving side of one thread: its pending deliveries and its run loop.
class ZovNotificationCenterWorker : public Object {
public:
    static Ref<ZovNotificationCenterWorker> workerWithThread(RunLoop* runLoop)
    {
        return Ref<ZovNotificationCenterWorker>::adopt(new ZovNotificationCenterWorker(runLoop));
    }

    RunLoop* runLoop() const { return runLoop_.get(); }

    void enqueue(ZovNotificationCenterNotification delivery)
    {
        bool schedule = false;
        {
            std::lock_guard lock(pendingNotificationsMutex_);
            pendingNotifications_.push_back(std::move(delivery));
            if (!isScheduled_)
                schedule = isScheduled_ = true;
        }
        if (!schedule)
            return;
        Ref<ZovNotificationCenterWorker> self(this);
        if (runLoop_->perform([self] { self->processPendingNotifications(); }, {NSRunLoopCommonModes}, 0, this))
            return;
        // The receiving thread has ended: nothing will ever run there.
        std::deque<ZovNotificationCenterNotification> dropped;
        std::lock_guard lock(pendingNotificationsMutex_);
        dropped.swap(pendingNotifications_);
        isScheduled_ = false;
    }

    void processPendingNotifications()
    {
        std::deque<ZovNotificationCenterNotification> batch;
        {
            std::lock_guard lock(pendingNotificationsMutex_);
            isScheduled_ = false;
            batch.swap(pendingNotifications_);
        }
        while (!batch.empty()) {
            try {
                batch.front().deliver();
            } catch (const Exception& e) {
                ZovLog("ZovNotificationCenterWorker::processPendingNotifications exception in a slot: " + e.description());
            } catch (const std::exception& e) {
                ZovLog(std::string("ZovNotificationCenterWorker::processPendingNotifications exception in a slot: ") + e.what());
            }
            batch.pop_front(); // releases a blocked emitter
        }
    }

    void removePendingFor(const SignalObject::ReceiverState* state)
    {
        std::deque<ZovNotificationCenterNotification> removed; // released outside the lock
        std::lock_guard lock(pendingNotificationsMutex_);
        auto keep = std::stable_partition(pendingNotifications_.begin(), pendingNotifications_.end(),
                                          [state](const auto& d) { return !d.isFor(state); });
        std::move(keep, pendingNotifications_.end(), std::back_inserter(removed));
        pendingNotifications_.erase(keep, pendingNotifications_.end());
    }

private:
    explicit ZovNotificationCenterWorker(RunLoop* runLoop) : runLoop_(runLoop) { }

    std::mutex pendingNotificationsMutex_;
    std::deque<ZovNotificationCenterNotification> pendingNotifications_;
    Ref<RunLoop> runLoop_;
    bool isScheduled_ = false;
};

struct Registry {
    std::mutex workersLock;
    std::unordered_map<RunLoop*, Ref<ZovNotificationCenterWorker>> workers; // never removed
    std::mutex connectionsLock;
    std::vector<ConnectionPtr> connections; // in the order of connecting
};

Registry& registry()
{
    static Registry* instance = new Registry; // lives for the whole process
    return *instance;
}

[[noreturn]] void raiseConnectionError(const char* name, const char* reason)
{
    throw Exception(name, reason);
}

} // namespace

SignalObject::SignalObject()
    : state_(std::make_shared<ReceiverState>())
{
}

SignalObject::~SignalObject()
{
    state_->alive.store(false, std::memory_order_release);
    disconnectAll();
}

void SignalObject::addSlot(std::string selector, Slot slot)
{
    std::lock_guard lock(slotsMutex_);
    slots_[std::move(selector)] = std::move(slot);
}

SignalObject::Slot SignalObject::slotNamed(std::string_view selector) const
{
    std::lock_guard lock(slotsMutex_);
    auto it = slots_.find(selector);
    return it == slots_.end() ? Slot() : it->second;
}

bool SignalObject::respondsToSelector(std::string_view selector) const
{
    return static_cast<bool>(slotNamed(selector));
}

std::string SignalObject::className() const
{
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                          &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    // Drop the namespaces (vistel::, (anonymous namespace)::) of the class itself, not those
    // inside template arguments.
    const auto scope = name.rfind("::", name.find('<'));
    if (scope != std::string::npos)
        name.erase(0, scope + 2);
    return name;
}

bool SignalObject::connectSignal(SignalObject* sender, std::string signal, std::string_view selector, ConnectionType type)
{
    Slot slot = slotNamed(selector);
    if (!slot)
        throw Exception("_connect()", format("Reveiver '%@' not responds to selector '%@'", className(), selector));
    ZOV_ASSERT(sender, "Invalid sender");

    auto& r = registry();
    ZovNotificationCenterWorker* worker;
    {
        std::lock_guard lock(r.workersLock);
        RunLoop* thread = RunLoop::current();
        auto& entry = r.workers[thread];
        if (!entry)
            entry = ZovNotificationCenterWorker::workerWithThread(thread);
        worker = entry.get();
    }
    auto connection = std::make_shared<ZovNotificationCenterConnection>();
    connection->sender_ = sender;
    connection->receiver_ = this;
    connection->receiverState_ = state_;
    connection->signal_ = std::move(signal);
    connection->selector_ = std::string(selector);
    connection->slot_ = std::move(slot);
    connection->connectionType_ = type;
    connection->worker_ = worker;
    std::lock_guard lock(r.connectionsLock);
    r.connections.push_back(std::move(connection));
    return true;
}

namespace {

// Takes the matching connections out of the registry; answers them (released by the caller,
// outside the lock).
template <class Pred>
std::vector<ConnectionPtr> removeConnections(Pred pred, bool firstOnly = false)
{
    auto& r = registry();
    std::vector<ConnectionPtr> removed;
    std::lock_guard lock(r.connectionsLock);
    for (auto it = r.connections.begin(); it != r.connections.end();) {
        if (pred(**it)) {
            (*it)->connected_.store(false, std::memory_order_release);
            removed.push_back(std::move(*it));
            it = r.connections.erase(it);
            if (firstOnly)
                break;
        } else {
            ++it;
        }
    }
    return removed;
}

void removePendingDeliveries(const std::vector<ConnectionPtr>& removed, const SignalObject* receiver,
                             SignalObject::ReceiverState* state)
{
    std::vector<ZovNotificationCenterWorker*> workers;
    for (const auto& c : removed)
        if (c->receiver_ == receiver && std::find(workers.begin(), workers.end(), c->worker_) == workers.end())
            workers.push_back(c->worker_);
    for (auto* worker : workers)
        worker->removePendingFor(state);
}

} // namespace

bool SignalObject::disconnectSignal(SignalObject* sender, std::string_view signal, std::string_view selector)
{
    auto removed = removeConnections(
        [&](const ZovNotificationCenterConnection& c) {
            return c.sender_ == sender && c.receiver_ == this && c.signal_ == signal && c.selector_ == selector;
        },
        true);
    return !removed.empty();
}

void SignalObject::disconnectAll()
{
    // Deliveries already taken out for running are skipped through the epoch.
    state_->epoch.fetch_add(1, std::memory_order_acq_rel);
    auto removed = removeConnections(
        [this](const ZovNotificationCenterConnection& c) { return c.sender_ == this || c.receiver_ == this; });
    removePendingDeliveries(removed, this, state_.get());
}

void SignalObject::disconnectAllSignals()
{
    removeConnections([this](const ZovNotificationCenterConnection& c) { return c.sender_ == this; });
}

void SignalObject::disconnectAllSelectors()
{
    state_->epoch.fetch_add(1, std::memory_order_acq_rel);
    auto removed = removeConnections([this](const ZovNotificationCenterConnection& c) { return c.receiver_ == this; });
    removePendingDeliveries(removed, this, state_.get());
}

void SignalObject::emitSignal(std::string name, Value userInfo)
{
    emitNotification(Notification {std::move(name), {}, std::move(userInfo)});
}

void SignalObject::emitNotification(Notification notification)
{
    notification.object = Ref<Object>(this);
    std::vector<ConnectionPtr> matching;
    {
        auto& r = registry();
        std::lock_guard lock(r.connectionsLock);
        for (const auto& c : r.connections)
            if (c->sender_ == this && c->signal_ == notification.name)
                matching.push_back(c);
    }
    // Slots run, and blocking emits wait, outside the connections lock.
    for (const auto& c : matching) {
        if (!c->connected_.load(std::memory_order_acquire))
            continue; // disconnected by an earlier slot of this emit
        RunLoop* receiverThread = c->worker_ ? c->worker_->runLoop() : nullptr;
        if (!receiverThread)
            raiseConnectionError("_makeRealConnectionType()", "Both senderThread and receiverThread must be specified");
        const bool sameThread = receiverThread->isCurrent();
        auto runNow = [&] {
            if (c->receiverState_->alive.load(std::memory_order_acquire))
                c->slot_(notification);
        };
        switch (c->connectionType_) {
        case ConnectionType::Direct:
            runNow();
            break;
        case ConnectionType::Automatic:
            if (sameThread)
                runNow();
            else
                c->worker_->enqueue(ZovNotificationCenterNotification(c, notification, nullptr));
            break;
        case ConnectionType::Queued:
            c->worker_->enqueue(ZovNotificationCenterNotification(c, notification, nullptr));
            break;
        case ConnectionType::BlockingQueued:
            if (sameThread) {
                runNow();
            } else {
                auto waiter = std::make_shared<DoneSignal>();
                c->worker_->enqueue(ZovNotificationCenterNotification(c, notification, waiter));
                waiter->wait();
            }
            break;
        default:
            raiseConnectionError("_makeRealConnectionType()", "Invalid connectionType");
        }
    }
}

} // namespace vistel
