#pragma once
// BasicModeController: the base of every window mode (browse mode; a view mode where one exists).
//
// A mode owns its docking frame (a ZovMainWindow on its own host view, the "container"), the
// 24-pixel status band at the bottom of that host, and its tool bar (made on first use, items
// from the mode as the tool bar's delegate, configuration autosaved). setActive(true) puts the
// container into the main window as its content (the window's previous content is taken out,
// not deleted) and the mode's tool bar into the window.
//
// Actions: a mode is a Responder. What its own table does not hold goes to its user-action
// handler: respondsToAction asks the handler's respondsToUserActionSelector, performAction runs
// the handler's processItems (no items, no location, the clipboard, the mode as sender), and
// validation asks the handler's validateUserAction.
//
// Subclasses give their identifier (controllerID), name and panels (initWindowLayout).
//
// Thread rules: main thread.

#include <map>
#include <memory>
#include <string>

#include <QAction>
#include <QPointer>
#include <QRect>

#include "Application/BasicUIHandler.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/WindowToolbar.h"
#include "ZovClass.h"

class QWidget;

namespace vistel {

class MainWindow;
class Window;
class ZovMainWindow;

class BasicModeController : public Responder, public WindowToolbarDelegate {
public:
    ZOV_ROOT_CLASS(BasicModeController)

    static constexpr int StatusBarHeight = 24;

    explicit BasicModeController(MainWindow* mainWindowController);
    ~BasicModeController() override;

    // Lays the mode out (initWindowLayout) and gives the window its content limits. Called once
    // by whoever made the mode, after construction.
    void setUp();

    // The mode's identifier; the base raises "controllerID" ("Please ovverride this method").
    virtual std::string controllerID() const;
    virtual std::string controllerUIName() const { return "<undefined>"; }
    static std::string groupToolbarItemID() { return "BrowsingModeControllerGroupToolbarItemID"; }

    // What a mode lays out, shows or stores at the main window's moments; the base has nothing
    // to add at any of them.
    virtual void initWindowLayout() { }
    virtual void selectDefaultItem() { }
    virtual void showFileAtPath(const std::string&) { }
    virtual void windowWillClose() { }
    virtual void setActive(bool active);

    MainWindow* mainWindowController() const { return mainWindowController_; }
    Window* parentWindow() const;
    ZovMainWindow* layoutController() const { return layoutController_; }
    QWidget* containerView() const;
    QRect statusBarContainerSize() const;
    QWidget* statusBarContainerView() const { return statusBarContainerView_; }
    // The mode's status bar panel (a WindowStatusBarPanel from the start) goes into the band
    // (frame 0, 0, band width - 100, band height); a new panel replaces and deletes the old one.
    void setStatusPanel(QWidget* panel);
    QWidget* statusPanel() const { return statusPanel_; }
    // Places the band and its panel for the container's size (done on every resize).
    void layoutStatusBand();

    BasicUIHandler* uiHandler() const { return uiHandler_.get(); }
    void setUIHandler(Ref<BasicUIHandler> handler) { uiHandler_ = std::move(handler); }

    WindowToolbar* controllerToolBar();

    // Tool bar delegate: no items of its own for its tool bar; nothing for another. An item
    // is made once (makeToolbarItem) and kept; one the tool bar deleted is made again.
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                          bool willBeInserted) final;

    // Routing.
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;
    virtual void keyDown(QObject* event);

    // The main window's modes.
    BasicModeController* browsingModeController() const;
    BasicModeController* viewModeController() const;

protected:
    // The mode's tool bar item `identifier`, made new; null when the mode has none.
    virtual QAction* makeToolbarItem(const std::string& identifier);

    std::map<std::string, QWidget*> dockForPanel;
    // Items made for the tool bar, by identifier; an item the tool bar deleted reads null.
    std::map<std::string, QPointer<QAction>> toolbarItemForIdentifier;

private:
    MainWindow* mainWindowController_;
    ZovMainWindow* layoutController_ = nullptr;
    QPointer<QWidget> container_;
    QPointer<QWidget> statusBarContainerView_;
    QPointer<QWidget> statusPanel_;
    Ref<BasicUIHandler> uiHandler_;
    QPointer<WindowToolbar> toolbar_;
};

} // namespace vistel
