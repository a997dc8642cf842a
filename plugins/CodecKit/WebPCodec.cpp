#include "WebPCodec.h"

#include <cstring>

#include <webp/decode.h>
#include <webp/demux.h>

#include "Platform/Imaging/ImageProperties.h"

namespace vistel::codec {

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

class WebPDecoder final : public ImageDecoder {
public:
    WebPDecoder(EncodedData data, std::unique_ptr<WebPDemuxer, DemuxDeleter> demux)
        : ImageDecoder(std::move(data)), demux_(std::move(demux))
    {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demux_.get(), "ICCP", 1, &chunk)) {
            icc_.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        width_ = WebPDemuxGetI(demux_.get(), WEBP_FF_CANVAS_WIDTH);
        height_ = WebPDemuxGetI(demux_.get(), WEBP_FF_CANVAS_HEIGHT);
        frames_ = WebPDemuxGetI(demux_.get(), WEBP_FF_FRAME_COUNT);
        const std::uint32_t flags = WebPDemuxGetI(demux_.get(), WEBP_FF_FORMAT_FLAGS);
        alpha_ = (flags & ALPHA_FLAG) != 0;
    }

    std::string typeIdentifier() const override { return "org.webmproject.webp"; }

    std::optional<PageDescription> page(std::size_t index) override
    {
        if (index != 0)
            return std::nullopt;
        PageDescription d;
        d.width = width_;
        d.height = height_;
        d.bitsPerSample = 8;
        d.properties = basicPageProperties(width_, height_, 8, colorSpaceFor(PlatformColorSpace::Model::RGB, icc_), alpha_, 0, 0);
        mergeExiv2Properties(d.properties, data_.bytes, data_.size);
        resolutionFromTIFF(d);
        return d;
    }

    DecodeResult decode(std::size_t index, const DecodeOptions& options) override
    {
        if (index != 0)
            return DecodeResult::failure("no such page");
        if (options.isCancelled())
            return DecodeResult::failure("cancelled");
        WebPIterator frame;
        if (!WebPDemuxGetFrame(demux_.get(), 1, &frame))
            return DecodeResult::failure("no WebP frame");
        const std::uint8_t* bytes = frame.fragment.bytes;
        const std::size_t size = frame.fragment.size;
        const bool complete = frame.complete != 0;
        const int frameWidth = frame.width, frameHeight = frame.height;
        const int offsetX = frame.x_offset, offsetY = frame.y_offset;
        WebPDemuxReleaseIterator(&frame);

        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config) || WebPGetFeatures(bytes, size, &config.input) != VP8_STATUS_OK)
            return DecodeResult::failure("unreadable WebP frame");
        if (!acceptableSize(std::uint32_t(config.input.width), std::uint32_t(config.input.height)))
            return DecodeResult::failure(tooLargeFailure(std::uint32_t(config.input.width), std::uint32_t(config.input.height)));
        // A frame that covers the whole canvas is the picture; a smaller first frame of an
        // animation is placed on a transparent canvas.
        const bool wholeCanvas = offsetX == 0 && offsetY == 0 && std::uint32_t(frameWidth) == width_ && std::uint32_t(frameHeight) == height_;
        std::uint32_t outW = width_, outH = height_;
        if (options.isThumbnail() && wholeCanvas) {
            fittedSize(width_, height_, options.maxPixelSize, outW, outH);
            if (outW != width_ || outH != height_) {
                config.options.use_scaling = 1;
                config.options.scaled_width = int(outW);
                config.options.scaled_height = int(outH);
            }
        }
        const bool alpha = config.input.has_alpha || !wholeCanvas;
        config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
        const std::size_t channels = alpha ? 4 : 3;
        // A file cut short (a download or copy that stopped) gives the rows its data holds, the
        // rest grey, as the other decoders do.
        int decodedRows = 0;
        if (complete) {
            if (WebPDecode(bytes, size, &config) != VP8_STATUS_OK) {
                WebPFreeDecBuffer(&config.output);
                return DecodeResult::failure("WebP decoding failed");
            }
            decodedRows = config.output.height;
        } else {
            WebPIDecoder* incremental = WebPIDecode(nullptr, 0, &config);
            if (!incremental)
                return DecodeResult::failure("WebP decoding failed");
            const VP8StatusCode status = WebPIUpdate(incremental, bytes, size);
            if ((status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED)
                || !WebPIDecGetRGB(incremental, &decodedRows, nullptr, nullptr, nullptr))
                decodedRows = 0;
            WebPIDelete(incremental);
            if (decodedRows <= 0) {
                WebPFreeDecBuffer(&config.output);
                return DecodeResult::failure(truncatedFailure(data_.size));
            }
            for (int y = decodedRows; y < config.output.height; ++y) {
                std::uint8_t* row = config.output.u.RGBA.rgba + std::size_t(y) * config.output.u.RGBA.stride;
                std::memset(row, 128, std::size_t(config.output.width) * channels);
                if (alpha)
                    for (int x = 0; x < config.output.width; ++x)
                        row[std::size_t(x) * 4 + 3] = 255;
            }
        }
        const int w = config.output.width, h = config.output.height;
        std::vector<std::uint8_t> pixels;
        std::size_t rowBytes;
        if (wholeCanvas) {
            rowBytes = std::size_t(w) * channels;
            pixels.resize(rowBytes * std::size_t(h));
            for (int y = 0; y < h; ++y)
                std::memcpy(pixels.data() + y * rowBytes, config.output.u.RGBA.rgba + std::size_t(y) * config.output.u.RGBA.stride, rowBytes);
        } else {
            rowBytes = std::size_t(width_) * 4;
            pixels.assign(rowBytes * height_, 0);
            for (int y = 0; y < h && std::uint32_t(offsetY + y) < height_; ++y) {
                const int cols = std::min<int>(w, int(width_) - offsetX);
                if (cols > 0)
                    std::memcpy(pixels.data() + std::size_t(offsetY + y) * rowBytes + std::size_t(offsetX) * 4,
                        config.output.u.RGBA.rgba + std::size_t(y) * config.output.u.RGBA.stride, std::size_t(cols) * 4);
            }
        }
        const std::size_t outWidth = wholeCanvas ? std::size_t(w) : width_;
        const std::size_t outHeight = wholeCanvas ? std::size_t(h) : height_;
        WebPFreeDecBuffer(&config.output);
        auto image = PlatformImage::create(outWidth, outHeight, 8, 8 * channels, rowBytes,
            alpha ? kImageAlphaLast : kImageAlphaNone, colorSpaceFor(PlatformColorSpace::Model::RGB, icc_), std::move(pixels));
        if (!image)
            return DecodeResult::failure("cannot make the picture");
        DecodeResult r;
        r.image = options.isThumbnail() ? fitWithin(image, options.maxPixelSize) : image;
        r.partial = decodedRows < h;
        if (r.partial)
            r.error = truncatedFailure(data_.size);
        return r;
    }

private:
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux_;
    std::vector<std::uint8_t> icc_;
    std::uint32_t width_ = 0, height_ = 0, frames_ = 0;
    bool alpha_ = false;
};

} // namespace

const std::vector<CodecFormat>& WebPCodec::formats() const
{
    static const std::vector<CodecFormat> list {
        { "org.webmproject.webp", "WebP image", "WebP", "webp", "webp", "image/webp" },
    };
    return list;
}

std::unique_ptr<ImageDecoder> WebPCodec::openData(EncodedData data, std::string& failure) const
{
    if (!data.bytes || data.size < 16 || std::memcmp(data.bytes, "RIFF", 4) != 0 || std::memcmp(data.bytes + 8, "WEBP", 4) != 0)
        return nullptr;
    WebPData webp { data.bytes, data.size };
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&webp));
    if (!demux) {
        // A file cut short opens when its headers are whole; decode() gives the rows it holds.
        WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
        demux.reset(WebPDemuxPartial(&webp, &state));
        if (!demux || state < WEBP_DEMUX_PARSED_HEADER) {
            failure = state == WEBP_DEMUX_PARSING_HEADER ? truncatedFailure(data.size) : "damaged WebP container";
            return nullptr;
        }
    }
    const std::uint32_t w = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const std::uint32_t h = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    if (!acceptableSize(w, h)) {
        failure = tooLargeFailure(w, h);
        return nullptr;
    }
    if (WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) == 0) {
        failure = truncatedFailure(data.size);
        return nullptr;
    }
    return std::make_unique<WebPDecoder>(std::move(data), std::move(demux));
}

} // namespace vistel::codec
