#include "GIFCodec.h"

#include <algorithm>
#include <cstring>

#include <gif_lib.h>

#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

struct Reader {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t position;
};

int readFunc(GifFileType* gif, GifByteType* out, int length)
{
    auto* r = static_cast<Reader*>(gif->UserData);
    if (length <= 0 || r->position >= r->size)
        return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(length), r->size - r->position);
    std::memcpy(out, r->bytes + r->position, n);
    r->position += n;
    return int(n);
}

struct GifCloser {
    void operator()(GifFileType* g) const
    {
        int error = 0;
        DGifCloseFile(g, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

GifHandle openGif(Reader& reader)
{
    int error = 0;
    return GifHandle(DGifOpen(&reader, readFunc, &error));
}

// Why giflib stopped: where the data ended when a read ran out, else giflib's own words.
std::string failureOf(GifFileType* gif)
{
    const auto* reader = static_cast<const Reader*>(gif->UserData);
    if (gif->Error == D_GIF_ERR_READ_FAILED || reader->position >= reader->size)
        return truncatedFailure(reader->size);
    const char* text = GifErrorString(gif->Error);
    return text ? text : "damaged GIF data";
}

bool isGIF(const std::uint8_t* b, std::size_t size)
{
    return size >= 13 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0);
}

// What the blocks before the first frame say about the picture, as the {GIF} dictionary holds
// it: whether there is a global colour table, how often an animation repeats (the NETSCAPE2.0
// or ANIMEXTS1.0 application block; 0 = forever), how long the first frame shows (seconds),
// and the colour table the first frame is drawn with (its own, else the global one) as
// [r, g, b, r, g, b, ...].
Value gifProperties(GifFileType* gif)
{
    Value properties = Value::dictionary({ { kImagePropertyGIFHasGlobalColorMap, gif->SColorMap != nullptr } });
    GifRecordType type;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
                break;
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                    properties.set(kImagePropertyGIFDelayTime, gcb.DelayTime / 100.0);
            }
            const bool loopBlock = code == APPLICATION_EXT_FUNC_CODE && ext && ext[0] >= 11
                && (std::memcmp(ext + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(ext + 1, "ANIMEXTS1.0", 11) == 0);
            bool firstSubBlock = true;
            while (ext) {
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
                    return properties;
                // The loop sub-block: 1, then the count, little-endian.
                if (loopBlock && firstSubBlock && ext && ext[0] >= 3 && ext[1] == 1)
                    properties.set(kImagePropertyGIFLoopCount, ext[2] | (ext[3] << 8));
                firstSubBlock = false;
            }
            continue;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR)
                break;
            const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
            if (map && map->Colors && map->ColorCount > 0) {
                Value colors = Value::array();
                colors.mutableArray().reserve(std::size_t(map->ColorCount) * 3);
                for (int i = 0; i < map->ColorCount; ++i) {
                    colors.append(map->Colors[i].Red);
                    colors.append(map->Colors[i].Green);
                    colors.append(map->Colors[i].Blue);
                }
                properties.set(kImagePropertyGIFImageColorMap, std::move(colors));
            }
        }
        break; // the first frame ends what is read here
    }
    return properties;
}

class GIFDecoder final : public ImageDecoder {
public:
    GIFDecoder(EncodedData data, std::uint32_t width, std::uint32_t height, Value gifProperties)
        : ImageDecoder(std::move(data)), width_(width), height_(height), gifProperties_(std::move(gifProperties))
    {
    }

    std::string typeIdentifier() const override { return "com.compuserve.gif"; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        PageDescription d;
        d.width = width_;
        d.height = height_;
        d.bitsPerSample = 8;
        d.properties = basicPageProperties(width_, height_, 8, PlatformColorSpace::createDeviceRGB(), true, 0, 0);
        d.properties.set(kImagePropertyIsIndexed, true);
        d.properties.set(kImagePropertyGIFDictionary, gifProperties_);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        Reader reader { data_.bytes, data_.size, 0 };
        GifHandle gif = openGif(reader);
        if (!gif)
            return DecodeResult::failure("unreadable GIF header");
        int transparent = -1;
        GifRecordType type;
        while (DGifGetRecordType(gif.get(), &type) == GIF_OK) {
            if (type == TERMINATE_RECORD_TYPE)
                break;
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* ext = nullptr;
                if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR)
                    break;
                if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                    GraphicsControlBlock gcb;
                    if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                        transparent = gcb.TransparentColor;
                }
                while (ext) {
                    if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR)
                        return DecodeResult::failure("damaged GIF extension");
                }
                continue;
            }
            if (type == IMAGE_DESC_RECORD_TYPE)
                return decodeFrame(gif.get(), transparent, options);
        }
        return DecodeResult::failure("no GIF frame");
    }

private:
    DecodeResult decodeFrame(GifFileType* gif, int transparent, const DecodeOptions& options)
    {
        if (DGifGetImageDesc(gif) == GIF_ERROR)
            return DecodeResult::failure("damaged GIF frame");
        const GifImageDesc& desc = gif->Image;
        const int fw = desc.Width, fh = desc.Height;
        if (fw <= 0 || fh <= 0 || !acceptableSize(std::uint32_t(fw), std::uint32_t(fh)))
            return DecodeResult::failure(tooLargeFailure(std::uint32_t(std::max(fw, 0)), std::uint32_t(std::max(fh, 0))));
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        const int colors = map ? map->ColorCount : 0;
        // Rows go straight onto the logical screen: the frame's own size (which a damaged
        // file may make far larger than the screen) costs one row, not a second picture.
        // Uncovered or transparent pixels stay clear.
        const std::size_t rowBytes = std::size_t(width_) * 4;
        std::vector<std::uint8_t> pixels(rowBytes * height_, 0);
        std::vector<std::uint8_t> row(std::size_t(fw), 0);
        bool complete = true;
        std::size_t rowsRead = 0;
        static const int kStart[4] = { 0, 4, 2, 1 }, kStep[4] = { 8, 8, 4, 2 };
        const int passes = desc.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes && complete; ++pass) {
            const int start = desc.Interlace ? kStart[pass] : 0, step = desc.Interlace ? kStep[pass] : 1;
            for (int y = start; y < fh; y += step) {
                if ((rowsRead & 63) == 0 && options.isCancelled())
                    return DecodeResult::failure("cancelled");
                if (DGifGetLine(gif, row.data(), fw) == GIF_ERROR) {
                    complete = false;
                    break;
                }
                ++rowsRead;
                const long sy = long(desc.Top) + y;
                if (sy < 0 || sy >= long(height_))
                    continue;
                for (int x = 0; x < fw; ++x) {
                    const long sx = long(desc.Left) + x;
                    if (sx < 0 || sx >= long(width_))
                        continue;
                    const int index = row[std::size_t(x)];
                    if (index == transparent)
                        continue;
                    std::uint8_t* p = pixels.data() + std::size_t(sy) * rowBytes + std::size_t(sx) * 4;
                    if (map && map->Colors && index < colors) {
                        p[0] = map->Colors[index].Red;
                        p[1] = map->Colors[index].Green;
                        p[2] = map->Colors[index].Blue;
                    } else {
                        p[0] = p[1] = p[2] = std::uint8_t(index); // no colour table: grey levels
                    }
                    p[3] = 255;
                }
            }
        }
        if (rowsRead == 0)
            return DecodeResult::failure(failureOf(gif));
        auto image = PlatformImage::create(width_, height_, 8, 32, rowBytes, kImageAlphaLast,
            PlatformColorSpace::createDeviceRGB(), std::move(pixels));
        if (!image)
            return DecodeResult::failure("cannot make the picture");
        DecodeResult r;
        r.image = options.isThumbnail() ? fitWithin(image, options.maxPixelSize) : image;
        r.partial = !complete;
        if (r.partial)
            r.error = failureOf(gif);
        return r;
    }

    std::uint32_t width_, height_;
    Value gifProperties_;
};

} // namespace

const std::vector<CodecFormat>& GIFCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "com.compuserve.gif", "GIF image", "GIF", "gif", "gif", "image/gif" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> GIFCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || data.size < 6 || (std::memcmp(data.bytes, "GIF87a", 6) != 0 && std::memcmp(data.bytes, "GIF89a", 6) != 0))
        return nullptr;
    if (!isGIF(data.bytes, data.size)) {
        failure = truncatedFailure(data.size);
        return nullptr;
    }
    Reader reader { data.bytes, data.size, 0 };
    int error = 0;
    GifHandle gif(DGifOpen(&reader, readFunc, &error));
    if (!gif) {
        const char* text = GifErrorString(error);
        failure = error == D_GIF_ERR_READ_FAILED ? truncatedFailure(data.size) : text ? text : "unreadable GIF header";
        return nullptr;
    }
    if (!acceptableSize(std::uint32_t(std::max(gif->SWidth, 0)), std::uint32_t(std::max(gif->SHeight, 0)))) {
        failure = tooLargeFailure(std::uint32_t(std::max(gif->SWidth, 0)), std::uint32_t(std::max(gif->SHeight, 0)));
        return nullptr;
    }
    const std::uint32_t w = std::uint32_t(gif->SWidth), h = std::uint32_t(gif->SHeight);
    Value properties = gifProperties(gif.get());
    return std::make_unique<GIFDecoder>(std::move(data), w, h, std::move(properties));
}

} // namespace vistel::codec
