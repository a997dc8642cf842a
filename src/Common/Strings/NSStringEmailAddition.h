#pragma once
// NSStringEmailAddition: a plain test of e-mail addresses typed by the user ("login@domain").
//
// Letters and digits are those of any script. Text that is not valid UTF-8 is never valid.
// Pure functions, callable from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace vistel::NSStringEmailAddition {

// The text before the first "@"; nullopt without one.
std::optional<std::string> login(std::string_view address);
// The text after the first "@"; nullopt without one.
std::optional<std::string> domain(std::string_view address);

// Every character of the login is a letter, a digit, "_", "." or "-"; an empty login is
// valid. False when the address has no "@".
bool isValidLogin(std::string_view address);
// The domain splits at "." into two or more parts, none empty; every character is a letter
// or a digit, or "-" in any part but the last. False when the address has no "@".
bool isValidDomain(std::string_view address);
bool isEmailString(std::string_view address);

} // namespace vistel::NSStringEmailAddition
