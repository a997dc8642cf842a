#pragma once
// What the thumbnail grid's tests share: a data source over a plain list of catalogue items
// with its own selection, a delegate that records what the grid reports, and pictures for the
// items' thumbnails.

#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "../../support/QuadrantPicture.h"
#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Imaging/MultiImage.h"

namespace vistel::test {

// A decoded picture in quarters, as the catalogue holds thumbnails.
inline QImage thumbnailQuadrants(int width, int height)
{
    return quadrantPicture(width, height, QImage::Format_ARGB32_Premultiplied);
}

class ListDataSource : public ThumbnailsViewDataSourceProtocol {
public:
    unsigned foldersObjectsCount() const override { return unsigned(items.size()); }
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override
    {
        return index < items.size() ? items[index] : Ref<FileSystemItemMO>();
    }
    unsigned selectedFoldersCount() const override { return 0; }
    Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned) const override { return {}; }
    IndexSet selectedItemsIndexes() const override { return selection; }
    void setSelectedItemsIndexes(const IndexSet& indexes) override
    {
        selection = indexes;
        ++selectionChanges;
    }
    std::optional<IndexSet> highlightedItemsIndexes() const override { return highlight; }
    std::uint64_t dropFolderIndex() const override { return highlight ? highlight->firstIndex() : NSNotFound; }
    bool isViewActive() const override { return true; }

    ItemList items;
    IndexSet selection;
    std::optional<IndexSet> highlight;
    int selectionChanges = 0;
};

class RecordingDelegate : public ItemsViewUserActionsProtocol {
public:
    void itemsViewPerformClick(QWidget*) override { ++clicks; }
    void itemsViewPerformDoubleClick(QWidget*) override { ++doubleClicks; }
    QMenu* itemsViewPerformControlClick(QWidget*) override
    {
        ++controlClicks;
        return answerMenu ? &menu : nullptr;
    }
    // Puts the names of the items on the drag pasteboard, as the control does for "copyToDrag:".
    bool processItems(const IndexSet& indexes, const std::string& selector, QObject*) override
    {
        processed.push_back({selector, indexes});
        if (selector == "copyToDrag:" && source) {
            Value paths = Value::array({});
            indexes.enumerate([&](std::uint64_t index) {
                if (index < source->items.size())
                    paths.append(Value(source->items[index]->fullPath()));
                return true;
            });
            Pasteboard::dragPasteboard()->declareTypes({NSFilenamesPboardType});
            Pasteboard::dragPasteboard()->setPropertyList(paths, NSFilenamesPboardType);
        }
        return true;
    }
    std::vector<std::string> pasteboardDragTypesForItemsView(QWidget*) override { return dragTypes; }
    bool validateUserInterfaceItem(QObject*) override { return validates; }

    int clicks = 0, doubleClicks = 0, controlClicks = 0;
    std::vector<std::pair<std::string, IndexSet>> processed;
    std::vector<std::string> dragTypes {NSFilenamesPboardType, NSURLPboardType};
    bool validates = true;
    bool answerMenu = true;
    QMenu menu;
    ListDataSource* source = nullptr;
};

// A grid over `source` in `area` (no frame, a vertical scroll bar) showing `columns` cells of
// 128 points across and `rows` rows (the last may show in part).
inline ThumbnailsView* gridInScrollArea(QScrollArea& area, ThumbnailsViewDataSourceProtocol& source, int columns,
                                        double rows)
{
    area.setFrameShape(QFrame::NoFrame);
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* grid = new ThumbnailsView;
    area.setWidget(grid);
    grid->setDataSource(&source);
    area.resize(columns * 128 + area.verticalScrollBar()->sizeHint().width(),
                int(rows * grid->gridDimentions().height()));
    return grid;
}

inline Ref<MultiImage> heldImage(const QImage& image)
{
    return MultiImage::createWithPlatformImage(PlatformImage::fromQImage(image));
}

} // namespace vistel::test
