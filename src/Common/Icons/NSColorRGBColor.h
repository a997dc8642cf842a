#pragma once
// NSColorRGBColor: between colours and RGB colour records.
//
// The record's components are 16-bit, but this program has always mapped 1.0 to 32767 (not
// 65535), in both directions, and stored records depend on that. Values beyond the range are
// clamped: a record component above 32767 gives 1.0, and a colour outside [0, 1] (an extended
// colour) gives 0 or 32767, never a wrapped-around value.
//
// Plain functions; safe on any thread.

#include <cstdint>

#include <QColor>

namespace vistel {

struct RGBColor {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
    friend bool operator==(const RGBColor&, const RGBColor&) = default;
};

namespace NSColorRGBColor {

// Each component divided by 32767.0 (at most 1.0), alpha 1.0.
QColor colorWithRGBColor(const RGBColor& color);
// The colour in RGB, each component multiplied by 32767.0 and truncated (clamped to 0...32767).
// An invalid colour gives black.
RGBColor approximateRGBColor(const QColor& color);

} // namespace NSColorRGBColor
} // namespace vistel
