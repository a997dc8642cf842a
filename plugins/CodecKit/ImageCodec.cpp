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

RowReducer::RowReducer(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint32_t width,
    std::uint32_t height, std::size_t components)
    : sourceWidth_(sourceWidth), sourceHeight_(sourceHeight), width_(width), height_(height), components_(components),
      columnStart_(width), columnEnd_(width), sums_(std::size_t(width) * components), out_(std::size_t(width) * components * height)
{
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint64_t begin = std::uint64_t(x) * sourceWidth / width;
        const std::uint64_t end = std::max(begin + 1, std::uint64_t(x + 1) * sourceWidth / width);
        columnStart_[x] = std::uint32_t(std::min<std::uint64_t>(begin, sourceWidth));
        columnEnd_[x] = std::uint32_t(std::min<std::uint64_t>(end, sourceWidth));
    }
    if (height_ > 0)
        rowEnd_ = std::uint32_t(std::max<std::uint64_t>(1, std::uint64_t(sourceHeight) / height));
}

namespace {

template <std::size_t C>
void addColumns(const std::uint8_t* row, const std::uint32_t* start, const std::uint32_t* end, std::uint32_t width,
    std::uint64_t* sums)
{
    for (std::uint32_t x = 0; x < width; ++x, sums += C) {
        const std::uint8_t* p = row + std::size_t(start[x]) * C;
        const std::uint8_t* last = row + std::size_t(end[x]) * C;
        for (; p < last; p += C)
            for (std::size_t c = 0; c < C; ++c)
                sums[c] += p[c];
    }
}

} // namespace

void RowReducer::addRow(const std::uint8_t* row)
{
    if (rowsIn_ >= sourceHeight_ || rowsOut_ >= height_)
        return;
    const std::uint32_t* start = columnStart_.data();
    const std::uint32_t* end = columnEnd_.data();
    switch (components_) {
    case 1: addColumns<1>(row, start, end, width_, sums_.data()); break;
    case 3: addColumns<3>(row, start, end, width_, sums_.data()); break;
    case 4: addColumns<4>(row, start, end, width_, sums_.data()); break;
    default:
        for (std::uint32_t x = 0; x < width_; ++x)
            for (std::uint32_t sx = start[x]; sx < end[x]; ++sx)
                for (std::size_t c = 0; c < components_; ++c)
                    sums_[x * components_ + c] += row[sx * components_ + c];
        break;
    }
    ++rowsIn_;
    ++rowsSummed_;
    if (rowsIn_ >= rowEnd_ || rowsIn_ == sourceHeight_)
        emitRow();
}

std::uint8_t RowReducer::divided(std::uint64_t sum, std::uint64_t count) const noexcept
{
    const std::uint64_t rounded = sum + count / 2;
    if (count < reciprocals_.size()) // below 2^16 pixels: rounded * reciprocal stays below 2^64
        return std::uint8_t((rounded * reciprocals_[count]) >> 48);
    return std::uint8_t(rounded / count);
}

void RowReducer::emitRow()
{
    const std::uint64_t rows = std::max<std::uint32_t>(1, rowsSummed_);
    if (reciprocals_.empty()) {
        // floor(v * (2^48 / n + 1) / 2^48) is floor(v / n) for every v below 256 n when 256 n^2 < 2^48.
        std::uint64_t largest = 1;
        for (std::uint32_t x = 0; x < width_; ++x)
            largest = std::max<std::uint64_t>(largest, columnEnd_[x] - columnStart_[x]);
        largest *= std::max<std::uint64_t>(rows, std::uint64_t(sourceHeight_) / std::max<std::uint32_t>(1, height_) + 1);
        reciprocals_.resize(std::min(largest, kExactReciprocals - 1) + 1);
        for (std::uint64_t n = 1; n < reciprocals_.size(); ++n)
            reciprocals_[n] = (std::uint64_t(1) << 48) / n + 1;
    }
    std::uint8_t* o = out_.data() + std::size_t(rowsOut_) * rowBytes();
    for (std::uint32_t x = 0; x < width_; ++x) {
        const std::uint64_t count = std::max<std::uint64_t>(1, columnEnd_[x] - columnStart_[x]) * rows;
        const std::uint64_t* sum = &sums_[std::size_t(x) * components_];
        for (std::size_t c = 0; c < components_; ++c)
            o[x * components_ + c] = divided(sum[c], count);
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    rowsSummed_ = 0;
    ++rowsOut_;
    // The next destination row ends where the rule (y + 1) * sh / dh says, at least one row on.
    rowEnd_ = std::uint32_t(std::max<std::uint64_t>(std::uint64_t(rowsIn_) + 1,
        std::uint64_t(rowsOut_ + 1) * sourceHeight_ / std::max<std::uint32_t>(1, height_)));
}

std::vector<std::uint8_t> RowReducer::finish()
{
    // Destination rows no source row reached stay 0, as sums of nothing.
    return std::move(out_);
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
    RowReducer reducer(std::uint32_t(sw), std::uint32_t(sh), dw, dh, components);
    std::vector<std::uint8_t> highBytes(bpc == 16 ? sw * components : 0);
    for (std::size_t y = 0; y < sh; ++y) {
        const std::uint8_t* row = image->rowAddress(y);
        if (bpc == 16) {
            for (std::size_t i = 0; i < highBytes.size(); ++i)
                highBytes[i] = little16 ? row[2 * i + 1] : row[2 * i];
            row = highBytes.data();
        }
        reducer.addRow(row);
    }
    std::uint32_t outInfo = info & kImageBitmapAlphaInfoMask;
    if (bpc == 8)
        outInfo |= info & kImageBitmapByteOrderMask;
    return PlatformImage::create(dw, dh, 8, 8 * components, reducer.rowBytes(), outInfo, image->colorSpace(), reducer.finish());
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
    fittedSizeOfReduction(std::uint32_t(image->width()), std::uint32_t(image->height()), maxPixelSize, fullWidth,
        fullHeight, dw, dh);
    return reducedTo(image, dw, dh);
}

void fittedSizeOfReduction(std::uint32_t width, std::uint32_t height, std::uint32_t maxPixelSize,
    std::uint32_t fullWidth, std::uint32_t fullHeight, std::uint32_t& outWidth, std::uint32_t& outHeight) noexcept
{
    fittedSize(fullWidth, fullHeight, maxPixelSize, outWidth, outHeight);
    // Never enlarged: a reduced decode smaller than the fitted size (a decoder whose output is
    // not the shape it reported) is fitted by its own shape.
    if (outWidth > width || outHeight > height)
        fittedSize(width, height, maxPixelSize, outWidth, outHeight);
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
