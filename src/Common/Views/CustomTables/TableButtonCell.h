#pragma once
// TableButtonCell: a check box with an editable title in one column of a table or outline.
//
// The cell's value is its title; its check-box state (0 off, 1 on, -1 mixed) is set by the
// delegate when the row is displayed. Clicking the box tracks the mouse (pressed look while the
// mouse is inside the cell) and, on a release inside, sends the cell's action: the cell never
// changes its own state, the action's receiver does, and the next display shows it. The box is
// drawn by the style, the mixed state included, made smaller in a row no taller than itself so
// that it leaves a pixel above and below; a hidden cell draws nothing.
//
// Thread rules: main thread only.

#include "Platform/Gui/OutlineView.h"

class QStyleOptionButton;

namespace vistel {

class TableButtonCell : public Cell {
public:
    enum State : int { Off = 0, On = 1, Mixed = -1 };

    TableButtonCell();
    std::unique_ptr<Cell> clone() const override { return std::make_unique<TableButtonCell>(*this); }

    int intValue() const { return buttonValue_; }
    void setIntValue(int state) { buttonValue_ = state; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    bool mouseDownInButton() const { return mouseDownInButton_; }

    // Geometry inside the cell's frame: the box, the title (its text width + 5), the whole
    // drawing.
    QRectF imageRectForBounds(const QRectF& frame, const QWidget* view) const;
    QRectF titleRectForBounds(const QRectF& frame, const QWidget* view) const;
    QRectF drawingRectForBounds(const QRectF& frame) const { return frame; }

    void drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view) override;
    unsigned hitTest(QPointF point, const QRectF& frame, const OutlineView& view) const override;
    // The title is edited in its rectangle made 5 narrower.
    QRectF editingRect(const QRectF& frame, const OutlineView& view) const override;

    bool startTracking(QPointF point, const QRectF& frame, OutlineView& view) override;
    void continueTracking(QPointF point, const QRectF& frame, OutlineView& view) override;
    void stopTracking(QPointF point, const QRectF& frame, OutlineView& view) override;

private:
    QStyleOptionButton buttonOption(const QRectF& frame, const QWidget* view) const;

    bool hidden_ = false;
    int buttonValue_ = Off;
    bool mouseDownInButton_ = false;
};

} // namespace vistel
