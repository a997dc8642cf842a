#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <set>

#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyExiv2.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Log.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // exiv2 0.27 still uses std::auto_ptr

using namespace vistel;

namespace {

std::vector<std::uint8_t> readFixture(const char* name)
{
    std::ifstream file(std::string(VISTEL_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Metadata {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
};

Metadata exiv2Read(const std::vector<std::uint8_t>& bytes)
{
    ImagePropertyMapping::initialize();
    auto image = Exiv2::ImageFactory::open(bytes.data(), long(bytes.size()));
    image->readMetadata();
    return {image->exifData(), image->iptcData()};
}

// Numeric values compare by value (a rational may come back with another denominator: 28/10
// and 14/5 are the same f-number); everything else compares by its text.
void expectSameValue(const Exiv2::Value& expected, const Exiv2::Value& actual, const std::string& key)
{
    const auto type = expected.typeId();
    if (type == Exiv2::unsignedRational || type == Exiv2::signedRational) {
        ASSERT_EQ(expected.count(), actual.count()) << key;
        for (long i = 0; i < expected.count(); ++i) {
            const auto e = expected.toRational(i), a = actual.toRational(i);
            EXPECT_NEAR(double(e.first) / e.second, double(a.first) / a.second, 1e-9) << key << "[" << i << "]";
        }
        return;
    }
    EXPECT_EQ(expected.toString(), actual.toString()) << key;
}

} // namespace

TEST(ImagePropertyMapping, ReadsACameraJPEGIntoTypedDictionaries)
{
    const auto bytes = readFixture("camera.jpg");
    ASSERT_FALSE(bytes.empty());
    const Value properties = ImagePropertyMapping::readImageProperties(bytes.data(), bytes.size());

    const Value& exif = properties[kImagePropertyExifDictionary];
    EXPECT_DOUBLE_EQ(exif[kImagePropertyExifExposureTime].toDouble(), 0.004);
    EXPECT_DOUBLE_EQ(exif[kImagePropertyExifFNumber].toDouble(), 2.8);
    EXPECT_NEAR(exif[kImagePropertyExifExposureBiasValue].toDouble(), -1.0 / 3, 1e-12);
    EXPECT_EQ(exif[kImagePropertyExifISOSpeedRatings], Value::array({200, 400}));
    EXPECT_EQ(exif[kImagePropertyExifVersion], Value::array({2, 3}));
    EXPECT_EQ(exif[kImagePropertyExifDateTimeOriginal], Value("2024:05:17 10:21:33"));
    EXPECT_EQ(exif[kImagePropertyExifSubsecTimeOrginal], Value("42"));
    EXPECT_EQ(exif[kImagePropertyExifUserComment], Value("Sunny afternoon"));
    EXPECT_EQ(exif[kImagePropertyExifFileSource], Value(3));
    EXPECT_TRUE(exif[kImagePropertyExifFlash].isInteger());

    const Value& aux = properties[kImagePropertyExifAuxDictionary];
    EXPECT_EQ(aux[kImagePropertyExifAuxLensInfo], Value::array({18.0, 55.0, 3.5, 5.6}));
    EXPECT_EQ(aux[kImagePropertyExifAuxLensModel], Value("Zoom 18-55"));

    const Value& tiff = properties[kImagePropertyTIFFDictionary];
    EXPECT_EQ(tiff[kImagePropertyTIFFMake], Value("Vistel Test"));
    EXPECT_EQ(tiff[kImagePropertyTIFFOrientation], Value(6));
    EXPECT_EQ(properties[kImagePropertyOrientation], Value(6));

    const Value& gps = properties[kImagePropertyGPSDictionary];
    EXPECT_NEAR(gps[kImagePropertyGPSLatitude].toDouble(), 48 + 51 / 60.0 + 29.4 / 3600, 1e-12);
    EXPECT_EQ(gps[kImagePropertyGPSLatitudeRef], Value("N"));
    EXPECT_EQ(gps[kImagePropertyGPSTimeStamp], Value("08:21:33.50"));
    EXPECT_EQ(gps[kImagePropertyGPSVersion], Value::array({2, 2, 0, 0}));
    EXPECT_EQ(gps[kImagePropertyGPSDateStamp], Value("2024:05:17"));

    const Value& iptc = properties[kImagePropertyIPTCDictionary];
    EXPECT_EQ(iptc[kImagePropertyIPTCKeywords], Value::array({"river", "bridge"}));
    EXPECT_EQ(iptc[kImagePropertyIPTCByline], Value::array({"Ann Example"})); // repeatable dataset
    EXPECT_EQ(iptc[kImagePropertyIPTCCity], Value("Paris"));
    EXPECT_EQ(iptc[kImagePropertyIPTCDateCreated], Value("2024-05-17"));
}

TEST(ImagePropertyMapping, ReadsNikonMakerNotes)
{
    auto bytes = readFixture("camera.jpg");
    ASSERT_FALSE(bytes.empty());
    {
        ImagePropertyMapping::initialize();
        auto image = Exiv2::ImageFactory::open(bytes.data(), long(bytes.size()));
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        exif["Exif.Image.Make"] = "NIKON CORPORATION";
        exif["Exif.Nikon3.ShutterCount"] = uint32_t(1234);
        exif["Exif.Nikon3.Quality"] = "FINE";
        image->setExifData(exif);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        io.open();
        bytes.resize(std::size_t(io.size()));
        io.read(bytes.data(), long(bytes.size()));
        io.close();
    }
    const Value properties = ImagePropertyMapping::readImageProperties(bytes.data(), bytes.size());
    const Value& nikon = properties[kImagePropertyMakerNikonDictionary];
    EXPECT_EQ(nikon[kImagePropertyMakerNikonShutterCount], Value(1234));
    EXPECT_EQ(nikon[kImagePropertyMakerNikonQuality], Value("FINE"));
    // Never written back: the maker note's layout is the camera's.
    EXPECT_FALSE(ImagePropertyMapping::entryForProperty(kImagePropertyMakerNikonDictionary,
                                                        kImagePropertyMakerNikonShutterCount)->writable);
}

TEST(ImagePropertyMapping, CameraMetadataRoundTripsThroughDictionariesWithoutLoss)
{
    const auto source = readFixture("camera.jpg");
    const Metadata original = exiv2Read(source);
    Value properties = ImagePropertyMapping::readImageProperties(source.data(), source.size());
    // The catalogue stores the groups as text: go through the property-list form as well.
    properties = *Value::fromXmlPropertyList(*properties.toXmlPropertyList());

    auto pixels = std::vector<std::uint8_t>(16 * 16 * 3, 128);
    auto image = PlatformImage::create(16, 16, 8, 24, 48, kImageAlphaNone, PlatformColorSpace::createDeviceRGB(), pixels);
    auto destination = ImageDestination::createWithData("public.jpeg");
    ASSERT_TRUE(destination->addImage(image, properties));
    ASSERT_TRUE(destination->finalize()) << destination->errorText();
    const Metadata written = exiv2Read(destination->data());

    int compared = 0;
    for (const auto& datum : original.exif) {
        const auto* entry = ImagePropertyMapping::entryForExiv2Key(datum.key());
        if (!entry || !entry->writable)
            continue;
        auto it = written.exif.findKey(Exiv2::ExifKey(datum.key()));
        ASSERT_NE(it, written.exif.end()) << datum.key();
        expectSameValue(datum.value(), it->value(), datum.key());
        ++compared;
    }
    EXPECT_GE(compared, 30);
    for (const auto& datum : original.iptc) {
        std::vector<std::string> expected, actual;
        for (const auto& d : original.iptc)
            if (d.key() == datum.key())
                expected.push_back(d.toString());
        for (const auto& d : written.iptc)
            if (d.key() == datum.key())
                actual.push_back(d.toString());
        EXPECT_EQ(expected, actual) << datum.key();
    }
}

TEST(ImagePropertyMapping, TableKeysAreKnownToExiv2AndUnique)
{
    ImagePropertyMapping::initialize();
    std::set<std::string> exiv2Keys, propertyKeys;
    for (const auto& entry : ImagePropertyMapping::table()) {
        const std::string key = entry.exiv2Key;
        if (key.rfind("Iptc.", 0) == 0)
            EXPECT_NO_THROW(Exiv2::IptcKey {key}) << key;
        else
            EXPECT_NO_THROW(Exiv2::ExifKey {key}) << key;
        EXPECT_TRUE(exiv2Keys.insert(key).second) << key;
        EXPECT_TRUE(propertyKeys.insert(std::string(entry.dictionary) + entry.property).second) << entry.property;
    }
    EXPECT_EQ(ImagePropertyMapping::entryForProperty("{Exif}", "FNumber")->exiv2Key, std::string("Exif.Photo.FNumber"));
    EXPECT_STREQ(ImagePropertyMapping::entryForExiv2Key("Exif.Photo.SubSecTimeOriginal")->property, "SubsecTimeOriginal");
    EXPECT_EQ(ImagePropertyMapping::entryForProperty("{Exif}", "NoSuchKey"), nullptr);
}

TEST(ImagePropertyMapping, ConvertsValuesTheTagsNeed)
{
    struct Case {
        const char* dictionary;
        const char* property;
        Value value;
        const char* exiv2Key;
        const char* expected; // exiv2's text of the written value
    };
    const Case cases[] = {
        {"{Exif}", "ExposureTime", Value(1.0 / 3), "Exif.Photo.ExposureTime", "1/3"},
        {"{Exif}", "ExposureTime", Value("1/125"), "Exif.Photo.ExposureTime", "1/125"}, // text from the catalogue
        {"{Exif}", "FNumber", Value("5.6"), "Exif.Photo.FNumber", "28/5"},
        {"{Exif}", "ExposureBiasValue", Value(-0.7), "Exif.Photo.ExposureBiasValue", "-7/10"},
        {"{Exif}", "ISOSpeedRatings", Value::array({100}), "Exif.Photo.ISOSpeedRatings", "100"},
        {"{Exif}", "ExifVersion", Value::array({2, 2, 1}), "Exif.Photo.ExifVersion", "48 50 50 49"},
        {"{GPS}", "Latitude", Value(10.5), "Exif.GPSInfo.GPSLatitude", "10/1 30/1 0/1000000"},
        // 59.9999999 s rounds up to a whole minute, which carries into the degrees.
        {"{GPS}", "Longitude", Value(1 + 59 / 60.0 + 59.9999999 / 3600), "Exif.GPSInfo.GPSLongitude", "2/1 0/1 0/1000000"},
        {"{GPS}", "TimeStamp", Value("23:59:07.25"), "Exif.GPSInfo.GPSTimeStamp", "23/1 59/1 725/100"},
        {"{TIFF}", "Orientation", Value(8), "Exif.Image.Orientation", "8"},
    };
    for (const auto& c : cases) {
        Exiv2::ExifData exif;
        Exiv2::IptcData iptc;
        Value properties = Value::dictionary({{c.dictionary, Value::dictionary({{c.property, c.value}})}});
        exiv2FromImageProperties(properties, exif, iptc);
        auto it = exif.findKey(Exiv2::ExifKey(c.exiv2Key));
        ASSERT_NE(it, exif.end()) << c.property;
        if (it->typeId() == Exiv2::undefined) {
            std::vector<Exiv2::byte> bytes(std::size_t(it->size()));
            it->copy(bytes.data(), Exiv2::littleEndian);
            std::string text;
            for (auto b : bytes)
                text += (text.empty() ? "" : " ") + std::to_string(b);
            EXPECT_EQ(text, c.expected) << c.property;
        } else {
            EXPECT_EQ(it->value().toString(), c.expected) << c.property;
        }
    }
}

TEST(ImagePropertyMapping, LeavesOutWhatCannotBeWrittenAndKeepsTheRest)
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    const Value properties = Value::dictionary({
        {"{Exif}", Value::dictionary({{"FNumber", Value("not a number")}, {"FocalLength", 50}, {"MakerNote", Value::data("xy", 2)}})},
        {"{TIFF}", Value::dictionary({{"Compression", 5}})},
        {"{IPTC}", Value::dictionary({{"Keywords", Value::array({"été", "lac"})}, {"DateCreated", "20240517"}})},
        {"{Nonsense}", Value::dictionary({{"FNumber", 4}})},
        {"Orientation", 3},
    });
    exiv2FromImageProperties(properties, exif, iptc);
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.FNumber")), exif.end());
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Photo.MakerNote")), exif.end());
    EXPECT_EQ(exif.findKey(Exiv2::ExifKey("Exif.Image.Compression")), exif.end());
    EXPECT_EQ(exif["Exif.Photo.FocalLength"].toString(), "50/1");
    EXPECT_EQ(exif["Exif.Image.Orientation"].toString(), "3"); // no {TIFF} Orientation: the top-level one
    EXPECT_EQ(iptc.count(), 4u); // two keywords, the date and the UTF-8 character set
    EXPECT_EQ(iptc["Iptc.Application2.DateCreated"].toString(), "2024-05-17");
    EXPECT_EQ(iptc["Iptc.Envelope.CharacterSet"].toString(), "\x1b%G");
}

TEST(ImagePropertyMapping, ANegativeCoordinateWithoutReferenceKeepsItsHemisphere)
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    exiv2FromImageProperties(Value::dictionary({{"{GPS}", Value::dictionary({{"Latitude", -33.5}, {"Longitude", -70.25},
                                                    {"DestLatitude", -1.0}, {"DestLatitudeRef", "N"}})}}),
        exif, iptc);
    EXPECT_EQ(exif["Exif.GPSInfo.GPSLatitude"].toString(), "33/1 30/1 0/1000000");
    EXPECT_EQ(exif["Exif.GPSInfo.GPSLatitudeRef"].toString(), "S");
    EXPECT_EQ(exif["Exif.GPSInfo.GPSLongitudeRef"].toString(), "W");
    EXPECT_EQ(exif["Exif.GPSInfo.GPSDestLatitudeRef"].toString(), "N"); // a given reference is kept
}

TEST(ImagePropertyMapping, TIFFOrientationWinsOverAStaleTopLevelOne)
{
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    exiv2FromImageProperties(Value::dictionary({{"Orientation", 1}, {"{TIFF}", Value::dictionary({{"Orientation", 6}})}}), exif, iptc);
    EXPECT_EQ(exif["Exif.Image.Orientation"].toString(), "6");
}

TEST(ImagePropertyMapping, DamagedOrForeignBytesGiveAnEmptyDictionary)
{
    ScopedLogCapture log;
    const std::uint8_t garbage[] = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0};
    EXPECT_EQ(ImagePropertyMapping::readImageProperties(garbage, sizeof garbage), Value::dictionary());
    EXPECT_EQ(ImagePropertyMapping::readImageProperties(nullptr, 0), Value::dictionary());
    std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(ImagePropertyMapping::writeImageProperties(text, Value::dictionary({{"Orientation", 6}})));
    EXPECT_EQ(text.size(), 5u);
    EXPECT_TRUE(log.contains("ImagePropertyMapping::writeImageProperties"));
}
