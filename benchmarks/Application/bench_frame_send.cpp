// Send to Frame beside the same conversion into a plain folder, in one run.
//
//   SendToFrame          the browse handler's Send to Frame of the corpus's 40 pictures to a
//                        picture frame at 1024 x 768: a tmpfs below a private /media, described
//                        as a USB stick with its identity file, known to a scratch catalogue
//                        (FAT-safe names, claimed names, the engine's progress records)
//   ConvertIntoFolder    the same pictures with the same options straight into a folder on
//                        another tmpfs, through the same shared engine
// Goal: Send to Frame within 1.1x the plain conversion. Both write to memory, so the figure is
// what the frame's own handling costs.
//
// Runs as root (it mounts in a mount namespace of its own). Usage: bench_frame_send [CORPUS]
// [benchmark flags]; the corpus is the one make-jpeg-corpus makes (its "plain" folder is used).

#include <benchmark/benchmark.h>

#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>

#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/FileOperationLauncher.h"
#include "BenchmarkSupport.h"
#include "BrowseTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/XML/XMLDocumentID.h"
#include "Operations/ImageConvertor.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/NotificationCenter.h"
#include "Platform/RunLoop.h"
#include "Preferences/Preferences.h"

namespace fs = std::filesystem;
using namespace vistel;

namespace {

std::string gCorpus;

bool spin(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = RunLoop::Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (RunLoop::Clock::now() > end)
            return false;
        RunLoop::main()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + std::chrono::milliseconds(5));
    }
    return true;
}

void waitForTheEngine()
{
    spin([] { return ImageConvertor::sharedImageConvertor().runningGroups().empty(); }, 600000);
}

// Removes every file of the folder but the frame's identity file.
void clearPictures(const std::string& folder)
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() != ".xml")
            fs::remove_all(entry.path());
}

// The frame, the plain folder and the catalogue; made once.
struct Fixture {
    bench::ScratchCatalogue scratch;
    std::string staging = scratch.folder() + "/mounts";
    std::string frameRoot;
    std::string plainFolder;
    Ref<MediaDatabase> database;
    Ref<BrowsingUAHandler> handler;
    BasicUIHandler::Items items;
    std::vector<std::string> paths;
    std::unique_ptr<ScopedVolumeFactsSources> seam;
    std::mutex mutex;
    std::map<dev_t, BlockDeviceFacts> usb;
    std::string error;

    Fixture()
    {
        ::setenv("XDG_CONFIG_HOME", scratch.folder().c_str(), 1);
        VolumeFactsSources sources;
        sources.blockDevice = [this](dev_t device) -> std::optional<BlockDeviceFacts> {
            std::lock_guard lock(mutex);
            if (auto found = usb.find(device); found != usb.end())
                return found->second;
            return udevBlockDeviceFacts(device);
        };
        seam = std::make_unique<ScopedVolumeFactsSources>(sources);
        Preferences::sharedPreferences().setValue(Value(false), prefs::ShowConvertImagesAlert);
        database = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(database.get());
        database->volumes();
        installFileOperations();
        handler = BrowsingUAHandler::create(nullptr);

        const struct passwd* account = ::getpwuid(::getuid());
        frameRoot = std::string("/media/") + (account ? account->pw_name : "root") + "/FRAME";
        plainFolder = staging + "/plain";
        fs::create_directories(staging + "/frame");
        fs::create_directories(plainFolder);
        fs::create_directories(frameRoot);
        if (::mount("tmpfs", (staging + "/frame").c_str(), "tmpfs", 0, "size=512m") != 0
            || ::mount("tmpfs", plainFolder.c_str(), "tmpfs", 0, "size=512m") != 0) {
            error = "mounting a tmpfs is not permitted here";
            return;
        }
        struct stat st {};
        ::stat((staging + "/frame").c_str(), &st);
        {
            std::lock_guard lock(mutex);
            usb[st.st_dev] = {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "BENCH-FRAME"}, {"ID_FS_LABEL", "FRAME"}},
                              {{"idVendor", "1d6b"}, {"idProduct", "0104"}, {"serial", "SN-FRAME"}}};
        }
        XMLDocumentID::createWithParameters("ID-FRAME", "FRAME", 1024, 768, std::nullopt)->saveToFile(staging + "/frame");
        Ref<FileSystemVolumeMO> frame;
        NotificationCenter::defaultCenter().addObserver(
            this, [&](const Notification& n) { frame = n.userInfo.get("FileSystemItemMO").toObject<FileSystemVolumeMO>(); },
            "MountMedia");
        ::mount((staging + "/frame").c_str(), frameRoot.c_str(), nullptr, MS_MOVE, nullptr);
        spin([&] { return frame != nullptr; }, 10000);
        NotificationCenter::defaultCenter().removeObserver(this);
        if (!frame || !frame->isDPFDevice() || BrowsingUAHandler::getDefaultPictureFrame() == nullptr) {
            error = "the frame was not seen";
            return;
        }
        paths = bench::picturesIn(gCorpus + "/plain");
        for (const std::string& path : paths)
            items.push_back(Ref<Object>(test::catalogueItemAt(*database, path, true)));
        if (!handler->validateUserAction("sendToFrame:", nullptr, &items, nullptr, nullptr))
            error = "Send to Frame is not enabled for the corpus";
    }
    ~Fixture()
    {
        handler = nullptr;
        ::umount2(frameRoot.c_str(), MNT_DETACH);
        ::umount2(plainFolder.c_str(), MNT_DETACH);
        database->stopJobs();
    }
};

Fixture& fixture()
{
    static Fixture shared;
    return shared;
}

// Both runs check what they wrote after each round: one JPEG per picture.
bool wroteAll(const std::string& folder, std::size_t pictures)
{
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().extension() == ".jpg";
    return count == pictures;
}

void BM_SendToFrame(benchmark::State& state)
{
    Fixture& f = fixture();
    if (!f.error.empty()) {
        state.SkipWithError(f.error.c_str());
        return;
    }
    for (auto _ : state) {
        f.handler->processItems(f.items, nullptr, "sendToFrame:", nullptr, nullptr);
        waitForTheEngine();
        state.PauseTiming();
        if (!wroteAll(f.frameRoot, f.paths.size()))
            state.SkipWithError("the frame did not get every picture");
        clearPictures(f.frameRoot);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * f.paths.size()));
}

void BM_ConvertIntoFolder(benchmark::State& state)
{
    Fixture& f = fixture();
    if (!f.error.empty()) {
        state.SkipWithError(f.error.c_str());
        return;
    }
    const Value options = BrowsingUAHandler::pictureFrameOptions(1024, 768);
    for (auto _ : state) {
        FileOperationLauncher::installed()->convertImages(f.paths, f.plainFolder, options);
        waitForTheEngine();
        state.PauseTiming();
        if (!wroteAll(f.plainFolder, f.paths.size()))
            state.SkipWithError("the folder did not get every picture");
        clearPictures(f.plainFolder);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * f.paths.size()));
}

BENCHMARK(BM_ConvertIntoFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SendToFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // Before any thread: the mounts stay in this process, /media is its own.
    if (::unshare(CLONE_NEWNS) == 0) {
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        fs::create_directories("/media");
        ::mount("tmpfs", "/media", "tmpfs", 0, "size=1m,mode=755");
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    NSThreadExt::recordMainThread();
    PlatformApplication application(argc, argv);
    return bench::runCorpusBenchmarks(argc, argv, VISTEL_MAKE_JPEG_CORPUS, gCorpus);
}
