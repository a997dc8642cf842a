// Select all in a folder of 20,000 pictures, then switch the items panel to the list and back to
// thumbnails, as Ctrl+A, Ctrl+2 and Ctrl+1 do. Each step runs to the end of its painting; the
// longest step is the longest time the window cannot answer ("stall_ms", goal: under 100 ms), the
// first switch, which makes the list view, included.
// The reference: the same 20,000 rows all selected and shown in a plain QTreeView over a
// QStandardItemModel of four columns. Goal: the switch to the list within twice the reference.
#include <benchmark/benchmark.h>

#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>
#include <chrono>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "BenchmarkSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "GuiBenchmarkSupport.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Platform/UserDefaults.h"

using namespace vistel;

namespace {

constexpr int kItems = 20000;

// Answers nothing: the benchmark only selects and switches.
struct IdleHandler : BrowsingControlUserActionsProtocol {
    void browsingControlPerformClick(QObject*, const Items&, QObject*) override { }
    void browsingControlPerformDoubleClick(QObject*, const Items&, QObject*) override { }
    QMenu* browsingControlPerformControlClick(QObject*, const Items&, QObject*) override { return nullptr; }
    bool processItems(const Items&, Object*, const std::string&, const QMimeData*, QObject*) override { return false; }
    bool validateUserAction(const std::string&, Object*, const Items*, const QMimeData*, QObject*) override
    {
        return true;
    }
    bool respondsToUserActionSelector(const std::string&) const override { return false; }
    std::uint32_t dragOperationForPath(const std::string&, const std::vector<std::string>&) const override
    {
        return 0;
    }
};

// Runs a step and everything it queued (painting included); its time in milliseconds.
template <typename Step>
double timedStep(Step&& step, QWidget& window)
{
    const auto start = std::chrono::steady_clock::now();
    step();
    QCoreApplication::processEvents();
    window.repaint();
    QCoreApplication::processEvents();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A scratch catalogue with one folder of 20,000 pictures (thumbnails held decoded), a
// browsing selection showing it and an items panel in thumbnails mode; made once.
struct Fixture {
    bench::ScratchCatalogue scratch;
    Ref<MediaDatabase> database = MediaDatabase::create();
    Ref<BrowsingSelection> selection;
    IdleHandler handler;
    std::unique_ptr<ItemsPanel> panel;

    Fixture()
    {
        UserDefaults::standard().setPath(""); // no preferences file
        MediaDatabase::setDefaultMediaDatabase(database.get());
        Ref<FileSystemItemMO> root = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        root->setValid(true);
        Ref<FileSystemItemMO> folder = root->createChildWithName("pictures", MediaDatabase::EntityFolder, true);
        folder->setValid(true);
        folder->setRefreshStatus(0);
        root->updateObjectInCache(folder.get());
        std::vector<Ref<MultiImage>> pictures;
        for (int i = 0; i < 16; ++i) {
            QImage image(120, 90, QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor::fromHsv(i * 20, 180, 200));
            pictures.push_back(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(image)));
        }
        for (int i = 0; i < kItems; ++i) {
            Ref<FileSystemItemMO> item = folder->createChildWithName("IMG_" + std::to_string(100000 + i) + ".JPG",
                                                                     MediaDatabase::EntityFile, true);
            item->setValid(true);
            item->setDecodable(true);
            item->setRefreshStatus(0);
            item->setThumbnailImage(pictures[std::size_t(i) % pictures.size()]);
            folder->updateObjectInCache(item.get());
        }
        database->managedObjectContext()->save();
        selection = BrowsingSelection::create();
        panel.reset(ItemsPanel::itemsPanel());
        panel->resize(1000, 700);
        panel->setSelectionAndHandler(selection.get(), &handler);
        panel->setMode(ItemsPanelThumbnailsMode);
        bench::waitUntilExposed(*panel);
        selection->setSelectedFolders({folder});
        QCoreApplication::processEvents();
    }
};

Fixture& fixture()
{
    static Fixture* shared = new Fixture;
    return *shared;
}

// Ctrl+A, then the list, then thumbnails again; the selection is emptied between rounds.
void BM_SelectAllThenSwitchModes(benchmark::State& state)
{
    Fixture& f = fixture();
    if (f.selection->foldersObjectsCount() != unsigned(kItems)) {
        state.SkipWithError("the folder does not list 20,000 pictures");
        return;
    }
    // The first switch to the list also makes the list view; it is counted apart
    // ("first_to_list_ms") and the later switches make "to_list_ms".
    double longest = 0, selectAll = 0, firstToList = -1, toList = 0, toThumbnails = 0;
    for (auto _ : state) {
        const double a = timedStep([&] { f.selection->setSelectedObjectsIndexes(IndexSet::withRange(0, kItems)); }, *f.panel);
        const double b = timedStep([&] { f.panel->setMode(ItemsPanelDetailsMode); }, *f.panel);
        const double c = timedStep([&] { f.panel->setMode(ItemsPanelThumbnailsMode); }, *f.panel);
        selectAll += a;
        if (firstToList < 0)
            firstToList = b;
        else
            toList += b;
        toThumbnails += c;
        longest = std::max({longest, a, b, c});
        state.PauseTiming();
        f.selection->removeSelection();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    const double rounds = double(state.iterations());
    state.counters["select_all_ms"] = selectAll / rounds;
    state.counters["first_to_list_ms"] = firstToList;
    state.counters["to_list_ms"] = rounds > 1 ? toList / (rounds - 1) : firstToList;
    state.counters["to_thumbnails_ms"] = toThumbnails / rounds;
    state.counters["stall_ms"] = longest;
}
BENCHMARK(BM_SelectAllThenSwitchModes)->Unit(benchmark::kMillisecond)->Iterations(5);

// The reference: a plain tree view of the same rows shown with all of them selected.
void BM_PlainTreeViewShowsAllSelected(benchmark::State& state)
{
    QStandardItemModel model(kItems, 4);
    for (int row = 0; row < kItems; ++row) {
        model.setItem(row, 0, new QStandardItem(QString("IMG_%1.JPG").arg(100000 + row)));
        model.setItem(row, 1, new QStandardItem("2 MB"));
        model.setItem(row, 2, new QStandardItem("JPEG image"));
        model.setItem(row, 3, new QStandardItem("10 Dec 2026, 20:00:00"));
    }
    QTreeView view;
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setModel(&model);
    view.resize(1000, 700);
    bench::waitUntilExposed(view);
    const QItemSelection all(model.index(0, 0), model.index(kItems - 1, 3));
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        view.hide();
        view.selectionModel()->clearSelection();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        const double step = timedStep(
            [&] {
                view.show();
                view.selectionModel()->select(all, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                view.scrollTo(model.index(kItems - 1, 0));
            },
            view);
        longest = std::max(longest, step);
    }
    state.counters["stall_ms"] = longest;
}
BENCHMARK(BM_PlainTreeViewShowsAllSelected)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuiBenchmarks(argc, argv);
}
