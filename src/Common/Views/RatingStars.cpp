#include "Common/Views/RatingStars.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace vistel {

namespace {

constexpr int kSmallestStar = 12;
constexpr double kLargestRowStar = 16;

// The star in one colour at one height in pixels, made once (views draw at one or two heights
// in one or two colours).
QImage ratingStar(const QColor& color, int side)
{
    static std::mutex lock;
    static std::map<std::pair<QRgb, int>, QImage> stars;
    const std::pair<QRgb, int> key {color.rgba(), std::max(side, kSmallestStar)};
    std::lock_guard guard(lock);
    auto found = stars.find(key);
    if (found == stars.end()) {
        if (stars.size() > 16)
            stars.clear();
        found = stars.emplace(key, makeRatingStarImage(QSize(key.second, key.second), 0, color)).first;
    }
    return found->second;
}

} // namespace

void drawRatingStars(QPainter& painter, const QRectF& rect, double rating, const QColor& color)
{
    rating = std::clamp(rating, 0.0, double(RatingLevelIndicator::kMaximum));
    const double side = rect.height();
    const QImage star = ratingStar(color, static_cast<int>(std::ceil(side)));
    for (int i = 0; i < RatingLevelIndicator::kMaximum && rating > i; ++i) {
        const QRectF target(rect.x() + i * side, rect.y(), side, side);
        const double part = std::min(1.0, rating - i);
        painter.save();
        painter.setClipRect(QRectF(target.x(), target.y(), side * part, side), Qt::IntersectClip);
        painter.drawImage(target, star);
        painter.restore();
    }
}

QImage makeRatingStarImage(QSize size, double rotationDegrees, const QColor& color)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const double w = size.width(), h = size.height();
    const double a0 = rotationDegrees / 180.0 * std::numbers::pi + std::numbers::pi / 2;
    QPointF points[5];
    for (int k = 0; k < 5; ++k) {
        const double angle = a0 + k * 2 * std::numbers::pi / 5;
        // y up in the star's own terms: the first point at the top centre.
        points[k] = QPointF(w / 2 + std::cos(angle) * w / 2, h / 2 - std::sin(angle) * h / 2);
    }
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.moveTo(points[0]);
    for (int k : {2, 4, 1, 3})
        path.lineTo(points[k]);
    path.closeSubpath();
    const QRectF bounds = path.boundingRect();
    QRadialGradient gradient(bounds.center(), std::max(bounds.width(), bounds.height()) / 2);
    gradient.setColorAt(0.0, color);
    gradient.setColorAt(1.0, QColor(Qt::darkGray));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(path, gradient);
    return image;
}

// ---- the editable star row -----------------------------------------------------------------

RatingLevelIndicator::RatingLevelIndicator(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void RatingLevelIndicator::setValue(int value)
{
    value = std::clamp(value, 0, kMaximum);
    if (value == value_)
        return;
    value_ = value;
    update();
}

double RatingLevelIndicator::starSide() const
{
    return std::max(1.0, std::min(kLargestRowStar, double(height())));
}

int RatingLevelIndicator::starAtPoint(QPointF point) const
{
    if (point.x() < 0)
        return 0;
    const int star = static_cast<int>(point.x() / starSide()) + 1;
    return star > kMaximum ? -1 : star;
}

QSize RatingLevelIndicator::sizeHint() const
{
    return {static_cast<int>(kMaximum * kLargestRowStar), static_cast<int>(kLargestRowStar)};
}

void RatingLevelIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const double side = starSide();
    const QRectF row(0, (height() - side) / 2, side * kMaximum, side);
    // Faint places for the stars not given, so the row shows where to click.
    QColor faint = palette().color(QPalette::Mid);
    faint.setAlpha(110);
    drawRatingStars(painter, row, kMaximum, faint);
    drawRatingStars(painter, row, value_, palette().color(isEnabled() ? QPalette::WindowText : QPalette::Mid));
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(row.adjusted(0, 0, -1, -1));
    }
}

void RatingLevelIndicator::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int star = starAtPoint(event->position());
    if (star < 0)
        return;
    userSetValue(star == value_ ? 0 : star);
}

void RatingLevelIndicator::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down: userSetValue(value_ - 1); return;
    case Qt::Key_Right:
    case Qt::Key_Up: userSetValue(value_ + 1); return;
    default: break;
    }
    if (event->key() >= Qt::Key_0 && event->key() <= Qt::Key_0 + kMaximum) {
        userSetValue(event->key() - Qt::Key_0);
        return;
    }
    QWidget::keyPressEvent(event);
}

void RatingLevelIndicator::userSetValue(int value)
{
    value = std::clamp(value, 0, kMaximum);
    if (value == value_)
        return;
    value_ = value;
    update();
    notifyValueChanged();
}

} // namespace vistel
