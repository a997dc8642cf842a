#pragma once
// The panels that start a batch of the conversion engine: BatchConvertionPanel (convert the
// chosen pictures to another format), BatchResizePanel (resize them), BatchRenamePanel (copy
// them under new names) and SaveImageAsPanel (save one picture in another format under a
// chosen name).
//
// Each panel is an AccessoryFilePanel: a dialog holding a non-native QFileDialog (its own
// buttons hidden) with an accessory view below it and the dialog's own Cancel and OK buttons;
// `okButton()` is the dialog's, which the accessories enable and disable as their fields
// allow. The three batch panels choose one folder (folders may be created, files not chosen);
// the Save As panel chooses a file name. The panels only collect choices and answer them through
// accessors; ConversionPanelOptions.h turns them into a batch's options.
//
// Panels are built in code from an interface description named like the files they stand
// for ("BatchConvertion", "BatchResize", "BatchRename", "SaveImageAs"); a factory given a name
// it has no description of answers null. Nothing is kept between runs: each panel starts from
// the description's values.
//
// OK is enabled only while the accessory's fields hold a usable choice: both pixel fields a
// whole number above 0 (resizing by pixels), both print fields a number above 0 (resizing by
// print size), and, for an encrypted PDF, the same non-empty password typed twice.
//
// Thread rules: main thread only.

#include <QDialog>
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZovClass.h"

class QComboBox;
class QCheckBox;
class QDialogButtonBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace vistel {

class Slider;

// A file dialog with an accessory view below its browser.
class AccessoryFilePanel : public QDialog {
public:
    ZOV_ROOT_CLASS(AccessoryFilePanel)
    enum class Mode { ChooseFolder, SaveFile };

    explicit AccessoryFilePanel(Mode mode, QWidget* parent = nullptr);
    ~AccessoryFilePanel() override;

    Mode mode() const { return mode_; }
    QFileDialog* fileDialog() const { return fileDialog_; }
    // The dialog's default (OK) button.
    QPushButton* okButton() const { return okButton_; }
    QLabel* messageLabel() const { return message_; }

    void setTitle(const std::string& title);
    void setMessage(const std::string& message);
    // The OK button's title.
    void setPrompt(const std::string& prompt);

    // The view below the browser (it becomes the panel's child; null takes it out). Setting
    // the same view again lays the panel out for its new height.
    void setAccessoryView(QWidget* view);
    QWidget* accessoryView() const { return accessory_; }

    // The one type a saved file gets: its extension is added to a name typed without one.
    void setAllowedFileType(const std::string& extension);
    std::string allowedFileType() const { return allowedFileType_; }

    // Runs the panel modally, starting in `directory` (the current folder when empty) with
    // `file` as the proposed name (Save As); true for OK.
    bool runModal(const std::string& directory = {}, const std::string& file = {});
    // The chosen folder (batch panels) or file path (Save As); empty before an OK.
    std::vector<std::string> filenames() const { return chosen_; }
    std::string filename() const { return chosen_.empty() ? std::string() : chosen_.front(); }

    // Scripted runs (tests): runModal() calls the responder with the panel instead of
    // showing it; the responder chooses (fileDialog()), fills the fields and clicks OK or not.
    using Responder = std::function<void(AccessoryFilePanel&)>;
    // An empty responder restores real runs; answers the previous one.
    static Responder setResponder(Responder responder);

private:
    void acceptChoice();

    Mode mode_;
    QVBoxLayout* layout_ = nullptr;
    QLabel* message_ = nullptr;
    QFileDialog* fileDialog_ = nullptr;
    QWidget* accessory_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    QPushButton* okButton_ = nullptr;
    std::string allowedFileType_;
    std::vector<std::string> chosen_;
};

// An option view shown below a choice, one at a time: the container's height is its loaded
// height plus the shown view's, whatever was shown before.
class OptionViewSwitcher {
public:
    // `container` holds the fixed part; option views are added below it.
    explicit OptionViewSwitcher(QWidget* container);
    // Remembers the container's height as loaded (no option view shown).
    void rememberInitialHeight();
    // Shows `view` (null: nothing changes) and sizes the container.
    void show(QWidget* view);
    QWidget* currentOptionsView() const { return current_; }
    int initialHeight() const { return initialHeight_; }

private:
    QWidget* container_;
    QWidget* current_ = nullptr;
    int initialHeight_ = 0;
};

// What the conversion and Save As panels answer of their format accessory.
class ConversionAccessoryProtocol {
public:
    // The chosen format's display name ("JPEG").
    virtual std::string formatString() const = 0;
    // Its type identifier; empty for an unknown format tag.
    virtual std::string formatUTI() const = 0;
    // 0..1: the JPEG 2000 slider's value for JPEG 2000, the JPEG slider's for every other format.
    virtual float quality() const = 0;
    // 1 none, 5 LZW, 32773 PackBits.
    virtual unsigned tiffCompression() const = 0;
    virtual bool encrypt() const = 0;
    virtual std::string password() const = 0;

protected:
    ~ConversionAccessoryProtocol() = default;
};

// The format accessory of the conversion and Save As panels.
class ConversionPanelAccessory : public QObject, public ConversionAccessoryProtocol {
public:
    ZOV_ROOT_CLASS(ConversionPanelAccessory)

    enum FormatTag { JPEG = 1, PNG = 2, GIF = 3, TIFF = 4, PDF = 5, JPEG2000 = 6 };

    explicit ConversionPanelAccessory(QObject* parent = nullptr);
    ~ConversionPanelAccessory() override;

    // Builds the accessory of the description `name` into `panel`; false (nothing built) for a
    // name without one.
    bool loadNib(const std::string& name, AccessoryFilePanel* panel);
    static bool hasDescription(const std::string& name);

    std::string formatString() const override;
    std::string formatUTI() const override;
    float quality() const override;
    unsigned tiffCompression() const override;
    bool encrypt() const override;
    std::string password() const override;

    // The chosen format's tag.
    int formatTag() const;
    // Shows the option view of a format tag (1..6; other tags change nothing).
    void applyFormat(int tag);
    // The type identifier and the file extension of a format tag; empty for other tags.
    static std::string utiForFormatTag(int tag);
    static std::string extensionForFormatTag(int tag);

    // The description's controls.
    QWidget* accessoryView() const { return accessoryView_; }
    QComboBox* popupButton() const { return popupButton_; }
    QWidget* optionView(int tag) const;
    QLineEdit* pdfPassword1() const { return pdfPassword1_; }
    QLineEdit* pdfPassword2() const { return pdfPassword2_; }
    QCheckBox* encryptButton() const { return encryptButton_; }
    Slider* jpegQuality() const { return jpegQuality_; }
    Slider* jpeg2000Quality() const { return jpeg2000Quality_; }
    QComboBox* tiffCompressionPopup() const { return tiffCompression_; }
    QWidget* currentOptionsView() const;
    AccessoryFilePanel* panel() const { return panel_; }

private:
    void selectEncryptOption(bool on);
    void updateOkButton();

    QWidget* accessoryView_ = nullptr;
    QComboBox* popupButton_ = nullptr;
    QWidget* jpegView_ = nullptr;
    QWidget* pngView_ = nullptr;
    QWidget* gifView_ = nullptr;
    QWidget* tiffView_ = nullptr;
    QWidget* jpeg2000View_ = nullptr;
    QWidget* pdfView_ = nullptr;
    QLineEdit* pdfPassword1_ = nullptr;
    QLineEdit* pdfPassword2_ = nullptr;
    QCheckBox* encryptButton_ = nullptr;
    Slider* jpegQuality_ = nullptr;
    Slider* jpeg2000Quality_ = nullptr;
    QComboBox* tiffCompression_ = nullptr;
    std::unique_ptr<OptionViewSwitcher> switcher_;
    AccessoryFilePanel* panel_ = nullptr;
};

class BatchConvertionPanel : public AccessoryFilePanel {
public:
    ZOV_CLASS(BatchConvertionPanel, AccessoryFilePanel)
    // A folder chooser with the format accessory of the description `name`; null for a name
    // without one.
    static std::unique_ptr<BatchConvertionPanel> openPanel(const std::string& name);
    ConversionPanelAccessory* accessory() const { return accessory_; }

private:
    BatchConvertionPanel();
    ConversionPanelAccessory* accessory_ = nullptr;
};

class SaveImageAsPanel : public AccessoryFilePanel {
public:
    ZOV_CLASS(SaveImageAsPanel, AccessoryFilePanel)
    // A save panel with the format accessory of the description `name`; null for a name
    // without one. The format chosen gives the saved file's extension.
    static std::unique_ptr<SaveImageAsPanel> savePanel(const std::string& name);
    ConversionPanelAccessory* accessory() const { return accessory_; }

private:
    SaveImageAsPanel();
    ConversionPanelAccessory* accessory_ = nullptr;
};

class BatchResizePanel : public AccessoryFilePanel {
public:
    ZOV_CLASS(BatchResizePanel, AccessoryFilePanel)

    enum ResizeType { Percentage = 1, Pixels = 2, PrintSize = 3 };
    enum UnitsTag { Inches = 1, Centimetres = 2, Millimetres = 3 };

    static std::unique_ptr<BatchResizePanel> openPanel(const std::string& name);
    static bool hasDescription(const std::string& name);

    // --- choices (read from the controls at the time of the call) ---------------------------
    // The kind last applied: 1 percentage, 2 pixels, 3 print size.
    int resizeType() const { return resizeType_; }
    float percentage() const;
    // 1 width, 2 height, 3 both.
    int applyPercentageBy() const;
    int units() const;
    // Millimetres per unit: 10 for centimetres, 1 for millimetres, 25.4 for inches.
    float unitsFactor() const;
    int fitForByPixelsType() const;
    bool preserveAspectRatioForByPixelsType() const;
    // The pixel fields read as numbers.
    std::pair<float, float> pixelsSize() const;
    int fitForByPrintType() const;
    // The print size in millimetres, whatever unit is shown.
    std::pair<float, float> unitsSize() const { return {widthByPrint_, heightByPrint_}; }
    bool preserveAspectRatioForByPrintType() const;
    // 1 only enlarge, 2 only reduce, 0 both.
    int resizeDirections() const;
    // Pixels per inch.
    int resolution() const;

    // Shows the option view of a kind (1..3); the kind is recorded whatever it is.
    void applyResizeType(int type);

    // --- the description's controls ----------------------------------------------------------
    QWidget* accessoryView() const { return accessoryView_; }
    QComboBox* popupButton() const { return popupButton_; }
    QLabel* percentageText() const { return percentageText_; }
    QSpinBox* percentageStepper() const { return percentageStepper_; }
    QComboBox* applyPercentageByPopupButton() const { return applyPercentageBy_; }
    QComboBox* unitsPopupButton() const { return units_; }
    QComboBox* fitByPixelsPopupButton() const { return fitByPixels_; }
    QCheckBox* preserveAspectRatioByPixelsButton() const { return preserveByPixels_; }
    QComboBox* fitByPrintPopupButton() const { return fitByPrint_; }
    QCheckBox* preserveAspectRatioByPrintButton() const { return preserveByPrint_; }
    QComboBox* resizeDirectionsPopupButton() const { return directions_; }
    QComboBox* resolutionPopupButton() const { return resolution_; }
    QLineEdit* widthByPixelsText() const { return widthByPixels_; }
    QLineEdit* heightByPixelsText() const { return heightByPixels_; }
    QLineEdit* widthByPrintText() const { return widthByPrintText_; }
    QLineEdit* heightByPrintText() const { return heightByPrintText_; }
    QWidget* optionView(int type) const;
    QWidget* currentOptionsView() const { return switcher_ ? switcher_->currentOptionsView() : nullptr; }
    int initialAccessoryHeight() const { return switcher_ ? switcher_->initialHeight() : 0; }

private:
    BatchResizePanel();
    bool loadNib(const std::string& name);
    void applySizeByPrint(QLineEdit* except = nullptr);
    void sizeTextDidChange(QLineEdit* field, const QString& text);
    void updateOkButton();

    QWidget* accessoryView_ = nullptr;
    QComboBox* popupButton_ = nullptr;
    QLabel* percentageText_ = nullptr;
    QSpinBox* percentageStepper_ = nullptr;
    QComboBox* applyPercentageBy_ = nullptr;
    QComboBox* units_ = nullptr;
    QComboBox* fitByPixels_ = nullptr;
    QCheckBox* preserveByPixels_ = nullptr;
    QComboBox* fitByPrint_ = nullptr;
    QCheckBox* preserveByPrint_ = nullptr;
    QComboBox* directions_ = nullptr;
    QComboBox* resolution_ = nullptr;
    QLineEdit* widthByPixels_ = nullptr;
    QLineEdit* heightByPixels_ = nullptr;
    QLineEdit* widthByPrintText_ = nullptr;
    QLineEdit* heightByPrintText_ = nullptr;
    QWidget* percentageView_ = nullptr;
    QWidget* pixelsView_ = nullptr;
    QWidget* printSizeView_ = nullptr;
    float widthByPrint_ = 25.4f;
    float heightByPrint_ = 25.4f;
    std::unique_ptr<OptionViewSwitcher> switcher_;
    int resizeType_ = Percentage;
};

class BatchRenamePanel : public AccessoryFilePanel {
public:
    ZOV_CLASS(BatchRenamePanel, AccessoryFilePanel)

    static std::unique_ptr<BatchRenamePanel> openPanel(const std::string& name);
    static bool hasDescription(const std::string& name);

    // The chosen kind's tag, 0..8: 0 names kept; 1..4 the picture's own name with an index, a
    // sequence, a counter or the date and time; 5..8 the same with the custom name.
    int renameType() const;
    // The base-name field's text; the translated "Image" when it is empty.
    std::string customName() const;
    // The starting field's number.
    int startingIndex() const;
    // Enables the fields the chosen kind uses.
    void applyRenameType();

    QWidget* accessoryView() const { return accessoryView_; }
    QComboBox* popupButton() const { return popupButton_; }
    QLineEdit* customNameText() const { return customNameText_; }
    QLineEdit* startingAtText() const { return startingAtText_; }

private:
    BatchRenamePanel();
    bool loadNib(const std::string& name);

    QWidget* accessoryView_ = nullptr;
    QComboBox* popupButton_ = nullptr;
    QLineEdit* customNameText_ = nullptr;
    QLineEdit* startingAtText_ = nullptr;
};

// The number a text field shows: leading blanks, an optional sign, digits with at most one
// ".", read in the C locale up to the first other character; 0 when there is none.
double panelFieldNumber(const QString& text);

} // namespace vistel
