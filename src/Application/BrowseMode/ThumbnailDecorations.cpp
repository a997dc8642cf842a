// ThumbnailDecorations: the tag, rating, categories and lock marks over thumbnails.

#include "Application/BrowseMode/ThumbnailDecorations.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWidget>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"

namespace vistel {

namespace {

constexpr QSize kStarSize {12, 12};
constexpr int kMaximumRating = 5;

QImage resourceImage(const char* name, QSize size)
{
    return NSImageNamedImageExtended::imageNamed(name, "images", size);
}

// The star of the rating marks in one colour at one height in pixels, made once (a view draws
// at one or two heights in one or two colours).
const QImage& ratingStar(const QColor& color, int side)
{
    static std::map<std::pair<QRgb, int>, QImage> stars;
    const std::pair<QRgb, int> key {color.rgba(), std::max(side, kStarSize.height())};
    auto found = stars.find(key);
    if (found == stars.end()) {
        if (stars.size() > 16)
            stars.clear();
        found = stars.emplace(key, makeRatingStarImage(QSize(key.second, key.second), 0, color)).first;
    }
    return found->second;
}

} // namespace

std::optional<double> numberOfValue(const Value& value)
{
    if (value.isNull())
        return std::nullopt;
    if (value.isString()) {
        const std::string text = value.toString();
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (end == text.c_str())
            return std::nullopt;
        return number;
    }
    return value.toDouble();
}

// --- base ------------------------------------------------------------------------------------------

QRectF ThumbnailDecoration::drawRectFromItemRect(const QRectF&) const
{
    return {};
}

bool ThumbnailDecoration::startTrackingItem(FileSystemItemMO&, const QRectF&, QPointF, QWidget*)
{
    return false;
}

// --- tag ---------------------------------------------------------------------------------------------

TagThumbnailDecoration::TagThumbnailDecoration()
    : taggedImage_(resourceImage("TaggedOn.icns", {16, 16})), taggedOffImage_(resourceImage("TaggedOff.icns", {16, 16}))
{
}

bool TagThumbnailDecoration::isVisibleForItem(FileSystemItemMO& item) const
{
    return !isHidden() && !item.isFolder();
}

QRectF TagThumbnailDecoration::drawRectFromItemRect(const QRectF& r) const
{
    return QRectF(r.x() + r.width() - 18, r.y() + r.height() - 18, 16, 16);
}

bool TagThumbnailDecoration::isTagged(FileSystemItemMO& item)
{
    const std::optional<double> value = numberOfValue(item.databaseTagged());
    return value && std::trunc(*value) != 0;
}

void TagThumbnailDecoration::drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect)
{
    if (item.isFolder())
        return;
    const QImage& image = isTagged(item) ? taggedImage_ : taggedOffImage_;
    if (!image.isNull())
        painter.drawImage(drawRectFromItemRect(itemRect), image);
}

bool TagThumbnailDecoration::startTrackingItem(FileSystemItemMO& item, const QRectF& itemRect, QPointF, QWidget* view)
{
    item.setDatabaseTagged(Value(std::string(isTagged(item) ? "0" : "1")));
    if (MediaDatabase* database = item.mediaDatabase())
        database->notifyFSItemChanged(&item, false);
    if (view)
        view->update(drawRectFromItemRect(itemRect).toAlignedRect());
    return true;
}

// --- rating ------------------------------------------------------------------------------------------

QSizeF ratingCellSize()
{
    return QSizeF(kMaximumRating * kStarSize.width(), kStarSize.height());
}

bool RartingThumbnailDecoration::isVisibleForItem(FileSystemItemMO& item) const
{
    return !isHidden() && !item.databaseRating().isNull();
}

QRectF RartingThumbnailDecoration::drawRectFromItemRect(const QRectF& r) const
{
    const QSizeF size = ratingCellSize();
    return QRectF(QPointF(r.x(), r.y() + r.height() - size.height()), size);
}

void RartingThumbnailDecoration::drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect)
{
    const Value rating = item.databaseRating();
    if (rating.isNull())
        return;
    const QRectF rect = drawRectFromItemRect(itemRect);
    if (!item.isFolder())
        painter.fillRect(rect.adjusted(-1, -1, 1, 1), Qt::black);
    drawRatingStars(painter, rect, numberOfValue(rating).value_or(0));
}

void drawRatingStars(QPainter& painter, const QRectF& rect, double rating, const QColor& color)
{
    rating = std::clamp(rating, 0.0, double(kMaximumRating));
    const double side = rect.height();
    const QImage& star = ratingStar(color, static_cast<int>(std::ceil(side)));
    for (int i = 0; i < kMaximumRating && rating > i; ++i) {
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

// --- categories ------------------------------------------------------------------------------------------

bool CategoriesThumbnailDecoration::isVisibleForItem(FileSystemItemMO& item) const
{
    return !isHidden() && !FileSystemItemMOCategory::categoryUniqueIDsForItem(&item).empty();
}

QRectF CategoriesThumbnailDecoration::drawRectFromItemRect(const QRectF& r) const
{
    return QRectF(r.x() + r.width() - 36, r.y() + r.height() - 18, 16, 16);
}

void CategoriesThumbnailDecoration::drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect)
{
    const std::size_t count = FileSystemItemMOCategory::categoryUniqueIDsForItem(&item).size();
    if (count == 0)
        return;
    QImage& image = count == 1 ? oneImage_ : manyImage_;
    if (image.isNull())
        image = resourceImage(count == 1 ? "Category.tiff" : "Categories.tiff", {16, 16});
    if (!image.isNull())
        painter.drawImage(drawRectFromItemRect(itemRect), image);
}

// --- lock --------------------------------------------------------------------------------------------------

LockedThumbnailDecoration::LockedThumbnailDecoration() : lockedImage_(resourceImage("LockLocked.icns", {20, 20})) { }

bool LockedThumbnailDecoration::isVisibleForItem(FileSystemItemMO& item) const
{
    return !isHidden() && item.isLocked();
}

QRectF LockedThumbnailDecoration::drawRectFromItemRect(const QRectF& r) const
{
    return QRectF(r.x() - 4, r.y() + r.height() - 12, 20, 20);
}

void LockedThumbnailDecoration::drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect)
{
    if (item.isLocked() && !lockedImage_.isNull())
        painter.drawImage(drawRectFromItemRect(itemRect), lockedImage_);
}

} // namespace vistel
