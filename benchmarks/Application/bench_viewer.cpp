// The picture viewer's decoding over the 24-megapixel JPEGs of make-jpeg-corpus, with its
// references in the same run:
//   BM_FirstDecode/WxH            the picture list started on a picture until its bitmap for a
//                                 W x H screen is there
//   BM_DjpegScale1_4/WxH          `djpeg -scale 1/4` of the same file (one process, output
//                                 thrown away)
//   BM_StepToDecodedNeighbour/WxH a step to the next picture, decoded ahead, until its frame is
//                                 drawn (the bitmap drawn into a W x H screen); counters: decodes
//                                 of the shown picture before the frame and after it
//   BM_DrawDecodedBitmap/WxH      the same step, not timed, then only its bitmap drawn
//                                 (QPainter::drawImage at its size): a bitmap fresh from its
//                                 decode, as the step's frame finds it
//   BM_ResidentMemory             resident memory after 20 and after 200 steps
// Drawing through the real picture view (CachedImageView rendered into a W x H screen):
//   BM_ViewStepFrame/WxH          a step to the decoded neighbour and the view's whole frame
//                                 (black around the picture included); its reference is
//                                 BM_StepFrameReference (that bitmap drawn at the size shown)
//   BM_ViewZoom2/turned           a repaint of 1920 x 1080 at zoom 2, turned a quarter or not
//   BM_ViewPanStep/turned         one pan step (the screen moved 64 pixels across the zoomed
//                                 picture, every pixel drawn again)
//   BM_TransformReference/...     drawing that bitmap with the same transform (and, for a pan
//                                 step, the same offset): the references of the last two
// The picture view is a stand-in that fits pictures into the screen and decodes neighbours
// as the full-screen view does; drawing through the real view can be added beside these.
// Usage: bench_viewer [CORPUS] [Google Benchmark flags]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include "Application/Viewer/CachedImage.h"
#include "Application/Viewer/CachedImageView.h"
#include "Application/Viewer/ImageDecoder.h"
#include "BenchmarkSupport.h"
#include "BrowseTestSupport.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Gui/PlatformApplication.h"
#include "ViewerFakes.h"

namespace {

using namespace vistel;
using Clock = std::chrono::steady_clock;

std::string gCorpus;
Ref<MediaDatabase> gDatabase;
ItemList gItems;
QSizeF gPictureSize;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Decodes started per file, counted on the workers.
std::mutex gDecodesLock;
std::map<std::string, int> gDecodes;
int decodesOf(const std::string& path)
{
    std::lock_guard guard(gDecodesLock);
    return gDecodes[path];
}

void spinUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    double pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The picture list over the whole corpus on a screen of `screen` pixels.
struct Viewer {
    Ref<test::FakeSelection> selection = makeRef<test::FakeSelection>();
    test::FakeBrowser browser;
    Ref<CachedPicturesViewController> list;
    QImage screen;

    Viewer(QSize screenSize, unsigned current)
        : screen(screenSize, QImage::Format_RGB32)
    {
        screen.fill(Qt::black); // its pages are there before any frame is timed
        selection->items = gItems;
        selection->selected = IndexSet(current);
        browser.box = QSizeF(screenSize);
        list = CachedPicturesViewController::initWithDataSource(selection);
        browser.list = list.get();
    }
    ~Viewer()
    {
        list->stop();
        spinUntil([&] { return list->currentUpdateTreadsCount() == 0; });
    }
    void start() { list->startWithBrowser(&browser); }
    // Every decode finished and none left to start.
    void settle()
    {
        for (;;) {
            spinUntil([&] { return list->currentUpdateTreadsCount() == 0; });
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (list->currentUpdateTreadsCount() == 0)
                return;
        }
    }
    // One frame, as the view draws it: the current picture at its fitted size.
    bool drawFrame()
    {
        ImageInformation* current = list->currentImageInformation();
        if (!current)
            return false;
        const Ref<CachedImage> image =
            list->currentImageWithSize(browser.fitted(current->imageSize()), &browser, current->imageAngel());
        if (!image)
            return false;
        drawBitmap(*image);
        return true;
    }
    // The bitmap alone, centred.
    void drawBitmap(CachedImage& image)
    {
        std::lock_guard guard(image.mutex());
        QPainter painter(&screen);
        painter.drawImage(QPointF((screen.width() - image.bitmap().width()) / 2,
                                  (screen.height() - image.bitmap().height()) / 2),
                          image.bitmap());
    }
};

QSize screenOf(const benchmark::State& state) { return QSize(int(state.range(0)), int(state.range(1))); }

// The real picture view over the corpus on a screen of `size` pixels, drawn into `screen`.
struct ViewOnScreen {
    Ref<test::FakeSelection> selection = makeRef<test::FakeSelection>();
    Ref<CachedPicturesViewController> list;
    std::unique_ptr<CachedImageView> view;
    QImage screen;

    ViewOnScreen(QSize size, unsigned current)
        : screen(size, QImage::Format_RGB32)
    {
        screen.fill(Qt::black);
        selection->items = gItems;
        selection->selected = IndexSet(current);
        list = CachedPicturesViewController::initWithDataSource(selection);
        view = std::make_unique<CachedImageView>(list.get());
        view->resize(size);
        list->startWithBrowser(view.get());
    }
    ~ViewOnScreen()
    {
        view.reset(); // stops the list
        spinUntil([&] { return list->currentUpdateTreadsCount() == 0; });
    }
    // Draws `region` of the view (all of it when empty) into the screen.
    void frame(const QRegion& region = {})
    {
        if (region.isEmpty())
            view->render(&screen);
        else
            view->render(&screen, QPoint(), region);
    }
    // Frames until the current bitmap has the size drawn and no decode runs.
    void settle(const QRegion& region = {})
    {
        for (int round = 0; round < 20; ++round) {
            frame(region);
            spinUntil([&] { return list->currentUpdateTreadsCount() == 0; });
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (list->currentUpdateTreadsCount() == 0 && round > 0)
                return;
        }
    }
    // Draws the current bitmap as the view does at its zoom and turn, moved by `offset`.
    void drawReference(QPointF offset)
    {
        const Ref<CachedImage> image = list->currentImage();
        std::lock_guard guard(image->mutex());
        const QRectF canvas = view->drawImageRect();
        QPainter painter(&screen);
        painter.translate(canvas.center() - offset);
        painter.scale(view->zoomValue(), view->zoomValue());
        painter.rotate(-double(list->currentImageInformation()->imageAngel()));
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QSizeF size = image->size();
        painter.drawImage(QRectF(-size.width() / 2, -size.height() / 2, size.width(), size.height()), image->bitmap());
    }
};

void BM_ViewStepFrame(benchmark::State& state)
{
    ViewOnScreen viewer(screenOf(state), 0);
    viewer.settle();
    for (auto _ : state) {
        viewer.list->nextImage();
        const bool ready = viewer.list->currentImage() != nullptr;
        const Clock::time_point start = Clock::now();
        viewer.frame();
        state.SetIterationTime(secondsSince(start));
        if (!ready) {
            state.SkipWithError("the neighbour was not decoded ahead");
            return;
        }
        viewer.settle();
    }
}

void BM_StepFrameReference(benchmark::State& state)
{
    ViewOnScreen viewer(screenOf(state), 0);
    viewer.settle();
    for (auto _ : state) {
        viewer.list->nextImage();
        if (!viewer.list->currentImage()) {
            state.SkipWithError("the neighbour was not decoded ahead");
            return;
        }
        const Clock::time_point start = Clock::now();
        viewer.drawReference(QPointF());
        state.SetIterationTime(secondsSince(start));
        viewer.settle();
    }
}

// A view at zoom 2 (turned by range(0) quarters), as large as the zoomed picture, whose
// screen-sized window starts at the picture's centre.
struct ZoomedView : ViewOnScreen {
    QRect window;
    explicit ZoomedView(bool turned)
        : ViewOnScreen(QSize(1920, 1080), 0)
    {
        if (turned)
            list->rotateImageLeft(list->currentImageInformation());
        view->setZoomValue(2.0);
        view->resize(view->drawImageSizeWithAngel().toSize());
        window = QRect(QPoint(view->width() / 2, view->height() / 2), screen.size());
        settle(window);
    }
};

void BM_ViewZoom2(benchmark::State& state)
{
    ZoomedView viewer(state.range(0) != 0);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        viewer.frame(viewer.window);
        state.SetIterationTime(secondsSince(start));
    }
}

void BM_ViewPanStep(benchmark::State& state)
{
    ZoomedView viewer(state.range(0) != 0);
    int step = 0;
    for (auto _ : state) {
        const QRect moved = viewer.window.translated(64 * (++step % 8), 0);
        const Clock::time_point start = Clock::now();
        viewer.frame(moved);
        state.SetIterationTime(secondsSince(start));
    }
}

// range(0): turned; range(1): a pan step's offset.
void BM_TransformReference(benchmark::State& state)
{
    ZoomedView viewer(state.range(0) != 0);
    int step = 0;
    for (auto _ : state) {
        const QPointF offset = viewer.window.topLeft() + QPointF(state.range(1) ? 64 * (++step % 8) : 0, 0);
        const Clock::time_point start = Clock::now();
        viewer.drawReference(offset);
        state.SetIterationTime(secondsSince(start));
    }
}

void BM_FirstDecode(benchmark::State& state)
{
    unsigned next = 0;
    for (auto _ : state) {
        Viewer viewer(screenOf(state), next++ % gItems.size());
        const Clock::time_point start = Clock::now();
        viewer.start();
        spinUntil([&] {
            const Ref<CachedImage> image = viewer.list->currentImage();
            return image != nullptr;
        });
        state.SetIterationTime(secondsSince(start));
    }
}

void BM_DjpegScale1_4(benchmark::State& state)
{
    unsigned next = 0;
    for (auto _ : state) {
        const std::string path = gItems[next++ % gItems.size()]->fullPath();
        const Clock::time_point start = Clock::now();
        if (bench::run({"djpeg", "-scale", "1/4", path}) != 0) {
            state.SkipWithError("djpeg did not run");
            return;
        }
        state.SetIterationTime(secondsSince(start));
    }
}

void BM_StepToDecodedNeighbour(benchmark::State& state)
{
    Viewer viewer(screenOf(state), 0);
    viewer.start();
    viewer.settle();
    double before = 0, after = 0, steps = 0;
    for (auto _ : state) {
        const std::string shown = viewer.list->imageInformationAtIndex(viewer.list->nextImageIndex())->fullPath();
        const int decodes = decodesOf(shown);
        const Clock::time_point start = Clock::now();
        viewer.list->nextImage();
        // A decode of the shown picture the step started, which the frame would wait for.
        const bool decodingBefore = viewer.list->currentImageInformation()->state() == ImageInformation::Decoding;
        const bool drawn = viewer.drawFrame();
        state.SetIterationTime(secondsSince(start));
        if (!drawn) {
            state.SkipWithError("the neighbour was not decoded ahead");
            return;
        }
        before += decodingBefore;
        viewer.settle();
        after += decodesOf(shown) - decodes - decodingBefore;
        ++steps;
    }
    state.counters["decodesBeforeFrame"] = before / steps;
    state.counters["decodesAfterFrame"] = after / steps;
}

// A bitmap drawn over and over stays in the processor's caches, which a step's frame never
// finds: each one draws the neighbour the step has just made current, as the step does.
void BM_DrawDecodedBitmap(benchmark::State& state)
{
    Viewer viewer(screenOf(state), 0);
    viewer.start();
    viewer.settle();
    for (auto _ : state) {
        viewer.list->nextImage();
        const Ref<CachedImage> image = viewer.list->currentImage();
        if (!image) {
            state.SkipWithError("the neighbour was not decoded ahead");
            return;
        }
        const Clock::time_point start = Clock::now();
        viewer.drawBitmap(*image);
        state.SetIterationTime(secondsSince(start));
        viewer.settle();
    }
}

void BM_ResidentMemory(benchmark::State& state)
{
    for (auto _ : state) {
        Viewer viewer(QSize(1920, 1080), 0);
        viewer.start();
        double after20 = 0;
        for (int step = 1; step <= 200; ++step) {
            viewer.list->nextImage();
            viewer.drawFrame();
            viewer.settle();
            if (step == 20)
                after20 = residentMiB();
        }
        const double after200 = residentMiB();
        state.counters["residentMiBAfter20"] = after20;
        state.counters["residentMiBAfter200"] = after200;
        state.counters["ratio"] = after200 / after20;
    }
}

void registerBenchmarks()
{
    // Five repetitions each; the minimum beside Google Benchmark's median.
    const auto timed = [](benchmark::internal::Benchmark* benchmark, int iterations) {
        benchmark->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(iterations)->Repetitions(5)
            ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    };
    const std::pair<int, int> screens[] = {{1280, 800}, {1920, 1080}};
    for (const auto& [width, height] : screens) {
        timed(benchmark::RegisterBenchmark("BM_FirstDecode", BM_FirstDecode)->Args({width, height}), 4);
        timed(benchmark::RegisterBenchmark("BM_DjpegScale1_4", BM_DjpegScale1_4)->Args({width, height}), 4);
        timed(benchmark::RegisterBenchmark("BM_StepToDecodedNeighbour", BM_StepToDecodedNeighbour)->Args({width, height}), 8);
        timed(benchmark::RegisterBenchmark("BM_DrawDecodedBitmap", BM_DrawDecodedBitmap)->Args({width, height}), 8);
        timed(benchmark::RegisterBenchmark("BM_ViewStepFrame", BM_ViewStepFrame)->Args({width, height}), 8);
        timed(benchmark::RegisterBenchmark("BM_StepFrameReference", BM_StepFrameReference)->Args({width, height}), 8);
    }
    for (int turned : {0, 1}) {
        timed(benchmark::RegisterBenchmark("BM_ViewZoom2", BM_ViewZoom2)->Arg(turned), 8);
        timed(benchmark::RegisterBenchmark("BM_ViewPanStep", BM_ViewPanStep)->Arg(turned), 8);
        timed(benchmark::RegisterBenchmark("BM_TransformReference", BM_TransformReference)->Args({turned, 0}), 8);
        timed(benchmark::RegisterBenchmark("BM_TransformReference", BM_TransformReference)->Args({turned, 1}), 8);
    }
    benchmark::RegisterBenchmark("BM_ResidentMemory", BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    bench::ScratchCatalogue scratch;
    ::setenv("XDG_CONFIG_HOME", (scratch.folder() + "/config").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PlatformApplication application(argc, argv);
    ImageDecoder::setDecodeHookForTesting([](const std::string& path) {
        std::lock_guard guard(gDecodesLock);
        ++gDecodes[path];
    });
    registerBenchmarks();
    const int status = bench::runCorpusBenchmarks(argc, argv, VISTEL_MAKE_JPEG_CORPUS, gCorpus, [] {
        const std::vector<std::string> files = bench::picturesIn(gCorpus + "/plain");
        if (files.size() < 3) {
            std::cerr << "no corpus of pictures in " << gCorpus << "/plain\n";
            return 1;
        }
        gDatabase = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(gDatabase.get());
        const Ref<RIReperesentation> header = RIReperesentation::imageRepWithData(RIReperesentation::dataAtPath(files[0]), true);
        gPictureSize = QSizeF(double(header->pixelsWide()), double(header->pixelsHigh()));
        for (const std::string& file : files) {
            Ref<FileSystemItemMO> item = test::catalogueItemAt(*gDatabase, file, true);
            test::setItemDimensions(*item, gPictureSize);
            gItems.push_back(item);
        }
        return 0;
    });
    gItems.clear();
    MediaDatabase::setDefaultMediaDatabase(nullptr);
    gDatabase = nullptr;
    return status;
}
