#include "HEIFCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include <libheif/heif.h>

#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;
using Image = std::unique_ptr<heif_image, ImageDeleter>;

void initializeOnce()
{
    static const bool done = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)done;
}

std::string failureText(const heif_error& error)
{
    return error.message && *error.message ? error.message : "HEIF error " + std::to_string(int(error.code));
}

// The EXIF block of a HEIF file: a 4-byte offset, then the TIFF block. Wrapped as a JPEG
// APP1 segment so that exiv2 reads it like any other.
std::vector<std::uint8_t> exifAsJPEG(const std::vector<std::uint8_t>& block)
{
    if (block.size() < 8)
        return {};
    const std::uint32_t skip = std::uint32_t(block[0]) << 24 | std::uint32_t(block[1]) << 16 | std::uint32_t(block[2]) << 8 | block[3];
    if (skip > block.size() - 4)
        return {};
    const std::size_t tiffSize = block.size() - 4 - skip;
    if (tiffSize + 8 > 0xFFFF)
        return {};
    std::vector<std::uint8_t> jpeg { 0xFF, 0xD8, 0xFF, 0xE1 };
    const std::size_t length = tiffSize + 8;
    jpeg.push_back(std::uint8_t(length >> 8));
    jpeg.push_back(std::uint8_t(length));
    jpeg.insert(jpeg.end(), { 'E', 'x', 'i', 'f', 0, 0 });
    jpeg.insert(jpeg.end(), block.begin() + 4 + skip, block.end());
    jpeg.insert(jpeg.end(), { 0xFF, 0xD9 });
    return jpeg;
}

// ---- What the coded pictures of a file will cost, read before libheif decodes anything.
//
// libheif checks the sizes a file declares (its "ispe" properties), but its HEVC decoder
// allocates what the coded stream's sequence parameter set says, which a damaged or hostile
// file sets to anything: a 64 x 49 picture whose tile claims 22000 x 22000 samples takes
// gigabytes. So every HEVC configuration ("hvcC") and AV1 configuration ("av1C") among the
// file's item properties is read here, and a file whose coded pictures are larger than its
// declared pictures justify is refused before any decode.

// Bits of a NAL unit or OBU, most significant first; reading past the end gives zeros and
// sets `overrun`.
class BitReader {
public:
    explicit BitReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) { }
    std::uint32_t bits(unsigned count)
    {
        std::uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            const std::size_t byte = position_ >> 3;
            const unsigned bit = byte < bytes_.size() ? (bytes_[byte] >> (7 - (position_ & 7))) & 1 : 0;
            overrun_ = overrun_ || byte >= bytes_.size();
            value = value << 1 | bit;
            ++position_;
        }
        return value;
    }
    void skip(std::size_t count) { position_ += count; }
    // Exp-Golomb, as HEVC writes sizes.
    std::uint32_t unsignedExpGolomb()
    {
        unsigned zeros = 0;
        while (bits(1) == 0) {
            if (++zeros > 31 || overrun_)
                return 0xFFFFFFFFu;
        }
        return zeros == 0 ? 0 : (1u << zeros) - 1 + bits(zeros);
    }
    bool overrun() const { return overrun_ || (position_ >> 3) > bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool overrun_ = false;
};

struct CodedSize {
    std::uint32_t width = 0, height = 0;
};

// The picture size of an HEVC sequence parameter set (the NAL unit with its 2-byte header).
std::optional<CodedSize> hevcSequenceSize(const std::uint8_t* nal, std::size_t size)
{
    // Drop the emulation-prevention bytes (00 00 03).
    std::vector<std::uint8_t> rbsp;
    rbsp.reserve(size);
    unsigned zeros = 0;
    for (std::size_t i = 2; i < size; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    BitReader r(std::move(rbsp));
    r.bits(4); // sps_video_parameter_set_id
    const unsigned subLayers = r.bits(3); // sps_max_sub_layers_minus1
    r.bits(1);
    r.skip(88); // general profile space, tier, idc, compatibility and constraint flags
    r.bits(8);  // general_level_idc
    bool profilePresent[8] = {}, levelPresent[8] = {};
    for (unsigned i = 0; i < subLayers; ++i) {
        profilePresent[i] = r.bits(1);
        levelPresent[i] = r.bits(1);
    }
    if (subLayers > 0)
        r.skip(2 * (8 - subLayers));
    for (unsigned i = 0; i < subLayers; ++i) {
        if (profilePresent[i])
            r.skip(88);
        if (levelPresent[i])
            r.skip(8);
    }
    r.unsignedExpGolomb(); // sps_seq_parameter_set_id
    if (r.unsignedExpGolomb() == 3) // chroma_format_idc
        r.bits(1);
    const std::uint32_t width = r.unsignedExpGolomb();
    const std::uint32_t height = r.unsignedExpGolomb();
    if (r.overrun())
        return std::nullopt;
    return CodedSize { width, height };
}

// The largest frame an AV1 sequence header OBU (its payload) allows.
std::optional<CodedSize> av1SequenceSize(const std::uint8_t* payload, std::size_t size)
{
    BitReader r(std::vector<std::uint8_t>(payload, payload + size));
    r.bits(3); // seq_profile
    r.bits(1); // still_picture
    if (r.bits(1)) { // reduced_still_picture_header
        r.bits(5);
    } else {
        bool decoderModel = false;
        unsigned delayLength = 0;
        if (r.bits(1)) { // timing_info_present_flag
            r.skip(64);
            if (r.bits(1)) { // equal_picture_interval: uvlc
                unsigned zeros = 0;
                while (!r.bits(1) && zeros < 32 && !r.overrun())
                    ++zeros;
                r.skip(zeros);
            }
            decoderModel = r.bits(1);
            if (decoderModel) {
                delayLength = r.bits(5) + 1;
                r.skip(32 + 5 + 5);
            }
        }
        const bool initialDisplayDelay = r.bits(1);
        const unsigned operatingPoints = r.bits(5) + 1;
        for (unsigned i = 0; i < operatingPoints && !r.overrun(); ++i) {
            r.bits(12);
            if (r.bits(5) > 7)
                r.bits(1);
            if (decoderModel && r.bits(1))
                r.skip(2 * delayLength + 1);
            if (initialDisplayDelay && r.bits(1))
                r.bits(4);
        }
    }
    const unsigned widthBits = r.bits(4) + 1, heightBits = r.bits(4) + 1;
    const std::uint64_t width = std::uint64_t(r.bits(widthBits)) + 1;
    const std::uint64_t height = std::uint64_t(r.bits(heightBits)) + 1;
    if (r.overrun())
        return std::nullopt;
    return CodedSize { std::uint32_t(std::min<std::uint64_t>(width, 0xFFFFFFFFu)), std::uint32_t(std::min<std::uint64_t>(height, 0xFFFFFFFFu)) };
}

struct Box {
    std::uint32_t type = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t size = 0;
};

constexpr std::uint32_t fourcc(const char (&c)[5])
{
    return std::uint32_t(std::uint8_t(c[0])) << 24 | std::uint32_t(std::uint8_t(c[1])) << 16 | std::uint32_t(std::uint8_t(c[2])) << 8 | std::uint8_t(c[3]);
}

// The boxes inside [bytes, bytes + size); stops at the first that does not fit.
std::vector<Box> childBoxes(const std::uint8_t* bytes, std::size_t size)
{
    std::vector<Box> boxes;
    std::size_t at = 0;
    while (size - at >= 8 && boxes.size() < 100000) {
        std::uint64_t length = read32(bytes + at, false);
        std::size_t header = 8;
        if (length == 1) {
            if (size - at < 16)
                break;
            length = std::uint64_t(read32(bytes + at + 8, false)) << 32 | read32(bytes + at + 12, false);
            header = 16;
        } else if (length == 0) {
            length = size - at;
        }
        if (length < header || length > size - at)
            break;
        boxes.push_back(Box { read32(bytes + at + 4, false), bytes + at + header, std::size_t(length - header) });
        at += std::size_t(length);
    }
    return boxes;
}

// The coded picture sizes of every HEVC and AV1 configuration among the item properties, and
// the largest declared size ("ispe") there. False when the properties cannot be walked.
struct CodedPictures {
    std::vector<CodedSize> coded;
    CodedSize largestDeclared;
};

CodedPictures codedPictures(const std::uint8_t* bytes, std::size_t size)
{
    CodedPictures found;
    for (const Box& meta : childBoxes(bytes, size)) {
        if (meta.type != fourcc("meta") || meta.size < 4)
            continue;
        for (const Box& iprp : childBoxes(meta.payload + 4, meta.size - 4)) {
            if (iprp.type != fourcc("iprp"))
                continue;
            for (const Box& ipco : childBoxes(iprp.payload, iprp.size)) {
                if (ipco.type != fourcc("ipco"))
                    continue;
                for (const Box& property : childBoxes(ipco.payload, ipco.size)) {
                    const std::uint8_t* p = property.payload;
                    const std::size_t n = property.size;
                    if (property.type == fourcc("ispe") && n >= 12) {
                        found.largestDeclared.width = std::max(found.largestDeclared.width, read32(p + 4, false));
                        found.largestDeclared.height = std::max(found.largestDeclared.height, read32(p + 8, false));
                    } else if (property.type == fourcc("hvcC") && n >= 23) {
                        // 22 bytes of configuration, then arrays of NAL units by type.
                        std::size_t at = 23;
                        for (unsigned array = 0; array < p[22] && at + 3 <= n; ++array) {
                            const unsigned type = p[at] & 0x3F;
                            const unsigned count = read16(p + at + 1, false);
                            at += 3;
                            for (unsigned i = 0; i < count && at + 2 <= n; ++i) {
                                const std::size_t length = read16(p + at, false);
                                at += 2;
                                if (length > n - at)
                                    break;
                                if (type == 33) { // a sequence parameter set
                                    const auto coded = hevcSequenceSize(p + at, length);
                                    found.coded.push_back(coded ? *coded : CodedSize { 0xFFFFFFFFu, 0xFFFFFFFFu });
                                }
                                at += length;
                            }
                        }
                    } else if (property.type == fourcc("av1C") && n > 4) {
                        // 4 bytes of configuration, then OBUs; the sequence header is type 1.
                        std::size_t at = 4;
                        while (at < n) {
                            const std::uint8_t header = p[at];
                            const unsigned type = (header >> 3) & 0x0F;
                            at += 1 + ((header & 0x04) ? 1 : 0);
                            std::uint64_t length = n - std::min(at, n);
                            if (header & 0x02) { // a LEB128 size follows
                                length = 0;
                                for (unsigned i = 0; i < 8 && at < n; ++i) {
                                    length |= std::uint64_t(p[at] & 0x7F) << (7 * i);
                                    if (!(p[at++] & 0x80))
                                        break;
                                }
                            }
                            if (at > n || length > n - at)
                                break;
                            if (type == 1) {
                                const auto coded = av1SequenceSize(p + at, std::size_t(length));
                                found.coded.push_back(coded ? *coded : CodedSize { 0xFFFFFFFFu, 0xFFFFFFFFu });
                            }
                            at += std::size_t(length);
                        }
                    }
                }
            }
        }
    }
    return found;
}

} // namespace

// A coded picture may exceed the largest declared one by the coding block padding (64 samples
// a side).
std::string heifCodedSizeFailure(const std::uint8_t* bytes, std::size_t size, std::uint32_t primaryWidth,
    std::uint32_t primaryHeight)
{
    const CodedPictures pictures = codedPictures(bytes, size);
    const std::uint64_t allowedWidth = std::max<std::uint64_t>(pictures.largestDeclared.width, primaryWidth) + 64;
    const std::uint64_t allowedHeight = std::max<std::uint64_t>(pictures.largestDeclared.height, primaryHeight) + 64;
    for (const CodedSize& coded : pictures.coded) {
        if (!acceptableSize(coded.width, coded.height) || coded.width > allowedWidth || coded.height > allowedHeight)
            return "too large: a coded picture of " + std::to_string(coded.width) + " x " + std::to_string(coded.height)
                + " pixels in a " + std::to_string(primaryWidth) + " x " + std::to_string(primaryHeight) + " picture";
    }
    return {};
}

namespace {

class HEIFDecoder final : public ImageDecoder {
public:
    HEIFDecoder(EncodedData data, Context context, Handle primary, std::string type)
        : ImageDecoder(std::move(data)), context_(std::move(context)), primary_(std::move(primary)), type_(std::move(type))
    {
        const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(primary_.get());
        if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
            icc_.resize(heif_image_handle_get_raw_color_profile_size(primary_.get()));
            if (icc_.empty() || heif_image_handle_get_raw_color_profile(primary_.get(), icc_.data()).code != heif_error_Ok)
                icc_.clear();
        }
    }

    std::string typeIdentifier() const override { return type_; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        PageDescription d;
        d.width = std::uint32_t(heif_image_handle_get_width(primary_.get()));
        d.height = std::uint32_t(heif_image_handle_get_height(primary_.get()));
        const int bits = heif_image_handle_get_luma_bits_per_pixel(primary_.get());
        d.bitsPerSample = bits > 0 ? std::uint32_t(bits) : 8;
        d.properties = basicPageProperties(d.width, d.height, d.bitsPerSample, colorSpaceFor(PlatformColorSpace::Model::RGB, icc_),
            heif_image_handle_has_alpha_channel(primary_.get()) != 0, 0, 0);
        heif_item_id exif = 0;
        if (heif_image_handle_get_list_of_metadata_block_IDs(primary_.get(), "Exif", &exif, 1) == 1) {
            std::vector<std::uint8_t> block(heif_image_handle_get_metadata_size(primary_.get(), exif));
            if (!block.empty() && heif_image_handle_get_metadata(primary_.get(), exif, block.data()).code == heif_error_Ok) {
                const auto jpeg = exifAsJPEG(block);
                if (!jpeg.empty())
                    mergeExiv2Properties(d.properties, jpeg.data(), jpeg.size());
            }
        }
        // libheif turns the picture upright while decoding; an EXIF orientation must not turn
        // it a second time.
        Value tiff = d.properties[kImagePropertyTIFFDictionary];
        if (tiff.isDictionary()) {
            tiff.set(kImagePropertyTIFFOrientation, 1);
            d.properties.set(kImagePropertyTIFFDictionary, tiff);
        }
        d.properties.set(kImagePropertyOrientation, 1);
        resolutionFromTIFF(d);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        if (options.isCancelled())
            return DecodeResult::failure("cancelled");
        if (options.mode == DecodeMode::EmbeddedThumbnail || options.mode == DecodeMode::Thumbnail) {
            heif_item_id id = 0;
            if (heif_image_handle_get_list_of_thumbnail_IDs(primary_.get(), &id, 1) == 1) {
                heif_image_handle* raw = nullptr;
                const heif_error error = heif_image_handle_get_thumbnail(primary_.get(), id, &raw);
                Handle thumb(raw); // released on every road
                if (error.code == heif_error_Ok && raw) {
                    const int longest = std::max(heif_image_handle_get_width(raw), heif_image_handle_get_height(raw));
                    if (options.mode == DecodeMode::EmbeddedThumbnail || options.maxPixelSize == 0
                        || longest >= int(options.maxPixelSize)) {
                        DecodeResult r = decodeHandle(thumb.get(), options);
                        if (r.image)
                            return r;
                    }
                }
            }
        }
        return decodeHandle(primary_.get(), options);
    }

private:
    DecodeResult decodeHandle(heif_image_handle* handle, const DecodeOptions& options)
    {
        const int w = heif_image_handle_get_width(handle), h = heif_image_handle_get_height(handle);
        if (w <= 0 || h <= 0 || !acceptableSize(std::uint32_t(w), std::uint32_t(h)))
            return DecodeResult::failure(tooLargeFailure(std::uint32_t(std::max(w, 0)), std::uint32_t(std::max(h, 0))));
        const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
        const bool deep = !options.isThumbnail() && heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
        const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_BE : heif_chroma_interleaved_RRGGBB_BE)
                                        : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
        std::unique_ptr<heif_decoding_options, OptionsDeleter> decodeOptions(heif_decoding_options_alloc());
        heif_image* raw = nullptr;
        const heif_error error = heif_decode_image(handle, &raw, heif_colorspace_RGB, chroma, decodeOptions.get());
        Image image(raw); // released on every road, also when libheif answers an error with an image
        if (error.code != heif_error_Ok || !raw)
            return DecodeResult::failure(failureText(error));
        const int outW = heif_image_get_width(raw, heif_channel_interleaved);
        const int outH = heif_image_get_height(raw, heif_channel_interleaved);
        int stride = 0;
        const std::uint8_t* plane = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
        if (!plane || outW <= 0 || outH <= 0 || !acceptableSize(std::uint32_t(outW), std::uint32_t(outH)))
            return DecodeResult::failure("HEIF decoding failed");
        const std::size_t channels = alpha ? 4 : 3;
        const std::size_t bytesPerSample = deep ? 2 : 1;
        const std::size_t rowBytes = std::size_t(outW) * channels * bytesPerSample;
        if (std::size_t(stride) < rowBytes)
            return DecodeResult::failure("HEIF decoding failed");
        std::vector<std::uint8_t> pixels(rowBytes * std::size_t(outH));
        for (int y = 0; y < outH; ++y)
            std::memcpy(pixels.data() + std::size_t(y) * rowBytes, plane + std::size_t(y) * std::size_t(stride), rowBytes);
        if (deep) {
            // Samples of 10 or 12 bits in 16-bit words: stretch them to the full 16-bit range.
            const int bits = std::clamp(heif_image_get_bits_per_pixel_range(raw, heif_channel_interleaved), 9, 16);
            for (std::size_t i = 0; i + 1 < pixels.size(); i += 2) {
                const std::uint32_t v = std::uint32_t(pixels[i]) << 8 | pixels[i + 1];
                const std::uint32_t wide = std::min<std::uint32_t>(0xFFFF, (v << (16 - bits)) | (v >> (2 * bits - 16)));
                pixels[i] = std::uint8_t(wide >> 8);
                pixels[i + 1] = std::uint8_t(wide);
            }
        }
        auto picture = PlatformImage::create(std::size_t(outW), std::size_t(outH), 8 * bytesPerSample,
            8 * bytesPerSample * channels, rowBytes, alpha ? kImageAlphaLast : kImageAlphaNone,
            colorSpaceFor(PlatformColorSpace::Model::RGB, icc_), std::move(pixels));
        if (!picture)
            return DecodeResult::failure("cannot make the picture");
        return DecodeResult { options.isThumbnail() ? fitWithin(picture, options.maxPixelSize) : picture, {}, false };
    }

    Context context_;
    Handle primary_;
    std::string type_;
    std::vector<std::uint8_t> icc_;
};

} // namespace

const std::vector<CodecFormat>& HEIFCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "public.heic", "HEIF image", "HEIC", "heic,heif", "heic", "image/heic" },
        { "public.avif", "AVIF image", "AVIF", "avif", "avif", "image/avif" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> HEIFCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || data.size < 16 || std::memcmp(data.bytes + 4, "ftyp", 4) != 0)
        return nullptr;
    if (heif_check_filetype(data.bytes, int(std::min<std::size_t>(data.size, 64))) != heif_filetype_yes_supported)
        return nullptr;
    initializeOnce();
    Context context(heif_context_alloc());
    if (!context)
        return nullptr;
    // libheif's own limit, on every size the file declares (tiles, grids, auxiliary pictures)
    // and on every plane it decodes, whatever the coded stream claims: no side longer than the
    // pixel limit allows for a square picture (16384 by default). libheif compares sides, not
    // areas, so HEIF panoramas longer than that are refused too.
    const auto side = std::uint64_t(std::sqrt(double(maxImagePixels())));
    heif_context_set_maximum_image_size_limit(context.get(), int(std::clamp<std::uint64_t>(side, 1, 1 << 15)));
    if (const heif_error error = heif_context_read_from_memory_without_copy(context.get(), data.bytes, data.size, nullptr);
        error.code != heif_error_Ok) {
        failure = error.code == heif_error_Invalid_input && error.subcode == heif_suberror_End_of_data ? truncatedFailure(data.size)
                                                                                                       : failureText(error);
        return nullptr;
    }
    heif_image_handle* raw = nullptr;
    const heif_error error = heif_context_get_primary_image_handle(context.get(), &raw);
    Handle primary(raw); // released on every road
    if (error.code != heif_error_Ok || !raw) {
        failure = failureText(error);
        return nullptr;
    }
    const int w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
    if (w <= 0 || h <= 0 || !acceptableSize(std::uint32_t(w), std::uint32_t(h))) {
        failure = tooLargeFailure(std::uint32_t(std::max(w, 0)), std::uint32_t(std::max(h, 0)));
        return nullptr;
    }
    failure = heifCodedSizeFailure(data.bytes, data.size, std::uint32_t(w), std::uint32_t(h));
    if (!failure.empty())
        return nullptr;
    const bool avif = std::memcmp(data.bytes + 8, "avif", 4) == 0 || std::memcmp(data.bytes + 8, "avis", 4) == 0;
    return std::make_unique<HEIFDecoder>(std::move(data), std::move(context), std::move(primary), avif ? "public.avif" : "public.heic");
}

} // namespace vistel::codec
