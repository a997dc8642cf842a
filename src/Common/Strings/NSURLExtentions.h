#pragma once
// NSURLExtentions: the scheme and host of URL texts, read as plain text.
//
// Camera paths ("ICA:/41/DSC0001.JPG") are not well-formed URLs: the camera reports file
// names with spaces, '%', '#', '?' or non-ASCII characters, which a URL parser would refuse,
// decode or cut off as query and fragment. These functions therefore never parse; they cut the
// text at fixed separators, so every byte after the host stays as it was.
//
// Pure functions over their argument: safe on any thread.

#include <optional>
#include <string>
#include <string_view>

namespace vistel::NSURLExtentions {

// The text before the first ":/"; nullopt when ":/" does not occur or stands at the start.
// "ICA:/41/x" -> "ICA", "http://host/a" -> "http", "/usr/bin" -> nullopt.
std::optional<std::string> protocol(std::string_view url);

// The host of the URL text.
// - With an authority ("scheme://[user@]host[:port]/..."), the authority's host; nullopt when
//   it is empty ("ICA:///x"). Camera identifiers hold no '?' or '#', so ending the authority
//   there as URLs do changes nothing for camera paths.
// - Otherwise the first path component after the first ":/", cut before its last ':' when it
//   holds one: "ICA:/41/x" -> "41", "ICA:/41:7/x" -> "41".
// - nullopt for an empty text, a text beginning with '/', a text without ":/" (or with it at
//   the start), or nothing after ":/".
std::optional<std::string> hostReplaced(std::string_view url);

// The path of the URL text, byte for byte (never percent-decoded, never cut at '?' or '#'):
// after "scheme://authority" the rest from its first '/', otherwise everything after
// "scheme:". Empty when there is none; nullopt when the text has no protocol.
// "ICA:/41/x" -> "/41/x", "ICA://41/x" -> "/x", "ICA://41" -> "".
std::optional<std::string> path(std::string_view url);

} // namespace vistel::NSURLExtentions
