// The background decoder: the bitmap's size and pixel layout, sizes in pixels whatever the
// resolution, no work for a size already decoded, and the cap on bitmap size.
#include "ViewerTestSupport.h"

namespace vistel::test {
namespace {

class PictureDecoder : public ViewerTest { };

TEST_F(PictureDecoder, DecodesAtTheWantedSizeNeverLargerThanThePicture)
{
    struct Case {
        const char* what;
        QImage picture;
        const char* type;
        double dpi;
        QSizeF box;
        QSize bitmap;
        QImage::Format format;
    };
    const Case cases[] = {
        {"reduced JPEG", testPicture(96, 64), "public.jpeg", 72, {48, 48}, {48, 32}, QImage::Format_RGB32},
        {"wider than the picture", testPicture(96, 64), "public.jpeg", 72, {192, 192}, {96, 64}, QImage::Format_RGB32},
        {"300-dpi JPEG", testPicture(120, 80), "public.jpeg", 300, {1000, 1000}, {120, 80}, QImage::Format_RGB32},
        {"PNG with alpha", testPicture(40, 20, true), "public.png", 72, {40, 40}, {40, 20},
         QImage::Format_ARGB32_Premultiplied},
    };
    browser_.enlarge = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        selection_ = makeRef<FakeSelection>();
        const std::string path = pictures_.path() + "/" + c.what;
        writePicture(path, c.picture, c.type, c.dpi);
        addItem(path, QSizeF()); // the size comes from the header
        browser_.box = c.box;
        CachedPicturesViewController& list = start();
        ASSERT_TRUE(settle());
        const Ref<CachedImage> image = list.currentImage();
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), QSizeF(c.picture.size())) << "pixels, not points";
        std::lock_guard guard(image->mutex());
        EXPECT_EQ(image->bitmap().size(), c.bitmap);
        EXPECT_EQ(image->bitmap().format(), c.format);
        if (c.format == QImage::Format_ARGB32_Premultiplied) {
            EXPECT_EQ(qAlpha(image->bitmap().pixel(2, 10)), 0) << "the transparent half";
            EXPECT_EQ(qAlpha(image->bitmap().pixel(37, 10)), 255);
        }
        list.stop();
        waitForFinishes();
        list_ = nullptr;
    }
}

TEST_F(PictureDecoder, ASizeAlreadyDecodedIsNoWorkButStillReported)
{
    addPictures(1);
    CachedPicturesViewController& list = start();
    ASSERT_TRUE(settle());
    ImageInformation* current = list.currentImageInformation();
    const Ref<CachedImage> image = current->image();
    ASSERT_TRUE(image);
    qint64 key = 0;
    QSize size;
    {
        std::lock_guard guard(image->mutex());
        key = image->bitmap().cacheKey();
        size = image->bitmap().size();
    }
    browser_.updatedIndexes.clear();
    ASSERT_TRUE(list.startDecode(current, ImageZoomParameter::ImageZoomParameterWithSize(QSizeF(size)).get()));
    ASSERT_TRUE(settle());
    EXPECT_EQ(browser_.updatedIndexes, std::vector<unsigned> {0});
    EXPECT_EQ(current->image(), image);
    std::lock_guard guard(image->mutex());
    EXPECT_EQ(image->bitmap().cacheKey(), key) << "decoded again";
}

TEST(PictureDecoderSizes, BitmapsStayWithinThePictureAndTheCap)
{
    struct Case {
        QSizeF wanted;
        QSizeF picture;
        QSize bitmap;
    };
    const Case cases[] = {
        {{48, 32}, {96, 64}, {48, 32}},
        {{47.6, 31.7}, {96, 64}, {48, 32}},
        {{200, 100}, {100, 50}, {100, 50}},
        {{0, 0}, {100, 50}, {}},
        {{100, 50}, {0, 0}, {}},
        // 2^28 pixels wanted: scaled to 2^26, the shape kept.
        {{32768, 8192}, {40000, 10000}, {16384, 4096}},
    };
    for (const Case& c : cases) {
        const QSize bitmap = ImageDecoder::bitmapSizeFor(c.wanted, c.picture);
        EXPECT_EQ(bitmap, c.bitmap) << c.wanted.width() << " x " << c.wanted.height();
        EXPECT_LE(double(bitmap.width()) * bitmap.height(), ImageDecoder::MaximumBitmapPixels);
    }
}

} // namespace
} // namespace vistel::test
