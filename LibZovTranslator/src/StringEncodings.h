#pragma once
// The platform's string encodings by number, as project files record a file's encoding
// ("fileEncoding = 4;" is UTF-8).

#include <cstdint>
#include <span>
#include <string_view>

namespace vistel {

// The numbers of every encoding the platform offers, in its list order.
std::span<const std::uint32_t> availableStringEncodings();
bool isAvailableStringEncoding(std::uint32_t encoding);

// The integer value of a text as the platform's string reads it: leading white space, an
// optional sign and decimal digits; 0 when there are none; saturated to the 32-bit range.
std::int32_t intValueOfString(std::string_view text);

} // namespace vistel
