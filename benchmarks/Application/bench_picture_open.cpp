// Opening a camera-sized picture (4000 x 3000 JPEG) as a double click in the grid does it (the
// type check, then the document opened and shown), side by side in one run with the reference:
//   BM_OpenPictureWindow       the double click until the window is on screen, painted once
//   BM_OpenPictureDrawn        the double click until the window has painted the picture
//   BM_DjpegScale1_4PlusPaint  `djpeg -scale 1/4` of the same file (one process, output thrown
//                              away) plus one paint of the open window with its picture
// The file is read once before the run, so every figure reads it from the page cache. Offscreen
// unless DISPLAY is set (the screen then bounds the window and so the decoded size).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>

#include <QCoreApplication>
#include <QImage>
#include <QPointer>
#include <QWindow>

#include "Application/ApplicationDocController.h"
#include "Application/RIDocument.h"
#include "BenchmarkSupport.h"
#include "Platform/FolderListing.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Gui/Window.h"

namespace {

using namespace vistel;
using Clock = std::chrono::steady_clock;

std::string gFolder;
std::string gPicture;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A 4000 x 3000 JPEG at quality 92: smooth colour gradients under noise, about the bytes a camera
// writes for such a picture.
std::string makePicture(const std::string& folder)
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 12);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const auto channel = [&](double base) { return std::clamp(int(base + noise(random)), 0, 255); };
            row[x] = qRgb(channel(255.0 * x / image.width()), channel(255.0 * y / image.height()),
                          channel(128 + 100 * std::sin((x + y) / 300.0)));
        }
    }
    const std::string path = folder + "/IMG_0001.JPG";
    image.save(QString::fromStdString(path), "JPEG", 92);
    return path;
}

// Counts the view's paints, and those with the picture.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(NSImageViewWithGreyBack* view)
        : view_(view)
    {
        view->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (!view_->image().isNull())
                ++picturePaints;
        }
        return false;
    }
    int paints = 0;
    int picturePaints = 0;

private:
    NSImageViewWithGreyBack* view_;
};

void closeAndWait(Document* document)
{
    QPointer<Window> window = document->firstWindow();
    document->close();
    while (window || !ApplicationDocController::shared().documents().empty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct Opening {
    double typeMs = 0;
    double openMs = 0;
    double windowMs = 0;
    double drawnMs = 0;
    RIDocument* document = nullptr;
};

// What the grid's double click does, timed until the window shows and until it shows the picture.
Opening openAsTheGridDoes()
{
    Opening opening;
    ApplicationDocController& controller = ApplicationDocController::shared();
    const Clock::time_point start = Clock::now();
    if (controller.typeForContentsOfFile(gPicture).empty())
        return opening;
    opening.typeMs = millisecondsSince(start);
    ErrorRecord error;
    opening.document = dynamic_cast<RIDocument*>(controller.openDocumentWithContentsOfFile(gPicture, true, &error));
    opening.openMs = millisecondsSince(start);
    if (!opening.document || !opening.document->documentView())
        return opening;
    PaintCounter counter(opening.document->documentView());
    QWindow* window = opening.document->firstWindow()->windowHandle();
    while (!counter.picturePaints) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // sleeps as the program does
        if (!opening.windowMs && counter.paints && window && window->isExposed())
            opening.windowMs = millisecondsSince(start);
    }
    opening.drawnMs = millisecondsSince(start);
    return opening;
}

void BM_OpenPictureWindow(benchmark::State& state)
{
    for (auto _ : state) {
        const Opening opening = openAsTheGridDoes();
        if (!opening.document) {
            state.SkipWithError("the picture did not open");
            return;
        }
        state.SetIterationTime(opening.windowMs / 1000);
        state.counters["decoded_side"] = std::max(opening.document->image().width(), opening.document->image().height());
        closeAndWait(opening.document);
    }
}
BENCHMARK(BM_OpenPictureWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_OpenPictureDrawn(benchmark::State& state)
{
    double type = 0, open = 0, window = 0;
    for (auto _ : state) {
        const Opening opening = openAsTheGridDoes();
        if (!opening.document) {
            state.SkipWithError("the picture did not open");
            return;
        }
        state.SetIterationTime(opening.drawnMs / 1000);
        type += opening.typeMs;
        open += opening.openMs;
        window += opening.windowMs;
        closeAndWait(opening.document);
    }
    // Where the time goes, on average: the type check (the file read, its header parsed), the
    // open call returning with the window made, the window on screen.
    state.counters["type_ms"] = benchmark::Counter(type, benchmark::Counter::kAvgIterations);
    state.counters["open_ms"] = benchmark::Counter(open, benchmark::Counter::kAvgIterations);
    state.counters["window_ms"] = benchmark::Counter(window, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_OpenPictureDrawn)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

void BM_DjpegScale1_4PlusPaint(benchmark::State& state)
{
    if (!bench::toolAvailable("djpeg")) {
        state.SkipWithError("djpeg is not installed (libjpeg-turbo-progs)");
        return;
    }
    const Opening opening = openAsTheGridDoes();
    if (!opening.document) {
        state.SkipWithError("the picture did not open");
        return;
    }
    NSImageViewWithGreyBack* view = opening.document->documentView();
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (bench::run({"djpeg", "-scale", "1/4", gPicture}) != 0) {
            state.SkipWithError("djpeg failed");
            break;
        }
        const double djpeg = millisecondsSince(start);
        start = Clock::now();
        view->repaint();
        const double paint = millisecondsSince(start);
        state.counters["paint_ms"] = paint;
        state.SetIterationTime((djpeg + paint) / 1000);
    }
    closeAndWait(opening.document);
}
BENCHMARK(BM_DjpegScale1_4PlusPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace

int main(int argc, char** argv)
{
    bench::ScratchCatalogue scratch; // its own preferences: no stored window frame
    ::setenv("XDG_CONFIG_HOME", (scratch.folder() + "/config").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PlatformApplication application(argc, argv);
    gFolder = scratch.folder();
    gPicture = makePicture(gFolder);
    std::string warm;
    readRegularFile(gPicture, warm, ApplicationDocController::MaximumPictureFileBytes);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
