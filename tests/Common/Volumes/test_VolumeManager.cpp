// The volume manager over a fixture mount table: listing, lookups by path, reference numbers,
// and the signals of a changed table.

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <mutex>
#include <set>

#include "Common/Volumes/VolumeSources.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/Exception.h"
#include "VolumeTestSupport.h"

using namespace vistel;
using vistel::test::SignalRecorder;

namespace {

const std::string rootLine = "20 1 0:30 / / rw,relatime shared:1 - overlay overlay rw\n";

std::string tmpfsLine(int id, const std::string& mountPoint)
{
    return std::to_string(id) + " 20 0:" + std::to_string(id + 100) + " / " + mountPoint + " rw,relatime - tmpfs tmpfs rw\n";
}

// A mount table the test changes while the manager runs.
class FixtureTable {
public:
    FixtureTable()
    {
        VolumeFactsSources sources;
        sources.mountTableText = [this] {
            std::lock_guard lock(mutex_);
            return text_;
        };
        // One disk with a file-system UUID; everything else has no block device.
        sources.blockDevice = [](dev_t device) -> std::optional<BlockDeviceFacts> {
            if (device != makedev(8, 17))
                return std::nullopt;
            return BlockDeviceFacts {{{"ID_FS_UUID", "CAFE-0001"}}, {}};
        };
        sources.homeFolder = "/home/alice";
        sources.userName = "alice";
        scope_.emplace(std::move(sources));
    }
    void set(std::string text)
    {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
    }

private:
    std::mutex mutex_;
    std::string text_ = rootLine + tmpfsLine(30, "/mnt/x") + tmpfsLine(31, "/media/alice/Card");
    std::optional<ScopedVolumeFactsSources> scope_;
};

std::string mountPointOf(const Ref<ZovDeviceInfo>& info)
{
    return info ? info->mountPoint() : std::string("nil");
}

} // namespace

TEST(VolumeManager, ListsTheVolumesAndAnswersPathsByLongestMountPoint)
{
    FixtureTable table;
    Ref<ZovVolumeManager> manager = ZovVolumeManager::create();
    EXPECT_EQ(manager->volumeInfos().size(), 3u);

    const std::pair<const char*, const char*> paths[] = {
        {"/mnt/x/DCIM", "/mnt/x"},
        {"/mnt/x", "/mnt/x"},
        {"/mnt/x/", "/mnt/x"},
        {"/mnt/xy", "/"},
        {"/home/alice/Pictures", "/"},
        {"/media/alice/Card/DCIM/100", "/media/alice/Card"},
        {"ICA:/5/a", "nil"},
        {"relative/path", "/"},
        {"", "/"},
    };
    for (const auto& [path, mountPoint] : paths)
        EXPECT_EQ(mountPointOf(manager->volumeInfoForPath(path)), mountPoint) << path;

    const Ref<ZovDeviceInfo> card = manager->volumeInfoForMountPoint("/media/alice/Card");
    ASSERT_TRUE(card);
    EXPECT_EQ(manager->volumeInfoForKey(card->key()).get(), card.get());
    EXPECT_EQ(manager->displayNameFromPath("/media/alice/Card"), "Card");
    EXPECT_EQ(manager->displayNameFromPath("/media/alice/Card/DCIM"), "DCIM");

    // Each volume has its own negative reference number.
    std::set<int> numbers;
    for (const Ref<ZovDeviceInfo>& info : manager->volumeInfos()) {
        const auto* volume = dynamic_cast<const ZovVolumeInfo*>(info.get());
        ASSERT_TRUE(volume);
        EXPECT_LT(volume->refNum(), 0);
        numbers.insert(volume->refNum());
        EXPECT_EQ(manager->volumeInfoForRefNum(volume->refNum()).get(), volume);
    }
    EXPECT_EQ(numbers.size(), 3u);
}

TEST(VolumeManager, ChangedTableIsSignalledOnceOnTheReceiversThread)
{
    FixtureTable table;
    Ref<ZovVolumeManager> manager = ZovVolumeManager::create();
    Ref<SignalRecorder> recorder = SignalRecorder::create(*manager);
    const std::int16_t xNumber = dynamic_cast<ZovVolumeInfo&>(*manager->volumeInfoForMountPoint("/mnt/x")).refNum();

    // A slot on the manager's own thread may look the registry up while the signal is out.
    std::size_t registeredDuringUnmount = 99;
    Ref<SignalRecorder> direct = SignalRecorder::create(*manager, ConnectionType::Direct,
                                                        [&] { registeredDuringUnmount = manager->volumeInfos().size(); });

    table.set(rootLine + tmpfsLine(31, "/media/alice/Card") + tmpfsLine(32, "/mnt/y"));
    manager->rescanMountTable();
    ASSERT_TRUE(recorder->waitFor(1, 1));
    EXPECT_EQ(recorder->mounted[0]->mountPoint(), "/mnt/y");
    EXPECT_EQ(recorder->unmounted[0]->mountPoint(), "/mnt/x");
    EXPECT_TRUE(recorder->allOnMainThread);
    EXPECT_EQ(registeredDuringUnmount, 2u);
    EXPECT_FALSE(manager->volumeInfoForMountPoint("/mnt/x"));
    EXPECT_EQ(mountPointOf(manager->volumeInfoForPath("/mnt/x/DCIM")), "/");

    // The same table again changes nothing; /mnt/x mounted anew is a new mount with a new number.
    manager->rescanMountTable();
    table.set(rootLine + tmpfsLine(31, "/media/alice/Card") + tmpfsLine(32, "/mnt/y") + tmpfsLine(33, "/mnt/x"));
    manager->rescanMountTable();
    ASSERT_TRUE(recorder->waitFor(2, 1));
    const auto& again = dynamic_cast<const ZovVolumeInfo&>(*recorder->mounted[1]);
    EXPECT_EQ(again.mountPoint(), "/mnt/x");
    EXPECT_NE(again.refNum(), xNumber) << "numbers are not given again so soon";
    EXPECT_EQ(again.key(), recorder->unmounted[0]->key()) << "a tmpfs mounted at the same place keeps its key";
    EXPECT_NE(again.key(), recorder->mounted[0]->key()) << "two tmpfs never share a key";
}

TEST(VolumeManager, FileSystemMountedTwiceIsOneVolume)
{
    FixtureTable table;
    const std::string disk = "40 20 8:17 / /media/alice/DISK rw - ext4 /dev/sdb1 rw\n";
    const std::string again = "41 20 8:17 / /mnt/again rw - ext4 /dev/sdb1 rw\n";
    table.set(rootLine + disk + again);
    Ref<ZovVolumeManager> manager = ZovVolumeManager::create();
    Ref<SignalRecorder> recorder = SignalRecorder::create(*manager);
    EXPECT_EQ(manager->volumeInfos().size(), 2u);
    EXPECT_TRUE(manager->volumeInfoForMountPoint("/media/alice/DISK"));
    EXPECT_FALSE(manager->volumeInfoForMountPoint("/mnt/again"));
    EXPECT_EQ(mountPointOf(manager->volumeInfoForPath("/mnt/again/x")), "/");

    // A change elsewhere changes nothing; once the first place is unmounted, the second one
    // is the volume.
    manager->rescanMountTable();
    ASSERT_TRUE(recorder->waitFor(0, 0));
    table.set(rootLine + again);
    manager->rescanMountTable();
    ASSERT_TRUE(recorder->waitFor(1, 1));
    EXPECT_EQ(recorder->mounted[0]->mountPoint(), "/mnt/again");
    EXPECT_EQ(recorder->mounted[0]->key(), recorder->unmounted[0]->key()) << "the same file system, the same key";
}

TEST(VolumeManager, UpdateKeepsTheReferenceNumber)
{
    FixtureTable table;
    Ref<ZovVolumeManager> manager = ZovVolumeManager::create();
    Ref<ZovVolumeInfo> card = manager->volumeInfoForRefNum(
        dynamic_cast<ZovVolumeInfo&>(*manager->volumeInfoForMountPoint("/media/alice/Card")).refNum());
    manager->updateVolumeInfo(card);
    Ref<ZovDeviceInfo> fresh = manager->volumeInfoForMountPoint("/media/alice/Card");
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh.get(), card.get());
    EXPECT_EQ(dynamic_cast<ZovVolumeInfo&>(*fresh).refNum(), card->refNum());
    EXPECT_EQ(fresh->key(), card->key());
}

TEST(VolumeManager, NoRootVolumeIsAProgrammingError)
{
    FixtureTable table;
    table.set(tmpfsLine(30, "/mnt/x"));
    EXPECT_THROW(ZovVolumeManager::create(), Exception);
}
