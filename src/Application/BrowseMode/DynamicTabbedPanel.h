#pragma once
// DynamicTabbedPanel: the right-hand side panel of browse mode. It lives in a dock whose caption
// bar holds a segmented control (a QButtonGroup of checkable buttons) with one segment per
// visible tab; the content area shows the view of the selected tab. With a single visible tab
// the control is hidden and the caption reads the tab's name.
//
// Tabs are shown and hidden by their show/hide commands ("showHideOrganizePanel:"): each tab
// names its command, the title of its menu item and its place among all tabs, which orders the
// visible ones. The panel answers those commands (respondsToAction, performAction) and
// validates their menu items: the item reads the tab's menu title, checked while the tab is
// visible. The panel is not in any window's responder chain itself: whoever shows it forwards
// the commands (the browse mode controller, which docks the panel when a tab first shows and
// takes the dock out when none is left).
//
// With autosaving on, the names of the visible tabs are kept in the user defaults under
// "DynamicTabbedPanel" (the class name) after every show and hide, except the hiding of the
// last one; switching autosaving on loads that list (all tabs when it names none).
//
// Ownership: create() makes the panel's dock and hands it to the frame, which owns it (and the
// dock the panel); the dock is placed in no area until its owner docks it. The tabs' views
// belong to the panel.
//
// Thread rules: main thread only.

#include <functional>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "Platform/Gui/Responder.h"
#include "ZovClass.h"

class QButtonGroup;

namespace vistel {

class ZovDock;
class ZovMainWindow;

class DynamicTabbedPanel : public QWidget {
public:
    ZOV_ROOT_CLASS(DynamicTabbedPanel)

    // The user-defaults key of the visible tabs.
    static constexpr const char* PreferencesKey = "DynamicTabbedPanel";

    struct Tab {
        std::string name;       // segment label and tool tip; the caption when alone
        QPointer<QWidget> view; // the content
        std::string menu;       // title of the show/hide menu item
        int index = 0;          // place among all tabs; orders the visible ones
        std::string selector;   // the show/hide command
    };

    // A panel in a new dock held by `frame`, placed in no area yet.
    static DynamicTabbedPanel* create(ZovMainWindow& frame);
    ~DynamicTabbedPanel() override;

    ZovDock* dock() const { return dock_; }

    // Inserts a tab among all tabs at `index` (clamped); it is not made visible. The panel takes
    // the view.
    void addTab(std::string name, QWidget* view, std::string showHideSelector, std::string menu, int index);
    void setAutosaveTabs(bool autosave);
    bool autosaveTabs() const { return saveToPrefs_; }
    void loadFromPrefs();
    void saveToPrefs() const;

    // Place of the tab among all tabs, or -1.
    int tabIndexBySelector(const std::string& selector) const;
    const Tab* tabBySelector(const std::string& selector) const;
    bool tabIsVisible(const Tab& tab) const;
    void setVisible(bool visible, const Tab& tab);
    // Toggles the tab of that command; false when no tab has it.
    bool showHideTabBySelector(const std::string& selector);
    // Takes the tab of that command out of the visible tabs.
    void removeTabBySelector(const std::string& selector);
    void selectTabByIndex(int index);
    // The tab of the clicked segment.
    void selectTabInDynamicTabbedPanel(int segment);

    // Command routing, for whoever forwards the tab commands.
    bool respondsToAction(const std::string& action) const;
    bool performAction(const std::string& action);
    // True exactly for tab commands; a menu item of one reads the tab's menu title and is
    // checked while the tab is visible.
    bool validateUserInterfaceItem(const UserInterfaceItem& item) const;

    // The panel is hidden while no tab is visible.
    bool isPanelHidden() const { return panelHidden_; }
    const std::vector<Tab>& visibleTabs() const { return tabs_; }
    const std::vector<Tab>& allTabs() const { return allTabs_; }
    // The selected segment, or -1.
    int selectedSegment() const;
    QWidget* segmentedControl() const { return segmentedControl_; }
    QButtonGroup* segments() const { return segments_; }

    // Places the control in the caption bar: centred, as wide as it wants up to the bar's
    // width, 2 pixels below the bar's top.
    void segmentedControlFrameChanged();
    // Fills the control from a tab list.
    void applyInfo(const std::vector<Tab>& tabs);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DynamicTabbedPanel();
    void setSelectedSegment(int segment);
    void setPanelHidden(bool hidden);

    std::vector<Tab> tabs_;
    std::vector<Tab> allTabs_;
    QPointer<QWidget> segmentedControl_;
    QButtonGroup* segments_ = nullptr;
    ZovDock* dock_ = nullptr;
    bool saveToPrefs_ = false;
    bool panelHidden_ = false;
    QPointer<QWidget> currentView_;
};

} // namespace vistel
