// Views bound to layouts: a resize of a host with a three-level tree of 50 bound widgets (the
// whole tree laid out and every widget placed), and one step of a bar drag in the demo frame
// with the window repainted. Targets: 2 ms and 8 ms.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QWindow>
#include <QPushButton>

#include <cstdlib>

#include "../../../tests/Common/Views/DemoFrame.h"
#include "GuiBenchmarkSupport.h"

using namespace vistel;

namespace {

void BM_ResizeAndRelayout50BoundWidgets(benchmark::State& state)
{
    QWidget host;
    auto outer = ZovBoxLayout::createVertical();
    for (int row = 0; row < 5; ++row) {
        auto line = ZovBoxLayout::createHorizontal();
        for (int column = 0; column < 2; ++column) {
            auto cell = ZovBoxLayout::createVertical();
            for (int i = 0; i < 5; ++i) {
                QWidget* widget = i % 2 ? static_cast<QWidget*>(new QLineEdit) : new QPushButton("Button");
                cell->addItem(ZovViewLayoutItem::createLayoutItemForView(widget));
            }
            line->addItem(std::unique_ptr<ZovLayoutItem>(std::move(cell)));
        }
        outer->addItem(std::unique_ptr<ZovLayoutItem>(std::move(line)));
    }
    ZovViewLayout::attachLayout(std::unique_ptr<ZovLayout>(std::move(outer)), &host);
    host.resize(800, 600);
    bench::waitUntilExposed(host);
    int width = 800;
    for (auto _ : state) {
        width = width == 800 ? 900 : 800;
        View::setFrame(&host, {0, 0, static_cast<double>(width), 600});
    }
}
BENCHMARK(BM_ResizeAndRelayout50BoundWidgets)->Unit(benchmark::kMicrosecond);

void BM_BarDragStepWithRepaint(benchmark::State& state)
{
    demo::DemoFrame demo(QSize(1000, 700));
    bench::waitUntilExposed(demo.window);
    const ZovMainWindow::Bar bar = demo.frame->visibleBars().front();
    const QPoint start = bar.rect.center();
    demo.frame->mouseDown(start);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 20;
        demo.frame->mouseDragged(start + QPoint(step < 10 ? step * 3 : (20 - step) * 3, 0));
        demo.window.repaint();
    }
    demo.frame->mouseUp();
}
BENCHMARK(BM_BarDragStepWithRepaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return vistel::bench::runGuiBenchmarks(argc, argv);
}
