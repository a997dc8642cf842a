#include "Frames/FrameDialogRun.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

#include <optional>

#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Qt/QtRunLoopAdapter.h"
#include "Platform/RunLoop.h"

namespace vistel {

int runFrameDialog(QDialog& dialog, const std::function<void()>& scripted)
{
    dialog.setResult(0);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    int code = 0;
    {
        std::optional<QtRunLoopAdapter::ModeScope> modal;
        if (QtRunLoopAdapter* adapter = PlatformApplication::runLoopAdapter())
            modal.emplace(*adapter, NSModalPanelRunLoopMode);
        if (scripted) {
            scripted();
            code = dialog.result();
        } else {
            code = dialog.exec();
        }
    }
    dialog.hide();
    return code;
}

} // namespace vistel
