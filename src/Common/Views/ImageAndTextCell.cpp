#include "Common/Views/ImageAndTextCell.h"

#include <cmath>

#include <QPainter>

#include "Common/Strings/Gui/NSImageNamedImageExtended.h"

namespace vistel {

namespace ImageAndTextCellGeometry {

QRectF imageRect(const QRectF& bounds, QSizeF imageSize)
{
    if (imageSize.isEmpty())
        return {};
    const double limit = std::trunc(bounds.height());
    QRectF rect(bounds.x() + 5, bounds.y(), imageSize.width(), imageSize.height());
    if (imageSize.width() > limit || imageSize.height() > limit) {
        const double scale = std::min(limit / imageSize.height(), limit / imageSize.width());
        rect.setSize(imageSize * scale);
        rect.moveTop(bounds.y() + (bounds.height() - rect.height()) / 2);
        return rect;
    }
    // A small icon is centred in a 20 x 20 square, then lifted by 2.
    const double right = std::round((20 - imageSize.width()) / 2);
    const double down = std::round((20 - imageSize.height()) / 2);
    rect.translate(std::max(right, 0.0), std::max(down, 0.0) - 2);
    return rect;
}

QRectF ejectButtonRect(const QRectF& bounds, bool hasEjectButton)
{
    const double left = bounds.x() + bounds.width() - kEjectButtonSide;
    if (!hasEjectButton || left <= 0)
        return {};
    return {std::round(left), bounds.y(), kEjectButtonSide, kEjectButtonSide};
}

QRectF progressRect(const QRectF& bounds, bool drawProgress, double ejectWidth)
{
    if (!drawProgress)
        return {};
    const double side = bounds.height();
    return {bounds.x() + bounds.width() - ejectWidth - side - 2, bounds.y(), side, side};
}

QRectF countRect(const QRectF& bounds, std::optional<QSizeF> numberSize, double ejectWidth, double progressWidth)
{
    if (!numberSize)
        return {};
    const double width = std::trunc(std::max(numberSize->height() + 1, numberSize->width() + 6) + 15);
    const double x = std::trunc(bounds.x() + bounds.width() - ejectWidth - progressWidth - width - 2 - (progressWidth > 0 ? 4 : 0));
    return {x, bounds.y(), width, bounds.height()};
}

QPainterPath countPath(const QRectF& countRect, double numberHeight)
{
    return countRect.isEmpty() ? QPainterPath() : roundedRect(countRect, numberHeight / 2);
}

QRectF titleRect(const QRectF& bounds, double imageWidth, double ejectWidth, double countWidth, double progressWidth)
{
    const double left = std::trunc(imageWidth + 11);
    // The progress area (and the badge's gap before it) is kept free too, so a long title never
    // runs under the mark.
    const double gapBeforeProgress = progressWidth > 0 && countWidth > 0 ? 4 : 0;
    const double right = std::trunc(ejectWidth + countWidth + progressWidth + gapBeforeProgress + 4);
    return {bounds.x() + left, bounds.y() + 2, bounds.width() - left - right, bounds.height()};
}

QRectF subTitleRect(const QRectF& titleRect, const QRectF& bounds, std::optional<double> subTitleWidth)
{
    if (!subTitleWidth)
        return {};
    const double maxX = bounds.x() + bounds.width();
    const double width = std::max(0.0, std::min(*subTitleWidth, maxX - titleRect.x()));
    return {titleRect.x(), titleRect.y() + 13, width, titleRect.height() - 13};
}

QSizeF cellSize(const QRectF& bounds, double titleWidth)
{
    return {std::min(titleWidth + 50, bounds.width()), std::min(bounds.height(), 20.0)};
}

QPainterPath roundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    const double r = std::min({radius, rect.width() / 2, rect.height() / 2});
    path.addRoundedRect(rect, r, r);
    return path;
}

} // namespace ImageAndTextCellGeometry

namespace G = ImageAndTextCellGeometry;

ImageAndTextCell::ImageAndTextCell()
{
    setLineBreakMode(Qt::ElideMiddle);
}

std::string ImageAndTextCell::ejectButtonImageName() const
{
    const char* state = isHighlighted() ? "selected" : "normal";
    const char* suffix = mouseDownInEjectButton_ ? "-mouse" : mouseHoveredInEjectButton_ ? "-hovered" : "";
    return std::string("eject-") + state + suffix + ".PNG";
}

QImage ImageAndTextCell::ejectButtonImage() const
{
    return NSImageNamedImageExtended::imageNamed(ejectButtonImageName(), "images");
}

QFont ImageAndTextCell::badgeFont(double pointSize)
{
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSizeF(pointSize);
    return font;
}

QSizeF ImageAndTextCell::countNumberSize(const QWidget* view) const
{
    const QFontMetricsF metrics(badgeFont(font(view).pointSizeF()));
    return {metrics.horizontalAdvance(countNumberString()), metrics.height()};
}

QRectF ImageAndTextCell::imageRectForBounds(const QRectF& bounds) const
{
    return G::imageRect(bounds, image_.isNull() ? QSizeF() : QSizeF(image_.size()) / image_.devicePixelRatio());
}

QRectF ImageAndTextCell::ejectButtonRectForBounds(const QRectF& bounds) const
{
    return G::ejectButtonRect(bounds, hasEjectButton_);
}

QRectF ImageAndTextCell::progressRectForBounds(const QRectF& bounds) const
{
    return G::progressRect(bounds, drawProgress_, ejectButtonRectForBounds(bounds).width());
}

QRectF ImageAndTextCell::countRectForBounds(const QRectF& bounds, const QWidget* view) const
{
    return G::countRect(bounds, hasCount_ ? std::optional<QSizeF>(countNumberSize(view)) : std::nullopt,
                        ejectButtonRectForBounds(bounds).width(), progressRectForBounds(bounds).width());
}

QRectF ImageAndTextCell::titleRectForBounds(const QRectF& bounds, const QWidget* view) const
{
    return G::titleRect(bounds, imageRectForBounds(bounds).width(), ejectButtonRectForBounds(bounds).width(),
                        countRectForBounds(bounds, view).width(), progressRectForBounds(bounds).width());
}

QRectF ImageAndTextCell::subTitleRectForBounds(const QRectF& bounds, const QWidget* view) const
{
    std::optional<double> width;
    if (!subTitle_.isEmpty())
        width = QFontMetricsF(font(view)).horizontalAdvance(subTitle_);
    return G::subTitleRect(titleRectForBounds(bounds, view), bounds, width);
}

QSizeF ImageAndTextCell::cellSizeForBounds(const QRectF& bounds, const QWidget* view) const
{
    return G::cellSize(bounds, QFontMetricsF(font(view)).horizontalAdvance(stringValue()));
}

void ImageAndTextCell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view)
{
    // The row's highlight is the view's: it draws the selection under every cell.
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF imageRect = imageRectForBounds(frame);
    if (!image_.isNull()) {
        painter.drawImage(imageRect, image_);
        if (showPadlock_) {
            // Loaded once, kept for the process by the named-image registry.
            const QImage padlock = NSImageNamedImageExtended::imageNamed("LockLocked.icns", "images");
            if (!padlock.isNull())
                painter.drawImage(QRectF(imageRect.x() - 0.3 * imageRect.width(), imageRect.y() + 0.2 * imageRect.height(),
                                         0.8 * imageRect.width(), 0.8 * imageRect.height()),
                                  padlock);
        }
    }

    const QRectF titleRect = titleRectForBounds(frame, &view);
    const QString title = stringValue();
    painter.setFont(font(&view));
    if (!title.isEmpty()) {
        painter.setPen(textColor(&view));
        const QString shown = painter.fontMetrics().elidedText(title, lineBreakMode(), static_cast<int>(titleRect.width()));
        painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignTop, shown);
    }
    if (!subTitle_.isEmpty()) {
        painter.setPen(isHighlighted() ? QColor(Qt::lightGray) : QColor(Qt::gray));
        painter.drawText(subTitleRectForBounds(frame, &view), Qt::AlignLeft | Qt::AlignTop, subTitle_);
    }
    if (hasEjectButton_) {
        const QImage eject = ejectButtonImage();
        const QRectF ejectRect = ejectButtonRectForBounds(frame);
        if (!eject.isNull() && !ejectRect.isEmpty())
            painter.drawImage(ejectRect, eject);
    }

    if (drawProgress_)
        if (const ProgressMarkDrawing* mark = view.progressIndicator())
            mark->drawInteriorInFrame(painter, progressRectForBounds(frame), &view);

    if (hasCount_) {
        const QRectF badge = countRectForBounds(frame, &view);
        const QSizeF number = countNumberSize(&view);
        painter.fillPath(G::countPath(badge, number.height()), view.palette().color(QPalette::Highlight));
        painter.setPen(Qt::white);
        painter.setFont(badgeFont(font(&view).pointSizeF()));
        const QPointF origin = badge.center() - QPointF(number.width() / 2, number.height() / 2);
        painter.drawText(QRectF(origin, number), Qt::AlignLeft | Qt::AlignTop, countNumberString());
    }
    painter.restore();
}

unsigned ImageAndTextCell::hitTest(QPointF point, const QRectF& frame, const OutlineView& view) const
{
    if (titleRectForBounds(frame, &view).contains(point))
        return NSCellHitContentArea | NSCellHitEditableTextArea;
    if (imageRectForBounds(frame).contains(point))
        return NSCellHitContentArea;
    if (!subTitle_.isEmpty() && subTitleRectForBounds(frame, &view).contains(point))
        return NSCellHitContentArea;
    if (ejectButtonRectForBounds(frame).contains(point))
        return NSCellHitContentArea | NSCellHitTrackableArea;
    return NSCellHitNone;
}

QRectF ImageAndTextCell::editingRect(const QRectF& frame, const OutlineView& view) const
{
    const QRectF title = titleRectForBounds(frame, &view);
    return {title.x() - 2, title.y(), title.width(), title.height() - 3};
}

bool ImageAndTextCell::startTracking(QPointF point, const QRectF& frame, OutlineView&)
{
    const QRectF eject = ejectButtonRectForBounds(frame);
    if (eject.isEmpty())
        return false;
    mouseDownInEjectButton_ = eject.contains(point);
    return true;
}

void ImageAndTextCell::continueTracking(QPointF point, const QRectF& frame, OutlineView&)
{
    mouseDownInEjectButton_ = ejectButtonRectForBounds(frame).contains(point);
}

void ImageAndTextCell::stopTracking(QPointF point, const QRectF& frame, OutlineView& view)
{
    const bool inside = ejectButtonRectForBounds(frame).contains(point);
    mouseDownInEjectButton_ = false;
    if (inside && !ejectButtonAction_.empty())
        Responder::sendAction(ejectButtonAction_, target(), &view, view.window());
}

QRectF ImageAndTextCell::trackingRect(const QRectF& frame, const OutlineView&) const
{
    return ejectButtonRectForBounds(frame);
}

} // namespace vistel
