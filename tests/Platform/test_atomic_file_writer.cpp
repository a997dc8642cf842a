// The one file writer: modes and owners kept, failures that leave the target alone, and the
// sweep of temporary files that killed writers left behind.

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>

#include "../Common/FileSystem/FileSystemFixtures.h"
#include "Platform/AtomicFileWriter.h"

using namespace vistel;

namespace {

std::set<std::string> temporaryNamesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const std::string& name : test::namesIn(folder))
        if (isAtomicWriteTemporaryName(name))
            names.insert(name);
    return names;
}

// What is at `path`, in words: its kind and its bytes or link target, so a test can tell that
// nothing changed.
std::string snapshot(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "nothing";
    if (S_ISLNK(info.st_mode)) {
        char target[PATH_MAX] = {};
        ::readlink(path.c_str(), target, sizeof target - 1);
        return std::string("link to ") + target;
    }
    if (S_ISDIR(info.st_mode)) {
        std::string names = "folder:";
        for (const std::string& name : test::namesIn(path))
            names += " " + name;
        return names;
    }
    if (S_ISFIFO(info.st_mode))
        return "fifo";
    return "file " + std::to_string(info.st_mode & 07777) + ": " + test::readFile(path);
}

} // namespace

TEST(AtomicFileWriter, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode)
{
    EXPECT_EQ(processUmask(), test::currentUmask());
    test::ScratchFolder scratch;
    for (const FileReplacement replacement : {FileReplacement::Rename, FileReplacement::Exchange}) {
        AtomicWriteOptions options;
        options.replacement = replacement;
        const std::string path = scratch / "picture.jpg";
        ::unlink(path.c_str());
        const AtomicWriteResult created = writeFileAtomically(path, "first", options);
        ASSERT_TRUE(created) << created.cause;
        EXPECT_EQ(test::modeOf(path), 0666 & ~processUmask());
        EXPECT_TRUE(isAtomicWriteTemporaryName(created.temporaryName)) << created.temporaryName;

        ASSERT_EQ(::chmod(path.c_str(), 02604), 0);
        const AtomicWriteResult replaced = writeFileAtomically(path, "second, longer", options);
        ASSERT_TRUE(replaced) << replaced.cause;
        EXPECT_EQ(test::readFile(path), "second, longer");
        EXPECT_EQ(test::modeOf(path), 02604u);
        ASSERT_TRUE(writeFileAtomically(path, ""));
        EXPECT_EQ(test::readFile(path), "");
        EXPECT_EQ(test::namesIn(scratch.path()), std::set<std::string> {"picture.jpg"});
    }
    AtomicWriteOptions privateFile;
    privateFile.newFileMode = 0600;
    ASSERT_TRUE(writeFileAtomically(scratch / "private.plist", "x", privateFile));
    EXPECT_EQ(test::modeOf(scratch / "private.plist"), 0600 & ~processUmask());
}

TEST(AtomicFileWriter, ReplacedFileKeepsItsOwnerWherePermitted)
{
    if (::geteuid() != 0)
        VISTEL_SKIP_UNAVAILABLE() << "needs root to give a file another owner";
    test::ScratchFolder scratch;
    test::writeFile(scratch / "shared.xml", "old", 0640);
    ASSERT_EQ(::chown((scratch / "shared.xml").c_str(), 65534, 65534), 0);
    ASSERT_TRUE(writeFileAtomically(scratch / "shared.xml", "new"));
    struct stat info {};
    ASSERT_EQ(::stat((scratch / "shared.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(AtomicFileWriter, ALinkIsWrittenThroughAndStays)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "real").c_str(), 0755);
    test::writeFile(scratch / "real/prefs.plist", "old", 0600);
    ASSERT_EQ(::symlink("real/prefs.plist", (scratch / "prefs.plist").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(scratch / "prefs.plist", "new"));
    EXPECT_EQ(snapshot(scratch / "prefs.plist"), "link to real/prefs.plist");
    EXPECT_EQ(test::readFile(scratch / "real/prefs.plist"), "new");
    EXPECT_EQ(test::modeOf(scratch / "real/prefs.plist"), 0600u);
    EXPECT_TRUE(temporaryNamesIn(scratch / "real").empty());
}

TEST(AtomicFileWriter, NamesUpToTheLimitFitWithTheirTemporaryFile)
{
    test::ScratchFolder scratch;
    const std::string longest = scratch / std::string(NAME_MAX, 'n');
    test::writeFile(longest, "old");
    const AtomicWriteResult result = writeFileAtomically(longest, "new");
    ASSERT_TRUE(result) << result.cause;
    EXPECT_EQ(test::readFile(longest), "new");
    EXPECT_LT(result.temporaryName.size(), 32u);
    const AtomicWriteResult tooLong = writeFileAtomically(longest + "x", "new");
    EXPECT_EQ(tooLong.error, ENAMETOOLONG) << tooLong.cause;
}

// Each failure leaves what was at the path as it was, leaves no temporary file, keeps errno
// for the caller and says what went wrong.
void expectRefused(const std::string& folder, const std::string& path, std::size_t bytes, int error,
                   const std::string& cause)
{
    const std::string before = snapshot(path);
    const std::set<std::string> namesBefore = test::namesIn(folder);
    errno = 0;
    const AtomicWriteResult result = writeFileAtomically(path, std::string(bytes, 'x'));
    EXPECT_EQ(errno, error) << path;
    EXPECT_EQ(result.error, error) << result.cause;
    EXPECT_NE(result.cause.find(cause), std::string::npos) << result.cause;
    EXPECT_NE(result.cause.find(path), std::string::npos) << result.cause;
    EXPECT_EQ(snapshot(path), before);
    EXPECT_EQ(test::namesIn(folder), namesBefore);
}

TEST(AtomicFileWriter, RefusalsLeaveTheTargetAndNoTemporaryFile)
{
    test::ScratchFolder scratch;
    struct Case {
        const char* name;
        std::string path;
        std::function<void(const std::string&)> setUp;
        int error;
        const char* cause;
    };
    const Case cases[] = {
        {"folder", scratch / "folder.jpg",
         [](const std::string& path) {
             ::mkdir(path.c_str(), 0755);
             test::writeFile(path + "/inside.jpg", "kept");
         },
         EISDIR, "it is a folder"},
        {"fifo", scratch / "fifo.jpg", [](const std::string& path) { ::mkfifo(path.c_str(), 0644); }, EINVAL, "it is a FIFO"},
        {"dangling", scratch / "dangling.jpg", [](const std::string& path) { ::symlink("missing/target.jpg", path.c_str()); }, ENOENT,
         "symbolic link to nothing"},
        {"no folder", scratch / "missing/picture.jpg", [](const std::string&) {}, ENOENT, "cannot open its folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setUp(c.path);
        expectRefused(scratch.path(), c.path, 10, c.error, c.cause);
    }

    {
        SCOPED_TRACE("mode change fails");
        test::writeFile(scratch / "old.jpg", "old");
        ScopedAtomicWriteChmodFailure failingMode(EIO);
        expectRefused(scratch.path(), scratch / "old.jpg", 10, EIO, "cannot set its mode");
    }
    {
        SCOPED_TRACE("file system without permissions");
        ScopedAtomicWriteChmodFailure vfat(EPERM); // what vfat answers; no such volume in CI
        ASSERT_TRUE(writeFileAtomically(scratch / "old.jpg", "new"));
        EXPECT_EQ(test::readFile(scratch / "old.jpg"), "new");
    }

    test::ScopedTmpfs small(0, "1m");
    if (!small.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here: " << std::strerror(small.error);
    SCOPED_TRACE("full disk");
    test::writeFile(small.path() + "/picture.jpg", "old");
    expectRefused(small.path(), small.path() + "/picture.jpg", 2u << 20, ENOSPC, "No space left on device");
}

constexpr const char* ReadOnlyFolderVariable = "VISTEL_WRITER_READ_ONLY_FOLDER";

TEST(AtomicFileWriter, ReadOnlyFolderRefusesAnUnprivilegedWriter)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    test::ScratchFolder folder(0755); // root's: others may look, not write
    test::writeFile(folder / "picture.jpg", "old", 0666);
    test::ScratchFolder output(0777);
    std::string log;
    EXPECT_TRUE(test::runAsNobody("UnprivilegedWriter.*", ReadOnlyFolderVariable, folder.path(), output / "log.txt", log))
        << log;
    EXPECT_EQ(test::readFile(folder / "picture.jpg"), "old");
}

TEST(UnprivilegedWriter, DISABLED_ReadOnlyFolder)
{
    const char* folder = std::getenv(ReadOnlyFolderVariable);
    ASSERT_NE(folder, nullptr);
    ASSERT_NE(::geteuid(), 0u);
    expectRefused(folder, std::string(folder) + "/picture.jpg", 10, EACCES, "Permission denied");
}

TEST(AtomicFileWriter, OnlyOldUnheldTemporaryFilesAreSwept)
{
    test::ScratchFolder scratch;
    const std::string killed = ".vistel-tmp-0123456789";
    const std::string fresh = ".vistel-tmp-abcdefghij";
    const std::string held = ".vistel-tmp-heldbyaliv";
    const std::string unrelated = ".vistel-tmp-notours.jpg";
    const std::string userFile = ".hidden-notes";
    for (const std::string& name : {killed, fresh, held, unrelated, userFile})
        test::writeFile(scratch / name, "leftover", 0400);
    for (const std::string& name : {killed, held, unrelated, userFile})
        test::makeOld(scratch / name);
    // A live writer holds its file's lock through its own open file.
    const int holder = ::open((scratch / held).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    ASSERT_TRUE(writeFileAtomically(scratch / "picture.jpg", "new"));
    EXPECT_EQ(test::namesIn(scratch.path()),
              (std::set<std::string> {fresh, held, unrelated, userFile, "picture.jpg"}));
    ::close(holder);
    ASSERT_TRUE(writeFileAtomically(scratch / "picture.jpg", "newer"));
    EXPECT_EQ(test::namesIn(scratch.path()), (std::set<std::string> {fresh, unrelated, userFile, "picture.jpg"}));
}
