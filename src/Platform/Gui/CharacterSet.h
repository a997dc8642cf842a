#pragma once
// CharacterSet: an immutable set of Unicode code points, for filtering typed text.
//
// Made from explicit characters or ranges, or as the decimal digits (every code point of the
// Unicode category Nd, as the desktop's digit set holds); any set can be inverted. Copies are
// cheap and safe to share between threads.

#include <string_view>
#include <utility>
#include <vector>

namespace vistel {

class CharacterSet {
public:
    // The empty set.
    CharacterSet() = default;

    static CharacterSet decimalDigitCharacterSet();
    // The characters of a UTF-8 text.
    static CharacterSet characterSetWithCharactersInString(std::string_view utf8);
    // `length` code points from `first`.
    static CharacterSet characterSetWithRange(char32_t first, char32_t length);

    CharacterSet invertedSet() const;
    bool longCharacterIsMember(char32_t codePoint) const;

private:
    std::vector<std::pair<char32_t, char32_t>> ranges_; // closed ranges
    bool decimalDigits_ = false;
    bool inverted_ = false;
};

} // namespace vistel
