// The collapsible panel stack (panels, their splitter and caption presses, the column) and the
// thumbnail preview.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "Common/Views/DockView.h"
#include "Platform/Gui/View.h"

using namespace vistel;

namespace {

struct Instant : testing::Test {
    void SetUp() override { DockPanel::setAnimationDuration(0); }
};

TEST(DockPanelGeometry, PartsOfTheFrame)
{
    using G = DockPanel::Geometry;
    EXPECT_EQ(G::caption(200), QRect(0, 0, 200, 22));
    EXPECT_EQ(G::captionText(200), QRect(26, 0, 174, 22));
    EXPECT_EQ(G::closeButton(200), QRect(178, 2, 18, 18));
    EXPECT_EQ(G::content({200, 100}), QRect(0, 22, 200, 70));
    EXPECT_EQ(G::splitter({200, 100}, true), QRect(0, 92, 200, 8));
    EXPECT_TRUE(G::splitter({200, 100}, false).isEmpty());
    const QRect frame(5, 40, 200, 100);
    EXPECT_EQ(G::expandedFrame(frame, true, {}), frame);
    EXPECT_EQ(G::expandedFrame(QRect(5, 40, 200, 22), false, {200, 70}), frame);
    EXPECT_EQ(G::collapsedFrame(frame, true), QRect(5, 40, 200, 22));
    EXPECT_EQ(G::collapsedFrame(frame, false), frame);
}

struct Column {
    DockView dock;
    std::vector<QWidget*> contents;
    std::vector<DockPanel*> panels;
    Column()
    {
        for (int height : {50, 80, 30}) {
            auto* content = new QWidget;
            content->resize(10, height);
            contents.push_back(content);
            panels.push_back(dock.addPanel(content, QString("Panel %1").arg(height)));
        }
        dock.resize(260, 300);
        dock.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dock));
    }
    std::vector<int> tops()
    {
        std::vector<int> tops;
        for (QWidget* view : dock.layoutView()->views())
            tops.push_back(view->y());
        return tops;
    }
};

TEST_F(Instant, PanelsStackAtTheVisibleWidthAndFollowEachOthersHeights)
{
    Column c;
    EXPECT_EQ(c.tops(), std::vector<int>({0, 80, 190}));
    EXPECT_EQ(c.dock.layoutView()->height(), 80 + 110 + 60);
    for (DockPanel* panel : c.panels)
        EXPECT_EQ(panel->width(), c.dock.viewport()->width());
    EXPECT_EQ(c.contents[1]->geometry(), QRect(0, 22, c.dock.viewport()->width(), 80));

    View::setFrame(c.panels[0], QRectF(0, 0, 10, 100));
    EXPECT_EQ(c.tops(), std::vector<int>({0, 100, 210}));
    c.dock.resize(300, 300);
    EXPECT_EQ(c.panels[2]->width(), c.dock.viewport()->width());
}

TEST_F(Instant, ClosingAndReopeningRestoresTheContentHeight)
{
    Column c;
    DockPanel* panel = c.panels[1];
    panel->close();
    EXPECT_EQ(panel->height(), 22);
    EXPECT_FALSE(c.contents[1]->isVisible());
    EXPECT_EQ(c.tops(), std::vector<int>({0, 80, 102}));
    panel->open();
    EXPECT_EQ(panel->height(), 110);
    EXPECT_EQ(c.contents[1]->height(), 80);
    EXPECT_TRUE(c.contents[1]->isVisible());
}

TEST_F(Instant, TheSplitterSetsTheHeightAndStopsAtThirty)
{
    Column c;
    DockPanel* panel = c.panels[0];
    const QPoint grip(100, panel->height() - 4);
    QTest::mouseMove(panel, grip);
    EXPECT_EQ(panel->cursor().shape(), Qt::SizeVerCursor);
    QTest::mouseMove(panel, QPoint(100, 10));
    EXPECT_EQ(panel->cursor().shape(), Qt::ArrowCursor);
    QTest::mousePress(panel, Qt::LeftButton, {}, grip);
    QTest::mouseMove(panel, grip + QPoint(0, 40));
    EXPECT_EQ(panel->height(), 120);
    QTest::mouseMove(panel, grip - QPoint(0, 200));
    EXPECT_EQ(panel->height(), 30);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, grip - QPoint(0, 200));
    EXPECT_EQ(c.tops(), std::vector<int>({0, 30, 140}));
}

TEST_F(Instant, ACaptionPressTogglesOnlyWhenReleasedOnTheCaption)
{
    Column c;
    DockPanel* panel = c.panels[2];
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_TRUE(panel->isInMixedState());
    QTest::mouseMove(panel, QPoint(60, 45));
    EXPECT_FALSE(panel->isInMixedState());
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(60, 45));
    EXPECT_TRUE(panel->isOpen());
    EXPECT_EQ(panel->height(), 60);

    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_FALSE(panel->isOpen());
    EXPECT_FALSE(panel->isInMixedState());
    EXPECT_EQ(panel->height(), 22);
}

TEST_F(Instant, RemovingAPanelTakesItOffTheScreen)
{
    Column c;
    QPointer<DockPanel> panel = c.panels[0];
    c.dock.removePanel(c.contents[0]);
    EXPECT_TRUE(panel.isNull());
    EXPECT_FALSE(View::hasSuperview(c.contents[0])); // handed back, detached
    EXPECT_EQ(c.tops(), std::vector<int>({0, 110}));
    c.dock.removePanel(c.contents[0]); // no longer there: nothing happens
    EXPECT_EQ(c.dock.layoutView()->views().size(), 2u);
}

struct FakeItem : ThumbnailImageProvider {
    QImage image;
    QImage thumbnailImage() const override { return image; }
};

TEST(MDObjectPreviewPanel, FitsTheThumbnailOnTheWindowBackground)
{
    struct FitCase { QSizeF image; QRectF fitted; };
    for (const FitCase& c : {FitCase {{200, 100}, {0, 25, 100, 50}}, FitCase {{50, 100}, {25, 0, 50, 100}}, FitCase {{10, 10}, {0, 0, 100, 100}},
                             FitCase {{}, {}}})
        EXPECT_EQ(MDObjectPreviewPanel::fittedRect(c.image, {0, 0, 100, 100}), c.fitted) << c.image.width();

    MDObjectPreviewPanel preview;
    preview.resize(100, 100);
    FakeItem item;
    item.image = QImage(200, 100, QImage::Format_RGB32);
    item.image.fill(Qt::red);
    preview.setInfoWithItem(&item);
    const QImage shown = preview.grab().toImage();
    EXPECT_EQ(shown.pixelColor(50, 50), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(50, 5), preview.palette().color(QPalette::Window));
    FakeItem empty;
    preview.setInfoWithItem(&empty);
    EXPECT_TRUE(preview.image().isNull());
    EXPECT_EQ(preview.grab().toImage().pixelColor(50, 50), preview.palette().color(QPalette::Window));
}

} // namespace
