#include "Platform/ObjectStore/TextFolding.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

namespace vistel::store {

namespace {

// Base letters of U+00C0-U+00FF and U+0100-U+017F; '*' keeps the character. Besides what
// decomposition gives, these take the letters with a stroke or bar, the ligatures and the
// special letters of Latin alphabets to one base letter ("Łódź" matches "lodz").
constexpr std::string_view Latin1Bases = "aaaaaaaceeeeiiiidnooooo*ouuuuy*saaaaaaaceeeeiiiidnooooo*ouuuuy*y";
constexpr std::string_view LatinExtendedABases =
    "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiiiiijjkkklllllllllln"
    "nnnnnnnnoooooooorrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs";

// Decodes one UTF-8 sequence at `i`; a byte that starts no valid sequence answers itself
// shifted into a private range, so that it only ever equals the same byte.
char32_t decode(std::string_view text, std::size_t& i)
{
    const auto byte = static_cast<unsigned char>(text[i]);
    auto continuation = [&](std::size_t k) {
        return k < text.size() && (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80;
    };
    int length = 0;
    char32_t cp = 0;
    if (byte < 0x80) {
        ++i;
        return byte;
    } else if ((byte & 0xE0) == 0xC0 && byte >= 0xC2) {
        length = 2;
        cp = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
        length = 3;
        cp = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0 && byte <= 0xF4) {
        length = 4;
        cp = byte & 0x07;
    }
    bool valid = length > 0;
    for (int k = 1; valid && k < length; ++k) {
        if (!continuation(i + static_cast<std::size_t>(k)))
            valid = false;
        else
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    if (!valid || (length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
        ++i;
        return 0x110000 + byte;
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

// Marks that diacritic-insensitive comparison ignores.
bool isDroppedMark(char32_t cp)
{
    const auto type = u_charType(static_cast<UChar32>(cp));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK;
}

// Appends the canonical decomposition of `cp` (itself when it has none) to `out`.
void appendDecomposition(const UNormalizer2* nfd, char32_t cp, std::vector<char32_t>& out)
{
    UChar buffer[32];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = nfd ? unorm2_getDecomposition(nfd, static_cast<UChar32>(cp), buffer, 32, &status) : -1;
    if (length < 0 || U_FAILURE(status)) {
        out.push_back(cp);
        return;
    }
    for (int32_t k = 0; k < length;) {
        UChar32 c;
        U16_NEXT(buffer, k, length, c);
        out.push_back(static_cast<char32_t>(c));
    }
}

// Appends the folded form of one decoded character.
void appendFolded(const UNormalizer2* nfd, char32_t cp, std::vector<char32_t>& out)
{
    if (cp < 0x80) {
        out.push_back(cp >= 'A' && cp <= 'Z' ? cp + ('a' - 'A') : cp);
        return;
    }
    if (cp > 0x10FFFF) { // a byte that was not UTF-8
        out.push_back(cp);
        return;
    }
    if (cp >= 0xC0 && cp <= 0xFF && Latin1Bases[cp - 0xC0] != '*') {
        out.push_back(static_cast<char32_t>(Latin1Bases[cp - 0xC0]));
        return;
    }
    if (cp >= 0x100 && cp <= 0x17F) {
        out.push_back(static_cast<char32_t>(LatinExtendedABases[cp - 0x100]));
        return;
    }
    std::vector<char32_t> parts;
    appendDecomposition(nfd, cp, parts);
    for (char32_t part : parts) {
        if (isDroppedMark(part))
            continue;
        if (part != cp) { // a base letter of the decomposition: itself one of the letters above?
            appendFolded(nfd, part, out);
            continue;
        }
        const auto folded = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(part), U_FOLD_CASE_DEFAULT));
        if (folded == part) {
            out.push_back(part);
            continue;
        }
        // A folded letter may itself decompose or be one of the Latin letters above: fold it
        // again (folding is idempotent, so this ends at once).
        appendFolded(nfd, folded, out);
    }
}

const UNormalizer2* decomposition()
{
    static const UNormalizer2* const nfd = [] {
        UErrorCode status = U_ZERO_ERROR;
        const UNormalizer2* instance = unorm2_getNFDInstance(&status);
        return U_SUCCESS(status) ? instance : nullptr;
    }();
    return nfd;
}

// One element of a parsed pattern.
struct PatternElement {
    enum class Kind { Plain, AnyRun, AnyOne } kind;
    char32_t cp;
};

std::vector<PatternElement> parsePattern(std::string_view pattern)
{
    const std::vector<char32_t> folded = foldCaseAndDiacritics(pattern);
    std::vector<PatternElement> elements;
    elements.reserve(folded.size());
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const char32_t cp = folded[i];
        if (cp == U'\\' && i + 1 < folded.size())
            elements.push_back({PatternElement::Kind::Plain, folded[++i]});
        else if (cp == U'*')
            elements.push_back({PatternElement::Kind::AnyRun, cp});
        else if (cp == U'?')
            elements.push_back({PatternElement::Kind::AnyOne, cp});
        else
            elements.push_back({PatternElement::Kind::Plain, cp});
    }
    return elements;
}

} // namespace

std::vector<char32_t> foldCaseAndDiacritics(std::string_view text)
{
    static_assert(Latin1Bases.size() == 64);
    static_assert(LatinExtendedABases.size() == 128);
    const UNormalizer2* nfd = decomposition();
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        appendFolded(nfd, decode(text, i), out);
    return out;
}

bool likeMatchesFolded(std::string_view pattern, std::string_view text)
{
    using Kind = PatternElement::Kind;
    const std::vector<PatternElement> p = parsePattern(pattern);
    const std::vector<char32_t> t = foldCaseAndDiacritics(text);
    // Greedy wildcard matching with one backtrack point: linear in practice.
    std::size_t pi = 0, ti = 0, star = std::string_view::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi].kind == Kind::AnyRun) {
            star = pi++;
            mark = ti;
        } else if (pi < p.size() && (p[pi].kind == Kind::AnyOne || p[pi].cp == t[ti])) {
            ++pi;
            ++ti;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi].kind == Kind::AnyRun)
        ++pi;
    return pi == p.size();
}

std::string likeEscaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size() + 4);
    for (char c : text) {
        if (c == '*' || c == '?' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

} // namespace vistel::store
