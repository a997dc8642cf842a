#pragma once
// What may be typed into the number fields of the frame set-up dialog: a diagonal in inches
// (whole or half inches, 1 to 99.5) and a side of a resolution in pixels (whole numbers; a
// fraction or a number past 9999 is replaced by the whole number clamped to 16…9999).
//
// Both read the digits of Unicode and "." only. An empty text is always accepted. As a line
// edit's validator, a refused key is undone and a replacement takes the text's place.

#include <optional>
#include <string>

#include <QValidator>

namespace vistel {

class FrameDiagonalSizeFormatter : public QValidator {
public:
    using QValidator::QValidator;
    static bool isPartialStringValid(const QString& text);
    State validate(QString& input, int& position) const override;
};

class FrameResolutionFormatter : public QValidator {
public:
    using QValidator::QValidator;
    // Whether the text is accepted; a refused text may come with the text to show instead.
    static bool isPartialStringValid(const QString& text, std::optional<QString>* replacement = nullptr);
    State validate(QString& input, int& position) const override;
};

// The number a field's text starts with (0 for none).
double frameNumberValue(const QString& text);

} // namespace vistel
