#include "Application/Viewer/CachedImageGeometry.h"

#include <algorithm>
#include <cmath>

#include <QList>

namespace vistel::CachedImageGeometry {

QSizeF sizeWithAngle(QSizeF size, unsigned angle)
{
    return angle % 180 != 0 ? size.transposed() : size;
}

double imageScale(ImageZoomMode mode, QSizeF upright, QSizeF enclosing, QSizeF superview, double current)
{
    const double w = upright.width(), h = upright.height();
    auto ratio = [](double length, double picture) { return picture > 0 ? length / picture : 0.0; };
    switch (mode) {
    case ImageZoomMode::FitImage:
        if (w <= 0 || h <= 0)
            return 0;
        return std::min(ratio(enclosing.width(), w), ratio(enclosing.height(), h));
    case ImageZoomMode::FitWidth:
        return ratio(superview.width(), w);
    case ImageZoomMode::FitHeight:
        return ratio(superview.height(), h);
    case ImageZoomMode::ActualSize:
        return 1.0;
    case ImageZoomMode::UserZoom:
        break;
    }
    return current;
}

QSizeF convertFastImageDrawSize(QSizeF size)
{
    if (size.width() * size.height() >= FastDrawPixelsThreshold)
        return size * 0.25;
    return size;
}

QSizeF limitBitmapSize(QSizeF size)
{
    const double pixels = size.width() * size.height();
    if (pixels <= MaximumBitmapPixels)
        return size;
    const double factor = std::sqrt(MaximumBitmapPixels / pixels);
    return QSizeF(std::floor(size.width() * factor), std::floor(size.height() * factor));
}

QSizeF neighbourDecodeSize(QSizeF size, double scale)
{
    if (size.width() * size.height() * scale * scale > NeighbourPixelsLimit)
        scale *= 0.5;
    return limitBitmapSize(size * scale);
}

QRectF imageRectOnCanvas(QSizeF frame, QSizeF size)
{
    return QRectF(std::trunc((frame.width() - size.width()) * 0.5), std::trunc((frame.height() - size.height()) * 0.5),
                  size.width(), size.height());
}

void drawTransparentBackground(QPainter& painter, const QRectF& rect, double scale)
{
    if (scale <= 0 || rect.isEmpty())
        return;
    const double d = CheckerSquare / scale;
    QList<QRectF> dark, light;
    int row = 0;
    for (double y = std::trunc(rect.y() / d) * d - d; y < rect.bottom(); y += d, ++row)
        for (double x = std::trunc(rect.x() / d) * d - (row % 2) * d - d; x < rect.right(); x += 2 * d) {
            const QRectF first = QRectF(x, y, d, d).intersected(rect), second = QRectF(x + d, y, d, d).intersected(rect);
            if (!first.isEmpty())
                dark.push_back(first);
            if (!second.isEmpty())
                light.push_back(second);
        }
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.6f, 0.6f, 0.6f));
    painter.drawRects(dark);
    painter.setBrush(QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    painter.drawRects(light);
    painter.restore();
}

} // namespace vistel::CachedImageGeometry
