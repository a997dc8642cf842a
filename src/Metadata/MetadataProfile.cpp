#include "Metadata/MetadataProfile.h"

#include <deque>
#include <string>
#include <vector>

#include "Platform/Exception.h"
#include "Platform/Imaging/ImageProperties.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// A field as the tables below list it, with its English name.
struct FieldSpec {
    const char* sourcePath1;
    const char* sourcePath2;
    const char* name;
    const char* category;
    const char* converterID;
    std::int32_t uiType;
};

// A built table: its rows (terminator included) and the translated names they point at.
struct BuiltTable {
    std::deque<std::string> names;
    std::vector<MetadataProfileItemInfo> rows;
};

// Builds a table once: every name translated under `selector` of MetadataProfile.
const BuiltTable& buildTable(const std::vector<FieldSpec>& specs, const char* selector)
{
    // Never destroyed before the end of the process: profiles point into it for the whole run.
    auto* table = new BuiltTable;
    table->rows.reserve(specs.size() + 1);
    for (const FieldSpec& spec : specs) {
        table->names.push_back(ZOV_TRANSLATE_AS(MetadataProfile::staticZovClass(), spec.name, selector));
        table->rows.push_back({spec.sourcePath1, spec.sourcePath2, table->names.back().c_str(), spec.category,
                               spec.converterID, spec.uiType});
    }
    table->rows.push_back({}); // the terminator
    return *table;
}

// The 7 fields the catalogue keeps for each item, all editable.
std::vector<FieldSpec> databaseFields()
{
    using P = MetadataProfile;
    return {
        {P::SourceFileSystemItem, "databaseCaption", "Caption", P::CategoryCaption, nullptr, 1},
        {P::SourceFileSystemItem, "databaseDatetime", "Date", P::CategoryGeneral, nullptr, 3},
        {P::SourceFileSystemItem, "databaseAuthor", "Author", P::CategoryGeneral, nullptr, 2},
        {P::SourceFileSystemItem, "databaseRating", "Rating", P::CategoryGeneral, nullptr, 4},
        {P::SourceFileSystemItem, "databaseTagged", "Tagged", P::CategoryGeneral, nullptr, 5},
        {P::SourceFileSystemItem, "databaseNotes", "Notes", P::CategoryNotes, nullptr, 1},
        {P::SourceKeywords, P::SourceAllNames, "Keywords", P::CategoryKeywords, "Keywords", 6},
    };
}

// The 25 fields of the catalogue item and its picture.
std::vector<FieldSpec> fileFields()
{
    using P = MetadataProfile;
    return {
        {P::SourceFileSystemItem, "name", "Name", P::CategoryFileInformation, nullptr, 0},
        {P::SourceFileSystemItem, "fullPath", "Located In", P::CategoryFileInformation, nullptr, 0},
        {P::SourceFileSystemItem, "userKind", "Type", P::CategoryFileInformation, nullptr, 0},
        {P::SourceFileSystemItem, "size", "Size", P::CategoryFileInformation, nullptr, 0},
        {P::SourceFileSystemItem, "creationDate", "Created", P::CategoryFileInformation, nullptr, 0},
        {P::SourceFileSystemItem, "modificationDate", "Modified", P::CategoryFileInformation, nullptr, 0},
        {P::SourceFileSystemItem, "userDimensions", "Image Dimensions", P::CategoryImageAttributes, nullptr, 0},
        {P::SourceFileSystemItem, "uncompressedSize", "Uncompressed Size", P::CategoryImageAttributes, nullptr, 0},
        {P::SourceRootPageMetadata, kImagePropertyDepth, "Bit-Depth", P::CategoryImageAttributes, nullptr, 0},
        {P::SourceFileSystemItem, "numberOfPages", "Pages", P::CategoryImageAttributes, nullptr, 0},
        {P::SourceRootPageMetadata, kImagePropertyDPIHeight, "Pixels Per Inch", P::CategoryImageAttributes, nullptr, 0},
        {P::SourceFileSystemItem, "userDimensionsInches", "Image Dimensions (in inches)", P::CategoryImageAttributes, nullptr, 0},
        {P::SourceRootPageMetadata, kImagePropertyProfileName, "Embedded Color Profile", P::CategoryImageAttributes, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFModel, "Model", P::CategoryExifSummary, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifDateTimeOriginal, "Date Time Original", P::CategoryExifSummary, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureTime, "Exposure Time", P::CategoryExifSummary, "ExifExposureTime", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFNumber, "FNumber", P::CategoryExifSummary, "ExifFNumber", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifShutterSpeedValue, "Shutter Speed Value", P::CategoryExifSummary, "ExifShutterSpeedValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifApertureValue, "Aperture Value", P::CategoryExifSummary, "ExifApertureValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifISOSpeedRatings, "ISO Speed Ratings", P::CategoryExifSummary, "ExifISOSpeedRating", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureBiasValue, "Exposure Bias Value", P::CategoryExifSummary, "ExifExposureBiasValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifMeteringMode, "Metering Mode", P::CategoryExifSummary, "ExifMeteringMode", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFlash, "Flash", P::CategoryExifSummary, "ExifFlash", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFocalLength, "Focal Length", P::CategoryExifSummary, "ExifFocalLength", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifWhiteBalance, "White Balance", P::CategoryExifSummary, "ExifWhiteBalance", 0},
    };
}

// The 169 fields of the image-property dictionaries, in table order.
std::vector<FieldSpec> exifFields()
{
    using P = MetadataProfile;
    return {
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFDescription, "Description", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFFirmware, "Firmware", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFOwnerName, "Owner Name", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFImageName, "Image Name", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFImageFileName, "Image File Name", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFReleaseMethod, "Release Method", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFReleaseTiming, "Release Timing", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFRecordID, "Record ID", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFSelfTimingTime, "Self Timing Time", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFCameraSerialNumber, "Camera Serial Number", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFImageSerialNumber, "Image Serial Number", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFContinuousDrive, "Continuous Drive", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFFocusMode, "Focus Mode", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFMeteringMode, "Meterin gMode", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFShootingMode, "Shooting Mode", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFLensModel, "Lens Model", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFLensMaxMM, "Lens Max MM", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFLensMinMM, "Lens Min MM", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFWhiteBalanceIndex, "White Balance Index", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFFlashExposureComp, "Flash Exposure Compensation", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyCIFFDictionary, kImagePropertyCIFFMeasuredEV, "MeasuredEV", P::CategoryCameraImageFileFormat, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonISOSetting, "ISO Setting", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonColorMode, "Color Mode", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonQuality, "Quality", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonWhiteBalanceMode, "White Balance Mode", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonSharpenMode, "Sharpen Mode", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonFocusMode, "Focus Mode", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonFlashSetting, "Flash Setting", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonISOSelection, "ISO Selection", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonFlashExposureComp, "Flash Exposure Compensation", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonImageAdjustment, "Image Adjustment", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonLensAdapter, "Lens Adapter", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonLensType, "Lens Type", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonLensInfo, "Lens Info", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonFocusDistance, "Focus Distance", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonDigitalZoom, "Digital Zoom", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonShootingMode, "Shooting Mode", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonCameraSerialNumber, "Camera Serial Number", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyMakerNikonDictionary, kImagePropertyMakerNikonShutterCount, "Shutter Count", P::CategoryNikonMakerNotes, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFMake, "Make", P::CategoryCamera, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFModel, "Model", P::CategoryCamera, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFOrientation, "Orientation", P::CategoryCamera, "TIFFOrientation", 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFResolutionUnit, "Resolution Unit", P::CategoryCamera, "TIFFResolutionUnit", 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFYResolution, "Y Resolution", P::CategoryCamera, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFXResolution, "X Resolution", P::CategoryCamera, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFDateTime, "Date/Time", P::CategoryCamera, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFSoftware, "Software", P::CategoryCamera, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFCompression, "Compression", P::CategoryTIFF, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFPhotometricInterpretation, "Photometric Interpretation", P::CategoryTIFF, "TIFFPhotometricInterpretation", 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFDocumentName, "Document Name", P::CategoryTIFF, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFTransferFunction, "Transfer Function", P::CategoryTIFF, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFHostComputer, "Host Computer", P::CategoryTIFF, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFWhitePoint, "White Point", P::CategoryTIFF, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFPrimaryChromaticities, "Primary Chromaticities", P::CategoryTIFF, nullptr, 0},
        {kImagePropertyJFIFDictionary, kImagePropertyJFIFVersion, "Version", P::CategoryJPEG, nullptr, 0},
        {kImagePropertyJFIFDictionary, kImagePropertyJFIFXDensity, "X Density", P::CategoryJPEG, nullptr, 0},
        {kImagePropertyJFIFDictionary, kImagePropertyJFIFYDensity, "Y Density", P::CategoryJPEG, nullptr, 0},
        {kImagePropertyJFIFDictionary, kImagePropertyJFIFDensityUnit, "Density Unit", P::CategoryJPEG, nullptr, 0},
        {kImagePropertyJFIFDictionary, kImagePropertyJFIFIsProgressive, "Is Progressive", P::CategoryJPEG, nullptr, 0},
        {kImagePropertyPNGDictionary, kImagePropertyPNGGamma, "Gamma", P::CategoryPNG, nullptr, 0},
        {kImagePropertyPNGDictionary, kImagePropertyPNGInterlaceType, "Interlace Type", P::CategoryPNG, nullptr, 0},
        {kImagePropertyPNGDictionary, kImagePropertyPNGXPixelsPerMeter, "X Pixels Per Meter", P::CategoryPNG, nullptr, 0},
        {kImagePropertyPNGDictionary, kImagePropertyPNGYPixelsPerMeter, "Y Pixels Per Meter", P::CategoryPNG, nullptr, 0},
        {kImagePropertyPNGDictionary, kImagePropertyPNGsRGBIntent, "sRGBIntent", P::CategoryPNG, nullptr, 0},
        {kImagePropertyPNGDictionary, kImagePropertyPNGChromaticities, "Chromaticities", P::CategoryPNG, nullptr, 0},
        {kImagePropertyGIFDictionary, kImagePropertyGIFLoopCount, "Loop Count", P::CategoryGIF, nullptr, 0},
        {kImagePropertyGIFDictionary, kImagePropertyGIFDelayTime, "Delay Time", P::CategoryGIF, nullptr, 0},
        {kImagePropertyGIFDictionary, kImagePropertyGIFImageColorMap, "Image Color Map", P::CategoryGIF, nullptr, 0},
        {kImagePropertyGIFDictionary, kImagePropertyGIFHasGlobalColorMap, "Has Global Color Map", P::CategoryGIF, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFImageDescription, "Image Description", P::CategoryImage, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFArtist, "Artist", P::CategoryImage, nullptr, 0},
        {kImagePropertyTIFFDictionary, kImagePropertyTIFFCopyright, "Copyright", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureTime, "Exposure Time", P::CategoryImage, "ExifExposureTime", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFNumber, "FNumber", P::CategoryImage, "ExifFNumber", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureProgram, "Exposure Program", P::CategoryImage, "ExifExposureProgram", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSpectralSensitivity, "Spectral Sensitivity", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifISOSpeedRatings, "ISO Speed Ratings", P::CategoryImage, "ExifISOSpeedRating", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifOECF, "OECF", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifVersion, "Exif Version", P::CategoryMiscellaneous, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifDateTimeOriginal, "Date Time Original", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifDateTimeDigitized, "Date Time Digitized", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifComponentsConfiguration, "Components Configuration", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifCompressedBitsPerPixel, "Compressed Bits Per Pixel", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifShutterSpeedValue, "Shutter Speed Value", P::CategoryImage, "ExifShutterSpeedValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifApertureValue, "Aperture Value", P::CategoryImage, "ExifApertureValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifBrightnessValue, "Brightness Value", P::CategoryImage, "ExifBrightnessValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureBiasValue, "Exposure Bias Value", P::CategoryImage, "ExifExposureBiasValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifMaxApertureValue, "Max Aperture Value", P::CategoryImage, "ExifMaxApertureValue", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubjectDistance, "Subject Distance", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifMeteringMode, "Metering Mode", P::CategoryImage, "ExifMeteringMode", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifLightSource, "Light Source", P::CategoryImage, "ExifLightSource", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFlash, "Flash", P::CategoryImage, "ExifFlash", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFocalLength, "Focal Length", P::CategoryImage, "ExifFocalLength", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubjectArea, "Subject Area", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifMakerNote, "Maker Note", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifUserComment, "User Comment", P::CategoryFile, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubsecTime, "Sub-second Time", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubsecTimeOrginal, "Sub-second Time Original", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubsecTimeDigitized, "Sub-second Time Digitized", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFlashPixVersion, "FlashPix Version", P::CategoryMiscellaneous, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifColorSpace, "Color Space", P::CategoryImage, "ExifColorSpace", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifPixelXDimension, "Pixel X Dimension", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifPixelYDimension, "Pixel Y Dimension", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifRelatedSoundFile, "Related Sound File", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFlashEnergy, "Flash Energy", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSpatialFrequencyResponse, "Spatial Frequency Response", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFocalPlaneXResolution, "Focal Plane X Resolution", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFocalPlaneYResolution, "Focal Plane Y Resolution", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFocalPlaneResolutionUnit, "Focal Plane Resolution Unit", P::CategoryImage, "ExifFocalPlaneResolutionUnit", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubjectLocation, "Subject Location", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureIndex, "Exposure Index", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSensingMethod, "Sensing Method", P::CategoryImage, "ExifSensingMethod", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFileSource, "File Source", P::CategoryMiscellaneous, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSceneType, "Scene Type", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifCFAPattern, "CFA Pattern", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifCustomRendered, "Custom Rendered", P::CategoryImage, "ExifCustomRendered", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifExposureMode, "Exposure Mode", P::CategoryImage, "ExifExposureMode", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifWhiteBalance, "White Balance", P::CategoryMiscellaneous, "ExifWhiteBalance", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifDigitalZoomRatio, "Digital Zoom Ratio", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifFocalLenIn35mmFilm, "Focal Length In 35mm Film", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSceneCaptureType, "Scene Capture Type", P::CategoryImage, "ExifSceneCaptureType", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifGainControl, "Gain Control", P::CategoryImage, "ExifGainControl", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifContrast, "Contrast", P::CategoryImage, "ExifContrast", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSaturation, "Saturation", P::CategoryImage, "ExifSaturation", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSharpness, "Sharpness", P::CategoryImage, "ExifSharpness", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifDeviceSettingDescription, "Device Setting Description", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifSubjectDistRange, "Subject Distance Range", P::CategoryImage, "ExifSubjectDistanceRange", 0},
        {kImagePropertyExifDictionary, kImagePropertyExifImageUniqueID, "Image Unique ID", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifDictionary, kImagePropertyExifGamma, "Gamma", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensInfo, "Lens Info", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensModel, "Lens Model", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxSerialNumber, "Serial Number", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensID, "Lens ID", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxLensSerialNumber, "Lens Serial Number", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxImageNumber, "Image Number", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxFlashCompensation, "Flash Compensation", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxOwnerName, "Owner Name", P::CategoryImage, nullptr, 0},
        {kImagePropertyExifAuxDictionary, kImagePropertyExifAuxFirmware, "Firmware", P::CategoryImage, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSVersion, "Version", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSLatitudeRef, "LatitudeRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSLatitude, "Latitude", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSLongitudeRef, "LongitudeRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSLongitude, "Longitude", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSAltitudeRef, "AltitudeRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSAltitude, "Altitude", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSTimeStamp, "TimeStamp", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSSatellites, "Satellites", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSStatus, "Status", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSMeasureMode, "MeasureMode", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDOP, "DOP", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSSpeedRef, "SpeedRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSSpeed, "Speed", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSTrackRef, "TrackRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSTrack, "Track", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSImgDirectionRef, "ImgDirectionRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSImgDirection, "ImgDirection", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSMapDatum, "MapDatum", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestLatitudeRef, "DestLatitudeRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestLatitude, "DestLatitude", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestLongitudeRef, "DestLongitudeRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestLongitude, "DestLongitude", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestBearingRef, "DestBearingRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestBearing, "DestBearing", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestDistanceRef, "DestDistanceRef", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDestDistance, "DestDistance", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSProcessingMethod, "ProcessingMethod", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSAreaInformation, "AreaInformation", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDateStamp, "DateStamp", P::CategoryGPS, nullptr, 0},
        {kImagePropertyGPSDictionary, kImagePropertyGPSDifferental, "Differental", P::CategoryGPS, nullptr, 0},
    };
}

// The 48 IPTC fields, in table order.
std::vector<FieldSpec> iptcFields()
{
    using P = MetadataProfile;
    return {
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCObjectTypeReference, "Object Type Reference", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCObjectAttributeReference, "Object Attribute Reference", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCObjectName, "Object Name", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCEditStatus, "Edit Status", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCEditorialUpdate, "Editorial Update", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCUrgency, "Urgency", P::CategoryCategories, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCSubjectReference, "Subject Reference", P::CategoryCaption, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCategory, "Category", P::CategoryCategories, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCSupplementalCategory, "Supplemental Category", P::CategoryCategories, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCFixtureIdentifier, "Fixture Identifier", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCKeywords, "Keywords", P::CategoryKeywords, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCContentLocationCode, "Content Location Code", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCContentLocationName, "Content Location Name", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCReleaseDate, "Release Date", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCReleaseTime, "Release Time", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCExpirationDate, "Expiration Date", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCExpirationTime, "Expiration Time", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCSpecialInstructions, "Special Instructions", P::CategoryCaption, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCActionAdvised, "Action Advised", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCReferenceService, "Reference Service", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCReferenceDate, "Reference Date", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCReferenceNumber, "Reference Number", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCDateCreated, "Date Created", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCTimeCreated, "Time Created", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCDigitalCreationDate, "Digital Creation Date", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCDigitalCreationTime, "Digital Creation Time", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCOriginatingProgram, "Originating Program", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCProgramVersion, "Program Version", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCObjectCycle, "Object Cycle", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCByline, "Byline", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCBylineTitle, "Byline Title", P::CategoryOther, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCity, "City", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCSubLocation, "Sub-Location", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCProvinceState, "Province / State", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCountryPrimaryLocationCode, "Country / Primary Location Code", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCountryPrimaryLocationName, "Country / Primary Location Name", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCOriginalTransmissionReference, "Original Transmission Reference", P::CategoryOrigin, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCHeadline, "Headline", P::CategoryCaption, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCredit, "Credit", P::CategoryCredit, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCSource, "Source", P::CategoryCredit, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCopyrightNotice, "Copyright Notice", P::CategoryCredit, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCContact, "Contact", P::CategoryCredit, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCCaptionAbstract, "Caption / Abstract", P::CategoryCaption, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCWriterEditor, "Writer / Editor", P::CategoryCaption, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCImageType, "Image Type", P::CategoryCategories, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCImageOrientation, "Image Orientation", P::CategoryCategories, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCLanguageIdentifier, "Language Identifier", P::CategoryCategories, nullptr, 0},
        {kImagePropertyIPTCDictionary, kImagePropertyIPTCStarRating, "Star Rating", P::CategoryCategories, nullptr, 0},
    };
}

} // namespace

const MetadataProfileItemInfo* MetadataProfile::databaseDictionary()
{
    static const BuiltTable& table = buildTable(databaseFields(), "databaseDictionary");
    return table.rows.data();
}

const MetadataProfileItemInfo* MetadataProfile::fileDictionary()
{
    static const BuiltTable& table = buildTable(fileFields(), "fileDictionary");
    return table.rows.data();
}

const MetadataProfileItemInfo* MetadataProfile::exifDictionary()
{
    static const BuiltTable& table = buildTable(exifFields(), "exifDictionary");
    return table.rows.data();
}

const MetadataProfileItemInfo* MetadataProfile::iptcDictionary()
{
    static const BuiltTable& table = buildTable(iptcFields(), "iptcDictionary");
    return table.rows.data();
}

const MetadataProfileItemInfo* MetadataProfile::autoCategoriesDictionary()
{
    static const BuiltTable& table = buildTable(iptcFields(), "autoCategoriesDictionary");
    return table.rows.data();
}

Ref<MetadataProfile> MetadataProfile::databaseProfile() { return profileWithInfo(databaseDictionary()); }

Ref<MetadataProfile> MetadataProfile::fileProfile() { return profileWithInfo(fileDictionary()); }

Ref<MetadataProfile> MetadataProfile::exifProfile() { return profileWithInfo(exifDictionary()); }

Ref<MetadataProfile> MetadataProfile::iptcProfile() { return profileWithInfo(iptcDictionary()); }

Ref<MetadataProfile> MetadataProfile::autoCategoriesProfile() { return profileWithInfo(autoCategoriesDictionary()); }

Ref<MetadataProfile> MetadataProfile::profileWithInfo(const MetadataProfileItemInfo* info)
{
    return makeRef<MetadataProfile>(info);
}

MetadataProfile::MetadataProfile(const MetadataProfileItemInfo* info)
    : spec_(info)
{
    ZOV_ASSERT(info, "Must be");
    while (spec_[specCount_].sourcePath1)
        ++specCount_;
}

const MetadataProfileItemInfo* MetadataProfile::infoAtIndex(std::size_t index) const
{
    ZOV_ASSERT(index < specCount_, "Index out of range");
    return spec_ + index;
}

Ref<MetadataProfileEnumerator> MetadataProfile::enumerator() const
{
    return makeRef<MetadataProfileEnumeratorImp>(spec_);
}

const MetadataProfileItemInfo* MetadataProfileEnumeratorImp::nextObject()
{
    if (!currSpec_->sourcePath1)
        return nullptr;
    return currSpec_++;
}

} // namespace vistel
