/*
 * The codec plug-in contract: the plain C interface between the program (the host) and the
 * codec plug-ins (the codec core and the image codecs).
 *
 * Object model. Every interface is an object whose first word points to a table of function
 * pointers; slots are numbered from 0. Slots 0 to 2 are common to every interface (IUnknown):
 *   0 QueryInterface(object, identifier by value, out interface): answers 0 and stores the
 *     object with one reference added for its own identifier or kIUnknownID; otherwise stores
 *     null and answers CODEC_E_NOINTERFACE.
 *   1 AddRef(object): atomically adds 1 (full barrier), answers the new count.
 *   2 Release(object): atomically subtracts 1; at 0 the object destroys itself and 0 is
 *     answered, otherwise the new count.
 * Any interface pointer may therefore be cast to IUnknown* for slots 0 to 2.
 *
 * Ownership. An object handed over (a factory's answer, an out argument, a record field that is
 * documented as "one reference") carries one reference that the receiver releases. Objects and
 * references may be added and released from any thread; an object itself is used by one decode
 * at a time.
 *
 * Result codes are int32_t: 0 success, any negative value failure. Callers test for a negative
 * value, never for != 0.
 *
 * Platform values. Host objects wrap the host's own platform objects, reached through the
 * opaque handle types below (CodecValue, CodecString, CodecPlatformImage,
 * CodecPlatformColorSpace, CodecPlatformAllocator). Compiled as C++ they are the program's
 * types (vistel::Value, std::u16string, vistel::PlatformImage, vistel::PlatformColorSpace,
 * vistel::CodecAllocator), so C++ plug-ins (which link the same shared platform libraries as
 * the program) may use them directly; C code treats them as opaque.
 *
 * Plug-ins. A plug-in is a shared object (a file whose name ends in ".so") in the program's
 * "PlugIns" folder, taken in the order of file names, that exports one C function, VistelCodecPlugInFactories (see CODEC_PLUGIN_FACTORIES_SYMBOL), listing its
 * factories in order. The host loads every such shared object with dlopen(RTLD_NOW |
 * RTLD_LOCAL); shared objects without the symbol are not plug-ins and are unloaded again.
 *
 * This header compiles as C (C99 or later) and as C++.
 */
#ifndef VISTEL_CODEC_PLUGIN_CONTRACT_H
#define VISTEL_CODEC_PLUGIN_CONTRACT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <string>
namespace vistel {
class Value;
class PlatformImage;
class PlatformColorSpace;
class CodecAllocator;
} // namespace vistel
typedef vistel::Value CodecValue;
typedef std::u16string CodecString;
typedef vistel::PlatformImage CodecPlatformImage;
typedef vistel::PlatformColorSpace CodecPlatformColorSpace;
typedef vistel::CodecAllocator CodecPlatformAllocator;
extern "C" {
#else
typedef struct CodecValue CodecValue;
typedef struct CodecString CodecString;
typedef struct CodecPlatformImage CodecPlatformImage;
typedef struct CodecPlatformColorSpace CodecPlatformColorSpace;
typedef struct CodecPlatformAllocator CodecPlatformAllocator;
#endif

#if defined(__GNUC__)
#define CODEC_CONTRACT_UNUSED __attribute__((unused))
#else
#define CODEC_CONTRACT_UNUSED
#endif

/* ---------------------------------------------------------------------------------------------
 * Identifiers: 16 bytes in the order of their text form.
 */
typedef struct CodecUUIDBytes {
    uint8_t bytes[16];
} CodecUUIDBytes;

#define CODEC_UUID(b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15) \
    { { b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15 } }

/* 00000000-0000-0000-C000-000000000046 */
#define CODEC_IUNKNOWN_ID CODEC_UUID(0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)
/* 1  A7E73F82-45B1-4A8F-B117-72FBD8264E18  interface of the progress object IProgress */
#define CODEC_IZOVPROGRESS_ID CODEC_UUID(0xA7, 0xE7, 0x3F, 0x82, 0x45, 0xB1, 0x4A, 0x8F, 0xB1, 0x17, 0x72, 0xFB, 0xD8, 0x26, 0x4E, 0x18)
/* 2  88C4A142-0041-404F-B5F8-3577CE3A62DF  second dictionary identifier (answered with an ICFDictionary) */
#define CODEC_DICTIONARY2_ID CODEC_UUID(0x88, 0xC4, 0xA1, 0x42, 0x00, 0x41, 0x40, 0x4F, 0xB5, 0xF8, 0x35, 0x77, 0xCE, 0x3A, 0x62, 0xDF)
/* 3  AA7FA898-D56E-4A05-8D7F-51956D0F615E  interface of an image codec */
#define CODEC_IIMAGECODEC_ID CODEC_UUID(0xAA, 0x7F, 0xA8, 0x98, 0xD5, 0x6E, 0x4A, 0x05, 0x8D, 0x7F, 0x51, 0x95, 0x6D, 0x0F, 0x61, 0x5E)
/* 4  2DB11917-3B50-450B-AC59-8CBA21D889BB  plug-in type of the image codecs */
#define CODEC_IMAGECODEC_PLUGIN_TYPE_ID CODEC_UUID(0x2D, 0xB1, 0x19, 0x17, 0x3B, 0x50, 0x45, 0x0B, 0xAC, 0x59, 0x8C, 0xBA, 0x21, 0xD8, 0x89, 0xBB)
/* 5  3DC16C38-4859-4CA8-8C00-8488F319A537  interface of the codec core */
#define CODEC_ICODECCORE_ID CODEC_UUID(0x3D, 0xC1, 0x6C, 0x38, 0x48, 0x59, 0x4C, 0xA8, 0x8C, 0x00, 0x84, 0x88, 0xF3, 0x19, 0xA5, 0x37)
/* 6  68DD9B49-DF75-41B0-B27F-D43C3173D59E  plug-in type of the codec core */
#define CODEC_CODECCORE_PLUGIN_TYPE_ID CODEC_UUID(0x68, 0xDD, 0x9B, 0x49, 0xDF, 0x75, 0x41, 0xB0, 0xB2, 0x7F, 0xD4, 0x3C, 0x31, 0x73, 0xD5, 0x9E)
/* 7  9A22B597-7593-477C-8C57-005B60ABEFCE  IColorSpace */
#define CODEC_ICOLORSPACE_ID CODEC_UUID(0x9A, 0x22, 0xB5, 0x97, 0x75, 0x93, 0x47, 0x7C, 0x8C, 0x57, 0x00, 0x5B, 0x60, 0xAB, 0xEF, 0xCE)
/* 8  C882380F-8B15-468D-ACFF-C7171121367B  ICFBoolean */
#define CODEC_ICFBOOLEAN_ID CODEC_UUID(0xC8, 0x82, 0x38, 0x0F, 0x8B, 0x15, 0x46, 0x8D, 0xAC, 0xFF, 0xC7, 0x17, 0x11, 0x21, 0x36, 0x7B)
/* 9  106ABC12-5CE4-4C62-AE0E-BF52321A9C06  ICFNumber */
#define CODEC_ICFNUMBER_ID CODEC_UUID(0x10, 0x6A, 0xBC, 0x12, 0x5C, 0xE4, 0x4C, 0x62, 0xAE, 0x0E, 0xBF, 0x52, 0x32, 0x1A, 0x9C, 0x06)
/* 10 3B39DE9A-4740-446A-9938-2E2C5ECCB611  ICFArray */
#define CODEC_ICFARRAY_ID CODEC_UUID(0x3B, 0x39, 0xDE, 0x9A, 0x47, 0x40, 0x44, 0x6A, 0x99, 0x38, 0x2E, 0x2C, 0x5E, 0xCC, 0xB6, 0x11)
/* 11 10049F45-3973-4495-BA0B-CD35AB614F2C  ICFDictionary */
#define CODEC_ICFDICTIONARY_ID CODEC_UUID(0x10, 0x04, 0x9F, 0x45, 0x39, 0x73, 0x44, 0x95, 0xBA, 0x0B, 0xCD, 0x35, 0xAB, 0x61, 0x4F, 0x2C)
/* 12 066AB58A-A754-40A2-AFF3-9CC43A1A068E  IUniCharString */
#define CODEC_IUNICHARSTRING_ID CODEC_UUID(0x06, 0x6A, 0xB5, 0x8A, 0xA7, 0x54, 0x40, 0xA2, 0xAF, 0xF3, 0x9C, 0xC4, 0x3A, 0x1A, 0x06, 0x8E)
/* 13 132B8C1F-6AFC-4355-A6B7-99E56656DA51  IDataProvider */
#define CODEC_IDATAPROVIDER_ID CODEC_UUID(0x13, 0x2B, 0x8C, 0x1F, 0x6A, 0xFC, 0x43, 0x55, 0xA6, 0xB7, 0x99, 0xE5, 0x66, 0x56, 0xDA, 0x51)
/* 14 FFE9E9E1-C885-4586-905E-C3601E5AE346  interface of the allocator object IAllocator */
#define CODEC_ICFALLOCATOR_ID CODEC_UUID(0xFF, 0xE9, 0xE9, 0xE1, 0xC8, 0x85, 0x45, 0x86, 0x90, 0x5E, 0xC3, 0x60, 0x1E, 0x5A, 0xE3, 0x46)
/* 15 CF88BF7A-EBFF-11DA-A6A0-001124420878  IZOVImage */
#define CODEC_IZOVIMAGE_ID CODEC_UUID(0xCF, 0x88, 0xBF, 0x7A, 0xEB, 0xFF, 0x11, 0xDA, 0xA6, 0xA0, 0x00, 0x11, 0x24, 0x42, 0x08, 0x78)

/* The fifteen identifiers in one table, in the order above (index = row number - 1). */
enum {
    kCodecIdentifierIZOVProgress = 0,
    kCodecIdentifierDictionary2,
    kCodecIdentifierIImageCodec,
    kCodecIdentifierImageCodecPlugInType,
    kCodecIdentifierICodecCore,
    kCodecIdentifierCodecCorePlugInType,
    kCodecIdentifierIColorSpace,
    kCodecIdentifierICFBoolean,
    kCodecIdentifierICFNumber,
    kCodecIdentifierICFArray,
    kCodecIdentifierICFDictionary,
    kCodecIdentifierIUniCharString,
    kCodecIdentifierIDataProvider,
    kCodecIdentifierICFAllocator,
    kCodecIdentifierIZOVImage,
    kCodecIdentifierCount
};

static const CodecUUIDBytes kCodecIdentifiers[kCodecIdentifierCount] CODEC_CONTRACT_UNUSED = {
    CODEC_IZOVPROGRESS_ID, CODEC_DICTIONARY2_ID, CODEC_IIMAGECODEC_ID, CODEC_IMAGECODEC_PLUGIN_TYPE_ID,
    CODEC_ICODECCORE_ID, CODEC_CODECCORE_PLUGIN_TYPE_ID, CODEC_ICOLORSPACE_ID, CODEC_ICFBOOLEAN_ID,
    CODEC_ICFNUMBER_ID, CODEC_ICFARRAY_ID, CODEC_ICFDICTIONARY_ID, CODEC_IUNICHARSTRING_ID,
    CODEC_IDATAPROVIDER_ID, CODEC_ICFALLOCATOR_ID, CODEC_IZOVIMAGE_ID,
};

static const CodecUUIDBytes kIUnknownID CODEC_CONTRACT_UNUSED = CODEC_IUNKNOWN_ID;
static const CodecUUIDBytes IZOVProgressID CODEC_CONTRACT_UNUSED = CODEC_IZOVPROGRESS_ID;
static const CodecUUIDBytes ICFDictionary2ID CODEC_CONTRACT_UNUSED = CODEC_DICTIONARY2_ID;
static const CodecUUIDBytes IImageCodecID CODEC_CONTRACT_UNUSED = CODEC_IIMAGECODEC_ID;
static const CodecUUIDBytes ImageCodecPlugInTypeID CODEC_CONTRACT_UNUSED = CODEC_IMAGECODEC_PLUGIN_TYPE_ID;
static const CodecUUIDBytes ICodecCoreID CODEC_CONTRACT_UNUSED = CODEC_ICODECCORE_ID;
static const CodecUUIDBytes CodecCorePlugInTypeID CODEC_CONTRACT_UNUSED = CODEC_CODECCORE_PLUGIN_TYPE_ID;
static const CodecUUIDBytes IColorSpaceID CODEC_CONTRACT_UNUSED = CODEC_ICOLORSPACE_ID;
static const CodecUUIDBytes ICFBooleanID CODEC_CONTRACT_UNUSED = CODEC_ICFBOOLEAN_ID;
static const CodecUUIDBytes ICFNumberID CODEC_CONTRACT_UNUSED = CODEC_ICFNUMBER_ID;
static const CodecUUIDBytes ICFArrayID CODEC_CONTRACT_UNUSED = CODEC_ICFARRAY_ID;
static const CodecUUIDBytes ICFDictionaryID CODEC_CONTRACT_UNUSED = CODEC_ICFDICTIONARY_ID;
static const CodecUUIDBytes IUniCharStringID CODEC_CONTRACT_UNUSED = CODEC_IUNICHARSTRING_ID;
static const CodecUUIDBytes IDataProviderID CODEC_CONTRACT_UNUSED = CODEC_IDATAPROVIDER_ID;
static const CodecUUIDBytes ICFAllocatorID CODEC_CONTRACT_UNUSED = CODEC_ICFALLOCATOR_ID;
static const CodecUUIDBytes IZOVImageID CODEC_CONTRACT_UNUSED = CODEC_IZOVIMAGE_ID;

static inline int CodecUUIDEqual(const CodecUUIDBytes* a, const CodecUUIDBytes* b)
{
    int i;
    for (i = 0; i < 16; ++i)
        if (a->bytes[i] != b->bytes[i])
            return 0;
    return 1;
}

/* ---------------------------------------------------------------------------------------------
 * Result codes.
 */
typedef int32_t CodecResult;
#define CODEC_S_OK ((CodecResult)0)
#define CODEC_E_INVALIDARG ((CodecResult)0x80000003) /* a required pointer argument is null */
#define CODEC_E_NOINTERFACE ((CodecResult)0x80000004) /* interface not supported */
#define CODEC_E_FAIL ((CodecResult)0x80000008) /* no plug-in, factory or instance available */
#define CODEC_E_IMAGE ((CodecResult)-3) /* an image operation could not make or take the image */
#define CODEC_E_PARAM ((CodecResult)-50) /* an argument is out of range or of the wrong kind */

/* Not-found location of IUniCharString slot 16. */
#define CODEC_NOT_FOUND ((int64_t)-1)

/* ---------------------------------------------------------------------------------------------
 * IUnknown: slots 0 to 2 of every table. `self` is the interface pointer.
 */
#define CODEC_IUNKNOWN_SLOTS                                                                   \
    /* 0 */ CodecResult (*QueryInterface)(void* self, CodecUUIDBytes iid, void** out);        \
    /* 1 */ uint32_t (*AddRef)(void* self);                                                     \
    /* 2 */ uint32_t (*Release)(void* self);

typedef struct IUnknownVtbl {
    CODEC_IUNKNOWN_SLOTS
} IUnknownVtbl;
typedef struct IUnknown {
    const IUnknownVtbl* vtbl;
} IUnknown;

/* Calls slot `slot` of interface pointer `obj`: CODEC_CALL(image, Format) */
#define CODEC_CALL(obj, slot, ...) ((obj)->vtbl->slot((obj), ##__VA_ARGS__))

static inline uint32_t CodecAddRef(void* object)
{
    return object ? ((IUnknown*)object)->vtbl->AddRef(object) : 0;
}
static inline uint32_t CodecRelease(void* object)
{
    return object ? ((IUnknown*)object)->vtbl->Release(object) : 0;
}

/* ---------------------------------------------------------------------------------------------
 * Host interfaces (made by the host; a plug-in obtains them through CreateHostObject, the
 * records below, or other host objects).
 */
typedef struct IZOVImage IZOVImage;
typedef struct IColorSpace IColorSpace;
typedef struct IDataProvider IDataProvider;
typedef struct IUniCharString IUniCharString;
typedef struct ICFDictionary ICFDictionary;
typedef struct ICFArray ICFArray;
typedef struct ICFNumber ICFNumber;
typedef struct ICFBoolean ICFBoolean;
typedef struct IAllocator IAllocator;
typedef struct IProgress IProgress;

/* Four-character colour models of ImageFormat.colorModel. */
#define CODEC_COLOR_MODEL_RGB 0x20524742u /* " RGB" */
#define CODEC_COLOR_MODEL_GREY 0x47524559u /* "GREY" */
#define CODEC_COLOR_MODEL_CMYK 0x434D594Bu /* "CMYK" */
#define CODEC_COLOR_MODEL_LAB 0x204C6162u /* " Lab" */

/* Bitmap info: alpha info in the low five bits (0 none, 1 premultiplied last, 2 premultiplied
 * first, 3 last, 4 first, 5 none-skip-last, 6 none-skip-first, 7 alpha only), or'ed with the
 * byte order (0x1000 16-bit little, 0x2000 32-bit little, 0x3000 16-bit big, 0x4000 32-bit big). */
typedef struct ImageFormat {
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerRow;
    uint32_t bitsPerComponent;
    uint32_t bitsPerPixel;
    uint32_t bitmapInfo;
    uint32_t colorModel; /* CODEC_COLOR_MODEL_... */
} ImageFormat;

typedef struct CodecZeroRecord16 {
    uint32_t fields[4];
} CodecZeroRecord16;

/* IZOVImage: the bitmap a decoder fills. The image owns its pixels. */
typedef struct IZOVImageVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 create from buffer: replaces the image with a new one described by `format` (its colour
     *   model selects the colour space), with `byteSize` bytes copied from `pixels`; with null
     *   `pixels` the new image's pixels are zero and may be filled through slot 5 until the decode
     *   call returns. 0, or CODEC_E_IMAGE (the object is then left without an image) when the
     *   description is inconsistent or `byteSize` < bytesPerRow * height. */
    CodecResult (*CreateFromBuffer)(IZOVImage* self, const ImageFormat* format, const void* pixels, uint64_t byteSize);
    /* 4 set platform image: CODEC_E_IMAGE for null (the previous image stays); else keeps the new
     *   one (a reference is added), releases the previous one and refills the format; 0. */
    CodecResult (*SetImage)(IZOVImage* self, const CodecPlatformImage* image);
    /* 5 row address: start of row `y`, null without an image or for y >= height. Rows may be
     *   written only for images made by slot 3, and only before the decode call returns. */
    uint8_t* (*RowAddress)(IZOVImage* self, uint32_t y);
    /* 6 byte size: bytesPerRow * height (0 without an image). */
    uint64_t (*ByteSize)(IZOVImage* self);
    /* 7 format: the image's format record (all zero without an image); valid until the image
     *   changes or the object is destroyed. */
    const ImageFormat* (*Format)(IZOVImage* self);
    /* 8 answers null. */
    void* (*Slot8)(IZOVImage* self);
    /* 9 fills `record` with zeros and answers it. */
    CodecZeroRecord16* (*Slot9)(IZOVImage* self, CodecZeroRecord16* record);
    /* 10 fills `record` with zeros. */
    void (*Slot10)(IZOVImage* self, CodecZeroRecord16* record);
    /* 11 does nothing. */
    void (*Slot11)(IZOVImage* self);
} IZOVImageVtbl;
struct IZOVImage {
    const IZOVImageVtbl* vtbl;
};

/* Colour-space names understood by IColorSpace slot 5. */
#define CODEC_COLORSPACE_GENERIC_RGB "GenericRGB"
#define CODEC_COLORSPACE_GENERIC_GRAY "GenericGray"
#define CODEC_COLORSPACE_GENERIC_CMYK "GenericCMYK"
#define CODEC_COLORSPACE_GENERIC_LAB "GenericLab"
#define CODEC_COLORSPACE_SRGB "sRGB"

typedef struct IColorSpaceVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 */ void (*SetGenericRGB)(IColorSpace* self);
    /* 4 */ void (*SetGenericGray)(IColorSpace* self);
    /* 5 set from name (the string of `name`, taken by its slot 11); an unknown name or a null
     *   string leaves no colour space. */
    void (*SetFromName)(IColorSpace* self, IUniCharString* name);
    /* 6 get: the colour space held (no reference added), null when none. */
    const CodecPlatformColorSpace* (*Get)(IColorSpace* self);
} IColorSpaceVtbl;
struct IColorSpace {
    const IColorSpaceVtbl* vtbl;
};

/* The bytes behind a data provider (slot 6). */
typedef struct CodecBytes {
    const uint8_t* bytes;
    uint64_t size;
} CodecBytes;

/* IDataProvider: the encoded bytes of one picture (made by the host, never by CreateHostObject). */
typedef struct IDataProviderVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 */ CodecResult (*GetBytePointer)(IDataProvider* self, const uint8_t** out);
    /* 4 */ CodecResult (*GetSize)(IDataProvider* self, uint64_t* out);
    /* 5 set position: stores `position` clamped to the size and reports it through `out` (may
     *   be null); 0. */
    CodecResult (*SetPosition)(IDataProvider* self, uint64_t position, uint64_t* out);
    /* 6 the bytes, valid as long as the object. */
    const CodecBytes* (*GetData)(IDataProvider* self);
} IDataProviderVtbl;
struct IDataProvider {
    const IDataProviderVtbl* vtbl;
};

/* Encodings of IUniCharString slot 7. */
#define CODEC_ENCODING_MAC_ROMAN 0u
#define CODEC_ENCODING_UTF8 0x08000100u
#define CODEC_ENCODING_SYSTEM 0xFFFFFFFFu /* UTF-8 on this system */

/* Compare options of IUniCharString slot 16. */
#define CODEC_COMPARE_CASE_INSENSITIVE 1u
#define CODEC_COMPARE_BACKWARDS 4u
#define CODEC_COMPARE_ANCHORED 8u

/* IUniCharString: UTF-16 text. Locations and lengths count UTF-16 units. The word after the
 * interface pointer is the CodecString held (null until a string is set). */
typedef struct IUniCharStringVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 mutable copy (capacity hint) → new object (one reference) or null without a string */
    IUniCharString* (*MutableCopy)(IUniCharString* self, int64_t capacity);
    /* 4 copy → new immutable object (one reference) or null without a string */
    IUniCharString* (*Copy)(IUniCharString* self);
    /* 5 substring → new object (one reference), or null when the range is not inside the string */
    IUniCharString* (*Substring)(IUniCharString* self, int64_t location, int64_t length);
    /* 6 does nothing */
    void (*Slot6)(IUniCharString* self);
    /* 7 set from a NUL-terminated C string in `encoding`: 0, or CODEC_E_PARAM (string unchanged)
     *   for a null pointer, an unknown encoding or bytes invalid in it. */
    CodecResult (*SetCString)(IUniCharString* self, const char* bytes, uint32_t encoding);
    /* 8 set from `count` UTF-16 units (null `chars` with count 0 sets the empty string) */
    CodecResult (*SetCharacters)(IUniCharString* self, const uint16_t* chars, int64_t count);
    /* 9 set mutable string: keeps a copy, mutable flag set */
    void (*SetMutableString)(IUniCharString* self, const CodecString* string);
    /* 10 set string: keeps a copy, mutable flag cleared */
    void (*SetString)(IUniCharString* self, const CodecString* string);
    /* 11 get → the string held, null when none */
    const CodecString* (*Get)(IUniCharString* self);
    /* 12 is mutable → the flag */
    uint8_t (*IsMutable)(IUniCharString* self);
    /* 13 length → UTF-16 units, 0 when no string is held */
    int64_t (*Length)(IUniCharString* self);
    /* 14 character at index → the unit, 0 when the index is outside the string */
    uint16_t (*CharacterAtIndex)(IUniCharString* self, int64_t index);
    /* 15 characters of a range into `buffer`: 0, or CODEC_E_PARAM (nothing copied) when the
     *   range is not inside the string or `buffer` is null with a non-empty range */
    CodecResult (*GetCharacters)(IUniCharString* self, int64_t location, int64_t length, uint16_t* buffer);
    /* 16 find the string of `other`: 0 and its range, or a miss (also for a missing string)
     *   reported as location CODEC_NOT_FOUND, length 0, still answering 0 */
    CodecResult (*Find)(IUniCharString* self, IUniCharString* other, uint32_t options, int64_t* outLocation,
        int64_t* outLength);
} IUniCharStringVtbl;
struct IUniCharString {
    const IUniCharStringVtbl* vtbl;
};

/* ICFDictionary. The dictionary (a CodecValue of dictionary type) is reached through slot 5;
 * its mutable flag says whether the holder may change it in place. */
typedef struct ICFDictionaryVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 forwards to slot 6 */
    CodecResult (*SetMutableDictionaryAlias)(ICFDictionary* self, const CodecValue* dictionary);
    /* 4 forwards to slot 7 */
    CodecResult (*SetDictionaryAlias)(ICFDictionary* self, const CodecValue* dictionary);
    /* 5 get → the dictionary held, null when none */
    CodecValue* (*Get)(ICFDictionary* self);
    /* 6 set mutable dictionary: keeps a copy, mutable flag set; CODEC_E_PARAM for a value that
     *   is not a dictionary (null clears) */
    CodecResult (*SetMutableDictionary)(ICFDictionary* self, const CodecValue* dictionary);
    /* 7 set dictionary: keeps a copy, mutable flag cleared; as slot 6 otherwise */
    CodecResult (*SetDictionary)(ICFDictionary* self, const CodecValue* dictionary);
} ICFDictionaryVtbl;
struct ICFDictionary {
    const ICFDictionaryVtbl* vtbl;
};

/* ICFArray, ICFNumber, ICFBoolean have no operations beyond slots 0 to 2: the word after the
 * interface pointer points to the object's own value (a CodecValue, null-typed at creation),
 * which the holder reads and assigns directly. It lives as long as the object. */
typedef struct ICFArrayVtbl {
    CODEC_IUNKNOWN_SLOTS
} ICFArrayVtbl;
struct ICFArray {
    const ICFArrayVtbl* vtbl;
    CodecValue* value;
};
typedef struct ICFNumberVtbl {
    CODEC_IUNKNOWN_SLOTS
} ICFNumberVtbl;
struct ICFNumber {
    const ICFNumberVtbl* vtbl;
    CodecValue* value;
};
typedef struct ICFBooleanVtbl {
    CODEC_IUNKNOWN_SLOTS
} ICFBooleanVtbl;
struct ICFBoolean {
    const ICFBooleanVtbl* vtbl;
    CodecValue* value;
};

/* An allocator's callbacks. `info` is handed to each; retain/release (optional) keep it alive
 * while an allocator uses it. allocate/reallocate answer null on failure; a missing allocate
 * makes every allocation fail, a missing deallocate leaks nothing but frees nothing. */
typedef struct CodecAllocatorContext {
    intptr_t version; /* 0 */
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    void* (*allocate)(uint64_t size, uint64_t hint, void* info);
    void* (*reallocate)(void* pointer, uint64_t newSize, uint64_t hint, void* info);
    void (*deallocate)(void* pointer, void* info);
    uint64_t (*preferredSize)(uint64_t size, uint64_t hint, void* info);
} CodecAllocatorContext;

typedef struct IAllocatorVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 */ void* (*Allocate)(IAllocator* self, uint64_t size, uint64_t hint);
    /* 4 */ void* (*Reallocate)(IAllocator* self, void* pointer, uint64_t newSize, uint64_t hint);
    /* 5 */ void (*Deallocate)(IAllocator* self, void* pointer);
    /* 6 */ uint64_t (*PreferredSize)(IAllocator* self, uint64_t size, uint64_t hint);
    /* 7 */ void (*GetContext)(IAllocator* self, CodecAllocatorContext* out);
    /* 8 create allocator: a new allocator object (one reference) over a new platform allocator
     *   with `context`, whose own memory comes from this allocator; null on failure */
    IAllocator* (*CreateAllocator)(IAllocator* self, const CodecAllocatorContext* context);
    /* 9 set as default: the wrapped allocator becomes the process default; an existing shared
     *   allocator object is forgotten and released */
    void (*SetAsDefault)(IAllocator* self);
    /* 10 shared → the process-wide shared allocator object (no reference added) */
    IAllocator* (*Shared)(IAllocator* self);
} IAllocatorVtbl;
struct IAllocator {
    const IAllocatorVtbl* vtbl;
    CodecPlatformAllocator* allocator; /* the wrapped allocator (the object holds one reference) */
};

typedef struct IProgressVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 report progress (fraction 0 to 1) → 0; not recorded */
    CodecResult (*ReportProgress)(IProgress* self, double fraction);
    /* 4 is cancelled → the flag */
    uint8_t (*IsCancelled)(IProgress* self);
    /* 5 set cancelled: flag = `cancelled` != 0; 0. May be called from another thread. */
    CodecResult (*SetCancelled)(IProgress* self, uint8_t cancelled);
} IProgressVtbl;
struct IProgress {
    const IProgressVtbl* vtbl;
};

/* ---------------------------------------------------------------------------------------------
 * The host-object factory handed to the codec core: makes a new host object for `iid`, with
 * one reference for the caller, or answers null for an identifier it does not make. Answers:
 * ICFAllocatorID the shared allocator object (a reference added), IUniCharStringID,
 * IZOVImageID, IColorSpaceID, ICFDictionaryID, ICFArrayID, ICFNumberID, ICFBooleanID, the
 * second dictionary identifier (an ICFDictionary), IZOVProgressID. The first argument is
 * ignored. Safe to call from any thread.
 */
typedef void* (*CreateHostObjectFunc)(void* ignored, const CodecUUIDBytes* iid);

/* Handed to the codec core's slot 3 once. The interface fields hold one reference each, which
 * the host releases when the call returns: the core adds its own to keep them. */
typedef struct CodecHostInfo {
    int32_t reserved; /* 0 */
    IUniCharString* companyName; /* "Zov Systems" */
    IUniCharString* productName; /* "Vistel" */
    IAllocator* allocator; /* a new allocator object over the default allocator */
    CreateHostObjectFunc createHostObject;
} CodecHostInfo;

/* ---------------------------------------------------------------------------------------------
 * Plug-in side interfaces.
 */
typedef struct ICodecCore ICodecCore;
typedef struct IImageCodec IImageCodec;
typedef struct IImageDecodeState IImageDecodeState;

typedef struct ICodecCoreVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 initialise with the host information: negative on failure (the host then uses no
     *   codecs). Called once. */
    CodecResult (*Initialize)(ICodecCore* self, const CodecHostInfo* hostInfo);
} ICodecCoreVtbl;
struct ICodecCore {
    const ICodecCoreVtbl* vtbl;
};

/* Given to the codec's slot 3. Interface fields hold one reference each, released by the host
 * after the call. */
typedef struct CodecOpenParams {
    int32_t reserved; /* 0 */
    IUniCharString* string1; /* null */
    IUniCharString* string2; /* null */
    IDataProvider* dataProvider; /* the encoded bytes, position 0 */
    /* Null, or where a codec that recognises the bytes as its format but cannot read them (and
     * so does not accept them) may store why, in a few words ("truncated at byte 812"): a new
     * string with one reference for the host. The host sets the pointed-to value to null. */
    IUniCharString** failure;
} CodecOpenParams;

/* One decodable format (codec-owned, valid as long as the codec). Any field may be null. */
typedef struct CodecFormatDescriptor {
    IUniCharString* field0; /* not read by the host */
    IUniCharString* typeIdentifier; /* "public.jpeg" */
    IUniCharString* name;
    IUniCharString* alternativeName;
    IUniCharString* extensionList; /* comma-separated: "jpg,jpeg,jpe" */
    IUniCharString* extension; /* a single extension */
    IUniCharString* field6; /* not read by the host */
    IUniCharString* mimeType;
} CodecFormatDescriptor;

/* Filled by the codec's slot 5. The four strings hold one reference each (released by the
 * host, may stay null); the descriptor array belongs to the codec. */
typedef struct CodecFormatList {
    IUniCharString* string1;
    IUniCharString* string2;
    IUniCharString* string3;
    IUniCharString* string4;
    uint32_t count;
    const CodecFormatDescriptor* const* descriptors;
} CodecFormatList;

typedef struct IImageCodecVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 open: the codec accepts the data when the result is not negative and *accepted is
     *   non-zero; it then stores a decode state with one reference for the caller in *outState.
     *   `reserved` is 0. */
    CodecResult (*Open)(IImageCodec* self, int32_t reserved, const CodecOpenParams* params, int32_t* accepted,
        IImageDecodeState** outState);
    /* 4 not used by the host (may be null) */
    void* slot4;
    /* 5 lists the formats the codec decodes */
    CodecResult (*GetFormats)(IImageCodec* self, CodecFormatList* formats);
} IImageCodecVtbl;
struct IImageCodec {
    const IImageCodecVtbl* vtbl;
};

/* Filled by the decode state's slot 3. The interface fields receive one reference each for the
 * host. */
typedef struct ImageTypeInfo {
    int32_t field0;
    IUniCharString* formatType; /* type identifier of the format */
    int32_t field2;
    ICFDictionary* imageMetadata;
} ImageTypeInfo;

#define CODEC_PAGE_INFO_HAS_RESOLUTION 0x40u

/* Filled by the decode state's slot 4. The interface fields receive one reference each. */
typedef struct PageInfo {
    uint32_t flags; /* CODEC_PAGE_INFO_HAS_RESOLUTION */
    uint32_t width; /* pixels */
    uint32_t height;
    uint32_t bitsPerSample;
    int32_t field4;
    int32_t field5;
    IUnknown* object6;
    int32_t field7;
    IUniCharString* string8;
    int32_t horizontalResolution; /* dots per inch */
    int32_t verticalResolution;
    int32_t field11;
    int32_t field12;
    ICFDictionary* pageMetadata;
} PageInfo;

typedef struct CodecRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} CodecRect;
typedef struct CodecSize {
    int32_t width;
    int32_t height;
} CodecSize;

/* Decode modes: 1 full picture (the default), 0 embedded thumbnail, 4 and 6 thumbnail of the
 * requested size (see Size). */
#define CODEC_DECODE_MODE_EMBEDDED_THUMBNAIL 0
#define CODEC_DECODE_MODE_FULL 1
#define CODEC_DECODE_MODE_THUMBNAIL 4
#define CODEC_DECODE_MODE_THUMBNAIL_DECODED 6

/* The decode request; owned by the host, which releases `progress` and `image` with it. */
typedef struct IDP_DecodeParam {
    int32_t field0;
    uint32_t field1;
    CodecRect rect;
    CodecSize size; /* requested thumbnail size */
    int32_t mode; /* CODEC_DECODE_MODE_... */
    IProgress* progress; /* may be null */
    IZOVImage* image; /* receives the pixels */
} IDP_DecodeParam;

typedef struct CodecDecodeResult {
    int32_t fields[5]; /* zero; not read by the host */
} CodecDecodeResult;

typedef struct IImageDecodeStateVtbl {
    CODEC_IUNKNOWN_SLOTS
    /* 3 */ CodecResult (*GetTypeInfo)(IImageDecodeState* self, ImageTypeInfo* info);
    /* 4 page information (`page` is 0) */
    CodecResult (*GetPageInfo)(IImageDecodeState* self, int32_t page, PageInfo* info);
    /* 5 */ CodecResult (*GetPageCount)(IImageDecodeState* self, uint32_t* count);
    /* 6 copy failure: why the state's last GetPageInfo or Decode failed, or why its last decode
     *   gave an incomplete picture ("truncated at byte 812"), as a new string (one reference for
     *   the caller); null when nothing went wrong. The slot itself may be null. */
    IUniCharString* (*CopyFailure)(IImageDecodeState* self);
    /* 7 decode into params->image; poll params->progress (when not null) to stop early */
    CodecResult (*Decode)(IImageDecodeState* self, IDP_DecodeParam* params, CodecDecodeResult* result);
} IImageDecodeStateVtbl;
struct IImageDecodeState {
    const IImageDecodeStateVtbl* vtbl;
};

/* ---------------------------------------------------------------------------------------------
 * Plug-in export.
 *
 * A plug-in's factories, in order. `create` answers a new instance (an IUnknown-compatible
 * interface pointer with one reference for the caller) of `plugInType`, or null.
 */
typedef struct CodecPlugInFactory {
    CodecUUIDBytes plugInType;
    CodecUUIDBytes factoryID;
    void* (*create)(const CodecUUIDBytes* plugInType);
} CodecPlugInFactory;

/* The one exported function: answers the plug-in's factories and their count (the array lives
 * as long as the plug-in is loaded). Declare it with CODEC_PLUGIN_EXPORT. */
typedef const CodecPlugInFactory* (*VistelCodecPlugInFactoriesFunc)(size_t* count);
#define CODEC_PLUGIN_FACTORIES_SYMBOL "VistelCodecPlugInFactories"
#define CODEC_PLUGIN_EXPORT __attribute__((visibility("default")))
CODEC_PLUGIN_EXPORT const CodecPlugInFactory* VistelCodecPlugInFactories(size_t* count);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VISTEL_CODEC_PLUGIN_CONTRACT_H */
