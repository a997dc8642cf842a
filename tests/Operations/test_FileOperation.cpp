// Copy, move, rename, delete and new folder seen from outside: the records an observer gets,
// the questions the responder was asked, and what is on disk afterwards.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "../Common/FileSystem/FileSystemFixtures.h"
#include "OperationsTestSupport.h"
#include "Platform/FilePaths.h"

namespace vistel {
namespace {

using test::readFile;
using test::writeFile;

struct Folders {
    std::string src;
    std::string dst;
};

struct BatchCase {
    const char* name;
    // Makes the fixture under src/ and dst/.
    std::function<void(const Folders&)> setup;
    std::function<Ref<FileOperation>(const Folders&)> start;
    std::vector<AlertResponse> answers;
    std::uint32_t finalStage;
    int finalError;
    std::vector<std::string> expectedQuestions;
    // Checks the disk (and the records) afterwards.
    std::function<void(const Folders&, const test::RecordObserver&)> check;
};

Value copyTexts()
{
    return Value::dictionary({{kFolderProgressKeyStopButtonText, "Stop Copying"},
                              {kFolderProgressKeyExplanationWithoutDestination, "Copying \"%@\""},
                              {kFolderProgressKeyExplanationWithDestination, "Copying \"%@\" to \"%@\""}});
}

Ref<FileOperation> copy(const Folders& f, std::vector<std::string> names, const std::string& to = {})
{
    for (auto& name : names)
        name = joinPath(f.src, name);
    return FileOperation::copyObjects(names, to.empty() ? f.dst : to, 2, 0.1, copyTexts());
}

void threeFiles(const Folders& f)
{
    writeFile(f.src + "/a.jpg", std::string(1000, 'a'));
    writeFile(f.src + "/b.jpg", std::string(2000, 'b'));
    writeFile(f.src + "/c.jpg", std::string(3000, 'c'));
}

std::string clash(const char* name) { return "An item named \"" + std::string(name) + "\" already exists in this location."; }

const BatchCase batchCases[] = {
    {"CopyThreeFiles", threeFiles, [](const Folders& f) { return copy(f, {"a.jpg", "b.jpg", "c.jpg"}); }, {}, 3, 0, {},
     [](const Folders& f, const test::RecordObserver& records) {
         EXPECT_EQ(readFile(f.dst + "/c.jpg"), std::string(3000, 'c'));
         EXPECT_EQ(fileOperationBytesComplete(records.last()), 6000u);
         EXPECT_EQ(fileOperationBytesTotal(records.last()), 6000u);
         EXPECT_EQ(fileOperationObjectsComplete(records.last()), 3);
         EXPECT_EQ(fileOperationStopText(records.last()), "Stop Copying");
         EXPECT_EQ(fileOperationStage(records.records.front()), 1u);
     }},
    {"DontReplaceTheSecond",
     [](const Folders& f) {
         threeFiles(f);
         writeFile(f.dst + "/b.jpg", "old");
     },
     [](const Folders& f) { return copy(f, {"a.jpg", "b.jpg", "c.jpg"}); },
     {AlertResponse::pressTitled("Don't Replace")}, 3, 0, {clash("b.jpg")},
     [](const Folders& f, const test::RecordObserver& records) {
         EXPECT_EQ(readFile(f.dst + "/b.jpg"), "old");
         EXPECT_EQ(readFile(f.dst + "/c.jpg"), std::string(3000, 'c'));
         EXPECT_EQ(fileOperationBytesComplete(records.last()), fileOperationBytesTotal(records.last()));
         EXPECT_EQ(fileOperationObjectsComplete(records.last()), 3);
     }},
    {"Replace",
     [](const Folders& f) {
         writeFile(f.src + "/b.jpg", "new");
         writeFile(f.dst + "/b.jpg", "old", 0444);
     },
     [](const Folders& f) { return copy(f, {"b.jpg"}); }, {AlertResponse::pressTitled("Replace")}, 3, 0,
     {clash("b.jpg")}, [](const Folders& f, const test::RecordObserver&) { EXPECT_EQ(readFile(f.dst + "/b.jpg"), "new"); }},
    {"RenameGivesCopyName",
     [](const Folders& f) {
         writeFile(f.src + "/x.jpg", "new");
         writeFile(f.dst + "/x.jpg", "old");
     },
     [](const Folders& f) { return copy(f, {"x.jpg"}); }, {AlertResponse::pressTitled("Rename")}, 3, 0, {clash("x.jpg")},
     [](const Folders& f, const test::RecordObserver&) {
         EXPECT_EQ(readFile(f.dst + "/x.jpg"), "old");
         EXPECT_EQ(readFile(f.dst + "/x copy.jpg"), "new");
     }},
    {"RenameGivesNumberedCopyName",
     [](const Folders& f) {
         writeFile(f.src + "/x.jpg", "new");
         writeFile(f.dst + "/x.jpg", "old");
         writeFile(f.dst + "/x copy.jpg", "older");
     },
     [](const Folders& f) { return copy(f, {"x.jpg"}); }, {AlertResponse::pressTitled("Rename")}, 3, 0, {clash("x.jpg")},
     [](const Folders& f, const test::RecordObserver&) {
         EXPECT_EQ(readFile(f.dst + "/x copy.jpg"), "older");
         EXPECT_EQ(readFile(f.dst + "/x copy 1.jpg"), "new");
     }},
    {"StopLeavesTheRest",
     [](const Folders& f) {
         threeFiles(f);
         writeFile(f.dst + "/b.jpg", "old");
         writeFile(f.dst + "/c.jpg", "old");
     },
     [](const Folders& f) { return copy(f, {"a.jpg", "b.jpg", "c.jpg"}); }, {AlertResponse::pressTitled("Stop")}, 4, 0,
     {clash("b.jpg")},
     [](const Folders& f, const test::RecordObserver&) {
         EXPECT_EQ(readFile(f.dst + "/a.jpg"), std::string(1000, 'a'));
         EXPECT_EQ(readFile(f.dst + "/b.jpg"), "old");
         EXPECT_EQ(readFile(f.dst + "/c.jpg"), "old");
     }},
    {"ApplyToAllAsksOnce",
     [](const Folders& f) {
         threeFiles(f);
         for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
             writeFile(f.dst + "/" + name, "old");
     },
     [](const Folders& f) {
         return FileOperation::moveObjects({f.src + "/a.jpg", f.src + "/b.jpg", f.src + "/c.jpg"}, f.dst, 2, 0.1,
                                           copyTexts());
     },
     {AlertResponse::pressTitled("Rename", 1)}, 3, 0, {clash("a.jpg")},
     [](const Folders& f, const test::RecordObserver&) {
         EXPECT_EQ(test::namesIn(f.src).size(), 0u);
         EXPECT_EQ(readFile(f.dst + "/b copy.jpg"), std::string(2000, 'b'));
         EXPECT_EQ(test::namesIn(f.dst).size(), 6u);
     }},
    {"CopyIntoItsOwnFolder", [](const Folders& f) { writeFile(f.src + "/a.jpg", "a"); },
     [](const Folders& f) { return copy(f, {"a.jpg"}, f.src); }, {}, 3, 0, {},
     [](const Folders& f, const test::RecordObserver&) {
         EXPECT_EQ(test::namesIn(f.src), (std::set<std::string> {"a.jpg", "a copy.jpg"}));
     }},
    {"MoveIntoItsOwnFolder", [](const Folders& f) { writeFile(f.src + "/a.jpg", "a"); },
     [](const Folders& f) { return FileOperation::moveObjects({f.src + "/a.jpg"}, f.src + "/.", 2, 0.1, copyTexts()); },
     {}, 3, 0, {},
     [](const Folders& f, const test::RecordObserver& records) {
         EXPECT_EQ(test::namesIn(f.src), (std::set<std::string> {"a.jpg"}));
         EXPECT_EQ(fileOperationObjectsComplete(records.last()), 1);
     }},
    {"RenameOntoTakenName",
     [](const Folders& f) {
         writeFile(f.src + "/a.jpg", "a");
         writeFile(f.src + "/b.jpg", "b");
     },
     [](const Folders& f) { return FileOperation::rename(f.src + "/a.jpg", "b.jpg"); }, {}, 3, 0,
     {"The name \"b.jpg\" is already taken."},
     [](const Folders& f, const test::RecordObserver&) {
         EXPECT_EQ(readFile(f.src + "/a.jpg"), "a");
         EXPECT_EQ(readFile(f.src + "/b.jpg"), "b");
     }},
    {"DanglingLinkIsATakenName",
     [](const Folders& f) {
         writeFile(f.src + "/a.jpg", "a");
         ASSERT_EQ(::symlink("nowhere", (f.dst + "/a.jpg").c_str()), 0);
     },
     [](const Folders& f) { return copy(f, {"a.jpg"}); }, {AlertResponse::pressTitled("Don't Replace")}, 3, 0,
     {clash("a.jpg")},
     [](const Folders& f, const test::RecordObserver&) {
         struct stat info {};
         ASSERT_EQ(::lstat((f.dst + "/a.jpg").c_str(), &info), 0);
         EXPECT_TRUE(S_ISLNK(info.st_mode));
     }},
    {"FolderIntoItsOwnSubfolder",
     [](const Folders& f) {
         ::mkdir((f.src + "/dir").c_str(), 0755);
         ::mkdir((f.src + "/dir/sub").c_str(), 0755);
         writeFile(f.src + "/dir/a.jpg", "a");
     },
     [](const Folders& f) { return copy(f, {"dir"}, f.src + "/dir/sub"); }, {}, 4, status::ParameterError, {"*"},
     [](const Folders& f, const test::RecordObserver&) { EXPECT_TRUE(test::namesIn(f.src + "/dir/sub").empty()); }},
    {"EmptyList", [](const Folders&) {}, [](const Folders& f) { return copy(f, {}); }, {}, 3, 0, {},
     [](const Folders&, const test::RecordObserver& records) {
         ASSERT_EQ(records.records.size(), 2u);
         EXPECT_EQ(fileOperationStage(records.records[0]), 1u);
     }},
    {"DeleteFilesAndFolder",
     [](const Folders& f) {
         writeFile(f.src + "/a.jpg", "aa");
         writeFile(f.src + "/b.jpg", "bbb");
         ::mkdir((f.src + "/dir").c_str(), 0755);
     },
     [](const Folders& f) { return FileOperation::deleteObjects({f.src + "/a.jpg", f.src + "/b.jpg", f.src + "/dir"}); },
     {}, 3, 0, {},
     [](const Folders& f, const test::RecordObserver& records) {
         EXPECT_TRUE(test::namesIn(f.src).empty());
         EXPECT_EQ(fileOperationObjectTotal(records.last()), 3);
         EXPECT_EQ(fileOperationBytesTotal(records.last()), 5u);
         EXPECT_EQ(fileOperationOperationType(records.last()), 2);
         const Value& lastItem = records.records[records.records.size() - 2];
         EXPECT_EQ(fileOperationCurrentObject(lastItem), "dir");
     }},
};

class BatchTable : public testing::TestWithParam<BatchCase> { };

TEST_P(BatchTable, RecordsQuestionsAndDisk)
{
    const BatchCase& c = GetParam();
    test::ScratchFolder scratch;
    const Folders folders {scratch / "src", scratch / "dst"};
    ::mkdir(folders.src.c_str(), 0755);
    ::mkdir(folders.dst.c_str(), 0755);
    c.setup(folders);
    test::ScopedResponder responder(test::scriptedAnswers(c.answers));

    const Ref<FileOperation> operation = c.start(folders);
    test::RecordObserver records(operation);
    ASSERT_TRUE(records.waitForEnd());

    EXPECT_EQ(records.finalCount(), 1);
    EXPECT_EQ(fileOperationStage(records.last()), c.finalStage);
    EXPECT_EQ(fileOperationError(records.last()), c.finalError);
    EXPECT_TRUE(records.bytesRise());
    const auto asked = test::alertMessages();
    if (c.expectedQuestions == std::vector<std::string> {"*"})
        EXPECT_EQ(asked.size(), 1u); // the file-error alert
    else
        EXPECT_EQ(asked, c.expectedQuestions);
    c.check(folders, records);
}

INSTANTIATE_TEST_SUITE_P(Operations, BatchTable, testing::ValuesIn(batchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// "Skip" on a locked file, wherever it stands among the items collected (inside a selected
// folder or selected itself, first or last): the file and every folder above it stay, without
// another question or an alert, and everything else is deleted, the items selected after it
// included. One of those, "gone.jpg", is removed by someone else while the question is open:
// it counts as deleted.
struct SkipLayout {
    const char* name;
    // Files made under the scratch folder (each folder is deleted after its contents, in name
    // order); the one called "locked.jpg" is locked (no write permission for its owner).
    std::vector<std::string> files;
    std::vector<std::string> selected; // in order, from the scratch folder
    std::set<std::string> kept;        // what stays, from the scratch folder
};

const SkipLayout skipLayouts[] = {
    {"FirstInItsFolder", {"album/locked.jpg", "album/m.jpg", "album/z.jpg"}, {"album", "gone.jpg", "later.jpg"},
     {"album", "album/locked.jpg"}},
    {"InTheMiddle", {"album/a.jpg", "album/locked.jpg", "album/m.jpg"}, {"album", "gone.jpg", "later.jpg"},
     {"album", "album/locked.jpg"}},
    {"LastInItsFolder", {"album/a.jpg", "album/b.jpg", "album/locked.jpg"}, {"album", "gone.jpg", "later.jpg"},
     {"album", "album/locked.jpg"}},
    {"DeeperWithItemsAfterItsFolder", {"album/inner/a.jpg", "album/inner/locked.jpg", "album/inner/m.jpg", "album/z.jpg"},
     {"album", "gone.jpg", "later.jpg"}, {"album", "album/inner", "album/inner/locked.jpg"}},
    {"FirstOfTheSelection", {"locked.jpg", "album/a.jpg"}, {"locked.jpg", "album", "gone.jpg", "later.jpg"},
     {"locked.jpg"}},
    {"LastOfTheSelection", {"album/a.jpg", "locked.jpg"}, {"album", "gone.jpg", "later.jpg", "locked.jpg"},
     {"locked.jpg"}},
};

class DeleteSkip : public testing::TestWithParam<SkipLayout> { };

TEST_P(DeleteSkip, KeepsTheFileAndItsFoldersAndDeletesTheRest)
{
    const SkipLayout& layout = GetParam();
    test::ScratchFolder scratch;
    for (const std::string& file : layout.files) {
        std::filesystem::create_directories(parentFolderPath(scratch / file));
        writeFile(scratch / file, file, lastPathComponent(file) == "locked.jpg" ? 0444 : 0644);
    }
    writeFile(scratch / "gone.jpg", "removed meanwhile");
    writeFile(scratch / "later.jpg", "selected after the folder");
    const auto skip = test::scriptedAnswers({AlertResponse::pressTitled("Skip")});
    test::ScopedResponder responder([&](const AlertRecord& alert) {
        std::filesystem::remove(scratch / "gone.jpg");
        return skip(alert);
    });

    std::vector<std::string> selection;
    for (const std::string& name : layout.selected)
        selection.push_back(scratch / name);
    const Ref<FileOperation> operation = FileOperation::deleteObjects(selection);
    test::RecordObserver records(operation);
    ASSERT_TRUE(records.waitForEnd());

    EXPECT_EQ(test::alertMessages(), std::vector<std::string> {"Item named \"locked.jpg\" is locked."});
    EXPECT_EQ(fileOperationStage(records.last()), 3u);
    EXPECT_EQ(fileOperationError(records.last()), 0);
    // The skipped file and the kept folders count as done.
    EXPECT_EQ(fileOperationObjectsComplete(records.last()), fileOperationObjectTotal(records.last()));
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path()))
        left.insert(entry.path().lexically_relative(scratch.path()).string());
    EXPECT_EQ(left, layout.kept);
}

INSTANTIATE_TEST_SUITE_P(Operations, DeleteSkip, testing::ValuesIn(skipLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileOperationQuit, HeldCopyDescribesItselfUntilItsFinalRecord)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "dst").c_str(), 0755);
    writeFile(scratch / "a.jpg", "a");
    writeFile(scratch / "b.jpg", "b");
    writeFile(scratch / "dst/a.jpg", "old");
    std::vector<FileOperation*> registered;
    const auto previous = setFileOperationRegistryHooks(
        {[&](FileOperation& operation) { registered.push_back(&operation); },
         [&](FileOperation& operation) { std::erase(registered, &operation); }});

    std::string seen;
    std::string seenSource;
    // The question holds the copy: answer it only after reading the registry.
    test::ScopedResponder responder([&](const AlertRecord&) {
        EXPECT_EQ(registered.size(), 1u);
        if (!registered.empty()) {
            EXPECT_EQ(registered[0]->applicationShouldTerminate(&seenSource, nullptr, &seen), 0);
        }
        return AlertResponse::pressTitled("Don't Replace");
    });
    const Ref<FileOperation> operation =
        FileOperation::copyObjects({scratch / "a.jpg", scratch / "b.jpg"}, scratch / "dst", 2, 0.1, copyTexts());
    test::RecordObserver records(operation);
    std::string before;
    operation->applicationShouldTerminate(nullptr, nullptr, &before);
    EXPECT_EQ(before, "Copying 2 files to \"???\"");
    ASSERT_TRUE(records.waitForEnd());
    EXPECT_EQ(seen, "Copying 2 files to \"dst\"");
    EXPECT_TRUE(registered.empty());
    setFileOperationRegistryHooks(previous);
}

TEST(FileOperationQuit, DescriptionsByType)
{
    test::ScratchFolder scratch;
    writeFile(scratch / "a.jpg", "a");
    std::vector<FileOperation*> registered;
    const auto previous = setFileOperationRegistryHooks({[&](FileOperation& operation) { registered.push_back(&operation); },
                                                         [&](FileOperation& operation) { std::erase(registered, &operation); }});
    test::ScopedResponder responder(test::scriptedAnswers({}));
    const Ref<FileOperation> trash = FileOperation::deleteObjects({scratch / "a.jpg"});
    std::string description;
    ASSERT_EQ(registered.size(), 1u);
    registered[0]->applicationShouldTerminate(nullptr, nullptr, &description);
    EXPECT_EQ(description, "Deleting 1 files");
    test::RecordObserver records(trash);
    ASSERT_TRUE(records.waitForEnd());
    EXPECT_TRUE(registered.empty());
    setFileOperationRegistryHooks(previous);
}

struct FolderCase {
    const char* name;
    std::string path; // under the scratch folder
    bool makeExisting;
    mode_t parentMode;
    StatusCode expected;
    const char* alertMessage; // "" when none
};

class CreateFolderTable : public testing::TestWithParam<FolderCase> { };

TEST_P(CreateFolderTable, CodeAndAlert)
{
    const FolderCase& c = GetParam();
    test::ScratchFolder scratch;
    ::mkdir((scratch / "parent").c_str(), 0755);
    if (c.makeExisting)
        ::mkdir((scratch / c.path).c_str(), 0755);
    ::chmod((scratch / "parent").c_str(), c.parentMode);
    test::ScopedResponder responder(test::scriptedAnswers({}));
    std::set<std::string> noted;
    NotificationCenter::defaultCenter().addObserver(
        &noted, [&](const Notification& n) { noted.insert(n.userInfo.get(kFileObserverWriteNotificationPath).toString()); },
        FileIsWrittenToNotification);
    EXPECT_EQ(FileOperation::createFolder(scratch / c.path), c.expected);
    const auto asked = test::alertMessages();
    if (std::string(c.alertMessage).empty()) {
        EXPECT_TRUE(asked.empty());
        struct stat info {};
        EXPECT_EQ(::stat((scratch / c.path).c_str(), &info), 0);
        // The workspace hears that the parent folder changed.
        EXPECT_TRUE(test::spinUntil([&] { return noted.count(parentFolderPath(scratch / c.path)) > 0; }));
    } else {
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_NE(asked[0].find(c.alertMessage), std::string::npos) << asked[0];
    }
    NotificationCenter::defaultCenter().removeObserver(&noted);
    ::chmod((scratch / "parent").c_str(), 0755);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, CreateFolderTable,
    testing::Values(FolderCase {"Made", "parent/new", false, 0755, 0, ""},
                    FolderCase {"Exists", "parent/new", true, 0755, status::DuplicateName, "The name \"new\" is already taken."},
                    FolderCase {"ParentMissing", "missing/new", false, 0755, status::NoSuchObject, "Unexpected I/O error."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistel
