// Camera file data through a camera in memory: steps and progress, downloads before
// thumbnails, the object cache, refused deletes, huge non-pictures, failed and cancelled copies.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "CameraTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using namespace vistel::test;
using namespace std::chrono_literals;

namespace {

constexpr std::uint64_t Step = ZovImageCaptureDeviceInfo::DownloadStep;

struct Camera {
    explicit Camera(std::function<void(FakeCamera&)> setUp = {})
    {
        fake = std::make_shared<FakeCamera>();
        fake->add("/DCIM/100MEDIA", "IMG_0001.JPG", patternBytes(Step * 5 / 2, 7)); // 2.5 steps
        fake->add("/DCIM/100MEDIA", "IMG_0002.JPG", patternBytes(1000, 8));
        if (setUp)
            setUp(*fake);
        info = ZovImageCaptureDeviceInfo::create(41, fake, "usb:001,002", {}, &releaser);
    }
    Ref<CameraFileObject> object(const std::string& name) { return info->fileSystemObjectWithName(name); }
    std::string path(const std::string& name) const { return info->mountPoint() + "/" + name; }

    // A trim at any level clears everything: the limit is one byte.
    ObjectsCacheReleaser releaser {std::make_unique<ObjectsCachePolicy>(1000, 1, 240.0)};
    std::shared_ptr<FakeCamera> fake;
    Ref<ZovImageCaptureDeviceInfo> info;
};

void copy(Camera& camera, const std::string& name, const std::string& folder, CopyReports& reports,
          std::function<void(const CopyReports::Report&)> onReport = {},
          Ref<FileOperationRecord> record = FileSystemFunctions::createFileOperation())
{
    ZovImageCaptureDeviceInfo::startDownload(
        camera.info, {camera.path(name), folder, std::nullopt, record, reports.callback(onReport), nullptr});
    ASSERT_TRUE(reports.waitForFinal());
}

TEST(CameraDataCache, DownloadReportsProgressBetweenStepsAndOneFinalReport)
{
    struct Case {
        std::string name;
        std::vector<std::uint64_t> progress;
    };
    // 2.5 steps: two reports; one step or less: none.
    for (const Case& c : {Case {"IMG_0001.JPG", {Step, 2 * Step}}, Case {"IMG_0002.JPG", {}}}) {
        Camera camera;
        TemporaryFolder target;
        CopyReports reports;
        copy(camera, c.name, target.path(), reports);
        EXPECT_EQ(reports.progress(), c.progress) << c.name;
        EXPECT_EQ(reports.reports.front().stage, kFSOperationStagePreflighting);
        EXPECT_EQ(reports.reports.back().error, 0);
        EXPECT_EQ(reports.reports.back().bytesDone, camera.object(c.name)->size());
        EXPECT_TRUE(reports.onMainThread);
        EXPECT_EQ(fileBytes(target / c.name), camera.fake->files.at(c.name == "IMG_0001.JPG" ? 0 : 1).bytes);
    }
}

TEST(CameraDataCache, FailedOrCancelledCopyEndsWithOneNegativeReportAndNoFile)
{
    struct Case {
        const char* what;
        bool cancel;
        StatusCode expected;
    };
    for (const Case& c : {Case {"read failure", false, status::IOError}, Case {"cancel", true, status::UserCanceled}}) {
        const Ref<FileOperationRecord> record = FileSystemFunctions::createFileOperation();
        Camera camera([&](FakeCamera& fake) {
            if (!c.cancel)
                fake.failAtOffset = Step;
            else // the user cancels while the second step is read
                fake.onRangeRead = [record](std::uint64_t offset) {
                    if (offset == Step)
                        record->cancel();
                };
        });
        TemporaryFolder target;
        CopyReports reports;
        copy(camera, "IMG_0001.JPG", target.path(), reports, {}, record);
        EXPECT_EQ(reports.reports.back().error, c.expected) << c.what;
        EXPECT_TRUE(std::filesystem::is_empty(target.path())) << c.what;
        // Nothing was kept: the next read goes to the camera again.
        EXPECT_EQ(camera.info->fileSystemObjectDataCache(camera.object("IMG_0001.JPG"))->length(), 0u) << c.what;
    }
}

TEST(CameraDataCache, FailedReadAnswersNoSuchObject)
{
    Camera camera([](FakeCamera& fake) { fake.failAtOffset = 0; });
    StatusCode error = 0;
    EXPECT_FALSE(camera.info->fileSystemObjectData(camera.object("IMG_0002.JPG"), &error));
    EXPECT_EQ(error, status::NoSuchObject);
}

TEST(CameraDataCache, ThumbnailReadWaitsForTheCamerasDownload)
{
    Camera camera([](FakeCamera& fake) { fake.stepDelay = 40ms; });
    TemporaryFolder target;
    CopyReports reports;
    std::thread thumbnail;
    copy(camera, "IMG_0001.JPG", target.path(), reports, [&](const CopyReports::Report& report) {
        // Started while the download runs (after its first step).
        if (report.stage == kFSOperationStageRunning && !thumbnail.joinable())
            thumbnail = std::thread([&] { camera.info->fileSystemObjectData(camera.object("IMG_0002.JPG")); });
    });
    ASSERT_TRUE(thumbnail.joinable());
    thumbnail.join();
    std::lock_guard lock(camera.fake->mutex);
    FakeCamera::Clock::time_point downloadEnd {}, thumbnailStart {};
    for (const auto& [name, time] : camera.fake->readEnds)
        if (name == "IMG_0001.JPG")
            downloadEnd = std::max(downloadEnd, time);
    for (const auto& [name, time] : camera.fake->readStarts)
        if (name == "IMG_0002.JPG")
            thumbnailStart = time;
    ASSERT_NE(thumbnailStart, FakeCamera::Clock::time_point {});
    EXPECT_GE(thumbnailStart, downloadEnd);
}

TEST(CameraDataCache, SecondReadIsServedFromTheCacheUntilATrim)
{
    Camera camera;
    const Ref<CameraFileObject> object = camera.object("IMG_0002.JPG");
    const auto first = camera.info->fileSystemObjectData(object);
    ASSERT_TRUE(first);
    const int reads = camera.fake->reads();
    EXPECT_EQ(*camera.info->fileSystemObjectData(object), *first);
    EXPECT_EQ(camera.fake->reads(), reads);
    EXPECT_EQ(camera.releaser.totalCacheSize(), std::int64_t(first->size()));

    camera.releaser.cachePolicy().releaseCacheTimerProc(); // over the limit: level 4
    EXPECT_EQ(camera.releaser.totalObjectsCount(), 0);
    EXPECT_EQ(*camera.info->fileSystemObjectData(object), *first);
    EXPECT_GT(camera.fake->reads(), reads);
}

TEST(CameraDataCache, CameraWithoutDeleteRefusesAndKeepsTheFile)
{
    Camera camera;
    EXPECT_EQ(camera.info->deleteFileSystemObject(camera.object("IMG_0002.JPG")), status::PermissionDenied);
    EXPECT_TRUE(camera.object("IMG_0002.JPG"));
    EXPECT_EQ(camera.fake->files.size(), 2u);
    EXPECT_EQ(camera.info->deleteFileSystemObject(nullptr), status::NoSuchObject);
}

TEST(CameraDataCache, HugeVideoIsNeverReadWholeForThumbnailOrViewing)
{
    Camera camera([](FakeCamera& fake) {
        fake.add("/DCIM/100MEDIA", "MVI_0003.MOV", {}, "video/quicktime", 4ull << 30);
        fake.ranges = false;
    });
    const Ref<CameraFileObject> video = camera.object("MVI_0003.MOV");
    ASSERT_TRUE(video);
    EXPECT_EQ(video->typeCode(), "movi");
    EXPECT_FALSE(camera.info->fileSystemObjectThumbnailData(video));
    StatusCode error = 0;
    EXPECT_FALSE(camera.info->fileSystemObjectData(video, &error));
    EXPECT_EQ(error, status::NoSuchObject);
    EXPECT_EQ(camera.fake->reads(), 0);
    // A picture without the camera's preview is read whole for its thumbnail.
    EXPECT_TRUE(camera.info->fileSystemObjectThumbnailData(camera.object("IMG_0002.JPG")));
}

TEST(CameraDataCache, ObjectWithoutIdentifierAnswersParameterError)
{
    Camera camera;
    CameraThumbnailLock lock;
    const Ref<FileSystemObjectDataCache> cache = FileSystemObjectDataCache::create(
        CameraFileObject::create(camera.fake->files[1].entry, "IMG_0002.JPG", 0), camera.fake, &camera.releaser);
    StatusCode error = 0;
    EXPECT_FALSE(cache->generateCacheData(nullptr, 0, true, lock, &error));
    EXPECT_EQ(error, status::ParameterError);
}

} // namespace
