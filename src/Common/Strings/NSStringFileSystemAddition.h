#pragma once
// NSStringFileSystemAddition: byte counts as short texts for lists and status lines.
//
// Texts pass through the translator (class "NSString"), so their format strings may come from
// translated tables; they are filled by the safe formatter. Callable from any thread.

#include <cstdint>
#include <string>

namespace vistel::NSStringFileSystemAddition {

// "%i B" below 1 KiB, then "%.1f KB", "%.1f MB" and "%.1f GB" (1023 → "1023 B", 1024 → "1.0 KB",
// 1048576 → "1.0 MB"). Units are powers of 1024; gigabytes are the largest unit.
std::string stringWithFileSize(std::int64_t bytes);

} // namespace vistel::NSStringFileSystemAddition
