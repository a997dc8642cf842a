// Cancelling file operations mid-copy, while measuring or collecting, and mid-delete; and a
// replacement that fills the disk. Each ends with one final record and leaves no partial item.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "../Common/FileSystem/FileSystemFixtures.h"
#include "OperationsTestSupport.h"
#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/FilePaths.h"
#include "Platform/RunLoop.h"

namespace vistel {
namespace {

using test::readFile;
using test::writeFile;

void postCancel(const Ref<FileOperation>& operation)
{
    NotificationCenter::defaultCenter().postNotificationName(kFSOperationCancelNotification, operation);
}

void expectCancelledByUser(const test::RecordObserver& records)
{
    EXPECT_EQ(records.finalCount(), 1);
    EXPECT_EQ(fileOperationStage(records.last()), kFSOperationStageCancelled);
    EXPECT_EQ(fileOperationError(records.last()), 0);
    EXPECT_TRUE(Alert::answeredAlerts().empty());
}

TEST(FileOperationCancel, MidCopyLeavesNoPartialItem)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "dst").c_str(), 0755);
    const std::string contents(4 << 20, 'x');
    writeFile(scratch / "big.jpg", contents);
    writeFile(scratch / "later.jpg", "later");
    test::ScopedResponder responder(test::scriptedAnswers({}));

    Ref<FileOperation> operation;
    std::atomic<bool> asked {false};
    // On the first chunk the worker asks the main thread to cancel and waits until the engine
    // saw it, so the cancel lands mid-copy.
    ScopedFSFileOperationChunkHook hook([&](FSFileOperation& engine, std::uint64_t) {
        if (asked.exchange(true))
            return;
        RunLoop::main()->perform([&] { postCancel(operation); }, {NSDefaultRunLoopMode});
        for (int i = 0; i < 30000 && !engine.isCancelled(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    operation = FileOperation::copyObjects({scratch / "big.jpg", scratch / "later.jpg"}, scratch / "dst", 2, 0.1,
                                           Value::dictionary());
    test::RecordObserver records(operation);
    ASSERT_TRUE(records.waitForEnd());

    expectCancelledByUser(records);
    EXPECT_TRUE(asked.load());
    EXPECT_TRUE(test::namesIn(scratch / "dst").empty());
    EXPECT_EQ(readFile(scratch / "big.jpg"), contents);
}

struct EarlyCancelCase {
    const char* name;
    bool deleting;
};

class CancelBeforeWork : public testing::TestWithParam<EarlyCancelCase> { };

// A cancel that arrives before the measuring or collecting worker has handed back its list.
TEST_P(CancelBeforeWork, StartsAndDeletesNothing)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "dst").c_str(), 0755);
    ::mkdir((scratch / "tree").c_str(), 0755);
    for (int i = 0; i < 50; ++i)
        writeFile(scratch / ("tree/" + std::to_string(i) + ".jpg"), "data");
    test::ScopedResponder responder(test::scriptedAnswers({}));

    const Ref<FileOperation> operation =
        GetParam().deleting ? FileOperation::deleteObjects({scratch / "tree"})
                            : FileOperation::copyObjects({scratch / "tree"}, scratch / "dst", 2, 0.1, Value::dictionary());
    test::RecordObserver records(operation);
    postCancel(operation);
    ASSERT_TRUE(records.waitForEnd());

    expectCancelledByUser(records);
    EXPECT_EQ(records.records.size(), 2u); // stage 1, then the final stage 4
    EXPECT_EQ(test::namesIn(scratch / "tree").size(), 50u);
    EXPECT_TRUE(test::namesIn(scratch / "dst").empty());
}

INSTANTIATE_TEST_SUITE_P(Operations, CancelBeforeWork,
                         testing::Values(EarlyCancelCase {"WhileMeasuring", false}, EarlyCancelCase {"WhileCollecting", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileOperationCancel, MidDeleteDeletesNothingMore)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "tree").c_str(), 0755);
    constexpr int Files = 300;
    for (int i = 0; i < Files; ++i)
        writeFile(scratch / ("tree/" + std::to_string(i) + ".jpg"), "data");
    test::ScopedResponder responder(test::scriptedAnswers({}));

    const Ref<FileOperation> operation = FileOperation::deleteObjects({scratch / "tree"});
    test::RecordObserver records(operation);
    // Cancel on the first item's record, while the deletions go on.
    NotificationCenter::defaultCenter().addObserver(
        &records,
        [&](const Notification& notification) {
            if (fileOperationStage(notification.userInfo) == kFSOperationStageRunning)
                postCancel(operation);
        },
        kFSOperationStatusNotification, operation.get());
    ASSERT_TRUE(records.waitForEnd());

    expectCancelledByUser(records);
    // Every deleted item was reported, and nothing was deleted after the final record.
    const std::size_t left = test::namesIn(scratch / "tree").size();
    EXPECT_GT(left, 0u);
    EXPECT_EQ(std::size_t(Files) - left, std::size_t(fileOperationObjectsComplete(records.last())));
    test::spinEvents(100);
    EXPECT_EQ(test::namesIn(scratch / "tree").size(), left);
}

TEST(FileOperationDiskFull, ReplacementThatDoesNotFitKeepsBothFiles)
{
    test::ScopedTmpfs volume(0, "1m");
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs: " << std::strerror(volume.error);
    test::ScratchFolder scratch;
    const std::string oldContents(100 << 10, 'o');
    const std::string newContents(2 << 20, 'n');
    writeFile(volume.path() + "/photo.jpg", oldContents);
    writeFile(scratch / "photo.jpg", newContents);
    test::ScopedResponder responder(test::scriptedAnswers({AlertResponse::pressTitled("Replace")}));

    const Ref<FileOperation> operation =
        FileOperation::copyObjects({scratch / "photo.jpg"}, volume.path(), 2, 0.1, Value::dictionary());
    test::RecordObserver records(operation);
    ASSERT_TRUE(records.waitForEnd());

    EXPECT_EQ(records.finalCount(), 1);
    EXPECT_EQ(fileOperationStage(records.last()), kFSOperationStageCancelled);
    EXPECT_EQ(fileOperationError(records.last()), status::DiskFull);
    const auto asked = test::alertMessages();
    ASSERT_EQ(asked.size(), 2u); // the question, then the disk-space alert
    EXPECT_NE(asked[1].find("There is not enough disk space"), std::string::npos) << asked[1];
    EXPECT_EQ(readFile(volume.path() + "/photo.jpg"), oldContents);
    EXPECT_EQ(readFile(scratch / "photo.jpg"), newContents);
    EXPECT_EQ(test::namesIn(volume.path()), (std::set<std::string> {"photo.jpg"}));
}

} // namespace
} // namespace vistel
