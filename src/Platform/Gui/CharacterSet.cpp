#include "Platform/Gui/CharacterSet.h"

#include <QChar>
#include <QList>
#include <QString>

namespace vistel {

CharacterSet CharacterSet::decimalDigitCharacterSet()
{
    CharacterSet set;
    set.decimalDigits_ = true;
    return set;
}

CharacterSet CharacterSet::characterSetWithCharactersInString(std::string_view utf8)
{
    CharacterSet set;
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (char32_t c : text.toUcs4())
        set.ranges_.emplace_back(c, c);
    return set;
}

CharacterSet CharacterSet::characterSetWithRange(char32_t first, char32_t length)
{
    CharacterSet set;
    if (length > 0 && first <= 0x10FFFF) {
        const char32_t last = length - 1 > 0x10FFFF - first ? char32_t(0x10FFFF) : first + (length - 1);
        set.ranges_.emplace_back(first, last);
    }
    return set;
}

CharacterSet CharacterSet::invertedSet() const
{
    CharacterSet set = *this;
    set.inverted_ = !inverted_;
    return set;
}

bool CharacterSet::longCharacterIsMember(char32_t codePoint) const
{
    bool member = decimalDigits_ && QChar::category(codePoint) == QChar::Number_DecimalDigit;
    for (auto [first, last] : ranges_) {
        if (member)
            break;
        member = codePoint >= first && codePoint <= last;
    }
    return member != inverted_;
}

} // namespace vistel
