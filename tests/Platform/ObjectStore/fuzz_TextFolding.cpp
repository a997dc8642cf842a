// Untrusted texts reach the store's LIKE (typed keyword prefixes against stored names) and its
// identifier parser (category identifiers from the pasteboard and from stored assignments).
//
// Input layout: the bytes up to the first 0 byte are the pattern, the rest the text; the whole
// input is also parsed as an identifier URI, and a parsed identifier must print back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Platform/ObjectStore/ObjectStore.h"
#include "Platform/ObjectStore/TextFolding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\0');
    const std::string_view pattern = input.substr(0, split);
    const std::string_view text = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    const bool matches = vistel::store::likeMatchesFolded(pattern, text);
    // A pattern without wildcards or escapes matches itself.
    if (pattern.find_first_of("*?\\") == std::string_view::npos && !vistel::store::likeMatchesFolded(pattern, pattern))
        std::abort();
    if (vistel::store::likeMatchesFolded("*", text) != true)
        std::abort();
    // Any text, escaped, matches itself, and as a prefix (with *) every text it begins.
    const std::string escaped = vistel::store::likeEscaped(pattern);
    if (!vistel::store::likeMatchesFolded(escaped, pattern) || !vistel::store::likeMatchesFolded(escaped + "*", input))
        std::abort();
    // An escaped literal matches only what folds to the same characters.
    if (vistel::store::likeMatchesFolded(escaped, text)
        != (vistel::store::foldCaseAndDiacritics(pattern) == vistel::store::foldCaseAndDiacritics(text)))
        std::abort();
    (void)matches;
    if (auto id = vistel::store::ObjectID::fromURIRepresentation(input)) {
        if (id->rowID <= 0)
            std::abort();
        if (auto again = vistel::store::ObjectID::fromURIRepresentation(id->uriRepresentation()); !again || !(*again == *id))
            std::abort();
    }
    return 0;
}
