#include "Application/BrowseMode/MediaItemPropertiesPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSizeF>

#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/ZovDeviceInfo.h"
#include "Common/XML/XMLNodeEnumerator.h"
#include "Frames/XMLDocumentDL.h"
#include "Platform/Formatter.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// In points, like the row metrics.
constexpr int Margin = 4;
constexpr int RowGap = 6;
constexpr int PopupHeight = 18;

QString resolutionTitle(ItemSize size)
{
    return QString::fromStdString(vistel::format("%d x %d", int(size.width), int(size.height)));
}

ItemSize resolutionAt(const QComboBox* popup, int index)
{
    const QSizeF size = popup->itemData(index).toSizeF();
    return {float(size.width()), float(size.height())};
}

} // namespace

MediaItemPropertiesPanel* MediaItemPropertiesPanel::mediaItemPropertiesPanel() { return new MediaItemPropertiesPanel; }

MediaItemPropertiesPanel::MediaItemPropertiesPanel()
{
    setGeometry(0, 0, 100, 100);
}

void MediaItemPropertiesPanel::setSelectedFolders(const ItemList& folders)
{
    if (&folders == &selectedFolders_)
        return;
    selectedFolders_ = folders;
    applySelectedFolders();
}

void MediaItemPropertiesPanel::applySelectedFolders()
{
    if (selectedFolders_.size() > 1)
        return;
    clearSubviews();
    if (selectedFolders_.size() == 1 && selectedFolders_.front())
        applyOneFolderItem(selectedFolders_.front().get());
}

void MediaItemPropertiesPanel::clearSubviews()
{
    sizesButton_ = nullptr;
    resolutionsButton_ = nullptr;
    deviceTypeButton_ = nullptr;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        child->hide();
        child->deleteLater();
        child->setParent(nullptr);
    }
}

int MediaItemPropertiesPanel::pixels(int points) const { return qRound(points * logicalDpiY() / 72.0); }

QRect MediaItemPropertiesPanel::rowRect(int row, int x, int width, int height) const
{
    const int pitch = PopupHeight + RowGap;
    return QRect(pixels(Margin + x), pixels(Margin + row * pitch + (pitch - height) / 2), pixels(width), pixels(height));
}

QLabel* MediaItemPropertiesPanel::initText(const std::string& text, const QRect& bounds)
{
    auto* label = new QLabel(QString::fromStdString(text), this);
    QFont font = QApplication::font();
    font.setPointSize(10);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setAutoFillBackground(false);
    label->setGeometry(bounds);
    label->show();
    return label;
}

QComboBox* MediaItemPropertiesPanel::initPopup(const QRect& bounds)
{
    auto* popup = new QComboBox(this);
    QFont font = QApplication::font();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() - 2)); // the small control size
    popup->setFont(font);
    popup->setGeometry(bounds);
    popup->show();
    return popup;
}

FileSystemVolumeMO* MediaItemPropertiesPanel::shownVolume() const
{
    return selectedFolders_.size() == 1 ? dynamic_cast<FileSystemVolumeMO*>(selectedFolders_.front().get()) : nullptr;
}

void MediaItemPropertiesPanel::applyOneFolderItem(FileSystemItemMO* item)
{
    const char* selector = "applyOneFolderItem:";
    auto* volume = dynamic_cast<FileSystemVolumeMO*>(item);
    std::string type;
    if (!volume) {
        type = ZOV_TRANSLATE("Folder", selector);
    } else if (Ref<ZovDeviceInfo> device = volume->getDeviceInfo()) {
        type = device->type();
    }
    int row = 0;
    const auto addRow = [&](const std::string& label, const std::string& value) {
        initText(label, rowRect(row, 0, LabelWidth, RowHeight));
        initText(value, rowRect(row, LabelWidth, PopupWidth, RowHeight));
        ++row;
    };
    const auto addPopupRow = [&](const std::string& label) {
        initText(label, rowRect(row, 0, LabelWidth, RowHeight));
        QComboBox* popup = initPopup(rowRect(row, LabelWidth, PopupWidth, PopupHeight));
        ++row;
        return popup;
    };
    addRow(ZOV_TRANSLATE("Type:", selector), type.empty() ? ZOV_TRANSLATE("<unknown type>", selector) : type);
    addRow(ZOV_TRANSLATE("Name:", selector), item->name());
    if (!volume)
        return;
    if (volume->deviceHandledByUser() && !volume->pictureFrameModel().empty())
        addRow(ZOV_TRANSLATE("Model:", selector), volume->pictureFrameModel());

    if (type == DeviceType::USB) {
        deviceTypeButton_ = addPopupRow(ZOV_TRANSLATE("Device Type:", selector));
        for (const std::string* category :
             {&ZovDeviceInfo::generalUSBFileStorageCategory(), &ZovDeviceInfo::pictureFrameCategory()})
            deviceTypeButton_->addItem(QString::fromStdString(*category), QString::fromStdString(*category));
        const std::optional<std::string> category = volume->deviceCategory();
        deviceTypeButton_->setCurrentIndex(category ? deviceTypeButton_->findData(QString::fromStdString(*category)) : -1);
        QObject::connect(deviceTypeButton_, &QComboBox::activated, this, [this](int index) { deviceTypeSelected(index); });
    }

    if (!volume->isDPFDevice())
        return;
    sizesButton_ = addPopupRow(ZOV_TRANSLATE("Size in inches:", selector));
    XMLDocumentDL* list = XMLDocumentDL::defaultDocumentDL();
    const std::vector<std::string> sizes = list ? list->getDeviceSizesArray().value_or(std::vector<std::string>()) : std::vector<std::string>();
    for (const std::string& size : sizes)
        sizesButton_->addItem(QString::fromStdString(vistel::format(ZOV_TRANSLATE("%@ inches", "sizesMenu"), size)),
                              QString::fromStdString(size));
    resolutionsButton_ = addPopupRow(ZOV_TRANSLATE("Resolution:", selector));
    // Every resolution of the list until a size is known.
    if (list)
        if (Ref<XMLNodeEnumerator> all = list->getDeviceResolutionEnumerator())
            while (Ref<XMLNode> node = all->nextObject())
                if (auto* entry = dynamic_cast<XMLDeviceResolution*>(node.get())) {
                    const ItemSize size {float(entry->resolutionWidth().value_or(0)), float(entry->resolutionHeight().value_or(0))};
                    resolutionsButton_->addItem(resolutionTitle(size), QSizeF(size.width, size.height));
                }

    const std::string stored = volume->pictureFrameSize();
    const int storedIndex = stored.empty() ? -1 : sizesButton_->findData(QString::fromStdString(stored));
    if (storedIndex >= 0) {
        sizesButton_->setCurrentIndex(storedIndex);
        loadResolutionsFromDeviceSize(stored);
        setSelectedResolution(volume->pictureFrameResolution());
    } else if (!sizes.empty()) {
        // Shown, not stored: the user's choice stores.
        sizesButton_->setCurrentIndex(0);
        loadResolutionsFromDeviceSize(sizes.front());
        resolutionsButton_->setCurrentIndex(resolutionsButton_->count() > 0 ? 0 : -1);
    }
    QObject::connect(sizesButton_, &QComboBox::activated, this, [this](int index) { pictureFrameSizeSelected(index); });
    QObject::connect(resolutionsButton_, &QComboBox::activated, this,
                     [this](int index) { pictureFrameResolutionSelected(index); });
}

void MediaItemPropertiesPanel::loadResolutionsFromDeviceSize(const std::string& size)
{
    if (!resolutionsButton_)
        return;
    resolutionsButton_->clear();
    XMLDocumentDL* list = XMLDocumentDL::defaultDocumentDL();
    if (!list)
        return;
    for (const ItemSize& resolution : list->getResolutionsForSize(size))
        resolutionsButton_->addItem(resolutionTitle(resolution), QSizeF(resolution.width, resolution.height));
}

bool MediaItemPropertiesPanel::setSelectedResolution(ItemSize resolution)
{
    if (!resolutionsButton_)
        return false;
    for (int index = 0; index < resolutionsButton_->count(); ++index)
        if (resolutionAt(resolutionsButton_, index) == resolution) {
            resolutionsButton_->setCurrentIndex(index);
            return true;
        }
    return false;
}

void MediaItemPropertiesPanel::deviceTypeSelected(int index)
{
    FileSystemVolumeMO* volume = shownVolume();
    if (!volume || !deviceTypeButton_ || index < 0 || index >= deviceTypeButton_->count())
        return;
    volume->setDeviceCategory(deviceTypeButton_->itemData(index).toString().toStdString());
    // The pop-up whose signal this is goes with the rows, later (clearSubviews).
    applySelectedFolders();
}

void MediaItemPropertiesPanel::pictureFrameSizeSelected(int index)
{
    FileSystemVolumeMO* volume = shownVolume();
    if (!volume || !sizesButton_ || index < 0 || index >= sizesButton_->count())
        return;
    const std::string size = sizesButton_->itemData(index).toString().toStdString();
    volume->setPictureFrameSize(size);
    loadResolutionsFromDeviceSize(size);
    if (resolutionsButton_ && resolutionsButton_->count() > 0) {
        resolutionsButton_->setCurrentIndex(0);
        pictureFrameResolutionSelected(0);
    }
}

void MediaItemPropertiesPanel::pictureFrameResolutionSelected(int index)
{
    FileSystemVolumeMO* volume = shownVolume();
    if (!volume || !resolutionsButton_ || index < 0 || index >= resolutionsButton_->count())
        return;
    volume->setPictureFrameResolution(resolutionAt(resolutionsButton_, index));
    volume->savePictureFrameOptions();
}

} // namespace vistel
