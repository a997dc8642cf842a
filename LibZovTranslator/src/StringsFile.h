#pragma once
// Reader of string table files (".strings"): the old-style property-list text form.
//
// Accepted: UTF-8 (with or without a byte-order mark) and UTF-16 with a byte-order mark;
// entries `"key" = "value";`, a key alone (`"key";`, which maps the key to itself), or the
// same entries inside one `{ ... }`; quoted strings with double or single quotes; unquoted
// tokens of letters, digits and _$/:.-; comments // and /* */; the escapes \a \b \f \n \r \t
// \v \" \' \\, \NNN (octal, a byte of the legacy 8-bit character set of old property lists) and \UXXXX (a UTF-16 unit,
// so two of them make a surrogate pair). A later entry with the same key replaces the earlier.
//
// The input is untrusted: any damage makes the whole file fail, never a crash.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vistel {

struct StringsKeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>()(text); }
};

// Key -> value, both UTF-8. Lookups take a string_view.
using StringsDictionary = std::unordered_map<std::string, std::string, StringsKeyHash, std::equal_to<>>;

// Decodes the bytes of a file by its byte-order mark (UTF-8 without one); nullopt when the
// bytes are not valid in that encoding.
std::optional<std::u16string> decodeStringsFileBytes(std::string_view bytes);

// Parses the text of a string table. On failure answers nullopt and puts a short reason
// with the line number into `error` when given.
std::optional<StringsDictionary> parseStringsText(std::u16string_view text, std::string* error = nullptr);

// decodeStringsFileBytes + parseStringsText.
std::optional<StringsDictionary> parseStringsFile(std::string_view bytes, std::string* error = nullptr);

// The text of a quoted string's inside (without its quotes) with its escapes resolved, as
// parseStringsText reads it.
std::string unescapeStringsText(std::u16string_view quotedInside);

// Writes a text between double quotes so that parseStringsText reads it back unchanged:
// backslash, double quote, line feed, tab and carriage return are escaped.
std::string escapeStringsText(std::string_view text);

} // namespace vistel
