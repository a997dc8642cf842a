#pragma once
// A diagnostic that writes an exception's stack to the log (NSObject(ZovExceptionAddition)).
// Callable from any thread.

#include <string_view>

#include "Platform/Exception.h"

namespace vistel::NSObjectZovExceptionAddition {

// Logs "Exception Stack Trace Follows in <client class>", then the frames the exception
// captured (or "No stack trace available."), then "...".
void printStackTrace(const Exception& exception, std::string_view clientClassName);

} // namespace vistel::NSObjectZovExceptionAddition
