#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/SignalObject.h"
#include "Platform/Exception.h"
#include "RunLoopTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::runMainLoopUntil;
using namespace std::chrono_literals;

namespace {

void drainMainLoop()
{
    RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + 20ms);
}

class VolumeManager : public SignalObject { };

class Catalogue : public SignalObject {
public:
    Catalogue()
    {
        addSlot("volumeMounted:", [this](const Notification& n) {
            mounted.push_back(static_cast<int>(n.userInfo["ZovVolumeManagerVolumeInfoKey"].toInt64()));
            senders.push_back(n.object.get());
            onMainThread = onMainThread && NSThreadExt::isMainThread();
        });
    }
    std::vector<int> mounted;
    std::vector<const Object*> senders;
    bool onMainThread = true;
};

Value info(int n)
{
    return Value::dictionary({{"ZovVolumeManagerVolumeInfoKey", n}});
}

// Emits `count` signals from a worker, then ends.
Ref<NSThreadExt> emitFromWorker(const Ref<VolumeManager>& sender, int count)
{
    auto worker = NSThreadExt::create([sender, count] {
        for (int i = 0; i < count; ++i)
            sender->emitSignal("ZovVolumeManagerMountedNotification", info(i));
    });
    worker->start();
    return worker;
}

} // namespace

TEST(Signals, EmitOnTheConnectingThreadRunsTheSlotBeforeReturning)
{
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    EXPECT_TRUE(receiver->connectSignal(sender.get(), "ZovVolumeManagerMountedNotification", "volumeMounted:"));
    sender->emitSignal("ZovVolumeManagerMountedNotification", info(7));
    EXPECT_EQ(receiver->mounted, (std::vector<int> {7}));
    EXPECT_EQ(receiver->senders, (std::vector<const Object*> {sender.get()}));
    sender->emitSignal("ZovVolumeManagerUnmountedNotification", info(8)); // no connection: nothing
    EXPECT_EQ(receiver->mounted.size(), 1u);
    receiver->disconnectAll();
}

TEST(Signals, EmitsFromAWorkerReachTheMainThreadInOrder)
{
    const int count = test::scaled(10000, 100000);
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    receiver->connectSignal(sender.get(), "ZovVolumeManagerMountedNotification", "volumeMounted:");
    auto worker = emitFromWorker(sender, count);
    ASSERT_TRUE(runMainLoopUntil([&] { return receiver->mounted.size() >= static_cast<std::size_t>(count); }, NSEventTrackingRunLoopMode));
    worker->abort();
    drainMainLoop();
    ASSERT_EQ(receiver->mounted.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(receiver->mounted[i], i);
    EXPECT_TRUE(receiver->onMainThread);
    receiver->disconnectAll();
}

TEST(Signals, ConnectingTwiceRunsTheSlotTwiceAndDisconnectRemovesOne)
{
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    receiver->connectSignal(sender.get(), "S", "volumeMounted:");
    receiver->connectSignal(sender.get(), "S", "volumeMounted:");
    sender->emitSignal("S", info(1));
    EXPECT_EQ(receiver->mounted.size(), 2u);
    EXPECT_TRUE(receiver->disconnectSignal(sender.get(), "S", "volumeMounted:"));
    sender->emitSignal("S", info(2));
    EXPECT_EQ(receiver->mounted.size(), 3u);
    EXPECT_TRUE(receiver->disconnectSignal(sender.get(), "S", "volumeMounted:"));
    EXPECT_FALSE(receiver->disconnectSignal(sender.get(), "S", "volumeMounted:"));
}

TEST(Signals, UnknownSlotRaisesConnect)
{
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    try {
        receiver->connectSignal(sender.get(), "S", "volumeUnmounted:");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "_connect()");
        EXPECT_EQ(e.reason(), "Reveiver 'Catalogue' not responds to selector 'volumeUnmounted:'");
    }
}

TEST(Signals, DisconnectAllDropsDeliveriesAlreadyQueued)
{
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    receiver->connectSignal(sender.get(), "ZovVolumeManagerMountedNotification", "volumeMounted:");
    emitFromWorker(sender, 5)->abort(); // five deliveries queued, none run yet
    receiver->disconnectAll();
    drainMainLoop();
    EXPECT_TRUE(receiver->mounted.empty());
}

TEST(Signals, DisconnectSignalKeepsDeliveriesAlreadyQueued)
{
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    receiver->connectSignal(sender.get(), "ZovVolumeManagerMountedNotification", "volumeMounted:");
    emitFromWorker(sender, 3)->abort();
    receiver->disconnectAllSignals(); // the receiver is no sender: removes nothing
    sender->disconnectAllSignals();
    drainMainLoop();
    EXPECT_EQ(receiver->mounted, (std::vector<int> {0, 1, 2}));
}

TEST(Signals, DestroyedReceiverThenEmitIsSafe)
{
    // The slot counts outside the receiver, so that calls after its end can be seen.
    struct Counting : SignalObject {
        explicit Counting(std::shared_ptr<std::atomic<int>> calls)
        {
            addSlot("volumeMounted:", [calls](const Notification&) { ++*calls; });
        }
    };
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Counting>(calls);
    receiver->connectSignal(sender.get(), "ZovVolumeManagerMountedNotification", "volumeMounted:");
    emitFromWorker(sender, 3)->abort(); // queued deliveries to a receiver about to go
    receiver = nullptr;
    sender->emitSignal("ZovVolumeManagerMountedNotification", info(9)); // same thread: would call at once
    emitFromWorker(sender, 3)->abort();
    drainMainLoop();
    EXPECT_EQ(calls->load(), 0) << "a slot of the destroyed receiver ran";

    // The sender still delivers, inline and queued, to a receiver that lives.
    auto live = makeRef<Catalogue>();
    live->connectSignal(sender.get(), "ZovVolumeManagerMountedNotification", "volumeMounted:");
    sender->emitSignal("ZovVolumeManagerMountedNotification", info(7));
    emitFromWorker(sender, 2)->abort();
    EXPECT_TRUE(runMainLoopUntil([&] { return live->mounted.size() == 3; }, NSEventTrackingRunLoopMode));
    EXPECT_EQ(live->mounted, (std::vector<int> {7, 0, 1}));
    EXPECT_EQ(calls->load(), 0);
    live->disconnectAll();
}

TEST(Signals, DestroyedSenderDisconnects)
{
    auto receiver = makeRef<Catalogue>();
    {
        auto sender = makeRef<VolumeManager>();
        receiver->connectSignal(sender.get(), "S", "volumeMounted:");
    }
    // A new sender, possibly at the same address, is not connected.
    auto other = makeRef<VolumeManager>();
    other->emitSignal("S", info(1));
    EXPECT_TRUE(receiver->mounted.empty());
}

TEST(Signals, SlotMayDestroyAnotherReceiverOfTheSameEmit)
{
    auto sender = makeRef<VolumeManager>();
    auto second = makeRef<Catalogue>();
    struct Killer : SignalObject {
        Ref<Catalogue>* victim = nullptr;
        Killer() { addSlot("kill:", [this](const Notification&) { *victim = nullptr; }); }
    };
    auto killer = makeRef<Killer>();
    killer->victim = &second;
    killer->connectSignal(sender.get(), "S", "kill:");
    second->connectSignal(sender.get(), "S", "volumeMounted:");
    sender->emitSignal("S", info(1));
    EXPECT_EQ(second, nullptr);
    killer->disconnectAll();
}

TEST(Signals, ConnectionKinds)
{
    struct Case {
        ConnectionType type;
        bool runsOnEmittingThread; // emitted from a worker
        bool emitterWaits;
    };
    const Case cases[] = {
        {ConnectionType::Automatic, false, false},
        {ConnectionType::Direct, true, true},
        {ConnectionType::Queued, false, false},
        {ConnectionType::BlockingQueued, false, true},
    };
    for (const auto& c : cases) {
        auto sender = makeRef<VolumeManager>();
        auto receiver = makeRef<Catalogue>();
        receiver->connectSignal(sender.get(), "S", "volumeMounted:", c.type);
        std::atomic<bool> emitted {false};
        auto worker = NSThreadExt::create([&] {
            sender->emitSignal("S", info(1));
            emitted = true;
        });
        worker->start();
        if (c.emitterWaits && !c.runsOnEmittingThread) {
            // The worker waits in emit until the main loop has run the slot.
            std::this_thread::sleep_for(20ms);
            EXPECT_FALSE(emitted) << static_cast<int>(c.type);
        }
        ASSERT_TRUE(runMainLoopUntil([&] { return emitted.load() && !receiver->mounted.empty(); }, NSEventTrackingRunLoopMode));
        worker->abort();
        EXPECT_EQ(receiver->onMainThread, !c.runsOnEmittingThread) << static_cast<int>(c.type);
        receiver->disconnectAll();
    }
    // Queued even on the connecting thread: runs at the next pass, not inside the emit.
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    receiver->connectSignal(sender.get(), "S", "volumeMounted:", ConnectionType::Queued);
    sender->emitSignal("S", info(1));
    EXPECT_TRUE(receiver->mounted.empty());
    drainMainLoop();
    EXPECT_EQ(receiver->mounted.size(), 1u);
    receiver->disconnectAll();

    receiver->connectSignal(sender.get(), "S", "volumeMounted:", static_cast<ConnectionType>(7));
    try {
        sender->emitSignal("S");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "_makeRealConnectionType()");
        EXPECT_EQ(e.reason(), "Invalid connectionType");
    }
    receiver->disconnectAll();
}

TEST(Signals, BlockingEmitIsReleasedWhenTheDeliveryIsRemoved)
{
    auto sender = makeRef<VolumeManager>();
    auto receiver = makeRef<Catalogue>();
    receiver->connectSignal(sender.get(), "S", "volumeMounted:", ConnectionType::BlockingQueued);
    // Left-over work first, then a pass in a mode that serves none of the common-mode work
    // takes the main loop's pending wake-up: from here on only the worker's delivery makes its
    // descriptor readable.
    drainMainLoop();
    RunLoop::current()->runMode(NSConnectionReplyMode, RunLoop::Clock::now());
    auto worker = NSThreadExt::create([&] { sender->emitSignal("S", info(1)); });
    worker->start();
    pollfd queued {RunLoop::current()->wakeUpDescriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&queued, 1, 60000), 1) << "the blocking delivery was never queued";
    receiver->disconnectAll(); // the queued delivery goes: the waiting emitter must go on
    // Without running the main loop: only the removal can release the emitter.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!worker->isFinished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(worker->isFinished());
    EXPECT_TRUE(receiver->mounted.empty());
    drainMainLoop();
    EXPECT_TRUE(receiver->mounted.empty());
}
