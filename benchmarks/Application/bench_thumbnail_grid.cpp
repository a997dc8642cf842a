// The thumbnail grid: one paint of the cells on screen (10 columns × 6 rows = 60 cells) over
// 10,000 catalogue items in a real store whose thumbnails are held decoded, in the middle of
// the list and right after a jump to its end. Goal: 16 ms per paint at most.
#include <benchmark/benchmark.h>

#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "Application/BrowseMode/ThumbnailsView.h"
#include "BenchmarkSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "GuiBenchmarkSupport.h"
#include "Platform/Imaging/MultiImage.h"
#include "ThumbnailsViewTestSupport.h"

using namespace vistel;

namespace {

constexpr int kItems = 10000;

// The scratch store, its 10,000 items and a grid showing 60 of them; made once.
struct Fixture {
    bench::ScratchCatalogue scratch;
    Ref<MediaDatabase> database = MediaDatabase::create();
    test::ListDataSource source;
    QScrollArea area;
    ThumbnailsView* grid = nullptr;

    Fixture()
    {
        MediaDatabase::setDefaultMediaDatabase(database.get());
        Ref<FileSystemItemMO> root = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        Ref<FileSystemItemMO> folder = root->createChildWithName("pictures", MediaDatabase::EntityFolder, true);
        // 64 different pictures, as thumbnails of 120 × 90 held decoded.
        std::vector<Ref<MultiImage>> pictures;
        for (int i = 0; i < 64; ++i) {
            QImage image(120, 90, QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor::fromHsv(i * 5, 180, 200));
            QPainter(&image).fillRect(10, 10, 50, 40, QColor::fromHsv((i * 5 + 120) % 360, 200, 120));
            pictures.push_back(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(image)));
        }
        for (int i = 0; i < kItems; ++i) {
            Ref<FileSystemItemMO> item = folder->createChildWithName("IMG_" + std::to_string(10000 + i) + ".JPG",
                                                                     MediaDatabase::EntityFile, true);
            item->setValid(true);
            item->setRefreshStatus(0);
            item->setThumbnailImage(pictures[std::size_t(i) % pictures.size()]);
            if (i % 7 == 0)
                item->setDatabaseRating(Value("4"));
            source.items.push_back(item);
        }
        database->managedObjectContext()->save();
        source.selection = IndexSet::withRange(kItems / 2, 3);
        grid = test::gridInScrollArea(area, source, 10, 6);
        bench::waitUntilExposed(area);
        grid->updateLayoutAndFrame();
    }
    void scrollTo(int value)
    {
        area.verticalScrollBar()->setValue(value);
        QCoreApplication::processEvents();
    }
};

Fixture& fixture()
{
    static Fixture* shared = new Fixture;
    return *shared;
}

void reportCells(benchmark::State& state, Fixture& f)
{
    state.counters["cells"] = double(f.grid->lastPaint().drawnItems.count());
    state.counters["columns"] = double(f.grid->columns());
}

void BM_PaintVisibleCellsMidList(benchmark::State& state)
{
    Fixture& f = fixture();
    f.scrollTo(f.area.verticalScrollBar()->maximum() / 2);
    for (auto _ : state)
        f.grid->repaint();
    reportCells(state, f);
}
BENCHMARK(BM_PaintVisibleCellsMidList)->Unit(benchmark::kMillisecond);

void BM_PaintAfterJumpToEnd(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        f.scrollTo(0);
        f.area.verticalScrollBar()->setValue(f.area.verticalScrollBar()->maximum());
        state.ResumeTiming();
        f.grid->repaint();
    }
    reportCells(state, f);
}
BENCHMARK(BM_PaintAfterJumpToEnd)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return vistel::bench::runGuiBenchmarks(argc, argv);
}
