#pragma once
// ThumbnailsViewGeometry: the thumbnail grid's layout and geometry as plain functions of
// numbers (no widget), so that the grid, its tests and its benchmark share one road.
//
// Coordinates are the grid's own, y growing downwards. A cell is
//   itemSize + spacing + 4 × selectionBorderWidth
// wide and high (plus one text line under the thumbnail when names are shown). A grid has
// floor(width / cell width) columns, at least one; with more than one row the cells share out
// the whole width. A strip (the viewer's) lays every item out in one row.

#include <cstdint>
#include <functional>
#include <optional>

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "Platform/IndexSet.h"

namespace vistel {

struct ThumbnailsGridParameters {
    std::uint64_t itemsCount = 0;
    float itemSize = 100;
    float verticalSpacing = 16;
    float horizontalSpacing = 16;
    float selectionBorderWidth = 3;
    // The height of the name line; 0 when names are hidden.
    float textHeight = 0;
    bool stripMode = false;
    // The view's own width now.
    double viewWidth = 0;
    // The scroll area's viewport, when the view is in one.
    std::optional<QSizeF> contentViewSize;
};

struct ThumbnailsGridLayout {
    unsigned columns = 0;
    unsigned rows = 0;
    QSizeF cellSize;
    // The size the view takes.
    QSizeF frameSize;
};

ThumbnailsGridLayout layoutThumbnailsGrid(const ThumbnailsGridParameters& parameters);

// The cell of an index: column = index mod columns, row = index / columns; the first cell
// without columns.
QRectF gridRectForIndex(const ThumbnailsGridLayout& layout, std::uint64_t index);
// floor(x / cell width) + floor(y / cell height) × columns, negative coordinates as 0. Not
// limited to the item count.
std::uint64_t itemIndexForPoint(const ThumbnailsGridLayout& layout, QPointF point);

// A size scaled so that its longer side is `itemSize` (small pictures grow too); empty for a
// size without area (such a thumbnail counts as no image).
QSizeF scaledItemSizeForSize(QSizeF size, float itemSize);
QRectF centeredRectInRect(const QRectF& rect, QSizeF size);
// The thumbnail in its cell: scaled, centred above the name line (`textHeight`, 0 without
// names), its far edges on whole pixels.
QRectF itemRectInGridRect(const QRectF& gridRect, QSizeF imageSize, float itemSize, float textHeight);

// The name under a thumbnail: at most cell width − horizontal spacing − 4 × border wide
// (a longer name loses its middle to "…"), at least as wide as the thumbnail, centred on it,
// starting at its bottom edge.
struct ThumbnailTextRect {
    QRectF rect;
    QString text;     // the name as drawn
    QSizeF textSize;  // its measured size
};
ThumbnailTextRect textRectForItemRect(const QRectF& itemRect, const QRectF& gridRect, const QString& text,
                                      const QFont& font, float horizontalSpacing, float selectionBorderWidth,
                                      float textHeight);
// The name line's height: "W" in the font, plus 2.
float thumbnailTextHeight(const QFont& font);

// The items whose slide rectangles (`activeRect` of an index) meet `rect`: the rectangle grown
// by the border, cut back to the view; the first row's indexes, then row by row downwards,
// stopping after the first row below the start that adds nothing.
IndexSet itemsIndexRangeForRect(const ThumbnailsGridLayout& layout, std::uint64_t itemsCount, const QRectF& rect,
                                float selectionBorderWidth, QSizeF viewSize,
                                const std::function<QRectF(std::uint64_t)>& activeRect);

// Which picture the grid draws for an item at a requested size.
enum class ThumbnailChoice { Small, Large, Icon, Placeholder };
// While resizing (`liveResize`): the small thumbnail, else the large. Otherwise the large one,
// unless the small one reaches the size when grown by 1.2; without a large one the small one.
// Without thumbnails the icon, without one a placeholder. Sizes without area count as none.
ThumbnailChoice chooseThumbnail(QSizeF requested, std::optional<QSizeF> small, std::optional<QSizeF> large,
                                bool hasIcon, bool liveResize);

// The rectangle two points span.
QRectF rectFromPoints(QPointF first, QPointF second);

} // namespace vistel
