// Hostile inputs: files whose fields claim far more than they hold. Each is opened and decoded
// in every mode, in a child process whose peak memory is measured: it must be refused or
// decoded within 256 MB, and the child must not crash.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "BMPCodec.h"
#include "CodecFixtures.h"
#include "GIFCodec.h"
#include "JPEGCodec.h"
#include "PNGCodec.h"
#include "RAWCodec.h"
#include "TIFFCodec.h"
#include "WebPCodec.h"
#ifdef VISTEL_HAVE_HEIF
#include "HEIFCodec.h"
#endif

using namespace vistel;
using namespace vistel::codec;
using namespace vistel::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr long kPeakLimitKB = 256 * 1024;

void put16(Bytes& b, std::size_t at, std::uint16_t v)
{
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

// A little-endian TIFF of grey 8-bit directories, each `width` x `height` with one strip of
// `height` zero rows (as far as the file holds them); directory i links to `next[i]` (an
// index into the directories, or -1 for the end of the chain).
Bytes tiffChain(std::uint32_t width, std::uint32_t height, const std::vector<int>& next)
{
    constexpr std::uint16_t kEntries = 9;
    constexpr std::size_t kDirectorySize = 2 + kEntries * 12 + 4;
    const std::size_t pixelsAt = 8 + next.size() * kDirectorySize;
    Bytes b(pixelsAt + 64, 0);
    b[0] = b[1] = 'I';
    put16(b, 2, 42);
    put32(b, 4, 8);
    for (std::size_t d = 0; d < next.size(); ++d) {
        const std::size_t at = 8 + d * kDirectorySize;
        put16(b, at, kEntries);
        const std::uint32_t entries[kEntries][3] = {
            { 256, 4, width },          // ImageWidth
            { 257, 4, height },         // ImageLength
            { 258, 3, 8 },              // BitsPerSample
            { 259, 3, 1 },              // Compression: none
            { 262, 3, 1 },              // Photometric: black is zero
            { 273, 4, std::uint32_t(pixelsAt) }, // StripOffsets
            { 277, 3, 1 },              // SamplesPerPixel
            { 278, 4, height },         // RowsPerStrip
            { 279, 4, width * height }, // StripByteCounts
        };
        for (std::size_t e = 0; e < kEntries; ++e) {
            const std::size_t entry = at + 2 + e * 12;
            put16(b, entry, std::uint16_t(entries[e][0]));
            put16(b, entry + 2, std::uint16_t(entries[e][1]));
            put32(b, entry + 4, 1);
            if (entries[e][1] == 3)
                put16(b, entry + 8, std::uint16_t(entries[e][2]));
            else
                put32(b, entry + 8, entries[e][2]);
        }
        put32(b, at + 2 + kEntries * 12, next[d] < 0 ? 0 : std::uint32_t(8 + std::size_t(next[d]) * kDirectorySize));
    }
    return b;
}

// The committed baseline JPEG with its frame header claiming `width` x `height`.
Bytes jpegClaiming(std::uint16_t width, std::uint16_t height)
{
    Bytes b = *readFixture("baseline.jpg");
    for (std::size_t i = 2; i + 9 < b.size(); ++i) {
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
            b[i + 5] = std::uint8_t(height >> 8);
            b[i + 6] = std::uint8_t(height);
            b[i + 7] = std::uint8_t(width >> 8);
            b[i + 8] = std::uint8_t(width);
            return b;
        }
    }
    ADD_FAILURE() << "no frame header in baseline.jpg";
    return b;
}

// A whole small PNG followed by a text chunk that claims 2^31 - 1 bytes: the header opens,
// and the metadata reader meets the chunk.
Bytes pngWithTrailingHugeText()
{
    Bytes b = *readFixture("grey.png");
    b.resize(b.size() - 12); // without IEND
    const std::uint8_t chunk[] = { 0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't', 'k', 0, 'v' };
    b.insert(b.end(), std::begin(chunk), std::end(chunk));
    return b;
}

struct HostileCase {
    const char* name;
    std::function<Bytes()> bytes;
};

std::vector<std::unique_ptr<ImageCodec>> allCodecs()
{
    std::vector<std::unique_ptr<ImageCodec>> codecs;
    codecs.push_back(std::make_unique<JPEGCodec>());
    codecs.push_back(std::make_unique<PNGCodec>());
    codecs.push_back(std::make_unique<TIFFCodec>());
    codecs.push_back(std::make_unique<WebPCodec>());
    codecs.push_back(std::make_unique<GIFCodec>());
    codecs.push_back(std::make_unique<BMPCodec>());
#ifdef VISTEL_HAVE_HEIF
    codecs.push_back(std::make_unique<HEIFCodec>());
#endif
    codecs.push_back(std::make_unique<RAWCodec>());
    return codecs;
}

// What the program does with a file: the first codec that opens it describes and decodes it in
// every mode. Answers the open failure of the codec that knew the format, or "" when one opened it.
std::string openAndDecode(const Bytes& input)
{
    auto bytes = std::make_shared<Bytes>(input);
    std::string firstFailure;
    for (const auto& codec : allCodecs()) {
        std::string failure;
        auto decoder = codec->open(encoded(bytes), &failure);
        if (!decoder) {
            if (firstFailure.empty())
                firstFailure = failure;
            continue;
        }
        decoder->imageProperties();
        decoder->page(0);
        for (DecodeMode mode : { DecodeMode::Full, DecodeMode::EmbeddedThumbnail, DecodeMode::Thumbnail, DecodeMode::ReducedImage }) {
            DecodeOptions options;
            options.mode = mode;
            options.maxPixelSize = 160;
            decoder->decode(0, options);
        }
        return {};
    }
    return firstFailure.empty() ? "not a picture" : firstFailure;
}

struct ChildOutcome {
    int status = -1;
    long peakKB = 0;
    std::string failure;
};

// Runs openAndDecode in a child process: its exit status, peak resident size and open failure.
ChildOutcome inChild(const Bytes& input)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        const std::string failure = openAndDecode(input);
        (void)!write(pipeFds[1], failure.data(), failure.size());
        _exit(0);
    }
    close(pipeFds[1]);
    ChildOutcome outcome;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        outcome.failure.append(buffer, std::size_t(n));
    close(pipeFds[0]);
    rusage usage {};
    wait4(pid, &outcome.status, 0, &usage);
    outcome.peakKB = usage.ru_maxrss;
    return outcome;
}

} // namespace

TEST(HostileInputs, refusedOrDecodedWithinBoundedMemory)
{
    const std::vector<HostileCase> cases = {
        { "PNG text chunk of 2 GiB", [] { return *readFixture("hostile/png-text-chunk-2GiB.png"); } },
        { "PNG compressed text chunk of 2 GiB", [] { return *readFixture("hostile/png-ztxt-chunk-2GiB.png"); } },
        { "PNG international text chunk of 2 GiB", [] { return *readFixture("hostile/png-itxt-chunk-2GiB.png"); } },
        { "PNG picture, then a text chunk of 2 GiB", pngWithTrailingHugeText },
        { "HEIF whose tile codes a far larger picture", [] { return *readFixture("hostile/heif-memory-blowup.heic"); } },
        { "damaged AVIF", [] { return *readFixture("hostile/heif-leak-in-av1-decoder.heif"); } },
        { "JPEG claiming 65535 x 65535", [] { return jpegClaiming(65535, 65535); } },
        { "TIFF claiming 65535 x 65535", [] { return tiffChain(65535, 65535, { -1 }); } },
        { "TIFF whose directories loop", [] { return tiffChain(4, 4, { 1, 2, 0 }); } },
        { "TIFF whose directory links to itself", [] { return tiffChain(4, 4, { 0 }); } },
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildOutcome outcome = inChild(c.bytes());
        ASSERT_TRUE(WIFEXITED(outcome.status)) << "the child died, status " << outcome.status;
        EXPECT_EQ(WEXITSTATUS(outcome.status), 0);
        EXPECT_LT(outcome.peakKB, kPeakLimitKB);
        std::printf("%-45s peak %6ld KB  %s\n", c.name, outcome.peakKB,
            outcome.failure.empty() ? "opened" : ("refused: " + outcome.failure).c_str());
    }
}

TEST(HostileInputs, sizeClaimsAreRefusedWithTheClaimedSize)
{
    std::string failure;
    auto jpeg = std::make_shared<Bytes>(jpegClaiming(40000, 30000));
    EXPECT_FALSE(JPEGCodec().open(encoded(jpeg), &failure));
    EXPECT_EQ(failure, "too large: 40000 x 30000 pixels");
    auto tiff = std::make_shared<Bytes>(tiffChain(65535, 65535, { -1 }));
    EXPECT_FALSE(TIFFCodec().open(encoded(tiff), &failure));
    EXPECT_EQ(failure, "too large: 65535 x 65535 pixels");
}

TEST(HostileInputs, aLoopingDirectoryChainCountsEachDirectoryOnce)
{
    auto tiff = std::make_shared<Bytes>(tiffChain(4, 4, { 1, 2, 0 }));
    auto decoder = TIFFCodec().open(encoded(tiff));
    ASSERT_TRUE(decoder);
    EXPECT_LE(decoder->pageCount(), 3u);
    EXPECT_TRUE(decoder->decode(0, DecodeOptions {}).image);
}
