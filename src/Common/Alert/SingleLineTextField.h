#pragma once
// SingleLineTextField: a text field that edits on one line only; text longer than the field
// scrolls sideways instead of wrapping. Used as the text-input alert's accessory.

#include <QLineEdit>

namespace vistel {

class SingleLineTextField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
};

} // namespace vistel
