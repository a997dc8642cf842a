#pragma once
// ImageAndTextCell: one row of a source list. An icon, a title (truncated in the middle), an
// optional grey subtitle under it, an optional count badge, an optional eject button with hover
// and pressed looks, an optional padlock over the icon and an optional progress area where the
// view's progress mark (OutlineView::progressIndicator) spins.
//
// Layout, right to left inside the cell's bounds b (maxX = b.x + b.width):
//   eject button  17 x 17 at (round(maxX - 17), b.y), none when maxX - 17 <= 0;
//   progress area a square of side b.height left of it (2 apart);
//   count badge   a rounded box, 4 further left when there is a progress area;
//   title         from the icon's right (+ 11) to the first of these (+ 4);
// and the icon at (b.x + 5, b.y): a large one scaled to the row height and centred down, a
// small one centred in 20 x 20 and lifted by 2. The geometry is computed by the pure functions
// of ImageAndTextCellGeometry from plain inputs, and the cell's methods feed them its state.
//
// The eject button tracks the mouse (pressed while the mouse is inside it, the action sent to
// the cell's target, else along the responder chain, on a release inside) and shows its hover
// look while the mouse is over it. Its images ("eject-normal.PNG", "eject-selected-hovered.PNG",
// ...) and the padlock ("LockLocked.icns") come from the program's "images" resources.
//
// The badge font is "Lucida Grande" at the cell font's size (fontconfig gives its substitute);
// the badge is filled with the palette's highlight colour and its number drawn in white.
//
// Thread rules: main thread only.

#include <optional>
#include <string>

#include <QImage>
#include <QPainterPath>

#include "Platform/Gui/OutlineView.h"

namespace vistel {

namespace ImageAndTextCellGeometry {

inline constexpr double kEjectButtonSide = 17;

// The icon's rectangle; empty without an image.
QRectF imageRect(const QRectF& bounds, QSizeF imageSize);
QRectF ejectButtonRect(const QRectF& bounds, bool hasEjectButton);
QRectF progressRect(const QRectF& bounds, bool drawProgress, double ejectWidth);
// The badge's box for a number of that size; empty without a count.
QRectF countRect(const QRectF& bounds, std::optional<QSizeF> numberSize, double ejectWidth, double progressWidth);
// The badge's outline: the box with corners of half the number's height.
QPainterPath countPath(const QRectF& countRect, double numberHeight);
// The title: right of the icon, left of the eject button, the badge and the progress area.
QRectF titleRect(const QRectF& bounds, double imageWidth, double ejectWidth, double countWidth, double progressWidth);
// The subtitle under the title, as wide as its text and ending at maxX at most; empty without.
QRectF subTitleRect(const QRectF& titleRect, const QRectF& bounds, std::optional<double> subTitleWidth);
QSizeF cellSize(const QRectF& bounds, double titleWidth);
// A rounded rectangle whose radius is at most half the smaller side.
QPainterPath roundedRect(const QRectF& rect, double radius);

} // namespace ImageAndTextCellGeometry

class ImageAndTextCell : public Cell {
public:
    ImageAndTextCell();
    std::unique_ptr<Cell> clone() const override { return std::make_unique<ImageAndTextCell>(*this); }

    const QImage& image() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }
    const QString& subTitle() const { return subTitle_; }
    void setSubTitle(const QString& subTitle) { subTitle_ = subTitle; }
    bool hasEjectButton() const { return hasEjectButton_; }
    void setHasEjectButton(bool has) { hasEjectButton_ = has; }
    bool showPadlock() const { return showPadlock_; }
    void setShowPadlock(bool show) { showPadlock_ = show; }
    bool drawProgress() const { return drawProgress_; }
    void setDrawProgress(bool draw) { drawProgress_ = draw; }
    const std::string& ejectButtonAction() const { return ejectButtonAction_; }
    void setEjectButtonAction(std::string action) { ejectButtonAction_ = std::move(action); }
    bool hasCount() const { return hasCount_; }
    void setHasCount(bool has) { hasCount_ = has; }
    int countValue() const { return countValue_; }
    // Also shows the badge (0 included).
    void setCountValue(int value)
    {
        countValue_ = value;
        hasCount_ = true;
    }
    void clearCount()
    {
        countValue_ = 0;
        hasCount_ = false;
    }

    bool mouseDownInEjectButton() const { return mouseDownInEjectButton_; }
    bool mouseHoveredInEjectButton() const { return mouseHoveredInEjectButton_; }
    // "eject-<normal|selected><-mouse|-hovered|>.PNG" for the current state, and its image.
    std::string ejectButtonImageName() const;
    QImage ejectButtonImage() const;

    QString countNumberString() const { return QString::number(countValue_); }
    // The badge font at a point size: "Lucida Grande", or what fontconfig puts in its place.
    static QFont badgeFont(double pointSize);
    QSizeF countNumberSize(const QWidget* view) const;

    // Geometry from the cell's state (see ImageAndTextCellGeometry).
    QRectF imageRectForBounds(const QRectF& bounds) const;
    QRectF ejectButtonRectForBounds(const QRectF& bounds) const;
    QRectF progressRectForBounds(const QRectF& bounds) const;
    QRectF countRectForBounds(const QRectF& bounds, const QWidget* view) const;
    QRectF titleRectForBounds(const QRectF& bounds, const QWidget* view) const;
    QRectF subTitleRectForBounds(const QRectF& bounds, const QWidget* view) const;
    QSizeF cellSizeForBounds(const QRectF& bounds, const QWidget* view) const;

    void drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view) override;
    unsigned hitTest(QPointF point, const QRectF& frame, const OutlineView& view) const override;
    // Editing happens in the title moved 2 left, 3 lower.
    QRectF editingRect(const QRectF& frame, const OutlineView& view) const override;

    bool startTracking(QPointF point, const QRectF& frame, OutlineView& view) override;
    void continueTracking(QPointF point, const QRectF& frame, OutlineView& view) override;
    void stopTracking(QPointF point, const QRectF& frame, OutlineView& view) override;
    QRectF trackingRect(const QRectF& frame, const OutlineView& view) const override;
    void mouseEntered() override { mouseHoveredInEjectButton_ = true; }
    void mouseExited() override { mouseHoveredInEjectButton_ = false; }

private:
    QImage image_;
    QString subTitle_;
    std::string ejectButtonAction_;
    bool mouseDownInEjectButton_ = false;
    bool mouseHoveredInEjectButton_ = false;
    bool hasEjectButton_ = false;
    bool hasCount_ = false;
    bool showPadlock_ = false;
    bool drawProgress_ = false;
    int countValue_ = 0;
};

} // namespace vistel
