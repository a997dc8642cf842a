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
// The sidebar (BrowserPanel) is docked on the left under "Browse", as wide as "BrowserPanel.Width"
// says; the width it has when the mode goes is stored there again. The other panels are added by
// the parts that build them.
//
// Thread rules: main thread.

#include <QPointer>

#include <map>
#include <string>
#include <vector>

#include "Application/BasicModeController.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"

class QAction;
class QImage;
class QWidget;

namespace vistel {

class ActionButton;
class BrowserPanel;

class BrowsingModeController : public BasicModeController {
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
    // The sidebar, docked on the left under "Browse"; null once the layout let it go.
    BrowserPanel* browserPanel() const { return browserPanelView_ ? browserPanel_ : nullptr; }
    // The main window asks for the start location: the sidebar selects it.
    void selectDefaultItem() override;

    // Tool bar delegate.
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    // Nil for another mode's tool bar; an unknown identifier raises
    // "Cannot construct toolbar item with identifier '…' for toolbar '…'".
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                          bool willBeInserted) override;
    void toolbarWillAddItem(WindowToolbar& toolbar, QAction* item) override;

    // "GoRight" turned to point up, the same pixel size.
    static QImage upArrowImage();
    // Validates the segments of the segmented controls.
    void validateSegments();

private:
    QAction* makeItem(const std::string& identifier);
    QAction* makeSegmentedItem(const std::string& identifier, const std::string& label,
                               const std::vector<std::tuple<QImage, std::string, std::string>>& segments);

    Ref<BrowsingUAHandler> handler_;
    Ref<BrowsingSelection> browsingSelection_;
    std::vector<QPointer<ActionButton>> segments_;
    BrowserPanel* browserPanel_ = nullptr;
    QPointer<QWidget> browserPanelView_; // null once the panel is gone
};

} // namespace vistel
