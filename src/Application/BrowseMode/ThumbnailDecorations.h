#pragma once
// ThumbnailDecorations: the small marks the thumbnail grid draws over each thumbnail (the rating
// mark with the star painter of Common/Views/RatingStars.h).
//
// A decoration reads its item and draws into the thumbnail's rectangle (the item rect, y
// down, bottom at y + h); the grid asks them in order (tag, rating, categories, lock) to draw
// and to take a press. Only the tag mark changes its item: a press on it flips the item's
// "databaseTagged" between "1" and "0" and tells the catalogue that the item changed.
//
//   mark        shown when (and not hidden)   rectangle from the item rect (x, y, w, h)
//   tag         the item is not a folder      (x + w − 18, y + h − 18, 16, 16)
//   rating      the item has a rating         bottom-left, the stars' size
//   categories  the item has a category       (x + w − 36, y + h − 18, 16, 16)
//   lock        the item is locked            (x − 4, y + h − 12, 20, 20)
//
// Thread rules: main thread only (the star image may be made on any thread).

#include <optional>

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>

#include "Common/Views/RatingStars.h"
#include "Platform/Value.h"

class QPainter;
class QWidget;

namespace vistel {

class FileSystemItemMO;

class ThumbnailDecoration {
public:
    virtual ~ThumbnailDecoration() = default;
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    // Whether the mark applies to the item now (never when hidden).
    virtual bool isVisibleForItem(FileSystemItemMO& item) const { (void)item; return !hidden_; }
    virtual void drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect) = 0;
    // Where the mark lies for a thumbnail rectangle; empty for the base.
    virtual QRectF drawRectFromItemRect(const QRectF& itemRect) const;
    // Whether a press at `point` (view coordinates) lies on the mark.
    bool hitTest(QPointF point, const QRectF& itemRect) const { return drawRectFromItemRect(itemRect).contains(point); }
    // Takes over a press; true when it did. The base takes none.
    virtual bool startTrackingItem(FileSystemItemMO& item, const QRectF& itemRect, QPointF point, QWidget* view);

private:
    bool hidden_ = false;
};

class TagThumbnailDecoration : public ThumbnailDecoration {
public:
    TagThumbnailDecoration();
    bool isVisibleForItem(FileSystemItemMO& item) const override;
    void drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect) override;
    QRectF drawRectFromItemRect(const QRectF& itemRect) const override;
    bool startTrackingItem(FileSystemItemMO& item, const QRectF& itemRect, QPointF point, QWidget* view) override;
    // Whether the item's "databaseTagged" is set to a number other than 0.
    static bool isTagged(FileSystemItemMO& item);

private:
    QImage taggedImage_;
    QImage taggedOffImage_;
};

class RartingThumbnailDecoration : public ThumbnailDecoration {
public:
    bool isVisibleForItem(FileSystemItemMO& item) const override;
    void drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect) override;
    QRectF drawRectFromItemRect(const QRectF& itemRect) const override;
};

class CategoriesThumbnailDecoration : public ThumbnailDecoration {
public:
    bool isVisibleForItem(FileSystemItemMO& item) const override;
    void drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect) override;
    QRectF drawRectFromItemRect(const QRectF& itemRect) const override;

private:
    QImage oneImage_;
    QImage manyImage_;
};

class LockedThumbnailDecoration : public ThumbnailDecoration {
public:
    LockedThumbnailDecoration();
    bool isVisibleForItem(FileSystemItemMO& item) const override;
    void drawForItem(QPainter& painter, FileSystemItemMO& item, const QRectF& itemRect) override;
    QRectF drawRectFromItemRect(const QRectF& itemRect) const override;

private:
    QImage lockedImage_;
};

// The rating mark's size: room for five 12 × 12 stars.
QSizeF ratingCellSize();
// The number a database value holds: a number, or the leading number of its text; nullopt
// when there is none.
std::optional<double> numberOfValue(const Value& value);

} // namespace vistel
