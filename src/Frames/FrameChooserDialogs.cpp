#include "Frames/FrameChooserDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "Common/Alert/TextFieldWithFilteredInput.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Frames/FrameDialogRun.h"
#include "Frames/XMLDocumentDL.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

QString chooserText(const std::string& text)
{
    return QString::fromStdString(text);
}

template<class Dialog>
typename Dialog::Responder& responderOf()
{
    static typename Dialog::Responder responder;
    return responder;
}

// OK and Cancel at the bottom of a dialog; OK ends it with 1, Cancel with 0.
QPushButton* addButtons(QDialog& dialog, QVBoxLayout& layout, const std::string& ok, const std::string& cancel)
{
    auto* buttons = new QDialogButtonBox;
    QPushButton* okButton = buttons->addButton(chooserText(ok), QDialogButtonBox::AcceptRole);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    QPushButton* cancelButton = buttons->addButton(chooserText(cancel), QDialogButtonBox::RejectRole);
    cancelButton->setObjectName("cancelButton");
    QObject::connect(okButton, &QPushButton::clicked, &dialog, [&dialog, okButton] {
        if (okButton->isEnabled())
            dialog.done(1);
    });
    QObject::connect(cancelButton, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(0); });
    layout.addWidget(buttons);
    return okButton;
}

} // namespace

// --- the frame chooser ---------------------------------------------------------------------------------

SelectPhotoFrameDialog::Responder SelectPhotoFrameDialog::setResponder(Responder responder)
{
    return std::exchange(responderOf<SelectPhotoFrameDialog>(), std::move(responder));
}

std::unique_ptr<SelectPhotoFrameDialog> SelectPhotoFrameDialog::selectPhotoFrameWithDefaultFrameID(
    std::optional<std::string> defaultFrameID)
{
    return std::unique_ptr<SelectPhotoFrameDialog>(new SelectPhotoFrameDialog(std::move(defaultFrameID)));
}

SelectPhotoFrameDialog::SelectPhotoFrameDialog(std::optional<std::string> defaultFrameID)
    : defaultFrameID_(std::move(defaultFrameID))
{
    const char* selector = "initWithDefaultFrameID:";
    setObjectName("SelectPhotoFrame");
    setWindowTitle(chooserText(ZOV_TRANSLATE("Select Picture Frame", selector)));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(chooserText(ZOV_TRANSLATE("Send the pictures to the picture frame:", selector))));
    table_ = new QTableWidget(0, 2);
    table_->setObjectName("photoFramesList");
    table_->setHorizontalHeaderLabels({chooserText(ZOV_TRANSLATE("Default", selector)), chooserText(ZOV_TRANSLATE("Picture Frame", selector))});
    table_->horizontalHeaderItem(0)->setData(Qt::UserRole, QStringLiteral("value"));
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers); // no text editing in place
    table_->setMinimumSize(320, 160);
    layout->addWidget(table_);
    okButton_ = addButtons(*this, *layout, ZOV_TRANSLATE("OK", selector), ZOV_TRANSLATE("Cancel", selector));

    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!reloading_ && item->column() == 0)
            setValue(item->checkState() == Qt::Checked, item->row());
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { updateOK(); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const std::vector<Ref<ZovVolumeInfo>> frames = photoFramesList();
        if (row >= 0 && std::size_t(row) < frames.size())
            setValue(defaultFrameID_ != frames[std::size_t(row)]->key(), row);
    });
    for (const char* name : {"MountMedia", "UnmountMedia"})
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification&) { reloadTable(); }, name);
    reloadTable();
    table_->selectRow(0);
    updateOK();
}

SelectPhotoFrameDialog::~SelectPhotoFrameDialog()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

std::vector<Ref<ZovVolumeInfo>> SelectPhotoFrameDialog::photoFramesList()
{
    std::vector<Ref<ZovVolumeInfo>> frames;
    for (const Ref<ZovDeviceInfo>& device : ZovVolumeManager::sharedVolumeManager().volumeInfos())
        if (auto volume = dynamicRefCast<ZovVolumeInfo>(device); volume && volume->isPictureFrame())
            frames.push_back(volume);
    return frames;
}

void SelectPhotoFrameDialog::reloadTable()
{
    const std::vector<Ref<ZovVolumeInfo>> frames = photoFramesList();
    const int selected = table_->currentRow();
    reloading_ = true;
    table_->setRowCount(static_cast<int>(frames.size()));
    for (std::size_t row = 0; row < frames.size(); ++row) {
        const bool isDefault = defaultFrameID_ == frames[row]->key();
        auto* box = new QTableWidgetItem;
        box->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        box->setCheckState(isDefault ? Qt::Checked : Qt::Unchecked);
        auto* name = new QTableWidgetItem(chooserText(frames[row]->displayName()));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        QFont font = table_->font();
        font.setBold(isDefault);
        name->setFont(font);
        table_->setItem(static_cast<int>(row), 0, box);
        table_->setItem(static_cast<int>(row), 1, name);
    }
    reloading_ = false;
    if (selected >= static_cast<int>(frames.size()))
        table_->clearSelection();
    updateOK();
}

void SelectPhotoFrameDialog::setValue(bool on, int row)
{
    const std::vector<Ref<ZovVolumeInfo>> frames = photoFramesList();
    if (on && row >= 0 && std::size_t(row) < frames.size())
        defaultFrameID_ = frames[std::size_t(row)]->key();
    else if (!on)
        defaultFrameID_.reset();
    reloadTable();
}

void SelectPhotoFrameDialog::updateOK()
{
    okButton_->setEnabled(selectedFrameID().has_value());
}

std::optional<std::string> SelectPhotoFrameDialog::selectedFrameID() const
{
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    if (ranges.isEmpty())
        return std::nullopt;
    const int row = ranges.front().topRow();
    const std::vector<Ref<ZovVolumeInfo>> frames = photoFramesList();
    if (row < 0 || std::size_t(row) >= frames.size())
        return std::nullopt;
    return frames[std::size_t(row)]->key();
}

bool SelectPhotoFrameDialog::isCurrentFrameSelected() const
{
    const std::optional<std::string> selected = selectedFrameID();
    return selected && selected == defaultFrameID_;
}

int SelectPhotoFrameDialog::run()
{
    Responder responder = responderOf<SelectPhotoFrameDialog>();
    return runFrameDialog(*this, responder ? std::function<void()>([&] { responder(*this); }) : nullptr);
}

// --- the new-frame dialog ----------------------------------------------------------------------------------

NewPictureFrameDialog::Responder NewPictureFrameDialog::setResponder(Responder responder)
{
    return std::exchange(responderOf<NewPictureFrameDialog>(), std::move(responder));
}

NewPictureFrameDialog::NewPictureFrameDialog()
{
    const char* selector = "initWithDocumentDL:";
    setObjectName("NewPictureFrame");
    setWindowTitle(chooserText(ZOV_TRANSLATE("New Picture Frame", selector)));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    frameName_ = new TextFieldWithFilteredInput;
    frameName_->setObjectName("frameName");
    sizeButton_ = new QComboBox;
    sizeButton_->setObjectName("pictureFrameSizeButton");
    resolutionButton_ = new QComboBox;
    resolutionButton_->setObjectName("resolutionButton");
    form->addRow(chooserText(ZOV_TRANSLATE("Name:", selector)), frameName_);
    form->addRow(chooserText(ZOV_TRANSLATE("Screen size:", selector)), sizeButton_);
    form->addRow(chooserText(ZOV_TRANSLATE("Resolution:", selector)), resolutionButton_);
    layout->addLayout(form);
    okButton_ = addButtons(*this, *layout, ZOV_TRANSLATE("OK", selector), ZOV_TRANSLATE("Cancel", selector));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

NewPictureFrameDialog::~NewPictureFrameDialog() = default;

std::unique_ptr<NewPictureFrameDialog> NewPictureFrameDialog::create(XMLDocumentDL* documentDL)
{
    std::unique_ptr<NewPictureFrameDialog> dialog(new NewPictureFrameDialog);
    dialog->documentDL_ = documentDL;
    dialog->frameName_->setText(chooserText(ZOV_TRANSLATE_CLASS("PhotoFrame1", "initWithDocumentDL:")));
    // Letters, digits, the blank and printable ASCII punctuation but "/" and "\".
    std::string allowed = " ";
    for (char c = 0x21; c <= 0x7e; ++c)
        if (c != '/' && c != '\\')
            allowed += c;
    dialog->frameName_->setFilterCharacterSet(CharacterSet::characterSetWithCharactersInString(allowed));
    dialog->frameName_->setMaxTextLength(11);
    if (documentDL)
        for (const std::string& size : documentDL->getDeviceSizesArray().value_or(std::vector<std::string> {}))
            dialog->sizeButton_->addItem(chooserText(vistel::format(ZOV_TRANSLATE_CLASS("%@ inches", "initWithDocumentDL:"), size)),
                                         chooserText(size));
    connect(dialog->sizeButton_, &QComboBox::activated, dialog.get(), [self = dialog.get()](int index) {
        self->loadResolutionsByFrameSize(self->sizeButton_->itemData(index).toString().toStdString());
    });
    if (dialog->sizeButton_->count() > 0) {
        dialog->loadResolutionsByFrameSize(dialog->sizeButton_->itemData(0).toString().toStdString());
        dialog->resolutionButton_->setCurrentIndex(0);
    }
    return dialog;
}

void NewPictureFrameDialog::loadResolutionsByFrameSize(const std::string& size)
{
    if (!documentDL_)
        return;
    resolutionButton_->clear();
    for (const ItemSize& resolution : documentDL_->getResolutionsForSize(size))
        resolutionButton_->addItem(chooserText(vistel::format("%d x %d", static_cast<int>(resolution.width),
                                                     static_cast<int>(resolution.height))),
                                   QSizeF(resolution.width, resolution.height));
}

std::string NewPictureFrameDialog::pictureFrameName() const
{
    return frameName_->text().toStdString();
}

void NewPictureFrameDialog::setPictureFrameName(const std::string& name)
{
    frameName_->setText(chooserText(name));
}

std::optional<std::string> NewPictureFrameDialog::getPictureFrameSize() const
{
    if (sizeButton_->currentIndex() < 0)
        return std::nullopt;
    return sizeButton_->currentData().toString().toStdString();
}

std::optional<ItemSize> NewPictureFrameDialog::getResolution() const
{
    if (resolutionButton_->currentIndex() < 0)
        return std::nullopt;
    const QSizeF size = resolutionButton_->currentData().toSizeF();
    return ItemSize {static_cast<float>(size.width()), static_cast<float>(size.height())};
}

int NewPictureFrameDialog::run()
{
    Responder responder = responderOf<NewPictureFrameDialog>();
    return runFrameDialog(*this, responder ? std::function<void()>([&] { responder(*this); }) : nullptr);
}

} // namespace vistel
