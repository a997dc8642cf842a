#include "Platform/ObjectStore/TextFolding.h"

namespace vistel::store {

namespace {

// Base letters of U+00C0-U+00FF and U+0100-U+017F; '*' keeps the character.
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

} // namespace

std::vector<char32_t> foldCaseAndDiacritics(std::string_view text)
{
    static_assert(Latin1Bases.size() == 64);
    static_assert(LatinExtendedABases.size() == 128);
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = decode(text, i);
        if (cp >= 'A' && cp <= 'Z')
            cp += 'a' - 'A';
        else if (cp >= 0xC0 && cp <= 0xFF && Latin1Bases[cp - 0xC0] != '*')
            cp = static_cast<char32_t>(Latin1Bases[cp - 0xC0]);
        else if (cp >= 0x100 && cp <= 0x17F)
            cp = static_cast<char32_t>(LatinExtendedABases[cp - 0x100]);
        else if (cp >= 0x300 && cp <= 0x36F)
            continue;
        out.push_back(cp);
    }
    return out;
}

bool likeMatchesFolded(std::string_view pattern, std::string_view text)
{
    const std::vector<char32_t> p = foldCaseAndDiacritics(pattern);
    const std::vector<char32_t> t = foldCaseAndDiacritics(text);
    // Greedy wildcard matching with one backtrack point: linear in practice.
    std::size_t pi = 0, ti = 0, star = std::string_view::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            mark = ti;
        } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}

} // namespace vistel::store
