#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Common/FileSystem/AliasRecord.h"
#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/MountTable.h"
#include "Common/FileSystem/NSStringFSRef.h"
#include "FileSystemFixtures.h"
#include "Platform/Exception.h"
#include "TestSupport.h"

namespace vistel {
namespace {

using test::ScratchFolder;

// ---- references ------------------------------------------------------------------------------

TEST(FileReferences, PathsAndReferences)
{
    ScratchFolder folder;
    test::writeFile(folder / "file", "x");
    FSRef ref;
    bool isDirectory = true;
    ASSERT_TRUE(NSStringFSRef::getFSRef(folder / "file", ref, &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(NSStringFSRef::stringWithFSRef(ref), folder / "file");
    ASSERT_TRUE(NSStringFSRef::getFSRef(folder.path(), ref, &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(NSStringFSRef::getFSRef(folder / "missing", ref));
    EXPECT_FALSE(NSStringFSRef::getFSRef("", ref));

    // A reference whose object went away has no path any more.
    ASSERT_TRUE(NSStringFSRef::getFSRef(folder / "file", ref));
    ASSERT_EQ(::unlink((folder / "file").c_str()), 0);
    EXPECT_EQ(NSStringFSRef::stringWithFSRef(ref), std::nullopt);
}

TEST(FileReferences, NullReferenceIsAProgrammingError)
{
    try {
        NSStringFSRef::stringWithFSRef(FSRef());
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "NSString(FSRef):stringWithFSRef - fsRef is NULL");
    }
}

// ---- alias files -----------------------------------------------------------------------------

TEST(AliasFiles, ResolveToTheFinalTarget)
{
    ScratchFolder folder;
    ASSERT_EQ(::mkdir((folder / "pictures").c_str(), 0755), 0);
    test::writeFile(folder / "pictures/photo.jpg", "x");
    ASSERT_EQ(::symlink("pictures/photo.jpg", (folder / "relative").c_str()), 0);
    ASSERT_EQ(::symlink((folder / "relative").c_str(), (folder / "chain").c_str()), 0);
    ASSERT_EQ(::symlink("pictures", (folder / "folder link").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (folder / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop b", (folder / "loop a").c_str()), 0);
    ASSERT_EQ(::symlink("loop a", (folder / "loop b").c_str()), 0);

    using NSStringFSRef::resolveAliasFile;
    EXPECT_EQ(resolveAliasFile(folder / "pictures/photo.jpg"), folder / "pictures/photo.jpg");
    EXPECT_EQ(resolveAliasFile(folder.path()), folder.path());
    EXPECT_EQ(resolveAliasFile(folder / "relative"), folder / "pictures/photo.jpg");
    EXPECT_EQ(resolveAliasFile(folder / "chain"), folder / "pictures/photo.jpg");
    EXPECT_EQ(resolveAliasFile(folder / "folder link"), folder / "pictures");
    EXPECT_EQ(resolveAliasFile(folder / "dangling"), std::nullopt);
    EXPECT_EQ(resolveAliasFile(folder / "loop a"), std::nullopt);
    EXPECT_EQ(resolveAliasFile(folder / "missing"), std::nullopt);
    EXPECT_EQ(resolveAliasFile(""), std::nullopt);
}

// ---- alias records ---------------------------------------------------------------------------

AliasRecord sampleRecord()
{
    AliasRecord record;
    record.path = "/media/card/DCIM/100/My Photo #1.JPG";
    record.volume = {"/media/card", "/dev/sdb1", "vfat", "1234-ABCD", 0x0811};
    record.pathOnVolume = "DCIM/100/My Photo #1.JPG";
    record.inode = 0x123456789ull;
    record.isDirectory = false;
    record.relativePath = "../DCIM/100/My Photo #1.JPG";
    return record;
}

TEST(AliasRecordBytes, RoundTrip)
{
    const AliasRecord record = sampleRecord();
    EXPECT_EQ(AliasRecord::fromBytes(record.toBytes()), record);
}

TEST(AliasRecordBytes, MalformedBlobsAreRefused)
{
    const std::vector<std::uint8_t> good = sampleRecord().toBytes();
    // Every cut that splits a field, and the bare header, is refused without reading past
    // the end (the sanitizer build checks the reads).
    for (std::size_t size = 0; size < good.size(); ++size) {
        const auto cut = AliasRecord::fromBytes(std::span(good.data(), size));
        if (cut) {
            EXPECT_EQ(cut->path, sampleRecord().path) << size; // only cuts between fields after the path parse
        }
    }
    EXPECT_EQ(AliasRecord::fromBytes(std::span(good.data(), 6)), std::nullopt);

    std::vector<std::uint8_t> bad = good;
    bad[0] = 'X';
    EXPECT_EQ(AliasRecord::fromBytes(bad), std::nullopt);
    bad = good;
    bad[4] = AliasRecord::CurrentVersion + 1;
    EXPECT_EQ(AliasRecord::fromBytes(bad), std::nullopt);
    bad = good;
    bad[4] = 0;
    EXPECT_EQ(AliasRecord::fromBytes(bad), std::nullopt);
    bad = good;
    bad[7] = 0xFF; // the path's length far beyond the blob
    bad[10] = 0x7F;
    EXPECT_EQ(AliasRecord::fromBytes(bad), std::nullopt);
}

TEST(AliasRecordBytes, FieldsOfLaterVersionsAreSkipped)
{
    std::vector<std::uint8_t> bytes = sampleRecord().toBytes();
    const std::uint8_t unknown[] = {200, 3, 0, 0, 0, 'a', 'b', 'c'};
    bytes.insert(bytes.end(), std::begin(unknown), std::end(unknown));
    EXPECT_EQ(AliasRecord::fromBytes(bytes), sampleRecord());
}

TEST(AliasRecords, MakeAndResolve)
{
    ScratchFolder folder;
    test::writeFile(folder / "photo.jpg", "x");
    AliasRecord alias;
    bool isDirectory = true;
    ASSERT_EQ(NewAliasFromPathCompat(std::nullopt, folder / "photo.jpg", 0, alias, &isDirectory), status::NoError);
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(alias.path, folder / "photo.jpg");
    EXPECT_FALSE(alias.volume.mountPoint.empty());
    EXPECT_TRUE(alias.relativePath.empty());

    const std::optional<AliasRecord> stored = AliasRecord::fromBytes(alias.toBytes());
    ASSERT_TRUE(stored);
    std::string path;
    bool changed = true;
    ASSERT_EQ(resolveAlias(*stored, std::nullopt, path, &changed), status::NoError);
    EXPECT_EQ(path, folder / "photo.jpg");
    EXPECT_FALSE(changed);

    // Replaced by another file of the same name: found by name.
    test::writeFile(folder / "new", "y");
    ASSERT_EQ(::rename((folder / "new").c_str(), (folder / "photo.jpg").c_str()), 0);
    ASSERT_EQ(resolveAlias(*stored, std::nullopt, path, &changed), status::NoError);
    EXPECT_EQ(path, folder / "photo.jpg");
    EXPECT_TRUE(changed);

    ASSERT_EQ(::unlink((folder / "photo.jpg").c_str()), 0);
    EXPECT_EQ(resolveAlias(*stored, std::nullopt, path, &changed), status::NoSuchObject);
}

TEST(AliasRecords, Errors)
{
    ScratchFolder folder;
    test::writeFile(folder / "photo.jpg", "x");
    AliasRecord alias;
    EXPECT_EQ(NewAliasFromPathCompat(std::nullopt, folder / "missing", 0, alias, nullptr), status::NoSuchObject);
    EXPECT_EQ(NewAliasFromPathCompat(std::nullopt, folder / "photo.jpg", 1, alias, nullptr), status::ParameterError);
    // A relative-to path that does not exist is left out.
    ASSERT_EQ(NewAliasFromPathCompat(folder / "missing", folder / "photo.jpg", 0, alias, nullptr), status::NoError);
    EXPECT_TRUE(alias.relativePath.empty());
}

TEST(AliasRecords, RelativeAliasFollowsAMovedFolder)
{
    ScratchFolder folder;
    ASSERT_EQ(::mkdir((folder / "album").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / "album/pictures").c_str(), 0755), 0);
    test::writeFile(folder / "album/index.xml", "");
    test::writeFile(folder / "album/pictures/photo.jpg", "x");
    AliasRecord alias;
    ASSERT_EQ(NewAliasFromPathCompat(folder / "album/index.xml", folder / "album/pictures/photo.jpg", 0, alias, nullptr),
              status::NoError);
    EXPECT_EQ(alias.relativePath, "pictures/photo.jpg");

    ASSERT_EQ(::rename((folder / "album").c_str(), (folder / "moved").c_str()), 0);
    std::string path;
    bool changed = false;
    ASSERT_EQ(resolveAlias(alias, folder / "moved/index.xml", path, &changed), status::NoError);
    EXPECT_EQ(path, folder / "moved/pictures/photo.jpg");
    EXPECT_TRUE(changed);
    EXPECT_EQ(resolveAlias(alias, std::nullopt, path, &changed), status::NoSuchObject);
}

TEST(AliasRecords, VolumeMountedElsewhere)
{
    test::ScopedTmpfs volume;
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here: " << std::strerror(volume.error);
    ASSERT_EQ(::mkdir((volume.path() + "/DCIM").c_str(), 0755), 0);
    test::writeFile(volume.path() + "/DCIM/photo.jpg", "x");
    AliasRecord alias;
    ASSERT_EQ(NewAliasFromPathCompat(std::nullopt, volume.path() + "/DCIM/photo.jpg", 0, alias, nullptr),
              status::NoError);
    EXPECT_EQ(alias.volume.mountPoint, volume.path());
    EXPECT_EQ(alias.volume.fileSystem, "tmpfs");
    EXPECT_EQ(alias.pathOnVolume, "DCIM/photo.jpg");

    ScratchFolder elsewhere(0755);
    const std::string target = elsewhere / "card";
    ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
    if (::mount(volume.path().c_str(), target.c_str(), nullptr, MS_MOVE, nullptr) != 0)
        VISTEL_SKIP_UNAVAILABLE() << "cannot move a mount here: " << std::strerror(errno);
    volume.movedTo(target);

    std::string path;
    bool changed = false;
    ASSERT_EQ(resolveAlias(alias, std::nullopt, path, &changed), status::NoError);
    EXPECT_EQ(path, target + "/DCIM/photo.jpg");
    EXPECT_TRUE(changed);

    ASSERT_EQ(::umount2(target.c_str(), MNT_DETACH), 0);
    EXPECT_EQ(resolveAlias(alias, std::nullopt, path, &changed), status::NoSuchVolume);
}

// ---- mount table -----------------------------------------------------------------------------

TEST(MountTable, MountPointsWithEscapedCharactersReadBack)
{
    test::ScopedTmpfs volume;
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here: " << std::strerror(volume.error);
    ScratchFolder elsewhere(0755);
    // The table escapes a space as \040 and a backslash as \134.
    const std::string target = elsewhere / "my card\\1";
    ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
    if (::mount(volume.path().c_str(), target.c_str(), nullptr, MS_MOVE, nullptr) != 0)
        VISTEL_SKIP_UNAVAILABLE() << "cannot move a mount here: " << std::strerror(errno);
    volume.movedTo(target);

    const std::vector<MountTableEntry> table = readMountTable();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const MountTableEntry& entry) { return entry.mountPoint == target; });
    ASSERT_NE(found, table.end());
    EXPECT_EQ(found->fileSystem, "tmpfs");
    EXPECT_EQ(found->root, "/");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(found->device, info.st_dev);
}

} // namespace
} // namespace vistel
