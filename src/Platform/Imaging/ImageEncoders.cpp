#include "Platform/Imaging/ImageEncoders.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <cmath>
#include <unordered_map>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <gif_lib.h>

namespace vistel::encoders {

namespace {

// Composites unpremultiplied RGBA over an opaque background colour, giving RGB.
Bytes flattenOver(const Bitmap8& bitmap, const std::array<double, 3>& background)
{
    Bytes rgb(bitmap.width * bitmap.height * 3);
    const int bg[3] = {int(std::lround(std::clamp(background[0], 0.0, 1.0) * 255)),
        int(std::lround(std::clamp(background[1], 0.0, 1.0) * 255)),
        int(std::lround(std::clamp(background[2], 0.0, 1.0) * 255))};
    const std::size_t count = bitmap.width * bitmap.height;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bitmap.pixels.data() + i * 4;
        const int a = p[3];
        for (int c = 0; c < 3; ++c)
            rgb[i * 3 + std::size_t(c)] = std::uint8_t((p[c] * a + bg[c] * (255 - a) + 127) / 255);
    }
    return rgb;
}

Bytes expandGrey(const Bitmap8& bitmap)
{
    Bytes rgb(bitmap.width * bitmap.height * 3);
    for (std::size_t i = 0; i < bitmap.width * bitmap.height; ++i)
        rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = bitmap.pixels[i];
    return rgb;
}

bool fitsInt(const Bitmap8& bitmap, std::size_t limit = INT_MAX)
{
    return bitmap.width > 0 && bitmap.height > 0 && bitmap.width <= limit && bitmap.height <= limit;
}

// ---- JPEG ----

struct JPEGError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr info)
{
    auto* error = reinterpret_cast<JPEGError*>(info->err);
    info->err->format_message(info, error->message);
    std::longjmp(error->jump, 1);
}

void jpegSilence(j_common_ptr, int) { }

} // namespace

bool encodeJPEG(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error)
{
    if (!fitsInt(bitmap, JPEG_MAX_DIMENSION)) {
        error = "picture too large for JPEG";
        return false;
    }
    // Everything with a destructor is made before setjmp, so a longjmp skips no destructor.
    const Bytes flattened = bitmap.channels == 4 ? flattenOver(bitmap, settings.background) : Bytes();
    const std::uint8_t* pixels = bitmap.channels == 4 ? flattened.data() : bitmap.pixels.data();
    const int components = bitmap.channels == 1 ? 1 : 3;
    const std::size_t rowBytes = bitmap.width * std::size_t(components);
    const int quality = int(std::lround(std::clamp(settings.quality, 0.0, 1.0) * 100));

    jpeg_compress_struct info;
    JPEGError jerror;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    info.err = jpeg_std_error(&jerror.manager);
    jerror.manager.error_exit = jpegErrorExit;
    jerror.manager.emit_message = jpegSilence;
    if (setjmp(jerror.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        error = jerror.message;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(bitmap.width);
    info.image_height = JDIMENSION(bitmap.height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (quality >= 90 && components == 3) {
        // Keep full colour resolution at high quality: chroma subsampling is the visible loss.
        info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    }
    if (settings.dpiX > 0 && settings.dpiY > 0) {
        info.write_JFIF_header = TRUE;
        info.density_unit = 1;
        info.X_density = UINT16(std::clamp(std::lround(settings.dpiX), 1L, 65535L));
        info.Y_density = UINT16(std::clamp(std::lround(settings.dpiY), 1L, 65535L));
    }
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    if (!bitmap.iccProfile.empty())
        jpeg_write_icc_profile(&info, bitmap.iccProfile.data(), unsigned(bitmap.iccProfile.size()));
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + std::size_t(info.next_scanline) * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    out.assign(buffer, buffer + size);
    std::free(buffer);
    return true;
}

// ---- PNG ----

namespace {

struct PNGState {
    Bytes* out;
    char message[256];
};

void pngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* state = static_cast<PNGState*>(png_get_io_ptr(png));
    state->out->insert(state->out->end(), data, data + length);
}

void pngFlush(png_structp) { }

void pngError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<PNGState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) { }

} // namespace

bool encodePNG(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error)
{
    if (!fitsInt(bitmap, PNG_UINT_31_MAX)) {
        error = "picture too large for PNG";
        return false;
    }
    Bytes result;
    PNGState state {&result, {}};
    const std::size_t rowBytes = bitmap.width * std::size_t(bitmap.channels);
    const int colorType = bitmap.channels == 1 ? PNG_COLOR_TYPE_GRAY
        : bitmap.channels == 3                 ? PNG_COLOR_TYPE_RGB
                                               : PNG_COLOR_TYPE_RGB_ALPHA;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    if (!png) {
        error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = state.message[0] ? state.message : "PNG encoding failed";
        return false;
    }
    png_set_write_fn(png, &state, pngWrite, pngFlush);
    png_set_IHDR(png, info, png_uint_32(bitmap.width), png_uint_32(bitmap.height), 8, colorType, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (settings.dpiX > 0 && settings.dpiY > 0)
        png_set_pHYs(png, info, png_uint_32(std::lround(settings.dpiX / 0.0254)),
            png_uint_32(std::lround(settings.dpiY / 0.0254)), PNG_RESOLUTION_METER);
    if (!bitmap.iccProfile.empty()) {
        // A profile libpng finds unfit is dropped (benign), not the whole picture.
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, bitmap.iccProfile.data(),
            png_uint_32(bitmap.iccProfile.size()));
    }
    png_write_info(png, info);
    for (std::size_t y = 0; y < bitmap.height; ++y)
        png_write_row(png, bitmap.pixels.data() + y * rowBytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    out = std::move(result);
    return true;
}

// ---- TIFF ----

namespace {

struct TIFFMemory {
    Bytes data;
    std::size_t position = 0;
};

tmsize_t tiffRead(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* memory = static_cast<TIFFMemory*>(handle);
    if (size < 0 || memory->position >= memory->data.size())
        return 0;
    const std::size_t count = std::min(std::size_t(size), memory->data.size() - memory->position);
    std::memcpy(buffer, memory->data.data() + memory->position, count);
    memory->position += count;
    return tmsize_t(count);
}

tmsize_t tiffWrite(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* memory = static_cast<TIFFMemory*>(handle);
    if (size < 0)
        return 0;
    const std::size_t end = memory->position + std::size_t(size);
    if (end > memory->data.size())
        memory->data.resize(end);
    std::memcpy(memory->data.data() + memory->position, buffer, std::size_t(size));
    memory->position = end;
    return size;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* memory = static_cast<TIFFMemory*>(handle);
    std::int64_t base = whence == SEEK_CUR ? std::int64_t(memory->position)
        : whence == SEEK_END               ? std::int64_t(memory->data.size())
                                           : 0;
    const std::int64_t target = base + std::int64_t(offset);
    if (target < 0)
        return toff_t(-1);
    memory->position = std::size_t(target);
    return toff_t(target);
}

int tiffClose(thandle_t) { return 0; }

toff_t tiffSize(thandle_t handle) { return toff_t(static_cast<TIFFMemory*>(handle)->data.size()); }

int tiffMap(thandle_t, void**, toff_t*) { return 0; }

void tiffUnmap(thandle_t, void*, toff_t) { }

} // namespace

bool encodeTIFF(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error)
{
    if (!fitsInt(bitmap, 0xFFFFFFFFu)) {
        error = "picture too large for TIFF";
        return false;
    }
    std::uint16_t compression = COMPRESSION_NONE;
    if (settings.tiffCompression == COMPRESSION_LZW)
        compression = COMPRESSION_LZW;
    else if (settings.tiffCompression == COMPRESSION_PACKBITS)
        compression = COMPRESSION_PACKBITS;

    TIFFMemory memory;
    TIFF* tiff = TIFFClientOpen("memory", "w", &memory, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap, tiffUnmap);
    if (!tiff) {
        error = "cannot create TIFF";
        return false;
    }
    const auto width = std::uint32_t(bitmap.width);
    const auto height = std::uint32_t(bitmap.height);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, bitmap.channels);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, bitmap.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (bitmap.channels == 4) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW)
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    if (settings.dpiX > 0 && settings.dpiY > 0) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(settings.dpiX));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(settings.dpiY));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    if (!bitmap.iccProfile.empty())
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, std::uint32_t(bitmap.iccProfile.size()), bitmap.iccProfile.data());
    const std::size_t rowBytes = bitmap.width * std::size_t(bitmap.channels);
    Bytes row(rowBytes); // libtiff may change the buffer it is given (predictor)
    for (std::uint32_t y = 0; y < height; ++y) {
        std::memcpy(row.data(), bitmap.pixels.data() + y * rowBytes, rowBytes);
        if (TIFFWriteScanline(tiff, row.data(), y, 0) < 0) {
            TIFFClose(tiff);
            error = "TIFF encoding failed";
            return false;
        }
    }
    TIFFClose(tiff);
    out = std::move(memory.data);
    return true;
}

// ---- WebP ----

bool encodeWebP(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error)
{
    if (!fitsInt(bitmap, WEBP_MAX_DIMENSION)) {
        error = "picture too large for WebP";
        return false;
    }
    const Bytes expanded = bitmap.channels == 1 ? expandGrey(bitmap) : Bytes();
    const std::uint8_t* pixels = bitmap.channels == 1 ? expanded.data() : bitmap.pixels.data();
    const int channels = bitmap.channels == 1 ? 3 : bitmap.channels;
    const int stride = int(bitmap.width) * channels;
    const int width = int(bitmap.width), height = int(bitmap.height);
    std::uint8_t* buffer = nullptr;
    std::size_t size = 0;
    if (settings.quality >= 1.0) {
        size = channels == 4 ? WebPEncodeLosslessRGBA(pixels, width, height, stride, &buffer)
                             : WebPEncodeLosslessRGB(pixels, width, height, stride, &buffer);
    } else {
        const float quality = float(std::clamp(settings.quality, 0.0, 1.0) * 100);
        size = channels == 4 ? WebPEncodeRGBA(pixels, width, height, stride, quality, &buffer)
                             : WebPEncodeRGB(pixels, width, height, stride, quality, &buffer);
    }
    if (size == 0 || !buffer) {
        WebPFree(buffer);
        error = "WebP encoding failed";
        return false;
    }
    out.assign(buffer, buffer + size);
    WebPFree(buffer);
    return true;
}

// ---- GIF ----

namespace {

int gifWrite(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

} // namespace

bool encodeGIF(const Bitmap8& bitmap, const Settings&, Bytes& out, std::string& error)
{
    if (!fitsInt(bitmap, 65535)) {
        error = "picture too large for GIF";
        return false;
    }
    const std::size_t count = bitmap.width * bitmap.height;
    const int channels = bitmap.channels;
    auto rgbAt = [&](std::size_t i, int c) { return channels == 1 ? bitmap.pixels[i] : bitmap.pixels[i * std::size_t(channels) + std::size_t(c)]; };
    auto transparentAt = [&](std::size_t i) { return channels == 4 && bitmap.pixels[i * 4 + 3] < 128; };
    bool hasTransparency = false;
    for (std::size_t i = 0; i < count && !hasTransparency; ++i)
        hasTransparency = transparentAt(i);
    const int maxColors = hasTransparency ? 255 : 256;

    // Pictures with few colours keep them exactly; others are quantised (median cut).
    Bytes indexes(count);
    std::vector<GifColorType> palette;
    std::unordered_map<std::uint32_t, std::uint8_t> exact;
    bool fits = true;
    for (std::size_t i = 0; i < count && fits; ++i) {
        if (transparentAt(i))
            continue;
        const std::uint32_t key = (std::uint32_t(rgbAt(i, 0)) << 16) | (std::uint32_t(rgbAt(i, 1)) << 8) | rgbAt(i, 2);
        auto it = exact.find(key);
        if (it == exact.end()) {
            if (int(palette.size()) == maxColors) {
                fits = false;
                break;
            }
            it = exact.emplace(key, std::uint8_t(palette.size())).first;
            palette.push_back({GifByteType(rgbAt(i, 0)), GifByteType(rgbAt(i, 1)), GifByteType(rgbAt(i, 2))});
        }
        indexes[i] = it->second;
    }
    if (!fits) {
        Bytes red(count), green(count), blue(count);
        for (std::size_t i = 0; i < count; ++i)
            red[i] = rgbAt(i, 0), green[i] = rgbAt(i, 1), blue[i] = rgbAt(i, 2);
        int size = maxColors;
        palette.assign(256, GifColorType {0, 0, 0});
        if (GifQuantizeBuffer(unsigned(bitmap.width), unsigned(bitmap.height), &size, red.data(), green.data(),
                blue.data(), indexes.data(), palette.data())
            == GIF_ERROR) {
            error = "GIF colour quantisation failed";
            return false;
        }
        palette.resize(std::size_t(std::clamp(size, 1, maxColors)));
    }
    const int transparentIndex = hasTransparency ? int(palette.size()) : -1;
    if (hasTransparency) {
        palette.push_back({0, 0, 0});
        for (std::size_t i = 0; i < count; ++i)
            if (transparentAt(i))
                indexes[i] = std::uint8_t(transparentIndex);
    }
    int mapSize = 2;
    while (mapSize < int(palette.size()))
        mapSize *= 2;
    palette.resize(std::size_t(mapSize), GifColorType {0, 0, 0});

    Bytes result;
    int status = 0;
    GifFileType* gif = EGifOpen(&result, gifWrite, &status);
    if (!gif) {
        error = GifErrorString(status) ? GifErrorString(status) : "GIF encoding failed";
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(mapSize, palette.data());
    bool ok = map != nullptr;
    if (ok) {
        EGifSetGifVersion(gif, hasTransparency);
        ok = EGifPutScreenDesc(gif, int(bitmap.width), int(bitmap.height), 8, 0, map) != GIF_ERROR;
    }
    if (ok && hasTransparency) {
        GraphicsControlBlock control {};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.UserInputFlag = false;
        control.DelayTime = 0;
        control.TransparentColor = transparentIndex;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_ERROR;
    }
    if (ok)
        ok = EGifPutImageDesc(gif, 0, 0, int(bitmap.width), int(bitmap.height), false, nullptr) != GIF_ERROR;
    for (std::size_t y = 0; ok && y < bitmap.height; ++y)
        ok = EGifPutLine(gif, indexes.data() + y * bitmap.width, int(bitmap.width)) != GIF_ERROR;
    if (!ok)
        error = GifErrorString(gif->Error) ? GifErrorString(gif->Error) : "GIF encoding failed";
    GifFreeMapObject(map);
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) == GIF_ERROR && ok) {
        ok = false;
        error = GifErrorString(closeError) ? GifErrorString(closeError) : "GIF encoding failed";
    }
    if (ok)
        out = std::move(result);
    return ok;
}

// ---- BMP ----

namespace {

void put16(Bytes& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void put32(Bytes& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

bool encodeBMP(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error)
{
    const bool alpha = bitmap.channels == 4;
    const std::size_t bytesPerPixel = alpha ? 4 : 3;
    const std::size_t rowBytes = (bitmap.width * bytesPerPixel + 3) & ~std::size_t(3);
    const std::size_t headerSize = alpha ? 124 : 40; // BITMAPV5HEADER carries the alpha mask
    const std::size_t offset = 14 + headerSize;
    if (!fitsInt(bitmap) || rowBytes > (0xFFFFFFFFu - offset) / bitmap.height) {
        error = "picture too large for BMP";
        return false;
    }
    const std::size_t imageSize = rowBytes * bitmap.height;
    Bytes result;
    result.reserve(offset + imageSize);
    result.push_back('B');
    result.push_back('M');
    put32(result, std::uint32_t(offset + imageSize));
    put32(result, 0);
    put32(result, std::uint32_t(offset));
    put32(result, std::uint32_t(headerSize));
    put32(result, std::uint32_t(bitmap.width));
    put32(result, std::uint32_t(bitmap.height)); // positive: bottom-up rows
    put16(result, 1);
    put16(result, std::uint32_t(bytesPerPixel * 8));
    put32(result, alpha ? 3 : 0); // BI_BITFIELDS : BI_RGB
    put32(result, std::uint32_t(imageSize));
    put32(result, settings.dpiX > 0 ? std::uint32_t(std::lround(settings.dpiX / 0.0254)) : 2835);
    put32(result, settings.dpiY > 0 ? std::uint32_t(std::lround(settings.dpiY / 0.0254)) : 2835);
    put32(result, 0);
    put32(result, 0);
    if (alpha) {
        put32(result, 0x00FF0000); // red mask
        put32(result, 0x0000FF00);
        put32(result, 0x000000FF);
        put32(result, 0xFF000000);
        put32(result, 0x73524742); // 'sRGB'
        result.insert(result.end(), 36 + 12, 0); // end points, gamma
        put32(result, 4); // intent: perceptual
        put32(result, 0);
        put32(result, 0);
        put32(result, 0);
    }
    for (std::size_t y = bitmap.height; y-- > 0;) {
        const std::uint8_t* row = bitmap.pixels.data() + y * bitmap.width * std::size_t(bitmap.channels);
        std::size_t written = 0;
        for (std::size_t x = 0; x < bitmap.width; ++x) {
            const std::uint8_t* p = row + x * std::size_t(bitmap.channels);
            const std::uint8_t r = p[0], g = bitmap.channels == 1 ? p[0] : p[1], b = bitmap.channels == 1 ? p[0] : p[2];
            result.push_back(b);
            result.push_back(g);
            result.push_back(r);
            if (alpha)
                result.push_back(p[3]);
            written += bytesPerPixel;
        }
        result.insert(result.end(), rowBytes - written, 0);
    }
    out = std::move(result);
    return true;
}

} // namespace vistel::encoders
