#pragma once
// Comparing texts without regard to case and diacritics, for the store's LIKE.
//
// Folding decodes UTF-8 (bytes that are not UTF-8 stay themselves), lowers ASCII letters,
// takes the Latin letters with diacritics (U+00C0-U+017F) to their base letter and drops
// combining marks (U+0300-U+036F); other characters are kept. Pure functions, any thread.

#include <string>
#include <string_view>
#include <vector>

namespace vistel::store {

// The folded code points of `text`.
std::vector<char32_t> foldCaseAndDiacritics(std::string_view text);
// Whether `text` matches `pattern` (* any run, ? one character), both folded.
bool likeMatchesFolded(std::string_view pattern, std::string_view text);

} // namespace vistel::store
