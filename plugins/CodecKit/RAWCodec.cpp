#include "RAWCodec.h"

#include <algorithm>
#include <cstring>

#include <libraw/libraw.h>

#include "JPEGCodec.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/ImagePropertyExiv2.h"
#include "TIFFCodec.h"

namespace vistel::codec {

namespace {

struct MemImageDeleter {
    void operator()(libraw_processed_image_t* p) const { LibRaw::dcraw_clear_mem(p); }
};
using MemImage = std::unique_ptr<libraw_processed_image_t, MemImageDeleter>;

// libraw's flip word as an EXIF orientation.
int orientationOfFlip(int flip)
{
    switch (flip) {
    case 3:
        return 3;
    case 5:
        return 8;
    case 6:
        return 6;
    default:
        return 1;
    }
}

// Formats other codecs own; libraw also reads some of them, but they are no camera RAW.
bool otherFormat(const std::uint8_t* b, std::size_t size)
{
    if (size < 12)
        return true;
    return (b[0] == 0xFF && b[1] == 0xD8) || std::memcmp(b, "\x89PNG", 4) == 0 || std::memcmp(b, "GIF8", 4) == 0
        || (b[0] == 'B' && b[1] == 'M') || (std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0);
}

std::unique_ptr<LibRaw> openRaw(const EncodedData& data)
{
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
    // libraw's own allocation cap, from the pixel limit: the sensor data of the largest picture
    // allowed, in 16-bit samples of up to four colours.
    raw->imgdata.params.max_raw_memory_mb = unsigned(std::clamp<std::uint64_t>(maxImagePixels() * 8 >> 20, 64, 2048));
    if (raw->open_buffer(const_cast<std::uint8_t*>(data.bytes), data.size) != LIBRAW_SUCCESS)
        return nullptr;
    return raw;
}

Ref<PlatformImage> imageFromBitmap(const libraw_processed_image_t* p)
{
    if (!p || p->type != LIBRAW_IMAGE_BITMAP || (p->colors != 3 && p->colors != 1) || (p->bits != 8 && p->bits != 16))
        return nullptr;
    const std::size_t rowBytes = std::size_t(p->width) * p->colors * (p->bits / 8);
    if (!acceptableSize(p->width, p->height) || std::uint64_t(rowBytes) * p->height > p->data_size)
        return nullptr;
    std::vector<std::uint8_t> pixels(p->data, p->data + rowBytes * p->height);
    std::uint32_t info = kImageAlphaNone;
    if (p->bits == 16)
        info |= kImageBitmapByteOrder16Little; // libraw writes samples in the machine's order
    return PlatformImage::create(p->width, p->height, p->bits, std::size_t(p->bits) * p->colors, rowBytes, info,
        p->colors == 3 ? PlatformColorSpace::createDeviceRGB() : PlatformColorSpace::createDeviceGray(), std::move(pixels));
}

class RAWDecoder final : public ImageDecoder {
public:
    RAWDecoder(EncodedData data, std::unique_ptr<LibRaw> raw) : ImageDecoder(std::move(data))
    {
        const auto& d = raw->imgdata;
        width_ = d.sizes.width;
        height_ = d.sizes.height;
        orientation_ = orientationOfFlip(d.sizes.flip);
        make_ = d.idata.make;
        model_ = d.idata.model;
        iso_ = d.other.iso_speed;
        shutter_ = d.other.shutter;
        aperture_ = d.other.aperture;
        focal_ = d.other.focal_len;
    }

    std::string typeIdentifier() const override { return "public.camera-raw-image"; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        PageDescription d;
        d.width = width_;
        d.height = height_;
        d.bitsPerSample = 16;
        d.properties = basicPageProperties(width_, height_, 16, PlatformColorSpace::createDeviceRGB(), false, 0, 0);
        mergeExiv2Properties(d.properties, data_.bytes, data_.size);
        // What exiv2 could not read, libraw knows.
        Value tiff = d.properties[kImagePropertyTIFFDictionary];
        if (!tiff.contains(kImagePropertyTIFFMake) && !make_.empty())
            tiff.set(kImagePropertyTIFFMake, make_);
        if (!tiff.contains(kImagePropertyTIFFModel) && !model_.empty())
            tiff.set(kImagePropertyTIFFModel, model_);
        tiff.set(kImagePropertyTIFFOrientation, orientation_);
        d.properties.set(kImagePropertyTIFFDictionary, tiff);
        d.properties.set(kImagePropertyOrientation, orientation_);
        Value exif = d.properties[kImagePropertyExifDictionary];
        if (!exif.contains(kImagePropertyExifISOSpeedRatings) && iso_ > 0)
            exif.set(kImagePropertyExifISOSpeedRatings, Value::array({ double(iso_) }));
        if (!exif.contains(kImagePropertyExifExposureTime) && shutter_ > 0)
            exif.set(kImagePropertyExifExposureTime, double(shutter_));
        if (!exif.contains(kImagePropertyExifFNumber) && aperture_ > 0)
            exif.set(kImagePropertyExifFNumber, double(aperture_));
        if (!exif.contains(kImagePropertyExifFocalLength) && focal_ > 0)
            exif.set(kImagePropertyExifFocalLength, double(focal_));
        if (exif.isDictionary())
            d.properties.set(kImagePropertyExifDictionary, exif);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        if (options.mode == DecodeMode::EmbeddedThumbnail || options.mode == DecodeMode::Thumbnail) {
            DecodeResult preview = decodePreview(options);
            if (preview.image)
                return preview;
        }
        return decodeHalfSize(options);
    }

private:
    // The camera's preview, found by exiv2's preview reader rather than libraw's: libraw 0.20
    // writes past its buffer on some damaged previews. The smallest preview that covers the
    // requested size wins, else the largest.
    DecodeResult decodePreview(const DecodeOptions& options)
    {
        std::vector<std::uint8_t> preview;
        try {
            auto image = Exiv2::ImageFactory::open(data_.bytes, long(data_.size));
            if (image.get() == nullptr)
                return DecodeResult::failure("no embedded preview");
            image->readMetadata();
            Exiv2::PreviewManager manager(*image);
            const Exiv2::PreviewPropertiesList list = manager.getPreviewProperties();
            if (list.empty())
                return DecodeResult::failure("no embedded preview");
            const Exiv2::PreviewProperties* chosen = &list.back();
            for (const auto& p : list) {
                if (options.maxPixelSize > 0 && std::max(p.width_, p.height_) >= options.maxPixelSize) {
                    chosen = &p;
                    break;
                }
            }
            if (options.mode == DecodeMode::Thumbnail && options.maxPixelSize > 0
                && std::max(chosen->width_, chosen->height_) < options.maxPixelSize)
                return DecodeResult::failure("embedded preview too small");
            const Exiv2::PreviewImage image0 = manager.getPreviewImage(*chosen);
            preview.assign(image0.pData(), image0.pData() + image0.size());
        } catch (...) {
            return DecodeResult::failure("unreadable embedded preview");
        }
        if (preview.size() > 2 && preview[0] == 0xFF && preview[1] == 0xD8)
            return decodeJPEGStream(preview.data(), preview.size(), options.maxPixelSize, options.cancelled);
        // Uncompressed previews come as a small TIFF.
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::move(preview));
        auto decoder = TIFFCodec().open(EncodedData { bytes->data(), bytes->size(), bytes });
        if (!decoder)
            return DecodeResult::failure("unusable embedded preview");
        DecodeOptions full;
        full.cancelled = options.cancelled;
        DecodeResult r = decoder->decode(0, full);
        if (r.image)
            r.image = fitWithin(r.image, options.maxPixelSize);
        return r;
    }

    DecodeResult decodeHalfSize(const DecodeOptions& options)
    {
        auto raw = openRaw(data_);
        if (!raw)
            return DecodeResult::failure("unreadable RAW file");
        auto& params = raw->imgdata.params;
        params.half_size = 1;
        params.use_camera_wb = 1;
        params.output_bps = 8;
        params.user_flip = 0; // rows as stored: the orientation travels in the properties
        if (options.isCancelled())
            return DecodeResult::failure("cancelled");
        if (const int error = raw->unpack(); error != LIBRAW_SUCCESS)
            return DecodeResult::failure(libraw_strerror(error));
        if (const int error = raw->dcraw_process(); error != LIBRAW_SUCCESS)
            return DecodeResult::failure(libraw_strerror(error));
        if (options.isCancelled())
            return DecodeResult::failure("cancelled");
        int error = 0;
        MemImage out(raw->dcraw_make_mem_image(&error));
        auto image = imageFromBitmap(out.get());
        if (!image)
            return DecodeResult::failure("RAW decoding failed");
        // Half size rounds odd sides up: the thumbnail takes the shape of the full picture.
        return DecodeResult { options.isThumbnail() ? fitWithin(image, options.maxPixelSize, width_, height_) : image, {}, false };
    }

    std::uint32_t width_ = 0, height_ = 0;
    int orientation_ = 1;
    std::string make_, model_;
    float iso_ = 0, shutter_ = 0, aperture_ = 0, focal_ = 0;
};

} // namespace

const std::vector<CodecFormat>& RAWCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "public.camera-raw-image", "Camera RAW image", "RAW", "", "", "" },
        { "com.adobe.raw-image", "Digital negative", "DNG", "dng", "dng", "image/x-adobe-dng" },
        { "com.canon.cr2-raw-image", "Canon RAW image", "CR2", "cr2", "cr2", "image/x-canon-cr2" },
        { "com.canon.crw-raw-image", "Canon RAW image", "CRW", "crw", "crw", "image/x-canon-crw" },
        { "com.nikon.raw-image", "Nikon RAW image", "NEF", "nef,nrw", "nef", "image/x-nikon-nef" },
        { "com.sony.arw-raw-image", "Sony RAW image", "ARW", "arw,srf,sr2", "arw", "image/x-sony-arw" },
        { "com.olympus.raw-image", "Olympus RAW image", "ORF", "orf", "orf", "image/x-olympus-orf" },
        { "com.panasonic.raw-image", "Panasonic RAW image", "RW2", "rw2,raw", "rw2", "image/x-panasonic-rw2" },
        { "com.pentax.raw-image", "Pentax RAW image", "PEF", "pef", "pef", "image/x-pentax-pef" },
        { "com.fuji.raw-image", "Fujifilm RAW image", "RAF", "raf", "raf", "image/x-fuji-raf" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> RAWCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || otherFormat(data.bytes, data.size))
        return nullptr;
    auto raw = openRaw(data);
    if (!raw)
        return nullptr;
    const auto& d = raw->imgdata;
    // Only sensor data: libraw also opens plain pictures that carry no camera make.
    if (d.idata.make[0] == 0 || d.sizes.raw_width == 0)
        return nullptr;
    // The sensor area is what libraw allocates for the half-size decode.
    if (!acceptableSize(d.sizes.width, d.sizes.height) || !acceptableSize(d.sizes.raw_width, d.sizes.raw_height)) {
        failure = tooLargeFailure(d.sizes.raw_width, d.sizes.raw_height);
        return nullptr;
    }
    return std::make_unique<RAWDecoder>(std::move(data), std::move(raw));
}

} // namespace vistel::codec
