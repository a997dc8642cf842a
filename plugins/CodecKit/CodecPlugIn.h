#pragma once
// The glue between the codec kit and the codec contract (Imaging/CodecPlugInContract.h).
//
// The codec core plug-in makes one ICodecCore; the host initialises it once with the host
// information, which the kit keeps for the whole process: the codecs need the host's factory
// to hand strings (format lists, type identifiers) and metadata dictionaries back to the host.
// Every codec plug-in wraps one ImageCodec in an IImageCodec, whose open operation answers an
// IImageDecodeState over an ImageDecoder.
//
// Threads: the host information is set once before any codec is used and only read afterwards
// (under a lock, so a late re-initialisation is safe too). A codec object may be used from
// several threads; a decode state by one thread at a time, except for the progress object it
// polls.

#include <memory>

#include "Imaging/CodecPlugInContract.h"
#include "ImageCodec.h"

namespace vistel::codec {

// A decode that failed (damaged data, cancelled, too large).
inline constexpr CodecResult kCodecDecodeFailed = -1;

// A new codec core object with one reference for the caller.
ICodecCore* createCodecCoreObject();
// A new codec object over `codec`, with one reference for the caller.
IImageCodec* createImageCodecObject(std::unique_ptr<ImageCodec> codec);

// True once a codec core of this process was initialised.
bool hostServicesAvailable();
// A new host object through the host's factory (one reference for the caller); null without
// an initialised core or when the host does not make `iid`.
void* createHostObject(const CodecUUIDBytes& iid);
// A new host string holding `text` (UTF-8); null without host services.
IUniCharString* createHostString(const std::string& text);
// A new host dictionary holding `dictionary`; null without host services.
ICFDictionary* createHostDictionary(const Value& dictionary);

} // namespace vistel::codec

// Defines the one export of an image-codec plug-in: a single factory, identified by the sixteen
// bytes given, that makes a CodecClass behind the image-codec interface.
#define VISTEL_IMAGE_CODEC_PLUGIN(CodecClass, ...)                                                   \
    namespace {                                                                                     \
    void* createImageCodecPlugInObject(const CodecUUIDBytes*)                                       \
    {                                                                                               \
        return vistel::codec::createImageCodecObject(std::make_unique<CodecClass>());               \
    }                                                                                               \
    const CodecPlugInFactory kImageCodecFactory = {CODEC_IMAGECODEC_PLUGIN_TYPE_ID, CODEC_UUID(__VA_ARGS__), \
                                                   &createImageCodecPlugInObject};                  \
    }                                                                                               \
    extern "C" CODEC_PLUGIN_EXPORT const CodecPlugInFactory* VistelCodecPlugInFactories(size_t* count) \
    {                                                                                               \
        if (count)                                                                                  \
            *count = 1;                                                                             \
        return &kImageCodecFactory;                                                                 \
    }
