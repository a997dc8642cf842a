#include "Common/Views/CustomTables/TableButtonCell.h"

#include <cmath>

#include <QApplication>
#include <QFontDatabase>
#include <QStyle>
#include <QStyleOptionButton>

namespace vistel {

namespace {
// The smallest box drawn in a short row.
constexpr double kSmallestBox = 8;
} // namespace

TableButtonCell::TableButtonCell()
{
    // The small system font, as the box itself.
    setFont(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont));
}

QStyleOptionButton TableButtonCell::buttonOption(const QRectF& frame, const QWidget* view) const
{
    QStyleOptionButton option;
    if (view)
        option.initFrom(view);
    option.rect = frame.toAlignedRect();
    option.text = stringValue();
    option.fontMetrics = QFontMetrics(font(view));
    option.state &= ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange | QStyle::State_Sunken | QStyle::State_HasFocus);
    option.state |= buttonValue_ == Mixed ? QStyle::State_NoChange : buttonValue_ == Off ? QStyle::State_Off : QStyle::State_On;
    if (mouseDownInButton_)
        option.state |= QStyle::State_Sunken;
    if (isEnabled())
        option.state |= QStyle::State_Enabled;
    else
        option.state &= ~QStyle::State_Enabled;
    return option;
}

static QStyle* styleOf(const QWidget* view)
{
    return view ? view->style() : QApplication::style();
}

QRectF TableButtonCell::imageRectForBounds(const QRectF& frame, const QWidget* view) const
{
    const QStyleOptionButton option = buttonOption(frame, view);
    QRectF box(styleOf(view)->subElementRect(QStyle::SE_CheckBoxIndicator, &option, view));
    // In a row no taller than the box, the box leaves a pixel above and below: boxes in rows one
    // under the other would otherwise touch and read as one ladder.
    const double room = std::floor(frame.height()) - 2;
    if (box.height() > room && room >= kSmallestBox) {
        box.setTop(frame.top() + std::floor((frame.height() - room) / 2));
        box.setSize(QSizeF(room, room));
    }
    return box;
}

QRectF TableButtonCell::titleRectForBounds(const QRectF& frame, const QWidget* view) const
{
    const QStyleOptionButton option = buttonOption(frame, view);
    QRectF title(styleOf(view)->subElementRect(QStyle::SE_CheckBoxContents, &option, view));
    title.setWidth(QFontMetricsF(font(view)).horizontalAdvance(stringValue()) + 5);
    return title;
}

void TableButtonCell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame, OutlineView& view)
{
    if (hidden_)
        return;
    QStyleOptionButton option = buttonOption(frame, &view);
    if (isHighlighted())
        option.palette.setColor(QPalette::WindowText, view.palette().color(QPalette::HighlightedText));
    painter.save();
    painter.setFont(font(&view));
    // The box and the title apart, as the style would draw them together, the box in its own
    // rectangle (smaller in a short row).
    QStyleOptionButton part = option;
    part.rect = imageRectForBounds(frame, &view).toAlignedRect();
    view.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &part, &painter, &view);
    part.rect = view.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &view);
    view.style()->drawControl(QStyle::CE_CheckBoxLabel, &part, &painter, &view);
    painter.restore();
}

unsigned TableButtonCell::hitTest(QPointF point, const QRectF& frame, const OutlineView& view) const
{
    if (titleRectForBounds(frame, &view).contains(point))
        return NSCellHitContentArea | NSCellHitEditableTextArea;
    if (imageRectForBounds(frame, &view).contains(point))
        return NSCellHitContentArea | NSCellHitTrackableArea;
    return NSCellHitContentArea;
}

QRectF TableButtonCell::editingRect(const QRectF& frame, const OutlineView& view) const
{
    return titleRectForBounds(frame, &view).adjusted(0, 0, -5, 0);
}

bool TableButtonCell::startTracking(QPointF point, const QRectF& frame, OutlineView&)
{
    mouseDownInButton_ = frame.contains(point);
    return true;
}

void TableButtonCell::continueTracking(QPointF point, const QRectF& frame, OutlineView&)
{
    mouseDownInButton_ = frame.contains(point);
}

void TableButtonCell::stopTracking(QPointF point, const QRectF& frame, OutlineView& view)
{
    const bool inside = frame.contains(point);
    mouseDownInButton_ = false;
    // The state stays: the action's receiver changes it.
    if (inside)
        sendActionFrom(view);
}

} // namespace vistel
