// File operations where permissions, volumes and links matter: as the unprivileged user 65534
// (locked items, unwritable and unreadable folders), on a tmpfs the test mounts (moves across
// volumes, the volume's own Trash, long names), links inside deleted folders, and a camera
// served by the directory driver.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "../Common/FileSystem/FileSystemFixtures.h"
#include "../Common/Volumes/CameraTestSupport.h"
#include "OperationsTestSupport.h"
#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/FilePaths.h"

namespace vistel {
namespace {

using test::modeOf;
using test::namesIn;
using test::readFile;
using test::writeFile;

constexpr const char* FolderVariable = "VISTEL_OPERATIONS_USER_FOLDER";

// Runs `start` to its end with the scripted answers; answers the observer.
std::unique_ptr<test::RecordObserver> runToEnd(const std::function<Ref<FileOperation>()>& start)
{
    auto records = std::make_unique<test::RecordObserver>(start());
    EXPECT_TRUE(records->waitForEnd());
    EXPECT_EQ(records->finalCount(), 1);
    return records;
}

std::string locked(const char* name) { return "Item named \"" + std::string(name) + "\" is locked."; }

// --- as uid 65534 ---------------------------------------------------------------------------------

struct UserCase {
    const char* child; // the DISABLED_ test run as the user
};

class AsUnprivilegedUser : public testing::TestWithParam<UserCase> { };

TEST_P(AsUnprivilegedUser, Runs)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    test::ScratchFolder folder(0777);
    // Root's own folder, which the user may read but not write, with a file the user cannot
    // remove (though it is not locked: its owner may write it).
    ::mkdir((folder / "root's").c_str(), 0755);
    writeFile(folder / "root's/root.jpg", "root's");
    std::string log;
    EXPECT_TRUE(test::runAsNobody(std::string("OperationsAsUser.DISABLED_") + GetParam().child, FolderVariable,
                                  folder.path(), folder / "output.txt", log))
        << log;
}

INSTANTIATE_TEST_SUITE_P(Operations, AsUnprivilegedUser,
                         testing::Values(UserCase {"TrashLockedFileAfterUnlock"}, UserCase {"RelockWhenNoTrash"},
                                         UserCase {"DeleteLockedFolderAfterUnlock"}, UserCase {"SkipLockedFileInFolder"},
                                         UserCase {"ApplyToAllSkip"}, UserCase {"StopIsRemembered"},
                                         UserCase {"CopyIntoUnwritableFolder"}, UserCase {"UnreadableFileLeftOut"},
                                         UserCase {"CreateFolderInUnwritableParent"},
                                         UserCase {"FailedDeleteStopsItsRun"}),
                         [](const auto& info) { return std::string(info.param.child); });

// The user's own folder inside the shared scratch folder, with the Trash under it.
class OperationsAsUser : public testing::Test {
protected:
    void SetUp() override
    {
        const char* shared = std::getenv(FolderVariable);
        if (!shared)
            GTEST_SKIP() << "started by AsUnprivilegedUser only";
        ASSERT_NE(::geteuid(), 0u);
        scratch = shared;
        mine = scratch + "/mine";
        ASSERT_EQ(::mkdir(mine.c_str(), 0755), 0);
        ::mkdir((scratch + "/data").c_str(), 0755);
        ::setenv("XDG_DATA_HOME", (scratch + "/data").c_str(), 1);
    }
    std::string scratch;
    std::string mine;
};

TEST_F(OperationsAsUser, DISABLED_TrashLockedFileAfterUnlock)
{
    writeFile(mine + "/x.jpg", "x", 0444);
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Unlock")}));
    const auto records = runToEnd([&] { return FileOperation::moveToTrash({mine + "/x.jpg"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(test::alertMessages(), std::vector<std::string> {locked("x.jpg")});
    EXPECT_FALSE(namesIn(mine).count("x.jpg"));
    EXPECT_TRUE(namesIn(scratch + "/data/Trash/files").count("x.jpg"));
}

TEST_F(OperationsAsUser, DISABLED_RelockWhenNoTrash)
{
    // The home Trash's folder cannot be made: the user cannot write where it would go.
    ::chmod((scratch + "/data").c_str(), 0555);
    writeFile(mine + "/x.jpg", "x", 0444);
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Unlock")}));
    const auto records = runToEnd([&] { return FileOperation::moveToTrash({mine + "/x.jpg"}); });
    ::chmod((scratch + "/data").c_str(), 0755);
    EXPECT_EQ(fileOperationStage(records->last()), kFSOperationStageCancelled);
    EXPECT_NE(fileOperationError(records->last()), 0);
    EXPECT_EQ(test::alertMessages().size(), 2u); // the question, then the failure
    EXPECT_TRUE(namesIn(mine).count("x.jpg"));
    EXPECT_EQ(modeOf(mine + "/x.jpg") & 0222, 0u);
}

TEST_F(OperationsAsUser, DISABLED_DeleteLockedFolderAfterUnlock)
{
    ::mkdir((mine + "/album").c_str(), 0755);
    writeFile(mine + "/album/a.jpg", "a");
    writeFile(mine + "/album/b.jpg", "b");
    ::chmod((mine + "/album").c_str(), 0555);
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Unlock")}));
    const auto records = runToEnd([&] { return FileOperation::deleteObjects({mine + "/album"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(test::alertMessages(), std::vector<std::string> {locked("album")});
    EXPECT_TRUE(namesIn(mine).empty());
}

TEST_F(OperationsAsUser, DISABLED_SkipLockedFileInFolder)
{
    writeFile(mine + "/a.jpg", "a");
    writeFile(mine + "/b.jpg", "b");
    ::mkdir((mine + "/dir").c_str(), 0755);
    writeFile(mine + "/dir/locked.jpg", "l", 0444);
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Skip")}));
    const auto records =
        runToEnd([&] { return FileOperation::deleteObjects({mine + "/a.jpg", mine + "/b.jpg", mine + "/dir"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(fileOperationError(records->last()), 0);
    EXPECT_EQ(test::alertMessages(), std::vector<std::string> {locked("locked.jpg")});
    EXPECT_EQ(namesIn(mine), std::set<std::string> {"dir"});
    EXPECT_EQ(namesIn(mine + "/dir"), std::set<std::string> {"locked.jpg"});
}

TEST_F(OperationsAsUser, DISABLED_ApplyToAllSkip)
{
    writeFile(mine + "/x.jpg", "x", 0444);
    writeFile(mine + "/y.jpg", "y", 0444);
    writeFile(mine + "/z.jpg", "z");
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Skip", 1)}));
    const auto records =
        runToEnd([&] { return FileOperation::deleteObjects({mine + "/x.jpg", mine + "/y.jpg", mine + "/z.jpg"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(test::alertMessages(), std::vector<std::string> {locked("x.jpg")});
    EXPECT_EQ(namesIn(mine), (std::set<std::string> {"x.jpg", "y.jpg"}));
}

TEST_F(OperationsAsUser, DISABLED_StopIsRemembered)
{
    writeFile(mine + "/x.jpg", "x", 0444);
    writeFile(mine + "/y.jpg", "y", 0444);
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Stop")}));
    const auto records = runToEnd([&] { return FileOperation::moveToTrash({mine + "/x.jpg", mine + "/y.jpg"}); });
    EXPECT_EQ(fileOperationStage(records->last()), kFSOperationStageCancelled);
    EXPECT_EQ(fileOperationError(records->last()), 0);
    EXPECT_EQ(test::alertMessages(), std::vector<std::string> {locked("x.jpg")});
    EXPECT_EQ(namesIn(mine), (std::set<std::string> {"x.jpg", "y.jpg"}));
}

TEST_F(OperationsAsUser, DISABLED_CopyIntoUnwritableFolder)
{
    writeFile(mine + "/a.jpg", "a");
    test::ScopedResponder responder(test::scriptedAnswers({}));
    const auto records = runToEnd(
        [&] { return FileOperation::copyObjects({mine + "/a.jpg"}, scratch + "/root's", 2, 0.1, Value::dictionary()); });
    EXPECT_EQ(fileOperationStage(records->last()), kFSOperationStageCancelled);
    const auto asked = test::alertMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "The item \"" + mine + "/a.jpg\" could not be copied because you do not have sufficient access "
                                                "privileges.");
}

TEST_F(OperationsAsUser, DISABLED_UnreadableFileLeftOut)
{
    ::mkdir((mine + "/tree").c_str(), 0755);
    ::mkdir((mine + "/dst").c_str(), 0755);
    writeFile(mine + "/tree/r.jpg", "r");
    writeFile(mine + "/tree/secret.jpg", "s", 0000);
    test::ScopedResponder responder(test::scriptedAnswers({}));
    const auto records = runToEnd(
        [&] { return FileOperation::copyObjects({mine + "/tree"}, mine + "/dst", 2, 0.1, Value::dictionary()); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_TRUE(test::alertMessages().empty());
    EXPECT_EQ(namesIn(mine + "/dst/tree"), std::set<std::string> {"r.jpg"});
}

TEST_F(OperationsAsUser, DISABLED_FailedDeleteStopsItsRun)
{
    // Three items that need no question, so one worker takes them as one run; the middle one
    // cannot be removed.
    writeFile(mine + "/a.jpg", "a");
    writeFile(mine + "/z.jpg", "z");
    test::ScopedResponder responder(test::scriptedAnswers({}));
    const Ref<FileOperation> operation
        = FileOperation::deleteObjects({mine + "/a.jpg", scratch + "/root's/root.jpg", mine + "/z.jpg"});
    test::RecordObserver records(operation);
    ASSERT_TRUE(records.waitForEnd());
    // The worker holds the operation until its run has ended: anything it deleted after the
    // failure is gone once it lets go.
    ASSERT_TRUE(test::spinUntil([&] { return operation->retainCount() == 2; })) << operation->retainCount();

    EXPECT_EQ(fileOperationStage(records.last()), kFSOperationStageCancelled);
    EXPECT_EQ(fileOperationError(records.last()), status::AccessDenied);
    EXPECT_EQ(test::alertMessages().size(), 1u); // the failure's alert
    EXPECT_EQ(namesIn(mine), std::set<std::string> {"z.jpg"});
    EXPECT_EQ(namesIn(scratch + "/root's"), std::set<std::string> {"root.jpg"});
}

TEST_F(OperationsAsUser, DISABLED_CreateFolderInUnwritableParent)
{
    test::ScopedResponder responder(test::scriptedAnswers({}));
    EXPECT_EQ(FileOperation::createFolder(scratch + "/root's/new"), status::AccessDenied);
    const auto asked = test::alertMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("could not be created because you do not have sufficient access privileges"),
              std::string::npos)
        << asked[0];
}

// --- a second volume --------------------------------------------------------------------------

class OnTmpfs : public testing::Test {
protected:
    void SetUp() override
    {
        if (!volume.mounted())
            VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs: " << std::strerror(volume.error);
    }
    test::ScopedTmpfs volume {0, "8m"};
    test::ScratchFolder scratch;
    test::ScopedResponder responder {test::scriptedAnswers({})};
};

TEST_F(OnTmpfs, MovedTreeLeavesTheSourceOnlyOnceWhole)
{
    ::mkdir((scratch / "tree").c_str(), 0755);
    for (int i = 0; i < 4; ++i)
        writeFile(scratch / ("tree/" + std::to_string(i) + ".jpg"), std::string(300000, char('a' + i)));
    std::atomic<bool> sourceGoneEarly {false};
    std::atomic<int> chunks {0};
    ScopedFSFileOperationChunkHook hook([&](FSFileOperation&, std::uint64_t) {
        ++chunks;
        if (::access((scratch / "tree/3.jpg").c_str(), F_OK) != 0)
            sourceGoneEarly = true;
    });
    const auto records = runToEnd(
        [&] { return FileOperation::moveObjects({scratch / "tree"}, volume.path(), 2, 0.1, Value::dictionary()); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_GT(chunks.load(), 0);
    EXPECT_FALSE(sourceGoneEarly.load());
    EXPECT_TRUE(namesIn(scratch.path()).empty());
    EXPECT_EQ(readFile(volume.path() + "/tree/3.jpg"), std::string(300000, 'd'));
}

TEST_F(OnTmpfs, TrashedFileLandsInTheVolumesTrash)
{
    writeFile(volume.path() + "/a.jpg", "a");
    const auto records = runToEnd([&] { return FileOperation::moveToTrash({volume.path() + "/a.jpg"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    const std::string trash = volume.path() + "/.Trash-" + std::to_string(::getuid());
    EXPECT_EQ(readFile(trash + "/files/a.jpg"), "a");
    EXPECT_FALSE(namesIn(volume.path()).count("a.jpg"));
}

TEST_F(OnTmpfs, LongNameIsTrashedWhole)
{
    const std::string name = std::string(246, 'n') + ".jpg"; // 250 bytes
    writeFile(volume.path() + "/" + name, "long");
    const auto records = runToEnd([&] { return FileOperation::moveToTrash({volume.path() + "/" + name}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_TRUE(Alert::answeredAlerts().empty());
    const std::string trash = volume.path() + "/.Trash-" + std::to_string(::getuid());
    const auto infos = namesIn(trash + "/info");
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_NE(readFile(trash + "/info/" + *infos.begin()).find("Path=" + name + "\n"), std::string::npos);
    EXPECT_FALSE(namesIn(volume.path()).count(name));
}

// --- links ------------------------------------------------------------------------------------------

TEST(FileOperationLinks, DeletedFolderLeavesTheTargetsOfItsLinks)
{
    test::ScratchFolder scratch;
    writeFile(scratch / "outside.jpg", "keep");
    ::mkdir((scratch / "outside").c_str(), 0755);
    writeFile(scratch / "outside/inner.jpg", "keep too");
    ::mkdir((scratch / "dir").c_str(), 0755);
    ASSERT_EQ(::symlink((scratch / "outside.jpg").c_str(), (scratch / "dir/file link").c_str()), 0);
    ASSERT_EQ(::symlink((scratch / "outside").c_str(), (scratch / "dir/folder link").c_str()), 0);
    test::ScopedResponder responder(test::scriptedAnswers({}));
    const auto records = runToEnd([&] { return FileOperation::deleteObjects({scratch / "dir"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_FALSE(namesIn(scratch.path()).count("dir"));
    EXPECT_EQ(readFile(scratch / "outside.jpg"), "keep");
    EXPECT_EQ(readFile(scratch / "outside/inner.jpg"), "keep too");
}

// --- a camera -------------------------------------------------------------------------------------

class CameraOperations : public testing::Test {
protected:
    void SetUp() override
    {
        ::mkdir((card / "DCIM").c_str(), 0755);
        ::mkdir((card / "DCIM/100MEDIA").c_str(), 0755);
        writeFile(card / "DCIM/100MEDIA/IMG_0001.JPG", std::string(5000, 'p'));
        writeFile(card / "DCIM/100MEDIA/IMG_0002.JPG", std::string(10, 'q'));
        camera = registry.manager->handleDeviceAdded("Directory Browse", "disk:" + card.path());
        ASSERT_TRUE(camera) << "the Directory Browse driver did not open " << card.path();
        root = camera->mountPoint();
    }

    test::TemporaryFolder card {"vistel-camera"};
    test::ScratchFolder scratch;
    test::CameraRegistry registry;
    Ref<ZovImageCaptureDeviceInfo> camera;
    std::string root;
};

TEST_F(CameraOperations, CopyAndDeleteACameraFileRenameIsRefused)
{
    test::ScopedResponder responder(test::scriptedAnswers({}));
    auto records = runToEnd(
        [&] { return FileOperation::copyObjects({root + "/IMG_0001.JPG"}, scratch.path(), 2, 0.1, Value::dictionary()); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(readFile(scratch / "IMG_0001.JPG"), std::string(5000, 'p'));

    records = runToEnd([&] { return FileOperation::deleteObjects({root + "/IMG_0002.JPG"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_FALSE(FileSystemFunctions::fileExistsAtPath(root + "/IMG_0002.JPG"));
    EXPECT_FALSE(namesIn(card / "DCIM/100MEDIA").count("IMG_0002.JPG"));

    // The engine refuses to rename on a camera: reported once, skipped, the batch ends done.
    records = runToEnd([&] { return FileOperation::rename(root + "/IMG_0001.JPG", "other.jpg"); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(test::alertMessages().size(), 1u);
    EXPECT_TRUE(FileSystemFunctions::fileExistsAtPath(root + "/IMG_0001.JPG"));
}

TEST_F(CameraOperations, RefusedTrashOfACameraFileLetsTheRestGoOn)
{
    const char* previous = std::getenv("XDG_DATA_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    ::mkdir((scratch / "data").c_str(), 0700);
    writeFile(scratch / "a.jpg", "a");
    test::ScopedResponder responder(test::scriptedAnswers({}));
    const auto records = runToEnd([&] { return FileOperation::moveToTrash({root + "/IMG_0001.JPG", scratch / "a.jpg"}); });
    EXPECT_EQ(fileOperationStage(records->last()), 3u);
    EXPECT_EQ(fileOperationObjectsComplete(records->last()), 2);
    EXPECT_EQ(test::alertMessages().size(), 1u);
    EXPECT_TRUE(FileSystemFunctions::fileExistsAtPath(root + "/IMG_0001.JPG"));
    EXPECT_EQ(readFile(scratch / "data/Trash/files/a.jpg"), "a");
    if (previous)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace vistel
