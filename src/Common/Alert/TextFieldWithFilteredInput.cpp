#include "Common/Alert/TextFieldWithFilteredInput.h"

#include <QValidator>

#include "Common/Alert/FilteredInputFormatter.h"
#include "Platform/Gui/PlatformApplication.h"

namespace vistel {

// Turns the line edit's whole-text validation back into the edit that was made: the longest
// common prefix and suffix of the old and new texts frame the replaced range.
class TextFieldWithFilteredInput::EditCheck : public QValidator {
public:
    explicit EditCheck(TextFieldWithFilteredInput& field) : QValidator(&field), field_(field) { }

    State validate(QString& input, int&) const override
    {
        if (field_.userEditDepth_ == 0 || input == field_.accepted_)
            return Acceptable;
        const QString& before = field_.accepted_;
        qsizetype prefix = 0;
        const qsizetype shorter = std::min(before.size(), input.size());
        while (prefix < shorter && before[prefix] == input[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == input[input.size() - 1 - suffix])
            ++suffix;
        const qsizetype replacedLength = before.size() - prefix - suffix;
        const QString replacement = input.mid(prefix, input.size() - prefix - suffix);
        return field_.shouldChangeTextInRange(prefix, replacedLength, replacement) ? Acceptable : Invalid;
    }

private:
    TextFieldWithFilteredInput& field_;
};

TextFieldWithFilteredInput::TextFieldWithFilteredInput(QWidget* parent)
    : QLineEdit(parent)
    , check_(new EditCheck(*this))
{
    setValidator(check_);
    QObject::connect(this, &QLineEdit::textChanged, [this](const QString& text) { accepted_ = text; });
}

TextFieldWithFilteredInput::~TextFieldWithFilteredInput()
{
    setValidator(nullptr);
}

bool TextFieldWithFilteredInput::shouldChangeTextInRange(qsizetype start, qsizetype length,
                                                         const QString& replacement) const
{
    bool allowed = FilteredInputFormatter::charactersAllowed(replacement, filterCharSet_);
    const qsizetype resultLength = accepted_.size() - length + replacement.size();
    if (allowed && maxLength_ != 0 && resultLength > maxLength_)
        allowed = false;
    if (allowed && maxValue_ != 0) {
        QString result = accepted_;
        result.replace(start, length, replacement);
        allowed = FilteredInputFormatter::intValue(result) <= maxValue_;
    }
    if (!allowed)
        PlatformApplication::beep();
    return allowed;
}

bool TextFieldWithFilteredInput::event(QEvent* event)
{
    ++userEditDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave {userEditDepth_};
    return QLineEdit::event(event);
}

} // namespace vistel
