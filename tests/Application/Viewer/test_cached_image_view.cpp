// The picture view over a real picture list: zoom by mode (a quarter turn fits the picture's
// other side), the zoom-out floor, user zoom dropped on a new picture, everything off without
// pictures, drawing fitted and turned on black, and the checkerboard behind transparency.

#include <gtest/gtest.h>

#include <QImage>
#include <QMenu>
#include <QTest>

#include "Application/Viewer/CachedImageView.h"
#include "Platform/Gui/Responder.h"
#include "QuadrantPicture.h"
#include "ViewerTestSupport.h"

namespace vistel::test {
namespace {

class PictureView : public ViewerTest {
protected:
    // The list started with a real view of `size`.
    CachedImageView& startView(QSize size = {400, 300})
    {
        list_ = CachedPicturesViewController::initWithDataSource(selection_);
        view_ = std::make_unique<CachedImageView>(list_.get());
        view_->resize(size);
        list_->startWithBrowser(view_.get());
        return *view_;
    }
    // The view drawn, once the current picture's bitmap is there.
    QImage grab()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            view_->grab();
            return settle() && list_->currentImage();
        }));
        settle();
        return view_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    void TearDown() override
    {
        view_.reset();
        ViewerTest::TearDown();
    }
    std::unique_ptr<CachedImageView> view_;
};

// Which of the four colours a pixel is nearest to (JPEG blurs them a little).
char colourAt(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
        return 'r';
    if (c.red() < 90 && c.green() > 180 && c.blue() < 90)
        return 'g';
    if (c.red() < 90 && c.green() < 90 && c.blue() > 180)
        return 'b';
    if (c.red() > 180 && c.green() > 180 && c.blue() < 90)
        return 'y';
    if (c.red() < 20 && c.green() < 20 && c.blue() < 20)
        return 'k';
    return '?';
}

TEST_F(PictureView, ZoomFollowsTheModeAndTheTurn)
{
    addPicture("wide.jpg", testPicture(800, 400));
    CachedImageView& view = startView({400, 400});
    EXPECT_EQ(view.zoomMode(), ImageZoomMode::FitImage);
    EXPECT_DOUBLE_EQ(view.zoomValue(), 0.5);
    EXPECT_EQ(view.drawImageRect(), QRectF(0, 100, 400, 200));

    struct Case {
        ImageZoomMode mode;
        bool turned;
        double zoom;
    } cases[] = {
        {ImageZoomMode::FitImage, true, 0.5},   {ImageZoomMode::FitWidth, false, 0.5},
        {ImageZoomMode::FitWidth, true, 1.0},   {ImageZoomMode::FitHeight, false, 1.0},
        {ImageZoomMode::FitHeight, true, 0.5},  {ImageZoomMode::ActualSize, true, 1.0},
    };
    for (const Case& c : cases) {
        ImageInformation* current = list_->currentImageInformation();
        current->setImageAngel(c.turned ? 90 : 0);
        view.setZoomMode(c.mode);
        EXPECT_FLOAT_EQ(view.zoomValue(), c.zoom) << int(c.mode) << (c.turned ? " turned" : "");
    }
    // Turned in fit image: width and height exchanged.
    list_->currentImageInformation()->setImageAngel(0);
    view.setZoomMode(ImageZoomMode::FitImage);
    list_->rotateImageLeft(list_->currentImageInformation());
    EXPECT_EQ(view.drawImageSizeWithAngel(), QSizeF(200, 400));
}

TEST_F(PictureView, ZoomingOutStopsAtATenthAndANewPictureDropsTheUserZoom)
{
    addPictures(2);
    CachedImageView& view = startView({96, 64});
    std::vector<double> told;
    view.addZoomValueObserver([&](double value) { told.push_back(value); });
    EXPECT_DOUBLE_EQ(view.zoomValue(), 1.0);
    for (int i = 0; i < 20; ++i)
        view.zoomOut();
    EXPECT_FLOAT_EQ(view.zoomValue(), 0.1f);
    EXPECT_EQ(view.zoomMode(), ImageZoomMode::UserZoom);
    ASSERT_FALSE(told.empty());
    EXPECT_FLOAT_EQ(float(told.back()), 0.1f);
    view.zoomIn();
    EXPECT_FLOAT_EQ(view.zoomValue(), 0.2f);

    list_->nextImage();
    EXPECT_EQ(view.zoomMode(), ImageZoomMode::FitImage);
    EXPECT_FLOAT_EQ(view.zoomValue(), 1.0f);
    EXPECT_FLOAT_EQ(float(told.back()), 1.0f);
}

TEST_F(PictureView, WithoutPicturesNothingIsDrawnAndEveryItemIsOff)
{
    openCatalogue();
    CachedImageView& view = startView();
    EXPECT_EQ(view.drawImageSizeWithAngel(), QSizeF());
    EXPECT_TRUE(view.drawImageRect().isEmpty());
    for (const char* action : {"zoomIn:", "zoomOut:", "zoomFitImage:", "zoomActualSize:", "zoomZoomLock:"}) {
        ActionItem item("item", action);
        EXPECT_FALSE(view.validateUserInterfaceItem(item)) << action;
    }
    const QImage drawn = view.grab().toImage();
    EXPECT_EQ(drawn.pixelColor(200, 150), QColor(Qt::black));

    // With a picture they are on, and the mode's menu item is checked.
    addPictures(1);
    list_->reloadImagesFromDataSource();
    QMenu menu;
    auto* fit = new ActionItem("Fit", "zoomFitImage:", &menu);
    auto* actual = new ActionItem("Actual", "zoomActualSize:", &menu);
    EXPECT_TRUE(view.validateUserInterfaceItem(*fit));
    EXPECT_TRUE(view.validateUserInterfaceItem(*actual));
    EXPECT_TRUE(fit->isChecked());
    EXPECT_FALSE(actual->isChecked());
}

TEST_F(PictureView, DrawsTheFittedPictureTurnedOnBlack)
{
    addPicture("quadrants.jpg", quadrantPicture(400, 200));
    CachedImageView& view = startView({200, 200});
    QImage drawn = grab();
    // Fitted: 200 x 100 in the middle, black above and below.
    EXPECT_EQ(colourAt(drawn, 100, 20), 'k');
    EXPECT_EQ(colourAt(drawn, 50, 75), 'r');
    EXPECT_EQ(colourAt(drawn, 150, 75), 'g');
    EXPECT_EQ(colourAt(drawn, 50, 125), 'b');
    EXPECT_EQ(colourAt(drawn, 150, 125), 'y');
    EXPECT_EQ(colourAt(drawn, 100, 180), 'k');
    // The decoded bitmap has the size shown, not the picture's.
    {
        const Ref<CachedImage> image = list_->currentImage();
        std::lock_guard<std::mutex> lock(image->mutex());
        EXPECT_EQ(image->bitmap().size(), QSize(200, 100));
    }

    // A left turn: red goes to the bottom left, green to the top left.
    list_->rotateImageLeft(list_->currentImageInformation());
    drawn = grab();
    EXPECT_EQ(view.drawImageRect(), QRectF(50, 0, 100, 200));
    EXPECT_EQ(colourAt(drawn, 20, 100), 'k');
    EXPECT_EQ(colourAt(drawn, 75, 50), 'g');
    EXPECT_EQ(colourAt(drawn, 125, 50), 'y');
    EXPECT_EQ(colourAt(drawn, 75, 150), 'r');
    EXPECT_EQ(colourAt(drawn, 125, 150), 'b');
}

// At zoom 2 a transparent picture shows 10-pixel squares, not 20.
TEST_F(PictureView, CheckerboardBehindTransparencyAtZoomTwo)
{
    QImage clear(100, 100, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    addPicture("clear.png", clear, true, "public.png");
    CachedImageView& view = startView({200, 200});
    view.setZoomValue(2.0);
    const QImage drawn = grab();
    EXPECT_EQ(view.drawImageRect(), QRectF(0, 0, 200, 200));
    auto grey = [&](int x, int y) { return qRed(drawn.pixel(x, y)); };
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 6; ++column) {
            const int x = column * 10 + 5, y = row * 10 + 5;
            EXPECT_EQ(grey(x, y), (row + column) % 2 == 0 ? 153 : 230) << x << "," << y;
        }
}

} // namespace
} // namespace vistel::test
