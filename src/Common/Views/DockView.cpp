#include "Common/Views/DockView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QStyleOption>

#include "Platform/Gui/View.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

// ---- VerticalLayout ------------------------------------------------------------------------

VerticalLayout::VerticalLayout(QWidget* parent) : QWidget(parent) { }

VerticalLayout::~VerticalLayout()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void VerticalLayout::addView(QWidget* view)
{
    if (!view)
        return;
    View::addSubview(this, view);
    views_.emplace_back(view);
    NotificationCenter::defaultCenter().addObserver(this, [this](const Notification&) { layoutViews(); }, NSViewFrameDidChangeNotification,
                                                    View::viewObject(view));
    layoutViews();
}

void VerticalLayout::removeView(QWidget* view)
{
    NotificationCenter::defaultCenter().removeObserver(this, NSViewFrameDidChangeNotification, View::viewObject(view));
    std::erase_if(views_, [view](const QPointer<QWidget>& listed) { return !listed || listed == view; });
    layoutViews();
}

std::vector<QWidget*> VerticalLayout::views() const
{
    std::vector<QWidget*> views;
    for (const QPointer<QWidget>& view : views_)
        if (view)
            views.push_back(view);
    return views;
}

void VerticalLayout::layoutViews()
{
    // Frames set here announce themselves again: one pass at a time.
    if (layingOut_)
        return;
    layingOut_ = true;
    int y = 0;
    for (QWidget* view : views()) {
        View::setFrame(view, QRectF(0, y, width(), view->height()));
        y += view->height();
    }
    View::setFrame(this, QRectF(x(), this->y(), width(), y));
    layingOut_ = false;
}

void VerticalLayout::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutViews();
}

// ---- DockPanel -----------------------------------------------------------------------------

namespace {
int gAnimationDuration = 200;
}

int DockPanel::animationDuration()
{
    return gAnimationDuration;
}

void DockPanel::setAnimationDuration(int milliseconds)
{
    gAnimationDuration = milliseconds;
}

QRect DockPanel::Geometry::expandedFrame(const QRect& frame, bool open, QSize savedContent)
{
    if (open)
        return frame;
    return {frame.topLeft(), QSize(frame.width(), savedContent.height() + 30)};
}

QRect DockPanel::Geometry::collapsedFrame(const QRect& frame, bool open)
{
    if (!open)
        return frame;
    return {frame.topLeft(), QSize(frame.width(), 22)};
}

DockPanel::DockPanel(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption)
{
    setMouseTracking(true);
    setMinimumHeight(0);
}

void DockPanel::setCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void DockPanel::setView(QWidget* view)
{
    if (view_ && view_ != view)
        View::removeFromSuperview(view_);
    view_ = view;
    if (view) {
        View::setHidden(view, !isOpen_);
        View::addSubview(this, view);
        View::setFrame(view, QRectF(Geometry::content(size())));
    }
    update();
}

void DockPanel::setOpen(bool open)
{
    if (open == isOpen_)
        return;
    const QRect expanded = Geometry::expandedFrame(geometry(), isOpen_, viewSize_);
    const QRect collapsed = Geometry::collapsedFrame(geometry(), isOpen_);
    isOpen_ = open;
    update();
    if (!view_)
        return;
    if (!open) {
        viewSize_ = view_->size();
        View::setHidden(view_, true);
        animateTo(collapsed);
    } else {
        View::setHidden(view_, false);
        animateTo(expanded);
    }
}

void DockPanel::animateTo(const QRect& frame)
{
    if (gAnimationDuration <= 0) {
        View::setFrame(this, QRectF(frame));
        return;
    }
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(gAnimationDuration);
    animation->setEndValue(frame);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void DockPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (view_ && view_->parentWidget() == this)
        View::setFrame(view_, QRectF(Geometry::content(size())));
}

// Draws a disclosure triangle: pointing down when on, right when off, pressed when mixed.
static void drawDisclosure(QPainter& painter, const QRect& rect, int state, const QWidget* widget)
{
    QStyleOption option;
    option.initFrom(widget);
    option.rect = rect.adjusted(6, 4, -6, -4);
    if (state < 0)
        option.state |= QStyle::State_Sunken;
    const QStyle::PrimitiveElement arrow = state == 0 ? QStyle::PE_IndicatorArrowRight : QStyle::PE_IndicatorArrowDown;
    if (state < 0)
        option.palette.setColor(QPalette::ButtonText, option.palette.color(QPalette::Dark));
    widget->style()->drawPrimitive(arrow, &option, &painter, widget);
}

void DockPanel::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(event->rect(), colours.color(QPalette::Midlight));
    painter.fillRect(QRect(0, 21, width(), 1), colours.color(QPalette::Mid));
    drawDisclosure(painter, Geometry::triangle(), inMixedState_ ? -1 : isOpen_ ? 1 : 0, this);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(Geometry::captionText(width()), Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(caption_, Qt::ElideRight, Geometry::captionText(width()).width() - 24));
    QStyleOption button;
    button.initFrom(this);
    button.rect = Geometry::closeButton(width());
    if (closeButtonPressed_)
        button.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelButtonTool, &button, &painter, this);
    drawDisclosure(painter, Geometry::closeButton(width()), closeButtonPressed_ ? -1 : closeButtonOn_ ? 1 : 0, this);
    painter.fillRect(Geometry::splitter(size(), isOpen_), colours.color(QPalette::Mid));
}

void DockPanel::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (event->button() != Qt::LeftButton)
        return;
    if (Geometry::closeButton(width()).contains(point)) {
        press_ = Press::CloseButton;
        closeButtonPressed_ = true;
    } else if (Geometry::splitter(size(), isOpen_).contains(point)) {
        press_ = Press::Splitter;
        pressPoint_ = event->globalPosition().toPoint();
        pressFrame_ = geometry();
    } else if (Geometry::caption(width()).contains(point)) {
        press_ = Press::Caption;
        inMixedState_ = true;
    }
    update();
}

void DockPanel::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    switch (press_) {
    case Press::None:
        // The splitter carries the up-down cursor.
        if (Geometry::splitter(size(), isOpen_).contains(point))
            setCursor(Qt::SizeVerCursor);
        else
            unsetCursor();
        return;
    case Press::CloseButton: closeButtonPressed_ = Geometry::closeButton(width()).contains(point); break;
    case Press::Splitter: {
        const int moved = event->globalPosition().toPoint().y() - pressPoint_.y();
        const int height = std::max(pressFrame_.height() + moved, Geometry::minimalSize().height());
        View::setFrame(this, QRectF(pressFrame_.x(), pressFrame_.y(), pressFrame_.width(), height));
        break;
    }
    case Press::Caption: inMixedState_ = Geometry::caption(width()).contains(point); break;
    }
    update();
}

void DockPanel::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const Press press = std::exchange(press_, Press::None);
    if (press == Press::CloseButton) {
        // An on-off button: a click inside flips it.
        if (Geometry::closeButton(width()).contains(point))
            closeButtonOn_ = !closeButtonOn_;
        closeButtonPressed_ = false;
    } else if (press == Press::Caption) {
        inMixedState_ = false;
        if (Geometry::caption(width()).contains(point))
            setOpen(!isOpen_);
    }
    update();
}

// ---- DockView ------------------------------------------------------------------------------

DockView::DockView(QWidget* parent) : QScrollArea(parent), layout_(new VerticalLayout)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWidgetResizable(false);
    setWidget(layout_);
    fitLayoutToWidth();
}

DockPanel* DockView::addPanel(QWidget* view, const QString& caption)
{
    auto* panel = new DockPanel(caption);
    panel->resize(layout_->width(), view ? view->height() + 30 : 30);
    panel->setView(view);
    layout_->addView(panel);
    return panel;
}

void DockView::removePanel(QWidget* view)
{
    for (QWidget* listed : layout_->views()) {
        auto* panel = dynamic_cast<DockPanel*>(listed);
        if (!panel || panel->view() != view)
            continue;
        layout_->removeView(panel);
        // Off the screen: the view goes back to its owner detached, the panel is gone.
        if (view)
            View::removeFromSuperview(view);
        delete panel;
        return;
    }
}

void DockView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    fitLayoutToWidth();
}

void DockView::fitLayoutToWidth()
{
    View::setFrame(layout_, QRectF(0, 0, viewport()->width(), layout_->height()));
}

// ---- MDObjectPreviewPanel ------------------------------------------------------------------

MDObjectPreviewPanel::MDObjectPreviewPanel(QWidget* parent) : QWidget(parent) { }

void MDObjectPreviewPanel::setInfoWithItem(const ThumbnailImageProvider* item)
{
    image_ = QImage();
    if (item)
        image_ = item->thumbnailImage();
    if (!image_.isNull())
        update();
}

QRectF MDObjectPreviewPanel::fittedRect(QSizeF image, const QRectF& bounds)
{
    if (image.isEmpty() || bounds.isEmpty())
        return {};
    const QSizeF fitted = image.scaled(bounds.size(), Qt::KeepAspectRatio);
    return {bounds.x() + (bounds.width() - fitted.width()) / 2, bounds.y() + (bounds.height() - fitted.height()) / 2, fitted.width(),
            fitted.height()};
}

void MDObjectPreviewPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (image_.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(fittedRect(QSizeF(image_.size()), QRectF(rect())), image_);
}

} // namespace vistel
