// The preview panel: a square area at the top, the thumbnail fitted and centred on the window
// background, and an item without a thumbnail clearing the picture.

#include <gtest/gtest.h>

#include <QTest>

#include "Application/BrowseMode/PreviewPanel.h"
#include "CatalogueTestSupport.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"

namespace vistel::test {
namespace {

class PreviewPanelTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        root_ = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        panel_.reset(PreviewPanel::previewPanel());
        panel_->resize(100, 300);
        panel_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel_.get()));
    }
    void TearDown() override
    {
        panel_.reset();
        root_ = nullptr;
        CatalogueTest::TearDown();
    }
    // A file item whose thumbnail is a red picture of that size.
    Ref<FileSystemItemMO> fileWithThumbnail(const char* name, QSize size)
    {
        Ref<FileSystemItemMO> item = root_->createChildWithName(name, MediaDatabase::EntityFile, true);
        QImage red(size, QImage::Format_ARGB32);
        red.fill(Qt::red);
        item->setThumbnailImage(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(red)));
        return item;
    }
    QImage shown() const { return panel_->previewView()->grab().toImage(); }

    Ref<FileSystemItemMO> root_;
    std::unique_ptr<PreviewPanel> panel_;
};

TEST_F(PreviewPanelTest, TheThumbnailIsFittedAndCentredInASquareOnTheWindowBackground)
{
    EXPECT_EQ(panel_->previewView()->geometry(), QRect(0, 0, 100, 100));
    const QColor background = panel_->palette().color(QPalette::Window);
    EXPECT_EQ(shown().pixelColor(50, 50), background);

    struct Case {
        QSize picture;
        QPoint inside;
        QPoint outside;
    } cases[] = {
        {QSize(40, 20), QPoint(50, 30), QPoint(50, 20)}, // wide: full width, 50 high from y 25
        {QSize(20, 40), QPoint(30, 50), QPoint(20, 50)}, // tall: full height, 50 wide from x 25
        {QSize(10, 10), QPoint(1, 1), QPoint(-1, -1)},   // square: the whole area
    };
    for (const Case& c : cases) {
        Ref<FileSystemItemMO> item = fileWithThumbnail("picture.jpg", c.picture);
        panel_->setInfoWithItem(item.get());
        EXPECT_EQ(panel_->image().size(), c.picture);
        const QImage image = shown();
        EXPECT_EQ(image.pixelColor(50, 50), QColor(Qt::red));
        EXPECT_EQ(image.pixelColor(c.inside), QColor(Qt::red)) << c.picture.width() << "x" << c.picture.height();
        if (c.outside.x() >= 0) {
            EXPECT_EQ(image.pixelColor(c.outside), background) << c.picture.width() << "x" << c.picture.height();
        }
    }

    // An item without a thumbnail clears the picture.
    Ref<FileSystemItemMO> folder = root_->createChildWithName("folder", MediaDatabase::EntityFolder, true);
    panel_->setInfoWithItem(folder.get());
    EXPECT_TRUE(panel_->image().isNull());
    EXPECT_EQ(shown().pixelColor(50, 50), background);
}

TEST_F(PreviewPanelTest, TheSquareFollowsThePanelsWidth)
{
    panel_->resize(160, 300);
    QTest::qWait(0);
    EXPECT_EQ(panel_->previewView()->geometry(), QRect(0, 0, 160, 160));
}

} // namespace
} // namespace vistel::test
