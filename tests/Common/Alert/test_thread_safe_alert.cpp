// The thread-safe alert: built on a worker, run modally on the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "AlertTestSupport.h"
#include "Common/Alert/ZovThreadSafeAlert.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Log.h"
#include "Platform/RunLoop.h"

using namespace vistel;
using vistel::test::ScopedResponder;

namespace {

Ref<ZovThreadSafeAlert> duplicateNameQuestion(const std::string& name)
{
    Ref<ZovThreadSafeAlert> alert = ZovThreadSafeAlert::alertWithMessageText(
        vistel::format("An item named \"%@\" already exists in this location.", name), "Replace", "Stop",
        "Don't Replace", "Do you want to replace it with the one you're moving?");
    alert->addButtonWithTitle("Rename");
    alert->setShowsSuppressionButton(true);
    alert->suppressionButton()->setTitle("Apply to all");
    return alert;
}

} // namespace

TEST(ZovThreadSafeAlert, WorkerGetsTheAnswerWhileTheMainLoopHoldsDefaultModeWork)
{
    int defaultTicks = 0;
    int commonTicks = 0;
    auto defaultTimer = RunLoop::main()->scheduleTimer(0.005, true, [&](RunLoop::Timer&) { ++defaultTicks; },
                                                       {NSDefaultRunLoopMode});
    auto commonTimer = RunLoop::main()->scheduleTimer(0.005, true, [&](RunLoop::Timer&) { ++commonTicks; },
                                                      {NSRunLoopCommonModes});
    // The timers count into this test's locals: they must not outlive it, even when it fails.
    struct InvalidateOnExit {
        Ref<RunLoop::Timer> timers[2];
        ~InvalidateOnExit()
        {
            for (auto& timer : timers)
                timer->invalidate();
        }
    } invalidateOnExit {{defaultTimer, commonTimer}};
    int defaultTicksDuringAlert = -1;
    int commonTicksDuringAlert = -1;
    bool answeredOnMainThread = false;
    ScopedResponder responder([&](const AlertRecord& record) {
        answeredOnMainThread = RunLoop::isMainThread();
        EXPECT_EQ(record.messageText, "An item named \"IMG_7.JPG\" already exists in this location.");
        const int defaultBefore = defaultTicks;
        const int commonBefore = commonTicks;
        // The user takes a moment: long enough for the timers to come due several times.
        EXPECT_TRUE(vistel::test::spinUntil([&] { return commonTicks - commonBefore >= 3; }));
        defaultTicksDuringAlert = defaultTicks - defaultBefore;
        commonTicksDuringAlert = commonTicks - commonBefore;
        return AlertResponse::pressTitled("Rename", 1);
    });

    std::atomic<bool> done {false};
    int result = 0;
    int suppressionState = -1;
    bool askedFromWorker = false;
    Ref<NSThreadExt> worker = NSThreadExt::create([&] {
        askedFromWorker = !RunLoop::isMainThread();
        Ref<ZovThreadSafeAlert> alert = duplicateNameQuestion("IMG_7.JPG");
        result = alert->runModal();
        suppressionState = alert->suppressionButton()->state();
        done = true;
    });
    worker->start();
    ASSERT_TRUE(vistel::test::spinUntil([&] { return done.load(); }));
    // Default-mode work goes on once the alert is over (on a busy machine it may not have
    // fired before the alert came up).
    EXPECT_TRUE(vistel::test::spinUntil([&] { return defaultTicks > 0; }));

    EXPECT_TRUE(askedFromWorker);
    EXPECT_TRUE(answeredOnMainThread);
    EXPECT_EQ(result, 1003);
    EXPECT_EQ(suppressionState, 1);
    EXPECT_EQ(defaultTicksDuringAlert, 0);
    EXPECT_GT(commonTicksDuringAlert, 0);

    const auto log = Alert::answeredAlerts();
    ASSERT_EQ(log.size(), 1u);
    ASSERT_EQ(log[0].buttons.size(), 4u);
    EXPECT_EQ(log[0].buttons[3].title, "Rename");
    EXPECT_EQ(log[0].suppressionTitle, "Apply to all");
    EXPECT_EQ(log[0].informativeText, "Do you want to replace it with the one you're moving?");
}

TEST(ZovThreadSafeAlert, RunOnTheMainThreadAnswersAtOnce)
{
    struct Case {
        int pressed;
        int suppression;
        int expected;
    };
    for (const Case c : {Case {0, 0, 1}, Case {1, 1, 0}, Case {2, 0, -1}, Case {3, 1, 1003}}) {
        SCOPED_TRACE(c.pressed);
        ScopedResponder responder([&](const AlertRecord&) { return AlertResponse::pressButton(c.pressed, c.suppression); });
        Ref<ZovThreadSafeAlert> alert = duplicateNameQuestion("a");
        EXPECT_EQ(alert->runModal(), c.expected);
        EXPECT_EQ(alert->suppressionButton()->state(), c.suppression);
    }
}

TEST(ZovThreadSafeAlert, InformativeTextIsFilledOnceAndShownUnchanged)
{
    std::string shown;
    ScopedResponder responder([&](const AlertRecord& record) {
        shown = record.informativeText;
        return AlertResponse::pressButton(0);
    });
    Ref<ZovThreadSafeAlert> alert =
        ZovThreadSafeAlert::alertWithMessageText("m", "OK", std::nullopt, std::nullopt, "%@", "100% %d sure");
    EXPECT_EQ(alert->informativeText(), "100% %d sure");
    alert->runModal();
    EXPECT_EQ(shown, "100% %d sure");

    alert = ZovThreadSafeAlert::alertWithMessageText("m", "OK", std::nullopt, std::nullopt, "%d of %d files", 3, 7);
    EXPECT_EQ(alert->informativeText(), "3 of 7 files");
}

TEST(ZovThreadSafeAlert, ButtonEntriesWithoutTitles)
{
    Ref<ZovThreadSafeAlert> alert = ZovThreadSafeAlert::alertWithMessageText(std::nullopt, std::nullopt, "Skip",
                                                                             std::nullopt, "");
    ASSERT_EQ(alert->buttons().size(), 3u);
    EXPECT_FALSE(alert->buttons()[0]->title().has_value());
    EXPECT_EQ(alert->buttons()[1]->title(), "Skip");
    EXPECT_EQ(alert->buttons()[0]->state(), 0);
    alert->buttons()[0]->setState(1);
    EXPECT_EQ(alert->buttons()[0]->state(), 1);

    std::vector<std::string> titles;
    ScopedResponder responder([&](const AlertRecord& record) {
        for (const auto& button : record.buttons)
            titles.push_back(button.title);
        return AlertResponse::pressTitled("Skip");
    });
    EXPECT_EQ(alert->runModal(), NSAlertAlternateReturn);
    // A missing default title shows "OK"; a missing other title shows no button.
    EXPECT_EQ(titles, (std::vector<std::string> {"OK", "Skip"}));
    // No suppression entry was asked for, so none was made.
    EXPECT_FALSE(alert->showsSuppressionButton());
}

TEST(ZovThreadSafeAlert, FailedRunLetsTheWorkerGoOn)
{
    ScopedLogCapture log;
    ScopedResponder responder([](const AlertRecord&) -> AlertResponse { throw std::runtime_error("script broke"); });
    std::atomic<bool> done {false};
    int result = 0;
    Ref<NSThreadExt> worker = NSThreadExt::create([&] {
        result = duplicateNameQuestion("x")->runModal();
        done = true;
    });
    worker->start();
    ASSERT_TRUE(vistel::test::spinUntil([&] { return done.load(); }));
    EXPECT_EQ(result, NSAlertErrorReturn);
    EXPECT_TRUE(log.contains("ZovThreadSafeAlert::runModal script broke"));
}
