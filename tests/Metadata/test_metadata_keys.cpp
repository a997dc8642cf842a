// The file, EXIF and IPTC field tables against what the readers produce: every row that reads an
// image-property dictionary names a key of the exiv2 mapping or a key a codec sets, and every
// page fact a row reads is one the codecs measure. The catalogue keeps exactly these
// dictionaries and facts for each picture, so a row naming anything else would never show.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "GIFCodec.h"
#include "JPEGCodec.h"
#include "Metadata/MetadataProfile.h"
#include "PNGCodec.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyMapping.h"

namespace vistel::test {
namespace {

using Key = std::pair<std::string, std::string>;

// Rows whose value no reader produces: the camera file format's own records and fields that no
// standard tag holds.
const std::set<Key>& unreadRows()
{
    static const std::set<Key> rows = [] {
        std::set<Key> keys = {
            {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensID},
            {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxFlashCompensation},
            {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxFirmware},
            {kImagePropertyIPTCDictionary, kImagePropertyIPTCStarRating},
        };
        for (const char* key :
             {kImagePropertyCIFFDescription, kImagePropertyCIFFFirmware, kImagePropertyCIFFOwnerName, kImagePropertyCIFFImageName,
              kImagePropertyCIFFImageFileName, kImagePropertyCIFFReleaseMethod, kImagePropertyCIFFReleaseTiming, kImagePropertyCIFFRecordID,
              kImagePropertyCIFFSelfTimingTime, kImagePropertyCIFFCameraSerialNumber, kImagePropertyCIFFImageSerialNumber,
              kImagePropertyCIFFContinuousDrive, kImagePropertyCIFFFocusMode, kImagePropertyCIFFMeteringMode, kImagePropertyCIFFShootingMode,
              kImagePropertyCIFFLensModel, kImagePropertyCIFFLensMaxMM, kImagePropertyCIFFLensMinMM, kImagePropertyCIFFWhiteBalanceIndex,
              kImagePropertyCIFFFlashExposureComp, kImagePropertyCIFFMeasuredEV})
            keys.insert({kImagePropertyCIFFDictionary, key});
        return keys;
    }();
    return rows;
}

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

std::vector<std::uint8_t> pngChunk(const char* type, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> chunk;
    appendBigEndian(chunk, std::uint32_t(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    appendBigEndian(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    return chunk;
}

std::shared_ptr<std::vector<std::uint8_t>> readPicture(const std::string& name)
{
    std::ifstream in(std::filesystem::path(VISTEL_SOURCE_DIR) / "tests/plugins/data" / name, std::ios::binary);
    return std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The committed PNG with a physical size (300 dpi) and a rendering intent added after its header.
std::shared_ptr<std::vector<std::uint8_t>> pngWithResolution()
{
    auto bytes = readPicture("rgb8.png");
    std::vector<std::uint8_t> phys;
    appendBigEndian(phys, 11811); // pixels per metre, x
    appendBigEndian(phys, 11811); // y
    phys.push_back(1);            // unit: metre
    std::vector<std::uint8_t> added = pngChunk("pHYs", phys);
    const std::vector<std::uint8_t> srgb = pngChunk("sRGB", {0});
    added.insert(added.end(), srgb.begin(), srgb.end());
    constexpr std::size_t afterHeader = 8 + 25;
    bytes->insert(bytes->begin() + afterHeader, added.begin(), added.end());
    return bytes;
}

// Every (dictionary, key) the codecs set on the first page of a few pictures; page facts (values
// that are no dictionary) under "{RootPageMetadata}", where the catalogue keeps them.
std::set<Key> codecKeys()
{
    const std::pair<std::shared_ptr<std::vector<std::uint8_t>>, std::unique_ptr<codec::ImageCodec>> pictures[] = {
        {readPicture("rgb8.png"), std::make_unique<codec::PNGCodec>()},
        {readPicture("icc.png"), std::make_unique<codec::PNGCodec>()},
        {pngWithResolution(), std::make_unique<codec::PNGCodec>()},
        {readPicture("anim.gif"), std::make_unique<codec::GIFCodec>()},
        {readPicture("progressive.jpg"), std::make_unique<codec::JPEGCodec>()},
    };
    std::set<Key> keys;
    for (const auto& [bytes, codec] : pictures) {
        codec::EncodedData data;
        data.bytes = bytes->data();
        data.size = bytes->size();
        data.owner = bytes;
        auto decoder = codec->open(std::move(data));
        EXPECT_TRUE(decoder);
        if (!decoder)
            continue;
        const Value properties = decoder->page(0)->properties;
        for (const auto& [key, value] : properties.asDictionary()) {
            if (!value.isDictionary())
                keys.insert({MetadataProfile::SourceRootPageMetadata, key});
            for (const auto& entry : value.asDictionary())
                keys.insert({key, entry.first});
        }
    }
    return keys;
}

TEST(MetadataTableKeys, EveryImagePropertyRowNamesAKeyAReaderProduces)
{
    const std::set<Key> produced = codecKeys();
    std::set<Key> unreadSeen;
    for (Ref<MetadataProfile> profile : {MetadataProfile::fileProfile(), MetadataProfile::exifProfile(), MetadataProfile::iptcProfile()}) {
        for (std::size_t i = 0; i < profile->count(); ++i) {
            const MetadataProfileItemInfo* row = profile->infoAtIndex(i);
            const Key key {row->sourcePath1, row->sourcePath2};
            // The item's own properties are no image property.
            if (key.first == MetadataProfile::SourceFileSystemItem)
                continue;
            const bool mapped = ImagePropertyMapping::entryForProperty(key.first, key.second) != nullptr;
            const bool unread = unreadRows().contains(key);
            if (unread)
                unreadSeen.insert(key);
            EXPECT_TRUE(mapped || produced.contains(key) || unread) << key.first << " " << key.second << " (" << row->name << ")";
            // A row listed as unread really has no reader.
            EXPECT_FALSE(unread && (mapped || produced.contains(key))) << key.first << " " << key.second << " is read";
        }
    }
    EXPECT_EQ(unreadSeen, unreadRows());
}

} // namespace
} // namespace vistel::test
