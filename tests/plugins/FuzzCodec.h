#pragma once
// The body shared by the codec fuzzers: open the input with one codec and do everything the
// program would do with it: describe up to three pages, decode them in full and as thumbnails.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ImageCodec.h"
#include "Platform/Imaging/ImagePropertyMapping.h"

namespace vistel::codec {

template <class Codec>
int fuzzCodec(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        // Inputs may claim any size: keep the pictures small enough for the fuzzer's memory limit.
        setMaxImagePixels(1u << 22);
        ImagePropertyMapping::initialize();
        return true;
    }();
    (void)ready;
    // A copy of exactly `size` bytes, so that reading past the end is caught.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
    EncodedData encoded { bytes->data(), bytes->size(), bytes };
    const Codec codec;
    auto decoder = codec.open(std::move(encoded));
    if (!decoder)
        return 0;
    decoder->imageProperties();
    decoder->typeIdentifier();
    const std::size_t pages = std::min<std::size_t>(decoder->pageCount(), 3);
    for (std::size_t page = 0; page < pages; ++page) {
        decoder->page(page);
        for (DecodeMode mode : { DecodeMode::Full, DecodeMode::EmbeddedThumbnail, DecodeMode::ReducedImage }) {
            DecodeOptions options;
            options.mode = mode;
            options.maxPixelSize = 48;
            DecodeResult result = decoder->decode(page, options);
            if (result.image) {
                // Read the last byte of every row the picture claims to have.
                std::uint8_t sum = 0;
                for (std::size_t y = 0; y < result.image->height(); ++y)
                    sum ^= result.image->rowAddress(y)[result.image->bytesPerRow() - 1];
                volatile std::uint8_t sink = sum;
                (void)sink;
            }
        }
    }
    return 0;
}

} // namespace vistel::codec
