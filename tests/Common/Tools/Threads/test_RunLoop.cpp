#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Log.h"
#include "Platform/RunLoop.h"

using namespace vistel;
using namespace std::chrono_literals;

namespace {

RunLoop::TimePoint in(std::chrono::milliseconds ms)
{
    return RunLoop::Clock::now() + ms;
}

// Runs the calling thread's loop in `mode` until `done` or the time limit.
template <class Pred>
bool runUntilTrue(std::string_view mode, Pred done, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = in(limit);
    while (!done() && RunLoop::Clock::now() < deadline)
        RunLoop::current()->runMode(mode, std::min(deadline, in(50ms)));
    return done();
}

} // namespace

TEST(RunLoop, CurrentIsOnePerThreadAndMainIsRecorded)
{
    RunLoop* here = RunLoop::current();
    EXPECT_EQ(here, RunLoop::current());
    EXPECT_EQ(here, RunLoop::main());
    EXPECT_TRUE(RunLoop::isMainThread());
    RunLoop* other = nullptr;
    bool otherIsMain = true;
    std::thread([&] {
        other = RunLoop::current();
        otherIsMain = RunLoop::isMainThread();
    }).join();
    EXPECT_NE(here, other);
    EXPECT_FALSE(otherIsMain);
}

TEST(RunLoop, PerformsRunInOrderThenPostingOrder)
{
    std::vector<std::string> ran;
    auto* loop = RunLoop::current();
    loop->perform([&] { ran.push_back("b5"); }, {NSDefaultRunLoopMode}, 5);
    loop->perform([&] { ran.push_back("a0"); }, {NSDefaultRunLoopMode}, 0);
    loop->perform([&] { ran.push_back("c5"); }, {NSDefaultRunLoopMode}, 5);
    loop->perform([&] { ran.push_back("d1"); }, {NSRunLoopCommonModes}, 1);
    EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, in(1000ms)), RunLoop::RunResult::Handled);
    EXPECT_EQ(ran, (std::vector<std::string> {"a0", "d1", "b5", "c5"}));
}

TEST(RunLoop, ModeDecidesWhatRuns)
{
    // While the modal-panel mode runs, default-mode work waits and common-mode work goes on.
    std::vector<std::string> ran;
    auto* loop = RunLoop::current();
    loop->perform([&] { ran.push_back("default"); }, {NSDefaultRunLoopMode});
    loop->perform([&] { ran.push_back("common"); }, {NSRunLoopCommonModes});
    loop->perform([&] { ran.push_back("modal"); }, {NSModalPanelRunLoopMode});
    loop->perform([&] { ran.push_back("reply"); }, {NSConnectionReplyMode});
    loop->runMode(NSModalPanelRunLoopMode, in(100ms));
    EXPECT_EQ(ran, (std::vector<std::string> {"common", "modal"}));
    // Nothing for the modal mode is left: the pass times out.
    EXPECT_EQ(loop->runMode(NSModalPanelRunLoopMode, in(20ms)), RunLoop::RunResult::TimedOut);
    loop->runMode(NSDefaultRunLoopMode, in(100ms));
    EXPECT_EQ(ran, (std::vector<std::string> {"common", "modal", "default"}));
    EXPECT_EQ(loop->cancelPerforms(nullptr), 1u); // the reply-mode perform, never run here
}

TEST(RunLoop, NestedPassRunsItsOwnModeAndRestoresTheOuter)
{
    std::vector<std::string> ran;
    auto* loop = RunLoop::current();
    loop->perform([&] {
        ran.push_back("outer " + loop->currentMode());
        loop->perform([&] { ran.push_back("later default"); }, {NSDefaultRunLoopMode});
        loop->perform([&] { ran.push_back("in modal " + loop->currentMode()); }, {NSRunLoopCommonModes});
        loop->runMode(NSModalPanelRunLoopMode, in(100ms)); // a modal alert
        ran.push_back("back in " + loop->currentMode());
    }, {NSDefaultRunLoopMode});
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return ran.size() == 4; }));
    EXPECT_EQ(ran, (std::vector<std::string> {"outer NSDefaultRunLoopMode", "in modal NSModalPanelRunLoopMode",
                                              "back in NSDefaultRunLoopMode", "later default"}));
    EXPECT_EQ(loop->currentMode(), "");
}

TEST(RunLoop, PerformFromAnotherThreadWakesABlockedLoop)
{
    auto* loop = RunLoop::current();
    std::atomic<bool> ran {false};
    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        loop->perform([&] { ran = true; });
    });
    // Blocks without a deadline: only the wake-up can end the pass.
    EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, RunLoop::distantFuture()), RunLoop::RunResult::Handled);
    poster.join();
    EXPECT_TRUE(ran);
}

TEST(RunLoop, StopEndsRunFromAnotherThread)
{
    auto* loop = RunLoop::current();
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        loop->stop();
    });
    loop->run(); // returns only through stop()
    stopper.join();
}

TEST(RunLoop, RunUntilReturnsAtTheDeadline)
{
    const auto start = RunLoop::Clock::now();
    RunLoop::current()->runUntil(in(30ms));
    EXPECT_GE(RunLoop::Clock::now() - start, 30ms);
}

TEST(RunLoop, TimersFireInTheirModes)
{
    auto* loop = RunLoop::current();
    int once = 0, repeating = 0, modalOnly = 0;
    auto oneShot = loop->scheduleTimer(0.001, false, [&](RunLoop::Timer&) { ++once; });
    auto ticker = loop->scheduleTimer(0.001, true, [&](RunLoop::Timer& t) {
        if (++repeating == 3)
            t.invalidate();
    }, {NSDefaultRunLoopMode, NSModalPanelRunLoopMode});
    auto modal = loop->scheduleTimer(0.001, true, [&](RunLoop::Timer&) { ++modalOnly; }, {NSModalPanelRunLoopMode});
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return repeating == 3 && once == 1; }));
    loop->runUntil(in(20ms));
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(oneShot->isValid());
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(modalOnly, 0);
    ASSERT_TRUE(runUntilTrue(NSModalPanelRunLoopMode, [&] { return modalOnly > 0; }));
    modal->invalidate();
    EXPECT_EQ(loop->nextTimerDate(NSModalPanelRunLoopMode), RunLoop::distantFuture());
}

TEST(RunLoop, TimerInvalidatedFromAnotherThreadStops)
{
    auto* loop = RunLoop::current();
    std::atomic<int> ticks {0};
    auto timer = loop->scheduleTimer(0.001, true, [&](RunLoop::Timer&) { ++ticks; });
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return ticks > 0; }));
    std::thread([&] { timer->invalidate(); }).join();
    const int seen = ticks;
    loop->runUntil(in(20ms));
    EXPECT_EQ(ticks, seen);
}

TEST(RunLoop, FileDescriptorSourceServedOnlyInItsModes)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto* loop = RunLoop::current();
    std::string received;
    auto source = loop->addFileDescriptor(fds[0], RunLoop::Readable, [&](int fd, std::uint32_t ready) {
        EXPECT_TRUE(ready & RunLoop::Readable);
        char buffer[16];
        auto n = read(fd, buffer, sizeof buffer);
        received.append(buffer, n > 0 ? n : 0);
    }, {NSDefaultRunLoopMode});
    ASSERT_EQ(write(fds[1], "ab", 2), 2);
    // Not in the modal-panel mode: the ready descriptor neither runs nor keeps the loop busy.
    EXPECT_EQ(loop->runMode(NSModalPanelRunLoopMode, in(20ms)), RunLoop::RunResult::TimedOut);
    EXPECT_EQ(received, "");
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return received == "ab"; }));
    loop->removeFileDescriptor(source);
    ASSERT_EQ(write(fds[1], "c", 1), 1);
    loop->runUntil(in(20ms));
    EXPECT_EQ(received, "ab");
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoop, ThrowingCallbackIsLoggedAndThePassGoesOn)
{
    ScopedLogCapture log;
    auto* loop = RunLoop::current();
    bool second = false;
    loop->perform([] { throw std::runtime_error("boom"); });
    loop->perform([&] { second = true; });
    loop->runMode(NSDefaultRunLoopMode, in(100ms));
    EXPECT_TRUE(second);
    EXPECT_TRUE(log.contains("boom"));
}

TEST(RunLoop, IdleObserverFiresOnlyWhenNothingIsQueued)
{
    auto* loop = RunLoop::current();
    std::vector<std::string> events;
    int chain = 0;
    std::function<void()> step = [&] {
        events.push_back("perform");
        if (++chain < 3)
            loop->perform(step, {NSDefaultRunLoopMode});
    };
    auto observer = loop->addObserver([&](RunLoop::Activity activity, const std::string&) {
        if (activity == RunLoop::Activity::BeforeWaiting && (events.empty() || events.back() != "idle"))
            events.push_back("idle");
    });
    loop->perform(step, {NSDefaultRunLoopMode});
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return chain == 3 && events.back() == "idle"; }));
    loop->removeObserver(observer);
    EXPECT_EQ(events, (std::vector<std::string> {"perform", "perform", "perform", "idle"}));
}

TEST(RunLoop, LoopOfAnEndedThreadRefusesWork)
{
    Ref<RunLoop> loop;
    std::thread([&] { loop = Ref<RunLoop>(RunLoop::current()); }).join();
    EXPECT_TRUE(loop->threadHasExited());
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    EXPECT_FALSE(loop->perform([token] { }));
    token.reset();
    EXPECT_TRUE(watch.expired()); // the refused closure was released, not kept
}
