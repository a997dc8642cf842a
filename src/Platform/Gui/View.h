#pragma once
// View: what the program asks of a widget beyond Qt's own calls.
//
// - One Object per widget (viewObject): notifications about a widget carry it as their object,
//   custom properties hold it, and it answers null once the widget is gone. It is made on first
//   use and dropped with the widget (a QObject::destroyed hook).
// - Frames: setFrame places a widget in its parent, top-down, in pixels by edges (x0 =
//   round(x), x1 = round(x + width)), so neighbours that share an edge in layout coordinates
//   share it on screen. Every change of a widget's geometry posts
//   "NSViewFrameDidChangeNotification" at once: setFrame posts for hidden widgets too, and a
//   resize/move filter on widgets that have a view object adds the changes Qt makes itself
//   (a window resized by the user). Each change is posted once.
// - Subviews: addSubview / removeFromSuperview keep an explicit hide (setHidden). A widget taken
//   out of its parent is not left as a stray top-level window: it goes hidden under the
//   application's holder of detached views, which deletes what is left at the end.
// - Scale: a factor a view applies to its painting and its coordinates (applyScale,
//   pointFromPixels); setting it replaces the factor, so 200 % after 50 % is 2, not 1.
//
// Thread rules: main thread only, with a QApplication.

#include <string>

#include <QPointer>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include "Platform/Object.h"

namespace vistel {

inline constexpr const char* NSViewFrameDidChangeNotification = "NSViewFrameDidChangeNotification";

// The Object standing for one widget.
class ViewObject : public Object {
public:
    // Null once the widget is destroyed.
    QWidget* widget() const noexcept { return widget_.data(); }

private:
    friend class View;
    explicit ViewObject(QWidget* widget) : widget_(widget) { }
    QPointer<QWidget> widget_;
};

class View {
public:
    // The widget's Object, made on first use (installs the frame filter).
    static ViewObject* viewObject(QWidget* widget);
    // The widget an Object stands for, or null.
    static QWidget* widgetOf(const Object* object);

    // Places the widget (rounded by edges) and posts the frame notification when it changed.
    static void setFrame(QWidget* widget, const QRectF& frame);
    // The integer rectangle setFrame gives for a frame.
    static QRect pixelRect(const QRectF& frame);

    // Whether the widget is hidden by an explicit request (setHidden, or QWidget::hide()).
    static bool isHidden(const QWidget* widget);
    // Records the request; a widget inside a parent is shown or hidden at once.
    static void setHidden(QWidget* widget, bool hidden);
    // Moves the widget into `parent`, shown unless explicitly hidden.
    static void addSubview(QWidget* parent, QWidget* widget);
    // Takes the widget out of its parent: it goes hidden under the holder of detached views.
    static void removeFromSuperview(QWidget* widget);
    // The hidden, parentless holder of detached views (named "vistelDetachedViews").
    static QWidget* detachedViewsHolder();
    // Whether the widget sits in the holder of detached views (has no real superview).
    static bool hasSuperview(const QWidget* widget);
    // Deletes the holder with what it holds; the application calls it as it ends.
    static void releaseDetachedViews();

    // Scale: 1 by 1 unless set. setScale replaces the factor (it never multiplies).
    static QSizeF scale(const QWidget* widget);
    static void setScale(QWidget* widget, QSizeF scale);
    static void resetScaling(QWidget* widget) { setScale(widget, {1, 1}); }
    static double scalePercent(const QWidget* widget) { return scale(widget).width() * 100; }
    // Sets the scale to percent / 100 in both directions and repaints.
    static void setScalePercent(QWidget* widget, double percent);
    // What a scaled view applies: its painter draws through the scale, and a point in widget
    // pixels (a mouse position) becomes a point of the view's own coordinates.
    static void applyScale(QPainter& painter, const QWidget* widget);
    static QPointF pointFromPixels(const QWidget* widget, QPointF pixels);
    static QPointF pointToPixels(const QWidget* widget, QPointF point);

    View() = delete;

private:
    static void postFrameChangeIfNeeded(QWidget* widget);
};

} // namespace vistel
