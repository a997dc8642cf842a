#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Common/FileSystem/FSRef.h"
#include "Common/FileSystem/NSStringFSRef.h"
#include "Common/FileSystem/ObjectExchange.h"
#include "FileSystemFixtures.h"
#include "Platform/FilePaths.h"
#include "TestSupport.h"

namespace vistel {
namespace {

using test::ScratchFolder;

// ---- temporary names -------------------------------------------------------------------------

struct NameCase {
    std::uint32_t counter;
    const char* taken; // a name already in the second folder, or nullptr
    const char* expected;
};

class TemporaryNames : public ::testing::TestWithParam<NameCase> { };

TEST_P(TemporaryNames, UseBits27To0OfTheNextCounterValueAndSkipTakenNames)
{
    const NameCase& c = GetParam();
    ScratchFolder first;
    ScratchFolder second;
    if (c.taken)
        test::writeFile(second / c.taken, "");
    FSRef firstRef;
    FSRef secondRef;
    ASSERT_EQ(makeFSRef(first.path(), firstRef), status::NoError);
    ASSERT_EQ(makeFSRef(second.path(), secondRef), status::NoError);

    std::atomic<std::uint32_t> counter {c.counter};
    std::string name;
    ASSERT_EQ(MakeUniqueTemporaryName(counter, firstRef, secondRef, name), status::NoError);
    EXPECT_EQ(name, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Counters, TemporaryNames,
                         ::testing::Values(NameCase {0, nullptr, ".0000001"},
                                           NameCase {0x0ABCDEF0, nullptr, ".ABCDEF1"},
                                           NameCase {0x1FFFFFFE, nullptr, ".FFFFFFF"},
                                           NameCase {0x1FFFFFFF, nullptr, ".0000000"},
                                           NameCase {0x10, ".0000011", ".0000012"}));

TEST(TemporaryNamesAcrossThreads, NeverRepeatWithinTheProcess)
{
    ScratchFolder folder;
    FSRef ref;
    ASSERT_EQ(makeFSRef(folder.path(), ref), status::NoError);
    const int threads = 4;
    const int perThread = test::scaled(500, 50000);
    std::vector<std::vector<std::string>> names(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                std::string name;
                if (MakeUniqueTemporaryName(ref, ref, name) == status::NoError)
                    names[t].push_back(name);
            }
        });
    for (std::thread& worker : workers)
        worker.join();
    std::set<std::string> all;
    for (const auto& list : names)
        all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), std::size_t(threads * perThread));
}

TEST(TemporaryNamesErrors, MissingFolder)
{
    ScratchFolder folder;
    FSRef ref;
    ASSERT_EQ(makeFSRef(folder.path(), ref), status::NoError);
    FSRef gone = ref;
    gone.path = folder / "gone";
    std::string name;
    EXPECT_EQ(MakeUniqueTemporaryName(ref, gone, name), status::NoSuchObject);
}

// ---- exchange --------------------------------------------------------------------------------

// Everything that must be back as it was when an exchange fails.
struct Snapshot {
    std::string contents;
    mode_t mode;
    std::map<std::string, std::string> attributes;
    ino_t inode;
    timespec modified;

    static Snapshot of(const std::string& path)
    {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return {test::readFile(path), mode_t(st.st_mode & 07777), test::userAttributes(path), st.st_ino, st.st_mtim};
    }
    friend bool operator==(const Snapshot& a, const Snapshot& b)
    {
        return a.contents == b.contents && a.mode == b.mode && a.attributes == b.attributes
            && a.inode == b.inode && a.modified.tv_sec == b.modified.tv_sec
            && a.modified.tv_nsec == b.modified.tv_nsec;
    }
};

void setTimes(const std::string& path, time_t accessed, time_t modified)
{
    const timespec times[2] = {{accessed, 0}, {modified, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Two files, in one folder or in two, with their own contents, modes, attributes and times.
class ExchangeFixture {
public:
    explicit ExchangeFixture(bool separateFolders, mode_t destinationMode = 0604)
        : sourcePath(a_ / "source.jpg"), destinationPath((separateFolders ? b_ : a_) / "destination.jpg")
    {
        test::writeFile(sourcePath, "source contents", 0640);
        test::writeFile(destinationPath, "the destination's contents", 0644);
        attributesSupported = ::setxattr(sourcePath.c_str(), "user.tag", "source", 6, 0) == 0;
        if (attributesSupported) {
            ::setxattr(destinationPath.c_str(), "user.tag", "destination", 11, 0);
            ::setxattr(destinationPath.c_str(), "user.only-destination", "1", 1, 0);
        }
        ::chmod(destinationPath.c_str(), destinationMode);
        setTimes(sourcePath, 1000, 2000);
        setTimes(destinationPath, 3000, 4000);
        makeFSRef(sourcePath, source);
        makeFSRef(destinationPath, destination);
    }

    std::set<std::string> sourceFolderNames() const { return test::namesIn(a_.path()); }
    std::set<std::string> destinationFolderNames() const
    {
        return test::namesIn(parentFolderPath(destinationPath));
    }

    ScratchFolder a_;
    ScratchFolder b_;
    std::string sourcePath;
    std::string destinationPath;
    FSRef source;
    FSRef destination;
    bool attributesSupported = false;
};

struct ExchangeRoute {
    bool forceFallback;
    bool separateFolders;
};

class ExchangeObjects : public ::testing::TestWithParam<ExchangeRoute> { };

TEST_P(ExchangeObjects, SwapsContentsWhileNamesKeepTheirInfo)
{
    ExchangeFixture files(GetParam().separateFolders);
    ScopedExchangeTestHooks hooks({GetParam().forceFallback, {}});
    const auto sourceNames = files.sourceFolderNames();
    const auto destinationNames = files.destinationFolderNames();
    const auto sourceAttributes = test::userAttributes(files.sourcePath);
    const auto destinationAttributes = test::userAttributes(files.destinationPath);

    FSRef newSource;
    FSRef newDestination;
    ASSERT_EQ(ExchangeObjectsCompat(files.source, files.destination, &newSource, &newDestination), status::NoError);

    // The access time belongs to the name, the modification time to the contents it dates.
    // (Read before the contents are, which would touch the access time.)
    struct stat st {};
    ASSERT_EQ(::stat(files.sourcePath.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000);
    EXPECT_EQ(st.st_mtim.tv_sec, 4000);

    EXPECT_EQ(test::readFile(files.sourcePath), "the destination's contents");
    EXPECT_EQ(test::readFile(files.destinationPath), "source contents");
    EXPECT_EQ(test::modeOf(files.sourcePath), 0640u);
    EXPECT_EQ(test::modeOf(files.destinationPath), 0604u);
    EXPECT_EQ(test::userAttributes(files.sourcePath), sourceAttributes);
    EXPECT_EQ(test::userAttributes(files.destinationPath), destinationAttributes);
    EXPECT_EQ(files.sourceFolderNames(), sourceNames);
    EXPECT_EQ(files.destinationFolderNames(), destinationNames);

    // The new references name what each path holds now.
    EXPECT_EQ(newSource.path, files.sourcePath);
    EXPECT_EQ(newDestination.path, files.destinationPath);
    EXPECT_TRUE(newSource.sameObject(files.destination));
    EXPECT_TRUE(newDestination.sameObject(files.source));
    EXPECT_EQ(NSStringFSRef::stringWithFSRef(newSource), files.sourcePath);
    EXPECT_EQ(NSStringFSRef::stringWithFSRef(newDestination), files.destinationPath);
    EXPECT_EQ(NSStringFSRef::stringWithFSRef(files.source), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Routes, ExchangeObjects,
                         ::testing::Values(ExchangeRoute {false, false}, ExchangeRoute {false, true},
                                           ExchangeRoute {true, false}, ExchangeRoute {true, true}));

struct FaultCase {
    ExchangeRoute route;
    ExchangeStep failingStep;
};

class ExchangeFaults : public ::testing::TestWithParam<FaultCase> { };

TEST_P(ExchangeFaults, FailingStepLeavesBothFilesAsTheyWere)
{
    const FaultCase& c = GetParam();
    ExchangeFixture files(c.route.separateFolders);
    const Snapshot source = Snapshot::of(files.sourcePath);
    const Snapshot destination = Snapshot::of(files.destinationPath);
    const auto sourceNames = files.sourceFolderNames();
    const auto destinationNames = files.destinationFolderNames();

    std::vector<ExchangeStep> reached;
    ScopedExchangeTestHooks hooks({c.route.forceFallback, [&](ExchangeStep step) {
                                       reached.push_back(step);
                                       return step == c.failingStep ? status::IOError : status::NoError;
                                   }});
    FSRef newSource;
    FSRef newDestination;
    EXPECT_EQ(ExchangeObjectsCompat(files.source, files.destination, &newSource, &newDestination), status::IOError);

    ASSERT_FALSE(reached.empty());
    EXPECT_EQ(reached.back(), c.failingStep);
    EXPECT_TRUE(Snapshot::of(files.sourcePath) == source);
    EXPECT_TRUE(Snapshot::of(files.destinationPath) == destination);
    EXPECT_EQ(files.sourceFolderNames(), sourceNames);
    EXPECT_EQ(files.destinationFolderNames(), destinationNames);
    EXPECT_EQ(newSource, files.source);
    EXPECT_EQ(newDestination, files.destination);
}

std::vector<FaultCase> faultCases()
{
    std::vector<FaultCase> cases;
    for (bool separate : {false, true}) {
        for (ExchangeStep step : {ExchangeStep::SystemExchange, ExchangeStep::SetSourceObjectInfo,
                                  ExchangeStep::SetDestinationObjectInfo})
            cases.push_back({{false, separate}, step});
        for (ExchangeStep step : {ExchangeStep::MoveSourceAside, ExchangeStep::MoveDestinationAside,
                                  ExchangeStep::SetSourceObjectInfo, ExchangeStep::SetDestinationObjectInfo,
                                  ExchangeStep::RenameSourceObject, ExchangeStep::RenameDestinationObject})
            cases.push_back({{true, separate}, step});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Steps, ExchangeFaults, ::testing::ValuesIn(faultCases()));

TEST(ExchangeErrors, RefusesWhatCannotBeExchanged)
{
    ScratchFolder folder;
    test::writeFile(folder / "file", "x");
    ASSERT_EQ(::mkdir((folder / "folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("file", (folder / "link").c_str()), 0);
    FSRef file, dir, link;
    ASSERT_EQ(makeFSRef(folder / "file", file), status::NoError);
    ASSERT_EQ(makeFSRef(folder / "folder", dir), status::NoError);
    ASSERT_EQ(makeFSRef(folder / "link", link), status::NoError);

    FSRef a, b;
    EXPECT_EQ(ExchangeObjectsCompat(file, dir, &a, &b), status::NotAFile);
    EXPECT_EQ(ExchangeObjectsCompat(link, file, &a, &b), status::NotAFile);
    EXPECT_EQ(ExchangeObjectsCompat(file, file, nullptr, &b), status::ParameterError);
    EXPECT_EQ(ExchangeObjectsCompat(file, file, &a, nullptr), status::ParameterError);

    test::writeFile(folder / "other", "y");
    FSRef other;
    ASSERT_EQ(makeFSRef(folder / "other", other), status::NoError);
    test::writeFile(folder / "replacement", "z");
    ASSERT_EQ(::rename((folder / "replacement").c_str(), (folder / "other").c_str()), 0);
    EXPECT_EQ(ExchangeObjectsCompat(file, other, &a, &b), status::NoSuchObject);
    EXPECT_EQ(test::readFile(folder / "file"), "x");
}

TEST(ExchangeErrors, FilesOnDifferentVolumes)
{
    test::ScopedTmpfs volume;
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here: " << std::strerror(volume.error);
    ScratchFolder folder;
    test::writeFile(folder / "here", "here");
    test::writeFile(volume.path() + "/there", "there");
    FSRef here, there, a, b;
    ASSERT_EQ(makeFSRef(folder / "here", here), status::NoError);
    ASSERT_EQ(makeFSRef(volume.path() + "/there", there), status::NoError);
    for (bool forceFallback : {false, true}) {
        ScopedExchangeTestHooks hooks({forceFallback, {}});
        EXPECT_EQ(ExchangeObjectsCompat(here, there, &a, &b), status::DifferentVolumes);
    }
    EXPECT_EQ(test::readFile(folder / "here"), "here");
    EXPECT_EQ(test::readFile(volume.path() + "/there"), "there");
}

constexpr const char* UnprivilegedExchangeVariable = "VISTEL_EXCHANGE_AS_USER";

// As a user, who may change attributes only of files they may write: a locked (read-only)
// destination must come out of the exchange, or of a failed one, exactly as before.
TEST(ExchangeAsUser, LockedDestination)
{
    std::string why;
    if (!test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    ScratchFolder folder(0777);
    std::string log;
    EXPECT_TRUE(test::runAsNobody("UnprivilegedExchange.*", UnprivilegedExchangeVariable, "1",
                                  folder / "output.txt", log))
        << log;
}

// Runs only in the child that ExchangeAsUser starts (hence disabled).
TEST(UnprivilegedExchange, DISABLED_LockedDestination)
{
    if (!std::getenv(UnprivilegedExchangeVariable))
        GTEST_SKIP() << "started by ExchangeAsUser.LockedDestination only";
    ASSERT_NE(::geteuid(), 0u);

    for (bool forceFallback : {false, true}) {
        SCOPED_TRACE(forceFallback ? "through temporary names" : "one-step exchange");
        {
            ExchangeFixture files(true, 0444);
            const auto sourceAttributes = test::userAttributes(files.sourcePath);
            const auto destinationAttributes = test::userAttributes(files.destinationPath);
            ScopedExchangeTestHooks hooks({forceFallback, {}});
            FSRef newSource, newDestination;
            ASSERT_EQ(ExchangeObjectsCompat(files.source, files.destination, &newSource, &newDestination),
                      status::NoError);
            EXPECT_EQ(test::modeOf(files.sourcePath), 0640u);
            EXPECT_EQ(test::modeOf(files.destinationPath), 0444u);
            EXPECT_EQ(test::userAttributes(files.sourcePath), sourceAttributes);
            EXPECT_EQ(test::userAttributes(files.destinationPath), destinationAttributes);
            EXPECT_EQ(test::readFile(files.destinationPath), "source contents");
        }
        {
            ExchangeFixture files(true, 0444);
            const Snapshot source = Snapshot::of(files.sourcePath);
            const Snapshot destination = Snapshot::of(files.destinationPath);
            const ExchangeStep last = forceFallback ? ExchangeStep::RenameDestinationObject
                                                    : ExchangeStep::SetDestinationObjectInfo;
            ScopedExchangeTestHooks hooks({forceFallback, [last](ExchangeStep step) {
                                               return step == last ? status::IOError : status::NoError;
                                           }});
            FSRef newSource, newDestination;
            EXPECT_EQ(ExchangeObjectsCompat(files.source, files.destination, &newSource, &newDestination),
                      status::IOError);
            EXPECT_TRUE(Snapshot::of(files.sourcePath) == source);
            EXPECT_TRUE(Snapshot::of(files.destinationPath) == destination);
        }
    }
}

} // namespace
} // namespace vistel
