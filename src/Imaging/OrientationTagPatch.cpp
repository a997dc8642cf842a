#include "Imaging/OrientationTagPatch.h"

#include <optional>
#include <string_view>

#include "Platform/Imaging/ExifLayout.h"

namespace vistel {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::string_view kXmpName = "tiff:Orientation";

// The file offset of the orientation value in IFD0 when it is one SHORT, with its byte order.
std::optional<std::pair<std::size_t, bool>> exifOrientationValue(const Value::Bytes& b, ByteSpan exif)
{
    const auto tiff = TiffBlock::open(b.data() + exif.offset, exif.size);
    if (!tiff)
        return std::nullopt;
    const auto ifd0 = tiff->firstDirectory();
    const auto entries = ifd0 ? tiff->entries(*ifd0) : std::nullopt;
    if (!entries)
        return std::nullopt;
    for (const TiffBlock::Entry& e : *entries) {
        if (e.tag != kOrientationTag)
            continue;
        if (e.type != TiffBlock::kShort || e.count != 1)
            return std::nullopt;
        return std::make_pair(exif.offset + e.valueAt, tiff->littleEndian());
    }
    return std::nullopt;
}

// What the XMP packet says about the orientation.
struct XmpOrientation {
    bool present = false;
    std::optional<std::size_t> digitAt; // the file offset of the one digit, when usable
};

// tiff:Orientation as an attribute (tiff:Orientation="6") or an element
// (<tiff:Orientation>6</tiff:Orientation>); usable when its value is exactly one digit 1-8.
XmpOrientation xmpOrientation(const Value::Bytes& b, ByteSpan packet)
{
    XmpOrientation result;
    const std::string_view text(reinterpret_cast<const char*>(b.data() + packet.offset), packet.size);
    const std::size_t name = text.find(kXmpName);
    if (name == std::string_view::npos)
        return result;
    result.present = true;
    std::size_t at = name + kXmpName.size();
    const auto skipSpace = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
    };
    skipSpace();
    if (at >= text.size())
        return result;
    char close;
    if (text[at] == '=') {
        ++at;
        skipSpace();
        if (at >= text.size() || (text[at] != '"' && text[at] != '\''))
            return result;
        close = text[at++];
    } else if (text[at] == '>') {
        ++at;
        close = '<';
    } else {
        return result;
    }
    if (at + 1 < text.size() && text[at] >= '1' && text[at] <= '8' && text[at + 1] == close)
        result.digitAt = packet.offset + at;
    return result;
}

} // namespace

bool patchOrientationInPlace(Value::Bytes& bytes, std::uint32_t orientation)
{
    if (orientation < 1 || orientation > 8)
        return false;
    const MetadataBlocks blocks = findMetadataBlocks(bytes.data(), bytes.size());
    if (!blocks.exif)
        return false;
    const auto value = exifOrientationValue(bytes, *blocks.exif);
    if (!value)
        return false;
    const XmpOrientation xmp = blocks.xmp ? xmpOrientation(bytes, *blocks.xmp) : XmpOrientation {};
    if (xmp.present && !xmp.digitAt)
        return false;

    const auto [at, little] = *value;
    bytes[at + (little ? 0 : 1)] = std::uint8_t(orientation);
    bytes[at + (little ? 1 : 0)] = 0;
    if (xmp.digitAt)
        bytes[*xmp.digitAt] = std::uint8_t('0' + orientation);
    return true;
}

} // namespace vistel
