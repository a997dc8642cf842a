#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Exception.h"
#include "Platform/Log.h"

using namespace vistel;
using namespace std::chrono_literals;

namespace {

// Waits (briefly polling) until `done`, for conditions another thread makes true. The limit is
// generous: on a loaded machine a worker may not be scheduled for a long while.
template <class Pred>
bool eventually(Pred done, std::chrono::milliseconds limit = 30000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return done();
}

// A subclass overriding the body, as the updater threads do.
class CountingThread : public NSThreadExt {
public:
    std::atomic<int> loops {0};
    std::atomic<bool> sawCancel {false};

protected:
    void main() override
    {
        auto* self = currentThreadExt();
        while (!self->isCancelled()) {
            ++loops;
            std::this_thread::sleep_for(1ms);
        }
        sawCancel = true;
    }
};

struct Target : Object {
    std::atomic<int> calls {0};
    Value argument;
    void work(const Value& a)
    {
        argument = a;
        ++calls;
    }
};

// Touches 9 MiB of stack: survives only on the worker's fixed 10 MiB stack.
__attribute__((noinline)) int useNineMegabytesOfStack()
{
    volatile char block[9 * 1024 * 1024];
    for (std::size_t i = 0; i < sizeof block; i += 4096)
        block[i] = static_cast<char>(i);
    return block[4096 * 7];
}

} // namespace

TEST(NSThreadExt, StartReturnsOnlyWhenTheBodyRuns)
{
    std::atomic<bool> release {false};
    auto worker = NSThreadExt::create([&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    EXPECT_FALSE(worker->isExecuting());
    worker->start();
    EXPECT_TRUE(worker->isExecuting());
    EXPECT_FALSE(worker->isFinished());
    EXPECT_TRUE(NSThreadExt::isMultiThreaded());
    release = true;
    ASSERT_TRUE(eventually([&] { return worker->isFinished(); }));
    EXPECT_FALSE(worker->isExecuting());
}

TEST(NSThreadExt, CancelBeforeStartIsForgottenAfterStartSeen)
{
    auto worker = makeRef<CountingThread>();
    worker->cancel();
    worker->start();
    EXPECT_FALSE(worker->isCancelled());
    ASSERT_TRUE(eventually([&] { return worker->loops > 2; }));
    EXPECT_FALSE(worker->sawCancel);
    worker->cancel();
    ASSERT_TRUE(eventually([&] { return worker->isFinished(); }));
    EXPECT_TRUE(worker->sawCancel);
}

TEST(NSThreadExt, AbortWaitsForTheBody)
{
    auto worker = makeRef<CountingThread>();
    worker->start();
    worker->abort();
    EXPECT_TRUE(worker->sawCancel);
    EXPECT_TRUE(worker->isFinished());
    EXPECT_TRUE(worker->isCancelled());
    worker->abort(); // a second abort returns at once
}

TEST(NSThreadExt, AbortAfterCancelReturnsAtOnce)
{
    std::atomic<bool> release {false};
    auto worker = NSThreadExt::create([&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    worker->start();
    worker->cancel();
    worker->abort(); // does not wait: the body ignores the flag and still runs
    EXPECT_TRUE(worker->isExecuting());
    release = true;
    ASSERT_TRUE(eventually([&] { return worker->isFinished(); }));
}

TEST(NSThreadExt, AbortOfANeverStartedWorkerReturns)
{
    auto worker = NSThreadExt::create([] { });
    worker->abort();
    EXPECT_TRUE(worker->isCancelled());
    EXPECT_FALSE(worker->isFinished());
}

TEST(NSThreadExt, AbortFromItsOwnBodyDoesNotWaitForItself)
{
    auto worker = NSThreadExt::create([] { NSThreadExt::currentThreadExt()->abort(); });
    worker->start();
    ASSERT_TRUE(eventually([&] { return worker->isFinished(); }));
    EXPECT_TRUE(worker->isCancelled());
}

TEST(NSThreadExt, ThrowingBodyIsLoggedAndLeavesTheWorkerFinished)
{
    ScopedLogCapture log;
    struct Case {
        const char* name;
        std::function<void()> body;
        const char* logged;
    };
    const Case cases[] = {
        {"assertion", [] { ZOV_ASSERT(false, "Index out of range"); }, "Index out of range"},
        {"std", [] { throw std::runtime_error("disk gone"); }, "disk gone"},
        {"other", [] { throw 42; }, "unknown exception"},
    };
    for (const auto& c : cases) {
        auto worker = NSThreadExt::create(c.body);
        worker->setName(std::string("Thrower ") + c.name);
        worker->start();
        worker->abort(); // returns although the body raised
        EXPECT_TRUE(worker->isFinished()) << c.name;
        EXPECT_FALSE(worker->isExecuting()) << c.name;
        EXPECT_TRUE(log.contains(std::string("Thrower ") + c.name)) << c.name;
        EXPECT_TRUE(log.contains(c.logged)) << c.name;
    }
}

TEST(NSThreadExt, BodyUsingNineMegabytesOfStackSurvives)
{
    std::atomic<int> result {-1};
    auto worker = NSThreadExt::create([&] { result = useNineMegabytesOfStack(); });
    worker->start();
    worker->abort();
    EXPECT_TRUE(worker->isFinished());
    EXPECT_EQ(result, static_cast<char>(4096 * 7));
}

TEST(NSThreadExt, CurrentThreadExtAndMainThread)
{
    EXPECT_EQ(NSThreadExt::currentThreadExt(), nullptr);
    EXPECT_TRUE(NSThreadExt::isMainThread());
    EXPECT_EQ(NSThreadExt::mainThread(), RunLoop::current());

    NSThreadExt* seen = reinterpret_cast<NSThreadExt*>(1);
    std::thread([&] { seen = NSThreadExt::currentThreadExt(); }).join();
    EXPECT_EQ(seen, nullptr);

    std::atomic<NSThreadExt*> inside {nullptr};
    std::atomic<bool> insideIsMain {true};
    auto worker = NSThreadExt::create([&] {
        inside = NSThreadExt::currentThreadExt();
        insideIsMain = NSThreadExt::isMainThread();
    });
    worker->start();
    worker->abort();
    EXPECT_EQ(inside.load(), worker.get());
    EXPECT_FALSE(insideIsMain);
}

TEST(NSThreadExt, DetachedSelectorKeepsTargetAndWorkerAlive)
{
    auto target = makeRef<Target>();
    auto worker = NSThreadExt::detachNewThreadSelector(&Target::work, target, Value("folder"));
    worker->setName("updater");
    EXPECT_EQ(worker->name(), "updater");
    EXPECT_EQ(worker->description(), "NSThreadExt 'updater'");
    ASSERT_TRUE(eventually([&] { return worker->isFinished(); }));
    EXPECT_EQ(target->calls, 1);
    EXPECT_EQ(target->argument, Value("folder"));

    // A started worker whose only reference is dropped runs to its end.
    std::atomic<bool> ran {false};
    NSThreadExt::create([&] { std::this_thread::sleep_for(5ms); ran = true; })->start();
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
}

TEST(NSThreadExt, StartingTwiceRaises)
{
    auto worker = NSThreadExt::create([] { });
    worker->start();
    EXPECT_THROW(worker->start(), Exception);
    worker->abort();
}

TEST(NSThreadExt, RequestAndResultQueues)
{
    auto worker = NSThreadExt::create([] {
        auto* self = NSThreadExt::currentThreadExt();
        for (;;) {
            Value request = self->getRequestFirst(true, false);
            if (request["type"] == Value("STOP"))
                return;
            self->addResult(Value::dictionary({{"ID", request["ID"]}, {"#Status", "Finished"}}));
        }
    });
    auto shared = ThreadSafeQueue::create();
    worker->setResultsQueue(shared);
    EXPECT_EQ(worker->resultsQueue(), shared);
    worker->start();
    for (int i = 0; i < 3; ++i)
        worker->addRequest(Value::dictionary({{"type", "Folder"}, {"ID", i}}));
    worker->addRequest(Value::dictionary({{"type", "STOP"}}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(worker->getResultFirst(true, false)["ID"], Value(i));
    EXPECT_TRUE(worker->getResultFirst(true, true).isNull());
    worker->abort();
}
