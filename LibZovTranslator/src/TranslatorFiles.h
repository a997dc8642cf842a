#pragma once
// File readers of the translation library. Files are written with writeFileAtomically
// (Platform/AtomicFileWriter.h) and paths put together with Platform/FilePaths.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vistel::translator_files {

// Size limits of the readers: string tables and project files, source files.
constexpr std::uint64_t MaxTableFileSize = 4194304;
constexpr std::uint64_t MaxSourceFileSize = 16777216;

// Size of the file at `path`, following a symbolic link; nullopt when it has no attributes.
std::optional<std::uint64_t> fileSize(const std::string& path);

// The whole file when its size (following a symbolic link) lies within [minSize, maxSize].
std::optional<std::string> readFile(const std::string& path, std::uint64_t minSize, std::uint64_t maxSize);

} // namespace vistel::translator_files
