#include "Common/Alert/FilteredInputFormatter.h"

#include <QList>

#include <climits>
#include <cstdint>

namespace vistel {

FilteredInputFormatter::FilteredInputFormatter(QObject* parent)
    : QValidator(parent)
{
}

FilteredInputFormatter::FilteredInputFormatter(std::optional<CharacterSet> charset, int maxLength, int maxIntValue,
                                               QObject* parent)
    : QValidator(parent)
    , filterCharSet_(std::move(charset))
    , maxLength_(maxLength)
    , maxValue_(maxIntValue)
{
}

bool FilteredInputFormatter::charactersAllowed(const QString& text, const std::optional<CharacterSet>& charset)
{
    if (!charset)
        return true;
    for (char32_t c : text.toUcs4())
        if (!charset->longCharacterIsMember(c))
            return false;
    return true;
}

int FilteredInputFormatter::intValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::int64_t(INT_MAX) + 1)
            value = std::int64_t(INT_MAX) + 1; // saturated; more digits change nothing
    }
    if (negative)
        return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

bool FilteredInputFormatter::isPartialStringValid(const QString& partialString) const
{
    if (!charactersAllowed(partialString, filterCharSet_))
        return false;
    if (maxLength_ != 0 && partialString.size() > maxLength_)
        return false;
    if (maxBytes_ != 0 && partialString.toUtf8().size() > maxBytes_)
        return false;
    if (maxValue_ != 0 && intValue(partialString) > maxValue_)
        return false;
    return true;
}

std::optional<std::string> FilteredInputFormatter::stringForObjectValue(const Value& object)
{
    if (!object.isString())
        return std::nullopt;
    return object.asString();
}

bool FilteredInputFormatter::getObjectValue(Value& object, const std::string& string)
{
    object = Value(string);
    return true;
}

QValidator::State FilteredInputFormatter::validate(QString& input, int&) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}

} // namespace vistel
