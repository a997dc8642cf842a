// ThumbnailsView: data, layout, appearance, drawing and fast updating of the thumbnail grid.

#include "Application/BrowseMode/ThumbnailsView.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/BrowseMode/ThumbnailDecorations.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Qt/QtRunLoopAdapter.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

QColor white(double level, double alpha = 1.0)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

// The brightness the background's soft-frame colour follows: the mean of red, green and blue.
double brightnessOf(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return (rgb.redF() + rgb.greenF() + rgb.blueF()) / 3.0;
}

QPainterPath roundedRect(const QRectF& rect, double radius)
{
    QPainterPath path;
    radius = std::min({radius, rect.width() / 2, rect.height() / 2});
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A box blur of the alpha channel, three passes (close to a Gaussian of the radius).
QImage blurredAlpha(const QImage& source, int radius)
{
    QImage image = source.convertToFormat(QImage::Format_Alpha8);
    if (radius < 1)
        return image;
    const int w = image.width(), h = image.height();
    std::vector<int> line(std::size_t(std::max(w, h)));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            uchar* row = image.scanLine(y);
            for (int x = 0; x < w; ++x)
                line[std::size_t(x)] = row[x];
            int sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += (x >= 0 && x < w) ? line[std::size_t(x)] : 0;
            for (int x = 0; x < w; ++x) {
                row[x] = uchar(sum / (2 * radius + 1));
                const int out = x - radius, in = x + radius + 1;
                sum += (in < w ? line[std::size_t(in)] : 0) - (out >= 0 ? line[std::size_t(out)] : 0);
            }
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                line[std::size_t(y)] = image.scanLine(y)[x];
            int sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += (y >= 0 && y < h) ? line[std::size_t(y)] : 0;
            for (int y = 0; y < h; ++y) {
                image.scanLine(y)[x] = uchar(sum / (2 * radius + 1));
                const int out = y - radius, in = y + radius + 1;
                sum += (in < h ? line[std::size_t(in)] : 0) - (out >= 0 ? line[std::size_t(out)] : 0);
            }
        }
    }
    return image;
}

constexpr double kShadowBlur = 5.0;
constexpr QPointF kShadowOffset {2.0, 3.0}; // right and down on screen
constexpr std::size_t kShadowCacheLimit = 64;

} // namespace

QSizeF pixelSizeOf(const MultiImage* image)
{
    if (!image)
        return {};
    const std::vector<Ref<ImageRep>> reps = image->representations();
    if (reps.empty())
        return image->size();
    return QSizeF(double(reps.front()->pixelsWide()), double(reps.front()->pixelsHigh()));
}

ThumbnailsView::ThumbnailsView(QWidget* parent)
    : QWidget(parent),
      backgroundColor_(white(0.3)),
      frameOutlineColor_(white(0.8)),
      selectionBorderColor_(Qt::white),
      shadowFrameColor_(white(0.0, 0.5)),
      drawingFont_(QStringLiteral("Lucida Grande"))
{
    drawingFont_.setPointSizeF(10);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    itemsFastUpdateTime_.start();
    registerDefaultDecorations();
}

ThumbnailsView::~ThumbnailsView()
{
    if (itemsFastUpdateTimer_)
        itemsFastUpdateTimer_->invalidate();
    if (autoScrollTimer_)
        autoScrollTimer_->invalidate();
    if (watchedViewport_)
        watchedViewport_->removeEventFilter(this);
}

// --- delegates and data ----------------------------------------------------------------------------

void ThumbnailsView::setDataSource(ThumbnailsViewDataSourceProtocol* dataSource)
{
    dataSource_ = dataSource;
    updateLayoutAndFrame();
}

unsigned ThumbnailsView::itemsCount() const
{
    return dataSource_ ? dataSource_->foldersObjectsCount() : 0;
}

Ref<FileSystemItemMO> ThumbnailsView::itemAtIndex(std::uint64_t index) const
{
    if (!dataSource_ || index >= itemsCount())
        return {};
    return dataSource_->foldersObjectAtIndex(unsigned(index));
}

bool ThumbnailsView::isViewActive() const
{
    return dataSource_ && dataSource_->isViewActive();
}

IndexSet ThumbnailsView::selectedItemsIndexes() const
{
    return dataSource_ ? dataSource_->selectedItemsIndexes() : IndexSet();
}

void ThumbnailsView::setSelectedItemIndexes(const IndexSet& indexes)
{
    if (dataSource_)
        dataSource_->setSelectedItemsIndexes(indexes);
}

std::optional<IndexSet> ThumbnailsView::highlightedItemsIndexes() const
{
    return dataSource_ ? dataSource_->highlightedItemsIndexes() : std::nullopt;
}

bool ThumbnailsView::isItemSelectedAtIndex(std::uint64_t index) const
{
    return selectedItemsIndexes().containsIndex(index);
}

void ThumbnailsView::reloadData()
{
    updateLayoutAndFrame();
    update();
}

void ThumbnailsView::updateItemWithIndex(unsigned index)
{
    if (index == NSNotFound)
        return;
    update(gridRectForItemIndex(index).toAlignedRect());
}

void ThumbnailsView::updateItemWithIndexes(const IndexSet& indexes)
{
    // One region for the whole set: consecutive cells of a row merge.
    QRegion region;
    const std::uint64_t count = itemsCount();
    for (const IndexSet::Range& range : indexes.ranges()) {
        if (range.location >= count)
            break;
        const std::uint64_t end = std::min(range.end(), count);
        if (end - range.location > 4 * std::max(1u, layout_.columns) + 2) {
            QRectF all = gridRectForItemIndex(range.location).united(gridRectForItemIndex(end - 1));
            all.setLeft(0);
            all.setRight(width());
            region += all.toAlignedRect();
            continue;
        }
        for (std::uint64_t index = range.location; index < end; ++index)
            region += gridRectForItemIndex(index).toAlignedRect();
    }
    if (!region.isEmpty())
        update(region);
}

IndexSet ThumbnailsView::visibleItemsIndexSet() const
{
    return itemsIndexRangeForRect(visibleRect());
}

void ThumbnailsView::invalidateRectsForNewSelection(const std::optional<IndexSet>& newSelection,
                                                    const std::optional<IndexSet>& oldSelection)
{
    if (!newSelection || !oldSelection) {
        update();
        return;
    }
    IndexSet changed = *newSelection;
    changed.addIndexes(*oldSelection);
    IndexSet both = newSelection->intersection(*oldSelection);
    for (const IndexSet::Range& range : both.ranges())
        changed.removeRange(range.location, range.length);
    const QRectF visible = visibleRect();
    QRegion region;
    changed.enumerate([&](std::uint64_t index) {
        const QRectF cell = gridRectForItemIndex(index);
        if (cell.intersects(visible))
            region += cell.toAlignedRect();
        return true;
    });
    if (!region.isEmpty())
        update(region);
}

// --- layout and geometry ----------------------------------------------------------------------------------

QScrollArea* ThumbnailsView::enclosingScrollArea() const
{
    QWidget* viewport = parentWidget();
    if (!viewport)
        return nullptr;
    auto* area = qobject_cast<QScrollArea*>(viewport->parentWidget());
    return area && area->widget() == this ? area : nullptr;
}

QRectF ThumbnailsView::visibleRect() const
{
    if (QScrollArea* area = enclosingScrollArea()) {
        const QRect viewport = area->viewport()->rect();
        return QRectF(mapFrom(area->viewport(), viewport.topLeft()), viewport.size()).intersected(QRectF(rect()));
    }
    return QRectF(rect());
}

ThumbnailsGridParameters ThumbnailsView::gridParameters() const
{
    ThumbnailsGridParameters p;
    p.itemsCount = itemsCount();
    p.itemSize = itemSize_;
    p.verticalSpacing = itemsVerticalSpacing_;
    p.horizontalSpacing = itemsHorizontalSpacing_;
    p.selectionBorderWidth = selectionBorderWidth_;
    p.textHeight = flags_.showFileName ? itemTextHeight() : 0;
    p.viewWidth = width();
    if (QScrollArea* area = enclosingScrollArea()) {
        p.contentViewSize = QSizeF(area->viewport()->size());
        p.stripMode = area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
    }
    return p;
}

void ThumbnailsView::updateLayoutAndFrame()
{
    const unsigned oldColumns = layout_.columns, oldRows = layout_.rows;
    const QSizeF oldCell = layout_.cellSize;
    layout_ = layoutThumbnailsGrid(gridParameters());
    if (!enclosingScrollArea() && itemsCount() == 0)
        layout_.frameSize.setHeight(height());
    const QSize frame(int(std::ceil(layout_.frameSize.width())), int(std::ceil(layout_.frameSize.height())));
    if (frame != size() && frame.width() > 0)
        resize(frame);
    if (itemsCount() == 0)
        return;
    if (oldColumns != layout_.columns || oldRows != layout_.rows || oldCell != layout_.cellSize)
        update();
}

QRectF ThumbnailsView::gridRectForItemIndex(std::uint64_t index) const
{
    return gridRectForIndex(layout_, index);
}

QRectF ThumbnailsView::gridRectForItemsIndexes(const IndexSet& indexes) const
{
    QRectF result;
    indexes.enumerate([&](std::uint64_t index) {
        const QRectF cell = gridRectForItemIndex(index);
        if (!cell.isEmpty())
            result = result.isNull() ? cell : result.united(cell);
        return true;
    });
    return result;
}

std::uint64_t ThumbnailsView::itemIndexForPoint(QPointF point) const
{
    return vistel::itemIndexForPoint(layout_, point);
}

float ThumbnailsView::itemTextHeight() const
{
    return thumbnailTextHeight(drawingFont_);
}

QRectF ThumbnailsView::itemRectForIndex(std::uint64_t index) const
{
    if (itemsCount() == 0)
        return {};
    Ref<MultiImage> image = imageAtIndex(index, QSizeF(itemSize_, itemSize_));
    const QSizeF size = pixelSizeOf(image.get());
    if (!image || size.isEmpty())
        return {};
    return itemRectInGridRect(gridRectForItemIndex(index), size, itemSize_, flags_.showFileName ? itemTextHeight() : 0);
}

ThumbnailTextRect ThumbnailsView::textRectForItemRect(const QRectF& itemRect, const QRectF& gridRect,
                                                      const QString& text) const
{
    return vistel::textRectForItemRect(itemRect, gridRect, text, drawingFont_, itemsHorizontalSpacing_,
                                       selectionBorderWidth_, itemTextHeight());
}

QRectF ThumbnailsView::activeRectForItemIndex(std::uint64_t index) const
{
    if (index >= itemsCount())
        return {};
    QRectF rect = itemRectForIndex(index);
    if (flags_.showFileName) {
        Ref<FileSystemItemMO> item = itemAtIndex(index);
        const QString name = item ? QString::fromStdString(item->displayName()) : QString();
        rect = rect.united(textRectForItemRect(rect, gridRectForItemIndex(index), name).rect);
    }
    return rect.adjusted(-2, -2, 2, 2);
}

IndexSet ThumbnailsView::itemsIndexRangeForRect(const QRectF& rect) const
{
    return vistel::itemsIndexRangeForRect(layout_, itemsCount(), rect, selectionBorderWidth_, QSizeF(size()),
                                          [this](std::uint64_t index) { return activeRectForItemIndex(index); });
}

QRectF ThumbnailsView::makeRectFromPoints(QPointF first, QPointF second) const
{
    auto clamp = [this](QPointF p) {
        return QPointF(std::clamp(p.x(), 0.0, double(width())), std::clamp(p.y(), 0.0, double(height())));
    };
    return rectFromPoints(clamp(first), clamp(second));
}

QRectF ThumbnailsView::updateItemsRectWithPoints(QPointF first, QPointF second) const
{
    const QRectF band = makeRectFromPoints(first, second);
    const QRectF cells = gridRectForItemsIndexes(itemsIndexRangeForRect(band));
    return cells.isNull() ? band : band.united(cells);
}

void ThumbnailsView::scrollRectToVisible(const QRectF& rect)
{
    QScrollArea* area = enclosingScrollArea();
    if (!area)
        return;
    const QPointF centre = rect.center();
    area->ensureVisible(int(centre.x()), int(centre.y()), int(rect.width() / 2) + 1, int(rect.height() / 2) + 1);
}

void ThumbnailsView::scrollToItemWithIndex(std::uint64_t index)
{
    if (index >= itemsCount())
        return;
    scrollRectToVisible(gridRectForItemIndex(index));
}

// --- images ------------------------------------------------------------------------------------------------

Ref<MultiImage> ThumbnailsView::imageAtIndex(std::uint64_t index, QSizeF size, bool forDrawing) const
{
    Ref<FileSystemItemMO> item = itemAtIndex(index);
    if (!item)
        return {};
    Ref<MultiImage> small = forDrawing ? item->thumbnailImage() : item->heldThumbnailImage();
    Ref<MultiImage> large = forDrawing ? item->thumbnailImageLarge() : item->heldThumbnailImageLarge();
    auto sizeOf = [](const Ref<MultiImage>& image) -> std::optional<QSizeF> {
        if (!image)
            return std::nullopt;
        return pixelSizeOf(image.get());
    };
    Ref<MultiImage> icon;
    if (sizeOf(small).value_or(QSizeF()).isEmpty() && sizeOf(large).value_or(QSizeF()).isEmpty())
        icon = item->iconImage();
    switch (chooseThumbnail(size, sizeOf(small), sizeOf(large), bool(icon), inLiveResize())) {
    case ThumbnailChoice::Small: return small;
    case ThumbnailChoice::Large: return large;
    case ThumbnailChoice::Icon: return icon;
    case ThumbnailChoice::Placeholder: break;
    }
    // Nothing to show: a red square of the item size (made again when the size changes).
    const int side = std::max(1, int(std::lround(itemSize_)));
    if (!placeholder_ || pixelSizeOf(placeholder_.get()) != QSizeF(side, side)) {
        QImage red(side, side, QImage::Format_ARGB32_Premultiplied);
        red.fill(Qt::red);
        placeholder_ = MultiImage::createWithPlatformImage(PlatformImage::fromQImage(red));
    }
    return placeholder_;
}

const QImage& ThumbnailsView::shadowImageForSize(QSize size)
{
    const auto key = std::make_pair(size.width(), size.height());
    auto found = shadowCache_.find(key);
    if (found != shadowCache_.end())
        return found->second;
    if (shadowCache_.size() >= kShadowCacheLimit)
        shadowCache_.clear();
    const int margin = int(std::ceil(kShadowBlur * 2));
    QImage shape(size.width() + 2 * margin, size.height() + 2 * margin, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter painter(&shape);
        painter.fillRect(QRect(QPoint(margin, margin), size), QColor(0, 0, 0, 85)); // shadow black at 1/3
    }
    return shadowCache_.emplace(key, blurredAlpha(shape, int(kShadowBlur / 2))).first->second;
}

// --- drawing ---------------------------------------------------------------------------------------------------

bool ThumbnailsView::isInFirstResponderChain() const
{
    const QWidget* focus = window() ? window()->focusWidget() : nullptr;
    for (const QWidget* w = focus; w; w = w->parentWidget())
        if (w == this)
            return true;
    return false;
}

QPainterPath ThumbnailsView::shadowFramePathForRect(const QRectF& rect)
{
    const QRectF r = rect.adjusted(5, 5, -5, -5);
    const double radius = std::min({15.0, r.width() / 2, r.height() / 2});
    QPainterPath path;
    path.moveTo(r.center().x(), r.top());
    path.arcTo(QRectF(r.right() - 2 * radius, r.top(), 2 * radius, 2 * radius), 90, -90);
    path.arcTo(QRectF(r.right() - 2 * radius, r.bottom() - 2 * radius, 2 * radius, 2 * radius), 0, -90);
    path.arcTo(QRectF(r.left(), r.bottom() - 2 * radius, 2 * radius, 2 * radius), 270, -90);
    path.arcTo(QRectF(r.left(), r.top(), 2 * radius, 2 * radius), 180, -90);
    path.closeSubpath();
    return path;
}

void ThumbnailsView::drawEmptyText(QPainter& painter, const QRect& dirty)
{
    if (!userActionsDelegate_)
        return;
    if (!dropProxy_)
        dropProxy_ = std::make_unique<ValidatedUserInterfaceItemProxy>("dropItems:", 0);
    if (!userActionsDelegate_->validateUserInterfaceItem(dropProxy_.get()))
        return;
    const std::string text = dropProxy_->dropLocationType() == 1
        ? ZOV_TRANSLATE("Drag and drop images here", "drawRect:")
        : ZOV_TRANSLATE("There are no items in the selected folder.", "drawRect:");
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSizeF(20);
    painter.setFont(font);
    painter.setPen(QColor(Qt::lightGray));
    QRectF frame = width() > 100000 ? QRectF(dirty) : QRectF(rect());
    frame.setTop(80.0);
    painter.drawText(frame, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(text));
}

void ThumbnailsView::paintEvent(QPaintEvent* event)
{
    QElapsedTimer clock;
    clock.start();
    lastPaint_ = {};
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.fillRect(dirty, backgroundColor_);
    const bool inactive = !isInFirstResponderChain();
    const std::uint64_t count = itemsCount();
    if (count == 0) {
        drawEmptyText(painter, dirty);
        lastPaint_.seconds = double(clock.nsecsElapsed()) / 1e9;
        return;
    }
    resetImageCachesIfNeeded();
    // Only the cells of the exposed region (a redraw of two cells draws two items).
    IndexSet toDraw;
    for (const QRect& part : event->region())
        toDraw.addIndexes(itemsIndexRangeForRect(QRectF(part)));
    if (isActiveWindow()) {
        FileSystemItemMO::newMajorPrioritySlice();
        const QRectF visible = visibleRect();
        if (dirty.width() >= visible.width())
            enqueueReorderRequestsForItemsWithIndexes(itemsIndexRangeForRect(visible));
    }
    const IndexSet banded = flags_.startSelectionFrame ? itemsIndexRangeForRect(selectionFrame()) : IndexSet();
    const std::optional<IndexSet> highlighted = highlightedItemsIndexes();
    const IndexSet selected = selectedItemsIndexes();
    toDraw.enumerate([&](std::uint64_t index) {
        drawItem(painter, index, selected, banded, highlighted, inactive);
        return true;
    });
    if (!isDoneItemsFastUpdating_)
        flags_.thereWasDrawingInFastUpdatingMode = true;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QtRunLoopAdapter* adapter = PlatformApplication::runLoopAdapter();
    if (adapter && adapter->currentMode() == NSEventTrackingRunLoopMode && seconds > 0.1)
        startItemsFastUpdating();
    if (flags_.startSelectionFrame) {
        const QRectF band = selectionFrame();
        if (band.width() > 0 && band.height() > 0) {
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.fillRect(band.adjusted(2, 2, -2, -2), QColor::fromRgbF(0.6f, 0.7f, 0.91f, 0.6f));
            painter.setPen(QPen(QColor::fromRgbF(0.6f, 0.7f, 1.0f, 0.6f), 2.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(band.adjusted(1, 1, -1, -1));
        }
    }
    lastPaint_.seconds = double(clock.nsecsElapsed()) / 1e9;
    lastPaint_.drawnItems = toDraw;
}

void ThumbnailsView::drawItem(QPainter& painter, std::uint64_t index, const IndexSet& selected, const IndexSet& banded,
                              const std::optional<IndexSet>& highlighted, bool inactive)
{
    Ref<FileSystemItemMO> item = itemAtIndex(index);
    if (!item)
        return;
    const QRectF cell = gridRectForItemIndex(index);
    Ref<MultiImage> image = imageAtIndex(index, QSizeF(itemSize_, itemSize_), true);
    const QSizeF imageSize = pixelSizeOf(image.get());
    const float textHeight = flags_.showFileName ? itemTextHeight() : 0;
    const QRectF thumb = itemRectInGridRect(cell, imageSize, itemSize_, textHeight);
    const bool isSelected = selected.containsIndex(index);

    ThumbnailTextRect text;
    QRectF slideBase = thumb;
    if (flags_.showFileName) {
        text = textRectForItemRect(thumb, cell, QString::fromStdString(item->displayName()));
        slideBase = thumb.united(text.rect);
    }
    const QRectF slide = slideBase.adjusted(-2, -2, 2, 2);
    const QPainterPath slidePath = roundedRect(slide, 3.0);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (flags_.useSlideBackGround)
        painter.fillPath(slidePath, isSelected ? white(0.9) : white(0.25));
    if (flags_.useSlideBorder && !isSelected) {
        painter.setPen(QPen(white(0.2), 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(slidePath);
    }
    if (isSelected && flags_.useSelectionWithShadow)
        painter.fillPath(shadowFramePathForRect(slide), shadowFrameColor_);
    const double border = selectionBorderWidth_;
    if (highlighted && highlighted->containsIndex(index))
        painter.fillPath(roundedRect(slide.adjusted(-border, -border, border, border), 3.0), QColor(Qt::gray));

    const QRect target(int(thumb.x()), int(thumb.y()), int(thumb.width()), int(thumb.height()));
    if (image && !target.isEmpty()) {
        if (flags_.useShadowBorder) {
            const QImage& shadow = shadowImageForSize(target.size());
            const int margin = (shadow.width() - target.width()) / 2;
            painter.drawImage(target.topLeft() + kShadowOffset.toPoint() - QPoint(margin, margin), shadow);
        }
        if (Ref<ImageRep> rep = image->bestRepresentationForSize(QSizeF(target.size())))
            if (Ref<PlatformImage> pixels = rep->cgImage()) {
                painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
                painter.drawImage(QRectF(target), pixels->toQImage());
            }
    }
    // Ask the catalogue for a thumbnail that fits (never decoded here).
    if (imageSize != QSizeF(target.size())) {
        const Ref<MultiImage>& small = item->heldThumbnailImage();
        const Ref<MultiImage>& large = item->heldThumbnailImageLarge();
        const bool isThumbnail = image && (image == small || image == large);
        const bool differs = std::abs(imageSize.width() - target.width()) > 1.0
            || std::abs(imageSize.height() - target.height()) > 1.0;
        if ((isThumbnail && differs) || (!small && !large))
            item->optimizeSmallThumbnailForSize({float(target.width()), float(target.height())});
    }
    if (flags_.showFileName) {
        painter.setFont(drawingFont_);
        painter.setPen(isSelected && flags_.useSlideBackGround ? white(0.25) : white(0.9));
        const QRectF textBox(text.rect.x() + (text.rect.width() - text.textSize.width()) * 0.5, text.rect.y() + 2.0,
                             text.textSize.width() + 1, text.textSize.height());
        painter.drawText(textBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text.text);
    }
    drawDecorationsForItem(painter, *item, thumb);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    if ((isSelected || banded.containsIndex(index)) && flags_.useSelectionWithBorder) {
        QColor color = selectionBorderColor_;
        if (inactive)
            color = QColor::fromRgbF(color.redF() * 0.5f, color.greenF() * 0.5f, color.blueF() * 0.5f, color.alphaF());
        painter.setPen(QPen(color, std::max(0.0, border - 1.0)));
        painter.drawPath(roundedRect(slide.adjusted(-border, -border, border, border), 3.0));
    } else if (flags_.useOutlineBorder) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(frameOutlineColor_, 1.0));
        painter.drawRect(thumb.adjusted(1, 1, -1, -1));
    }
}

void ThumbnailsView::enqueueReorderRequestsForItemsWithIndexes(const IndexSet& indexes)
{
    const std::uint64_t n = itemsCount();
    const IndexSet selected = selectedItemsIndexes();
    const std::vector<std::uint64_t> all = indexes.indexes();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        Ref<FileSystemItemMO> item = itemAtIndex(*it);
        if (!item)
            continue;
        const std::uint64_t base = n - *it;
        const std::uint64_t priority = selected.containsIndex(*it) ? base + n : base;
        item->setRefreshingPriority(std::int32_t(std::min<std::uint64_t>(priority, 0x7fffffff)));
        item->enqueueReorderRequest();
    }
}

void ThumbnailsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
}

bool ThumbnailsView::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange) {
        if (watchedViewport_)
            watchedViewport_->removeEventFilter(this);
        watchedViewport_ = parentWidget();
        if (watchedViewport_)
            watchedViewport_->installEventFilter(this);
    }
    return QWidget::event(event);
}

bool ThumbnailsView::eventFilter(QObject* watched, QEvent* event)
{
    // The scroll area's viewport changed size: the grid follows its width.
    if (watched == watchedViewport_ && event->type() == QEvent::Resize && enclosingScrollArea())
        updateLayoutAndFrame();
    return QWidget::eventFilter(watched, event);
}

void ThumbnailsView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void ThumbnailsView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool ThumbnailsView::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    auto* object = dynamic_cast<QObject*>(const_cast<UserInterfaceItem*>(&item));
    return userActionsDelegate_ && object && userActionsDelegate_->validateUserInterfaceItem(object);
}

// --- appearance ------------------------------------------------------------------------------------------------

void ThumbnailsView::setBackgroundColor(const QColor& color)
{
    if (color == backgroundColor_)
        return;
    backgroundColor_ = color;
    setShadowFrameColor(brightnessOf(color) < 0.5 ? white(1.0, 0.5) : white(0.0, 0.5));
}

void ThumbnailsView::setFrameOutlineColor(const QColor& color)
{
    if (color == frameOutlineColor_)
        return;
    frameOutlineColor_ = color;
    update();
}

void ThumbnailsView::setShadowFrameColor(const QColor& color)
{
    if (color == shadowFrameColor_)
        return;
    shadowFrameColor_ = color;
    update();
}

void ThumbnailsView::setSelectionBorderColor(const QColor& color)
{
    selectionBorderColor_ = color;
}

void ThumbnailsView::setSelectionBorderWidth(float width)
{
    selectionBorderWidth_ = width;
}

#define VISTEL_GRID_FLAG_SETTER(Setter, field)                                                                    \
    void ThumbnailsView::Setter(bool on)                                                                          \
    {                                                                                                             \
        flags_.field = on;                                                                                        \
        update();                                                                                                 \
    }
VISTEL_GRID_FLAG_SETTER(setUseSelectionWithShadow, useSelectionWithShadow)
VISTEL_GRID_FLAG_SETTER(setUseSelectionWithBorder, useSelectionWithBorder)
VISTEL_GRID_FLAG_SETTER(setUseShadowBorder, useShadowBorder)
VISTEL_GRID_FLAG_SETTER(setUseOutlineBorder, useOutlineBorder)
VISTEL_GRID_FLAG_SETTER(setUseHighQualityScaling, useHighQualityScaling)
VISTEL_GRID_FLAG_SETTER(setUseSlideBorder, useSlideBorder)
VISTEL_GRID_FLAG_SETTER(setUseSlideBackGround, useSlideBackGround)
VISTEL_GRID_FLAG_SETTER(setShowIcon, showIcon)
VISTEL_GRID_FLAG_SETTER(setShowAutoRotate, showAutoRotate)
#undef VISTEL_GRID_FLAG_SETTER

void ThumbnailsView::setShowFileName(bool on)
{
    flags_.showFileName = on;
    updateLayoutAndFrame();
    update();
}

void ThumbnailsView::setShowRating(bool on)
{
    flags_.showRating = on;
    setHiddenToDecorationsOfClass<RartingThumbnailDecoration>(!on);
    update();
}

void ThumbnailsView::setShowTagged(bool on)
{
    flags_.showTagged = on;
    setHiddenToDecorationsOfClass<TagThumbnailDecoration>(!on);
    update();
}

void ThumbnailsView::setShowLocked(bool on)
{
    flags_.showLocked = on;
    setHiddenToDecorationsOfClass<LockedThumbnailDecoration>(!on);
    update();
}

void ThumbnailsView::setShowCategory(bool on)
{
    flags_.showCategory = on;
    setHiddenToDecorationsOfClass<CategoriesThumbnailDecoration>(!on);
    update();
}

float ThumbnailsView::itemSize() const
{
    return std::round(itemSize_);
}

void ThumbnailsView::rescrollToSameFraction(float oldHeight)
{
    QScrollArea* area = enclosingScrollArea();
    if (!area || oldHeight <= 0)
        return;
    QScrollBar* bar = area->verticalScrollBar();
    const double fraction = double(bar->value()) / oldHeight;
    updateLayoutAndFrame();
    bar->setValue(int(std::lround(fraction * height())));
}

void ThumbnailsView::setItemSize(float size)
{
    if (!(size > 0) || size == itemSize_)
        return;
    const float oldHeight = float(height());
    itemSize_ = size;
    rescrollToSameFraction(oldHeight);
    startItemsFastUpdatingInModes({NSEventTrackingRunLoopMode, NSDefaultRunLoopMode}, true);
    update();
}

void ThumbnailsView::setItemsVerticalSpacing(float spacing)
{
    const float oldHeight = float(height());
    itemsVerticalSpacing_ = spacing;
    rescrollToSameFraction(oldHeight);
    update();
    startItemsFastUpdating();
}

void ThumbnailsView::setItemsHorizontalSpacing(float spacing)
{
    const float oldHeight = float(height());
    itemsHorizontalSpacing_ = spacing;
    rescrollToSameFraction(oldHeight);
    update();
    startItemsFastUpdating();
}

Value ThumbnailsView::bindingValue(std::string_view binding) const
{
    if (binding == "itemSize")
        return Value(double(itemSize()));
    const std::pair<const char*, bool> flags[] = {
        {"useHighQualityScaling", flags_.useHighQualityScaling}, {"useShadowBorder", flags_.useShadowBorder},
        {"useOutlineBorder", flags_.useOutlineBorder},           {"useSlideBackGround", flags_.useSlideBackGround},
        {"useSlideBorder", flags_.useSlideBorder},               {"showFileName", flags_.showFileName},
        {"showRating", flags_.showRating},                       {"showTagged", flags_.showTagged},
        {"showLocked", flags_.showLocked},                       {"showCategory", flags_.showCategory},
        {"showIcon", flags_.showIcon},                           {"showAutoRotate", flags_.showAutoRotate}};
    for (const auto& [name, value] : flags)
        if (binding == name)
            return Value(value);
    return {};
}

void ThumbnailsView::setBindingValue(std::string_view binding, const Value& value)
{
    if (binding == "itemSize") {
        setItemSize(float(value.toDouble()));
        return;
    }
    const bool on = value.toBool();
    const std::pair<const char*, void (ThumbnailsView::*)(bool)> setters[] = {
        {"useHighQualityScaling", &ThumbnailsView::setUseHighQualityScaling},
        {"useShadowBorder", &ThumbnailsView::setUseShadowBorder},
        {"useOutlineBorder", &ThumbnailsView::setUseOutlineBorder},
        {"useSlideBackGround", &ThumbnailsView::setUseSlideBackGround},
        {"useSlideBorder", &ThumbnailsView::setUseSlideBorder},
        {"showFileName", &ThumbnailsView::setShowFileName},
        {"showRating", &ThumbnailsView::setShowRating},
        {"showTagged", &ThumbnailsView::setShowTagged},
        {"showLocked", &ThumbnailsView::setShowLocked},
        {"showCategory", &ThumbnailsView::setShowCategory},
        {"showIcon", &ThumbnailsView::setShowIcon},
        {"showAutoRotate", &ThumbnailsView::setShowAutoRotate}};
    for (const auto& [name, setter] : setters)
        if (binding == name) {
            (this->*setter)(on);
            return;
        }
}

// --- decorations ---------------------------------------------------------------------------------------------

void ThumbnailsView::registerDefaultDecorations()
{
    addDecoration(std::make_shared<TagThumbnailDecoration>());
    addDecoration(std::make_shared<RartingThumbnailDecoration>());
    addDecoration(std::make_shared<CategoriesThumbnailDecoration>());
    addDecoration(std::make_shared<LockedThumbnailDecoration>());
}

void ThumbnailsView::addDecoration(std::shared_ptr<ThumbnailDecoration> decoration)
{
    if (decoration)
        decorations_.push_back(std::move(decoration));
}

void ThumbnailsView::removeDecoration(const ThumbnailDecoration* decoration)
{
    std::erase_if(decorations_, [decoration](const auto& d) { return d.get() == decoration; });
    if (trackedDecoration_ == decoration)
        trackedDecoration_ = nullptr;
}

void ThumbnailsView::setDecorationHidden(ThumbnailDecoration& decoration, bool hidden)
{
    decoration.setHidden(hidden);
}

void ThumbnailsView::drawDecorationsForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect)
{
    for (const auto& decoration : decorations_)
        if (decoration->isVisibleForItem(item)) {
            painter.save();
            decoration->drawForItem(painter, item, itemRect);
            painter.restore();
        }
}

bool ThumbnailsView::startTrackingForDecorationWithItem(FileSystemItemMO& item, const QRectF& itemRect, QPointF point)
{
    for (const auto& decoration : decorations_) {
        if (!decoration->isVisibleForItem(item) || !decoration->hitTest(point, itemRect))
            continue;
        if (decoration->startTrackingItem(item, itemRect, point, this)) {
            trackedDecoration_ = decoration.get();
            return true;
        }
    }
    return false;
}

// --- fast updating ---------------------------------------------------------------------------------------------

void ThumbnailsView::startItemsFastUpdating()
{
    startItemsFastUpdatingInModes({NSDefaultRunLoopMode}, false);
}

void ThumbnailsView::startItemsFastUpdatingInModes(const std::vector<std::string>& modes, bool recacheImages)
{
    itemsFastUpdateTime_.restart();
    isDoneItemsFastUpdating_ = false;
    flags_.recacheImagesAtEndOfFastUpdating = recacheImages;
    if (itemsFastUpdateTimer_ && itemsFastUpdateTimer_->isValid())
        return;
    RunLoop* loop = RunLoop::main() ? RunLoop::main() : RunLoop::current();
    QPointer<ThumbnailsView> self(this);
    itemsFastUpdateTimer_ = loop->scheduleTimer(
        0.5, true,
        [self](RunLoop::Timer&) {
            if (self)
                self->updateItemsFastUpdatingState();
        },
        modes);
}

void ThumbnailsView::updateItemsFastUpdatingState()
{
    if (itemsFastUpdateTime_.elapsed() < 500)
        return;
    isDoneItemsFastUpdating_ = true;
    if (itemsFastUpdateTimer_) {
        itemsFastUpdateTimer_->invalidate();
        itemsFastUpdateTimer_ = nullptr;
    }
    if (flags_.recacheImagesAtEndOfFastUpdating) {
        flags_.resetImageCaches = true;
        update();
        flags_.recacheImagesAtEndOfFastUpdating = false;
    }
    if (flags_.thereWasDrawingInFastUpdatingMode) {
        update();
        flags_.thereWasDrawingInFastUpdatingMode = false;
    }
}

void ThumbnailsView::resetImageCachesIfNeeded()
{
    if (flags_.resetImageCaches && !inLiveResize())
        resetImageCaches();
}

void ThumbnailsView::resetImageCaches()
{
    flags_.resetImageCaches = false;
    // The grid draws the catalogue's decoded pictures as they are; what it makes itself for
    // drawing (the blurred shadows) is made again at the next paint.
    shadowCache_.clear();
}

} // namespace vistel
