#pragma once
// Binding layout trees to widgets.
//
// The layout engine (Common/Layout) knows nothing of widgets. Three pieces tie the two:
//
// - ZovViewLayout binds the root of a layout tree to a host widget: the layout's frame follows
//   the host's size ("NSViewFrameDidChangeNotification", View.h) and the tree is laid out at
//   once. Each host has at most one live binding: attaching again, or detaching, ends the old
//   binding (it stops following the frame). A binding made with a std::unique_ptr owns its
//   layout: the layout dies with the binding, or is handed back by detachLayoutFromView (and
//   a layout attached again to the same host stays alive). A binding ends by itself when its
//   host widget is destroyed.
// - ZovViewLayoutItem binds a widget to a layout item: it is the delegate of every bound item,
//   answers the item's size policies from the widget (controls answer their size hint as the
//   preferred size, kept inside the item's own minimum and maximum), places the widget at the
//   item's frame inside the host of the item's root, hides it when the item is hidden, and moves
//   it into the host whenever the item's root changes. A bound widget is not owned by its item.
// - ZovViewDestroyHandler tells an observer that a widget is being destroyed
//   ("kZovViewDestroyHandlerDestroyedNotification", object the widget's view object). The
//   registries of this file forget a widget when it is destroyed.
//
// Layout coordinates are top-down and so are Qt's: a frame goes to the widget as it is, rounded
// by edges (View::setFrame).
//
// Thread rules: main thread only.

#include <functional>
#include <memory>

#include <QWidget>

#include "Common/Layout/ZovLayout.h"
#include "Platform/Gui/View.h"

namespace vistel {

inline constexpr const char* kZovViewDestroyHandlerDestroyedNotification = "kZovViewDestroyHandlerDestroyedNotification";

// Widgets that answer their own size policies and baselines for the items they are bound to.
class ZovViewLayoutItemSizePolicySource {
public:
    virtual ~ZovViewLayoutItemSizePolicySource() = default;
    // A kind-0 policy means "no answer": the item's own policy applies.
    virtual ZovSizePolicy hSizePolicyForZovViewLayoutItem(ZovLayoutItem& item) = 0;
    virtual ZovSizePolicy vSizePolicyForZovViewLayoutItem(ZovLayoutItem& item) = 0;
    virtual float ZovViewLayoutItem_hBaseLine() { return ZovNoBaseLine; }
    virtual float ZovViewLayoutItem_vBaseLine() { return ZovNoBaseLine; }
};

class ZovViewDestroyHandler {
public:
    using Callback = std::function<void(ZovViewDestroyHandler&)>;

    // Calls `callback` once when `view` is destroyed. The caller owns the handler and may
    // destroy it in the callback.
    static std::unique_ptr<ZovViewDestroyHandler> create(QWidget* view, Callback callback);
    ~ZovViewDestroyHandler();
    ZovViewDestroyHandler(const ZovViewDestroyHandler&) = delete;
    ZovViewDestroyHandler& operator=(const ZovViewDestroyHandler&) = delete;

    // The watched widget; null once it is destroyed.
    QWidget* view() const { return viewObject_->widget(); }

    // How many widgets have handlers (for tests of the registries).
    static std::size_t registeredViewCount();

private:
    ZovViewDestroyHandler(QWidget* view, Callback callback);
    static void viewDestroyed(const QWidget* view);

    Ref<ViewObject> viewObject_;
    const QWidget* key_ = nullptr;
    Callback callback_;
    bool isAlreadyRemoved_ = false;
};

class ZovViewLayout {
public:
    // Binds `layout` to `view`; the binding owns the layout.
    static void attachLayout(std::unique_ptr<ZovLayout> layout, QWidget* view);
    // Binds `layout` to `view` without owning it: the layout must outlive the binding. When the
    // view's binding owned this very layout, the new binding keeps owning it.
    static void attachLayout(ZovLayout& layout, QWidget* view);
    // Ends the view's binding; hands back the layout when the binding owned it.
    static std::unique_ptr<ZovLayout> detachLayoutFromView(QWidget* view);
    static ZovLayout* findLayoutForView(const QWidget* view);
    // The host of the first binding made for the layout, or null.
    static QWidget* findViewForLayout(const ZovLayout* layout);

    // How many bindings exist (for tests of the registries).
    static std::size_t bindingCount();

    ZovViewLayout() = delete;

    class Binding; // one per host widget; internal

private:
    static void attach(ZovLayout& layout, std::unique_ptr<ZovLayout> owned, QWidget* view);
};

class ZovViewLayoutItem final : public ZovLayoutItemDelegate {
public:
    // The delegate of every bound item.
    static ZovViewLayoutItem& shared();

    // A new parentless item bound to the view; the caller owns it.
    static std::unique_ptr<ZovLayoutItem> createLayoutItemForView(QWidget* view);
    static std::unique_ptr<ZovLayoutItem> createLayoutItemForView(QWidget* view, const ZovSizePolicy& hPolicy,
                                                                  const ZovSizePolicy& vPolicy);
    static void attachView(QWidget* view, ZovLayoutItem& item);
    static void detachViewFromItem(ZovLayoutItem& item);
    static ZovLayoutItem* findLayoutItemForView(const QWidget* view);
    // The widget bound to the item, or null.
    static QWidget* viewOfItem(const ZovLayoutItem& item);
    // Places the view at the item's frame now (when it has a superview).
    static void applyFrame(ZovLayoutItem& item);

    // How many widgets are bound to items (for tests of the registries).
    static std::size_t boundViewCount();

    ZovSizePolicy hSizePolicyRequested(ZovLayoutItem& item) override;
    ZovSizePolicy vSizePolicyRequested(ZovLayoutItem& item) override;
    float hBaseLineRequested(ZovLayoutItem& item) override;
    float vBaseLineRequested(ZovLayoutItem& item) override;
    void frameChanged(ZovLayoutItem& item) override;
    void visibilityChanged(ZovLayoutItem& item) override;
    void rootLayoutReparented(ZovLayoutItem& item) override;
    void dealloc(ZovLayoutItem& item) override;

private:
    ZovViewLayoutItem() = default;
};

// The layout engine's rectangle as Qt's, and back.
inline QRectF toQRectF(const LayoutRect& r) { return QRectF(r.x, r.y, r.width, r.height); }

} // namespace vistel
