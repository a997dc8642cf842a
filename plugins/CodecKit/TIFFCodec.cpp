#include "TIFFCodec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <tiffio.h>

#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

constexpr tdir_t kMaxPages = 4096;

struct MemoryStream {
    const std::uint8_t* bytes;
    std::uint64_t size;
    std::uint64_t position;
    char message[256] = {}; // libtiff's last error, for the failure text
};

tsize_t readProc(thandle_t handle, tdata_t buffer, tsize_t length)
{
    auto* m = static_cast<MemoryStream*>(handle);
    if (length <= 0 || m->position >= m->size)
        return 0;
    const std::uint64_t n = std::min<std::uint64_t>(std::uint64_t(length), m->size - m->position);
    std::memcpy(buffer, m->bytes + m->position, n);
    m->position += n;
    return tsize_t(n);
}
tsize_t writeProc(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto* m = static_cast<MemoryStream*>(handle);
    std::uint64_t base = whence == SEEK_CUR ? m->position : whence == SEEK_END ? m->size : 0;
    if (offset > UINT64_MAX - base)
        return toff_t(-1);
    m->position = base + offset;
    return m->position;
}
int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t handle) { return static_cast<MemoryStream*>(handle)->size; }
int mapProc(thandle_t handle, tdata_t* base, toff_t* size)
{
    auto* m = static_cast<MemoryStream*>(handle);
    *base = const_cast<std::uint8_t*>(m->bytes);
    *size = m->size;
    return 1;
}
void unmapProc(thandle_t, tdata_t, toff_t) { }
int quietHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }
int errorHandler(TIFF*, void* user, const char* module, const char* format, va_list arguments)
{
    auto* m = static_cast<MemoryStream*>(user);
    char text[200];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::snprintf(m->message, sizeof m->message, "%s%s%s", module ? module : "", module ? ": " : "", text);
    return 1;
}

struct TIFFCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TIFFHandle = std::unique_ptr<TIFF, TIFFCloser>;

TIFFHandle openTIFF(MemoryStream& stream)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, errorHandler, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quietHandler, nullptr);
    // No single buffer (a strip, a tile, a tag's values) larger than the biggest picture the
    // pixel limit allows: a field claiming gigabytes fails instead of being allocated.
    const std::uint64_t single = std::clamp<std::uint64_t>(maxImagePixels() * 8, 64u << 20, 1u << 30);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(single));
    TIFF* tif = TIFFClientOpenExt("memory", "r", &stream, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
        unmapProc, options);
    TIFFOpenOptionsFree(options);
    return TIFFHandle(tif);
}

std::uint16_t field16(TIFF* tif, ttag_t tag, std::uint16_t fallback)
{
    std::uint16_t v = fallback;
    return TIFFGetFieldDefaulted(tif, tag, &v) ? v : fallback;
}

bool isRawPhotometric(std::uint16_t p) { return p == 32803 /* CFA */ || p == 34892 /* LinearRaw */; }

// Camera RAW files that are TIFF underneath: a DNG version, or sensor data in a sub-directory.
bool looksLikeCameraRaw(TIFF* tif)
{
    void* dng = nullptr;
    if (TIFFGetField(tif, 50706 /* DNGVersion */, &dng))
        return true;
    if (isRawPhotometric(field16(tif, TIFFTAG_PHOTOMETRIC, 0)))
        return true;
    std::uint16_t count = 0;
    toff_t* offsets = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &offsets) || count == 0 || !offsets)
        return false;
    std::vector<toff_t> subs(offsets, offsets + std::min<std::uint16_t>(count, 16));
    bool raw = false;
    for (toff_t off : subs) {
        if (TIFFSetSubDirectory(tif, off) && isRawPhotometric(field16(tif, TIFFTAG_PHOTOMETRIC, 0))) {
            raw = true;
            break;
        }
    }
    TIFFSetDirectory(tif, 0);
    return raw;
}

struct Layout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bitsPerSample = 1, samples = 1, photometric = 0, planar = 1, sampleFormat = 1, inkSet = 1;
    std::uint16_t compression = 1, orientation = 1;
    std::uint16_t extraCount = 0, extraKind = 0;
    std::vector<std::uint8_t> icc;
    float xRes = 0, yRes = 0;
    std::uint16_t resUnit = 2;

    PlatformColorSpace::Model model() const
    {
        if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE)
            return PlatformColorSpace::Model::Monochrome;
        if (photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK)
            return PlatformColorSpace::Model::CMYK;
        if (photometric == PHOTOMETRIC_CIELAB)
            return PlatformColorSpace::Model::Lab;
        return PlatformColorSpace::Model::RGB;
    }
    std::size_t colorSamples() const
    {
        switch (model()) {
        case PlatformColorSpace::Model::Monochrome:
            return 1;
        case PlatformColorSpace::Model::CMYK:
            return 4;
        default:
            return 3;
        }
    }
    // Samples that the direct reader hands on unchanged.
    bool direct() const
    {
        if (sampleFormat != SAMPLEFORMAT_UINT || planar != PLANARCONFIG_CONTIG || (bitsPerSample != 8 && bitsPerSample != 16))
            return false;
        if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_RGB
            && !(photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK))
            return false;
        return samples == colorSamples() + extraCount && extraCount <= 1;
    }
    bool hasAlpha() const { return extraCount > 0 && extraKind != EXTRASAMPLE_UNSPECIFIED; }
};

Layout readLayout(TIFF* tif)
{
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    l.bitsPerSample = field16(tif, TIFFTAG_BITSPERSAMPLE, 1);
    l.samples = field16(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    l.photometric = field16(tif, TIFFTAG_PHOTOMETRIC, l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    l.planar = field16(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    l.sampleFormat = field16(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    l.inkSet = field16(tif, TIFFTAG_INKSET, INKSET_CMYK);
    l.compression = field16(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    l.orientation = field16(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    std::uint16_t* kinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &l.extraCount, &kinds) && l.extraCount > 0 && kinds)
        l.extraKind = kinds[0];
    else
        l.extraCount = 0;
    std::uint32_t iccLength = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength > 0)
        l.icc.assign(static_cast<std::uint8_t*>(icc), static_cast<std::uint8_t*>(icc) + iccLength);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &l.xRes);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &l.yRes);
    l.resUnit = field16(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    return l;
}

class TIFFDecoder final : public ImageDecoder {
public:
    TIFFDecoder(EncodedData data, std::unique_ptr<MemoryStream> stream, TIFFHandle tif, std::size_t pages)
        : ImageDecoder(std::move(data)), stream_(std::move(stream)), tif_(std::move(tif)), pages_(pages)
    {
    }

    std::string typeIdentifier() const override { return "public.tiff"; }
    std::size_t pageCount() const override { return pages_; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index >= pages_ || !TIFFSetDirectory(tif_.get(), tdir_t(index)))
            return std::nullopt;
        const Layout l = readLayout(tif_.get());
        if (!acceptableSize(l.width, l.height))
            return std::nullopt;
        PageDescription d;
        d.width = l.width;
        d.height = l.height;
        d.bitsPerSample = l.bitsPerSample;
        if (l.xRes > 0 && l.yRes > 0 && (l.resUnit == RESUNIT_INCH || l.resUnit == RESUNIT_CENTIMETER)) {
            const double perInch = l.resUnit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
            d.dpiWidth = l.xRes * perInch;
            d.dpiHeight = l.yRes * perInch;
        }
        d.properties = basicPageProperties(d.width, d.height, d.bitsPerSample, colorSpaceFor(l.model(), l.icc),
            l.hasAlpha(), d.dpiWidth, d.dpiHeight);
        if (l.photometric == PHOTOMETRIC_PALETTE)
            d.properties.set(kImagePropertyIsIndexed, true);
        if (l.sampleFormat == SAMPLEFORMAT_IEEEFP)
            d.properties.set(kImagePropertyIsFloat, true);
        if (index == 0)
            mergeExiv2Properties(d.properties, data_.bytes, data_.size); // exiv2 reads the first directory
        Value tiff = d.properties[kImagePropertyTIFFDictionary];
        tiff.set(kImagePropertyTIFFCompression, l.compression);
        tiff.set(kImagePropertyTIFFPhotometricInterpretation, l.photometric);
        tiff.set(kImagePropertyTIFFOrientation, l.orientation);
        d.properties.set(kImagePropertyTIFFDictionary, tiff);
        d.properties.set(kImagePropertyOrientation, l.orientation);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index >= pages_ || !TIFFSetDirectory(tif_.get(), tdir_t(index)))
            return DecodeResult::failure("no such page");
        const Layout l = readLayout(tif_.get());
        if (!acceptableSize(l.width, l.height))
            return DecodeResult::failure(tooLargeFailure(l.width, l.height));
        if (!TIFFIsCODECConfigured(l.compression)) {
            const ::TIFFCodec* codec = TIFFFindCODEC(l.compression);
            return DecodeResult::failure(unsupportedCompressionFailure(codec ? codec->name : std::to_string(l.compression)));
        }
        stream_->message[0] = 0;
        DecodeResult r = l.direct() ? decodeDirect(l, options) : decodeRGBA(l, options);
        if (r.error.empty() && r.partial)
            r.error = stream_->message[0] ? stream_->message : "damaged TIFF data";
        else if (!r.image && stream_->message[0] && r.error.rfind("unreadable", 0) == 0)
            r.error = stream_->message;
        if (r.image && options.isThumbnail())
            r.image = fitWithin(r.image, options.maxPixelSize);
        return r;
    }

private:
    DecodeResult decodeDirect(const Layout& l, const DecodeOptions& options)
    {
        TIFF* tif = tif_.get();
        const std::size_t bytesPerSample = l.bitsPerSample / 8;
        const std::size_t rowBytes = std::size_t(l.width) * l.samples * bytesPerSample;
        std::vector<std::uint8_t> pixels(rowBytes * l.height, 0);
        std::uint32_t rowsDone = 0;
        bool complete = true;
        if (TIFFIsTiled(tif)) {
            std::uint32_t tw = 0, th = 0;
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
            const tmsize_t tileSize = TIFFTileSize(tif);
            const std::size_t tileRow = std::size_t(tw) * l.samples * bytesPerSample;
            if (tw == 0 || th == 0 || tileSize <= 0 || std::uint64_t(tileRow) * th > std::uint64_t(tileSize))
                return DecodeResult::failure("bad tile layout");
            std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
            for (std::uint32_t y = 0; y < l.height && complete; y += th) {
                if (options.isCancelled())
                    return DecodeResult::failure("cancelled");
                for (std::uint32_t x = 0; x < l.width; x += tw) {
                    if (TIFFReadTile(tif, tile.data(), x, y, 0, 0) < 0) {
                        complete = false;
                        break;
                    }
                    const std::uint32_t rows = std::min(th, l.height - y);
                    const std::size_t bytes = std::size_t(std::min(tw, l.width - x)) * l.samples * bytesPerSample;
                    for (std::uint32_t ty = 0; ty < rows; ++ty)
                        std::memcpy(pixels.data() + (y + ty) * rowBytes + std::size_t(x) * l.samples * bytesPerSample,
                            tile.data() + ty * tileRow, bytes);
                }
                if (complete)
                    rowsDone = std::min(l.height, y + th);
            }
        } else {
            if (TIFFScanlineSize64(tif) != rowBytes)
                return DecodeResult::failure("bad strip layout");
            for (std::uint32_t y = 0; y < l.height; ++y) {
                if ((y & 63) == 0 && options.isCancelled())
                    return DecodeResult::failure("cancelled");
                if (TIFFReadScanline(tif, pixels.data() + std::size_t(y) * rowBytes, y, 0) < 0) {
                    complete = false;
                    break;
                }
                rowsDone = y + 1;
            }
        }
        if (rowsDone == 0)
            return DecodeResult::failure("no TIFF rows decoded");
        if (l.photometric == PHOTOMETRIC_MINISWHITE) {
            // White is zero in the file: turn the grey samples (not alpha) around.
            for (std::size_t i = 0; i < pixels.size() / bytesPerSample; i += l.samples) {
                if (bytesPerSample == 1) {
                    pixels[i] = std::uint8_t(255 - pixels[i]);
                } else {
                    auto* p = reinterpret_cast<std::uint16_t*>(pixels.data()) + i;
                    *p = std::uint16_t(65535 - *p);
                }
            }
        }
        std::uint32_t info = kImageAlphaNone;
        if (l.extraCount == 1)
            info = l.extraKind == EXTRASAMPLE_ASSOCALPHA ? kImageAlphaPremultipliedLast
                : l.extraKind == EXTRASAMPLE_UNASSALPHA  ? kImageAlphaLast
                                                         : kImageAlphaNoneSkipLast;
        if (bytesPerSample == 2)
            info |= kImageBitmapByteOrder16Little; // libtiff hands samples over in the machine's order
        auto image = PlatformImage::create(l.width, l.height, l.bitsPerSample, std::size_t(l.bitsPerSample) * l.samples,
            rowBytes, info, colorSpaceFor(l.model(), l.icc), std::move(pixels));
        if (!image)
            return DecodeResult::failure("cannot make the picture");
        DecodeResult r;
        r.image = std::move(image);
        r.partial = !complete;
        return r;
    }

    DecodeResult decodeRGBA(const Layout& l, const DecodeOptions& options)
    {
        TIFF* tif = tif_.get();
        char message[1024] = {};
        if (!TIFFRGBAImageOK(tif, message))
            return DecodeResult::failure(message);
        if (options.isCancelled())
            return DecodeResult::failure("cancelled");
        TIFFRGBAImage img {};
        if (!TIFFRGBAImageBegin(&img, tif, 0, message))
            return DecodeResult::failure(message);
        // Rows as stored: the orientation is reported in the properties and applied by the viewer.
        // The reader only flips, from the file's orientation to the one asked for, and counts
        // 5-8 as 1-4 (5 as 1, 6 as 2, 7 as 3, 8 as 4): asking for the file's own flips nothing.
        img.req_orientation = l.orientation >= 1 && l.orientation <= 8 ? l.orientation : ORIENTATION_TOPLEFT;
        std::vector<std::uint32_t> raster(std::size_t(l.width) * l.height, 0);
        const int ok = TIFFRGBAImageGet(&img, raster.data(), l.width, l.height);
        TIFFRGBAImageEnd(&img);
        if (!ok)
            return DecodeResult::failure("unreadable TIFF data");
        std::vector<std::uint8_t> pixels(raster.size() * 4);
        for (std::size_t i = 0; i < raster.size(); ++i) {
            const std::uint32_t v = raster[i];
            pixels[4 * i] = std::uint8_t(TIFFGetR(v));
            pixels[4 * i + 1] = std::uint8_t(TIFFGetG(v));
            pixels[4 * i + 2] = std::uint8_t(TIFFGetB(v));
            pixels[4 * i + 3] = std::uint8_t(TIFFGetA(v));
        }
        // The RGBA reader associates alpha (premultiplies) and gives opaque pixels without it.
        auto image = PlatformImage::create(l.width, l.height, 8, 32, std::size_t(l.width) * 4,
            l.hasAlpha() ? kImageAlphaPremultipliedLast : kImageAlphaNoneSkipLast,
            colorSpaceFor(PlatformColorSpace::Model::RGB, l.model() == PlatformColorSpace::Model::RGB ? l.icc : std::vector<std::uint8_t> {}),
            std::move(pixels));
        if (!image)
            return DecodeResult::failure("cannot make the picture");
        return DecodeResult { std::move(image), {}, false };
    }

    std::unique_ptr<MemoryStream> stream_;
    TIFFHandle tif_;
    std::size_t pages_;
};

} // namespace

const std::vector<CodecFormat>& TIFFCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "public.tiff", "TIFF image", "TIFF", "tiff,tif", "tiff", "image/tiff" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> TIFFCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || data.size < 8)
        return nullptr;
    const bool little = data.bytes[0] == 'I' && data.bytes[1] == 'I' && (data.bytes[2] == 42 || data.bytes[2] == 43) && data.bytes[3] == 0;
    const bool big = data.bytes[0] == 'M' && data.bytes[1] == 'M' && data.bytes[2] == 0 && (data.bytes[3] == 42 || data.bytes[3] == 43);
    if (!little && !big)
        return nullptr;
    if (little && data.size > 10 && data.bytes[8] == 'C' && data.bytes[9] == 'R') // Canon CR2
        return nullptr;
    auto stream = std::make_unique<MemoryStream>(MemoryStream { data.bytes, data.size, 0 });
    TIFFHandle tif = openTIFF(*stream);
    const auto fail = [&](std::string why) -> std::unique_ptr<ImageDecoder> {
        failure = std::move(why);
        return nullptr;
    };
    if (!tif) {
        // The header, and in a classic TIFF the first directory's entry count, lie inside the
        // data unless the file was cut.
        const bool bigTIFF = data.bytes[2] == 43 || data.bytes[3] == 43;
        const std::uint64_t firstDirectory = bigTIFF ? 16 : read32(data.bytes + 4, little);
        if (firstDirectory > data.size || data.size - firstDirectory < (bigTIFF ? 0u : 2u))
            return fail(truncatedFailure(data.size));
        return fail(stream->message[0] ? stream->message : "unreadable TIFF header");
    }
    if (looksLikeCameraRaw(tif.get()))
        return nullptr;
    std::size_t pages = std::min<tdir_t>(TIFFNumberOfDirectories(tif.get()), kMaxPages);
    if (pages == 0 || !TIFFSetDirectory(tif.get(), 0))
        return fail(stream->message[0] ? stream->message : "no readable TIFF directory");
    const Layout first = readLayout(tif.get());
    if (!acceptableSize(first.width, first.height))
        return fail(tooLargeFailure(first.width, first.height));
    return std::make_unique<TIFFDecoder>(std::move(data), std::move(stream), std::move(tif), pages);
}

} // namespace vistel::codec
