#include "Platform/Imaging/PlatformImage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

#include <QColorSpace>
#include <QtEndian>

#include "Platform/Imaging/ColorManagement.h"

namespace vistel {

namespace {

constexpr std::uint32_t kNative32 =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? kImageBitmapByteOrder32Little : kImageBitmapByteOrder32Big;
constexpr std::uint32_t kNative16 =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? kImageBitmapByteOrder16Little : kImageBitmapByteOrder16Big;

bool alphaIsFirst(ImageAlphaInfo info)
{
    return info == kImageAlphaPremultipliedFirst || info == kImageAlphaFirst || info == kImageAlphaNoneSkipFirst;
}

bool alphaIsPremultiplied(ImageAlphaInfo info)
{
    return info == kImageAlphaPremultipliedFirst || info == kImageAlphaPremultipliedLast;
}

bool multiplyChecked(std::size_t a, std::size_t b, std::size_t& result)
{
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a)
        return false;
    result = a * b;
    return true;
}

// Reads one row of any supported layout into 16-bit samples: the colour components, then the
// alpha (65535 for opaque layouts), unpremultiplied.
class RowReader {
public:
    explicit RowReader(const PlatformImage& image)
        : image_(image)
        , colors_(image.colorSpace()->numberOfComponents())
        , alpha_(image.alphaInfo())
        , components_(colors_ + (alpha_ != kImageAlphaNone ? 1 : 0))
        , order_(image.bitmapInfo() & kImageBitmapByteOrderMask)
    {
    }

    std::size_t colors() const { return colors_; }

    void read(std::size_t y, std::uint16_t* out) const
    {
        const std::uint8_t* row = image_.rowAddress(y);
        const bool realAlpha = image_.hasAlpha();
        const bool first = alphaIsFirst(alpha_) && components_ > colors_;
        const bool premultiplied = alphaIsPremultiplied(alpha_);
        const bool reversed32 = image_.bitsPerComponent() == 8 && order_ == kImageBitmapByteOrder32Little;
        const bool little16 = order_ == kImageBitmapByteOrder16Little;
        std::uint16_t raw[5];
        for (std::size_t x = 0; x < image_.width(); ++x) {
            if (image_.bitsPerComponent() == 8) {
                const std::uint8_t* p = row + x * components_;
                for (std::size_t i = 0; i < components_; ++i)
                    raw[i] = std::uint16_t((reversed32 ? p[components_ - 1 - i] : p[i]) * 257);
            } else {
                const std::uint8_t* p = row + x * components_ * 2;
                for (std::size_t i = 0; i < components_; ++i)
                    raw[i] = little16 ? std::uint16_t(p[2 * i] | (p[2 * i + 1] << 8))
                                      : std::uint16_t((p[2 * i] << 8) | p[2 * i + 1]);
            }
            const std::uint16_t a = realAlpha ? raw[first ? 0 : components_ - 1] : 65535;
            const std::size_t start = first ? 1 : 0;
            for (std::size_t c = 0; c < colors_; ++c) {
                std::uint32_t v = raw[start + c];
                if (premultiplied)
                    v = a == 0 ? 0 : std::min<std::uint32_t>(65535, (v * 65535u + a / 2) / a);
                *out++ = std::uint16_t(v);
            }
            *out++ = a;
        }
    }

private:
    const PlatformImage& image_;
    std::size_t colors_;
    ImageAlphaInfo alpha_;
    std::size_t components_;
    std::uint32_t order_;
};

std::uint8_t to8(std::uint16_t v)
{
    return std::uint8_t((v + 128u) / 257u);
}

cmsUInt32Number lcmsInputFormat(PlatformColorSpace::Model model)
{
    switch (model) {
    case PlatformColorSpace::Model::Monochrome: return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(2) | EXTRA_SH(1);
    case PlatformColorSpace::Model::CMYK: return COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | BYTES_SH(2) | EXTRA_SH(1);
    case PlatformColorSpace::Model::Lab: return COLORSPACE_SH(PT_Lab) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
    case PlatformColorSpace::Model::RGB: break;
    }
    return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
}

struct QtLayout {
    QImage::Format format;
    std::size_t bitsPerComponent;
    std::size_t bitsPerPixel;
    std::uint32_t bitmapInfo;
    bool grey;
};

constexpr QtLayout kQtLayouts[] = {
    {QImage::Format_Grayscale8, 8, 8, kImageAlphaNone, true},
    {QImage::Format_Grayscale16, 16, 16, kImageAlphaNone | kNative16, true},
    {QImage::Format_RGB888, 8, 24, kImageAlphaNone, false},
    {QImage::Format_RGBX8888, 8, 32, kImageAlphaNoneSkipLast, false},
    {QImage::Format_RGBA8888, 8, 32, kImageAlphaLast, false},
    {QImage::Format_RGBA8888_Premultiplied, 8, 32, kImageAlphaPremultipliedLast, false},
    {QImage::Format_RGB32, 8, 32, kImageAlphaNoneSkipFirst | kNative32, false},
    {QImage::Format_ARGB32, 8, 32, kImageAlphaFirst | kNative32, false},
    {QImage::Format_ARGB32_Premultiplied, 8, 32, kImageAlphaPremultipliedFirst | kNative32, false},
    {QImage::Format_RGBX64, 16, 64, kImageAlphaNoneSkipLast | kNative16, false},
    {QImage::Format_RGBA64, 16, 64, kImageAlphaLast | kNative16, false},
    {QImage::Format_RGBA64_Premultiplied, 16, 64, kImageAlphaPremultipliedLast | kNative16, false},
};

// The byte order that a layout means, with the defaults spelled out, so that equivalent
// descriptions compare equal (8-bit: default = 32Big; 16-bit: default = 16Big).
std::uint32_t normalisedInfo(std::size_t bitsPerComponent, std::size_t bitsPerPixel, std::uint32_t info)
{
    std::uint32_t order = info & kImageBitmapByteOrderMask;
    if (bitsPerComponent == 8 && (order == kImageBitmapByteOrder32Big || bitsPerPixel != 32))
        order = kImageBitmapByteOrderDefault;
    if (bitsPerComponent == 16 && order == kImageBitmapByteOrder16Big)
        order = kImageBitmapByteOrderDefault;
    return (info & kImageBitmapAlphaInfoMask) | order;
}

// QImage's RGB32 and RGBX formats require the padding byte to be 255; pictures whose padding
// holds anything else must be converted, or Qt would blend them as translucent.
bool paddingIsOpaque(const PlatformImage& image)
{
    const auto info = image.alphaInfo();
    if (info != kImageAlphaNoneSkipFirst && info != kImageAlphaNoneSkipLast)
        return true;
    const std::size_t step = image.bitsPerPixel() / 8;
    const std::size_t sampleBytes = image.bitsPerComponent() / 8;
    const bool reversed = image.bitsPerComponent() == 8 && (image.bitmapInfo() & kImageBitmapByteOrderMask) == kImageBitmapByteOrder32Little;
    const bool first = (info == kImageAlphaNoneSkipFirst) != reversed;
    const std::size_t offset = first ? 0 : step - sampleBytes;
    for (std::size_t y = 0; y < image.height(); ++y) {
        const std::uint8_t* row = image.rowAddress(y) + offset;
        for (std::size_t x = 0; x < image.width(); ++x)
            for (std::size_t b = 0; b < sampleBytes; ++b)
                if (row[x * step + b] != 0xFF)
                    return false;
    }
    return true;
}

void releaseRetainedImage(void* image)
{
    static_cast<const PlatformImage*>(image)->release();
}

} // namespace

bool PlatformImage::hasAlpha() const noexcept
{
    const ImageAlphaInfo info = alphaInfo();
    return info != kImageAlphaNone && info != kImageAlphaNoneSkipFirst && info != kImageAlphaNoneSkipLast;
}

Ref<PlatformImage> PlatformImage::createWithBuffer(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
    std::size_t bitsPerPixel, std::size_t bytesPerRow, std::uint32_t bitmapInfo, Ref<PlatformColorSpace> colorSpace,
    std::shared_ptr<const void> owner, const std::uint8_t* bytes, std::size_t size)
{
    if (!colorSpace || !bytes || width == 0 || height == 0)
        return nullptr;
    if (bitsPerComponent != 8 && bitsPerComponent != 16)
        return nullptr;
    if (bitmapInfo & ~(kImageBitmapAlphaInfoMask | kImageBitmapByteOrderMask))
        return nullptr; // float components and unknown flags
    const auto alpha = ImageAlphaInfo(bitmapInfo & kImageBitmapAlphaInfoMask);
    if (alpha > kImageAlphaNoneSkipFirst)
        return nullptr; // alpha-only masks are not pictures
    const std::size_t components = colorSpace->numberOfComponents() + (alpha != kImageAlphaNone ? 1 : 0);
    if (bitsPerPixel != bitsPerComponent * components)
        return nullptr;
    const std::uint32_t order = bitmapInfo & kImageBitmapByteOrderMask;
    if (order > kImageBitmapByteOrder32Big)
        return nullptr;
    if (bitsPerComponent == 8 && (order == kImageBitmapByteOrder16Little || order == kImageBitmapByteOrder16Big))
        return nullptr;
    if (bitsPerComponent == 8 && order == kImageBitmapByteOrder32Little && bitsPerPixel != 32)
        return nullptr;
    if (bitsPerComponent == 16 && (order == kImageBitmapByteOrder32Little || order == kImageBitmapByteOrder32Big))
        return nullptr;
    std::size_t rowBits = 0, total = 0;
    if (!multiplyChecked(width, bitsPerPixel, rowBits) || bytesPerRow < rowBits / 8)
        return nullptr;
    if (!multiplyChecked(bytesPerRow, height, total) || size < total)
        return nullptr;

    Ref<PlatformImage> image = Ref<PlatformImage>::adopt(new PlatformImage());
    image->width_ = width;
    image->height_ = height;
    image->bitsPerComponent_ = bitsPerComponent;
    image->bitsPerPixel_ = bitsPerPixel;
    image->bytesPerRow_ = bytesPerRow;
    image->bitmapInfo_ = bitmapInfo;
    image->colorSpace_ = std::move(colorSpace);
    image->owner_ = std::move(owner);
    image->bytes_ = bytes;
    return image;
}

Ref<PlatformImage> PlatformImage::create(std::size_t width, std::size_t height, std::size_t bitsPerComponent,
    std::size_t bitsPerPixel, std::size_t bytesPerRow, std::uint32_t bitmapInfo, Ref<PlatformColorSpace> colorSpace,
    std::vector<std::uint8_t> pixels)
{
    auto buffer = std::make_shared<const std::vector<std::uint8_t>>(std::move(pixels));
    const std::uint8_t* bytes = buffer->data();
    const std::size_t size = buffer->size();
    return createWithBuffer(width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, bitmapInfo,
        std::move(colorSpace), std::move(buffer), bytes, size);
}

Ref<PlatformImage> PlatformImage::fromQImage(const QImage& source)
{
    if (source.isNull())
        return nullptr;
    QImage image = source;
    const QtLayout* layout = nullptr;
    for (const auto& candidate : kQtLayouts)
        if (candidate.format == image.format())
            layout = &candidate;
    if (!layout) {
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (const auto& candidate : kQtLayouts)
            if (candidate.format == image.format())
                layout = &candidate;
    }
    Ref<PlatformColorSpace> space;
    const QColorSpace qtSpace = image.colorSpace();
    if (qtSpace.isValid() && qtSpace != QColorSpace(QColorSpace::SRgb)) {
        const QByteArray icc = qtSpace.iccProfile();
        space = PlatformColorSpace::createWithICCProfile(std::vector<std::uint8_t>(icc.begin(), icc.end()));
        const auto wanted = layout->grey ? PlatformColorSpace::Model::Monochrome : PlatformColorSpace::Model::RGB;
        if (space && space->model() != wanted)
            space = nullptr;
    }
    if (!space)
        space = layout->grey ? PlatformColorSpace::createDeviceGray() : PlatformColorSpace::createDeviceRGB();
    auto owner = std::make_shared<const QImage>(image);
    const std::uint8_t* bytes = owner->constBits();
    return createWithBuffer(std::size_t(owner->width()), std::size_t(owner->height()), layout->bitsPerComponent,
        layout->bitsPerPixel, std::size_t(owner->bytesPerLine()), layout->bitmapInfo, std::move(space), owner, bytes,
        std::size_t(owner->sizeInBytes()));
}

Bitmap8 PlatformImage::bitmap8(bool keepColorSpace) const
{
    Bitmap8 result;
    result.width = width_;
    result.height = height_;
    const auto model = colorSpace_->model();
    const bool tagged = colorSpace_->hasICCProfile();
    const bool alpha = hasAlpha();
    const bool grey = model == PlatformColorSpace::Model::Monochrome;
    // Pixels that can be written as they are: untagged grey and RGB, and, when the colour space
    // is kept, tagged ones whose profile can travel with them (grey with alpha cannot: its
    // pixels would become RGB under a grey profile).
    const bool passThrough = (model == PlatformColorSpace::Model::RGB && (!tagged || keepColorSpace))
        || (grey && (!tagged || (keepColorSpace && !alpha)));
    result.channels = alpha ? 4 : (grey && passThrough ? 1 : 3);
    if (passThrough && tagged)
        result.iccProfile = colorSpace_->iccProfile();

    std::size_t count = 0, total = 0;
    if (!multiplyChecked(width_, height_, count) || !multiplyChecked(count, std::size_t(result.channels), total))
        return {};
    result.pixels.resize(total);

    colormanagement::TransformHandle transform;
    if (!passThrough) {
        auto source = colormanagement::openProfile(*colorSpace_);
        auto srgb = colormanagement::openSRGBProfile();
        if (source && srgb)
            transform.reset(cmsCreateTransform(source.get(), lcmsInputFormat(model), srgb.get(), TYPE_RGBA_8,
                INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA));
        if (!transform)
            return {};
    }

    RowReader reader(*this);
    const std::size_t stride = reader.colors() + 1;
    std::vector<std::uint16_t> samples(width_ * stride);
    std::vector<std::uint8_t> rgba(transform ? width_ * 4 : 0);
    for (std::size_t y = 0; y < height_; ++y) {
        reader.read(y, samples.data());
        std::uint8_t* out = result.pixels.data() + y * width_ * std::size_t(result.channels);
        if (transform) {
            cmsDoTransform(transform.get(), samples.data(), rgba.data(), cmsUInt32Number(width_));
            for (std::size_t x = 0; x < width_; ++x) {
                for (int c = 0; c < result.channels; ++c)
                    out[c] = rgba[x * 4 + std::size_t(c)];
                out += result.channels;
            }
            continue;
        }
        for (std::size_t x = 0; x < width_; ++x) {
            const std::uint16_t* s = samples.data() + x * stride;
            if (grey) {
                const std::uint8_t v = to8(s[0]);
                if (result.channels == 1) {
                    out[0] = v;
                } else {
                    out[0] = out[1] = out[2] = v;
                    out[3] = to8(s[1]);
                }
            } else {
                out[0] = to8(s[0]);
                out[1] = to8(s[1]);
                out[2] = to8(s[2]);
                if (result.channels == 4)
                    out[3] = to8(s[3]);
            }
            out += result.channels;
        }
    }
    return result;
}

QImage PlatformImage::toQImage() const
{
    if (width_ > std::size_t(INT_MAX) || height_ > std::size_t(INT_MAX))
        return {};
    const auto model = colorSpace_->model();
    if (!colorSpace_->hasICCProfile()
        && (model == PlatformColorSpace::Model::RGB || model == PlatformColorSpace::Model::Monochrome)
        && paddingIsOpaque(*this)) {
        const std::uint32_t info = normalisedInfo(bitsPerComponent_, bitsPerPixel_, bitmapInfo_);
        for (const auto& layout : kQtLayouts) {
            if (layout.grey != (model == PlatformColorSpace::Model::Monochrome)
                || layout.bitsPerComponent != bitsPerComponent_ || layout.bitsPerPixel != bitsPerPixel_
                || normalisedInfo(layout.bitsPerComponent, layout.bitsPerPixel, layout.bitmapInfo) != info)
                continue;
            retain(); // released by the QImage's cleanup function
            QImage image(bytes_, int(width_), int(height_), qsizetype(bytesPerRow_), layout.format,
                releaseRetainedImage, const_cast<PlatformImage*>(this));
            image.setColorSpace(QColorSpace(QColorSpace::SRgb));
            return image;
        }
    }
    const Bitmap8 bitmap = bitmap8(false);
    if (bitmap.pixels.empty())
        return {};
    const QImage::Format format = bitmap.channels == 1 ? QImage::Format_Grayscale8
        : bitmap.channels == 3                         ? QImage::Format_RGB888
                                                       : QImage::Format_RGBA8888;
    QImage image(int(width_), int(height_), format);
    if (image.isNull())
        return {};
    const std::size_t rowBytes = width_ * std::size_t(bitmap.channels);
    for (std::size_t y = 0; y < height_; ++y)
        std::memcpy(image.scanLine(int(y)), bitmap.pixels.data() + y * rowBytes, rowBytes);
    image.setColorSpace(QColorSpace(QColorSpace::SRgb));
    return image;
}

} // namespace vistel
