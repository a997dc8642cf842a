#pragma once
// What the viewer tests share: a browsing selection made of catalogue items of test-made
// pictures, a picture view that records what the picture list tells it, and waiting for the
// decoders' finishes on the main loop.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>

#include <string>
#include <vector>

#include "Application/Viewer/CachedImage.h"
#include "Application/Viewer/CachedImageBrowserProtocol.h"
#include "Application/Viewer/CachedPicturesViewController.h"
#include "Application/Viewer/ImageDecoder.h"
#include "Application/Viewer/ImageInformation.h"
#include "Application/Viewer/ImageZoomParameter.h"
#include "BrowseTestSupport.h"
#include "ViewerFakes.h"
#include "CatalogueTestSupport.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/Imaging/PlatformImage.h"

namespace vistel::test {

// A picture with something to decode: a gradient, and with `alpha` a transparent left half.
inline QImage testPicture(int width, int height, bool alpha = false)
{
    QImage picture(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgba(x * 255 / width, y * 255 / height, 128, alpha && x < width / 2 ? 0 : 255));
    return picture;
}

// Writes `picture` as `type` ("public.jpeg", "public.png") at `dpi`.
inline void writePicture(const std::string& path, const QImage& picture, const char* type = "public.jpeg", double dpi = 72)
{
    const Ref<ImageDestination> destination = ImageDestination::createWithPath(path, type);
    ASSERT_TRUE(destination);
    ASSERT_TRUE(destination->addImage(PlatformImage::fromQImage(picture),
                                      Value::dictionary({{kImageDestinationLossyCompressionQuality, 0.9},
                                                         {kImagePropertyDPIWidth, dpi},
                                                         {kImagePropertyDPIHeight, dpi}})));
    ASSERT_TRUE(destination->finalize()) << destination->errorText();
}

// A catalogue with a folder of test-made pictures, a fake selection over them and a picture
// list started with a fake view.
class ViewerTest : public CatalogueTest {
protected:
    void TearDown() override
    {
        if (list_) {
            list_->stop();
            waitForFinishes();
        }
        list_ = nullptr;
        ImageDecoder::setDecodeHookForTesting({});
        CatalogueTest::TearDown();
    }

    // The item of a picture file in the test folder; its catalogue size set unless `knownSize`
    // is false (not read yet).
    Ref<FileSystemItemMO> addPicture(const std::string& name, const QImage& picture, bool knownSize = true,
                                     const char* type = "public.jpeg")
    {
        const std::string path = pictures_.path() + "/" + name;
        writePicture(path, picture, type);
        return addItem(path, knownSize ? QSizeF(picture.size()) : QSizeF());
    }
    Ref<FileSystemItemMO> addItem(const std::string& path, QSizeF size)
    {
        if (!database_)
            openCatalogue();
        Ref<FileSystemItemMO> item = catalogueItemAt(*database_, path, true);
        if (!size.isEmpty())
            setItemDimensions(*item, size);
        selection_->items.push_back(item);
        return item;
    }
    // `count` pictures of 96 x 64 named 0.jpg, 1.jpg, ...
    void addPictures(int count)
    {
        for (int i = 0; i < count; ++i)
            addPicture(std::to_string(i) + ".jpg", testPicture(96, 64));
    }
    CachedPicturesViewController& start()
    {
        list_ = CachedPicturesViewController::initWithDataSource(selection_);
        browser_.list = list_.get();
        list_->startWithBrowser(&browser_);
        return *list_;
    }
    // Spins the main loop until no decode is counted any more.
    bool waitForFinishes(int milliseconds = 10000)
    {
        return QTest::qWaitFor([&] { return !list_ || list_->currentUpdateTreadsCount() == 0; }, milliseconds);
    }
    // Spins until the list has settled: every finish arrived and nothing new started.
    bool settle()
    {
        for (int i = 0; i < 50; ++i) {
            if (!waitForFinishes())
                return false;
            QTest::qWait(5);
            if (list_->currentUpdateTreadsCount() == 0)
                return true;
        }
        return false;
    }
    int state(unsigned index) const { return list_->imageInformationAtIndex(index)->state(); }

    TemporaryFolder pictures_ {"vistel-viewer"};
    Ref<FakeSelection> selection_ = makeRef<FakeSelection>();
    FakeBrowser browser_;
    Ref<CachedPicturesViewController> list_;
};

} // namespace vistel::test
