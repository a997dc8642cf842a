#include "Common/Icons/IconFamily.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include "Common/Icons/NSImageManualRescale.h"
#include "Platform/AtomicFileWriter.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"

namespace vistel {
namespace {

constexpr OSType kIconFamilyType = makeOSType("icns");
constexpr OSType kTableOfContents = makeOSType("TOC ");

enum class Layout { ARGB32, PNG, Mask8, Index8, Bits1 };

struct ElementInfo {
    OSType type;
    int size;
    Layout layout;
};

// Everything this family reads or writes in a layout of its own; other types are opaque.
constexpr ElementInfo kElements[] = {
    {makeOSType("ic10"), 1024, Layout::PNG},   {makeOSType("ic09"), 512, Layout::PNG},
    {makeOSType("ic08"), 256, Layout::PNG},    {makeOSType("ic07"), 128, Layout::PNG},
    {makeOSType("it32"), 128, Layout::ARGB32}, {makeOSType("t8mk"), 128, Layout::Mask8},
    {makeOSType("ih32"), 48, Layout::ARGB32},  {makeOSType("h8mk"), 48, Layout::Mask8},
    {makeOSType("ich8"), 48, Layout::Index8},  {makeOSType("ich#"), 48, Layout::Bits1},
    {makeOSType("il32"), 32, Layout::ARGB32},  {makeOSType("l8mk"), 32, Layout::Mask8},
    {makeOSType("icl8"), 32, Layout::Index8},  {makeOSType("ICN#"), 32, Layout::Bits1},
    {makeOSType("is32"), 16, Layout::ARGB32},  {makeOSType("s8mk"), 16, Layout::Mask8},
    {makeOSType("ics8"), 16, Layout::Index8},  {makeOSType("ics#"), 16, Layout::Bits1},
};

const ElementInfo* elementInfo(OSType type)
{
    for (const ElementInfo& info : kElements)
        if (info.type == type)
            return &info;
    return nullptr;
}

std::size_t plainSize(const ElementInfo& info)
{
    const std::size_t pixels = std::size_t(info.size) * std::size_t(info.size);
    switch (info.layout) {
    case Layout::ARGB32:
    case Layout::PNG: return pixels * 4;
    case Layout::Mask8:
    case Layout::Index8: return pixels;
    case Layout::Bits1: return pixels / 4;
    }
    return 0;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

std::uint32_t bigEndianAt(const std::uint8_t* bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8)
        | std::uint32_t(bytes[3]);
}

// The run-length encoding of the 32-bit elements, one channel at a time: a control byte below
// 0x80 is followed by control + 1 literal bytes; one from 0x80 repeats the next byte
// control - 125 times (3 to 130).
void encodeChannel(const std::vector<std::uint8_t>& argb, int channel, std::vector<std::uint8_t>& out)
{
    const std::size_t count = argb.size() / 4;
    auto at = [&](std::size_t i) { return argb[i * 4 + std::size_t(channel)]; };
    std::size_t i = 0;
    while (i < count) {
        std::size_t run = 1;
        while (i + run < count && run < 130 && at(i + run) == at(i))
            ++run;
        if (run >= 3) {
            out.push_back(std::uint8_t(0x80 + run - 3));
            out.push_back(at(i));
            i += run;
            continue;
        }
        // Literals up to the next run of three (or 128 bytes).
        std::size_t literal = 0;
        while (i + literal < count && literal < 128) {
            const std::size_t j = i + literal;
            if (j + 2 < count && at(j) == at(j + 1) && at(j) == at(j + 2))
                break;
            ++literal;
        }
        out.push_back(std::uint8_t(literal - 1));
        for (std::size_t k = 0; k < literal; ++k)
            out.push_back(at(i + k));
        i += literal;
    }
}

std::optional<std::vector<std::uint8_t>> decodeARGB32(const ElementInfo& info, const std::vector<std::uint8_t>& stored)
{
    const std::size_t pixels = std::size_t(info.size) * std::size_t(info.size);
    std::vector<std::uint8_t> argb(pixels * 4, 0);
    // Some writers store the pixels uncompressed.
    if (stored.size() == pixels * 4) {
        for (std::size_t p = 0; p < pixels; ++p) {
            argb[p * 4 + 1] = stored[p * 4 + 1];
            argb[p * 4 + 2] = stored[p * 4 + 2];
            argb[p * 4 + 3] = stored[p * 4 + 3];
        }
        return argb;
    }
    std::size_t in = 0;
    if (info.type == makeOSType("it32")) {
        if (stored.size() < 4)
            return std::nullopt;
        in = 4;
    }
    for (int channel = 1; channel <= 3; ++channel) {
        std::size_t filled = 0;
        while (filled < pixels) {
            if (in >= stored.size())
                return std::nullopt;
            const std::uint8_t control = stored[in++];
            if (control & 0x80) {
                const std::size_t run = std::size_t(control) - 125;
                if (in >= stored.size() || filled + run > pixels)
                    return std::nullopt;
                const std::uint8_t value = stored[in++];
                for (std::size_t k = 0; k < run; ++k)
                    argb[(filled++) * 4 + std::size_t(channel)] = value;
            } else {
                const std::size_t literal = std::size_t(control) + 1;
                if (in + literal > stored.size() || filled + literal > pixels)
                    return std::nullopt;
                for (std::size_t k = 0; k < literal; ++k)
                    argb[(filled++) * 4 + std::size_t(channel)] = stored[in++];
            }
        }
    }
    return argb;
}

std::vector<std::uint8_t> encodeARGB32(const ElementInfo& info, const std::vector<std::uint8_t>& argb)
{
    std::vector<std::uint8_t> out;
    if (info.type == makeOSType("it32"))
        out.assign(4, 0);
    for (int channel = 1; channel <= 3; ++channel)
        encodeChannel(argb, channel, out);
    return out;
}

std::optional<std::vector<std::uint8_t>> encodePNG(const ElementInfo& info, const std::vector<std::uint8_t>& argb)
{
    QImage image(info.size, info.size, QImage::Format_ARGB32);
    for (int y = 0; y < info.size; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::uint8_t* source = argb.data() + std::size_t(y) * std::size_t(info.size) * 4;
        for (int x = 0; x < info.size; ++x, source += 4)
            row[x] = qRgba(source[1], source[2], source[3], source[0]);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::optional<std::vector<std::uint8_t>> decodePNG(const ElementInfo& info, const std::vector<std::uint8_t>& stored)
{
    // PNG as written here; JPEG 2000 too when an image reader for it is installed.
    // The size is checked before decoding, so a damaged header never makes a huge image.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(stored.data()),
                                               qsizetype(std::min<std::size_t>(stored.size(), INT32_MAX)));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (reader.size() != QSize(info.size, info.size))
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull() || image.width() != info.size || image.height() != info.size)
        return std::nullopt;
    image = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> argb(plainSize(info));
    std::uint8_t* out = argb.data();
    for (int y = 0; y < info.size; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < info.size; ++x) {
            *out++ = std::uint8_t(qAlpha(row[x]));
            *out++ = std::uint8_t(qRed(row[x]));
            *out++ = std::uint8_t(qGreen(row[x]));
            *out++ = std::uint8_t(qBlue(row[x]));
        }
    }
    return argb;
}

std::vector<std::uint32_t> makeSystemPalette()
{
    // The 6 × 6 × 6 colour cube from white down (black left for last), ramps of the other
    // levels of red, green, blue and grey, then black.
    static constexpr std::uint8_t cube[] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    static constexpr std::uint8_t ramp[] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
    std::vector<std::uint32_t> palette;
    for (std::uint8_t r : cube)
        for (std::uint8_t g : cube)
            for (std::uint8_t b : cube)
                if (r || g || b)
                    palette.push_back((std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b);
    for (std::uint8_t v : ramp)
        palette.push_back(std::uint32_t(v) << 16);
    for (std::uint8_t v : ramp)
        palette.push_back(std::uint32_t(v) << 8);
    for (std::uint8_t v : ramp)
        palette.push_back(v);
    for (std::uint8_t v : ramp)
        palette.push_back((std::uint32_t(v) << 16) | (std::uint32_t(v) << 8) | v);
    palette.push_back(0);
    return palette;
}

std::uint8_t paletteIndex(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::vector<std::uint32_t>& palette = IconFamily::systemPalette();
    int best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const long dr = long((palette[i] >> 16) & 0xFF) - r;
        const long dg = long((palette[i] >> 8) & 0xFF) - g;
        const long db = long(palette[i] & 0xFF) - b;
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = int(i);
            bestDistance = distance;
            if (distance == 0)
                break;
        }
    }
    return std::uint8_t(best);
}

enum class PixelKind { Gray, RGB, RGBA, Bits, Other };

PixelKind pixelKind(const IconBitmapSource& bitmap)
{
    if (bitmap.samplesPerPixel == 1 && bitmap.bitsPerSample == 1 && bitmap.bitsPerPixel == 1)
        return PixelKind::Bits;
    if (bitmap.samplesPerPixel == 1 && bitmap.bitsPerPixel == 8)
        return PixelKind::Gray;
    if (bitmap.samplesPerPixel == 3 && bitmap.bitsPerPixel == 24)
        return PixelKind::RGB;
    if (bitmap.samplesPerPixel == 4 && bitmap.bitsPerPixel == 32)
        return PixelKind::RGBA;
    return PixelKind::Other;
}

// The size check answers silently; a bitmap without pixels or with rows too short for its
// width is refused too (reading it would run past its memory).
bool fitsRequiredSize(const IconBitmapSource& bitmap, int requiredPixelSize)
{
    if (bitmap.pixelsWide != requiredPixelSize || bitmap.pixelsHigh != requiredPixelSize || requiredPixelSize <= 0)
        return false;
    if (!bitmap.data || bitmap.bitsPerPixel <= 0)
        return false;
    const std::size_t rowBits = std::size_t(bitmap.pixelsWide) * std::size_t(bitmap.bitsPerPixel);
    return bitmap.bytesPerRow >= (rowBits + 7) / 8;
}

// The checks each converter starts with; a refusal other than the size is logged under the
// converter's name. `eightBitSamples`: the converter needs 8 bits per sample.
bool acceptsSource(const IconBitmapSource& bitmap, int requiredPixelSize, const char* converter, bool eightBitSamples)
{
    if (!fitsRequiredSize(bitmap, requiredPixelSize))
        return false;
    if (bitmap.planar) {
        ZovLog(vistel::format("%@:requiredPixelSize: returning NULL due to isPlanar == YES", converter));
        return false;
    }
    if (eightBitSamples && bitmap.bitsPerSample != 8) {
        ZovLog(vistel::format("%@:requiredPixelSize: returning NULL due to bitsPerSample == %d", converter,
                              bitmap.bitsPerSample));
        return false;
    }
    return true;
}

void logUnusableLayout(const char* converter, const IconBitmapSource& bitmap)
{
    ZovLog(vistel::format("%@:requiredPixelSize: returning NULL due to samplesPerPixel == %d, bitsPerPixel == %d",
                          converter, bitmap.samplesPerPixel, bitmap.bitsPerPixel));
}

struct Pixel {
    std::uint8_t r, g, b, a;
};

Pixel pixelAt(const IconBitmapSource& bitmap, PixelKind kind, int x, int y)
{
    const std::uint8_t* row = bitmap.data + std::size_t(y) * bitmap.bytesPerRow;
    switch (kind) {
    case PixelKind::Gray: return {row[x], row[x], row[x], 255};
    case PixelKind::RGB: return {row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 255};
    case PixelKind::RGBA: {
        const std::uint8_t* p = row + std::size_t(x) * 4;
        return bitmap.alphaFirst ? Pixel{p[1], p[2], p[3], p[0]} : Pixel{p[0], p[1], p[2], p[3]};
    }
    default: return {0, 0, 0, 0};
    }
}

} // namespace

std::string osTypeString(OSType type)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[std::size_t(i)] = char((type >> (24 - 8 * i)) & 0xFF);
    return text;
}

const std::vector<std::uint32_t>& IconFamily::systemPalette()
{
    static const std::vector<std::uint32_t> palette = makeSystemPalette();
    return palette;
}

IconBitmapSource IconBitmapSource::fromQImage(const QImage& image, QImage& storage)
{
    IconBitmapSource bitmap;
    if (image.isNull())
        return bitmap;
    if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16) {
        storage = image.convertToFormat(QImage::Format_Grayscale8);
        bitmap.samplesPerPixel = 1;
        bitmap.bitsPerPixel = 8;
    } else if (!image.hasAlphaChannel()) {
        storage = image.convertToFormat(QImage::Format_RGB888);
        bitmap.samplesPerPixel = 3;
        bitmap.bitsPerPixel = 24;
    } else {
        storage = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        bitmap.samplesPerPixel = 4;
        bitmap.bitsPerPixel = 32;
        bitmap.premultiplied = true;
    }
    bitmap.pixelsWide = storage.width();
    bitmap.pixelsHigh = storage.height();
    bitmap.bitsPerSample = 8;
    bitmap.bytesPerRow = std::size_t(storage.bytesPerLine());
    bitmap.data = storage.constBits();
    return bitmap;
}

Ref<IconFamily> IconFamily::iconFamily()
{
    return Ref<IconFamily>::adopt(new IconFamily());
}

Ref<IconFamily> IconFamily::iconFamilyWithIconFamilyHandle(std::vector<std::uint8_t> bytes)
{
    if (bytes.size() < 8 || bigEndianAt(bytes.data()) != kIconFamilyType)
        return nullptr;
    const std::uint32_t total = bigEndianAt(bytes.data() + 4);
    if (total < 8 || total > bytes.size())
        return nullptr;
    Ref<IconFamily> family = iconFamily();
    std::size_t offset = 8;
    while (offset < total) {
        if (total - offset < 8)
            return nullptr;
        const OSType type = bigEndianAt(bytes.data() + offset);
        const std::uint32_t length = bigEndianAt(bytes.data() + offset + 4);
        if (length < 8 || length > total - offset)
            return nullptr;
        family->elements_.push_back({type, std::vector<std::uint8_t>(bytes.begin() + std::ptrdiff_t(offset + 8),
                                                                     bytes.begin() + std::ptrdiff_t(offset + length))});
        offset += length;
    }
    return family;
}

Ref<IconFamily> IconFamily::iconFamilyWithContentsOfFile(const std::string& path)
{
    // Only regular files: a device or FIFO could feed bytes without end (O_NONBLOCK keeps the
    // open of a FIFO from waiting for a writer). The checks are made on the opened file, so a
    // swap of the name in between cannot slip another kind of file in. The total length field
    // is 32 bits, so nothing larger can be a family.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat info;
    std::vector<std::uint8_t> bytes;
    bool whole = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && std::uint64_t(info.st_size) <= 0xFFFFFFFFu;
    if (whole) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                whole = false;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done); // a file that shrank meanwhile is judged by what it holds
    }
    ::close(fd);
    if (!whole)
        return nullptr;
    return iconFamilyWithIconFamilyHandle(std::move(bytes));
}

Ref<IconFamily> IconFamily::iconFamilyWithIconOfFile(const std::string& path)
{
    Ref<NSImageManualRescale> icon = NSWorkspaceCustomIcons::iconDataForPath(path, false, 0);
    if (!icon)
        return nullptr;
    return iconFamilyWithThumbnailsOfImage(icon->image());
}

std::vector<std::uint8_t> IconFamily::data() const
{
    std::size_t total = 8;
    for (const Element& element : elements_)
        total += 8 + element.stored.size();
    if (total > 0xFFFFFFFFu)
        return {}; // cannot be described by the format's 32-bit length
    std::vector<std::uint8_t> out;
    out.reserve(total);
    putBigEndian(out, kIconFamilyType);
    putBigEndian(out, std::uint32_t(total));
    for (const Element& element : elements_) {
        putBigEndian(out, element.type);
        putBigEndian(out, std::uint32_t(element.stored.size() + 8));
        out.insert(out.end(), element.stored.begin(), element.stored.end());
    }
    return out;
}

std::vector<OSType> IconFamily::elementTypes() const
{
    std::vector<OSType> types;
    for (const Element& element : elements_)
        types.push_back(element.type);
    return types;
}

const IconFamily::Element* IconFamily::find(OSType type) const
{
    for (const Element& element : elements_)
        if (element.type == type)
            return &element;
    return nullptr;
}

std::optional<std::vector<std::uint8_t>> IconFamily::iconFamilyData(OSType type) const
{
    const Element* element = find(type);
    if (!element)
        return std::nullopt;
    const ElementInfo* info = elementInfo(type);
    if (!info)
        return element->stored;
    switch (info->layout) {
    case Layout::ARGB32: return decodeARGB32(*info, element->stored);
    case Layout::PNG: return decodePNG(*info, element->stored);
    default:
        if (element->stored.size() != plainSize(*info))
            return std::nullopt;
        return element->stored;
    }
}

StatusCode IconFamily::setIconFamilyData(OSType type, const std::vector<std::uint8_t>& plain)
{
    const ElementInfo* info = elementInfo(type);
    if (type == kIconFamilyType || type == kTableOfContents || (info && plain.size() != plainSize(*info)))
        return -50;
    if (plain.size() > 0x7FFFFFF0u)
        return -50;
    std::vector<std::uint8_t> stored;
    if (info && info->layout == Layout::ARGB32) {
        stored = encodeARGB32(*info, plain);
    } else if (info && info->layout == Layout::PNG) {
        auto png = encodePNG(*info, plain);
        if (!png)
            return -108; // the encoder could not allocate its image
        stored = std::move(*png);
    } else {
        stored = plain;
    }
    elements_.erase(std::remove_if(elements_.begin(), elements_.end(),
                                   [](const Element& element) { return element.type == kTableOfContents; }),
                    elements_.end());
    for (Element& element : elements_) {
        if (element.type == type) {
            element.stored = std::move(stored);
            return 0;
        }
    }
    elements_.push_back({type, std::move(stored)});
    return 0;
}

Ref<BitmapImageRep> IconFamily::bitmapImageRepWithAlphaForIconFamilyElement(OSType type) const
{
    OSType maskType = 0;
    if (type == makeOSType("it32"))
        maskType = makeOSType("t8mk");
    else if (type == makeOSType("ih32"))
        maskType = makeOSType("h8mk");
    else if (type == makeOSType("il32"))
        maskType = makeOSType("l8mk");
    else if (type == makeOSType("is32"))
        maskType = makeOSType("s8mk");
    else if (type != makeOSType("ic09") && type != makeOSType("ic08"))
        return nullptr;
    const ElementInfo* info = elementInfo(type);
    auto pixels = iconFamilyData(type);
    if (!info || !pixels)
        return nullptr;
    if (maskType) {
        const auto mask = iconFamilyData(maskType);
        const std::size_t count = std::size_t(info->size) * std::size_t(info->size);
        for (std::size_t p = 0; p < count; ++p)
            (*pixels)[p * 4] = mask ? std::uint8_t((*pixels)[p * 4] | (*mask)[p]) : 255;
    }
    const std::size_t side = std::size_t(info->size);
    Ref<PlatformImage> image = PlatformImage::create(side, side, 8, 32, side * 4, kImageAlphaFirst,
                                                     PlatformColorSpace::createDeviceRGB(), std::move(*pixels));
    return image ? BitmapImageRep::create(std::move(image)) : nullptr;
}

Ref<MultiImage> IconFamily::imageWithAllReps() const
{
    static const OSType order[] = {makeOSType("ic09"), makeOSType("ic08"), makeOSType("it32"),
                                   makeOSType("ih32"), makeOSType("il32"), makeOSType("is32")};
    Ref<MultiImage> image;
    for (OSType type : order) {
        Ref<BitmapImageRep> rep = bitmapImageRepWithAlphaForIconFamilyElement(type);
        if (!rep)
            continue;
        if (!image)
            image = MultiImage::create(rep->size());
        image->addRepresentation(rep);
    }
    return image;
}

bool IconFamily::setIconFamilyElement(OSType type, const IconBitmapSource& bitmap)
{
    const ElementInfo* info = elementInfo(type);
    static const OSType settable[] = {makeOSType("ic09"), makeOSType("ic08"), makeOSType("it32"), makeOSType("t8mk"),
                                      makeOSType("il32"), makeOSType("icl8"), makeOSType("l8mk"), makeOSType("ICN#"),
                                      makeOSType("is32"), makeOSType("ics8"), makeOSType("s8mk"), makeOSType("ics#")};
    if (!info || std::find(std::begin(settable), std::end(settable), type) == std::end(settable))
        return false;
    std::optional<std::vector<std::uint8_t>> converted;
    switch (info->layout) {
    case Layout::ARGB32:
    case Layout::PNG: converted = get32BitDataFromBitmapImageRep(bitmap, info->size); break;
    case Layout::Index8: converted = get8BitDataFromBitmapImageRep(bitmap, info->size); break;
    case Layout::Mask8: converted = get8BitMaskFromBitmapImageRep(bitmap, info->size); break;
    case Layout::Bits1: converted = get1BitMaskFromBitmapImageRep(bitmap, info->size); break;
    }
    if (!converted) {
        ZovLog("Null data returned to setIconFamilyElement:fromBitmapImageRep:");
        return false;
    }
    if (const StatusCode status = setIconFamilyData(type, *converted); status != 0) {
        ZovLog(vistel::format("SetIconFamilyData() returned error %d", status));
        return false;
    }
    return true;
}

bool IconFamily::setIconFamilyElement(OSType type, const Ref<ImageRep>& bitmap)
{
    if (!bitmap)
        return false;
    const Ref<PlatformImage> image = bitmap->cgImage();
    QImage storage;
    const IconBitmapSource source = IconBitmapSource::fromQImage(image ? image->toQImage() : QImage(), storage);
    return setIconFamilyElement(type, source);
}

bool IconFamily::writeToFile(const std::string& path) const
{
    const std::vector<std::uint8_t> bytes = data();
    if (bytes.empty())
        return false;
    if (const AtomicWriteResult result = writeFileAtomically(path, bytes); !result) {
        ZovLog("IconFamily::writeToFile " + result.cause + " (" + statusText(statusFromErrno(result.error)) + ")");
        return false;
    }
    return true;
}

// Converters -----------------------------------------------------------------------------------

std::optional<std::vector<std::uint8_t>> IconFamily::get32BitDataFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                    int requiredPixelSize)
{
    if (!acceptsSource(bitmap, requiredPixelSize, "get32BitDataFromBitmapImageRep", true))
        return std::nullopt;
    const PixelKind kind = pixelKind(bitmap);
    if (kind != PixelKind::RGB && kind != PixelKind::RGBA) {
        logUnusableLayout("get32BitDataFromBitmapImageRep", bitmap);
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(requiredPixelSize) * std::size_t(requiredPixelSize) * 4);
    for (int y = 0; y < requiredPixelSize; ++y) {
        for (int x = 0; x < requiredPixelSize; ++x) {
            const Pixel p = pixelAt(bitmap, kind, x, y);
            if (kind == PixelKind::RGB) {
                out.insert(out.end(), {255, p.r, p.g, p.b});
            } else if (p.a == 0) {
                out.insert(out.end(), {0, 0, 0, 0});
            } else if (!bitmap.premultiplied) {
                out.insert(out.end(), {p.a, p.r, p.g, p.b});
            } else {
                // Premultiplied components never exceed alpha in a sound bitmap; clamp anyway,
                // since a component above alpha would wrap around.
                const float scale = 255.0f / float(p.a);
                auto unmultiply = [scale](std::uint8_t c) {
                    return std::uint8_t(std::min(255.0f, float(c) * scale));
                };
                out.insert(out.end(), {p.a, unmultiply(p.r), unmultiply(p.g), unmultiply(p.b)});
            }
        }
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> IconFamily::get8BitDataFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                   int requiredPixelSize)
{
    if (!acceptsSource(bitmap, requiredPixelSize, "get8BitDataFromBitmapImageRep", true))
        return std::nullopt;
    const PixelKind kind = pixelKind(bitmap);
    if (kind != PixelKind::RGB && kind != PixelKind::RGBA) {
        logUnusableLayout("get8BitDataFromBitmapImageRep", bitmap);
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(requiredPixelSize) * std::size_t(requiredPixelSize));
    for (int y = 0; y < requiredPixelSize; ++y)
        for (int x = 0; x < requiredPixelSize; ++x) {
            const Pixel p = pixelAt(bitmap, kind, x, y); // alpha is ignored
            out.push_back(paletteIndex(p.r, p.g, p.b));
        }
    return out;
}

std::optional<std::vector<std::uint8_t>> IconFamily::get8BitMaskFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                   int requiredPixelSize)
{
    if (!acceptsSource(bitmap, requiredPixelSize, "get8BitMaskFromBitmapImageRep", true))
        return std::nullopt;
    const PixelKind kind = pixelKind(bitmap);
    if (kind != PixelKind::Gray && kind != PixelKind::RGB && kind != PixelKind::RGBA) {
        logUnusableLayout("get8BitMaskFromBitmapImageRep", bitmap);
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(requiredPixelSize) * std::size_t(requiredPixelSize));
    for (int y = 0; y < requiredPixelSize; ++y)
        for (int x = 0; x < requiredPixelSize; ++x) {
            const Pixel p = pixelAt(bitmap, kind, x, y);
            out.push_back(kind == PixelKind::Gray ? p.r : kind == PixelKind::RGB ? 255 : p.a);
        }
    return out;
}

std::optional<std::vector<std::uint8_t>> IconFamily::get1BitMaskFromBitmapImageRep(const IconBitmapSource& bitmap,
                                                                                   int requiredPixelSize)
{
    if (!acceptsSource(bitmap, requiredPixelSize, "get1BitMaskFromBitmapImageRep", false))
        return std::nullopt;
    const PixelKind kind = pixelKind(bitmap);
    const bool eightBit = bitmap.bitsPerSample == 8;
    if (kind == PixelKind::Other || (kind != PixelKind::Bits && !eightBit)) {
        ZovLog(vistel::format("get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to bitsPerPixel == %d, "
                              "samplesPerPixel== %d, bitsPerSample == %d",
                              bitmap.bitsPerPixel, bitmap.samplesPerPixel, bitmap.bitsPerSample));
        return std::nullopt;
    }
    const std::size_t rowBytes = (std::size_t(requiredPixelSize) + 7) / 8;
    std::vector<std::uint8_t> bits(rowBytes * std::size_t(requiredPixelSize), 0);
    for (int y = 0; y < requiredPixelSize; ++y) {
        std::uint8_t* outRow = bits.data() + std::size_t(y) * rowBytes;
        if (kind == PixelKind::Bits) {
            std::memcpy(outRow, bitmap.data + std::size_t(y) * bitmap.bytesPerRow, rowBytes);
            continue;
        }
        for (int x = 0; x < requiredPixelSize; ++x) {
            bool set = true; // RGB without alpha covers every pixel
            if (kind == PixelKind::Gray)
                set = pixelAt(bitmap, kind, x, y).r != 0;
            else if (kind == PixelKind::RGBA)
                set = pixelAt(bitmap, kind, x, y).a != 0; // the alpha byte, wherever it lies
            if (set)
                outRow[x / 8] |= std::uint8_t(0x80u >> (x % 8));
        }
    }
    std::vector<std::uint8_t> out = bits;
    out.insert(out.end(), bits.begin(), bits.end()); // the image, then the same bits as its mask
    return out;
}

// Resampling and the family from an image ---------------------------------------------------------

QImage IconFamily::resampleImage(const Ref<MultiImage>& image, int width, ImageInterpolation interpolation)
{
    if (!image || width <= 0)
        return {};
    // The best representation for the image's size; a bitmap whose pixel size differs from the
    // image's size is drawn at its pixel size.
    QSizeF size = image->size();
    Ref<ImageRep> rep = image->bestRepresentationForSize(size);
    if (!rep)
        return {};
    const Ref<PlatformImage> pixels = rep->cgImage();
    if (!pixels)
        return {};
    const QImage source = pixels->toQImage();
    if (source.isNull())
        return {};
    size = QSizeF(double(pixels->width()), double(pixels->height()));
    if (size.width() <= 0 || size.height() <= 0)
        return {};
    int newWidth = width;
    int newHeight = width;
    if (size.width() >= size.height())
        newHeight = int(std::floor(size.height() * width / size.width() + 0.5));
    else
        newWidth = int(std::floor(size.width() * width / size.height() + 0.5));
    QImage square(width, width, QImage::Format_ARGB32_Premultiplied);
    if (square.isNull())
        return {};
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, interpolation != ImageInterpolation::None);
    painter.drawImage(QRectF((width - newWidth) * 0.5, (width - newHeight) * 0.5, newWidth, newHeight), source);
    painter.end();
    return square;
}

Ref<IconFamily> IconFamily::iconFamilyWithThumbnailsOfImage(const Ref<MultiImage>& image,
                                                            ImageInterpolation interpolation)
{
    const QImage master = resampleImage(image, 512, interpolation);
    if (master.isNull())
        return nullptr;
    Ref<IconFamily> family = iconFamily();
    QImage storage;
    if (!family->setIconFamilyElement(makeOSType("ic09"), IconBitmapSource::fromQImage(master, storage)))
        return nullptr;
    Ref<MultiImage> masterImage = MultiImage::createWithPlatformImage(PlatformImage::fromQImage(master));
    struct Step {
        int size;
        std::vector<OSType> elements;
    };
    const Step steps[] = {
        {256, {makeOSType("ic08")}},
        {128, {makeOSType("it32"), makeOSType("t8mk")}},
        {32, {makeOSType("il32"), makeOSType("icl8"), makeOSType("l8mk"), makeOSType("ICN#")}},
        {16, {makeOSType("is32"), makeOSType("ics8"), makeOSType("s8mk"), makeOSType("ics#")}},
    };
    for (const Step& step : steps) {
        const QImage resampled = resampleImage(masterImage, step.size, interpolation);
        if (resampled.isNull())
            continue;
        const IconBitmapSource bitmap = IconBitmapSource::fromQImage(resampled, storage);
        for (OSType type : step.elements)
            family->setIconFamilyElement(type, bitmap);
    }
    return family;
}

} // namespace vistel
