#pragma once
// ZOVProgressIndicator: the small spinning mark a source-list row shows while its folder is
// being listed.
//
// The mark is twelve spokes around the centre of the square that fits the rectangle, the first
// black and each next one lighter (grey level min(sqrt(i) * 0.25, 0.8)), with round caps and a
// line width of 0.08 times the square's side. The phase (1 to 12 while spinning, 0 at rest)
// turns the pattern by one spoke per step; after twelve steps it is back where it started. Our
// views are top-down, so the first spoke sits at +(phase * 30 + 270) degrees and each next one
// 30 degrees less; a bottom-up view mirrors both signs.
//
// The geometry is a pure function (spokes) so it can be checked without painting; the outline
// view that owns an indicator answers it from progressIndicator(), and the source-list cell
// draws it into its progress rectangle.
//
// Thread rules: main thread only.

#include <array>

#include <QColor>
#include <QLineF>

#include "Platform/Gui/OutlineView.h"

namespace vistel {

class ZOVProgressIndicator : public ProgressMarkDrawing {
public:
    struct Spoke {
        QLineF line;
        double greyLevel = 0;
    };
    struct Mark {
        double lineWidth = 0;
        double innerRadius = 0;
        double outerRadius = 0;
        std::array<Spoke, 12> spokes;
    };

    // The mark for a rectangle at a phase; `topDown` for views whose y grows downwards.
    static Mark mark(const QRectF& frame, unsigned phase, bool topDown = true);

    unsigned progressStep() const { return progressStep_; }
    void setProgressStep(unsigned step) { progressStep_ = step; }
    // One step of the spin: 1 after 12 (and after rest).
    void advanceProgressStep() { progressStep_ = progressStep_ % 12 + 1; }

    void drawInteriorInFrame(QPainter& painter, const QRectF& frame, const QWidget* view) const override;

private:
    unsigned progressStep_ = 0;
};

} // namespace vistel
