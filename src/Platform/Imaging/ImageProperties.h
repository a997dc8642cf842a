#pragma once
// The image-property vocabulary: the keys of the property dictionaries that decoders produce,
// encoders accept and the catalogue, the metadata panel and the conversion engine read.
//
// A picture's page properties are one dictionary (a Value) with a few top-level entries
// (PixelWidth, DPIWidth, Orientation...) and sub-dictionaries per metadata block ("{Exif}",
// "{TIFF}", "{GPS}", "{IPTC}"...). The strings below are the stored form: the catalogue keeps
// them as text, so they must never change. Mapping to exiv2 keys: ImagePropertyMapping.h.
//
// Value conventions: rationals are numbers; multi-valued tags are arrays (ISOSpeedRatings and
// LensInfo always are); dates stay in their EXIF text form ("2024:05:17 10:21:33"); GPS
// coordinates are unsigned decimal degrees with their "N"/"S"/"E"/"W" reference beside them.

namespace vistel {

// Dictionaries
inline constexpr const char* kImagePropertyTIFFDictionary = "{TIFF}";
inline constexpr const char* kImagePropertyGIFDictionary = "{GIF}";
inline constexpr const char* kImagePropertyJFIFDictionary = "{JFIF}";
inline constexpr const char* kImagePropertyExifDictionary = "{Exif}";
inline constexpr const char* kImagePropertyPNGDictionary = "{PNG}";
inline constexpr const char* kImagePropertyIPTCDictionary = "{IPTC}";
inline constexpr const char* kImagePropertyGPSDictionary = "{GPS}";
inline constexpr const char* kImagePropertyRawDictionary = "{Raw}";
inline constexpr const char* kImagePropertyCIFFDictionary = "{CIFF}";
inline constexpr const char* kImagePropertyMakerCanonDictionary = "{MakerCanon}";
inline constexpr const char* kImagePropertyMakerNikonDictionary = "{MakerNikon}";
inline constexpr const char* kImagePropertyMakerMinoltaDictionary = "{MakerMinolta}";
inline constexpr const char* kImagePropertyMakerFujiDictionary = "{MakerFuji}";
inline constexpr const char* kImagePropertyMakerOlympusDictionary = "{MakerOlympus}";
inline constexpr const char* kImagePropertyMakerPentaxDictionary = "{MakerPentax}";
inline constexpr const char* kImageProperty8BIMDictionary = "{8BIM}";
inline constexpr const char* kImagePropertyDNGDictionary = "{DNG}";
inline constexpr const char* kImagePropertyExifAuxDictionary = "{ExifAux}";

// Top level (image and page properties)
inline constexpr const char* kImagePropertyFileSize = "FileSize";
inline constexpr const char* kImagePropertyPixelHeight = "PixelHeight";
inline constexpr const char* kImagePropertyPixelWidth = "PixelWidth";
inline constexpr const char* kImagePropertyDPIHeight = "DPIHeight";
inline constexpr const char* kImagePropertyDPIWidth = "DPIWidth";
inline constexpr const char* kImagePropertyDepth = "Depth";
inline constexpr const char* kImagePropertyOrientation = "Orientation";
inline constexpr const char* kImagePropertyIsFloat = "IsFloat";
inline constexpr const char* kImagePropertyIsIndexed = "IsIndexed";
inline constexpr const char* kImagePropertyHasAlpha = "HasAlpha";
inline constexpr const char* kImagePropertyColorModel = "ColorModel";
inline constexpr const char* kImagePropertyProfileName = "ProfileName";

// Colour model values
inline constexpr const char* kImagePropertyColorModelRGB = "RGB";
inline constexpr const char* kImagePropertyColorModelGray = "Gray";
inline constexpr const char* kImagePropertyColorModelCMYK = "CMYK";
inline constexpr const char* kImagePropertyColorModelLab = "Lab";

// {TIFF}
inline constexpr const char* kImagePropertyTIFFCompression = "Compression";
inline constexpr const char* kImagePropertyTIFFPhotometricInterpretation = "PhotometricInterpretation";
inline constexpr const char* kImagePropertyTIFFDocumentName = "DocumentName";
inline constexpr const char* kImagePropertyTIFFImageDescription = "ImageDescription";
inline constexpr const char* kImagePropertyTIFFMake = "Make";
inline constexpr const char* kImagePropertyTIFFModel = "Model";
inline constexpr const char* kImagePropertyTIFFOrientation = "Orientation";
inline constexpr const char* kImagePropertyTIFFXResolution = "XResolution";
inline constexpr const char* kImagePropertyTIFFYResolution = "YResolution";
inline constexpr const char* kImagePropertyTIFFResolutionUnit = "ResolutionUnit";
inline constexpr const char* kImagePropertyTIFFSoftware = "Software";
inline constexpr const char* kImagePropertyTIFFTransferFunction = "TransferFunction";
inline constexpr const char* kImagePropertyTIFFDateTime = "DateTime";
inline constexpr const char* kImagePropertyTIFFArtist = "Artist";
inline constexpr const char* kImagePropertyTIFFHostComputer = "HostComputer";
inline constexpr const char* kImagePropertyTIFFCopyright = "Copyright";
inline constexpr const char* kImagePropertyTIFFWhitePoint = "WhitePoint";
inline constexpr const char* kImagePropertyTIFFPrimaryChromaticities = "PrimaryChromaticities";

// {JFIF}
inline constexpr const char* kImagePropertyJFIFVersion = "JFIFVersion";
inline constexpr const char* kImagePropertyJFIFXDensity = "XDensity";
inline constexpr const char* kImagePropertyJFIFYDensity = "YDensity";
inline constexpr const char* kImagePropertyJFIFDensityUnit = "DensityUnit";
inline constexpr const char* kImagePropertyJFIFIsProgressive = "IsProgressive";

// {Exif}
inline constexpr const char* kImagePropertyExifExposureTime = "ExposureTime";
inline constexpr const char* kImagePropertyExifFNumber = "FNumber";
inline constexpr const char* kImagePropertyExifExposureProgram = "ExposureProgram";
inline constexpr const char* kImagePropertyExifSpectralSensitivity = "SpectralSensitivity";
inline constexpr const char* kImagePropertyExifISOSpeedRatings = "ISOSpeedRatings";
inline constexpr const char* kImagePropertyExifOECF = "OECF";
inline constexpr const char* kImagePropertyExifVersion = "ExifVersion";
inline constexpr const char* kImagePropertyExifDateTimeOriginal = "DateTimeOriginal";
inline constexpr const char* kImagePropertyExifDateTimeDigitized = "DateTimeDigitized";
inline constexpr const char* kImagePropertyExifComponentsConfiguration = "ComponentsConfiguration";
inline constexpr const char* kImagePropertyExifCompressedBitsPerPixel = "CompressedBitsPerPixel";
inline constexpr const char* kImagePropertyExifShutterSpeedValue = "ShutterSpeedValue";
inline constexpr const char* kImagePropertyExifApertureValue = "ApertureValue";
inline constexpr const char* kImagePropertyExifBrightnessValue = "BrightnessValue";
inline constexpr const char* kImagePropertyExifExposureBiasValue = "ExposureBiasValue";
inline constexpr const char* kImagePropertyExifMaxApertureValue = "MaxApertureValue";
inline constexpr const char* kImagePropertyExifSubjectDistance = "SubjectDistance";
inline constexpr const char* kImagePropertyExifMeteringMode = "MeteringMode";
inline constexpr const char* kImagePropertyExifLightSource = "LightSource";
inline constexpr const char* kImagePropertyExifFlash = "Flash";
inline constexpr const char* kImagePropertyExifFocalLength = "FocalLength";
inline constexpr const char* kImagePropertyExifSubjectArea = "SubjectArea";
inline constexpr const char* kImagePropertyExifMakerNote = "MakerNote";
inline constexpr const char* kImagePropertyExifUserComment = "UserComment";
inline constexpr const char* kImagePropertyExifSubsecTime = "SubsecTime";
inline constexpr const char* kImagePropertyExifSubsecTimeOrginal = "SubsecTimeOriginal";
inline constexpr const char* kImagePropertyExifSubsecTimeDigitized = "SubsecTimeDigitized";
inline constexpr const char* kImagePropertyExifFlashPixVersion = "FlashPixVersion";
inline constexpr const char* kImagePropertyExifColorSpace = "ColorSpace";
inline constexpr const char* kImagePropertyExifPixelXDimension = "PixelXDimension";
inline constexpr const char* kImagePropertyExifPixelYDimension = "PixelYDimension";
inline constexpr const char* kImagePropertyExifRelatedSoundFile = "RelatedSoundFile";
inline constexpr const char* kImagePropertyExifFlashEnergy = "FlashEnergy";
inline constexpr const char* kImagePropertyExifSpatialFrequencyResponse = "SpatialFrequencyResponse";
inline constexpr const char* kImagePropertyExifFocalPlaneXResolution = "FocalPlaneXResolution";
inline constexpr const char* kImagePropertyExifFocalPlaneYResolution = "FocalPlaneYResolution";
inline constexpr const char* kImagePropertyExifFocalPlaneResolutionUnit = "FocalPlaneResolutionUnit";
inline constexpr const char* kImagePropertyExifSubjectLocation = "SubjectLocation";
inline constexpr const char* kImagePropertyExifExposureIndex = "ExposureIndex";
inline constexpr const char* kImagePropertyExifSensingMethod = "SensingMethod";
inline constexpr const char* kImagePropertyExifFileSource = "FileSource";
inline constexpr const char* kImagePropertyExifSceneType = "SceneType";
inline constexpr const char* kImagePropertyExifCFAPattern = "CFAPattern";
inline constexpr const char* kImagePropertyExifCustomRendered = "CustomRendered";
inline constexpr const char* kImagePropertyExifExposureMode = "ExposureMode";
inline constexpr const char* kImagePropertyExifWhiteBalance = "WhiteBalance";
inline constexpr const char* kImagePropertyExifDigitalZoomRatio = "DigitalZoomRatio";
inline constexpr const char* kImagePropertyExifFocalLenIn35mmFilm = "FocalLenIn35mmFilm";
inline constexpr const char* kImagePropertyExifSceneCaptureType = "SceneCaptureType";
inline constexpr const char* kImagePropertyExifGainControl = "GainControl";
inline constexpr const char* kImagePropertyExifContrast = "Contrast";
inline constexpr const char* kImagePropertyExifSaturation = "Saturation";
inline constexpr const char* kImagePropertyExifSharpness = "Sharpness";
inline constexpr const char* kImagePropertyExifDeviceSettingDescription = "DeviceSettingDescription";
inline constexpr const char* kImagePropertyExifSubjectDistRange = "SubjectDistRange";
inline constexpr const char* kImagePropertyExifImageUniqueID = "ImageUniqueID";
inline constexpr const char* kImagePropertyExifGamma = "Gamma";

// {ExifAux}
inline constexpr const char* kImagePropertyExifAuxLensInfo = "LensInfo";
inline constexpr const char* kImagePropertyExifAuxLensModel = "LensModel";
inline constexpr const char* kImagePropertyExifAuxSerialNumber = "SerialNumber";
inline constexpr const char* kImagePropertyExifAuxLensID = "LensID";
inline constexpr const char* kImagePropertyExifAuxLensSerialNumber = "LensSerialNumber";
inline constexpr const char* kImagePropertyExifAuxImageNumber = "ImageNumber";
inline constexpr const char* kImagePropertyExifAuxFlashCompensation = "FlashCompensation";
inline constexpr const char* kImagePropertyExifAuxOwnerName = "OwnerName";
inline constexpr const char* kImagePropertyExifAuxFirmware = "Firmware";

// {GPS}
inline constexpr const char* kImagePropertyGPSVersion = "GPSVersion";
inline constexpr const char* kImagePropertyGPSLatitudeRef = "LatitudeRef";
inline constexpr const char* kImagePropertyGPSLatitude = "Latitude";
inline constexpr const char* kImagePropertyGPSLongitudeRef = "LongitudeRef";
inline constexpr const char* kImagePropertyGPSLongitude = "Longitude";
inline constexpr const char* kImagePropertyGPSAltitudeRef = "AltitudeRef";
inline constexpr const char* kImagePropertyGPSAltitude = "Altitude";
inline constexpr const char* kImagePropertyGPSTimeStamp = "TimeStamp";
inline constexpr const char* kImagePropertyGPSSatellites = "Satellites";
inline constexpr const char* kImagePropertyGPSStatus = "Status";
inline constexpr const char* kImagePropertyGPSMeasureMode = "MeasureMode";
inline constexpr const char* kImagePropertyGPSDOP = "DOP";
inline constexpr const char* kImagePropertyGPSSpeedRef = "SpeedRef";
inline constexpr const char* kImagePropertyGPSSpeed = "Speed";
inline constexpr const char* kImagePropertyGPSTrackRef = "TrackRef";
inline constexpr const char* kImagePropertyGPSTrack = "Track";
inline constexpr const char* kImagePropertyGPSImgDirectionRef = "ImgDirectionRef";
inline constexpr const char* kImagePropertyGPSImgDirection = "ImgDirection";
inline constexpr const char* kImagePropertyGPSMapDatum = "MapDatum";
inline constexpr const char* kImagePropertyGPSDestLatitudeRef = "DestLatitudeRef";
inline constexpr const char* kImagePropertyGPSDestLatitude = "DestLatitude";
inline constexpr const char* kImagePropertyGPSDestLongitudeRef = "DestLongitudeRef";
inline constexpr const char* kImagePropertyGPSDestLongitude = "DestLongitude";
inline constexpr const char* kImagePropertyGPSDestBearingRef = "DestBearingRef";
inline constexpr const char* kImagePropertyGPSDestBearing = "DestBearing";
inline constexpr const char* kImagePropertyGPSDestDistanceRef = "DestDistanceRef";
inline constexpr const char* kImagePropertyGPSDestDistance = "DestDistance";
inline constexpr const char* kImagePropertyGPSProcessingMethod = "ProcessingMethod";
inline constexpr const char* kImagePropertyGPSAreaInformation = "AreaInformation";
inline constexpr const char* kImagePropertyGPSDateStamp = "DateStamp";
inline constexpr const char* kImagePropertyGPSDifferental = "Differental";

// {IPTC}
inline constexpr const char* kImagePropertyIPTCObjectTypeReference = "ObjectTypeReference";
inline constexpr const char* kImagePropertyIPTCObjectAttributeReference = "ObjectAttributeReference";
inline constexpr const char* kImagePropertyIPTCObjectName = "ObjectName";
inline constexpr const char* kImagePropertyIPTCEditStatus = "EditStatus";
inline constexpr const char* kImagePropertyIPTCEditorialUpdate = "EditorialUpdate";
inline constexpr const char* kImagePropertyIPTCUrgency = "Urgency";
inline constexpr const char* kImagePropertyIPTCSubjectReference = "SubjectReference";
inline constexpr const char* kImagePropertyIPTCCategory = "Category";
inline constexpr const char* kImagePropertyIPTCSupplementalCategory = "SupplementalCategory";
inline constexpr const char* kImagePropertyIPTCFixtureIdentifier = "FixtureIdentifier";
inline constexpr const char* kImagePropertyIPTCKeywords = "Keywords";
inline constexpr const char* kImagePropertyIPTCContentLocationCode = "ContentLocationCode";
inline constexpr const char* kImagePropertyIPTCContentLocationName = "ContentLocationName";
inline constexpr const char* kImagePropertyIPTCReleaseDate = "ReleaseDate";
inline constexpr const char* kImagePropertyIPTCReleaseTime = "ReleaseTime";
inline constexpr const char* kImagePropertyIPTCExpirationDate = "ExpirationDate";
inline constexpr const char* kImagePropertyIPTCExpirationTime = "ExpirationTime";
inline constexpr const char* kImagePropertyIPTCSpecialInstructions = "SpecialInstructions";
inline constexpr const char* kImagePropertyIPTCActionAdvised = "ActionAdvised";
inline constexpr const char* kImagePropertyIPTCReferenceService = "ReferenceService";
inline constexpr const char* kImagePropertyIPTCReferenceDate = "ReferenceDate";
inline constexpr const char* kImagePropertyIPTCReferenceNumber = "ReferenceNumber";
inline constexpr const char* kImagePropertyIPTCDateCreated = "DateCreated";
inline constexpr const char* kImagePropertyIPTCTimeCreated = "TimeCreated";
inline constexpr const char* kImagePropertyIPTCDigitalCreationDate = "DigitalCreationDate";
inline constexpr const char* kImagePropertyIPTCDigitalCreationTime = "DigitalCreationTime";
inline constexpr const char* kImagePropertyIPTCOriginatingProgram = "OriginatingProgram";
inline constexpr const char* kImagePropertyIPTCProgramVersion = "ProgramVersion";
inline constexpr const char* kImagePropertyIPTCObjectCycle = "ObjectCycle";
inline constexpr const char* kImagePropertyIPTCByline = "Byline";
inline constexpr const char* kImagePropertyIPTCBylineTitle = "BylineTitle";
inline constexpr const char* kImagePropertyIPTCCity = "City";
inline constexpr const char* kImagePropertyIPTCSubLocation = "SubLocation";
inline constexpr const char* kImagePropertyIPTCProvinceState = "ProvinceState";
inline constexpr const char* kImagePropertyIPTCCountryPrimaryLocationCode = "CountryPrimaryLocationCode";
inline constexpr const char* kImagePropertyIPTCCountryPrimaryLocationName = "CountryPrimaryLocationName";
inline constexpr const char* kImagePropertyIPTCOriginalTransmissionReference = "OriginalTransmissionReference";
inline constexpr const char* kImagePropertyIPTCHeadline = "Headline";
inline constexpr const char* kImagePropertyIPTCCredit = "Credit";
inline constexpr const char* kImagePropertyIPTCSource = "Source";
inline constexpr const char* kImagePropertyIPTCCopyrightNotice = "CopyrightNotice";
inline constexpr const char* kImagePropertyIPTCContact = "Contact";
inline constexpr const char* kImagePropertyIPTCCaptionAbstract = "CaptionAbstract";
inline constexpr const char* kImagePropertyIPTCWriterEditor = "WriterEditor";
inline constexpr const char* kImagePropertyIPTCImageType = "ImageType";
inline constexpr const char* kImagePropertyIPTCImageOrientation = "ImageOrientation";
inline constexpr const char* kImagePropertyIPTCLanguageIdentifier = "LanguageIdentifier";
inline constexpr const char* kImagePropertyIPTCStarRating = "StarRating";

// {PNG}
inline constexpr const char* kImagePropertyPNGGamma = "Gamma";
inline constexpr const char* kImagePropertyPNGInterlaceType = "InterlaceType";
inline constexpr const char* kImagePropertyPNGXPixelsPerMeter = "XPixelsPerMeter";
inline constexpr const char* kImagePropertyPNGYPixelsPerMeter = "YPixelsPerMeter";
inline constexpr const char* kImagePropertyPNGsRGBIntent = "sRGBIntent";
inline constexpr const char* kImagePropertyPNGChromaticities = "Chromaticities";

// {GIF}
inline constexpr const char* kImagePropertyGIFLoopCount = "LoopCount";
inline constexpr const char* kImagePropertyGIFDelayTime = "DelayTime";
inline constexpr const char* kImagePropertyGIFImageColorMap = "ImageColorMap";
inline constexpr const char* kImagePropertyGIFHasGlobalColorMap = "HasGlobalColorMap";

// {CIFF}
inline constexpr const char* kImagePropertyCIFFDescription = "Description";
inline constexpr const char* kImagePropertyCIFFFirmware = "Firmware";
inline constexpr const char* kImagePropertyCIFFOwnerName = "OwnerName";
inline constexpr const char* kImagePropertyCIFFImageName = "ImageName";
inline constexpr const char* kImagePropertyCIFFImageFileName = "ImageFileName";
inline constexpr const char* kImagePropertyCIFFReleaseMethod = "ReleaseMethod";
inline constexpr const char* kImagePropertyCIFFReleaseTiming = "ReleaseTiming";
inline constexpr const char* kImagePropertyCIFFRecordID = "RecordID";
inline constexpr const char* kImagePropertyCIFFSelfTimingTime = "SelfTimingTime";
inline constexpr const char* kImagePropertyCIFFCameraSerialNumber = "CameraSerialNumber";
inline constexpr const char* kImagePropertyCIFFImageSerialNumber = "ImageSerialNumber";
inline constexpr const char* kImagePropertyCIFFContinuousDrive = "ContinuousDrive";
inline constexpr const char* kImagePropertyCIFFFocusMode = "FocusMode";
inline constexpr const char* kImagePropertyCIFFMeteringMode = "MeteringMode";
inline constexpr const char* kImagePropertyCIFFShootingMode = "ShootingMode";
inline constexpr const char* kImagePropertyCIFFLensModel = "LensModel";
inline constexpr const char* kImagePropertyCIFFLensMaxMM = "LensMaxMM";
inline constexpr const char* kImagePropertyCIFFLensMinMM = "LensMinMM";
inline constexpr const char* kImagePropertyCIFFWhiteBalanceIndex = "WhiteBalanceIndex";
inline constexpr const char* kImagePropertyCIFFFlashExposureComp = "FlashExposureComp";
inline constexpr const char* kImagePropertyCIFFMeasuredEV = "MeasuredEV";

// {MakerNikon}
inline constexpr const char* kImagePropertyMakerNikonISOSetting = "ISOSetting";
inline constexpr const char* kImagePropertyMakerNikonColorMode = "ColorMode";
inline constexpr const char* kImagePropertyMakerNikonQuality = "Quality";
inline constexpr const char* kImagePropertyMakerNikonWhiteBalanceMode = "WhiteBalanceMode";
inline constexpr const char* kImagePropertyMakerNikonSharpenMode = "SharpenMode";
inline constexpr const char* kImagePropertyMakerNikonFocusMode = "FocusMode";
inline constexpr const char* kImagePropertyMakerNikonFlashSetting = "FlashSetting";
inline constexpr const char* kImagePropertyMakerNikonISOSelection = "ISOSelection";
inline constexpr const char* kImagePropertyMakerNikonFlashExposureComp = "FlashExposureComp";
inline constexpr const char* kImagePropertyMakerNikonImageAdjustment = "ImageAdjustment";
inline constexpr const char* kImagePropertyMakerNikonLensAdapter = "LensAdapter";
inline constexpr const char* kImagePropertyMakerNikonLensType = "LensType";
inline constexpr const char* kImagePropertyMakerNikonLensInfo = "LensInfo";
inline constexpr const char* kImagePropertyMakerNikonFocusDistance = "FocusDistance";
inline constexpr const char* kImagePropertyMakerNikonDigitalZoom = "DigitalZoom";
inline constexpr const char* kImagePropertyMakerNikonShootingMode = "ShootingMode";
inline constexpr const char* kImagePropertyMakerNikonCameraSerialNumber = "CameraSerialNumber";
inline constexpr const char* kImagePropertyMakerNikonShutterCount = "ShutterCount";


// Encoder options (ImageDestination): quality 0..1 for lossy formats, background colour
// [r, g, b, a] in 0..1 that pictures with alpha are composited over when the format has none.
inline constexpr const char* kImageDestinationLossyCompressionQuality = "LossyCompressionQuality";
inline constexpr const char* kImageDestinationBackgroundColor = "BackgroundColor";

} // namespace vistel
