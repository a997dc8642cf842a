// The demo of the docking frame: a browsing window built from the UI framework alone.
//   demo_docking_frame [WIDTHxHEIGHT] [--grab FILE] [--quit-after MS] [--second-tab] [--drag PIXELS]
// Under a real X server (xvfb-run) it is looked at with a screenshot of the screen; --grab
// writes the window's own rendering instead.
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DemoFrame.h"
#include "Platform/Gui/PlatformApplication.h"

int main(int argc, char** argv)
{
    vistel::PlatformApplication application(argc, argv);
    QSize size(1000, 700);
    const char* grab = nullptr;
    int quitAfter = 0;
    bool secondTab = false;
    int drag = 0;
    for (int i = 1; i < argc; ++i) {
        int w = 0;
        int h = 0;
        if (std::sscanf(argv[i], "%dx%d", &w, &h) == 2)
            size = QSize(w, h);
        else if (!std::strcmp(argv[i], "--grab") && i + 1 < argc)
            grab = argv[++i];
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc)
            quitAfter = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--second-tab"))
            secondTab = true;
        else if (!std::strcmp(argv[i], "--drag") && i + 1 < argc)
            drag = std::atoi(argv[++i]);
    }
    vistel::demo::DemoFrame demo(size);
    demo.window.move(0, 0);
    demo.window.show();
    demo.places->list()->selectRowIndexes({3}, false);
    if (grab)
        demo.places->list()->stopSpinning();
    if (secondTab)
        demo.infoDock->dockArea()->setCurrentIndex(1);
    if (drag) {
        // The left bar, dragged as the mouse would.
        const QPoint bar = demo.frame->visibleBars().front().rect.center();
        demo.frame->mouseDown(bar);
        demo.frame->mouseDragged(bar + QPoint(drag, 0));
        demo.frame->mouseUp();
    }
    if (grab || quitAfter > 0) {
        QTimer::singleShot(quitAfter > 0 ? quitAfter : 500, [&] {
            if (grab)
                demo.window.grab().save(grab);
            application.quit();
        });
    }
    return application.exec();
}
