#include "Imaging/CodecHostObjects.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include "Imaging/ComSupport.h"
#include "Platform/Imaging/PlatformColorSpace.h"

namespace vistel {

namespace {

std::atomic<std::int64_t> liveObjects {0};

// A member of every host implementation class, so the live count covers all kinds.
struct LiveToken {
    LiveToken() noexcept { liveObjects.fetch_add(1, std::memory_order_relaxed); }
    LiveToken(const LiveToken&) = delete;
    ~LiveToken() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }
};

} // namespace

std::int64_t codecHostLiveObjectCount() noexcept
{
    return liveObjects.load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// IZOVImage

namespace ZOV {

// The bitmap behind an IZOVImage: its format record, the writable pixel base of pictures made
// from a buffer (null for platform images set from outside) and the platform image.
struct Image {
    ImageFormat format {};
    std::uint8_t* pixelBase = nullptr;
    Ref<PlatformImage> image;
    std::shared_ptr<std::vector<std::uint8_t>> buffer;

    void clear()
    {
        format = ImageFormat {};
        pixelBase = nullptr;
        image = nullptr;
        buffer.reset();
    }

    bool take(Ref<PlatformImage> newImage)
    {
        constexpr std::size_t max = std::numeric_limits<std::uint32_t>::max();
        if (newImage->width() > max || newImage->height() > max || newImage->bytesPerRow() > max
            || newImage->bitsPerPixel() > max || newImage->bitsPerComponent() > max)
            return false;
        format.width = std::uint32_t(newImage->width());
        format.height = std::uint32_t(newImage->height());
        format.bytesPerRow = std::uint32_t(newImage->bytesPerRow());
        format.bitsPerComponent = std::uint32_t(newImage->bitsPerComponent());
        format.bitsPerPixel = std::uint32_t(newImage->bitsPerPixel());
        format.bitmapInfo = std::uint32_t(newImage->alphaInfo()) | newImage->bitmapInfo();
        format.colorModel
            = newImage->colorSpace() ? newImage->colorSpace()->fourCharModel() : CODEC_COLOR_MODEL_RGB;
        image = std::move(newImage);
        return true;
    }
};

} // namespace ZOV

namespace {

Ref<PlatformColorSpace> colorSpaceForModel(std::uint32_t model)
{
    switch (model) {
    case CODEC_COLOR_MODEL_GREY:
        return PlatformColorSpace::createDeviceGray();
    case CODEC_COLOR_MODEL_CMYK:
        return PlatformColorSpace::createDeviceCMYK();
    case CODEC_COLOR_MODEL_LAB:
        return PlatformColorSpace::createLab();
    default: // " RGB", and any model the record does not name otherwise
        return PlatformColorSpace::createDeviceRGB();
    }
}

struct IZOVImageImp : IZOVImage {
    using Interface = IZOVImage;
    std::unique_ptr<ZOV::Image> image = std::make_unique<ZOV::Image>();
    LiveToken token;

    static IZOVImageImp* of(IZOVImage* self) { return static_cast<IZOVImageImp*>(self); }

    static CodecResult createFromBuffer(IZOVImage* self, const ImageFormat* format, const void* pixels,
        std::uint64_t byteSize)
    {
        ZOV::Image& image = *of(self)->image;
        image.clear();
        if (!format)
            return CODEC_E_IMAGE;
        const std::uint64_t needed = std::uint64_t(format->bytesPerRow) * format->height;
        if (needed == 0 || (pixels && byteSize < needed))
            return CODEC_E_IMAGE;
        try {
            auto buffer = std::make_shared<std::vector<std::uint8_t>>(std::size_t(needed));
            if (pixels)
                std::memcpy(buffer->data(), pixels, std::size_t(needed));
            std::uint8_t* base = buffer->data();
            auto platformImage = PlatformImage::createWithBuffer(format->width, format->height,
                format->bitsPerComponent, format->bitsPerPixel, format->bytesPerRow, format->bitmapInfo,
                colorSpaceForModel(format->colorModel), buffer, base, std::size_t(needed));
            if (!platformImage || !image.take(std::move(platformImage))) {
                image.clear();
                return CODEC_E_IMAGE;
            }
            image.pixelBase = base;
            image.buffer = std::move(buffer);
            return CODEC_S_OK;
        } catch (const std::exception&) {
            image.clear();
            return CODEC_E_IMAGE;
        }
    }

    static CodecResult setImage(IZOVImage* self, const CodecPlatformImage* platformImage)
    {
        if (!platformImage)
            return CODEC_E_IMAGE;
        ZOV::Image candidate;
        if (!candidate.take(Ref<PlatformImage>(const_cast<PlatformImage*>(platformImage))))
            return CODEC_E_IMAGE;
        *of(self)->image = std::move(candidate);
        return CODEC_S_OK;
    }

    static std::uint8_t* rowAddress(IZOVImage* self, std::uint32_t y)
    {
        const ZOV::Image& image = *of(self)->image;
        if (!image.image || y >= image.format.height)
            return nullptr;
        std::uint8_t* base = image.pixelBase ? image.pixelBase : const_cast<std::uint8_t*>(image.image->bytes());
        return base + std::size_t(y) * image.format.bytesPerRow;
    }

    static std::uint64_t byteSize(IZOVImage* self)
    {
        const ImageFormat& f = of(self)->image->format;
        return std::uint64_t(f.bytesPerRow) * f.height;
    }

    static const ImageFormat* format(IZOVImage* self) { return &of(self)->image->format; }
    static void* slot8(IZOVImage*) { return nullptr; }
    static CodecZeroRecord16* slot9(IZOVImage*, CodecZeroRecord16* record)
    {
        if (record)
            *record = CodecZeroRecord16 {};
        return record;
    }
    static void slot10(IZOVImage*, CodecZeroRecord16* record)
    {
        if (record)
            *record = CodecZeroRecord16 {};
    }
    static void slot11(IZOVImage*) { }

    static void fillTable(IZOVImageVtbl& t)
    {
        t.CreateFromBuffer = createFromBuffer;
        t.SetImage = setImage;
        t.RowAddress = rowAddress;
        t.ByteSize = byteSize;
        t.Format = format;
        t.Slot8 = slot8;
        t.Slot9 = slot9;
        t.Slot10 = slot10;
        t.Slot11 = slot11;
    }
};
using ImageObject = TComObject<IZOVImageImp, &IZOVImageID>;

// ---------------------------------------------------------------------------------------------
// IColorSpace

struct IZOVColorSpaceImp : IColorSpace {
    using Interface = IColorSpace;
    Ref<PlatformColorSpace> colorSpace;
    LiveToken token;

    static IZOVColorSpaceImp* of(IColorSpace* self) { return static_cast<IZOVColorSpaceImp*>(self); }

    static void setGenericRGB(IColorSpace* self) { of(self)->colorSpace = PlatformColorSpace::createDeviceRGB(); }
    static void setGenericGray(IColorSpace* self) { of(self)->colorSpace = PlatformColorSpace::createDeviceGray(); }
    static void setFromName(IColorSpace* self, IUniCharString* name);
    static const CodecPlatformColorSpace* get(IColorSpace* self) { return of(self)->colorSpace.get(); }

    static void fillTable(IColorSpaceVtbl& t)
    {
        t.SetGenericRGB = setGenericRGB;
        t.SetGenericGray = setGenericGray;
        t.SetFromName = setFromName;
        t.Get = get;
    }
};
using ColorSpaceObject = TComObject<IZOVColorSpaceImp, &IColorSpaceID>;

// ---------------------------------------------------------------------------------------------
// IDataProvider

struct IDataProviderWithCFDataImp : IDataProvider {
    using Interface = IDataProvider;
    std::shared_ptr<const void> owner;
    CodecBytes data {};
    std::uint64_t position = 0;
    LiveToken token;

    IDataProviderWithCFDataImp(std::shared_ptr<const void> o, const std::uint8_t* bytes, std::size_t size)
        : owner(std::move(o)), data {bytes, size}
    {
    }
    static IDataProviderWithCFDataImp* of(IDataProvider* self)
    {
        return static_cast<IDataProviderWithCFDataImp*>(self);
    }

    static CodecResult getBytePointer(IDataProvider* self, const std::uint8_t** out)
    {
        if (!out)
            return CODEC_E_INVALIDARG;
        *out = of(self)->data.bytes;
        return CODEC_S_OK;
    }
    static CodecResult getSize(IDataProvider* self, std::uint64_t* out)
    {
        if (!out)
            return CODEC_E_INVALIDARG;
        *out = of(self)->data.size;
        return CODEC_S_OK;
    }
    static CodecResult setPosition(IDataProvider* self, std::uint64_t position, std::uint64_t* out)
    {
        auto* imp = of(self);
        imp->position = std::min(position, imp->data.size);
        if (out)
            *out = imp->position;
        return CODEC_S_OK;
    }
    static const CodecBytes* getData(IDataProvider* self) { return &of(self)->data; }

    static void fillTable(IDataProviderVtbl& t)
    {
        t.GetBytePointer = getBytePointer;
        t.GetSize = getSize;
        t.SetPosition = setPosition;
        t.GetData = getData;
    }
};
using DataProviderObject = TComObject<IDataProviderWithCFDataImp, &IDataProviderID>;

// ---------------------------------------------------------------------------------------------
// IUniCharString

// Converts NUL-terminated bytes in `encoding` to UTF-16; false for an unknown encoding or bytes
// that are not valid in it.
bool decodeCString(const char* bytes, std::uint32_t encoding, std::u16string& out)
{
    const char* from = nullptr;
    switch (encoding) {
    case CODEC_ENCODING_MAC_ROMAN:
        from = "MACINTOSH";
        break;
    case CODEC_ENCODING_UTF8:
    case CODEC_ENCODING_SYSTEM:
        from = "UTF-8";
        break;
    default:
        return false;
    }
    iconv_t cd = iconv_open("UTF-16LE", from);
    if (cd == iconv_t(-1))
        return false;
    std::size_t inLeft = std::strlen(bytes);
    std::vector<char> output(inLeft * 4 + 4);
    char* in = const_cast<char*>(bytes);
    char* outPtr = output.data();
    std::size_t outLeft = output.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == std::size_t(-1) || inLeft != 0)
        return false;
    const std::size_t produced = output.size() - outLeft;
    out.clear();
    out.reserve(produced / 2);
    for (std::size_t i = 0; i + 1 < produced; i += 2)
        out.push_back(char16_t(std::uint8_t(output[i]) | (std::uint8_t(output[i + 1]) << 8)));
    return true;
}

char32_t foldCase(char16_t unit)
{
    return QChar::toCaseFolded(char32_t(unit));
}

struct UniCharStringCF : IUniCharString {
    using Interface = IUniCharString;
    // First word after the table pointer: the string held, owned, null until one is set.
    std::u16string* string = nullptr;
    std::uint8_t isMutable = 0;
    LiveToken token;

    UniCharStringCF() = default;
    UniCharStringCF(std::u16string text, bool mutableFlag)
        : string(new std::u16string(std::move(text))), isMutable(mutableFlag)
    {
    }
    ~UniCharStringCF() { delete string; }

    static UniCharStringCF* of(IUniCharString* self) { return static_cast<UniCharStringCF*>(self); }
    void set(std::u16string text, bool mutableFlag)
    {
        auto* replacement = new std::u16string(std::move(text));
        delete std::exchange(string, replacement);
        isMutable = mutableFlag;
    }
    std::int64_t length() const { return string ? std::int64_t(string->size()) : 0; }
    bool rangeInside(std::int64_t location, std::int64_t count) const
    {
        return location >= 0 && count >= 0 && location <= length() && count <= length() - location;
    }

    static IUniCharString* newObject(std::u16string text, bool mutableFlag);

    static IUniCharString* mutableCopy(IUniCharString* self, std::int64_t)
    {
        auto* imp = of(self);
        return imp->string ? newObject(*imp->string, true) : nullptr;
    }
    static IUniCharString* copy(IUniCharString* self)
    {
        auto* imp = of(self);
        return imp->string ? newObject(*imp->string, false) : nullptr;
    }
    static IUniCharString* substring(IUniCharString* self, std::int64_t location, std::int64_t count)
    {
        auto* imp = of(self);
        if (!imp->string || !imp->rangeInside(location, count))
            return nullptr;
        return newObject(imp->string->substr(std::size_t(location), std::size_t(count)), false);
    }
    static void slot6(IUniCharString*) { }
    static CodecResult setCString(IUniCharString* self, const char* bytes, std::uint32_t encoding)
    {
        if (!bytes)
            return CODEC_E_PARAM;
        try {
            std::u16string text;
            if (!decodeCString(bytes, encoding, text))
                return CODEC_E_PARAM;
            of(self)->set(std::move(text), false);
            return CODEC_S_OK;
        } catch (const std::exception&) {
            return CODEC_E_PARAM;
        }
    }
    static CodecResult setCharacters(IUniCharString* self, const std::uint16_t* chars, std::int64_t count)
    {
        if (count < 0 || (!chars && count > 0))
            return CODEC_E_PARAM;
        try {
            std::u16string text(std::size_t(count), u'\0');
            if (count > 0)
                std::memcpy(text.data(), chars, std::size_t(count) * sizeof(char16_t));
            of(self)->set(std::move(text), false);
            return CODEC_S_OK;
        } catch (const std::exception&) {
            return CODEC_E_PARAM;
        }
    }
    static void setMutableString(IUniCharString* self, const CodecString* text)
    {
        if (text)
            of(self)->set(*text, true);
    }
    static void setString(IUniCharString* self, const CodecString* text)
    {
        if (text)
            of(self)->set(*text, false);
    }
    static const CodecString* get(IUniCharString* self) { return of(self)->string; }
    static std::uint8_t isMutableSlot(IUniCharString* self) { return of(self)->isMutable; }
    static std::int64_t lengthSlot(IUniCharString* self) { return of(self)->length(); }
    static std::uint16_t characterAtIndex(IUniCharString* self, std::int64_t index)
    {
        auto* imp = of(self);
        if (index < 0 || index >= imp->length())
            return 0;
        return (*imp->string)[std::size_t(index)];
    }
    static CodecResult getCharacters(IUniCharString* self, std::int64_t location, std::int64_t count,
        std::uint16_t* buffer)
    {
        auto* imp = of(self);
        if (!imp->rangeInside(location, count) || (!buffer && count > 0))
            return CODEC_E_PARAM;
        if (count > 0)
            std::memcpy(buffer, imp->string->data() + location, std::size_t(count) * sizeof(char16_t));
        return CODEC_S_OK;
    }
    static CodecResult find(IUniCharString* self, IUniCharString* other, std::uint32_t options,
        std::int64_t* outLocation, std::int64_t* outLength);

    static void fillTable(IUniCharStringVtbl& t)
    {
        t.MutableCopy = mutableCopy;
        t.Copy = copy;
        t.Substring = substring;
        t.Slot6 = slot6;
        t.SetCString = setCString;
        t.SetCharacters = setCharacters;
        t.SetMutableString = setMutableString;
        t.SetString = setString;
        t.Get = get;
        t.IsMutable = isMutableSlot;
        t.Length = lengthSlot;
        t.CharacterAtIndex = characterAtIndex;
        t.GetCharacters = getCharacters;
        t.Find = find;
    }
};
using StringObject = TComObject<UniCharStringCF, &IUniCharStringID>;

IUniCharString* UniCharStringCF::newObject(std::u16string text, bool mutableFlag)
{
    try {
        return StringObject::create(std::move(text), mutableFlag);
    } catch (const std::exception&) {
        return nullptr;
    }
}

CodecResult UniCharStringCF::find(IUniCharString* self, IUniCharString* other, std::uint32_t options,
    std::int64_t* outLocation, std::int64_t* outLength)
{
    std::int64_t location = CODEC_NOT_FOUND, length = 0;
    const std::u16string* haystack = of(self)->string;
    std::u16string otherText;
    const std::u16string* needle = nullptr;
    if (other && other->vtbl == &StringObject::table()) {
        needle = of(other)->string;
    } else if (other) {
        try {
            otherText = stringOf(other);
            needle = &otherText;
        } catch (const std::exception&) {
        }
    }
    if (haystack && needle && !needle->empty() && needle->size() <= haystack->size()) {
        const bool caseless = options & CODEC_COMPARE_CASE_INSENSITIVE;
        const bool backwards = options & CODEC_COMPARE_BACKWARDS;
        const bool anchored = options & CODEC_COMPARE_ANCHORED;
        const std::size_t n = needle->size(), last = haystack->size() - n;
        auto matchesAt = [&](std::size_t at) {
            for (std::size_t i = 0; i < n; ++i) {
                const char16_t a = (*haystack)[at + i], b = (*needle)[i];
                if (a != b && !(caseless && foldCase(a) == foldCase(b)))
                    return false;
            }
            return true;
        };
        if (anchored) {
            const std::size_t at = backwards ? last : 0;
            if (matchesAt(at))
                location = std::int64_t(at);
        } else if (backwards) {
            for (std::size_t at = last + 1; at-- > 0;)
                if (matchesAt(at)) {
                    location = std::int64_t(at);
                    break;
                }
        } else {
            for (std::size_t at = 0; at <= last; ++at)
                if (matchesAt(at)) {
                    location = std::int64_t(at);
                    break;
                }
        }
        if (location != CODEC_NOT_FOUND)
            length = std::int64_t(n);
    }
    if (outLocation)
        *outLocation = location;
    if (outLength)
        *outLength = length;
    return CODEC_S_OK;
}

void IZOVColorSpaceImp::setFromName(IColorSpace* self, IUniCharString* name)
{
    std::string text;
    try {
        text = utf8StringOf(name);
    } catch (const std::exception&) {
    }
    Ref<PlatformColorSpace> space;
    if (text == CODEC_COLORSPACE_GENERIC_RGB)
        space = PlatformColorSpace::createDeviceRGB();
    else if (text == CODEC_COLORSPACE_GENERIC_GRAY)
        space = PlatformColorSpace::createDeviceGray();
    else if (text == CODEC_COLORSPACE_GENERIC_CMYK)
        space = PlatformColorSpace::createDeviceCMYK();
    else if (text == CODEC_COLORSPACE_GENERIC_LAB)
        space = PlatformColorSpace::createLab();
    else if (text == CODEC_COLORSPACE_SRGB)
        space = PlatformColorSpace::createSRGB();
    of(self)->colorSpace = std::move(space);
}

// ---------------------------------------------------------------------------------------------
// ICFDictionary

struct ICFDictionaryImp : ICFDictionary {
    using Interface = ICFDictionary;
    Value dictionary; // null until a dictionary is set
    std::uint8_t isMutable = 0;
    LiveToken token;

    static ICFDictionaryImp* of(ICFDictionary* self) { return static_cast<ICFDictionaryImp*>(self); }

    CodecResult set(const CodecValue* value, bool mutableFlag)
    {
        if (value && !value->isDictionary())
            return CODEC_E_PARAM;
        dictionary = value ? *value : Value();
        isMutable = value && mutableFlag;
        return CODEC_S_OK;
    }
    // Slots 3 and 4 go through the object's own table, as the contract fixes.
    static CodecResult setMutableAlias(ICFDictionary* self, const CodecValue* value)
    {
        return self->vtbl->SetMutableDictionary(self, value);
    }
    static CodecResult setAlias(ICFDictionary* self, const CodecValue* value)
    {
        return self->vtbl->SetDictionary(self, value);
    }
    static CodecValue* get(ICFDictionary* self)
    {
        auto* imp = of(self);
        return imp->dictionary.isDictionary() ? &imp->dictionary : nullptr;
    }
    static CodecResult setMutable(ICFDictionary* self, const CodecValue* value) { return of(self)->set(value, true); }
    static CodecResult setImmutable(ICFDictionary* self, const CodecValue* value)
    {
        return of(self)->set(value, false);
    }

    static void fillTable(ICFDictionaryVtbl& t)
    {
        t.SetMutableDictionaryAlias = setMutableAlias;
        t.SetDictionaryAlias = setAlias;
        t.Get = get;
        t.SetMutableDictionary = setMutable;
        t.SetDictionary = setImmutable;
    }
};
using DictionaryObject = TComObject<ICFDictionaryImp, &ICFDictionaryID>;

// ---------------------------------------------------------------------------------------------
// ICFArray, ICFNumber, ICFBoolean: the value word points at the object's own Value.

template <class I>
struct ValueHolderImp : I {
    using Interface = I;
    Value storage;
    LiveToken token;
    ValueHolderImp() { this->value = &storage; }
    template <class Table>
    static void fillTable(Table&)
    {
    }
};
using ArrayObject = TComObject<ValueHolderImp<ICFArray>, &ICFArrayID>;
using NumberObject = TComObject<ValueHolderImp<ICFNumber>, &ICFNumberID>;
using BooleanObject = TComObject<ValueHolderImp<ICFBoolean>, &ICFBooleanID>;

// ---------------------------------------------------------------------------------------------
// IAllocator

// Keeps the allocator alive while the object is destroyed and its memory returned to it.
struct ICFAllocatorImpDestructor {
    template <class T>
    static void destroy(T* object) noexcept
    {
        Ref<CodecAllocator> keep(object->allocator);
        object->~T();
        keep->deallocate(object);
    }
};

struct ICFAllocatorImp : IAllocator {
    using Interface = IAllocator;
    LiveToken token;

    explicit ICFAllocatorImp(Ref<CodecAllocator> wrapped) { this->allocator = wrapped.leak(); }
    ~ICFAllocatorImp()
    {
        if (this->allocator)
            this->allocator->release();
    }
    static CodecAllocator& of(IAllocator* self) { return *self->allocator; }

    static void* allocate(IAllocator* self, std::uint64_t size, std::uint64_t hint)
    {
        return of(self).allocate(size, hint);
    }
    static void* reallocate(IAllocator* self, void* pointer, std::uint64_t newSize, std::uint64_t hint)
    {
        return of(self).reallocate(pointer, newSize, hint);
    }
    static void deallocate(IAllocator* self, void* pointer) { of(self).deallocate(pointer); }
    static std::uint64_t preferredSize(IAllocator* self, std::uint64_t size, std::uint64_t hint)
    {
        return of(self).preferredSize(size, hint);
    }
    static void getContext(IAllocator* self, CodecAllocatorContext* out)
    {
        if (out)
            *out = of(self).context();
    }
    static IAllocator* createAllocator(IAllocator* self, const CodecAllocatorContext* context)
    {
        if (!context)
            return nullptr;
        return createAllocatorObject(CodecAllocator::create(*context, Ref<CodecAllocator>(self->allocator)));
    }
    static void setAsDefault(IAllocator* self);
    static IAllocator* shared(IAllocator*);

    static void fillTable(IAllocatorVtbl& t)
    {
        t.Allocate = allocate;
        t.Reallocate = reallocate;
        t.Deallocate = deallocate;
        t.PreferredSize = preferredSize;
        t.GetContext = getContext;
        t.CreateAllocator = createAllocator;
        t.SetAsDefault = setAsDefault;
        t.Shared = shared;
    }
};
// The allocator object handed to plug-ins (the private allocator implementation).
using AllocatorObject = TComObject<ICFAllocatorImp, &ICFAllocatorID, ICFAllocatorImpDestructor>;

std::mutex& sharedAllocatorMutex()
{
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
IAllocator* sharedAllocator = nullptr; // guarded by sharedAllocatorMutex()

void ICFAllocatorImp::setAsDefault(IAllocator* self)
{
    CodecAllocator::setDefault(Ref<CodecAllocator>(self->allocator));
    IAllocator* forgotten;
    {
        std::lock_guard lock(sharedAllocatorMutex());
        forgotten = std::exchange(sharedAllocator, nullptr);
    }
    CodecRelease(forgotten);
}

IAllocator* ICFAllocatorImp::shared(IAllocator*)
{
    IAllocator* object = sharedAllocatorObject();
    CodecRelease(object); // the shared object keeps its own reference
    return object;
}

// ---------------------------------------------------------------------------------------------
// IProgress

struct ProgressState : IProgress {
    using Interface = IProgress;
    std::atomic<std::uint8_t> cancelled {0};
    LiveToken token;

    static ProgressState* of(IProgress* self) { return static_cast<ProgressState*>(self); }
    static CodecResult reportProgress(IProgress*, double) { return CODEC_S_OK; }
    static std::uint8_t isCancelled(IProgress* self) { return of(self)->cancelled.load(std::memory_order_acquire); }
    static CodecResult setCancelled(IProgress* self, std::uint8_t flag)
    {
        of(self)->cancelled.store(flag != 0, std::memory_order_release);
        return CODEC_S_OK;
    }
    static void fillTable(IProgressVtbl& t)
    {
        t.ReportProgress = reportProgress;
        t.IsCancelled = isCancelled;
        t.SetCancelled = setCancelled;
    }
};
using ProgressObject = TComObject<ProgressState, &IZOVProgressID>;

template <class Object>
typename Object::Interface* createOrNull() noexcept
{
    try {
        return Object::create();
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Public makers and readers

IZOVImage* createImageObject()
{
    return createOrNull<ImageObject>();
}
IColorSpace* createColorSpaceObject()
{
    return createOrNull<ColorSpaceObject>();
}
IUniCharString* createStringObject()
{
    return createOrNull<StringObject>();
}
IUniCharString* createStringObject(std::u16string text)
{
    return UniCharStringCF::newObject(std::move(text), false);
}
IUniCharString* createStringObjectFromUTF8(std::string_view text)
{
    const QString q = QString::fromUtf8(text.data(), qsizetype(text.size()));
    return createStringObject(q.toStdU16String());
}
ICFDictionary* createDictionaryObject()
{
    return createOrNull<DictionaryObject>();
}
ICFArray* createArrayObject()
{
    return createOrNull<ArrayObject>();
}
ICFNumber* createNumberObject()
{
    return createOrNull<NumberObject>();
}
ICFBoolean* createBooleanObject()
{
    return createOrNull<BooleanObject>();
}
IProgress* createProgressObject()
{
    IProgress* progress = createOrNull<ProgressObject>();
    if (progress)
        progress->vtbl->SetCancelled(progress, 0);
    return progress;
}

IDataProvider* createDataProvider(std::shared_ptr<const void> owner, const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes && size > 0)
        return nullptr;
    return DataProviderObject::create(std::move(owner), bytes, size);
}

IDataProvider* createDataProvider(std::shared_ptr<const std::vector<std::uint8_t>> bytes)
{
    if (!bytes)
        return nullptr;
    const std::uint8_t* data = bytes->data();
    const std::size_t size = bytes->size();
    return createDataProvider(std::shared_ptr<const void>(std::move(bytes)), data, size);
}

IAllocator* createAllocatorObject(Ref<CodecAllocator> allocator)
{
    if (!allocator)
        allocator = CodecAllocator::defaultAllocator();
    void* memory = allocator->allocate(sizeof(AllocatorObject), 0);
    if (!memory)
        return nullptr;
    if (reinterpret_cast<std::uintptr_t>(memory) % alignof(AllocatorObject) != 0) {
        allocator->deallocate(memory);
        return nullptr;
    }
    return new (memory) AllocatorObject(std::move(allocator));
}

IAllocator* sharedAllocatorObject()
{
    std::lock_guard lock(sharedAllocatorMutex());
    if (!sharedAllocator)
        sharedAllocator = createAllocatorObject();
    CodecAddRef(sharedAllocator);
    return sharedAllocator;
}

Ref<PlatformImage> platformImageOf(IZOVImage* image)
{
    if (!image || image->vtbl != &ImageObject::table())
        return nullptr;
    return IZOVImageImp::of(image)->image->image;
}

std::u16string stringOf(IUniCharString* string)
{
    if (!string)
        return {};
    if (string->vtbl == &StringObject::table())
        return UniCharStringCF::of(string)->string ? *UniCharStringCF::of(string)->string : std::u16string();
    // A string object of another implementation: through its length and range slots.
    const IUniCharStringVtbl* table = string->vtbl;
    if (!table->Length || !table->GetCharacters)
        return {};
    const std::int64_t length = table->Length(string);
    if (length <= 0 || length > std::int64_t(std::numeric_limits<std::int32_t>::max()))
        return {};
    std::u16string text(std::size_t(length), u'\0');
    if (table->GetCharacters(string, 0, length, reinterpret_cast<std::uint16_t*>(text.data())) < 0)
        return {};
    return text;
}

std::string utf8StringOf(IUniCharString* string)
{
    return QString::fromStdU16String(stringOf(string)).toStdString();
}

Value dictionaryOf(ICFDictionary* dictionary)
{
    if (!dictionary || dictionary->vtbl != &DictionaryObject::table())
        return {};
    return ICFDictionaryImp::of(dictionary)->dictionary;
}

void* CreateHostObject(void*, const CodecUUIDBytes* iid)
{
    if (!iid)
        return nullptr;
    const CodecUUIDBytes& id = *iid;
    if (id == ICFAllocatorID)
        return sharedAllocatorObject(); // with a reference for the caller, like every other answer
    if (id == IUniCharStringID)
        return createStringObject();
    if (id == IZOVImageID)
        return createImageObject();
    if (id == IColorSpaceID)
        return createColorSpaceObject();
    if (id == ICFDictionaryID)
        return createDictionaryObject();
    if (id == ICFArrayID)
        return createArrayObject();
    if (id == ICFNumberID)
        return createNumberObject();
    if (id == ICFBooleanID)
        return createBooleanObject();
    if (id == ICFDictionary2ID)
        return createDictionaryObject();
    if (id == IZOVProgressID)
        return createProgressObject();
    return nullptr;
}

} // namespace vistel
