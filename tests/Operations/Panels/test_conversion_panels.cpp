// The conversion, resize, rename and Save As panels offscreen: their factories, when OK is
// enabled, the print size in millimetres whatever the unit, the PDF password pair, the rename
// fields, the accessory's height across switches, and choosing through the embedded browser.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>

#include "TestSupport.h"
#include "Operations/Panels/ConversionPanels.h"
#include "PanelsTestSupport.h"
#include "Platform/Gui/Slider.h"

namespace vistel::test {
namespace {

// Types into a field as the user would (textEdited as well as textChanged).
void type(QLineEdit* field, const QString& text)
{
    field->selectAll();
    field->insert(text);
}

TEST(ConversionPanels, FactoriesBuildTheirOwnDescriptionsOnly)
{
    auto convert = BatchConvertionPanel::openPanel("BatchConvertion");
    auto resize = BatchResizePanel::openPanel("BatchResize");
    auto rename = BatchRenamePanel::openPanel("BatchRename");
    auto save = SaveImageAsPanel::savePanel("SaveImageAs");
    struct Case {
        AccessoryFilePanel* panel;
        const char* title;
        const char* message;
        const char* prompt;
        AccessoryFilePanel::Mode mode;
    } cases[] = {
        {convert.get(), "Choose Destination", "Choose destination location for converted files.", "Convert",
         AccessoryFilePanel::Mode::ChooseFolder},
        {resize.get(), "Choose Destination", "Choose destination location for resized files.", "Resize",
         AccessoryFilePanel::Mode::ChooseFolder},
        {rename.get(), "Choose Destination", "Choose destination location for renamed files.", "Rename",
         AccessoryFilePanel::Mode::ChooseFolder},
        {save.get(), "Save As", "Choose destination location for the file to save", "Save",
         AccessoryFilePanel::Mode::SaveFile},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.panel, nullptr) << c.prompt;
        EXPECT_EQ(c.panel->windowTitle().toStdString(), c.title);
        EXPECT_EQ(c.panel->messageLabel()->text().toStdString(), c.message);
        EXPECT_EQ(c.panel->okButton()->text().toStdString(), c.prompt);
        EXPECT_EQ(c.panel->mode(), c.mode);
        EXPECT_NE(c.panel->accessoryView(), nullptr);
        EXPECT_TRUE(c.panel->okButton()->isEnabled()) << c.prompt;
        EXPECT_TRUE(c.panel->fileDialog()->testOption(QFileDialog::DontUseNativeDialog));
        // The browser's own buttons are hidden: the panel's stand for them.
        for (QPushButton* button : c.panel->fileDialog()->findChildren<QPushButton*>())
            EXPECT_TRUE(button->isHidden() || !button->isVisibleTo(c.panel->fileDialog())) << c.prompt;
    }
    EXPECT_EQ(resize->fileDialog()->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(save->fileDialog()->acceptMode(), QFileDialog::AcceptSave);

    EXPECT_EQ(BatchConvertionPanel::openPanel("NoSuchPanel"), nullptr);
    EXPECT_EQ(BatchResizePanel::openPanel("BatchRename"), nullptr);
    EXPECT_EQ(BatchRenamePanel::openPanel("BatchResize"), nullptr);
    EXPECT_EQ(SaveImageAsPanel::savePanel(""), nullptr);
}

// OK follows both size fields of the kind shown, never only the one last typed in.
TEST(ConversionPanels, ResizeOkNeedsBothSizeFieldsUsable)
{
    struct Case {
        int kind;
        const char* width;
        const char* height;
        bool ok;
    } cases[] = {
        {BatchResizePanel::Pixels, "800", "600", true},
        {BatchResizePanel::Pixels, "1", "1", true},
        {BatchResizePanel::Pixels, "0", "600", false},
        {BatchResizePanel::Pixels, "", "600", false},
        {BatchResizePanel::Pixels, "800", "0", false},
        {BatchResizePanel::Pixels, "800", "", false},
        {BatchResizePanel::Pixels, "-5", "600", false},
        {BatchResizePanel::Pixels, "abc", "600", false},
        // A usable print size re-shows the other field from the stored size, so the field
        // typed in last decides.
        {BatchResizePanel::PrintSize, "2", "3", true},
        {BatchResizePanel::PrintSize, "0.5", "-3", false},
        {BatchResizePanel::PrintSize, "2", "", false},
        {BatchResizePanel::PrintSize, "2", "0", false},
    };
    for (const Case& c : cases) {
        auto panel = BatchResizePanel::openPanel("BatchResize");
        choose(panel->popupButton(), c.kind);
        ASSERT_EQ(panel->resizeType(), c.kind);
        const bool pixels = c.kind == BatchResizePanel::Pixels;
        QLineEdit* width = pixels ? panel->widthByPixelsText() : panel->widthByPrintText();
        QLineEdit* height = pixels ? panel->heightByPixelsText() : panel->heightByPrintText();
        // Pixels typed in either order: the result is the same.
        if (pixels) {
            type(height, c.height);
            type(width, c.width);
            EXPECT_EQ(panel->okButton()->isEnabled(), c.ok) << c.width << " x " << c.height;
        }
        type(width, c.width);
        type(height, c.height);
        EXPECT_EQ(panel->okButton()->isEnabled(), c.ok) << c.width << " x " << c.height;
        // Resizing by percentage needs neither field.
        choose(panel->popupButton(), BatchResizePanel::Percentage);
        EXPECT_TRUE(panel->okButton()->isEnabled());
        choose(panel->popupButton(), c.kind);
        EXPECT_EQ(panel->okButton()->isEnabled(), c.ok);
    }
    auto panel = BatchResizePanel::openPanel("BatchResize");
    choose(panel->popupButton(), BatchResizePanel::Pixels);
    type(panel->widthByPixelsText(), "1024");
    type(panel->heightByPixelsText(), "768");
    EXPECT_EQ(panel->pixelsSize(), std::make_pair(1024.0f, 768.0f));
}

TEST(ConversionPanels, PrintSizeIsKeptInMillimetresWhateverTheUnit)
{
    auto panel = BatchResizePanel::openPanel("BatchResize");
    choose(panel->popupButton(), BatchResizePanel::PrintSize);
    QLineEdit* width = panel->widthByPrintText();
    QLineEdit* height = panel->heightByPrintText();
    auto shown = [&] { return std::make_pair(width->text().toStdString(), height->text().toStdString()); };

    EXPECT_EQ(panel->units(), BatchResizePanel::Inches);
    EXPECT_EQ(shown(), std::make_pair(std::string("1"), std::string("1")));
    choose(panel->unitsPopupButton(), BatchResizePanel::Centimetres);
    EXPECT_EQ(shown(), std::make_pair(std::string("2.54"), std::string("2.54")));
    choose(panel->unitsPopupButton(), BatchResizePanel::Millimetres);
    EXPECT_EQ(shown(), std::make_pair(std::string("25.4"), std::string("25.4")));

    choose(panel->unitsPopupButton(), BatchResizePanel::Centimetres);
    type(width, "2");
    EXPECT_FLOAT_EQ(panel->unitsSize().first, 20.0f);
    EXPECT_FLOAT_EQ(panel->unitsSize().second, 25.4f);
    // The field typed in keeps its text while typing ("2." does not turn into "2").
    type(width, "2.");
    EXPECT_EQ(width->text(), "2.");
    type(width, "2.5");
    EXPECT_FLOAT_EQ(panel->unitsSize().first, 25.0f);
    EXPECT_TRUE(panel->okButton()->isEnabled());

    // A negative size is refused: OK off, the stored size unchanged.
    type(height, "-3");
    EXPECT_FALSE(panel->okButton()->isEnabled());
    EXPECT_FLOAT_EQ(panel->unitsSize().second, 25.4f);
    EXPECT_EQ(height->text(), "-3");
    // Another unit shows the stored sizes again, which are usable.
    choose(panel->unitsPopupButton(), BatchResizePanel::Millimetres);
    EXPECT_EQ(shown(), std::make_pair(std::string("25"), std::string("25.4")));
    EXPECT_TRUE(panel->okButton()->isEnabled());
    choose(panel->unitsPopupButton(), BatchResizePanel::Inches);
    type(height, "4");
    EXPECT_NEAR(panel->unitsSize().second, 101.6f, 1e-4);
    EXPECT_FLOAT_EQ(panel->unitsFactor(), 25.4f);
}

TEST(ConversionPanels, AnEncryptedPdfNeedsTheSamePasswordTwice)
{
    auto panel = BatchConvertionPanel::openPanel("BatchConvertion");
    ConversionPanelAccessory* accessory = panel->accessory();
    choose(accessory->popupButton(), ConversionPanelAccessory::PDF);
    QPushButton* ok = panel->okButton();
    EXPECT_FALSE(accessory->pdfPassword1()->isEnabled());
    EXPECT_EQ(accessory->pdfPassword1()->echoMode(), QLineEdit::Password);

    accessory->encryptButton()->setChecked(true);
    EXPECT_TRUE(accessory->pdfPassword1()->isEnabled());
    EXPECT_TRUE(accessory->pdfPassword2()->isEnabled());
    EXPECT_FALSE(ok->isEnabled());
    struct Step {
        const char* first;
        const char* second;
        bool ok;
    } steps[] = {{"secret", "", false}, {"secret", "secre", false}, {"secret", "secret", true},
                 {"", "", false},       {"Secret", "secret", false}, {"a b", "a b", true}};
    for (const Step& s : steps) {
        type(accessory->pdfPassword1(), s.first);
        type(accessory->pdfPassword2(), s.second);
        EXPECT_EQ(ok->isEnabled(), s.ok) << s.first << " / " << s.second;
    }
    EXPECT_TRUE(accessory->encrypt());
    EXPECT_EQ(accessory->password(), "a b");

    // Another format does not need a password.
    type(accessory->pdfPassword2(), "x");
    EXPECT_FALSE(ok->isEnabled());
    choose(accessory->popupButton(), ConversionPanelAccessory::PNG);
    EXPECT_TRUE(ok->isEnabled());
    choose(accessory->popupButton(), ConversionPanelAccessory::PDF);
    EXPECT_FALSE(ok->isEnabled());

    // Unticking empties and disables both fields and enables OK.
    accessory->encryptButton()->setChecked(false);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_FALSE(accessory->encrypt());
    for (QLineEdit* field : {accessory->pdfPassword1(), accessory->pdfPassword2()}) {
        EXPECT_TRUE(field->text().isEmpty());
        EXPECT_FALSE(field->isEnabled());
    }
}

TEST(ConversionPanels, FormatAccessoryAnswersPerFormat)
{
    auto panel = SaveImageAsPanel::savePanel("SaveImageAs");
    ConversionPanelAccessory* accessory = panel->accessory();
    accessory->jpegQuality()->setDoubleValue(70);
    accessory->jpeg2000Quality()->setDoubleValue(40);
    struct Case {
        int tag;
        const char* uti;
        const char* extension;
        float quality;
    } cases[] = {
        {ConversionPanelAccessory::JPEG, "public.jpeg", "jpg", 0.7f},
        {ConversionPanelAccessory::PNG, "public.png", "png", 0.7f},
        {ConversionPanelAccessory::GIF, "com.compuserve.gif", "gif", 0.7f},
        {ConversionPanelAccessory::TIFF, "public.tiff", "tiff", 0.7f},
        {ConversionPanelAccessory::PDF, "com.adobe.pdf", "pdf", 0.7f},
        {ConversionPanelAccessory::JPEG2000, "public.jpeg-2000", "jp2", 0.4f},
    };
    for (const Case& c : cases) {
        choose(accessory->popupButton(), c.tag);
        EXPECT_EQ(accessory->formatUTI(), c.uti);
        EXPECT_FLOAT_EQ(accessory->quality(), c.quality) << c.uti;
        EXPECT_EQ(panel->allowedFileType(), c.extension);
        EXPECT_EQ(accessory->currentOptionsView(), accessory->optionView(c.tag));
    }
    EXPECT_EQ(accessory->formatString(), "JPEG 2000");
    // An unknown tag changes nothing.
    accessory->applyFormat(7);
    EXPECT_EQ(accessory->formatUTI(), "public.jpeg-2000");
    EXPECT_EQ(ConversionPanelAccessory::utiForFormatTag(0), "");

    for (auto [tag, compression] : {std::pair {1, 1u}, {5, 5u}, {32773, 32773u}}) {
        choose(accessory->tiffCompressionPopup(), tag);
        EXPECT_EQ(accessory->tiffCompression(), compression);
    }
}

// Switching shows one option view under the fixed part: the container is its loaded height
// plus the shown view's, however often it switches.
TEST(ConversionPanels, AccessoryHeightIsSteadyAcrossSwitches)
{
    auto resize = BatchResizePanel::openPanel("BatchResize");
    resize->show();
    for (int round = 0; round < 2; ++round)
        for (int kind : {2, 3, 1, 3}) {
            choose(resize->popupButton(), kind);
            QWidget* view = resize->optionView(kind);
            EXPECT_EQ(resize->currentOptionsView(), view);
            EXPECT_EQ(resize->accessoryView()->height(), resize->initialAccessoryHeight() + view->sizeHint().height());
            int shown = 0;
            for (int other : {1, 2, 3})
                shown += resize->optionView(other)->isVisible() ? 1 : 0;
            EXPECT_EQ(shown, 1);
        }
    // An unknown kind is recorded but shows nothing new.
    resize->applyResizeType(9);
    EXPECT_EQ(resize->resizeType(), 9);
    EXPECT_EQ(resize->currentOptionsView(), resize->optionView(3));

    auto convert = BatchConvertionPanel::openPanel("BatchConvertion");
    convert->show();
    ConversionPanelAccessory* accessory = convert->accessory();
    const int loaded = accessory->accessoryView()->height() - accessory->optionView(1)->sizeHint().height();
    for (int round = 0; round < 2; ++round)
        for (int tag : {5, 1, 4, 6, 5}) {
            choose(accessory->popupButton(), tag);
            EXPECT_EQ(accessory->accessoryView()->height(), loaded + accessory->optionView(tag)->sizeHint().height());
            // The panel is always tall enough for its accessory.
            EXPECT_GE(convert->height(), convert->minimumSizeHint().height());
        }
}

TEST(ConversionPanels, RenameFieldsFollowTheKind)
{
    auto panel = BatchRenamePanel::openPanel("BatchRename");
    struct Case {
        int tag;
        bool name;
        bool start;
    } cases[] = {{1, false, false}, {2, false, false}, {3, false, true}, {4, false, false},
                 {5, true, false},  {6, true, false},  {7, true, true},  {8, true, false}};
    for (const Case& c : cases) {
        choose(panel->popupButton(), c.tag);
        EXPECT_EQ(panel->renameType(), c.tag);
        EXPECT_EQ(panel->customNameText()->isEnabled(), c.name) << c.tag;
        EXPECT_EQ(panel->startingAtText()->isEnabled(), c.start) << c.tag;
    }
    // "Keep names" leaves the fields as they were.
    choose(panel->popupButton(), 0);
    EXPECT_TRUE(panel->customNameText()->isEnabled());
    EXPECT_FALSE(panel->startingAtText()->isEnabled());

    EXPECT_EQ(panel->customName(), "Image");
    EXPECT_EQ(panel->startingIndex(), 1);
    type(panel->customNameText(), "Trip");
    EXPECT_EQ(panel->customName(), "Trip");
    type(panel->customNameText(), "");
    EXPECT_EQ(panel->customName(), "Image");
    // The starting field takes digits only.
    type(panel->startingAtText(), "12");
    type(panel->startingAtText(), "x");
    panel->startingAtText()->insert("-");
    EXPECT_EQ(panel->startingAtText()->text(), "12");
    EXPECT_EQ(panel->startingIndex(), 12);
}

TEST(ConversionPanels, TheBrowserChoosesAFolderOrAFileName)
{
    TemporaryFolder folder;
    std::filesystem::create_directory(folder / "out");
    auto clickOk = [](AccessoryFilePanel& panel) { panel.okButton()->click(); };
    auto previous = AccessoryFilePanel::setResponder(clickOk);

    auto resize = BatchResizePanel::openPanel("BatchResize");
    ASSERT_TRUE(resize->runModal(folder / "out"));
    EXPECT_EQ(resize->filenames(), std::vector<std::string> {folder / "out"});

    // OK disabled: the click does nothing and the run answers no choice.
    auto refused = BatchResizePanel::openPanel("BatchResize");
    choose(refused->popupButton(), BatchResizePanel::Pixels);
    type(refused->widthByPixelsText(), "0");
    EXPECT_FALSE(refused->runModal(folder.path()));
    EXPECT_TRUE(refused->filenames().empty());

    // Save As: the typed name gets the chosen format's extension.
    AccessoryFilePanel::setResponder(clickOk);
    auto save = SaveImageAsPanel::savePanel("SaveImageAs");
    choose(save->accessory()->popupButton(), ConversionPanelAccessory::PNG);
    ASSERT_TRUE(save->runModal(folder / "out", "holiday"));
    EXPECT_EQ(save->filename(), folder / "out/holiday.png");

    // Cancel.
    AccessoryFilePanel::setResponder([](AccessoryFilePanel& panel) { panel.reject(); });
    auto cancelled = BatchRenamePanel::openPanel("BatchRename");
    EXPECT_FALSE(cancelled->runModal(folder.path()));
    AccessoryFilePanel::setResponder(previous);
}

} // namespace
} // namespace vistel::test
