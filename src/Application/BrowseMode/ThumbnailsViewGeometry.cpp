// ThumbnailsViewGeometry: layout and geometry of the thumbnail grid.

#include "Application/BrowseMode/ThumbnailsViewGeometry.h"

#include <algorithm>
#include <cmath>

#include "Common/Strings/Gui/NSStringExtensionsText.h"

namespace vistel {

ThumbnailsGridLayout layoutThumbnailsGrid(const ThumbnailsGridParameters& p)
{
    ThumbnailsGridLayout layout;
    const double border = 4.0 * p.selectionBorderWidth;
    double cellWidth = p.itemSize + p.horizontalSpacing + border;
    double cellHeight = p.itemSize + p.verticalSpacing + border + p.textHeight;
    layout.cellSize = QSizeF(cellWidth, cellHeight);
    const double contentWidth = p.contentViewSize ? p.contentViewSize->width() : p.viewWidth;
    const double contentHeight = p.contentViewSize ? p.contentViewSize->height() : 0;
    if (p.itemsCount == 0) {
        layout.frameSize = QSizeF(contentWidth, contentHeight);
        return layout;
    }
    if (p.stripMode) {
        layout.columns = unsigned(std::min<std::uint64_t>(p.itemsCount, 0xFFFFFFFFu));
        layout.rows = 1;
        layout.frameSize = QSizeF(std::max(double(p.itemsCount) * cellWidth, contentWidth), contentHeight);
        return layout;
    }
    // Inside a scroll area the grid is as wide as what the area shows.
    const double width = contentWidth;
    const double fit = cellWidth > 0 ? std::floor(width / cellWidth) : 1;
    layout.columns = fit < 1 ? 1u : unsigned(std::min(fit, 4294967295.0));
    layout.rows = unsigned((p.itemsCount + layout.columns - 1) / layout.columns);
    const double height = double(layout.rows) * cellHeight;
    if (layout.rows > 1)
        cellWidth = width / layout.columns;
    layout.cellSize = QSizeF(cellWidth, cellHeight);
    layout.frameSize = p.contentViewSize ? QSizeF(width, std::max(height, contentHeight)) : QSizeF(width, height);
    return layout;
}

QRectF gridRectForIndex(const ThumbnailsGridLayout& layout, std::uint64_t index)
{
    const QSizeF cell = layout.cellSize;
    if (layout.columns == 0)
        return QRectF(QPointF(0, 0), cell);
    const std::uint64_t column = index % layout.columns;
    const std::uint64_t row = index / layout.columns;
    return QRectF(double(column) * cell.width(), double(row) * cell.height(), cell.width(), cell.height());
}

std::uint64_t itemIndexForPoint(const ThumbnailsGridLayout& layout, QPointF point)
{
    const QSizeF cell = layout.cellSize;
    if (!(cell.width() > 0 && cell.height() > 0))
        return 0;
    const double column = std::floor(std::max(0.0, point.x() / cell.width()));
    const double row = std::floor(std::max(0.0, point.y() / cell.height()));
    return std::uint64_t(column) + std::uint64_t(row) * layout.columns;
}

QSizeF scaledItemSizeForSize(QSizeF size, float itemSize)
{
    const double longer = std::max(size.width(), size.height());
    if (!(size.width() > 0 && size.height() > 0))
        return {};
    const double factor = itemSize / longer;
    return QSizeF(size.width() * factor, size.height() * factor);
}

QRectF centeredRectInRect(const QRectF& rect, QSizeF size)
{
    return QRectF(rect.x() + (rect.width() - size.width()) * 0.5, rect.y() + (rect.height() - size.height()) * 0.5,
                  size.width(), size.height());
}

QRectF itemRectInGridRect(const QRectF& gridRect, QSizeF imageSize, float itemSize, float textHeight)
{
    const QSizeF scaled = scaledItemSizeForSize(imageSize, itemSize);
    QRectF area = gridRect;
    area.setHeight(area.height() - textHeight);
    QRectF rect = centeredRectInRect(area, scaled);
    // The far edges on whole pixels.
    rect.moveTo(std::round(rect.x() + rect.width()) - rect.width(), std::round(rect.y() + rect.height()) - rect.height());
    return rect;
}

float thumbnailTextHeight(const QFont& font)
{
    return float(NSStringExtensions::sizeWithAttributesExt("W", font).height() + 2.0);
}

ThumbnailTextRect textRectForItemRect(const QRectF& itemRect, const QRectF& gridRect, const QString& text,
                                      const QFont& font, float horizontalSpacing, float selectionBorderWidth,
                                      float textHeight)
{
    ThumbnailTextRect result;
    result.text = text;
    std::string utf8 = text.toStdString();
    QSizeF size = NSStringExtensions::sizeWithAttributesExt(utf8, font);
    const double maximum = gridRect.width() - horizontalSpacing - 4.0 * selectionBorderWidth;
    if (size.width() > maximum) {
        utf8 = NSStringExtensions::truncate(NSStringExtensions::TruncateMiddle, utf8, maximum, font);
        result.text = QString::fromStdString(utf8);
        size = NSStringExtensions::sizeWithAttributesExt(utf8, font);
    }
    const double width = std::min(std::max(size.width(), itemRect.width()), maximum);
    result.rect = QRectF(itemRect.x() - (width - itemRect.width()) * 0.5, itemRect.y() + itemRect.height(), width,
                         textHeight);
    result.textSize = size;
    return result;
}

IndexSet itemsIndexRangeForRect(const ThumbnailsGridLayout& layout, std::uint64_t itemsCount, const QRectF& rect,
                                float selectionBorderWidth, QSizeF viewSize,
                                const std::function<QRectF(std::uint64_t)>& activeRect)
{
    IndexSet result;
    if (layout.columns == 0)
        return result;
    QRectF r = rect.adjusted(-selectionBorderWidth, -selectionBorderWidth, selectionBorderWidth, selectionBorderWidth);
    r.setRight(std::min(r.right(), viewSize.width()));
    r.setBottom(std::min(r.bottom(), viewSize.height()));
    if (itemsCount == 0 || r.width() <= 0 || r.height() <= 0)
        return result;
    const std::uint64_t columns = layout.columns;
    std::uint64_t first = itemIndexForPoint(layout, r.topLeft());
    std::uint64_t last = std::min(itemIndexForPoint(layout, r.topRight()), itemsCount);
    while (last > first && last / columns != first / columns)
        --last;
    if (first > last || first >= itemsCount)
        return result;
    last = std::min(last, itemsCount - 1);
    auto takeRow = [&](std::uint64_t from, std::uint64_t to) {
        bool added = false;
        for (std::uint64_t i = from; i <= to; ++i)
            if (activeRect(i).intersects(r)) {
                result.addIndex(i);
                added = true;
            }
        return added;
    };
    takeRow(first, last);
    for (;;) {
        first += columns;
        if (first >= itemsCount)
            break;
        last = std::min(last + columns, itemsCount - 1);
        if (last < first)
            break;
        if (!takeRow(first, last))
            break;
    }
    return result;
}

ThumbnailChoice chooseThumbnail(QSizeF requested, std::optional<QSizeF> small, std::optional<QSizeF> large,
                                bool hasIcon, bool liveResize)
{
    auto usable = [](const std::optional<QSizeF>& size) { return size && size->width() > 0 && size->height() > 0; };
    const bool hasSmall = usable(small), hasLarge = usable(large);
    if (liveResize) {
        if (hasSmall)
            return ThumbnailChoice::Small;
        if (hasLarge)
            return ThumbnailChoice::Large;
    } else if (hasLarge) {
        if (hasSmall
            && (1.2 * small->width() >= requested.width() || 1.2 * small->height() >= requested.height()))
            return ThumbnailChoice::Small;
        return ThumbnailChoice::Large;
    } else if (hasSmall) {
        return ThumbnailChoice::Small;
    }
    return hasIcon ? ThumbnailChoice::Icon : ThumbnailChoice::Placeholder;
}

QRectF rectFromPoints(QPointF first, QPointF second)
{
    return QRectF(std::min(first.x(), second.x()), std::min(first.y(), second.y()), std::abs(first.x() - second.x()),
                  std::abs(first.y() - second.y()));
}

} // namespace vistel
