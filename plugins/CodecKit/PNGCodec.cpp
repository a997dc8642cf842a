#include "PNGCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

constexpr png_byte kSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };

// Zeros libpng may read past the end of a truncated file before the read fails.
constexpr std::size_t kMaxZeroFill = 1u << 16;

// Ancillary chunks the codec has no use for (exiv2 reads the text and EXIF chunks from the bytes
// itself). libpng skips them without reading them into memory: a text chunk claiming 2 GB
// would otherwise be allocated whole before its checksum is even looked at.
constexpr png_byte kIgnoredChunks[] = "tEXt\0zTXt\0iTXt\0eXIf\0sPLT\0hIST\0tIME\0bKGD\0sBIT\0oFFs\0pCAL\0sCAL\0";

struct PNGHeader {
    std::uint32_t width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    bool hasTRNS = false;
    std::vector<std::uint8_t> icc;
    bool hasGamma = false;
    double gamma = 0;
    bool hasSRGB = false;
    int srgbIntent = 0;
    bool hasPHYs = false;
    png_uint_32 xPerUnit = 0, yPerUnit = 0;
    int physUnit = 0;
    // cHRM: white point, red, green, blue, each x then y.
    bool hasCHRM = false;
    double chromaticities[8] = {};
};

// All state the setjmp frames share lives here, out of reach of the longjmp.
struct PNGSession {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    const std::function<bool()>* cancelled = nullptr;
    char message[256] = {};
    PNGHeader header;
    std::vector<std::uint8_t> pixels;
    std::size_t rowBytes = 0;
    int channels = 0;
    int depth = 8;
    std::uint32_t rowsDone = 0;
    bool rowsComplete = false;
    bool truncated = false;
    std::size_t zeroFilled = 0; // bytes handed to libpng past the end of the data

    ~PNGSession() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void readData(png_structp png, png_bytep out, png_size_t length)
{
    auto* s = static_cast<PNGSession*>(png_get_io_ptr(png));
    const std::size_t available = std::min<std::size_t>(length, s->size - s->position);
    std::memcpy(out, s->bytes + s->position, available);
    s->position += available;
    if (available < length) {
        // A truncated file: zeros in place of the missing bytes let libpng inflate the rows
        // the data still holds; it stops with an error at the first row that needs more. A
        // chunk that claims more than the file holds ends the read at once.
        s->zeroFilled += length - available;
        if (s->zeroFilled > kMaxZeroFill) {
            std::snprintf(s->message, sizeof s->message, "truncated at byte %zu", s->size);
            png_longjmp(png, 1);
        }
        std::memset(out + available, 0, length - available);
        s->truncated = true;
    }
}

void errorHandler(png_structp png, png_const_charp message)
{
    auto* s = static_cast<PNGSession*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message ? message : "PNG error");
    png_longjmp(png, 1);
}

void warningHandler(png_structp, png_const_charp) { }

bool begin(PNGSession& s, const std::uint8_t* bytes, std::size_t size)
{
    s.bytes = bytes;
    s.size = size;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, errorHandler, warningHandler);
    if (!s.png)
        return false;
    s.info = png_create_info_struct(s.png);
    if (!s.info)
        return false;
    png_set_read_fn(s.png, &s, readData);
    // Damaged checksums of critical chunks: use the data anyway, as far as it decodes.
    png_set_crc_action(s.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_chunk_malloc_max(s.png, 32u << 20);
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, int(sizeof kIgnoredChunks / 5));
    return true;
}

// False with s.message saying why when the header cannot be read or the picture is refused.
bool readHeader(PNGSession& s)
{
    if (setjmp(png_jmpbuf(s.png))) {
        if (s.truncated && s.position >= s.size)
            std::snprintf(s.message, sizeof s.message, "%s", truncatedFailure(s.size).c_str());
        return false;
    }
    png_read_info(s.png, s.info);
    if (s.truncated) { // not even the header is complete
        std::snprintf(s.message, sizeof s.message, "%s", truncatedFailure(s.size).c_str());
        return false;
    }
    PNGHeader& h = s.header;
    h.width = png_get_image_width(s.png, s.info);
    h.height = png_get_image_height(s.png, s.info);
    h.bitDepth = png_get_bit_depth(s.png, s.info);
    h.colorType = png_get_color_type(s.png, s.info);
    h.interlace = png_get_interlace_type(s.png, s.info);
    h.hasTRNS = png_get_valid(s.png, s.info, PNG_INFO_tRNS);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(s.png, s.info, &name, &compression, &profile, &profileLength) && profile)
        h.icc.assign(profile, profile + profileLength);
    h.hasGamma = png_get_gAMA(s.png, s.info, &h.gamma);
    h.hasSRGB = png_get_sRGB(s.png, s.info, &h.srgbIntent);
    h.hasPHYs = png_get_pHYs(s.png, s.info, &h.xPerUnit, &h.yPerUnit, &h.physUnit);
    double* c = h.chromaticities;
    h.hasCHRM = png_get_cHRM(s.png, s.info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]);
    if (!acceptableSize(h.width, h.height)) {
        std::snprintf(s.message, sizeof s.message, "%s", tooLargeFailure(h.width, h.height).c_str());
        return false;
    }
    return true;
}

bool readPixels(PNGSession& s)
{
    if (setjmp(png_jmpbuf(s.png)))
        return s.rowsDone > 0;
    const PNGHeader& h = s.header;
    if (h.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(s.png);
    if (h.colorType == PNG_COLOR_TYPE_GRAY && h.bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(s.png);
    if (h.hasTRNS)
        png_set_tRNS_to_alpha(s.png);
    const int passes = png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    s.channels = png_get_channels(s.png, s.info);
    s.depth = png_get_bit_depth(s.png, s.info);
    s.rowBytes = png_get_rowbytes(s.png, s.info);
    if ((s.depth != 8 && s.depth != 16) || s.channels < 1 || s.channels > 4
        || s.rowBytes != std::size_t(h.width) * s.channels * (s.depth / 8)) {
        std::snprintf(s.message, sizeof s.message, "unsupported PNG layout");
        return false;
    }
    s.pixels.assign(s.rowBytes * h.height, 0);
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < h.height; ++y) {
            if ((y & 63) == 0 && s.cancelled && *s.cancelled && (*s.cancelled)()) {
                std::snprintf(s.message, sizeof s.message, "cancelled");
                s.rowsDone = 0;
                return false;
            }
            png_read_row(s.png, s.pixels.data() + std::size_t(y) * s.rowBytes, nullptr);
            if (pass == passes - 1)
                s.rowsDone = y + 1;
            else if (s.rowsDone == 0 && y == h.height - 1)
                s.rowsDone = 1; // an interlaced pass is complete: a coarse picture exists
        }
    }
    s.rowsComplete = true;
    png_read_end(s.png, nullptr);
    return true;
}

PlatformColorSpace::Model modelOf(int colorType)
{
    return (colorType & PNG_COLOR_MASK_COLOR) ? PlatformColorSpace::Model::RGB : PlatformColorSpace::Model::Monochrome;
}

class PNGDecoder final : public ImageDecoder {
public:
    PNGDecoder(EncodedData data, PNGHeader header) : ImageDecoder(std::move(data)), header_(std::move(header)) { }

    std::string typeIdentifier() const override { return "public.png"; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        PageDescription d;
        d.width = header_.width;
        d.height = header_.height;
        d.bitsPerSample = std::uint32_t(header_.bitDepth);
        const bool alpha = (header_.colorType & PNG_COLOR_MASK_ALPHA) || header_.hasTRNS;
        Value png = Value::dictionary({ { kImagePropertyPNGInterlaceType, header_.interlace } });
        if (header_.hasPHYs && header_.physUnit == PNG_RESOLUTION_METER && header_.xPerUnit > 0 && header_.yPerUnit > 0) {
            d.dpiWidth = header_.xPerUnit * 0.0254;
            d.dpiHeight = header_.yPerUnit * 0.0254;
            png.set(kImagePropertyPNGXPixelsPerMeter, header_.xPerUnit);
            png.set(kImagePropertyPNGYPixelsPerMeter, header_.yPerUnit);
        }
        if (header_.hasGamma)
            png.set(kImagePropertyPNGGamma, header_.gamma);
        if (header_.hasSRGB)
            png.set(kImagePropertyPNGsRGBIntent, header_.srgbIntent);
        if (header_.hasCHRM) {
            Value chromaticities = Value::array();
            for (double value : header_.chromaticities)
                chromaticities.append(value);
            png.set(kImagePropertyPNGChromaticities, std::move(chromaticities));
        }
        d.properties = basicPageProperties(d.width, d.height, d.bitsPerSample, colorSpaceFor(modelOf(header_.colorType), header_.icc),
            alpha, d.dpiWidth, d.dpiHeight);
        if (header_.colorType == PNG_COLOR_TYPE_PALETTE)
            d.properties.set(kImagePropertyIsIndexed, true);
        d.properties.set(kImagePropertyPNGDictionary, png);
        mergeExiv2Properties(d.properties, data_.bytes, data_.size);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        PNGSession s;
        s.cancelled = &options.cancelled;
        if (!begin(s, data_.bytes, data_.size) || !readHeader(s))
            return DecodeResult::failure(s.message[0] ? s.message : "unreadable PNG header");
        if (!readPixels(s) || s.rowsDone == 0) {
            if (s.truncated && std::strcmp(s.message, "cancelled") != 0)
                return DecodeResult::failure(truncatedFailure(s.size));
            return DecodeResult::failure(s.message[0] ? s.message : "no PNG rows decoded");
        }
        const int colorChannels = s.channels >= 3 ? 3 : 1;
        const bool alpha = s.channels == 2 || s.channels == 4;
        auto space = colorSpaceFor(colorChannels == 3 ? PlatformColorSpace::Model::RGB : PlatformColorSpace::Model::Monochrome, s.header.icc);
        // PNG stores 16-bit samples big-endian: the picture's default order.
        auto image = PlatformImage::create(s.header.width, s.header.height, std::size_t(s.depth),
            std::size_t(s.depth * s.channels), s.rowBytes, alpha ? kImageAlphaLast : kImageAlphaNone, space,
            std::move(s.pixels));
        if (!image)
            return DecodeResult::failure("cannot make the picture");
        DecodeResult result;
        result.image = options.isThumbnail() ? fitWithin(image, options.maxPixelSize) : image;
        result.partial = !s.rowsComplete || s.truncated;
        if (result.partial)
            result.error = s.truncated ? truncatedFailure(s.size) : std::string(s.message[0] ? s.message : "damaged PNG data");
        return result;
    }

private:
    PNGHeader header_;
};

} // namespace

const std::vector<CodecFormat>& PNGCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "public.png", "PNG image", "PNG", "png", "png", "image/png" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> PNGCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || data.size < 8 || std::memcmp(data.bytes, kSignature, 8) != 0)
        return nullptr;
    PNGSession s;
    if (!begin(s, data.bytes, data.size) || !readHeader(s)) {
        failure = s.message[0] ? s.message : "unreadable PNG header";
        return nullptr;
    }
    PNGHeader header = std::move(s.header);
    return std::make_unique<PNGDecoder>(std::move(data), std::move(header));
}

} // namespace vistel::codec
