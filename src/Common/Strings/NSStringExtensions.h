#pragma once
// NSStringExtensions: unique names for copies, new UUID texts and dates read from text.
//
// The text-measuring members of this category need Qt Gui and live in
// Common/Strings/Gui/NSStringExtensionsText.h.
//
// Callable from any thread.

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Value.h"

namespace vistel::NSStringExtensions {

// The longest file name the file systems we write to accept, in bytes.
inline constexpr std::size_t MaxFileNameBytes = 255;

// A path near `path` where nothing exists yet, for a copy or a duplicate:
//   `path` itself when it is free; otherwise, with the name split into base and extension part
//   (".jpg", or nothing when the name has no extension),
//   style 0:   "<base> copy<ext>", then "<base> copy 1<ext>", "<base> copy 2<ext>" ...
//   style 1:   "<base> 1<ext>", "<base> 2<ext>" ...
// The base is cut at a character boundary so that the whole name stays within
// MaxFileNameBytes. Names are kept byte for byte as given (never normalised). " copy" and
// " copy %d%@" are translated.
std::string createUniqueFilePathFromPath(const std::string& path, int uniquePathParam);

// Whether something already occupies `path` for createUniqueFilePathFromPath(). This is the
// one place that asks the file system; the file services take it over so that camera paths
// count too. Today: an lstat() that succeeds (a dangling symbolic link occupies its name).
bool uniquePathIsTaken(const std::string& path);

// A new random (version 4) UUID in its standard upper-case text form,
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string stringWithNewUUID();

// Reads "YYYY-MM-DD HH:MM:SS ±HHMM" and the EXIF form "YYYY:MM:DD HH:MM:SS"; a text without a
// time-zone offset is read as UTC. When the text is empty or not such a date, answers the date
// "2009-01-22 21:00:12 +0000" when `useDefaultDate` is true, else nullopt.
std::optional<Date> stringToDate(std::string_view text, bool useDefaultDate);

// The date stringToDate() falls back to.
Date defaultDate();

} // namespace vistel::NSStringExtensions
