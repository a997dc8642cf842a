#pragma once
// Path helpers: the one place where file paths are taken apart and put together.
//
// Paths are byte strings and are handled as text only: nothing here looks at the disk (no
// link is resolved, no Unicode normalisation is done), so the answers are the same whether
// the items exist or not. The rules are the desktop's string-path rules: runs of slashes
// count as one, a trailing slash is ignored, and "/" is its own folder and its own last
// component. Safe on any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vistel {

// The path without trailing slashes ("/" stays "/").
std::string stripTrailingSlashes(std::string_view path);

// "a" + "b" = "a/b", "" + "b" = "b", "a/" + "/b" = "a/b", "a" + "" = "a": runs of slashes fold
// to one and a trailing slash is dropped ("/" itself stays).
std::string joinPath(std::string_view folder, std::string_view name);

// The last component: "b" for "/a/b" and "/a/b/", "/" for "/", "" for "".
std::string lastPathComponent(std::string_view path);

// The folder holding the item, for system calls: "/a" for "/a/b/", "/" for "/a" and "/",
// "." for a bare name or "".
std::string parentFolderPath(std::string_view path);

// The extension of the last component, without the dot: "JPG" for "/a/b.JPG", "gz" for
// "x.tar.gz"; "" when there is none, for a hidden name (".profile") and a trailing dot.
std::string pathExtension(std::string_view path);

// True when `path` is `folder` or lies inside it, compared as text (both as given, without
// trailing slashes); every absolute path lies inside "/".
bool isPathUnder(std::string_view path, std::string_view folder);

// True for one file name that names an item inside its folder: not empty, no slash, and
// neither "." nor "..".
bool isPlainFileName(std::string_view name);

// The components between the slashes, "." left out: {"a", "..", "b"} for "/a/./../b/".
std::vector<std::string> pathComponents(std::string_view path);

// The path with "." left out and each ".." taking away the component before it: "/a/b/../c/"
// gives "/a/c", "a/../../b" gives "../b", "/../a" gives "/a", "a/.." gives ".". Lexical: a ".."
// after a symbolic link may name another folder on disk.
std::string normalizedPath(std::string_view path);

// The path made absolute: a relative path is joined to the current folder (the only thing
// asked of the system). "." and ".." stay, since after a symbolic link a ".." names the
// link target's parent on disk, not the folder before it in the text.
std::string absolutePath(std::string_view path);

// Bytes with every byte outside the unreserved set (letters, digits, "-._~") and `alsoKept`
// written as %XX (upper-case hex), byte by byte: names that are not UTF-8 survive.
std::string percentEncoded(std::string_view bytes, std::string_view alsoKept);

// "file://" + the path percent-encoded ("/" kept).
std::string fileURLForPath(std::string_view path);

// The path of a "file://" URL with an empty or "localhost" host, percent-decoded (a "%" not
// followed by two hex digits stays as it is); nullopt for another scheme or host, and for a
// path that would hold a NUL byte.
std::optional<std::string> pathForFileURL(std::string_view url);

} // namespace vistel
