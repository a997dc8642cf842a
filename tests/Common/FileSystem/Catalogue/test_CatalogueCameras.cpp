// A camera in the catalogue: libgphoto2's "Directory Browse" driver over a fixture card,
// attached to the program's volume manager, listed by the folder thread into the catalogue and
// given thumbnails by the file thread.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QImage>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Imaging/PlatformImage.h"
#include "../../Volumes/VolumeTestSupport.h"

namespace vistel::test {
namespace {

Value::Bytes jpegOf(int width, int height, Qt::GlobalColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    Ref<ImageDestination> destination = ImageDestination::createWithData("public.jpeg");
    destination->addImage(PlatformImage::fromQImage(image));
    destination->finalize();
    return Value::Bytes(destination->data().begin(), destination->data().end());
}

void writeFile(const std::string& path, const Value::Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

class CatalogueCameraTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogueForUpdates();
        std::filesystem::create_directories(card_ / "DCIM/100MEDIA");
        std::filesystem::create_directories(card_ / "DCIM/101MEDIA");
        writeFile(card_ / "DCIM/100MEDIA/IMG_0001.JPG", first_);
        writeFile(card_ / "DCIM/101MEDIA/IMG_0001.JPG", second_);
        writeFile(card_ / "DCIM/101MEDIA/IMG_0002.JPG", jpegOf(64, 64, Qt::green));
    }
    void TearDown() override
    {
        database_->stopJobs();
        if (camera_)
            ZovVolumeManager::sharedVolumeManager().handleDeviceRemoved(camera_->icaObject());
        CatalogueTest::TearDown();
    }

    TemporaryFolder card_ {"vistel-camera-card"};
    const Value::Bytes first_ = jpegOf(96, 48, Qt::red);
    const Value::Bytes second_ = jpegOf(40, 80, Qt::blue);
    Ref<ZovImageCaptureDeviceInfo> camera_;
};

TEST_F(CatalogueCameraTest, ListingShowsEveryFileAndNameTwinsAsDistinctItemsWithTheirOwnThumbnails)
{
    ZovVolumeManager& manager = ZovVolumeManager::sharedVolumeManager();
    // Connected after the catalogue: once it heard the mount, so did the catalogue.
    Ref<SignalRecorder> heard = SignalRecorder::create(manager);
    camera_ = manager.handleDeviceAdded("Directory Browse", "disk:" + card_.path());
    if (!camera_)
        VISTEL_SKIP_UNAVAILABLE() << "the Directory Browse driver of libgphoto2 is not installed";
    const std::string root = camera_->mountPoint();
    ASSERT_TRUE(heard->waitFor(1, 0));

    // The mount gave the camera its Volume item.
    Ref<FileSystemItemMO> item;
    for (const auto& volume : database_->volumes())
        if (volume->uuid() == camera_->key())
            item = volume;
    ASSERT_TRUE(item);
    EXPECT_EQ(item->fullPath(), root);
    EXPECT_TRUE(FileSystemFunctions::iconForFile(root));
    // Only the camera's root is a folder.
    EXPECT_TRUE(DirectoryEnumerator::enumeratorWithPath(root + "/"));
    EXPECT_FALSE(DirectoryEnumerator::enumeratorWithPath(root + "/IMG_0002.JPG"));

    item->setRefreshStatus(kRefreshStatusNotVerified);
    item->enqueueRefresh();
    ASSERT_TRUE(spinUntil([&] { return item->refreshStatus() == 0; }, 20000));
    std::vector<std::string> names;
    for (const auto& child : item->elements())
        if (child->valid())
            names.push_back(child->name());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> {"IMG_0001 (100MEDIA).JPG", "IMG_0001 (101MEDIA).JPG", "IMG_0002.JPG"}));

    // Each twin is its own item with the thumbnail of its own picture.
    struct Case {
        const char* name;
        const Value::Bytes& bytes;
        bool wide;
    };
    for (const Case& c : {Case {"IMG_0001 (100MEDIA).JPG", first_, true}, Case {"IMG_0001 (101MEDIA).JPG", second_, false}}) {
        SCOPED_TRACE(c.name);
        Ref<FileSystemItemMO> file = item->childWithName(c.name);
        ASSERT_TRUE(file);
        EXPECT_FALSE(file->isFolder());
        EXPECT_EQ(file->size(), std::optional<std::uint64_t>(c.bytes.size()));
        const RIReperesentation::Data data = RIReperesentation::dataAtPath(file->fullPath());
        ASSERT_TRUE(data);
        EXPECT_EQ(*data, c.bytes);
        file->enqueueRefresh();
        ASSERT_TRUE(spinUntil([&] { return !file->hasPendingRefreshStatusRequests(); }, 20000));
        Ref<MultiImage> thumbnail = file->thumbnailImage();
        ASSERT_TRUE(thumbnail);
        const QSizeF size = thumbnail->size();
        EXPECT_EQ(size.width() > size.height(), c.wide) << size.width() << " x " << size.height();
    }
    EXPECT_NE(item->childWithName("IMG_0001 (100MEDIA).JPG"), item->childWithName("IMG_0001 (101MEDIA).JPG"));

    // A camera path is walked from the hidden "Volumes" folder through the camera's item.
    PathUpdaterEnds ends;
    ASSERT_TRUE(database_->enqueueRefreshPath(root + "/IMG_0002.JPG", &ends));
    ASSERT_TRUE(spinUntil([&] { return !ends.calls.empty(); }, 20000));
    EXPECT_TRUE(ends.calls[0].status);
    EXPECT_EQ(ends.calls[0].item, item->childWithName("IMG_0002.JPG"));

    // The camera changes and is reloaded: the write it announces for its root lists it again,
    // with no other action.
    writeFile(card_ / "DCIM/101MEDIA/IMG_0003.JPG", jpegOf(32, 32, Qt::yellow));
    ASSERT_EQ(manager.handleDeviceAdded("Directory Browse", "disk:" + card_.path()), camera_);
    EXPECT_TRUE(spinUntil(
        [&] {
            Ref<FileSystemItemMO> added = item->childWithName("IMG_0003.JPG");
            return added && added->valid();
        },
        20000));
}

} // namespace
} // namespace vistel::test
