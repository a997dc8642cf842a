// Batch conversion on all cores beside command-line pipelines doing the same work.
//
//   OurConvert/N         the conversion engine with N workers (N = online processors): the corpus
//                        into 1024x768 JPEG at quality 95, into a tmpfs-backed folder (/dev/shm)
//   DjpegCjpeg/N         `djpeg -scale 1/4 | cjpeg -quality 95` per file through `xargs -P N`
//   Vipsthumbnail/N      `vipsthumbnail -s 1024x768` at Q=95 with VIPS_CONCURRENCY=1, per file
//                        through `xargs -P N`
// Goal: ours within 1.5x the djpeg pipeline and below vipsthumbnail. The peak resident memory of
// this process is printed as the counter peak_rss_mb (its own conversions only: the tools run
// in other processes).
//
// Usage: bench_convert [CORPUS] [benchmark flags]; the corpus is the one make-jpeg-corpus makes
// (its "plain" folder is used).

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "BenchmarkSupport.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Operations/ImageConvertor.h"
#include "Platform/RunLoop.h"

namespace fs = std::filesystem;
using namespace vistel;
using namespace vistel::bench;

namespace {

std::string gCorpus;

int processors() { return int(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN))); }

// A fresh output folder on a memory file system, removed afterwards.
struct ScratchOutput {
    ScratchOutput()
    {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = (base / ("vistel-convert-" + std::to_string(::getpid()))).string();
        fs::create_directories(path);
    }
    ~ScratchOutput()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    void clear()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
        fs::create_directories(path);
    }
    std::string path;
};

double peakResidentMegabytes()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_OurConvert(benchmark::State& state)
{
    const auto files = picturesIn(gCorpus + "/plain");
    Ref<ImageConvertor> engine = ImageConvertor::create(int(state.range(0)));
    ScratchOutput output;
    const Value options = Value::dictionary({
        {kImageConvertorFormatKey, "public.jpeg"},
        {kImageConvertorQualityKey, 0.95},
        {kImageConvertorSizeKey, Value::array({1024, 768})},
        {kFileOperationDuplicateActionKey, 1},
    });
    for (auto _ : state) {
        engine->addJobWithInputFiles(files, output.path, options);
        while (!engine->runningGroups().empty())
            RunLoop::main()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + std::chrono::milliseconds(5));
        state.PauseTiming();
        if (fs::is_empty(output.path))
            state.SkipWithError("nothing written");
        output.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
    state.counters["peak_rss_mb"] = peakResidentMegabytes();
}

// The files through `xargs -P N sh -c SCRIPT` (each file is $1 of the script, the output
// folder $OUT).
void runThroughXargs(benchmark::State& state, const std::string& tool, const std::string& script,
                     const std::string& environment = {})
{
    if (!toolAvailable(tool)) {
        state.SkipWithError((tool + " is not installed").c_str());
        return;
    }
    const auto files = picturesIn(gCorpus + "/plain");
    ScratchOutput output;
    const std::string list = output.path + ".list";
    {
        std::FILE* out = std::fopen(list.c_str(), "w");
        for (const auto& file : files)
            std::fprintf(out, "%s\n", file.c_str());
        std::fclose(out);
    }
    const std::string command = environment + " OUT='" + output.path + "' xargs -P " + std::to_string(state.range(0))
                                + " -I{} sh -c '" + script + "' _ {} < '" + list + "'";
    for (auto _ : state) {
        if (run({"sh", "-c", command}) != 0) {
            state.SkipWithError((tool + " failed").c_str());
            break;
        }
        state.PauseTiming();
        output.clear();
        state.ResumeTiming();
    }
    std::remove(list.c_str());
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
}

void BM_DjpegCjpeg(benchmark::State& state)
{
    runThroughXargs(state, "djpeg",
                    "djpeg -scale 1/4 \"$1\" | cjpeg -quality 95 > \"$OUT/$(basename \"$1\" .JPG).jpg\"");
}

void BM_Vipsthumbnail(benchmark::State& state)
{
    runThroughXargs(state, "vipsthumbnail", "vipsthumbnail -s 1024x768 -o \"$OUT/%s.jpg[Q=95]\" \"$1\"",
                    "VIPS_CONCURRENCY=1");
}

void allCores(benchmark::internal::Benchmark* benchmark) { benchmark->Arg(processors()); }

} // namespace

BENCHMARK(BM_OurConvert)->Apply(allCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DjpegCjpeg)->Apply(allCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Vipsthumbnail)->Apply(allCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv)
{
    NSThreadExt::recordMainThread();
    return runCorpusBenchmarks(argc, argv, VISTEL_MAKE_JPEG_CORPUS, gCorpus);
}
