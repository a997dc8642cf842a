#pragma once
// NSStringExtensionsText: the text-measuring part of NSStringExtensions (Qt Gui).
//
// Measuring needs a QGuiApplication (the program's main() makes one). All functions may be
// called from any thread; the size cache is shared by the whole process.

#include <cstddef>
#include <string>
#include <string_view>

#include <QFont>
#include <QSizeF>

namespace vistel::NSStringExtensions {

// The size `text` takes in one line per line break of its own, as QFontMetricsF measures it,
// served from a process-wide cache keyed by the text. A cached size is used only when it was
// measured in an equal font; otherwise the text is measured again and the entry replaced. When
// the cache holds more than SizeCacheLimit entries it is dropped and started anew.
QSizeF sizeWithAttributesExt(std::string_view text, const QFont& font);
inline constexpr std::size_t SizeCacheLimit = 100000;
// Entries now in the cache (for tests and diagnostics).
std::size_t sizeCacheCount();

// The size of the laid-out text in an unbounded text area (no wrapping), in `font` or in the
// default font when null. Slower than sizeWithAttributesExt(): builds a layout for the call.
QSizeF estimateSizeWithAttributes(std::string_view text, const QFont* font);

// Where truncate() puts the ellipsis (the values of the platform's line-break modes).
enum TruncationMode { TruncateHead = 3, TruncateTail = 4, TruncateMiddle = 5 };

// `text` shortened with "…" until it fits `width` in `font`: the beginning (head), the end
// (tail) or the middle is replaced. Works on whole graphemes (a base letter with its accents,
// an emoji sequence), so no character is ever split. A text that fits is answered unchanged; a
// text that cannot fit at all ends as a single grapheme.
std::string truncate(TruncationMode mode, std::string_view text, double width, const QFont& font);

} // namespace vistel::NSStringExtensions
