// A card mounting, going and coming back, seen by the catalogue: a tmpfs mounted at
// /media/<user>/CARD in this process's own mount namespace, below a /media of its own, where
// the system allows one (as root without that, in the machine's: two runs at once would then
// meet). Skipped when mounting is refused.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "CatalogueTestSupport.h"
#include "MediaTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Common/XML/XMLDocumentID.h"

using namespace vistel;
using vistel::test::CatalogueTest;
using vistel::test::MediaNotices;
using vistel::test::spinUntil;

namespace {

// Before main(), while the process has one thread: the card's folder lies in a /media only
// this process sees.
const bool privateMedia = vistel::test::usePrivateMediaFolder();

class CatalogueMountsTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        card_ = cardFolder_.emplace().path();
    }
    void TearDown() override
    {
        cardFolder_.reset();
        CatalogueTest::TearDown();
    }
    bool mount() { return mounted_ = ::mount("tmpfs", card_.c_str(), "tmpfs", 0, "size=1m") == 0; }
    void unmount()
    {
        if (mounted_)
            mounted_ = ::umount2(card_.c_str(), MNT_DETACH) != 0;
    }
    // Mounts the card and answers its volume item once "MountMedia" told of it.
    Ref<FileSystemVolumeMO> mountCard(MediaNotices& notices)
    {
        const std::size_t before = notices.posted.size();
        if (!mount() || !spinUntil([&] { return notices.posted.size() > before; }, 10000))
            return {};
        return notices.posted.back().userInfo.get("FileSystemItemMO").toObject<FileSystemVolumeMO>();
    }
    bool listed(MediaDatabase& database, const Ref<FileSystemItemMO>& item)
    {
        const auto& volumes = database.volumes();
        return std::find(volumes.begin(), volumes.end(), item) != volumes.end();
    }

    std::optional<vistel::test::MediaCardFolder> cardFolder_;
    std::string card_;
    bool mounted_ = false;
};

} // namespace

TEST_F(CatalogueMountsTest, ACardKeepsItsItemAcrossMountsAndNoFolderIsMadeForIt)
{
    MediaDatabase& database = openCatalogue();
    const std::size_t before = database.volumes().size();
    MediaNotices notices;
    if (!mount())
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here"
                                  << (privateMedia ? "" : " (no private mount namespace)");

    ASSERT_TRUE(spinUntil([&] { return !notices.posted.empty(); }, 10000));
    ASSERT_EQ(notices.posted.size(), 1u);
    const Notification mounted = notices.posted[0];
    EXPECT_EQ(mounted.name, "MountMedia");
    EXPECT_EQ(mounted.object.get(), &database);
    const Ref<ZovDeviceInfo> info = ZovVolumeManager::sharedVolumeManager().volumeInfoForMountPoint(card_);
    ASSERT_TRUE(info);
    EXPECT_EQ(mounted.userInfo.get("ProductName").toString(), info->productID());
    EXPECT_EQ(mounted.userInfo.get("VendorName").toString(), info->vendorID());
    EXPECT_FALSE(info->productID().empty());

    auto card = mounted.userInfo.get("FileSystemItemMO").toObject<FileSystemItemMO>();
    ASSERT_TRUE(card);
    EXPECT_EQ(card->uuid(), info->key());
    EXPECT_EQ(card->name(), "CARD");
    EXPECT_EQ(card->fullPath(), card_);
    EXPECT_EQ(card->parent(), database.volumesFolder());
    EXPECT_TRUE(listed(database, card));
    EXPECT_EQ(database.volumes().size(), before + 1);
    EXPECT_EQ(database.volumeItemForPath(card_ + "/DCIM/x.jpg"), card);

    // Items below the card, listed from it, resolve through its item; no Folder "CARD" is ever
    // made.
    std::filesystem::create_directories(card_ + "/DCIM");
    std::ofstream(card_ + "/DCIM/x.jpg") << "x";
    struct Found : IMediaDatabaseRefreshPathObserver {
        void notifyFSItemUpdated(FileSystemItemMO* item, const std::string&, bool status) override
        {
            found = status ? Ref<FileSystemItemMO>(item) : Ref<FileSystemItemMO>();
            ended = true;
        }
        Ref<FileSystemItemMO> found;
        bool ended = false;
    } refreshed;
    ASSERT_TRUE(database.enqueueRefreshPath(card_ + "/DCIM/x.jpg", &refreshed));
    ASSERT_TRUE(spinUntil([&] { return refreshed.ended; }, 20000));
    const Ref<FileSystemItemMO> picture = refreshed.found;
    ASSERT_TRUE(picture);
    const Ref<FileSystemItemMO> dcim = picture->parent();
    EXPECT_EQ(dcim->parent(), card);
    EXPECT_EQ(picture->fullPath(), card_ + "/DCIM/x.jpg");
    EXPECT_EQ(database.findExistingItemForPath(card_ + "/DCIM/x.jpg"), picture);
    EXPECT_EQ(database.findExistingItemForPath(card_), card);
    ASSERT_TRUE(spinUntil([&] { return dcim->refreshStatus() == 0 && card->refreshStatus() == 0; }, 20000))
        << "the card and its folder are listed";
    picture->setDatabaseRating(Value(4));
    EXPECT_TRUE(database.searchObjectsBy("name==%@", {Value("CARD")}, 10, "Folder")->empty());
    database.saveChanges();

    unmount();
    ASSERT_TRUE(spinUntil([&] { return notices.posted.size() == 2; }, 10000));
    const Notification gone = notices.posted[1];
    EXPECT_EQ(gone.name, "UnmountMedia");
    EXPECT_EQ(gone.userInfo.get("FileSystemItemMO").toObject<FileSystemItemMO>(), card);
    EXPECT_EQ(gone.userInfo.get("ProductName").toString(), info->productID());
    EXPECT_FALSE(listed(database, card));
    EXPECT_FALSE(card->isValid());
    EXPECT_FALSE(card->isWritable());
    EXPECT_FALSE(database.findExistingItemForPath(card_ + "/DCIM/x.jpg"));

    ASSERT_TRUE(mount());
    ASSERT_TRUE(spinUntil([&] { return notices.posted.size() == 3; }, 10000));
    EXPECT_EQ(notices.posted[2].name, "MountMedia");
    auto again = notices.posted[2].userInfo.get("FileSystemItemMO").toObject<FileSystemItemMO>();
    EXPECT_EQ(again, card);
    EXPECT_TRUE(card->isValid());
    // What was listed before the card went is not verified any more, down the whole tree.
    EXPECT_EQ(card->refreshStatus(), kRefreshStatusNotVerified);
    EXPECT_EQ(dcim->refreshStatus(), kRefreshStatusNotVerified);
    EXPECT_EQ(picture->refreshStatus(), kRefreshStatusNotVerified);
    EXPECT_EQ(database.findExistingItemForPath(card_ + "/DCIM/x.jpg"), picture);
    EXPECT_EQ(picture->databaseRating().toString(), "4");
    test::spinEvents(200);
    EXPECT_EQ(notices.posted.size(), 3u);
}

TEST_F(CatalogueMountsTest, AFrameIsRenamedInItsIdentityFileAndKeepsItsOptionsWhileAway)
{
    MediaDatabase& database = openCatalogue();
    database.volumes();
    MediaNotices notices;
    Ref<FileSystemVolumeMO> frame = mountCard(notices);
    if (!frame)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    frame->setDeviceCategory(ZovDeviceInfo::pictureFrameCategory());
    frame->setPictureFrameResolution({800, 600});
    ASSERT_TRUE(frame->isDPFDevice());
    const auto info = dynamicRefCast<ZovVolumeInfo>(frame->getDeviceInfo());

    EXPECT_TRUE(frame->setVolumeName("Kitchen"));
    EXPECT_EQ(frame->volumeName(), "Kitchen");
    EXPECT_EQ(frame->name(), "CARD");
    EXPECT_EQ(frame->fullPath(), card_);
    // The identity file holds exactly the document of the frame under its new name.
    test::TemporaryFolder expected;
    XMLDocumentID::createWithParameters(info->deviceUUID(), "Kitchen", 800, 600, std::nullopt)->saveToFile(expected.path());
    const std::string written = test::commandOutput("cat " + test::shellQuoted(card_ + "/.VistelDPF-ID.xml"));
    EXPECT_NE(written.find("<displayname>Kitchen</displayname>"), std::string::npos) << written;
    EXPECT_EQ(written, test::commandOutput("cat " + test::shellQuoted(expected / ".VistelDPF-ID.xml")));
    EXPECT_EQ(frame->pictureFrameResolution(), (ItemSize {800, 600}));

    // Detached, the frame answers its options from the store.
    frame->setPictureFrameModel("Model 7");
    unmount();
    ASSERT_TRUE(spinUntil([&] { return notices.posted.back().name == "UnmountMedia"; }, 10000));
    EXPECT_FALSE(frame->getDeviceInfo());
    EXPECT_FALSE(frame->isDPFDevice());
    EXPECT_EQ(frame->pictureFrameResolution(), (ItemSize {800, 600}));
    EXPECT_EQ(frame->pictureFrameModel(), "Model 7");
    EXPECT_EQ(frame->deviceCategory(), ZovDeviceInfo::pictureFrameCategory());
    EXPECT_EQ(frame->volumeName(), "CARD");
}
