#include "Application/BrowseMode/WindowStatusBarPanel.h"

#include <random>
#include <vector>

#include <QHBoxLayout>
#include <QLabel>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Strings/NSWorkspaceCalculations.h"
#include "Operations/ImageConvertor.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/PlatformImage.h"
#include "ZovTranslatorManager.h"

namespace vistel {

// --- the JPEG size model ----------------------------------------------------------------------------

JPEGSizeEstimate& JPEGSizeEstimate::shared()
{
    static JPEGSizeEstimate estimate;
    return estimate;
}

void JPEGSizeEstimate::setSeed(std::optional<std::uint32_t> seed)
{
    seed_ = seed;
    quality_.reset();
}

std::uint64_t JPEGSizeEstimate::encodedNoiseJPEGSize(std::size_t width, std::size_t height, float quality)
{
    ++encodingCount_;
    // Four bytes a pixel, alpha premultiplied first, every byte noise.
    const std::size_t bytesPerRow = width * 4;
    std::vector<std::uint8_t> pixels(bytesPerRow * height);
    std::mt19937 generator(seed_ ? *seed_ : std::random_device {}());
    for (std::uint8_t& byte : pixels)
        byte = static_cast<std::uint8_t>(generator() & 0xFF);
    Ref<PlatformImage> image = PlatformImage::create(width, height, 8, 32, bytesPerRow, kImageAlphaPremultipliedFirst,
                                                     PlatformColorSpace::createDeviceRGB(), std::move(pixels));
    Ref<ImageDestination> destination = ImageDestination::createWithData("public.jpeg");
    if (!image || !destination)
        return 0;
    destination->addImage(image, Value::dictionary({{kImageDestinationLossyCompressionQuality, double(quality)}}));
    if (!destination->finalize())
        return 0;
    return destination->data().size();
}

std::int64_t JPEGSizeEstimate::estimatedJPEGSizeForPixels(double width, double height, float quality)
{
    if (!quality_ || *quality_ != quality) {
        const auto s1 = static_cast<std::int64_t>(encodedNoiseJPEGSize(64, 64, quality));
        const auto s2 = static_cast<std::int64_t>(encodedNoiseJPEGSize(64, 128, quality));
        b_ = s2 - s1;
        a_ = 2 * s1 - s2;
        quality_ = quality;
    }
    const float estimate = float(a_) + float(b_) * float(width * height / 4096.0);
    return estimate > 0 ? static_cast<std::int64_t>(estimate) : 0;
}

// --- the bar -------------------------------------------------------------------------------------------

WindowStatusBarPanel* WindowStatusBarPanel::statusBar()
{
    auto* bar = new WindowStatusBarPanel;
    bar->resize(20, 24);
    return bar;
}

WindowStatusBarPanel::WindowStatusBarPanel(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setTextInteractionFlags(Qt::NoTextInteraction);
    text_->setAlignment(Qt::AlignCenter);
    text_->setAutoFillBackground(false);
    // The band decides the width: a long line never widens the window.
    text_->setMinimumWidth(0);
    text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(text_);
}

WindowStatusBarPanel::~WindowStatusBarPanel() { stopObserving(); }

void WindowStatusBarPanel::stopObserving()
{
    if (!dataSourceDelegate_)
        return;
    dataSourceDelegate_->removeObserverForAllItems(this);
    dataSourceDelegate_->removeNotificationObserver(this);
    dataSourceDelegate_ = nullptr;
    dataSourceHolder_ = nullptr;
}

void WindowStatusBarPanel::setDataSourceDelegate(IBrowsingGetSelection* delegate)
{
    stopObserving();
    if (!delegate)
        return;
    dataSourceDelegate_ = delegate;
    dataSourceHolder_ = Ref<Object>(dynamic_cast<Object*>(delegate));
    delegate->addNotificationObserver(this);
    updateText();
}

std::string WindowStatusBarPanel::text() const { return text_->text().toStdString(); }

void WindowStatusBarPanel::updateText() { text_->setText(QString::fromStdString(statusText())); }

std::uint64_t WindowStatusBarPanel::roomForPictures(std::uint64_t freeBytes, std::int64_t estimatedPictureSize)
{
    return estimatedPictureSize < 1 ? 0 : freeBytes / static_cast<std::uint64_t>(estimatedPictureSize);
}

std::string WindowStatusBarPanel::statusText() const
{
    auto tr = [this](const char* english) { return ZOV_TRANSLATE(english, "updateText"); };
    IBrowsingGetSelection* source = dataSourceDelegate_;
    if (!source || source->selectedFoldersCount() == 0)
        return tr("0 folders selected");
    const unsigned listed = source->foldersObjectsCount();
    if (!source->isSelectedFolderFromSingleVolume())
        return vistel::format(tr("Total %d items"), listed);
    Ref<FileSystemItemMO> folder = source->selectedFolderAtIndex(0);
    auto* volume = folder ? dynamic_cast<FileSystemVolumeMO*>(folder->volumeItem()) : nullptr;
    if (!volume)
        return tr("---");
    const std::uint64_t freeBytes = volume->freeBytes();
    const IndexSet& selected = source->selectedObjectsIndexes();

    if (volume->isDPFDevice()) {
        unsigned pictures = 0;
        for (unsigned i = 0; i < listed; ++i)
            if (Ref<FileSystemItemMO> item = source->foldersObjectAtIndex(i); item && item->isDecodable())
                ++pictures;
        unsigned selectedPictures = 0;
        selected.enumerate([&](std::uint64_t index) {
            if (index >= listed)
                return false;
            if (Ref<FileSystemItemMO> item = source->foldersObjectAtIndex(unsigned(index)); item && item->isDecodable())
                ++selectedPictures;
            return true;
        });
        const ItemSize resolution = volume->pictureFrameResolution();
        const std::int64_t estimate = JPEGSizeEstimate::shared().estimatedJPEGSizeForPixels(
            resolution.width, resolution.height, ImageConvertor::convertionQuality());
        const std::uint64_t room = roomForPictures(freeBytes, estimate);
        if (selectedPictures > 0)
            return vistel::format(tr("%3$d of %1$d pictures selected, space for %2$d more pictures available"), pictures,
                                  room, selectedPictures);
        return vistel::format(tr("Total %d pictures, space for %d more pictures available"), pictures, room);
    }

    unsigned selectedCount = 0;
    selected.enumerate([&](std::uint64_t index) {
        if (index >= listed)
            return false;
        ++selectedCount;
        return true;
    });
    const std::string freeText = NSWorkspaceCalculations::sizeStringForSize(
        static_cast<std::int64_t>(std::min<std::uint64_t>(freeBytes, INT64_MAX)), 4096);
    if (selectedCount > 0)
        return vistel::format(tr("%3$d of %1$d selected, %2$@ available"), listed, freeText, selectedCount);
    return vistel::format(tr("%d items, %@ available"), listed, freeText);
}

void WindowStatusBarPanel::handleBrowsingSelectionNotifications(const Notification& notification)
{
    if (!dataSourceDelegate_)
        return;
    const Value& bitmapValue = notification.userInfo[kObjectsChangesBitmap];
    const std::int64_t bitmap = bitmapValue.isNull() ? 7 : bitmapValue.toInt64();
    if (!(bitmap & 1) && !(bitmap & 2))
        return;
    dataSourceDelegate_->removeObserverForAllItems(this);
    dataSourceDelegate_->addFolderUpdateObserver(this);
    updateText();
}

void WindowStatusBarPanel::notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren)
{
    if (!item || !dataSourceDelegate_ || !reloadChildren)
        return;
    Ref<FileSystemItemMO> folder = item->isFolder() ? Ref<FileSystemItemMO>(item) : item->parent();
    if (folder && folder->isFolder() && dataSourceDelegate_->isFolderSelected(folder.get()))
        updateText();
}

} // namespace vistel
