// The picture list: stepping with wrap-around, the decode window and its release, rotations,
// entries of unknown size, one decode at a time ahead, rebuilds, and files that cannot be read.
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Log.h"
#include "ViewerTestSupport.h"

namespace vistel::test {
namespace {

constexpr unsigned None = unsigned(NSNotFound);

class PictureList : public ViewerTest { };

// Holds back the decodes of one file until released (or cancelled).
class DecodeGate {
public:
    explicit DecodeGate(std::string path) : path_(std::move(path))
    {
        ImageDecoder::setDecodeHookForTesting([this](const std::string& path) {
            if (path != path_)
                return;
            ++arrived_;
            while (!open_ && !NSThreadExt::currentThreadExt()->isCancelled())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
    }
    ~DecodeGate() { ImageDecoder::setDecodeHookForTesting({}); }
    void open() { open_ = true; }
    int arrived() const { return arrived_; }

private:
    std::string path_;
    std::atomic<bool> open_ {false};
    std::atomic<int> arrived_ {0};
};

TEST_F(PictureList, StepsWrapAroundAndKeepOnlyTheWindowDecoded)
{
    struct Case {
        int count;
        unsigned start;
        const char* steps; // n next, p previous, f first, l last
        unsigned current;
        IndexSet window;
    };
    const Case cases[] = {
        {1, 0, "n", 0, {0}},
        {1, 0, "p", 0, {0}},
        {2, 0, "n", 1, {0, 1}},
        {2, 1, "n", 0, {0, 1}},
        {2, 0, "p", 1, {0, 1}},
        {5, 4, "n", 0, {4, 0, 1}},
        {5, 0, "p", 4, {3, 4, 0}},
        {5, 1, "nn", 3, {2, 3, 4}},
        {5, 1, "l", 4, {3, 4, 0}},
        {5, 3, "f", 0, {4, 0, 1}},
    };
    const std::uint64_t mainThreadDecodes = RIReperesentation::decodeCountOnCurrentThread();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " pictures from " + std::to_string(c.start) + " by " + c.steps);
        selection_ = makeRef<FakeSelection>();
        addPictures(c.count);
        selection_->selected = IndexSet(c.start);
        CachedPicturesViewController& list = start();
        ASSERT_EQ(list.currentImageIndex(), c.start);
        ASSERT_TRUE(settle());
        for (const char* step = c.steps; *step; ++step) {
            switch (*step) {
            case 'n': list.nextImage(); break;
            case 'p': list.previousImage(); break;
            case 'f': list.firstImage(); break;
            case 'l': list.lastImage(); break;
            }
            ASSERT_TRUE(settle());
        }
        EXPECT_EQ(list.currentImageIndex(), c.current);
        EXPECT_EQ(list.cachedObjectsIndexes(c.current), c.window);
        for (unsigned i = 0; i < unsigned(c.count); ++i) {
            if (c.window.containsIndex(i))
                EXPECT_EQ(state(i), ImageInformation::Decoded) << i;
            else
                EXPECT_EQ(list.imageInformationAtIndex(i)->imageDecoder(), nullptr) << i << " kept its decoder";
        }
        EXPECT_TRUE(list.currentImage());
        list.stop();
        waitForFinishes();
        list_ = nullptr;
    }
    EXPECT_EQ(RIReperesentation::decodeCountOnCurrentThread(), mainThreadDecodes) << "the main thread decoded";
}

TEST_F(PictureList, AnEmptySetKeepsTheCurrentPictureAndAnEmptyListHasNone)
{
    addPictures(3);
    selection_->selected = IndexSet(1);
    CachedPicturesViewController& list = start();
    list.setSelectedImagesIndexes(IndexSet());
    EXPECT_EQ(list.currentImageIndex(), 1u);
    list.setSelectedImagesIndexes(IndexSet {2, 0});
    EXPECT_EQ(list.currentImageIndex(), 0u) << "the set's first index";
    EXPECT_EQ(list.oldSelectedIndex(), 1u);

    list.stop();
    selection_->items.clear();
    list.startWithBrowser(&browser_);
    EXPECT_EQ(list.imagesCount(), 0u);
    EXPECT_EQ(list.currentImageIndex(), None);
    EXPECT_EQ(list.nextImageIndex(), None);
    EXPECT_EQ(list.previousImageIndex(), None);
    list.lastImage();
    list.nextImage();
    EXPECT_EQ(list.currentImageIndex(), None);
    EXPECT_EQ(list.currentImageWithSize(QSizeF(64, 64), &browser_, 0), nullptr);
    EXPECT_TRUE(waitForFinishes()) << "the finishes of the first list still count";
}

TEST_F(PictureList, RotationsTurnTheViewOnly)
{
    struct Case {
        const char* turns; // l left, r right
        unsigned angle;
    };
    const Case cases[] = {{"l", 90}, {"llll", 0}, {"r", 270}, {"rr", 180}, {"lr", 0}};
    addPictures(2);
    CachedPicturesViewController& list = start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.turns);
        ImageInformation* current = list.currentImageInformation();
        current->setImageAngel(0);
        const int updates = browser_.contentUpdates;
        for (const char* turn = c.turns; *turn; ++turn)
            *turn == 'l' ? list.rotateImageLeft(current) : list.rotateImageRight(current);
        EXPECT_EQ(current->imageAngel(), c.angle);
        EXPECT_EQ(browser_.contentUpdates - updates, int(std::strlen(c.turns))) << "the view redraws the current picture";
        EXPECT_EQ(current->imageSizeWithAngel(), c.angle % 180 ? QSizeF(64, 96) : QSizeF(96, 64));
    }
    const int updates = browser_.contentUpdates;
    list.rotateImageLeft(list.imageInformationAtIndex(1));
    list.rotateImageRight(nullptr);
    EXPECT_EQ(list.imageInformationAtIndex(1)->imageAngel(), 90u);
    EXPECT_EQ(browser_.contentUpdates, updates) << "a neighbour turns without a redraw";
}

TEST_F(PictureList, ANeighbourOfUnknownSizeIsDecodedOnlyOnceCurrent)
{
    addPicture("0.jpg", testPicture(96, 64));
    addPicture("1.jpg", testPicture(80, 60), false);
    addPicture("2.jpg", testPicture(96, 64));
    CachedPicturesViewController& list = start();
    ASSERT_TRUE(settle());
    EXPECT_EQ(list.imageInformationAtIndex(1)->imageDecoder(), nullptr) << "decoded ahead";
    EXPECT_EQ(state(2), ImageInformation::Decoded) << "the previous one is";

    list.nextImage();
    ASSERT_TRUE(settle());
    ImageInformation* current = list.currentImageInformation();
    ASSERT_EQ(current->state(), ImageInformation::Decoded);
    EXPECT_EQ(current->imageSize(), QSizeF(80, 60)) << "from the file's header";
    std::lock_guard guard(current->image()->mutex());
    EXPECT_EQ(current->image()->bitmap().size(), QSize(64, 48)) << "fitted in the view";
}

TEST_F(PictureList, NothingStartsWhileTheNextPictureDecodes)
{
    addPictures(4);
    DecodeGate gate(pictures_.path() + "/1.jpg");
    CachedPicturesViewController& list = start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.arrived() == 1; }, 10000));
    EXPECT_EQ(state(0), ImageInformation::Decoded);
    EXPECT_EQ(state(1), ImageInformation::Decoding);
    // The shown picture is decoded again at another size; its finish looks for more work.
    const Ref<CachedImage> shown = list.currentImage();
    ASSERT_TRUE(shown);
    list.currentImageWithSize(QSizeF(48, 32), &browser_, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        std::lock_guard guard(shown->mutex());
        return shown->bitmap().width() == 48 && list.currentUpdateTreadsCount() == 1;
    }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(list.imageInformationAtIndex(3)->imageDecoder(), nullptr) << "the previous picture started meanwhile";
    EXPECT_EQ(list.currentUpdateTreadsCount(), 1u);

    gate.open();
    ASSERT_TRUE(settle());
    EXPECT_EQ(state(3), ImageInformation::Decoded);
    EXPECT_EQ(list.imageInformationAtIndex(2)->imageDecoder(), nullptr) << "outside the window";
}

TEST_F(PictureList, ARebuildKeepsTheWindowsBitmaps)
{
    addPictures(5);
    selection_->selected = IndexSet(2);
    CachedPicturesViewController& list = start();
    ASSERT_TRUE(settle());
    std::vector<Ref<CachedImage>> before;
    std::vector<qint64> keys;
    for (unsigned i : {1u, 2u, 3u}) {
        before.push_back(list.imageInformationAtIndex(i)->image());
        ASSERT_TRUE(before.back());
        std::lock_guard guard(before.back()->mutex());
        keys.push_back(before.back()->bitmap().cacheKey());
    }
    const ImageInformation* current = list.currentImageInformation();

    // A new picture at the front of the folder: every index moves by one.
    Ref<FileSystemItemMO> added = addPicture("new.jpg", testPicture(96, 64));
    selection_->items.pop_back();
    selection_->items.insert(selection_->items.begin(), added);
    selection_->sendListChanged();
    EXPECT_EQ(list.imagesCount(), 6u);
    EXPECT_EQ(list.currentImageInformation(), current);
    EXPECT_EQ(list.currentImageIndex(), 3u);
    ASSERT_TRUE(settle());
    for (unsigned i = 0; i < 3; ++i) {
        const Ref<CachedImage> after = list.imageInformationAtIndex(i + 2)->image();
        ASSERT_EQ(after, before[i]) << i;
        std::lock_guard guard(after->mutex());
        EXPECT_EQ(after->bitmap().cacheKey(), keys[i]) << "decoded again";
    }
}

TEST_F(PictureList, AFileThatCannotBeReadShowsNothingAndSteppingGoesOn)
{
    struct Case {
        const char* what;
        bool vanished;
    };
    for (const Case c : {Case {"vanished", true}, Case {"damaged", false}}) {
        SCOPED_TRACE(c.what);
        selection_ = makeRef<FakeSelection>();
        addPicture("a.jpg", testPicture(96, 64));
        const std::string bad = pictures_.path() + "/" + c.what + ".jpg";
        addPicture(std::string(c.what) + ".jpg", testPicture(96, 64));
        addPicture("c.jpg", testPicture(96, 64));
        if (c.vanished)
            std::filesystem::remove(bad);
        else
            std::ofstream(bad, std::ios::trunc) << "not a picture at all";
        selection_->selected = IndexSet(1);
        ScopedLogCapture log;
        CachedPicturesViewController& list = start();
        ASSERT_TRUE(settle());
        // The view keeps drawing: nothing is tried again.
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(list.currentImageWithSize(QSizeF(64, 43), &browser_, 0), nullptr);
            ASSERT_TRUE(settle());
        }
        ImageInformation* current = list.currentImageInformation();
        EXPECT_EQ(current->image(), nullptr);
        EXPECT_TRUE(current->decodingFailed());
        EXPECT_EQ(state(0), ImageInformation::Decoded) << "the neighbours' decodes started";
        EXPECT_EQ(state(2), ImageInformation::Decoded);
        int causes = 0;
        for (const std::string& line : log.lines())
            causes += line.find(bad) != std::string::npos;
        EXPECT_EQ(causes, 1) << "the cause is logged once";
        list.nextImage();
        EXPECT_EQ(list.currentImageIndex(), 2u);
        EXPECT_TRUE(list.currentImage());
        list.stop();
        waitForFinishes();
        list_ = nullptr;
    }
}

TEST_F(PictureList, StopCancelsAndJoinsTheDecodesAndLaterFinishesOnlyCount)
{
    addPictures(2);
    DecodeGate gate(pictures_.path() + "/0.jpg");
    CachedPicturesViewController& list = start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.arrived() == 1; }, 10000));
    ASSERT_EQ(list.currentUpdateTreadsCount(), 1u);
    browser_.updatedIndexes.clear();

    list.stop();
    EXPECT_EQ(ImageDecoder::decodesRunning(), 0) << "a decode runs after stop";
    EXPECT_EQ(list.imagesCount(), 0u);
    ASSERT_TRUE(waitForFinishes());
    EXPECT_TRUE(browser_.updatedIndexes.empty()) << "a finish after stop reached the view";

    gate.open();
    list.startWithBrowser(&browser_);
    ASSERT_TRUE(settle());
    EXPECT_EQ(state(0), ImageInformation::Decoded) << "the count came back";
}

TEST_F(PictureList, TheCurrentPictureIsDecodedAgainOnlyWhenItsSizeChangesByMoreThanTwo)
{
    addPicture("0.jpg", testPicture(400, 200));
    browser_.box = QSizeF(200, 200);
    CachedPicturesViewController& list = start();
    ASSERT_TRUE(settle());
    const Ref<CachedImage> image = list.currentImage();
    ASSERT_TRUE(image);
    auto bitmapSize = [&] {
        std::lock_guard guard(image->mutex());
        return image->bitmap().size();
    };
    ASSERT_EQ(bitmapSize(), QSize(200, 100));

    EXPECT_EQ(list.currentImageWithSize(QSizeF(202, 101), &browser_, 0), image);
    EXPECT_EQ(list.currentUpdateTreadsCount(), 0u) << "2 pixels off";
    FakeBrowser other;
    list.currentImageWithSize(QSizeF(300, 150), &other, 0);
    EXPECT_EQ(list.currentUpdateTreadsCount(), 0u) << "another view draws what there is";

    EXPECT_EQ(list.currentImageWithSize(QSizeF(300, 150), &browser_, 90), image) << "the old bitmap meanwhile";
    ASSERT_TRUE(settle());
    EXPECT_EQ(bitmapSize(), QSize(300, 150));

    browser_.fast = true;
    list.currentImageWithSize(QSizeF(300, 150), &browser_, 0);
    ASSERT_TRUE(settle());
    EXPECT_EQ(bitmapSize(), QSize(100, 50)) << "a quarter while the view draws fast";
}

} // namespace
} // namespace vistel::test
