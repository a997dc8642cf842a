#pragma once
// NSStringFSRef: between paths and file references, and alias files.
//
// Safe on any thread.

#include <optional>
#include <string>
#include <string_view>

#include "Common/FileSystem/FSRef.h"

namespace vistel::NSStringFSRef {

// The path of the reference, or nullopt when its path no longer names the referenced object.
// A null reference is a programming error: "NSString(FSRef):stringWithFSRef - fsRef is NULL".
std::optional<std::string> stringWithFSRef(const FSRef& ref);

// True, with `ref` (and `isDirectory`, which may be null) filled, when the path names an
// existing object.
bool getFSRef(std::string_view path, FSRef& ref, bool* isDirectory = nullptr);

// For a symbolic link (the alias files of this system), the path of its final target, chains
// followed and relative targets taken from the link's folder; for any other existing object,
// the path itself. nullopt when the path does not exist, a link dangles or links loop.
std::optional<std::string> resolveAliasFile(std::string_view path);

} // namespace vistel::NSStringFSRef
