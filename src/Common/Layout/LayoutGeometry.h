#pragma once
// Plain geometry of the layout engine: points, sizes and rectangles of 32-bit floats.
//
// Inside a layout tree coordinates are top-down: the origin is the top-left corner of the
// parent item and y grows downwards. Turning them into a window system's coordinates is the
// business of the view binding, not of these types.

namespace vistel {

struct LayoutPoint {
    float x = 0;
    float y = 0;
    friend bool operator==(const LayoutPoint&, const LayoutPoint&) = default;
};

struct LayoutSize {
    float width = 0;
    float height = 0;
    friend bool operator==(const LayoutSize&, const LayoutSize&) = default;
};

struct LayoutRect {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;

    LayoutPoint origin() const noexcept { return {x, y}; }
    LayoutSize size() const noexcept { return {width, height}; }
    // A rectangle with no width or no height covers nothing.
    bool isEmpty() const noexcept { return !(width > 0) || !(height > 0); }
    LayoutRect offsetBy(float dx, float dy) const noexcept { return {x + dx, y + dy, width, height}; }

    friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

// The smallest rectangle holding both; an empty rectangle adds nothing.
inline LayoutRect unionRect(const LayoutRect& a, const LayoutRect& b) noexcept
{
    if (b.isEmpty())
        return a;
    if (a.isEmpty())
        return b;
    const float left = a.x < b.x ? a.x : b.x;
    const float top = a.y < b.y ? a.y : b.y;
    const float right = a.x + a.width > b.x + b.width ? a.x + a.width : b.x + b.width;
    const float bottom = a.y + a.height > b.y + b.height ? a.y + a.height : b.y + b.height;
    return {left, top, right - left, bottom - top};
}

} // namespace vistel
