// The image representation over the fixture codec: probing, sizes and resolution, decode modes,
// lazy decoding, alpha layouts, cancellation from another thread, the camera thumbnail path and
// the image-representation registry.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <QImage>
#include <QPainter>

#include "Imaging/ImageRepRegistry.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "RepresentationFixture.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

// The class bootstraps its codecs once, at first use: point the bundle at the fixture
// plug-ins before any test runs.
class FixturePlugInsEnvironment : public ::testing::Environment {
    void SetUp() override { Bundle::setPlugInsPathOverride(REP_PLUGINS_FULL); }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new FixturePlugInsEnvironment);

RIReperesentation::Data picture(const FixturePictureHeader& header)
{
    return std::make_shared<const Value::Bytes>(fixturePicture(header));
}

int liveDecodeStates()
{
    void* handle = dlopen(REP_PLUGINS_FULL "/RepresentationFixture.so", RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return -1;
    auto count = reinterpret_cast<FixtureLiveStatesFunc>(dlsym(handle, FIXTURE_LIVE_STATES_SYMBOL));
    const int live = count ? count() : -1;
    dlclose(handle);
    return live;
}

struct ScreenScale {
    explicit ScreenScale(double factor) { RIReperesentation::setMainScreenScaleFactor(factor); }
    ~ScreenScale() { RIReperesentation::setMainScreenScaleFactor(1.0); }
};

} // namespace

// The first use may come from several updater threads at once: one bootstrap, same lists.
TEST(RIReperesentation, ClassBootstrapsOnFirstUse)
{
    std::vector<std::thread> threads;
    std::vector<std::size_t> counts(4);
    for (std::size_t i = 0; i < counts.size(); ++i)
        threads.emplace_back([&counts, i] { counts[i] = RIReperesentation::imageUnfilteredTypes().size(); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(counts, std::vector<std::size_t>(4, 5u));
    EXPECT_EQ(RIReperesentation::imagePasteboardTypes(), RIReperesentation::imageUnfilteredTypes());
    EXPECT_TRUE(RIReperesentation::isFileSystemItemDecodableByName("Picture.VFX", false));
    EXPECT_FALSE(RIReperesentation::isFileSystemItemDecodableByName("Picture.txt", true));
    const std::vector<std::string> names = ImageRepRegistry::registeredImageRepClassNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "RIReperesentation"), names.end());
}

TEST(RIReperesentation, CanInitWithData)
{
    EXPECT_FALSE(RIReperesentation::canInitWithData(nullptr));
    EXPECT_FALSE(RIReperesentation::canInitWithData(std::make_shared<const Value::Bytes>(Value::Bytes {1, 2, 3})));

    const int before = liveDecodeStates();
    ASSERT_GE(before, 0);
    // Without an out pointer the decode state made for the question is released again.
    EXPECT_TRUE(RIReperesentation::canInitWithData(picture({})));
    EXPECT_EQ(liveDecodeStates(), before);

    AutoPtr<IImageDecodeState> decoder;
    EXPECT_TRUE(RIReperesentation::canInitWithData(picture({}), &decoder));
    EXPECT_TRUE(decoder);
    EXPECT_EQ(liveDecodeStates(), before + 1);
    decoder = nullptr;
    EXPECT_EQ(liveDecodeStates(), before);
}

TEST(RIReperesentation, SizeAndResolutionBeforeDecoding)
{
    const struct {
        std::uint32_t width, height, flags;
        std::int32_t hdpi, vdpi;
        std::uint32_t orientation;
        double scale;
        QSizeF size, dpi;
    } cases[] = {
        {3000, 2000, 0x40, 300, 300, 1, 1.0, {720, 480}, {300, 300}},
        {3000, 2000, 0x40, 300, 300, 1, 2.0, {1440, 960}, {300, 300}},
        {3000, 2000, 0x40, 0, 0, 1, 1.0, {3000, 2000}, {72, 72}},     // no usable dpi
        {3000, 2000, 0x40, -300, 300, 1, 1.0, {3000, 2000}, {72, 72}},
        {3000, 2000, 0, 300, 300, 1, 1.0, {3000, 2000}, {72, 72}},    // resolution not given
        {3000, 2000, 0x40, 300, 300, 6, 1.0, {480, 720}, {300, 300}},
        // Each stored side goes with its own resolution: 10 x 13.3 inches stored, turned.
        {3000, 2000, 0x40, 300, 150, 6, 1.0, {960, 720}, {150, 300}},
        {400, 300, 0, 0, 0, 4, 1.0, {400, 300}, {72, 72}},
    };
    for (const auto& c : cases) {
        ScreenScale scale(c.scale);
        FixturePictureHeader h;
        h.width = c.width;
        h.height = c.height;
        h.pageFlags = c.flags;
        h.horizontalDpi = c.hdpi;
        h.verticalDpi = c.vdpi;
        h.orientation = c.orientation;
        const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h), true);
        ASSERT_TRUE(rep);
        EXPECT_FALSE(rep->isDecoded());
        EXPECT_EQ(rep->size(), c.size) << c.hdpi << " dpi, orientation " << c.orientation;
        EXPECT_EQ(rep->dpi(), c.dpi);
        const QSizeF pixels = RIReperesentation::convertSizeWithOrientation(c.orientation, QSizeF(c.width, c.height));
        EXPECT_EQ(rep->pixelsWide(), std::size_t(pixels.width()));
        EXPECT_EQ(rep->pixelsHigh(), std::size_t(pixels.height()));
        EXPECT_EQ(rep->imageOrientation(), c.orientation);
        EXPECT_EQ(rep->type(), kFixtureType);
    }
}

TEST(RIReperesentation, DecodingGivesThePixelSize)
{
    FixturePictureHeader h;
    h.width = 30;
    h.height = 20;
    h.pageFlags = 0x40;
    h.horizontalDpi = h.verticalDpi = 300;
    h.orientation = 8;
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h), false);
    ASSERT_TRUE(rep);
    EXPECT_TRUE(rep->isDecoded());
    EXPECT_EQ(rep->pendingDecodeMode(), -1); // request and decode state are gone
    EXPECT_EQ(rep->size(), QSizeF(20, 30));
    EXPECT_EQ(rep->colorSpaceName(), kCalibratedRGBColorSpace);
    ASSERT_TRUE(rep->cgImage());
    EXPECT_EQ(rep->cgImage()->width(), 30u);
    EXPECT_EQ(rep->imageMetadata().get("FileSize").toInt64(), 48);
    EXPECT_EQ(rep->pageMetadata().get("{TIFF}").get("Orientation").toInt64(), 8);
}

TEST(RIReperesentation, ThumbnailModes)
{
    const struct {
        int useEmbedded;
        int mode;
    } cases[] = {{1, CODEC_DECODE_MODE_EMBEDDED_THUMBNAIL}, {0, CODEC_DECODE_MODE_THUMBNAIL_DECODED},
        {2, CODEC_DECODE_MODE_THUMBNAIL}, {5, CODEC_DECODE_MODE_THUMBNAIL}, {-1, CODEC_DECODE_MODE_THUMBNAIL}};
    FixturePictureHeader h;
    h.width = 400;
    h.height = 300;
    h.orientation = 6;
    for (const auto& c : cases) {
        const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithThumbnailForData(picture(h), 64.9f, c.useEmbedded);
        ASSERT_TRUE(rep);
        EXPECT_EQ(rep->pendingDecodeMode(), c.mode) << "useEmbedded " << c.useEmbedded;
        EXPECT_EQ(rep->pendingDecodeSize(), QSize(64, 64));
        EXPECT_EQ(rep->size(), QSizeF(300, 400)); // before decoding: the picture's
    }
    // After decoding: the thumbnail's own size, oriented.
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithThumbnailForData(picture(h), 64, 2);
    ASSERT_TRUE(rep->cgImage());
    EXPECT_EQ(rep->size(), QSizeF(48, 64));
    EXPECT_EQ(rep->pixelsWide(), 48u);
    EXPECT_EQ(rep->pixelsHigh(), 64u);
}

TEST(RIReperesentation, OpaqueLayoutsReportNoAlpha)
{
    const struct {
        std::uint32_t alphaInfo;
        bool alpha;
    } cases[] = {{0, false}, {5, false}, {6, false}, {1, true}, {2, true}, {3, true}, {4, true}};
    for (const auto& c : cases) {
        FixturePictureHeader h;
        h.alphaInfo = c.alphaInfo;
        const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h));
        ASSERT_TRUE(rep) << c.alphaInfo;
        EXPECT_EQ(rep->hasAlpha(), c.alpha) << "alpha info " << c.alphaInfo;

        // The scaled upright copy decides by the source's layout too.
        const Ref<RIReperesentation> scaled = RIReperesentation::createWithCGImage(rep->cgImage(), {8, 4}, {}, true);
        ASSERT_TRUE(scaled);
        EXPECT_EQ(scaled->hasAlpha(), c.alpha);
        EXPECT_EQ(scaled->colorSpaceName(), kDeviceRGBColorSpace);
    }
}

TEST(RIReperesentation, Failures)
{
    FixturePictureHeader failingInfo;
    failingInfo.failPageInfo = 1;
    EXPECT_FALSE(RIReperesentation::imageRepWithData(picture(failingInfo), true));
    EXPECT_FALSE(RIReperesentation::imageRepWithData(RIReperesentation::Data(), true));

    FixturePictureHeader failingDecode;
    failingDecode.failDecode = 1;
    EXPECT_FALSE(RIReperesentation::imageRepWithData(picture(failingDecode), false));
    const Ref<RIReperesentation> lazy = RIReperesentation::imageRepWithData(picture(failingDecode), true);
    ASSERT_TRUE(lazy);
    EXPECT_FALSE(lazy->cgImage());
    QImage canvas(16, 8, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    EXPECT_FALSE(lazy->drawInRect(painter, QRectF(0, 0, 16, 8)));
    EXPECT_FALSE(lazy->draw(painter));
    EXPECT_FALSE(lazy->isDecoded()); // still probed
}

TEST(RIReperesentation, LazyDecodeAndCopy)
{
    FixturePictureHeader h;
    h.width = 12;
    h.height = 10;
    h.orientation = 3;
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h), true);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pendingDecodeMode(), CODEC_DECODE_MODE_FULL);
    const Ref<RIReperesentation> copy = rep->copy(); // decodes the source
    EXPECT_TRUE(rep->isDecoded());
    ASSERT_TRUE(copy->cgImage());
    EXPECT_EQ(copy->cgImage()->bytes(), rep->cgImage()->bytes()); // the same pixels, not decoded again
    EXPECT_EQ(copy->imageOrientation(), 3u);
    EXPECT_EQ(copy->type(), kFixtureType);
    EXPECT_EQ(copy->pageMetadata(), rep->pageMetadata());
    EXPECT_EQ(copy->size(), rep->size());
}

TEST(RIReperesentation, SetImageOrientationWritesTheTIFFDictionary)
{
    FixturePictureHeader h;
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h), true);
    ASSERT_TRUE(rep);
    ASSERT_FALSE(rep->pageMetadata().contains("{TIFF}"));
    rep->setImageOrientation(6);
    EXPECT_EQ(rep->imageOrientation(), 6u);
    EXPECT_EQ(RIReperesentation::imageOrientationFromMetadata(rep->pageMetadata()), 6u);
    EXPECT_EQ(rep->convertSizeWithOrientation(QSizeF(400, 300)), QSizeF(300, 400));
    EXPECT_TRUE(rep->pageMetadata().contains("{Exif}")); // the rest is kept
}

// stopProgress from a second thread while the decoding thread runs a slow decode: the decode
// either finishes or ends early, never touches a released request, and the sanitizers stay
// quiet.
TEST(RIReperesentation, StopProgressFromAnotherThread)
{
    FixturePictureHeader h;
    h.width = 8;
    h.height = 16;
    h.rowDelayMicros = 20;
    const int rounds = test::scaled(1000, 10000);
    int cancelled = 0;
    for (int i = 0; i < rounds; ++i) {
        const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h), true);
        ASSERT_TRUE(rep);
        std::atomic<bool> started {false};
        Ref<PlatformImage> image;
        std::thread decoding([&] {
            started = true;
            image = rep->cgImage();
        });
        while (!started)
            std::this_thread::yield();
        if (i % 2)
            std::this_thread::sleep_for(std::chrono::microseconds(i % 200));
        rep->stopProgress();
        decoding.join();
        EXPECT_EQ(bool(image), rep->isDecoded());
        if (!image)
            ++cancelled;
        rep->stopProgress(); // after the decode: nothing pending, nothing happens
    }
    EXPECT_GT(cancelled, 0);
}

TEST(RIReperesentation, StopProgressBeforeDecodingCancelsIt)
{
    FixturePictureHeader h;
    h.rowDelayMicros = 1000;
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(picture(h), true);
    ASSERT_TRUE(rep);
    rep->stopProgress();
    ScopedLogCapture log;
    EXPECT_FALSE(rep->cgImage());
    EXPECT_EQ(rep->lastFailure(), "cancelled");
    EXPECT_TRUE(log.lines().empty()) << "a cancelled decode is no failure of the file";
}

namespace {

class FakeCamera : public ICADeviceThumbnailSource {
public:
    RIReperesentation::Data thumbnail;
    QSizeF resolution;
    std::string askedPath;
    Ref<Object> icaFileSystemObjectAtPath(std::string_view path) override
    {
        askedPath = path;
        return path.ends_with("/missing") ? nullptr : makeRef<Object>();
    }
    std::shared_ptr<const Value::Bytes> fileSystemObjectThumbnailData(const Ref<Object>&) override { return thumbnail; }
    QSizeF fileSystemObjectResolution(const Ref<Object>&) override { return resolution; }
};

} // namespace

TEST(RIReperesentation, SmallThumbnailForPath)
{
    FixturePictureHeader h;
    h.width = 160;
    h.height = 120;
    auto camera = std::make_shared<FakeCamera>();
    camera->thumbnail = picture(h);
    camera->resolution = QSizeF(4000.7, 3000.2);
    RIReperesentation::setCameraThumbnailSource(camera);

    const Ref<RIReperesentation> fromCamera = RIReperesentation::createWithSmallThumbnailForPath("ICA:/42/IMG_1.vfx", 64, 1);
    ASSERT_TRUE(fromCamera);
    EXPECT_EQ(camera->askedPath, "ICA:/42/IMG_1.vfx");
    EXPECT_TRUE(fromCamera->isDecoded()); // the camera's thumbnail is decoded as it is
    EXPECT_EQ(fromCamera->pixelsWide(), 4000u);
    EXPECT_EQ(fromCamera->pixelsHigh(), 3000u);

    camera->resolution = QSizeF();
    const Ref<RIReperesentation> noResolution = RIReperesentation::createWithSmallThumbnailForPath("ICA:/42/IMG_1.vfx", 64, 1);
    ASSERT_TRUE(noResolution);
    EXPECT_EQ(noResolution->pixelsWide(), 160u);

    EXPECT_FALSE(RIReperesentation::createWithSmallThumbnailForPath("ICA:/42/missing", 64, 1));
    camera->thumbnail = nullptr;
    EXPECT_FALSE(RIReperesentation::createWithSmallThumbnailForPath("ICA:/42/IMG_1.vfx", 64, 1));
    RIReperesentation::setCameraThumbnailSource(nullptr);
    EXPECT_FALSE(RIReperesentation::createWithSmallThumbnailForPath("ICA:/42/IMG_1.vfx", 64, 1));
    EXPECT_FALSE(RIReperesentation::createWithSmallThumbnailForPath("relative/path.vfx", 64, 1));

    // A volume path reads the file and asks for a thumbnail of the size.
    // Named per process: the normal and the sanitizer build may run this test at the same time.
    const std::string file = (std::filesystem::temp_directory_path()
                              / ("vistel-rep-thumbnail-" + std::to_string(::getpid()) + ".vfx")).string();
    const Value::Bytes bytes = fixturePicture(h);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const Ref<RIReperesentation> fromFile = RIReperesentation::createWithSmallThumbnailForPath(file, 40, 0);
    std::filesystem::remove(file);
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(fromFile->pendingDecodeMode(), CODEC_DECODE_MODE_THUMBNAIL_DECODED);
    ASSERT_TRUE(fromFile->cgImage());
    EXPECT_EQ(fromFile->size(), QSizeF(40, 30));
    EXPECT_FALSE(RIReperesentation::createWithSmallThumbnailForPath(file, 40, 0)); // gone
}

TEST(ImageRepRegistry, ImageWithDataGoesThroughTheRegisteredClass)
{
    RIReperesentation::initialize();
    FixturePictureHeader h;
    h.width = 30;
    h.height = 20;
    h.orientation = 6;
    const Ref<MultiImage> image = ImageRepRegistry::imageWithData(picture(h));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSizeF(20, 30));
    ASSERT_EQ(image->representations().size(), 1u);
    EXPECT_TRUE(dynamicRefCast<RIReperesentation>(image->representations().front()));
    EXPECT_FALSE(ImageRepRegistry::imageWithData(std::make_shared<const Value::Bytes>(Value::Bytes {0, 1})));

    ImageRepRegistry::ImageRepClass found;
    EXPECT_TRUE(ImageRepRegistry::imageRepClassForFileType("VFX", &found));
    EXPECT_EQ(found.name, "RIReperesentation");
    EXPECT_TRUE(ImageRepRegistry::imageRepClassForType(kFixtureType));
    EXPECT_FALSE(ImageRepRegistry::imageRepClassForType("public.plain-text"));
}
