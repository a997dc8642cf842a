#include "Platform/Imaging/ExifLayout.h"

#include <cstring>
#include <string_view>

#include <QtEndian>

namespace vistel {

namespace {

constexpr std::string_view kExifHeader {"Exif\0\0", 6};
constexpr std::string_view kXmpHeader {"http://ns.adobe.com/xap/1.0/\0", 29};

bool startsWith(const std::uint8_t* p, std::size_t size, std::string_view prefix)
{
    return size >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// APP1 segments before the scan data.
MetadataBlocks jpegBlocks(const std::uint8_t* b, std::size_t size)
{
    MetadataBlocks blocks;
    std::size_t pos = 2;
    while (pos + 4 <= size) {
        if (b[pos] != 0xFF)
            break;
        const std::uint8_t marker = b[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // scan data or end: no metadata follows
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        const std::size_t length = qFromBigEndian<std::uint16_t>(b + pos + 2);
        if (length < 2 || length > size - pos - 2)
            break;
        const std::size_t payload = pos + 4;
        const std::size_t payloadSize = length - 2;
        if (marker == 0xE1) {
            if (!blocks.exif && startsWith(b + payload, payloadSize, kExifHeader))
                blocks.exif = ByteSpan {payload + kExifHeader.size(), payloadSize - kExifHeader.size()};
            else if (!blocks.xmp && startsWith(b + payload, payloadSize, kXmpHeader))
                blocks.xmp = ByteSpan {payload + kXmpHeader.size(), payloadSize - kXmpHeader.size()};
        }
        pos += 2 + length;
    }
    return blocks;
}

// RIFF chunks after the "WEBP" form type.
MetadataBlocks webpBlocks(const std::uint8_t* b, std::size_t size)
{
    MetadataBlocks blocks;
    std::size_t pos = 12;
    while (pos + 8 <= size) {
        const std::size_t length = qFromLittleEndian<std::uint32_t>(b + pos + 4);
        if (length > size - pos - 8)
            break;
        const std::size_t payload = pos + 8;
        if (!blocks.exif && std::memcmp(b + pos, "EXIF", 4) == 0) {
            // Some writers keep the JPEG-style "Exif\0\0" before the TIFF structure.
            const std::size_t skip = startsWith(b + payload, length, kExifHeader) ? kExifHeader.size() : 0;
            blocks.exif = ByteSpan {payload + skip, length - skip};
        } else if (!blocks.xmp && std::memcmp(b + pos, "XMP ", 4) == 0) {
            blocks.xmp = ByteSpan {payload, length};
        }
        pos = payload + length + (length & 1);
    }
    return blocks;
}

} // namespace

MetadataBlocks findMetadataBlocks(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size < 12)
        return {};
    if (bytes[0] == 0xFF && bytes[1] == 0xD8)
        return jpegBlocks(bytes, size);
    if (std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0)
        return webpBlocks(bytes, size);
    return {};
}

std::optional<TiffBlock> TiffBlock::open(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size < 8)
        return std::nullopt;
    bool little;
    if (bytes[0] == 'I' && bytes[1] == 'I')
        little = true;
    else if (bytes[0] == 'M' && bytes[1] == 'M')
        little = false;
    else
        return std::nullopt;
    const TiffBlock block(bytes, size, little);
    if (block.read16(2) != 42)
        return std::nullopt;
    return block;
}

std::uint16_t TiffBlock::read16(std::size_t at) const
{
    return little_ ? qFromLittleEndian<std::uint16_t>(bytes_ + at) : qFromBigEndian<std::uint16_t>(bytes_ + at);
}

std::uint32_t TiffBlock::read32(std::size_t at) const
{
    return little_ ? qFromLittleEndian<std::uint32_t>(bytes_ + at) : qFromBigEndian<std::uint32_t>(bytes_ + at);
}

std::optional<std::size_t> TiffBlock::directoryAt(std::uint64_t offset) const
{
    if (offset < 8 || offset + 2 > size_)
        return std::nullopt;
    return std::size_t(offset);
}

std::optional<std::size_t> TiffBlock::firstDirectory() const
{
    return directoryAt(read32(4));
}

std::optional<std::size_t> TiffBlock::nextDirectory(std::size_t directory) const
{
    if (directory + 2 > size_)
        return std::nullopt;
    const std::uint64_t nextAt = directory + 2 + std::uint64_t(read16(directory)) * 12;
    if (nextAt + 4 > size_)
        return std::nullopt;
    const std::uint32_t next = read32(std::size_t(nextAt));
    if (next == directory) // a directory that names itself
        return std::nullopt;
    return directoryAt(next);
}

std::optional<std::vector<TiffBlock::Entry>> TiffBlock::entries(std::size_t directory) const
{
    if (directory + 2 > size_)
        return std::nullopt;
    const std::uint64_t count = read16(directory);
    if (directory + 2 + count * 12 > size_)
        return std::nullopt;
    std::vector<Entry> list;
    list.reserve(std::size_t(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = directory + 2 + i * 12;
        list.push_back(Entry {read16(at), read16(at + 2), read32(at + 4), at + 8});
    }
    return list;
}

std::optional<std::size_t> TiffBlock::valuesAt(const Entry& entry) const
{
    if ((entry.type != kShort && entry.type != kLong) || entry.count == 0)
        return std::nullopt;
    const std::uint64_t total = std::uint64_t(entry.count) * (entry.type == kShort ? 2 : 4);
    const std::uint64_t at = total <= 4 ? entry.valueAt : read32(entry.valueAt);
    if (at + total > size_)
        return std::nullopt;
    return std::size_t(at);
}

std::uint32_t TiffBlock::valueAt(const Entry& entry, std::size_t first, std::uint32_t index) const
{
    return entry.type == kShort ? read16(first + std::size_t(index) * 2) : read32(first + std::size_t(index) * 4);
}

std::optional<std::uint32_t> TiffBlock::firstValue(const Entry& entry) const
{
    const auto first = valuesAt(entry);
    if (!first)
        return std::nullopt;
    return valueAt(entry, *first, 0);
}

std::optional<std::vector<std::uint32_t>> TiffBlock::values(const Entry& entry, std::uint32_t maxCount) const
{
    const auto first = valuesAt(entry);
    if (!first || entry.count > maxCount)
        return std::nullopt;
    std::vector<std::uint32_t> list(entry.count);
    for (std::uint32_t i = 0; i < entry.count; ++i)
        list[i] = valueAt(entry, *first, i);
    return list;
}

} // namespace vistel
