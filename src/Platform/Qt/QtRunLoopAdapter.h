#pragma once
// QtRunLoopAdapter: lets Qt's event loop drive a RunLoop (the program's main loop).
//
// The program's main thread blocks in Qt, not in RunLoop::run(). The adapter watches the
// loop's wake-up descriptor with a QSocketNotifier and keeps a precise single-shot QTimer armed
// for the loop's next timer date; whenever either fires it makes one non-blocking pass of the
// loop in the mode on top of its mode stack (the default mode when the stack is empty). So
// performs, timers, sources and the notification queue of the main loop run in between Qt's own
// events, in nested Qt event loops (menus, dialogs) too.
//
// A modal alert pushes the modal-panel mode for as long as it runs (ModeScope); work scheduled
// only for the default mode then waits and runs after the alert closes, while work scheduled in
// the common modes or the modal-panel mode goes on. Mouse tracking pushes the event-tracking mode
// the same way.
//
// Thread rules: made, used and destroyed on the loop's own thread (the main thread), under a
// QCoreApplication. One adapter per loop. The adapter never owns the loop.

#include <memory>
#include <string>
#include <vector>

#include "Platform/RunLoop.h"

class QSocketNotifier;
class QTimer;

namespace vistel {

class QtRunLoopAdapter {
public:
    // Drives `loop`, by default the recorded main loop.
    explicit QtRunLoopAdapter(RunLoop* loop = RunLoop::main());
    ~QtRunLoopAdapter();
    QtRunLoopAdapter(const QtRunLoopAdapter&) = delete;
    QtRunLoopAdapter& operator=(const QtRunLoopAdapter&) = delete;

    void pushMode(std::string mode);
    void popMode();
    // The mode passes run in now.
    std::string currentMode() const;

    // Pushes a mode for its lifetime: `QtRunLoopAdapter::ModeScope modal(adapter, NSModalPanelRunLoopMode);`
    class ModeScope {
    public:
        ModeScope(QtRunLoopAdapter& adapter, std::string mode) : adapter_(adapter) { adapter_.pushMode(std::move(mode)); }
        ~ModeScope() { adapter_.popMode(); }
        ModeScope(const ModeScope&) = delete;
        ModeScope& operator=(const ModeScope&) = delete;

    private:
        QtRunLoopAdapter& adapter_;
    };

private:
    void pass();
    void armTimer();

    Ref<RunLoop> loop_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> timer_;
    std::vector<std::string> modes_;
};

} // namespace vistel
