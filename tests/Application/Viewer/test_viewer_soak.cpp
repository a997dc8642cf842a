// A soak of the picture list and its decoders: random steps, turns, zooms, selections and
// stops over 20 pictures (12-megapixel JPEGs in a full-size run), drawing what the list hands
// out as a view would. At most two decodes run at once, none on the main thread, none after a
// stop. Run under scripts/tsan, it is also the data-race check of the decoders.
#include <filesystem>
#include <random>

#include "Imaging/RIReperesentation.h"
#include "ViewerTestSupport.h"

namespace vistel::test {
namespace {

class ViewerSoak : public ViewerTest { };

TEST_F(ViewerSoak, RandomUseKeepsTheDecodeRules)
{
    const int pictures = 20;
    const QSize size = scaled(QSize(320, 240), QSize(4000, 3000));
    const int operations = scaled(150, 600);
    const std::string first = pictures_.path() + "/0.jpg";
    writePicture(first, testPicture(size.width(), size.height()));
    for (int i = 0; i < pictures; ++i) {
        const std::string path = pictures_.path() + "/" + std::to_string(i) + ".jpg";
        if (i > 0)
            std::filesystem::copy_file(first, path);
        // Every fifth picture's size is not known to the catalogue yet.
        addItem(path, i % 5 == 4 ? QSizeF() : QSizeF(size));
    }
    const std::uint64_t mainThreadDecodes = RIReperesentation::decodeCountOnCurrentThread();
    ImageDecoder::resetMaxDecodesRunning();
    browser_.box = QSizeF(320, 200);
    CachedPicturesViewController& list = start();
    QImage screen(400, 300, QImage::Format_RGB32);
    std::mt19937 random(44);
    int stops = 0;
    for (int step = 0; step < operations; ++step) {
        switch (random() % 10) {
        case 0: case 1: case 2: list.nextImage(); break;
        case 3: list.previousImage(); break;
        case 4: list.rotateImageLeft(list.currentImageInformation()); break;
        case 5: list.rotateImageRight(list.currentImageInformation()); break;
        case 6: browser_.box = QSizeF(80 + random() % 400, 60 + random() % 300); break;
        case 7: list.setSelectedImageIndex(random() % (pictures + 1)); break;
        case 8: browser_.fast = !browser_.fast; break;
        case 9:
            list.stop();
            ++stops;
            EXPECT_EQ(ImageDecoder::decodesRunning(), 0) << "a decode runs after stop";
            list.startWithBrowser(&browser_);
            break;
        }
        // A draw, as the view makes it.
        if (ImageInformation* current = list.currentImageInformation()) {
            const QSizeF wanted = current->imageSize().isEmpty() ? QSizeF() : browser_.fitted(current->imageSize());
            if (const Ref<CachedImage> image = list.currentImageWithSize(wanted, &browser_, current->imageAngel())) {
                std::lock_guard guard(image->mutex());
                QPainter painter(&screen);
                painter.drawImage(QPointF(0, 0), image->bitmap());
            }
        }
        QTest::qWait(int(random() % 4));
    }
    ASSERT_TRUE(settle());
    list.stop();
    EXPECT_EQ(ImageDecoder::decodesRunning(), 0);
    EXPECT_GT(stops, 0);
    EXPECT_LE(ImageDecoder::maxDecodesRunning(), 2);
    RecordProperty("mostDecodesAtOnce", ImageDecoder::maxDecodesRunning());
    EXPECT_EQ(RIReperesentation::decodeCountOnCurrentThread(), mainThreadDecodes) << "the main thread decoded";
}

} // namespace
} // namespace vistel::test
