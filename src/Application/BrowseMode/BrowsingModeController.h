#pragma once
// BrowsingModeController: the main window's mode for managing pictures ("Manage"). It makes the
// browse mode's user-action handler (BrowsingUAHandler) and its one BrowsingSelection, and is
// the delegate of the mode's tool bar (identifier "BrowsingModeControllerIdentifier", the
// mode's own identifier).
//
// Tool bar items are made once per identifier and kept (asking twice gives the same item;
// an item the tool bar deleted is made again). Segmented controls are rows of ActionButtons,
// each with its own tool tip and enabled state; the segments validate against the window's
// responder chain whenever the window updates, so they light up as their actions go live.
//
// The navigation history follows the sidebar (historySidebar()); the tool bar's
// "historyNavigator" segments then send "actionBrowse:" to this mode, which hands it to the
// handler, and take their tool tips and enabled states from the history. The mouse's Back /
// Forward buttons over the mode's views send "backward:" / "forward:" (Alt+Left / Alt+Right are
// the main menu's Back and Forward, which reach the mode through the window's chain).
// The status bar shows the browsing selection.
//
// The right-hand tabbed panel (DynamicTabbedPanel) holds the "Organize" tab (OrganizePanel) and
// the "Properties" tab (MetadataPanel, hidden until chosen when the remembered tabs do not name
// it); both are handed the browsing selection. Their
// show/hide commands come through this controller, which passes them on to the panel and keeps
// the panel's dock in step with it: docked on the right while a tab is visible (also at start,
// when the remembered tabs are shown), taken out when none is left. Their menu items are
// validated by the panel (title, check mark).
//
// The items panel (ItemsPanel) is the central view of the docking frame; its mode starts from
// the preference "ItemsView.DefaultMode" (thumbnails when unset) and the "View" item's segments
// follow it.
//
// The sidebar (BrowserPanel) is docked on the left under "Browse", as wide as "BrowserPanel.Width"
// says; the width it has when the mode goes is stored there again.
//
// The picture viewer: the mode owns the picture list over its browsing selection
// (browsingCachedPicturesViewController) and a full-screen controller, whose owner it is.
// "goFullScreen:" switches full screen on and off on the main window's screen; leaving it
// scrolls the items view to the picture shown last (its place among the selection's listed
// items, folders included) and stops the list.
//
// Thread rules: main thread.

#include <QPointer>

#include <map>
#include <string>
#include <vector>

#include "Application/BasicModeController.h"
#include "Application/BrowseMode/BrowserPanelHistory.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/DynamicTabbedPanel.h"
#include "Application/BrowseMode/MetadataPanel.h"
#include "Application/BrowseMode/OrganizePanel.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/FullScreenController.h"

class QAction;
class QImage;
class QWidget;

namespace vistel {

class ActionButton;
class ItemsPanel;
class BrowserPanel;

class BrowsingModeController : public BasicModeController, public FullScreenModeDataSource {
public:
    ZOV_CLASS(BrowsingModeController, BasicModeController)

    static constexpr const char* ControllerID = "BrowsingModeControllerIdentifier";
    // Makes the main window build this mode.
    static void registerMode();

    explicit BrowsingModeController(MainWindow* mainWindowController);
    ~BrowsingModeController() override;

    std::string controllerID() const override { return ControllerID; }
    std::string controllerUIName() const override;
    // The main window's item for switching to this mode (the caller owns it).
    static QAction* controllerToolbarItem();

    void initWindowLayout() override;

    BrowsingSelection* browsingSelection() const { return browsingSelection_.get(); }
    const ItemList& browsingSelectedFolders() const;
    BrowsingUAHandler* browsingHandler() const { return handler_.get(); }
    BrowserPanelHistory* navigationHistory() const { return navigationHistory_.get(); }
    OrganizePanel* organizePanel() const { return organizePanel_; }
    MetadataPanel* metadataPanel() const { return metadataPanel_; }
    DynamicTabbedPanel* rightTabbedPanel() const { return rightTabbedPanel_; }

    // Tab commands go to the right tabbed panel; the rest as the base routes them.
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;
    // Docks the tabbed panel on the right (280 wide, 560 high by preference).
    void insertRightDynamicTabbedPanel();
    // The centre of the window: the items as thumbnails or a list.
    ItemsPanel* itemsPanel() const;

    // Activating the mode gives the items view the keyboard focus.
    void setActive(bool active) override;
    // The "View" item's segments follow the items panel's mode (user info "currentMode").
    void onViewModeChanged(const Notification& notification);
    // The sidebar, docked on the left under "Browse"; null once the layout let it go.
    BrowserPanel* browserPanel() const { return browserPanelView_ ? browserPanel_ : nullptr; }
    // The main window asks for the start location: the sidebar selects it.
    void selectDefaultItem() override;
    // As the window closes (and when the mode goes) the items panel's mode is kept under
    // "ItemsView.DefaultMode", the mode the next window starts in.
    void windowWillClose() override;

    // Tool bar delegate.
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    void toolbarWillAddItem(WindowToolbar& toolbar, QAction* item) override;

    // "GoRight" turned to point up, the same pixel size.
    static QImage upArrowImage();
    // Validates the segments of the segmented controls.
    void validateSegments();

    // The picture viewer's list and full screen.
    CachedPicturesViewController* browsingCachedPicturesViewController() const override { return cachedPictures_.get(); }
    FullScreenController* fullScreenController() const { return fullScreenController_.get(); }
    void setFullScreenModeState(FullScreenController& controller, bool isStarted) override;
    QWidget* fullScreenReferenceWindow() const override;

protected:
    // The sidebar the navigation history follows; none (and no history) until there is one.
    virtual IBrowserPanelHistorySource* historySidebar();

protected:
    // An unknown identifier raises "Cannot construct toolbar item with identifier '…' for
    // toolbar '…'".
    QAction* makeToolbarItem(const std::string& identifier) override;

private:
    void storeItemsViewMode();
    void installNavigationKeys();
    QAction* makeItem(const std::string& identifier);
    // Presses segment 0 of the "View" item for the list mode, segment 1 for the thumbnails mode,
    // neither for the null mode (nullopt: the items panel's current mode); nothing before the
    // item is made.
    void checkViewModeSegment(std::optional<std::string> mode = std::nullopt);
    QAction* makeSegmentedItem(const std::string& identifier, const std::string& label,
                               const std::vector<std::tuple<QImage, std::string, std::string>>& segments);

    Ref<BrowsingUAHandler> handler_;
    Ref<BrowsingSelection> browsingSelection_;
    QPointer<OrganizePanel> organizePanel_;
    QPointer<MetadataPanel> metadataPanel_;
    QPointer<DynamicTabbedPanel> rightTabbedPanel_;
    std::vector<QPointer<ActionButton>> segments_;
    Ref<BrowserPanelHistory> navigationHistory_;
    QPointer<ItemsPanel> itemsPanel_;
    BrowserPanel* browserPanel_ = nullptr;
    QPointer<QWidget> browserPanelView_; // null once the panel is gone
    Ref<CachedPicturesViewController> cachedPictures_;
    std::unique_ptr<FullScreenController> fullScreenController_; // goes before the list
};

} // namespace vistel
