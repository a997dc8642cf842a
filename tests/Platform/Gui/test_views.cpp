// Widgets as views: frames by edges with their notification, explicit hides across moves, the
// holder of detached views, scale.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <vector>

#include "Platform/Gui/View.h"
#include "Platform/NotificationCenter.h"

using namespace vistel;

namespace {

TEST(View, FramesAreRoundedByEdgesSoNeighboursShareThem)
{
    struct Case { QRectF frame; QRect pixels; };
    const Case cases[] {
        {{0.4, 0.4, 10.2, 10.2}, {0, 0, 11, 11}},    // x1 = round(10.6) = 11
        {{10.6, 0, 10.2, 5.5}, {11, 0, 10, 6}},      // starts where the first one ends
        {{2.5, 2.5, 0.2, 0.2}, {3, 3, 0, 0}},
        {{-3.4, 7.5, 4, 1}, {-3, 8, 4, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(View::pixelRect(c.frame), c.pixels);
}

TEST(View, EveryFrameChangeIsPostedOnceHiddenWidgetsToo)
{
    QWidget parent;
    auto* child = new QWidget(&parent);
    child->hide();
    std::vector<QRect> posted;
    NotificationCenter::defaultCenter().addObserver(&posted, [&](const Notification& n) {
        posted.push_back(View::widgetOf(n.object.get())->geometry());
    }, NSViewFrameDidChangeNotification, View::viewObject(child));
    View::setFrame(child, {1, 2, 30, 40});
    View::setFrame(child, {1, 2, 30, 40});
    child->show();
    parent.resize(200, 200);
    parent.show();
    child->resize(50, 40); // Qt's own change
    NotificationCenter::defaultCenter().removeObserver(&posted);
    EXPECT_EQ(posted, (std::vector<QRect> {{1, 2, 30, 40}, {1, 2, 50, 40}}));
}

TEST(View, MovesKeepAnExplicitHideAndDetachedWidgetsStayHidden)
{
    QWidget first;
    QWidget second;
    auto* shown = new QWidget(&first);
    auto* hidden = new QWidget(&first);
    View::setHidden(hidden, true);
    first.show();
    second.show();
    View::addSubview(&second, shown);
    View::addSubview(&second, hidden);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(hidden->isVisible());
    View::removeFromSuperview(shown);
    EXPECT_FALSE(View::hasSuperview(shown));
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(shown->isWindow());
    EXPECT_EQ(shown->parentWidget()->objectName(), "vistelDetachedViews");
    View::addSubview(&first, shown);
    EXPECT_TRUE(shown->isVisible());
    View::setHidden(hidden, false);
    EXPECT_TRUE(hidden->isVisible());
}

TEST(View, AGoneWidgetsObjectAnswersNull)
{
    Ref<Object> object;
    {
        QWidget widget;
        object = Ref<Object>(View::viewObject(&widget));
        EXPECT_EQ(View::widgetOf(object.get()), &widget);
        EXPECT_EQ(View::viewObject(&widget), object.get());
    }
    EXPECT_EQ(View::widgetOf(object.get()), nullptr);
}

TEST(View, ScaleIsSetNotMultiplied)
{
    QWidget widget;
    EXPECT_EQ(View::scale(&widget), QSizeF(1, 1));
    View::setScalePercent(&widget, 50);
    View::setScalePercent(&widget, 200);
    EXPECT_EQ(View::scale(&widget), QSizeF(2, 2));
    EXPECT_DOUBLE_EQ(View::scalePercent(&widget), 200);
    EXPECT_EQ(View::pointFromPixels(&widget, {40, 10}), QPointF(20, 5));
    EXPECT_EQ(View::pointToPixels(&widget, {20, 5}), QPointF(40, 10));
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    View::applyScale(painter, &widget);
    painter.fillRect(QRectF(0, 0, 1, 1), Qt::black); // two pixels wide at 200 %
    painter.end();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
}

} // namespace
