#pragma once
// BrowsingUAHandler: the user-action handler of the browse mode. Every command on catalogue
// items (menus, tool bar, context menus, keys, drops) arrives as an action selector with the
// items (the selection), a location (target folder) and a pasteboard; the handler validates,
// then performs.
//
// Both the validation and the dispatch are one table, one row per selector (actionTable()):
// whether respondsToUserActionSelector answers it, the predicate that validates it and the
// worker that performs it. A row whose predicate or worker is not built yet validates NO (menus
// show it disabled) and performs nothing; unknown selectors do the same.
//
// Live here: "copy:" (file names onto the pasteboard), "showInFinder:", "backward:",
// "forward:", "enclosingFolder:" (the owner's navigation history), "dropItems:"
// validation (which tells a ValidatedUserInterfaceItemProxy whether the drop folder is on a
// picture frame), "asList:" / "asThumbnails:" (the items panel's mode), "selectAll:" (the items
// panel's current view), the base's "delete:", "deletePermanently:", "moveToTrash:" and
// "onCreateFolderAction:", double-click opening and the context menu (menuForItems).
// In BrowsingUAHandlerActions.cpp: "paste:" and "move:" (also what a drop performs, with the
// drag's pasteboard), "rename:" and "exportMetadata:". In BrowsingUAHandlerConversion.cpp, the
// batches of the conversion engine: "rotateLeft:", "rotateRight:" and the context menu's
// "rotate:" (tag 0 left, any other right), "saveDocumentAs:", "batchConvertFileFormat:",
// "batchResize:" and "batchRename:" (each through its panel). In BrowsingUAHandlerFrames.cpp:
// "sendToFrame:" (the one attached picture frame) and the frame branch of paste (pictures
// converted to the frame's resolution). "sendToFrameDialog:" has no worker and validates NO.
// In BrowsingUAHandlerPrinting.cpp: "printPictures:" (the print window over the selected
// pictures; the handler keeps the last one).
//
// Thread rules: main thread only.

#include <QAction>
#include <QObject>
#include <QPointer>

#include <string>
#include <vector>

#include "Application/BasicUIHandler.h"
#include "Platform/Gui/Responder.h"

class QMenu;
class QMimeData;

namespace vistel {

class Pasteboard;
class FileSystemItemMO;
class NSThreadExt;
class BrowserPanelHistory;
class ZovVolumeInfo;
class PrintWindow;

// The drop operation as far as the drag's source allows it: a move it does not allow becomes a
// copy when it allows that; anything else it does not allow is no drop.
inline Qt::DropAction dropActionAllowedBySource(Qt::DropAction wanted, Qt::DropActions allowed)
{
    if (wanted == Qt::IgnoreAction || (allowed & wanted))
        return wanted;
    if (wanted == Qt::MoveAction && (allowed & Qt::CopyAction))
        return Qt::CopyAction;
    return Qt::IgnoreAction;
}

// What validating a drop tells the item: 1 when the drop folder is on a picture frame, else 0.
class SpecialDropLocationValidatedUserInterfaceItem {
public:
    virtual void setDropLocationType(int type) = 0;

protected:
    ~SpecialDropLocationValidatedUserInterfaceItem() = default;
};

// A stand-in user-interface item for validating an action that has no menu item or control
// (a drop).
class ValidatedUserInterfaceItemProxy : public QObject,
                                        public UserInterfaceItem,
                                        public SpecialDropLocationValidatedUserInterfaceItem {
public:
    ValidatedUserInterfaceItemProxy(std::string action, int tag) : action_(std::move(action)), tag_(tag) { }
    std::string action() const override { return action_; }
    int tag() const override { return tag_; }
    int dropLocationType() const { return dropLocationType_; }
    void setDropLocationType(int type) override { dropLocationType_ = type; }

private:
    std::string action_;
    int tag_ = 0;
    int dropLocationType_ = 0;
};

// A menu item whose represented object is a list of items (the context menu's entries).
class RepresentedItemsMenuItem : public QAction, public UserInterfaceItem {
public:
    RepresentedItemsMenuItem(const QString& title, std::string action, int tag, BasicUIHandler::Items items,
                             QObject* parent)
        : QAction(title, parent), action_(std::move(action)), tag_(tag), items_(std::move(items))
    {
    }
    std::string action() const override { return action_; }
    int tag() const override { return tag_; }
    const BasicUIHandler::Items& representedObject() const { return items_; }

private:
    std::string action_;
    int tag_ = 0;
    BasicUIHandler::Items items_;
};

// What the browse views' controls ask of a handler.
class BrowsingControlUserActionsProtocol {
public:
    using Items = BasicUIHandler::Items;
    // A single click: nothing in the browse mode.
    virtual void browsingControlPerformClick(QObject* control, const Items& selection, QObject* sender) = 0;
    virtual void browsingControlPerformDoubleClick(QObject* control, const Items& selection, QObject* sender) = 0;
    // The context menu (the caller owns it), or null.
    virtual QMenu* browsingControlPerformControlClick(QObject* control, const Items& selection, QObject* sender) = 0;
    virtual bool processItems(const Items& items, Object* location, const std::string& action,
                              const QMimeData* pasteboard, QObject* sender) = 0;
    virtual bool validateUserAction(const std::string& action, Object* location, const Items* selection,
                                    const QMimeData* pasteboard, QObject* item) = 0;
    virtual bool respondsToUserActionSelector(const std::string& action) const = 0;
    // The operation (NSDragOperation…) for dropping `draggedPaths` into the folder `path`.
    virtual std::uint32_t dragOperationForPath(const std::string& path,
                                               const std::vector<std::string>& draggedPaths) const = 0;

protected:
    ~BrowsingControlUserActionsProtocol() = default;
};

class BrowsingUAHandler : public BasicUIHandler, public BrowsingControlUserActionsProtocol {
public:
    ZOV_CLASS(BrowsingUAHandler, BasicUIHandler)
    using Items = BasicUIHandler::Items;

    static Ref<BrowsingUAHandler> create(BasicModeController* controller);

    // One action as asked: selector, location, selection (null: none given), pasteboard,
    // validating item, sender.
    struct UserAction {
        const std::string& action;
        Object* location = nullptr;
        const Items* selection = nullptr;
        Pasteboard* pasteboard = nullptr;
        QObject* item = nullptr;
        QObject* sender = nullptr;
        const Items& items() const;
    };
    using Predicate = bool (BrowsingUAHandler::*)(const UserAction&);
    using Worker = bool (BrowsingUAHandler::*)(const UserAction&);
    struct ActionRow {
        const char* selector;
        bool answered;       // one of the selectors respondsToUserActionSelector answers
        Predicate validate;  // null: not built yet, validates NO
        Worker perform;      // null: performs nothing, answers NO
    };
    static const std::vector<ActionRow>& actionTable();

    // --- the protocol ---------------------------------------------------------------------------
    void browsingControlPerformClick(QObject*, const Items&, QObject*) override { }
    void browsingControlPerformDoubleClick(QObject* control, const Items& selection, QObject* sender) override;
    QMenu* browsingControlPerformControlClick(QObject*, const Items& selection, QObject* sender) override
    {
        return menuForItems(selection, sender);
    }
    bool processItems(const Items& items, Object* location, const std::string& action, const QMimeData* pasteboard,
                      QObject* sender) override;
    bool validateUserAction(const std::string& action, Object* location, const Items* selection,
                            const QMimeData* pasteboard, QObject* item) override;
    bool respondsToUserActionSelector(const std::string& action) const override;
    using BasicUIHandler::dragOperationForPath;
    std::uint32_t dragOperationForPath(const std::string& path,
                                       const std::vector<std::string>& draggedPaths) const override
    {
        return BasicUIHandler::dragOperationForPath(path, draggedPaths);
    }
    // Menus: the selection is the represented items of a RepresentedItemsMenuItem (which is
    // also the validating item), the location none, the pasteboard the clipboard.
    bool validateUserInterfaceItem(QObject* item);

    // --- class operations ---------------------------------------------------------------------
    // The items' full paths in order; items without a path, and those `filter` refuses, left out.
    static std::vector<std::string> pathesListFromItemsList(const Items& items, bool (*filter)(const Object*) = nullptr);
    static bool notIsFolder(const Object* item);
    static bool isItemsCanRotate(const Items& items);

    // --- predicates and workers ------------------------------------------------------------------
    bool canCopyItems(const Items* items, Pasteboard* pasteboard) const;
    bool canDropItems(const Items* items, Object* folder, Pasteboard* pasteboard) const;
    void copyItems(const Items* items, Pasteboard* pasteboard);
    // The context menu of the items (the caller owns it); null for no items.
    QMenu* menuForItems(const Items& items, QObject* sender);
    // --- navigation (the owner's history; nothing and NO without one) ---------------------------
    BrowserPanelHistory* navigationHistory() const;
    void backward(QObject* sender);
    void forward(QObject* sender);
    void enclosingFolder(QObject* sender);
    bool canNavigatePrevious() const;
    bool canNavigateNext() const;
    bool canNavigateParent() const;
    // The navigation control's click: its "selectedSegment" property 0 goes back, 1 forward,
    // 2 up, each with the control as sender.
    void actionBrowse(QObject* control);

    // Menu actions: the sender is a RepresentedItemsMenuItem.
    void showInFinder(QObject* sender);
    void performMenuItem(RepresentedItemsMenuItem* item);

    // --- paste and move ----------------------------------------------------------------------
    // Whether the items (or, without items, the file names on the pasteboard) may be pasted or
    // moved into `folder`: a writable folder, no entry the folder itself or one of its
    // ancestors (also through symbolic links), no folder onto a picture frame, every explicit
    // entry present (missing clipboard names are checked again when pasting).
    bool canPasteItems(const Items* items, Object* folder, Pasteboard* pasteboard) const;
    bool canPastePaths(const std::vector<std::string>& paths, bool fromPasteboard, Object* folder) const;
    // Copies (or moves) the entries into the folder as one file operation. Clipboard names
    // that cannot be pasted (one is gone) show "The items on the Clipboard cannot be pasted to
    // %@ folder." and nothing is copied. A copy onto a picture frame converts the pictures
    // instead (addPicturesToFrame); a move onto one moves them as they are. Answers whether an
    // operation was started.
    bool pasteItems(const Items* items, Object* folder, Pasteboard* pasteboard, bool move);
    // The options of a copy or move with its three progress texts.
    static Value progressTexts(const std::string& stopButton, const std::string& withoutDestination,
                               const std::string& withDestination);

    // --- picture frames (BrowsingUAHandlerFrames.cpp) -------------------------------------------
    // The attached picture frames, in the volume manager's order.
    static std::vector<Ref<ZovVolumeInfo>> getListOfPictureFrames();
    // The only attached frame; null with none or several.
    static Ref<ZovVolumeInfo> getDefaultPictureFrame();
    // Whether the items can go to the default frame: pictures not on a frame, which paste onto
    // the frame's root accepts. A "sendToFrame:" menu item is retitled "Send to Frame «name»"
    // (or "Send to Frame" without a default frame) on the way.
    bool canSendItemsToPictureFrame(const Items& items, QObject* uiItem) const;
    // Pastes the items onto the default frame's root (so they are converted); nothing with
    // `toDefaultFrame` NO.
    bool sendItems(const Items& items, bool toDefaultFrame);
    // Asks "Images will be optimized and added to the picture frame." (unless the preference
    // "BrowserPanel.ShowConvertImagesAlert" is off; the check box turns it off) and starts one
    // conversion batch of the pictures into `folder`: JPEG, upright, within the frame's
    // resolution. Answers whether the batch started.
    bool addPicturesToFrame(const std::vector<std::string>& paths, FileSystemItemMO* folder);
    // The batch options of a transfer to a frame of that resolution, with its progress texts.
    static Value pictureFrameOptions(int width, int height);

    // --- rename ------------------------------------------------------------------------------
    bool canRenameItems(const Items& items) const;
    // Asks for the first item's new name ("Please enter a new name:") and renames it; a file
    // keeps its extension. Answers whether the rename was started.
    bool renameItems(const Items& items);
    // A writable USB volume gets the name as its label; any other item is renamed by the file
    // operation. NO for an unchanged or invalid name (isValidNewName).
    bool renameItem(Object* item, const std::string& newName);
    // A name holds no ":", "/" or NUL, is not empty, "." or "..", and takes at most 255 UTF-8
    // bytes.
    static bool isValidNewName(const std::string& name);
    // Keeps a renamed item selected once the catalogue lists it under `renamedPath`: a selected
    // folder through the sidebar, a selected picture in the browsing selection.
    void followRename(FileSystemItemMO* item, const std::string& renamedPath);
    // How many bytes the typed part of a name may take when the extension is added to it.
    static int renameByteLimit(const std::string& extension);

    // --- conversion (BrowsingUAHandlerConversion.cpp) ------------------------------------------
    // Items that can be turned: at least one, every one decodable and isItemsCanRotate.
    static bool canRotateItems(const Items& items);
    // Turns the pictures a quarter turn, one conversion batch per folder, each written over its
    // original or, with the preference "BrowserPanel.MakeCopyOnRotate", beside it under a
    // unique name. Answers the number of batches started.
    int rotateFiles(const Items& items, bool clockwise);
    // Run the batch conversion, resize or rename panel and start a batch of the items into the
    // chosen folder; false when nothing was started (cancelled, no items).
    bool convertFiles(const Items& items);
    bool resizeFiles(const Items& items);
    bool renameFiles(const Items& items);
    // Runs the Save As panel for one picture and starts its conversion under the chosen name.
    bool saveDocument(Object* item);

    // --- printing (BrowsingUAHandlerPrinting.cpp) ---------------------------------------------
    // At least one item, and every one a decodable picture (no folder).
    static bool canPrintItems(const Items& items);
    // Opens a print window on the pictures (remembered paper, print size and layout); null when
    // they cannot be printed.
    PrintWindow* printPictures(const Items& items);
    // The last print window opened, while it is open.
    PrintWindow* printWindow() const;

    // --- export of metadata --------------------------------------------------------------------
    // Starts the worker that writes each picture's metadata beside it; answers the running
    // worker (null for no paths).
    Ref<NSThreadExt> exportMetadata(const Items& items);
    // The worker's body: for each picture, its image metadata with its first page's merged
    // over it, written as an XML property list (safe save) named after the picture with the
    // extension "plist". A name already taken (a list of another picture of the same name, or
    // any other file) is never overwritten: the list takes a numbered name instead, logged.
    // Files without metadata or that no codec reads are skipped.
    static void exportMetadataThread(const std::vector<std::string>& paths);
    // "/a/b.jpg" -> "/a/b.plist".
    static std::string exportedMetadataPath(const std::string& picture);

private:
    using BasicUIHandler::BasicUIHandler;
    const ActionRow* rowFor(const std::string& action) const;
    static Ref<Pasteboard> pasteboardFor(const QMimeData* data);

    // Rows' predicates and workers.
    bool validateCopy(const UserAction& action);
    bool validateDrop(const UserAction& action);
    bool validateShowInFinder(const UserAction& action);
    bool validateDelete(const UserAction& action);
    bool validateDeletePermanently(const UserAction& action);
    bool validateMoveToTrash(const UserAction& action);
    bool validateCreateFolder(const UserAction& action);
    bool performCopy(const UserAction& action);
    bool performDelete(const UserAction& action);
    bool performDeletePermanently(const UserAction& action);
    bool performMoveToTrash(const UserAction& action);
    bool performCreateFolder(const UserAction& action);
    bool validatePaste(const UserAction& action);
    bool validateMove(const UserAction& action);
    bool validateRename(const UserAction& action);
    bool validateExportMetadata(const UserAction& action);
    bool performPaste(const UserAction& action);
    bool performMove(const UserAction& action);
    bool performRename(const UserAction& action);
    bool performExportMetadata(const UserAction& action);
    bool validateSendToFrame(const UserAction& action);
    bool performSendToFrame(const UserAction& action);
    bool validateBackward(const UserAction&) { return canNavigatePrevious(); }
    bool validateForward(const UserAction&) { return canNavigateNext(); }
    bool validateEnclosingFolder(const UserAction&) { return canNavigateParent(); }
    bool performNavigation(const UserAction& action);
    // The items panel's modes and its current view's selection.
    bool validateViewMode(const UserAction& action);
    bool validateSelectAll(const UserAction& action);
    bool performAsList(const UserAction& action);
    bool performAsThumbnails(const UserAction& action);
    bool performSelectAll(const UserAction& action);
    // Conversion batches.
    bool validateBatch(const UserAction& action);
    bool validateSaveAs(const UserAction& action);
    bool validateRotate(const UserAction& action);
    bool performBatchConvert(const UserAction& action);
    bool performBatchResize(const UserAction& action);
    bool performBatchRename(const UserAction& action);
    bool performSaveAs(const UserAction& action);
    bool performRotate(const UserAction& action);
    bool validatePrint(const UserAction& action);
    bool performPrint(const UserAction& action);

    QPointer<PrintWindow> printWindow_;
};

} // namespace vistel
