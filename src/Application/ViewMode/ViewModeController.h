#pragma once
// The view mode: a second window mode beside browse mode ("View"), showing one large picture.
//
// Layout: the centre is an ImageScrollView (the picture in a scroll area, a bottom bar with
// rotate left, rotate right and the zoom slider 0.1 to 10); below it a dock "View" holds a
// one-row thumbnail strip of the same picture list; a dock on the right may host a metadata
// panel (setMetadataPanel; shown and hidden by "showHidePropertiesPanel:"). The mode has its
// own full-screen controller and tool bar items (first, previous, next, last, zoom in, zoom
// out, full screen).
//
// It shows browse mode's picture list (browsingCachedPicturesViewController of the main window's
// browse mode): activating the mode attaches the list to the picture view; deactivating it
// selects the picture shown in the browsing selection (its place among the listed items,
// folders included) and stops the list. The program itself never makes this mode; whoever
// adds it to the main window does (MainWindow::addController, then setUp()).
//
// Keys on the picture: the full-screen key table (FullScreenController::actionForKey). The
// zoom mode follows the preference "ViewPanel.DefaultZoomMode" while the mode lives. The zoom
// slider and the view's zoom value follow each other; while the slider is held down the view
// draws a reduced picture, and the full one once it is let go.
//
// Validation: first/previous need a current picture that is not the first, next/last one that
// is not the last (the actions themselves wrap); rotate needs a current picture; zoom goes to
// the picture view; full screen is always on. Other actions of the shell are off here.
//
// Thread rules: main thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QScrollArea>
#include <QWidget>

#include "Application/BasicModeController.h"
#include "Application/BasicUIHandler.h"
#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Application/Viewer/CachedImageView.h"
#include "Application/Viewer/FullScreenController.h"
#include "Application/Viewer/ImageInformationArrayController.h"
#include "Common/Views/GTBottomToolbarStyle.h"

class QAction;

namespace vistel {

class CachedPicturesViewController;
class SliderWithButtons;
class ThumbnailsView;
class ViewModeController;
class ZovDock;

// The mode's handler: it validates nothing of its own (every shell action is off here).
class ViewUIHandler : public BasicUIHandler {
public:
    using BasicUIHandler::BasicUIHandler;
    bool validateUserAction(const std::string&, Object*, const Items*, const QMimeData*, QObject*) override
    {
        return false;
    }
};

// The picture in the scroll area: fitted to the scroll area, scrollers where the zoomed
// picture is larger than it.
class ViewModeImageView : public CachedImageView {
public:
    ViewModeImageView(ViewModeController& controller, QScrollArea& scrollArea);

    QSizeF enclosingScrollViewSize() const override;
    QSizeF superViewSize() const override;
    // Sizes the view to the zoomed picture along each axis where that is larger than the scroll
    // area (that axis's scroller on), else to the scroll area (scroller off).
    bool updateFrame() override;
    // While the zoom slider is held down.
    bool fastImageDraw() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    ViewModeController& controller_;
    QScrollArea& scrollArea_;
};

// The central view: the picture's scroll area above the bottom bar.
class ImageScrollView : public QWidget {
public:
    explicit ImageScrollView(ViewModeController& controller);
    ~ImageScrollView() override;

    ViewModeImageView* imageView() const { return imageView_; }
    QScrollArea* scrollArea() const { return scrollArea_; }
    ZovButtonsStatusUpdater& buttonsStatusUpdater() const { return *buttonsStatusUpdater_; }
    QWidget* controlPanelControlByID(std::uint32_t identifier) const;
    SliderWithButtons* zoomSlider() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QScrollArea* scrollArea_;
    ViewModeImageView* imageView_;
    QWidget* toolbar_;
    std::unique_ptr<ZovButtonsStatusUpdater> buttonsStatusUpdater_;
    int zoomObserver_ = -1;
};

class ViewModeController : public BasicModeController,
                           public FullScreenModeDataSource,
                           public ThumbnailsViewDataSourceProtocol,
                           public ItemsViewUserActionsProtocol,
                           public ZovButtonsStatusUpdaterDataSource,
                           public ArrayControllerObserver {
public:
    ZOV_CLASS(ViewModeController, BasicModeController)

    static constexpr const char* ControllerID = "ViewModeControllerControllerID";
    // The slider's action: the zoom value from the sender.
    static constexpr const char* TakeZoomAction = "takeZoomValueFrom:";

    explicit ViewModeController(MainWindow* mainWindowController);
    ~ViewModeController() override;

    std::string controllerID() const override { return ControllerID; }
    std::string controllerUIName() const override;
    // The main window's item for switching to this mode (the caller owns it).
    static QAction* controllerToolbarItem();

    void initWindowLayout() override;
    void setActive(bool active) override;

    // --- parts ------------------------------------------------------------------------------
    ImageScrollView* imageScrollView() const { return imageScrollView_; }
    ViewModeImageView* imageView() const;
    FullScreenController* fullScreenController() const { return fullScreenController_.get(); }
    ThumbnailsView* thumbnailsView() const { return thumbnailsView_; }
    // The full-screen view while full screen is on, else the picture view.
    CachedImageView* activeView() const;
    CachedPicturesViewController* browsingCachedPicturesViewController() const override;
    QWidget* fullScreenReferenceWindow() const override;

    // The panel the right-hand "Metadata" dock shows (hidden until asked for); replaces any
    // earlier one. Null: none (the show/hide command is then off).
    void setMetadataPanel(QWidget* panel);
    QWidget* metadataPanel() const { return metadataPanel_; }
    bool isMetadataPanelVisible() const;
    void showHidePropertiesPanel();

    // --- full screen --------------------------------------------------------------------------
    void setFullScreenModeState(FullScreenController& controller, bool isStarted) override;

    // --- routing ----------------------------------------------------------------------------
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;
    // Steps by the key table; answers whether the key was one of it.
    bool keyDownEvent(const QKeyEvent& event);

    // --- tool bar -----------------------------------------------------------------------------
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;

    // --- the strip ------------------------------------------------------------------------------
    unsigned foldersObjectsCount() const override;
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override;
    unsigned selectedFoldersCount() const override;
    Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned index) const override;
    IndexSet selectedItemsIndexes() const override;
    void setSelectedItemsIndexes(const IndexSet& indexes) override;
    std::optional<IndexSet> highlightedItemsIndexes() const override { return std::nullopt; }
    std::uint64_t dropFolderIndex() const override { return NSNotFound; }
    bool isViewActive() const override;
    void itemsViewPerformClick(QWidget*) override { }
    void itemsViewPerformDoubleClick(QWidget* view) override;
    QMenu* itemsViewPerformControlClick(QWidget*) override { return nullptr; }
    bool processItems(const IndexSet&, const std::string&, QObject*) override { return false; }
    std::vector<std::string> pasteboardDragTypesForItemsView(QWidget*) override { return {}; }
    bool validateUserInterfaceItem(QObject*) override { return false; }

    // --- the bottom bar -------------------------------------------------------------------------
    std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater& updater) override;
    QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater& updater) override;

    // --- the list -------------------------------------------------------------------------------
    void observeValueForKeyPath(const std::string& keyPath, ImageInformationArrayController& controller,
                                const ArrayControllerChange& change) override;

protected:
    QAction* makeToolbarItem(const std::string& identifier) override;

private:
    void installActions();
    void applyZoomModePreference();
    void insertMetadataPanel();
    void scrollStripToCurrent();

    ImageScrollView* imageScrollView_ = nullptr;
    std::unique_ptr<FullScreenController> fullScreenController_;
    QPointer<ThumbnailsView> thumbnailsView_;
    QPointer<QScrollArea> strip_;
    QPointer<QWidget> metadataPanel_;
    ZovDock* metadataDock_ = nullptr; // while docked
    std::uint64_t zoomModeObserver_ = 0;
    bool observingList_ = false;
};

} // namespace vistel
