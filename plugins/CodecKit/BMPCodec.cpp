#include "BMPCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

enum : std::uint32_t { kRGB = 0, kRLE8 = 1, kRLE4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    void set(std::uint32_t m)
    {
        mask = m;
        shift = m ? std::countr_zero(m) : 0;
        max = m ? (m >> shift) : 0;
    }
    std::uint8_t get(std::uint32_t px) const
    {
        if (!mask)
            return 0;
        const std::uint32_t v = (px & mask) >> shift;
        return std::uint8_t(max ? (std::uint64_t(v) * 255 + max / 2) / max : 0);
    }
};

struct BMPHeader {
    std::uint32_t dataOffset = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0, height = 0;
    bool topDown = false;
    std::uint16_t bpp = 0;
    std::uint32_t compression = kRGB;
    std::uint32_t xppm = 0, yppm = 0;
    std::vector<std::array<std::uint8_t, 3>> palette; // RGB
    Channel r, g, b, a;
};

// nullopt with `failure` empty when the bytes are no BMP, set when a BMP cannot be read.
std::optional<BMPHeader> parseHeader(const std::uint8_t* d, std::size_t size, std::string& failure)
{
    if (size < 2 || d[0] != 'B' || d[1] != 'M')
        return std::nullopt;
    if (size < 26) {
        failure = truncatedFailure(size);
        return std::nullopt;
    }
    BMPHeader h;
    h.dataOffset = read32(d + 10, true);
    h.headerSize = read32(d + 14, true);
    if (h.headerSize < 12 || h.headerSize > 1024)
        return std::nullopt; // "BM" and no bitmap header: another format, or none
    if (14ull + h.headerSize > size) {
        failure = truncatedFailure(size);
        return std::nullopt;
    }
    std::size_t paletteEntrySize = 4;
    std::uint32_t colorsUsed = 0;
    if (h.headerSize == 12) { // OS/2 core header
        h.width = read16(d + 18, true);
        h.height = std::int16_t(read16(d + 20, true));
        h.bpp = read16(d + 24, true);
        paletteEntrySize = 3;
    } else {
        if (h.headerSize < 40) {
            failure = "unsupported BMP header of " + std::to_string(h.headerSize) + " bytes";
            return std::nullopt;
        }
        h.width = std::int32_t(read32(d + 18, true));
        h.height = std::int32_t(read32(d + 22, true));
        h.bpp = read16(d + 28, true);
        h.compression = read32(d + 30, true);
        h.xppm = read32(d + 38, true);
        h.yppm = read32(d + 42, true);
        colorsUsed = read32(d + 46, true);
    }
    if (h.height < 0) {
        h.topDown = true;
        h.height = -h.height;
    }
    if (h.width <= 0 || h.height <= 0 || !acceptableSize(std::uint64_t(h.width), std::uint64_t(h.height))) {
        failure = tooLargeFailure(std::uint64_t(std::max<std::int64_t>(h.width, 0)), std::uint64_t(h.height));
        return std::nullopt;
    }
    const auto unsupportedLayout = [&]() -> std::optional<BMPHeader> {
        failure = "unsupported BMP layout: " + std::to_string(h.bpp) + " bits, compression " + std::to_string(h.compression);
        return std::nullopt;
    };
    switch (h.compression) {
    case kRGB:
        if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
            return unsupportedLayout();
        break;
    case kRLE8:
        if (h.bpp != 8 || h.topDown)
            return unsupportedLayout();
        break;
    case kRLE4:
        if (h.bpp != 4 || h.topDown)
            return unsupportedLayout();
        break;
    case kBitFields:
    case kAlphaBitFields:
        if (h.bpp != 16 && h.bpp != 32)
            return unsupportedLayout();
        break;
    default: // embedded JPEG or PNG, or unknown
        failure = unsupportedCompressionFailure(std::to_string(h.compression));
        return std::nullopt;
    }
    std::size_t afterHeader = 14 + h.headerSize;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        // Masks live in the larger headers, or follow a 40-byte one.
        const std::size_t masksAt = h.headerSize >= 52 ? 54 : afterHeader;
        const std::size_t maskCount = h.compression == kAlphaBitFields || h.headerSize >= 56 ? 4 : 3;
        if (masksAt + 4 * maskCount > size) {
            failure = truncatedFailure(size);
            return std::nullopt;
        }
        h.r.set(read32(d + masksAt, true));
        h.g.set(read32(d + masksAt + 4, true));
        h.b.set(read32(d + masksAt + 8, true));
        if (maskCount == 4)
            h.a.set(read32(d + masksAt + 12, true));
        if (h.headerSize < 52)
            afterHeader += 4 * maskCount;
    } else if (h.bpp == 16) {
        h.r.set(0x7C00);
        h.g.set(0x03E0);
        h.b.set(0x001F);
    } else if (h.bpp == 32) {
        h.r.set(0x00FF0000);
        h.g.set(0x0000FF00);
        h.b.set(0x000000FF);
    }
    if (h.bpp <= 8) {
        std::size_t count = colorsUsed ? colorsUsed : (1u << h.bpp);
        count = std::min<std::size_t>(count, 1u << h.bpp);
        if (afterHeader + count * paletteEntrySize > size)
            count = afterHeader < size ? (size - afterHeader) / paletteEntrySize : 0;
        if (count == 0) {
            failure = truncatedFailure(size);
            return std::nullopt;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = d + afterHeader + i * paletteEntrySize;
            h.palette.push_back({ e[2], e[1], e[0] });
        }
    }
    if (h.dataOffset >= size) {
        failure = truncatedFailure(size);
        return std::nullopt;
    }
    return h;
}

class BMPDecoder final : public ImageDecoder {
public:
    BMPDecoder(EncodedData data, BMPHeader header) : ImageDecoder(std::move(data)), h_(std::move(header)) { }

    std::string typeIdentifier() const override { return "com.microsoft.bmp"; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        PageDescription d;
        d.width = std::uint32_t(h_.width);
        d.height = std::uint32_t(h_.height);
        d.bitsPerSample = 8;
        if (h_.xppm > 0 && h_.yppm > 0) {
            d.dpiWidth = h_.xppm * 0.0254;
            d.dpiHeight = h_.yppm * 0.0254;
        }
        d.properties = basicPageProperties(d.width, d.height, h_.bpp, PlatformColorSpace::createDeviceRGB(), hasAlpha(),
            d.dpiWidth, d.dpiHeight);
        if (h_.bpp <= 8)
            d.properties.set(kImagePropertyIsIndexed, true);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        const std::size_t w = std::size_t(h_.width), ht = std::size_t(h_.height);
        const std::size_t channels = hasAlpha() ? 4 : 3;
        const std::size_t rowBytes = w * channels;
        std::vector<std::uint8_t> pixels(rowBytes * ht, 0);
        bool complete = true;
        std::size_t rowsDone = 0;
        if (h_.compression == kRLE8 || h_.compression == kRLE4)
            complete = decodeRLE(pixels, rowBytes, rowsDone);
        else
            complete = decodePlain(pixels, rowBytes, channels, rowsDone, options);
        if (options.isCancelled())
            return DecodeResult::failure("cancelled");
        if (rowsDone == 0)
            return DecodeResult::failure(truncatedFailure(data_.size));
        auto image = PlatformImage::create(w, ht, 8, 8 * channels, rowBytes, channels == 4 ? kImageAlphaLast : kImageAlphaNone,
            PlatformColorSpace::createDeviceRGB(), std::move(pixels));
        if (!image)
            return DecodeResult::failure("cannot make the picture");
        DecodeResult r;
        r.image = options.isThumbnail() ? fitWithin(image, options.maxPixelSize) : image;
        r.partial = !complete;
        if (r.partial)
            r.error = truncatedFailure(data_.size);
        return r;
    }

private:
    // RLE pictures leave skipped pixels clear, so they carry alpha too.
    bool hasAlpha() const { return h_.a.mask != 0 || h_.compression == kRLE8 || h_.compression == kRLE4; }

    std::size_t rowOf(std::size_t fileRow) const { return h_.topDown ? fileRow : std::size_t(h_.height) - 1 - fileRow; }

    bool decodePlain(std::vector<std::uint8_t>& pixels, std::size_t rowBytes, std::size_t channels, std::size_t& rowsDone,
        const DecodeOptions& options) const
    {
        const std::size_t w = std::size_t(h_.width), ht = std::size_t(h_.height);
        const std::size_t stride = ((w * h_.bpp + 31) / 32) * 4;
        const std::uint8_t* base = data_.bytes + h_.dataOffset;
        const std::size_t available = data_.size - h_.dataOffset;
        const std::size_t paletteSize = h_.palette.size();
        for (std::size_t fy = 0; fy < ht; ++fy) {
            if ((fy & 63) == 0 && options.isCancelled())
                return false;
            if ((fy + 1) * stride > available)
                return false;
            const std::uint8_t* src = base + fy * stride;
            std::uint8_t* out = pixels.data() + rowOf(fy) * rowBytes;
            for (std::size_t x = 0; x < w; ++x, out += channels) {
                if (h_.bpp <= 8) {
                    const std::size_t bit = x * h_.bpp;
                    const unsigned index = (src[bit / 8] >> (8 - h_.bpp - bit % 8)) & ((1u << h_.bpp) - 1);
                    if (index < paletteSize)
                        std::memcpy(out, h_.palette[index].data(), 3);
                } else if (h_.bpp == 24) {
                    out[0] = src[3 * x + 2];
                    out[1] = src[3 * x + 1];
                    out[2] = src[3 * x];
                } else {
                    const std::uint32_t px = h_.bpp == 16 ? read16(src + 2 * x, true) : read32(src + 4 * x, true);
                    out[0] = h_.r.get(px);
                    out[1] = h_.g.get(px);
                    out[2] = h_.b.get(px);
                    if (channels == 4)
                        out[3] = h_.a.get(px);
                }
                if (channels == 4 && h_.bpp != 16 && h_.bpp != 32)
                    out[3] = 255;
            }
            rowsDone = fy + 1;
        }
        return true;
    }

    bool decodeRLE(std::vector<std::uint8_t>& pixels, std::size_t rowBytes, std::size_t& rowsDone) const
    {
        const std::size_t w = std::size_t(h_.width), ht = std::size_t(h_.height);
        const std::uint8_t* p = data_.bytes + h_.dataOffset;
        const std::uint8_t* end = data_.bytes + data_.size;
        const bool four = h_.compression == kRLE4;
        std::size_t x = 0, fy = 0;
        auto put = [&](unsigned index) {
            if (x < w && fy < ht && index < h_.palette.size()) {
                std::uint8_t* out = pixels.data() + rowOf(fy) * rowBytes + x * 4;
                std::memcpy(out, h_.palette[index].data(), 3);
                out[3] = 255;
            }
            ++x;
        };
        while (fy < ht) {
            if (end - p < 2)
                return false;
            const unsigned count = p[0], value = p[1];
            p += 2;
            if (count > 0) {
                for (unsigned i = 0; i < count; ++i)
                    put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
                rowsDone = std::max(rowsDone, fy + 1);
                continue;
            }
            if (value == 0) { // end of line
                x = 0;
                ++fy;
            } else if (value == 1) { // end of picture
                return true;
            } else if (value == 2) { // move
                if (end - p < 2)
                    return false;
                x += p[0];
                fy += p[1];
                p += 2;
            } else { // a literal run, padded to 16 bits
                const std::size_t bytes = four ? (value + 1) / 2 : value;
                if (std::size_t(end - p) < bytes)
                    return false;
                for (unsigned i = 0; i < value; ++i)
                    put(four ? ((i & 1) ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i]);
                p += std::min<std::size_t>(bytes + (bytes & 1), std::size_t(end - p));
                rowsDone = std::max(rowsDone, fy + 1);
            }
        }
        return true;
    }

    BMPHeader h_;
};

} // namespace

const std::vector<CodecFormat>& BMPCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "com.microsoft.bmp", "Windows bitmap image", "BMP", "bmp,dib", "bmp", "image/bmp" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> BMPCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes)
        return nullptr;
    auto header = parseHeader(data.bytes, data.size, failure);
    if (!header)
        return nullptr;
    return std::make_unique<BMPDecoder>(std::move(data), std::move(*header));
}

} // namespace vistel::codec
