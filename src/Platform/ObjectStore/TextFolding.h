#pragma once
// Comparing texts without regard to case and diacritics, for the store's LIKE.
//
// Folding decodes UTF-8 (bytes that are not UTF-8 stay themselves and equal only the same byte),
// takes every character to its canonical decomposition (Unicode, all planes), drops the
// nonspacing and enclosing marks, and applies simple case folding to the rest: "Ё" and "ё" fold
// to "е", "Ω" and the ohm sign to "ω", "Å" to "a". The Latin letters U+00C0-U+017F that do not
// decompose (a stroke, a bar, ligatures) go to one base letter too: "Ł" to "l", "Æ" to "a".
// Pure functions, any thread.
//
// Patterns: * matches any run, ? one character, and \ makes the character after it plain
// (\*, \?, \\); a \ at the very end is a plain \. Every other character, % and _ included, is
// plain. `likeEscaped` gives the pattern that matches a text literally.

#include <string>
#include <string_view>
#include <vector>

namespace vistel::store {

// The folded code points of `text`.
std::vector<char32_t> foldCaseAndDiacritics(std::string_view text);
// Whether `text` matches `pattern` (* any run, ? one character, \ escape), both folded.
bool likeMatchesFolded(std::string_view pattern, std::string_view text);
// `text` with \ before every *, ? and \: a pattern that matches exactly the text (folded).
std::string likeEscaped(std::string_view text);

} // namespace vistel::store
