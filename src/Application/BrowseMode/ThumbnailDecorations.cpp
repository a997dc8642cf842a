// ThumbnailDecorations: the tag, rating, categories and lock marks over thumbnails.

#include "Application/BrowseMode/ThumbnailDecorations.h"

#include <cstdlib>

#include <QPainter>
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
