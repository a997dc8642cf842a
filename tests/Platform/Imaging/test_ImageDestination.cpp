#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <QColorSpace>
#include <QDir>
#include <QTemporaryDir>
#include <tiffio.h>
#include <webp/decode.h>

#include "../../Common/FileSystem/FileSystemFixtures.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

constexpr int kPictureWidth = 64, kPictureHeight = 48;

// A smooth colour picture, like a photograph, with a transparent top-left corner when asked.
Ref<PlatformImage> fixture(bool withAlpha)
{
    std::vector<std::uint8_t> pixels(std::size_t(kPictureWidth * kPictureHeight * 4));
    for (int y = 0; y < kPictureHeight; ++y) {
        for (int x = 0; x < kPictureWidth; ++x) {
            std::uint8_t* p = pixels.data() + (y * kPictureWidth + x) * 4;
            p[0] = std::uint8_t(40 + x * 3);
            p[1] = std::uint8_t(30 + y * 4);
            p[2] = std::uint8_t(200 - x - y);
            p[3] = withAlpha && x < 16 && y < 16 ? 0 : 255;
        }
    }
    return PlatformImage::create(kPictureWidth, kPictureHeight, 8, 32, kPictureWidth * 4, withAlpha ? kImageAlphaLast : kImageAlphaNoneSkipLast,
        PlatformColorSpace::createDeviceRGB(), std::move(pixels));
}

// Reads the stored rows as they are (eight-bit RGB or RGBA), without applying the Orientation
// tag, so the pixels can be compared with what was written.
QImage decodeTIFF(const std::vector<std::uint8_t>& bytes, QTemporaryDir& dir)
{
    const std::string path = dir.filePath("decode.tif").toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff)
        return {};
    std::uint32_t width = 0, height = 0;
    std::uint16_t samples = 0, bits = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    QImage image;
    if (bits == 8 && (samples == 3 || samples == 4)) {
        image = QImage(int(width), int(height), samples == 3 ? QImage::Format_RGB888 : QImage::Format_RGBA8888);
        for (std::uint32_t y = 0; y < height; ++y)
            if (TIFFReadScanline(tiff, image.scanLine(int(y)), y, 0) < 0)
                image = QImage();
    }
    TIFFClose(tiff);
    return image;
}

QImage decodeWebP(const std::vector<std::uint8_t>& bytes)
{
    int width = 0, height = 0;
    std::uint8_t* rgba = WebPDecodeRGBA(bytes.data(), bytes.size(), &width, &height);
    if (!rgba)
        return {};
    QImage image = QImage(rgba, width, height, width * 4, QImage::Format_RGBA8888).copy();
    WebPFree(rgba);
    return image;
}

QImage decode(const std::string& type, const std::vector<std::uint8_t>& bytes, QTemporaryDir& dir)
{
    if (type == "public.tiff")
        return decodeTIFF(bytes, dir);
    if (type == "org.webmproject.webp")
        return decodeWebP(bytes);
    return QImage::fromData(bytes.data(), int(bytes.size()));
}

double psnr(const PlatformImage& source, const QImage& decoded)
{
    const QImage expected = source.toQImage().convertToFormat(QImage::Format_RGB888);
    const QImage actual = decoded.convertToFormat(QImage::Format_RGB888);
    if (expected.size() != actual.size())
        return 0;
    double sum = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width() * 3; ++x) {
            const double d = double(expected.constScanLine(y)[x]) - double(actual.constScanLine(y)[x]);
            sum += d * d;
        }
    const double mse = sum / (expected.width() * expected.height() * 3.0);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::string run(const std::string& command)
{
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        pclose(pipe);
    }
    return output;
}

std::string encodeToFile(QTemporaryDir& dir, const char* name, const char* type, Ref<PlatformImage> image, const Value& properties)
{
    const std::string path = dir.filePath(name).toStdString();
    auto destination = ImageDestination::createWithPath(path, type);
    EXPECT_TRUE(destination);
    if (!destination)
        return path;
    EXPECT_TRUE(destination->addImage(image, properties));
    EXPECT_TRUE(destination->finalize()) << destination->errorText();
    return path;
}

} // namespace

TEST(ImageDestination, EncodesEachFormatAndDecodesBackClose)
{
    struct Case {
        const char* type;
        Value properties;
        double minimumPSNR;
    };
    const Case cases[] = {
        {"public.jpeg", Value::dictionary({{kImageDestinationLossyCompressionQuality, 0.75}}), 32},
        {"public.png", Value::dictionary(), 99},
        {"public.tiff", Value::dictionary({{"{TIFF}", Value::dictionary({{"Compression", 5}})}}), 99},
        {"org.webmproject.webp", Value::dictionary({{kImageDestinationLossyCompressionQuality, 0.9}}), 32},
        {"org.webmproject.webp", Value::dictionary({{kImageDestinationLossyCompressionQuality, 1.0}}), 99}, // lossless
        {"com.compuserve.gif", Value::dictionary(), 28},
        {"com.microsoft.bmp", Value::dictionary(), 99},
    };
    QTemporaryDir dir;
    const auto image = fixture(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        auto destination = ImageDestination::createWithData(c.type);
        ASSERT_TRUE(destination);
        ASSERT_TRUE(destination->addImage(image, c.properties));
        ASSERT_TRUE(destination->finalize()) << destination->errorText();
        const QImage decoded = decode(c.type, destination->data(), dir);
        ASSERT_FALSE(decoded.isNull());
        EXPECT_GE(psnr(*image, decoded), c.minimumPSNR);
    }
}

TEST(ImageDestination, JPEGCompositesAlphaOverTheBackgroundColour)
{
    auto destination = ImageDestination::createWithData("public.jpeg");
    destination->addImage(fixture(true), Value::dictionary({{kImageDestinationLossyCompressionQuality, 0.75},
                                             {kImageDestinationBackgroundColor, Value::array({0.5, 0.5, 0.5, 1.0})}}));
    ASSERT_TRUE(destination->finalize());
    const QImage decoded = QImage::fromData(destination->data().data(), int(destination->data().size()));
    const QColor corner = decoded.pixelColor(5, 5);
    EXPECT_NEAR(corner.red(), 128, 3);
    EXPECT_NEAR(corner.green(), 128, 3);
    EXPECT_NEAR(corner.blue(), 128, 3);
    const QColor opaque = decoded.pixelColor(40, 40);
    EXPECT_NEAR(opaque.red(), 40 + 40 * 3, 8);
}

TEST(ImageDestination, FormatsWithAlphaKeepIt)
{
    QTemporaryDir dir;
    for (const char* type : {"public.png", "public.tiff", "org.webmproject.webp", "com.compuserve.gif", "com.microsoft.bmp"}) {
        SCOPED_TRACE(type);
        auto destination = ImageDestination::createWithData(type);
        destination->addImage(fixture(true), Value::dictionary({{kImageDestinationLossyCompressionQuality, 1.0}}));
        ASSERT_TRUE(destination->finalize());
        const QImage decoded = decode(type, destination->data(), dir);
        ASSERT_FALSE(decoded.isNull());
        EXPECT_EQ(decoded.pixelColor(2, 2).alpha(), 0);
        EXPECT_EQ(decoded.pixelColor(30, 30).alpha(), 255);
    }
}

TEST(ImageDestination, MetadataIsVisibleToExiv2)
{
    QTemporaryDir dir;
    const Value properties = Value::dictionary({
        {kImageDestinationLossyCompressionQuality, 0.75},
        {kImageDestinationBackgroundColor, Value::array({0.5, 0.5, 0.5, 1.0})},
        {"{TIFF}", Value::dictionary({{"Make", "Vistel Test"}, {"Model", "TC-2"}, {"Orientation", 6}, {"Compression", 5}})},
        {"{Exif}", Value::dictionary({{"ExposureTime", 0.008}, {"FNumber", 5.6}, {"ISOSpeedRatings", Value::array({800})},
                       {"DateTimeOriginal", "2024:05:17 10:21:33"}})},
        {"{GPS}", Value::dictionary({{"Latitude", 45.5}, {"LatitudeRef", "S"}})},
        {"{IPTC}", Value::dictionary({{"Keywords", Value::array({"harbour", "boats"})}, {"City", "Lisbon"}})},
    });
    for (const auto& [name, type] : {std::pair {"meta.jpg", "public.jpeg"}, std::pair {"meta.tif", "public.tiff"}}) {
        SCOPED_TRACE(type);
        const std::string path = encodeToFile(dir, name, type, fixture(false), properties);
        const std::string listing = run("exiv2 -pa '" + path + "' 2>&1");
        for (const char* expected : {"Exif.Image.Make                              Ascii      12  Vistel Test",
                 "Exif.Image.Model", "TC-2", "Exif.Image.Orientation                       Short       1  right, top",
                 "Exif.Photo.ExposureTime                      Rational    1  1/125 s", "Exif.Photo.FNumber", "F5.6",
                 "Exif.Photo.ISOSpeedRatings                   Short       1  800", "2024:05:17 10:21:33",
                 "Exif.GPSInfo.GPSLatitudeRef                  Ascii       2  South", "45deg 30' 0\"",
                 "Iptc.Application2.Keywords                   String      7  harbour",
                 "Iptc.Application2.Keywords                   String      5  boats",
                 "Iptc.Application2.City                       String      6  Lisbon"})
            EXPECT_NE(listing.find(expected), std::string::npos) << expected << "\n" << listing;
    }
}

TEST(ImageDestination, MetadataReadsBackFromEveryFormatThatCarriesIt)
{
    const Value properties = Value::dictionary({{"{TIFF}", Value::dictionary({{"Make", "Vistel Test"}})},
        {"{Exif}", Value::dictionary({{"FNumber", 4.0}})}, {"Orientation", 8}});
    QTemporaryDir dir;
    for (const char* type : {"public.jpeg", "public.png", "public.tiff", "org.webmproject.webp"}) {
        auto destination = ImageDestination::createWithData(type);
        destination->addImage(fixture(false), properties);
        ASSERT_TRUE(destination->finalize()) << type;
        const auto& data = destination->data();
        // Writing the metadata rewrites the file: the pixels must survive it.
        EXPECT_GE(psnr(*fixture(false), decode(type, data, dir)), 30) << type;
        const Value read = ImagePropertyMapping::readImageProperties(data.data(), data.size());
        EXPECT_EQ(read["{TIFF}"]["Make"], Value("Vistel Test")) << type;
        EXPECT_EQ(read["{Exif}"]["FNumber"], Value(4.0)) << type;
        EXPECT_EQ(read["Orientation"], Value(8)) << type;
    }
}

TEST(ImageDestination, TIFFCompressionIsTheOneAskedFor)
{
    QTemporaryDir dir;
    const std::pair<int, const char*> cases[] = {{1, "None"}, {5, "LZW"}, {32773, "PackBits"}, {7, "None"}};
    for (const auto& [code, scheme] : cases) {
        const std::string name = "c" + std::to_string(code) + ".tif";
        const std::string path = encodeToFile(dir, name.c_str(), "public.tiff", fixture(false),
            Value::dictionary({{"{TIFF}", Value::dictionary({{"Compression", code}})}}));
        const std::string info = run("tiffinfo '" + path + "' 2>&1");
        EXPECT_NE(info.find(std::string("Compression Scheme: ") + scheme), std::string::npos) << code << "\n" << info;
    }
}

TEST(ImageDestination, ResolutionIsWritten)
{
    const int dotsPerMeter = int(std::lround(300 / 0.0254));
    for (const char* type : {"public.jpeg", "public.png", "com.microsoft.bmp"}) {
        auto destination = ImageDestination::createWithData(type);
        destination->addImage(fixture(false), Value::dictionary({{kImagePropertyDPIWidth, 300}, {kImagePropertyDPIHeight, 300}}));
        ASSERT_TRUE(destination->finalize());
        const QImage decoded = QImage::fromData(destination->data().data(), int(destination->data().size()));
        EXPECT_NEAR(decoded.dotsPerMeterX(), dotsPerMeter, 1) << type;
        EXPECT_NEAR(decoded.dotsPerMeterY(), dotsPerMeter, 1) << type;
    }
}

TEST(ImageDestination, GreyStaysGreyAndProfilesTravel)
{
    auto grey = PlatformImage::create(4, 2, 8, 8, 4, kImageAlphaNone, PlatformColorSpace::createDeviceGray(),
        {0, 50, 100, 150, 200, 250, 255, 10});
    for (const char* type : {"public.jpeg", "public.png"}) {
        auto destination = ImageDestination::createWithData(type);
        destination->addImage(grey, Value::dictionary({{kImageDestinationLossyCompressionQuality, 1.0}}));
        ASSERT_TRUE(destination->finalize());
        const QImage decoded = QImage::fromData(destination->data().data(), int(destination->data().size()));
        EXPECT_TRUE(decoded.isGrayscale()) << type;
        EXPECT_NEAR(qGray(decoded.pixel(2, 0)), 100, 2) << type;
    }

    auto tagged = PlatformImage::create(1, 1, 8, 24, 3, kImageAlphaNone, PlatformColorSpace::createSRGB(), {1, 2, 3});
    for (const char* type : {"public.jpeg", "public.png"}) {
        auto destination = ImageDestination::createWithData(type);
        destination->addImage(tagged);
        ASSERT_TRUE(destination->finalize());
        const QImage decoded = QImage::fromData(destination->data().data(), int(destination->data().size()));
        const QByteArray icc = decoded.colorSpace().iccProfile();
        EXPECT_EQ(std::vector<std::uint8_t>(icc.begin(), icc.end()), tagged->colorSpace()->iccProfile()) << type;
    }
}

TEST(ImageDestination, RefusesWhatItCannotDo)
{
    // PDF pages are made by the conversion job, not by an image destination.
    EXPECT_FALSE(ImageDestination::createWithData("com.adobe.pdf"));
    EXPECT_FALSE(ImageDestination::createWithData("public.plain-text"));

    auto empty = ImageDestination::createWithData("public.png");
    EXPECT_FALSE(empty->finalize());
    EXPECT_EQ(empty->errorText(), "no image added");

    auto twice = ImageDestination::createWithData("public.png");
    EXPECT_TRUE(twice->addImage(fixture(false)));
    EXPECT_FALSE(twice->addImage(fixture(false)));
    EXPECT_FALSE(twice->addImage(nullptr));

    ScopedLogCapture log;
    auto unwritable = ImageDestination::createWithPath("/nonexistent-folder/x.png", "public.png");
    unwritable->addImage(fixture(false));
    EXPECT_FALSE(unwritable->finalize());
    EXPECT_NE(unwritable->errorText().find("/nonexistent-folder/x.png"), std::string::npos);
    EXPECT_TRUE(unwritable->data().empty());
}

TEST(ImageDestination, WritingAFileReplacesItWhole)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("picture.png").toStdString();
    std::ofstream(path) << "an older, different file";
    encodeToFile(dir, "picture.png", "public.png", fixture(false), Value::dictionary());
    const QImage written(QString::fromStdString(path));
    EXPECT_EQ(written.size(), QSize(kPictureWidth, kPictureHeight));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"picture.png"}); // no temporary left behind
}

TEST(ImageDestination, TypesAreListed)
{
    const auto& types = ImageDestination::typeIdentifiers();
    for (const char* type : {"public.jpeg", "public.png", "public.tiff", "org.webmproject.webp", "com.compuserve.gif", "com.microsoft.bmp"})
        EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
}

// ---- pictures on disk ----------------------------------------------------------------------

namespace {

// A picture of `width` by `height` pixels whose bytes depend on `seed`.
Ref<PlatformImage> noisePicture(int width, int height, unsigned seed)
{
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height) * 4);
    std::mt19937 random(seed);
    for (std::uint8_t& byte : pixels)
        byte = std::uint8_t(random());
    return PlatformImage::create(width, height, 8, 32, width * 4, kImageAlphaNoneSkipLast,
                                 PlatformColorSpace::createDeviceRGB(), std::move(pixels));
}

std::string encoded(const Ref<PlatformImage>& image, const char* type)
{
    auto destination = ImageDestination::createWithData(type);
    if (!destination || !destination->addImage(image) || !destination->finalize())
        return {};
    return std::string(destination->data().begin(), destination->data().end());
}

bool writePicture(const std::string& path, const Ref<PlatformImage>& image, const char* type = "public.png")
{
    auto destination = ImageDestination::createWithPath(path, type);
    return destination && destination->addImage(image) && destination->finalize();
}

// Makes folders below `root` so that a name of `nameLength` bytes in the deepest one gives a
// path of exactly `length` bytes; answers that folder.
std::string folderForPathOfLength(const std::string& root, std::size_t length, std::size_t nameLength)
{
    std::string folder = root;
    std::size_t remaining = length - root.size() - 1 - nameLength; // each level adds "/name"
    for (char letter = 'a'; remaining > 0; ++letter) {
        std::size_t component = std::min<std::size_t>(NAME_MAX, remaining - 1);
        if (remaining - (component + 1) == 1)
            --component; // leaves room for one more "/x"
        folder += "/" + std::string(component, letter);
        remaining -= component + 1;
        if (::mkdir(folder.c_str(), 0700) != 0)
            return {};
    }
    return folder;
}

// The file `name` of `folder`, read relative to the folder: the full path may be too long.
std::string readFileIn(const std::string& folder, const std::string& name)
{
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_CLOEXEC);
    std::string contents;
    char buffer[4096];
    for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        contents.append(buffer, std::size_t(got));
    ::close(fd);
    ::close(folderFd);
    return contents;
}

} // namespace

TEST(ImageDestinationFiles, WritingPicturesNeverChangesTheModeOfFilesCreatedMeanwhile)
{
    test::ScratchFolder scratch;
    const mode_t expected = 0666 & ~test::currentUmask();
    const Ref<PlatformImage> picture = fixture(false);
    const int pictures = test::scaled(300, 5000);
    std::atomic<bool> writing {true};
    std::atomic<int> created {0};
    std::atomic<int> wrongMode {0};
    std::vector<std::thread> creators;
    for (int thread = 0; thread < 4; ++thread) {
        creators.emplace_back([&, thread] {
            const std::string path = scratch / ("created-" + std::to_string(thread));
            do {
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                struct stat info {};
                if (fd >= 0 && ::fstat(fd, &info) == 0 && (info.st_mode & 07777) != expected)
                    ++wrongMode;
                if (fd >= 0)
                    ::close(fd);
                ::unlink(path.c_str());
                ++created;
            } while (writing);
        });
    }
    int written = 0;
    for (int i = 0; i < pictures; ++i)
        written += writePicture(scratch / "picture.png", picture);
    writing = false;
    for (std::thread& creator : creators)
        creator.join();
    EXPECT_EQ(written, pictures);
    EXPECT_GT(created.load(), 4);
    EXPECT_EQ(wrongMode.load(), 0) << "of " << created.load() << " files";
    EXPECT_EQ(test::modeOf(scratch / "picture.png"), expected);
}

TEST(ImageDestinationFiles, AReplacedPictureKeepsItsModeAndGroup)
{
    gid_t group = 65534;
    if (::geteuid() != 0) {
        gid_t groups[64];
        const int count = ::getgroups(64, groups);
        const auto other = std::find_if(groups, groups + std::max(count, 0), [](gid_t g) { return g != ::getegid(); });
        if (other == groups + std::max(count, 0))
            GTEST_SKIP() << "the user is in no second group to give the picture";
        group = *other;
    }
    test::ScratchFolder scratch;
    const std::string path = scratch / "picture.jpg";
    ASSERT_TRUE(writePicture(path, fixture(false), "public.jpeg"));
    ASSERT_EQ(::chown(path.c_str(), static_cast<uid_t>(-1), group), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    const Ref<PlatformImage> replacement = noisePicture(40, 30, 3);
    ASSERT_TRUE(writePicture(path, replacement, "public.jpeg"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_gid, group);
    EXPECT_EQ(test::readFile(path), encoded(replacement, "public.jpeg"));
}

TEST(ImageDestinationFiles, KilledWhileWritingLeavesTheOldOrTheNewPicture)
{
    test::ScratchFolder scratch;
    const std::string path = scratch / "picture.bmp";
    const Ref<PlatformImage> first = noisePicture(1024, 768, 1);
    const Ref<PlatformImage> second = noisePicture(1024, 768, 2);
    const std::string firstBytes = encoded(first, "com.microsoft.bmp");
    const std::string secondBytes = encoded(second, "com.microsoft.bmp");
    ASSERT_TRUE(writePicture(path, first, "com.microsoft.bmp"));
    const std::string failure = test::killRoundsLeaveOneOf(
        path, test::scaled(30, 1000), 5, [&](unsigned i) { writePicture(path, i % 2 ? first : second, "com.microsoft.bmp"); },
        {firstBytes, secondBytes}, std::chrono::milliseconds(30));
    EXPECT_EQ(failure, "");
}

TEST(ImageDestinationFiles, PathsAndNamesAtTheLimitSavePreferencesAndPicturesAlike)
{
    struct Case {
        const char* what;
        std::size_t pathLength; // 0: as short as the scratch folder allows
        std::size_t nameLength;
    };
    const Case cases[] = {
        {"path of PATH_MAX - 1 bytes", PATH_MAX - 1, 24},
        {"name of NAME_MAX bytes", 0, NAME_MAX},
        {"both at the limit", PATH_MAX - 1, NAME_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchFolder scratch;
        const std::size_t length = c.pathLength ? c.pathLength : scratch.path().size() + 1 + c.nameLength;
        const std::string folder = folderForPathOfLength(scratch.path(), length, c.nameLength);
        ASSERT_FALSE(folder.empty()) << std::strerror(errno);

        const std::string preferencesName = std::string(c.nameLength - 6, 'p') + ".plist";
        const std::string preferences = folder + "/" + preferencesName;
        ASSERT_EQ(preferences.size(), length);
        std::ofstream(preferences) << "<plist><dict><key>cut short"; // damaged: kept aside first
        for (std::int64_t value : {1, 2}) { // then created, then replaced
            ScopedLogCapture log;
            UserDefaults defaults(preferences);
            defaults.setInteger(value, "Saved");
            EXPECT_TRUE(defaults.synchronize()) << ::testing::PrintToString(log.lines());
            EXPECT_EQ(UserDefaults(preferences).integerForKey("Saved"), value);
        }
        const std::string aside = preferencesName.substr(0, std::min<std::size_t>(preferencesName.size(), NAME_MAX - 8));
        EXPECT_EQ(readFileIn(folder, aside + ".damaged"), "<plist><dict><key>cut short");

        const std::string picture = folder + "/" + std::string(c.nameLength - 4, 'i') + ".png";
        ASSERT_EQ(picture.size(), length);
        for (unsigned seed : {1u, 2u}) {
            const Ref<PlatformImage> image = noisePicture(16, 16, seed);
            ASSERT_TRUE(writePicture(picture, image));
            EXPECT_EQ(test::readFile(picture), encoded(image, "public.png"));
        }
        EXPECT_EQ(test::namesIn(folder).size(), 3u) << "no temporary file stays";
    }
}
