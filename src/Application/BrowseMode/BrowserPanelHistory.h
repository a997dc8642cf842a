#pragma once
// BrowserPanelHistory: the navigation history of the browse window. It records the successive
// selections of the sidebar so that the user can go back, forward and up to the enclosing
// folder, and drives the three segments of the tool bar's navigation item (0 back, 1 forward,
// 2 up): their tool tips ("Back to "A"", "Forward to "B/C"", "Up to "D"") and whether each is
// enabled.
//
// An entry is the list of sidebar items that were selected together, in row order, held by
// Ref: an item that left the sidebar (an unmounted stick) stays a valid object, its row is
// simply not found, and going to its entry selects nothing. At most 20 entries are kept; the
// 21st drops the oldest. Selecting in the sidebar after going back discards the entries after
// the current one. Changes the history makes to the sidebar's selection are not recorded.
//
// What the history needs of the sidebar is IBrowserPanelHistorySource; the sidebar tells of
// its selection changes by posting "BrowserPanelSelectionChangedNotification" with
// historyNotificationSender() as object. The catalogue's "cleared" callback (no item, reload)
// empties the history.
//
// Thread rules: main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/IndexSet.h"
#include "Platform/Object.h"
#include "ZovClass.h"

namespace vistel {

inline constexpr const char* BrowserPanelSelectionChangedNotification = "BrowserPanelSelectionChangedNotification";

// What the navigation history asks of the sidebar. Items are the sidebar's row items (catalogue
// items, places), compared by identity.
class IBrowserPanelHistorySource {
public:
    // The object the sidebar posts "BrowserPanelSelectionChangedNotification" with.
    virtual const Object* historyNotificationSender() const = 0;
    // The items of the selected rows, in ascending row order, keeping only file-system items
    // (those with a name and a path: catalogue items and places, not group rows).
    virtual std::vector<Ref<Object>> historySelectedItems() const = 0;
    // Whether the item is a file-system item as above.
    virtual bool historyIsFileSystemItem(const Object& item) const = 0;
    // The name a tool tip shows for a file-system item.
    virtual std::string historyItemName(const Object& item) const = 0;
    // The item's parent row in the tree (a group row included), or null for a top-level row or
    // an item the tree does not hold.
    virtual Ref<Object> historyParentForItem(const Object& item) const = 0;
    // Makes the item's row exist: expands the sidebar group of its outermost ancestor that has
    // one, then every ancestor in the tree from the outermost down. Answers the item's row, or -1
    // when the tree does not show it (an item of a volume that is gone).
    virtual int historyRevealItem(const Object& item) = 0;
    // Selects exactly these rows (not extending) and scrolls the selected row into view. The
    // change is posted like a user's selection.
    virtual void historySelectRows(const std::vector<int>& rows) = 0;

protected:
    ~IBrowserPanelHistorySource() = default;
};

// The tool bar's navigation control as the history drives it: segment 0 back, 1 forward, 2 up.
class NavigationToolbarCell : public Object {
public:
    virtual void setToolTipForSegment(const std::string& toolTip, int segment) = 0;
    virtual void setEnabledForSegment(bool enabled, int segment) = 0;
};

class BrowserPanelHistory : public Object, public IFSItemChangedNotification {
public:
    ZOV_ROOT_CLASS(BrowserPanelHistory)

    using Entry = std::vector<Ref<Object>>;
    static constexpr std::size_t MaximumEntries = 20;
    static constexpr std::uint64_t NoIndex = NSNotFound;

    // Observes the sidebar's selection changes and every catalogue item (the default
    // catalogue's, when there is one). The sidebar must outlive the history or be detached.
    static Ref<BrowserPanelHistory> create(IBrowserPanelHistorySource* browserPanel);

    IBrowserPanelHistorySource* browserPanel() const { return browserPanel_; }
    // Stops listening to the sidebar and forgets it (its owner goes first).
    void detachBrowserPanel();

    const std::vector<Entry>& historyArray() const { return historyArray_; }
    std::uint64_t currentItemIndex() const { return currentItemIndex_; }
    // Stores the index, then updates the controls.
    void setCurrentItemIndex(std::uint64_t index);
    NavigationToolbarCell* navigationToolbarCell() const { return navigationToolbarCell_.get(); }
    // Keeps the cell and updates it at once.
    void setNavigationToolbarCell(Ref<NavigationToolbarCell> cell);

    // The current entry, or null (an index past the end first moves to the last entry; one
    // still outside logs "BrowserPanelHistory::currentItem currentItemIndex is invalid").
    const Entry* currentItem();
    // The last entry; null without a current one.
    const Entry* lastItem() const;
    std::uint64_t previousItemIndex() const;
    std::uint64_t nextItemIndex() const;
    // The parent of the current entry's only item, or null.
    Ref<Object> parentItem();

    // Tool tips, or empty when there is nowhere to go.
    std::string previousFolderName() const;
    std::string nextFolderName() const;
    std::string upFolderName();
    bool canNavigatePrevious() const { return !previousFolderName().empty(); }
    bool canNavigateNext() const { return !nextFolderName().empty(); }
    bool canNavigateParent() { return !upFolderName().empty(); }

    void navigatePrevious() { navigateToItemWithIndex(previousItemIndex()); }
    void navigateNext() { navigateToItemWithIndex(nextItemIndex()); }
    void navigateParent();
    // Makes the entry current and selects its items' rows in the sidebar (those it finds).
    void navigateToItemWithIndex(std::uint64_t index);
    // Makes the entry current; false for an index outside the history.
    bool selectItem(std::uint64_t index);
    void clear();
    // Tool tips and enabled states of the three segments; a failure clears the history.
    void updateControls();

    // Every entry counts as valid: an entry whose items are gone is found to show nothing.
    bool isItemValid(const Entry&) const { return true; }
    static bool isItemsEqual(const Entry& first, const Entry& second);
    std::uint64_t getItemIndex(const Entry& entry, bool forwardSearch) const;

    // The sidebar's selection changed: records it (see the class comment).
    void browserPanelSelectionChanged();

    // Catalogue callback: a cleared catalogue (no item, reload) clears the history.
    void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren) override;

private:
    explicit BrowserPanelHistory(IBrowserPanelHistorySource* browserPanel);
    ~BrowserPanelHistory() override;
    std::string joinedNames(std::uint64_t index) const;

    IBrowserPanelHistorySource* browserPanel_ = nullptr;
    std::vector<Entry> historyArray_;
    std::uint64_t currentItemIndex_ = NoIndex;
    bool lockHistoryUpdate_ = false;
    Ref<NavigationToolbarCell> navigationToolbarCell_;
    Ref<MediaDatabase> database_; // the catalogue observed
};

} // namespace vistel
