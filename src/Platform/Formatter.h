#pragma once
// The safe formatter: fills the program's format strings ("%d items, %@ available",
// "%3$d of %1$d selected, %2$@ available") with Values.
//
// Format strings come from translated string tables, so they are untrusted input: a translator
// may drop, add, reorder or mistype a specifier. The formatter therefore never hands a format
// string to printf and never reads past the argument list. Whatever it cannot fill correctly
// (too few arguments, an argument of the wrong kind, an unknown or unsafe conversion such as
// %n or %p) becomes the visible placeholder FormatPlaceholder, and the rest of the text is
// still filled.
//
// Conversions and the argument kinds they take:
//   %d %i %u %o %x %X   integers and booleans (a real is a mismatch). Length modifiers
//                       hh h l ll q j z t L; without one, a value that fits 32 bits is
//                       converted as the C int it stands for (so %u and %x of -1 print
//                       4294967295 and ffffffff), a larger value keeps all 64 bits.
//   %f %F %e %E %g %G %a %A   reals, integers and booleans; modifiers l and L.
//   %s                  strings (bytes as given; a precision never splits a UTF-8 sequence);
//                       a null Value prints "(null)".
//   %@                  any Value, as Value::description() writes it; null prints "(null)".
//                       Width and precision count characters (code points).
//   %c %C %lc           an integer code point, or a string of exactly one code point, written
//                       as UTF-8.
//   %%                  a percent sign. A lone '%' at the very end is kept as it is.
// Flags - + space 0 # ', width and precision (digits or '*', '*m$') as in C; the ' flag is
// accepted and has no effect (numbers are never grouped). Widths and precisions are clamped
// to MaxFormatWidth. Numbers always use '.' as the decimal point, whatever the process locale.
//
// Positional arguments "%n$" count from 1. A format may mix positional and plain
// specifiers: plain ones take the arguments in order, counting only the plain ones (and the
// plain '*'), positional ones do not move that count.
//
// For every well-formed specifier with an argument of the kind C expects, the output is the
// same as C's printf gives.
//
// Thread safety: pure functions; callable from any thread.

#include <concepts>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Value.h"

namespace vistel {

// What the formatter writes in place of a specifier it cannot fill.
inline constexpr std::string_view FormatPlaceholder = "(?)";

// Largest width or precision honoured; larger ones (from the text or from '*') are clamped, so a
// hostile "%999999999d" cannot make a giant allocation.
inline constexpr int MaxFormatWidth = 1024;

// Fills `format` with `arguments`.
std::string formatString(std::string_view format, std::span<const Value> arguments);

// Convenience form: each argument is turned into a Value first.
//   format("%d items, %@ available", count, freeText)
// The format parameter is a template so that this overload is always the best match, even
// when argument-dependent lookup also finds std::format.
template <class F, class... A>
    requires std::convertible_to<const F&, std::string_view>
std::string format(const F& fmt, const A&... args)
{
    if constexpr (sizeof...(A) == 0) {
        return formatString(std::string_view(fmt), {});
    } else {
        const Value values[] = {Value(args)...};
        return formatString(std::string_view(fmt), values);
    }
}

} // namespace vistel
