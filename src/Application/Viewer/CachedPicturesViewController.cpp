#include "Application/Viewer/CachedPicturesViewController.h"

#include <algorithm>
#include <cmath>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/Viewer/CachedImage.h"
#include "Application/Viewer/CachedImageBrowserProtocol.h"
#include "Application/Viewer/ImageDecoder.h"
#include "Application/Viewer/ImageInformation.h"
#include "Application/Viewer/ImageZoomParameter.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Log.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {

constexpr unsigned NoIndex = unsigned(NSNotFound);
// A bitmap this close to the wanted size is kept.
constexpr double RedecodeTolerance = 2.0;

unsigned indexOf(const ImageInformationList& list, const ImageInformation* information)
{
    const auto found = std::find(list.begin(), list.end(), information);
    return found == list.end() ? NoIndex : unsigned(found - list.begin());
}

} // namespace

Ref<CachedPicturesViewController> CachedPicturesViewController::create(Ref<Object> dataSourceObject,
                                                                       IBrowsingGetSelection* dataSource)
{
    return Ref<CachedPicturesViewController>::adopt(new CachedPicturesViewController(std::move(dataSourceObject), dataSource));
}

CachedPicturesViewController::CachedPicturesViewController(Ref<Object> dataSourceObject, IBrowsingGetSelection* dataSource)
    : dataSourceObject_(std::move(dataSourceObject))
    , dataSource_(dataSource)
    , arrayController_(std::make_unique<ImageInformationArrayController>())
{
}

CachedPicturesViewController::~CachedPicturesViewController()
{
    // No decode runs here: a running worker keeps its list alive.
    if (isStarted_)
        stop();
    if (RunLoop* loop = RunLoop::current()) {
        loop->cancelPerforms(this);
        loop->cancelPerforms(&runningDecoders_);
        loop->cancelPerforms(&pendingRedecode_);
    }
}

// --- life and list ---------------------------------------------------------------------------

void CachedPicturesViewController::startWithBrowser(CachedImageBrowserProtocol* browser)
{
    picturesBrowser_ = browser;
    if (!isStarted_) {
        isStarted_ = true;
        // The count is not reset: finishes of decodes stopped earlier may still be on their way,
        // and each lowers it.
        reloadImagesFromDataSource();
        dataSource_->addFolderUpdateObserver(this);
        dataSource_->addNotificationObserver(this);
    }
    if (picturesBrowser_)
        picturesBrowser_->updateContent();
}

void CachedPicturesViewController::stop()
{
    isStarted_ = false;
    picturesBrowser_ = nullptr;
    dataSource_->removeObserverForAllItems(this);
    dataSource_->removeNotificationObserver(this);
    stopRunningDecodes();
    pendingRedecode_ = nullptr;
    arrayController_->setContent({});
}

void CachedPicturesViewController::stopRunningDecodes()
{
    // Copied: the decoders stay listed until their finishes arrive.
    const std::vector<Ref<ImageDecoder>> running = runningDecoders_;
    for (const Ref<ImageDecoder>& decoder : running)
        decoder->stop();
}

bool CachedPicturesViewController::isBrowserIsActive(const CachedImageBrowserProtocol* browser) const
{
    return browser && browser == picturesBrowser_;
}

ImageInformationList CachedPicturesViewController::buildList(const ImageInformationList& reusable,
                                                             unsigned* currentIndex) const
{
    const IndexSet selected = dataSource_->selectedObjectsIndexes();
    ImageInformationList list;
    unsigned current = NoIndex;
    const unsigned count = dataSource_->foldersObjectsCount();
    for (unsigned position = 0; position < count; ++position) {
        const Ref<FileSystemItemMO> item = dataSource_->foldersObjectAtIndex(position);
        if (!item || !item->isDecodable())
            continue;
        const auto reused = std::find_if(reusable.begin(), reusable.end(), [&](const Ref<ImageInformation>& entry) {
            return entry->imageItem() == item.get();
        });
        Ref<ImageInformation> entry = reused != reusable.end() ? *reused : ImageInformation::initWithItem(item);
        if (!entry) {
            ZovLog("CachedPicturesViewController::observeValueForKeyPath invalid imageInformation " + item->fullPath());
            continue;
        }
        list.push_back(std::move(entry));
        if (current == NoIndex && selected.containsIndex(position))
            current = unsigned(list.size() - 1);
    }
    if (current == NoIndex && !list.empty())
        current = 0;
    *currentIndex = current;
    return list;
}

void CachedPicturesViewController::reloadImagesFromDataSource()
{
    oldSelectedIndex_ = NoIndex;
    unsigned current = NoIndex;
    ImageInformationList list = buildList({}, &current);
    arrayController_->setContent(std::move(list));
    arrayController_->setSelectionIndexes(IndexSet());
    setSelectedImageIndex(current);
}

// --- current picture and navigation ----------------------------------------------------------

unsigned CachedPicturesViewController::currentImageIndex() const
{
    const std::uint64_t first = arrayController_->selectionIndexes().firstIndex();
    return first >= NSNotFound ? NoIndex : unsigned(first);
}

ImageInformation* CachedPicturesViewController::currentImageInformation() const
{
    return imageInformationAtIndex(currentImageIndex());
}

Ref<CachedImage> CachedPicturesViewController::currentImage() const
{
    ImageInformation* current = currentImageInformation();
    return current ? current->image() : nullptr;
}

unsigned CachedPicturesViewController::imagesCount() const
{
    return unsigned(arrayController_->arrangedObjects().size());
}

ImageInformation* CachedPicturesViewController::imageInformationAtIndex(unsigned index) const
{
    const ImageInformationList& list = arrayController_->arrangedObjects();
    return index < list.size() ? list[index].get() : nullptr;
}

Ref<FileSystemItemMO> CachedPicturesViewController::imageItemAtIndex(unsigned index) const
{
    ImageInformation* information = imageInformationAtIndex(index);
    return information ? Ref<FileSystemItemMO>(information->imageItem()->managedObject()) : nullptr;
}

unsigned CachedPicturesViewController::nextImageIndex() const
{
    const unsigned count = imagesCount();
    const unsigned current = currentImageIndex();
    if (current == NoIndex)
        return count ? 0 : NoIndex;
    return current + 1 >= count ? 0 : current + 1;
}

unsigned CachedPicturesViewController::previousImageIndex() const
{
    const unsigned count = imagesCount();
    const unsigned current = currentImageIndex();
    if (current == NoIndex)
        return count ? 0 : NoIndex;
    return current == 0 ? count - 1 : current - 1;
}

void CachedPicturesViewController::nextImage() { setSelectedImageIndex(nextImageIndex()); }
void CachedPicturesViewController::previousImage() { setSelectedImageIndex(previousImageIndex()); }
void CachedPicturesViewController::firstImage() { setSelectedImageIndex(0); }
void CachedPicturesViewController::lastImage()
{
    const unsigned count = imagesCount();
    setSelectedImageIndex(count ? count - 1 : NoIndex);
}

void CachedPicturesViewController::setSelectedImageIndex(unsigned index)
{
    setSelectedImagesIndexes(index == NoIndex ? IndexSet() : IndexSet(index));
}

void CachedPicturesViewController::setSelectedImagesIndexes(const IndexSet& indexes)
{
    if (indexes.empty() && imagesCount() > 0)
        return;
    const unsigned old = currentImageIndex();
    oldSelectedIndex_ = old;
    arrayController_->setSelectionIndexes(indexes.empty() ? IndexSet() : IndexSet(indexes.firstIndex()));
    if (currentImageIndex() != old) {
        releaseCachAroundIndex(old);
        const ImageInformation* current = currentImageInformation();
        if (current && current->state() == ImageInformation::Decoded)
            scheduleInitialCachProcess(); // shown at once; the neighbours after this pass
        else
            initialCachProcess();
    }
}

void CachedPicturesViewController::scheduleInitialCachProcess()
{
    RunLoop* loop = RunLoop::current();
    if (!loop) {
        initialCachProcess();
        return;
    }
    loop->cancelPerforms(&runningDecoders_);
    loop->perform([self = Ref<CachedPicturesViewController>(this)] { self->initialCachProcess(); },
                  {NSRunLoopCommonModes}, 0, &runningDecoders_);
}

const IndexSet& CachedPicturesViewController::selectedImagesIndexes() const { return arrayController_->selectionIndexes(); }

bool CachedPicturesViewController::setSelectedImageWithFileName(const std::string& name)
{
    const ImageInformationList& list = arrayController_->arrangedObjects();
    ZovLog(std::to_string(list.size()));
    for (unsigned index = 0; index < list.size(); ++index) {
        FileSystemItemMO* item = list[index]->imageItem();
        if (!item)
            continue;
        const std::string itemName = item->name();
        ZovLog(itemName);
        if (itemName == name) {
            setSelectedImageIndex(index);
            return true;
        }
    }
    return false;
}

void CachedPicturesViewController::rotateImageLeft(ImageInformation* information)
{
    if (!information)
        return;
    information->setImageAngel(information->imageAngel() + 90);
    if (information == currentImageInformation() && picturesBrowser_)
        picturesBrowser_->updateContent();
}

void CachedPicturesViewController::rotateImageRight(ImageInformation* information)
{
    if (!information)
        return;
    information->setImageAngel(information->imageAngel() + 270);
    if (information == currentImageInformation() && picturesBrowser_)
        picturesBrowser_->updateContent();
}

Ref<CachedImage> CachedPicturesViewController::currentImageWithSize(QSizeF size, CachedImageBrowserProtocol* browser,
                                                                    unsigned)
{
    Ref<CachedImage> image = currentImage();
    if (!image) {
        initialCachProcess();
        return nullptr;
    }
    if (!isBrowserIsActive(browser))
        return image;
    ImageInformation* current = currentImageInformation();
    QSize bitmapSize;
    {
        std::lock_guard guard(image->mutex());
        if (image->bitmap().isNull())
            return image;
        bitmapSize = image->bitmap().size();
    }
    QSizeF wanted = size;
    if (fastImageDraw()) {
        wanted = browser->convertFastImageDrawSize(current->imageSize());
        RunLoop* loop = RunLoop::current();
        if (loop && loop->currentMode() == NSEventTrackingRunLoopMode) {
            // The full bitmap once the tracking ends (performs in the default mode wait for it).
            loop->cancelPerforms(this);
            loop->perform(
                [self = Ref<CachedPicturesViewController>(this), browser] {
                    if (self->isBrowserIsActive(browser))
                        browser->updateContent();
                },
                {NSDefaultRunLoopMode}, 0, this);
        }
    }
    if (wanted.width() > image->size().width())
        wanted = image->size();
    // Compared with what a decode of that wish would give (whole pixels, capped), so that a
    // capped or rounded bitmap is not decoded again at every draw.
    const QSize target = ImageDecoder::bitmapSizeFor(wanted, image->size());
    if (target.isEmpty() || current->decodingFailed())
        return image;
    if (std::abs(target.width() - bitmapSize.width()) > RedecodeTolerance
        || std::abs(target.height() - bitmapSize.height()) > RedecodeTolerance) {
        // Started after this pass: the frame draws the bitmap there is without waiting for a
        // worker to start.
        RunLoop* loop = RunLoop::current();
        const bool queued = pendingRedecode_ != nullptr;
        pendingRedecode_ = Ref<ImageInformation>(current);
        pendingRedecodeSize_ = wanted;
        if (!loop)
            startPendingRedecode();
        else if (!queued)
            loop->perform([self = Ref<CachedPicturesViewController>(this)] { self->startPendingRedecode(); },
                          {NSRunLoopCommonModes}, 0, &pendingRedecode_);
    }
    return image;
}

void CachedPicturesViewController::startPendingRedecode()
{
    const Ref<ImageInformation> entry = std::move(pendingRedecode_);
    if (!entry || entry.get() != currentImageInformation())
        return; // another picture is shown meanwhile
    const Ref<ImageZoomParameter> parameter = ImageZoomParameter::ImageZoomParameterWithSize(pendingRedecodeSize_);
    if (!startDecode(entry.get(), parameter.get()))
        entry->setDecodingExpired(true);
}

bool CachedPicturesViewController::fastImageDraw() const { return picturesBrowser_ && picturesBrowser_->fastImageDraw(); }
bool CachedPicturesViewController::isFlipped() const { return picturesBrowser_ && picturesBrowser_->isFlipped(); }

// --- list observers --------------------------------------------------------------------------

void CachedPicturesViewController::addSelectionObserver(ArrayControllerObserver* observer)
{
    arrayController_->addObserver(observer);
}

void CachedPicturesViewController::removeSelectionObserver(ArrayControllerObserver* observer)
{
    arrayController_->removeObserver(observer);
}

bool CachedPicturesViewController::isValidArrayController(const ImageInformationArrayController* controller) const
{
    return controller
        && (controller == arrayController_.get() || controller->selectedObjects() == arrayController_->selectedObjects());
}

// --- the data source's answers ---------------------------------------------------------------

unsigned CachedPicturesViewController::selectedFoldersCount() const { return dataSource_->selectedFoldersCount(); }
bool CachedPicturesViewController::isFolderSelected(const FileSystemItemMO* item) const
{
    return dataSource_->isFolderSelected(item);
}
bool CachedPicturesViewController::isSelectedFolderFromSingleVolume() const
{
    return dataSource_->isSelectedFolderFromSingleVolume();
}
Ref<FileSystemItemMO> CachedPicturesViewController::selectedFolderAtIndex(unsigned index) const
{
    return dataSource_->selectedFolderAtIndex(index);
}
unsigned CachedPicturesViewController::foldersObjectIndex(FileSystemItemMO* item) const
{
    return dataSource_->foldersObjectIndex(item);
}
unsigned CachedPicturesViewController::foldersObjectsCount() const { return dataSource_->foldersObjectsCount(); }
Ref<FileSystemItemMO> CachedPicturesViewController::foldersObjectAtIndex(unsigned index) const
{
    return dataSource_->foldersObjectAtIndex(index);
}
void CachedPicturesViewController::addFolderUpdateObserver(IFSItemChangedNotification*)
{
    dataSource_->addFolderUpdateObserver(this);
}
void CachedPicturesViewController::removeObserverForAllItems(IFSItemChangedNotification* observer)
{
    dataSource_->removeObserverForAllItems(observer);
}
void CachedPicturesViewController::addNotificationObserver(BrowsingSelectionNotificationObserver* observer)
{
    dataSource_->addNotificationObserver(observer);
}
void CachedPicturesViewController::removeNotificationObserver(BrowsingSelectionNotificationObserver* observer)
{
    dataSource_->removeNotificationObserver(observer);
}

void CachedPicturesViewController::handleBrowsingSelectionNotifications(const Notification& notification)
{
    if (!isStarted_)
        return;
    const Value& info = notification.userInfo;
    const std::int64_t bitmap = info.contains(kObjectsChangesBitmap) ? info[kObjectsChangesBitmap].toInt64() : 7;
    // The window as it is now; its entries keep their decoders through a rebuild.
    ImageInformationList window;
    cachedObjectsIndexes(currentImageIndex()).enumerate([&](std::uint64_t index) {
        window.push_back(arrayController_->arrangedObjects()[index]);
        return true;
    });
    if (bitmap & 2) {
        const Ref<ImageInformation> current(currentImageInformation());
        const unsigned oldIndex = currentImageIndex();
        unsigned ignored = NoIndex;
        arrayController_->setContent(buildList(window, &ignored));
        const unsigned count = imagesCount();
        const unsigned kept = indexOf(arrayController_->arrangedObjects(), current.get());
        if (kept != NoIndex)
            arrayController_->setSelectionIndexes(IndexSet(kept));
        else
            setSelectedImageIndex(count == 0 ? NoIndex : oldIndex != NoIndex && oldIndex < count ? oldIndex : count - 1);
        if (currentImageInformation() != current.get()) {
            // Another picture at the same place: shown and decoded as any new current one.
            initialCachProcess();
            if (picturesBrowser_)
                picturesBrowser_->updateContent();
        }
    }
    if (!info.contains(FSItemChangeNotification))
        return;
    const Value& changed = info[FSItemChangeNotification];
    for (const Ref<ImageInformation>& entry : window) {
        FileSystemItemMO* item = entry->imageItem();
        if (!item || !changed.contains(item->permanentObjectID().uriRepresentation()))
            continue;
        // The file changed: its old pixels go, and a file that failed is tried again.
        entry->setDecodingFailed(false);
        entry->releaseDecoder();
        initialCachProcess();
    }
}

// --- decode-ahead ----------------------------------------------------------------------------

IndexSet CachedPicturesViewController::cachedObjectsIndexes(unsigned index) const
{
    const unsigned count = imagesCount();
    IndexSet window;
    if (index == NoIndex || index >= count)
        return window;
    window.addIndex(index);
    for (unsigned k = 1; k <= cashRadius(); ++k) {
        const unsigned step = k % count;
        window.addIndex((index + step) % count);
        window.addIndex((index + count - step) % count);
    }
    return window;
}

void CachedPicturesViewController::releaseCachAroundIndex(unsigned oldIndex)
{
    const IndexSet kept = cachedObjectsIndexes(currentImageIndex());
    cachedObjectsIndexes(oldIndex).enumerate([&](std::uint64_t index) {
        if (!kept.containsIndex(index))
            if (ImageInformation* entry = imageInformationAtIndex(unsigned(index)))
                entry->releaseDecoder();
        return true;
    });
}

unsigned CachedPicturesViewController::nextImageIndexToCash() const
{
    const unsigned count = imagesCount();
    const unsigned current = currentImageIndex();
    if (!allowStartCaching() || current == NoIndex || count == 0)
        return NoIndex;
    ImageInformation* entry = imageInformationAtIndex(current);
    const int state = entry->state();
    if (state == ImageInformation::Decoding)
        return NoIndex;
    if (!entry->decodingFailed()) {
        if (state == ImageInformation::NotDecoded)
            return current;
        if (entry->decodingExpired() && !fastImageDraw())
            return current;
    }
    for (unsigned k = 1; k <= cashRadius(); ++k)
        if (imageInformationAtIndex((current + k) % count)->state() == ImageInformation::Decoding)
            return NoIndex; // nothing new starts while a forward neighbour decodes
    // A neighbour is decoded ahead only when its size is known before decoding.
    const auto worthDecoding = [](const ImageInformation* neighbour) {
        return neighbour->state() == ImageInformation::NotDecoded && !neighbour->decodingFailed()
            && !neighbour->imageSize().isEmpty();
    };
    for (unsigned k = 1; k <= cashRadius(); ++k) {
        const unsigned next = (current + k) % count;
        if (worthDecoding(imageInformationAtIndex(next)))
            return next;
        const unsigned previous = (current + count - k % count) % count;
        if (worthDecoding(imageInformationAtIndex(previous)))
            return previous;
    }
    return NoIndex;
}

void CachedPicturesViewController::initialCachProcess()
{
    if (!picturesBrowser_)
        return;
    const unsigned index = nextImageIndexToCash();
    ImageInformation* entry = imageInformationAtIndex(index);
    if (!entry)
        return;
    Ref<ImageZoomParameter> parameter = zoomInformationForImageInformation(entry);
    const bool sizeKnown = !entry->imageSize().isEmpty();
    if (!parameter && !sizeKnown)
        // The current picture's size is not known yet: its decoder reads the header first,
        // and the finish asks the view again.
        parameter = ImageZoomParameter::ImageZoomParameterWithSize(QSizeF());
    else if (parameter && sizeKnown && ImageDecoder::bitmapSizeFor(parameter->size(), entry->imageSize()).isEmpty())
        return; // the view wants nothing drawn now (no room)
    startDecode(entry, parameter.get());
}

void CachedPicturesViewController::setCurrentUpdateTreadsCount(unsigned count)
{
    if (count > MaximumDecodes)
        ZovLog("CachedPicturesViewController::setCurrentUpdateTreadsCount invalid thread count");
    currentUpdateTreadsCount_ = count;
}

bool CachedPicturesViewController::startDecode(ImageInformation* information, ImageZoomParameter* parameter)
{
    if (!information || !parameter) {
        ZovLog("CachedPicturesViewController::startDecode invalid argument");
        return false;
    }
    if (!allowStartCaching() || !information->startDecode(this, parameter))
        return false;
    setCurrentUpdateTreadsCount(currentUpdateTreadsCount_ + 1);
    runningDecoders_.emplace_back(information->imageDecoder());
    return true;
}

Ref<ImageZoomParameter> CachedPicturesViewController::zoomInformationForImageInformation(ImageInformation* information) const
{
    return picturesBrowser_ ? picturesBrowser_->zoomInformationForImageInformation(information) : nullptr;
}

void CachedPicturesViewController::imageDecodingFinished(ImageInformation* information, ImageDecoder* decoder)
{
    const auto running = std::find(runningDecoders_.begin(), runningDecoders_.end(), decoder);
    if (running != runningDecoders_.end())
        runningDecoders_.erase(running);
    if (currentUpdateTreadsCount_ > 0)
        setCurrentUpdateTreadsCount(currentUpdateTreadsCount_ - 1);
    if (!isStarted_)
        return;
    const unsigned index = indexOf(arrayController_->arrangedObjects(), information);
    if (index == NoIndex || information->imageDecoder() != decoder) {
        // A rebuilt list or a dropped decoder: the slot goes to the rest of the window.
        initialCachProcess();
        return;
    }
    if (decoder->lastDecodeFailed())
        information->setDecodingFailed(true);
    if (cachedObjectsIndexes(currentImageIndex()).containsIndex(index))
        information->setReleaseDecoderFlag(false);
    if (picturesBrowser_)
        picturesBrowser_->imageUpdated(index);
    if (information->releaseDecoderFlag())
        information->releaseDecoder();
    initialCachProcess();
}

} // namespace vistel
