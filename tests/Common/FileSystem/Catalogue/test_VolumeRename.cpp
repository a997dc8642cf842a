// Renaming a disk volume through the disk service: the real client against the fake UDisks2
// service on a private bus, which sets the label of an ext2 image the test made.

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <filesystem>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/UDisks2Client.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/Formatter.h"
#include "PrivateSystemBus.h"

using namespace vistel;
using vistel::test::CatalogueTest;
using vistel::test::commandOutput;
using vistel::test::shellQuoted;

namespace {

class VolumeRenameTest : public CatalogueTest {
protected:
    std::string label() { return commandOutput("e2label " + shellQuoted(image_) + " 2>&1"); }
    std::string image_ = folder_ / "disk.img";
};

} // namespace

TEST_F(VolumeRenameTest, ADiskTakesTheNameAsItsLabelAndBadNamesAreRefusedWithTheirOwnAlert)
{
    test::TemporaryFolder busFolder {"vistel-bus"};
    test::PrivateSystemBus bus(busFolder.path());
    if (!bus.running())
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon cannot be started here";
    if (std::system(("mke2fs -q -F -t ext2 -L Before " + shellQuoted(image_) + " 1024 >/dev/null 2>&1").c_str()) != 0)
        VISTEL_SKIP_UNAVAILABLE() << "mke2fs is not installed";

    MediaDatabase& database = openCatalogue();
    auto root = dynamicRefCast<FileSystemVolumeMO>(database.rootItem());
    ASSERT_TRUE(root);
    const auto info = dynamicRefCast<ZovVolumeInfo>(root->getDeviceInfo());
    ASSERT_TRUE(info);
    const std::string device = std::to_string(major(info->mount().device)) + ":" + std::to_string(minor(info->mount().device));
    ASSERT_TRUE(bus.startFakeUDisks2(VISTEL_FAKE_UDISKS2_PATH, device, "ext2", image_));

    test::ScopedResponder responder([](const AlertRecord&) {
        AlertResponse press;
        press.buttonIndex = 0;
        return press;
    });

    // Success: the label is set and the item takes the name; its observers hear of the change.
    int changes = 0;
    NotificationCenter::defaultCenter().addObserver(
        &changes, [&](const Notification& n) { changes += n.object.get() == root.get(); }, "MDFolderChanged");
    EXPECT_TRUE(root->setVolumeName("Holiday"));
    EXPECT_TRUE(vistel::test::spinUntil([&] { return changes == 1; }, 10000));
    EXPECT_EQ(label(), "Holiday");
    EXPECT_EQ(root->name(), "Holiday");
    EXPECT_EQ(root->fullPath(), "/");
    EXPECT_TRUE(Alert::answeredAlerts().empty());
    const auto calls = bus.calls();
    EXPECT_EQ(calls.back(), "SetLabel Holiday");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "ResolveDevice /dev/block/" + device), calls.end());

    // A name ext2 cannot take (over 16 bytes): the alert of its own, nothing sent.
    const std::size_t callsBefore = bus.calls().size();
    EXPECT_FALSE(root->setVolumeName("Seventeen letters"));
    ASSERT_EQ(Alert::answeredAlerts().size(), 1u);
    const AlertRecord refused = Alert::answeredAlerts()[0];
    EXPECT_EQ(refused.messageText, "The name \"Seventeen letters\" cannot be used.");
    EXPECT_EQ(refused.informativeText, "Try using another name, with fewer characters or no punctuation marks.");
    ASSERT_EQ(refused.buttons.size(), 1u);
    EXPECT_EQ(refused.buttons[0].title, "OK");
    EXPECT_EQ(bus.calls().size(), callsBefore + 2); // resolved and typed, never labelled
    EXPECT_EQ(label(), "Holiday");
    EXPECT_EQ(root->name(), "Holiday");

    // The service fails: the file-error alert, the item keeps its name.
    std::filesystem::remove(image_);
    Alert::clearAnsweredAlerts();
    EXPECT_FALSE(root->setVolumeName("Other"));
    EXPECT_EQ(bus.calls().back(), "SetLabel Other");
    ASSERT_EQ(Alert::answeredAlerts().size(), 1u);
    EXPECT_EQ(Alert::answeredAlerts()[0].messageText.find("cannot be used"), std::string::npos);
    EXPECT_EQ(root->name(), "Holiday");
    EXPECT_EQ(changes, 1); // the failed renames changed nothing
    NotificationCenter::defaultCenter().removeObserver(&changes);
}

TEST(UDisks2Client, LabelRulesOfTheFileSystems)
{
    struct Case {
        const char* type;
        const char* label;
        bool valid;
    };
    const Case cases[] = {
        {"vfat", "HOLIDAY2024", true},   {"vfat", "HOLIDAY20245", false}, {"vfat", "A.B", false},
        {"vfat", "A*B", false},          {"exfat", "Fifteen letters", true}, {"exfat", "Sixteen letters!", false},
        {"exfat", "Ünïcödé ok", true},   {"ext4", "sixteen-bytes-ok", true}, {"ext4", "seventeen-bytes-x", false},
        {"xfs", "no spaces", false},     {"ntfs", "A name: with colon", true}, {"ext4", "", false},
        {"ext4", "tab\there", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UDisks2Client::isValidLabel(c.type, c.label), c.valid) << c.type << " " << c.label;
}
