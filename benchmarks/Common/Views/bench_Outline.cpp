// Outline views: paging through 10,000 rows with a repaint per page, against a QTreeView over a
// QStandardItemModel holding the same texts, and expanding all of 10,100 rows (100 groups of 100).
// Targets: a page repaints in 16 ms at most and within 1.5 times the plain tree; expand-all in
// 100 ms at most.
#include <benchmark/benchmark.h>

#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>

#include "GuiBenchmarkSupport.h"
#include "Platform/Gui/OutlineView.h"

using namespace vistel;

namespace {

struct Row : Object {
    explicit Row(std::string text) : text(std::move(text)) { }
    std::string text;
    std::vector<Ref<Row>> children;
};

// A tree of named rows: `groups` groups of `children` each, or flat rows when children is 0.
struct Rows : OutlineViewDataSource {
    std::vector<Ref<Row>> top;
    Rows(int groups, int children)
    {
        for (int g = 0; g < groups; ++g) {
            auto row = makeRef<Row>("Folder " + std::to_string(g));
            for (int c = 0; c < children; ++c)
                row->children.push_back(makeRef<Row>("Picture " + std::to_string(g) + "-" + std::to_string(c) + ".jpg"));
            top.push_back(row);
        }
    }
    const std::vector<Ref<Row>>& of(Object* item) { return item ? static_cast<Row*>(item)->children : top; }
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override { return static_cast<long>(of(item).size()); }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object* item) override { return Ref<Object>(of(item)[static_cast<std::size_t>(index)]); }
    std::optional<bool> isItemExpandable(OutlineView&, Object* item) override { return !of(item).empty(); }
    std::optional<Value> objectValue(OutlineView&, TableColumn*, Object* item) override { return Value(static_cast<Row*>(item)->text); }
};

std::unique_ptr<TableColumn> nameColumn()
{
    auto column = std::make_unique<TableColumn>("name");
    column->setWidth(300);
    return column;
}

// One page down (back to the top at the end) and a repaint.
void pageAndRepaint(QAbstractItemView& view)
{
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->value() + bar->pageStep() > bar->maximum() ? 0 : bar->value() + bar->pageStep());
    view.viewport()->repaint();
}

void BM_PageOutline10000Rows(benchmark::State& state)
{
    Rows rows(10000, 0);
    OutlineView view;
    view.addTableColumn(nameColumn());
    view.setDataSource(&rows);
    view.resize(400, 600);
    bench::waitUntilExposed(view);
    for (auto _ : state)
        pageAndRepaint(view);
}
BENCHMARK(BM_PageOutline10000Rows)->Unit(benchmark::kMicrosecond);

void BM_PageStandardTree10000Rows(benchmark::State& state)
{
    QStandardItemModel model;
    for (int i = 0; i < 10000; ++i)
        model.appendRow(new QStandardItem(QString("Folder %1").arg(i)));
    QTreeView view;
    view.setModel(&model);
    view.setColumnWidth(0, 300);
    view.resize(400, 600);
    bench::waitUntilExposed(view);
    for (auto _ : state)
        pageAndRepaint(view);
}
BENCHMARK(BM_PageStandardTree10000Rows)->Unit(benchmark::kMicrosecond);

void BM_ExpandAll10100Rows(benchmark::State& state)
{
    Rows rows(100, 100);
    OutlineView view;
    view.addTableColumn(nameColumn());
    view.setDataSource(&rows);
    view.resize(400, 600);
    bench::waitUntilExposed(view);
    for (auto _ : state) {
        state.PauseTiming();
        view.reloadData();
        view.viewport()->repaint();
        state.ResumeTiming();
        // Expanded, laid out by the tree and painted.
        view.expandItem(nullptr);
        view.viewport()->repaint();
        benchmark::DoNotOptimize(view.numberOfRows());
    }
}
BENCHMARK(BM_ExpandAll10100Rows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return vistel::bench::runGuiBenchmarks(argc, argv);
}
