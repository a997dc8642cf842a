#include "Common/Strings/NSStringFileSystemAddition.h"

#include "Platform/Formatter.h"
#include "ZovTranslatorManager.h"

namespace vistel::NSStringFileSystemAddition {
namespace {

const ZovClass& nsStringClass()
{
    static const ZovClass descriptor("NSString", &ZovClass::nsObject());
    return descriptor;
}

std::string translated(const char* text)
{
    return ZOV_TRANSLATE_AS(nsStringClass(), text, "stringWithFileSize:");
}

} // namespace

std::string stringWithFileSize(std::int64_t bytes)
{
    const double kilobytes = static_cast<double>(bytes) / 1024.0;
    if (kilobytes < 1)
        return format(translated("%i B"), static_cast<long long>(bytes));
    const double megabytes = kilobytes / 1024.0;
    if (megabytes < 1)
        return format(translated("%.1f KB"), kilobytes);
    const double gigabytes = megabytes / 1024.0;
    if (gigabytes < 1)
        return format(translated("%.1f MB"), megabytes);
    return format(translated("%.1f GB"), gigabytes);
}

} // namespace vistel::NSStringFileSystemAddition
