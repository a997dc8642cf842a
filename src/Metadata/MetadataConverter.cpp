#include "Metadata/MetadataConverter.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <set>
#include <string>

#include "Platform/Formatter.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

std::string translated(const char* text, const char* selector)
{
    return ZOV_TRANSLATE_AS(MetadataConverterImp::staticZovClass(), text, selector);
}

// The number a value holds: a number itself, or the number a string starts with (leading
// blanks and a '+' allowed, '.' as the decimal point whatever the locale). Nothing for any
// other value, a string without a number, or a number that is not finite.
std::optional<double> numberOf(const Value& value)
{
    if (value.isNumber()) {
        const double number = value.toDouble();
        return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
    }
    if (!value.isString())
        return std::nullopt;
    const std::string& text = value.asString();
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && (*begin == ' ' || *begin == '\t' || *begin == '\n'))
        ++begin;
    if (begin != end && *begin == '+')
        ++begin;
    double number = 0;
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || stop == begin || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// APEX steps and enumeration codes are whole numbers: no larger than this in magnitude (a
// power of two beyond it has no meaning for a camera).
constexpr double kLargestStep = 1000;

// An APEX value rounded to its whole step, halves away from zero (6.97 -> 7, -1.5 -> -2).
std::optional<int> apexStep(const Value& value)
{
    const std::optional<double> number = numberOf(value);
    if (!number || std::fabs(*number) > kLargestStep)
        return std::nullopt;
    return int(std::round(*number));
}

// An enumeration's code: the value's whole number, its fraction dropped.
std::optional<long long> codeOf(const Value& value)
{
    if (value.isInteger() || value.isBoolean())
        return value.toInt64();
    const std::optional<double> number = numberOf(value);
    if (!number || std::fabs(*number) > 1e15)
        return std::nullopt;
    return static_cast<long long>(std::trunc(*number));
}

struct Code {
    long long code;
    const char* text;
};

// The translated text of the value's code, or the value unchanged when the code has none.
Value enumerated(const Value& value, std::span<const Code> codes, const char* selector)
{
    const std::optional<long long> code = codeOf(value);
    if (!code)
        return value;
    for (const Code& entry : codes)
        if (entry.code == *code)
            return translated(entry.text, selector);
    return value;
}

// A string filled into a translated format; any other value unchanged.
Value stringInto(const Value& value, const char* formatText, const char* selector)
{
    if (!value.isString())
        return value;
    return format(translated(formatText, selector), value);
}

// "ƒ/<text>" (U+0192, not translated).
Value fNumberText(const Value& text) { return format("\u0192/%@", text); }

Value apertureText(const Value& value)
{
    static constexpr std::array<const char*, 11> kFNumbers = {"1", "1.4", "2", "2.8", "4", "5.6", "8", "11", "16", "22", "32"};
    const std::optional<int> av = apexStep(value);
    if (av && *av >= 0 && *av <= 10)
        return fNumberText(kFNumbers[std::size_t(*av)]);
    return value.isString() ? fNumberText(value) : value;
}

constexpr Code kColorSpaces[] = {
    {1, "sRGB"},
    {65535, "Uncalibrated"},
};

constexpr Code kExposurePrograms[] = {
    {1, "Manual"},
    {2, "Normal program"},
    {3, "Aperture priority"},
    {4, "Shutter priority"},
    {5, "Creative program"},
    {6, "Action program"},
    {7, "Portrait mode"},
    {8, "Landscape mode"},
};

constexpr Code kMeteringModes[] = {
    {0, "Unknown"},
    {1, "Average"},
    {2, "Center Weighted Average"},
    {3, "Spot"},
    {4, "MultiSpot"},
    {5, "Pattern"},
    {6, "Partial"},
    {255, "Other"},
};

constexpr Code kFlashes[] = {
    {0x00, "Flash did not fire."},
    {0x01, "Flash fired."},
    {0x05, "Strobe return light not detected."},
    {0x07, "Strobe return light detected."},
    {0x09, "Flash fired, compulsory flash mode"},
    {0x0D, "Flash fired, compulsory flash mode, return light not detected"},
    {0x0F, "Flash fired, compulsory flash mode, return light detected"},
    {0x10, "Flash did not fire, compulsory flash mode"},
    {0x18, "Flash did not fire, auto mode"},
    {0x19, "Flash fired, auto mode"},
    {0x1D, "Flash fired, auto mode, return light not detected"},
    {0x1F, "Flash fired, auto mode, return light detected"},
    {0x20, "No flash function"},
    {0x41, "Flash fired, red-eye reduction mode"},
    {0x45, "Flash fired, red-eye reduction mode, return light not detected"},
    {0x47, "Flash fired, red-eye reduction mode, return light detected"},
    {0x49, "Flash fired, compulsory flash mode, red-eye reduction mode"},
    {0x4D, "Flash fired, compulsory flash mode, red-eye reduction mode, return light not detected"},
    {0x4F, "Flash fired, compulsory flash mode, red-eye reduction mode, return light detected"},
    {0x59, "Flash fired, auto mode, red-eye reduction mode"},
    {0x5D, "Flash fired, auto mode, return light not detected, red-eye reduction mode"},
    {0x5F, "Flash fired, auto mode, return light detected, red-eye reduction mode"},
};

constexpr Code kLightSources[] = {
    {0, "Unknown"},
    {1, "Daylight"},
    {2, "Fluorescent"},
    {3, "Tungsten (incandescent light)"},
    {4, "Flash"},
    {9, "Fine weather"},
    {10, "Cloudy weather"},
    {11, "Shade"},
    {12, "Daylight fluorescent (D 5700 \u2013 7100K)"},
    {13, "Day white fluorescent (N 4600 \u2013 5400K)"},
    {14, "Cool white fluorescent (W 3900 \u2013 4500K)"},
    {15, "White fluorescent (WW 3200 \u2013 3700K)"},
    {17, "Standard light A"},
    {18, "Standard light B"},
    {19, "Standard light C"},
    {20, "D55"},
    {21, "D65"},
    {22, "D75"},
    {23, "D50"},
    {24, "ISO studio tungsten"},
    {255, "Other light source"},
};

constexpr Code kSensingMethods[] = {
    {1, "Not defined"},
    {2, "One-chip color area sensor"},
    {3, "Two-chip color area sensor"},
    {4, "Three-chip color area sensor"},
    {5, "Color sequential area sensor"},
    {7, "Trilinear sensor"},
    {8, "Color sequential linear sensor"},
};

constexpr Code kCustomRendered[] = {
    {0, "Normal process"},
    {1, "Custom process"},
};

constexpr Code kExposureModes[] = {
    {0, "Auto exposure"},
    {1, "Manual exposure"},
    {2, "Auto bracket"},
};

constexpr Code kWhiteBalances[] = {
    {0, "Auto white balance"},
    {1, "Manual white balance"},
};

constexpr Code kSceneCaptureTypes[] = {
    {0, "Standard"},
    {1, "Landscape"},
    {2, "Portrait"},
    {3, "Night scene"},
};

constexpr Code kGainControls[] = {
    {0, "None"},
    {1, "Low gain up"},
    {2, "High gain up"},
    {3, "Low gain down"},
    {4, "High gain down"},
};

constexpr Code kContrasts[] = {
    {0, "Normal"},
    {1, "Soft"},
    {2, "Hard"},
};

constexpr Code kSaturations[] = {
    {0, "Normal"},
    {1, "Low saturation"},
    {2, "High saturation"},
};

constexpr Code kSharpnesses[] = {
    {0, "Normal"},
    {1, "Soft"},
    {2, "Hard"},
};

constexpr Code kSubjectDistanceRanges[] = {
    {0, "Unknown"},
    {1, "Macro"},
    {2, "Close view"},
    {3, "Distant view"},
};

constexpr Code kPhotometricInterpretations[] = {
    {2, "RGB"},
    {6, "YCbCr"},
};

constexpr Code kOrientations[] = {
    {1, "The 0th row is at the visual top of the image, and the 0th column is the visual left-hand side."},
    {2, "The 0th row is at the visual top of the image, and the 0th column is the visual right-hand side."},
    {3, "The 0th row is at the visual bottom of the image, and the 0th column is the visual right-hand side."},
    {4, "The 0th row is at the visual bottom of the image, and the 0th column is the visual left-hand side."},
    {5, "The 0th row is at the visual left-hand side of the image, and the 0th column is the visual top."},
    {6, "The 0th row is at the visual right-hand side of the image, and the 0th column is the visual top."},
    {7, "The 0th row is at the visual right-hand side of the image, and the 0th column is the visual bottom."},
    {8, "The 0th row is at the visual left-hand side of the image, and the 0th column is the visual bottom."},
};

constexpr Code kResolutionUnits[] = {
    {2, "inches"},
    {3, "centimeters"},
};

using Imp = MetadataConverterImp;

constexpr Imp::Entry kConverters[] = {
    {"Keywords", &Imp::to_Keywords, &Imp::from_Keywords},
    {"ExifShutterSpeedValue", &Imp::to_ExifShutterSpeedValue, nullptr},
    {"ExifApertureValue", &Imp::to_ExifApertureValue, nullptr},
    {"ExifBrightnessValue", &Imp::to_ExifBrightnessValue, nullptr},
    {"ExifColorSpace", &Imp::to_ExifColorSpace, nullptr},
    {"ExifExposureProgram", &Imp::to_ExifExposureProgram, nullptr},
    {"ExifExposureTime", &Imp::to_ExifExposureTime, nullptr},
    {"ExifISOSpeedRating", &Imp::to_ExifISOSpeedRating, nullptr},
    {"ExifFNumber", &Imp::to_ExifFNumber, nullptr},
    {"ExifMaxApertureValue", &Imp::to_ExifMaxApertureValue, nullptr},
    {"ExifExposureBiasValue", &Imp::to_ExifExposureBiasValue, nullptr},
    {"ExifMeteringMode", &Imp::to_ExifMeteringMode, nullptr},
    {"ExifFlash", &Imp::to_ExifFlash, nullptr},
    {"ExifLightSource", &Imp::to_ExifLightSource, nullptr},
    {"ExifSensingMethod", &Imp::to_ExifSensingMethod, nullptr},
    {"ExifCustomRendered", &Imp::to_ExifCustomRendered, nullptr},
    {"ExifExposureMode", &Imp::to_ExifExposureMode, nullptr},
    {"ExifWhiteBalance", &Imp::to_ExifWhiteBalance, nullptr},
    {"ExifSceneCaptureType", &Imp::to_ExifSceneCaptureType, nullptr},
    {"ExifGainControl", &Imp::to_ExifGainControl, nullptr},
    {"ExifContrast", &Imp::to_ExifContrast, nullptr},
    {"ExifSaturation", &Imp::to_ExifSaturation, nullptr},
    {"ExifSharpness", &Imp::to_ExifSharpness, nullptr},
    {"ExifSubjectDistanceRange", &Imp::to_ExifSubjectDistanceRange, nullptr},
    {"ExifFocalLength", &Imp::to_ExifFocalLength, nullptr},
    {"TIFFPhotometricInterpretation", &Imp::to_TIFFPhotometricInterpretation, nullptr},
    {"TIFFOrientation", &Imp::to_TIFFOrientation, nullptr},
    {"TIFFResolutionUnit", &Imp::to_TIFFResolutionUnit, nullptr},
    {"ExifFocalPlaneResolutionUnit", &Imp::to_ExifFocalPlaneResolutionUnit, nullptr},
};

} // namespace

std::span<const MetadataConverterImp::Entry> MetadataConverterImp::converters() { return kConverters; }

const MetadataConverterImp::Entry* MetadataConverterImp::entryForID(std::string_view identifier)
{
    for (const Entry& entry : kConverters)
        if (identifier == entry.identifier)
            return &entry;
    return nullptr;
}

Value MetadataConverterImp::to_Keywords(const Value& value)
{
    if (value.isNull())
        return value;
    std::string text;
    bool first = true;
    auto add = [&text, &first](const std::string& element) {
        if (!first)
            text += ',';
        first = false;
        text += element;
    };
    if (value.isArray()) {
        for (const Value& element : value.asArray())
            add(element.description());
    } else if (value.isDictionary()) {
        for (const auto& entry : value.asDictionary())
            add(entry.first);
    } else {
        return value.description();
    }
    return text;
}

Value MetadataConverterImp::from_Keywords(const Value& value)
{
    if (!value.isString())
        return value;
    std::set<std::string> keywords;
    const std::string& text = value.asString();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        if (comma > start)
            keywords.insert(text.substr(start, comma - start));
        start = comma + 1;
    }
    Value list = Value::array();
    for (const std::string& keyword : keywords)
        list.append(keyword);
    return list;
}

Value MetadataConverterImp::to_ExifShutterSpeedValue(const Value& value)
{
    static constexpr std::array<const char*, 17> kTimes = {"30", "15", "8", "4", "2", "1", "1/2", "1/4", "1/8",
                                                           "1/15", "1/30", "1/60", "1/125", "1/250", "1/500", "1/1000", "1/2000"};
    const std::optional<int> tv = apexStep(value);
    if (!tv)
        return value;
    std::string time;
    if (*tv < -5)
        time = format("%0.0f", std::exp2(-*tv));
    else if (*tv > 11)
        time = format("1/%0.0f", std::exp2(*tv));
    else
        time = kTimes[std::size_t(*tv + 5)];
    return format(translated("%@ s", "to_ExifShutterSpeedValue:"), time);
}

Value MetadataConverterImp::to_ExifApertureValue(const Value& value) { return apertureText(value); }

Value MetadataConverterImp::to_ExifMaxApertureValue(const Value& value) { return apertureText(value); }

Value MetadataConverterImp::to_ExifBrightnessValue(const Value& value)
{
    static constexpr std::array<const char*, 8> kLevels = {"1/4", "1/2", "1", "2", "4", "8", "15", "30"};
    const std::optional<int> bv = apexStep(value);
    if (!bv)
        return value;
    if (*bv > 5)
        return format("%0.0f", std::exp2(*bv));
    if (*bv < -2)
        return format("1/%0.0f", std::exp2(-*bv));
    return kLevels[std::size_t(*bv + 2)];
}

Value MetadataConverterImp::to_ExifExposureTime(const Value& value)
{
    static constexpr const char* kSelector = "to_ExifExposureTime:";
    if (!value.isString())
        return value;
    const std::optional<double> t = numberOf(value);
    if (t && *t > 0 && *t < 1) {
        const double reciprocal = 1 / *t;
        const double whole = std::round(reciprocal);
        // Only a time whose reciprocal is (nearly) whole is a fraction of a second: 0.4 s is
        // not 1/3 s.
        if (std::fabs(reciprocal - whole) < 0.001)
            return format(translated("1/%0.0f s", kSelector), whole);
    }
    return format(translated("%@ s", kSelector), value);
}

Value MetadataConverterImp::to_ExifISOSpeedRating(const Value& value)
{
    return stringInto(value, "ISO %@", "to_ExifISOSpeedRating:");
}

Value MetadataConverterImp::to_ExifFNumber(const Value& value) { return value.isString() ? fNumberText(value) : value; }

Value MetadataConverterImp::to_ExifExposureBiasValue(const Value& value)
{
    return stringInto(value, "%@ eV", "to_ExifExposureBiasValue:");
}

Value MetadataConverterImp::to_ExifFocalLength(const Value& value)
{
    return stringInto(value, "%@ mm", "to_ExifFocalLength:");
}

Value MetadataConverterImp::to_ExifColorSpace(const Value& value)
{
    return enumerated(value, kColorSpaces, "to_ExifColorSpace:");
}

Value MetadataConverterImp::to_ExifExposureProgram(const Value& value)
{
    return enumerated(value, kExposurePrograms, "to_ExifExposureProgram:");
}

Value MetadataConverterImp::to_ExifMeteringMode(const Value& value)
{
    return enumerated(value, kMeteringModes, "to_ExifMeteringMode:");
}

Value MetadataConverterImp::to_ExifFlash(const Value& value) { return enumerated(value, kFlashes, "to_ExifFlash:"); }

Value MetadataConverterImp::to_ExifLightSource(const Value& value)
{
    return enumerated(value, kLightSources, "to_ExifLightSource:");
}

Value MetadataConverterImp::to_ExifSensingMethod(const Value& value)
{
    return enumerated(value, kSensingMethods, "to_ExifSensingMethod:");
}

Value MetadataConverterImp::to_ExifCustomRendered(const Value& value)
{
    return enumerated(value, kCustomRendered, "to_ExifCustomRendered:");
}

Value MetadataConverterImp::to_ExifExposureMode(const Value& value)
{
    return enumerated(value, kExposureModes, "to_ExifExposureMode:");
}

Value MetadataConverterImp::to_ExifWhiteBalance(const Value& value)
{
    return enumerated(value, kWhiteBalances, "to_ExifWhiteBalance:");
}

Value MetadataConverterImp::to_ExifSceneCaptureType(const Value& value)
{
    return enumerated(value, kSceneCaptureTypes, "to_ExifSceneCaptureType:");
}

Value MetadataConverterImp::to_ExifGainControl(const Value& value)
{
    return enumerated(value, kGainControls, "to_ExifGainControl:");
}

Value MetadataConverterImp::to_ExifContrast(const Value& value) { return enumerated(value, kContrasts, "to_ExifContrast:"); }

Value MetadataConverterImp::to_ExifSaturation(const Value& value)
{
    return enumerated(value, kSaturations, "to_ExifSaturation:");
}

Value MetadataConverterImp::to_ExifSharpness(const Value& value)
{
    return enumerated(value, kSharpnesses, "to_ExifSharpness:");
}

Value MetadataConverterImp::to_ExifSubjectDistanceRange(const Value& value)
{
    return enumerated(value, kSubjectDistanceRanges, "to_ExifSubjectDistanceRange:");
}

Value MetadataConverterImp::to_TIFFPhotometricInterpretation(const Value& value)
{
    return enumerated(value, kPhotometricInterpretations, "to_TIFFPhotometricInterpretation:");
}

Value MetadataConverterImp::to_TIFFOrientation(const Value& value)
{
    return enumerated(value, kOrientations, "to_TIFFOrientation:");
}

Value MetadataConverterImp::to_TIFFResolutionUnit(const Value& value)
{
    return enumerated(value, kResolutionUnits, "to_TIFFResolutionUnit:");
}

Value MetadataConverterImp::to_ExifFocalPlaneResolutionUnit(const Value& value)
{
    return enumerated(value, kResolutionUnits, "to_ExifFocalPlaneResolutionUnit:");
}

Ref<MetadataConverterBridge> MetadataConverterBridge::converterForID(std::string_view identifier)
{
    const MetadataConverterImp::Entry* entry = MetadataConverterImp::entryForID(identifier);
    return makeRef<MetadataConverterBridge>(entry ? entry->to : nullptr, entry ? entry->from : nullptr);
}

Ref<MetadataConverterProtocol> MetadataConverterBase::converterForID(std::string_view identifier)
{
    return MetadataConverterBridge::converterForID(identifier);
}

} // namespace vistel
