#include "Common/Alert/SingleLineTextField.h"

#include <QValidator>

namespace vistel {

namespace {

// Keeps the input on one line: a validator may rewrite what is being entered.
class SingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override
    {
        input = SingleLineTextField::singleLine(std::move(input));
        return Acceptable;
    }
};

} // namespace

SingleLineTextField::SingleLineTextField(QWidget* parent)
    : QLineEdit(parent)
{
    setValidator(new SingleLineValidator(this));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

SingleLineTextField::SingleLineTextField(const QString& text, QWidget* parent)
    : SingleLineTextField(parent)
{
    setText(text);
}

QString SingleLineTextField::singleLine(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == 0x85 || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return text;
}

} // namespace vistel
