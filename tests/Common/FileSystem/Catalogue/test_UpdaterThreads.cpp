#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <functional>
#include <sstream>

#include <QImage>

#include "Common/FileSystem/Catalogue/DecodePool.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "TestSupport.h"

namespace vistel {
namespace {

using namespace updater;

// A folder thread that is never started: the test drives its stack from its own thread.
class DrivenFolderThread : public MDFolderUpdaterThread {
public:
    static Ref<DrivenFolderThread> create() { return Ref<DrivenFolderThread>::adopt(new DrivenFolderThread()); }
    using MDFolderUpdaterThread::continueJobs;
};

class DrivenFileThread : public MDItemUpdaterThread {
public:
    static Ref<DrivenFileThread> create()
    {
        auto thread = Ref<DrivenFileThread>::adopt(new DrivenFileThread());
        thread->setResultsQueue(ThreadSafeQueue::create());
        return thread;
    }
    using MDItemUpdaterThread::continueJobs;
    // Runs every queued job and answers the results.
    std::vector<Value> runAll()
    {
        fillJobsStack(true);
        while (!jobsStack().empty())
            continueJobs();
        std::vector<Value> results;
        for (Value r; !(r = getResultFirst(true, true)).isNull();)
            results.push_back(r);
        return results;
    }
};

Value::Bytes jpegBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    Ref<ImageDestination> destination = ImageDestination::createWithData("public.jpeg");
    destination->addImage(PlatformImage::fromQImage(image));
    destination->finalize();
    return Value::Bytes(destination->data().begin(), destination->data().end());
}

QSizeF imageSize(const Value& image)
{
    Ref<MultiImage> multi = image.toObject<MultiImage>();
    return multi ? multi->size() : QSizeF();
}

Value request(const char* type, const std::string& path, std::int64_t priority = 0, bool written = false)
{
    Value r = Value::dictionary({{kType, Value(type)}, {kPath, Value(path)}});
    if (priority)
        priority::setToRequest(priority, r);
    if (written)
        r.set(kFileSystemChanged, Value(true));
    return r;
}

// The request naming catalogue row `row`, as an item makes it.
Value withID(Value r, std::int64_t row)
{
    r.set(kID, Value(ObjectIDReference::create(store::ObjectID {"STORE", "Folder", row})));
    return r;
}

// The stack bottom first, as "type path" texts, with "*" for a job marked to restart.
std::vector<std::string> stackOf(MediaDatabaseUpdaterThread& thread)
{
    std::vector<std::string> texts;
    for (const auto& job : thread.jobsStack())
        texts.push_back(job->request()[kType].toString() + " " + job->request()[kPath].toString()
                        + (job->requiresRestart() ? "*" : ""));
    return texts;
}

TEST(UpdaterPriority, SplitsIntoMinorAndMajor)
{
    struct Case {
        std::int32_t minor, major;
        std::int64_t value;
    };
    for (const Case& c : {Case {5, -1, -2147483643}, Case {0, 0, 0}, Case {7, 3, 3 * 2147483648LL + 7},
                          Case {0x7fffffff, 0x7fffffff, 0x7fffffffLL * 2147483648LL + 0x7fffffff}}) {
        EXPECT_EQ(priority::valueFromMinorAndMajor(c.minor, c.major), c.value);
        EXPECT_EQ(priority::minorFromValue(c.value), c.minor);
        EXPECT_EQ(priority::majorFromValue(c.value), c.major);
    }
}

TEST(UpdaterJobStack, OrdersMergesAndDropsRequests)
{
    const std::int64_t cp = priority::valueFromMinorAndMajor(0x7fffffff, 0x7fffffff);
    struct Case {
        const char* what;
        std::vector<Value> requests;
        // Requests taken before the job of "/a" starts; a write into "/a" follows (0: none).
        std::size_t takeBeforeStart;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"equal priority: the later runs first", {request(kTypeFolder, "/a"), request(kTypeFolder, "/b")}, 0,
         {"Folder /a", "Folder /b"}},
        {"higher priority runs first", {request(kTypeFile, "/a", 5), request(kTypeFile, "/b", 1)}, 0,
         {"File /b", "File /a"}},
        {"an identical folder request is dropped",
         {request(kTypeFolder, "/a"), request(kTypeFolder, "/b"), request(kTypeFolder, "/a")}, 0,
         {"Folder /a", "Folder /b"}},
        {"a write replaces a queued listing",
         {request(kTypeFolder, "/a", 0, true), request(kTypeFolder, "/b"), request(kTypeFolder, "/a", 0, true)}, 0,
         {"Folder /b", "Folder /a"}},
        {"a write restarts a listing under way", {request(kTypeFolder, "/a", 0, true), request(kTypeFolder, "/b")}, 2,
         {"Folder /b", "Folder /a*"}},
        {"a write replaces a queued plain listing", {request(kTypeFolder, "/a"), request(kTypeFolder, "/a", 0, true)}, 0,
         {"Folder /a"}},
        {"a write restarts a plain listing under way", {request(kTypeFolder, "/a"), request(kTypeFolder, "/b")}, 2,
         {"Folder /b", "Folder /a*"}},
        {"an identical request of the same item is dropped",
         {withID(request(kTypeFolder, "/a"), 7), withID(request(kTypeFolder, "/b"), 8),
          withID(request(kTypeFolder, "/a"), 7)},
         0, {"Folder /a", "Folder /b"}},
        {"a write restarts a listing of the same item under way",
         {withID(request(kTypeFolder, "/a"), 7), withID(request(kTypeFolder, "/b"), 8)}, 2,
         {"Folder /b", "Folder /a*"}},
        {"requests of two items at one path are not duplicates",
         {withID(request(kTypeFolder, "/a"), 7), withID(request(kTypeFolder, "/a"), 9)}, 0,
         {"Folder /a", "Folder /a"}},
        {"requests differing in another key are not duplicates",
         {request(kTypeFolder, "/a", 3), request(kTypeFolder, "/a", 0, true), request(kTypeFolder, "/a")}, 0,
         {"Folder /a", "Folder /a", "Folder /a"}},
        {"a newer priority change supersedes the queued one of its path",
         {request(kTypeFile, "/x"), request(kTypeChangePriority, "/a", cp), request(kTypeChangePriority, "/b", cp),
          request(kTypeChangePriority, "/a", cp)},
         0, {"File /x", "CP /b", "CP /a"}},
        {"requests without path go in unchecked", {Value::dictionary({{kType, Value(kTypeStop)}}), request(kTypeFolder, "/a")},
         0, {"STOP ", "Folder /a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TemporaryFolder folder("vistel-stack");
        Ref<DrivenFolderThread> thread = DrivenFolderThread::create();
        // Every request holds an identifier object of its own, as items make them.
        auto path = [&](Value r) {
            if (r.contains(kPath))
                r.set(kPath, Value(folder.path() + r[kPath].toString()));
            if (const auto id = ObjectIDReference::from(r))
                r.set(kID, Value(ObjectIDReference::create(*id)));
            return r;
        };
        std::size_t i = 0;
        if (c.takeBeforeStart) {
            for (; i < c.takeBeforeStart; ++i)
                thread->addRequest(path(c.requests[i]));
            thread->fillJobsStack(true);
            ::mkdir((folder / "a").c_str(), 0755);
            for (const auto& job : thread->jobsStack())
                if (job->request()[kPath].toString() == folder / "a")
                    job->start();
            // Then a write into the started job's folder.
            Value written = path(c.requests[0]);
            written.set(kFileSystemChanged, Value(true));
            thread->addRequest(written);
        }
        for (; i < c.requests.size(); ++i)
            thread->addRequest(path(c.requests[i]));
        thread->fillJobsStack(true);
        std::vector<std::string> expected;
        for (std::string text : c.expected) {
            const auto space = text.find(' ');
            if (space + 1 < text.size())
                text.insert(space + 1, folder.path());
            expected.push_back(text);
        }
        EXPECT_EQ(stackOf(*thread), expected);
    }
}

TEST(UpdaterJobStack, PutAtFrontMovesAQueuedListingToTheTop)
{
    Ref<DrivenFolderThread> thread = DrivenFolderThread::create();
    for (const char* path : {"/a", "/b", "/c"})
        thread->addRequest(request(kTypeFolder, path));
    thread->addRequest(request(kTypePutAtFront, "/a"));
    thread->fillJobsStack(true);
    thread->continueJobs();
    EXPECT_EQ(stackOf(*thread), (std::vector<std::string> {"Folder /b", "Folder /c", "Folder /a"}));
    // Without a queued listing of its path it does nothing.
    thread->addRequest(request(kTypePutAtFront, "/z"));
    thread->fillJobsStack(true);
    thread->continueJobs();
    EXPECT_EQ(stackOf(*thread), (std::vector<std::string> {"Folder /b", "Folder /c", "Folder /a"}));
}

TEST(UpdaterJobStack, AListingDoneAgainAfterAWriteWaitsBehindTheOthers)
{
    // /busy is written to while it is listed (as /tmp is on a busy machine): its next listing
    // comes after /b, which waited below it, so /b is listed however often /busy changes.
    test::TemporaryFolder folder("vistel-busy");
    for (const char* name : {"busy", "b"})
        ::mkdir((folder / name).c_str(), 0755);
    Ref<DrivenFolderThread> thread = DrivenFolderThread::create();
    thread->setResultsQueue(ThreadSafeQueue::create());
    thread->addRequest(request(kTypeFolder, folder / "b"));
    thread->addRequest(request(kTypeFolder, folder / "busy"));
    thread->fillJobsStack(true);
    thread->jobsStack().back()->start();
    thread->addRequest(request(kTypeFolder, folder / "busy", 0, true));
    thread->fillJobsStack(true);
    EXPECT_EQ(stackOf(*thread), (std::vector<std::string> {"Folder " + folder / "b", "Folder " + folder / "busy*"}));
    thread->continueJobs(); // /busy listed to its end
    EXPECT_EQ(stackOf(*thread), (std::vector<std::string> {"Folder " + folder / "busy", "Folder " + folder / "b"}));
}

TEST(FolderUpdaterThread, ListsInSlicesEndingWithAnEmptyFinishedResult)
{
    test::TemporaryFolder folder("vistel-listing");
    for (int i = 0; i < 250; ++i)
        std::ofstream(folder / ("file" + std::to_string(i) + ".jpg")) << "x";
    Ref<DrivenFolderThread> thread = DrivenFolderThread::create();
    thread->setResultsQueue(ThreadSafeQueue::create());
    thread->addRequest(request(kTypeFolder, folder.path()));
    thread->fillJobsStack(true);
    while (!thread->jobsStack().empty())
        thread->continueJobs();
    std::vector<std::string> statuses;
    std::size_t entries = 0;
    for (Value result; !(result = thread->getResultFirst(true, true)).isNull();) {
        statuses.push_back(result[kStatus].toString());
        entries += result[kObjects].size();
        if (result[kStatus].toString() == kStatusFinished) {
            EXPECT_FALSE(result.contains(kObjects));
        }
        for (const Value& child : result[kObjects].asArray()) {
            EXPECT_EQ(child[kType].toString(), kTypeFile);
            EXPECT_EQ(child[kSize].toInt64(), 1);
            EXPECT_EQ(child[kContentKind].toString(), "public.jpeg");
            EXPECT_TRUE(child.contains(kModificationDate));
        }
    }
    EXPECT_EQ(entries, 250u);
    ASSERT_GE(statuses.size(), 5u);
    EXPECT_EQ(statuses.front(), kStatusStart);
    EXPECT_EQ(statuses.back(), kStatusFinished);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), kStatusInProgress), long(statuses.size() - 2));
}

// A running listing does not get ahead of the catalogue: it waits while the results queue is
// full, goes on as results are taken, and a cancel ends the wait.
TEST(FolderUpdaterThread, WaitsWhileTheResultsQueueIsFull)
{
    test::TemporaryFolder folder("vistel-listing");
    for (int i = 0; i < 3000; ++i)
        std::ofstream(folder / ("f" + std::to_string(i))) << "x";
    auto spinUntil = [](const std::function<bool()>& done) {
        for (int i = 0; i < 10000 && !done(); ++i)
            NSThreadExt::sleepForTimeInterval(0.001);
        return done();
    };
    Ref<ThreadSafeQueue> results = ThreadSafeQueue::create();
    Ref<MDFolderUpdaterThread> thread = MDFolderUpdaterThread::create();
    thread->setResultsQueue(results);
    thread->startOnce();
    thread->addRequest(request(kTypeFolder, folder.path()));
    ASSERT_TRUE(spinUntil([&] { return results->count() >= MDFolderUpdaterThread::MaxQueuedResults; }));
    NSThreadExt::sleepForTimeInterval(0.2);
    EXPECT_EQ(results->count(), MDFolderUpdaterThread::MaxQueuedResults);

    // Taking results lets the listing finish, every entry once.
    std::size_t entries = 0;
    bool finished = false;
    ASSERT_TRUE(spinUntil([&] {
        for (Value result; !(result = results->tryDequeue(true)).isNull();) {
            entries += result[kObjects].size();
            finished = finished || result[kStatus].toString() == kStatusFinished;
        }
        return finished;
    }));
    EXPECT_EQ(entries, 3000u);

    // A listing that waits ends when the thread is cancelled.
    thread->addRequest(request(kTypeFolder, folder.path()));
    ASSERT_TRUE(spinUntil([&] { return results->count() >= MDFolderUpdaterThread::MaxQueuedResults; }));
    thread->cancel();
    thread->addRequest(Value::dictionary({{kType, Value(kTypeStop)}}));
    EXPECT_TRUE(spinUntil([&] { return thread->isFinished(); }));
    EXPECT_EQ(results->count(), MDFolderUpdaterThread::MaxQueuedResults);
}

TEST(FolderUpdaterThread, AFolderThatCannotBeListedIsReportedMissing)
{
    Ref<DrivenFolderThread> thread = DrivenFolderThread::create();
    thread->setResultsQueue(ThreadSafeQueue::create());
    thread->addRequest(request(kTypeFolder, "/no/such/folder"));
    thread->fillJobsStack(true);
    thread->continueJobs();
    const Value result = thread->getResultFirst(true, true);
    EXPECT_EQ(result[kExists].toString(), kExistsNo);
    EXPECT_EQ(result[kStatus].toString(), kStatusFinished);
    EXPECT_FALSE(result.contains(kType));
}

TEST(FileUpdaterThread, AnUnchangedFileAnswersOnlyItsStatus)
{
    test::TemporaryFolder folder("vistel-files");
    std::ofstream(folder / "a.txt") << "abc";
    const Value attributes = FileSystemFunctions::fileAttributesAtPath(folder / "a.txt", true);
    Value unchanged = request(kTypeFile, folder / "a.txt");
    unchanged.set(kSize, Value(3));
    unchanged.set(kModificationDate, attributes["NSFileModificationDate"]);
    if (attributes.contains("NSFileCreationDate"))
        unchanged.set(kCreationDate, attributes["NSFileCreationDate"]);
    Value grown = unchanged;
    grown.set(kSize, Value(2));
    Ref<DrivenFileThread> thread = DrivenFileThread::create();
    thread->addRequest(unchanged);
    thread->addRequest(grown);
    thread->addRequest(request(kTypeFile, folder / "missing.txt"));
    const std::vector<Value> results = thread->runAll(); // newest first
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0][kExists].toString(), kExistsNo);
    EXPECT_EQ(results[1][kSize].toInt64(), 3);
    EXPECT_EQ(results[1][kModificationDate], attributes["NSFileModificationDate"]);
    EXPECT_EQ(results[2][kExists].toString(), kExistsYes);
    EXPECT_EQ(results[2][kStatus].toString(), kStatusFinished);
    EXPECT_FALSE(results[2].contains(kSize));
}

TEST(FileUpdaterThread, DecodesSmallThumbnailsFromStoredData)
{
    registerThumbnailStyleDefaults();
    Ref<DrivenFileThread> thread = DrivenFileThread::create();
    ASSERT_EQ(thread->smallThumbnailSize(), 120);
    test::TemporaryFolder folder("vistel-files");
    const Value small(jpegBytes(100, 75)), large(jpegBytes(320, 240));
    Value both = request(kTypeFile, folder / "gone.jpg");
    both.set(kThumbnailSmallData, small);
    both.set(kThumbnailLargeData, large);
    Value smallOnly = request(kTypeFile, folder / "gone2.jpg");
    smallOnly.set(kThumbnailSmallData, small);
    thread->addRequest(both);
    thread->addRequest(smallOnly);
    const std::vector<Value> results = thread->runAll();
    ASSERT_EQ(results.size(), 2u);
    // 1.2 times enlargement is refused (1.1 allowed): the large data gives 120 x 90.
    EXPECT_EQ(imageSize(results[1][kThumbnailSmallImage]), QSizeF(120, 90));
    EXPECT_EQ(imageSize(results[1][kThumbnailLargeImage]), QSizeF(320, 240));
    // Without large data the small one keeps its size.
    EXPECT_EQ(imageSize(results[0][kThumbnailSmallImage]), QSizeF(100, 75));
}

TEST(FileUpdaterThread, DecodeRequestsAreAnsweredAlsoWhenTheyFail)
{
    Ref<DrivenFileThread> thread = DrivenFileThread::create();
    Value good = request(kTypeDecodeSmall, "/x.jpg");
    good.set(kThumbnailLargeData, Value(jpegBytes(320, 240)));
    good.set(kSize, Value::array({Value(160.0), Value(160.0)}));
    Value bad = request(kTypeDecodeSmall, "/y.jpg");
    bad.set(kThumbnailLargeData, Value(Value::Bytes {1, 2, 3}));
    thread->addRequest(good);
    thread->addRequest(bad);
    const std::vector<Value> results = thread->runAll();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0].contains(kThumbnailSmallImage));
    EXPECT_EQ(imageSize(results[1][kThumbnailSmallImage]), QSizeF(160, 120));
}

TEST(FileUpdaterThread, PriorityChangesMoveForegroundJobsOnly)
{
    Ref<DrivenFileThread> thread = DrivenFileThread::create();
    const std::int64_t background = priority::valueFromMinorAndMajor(3, -1);
    thread->addRequest(request(kTypeFile, "/b", background));
    thread->addRequest(request(kTypeFile, "/a", priority::valueFromMinorAndMajor(1, 1)));
    thread->addRequest(request(kTypeFile, "/c", priority::valueFromMinorAndMajor(5, 1)));
    Value change = request(kTypeChangePriority, "/a", priority::valueFromMinorAndMajor(0x7fffffff, 0x7fffffff));
    change.set(kNewPriority, Value(static_cast<long long>(priority::valueFromMinorAndMajor(9, 2))));
    thread->addRequest(change);
    thread->fillJobsStack(true);
    thread->continueJobs();
    EXPECT_EQ(stackOf(*thread), (std::vector<std::string> {"File /b", "File /c", "File /a"}));
    EXPECT_EQ(thread->jobsStack().back()->priority(), priority::valueFromMinorAndMajor(9, 2));
    // A background job of the path stays where it is.
    Value changeB = change;
    changeB.set(kPath, Value("/b"));
    thread->addRequest(changeB);
    thread->fillJobsStack(true);
    thread->continueJobs();
    EXPECT_EQ(stackOf(*thread), (std::vector<std::string> {"File /b", "File /c", "File /a"}));
}

// Writes `count` JPEG files named 0.jpg, 1.jpg, ... into `folder`.
std::vector<std::string> writeJpegs(const test::TemporaryFolder& folder, int count, int width, int height)
{
    const Value::Bytes bytes = jpegBytes(width, height);
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(folder / (std::to_string(i) + ".jpg"));
        std::ofstream(paths.back(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            static_cast<std::streamsize>(bytes.size()));
    }
    return paths;
}

Value thumbnailRequest(const std::string& path, std::int64_t priority, bool background)
{
    Value r = request(kTypeFile, path, priority);
    r.set(kNeedsThumbnail, Value(true));
    if (background)
        r.set(kNeedsHighQualityThumbnail, Value(true));
    return r;
}

bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done())
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}

// The priorities of the decodes as the pool's workers take them; each take waits while the gate
// is closed.
struct TakenDecodes {
    std::mutex mutex;
    std::condition_variable opened;
    bool gateOpen = true;
    std::map<std::uint64_t, std::int64_t> byOrder; // priority by place in the pool's order

    TakenDecodes()
    {
        DecodePool::setTakeObserver([this](std::int64_t priority, std::uint64_t takenBefore) {
            std::unique_lock lock(mutex);
            byOrder[takenBefore] = priority;
            opened.wait(lock, [this] { return gateOpen; });
        });
    }
    std::vector<std::int64_t> priorities()
    {
        std::lock_guard lock(mutex);
        std::vector<std::int64_t> ordered;
        for (const auto& [order, priority] : byOrder)
            ordered.push_back(priority);
        return ordered;
    }
    ~TakenDecodes() { DecodePool::setTakeObserver({}); }
    void setGateOpen(bool open)
    {
        {
            std::lock_guard lock(mutex);
            gateOpen = open;
        }
        opened.notify_all();
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return byOrder.size();
    }
};

// The registered file thread of `volume`, answering into `results`, over four workers.
Ref<MDItemUpdaterThread> threadOnAPoolOfFour(std::int16_t volume, const Ref<ThreadSafeQueue>& results)
{
    registerThumbnailStyleDefaults();
    DecodePool::setWorkerCount(4);
    Ref<MDItemUpdaterThread> thread = MDItemUpdaterThread::targetObjectWithID(volume);
    thread->setResultsQueue(results);
    return thread;
}

TEST(FileUpdaterThread, VisibleCellsAreDecodedFirstByAPoolOfFourInPriorityOrder)
{
    test::TemporaryFolder folder("vistel-pool");
    const std::vector<std::string> paths = writeJpegs(folder, 20, 640, 480);
    TakenDecodes taken;
    const Ref<ThreadSafeQueue> results = ThreadSafeQueue::create();
    Ref<MDItemUpdaterThread> thread = threadOnAPoolOfFour(901, results);
    // Ten pictures at background priority: four workers take four of them and are held there.
    taken.setGateOpen(false);
    for (int i = 0; i < 10; ++i)
        thread->addRequest(thumbnailRequest(paths[i], priority::valueFromMinorAndMajor(i, -1), true));
    thread->startOnce();
    ASSERT_TRUE(waitFor([&] { return taken.count() == 4; }));
    // Ten visible cells come meanwhile, in no particular order.
    const int visibleOrder[] = {3, 9, 0, 5, 1, 8, 2, 7, 4, 6};
    for (int minor : visibleOrder)
        thread->addRequest(thumbnailRequest(paths[10 + minor], priority::valueFromMinorAndMajor(minor, 1), false));
    taken.setGateOpen(true);
    ASSERT_TRUE(waitFor([&] { return results->count() == 20; }));
    MediaDatabaseUpdaterThread::stopAllThreads();

    // The four held, then every visible cell, the most urgent first, then the rest of the
    // background.
    std::vector<std::int64_t> expected;
    for (int minor = 9; minor >= 6; --minor)
        expected.push_back(priority::valueFromMinorAndMajor(minor, -1));
    for (int minor = 9; minor >= 0; --minor)
        expected.push_back(priority::valueFromMinorAndMajor(minor, 1));
    for (int minor = 5; minor >= 0; --minor)
        expected.push_back(priority::valueFromMinorAndMajor(minor, -1));
    EXPECT_EQ(taken.priorities(), expected);
    for (Value r; !(r = results->tryDequeue(true)).isNull();) {
        const bool background = r[kNeedsHighQualityThumbnail].toBool();
        EXPECT_TRUE(background ? r[kThumbnailLargeData].isData() : r[kThumbnailSmallImage].isObject()) << r[kPath].toString();
    }
}

TEST(FileUpdaterThread, AStoppedThreadLeavesNoDecodeRunningOrQueued)
{
    test::TemporaryFolder folder("vistel-pool");
    const std::vector<std::string> paths = writeJpegs(folder, 40, 1600, 1200);
    TakenDecodes taken;
    const Ref<ThreadSafeQueue> results = ThreadSafeQueue::create();
    Ref<MDItemUpdaterThread> thread = threadOnAPoolOfFour(902, results);
    for (const std::string& path : paths)
        thread->addRequest(thumbnailRequest(path, 0, true));
    thread->startOnce();
    ASSERT_TRUE(waitFor([&] { return taken.count() >= 2; }));
    MediaDatabaseUpdaterThread::stopAllThreads();
    EXPECT_EQ(DecodePool::shared().runningCount(), 0u);
    EXPECT_EQ(DecodePool::shared().queuedCount(), 0u);
    const std::size_t takenAtStop = taken.count(), resultsAtStop = results->count();
    EXPECT_LT(takenAtStop, paths.size());
    // Nothing is taken or answered later.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(taken.count(), takenAtStop);
    EXPECT_EQ(results->count(), resultsAtStop);
}

#ifdef VISTEL_FOLDERLISTING_PATH
TEST(FolderListingTool, PrintsTheResultsOfAListing)
{
    test::TemporaryFolder folder("vistel-listing");
    for (int i = 0; i < 250; ++i)
        std::ofstream(folder / ("f" + std::to_string(i))) << "x";
    std::istringstream lines(test::commandOutput(std::string(VISTEL_FOLDERLISTING_PATH) + " " + test::shellQuoted(folder.path())));
    std::vector<std::string> statuses;
    std::vector<int> counts;
    std::string status;
    int count = 0;
    double seconds = 0;
    while (lines >> status >> count >> seconds) {
        statuses.push_back(status);
        counts.push_back(count);
    }
    ASSERT_GE(statuses.size(), 5u);
    EXPECT_EQ(statuses.front(), "Start");
    EXPECT_GE(std::count(statuses.begin(), statuses.end(), "InProgress"), 3);
    EXPECT_EQ(statuses.back(), "Finished");
    EXPECT_EQ(counts.back(), 0);
}
#endif

} // namespace
} // namespace vistel
