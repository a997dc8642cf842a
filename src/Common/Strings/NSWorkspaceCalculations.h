#pragma once
// NSWorkspaceCalculations: the space a file takes on a volume, as a short text.
//
// Texts pass through the translator (class "NSWorkspace"). Callable from any thread.

#include <cstdint>
#include <string>

namespace vistel::NSWorkspaceCalculations {

// `bytes` rounded up to whole blocks of `blockSize`, in whole kilobytes K (1024 bytes):
//   K = 0                  "Zero KB"
//   K < 1024               "%d KB"
//   K < 1024^2             "%.1f MB" of K / 1024
//   K < 1024^3             "%.2f GB" of K / 1024^2
//   larger                 "%.2f TB" of K / 1024^3   (so a 2 TiB disk reads "2.00 TB")
// A block size of 0 or less counts as 1 byte; a negative size as 0.
std::string sizeStringForSize(std::int64_t bytes, std::int32_t blockSize);

} // namespace vistel::NSWorkspaceCalculations
