#pragma once
// ThumbnailsViewControl: the items view control whose view is the thumbnail grid
// (ThumbnailsView) in a vertically scrolling QScrollArea.
//
// The grid's appearance follows the preferences: twelve keys are bound to grid properties
// (continuously: a change of the preference shows at once), and "ThumbnailStyle.Spacing" is
// observed and sets both item spacings (nothing when the grid already has that spacing):
//   ThumbnailStyle.HighQualityScaling -> useHighQualityScaling, .ShowDropShadow -> useShadowBorder,
//   .ShowFrame -> useOutlineBorder, .ShowSlideBackground -> useSlideBackGround,
//   .ShowSlideBorder -> useSlideBorder, .Size -> itemSize;
//   ThumbnailInfo.Information.FileName -> showFileName; ThumbnailInfo.Overlays.Rating /
//   .Tagged / .Locked / .Category / .Icon / .AutoRotate -> showRating ... showAutoRotate.
//
// A drop over a folder's thumbnail goes into that folder; elsewhere into the one selected
// folder. Moving the control into a window again makes the grid rebuild its image caches.
//
// Thread rules: main thread only (preference changes from other threads are carried over).

#include <QScrollArea>

#include "Application/BrowseMode/ItemsViewControl.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "Platform/UserDefaults.h"

namespace vistel {

class ThumbnailsViewControl : public ItemsViewControl {
public:
    ZOV_CLASS(ThumbnailsViewControl, ItemsViewControl)

    // The preference key and the grid property bound to it.
    struct PreferenceBinding {
        const char* key;
        const char* binding;
    };
    static const std::vector<PreferenceBinding>& preferenceBindings();
    static constexpr const char* SpacingKey = "ThumbnailStyle.Spacing";

    explicit ThumbnailsViewControl(QWidget* parent = nullptr);
    ~ThumbnailsViewControl() override;

    ThumbnailsView* thumbnailsView() const { return grid_; }
    QScrollArea* scrollView() const { return scrollView_; }
    ItemsViewProtocol* itemsView() const override { return grid_; }
    QWidget* itemsViewWidget() const override { return grid_; }

    void reloadData() override;
    void updateItemWithIndex(unsigned index) override;
    void updateItemWithIndexes(const IndexSet& indexes) override;
    IndexSet visibleItemsIndexSet() const override;
    void scrollToItemWithIndex(unsigned index) override;
    Ref<FileSystemItemMO> dropFolderForDrop(QPoint point) const override;
    // Sets both spacings from "ThumbnailStyle.Spacing" unless the grid has that spacing.
    void applySpacingPreference();

protected:
    bool event(QEvent* event) override;

private:
    ThumbnailsView* grid_ = nullptr;
    QScrollArea* scrollView_ = nullptr;
    UserDefaults::ObserverToken spacingObserver_ = 0;
};

} // namespace vistel
