#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

#include "Common/FileSystem/Catalogue/DirectoryEnumerator.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Platform/Log.h"
#include "TestSupport.h"

namespace vistel {
namespace {

constexpr std::uint32_t kUpdaterInfo = 0x4C72;

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

TEST(DirectoryEnumerator, FetchesInBatchesOfTheCacheSize)
{
    test::TemporaryFolder folder("vistel-enum");
    for (int i = 0; i < 40; ++i)
        writeFile(folder / ("f" + std::to_string(i)), "x");
    auto enumerator = VolumeDirectoryEnumerator::create(folder.path(), 16);
    ASSERT_TRUE(enumerator);
    enumerator->setDesiredInfo(kUpdaterInfo);
    std::vector<std::uint32_t> batchEnds;
    int count = 0;
    while (enumerator->nextObject()) {
        ++count;
        if (enumerator->cacheExhausted())
            batchEnds.push_back(count);
    }
    EXPECT_EQ(count, 40);
    EXPECT_EQ(batchEnds, (std::vector<std::uint32_t> {16, 32, 40}));
    EXPECT_FALSE(enumerator->nextObject());
}

TEST(DirectoryEnumerator, DescribesEachEntryWithTheSameDatesAsFileAttributes)
{
    test::TemporaryFolder folder("vistel-enum");
    writeFile(folder / "picture.jpg", "12345");
    writeFile(folder / ".hidden", "");
    ::mkdir((folder / "sub").c_str(), 0755);
    ::mkdir((folder / "Notes.APP").c_str(), 0755);
    ::symlink("picture.jpg", (folder / "link").c_str());
    ::symlink("missing", (folder / "dangling").c_str());
    auto enumerator = DirectoryEnumerator::enumeratorWithPath(folder.path(), 100);
    ASSERT_TRUE(enumerator);
    enumerator->setDesiredInfo(kUpdaterInfo);
    int seen = 0;
    while (auto name = enumerator->nextObject()) {
        ++seen;
        const Value attributes = enumerator->fileAttributes();
        SCOPED_TRACE(*name);
        // What a listing sends is what the attribute dictionary holds.
        const auto facts = enumerator->listingFacts();
        ASSERT_EQ(facts.has_value(), attributes.isDictionary());
        if (facts) {
            auto orNull = [](const auto& fact) { return fact ? Value(*fact) : Value(); };
            EXPECT_EQ(orNull(facts->creationDate), attributes["NSFileCreationDate"]);
            EXPECT_EQ(orNull(facts->modificationDate), attributes["NSFileModificationDate"]);
            const Value size = facts->size ? Value(static_cast<unsigned long long>(*facts->size)) : Value();
            EXPECT_EQ(size, attributes["NSFileSize"]);
        }
        if (*name == "picture.jpg" || *name == "link") {
            EXPECT_FALSE(enumerator->isDirectory());
            EXPECT_EQ(attributes["NSFileSize"].toInt64(), 5);
            const Value reference = FileSystemFunctions::fileAttributesAtPath(folder / "picture.jpg", true);
            EXPECT_EQ(attributes["NSFileModificationDate"], reference["NSFileModificationDate"]);
            EXPECT_EQ(attributes["NSFileCreationDate"], reference["NSFileCreationDate"]);
            // Kind and type go by the entry's own name.
            EXPECT_EQ(enumerator->contentTypeFromType().has_value(), *name == "picture.jpg");
            EXPECT_EQ(enumerator->kindString().has_value(), *name == "picture.jpg");
            EXPECT_TRUE(enumerator->isWritable());
            EXPECT_FALSE(enumerator->isInvisible());
        } else if (*name == ".hidden") {
            EXPECT_TRUE(enumerator->isInvisible());
        } else if (*name == "sub") {
            EXPECT_TRUE(enumerator->isDirectory());
            EXPECT_FALSE(enumerator->isBundle());
            EXPECT_EQ(attributes["NSFileType"].toString(), "NSFileTypeDirectory");
        } else if (*name == "Notes.APP") {
            EXPECT_TRUE(enumerator->isBundle());
        } else if (*name == "dangling") {
            EXPECT_TRUE(attributes.isNull());
            EXPECT_FALSE(enumerator->isWritable());
        }
        EXPECT_FALSE(enumerator->displayName());
        EXPECT_FALSE(enumerator->iconDataOnlyCustom(true, 0x1818));
        EXPECT_FALSE(enumerator->imageDataWithQuality(0.5f));
    }
    EXPECT_EQ(seen, 6);
}

TEST(DirectoryEnumerator, SpecialFilesAreWhatTheyAreAndLinksLeadingNowhereAreLogged)
{
    test::TemporaryFolder folder("vistel-enum");
    ASSERT_EQ(::mkfifo((folder / "pipe.jpg").c_str(), 0644), 0);
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = folder / "socket.png";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::symlink("missing.jpg", (folder / "dangling.jpg").c_str());
    ::symlink("loop-b", (folder / "loop-a").c_str());
    ::symlink("loop-a", (folder / "loop-b").c_str());
    writeFile(folder / "picture.jpg", "x");

    ScopedLogCapture log;
    auto enumerator = VolumeDirectoryEnumerator::create(folder.path());
    ASSERT_TRUE(enumerator);
    enumerator->setDesiredInfo(kUpdaterInfo);
    std::map<std::string, std::pair<std::string, std::string>> seen; // name: file type, content type
    while (auto name = enumerator->nextObject())
        seen[*name] = {enumerator->fileAttributes()["NSFileType"].toString(), enumerator->contentTypeFromType().value_or("")};
    ::close(server);
    using Facts = std::pair<std::string, std::string>;
    EXPECT_EQ(seen["pipe.jpg"], (Facts {"NSFileTypeUnknown", "public.item"}));
    EXPECT_EQ(seen["socket.png"], (Facts {"NSFileTypeSocket", "public.item"}));
    EXPECT_EQ(seen["picture.jpg"], (Facts {"NSFileTypeRegular", "public.jpeg"}));
    // One line for each link that leads nowhere, naming it and why; nothing for the rest.
    std::vector<std::string> lines;
    for (const std::string& line : log.lines())
        if (line.find(folder.path()) != std::string::npos)
            lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 3u) << testing::PrintToString(lines);
    EXPECT_NE(lines[0].find(folder / "dangling.jpg"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("dangling symbolic link"), std::string::npos) << lines[0];
    for (const std::string& line : {lines[1], lines[2]})
        EXPECT_NE(line.find("symbolic link loop"), std::string::npos) << line;
    EXPECT_NE(lines[1].find(folder / "loop-a"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(folder / "loop-b"), std::string::npos) << lines[2];
}

TEST(DirectoryEnumerator, WithoutInformationKnowsOnlyNames)
{
    test::TemporaryFolder folder("vistel-enum");
    ::mkdir((folder / "sub").c_str(), 0755);
    auto enumerator = VolumeDirectoryEnumerator::create(folder.path());
    ASSERT_TRUE(enumerator);
    ASSERT_EQ(enumerator->nextObject(), std::optional<std::string>("sub"));
    EXPECT_FALSE(enumerator->isDirectory());
    EXPECT_EQ(enumerator->fileAttributes(), Value::dictionary());
    const auto facts = enumerator->listingFacts();
    ASSERT_TRUE(facts);
    EXPECT_FALSE(facts->creationDate || facts->modificationDate || facts->size);
}

TEST(DirectoryEnumerator, BundleNamesAndPaths)
{
    struct Case {
        const char* name;
        bool bundle;
    };
    for (const Case& c : {Case {"Notes.APP", true}, Case {"x.app", false}, Case {"ab.app", true}, Case {"a.bundle", false},
                          Case {"ab.bundle", true}, Case {"ab.plugin", true}, Case {"ab.kext", true}, Case {"a.kext", false}})
        EXPECT_EQ(DirectoryEnumerator::isBundleName(c.name), c.bundle) << c.name;
    EXPECT_FALSE(DirectoryEnumerator::enumeratorWithPath("relative/path"));
    EXPECT_FALSE(DirectoryEnumerator::enumeratorWithPath("/no/such/folder"));
    EXPECT_FALSE(DirectoryEnumerator::enumeratorWithPath("ICA:/1/x")); // no camera code installed
}

TEST(DirectoryEnumerator, WritableFollowsTheKernelsAnswer)
{
    test::TemporaryFolder folder("vistel-enum");
    writeFile(folder / "ro", "x");
    ::chmod((folder / "ro").c_str(), 0444);
    auto enumerator = VolumeDirectoryEnumerator::create(folder.path());
    enumerator->setDesiredInfo(kUpdaterInfo);
    ASSERT_TRUE(enumerator->nextObject());
    EXPECT_EQ(enumerator->isWritable(), ::access((folder / "ro").c_str(), W_OK) == 0);
}

TEST(DirectoryEnumerator, VisibleContentsAndSingleItemAttributes)
{
    test::TemporaryFolder folder("vistel-enum");
    writeFile(folder / "a.jpg", "1234");
    writeFile(folder / ".secret", "");
    std::vector<std::string> names = DirectoryEnumerator::visibleDirectoryContentsAtPath(folder.path());
    EXPECT_EQ(names, std::vector<std::string> {"a.jpg"});
    EXPECT_TRUE(DirectoryEnumerator::visibleDirectoryContentsAtPath(folder / "missing").empty());

    const Value attributes = DirectoryEnumerator::carbonFileAttributesAtPath(folder / "a.jpg", kUpdaterInfo);
    EXPECT_EQ(attributes["NSFileSize"].toInt64(), 4);
    EXPECT_EQ(attributes["NSFileModificationDate"],
              FileSystemFunctions::fileAttributesAtPath(folder / "a.jpg", true)["NSFileModificationDate"]);
    EXPECT_TRUE(DirectoryEnumerator::carbonFileAttributesAtPath(folder / "missing", kUpdaterInfo).isNull());

    EXPECT_TRUE(DirectoryEnumerator::changeCarbonFileAttributes(
        Value::dictionary({{"NSFilePosixPermissions", Value(0600)}, {"DEItemHasCustomIcon", Value(true)}}), folder / "a.jpg"));
    EXPECT_EQ(DirectoryEnumerator::carbonFileAttributesAtPath(folder / "a.jpg", kDirInfoPermissions)["NSFilePosixPermissions"]
                  .toInt64(),
              0600);
    EXPECT_FALSE(DirectoryEnumerator::changeCarbonFileAttributes(
        Value::dictionary({{"NSFilePosixPermissions", Value(0600)}}), folder / "missing"));
}

TEST(DirectoryEnumerator, LockedIsTheImmutableFlag)
{
    test::TemporaryFolder folder("vistel-enum");
    writeFile(folder / "a.jpg", "1");
    if (!DirectoryEnumerator::changeCarbonFileAttributes(Value::dictionary({{DEItemIsLocked, Value(true)}}), folder / "a.jpg")) {
        VISTEL_SKIP_UNAVAILABLE() << "setting the immutable flag needs CAP_LINUX_IMMUTABLE and a file system with it";
    }
    auto enumerator = VolumeDirectoryEnumerator::create(folder.path());
    enumerator->setDesiredInfo(kUpdaterInfo);
    ASSERT_TRUE(enumerator->nextObject());
    EXPECT_TRUE(enumerator->isLocked());
    EXPECT_FALSE(enumerator->isWritable());
    EXPECT_TRUE(DirectoryEnumerator::changeCarbonFileAttributes(Value::dictionary({{DEItemIsLocked, Value(false)}}),
                                                                folder / "a.jpg"));
    EXPECT_FALSE(DirectoryEnumerator::carbonFileAttributesAtPath(folder / "a.jpg", kUpdaterInfo)[DEItemIsLocked].toBool());
}

} // namespace
} // namespace vistel
