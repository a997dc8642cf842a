#include "ImageCodec.h"

#include <algorithm>
#include <cmath>

#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyMapping.h"

namespace vistel::codec {

Value ImageDecoder::imageProperties() const
{
    return Value::dictionary({ { kImagePropertyFileSize, static_cast<unsigned long long>(data_.size) } });
}

std::unique_ptr<ImageDecoder> ImageCodec::open(EncodedData data, std::string* failure) const
{
    std::string why;
    std::unique_ptr<ImageDecoder> decoder = openData(std::move(data), why);
    if (failure)
        *failure = decoder ? std::string() : std::move(why);
    return decoder;
}

std::string tooLargeFailure(std::uint64_t width, std::uint64_t height)
{
    if (width == 0 || height == 0)
        return "empty picture: " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return "too large: " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string truncatedFailure(std::size_t byteCount) { return "truncated at byte " + std::to_string(byteCount); }

std::string unsupportedCompressionFailure(std::string_view what)
{
    return "unsupported compression: " + std::string(what);
}

namespace {
std::atomic<std::uint64_t> gMaxImagePixels { 1ull << 28 };
}

std::uint64_t maxImagePixels() noexcept { return gMaxImagePixels.load(std::memory_order_relaxed); }
void setMaxImagePixels(std::uint64_t pixels) noexcept { gMaxImagePixels.store(pixels, std::memory_order_relaxed); }

bool acceptableSize(std::uint64_t width, std::uint64_t height) noexcept
{
    return width > 0 && height > 0 && width <= 0xFFFFFF && height <= 0xFFFFFF && width * height <= maxImagePixels();
}

void fittedSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxPixelSize, std::uint32_t& outWidth,
    std::uint32_t& outHeight) noexcept
{
    outWidth = width;
    outHeight = height;
    const std::uint32_t longest = std::max(width, height);
    if (maxPixelSize == 0 || longest <= maxPixelSize)
        return;
    const double scale = double(maxPixelSize) / double(longest);
    outWidth = std::max<std::uint32_t>(1, std::uint32_t(std::lround(width * scale)));
    outHeight = std::max<std::uint32_t>(1, std::uint32_t(std::lround(height * scale)));
    outWidth = std::min(outWidth, maxPixelSize);
    outHeight = std::min(outHeight, maxPixelSize);
}

namespace {

// The picture averaged down (box filter) to dw x dh; unchanged when it has that size already or
// a layout the filter does not know.
Ref<PlatformImage> reducedTo(const Ref<PlatformImage>& image, std::uint32_t dw, std::uint32_t dh)
{
    const std::size_t sw = image->width(), sh = image->height();
    const std::size_t bpc = image->bitsPerComponent();
    if ((dw == sw && dh == sh) || dw == 0 || dh == 0 || (bpc != 8 && bpc != 16))
        return image;
    const std::size_t components = image->bitsPerPixel() / bpc;
    const std::uint32_t info = image->bitmapInfo();
    const bool little16 = (info & kImageBitmapByteOrderMask) == kImageBitmapByteOrder16Little;
    const std::size_t bytesPerComponent = bpc / 8;

    // Box filter: each destination pixel averages the source block that maps onto it. Rows
    // are summed into one accumulator row, then divided once per destination row.
    std::vector<std::size_t> x0(dw + 1);
    for (std::size_t x = 0; x <= dw; ++x)
        x0[x] = x * sw / dw;
    const std::size_t outRow = std::size_t(dw) * components;
    std::vector<std::uint8_t> out(outRow * dh);
    std::vector<std::uint64_t> acc(outRow); // a block may hold more than 2^32 / 255 pixels
    std::size_t sy = 0;
    for (std::size_t y = 0; y < dh; ++y) {
        const std::size_t yEnd = std::max(sy + 1, (y + 1) * sh / dh);
        std::fill(acc.begin(), acc.end(), 0);
        std::size_t rowCount = 0;
        for (; sy < yEnd && sy < sh; ++sy, ++rowCount) {
            const std::uint8_t* row = image->rowAddress(sy);
            for (std::size_t x = 0; x < dw; ++x) {
                const std::size_t xEnd = std::max(x0[x] + 1, x0[x + 1]);
                std::uint64_t* a = &acc[x * components];
                for (std::size_t sx = x0[x]; sx < xEnd && sx < sw; ++sx) {
                    const std::uint8_t* p = row + sx * components * bytesPerComponent;
                    if (bytesPerComponent == 1) {
                        for (std::size_t c = 0; c < components; ++c)
                            a[c] += p[c];
                    } else {
                        for (std::size_t c = 0; c < components; ++c)
                            a[c] += little16 ? p[2 * c + 1] : p[2 * c]; // the high byte
                    }
                }
            }
        }
        rowCount = std::max<std::size_t>(1, rowCount);
        std::uint8_t* o = out.data() + y * outRow;
        for (std::size_t x = 0; x < dw; ++x) {
            const std::size_t cols = std::max<std::size_t>(1, std::min(std::max(x0[x] + 1, x0[x + 1]), sw) - x0[x]);
            const std::uint64_t n = cols * rowCount;
            for (std::size_t c = 0; c < components; ++c)
                o[x * components + c] = std::uint8_t((acc[x * components + c] + n / 2) / n);
        }
    }
    std::uint32_t outInfo = info & kImageBitmapAlphaInfoMask;
    if (bpc == 8)
        outInfo |= info & kImageBitmapByteOrderMask;
    return PlatformImage::create(dw, dh, 8, 8 * components, outRow, outInfo, image->colorSpace(), std::move(out));
}

} // namespace

Ref<PlatformImage> fitWithin(const Ref<PlatformImage>& image, std::uint32_t maxPixelSize)
{
    return image ? fitWithin(image, maxPixelSize, std::uint32_t(image->width()), std::uint32_t(image->height())) : image;
}

Ref<PlatformImage> fitWithin(const Ref<PlatformImage>& image, std::uint32_t maxPixelSize, std::uint32_t fullWidth,
    std::uint32_t fullHeight)
{
    if (!image)
        return image;
    std::uint32_t dw = 0, dh = 0;
    fittedSize(fullWidth, fullHeight, maxPixelSize, dw, dh);
    // Never enlarged: a reduced decode smaller than the fitted size (a decoder whose output is
    // not the shape it reported) is fitted by its own shape.
    if (dw > image->width() || dh > image->height())
        return fitWithin(image, maxPixelSize);
    return reducedTo(image, dw, dh);
}

Ref<PlatformColorSpace> colorSpaceFor(PlatformColorSpace::Model model, const std::vector<std::uint8_t>& icc)
{
    if (!icc.empty()) {
        if (auto space = PlatformColorSpace::createWithICCProfile(icc); space && space->model() == model)
            return space;
    }
    switch (model) {
    case PlatformColorSpace::Model::Monochrome:
        return PlatformColorSpace::createDeviceGray();
    case PlatformColorSpace::Model::CMYK:
        return PlatformColorSpace::createDeviceCMYK();
    case PlatformColorSpace::Model::Lab:
        return PlatformColorSpace::createLab();
    case PlatformColorSpace::Model::RGB:
        break;
    }
    return PlatformColorSpace::createDeviceRGB();
}

Value basicPageProperties(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
    const Ref<PlatformColorSpace>& space, bool hasAlpha, double dpiWidth, double dpiHeight)
{
    Value props = Value::dictionary({
        { kImagePropertyPixelWidth, width },
        { kImagePropertyPixelHeight, height },
        { kImagePropertyDepth, depth },
        { kImagePropertyHasAlpha, hasAlpha },
    });
    if (space) {
        props.set(kImagePropertyColorModel, space->colorModelName());
        if (!space->profileName().empty())
            props.set(kImagePropertyProfileName, space->profileName());
    }
    if (dpiWidth > 0 && dpiHeight > 0) {
        props.set(kImagePropertyDPIWidth, dpiWidth);
        props.set(kImagePropertyDPIHeight, dpiHeight);
    }
    return props;
}

void mergeExiv2Properties(Value& properties, const std::uint8_t* bytes, std::size_t size)
{
    const Value found = ImagePropertyMapping::readImageProperties(bytes, size);
    for (const auto& [key, value] : found.asDictionary()) {
        // The codec's own measurements (pixel sizes, depth) win over what the tags claim.
        if (!properties.contains(key) || value.isDictionary())
            properties.set(key, value);
    }
}

void resolutionFromTIFF(PageDescription& d)
{
    if (d.dpiWidth > 0)
        return;
    const Value& tiff = d.properties[kImagePropertyTIFFDictionary];
    const double x = tiff[kImagePropertyTIFFXResolution].toDouble();
    const double y = tiff[kImagePropertyTIFFYResolution].toDouble(x);
    const std::int64_t unit = tiff[kImagePropertyTIFFResolutionUnit].toInt64(2);
    if (x <= 0 || y <= 0 || (unit != 2 && unit != 3))
        return;
    const double perInch = unit == 3 ? 2.54 : 1.0;
    d.dpiWidth = x * perInch;
    d.dpiHeight = y * perInch;
    d.properties.set(kImagePropertyDPIWidth, d.dpiWidth);
    d.properties.set(kImagePropertyDPIHeight, d.dpiHeight);
}

} // namespace vistel::codec
