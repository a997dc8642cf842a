#pragma once
// CachedPicturesViewController: the model of the picture viewer. It turns the browsing
// selection (the items of the selected folders) into a list of pictures, keeps one current
// picture, steps through the list with wrap-around, and decodes the current picture and its
// neighbours (a window of radius 1) in the background, at most two at once, so that a step
// shows the next picture at once.
//
// One picture view (a CachedImageBrowserProtocol) is attached between startWithBrowser() and
// stop(); the view draws through currentImageWithSize(). Entries whose size the catalogue does
// not know yet are decoded only when current (the worker reads the header first), never ahead.
// A file that vanished or cannot be decoded leaves its entry without a picture and is not
// tried again until the catalogue reports it changed; stepping goes on.
//
// stop() cancels the decodes running and waits for them; their finish messages, arriving
// later, only lower the count of running decodes. The owner calls stop() when its window
// closes or the program quits (a running decode keeps the controller alive until its finish).
//
// Thread rules: main thread only. The decoders' workers report back by thread messages to the
// main thread; the main thread never decodes.

#include <QSizeF>

#include <memory>
#include <vector>
#include <string>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Application/Viewer/ImageInformationArrayController.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/IndexSet.h"
#include "Platform/Object.h"

namespace vistel {

class CachedImage;
class CachedImageBrowserProtocol;
class ImageDecoder;
class ImageInformation;
class ImageZoomParameter;

class CachedPicturesViewController : public Object,
                                     public IFSItemChangedNotification,
                                     public IBrowsingGetSelection,
                                     public BrowsingSelectionNotificationObserver {
public:
    // Most decodes running at once.
    static constexpr unsigned MaximumDecodes = 2;

    // Over a data source that is both an Object (kept alive) and a selection reader.
    template <class Source>
    static Ref<CachedPicturesViewController> initWithDataSource(const Ref<Source>& dataSource)
    {
        return create(Ref<Object>(dataSource), static_cast<IBrowsingGetSelection*>(dataSource.get()));
    }
    static Ref<CachedPicturesViewController> create(Ref<Object> dataSourceObject, IBrowsingGetSelection* dataSource);

    // --- life and list ----------------------------------------------------------------------
    // Attaches the view (replacing any other); when not started also builds the list and
    // registers with the data source. Then tells the view updateContent().
    void startWithBrowser(CachedImageBrowserProtocol* browser);
    // Detaches the view, unregisters, cancels and waits for running decodes, empties the list.
    // A view that goes away while attached calls stop() first.
    void stop();
    bool isStarted() const { return isStarted_; }
    bool isBrowserIsActive(const CachedImageBrowserProtocol* browser) const;
    CachedImageBrowserProtocol* picturesBrowser() const { return picturesBrowser_; }
    void reloadImagesFromDataSource();

    // --- current picture and navigation (NSNotFound: none) ---------------------------------
    unsigned currentImageIndex() const;
    ImageInformation* currentImageInformation() const;
    // The decoded picture of the current entry, or null.
    Ref<CachedImage> currentImage() const;
    unsigned imagesCount() const;
    ImageInformation* imageInformationAtIndex(unsigned index) const;
    Ref<FileSystemItemMO> imageItemAtIndex(unsigned index) const;
    unsigned nextImageIndex() const;
    unsigned previousImageIndex() const;
    void nextImage();
    void previousImage();
    void firstImage();
    void lastImage();
    void setSelectedImageIndex(unsigned index);
    void setSelectedImagesIndexes(const IndexSet& indexes);
    const IndexSet& selectedImagesIndexes() const;
    // The current index just before the last change of the current picture; NSNotFound after
    // a rebuild.
    unsigned oldSelectedIndex() const { return oldSelectedIndex_; }
    // Makes the first entry with this file name current; false when there is none.
    bool setSelectedImageWithFileName(const std::string& name);
    // View rotation only (the file is never turned): left adds 90 degrees, right 270. The view
    // is told updateContent() when the entry is the current one. Null: nothing.
    void rotateImageLeft(ImageInformation* information);
    void rotateImageRight(ImageInformation* information);

    // What the view draws: the current picture, its bitmap redecoded in the background (from
    // the next pass of the main loop) when it differs from `size` (pixels, unrotated) by more
    // than 2 in width or height. Null
    // (and the current decode started) when there is none yet. A view other than the
    // attached one gets the picture as it is.
    Ref<CachedImage> currentImageWithSize(QSizeF size, CachedImageBrowserProtocol* browser, unsigned angle);

    bool fastImageDraw() const;
    bool isFlipped() const;

    // --- list observers ("arrangedObjects" and "selection", old and new) --------------------
    void addSelectionObserver(ArrayControllerObserver* observer);
    void addGetSelectionObserver(ArrayControllerObserver* observer) { addSelectionObserver(observer); }
    void removeSelectionObserver(ArrayControllerObserver* observer);
    void removeGetSelectionObserver(ArrayControllerObserver* observer) { removeSelectionObserver(observer); }
    bool isValidArrayController(const ImageInformationArrayController* controller) const;
    ImageInformationArrayController& imagesInformationsArrayController() { return *arrayController_; }

    // --- the data source's answers (IBrowsingGetSelection) ----------------------------------
    // selectedObjectsIndexes() is the picture list's selection; the rest is the data source's.
    unsigned selectedFoldersCount() const override;
    bool isFolderSelected(const FileSystemItemMO* item) const override;
    bool isSelectedFolderFromSingleVolume() const override;
    Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned index) const override;
    unsigned foldersObjectIndex(FileSystemItemMO* item) const override;
    unsigned foldersObjectsCount() const override;
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override;
    void addFolderUpdateObserver(IFSItemChangedNotification* observer) override;
    void removeObserverForAllItems(IFSItemChangedNotification* observer) override;
    const IndexSet& selectedObjectsIndexes() const override { return selectedImagesIndexes(); }
    void addNotificationObserver(BrowsingSelectionNotificationObserver* observer) override;
    void removeNotificationObserver(BrowsingSelectionNotificationObserver* observer) override;

    void notifyFSItemChanged(FileSystemItemMO*, bool) override { }
    void handleBrowsingSelectionNotifications(const Notification& notification) override;

    // --- decode-ahead -----------------------------------------------------------------------
    static constexpr unsigned cashRadius() { return 1; }
    // The window around `index`: itself and its neighbours, wrapping; empty for NSNotFound.
    IndexSet cachedObjectsIndexes(unsigned index) const;
    void releaseCachAroundIndex(unsigned oldIndex);
    unsigned nextImageIndexToCash() const;
    void initialCachProcess();
    bool allowStartCaching() const { return currentUpdateTreadsCount_ < MaximumDecodes; }
    unsigned currentUpdateTreadsCount() const { return currentUpdateTreadsCount_; }
    void setCurrentUpdateTreadsCount(unsigned count);
    bool startDecode(ImageInformation* information, ImageZoomParameter* parameter);
    Ref<ImageZoomParameter> zoomInformationForImageInformation(ImageInformation* information) const;
    // A decoder's finish, on the main thread.
    void imageDecodingFinished(ImageInformation* information, ImageDecoder* decoder);

private:
    CachedPicturesViewController(Ref<Object> dataSourceObject, IBrowsingGetSelection* dataSource);
    ~CachedPicturesViewController() override;
    ImageInformationList buildList(const ImageInformationList& reusable, unsigned* currentIndex) const;
    void stopRunningDecodes();
    // initialCachProcess() on the next pass of the main loop (once, however often asked).
    void scheduleInitialCachProcess();
    // The redecode of the current picture a draw asked for, started after the draw's pass.
    void startPendingRedecode();

    bool isStarted_ = false;
    Ref<Object> dataSourceObject_;
    IBrowsingGetSelection* dataSource_;
    CachedImageBrowserProtocol* picturesBrowser_ = nullptr;
    std::unique_ptr<ImageInformationArrayController> arrayController_;
    unsigned currentUpdateTreadsCount_ = 0;
    unsigned oldSelectedIndex_ = unsigned(NSNotFound);
    // Every decoder whose worker was started and whose finish has not arrived.
    std::vector<Ref<ImageDecoder>> runningDecoders_;
    Ref<ImageInformation> pendingRedecode_;
    QSizeF pendingRedecodeSize_;
};

} // namespace vistel
