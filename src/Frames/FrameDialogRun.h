#pragma once
// How the frame dialogs run: in front, centred on the screen, modally with the main loop in
// the modal-panel mode; a scripted run (tests) calls `scripted` with the dialog shown instead
// of a modal loop. Answers the code the dialog ended with (QDialog::done), hidden.

#include <functional>

class QDialog;

namespace vistel {

int runFrameDialog(QDialog& dialog, const std::function<void()>& scripted);

} // namespace vistel
