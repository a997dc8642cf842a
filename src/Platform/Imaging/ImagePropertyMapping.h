#pragma once
// ImagePropertyMapping: the one table between the image-property vocabulary
// (ImageProperties.h) and exiv2's metadata keys, and reading and writing a picture's metadata
// through exiv2.
//
// Codecs, the catalogue, the metadata panel and the conversion engine all go through this
// table, so a value read from a file, stored as text and written again keeps its key and type.
// Value types are kept: rationals become numbers (and numbers rationals again), multi-valued
// tags arrays, dates the EXIF text, version tags arrays of digits ("0221" <-> [2, 2, 1]), GPS
// coordinates decimal degrees, the GPS time stamp "HH:MM:SS.ss", IPTC repeatable datasets
// arrays of strings.
//
// exiv2 must be initialised before threads use it: call initialize() at start-up (every entry
// point here also does it once, so tests and tools need not). Its XMP state is released when
// the process exits (atexit): worker threads must be done with exiv2 by then.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/Value.h"

namespace vistel {

class ImagePropertyMapping {
public:
    enum class Kind {
        Automatic,     // by the tag's type: one value a scalar, several an array
        Array,         // always an array, even of one value
        Version,       // four undefined bytes of digits <-> array of numbers
        Data,          // undefined bytes <-> data
        UndefinedByte, // one undefined byte <-> number
        Comment,       // character-set-prefixed text <-> string
        GPSCoordinate, // degrees, minutes, seconds <-> decimal degrees
        GPSTime,       // hours, minutes, seconds <-> "HH:MM:SS.ss"
        Text,          // IPTC text; repeatable datasets give arrays
    };
    struct Entry {
        const char* dictionary; // "{Exif}", "{TIFF}"...
        const char* property;   // "FNumber"...
        const char* exiv2Key;   // "Exif.Photo.FNumber"...
        Kind kind;
        bool writable;          // false for tags the encoder owns (compression, photometric) or maker notes
    };

    static void initialize();

    static const std::vector<Entry>& table();
    static const Entry* entryForExiv2Key(std::string_view key);
    static const Entry* entryForProperty(std::string_view dictionary, std::string_view property);

    // The {TIFF}, {Exif}, {ExifAux}, {GPS} and {IPTC} dictionaries of an encoded picture, plus
    // the top-level Orientation when it has one. An empty dictionary when exiv2 does not know
    // the format or finds nothing; never throws.
    static Value readImageProperties(const std::uint8_t* bytes, std::size_t size);
    // Writes the dictionaries of `properties` into an encoded picture (JPEG, TIFF, PNG, WebP).
    // The orientation is {TIFF} Orientation, else the top-level Orientation. Entries of unknown
    // keys and values that do not fit their tag are left out. False, with `encoded` unchanged,
    // when exiv2 cannot write the format or fails.
    static bool writeImageProperties(std::vector<std::uint8_t>& encoded, const Value& properties);
    // True when the properties hold anything writeImageProperties would write.
    static bool hasWritableMetadata(const Value& properties);
};

} // namespace vistel
