#include "Frames/FrameNumberFormatters.h"

#include <cmath>

#include "Platform/Gui/CharacterSet.h"

namespace vistel {

namespace {

// The decimal digits of Unicode and ".".
bool onlyFrameNumberCharacters(const QString& text)
{
    static const CharacterSet digits = CharacterSet::decimalDigitCharacterSet();
    for (char32_t c : text.toUcs4())
        if (c != U'.' && !digits.longCharacterIsMember(c))
            return false;
    return true;
}

} // namespace

double frameNumberValue(const QString& text)
{
    // The leading number: digits, then "." and digits.
    qsizetype end = 0;
    while (end < text.size() && text[end].isDigit())
        ++end;
    if (end < text.size() && text[end] == u'.') {
        ++end;
        while (end < text.size() && text[end].isDigit())
            ++end;
    }
    QString number;
    for (qsizetype i = 0; i < end; ++i)
        number += text[i] == u'.' ? QChar(u'.') : QChar(u'0' + text[i].digitValue());
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

bool FrameDiagonalSizeFormatter::isPartialStringValid(const QString& text)
{
    if (text.isEmpty())
        return true;
    if (!onlyFrameNumberCharacters(text))
        return false;
    const double value = frameNumberValue(text);
    const double fraction = value - std::trunc(value);
    return value >= 1.0 && value <= 99.5 && (fraction == 0 || fraction == 0.5);
}

QValidator::State FrameDiagonalSizeFormatter::validate(QString& input, int&) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}

bool FrameResolutionFormatter::isPartialStringValid(const QString& text, std::optional<QString>* replacement)
{
    if (replacement)
        replacement->reset();
    if (text.isEmpty())
        return true;
    if (!onlyFrameNumberCharacters(text))
        return false;
    const double value = frameNumberValue(text);
    const double whole = std::trunc(value);
    if (value >= 0 && value <= 9999 && value == whole)
        return true;
    if (replacement)
        *replacement = QString::number(whole < 16 ? 16 : whole >= 10000 ? 9999 : static_cast<long>(whole));
    return false;
}

QValidator::State FrameResolutionFormatter::validate(QString& input, int& position) const
{
    std::optional<QString> replacement;
    if (isPartialStringValid(input, &replacement))
        return Acceptable;
    if (!replacement)
        return Invalid;
    input = *replacement;
    position = static_cast<int>(input.size());
    return Acceptable;
}

} // namespace vistel
