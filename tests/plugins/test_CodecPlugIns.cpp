// The codec plug-ins as the program uses them: loaded by the codec host from the plug-ins
// folder, the core initialised with the host information, the codecs asked for their formats,
// to open encoded bytes, describe them and decode them into host image objects.

#include <gtest/gtest.h>

#include <map>
#include <new>

#include "CodecFixtures.h"
#include "CodecPlugIn.h"
#include "Imaging/CodecHostObjects.h"
#include "Imaging/CodecPlugInHost.h"
#include "Imaging/ComSupport.h"
#include "Platform/Bundle.h"
#include "Platform/Imaging/ImageProperties.h"

namespace vistel {
namespace {

class CodecPlugIns : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        host_ = new CodecPlugInHost(Bundle::main()->builtInPlugInsPath());
        ASSERT_TRUE(host_->InitCodecPlugIns()) << "no codec core in " << host_->folder();
        Ref<IUnknownArray> array;
        ASSERT_GE(host_->CreatePlugInInstances(ImageCodecPlugInTypeID, IImageCodecID, &array), 0);
        ASSERT_TRUE(array);
        for (std::size_t i = 0; i < array->count(); ++i) {
            auto* codec = static_cast<IImageCodec*>(array->at(i));
            CodecAddRef(codec);
            codecs_->push_back(AutoPtr<IImageCodec>::adopt(codec));
            // As the program's start-up does: each codec keeps its format list from now on.
            CodecFormatList list {};
            codec->vtbl->GetFormats(codec, &list);
            releaseFields(list);
        }
    }
    static void TearDownTestSuite()
    {
        codecs_->clear();
        delete host_;
        host_ = nullptr;
        // The core gave back what the host handed it, the codecs their format strings.
        EXPECT_EQ(codecHostLiveObjectCount(), 0);
    }

    void SetUp() override { liveAtStart_ = codecHostLiveObjectCount(); }
    void TearDown() override { EXPECT_EQ(codecHostLiveObjectCount(), liveAtStart_) << "host objects left alive"; }

    // The first codec that accepts the fixture, with its decode state.
    static AutoPtr<IImageDecodeState> open(const std::string& fixture)
    {
        auto bytes = test::readFixture(fixture);
        for (auto& codec : *codecs_) {
            CodecOpenParams params {};
            params.dataProvider = createDataProvider(bytes);
            std::int32_t accepted = 0;
            IImageDecodeState* state = nullptr;
            const CodecResult result = codec->vtbl->Open(codec.get(), 0, &params, &accepted, &state);
            releaseFields(params);
            if (result >= 0 && accepted)
                return AutoPtr<IImageDecodeState>::adopt(state);
            EXPECT_EQ(state, nullptr);
        }
        return {};
    }

    static Ref<PlatformImage> decode(IImageDecodeState* state, std::int32_t mode, std::int32_t size, CodecResult* result,
        IProgress* progress = nullptr)
    {
        IDP_DecodeParam params {};
        params.mode = mode;
        params.size = { size, size };
        params.image = createImageObject();
        params.progress = progress;
        if (progress)
            CodecAddRef(progress);
        CodecDecodeResult out {};
        *result = state->vtbl->Decode(state, &params, &out);
        Ref<PlatformImage> image = platformImageOf(params.image);
        releaseFields(params);
        return image;
    }

    static inline CodecPlugInHost* host_ = nullptr;
    static inline std::vector<AutoPtr<IImageCodec>>* codecs_ = new std::vector<AutoPtr<IImageCodec>>;
    std::int64_t liveAtStart_ = 0;
};

TEST_F(CodecPlugIns, everyCodecListsItsFormats)
{
    std::map<std::string, std::string> extensionsByType;
    for (auto& codec : *codecs_) {
        CodecFormatList list {};
        ASSERT_GE(codec->vtbl->GetFormats(codec.get(), &list), 0);
        ASSERT_GT(list.count, 0u);
        for (std::uint32_t i = 0; i < list.count; ++i) {
            const CodecFormatDescriptor* d = list.descriptors[i];
            extensionsByType[utf8StringOf(d->typeIdentifier)] = utf8StringOf(d->extensionList);
            EXPECT_FALSE(utf8StringOf(d->name).empty());
        }
        releaseFields(list);
    }
#ifdef VISTEL_HAVE_HEIF
    EXPECT_EQ(codecs_->size(), 8u);
    EXPECT_EQ(extensionsByType["public.heic"], "heic,heif");
    EXPECT_EQ(extensionsByType["public.avif"], "avif");
#else
    EXPECT_EQ(codecs_->size(), 7u);
#endif
    EXPECT_EQ(extensionsByType["public.jpeg"], "jpg,jpeg,jpe");
    EXPECT_EQ(extensionsByType["public.png"], "png");
    EXPECT_EQ(extensionsByType["public.tiff"], "tiff,tif");
    EXPECT_EQ(extensionsByType["org.webmproject.webp"], "webp");
    EXPECT_EQ(extensionsByType["com.compuserve.gif"], "gif");
    EXPECT_EQ(extensionsByType["com.microsoft.bmp"], "bmp,dib");
    EXPECT_EQ(extensionsByType["com.adobe.raw-image"], "dng");
}

TEST_F(CodecPlugIns, describesAndDecodesAJPEG)
{
    AutoPtr<IImageDecodeState> state = open("exif.jpg");
    ASSERT_TRUE(state);

    ImageTypeInfo type {};
    ASSERT_GE(state->vtbl->GetTypeInfo(state.get(), &type), 0);
    EXPECT_EQ(utf8StringOf(type.formatType), "public.jpeg");
    EXPECT_GT(dictionaryOf(type.imageMetadata)[kImagePropertyFileSize].toInt64(), 0);
    releaseFields(type);

    PageInfo page {};
    ASSERT_GE(state->vtbl->GetPageInfo(state.get(), 0, &page), 0);
    EXPECT_EQ(page.width, 64u);
    EXPECT_EQ(page.height, 48u);
    EXPECT_EQ(page.bitsPerSample, 8u);
    const Value metadata = dictionaryOf(page.pageMetadata);
    EXPECT_EQ(metadata[kImagePropertyTIFFDictionary][kImagePropertyTIFFOrientation].toInt64(), 6);
    EXPECT_EQ(metadata[kImagePropertyTIFFDictionary][kImagePropertyTIFFModel].toString(), "Fixture");
    releaseFields(page);

    std::uint32_t pages = 0;
    ASSERT_GE(state->vtbl->GetPageCount(state.get(), &pages), 0);
    EXPECT_EQ(pages, 1u);

    CodecResult result = 0;
    Ref<PlatformImage> full = decode(state.get(), CODEC_DECODE_MODE_FULL, 0, &result);
    ASSERT_GE(result, 0);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width(), 64u);
    // Mode 0: the EXIF thumbnail (32x24) of the fixture.
    Ref<PlatformImage> embedded = decode(state.get(), CODEC_DECODE_MODE_EMBEDDED_THUMBNAIL, 120, &result);
    ASSERT_GE(result, 0);
    ASSERT_TRUE(embedded);
    EXPECT_EQ(embedded->width(), 32u);
    // Mode 6: the main picture reduced to the size asked for.
    Ref<PlatformImage> reduced = decode(state.get(), CODEC_DECODE_MODE_THUMBNAIL_DECODED, 40, &result);
    ASSERT_GE(result, 0);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->width(), 40u);
    EXPECT_EQ(reduced->height(), 30u);
}

TEST_F(CodecPlugIns, eachFormatFindsItsCodec)
{
    const std::pair<const char*, const char*> cases[] = {
        { "rgba16.png", "public.png" }, { "multipage.tif", "public.tiff" }, { "alpha.webp", "org.webmproject.webp" },
        { "anim.gif", "com.compuserve.gif" }, { "rle8.bmp", "com.microsoft.bmp" }, { "cmyk.jpg", "public.jpeg" },
    };
    for (const auto& [fixture, expected] : cases) {
        AutoPtr<IImageDecodeState> state = open(fixture);
        ASSERT_TRUE(state) << fixture;
        ImageTypeInfo type {};
        ASSERT_GE(state->vtbl->GetTypeInfo(state.get(), &type), 0);
        EXPECT_EQ(utf8StringOf(type.formatType), expected);
        releaseFields(type);
        CodecResult result = 0;
        Ref<PlatformImage> image = decode(state.get(), CODEC_DECODE_MODE_FULL, 0, &result);
        EXPECT_GE(result, 0) << fixture;
        EXPECT_TRUE(image) << fixture;
    }
    AutoPtr<IImageDecodeState> multipage = open("multipage.tif");
    std::uint32_t pages = 0;
    ASSERT_GE(multipage->vtbl->GetPageCount(multipage.get(), &pages), 0);
    EXPECT_EQ(pages, 2u);
}

TEST_F(CodecPlugIns, refusesWhatNoCodecReads)
{
    auto text = std::make_shared<std::vector<std::uint8_t>>(std::vector<std::uint8_t>(256, 'x'));
    for (auto& codec : *codecs_) {
        CodecOpenParams params {};
        params.dataProvider = createDataProvider(text);
        std::int32_t accepted = 1;
        IImageDecodeState* state = nullptr;
        EXPECT_GE(codec->vtbl->Open(codec.get(), 0, &params, &accepted, &state), 0);
        EXPECT_EQ(accepted, 0);
        EXPECT_EQ(state, nullptr);
        releaseFields(params);
    }
}

TEST_F(CodecPlugIns, aCancelledProgressEndsTheDecode)
{
    AutoPtr<IImageDecodeState> state = open("baseline.jpg");
    ASSERT_TRUE(state);
    IProgress* progress = createProgressObject();
    progress->vtbl->SetCancelled(progress, 1);
    CodecResult result = 0;
    Ref<PlatformImage> image = decode(state.get(), CODEC_DECODE_MODE_FULL, 0, &result, progress);
    CodecRelease(progress);
    EXPECT_LT(result, 0);
    EXPECT_FALSE(image);
}

TEST_F(CodecPlugIns, badRequestsAreRefused)
{
    AutoPtr<IImageDecodeState> state = open("baseline.jpg");
    ASSERT_TRUE(state);
    CodecResult result = 0;
    EXPECT_FALSE(decode(state.get(), 3, 0, &result)); // no such mode
    EXPECT_LT(result, 0);
    EXPECT_LT(state->vtbl->Decode(state.get(), nullptr, nullptr), 0);
    PageInfo page {};
    EXPECT_LT(state->vtbl->GetPageInfo(state.get(), 1, &page), 0);
    EXPECT_EQ(page.pageMetadata, nullptr);
}

// A codec whose every answer throws, as a decoder does when a picture's buffer cannot be had.
class ThrowingCodec final : public codec::ImageCodec {
    class Decoder final : public codec::ImageDecoder {
    public:
        explicit Decoder(codec::EncodedData data) : ImageDecoder(std::move(data)) { }
        std::string typeIdentifier() const override { throw std::bad_alloc(); }
        std::optional<codec::PageDescription> page(std::size_t) override { throw std::bad_alloc(); }
        codec::DecodeResult decode(std::size_t, const codec::DecodeOptions&) override { throw std::bad_alloc(); }
    };

public:
    const std::vector<codec::CodecFormat>& formats() const override
    {
        static const std::vector<codec::CodecFormat> none;
        return none;
    }
    // Bytes starting with '!' make the opening itself throw.
    std::unique_ptr<codec::ImageDecoder> openData(codec::EncodedData data, std::string&) const override
    {
        if (data.bytes[0] == '!')
            throw std::bad_alloc();
        return std::make_unique<Decoder>(std::move(data));
    }
};

TEST(CodecGlue, aThrowingDecoderFailsWithoutLettingTheExceptionOut)
{
    const std::int64_t liveAtStart = codecHostLiveObjectCount();
    {
        auto codec = AutoPtr<IImageCodec>::adopt(codec::createImageCodecObject(std::make_unique<ThrowingCodec>()));
        ASSERT_TRUE(codec);
        auto openWith = [&](char first, IImageDecodeState** state) {
            CodecOpenParams params {};
            params.dataProvider = createDataProvider(std::make_shared<const std::vector<std::uint8_t>>(4, std::uint8_t(first)));
            std::int32_t accepted = 0;
            CodecResult result = 0;
            EXPECT_NO_THROW(result = codec->vtbl->Open(codec.get(), 0, &params, &accepted, state));
            releaseFields(params);
            return result;
        };
        IImageDecodeState* refused = nullptr;
        EXPECT_LT(openWith('!', &refused), 0);
        EXPECT_EQ(refused, nullptr);

        IImageDecodeState* raw = nullptr;
        ASSERT_GE(openWith('x', &raw), 0);
        auto state = AutoPtr<IImageDecodeState>::adopt(raw);
        ASSERT_TRUE(state);
        CodecResult result = 0;
        PageInfo page {};
        EXPECT_NO_THROW(result = state->vtbl->GetPageInfo(state.get(), 0, &page));
        EXPECT_LT(result, 0);
        ImageTypeInfo type {};
        EXPECT_NO_THROW(result = state->vtbl->GetTypeInfo(state.get(), &type));
        EXPECT_LT(result, 0);
        EXPECT_EQ(type.formatType, nullptr);
        IDP_DecodeParam params {};
        params.mode = CODEC_DECODE_MODE_FULL;
        params.image = createImageObject();
        CodecDecodeResult out {};
        EXPECT_NO_THROW(result = state->vtbl->Decode(state.get(), &params, &out));
        EXPECT_LT(result, 0);
        EXPECT_FALSE(platformImageOf(params.image));
        releaseFields(params);
    }
    EXPECT_EQ(codecHostLiveObjectCount(), liveAtStart);
}

} // namespace
} // namespace vistel
