#include "Common/Views/ZovViewLayout.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>

#include "Platform/Exception.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

namespace {

// A context object for the destroyed hooks of this file; lives for the process, like widgets may.
QObject& hookContext()
{
    static QObject* context = new QObject;
    return *context;
}

// Whether the widget is a control: its size hint is its preferred size.
bool isControl(const QWidget* view)
{
    return qobject_cast<const QAbstractButton*>(view) || qobject_cast<const QLineEdit*>(view)
        || qobject_cast<const QAbstractSlider*>(view) || qobject_cast<const QComboBox*>(view)
        || qobject_cast<const QAbstractSpinBox*>(view);
}

ZovSizePolicy controlPolicy(const ZovSizePolicy& own, float hint)
{
    ZovSizePolicy policy = own;
    float preferred = std::max(hint, own.minSize);
    if (!own.isUnbounded())
        preferred = std::min(preferred, own.maxSize);
    policy.preferredSize = preferred;
    return policy;
}

} // namespace

// ---- ZovViewDestroyHandler ----

namespace {
std::unordered_map<const QWidget*, std::vector<ZovViewDestroyHandler*>>& handlerRegistry()
{
    static std::unordered_map<const QWidget*, std::vector<ZovViewDestroyHandler*>> registry;
    return registry;
}
} // namespace

std::unique_ptr<ZovViewDestroyHandler> ZovViewDestroyHandler::create(QWidget* view, Callback callback)
{
    return std::unique_ptr<ZovViewDestroyHandler>(new ZovViewDestroyHandler(view, std::move(callback)));
}

ZovViewDestroyHandler::ZovViewDestroyHandler(QWidget* view, Callback callback)
    : viewObject_(View::viewObject(view))
    , key_(view)
    , callback_(std::move(callback))
{
    ZOV_ASSERT(view, "Must be");
    NotificationCenter::defaultCenter().addObserver(this, [this](const Notification&) {
        // A copy: the callback may destroy this handler.
        Callback callback = callback_;
        if (callback)
            callback(*this);
    }, kZovViewDestroyHandlerDestroyedNotification, viewObject_.get());
    auto& list = handlerRegistry()[view];
    if (list.empty()) {
        const QWidget* key = view;
        QObject::connect(view, &QObject::destroyed, &hookContext(), [key] { viewDestroyed(key); });
    }
    list.push_back(this);
}

ZovViewDestroyHandler::~ZovViewDestroyHandler()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (isAlreadyRemoved_)
        return;
    auto found = handlerRegistry().find(key_);
    ZOV_ASSERT(found != handlerRegistry().end() && !found->second.empty(),
               "NSView reference decrementing without previous increment");
    auto& list = found->second;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // The destroyed hook stays connected; with no entry it finds nothing to do.
    if (list.empty())
        handlerRegistry().erase(found);
}

void ZovViewDestroyHandler::viewDestroyed(const QWidget* view)
{
    auto found = handlerRegistry().find(view);
    if (found == handlerRegistry().end())
        return;
    const std::vector<ZovViewDestroyHandler*> handlers = std::move(found->second);
    handlerRegistry().erase(found);
    if (handlers.empty())
        return;
    for (ZovViewDestroyHandler* handler : handlers)
        handler->isAlreadyRemoved_ = true;
    Ref<Object> object(handlers.front()->viewObject_.get());
    NotificationCenter::defaultCenter().postNotificationName(kZovViewDestroyHandlerDestroyedNotification, object);
}

std::size_t ZovViewDestroyHandler::registeredViewCount()
{
    return handlerRegistry().size();
}

// ---- ZovViewLayout ----

class ZovViewLayout::Binding {
public:
    Binding(ZovLayout& layout, std::unique_ptr<ZovLayout> owned, QWidget* view)
        : layout_(&layout)
        , owned_(std::move(owned))
        , view_(view)
        , viewObject_(View::viewObject(view))
    {
        destroyHandler_ = ZovViewDestroyHandler::create(view, [view](ZovViewDestroyHandler&) {
            // Ends the binding (and this handler with it); an owned layout dies here.
            ZovViewLayout::detachLayoutFromView(view);
        });
        NotificationCenter::defaultCenter().addObserver(this, [this](const Notification&) { frameChanged(); },
            NSViewFrameDidChangeNotification, viewObject_.get());
    }

    ~Binding() { NotificationCenter::defaultCenter().removeObserver(this); }

    void frameChanged()
    {
        if (QWidget* view = viewObject_->widget())
            layout_->setFrame({0, 0, static_cast<float>(view->width()), static_cast<float>(view->height())});
    }

    ZovLayout* layout_;
    std::unique_ptr<ZovLayout> owned_;
    QWidget* view_;
    Ref<ViewObject> viewObject_;
    std::unique_ptr<ZovViewDestroyHandler> destroyHandler_;
};

namespace {

struct BindingRegistry {
    std::unordered_map<const QWidget*, std::unique_ptr<ZovViewLayout::Binding>> byView;
    std::unordered_map<const ZovLayout*, QWidget*> hostOfLayout; // the first binding's host
};

} // namespace

static BindingRegistry& bindings()
{
    // Bindings still alive at exit end after this registry's last use: the handler registry
    // their destroy handlers leave must be made first, so that it is destroyed last.
    handlerRegistry();
    static BindingRegistry registry;
    return registry;
}

namespace {

// Moves the views of the tree into the host; items that are layouts are walked in turn.
void moveViewsIntoHost(ZovLayout& layout, QWidget* host, std::vector<ZovLayoutItem*>& bound)
{
    for (ZovLayoutItem* child : layout.layoutItems().toVector()) {
        if (QWidget* view = ZovViewLayoutItem::viewOfItem(*child)) {
            if (view->parentWidget() != host)
                View::addSubview(host, view);
            bound.push_back(child);
        } else if (ZovLayout* inner = child->asLayout()) {
            moveViewsIntoHost(*inner, host, bound);
        }
    }
}

} // namespace

void ZovViewLayout::attach(ZovLayout& layout, std::unique_ptr<ZovLayout> owned, QWidget* view)
{
    ZOV_ASSERT(view, "Must be");
    std::unique_ptr<ZovLayout> previous = detachLayoutFromView(view);
    if (!owned && previous.get() == &layout)
        owned = std::move(previous); // attached again: still owned
    previous.reset();

    auto binding = std::make_unique<Binding>(layout, std::move(owned), view);
    Binding* raw = binding.get();
    bindings().byView[view] = std::move(binding);
    bindings().hostOfLayout.emplace(&layout, view);
    raw->frameChanged();

    std::vector<ZovLayoutItem*> bound;
    moveViewsIntoHost(layout, view, bound);
    // Views that had no superview during the layout pass above are placed now.
    for (ZovLayoutItem* item : bound)
        ZovViewLayoutItem::applyFrame(*item);
}

void ZovViewLayout::attachLayout(std::unique_ptr<ZovLayout> layout, QWidget* view)
{
    ZovLayout& raw = *layout;
    attach(raw, std::move(layout), view);
}

void ZovViewLayout::attachLayout(ZovLayout& layout, QWidget* view)
{
    attach(layout, nullptr, view);
}

std::unique_ptr<ZovLayout> ZovViewLayout::detachLayoutFromView(QWidget* view)
{
    auto& registry = bindings();
    auto found = registry.byView.find(view);
    if (found == registry.byView.end())
        return nullptr;
    std::unique_ptr<Binding> binding = std::move(found->second);
    registry.byView.erase(found);
    const ZovLayout* layout = binding->layout_;
    if (auto host = registry.hostOfLayout.find(layout); host != registry.hostOfLayout.end() && host->second == view) {
        registry.hostOfLayout.erase(host);
        for (const auto& [other, otherBinding] : registry.byView) {
            if (otherBinding->layout_ == layout) {
                registry.hostOfLayout.emplace(layout, otherBinding->view_);
                break;
            }
        }
    }
    return std::move(binding->owned_);
}

ZovLayout* ZovViewLayout::findLayoutForView(const QWidget* view)
{
    auto found = bindings().byView.find(view);
    return found == bindings().byView.end() ? nullptr : found->second->layout_;
}

QWidget* ZovViewLayout::findViewForLayout(const ZovLayout* layout)
{
    auto found = bindings().hostOfLayout.find(layout);
    return found == bindings().hostOfLayout.end() ? nullptr : found->second;
}

std::size_t ZovViewLayout::bindingCount()
{
    return bindings().byView.size();
}

// ---- ZovViewLayoutItem ----

namespace {

struct ItemRegistry {
    std::unordered_map<const QWidget*, ZovLayoutItem*> itemOfView;
    std::unordered_set<const QWidget*> hooked; // widgets whose destroyed hook is connected
};

ItemRegistry& items()
{
    static ItemRegistry registry;
    return registry;
}

} // namespace

ZovViewLayoutItem& ZovViewLayoutItem::shared()
{
    static ZovViewLayoutItem* delegate = new ZovViewLayoutItem; // items may outlive any static order
    return *delegate;
}

std::unique_ptr<ZovLayoutItem> ZovViewLayoutItem::createLayoutItemForView(QWidget* view)
{
    auto item = ZovLayoutItem::create();
    attachView(view, *item);
    return item;
}

std::unique_ptr<ZovLayoutItem> ZovViewLayoutItem::createLayoutItemForView(QWidget* view, const ZovSizePolicy& hPolicy,
                                                                          const ZovSizePolicy& vPolicy)
{
    auto item = createLayoutItemForView(view);
    item->setHSizePolicy(hPolicy);
    item->setVSizePolicy(vPolicy);
    return item;
}

void ZovViewLayoutItem::attachView(QWidget* view, ZovLayoutItem& item)
{
    ZOV_ASSERT(view, "Must be");
    item.setCustomProperty(Value(Ref<Object>(View::viewObject(view))), ZovLayoutItemViewKey);
    items().itemOfView[view] = &item;
    item.setDelegate(&shared());
    if (items().hooked.insert(view).second) {
        const QWidget* key = view;
        QObject::connect(view, &QObject::destroyed, &hookContext(), [key] {
            items().hooked.erase(key);
            auto found = items().itemOfView.find(key);
            if (found == items().itemOfView.end())
                return;
            // The item stays, without a view.
            ZovLayoutItem* item = found->second;
            items().itemOfView.erase(found);
            item->setCustomProperty(Value(), ZovLayoutItemViewKey);
            item->setDelegate(nullptr);
        });
    }
}

void ZovViewLayoutItem::detachViewFromItem(ZovLayoutItem& item)
{
    if (QWidget* view = viewOfItem(item)) {
        auto found = items().itemOfView.find(view);
        if (found != items().itemOfView.end() && found->second == &item)
            items().itemOfView.erase(found);
    }
    item.setCustomProperty(Value(), ZovLayoutItemViewKey);
    if (item.delegate() == &shared())
        item.setDelegate(nullptr);
}

ZovLayoutItem* ZovViewLayoutItem::findLayoutItemForView(const QWidget* view)
{
    auto found = items().itemOfView.find(view);
    return found == items().itemOfView.end() ? nullptr : found->second;
}

QWidget* ZovViewLayoutItem::viewOfItem(const ZovLayoutItem& item)
{
    return View::widgetOf(item.customProperty(ZovLayoutItemViewKey).toObject().get());
}

std::size_t ZovViewLayoutItem::boundViewCount()
{
    return items().itemOfView.size();
}

ZovSizePolicy ZovViewLayoutItem::hSizePolicyRequested(ZovLayoutItem& item)
{
    QWidget* view = viewOfItem(item);
    if (auto* source = dynamic_cast<ZovViewLayoutItemSizePolicySource*>(view))
        return source->hSizePolicyForZovViewLayoutItem(item);
    if (view && isControl(view))
        return controlPolicy(item.ownHSizePolicy(), static_cast<float>(view->sizeHint().width()));
    return MakeNullSizePolicy();
}

ZovSizePolicy ZovViewLayoutItem::vSizePolicyRequested(ZovLayoutItem& item)
{
    QWidget* view = viewOfItem(item);
    if (auto* source = dynamic_cast<ZovViewLayoutItemSizePolicySource*>(view))
        return source->vSizePolicyForZovViewLayoutItem(item);
    if (view && isControl(view))
        return controlPolicy(item.ownVSizePolicy(), static_cast<float>(view->sizeHint().height()));
    return MakeNullSizePolicy();
}

float ZovViewLayoutItem::hBaseLineRequested(ZovLayoutItem& item)
{
    auto* source = dynamic_cast<ZovViewLayoutItemSizePolicySource*>(viewOfItem(item));
    return source ? source->ZovViewLayoutItem_hBaseLine() : ZovNoBaseLine;
}

float ZovViewLayoutItem::vBaseLineRequested(ZovLayoutItem& item)
{
    auto* source = dynamic_cast<ZovViewLayoutItemSizePolicySource*>(viewOfItem(item));
    return source ? source->ZovViewLayoutItem_vBaseLine() : ZovNoBaseLine;
}

void ZovViewLayoutItem::applyFrame(ZovLayoutItem& item)
{
    QWidget* view = viewOfItem(item);
    ZOV_ASSERT(view, "No view for item");
    if (View::hasSuperview(view))
        View::setFrame(view, toQRectF(item.calculateAbsoluteFrame()));
}

void ZovViewLayoutItem::frameChanged(ZovLayoutItem& item)
{
    applyFrame(item);
}

void ZovViewLayoutItem::visibilityChanged(ZovLayoutItem& item)
{
    QWidget* view = viewOfItem(item);
    ZOV_ASSERT(view, "No view for item");
    View::setHidden(view, !item.isVisible());
}

void ZovViewLayoutItem::rootLayoutReparented(ZovLayoutItem& item)
{
    QWidget* view = viewOfItem(item);
    ZOV_ASSERT(view, "No view for item");
    QWidget* target = item.parentLayout() ? ZovViewLayout::findViewForLayout(item.topLevelLayout()) : nullptr;
    if (target) {
        if (view->parentWidget() != target) {
            View::addSubview(target, view);
            applyFrame(item);
        }
    } else if (View::hasSuperview(view)) {
        View::removeFromSuperview(view);
    }
}

void ZovViewLayoutItem::dealloc(ZovLayoutItem& item)
{
    const Value& property = item.customProperty(ZovLayoutItemViewKey);
    const QWidget* view = View::widgetOf(property.toObject().get());
    if (!view)
        return;
    auto found = items().itemOfView.find(view);
    if (found != items().itemOfView.end() && found->second == &item)
        items().itemOfView.erase(found);
}

} // namespace vistel
