// The picture view's arithmetic: the zoom of each fit mode (a quarter turn exchanges the
// picture's sides), the sizes asked of the decoder, centring, and the checkerboard.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "Application/Viewer/CachedImageGeometry.h"

namespace vistel::test {
namespace {

namespace G = CachedImageGeometry;

TEST(CachedImageGeometry, FitModes)
{
    struct Case {
        ImageZoomMode mode;
        QSizeF picture; // unturned
        unsigned angle;
        QSizeF enclosing, superview;
        double current, expected;
    } cases[] = {
        {ImageZoomMode::FitImage, {4000, 3000}, 0, {1000, 1000}, {1000, 1000}, 1, 0.25},
        // A quarter turn fits the picture's height across the width.
        {ImageZoomMode::FitImage, {4000, 3000}, 90, {1000, 1000}, {1000, 1000}, 1, 0.25},
        {ImageZoomMode::FitImage, {4000, 2000}, 0, {1000, 1000}, {1000, 1000}, 1, 0.25},
        {ImageZoomMode::FitImage, {4000, 2000}, 270, {1000, 1000}, {1000, 1000}, 1, 0.25},
        {ImageZoomMode::FitImage, {4000, 2000}, 90, {2000, 1000}, {2000, 1000}, 1, 0.25},
        {ImageZoomMode::FitImage, {4000, 2000}, 180, {2000, 1000}, {2000, 1000}, 1, 0.5},
        {ImageZoomMode::FitImage, {100, 50}, 0, {1000, 800}, {1000, 800}, 1, 10},
        // Fit width and height take the superview's length, not the enclosing view's.
        {ImageZoomMode::FitWidth, {4000, 2000}, 0, {1000, 1000}, {800, 600}, 1, 0.2},
        {ImageZoomMode::FitWidth, {4000, 2000}, 90, {1000, 1000}, {800, 600}, 1, 0.4},
        {ImageZoomMode::FitHeight, {4000, 2000}, 0, {1000, 1000}, {800, 600}, 1, 0.3},
        {ImageZoomMode::FitHeight, {4000, 2000}, 90, {1000, 1000}, {800, 600}, 1, 0.15},
        {ImageZoomMode::ActualSize, {4000, 2000}, 90, {1000, 1000}, {800, 600}, 0.3, 1},
        {ImageZoomMode::UserZoom, {4000, 2000}, 0, {1000, 1000}, {800, 600}, 2.5, 2.5},
        // No picture: nothing to fit.
        {ImageZoomMode::FitImage, {0, 0}, 0, {1000, 1000}, {800, 600}, 1, 0},
        {ImageZoomMode::FitWidth, {0, 10}, 0, {1000, 1000}, {800, 600}, 1, 0},
        {ImageZoomMode::FitHeight, {10, 0}, 0, {1000, 1000}, {800, 600}, 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(G::imageScale(c.mode, G::sizeWithAngle(c.picture, c.angle), c.enclosing, c.superview, c.current),
                         c.expected)
            << int(c.mode) << " " << c.picture.width() << "x" << c.picture.height() << " at " << c.angle;
}

TEST(CachedImageGeometry, DecodeSizes)
{
    // Fast drawing: a quarter from 90,000 pixels on.
    EXPECT_EQ(G::convertFastImageDrawSize({300, 300}), QSizeF(75, 75));
    EXPECT_EQ(G::convertFastImageDrawSize({299, 300}), QSizeF(299, 300));
    // Neighbours: the fitted size, halved above 1,638,400 pixels.
    EXPECT_EQ(G::neighbourDecodeSize({6000, 4000}, 0.25), QSizeF(1500, 1000));
    EXPECT_EQ(G::neighbourDecodeSize({6000, 4000}, 0.3), QSizeF(900, 600));
    // No bitmap above 2^26 pixels: the same shape, smaller.
    const QSizeF huge = G::limitBitmapSize({16384, 16384});
    EXPECT_LE(huge.width() * huge.height(), double(1 << 26));
    EXPECT_GE(huge.width() * huge.height(), double(1 << 26) * 0.999);
    EXPECT_EQ(huge.width(), huge.height());
    EXPECT_EQ(G::limitBitmapSize({8192, 8192}), QSizeF(8192, 8192));
}

TEST(CachedImageGeometry, CentredOnWholePixels)
{
    EXPECT_EQ(G::imageRectOnCanvas({1000, 800}, {500, 400}), QRectF(250, 200, 500, 400));
    EXPECT_EQ(G::imageRectOnCanvas({1000, 800}, {333.5, 401}), QRectF(333, 199, 333.5, 401));
    // Larger than the canvas: it starts before the canvas.
    EXPECT_EQ(G::imageRectOnCanvas({100, 100}, {301, 100}), QRectF(-100, 0, 301, 100));
}

// Squares of 10 screen pixels whatever the zoom, alternating 0.6 and 0.9 grey along rows and
// columns.
TEST(CachedImageGeometry, CheckerboardHasTenPixelSquaresAtEveryZoom)
{
    for (double zoom : {0.5, 1.0, 2.0, 3.0}) {
        QImage canvas(200, 200, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        {
            QPainter painter(&canvas);
            painter.scale(zoom, zoom);
            G::drawTransparentBackground(painter, QRectF(0, 0, 200 / zoom, 200 / zoom), zoom);
        }
        const QRgb dark = qRgb(153, 153, 153), light = qRgb(230, 230, 230);
        auto at = [&](int x, int y) { return canvas.pixel(x, y); };
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) {
                const QRgb expected = (row + column) % 2 == 0 ? dark : light;
                // The middle of each square, away from its edges.
                EXPECT_EQ(at(column * 10 + 5, row * 10 + 5), expected) << zoom << " " << row << "," << column;
            }
        // Every pixel is one of the two greys.
        for (int y = 0; y < 200; y += 7)
            for (int x = 0; x < 200; x += 7)
                EXPECT_TRUE(at(x, y) == dark || at(x, y) == light) << zoom << " " << x << "," << y;
    }
}

} // namespace
} // namespace vistel::test
