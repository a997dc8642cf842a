#pragma once
// WindowToolbar: a window's tool bar of identified items, laid out by its delegate and kept
// across runs (a QToolBar underneath).
//
// Every item has a string identifier. The delegate lists the identifiers allowed and the
// default ones and makes the item for an identifier (an ActionItem, or a QWidgetAction for a
// control); the standard identifiers (separator, space, flexible space, customise) are made
// here. A delegate may keep its items and give the same one again: an item shown again is
// kept, and only the toolbar's own items that no longer show are deleted. What the toolbar shows is its list of identifiers: the autosaved one when the
// configuration is autosaved and one is stored, else the delegate's defaults. Every change of
// the list or of the shown state is stored, with autosave on (once the list is known: stored,
// set, or the delegate's defaults), under
// "NSToolbar Configuration <identifier>" as {"TB Item Identifiers", "TB Is Shown",
// "TB Display Mode"}. The customise dialog lets the user add allowed items, remove and reorder
// items, and go back to the defaults.
//
// Display modes: 0 default, 1 icon and label, 2 icon only, 3 label only. Size modes: 0 default,
// 1 regular, 2 small.
//
// Thread rules: main thread only.

#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QToolBar>

class QAction;

namespace vistel {

class UserDefaults;
class WindowToolbar;

inline constexpr const char* NSToolbarSeparatorItemIdentifier = "NSToolbarSeparatorItem";
inline constexpr const char* NSToolbarSpaceItemIdentifier = "NSToolbarSpaceItem";
inline constexpr const char* NSToolbarFlexibleSpaceItemIdentifier = "NSToolbarFlexibleSpaceItem";
inline constexpr const char* NSToolbarCustomizeToolbarItemIdentifier = "NSToolbarCustomizeToolbarItem";

class WindowToolbarDelegate {
public:
    virtual ~WindowToolbarDelegate() = default;
    // nullopt: this delegate has nothing for that toolbar.
    virtual std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) = 0;
    virtual std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) = 0;
    // A new item (the toolbar takes it), or null for an identifier the delegate does not know.
    virtual QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                                  bool willBeInsertedIntoToolbar) = 0;
    virtual void toolbarWillAddItem(WindowToolbar&, QAction*) { }
    // The identifiers whose items show a selection (one at a time); none by default.
    virtual std::vector<std::string> toolbarSelectableItemIdentifiers(WindowToolbar&) { return {}; }
};

class WindowToolbar : public QToolBar {
public:
    explicit WindowToolbar(std::string identifier, QWidget* parent = nullptr);
    ~WindowToolbar() override;

    const std::string& identifier() const { return identifier_; }
    WindowToolbarDelegate* delegate() const { return delegate_; }
    void setDelegate(WindowToolbarDelegate* delegate);
    int displayMode() const { return displayMode_; }
    void setDisplayMode(int mode);
    int sizeMode() const { return sizeMode_; }
    void setSizeMode(int mode);
    bool allowsUserCustomization() const { return allowsCustomization_; }
    void setAllowsUserCustomization(bool allows) { allowsCustomization_ = allows; }
    bool autosavesConfiguration() const { return autosaves_; }
    // Turning autosave on reads the stored configuration (when there is one).
    void setAutosavesConfiguration(bool autosaves, UserDefaults* defaults = nullptr);
    bool isShown() const { return shown_; }
    void setShown(bool shown);

    static std::string configurationKey(const std::string& identifier) { return "NSToolbar Configuration " + identifier; }

    // The identifiers shown, in order, and their items.
    const std::vector<std::string>& itemIdentifiers() const { return identifiers_; }
    QAction* itemAt(std::size_t index) const;
    // Edits (what the customise dialog does); each stores the configuration.
    bool insertItemWithItemIdentifier(const std::string& identifier, std::size_t index);
    void removeItemAtIndex(std::size_t index);
    void moveItem(std::size_t from, std::size_t to);
    void resetToDefaults();
    void setItemIdentifiers(const std::vector<std::string>& identifiers);

    std::vector<std::string> allowedItemIdentifiers();
    std::vector<std::string> defaultItemIdentifiers();

    // The selected item: checked, the others of the selectable ones unchecked. An identifier
    // that is not selectable selects nothing.
    const std::string& selectedItemIdentifier() const { return selected_; }
    void setSelectedItemIdentifier(const std::string& identifier);

    // The customise dialog (modal).
    void runCustomizationPalette();

private:
    QAction* makeItem(const std::string& identifier, bool willBeInserted);
    void rebuild();
    void store();
    void showSelection();

    std::string identifier_;
    std::string selected_;
    WindowToolbarDelegate* delegate_ = nullptr;
    UserDefaults* defaults_ = nullptr;
    int displayMode_ = 0;
    int sizeMode_ = 0;
    bool allowsCustomization_ = false;
    bool autosaves_ = false;
    bool shown_ = true;
    bool configured_ = false; // the identifiers came from a stored configuration or a caller
    std::vector<std::string> identifiers_;
    // Delegates may keep and hand back their items, and items may go while shown.
    std::vector<QPointer<QAction>> items_;
};

} // namespace vistel
