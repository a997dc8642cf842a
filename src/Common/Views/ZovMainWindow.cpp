#include "Common/Views/ZovMainWindow.h"

#include <algorithm>
#include <cstdio>

#include <QEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QTabBar>

#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Exception.h"
#include "Platform/Gui/UserDefaultsController.h"
#include "Platform/Gui/Window.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

namespace {

constexpr float StatusBarHeight = 26;
const QColor BorderColor = QColor::fromRgbF(0.741f, 0.741f, 0.741f);
const QColor LightGrey = QColor::fromRgbF(0.667f, 0.667f, 0.667f);

std::string pointerText(const void* pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

QRect absoluteRect(const ZovLayoutItem& item)
{
    return View::pixelRect(toQRectF(item.calculateAbsoluteFrame()));
}

// A 1-pixel ring just outside the item: the views on top are transparent, so only the ring is
// painted and nothing grey shows through them.
void drawBorder(QPainter& painter, const ZovLayoutItem& item)
{
    const LayoutRect frame = item.calculateAbsoluteFrame();
    if (frame.width < 1 || frame.height < 1)
        return;
    const QRect r = absoluteRect(item).adjusted(-1, -1, 1, 1);
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), BorderColor);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), BorderColor);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), BorderColor);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), BorderColor);
}

const QImage& splitterDot()
{
    static const QImage image = NSImageNamedImageExtended::imageNamed("splitter_dot.png", "images");
    return image;
}

// The splitter cell: the dot image, upright, centred in the bar.
void drawSplitter(QPainter& painter, const ZovLayoutItem& item)
{
    const QImage& dot = splitterDot();
    if (dot.isNull())
        return;
    const QRectF frame = toQRectF(item.calculateAbsoluteFrame());
    const QPointF centre = frame.center();
    painter.drawImage(QPointF(std::round(centre.x() - dot.width() / 2.0), std::round(centre.y() - dot.height() / 2.0)), dot);
}

} // namespace

// ---- ZovDockCaptionView ----

ZovDockCaptionView::ZovDockCaptionView(ZovDock* dock)
    : dock_(dock)
{
    setGeometry(0, 0, 1, 1);
}

void ZovDockCaptionView::setTextAlignment(unsigned alignment)
{
    alignment_ = alignment;
    update();
}

void ZovDockCaptionView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect bounds = rect();
    const std::string caption = dock_ ? dock_->caption() : std::string();
    if (caption.empty()) {
        painter.fillRect(bounds, LightGrey);
        return;
    }
    QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
    gradient.setColorAt(0.0, LightGrey);
    gradient.setColorAt(0.5, QColor::fromRgbF(0.6f, 0.6f, 0.6f));
    gradient.setColorAt(1.0, LightGrey);
    painter.fillRect(bounds, gradient);
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
    painter.setFont(font);
    // The text starts 4 pixels below the top, with the caption's horizontal alignment.
    const QRect textRect = bounds.adjusted(4, 4, -4, 0);
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (alignment_ == NSRightTextAlignment)
        horizontal = Qt::AlignRight;
    else if (alignment_ == NSCenterTextAlignment)
        horizontal = Qt::AlignHCenter;
    painter.drawText(textRect, horizontal | Qt::AlignTop, QString::fromStdString(caption));
}

// ---- ZovDock ----

std::unique_ptr<ZovDock> ZovDock::create(QWidget* view)
{
    return std::unique_ptr<ZovDock>(new ZovDock(view));
}

ZovDock::ZovDock(QWidget* view)
{
    ownedLayout_ = ZovDockItemLayout::create();
    dockItemLayout_ = ownedLayout_.get();
    dockItemLayout_->setDelegate(this);
    dockItemLayout_->setCustomProperty(Value(static_cast<long long>(reinterpret_cast<std::intptr_t>(this))), ZovLayoutItemDockKey);
    auto* caption = new ZovDockCaptionView(this);
    captionView_ = caption;
    View::removeFromSuperview(caption);
    ZovViewLayoutItem::attachView(caption, *dockItemLayout_->captionItem());
    setView(view);
}

ZovDock::~ZovDock()
{
    destroying_ = true;
    takeOut();
    delete view_.data();
    delete captionView_.data();
    dockItemLayout_->setDelegate(nullptr);
    dockItemLayout_->setCustomProperty(Value(), ZovLayoutItemDockKey);
    ownedLayout_.reset();
}

void ZovDock::setView(QWidget* view)
{
    if (view_ == view)
        return;
    ZovLayoutItem* content = dockItemLayout_->contentItem();
    if (QWidget* old = view_.data()) {
        ZovViewLayoutItem::detachViewFromItem(*content);
        delete old;
    }
    view_ = view;
    if (!view)
        return;
    ZovLayout* top = dockItemLayout_->topLevelLayout();
    QWidget* host = top ? ZovViewLayout::findViewForLayout(top) : nullptr;
    if (host)
        View::addSubview(host, view);
    else
        View::removeFromSuperview(view);
    ZovViewLayoutItem::attachView(view, *content);
    if (host)
        ZovViewLayoutItem::applyFrame(*content);
    updateViewVisibility();
}

void ZovDock::setCaption(std::string caption)
{
    dockItemLayout_->setCaption(std::move(caption));
    if (captionView_)
        captionView_->update();
    if (dockArea_)
        dockArea_->updateTabs();
    if (window_)
        window_->setWindowTitle(QString::fromStdString(dockItemLayout_->caption()));
}

void ZovDock::setCaptionTextAlignment(unsigned alignment)
{
    if (captionView_)
        captionView_->setTextAlignment(alignment);
}

void ZovDock::updateViewVisibility()
{
    const bool shown = dockItemLayout_->isVisible();
    if (view_)
        View::setHidden(view_, !(shown && dockItemLayout_->contentItem()->isVisible()));
    if (captionView_)
        View::setHidden(captionView_, !shown || state_ == ZovDockStateFloating);
}

void ZovDock::visibilityChanged(ZovLayoutItem&)
{
    updateViewVisibility();
}

void ZovDock::dealloc(ZovLayoutItem&)
{
    // Called from a destructor: reported, never thrown.
    if (!destroying_)
        ZovLog("Dock's layout must not be destroyed before dock. Use [ZovDock release].");
}

void ZovDock::takeOut()
{
    if (state_ == ZovDockStateDocked && dockArea_)
        dockArea_->removeDock(*this);
    else if (state_ == ZovDockStateFloating)
        leaveWindow();
}

void ZovDock::leaveWindow(bool deferred)
{
    Window* window = window_.data();
    window_ = nullptr;
    state_ = ZovDockStateNotPlaced;
    if (!window)
        return;
    NotificationCenter::defaultCenter().removeObserver(this);
    if (QWidget* content = window->contentView())
        ZovViewLayout::detachLayoutFromView(content);
    if (view_)
        View::removeFromSuperview(view_);
    updateViewVisibility();
    if (deferred)
        window->deleteLater();
    else
        delete window;
}

void ZovDock::setFloating()
{
    if (state_ == ZovDockStateFloating)
        return;
    LayoutSize size;
    float origin = 50;
    if (state_ == ZovDockStateNotPlaced) {
        dockItemLayout_->calculateSizes(nullptr, nullptr, &size);
    } else {
        size = dockItemLayout_->frame().size();
        origin = 250;
    }
    ZovMainWindow* frame = dockArea_ ? dockArea_->mainWindow() : mainWindow_;
    if (dockArea_) {
        formerArea_ = Ref<ZovDockArea>(dockArea_);
        const auto& docks = dockArea_->docks();
        formerIndex_ = static_cast<std::int32_t>(std::find(docks.begin(), docks.end(), this) - docks.begin());
        ZovDockArea* top = dockArea_->topLevelArea();
        for (std::int32_t position = 0; frame && position < 4; ++position) {
            if (frame->dockAreaForPosition(position) == top)
                formerPosition_ = position;
        }
    }
    takeOut();

    auto* window = new Window(nullptr, Qt::Window);
    window->setWindowTitle(QString::fromStdString(caption()));
    auto* content = new QWidget;
    window->setContentView(content);
    window_ = window;
    state_ = ZovDockStateFloating;
    ZovViewLayout::attachLayout(*dockItemLayout_, content);
    updateViewVisibility();
    NotificationCenter::defaultCenter().addObserver(this, [this](const Notification&) { windowWillClose(); },
        NSWindowWillCloseNotification, View::viewObject(window));
    window->move(static_cast<int>(origin), static_cast<int>(origin));
    window->setContentSize({std::max(size.width, 1.0f), std::max(size.height, 1.0f)});
    window->show();
    if (frame)
        frame->relayout();
}

void ZovDock::windowWillClose()
{
    Ref<ZovDockArea> area = std::exchange(formerArea_, nullptr);
    leaveWindow(true);
    if (area && area->layout() && area->isStacked()) {
        const auto count = static_cast<std::int32_t>(area->docks().size());
        area->addToStack(*this, std::min(formerIndex_ - 1, count - 1));
    } else if (mainWindow_) {
        // Its area went away meanwhile: a new one at the side it came from.
        const std::int32_t orientation = formerPosition_ <= ZovDockAreaPositionRight ? ZovLayoutOrientationVertical
                                                                                    : ZovLayoutOrientationHorizontal;
        mainWindow_->dockAreaForPosition(formerPosition_)->splitBy(orientation, *this, false);
    }
}

// ---- ZovDockArea ----

ZovDockArea::ZovDockArea(ZovMainWindow* frame)
    : mainWindow_(frame)
{
}

ZovDockArea::~ZovDockArea()
{
    delete tabBar_.data();
}

ZovDockArea* ZovDockArea::areaOfLayout(const ZovLayoutItem* layout)
{
    return layout ? layout->customProperty(ZovLayoutItemDockAreaKey).toObject<ZovDockArea>().get() : nullptr;
}

bool ZovDockArea::isStacked() const
{
    return dynamic_cast<ZovDockAreaStackedLayout*>(layout_) != nullptr;
}

bool ZovDockArea::isEmpty() const
{
    return !isStacked() && areas_.empty();
}

ZovDockAreaBoxedLayout* ZovDockArea::boxed() const
{
    return dynamic_cast<ZovDockAreaBoxedLayout*>(layout_);
}

ZovDockAreaStackedLayout* ZovDockArea::stacked() const
{
    return dynamic_cast<ZovDockAreaStackedLayout*>(layout_);
}

ZovDockArea* ZovDockArea::topLevelArea()
{
    ZovDockArea* area = this;
    while (area->parent_)
        area = area->parent_;
    return area;
}

void ZovDockArea::dealloc(ZovLayoutItem&)
{
    layout_ = nullptr;
}

std::unique_ptr<ZovDockAreaStackedLayout> ZovDockArea::makeStacked(ZovMainWindow* frame, std::vector<ZovDock*> docks)
{
    std::vector<std::unique_ptr<ZovDockItemLayout>> layouts;
    for (ZovDock* dock : docks)
        layouts.push_back(std::move(dock->ownedLayout_));
    auto layout = ZovDockAreaStackedLayout::createWithDockItems(std::move(layouts));
    auto* area = new ZovDockArea(frame);
    area->layout_ = layout.get();
    layout->setDelegate(area);
    layout->setCustomProperty(Value(Ref<Object>::adopt(area)), ZovLayoutItemDockAreaKey);
    area->docks_ = docks;
    for (ZovDock* dock : docks) {
        dock->dockArea_ = area;
        dock->state_ = ZovDockStateDocked;
        if (!dock->mainWindow_)
            dock->mainWindow_ = frame;
    }
    auto* tabBar = new QTabBar;
    tabBar->setDrawBase(false);
    tabBar->setExpanding(false);
    tabBar->setShape(QTabBar::RoundedSouth);
    tabBar->setFocusPolicy(Qt::NoFocus);
    area->tabBar_ = tabBar;
    View::removeFromSuperview(tabBar);
    ZovViewLayoutItem::attachView(tabBar, *layout->tabItem());
    View::setHidden(tabBar, !layout->tabItem()->isVisible());
    QObject::connect(tabBar, &QTabBar::currentChanged, tabBar, [area](int index) {
        if (!area->updatingTabs_ && index >= 0)
            area->setCurrentIndex(index);
    });
    area->updateTabs();
    return layout;
}

std::unique_ptr<ZovDockAreaBoxedLayout> ZovDockArea::makeBoxed(ZovMainWindow* frame, std::int32_t orientation)
{
    auto layout = ZovDockAreaBoxedLayout::create();
    layout->setOrientation(orientation);
    auto* area = new ZovDockArea(frame);
    area->layout_ = layout.get();
    layout->setDelegate(area);
    layout->setCustomProperty(Value(Ref<Object>::adopt(area)), ZovLayoutItemDockAreaKey);
    return layout;
}

void ZovDockArea::updateTabs()
{
    QTabBar* tabBar = tabBar_.data();
    ZovDockAreaStackedLayout* layout = stacked();
    if (!tabBar || !layout)
        return;
    updatingTabs_ = true;
    while (tabBar->count() > static_cast<int>(docks_.size()))
        tabBar->removeTab(tabBar->count() - 1);
    for (std::size_t i = 0; i < docks_.size(); ++i) {
        const QString caption = QString::fromStdString(docks_[i]->caption());
        if (static_cast<int>(i) < tabBar->count())
            tabBar->setTabText(static_cast<int>(i), caption);
        else
            tabBar->addTab(caption);
    }
    tabBar->setCurrentIndex(layout->currentIndex());
    updatingTabs_ = false;
}

void ZovDockArea::relayoutRoot()
{
    if (mainWindow_)
        mainWindow_->relayout();
    else if (layout_)
        if (ZovLayout* top = layout_->topLevelLayout())
            top->performRelayout();
}

void ZovDockArea::setCurrentIndex(std::int32_t index)
{
    ZOV_ASSERT(stacked(), "Not a stacked area");
    stacked()->setCurrentIndex(index);
    updateTabs();
    relayoutRoot();
}

void ZovDockArea::addToStack(ZovDock& dock, std::int32_t index)
{
    ZOV_ASSERT(stacked(), "Not a stacked area");
    dock.takeOut();
    ZovDockAreaStackedLayout* layout = stacked();
    ZOV_ASSERT(layout, "Not a stacked area"); // taking the dock out emptied and removed this area
    index = std::clamp(index, -1, static_cast<std::int32_t>(docks_.size()) - 1);
    layout->insertDockItem(std::move(dock.ownedLayout_), index);
    docks_.insert(docks_.begin() + (index + 1), &dock);
    dock.dockArea_ = this;
    dock.state_ = ZovDockStateDocked;
    if (!dock.mainWindow_)
        dock.mainWindow_ = mainWindow_;
    updateTabs();
    relayoutRoot();
}

std::string ZovDockArea::dump(int depth) const
{
    std::string text = "{ZovDockArea " + pointerText(this) + " items{";
    auto line = [&](std::size_t i, const std::string& item) {
        text += "\n" + std::string(static_cast<std::size_t>(depth), '\t') + "[" + std::to_string(i) + "]" + item;
    };
    for (std::size_t i = 0; i < areas_.size(); ++i)
        line(i, areas_[i]->dump(depth + 1));
    for (std::size_t i = 0; i < docks_.size(); ++i)
        line(i, "{ZovDoc " + pointerText(docks_[i]) + " area{" + pointerText(docks_[i]->dockArea_) + "}}");
    return text + "}}";
}

void ZovDockArea::removeDock(ZovDock& dock)
{
    auto found = std::find(docks_.begin(), docks_.end(), &dock);
    if (found == docks_.end() || !stacked()) {
        const ZovDockArea* other = dock.dockArea_ ? dock.dockArea_->parent_ : nullptr;
        ZovLog("ZovDockArea::removeDock " + (other ? other->dump() : std::string("(null)")) + " " + dump());
        ZOV_ASSERT(false, "No such dock in area");
    }
    releaseDockAt(static_cast<std::int32_t>(found - docks_.begin()));
    ZovMainWindow* frame = mainWindow_;
    collapseIfEmpty(); // may destroy this area
    if (frame)
        frame->relayout();
}

void ZovDockArea::releaseDockAt(std::int32_t index)
{
    ZovDock& dock = *docks_[static_cast<std::size_t>(index)];
    docks_.erase(docks_.begin() + index);
    dock.ownedLayout_ = stacked()->removeDockItem(index);
    dock.dockArea_ = nullptr;
    dock.state_ = ZovDockStateNotPlaced;
    dock.updateViewVisibility();
    updateTabs();
}

void ZovDockArea::adopt(ZovDockArea& child, std::int32_t index)
{
    child.parent_ = this;
    areas_.insert(areas_.begin() + (index + 1), &child);
}

void ZovDockArea::removeDockArea(ZovDockArea& area)
{
    auto found = std::find(areas_.begin(), areas_.end(), &area);
    ZOV_ASSERT(found != areas_.end() && boxed(), "No such area in area");
    // Docks still inside become unplaced first: their layouts must not die with the area.
    std::vector<ZovDock*> inside;
    std::vector<ZovDockArea*> pending {&area};
    while (!pending.empty()) {
        ZovDockArea* next = pending.back();
        pending.pop_back();
        inside.insert(inside.end(), next->docks_.begin(), next->docks_.end());
        pending.insert(pending.end(), next->areas_.begin(), next->areas_.end());
    }
    for (ZovDock* dock : inside) {
        ZovDockArea* holder = dock->dockArea_;
        holder->releaseDockAt(static_cast<std::int32_t>(std::find(holder->docks_.begin(), holder->docks_.end(), dock) - holder->docks_.begin()));
    }
    const auto index = static_cast<std::int32_t>(std::find(areas_.begin(), areas_.end(), &area) - areas_.begin());
    areas_.erase(areas_.begin() + index);
    area.parent_ = nullptr;
    boxed()->removeDockArea(index).reset(); // the area goes with its layout
    ZovMainWindow* frame = mainWindow_;
    collapseIfEmpty();
    if (frame)
        frame->relayout();
}

void ZovDockArea::collapseIfEmpty()
{
    if (!docks_.empty() || !areas_.empty() || !layout_ || layout_->isTopLevel() || !parent_)
        return;
    parent_->removeDockArea(*this);
}

ZovDockArea* ZovDockArea::splitBy(std::int32_t orientation, std::unique_ptr<ZovDock> dock, bool prepend)
{
    ZOV_ASSERT(dock != nullptr && mainWindow_, "Must be"); // every area is made by a frame
    ZovDock& raw = *mainWindow_->adoptDock(std::move(dock));
    return splitBy(orientation, raw, prepend);
}

ZovDockArea* ZovDockArea::splitBy(std::int32_t orientation, ZovDock& dock, bool prepend)
{
    ZOV_ASSERT(orientation == ZovLayoutOrientationHorizontal || orientation == ZovLayoutOrientationVertical, "Invalid direction");
    // Taking the dock out may empty and remove this very area: then its top-level area splits.
    Ref<ZovDockArea> self(this);
    ZovDockArea* top = topLevelArea();
    Ref<ZovDockArea> topRef(top);
    dock.takeOut();
    if (!layout_)
        return top->layout() ? top->splitBy(orientation, dock, prepend) : nullptr;
    ZOV_ASSERT(boxed() || !layout_->isTopLevel(), "Not a boxed area");

    std::unique_ptr<ZovDockAreaStackedLayout> newLayout = makeStacked(mainWindow_, {&dock});
    ZovDockArea* created = areaOfLayout(newLayout.get());
    ZovDockAreaBoxedLayout* box = boxed();
    ZovDockArea* answer = nullptr;

    if (layout_->isTopLevel()) {
        const auto count = static_cast<std::int32_t>(areas_.size());
        if (count < 2 || orientation == box->orientation()) {
            box->setOrientation(orientation);
            box->insertDockArea(std::move(newLayout), prepend ? -1 : count - 1);
            adopt(*created, prepend ? -1 : count - 1);
        } else {
            // The children move, in order, into a boxed area that keeps the old orientation.
            auto wrapperLayout = makeBoxed(mainWindow_, box->orientation());
            ZovDockArea* wrapper = areaOfLayout(wrapperLayout.get());
            std::vector<ZovDockArea*> children = std::move(areas_);
            areas_.clear();
            for (ZovDockArea* child : children) {
                std::unique_ptr<ZovDockAreaLayout> childLayout = box->removeDockArea(0);
                wrapperLayout->insertDockArea(std::move(childLayout), wrapperLayout->count() - 1);
                wrapper->adopt(*child, static_cast<std::int32_t>(wrapper->areas_.size()) - 1);
            }
            box->setOrientation(orientation);
            box->insertDockArea(std::move(wrapperLayout), -1);
            adopt(*wrapper, -1);
            box->insertDockArea(std::move(newLayout), prepend ? -1 : 0);
            adopt(*created, prepend ? -1 : 0);
        }
        answer = created;
    } else {
        ZovDockArea* parent = parent_;
        const auto index = static_cast<std::int32_t>(std::find(parent->areas_.begin(), parent->areas_.end(), this) - parent->areas_.begin());
        parent->areas_.erase(parent->areas_.begin() + index);
        std::unique_ptr<ZovDockAreaLayout> ownLayout = parent->boxed()->removeDockArea(index);
        auto wrapperLayout = makeBoxed(mainWindow_, orientation);
        ZovDockArea* wrapper = areaOfLayout(wrapperLayout.get());
        wrapperLayout->insertDockArea(std::move(ownLayout), -1);
        wrapper->adopt(*this, -1);
        wrapperLayout->insertDockArea(std::move(newLayout), prepend ? -1 : 0);
        wrapper->adopt(*created, prepend ? -1 : 0);
        parent->boxed()->insertDockArea(std::move(wrapperLayout), index - 1);
        parent->adopt(*wrapper, index - 1);
    }
    relayoutRoot();
    return answer;
}

// ---- ZovMainWindow ----

class ZovMainWindow::HostFilter : public QObject {
public:
    explicit HostFilter(ZovMainWindow& frame) : frame_(frame) { }

    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                frame_.mouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() & Qt::LeftButton)
                frame_.mouseDragged(mouse->position().toPoint());
            else
                frame_.mouseMoved(mouse->position().toPoint());
            break;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                frame_.mouseUp();
            break;
        case QEvent::Paint:
            if (QWidget* host = frame_.parentView()) {
                QPainter painter(host);
                frame_.draw(painter);
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    ZovMainWindow& frame_;
};

ZovMainWindow* ZovMainWindow::create()
{
    auto* view = new ZovMainWindowView;
    view->setGeometry(0, 0, 1, 1);
    auto* frame = new ZovMainWindow(view);
    view->mainWindow_ = frame;
    return frame;
}

ZovMainWindow* ZovMainWindow::createWithParentView(QWidget* view)
{
    ZOV_ASSERT(view, "Must be");
    return new ZovMainWindow(view);
}

ZovMainWindow::ZovMainWindow(QWidget* host)
    : parentView_(host)
{
    destroyHandler_ = ZovViewDestroyHandler::create(host, [this](ZovViewDestroyHandler&) { delete this; });
    hostFilter_ = std::make_unique<HostFilter>(*this);
    host->installEventFilter(hostFilter_.get());
    host->setMouseTracking(true);
    NotificationCenter::defaultCenter().addObserver(this, [this](const Notification& notification) {
        if (parentView_ && View::widgetOf(notification.object.get()) == parentView_->window())
            windowWillClose();
    }, NSWindowWillCloseNotification);

    boxLayout_ = ZovBoxLayout::createVertical();
    auto toolbarItem = ZovLayoutItem::create();
    toolbarLayoutItem_ = toolbarItem.get();
    auto statusItem = ZovLayoutItem::create();
    statusItem->setVSizePolicy(MakeFixedSizePolicy(StatusBarHeight));
    statusbarLayoutItem_ = statusItem.get();
    auto mainLayout = ZovMainWindowLayout::create();
    layout_ = mainLayout.get();
    boxLayout_->addItem(std::move(toolbarItem));
    boxLayout_->addItem(std::unique_ptr<ZovLayoutItem>(std::move(mainLayout)));
    boxLayout_->addItem(std::move(statusItem));

    ZovViewLayout::attachLayout(*boxLayout_, host);
    boxLayout_->setRelayoutDelegate(this);

    ZovToolBar* toolBar = ZovToolBar::toolBar();
    toolBar_ = toolBar;
    View::addSubview(host, toolBar);
    ZovViewLayoutItem::attachView(toolBar, *toolbarLayoutItem_);

    for (std::int32_t position = 0; position < 4; ++position) {
        ZovDockAreaBoxedLayout* areaLayout = layout_->dockAreaForPosition(position);
        auto* area = new ZovDockArea(this);
        area->layout_ = areaLayout;
        areaLayout->setDelegate(area);
        areaLayout->setCustomProperty(Value(Ref<Object>::adopt(area)), ZovLayoutItemDockAreaKey);
    }
    relayout();
}

ZovMainWindow::~ZovMainWindow()
{
    destroying_ = true;
    // Every dock takes itself out; emptied areas collapse. No area is walked, so an empty boxed
    // area cannot hold the destruction up.
    while (!docks_.empty()) {
        std::unique_ptr<ZovDock> dock = std::move(docks_.back());
        docks_.pop_back();
        dock.reset();
    }
    delete centralView_.data();
    if (QWidget* host = parentView_.data()) {
        host->removeEventFilter(hostFilter_.get());
        ZovViewLayout::detachLayoutFromView(host);
    }
    NotificationCenter::defaultCenter().removeObserver(this);
    boxLayout_.reset();
}

ZovDock* ZovMainWindow::adoptDock(std::unique_ptr<ZovDock> dock)
{
    ZovDock* raw = dock.get();
    if (std::none_of(docks_.begin(), docks_.end(), [raw](const auto& held) { return held.get() == raw; })) {
        raw->mainWindow_ = this;
        docks_.push_back(std::move(dock));
    }
    return raw;
}

void ZovMainWindow::setCentralView(QWidget* view)
{
    if (centralView_ == view)
        return;
    ZovLayoutItem* content = layout_->contentItem();
    if (QWidget* old = centralView_.data()) {
        ZovViewLayoutItem::detachViewFromItem(*content);
        delete old;
    }
    centralView_ = view;
    if (view) {
        View::addSubview(parentView_, view);
        ZovViewLayoutItem::attachView(view, *content);
        ZovViewLayoutItem::applyFrame(*content);
    }
    relayout();
}

ZovDockArea* ZovMainWindow::dockAreaForPosition(std::int32_t position) const
{
    return ZovDockArea::areaOfLayout(layout_->dockAreaForPosition(position));
}

ZovLayoutItem* ZovMainWindow::dockAreaSplitterForPosition(std::int32_t position) const
{
    return layout_->splitterForPosition(position);
}

void ZovMainWindow::relayout()
{
    if (destroying_ || !boxLayout_)
        return;
    boxLayout_->setNeedsRelayout();
    boxLayout_->performRelayout();
}

void ZovMainWindow::addBar(ZovLayoutItem* item, std::int32_t orientation)
{
    if (!item || !item->isVisibleTo(layout_))
        return;
    const QRect rect = absoluteRect(*item);
    if (!rect.isEmpty())
        bars_.push_back({rect, orientation, item});
}

void ZovMainWindow::collectBars(ZovDockArea& area)
{
    ZovDockAreaBoxedLayout* boxed = area.boxed();
    if (!boxed || boxed->isEmpty() || !boxed->isVisibleTo(layout_))
        return;
    for (ZovLayoutItem* bar : boxed->splitters())
        addBar(bar, boxed->orientation());
    for (ZovDockArea* child : area.areas_)
        collectBars(*child);
}

void ZovMainWindow::relayouted(ZovLayout&)
{
    bars_.clear();
    for (std::int32_t position = 0; position < 4; ++position) {
        ZovLayoutItem* splitter = layout_->splitterForPosition(position);
        addBar(splitter, position <= ZovDockAreaPositionRight ? 0 : 1);
        if (ZovDockArea* area = dockAreaForPosition(position))
            collectBars(*area);
    }
    if (parentView_)
        parentView_->update();
}

Qt::CursorShape ZovMainWindow::cursorAt(QPoint point) const
{
    for (const Bar& bar : bars_) {
        if (bar.rect.contains(point))
            return bar.orientation == 0 ? Qt::SplitHCursor : Qt::SplitVCursor;
    }
    return Qt::ArrowCursor;
}

void ZovMainWindow::mouseDown(QPoint point)
{
    const LayoutPoint p {static_cast<float>(point.x()), static_cast<float>(point.y())};
    const LayoutPoint inLayout = layout_->convertPointFrom(p, nullptr);
    ZovLayoutItem* item = layout_->itemAtPoint(inLayout);
    pressedSplitter_ = item ? ZovMainWindowLayoutSplitter::splitterOfItem(*item) : nullptr;
    if (pressedSplitter_)
        pressedSplitter_->pressAt(item->convertPointFrom(p, nullptr));
}

void ZovMainWindow::mouseDragged(QPoint point)
{
    if (!pressedSplitter_)
        return;
    const LayoutPoint p {static_cast<float>(point.x()), static_cast<float>(point.y())};
    ZovLayoutItem* item = pressedSplitter_->layoutItem();
    pressedSplitter_->moveAt(item->convertPointFrom(p, nullptr));
}

void ZovMainWindow::mouseUp()
{
    pressedSplitter_ = nullptr;
}

void ZovMainWindow::mouseMoved(QPoint point)
{
    if (!parentView_)
        return;
    const Qt::CursorShape shape = cursorAt(point);
    if (shape == Qt::ArrowCursor)
        parentView_->unsetCursor();
    else
        parentView_->setCursor(shape);
}

void ZovMainWindow::drawArea(QPainter& painter, ZovDockArea& area)
{
    ZovDockAreaLayout* layout = area.layout();
    if (!layout || !layout->isVisibleTo(layout_))
        return;
    if (area.isStacked()) {
        drawBorder(painter, *layout);
        return;
    }
    ZovDockAreaBoxedLayout* boxed = area.boxed();
    if (boxed->isEmpty())
        return;
    for (ZovLayoutItem* bar : boxed->splitters()) {
        if (bar->isVisibleTo(layout_))
            drawSplitter(painter, *bar);
    }
    for (ZovDockArea* child : area.areas())
        drawArea(painter, *child);
}

void ZovMainWindow::draw(QPainter& painter)
{
    for (std::int32_t position = 0; position < 4; ++position) {
        ZovLayoutItem* splitter = layout_->splitterForPosition(position);
        if (splitter && splitter->isVisibleTo(layout_))
            drawSplitter(painter, *splitter);
        if (ZovDockArea* area = dockAreaForPosition(position))
            drawArea(painter, *area);
    }
    if (centralView_)
        drawBorder(painter, *layout_->contentItem());
}

void ZovMainWindow::windowWillClose()
{
    if (!parentView_)
        return;
    const auto number = Window::screenNumber(parentView_->window()->screen());
    if (number)
        UserDefaultsController::shared().setValueForKeyPath(Value(static_cast<long long>(*number)), "values.MainWindow.ScreenNumber");
}

} // namespace vistel
