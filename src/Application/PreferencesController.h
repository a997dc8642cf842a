#pragma once
// PreferencesController: the preferences window. One pane at a time, chosen from the window's
// toolbar (one selectable item per pane, in the order the panes were added); the window takes
// the size of the chosen pane and keeps its top edge where the screen allows.
//
// Panes come from providers looked up by name ("GeneralPreferencePanesController" supplies
// General, Manage, View, Software Update and Print); a pane key added twice is refused. The
// window: a tool window over the main window, 0.9 opaque (where a compositor draws opacity),
// hidden while the program is inactive and shown again when it comes back, focusable so the
// keyboard reaches the controls; title "Preferences"; Escape and Ctrl+W close it; its toolbar
// is neither customisable nor stored.
//
// Thread rules: main thread only. The Application owns the one controller, made on first use.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QRect>
#include <QSize>

#include "Platform/Gui/WindowToolbar.h"
#include "ZovClass.h"

class QWidget;

namespace vistel {

class PreferencePane;

// Where the window goes when its pane area becomes `paneSize` (all rectangles y-down, window
// geometry without the window manager's frame): the size is the pane plus `chrome`; the top
// edge stays. The first time it is centred in `visible`; later it is kept inside `visible`:
// moved left to end at its right edge, then not left of it; moved up to end at its bottom edge,
// then not above its top edge (the top wins on a screen too small).
QRect preferencesWindowFrame(const QRect& frame, QSize chrome, QSize paneSize, bool firstShow, const QRect& visible);

class PreferencesController : public WindowToolbarDelegate {
public:
    ZOV_ROOT_CLASS(PreferencesController)
    static constexpr const char* ToolbarIdentifier = "PreferencesControllerToolbarIdentifier";

    // Adds the panes of "GeneralPreferencePanesController"; a missing provider or a refused
    // pane is a failed assertion.
    PreferencesController();
    ~PreferencesController() override;
    PreferencesController(const PreferencesController&) = delete;
    PreferencesController& operator=(const PreferencesController&) = delete;

    using Provider = const std::vector<PreferencePane*>& (*)();
    // Providers by name; the general one is always there.
    static void registerPanesProvider(const std::string& name, Provider provider);

    // True when every pane of the named provider was added.
    bool addPreferencePanes(const std::string& providerName);
    // False when a pane of that key is there already.
    bool addPreferencePane(PreferencePane* pane);

    void showPreferences();
    void makeWindow();
    // The shown pane's key, "" before the first.
    std::string currentPaneKey() const { return currentPaneKey_; }
    // Shows the pane (making the window first); an unknown key is a failed assertion.
    void setCurrentPaneKey(const std::string& key);
    void toolbarItemClicked(const std::string& identifier);

    const std::vector<std::string>& panesOrder() const { return panesOrder_; }
    PreferencePane* pane(const std::string& key) const;
    QWidget* window() const { return window_; }
    WindowToolbar* toolbar() const { return toolbar_; }

    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    std::vector<std::string> toolbarSelectableItemIdentifiers(WindowToolbar& toolbar) override;
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                          bool willBeInsertedIntoToolbar) override;

private:
    class Window;
    std::vector<std::string> panesOrder_;
    std::map<std::string, PreferencePane*> panes_;
    std::string currentPaneKey_;
    QWidget* window_ = nullptr; // owned
    QWidget* paneHost_ = nullptr;
    WindowToolbar* toolbar_ = nullptr;
    bool shownOnce_ = false;
    bool hiddenWhileInactive_ = false;
};

} // namespace vistel
