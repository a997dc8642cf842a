#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <QColor>
#include <QImage>

#include <unistd.h>

#include "Common/Strings/Gui/NSImageNamedImageExtended.h"

namespace vistel {
namespace {

namespace fs = std::filesystem;
namespace named = NSImageNamedImageExtended;

class NamedImages : public ::testing::Test {
protected:
    NamedImages()
    {
        std::string pattern = (fs::temp_directory_path() / "vistel-images-XXXXXX").string();
        resources = ::mkdtemp(pattern.data());
        fs::create_directory(resources + "/images");
        Bundle::setResourcePathOverride(resources);
    }
    ~NamedImages() override
    {
        Bundle::setResourcePathOverride({});
        fs::remove_all(resources);
    }
    void writeImage(const std::string& file, QColor colour, int side = 8)
    {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(QString::fromStdString(resources + "/images/" + file), "PNG"));
    }
    std::string resources;
};

TEST_F(NamedImages, LoadsFromTheFolderOnceAndKeepsTheImage)
{
    writeImage("Kept.png", Qt::red);
    const QImage first = named::imageNamed("Kept.png", "images");
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.pixelColor(0, 0), QColor(Qt::red));
    // Registered for the process: the file is no longer needed.
    fs::remove(resources + "/images/Kept.png");
    EXPECT_EQ(named::imageNamed("Kept.png", "images"), first);
}

TEST_F(NamedImages, IcnsAndTiffNamesFallBackToPngArtwork)
{
    writeImage("Padlock.png", Qt::blue);
    writeImage("Sheet.png", Qt::green);
    writeImage("Own.tiff", Qt::yellow); // a file of the name itself wins
    EXPECT_EQ(named::imageNamed("Padlock.icns", "images").pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(named::imageNamed("Sheet.TIFF", "images").pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(named::imageNamed("Own.tiff", "images").pixelColor(0, 0), QColor(Qt::yellow));
}

TEST_F(NamedImages, MissingOrBadFilesGiveNoImageAndRegisterNothing)
{
    EXPECT_TRUE(named::imageNamed("Absent.png", "images").isNull());
    EXPECT_TRUE(named::imageNamed("../images/Absent.png", "images").isNull());
    std::ofstream(resources + "/images/Broken.png") << "not a picture";
    EXPECT_TRUE(named::imageNamed("Broken.png", "images").isNull());
    // A later good file under that name is found: failures were not remembered.
    writeImage("Broken.png", Qt::black);
    EXPECT_FALSE(named::imageNamed("Broken.png", "images").isNull());
}

TEST_F(NamedImages, RegisteredNamesComeFirstAndSizedCopiesLeaveThemAlone)
{
    writeImage("Chosen.png", Qt::red, 32);
    QImage own(4, 4, QImage::Format_ARGB32);
    own.fill(Qt::cyan);
    named::setImageName("Chosen.png", own);
    EXPECT_EQ(named::imageNamed("Chosen.png", "images"), own);
    named::setImageName("Chosen.png", QImage());
    EXPECT_EQ(named::imageNamed("Chosen.png", "images").size(), QSize(32, 32));

    EXPECT_EQ(named::imageNamed("Chosen.png", "images", QSize(10, 10)).size(), QSize(10, 10));
    EXPECT_EQ(named::imageNamed("Chosen.png", "images").size(), QSize(32, 32));
}

TEST_F(NamedImages, ConcurrentFirstLookupsAnswerOneImage)
{
    writeImage("Raced.png", Qt::magenta);
    std::vector<QImage> seen(6);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = named::imageNamed("Raced.png", "images"); });
    for (auto& thread : threads)
        thread.join();
    for (const QImage& image : seen)
        EXPECT_EQ(image.cacheKey(), seen.front().cacheKey());
}

TEST(ShippedArtwork, EveryImageNameTheProgramUsesResolves)
{
    Bundle::setResourcePathOverride(VISTEL_SOURCE_DIR "/resources");
    const char* names[] = {
        "Add.icns", "Remove.icns", "QuickLook.icns", "GoLeft.icns", "GoRight.icns", "GoFirst.icns", "GoLast.icns",
        "ListView.icns", "IconView.icns", "Info.icns", "Slideshow.icns", "EnterFullScreen.icns", "LockLocked.icns",
        "NewPictureFrame.icns", "ConfigurePictureFrame.icns", "RemovePictureFrame.icns", "RotateLeft.icns",
        "RotateRight.icns", "frame-tree.icns", "TaggedOn.icns", "TaggedOff.icns", "ZoomIn.icns", "Category.tiff",
        "Categories.tiff", "SaveDocument.tiff", "TBZoomIn.png", "TBZoomOut.png", "TBBestFit.png", "Left_Arrow.png",
        "Right_Arrow.png", "tools.png", "splitter_dot.png", "eject-normal.PNG", "eject-normal-hovered.PNG",
        "eject-normal-mouse.PNG", "eject-selected.PNG", "eject-selected-hovered.PNG", "eject-selected-mouse.PNG",
    };
    for (const char* name : names) {
        const QImage image = named::imageNamed(name, "images");
        EXPECT_FALSE(image.isNull()) << name;
        if (std::string_view(name).starts_with("eject-")) {
            EXPECT_EQ(image.size(), QSize(17, 17)) << name;
        }
    }
    Bundle::setResourcePathOverride({});
}

} // namespace
} // namespace vistel
