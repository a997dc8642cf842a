#include "CodecPlugIn.h"

#include <cmath>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "Imaging/ComSupport.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Value.h"

namespace vistel::codec {

namespace {

struct CodecCoreImp;

struct HostServices {
    std::mutex lock;
    const CodecCoreImp* owner = nullptr; // the core whose initialisation is kept
    CreateHostObjectFunc factory = nullptr;
    AutoPtr<IAllocator> allocator;
    AutoPtr<IUniCharString> companyName;
    AutoPtr<IUniCharString> productName;
};

HostServices& services()
{
    static HostServices* s = new HostServices; // lives as long as the process: plug-ins are never unloaded
    return *s;
}

CreateHostObjectFunc hostFactory()
{
    HostServices& s = services();
    std::lock_guard guard(s.lock);
    return s.factory;
}

// Exceptions must not cross the C contract: a decoder that throws (for want of memory for a
// large picture, say) fails like a damaged file.
template <auto Function>
struct WithoutExceptions;
template <class... Args, CodecResult (*Function)(Args...)>
struct WithoutExceptions<Function> {
    static CodecResult call(Args... args) noexcept
    {
        try {
            return Function(args...);
        } catch (...) {
            return kCodecDecodeFailed;
        }
    }
};

// ---- codec core ----------------------------------------------------------------------------

struct CodecCoreImp : ICodecCore {
    using Interface = ICodecCore;
    static void fillTable(ICodecCoreVtbl& t) { t.Initialize = &initialize; }

    CodecCoreImp() = default;
    // A host that lets its core go (a test host, before it unloads its plug-ins) takes the
    // host information with it: the references it holds belong to that host.
    ~CodecCoreImp()
    {
        HostServices& s = services();
        std::lock_guard guard(s.lock);
        if (s.owner == this) {
            s.owner = nullptr;
            s.factory = nullptr;
            s.allocator = nullptr;
            s.companyName = nullptr;
            s.productName = nullptr;
        }
    }

    static CodecResult initialize(ICodecCore* self, const CodecHostInfo* info)
    {
        if (!info || !info->createHostObject)
            return CODEC_E_INVALIDARG;
        HostServices& s = services();
        std::lock_guard guard(s.lock);
        s.owner = static_cast<CodecCoreImp*>(self);
        s.factory = info->createHostObject;
        s.allocator = info->allocator; // AutoPtr assignment adds the core's own reference
        s.companyName = info->companyName;
        s.productName = info->productName;
        return CODEC_S_OK;
    }
};
using CodecCoreObject = TComObject<CodecCoreImp, &ICodecCoreID>;

// The decode state answers only IUnknown and this kit-private identifier: the host never asks
// a decode state for another interface.
const CodecUUIDBytes kImageDecodeStateID = CODEC_UUID(0x25, 0x31, 0x20, 0xA1, 0x24, 0x6C, 0x42, 0x53, 0xB8, 0xB6, 0x33, 0xDD, 0x3C, 0xD5, 0x37, 0xED);

// ---- decode state --------------------------------------------------------------------------

struct DecodeStateImp : IImageDecodeState {
    using Interface = IImageDecodeState;
    explicit DecodeStateImp(std::unique_ptr<ImageDecoder> d) : decoder(std::move(d)) { }
    std::unique_ptr<ImageDecoder> decoder;
    std::string failure; // why the last page description or decode failed or is incomplete

    static DecodeStateImp* self(IImageDecodeState* p) { return static_cast<DecodeStateImp*>(p); }

    static void fillTable(IImageDecodeStateVtbl& t)
    {
        t.GetTypeInfo = &WithoutExceptions<&getTypeInfo>::call;
        t.GetPageInfo = &WithoutExceptions<&getPageInfo>::call;
        t.GetPageCount = &getPageCount;
        t.CopyFailure = &copyFailure;
        t.Decode = &WithoutExceptions<&decode>::call;
    }

    static IUniCharString* copyFailure(IImageDecodeState* p)
    {
        try {
            return self(p)->failure.empty() ? nullptr : createHostString(self(p)->failure);
        } catch (...) {
            return nullptr;
        }
    }

    static CodecResult getTypeInfo(IImageDecodeState* p, ImageTypeInfo* info)
    {
        if (!info)
            return CODEC_E_INVALIDARG;
        auto type = AutoPtr<IUniCharString>::adopt(createHostString(self(p)->decoder->typeIdentifier()));
        auto metadata = AutoPtr<ICFDictionary>::adopt(createHostDictionary(self(p)->decoder->imageProperties()));
        if (!type || !metadata)
            return CODEC_E_FAIL;
        info->formatType = type.detach();
        info->imageMetadata = metadata.detach();
        return CODEC_S_OK;
    }

    static CodecResult getPageInfo(IImageDecodeState* p, std::int32_t page, PageInfo* info)
    {
        if (!info)
            return CODEC_E_INVALIDARG;
        if (page < 0)
            return CODEC_E_PARAM;
        const auto description = self(p)->decoder->page(std::size_t(page));
        if (!description) {
            self(p)->failure = "page " + std::to_string(page) + " cannot be read";
            return kCodecDecodeFailed;
        }
        auto metadata = AutoPtr<ICFDictionary>::adopt(createHostDictionary(description->properties));
        if (!metadata)
            return CODEC_E_FAIL;
        info->flags = 0;
        info->width = description->width;
        info->height = description->height;
        info->bitsPerSample = description->bitsPerSample;
        if (description->dpiWidth > 0 && description->dpiHeight > 0 && description->dpiWidth < 1e6
            && description->dpiHeight < 1e6) {
            info->flags |= CODEC_PAGE_INFO_HAS_RESOLUTION;
            info->horizontalResolution = std::int32_t(std::lround(description->dpiWidth));
            info->verticalResolution = std::int32_t(std::lround(description->dpiHeight));
        }
        info->pageMetadata = metadata.detach();
        return CODEC_S_OK;
    }

    static CodecResult getPageCount(IImageDecodeState* p, std::uint32_t* count)
    {
        if (!count)
            return CODEC_E_INVALIDARG;
        *count = std::uint32_t(self(p)->decoder->pageCount());
        return CODEC_S_OK;
    }

    // The request's first integer names the page (0 for the first); its size is the thumbnail
    // box, of which the longer side bounds the result. The rectangle is not used.
    static CodecResult decode(IImageDecodeState* p, IDP_DecodeParam* params, CodecDecodeResult* result)
    {
        if (result)
            *result = CodecDecodeResult {};
        if (!params || !params->image)
            return CODEC_E_INVALIDARG;
        DecodeOptions options;
        switch (params->mode) {
        case CODEC_DECODE_MODE_FULL:
            options.mode = DecodeMode::Full;
            break;
        case CODEC_DECODE_MODE_EMBEDDED_THUMBNAIL:
            options.mode = DecodeMode::EmbeddedThumbnail;
            break;
        case CODEC_DECODE_MODE_THUMBNAIL:
            options.mode = DecodeMode::Thumbnail;
            break;
        case CODEC_DECODE_MODE_THUMBNAIL_DECODED:
            options.mode = DecodeMode::ReducedImage;
            break;
        default:
            return CODEC_E_PARAM;
        }
        if (options.isThumbnail())
            options.maxPixelSize = std::uint32_t(std::max({ params->size.width, params->size.height, 0 }));
        if (IProgress* progress = params->progress)
            options.cancelled = [progress] { return progress->vtbl->IsCancelled(progress) != 0; };
        if (params->field0 < 0)
            return CODEC_E_PARAM;
        DecodeResult decoded;
        try {
            decoded = self(p)->decoder->decode(std::size_t(params->field0), options);
        } catch (const std::bad_alloc&) {
            decoded = DecodeResult::failure("not enough memory");
        }
        self(p)->failure = decoded.image && !decoded.partial ? std::string() : decoded.error;
        if (!decoded.image) {
            if (self(p)->failure.empty())
                self(p)->failure = "decoding failed";
            return kCodecDecodeFailed;
        }
        if (params->progress)
            params->progress->vtbl->ReportProgress(params->progress, 1.0);
        return params->image->vtbl->SetImage(params->image, decoded.image.get()) < 0 ? CODEC_E_IMAGE : CODEC_S_OK;
    }
};
using DecodeStateObject = TComObject<DecodeStateImp, &kImageDecodeStateID>;

// ---- codec -----------------------------------------------------------------------------------

struct ImageCodecImp : IImageCodec {
    using Interface = IImageCodec;
    explicit ImageCodecImp(std::unique_ptr<ImageCodec> c) : codec(std::move(c)) { }

    std::unique_ptr<ImageCodec> codec;
    std::mutex lock;
    bool listed = false;
    std::vector<AutoPtr<IUniCharString>> strings; // keeps the descriptors' strings alive
    std::vector<CodecFormatDescriptor> descriptors;
    std::vector<const CodecFormatDescriptor*> pointers;

    static ImageCodecImp* self(IImageCodec* p) { return static_cast<ImageCodecImp*>(p); }

    static void fillTable(IImageCodecVtbl& t)
    {
        t.Open = &WithoutExceptions<&open>::call;
        t.GetFormats = &getFormats;
    }

    static CodecResult open(IImageCodec* p, std::int32_t, const CodecOpenParams* params, std::int32_t* accepted,
        IImageDecodeState** outState)
    {
        if (accepted)
            *accepted = 0;
        if (outState)
            *outState = nullptr;
        if (!params || !params->dataProvider)
            return CODEC_E_INVALIDARG;
        IDataProvider* provider = params->dataProvider;
        const CodecBytes* bytes = provider->vtbl->GetData(provider);
        if (!bytes || !bytes->bytes || bytes->size == 0)
            return CODEC_S_OK;
        // The decoder keeps the provider, and so the bytes, alive.
        provider->vtbl->AddRef(provider);
        EncodedData data { bytes->bytes, std::size_t(bytes->size),
            std::shared_ptr<const void>(provider, [](const void* q) { CodecRelease(const_cast<void*>(q)); }) };
        std::string failure;
        std::unique_ptr<ImageDecoder> decoder = self(p)->codec->open(std::move(data), &failure);
        if (!decoder) {
            if (!failure.empty() && params->failure && !*params->failure)
                *params->failure = createHostString(failure);
            return CODEC_S_OK;
        }
        if (accepted)
            *accepted = 1;
        if (outState)
            *outState = reinterpret_cast<IImageDecodeState*>(DecodeStateObject::create(std::move(decoder)));
        return CODEC_S_OK;
    }

    static CodecResult getFormats(IImageCodec* p, CodecFormatList* list)
    {
        if (!list)
            return CODEC_E_INVALIDARG;
        ImageCodecImp* s = self(p);
        std::lock_guard guard(s->lock);
        if (!s->listed) {
            if (!hostServicesAvailable())
                return CODEC_E_FAIL;
            const auto& formats = s->codec->formats();
            auto string = [s](const std::string& text) -> IUniCharString* {
                if (text.empty())
                    return nullptr;
                auto object = AutoPtr<IUniCharString>::adopt(createHostString(text));
                IUniCharString* raw = object.get();
                s->strings.push_back(std::move(object));
                return raw;
            };
            s->descriptors.reserve(formats.size());
            for (const CodecFormat& f : formats) {
                CodecFormatDescriptor d {};
                d.typeIdentifier = string(f.typeIdentifier);
                d.name = string(f.name);
                d.alternativeName = string(f.alternativeName);
                d.extensionList = string(f.extensions);
                d.extension = string(f.extension);
                d.mimeType = string(f.mimeType);
                s->descriptors.push_back(d);
            }
            for (const auto& d : s->descriptors)
                s->pointers.push_back(&d);
            s->listed = true;
        }
        list->count = std::uint32_t(s->pointers.size());
        list->descriptors = s->pointers.data();
        return CODEC_S_OK;
    }
};
using ImageCodecObject = TComObject<ImageCodecImp, &IImageCodecID>;

} // namespace

ICodecCore* createCodecCoreObject() { return CodecCoreObject::create(); }

IImageCodec* createImageCodecObject(std::unique_ptr<ImageCodec> codec)
{
    return ImageCodecObject::create(std::move(codec));
}

bool hostServicesAvailable() { return hostFactory() != nullptr; }

void* createHostObject(const CodecUUIDBytes& iid)
{
    CreateHostObjectFunc factory = hostFactory();
    return factory ? factory(nullptr, &iid) : nullptr;
}

IUniCharString* createHostString(const std::string& text)
{
    auto* string = static_cast<IUniCharString*>(createHostObject(IUniCharStringID));
    if (!string)
        return nullptr;
    if (string->vtbl->SetCString(string, text.c_str(), CODEC_ENCODING_UTF8) < 0) {
        CodecRelease(string);
        return nullptr;
    }
    return string;
}

ICFDictionary* createHostDictionary(const Value& dictionary)
{
    auto* object = static_cast<ICFDictionary*>(createHostObject(ICFDictionaryID));
    if (!object)
        return nullptr;
    const Value value = dictionary.isDictionary() ? dictionary : Value::dictionary();
    if (object->vtbl->SetDictionary(object, &value) < 0) {
        CodecRelease(object);
        return nullptr;
    }
    return object;
}

} // namespace vistel::codec
