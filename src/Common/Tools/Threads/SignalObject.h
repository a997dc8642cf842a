#pragma once
// Signals and slots across threads.
//
// A SignalObject can emit named signals and can receive them in named slots. A receiver
// registers its slots (addSlot) and connects one of them to a signal of a sender. The slot
// always runs on the thread that made the connection: at once, inside emitSignal(), when the
// signal is emitted on that thread; otherwise the delivery is queued to that thread's run loop
// (common modes) and runs at its next pass, in emit order. The connecting thread must
// therefore run its run loop for queued slots to run.
//
// Connection kinds: automatic (the rule above; what connectSignal makes unless asked), direct
// (always at once, on the emitting thread), queued (always through the run loop), blocking
// queued (through the run loop, and the emitter waits until the slot has run; at once on the
// connecting thread). A blocking emit towards a thread that waits for the emitter deadlocks.
//
// Lifetime: connections hold neither sender nor receiver. A SignalObject that is destroyed
// disconnects everything it takes part in, and deliveries still queued to it are dropped.
// Destroy a receiver on its connecting thread (where its slots run); a derived class whose
// slots use its own members should call disconnectAll() first in its destructor when it may
// be destroyed elsewhere. Slots run outside the registry's locks, so a slot may emit, connect,
// disconnect, or destroy receivers.
//
// Errors: connecting a slot the receiver does not provide raises "_connect()" with the reason
// "Reveiver '<class>' not responds to selector '<slot>'".

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "Platform/NotificationCenter.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

enum class ConnectionType : std::int32_t { Automatic = 0, Direct = 1, Queued = 2, BlockingQueued = 3 };

class SignalObject : public Object {
public:
    using Slot = std::function<void(const Notification&)>;

    // Connects this object's slot `selector` to `signal` of `sender`. Connecting twice makes
    // two connections (the slot then runs twice). Answers true.
    bool connectSignal(SignalObject* sender, std::string signal, std::string_view selector,
                       ConnectionType type = ConnectionType::Automatic);
    // Removes the first connection of this receiver with this sender, signal and slot; pending
    // deliveries stay. Answers whether one was removed.
    bool disconnectSignal(SignalObject* sender, std::string_view signal, std::string_view selector);
    // Removes every connection in which this object is sender or receiver, and the deliveries
    // queued to it.
    void disconnectAll();
    // Removes every connection in which this object is the sender; pending deliveries stay.
    void disconnectAllSignals();
    // Removes every connection in which this object is the receiver, and the deliveries queued
    // to it.
    void disconnectAllSelectors();

    void emitSignal(std::string name, Value userInfo = {});
    // Dispatches `notification` (its object is set to this sender).
    void emitNotification(Notification notification);

    // Whether the object provides the slot `selector`.
    bool respondsToSelector(std::string_view selector) const;
    // The class name used in exception texts (the dynamic type, without namespace).
    virtual std::string className() const;

    // Per-receiver state shared with queued deliveries (internal).
    struct ReceiverState;

protected:
    SignalObject();
    ~SignalObject() override;

    // Registers (or replaces) the slot `selector`; the function runs on the connecting thread.
    void addSlot(std::string selector, Slot slot);

private:
    Slot slotNamed(std::string_view selector) const;

    mutable std::mutex slotsMutex_;
    std::map<std::string, Slot, std::less<>> slots_;
    std::shared_ptr<ReceiverState> state_;
};

} // namespace vistel
