// libVorm's memcpy against the C library's: the system copy, libVorm with protection off, and
// libVorm with protection on (mlock and munlock around every copy), over 8 B to 16 MiB and 1 to 8
// threads. Both libraries are reached through dlopen, so every copy is an indirect call.

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <memory>

namespace {

using CopyFunction = void* (*)(void*, const void*, size_t);
using SwitchFunction = int (*)(unsigned int);

struct Functions {
    CopyFunction system = nullptr;
    CopyFunction vorm = nullptr;
    SwitchFunction setMemoryProtection = nullptr;
};

const Functions& functions()
{
    static const Functions loaded = [] {
        Functions f;
        void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_LOCAL);
        void* library = dlopen(VORM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (libc == nullptr || library == nullptr) {
            std::fprintf(stderr, "cannot load the libraries: %s\n", dlerror());
            std::exit(1);
        }
        f.system = reinterpret_cast<CopyFunction>(dlsym(libc, "memcpy"));
        f.vorm = reinterpret_cast<CopyFunction>(dlsym(library, "memcpy"));
        f.setMemoryProtection = reinterpret_cast<SwitchFunction>(dlsym(library, "set_memory_protection"));
        return f;
    }();
    return loaded;
}

enum class Mode { System, Off, On };

template <Mode mode>
void BM_Copy(benchmark::State& state)
{
    const Functions& f = functions();
    const size_t size = static_cast<size_t>(state.range(0));
    // Page-aligned buffers, so that every mode copies between the same alignments.
    const size_t capacity = (size + 4095) / 4096 * 4096;
    std::unique_ptr<unsigned char, decltype(&std::free)> source(
        static_cast<unsigned char*>(std::aligned_alloc(4096, capacity)), &std::free);
    std::unique_ptr<unsigned char, decltype(&std::free)> destination(
        static_cast<unsigned char*>(std::aligned_alloc(4096, capacity)), &std::free);
    if (!source || !destination) {
        state.SkipWithError("out of memory");
        return;
    }
    std::fill_n(source.get(), capacity, 0x5A);
    std::fill_n(destination.get(), capacity, 0);
    CopyFunction copy = mode == Mode::System ? f.system : f.vorm;
    f.setMemoryProtection(mode == Mode::On ? 1 : 0);
    copy(destination.get(), source.get(), size); // first use happens outside the timing
    for (auto _ : state) {
        benchmark::DoNotOptimize(copy(destination.get(), source.get(), size));
        benchmark::ClobberMemory();
    }
    f.setMemoryProtection(0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void sizesAndThreads(benchmark::internal::Benchmark* benchmark)
{
    for (int64_t size : {8, 16, 64, 256, 4096, 65536, 1 << 20, 16 << 20})
        benchmark->Arg(size);
    benchmark->ThreadRange(1, 8)->UseRealTime();
}

BENCHMARK_TEMPLATE(BM_Copy, Mode::System)->Name("glibc")->Apply(sizesAndThreads);
BENCHMARK_TEMPLATE(BM_Copy, Mode::Off)->Name("vorm_off")->Apply(sizesAndThreads);
BENCHMARK_TEMPLATE(BM_Copy, Mode::On)->Name("vorm_on")->Apply(sizesAndThreads);

} // namespace

BENCHMARK_MAIN();
