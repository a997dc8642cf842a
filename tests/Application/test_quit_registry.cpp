// The quit-time registry: which tasks are asked about, the alert's text, and the answers.

#include <gtest/gtest.h>

#include <cmath>

#include <QApplication>
#include <QDialog>
#include <QFont>

#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Common/Strings/Gui/NSStringExtensionsText.h"
#include "ShellTestSupport.h"

using namespace vistel;

namespace {

using Task = test::RegisteredTask;

ApplicationContinuousUserActionHandlersRegistry& registry()
{
    return ApplicationContinuousUserActionHandlersRegistry::defaultRegistry();
}

} // namespace

TEST(QuitRegistryTest, WithoutTasksOrWithTasksThatLoseNothingTheQuitGoesOnUnasked)
{
    test::ScriptedAlerts alerts;
    EXPECT_EQ(registry().applicationShouldTerminate(), 1u);
    Task fine(1, "copying");
    Task other(7, "noted only");
    EXPECT_EQ(registry().applicationShouldTerminate(), 1u);
    EXPECT_TRUE(alerts.messages.empty());
    // Only the task that is not fine leaves a reply.
    const Value replies = registry().askForUserActionsList();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies.at(0).get("reply"), Value(7LL));
}

TEST(QuitRegistryTest, TasksThatWouldBeLostAreListedInOrderAndContinueCancels)
{
    struct Case {
        const char* button;
        unsigned expected;
    };
    for (const Case& c : {Case {"Continue", 0}, Case {"Quit", 1}}) {
        test::ScriptedAlerts alerts({c.button});
        Task first(0, "Copying 3 items to Archive");
        Task fine(1, "done soon");
        Task second(0, "Converting pictures");
        EXPECT_EQ(registry().applicationShouldTerminate(), c.expected) << c.button;
        ASSERT_EQ(alerts.messages.size(), 1u);
        EXPECT_EQ(alerts.messages[0],
                  "There are tasks in progress:\n ● Copying 3 items to Archive\n ● Converting pictures");
        const AlertRecord record = Alert::answeredAlerts().back();
        EXPECT_EQ(record.informativeText, "Do you want to cancel tasks and quit or continue?");
        ASSERT_EQ(record.buttons.size(), 2u);
        EXPECT_EQ(record.buttons[0].title, "Continue");
        EXPECT_EQ(record.buttons[1].title, "Quit");
    }
}

TEST(QuitRegistryTest, AMissingValueLeavesOutOnlyItsOwnKey)
{
    Task noDescription(0, std::nullopt, "/from", "/to");
    Task noSource(2, "moving", std::nullopt, "/to");
    const Value replies = registry().askForUserActionsList();
    ASSERT_EQ(replies.size(), 2u);
    for (const Value& reply : replies.asArray()) {
        if (reply.get("reply") == Value(0LL)) {
            EXPECT_FALSE(reply.contains("description"));
            EXPECT_EQ(reply.get("sourcePath"), Value("/from"));
            EXPECT_EQ(reply.get("destinationPath"), Value("/to"));
        } else {
            EXPECT_EQ(reply.get("description"), Value("moving"));
            EXPECT_FALSE(reply.contains("sourcePath"));
            EXPECT_EQ(reply.get("destinationPath"), Value("/to"));
        }
    }
    // The task without a description is still asked about, as an empty line.
    test::ScriptedAlerts alerts({"Continue"});
    EXPECT_EQ(registry().applicationShouldTerminate(), 0u);
    ASSERT_EQ(alerts.messages.size(), 1u);
    EXPECT_EQ(alerts.messages[0], "There are tasks in progress:\n ● ");
}

TEST(QuitRegistryTest, AnUnregisteredOrDestroyedTaskIsNotAsked)
{
    auto task = std::make_unique<Task>(0, "gone");
    registry().unregisterACUAH(task.get());
    EXPECT_EQ(registry().askForUserActionsList().size(), 0u);
    registry().registerACUAH(task.get());
    task.reset();
    EXPECT_EQ(registry().askForUserActionsList().size(), 0u);
}

TEST(QuitRegistryTest, ALineWiderThan250PointsWidensTheAlertByTheExcess)
{
    // The width of the alert's dialog while it is asked, for one task of each description.
    auto dialogWidth = [](const std::string& description) {
        Task task(0, description);
        int width = 0;
        Alert::Responder previous = Alert::setResponder([&](const AlertRecord&) {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->width() > width)
                    width = dialog->width();
            return AlertResponse::pressTitled("Continue");
        });
        registry().applicationShouldTerminate();
        Alert::setResponder(previous);
        return width;
    };
    const int narrow = dialogWidth("short");
    const std::string longLine(120, 'W');
    const int wide = dialogWidth(longLine);
    QFont bold = QApplication::font();
    bold.setPointSizeF(12);
    bold.setBold(true);
    const double excess = std::trunc(NSStringExtensions::estimateSizeWithAttributes("\n ● " + longLine, &bold).width()) - 250;
    ASSERT_GT(excess, 0);
    EXPECT_GE(wide, narrow + static_cast<int>(excess) - 1);
}
