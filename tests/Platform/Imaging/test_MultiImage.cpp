#include <gtest/gtest.h>

#include <thread>

#include "Platform/Imaging/MultiImage.h"

using namespace vistel;

namespace {

Ref<PlatformImage> solid(std::size_t width, std::size_t height)
{
    return PlatformImage::create(width, height, 8, 24, width * 3, kImageAlphaNone, PlatformColorSpace::createDeviceRGB(),
        std::vector<std::uint8_t>(width * height * 3, 90));
}

} // namespace

TEST(MultiImage, BestRepresentationIsTheSmallestThatCoversTheSize)
{
    auto image = MultiImage::create();
    auto small = BitmapImageRep::create(solid(32, 32));
    auto medium = BitmapImageRep::create(solid(128, 96));
    auto large = BitmapImageRep::create(solid(512, 384));
    image->addRepresentation(large);
    image->addRepresentation(small);
    image->addRepresentation(medium);

    const std::pair<QSizeF, Ref<ImageRep>> cases[] = {
        {QSizeF(16, 16), small}, {QSizeF(32, 32), small}, {QSizeF(33, 20), medium}, {QSizeF(100, 96), medium},
        {QSizeF(128, 97), large}, {QSizeF(2000, 2000), large}, {QSizeF(0, 0), small},
    };
    for (const auto& [size, expected] : cases)
        EXPECT_EQ(image->bestRepresentationForSize(size), expected) << size.width() << "x" << size.height();

    EXPECT_FALSE(MultiImage::create()->bestRepresentationForSize(QSizeF(10, 10)));
    image->removeRepresentation(small);
    EXPECT_EQ(image->bestRepresentationForSize(QSizeF(16, 16)), medium);
}

TEST(MultiImage, SizeAndFlags)
{
    auto image = MultiImage::createWithPlatformImage(solid(40, 30));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSizeF(40, 30)); // from its representation until one is set
    image->setSize(QSizeF(20, 15));
    EXPECT_EQ(image->size(), QSizeF(20, 15));
    image->setFlipped(true);
    image->setCacheMode(MultiImage::CacheMode::Never);
    image->setDataRetained(true);
    image->setCacheDepthMatchesImageDepth(true);
    EXPECT_TRUE(image->isFlipped());
    EXPECT_EQ(image->cacheMode(), MultiImage::CacheMode::Never);
    EXPECT_TRUE(image->isDataRetained());
    EXPECT_FALSE(image->scalesWhenResized());
    EXPECT_TRUE(image->cacheDepthMatchesImageDepth());
    EXPECT_FALSE(MultiImage::createWithPlatformImage(nullptr));

    auto rep = image->representations().front();
    EXPECT_EQ(rep->pixelsWide(), 40u);
    EXPECT_EQ(rep->bitsPerSample(), 8);
    EXPECT_FALSE(rep->hasAlpha());
    EXPECT_EQ(rep->colorSpaceName(), kDeviceRGBColorSpace);
}

TEST(MultiImage, RepresentationsDescribeTheirColourSpace)
{
    auto cmyk = PlatformImage::create(1, 1, 8, 32, 4, kImageAlphaNone, PlatformColorSpace::createDeviceCMYK(), {0, 0, 0, 0});
    auto grey = PlatformImage::create(1, 1, 16, 16, 2, kImageAlphaNone, PlatformColorSpace::createDeviceGray(), {0, 0});
    auto tagged = PlatformImage::create(1, 1, 8, 32, 4, kImageAlphaPremultipliedLast, PlatformColorSpace::createSRGB(), {0, 0, 0, 0});
    EXPECT_EQ(BitmapImageRep::create(cmyk)->colorSpaceName(), kDeviceCMYKColorSpace);
    EXPECT_EQ(BitmapImageRep::create(grey)->colorSpaceName(), kDeviceWhiteColorSpace);
    EXPECT_EQ(BitmapImageRep::create(grey)->bitsPerSample(), 16);
    EXPECT_EQ(BitmapImageRep::create(tagged)->colorSpaceName(), kCustomColorSpace);
    EXPECT_TRUE(BitmapImageRep::create(tagged)->hasAlpha());
}

TEST(MultiImage, TIFFRepresentationUsesTheCompressionAskedFor)
{
    auto image = MultiImage::createWithPlatformImage(solid(64, 64));
    const auto plain = image->tiffRepresentation(1);
    const auto lzw = image->tiffRepresentation(5);
    ASSERT_GT(plain.size(), 64u * 64 * 3);
    ASSERT_FALSE(lzw.empty());
    EXPECT_LT(lzw.size(), plain.size() / 4); // a flat picture compresses well
    EXPECT_EQ(lzw[0], 'I');
    EXPECT_TRUE(MultiImage::create()->tiffRepresentation(5).empty());
}

TEST(MultiImage, ReadAndChangedFromSeveralThreads)
{
    auto image = MultiImage::create(QSizeF(100, 100));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([image, t] {
            for (int i = 0; i < 50; ++i) {
                image->addRepresentation(BitmapImageRep::create(solid(std::size_t(8 + t), 8)));
                auto best = image->bestRepresentationForSize(QSizeF(9, 8));
                EXPECT_TRUE(best);
                (void)image->representations();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(image->representations().size(), 200u);
}
