// What the panels' choices become: the batch options for each rename kind, resize kind and
// format, with the progress texts' placeholders kept and a choice that gives no value leaving
// only its own key out.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

#include "Operations/FileOperation.h"
#include "Operations/ImageConversionRules.h"
#include "Operations/ImageConvertor.h"
#include "Operations/Panels/ConversionPanelOptions.h"
#include "Operations/Panels/ConversionPanels.h"
#include "PanelsTestSupport.h"
#include "Platform/Gui/Slider.h"

namespace vistel::test {
namespace {

const ConversionProgressTexts convertTexts {"Stop Convertion", "Converting \"%@\" with %@ format",
                                            "Converting \"%@\" to \"%@\" with %@ format"};
const ConversionProgressTexts renameTexts {"Stop Renaming", "Renaming \"%@\"", "Renaming \"%@\" to \"%@\""};

// The rule of a rename option as "kind name start": "counter Trip 5", "-" for none.
std::string describe(const Value& options)
{
    if (!options.contains(kImageConvertorRenameOperatorKey))
        return "-";
    Ref<Object> held = options.get(kImageConvertorRenameOperatorKey).toObject();
    Object* rule = held.get();
    auto named = [](const char* kind, const NamedRenameOperator& r, int start) {
        return std::string(kind) + " " + r.name().value_or("(own)") + (start ? " " + std::to_string(start) : "");
    };
    if (auto* r = dynamic_cast<NameWithIndexRenameOperator*>(rule))
        return named("index", *r, r->startingIndex());
    if (auto* r = dynamic_cast<NameWithSequenceRenameOperator*>(rule))
        return named("sequence", *r, r->startingIndex());
    if (auto* r = dynamic_cast<NameWithCounterRenameOperator*>(rule))
        return named("counter", *r, r->startingIndex());
    if (auto* r = dynamic_cast<NameWithDateTimeRenameOperator*>(rule))
        return named("date", *r, 0);
    return "other";
}

TEST(ConversionPanelOptions, EachRenameKindMakesItsRule)
{
    auto panel = BatchRenamePanel::openPanel("BatchRename");
    panel->customNameText()->setText("Trip");
    panel->startingAtText()->setText("5");
    const std::pair<int, const char*> cases[] = {
        {0, "-"},                  {1, "index (own) 1"},    {2, "sequence (own) 1"}, {3, "counter (own) 5"},
        {4, "date (own)"},         {5, "index Trip 1"},     {6, "sequence Trip 1"},  {7, "counter Trip 5"},
        {8, "date Trip"},
    };
    for (auto [tag, rule] : cases) {
        choose(panel->popupButton(), tag);
        const Value options = ConversionPanelOptions::renameOptions(*panel, renameTexts);
        EXPECT_EQ(describe(options), rule) << tag;
        // The texts are there whatever the kind.
        EXPECT_EQ(options.get(kFolderProgressKeyStopButtonText), Value("Stop Renaming")) << tag;
        EXPECT_EQ(options.get(kFolderProgressKeyExplanationWithDestination), Value("Renaming \"%@\" to \"%@\"")) << tag;
        EXPECT_EQ(options.size(), std::string(rule) == "-" ? 3u : 4u) << tag;
    }
    // An empty base name is "Image".
    choose(panel->popupButton(), 5);
    panel->customNameText()->clear();
    EXPECT_EQ(describe(ConversionPanelOptions::renameOptions(*panel, renameTexts)), "index Image 1");
}

TEST(ConversionPanelOptions, EachResizeKindMakesItsRule)
{
    auto panel = BatchResizePanel::openPanel("BatchResize");
    const ConversionProgressTexts texts {"Stop Resizing", "Resizing \"%@\"", "Resizing \"%@\" to \"%@\""};
    panel->percentageStepper()->setValue(25);
    choose(panel->applyPercentageByPopupButton(), 2);
    Ref<PercentageResizeOperator> percent = ConversionPanelOptions::resizeOptions(*panel, texts)
                                                .get(kImageConvertorResizeOperatorKey)
                                                .toObject<PercentageResizeOperator>();
    ASSERT_TRUE(percent);
    EXPECT_FLOAT_EQ(percent->percent(), 25);
    EXPECT_EQ(percent->applyTo(), 2);

    choose(panel->popupButton(), BatchResizePanel::Pixels);
    panel->widthByPixelsText()->setText("1024");
    panel->heightByPixelsText()->setText("768");
    choose(panel->resizeDirectionsPopupButton(), 1);
    choose(panel->fitByPixelsPopupButton(), 4);
    Ref<PixelsResizeOperator> pixels = ConversionPanelOptions::resizeOptions(*panel, texts).get(kImageConvertorResizeOperatorKey).toObject<PixelsResizeOperator>();
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->sizeInPixels(), (FloatSize {1024, 768}));
    EXPECT_EQ(pixels->resizeDirections(), 1);
    EXPECT_EQ(pixels->fit(), 4);
    EXPECT_TRUE(pixels->preserveAspect());

    choose(panel->popupButton(), BatchResizePanel::PrintSize);
    choose(panel->unitsPopupButton(), BatchResizePanel::Centimetres);
    panel->widthByPrintText()->selectAll();
    panel->widthByPrintText()->insert("10");
    panel->preserveAspectRatioByPrintButton()->setChecked(false);
    Ref<UnitsResizeOperator> print = ConversionPanelOptions::resizeOptions(*panel, texts).get(kImageConvertorResizeOperatorKey).toObject<UnitsResizeOperator>();
    ASSERT_TRUE(print);
    EXPECT_EQ(print->unitsSize(), (FloatSize {100.0f, 25.4f}));
    EXPECT_EQ(print->resolution(), 300);
    EXPECT_FALSE(print->preserveAspect());

    // A kind outside the three: the texts only.
    panel->applyResizeType(9);
    const Value none = ConversionPanelOptions::resizeOptions(*panel, texts);
    EXPECT_FALSE(none.contains(kImageConvertorResizeOperatorKey));
    EXPECT_EQ(none.size(), 3u);
}

TEST(ConversionPanelOptions, EachFormatGivesItsConversion)
{
    auto panel = BatchConvertionPanel::openPanel("BatchConvertion");
    ConversionPanelAccessory* accessory = panel->accessory();
    accessory->jpegQuality()->setDoubleValue(80);
    const std::pair<int, const char*> formats[] = {{1, "public.jpeg"}, {2, "public.png"}, {3, "com.compuserve.gif"},
                                                  {4, "public.tiff"}, {5, "com.adobe.pdf"}, {6, "public.jpeg-2000"}};
    for (auto [tag, uti] : formats) {
        choose(accessory->popupButton(), tag);
        const Value options = ConversionPanelOptions::convertOptions(*accessory, convertTexts);
        EXPECT_EQ(options.get(kImageConvertorFormatKey), Value(uti));
        EXPECT_EQ(options.get(kFolderProgressKeyExplanationWithoutDestination),
                  Value("Converting \"%@\" with " + accessory->formatString() + " format"));
        EXPECT_EQ(options.get(kImageConvertorEncryptKey), Value(false));
        EXPECT_EQ(options.get(kImageConvertorCompressionKey).toInt64(), 1);
    }
    EXPECT_NEAR(ConversionPanelOptions::convertOptions(*accessory, convertTexts).get(kImageConvertorQualityKey).toDouble(),
                1.0, 1e-6); // JPEG 2000's own slider
    choose(accessory->popupButton(), 2);
    EXPECT_NEAR(ConversionPanelOptions::convertOptions(*accessory, convertTexts).get(kImageConvertorQualityKey).toDouble(),
                0.8, 1e-6);

    // An encrypted PDF carries its password.
    choose(accessory->popupButton(), 5);
    accessory->encryptButton()->setChecked(true);
    accessory->pdfPassword1()->setText("secret");
    const Value pdf = ConversionPanelOptions::convertOptions(*accessory, convertTexts);
    EXPECT_EQ(pdf.get(kImageConvertorEncryptKey), Value(true));
    EXPECT_EQ(pdf.get(kImageConvertorPasswordKey), Value("secret"));

    // Save As adds the one name.
    const Value saveAs = ConversionPanelOptions::saveAsOptions(*accessory, "holiday.pdf", convertTexts);
    Ref<NameFromNamesArray> names = saveAs.get(kImageConvertorRenameOperatorKey).toObject<NameFromNamesArray>();
    ASSERT_TRUE(names);
    EXPECT_EQ(names->objectsNamesArray(), (std::vector<std::string> {"holiday.pdf"}));
    EXPECT_EQ(saveAs.get(kImageConvertorPasswordKey), Value("secret"));
}

// An accessory whose format is not one of the six.
class UnknownFormat : public ConversionAccessoryProtocol {
public:
    std::string formatString() const override { return "Other"; }
    std::string formatUTI() const override { return {}; }
    float quality() const override { return 0.5f; }
    unsigned tiffCompression() const override { return 5; }
    bool encrypt() const override { return false; }
    std::string password() const override { return {}; }
};

TEST(ConversionPanelOptions, AFormatWithoutTypeLeavesOnlyItsOwnKeyOut)
{
    const Value options = ConversionPanelOptions::convertOptions(UnknownFormat(), convertTexts);
    EXPECT_FALSE(options.contains(kImageConvertorFormatKey));
    EXPECT_NEAR(options.get(kImageConvertorQualityKey).toDouble(), 0.5, 1e-6);
    EXPECT_EQ(options.get(kImageConvertorCompressionKey).toInt64(), 5);
    EXPECT_TRUE(options.contains(kImageConvertorEncryptKey));
    EXPECT_TRUE(options.contains(kImageConvertorPasswordKey));
    EXPECT_EQ(options.get(kFolderProgressKeyStopButtonText), Value("Stop Convertion"));
}

} // namespace
} // namespace vistel::test
