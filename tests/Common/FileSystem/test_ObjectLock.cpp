#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <string>

#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/FileManagerLock.h"
#include "Common/FileSystem/ObjectLock.h"
#include "FileSystemFixtures.h"
#include "TestSupport.h"

namespace vistel {
namespace {

using test::ScratchFolder;
namespace FM = NSFileManagerLeopardCompatibility;

constexpr const char* LockTableFolderVariable = "VISTEL_LOCK_TABLE_DIR";

// A fake sysfs tree in which the block device holding `path` (and the disk above it, when it
// is a partition) reads as read-only or not.
void writeSysfs(const std::string& root, const std::string& path, bool deviceReadOnly, bool diskReadOnly)
{
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const std::string device = root + "/dev/block/" + std::to_string(major(st.st_dev)) + ":"
        + std::to_string(minor(st.st_dev));
    std::filesystem::create_directories(device);
    test::writeFile(device + "/ro", deviceReadOnly ? "1\n" : "0\n");
    if (diskReadOnly) {
        test::writeFile(device + "/partition", "1\n");
        test::writeFile(root + "/dev/block/ro", "1\n");
    }
}

struct LockRow {
    const char* name;
    mode_t mode;
    bool deviceReadOnly;
    bool diskReadOnly;
    bool mountedReadOnly;
    StatusCode expected;
};

constexpr LockRow LockTable[] = {
    {"writable", 0644, false, false, false, status::NoError},
    {"a-w", 0444, false, false, false, status::ObjectLocked},
    {"owner cannot write, others can", 0466, false, false, false, status::ObjectLocked},
    {"read-only device", 0644, true, false, false, status::VolumeLockedByHardware},
    {"read-only disk of a partition", 0644, false, true, false, status::VolumeLockedByHardware},
    {"read-only mount", 0644, false, false, true, status::VolumeLockedBySoftware},
    {"read-only device, mounted read-only", 0644, true, false, true, status::VolumeLockedByHardware},
    {"locked file on a read-only mount", 0444, false, false, true, status::ObjectLocked},
};

// Runs the lock table in `folder` as whoever the process is; the files are made by this
// process, so the caller owns them.
void runLockTable(const std::string& folder)
{
    for (const LockRow& row : LockTable) {
        SCOPED_TRACE(row.name);
        const std::string file = folder + "/" + row.name;
        test::writeFile(file, "x", row.mode);
        const std::string sysfs = folder + "/sysfs-" + row.name;
        writeSysfs(sysfs, file, row.deviceReadOnly, row.diskReadOnly);
        VolumeLockSources sources;
        sources.sysfsRoot = sysfs;
        sources.mountReadOnly = [&row](const std::string&, dev_t, bool& readOnly) {
            readOnly = row.mountedReadOnly;
            return status::NoError;
        };
        ScopedVolumeLockSources seam(sources);

        FSRef ref;
        ASSERT_EQ(makeFSRef(file, ref), status::NoError);
        EXPECT_EQ(CheckObjectLocked(ref), row.expected);
        StatusCode error = 1;
        EXPECT_EQ(FM::isPathLockedExt(file, error), row.expected != status::NoError);
        EXPECT_EQ(error, row.expected);
    }
}

// Locking clears every write bit, unlocking gives the owner write permission back.
void runLockRoundTrip(const std::string& folder)
{
    const std::string file = folder + "/round trip";
    test::writeFile(file, "x", 0666);
    StatusCode error = 1;
    ASSERT_TRUE(FM::lockFileAtPath(file, &error));
    EXPECT_EQ(error, status::NoError);
    EXPECT_EQ(test::modeOf(file), 0444u);
    EXPECT_TRUE(FM::isPathLockedExt(file, error));
    EXPECT_EQ(error, status::ObjectLocked);

    ASSERT_TRUE(FM::unlockFileAtPath(file, &error));
    EXPECT_EQ(error, status::NoError);
    EXPECT_EQ(test::modeOf(file), 0644u);
    EXPECT_FALSE(FM::isPathLockedExt(file, error));
    EXPECT_EQ(error, status::NoError);
}

TEST(ObjectLock, LockTable)
{
    ScratchFolder folder;
    runLockTable(folder.path());
}

TEST(ObjectLock, LockAndUnlockRoundTrip)
{
    ScratchFolder folder;
    runLockRoundTrip(folder.path());
}

TEST(ObjectLock, LockedFolder)
{
    ScratchFolder folder;
    const std::string sub = folder / "sub";
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    ASSERT_TRUE(FM::lockFileAtPath(sub));
    EXPECT_EQ(test::modeOf(sub), 0555u);
    StatusCode error = 0;
    EXPECT_TRUE(FM::isPathLockedExt(sub, error));
    EXPECT_EQ(error, status::ObjectLocked);
}

TEST(ObjectLock, MissingPathIsNotLocked)
{
    ScratchFolder folder;
    StatusCode error = 0;
    EXPECT_FALSE(FM::isPathLockedExt(folder / "gone", error));
    EXPECT_EQ(error, status::NoSuchObject);
    EXPECT_FALSE(FM::isPathLockedExt(folder / "gone/deeper", error));

    EXPECT_FALSE(FM::unlockFileAtPath(folder / "gone", &error));
    EXPECT_EQ(error, status::NoSuchObject);
    EXPECT_FALSE(FM::lockFileAtPath(folder / "gone"));
}

TEST(ObjectLock, ReferenceToReplacedObjectIsNotActedOn)
{
    ScratchFolder folder;
    const std::string file = folder / "file";
    test::writeFile(file, "old", 0644);
    FSRef ref;
    ASSERT_EQ(makeFSRef(file, ref), status::NoError);
    // The replacement exists before the old file goes, so it cannot reuse the old inode.
    test::writeFile(folder / "new", "new", 0644);
    ASSERT_EQ(::rename((folder / "new").c_str(), file.c_str()), 0);

    EXPECT_EQ(CheckObjectLocked(ref), status::NoSuchObject);
    EXPECT_EQ(SetObjectLocked(ref, true), status::NoSuchObject);
    EXPECT_EQ(test::modeOf(file), 0644u);
}

TEST(ObjectLock, ImmutableFileIsLockedAndUnlockRemovesTheAttribute)
{
    ScratchFolder folder;
    const std::string file = folder / "immutable";
    test::writeFile(file, "x", 0644);
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0
        && (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    const int setError = errno;
    ::close(fd);
    if (!set)
        VISTEL_SKIP_UNAVAILABLE() << "cannot set the immutable attribute here: " << std::strerror(setError);

    StatusCode error = 0;
    EXPECT_TRUE(FM::isPathLockedExt(file, error));
    EXPECT_EQ(error, status::ObjectLocked);
    ASSERT_TRUE(FM::unlockFileAtPath(file, &error)) << error;
    EXPECT_FALSE(FM::isPathLockedExt(file, error));
    EXPECT_TRUE(std::ofstream(file, std::ios::app) << "more");
}

TEST(ObjectLock, ReadOnlyMountIsLockedBySoftware)
{
    test::ScopedTmpfs volume;
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here: " << std::strerror(volume.error);
    const std::string file = volume.path() + "/file";
    test::writeFile(file, "x", 0644);
    ASSERT_EQ(::mount(nullptr, volume.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);

    StatusCode error = 0;
    EXPECT_TRUE(FM::isPathLockedExt(file, error));
    EXPECT_EQ(error, status::VolumeLockedBySoftware);
    EXPECT_FALSE(FM::lockFileAtPath(file, &error));
    EXPECT_EQ(error, status::VolumeLockedBySoftware);
}

// The table again, as an unprivileged user: root ignores permissions, a user does not.
TEST(ObjectLock, LockTableAsUnprivilegedUser)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    ScratchFolder folder(0777);
    // Owned by root: the user can neither unlock nor lock it.
    test::writeFile(folder / "root's locked file", "x", 0444);
    std::string log;
    EXPECT_TRUE(test::runAsNobody("UnprivilegedLockTable.*", LockTableFolderVariable, folder.path(),
                                  folder / "output.txt", log))
        << log;
}

// Runs only in the child that LockTableAsUnprivilegedUser starts (hence disabled).
TEST(UnprivilegedLockTable, DISABLED_AsUser)
{
    const char* folder = std::getenv(LockTableFolderVariable);
    if (!folder)
        GTEST_SKIP() << "started by ObjectLock.LockTableAsUnprivilegedUser only";
    ASSERT_NE(::geteuid(), 0u);

    const std::string mine = std::string(folder) + "/mine";
    ASSERT_EQ(::mkdir(mine.c_str(), 0755), 0) << std::strerror(errno);
    runLockTable(mine);
    runLockRoundTrip(mine);

    const std::string theirs = std::string(folder) + "/root's locked file";
    StatusCode error = 0;
    EXPECT_TRUE(FM::isPathLockedExt(theirs, error));
    EXPECT_EQ(error, status::ObjectLocked);
    EXPECT_FALSE(FM::unlockFileAtPath(theirs, &error));
    EXPECT_EQ(error, status::AccessDenied);
    EXPECT_EQ(test::modeOf(theirs), 0444u);
}

} // namespace
} // namespace vistel
