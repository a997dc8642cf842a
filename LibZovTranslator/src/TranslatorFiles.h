#pragma once
// File and path helpers of the translation library.

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

// Replaces (or creates) the file at `path` with `bytes` through a temporary file in the same
// folder and a rename, so that the old file is intact until the new one is complete. A
// replaced file keeps its permission bits; a new one gets 0666 less the umask.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// Path joining by the string-path rules of the platform: "a" + "b" = "a/b", "" + "b" = "b",
// "a/" + "/b" = "a/b", "a" + "" = "a"; runs of slashes fold to one and a trailing slash is
// dropped (except for "/" itself).
std::string appendingPathComponent(std::string_view base, std::string_view component);

// "/tmp/a.txt" -> "/tmp", "/tmp/" -> "/", "/tmp" -> "/", "/" -> "/", "a.txt" -> "", "a/b/" -> "a".
std::string deletingLastPathComponent(std::string_view path);

} // namespace vistel::translator_files
