// Folder sizes and unlocking, folder creation and removal, attributes of any path, and the
// stack-trace diagnostic.

#include <gtest/gtest.h>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/FileSystem/NSFileManagerCreation.h"
#include "Common/FileSystem/NSFileManagerLeopardCompatibility.h"
#include "Common/FileSystem/NSObjectZovExceptionAddition.h"
#include "Common/FileSystem/NSWorkspaceFolderCalculations.h"
#include "FileSystemFixtures.h"
#include "Platform/Log.h"

namespace vistel {
namespace {

namespace FM = NSFileManagerLeopardCompatibility;

TEST(NSWorkspaceFolderCalculations, CountsBytesAndItemsWithoutFollowingLinks)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "outside").c_str(), 0755);
    test::writeFile(scratch / "outside/big.jpg", std::string(1000, 'b'));
    ::mkdir((scratch / "A").c_str(), 0755);
    test::writeFile(scratch / "A/ten", std::string(10, 'x'));
    test::writeFile(scratch / "A/twenty", std::string(20, 'x'));
    ::mkdir((scratch / "A/empty").c_str(), 0755);
    FSRef ref;
    ASSERT_EQ(makeFSRef(scratch / "A", ref), 0);
    std::uint64_t items = 0;
    EXPECT_EQ(NSWorkspaceCalculations::folderSizeForFSRef(ref, &items), 30u);
    EXPECT_EQ(items, 3u);

    ::symlink("../outside", (scratch / "A/link").c_str());
    EXPECT_EQ(NSWorkspaceCalculations::folderSizeForFSRef(ref, &items), 30u);
    EXPECT_EQ(items, 4u);

    FSRef gone = ref;
    gone.path = scratch / "outside";
    EXPECT_EQ(NSWorkspaceCalculations::folderSizeForFSRef(gone, &items), 0u) << "stale reference";
    EXPECT_EQ(items, 0u);
}

TEST(NSWorkspaceFolderCalculations, UnlocksInsideAndFolderButNotThroughLinks)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "outside").c_str(), 0755);
    test::writeFile(scratch / "outside/keep.jpg", "x", 0444);
    ::mkdir((scratch / "A").c_str(), 0755);
    ::mkdir((scratch / "A/B").c_str(), 0755);
    test::writeFile(scratch / "A/B/photo.jpg", "x", 0444);
    ::symlink("../outside/keep.jpg", (scratch / "A/link").c_str());
    ::chmod((scratch / "A/B").c_str(), 0555);
    ::chmod((scratch / "A").c_str(), 0555);

    NSWorkspaceCalculations::unlockFolderContent(scratch / "A");
    for (const char* unlocked : {"A", "A/B", "A/B/photo.jpg"})
        EXPECT_TRUE(test::modeOf(scratch / unlocked) & S_IWUSR) << unlocked;
    EXPECT_FALSE(test::modeOf(scratch / "outside/keep.jpg") & S_IWUSR);
    NSWorkspaceCalculations::unlockFolderContent(scratch / "missing"); // nothing to do, no failure
}

TEST(NSFileManagerCreation, CreatesFoldersAndIntermediates)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "file", "x");
    const Value mode = Value::dictionary({{"NSFilePosixPermissions", Value(0750)}});
    StatusCode error = 1;

    EXPECT_FALSE(NSFileManagerCreation::createDicrectoryRecursive(scratch / "file/sub", mode, &error));
    EXPECT_NE(error, 0);
    EXPECT_TRUE(NSFileManagerCreation::createDicrectoryRecursive(scratch / "a/b/c", mode, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(test::modeOf(scratch / "a/b/c") & 07777, 0750u);
    EXPECT_EQ(test::modeOf(scratch / "a") & 07777, 0750u);
    EXPECT_TRUE(NSFileManagerCreation::createDicrectoryRecursive(scratch / "a/b/c", Value(), &error));

    struct Case {
        const char* path;
        bool intermediates;
        bool expected;
    };
    for (const Case& c : {Case {"x/y", false, false}, Case {"x/y", true, true}, Case {"x/y", true, true},
                          Case {"x/y", false, false}, Case {"file", true, false}, Case {"z", false, true}}) {
        EXPECT_EQ(FM::createDirectoryAtPathExt(scratch / c.path, c.intermediates, Value(), &error), c.expected)
            << c.path << " " << c.intermediates;
        EXPECT_EQ(error == 0, c.expected);
    }
}

TEST(NSFileManagerLeopardCompatibility, RemovesTreesButNotLinkTargets)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "outside").c_str(), 0755);
    test::writeFile(scratch / "outside/keep.jpg", "keep");
    ::mkdir((scratch / "A").c_str(), 0755);
    ::mkdir((scratch / "A/B").c_str(), 0755);
    test::writeFile(scratch / "A/B/photo.jpg", "x");
    ::symlink("../outside", (scratch / "A/link").c_str());
    StatusCode error = 1;
    EXPECT_TRUE(FM::removeItemAtPathExt(scratch / "A", &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(::access((scratch / "A").c_str(), F_OK), -1);
    EXPECT_EQ(test::readFile(scratch / "outside/keep.jpg"), "keep");
    EXPECT_FALSE(FM::removeItemAtPathExt(scratch / "A", &error));
    EXPECT_EQ(error, status::NoSuchObject);
}

TEST(NSFileManagerLeopardCompatibility, AttributesOfVolumeCameraAndOtherPaths)
{
    test::ScratchFolder scratch;
    test::writeFile(scratch / "photo.jpg", "12");
    ::symlink("photo.jpg", (scratch / "link").c_str());
    CameraFileServices camera;
    camera.fileExists = [](const std::string& path) { return path == "ICA:/7/IMG.JPG"; };
    camera.fileAttributes = [](const std::string&) { return Value::dictionary({{"NSFileSize", Value(99)}}); };
    setCameraFileServices(camera);

    StatusCode error = 1;
    EXPECT_EQ(FM::attributesOfItemAtPathExt(scratch / "photo.jpg", &error)["NSFileSize"].toInt64(), 2);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(FM::attributesOfItemAtPathExt(scratch / "link")["NSFileType"].toString(), "NSFileTypeSymbolicLink");
    EXPECT_EQ(FM::attributesOfItemAtPathExt("ICA:/7/IMG.JPG")["NSFileSize"].toInt64(), 99);
    EXPECT_EQ(FM::attributesOfItemAtPathExt("photo.jpg", &error).size(), 0u);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(FM::attributesOfItemAtPathExt(scratch / "missing", &error).size(), 0u);
    EXPECT_EQ(error, status::NoSuchObject);
    setCameraFileServices({});
}

TEST(NSObjectZovExceptionAddition, LogsTheCapturedFrames)
{
    ScopedLogCapture log;
    try {
        ZOV_ASSERT(false, "Index out of range");
    } catch (const Exception& exception) {
        NSObjectZovExceptionAddition::printStackTrace(exception, "BrowsingSelection");
        EXPECT_EQ(log.lines().size(), exception.backtrace().size() + (exception.backtrace().empty() ? 3 : 2));
    }
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines().front(), "Exception Stack Trace Follows in BrowsingSelection");
    EXPECT_EQ(log.lines().back(), "...");

    ScopedLogCapture bare;
    NSObjectZovExceptionAddition::printStackTrace(Exception("Name", "reason"), "X");
    // An exception made by hand may or may not carry frames; either way the frame lines sit
    // between the heading and the closing line.
    EXPECT_GE(bare.lines().size(), 3u);
}

} // namespace
} // namespace vistel
