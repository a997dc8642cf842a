#include "Common/Views/RatingStars.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vistel {

namespace {
// The gap between two stars, as a part of a star's width.
constexpr double Gap = 0.2;
// The inner points' distance from the centre, as a part of the outer radius.
constexpr double InnerRadius = 0.42;
} // namespace

QPolygonF ratingStarPolygon(const QRectF& square)
{
    const QPointF centre = square.center();
    const double outer = std::min(square.width(), square.height()) / 2.0;
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? outer : outer * InnerRadius;
        // y points down: the first point straight up.
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        star << QPointF(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
    }
    return star;
}

double ratingStarsWidth(double rating, double height)
{
    rating = std::clamp(rating, 0.0, 5.0);
    const double whole = std::ceil(rating);
    return whole <= 0 ? 0.0 : whole * height + (whole - 1) * height * Gap;
}

void paintRatingStars(QPainter& painter, const QRectF& rect, double rating, const QColor& color)
{
    rating = std::clamp(rating, 0.0, 5.0);
    const double size = rect.height();
    if (rating <= 0 || size <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    double x = rect.left();
    for (double left = rating; left > 0; left -= 1.0) {
        const QRectF square(x, rect.top(), size, size);
        if (left >= 1.0) {
            painter.drawPolygon(ratingStarPolygon(square));
        } else {
            painter.save();
            painter.setClipRect(QRectF(x, rect.top(), size * left, size), Qt::IntersectClip);
            painter.drawPolygon(ratingStarPolygon(square));
            painter.restore();
        }
        x += size * (1 + Gap);
    }
    painter.restore();
}

} // namespace vistel
