#pragma once
// Conversions between exiv2's containers and image-property dictionaries, for codec plug-ins
// that read metadata with exiv2 themselves. See ImagePropertyMapping.h for the rules.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // exiv2 0.27 still uses std::auto_ptr
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "Platform/Value.h"

namespace vistel {

// {TIFF}, {Exif}, {ExifAux}, {GPS}, {IPTC} and the top-level Orientation.
Value imagePropertiesFromExiv2(const Exiv2::ExifData& exif, const Exiv2::IptcData& iptc);
// Adds (replacing) every mapped, writable entry of `properties` to the exiv2 containers.
void exiv2FromImageProperties(const Value& properties, Exiv2::ExifData& exif, Exiv2::IptcData& iptc);

} // namespace vistel
