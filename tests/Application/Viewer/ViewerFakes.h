#pragma once
// Stand-ins of the picture list's neighbours, for its tests and benchmarks: a browsing
// selection made of a flat list of catalogue items, and a picture view that records what the
// list tells it.

#include <algorithm>
#include <vector>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/Viewer/CachedImageBrowserProtocol.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/ImageInformation.h"
#include "Application/Viewer/ImageZoomParameter.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Imaging/ImageProperties.h"

namespace vistel::test {

// The catalogue's pixel size of an item (what the file thread records after reading it).
inline void setItemDimensions(FileSystemItemMO& item, QSizeF size)
{
    item.setAttribute(Value(size.width()), kImagePropertyPixelWidth, kTagRootPageMetadata);
    item.setAttribute(Value(size.height()), kImagePropertyPixelHeight, kTagRootPageMetadata);
}

// The browsing selection the picture list reads: a flat list of items and selected positions.
class FakeSelection : public Object, public IBrowsingGetSelection {
public:
    ItemList items;
    IndexSet selected;
    BrowsingSelectionNotificationObserver* notificationObserver = nullptr;
    IFSItemChangedNotification* folderObserver = nullptr;

    unsigned selectedFoldersCount() const override { return 0; }
    bool isFolderSelected(const FileSystemItemMO*) const override { return false; }
    bool isSelectedFolderFromSingleVolume() const override { return true; }
    Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned) const override { return nullptr; }
    unsigned foldersObjectIndex(FileSystemItemMO* item) const override
    {
        for (unsigned i = 0; i < items.size(); ++i)
            if (items[i].get() == item)
                return i;
        return 0;
    }
    unsigned foldersObjectsCount() const override { return unsigned(items.size()); }
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override
    {
        return index < items.size() ? items[index] : nullptr;
    }
    void addFolderUpdateObserver(IFSItemChangedNotification* observer) override { folderObserver = observer; }
    void removeObserverForAllItems(IFSItemChangedNotification* observer) override
    {
        if (folderObserver == observer)
            folderObserver = nullptr;
    }
    const IndexSet& selectedObjectsIndexes() const override { return selected; }
    void addNotificationObserver(BrowsingSelectionNotificationObserver* observer) override { notificationObserver = observer; }
    void removeNotificationObserver(BrowsingSelectionNotificationObserver* observer) override
    {
        if (notificationObserver == observer)
            notificationObserver = nullptr;
    }
    // Sends what the browsing selection sends when its list changed.
    void sendListChanged()
    {
        if (notificationObserver)
            notificationObserver->handleBrowsingSelectionNotifications(
                Notification {BrowsingSelectionNotification, nullptr, Value::dictionary({{kObjectsChangesBitmap, 2}})});
    }
};

// A picture view in a box of `box` pixels: the current picture fitted (enlarged only when
// `enlarge` is set), the neighbours at the same fit, halved when that would exceed
// NeighbourPixels, as the full-screen view decodes them; no answer for a picture whose size is
// not known.
class FakeBrowser : public CachedImageBrowserProtocol {
public:
    static constexpr double NeighbourPixels = 1638400;
    CachedPicturesViewController* list = nullptr;
    QSizeF box {64, 64};
    bool enlarge = false;
    bool fast = false;
    std::vector<unsigned> updatedIndexes;
    int contentUpdates = 0;

    QSizeF convertFastImageDrawSize(QSizeF size) override { return size * 0.25; }
    Ref<ImageZoomParameter> zoomInformationForImageInformation(ImageInformation* information) override
    {
        if (!information || information->imageSize().isEmpty())
            return nullptr;
        QSizeF size = fitted(information->imageSizeWithAngel());
        if (information != list->currentImageInformation() && size.width() * size.height() > NeighbourPixels)
            size *= 0.5;
        return ImageZoomParameter::ImageZoomParameterWithSize(size);
    }
    void imageUpdated(unsigned index) override { updatedIndexes.push_back(index); }
    void updateContent() override { ++contentUpdates; }
    bool isFlipped() const override { return true; }
    bool fastImageDraw() const override { return fast; }

    QSizeF fitted(QSizeF size) const
    {
        const double fit = std::min(box.width() / size.width(), box.height() / size.height());
        const double scale = enlarge ? fit : std::min(1.0, fit);
        return size * scale;
    }
};

} // namespace vistel::test
