#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadSafeQueue.h"
#include "Platform/Exception.h"
#include "RunLoopTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::runMainLoopUntil;
using namespace std::chrono_literals;

namespace {

struct Drainer : Object {
    Ref<ThreadSafeQueue> queue;
    std::vector<std::vector<int>> seen; // per producer, in the order taken
    std::size_t taken = 0;
    std::size_t calls = 0;
    void resultsAvailable(const Value& param)
    {
        EXPECT_EQ(param, Value("results"));
        ++calls;
        for (Value v = queue->tryDequeue(true); !v.isNull(); v = queue->tryDequeue(true)) {
            seen[v["producer"].toInt64()].push_back(static_cast<int>(v["n"].toInt64()));
            ++taken;
        }
    }
};

} // namespace

TEST(ThreadSafeQueue, TakesFromEitherEnd)
{
    auto queue = ThreadSafeQueue::create();
    for (const char* s : {"A", "B", "C"})
        queue->enqueue(Value(s));
    EXPECT_EQ(queue->dequeue(true), Value("A"));
    EXPECT_EQ(queue->dequeue(false), Value("C"));
    EXPECT_EQ(queue->tryDequeue(true), Value("B"));
    EXPECT_TRUE(queue->tryDequeue(true).isNull());
    EXPECT_TRUE(queue->tryDequeue(false).isNull());
    EXPECT_THROW(queue->enqueue(Value()), Exception);
}

TEST(ThreadSafeQueue, ClearEmpties)
{
    auto queue = ThreadSafeQueue::create();
    queue->enqueue(Value(1));
    queue->enqueue(Value(2));
    queue->clear();
    EXPECT_EQ(queue->count(), 0u);
    EXPECT_TRUE(queue->tryDequeue(true).isNull());
}

TEST(ThreadSafeQueue, DequeueBlocksUntilAnotherThreadEnqueues)
{
    auto queue = ThreadSafeQueue::create();
    std::atomic<bool> enqueued {false};
    std::thread producer([&] {
        std::this_thread::sleep_for(20ms);
        enqueued = true;
        queue->enqueue(Value::dictionary({{"type", "File"}}));
    });
    Value v = queue->dequeue(true);
    EXPECT_TRUE(enqueued);
    EXPECT_EQ(v["type"], Value("File"));
    producer.join();
}

TEST(ThreadSafeQueue, ListenerOnTheEnqueuingThreadRunsInlineAndMayTake)
{
    // Told after the queue's lock is released: taking from the same queue does not deadlock.
    auto queue = ThreadSafeQueue::create();
    std::vector<Value> taken;
    std::vector<Value> params;
    auto listener = queue->addDequeueNotificationListner({}, [&](const Value& param) {
        params.push_back(param);
        taken.push_back(queue->tryDequeue(true));
    }, Value("p"));
    queue->enqueue(Value(1));
    queue->enqueue(Value(2));
    queue->enqueue(Value(3));
    EXPECT_EQ(taken, (std::vector<Value> {Value(1), Value(2), Value(3)}));
    EXPECT_EQ(params, (std::vector<Value> {Value("p"), Value("p"), Value("p")}));
    EXPECT_EQ(queue->listeners().size(), 1u);
    queue->removeListner(listener);
    queue->enqueue(Value(4));
    EXPECT_EQ(taken.size(), 3u);
    EXPECT_TRUE(queue->listeners().empty());
}

TEST(ThreadSafeQueue, ListenersToldInRegistrationOrder)
{
    auto queue = ThreadSafeQueue::create();
    std::vector<int> order;
    queue->addDequeueNotificationListner({}, [&](const Value&) { order.push_back(1); });
    queue->addDequeueNotificationListner({}, [&](const Value&) { order.push_back(2); });
    queue->enqueue(Value(0));
    EXPECT_EQ(order, (std::vector<int> {1, 2}));
}

TEST(ThreadSafeQueue, ProducersDrainedByAMainThreadListenerEachTakenOnce)
{
    const int producers = 4;
    const int perProducer = test::scaled(10000, 100000);
    auto drainer = makeRef<Drainer>();
    drainer->queue = ThreadSafeQueue::create();
    drainer->seen.resize(producers);
    auto listener = drainer->queue->addDequeueNotificationListner(drainer, &Drainer::resultsAvailable, Value("results"));

    std::vector<Ref<NSThreadExt>> workers;
    for (int p = 0; p < producers; ++p) {
        auto worker = NSThreadExt::create([queue = drainer->queue, p, perProducer] {
            for (int n = 0; n < perProducer; ++n)
                queue->enqueue(Value::dictionary({{"producer", p}, {"n", n}, {"#Status", "InProgress"}}));
        });
        worker->start();
        workers.push_back(worker);
    }
    const std::size_t total = static_cast<std::size_t>(producers) * perProducer;
    ASSERT_TRUE(runMainLoopUntil([&] { return drainer->taken == total; }));
    for (auto& w : workers)
        w->abort();
    // The listener is told once per object; later calls may find the queue empty.
    EXPECT_TRUE(runMainLoopUntil([&] { return drainer->calls == total; }));
    for (int p = 0; p < producers; ++p) {
        ASSERT_EQ(drainer->seen[p].size(), static_cast<std::size_t>(perProducer));
        for (int n = 0; n < perProducer; ++n)
            ASSERT_EQ(drainer->seen[p][n], n) << "producer " << p;
    }
    drainer->queue->removeListner(listener);
}
