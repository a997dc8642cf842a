// ThumbnailsView: mouse presses, the rubber band, autoscroll, drags and the context menu.

#include <algorithm>
#include <cmath>

#include <QContextMenuEvent>
#include <QDrag>
#include <QFontMetricsF>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "Application/BrowseMode/ThumbnailDecorations.h"
#include "Application/BrowseMode/ThumbnailsView.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Imaging/MultiImage.h"

namespace vistel {

namespace {

// Motion below this many points in both directions neither drags nor draws a band.
constexpr double kDragThreshold = 6.0;
constexpr double kAutoscrollInterval = 0.1;
constexpr int kAutoscrollStep = 16;

QImage pixelsOf(const Ref<MultiImage>& image, QSizeF size)
{
    if (!image)
        return {};
    Ref<ImageRep> rep = image->bestRepresentationForSize(size);
    Ref<PlatformImage> pixels = rep ? rep->cgImage() : Ref<PlatformImage>();
    return pixels ? pixels->toQImage() : QImage();
}

} // namespace

// --- press, motion, release ------------------------------------------------------------------------

void ThumbnailsView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // The context menu: the control selects the item (or nothing) and asks the handler.
        const QPointF point = event->position();
        const std::uint64_t index = itemIndexForPoint(point);
        setControlClickedItem(index > 0x7fffffffu ? -1 : int(index));
        if (controlClickedItem_ < 0 || !userActionsDelegate_)
            return;
        if (QMenu* menu = userActionsDelegate_->itemsViewPerformControlClick(this)) {
            if (!menu->parent())
                menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(event->globalPosition().toPoint());
        }
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    clickCount_ = 1;
    soleSelectionOnRelease_ = -1;
    flags_.isMouseDown = true;
    flags_.startDrag = false;
    flags_.startSelectionFrame = false;
    trackedDecoration_ = nullptr;
    const QPointF point = event->position();
    startMouseDownPoint_ = currentMouseDownPoint_ = point;
    lastPointerGlobal_ = event->globalPosition();
    const std::uint64_t index = itemIndexForPoint(point);
    const bool hit = index < itemsCount() && activeRectForItemIndex(index).contains(point);
    IndexSet selection = selectedItemsIndexes();
    setClickedItem(index > 0x7fffffffu ? -1 : int(index));
    if (hit) {
        if (Ref<FileSystemItemMO> item = itemAtIndex(index))
            if (startTrackingForDecorationWithItem(*item, itemRectForIndex(index), point))
                return; // the mark took the press: selection, drag and band stay as they are
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        if (modifiers & Qt::ControlModifier) {
            if (selection.containsIndex(index))
                selection.removeIndex(index);
            else
                selection.addIndex(index);
        } else if (modifiers & Qt::ShiftModifier) {
            if (selection.empty()) {
                selection.addIndex(index);
            } else {
                const std::uint64_t last = selection.lastIndex();
                const std::uint64_t from = std::min(index, last), to = std::max(index, last);
                selection.addRange(from, to - from + 1);
            }
        } else if (!selection.containsIndex(index)) {
            selection = IndexSet(index);
        } else if (selection.count() > 1) {
            // Never narrowed on the press: a drag from here carries the whole selection.
            soleSelectionOnRelease_ = static_cast<std::int64_t>(index);
        }
        flags_.startDrag = true;
    } else {
        if (!(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
            selection.removeAllIndexes();
        flags_.startSelectionFrame = true;
    }
    setSelectedItemIndexes(selection);
    enqueueReorderRequestsForItemsWithIndexes(selection);
}

void ThumbnailsView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double click acts as a press, and its release reports the double click.
    mousePressEvent(event);
    clickCount_ = 2;
}

void ThumbnailsView::mouseMoveEvent(QMouseEvent* event)
{
    if (!flags_.isMouseDown || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF previous = currentMouseDownPoint_;
    currentMouseDownPoint_ = event->position();
    lastPointerGlobal_ = event->globalPosition();
    if (std::abs(currentMouseDownPoint_.x() - startMouseDownPoint_.x()) < kDragThreshold
        && std::abs(currentMouseDownPoint_.y() - startMouseDownPoint_.y()) < kDragThreshold)
        return;
    if (trackedDecoration_)
        return;
    if (flags_.startDrag) {
        startDragOfSelection();
        return;
    }
    if (flags_.startSelectionFrame) {
        redrawBandChange(previous);
        if (!autoScrollTimer_ && !visibleRect().contains(currentMouseDownPoint_)) {
            QPointer<ThumbnailsView> self(this);
            autoScrollTimer_ = RunLoop::main()->scheduleTimer(
                kAutoscrollInterval, true,
                [self](RunLoop::Timer&) {
                    if (self)
                        self->autoscrollTick();
                },
                {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode});
        }
    }
}

void ThumbnailsView::redrawBandChange(QPointF previous)
{
    QRectF area = updateItemsRectWithPoints(startMouseDownPoint_, currentMouseDownPoint_)
                      .united(updateItemsRectWithPoints(startMouseDownPoint_, previous))
                      .united(makeRectFromPoints(startMouseDownPoint_, previous))
                      .united(makeRectFromPoints(startMouseDownPoint_, currentMouseDownPoint_));
    update(area.adjusted(-1, -1, 1, 1).toAlignedRect());
}

void ThumbnailsView::autoscrollTick()
{
    QScrollArea* area = enclosingScrollArea();
    if (!flags_.isMouseDown || !flags_.startSelectionFrame || !area) {
        stopAutoscroll();
        return;
    }
    const QPointF pointer = mapFromGlobal(lastPointerGlobal_);
    const QRectF visible = visibleRect();
    QScrollBar* bar = area->verticalScrollBar();
    int step = 0;
    if (pointer.y() < visible.top())
        step = -std::max(kAutoscrollStep, int(visible.top() - pointer.y()));
    else if (pointer.y() > visible.bottom())
        step = std::max(kAutoscrollStep, int(pointer.y() - visible.bottom()));
    if (step == 0)
        return;
    const int before = bar->value();
    bar->setValue(before + step);
    const int moved = bar->value() - before;
    if (moved == 0)
        return;
    // The pointer stays where it is on screen: in the grid it moved by the scroll distance.
    const QPointF previous = currentMouseDownPoint_;
    currentMouseDownPoint_ = mapFromGlobal(lastPointerGlobal_);
    redrawBandChange(previous);
}

void ThumbnailsView::stopAutoscroll()
{
    if (autoScrollTimer_) {
        autoScrollTimer_->invalidate();
        autoScrollTimer_ = nullptr;
    }
}

void ThumbnailsView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !flags_.isMouseDown) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (soleSelectionOnRelease_ >= 0 && clickCount_ == 1) {
        // A click without a drag on one of several selected items selects it alone.
        const IndexSet sole(static_cast<std::uint64_t>(soleSelectionOnRelease_));
        soleSelectionOnRelease_ = -1;
        setSelectedItemIndexes(sole);
        enqueueReorderRequestsForItemsWithIndexes(sole);
    }
    if (userActionsDelegate_) {
        if (clickCount_ == 1)
            userActionsDelegate_->itemsViewPerformClick(this);
        else if (clickCount_ == 2)
            userActionsDelegate_->itemsViewPerformDoubleClick(this);
    }
    if (flags_.startSelectionFrame) {
        const QRectF band = selectionFrame();
        IndexSet selection = selectedItemsIndexes();
        selection.addIndexes(itemsIndexRangeForRect(band));
        flags_.startSelectionFrame = false;
        setSelectedItemIndexes(selection);
        enqueueReorderRequestsForItemsWithIndexes(selection);
        update(updateItemsRectWithPoints(startMouseDownPoint_, currentMouseDownPoint_).adjusted(-1, -1, 1, 1).toAlignedRect());
    }
    finishPress();
}

void ThumbnailsView::finishPress()
{
    flags_.isMouseDown = false;
    flags_.startDrag = false;
    flags_.startSelectionFrame = false;
    trackedDecoration_ = nullptr;
    soleSelectionOnRelease_ = -1;
    stopAutoscroll();
}

void ThumbnailsView::contextMenuEvent(QContextMenuEvent* event)
{
    // Right presses are handled as they come (mousePressEvent); the menu key opens the menu of
    // the first selected item.
    if (event->reason() != QContextMenuEvent::Keyboard || !userActionsDelegate_)
        return;
    const std::uint64_t first = selectedItemsIndexes().firstIndex();
    if (first == NSNotFound || first >= itemsCount())
        return;
    setControlClickedItem(int(first));
    if (QMenu* menu = userActionsDelegate_->itemsViewPerformControlClick(this)) {
        if (!menu->parent())
            menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(mapToGlobal(gridRectForItemIndex(first).center().toPoint()));
    }
}

// --- drags ---------------------------------------------------------------------------------------------------

QImage ThumbnailsView::dragImageForItem(std::uint64_t index, std::uint64_t count, int* pictureShift) const
{
    Ref<MultiImage> image = imageAtIndex(index, QSizeF(itemSize_, itemSize_));
    QSizeF scaled = scaledItemSizeForSize(pixelSizeOf(image.get()), itemSize_);
    QImage picture = pixelsOf(image, scaled);
    if (picture.isNull() || scaled.isEmpty()) {
        const int side = std::max(1, int(std::lround(itemSize_)));
        picture = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        picture.fill(QColor(255, 128, 0)); // orange
        scaled = QSizeF(side, side);
    }
    const int w = std::max(1, int(std::lround(scaled.width())));
    const int h = std::max(1, int(std::lround(scaled.height())));
    int shift = 0, growth = 0;
    QString countText;
    QFont badgeFont(QStringLiteral("Lucida Grande"));
    badgeFont.setPointSizeF(12);
    QSizeF textSize;
    int diameter = 0;
    int circleX = 0;
    if (count > 1) {
        countText = QString::number(count);
        const QFontMetricsF metrics(badgeFont);
        textSize = QSizeF(metrics.horizontalAdvance(countText), metrics.height());
        const int d = int(std::max(std::ceil(textSize.width()), std::ceil(textSize.height())));
        diameter = d + 5;
        circleX = int(std::trunc(w - 5.0)) - diameter;
        if (circleX < 0) {
            shift = -circleX;
            circleX = 0;
        }
        if (d + 10 > h)
            growth = d + 10 - h;
    }
    QImage drag(w + shift, h + growth, QImage::Format_ARGB32_Premultiplied);
    drag.fill(Qt::transparent);
    QPainter painter(&drag);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setOpacity(0.5);
    painter.drawImage(QRectF(shift, growth, w, h), picture);
    painter.setOpacity(1.0);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (count > 1) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        // The circle's lower edge 5 points above the picture's bottom.
        const QRectF circle(circleX, drag.height() - 5.0 - diameter, diameter, diameter);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(1.0f, 0.111f, 0.111f, 0.777f));
        painter.drawEllipse(circle);
        const double cx = std::floor(circle.center().x()), cy = std::floor(circle.center().y());
        painter.setPen(Qt::white);
        painter.setFont(badgeFont);
        painter.drawText(QRectF(cx - 1 - textSize.width() / 2, cy - textSize.height() / 2 - 2, textSize.width() + 2,
                                textSize.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, countText);
    }
    painter.end();
    if (pictureShift)
        *pictureShift = shift;
    return drag;
}

bool ThumbnailsView::startDragOfSelection()
{
    if (!userActionsDelegate_)
        return false;
    const std::uint64_t index = itemIndexForPoint(startMouseDownPoint_);
    const IndexSet selection = selectedItemsIndexes();
    if (userActionsDelegate_->pasteboardDragTypesForItemsView(this).empty())
        return false;
    Ref<Pasteboard> board = Pasteboard::dragPasteboard();
    board->declareTypes({});
    userActionsDelegate_->processItems(selection, "copyToDrag:", this);
    // The drag takes a copy of what the delegate put on the drag pasteboard.
    auto* data = new QMimeData;
    const QMimeData* source = board->mimeData();
    for (const QString& format : source->formats())
        data->setData(format, source->data(format));

    int shift = 0;
    const QImage image = dragImageForItem(index, selection.count(), &shift);
    const QRectF thumb = itemRectForIndex(index);
    if (lastDrag_)
        lastDrag_->deleteLater();
    auto* drag = new QDrag(this);
    lastDrag_ = drag;
    drag->setMimeData(data);
    drag->setPixmap(QPixmap::fromImage(image));
    // The pointer keeps its place over the picture.
    const QPointF grab = startMouseDownPoint_ - thumb.topLeft();
    drag->setHotSpot(QPoint(int(grab.x()) + shift, int(grab.y()) + (image.height() - int(thumb.height()))));
    QPointer<ThumbnailsView> self(this);
    // A move the receiver reports means it moved the files itself: nothing is deleted here.
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
    if (self)
        finishPress();
    return true;
}

QMimeData* ThumbnailsView::lastDragMimeData() const
{
    return lastDrag_ ? lastDrag_->mimeData() : nullptr;
}

} // namespace vistel
