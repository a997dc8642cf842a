#pragma once
// NSStringDevices: telling volume paths from camera paths, and taking camera paths apart.
//
// A volume path is any text whose first byte is '/'. A camera path is "ICA:/" followed by the
// camera's object identifier (signed decimal), optionally "/" and a file name exactly as the
// camera reports it: "ICA:/41", "ICA:/41/DSC0001.JPG", "ICA:/41/My Photo #1.JPG". The scheme
// "ICA" is compared case-sensitively. Any other text is neither kind, and path services answer
// it with their not-found result.
//
// Camera paths are read as text (NSURLExtentions), never through a URL parser, so names with
// spaces, '%', '#', '?' or non-ASCII bytes stay intact.
//
// Pure functions: safe on any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vistel::NSStringDevices {

// True when the text is not empty and begins with '/'.
bool isVolumePath(std::string_view path);

// True when the text's protocol (the text before the first ":/") is exactly "ICA".
bool isICADevicePath(std::string_view path);

// The camera's object identifier: the host of the camera path read like a decimal integer
// (leading blanks and a sign allowed, reading stops at the first non-digit, saturating at the
// 64-bit limits). 0 when the text is not a camera path or has no host.
std::int64_t icaDeviceID(std::string_view path);

// The camera's mount point, "ICA:/<host>" ("ICA:/41" for "ICA:/41/x" and "ICA://41/x");
// nullopt when the text is not a camera path or names no camera.
std::optional<std::string> icaDevicePath(std::string_view path);

// The path part of the camera path, byte for byte (NSURLExtentions::path): "/41/x" for
// "ICA:/41/x", "/x" for "ICA://41/x", "" when there is none; nullopt when not a camera path.
std::optional<std::string> icaPathWithoutDevice(std::string_view path);

} // namespace vistel::NSStringDevices
