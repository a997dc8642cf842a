#pragma once
// ItemsViewControl: what stands between the browsing selection and one items view (the
// thumbnail grid or the list). It is a widget hosting the view, answers the view's data-source
// questions from the selection, turns the view's clicks, double clicks, context clicks, key
// equivalents and drops into calls on the browse mode's user-action handler, and keeps the view
// up to date when the selection or the listed items change.
//
// Listed objects are the selection's flat list; every index a view uses is an index into it.
// Subclasses supply the view (itemsView / itemsViewWidget), the drop-target hit test and the
// redraw calls.
//
// Ownership: the control holds the selection by one Ref, given up when another is set and when
// the control goes; the handler (userActionsDelegate) is not held: its owner, the mode, clears
// it or outlives the control.
//
// Actions: the control is a Responder. The actions it does not have itself are the handler's
// (respondsToUserActionSelector): performing one runs processItems on the selected indexes.
// Validation asks the handler with the selected items and the one selected folder as location.
//
// Drops: a drag offering file names is accepted over the folder under the pointer (subclasses)
// or else the one selected folder, when the handler validates "paste:" there; the operation is
// the handler's dragOperationForPath. Hovering a folder item 2 seconds without moving opens it.
//
// Thread rules: main thread only.

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Gui/Responder.h"
#include "Platform/RunLoop.h"
#include "ZovClass.h"

class QMimeData;

namespace vistel {

class BrowsingControlUserActionsProtocol;

inline constexpr std::uint64_t ItemsViewNoDropFolder = 0x7FFFFFFF;

class ItemsViewControl : public QWidget,
                         public Responder,
                         public BrowsingViewProtocol,
                         public IFSItemChangedNotification,
                         public ThumbnailsViewDataSourceProtocol,
                         public BrowsingSelectionNotificationObserver,
                         public ItemsViewUserActionsProtocol {
public:
    ZOV_ROOT_CLASS(ItemsViewControl)
    ~ItemsViewControl() override;

    // --- the selection ----------------------------------------------------------------------------
    // Nothing when it is the current one; otherwise leaves the old one (observers and reference),
    // registers with the new one and reloads.
    void setBrowsingSelection(BrowsingSelection* selection);
    BrowsingSelection* browsingSelection() const { return browsingSelection_.get(); }
    ItemList selectedItems() const;
    bool isFolderSelected(const FileSystemItemMO* item) const;
    bool isSelectedFoldersContainsObject(const FileSystemItemMO* item) const;
    void selectAll(QObject* sender);
    bool canSelectAll() const;
    void selectNone(QObject* sender);
    bool canSelectNone() const;
    virtual void scrollToItemWithIndex(unsigned) { }

    // --- data source ------------------------------------------------------------------------------
    unsigned foldersObjectsCount() const override;
    Ref<FileSystemItemMO> foldersObjectAtIndex(unsigned index) const override;
    Ref<FileSystemItemMO> itemAtIndex(unsigned index) const { return foldersObjectAtIndex(index); }
    unsigned selectedFoldersCount() const override;
    // Null (and a log line) for an index at or past the count.
    Ref<FileSystemItemMO> selectedFolderAtIndex(unsigned index) const override;
    // The one selected folder, null with none or several.
    Ref<FileSystemItemMO> selectedFolderLocation() const;
    IndexSet selectedItemsIndexes() const override;
    void setSelectedItemsIndexes(const IndexSet& indexes) override;
    std::optional<IndexSet> highlightedItemsIndexes() const override;
    std::uint64_t dropFolderIndex() const override { return dropFolderIndex_; }
    bool isViewActive() const override { return isViewActive_; }
    IndexSet visibleItemsIndexSet() const override { return {}; }

    // --- view state -------------------------------------------------------------------------------
    void setIsViewActive(bool active);
    // Resets the drop target and reloads the view.
    virtual void reloadData();
    void updateItemWithIndex(unsigned) override { }
    virtual void updateItemWithIndexes(const IndexSet& indexes);
    void notifyFSItemChanged(FileSystemItemMO*, bool) override { }

    // The concrete view.
    virtual ItemsViewProtocol* itemsView() const = 0;
    virtual QWidget* itemsViewWidget() const = 0;

    // --- user actions -----------------------------------------------------------------------------
    void itemsViewPerformClick(QWidget* view) override;
    void itemsViewPerformDoubleClick(QWidget* view) override;
    QMenu* itemsViewPerformControlClick(QWidget* view) override;
    // Null indexes: the selected items. Answers whether the handler carried the action out.
    bool processItems(const IndexSet& indexes, const std::string& selector, QObject* sender) override;
    bool processSelectedItems(const std::string& selector, QObject* sender);
    // "copyToDrag:": the items' file names into a drag's data.
    bool copyItemsToDrag(const IndexSet& indexes, QMimeData& data);
    std::vector<std::string> pasteboardDragTypesForItemsView(QWidget* view) override;
    bool validateUserInterfaceItem(QObject* item) override;
    void setUserActionsDelegate(BrowsingControlUserActionsProtocol* delegate) { userActionsDelegate_ = delegate; }
    BrowsingControlUserActionsProtocol* userActionsDelegate() const { return userActionsDelegate_; }
    // The handler, not held.
    void setBrowsingControlUserActionsDelegate(BrowsingControlUserActionsProtocol* delegate)
    {
        setUserActionsDelegate(delegate);
    }

    // Responder: the handler's actions are the control's.
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

    // --- selection notifications -----------------------------------------------------------------
    void handleBrowsingSelectionNotifications(const Notification& notification) override;

    // --- drops --------------------------------------------------------------------------------------
    // The folder a drop at `point` (the control's coordinates) goes to: here the one selected
    // folder; subclasses first try the folder item under the point.
    virtual Ref<FileSystemItemMO> dropFolderForDrop(QPoint point) const;
    // The operation for a drag of `data` at `point`: none (Qt::IgnoreAction) unless the data
    // offers file names, there is a target folder and the handler validates a paste there.
    Qt::DropAction dragOperation(const QMimeData& data, QPoint point) const;
    Qt::DropAction draggingEntered(const QMimeData& data, QPoint point);
    Qt::DropAction draggingUpdated(const QMimeData& data, QPoint point);
    void draggingExited();
    bool performDragOperation(const QMimeData& data, QPoint point, Qt::DropAction operation, QObject* sender);
    // The visible index whose object is `folder`, or ItemsViewNoDropFolder.
    std::uint64_t indexOfVisibleItem(const FileSystemItemMO* folder) const;
    // Highlights a folder item as drop target and arms the 2-second spring-loading check.
    void setDropFolderIndex(std::uint64_t index);
    // The spring-loading check: opens the highlighted folder when the pointer has not moved.
    void enterToDropFolder(const Ref<FileSystemItemMO>& folder, QPoint mousePosition);
    // Where the pointer is, in global coordinates (QCursor); tests may replace it.
    static void setMouseLocationFunction(std::function<QPoint()> function);

    static constexpr double SpringLoadingDelay = 2.0;

protected:
    explicit ItemsViewControl(QWidget* parent = nullptr);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    void resetDropFolderIndex();

private:
    Ref<BrowsingSelection> browsingSelection_;
    BrowsingControlUserActionsProtocol* userActionsDelegate_ = nullptr;
    std::uint64_t dropFolderIndex_ = ItemsViewNoDropFolder;
    bool isViewActive_ = false;
    Ref<RunLoop::Timer> springTimer_;
    QMimeData* dragData_ = nullptr;
};

} // namespace vistel
