#include "Frames/ConfigurePhotoFrameDialog.h"

#include <sys/stat.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Volumes/ZovDeviceInfo.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Frames/FrameDialogRun.h"
#include "Frames/FrameNumberFormatters.h"
#include "Frames/XMLDocumentDL.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

ConfigurePhotoFrameDialog::Responder& dialogResponder()
{
    static ConfigurePhotoFrameDialog::Responder responder;
    return responder;
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Whether the device is still there: the volume manager knows it and, for a mounted volume, its
// file system is still the one at its mount point (a stick pulled a moment ago leaves the bare
// folder, which must not get an identity file).
bool isStillAttached(FileSystemVolumeMO* volume)
{
    Ref<ZovDeviceInfo> device = volume->getDeviceInfo();
    if (!device)
        return false;
    auto mounted = dynamicRefCast<ZovVolumeInfo>(device);
    if (!mounted)
        return true;
    struct stat st {};
    return ::stat(mounted->mountPoint().c_str(), &st) == 0 && st.st_dev == mounted->mount().device;
}

Ref<FileSystemVolumeMO> volumeWithUUID(const std::string& uuid)
{
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    return database ? dynamicRefCast<FileSystemVolumeMO>(database->objectExistingForUUID(uuid)) : nullptr;
}

} // namespace

ConfigurePhotoFrameDialog::Responder ConfigurePhotoFrameDialog::setResponder(Responder responder)
{
    return std::exchange(dialogResponder(), std::move(responder));
}

std::string ConfigurePhotoFrameDialog::translated(const char* text, const char* selector) const
{
    return ZOV_TRANSLATE(text, selector);
}

ConfigurePhotoFrameDialog::ConfigurePhotoFrameDialog(bool chooseVolume)
{
    buildInterface(chooseVolume);
}

ConfigurePhotoFrameDialog::~ConfigurePhotoFrameDialog() = default;

// The two forms: "NewPhotoFrame" has the volume pop-up above the same fields.
void ConfigurePhotoFrameDialog::buildInterface(bool chooseVolume)
{
    const char* selector = "initWithVolume:browsingSelection:";
    setObjectName(chooseVolume ? "NewPhotoFrame" : "ConfigurePhotoFrame");
    setWindowTitle(qs(translated(chooseVolume ? "New Picture Frame" : "Configure Picture Frame", selector)));
    setModal(true);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(2, 1);
    int row = 0;
    auto label = [&](const char* text) {
        auto* caption = new QLabel(qs(translated(text, selector)));
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(caption, row, 0);
    };
    if (chooseVolume) {
        label("Volume:");
        volumeName_ = new QComboBox;
        volumeName_->setObjectName("volumeName");
        grid->addWidget(volumeName_, row++, 1, 1, 4);
        connect(volumeName_, &QComboBox::activated, this, [this](int index) { volumeSelected(index); });
    }
    label("Frame name:");
    dispalyName_ = new QLineEdit;
    dispalyName_->setObjectName("dispalyName");
    grid->addWidget(dispalyName_, row++, 1, 1, 4);

    label("Screen size:");
    diagonalSize_ = new QLineEdit;
    diagonalSize_->setObjectName("diagonalSize");
    diagonalSize_->setMaximumWidth(70);
    grid->addWidget(diagonalSize_, row, 1);
    grid->addWidget(new QLabel(qs(translated("inches", selector))), row++, 2, 1, 3);

    label("Resolution:");
    options_ = new QButtonGroup(this);
    options_->setExclusive(true);
    auto option = [&](const char* text, const char* name) {
        auto* radio = new QRadioButton(qs(translated(text, selector)));
        radio->setObjectName(name);
        options_->addButton(radio);
        return radio;
    };
    optionRecommended_ = option("Recommended", "optionRecommended");
    preferredSize_ = new QLineEdit;
    preferredSize_->setObjectName("preferredSize");
    preferredSize_->setReadOnly(true);
    preferredSize_->setFocusPolicy(Qt::NoFocus);
    grid->addWidget(optionRecommended_, row, 1);
    grid->addWidget(preferredSize_, row++, 2, 1, 3);

    optionPresets_ = option("Other", "optionPresets");
    presetsList_ = new QComboBox;
    presetsList_->setObjectName("presetsList");
    grid->addWidget(optionPresets_, row, 1);
    grid->addWidget(presetsList_, row++, 2, 1, 3);

    optionCustom_ = option("Custom", "optionCustom");
    customSize1_ = new QLineEdit;
    customSize1_->setObjectName("customSize1");
    customSize2_ = new QLineEdit;
    customSize2_->setObjectName("customSize2");
    for (QLineEdit* side : {customSize1_, customSize2_})
        side->setMaximumWidth(70);
    xText_ = new QLabel("x");
    xText_->setObjectName("xText");
    grid->addWidget(optionCustom_, row, 1);
    auto* custom = new QHBoxLayout;
    custom->addWidget(customSize1_);
    custom->addWidget(xText_);
    custom->addWidget(customSize2_);
    custom->addWidget(new QLabel(qs(translated("pixels", selector))));
    custom->addStretch(1);
    grid->addLayout(custom, row++, 2, 1, 3);
    // Before the list computes an option, the one that always works.
    optionCustom_->setChecked(true);

    connect(optionRecommended_, &QRadioButton::clicked, this, [this] { selectOptionRecommended(); });
    connect(optionPresets_, &QRadioButton::clicked, this, [this] { selectOptionPreset(); });
    connect(optionCustom_, &QRadioButton::clicked, this, [this] { selectOptionCustom(); });

    auto* buttons = new QDialogButtonBox;
    okButton_ = buttons->addButton(qs(translated("OK", selector)), QDialogButtonBox::AcceptRole);
    okButton_->setObjectName("okButton");
    okButton_->setDefault(true);
    okButton_->setAutoDefault(true);
    cancelButton_ = buttons->addButton(qs(translated("Cancel", selector)), QDialogButtonBox::RejectRole);
    cancelButton_->setAutoDefault(false);
    connect(okButton_, &QPushButton::clicked, this, [this] { apply(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::unique_ptr<ConfigurePhotoFrameDialog> ConfigurePhotoFrameDialog::create(FileSystemVolumeMO* volume,
                                                                             const PhotoFrameFolderSelection* selection)
{
    const char* selector = "initWithVolume:browsingSelection:";
    if (volume && !volume->isWritable()) {
        Alert alert;
        alert.setMessageText(vistel::format(ZOV_TRANSLATE_CLASS("Volume %@ is read only.", selector), volume->displayName()));
        alert.setInformativeText(ZOV_TRANSLATE_CLASS("Read only volume can not be a Picture Frame.", selector));
        alert.addButtonWithTitle(ZOV_TRANSLATE_CLASS("OK", selector))->setKeyEquivalent(AlertReturnKey);
        alert.runModal();
        return nullptr;
    }
    std::unique_ptr<ConfigurePhotoFrameDialog> dialog(new ConfigurePhotoFrameDialog(volume == nullptr));
    dialog->selectOptionRecommended();
    XMLDocumentDL* list = XMLDocumentDL::defaultDocumentDL();
    const std::optional<std::string> defaultSize = list ? list->defaultFrameSize() : std::nullopt;
    dialog->diagonalSize_->setText(qs(defaultSize.value_or("10")));
    if (!volume) {
        MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
        std::optional<int> selected;
        if (database) {
            for (const Ref<FileSystemItemMO>& item : database->volumes()) {
                auto* candidate = dynamic_cast<FileSystemVolumeMO*>(item.get());
                Ref<ZovDeviceInfo> device = candidate ? candidate->getDeviceInfo() : nullptr;
                if (!device || device->type() != DeviceType::USB || !device->isWritable() || candidate->isDPFDevice()
                    || !candidate->uuid())
                    continue;
                dialog->volumeName_->addItem(qs(candidate->volumeName()), qs(*candidate->uuid()));
                if (selection && selection->isFolderSelected(candidate))
                    selected = dialog->volumeName_->count() - 1;
            }
        }
        if (selected)
            dialog->volumeName_->setCurrentIndex(*selected);
        dialog->applySelectedVolume();
        dialog->applySelectedPhotoFrameDiaglonalSize();
    } else {
        dialog->setCurrentVolume(volume->uuid());
        dialog->diagonalSize_->setText(qs(volume->pictureFrameSize()));
        dialog->dispalyName_->setText(qs(volume->volumeName()));
        dialog->applySelectedPhotoFrameDiaglonalSize();
        const ItemSize stored = volume->pictureFrameResolution();
        const QString text = resolutionToString(stored);
        if (dialog->optionRecommended_->isEnabled() && text == dialog->preferredSize_->text()) {
            dialog->chooseOption(dialog->optionRecommended_);
        } else if (const int preset = dialog->presetsList_->findText(text); preset >= 0) {
            dialog->chooseOption(dialog->optionPresets_);
            dialog->presetsList_->setCurrentIndex(preset);
        } else {
            dialog->chooseOption(dialog->optionCustom_);
            dialog->customSize1_->setText(QString::number(static_cast<int>(stored.width)));
            dialog->customSize2_->setText(QString::number(static_cast<int>(stored.height)));
        }
        dialog->checkOKButtonState();
    }
    ConfigurePhotoFrameDialog* self = dialog.get();
    connect(self->diagonalSize_, &QLineEdit::textEdited, self, [self] {
        if (self->observing_)
            self->applySelectedPhotoFrameDiaglonalSize();
    });
    for (QLineEdit* field : {self->customSize1_, self->customSize2_, self->dispalyName_})
        connect(field, &QLineEdit::textEdited, self, [self] {
            if (self->observing_)
                self->checkOKButtonState();
        });
    self->observing_ = true;
    self->diagonalFormatter_ = new FrameDiagonalSizeFormatter(self);
    self->diagonalSize_->setValidator(self->diagonalFormatter_);
    self->resolutionFormatter_ = new FrameResolutionFormatter(self);
    self->customSize1_->setValidator(self->resolutionFormatter_);
    self->customSize2_->setValidator(self->resolutionFormatter_);
    return dialog;
}

// --- values --------------------------------------------------------------------------------------------

std::string ConfigurePhotoFrameDialog::pictureFrameSize() const
{
    return diagonalSize_->text().toStdString();
}

std::string ConfigurePhotoFrameDialog::pictureFrameName() const
{
    return dispalyName_->text().toStdString();
}

QString ConfigurePhotoFrameDialog::resolutionToString(ItemSize size)
{
    return QString::fromStdString(
        vistel::format("%d x %d", static_cast<int>(size.width), static_cast<int>(size.height)));
}

ItemSize ConfigurePhotoFrameDialog::stringToResoltion(const QString& text)
{
    const qsizetype separator = text.indexOf(QStringLiteral(" x "));
    if (separator < 0)
        return {};
    auto side = [](const QString& part) {
        bool ok = false;
        const int value = part.trimmed().section(QChar(u' '), 0, 0).toInt(&ok);
        return ok ? static_cast<float>(value) : 0.0f;
    };
    return {side(text.left(separator)), side(text.mid(separator + 3))};
}

ItemSize ConfigurePhotoFrameDialog::resolution() const
{
    if (optionRecommended_->isChecked())
        return stringToResoltion(preferredSize_->text());
    if (optionPresets_->isChecked())
        return stringToResoltion(presetsList_->currentText());
    if (optionCustom_->isChecked())
        return {static_cast<float>(customSize1_->text().toInt()), static_cast<float>(customSize2_->text().toInt())};
    return {777, 777};
}

// --- options -------------------------------------------------------------------------------------------

void ConfigurePhotoFrameDialog::selectOptionRecommended()
{
    preferredSize_->setEnabled(true);
    presetsList_->setEnabled(false);
    for (QWidget* control : std::initializer_list<QWidget*> {customSize1_, customSize2_, xText_})
        control->setEnabled(false);
    checkOKButtonState();
}

void ConfigurePhotoFrameDialog::selectOptionPreset()
{
    preferredSize_->setEnabled(false);
    presetsList_->setEnabled(true);
    for (QWidget* control : std::initializer_list<QWidget*> {customSize1_, customSize2_, xText_})
        control->setEnabled(false);
    checkOKButtonState();
}

void ConfigurePhotoFrameDialog::selectOptionCustom()
{
    preferredSize_->setEnabled(false);
    presetsList_->setEnabled(false);
    for (QWidget* control : std::initializer_list<QWidget*> {customSize1_, customSize2_, xText_})
        control->setEnabled(true);
    checkOKButtonState();
}

void ConfigurePhotoFrameDialog::chooseOption(QRadioButton* option)
{
    option->setChecked(true);
    if (option == optionRecommended_)
        selectOptionRecommended();
    else if (option == optionPresets_)
        selectOptionPreset();
    else
        selectOptionCustom();
}

// --- volume and diagonal --------------------------------------------------------------------------------

void ConfigurePhotoFrameDialog::setCurrentVolume(const std::optional<std::string>& uuid)
{
    currentVolumeUUID_ = uuid;
}

void ConfigurePhotoFrameDialog::volumeSelected(int index)
{
    if (!volumeName_ || index < 0 || index >= volumeName_->count())
        return;
    const std::string uuid = volumeName_->itemData(index).toString().toStdString();
    if (Ref<FileSystemVolumeMO> volume = volumeWithUUID(uuid); volume && !volume->isDPFDevice())
        dispalyName_->setText(qs(volume->volumeName()));
    setCurrentVolume(uuid);
    checkOKButtonState();
}

void ConfigurePhotoFrameDialog::applySelectedVolume()
{
    if (volumeName_)
        volumeSelected(volumeName_->currentIndex());
}

void ConfigurePhotoFrameDialog::applySelectedPhotoFrameDiaglonalSize()
{
    XMLDocumentDL* list = XMLDocumentDL::defaultDocumentDL();
    if (!list) {
        checkOKButtonState();
        return;
    }
    presetsList_->clear();
    const std::vector<ItemSize> resolutions = list->matchResolutionsForSize(pictureFrameSize());
    for (const ItemSize& size : resolutions)
        presetsList_->addItem(resolutionToString(size));
    const bool any = !resolutions.empty();
    optionRecommended_->setEnabled(any);
    optionPresets_->setEnabled(any);
    if (any) {
        chooseOption(optionRecommended_);
        customSize1_->setText(QString::number(static_cast<int>(resolutions.front().width)));
        customSize2_->setText(QString::number(static_cast<int>(resolutions.front().height)));
        preferredSize_->setText(resolutionToString(resolutions.front()));
    } else {
        chooseOption(optionCustom_);
        customSize1_->clear();
        customSize2_->clear();
        preferredSize_->clear();
    }
    checkOKButtonState();
}

void ConfigurePhotoFrameDialog::checkOKButtonState()
{
    bool enabled = !diagonalSize_->text().isEmpty() && !dispalyName_->text().isEmpty()
                   && (!optionCustom_->isChecked() || (customSize1_->text().toInt() > 0 && customSize2_->text().toInt() > 0));
    // The new-frame form needs a volume to set up.
    if (volumeName_)
        enabled = enabled && volumeName_->currentIndex() >= 0 && currentVolumeUUID_;
    okButton_->setEnabled(enabled);
}

// --- running -------------------------------------------------------------------------------------------

void ConfigurePhotoFrameDialog::apply()
{
    if (!okButton_->isEnabled())
        return;
    const ItemSize size = resolution();
    auto supported = [](float side) { return side >= 16 && side <= 9999; };
    if (supported(size.width) && supported(size.height)) {
        done(1);
        return;
    }
    hide();
    Alert alert;
    alert.setMessageText(vistel::format(translated("Frame resolution %d ⅹ %d is not supported.", "apply:"),
                                        static_cast<int>(size.width), static_cast<int>(size.height)));
    alert.setInformativeText(translated("Please specify a numeric value between 16 and 9999 for each dimension.", "apply:"));
    alert.addButtonWithTitle(translated("OK", "apply:"));
    alert.runModal();
    show();
}

void ConfigurePhotoFrameDialog::cancel()
{
    done(0);
}

int ConfigurePhotoFrameDialog::run()
{
    Responder responder = dialogResponder();
    const int code = runFrameDialog(*this, responder ? std::function<void()>([&] { responder(*this); }) : nullptr);
    observing_ = false;
    configuredVolume_ = nullptr;
    if (code == 0 || !currentVolumeUUID_)
        return 0;
    Ref<FileSystemVolumeMO> volume = volumeWithUUID(*currentVolumeUUID_);
    if (!volume)
        return 0;
    if (!isStillAttached(volume.get())) {
        showNoDeviceAvailable(volume.get());
        return 0;
    }
    writeSettings(volume.get());
    return configuredVolume_ ? 1 : 0;
}

void ConfigurePhotoFrameDialog::writeSettings(FileSystemVolumeMO* volume)
{
    volume->setDeviceHandledByUser(true);
    volume->setPictureFrameSize(pictureFrameSize());
    volume->setPictureFrameResolution(resolution());
    volume->setDeviceCategory(ZovDeviceInfo::pictureFrameCategory());
    volume->setVolumeName(pictureFrameName());
    configuredVolume_ = Ref<FileSystemVolumeMO>(volume);
    if (MediaDatabase* database = MediaDatabase::defaultMediaDatabase()) {
        database->handleMountedMedia(volume, false);
        database->handleMountedMedia(volume, true);
    }
}

void ConfigurePhotoFrameDialog::showNoDeviceAvailable(FileSystemVolumeMO* volume)
{
    const char* selector = "showNoDeviceAvailable:";
    Alert alert;
    alert.setMessageText(vistel::format(ZOV_TRANSLATE_CLASS("USB Volume \"%@\" no longer available.", selector),
                                        volume ? volume->volumeName() : std::string()));
    alert.setInformativeText(ZOV_TRANSLATE_CLASS("Try to mount the device and repeat again or use another device.", selector));
    alert.addButtonWithTitle(ZOV_TRANSLATE_CLASS("OK", selector));
    alert.runModal();
}

} // namespace vistel
