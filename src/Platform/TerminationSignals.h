#pragma once
// TerminationSignals: SIGTERM and SIGINT as run-loop events instead of asynchronous handlers.
//
// block() takes both signals out of the calling thread's mask; called first thing in main(),
// before any thread starts, every later thread inherits the mask, so the signals stay pending
// for the process until a signalfd reads them. watch() makes that signalfd and serves it from
// a descriptor source of the loop (all common modes, so also during a modal alert): the
// callback runs on the loop's thread with the signal's number, where it may save and quit
// in the ordinary way.
//
// Thread rules: block() on the main thread before threads start; watch() and the destructor on
// the loop's thread.

#include <functional>

#include "Platform/RunLoop.h"

namespace vistel {

class TerminationSignals {
public:
    static void block();

    using Handler = std::function<void(int signal)>;
    TerminationSignals() = default;
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Starts serving the signals on `loop`; false (logged) when no signalfd could be made.
    bool watch(RunLoop* loop, Handler handler);

private:
    int fd_ = -1;
    RunLoop* loop_ = nullptr;
    RunLoop::SourceId source_ = 0;
    Handler handler_;
};

} // namespace vistel
