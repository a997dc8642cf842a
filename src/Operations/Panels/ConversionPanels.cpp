#include "Operations/Panels/ConversionPanels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "Common/Alert/FilteredInputFormatter.h"
#include "Platform/Gui/CharacterSet.h"
#include "Platform/Gui/Slider.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

AccessoryFilePanel::Responder& panelResponder()
{
    static AccessoryFilePanel::Responder responder;
    return responder;
}

QString qs(const std::string& text) { return QString::fromStdString(text); }

// The tag of a pop-up's chosen item (its item data), 0 when none is chosen.
int chosenTag(const QComboBox* popup) { return popup ? popup->currentData().toInt() : 0; }

void chooseTag(QComboBox* popup, int tag)
{
    const int index = popup->findData(tag);
    if (index >= 0)
        popup->setCurrentIndex(index);
}

struct TaggedTitle {
    const char* title;
    int tag;
};

// A pop-up of translated titles with their tags; `chosen` is the tag chosen at load.
template <class Translate>
QComboBox* makePopup(QWidget* parent, std::initializer_list<TaggedTitle> items, int chosen, Translate translate)
{
    auto* popup = new QComboBox(parent);
    for (const TaggedTitle& item : items)
        popup->addItem(qs(translate(item.title)), item.tag);
    chooseTag(popup, chosen);
    return popup;
}

// An option view: a form of labelled rows, hidden until shown.
QWidget* makeOptionView(QWidget* container, QFormLayout** form)
{
    auto* view = new QWidget(container);
    *form = new QFormLayout(view);
    (*form)->setContentsMargins(12, 6, 12, 6);
    (*form)->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    view->hide();
    return view;
}

QLineEdit* makeNumberField(QWidget* parent, const QString& text)
{
    auto* field = new QLineEdit(text, parent);
    field->setAlignment(Qt::AlignRight);
    field->setMaximumWidth(90);
    return field;
}

// How a print size is shown: "2.54", "1", "25.4".
QString shownMillimetres(float millimetres, float factor)
{
    const auto shown = static_cast<float>(double(millimetres) / double(factor));
    return QString::number(double(shown), 'g', 6);
}

// Whether a field holds a whole number above 0.
bool holdsPositiveInteger(const QLineEdit* field)
{
    return !field->text().isEmpty() && FilteredInputFormatter::intValue(field->text()) > 0;
}

bool holdsPositiveNumber(const QLineEdit* field)
{
    return !field->text().isEmpty() && panelFieldNumber(field->text()) > 0;
}

} // namespace

double panelFieldNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+))"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const double value = QLocale::c().toDouble(match.captured(1), &ok);
    return ok && std::isfinite(value) ? value : 0;
}

// --- the panel ------------------------------------------------------------------------------------------

AccessoryFilePanel::AccessoryFilePanel(Mode mode, QWidget* parent)
    : QDialog(parent)
    , mode_(mode)
{
    layout_ = new QVBoxLayout(this);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->hide();
    layout_->addWidget(message_);

    fileDialog_ = new QFileDialog(this);
    fileDialog_->setWindowFlags(Qt::Widget);
    fileDialog_->setOption(QFileDialog::DontUseNativeDialog, true);
    // A name already taken is asked about by the conversion itself, for the name it writes.
    fileDialog_->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (mode == Mode::ChooseFolder) {
        fileDialog_->setFileMode(QFileDialog::Directory);
        fileDialog_->setOption(QFileDialog::ShowDirsOnly, true);
        fileDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    } else {
        fileDialog_->setFileMode(QFileDialog::AnyFile);
        fileDialog_->setAcceptMode(QFileDialog::AcceptSave);
    }
    // The dialog's own buttons stand for the browser's.
    for (QDialogButtonBox* box : fileDialog_->findChildren<QDialogButtonBox*>())
        box->hide();
    QObject::connect(fileDialog_, &QDialog::accepted, this, [this] { acceptChoice(); });
    QObject::connect(fileDialog_, &QDialog::rejected, this, [this] { reject(); });
    layout_->addWidget(fileDialog_, 1);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton_ = buttons_->button(QDialogButtonBox::Ok);
    okButton_->setDefault(true);
    // The browser decides whether the choice stands (a folder that is not there does not).
    QObject::connect(okButton_, &QPushButton::clicked, this, [this] { static_cast<QDialog*>(fileDialog_)->accept(); });
    QObject::connect(buttons_, &QDialogButtonBox::rejected, this, [this] { reject(); });
    layout_->addWidget(buttons_);
}

AccessoryFilePanel::~AccessoryFilePanel() = default;

void AccessoryFilePanel::setTitle(const std::string& title) { setWindowTitle(qs(title)); }

void AccessoryFilePanel::setMessage(const std::string& message)
{
    message_->setText(qs(message));
    message_->setVisible(!message.empty());
}

void AccessoryFilePanel::setPrompt(const std::string& prompt) { okButton_->setText(qs(prompt)); }

void AccessoryFilePanel::setAccessoryView(QWidget* view)
{
    if (accessory_ && accessory_ != view) {
        layout_->removeWidget(accessory_);
        accessory_->hide();
    }
    if (view && view != accessory_)
        layout_->insertWidget(layout_->indexOf(buttons_), view);
    accessory_ = view;
    if (!view)
        return;
    view->show();
    layout_->activate();
    // A taller accessory makes the panel taller; it never shrinks the user's size.
    if (isVisible() && height() < minimumSizeHint().height())
        resize(width(), minimumSizeHint().height());
}

void AccessoryFilePanel::setAllowedFileType(const std::string& extension)
{
    allowedFileType_ = extension;
    fileDialog_->setDefaultSuffix(qs(extension));
    if (mode_ == Mode::SaveFile && !extension.empty())
        fileDialog_->setNameFilter(QStringLiteral("*.%1").arg(qs(extension)));
}

AccessoryFilePanel::Responder AccessoryFilePanel::setResponder(Responder responder)
{
    return std::exchange(panelResponder(), std::move(responder));
}

bool AccessoryFilePanel::runModal(const std::string& directory, const std::string& file)
{
    chosen_.clear();
    if (!directory.empty())
        fileDialog_->setDirectory(qs(directory));
    if (!file.empty())
        fileDialog_->selectFile(qs(file));
    setResult(QDialog::Rejected);
    if (Responder responder = panelResponder()) {
        responder(*this);
        return result() == QDialog::Accepted && !chosen_.empty();
    }
    return exec() == QDialog::Accepted && !chosen_.empty();
}

void AccessoryFilePanel::acceptChoice()
{
    if (!okButton_->isEnabled())
        return;
    chosen_.clear();
    for (const QString& path : fileDialog_->selectedFiles())
        chosen_.push_back(path.toStdString());
    if (mode_ == Mode::ChooseFolder && chosen_.size() > 1)
        chosen_.resize(1);
    if (chosen_.empty())
        return;
    accept();
}

// --- option views ------------------------------------------------------------------------------------------

OptionViewSwitcher::OptionViewSwitcher(QWidget* container)
    : container_(container)
{
}

void OptionViewSwitcher::rememberInitialHeight()
{
    if (QLayout* layout = container_->layout())
        layout->activate();
    initialHeight_ = container_->sizeHint().height();
}

void OptionViewSwitcher::show(QWidget* view)
{
    if (!view)
        return;
    auto* layout = static_cast<QBoxLayout*>(container_->layout());
    if (current_ && current_ != view) {
        layout->removeWidget(current_);
        current_->hide();
    }
    if (current_ != view)
        layout->addWidget(view);
    current_ = view;
    view->show();
    container_->setFixedHeight(initialHeight_ + view->sizeHint().height());
}

// --- the format accessory ------------------------------------------------------------------------------------

ConversionPanelAccessory::ConversionPanelAccessory(QObject* parent)
    : QObject(parent)
{
}

ConversionPanelAccessory::~ConversionPanelAccessory() = default;

bool ConversionPanelAccessory::hasDescription(const std::string& name)
{
    return name == "BatchConvertion" || name == "SaveImageAs";
}

bool ConversionPanelAccessory::loadNib(const std::string& name, AccessoryFilePanel* panel)
{
    ZovLog("ConversionPanelAccessory::loadNib:panel: " + name);
    if (!panel || !hasDescription(name))
        return false;
    const char* selector = "loadNib:panel:";
    auto tr = [&](const char* text) { return ZOV_TRANSLATE(text, selector); };

    accessoryView_ = new QWidget(panel);
    auto* layout = new QVBoxLayout(accessoryView_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* top = new QWidget(accessoryView_);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(12, 6, 12, 0);
    row->addStretch(1);
    row->addWidget(new QLabel(qs(tr("Format:")), top));
    popupButton_ = makePopup(top,
                             {{"JPEG", JPEG},
                              {"PNG", PNG},
                              {"GIF", GIF},
                              {"TIFF", TIFF},
                              {"PDF", PDF},
                              {"JPEG 2000", JPEG2000}},
                             JPEG, tr);
    row->addWidget(popupButton_);
    row->addStretch(1);
    layout->addWidget(top);

    auto qualitySlider = [&](QWidget* view, QFormLayout* form, double initial) {
        auto* slider = new Slider(Qt::Horizontal, view);
        slider->setNumberOfSteps(100);
        slider->setRange(0, 100);
        slider->setDoubleValue(initial);
        slider->setMinimumWidth(200);
        auto* line = new QWidget(view);
        auto* lineLayout = new QHBoxLayout(line);
        lineLayout->setContentsMargins(0, 0, 0, 0);
        lineLayout->addWidget(new QLabel(qs(tr("Least")), line));
        lineLayout->addWidget(slider, 1);
        lineLayout->addWidget(new QLabel(qs(tr("Best")), line));
        form->addRow(qs(tr("Quality:")), line);
        return slider;
    };
    QFormLayout* form = nullptr;
    jpegView_ = makeOptionView(accessoryView_, &form);
    jpegQuality_ = qualitySlider(jpegView_, form, 95);
    for (QWidget** view : {&pngView_, &gifView_}) {
        *view = makeOptionView(accessoryView_, &form);
        form->addRow(new QLabel(qs(tr("This format has no options.")), *view));
    }
    tiffView_ = makeOptionView(accessoryView_, &form);
    tiffCompression_ = makePopup(tiffView_, {{"None", 1}, {"LZW", 5}, {"PackBits", 32773}}, 1, tr);
    form->addRow(qs(tr("Compression:")), tiffCompression_);
    jpeg2000View_ = makeOptionView(accessoryView_, &form);
    jpeg2000Quality_ = qualitySlider(jpeg2000View_, form, 100);
    pdfView_ = makeOptionView(accessoryView_, &form);
    encryptButton_ = new QCheckBox(qs(tr("Encrypt with password")), pdfView_);
    form->addRow(encryptButton_);
    pdfPassword1_ = new QLineEdit(pdfView_);
    pdfPassword2_ = new QLineEdit(pdfView_);
    for (QLineEdit* field : {pdfPassword1_, pdfPassword2_}) {
        field->setEchoMode(QLineEdit::Password);
        field->setMaximumWidth(200);
        field->setEnabled(false);
        QObject::connect(field, &QLineEdit::textChanged, this, [this] { updateOkButton(); });
    }
    form->addRow(qs(tr("Password:")), pdfPassword1_);
    form->addRow(qs(tr("Verify:")), pdfPassword2_);
    QWidget::setTabOrder(pdfPassword1_, pdfPassword2_);

    panel_ = panel;
    switcher_ = std::make_unique<OptionViewSwitcher>(accessoryView_);
    switcher_->rememberInitialHeight();
    panel->setAccessoryView(accessoryView_);
    applyFormat(JPEG);

    QObject::connect(popupButton_, &QComboBox::currentIndexChanged, this, [this] { applyFormat(formatTag()); });
    QObject::connect(encryptButton_, &QCheckBox::toggled, this, [this](bool on) { selectEncryptOption(on); });
    return true;
}

QWidget* ConversionPanelAccessory::optionView(int tag) const
{
    switch (tag) {
    case JPEG: return jpegView_;
    case PNG: return pngView_;
    case GIF: return gifView_;
    case TIFF: return tiffView_;
    case PDF: return pdfView_;
    case JPEG2000: return jpeg2000View_;
    default: return nullptr;
    }
}

QWidget* ConversionPanelAccessory::currentOptionsView() const
{
    return switcher_ ? switcher_->currentOptionsView() : nullptr;
}

std::string ConversionPanelAccessory::utiForFormatTag(int tag)
{
    switch (tag) {
    case JPEG: return "public.jpeg";
    case PNG: return "public.png";
    case GIF: return "com.compuserve.gif";
    case TIFF: return "public.tiff";
    case PDF: return "com.adobe.pdf";
    case JPEG2000: return "public.jpeg-2000";
    default: return {};
    }
}

std::string ConversionPanelAccessory::extensionForFormatTag(int tag)
{
    switch (tag) {
    case JPEG: return "jpg";
    case PNG: return "png";
    case GIF: return "gif";
    case TIFF: return "tiff";
    case PDF: return "pdf";
    case JPEG2000: return "jp2";
    default: return {};
    }
}

void ConversionPanelAccessory::applyFormat(int tag)
{
    QWidget* view = optionView(tag);
    if (!view || !panel_)
        return;
    if (formatTag() != tag) {
        const QSignalBlocker blocker(popupButton_);
        chooseTag(popupButton_, tag);
    }
    panel_->setAllowedFileType(extensionForFormatTag(tag));
    switcher_->show(view);
    panel_->setAccessoryView(accessoryView_);
    updateOkButton();
}

int ConversionPanelAccessory::formatTag() const { return chosenTag(popupButton_); }

std::string ConversionPanelAccessory::formatString() const
{
    return popupButton_ ? popupButton_->currentText().toStdString() : std::string();
}

std::string ConversionPanelAccessory::formatUTI() const { return utiForFormatTag(formatTag()); }

float ConversionPanelAccessory::quality() const
{
    const Slider* slider = formatTag() == JPEG2000 ? jpeg2000Quality_ : jpegQuality_;
    return slider ? static_cast<float>(slider->doubleValue() / 100.0) : 1.0f;
}

unsigned ConversionPanelAccessory::tiffCompression() const
{
    const int tag = chosenTag(tiffCompression_);
    return tag == 5 || tag == 32773 ? static_cast<unsigned>(tag) : 1u;
}

bool ConversionPanelAccessory::encrypt() const { return encryptButton_ && encryptButton_->isChecked(); }

std::string ConversionPanelAccessory::password() const
{
    return pdfPassword1_ ? pdfPassword1_->text().toStdString() : std::string();
}

void ConversionPanelAccessory::selectEncryptOption(bool on)
{
    for (QLineEdit* field : {pdfPassword1_, pdfPassword2_}) {
        field->clear();
        field->setEnabled(on);
    }
    if (on)
        pdfPassword1_->setFocus();
    updateOkButton();
}

void ConversionPanelAccessory::updateOkButton()
{
    if (!panel_)
        return;
    // An encrypted PDF needs the same password typed twice.
    const bool passwordsAgree = !pdfPassword1_->text().isEmpty() && pdfPassword1_->text() == pdfPassword2_->text();
    panel_->okButton()->setEnabled(formatTag() != PDF || !encrypt() || passwordsAgree);
}

// --- conversion and Save As panels ----------------------------------------------------------------------------

BatchConvertionPanel::BatchConvertionPanel()
    : AccessoryFilePanel(Mode::ChooseFolder)
{
}

std::unique_ptr<BatchConvertionPanel> BatchConvertionPanel::openPanel(const std::string& name)
{
    if (!ConversionPanelAccessory::hasDescription(name))
        return nullptr;
    std::unique_ptr<BatchConvertionPanel> panel(new BatchConvertionPanel);
    const char* selector = "openPanel:";
    panel->setTitle(ZOV_TRANSLATE_CLASS("Choose Destination", selector));
    panel->setMessage(ZOV_TRANSLATE_CLASS("Choose destination location for converted files.", selector));
    panel->setPrompt(ZOV_TRANSLATE_CLASS("Convert", selector));
    panel->accessory_ = new ConversionPanelAccessory(panel.get());
    panel->accessory_->loadNib(name, panel.get());
    return panel;
}

SaveImageAsPanel::SaveImageAsPanel()
    : AccessoryFilePanel(Mode::SaveFile)
{
}

std::unique_ptr<SaveImageAsPanel> SaveImageAsPanel::savePanel(const std::string& name)
{
    if (!ConversionPanelAccessory::hasDescription(name))
        return nullptr;
    std::unique_ptr<SaveImageAsPanel> panel(new SaveImageAsPanel);
    const char* selector = "savePanel:";
    panel->setTitle(ZOV_TRANSLATE_CLASS("Save As", selector));
    panel->setMessage(ZOV_TRANSLATE_CLASS("Choose destination location for the file to save", selector));
    panel->setPrompt(ZOV_TRANSLATE_CLASS("Save", selector));
    panel->accessory_ = new ConversionPanelAccessory(panel.get());
    panel->accessory_->loadNib(name, panel.get());
    return panel;
}

// --- the resize panel -------------------------------------------------------------------------------------------

BatchResizePanel::BatchResizePanel()
    : AccessoryFilePanel(Mode::ChooseFolder)
{
}

bool BatchResizePanel::hasDescription(const std::string& name) { return name == "BatchResize"; }

std::unique_ptr<BatchResizePanel> BatchResizePanel::openPanel(const std::string& name)
{
    if (!hasDescription(name))
        return nullptr;
    std::unique_ptr<BatchResizePanel> panel(new BatchResizePanel);
    const char* selector = "openPanel:";
    panel->setTitle(ZOV_TRANSLATE_CLASS("Choose Destination", selector));
    panel->setMessage(ZOV_TRANSLATE_CLASS("Choose destination location for resized files.", selector));
    panel->setPrompt(ZOV_TRANSLATE_CLASS("Resize", selector));
    panel->loadNib(name);
    return panel;
}

bool BatchResizePanel::loadNib(const std::string& name)
{
    ZovLog("BatchResizePanel::loadNib: " + name);
    const char* selector = "loadNib:";
    auto tr = [&](const char* text) { return ZOV_TRANSLATE(text, selector); };

    accessoryView_ = new QWidget(this);
    auto* layout = new QVBoxLayout(accessoryView_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* top = new QWidget(accessoryView_);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(12, 6, 12, 0);
    row->addStretch(1);
    row->addWidget(new QLabel(qs(tr("Resize:")), top));
    popupButton_ = makePopup(top, {{"By Percentage", Percentage}, {"By Pixels", Pixels}, {"By Print Size", PrintSize}},
                             Percentage, tr);
    row->addWidget(popupButton_);
    row->addStretch(1);
    layout->addWidget(top);

    auto fitPopup = [&](QWidget* view) {
        return makePopup(view, {{"Fit Width", 1}, {"Fit Height", 2}, {"Fit Inside", 3}, {"Fill", 4}}, 3, tr);
    };
    auto sizeLine = [&](QWidget* view, QLineEdit* width, QLineEdit* height, QWidget* unit) {
        auto* line = new QWidget(view);
        auto* lineLayout = new QHBoxLayout(line);
        lineLayout->setContentsMargins(0, 0, 0, 0);
        lineLayout->addWidget(width);
        lineLayout->addWidget(new QLabel(QStringLiteral("×"), line));
        lineLayout->addWidget(height);
        lineLayout->addWidget(unit);
        lineLayout->addStretch(1);
        return line;
    };

    QFormLayout* form = nullptr;
    percentageView_ = makeOptionView(accessoryView_, &form);
    percentageStepper_ = new QSpinBox(percentageView_);
    percentageStepper_->setRange(1, 1000);
    percentageStepper_->setValue(50);
    percentageText_ = new QLabel(percentageView_);
    auto* percentLine = new QWidget(percentageView_);
    auto* percentLayout = new QHBoxLayout(percentLine);
    percentLayout->setContentsMargins(0, 0, 0, 0);
    percentLayout->addWidget(percentageStepper_);
    percentLayout->addWidget(percentageText_);
    percentLayout->addStretch(1);
    form->addRow(qs(tr("Scale:")), percentLine);
    applyPercentageBy_ = makePopup(percentageView_, {{"Width and Height", 3}, {"Width", 1}, {"Height", 2}}, 3, tr);
    form->addRow(qs(tr("Apply to:")), applyPercentageBy_);

    pixelsView_ = makeOptionView(accessoryView_, &form);
    widthByPixels_ = makeNumberField(pixelsView_, QStringLiteral("800"));
    heightByPixels_ = makeNumberField(pixelsView_, QStringLiteral("600"));
    form->addRow(qs(tr("Size:")), sizeLine(pixelsView_, widthByPixels_, heightByPixels_,
                                           new QLabel(qs(tr("pixels")), pixelsView_)));
    preserveByPixels_ = new QCheckBox(qs(tr("Keep proportions")), pixelsView_);
    preserveByPixels_->setChecked(true);
    fitByPixels_ = fitPopup(pixelsView_);
    form->addRow(preserveByPixels_, fitByPixels_);
    directions_ = makePopup(pixelsView_, {{"Enlarge or Reduce", 0}, {"Only Enlarge", 1}, {"Only Reduce", 2}}, 2, tr);
    form->addRow(qs(tr("Change:")), directions_);

    printSizeView_ = makeOptionView(accessoryView_, &form);
    widthByPrintText_ = makeNumberField(printSizeView_, {});
    heightByPrintText_ = makeNumberField(printSizeView_, {});
    units_ = makePopup(printSizeView_, {{"inches", Inches}, {"centimetres", Centimetres}, {"millimetres", Millimetres}},
                       Inches, tr);
    form->addRow(qs(tr("Size:")), sizeLine(printSizeView_, widthByPrintText_, heightByPrintText_, units_));
    resolution_ = new QComboBox(printSizeView_);
    for (const char* ppi : {"72", "96", "150", "200", "300", "600"})
        resolution_->addItem(QString::fromLatin1(ppi));
    resolution_->setCurrentText(QStringLiteral("300"));
    auto* resolutionLine = new QWidget(printSizeView_);
    auto* resolutionLayout = new QHBoxLayout(resolutionLine);
    resolutionLayout->setContentsMargins(0, 0, 0, 0);
    resolutionLayout->addWidget(resolution_);
    resolutionLayout->addWidget(new QLabel(qs(tr("pixels/inch")), resolutionLine));
    resolutionLayout->addStretch(1);
    form->addRow(qs(tr("Resolution:")), resolutionLine);
    preserveByPrint_ = new QCheckBox(qs(tr("Keep proportions")), printSizeView_);
    preserveByPrint_->setChecked(true);
    fitByPrint_ = fitPopup(printSizeView_);
    form->addRow(preserveByPrint_, fitByPrint_);

    switcher_ = std::make_unique<OptionViewSwitcher>(accessoryView_);
    switcher_->rememberInitialHeight();
    setAccessoryView(accessoryView_);
    applyResizeType(Percentage);
    auto showPercentage = [this] { percentageText_->setText(QStringLiteral("%1 %").arg(percentageStepper_->value())); };
    showPercentage();
    widthByPrint_ = heightByPrint_ = 25.4f;
    applySizeByPrint();

    QObject::connect(popupButton_, &QComboBox::currentIndexChanged, this,
                     [this] { applyResizeType(chosenTag(popupButton_)); });
    QObject::connect(percentageStepper_, &QSpinBox::valueChanged, this, showPercentage);
    QObject::connect(units_, &QComboBox::currentIndexChanged, this, [this] { applySizeByPrint(); });
    QObject::connect(preserveByPixels_, &QCheckBox::toggled, fitByPixels_, &QWidget::setEnabled);
    QObject::connect(preserveByPrint_, &QCheckBox::toggled, fitByPrint_, &QWidget::setEnabled);
    for (QLineEdit* field : {widthByPixels_, heightByPixels_})
        QObject::connect(field, &QLineEdit::textChanged, this, [this] { updateOkButton(); });
    for (QLineEdit* field : {widthByPrintText_, heightByPrintText_}) {
        QObject::connect(field, &QLineEdit::textEdited, this,
                         [this, field](const QString& text) { sizeTextDidChange(field, text); });
        QObject::connect(field, &QLineEdit::editingFinished, this, [this] { applySizeByPrint(); });
    }
    return true;
}

QWidget* BatchResizePanel::optionView(int type) const
{
    switch (type) {
    case Percentage: return percentageView_;
    case Pixels: return pixelsView_;
    case PrintSize: return printSizeView_;
    default: return nullptr;
    }
}

void BatchResizePanel::applyResizeType(int type)
{
    resizeType_ = type;
    QWidget* view = optionView(type);
    if (!view)
        return;
    if (chosenTag(popupButton_) != type) {
        const QSignalBlocker blocker(popupButton_);
        chooseTag(popupButton_, type);
    }
    switcher_->show(view);
    setAccessoryView(accessoryView_);
    updateOkButton();
}

void BatchResizePanel::applySizeByPrint(QLineEdit* except)
{
    const float factor = unitsFactor();
    if (widthByPrintText_ != except)
        widthByPrintText_->setText(shownMillimetres(widthByPrint_, factor));
    if (heightByPrintText_ != except)
        heightByPrintText_->setText(shownMillimetres(heightByPrint_, factor));
    updateOkButton();
}

void BatchResizePanel::sizeTextDidChange(QLineEdit* field, const QString& text)
{
    const double value = panelFieldNumber(text);
    if (!text.isEmpty() && value > 0) {
        const auto millimetres = static_cast<float>(value * double(unitsFactor()));
        (field == widthByPrintText_ ? widthByPrint_ : heightByPrint_) = millimetres;
        // The field being typed in keeps the text as typed; the other shows the stored value.
        applySizeByPrint(field);
        return;
    }
    updateOkButton();
}

void BatchResizePanel::updateOkButton()
{
    bool usable = true;
    if (resizeType_ == Pixels)
        usable = holdsPositiveInteger(widthByPixels_) && holdsPositiveInteger(heightByPixels_);
    else if (resizeType_ == PrintSize)
        usable = holdsPositiveNumber(widthByPrintText_) && holdsPositiveNumber(heightByPrintText_);
    okButton()->setEnabled(usable);
}

float BatchResizePanel::percentage() const { return static_cast<float>(percentageStepper_->value()); }
int BatchResizePanel::applyPercentageBy() const { return chosenTag(applyPercentageBy_); }
int BatchResizePanel::units() const { return chosenTag(units_); }

float BatchResizePanel::unitsFactor() const
{
    switch (units()) {
    case Centimetres: return 10.0f;
    case Millimetres: return 1.0f;
    default: return 25.4f;
    }
}

int BatchResizePanel::fitForByPixelsType() const { return chosenTag(fitByPixels_); }
bool BatchResizePanel::preserveAspectRatioForByPixelsType() const { return preserveByPixels_->isChecked(); }

std::pair<float, float> BatchResizePanel::pixelsSize() const
{
    return {static_cast<float>(panelFieldNumber(widthByPixels_->text())),
            static_cast<float>(panelFieldNumber(heightByPixels_->text()))};
}

int BatchResizePanel::fitForByPrintType() const { return chosenTag(fitByPrint_); }
bool BatchResizePanel::preserveAspectRatioForByPrintType() const { return preserveByPrint_->isChecked(); }
int BatchResizePanel::resizeDirections() const { return chosenTag(directions_); }
int BatchResizePanel::resolution() const { return FilteredInputFormatter::intValue(resolution_->currentText()); }

// --- the rename panel -------------------------------------------------------------------------------------------

BatchRenamePanel::BatchRenamePanel()
    : AccessoryFilePanel(Mode::ChooseFolder)
{
}

bool BatchRenamePanel::hasDescription(const std::string& name) { return name == "BatchRename"; }

std::unique_ptr<BatchRenamePanel> BatchRenamePanel::openPanel(const std::string& name)
{
    if (!hasDescription(name))
        return nullptr;
    std::unique_ptr<BatchRenamePanel> panel(new BatchRenamePanel);
    const char* selector = "openPanel:";
    panel->setTitle(ZOV_TRANSLATE_CLASS("Choose Destination", selector));
    panel->setMessage(ZOV_TRANSLATE_CLASS("Choose destination location for renamed files.", selector));
    panel->setPrompt(ZOV_TRANSLATE_CLASS("Rename", selector));
    panel->loadNib(name);
    return panel;
}

bool BatchRenamePanel::loadNib(const std::string& name)
{
    ZovLog("BatchRenamePanel::loadNib: " + name);
    const char* selector = "loadNib:";
    auto tr = [&](const char* text) { return ZOV_TRANSLATE(text, selector); };

    accessoryView_ = new QWidget(this);
    auto* form = new QFormLayout(accessoryView_);
    form->setContentsMargins(12, 6, 12, 6);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    popupButton_ = makePopup(accessoryView_,
                             {{"Keep Original Names", 0},
                              {"Original Name with Index", 1},
                              {"Original Name with Sequence", 2},
                              {"Original Name with Counter", 3},
                              {"Original Name with Date and Time", 4},
                              {"Custom Name with Index", 5},
                              {"Custom Name with Sequence", 6},
                              {"Custom Name with Counter", 7},
                              {"Custom Name with Date and Time", 8}},
                             5, tr);
    form->addRow(qs(tr("Name:")), popupButton_);
    customNameText_ = new QLineEdit(accessoryView_);
    customNameText_->setMaximumWidth(240);
    form->addRow(qs(tr("Custom name:")), customNameText_);
    startingAtText_ = new QLineEdit(accessoryView_);
    startingAtText_->setMaximumWidth(90);
    startingAtText_->setAlignment(Qt::AlignRight);
    form->addRow(qs(tr("Starting at:")), startingAtText_);

    setAccessoryView(accessoryView_);
    setAccessoryView(nullptr);
    setAccessoryView(accessoryView_);
    startingAtText_->setValidator(new FilteredInputFormatter(CharacterSet::decimalDigitCharacterSet(), 9, 0,
                                                             startingAtText_));
    startingAtText_->setText(QStringLiteral("1"));
    customNameText_->setText(qs(tr("Image")));
    applyRenameType();
    QObject::connect(popupButton_, &QComboBox::currentIndexChanged, this, [this] { applyRenameType(); });
    return true;
}

int BatchRenamePanel::renameType() const { return chosenTag(popupButton_); }

std::string BatchRenamePanel::customName() const
{
    const std::string name = customNameText_->text().toStdString();
    return name.empty() ? ZOV_TRANSLATE("Image", "customName") : name;
}

int BatchRenamePanel::startingIndex() const { return FilteredInputFormatter::intValue(startingAtText_->text()); }

void BatchRenamePanel::applyRenameType()
{
    const int type = renameType();
    if (type < 1 || type > 8)
        return; // the fields stay as they are
    customNameText_->setEnabled(type >= 5);
    startingAtText_->setEnabled(type == 3 || type == 7);
}

} // namespace vistel
