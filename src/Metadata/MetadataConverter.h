#pragma once
// Metadata display converters: raw metadata values (EXIF and TIFF numbers as the catalogue
// keeps them, the item's keyword list) become readable text, and an edited keyword text becomes
// a keyword list again.
//
// A field row names its converter by an identifier ("ExifFlash", "Keywords"...).
// MetadataConverterBase::converterForID() answers a converter object for any identifier: its
// toUI() turns a raw value into the displayed one, fromUI() an edited value back into a raw one.
// The conversions themselves are the stateless functions of MetadataConverterImp, found through
// one constant table from identifier to a to/from pair; an identifier the table does not know,
// or a direction it has no function for, passes the value through unchanged.
//
// Values are Values: the catalogue holds metadata as text ("16", "0.004", "6.97"), so every
// converter takes strings; the enumeration and APEX converters also take numbers. Converters
// marked "string only" below change only string values and give any other value back as it is.
//
// Texts are translated with the class MetadataConverterImp and the converter function's name as
// selector ("to_ExifFlash:"); format texts ("%@ s") are translated before they are filled.
//
// Thread rules: pure functions and immutable objects; callable from any thread.

#include <span>
#include <string_view>

#include "Platform/Object.h"
#include "Platform/Value.h"
#include "ZovClass.h"

namespace vistel {

// What a metadata value asks of its converter.
class MetadataConverterProtocol : public Object {
public:
    // Raw value -> displayed value.
    virtual Value toUI(const Value& value) const = 0;
    // Edited value -> raw value.
    virtual Value fromUI(const Value& value) const = 0;
};

// The conversions. No instances: every member is a static function taking and returning a
// Value. Enumerations read the value's whole number (a string or a number); a code without a
// text, or a value that holds no number, comes back unchanged.
class MetadataConverterImp {
public:
    ZOV_ROOT_CLASS(MetadataConverterImp)
    MetadataConverterImp() = delete;

    using Function = Value (*)(const Value&);
    struct Entry {
        const char* identifier;
        Function to;   // raw -> displayed
        Function from; // edited -> raw; null when the converter has no way back
    };
    // Every converter, by identifier.
    static std::span<const Entry> converters();
    // The entry of `identifier`; null when there is none.
    static const Entry* entryForID(std::string_view identifier);

    // A list (array or dictionary keys) joined with "," without blanks, in order; any other
    // value: its description; null stays null.
    static Value to_Keywords(const Value& value);
    // An edited keyword text split at ",": empty pieces and duplicates dropped, sorted by plain
    // string comparison; blanks are kept ("a" and " a" are two keywords). "" gives an empty list.
    // A value that is not a string comes back unchanged.
    static Value from_Keywords(const Value& value);

    // APEX values, rounded to the nearest whole step (halves away from zero).
    static Value to_ExifShutterSpeedValue(const Value& value); // "1/125 s", "128 s", "1/8192 s"
    static Value to_ExifApertureValue(const Value& value);     // "ƒ/2.8"; outside 0..10 "ƒ/<raw text>"
    static Value to_ExifMaxApertureValue(const Value& value);  // as ExifApertureValue
    static Value to_ExifBrightnessValue(const Value& value);   // "1/4" ... "30", "64", "1/8"

    // String only.
    static Value to_ExifExposureTime(const Value& value); // "1/250 s" for a whole reciprocal, else "0.3 s"
    static Value to_ExifISOSpeedRating(const Value& value); // "ISO 200"
    static Value to_ExifFNumber(const Value& value);        // "ƒ/2.8"
    static Value to_ExifExposureBiasValue(const Value& value); // "-0.7 eV"
    static Value to_ExifFocalLength(const Value& value);    // "50 mm"

    // Enumerations (EXIF 2.2 and TIFF 6.0 names).
    static Value to_ExifColorSpace(const Value& value);
    static Value to_ExifExposureProgram(const Value& value);
    static Value to_ExifMeteringMode(const Value& value);
    static Value to_ExifFlash(const Value& value);
    static Value to_ExifLightSource(const Value& value);
    static Value to_ExifSensingMethod(const Value& value);
    static Value to_ExifCustomRendered(const Value& value);
    static Value to_ExifExposureMode(const Value& value);
    static Value to_ExifWhiteBalance(const Value& value);
    static Value to_ExifSceneCaptureType(const Value& value);
    static Value to_ExifGainControl(const Value& value);
    static Value to_ExifContrast(const Value& value);
    static Value to_ExifSaturation(const Value& value);
    static Value to_ExifSharpness(const Value& value);
    static Value to_ExifSubjectDistanceRange(const Value& value);
    static Value to_TIFFPhotometricInterpretation(const Value& value);
    static Value to_TIFFOrientation(const Value& value);
    static Value to_TIFFResolutionUnit(const Value& value);
    static Value to_ExifFocalPlaneResolutionUnit(const Value& value);
};

// The converter object of one identifier: the pair of functions the table gives for it (either
// may be absent: that direction passes values through).
class MetadataConverterBridge final : public MetadataConverterProtocol {
public:
    // A bridge for any identifier; an unknown one converts nothing.
    static Ref<MetadataConverterBridge> converterForID(std::string_view identifier);

    MetadataConverterBridge(MetadataConverterImp::Function selectorTo, MetadataConverterImp::Function selectorFrom)
        : selectorTo_(selectorTo), selectorFrom_(selectorFrom)
    {
    }

    Value toUI(const Value& value) const override { return selectorTo_ ? selectorTo_(value) : value; }
    Value fromUI(const Value& value) const override { return selectorFrom_ ? selectorFrom_(value) : value; }

    MetadataConverterImp::Function selectorTo() const noexcept { return selectorTo_; }
    MetadataConverterImp::Function selectorFrom() const noexcept { return selectorFrom_; }

private:
    MetadataConverterImp::Function selectorTo_;
    MetadataConverterImp::Function selectorFrom_;
};

// The entry point the metadata values use.
class MetadataConverterBase {
public:
    MetadataConverterBase() = delete;
    // The converter of `identifier` (never null: an unknown identifier converts nothing).
    static Ref<MetadataConverterProtocol> converterForID(std::string_view identifier);
};

} // namespace vistel
