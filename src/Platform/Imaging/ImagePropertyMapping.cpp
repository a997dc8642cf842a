#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // exiv2 0.27 still uses std::auto_ptr

#include "Platform/Imaging/ImagePropertyMapping.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "Platform/Imaging/ImagePropertyExiv2.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

using Kind = ImagePropertyMapping::Kind;
using Entry = ImagePropertyMapping::Entry;

#define TIFF_ENTRY(property, tag, kind) {kImagePropertyTIFFDictionary, property, "Exif.Image." tag, kind, true}
#define EXIF_ENTRY(property, tag, kind) {kImagePropertyExifDictionary, property, "Exif.Photo." tag, kind, true}
#define GPS_ENTRY(property, tag, kind) {kImagePropertyGPSDictionary, property, "Exif.GPSInfo." tag, kind, true}
#define IPTC_ENTRY(property, tag) {kImagePropertyIPTCDictionary, property, "Iptc.Application2." tag, Kind::Text, true}
// Maker notes are read, never written: their layout belongs to the camera.
#define NIKON_ENTRY(property, tag, kind) {kImagePropertyMakerNikonDictionary, property, "Exif.Nikon3." tag, kind, false}

const std::vector<Entry>& buildTable()
{
    static const std::vector<Entry> table = {
        // Image structure belongs to the encoder: read, never written.
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFCompression, "Exif.Image.Compression", Kind::Automatic, false},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFPhotometricInterpretation, "Exif.Image.PhotometricInterpretation", Kind::Automatic, false},
        TIFF_ENTRY(kImagePropertyTIFFDocumentName, "DocumentName", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFImageDescription, "ImageDescription", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFMake, "Make", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFModel, "Model", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFOrientation, "Orientation", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFXResolution, "XResolution", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFYResolution, "YResolution", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFResolutionUnit, "ResolutionUnit", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFSoftware, "Software", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFTransferFunction, "TransferFunction", Kind::Array),
        TIFF_ENTRY(kImagePropertyTIFFDateTime, "DateTime", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFArtist, "Artist", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFHostComputer, "HostComputer", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFCopyright, "Copyright", Kind::Automatic),
        TIFF_ENTRY(kImagePropertyTIFFWhitePoint, "WhitePoint", Kind::Array),
        TIFF_ENTRY(kImagePropertyTIFFPrimaryChromaticities, "PrimaryChromaticities", Kind::Array),

        EXIF_ENTRY(kImagePropertyExifExposureTime, "ExposureTime", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFNumber, "FNumber", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifExposureProgram, "ExposureProgram", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSpectralSensitivity, "SpectralSensitivity", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifISOSpeedRatings, "ISOSpeedRatings", Kind::Array),
        EXIF_ENTRY(kImagePropertyExifOECF, "OECF", Kind::Data),
        EXIF_ENTRY(kImagePropertyExifVersion, "ExifVersion", Kind::Version),
        EXIF_ENTRY(kImagePropertyExifDateTimeOriginal, "DateTimeOriginal", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifDateTimeDigitized, "DateTimeDigitized", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifComponentsConfiguration, "ComponentsConfiguration", Kind::Array),
        EXIF_ENTRY(kImagePropertyExifCompressedBitsPerPixel, "CompressedBitsPerPixel", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifShutterSpeedValue, "ShutterSpeedValue", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifApertureValue, "ApertureValue", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifBrightnessValue, "BrightnessValue", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifExposureBiasValue, "ExposureBiasValue", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifMaxApertureValue, "MaxApertureValue", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSubjectDistance, "SubjectDistance", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifMeteringMode, "MeteringMode", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifLightSource, "LightSource", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFlash, "Flash", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFocalLength, "FocalLength", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSubjectArea, "SubjectArea", Kind::Array),
        // Maker notes are camera-specific blobs whose offsets break when moved: read only.
        {kImagePropertyExifDictionary, kImagePropertyExifMakerNote, "Exif.Photo.MakerNote", Kind::Data, false},
        EXIF_ENTRY(kImagePropertyExifUserComment, "UserComment", Kind::Comment),
        EXIF_ENTRY(kImagePropertyExifSubsecTime, "SubSecTime", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSubsecTimeOrginal, "SubSecTimeOriginal", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSubsecTimeDigitized, "SubSecTimeDigitized", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFlashPixVersion, "FlashpixVersion", Kind::Version),
        EXIF_ENTRY(kImagePropertyExifColorSpace, "ColorSpace", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifPixelXDimension, "PixelXDimension", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifPixelYDimension, "PixelYDimension", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifRelatedSoundFile, "RelatedSoundFile", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFlashEnergy, "FlashEnergy", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSpatialFrequencyResponse, "SpatialFrequencyResponse", Kind::Data),
        EXIF_ENTRY(kImagePropertyExifFocalPlaneXResolution, "FocalPlaneXResolution", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFocalPlaneYResolution, "FocalPlaneYResolution", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFocalPlaneResolutionUnit, "FocalPlaneResolutionUnit", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSubjectLocation, "SubjectLocation", Kind::Array),
        EXIF_ENTRY(kImagePropertyExifExposureIndex, "ExposureIndex", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSensingMethod, "SensingMethod", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFileSource, "FileSource", Kind::UndefinedByte),
        EXIF_ENTRY(kImagePropertyExifSceneType, "SceneType", Kind::UndefinedByte),
        EXIF_ENTRY(kImagePropertyExifCFAPattern, "CFAPattern", Kind::Data),
        EXIF_ENTRY(kImagePropertyExifCustomRendered, "CustomRendered", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifExposureMode, "ExposureMode", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifWhiteBalance, "WhiteBalance", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifDigitalZoomRatio, "DigitalZoomRatio", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifFocalLenIn35mmFilm, "FocalLengthIn35mmFilm", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSceneCaptureType, "SceneCaptureType", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifGainControl, "GainControl", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifContrast, "Contrast", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSaturation, "Saturation", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifSharpness, "Sharpness", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifDeviceSettingDescription, "DeviceSettingDescription", Kind::Data),
        EXIF_ENTRY(kImagePropertyExifSubjectDistRange, "SubjectDistanceRange", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifImageUniqueID, "ImageUniqueID", Kind::Automatic),
        EXIF_ENTRY(kImagePropertyExifGamma, "Gamma", Kind::Automatic),

        // Lens and body facts that EXIF 2.3 gives tags of their own.
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensInfo, "Exif.Photo.LensSpecification", Kind::Array, true},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensModel, "Exif.Photo.LensModel", Kind::Automatic, true},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxSerialNumber, "Exif.Photo.BodySerialNumber", Kind::Automatic, true},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensSerialNumber, "Exif.Photo.LensSerialNumber", Kind::Automatic, true},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxOwnerName, "Exif.Photo.CameraOwnerName", Kind::Automatic, true},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxImageNumber, "Exif.Image.ImageNumber", Kind::Automatic, true},

        GPS_ENTRY(kImagePropertyGPSVersion, "GPSVersionID", Kind::Array),
        GPS_ENTRY(kImagePropertyGPSLatitudeRef, "GPSLatitudeRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSLatitude, "GPSLatitude", Kind::GPSCoordinate),
        GPS_ENTRY(kImagePropertyGPSLongitudeRef, "GPSLongitudeRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSLongitude, "GPSLongitude", Kind::GPSCoordinate),
        GPS_ENTRY(kImagePropertyGPSAltitudeRef, "GPSAltitudeRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSAltitude, "GPSAltitude", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSTimeStamp, "GPSTimeStamp", Kind::GPSTime),
        GPS_ENTRY(kImagePropertyGPSSatellites, "GPSSatellites", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSStatus, "GPSStatus", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSMeasureMode, "GPSMeasureMode", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDOP, "GPSDOP", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSSpeedRef, "GPSSpeedRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSSpeed, "GPSSpeed", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSTrackRef, "GPSTrackRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSTrack, "GPSTrack", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSImgDirectionRef, "GPSImgDirectionRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSImgDirection, "GPSImgDirection", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSMapDatum, "GPSMapDatum", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDestLatitudeRef, "GPSDestLatitudeRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDestLatitude, "GPSDestLatitude", Kind::GPSCoordinate),
        GPS_ENTRY(kImagePropertyGPSDestLongitudeRef, "GPSDestLongitudeRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDestLongitude, "GPSDestLongitude", Kind::GPSCoordinate),
        GPS_ENTRY(kImagePropertyGPSDestBearingRef, "GPSDestBearingRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDestBearing, "GPSDestBearing", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDestDistanceRef, "GPSDestDistanceRef", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDestDistance, "GPSDestDistance", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSProcessingMethod, "GPSProcessingMethod", Kind::Comment),
        GPS_ENTRY(kImagePropertyGPSAreaInformation, "GPSAreaInformation", Kind::Comment),
        GPS_ENTRY(kImagePropertyGPSDateStamp, "GPSDateStamp", Kind::Automatic),
        GPS_ENTRY(kImagePropertyGPSDifferental, "GPSDifferential", Kind::Automatic),

        IPTC_ENTRY(kImagePropertyIPTCObjectTypeReference, "ObjectType"),
        IPTC_ENTRY(kImagePropertyIPTCObjectAttributeReference, "ObjectAttribute"),
        IPTC_ENTRY(kImagePropertyIPTCObjectName, "ObjectName"),
        IPTC_ENTRY(kImagePropertyIPTCEditStatus, "EditStatus"),
        IPTC_ENTRY(kImagePropertyIPTCEditorialUpdate, "EditorialUpdate"),
        IPTC_ENTRY(kImagePropertyIPTCUrgency, "Urgency"),
        IPTC_ENTRY(kImagePropertyIPTCSubjectReference, "Subject"),
        IPTC_ENTRY(kImagePropertyIPTCCategory, "Category"),
        IPTC_ENTRY(kImagePropertyIPTCSupplementalCategory, "SuppCategory"),
        IPTC_ENTRY(kImagePropertyIPTCFixtureIdentifier, "FixtureId"),
        IPTC_ENTRY(kImagePropertyIPTCKeywords, "Keywords"),
        IPTC_ENTRY(kImagePropertyIPTCContentLocationCode, "LocationCode"),
        IPTC_ENTRY(kImagePropertyIPTCContentLocationName, "LocationName"),
        IPTC_ENTRY(kImagePropertyIPTCReleaseDate, "ReleaseDate"),
        IPTC_ENTRY(kImagePropertyIPTCReleaseTime, "ReleaseTime"),
        IPTC_ENTRY(kImagePropertyIPTCExpirationDate, "ExpirationDate"),
        IPTC_ENTRY(kImagePropertyIPTCExpirationTime, "ExpirationTime"),
        IPTC_ENTRY(kImagePropertyIPTCSpecialInstructions, "SpecialInstructions"),
        IPTC_ENTRY(kImagePropertyIPTCActionAdvised, "ActionAdvised"),
        IPTC_ENTRY(kImagePropertyIPTCReferenceService, "ReferenceService"),
        IPTC_ENTRY(kImagePropertyIPTCReferenceDate, "ReferenceDate"),
        IPTC_ENTRY(kImagePropertyIPTCReferenceNumber, "ReferenceNumber"),
        IPTC_ENTRY(kImagePropertyIPTCDateCreated, "DateCreated"),
        IPTC_ENTRY(kImagePropertyIPTCTimeCreated, "TimeCreated"),
        IPTC_ENTRY(kImagePropertyIPTCDigitalCreationDate, "DigitizationDate"),
        IPTC_ENTRY(kImagePropertyIPTCDigitalCreationTime, "DigitizationTime"),
        IPTC_ENTRY(kImagePropertyIPTCOriginatingProgram, "Program"),
        IPTC_ENTRY(kImagePropertyIPTCProgramVersion, "ProgramVersion"),
        IPTC_ENTRY(kImagePropertyIPTCObjectCycle, "ObjectCycle"),
        IPTC_ENTRY(kImagePropertyIPTCByline, "Byline"),
        IPTC_ENTRY(kImagePropertyIPTCBylineTitle, "BylineTitle"),
        IPTC_ENTRY(kImagePropertyIPTCCity, "City"),
        IPTC_ENTRY(kImagePropertyIPTCSubLocation, "SubLocation"),
        IPTC_ENTRY(kImagePropertyIPTCProvinceState, "ProvinceState"),
        IPTC_ENTRY(kImagePropertyIPTCCountryPrimaryLocationCode, "CountryCode"),
        IPTC_ENTRY(kImagePropertyIPTCCountryPrimaryLocationName, "CountryName"),
        IPTC_ENTRY(kImagePropertyIPTCOriginalTransmissionReference, "TransmissionReference"),
        IPTC_ENTRY(kImagePropertyIPTCHeadline, "Headline"),
        IPTC_ENTRY(kImagePropertyIPTCCredit, "Credit"),
        IPTC_ENTRY(kImagePropertyIPTCSource, "Source"),
        IPTC_ENTRY(kImagePropertyIPTCCopyrightNotice, "Copyright"),
        IPTC_ENTRY(kImagePropertyIPTCContact, "Contact"),
        IPTC_ENTRY(kImagePropertyIPTCCaptionAbstract, "Caption"),
        IPTC_ENTRY(kImagePropertyIPTCWriterEditor, "Writer"),
        IPTC_ENTRY(kImagePropertyIPTCImageType, "ImageType"),
        IPTC_ENTRY(kImagePropertyIPTCImageOrientation, "ImageOrientation"),
        IPTC_ENTRY(kImagePropertyIPTCLanguageIdentifier, "Language"),

        NIKON_ENTRY(kImagePropertyMakerNikonISOSetting, "ISOSpeed", Kind::Array),
        NIKON_ENTRY(kImagePropertyMakerNikonColorMode, "ColorMode", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonQuality, "Quality", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonWhiteBalanceMode, "WhiteBalance", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonSharpenMode, "Sharpening", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonFocusMode, "Focus", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonFlashSetting, "FlashSetting", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonISOSelection, "ISOSelection", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonFlashExposureComp, "FlashComp", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonImageAdjustment, "ImageAdjustment", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonLensAdapter, "AuxiliaryLens", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonLensType, "LensType", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonLensInfo, "Lens", Kind::Array),
        NIKON_ENTRY(kImagePropertyMakerNikonFocusDistance, "FocusDistance", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonDigitalZoom, "DigitalZoom", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonShootingMode, "ShootingMode", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonCameraSerialNumber, "SerialNumber", Kind::Automatic),
        NIKON_ENTRY(kImagePropertyMakerNikonShutterCount, "ShutterCount", Kind::Automatic),
    };
    return table;
}

#undef TIFF_ENTRY
#undef EXIF_ENTRY
#undef NIKON_ENTRY
#undef GPS_ENTRY
#undef IPTC_ENTRY

bool isRationalType(Exiv2::TypeId type)
{
    return type == Exiv2::unsignedRational || type == Exiv2::signedRational;
}

double rationalToDouble(const Exiv2::Rational& r)
{
    return r.second == 0 ? 0.0 : double(r.first) / double(r.second);
}

// The closest fraction with a denominator that keeps both parts in 32 bits (continued fractions).
std::pair<std::int64_t, std::int64_t> fractionFor(double value, bool isSigned)
{
    const double limit = isSigned ? 2147483647.0 : 4294967295.0;
    if (!std::isfinite(value))
        return {0, 1};
    if (std::fabs(value) >= limit)
        return {std::int64_t(value > 0 ? limit : -limit), 1};
    if (value == std::floor(value))
        return {std::int64_t(value), 1};
    const double sign = value < 0 ? -1 : 1;
    double x = std::fabs(value);
    std::int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    for (int i = 0; i < 40; ++i) {
        const double a = std::floor(x);
        const std::int64_t h2 = std::int64_t(a) * h1 + h0;
        const std::int64_t k2 = std::int64_t(a) * k1 + k0;
        if (double(h2) > limit || double(k2) > limit)
            break;
        h0 = h1, h1 = h2, k0 = k1, k1 = k2;
        if (std::fabs(double(h1) / double(k1) - std::fabs(value)) <= 1e-12 * std::fabs(value))
            break;
        const double fraction = x - a;
        if (fraction < 1e-15)
            break;
        x = 1.0 / fraction;
    }
    if (k1 == 0)
        return {std::int64_t(value), 1};
    return {std::int64_t(sign) * h1, k1};
}

std::string numberText(const Value& number, Exiv2::TypeId type)
{
    char buffer[64];
    if (isRationalType(type)) {
        const auto [n, d] = fractionFor(number.toDouble(), type == Exiv2::signedRational);
        std::snprintf(buffer, sizeof buffer, "%lld/%lld", static_cast<long long>(n), static_cast<long long>(d));
    } else if (type == Exiv2::tiffFloat || type == Exiv2::tiffDouble) {
        std::snprintf(buffer, sizeof buffer, "%.17g", number.toDouble());
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(std::llround(number.toDouble())));
    }
    return buffer;
}

// A number given as text (property dictionaries stored as text by the catalogue).
std::optional<double> parseNumber(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end && *end == '/') {
        char* end2 = nullptr;
        const double denominator = std::strtod(end + 1, &end2);
        if (end2 && *end2 == 0 && denominator != 0)
            return value / denominator;
        return std::nullopt;
    }
    if (!end || *end != 0)
        return std::nullopt;
    return value;
}

std::optional<double> numberOf(const Value& value)
{
    if (value.isNumber())
        return value.toDouble();
    if (value.isString())
        return parseNumber(value.asString());
    return std::nullopt;
}

std::string trimmedAscii(const std::string& text)
{
    std::string result = text;
    while (!result.empty() && result.back() == '\0')
        result.pop_back();
    return result;
}

Value scalarOrArray(std::vector<Value> items, bool alwaysArray)
{
    if (items.size() == 1 && !alwaysArray)
        return std::move(items.front());
    return Value(Value::ArrayType(std::move(items)));
}

Value readExifValue(const Exiv2::Exifdatum& datum, Kind kind)
{
    const Exiv2::Value& value = datum.value();
    const Exiv2::TypeId type = value.typeId();
    const long count = value.count();
    switch (kind) {
    case Kind::Comment: {
        if (const auto* comment = dynamic_cast<const Exiv2::CommentValue*>(&value))
            return Value(trimmedAscii(comment->comment()));
        return Value(trimmedAscii(value.toString()));
    }
    case Kind::Data: {
        Value::Bytes bytes(std::size_t(value.size()));
        if (!bytes.empty())
            value.copy(bytes.data(), Exiv2::littleEndian);
        return Value(std::move(bytes));
    }
    case Kind::Version: {
        // "0221" -> [2, 2, 1]: the major version from the first two digits, then one number per
        // further digit, trailing zero digits dropped.
        Value::Bytes bytes(std::size_t(value.size()));
        if (!bytes.empty())
            value.copy(bytes.data(), Exiv2::littleEndian);
        Value::ArrayType digits;
        if (bytes.size() >= 2) {
            digits.emplace_back(int(bytes[0] - '0') * 10 + int(bytes[1] - '0'));
            std::size_t last = bytes.size();
            while (last > 2 && bytes[last - 1] == '0')
                --last;
            for (std::size_t i = 2; i < last; ++i)
                digits.emplace_back(int(bytes[i] - '0'));
        }
        return Value(std::move(digits));
    }
    case Kind::UndefinedByte:
        return count > 0 ? Value(static_cast<long long>(value.toLong(0))) : Value();
    case Kind::GPSCoordinate: {
        if (count < 1)
            return {};
        double degrees = 0, scale = 1;
        for (long i = 0; i < count && i < 3; ++i, scale *= 60)
            degrees += rationalToDouble(value.toRational(i)) / scale;
        return Value(degrees);
    }
    case Kind::GPSTime: {
        if (count < 3)
            return {};
        const double h = rationalToDouble(value.toRational(0));
        const double m = rationalToDouble(value.toRational(1));
        const double s = rationalToDouble(value.toRational(2));
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%05.2f", int(h), int(m), s);
        return Value(std::string(buffer));
    }
    case Kind::Automatic:
    case Kind::Array:
    case Kind::Text:
        break;
    }
    const bool alwaysArray = kind == Kind::Array;
    if (type == Exiv2::asciiString || type == Exiv2::string)
        return Value(trimmedAscii(value.toString()));
    std::vector<Value> items;
    for (long i = 0; i < count; ++i) {
        if (isRationalType(type))
            items.emplace_back(rationalToDouble(value.toRational(i)));
        else if (type == Exiv2::tiffFloat || type == Exiv2::tiffDouble)
            items.emplace_back(double(value.toFloat(i)));
        else
            items.emplace_back(static_cast<long long>(value.toLong(i)));
    }
    if (items.empty())
        return {};
    return scalarOrArray(std::move(items), alwaysArray);
}

// Builds the exiv2 value of an entry from a property value; null when it does not fit.
Exiv2::Value::AutoPtr makeExifValue(const Entry& entry, const Value& property)
{
    const Exiv2::ExifKey key(entry.exiv2Key);
    const Exiv2::TypeId type = key.defaultTypeId();
    switch (entry.kind) {
    case Kind::Comment: {
        if (!property.isString())
            return Exiv2::Value::AutoPtr();
        const std::string& text = property.asString();
        bool ascii = true;
        for (unsigned char c : text)
            ascii = ascii && c < 0x80;
        Exiv2::Value::AutoPtr value(new Exiv2::CommentValue());
        value->read((ascii ? "charset=Ascii " : "charset=Unicode ") + text);
        return value;
    }
    case Kind::Data:
    case Kind::Version:
    case Kind::UndefinedByte: {
        Value::Bytes bytes;
        if (entry.kind == Kind::Data && property.isData()) {
            bytes = property.asData();
        } else if (entry.kind == Kind::UndefinedByte) {
            const auto number = numberOf(property);
            if (!number)
                return Exiv2::Value::AutoPtr();
            bytes.push_back(std::uint8_t(std::llround(*number)));
        } else if (entry.kind == Kind::Version && property.isArray() && property.size() > 0) {
            const int major = int(property.at(0).toInt64());
            bytes.push_back(std::uint8_t('0' + major / 10 % 10));
            bytes.push_back(std::uint8_t('0' + major % 10));
            for (std::size_t i = 1; i < property.size() && bytes.size() < 4; ++i)
                bytes.push_back(std::uint8_t('0' + property.at(i).toInt64() % 10));
            while (bytes.size() < 4)
                bytes.push_back('0');
        } else {
            return Exiv2::Value::AutoPtr();
        }
        Exiv2::Value::AutoPtr value(new Exiv2::DataValue(Exiv2::undefined));
        value->read(bytes.data(), long(bytes.size()), Exiv2::littleEndian);
        return value;
    }
    case Kind::GPSCoordinate: {
        const auto number = numberOf(property);
        if (!number || !std::isfinite(*number))
            return Exiv2::Value::AutoPtr();
        // Whole degrees and minutes, seconds in millionths: exact to well below a millimetre.
        double v = std::fabs(*number);
        auto degrees = std::int64_t(std::floor(v));
        double rest = (v - double(degrees)) * 60;
        auto minutes = std::int64_t(std::floor(rest));
        auto micro = std::llround((rest - double(minutes)) * 60 * 1000000);
        if (micro >= 60LL * 1000000) {
            micro -= 60LL * 1000000;
            if (++minutes == 60)
                minutes = 0, ++degrees;
        }
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%lld/1 %lld/1 %lld/1000000", static_cast<long long>(degrees),
            static_cast<long long>(minutes), static_cast<long long>(micro));
        Exiv2::Value::AutoPtr value = Exiv2::Value::create(Exiv2::unsignedRational);
        value->read(buffer);
        return value;
    }
    case Kind::GPSTime: {
        if (!property.isString())
            return Exiv2::Value::AutoPtr();
        int h = 0, m = 0;
        double s = 0;
        if (std::sscanf(property.asString().c_str(), "%d:%d:%lf", &h, &m, &s) != 3)
            return Exiv2::Value::AutoPtr();
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%d/1 %d/1 %lld/100", h, m, static_cast<long long>(std::llround(s * 100)));
        Exiv2::Value::AutoPtr value = Exiv2::Value::create(Exiv2::unsignedRational);
        value->read(buffer);
        return value;
    }
    case Kind::Automatic:
    case Kind::Array:
    case Kind::Text:
        break;
    }
    if (type == Exiv2::asciiString) {
        std::string text;
        if (property.isString())
            text = property.asString();
        else if (property.isNumber())
            text = property.description();
        else
            return Exiv2::Value::AutoPtr();
        Exiv2::Value::AutoPtr value(new Exiv2::AsciiValue());
        value->read(text);
        return value;
    }
    std::vector<Value> items;
    if (property.isArray())
        items = property.asArray();
    else
        items.push_back(property);
    std::string text;
    for (const auto& item : items) {
        const auto number = numberOf(item);
        if (!number)
            return Exiv2::Value::AutoPtr();
        if (!text.empty())
            text += ' ';
        text += numberText(Value(*number), type);
    }
    if (text.empty())
        return Exiv2::Value::AutoPtr();
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
    if (value->read(text) != 0)
        return Exiv2::Value::AutoPtr();
    return value;
}

// IPTC dates and times as exiv2 writes them ("2024-05-17", "10:21:33+02:00"); the compact
// forms of the standard ("20240517", "102133+0200") are accepted on the way in.
std::string normaliseIptcText(Exiv2::TypeId type, std::string text)
{
    if (type == Exiv2::date && text.size() == 8 && text.find('-') == std::string::npos)
        return text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2);
    if (type == Exiv2::time && text.find(':') == std::string::npos && text.size() >= 6) {
        std::string result = text.substr(0, 2) + ":" + text.substr(2, 2) + ":" + text.substr(4, 2);
        if (text.size() == 11)
            result += text.substr(6, 3) + ":" + text.substr(9, 2);
        else
            result += "+00:00";
        return result;
    }
    return text;
}

void muteExiv2(int, const char*) { }

std::once_flag initOnce;

} // namespace

void ImagePropertyMapping::initialize()
{
    std::call_once(initOnce, [] {
        Exiv2::XmpParser::initialize();
        // The XMP toolkit's state (the namespaces files declare among it) lives until the
        // process ends and is released then, once, so that leak checks see only real leaks.
        std::atexit([] { Exiv2::XmpParser::terminate(); });
        // exiv2 reports damaged metadata on stderr; a photo browser meets plenty of it.
        Exiv2::LogMsg::setHandler(muteExiv2);
        (void)buildTable();
    });
}

const std::vector<Entry>& ImagePropertyMapping::table()
{
    return buildTable();
}

const Entry* ImagePropertyMapping::entryForExiv2Key(std::string_view key)
{
    for (const auto& entry : table())
        if (key == entry.exiv2Key)
            return &entry;
    return nullptr;
}

const Entry* ImagePropertyMapping::entryForProperty(std::string_view dictionary, std::string_view property)
{
    for (const auto& entry : table())
        if (dictionary == entry.dictionary && property == entry.property)
            return &entry;
    return nullptr;
}

Value imagePropertiesFromExiv2(const Exiv2::ExifData& exif, const Exiv2::IptcData& iptc)
{
    Value result = Value::dictionary();
    for (const auto& datum : exif) {
        const Entry* entry = ImagePropertyMapping::entryForExiv2Key(datum.key());
        if (!entry)
            continue;
        try {
            Value value = readExifValue(datum, entry->kind);
            if (value.isNull())
                continue;
            Value group = result.get(entry->dictionary);
            group.set(entry->property, std::move(value));
            result.set(entry->dictionary, std::move(group));
        } catch (const std::exception&) {
            // A damaged value is left out; the rest of the metadata is still worth showing.
        }
    }
    for (const auto& datum : iptc) {
        const Entry* entry = ImagePropertyMapping::entryForExiv2Key(datum.key());
        if (!entry)
            continue;
        Value group = result.get(entry->dictionary);
        const std::string text = trimmedAscii(datum.toString());
        if (Exiv2::IptcDataSets::dataSetRepeatable(datum.tag(), datum.record())) {
            Value list = group.get(entry->property);
            list.append(Value(text));
            group.set(entry->property, std::move(list));
        } else {
            group.set(entry->property, Value(text));
        }
        result.set(entry->dictionary, std::move(group));
    }
    const Value& orientation = result.get(kImagePropertyTIFFDictionary).get(kImagePropertyTIFFOrientation);
    if (orientation.isNumber())
        result.set(kImagePropertyOrientation, orientation);
    return result;
}

void exiv2FromImageProperties(const Value& properties, Exiv2::ExifData& exif, Exiv2::IptcData& iptc)
{
    bool unicodeIptc = false;
    for (const auto& [dictionaryKey, group] : properties.asDictionary()) {
        if (!group.isDictionary())
            continue;
        for (const auto& [propertyKey, property] : group.asDictionary()) {
            const Entry* entry = ImagePropertyMapping::entryForProperty(dictionaryKey, propertyKey);
            if (!entry || !entry->writable)
                continue;
            try {
                if (entry->kind == Kind::Text) {
                    const Exiv2::IptcKey key(entry->exiv2Key);
                    const Exiv2::TypeId type = Exiv2::IptcDataSets::dataSetType(key.tag(), key.record());
                    auto it = iptc.findKey(key);
                    while (it != iptc.end()) {
                        iptc.erase(it);
                        it = iptc.findKey(key);
                    }
                    std::vector<Value> items = property.isArray() ? property.asArray() : std::vector<Value> {property};
                    const bool repeatable = Exiv2::IptcDataSets::dataSetRepeatable(key.tag(), key.record());
                    for (const auto& item : items) {
                        std::string text = item.isString() ? item.asString() : item.isNumber() ? item.description() : "";
                        if (text.empty() && !item.isString())
                            continue;
                        for (unsigned char c : text)
                            unicodeIptc = unicodeIptc || c >= 0x80;
                        Exiv2::Value::AutoPtr value = Exiv2::Value::create(type);
                        if (value->read(normaliseIptcText(type, text)) != 0)
                            continue;
                        iptc.add(key, value.get());
                        if (!repeatable)
                            break;
                    }
                    continue;
                }
                Exiv2::Value::AutoPtr value = makeExifValue(*entry, property);
                if (value.get())
                    exif[entry->exiv2Key].setValue(value.get());
            } catch (const std::exception&) {
                // A value exiv2 refuses is left out; the others are still written.
            }
        }
    }
    // Coordinates are stored unsigned beside their hemisphere; a negative one given without its
    // reference keeps its sign through the reference.
    const Value& gps = properties.get(kImagePropertyGPSDictionary);
    const struct {
        const char* coordinate;
        const char* reference;
        const char* exiv2Reference;
        const char* negative;
    } hemispheres[] = {
        {kImagePropertyGPSLatitude, kImagePropertyGPSLatitudeRef, "Exif.GPSInfo.GPSLatitudeRef", "S"},
        {kImagePropertyGPSLongitude, kImagePropertyGPSLongitudeRef, "Exif.GPSInfo.GPSLongitudeRef", "W"},
        {kImagePropertyGPSDestLatitude, kImagePropertyGPSDestLatitudeRef, "Exif.GPSInfo.GPSDestLatitudeRef", "S"},
        {kImagePropertyGPSDestLongitude, kImagePropertyGPSDestLongitudeRef, "Exif.GPSInfo.GPSDestLongitudeRef", "W"},
    };
    for (const auto& h : hemispheres) {
        const auto value = numberOf(gps.get(h.coordinate));
        if (value && *value < 0 && !gps.contains(h.reference))
            exif[h.exiv2Reference] = std::string(h.negative);
    }
    // The orientation lives in {TIFF}; a top-level Orientation counts only when {TIFF} has none
    // (a decoder's top-level value may be stale after the {TIFF} one was changed).
    const Value& tiffOrientation = properties.get(kImagePropertyTIFFDictionary).get(kImagePropertyTIFFOrientation);
    const Value& topOrientation = properties.get(kImagePropertyOrientation);
    if (!numberOf(tiffOrientation) && numberOf(topOrientation)) {
        const long orientation = long(*numberOf(topOrientation));
        if (orientation >= 1 && orientation <= 8)
            exif["Exif.Image.Orientation"] = std::uint16_t(orientation);
    }
    if (unicodeIptc)
        iptc["Iptc.Envelope.CharacterSet"] = std::string("\x1b%G");
}

Value ImagePropertyMapping::readImageProperties(const std::uint8_t* bytes, std::size_t size)
{
    initialize();
    if (!bytes || size == 0)
        return Value::dictionary();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(bytes, long(size));
        if (!image.get())
            return Value::dictionary();
        image->readMetadata();
        return imagePropertiesFromExiv2(image->exifData(), image->iptcData());
    } catch (const std::exception& error) {
        ZovLog(std::string("ImagePropertyMapping::readImageProperties ") + error.what());
        return Value::dictionary();
    }
}

bool ImagePropertyMapping::hasWritableMetadata(const Value& properties)
{
    for (const auto& [dictionaryKey, group] : properties.asDictionary()) {
        if (!group.isDictionary())
            continue;
        for (const auto& [propertyKey, property] : group.asDictionary()) {
            (void)property;
            const Entry* entry = entryForProperty(dictionaryKey, propertyKey);
            if (entry && entry->writable)
                return true;
        }
    }
    return numberOf(properties.get(kImagePropertyOrientation)).has_value();
}

bool ImagePropertyMapping::writeImageProperties(std::vector<std::uint8_t>& encoded, const Value& properties)
{
    initialize();
    if (encoded.empty())
        return false;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(encoded.data(), long(encoded.size()));
        if (!image.get())
            return false;
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        Exiv2::IptcData iptc = image->iptcData();
        exiv2FromImageProperties(properties, exif, iptc);
        image->setExifData(exif);
        image->setIptcData(iptc);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        io.open();
        std::vector<std::uint8_t> result(std::size_t(io.size()));
        io.seek(0, Exiv2::BasicIo::beg);
        const long read = io.read(result.data(), long(result.size()));
        io.close();
        if (read != long(result.size()) || result.empty())
            return false;
        encoded = std::move(result);
        return true;
    } catch (const std::exception& error) {
        ZovLog(std::string("ImagePropertyMapping::writeImageProperties ") + error.what());
        return false;
    }
}

} // namespace vistel
