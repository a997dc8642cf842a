// Icon images with one hand-made bitmap per size class.
#include <gtest/gtest.h>

#include <cmath>

#include <QPainter>

#include "Common/Icons/NSImageIconRef.h"
#include "Common/Icons/NSImageManualRescale.h"
#include "IconsTestSupport.h"

namespace vistel {
namespace {

int madeBitmapCount(const NSImageManualRescale& icon)
{
    int count = 0;
    for (const Ref<ImageRep>& rep : icon.image()->representations())
        count += dynamic_cast<NSImageManualRescaleBitmap*>(rep.get()) != nullptr;
    return count;
}

QColor centreColour(const Ref<NSImageManualRescaleBitmap>& bitmap)
{
    const QImage image = bitmap->cgImage()->toQImage();
    return QColor(image.pixel(image.width() / 2, image.height() / 2));
}

TEST(NSImageManualRescale, SizeClasses)
{
    struct Case {
        int pixels;
        int sizeClass;
    } cases[] = {{1, 0}, {16, 0}, {17, 1}, {32, 1}, {33, 2}, {128, 2}, {129, 3}, {1024, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(NSImageManualRescale::sizeClassForPixels(c.pixels), c.sizeClass) << c.pixels;
}

TEST(NSImageManualRescale, DrawingMakesOneBitmapPerSizeClassAndReusesIt)
{
    test::FixtureTheme theme;
    // "both" has a red 16-pixel drawing and a blue 48-pixel one (the 64 class).
    Ref<NSImageManualRescale> icon = NSImageManualRescale::createWithSize(QSizeF(128, 128), IconRef::named("both"));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->originalRep(0)->pixelsWide(), 16u);
    EXPECT_FALSE(icon->originalRep(1));
    EXPECT_EQ(icon->originalRep(2)->pixelsWide(), 64u);
    EXPECT_FALSE(icon->originalRep(3));
    EXPECT_EQ(madeBitmapCount(*icon), 1); // its own full size, made at creation

    QImage canvas(300, 300, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    const int sizes[] = {16, 32, 128, 256};
    for (int size : sizes)
        icon->drawInRect(painter, QRectF(0, 0, size, size), QRectF());
    EXPECT_EQ(madeBitmapCount(*icon), 4);
    std::vector<ImageRep*> made;
    for (int c = 0; c < 4; ++c) {
        ASSERT_TRUE(icon->bitmapRep(c)) << c;
        EXPECT_EQ(icon->bitmapRep(c)->pixelsWide(), std::size_t(sizes[c]));
        made.push_back(icon->bitmapRep(c).get());
    }
    for (int size : sizes)
        icon->drawInRect(painter, QRectF(0, 0, size, size), QRectF());
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(icon->bitmapRep(c).get(), made[std::size_t(c)]) << "redrawn at the same size";
    EXPECT_EQ(madeBitmapCount(*icon), 4);

    // Empty classes draw from the nearest larger class, and the largest class from the largest
    // drawing below it, never from the 16-pixel one.
    EXPECT_EQ(centreColour(icon->bitmapRep(0)), QColor(Qt::red));
    EXPECT_EQ(centreColour(icon->bitmapRep(1)), QColor(Qt::blue));
    EXPECT_EQ(centreColour(icon->bitmapRep(3)), QColor(Qt::blue));

    // Another size of a class replaces that class's bitmap.
    icon->drawInRect(painter, QRectF(0, 0, 200, 200), QRectF());
    EXPECT_EQ(icon->bitmapRep(3)->pixelsWide(), 200u);
    EXPECT_EQ(madeBitmapCount(*icon), 4);
    painter.end();
    EXPECT_GT(qAlpha(canvas.pixel(100, 100)), 0);
}

TEST(NSImageManualRescale, SourceRectangleScalesThePixelSize)
{
    test::FixtureTheme theme;
    Ref<NSImageManualRescale> icon = NSImageManualRescale::createWithSize(QSizeF(128, 128), IconRef::named("both"));
    ASSERT_TRUE(icon);
    // Half of the image into 64 points: the whole image would be 128 pixels there.
    icon->validateDrawInRect(QRectF(0, 0, 64, 64), QRectF(0, 0, 64, 64));
    EXPECT_EQ(icon->bitmapRep(2)->pixelsWide(), 128u);
    icon->validateDrawInRect(QRectF(0, 0, 24, 24), QRectF(0, 0, 128, 128));
    EXPECT_EQ(icon->bitmapRep(1)->pixelsWide(), 24u);
    icon->validateDrawInRect(QRectF(0, 0, 0, 0), QRectF()); // nothing to draw: nothing made
    EXPECT_FALSE(icon->bitmapRep(0));
    // Sizes no bitmap can have make nothing either.
    icon->validateDrawInRect(QRectF(0, 0, 1e12, 1e12), QRectF());
    icon->validateDrawInRect(QRectF(0, 0, 64, 64), QRectF(0, 0, 1e-300, 1e-300));
    icon->validateDrawInRect(QRectF(0, 0, std::nan(""), 64), QRectF());
    EXPECT_FALSE(icon->bitmapRep(3));
}

TEST(NSImageManualRescale, IconOfAPathIsSharedPerIcon)
{
    if (IconTheme::lookupIcon("folder", 32).empty())
        VISTEL_SKIP_UNAVAILABLE() << "the Adwaita icon theme is not installed";
    test::TemporaryFolder folder;
    test::writeText(folder / "a.jpg", "x");
    test::writeText(folder / "b.jpg", "y");
    Ref<NSImageManualRescale> first = NSWorkspaceCustomIcons::iconDataForPath(folder / "a.jpg", false, 0xFFFFFFFF);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), QSizeF(128, 128));
    EXPECT_EQ(NSWorkspaceCustomIcons::iconDataForPath(folder / "b.jpg", false, 0).get(), first.get());
    EXPECT_TRUE(NSWorkspaceCustomIcons::iconDataForPath(folder.path(), false, 0));
    EXPECT_FALSE(NSWorkspaceCustomIcons::iconDataForPath(folder / "a.jpg", true, 0x1818));
    EXPECT_FALSE(NSWorkspaceCustomIcons::iconDataForPath(folder / "missing.jpg", false, 0));
}

} // namespace
} // namespace vistel
