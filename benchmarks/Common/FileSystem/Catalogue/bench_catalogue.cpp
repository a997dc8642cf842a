// The catalogue's refresh road, through the updater threads into the catalogue, side by side
// with reference tools on the same files in one run:
//   Listing/Catalogue        a generated 100,000-file folder listed by the folder updater thread
//                            and applied into the catalogue (one result per main-loop pass), then
//                            saved (opening and closing the catalogue are not timed); counters:
//                            resident bytes per item (also after returning freed memory to the
//                            system), most timer lateness
//   Listing/Viewed           the same listing while the folder is shown: a browse window's
//                            selection shows it, and a view reads the count and the first screen
//                            of its list at every change notice
//   Listing/Find             `find <dir> -printf '%P %s %T@ %y\n'` over the same folder
//   Thumbnails/Catalogue     first-visit small thumbnails of the corpus pictures (reduced decode)
//                            through the file updater thread into the catalogue
//   Thumbnails/Djpeg         `djpeg -scale 1/8` on each picture (one process per file)
//   Thumbnails/Vipsthumbnail `vipsthumbnail -s 120` over all pictures in one process
//   Embedded/Catalogue       the same road with the EXIF thumbnails (pictures with one)
// items_per_second is files (or pictures) per second. bench_CatalogueStore measures the store alone.
//
// Usage: bench_catalogue [CORPUS] [benchmark flags]. CORPUS holds plain/ and embedded/ (made by
// benchmarks/Imaging/make-jpeg-corpus); without it the shared default corpus is used (made once).

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "BenchmarkSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/FilePaths.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/RunLoop.h"
#include "Platform/UserDefaults.h"

namespace vistel {
namespace {

using Clock = std::chrono::steady_clock;
std::string gCorpus;

// A folder of `count` empty files, made once per run.
const std::string& generatedFolder(int count)
{
    static const std::string folder = [count] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistel-bench-folder-XXXXXX").string();
        std::string made = ::mkdtemp(pattern.data()) ? pattern : std::string();
        char name[32];
        for (int i = 0; i < count; ++i) {
            std::snprintf(name, sizeof name, "/IMG_%06d.JPG", i);
            const int fd = ::open((made + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
        return made;
    }();
    return folder;
}

// A catalogue over a scratch folder with the Folder items down to `path`.
struct Catalogue {
    explicit Catalogue(const std::string& path)
    {
        database = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(database.get());
        folder = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        for (const std::string& component : pathComponents(path))
            if (component != "/")
                folder = database->createChildOf(folder.get(), component, MediaDatabase::EntityFolder);
    }
    ~Catalogue()
    {
        database->stopJobs();
        folder = nullptr;
        MediaDatabase::setDefaultMediaDatabase(nullptr);
    }
    // Runs the main loop until `done`; the most a 10 ms timer was late meanwhile, in ms.
    double spinUntil(const std::function<bool()>& done)
    {
        Clock::time_point last = Clock::now();
        double latest = 0;
        Ref<RunLoop::Timer> timer = RunLoop::main()->scheduleTimer(
            0.01, true,
            [&](RunLoop::Timer&) {
                const Clock::time_point now = Clock::now();
                latest = std::max(latest, std::chrono::duration<double, std::milli>(now - last).count() - 10);
                last = now;
            },
            {NSRunLoopCommonModes});
        while (!done())
            RunLoop::main()->runMode(NSDefaultRunLoopMode, RunLoop::TimePoint::clock::now() + std::chrono::milliseconds(50));
        timer->invalidate();
        return latest;
    }
    // Lists the folder into the catalogue and answers its children. `viewed`: a browse
    // window's selection shows the folder, and a view reads what it draws at every notice.
    FileSystemItemMO::ChildList list(bool viewed = false)
    {
        Ref<BrowsingSelection> selection;
        if (viewed) {
            selection = BrowsingSelection::create();
            NotificationCenter::defaultCenter().addObserver(
                this,
                [&selection](const Notification&) {
                    const unsigned count = selection->foldersObjectsCount();
                    for (unsigned i = 0; i < count && i < 40; ++i)
                        benchmark::DoNotOptimize(selection->foldersObjectAtIndex(i));
                },
                BrowsingSelectionNotification, selection.get());
            selection->setSelectedFolders({folder});
        }
        folder->enqueueRefresh();
        lateness = std::max(lateness, spinUntil([&] { return folder->refreshStatus() == 0; }));
        NotificationCenter::defaultCenter().removeObserver(this);
        return folder->childrenWithMask(kMaskAll);
    }

    bench::ScratchCatalogue scratch;
    Ref<MediaDatabase> database;
    Ref<FileSystemItemMO> folder;
    double lateness = 0;
};

void listingIntoCatalogue(benchmark::State& state, bool viewed)
{
    const int count = int(state.range(0));
    const std::string& folder = generatedFolder(count);
    double bytesPerItem = 0, trimmedBytesPerItem = 0, lateness = 0;
    for (auto _ : state) {
        // Opening the catalogue (the first one of the process also starts the volume
        // manager), measuring memory and closing the catalogue are not part of the listing.
        state.PauseTiming();
        const long before = bench::residentBytes();
        std::optional<Catalogue> catalogue(std::in_place, folder);
        state.ResumeTiming();
        const std::size_t listed = catalogue->list(viewed).size();
        catalogue->database->saveChanges();
        state.PauseTiming();
        if (listed != std::size_t(count))
            state.SkipWithError("not every file was listed");
        bytesPerItem = double(bench::residentBytes() - before) / double(count);
        ::malloc_trim(0); // what stays once freed memory goes back to the system
        trimmedBytesPerItem = double(bench::residentBytes() - before) / double(count);
        lateness = catalogue->lateness;
        catalogue.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["resident_bytes_per_item"] = bytesPerItem;
    state.counters["trimmed_bytes_per_item"] = trimmedBytesPerItem;
    state.counters["timer_late_ms"] = lateness;
}

void BM_ListingCatalogue(benchmark::State& state) { listingIntoCatalogue(state, false); }
void BM_ListingViewed(benchmark::State& state) { listingIntoCatalogue(state, true); }

void BM_ListingFind(benchmark::State& state)
{
    const int count = int(state.range(0));
    const std::string& folder = generatedFolder(count);
    for (auto _ : state)
        if (bench::run({"find", folder, "-printf", "%P %s %T@ %y\n"}) != 0)
            state.SkipWithError("find failed");
    state.SetItemsProcessed(state.iterations() * count);
}

// First visit of every picture of `subfolder`: listing, then one small-thumbnail request each,
// until every thumbnail is in the catalogue.
void thumbnailsIntoCatalogue(benchmark::State& state, const char* subfolder, bool embedded)
{
    const std::string folder = gCorpus + "/" + subfolder;
    const std::size_t pictures = bench::picturesIn(folder).size();
    if (pictures == 0) {
        state.SkipWithError("empty corpus");
        return;
    }
    UserDefaults::standard().registerDefaults(Value::dictionary({{"ThumbnailStyle.UseEmbeddedThumbnails", Value(embedded)}}));
    for (auto _ : state) {
        state.PauseTiming();
        Catalogue catalogue(folder);
        FileSystemItemMO::ChildList files = catalogue.list();
        state.ResumeTiming();
        for (const auto& file : files)
            file->enqueueRefresh();
        catalogue.spinUntil([&] {
            return std::none_of(files.begin(), files.end(), [](const auto& f) { return f->hasPendingRefreshStatusRequests(); });
        });
        state.PauseTiming();
        for (const auto& file : files)
            if (!file->hasCachedThumbnailImage())
                state.SkipWithError(("no thumbnail for " + file->name()).c_str());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * pictures));
}

void BM_ThumbnailsCatalogue(benchmark::State& state) { thumbnailsIntoCatalogue(state, "plain", false); }
void BM_EmbeddedCatalogue(benchmark::State& state) { thumbnailsIntoCatalogue(state, "embedded", true); }

void BM_ThumbnailsDjpeg(benchmark::State& state)
{
    if (!bench::toolAvailable("djpeg")) {
        state.SkipWithError("djpeg is not installed");
        return;
    }
    const auto files = bench::picturesIn(gCorpus + "/plain");
    for (auto _ : state)
        for (const auto& file : files)
            if (bench::run({"djpeg", "-scale", "1/8", "-outfile", "/dev/null", file}) != 0)
                state.SkipWithError("djpeg failed");
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
}

void BM_ThumbnailsVipsthumbnail(benchmark::State& state)
{
    if (!bench::toolAvailable("vipsthumbnail")) {
        state.SkipWithError("vipsthumbnail is not installed (libvips-tools)");
        return;
    }
    const auto files = bench::picturesIn(gCorpus + "/plain");
    const std::string out = (std::filesystem::temp_directory_path() / ("vistel-vips-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(out);
    std::vector<std::string> argv {"vipsthumbnail", "-s", "120", "-o", out + "/%s.jpg"};
    argv.insert(argv.end(), files.begin(), files.end());
    for (auto _ : state)
        if (bench::run(argv) != 0)
            state.SkipWithError("vipsthumbnail failed");
    std::error_code ignored;
    std::filesystem::remove_all(out, ignored);
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
}

} // namespace
} // namespace vistel

BENCHMARK(vistel::BM_ListingCatalogue)->Name("Listing/Catalogue")->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vistel::BM_ListingViewed)->Name("Listing/Viewed")->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vistel::BM_ListingFind)->Name("Listing/Find")->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vistel::BM_ThumbnailsCatalogue)->Name("Thumbnails/Catalogue")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(vistel::BM_ThumbnailsDjpeg)->Name("Thumbnails/Djpeg")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(vistel::BM_ThumbnailsVipsthumbnail)->Name("Thumbnails/Vipsthumbnail")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(vistel::BM_EmbeddedCatalogue)->Name("Embedded/Catalogue")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv)
{
    using namespace vistel;
    NSThreadExt::recordMainThread();
    ImagePropertyMapping::initialize();
    registerThumbnailStyleDefaults();
    const int status = bench::runCorpusBenchmarks(argc, argv, VISTEL_MAKE_JPEG_CORPUS, gCorpus);
    std::error_code ignored;
    std::filesystem::remove_all(generatedFolder(0), ignored);
    return status;
}
