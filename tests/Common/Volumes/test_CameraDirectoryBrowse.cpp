// A real camera without hardware: libgphoto2's "Directory Browse" driver over a fixture
// folder, attached through the volume manager: registration, paths, reads, deletes, copies.

#include <gtest/gtest.h>

#include <filesystem>

#include <QImage>

#include "CameraTestSupport.h"
#include "Common/FileSystem/FSObjectInfo.h"
#include "Common/Strings/NSStringDevices.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/PlatformImage.h"
#include "VolumeTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using namespace vistel::test;

namespace {

class DirectoryBrowseCamera : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(card / "DCIM/100MEDIA");
        std::filesystem::create_directories(card / "DCIM/101MEDIA");
        writeBytes(card / "DCIM/100MEDIA/IMG_0001.JPG", first);
        writeBytes(card / "DCIM/101MEDIA/IMG_0001.JPG", second);
        writeBytes(card / "DCIM/101MEDIA/IMG_0002.JPG", third);
        recorder = SignalRecorder::create(*registry.manager);
        camera = registry.manager->handleDeviceAdded("Directory Browse", "disk:" + card.path());
        ASSERT_TRUE(camera) << "the Directory Browse driver did not open " << card.path();
        root = camera->mountPoint();
    }

    TemporaryFolder card {"vistel-camera"};
    const std::vector<std::uint8_t> first = patternBytes(300000, 1);
    const std::vector<std::uint8_t> second = patternBytes(5000, 2);
    const std::vector<std::uint8_t> third = patternBytes(10, 3);
    CameraRegistry registry;
    Ref<SignalRecorder> recorder;
    Ref<ZovImageCaptureDeviceInfo> camera;
    std::string root;
};

TEST_F(DirectoryBrowseCamera, RegistersUnderItsIdentifierWithOneMountedSignal)
{
    EXPECT_TRUE(recorder->waitFor(1, 0));
    EXPECT_EQ(recorder->mounted.at(0).get(), camera.get());
    const std::int64_t identifier = camera->icaObject();
    EXPECT_EQ(root, "ICA:/" + std::to_string(identifier));
    EXPECT_GT(std::int16_t(identifier & 0xFFFF), 0); // never meets reference numbers nor 0
    EXPECT_EQ(camera->type(), "kZVMDeviceTypeImageCapture");
    EXPECT_EQ(camera->key(), "disk:" + card.path()); // no serial number: the port
    EXPECT_EQ(registry.manager->volumeInfoForPath(root).get(), camera.get());
    EXPECT_EQ(registry.manager->volumeInfoForPath(root + "/IMG_0002.JPG").get(), camera.get());
    EXPECT_FALSE(registry.manager->volumeInfoForPath("ICA:/" + std::to_string(identifier + 1) + "/IMG_0002.JPG"));
    EXPECT_EQ(registry.manager->imageCaptureDeviceInfoByICAObject(identifier).get(), camera.get());
    EXPECT_EQ(registry.manager->displayNameFromPath(root), "Directory Browse");

    // Attached again on the same port: a reload, not a second camera, that sees what changed.
    writeBytes(card / "DCIM/101MEDIA/IMG_0003.JPG", patternBytes(20, 4));
    EXPECT_EQ(registry.manager->handleDeviceAdded("Directory Browse", "disk:" + card.path()).get(), camera.get());
    EXPECT_TRUE(camera->fileSystemObjectWithName("IMG_0003.JPG"));
    registry.manager->handleDeviceRemoved(identifier);
    EXPECT_TRUE(recorder->waitFor(1, 1));
    EXPECT_FALSE(registry.manager->volumeInfoForPath(root));
    EXPECT_FALSE(FileSystemFunctions::fileExistsAtPath(root));
}

TEST_F(DirectoryBrowseCamera, SameNameInTwoFoldersIsTwoFilesEachReadingItsOwnBytes)
{
    std::vector<std::string> names;
    for (const Ref<CameraFileObject>& object : camera->fileSystemObjectsArray())
        names.push_back(object->name());
    EXPECT_EQ(names, (std::vector<std::string> {"IMG_0001 (100MEDIA).JPG", "IMG_0001 (101MEDIA).JPG", "IMG_0002.JPG"}));

    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
    };
    for (const Case& c : {Case {"IMG_0001 (100MEDIA).JPG", first}, Case {"IMG_0001 (101MEDIA).JPG", second},
                          Case {"IMG_0002.JPG", third}}) {
        StatusCode error = 1;
        const auto data = ZovVolumeManager::dataOfCameraPath(root + "/" + c.name, &error);
        ASSERT_TRUE(data) << c.name;
        EXPECT_EQ(error, 0);
        EXPECT_EQ(*data, c.bytes) << c.name;
        bool folder = true;
        EXPECT_TRUE(FileSystemFunctions::fileExistsAtPath(root + "/" + c.name, &folder));
        EXPECT_FALSE(folder);
        EXPECT_EQ(FileSystemFunctions::fileAttributesAtPath(root + "/" + c.name, false)["NSFileSize"].toInt64(),
                  std::int64_t(c.bytes.size()));
    }
    StatusCode error = 0;
    EXPECT_FALSE(ZovVolumeManager::dataOfCameraPath(root + "/IMG_0001.JPG", &error)); // names two files
    EXPECT_EQ(error, status::NoSuchObject);
    EXPECT_FALSE(ZovVolumeManager::dataOfCameraPath("ICA:/31999/IMG_0002.JPG", &error));
    EXPECT_EQ(error, status::NoSuchObject);

    bool folder = false;
    EXPECT_TRUE(FileSystemFunctions::fileExistsAtPath(root, &folder));
    EXPECT_TRUE(folder);
    EXPECT_FALSE(FileSystemFunctions::fileExistsAtPath(root + "/README", &folder));
    EXPECT_FALSE(folder);
}

TEST_F(DirectoryBrowseCamera, DeletingOneOfTwoSameNamedFilesLeavesTheOther)
{
    const Ref<FSObjectInfo> item = FSObjectInfo::createWithICAStringPath(root + "/IMG_0001 (101MEDIA).JPG");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->deletePermanentlyFSObject(), 0);
    EXPECT_FALSE(std::filesystem::exists(card / "DCIM/101MEDIA/IMG_0001.JPG"));
    EXPECT_EQ(fileBytes(card / "DCIM/100MEDIA/IMG_0001.JPG"), first);
    EXPECT_FALSE(FileSystemFunctions::fileExistsAtPath(root + "/IMG_0001 (101MEDIA).JPG"));
    const auto data = ZovVolumeManager::dataOfCameraPath(root + "/IMG_0001 (100MEDIA).JPG");
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, first);
}

TEST_F(DirectoryBrowseCamera, CopyWritesAnIdenticalFileAndLeavesTheSource)
{
    TemporaryFolder target;
    CopyReports copy;
    // Type 4 (move) from a camera is a copy.
    const Ref<FileOperationRecord> record = FileSystemFunctions::FSPathObjectsOperationAsyncEx(
        (root + "/IMG_0001 (100MEDIA).JPG").c_str(), target.path().c_str(), std::string("copy.jpg"), 0,
        copy.callback(), 0.1, nullptr, kFileOperationMove);
    EXPECT_EQ(record->error(), 0);
    ASSERT_TRUE(copy.waitForFinal());
    EXPECT_EQ(copy.reports.back().error, 0);
    EXPECT_EQ(copy.reports.back().bytesDone, first.size());
    EXPECT_TRUE(copy.onMainThread);
    // 300,000 bytes: progress after 81,920, 163,840 and 245,760.
    EXPECT_EQ(copy.progress(), (std::vector<std::uint64_t> {81920, 163840, 245760}));
    EXPECT_EQ(fileBytes(target / "copy.jpg"), first);
    EXPECT_EQ(fileBytes(card / "DCIM/100MEDIA/IMG_0001.JPG"), first);
    EXPECT_TRUE(FileSystemFunctions::fileExistsAtPath(root + "/IMG_0001 (100MEDIA).JPG"));

    // Moving a camera file to the Trash is refused.
    EXPECT_EQ(FileSystemFunctions::FSPathObjectsOperationAsyncEx((root + "/IMG_0002.JPG").c_str(),
                                                                 target.path().c_str(), std::nullopt, 0, copy.callback(),
                                                                 0.1, nullptr, kFileOperationMoveToTrash)
                  ->error(),
              status::OperationNotSupported);
}

TEST_F(DirectoryBrowseCamera, CopyOfAFileThatIsNotThereEndsWithOneFinalReport)
{
    TemporaryFolder target;
    CopyReports copy;
    FileSystemFunctions::FSPathObjectsOperationAsyncEx((root + "/GONE.JPG").c_str(), target.path().c_str(),
                                                       std::nullopt, 0, copy.callback(), 0.1, nullptr,
                                                       kFileOperationCopy);
    ASSERT_TRUE(copy.waitForFinal());
    EXPECT_EQ(copy.reports.back().error, status::NoSuchObject);
    EXPECT_TRUE(std::filesystem::is_empty(target.path()));
}

void writeJpeg(const std::string& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const Ref<ImageDestination> destination = ImageDestination::createWithPath(path, "public.jpeg");
    ASSERT_TRUE(destination && destination->addImage(PlatformImage::fromQImage(image)) && destination->finalize());
}

TEST(DirectoryBrowseCameraPictures, EachSameNamedPictureHasItsOwnThumbnail)
{
    TemporaryFolder card {"vistel-camera"};
    std::filesystem::create_directories(card / "DCIM/100MEDIA");
    std::filesystem::create_directories(card / "DCIM/101MEDIA");
    writeJpeg(card / "DCIM/100MEDIA/IMG_0001.JPG", 64, 48);
    writeJpeg(card / "DCIM/101MEDIA/IMG_0001.JPG", 30, 40);
    CameraRegistry registry;
    const Ref<ZovImageCaptureDeviceInfo> camera =
        registry.manager->handleDeviceAdded("Directory Browse", "disk:" + card.path());
    ASSERT_TRUE(camera);
    struct Case {
        std::string name;
        std::size_t width, height;
    };
    for (const Case& c : {Case {"IMG_0001 (100MEDIA).JPG", 64, 48}, Case {"IMG_0001 (101MEDIA).JPG", 30, 40}}) {
        const Ref<RIReperesentation> thumbnail =
            RIReperesentation::createWithSmallThumbnailForPath(camera->mountPoint() + "/" + c.name, 128, 1);
        ASSERT_TRUE(thumbnail) << c.name;
        EXPECT_EQ(thumbnail->pixelsWide(), c.width) << c.name;
        EXPECT_EQ(thumbnail->pixelsHigh(), c.height) << c.name;
    }
}

} // namespace
