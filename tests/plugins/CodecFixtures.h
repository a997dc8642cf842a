#pragma once
// Shared by the codec tests: the committed test pictures, reference pixels made by Debian's
// command-line decoders, and the pixels of a decoded picture in the same form.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ImageCodec.h"
#include "Platform/Imaging/PlatformImage.h"

namespace vistel::test {

inline std::string fixturePath(const std::string& name) { return std::string(VISTEL_TEST_DATA_DIR) + "/" + name; }

inline std::shared_ptr<std::vector<std::uint8_t>> readFixture(const std::string& name)
{
    std::ifstream in(fixturePath(name), std::ios::binary);
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bytes;
}

inline codec::EncodedData encoded(std::shared_ptr<std::vector<std::uint8_t>> bytes)
{
    codec::EncodedData data;
    data.bytes = bytes->data();
    data.size = bytes->size();
    data.owner = bytes;
    return data;
}

// Samples in component order (grey, RGB or CMYK, then alpha when kept), as 16-bit numbers
// of `maxval` (255 or 65535).
struct Samples {
    std::size_t width = 0, height = 0, channels = 0;
    unsigned maxval = 255;
    std::vector<std::uint16_t> values;

    std::uint16_t at(std::size_t x, std::size_t y, std::size_t c) const { return values[(y * width + x) * channels + c]; }
};

// The output of a shell command (stdout only), as bytes.
inline std::optional<std::vector<std::uint8_t>> commandOutputBytes(const std::string& command)
{
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    pclose(pipe);
    if (out.empty())
        return std::nullopt;
    return out;
}

inline bool toolAvailable(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

// Reads P5, P6 (PGM, PPM) and P7 (PAM) with maxval 255 or 65535.
inline std::optional<Samples> parseNetpbm(const std::vector<std::uint8_t>& data)
{
    std::size_t pos = 0;
    auto token = [&]() -> std::string {
        std::string t;
        while (pos < data.size()) {
            const char c = char(data[pos]);
            if (c == '#') {
                while (pos < data.size() && data[pos] != '\n')
                    ++pos;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                if (!t.empty())
                    break;
                ++pos;
            } else {
                t += c;
                ++pos;
            }
        }
        return t;
    };
    Samples s;
    const std::string magic = token();
    if (magic == "P5" || magic == "P6") {
        s.channels = magic == "P5" ? 1 : 3;
        s.width = std::stoul(token());
        s.height = std::stoul(token());
        s.maxval = unsigned(std::stoul(token()));
    } else if (magic == "P7") {
        for (std::string t = token(); t != "ENDHDR" && !t.empty(); t = token()) {
            if (t == "WIDTH")
                s.width = std::stoul(token());
            else if (t == "HEIGHT")
                s.height = std::stoul(token());
            else if (t == "DEPTH")
                s.channels = std::stoul(token());
            else if (t == "MAXVAL")
                s.maxval = unsigned(std::stoul(token()));
            else if (t == "TUPLTYPE")
                token();
        }
    } else {
        return std::nullopt;
    }
    ++pos; // the one whitespace byte before the raster
    const std::size_t count = s.width * s.height * s.channels;
    const std::size_t bytesPer = s.maxval > 255 ? 2 : 1;
    if (pos + count * bytesPer > data.size())
        return std::nullopt;
    s.values.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        s.values[i] = bytesPer == 2 ? std::uint16_t(data[pos + 2 * i] << 8 | data[pos + 2 * i + 1]) : data[pos + i];
    return s;
}

inline std::optional<Samples> referenceFromCommand(const std::string& command)
{
    auto out = commandOutputBytes(command);
    if (!out)
        return std::nullopt;
    return parseNetpbm(*out);
}

// A picture's samples: colour components in order, alpha last when `keepAlpha` (and the
// picture has an alpha or padding component). Premultiplied pictures are left as they are.
inline Samples samplesOf(const PlatformImage& image, bool keepAlpha)
{
    Samples s;
    s.width = image.width();
    s.height = image.height();
    const std::size_t bpc = image.bitsPerComponent();
    const std::size_t components = image.bitsPerPixel() / bpc;
    const ImageAlphaInfo alpha = image.alphaInfo();
    const bool alphaFirst = alpha == kImageAlphaFirst || alpha == kImageAlphaPremultipliedFirst || alpha == kImageAlphaNoneSkipFirst;
    const bool hasExtra = alpha != kImageAlphaNone;
    const std::size_t colors = components - (hasExtra ? 1 : 0);
    const std::uint32_t order = image.bitmapInfo() & kImageBitmapByteOrderMask;
    const bool little16 = order == kImageBitmapByteOrder16Little;
    const bool reversed32 = bpc == 8 && components == 4 && order == kImageBitmapByteOrder32Little;
    s.channels = colors + (keepAlpha && hasExtra ? 1 : 0);
    s.maxval = bpc == 16 ? 65535 : 255;
    s.values.reserve(s.width * s.height * s.channels);
    for (std::size_t y = 0; y < s.height; ++y) {
        const std::uint8_t* row = image.rowAddress(y);
        for (std::size_t x = 0; x < s.width; ++x) {
            std::vector<std::uint16_t> px(components);
            for (std::size_t c = 0; c < components; ++c) {
                const std::size_t mc = reversed32 ? 3 - c : c;
                if (bpc == 8) {
                    px[c] = row[x * components + mc];
                } else {
                    const std::uint8_t* p = row + (x * components + c) * 2;
                    px[c] = little16 ? std::uint16_t(p[0] | p[1] << 8) : std::uint16_t(p[0] << 8 | p[1]);
                }
            }
            const std::size_t first = alphaFirst ? 1 : 0;
            for (std::size_t c = 0; c < colors; ++c)
                s.values.push_back(px[first + c]);
            if (keepAlpha && hasExtra)
                s.values.push_back(alphaFirst ? px[0] : px[components - 1]);
        }
    }
    return s;
}

// The largest difference between two sample sets of the same size; grey is compared with
// each colour channel of an RGB reference.
inline int maxDifference(const Samples& ours, const Samples& reference)
{
    EXPECT_EQ(ours.width, reference.width);
    EXPECT_EQ(ours.height, reference.height);
    EXPECT_EQ(ours.maxval, reference.maxval);
    if (ours.width != reference.width || ours.height != reference.height || ours.maxval != reference.maxval)
        return 1 << 20;
    const bool greyVsRGB = ours.channels == 1 && reference.channels == 3;
    EXPECT_TRUE(greyVsRGB || ours.channels == reference.channels) << ours.channels << " vs " << reference.channels;
    if (!greyVsRGB && ours.channels != reference.channels)
        return 1 << 20;
    int worst = 0;
    for (std::size_t y = 0; y < ours.height; ++y)
        for (std::size_t x = 0; x < ours.width; ++x)
            for (std::size_t c = 0; c < reference.channels; ++c) {
                const int a = ours.at(x, y, greyVsRGB ? 0 : c), b = reference.at(x, y, c);
                worst = std::max(worst, std::abs(a - b));
            }
    return worst;
}

} // namespace vistel::test
