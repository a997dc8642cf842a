// The thumbnail grid's geometry as plain functions: layout, the visible-items row scan, the
// picture chosen for a cell, thumbnail placement and the shortened name.

#include <gtest/gtest.h>

#include <QFontInfo>

#include "Application/BrowseMode/ThumbnailsViewGeometry.h"

namespace vistel {
namespace {

// Item size 100, spacing 16, border 3: cells 128 points square (no names).
ThumbnailsGridParameters parameters(std::uint64_t count, double width, std::optional<QSizeF> viewport = std::nullopt)
{
    ThumbnailsGridParameters p;
    p.itemsCount = count;
    p.viewWidth = width;
    p.contentViewSize = viewport;
    return p;
}

TEST(ThumbnailsGeometry, LayoutTable)
{
    struct Case {
        std::uint64_t count;
        double width;
        unsigned columns, rows;
        double cellWidth;
        QSizeF frame;
    };
    const Case cases[] = {
        {3, 128, 1, 3, 128, {128, 384}},     // exactly one cell wide
        {3, 100, 1, 3, 100, {100, 384}},     // narrower than a cell: still one column
        {7, 384, 3, 3, 128, {384, 384}},     // 7 items in 3 columns: the last row holds one
        {2, 500, 3, 1, 128, {500, 128}},     // one short row keeps unstretched cells
        {7, 500, 3, 3, 500.0 / 3, {500, 384}}, // several rows share out the width
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " items in " << c.width);
        const ThumbnailsGridLayout layout = layoutThumbnailsGrid(parameters(c.count, c.width));
        EXPECT_EQ(layout.columns, c.columns);
        EXPECT_EQ(layout.rows, c.rows);
        EXPECT_DOUBLE_EQ(layout.cellSize.width(), c.cellWidth);
        EXPECT_DOUBLE_EQ(layout.cellSize.height(), 128);
        EXPECT_EQ(layout.frameSize, c.frame);
    }
}

TEST(ThumbnailsGeometry, ScrollAreaStripAndEmptyLayouts)
{
    // In a scroll area the frame is at least as tall as the viewport, as wide as it.
    ThumbnailsGridLayout layout = layoutThumbnailsGrid(parameters(7, 10'000'000, QSizeF(384, 600)));
    EXPECT_EQ(layout.columns, 3u);
    EXPECT_EQ(layout.frameSize, QSizeF(384, 600));
    layout = layoutThumbnailsGrid(parameters(70, 10'000'000, QSizeF(384, 600)));
    EXPECT_EQ(layout.frameSize, QSizeF(384, 24 * 128));

    ThumbnailsGridParameters strip = parameters(5, 0, QSizeF(300, 150));
    strip.stripMode = true;
    layout = layoutThumbnailsGrid(strip);
    EXPECT_EQ(layout.columns, 5u);
    EXPECT_EQ(layout.rows, 1u);
    EXPECT_EQ(layout.frameSize, QSizeF(640, 150));
    strip.itemsCount = 1;
    EXPECT_EQ(layoutThumbnailsGrid(strip).frameSize, QSizeF(300, 150));

    layout = layoutThumbnailsGrid(parameters(0, 0, QSizeF(300, 150)));
    EXPECT_EQ(layout.columns, 0u);
    EXPECT_EQ(layout.frameSize, QSizeF(300, 150));
    EXPECT_EQ(gridRectForIndex(layout, 5), QRectF(0, 0, 128, 128));
}

TEST(ThumbnailsGeometry, IndexesAndCells)
{
    const ThumbnailsGridLayout layout = layoutThumbnailsGrid(parameters(10, 512)); // 4 columns
    EXPECT_EQ(gridRectForIndex(layout, 6), QRectF(256, 128, 128, 128));
    EXPECT_EQ(itemIndexForPoint(layout, QPointF(300, 200)), 6u);
    EXPECT_EQ(itemIndexForPoint(layout, QPointF(-50, -1)), 0u);
    // Past the partly filled last row: an index at or beyond the count.
    EXPECT_EQ(itemIndexForPoint(layout, QPointF(500, 300)), 11u);
}

TEST(ThumbnailsGeometry, RowScanStopsAtTheFirstRowThatAddsNothing)
{
    const ThumbnailsGridLayout layout = layoutThumbnailsGrid(parameters(40, 512)); // 4 columns, 10 rows
    const QSizeF view(512, 1280);
    auto cells = [&](std::uint64_t index) { return gridRectForIndex(layout, index).adjusted(10, 10, -10, -10); };
    // Columns 1-2 of rows 1-2.
    EXPECT_EQ(itemsIndexRangeForRect(layout, 40, QRectF(140, 140, 200, 200), 3, view, cells),
              IndexSet({5, 6, 9, 10}));
    // Rows 4 and 5 give no slide (empty cells): the scan ends there, row 6 is never looked at.
    std::vector<std::uint64_t> asked;
    auto holes = [&](std::uint64_t index) {
        asked.push_back(index);
        return index >= 16 && index < 24 ? QRectF() : cells(index);
    };
    EXPECT_EQ(itemsIndexRangeForRect(layout, 40, QRectF(0, 300, 512, 700), 3, view, holes),
              IndexSet::withRange(8, 8));
    EXPECT_EQ(*std::max_element(asked.begin(), asked.end()), 19u);
    // Nothing without columns, without items, or right of the view.
    EXPECT_TRUE(itemsIndexRangeForRect({}, 40, QRectF(0, 0, 100, 100), 3, view, cells).empty());
    EXPECT_TRUE(itemsIndexRangeForRect(layout, 0, QRectF(0, 0, 100, 100), 3, view, cells).empty());
    EXPECT_TRUE(itemsIndexRangeForRect(layout, 40, QRectF(600, 0, 100, 100), 3, view, cells).empty());
}

TEST(ThumbnailsGeometry, ImageChoiceTable)
{
    const QSizeF small(96, 72), large(320, 240);
    struct Case {
        double requested;
        std::optional<QSizeF> small, large;
        bool icon, live;
        ThumbnailChoice expected;
    };
    const Case cases[] = {
        {100, small, large, true, false, ThumbnailChoice::Small}, // 96 × 1.2 reaches 100
        {120, small, large, true, false, ThumbnailChoice::Large},
        {120, small, large, true, true, ThumbnailChoice::Small},  // resizing: small first
        {120, std::nullopt, large, true, true, ThumbnailChoice::Large},
        {300, small, std::nullopt, true, false, ThumbnailChoice::Small},
        {100, std::nullopt, std::nullopt, true, false, ThumbnailChoice::Icon},
        {100, std::nullopt, std::nullopt, false, false, ThumbnailChoice::Placeholder},
        {100, QSizeF(0, 0), QSizeF(0, 10), true, false, ThumbnailChoice::Icon}, // no area: no image
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseThumbnail(QSizeF(c.requested, c.requested), c.small, c.large, c.icon, c.live), c.expected)
            << "at " << c.requested;
}

TEST(ThumbnailsGeometry, PlacementOnWholePixels)
{
    EXPECT_EQ(scaledItemSizeForSize(QSizeF(96, 72), 100), QSizeF(100, 75));
    EXPECT_EQ(scaledItemSizeForSize(QSizeF(30, 60), 100), QSizeF(50, 100)); // small pictures grow
    EXPECT_TRUE(scaledItemSizeForSize(QSizeF(0, 60), 100).isEmpty());
    // Centred above a 15-point name line; the far edges land on whole pixels.
    const QRectF rect = itemRectInGridRect(QRectF(128, 0, 128, 143), QSizeF(97, 73), 100, 15);
    EXPECT_DOUBLE_EQ(rect.width(), 100);
    EXPECT_NEAR(rect.height(), 75.2577, 1e-3);
    EXPECT_DOUBLE_EQ(rect.x() + rect.width(), std::round(rect.x() + rect.width()));
    EXPECT_DOUBLE_EQ(rect.y() + rect.height(), std::round(rect.y() + rect.height()));
    EXPECT_NEAR(rect.center().x(), 192, 0.5);
    EXPECT_NEAR(rect.center().y(), 64, 0.5);
}

TEST(ThumbnailsGeometry, NamesLoseTheirMiddle)
{
    QFont::insertSubstitution(QStringLiteral("Lucida Grande"), QStringLiteral("DejaVu Sans"));
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSizeF(10);
    ASSERT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    const QRectF cell(0, 0, 128, 143);
    const QRectF thumb(14, 20, 100, 75);
    const float height = thumbnailTextHeight(font);
    // Maximum width 128 − 16 − 12 = 100.
    ThumbnailTextRect text = textRectForItemRect(thumb, cell, "a-very-long-file-name-from-a-camera.jpg", font, 16, 3, height);
    EXPECT_TRUE(text.text.startsWith("a-ver")) << text.text.toStdString();
    EXPECT_TRUE(text.text.endsWith(".jpg")) << text.text.toStdString();
    EXPECT_TRUE(text.text.contains(QChar(0x2026)));
    EXPECT_LE(text.textSize.width(), 100);
    EXPECT_EQ(text.rect, QRectF(14, 95, 100, height));
    // A short name is as wide as the thumbnail, centred on it.
    text = textRectForItemRect(QRectF(30, 20, 68, 90), cell, "a.jpg", font, 16, 3, height);
    EXPECT_EQ(text.text, "a.jpg");
    EXPECT_EQ(text.rect, QRectF(30, 110, 68, height));
}

} // namespace
} // namespace vistel
