#pragma once
// Internal to the imaging platform: the codec libraries behind ImageDestination. Each encoder
// takes eight-bit, unpremultiplied pixels and answers the encoded bytes, or false with a reason.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Imaging/PlatformImage.h"

namespace vistel::encoders {

struct Settings {
    double quality = 0.9;                             // 0..1
    std::array<double, 3> background {1.0, 1.0, 1.0}; // sRGB 0..1
    double dpiX = 0, dpiY = 0;                        // 0: not given
    int tiffCompression = 1;                          // 1 none, 5 LZW, 32773 PackBits
};

using Bytes = std::vector<std::uint8_t>;

bool encodeJPEG(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
bool encodePNG(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
bool encodeTIFF(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
bool encodeWebP(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
bool encodeGIF(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
bool encodeBMP(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
// JP2 files: quality 1 is lossless (reversible wavelet), below it the irreversible wavelet at
// the compression ratio jpeg2000CompressionRatio(quality).
bool encodeJPEG2000(const Bitmap8& bitmap, const Settings& settings, Bytes& out, std::string& error);
double jpeg2000CompressionRatio(double quality);

} // namespace vistel::encoders
