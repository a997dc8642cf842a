#pragma once
// What the widget benchmarks share: a main with the program's application object (offscreen
// unless a display is set), and a wait until a window is exposed (repainting does something only
// then).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>

#include <cstdlib>

#include "Platform/Gui/PlatformApplication.h"

namespace vistel::bench {

inline void waitUntilExposed(QWidget& window)
{
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

inline int runGuiBenchmarks(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    vistel::PlatformApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace vistel::bench
