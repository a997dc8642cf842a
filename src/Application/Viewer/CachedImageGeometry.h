#pragma once
// The picture view's arithmetic, apart from any widget: the zoom of each fit mode, the sizes the
// view asks the decoder for, where the picture goes on the canvas, and the checkerboard drawn
// behind transparent pictures.
//
// Sizes are pixels. "Upright" sizes have the view rotation applied (width and height exchanged
// for a quarter turn); decode sizes are always of the unturned picture.
//
// Thread rules: pure functions; the checkerboard paints on the caller's painter.

#include <QPainter>
#include <QRectF>
#include <QSizeF>

namespace vistel {

enum class ImageZoomMode : int {
    FitImage = 0,   // the whole picture in the enclosing view
    FitWidth = 1,   // the picture's width across the superview
    FitHeight = 2,  // the picture's height down the superview
    ActualSize = 3, // one picture pixel to one screen pixel
    UserZoom = 4,   // whatever zoom the user set
};

namespace CachedImageGeometry {

// The smallest zoom a view takes.
inline constexpr double MinimumZoom = 0.1;
// No decoded bitmap is larger than this many pixels (256 MiB at four bytes); a larger zoom draws
// the bitmap scaled.
inline constexpr double MaximumBitmapPixels = double(1 << 26);
// A neighbour whose fitted bitmap would be larger than this is decoded at half that scale.
inline constexpr double NeighbourPixelsLimit = 1638400.0;
// Pictures of this many pixels or more are decoded at a quarter while the view draws fast.
inline constexpr double FastDrawPixelsThreshold = 90000.0;
// The side of a checkerboard square on screen.
inline constexpr double CheckerSquare = 10.0;

// The size turned by `angle` degrees (0, 90, 180, 270): width and height exchanged for a
// quarter turn.
QSizeF sizeWithAngle(QSizeF size, unsigned angle);

// The zoom of `mode` for an upright picture size: fit image takes min(SW / w, SH / h) of the
// enclosing size, fit width VW / w and fit height VH / h of the superview's; actual size is 1.
// User zoom keeps `current`. A zero width or height gives 0.
double imageScale(ImageZoomMode mode, QSizeF upright, QSizeF enclosing, QSizeF superview, double current);

// The reduced size drawn while the view changes interactively: a quarter of each side for
// pictures of 90,000 pixels or more, else the size itself.
QSizeF convertFastImageDrawSize(QSizeF size);

// A decode size no larger than MaximumBitmapPixels, the same shape.
QSizeF limitBitmapSize(QSizeF size);

// The decode size of a neighbour (unturned `size`) at the fit scale `scale`: halved when the
// fitted bitmap would exceed NeighbourPixelsLimit.
QSizeF neighbourDecodeSize(QSizeF size, double scale);

// A rectangle of `size` centred in a canvas of `frame`, its origin cut to whole pixels.
QRectF imageRectOnCanvas(QSizeF frame, QSizeF size);

// Fills `rect` (in the painter's current coordinates, which are scaled by `scale`) with grey
// squares of CheckerSquare screen pixels: 0.6 and 0.9 grey alternating, rows shifted by one.
void drawTransparentBackground(QPainter& painter, const QRectF& rect, double scale);

} // namespace CachedImageGeometry
} // namespace vistel
