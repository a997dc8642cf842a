// Rating stars: how wide a rating is drawn, and which stars (or parts of one) are filled.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "Common/Views/RatingStars.h"

namespace vistel::test {
namespace {

TEST(RatingStars, WidthCountsEveryWholeOrPartStarWithGapsBetween)
{
    struct Case {
        double rating;
        double width; // at a height of 10: stars of 10, gaps of 2
    } cases[] = {{0, 0}, {-2, 0}, {1, 10}, {0.5, 10}, {3, 34}, {2.5, 34}, {5, 58}, {9, 58}};
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ratingStarsWidth(c.rating, 10), c.width) << c.rating;
}

TEST(RatingStars, StarsAreFilledFromTheLeftUpToTheRating)
{
    auto render = [](double rating) {
        QImage image(80, 12, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        paintRatingStars(painter, QRectF(0, 0, 80, 12), rating, Qt::black);
        return image;
    };
    // The centre of star i (12 wide, 2.4 apart), and a point in its left and right halves.
    auto centre = [](int i) { return QPoint(static_cast<int>(6 + i * 14.4), 6); };
    const QImage three = render(3);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(three.pixelColor(centre(i)) == QColor(Qt::black), i < 3) << i;
    // Half a star: its left part only.
    const QImage half = render(1.5);
    EXPECT_EQ(half.pixelColor(centre(1) - QPoint(2, 0)), QColor(Qt::black));
    EXPECT_EQ(half.pixelColor(centre(1) + QPoint(2, 0)), QColor(Qt::white));
    // Nothing for no rating; never more than five.
    const QImage none = render(0);
    const QImage many = render(7);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(none.pixelColor(centre(i)), QColor(Qt::white)) << i;
        EXPECT_EQ(many.pixelColor(centre(i)), QColor(Qt::black)) << i;
    }
    EXPECT_EQ(many.pixelColor(centre(5)), QColor(Qt::white));

    // One point straight up: the top centre of the square is on the star, the top corners are not.
    const QPolygonF star = ratingStarPolygon(QRectF(0, 0, 20, 20));
    EXPECT_EQ(star.size(), 10);
    EXPECT_NEAR(star[0].x(), 10, 1e-9);
    EXPECT_NEAR(star[0].y(), 0, 1e-9);
    EXPECT_FALSE(star.containsPoint(QPointF(1, 1), Qt::OddEvenFill));
    EXPECT_TRUE(star.containsPoint(QPointF(10, 10), Qt::OddEvenFill));
}

} // namespace
} // namespace vistel::test
