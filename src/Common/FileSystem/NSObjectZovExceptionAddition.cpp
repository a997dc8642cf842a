#include "Common/FileSystem/NSObjectZovExceptionAddition.h"

#include "Platform/Formatter.h"
#include "Platform/Log.h"

namespace vistel::NSObjectZovExceptionAddition {

void printStackTrace(const Exception& exception, std::string_view clientClassName)
{
    ZovLog(vistel::format("Exception Stack Trace Follows in %@", std::string(clientClassName)));
    // The frames were symbolised when the exception was made, so there is no need to hand
    // addresses to an external symboliser.
    if (exception.backtrace().empty())
        ZovLog("No stack trace available.");
    for (const std::string& frame : exception.backtrace())
        ZovLog(frame);
    ZovLog("...");
}

} // namespace vistel::NSObjectZovExceptionAddition
