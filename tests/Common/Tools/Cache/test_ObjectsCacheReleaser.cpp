#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "Common/Tools/Cache/ObjectsCacheReleaser.h"
#include "TestSupport.h"

namespace vistel {
namespace {

constexpr std::int64_t MiB = 1024 * 1024;
constexpr int CatalogueItem = 2;
constexpr int CameraData = 4;

class FakeClock final : public CacheClock {
public:
    TimePoint now() const override { return now_.load(); }
    void advance(double seconds)
    {
        now_.store(now_.load() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(seconds)));
    }

private:
    std::atomic<TimePoint> now_ {TimePoint {} + std::chrono::hours(1)};
};

// A cached object as the catalogue and camera code write them: its own lock guards the cache,
// fill() registers while holding it, releaseCache() only try-locks it.
class CachedObject final : public ObjectWithCacheProtocol {
public:
    CachedObject(ObjectsCacheReleaser& releaser, int option) : releaser_(releaser), option_(option) { }
    ~CachedObject()
    {
        std::lock_guard guard(mutex_);
        releaser_.removeObject(info_.get());
    }

    void fill(std::int64_t bytes)
    {
        std::lock_guard guard(mutex_);
        size_.store(bytes);
        info_ = releaser_.addObject(this);
    }

    int releaseOption() const override { return option_; }
    Ref<ObjectWithCacheInfo> cacheInformation() const override { return info_; } // caller holds mutex_
    std::int64_t cacheSize() const override { return size_.load(); }
    bool releaseCache() override
    {
        std::unique_lock guard(mutex_, std::try_to_lock);
        if (!guard.owns_lock() || refuse)
            return false;
        size_.store(0);
        info_ = nullptr;
        ++releaseCount;
        return true;
    }

    bool registered()
    {
        std::lock_guard guard(mutex_);
        return info_ != nullptr;
    }
    ObjectWithCacheInfo* entry()
    {
        std::lock_guard guard(mutex_);
        return info_.get();
    }

    std::atomic<bool> refuse {false};
    std::atomic<int> releaseCount {0};

private:
    ObjectsCacheReleaser& releaser_;
    const int option_;
    std::mutex mutex_;
    std::atomic<std::int64_t> size_ {0};
    Ref<ObjectWithCacheInfo> info_;
};

// The list read from both ends agrees with the totals and with every object's entry.
void expectListConsistent(ObjectsCacheReleaser& releaser, std::vector<std::unique_ptr<CachedObject>>& objects)
{
    std::int32_t count = 0;
    std::int64_t bytes = 0;
    ObjectWithCacheInfo* previous = nullptr;
    for (ObjectWithCacheInfo* e = releaser.firstObjectInfo(); e; e = e->nextObject()) {
        EXPECT_EQ(e->prevObject(), previous);
        EXPECT_TRUE(e->isListed());
        ++count;
        bytes += e->cacheSize();
        previous = e;
    }
    EXPECT_EQ(releaser.lastObjectInfo(), previous);
    EXPECT_EQ(count, releaser.totalObjectsCount());
    EXPECT_EQ(bytes, releaser.totalCacheSize());
    std::int32_t registered = 0;
    for (auto& object : objects) {
        if (ObjectWithCacheInfo* entry = object->entry()) {
            EXPECT_TRUE(entry->isListed());
            ++registered;
        }
    }
    EXPECT_EQ(registered, count);
}

class ObjectsCacheReleaserTest : public ::testing::Test {
protected:
    Ref<FakeClock> clock = makeRef<FakeClock>();
    ObjectsCacheReleaser releaser {
        std::make_unique<ObjectsCachePolicy>(ObjectsCacheReleaser::SharedMaxObjectCount,
                                             ObjectsCacheReleaser::SharedMaxMemorySize,
                                             ObjectsCacheReleaser::SharedMaxObjectLiveTime),
        nullptr, clock};
    std::vector<std::unique_ptr<CachedObject>> objects;

    ~ObjectsCacheReleaserTest() override { objects.clear(); }

    CachedObject& addFilled(int option, std::int64_t bytes)
    {
        objects.push_back(std::make_unique<CachedObject>(releaser, option));
        objects.back()->fill(bytes);
        return *objects.back();
    }
    void trim() { releaser.cachePolicy().releaseCacheTimerProc(); }

    void expectConsistent() { expectListConsistent(releaser, objects); }
};

TEST_F(ObjectsCacheReleaserTest, AddingMovesToHeadAndCountsOnce)
{
    CachedObject& a = addFilled(CatalogueItem, 10);
    CachedObject& b = addFilled(CatalogueItem, 20);
    addFilled(CatalogueItem, 30);
    EXPECT_EQ(releaser.lastObjectInfo(), a.entry());

    clock->advance(5);
    a.fill(15); // used again with a bigger cache
    EXPECT_EQ(releaser.firstObjectInfo(), a.entry());
    EXPECT_EQ(releaser.lastObjectInfo(), b.entry());
    EXPECT_EQ(releaser.totalObjectsCount(), 3);
    EXPECT_EQ(releaser.totalCacheSize(), 65);
    EXPECT_EQ(a.entry()->lastObjectUsedTime(), clock->now());
    expectConsistent();

    // Removing twice (the object and a pass may both try) changes the totals once.
    ObjectWithCacheInfo* entryOfB = b.entry();
    releaser.removeObject(entryOfB);
    releaser.removeObject(entryOfB);
    EXPECT_EQ(releaser.totalObjectsCount(), 2);
    EXPECT_EQ(releaser.totalCacheSize(), 45);
}

TEST_F(ObjectsCacheReleaserTest, NothingIsClearedUnderTheLimits)
{
    struct Case {
        const char* name;
        int entries;
        double idleSeconds;
    };
    const Case cases[] = {
        {"under the count, however old", 999, 100000},
        {"over the count, all recently used", 1001, 239},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        objects.clear();
        for (int i = 0; i < c.entries; ++i)
            addFilled(CatalogueItem, 1000);
        clock->advance(c.idleSeconds);
        trim();
        EXPECT_EQ(releaser.totalObjectsCount(), c.entries);
        for (auto& object : objects)
            EXPECT_EQ(object->releaseCount.load(), 0);
        expectConsistent();
    }
}

TEST_F(ObjectsCacheReleaserTest, OldestIdleEntryIsClearedOverTheCount)
{
    CachedObject& oldest = addFilled(CatalogueItem, 1000);
    clock->advance(300);
    for (int i = 0; i < 1000; ++i)
        addFilled(CatalogueItem, 1000);
    trim();
    EXPECT_EQ(oldest.releaseCount.load(), 1);
    EXPECT_FALSE(oldest.registered());
    EXPECT_EQ(oldest.cacheSize(), 0);
    EXPECT_EQ(releaser.totalObjectsCount(), 1000);
    EXPECT_EQ(releaser.totalCacheSize(), 1000 * 1000);
    expectConsistent();
}

TEST_F(ObjectsCacheReleaserTest, CameraDataStaysInPlaceBelowTheMemoryLimit)
{
    CachedObject& camera = addFilled(CameraData, 1000);
    CachedObject& item = addFilled(CatalogueItem, 1000);
    clock->advance(300);
    for (int i = 0; i < 999; ++i)
        addFilled(CatalogueItem, 1000);
    trim();
    // Level 3 does not reach camera data; the walk goes on to the next idle entry.
    EXPECT_EQ(camera.releaseCount.load(), 0);
    EXPECT_TRUE(camera.registered());
    EXPECT_EQ(releaser.lastObjectInfo(), camera.entry());
    EXPECT_EQ(item.releaseCount.load(), 1);
    EXPECT_EQ(releaser.totalObjectsCount(), 1000);
    expectConsistent();
}

TEST_F(ObjectsCacheReleaserTest, OverTheMemoryLimitEntriesAreClearedFromTheTail)
{
    // Five fresh entries of 100 MiB: two must go to get to 300 MiB, camera data included.
    CachedObject& first = addFilled(CameraData, 100 * MiB);
    CachedObject& second = addFilled(CatalogueItem, 100 * MiB);
    for (int i = 0; i < 3; ++i)
        addFilled(CatalogueItem, 100 * MiB);
    trim();
    EXPECT_EQ(first.releaseCount.load(), 1);
    EXPECT_EQ(second.releaseCount.load(), 1);
    EXPECT_EQ(releaser.totalObjectsCount(), 3);
    EXPECT_EQ(releaser.totalCacheSize(), 300 * MiB);
    expectConsistent();
}

TEST_F(ObjectsCacheReleaserTest, RefusingEntryIsKeptAndMovedToTheHead)
{
    CachedObject& stubborn = addFilled(CatalogueItem, 200 * MiB);
    CachedObject& next = addFilled(CatalogueItem, 200 * MiB);
    addFilled(CatalogueItem, 1);
    stubborn.refuse = true;
    clock->advance(7);
    trim();
    EXPECT_TRUE(stubborn.registered());
    EXPECT_EQ(releaser.firstObjectInfo(), stubborn.entry());
    EXPECT_EQ(stubborn.entry()->lastObjectUsedTime(), clock->now());
    // The bytes it holds still count, so the pass went on to the next entry.
    EXPECT_EQ(next.releaseCount.load(), 1);
    EXPECT_EQ(releaser.totalCacheSize(), 200 * MiB + 1);
    expectConsistent();
}

// The memory branch of an idle entry (level 5, plus 2 over the count). Once the walk is at or
// below the memory limit, the bytes freed only grow, so it can get back above the limit only
// through a tail entry that recorded a negative size: releasing it lowers what was freed. The
// next entry is then asked at level 7, which an entry that is neither idle nor over the count
// only meets this way.
TEST_F(ObjectsCacheReleaserTest, ANegativeSizeTakesTheWalkBackOverTheMemoryLimitAtTheHighestLevel)
{
    constexpr int OnlyAtTheHighestLevel = 7;
    CachedObject& negative = addFilled(CatalogueItem, -50 * MiB);
    clock->advance(300);
    CachedObject& fresh = addFilled(OnlyAtTheHighestLevel, 100 * MiB);
    for (int i = 0; i < 1000; ++i)
        addFilled(CatalogueItem, 250 * 1024);
    // Recorded: -50 MiB + 100 MiB + 244 MiB, under the 300 MiB limit; two entries over the count.
    ASSERT_LE(releaser.totalCacheSize(), ObjectsCacheReleaser::SharedMaxMemorySize);
    trim();
    EXPECT_EQ(negative.releaseCount.load(), 1); // idle and over the count: level 3
    EXPECT_EQ(fresh.releaseCount.load(), 1);    // then 344 MiB left over the limit: level 7
    EXPECT_EQ(releaser.totalObjectsCount(), 1000);
    EXPECT_EQ(releaser.totalCacheSize(), 1000 * 250 * 1024);
    expectConsistent();
}

// An object that drops its entry itself while releasing (it re-enters the releaser's lock).
class SelfRemovingObject final : public ObjectWithCacheProtocol {
public:
    explicit SelfRemovingObject(ObjectsCacheReleaser& releaser) : releaser_(releaser) { info_ = releaser.addObject(this); }
    ~SelfRemovingObject() { releaser_.removeObject(info_.get()); }
    int releaseOption() const override { return CatalogueItem; }
    Ref<ObjectWithCacheInfo> cacheInformation() const override { return info_; }
    std::int64_t cacheSize() const override { return bytes_; }
    bool releaseCache() override
    {
        releaser_.removeObject(info_.get());
        info_ = nullptr;
        bytes_ = 0;
        return true;
    }

private:
    ObjectsCacheReleaser& releaser_;
    std::int64_t bytes_ = 400 * MiB;
    Ref<ObjectWithCacheInfo> info_;
};

TEST_F(ObjectsCacheReleaserTest, ObjectMayRemoveItsEntryWhileReleasing)
{
    SelfRemovingObject big(releaser);
    addFilled(CatalogueItem, 100 * MiB);
    trim();
    EXPECT_EQ(big.cacheInformation(), nullptr);
    EXPECT_EQ(releaser.totalObjectsCount(), 1);
    EXPECT_EQ(releaser.totalCacheSize(), 100 * MiB);
    expectConsistent();
}

TEST(ObjectsCachePolicy, TimerRunsInTheModesThatKeepTrimmingDuringModalPanelsAndTracking)
{
    // On a thread of its own: its fresh loop holds no other timer (the shared releaser's timer
    // lives on this thread's loop once a test made it).
    std::thread([] {
        RunLoop* loop = RunLoop::current();
        const char* modes[] = {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode,
                               NSConnectionReplyMode};
        {
            ObjectsCacheReleaser releaser(std::make_unique<ObjectsCachePolicy>(10, 100, 1.0), loop);
            ASSERT_TRUE(releaser.cachePolicy().resetCacheTimer());
            EXPECT_EQ(releaser.cachePolicy().resetCacheTimer()->timeInterval(), 2.0);
            for (const char* mode : modes)
                EXPECT_NE(loop->nextTimerDate(mode), RunLoop::distantFuture()) << mode;
        }
        for (const char* mode : modes)
            EXPECT_EQ(loop->nextTimerDate(mode), RunLoop::distantFuture()) << mode;
    }).join();
}

TEST(ObjectsCacheReleaserShared, TimerGoesToTheMainRunLoopWhateverThreadAsksFirst)
{
    RunLoop::recordMainThread();
    ObjectsCacheReleaser* shared = nullptr;
    std::thread([&] { shared = &ObjectsCacheReleaser::sharedCacheReleaser(); }).join();
    EXPECT_EQ(shared->cachePolicy().minObjectsCount(), 1000u);
    EXPECT_EQ(shared->cachePolicy().maxMemorySizeInBytes(), 314572800);
    EXPECT_EQ(shared->cachePolicy().maxObjectLiveTime(), 240.0);
    EXPECT_NE(RunLoop::main()->nextTimerDate(NSModalPanelRunLoopMode), RunLoop::distantFuture());
}

// Fillers hold their object's lock while they register; the trimmer holds the releaser's lock
// while it asks objects to release. Run both hard for a while under a watchdog.
TEST(ObjectsCacheReleaserStress, FillAndTrimNeverDeadlock)
{
    const double seconds = test::scaled(1.5, 10.0);
    Ref<FakeClock> clock = makeRef<FakeClock>();
    ObjectsCacheReleaser releaser(std::make_unique<ObjectsCachePolicy>(50, 64 * 1024, 0.5), nullptr, clock);
    std::vector<std::unique_ptr<CachedObject>> objects; // destroyed before the releaser
    for (int i = 0; i < 400; ++i)
        objects.push_back(std::make_unique<CachedObject>(releaser, i % 3 == 0 ? CameraData : CatalogueItem));

    std::atomic<bool> stop {false};
    std::atomic<long> fills {0};
    std::atomic<long> trims {0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(t);
            while (!stop.load()) {
                objects[random() % objects.size()]->fill(1 + random() % 4096);
                ++fills;
            }
        });
    }
    threads.emplace_back([&] {
        while (!stop.load()) {
            clock->advance(0.1);
            releaser.cachePolicy().releaseCacheTimerProc();
            ++trims;
        }
    });

    std::mutex doneMutex;
    std::condition_variable doneCondition;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(doneMutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds + 60);
        if (!doneCondition.wait_until(lock, deadline, [&] { return done; })) {
            std::fprintf(stderr, "FillAndTrimNeverDeadlock: threads stopped making progress (deadlock)\n");
            std::abort();
        }
    });

    auto releasedSoFar = [&] {
        long released = 0;
        for (auto& object : objects)
            released += object->releaseCount.load();
        return released;
    };
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    // On a loaded machine one side may have had little time: let both go on until each has
    // done its part (bounded; the checks below report what is missing).
    const auto extra = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((fills.load() == 0 || trims.load() == 0 || releasedSoFar() == 0) && std::chrono::steady_clock::now() < extra)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (auto& thread : threads)
        thread.join();
    {
        std::lock_guard lock(doneMutex);
        done = true;
    }
    doneCondition.notify_one();
    watchdog.join();

    EXPECT_GT(fills.load(), 0);
    EXPECT_GT(trims.load(), 0);
    EXPECT_GT(releasedSoFar(), 0);
    expectListConsistent(releaser, objects);
}

} // namespace
} // namespace vistel
