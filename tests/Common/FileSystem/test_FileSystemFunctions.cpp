// File services: records, starting operations, attributes and existence, the safe save
// (crash safety included) and the flat item list with permanent delete.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <new>
#include <random>
#include <thread>

#include "Common/FileSystem/FSObjectInfo.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "FileSystemFixtures.h"
#include "Platform/AtomicFileWriter.h"
#include "Platform/Log.h"
#include "TestSupport.h"

namespace vistel {
namespace {

using namespace std::chrono_literals;

// Installs fake camera services for the test's lifetime.
class ScopedCamera {
public:
    ScopedCamera()
    {
        CameraFileServices services;
        services.fileExists = [](const std::string& path) { return path == "ICA:/41/DSC0001.JPG"; };
        services.deviceAttached = [](const std::string& path) { return path == "ICA:/41"; };
        services.fileAttributes = [](const std::string&) {
            return Value::dictionary({{"NSFileSize", Value(1234)}});
        };
        services.fileSize = [](const std::string& path) -> std::optional<std::uint64_t> {
            if (path == "ICA:/41/DSC0001.JPG")
                return 1234;
            return std::nullopt;
        };
        services.deleteObject = [this](const std::string& path) {
            deleted.push_back(path);
            return StatusCode(0);
        };
        services.mountPoint = [](const std::string&) { return std::string("ICA:/41"); };
        services.startDownload = [this](const std::string& source, const std::string&,
                                        const std::optional<std::string>&, const Ref<FileOperationRecord>&,
                                        FSFileOperationStatusCallback, double, Ref<Object>) {
            downloads.push_back(source);
            return StatusCode(0);
        };
        setCameraFileServices(services);
    }
    ~ScopedCamera() { setCameraFileServices({}); }

    std::vector<std::string> deleted;
    std::vector<std::string> downloads;
};

TEST(FileSystemFunctions, RecordCarriesOperationStatusAndCancelFlag)
{
    Ref<FileOperationRecord> record = FileSystemFunctions::createFileOperation();
    ASSERT_NE(FileSystemFunctions::fsFileOperation(record), nullptr);
    EXPECT_EQ(FileSystemFunctions::fileOperationError(record), 0);
    EXPECT_FALSE(FileSystemFunctions::isFileOperationIsCanceled(record));
    FileSystemFunctions::setFileOperationError(record, status::DiskFull);
    FileSystemFunctions::cancelFileOperation(record);
    const Value dictionary = record->dictionary();
    EXPECT_EQ(dictionary[errorCodeParamDictKey].toInt64(), status::DiskFull);
    EXPECT_TRUE(dictionary[fileOperationCancelFlag].toBool());
    EXPECT_TRUE(dictionary[fileOperationRefParamDictionary].isObject());
    FileSystemFunctions::releaseFileOperation(record);
    EXPECT_EQ(FileSystemFunctions::fsFileOperation(record), nullptr);
    EXPECT_FALSE(record->dictionary().contains(fileOperationRefParamDictionary));

    const Ref<FileOperationRecord> none;
    EXPECT_EQ(FileSystemFunctions::fileOperationError(none), 0);
    EXPECT_FALSE(FileSystemFunctions::isFileOperationIsCanceled(none));
    EXPECT_EQ(FileSystemFunctions::fsFileOperation(none), nullptr);
}

TEST(FileSystemFunctions, OnlyCopyTrashMoveAndRenameStart)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "a.jpg", "a");
    ScopedCamera camera;
    struct Case {
        const char* source;
        std::int32_t type;
        StatusCode expected;
    };
    const std::string source = scratch / "a.jpg";
    for (const Case& c : {Case {source.c_str(), 2, status::OperationNotSupported},
                          Case {source.c_str(), 3, status::OperationNotSupported},
                          Case {source.c_str(), 5, status::OperationNotSupported},
                          Case {source.c_str(), -1, status::OperationNotSupported},
                          Case {"ICA:/41/DSC0001.JPG", 1, status::OperationNotSupported},
                          Case {"ICA:/41/DSC0001.JPG", 6, status::OperationNotSupported},
                          Case {"ICA:/41/DSC0001.JPG", 0, 0}, Case {"ICA:/41/DSC0001.JPG", 4, 0}}) {
        Ref<FileOperationRecord> record = FileSystemFunctions::FSPathObjectsOperationAsyncEx(
            c.source, scratch.path().c_str(), std::nullopt, 0, nullptr, 0.1, nullptr, c.type);
        EXPECT_EQ(FileSystemFunctions::fileOperationError(record), c.expected) << c.source << " type " << c.type;
    }
    EXPECT_EQ(camera.downloads, (std::vector<std::string> {"ICA:/41/DSC0001.JPG", "ICA:/41/DSC0001.JPG"}));
    EXPECT_EQ(test::readFile(source), "a") << "refused operations touch nothing";
}

TEST(FileSystemFunctions, RenameRunsAndReportsOnTheSchedulingLoop)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "a.jpg", "a");
    std::vector<std::uint32_t> stages;
    StatusCode finalError = 1;
    Ref<FileOperationRecord> record = FileSystemFunctions::FSPathObjectsOperationAsyncEx(
        (scratch / "a.jpg").c_str(), scratch.path().c_str(), std::string("b.jpg"), 0,
        [&](FSFileOperation*, const char*, std::uint32_t stage, StatusCode error, const Value&, Object*) {
            stages.push_back(stage);
            if (stage == kFSOperationStageComplete)
                finalError = error;
        },
        0, nullptr, kFileOperationRename);
    ASSERT_EQ(FileSystemFunctions::fileOperationError(record), 0);
    FileSystemFunctions::fsFileOperation(record)->scheduleWithRunLoop(RunLoop::current());
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (finalError == 1 && std::chrono::steady_clock::now() < end)
        RunLoop::current()->runUntil(std::chrono::steady_clock::now() + 10ms);
    EXPECT_EQ(finalError, 0);
    EXPECT_EQ(test::namesIn(scratch.path()), std::set<std::string> {"b.jpg"});
}

TEST(FileSystemFunctions, AttributesAndExistenceOfVolumeAndCameraPaths)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "photo.jpg", "12345", 0640);
    ::symlink("photo.jpg", (scratch / "link").c_str());
    ScopedCamera camera;

    const Value file = FileSystemFunctions::fileAttributesAtPath(scratch / "photo.jpg", false);
    EXPECT_EQ(file["NSFileType"].toString(), "NSFileTypeRegular");
    EXPECT_EQ(file["NSFileSize"].toInt64(), 5);
    EXPECT_EQ(file["NSFilePosixPermissions"].toInt64(), 0640);
    EXPECT_TRUE(file["NSFileModificationDate"].isDate());
    EXPECT_EQ(FileSystemFunctions::fileAttributesAtPath(scratch / "link", false)["NSFileType"].toString(),
              "NSFileTypeSymbolicLink");
    EXPECT_EQ(FileSystemFunctions::fileAttributesAtPath(scratch / "link", true)["NSFileType"].toString(),
              "NSFileTypeRegular");
    EXPECT_EQ(FileSystemFunctions::fileAttributesAtPath("ICA:/41/DSC0001.JPG", false)["NSFileSize"].toInt64(), 1234);
    for (const std::string& none : {scratch / "missing", std::string("photo.jpg"), std::string("ICA:/41/X.JPG")})
        EXPECT_EQ(FileSystemFunctions::fileAttributesAtPath(none, false).size(), 0u) << none;

    struct Case {
        std::string path;
        bool exists;
        bool folder;
    };
    for (const Case& c : {Case {scratch / "photo.jpg", true, false}, Case {scratch.path(), true, true},
                          Case {scratch / "missing", false, false}, Case {"relative", false, false},
                          Case {"ICA:/41/DSC0001.JPG", true, false}, Case {"ICA:/41", true, true},
                          Case {"ICA:/42", false, true}, Case {"ICA:/41/GONE.JPG", false, false},
                          // A name without extension after the identifier is a file, not the root.
                          Case {"ICA:/41/README", false, false}}) {
        bool folder = !c.folder;
        EXPECT_EQ(FileSystemFunctions::fileExistsAtPath(c.path, &folder), c.exists) << c.path;
        if (c.exists || c.path.rfind("ICA:", 0) == 0) {
            EXPECT_EQ(folder, c.folder) << c.path;
        }
    }
}

Value::Bytes bytesOf(const std::string& text) { return Value::Bytes(text.begin(), text.end()); }

std::set<std::string> hiddenNames(const std::string& folder)
{
    std::set<std::string> hidden;
    for (const std::string& name : test::namesIn(folder))
        if (name[0] == '.')
            hidden.insert(name);
    return hidden;
}

TEST(FileSystemFunctions, SafeSaveReplacesContentsKeepsModeAndLeavesNoTemporaryFile)
{
    test::ScratchFolder scratch;
    const Value::Bytes data = bytesOf("new contents");
    EXPECT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "x", nullptr), status::FileWriteOutOfSpace);
    EXPECT_EQ(FileSystemFunctions::writeNSDataToFile("", &data), status::FileWriteOutOfSpace);
    EXPECT_TRUE(test::namesIn(scratch.path()).empty());

    ASSERT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "new.xml", &data), 0);
    EXPECT_EQ(test::readFile(scratch / "new.xml"), "new contents");

    test::writeFile(scratch / "frame.xml", "old contents that are longer", 0604);
    ASSERT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "frame.xml", &data), 0);
    EXPECT_EQ(test::readFile(scratch / "frame.xml"), "new contents");
    EXPECT_EQ(test::modeOf(scratch / "frame.xml") & 07777, 0604u);
    EXPECT_TRUE(hiddenNames(scratch.path()).empty());

    const Value::Bytes empty;
    ASSERT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "frame.xml", &empty), 0);
    EXPECT_EQ(test::readFile(scratch / "frame.xml"), "");
}

TEST(FileSystemFunctions, SafeSaveOfANewFileLeavesWhatIsAtItsName)
{
    test::ScratchFolder scratch;
    const Value::Bytes data = bytesOf("new");
    test::writeFile(scratch / "taken.jpg", "someone else's", 0644);
    EXPECT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "taken.jpg", &data, true), status::DuplicateName);
    EXPECT_EQ(test::readFile(scratch / "taken.jpg"), "someone else's");
    ::mkdir((scratch / "folder").c_str(), 0755);
    EXPECT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "folder", &data, true), status::DuplicateName);
    EXPECT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "free.jpg", &data, true), 0);
    EXPECT_EQ(test::readFile(scratch / "free.jpg"), "new");
    EXPECT_TRUE(hiddenNames(scratch.path()).empty());
}

TEST(FileSystemFunctions, SafeSaveToleratesFileSystemsWithoutPermissions)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "frame.xml", "old", 0644);
    const Value::Bytes data = bytesOf("new");
    // vfat answers EPERM to chmod; injected here because no vfat volume can be made in CI.
    ScopedAtomicWriteChmodFailure noChmod(EPERM);
    ASSERT_EQ(FileSystemFunctions::writeNSDataToFile(scratch / "frame.xml", &data), 0);
    EXPECT_EQ(test::readFile(scratch / "frame.xml"), "new");
    EXPECT_TRUE(hiddenNames(scratch.path()).empty());
}

TEST(FileSystemFunctions, SafeSaveFailuresAnswerNonZeroAndKeepTheTarget)
{
    test::ScratchFolder scratch;
    const Value::Bytes data = bytesOf("new");
    {
        ScopedLogCapture log;
        EXPECT_NE(FileSystemFunctions::writeNSDataToFile(scratch / "missing/frame.xml", &data), 0);
        EXPECT_TRUE(log.contains("Can't create directory reference FSPathMakeRef for dir"));
    }
    ::mkdir((scratch / "folder").c_str(), 0755);
    EXPECT_NE(FileSystemFunctions::writeNSDataToFile(scratch / "folder", &data), 0);

    test::ScopedTmpfs small; // 4 MiB
    if (!small.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    test::writeFile(small.path() + "/frame.xml", "old");
    const Value::Bytes huge(8u << 20, 'x');
    EXPECT_EQ(FileSystemFunctions::writeNSDataToFile(small.path() + "/frame.xml", &huge), status::DiskFull);
    EXPECT_EQ(test::readFile(small.path() + "/frame.xml"), "old");
    EXPECT_EQ(test::namesIn(small.path()), std::set<std::string> {"frame.xml"});
}

// The contents of save number `counter`: the number first, then a filling tied to it, large
// enough that a save takes a while.
std::string savedContents(std::uint64_t counter)
{
    std::string contents = "save " + std::to_string(counter) + "\n";
    contents.resize(256u << 10, static_cast<char>('a' + counter % 26));
    return contents;
}

TEST(FileSystemFunctions, SafeSaveSurvivesKillAtAnyPoint)
{
    test::ScratchFolder scratch;
    const std::string path = scratch / "frame.xml";
    test::writeFile(path, savedContents(0));
    // Shared with the children: the save in flight and the last one that completed.
    struct Progress {
        std::atomic<std::uint64_t> inFlight {0};
        std::atomic<std::uint64_t> completed {0};
    };
    void* shared = ::mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    Progress* progress = new (shared) Progress;
    std::mt19937 random(7);
    const int rounds = test::scaled(40, 1000);
    std::size_t mostLeftovers = 0;
    for (int round = 0; round < rounds; ++round) {
        ASSERT_TRUE(test::killWhileWriting(
            [&] {
                for (std::uint64_t counter = progress->completed + 1;; ++counter) {
                    const std::string text = savedContents(counter);
                    const Value::Bytes data(text.begin(), text.end());
                    progress->inFlight = counter;
                    if (FileSystemFunctions::writeNSDataToFile(path, &data) != 0)
                        ::_exit(3);
                    progress->completed = counter;
                }
            },
            // Kills come within 20 ms; on a busy machine, where no save may finish that fast,
            // the second half of the rounds waits longer until one has.
            std::chrono::microseconds(random() % (progress->completed == 0 && round >= rounds / 2 ? 500000 : 20000))));
        const std::string now = test::readFile(path);
        const std::uint64_t counter = std::strtoull(now.c_str() + 5, nullptr, 10);
        ASSERT_TRUE(now == savedContents(counter)) << "round " << round << ": " << now.size() << " bytes";
        ASSERT_TRUE(counter == progress->completed || counter == progress->inFlight)
            << "round " << round << ": save " << counter << " read back, last completed " << progress->completed
            << ", in flight " << progress->inFlight;
        // A killed save may leave its temporary file; the next save removes it once it is a
        // minute old and no live process holds it. Here the minute passes at once.
        const std::set<std::string> leftovers = hiddenNames(scratch.path());
        mostLeftovers = std::max(mostLeftovers, leftovers.size());
        for (const std::string& name : leftovers)
            test::makeOld(scratch / name);
    }
    EXPECT_LE(mostLeftovers, 1u);
    EXPECT_GT(progress->completed.load(), 0u) << "no save completed";
    ::munmap(shared, sizeof(Progress));

    const Value::Bytes last = bytesOf("last");
    ASSERT_EQ(FileSystemFunctions::writeNSDataToFile(path, &last), 0);
    EXPECT_TRUE(hiddenNames(scratch.path()).empty());
    EXPECT_EQ(test::readFile(path), "last");
}

std::vector<std::string> pathsOf(const std::vector<Ref<FSObjectInfo>>& items)
{
    std::vector<std::string> paths;
    for (const auto& item : items)
        paths.push_back(item->objectPath());
    return paths;
}

TEST(FSObjectInfo, CollectsContentsBeforeFoldersAndNeverFollowsLinks)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "outside").c_str(), 0755);
    test::writeFile(scratch / "outside/keep.jpg", "keep me");
    ::mkdir((scratch / "A").c_str(), 0755);
    test::writeFile(scratch / "A/f", std::string(10, 'f'));
    ::mkdir((scratch / "A/B").c_str(), 0755);
    test::writeFile(scratch / "A/B/g", std::string(20, 'g'));
    ::symlink("../outside", (scratch / "A/link").c_str());

    std::vector<Ref<FSObjectInfo>> items;
    std::uint64_t total = 5;
    FSObjectInfo::collectFolderItems(scratch / "A", &items, total);
    EXPECT_EQ(total, 35u);
    EXPECT_EQ(pathsOf(items), (std::vector<std::string> {scratch / "A/B/g", scratch / "A/B", scratch / "A/f",
                                                          scratch / "A/link", scratch / "A"}));
    EXPECT_EQ(items[0]->parentRef().path, scratch / "A/B");
    EXPECT_EQ(items[1]->parentRef().path, scratch / "A");
    EXPECT_EQ(items[4]->parentRef().path, scratch.path());
    EXPECT_TRUE(items[1]->isFolder());
    EXPECT_EQ(items[1]->objectSize(), 0u);
    EXPECT_EQ(items[0]->objectSize(), 20u);
    EXPECT_EQ(items[0]->fsType(), 1);

    for (const auto& item : items)
        ASSERT_EQ(item->deletePermanentlyFSObject(), 0) << item->objectPath();
    EXPECT_EQ(::access((scratch / "A").c_str(), F_OK), -1);
    EXPECT_EQ(test::readFile(scratch / "outside/keep.jpg"), "keep me");

    std::uint64_t unchanged = 7;
    ScopedLogCapture log;
    FSObjectInfo::collectFolderItems("not a path", &items, unchanged);
    EXPECT_EQ(unchanged, 7u);
    EXPECT_TRUE(log.contains("Unknown device path not a path"));
}

TEST(FSObjectInfo, DeleteRefusesAnObjectThatReplacedTheListedOne)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "photo.jpg", "listed");
    std::vector<Ref<FSObjectInfo>> items;
    std::uint64_t total = 0;
    FSObjectInfo::collectFolderItems(scratch / "photo.jpg", &items, total);
    ASSERT_EQ(items.size(), 1u);
    test::writeFile(scratch / "other.jpg", "someone else's");
    ::rename((scratch / "other.jpg").c_str(), (scratch / "photo.jpg").c_str());
    EXPECT_EQ(items[0]->deletePermanentlyFSObject(), status::NoSuchObject);
    EXPECT_EQ(test::readFile(scratch / "photo.jpg"), "someone else's");
}

TEST(FSObjectInfo, CameraItemsAddToTheTotalAndDeleteOnTheDevice)
{
    ScopedCamera camera;
    std::vector<Ref<FSObjectInfo>> items;
    std::uint64_t total = 1000;
    FSObjectInfo::collectFolderItems("ICA:/41/DSC0001.JPG", &items, total);
    EXPECT_EQ(total, 2234u);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->fsType(), 2);
    EXPECT_EQ(items[0]->objectPath(), "ICA:/41/DSC0001.JPG");
    EXPECT_EQ(items[0]->deletePermanentlyFSObject(), 0);
    EXPECT_EQ(camera.deleted, std::vector<std::string> {"ICA:/41/DSC0001.JPG"});
    EXPECT_FALSE(FSObjectInfo::createWithICAStringPath("ICA:/41/GONE.JPG"));
    EXPECT_FALSE(FSObjectInfo::createWithICAStringPath("/not/camera"));
}

// Run as an unprivileged user by DeletesLockedItemsAfterUnlocking.
TEST(FSObjectInfo, DISABLED_LockedItemsAsUser)
{
    const std::string root = std::getenv("VISTEL_FSOBJECT_FOLDER");
    std::vector<Ref<FSObjectInfo>> items;
    std::uint64_t total = 0;
    FSObjectInfo::collectFolderItems(root + "/locked", &items, total);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0]->isLocked());
    EXPECT_TRUE(items[0]->isParentLocked());
    EXPECT_TRUE(items[1]->isLocked());
    for (const auto& item : items)
        ASSERT_EQ(item->deletePermanentlyFSObject(), 0) << item->objectPath();
    EXPECT_EQ(::access((root + "/locked").c_str(), F_OK), -1);
}

TEST(FSObjectInfo, DeletesLockedItemsAfterUnlocking)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    test::ScratchFolder scratch(0755);
    ::chown(scratch.path().c_str(), 65534, 65534);
    ::mkdir((scratch / "locked").c_str(), 0755);
    test::writeFile(scratch / "locked/photo.jpg", "x", 0444);
    ::chown((scratch / "locked").c_str(), 65534, 65534);
    ::chown((scratch / "locked/photo.jpg").c_str(), 65534, 65534);
    ::chmod((scratch / "locked").c_str(), 0555);
    std::string log;
    EXPECT_TRUE(test::runAsNobody("FSObjectInfo.DISABLED_LockedItemsAsUser", "VISTEL_FSOBJECT_FOLDER", scratch.path(),
                                  "/tmp/vistel-fsobject-nobody.log", log))
        << log;
}

} // namespace
} // namespace vistel
