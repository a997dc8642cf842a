#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/SignalObject.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/NotificationQueue.h"
#include "Platform/Qt/QtRunLoopAdapter.h"

using namespace vistel;
using namespace std::chrono_literals;

namespace {

class QtRunLoopAdapterTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_QtRunLoopAdapter";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv); // kept for the whole run, as in the program
    }

    // Runs Qt's event loop (not the RunLoop) until `done`, or fails after the limit.
    template <class Pred>
    bool spinQt(Pred done, int limitMs = 10000)
    {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done())
                loop.quit();
        });
        poll.start(1);
        QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
        loop.exec();
        return done();
    }
    void spinQtFor(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

class Receiver : public SignalObject {
public:
    Receiver()
    {
        addSlot("jobFinished:", [this](const Notification& n) { received.push_back(static_cast<int>(n.userInfo["n"].toInt64())); });
    }
    std::vector<int> received;
};

class SignalSender : public SignalObject { };

} // namespace

TEST_F(QtRunLoopAdapterTest, PerformsTimersAndSignalsRunUnderQt)
{
    QtRunLoopAdapter adapter;
    EXPECT_EQ(adapter.currentMode(), NSDefaultRunLoopMode);

    std::vector<int> performed;
    auto worker = NSThreadExt::create([&] {
        for (int i = 0; i < 100; ++i)
            ThreadMessages::performSelectorOnMainThread([&, i] { performed.push_back(i); }, false);
    });
    worker->start();
    ASSERT_TRUE(spinQt([&] { return performed.size() == 100; }));
    worker->abort();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(performed[i], i);

    int ticks = 0;
    auto timer = RunLoop::main()->scheduleTimer(0.005, true, [&](RunLoop::Timer& t) {
        if (++ticks == 3)
            t.invalidate();
    });
    ASSERT_TRUE(spinQt([&] { return ticks == 3; }));

    auto sender = makeRef<SignalSender>();
    auto receiver = makeRef<Receiver>();
    receiver->connectSignal(sender.get(), "ImageConvertorThreadJobFinishedSignal", "jobFinished:");
    auto emitter = NSThreadExt::create([sender] {
        for (int i = 0; i < 50; ++i)
            sender->emitSignal("ImageConvertorThreadJobFinishedSignal", Value::dictionary({{"n", i}}));
    });
    emitter->start();
    ASSERT_TRUE(spinQt([&] { return receiver->received.size() == 50; }));
    emitter->abort();
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(receiver->received[i], i);
}

TEST_F(QtRunLoopAdapterTest, ModalPanelModeHoldsBackDefaultWork)
{
    QtRunLoopAdapter adapter;
    std::vector<std::string> ran;
    RunLoop* main = RunLoop::main();
    bool alertClosed = false;
    // A modal alert: a nested Qt event loop with the modal-panel mode pushed.
    main->perform([&] {
        QtRunLoopAdapter::ModeScope modal(adapter, NSModalPanelRunLoopMode);
        std::thread poster([&] {
            main->perform([&] { ran.push_back("default"); }, {NSDefaultRunLoopMode});
            main->perform([&] { ran.push_back("common"); }, {NSRunLoopCommonModes});
        });
        poster.join();
        spinQt([&] { return !ran.empty(); });
        spinQtFor(30); // time enough for the default-mode work, were it allowed
        alertClosed = true;
        ran.push_back("alert closed");
    }, {NSDefaultRunLoopMode});
    ASSERT_TRUE(spinQt([&] { return ran.size() == 3; }));
    EXPECT_TRUE(alertClosed);
    EXPECT_EQ(ran, (std::vector<std::string> {"common", "alert closed", "default"}));
    EXPECT_EQ(adapter.currentMode(), NSDefaultRunLoopMode);
}

TEST_F(QtRunLoopAdapterTest, NotificationQueuePostsUnderQt)
{
    QtRunLoopAdapter adapter;
    int observer = 0;
    std::vector<std::string> heard;
    NotificationCenter::defaultCenter().addObserver(&observer, [&](const Notification& n) { heard.push_back(n.name); }, "");
    // Enqueued from a Qt handler, outside any pass of the run loop.
    QTimer::singleShot(0, [] {
        for (int i = 0; i < 100; ++i)
            NotificationQueue::defaultQueue().enqueueNotification({"UpdateItemsCellNotification", {}, {}},
                                                                  PostingStyle::NSPostASAP, NSNotificationCoalescingOnName,
                                                                  {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode});
        NotificationQueue::defaultQueue().enqueueNotification({"MountMedia", {}, {}}, PostingStyle::NSPostWhenIdle,
                                                              NSNotificationNoCoalescing);
    });
    ASSERT_TRUE(spinQt([&] { return heard.size() == 2; }));
    spinQtFor(20);
    NotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_EQ(heard, (std::vector<std::string> {"UpdateItemsCellNotification", "MountMedia"}));
}

TEST_F(QtRunLoopAdapterTest, TimerMovedToTheEarliestDateFiresUnderQt)
{
    QtRunLoopAdapter adapter;
    RunLoop* main = RunLoop::main();
    bool later = false;
    auto waiting = main->scheduleTimer(3600, false, [&](RunLoop::Timer&) { later = true; });
    // Moved from inside another timer's call, after the pass chose what is due.
    auto mover = main->scheduleTimer(0, false, [&](RunLoop::Timer&) { waiting->setFireDate(RunLoop::TimePoint::min()); });
    ASSERT_TRUE(spinQt([&] { return later; }));
    EXPECT_FALSE(waiting->isValid());
}

// A timer's callback that runs a nested Qt event loop (a menu or a dialog shown from it) must
// not stop the loop's other timers while the nested loop runs.
TEST_F(QtRunLoopAdapterTest, TimersFireInsideANestedQtLoopStartedByATimer)
{
    QtRunLoopAdapter adapter;
    RunLoop* main = RunLoop::main();
    bool ticked = false, nestedDone = false, tickedInside = false;
    // Both fire from the adapter's timer, not from a wake-up: the opener first, the ticker while
    // the nested loop runs.
    auto ticker = main->scheduleTimer(0.1, false, [&](RunLoop::Timer&) { ticked = true; });
    // Repeating, so that firing it does not invalidate it (which would wake the loop).
    bool opened = false;
    auto opener = main->scheduleTimer(0.05, true, [&](RunLoop::Timer& self) {
        if (std::exchange(opened, true))
            return;
        QEventLoop nested;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (ticked)
                nested.quit();
        });
        poll.start(1);
        QTimer::singleShot(5000, &nested, &QEventLoop::quit);
        nested.exec();
        tickedInside = ticked;
        nestedDone = true;
        self.invalidate();
    });
    ASSERT_TRUE(spinQt([&] { return nestedDone; }));
    EXPECT_TRUE(tickedInside);
    ticker->invalidate();
}
