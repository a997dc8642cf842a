#pragma once
// ErrorRecord: a failure to show to the user, with the ways out of it.
//
// A record carries a domain ("NSCocoaErrorDomain", "NSPOSIXErrorDomain", ...), a code and a
// user-information dictionary: the texts the alert shows ("NSLocalizedDescription",
// "NSLocalizedRecoverySuggestion"), the button titles of the recovery options
// ("NSLocalizedRecoveryOptions", an array of strings, first = default button) and any other
// keys the code that made it wants to read back. A recovery attempter, when present, is asked
// with the index of the option the user chose and answers whether recovery succeeded.
//
// PlatformApplication::presentError (Platform/Gui) shows a record as an alert; code below the
// GUI layer only builds records. Records are plain values: copy them freely between threads,
// present them on the main thread.

#include <functional>
#include <string>
#include <vector>

#include "Platform/Value.h"

namespace vistel {

inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* NSLocalizedRecoverySuggestionErrorKey = "NSLocalizedRecoverySuggestion";
inline constexpr const char* NSLocalizedRecoveryOptionsErrorKey = "NSLocalizedRecoveryOptions";

struct ErrorRecord {
    // Answers whether recovery with the option at `optionIndex` succeeded.
    using RecoveryAttempter = std::function<bool(const ErrorRecord& error, int optionIndex)>;

    std::string domain;
    long code = 0;
    Value userInfo; // a dictionary, or null
    RecoveryAttempter recoveryAttempter;

    std::string localizedDescription() const;
    std::string localizedRecoverySuggestion() const;
    std::vector<std::string> localizedRecoveryOptions() const;
    // "Error Domain=<domain> Code=<code> \"<description>\"", for logs.
    std::string description() const;
};

} // namespace vistel
