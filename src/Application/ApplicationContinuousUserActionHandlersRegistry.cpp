#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"

#include <algorithm>
#include <cmath>

#include <QFont>
#include <QGuiApplication>

#include "Common/Strings/Gui/NSStringExtensionsText.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/NotificationCenter.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// The replies array the handlers add to, carried in the notification's user info.
struct RepliesBox : Object {
    Value replies = Value::array();
};

} // namespace

ApplicationContinuousUserActionHandler::~ApplicationContinuousUserActionHandler()
{
    NotificationCenter::defaultCenter().removeObserver(this, ApplicationShouldTerminateNotification, nullptr);
}

ApplicationContinuousUserActionHandlersRegistry& ApplicationContinuousUserActionHandlersRegistry::defaultRegistry()
{
    static Ref<ApplicationContinuousUserActionHandlersRegistry> registry =
        makeRef<ApplicationContinuousUserActionHandlersRegistry>();
    return *registry;
}

void ApplicationContinuousUserActionHandlersRegistry::registerACUAH(ApplicationContinuousUserActionHandler* handler)
{
    if (!handler)
        return;
    NotificationCenter::defaultCenter().addObserver(
        handler,
        [handler](const Notification& notification) {
            auto* registry = dynamic_cast<ApplicationContinuousUserActionHandlersRegistry*>(notification.object.get());
            Ref<RepliesBox> box = notification.userInfo.get("replies").toObject<RepliesBox>();
            if (!registry || !box)
                return;
            std::optional<std::string> source, destination, description;
            const unsigned reply = handler->applicationShouldTerminate(*registry, source, destination, description);
            if (reply != ApplicationTaskMayStop)
                addReply(reply, description, source, destination, box->replies);
        },
        ApplicationShouldTerminateNotification, this);
}

void ApplicationContinuousUserActionHandlersRegistry::unregisterACUAH(ApplicationContinuousUserActionHandler* handler)
{
    NotificationCenter::defaultCenter().removeObserver(handler, ApplicationShouldTerminateNotification, this);
}

Value ApplicationContinuousUserActionHandlersRegistry::askForUserActionsList()
{
    // The handlers add to one shared array: it travels in the user info as a box.
    auto box = makeRef<RepliesBox>();
    NotificationCenter::defaultCenter().postNotificationName(ApplicationShouldTerminateNotification, Ref<Object>(this),
                                                             Value::dictionary({{"replies", Value(Ref<Object>(box))}}));
    return box->replies;
}

void ApplicationContinuousUserActionHandlersRegistry::addReply(unsigned reply,
                                                               const std::optional<std::string>& description,
                                                               const std::optional<std::string>& source,
                                                               const std::optional<std::string>& destination,
                                                               Value& replies)
{
    Value record = Value::dictionary({{"reply", Value(static_cast<long long>(reply))}});
    if (description)
        record.set("description", Value(*description));
    if (source)
        record.set("sourcePath", Value(*source));
    if (destination)
        record.set("destinationPath", Value(*destination));
    replies.append(std::move(record));
}

unsigned ApplicationContinuousUserActionHandlersRegistry::applicationShouldTerminate()
{
    const Value replies = askForUserActionsList();
    std::string message = ZOV_TRANSLATE("There are tasks in progress:", "applicationShouldTerminate:");
    QFont bold = QGuiApplication::font();
    bold.setPointSizeF(12);
    bold.setBold(true);
    double widest = 0;
    bool asking = false;
    for (const Value& record : replies.asArray()) {
        if (record.get("reply").toInt64(-1) != ApplicationTaskWouldBeLost)
            continue;
        asking = true;
        const std::string line = vistel::format("\n ● %@", record.get("description").toString());
        message += line;
        widest = std::max(widest, std::trunc(NSStringExtensions::estimateSizeWithAttributes(line, &bold).width()));
    }
    if (!asking)
        return 1;
    auto alert = Alert::alertWithMessageText(
        message, ZOV_TRANSLATE("Continue", "applicationShouldTerminate:"), ZOV_TRANSLATE("Quit", "applicationShouldTerminate:"),
        std::nullopt, ZOV_TRANSLATE("Do you want to cancel tasks and quit or continue?", "applicationShouldTerminate:"));
    if (widest > WidestLineWithoutWidening)
        alert->setExtraTextWidth(static_cast<int>(widest - WidestLineWithoutWidening));
    return alert->runModal() == NSAlertDefaultReturn ? 0 : 1;
}

} // namespace vistel
