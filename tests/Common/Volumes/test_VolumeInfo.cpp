// Volume information from fixtures: a mountinfo line, udev facts and a sysfs tree per case.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>

#include "../FileSystem/FileSystemFixtures.h"
#include "Common/FileSystem/ObjectLock.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/XML/XMLDocumentID.h"
#include "Platform/Exception.h"

using namespace vistel;
using vistel::test::ScratchFolder;
using vistel::test::writeFile;

namespace {

const std::string user = "alice";

struct Fixture {
    ScratchFolder scratch {0755};
    std::string home = scratch / "home";
    std::string sysfs = scratch / "sys";
    std::map<dev_t, BlockDeviceFacts> udev;

    // A disk and one partition of it in the fake sysfs, linked as the kernel links them.
    void addDisk(const std::string& disk, unsigned major, unsigned minor, bool removable, bool readOnly,
                 std::uint64_t partitionSectors)
    {
        const std::string diskFolder = sysfs + "/devices/" + disk;
        std::filesystem::create_directories(diskFolder + "/" + disk + "1");
        std::filesystem::create_directories(sysfs + "/dev/block");
        writeFile(diskFolder + "/removable", removable ? "1\n" : "0\n");
        writeFile(diskFolder + "/ro", readOnly ? "1\n" : "0\n");
        writeFile(diskFolder + "/" + disk + "1/partition", "1\n");
        writeFile(diskFolder + "/" + disk + "1/ro", "0\n");
        writeFile(diskFolder + "/" + disk + "1/size", std::to_string(partitionSectors) + "\n");
        std::filesystem::create_symlink("../../devices/" + disk,
                                        sysfs + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
        std::filesystem::create_symlink("../../devices/" + disk + "/" + disk + "1",
                                        sysfs + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor + 1));
    }

    Fixture()
    {
        std::filesystem::create_directories(home + "/FRAME");
        writeFile(home + "/notes.txt", "a file bound over another");
        auto frame = XMLDocumentID::createWithParameters("FRAME-ID", "Kitchen frame", 800, 600, "7.5");
        EXPECT_EQ(frame->saveToFile(home + "/FRAME"), XMLResult::Done);

        addDisk("sdb", 8, 16, true, false, 15625000);    // USB stick
        addDisk("sdc", 8, 32, true, false, 2000000);     // USB picture frame
        addDisk("sdd", 8, 48, true, true, 3900000);      // SD reader, write-protect switch on
        std::filesystem::create_directories(sysfs + "/devices/sr0");
        writeFile(sysfs + "/devices/sr0/removable", "1\n");
        writeFile(sysfs + "/devices/sr0/size", "9180416\n");
        std::filesystem::create_symlink("../../devices/sr0", sysfs + "/dev/block/11:0");

        udev[makedev(8, 17)] = {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "1234-ABCD"}, {"ID_FS_LABEL", "STICK"},
                                 {"ID_PART_ENTRY_NUMBER", "1"}, {"ID_VENDOR", "Maker"}, {"ID_MODEL", "Stick"}},
                                {{"idVendor", "0781"}, {"idProduct", "5567"}, {"serial", "4C530001"}, {"product", "Stick"}}};
        udev[makedev(8, 33)] = {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "FRAME-UUID"}, {"ID_PART_ENTRY_NUMBER", "1"}},
                                {{"idVendor", "1d6b"}, {"idProduct", "0104"}, {"serial", "DPF0042"}}};
        udev[makedev(8, 49)] = {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "5E1F-0001"}, {"ID_PART_ENTRY_NUMBER", "1"}},
                                {{"idVendor", "05e3"}, {"idProduct", "0751"}, {"serial", "000000001"}}};
        udev[makedev(11, 0)] = {{{"ID_CDROM", "1"}, {"ID_CDROM_MEDIA_DVD", "1"}, {"ID_FS_UUID", "2021-05-01-12-00-00-00"},
                                 {"ID_FS_LABEL", "HOLIDAY"}},
                                {}};
    }

    std::string mountTable() const
    {
        return "20 1 0:30 / / rw,relatime shared:1 - overlay overlay rw,lowerdir=/l,upperdir=/u,workdir=/w\n"
               "21 20 0:5 / /proc rw,nosuid - proc proc rw\n"
               "22 20 8:1 / /boot rw,relatime - ext4 /dev/sda1 rw\n"
               "23 20 0:25 / /run rw,nosuid - tmpfs tmpfs rw,mode=755\n"
               "30 20 8:17 / /media/" + user + "/STICK rw,nosuid,nodev - vfat /dev/sdb1 rw,fmask=0022\n"
               "31 20 8:33 / " + home + "/FRAME rw,nosuid,nodev - vfat /dev/sdc1 rw\n"
               "32 20 8:49 / /run/media/" + user + "/CARD rw,nosuid - vfat /dev/sdd1 rw\n"
               "33 20 11:0 / /media/" + user + "/HOLIDAY ro,nosuid - iso9660 /dev/sr0 ro\n"
               "34 20 0:60 / /mnt/share rw,relatime - cifs //server/photos rw,vers=3.1.1\n"
               "35 20 0:61 / /mnt/nas rw,relatime - nfs4 nas:/export/photos rw,vers=4.2\n"
               "36 20 0:45 /@photos /mnt/photos rw,relatime - btrfs /dev/sda2 rw,subvol=/@photos\n"
               "37 20 8:2 /etc/hosts.real " + home + "/notes.txt rw,relatime - ext4 /dev/sda2 rw\n"
               "38 20 7:3 / /snap/core/1 ro,nodev - squashfs /dev/loop3 ro\n";
    }

    VolumeFactsSources sources() const
    {
        VolumeFactsSources result;
        result.mountTableText = [table = mountTable()] { return table; };
        result.blockDevice = [devices = udev](dev_t device) -> std::optional<BlockDeviceFacts> {
            const auto found = devices.find(device);
            if (found == devices.end())
                return std::nullopt;
            return found->second;
        };
        result.homeFolder = home;
        result.userName = user;
        return result;
    }
};

struct Expected {
    std::string mountPoint;
    const char* type;
    bool frame;
    bool writable;
    std::string key;
    std::string relativePath;
};

std::map<std::string, Ref<ZovVolumeInfo>> describeVolumes(const Fixture& fixture)
{
    ScopedVolumeFactsSources facts(fixture.sources());
    VolumeLockSources locks;
    locks.sysfsRoot = fixture.sysfs;
    ScopedVolumeLockSources lockSources(locks);
    std::map<std::string, Ref<ZovVolumeInfo>> infos;
    std::int16_t refNum = -1;
    for (const MountTableEntry& mount : volumeMounts(parseMountTable(fixture.mountTable()), volumeFactsSources()))
        if (Ref<ZovVolumeInfo> info = ZovVolumeInfo::volumeInfoWithMount(mount, refNum--))
            infos[mount.mountPoint] = info;
    return infos;
}

} // namespace

TEST(VolumeInfo, FixtureTableGivesTypeCategoryWritabilityAndKey)
{
    Fixture fixture;
    const std::map<std::string, Ref<ZovVolumeInfo>> infos = describeVolumes(fixture);

    const std::vector<Expected> expected {
        {"/", "HD", false, true, "creationTime=overlay /;SerialNumber=(null);ZovVendorIDParameter=Unknown;"
                                 "ZovProductIDParameter=Unknown;DeviceType=HD;size=(null);PartitionID=(null);", "/"},
        {"/media/alice/STICK", "USB", false, true,
         "creationTime=1234-ABCD;SerialNumber=4C530001;ZovVendorIDParameter=1921;ZovProductIDParameter=21863;"
         "DeviceType=USB;size=8000000000;PartitionID=1;", "STICK"},
        {fixture.home + "/FRAME", "USB", true, true,
         "creationTime=FRAME-UUID;SerialNumber=DPF0042;ZovVendorIDParameter=7531;ZovProductIDParameter=260;"
         "DeviceType=USB;size=1024000000;PartitionID=1;", fixture.home + "/FRAME"},
        {"/run/media/alice/CARD", "USB", false, false,
         "creationTime=5E1F-0001;SerialNumber=000000001;ZovVendorIDParameter=1507;ZovProductIDParameter=1873;"
         "DeviceType=USB;size=1996800000;PartitionID=1;", "CARD"},
        {"/media/alice/HOLIDAY", "DVD", false, false,
         "creationTime=2021-05-01-12-00-00-00;SerialNumber=(null);ZovVendorIDParameter=Unknown;"
         "ZovProductIDParameter=Unknown;DeviceType=DVD;size=4700372992;PartitionID=0;", "HOLIDAY"},
        {"/mnt/share", "Nework", false, true,
         "creationTime=//server/photos /mnt/share;SerialNumber=(null);ZovVendorIDParameter=/mnt/share;"
         "ZovProductIDParameter=Unknown;DeviceType=Nework;size=(null);PartitionID=(null);", "share"},
        {"/mnt/nas", "Nework", false, true,
         "creationTime=nas:/export/photos /mnt/nas;SerialNumber=(null);ZovVendorIDParameter=/mnt/nas;"
         "ZovProductIDParameter=Unknown;DeviceType=Nework;size=(null);PartitionID=(null);", "nas"},
        {"/mnt/photos", "HD", false, true,
         "creationTime=/dev/sda2 /mnt/photos;SerialNumber=(null);ZovVendorIDParameter=Unknown;"
         "ZovProductIDParameter=Unknown;DeviceType=HD;size=(null);PartitionID=(null);", "photos"},
    };
    ASSERT_EQ(infos.size(), expected.size()) << "proc, /boot, /run, snaps and the bound file are no volumes";
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.mountPoint);
        ASSERT_TRUE(infos.count(e.mountPoint));
        const ZovVolumeInfo& info = *infos.at(e.mountPoint);
        EXPECT_EQ(info.type(), e.type);
        EXPECT_EQ(info.isPictureFrame(), e.frame);
        EXPECT_EQ(info.isWritable(), e.writable);
        EXPECT_EQ(info.key(), e.key);
        EXPECT_EQ(info.relativePath(), e.relativePath);
    }

    const ZovVolumeInfo& frame = *infos.at(fixture.home + "/FRAME");
    EXPECT_EQ(frame.deviceCategory(), ZovDeviceInfo::pictureFrameCategory());
    EXPECT_TRUE(frame.deviceHandledByUser());
    EXPECT_EQ(frame.displayName(), "Kitchen frame");
    EXPECT_EQ(frame.pictureFrameWidth().toInt64(), 800);
    EXPECT_EQ(frame.pictureFrameHeight().toInt64(), 600);
    EXPECT_EQ(frame.pictureFrameSize(), "7.5");
    EXPECT_EQ(frame.deviceUUID(), "FRAME-ID");

    const ZovVolumeInfo& stick = *infos.at("/media/alice/STICK");
    EXPECT_EQ(stick.name(), "STICK");
    EXPECT_FALSE(stick.deviceCategory());
    EXPECT_TRUE(stick.isRemovable());
    EXPECT_TRUE(stick.isEjectable());
    EXPECT_EQ(stick.deviceUUID(), stick.key());

    EXPECT_EQ(infos.at("/media/alice/HOLIDAY")->parameter("mediaType").toString(), "DVD-ROM");
    const ZovVolumeInfo& share = *infos.at("/mnt/share");
    EXPECT_EQ(share.url(), "smb://server/photos");
    EXPECT_EQ(share.parameter("url").toString(), "smb://server/photos");
    EXPECT_TRUE(share.parameter("mountPoint").isNull());
    EXPECT_EQ(infos.at("/mnt/nas")->parameter("mountPoint").toString(), "/mnt/nas");

    // The same devices give the same keys in another run.
    const std::map<std::string, Ref<ZovVolumeInfo>> again = describeVolumes(fixture);
    for (const auto& [mountPoint, info] : infos) {
        EXPECT_EQ(again.at(mountPoint)->key(), info->key()) << mountPoint;
        EXPECT_TRUE(again.at(mountPoint)->isEqual(*info));
    }
}

TEST(VolumeInfo, FrameCategoryWritesAndRemovesTheIdentityFile)
{
    Fixture fixture;
    const std::map<std::string, Ref<ZovVolumeInfo>> infos = describeVolumes(fixture);
    ZovVolumeInfo& frame = *infos.at(fixture.home + "/FRAME");
    const std::string file = fixture.home + "/FRAME/.VistelDPF-ID.xml";

    frame.setDeviceCategory(ZovDeviceInfo::generalUSBFileStorageCategory());
    EXPECT_NE(::access(file.c_str(), F_OK), 0);

    frame.setDisplayName("Hall frame");
    frame.setPictureFrameWidth(1024);
    frame.setDeviceCategory(ZovDeviceInfo::pictureFrameCategory());
    auto written = XMLDocumentID::createWithXMLFile(fixture.home + "/FRAME");
    ASSERT_TRUE(written);
    EXPECT_EQ(written->getDeviceUUID(), "FRAME-ID");
    EXPECT_EQ(written->getDisplayname(), "Hall frame");
    EXPECT_EQ(written->getFrameSize(), "7.5");
    EXPECT_EQ(written->getResolution().width, 1024.0f);
    EXPECT_EQ(written->getResolution().height, 600.0f);

    // A volume that answers has free space to tell.
    EXPECT_TRUE(frame.verifySynchronously());
    EXPECT_GT(frame.freeBytes(), 0u);
}

TEST(VolumeInfo, DeadShareAnswersWithoutWaitingForIt)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool shareAnswers = false;
    std::atomic<int> reads {0};
    VolumeFactsSources sources;
    sources.blockDevice = [](dev_t) { return std::nullopt; };
    sources.userName = user;
    sources.freeBytes = [&](const std::string&) -> std::optional<std::uint64_t> {
        ++reads;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return shareAnswers; });
        return 1234;
    };
    ScopedVolumeFactsSources facts(sources);
    const std::vector<MountTableEntry> table
        = parseMountTable("34 20 0:60 / /mnt/share rw,relatime - cifs //server/photos rw\n");
    Ref<ZovVolumeInfo> share = ZovVolumeInfo::volumeInfoWithMount(table.at(0), -1);

    EXPECT_FALSE(share->verifySynchronously()) << "a share that does not answer is not available";
    EXPECT_EQ(share->freeBytes(), 0u);
    EXPECT_EQ(reads, 1) << "the stuck read is waited for again, not started again";

    {
        std::lock_guard lock(mutex);
        shareAnswers = true;
    }
    changed.notify_all();
    EXPECT_TRUE(share->verifySynchronously());
    EXPECT_EQ(share->freeBytes(), 1234u);
}

TEST(VolumeInfo, MountTableFieldsAndOptions)
{
    const std::vector<MountTableEntry> table = parseMountTable(
        "36 25 8:17 / /media/alice/My\\040Card rw,nosuid shared:7 master:1 - vfat /dev/sdb1 ro,fmask=0022\n"
        "bad line\n"
        "37 25 0:50 /sub /mnt/x rw - tmpfs tmpfs rw,size=4096k\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].mountId, 36);
    EXPECT_EQ(table[0].parentId, 25);
    EXPECT_EQ(table[0].mountPoint, "/media/alice/My Card");
    EXPECT_EQ(table[0].device, makedev(8, 17));
    EXPECT_EQ(table[0].mountOptions, "rw,nosuid");
    EXPECT_EQ(table[0].superOptions, "ro,fmask=0022");
    EXPECT_TRUE(table[0].hasOption("ro")) << "read-only file system";
    EXPECT_FALSE(table[0].hasOption("fmask"));
    EXPECT_EQ(table[1].root, "/sub");
    EXPECT_FALSE(table[1].hasOption("ro"));
}

TEST(VolumeInfo, RelativePathsAndFrameSizes)
{
    VolumeFactsSources sources;
    sources.userName = user;
    sources.blockDevice = [](dev_t) { return std::nullopt; };
    ScopedVolumeFactsSources facts(sources);
    const std::pair<const char*, const char*> paths[] = {
        {"/", "/"},
        {"/media/alice/Card", "Card"},
        {"/run/media/alice/Card", "Card"},
        {"/media/Card", "Card"},
        {"/mnt/Card", "Card"},
        {"/volumes/Card", "Card"},
        {"/srv/photos", "/srv/photos"},
        {"/media/bob/Card", "bob/Card"},
    };
    for (const auto& [mountPoint, relative] : paths) {
        MountTableEntry mount;
        mount.mountPoint = mountPoint;
        mount.fileSystem = "tmpfs";
        mount.source = "tmpfs";
        EXPECT_EQ(ZovVolumeInfo::volumeInfoWithMount(mount, -1)->relativePath(), relative) << mountPoint;
    }

    const std::pair<double, const char*> sizes[] = {{7, "7"}, {7.5, "7.5"}, {1234, "1,234"}, {1234567.25, "1,234,567.2"},
                                                    {10.04, "10"}};
    for (const auto& [size, text] : sizes)
        EXPECT_EQ(ZovVolumeInfo::frameSizeText(size), text) << size;
}

namespace {

class TestDevice : public ZovDeviceInfo {
public:
    using ZovDeviceInfo::generateDeviceKey;
    using ZovDeviceInfo::setKey;
    using ZovDeviceInfo::setType;
    TestDevice() { setName("Device"); }
};

} // namespace

TEST(DeviceInfo, ParametersAndKeys)
{
    auto device = Ref<TestDevice>::adopt(new TestDevice());
    device->setVendorID(Value());
    EXPECT_EQ(device->vendorID(), "Unknown");
    device->setVendorID(1452);
    EXPECT_EQ(device->vendorID(), "1452");
    EXPECT_EQ(device->displayName(), "Device");
    device->setDisplayName(std::nullopt);
    EXPECT_EQ(device->displayName(), "Device");
    device->setDisplayName("Shown");
    EXPECT_EQ(device->displayName(), "Shown");
    device->setDeviceModelVersion("2");
    device->setDeviceModelVersion(std::nullopt);
    EXPECT_EQ(device->setDeviceModelVersion(), "2");

    EXPECT_EQ(device->generateDeviceKey({"DeviceModelVersion", "Missing", "DeviceModelVersion"}),
              "DeviceModelVersion=2;Missing=(null);DeviceModelVersion=2;");
    try {
        device->setKey("");
        FAIL() << "an empty key is refused";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "Invalid key");
        EXPECT_EQ(e.reason(), "- (void) setKey : (NSString *) deviceKey");
    }

    auto other = Ref<TestDevice>::adopt(new TestDevice());
    device->setKey("same");
    other->setKey("same");
    device->setType(DeviceType::USB);
    other->setType(DeviceType::USB);
    EXPECT_TRUE(device->isEqual(*other));
    other->setType(DeviceType::ImageCapture);
    EXPECT_FALSE(device->isEqual(*other));
}
