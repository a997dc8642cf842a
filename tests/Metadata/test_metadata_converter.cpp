// The metadata display converters: APEX values, exposure times and units, the EXIF and TIFF
// enumerations, keyword lists both ways, values passed through, and translation per converter.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "LocalizedStrings.h"
#include "Metadata/MetadataConverter.h"
#include "Metadata/MetadataProfile.h"
#include "ZovTranslatorManager.h"

namespace vistel::test {
namespace {

struct Case {
    const char* identifier;
    Value raw;
    Value shown;
};

void expectShown(std::initializer_list<Case> cases)
{
    for (const Case& c : cases) {
        const Value shown = MetadataConverterBase::converterForID(c.identifier)->toUI(c.raw);
        EXPECT_EQ(shown, c.shown) << c.identifier << " of " << c.raw.description() << " gave " << shown.description();
    }
}

TEST(MetadataConverter, APEXValuesRoundToTheNearestStep)
{
    expectShown({
        {"ExifShutterSpeedValue", "7", "1/125 s"},
        {"ExifShutterSpeedValue", "6.97", "1/125 s"},
        {"ExifShutterSpeedValue", "6.5", "1/125 s"},
        {"ExifShutterSpeedValue", "6.49", "1/60 s"},
        {"ExifShutterSpeedValue", Value(7), "1/125 s"},
        {"ExifShutterSpeedValue", "-5", "30 s"},
        {"ExifShutterSpeedValue", "0", "1 s"},
        {"ExifShutterSpeedValue", "11", "1/2000 s"},
        {"ExifShutterSpeedValue", "12", "1/4096 s"},
        {"ExifShutterSpeedValue", "13", "1/8192 s"},
        {"ExifShutterSpeedValue", "-6", "64 s"},
        {"ExifShutterSpeedValue", "-7", "128 s"},
        {"ExifShutterSpeedValue", "-1.5", "4 s"}, // halves away from zero: -2
        {"ExifApertureValue", "3", "\u0192/2.8"},
        {"ExifApertureValue", "2.97", "\u0192/2.8"},
        {"ExifApertureValue", "4.97", "\u0192/5.6"},
        {"ExifApertureValue", "0", "\u0192/1"},
        {"ExifApertureValue", "10", "\u0192/32"},
        {"ExifApertureValue", Value(3), "\u0192/2.8"},
        {"ExifApertureValue", "12", "\u0192/12"},   // no f-number of its own: the raw text
        {"ExifApertureValue", Value(12), Value(12)}, // ... and a raw number stays a number
        {"ExifMaxApertureValue", "2.97", "\u0192/2.8"},
        {"ExifMaxApertureValue", "3.5", "\u0192/4"},
        {"ExifBrightnessValue", "-2", "1/4"},
        {"ExifBrightnessValue", "0", "1"},
        {"ExifBrightnessValue", "5", "30"},
        {"ExifBrightnessValue", "6", "64"},
        {"ExifBrightnessValue", "-3", "1/8"},
        {"ExifBrightnessValue", "-1.5", "1/4"},
        {"ExifBrightnessValue", "4.5", "30"},
        {"ExifBrightnessValue", "1.4", "2"},
    });
}

TEST(MetadataConverter, ExposureTimesAndUnits)
{
    expectShown({
        {"ExifExposureTime", "0.004", "1/250 s"},
        {"ExifExposureTime", "0.5", "1/2 s"},
        {"ExifExposureTime", "0.0166667", "1/60 s"},
        {"ExifExposureTime", "0.3", "0.3 s"},
        {"ExifExposureTime", "0.4", "0.4 s"}, // 1/0.4 = 2.5 is no whole reciprocal
        {"ExifExposureTime", "0.6", "0.6 s"},
        {"ExifExposureTime", "2", "2 s"},
        {"ExifISOSpeedRating", "200", "ISO 200"},
        {"ExifFNumber", "2.8", "\u0192/2.8"},
        {"ExifExposureBiasValue", "-0.7", "-0.7 eV"},
        {"ExifFocalLength", "50", "50 mm"},
    });
}

TEST(MetadataConverter, StringOnlyConvertersGiveOtherValuesBack)
{
    for (const char* identifier : {"ExifExposureTime", "ExifISOSpeedRating", "ExifFNumber", "ExifExposureBiasValue", "ExifFocalLength"}) {
        Ref<MetadataConverterProtocol> converter = MetadataConverterBase::converterForID(identifier);
        EXPECT_EQ(converter->toUI(Value(0.004)), Value(0.004)) << identifier;
        EXPECT_EQ(converter->toUI(Value(200)), Value(200)) << identifier;
        EXPECT_TRUE(converter->toUI(Value()).isNull()) << identifier;
    }
}

// Every code each enumeration names, in the standards' words.
TEST(MetadataConverter, EnumerationsNameTheirCodes)
{
    expectShown({
        {"ExifColorSpace", "1", "sRGB"},
        {"ExifColorSpace", "65535", "Uncalibrated"},
        {"ExifExposureProgram", "1", "Manual"},
        {"ExifExposureProgram", "2", "Normal program"},
        {"ExifExposureProgram", "3", "Aperture priority"},
        {"ExifExposureProgram", "4", "Shutter priority"},
        {"ExifExposureProgram", "5", "Creative program"},
        {"ExifExposureProgram", "6", "Action program"},
        {"ExifExposureProgram", "7", "Portrait mode"},
        {"ExifExposureProgram", "8", "Landscape mode"},
        {"ExifMeteringMode", "0", "Unknown"},
        {"ExifMeteringMode", "1", "Average"},
        {"ExifMeteringMode", "2", "Center Weighted Average"},
        {"ExifMeteringMode", "3", "Spot"},
        {"ExifMeteringMode", "4", "MultiSpot"},
        {"ExifMeteringMode", "5", "Pattern"},
        {"ExifMeteringMode", "6", "Partial"},
        {"ExifMeteringMode", "255", "Other"},
        {"ExifFlash", "0", "Flash did not fire."},
        {"ExifFlash", "1", "Flash fired."},
        {"ExifFlash", "5", "Strobe return light not detected."},
        {"ExifFlash", "7", "Strobe return light detected."},
        {"ExifFlash", "9", "Flash fired, compulsory flash mode"},
        {"ExifFlash", "13", "Flash fired, compulsory flash mode, return light not detected"},
        {"ExifFlash", "15", "Flash fired, compulsory flash mode, return light detected"},
        {"ExifFlash", "16", "Flash did not fire, compulsory flash mode"},
        {"ExifFlash", "24", "Flash did not fire, auto mode"},
        {"ExifFlash", "25", "Flash fired, auto mode"},
        {"ExifFlash", "29", "Flash fired, auto mode, return light not detected"},
        {"ExifFlash", "31", "Flash fired, auto mode, return light detected"},
        {"ExifFlash", "32", "No flash function"},
        {"ExifFlash", "65", "Flash fired, red-eye reduction mode"},
        {"ExifFlash", "69", "Flash fired, red-eye reduction mode, return light not detected"},
        {"ExifFlash", "71", "Flash fired, red-eye reduction mode, return light detected"},
        {"ExifFlash", "73", "Flash fired, compulsory flash mode, red-eye reduction mode"},
        {"ExifFlash", "77", "Flash fired, compulsory flash mode, red-eye reduction mode, return light not detected"},
        {"ExifFlash", "79", "Flash fired, compulsory flash mode, red-eye reduction mode, return light detected"},
        {"ExifFlash", "89", "Flash fired, auto mode, red-eye reduction mode"},
        {"ExifFlash", "93", "Flash fired, auto mode, return light not detected, red-eye reduction mode"},
        {"ExifFlash", "95", "Flash fired, auto mode, return light detected, red-eye reduction mode"},
        {"ExifLightSource", "0", "Unknown"},
        {"ExifLightSource", "1", "Daylight"},
        {"ExifLightSource", "2", "Fluorescent"},
        {"ExifLightSource", "3", "Tungsten (incandescent light)"},
        {"ExifLightSource", "4", "Flash"},
        {"ExifLightSource", "9", "Fine weather"},
        {"ExifLightSource", "10", "Cloudy weather"},
        {"ExifLightSource", "11", "Shade"},
        {"ExifLightSource", "12", "Daylight fluorescent (D 5700 \u2013 7100K)"},
        {"ExifLightSource", "13", "Day white fluorescent (N 4600 \u2013 5400K)"},
        {"ExifLightSource", "14", "Cool white fluorescent (W 3900 \u2013 4500K)"},
        {"ExifLightSource", "15", "White fluorescent (WW 3200 \u2013 3700K)"},
        {"ExifLightSource", "17", "Standard light A"},
        {"ExifLightSource", "18", "Standard light B"},
        {"ExifLightSource", "19", "Standard light C"},
        {"ExifLightSource", "20", "D55"},
        {"ExifLightSource", "21", "D65"},
        {"ExifLightSource", "22", "D75"},
        {"ExifLightSource", "23", "D50"},
        {"ExifLightSource", "24", "ISO studio tungsten"},
        {"ExifLightSource", "255", "Other light source"},
        {"ExifSensingMethod", "1", "Not defined"},
        {"ExifSensingMethod", "2", "One-chip color area sensor"},
        {"ExifSensingMethod", "3", "Two-chip color area sensor"},
        {"ExifSensingMethod", "4", "Three-chip color area sensor"},
        {"ExifSensingMethod", "5", "Color sequential area sensor"},
        {"ExifSensingMethod", "7", "Trilinear sensor"},
        {"ExifSensingMethod", "8", "Color sequential linear sensor"},
        {"ExifCustomRendered", "0", "Normal process"},
        {"ExifCustomRendered", "1", "Custom process"},
        {"ExifExposureMode", "0", "Auto exposure"},
        {"ExifExposureMode", "1", "Manual exposure"},
        {"ExifExposureMode", "2", "Auto bracket"},
        {"ExifWhiteBalance", "0", "Auto white balance"},
        {"ExifWhiteBalance", "1", "Manual white balance"},
        {"ExifSceneCaptureType", "0", "Standard"},
        {"ExifSceneCaptureType", "1", "Landscape"},
        {"ExifSceneCaptureType", "2", "Portrait"},
        {"ExifSceneCaptureType", "3", "Night scene"},
        {"ExifGainControl", "0", "None"},
        {"ExifGainControl", "1", "Low gain up"},
        {"ExifGainControl", "2", "High gain up"},
        {"ExifGainControl", "3", "Low gain down"},
        {"ExifGainControl", "4", "High gain down"},
        {"ExifContrast", "0", "Normal"},
        {"ExifContrast", "1", "Soft"},
        {"ExifContrast", "2", "Hard"},
        {"ExifSaturation", "0", "Normal"},
        {"ExifSaturation", "1", "Low saturation"},
        {"ExifSaturation", "2", "High saturation"},
        {"ExifSharpness", "0", "Normal"},
        {"ExifSharpness", "1", "Soft"},
        {"ExifSharpness", "2", "Hard"},
        {"ExifSubjectDistanceRange", "0", "Unknown"},
        {"ExifSubjectDistanceRange", "1", "Macro"},
        {"ExifSubjectDistanceRange", "2", "Close view"},
        {"ExifSubjectDistanceRange", "3", "Distant view"},
        {"TIFFPhotometricInterpretation", "2", "RGB"},
        {"TIFFPhotometricInterpretation", "6", "YCbCr"},
        {"TIFFOrientation", "1", "The 0th row is at the visual top of the image, and the 0th column is the visual left-hand side."},
        {"TIFFOrientation", "2", "The 0th row is at the visual top of the image, and the 0th column is the visual right-hand side."},
        {"TIFFOrientation", "3", "The 0th row is at the visual bottom of the image, and the 0th column is the visual right-hand side."},
        {"TIFFOrientation", "4", "The 0th row is at the visual bottom of the image, and the 0th column is the visual left-hand side."},
        {"TIFFOrientation", "5", "The 0th row is at the visual left-hand side of the image, and the 0th column is the visual top."},
        {"TIFFOrientation", "6", "The 0th row is at the visual right-hand side of the image, and the 0th column is the visual top."},
        {"TIFFOrientation", "7", "The 0th row is at the visual right-hand side of the image, and the 0th column is the visual bottom."},
        {"TIFFOrientation", "8", "The 0th row is at the visual left-hand side of the image, and the 0th column is the visual bottom."},
        {"TIFFResolutionUnit", "2", "inches"},
        {"TIFFResolutionUnit", "3", "centimeters"},
        {"ExifFocalPlaneResolutionUnit", "2", "inches"},
        {"ExifFocalPlaneResolutionUnit", "3", "centimeters"},
        // A number works as well as its text.
        {"ExifFlash", Value(16), "Flash did not fire, compulsory flash mode"},
        {"TIFFOrientation", Value(1.0), "The 0th row is at the visual top of the image, and the 0th column is the visual left-hand side."},
    });
}

TEST(MetadataConverter, CodesWithoutATextPassThrough)
{
    expectShown({
        {"ExifFlash", "2", "2"},
        {"ExifFlash", "96", "96"},
        {"ExifFlash", Value(2), Value(2)},
        {"ExifMeteringMode", "7", "7"},
        {"ExifColorSpace", "2", "2"},
        {"ExifExposureProgram", "0", "0"},
        {"ExifExposureProgram", "9", "9"},
        {"ExifLightSource", "16", "16"},
        {"ExifSensingMethod", "6", "6"},
        {"TIFFOrientation", "9", "9"},
        {"TIFFResolutionUnit", "1", "1"},
        // Values that hold no number are not codes either.
        {"ExifFlash", "fired", "fired"},
        {"ExifShutterSpeedValue", "fast", "fast"},
        {"ExifApertureValue", Value::array({Value(3)}), Value::array({Value(3)})},
        {"ExifBrightnessValue", Value(), Value()},
        // An identifier no converter has converts nothing.
        {"ExifNoSuchThing", "16", "16"},
        {"", Value(2.5), Value(2.5)},
    });
}

TEST(MetadataConverter, KeywordsBothWays)
{
    Ref<MetadataConverterProtocol> keywords = MetadataConverterBase::converterForID("Keywords");
    struct Shown {
        Value raw;
        Value shown;
    } shownCases[] = {
        {Value::array({Value("beach"), Value("beer")}), "beach,beer"},
        {Value::array(), ""},
        {Value::dictionary({{"b", 1}, {"a", 2}}), "a,b"},
        {"beach.beer", "beach.beer"},
        {Value(), Value()},
    };
    for (const Shown& c : shownCases)
        EXPECT_EQ(keywords->toUI(c.raw), c.shown) << c.raw.description();

    struct Edited {
        Value text;
        Value list;
    } editedCases[] = {
        {"b,a,b", Value::array({Value("a"), Value("b")})},
        {"", Value::array()},
        {",a,,", Value::array({Value("a")})},
        {" a,a", Value::array({Value(" a"), Value("a")})}, // blanks are part of a keyword
        {"\u00c9tang,Eagle", Value::array({Value("Eagle"), Value("\u00c9tang")})},
        {Value(3), Value(3)},
    };
    for (const Edited& c : editedCases)
        EXPECT_EQ(keywords->fromUI(c.text), c.list) << c.text.description();
}

TEST(MetadataConverter, OnlyKeywordsConvertBack)
{
    for (const MetadataConverterImp::Entry& entry : MetadataConverterImp::converters()) {
        ASSERT_TRUE(entry.to) << entry.identifier;
        EXPECT_EQ(entry.from != nullptr, std::string(entry.identifier) == "Keywords") << entry.identifier;
    }
    EXPECT_EQ(MetadataConverterBase::converterForID("ExifFlash")->fromUI("Flash fired."), Value("Flash fired."));
    EXPECT_EQ(MetadataConverterBase::converterForID("Nothing")->fromUI("a,b"), Value("a,b"));
}

// Every converter a field table names is one the table of converters has.
TEST(MetadataConverter, EveryConverterTheFieldTablesNameExists)
{
    for (Ref<MetadataProfile> profile : {MetadataProfile::databaseProfile(), MetadataProfile::fileProfile(), MetadataProfile::exifProfile(),
                                         MetadataProfile::iptcProfile(), MetadataProfile::autoCategoriesProfile()}) {
        for (std::size_t i = 0; i < profile->count(); ++i) {
            const char* identifier = profile->infoAtIndex(i)->converterID;
            if (identifier) {
                EXPECT_TRUE(MetadataConverterImp::entryForID(identifier)) << identifier;
            }
        }
    }
}

// Texts are looked up per converter: the same English text may read differently in two of them.
TEST(MetadataConverter, TextsAreTranslatedPerConverter)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vistel-converter-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "de.lproj");
    {
        std::ofstream table(dir / "de.lproj" / "Localizable.strings");
        auto entry = [&table](const char* selector, const char* english, const char* german) {
            table << "\"" << ZovTranslatorManager::keyForClass("MetadataConverterImp", "", selector, "", english) << "\" = \"" << german
                  << "\";\n";
        };
        entry("to_ExifShutterSpeedValue:", "%@ s", "%@ Sek.");
        entry("to_ExifExposureTime:", "1/%0.0f s", "1/%0.0f Sekunde");
        entry("to_ExifFlash:", "Flash fired.", "Blitz ausgel\u00f6st.");
        entry("to_TIFFResolutionUnit:", "inches", "Zoll");
    }
    auto& translator = ZovTranslatorManager::defaultTranslatorManager();
    const auto previousTables = translator.stringTables();
    translator.setStringTables(std::make_shared<LocalizedStrings>(dir.string(), std::vector<std::string> {"de"}));
    translator.setCurrentBackend(ZovTranslatorBackend_Cocoa);
    expectShown({
        {"ExifShutterSpeedValue", "7", "1/125 Sek."},
        {"ExifExposureTime", "2", "2 s"}, // "%@ s" is translated for the shutter speed only
        {"ExifExposureTime", "0.004", "1/250 Sekunde"},
        {"ExifFlash", "1", "Blitz ausgel\u00f6st."},
        {"TIFFResolutionUnit", "2", "Zoll"},
        {"ExifFocalPlaneResolutionUnit", "2", "inches"},
        {"ExifApertureValue", "3", "\u0192/2.8"},
    });
    translator.setCurrentBackend(ZovTranslatorBackend_Self);
    translator.setStringTables(previousTables);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace vistel::test
