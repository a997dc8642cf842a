// First visit of a folder of camera pictures, as a user makes it: a folder of 300 pictures
// (4000 × 3000, half of them with an EXIF thumbnail) is listed into a fresh catalogue and shown
// without scrolling (one screen of cells drawn), until every picture's stored thumbnail is in
// the catalogue file. Each run is a process of its own pinned with taskset, the files read once
// before it:
//   FirstVisit/Vistel/cores:N   this program on N cores (1, 2, 4). Time: start of the process to
//                               its exit after the last save. Counters: pictures per second
//                               while thumbnails are made (listing done to every one stored),
//                               "scaling" (that rate over N × the 1-core rate), peak RSS.
//   FirstVisit/Gthumb/cores:4   the reference viewer on the same folder under a fresh HOME, on
//                               a private Xvfb: start to the moment its thumbnail cache holds
//                               one thumbnail per picture; peak RSS.
// The cores are the first N of VISTEL_BENCH_CPUS (a taskset list, default: the last 4 this
// process may run on).
//
// Usage: bench_first_visit [CORPUS] [benchmark flags]. CORPUS holds plain/ and embedded/ made by
// benchmarks/Imaging/make-jpeg-corpus at 4000x3000 (150 each); without it that corpus is made
// once in ~/.cache/vistel/first-visit-corpus. Never part of CI.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "BenchmarkSupport.h"
#include "Common/FileSystem/Catalogue/BackgroundThumbnails.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/FilePaths.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/ObjectStore/ObjectStore.h"
#include "Platform/RunLoop.h"

namespace vistel {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int PicturesPerKind = 150;
constexpr std::size_t CellsOnScreen = 24; // a first screen of the grid at the default size
std::string gFolder; // the 300 pictures, side by side
std::string gSelf;
double gOneCoreRate = 0;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// --- the measured process -------------------------------------------------------------------------

// Lists `folder` into a fresh catalogue, draws the first screen's cells (their small thumbnails
// asked for as the grid does) and lets the background work give every picture its stored
// thumbnail; ends once the catalogue saved the last one. Prints "listed stored saved peakKB".
int visit(const std::string& folder)
{
    const Clock::time_point start = Clock::now();
    bench::ScratchCatalogue scratch;
    ImagePropertyMapping::initialize();
    registerThumbnailStyleDefaults();
    Ref<MediaDatabase> database = MediaDatabase::create();
    MediaDatabase::setDefaultMediaDatabase(database.get());
    Ref<FileSystemItemMO> item = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    for (const std::string& component : pathComponents(folder))
        if (component != "/")
            item = database->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
    auto spinUntil = [](const std::function<bool()>& done) {
        while (!done())
            RunLoop::main()->runMode(NSDefaultRunLoopMode, RunLoop::TimePoint::clock::now() + std::chrono::milliseconds(20));
    };
    item->enqueueRefresh();
    spinUntil([&] { return item->refreshStatus() == 0; });
    const double listed = secondsSince(start);
    const FileSystemItemMO::ChildList files = item->childrenWithMask(kMaskAll);
    for (std::size_t i = 0; i < files.size() && i < CellsOnScreen; ++i)
        files[i]->thumbnailImage();
    BackgroundThumbnails background;
    background.setItems(files);
    spinUntil([&] {
        return std::all_of(files.begin(), files.end(), [](const auto& f) { return f->hasCachedThumbnailLargeData(); });
    });
    const double stored = secondsSince(start);
    spinUntil([&] { return !database->managedObjectContext()->hasChanges(); });
    const double saved = secondsSince(start);
    database->stopJobs();
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::cout << listed << ' ' << stored << ' ' << saved << ' ' << usage.ru_maxrss << std::endl;
    return 0;
}

// --- the runs ---------------------------------------------------------------------------------------

// The CPUs of VISTEL_BENCH_CPUS, else the last 4 of this process's affinity.
std::vector<int> benchCpus()
{
    std::vector<int> cpus;
    if (const char* list = std::getenv("VISTEL_BENCH_CPUS")) {
        std::stringstream parts(list);
        std::string part;
        while (std::getline(parts, part, ',')) {
            const auto dash = part.find('-');
            const int first = std::stoi(part.substr(0, dash));
            const int last = dash == std::string::npos ? first : std::stoi(part.substr(dash + 1));
            for (int c = first; c <= last; ++c)
                cpus.push_back(c);
        }
        return cpus;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    ::sched_getaffinity(0, sizeof set, &set);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &set))
            cpus.push_back(c);
    if (cpus.size() > 4)
        cpus.erase(cpus.begin(), cpus.end() - 4);
    return cpus;
}

std::string cpuList(int count)
{
    const std::vector<int> cpus = benchCpus();
    std::string list;
    for (int i = 0; i < count && i < int(cpus.size()); ++i)
        list += (list.empty() ? "" : ",") + std::to_string(cpus[std::size_t(i)]);
    return list;
}

// Reads every picture once, so that each run starts with the files in the page cache.
void readFilesOnce()
{
    std::vector<char> buffer(1 << 20);
    for (const std::string& file : bench::picturesIn(gFolder)) {
        std::ifstream in(file, std::ios::binary);
        while (in.read(buffer.data(), std::streamsize(buffer.size())))
            ;
    }
}


std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    return env;
}

void BM_FirstVisitVistel(benchmark::State& state)
{
    const int cores = int(state.range(0));
    const std::string output = (fs::temp_directory_path() / ("vistel-first-visit-" + std::to_string(getpid()))).string();
    double listed = 0, stored = 0, peakKB = 0;
    for (auto _ : state) {
        readFilesOnce();
        const Clock::time_point start = Clock::now();
        const pid_t pid = bench::spawn({"taskset", "-c", cpuList(cores), gSelf, "--visit", gFolder}, output);
        int status = -1;
        if (pid > 0)
            ::waitpid(pid, &status, 0);
        state.SetIterationTime(secondsSince(start));
        double saved = 0;
        std::ifstream(output) >> listed >> stored >> saved >> peakKB;
        if (pid <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || stored <= 0)
            state.SkipWithError("the visit failed");
    }
    ::unlink(output.c_str());
    const double rate = 2.0 * PicturesPerKind / std::max(1e-9, stored - listed);
    if (cores == 1)
        gOneCoreRate = rate;
    state.counters["pictures_per_s"] = rate;
    if (gOneCoreRate > 0)
        state.counters["scaling"] = rate / (cores * gOneCoreRate);
    state.counters["listed_s"] = listed;
    state.counters["peak_rss_MB"] = peakKB / 1024.0;
}

// A private X server for the reference viewer; stopped at exit.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        std::vector<std::string> argv {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1600x1000x24", "-nolisten", "tcp"};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        char number[16] = {};
        const ssize_t got = ::read(fds[0], number, sizeof number - 1);
        ::close(fds[0]);
        if (got > 0)
            display_ = ":" + std::string(number, std::size_t(got - (number[got - 1] == '\n')));
    }
    ~PrivateDisplay()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

std::size_t thumbnailsUnder(const fs::path& cache)
{
    std::size_t count = 0;
    std::error_code error;
    for (const char* size : {"normal", "large", "x-large", "xx-large"})
        for (const auto& entry : fs::directory_iterator(cache / size, error))
            count += entry.path().extension() == ".png";
    return count;
}

long peakResidentKB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

void BM_FirstVisitGthumb(benchmark::State& state)
{
    if (!bench::toolAvailable("gthumb") || !bench::toolAvailable("Xvfb")) {
        state.SkipWithError("gthumb or Xvfb is not installed (scripts/deps --bench)");
        return;
    }
    static PrivateDisplay display;
    if (display.display().empty()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    const int cores = int(state.range(0));
    const std::size_t pictures = 2 * PicturesPerKind;
    long peakKB = 0;
    double seconds = 0;
    for (auto _ : state) {
        std::string pattern = (fs::temp_directory_path() / "vistel-gthumb-home-XXXXXX").string();
        const std::string home = ::mkdtemp(pattern.data()) ? pattern : std::string();
        std::vector<std::string> environment;
        for (const std::string& e : currentEnvironment())
            if (e.rfind("HOME=", 0) && e.rfind("XDG_", 0) && e.rfind("DISPLAY=", 0) && e.rfind("DBUS_", 0))
                environment.push_back(e);
        environment.push_back("HOME=" + home);
        environment.push_back("DISPLAY=" + display.display());
        readFilesOnce();
        const Clock::time_point start = Clock::now();
        const pid_t pid = bench::spawn({"taskset", "-c", cpuList(cores), "gthumb", gFolder}, "/dev/null", &environment);
        bool done = false;
        while (pid > 0 && secondsSince(start) < 600) {
            if (thumbnailsUnder(fs::path(home) / ".cache/thumbnails") >= pictures) {
                done = true;
                break;
            }
            if (::waitpid(pid, nullptr, WNOHANG) == pid)
                break;
            peakKB = std::max(peakKB, peakResidentKB(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        seconds = secondsSince(start);
        state.SetIterationTime(seconds);
        if (pid > 0) {
            peakKB = std::max(peakKB, peakResidentKB(pid));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(home, ignored);
        if (!done)
            state.SkipWithError("gthumb did not make every thumbnail");
    }
    state.counters["pictures_per_s"] = double(pictures) / std::max(1e-9, seconds);
    state.counters["peak_rss_MB"] = double(peakKB) / 1024.0;
}

// The corpus's pictures side by side in one folder (hard links), made once.
std::string folderOfCorpus(const std::string& corpus)
{
    const fs::path folder = fs::path(corpus) / "first-visit";
    std::error_code error;
    fs::create_directories(folder, error);
    for (const char* kind : {"plain", "embedded"})
        for (const std::string& file : bench::picturesIn(corpus + "/" + kind)) {
            const fs::path link = folder / (std::string(kind) + "-" + fs::path(file).filename().string());
            if (!fs::exists(link))
                fs::create_hard_link(file, link, error);
        }
    return folder.string();
}

} // namespace
} // namespace vistel

BENCHMARK(vistel::BM_FirstVisitVistel)->Name("FirstVisit/Vistel")->ArgName("cores")->Arg(1)->Arg(2)->Arg(4)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(vistel::BM_FirstVisitGthumb)->Name("FirstVisit/Gthumb")->ArgName("cores")->Arg(4)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    using namespace vistel;
    NSThreadExt::recordMainThread();
    if (argc == 3 && std::string(argv[1]) == "--visit")
        return visit(argv[2]);
    gSelf = fs::canonical("/proc/self/exe").string();
    std::vector<char*> rest {argv[0]};
    std::string corpus;
    for (int i = 1; i < argc; ++i) {
        if (corpus.empty() && argv[i][0] != '-')
            corpus = argv[i];
        else
            rest.push_back(argv[i]);
    }
    if (corpus.empty()) {
        corpus = (fs::path(bench::defaultCorpus()).parent_path() / "first-visit-corpus").string();
        if (bench::picturesIn(corpus + "/plain").size() < std::size_t(PicturesPerKind)
            && bench::run({VISTEL_MAKE_JPEG_CORPUS, corpus, std::to_string(PicturesPerKind), "4000x3000"}) != 0) {
            std::cerr << "could not make the corpus (needs imagemagick and exiv2)\n";
            return 1;
        }
    }
    gFolder = folderOfCorpus(corpus);
    int count = int(rest.size());
    benchmark::Initialize(&count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
