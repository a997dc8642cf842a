#include "Common/Icons/NSColorRGBColor.h"

#include <algorithm>

namespace vistel::NSColorRGBColor {
namespace {

constexpr double kFullComponent = 32767.0;

float toComponent(std::uint16_t value)
{
    return static_cast<float>(std::min(1.0, value / kFullComponent));
}

std::uint16_t fromComponent(float value)
{
    // NaN compares false everywhere: it falls to 0 with the negative values.
    if (!(value > 0.0f))
        return 0;
    if (value >= 1.0f)
        return static_cast<std::uint16_t>(kFullComponent);
    return static_cast<std::uint16_t>(value * kFullComponent);
}

} // namespace

QColor colorWithRGBColor(const RGBColor& color)
{
    return QColor::fromRgbF(toComponent(color.red), toComponent(color.green), toComponent(color.blue), 1.0f);
}

RGBColor approximateRGBColor(const QColor& color)
{
    if (!color.isValid())
        return {};
    // toRgb() keeps extended components (beyond [0, 1]); the clamp above handles them.
    const QColor rgb = color.spec() == QColor::ExtendedRgb ? color : color.toRgb();
    return {fromComponent(rgb.redF()), fromComponent(rgb.greenF()), fromComponent(rgb.blueF())};
}

} // namespace vistel::NSColorRGBColor
