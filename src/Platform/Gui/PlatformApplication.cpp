#include "Platform/Gui/PlatformApplication.h"

#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>

#include "Platform/Exception.h"
#include "Platform/Gui/EventTracking.h"
#include "Platform/Gui/View.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Log.h"
#include "Platform/Qt/QtRunLoopAdapter.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {

PlatformApplication* theApplication = nullptr; // main thread only

std::mutex handlersMutex;
PlatformApplication::BeepHandler beepHandler; // guarded by handlersMutex
PlatformApplication::TerminateHandler terminateHandler; // guarded by handlersMutex

} // namespace

PlatformApplication::PlatformApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    RunLoop::recordMainThread();
    ZOV_ASSERT(!theApplication, "Double initialization of the application object");
    adapter_ = std::make_unique<QtRunLoopAdapter>(RunLoop::main());
    theApplication = this;
}

PlatformApplication::~PlatformApplication()
{
    EventTracking::endTracking();
    View::releaseDetachedViews();
    theApplication = nullptr;
    adapter_.reset();
}

QtRunLoopAdapter* PlatformApplication::runLoopAdapter()
{
    return theApplication ? theApplication->adapter_.get() : nullptr;
}

void PlatformApplication::beep()
{
    BeepHandler handler;
    {
        std::lock_guard lock(handlersMutex);
        handler = beepHandler;
    }
    if (handler) {
        handler();
        return;
    }
    if (RunLoop::isMainThread() || !RunLoop::main()) {
        QApplication::beep();
        return;
    }
    RunLoop::main()->perform([] { QApplication::beep(); });
}

PlatformApplication::BeepHandler PlatformApplication::setBeepHandler(BeepHandler handler)
{
    std::lock_guard lock(handlersMutex);
    return std::exchange(beepHandler, std::move(handler));
}

bool PlatformApplication::presentError(const ErrorRecord& error)
{
    ZOV_ASSERT(RunLoop::isMainThread(), "presentError outside the main thread");
    Alert alert;
    alert.setAlertStyle(AlertStyle::Critical);
    alert.setMessageText(error.localizedDescription());
    alert.setInformativeText(error.localizedRecoverySuggestion());
    std::vector<std::string> options = error.localizedRecoveryOptions();
    if (options.empty())
        options.push_back("OK");
    for (const std::string& option : options)
        alert.addButtonWithTitle(option);
    const int answer = alert.runModal();
    const int optionIndex = answer - NSAlertFirstButtonReturn;
    if (!error.recoveryAttempter || optionIndex < 0 || optionIndex >= static_cast<int>(options.size()))
        return false;
    return error.recoveryAttempter(error, optionIndex);
}

void PlatformApplication::terminate()
{
    TerminateHandler handler;
    {
        std::lock_guard lock(handlersMutex);
        handler = terminateHandler;
    }
    if (handler) {
        handler();
        return;
    }
    ZovLog("PlatformApplication::terminate");
    std::exit(EXIT_SUCCESS);
}

PlatformApplication::TerminateHandler PlatformApplication::setTerminateHandler(TerminateHandler handler)
{
    std::lock_guard lock(handlersMutex);
    return std::exchange(terminateHandler, std::move(handler));
}

bool PlatformApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        // The receiver may be gone afterwards (a window closed by a click): only the event is read then.
        const bool watched = EventTracking::willDeliver(receiver, event);
        const bool result = QApplication::notify(receiver, event);
        if (watched)
            EventTracking::didDeliver(event);
        return result;
    } catch (...) {
        logCaughtException("PlatformApplication::notify");
    }
    return false;
}

} // namespace vistel
