// The asynchronous file-operation engine: copy, move, Trash, cancel, failures and status
// delivery, against real trees on scratch folders and small tmpfs mounts.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "../../Common/FileSystem/FileSystemFixtures.h"
#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/FileOperations/FileTree.h"
#include "MountNamespace.h"
#include "TestSupport.h"

namespace vistel {
namespace {

using namespace std::chrono_literals;

// The mounts the tests make stay in this process's own mount namespace.
const auto* const environment = ::testing::AddGlobalTestEnvironment(new test::PrivateMountNamespace);

struct Callback {
    std::string item;
    std::uint32_t stage = 0;
    StatusCode error = 0;
    Value status;
    std::thread::id thread;
    std::chrono::steady_clock::time_point when;
};

// Schedules the operation on this thread's loop and runs the loop until the final callback.
class Recorder {
public:
    FSFileOperationStatusCallback callback()
    {
        return [this](FSFileOperation*, const char* item, std::uint32_t stage, StatusCode error, const Value& status,
                      Object*) {
            calls.push_back({item, stage, error, status, std::this_thread::get_id(), std::chrono::steady_clock::now()});
            if (onCall)
                onCall(calls.back());
        };
    }
    int finals() const
    {
        int count = 0;
        for (const Callback& call : calls)
            count += call.stage == kFSOperationStageComplete;
        return count;
    }
    bool runUntilFinal(FSFileOperation& operation, std::chrono::seconds limit = 120s)
    {
        operation.scheduleWithRunLoop(RunLoop::current());
        const auto end = std::chrono::steady_clock::now() + limit;
        while (finals() == 0 && std::chrono::steady_clock::now() < end)
            RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 20ms);
        // Anything wrongly delivered after the final callback would show up now.
        RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 50ms);
        return finals() == 1;
    }
    const Callback& last() const { return calls.back(); }

    std::vector<Callback> calls;
    std::function<void(const Callback&)> onCall;
};

std::string randomBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(generator());
    return data;
}

void setTimes(const std::string& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

struct stat lstatOf(const std::string& path)
{
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

// Compares two trees entry by entry: kinds, contents, link targets, modes and modification
// times. `ignored` names source entries that must be missing at the target.
void expectSameTree(const std::string& source, const std::string& target, const std::set<std::string>& ignored = {})
{
    const struct stat a = lstatOf(source);
    const struct stat b = lstatOf(target);
    ASSERT_EQ(a.st_mode & S_IFMT, b.st_mode & S_IFMT) << target;
    if (!S_ISLNK(a.st_mode)) {
        EXPECT_EQ(a.st_mode & 07777, b.st_mode & 07777) << target;
        EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << target;
        EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << target;
    }
    if (S_ISREG(a.st_mode)) {
        EXPECT_TRUE(test::readFile(source) == test::readFile(target)) << target;
        EXPECT_EQ(test::userAttributes(source), test::userAttributes(target)) << target;
    } else if (S_ISLNK(a.st_mode)) {
        std::string x, y;
        readLink(source, x);
        readLink(target, y);
        EXPECT_EQ(x, y) << target;
    } else if (S_ISDIR(a.st_mode)) {
        std::set<std::string> expected;
        for (const std::string& name : test::namesIn(source))
            if (!ignored.count(joinPath(source, name)))
                expected.insert(name);
        EXPECT_EQ(expected, test::namesIn(target)) << target;
        for (const std::string& name : expected)
            expectSameTree(joinPath(source, name), joinPath(target, name), ignored);
    }
}

// A tree of nested folders with `bytes` of file data, a link to outside, a FIFO, a file with
// a user attribute and odd modes and times.
std::set<std::string> makeTree(const std::string& root, size_t bytes)
{
    std::set<std::string> specials;
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/a").c_str(), 0750);
    ::mkdir((root + "/a/b").c_str(), 0700);
    ::mkdir((root + "/empty").c_str(), 0755);
    const size_t files = 8;
    for (size_t i = 0; i < files; ++i) {
        const std::string folder = i % 3 == 0 ? root : i % 3 == 1 ? root + "/a" : root + "/a/b";
        const std::string path = folder + "/file" + std::to_string(i) + ".jpg";
        test::writeFile(path, randomBytes(bytes / files, unsigned(i)), i % 2 ? 0640 : 0604);
        setTimes(path, 1000000000 + time_t(i));
    }
    ::setxattr((root + "/file0.jpg").c_str(), "user.vistel.rating", "5", 1, 0);
    ::symlink("../../outside-the-tree", (root + "/a/link").c_str());
    ::mkfifo((root + "/a/fifo").c_str(), 0644);
    specials.insert(root + "/a/fifo");
    setTimes(root + "/a/b", 1200000000);
    setTimes(root + "/a", 1300000000);
    setTimes(root + "/empty", 1400000000);
    return specials;
}

class ScopedSizedTmpfs {
public:
    explicit ScopedSizedTmpfs(const std::string& size)
    {
        char pattern[] = "/tmp/vistel-fo-mnt-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) {
            path_ = made;
            const std::string options = "size=" + size + ",mode=0777";
            mounted_ = ::mount("tmpfs", made, "tmpfs", 0, options.c_str()) == 0;
        }
    }
    ~ScopedSizedTmpfs()
    {
        if (mounted_)
            ::umount2(path_.c_str(), MNT_DETACH);
        if (!path_.empty())
            ::rmdir(path_.c_str());
    }
    bool mounted() const { return mounted_; }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    bool mounted_ = false;
};

#define REQUIRE_TMPFS(mount)                                                              \
    if (!(mount).mounted())                                                               \
    VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here (needs CAP_SYS_ADMIN)"

std::uint64_t number(const Value& status, const char* key) { return std::uint64_t(status[key].toInt64()); }

TEST(FSFileOperation, CopiesTreeWithProgressOnTheSchedulingLoop)
{
    test::ScratchFolder scratch;
    const size_t bytes = test::scaled<size_t>(20u << 20, 1u << 30);
    const auto specials = makeTree(scratch / "source", bytes);
    ::mkdir((scratch / "target").c_str(), 0755);

    Recorder recorder;
    // Reports that find a delivery still queued are merged into it, so a busy machine could see the whole
    // copy in one callback: the first chunks wait until the loop has shown them.
    std::atomic<std::uint64_t> shown {0};
    recorder.onCall = [&](const Callback& call) { shown = number(call.status, kFSOperationBytesCompleteKey); };
    std::atomic<int> chunks {0};
    ScopedFSFileOperationChunkHook hook([&](FSFileOperation&, std::uint64_t done) {
        if (++chunks > 3)
            return;
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (shown.load() < done && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(1ms);
    });
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::nullopt, 0, recorder.callback(), 0), 0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));

    const Callback& final = recorder.last();
    EXPECT_EQ(final.error, 0);
    EXPECT_EQ(final.stage, kFSOperationStageComplete);
    EXPECT_EQ(final.item, scratch / "target/source");
    EXPECT_EQ(number(final.status, kFSOperationBytesCompleteKey), bytes / 8 * 8);
    EXPECT_EQ(number(final.status, kFSOperationTotalBytesKey), bytes / 8 * 8);
    EXPECT_EQ(number(final.status, kFSOperationBytesRemainingKey), 0u);
    EXPECT_EQ(number(final.status, kFSOperationObjectsRemainingKey), 0u);
    EXPECT_EQ(number(final.status, kFSOperationUserVisibleObjectsCompleteKey), 1u);
    std::uint64_t previous = 0;
    for (const Callback& call : recorder.calls) {
        EXPECT_EQ(call.thread, std::this_thread::get_id());
        const std::uint64_t done = number(call.status, kFSOperationBytesCompleteKey);
        EXPECT_GE(done, previous);
        previous = done;
    }
    EXPECT_GT(recorder.calls.size(), 2u);
    expectSameTree(scratch / "source", scratch / "target/source", specials);
    EXPECT_EQ(test::namesIn(scratch / "target"), std::set<std::string> {"source"});
}

TEST(FSFileOperation, RefusesSpecialFileSourceWithoutOpeningIt)
{
    test::ScratchFolder scratch;
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0644), 0);
    ::mkdir((scratch / "target").c_str(), 0755);
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "pipe", scratch / "target", std::nullopt, 0, recorder.callback(), 0), 0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation, 10s)); // an opened FIFO would block forever
    EXPECT_EQ(recorder.last().error, status::ParameterError);
    EXPECT_TRUE(test::namesIn(scratch / "target").empty());
}

TEST(FSFileOperation, RefusesCopyingOrMovingAFolderIntoItself)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "album").c_str(), 0755);
    ::mkdir((scratch / "album/sub").c_str(), 0755);
    for (const bool move : {false, true}) {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        const StatusCode started =
            move ? operation->startMove(scratch / "album", scratch / "album/sub", std::nullopt, 0, recorder.callback(), 0)
                 : operation->startCopy(scratch / "album", scratch / "album/sub", std::nullopt, 0, recorder.callback(), 0);
        ASSERT_EQ(started, 0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation, 10s));
        EXPECT_EQ(recorder.last().error, status::ParameterError) << (move ? "move" : "copy");
        EXPECT_TRUE(test::namesIn(scratch / "album/sub").empty());
    }
}

TEST(FSFileOperation, CancelHalfwayRemovesPartialTargetAndKeepsSource)
{
    test::ScratchFolder scratch;
    const size_t bytes = test::scaled<size_t>(16u << 20, 256u << 20);
    makeTree(scratch / "source", bytes);
    ::mkdir((scratch / "target").c_str(), 0755);
    const std::string before = test::readFile(scratch / "source/a/file1.jpg");

    ScopedFSFileOperationChunkHook hook([bytes](FSFileOperation& operation, std::uint64_t done) {
        if (done >= bytes / 2)
            operation.cancel();
    });
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::string("copy"), 0,
                                   recorder.callback(), 0.05),
              0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));
    EXPECT_EQ(recorder.last().error, status::UserCanceled);
    EXPECT_TRUE(test::namesIn(scratch / "target").empty()) << "no partial item, hidden or not";
    EXPECT_TRUE(test::readFile(scratch / "source/a/file1.jpg") == before);
    EXPECT_EQ(test::namesIn(scratch / "source").size(), 5u);
}

TEST(FSFileOperation, FullDiskReportsDiskFullAndLeavesNothing)
{
    ScopedSizedTmpfs small("1m");
    REQUIRE_TMPFS(small);
    test::ScratchFolder scratch;
    makeTree(scratch / "source", 3u << 20);
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "source", small.path(), std::nullopt, 0, recorder.callback(), 0), 0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));
    EXPECT_EQ(recorder.last().error, status::DiskFull);
    EXPECT_TRUE(test::namesIn(small.path()).empty());
}

TEST(FSFileOperation, MoveAcrossVolumesDeletesSourceOnlyAfterWholeCopy)
{
    ScopedSizedTmpfs volume("16m");
    REQUIRE_TMPFS(volume);
    ScopedSizedTmpfs small("1m");
    REQUIRE_TMPFS(small);
    // The source lives on the build's own disk, not on /tmp, which may itself be a tmpfs.
    char pattern[] = "vistel-fo-move-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string work = std::filesystem::absolute(pattern).string();
    for (const char* name : {"/reference", "/source"}) {
        makeTree(work + name, 2u << 20);
        ::unlink((work + name + "/a/fifo").c_str());
        setTimes(work + name + "/a", 1300000000);
        setTimes(work + name, 1500000000);
    }

    {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startMove(work + "/source", small.path(), std::nullopt, 0, recorder.callback(), 0), 0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.last().error, status::DiskFull);
        expectSameTree(work + "/reference", work + "/source");
        EXPECT_TRUE(test::namesIn(small.path()).empty());
    }
    {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startMove(work + "/source", volume.path(), std::nullopt, 0, recorder.callback(), 0), 0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.last().error, 0);
        EXPECT_EQ(::access((work + "/source").c_str(), F_OK), -1);
        expectSameTree(work + "/reference", volume / "source");
    }
    removeTree(work);
}

TEST(FSFileOperation, MoveAcrossVolumesLeavesWhatItDidNotCopyInPlace)
{
    ScopedSizedTmpfs volume("16m");
    REQUIRE_TMPFS(volume);
    test::ScratchFolder scratch;
    makeTree(scratch / "source", 1u << 20);
    makeTree(scratch / "reference", 1u << 20);
    ::unlink((scratch / "reference/a/fifo").c_str());
    setTimes(scratch / "reference/a", 1300000000);
    setTimes(scratch / "reference", 1500000000);
    setTimes(scratch / "source", 1500000000);

    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startMove(scratch / "source", volume.path(), std::nullopt, 0, recorder.callback(), 0), 0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));
    EXPECT_EQ(recorder.last().error, 0);
    expectSameTree(scratch / "reference", volume / "source");
    // The FIFO was never copied, so it must not be deleted either: it stays, with the folders
    // on its way, and nothing else does.
    EXPECT_TRUE(S_ISFIFO(lstatOf(scratch / "source/a/fifo").st_mode));
    EXPECT_EQ(test::namesIn(scratch / "source"), std::set<std::string> {"a"});
    EXPECT_EQ(test::namesIn(scratch / "source/a"), std::set<std::string> {"fifo"});
}

TEST(FSFileOperation, FolderReplacedByALinkDuringTheWalkIsNeverFollowed)
{
    ScopedSizedTmpfs volume("32m");
    REQUIRE_TMPFS(volume);
    const size_t fileSize = 2u << 20; // two chunks: the swap happens inside the first file
    const int files = 5;
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move across volumes" : "copy");
        test::ScratchFolder scratch;
        ::mkdir((scratch / "album").c_str(), 0755);
        ::mkdir((scratch / "album/photos").c_str(), 0755);
        ::mkdir((scratch / "album/photos/day").c_str(), 0755);
        ::mkdir((scratch / "elsewhere").c_str(), 0755);
        ::mkdir((scratch / "elsewhere/photos").c_str(), 0755);
        ::mkdir((scratch / "elsewhere/photos/day").c_str(), 0755);
        ::mkdir((scratch / "target").c_str(), 0755);
        for (int i = 0; i < files; ++i) {
            const std::string name = "/photos/day/img" + std::to_string(i) + ".jpg";
            test::writeFile(scratch / "album" + name, randomBytes(fileSize, unsigned(i)));
            test::writeFile(scratch / "elsewhere" + name, std::string(fileSize, 'x'));
        }
        // Once the copy is inside the tree, the folder above it is set aside and a link to
        // another tree of the same shape takes its name.
        std::atomic<bool> swapped {false};
        ScopedFSFileOperationChunkHook hook([&](FSFileOperation&, std::uint64_t) {
            if (swapped.exchange(true))
                return;
            ASSERT_EQ(::rename((scratch / "album").c_str(), (scratch / "album-aside").c_str()), 0);
            ASSERT_EQ(::symlink((scratch / "elsewhere").c_str(), (scratch / "album").c_str()), 0);
        });
        const std::string destination = move ? volume.path() : scratch / "target";
        Recorder recorder;
        auto operation = FSFileOperation::create();
        const StatusCode started =
            move ? operation->startMove(scratch / "album/photos", destination, std::nullopt, 0, recorder.callback(), 0)
                 : operation->startCopy(scratch / "album/photos", destination, std::nullopt, 0, recorder.callback(), 0);
        ASSERT_EQ(started, 0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_TRUE(swapped.load());
        EXPECT_EQ(recorder.last().error, 0);
        for (int i = 0; i < files; ++i) {
            const std::string name = "/day/img" + std::to_string(i) + ".jpg";
            EXPECT_TRUE(test::readFile(destination + "/photos" + name) == randomBytes(fileSize, unsigned(i))) << name;
            EXPECT_EQ(test::readFile(scratch / "elsewhere/photos" + name), std::string(fileSize, 'x'))
                << "the other tree is untouched";
        }
        if (move)
            EXPECT_EQ(::access((scratch / "album-aside/photos").c_str(), F_OK), -1) << "the moved tree is gone";
        else
            EXPECT_EQ(test::namesIn(scratch / "album-aside/photos/day").size(), size_t(files));
        if (move)
            removeTree(volume / "photos");
    }
}

TEST(FSFileOperation, MoveWithinVolumeIsRenameAndRespectsOverwriteFlag)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "photo.jpg", "new");
    ::mkdir((scratch / "album").c_str(), 0755);
    test::writeFile(scratch / "album/photo.jpg", "old");
    const ino_t inode = lstatOf(scratch / "photo.jpg").st_ino;

    struct Case {
        std::uint32_t flags;
        StatusCode expected;
        const char* contents;
    };
    for (const Case& c : {Case {0, status::DuplicateName, "old"}, Case {kFSFileOperationOverwrite, 0, "new"}}) {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startMove(scratch / "photo.jpg", scratch / "album", std::nullopt, c.flags,
                                       recorder.callback(), 0),
                  0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.last().error, c.expected);
        EXPECT_EQ(test::readFile(scratch / "album/photo.jpg"), c.contents);
    }
    EXPECT_EQ(lstatOf(scratch / "album/photo.jpg").st_ino, inode);

    // A rename (a move to a new name in the same folder) keeps the object too.
    Recorder recorder;
    auto rename = FSFileOperation::create();
    ASSERT_EQ(rename->startMove(scratch / "album/photo.jpg", scratch / "album", std::string("renamed.jpg"), 0,
                                recorder.callback(), 0),
              0);
    ASSERT_TRUE(recorder.runUntilFinal(*rename));
    EXPECT_EQ(recorder.last().error, 0);
    EXPECT_EQ(lstatOf(scratch / "album/renamed.jpg").st_ino, inode);
}

// A rename onto another name of the source's own object (a case-only rename on a
// case-insensitive file system; here a hard link, which takes the same road through a hidden
// name) is no clash up front. A hard link's other name is a name of its own, so the second step
// is refused and undone; another object is refused without a step.
TEST(FSFileOperation, RenameOntoTheSourcesOwnObjectGoesThroughAHiddenNameAndUndoesARefusal)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "album").c_str(), 0755);
    test::writeFile(scratch / "album/photo.jpg", "photo");
    ASSERT_EQ(::link((scratch / "album/photo.jpg").c_str(), (scratch / "album/linked.jpg").c_str()), 0);
    test::writeFile(scratch / "album/other.jpg", "other");
    const ino_t inode = lstatOf(scratch / "album/photo.jpg").st_ino;

    for (const char* target : {"linked.jpg", "other.jpg"}) {
        SCOPED_TRACE(target);
        for (const std::uint32_t flags : {0u, std::uint32_t(kFSFileOperationOverwrite)}) {
            if (std::string(target) == "other.jpg" && flags)
                continue; // a real replacement, covered above
            Recorder recorder;
            auto operation = FSFileOperation::create();
            ASSERT_EQ(operation->startMove(scratch / "album/photo.jpg", scratch / "album", std::string(target), flags,
                                           recorder.callback(), 0),
                      0);
            ASSERT_TRUE(recorder.runUntilFinal(*operation));
            EXPECT_EQ(recorder.last().error, status::DuplicateName);
            EXPECT_EQ(lstatOf(scratch / "album/photo.jpg").st_ino, inode);
            EXPECT_EQ(test::readFile(scratch / "album/other.jpg"), "other");
            std::set<std::string> names;
            for (const auto& entry : std::filesystem::directory_iterator(scratch / "album"))
                names.insert(entry.path().filename().string());
            EXPECT_EQ(names, (std::set<std::string> {"linked.jpg", "other.jpg", "photo.jpg"}));
        }
    }
}

// A small vfat image made with mkfs.vfat, attached to a free loop device (released on
// unmount) and mounted; `why` says what was missing when it is not mounted.
class ScopedVfatImage {
public:
    ScopedVfatImage()
    {
        char pattern[] = "/tmp/vistel-fo-vfat-XXXXXX";
        if (!::mkdtemp(pattern)) {
            why_ = "no scratch folder";
            return;
        }
        folder_ = pattern;
        const std::string image = folder_ + "/image";
        ::mkdir(path().c_str(), 0755);
        if (std::system(("mkfs.vfat -C '" + image + "' 2048 >/dev/null 2>&1").c_str()) != 0) {
            why_ = "mkfs.vfat (dosfstools) is not installed";
            return;
        }
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        const int number = control >= 0 ? ::ioctl(control, LOOP_CTL_GET_FREE) : -1;
        if (control >= 0)
            ::close(control);
        const int loop = number >= 0 ? ::open(("/dev/loop" + std::to_string(number)).c_str(), O_RDWR | O_CLOEXEC) : -1;
        const int backing = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
        loop_info64 info {};
        info.lo_flags = LO_FLAGS_AUTOCLEAR;
        if (loop < 0 || backing < 0 || ::ioctl(loop, LOOP_SET_FD, backing) != 0) {
            why_ = "no loop device available (needs CAP_SYS_ADMIN)";
        } else {
            ::ioctl(loop, LOOP_SET_STATUS64, &info);
            const std::string device = "/dev/loop" + std::to_string(number);
            mounted_ = ::mount(device.c_str(), path().c_str(), "vfat", 0, nullptr) == 0;
            if (!mounted_) {
                kernelLacksVfat_ = errno == ENODEV;
                why_ = std::string("mounting vfat: ") + std::strerror(errno);
                ::ioctl(loop, LOOP_CLR_FD, 0);
            }
        }
        if (backing >= 0)
            ::close(backing);
        if (loop >= 0)
            ::close(loop);
    }
    ~ScopedVfatImage()
    {
        if (mounted_)
            ::umount2(path().c_str(), MNT_DETACH);
        if (!folder_.empty())
            removeTree(folder_);
    }
    bool mounted() const { return mounted_; }
    bool kernelLacksVfat() const { return kernelLacksVfat_; }
    const std::string& why() const { return why_; }
    std::string path() const { return folder_ + "/mnt"; }

private:
    std::string folder_;
    std::string why_;
    bool mounted_ = false;
    bool kernelLacksVfat_ = false;
};

TEST(FSFileOperation, CaseOnlyRenameOnVfatRenamesAndAnotherItemStillClashes)
{
    ScopedVfatImage volume;
    if (volume.kernelLacksVfat())
        GTEST_SKIP() << "this kernel has no vfat";
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << volume.why();
    test::writeFile(volume.path() + "/photo.jpg", "photo");
    test::writeFile(volume.path() + "/other.jpg", "other");

    struct Case {
        const char* name;
        StatusCode expected;
        std::set<std::string> names;
    };
    for (const Case& c : {Case {"OTHER.JPG", status::DuplicateName, {"other.jpg", "photo.jpg"}},
                          Case {"Photo.JPG", 0, {"other.jpg", "Photo.JPG"}}}) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startMove(volume.path() + "/photo.jpg", volume.path(), std::string(c.name), 0,
                                       recorder.callback(), 0),
                  0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.last().error, c.expected);
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(volume.path()))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, c.names);
    }
    EXPECT_EQ(test::readFile(volume.path() + "/Photo.JPG"), "photo");
}

TEST(FSFileOperation, OverwriteReplacesFolderOnlyWithWholeCopy)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "source").c_str(), 0755);
    test::writeFile(scratch / "source/new.jpg", "new");
    ::mkdir((scratch / "target").c_str(), 0755);
    ::mkdir((scratch / "target/source").c_str(), 0755);
    test::writeFile(scratch / "target/source/old.jpg", "old");
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::nullopt, kFSFileOperationOverwrite,
                                   recorder.callback(), 0),
              0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));
    EXPECT_EQ(recorder.last().error, 0);
    EXPECT_EQ(test::namesIn(scratch / "target/source"), std::set<std::string> {"new.jpg"});
    EXPECT_EQ(test::namesIn(scratch / "target"), std::set<std::string> {"source"});
}

TEST(FSFileOperation, StatusCallbacksAreThrottledAndFinalComesOnceEvenWhenScheduledLate)
{
    test::ScratchFolder scratch;
    makeTree(scratch / "source", 8u << 20);
    ::mkdir((scratch / "target").c_str(), 0755);
    {
        // Slow chunks: many reports, few deliveries. The first chunk waits until something was
        // delivered, so that a busy machine cannot finish the copy before it is scheduled.
        std::atomic<int> chunks {0};
        std::atomic<bool> delivered {false};
        ScopedFSFileOperationChunkHook hook([&](FSFileOperation&, std::uint64_t) {
            if (++chunks == 1) {
                const auto end = std::chrono::steady_clock::now() + 30s;
                while (!delivered.load() && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(1ms);
            }
            std::this_thread::sleep_for(10ms);
        });
        Recorder recorder;
        recorder.onCall = [&](const Callback&) { delivered = true; };
        auto operation = FSFileOperation::create();
        const auto interval = 100ms;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::nullopt, 0, recorder.callback(),
                                       std::chrono::duration<double>(interval).count()),
                  0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        // Deliveries before the final one are at least an interval apart, whatever the scheduler did to
        // either thread; only their count within the whole run can be checked without a timing race.
        const auto span = recorder.calls.back().when - start;
        const size_t progressDeliveries = recorder.calls.size() - 1;
        EXPECT_LE(progressDeliveries, static_cast<size_t>(span / interval) + 1);
        EXPECT_GE(progressDeliveries, 1u);
        EXPECT_GE(chunks.load(), 8) << "a report every chunk, 10 ms apart";
    }
    {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::string("late"), 0,
                                       recorder.callback(), 0),
                  0);
        while (!operation->isFinished())
            std::this_thread::sleep_for(5ms);
        RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 20ms);
        EXPECT_TRUE(recorder.calls.empty()) << "nothing is delivered before scheduling";
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.calls.size(), 1u);
        EXPECT_EQ(recorder.last().error, 0);
    }
    auto operation = FSFileOperation::create();
    EXPECT_EQ(operation->cancel(), status::ParameterError);
    EXPECT_EQ(operation->startCopy("", scratch / "target", std::nullopt, 0, nullptr, 0), status::ParameterError);
    EXPECT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::string("x"), 0, nullptr, 0), 0);
    EXPECT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::string("y"), 0, nullptr, 0),
              status::ParameterError)
        << "an operation starts once";
    // Not past the scratch folder's lifetime.
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (!operation->isFinished() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(operation->isFinished());
}

TEST(FSFileOperation, RescheduledInAnotherModeDeliversOnlyInThatMode)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "photo.jpg", "pixels");
    ::mkdir((scratch / "target").c_str(), 0755);
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "photo.jpg", scratch / "target", std::nullopt, 0, recorder.callback(), 0),
              0);
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (!operation->isFinished() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(operation->isFinished());

    const std::string first = "vistel.test.first";
    const std::string second = "vistel.test.second";
    ASSERT_TRUE(operation->scheduleWithRunLoop(RunLoop::current(), first));
    ASSERT_TRUE(operation->scheduleWithRunLoop(RunLoop::current(), second));
    RunLoop::current()->runMode(first, std::chrono::steady_clock::now() + 20ms);
    EXPECT_TRUE(recorder.calls.empty()) << "nothing arrives in a mode no longer scheduled";
    while (recorder.finals() == 0 && std::chrono::steady_clock::now() < end)
        RunLoop::current()->runMode(second, std::chrono::steady_clock::now() + 20ms);
    RunLoop::current()->runMode(second, std::chrono::steady_clock::now() + 20ms);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.last().stage, kFSOperationStageComplete);
    EXPECT_EQ(recorder.last().error, 0);
}

class ReleaseWitness : public Object {
public:
    explicit ReleaseWitness(std::atomic<bool>& released) : released_(released) { }
    ~ReleaseWitness() override { released_ = true; }

private:
    std::atomic<bool>& released_;
};

TEST(FSFileOperation, OperationDroppedByItsClientStillEndsWithOneFinalCallback)
{
    test::ScratchFolder scratch;
    makeTree(scratch / "source", 4u << 20);
    ::mkdir((scratch / "target").c_str(), 0755);
    // The worker holds at its first chunk until the client has let go of everything.
    std::atomic<bool> dropped {false};
    ScopedFSFileOperationChunkHook hook([&](FSFileOperation&, std::uint64_t) {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (!dropped.load() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(1ms);
    });
    std::atomic<bool> infoReleased {false};
    Recorder recorder;
    {
        auto operation = FSFileOperation::create();
        ASSERT_TRUE(operation->scheduleWithRunLoop(RunLoop::current()));
        ASSERT_EQ(operation->startCopy(scratch / "source", scratch / "target", std::nullopt, 0, recorder.callback(), 0,
                                       Ref<Object>::adopt(new ReleaseWitness(infoReleased))),
                  0);
    }
    dropped = true;
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (recorder.finals() == 0 && std::chrono::steady_clock::now() < end)
        RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 20ms);
    RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 50ms);
    ASSERT_EQ(recorder.finals(), 1);
    EXPECT_EQ(recorder.last().error, 0);
    EXPECT_TRUE(infoReleased.load()) << "the client info goes with the final callback";
    expectSameTree(scratch / "source", scratch / "target/source", {scratch / "source/a/fifo"});
}

std::map<std::string, std::string> readTrashInfo(const std::string& path)
{
    std::map<std::string, std::string> entries;
    std::istringstream lines(test::readFile(path));
    std::string line;
    std::getline(lines, line);
    entries["header"] = line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            entries[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return entries;
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

StatusCode trash(const std::string& path, std::string* where = nullptr)
{
    Recorder recorder;
    auto operation = FSFileOperation::create();
    if (StatusCode result = operation->startMoveToTrash(path, 0, recorder.callback(), 0))
        return result;
    if (!recorder.runUntilFinal(*operation))
        return status::IOError;
    if (where)
        *where = recorder.last().item;
    return recorder.last().error;
}

TEST(FSFileOperation, TrashOnAnotherVolumeUsesItsOwnTrashFolder)
{
    ScopedSizedTmpfs volume("4m");
    REQUIRE_TMPFS(volume);
    test::ScratchFolder home;
    ScopedEnvironment dataHome("XDG_DATA_HOME", home.path());
    ::mkdir((volume / "My Photos").c_str(), 0755);
    const std::string longName = std::string(246, 'n') + ".jpeg"; // 251 bytes
    for (const std::string& name : {std::string("100% sunny.jpg"), std::string("100% sunny.jpg"), longName})
        test::writeFile(volume / "My Photos/" + name, "pixels");

    const std::string trashFolder = volume / ".Trash-" + std::to_string(::geteuid());
    std::string where;
    ASSERT_EQ(trash(volume / "My Photos/100% sunny.jpg", &where), 0);
    EXPECT_EQ(where, trashFolder + "/files/100% sunny.jpg");
    EXPECT_EQ(lstatOf(trashFolder).st_mode & 07777, 0700u);
    auto info = readTrashInfo(trashFolder + "/info/100% sunny.jpg.trashinfo");
    EXPECT_EQ(info["header"], "[Trash Info]");
    EXPECT_EQ(info["Path"], "My%20Photos/100%25%20sunny.jpg");
    EXPECT_EQ(info["DeletionDate"].size(), 19u);
    EXPECT_EQ(info["DeletionDate"][10], 'T');

    test::writeFile(volume / "My Photos/100% sunny.jpg", "again");
    ASSERT_EQ(trash(volume / "My Photos/100% sunny.jpg", &where), 0);
    EXPECT_EQ(where, trashFolder + "/files/100% sunny.jpg.2");
    EXPECT_EQ(test::readFile(where), "again");

    ASSERT_EQ(trash(volume / "My Photos/" + longName, &where), 0);
    const std::string trashName = lastPathComponent(where);
    EXPECT_LE(trashName.size() + 10, size_t(NAME_MAX));
    EXPECT_EQ(::access((trashFolder + "/info/" + trashName + ".trashinfo").c_str(), F_OK), 0);
    EXPECT_EQ(readTrashInfo(trashFolder + "/info/" + trashName + ".trashinfo")["Path"], "My%20Photos/" + longName);
    EXPECT_TRUE(test::namesIn(volume / "My Photos").empty());
    EXPECT_TRUE(test::namesIn(home.path()).empty()) << "nothing goes to the home Trash";
}

TEST(FSFileOperation, VolumeTrashIsUsedOnlyWhenItsFoldersAreSafe)
{
    test::ScratchFolder home;
    ScopedEnvironment dataHome("XDG_DATA_HOME", home.path());
    const std::string uid = std::to_string(::geteuid());
    enum class Setup { StickyShared, SharedWithoutStickyBit, SharedIsALink, OwnIsALink };
    struct Case {
        Setup setup;
        const char* name;
        StatusCode expected;
        std::string trash; // relative to the volume; empty when the item must stay
    };
    for (const Case& c : {Case {Setup::StickyShared, "sticky shared", 0, ".Trash/" + uid},
                          Case {Setup::SharedWithoutStickyBit, "shared without sticky bit", 0, ".Trash-" + uid},
                          Case {Setup::SharedIsALink, "shared is a link", 0, ".Trash-" + uid},
                          Case {Setup::OwnIsALink, "own is a link", status::PermissionDenied, ""}}) {
        SCOPED_TRACE(c.name);
        ScopedSizedTmpfs volume("4m");
        REQUIRE_TMPFS(volume);
        ::mkdir((volume / "elsewhere").c_str(), 01777);
        ::chmod((volume / "elsewhere").c_str(), 01777);
        switch (c.setup) {
        case Setup::StickyShared:
            ::mkdir((volume / ".Trash").c_str(), 01777);
            ::chmod((volume / ".Trash").c_str(), 01777);
            break;
        case Setup::SharedWithoutStickyBit:
            ::mkdir((volume / ".Trash").c_str(), 0777);
            ::chmod((volume / ".Trash").c_str(), 0777);
            break;
        case Setup::SharedIsALink: ::symlink((volume / "elsewhere").c_str(), (volume / ".Trash").c_str()); break;
        case Setup::OwnIsALink: ::symlink((volume / "elsewhere").c_str(), (volume / ".Trash-" + uid).c_str()); break;
        }
        test::writeFile(volume / "photo.jpg", "pixels");
        std::string where;
        EXPECT_EQ(trash(volume / "photo.jpg", &where), c.expected);
        if (c.trash.empty()) {
            EXPECT_EQ(test::readFile(volume / "photo.jpg"), "pixels");
        } else {
            EXPECT_EQ(where, volume / c.trash + "/files/photo.jpg");
            const std::string info = test::readFile(volume / c.trash + "/info/photo.jpg.trashinfo");
            EXPECT_EQ(info.rfind("[Trash Info]\nPath=photo.jpg\n", 0), 0u) << info;
        }
        EXPECT_TRUE(test::namesIn(volume / "elsewhere").empty()) << "nothing through a link";
    }
}

TEST(FSFileOperation, TrashKeepsAnyNameVisibleAndEncodesItInTheInfoFile)
{
    ScopedSizedTmpfs volume("4m");
    REQUIRE_TMPFS(volume);
    const std::string trashFolder = volume / ".Trash-" + std::to_string(::geteuid());
    std::string accents, accentsEncoded, invalidEncoded;
    for (int i = 0; i < 124; ++i) {
        accents += "\xC3\xA9"; // é
        accentsEncoded += "%C3%A9";
    }
    for (int i = 0; i < 250; ++i)
        invalidEncoded += "%80";
    struct Case {
        std::string name;
        std::string trashName; // names longer than the room beside ".trashinfo" are cut
        std::string encoded;
    };
    const Case cases[] = {
        {"line\nbreak.jpg", "line\nbreak.jpg", "line%0Abreak.jpg"},
        {accents + ".jpg", accents.substr(0, 244), accentsEncoded + ".jpg"},
        {std::string(250, '\x80'), std::string(245, '\x80'), invalidEncoded},
    };
    for (const Case& c : cases) {
        test::writeFile(volume / c.name, "pixels");
        std::string where;
        ASSERT_EQ(trash(volume / c.name, &where), 0);
        EXPECT_EQ(where, trashFolder + "/files/" + c.trashName);
        EXPECT_EQ(test::readFile(where), "pixels");
        EXPECT_EQ(readTrashInfo(trashFolder + "/info/" + c.trashName + ".trashinfo")["Path"],
                  c.encoded);
    }
}

TEST(FSFileOperation, TrashOnHomeVolumeUsesHomeTrash)
{
    test::ScratchFolder scratch;
    ScopedEnvironment dataHome("XDG_DATA_HOME", scratch / "data");
    ::mkdir((scratch / "pictures").c_str(), 0755);
    test::writeFile(scratch / "pictures/cat.jpg", "cat");
    std::string where;
    ASSERT_EQ(trash(scratch / "pictures/cat.jpg", &where), 0);
    EXPECT_EQ(where, scratch / "data/Trash/files/cat.jpg");
    EXPECT_EQ(readTrashInfo(scratch / "data/Trash/info/cat.jpg.trashinfo")["Path"],
              trashInfoPathEncode(scratch / "pictures/cat.jpg"));
    EXPECT_EQ(test::readFile(where), "cat");
    EXPECT_EQ(trash(scratch / "pictures/missing.jpg"), status::NoSuchObject);
}

// Run as an unprivileged user by SkipsUnreadableSourcesOnlyWithFlag.
TEST(FSFileOperation, DISABLED_PermissionCasesAsUser)
{
    const char* folder = std::getenv("VISTEL_FILEOPS_FOLDER");
    ASSERT_NE(folder, nullptr);
    const std::string root = folder;
    struct Case {
        std::uint32_t flags;
        StatusCode expected;
        const char* name;
    };
    for (const Case& c : {Case {0, status::AccessDenied, "strict"},
                          Case {kFSFileOperationSkipSourcePermissionErrors, 0, "lenient"}}) {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startCopy(root + "/source", root + "/target", std::string(c.name), c.flags,
                                       recorder.callback(), 0),
                  0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.last().error, c.expected) << c.name;
    }
    EXPECT_EQ(test::namesIn(root + "/target"), std::set<std::string> {"lenient"});
    EXPECT_EQ(test::namesIn(root + "/target/lenient"), (std::set<std::string> {"readable.jpg", "sub"}));
    EXPECT_TRUE(test::namesIn(root + "/target/lenient/sub").empty());

    // The flag leaves out items inside a tree; a source that cannot be read fails either way.
    for (const char* source : {"/source/secret.jpg", "/source/sub/closed"}) {
        Recorder recorder;
        auto operation = FSFileOperation::create();
        ASSERT_EQ(operation->startCopy(root + source, root + "/target", std::nullopt,
                                       kFSFileOperationSkipSourcePermissionErrors, recorder.callback(), 0),
                  0);
        ASSERT_TRUE(recorder.runUntilFinal(*operation));
        EXPECT_EQ(recorder.last().error, status::AccessDenied) << source;
    }
    EXPECT_EQ(test::namesIn(root + "/target"), std::set<std::string> {"lenient"});
}

TEST(FSFileOperation, SkipsUnreadableSourcesOnlyWithFlag)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    test::ScratchFolder scratch(0755);
    ::mkdir((scratch / "source").c_str(), 0755);
    ::mkdir((scratch / "source/sub").c_str(), 0755);
    ::mkdir((scratch / "source/sub/closed").c_str(), 0700);
    test::writeFile(scratch / "source/readable.jpg", "ok", 0644);
    test::writeFile(scratch / "source/secret.jpg", "no", 0600);
    ::mkdir((scratch / "target").c_str(), 0777);
    ::chmod((scratch / "target").c_str(), 0777);
    std::string log;
    EXPECT_TRUE(test::runAsNobody("FSFileOperation.DISABLED_PermissionCasesAsUser", "VISTEL_FILEOPS_FOLDER",
                                  scratch.path(), scratch / "log.txt", log))
        << log;
}

// Run as an unprivileged user by FailedCopyRemovesItsReadOnlyFolders.
TEST(FSFileOperation, DISABLED_FailedCopyCleanupAsUser)
{
    const char* folder = std::getenv("VISTEL_FILEOPS_FOLDER");
    ASSERT_NE(folder, nullptr);
    const std::string root = folder;
    // The copy is whole, read-only folder modes included, when its name is taken at the last
    // moment: what it made must still go.
    ScopedFSFileOperationChunkHook hook([&](FSFileOperation&, std::uint64_t) {
        if (::access((root + "/target/copy").c_str(), F_OK) != 0)
            test::writeFile(root + "/target/copy", "taken");
    });
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(root + "/source", root + "/target", std::string("copy"), 0, recorder.callback(), 0),
              0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));
    EXPECT_EQ(recorder.last().error, status::DuplicateName);
    EXPECT_EQ(test::namesIn(root + "/target"), std::set<std::string> {"copy"}) << "no partial item, hidden or not";
}

TEST(FSFileOperation, FailedCopyRemovesItsReadOnlyFolders)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    test::ScratchFolder scratch(0755);
    ::mkdir((scratch / "source").c_str(), 0755);
    ::mkdir((scratch / "source/locked").c_str(), 0755);
    ::mkdir((scratch / "source/locked/inner").c_str(), 0755);
    test::writeFile(scratch / "source/locked/inner/photo.jpg", randomBytes(3u << 20, 1), 0644);
    test::writeFile(scratch / "source/locked/other.jpg", "pixels", 0644);
    ::chmod((scratch / "source/locked/inner").c_str(), 0555);
    ::chmod((scratch / "source/locked").c_str(), 0555);
    ::mkdir((scratch / "target").c_str(), 0777);
    ::chmod((scratch / "target").c_str(), 0777);
    std::string log;
    EXPECT_TRUE(test::runAsNobody("FSFileOperation.DISABLED_FailedCopyCleanupAsUser", "VISTEL_FILEOPS_FOLDER",
                                  scratch.path(), scratch / "log.txt", log))
        << log;
}

// --- partial copies of killed writers ---------------------------------------------------------------

constexpr const char* PartialCopyFolderVariable = "VISTEL_PARTIAL_COPY_FOLDER";
constexpr const char* PartialCopySourceVariable = "VISTEL_PARTIAL_COPY_SOURCE";

// In a child process: copies the source the parent names into "<folder>/dst" and, once the
// first chunk is written, makes "<folder>/started-<pid>" and waits there to be killed.
TEST(FSFileOperation, DISABLED_CopyThatWaitsMidwayToBeKilled)
{
    const char* folder = std::getenv(PartialCopyFolderVariable);
    const char* source = std::getenv(PartialCopySourceVariable);
    ASSERT_TRUE(folder && source);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the test that started it
    const std::string started = std::string(folder) + "/started-" + std::to_string(::getpid());
    ScopedFSFileOperationChunkHook hook([started](FSFileOperation&, std::uint64_t) {
        test::writeFile(started, "");
        for (;;)
            ::pause();
    });
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(source, std::string(folder) + "/dst", std::nullopt, 0, recorder.callback(), 0.05), 0);
    recorder.runUntilFinal(*operation);
    ADD_FAILURE() << "the copy was not held";
}

TEST(FSFileOperation, PartialCopiesOfKilledWritersAreSweptThoseStillWrittenStay)
{
    test::ScratchFolder scratch(0755);
    ::mkdir((scratch / "dst").c_str(), 0755);
    test::writeFile(scratch / "photo.bin", randomBytes(3u << 20, 3));
    ::mkdir((scratch / "album").c_str(), 0755);
    ::mkdir((scratch / "album/inner").c_str(), 0755);
    test::writeFile(scratch / "album/inner/photo.bin", randomBytes(3u << 20, 4));
    test::writeFile(scratch / "small.jpg", "pixels");

    // Two writers stop in the middle of their copies into dst: a folder's, whose writer is then
    // killed, and a file's, whose writer lives on.
    struct Child {
        pid_t pid = -1;
        void kill()
        {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
            pid = -1;
        }
        ~Child() { kill(); }
    } killed, alive;
    const std::pair<Child*, std::string> starts[] = {{&killed, scratch / "album"}, {&alive, scratch / "photo.bin"}};
    std::map<pid_t, std::string> partials;
    for (const auto& [child, source] : starts) {
        std::string error;
        child->pid = test::spawnTestProcess("FSFileOperation.DISABLED_CopyThatWaitsMidwayToBeKilled",
                                            scratch / ("log-" + lastPathComponent(source)), {},
                                            {std::string(PartialCopyFolderVariable) + "=" + scratch.path(),
                                             std::string(PartialCopySourceVariable) + "=" + source},
                                            &error);
        ASSERT_GT(child->pid, 0) << error;
        const std::string started = scratch / ("started-" + std::to_string(child->pid));
        for (int waited = 0; ::access(started.c_str(), F_OK) != 0; waited += 10) {
            ASSERT_LT(waited, 120000) << test::readFile(scratch / ("log-" + lastPathComponent(source)));
            std::this_thread::sleep_for(10ms);
        }
        for (const std::string& name : test::namesIn(scratch / "dst"))
            if (isPartialCopyName(name) && name.find("-" + std::to_string(child->pid) + "-") != std::string::npos)
                partials[child->pid] = name;
        ASSERT_TRUE(partials.count(child->pid)) << source;
    }
    const std::string killedPartial = partials[killed.pid];
    const std::string alivePartial = partials[alive.pid];
    killed.kill();
    ASSERT_TRUE(std::filesystem::is_directory(scratch / ("dst/" + killedPartial)));
    // Both left untouched for long enough (made old rather than waited for).
    for (const std::string& name : {killedPartial, alivePartial})
        test::makeOld(scratch / ("dst/" + name));

    // The next copy into the folder sweeps what the killed writer left, and only that.
    Recorder recorder;
    auto operation = FSFileOperation::create();
    ASSERT_EQ(operation->startCopy(scratch / "small.jpg", scratch / "dst", std::nullopt, 0, recorder.callback(), 0.05), 0);
    ASSERT_TRUE(recorder.runUntilFinal(*operation));
    EXPECT_EQ(recorder.last().error, 0);
    EXPECT_EQ(test::namesIn(scratch / "dst"), (std::set<std::string> {alivePartial, "small.jpg"}));

    // Once its writer is gone too, the sweep at start-up takes the other one.
    alive.kill();
    sweepAbandonedPartialCopies(scratch / "dst");
    EXPECT_EQ(test::namesIn(scratch / "dst"), (std::set<std::string> {"small.jpg"}));
}

TEST(FSFileOperation, PartialCopyNames)
{
    struct Case {
        std::string name;
        bool partial;
    } cases[] = {
        {uniqueHiddenName("partial"), true},
        {".vistel-partial-12-0-0123456789abcdef", true},
        {uniqueHiddenName("replaced"), false},
        {".vistel-partial-12-0-0123456789abcdef.jpg", false},
        {".vistel-partial-12-0-0123456789ABCDEF", false},
        {".vistel-partial--0-0123456789abcdef", false},
        {"vistel-partial-12-0-0123456789abcdef", false},
        {".vistel-tmp-0123456789", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isPartialCopyName(c.name), c.partial) << c.name;
}

} // namespace
} // namespace vistel
