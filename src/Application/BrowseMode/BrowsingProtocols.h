#pragma once
// The browse contract: what the views of the browse window, their controls, the browsing
// selection and the user-action handler ask of one another.
//
// - A view (thumbnail grid or details table) implements ItemsViewProtocol and
//   BrowsingViewProtocol and asks its data source (ThumbnailsViewDataSourceProtocol).
// - The view reports clicks to its control (ItemsViewUserActionsProtocol).
// - The control reads and writes the BrowsingSelection (IBrowsingGetSelection,
//   IBrowsingSetSelection; observers implement BrowsingSelectionNotificationObserver) and hands
//   actions to the handler (BrowsingControlUserActionsProtocol, BrowsingUAHandler.h).
//
// Items are catalogue items, held by Ref by whoever keeps them. Everything here is called on
// the main thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Platform/IndexSet.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Object.h"

class QMenu;
class QObject;
class QWidget;

namespace vistel {

class FileSystemItemMO;
class IFSItemChangedNotification;
class Pasteboard;

using ItemList = std::vector<Ref<FileSystemItemMO>>;

// The one operation of every observer of "BrowsingSelectionNotification".
class BrowsingSelectionNotificationObserver {
public:
    virtual void handleBrowsingSelectionNotifications(const Notification& notification) = 0;

protected:
    ~BrowsingSelectionNotificationObserver() = default;
};

// Readers of the browsing selection.
class IBrowsingGetSelection {
public:
    virtual unsigned selectedFoldersCount() const = 0;
    virtual bool isFolderSelected(const FileSystemItemMO* item) const = 0;
    virtual bool isSelectedFolderFromSingleVolume() const = 0;
    // Raises "Invalid index " for an index at or past the count.
    virtual Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned index) const = 0;
    virtual unsigned foldersObjectIndex(FileSystemItemMO* item) const = 0;
    virtual unsigned foldersObjectsCount() const = 0;
    // The item shown at `index` of the flat list; null past its end.
    virtual Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const = 0;
    virtual void addFolderUpdateObserver(IFSItemChangedNotification* observer) = 0;
    virtual void removeObserverForAllItems(IFSItemChangedNotification* observer) = 0;
    virtual const IndexSet& selectedObjectsIndexes() const = 0;
    virtual void addNotificationObserver(BrowsingSelectionNotificationObserver* observer) = 0;
    virtual void removeNotificationObserver(BrowsingSelectionNotificationObserver* observer) = 0;

protected:
    ~IBrowsingGetSelection() = default;
};

// Writers of the browsing selection.
class IBrowsingSetSelection {
public:
    virtual void updateFoldersObjects(bool keepSelection) = 0;
    virtual void setSelectedFolders(const ItemList& folders) = 0;
    virtual void addFolderToSelection(FileSystemItemMO* folder) = 0;
    virtual void removeFolderFromSelection(FileSystemItemMO* folder) = 0;

protected:
    ~IBrowsingSetSelection() = default;
};

// What a view asks its data source.
class ThumbnailsViewDataSourceProtocol {
public:
    virtual unsigned foldersObjectsCount() const = 0;
    virtual Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const = 0;
    virtual unsigned selectedFoldersCount() const = 0;
    virtual Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned index) const = 0;
    virtual IndexSet selectedItemsIndexes() const = 0;
    virtual void setSelectedItemsIndexes(const IndexSet& indexes) = 0;
    // nullopt: nothing highlighted as a drop target.
    virtual std::optional<IndexSet> highlightedItemsIndexes() const = 0;
    // NSNotFound when no folder is under a drag.
    virtual std::uint64_t dropFolderIndex() const = 0;
    virtual bool isViewActive() const = 0;

protected:
    ~ThumbnailsViewDataSourceProtocol() = default;
};

// What a control asks its view.
class ItemsViewProtocol {
public:
    virtual IndexSet selectedItemsIndexes() const = 0;
    virtual int clickedItem() const = 0;
    virtual int controlClickedItem() const = 0;
    virtual void setNeedsDisplay() = 0;
    virtual void reloadData() = 0;
    virtual void updateLayoutAndFrame() = 0;

protected:
    ~ItemsViewProtocol() = default;
};

class BrowsingViewProtocol {
public:
    virtual void updateItemWithIndex(unsigned index) = 0;
    virtual IndexSet visibleItemsIndexSet() const = 0;

protected:
    ~BrowsingViewProtocol() = default;
};

// What a view reports to its control. Menus and toolbar items are validated through the
// control (validateUserInterfaceItem), which asks the handler.
class ItemsViewUserActionsProtocol {
public:
    virtual void itemsViewPerformClick(QWidget* view) = 0;
    virtual void itemsViewPerformDoubleClick(QWidget* view) = 0;
    // The context menu, or null.
    virtual QMenu* itemsViewPerformControlClick(QWidget* view) = 0;
    virtual bool processItems(const IndexSet& indexes, const std::string& selector, QObject* sender) = 0;
    // The pasteboard types a view accepts in a drop.
    virtual std::vector<std::string> pasteboardDragTypesForItemsView(QWidget* view) = 0;
    virtual bool validateUserInterfaceItem(QObject* item) = 0;

protected:
    ~ItemsViewUserActionsProtocol() = default;
};

} // namespace vistel
