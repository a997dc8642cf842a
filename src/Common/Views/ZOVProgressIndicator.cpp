#include "Common/Views/ZOVProgressIndicator.h"

#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPen>

namespace vistel {

ZOVProgressIndicator::Mark ZOVProgressIndicator::mark(const QRectF& frame, unsigned phase, bool topDown)
{
    Mark mark;
    const double size = std::min(frame.width(), frame.height());
    const QPointF centre(frame.x() + size * 0.5, frame.y() + frame.height() * 0.5);
    mark.lineWidth = size * 0.08;
    mark.innerRadius = size >= 32 ? size * 0.23 : size * 0.27;
    mark.outerRadius = size >= 32 ? size * 0.38 : size * 0.48;
    const double sign = topDown ? 1.0 : -1.0;
    for (int i = 0; i < 12; ++i) {
        const double degrees = sign * (static_cast<double>(phase) * 30.0 + 270.0 - 30.0 * i);
        const double radians = degrees * std::numbers::pi / 180.0;
        const QPointF direction(std::cos(radians), std::sin(radians));
        mark.spokes[static_cast<std::size_t>(i)] = {QLineF(centre + mark.innerRadius * direction, centre + mark.outerRadius * direction),
                                                    std::min(std::sqrt(static_cast<double>(i)) * 0.25, 0.8)};
    }
    return mark;
}

void ZOVProgressIndicator::drawInteriorInFrame(QPainter& painter, const QRectF& frame, const QWidget*) const
{
    const Mark spin = mark(frame, progressStep_);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Spoke& spoke : spin.spokes) {
        QPen pen(QColor::fromRgbF(static_cast<float>(spoke.greyLevel), static_cast<float>(spoke.greyLevel), static_cast<float>(spoke.greyLevel)));
        pen.setWidthF(spin.lineWidth);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawLine(spoke.line);
    }
    painter.restore();
}

} // namespace vistel
