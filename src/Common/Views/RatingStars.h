#pragma once
// RatingStars: the one star painter of the program (the grid's rating mark, the organise panel's
// rating rows and the editable star row of the properties panel draw with it), and
// RatingLevelIndicator, the editable row of 0 to 5 stars.
//
// The star row shows its value as stars over five faint placeholders. A click on the n-th star
// sets n, a click on the star of the current value clears to 0; the arrows step by one, the
// digits 0 to 5 set the value; the ends are kept (0 and 5). Only the user's changes are reported
// (ObservableControl: a value control); setValue reports nothing. A value outside 0 to 5 is shown
// clamped.
//
// Thread rules: the star image may be made on any thread; the widget on the main thread only.

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QWidget>

#include "Platform/Gui/ObservableControl.h"

class QPainter;

namespace vistel {

// The star of the rating marks: five points on the ellipse filling `size`, the first at the
// top centre turned by `rotationDegrees`, joined every second point and filled (non-zero, so
// the centre too) with a radial gradient from `color` to dark grey.
QImage makeRatingStarImage(QSize size, double rotationDegrees, const QColor& color);

// Draws a rating of `rating` stars (clamped to 0 to 5; a fraction as part of a star) from the
// left of `rect`, each star as high as the rectangle: the star image in `color` (white on the
// grid's dark band; the organise panel's rows draw theirs in the text colour).
void drawRatingStars(QPainter& painter, const QRectF& rect, double rating, const QColor& color = Qt::white);

class RatingLevelIndicator : public QWidget, public ObservableControl {
public:
    static constexpr int kMaximum = 5;

    explicit RatingLevelIndicator(QWidget* parent = nullptr);

    int value() const { return value_; }
    // Clamped to 0 to 5; reports nothing.
    void setValue(int value);
    // The side of one star (the widget's height, at most 16).
    double starSide() const;
    // The star (1 to 5) under a point of the widget, 0 left of the first, -1 right of the last.
    int starAtPoint(QPointF point) const;

    ObservedKind observedKind() const override { return ObservedKind::Value; }
    Value observedValue() const override { return Value(value_); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Sets a value the user chose and reports it when it changed.
    void userSetValue(int value);

    int value_ = 0;
};

} // namespace vistel
