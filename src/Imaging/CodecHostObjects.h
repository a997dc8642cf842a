#pragma once
// The host objects of the codec contract: what the program hands to codec plug-ins.
//
// Each object is a TComObject (ComSupport.h) over an implementation class in
// CodecHostObjects.cpp and is handed out with one reference for the caller. Each holds its own
// platform value (an image, a colour space, bytes, UTF-16 text, a Value), never a pointer into
// a caller's memory, so it stays valid whatever the caller frees. Only the reference counts and
// the progress object's cancel flag are safe to use from several threads at once.
//
// CreateHostObject is the factory handed to the codec core. The functions below are the host's
// own ways in: objects the factory does not make (data providers), and reading back what a codec
// stored (the platform image of an IZOVImage).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Imaging/CodecAllocator.h"
#include "Imaging/CodecPlugInContract.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/Value.h"

namespace vistel {

// The factory of the contract (CreateHostObjectFunc).
void* CreateHostObject(void* ignored, const CodecUUIDBytes* iid);

// New objects, one reference each for the caller.
IZOVImage* createImageObject();
IColorSpace* createColorSpaceObject();
IUniCharString* createStringObject();
IUniCharString* createStringObject(std::u16string text);
IUniCharString* createStringObjectFromUTF8(std::string_view text);
ICFDictionary* createDictionaryObject();
ICFArray* createArrayObject();
ICFNumber* createNumberObject();
ICFBoolean* createBooleanObject();
IProgress* createProgressObject();
// Over bytes that `owner` keeps alive (a vector, a mapped file); the bytes must not change.
IDataProvider* createDataProvider(std::shared_ptr<const void> owner, const std::uint8_t* bytes, std::size_t size);
IDataProvider* createDataProvider(std::shared_ptr<const std::vector<std::uint8_t>> bytes);
// A new allocator object over `allocator` (null: the current default); its own memory comes
// from that allocator. Null when the allocator cannot allocate.
IAllocator* createAllocatorObject(Ref<CodecAllocator> allocator = nullptr);
// The process-wide shared allocator object, made on first use over the then-default allocator;
// a reference is added for the caller.
IAllocator* sharedAllocatorObject();

// Reading back host objects. Each answers null/empty for a null pointer or an object that is
// not the host's own implementation of the interface; strings of other implementations are
// read through their length and range slots.
Ref<PlatformImage> platformImageOf(IZOVImage* image);
std::u16string stringOf(IUniCharString* string);
std::string utf8StringOf(IUniCharString* string);
Value dictionaryOf(ICFDictionary* dictionary);

// Host objects alive in this process (every kind above). For tests and diagnostics.
std::int64_t codecHostLiveObjectCount() noexcept;

} // namespace vistel
