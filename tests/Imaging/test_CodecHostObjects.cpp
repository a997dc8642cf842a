#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "CodecTestSupport.h"
#include "Imaging/CodecHostObjects.h"
#include "Imaging/ComSupport.h"
#include "Imaging/IUnknownArray.h"
#include "Platform/Imaging/PlatformColorSpace.h"
#include "Platform/Imaging/PlatformImage.h"

using namespace vistel;

namespace {

template <class T>
AutoPtr<T> adopt(T* p)
{
    return AutoPtr<T>::adopt(p);
}
template <class T>
AutoPtr<T> hostObject(const CodecUUIDBytes& iid)
{
    return AutoPtr<T>::adopt(static_cast<T*>(CreateHostObject(nullptr, &iid)));
}

std::uint32_t refCount(void* object)
{
    CodecAddRef(object);
    return CodecRelease(object);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Factory and object model

TEST(CodecHostObjects, FactoryAnswersEachIdentifierWithItsObject)
{
    struct Case {
        int index;
        const CodecUUIDBytes* answeredInterface; // null: the factory answers null
    };
    const Case cases[] = {
        {kCodecIdentifierIZOVProgress, &IZOVProgressID},
        {kCodecIdentifierDictionary2, &ICFDictionaryID},
        {kCodecIdentifierIImageCodec, nullptr},
        {kCodecIdentifierImageCodecPlugInType, nullptr},
        {kCodecIdentifierICodecCore, nullptr},
        {kCodecIdentifierCodecCorePlugInType, nullptr},
        {kCodecIdentifierIColorSpace, &IColorSpaceID},
        {kCodecIdentifierICFBoolean, &ICFBooleanID},
        {kCodecIdentifierICFNumber, &ICFNumberID},
        {kCodecIdentifierICFArray, &ICFArrayID},
        {kCodecIdentifierICFDictionary, &ICFDictionaryID},
        {kCodecIdentifierIUniCharString, &IUniCharStringID},
        {kCodecIdentifierIDataProvider, nullptr},
        {kCodecIdentifierICFAllocator, &ICFAllocatorID},
        {kCodecIdentifierIZOVImage, &IZOVImageID},
    };
    ASSERT_EQ(std::size(cases), std::size_t(kCodecIdentifierCount));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        void* object = CreateHostObject(nullptr, &kCodecIdentifiers[c.index]);
        if (!c.answeredInterface) {
            EXPECT_EQ(object, nullptr);
            continue;
        }
        ASSERT_NE(object, nullptr);
        auto* unknown = static_cast<IUnknown*>(object);
        const std::uint32_t before = refCount(object);
        if (c.index != kCodecIdentifierICFAllocator) {
            EXPECT_EQ(before, 1u); // one reference, the caller's
        }

        void* out = nullptr;
        EXPECT_EQ(unknown->vtbl->QueryInterface(object, *c.answeredInterface, &out), 0);
        EXPECT_EQ(out, object);
        EXPECT_EQ(unknown->vtbl->QueryInterface(object, kIUnknownID, &out), 0);
        EXPECT_EQ(out, object);
        EXPECT_EQ(refCount(object), before + 2);
        CodecRelease(object);
        CodecRelease(object);

        out = object;
        EXPECT_EQ(unknown->vtbl->QueryInterface(object, IDataProviderID, &out), CODEC_E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(unknown->vtbl->QueryInterface(object, IDataProviderID, nullptr), CODEC_E_INVALIDARG);
        EXPECT_EQ(unknown->vtbl->AddRef(object), before + 1);
        EXPECT_EQ(unknown->vtbl->Release(object), before);
        EXPECT_EQ(unknown->vtbl->Release(object), before - 1);
    }
    EXPECT_EQ(CreateHostObject(nullptr, nullptr), nullptr);
}

TEST(CodecHostObjects, SharedAllocatorIsHandedOutWithAReference)
{
    void* first = CreateHostObject(nullptr, &ICFAllocatorID);
    void* second = CreateHostObject(nullptr, &ICFAllocatorID);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    // The shared object keeps one reference of its own; each answer added one.
    EXPECT_EQ(CodecRelease(first), 2u);
    EXPECT_EQ(CodecRelease(second), 1u);
    auto* allocator = static_cast<IAllocator*>(CreateHostObject(nullptr, &ICFAllocatorID));
    EXPECT_EQ(static_cast<void*>(allocator), first);
    EXPECT_EQ(allocator->vtbl->Shared(allocator), allocator);
    CodecRelease(allocator);
}

// ---------------------------------------------------------------------------------------------
// IZOVImage

TEST(CodecHostObjects, ImageFromBufferOwnsACopyOfThePixels)
{
    auto image = adopt(createImageObject());
    const ImageFormat format {3, 2, 4, 8, 8, 0, CODEC_COLOR_MODEL_GREY};
    auto pixels = std::make_unique<std::vector<std::uint8_t>>(std::vector<std::uint8_t> {1, 2, 3, 0, 4, 5, 6, 0});
    ASSERT_EQ(CODEC_CALL(image.get(), CreateFromBuffer, &format, pixels->data(), pixels->size()), 0);
    pixels.reset(); // the decoder frees its buffer

    const ImageFormat* stored = CODEC_CALL(image.get(), Format);
    EXPECT_EQ(stored->width, 3u);
    EXPECT_EQ(stored->height, 2u);
    EXPECT_EQ(stored->bytesPerRow, 4u);
    EXPECT_EQ(stored->colorModel, CODEC_COLOR_MODEL_GREY);
    EXPECT_EQ(CODEC_CALL(image.get(), ByteSize), 8u);
    const std::uint8_t* row1 = CODEC_CALL(image.get(), RowAddress, 1);
    ASSERT_NE(row1, nullptr);
    EXPECT_EQ(row1[0], 4);
    EXPECT_EQ(row1[2], 6);
    EXPECT_EQ(CODEC_CALL(image.get(), RowAddress, 2), nullptr);

    Ref<PlatformImage> platform = platformImageOf(image.get());
    ASSERT_TRUE(platform);
    EXPECT_EQ(platform->colorSpace()->model(), PlatformColorSpace::Model::Monochrome);
    EXPECT_EQ(platform->rowAddress(1), row1);
}

TEST(CodecHostObjects, ImageWithoutSourcePixelsIsFilledThroughRowAddresses)
{
    auto image = adopt(createImageObject());
    const ImageFormat format {2, 2, 8, 8, 32, kImageAlphaPremultipliedLast, CODEC_COLOR_MODEL_RGB};
    ASSERT_EQ(CODEC_CALL(image.get(), CreateFromBuffer, &format, nullptr, 0), 0);
    std::uint8_t* row = CODEC_CALL(image.get(), RowAddress, 1);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row[0], 0);
    std::memset(row, 0xFF, 8);
    Ref<PlatformImage> platform = platformImageOf(image.get());
    EXPECT_EQ(platform->rowAddress(1)[7], 0xFF);
    EXPECT_EQ(platform->rowAddress(0)[7], 0);
    EXPECT_EQ(CODEC_CALL(image.get(), Format)->bitmapInfo & 31u, std::uint32_t(kImageAlphaPremultipliedLast));
}

TEST(CodecHostObjects, ImageRefusesInconsistentBuffersAndNullImages)
{
    auto image = adopt(createImageObject());
    const ImageFormat good {2, 2, 2, 8, 8, 0, CODEC_COLOR_MODEL_GREY};
    const std::uint8_t pixels[4] = {9, 9, 9, 9};
    ASSERT_EQ(CODEC_CALL(image.get(), CreateFromBuffer, &good, pixels, 4), 0);
    Ref<PlatformImage> kept = platformImageOf(image.get());

    // A null platform image is refused and the previous one stays.
    EXPECT_EQ(CODEC_CALL(image.get(), SetImage, nullptr), CODEC_E_IMAGE);
    EXPECT_EQ(platformImageOf(image.get()), kept);

    struct Case {
        const char* name;
        ImageFormat format;
        std::uint64_t size;
    };
    const Case cases[] = {
        {"buffer shorter than the rows", good, 3},
        {"row shorter than the pixels", {4, 2, 2, 8, 8, 0, CODEC_COLOR_MODEL_GREY}, 4},
        {"no rows", {2, 0, 2, 8, 8, 0, CODEC_COLOR_MODEL_GREY}, 4},
        {"unsupported depth", {2, 2, 2, 3, 3, 0, CODEC_COLOR_MODEL_GREY}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(CODEC_CALL(image.get(), CreateFromBuffer, &good, pixels, 4), 0);
        EXPECT_EQ(CODEC_CALL(image.get(), CreateFromBuffer, &c.format, pixels, c.size), CODEC_E_IMAGE);
        // A failed create leaves the object without an image.
        EXPECT_FALSE(platformImageOf(image.get()));
        EXPECT_EQ(CODEC_CALL(image.get(), ByteSize), 0u);
        EXPECT_EQ(CODEC_CALL(image.get(), RowAddress, 0), nullptr);
        EXPECT_EQ(CODEC_CALL(image.get(), Format)->width, 0u);
    }
}

TEST(CodecHostObjects, SettingAPlatformImageRefillsTheFormat)
{
    auto image = adopt(createImageObject());
    // Grey with alpha last, 16 bits per pixel, padded rows.
    Ref<PlatformImage> grey = PlatformImage::create(3, 5, 8, 16, 8, kImageAlphaLast,
        PlatformColorSpace::createDeviceGray(), std::vector<std::uint8_t>(40, 0x80));
    ASSERT_TRUE(grey);
    ASSERT_EQ(CODEC_CALL(image.get(), SetImage, grey.get()), 0);
    const ImageFormat& f = *CODEC_CALL(image.get(), Format);
    EXPECT_EQ(f.colorModel, 0x47524559u);
    EXPECT_EQ(f.bitmapInfo & 31u, std::uint32_t(kImageAlphaLast));
    EXPECT_EQ(f.bitsPerPixel, 16u);
    EXPECT_EQ(CODEC_CALL(image.get(), ByteSize), 8u * 5u);
    EXPECT_EQ(CODEC_CALL(image.get(), RowAddress, 2), grey->rowAddress(2));
    EXPECT_EQ(grey->retainCount(), 2); // the object holds exactly one reference

    struct ModelCase {
        Ref<PlatformColorSpace> space;
        std::size_t bitsPerPixel;
        std::uint32_t model;
    };
    const ModelCase models[] = {
        {PlatformColorSpace::createDeviceRGB(), 24, 0x20524742u},
        {PlatformColorSpace::createDeviceCMYK(), 32, 0x434D594Bu},
        {PlatformColorSpace::createLab(), 24, 0x204C6162u},
    };
    for (const ModelCase& m : models) {
        Ref<PlatformImage> picture = PlatformImage::create(1, 1, 8, m.bitsPerPixel, m.bitsPerPixel / 8, 0, m.space,
            std::vector<std::uint8_t>(m.bitsPerPixel / 8));
        ASSERT_TRUE(picture);
        ASSERT_EQ(CODEC_CALL(image.get(), SetImage, picture.get()), 0);
        EXPECT_EQ(CODEC_CALL(image.get(), Format)->colorModel, m.model);
    }
    EXPECT_EQ(grey->retainCount(), 1); // released when replaced

    CodecZeroRecord16 record;
    std::memset(&record, 0xAB, sizeof record);
    EXPECT_EQ(CODEC_CALL(image.get(), Slot9, &record), &record);
    EXPECT_EQ(record.fields[3], 0u);
    std::memset(&record, 0xAB, sizeof record);
    CODEC_CALL(image.get(), Slot10, &record);
    EXPECT_EQ(record.fields[0], 0u);
    EXPECT_EQ(CODEC_CALL(image.get(), Slot8), nullptr);
}

// ---------------------------------------------------------------------------------------------
// IColorSpace, IDataProvider, IProgress

TEST(CodecHostObjects, ColorSpaceFromGenericOrName)
{
    auto space = hostObject<IColorSpace>(IColorSpaceID);
    EXPECT_EQ(CODEC_CALL(space.get(), Get), nullptr);
    CODEC_CALL(space.get(), SetGenericGray);
    EXPECT_EQ(CODEC_CALL(space.get(), Get)->model(), PlatformColorSpace::Model::Monochrome);
    CODEC_CALL(space.get(), SetGenericRGB);
    EXPECT_EQ(CODEC_CALL(space.get(), Get)->model(), PlatformColorSpace::Model::RGB);

    struct Case {
        const char* name;
        bool known;
        PlatformColorSpace::Model model;
    };
    const Case cases[] = {
        {CODEC_COLORSPACE_SRGB, true, PlatformColorSpace::Model::RGB},
        {CODEC_COLORSPACE_GENERIC_CMYK, true, PlatformColorSpace::Model::CMYK},
        {CODEC_COLORSPACE_GENERIC_LAB, true, PlatformColorSpace::Model::Lab},
        {CODEC_COLORSPACE_GENERIC_GRAY, true, PlatformColorSpace::Model::Monochrome},
        {"NoSuchSpace", false, PlatformColorSpace::Model::RGB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CODEC_CALL(space.get(), SetGenericRGB);
        auto name = adopt(createStringObjectFromUTF8(c.name));
        CODEC_CALL(space.get(), SetFromName, name.get());
        const CodecPlatformColorSpace* held = CODEC_CALL(space.get(), Get);
        ASSERT_EQ(held != nullptr, c.known);
        if (held) {
            EXPECT_EQ(held->model(), c.model);
        }
    }
    CODEC_CALL(space.get(), SetGenericRGB);
    CODEC_CALL(space.get(), SetFromName, nullptr);
    EXPECT_EQ(CODEC_CALL(space.get(), Get), nullptr);
}

TEST(CodecHostObjects, DataProviderKeepsItsBytesAndClampsThePosition)
{
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(100, 7);
    const std::uint8_t* address = bytes->data();
    auto provider = adopt(createDataProvider(bytes));
    bytes.reset(); // the provider keeps them alive
    const std::uint8_t* pointer = nullptr;
    std::uint64_t size = 0, position = 0;
    EXPECT_EQ(CODEC_CALL(provider.get(), GetBytePointer, &pointer), 0);
    EXPECT_EQ(pointer, address);
    EXPECT_EQ(pointer[99], 7);
    EXPECT_EQ(CODEC_CALL(provider.get(), GetSize, &size), 0);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(CODEC_CALL(provider.get(), SetPosition, 10000, &position), 0);
    EXPECT_EQ(position, 100u);
    EXPECT_EQ(CODEC_CALL(provider.get(), SetPosition, 42, &position), 0);
    EXPECT_EQ(position, 42u);
    const CodecBytes* data = CODEC_CALL(provider.get(), GetData);
    EXPECT_EQ(data->bytes, address);
    EXPECT_EQ(data->size, 100u);
    EXPECT_EQ(CODEC_CALL(provider.get(), GetSize, nullptr), CODEC_E_INVALIDARG);
}

TEST(CodecHostObjects, ProgressCancelFlagCrossesThreads)
{
    auto progress = hostObject<IProgress>(IZOVProgressID);
    EXPECT_EQ(CODEC_CALL(progress.get(), IsCancelled), 0);
    EXPECT_EQ(CODEC_CALL(progress.get(), ReportProgress, 0.5), 0);
    std::thread canceller([&] { CODEC_CALL(progress.get(), SetCancelled, 2); });
    canceller.join();
    EXPECT_EQ(CODEC_CALL(progress.get(), IsCancelled), 1);
    EXPECT_EQ(CODEC_CALL(progress.get(), SetCancelled, 0), 0);
    EXPECT_EQ(CODEC_CALL(progress.get(), IsCancelled), 0);
}

// ---------------------------------------------------------------------------------------------
// IUniCharString

TEST(CodecHostObjects, StringWithoutTextAndItsBounds)
{
    auto s = hostObject<IUniCharString>(IUniCharStringID);
    EXPECT_EQ(CODEC_CALL(s.get(), Length), 0);
    EXPECT_EQ(CODEC_CALL(s.get(), Get), nullptr);
    EXPECT_EQ(CODEC_CALL(s.get(), Copy), nullptr);
    EXPECT_EQ(CODEC_CALL(s.get(), CharacterAtIndex, 0), 0);

    ASSERT_EQ(CODEC_CALL(s.get(), SetCString, "abc\x8E", CODEC_ENCODING_MAC_ROMAN), 0);
    EXPECT_EQ(*CODEC_CALL(s.get(), Get), u"abc\u00E9");
    EXPECT_EQ(CODEC_CALL(s.get(), CharacterAtIndex, 3), 0xE9);
    EXPECT_EQ(CODEC_CALL(s.get(), CharacterAtIndex, 4), 0);
    EXPECT_EQ(CODEC_CALL(s.get(), CharacterAtIndex, -1), 0);
    // Invalid input leaves the string as it was.
    EXPECT_EQ(CODEC_CALL(s.get(), SetCString, "\xC3(", CODEC_ENCODING_UTF8), CODEC_E_PARAM);
    EXPECT_EQ(CODEC_CALL(s.get(), SetCString, "x", 0x1234u), CODEC_E_PARAM);
    EXPECT_EQ(CODEC_CALL(s.get(), SetCString, nullptr, CODEC_ENCODING_UTF8), CODEC_E_PARAM);
    EXPECT_EQ(CODEC_CALL(s.get(), Length), 4);
    ASSERT_EQ(CODEC_CALL(s.get(), SetCString, "\xC3\xA9t\xC3\xA9", CODEC_ENCODING_SYSTEM), 0);
    EXPECT_EQ(*CODEC_CALL(s.get(), Get), u"\u00E9t\u00E9");

    struct Range {
        std::int64_t location, length;
        bool inside;
    };
    const Range ranges[] = {
        {0, 3, true}, {3, 0, true}, {1, 2, true}, {2, 2, false}, {-1, 1, false}, {0, -1, false},
        {4, 0, false}, {1, INT64_MAX, false},
    };
    for (const Range& r : ranges) {
        SCOPED_TRACE(testing::Message() << r.location << "+" << r.length);
        std::uint16_t buffer[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
        EXPECT_EQ(CODEC_CALL(s.get(), GetCharacters, r.location, r.length, buffer) == 0, r.inside);
        auto sub = adopt(CODEC_CALL(s.get(), Substring, r.location, r.length));
        EXPECT_EQ(sub.get() != nullptr, r.inside);
        if (r.inside) {
            EXPECT_EQ(CODEC_CALL(sub.get(), Length), r.length);
            if (r.length > 0) {
                EXPECT_EQ(buffer[0], CODEC_CALL(s.get(), CharacterAtIndex, r.location));
            }
        } else {
            EXPECT_EQ(buffer[0], 0xAAAA); // nothing copied
        }
    }
}

TEST(CodecHostObjects, StringCopiesAndMutability)
{
    auto s = adopt(createStringObjectFromUTF8("Vistel"));
    EXPECT_EQ(CODEC_CALL(s.get(), IsMutable), 0);
    auto mutableCopy = adopt(CODEC_CALL(s.get(), MutableCopy, 0));
    auto copy = adopt(CODEC_CALL(mutableCopy.get(), Copy));
    EXPECT_EQ(CODEC_CALL(mutableCopy.get(), IsMutable), 1);
    EXPECT_EQ(CODEC_CALL(copy.get(), IsMutable), 0);
    EXPECT_EQ(utf8StringOf(copy.get()), "Vistel");
    EXPECT_NE(CODEC_CALL(copy.get(), Get), CODEC_CALL(s.get(), Get)); // a copy, not a share

    const std::u16string other = u"other";
    CODEC_CALL(s.get(), SetMutableString, &other);
    EXPECT_EQ(CODEC_CALL(s.get(), IsMutable), 1);
    CODEC_CALL(s.get(), SetString, &other);
    EXPECT_EQ(CODEC_CALL(s.get(), IsMutable), 0);
    EXPECT_EQ(stringOf(s.get()), u"other");
    const std::uint16_t units[] = {0x41, 0xD83D, 0xDE00};
    ASSERT_EQ(CODEC_CALL(s.get(), SetCharacters, units, 3), 0);
    EXPECT_EQ(CODEC_CALL(s.get(), Length), 3);
    EXPECT_EQ(CODEC_CALL(s.get(), SetCharacters, nullptr, 2), CODEC_E_PARAM);
    EXPECT_EQ(CODEC_CALL(s.get(), Length), 3);
}

TEST(CodecHostObjects, StringFind)
{
    auto s = adopt(createStringObjectFromUTF8("Image.JPG.jpg"));
    struct Case {
        const char* needle;
        std::uint32_t options;
        std::int64_t location;
    };
    const Case cases[] = {
        {"jpg", 0, 10},
        {"JPG", 0, 6},
        {"jpg", CODEC_COMPARE_CASE_INSENSITIVE, 6},
        {"JPG", CODEC_COMPARE_CASE_INSENSITIVE | CODEC_COMPARE_BACKWARDS, 10},
        {"Image", CODEC_COMPARE_ANCHORED, 0},
        {"jpg", CODEC_COMPARE_ANCHORED, CODEC_NOT_FOUND},
        {"jpg", CODEC_COMPARE_ANCHORED | CODEC_COMPARE_BACKWARDS, 10},
        {"png", 0, CODEC_NOT_FOUND},
        {"", 0, CODEC_NOT_FOUND},
        {"Image.JPG.jpg.longer", 0, CODEC_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.needle << " " << c.options);
        auto needle = adopt(createStringObjectFromUTF8(c.needle));
        std::int64_t location = 99, length = 99;
        EXPECT_EQ(CODEC_CALL(s.get(), Find, needle.get(), c.options, &location, &length), 0);
        EXPECT_EQ(location, c.location);
        EXPECT_EQ(length, c.location == CODEC_NOT_FOUND ? 0 : std::int64_t(std::strlen(c.needle)));
    }
    std::int64_t location = 0, length = 5;
    EXPECT_EQ(CODEC_CALL(s.get(), Find, nullptr, 0, &location, &length), 0);
    EXPECT_EQ(location, CODEC_NOT_FOUND);
}

namespace {

// A string object of a plug-in's own making: only its length and range slots work.
struct ForeignString : IUniCharString {
    using Interface = IUniCharString;
    std::u16string text;
    explicit ForeignString(std::u16string t) : text(std::move(t)) { }
    static void fillTable(IUniCharStringVtbl& t)
    {
        t.Length = [](IUniCharString* self) { return std::int64_t(static_cast<ForeignString*>(self)->text.size()); };
        t.GetCharacters = [](IUniCharString* self, std::int64_t location, std::int64_t length, std::uint16_t* buffer) {
            const std::u16string& text = static_cast<ForeignString*>(self)->text;
            if (location < 0 || length < 0 || std::size_t(location + length) > text.size())
                return CODEC_E_PARAM;
            std::memcpy(buffer, text.data() + location, std::size_t(length) * 2);
            return CODEC_S_OK;
        };
    }
};
const CodecUUIDBytes foreignStringID = CODEC_IUNICHARSTRING_ID;

} // namespace

TEST(CodecHostObjects, StringsOfAnotherImplementationAreReadThroughTheirSlots)
{
    auto foreign = adopt(TComObject<ForeignString, &foreignStringID>::create(u"GenericGray"));
    EXPECT_EQ(utf8StringOf(foreign.get()), "GenericGray");
    auto space = adopt(createColorSpaceObject());
    CODEC_CALL(space.get(), SetFromName, foreign.get());
    ASSERT_NE(CODEC_CALL(space.get(), Get), nullptr);
    EXPECT_EQ(CODEC_CALL(space.get(), Get)->model(), PlatformColorSpace::Model::Monochrome);
    auto s = adopt(createStringObjectFromUTF8("a GenericGray b"));
    std::int64_t location = 0, length = 0;
    EXPECT_EQ(CODEC_CALL(s.get(), Find, foreign.get(), 0, &location, &length), 0);
    EXPECT_EQ(location, 2);
    EXPECT_EQ(length, 11);
}

// ---------------------------------------------------------------------------------------------
// Dictionary, array, number, boolean

TEST(CodecHostObjects, DictionaryKeepsACopyAndItsMutability)
{
    auto dictionary = hostObject<ICFDictionary>(ICFDictionaryID);
    EXPECT_EQ(CODEC_CALL(dictionary.get(), Get), nullptr);
    Value metadata = Value::dictionary({{"{TIFF}", Value::dictionary({{"Orientation", 6}})}});
    ASSERT_EQ(CODEC_CALL(dictionary.get(), SetMutableDictionaryAlias, &metadata), 0); // slot 3 → 6
    metadata.set("late", 1); // the holder keeps its own copy
    CodecValue* held = CODEC_CALL(dictionary.get(), Get);
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(held->contains("late"));
    held->set("added", true); // mutable: changed in place
    EXPECT_TRUE(dictionaryOf(dictionary.get()).contains("added"));
    EXPECT_EQ(dictionaryOf(dictionary.get()).getPath("{TIFF}.Orientation").toInt64(), 6);

    const Value notADictionary = Value::array({1});
    EXPECT_EQ(CODEC_CALL(dictionary.get(), SetDictionaryAlias, &notADictionary), CODEC_E_PARAM); // slot 4 → 7
    EXPECT_NE(CODEC_CALL(dictionary.get(), Get), nullptr);
    EXPECT_EQ(CODEC_CALL(dictionary.get(), SetDictionary, nullptr), 0);
    EXPECT_EQ(CODEC_CALL(dictionary.get(), Get), nullptr);
}

TEST(CodecHostObjects, ValueObjectsExposeTheirOwnValueAfterTheTable)
{
    auto array = hostObject<ICFArray>(ICFArrayID);
    auto number = hostObject<ICFNumber>(ICFNumberID);
    auto boolean = hostObject<ICFBoolean>(ICFBooleanID);
    ASSERT_NE(array->value, nullptr);
    EXPECT_TRUE(array->value->isNull());
    *array->value = Value::array({"a", "b"});
    *number->value = 2.5;
    *boolean->value = true;
    auto other = hostObject<ICFNumber>(ICFNumberID);
    EXPECT_NE(other->value, number->value);
    EXPECT_TRUE(other->value->isNull());
    EXPECT_EQ(array->value->size(), 2u);
    EXPECT_EQ(number->value->toDouble(), 2.5);
    EXPECT_TRUE(boolean->value->toBool());
}

// ---------------------------------------------------------------------------------------------
// IAllocator

namespace {

struct CountingInfo {
    int retained = 0;
    int released = 0;
    int blocks = 0;
};
CodecAllocatorContext countingContext(CountingInfo* info)
{
    CodecAllocatorContext context {};
    context.info = info;
    context.retain = [](const void* i) -> const void* {
        ++static_cast<CountingInfo*>(const_cast<void*>(i))->retained;
        return i;
    };
    context.release = [](const void* i) { ++static_cast<CountingInfo*>(const_cast<void*>(i))->released; };
    context.allocate = [](std::uint64_t size, std::uint64_t, void* i) -> void* {
        ++static_cast<CountingInfo*>(i)->blocks;
        return std::malloc(size);
    };
    context.reallocate = [](void* p, std::uint64_t size, std::uint64_t, void*) { return std::realloc(p, size); };
    context.deallocate = [](void* p, void* i) {
        --static_cast<CountingInfo*>(i)->blocks;
        std::free(p);
    };
    context.preferredSize = [](std::uint64_t size, std::uint64_t, void*) -> std::uint64_t { return (size + 15) & ~15ull; };
    return context;
}

} // namespace

TEST(CodecHostObjects, AllocatorCreatedFromAContextLivesInItsOwnMemory)
{
    CountingInfo info;
    auto base = hostObject<IAllocator>(ICFAllocatorID);
    const CodecAllocatorContext context = countingContext(&info);
    IAllocator* created = CODEC_CALL(base.get(), CreateAllocator, &context);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(refCount(created), 1u); // one reference, for the caller
    EXPECT_EQ(info.retained, 1);
    EXPECT_EQ(info.blocks, 1); // the object itself

    void* block = CODEC_CALL(created, Allocate, 10, 0);
    EXPECT_EQ(info.blocks, 2);
    block = CODEC_CALL(created, Reallocate, block, 100, 0);
    ASSERT_NE(block, nullptr);
    CODEC_CALL(created, Deallocate, block);
    EXPECT_EQ(info.blocks, 1);
    EXPECT_EQ(CODEC_CALL(created, PreferredSize, 17, 0), 32u);
    CodecAllocatorContext read {};
    CODEC_CALL(created, GetContext, &read);
    EXPECT_EQ(read.info, &info);

    EXPECT_EQ(CodecRelease(created), 0u);
    EXPECT_EQ(info.blocks, 0); // its memory went back to its allocator
    EXPECT_EQ(info.released, 1);
}

TEST(CodecHostObjects, NewDefaultAllocatorReplacesTheSharedObject)
{
    CountingInfo info;
    IAllocator* before = sharedAllocatorObject();
    const CodecAllocatorContext context = countingContext(&info);
    auto custom = adopt(CODEC_CALL(before, CreateAllocator, &context));
    ASSERT_TRUE(custom);
    CODEC_CALL(custom.get(), SetAsDefault);
    EXPECT_EQ(CodecAllocator::defaultAllocator().get(), custom->allocator);
    auto after = adopt(sharedAllocatorObject());
    EXPECT_NE(after.get(), before);
    EXPECT_EQ(after->allocator, custom->allocator);
    // The old shared object was released by the host, not destroyed under our reference.
    EXPECT_EQ(refCount(before), 1u);
    CodecRelease(before);
    // An allocator object made now takes its memory from the new default.
    const int blocks = info.blocks;
    auto fresh = adopt(createAllocatorObject());
    EXPECT_EQ(info.blocks, blocks + 1);

    // Everything over the custom allocator goes before `info` does.
    fresh = nullptr;
    after = nullptr;
    custom = nullptr;
    test::restoreSystemDefaultAllocator();
    EXPECT_EQ(info.blocks, 0);
    EXPECT_EQ(info.retained, info.released);
}

// ---------------------------------------------------------------------------------------------
// Interface arrays

namespace {

// An object that refuses every interface, IUnknown included.
struct Refuser {
    const IUnknownVtbl* vtbl;
    int count = 1;
};
const IUnknownVtbl refuserTable = {
    [](void*, CodecUUIDBytes, void** out) -> CodecResult {
        *out = nullptr;
        return CODEC_E_NOINTERFACE;
    },
    [](void* self) -> std::uint32_t { return std::uint32_t(++static_cast<Refuser*>(self)->count); },
    [](void* self) -> std::uint32_t { return std::uint32_t(--static_cast<Refuser*>(self)->count); },
};

} // namespace

TEST(CodecHostObjects, InterfaceArrayHoldsDescribesAndCompares)
{
    auto first = adopt(createProgressObject());
    auto second = adopt(createImageObject());
    Refuser refuser {&refuserTable};
    {
        Ref<IUnknownArray> array = CreateIUnknownArray();
        array->append(first.get());
        array->append(second.get());
        array->append(&refuser);
        EXPECT_EQ(refCount(first.get()), 2u);
        EXPECT_EQ(refuser.count, 2);

        const std::string expected = "IUnknown[" + std::to_string(reinterpret_cast<std::intptr_t>(first.get())) + "]";
        EXPECT_EQ(IUnknownArray::describeElement(first.get()), expected);
        EXPECT_EQ(IUnknownArray::describeElement(&refuser), "IUnknown[ERROR]");
        EXPECT_EQ(array->description().rfind("(" + expected + ", IUnknown[", 0), 0u);
        EXPECT_EQ(refCount(first.get()), 2u); // describing gave its reference back

        EXPECT_TRUE(IUnknownArray::elementsEqual(first.get(), first.get()));
        EXPECT_FALSE(IUnknownArray::elementsEqual(first.get(), second.get()));
        EXPECT_FALSE(IUnknownArray::elementsEqual(&refuser, &refuser));
        EXPECT_EQ(array->indexOf(second.get()), 1u);
        EXPECT_EQ(array->indexOf(&refuser), array->count());
    }
    EXPECT_EQ(refCount(first.get()), 1u);
    EXPECT_EQ(refuser.count, 1);
}
