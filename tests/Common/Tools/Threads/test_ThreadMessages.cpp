#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/Exception.h"
#include "RunLoopTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::runMainLoopUntil;
using namespace std::chrono_literals;

namespace {

// A worker whose body runs its own run loop until cancelled (as the volume manager's thread).
Ref<NSThreadExt> startLoopingWorker()
{
    auto worker = NSThreadExt::create([] {
        auto* self = NSThreadExt::currentThreadExt();
        while (!self->isCancelled())
            RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + 10ms);
    });
    worker->start();
    return worker;
}

} // namespace

TEST(ThreadMessages, ToTheCallingThreadOrNoThreadRunsAtOnce)
{
    for (RunLoop* target : {RunLoop::current(), static_cast<RunLoop*>(nullptr)}) {
        for (bool wait : {false, true}) {
            bool ran = false;
            ThreadMessages::performSelector([&] { ran = true; }, target, wait);
            EXPECT_TRUE(ran);
        }
    }
}

TEST(ThreadMessages, PerformsFromWorkersReachTheMainThreadOnceInOrder)
{
    const int senders = 8;
    const int each = test::scaled(10000, 100000);
    std::vector<std::vector<int>> arrived(senders);
    std::atomic<bool> wrongThread {false};
    std::vector<Ref<NSThreadExt>> workers;
    for (int s = 0; s < senders; ++s) {
        auto worker = NSThreadExt::create([&, s] {
            for (int n = 0; n < each; ++n)
                ThreadMessages::performSelectorOnMainThread([&, s, n] {
                    if (!NSThreadExt::isMainThread())
                        wrongThread = true;
                    arrived[s].push_back(n);
                }, false);
        });
        worker->start();
        workers.push_back(worker);
    }
    auto complete = [&] {
        for (auto& a : arrived)
            if (a.size() < static_cast<std::size_t>(each))
                return false;
        return true;
    };
    ASSERT_TRUE(runMainLoopUntil(complete));
    for (auto& w : workers)
        w->abort();
    RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + 10ms);
    EXPECT_FALSE(wrongThread);
    for (int s = 0; s < senders; ++s) {
        ASSERT_EQ(arrived[s].size(), static_cast<std::size_t>(each));
        for (int n = 0; n < each; ++n)
            ASSERT_EQ(arrived[s][n], n) << "sender " << s;
    }
}

TEST(ThreadMessages, WaitUntilDoneBlocksUntilTheCallRanOnTheOtherThread)
{
    auto worker = startLoopingWorker();
    std::atomic<bool> onWorker {false};
    int value = 0;
    ThreadMessages::performSelector([&] {
        onWorker = NSThreadExt::currentThreadExt() == worker.get();
        std::this_thread::sleep_for(10ms);
        value = 42;
    }, *worker, true);
    EXPECT_TRUE(onWorker);
    EXPECT_EQ(value, 42); // written on the worker, visible here because we waited
    worker->abort();
}

TEST(ThreadMessages, UnpreparedThreadRaisesWithTheFixedText)
{
    auto worker = NSThreadExt::create([] { });
    worker->setName("never started");
    try {
        ThreadMessages::performSelector([] { }, *worker, false);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "NSInvalidArgumentException");
        EXPECT_EQ(e.reason(), "Thread NSThreadExt 'never started' is not prepared to receive thread messages. "
                              "You must invoke +prepareForThreadMessages for each thread.");
    }
}

TEST(ThreadMessages, WaitOnAThreadThatEndedReturns)
{
    Ref<RunLoop> ended;
    std::thread([&] { ended = Ref<RunLoop>(RunLoop::current()); }).join();
    bool ran = false;
    ThreadMessages::performSelector([&] { ran = true; }, ended.get(), true); // must not hang
    EXPECT_FALSE(ran);
}

TEST(ThreadMessages, OrderedMainLoopMessagesHonourOrderAndModes)
{
    std::vector<std::string> ran;
    std::thread sender([&] {
        ThreadMessages::performSelectorWithObject([&] { ran.push_back("default 2"); }, 2, {NSDefaultRunLoopMode});
        ThreadMessages::performSelectorWithObject([&] { ran.push_back("common 1"); }, 1, {NSRunLoopCommonModes});
        ThreadMessages::performSelectorWithObject([&] { ran.push_back("modal 0"); }, 0, {NSModalPanelRunLoopMode});
    });
    sender.join();
    // While a modal panel runs, the default-mode message waits.
    ASSERT_TRUE(runMainLoopUntil([&] { return ran.size() == 2; }, NSModalPanelRunLoopMode));
    EXPECT_EQ(ran, (std::vector<std::string> {"modal 0", "common 1"}));
    ASSERT_TRUE(runMainLoopUntil([&] { return ran.size() == 3; }));
    EXPECT_EQ(ran.back(), "default 2");
}
