#pragma once
// FilteredInputFormatter: a text formatter that restricts what may be typed into a field.
//
// Set on any line edit (QLineEdit::setValidator). A partial text is valid when every character
// is in the filter set (when one is set), its length in UTF-16 units is at most the maximum
// length (when not 0), its length in UTF-8 bytes is at most the maximum byte length (when not
// 0: file names are limited in bytes), and its integer value is at most the maximum value
// (when not 0). An edit
// that would make the text invalid is refused whole: a paste is never cut to fit. Made without
// a set and with both limits 0 it accepts everything.
//
// Thread rules: the thread of the widgets (main thread).

#include <optional>
#include <string>

#include <QValidator>

#include "Platform/Gui/CharacterSet.h"
#include "Platform/Value.h"

namespace vistel {

class FilteredInputFormatter : public QValidator {
public:
    explicit FilteredInputFormatter(QObject* parent = nullptr);
    // File names use a maximum length of 255.
    FilteredInputFormatter(std::optional<CharacterSet> charset, int maxLength, int maxIntValue,
                           QObject* parent = nullptr);

    void setFilterCharacterSet(std::optional<CharacterSet> charset) { filterCharSet_ = std::move(charset); }
    void setMaxTextLength(int length) { maxLength_ = length; }
    void setMaxIntegerValue(int value) { maxValue_ = value; }
    void setMaxByteLength(int bytes) { maxBytes_ = bytes; }

    bool isPartialStringValid(const QString& partialString) const;

    // The object when it is a string, else nullopt.
    static std::optional<std::string> stringForObjectValue(const Value& object);
    // Stores a copy of the string; always true.
    static bool getObjectValue(Value& object, const std::string& string);

    State validate(QString& input, int& position) const override;

    // The integer value of a text as the desktop reads one: leading white space, an optional
    // sign, then decimal digits up to the first other character; 0 when there are none;
    // clamped to the 32-bit range.
    static int intValue(const QString& text);
    // The checks shared with TextFieldWithFilteredInput.
    static bool charactersAllowed(const QString& text, const std::optional<CharacterSet>& charset);

private:
    std::optional<CharacterSet> filterCharSet_;
    int maxLength_ = 0;
    int maxValue_ = 0;
    int maxBytes_ = 0;
};

} // namespace vistel
