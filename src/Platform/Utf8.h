#pragma once
// UTF-8 encoding of one Unicode scalar value: the one encoder of the platform layer (the
// formatter's %C, character references in property lists). Pure function, any thread.

#include <string>

namespace vistel {

// Appends `code` as UTF-8. False, and nothing appended, for a surrogate (U+D800 to U+DFFF) or
// a value above U+10FFFF. U+0000 is encoded as one NUL byte.
bool appendUtf8(std::string& out, char32_t code);

} // namespace vistel
