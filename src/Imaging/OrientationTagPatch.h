#pragma once
// OrientationTagPatch: rewrites the orientation of an encoded JPEG or WebP file in place, byte
// for byte: the SHORT value of the orientation entry in the EXIF block's first directory (IFD0),
// and the one-digit tiff:Orientation value of the XMP packet when the packet has one. Nothing
// else moves, so maker notes and everything that tools read by offset stay where they were.
//
// Untrusted input: every offset and length is checked against the bytes; a damaged or unusual
// layout is left alone (the caller then rewrites through exiv2). Pure function, any thread.

#include <cstdint>

#include "Platform/Value.h"

namespace vistel {

// True when the orientation (1-8) was written in place. False, with `bytes` unchanged, when
// the file is not JPEG or WebP, has no EXIF orientation entry of one SHORT, or has an XMP
// orientation that is not one digit from 1 to 8.
bool patchOrientationInPlace(Value::Bytes& bytes, std::uint32_t orientation);

} // namespace vistel
