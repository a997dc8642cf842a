#include "JPEGCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <jpeglib.h>
#include <jerror.h>

#include "Platform/Imaging/ExifLayout.h"
#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

// More scans than this is no picture but a decoder trap: each scan re-walks every coefficient.
constexpr int kMaxProgressiveScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool reachedEnd; // the data ended before the stream did
};

struct ProgressManager {
    jpeg_progress_mgr pub;
    const std::function<bool()>* cancelled;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void quietMessage(j_common_ptr) { }

// Counts warnings as libjpeg does, and notes the one that says the data ran out.
void emitMessage(j_common_ptr cinfo, int level)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level >= 0)
        return;
    ++err->pub.num_warnings;
    if (err->pub.msg_code == JWRN_JPEG_EOF)
        err->reachedEnd = true;
    else if (!err->message[0]) // the first damage found says why a picture is incomplete
        (*cinfo->err->format_message)(cinfo, err->message);
}

void progressMonitor(j_common_ptr cinfo)
{
    auto* progress = reinterpret_cast<ProgressManager*>(cinfo->progress);
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->progressive_mode && dinfo->input_scan_number > kMaxProgressiveScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "too many progressive scans");
        std::longjmp(err->jump, 1);
    }
    if (progress->cancelled && *progress->cancelled && (*progress->cancelled)()) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "cancelled");
        std::longjmp(err->jump, 1);
    }
}

// Everything the setjmp frames touch lives here, in memory the longjmp cannot make stale.
struct JPEGSession {
    jpeg_decompress_struct cinfo {};
    ErrorManager err {};
    ProgressManager progress {};
    bool created = false;
    JPEGHeader header;
    std::vector<std::uint8_t> pixels;
    std::size_t rowBytes = 0;
    J_COLOR_SPACE outSpace = JCS_RGB;
    // RGB decoded four bytes a pixel, blue first and an opaque pad last (the layout screens
    // draw from without converting): reduced decodes, which go to the screen.
    bool padded = false;
    std::uint32_t outWidth = 0, outHeight = 0;
    std::uint32_t rowsDone = 0;
    // Set when the DCT-scaled rows are averaged down further as they come: `pixels` then holds
    // one row.
    std::optional<RowReducer> reducer;

    explicit JPEGSession(const std::function<bool()>* cancelled)
    {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = errorExit;
        err.pub.output_message = quietMessage;
        err.pub.emit_message = emitMessage;
        progress.pub.progress_monitor = progressMonitor;
        progress.cancelled = cancelled;
    }
    ~JPEGSession()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

void fillHeader(JPEGSession& s)
{
    auto& c = s.cinfo;
    JPEGHeader& h = s.header;
    h.width = c.image_width;
    h.height = c.image_height;
    h.components = c.num_components;
    h.progressive = c.progressive_mode;
    h.adobe = c.saw_Adobe_marker;
    h.hasJFIF = c.saw_JFIF_marker;
    h.densityUnit = c.density_unit;
    h.xDensity = c.X_density;
    h.yDensity = c.Y_density;
    h.jfifMajor = c.JFIF_major_version;
    h.jfifMinor = c.JFIF_minor_version;
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&c, &icc, &iccLength) && icc) {
        h.icc.assign(icc, icc + iccLength);
        std::free(icc);
    }
}

// Returns false with err.message set when libjpeg gave up before the header was read.
bool readHeaderInto(JPEGSession& s, const std::uint8_t* bytes, std::size_t size)
{
    if (setjmp(s.err.jump))
        return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    // Multi-scan files keep every coefficient of the picture; a header claiming more than the
    // pixel limit allows fails instead of allocating it.
    s.cinfo.mem->max_memory_to_use = long(std::min<std::uint64_t>(maxImagePixels() * 8 + (16u << 20), 1ull << 34));
    s.cinfo.progress = &s.progress.pub;
    jpeg_mem_src(&s.cinfo, bytes, static_cast<unsigned long>(size));
    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(&s.cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    fillHeader(s);
    if (!acceptableSize(s.header.width, s.header.height)) {
        std::snprintf(s.err.message, sizeof s.err.message, "%s", tooLargeFailure(s.header.width, s.header.height).c_str());
        return false;
    }
    return true;
}

// Why a session failed: where the data ended when it ran out, else libjpeg's own words.
std::string failureOf(const JPEGSession& s, std::size_t size, const char* fallback)
{
    if (s.err.reachedEnd)
        return truncatedFailure(size);
    return s.err.message[0] ? s.err.message : fallback;
}

// Rows a broken stream leaves undecoded stay mid grey, or without ink in CMYK (which Adobe
// files store inverted).
void fill(const JPEGSession& s, std::uint8_t* begin, std::uint8_t* end)
{
    std::fill(begin, end, s.outSpace != JCS_CMYK ? 128 : s.header.adobe ? 255 : 0);
    if (s.padded)
        for (std::uint8_t* pad = begin + 3; pad < end; pad += 4)
            *pad = 255;
}

// Adobe writes CMYK inverted (0 = full ink); the picture model stores ink amounts.
bool invertedInk(const JPEGSession& s) { return s.outSpace == JCS_CMYK && s.header.adobe; }

// Hands a decoded row to the session's reducer, its ink turned the right way first.
void reduceRow(JPEGSession& s, std::uint8_t* row)
{
    if (invertedInk(s))
        for (std::size_t i = 0; i < s.rowBytes; ++i)
            row[i] = std::uint8_t(255 - row[i]);
    s.reducer->addRow(row);
}

// Returns true when at least the header was read; s.rowsDone tells how far decoding got. When
// `maxPixelSize` asks for less than the smallest DCT scale gives, the rows are averaged down
// to the fitted size as they are decoded (s.reducer).
bool decodeInto(JPEGSession& s, std::uint32_t maxPixelSize)
{
    if (setjmp(s.err.jump))
        return s.rowsDone > 0;
    auto& c = s.cinfo;
    switch (c.jpeg_color_space) {
    case JCS_GRAYSCALE:
        s.outSpace = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        s.outSpace = JCS_CMYK;
        break;
    default:
        s.outSpace = JCS_RGB;
        break;
    }
    s.padded = s.outSpace == JCS_RGB && maxPixelSize > 0;
    c.out_color_space = s.padded ? JCS_EXT_BGRX : s.outSpace;
    if (maxPixelSize > 0) {
        // The smallest DCT scale (n/8) whose result still covers the requested size: libjpeg
        // then skips most of the inverse transform instead of decoding every pixel.
        const std::uint64_t longest = std::max(c.image_width, c.image_height);
        unsigned num = 8;
        for (unsigned n = 1; n < 8; ++n) {
            if ((longest * n + 7) / 8 >= maxPixelSize) {
                num = n;
                break;
            }
        }
        c.scale_num = num;
        c.scale_denom = 8;
    }
    jpeg_calc_output_dimensions(&c);
    s.outWidth = c.output_width;
    s.outHeight = c.output_height;
    s.rowBytes = std::size_t(c.output_width) * std::size_t(c.output_components);
    std::uint32_t width = s.outWidth, height = s.outHeight;
    if (maxPixelSize > 0)
        fittedSizeOfReduction(s.outWidth, s.outHeight, maxPixelSize, s.header.width, s.header.height, width, height);
    if (width != s.outWidth || height != s.outHeight)
        s.reducer.emplace(s.outWidth, s.outHeight, width, height, std::size_t(c.output_components));
    s.pixels.resize(s.reducer ? s.rowBytes : s.rowBytes * c.output_height);
    fill(s, s.pixels.data(), s.pixels.data() + s.pixels.size());
    jpeg_start_decompress(&c);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = s.pixels.data() + (s.reducer ? 0 : std::size_t(c.output_scanline) * s.rowBytes);
        if (jpeg_read_scanlines(&c, &row, 1) != 1)
            break;
        s.rowsDone = c.output_scanline;
        if (s.reducer)
            reduceRow(s, row);
    }
    jpeg_finish_decompress(&c);
    return true;
}

// The reduced pixels of a session that reduced its rows, the rows left undecoded filled.
std::vector<std::uint8_t> reducedPixels(JPEGSession& s)
{
    fill(s, s.pixels.data(), s.pixels.data() + s.pixels.size());
    for (std::uint32_t y = s.rowsDone; y < s.outHeight; ++y)
        reduceRow(s, s.pixels.data());
    return s.reducer->finish();
}

} // namespace

std::optional<JPEGHeader> readJPEGHeader(const std::uint8_t* bytes, std::size_t size, std::string* failure)
{
    if (!bytes || size < 4) {
        if (failure)
            *failure = truncatedFailure(size);
        return std::nullopt;
    }
    JPEGSession s(nullptr);
    if (!readHeaderInto(s, bytes, size)) {
        if (failure)
            *failure = failureOf(s, size, "unreadable JPEG header");
        return std::nullopt;
    }
    return std::move(s.header);
}

DecodeResult decodeJPEGStream(const std::uint8_t* bytes, std::size_t size, std::uint32_t maxPixelSize,
    const std::function<bool()>& cancelled)
{
    if (!bytes || size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return DecodeResult::failure("not a JPEG stream");
    JPEGSession s(&cancelled);
    if (!readHeaderInto(s, bytes, size))
        return DecodeResult::failure(failureOf(s, size, "unreadable JPEG header"));
    const bool complete = decodeInto(s, maxPixelSize);
    if (!complete || s.rowsDone == 0)
        return DecodeResult::failure(failureOf(s, size, "no JPEG rows decoded"));
    if (cancelled && cancelled())
        return DecodeResult::failure("cancelled");
    const bool partial = s.rowsDone < s.outHeight || s.err.pub.num_warnings > 0;

    std::size_t width = s.outWidth, height = s.outHeight, rowBytes = s.rowBytes;
    std::vector<std::uint8_t> pixels;
    if (s.reducer) {
        pixels = reducedPixels(s);
        rowBytes = s.reducer->rowBytes();
        width = s.reducer->width();
        height = s.reducer->height();
    } else {
        if (invertedInk(s))
            for (auto& b : s.pixels)
                b = std::uint8_t(255 - b);
        pixels = std::move(s.pixels);
    }
    const std::size_t bitsPerPixel = std::size_t(s.cinfo.output_components) * 8;
    const std::uint32_t info = s.padded ? kImageAlphaNoneSkipFirst | kImageBitmapByteOrder32Little : kImageAlphaNone;
    const auto model = s.outSpace == JCS_CMYK ? PlatformColorSpace::Model::CMYK
        : s.outSpace == JCS_GRAYSCALE        ? PlatformColorSpace::Model::Monochrome
                                             : PlatformColorSpace::Model::RGB;
    Ref<PlatformImage> image = PlatformImage::create(width, height, 8, bitsPerPixel, rowBytes, info,
        colorSpaceFor(model, s.header.icc), std::move(pixels));
    if (!image)
        return DecodeResult::failure("cannot make the picture");
    DecodeResult result;
    result.image = fitWithin(image, maxPixelSize, s.header.width, s.header.height); // the shape of the full picture
    result.partial = partial;
    if (partial)
        result.error = failureOf(s, size, "damaged JPEG data");
    return result;
}

namespace {

// IFD1 tags of the thumbnail.
enum : std::uint16_t {
    kTagWidth = 0x0100,
    kTagHeight = 0x0101,
    kTagBitsPerSample = 0x0102,
    kTagCompression = 0x0103,
    kTagPhotometric = 0x0106,
    kTagStripOffsets = 0x0111,
    kTagSamplesPerPixel = 0x0115,
    kTagStripByteCounts = 0x0117,
    kTagPlanarConfiguration = 0x011C,
    kTagJPEGOffset = 0x0201,
    kTagJPEGLength = 0x0202,
};

// More strips than this is no thumbnail.
constexpr std::uint32_t kMaxThumbnailStrips = 4096;

} // namespace

std::optional<ExifThumbnail> findExifThumbnail(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return std::nullopt;
    const MetadataBlocks blocks = findMetadataBlocks(bytes, size);
    if (!blocks.exif)
        return std::nullopt;
    const std::size_t base = blocks.exif->offset;
    const auto tiff = TiffBlock::open(bytes + base, blocks.exif->size);
    const auto ifd0 = tiff ? tiff->firstDirectory() : std::nullopt;
    const auto ifd1 = ifd0 ? tiff->nextDirectory(*ifd0) : std::nullopt;
    const auto entries = ifd1 ? tiff->entries(*ifd1) : std::nullopt;
    if (!entries)
        return std::nullopt;

    std::uint32_t compression = 1, photometric = 2, planar = 1, samples = 1, width = 0, height = 0;
    std::uint32_t jpegOffset = 0, jpegLength = 0;
    std::vector<std::uint32_t> bits, stripOffsets, stripCounts;
    for (const TiffBlock::Entry& e : *entries) {
        const std::uint32_t value = tiff->firstValue(e).value_or(0);
        switch (e.tag) {
        case kTagWidth: width = value; break;
        case kTagHeight: height = value; break;
        case kTagCompression: compression = value; break;
        case kTagPhotometric: photometric = value; break;
        case kTagSamplesPerPixel: samples = value; break;
        case kTagPlanarConfiguration: planar = value; break;
        case kTagJPEGOffset: jpegOffset = value; break;
        case kTagJPEGLength: jpegLength = value; break;
        case kTagBitsPerSample: bits = tiff->values(e, 4).value_or(std::vector<std::uint32_t> {}); break;
        case kTagStripOffsets: stripOffsets = tiff->values(e, kMaxThumbnailStrips).value_or(std::vector<std::uint32_t> {}); break;
        case kTagStripByteCounts: stripCounts = tiff->values(e, kMaxThumbnailStrips).value_or(std::vector<std::uint32_t> {}); break;
        default: break;
        }
    }
    const auto inBlock = [&](std::uint64_t offset, std::uint64_t length) {
        return offset >= 8 && length > 0 && offset + length <= tiff->size();
    };

    // A JPEG stream at the JPEG offset or in the one strip, whatever the label says.
    const auto jpegAt = [&](std::uint64_t offset, std::uint64_t length) -> std::optional<ExifThumbnail> {
        if (length < 4 || !inBlock(offset, length) || tiff->bytes()[offset] != 0xFF || tiff->bytes()[offset + 1] != 0xD8)
            return std::nullopt;
        const auto header = readJPEGHeader(tiff->bytes() + offset, std::size_t(length));
        if (!header)
            return std::nullopt;
        ExifThumbnail thumbnail;
        thumbnail.jpeg = ByteRange { base + std::size_t(offset), std::size_t(length) };
        thumbnail.width = header->width;
        thumbnail.height = header->height;
        return thumbnail;
    };
    if (auto thumbnail = jpegAt(jpegOffset, jpegLength))
        return thumbnail;
    if (stripOffsets.size() == 1 && stripCounts.size() == 1)
        if (auto thumbnail = jpegAt(stripOffsets[0], stripCounts[0]))
            return thumbnail;

    // Uncompressed strips: interleaved 8-bit RGB or grey, all inside the block.
    const bool rgb = samples == 3 && photometric == 2;
    const bool grey = samples == 1 && photometric <= 1;
    if (compression != 1 || planar != 1 || !(rgb || grey) || bits.size() != samples || !acceptableSize(width, height)
        || stripOffsets.empty() || stripOffsets.size() != stripCounts.size())
        return std::nullopt;
    for (std::uint32_t b : bits)
        if (b != 8)
            return std::nullopt;
    ExifThumbnail thumbnail;
    thumbnail.width = width;
    thumbnail.height = height;
    thumbnail.samples = std::uint16_t(samples);
    thumbnail.whiteIsZero = grey && photometric == 0;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < stripOffsets.size(); ++i) {
        if (!inBlock(stripOffsets[i], stripCounts[i]))
            return std::nullopt;
        thumbnail.strips.push_back(ByteRange { base + stripOffsets[i], stripCounts[i] });
        total += stripCounts[i];
    }
    if (total < std::uint64_t(width) * height * samples)
        return std::nullopt;
    return thumbnail;
}

DecodeResult decodeExifThumbnail(const std::uint8_t* bytes, std::size_t size, const ExifThumbnail& thumbnail,
    std::uint32_t maxPixelSize, const std::function<bool()>& cancelled)
{
    if (thumbnail.jpeg) {
        if (thumbnail.jpeg->offset > size || thumbnail.jpeg->length > size - thumbnail.jpeg->offset)
            return DecodeResult::failure("EXIF thumbnail outside the file");
        return decodeJPEGStream(bytes + thumbnail.jpeg->offset, thumbnail.jpeg->length, maxPixelSize, cancelled);
    }
    const std::size_t rowBytes = std::size_t(thumbnail.width) * thumbnail.samples;
    const std::size_t needed = rowBytes * thumbnail.height;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(needed);
    for (const ByteRange& strip : thumbnail.strips) {
        if (strip.offset > size || strip.length > size - strip.offset)
            return DecodeResult::failure("EXIF thumbnail outside the file");
        const std::size_t n = std::min(strip.length, needed - pixels.size());
        pixels.insert(pixels.end(), bytes + strip.offset, bytes + strip.offset + n);
    }
    if (needed == 0 || pixels.size() < needed)
        return DecodeResult::failure("EXIF thumbnail strips too short");
    if (thumbnail.whiteIsZero)
        for (auto& b : pixels)
            b = std::uint8_t(255 - b);
    const bool rgb = thumbnail.samples == 3;
    auto image = PlatformImage::create(thumbnail.width, thumbnail.height, 8, 8 * std::size_t(thumbnail.samples), rowBytes,
        kImageAlphaNone, colorSpaceFor(rgb ? PlatformColorSpace::Model::RGB : PlatformColorSpace::Model::Monochrome, {}),
        std::move(pixels));
    if (!image)
        return DecodeResult::failure("cannot make the picture");
    return DecodeResult { fitWithin(image, maxPixelSize), {}, false };
}

namespace {

class JPEGDecoder final : public ImageDecoder {
public:
    JPEGDecoder(EncodedData data, JPEGHeader header) : ImageDecoder(std::move(data)), header_(std::move(header)) { }

    std::string typeIdentifier() const override { return "public.jpeg"; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        if (!page_)
            page_ = describe();
        return page_;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        if (options.mode == DecodeMode::Full)
            return decodeJPEGStream(data_.bytes, data_.size, 0, options.cancelled);
        if (options.mode != DecodeMode::ReducedImage) {
            if (auto thumb = findExifThumbnail(data_.bytes, data_.size)) {
                // Mode 4 wants quality: the small EXIF picture only when it is big enough.
                const bool use = options.mode == DecodeMode::EmbeddedThumbnail || options.maxPixelSize == 0
                    || std::max(thumb->width, thumb->height) >= options.maxPixelSize;
                if (use) {
                    DecodeResult r = decodeExifThumbnail(data_.bytes, data_.size, *thumb, options.maxPixelSize, options.cancelled);
                    if (r.image && !r.partial)
                        return r;
                }
            }
        }
        return decodeJPEGStream(data_.bytes, data_.size, options.maxPixelSize, options.cancelled);
    }

private:
    PageDescription describe() const
    {
        PageDescription d;
        d.width = header_.width;
        d.height = header_.height;
        d.bitsPerSample = 8;
        const auto model = header_.components == 1 ? PlatformColorSpace::Model::Monochrome
            : header_.components == 4             ? PlatformColorSpace::Model::CMYK
                                                  : PlatformColorSpace::Model::RGB;
        const Ref<PlatformColorSpace> space = colorSpaceFor(model, header_.icc);
        if (header_.hasJFIF && header_.xDensity > 0 && header_.yDensity > 0) {
            const double perInch = header_.densityUnit == 1 ? 1.0 : header_.densityUnit == 2 ? 2.54 : 0.0;
            d.dpiWidth = header_.xDensity * perInch;
            d.dpiHeight = header_.yDensity * perInch;
        }
        d.properties = basicPageProperties(d.width, d.height, 8, space, false, d.dpiWidth, d.dpiHeight);
        Value jfif = Value::dictionary({ { kImagePropertyJFIFIsProgressive, header_.progressive } });
        if (header_.hasJFIF) {
            jfif.set(kImagePropertyJFIFVersion, Value::array({ header_.jfifMajor, header_.jfifMinor }));
            jfif.set(kImagePropertyJFIFXDensity, header_.xDensity);
            jfif.set(kImagePropertyJFIFYDensity, header_.yDensity);
            jfif.set(kImagePropertyJFIFDensityUnit, header_.densityUnit);
        }
        d.properties.set(kImagePropertyJFIFDictionary, jfif);
        mergeExiv2Properties(d.properties, data_.bytes, data_.size);
        resolutionFromTIFF(d);
        return d;
    }

    JPEGHeader header_;
    std::optional<PageDescription> page_;
};

} // namespace

const std::vector<CodecFormat>& JPEGCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "public.jpeg", "JPEG image", "JPEG", "jpg,jpeg,jpe", "jpg", "image/jpeg" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> JPEGCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || data.size < 4 || data.bytes[0] != 0xFF || data.bytes[1] != 0xD8 || data.bytes[2] != 0xFF)
        return nullptr;
    auto header = readJPEGHeader(data.bytes, data.size, &failure);
    if (!header)
        return nullptr;
    return std::make_unique<JPEGDecoder>(std::move(data), std::move(*header));
}

} // namespace vistel::codec
