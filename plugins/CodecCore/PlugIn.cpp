// The codec core plug-in: one factory of the codec-core plug-in type. The core keeps the host
// information in the codec kit, where every codec plug-in finds it.

#include "CodecPlugIn.h"

namespace {

void* createCore(const CodecUUIDBytes*)
{
    return vistel::codec::createCodecCoreObject();
}

const CodecPlugInFactory kFactories[] = {
    { CODEC_CODECCORE_PLUGIN_TYPE_ID, CODEC_UUID(0x46, 0x31, 0xA1, 0xF9, 0xC8, 0x2B, 0x4E, 0x11, 0x96, 0x97, 0x58, 0xC9, 0x83, 0xCF, 0x16, 0x8B), &createCore },
};

} // namespace

extern "C" CODEC_PLUGIN_EXPORT const CodecPlugInFactory* VistelCodecPlugInFactories(size_t* count)
{
    if (count)
        *count = sizeof kFactories / sizeof kFactories[0];
    return kFactories;
}
