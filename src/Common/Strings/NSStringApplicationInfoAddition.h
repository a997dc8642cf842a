#pragma once
// NSStringApplicationInfoAddition: the program's version numbers and names, read from a bundle's
// information dictionary (the main bundle unless one is given).
//
// Absent values read as "". Callable from any thread (bundles never change).

#include <optional>
#include <string>
#include <string_view>

#include "Platform/Bundle.h"

namespace vistel::NSStringApplicationInfoAddition {

// "CFBundleShortVersionString", e.g. "2.5".
std::string shortVersion(const Bundle& bundle = *Bundle::main());
// The first and second "."-separated parts of the short version ("" when missing).
std::string majorVersion(const Bundle& bundle = *Bundle::main());
std::string featureVersion(const Bundle& bundle = *Bundle::main());
// "CFBundleVersion", the build number.
std::string minorVersion(const Bundle& bundle = *Bundle::main());
// "<short version>.<bundle version>".
std::string fullVersion(const Bundle& bundle = *Bundle::main());
// Major, feature and the bundle version padded to three digits, run together: "2", "5", "7"
// give "25007". Compared by the update check.
std::string currentVersion(const Bundle& bundle = *Bundle::main());

// The value of an Info.plist key as the user's language has it: from "<lang>.lproj/
// InfoPlist.strings" of the bundle's preferred localisations in order, else the information
// dictionary's own string; "" when neither has one.
std::string localizedInfoValue(std::string_view key, const Bundle& bundle = *Bundle::main());

// `text` with every occurrence of `key` (ASCII letters compared without regard to case)
// replaced by the bundle's information value for the key; `text` unchanged when the bundle has
// no such value; nullopt for a missing text. Puts the program's name ("CFBundleName") into
// texts.
std::optional<std::string> stringByResolvingInfoKey(std::string_view key, const std::optional<std::string>& text,
                                                    const Bundle& bundle = *Bundle::main());

} // namespace vistel::NSStringApplicationInfoAddition
