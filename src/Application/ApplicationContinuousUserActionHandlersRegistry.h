#pragma once
// The quit-time registry of running tasks.
//
// Long tasks (copies, moves, deletions, conversions) register while they run. Registration is
// a subscription to "ApplicationShouldTerminate" posted by the registry, so the registry keeps
// no list and retains no task. Asked whether the program may quit, the registry posts that
// notification; each task adds a reply record ("reply", "description", "sourcePath",
// "destinationPath") unless it answers 1 (nothing lost). Tasks answering 0 (work would be lost)
// are listed in an alert "There are tasks in progress:" with "Continue" (cancel the quit) and
// "Quit"; other answers are noted but not asked about. A value a task leaves out is left out of
// its record (only that key); a missing description shows as an empty line.
//
// Thread rules: main thread (the quit decision and the notification run there); a handler may
// be asked while its task runs on another thread and reads only its description data.

#include <optional>
#include <string>

#include "Platform/Object.h"
#include "Platform/Value.h"
#include "ZovClass.h"

namespace vistel {

class ApplicationContinuousUserActionHandlersRegistry;

inline constexpr const char* ApplicationShouldTerminateNotification = "ApplicationShouldTerminate";

enum : unsigned {
    ApplicationTaskWouldBeLost = 0,
    ApplicationTaskMayStop = 1,
};

// A task that must not be cut off silently.
class ApplicationContinuousUserActionHandler {
public:
    virtual ~ApplicationContinuousUserActionHandler();
    // 0: the task would be lost; 1: nothing is lost; anything else: noted, not asked about.
    virtual unsigned applicationShouldTerminate(ApplicationContinuousUserActionHandlersRegistry& registry,
                                                std::optional<std::string>& source,
                                                std::optional<std::string>& destination,
                                                std::optional<std::string>& description) = 0;
};

class ApplicationContinuousUserActionHandlersRegistry : public Object {
public:
    ZOV_ROOT_CLASS(ApplicationContinuousUserActionHandlersRegistry)

    static ApplicationContinuousUserActionHandlersRegistry& defaultRegistry();

    void registerACUAH(ApplicationContinuousUserActionHandler* handler);
    void unregisterACUAH(ApplicationContinuousUserActionHandler* handler);

    // Posts the question and answers the replies (an array of reply records).
    Value askForUserActionsList();
    static void addReply(unsigned reply, const std::optional<std::string>& description,
                         const std::optional<std::string>& source, const std::optional<std::string>& destination,
                         Value& replies);

    // The quit decision: 1 terminate now, 0 cancel.
    unsigned applicationShouldTerminate();

    // The alert's width beyond its own for lines wider than 250 points.
    static constexpr double WidestLineWithoutWidening = 250.0;
};

} // namespace vistel
