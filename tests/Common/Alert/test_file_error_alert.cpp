// The file-error alert: texts by status code, operation type and volume state, and its run.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "AlertTestSupport.h"
#include "Common/Alert/NSAlertFileError.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "LocalizedStrings.h"
#include "Platform/Formatter.h"
#include "Platform/RunLoop.h"
#include "ZovTranslatorManager.h"

using namespace vistel;
using vistel::test::ScopedResponder;
namespace FE = vistel::NSAlertFileError;

namespace {

const std::string Source = "/src/dir/photo.jpg";
const std::string Destination = "/dst/album/new name.jpg";

// A volume registry with one volume for "/src" and one for "/dst".
struct Registry {
    std::optional<FE::Volume> source = FE::Volume {"Disk", true};
    std::optional<FE::Volume> destination = FE::Volume {"Disk", true};

    FE::VolumeLookup lookup() const
    {
        return [*this](const std::string& path) -> std::optional<FE::Volume> {
            if (path.starts_with("/src"))
                return source;
            if (path.starts_with("/dst"))
                return destination;
            return std::nullopt;
        };
    }
};

const std::string NotCompleted = "Operation could not be completed.";
const std::string AccessHint = "To view or change access privileges, select the item in Finder and choose File > Get Info.";
const std::string MountHint = "Try to mount the device and repeat again or use another device.";

struct CodeSet {
    const char* name;
    std::vector<int> codes;
    // By operation type 0 to 6.
    std::vector<FE::Texts> texts;
};

std::vector<CodeSet> codeSets()
{
    const FE::Texts none {NotCompleted, ""};
    const auto diskFull = [](const char* verb) {
        return FE::Texts {vistel::format("There is not enough disk space in \"album\" to %@ \"photo.jpg\".", verb), ""};
    };
    const FE::Texts taken {"The name \"new name.jpg\" is already taken.", "Please choose a different name."};
    const auto access = [&](std::string message) { return FE::Texts {std::move(message), AccessHint}; };
    const std::string accessOther =
        "The operation could not be completed because you do not have enough access privileges.";
    const std::string lockedOther = "The operation could not be completed because an item is locked.";
    const FE::Texts io {"Unexpected I/O error.", ""};
    return {
        {"disk full", {28, -34, -1429, 640},
         {diskFull("copy"), none, none, diskFull("create"), diskFull("move"), diskFull("convert"), none}},
        {"name taken", {-48, 17, -1027, 514}, {taken, taken, taken, taken, taken, taken, taken}},
        {"access denied", {-5000, -54, 513},
         {access("The item \"/src/dir/photo.jpg\" could not be copied because you do not have sufficient access privileges."),
          access("The item \"/src/dir/photo.jpg\" could not be deleted because you do not have sufficient access privileges."),
          access(accessOther),
          access("The item \"/src/dir/photo.jpg\" could not be created because you do not have sufficient access privileges."),
          access("The item \"/src/dir/photo.jpg\" could not be moved into \"/dst/album\" because you do not have sufficient access privileges."),
          access(accessOther),
          access("You do not have sufficient access privileges to rename the item \"/src/dir/photo.jpg\".")}},
        {"locked", {-45},
         {{"The item \"/src/dir/photo.jpg\" could not be copied because item \"/dst/album/new name.jpg\" is locked.", ""},
          {"The item \"/src/dir/photo.jpg\" could not be deleted because it is locked.", ""},
          {lockedOther, ""},
          {"The item \"/src/dir/photo.jpg\" could not be created because folder \"/dst/album\" is locked.", ""},
          {"The item \"/src/dir/photo.jpg\" could not be moved into \"/dst/album\" because the folder is locked.", ""},
          {lockedOther, ""},
          {"The item \"/src/dir/photo.jpg\" could not be renamed because it is locked.", ""}}},
        {"input/output, volumes present", {-36, -43, -35}, {io, io, io, io, io, io, io}},
        {"no rule", {-1, 0, 1, -50, -1426}, {none, none, none, none, none, none, none}},
    };
}

} // namespace

TEST(FileErrorAlert, TextsOfEveryCodeSetAndOperationType)
{
    const Registry present;
    for (const CodeSet& set : codeSets()) {
        for (int code : set.codes) {
            for (int type = 0; type <= 6; ++type) {
                SCOPED_TRACE(std::string(set.name) + " code " + std::to_string(code) + " type " + std::to_string(type));
                EXPECT_EQ(FE::fileErrorTexts(code, type, Source, Destination, present.lookup()),
                          set.texts[static_cast<std::size_t>(type)]);
            }
        }
    }
}

TEST(FileErrorAlert, VanishedVolumesAreNamedForTheDeviceCodes)
{
    struct Case {
        const char* name;
        Registry registry;
        std::string message;
    };
    Registry destinationFailing;
    destinationFailing.destination = FE::Volume {"CARD", false};
    Registry destinationUnknown;
    destinationUnknown.destination.reset();
    Registry sourceFailing;
    sourceFailing.source = FE::Volume {"Camera", false};
    Registry sourceUnknown;
    sourceUnknown.source.reset();
    Registry bothFailing;
    bothFailing.destination = FE::Volume {"CARD", false};
    bothFailing.source = FE::Volume {"Camera", false};
    const Case cases[] = {
        {"destination failing", destinationFailing, "Destination volume \"CARD\" no longer available."},
        {"destination unknown", destinationUnknown,
         "Destination volume no longer available for path \"/dst/album/new name.jpg\"."},
        {"source failing", sourceFailing, "Source volume \"Camera\" no longer available."},
        {"source unknown", sourceUnknown, "Source volume no longer available for path \"/src/dir/photo.jpg\"."},
        {"both failing: the destination is named", bothFailing, "Destination volume \"CARD\" no longer available."},
    };
    for (const Case& c : cases) {
        for (int code : {-36, -5000, -43, -35}) {
            for (int type : {0, 1, 4, 6}) {
                SCOPED_TRACE(std::string(c.name) + " code " + std::to_string(code) + " type " + std::to_string(type));
                EXPECT_EQ(FE::fileErrorTexts(code, type, Source, Destination, c.registry.lookup()),
                          (FE::Texts {c.message, MountHint}));
            }
        }
    }
    // Other codes never look at the volumes.
    EXPECT_EQ(FE::fileErrorTexts(-45, 1, "/a/b.jpg", "", destinationFailing.lookup()).messageText,
              "The item \"/a/b.jpg\" could not be deleted because it is locked.");
    EXPECT_EQ(FE::fileErrorTexts(-34, 6, Source, Destination, destinationFailing.lookup()).messageText, NotCompleted);
}

TEST(FileErrorAlert, NamesFollowTheDesktopPathRules)
{
    const Registry present;
    // Trailing slashes are ignored; a top-level destination's folder is "/".
    EXPECT_EQ(FE::fileErrorTexts(28, 0, "/pics/holiday/", "/Volumes/CARD/holiday", present.lookup()).messageText,
              "There is not enough disk space in \"CARD\" to copy \"holiday\".");
    EXPECT_EQ(FE::fileErrorTexts(-45, 4, "/a/b.jpg", "/b.jpg", present.lookup()).messageText,
              "The item \"/a/b.jpg\" could not be moved into \"/\" because the folder is locked.");
    EXPECT_EQ(FE::fileErrorTexts(17, 6, "/a/b.jpg", "c.jpg", present.lookup()).messageText,
              "The name \"c.jpg\" is already taken.");
}

TEST(FileErrorAlert, TextsAreTranslatedBeforeTheyAreFilled)
{
    const auto dir = std::filesystem::temp_directory_path() / ("vistel-file-error-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "de.lproj");
    const char* selector = "showFileError:operationType:source:destination:";
    {
        std::ofstream table(dir / "de.lproj" / "Localizable.strings");
        table << "\"" << ZovTranslatorManager::keyForClass("NSAlert", "", selector, "", "The name \\\"%@\\\" is already taken.")
              << "\" = \"Der Name „%@“ ist schon vergeben.\";\n";
        table << "\"" << ZovTranslatorManager::keyForClass("NSAlert", "", selector, "", "Please choose a different name.")
              << "\" = \"Bitte einen anderen Namen wählen.\";\n";
    }
    auto& translator = ZovTranslatorManager::defaultTranslatorManager();
    const auto previousTables = translator.stringTables();
    translator.setStringTables(std::make_shared<LocalizedStrings>(dir.string(), std::vector<std::string> {"de"}));
    translator.setCurrentBackend(ZovTranslatorBackend_Cocoa);
    const FE::Texts texts = FE::fileErrorTexts(-48, 0, Source, Destination, Registry().lookup());
    translator.setCurrentBackend(ZovTranslatorBackend_Self);
    translator.setStringTables(previousTables);
    std::filesystem::remove_all(dir);

    EXPECT_EQ(texts.messageText, "Der Name „new name.jpg“ ist schon vergeben.");
    EXPECT_EQ(texts.informativeText, "Bitte einen anderen Namen wählen.");
}

TEST(FileErrorAlert, MountTableLookupFindsTheLongestMountPoint)
{
    const auto root = FE::mountedVolumeForPath("/");
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->displayName, "/");
    EXPECT_TRUE(root->available);

    const auto proc = FE::mountedVolumeForPath("/proc/self/status");
    ASSERT_TRUE(proc.has_value());
    EXPECT_EQ(proc->displayName, "proc");
    EXPECT_TRUE(proc->available);

    // "/procfoo" is not inside "/proc"; camera paths belong to the root volume.
    EXPECT_EQ(FE::mountedVolumeForPath("/procfoo/x")->displayName, "/");
    EXPECT_EQ(FE::mountedVolumeForPath("ICA:/123/DCIM/a.jpg")->displayName, "/");

    // Without an installed registry the alert uses the mount table: both volumes answer.
    EXPECT_EQ(FE::fileErrorTexts(-36, 0, "/proc/1", "/tmp/x", FE::volumeLookup()).messageText, "Unexpected I/O error.");
}

TEST(FileErrorAlert, ShowsOneOkButtonAndRunsOnTheMainThreadForAnyCaller)
{
    Registry failing;
    failing.destination = FE::Volume {"CARD", false};
    FE::VolumeLookup previous = FE::setVolumeLookup(failing.lookup());
    std::vector<bool> onMainThread;
    ScopedResponder responder([&](const AlertRecord& record) {
        onMainThread.push_back(RunLoop::isMainThread());
        EXPECT_EQ(record.buttons.size(), 1u);
        EXPECT_EQ(record.buttons[0].title, "OK");
        return AlertResponse::pressKey(AlertResponse::Key::Return);
    });

    EXPECT_EQ(FE::showFileError(-36, 0, Source, Destination), NSAlertDefaultReturn);

    std::atomic<bool> done {false};
    int workerResult = 0;
    Ref<NSThreadExt> worker = NSThreadExt::create([&] {
        workerResult = FE::showFileError(-45, 1, "/a/b.jpg", "");
        done = true;
    });
    worker->start();
    ASSERT_TRUE(vistel::test::spinUntil([&] { return done.load(); }));
    FE::setVolumeLookup(previous);

    EXPECT_EQ(workerResult, NSAlertDefaultReturn);
    EXPECT_EQ(onMainThread, (std::vector<bool> {true, true}));
    const auto log = Alert::answeredAlerts();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].messageText, "Destination volume \"CARD\" no longer available.");
    EXPECT_EQ(log[0].informativeText, MountHint);
    EXPECT_EQ(log[1].messageText, "The item \"/a/b.jpg\" could not be deleted because it is locked.");
    EXPECT_EQ(log[1].informativeText, "");
}
