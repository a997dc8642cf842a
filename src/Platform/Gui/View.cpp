#include "Platform/Gui/View.h"

#include <cmath>
#include <unordered_map>

#include <QEvent>
#include <QVariant>
#include <QWidget>

#include "Platform/NotificationCenter.h"

namespace vistel {

namespace {

constexpr const char* HiddenProperty = "vistelHidden";
constexpr const char* ScaleProperty = "vistelScale";

struct ViewEntry {
    Ref<ViewObject> object;
    QRect lastPosted; // the geometry the last notification (or the first use) reported
};

// Main thread only, like the widgets it is keyed by.
std::unordered_map<const QWidget*, ViewEntry>& registry()
{
    static std::unordered_map<const QWidget*, ViewEntry> entries;
    return entries;
}

// Adds the geometry changes Qt makes itself (resizes of windows, layouts of Qt's own widgets).
class FrameFilter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move) {
            if (watched->isWidgetType())
                postChange(static_cast<QWidget*>(watched));
        }
        return false;
    }

    static void postChange(QWidget* widget)
    {
        auto found = registry().find(widget);
        if (found == registry().end() || found->second.lastPosted == widget->geometry())
            return;
        found->second.lastPosted = widget->geometry();
        Ref<Object> object(found->second.object.get());
        NotificationCenter::defaultCenter().postNotificationName(NSViewFrameDidChangeNotification, object);
    }
};

FrameFilter& frameFilter()
{
    static FrameFilter* filter = new FrameFilter; // lives for the process: widgets may outlive any owner
    return *filter;
}

QPointer<QWidget>& holder()
{
    static QPointer<QWidget> widget;
    return widget;
}

} // namespace

ViewObject* View::viewObject(QWidget* widget)
{
    if (!widget)
        return nullptr;
    auto& entries = registry();
    if (auto found = entries.find(widget); found != entries.end())
        return found->second.object.get();
    auto object = Ref<ViewObject>::adopt(new ViewObject(widget));
    entries.emplace(widget, ViewEntry {object, widget->geometry()});
    widget->installEventFilter(&frameFilter());
    const QWidget* key = widget;
    QObject::connect(widget, &QObject::destroyed, &frameFilter(), [key] { registry().erase(key); });
    return object.get();
}

QWidget* View::widgetOf(const Object* object)
{
    const auto* view = dynamic_cast<const ViewObject*>(object);
    return view ? view->widget() : nullptr;
}

QRect View::pixelRect(const QRectF& frame)
{
    const int x0 = static_cast<int>(std::lround(frame.x()));
    const int y0 = static_cast<int>(std::lround(frame.y()));
    const int x1 = static_cast<int>(std::lround(frame.x() + frame.width()));
    const int y1 = static_cast<int>(std::lround(frame.y() + frame.height()));
    return QRect(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

void View::setFrame(QWidget* widget, const QRectF& frame)
{
    viewObject(widget);
    const QRect rect = pixelRect(frame);
    if (widget->geometry() != rect)
        widget->setGeometry(rect);
    postFrameChangeIfNeeded(widget);
}

void View::postFrameChangeIfNeeded(QWidget* widget)
{
    FrameFilter::postChange(widget);
}

bool View::isHidden(const QWidget* widget)
{
    const QVariant recorded = widget->property(HiddenProperty);
    if (recorded.isValid())
        return recorded.toBool();
    return widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

void View::setHidden(QWidget* widget, bool hidden)
{
    widget->setProperty(HiddenProperty, hidden);
    // A parentless widget that is no window would turn into one if shown: only the request is kept.
    if (widget->parentWidget() || hidden)
        widget->setVisible(!hidden);
}

void View::addSubview(QWidget* parent, QWidget* widget)
{
    const bool hidden = isHidden(widget);
    if (widget->parentWidget() != parent)
        widget->setParent(parent);
    widget->setVisible(!hidden);
}

QWidget* View::detachedViewsHolder()
{
    if (!holder()) {
        auto* widget = new QWidget;
        widget->setObjectName("vistelDetachedViews");
        holder() = widget;
    }
    return holder().data();
}

void View::removeFromSuperview(QWidget* widget)
{
    const bool hidden = isHidden(widget);
    QWidget* parking = detachedViewsHolder();
    if (widget->parentWidget() != parking) {
        widget->hide();
        widget->setParent(parking);
    }
    widget->setProperty(HiddenProperty, hidden);
}

bool View::hasSuperview(const QWidget* widget)
{
    return widget->parentWidget() && widget->parentWidget() != holder().data();
}

void View::releaseDetachedViews()
{
    delete holder().data();
}

QSizeF View::scale(const QWidget* widget)
{
    const QVariant value = widget->property(ScaleProperty);
    return value.isValid() ? value.toSizeF() : QSizeF(1, 1);
}

void View::setScale(QWidget* widget, QSizeF scale)
{
    widget->setProperty(ScaleProperty, scale);
}

void View::setScalePercent(QWidget* widget, double percent)
{
    setScale(widget, {percent / 100, percent / 100});
    widget->update();
}

void View::applyScale(QPainter& painter, const QWidget* widget)
{
    const QSizeF factor = scale(widget);
    painter.scale(factor.width(), factor.height());
}

QPointF View::pointFromPixels(const QWidget* widget, QPointF pixels)
{
    const QSizeF factor = scale(widget);
    return {factor.width() ? pixels.x() / factor.width() : pixels.x(), factor.height() ? pixels.y() / factor.height() : pixels.y()};
}

QPointF View::pointToPixels(const QWidget* widget, QPointF point)
{
    const QSizeF factor = scale(widget);
    return {point.x() * factor.width(), point.y() * factor.height()};
}

} // namespace vistel
