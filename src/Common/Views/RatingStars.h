#pragma once
// Rating stars: the drawing of a rating of 0 to 5 stars, shared by every view that shows one.
//
// Stars are five-pointed, one point up, as high as the rectangle, laid out from its left edge
// with a fifth of a star's width between them. Whole stars are filled with the colour; a
// fraction of a star fills that part of it, from the left.
//
// Thread rules: any thread (plain QPainter drawing; no widget is touched).

#include <QColor>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>

namespace vistel {

// A star filling `square`: five outer points on the circle of the square, the first at the top.
QPolygonF ratingStarPolygon(const QRectF& square);
// The width `rating` stars take at the height `height` (no gap after the last one).
double ratingStarsWidth(double rating, double height);
// Draws `rating` stars (clamped to 0..5) from the left of `rect`, vertically centred.
void paintRatingStars(QPainter& painter, const QRectF& rect, double rating, const QColor& color);

} // namespace vistel
