// The source-list cell (geometry, badge, eject button, padlock, progress area) and the progress
// mark it draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QTest>

#include <cmath>

#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Common/Views/ZOVProgressIndicator.h"

using namespace vistel;
namespace G = ImageAndTextCellGeometry;

namespace {

TEST(ImageAndTextCellGeometry, EjectButtonAndIcon)
{
    struct EjectCase { QRectF bounds; bool has; QRectF rect; };
    for (const EjectCase& c : {EjectCase {{0, 0, 17, 20}, true, {}}, EjectCase {{0, 0, 10, 20}, true, {}},
                               EjectCase {{0, 0, 18, 20}, true, {1, 0, 17, 17}}, EjectCase {{4.4, 3, 100, 20}, true, {87, 3, 17, 17}},
                               EjectCase {{0, 0, 100, 20}, false, {}}})
        EXPECT_EQ(G::ejectButtonRect(c.bounds, c.has), c.rect) << c.bounds.width();

    struct IconCase { QSizeF image; QRectF rect; };
    const QRectF row(10, 40, 200, 20);
    for (const IconCase& c : {IconCase {{32, 32}, {15, 40, 20, 20}}, IconCase {{16, 16}, {17, 40, 16, 16}},
                              IconCase {{40, 20}, {15, 45, 20, 10}}, IconCase {{20, 20}, {15, 38, 20, 20}}, IconCase {{}, {}}})
        EXPECT_EQ(G::imageRect(row, c.image), c.rect) << c.image.width();
}

TEST(ImageAndTextCellGeometry, BadgeProgressTitleAndSubtitle)
{
    const QRectF row(0, 0, 200, 20);
    const QSizeF number(8, 15);
    const QRectF eject = G::ejectButtonRect(row, true);
    const QRectF progress = G::progressRect(row, true, eject.width());
    EXPECT_EQ(progress, QRectF(161, 0, 20, 20));
    const QRectF badge = G::countRect(row, number, eject.width(), 0);
    const QRectF badgeBeforeProgress = G::countRect(row, number, eject.width(), progress.width());
    EXPECT_EQ(badge, QRectF(150, 0, 31, 20)); // width trunc(max(15 + 1, 8 + 6) + 15)
    EXPECT_EQ(badgeBeforeProgress.x(), badge.x() - progress.width() - 4);
    EXPECT_EQ(G::countRect(row, std::nullopt, 17, 0), QRectF());

    // The title stops short of everything on its right: eject, badge and the progress area.
    struct TitleCase { double count; double progress; double right; };
    for (const TitleCase& c : {TitleCase {0, 0, 179}, TitleCase {31, 0, 148}, TitleCase {0, 20, 159}, TitleCase {31, 20, 124}}) {
        const QRectF title = G::titleRect(row, 16, 17, c.count, c.progress);
        EXPECT_EQ(title.left(), 27);
        EXPECT_EQ(title.top(), 2);
        EXPECT_EQ(title.right(), c.right) << c.count << " " << c.progress;
    }
    EXPECT_LT(G::titleRect(row, 16, 17, 0, progress.width()).right(), progress.left());
    EXPECT_LT(G::titleRect(row, 16, 17, 31, progress.width()).right(), badgeBeforeProgress.left());

    const QRectF title(27, 2, 100, 30);
    EXPECT_EQ(G::subTitleRect(title, row, 50.0), QRectF(27, 15, 50, 17));
    EXPECT_EQ(G::subTitleRect(title, row, 500.0).right(), 200); // cut at the cell's right edge
    EXPECT_EQ(G::subTitleRect(title, row, std::nullopt), QRectF());
    EXPECT_EQ(G::cellSize(row, 60), QSizeF(110, 20));
    EXPECT_EQ(G::cellSize(QRectF(0, 0, 80, 30), 60), QSizeF(80, 20));
}

// Badge sizes come from DejaVu Sans, what fontconfig gives for "Lucida Grande" here.
class Badge : public testing::Test {
protected:
    void SetUp() override
    {
        QFont::insertSubstitution(QStringLiteral("Lucida Grande"), QStringLiteral("DejaVu Sans"));
        ASSERT_EQ(QFontInfo(ImageAndTextCell::badgeFont(13)).family(), QStringLiteral("DejaVu Sans"));
    }
};

TEST_F(Badge, SizedFromTheNumberInTheBadgeFontAndShownForZeroUntilCleared)
{
    QWidget view;
    ImageAndTextCell cell;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(13);
    cell.setFont(font);
    const QRectF row(0, 0, 200, 20);
    EXPECT_EQ(cell.countRectForBounds(row, &view), QRectF());
    cell.setCountValue(0);
    EXPECT_TRUE(cell.hasCount());
    for (int value : {0, 7, 1234}) {
        cell.setCountValue(value);
        const QFontMetricsF metrics(font);
        const double width = std::trunc(std::max(metrics.height() + 1, metrics.horizontalAdvance(QString::number(value)) + 6) + 15);
        EXPECT_EQ(cell.countRectForBounds(row, &view), QRectF(std::trunc(200 - width - 2), 0, width, 20)) << value;
    }
    cell.clearCount();
    EXPECT_FALSE(cell.hasCount());
    EXPECT_EQ(cell.countRectForBounds(row, &view), QRectF());
}

TEST(ImageAndTextCell, EjectImageFollowsHighlightPressAndHover)
{
    ImageAndTextCell cell;
    cell.setHasEjectButton(true);
    EXPECT_EQ(cell.ejectButtonImageName(), "eject-normal.PNG");
    cell.mouseEntered();
    EXPECT_EQ(cell.ejectButtonImageName(), "eject-normal-hovered.PNG");
    cell.setHighlighted(true);
    EXPECT_EQ(cell.ejectButtonImageName(), "eject-selected-hovered.PNG");
    cell.mouseExited();
    EXPECT_EQ(cell.ejectButtonImageName(), "eject-selected.PNG");
    for (const char* name : {"eject-normal.PNG", "eject-normal-hovered.PNG", "eject-normal-mouse.PNG", "eject-selected.PNG",
                             "eject-selected-hovered.PNG", "eject-selected-mouse.PNG"})
        EXPECT_FALSE(NSImageNamedImageExtended::imageNamed(name, "images").isNull()) << name;
}

TEST(ImageAndTextCell, HitsTitleIconSubtitleAndEjectInThatOrder)
{
    OutlineView view;
    ImageAndTextCell cell;
    QImage icon(16, 16, QImage::Format_ARGB32);
    cell.setImage(icon);
    cell.setStringValue("Camera");
    cell.setHasEjectButton(true);
    cell.setCountValue(5);
    const QRectF frame(0, 0, 200, 20);
    const QRectF badge = cell.countRectForBounds(frame, &view);
    struct HitCase { QPointF point; unsigned hit; };
    for (const HitCase& c : {HitCase {cell.titleRectForBounds(frame, &view).center(), NSCellHitContentArea | NSCellHitEditableTextArea},
                             HitCase {cell.imageRectForBounds(frame).center(), NSCellHitContentArea},
                             HitCase {cell.ejectButtonRectForBounds(frame).center(), NSCellHitContentArea | NSCellHitTrackableArea},
                             HitCase {badge.center(), NSCellHitNone}, HitCase {QPointF(2, 10), NSCellHitNone}})
        EXPECT_EQ(cell.hitTest(c.point, frame, view), c.hit) << c.point.x();
    EXPECT_EQ(cell.editingRect(frame, view), cell.titleRectForBounds(frame, &view).adjusted(-2, 0, -2, -3));
}

// A source list of volumes whose eject button sends "eject:".
struct Volumes : OutlineViewDataSource, OutlineViewDelegate, Responder {
    std::vector<Ref<Object>> items {makeRef<Object>(), makeRef<Object>()};
    int ejects = 0;
    int ejectedRow = -1;
    OutlineView* view = nullptr;
    bool withAction = true;
    Volumes()
    {
        setActionHandler("eject:", [this](QObject*) {
            ++ejects;
            ejectedRow = view->clickedRow();
        });
    }
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override { return item ? 0 : 2; }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object*) override { return items[static_cast<std::size_t>(index)]; }
    std::optional<Value> objectValue(OutlineView&, TableColumn*, Object*) override { return Value("Camera"); }
    bool willDisplayCell(OutlineView&, Cell& cell, TableColumn*, Object*) override
    {
        auto& source = static_cast<ImageAndTextCell&>(cell);
        source.setHasEjectButton(true);
        source.setEjectButtonAction(withAction ? "eject:" : "");
        source.setTarget(this);
        return true;
    }
};

// An outline that owns a progress mark.
class MarkedOutline : public OutlineView {
public:
    const ProgressMarkDrawing* progressIndicator() const override { return mark ? &*mark : nullptr; }
    std::optional<ZOVProgressIndicator> mark;
};

struct SourceList {
    Volumes volumes;
    MarkedOutline outline;
    SourceList()
    {
        volumes.view = &outline;
        auto column = std::make_unique<TableColumn>("tree");
        column->setWidth(200);
        column->setDataCell(std::make_unique<ImageAndTextCell>());
        outline.addTableColumn(std::move(column));
        outline.setDataSource(&volumes);
        outline.setDelegate(&volumes);
        outline.setRowHeight(20);
        outline.resize(240, 100);
        outline.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&outline));
    }
    QPoint ejectCentre(int row)
    {
        std::unique_ptr<Cell> cell = outline.preparedCellAtColumn(0, row);
        return static_cast<ImageAndTextCell&>(*cell).ejectButtonRectForBounds(QRectF(outline.frameOfCellAtColumn(0, row))).center().toPoint();
    }
    std::string ejectImage(int row)
    {
        std::unique_ptr<Cell> cell = outline.preparedCellAtColumn(0, row);
        return static_cast<ImageAndTextCell&>(*cell).ejectButtonImageName();
    }
};

TEST(ImageAndTextCell, HoverShowsTheHoveredEjectAndAReleaseInsideEjectsOnce)
{
    SourceList list;
    QTest::mouseMove(list.outline.viewport(), list.ejectCentre(1));
    EXPECT_EQ(list.ejectImage(1), "eject-normal-hovered.PNG");
    EXPECT_EQ(list.ejectImage(0), "eject-normal.PNG");
    QTest::mouseMove(list.outline.viewport(), QPoint(30, list.ejectCentre(1).y()));
    EXPECT_EQ(list.ejectImage(1), "eject-normal.PNG");

    QTest::mouseClick(list.outline.viewport(), Qt::LeftButton, {}, list.ejectCentre(1));
    EXPECT_EQ(list.volumes.ejects, 1);
    EXPECT_EQ(list.volumes.ejectedRow, 1);

    // Pressed, then released outside the button: nothing.
    QTest::mousePress(list.outline.viewport(), Qt::LeftButton, {}, list.ejectCentre(0));
    QTest::mouseMove(list.outline.viewport(), list.ejectCentre(0) - QPoint(40, 0));
    QTest::mouseRelease(list.outline.viewport(), Qt::LeftButton, {}, list.ejectCentre(0) - QPoint(40, 0));
    EXPECT_EQ(list.volumes.ejects, 1);

    list.volumes.withAction = false;
    QTest::mouseClick(list.outline.viewport(), Qt::LeftButton, {}, list.ejectCentre(0));
    EXPECT_EQ(list.volumes.ejects, 1);
}

// Counts the pixels of an image region darker than mid grey.
int darkPixels(const QImage& image, const QRect& region)
{
    int dark = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    return dark;
}

TEST(ImageAndTextCell, DrawsTheViewsProgressMarkAndAHighlightColouredBadge)
{
    SourceList list;
    ImageAndTextCell cell;
    cell.setDrawProgress(true);
    cell.setCountValue(3);
    const QRectF frame(0, 0, 200, 20);
    auto render = [&] {
        QImage image(200, 20, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        cell.drawWithFrame(painter, frame, list.outline);
        return image;
    };
    const QRect progress = cell.progressRectForBounds(frame).toAlignedRect();
    EXPECT_EQ(darkPixels(render(), progress), 0); // the view has no mark
    list.outline.mark.emplace();
    list.outline.mark->setProgressStep(1);
    EXPECT_GT(darkPixels(render(), progress), 3);

    const QRectF badge = cell.countRectForBounds(frame, &list.outline);
    EXPECT_LT(badge.right(), progress.left());
    EXPECT_EQ(render().pixelColor(QPointF(badge.left() + 4, badge.center().y()).toPoint()), list.outline.palette().color(QPalette::Highlight));
}

TEST(ImageAndTextCell, ThePadlockSitsOverTheIcon)
{
    SourceList list;
    ImageAndTextCell cell;
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    cell.setImage(icon);
    auto render = [&] {
        QImage image(100, 20, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        cell.drawWithFrame(painter, QRectF(0, 0, 100, 20), list.outline);
        return image;
    };
    const QImage bare = render();
    cell.setShowPadlock(true);
    const QImage locked = render();
    const QRectF icons = cell.imageRectForBounds(QRectF(0, 0, 100, 20));
    const QRect padlock = QRectF(icons.x() - 0.3 * icons.width(), icons.y() + 0.2 * icons.height(), 0.8 * icons.width(), 0.8 * icons.height()).toAlignedRect();
    EXPECT_NE(bare.copy(padlock), locked.copy(padlock));
    EXPECT_EQ(bare.copy(QRect(40, 0, 60, 20)), locked.copy(QRect(40, 0, 60, 20)));
}

TEST(ZOVProgressIndicator, TheMarksSpokesRadiiAndWidth)
{
    struct SizeCase { QRectF frame; double width; double inner; double outer; };
    for (const SizeCase& c : {SizeCase {{0, 0, 16, 16}, 1.28, 4.32, 7.68}, SizeCase {{0, 0, 40, 32}, 2.56, 7.36, 12.16},
                              SizeCase {{0, 0, 16, 30}, 1.28, 4.32, 7.68}}) {
        const ZOVProgressIndicator::Mark mark = ZOVProgressIndicator::mark(c.frame, 1);
        EXPECT_NEAR(mark.lineWidth, c.width, 1e-9);
        EXPECT_NEAR(mark.innerRadius, c.inner, 1e-9);
        EXPECT_NEAR(mark.outerRadius, c.outer, 1e-9);
        EXPECT_NEAR(mark.spokes[0].line.length(), c.outer - c.inner, 1e-9);
    }
    const ZOVProgressIndicator::Mark mark = ZOVProgressIndicator::mark({0, 0, 16, 16}, 1);
    EXPECT_EQ(mark.spokes[0].greyLevel, 0.0);
    EXPECT_EQ(mark.spokes[4].greyLevel, 0.5);
    EXPECT_EQ(mark.spokes[11].greyLevel, 0.8);
    // Phase 1, top-down: the black spoke points at 300 degrees (up and to the right).
    const QPointF direction = mark.spokes[0].line.p2() - mark.spokes[0].line.p1();
    EXPECT_NEAR(direction.x(), 3.36 * 0.5, 1e-9);
    EXPECT_NEAR(direction.y(), -3.36 * std::sqrt(3.0) / 2, 1e-9);
    EXPECT_NEAR(mark.spokes[0].line.p1().x() - 8, 4.32 * 0.5, 1e-9);
    // A bottom-up view mirrors it.
    const ZOVProgressIndicator::Mark mirrored = ZOVProgressIndicator::mark({0, 0, 16, 16}, 1, false);
    EXPECT_NEAR(mirrored.spokes[0].line.p2().y() - 8, 7.68 * std::sqrt(3.0) / 2, 1e-9);
}

TEST(ZOVProgressIndicator, TwelveStepsBringThePatternBack)
{
    ZOVProgressIndicator indicator;
    EXPECT_EQ(indicator.progressStep(), 0u);
    indicator.advanceProgressStep();
    EXPECT_EQ(indicator.progressStep(), 1u);
    const ZOVProgressIndicator::Mark first = ZOVProgressIndicator::mark({0, 0, 16, 16}, indicator.progressStep());
    for (int tick = 0; tick < 11; ++tick)
        indicator.advanceProgressStep();
    EXPECT_EQ(indicator.progressStep(), 12u);
    const ZOVProgressIndicator::Mark turned = ZOVProgressIndicator::mark({0, 0, 16, 16}, indicator.progressStep());
    // One step before the start: the black spoke sits where the last step of the circle was.
    EXPECT_NEAR(turned.spokes[0].line.p2().x(), first.spokes[1].line.p2().x(), 1e-9);
    indicator.advanceProgressStep();
    EXPECT_EQ(indicator.progressStep(), 1u);
    const ZOVProgressIndicator::Mark back = ZOVProgressIndicator::mark({0, 0, 16, 16}, indicator.progressStep());
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_NEAR(back.spokes[i].line.p2().x(), first.spokes[i].line.p2().x(), 1e-9);
        EXPECT_NEAR(back.spokes[i].line.p2().y(), first.spokes[i].line.p2().y(), 1e-9);
    }
}

} // namespace
