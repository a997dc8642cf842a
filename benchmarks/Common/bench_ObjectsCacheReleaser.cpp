// The trim pass over a full list: it runs on the main thread every 2 s and must stay well under a
// frame (target: 100,000 entries in less than 10 ms).

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Common/Tools/Cache/ObjectsCacheReleaser.h"

namespace vistel {
namespace {

class MovableClock final : public CacheClock {
public:
    TimePoint now() const override { return now_; }
    void advance(std::chrono::seconds seconds) { now_ += seconds; }

private:
    TimePoint now_ {};
};

class BenchObject final : public ObjectWithCacheProtocol {
public:
    int releaseOption() const override { return 2; }
    Ref<ObjectWithCacheInfo> cacheInformation() const override { return info; }
    std::int64_t cacheSize() const override { return size; }
    bool releaseCache() override
    {
        size = 0;
        info = nullptr;
        return true;
    }
    Ref<ObjectWithCacheInfo> info;
    std::int64_t size = 4096;
};

// Worst case of a pass below the memory limit: every entry is idle and all but 1000 are cleared.
void BM_TrimIdleList(benchmark::State& state)
{
    const auto entries = static_cast<std::size_t>(state.range(0));
    Ref<MovableClock> clock = makeRef<MovableClock>();
    ObjectsCacheReleaser releaser(std::make_unique<ObjectsCachePolicy>(1000, 314572800, 240.0), nullptr, clock);
    std::vector<BenchObject> objects(entries);
    for (auto _ : state) {
        state.PauseTiming();
        for (BenchObject& object : objects) {
            object.size = 4096;
            object.info = releaser.addObject(&object);
        }
        clock->advance(std::chrono::seconds(300));
        state.ResumeTiming();
        releaser.cachePolicy().releaseCacheTimerProc();
    }
    state.counters["left"] = releaser.totalObjectsCount();
    for (BenchObject& object : objects)
        releaser.removeObject(object.info.get());
}
BENCHMARK(BM_TrimIdleList)->Arg(100000)->Unit(benchmark::kMillisecond);

// Above the memory limit every entry is asked, whatever its age.
void BM_TrimOverMemoryLimit(benchmark::State& state)
{
    const auto entries = static_cast<std::size_t>(state.range(0));
    ObjectsCacheReleaser releaser(std::make_unique<ObjectsCachePolicy>(1000, 1, 240.0), nullptr);
    std::vector<BenchObject> objects(entries);
    for (auto _ : state) {
        state.PauseTiming();
        for (BenchObject& object : objects) {
            object.size = 4096;
            object.info = releaser.addObject(&object);
        }
        state.ResumeTiming();
        releaser.cachePolicy().releaseCacheTimerProc();
    }
    for (BenchObject& object : objects)
        releaser.removeObject(object.info.get());
}
BENCHMARK(BM_TrimOverMemoryLimit)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace vistel

BENCHMARK_MAIN();
