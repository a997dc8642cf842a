// The shell's trash, delete and new folder go through the launcher the program installs over
// the file operations, and each running operation answers the quit-time registry.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "../Common/Alert/AlertTestSupport.h"
#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Application/FileOperationLauncher.h"
#include "Platform/FilePaths.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

bool exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path) << bytes; }

std::size_t runningTasks()
{
    return ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().askForUserActionsList().size();
}

} // namespace

TEST(InstalledFileOperations, TrashDeleteAndNewFolderReachTheDisk)
{
    ASSERT_TRUE(privateFolders);
    installFileOperations();
    FileOperationLauncher* launcher = FileOperationLauncher::installed();
    ASSERT_NE(launcher, nullptr);
    test::TemporaryFolder scratch;

    EXPECT_EQ(launcher->createFolder(scratch / "made"), 0);
    EXPECT_TRUE(exists(scratch / "made"));

    writeFile(scratch / "trash me.jpg", "t");
    launcher->moveToTrash({scratch / "trash me.jpg"});
    // Registered from its start until its final record.
    EXPECT_EQ(runningTasks(), 1u);
    ASSERT_TRUE(test::spinUntil([&] { return !exists(scratch / "trash me.jpg") && runningTasks() == 0; }));
    const std::string trash = joinPath(std::getenv("XDG_DATA_HOME"), "Trash");
    EXPECT_TRUE(exists(joinPath(trash, "files/trash me.jpg")));
    EXPECT_TRUE(exists(joinPath(trash, "info/trash me.jpg.trashinfo")));

    writeFile(scratch / "made/inside.jpg", "i");
    writeFile(scratch / "gone.jpg", "g");
    launcher->deleteObjects({scratch / "made", scratch / "gone.jpg"});
    ASSERT_TRUE(test::spinUntil([&] { return !exists(scratch / "made") && !exists(scratch / "gone.jpg"); }));
    EXPECT_TRUE(test::spinUntil([&] { return runningTasks() == 0; }));
}
