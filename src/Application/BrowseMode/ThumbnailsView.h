#pragma once
// ThumbnailsView: the thumbnail grid of the browse window (and the viewer's one-row strip).
//
// What it shows. Equal cells in rows and columns, one per item of its data source
// (ThumbnailsViewDataSourceProtocol): the item's thumbnail on an optional slide with frame,
// drop shadow, file name and the small marks of its decorations (ThumbnailDecorations.h),
// selected and drop-highlighted items marked, the rubber band drawn over them. The grid keeps
// no items, no selection and no highlight of its own: it asks the data source each time.
// Clicks, double clicks, the context menu, drags and Return/Enter go to the user-actions
// delegate (ItemsViewUserActionsProtocol). Both delegates are referred to, never owned: the
// control that sets them clears them before it goes.
//
// Where it lives. Its control places it in a QScrollArea (widgetResizable off; the grid sets
// its own size at every layout). A scroll area with a vertical scroll bar (any policy but
// Qt::ScrollBarAlwaysOff) lays it out as a grid; one without lays all items out in one row
// (strip mode). Outside a scroll area it is a grid as wide as itself.
//
// Drawing. Only the exposed rectangle is painted, and only the items whose slides meet it.
// The grid never decodes: it draws what the catalogue holds decoded (small or large
// thumbnail, else the icon, else a red square) and only asks the catalogue for a better one.
// The drop shadow is one blurred alpha image per thumbnail size, made once. A paint that
// takes more than 0.1 s while the main loop tracks the mouse (a held scroll bar, a drag)
// switches to small thumbnails until 0.5 s pass without a new trigger ("fast updating").
// A full-width paint in the active window gives the visible items a new priority slice.
//
// Mouse (ThumbnailsViewMouse.cpp): Ctrl toggles, Shift extends to the highest selected
// index, a press on a selected item keeps the selection; 6 points of motion start a drag (on
// an item) or a rubber band (elsewhere). Right click selects the item alone and shows the
// delegate's menu. Drags offer Copy | Move | Link with the items the delegate puts on
// Pasteboard::dragPasteboard() when asked to process "copyToDrag:". The main loop is in
// NSEventTrackingRunLoopMode from press to release (EventTracking does this for every press).
//
// Keys (ThumbnailsViewKeys.cpp): arrows move, Shift+arrows extend, Home/End and their Shift
// forms go to the document's ends, PageUp/PageDown only scroll, Return/Enter open.
//
// Preferences. The appearance properties double as bindings (BindableControl): "itemSize",
// "useHighQualityScaling", "useShadowBorder", "useOutlineBorder", "useSlideBackGround",
// "useSlideBorder", "showFileName", "showRating", "showTagged", "showLocked", "showCategory",
// "showIcon", "showAutoRotate". The grid never writes a binding back.
//
// Thread rules: main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QPainterPath>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QDrag>
#include <QWidget>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Application/BrowseMode/ThumbnailsViewGeometry.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Gui/UserDefaultsController.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"
#include "ZovClass.h"

class QDrag;
class QMimeData;
class QPainter;
class QScrollArea;
class QTimer;

namespace vistel {

class FileSystemItemMO;
class MultiImage;
class ThumbnailDecoration;
class ValidatedUserInterfaceItemProxy;

// The pixel size of an image's first representation: what the grid lays a picture out with.
QSizeF pixelSizeOf(const MultiImage* image);

class ThumbnailsView : public QWidget,
                       public Responder,
                       public BindableControl,
                       public ItemsViewProtocol,
                       public BrowsingViewProtocol {
public:
    ZOV_ROOT_CLASS(ThumbnailsView)

    explicit ThumbnailsView(QWidget* parent = nullptr);
    ~ThumbnailsView() override;

    // --- delegates (not owned) -----------------------------------------------------------------
    // Setting the data source lays the grid out again.
    void setDataSource(ThumbnailsViewDataSourceProtocol* dataSource);
    ThumbnailsViewDataSourceProtocol* dataSource() const { return dataSource_; }
    void setUserActionsDelegate(ItemsViewUserActionsProtocol* delegate) { userActionsDelegate_ = delegate; }
    ItemsViewUserActionsProtocol* userActionsDelegate() const { return userActionsDelegate_; }

    // --- the data source's answers (nothing is copied) ------------------------------------------
    unsigned itemsCount() const;
    Ref<FileSystemItemMO> itemAtIndex(std::uint64_t index) const;
    bool isViewActive() const;
    IndexSet selectedItemsIndexes() const override;
    void setSelectedItemIndexes(const IndexSet& indexes);
    std::optional<IndexSet> highlightedItemsIndexes() const;
    bool isItemSelectedAtIndex(std::uint64_t index) const;

    // --- ItemsViewProtocol / BrowsingViewProtocol ------------------------------------------------
    int clickedItem() const override { return clickedItem_; }
    void setClickedItem(int index) { clickedItem_ = index; }
    int controlClickedItem() const override { return controlClickedItem_; }
    void setControlClickedItem(int index) { controlClickedItem_ = index; }
    void setNeedsDisplay() override { update(); }
    void reloadData() override;
    void updateLayoutAndFrame() override;
    void updateItemWithIndex(unsigned index) override;
    IndexSet visibleItemsIndexSet() const override;
    void updateItemWithIndexes(const IndexSet& indexes);
    // Redraws the visible cells whose index is in exactly one of the sets; everything when
    // either is missing.
    void invalidateRectsForNewSelection(const std::optional<IndexSet>& newSelection,
                                        const std::optional<IndexSet>& oldSelection);
    // Scrolls the cell of `index` into view; nothing past the last item.
    void scrollToItemWithIndex(std::uint64_t index);

    // --- geometry (view coordinates, y down) ------------------------------------------------------
    const ThumbnailsGridLayout& gridLayout() const { return layout_; }
    unsigned columns() const { return layout_.columns; }
    unsigned rows() const { return layout_.rows; }
    QSizeF gridDimentions() const { return layout_.cellSize; }
    QRectF gridRectForItemIndex(std::uint64_t index) const;
    QRectF gridRectForItemsIndexes(const IndexSet& indexes) const;
    // Not limited to the item count: callers compare with itemsCount().
    std::uint64_t itemIndexForPoint(QPointF point) const;
    // The thumbnail rectangle of an index; empty without item or image.
    QRectF itemRectForIndex(std::uint64_t index) const;
    // The slide rectangle (thumbnail and name, 2 points around); empty past the last item.
    QRectF activeRectForItemIndex(std::uint64_t index) const;
    // The items whose slides meet `rect`.
    IndexSet itemsIndexRangeForRect(const QRectF& rect) const;
    // The name under a thumbnail, shortened in the middle to fit (see ThumbnailsViewGeometry.h).
    ThumbnailTextRect textRectForItemRect(const QRectF& itemRect, const QRectF& gridRect, const QString& text) const;
    float itemTextHeight() const;
    // The rubber band, the rectangle two points span (each clamped into the view).
    QRectF selectionFrame() const { return makeRectFromPoints(startMouseDownPoint_, currentMouseDownPoint_); }
    QRectF makeRectFromPoints(QPointF first, QPointF second) const;
    QRectF updateItemsRectWithPoints(QPointF first, QPointF second) const;
    // The rectangle of the grid the scroll area shows (the whole view outside one).
    QRectF visibleRect() const;
    QScrollArea* enclosingScrollArea() const;

    // --- images -----------------------------------------------------------------------------------
    // The image drawn for an item at `size` (see ThumbnailsViewGeometry.h, chooseThumbnail);
    // a red square when the item has nothing to show, null without an item.
    // Drawing (`forDrawing`) also lets the catalogue ask for what the item lacks; geometry and
    // hit tests ask for nothing.
    Ref<MultiImage> imageAtIndex(std::uint64_t index, QSizeF size, bool forDrawing = false) const;
    // Live resize or fast updating: small thumbnails are preferred.
    bool inLiveResize() const { return !isDoneItemsFastUpdating_; }

    // --- appearance (bindable) ------------------------------------------------------------------------
    QColor backgroundColor() const { return backgroundColor_; }
    // Also makes the soft selection frame white on dark and black on light backgrounds.
    void setBackgroundColor(const QColor& color);
    QColor frameOutlineColor() const { return frameOutlineColor_; }
    void setFrameOutlineColor(const QColor& color);
    QColor shadowFrameColor() const { return shadowFrameColor_; }
    void setShadowFrameColor(const QColor& color);
    QColor selectionBorderColor() const { return selectionBorderColor_; }
    void setSelectionBorderColor(const QColor& color);
    float selectionBorderWidth() const { return selectionBorderWidth_; }
    void setSelectionBorderWidth(float width);
    bool useSelectionWithShadow() const { return flags_.useSelectionWithShadow; }
    void setUseSelectionWithShadow(bool on);
    bool useSelectionWithBorder() const { return flags_.useSelectionWithBorder; }
    void setUseSelectionWithBorder(bool on);
    bool useShadowBorder() const { return flags_.useShadowBorder; }
    void setUseShadowBorder(bool on);
    bool useOutlineBorder() const { return flags_.useOutlineBorder; }
    void setUseOutlineBorder(bool on);
    bool useHighQualityScaling() const { return flags_.useHighQualityScaling; }
    void setUseHighQualityScaling(bool on);
    bool useSlideBorder() const { return flags_.useSlideBorder; }
    void setUseSlideBorder(bool on);
    bool useSlideBackGround() const { return flags_.useSlideBackGround; }
    void setUseSlideBackGround(bool on);
    bool showFileName() const { return flags_.showFileName; }
    void setShowFileName(bool on);
    bool showIcon() const { return flags_.showIcon; }
    void setShowIcon(bool on);
    bool showAutoRotate() const { return flags_.showAutoRotate; }
    void setShowAutoRotate(bool on);
    bool showRating() const { return flags_.showRating; }
    void setShowRating(bool on);
    bool showTagged() const { return flags_.showTagged; }
    void setShowTagged(bool on);
    bool showLocked() const { return flags_.showLocked; }
    void setShowLocked(bool on);
    bool showCategory() const { return flags_.showCategory; }
    void setShowCategory(bool on);
    // Rounded to whole points.
    float itemSize() const;
    // Keeps the visible part at the same fraction of the height; small thumbnails until the
    // size settles, then the held images are re-made.
    void setItemSize(float size);
    float itemsVerticalSpacing() const { return itemsVerticalSpacing_; }
    void setItemsVerticalSpacing(float spacing);
    float itemsHorizontalSpacing() const { return itemsHorizontalSpacing_; }
    void setItemsHorizontalSpacing(float spacing);
    QFont drawingFont() const { return drawingFont_; }

    // BindableControl: the properties above by binding name.
    Value bindingValue(std::string_view binding) const override;
    void setBindingValue(std::string_view binding, const Value& value) override;

    // --- decorations (ThumbnailDecorations.h) -------------------------------------------------------
    void registerDefaultDecorations();
    void addDecoration(std::shared_ptr<ThumbnailDecoration> decoration);
    void removeDecoration(const ThumbnailDecoration* decoration);
    const std::vector<std::shared_ptr<ThumbnailDecoration>>& decorations() const { return decorations_; }
    // Hides or shows every decoration of type T (or derived from it).
    template <class T>
    void setHiddenToDecorationsOfClass(bool hidden)
    {
        for (auto& decoration : decorations_)
            if (dynamic_cast<T*>(decoration.get()))
                setDecorationHidden(*decoration, hidden);
    }
    void drawDecorationsForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect);
    // Offers a press at `point` to the decorations visible for the item; true when one took it.
    bool startTrackingForDecorationWithItem(FileSystemItemMO& item, const QRectF& itemRect, QPointF point);

    // --- keyboard actions (ThumbnailsViewKeys.cpp) ------------------------------------------------
    // The responder actions by name: "moveLeft:", "moveRightAndModifySelection:",
    // "moveToBeginningOfDocument:", "scrollToEndOfDocument:", "pageDown:", ...
    bool performKeyAction(const std::string& action, bool shiftDown = false);
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

    // --- drags (ThumbnailsViewMouse.cpp) --------------------------------------------------------------
    // The drag image of `count` items over the image of the item at `index` (an orange square
    // when there is none), with a count badge above one item; `hotSpotShift` receives how far
    // the picture moved right to make room for the badge.
    QImage dragImageForItem(std::uint64_t index, std::uint64_t count, int* pictureShift = nullptr) const;
    // Runs the drag of the selection (QDrag::exec; at once offscreen). False when the
    // delegate offers no drag types.
    bool startDragOfSelection();
    // The drag made by the last startDragOfSelection, until the next press (tests look at it).
    QMimeData* lastDragMimeData() const;

    // --- fast updating -----------------------------------------------------------------------------------
    void startItemsFastUpdating();
    void startItemsFastUpdatingInModes(const std::vector<std::string>& modes, bool recacheImages);
    bool isDoneItemsFastUpdating() const { return isDoneItemsFastUpdating_; }
    // Drops what the grid made for drawing (shadow images); they are made again at the next paint.
    void resetImageCaches();

    // The soft selection frame's path.
    static QPainterPath shadowFramePathForRect(const QRectF& rect);

    // The last paint: its duration and the items it drew (tests and benchmarks).
    struct PaintRecord {
        double seconds = 0;
        IndexSet drawnItems;
    };
    const PaintRecord& lastPaint() const { return lastPaint_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Flags {
        bool useShadowBorder = false;
        bool useOutlineBorder = false;
        bool useSlideBorder = true;
        bool useSlideBackGround = true;
        bool useSelectionWithBorder = true;
        bool useSelectionWithShadow = false;
        bool thereWasDrawingInFastUpdatingMode = false;
        bool recacheImagesAtEndOfFastUpdating = false;
        bool isMouseDown = false;
        bool useHighQualityScaling = true;
        bool resetImageCaches = false;
        bool startDrag = false;
        bool startSelectionFrame = false;
        bool showFileName = true;
        bool showRating = true;
        bool showTagged = true;
        bool showLocked = true;
        bool showCategory = true;
        bool showIcon = true;
        bool showAutoRotate = true;
    };

    ThumbnailsGridParameters gridParameters() const;
    void drawItem(QPainter& painter, std::uint64_t index, const IndexSet& selected, const IndexSet& banded,
                  const std::optional<IndexSet>& highlighted, bool inactive);
    void drawEmptyText(QPainter& painter, const QRect& dirty);
    const QImage& shadowImageForSize(QSize size);
    bool isInFirstResponderChain() const;
    void enqueueReorderRequestsForItemsWithIndexes(const IndexSet& indexes);
    void rescrollToSameFraction(float oldHeight);
    void updateItemsFastUpdatingState();
    void resetImageCachesIfNeeded();
    void setDecorationHidden(ThumbnailDecoration& decoration, bool hidden);
    void redrawBandChange(QPointF previous);
    void autoscrollTick();
    void stopAutoscroll();
    void finishPress();
    void scrollRectToVisible(const QRectF& rect);
    // Selection by keys.
    void moveSelection(const std::string& action, bool shiftDown);

    ThumbnailsViewDataSourceProtocol* dataSource_ = nullptr;
    ItemsViewUserActionsProtocol* userActionsDelegate_ = nullptr;
    std::vector<std::shared_ptr<ThumbnailDecoration>> decorations_;
    QColor backgroundColor_;
    QColor frameOutlineColor_;
    QColor selectionBorderColor_;
    QColor shadowFrameColor_;
    float selectionBorderWidth_ = 3.0f;
    float itemSize_ = 100.0f;
    float itemsVerticalSpacing_ = 16.0f;
    float itemsHorizontalSpacing_ = 16.0f;
    ThumbnailsGridLayout layout_;
    Ref<RunLoop::Timer> itemsFastUpdateTimer_;
    QElapsedTimer itemsFastUpdateTime_;
    bool isDoneItemsFastUpdating_ = true;
    Ref<RunLoop::Timer> autoScrollTimer_;
    int clickCount_ = 0;
    // A plain press on one item of a larger selection: the item selected alone when the press
    // ends without a drag (a drag takes the whole selection). -1: none.
    std::int64_t soleSelectionOnRelease_ = -1;
    QPointer<QWidget> watchedViewport_;
    QPointF startMouseDownPoint_;
    QPointF currentMouseDownPoint_;
    // Where the pointer last was on screen during a press (autoscroll keeps it there).
    QPointF lastPointerGlobal_;
    ThumbnailDecoration* trackedDecoration_ = nullptr;
    Flags flags_;
    QFont drawingFont_;
    int clickedItem_ = -1;
    int controlClickedItem_ = -1;
    // Blurred shadows by thumbnail size.
    std::map<std::pair<int, int>, QImage> shadowCache_;
    // The red square of items with nothing to show, at the current item size.
    mutable Ref<MultiImage> placeholder_;
    std::unique_ptr<ValidatedUserInterfaceItemProxy> dropProxy_;
    QPointer<QDrag> lastDrag_;
    PaintRecord lastPaint_;
    int lastScrollValue_ = 0;
};

} // namespace vistel
