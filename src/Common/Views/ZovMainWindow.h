#pragma once
// The docking main-window frame.
//
// A frame lays its host view out as a column: the tool bar (ZovToolBar), the main-window layout
// (a central view surrounded by four dock areas with splitter bars, Common/Layout) and a 26-point
// band kept free for the owner's status bar. Panels live in docks (ZovDock: a caption bar above
// the panel's view); docks live in dock areas (ZovDockArea), which nest: a boxed area holds child
// areas side by side or one above the other, with bars between them; a stacked area holds docks
// of which one is shown, with a tab bar (a QTabBar: the docks' captions; a click shows that dock)
// when there are two or more. A dock can also float in a window of its own; closing that window
// docks it again where it was.
//
// The frame draws what lies between the views on its host: dotted bars and a 1-pixel grey ring
// around each stacked area and the central view (the views on top are transparent, so only the
// ring is painted). The host tracks bar drags with the mouse (press, drag, release on a bar of
// the last relayout) and shows the resize cursors over visible bars only.
//
// Ownership: the frame belongs to its host view and is destroyed with it; parentView() hands the
// host to the caller, who puts it into a window or deletes it. Docks are created by their panel's
// owner (ZovDock::create) and handed to the frame (splitBy), which destroys them with itself.
// An area belongs to its layout (the custom property "ZovLayoutItemDockAreaKey" holds its only
// reference): child areas go with their parent, and an area that holds nothing removes itself.
// The frame destroys the central view it replaces.
//
// Thread rules: main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QRect>
#include <QWidget>

#include "Common/Layout/ZovDockAreaLayout.h"
#include "Common/Layout/ZovMainWindowLayout.h"
#include "Platform/Object.h"

class QTabBar;

namespace vistel {

class Window;
class ZovDock;
class ZovDockArea;
class ZovMainWindow;
class ZovToolBar;
class ZovViewDestroyHandler;

enum : std::int32_t {
    ZovDockStateNotPlaced = 0,
    ZovDockStateDocked = 1,
    ZovDockStateFloating = 2,
};

// Text alignments as callers name them (2 centres).
enum NSTextAlignment : unsigned {
    NSLeftTextAlignment = 0,
    NSRightTextAlignment = 1,
    NSCenterTextAlignment = 2,
    NSJustifiedTextAlignment = 3,
    NSNaturalTextAlignment = 4,
};

// The caption bar of a dock: the caption in a small font on a grey gradient (plain light grey
// without a caption), its top 4 pixels below the bar's top edge.
class ZovDockCaptionView : public QWidget {
public:
    explicit ZovDockCaptionView(ZovDock* dock);
    unsigned textAlignment() const { return alignment_; }
    void setTextAlignment(unsigned alignment);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ZovDock* dock_;
    unsigned alignment_ = NSLeftTextAlignment;
};

class ZovDock : public ZovLayoutItemDelegate {
public:
    // A dock around `view` (may be null); the dock owns the view until a superview does.
    static std::unique_ptr<ZovDock> create(QWidget* view);
    ~ZovDock() override;
    ZovDock(const ZovDock&) = delete;
    ZovDock& operator=(const ZovDock&) = delete;

    QWidget* view() const { return view_.data(); }
    // Unbinds and deletes the previous view, binds the new one.
    void setView(QWidget* view);
    const std::string& caption() const { return dockItemLayout_->caption(); }
    void setCaption(std::string caption);
    void setCaptionTextAlignment(unsigned alignment); // an NSTextAlignment
    ZovDockCaptionView* captionView() const { return captionView_.data(); }
    ZovDockItemLayout* dockItemLayout() const { return dockItemLayout_; }
    std::int32_t state() const { return state_; }
    ZovDockArea* dockArea() const { return dockArea_; }
    // The floating window (state 2), else null.
    Window* window() const { return window_.data(); }

    // Takes the dock out into a window of its own: a never-placed dock at (50, 50) with its
    // preferred size, a docked one at (250, 250) with its current size.
    void setFloating();

    void visibilityChanged(ZovLayoutItem& item) override;
    void dealloc(ZovLayoutItem& item) override;

private:
    friend class ZovDockArea;
    friend class ZovMainWindow;
    explicit ZovDock(QWidget* view);

    // Out of its area or window; state 0; the dock owns its layout again.
    void takeOut();
    // `deferred`: inside the window's own close handling, the window goes once that is over.
    void leaveWindow(bool deferred = false);
    void windowWillClose();
    void updateViewVisibility();

    std::unique_ptr<ZovDockItemLayout> ownedLayout_; // while not in an area
    ZovDockItemLayout* dockItemLayout_ = nullptr;
    QPointer<ZovDockCaptionView> captionView_;
    QPointer<QWidget> view_;
    std::int32_t state_ = ZovDockStateNotPlaced;
    ZovDockArea* dockArea_ = nullptr;
    QPointer<Window> window_;
    ZovMainWindow* mainWindow_ = nullptr; // the frame that owns the dock, once handed over
    // Where a floating dock goes back to when its window closes.
    Ref<ZovDockArea> formerArea_;
    std::int32_t formerIndex_ = -1;
    std::int32_t formerPosition_ = ZovDockAreaPositionLeft;
    bool destroying_ = false;
};

class ZovDockArea : public Object, public ZovLayoutItemDelegate {
public:
    ZovDockArea(const ZovDockArea&) = delete;
    ZovDockArea& operator=(const ZovDockArea&) = delete;

    ZovDockArea* parentDockArea() const { return parent_; }
    // Docks (stacked) or child areas (boxed), in layout order.
    const std::vector<ZovDock*>& docks() const { return docks_; }
    const std::vector<ZovDockArea*>& areas() const { return areas_; }
    // Null once the layout is gone.
    ZovDockAreaLayout* layout() const { return layout_; }
    bool isStacked() const;
    bool isEmpty() const;
    ZovMainWindow* mainWindow() const { return mainWindow_; }
    // The top-level area this one lies in (itself when top-level).
    ZovDockArea* topLevelArea();

    // "Not a stacked area" on a boxed area. Inserts after `index` (-1 for the front).
    void addToStack(ZovDock& dock, std::int32_t index);
    // Orientation 0 side by side, 1 one above the other; answers the new stacked area when the
    // receiver is top-level, else null. The frame takes the dock over.
    ZovDockArea* splitBy(std::int32_t orientation, std::unique_ptr<ZovDock> dock, bool prepend);
    // The same for a dock the frame already holds (docked or floating elsewhere).
    ZovDockArea* splitBy(std::int32_t orientation, ZovDock& dock, bool prepend);
    // "No such dock in area" when the area does not hold it. The area collapses when emptied.
    void removeDock(ZovDock& dock);
    // "No such area in area" for a foreign area. The area collapses when emptied.
    void removeDockArea(ZovDockArea& area);
    // Shows the dock at that index (stacked areas).
    void setCurrentIndex(std::int32_t index);
    QTabBar* tabBar() const { return tabBar_.data(); }

    // "{ZovDockArea 0x… items{…}}" over the tree.
    std::string dump(int depth = 0) const;

    void dealloc(ZovLayoutItem& item) override;

private:
    friend class ZovMainWindow;
    friend class ZovDock;
    ZovDockArea(ZovMainWindow* frame);
    ~ZovDockArea() override;

    // A stacked area made for docks; its layout is handed back for the caller to insert.
    static std::unique_ptr<ZovDockAreaStackedLayout> makeStacked(ZovMainWindow* frame, std::vector<ZovDock*> docks);
    // A boxed area with the given orientation; its layout is handed back.
    static std::unique_ptr<ZovDockAreaBoxedLayout> makeBoxed(ZovMainWindow* frame, std::int32_t orientation);
    static ZovDockArea* areaOfLayout(const ZovLayoutItem* layout);
    ZovDockAreaBoxedLayout* boxed() const;
    ZovDockAreaStackedLayout* stacked() const;
    void adopt(ZovDockArea& child, std::int32_t index);
    // Takes the dock at `index` out of the stack: not placed, its layout its own again.
    void releaseDockAt(std::int32_t index);
    void collapseIfEmpty();
    void updateTabs();
    void relayoutRoot();

    ZovMainWindow* mainWindow_ = nullptr;
    ZovDockAreaLayout* layout_ = nullptr;
    ZovDockArea* parent_ = nullptr;
    std::vector<ZovDock*> docks_;
    std::vector<ZovDockArea*> areas_;
    QPointer<QTabBar> tabBar_;
    bool updatingTabs_ = false;
};

class ZovMainWindow : public ZovLayoutRelayoutDelegate {
public:
    // A frame on a new host view (a ZovMainWindowView {0, 0, 1, 1}).
    static ZovMainWindow* create();
    // A frame on the given host view, destroyed with it.
    static ZovMainWindow* createWithParentView(QWidget* view);

    QWidget* parentView() const { return parentView_.data(); }
    ZovToolBar* toolBar() const { return toolBar_.data(); }
    ZovMainWindowLayout* mainWindowLayout() const { return layout_; }
    ZovBoxLayout* boxLayout() const { return boxLayout_.get(); }
    ZovLayoutItem* statusbarLayoutItem() const { return statusbarLayoutItem_; }
    QWidget* centralView() const { return centralView_.data(); }
    // Binds the view to the content item; the replaced view is deleted.
    void setCentralView(QWidget* view);
    ZovDockArea* dockAreaForPosition(std::int32_t position) const;
    ZovLayoutItem* dockAreaSplitterForPosition(std::int32_t position) const;

    // Lays the tree out now (after changes of policies or areas).
    void relayout();
    // The bars of the last relayout that are visible, in host coordinates, with their
    // orientation (0: a bar between areas side by side).
    struct Bar {
        QRect rect;
        std::int32_t orientation = 0;
        ZovLayoutItem* item = nullptr;
    };
    const std::vector<Bar>& visibleBars() const { return bars_; }
    // The cursor for a point of the host: a split cursor over a visible bar, else the arrow.
    Qt::CursorShape cursorAt(QPoint point) const;

    void relayouted(ZovLayout& layout) override;

    // Mouse and painting of the host view, in host coordinates.
    void mouseDown(QPoint point);
    void mouseDragged(QPoint point);
    void mouseUp();
    void mouseMoved(QPoint point);
    void draw(QPainter& painter);

    // Stores the number of the host window's screen as "values.MainWindow.ScreenNumber".
    void windowWillClose();

    // The docks the frame holds (docked or floating).
    const std::vector<std::unique_ptr<ZovDock>>& docks() const { return docks_; }
    ZovDock* adoptDock(std::unique_ptr<ZovDock> dock);

private:
    friend class ZovMainWindowView;
    explicit ZovMainWindow(QWidget* host);
    ~ZovMainWindow() override;
    void drawArea(QPainter& painter, ZovDockArea& area);
    void collectBars(ZovDockArea& area);
    void addBar(ZovLayoutItem* item, std::int32_t orientation);

    class HostFilter;
    QPointer<QWidget> parentView_;
    std::unique_ptr<HostFilter> hostFilter_;
    std::unique_ptr<ZovViewDestroyHandler> destroyHandler_;
    std::unique_ptr<ZovBoxLayout> boxLayout_;
    ZovLayoutItem* toolbarLayoutItem_ = nullptr;
    ZovLayoutItem* statusbarLayoutItem_ = nullptr;
    ZovMainWindowLayout* layout_ = nullptr;
    QPointer<ZovToolBar> toolBar_;
    QPointer<QWidget> centralView_;
    ZovMainWindowLayoutSplitter* pressedSplitter_ = nullptr;
    std::vector<Bar> bars_;
    std::vector<std::unique_ptr<ZovDock>> docks_;
    bool destroying_ = false;
};

// The host view a frame makes for itself. Any host passes its mouse events and its painting to
// its frame (an event filter of the frame), this one also knows its frame.
class ZovMainWindowView : public QWidget {
public:
    ZovMainWindow* mainWindow() const { return mainWindow_; }

private:
    friend class ZovMainWindow;
    ZovMainWindowView() = default;
    ZovMainWindow* mainWindow_ = nullptr;
};

} // namespace vistel
