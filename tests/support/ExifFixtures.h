#pragma once
// EXIF blocks written byte by byte, for tests that need layouts exactly as given (either byte
// order, uncompressed thumbnails, odd entry types, damage at a known offset) rather than as a
// metadata library would write them.
//
//   tiffBytes(little, {{ifd0 fields}, {ifd1 fields}}, blobs): a TIFF structure: the header, the
//   directories chained in order, each followed by its values that do not fit in an entry,
//   then the blobs (strip data, JPEG thumbnails) that fields point at.
//   thumbnailStripFields(...): the IFD1 fields of an uncompressed thumbnail.
//   withApp1(jpeg, header, payload): the JPEG with one more APP1 segment right after SOI.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vistel::test {

struct TiffField {
    TiffField(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> numbers = {},
              std::vector<std::uint8_t> bytes = {}, std::vector<int> blobs = {})
        : tag(tag), type(type), numbers(std::move(numbers)), bytes(std::move(bytes)), blobs(std::move(blobs))
    {
    }
    std::uint16_t tag;
    std::uint16_t type;                 // 2 ASCII, 3 SHORT, 4 LONG, 7 UNDEFINED
    std::vector<std::uint32_t> numbers; // SHORT and LONG values
    std::vector<std::uint8_t> bytes;    // ASCII and UNDEFINED values
    std::vector<int> blobs;             // when set: LONG offsets of these blobs, in place of numbers
};

inline std::vector<std::uint8_t> tiffBytes(bool little, const std::vector<std::vector<TiffField>>& directories,
    const std::vector<std::vector<std::uint8_t>>& blobs = {})
{
    const auto valueSize = [](const TiffField& f) -> std::size_t {
        if (!f.blobs.empty())
            return f.blobs.size() * 4;
        return f.type == 3 ? f.numbers.size() * 2 : f.type == 4 ? f.numbers.size() * 4 : f.bytes.size();
    };
    const auto outOfLine = [&](const TiffField& f) {
        const std::size_t n = valueSize(f);
        return n > 4 ? n + (n & 1) : 0;
    };
    // Where each directory and each blob starts.
    std::vector<std::size_t> directoryAt;
    std::size_t at = 8;
    for (const auto& fields : directories) {
        directoryAt.push_back(at);
        at += 2 + fields.size() * 12 + 4;
        for (const TiffField& f : fields)
            at += outOfLine(f);
    }
    std::vector<std::size_t> blobAt;
    for (const auto& blob : blobs) {
        blobAt.push_back(at);
        at += blob.size();
    }

    std::vector<std::uint8_t> out(at, 0);
    const auto put = [&](std::size_t pos, std::uint32_t v, int width) {
        for (int i = 0; i < width; ++i)
            out[pos + std::size_t(i)] = std::uint8_t(v >> (little ? 8 * i : 8 * (width - 1 - i)));
    };
    out[0] = out[1] = little ? 'I' : 'M';
    put(2, 42, 2);
    put(4, directories.empty() ? 0 : std::uint32_t(directoryAt[0]), 4);
    for (std::size_t d = 0; d < directories.size(); ++d) {
        const auto& fields = directories[d];
        std::size_t pos = directoryAt[d];
        std::size_t extra = pos + 2 + fields.size() * 12 + 4;
        put(pos, std::uint32_t(fields.size()), 2);
        pos += 2;
        for (const TiffField& f : fields) {
            std::vector<std::uint8_t> value;
            const auto push = [&](std::uint32_t v, int width) {
                for (int i = 0; i < width; ++i)
                    value.push_back(std::uint8_t(v >> (little ? 8 * i : 8 * (width - 1 - i))));
            };
            if (!f.blobs.empty())
                for (int b : f.blobs)
                    push(std::uint32_t(blobAt[std::size_t(b)]), 4);
            else if (f.type == 3 || f.type == 4)
                for (std::uint32_t v : f.numbers)
                    push(v, f.type == 3 ? 2 : 4);
            else
                value = f.bytes;
            put(pos, f.tag, 2);
            put(pos + 2, f.blobs.empty() ? f.type : 4, 2);
            put(pos + 4, std::uint32_t(f.blobs.empty() ? (f.type == 3 || f.type == 4 ? f.numbers.size() : f.bytes.size())
                                                      : f.blobs.size()), 4);
            if (value.size() <= 4) {
                std::copy(value.begin(), value.end(), out.begin() + std::ptrdiff_t(pos + 8));
            } else {
                put(pos + 8, std::uint32_t(extra), 4);
                std::copy(value.begin(), value.end(), out.begin() + std::ptrdiff_t(extra));
                extra += outOfLine(f);
            }
            pos += 12;
        }
        put(pos, d + 1 < directories.size() ? std::uint32_t(directoryAt[d + 1]) : 0, 4);
    }
    for (std::size_t b = 0; b < blobs.size(); ++b)
        std::copy(blobs[b].begin(), blobs[b].end(), out.begin() + std::ptrdiff_t(blobAt[b]));
    return out;
}

// IFD1 fields of an uncompressed 8-bit thumbnail in strips of `rowsPerStrip` rows with the given
// byte counts, held in blobs 0, 1, ...
inline std::vector<TiffField> thumbnailStripFields(std::uint32_t width, std::uint32_t height, std::uint32_t samples,
    std::uint32_t photometric, std::uint32_t rowsPerStrip, std::vector<std::uint32_t> byteCounts)
{
    std::vector<int> blobs;
    for (std::size_t i = 0; i < byteCounts.size(); ++i)
        blobs.push_back(int(i));
    return {
        {0x0100, 3, {width}},
        {0x0101, 3, {height}},
        {0x0102, 3, std::vector<std::uint32_t>(samples, 8)},
        {0x0103, 3, {1}},
        {0x0106, 3, {photometric}},
        {0x0111, 4, {}, {}, blobs},
        {0x0115, 3, {samples}},
        {0x0116, 3, {rowsPerStrip}},
        {0x0117, 4, std::move(byteCounts)},
    };
}

inline std::vector<std::uint8_t> withApp1(const std::vector<std::uint8_t>& jpeg, const std::string& header,
    const std::vector<std::uint8_t>& payload)
{
    const std::size_t length = 2 + header.size() + payload.size();
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)});
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

inline const std::string kExifHeader("Exif\0\0", 6);
inline const std::string kXmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);

} // namespace vistel::test
