#pragma once
// PlatformApplication: the program's QApplication, the glue between Qt and our run loops.
//
// Made once, first thing in main() (and in GUI test mains), on the thread that is to be the
// main thread. It records that thread as the main thread (a repeated record from the same
// thread is harmless), and makes the QtRunLoopAdapter that lets Qt's event loop pump the main
// RunLoop: from then on performs, timers and notifications of the main loop run in between Qt's
// events, also inside nested Qt loops (menus, modal dialogs). A modal alert finds the adapter
// through runLoopAdapter() to switch the main loop into the modal-panel mode while it runs.
//
// Around every event it delivers, the application tells EventTracking (mouse tracking mode, the
// pressed widget, window updates after input events).
//
// Qt event handlers are a boundary no exception may cross: notify() catches what a handler
// throws, logs it with ZovLog and carries on.
//
// Errors reach the user through presentError(): an alert with the record's description, its
// recovery suggestion and one button per recovery option; the record's recovery attempter
// decides the answer. terminate() ends the program; tests install a handler to see it.
//
// Thread rules: made, used and destroyed on the main thread; beep() from any thread (it hops
// to the main thread when needed).

#include <functional>
#include <memory>

#include <QApplication>

#include "Platform/ErrorRecord.h"

namespace vistel {

class QtRunLoopAdapter;

class PlatformApplication : public QApplication {
public:
    PlatformApplication(int& argc, char** argv);
    ~PlatformApplication() override;

    // The adapter of the living application object, or null when there is none.
    static QtRunLoopAdapter* runLoopAdapter();

    // The system beep of refused input. Tests replace it to count beeps; an empty handler
    // restores the real one. Answers the previous handler.
    using BeepHandler = std::function<void()>;
    static void beep();
    static BeepHandler setBeepHandler(BeepHandler handler);

    // Shows the error as a modal alert (message: the description; informative text: the
    // recovery suggestion; buttons: the recovery options, or "OK" when there are none). Answers
    // what the recovery attempter answers for the chosen option; false without an attempter.
    // Main thread only.
    static bool presentError(const ErrorRecord& error);

    // Ends the program: the handler when one is set (tests), else the process exits. An empty
    // handler restores the real one. Answers the previous handler.
    using TerminateHandler = std::function<void()>;
    static void terminate();
    static TerminateHandler setTerminateHandler(TerminateHandler handler);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::unique_ptr<QtRunLoopAdapter> adapter_;
};

} // namespace vistel
