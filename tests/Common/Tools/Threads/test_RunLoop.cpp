#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Log.h"
#include "Platform/RunLoop.h"
#include "TestSupport.h"

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
    // The loop blocks on its own thread without a deadline: only the wake-up can end the pass.
    // The test waits a few seconds for it, so a lost wake-up fails here instead of hanging.
    struct Shared {
        std::promise<RunLoop*> loop;
        std::promise<RunLoop::RunResult> result;
        std::atomic<bool> ran {false};
    };
    auto shared = std::make_shared<Shared>();
    auto loopReady = shared->loop.get_future();
    auto passEnded = shared->result.get_future();
    std::thread runner([shared] {
        shared->loop.set_value(RunLoop::current());
        shared->result.set_value(RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::distantFuture()));
    });
    RunLoop* loop = loopReady.get();
    std::this_thread::sleep_for(20ms); // most likely blocked by now; the wake-up must work either way
    loop->perform([shared] { shared->ran = true; });
    if (passEnded.wait_for(5s) != std::future_status::ready) {
        runner.detach(); // nothing will end its pass
        FAIL() << "a perform from another thread did not wake the blocked loop";
    }
    runner.join();
    EXPECT_EQ(passEnded.get(), RunLoop::RunResult::Handled);
    EXPECT_TRUE(shared->ran);
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

TEST(RunLoop, PrioritySourceFiresOnUrgentDataOnly)
{
    // A loopback TCP connection: ordinary bytes make it readable, out-of-band data raises the
    // priority event.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int sender = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int receiver = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(receiver, 0);

    auto* loop = RunLoop::current();
    int calls = 0;
    std::uint32_t seen = 0;
    auto source = loop->addFileDescriptor(receiver, RunLoop::Priority, [&](int fd, std::uint32_t ready) {
        ++calls;
        seen |= ready;
        char urgent;
        ::recv(fd, &urgent, 1, MSG_OOB);
    });
    ASSERT_EQ(::send(sender, "plain", 5, 0), 5);
    EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, in(50ms)), RunLoop::RunResult::TimedOut);
    EXPECT_EQ(calls, 0) << "readable data is not a priority event";
    ASSERT_EQ(::send(sender, "!", 1, MSG_OOB), 1);
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return calls > 0; }));
    EXPECT_TRUE(seen & RunLoop::Priority);
    loop->removeFileDescriptor(source);
    ::close(receiver);
    ::close(sender);
    ::close(listener);
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

TEST(RunLoop, PerformsPostedFromManyThreadsAreNeverLost)
{
    // Each poster waits for its perform before posting the next, so a lost wake-up leaves a
    // poster waiting with nothing else to wake the loop.
    struct Shared {
        Ref<RunLoop> loop;
        std::atomic<bool> ready {false};
    };
    auto shared = std::make_shared<Shared>();
    std::thread runner([shared] {
        shared->loop = Ref<RunLoop>(RunLoop::current());
        shared->ready = true;
        shared->loop->run();
    });
    while (!shared->ready)
        std::this_thread::yield();
    RunLoop* loop = shared->loop.get();
    const int rounds = test::scaled(20000, 200000);
    std::atomic<bool> lost {false};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&] {
            for (int i = 0; i < rounds && !lost; ++i) {
                auto done = std::make_shared<std::atomic<bool>>(false);
                loop->perform([done] { *done = true; });
                const auto deadline = in(5000ms);
                while (!*done && RunLoop::Clock::now() < deadline)
                    std::this_thread::yield();
                if (!*done)
                    lost = true;
            }
        });
    for (auto& poster : posters)
        poster.join();
    loop->stop();
    if (lost) {
        runner.detach(); // a loop that lost its wake-up may not hear stop() either
        FAIL() << "a perform posted from another thread never ran";
    }
    runner.join();
}

TEST(RunLoop, TimerOutlivingItsLoopCanStillBeUsed)
{
    Ref<RunLoop::Timer> timer;
    std::thread([&] { timer = RunLoop::current()->scheduleTimer(3600, true, [](RunLoop::Timer&) { }); }).join();
    // The thread's exit invalidated the timer and its loop is gone.
    EXPECT_FALSE(timer->isValid());
    timer->setFireDate(in(1ms));
    timer->invalidate();
}

TEST(RunLoop, SourceAddedWhileTheLoopWaitsIsServed)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    auto* loop = RunLoop::current();
    bool served = false;
    RunLoop::SourceId source = 0;
    auto observer = loop->addObserver([&](RunLoop::Activity activity, const std::string&) {
        if (activity != RunLoop::Activity::BeforeWaiting || source)
            return;
        // Added from inside the pass, right before it waits.
        source = loop->addFileDescriptor(fds[0], RunLoop::Readable, [&](int fd, std::uint32_t) {
            char byte;
            served = read(fd, &byte, 1) == 1;
        });
    });
    // One pass with a long deadline: the new source must be watched by this very pass.
    EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, in(5000ms)), RunLoop::RunResult::Handled);
    EXPECT_TRUE(served);
    loop->removeObserver(observer);
    loop->removeFileDescriptor(source);
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoop, NestedPassInASourceCallbackLeavesNoStaleReadiness)
{
    int a[2], b[2];
    ASSERT_EQ(pipe2(a, O_NONBLOCK), 0);
    ASSERT_EQ(pipe2(b, O_NONBLOCK), 0);
    auto* loop = RunLoop::current();
    int reads = 0, staleCalls = 0;
    bool nested = false;
    auto callback = [&](int fd, std::uint32_t) {
        char byte;
        if (read(fd, &byte, 1) != 1) {
            ++staleCalls; // called as readable with nothing to read
            return;
        }
        ++reads;
        if (!nested) {
            nested = true;
            loop->runMode(NSDefaultRunLoopMode, in(100ms)); // serves the other pipe
        }
    };
    auto sa = loop->addFileDescriptor(a[0], RunLoop::Readable, callback);
    auto sb = loop->addFileDescriptor(b[0], RunLoop::Readable, callback);
    ASSERT_EQ(write(a[1], "1", 1), 1);
    ASSERT_EQ(write(b[1], "2", 1), 1);
    ASSERT_TRUE(runUntilTrue(NSDefaultRunLoopMode, [&] { return reads == 2; }));
    loop->runUntil(in(20ms));
    EXPECT_EQ(staleCalls, 0);
    loop->removeFileDescriptor(sa);
    loop->removeFileDescriptor(sb);
    for (int fd : {a[0], a[1], b[0], b[1]})
        close(fd);
}

namespace {

// Calls into a loop from its destructor, as captured objects may do when released.
struct CallsBackWhenReleased {
    CallsBackWhenReleased(RunLoop* loop, std::atomic<int>* released) : loop(loop), released(released) { }
    RunLoop* loop;
    std::atomic<int>* released;
    ~CallsBackWhenReleased()
    {
        loop->perform([] { });
        loop->removeObserver(12345);
        ++*released;
    }
};

} // namespace

TEST(RunLoop, CallbacksAreReleasedOutsideTheLoopsLock)
{
    std::atomic<int> released {0};
    auto* loop = RunLoop::current();
    auto capture = [&](RunLoop* target) { return std::make_shared<CallsBackWhenReleased>(target, &released); };

    auto observer = loop->addObserver([c = capture(loop)](RunLoop::Activity, const std::string&) { });
    loop->removeObserver(observer);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto source = loop->addFileDescriptor(fds[0], RunLoop::Readable, [c = capture(loop)](int, std::uint32_t) { });
    loop->removeFileDescriptor(source);
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(released, 2);

    // At thread exit, observers and sources still registered are released too.
    Ref<RunLoop> ended;
    std::thread([&] {
        ended = Ref<RunLoop>(RunLoop::current());
        ended->addObserver([c = capture(ended.get())](RunLoop::Activity, const std::string&) { });
    }).join();
    EXPECT_EQ(released, 3);
    loop->runMode(NSDefaultRunLoopMode, in(1ms)); // the empty performs posted above
}

TEST(RunLoop, TimerDatesSaturateAndRepeatingTimersKeepTheirPhase)
{
    auto* loop = RunLoop::current();
    // Intervals beyond the clock's range: the timer is due in the far future, never now.
    for (double interval : {1e12, 1e300, std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(interval);
        int fired = 0;
        auto timer = loop->scheduleTimer(interval, true, [&](RunLoop::Timer&) { ++fired; });
        EXPECT_GT(timer->fireDate(), in(std::chrono::hours(24 * 365)));
        EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, in(10ms)), RunLoop::RunResult::TimedOut);
        timer->setFireDate(RunLoop::Clock::now());
        EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, in(1000ms)), RunLoop::RunResult::Handled);
        EXPECT_EQ(fired, 1);
        EXPECT_GT(timer->fireDate(), in(std::chrono::hours(24 * 365))); // not wrapped into the past
        timer->invalidate();
    }
    // Far behind, and set to the earliest date there is: fires once, then is next due within
    // one interval; from a representable date it keeps its phase.
    const auto step = std::chrono::duration_cast<RunLoop::Clock::duration>(std::chrono::milliseconds(10));
    for (bool earliest : {false, true}) {
        SCOPED_TRACE(earliest);
        int fired = 0;
        RunLoop::TimePoint calledAt;
        auto timer = loop->scheduleTimer(0.010, true, [&](RunLoop::Timer&) {
            ++fired;
            calledAt = RunLoop::Clock::now();
        });
        const auto before = RunLoop::Clock::now();
        const auto start = earliest ? RunLoop::TimePoint::min() : before - std::chrono::milliseconds(105);
        timer->setFireDate(start);
        EXPECT_EQ(loop->runMode(NSDefaultRunLoopMode, in(1000ms)), RunLoop::RunResult::Handled);
        EXPECT_EQ(fired, 1);
        // The pass that fired it looked at the clock between `before` and the call.
        EXPECT_GT(timer->fireDate(), before);
        EXPECT_LE(timer->fireDate(), calledAt + step);
        if (!earliest) {
            EXPECT_EQ((timer->fireDate() - start) % step, RunLoop::Clock::duration::zero());
        }
        timer->invalidate();
    }
}

TEST(RunLoop, ATimerIsNotCalledInsideItsOwnCall)
{
    auto* loop = RunLoop::current();
    int depth = 0, deepest = 0, calls = 0, otherTicks = 0;
    auto other = loop->scheduleTimer(0.001, true, [&](RunLoop::Timer&) { ++otherTicks; });
    auto modal = loop->scheduleTimer(0.001, true, [&](RunLoop::Timer& self) {
        deepest = std::max(deepest, ++depth);
        if (++calls == 1) {
            // A modal panel run from the timer's call: other timers go on, this one waits.
            const int before = otherTicks;
            const auto end = in(10s);
            while (otherTicks < before + 5 && RunLoop::Clock::now() < end)
                loop->runMode(NSDefaultRunLoopMode, in(5ms));
        } else {
            self.invalidate();
        }
        --depth;
    });
    const auto end = in(10s);
    while (modal->isValid() && RunLoop::Clock::now() < end)
        loop->runMode(NSDefaultRunLoopMode, in(5ms));
    other->invalidate();
    EXPECT_FALSE(modal->isValid()) << "called again once its first call returned";
    EXPECT_EQ(deepest, 1);
    EXPECT_GE(otherTicks, 5);
}
