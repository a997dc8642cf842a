#pragma once
// The codec kit: the decoders behind every codec plug-in, as plain C++ classes.
//
// An ImageCodec describes the formats it reads and opens encoded bytes as an ImageDecoder: the
// decode state of one picture, which answers the picture's type, its pages with their sizes and
// properties, and decodes a page in one of the decode modes below. The plug-in glue
// (CodecPlugIn.h) puts these behind the codec contract; tests use them directly.
//
// Every decoder takes untrusted bytes: sizes and offsets are checked before use, and a damaged
// file decodes what it can or fails with an error text, never crashes.
//
// Threads: a codec object is immutable and may be used from any thread; one decoder is used by
// one thread at a time; only the flag behind `DecodeOptions::cancelled` may change from another.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Value.h"

namespace vistel::codec {

// One row of a codec's format list.
struct CodecFormat {
    std::string typeIdentifier;  // "public.jpeg"
    std::string name;            // "JPEG image"
    std::string alternativeName; // "JPEG"
    std::string extensions;      // "jpg,jpeg,jpe" (every extension, comma-separated)
    std::string extension;       // the preferred one; empty for formats not offered as documents
    std::string mimeType;        // "image/jpeg"
};

// The decode modes of a decode request.
enum class DecodeMode : std::int32_t {
    EmbeddedThumbnail = 0, // the picture's own thumbnail when it has one, else a reduced decode
    Full = 1,              // every pixel
    Thumbnail = 4,         // the embedded thumbnail when it is at least the target size, else reduced
    ReducedImage = 6,      // a reduced decode of the main picture, never the embedded thumbnail
};

struct DecodeOptions {
    DecodeMode mode = DecodeMode::Full;
    // Thumbnail modes: the longest side of the result (it is never enlarged). 0: no limit.
    std::uint32_t maxPixelSize = 0;
    // Polled between rows or blocks; answering true ends the decode with a failure. It may
    // read a flag that another thread sets.
    std::function<bool()> cancelled;

    bool isCancelled() const { return cancelled && cancelled(); }
    bool isThumbnail() const noexcept { return mode != DecodeMode::Full; }
};

// The encoded bytes of one picture. `owner` keeps them alive for as long as the decoder lives.
struct EncodedData {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::shared_ptr<const void> owner;
};

struct PageDescription {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bitsPerSample = 8;
    double dpiWidth = 0;  // 0: the file does not say
    double dpiHeight = 0;
    Value properties;     // the page's property dictionary (ImageProperties.h vocabulary)
};

struct DecodeResult {
    Ref<PlatformImage> image; // null on failure
    std::string error;        // why it failed, or why a partial result is incomplete; empty otherwise
    bool partial = false;     // a damaged or truncated file: what could be decoded

    static DecodeResult failure(std::string why) { return DecodeResult { nullptr, std::move(why), false }; }
};

class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    virtual std::string typeIdentifier() const = 0;
    virtual std::size_t pageCount() const { return 1; }
    // nullopt for a page that does not exist or cannot be read.
    virtual std::optional<PageDescription> page(std::size_t index) = 0;
    // Picture-level properties: "FileSize" and what the format keeps for the whole file.
    virtual Value imageProperties() const;
    virtual DecodeResult decode(std::size_t page, const DecodeOptions& options) = 0;

protected:
    explicit ImageDecoder(EncodedData data) : data_(std::move(data)) { }
    EncodedData data_;
};

class ImageCodec {
public:
    virtual ~ImageCodec() = default;
    virtual const std::vector<CodecFormat>& formats() const = 0;
    // A decoder when the bytes are of this codec's format and their header can be read. Null
    // otherwise: `failure` (when given) stays empty for bytes of another format (the host then
    // asks the next codec) and says why for a file of this format that cannot be opened
    // ("truncated at byte 812", "too large: 65535 x 65535 pixels").
    std::unique_ptr<ImageDecoder> open(EncodedData data, std::string* failure = nullptr) const;

protected:
    // The codec's own open: null with `failure` empty for another format, null with `failure`
    // set for a damaged or refused file of this format.
    virtual std::unique_ptr<ImageDecoder> openData(EncodedData data, std::string& failure) const = 0;
};

// The failure texts shared by every codec, so that the log reads the same for every format.
std::string tooLargeFailure(std::uint64_t width, std::uint64_t height);
std::string truncatedFailure(std::size_t byteCount); // "truncated at byte N": the data ends at N
std::string unsupportedCompressionFailure(std::string_view what);

// Pictures larger than maxImagePixels() (2^28 unless changed) are refused: a damaged header
// must not make a decoder ask for gigabytes. Fuzzers lower the limit.
std::uint64_t maxImagePixels() noexcept;
void setMaxImagePixels(std::uint64_t pixels) noexcept;
bool acceptableSize(std::uint64_t width, std::uint64_t height) noexcept;

// An integer stored in a file, little- or big-endian; the caller has checked that its bytes exist.
inline std::uint16_t read16(const std::uint8_t* p, bool little) noexcept
{
    return little ? std::uint16_t(p[0] | p[1] << 8) : std::uint16_t(p[0] << 8 | p[1]);
}
inline std::uint32_t read32(const std::uint8_t* p, bool little) noexcept
{
    return little ? std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24
                  : std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

// The thumbnail rule shared by every codec: the picture scaled down (area average) so that its
// longest side is at most `maxPixelSize`; unchanged when it already fits or `maxPixelSize` is 0.
// Sixteen-bit and float-free layouts of any model are reduced to 8 bits per component.
Ref<PlatformImage> fitWithin(const Ref<PlatformImage>& image, std::uint32_t maxPixelSize);
// The same for a picture decoded already reduced (DCT scaling, half-size RAW) from one of
// fullWidth x fullHeight: the result has the size fittedSize gives for the full picture, so
// its shape is the picture's, not that of the rounded reduction.
Ref<PlatformImage> fitWithin(const Ref<PlatformImage>& image, std::uint32_t maxPixelSize, std::uint32_t fullWidth,
    std::uint32_t fullHeight);

// The size `fitWithin(image, maxPixelSize, fullWidth, fullHeight)` gives an image of
// width x height pixels.
void fittedSizeOfReduction(std::uint32_t width, std::uint32_t height, std::uint32_t maxPixelSize,
    std::uint32_t fullWidth, std::uint32_t fullHeight, std::uint32_t& outWidth, std::uint32_t& outHeight) noexcept;

// The area average (box filter) of fitWithin, fed one row of 8-bit pixels at a time from the
// top, so that a decoder reduces rows as it makes them and never holds the whole picture. Each
// destination pixel averages the source block that maps onto it, rounded to nearest.
class RowReducer {
public:
    RowReducer(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::uint32_t width, std::uint32_t height,
        std::size_t components);
    // The next source row: sourceWidth pixels of `components` bytes. Rows past the source's
    // height are ignored.
    void addRow(const std::uint8_t* row);
    // The reduced pixels, width * components bytes a row; rows no source row reached are 0.
    std::vector<std::uint8_t> finish();
    std::uint32_t width() const noexcept { return width_; }
    std::uint32_t height() const noexcept { return height_; }
    std::size_t rowBytes() const noexcept { return std::size_t(width_) * components_; }

private:
    void emitRow();
    std::uint8_t divided(std::uint64_t sum, std::uint64_t count) const noexcept;

    std::uint32_t sourceWidth_, sourceHeight_, width_, height_;
    std::size_t components_;
    std::vector<std::uint32_t> columnStart_, columnEnd_; // each destination column's source span
    std::vector<std::uint64_t> sums_;                   // the destination row being summed
    std::vector<std::uint8_t> out_;
    std::uint32_t rowsIn_ = 0, rowsOut_ = 0, rowsSummed_ = 0;
    std::uint32_t rowEnd_ = 0; // the source row that ends the destination row being summed
    // Division by multiplication for the block sizes up to kExactReciprocals: the quotient of
    // every sum a block of n pixels can have is exact.
    static constexpr std::uint64_t kExactReciprocals = 1u << 16;
    std::vector<std::uint64_t> reciprocals_;
};

// The size `fitWithin` gives: the longer side becomes `maxPixelSize`, the shorter one is
// rounded to nearest and never 0.
void fittedSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxPixelSize, std::uint32_t& outWidth,
    std::uint32_t& outHeight) noexcept;

// The colour space for decoded pixels of `model`: the embedded ICC profile when it opens and
// describes that model, else the untagged space of the model.
Ref<PlatformColorSpace> colorSpaceFor(PlatformColorSpace::Model model, const std::vector<std::uint8_t>& icc);

// Top-level page properties every codec reports, merged with the metadata exiv2 finds in the
// file ({TIFF}, {Exif}, {GPS}, {IPTC}, Orientation) when `withExiv2` is set.
Value basicPageProperties(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
    const Ref<PlatformColorSpace>& space, bool hasAlpha, double dpiWidth, double dpiHeight);
void mergeExiv2Properties(Value& properties, const std::uint8_t* bytes, std::size_t size);
// Takes the resolution from {TIFF} XResolution/YResolution/ResolutionUnit when the format's
// own header gave none.
void resolutionFromTIFF(PageDescription& page);

} // namespace vistel::codec
