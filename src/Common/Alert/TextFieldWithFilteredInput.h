#pragma once
// TextFieldWithFilteredInput: a line edit that checks each edit the user makes.
//
// An edit replaces a range of the text with a replacement (typing, deleting, pasting, dropping,
// undoing). It is refused whole, with the system beep, when a character of the replacement is
// not in the filter set, when the resulting length (current length - range length +
// replacement length, in UTF-16 units) exceeds the maximum length (not 0), or when the integer
// value of the resulting text exceeds the maximum value (not 0). Only the replacement is held
// against the set, so text put in by the program stays editable. Texts the program sets are
// never refused.
//
// Thread rules: the main thread.

#include <optional>

#include <QLineEdit>

#include "Platform/Gui/CharacterSet.h"

namespace vistel {

class TextFieldWithFilteredInput : public QLineEdit {
public:
    explicit TextFieldWithFilteredInput(QWidget* parent = nullptr);
    ~TextFieldWithFilteredInput() override;

    // No set allows every character.
    void setFilterCharacterSet(std::optional<CharacterSet> charset) { filterCharSet_ = std::move(charset); }
    // 0 means no limit.
    void setMaxTextLength(int length) { maxLength_ = length; }
    void setMaxIntegerValue(int value) { maxValue_ = value; }

    // Whether replacing `length` UTF-16 units at `start` of the current text with
    // `replacement` is allowed. Beeps when it is not.
    bool shouldChangeTextInRange(qsizetype start, qsizetype length, const QString& replacement) const;

protected:
    bool event(QEvent* event) override;

private:
    class EditCheck;

    std::optional<CharacterSet> filterCharSet_;
    int maxLength_ = 0;
    int maxValue_ = 0;
    // The text as last accepted: the line edit hands its check the text after the edit only.
    QString accepted_;
    // Above 0 while the field handles an event: edits made then are the user's.
    int userEditDepth_ = 0;
    EditCheck* check_;
};

} // namespace vistel
