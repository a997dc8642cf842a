#include "Common/Strings/NSWorkspaceCalculations.h"

#include "Platform/Formatter.h"
#include "ZovTranslatorManager.h"

namespace vistel::NSWorkspaceCalculations {
namespace {

const ZovClass& nsWorkspaceClass()
{
    static const ZovClass descriptor("NSWorkspace", &ZovClass::nsObject());
    return descriptor;
}

std::string translated(const char* text)
{
    return ZOV_TRANSLATE_AS(nsWorkspaceClass(), text, "sizeStringForSize:blockSize:");
}

} // namespace

std::string sizeStringForSize(std::int64_t bytes, std::int32_t blockSize)
{
    const std::uint64_t block = blockSize > 0 ? static_cast<std::uint64_t>(blockSize) : 1;
    const std::uint64_t size = bytes > 0 ? static_cast<std::uint64_t>(bytes) : 0;
    // Whole blocks, computed without overflowing near the 64-bit limit.
    const std::uint64_t blocks = size / block + (size % block != 0 ? 1 : 0);
    const unsigned __int128 rounded = static_cast<unsigned __int128>(blocks) * block;
    const std::uint64_t kilobytes = static_cast<std::uint64_t>(rounded / 1024);

    if (kilobytes == 0)
        return translated("Zero KB");
    if (kilobytes <= 1023)
        return format(translated("%d KB"), static_cast<long long>(kilobytes));
    if (kilobytes <= 1048575)
        return format(translated("%.1f MB"), static_cast<double>(kilobytes) / 1024.0);
    if (kilobytes <= 1073741823)
        return format(translated("%.2f GB"), static_cast<double>(kilobytes) / 1048576.0);
    return format(translated("%.2f TB"), static_cast<double>(kilobytes) / 1073741824.0);
}

} // namespace vistel::NSWorkspaceCalculations
