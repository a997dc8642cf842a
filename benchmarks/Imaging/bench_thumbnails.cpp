// Thumbnails of camera-sized JPEGs, side by side in one run on the same files:
//   Ours/ReducedDecode     the JPEG codec's reduced decode to a 120-px thumbnail (DCT scaling
//                          to 1/8, then an area reduction)
//   Djpeg/Scale1_8         `djpeg -scale 1/8` on each file (one process per file, as a user runs it)
//   Vipsthumbnail/S120     `vipsthumbnail -s 120` over all files in one process (when installed)
//   Ours/EmbeddedThumbnail the EXIF thumbnail (decode mode 0), on the same pictures with one
//   Ours/EmbeddedThumbnailWithMetadata  the same, with the page properties the host reads first
// items_per_second is pictures per second.
//
// Usage: bench_thumbnails [CORPUS] [benchmark flags]. CORPUS holds plain/ and embedded/ (made by
// benchmarks/Imaging/make-jpeg-corpus); without it the corpus is made once in
// $XDG_CACHE_HOME/vistel/jpeg-corpus (~/.cache/...), which takes a minute and ~450 MB.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "BenchmarkSupport.h"
#include "JPEGCodec.h"

namespace {

namespace fs = std::filesystem;
using namespace vistel::codec;
using namespace vistel::bench;

std::string gCorpus;

// The file mapped read-only: the decoder touches only the pages it reads.
EncodedData mapFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size <= 0) {
        ::close(fd);
        return {};
    }
    void* base = mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (base == MAP_FAILED)
        return {};
    const std::size_t size = std::size_t(st.st_size);
    EncodedData data;
    data.bytes = static_cast<const std::uint8_t*>(base);
    data.size = size;
    data.owner = std::shared_ptr<const void>(base, [size](const void* p) { munmap(const_cast<void*>(p), size); });
    return data;
}

void thumbnails(benchmark::State& state, const char* folder, DecodeMode mode, bool withMetadata)
{
    const auto files = picturesIn(gCorpus + "/" + folder);
    if (files.empty()) {
        state.SkipWithError("empty corpus");
        return;
    }
    const JPEGCodec codec;
    std::size_t pixels = 0;
    for (auto _ : state) {
        for (const auto& file : files) {
            auto decoder = codec.open(mapFile(file));
            if (!decoder) {
                state.SkipWithError(("cannot open " + file).c_str());
                return;
            }
            if (withMetadata)
                benchmark::DoNotOptimize(decoder->page(0));
            DecodeOptions options;
            options.mode = mode;
            options.maxPixelSize = 120;
            DecodeResult result = decoder->decode(0, options);
            if (!result.image) {
                state.SkipWithError(("cannot decode " + file + ": " + result.error).c_str());
                return;
            }
            pixels = result.image->width() * result.image->height();
            benchmark::DoNotOptimize(result.image->bytes());
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
    state.counters["thumbnail_px"] = double(pixels);
}

void BM_OurReducedDecode(benchmark::State& state) { thumbnails(state, "plain", DecodeMode::ReducedImage, false); }
void BM_OurEmbeddedThumbnail(benchmark::State& state) { thumbnails(state, "embedded", DecodeMode::EmbeddedThumbnail, false); }
void BM_OurEmbeddedThumbnailWithMetadata(benchmark::State& state) { thumbnails(state, "embedded", DecodeMode::EmbeddedThumbnail, true); }

void BM_DjpegScale1_8(benchmark::State& state)
{
    if (!toolAvailable("djpeg")) {
        state.SkipWithError("djpeg is not installed");
        return;
    }
    const auto files = picturesIn(gCorpus + "/plain");
    for (auto _ : state)
        for (const auto& file : files)
            if (run({ "djpeg", "-scale", "1/8", "-outfile", "/dev/null", file }) != 0) {
                state.SkipWithError("djpeg failed");
                return;
            }
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
}

void BM_Vipsthumbnail(benchmark::State& state)
{
    if (!toolAvailable("vipsthumbnail")) {
        state.SkipWithError("vipsthumbnail is not installed (libvips-tools)");
        return;
    }
    const auto files = picturesIn(gCorpus + "/plain");
    const std::string out = (fs::temp_directory_path() / ("vistel-vips-" + std::to_string(getpid()))).string();
    fs::create_directories(out);
    std::vector<std::string> argv { "vipsthumbnail", "-s", "120", "-o", out + "/%s.jpg" };
    argv.insert(argv.end(), files.begin(), files.end());
    for (auto _ : state)
        if (run(argv) != 0) {
            state.SkipWithError("vipsthumbnail failed");
            break;
        }
    std::error_code ignored;
    fs::remove_all(out, ignored);
    state.SetItemsProcessed(std::int64_t(state.iterations() * files.size()));
}

} // namespace

BENCHMARK(BM_OurReducedDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DjpegScale1_8)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_OurEmbeddedThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_OurEmbeddedThumbnailWithMetadata)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv)
{
    return runCorpusBenchmarks(argc, argv, VISTEL_MAKE_JPEG_CORPUS, gCorpus);
}
