// Print layouts: reading the layout file (only "layout" elements, child names in any case),
// the slot geometry on real sheets, which print sizes a layout holds, the slot drawing with
// crop and autoRotate, and the layouts the program ships with their icons.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <QPainter>

#include "Application/Printing/PrintLayout.h"
#include "Application/Printing/PrintLayoutList.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"

namespace vistel::test {
namespace {

const std::string fixture = std::string(VISTEL_TEST_DATA_DIR) + "/layouts.xml";
const QSizeF referencePage(8.27f, 11.69f);

// A layout made of one XML text.
Ref<ZOVPrintLayout> layoutFrom(const char* text)
{
    auto document = std::make_shared<pugi::xml_document>();
    if (!document->load_string(text))
        return nullptr;
    return ZOVPrintLayout::create(document, document->child("layout"));
}

// The mean difference of two pictures of the same size, per channel (0-255).
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return 255;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                + std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * x.width() * x.height());
}

class PrintLayoutsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrintLayoutList::setLayoutsPathOverride(fixture);
        ASSERT_EQ(list_.loadLayoutsFromXML(), 0);
    }
    void TearDown() override { PrintLayoutList::setLayoutsPathOverride({}); }
    ZOVPrintLayout& layout(std::size_t index) { return *list_.allLayouts().at(index); }

    PrintLayoutList list_;
};

TEST_F(PrintLayoutsTest, OnlyLayoutElementsAreListedWithTheirTextsAndSlots)
{
    // White space, a comment and another element between layouts are no rows.
    ASSERT_EQ(list_.layoutsCount(), 4u);
    const char* captions[] = {"Two upright", "One slot", "Touching", "Landscape"};
    const std::size_t slotCounts[] = {2, 1, 2, 2};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(layout(i).layoutCaption(), captions[i]); // "Caption" matches too
        EXPECT_EQ(layout(i).imagesCount(), slotCounts[i]) << captions[i]; // "IMAGE" and "Image" are slotCounts
        EXPECT_EQ(list_.objectValue(list_, nullptr, long(i))->toString(), captions[i]);
    }
    EXPECT_EQ(layout(0).layoutIcon(), "two.png");
    EXPECT_EQ(layout(1).layoutDescription(), std::nullopt);
    EXPECT_EQ(layout(0).imageAtIndex(2), nullptr);
    ASSERT_NE(layout(0).imageAtIndex(1), nullptr);
    EXPECT_EQ(layout(0).imageAtIndex(1)->imageRect(), QRectF(4, 1, 3, 7));
    // The current layout is row 0 until another is chosen.
    EXPECT_EQ(list_.currentLayout(), &layout(0));
    list_.setCurrentLayoutIndex(2);
    EXPECT_EQ(list_.currentLayout(), &layout(2));
    list_.setCurrentLayoutIndex(9); // ignored
    EXPECT_EQ(list_.currentLayoutIndex(), 2);
}

TEST_F(PrintLayoutsTest, AFileThatCannotBeReadLeavesTheListEmpty)
{
    PrintLayoutList::setLayoutsPathOverride(std::string(VISTEL_TEST_DATA_DIR) + "/missing.xml");
    EXPECT_EQ(list_.loadLayoutsFromXML(), 3);
    EXPECT_EQ(list_.layoutsCount(), 0u);
    EXPECT_EQ(list_.currentLayout(), nullptr);
}

TEST_F(PrintLayoutsTest, APrintSizeIsSupportedWhenTheCentredPicturesKeepClear)
{
    struct Case {
        std::size_t layout;
        QSizeF print;
        bool supported;
    } cases[] = {
        {0, {5, 7}, false}, // centres 3.5 in apart: 5 in wide pictures overlap
        {1, {5, 7}, true},  // one slot holds anything
        {0, {3, 7}, true},  {0, {0, 0}, true}, // "best for layout" fills each slot
        {2, {4, 5}, true},  // pictures that only touch
        {2, {4.1, 5}, false},
        {3, {5, 7}, true}, // the second slot lacks its height: the zero rectangle blocks nothing
    };
    for (const Case& c : cases)
        EXPECT_EQ(layout(c.layout).isPictureSizeSupported(c.print, referencePage), c.supported)
            << *layout(c.layout).layoutCaption() << " " << c.print.width() << " x " << c.print.height();
    // Filtering shows the layouts that hold the size; a zero side shows them all.
    list_.loadLayoutsForPrintSize(QSizeF(5, 7), referencePage);
    ASSERT_EQ(list_.layoutsCount(), 2u);
    EXPECT_EQ(list_.layoutAtIndex(0), &layout(1));
    EXPECT_EQ(list_.layoutAtIndex(1), &layout(3));
    list_.loadLayoutsForPrintSize(QSizeF(0, 7), referencePage);
    EXPECT_EQ(list_.layoutsCount(), 4u);
}

TEST_F(PrintLayoutsTest, SlotsScaleWithTheSheetAndPicturesTurnToALandscapeSlot)
{
    const Ref<ZOVLayoutImage> upright = layout(0).imageAtIndex(0);
    struct Case {
        QSizeF document;
        QRectF expected;
    } cases[] = {
        {{8.3f, 11.7f}, {0.50181, 1.000855, 3.01088, 7.005988}}, // A4 as listed
        {{8.5f, 11.0f}, {0.51391, 0.940975, 3.08343, 6.586826}}, // US Letter
        {{0, 11.0f}, {0.5, 1, 3, 7}},                             // a zero side keeps the slot
    };
    for (const Case& c : cases) {
        const QRectF rect = upright->imageRectForDocumentSize(c.document);
        EXPECT_NEAR(rect.x(), c.expected.x(), 1e-4) << c.document.width();
        EXPECT_NEAR(rect.y(), c.expected.y(), 1e-4) << c.document.width();
        EXPECT_NEAR(rect.width(), c.expected.width(), 1e-4) << c.document.width();
        EXPECT_NEAR(rect.height(), c.expected.height(), 1e-4) << c.document.width();
    }
    // A 4 x 6 print in the 7 x 4 landscape slot is turned to 6 x 4 about the slot's centre.
    const Ref<ZOVLayoutImage> landscape = layout(3).imageAtIndex(0);
    EXPECT_EQ(landscape->pictureRectWithSize(QSizeF(4, 6), referencePage), QRectF(1, 0.5, 6, 4));
    EXPECT_EQ(upright->pictureRectWithSize(QSizeF(4, 6), referencePage), QRectF(0, 1.5, 4, 6));
    EXPECT_EQ(upright->pictureRectWithSize(QSizeF(0, 6), referencePage), QRectF(0.5, 1.5, 3, 6));
    EXPECT_EQ(layout(3).imageAtIndex(1)->imageRect(), QRectF());
}

TEST(PrintSizes, CompareSizesPutsTheLargerFirst)
{
    struct Case {
        QSizeF a, b;
        int order;
    } cases[] = {
        {{5, 7}, {4, 6}, -1}, {{4, 6}, {5, 7}, 1}, {{5, 7}, {5, 6}, -1}, {{5, 6}, {5, 7}, 1}, {{5, 7}, {5, 7}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SizeExtensions::compareSizes(c.a, c.b), c.order) << c.a.width() << "x" << c.a.height();
    const QSizeF stored = SizeExtensions::loadFromDictionary(SizeExtensions::serrializeToDictionary(QSizeF(3.46456, 5)));
    EXPECT_EQ(stored, QSizeF(3.46456f, 5.0f));
    EXPECT_EQ(SizeExtensions::loadFromDictionary(Value::dictionary()), QSizeF(0, 0));
}

// Slot drawing: a picture with a red left half and a blue right half in a square slot of a
// 100 x 100 page.
class SlotDrawingTest : public ::testing::Test {
protected:
    QImage draw(const DrawAttributes& attributes, QSize pictureSize)
    {
        const Ref<ZOVPrintLayout> square = layoutFrom(
            "<layout><image><XPosition>2</XPosition><YPosition>2</YPosition><width>6</width><height>6</height></image></layout>");
        QImage picture(pictureSize, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(QRect(0, 0, pictureSize.width() / 2, pictureSize.height()), Qt::red);
        QImage page(100, 100, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        square->imageAtIndex(0)->draw(painter, QRectF(0, 0, 100, 100), QRectF(0, 0, 10, 10), attributes, picture);
        return page;
    }
};

TEST_F(SlotDrawingTest, AutoRotateTurnsWhenTheTurnIsAtLeastAsGoodAndCropFills)
{
    const QSizeF none(0, 0); // best for layout, the slot as read
    const DrawAttributes plain {false, false, none, none};
    const DrawAttributes turned {false, true, none, none};
    const DrawAttributes cropped {true, false, none, none};
    // Square in square: upright without autoRotate, turned a quarter with it.
    QImage page = draw(plain, QSize(40, 40));
    EXPECT_EQ(page.pixelColor(30, 50), QColor(Qt::red));
    EXPECT_EQ(page.pixelColor(70, 50), QColor(Qt::blue));
    page = draw(turned, QSize(40, 40));
    EXPECT_EQ(page.pixelColor(50, 30), QColor(Qt::red));
    EXPECT_EQ(page.pixelColor(50, 70), QColor(Qt::blue));
    // A 2:1 picture fits with white above and below; with crop it fills the slot.
    page = draw(plain, QSize(80, 40));
    EXPECT_EQ(page.pixelColor(50, 25), QColor(Qt::white));
    page = draw(cropped, QSize(80, 40));
    EXPECT_EQ(page.pixelColor(25, 25), QColor(Qt::red));
    EXPECT_EQ(page.pixelColor(75, 75), QColor(Qt::blue));
    EXPECT_EQ(page.pixelColor(15, 50), QColor(Qt::white)); // clipped to the slot
    EXPECT_EQ(ZOVLayoutImage::scaleByDrawAttributes(cropped, 2, 3), 3);
    EXPECT_EQ(ZOVLayoutImage::scaleByDrawAttributes(plain, 2, 3), 2);
}

TEST(ShippedLayouts, EachHasItsTextsAndIconAndKeepsItsSlotsApartOnTheSheet)
{
    PrintLayoutList::setLayoutsPathOverride({});
    PrintLayoutList list;
    ASSERT_EQ(list.loadLayoutsFromXML(), 0);
    ASSERT_GE(list.layoutsCount(), 8u);
    std::size_t largest = 0;
    for (const Ref<ZOVPrintLayout>& layout : list.allLayouts()) {
        const std::string caption = layout->layoutCaption().value_or("");
        EXPECT_FALSE(caption.empty());
        EXPECT_FALSE(layout->layoutDescription().value_or("").empty()) << caption;
        const std::string icon = layout->layoutIcon().value_or("");
        const QImage shipped = NSImageNamedImageExtended::imageNamed(icon, "images/printing");
        ASSERT_FALSE(shipped.isNull()) << caption << ": " << icon;
        // The icon shows the slotCounts the layout has.
        EXPECT_LT(meanDifference(shipped, renderLayoutIcon(*layout, shipped.size())), 1.0) << caption;
        ASSERT_GT(layout->imagesCount(), 0u) << caption;
        largest = std::max(largest, layout->imagesCount());
        for (std::size_t i = 0; i < layout->imagesCount(); ++i) {
            const QRectF slot = layout->imageAtIndex(i)->imageRect();
            EXPECT_FALSE(slot.isEmpty()) << caption << " slot " << i;
            EXPECT_TRUE(QRectF(QPointF(), referencePage).contains(slot)) << caption << " slot " << i;
        }
        EXPECT_TRUE(layout->isPictureSizeSupported(QSizeF(0, 0), referencePage)) << caption;
    }
    EXPECT_GE(largest, 20u); // the contact sheet
}

} // namespace
} // namespace vistel::test
