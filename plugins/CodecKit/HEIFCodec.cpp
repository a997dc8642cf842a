#include "HEIFCodec.h"

#include <cstring>

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
                if (heif_image_handle_get_thumbnail(primary_.get(), id, &raw).code == heif_error_Ok && raw) {
                    Handle thumb(raw);
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
            return DecodeResult::failure("picture too large or empty");
        const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
        const bool deep = !options.isThumbnail() && heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
        const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_BE : heif_chroma_interleaved_RRGGBB_BE)
                                        : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
        std::unique_ptr<heif_decoding_options, OptionsDeleter> decodeOptions(heif_decoding_options_alloc());
        heif_image* raw = nullptr;
        if (heif_decode_image(handle, &raw, heif_colorspace_RGB, chroma, decodeOptions.get()).code != heif_error_Ok || !raw)
            return DecodeResult::failure("HEIF decoding failed");
        Image image(raw);
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

std::unique_ptr<ImageDecoder> HEIFCodec::open(EncodedData data) const
{
    if (!data.bytes || data.size < 16 || std::memcmp(data.bytes + 4, "ftyp", 4) != 0)
        return nullptr;
    if (heif_check_filetype(data.bytes, int(std::min<std::size_t>(data.size, 64))) != heif_filetype_yes_supported)
        return nullptr;
    initializeOnce();
    Context context(heif_context_alloc());
    if (!context)
        return nullptr;
    heif_context_set_maximum_image_size_limit(context.get(), 1 << 15);
    if (heif_context_read_from_memory_without_copy(context.get(), data.bytes, data.size, nullptr).code != heif_error_Ok)
        return nullptr;
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok || !raw)
        return nullptr;
    Handle primary(raw);
    const int w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
    if (w <= 0 || h <= 0 || !acceptableSize(std::uint32_t(w), std::uint32_t(h)))
        return nullptr;
    const bool avif = std::memcmp(data.bytes + 8, "avif", 4) == 0 || std::memcmp(data.bytes + 8, "avis", 4) == 0;
    return std::make_unique<HEIFDecoder>(std::move(data), std::move(context), std::move(primary), avif ? "public.avif" : "public.heic");
}

} // namespace vistel::codec
