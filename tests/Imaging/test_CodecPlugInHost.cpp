#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <thread>
#include <vector>
#include <filesystem>
#include <string>

#include "CodecTestSupport.h"
#include "FixturePlugIns.h"
#include "Imaging/CodecPlugInHost.h"
#include "Imaging/ComSupport.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"

using namespace vistel;

namespace {

// Counters of the codec fixture loaded from `folder` (the host must have loaded it).
struct CodecCounters {
    int made = -1;
    int alive = -1;
};
CodecCounters codecCounters(const std::string& folder)
{
    CodecCounters counters;
    void* handle = dlopen((folder + "/FixtureCodecs.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return counters;
    auto function = reinterpret_cast<FixtureCodecCountersFunc>(dlsym(handle, FIXTURE_CODEC_COUNTERS_SYMBOL));
    if (function)
        function(&counters.made, &counters.alive);
    dlclose(handle);
    return counters;
}

bool answers(void* object, const CodecUUIDBytes& iid)
{
    void* out = nullptr;
    const CodecResult result = static_cast<IUnknown*>(object)->vtbl->QueryInterface(object, iid, &out);
    CodecRelease(out);
    return result == 0 && out == object;
}

} // namespace

TEST(CodecPlugInHost, FoldersWithoutPlugInsGiveNoInstancesAndNoCore)
{
    test::TemporaryFolder empty;
    struct Case {
        const char* name;
        std::string folder;
    };
    const Case cases[] = {
        {"missing folder", empty.path() + "/missing"},
        {"empty folder", empty.path()},
        {"shared object without the factory list", CODEC_PLUGINS_NOT_A_PLUGIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedLogCapture log;
        CodecPlugInHost host(c.folder);
        EXPECT_FALSE(host.LoadPlugIns());
        void* out = &host; // must be cleared
        EXPECT_EQ(host.CreatePlugInInstance(ImageCodecPlugInTypeID, IImageCodecID, &out), CODEC_E_FAIL);
        EXPECT_EQ(out, nullptr);
        Ref<IUnknownArray> all = IUnknownArray::create();
        EXPECT_EQ(host.CreatePlugInInstances(ImageCodecPlugInTypeID, IImageCodecID, &all), CODEC_E_FAIL);
        EXPECT_EQ(all, nullptr);
        EXPECT_FALSE(host.InitCodecPlugIns());
        EXPECT_EQ(host.plugInCount(), 0u);
    }
    ScopedLogCapture log;
    CodecPlugInHost host(CODEC_PLUGINS_NOT_A_PLUGIN);
    host.LoadPlugIns();
    EXPECT_TRUE(log.contains("FixtureNotAPlugIn.so is not a codec plug-in"));
}

TEST(CodecPlugInHost, EmptyFolderIsRescannedUntilAPlugInArrives)
{
    test::TemporaryFolder folder;
    CodecPlugInHost host(folder.path());
    EXPECT_FALSE(host.InitCodecPlugIns());

    std::filesystem::copy_file(std::string(CODEC_FIXTURE_LIBS) + "/FixtureCodecs.so", folder.path() + "/FixtureCodecs.so");
    void* codec = nullptr;
    ASSERT_EQ(host.CreatePlugInInstance(ImageCodecPlugInTypeID, IImageCodecID, &codec), 0);
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ(host.plugInCount(), 1u);
    CodecRelease(codec);
    // Loaded for good: a plug-in added later is not picked up.
    std::filesystem::copy_file(std::string(CODEC_FIXTURE_LIBS) + "/FixtureCore.so", folder.path() + "/FixtureCore.so");
    void* core = nullptr;
    EXPECT_EQ(host.CreatePlugInInstance(CodecCorePlugInTypeID, ICodecCoreID, &core), CODEC_E_FAIL);
    EXPECT_EQ(host.plugInCount(), 1u);
}

TEST(CodecPlugInHost, FirstInstanceSkipsAFactoryWhoseInstanceRefuses)
{
    CodecPlugInHost host(CODEC_PLUGINS_FULL);
    void* codec = nullptr;
    ASSERT_EQ(host.CreatePlugInInstance(ImageCodecPlugInTypeID, IImageCodecID, &codec), 0);
    ASSERT_NE(codec, nullptr);
    EXPECT_TRUE(answers(codec, IImageCodecID));
    EXPECT_FALSE(answers(codec, FixtureRefusingInterfaceID));
    CodecCounters counters = codecCounters(CODEC_PLUGINS_FULL);
    EXPECT_EQ(counters.made, 2); // the refusing instance was made, asked and released
    EXPECT_EQ(counters.alive, 1);
    EXPECT_EQ(CodecRelease(codec), 0u); // the walk kept no reference of its own
    EXPECT_EQ(codecCounters(CODEC_PLUGINS_FULL).alive, 0);
}

TEST(CodecPlugInHost, ConcurrentFirstRequestsLoadOnce)
{
    CodecPlugInHost host(CODEC_PLUGINS_FULL);
    std::vector<std::thread> threads;
    std::atomic<int> succeeded {0};
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            void* codec = nullptr;
            if (host.CreatePlugInInstance(ImageCodecPlugInTypeID, IImageCodecID, &codec) == 0 && codec)
                ++succeeded;
            CodecRelease(codec);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(succeeded, 4);
    EXPECT_EQ(host.plugInCount(), 2u); // the core and the codecs; the third file is no plug-in
    EXPECT_EQ(codecCounters(CODEC_PLUGINS_FULL).alive, 0);
}

TEST(CodecPlugInHost, AllInstancesCollectsOnlyThoseThatAnswer)
{
    CodecPlugInHost host(CODEC_PLUGINS_FULL);
    Ref<IUnknownArray> codecs;
    ASSERT_EQ(host.CreatePlugInInstances(ImageCodecPlugInTypeID, IImageCodecID, &codecs), 0);
    ASSERT_TRUE(codecs);
    ASSERT_EQ(codecs->count(), 1u);
    EXPECT_TRUE(answers(codecs->at(0), IImageCodecID));
    EXPECT_EQ(codecCounters(CODEC_PLUGINS_FULL).alive, 1);
    codecs = nullptr;
    CodecCounters counters = codecCounters(CODEC_PLUGINS_FULL);
    EXPECT_EQ(counters.made, 2);
    EXPECT_EQ(counters.alive, 0);
}

TEST(CodecPlugInHost, ResultsWhenNothingAnswers)
{
    struct Case {
        const char* name;
        CodecUUIDBytes plugInType;
        CodecUUIDBytes iid;
        CodecResult first;
        CodecResult all;
    };
    const Case cases[] = {
        {"no factory for the type", FixtureUnknownPlugInTypeID, IImageCodecID, CODEC_E_FAIL, CODEC_E_FAIL},
        {"the factory makes no instance", FixtureNullPlugInTypeID, IImageCodecID, CODEC_E_FAIL, 0},
        {"every instance refuses", ImageCodecPlugInTypeID, ICFArrayID, CODEC_E_NOINTERFACE, 0},
    };
    CodecPlugInHost host(CODEC_PLUGINS_FULL);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = &host;
        EXPECT_EQ(host.CreatePlugInInstance(c.plugInType, c.iid, &out), c.first);
        EXPECT_EQ(out, nullptr);
        Ref<IUnknownArray> all = IUnknownArray::create();
        EXPECT_EQ(host.CreatePlugInInstances(c.plugInType, c.iid, &all), c.all);
        EXPECT_EQ(all, nullptr);
    }
    EXPECT_EQ(codecCounters(CODEC_PLUGINS_FULL).alive, 0);
}

TEST(CodecPlugInHost, CoreIsInitialisedOnceWithTheHostInformation)
{
    CodecPlugInHost host(CODEC_PLUGINS_FULL);
    ASSERT_TRUE(host.InitCodecPlugIns());
    ASSERT_TRUE(host.InitCodecPlugIns());
    auto* core = reinterpret_cast<FixtureCore*>(host.codecCore());
    ASSERT_NE(core, nullptr);
    const FixtureCoreReport& report = *core->vtbl->Report(core);
    EXPECT_EQ(report.initializeCalls, 1);
    EXPECT_EQ(report.companyName, u"Zov Systems");
    EXPECT_EQ(report.productName, u"Vistel");
    EXPECT_EQ(report.productNameMutable, 0);
    EXPECT_TRUE(report.allocatorWorks);
    EXPECT_TRUE(report.allocatorKeptAlive);
    std::uint32_t expected = 0;
    for (int i : {kCodecIdentifierIZOVProgress, kCodecIdentifierDictionary2, kCodecIdentifierIColorSpace,
             kCodecIdentifierICFBoolean, kCodecIdentifierICFNumber, kCodecIdentifierICFArray,
             kCodecIdentifierICFDictionary, kCodecIdentifierIUniCharString, kCodecIdentifierICFAllocator,
             kCodecIdentifierIZOVImage})
        expected |= 1u << i;
    // The second dictionary identifier is answered with an ICFDictionary, which does not
    // answer that identifier itself.
    expected &= ~(1u << kCodecIdentifierDictionary2);
    EXPECT_EQ(report.madeObjects, expected);
    EXPECT_TRUE(report.unknownIdentifierRefused);
    EXPECT_TRUE(report.sharedAllocatorStable);
}

TEST(CodecPlugInHost, CoreWhoseInitialisationFailsIsNoCore)
{
    ScopedLogCapture log;
    CodecPlugInHost host(CODEC_PLUGINS_FAILING_CORE);
    EXPECT_FALSE(host.InitCodecPlugIns());
    EXPECT_EQ(host.codecCore(), nullptr);
    EXPECT_TRUE(log.contains("CodecPlugInHost::CreateCodecCore the codec core failed to initialise"));
    EXPECT_EQ(host.CreateCodecCore(), nullptr);
    // The codecs of the folder are still there.
    void* codec = nullptr;
    EXPECT_EQ(host.CreatePlugInInstance(ImageCodecPlugInTypeID, IImageCodecID, &codec), 0);
    CodecRelease(codec);
}

TEST(CodecPlugInHost, ProcessFunctionsUseTheBundlePlugInsFolder)
{
    Bundle::setPlugInsPathOverride(CODEC_PLUGINS_FULL);
    EXPECT_EQ(CodecPlugInHost::shared().folder(), CODEC_PLUGINS_FULL);
    EXPECT_TRUE(LoadPlugIns());
    void* codec = nullptr;
    EXPECT_EQ(CreatePlugInInstance(ImageCodecPlugInTypeID, IImageCodecID, &codec), 0);
    CodecRelease(codec);
    Ref<IUnknownArray> codecs;
    EXPECT_EQ(CreatePlugInInstances(ImageCodecPlugInTypeID, IImageCodecID, &codecs), 0);
    EXPECT_EQ(codecs ? codecs->count() : 0u, 1u);
    ICodecCore* core = CreateCodecCore();
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(CodecRelease(core), 0u);
    Bundle::setPlugInsPathOverride("");
}
