// The JPEG 2000 encoder of ImageDestination (libopenjp2), writing the JP2 file format.

#include <algorithm>
#include <cmath>
#include <cstring>

#include <openjpeg.h>

#include "Platform/Imaging/ImageEncoders.h"

namespace vistel::encoders {

namespace {

struct MemoryStream {
    Bytes* out;
    std::size_t position = 0;
};

OPJ_SIZE_T writeBytes(void* buffer, OPJ_SIZE_T size, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    if (stream->position + size > stream->out->size())
        stream->out->resize(stream->position + size);
    std::memcpy(stream->out->data() + stream->position, buffer, size);
    stream->position += size;
    return size;
}

OPJ_OFF_T skipBytes(OPJ_OFF_T count, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    if (count < 0 && OPJ_OFF_T(stream->position) < -count)
        return -1;
    stream->position = std::size_t(OPJ_OFF_T(stream->position) + count);
    if (stream->position > stream->out->size())
        stream->out->resize(stream->position);
    return count;
}

OPJ_BOOL seekBytes(OPJ_OFF_T offset, void* user)
{
    auto* stream = static_cast<MemoryStream*>(user);
    if (offset < 0)
        return OPJ_FALSE;
    stream->position = std::size_t(offset);
    if (stream->position > stream->out->size())
        stream->out->resize(stream->position);
    return OPJ_TRUE;
}

void collectMessage(const char* message, void* user)
{
    auto* text = static_cast<std::string*>(user);
    if (text->empty())
        *text = message;
    while (!text->empty() && text->back() == '\n')
        text->pop_back();
}

} // namespace

double jpeg2000CompressionRatio(double quality)
{
    // Monotonic: quality 1 is lossless (no ratio), lower qualities compress more, from about
    // 2:1 just below 1 to 100:1 at 0.
    const double q = std::clamp(quality, 0.0, 1.0);
    return 1.0 + 99.0 * std::pow(1.0 - q, 1.5);
}

bool encodeJPEG2000(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error)
{
    if (bitmap.width == 0 || bitmap.height == 0 || bitmap.width > 0x7FFFFFFF || bitmap.height > 0x7FFFFFFF) {
        error = "picture size unfit for JPEG 2000";
        return false;
    }
    const auto channels = std::size_t(bitmap.channels);
    std::vector<opj_image_cmptparm_t> parameters(channels);
    for (auto& component : parameters) {
        std::memset(&component, 0, sizeof component);
        component.dx = component.dy = 1;
        component.w = OPJ_UINT32(bitmap.width);
        component.h = OPJ_UINT32(bitmap.height);
        component.prec = 8;
        component.sgnd = 0;
    }
    const OPJ_COLOR_SPACE space = channels <= 2 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB;
    opj_image_t* image = opj_image_create(OPJ_UINT32(channels), parameters.data(), space);
    if (!image) {
        error = "out of memory";
        return false;
    }
    image->x0 = image->y0 = 0;
    image->x1 = OPJ_UINT32(bitmap.width);
    image->y1 = OPJ_UINT32(bitmap.height);
    if (channels == 4 || channels == 2)
        image->comps[channels - 1].alpha = 1;
    const std::size_t pixels = bitmap.width * bitmap.height;
    for (std::size_t c = 0; c < channels; ++c) {
        OPJ_INT32* plane = image->comps[c].data;
        for (std::size_t i = 0; i < pixels; ++i)
            plane[i] = bitmap.pixels[i * channels + c];
    }

    opj_cparameters_t options;
    opj_set_default_encoder_parameters(&options);
    options.tcp_numlayers = 1;
    options.cp_disto_alloc = 1;
    const bool lossless = settings.quality >= 1.0;
    options.irreversible = lossless ? 0 : 1;
    options.tcp_rates[0] = lossless ? 0.0f : float(jpeg2000CompressionRatio(settings.quality));
    options.tcp_mct = channels >= 3 ? 1 : 0;
    // Fewer resolution levels for small pictures: each level halves the smallest side.
    const auto smallest = std::min(bitmap.width, bitmap.height);
    int levels = 1;
    while (levels < 6 && (smallest >> levels) >= 1)
        ++levels;
    options.numresolution = std::max(1, std::min(options.numresolution, levels));

    std::string message;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_JP2);
    opj_set_error_handler(codec, collectMessage, &message);
    Bytes result;
    MemoryStream memory {&result};
    opj_stream_t* stream = opj_stream_default_create(OPJ_FALSE);
    opj_stream_set_user_data(stream, &memory, nullptr);
    opj_stream_set_write_function(stream, writeBytes);
    opj_stream_set_skip_function(stream, skipBytes);
    opj_stream_set_seek_function(stream, seekBytes);
    const bool done = opj_setup_encoder(codec, &options, image) && opj_start_compress(codec, image, stream)
                      && opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!done || result.empty()) {
        error = message.empty() ? "JPEG 2000 encoding failed" : message;
        return false;
    }
    out = std::move(result);
    return true;
}

} // namespace vistel::encoders
