// The folder-change watcher on real inotify: changes made by other processes, coalescing,
// watches per folder, vanished folders, queue overflow and our own change notices.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "TestSupport.h"

using namespace vistel;
using namespace std::chrono_literals;
using vistel::test::TemporaryFolder;

namespace {

// Counts "FileIsWrittenToNotification" per path while it lives.
class PostedChanges {
public:
    PostedChanges()
    {
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this](const Notification& n) {
                allOnMainThread = allOnMainThread && RunLoop::isMainThread();
                ++count[n.userInfo.get(kFileObserverWriteNotificationPath).toString()];
            },
            FileIsWrittenToNotification);
    }
    ~PostedChanges() { NotificationCenter::defaultCenter().removeObserver(this); }

    // Runs the main loop until `path` was posted `expected` times (5 s at most), then a while
    // longer so that a surplus would show.
    int waitFor(const std::string& path, int expected = 1)
    {
        const auto deadline = RunLoop::Clock::now() + 5s;
        while (count[path] < expected && RunLoop::Clock::now() < deadline)
            RunLoop::current()->runUntil(RunLoop::Clock::now() + 10ms);
        runFor(400ms);
        return count[path];
    }
    static void runFor(std::chrono::milliseconds time) { RunLoop::current()->runUntil(RunLoop::Clock::now() + time); }

    std::map<std::string, int> count;
    bool allOnMainThread = true;
};

// Waits until the watcher has carried out every action queued before.
void settle(FNSubscribeFileObserver& watcher)
{
    ThreadMessages::performSelector([] { }, watcher.runLoop(), true);
}

void shell(const std::string& command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool contains(const std::vector<std::string>& paths, const std::string& path)
{
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// A temporary folder watched by a watcher of its own, with the changes posted for it.
struct WatchedFolder {
    WatchedFolder()
    {
        watcher->addPath(folder.path());
        settle(*watcher);
    }
    TemporaryFolder folder;
    Ref<FNSubscribeFileObserver> watcher = FNSubscribeFileObserver::create();
    PostedChanges changes;
};

} // namespace

TEST(FNSubscribeFileObserver, FiftyFilesMadeByAnotherProcessAreOneNotificationOnTheMainThread)
{
    WatchedFolder watched;
    auto& [folder, watcher, changes] = watched;

    const auto start = std::chrono::steady_clock::now();
    shell("cd " + test::shellQuoted(folder.path()) + " && for i in $(seq 50); do echo x > f$i.jpg; done");
    const std::chrono::duration<double> burst = std::chrono::steady_clock::now() - start;
    // One notification per window: the first changes of two windows lie more than a window
    // apart, so a burst shorter than a window - any burst but on a starved machine - is one.
    const int posted = changes.waitFor(folder.path());
    EXPECT_GE(posted, 1);
    EXPECT_LT((posted - 1) * FNSubscribeFileObserver::CoalesceSeconds, burst.count())
        << posted << " notifications for a burst of " << burst.count() << " s";
    EXPECT_TRUE(changes.allOnMainThread);
}

TEST(FNSubscribeFileObserver, EveryKindOfChangeInsideTheFolderIsReported)
{
    struct Case {
        const char* what;
        const char* command; // run inside the watched folder, which holds a.jpg and sub/
    };
    const Case cases[] = {
        {"new file", "echo x > new.jpg"},
        {"save in place", "echo y >> a.jpg"},
        {"permissions", "chmod 600 a.jpg"},
        {"deletion", "rm a.jpg"},
        {"rename", "mv a.jpg b.jpg"},
        {"moved out", "mv a.jpg ../moved-away.jpg"},
        {"new folder", "mkdir new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryFolder outer;
        const std::string path = outer / "watched";
        shell("mkdir -p " + test::shellQuoted(path + "/sub") + " && echo x > " + test::shellQuoted(path + "/a.jpg"));
        auto watcher = FNSubscribeFileObserver::create();
        PostedChanges changes;
        watcher->addPath(path);
        settle(*watcher);
        shell("cd " + test::shellQuoted(path) + " && " + c.command);
        EXPECT_EQ(changes.waitFor(path), 1);
    }
}

TEST(FNSubscribeFileObserver, OneWatchPerFolderWhateverItsSpellingAndEachSpellingIsTold)
{
    TemporaryFolder folder;
    const std::string real = folder / "photos";
    const std::string link = folder / "link-to-photos";
    std::filesystem::create_directory(real);
    std::filesystem::create_directory_symlink(real, link);
    auto watcher = FNSubscribeFileObserver::create();
    PostedChanges changes;

    watcher->addPath(real);
    watcher->addPath(real);
    watcher->addPath(link);
    settle(*watcher);
    EXPECT_EQ(watcher->watchCount(), 1u);
    EXPECT_EQ(watcher->watchedPaths().size(), 2u);

    shell("echo x > " + test::shellQuoted(real + "/a.jpg"));
    EXPECT_EQ(changes.waitFor(link), 1);
    EXPECT_EQ(changes.count[real], 1);

    // The watch stays while one spelling is still wanted.
    watcher->removePath(real);
    settle(*watcher);
    EXPECT_EQ(watcher->watchCount(), 1u);
    watcher->removePath(link);
    settle(*watcher);
    EXPECT_EQ(watcher->watchCount(), 0u);
    shell("echo x > " + test::shellQuoted(real + "/b.jpg"));
    PostedChanges::runFor(400ms);
    EXPECT_EQ(changes.count[real], 1);
}

TEST(FNSubscribeFileObserver, CameraPathsFilesAndMissingPathsAreNotWatchedNorLogged)
{
    TemporaryFolder folder;
    shell("echo x > " + test::shellQuoted(folder / "file.jpg"));
    auto watcher = FNSubscribeFileObserver::create();
    ScopedLogCapture log;
    for (const std::string& path : {std::string("ICA:/41"), std::string("ICA:/41/DCIM"), folder / "file.jpg",
                                    folder / "missing", std::string("relative/folder")}) {
        watcher->addPath(path);
        watcher->forceAddPath(path);
    }
    settle(*watcher);
    EXPECT_EQ(watcher->watchCount(), 0u);
    EXPECT_TRUE(watcher->watchedPaths().empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST(FNSubscribeFileObserver, AFolderDeletedOrMovedAwayLeavesNoWatch)
{
    for (const char* command : {"rm -r", "mv"}) {
        SCOPED_TRACE(command);
        TemporaryFolder folder;
        const std::string path = folder / "gone";
        std::filesystem::create_directory(path);
        auto watcher = FNSubscribeFileObserver::create();
        PostedChanges changes;
        watcher->addPath(path);
        settle(*watcher);
        ASSERT_EQ(watcher->watchCount(), 1u);

        std::string line = std::string(command) + " " + test::shellQuoted(path);
        if (std::string(command) == "mv")
            line += " " + test::shellQuoted(folder / "elsewhere");
        shell(line);
        changes.waitFor(path);
        settle(*watcher);
        EXPECT_EQ(watcher->watchCount(), 0u);
        EXPECT_FALSE(contains(watcher->watchedPaths(), path));

        // The same path made again can be watched again.
        std::filesystem::create_directory(path);
        watcher->addPath(path);
        settle(*watcher);
        EXPECT_EQ(watcher->watchCount(), 1u);
    }
}

TEST(FNSubscribeFileObserver, AQueueOverflowCountsAsAChangeOfEveryWatchedFolder)
{
    std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
    long limit = 0;
    if (!(limitFile >> limit) || limit <= 0 || limit > 200000)
        VISTEL_SKIP_UNAVAILABLE() << "inotify's queue limit is unknown or too large to overflow quickly";
    TemporaryFolder folder;
    const std::string busy = folder / "busy";
    const std::string quiet = folder / "quiet";
    std::filesystem::create_directory(busy);
    std::filesystem::create_directory(quiet);
    auto watcher = FNSubscribeFileObserver::create();
    PostedChanges changes;
    watcher->addPath(busy);
    watcher->addPath(quiet);
    settle(*watcher);

    // While the watcher's thread is held, more events than the queue holds arrive (a new file
    // is two: created and closed after writing).
    std::promise<void> release;
    std::promise<void> held;
    watcher->runLoop()->perform([&] {
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    for (long i = 0; i <= limit / 2 + 10; ++i) {
        const int fd = ::creat((busy + "/f" + std::to_string(i)).c_str(), 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    release.set_value();

    EXPECT_EQ(changes.waitFor(quiet), 1);
    EXPECT_GE(changes.count[busy], 1);
    settle(*watcher);
    EXPECT_EQ(watcher->watchCount(), 2u);
}

TEST(FNSubscribeFileObserver, OurOwnChangeNoticesAreReportedAndCoalescedWithTheKernels)
{
    WatchedFolder watched;
    auto& [folder, watcher, changes] = watched;

    // A notice alone, with nothing changed on disk.
    watcher->noteFileSystemChanged(folder.path());
    EXPECT_EQ(changes.waitFor(folder.path()), 1);

    // A notice and a real change together: one notification.
    watcher->noteFileSystemChanged(folder.path());
    shell("echo x > " + test::shellQuoted(folder / "a.jpg"));
    EXPECT_EQ(changes.waitFor(folder.path(), 2), 2);

    // forceAddPath renews the watch and reports a change.
    watcher->forceAddPath(folder.path());
    EXPECT_EQ(changes.waitFor(folder.path(), 3), 3);
    settle(*watcher);
    EXPECT_EQ(watcher->watchCount(), 1u);
    shell("echo x > " + test::shellQuoted(folder / "b.jpg"));
    EXPECT_EQ(changes.waitFor(folder.path(), 4), 4);
}

TEST(FNSubscribeFileObserver, TheWorkspaceNoticeGoesThroughTheSharedWatcher)
{
    TemporaryFolder folder;
    PostedChanges changes;
    NSWorkspaceChanges::noteFileSystemChanged(folder.path());
    EXPECT_EQ(changes.waitFor(folder.path()), 1);
    EXPECT_TRUE(changes.allOnMainThread);
}
