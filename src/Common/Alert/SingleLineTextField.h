#pragma once
// SingleLineTextField: a text field that edits on one line only. Text longer than the field
// scrolls sideways instead of wrapping, and line breaks that arrive in the text (typed, pasted,
// set by code) become spaces, so what the field holds is always one line. It is as high as one
// line and as wide as it is given. Used as the text-input alert's accessory.

#include <QLineEdit>

namespace vistel {

class SingleLineTextField : public QLineEdit {
public:
    explicit SingleLineTextField(QWidget* parent = nullptr);
    explicit SingleLineTextField(const QString& text, QWidget* parent = nullptr);

    // The text with every line break (CR, LF, NEL, U+2028, U+2029) turned into a space.
    static QString singleLine(QString text);
};

} // namespace vistel
