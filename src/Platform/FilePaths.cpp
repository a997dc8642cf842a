#include "Platform/FilePaths.h"

#include <unistd.h>

#include <climits>

namespace vistel {

namespace {

std::string_view trimmed(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

} // namespace

std::string stripTrailingSlashes(std::string_view path)
{
    return std::string(trimmed(path));
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    std::string joined;
    joined.reserve(folder.size() + name.size() + 1);
    const auto append = [&joined](std::string_view part) {
        for (const char c : part)
            if (c != '/' || joined.empty() || joined.back() != '/')
                joined.push_back(c);
    };
    append(folder);
    if (!folder.empty() && !name.empty() && joined.back() != '/')
        joined.push_back('/');
    append(name);
    if (joined.size() > 1 && joined.back() == '/')
        joined.pop_back();
    return joined;
}

std::string lastPathComponent(std::string_view path)
{
    path = trimmed(path);
    if (path == "/")
        return "/";
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string parentFolderPath(std::string_view path)
{
    path = trimmed(path);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    const std::string_view parent = trimmed(path.substr(0, slash));
    return parent.empty() || parent == "/" ? std::string("/") : joinPath(parent, {});
}

std::string pathExtension(std::string_view path)
{
    const std::string name = lastPathComponent(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return {};
    return name.substr(dot + 1);
}

bool isPathUnder(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return path.starts_with('/');
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool isPlainFileName(std::string_view name)
{
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

std::vector<std::string> pathComponents(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, slash - at);
        if (!part.empty() && part != ".")
            parts.emplace_back(part);
        at = slash + 1;
    }
    return parts;
}

std::string normalizedPath(std::string_view path)
{
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string> kept;
    for (std::string& part : pathComponents(path)) {
        if (part != "..")
            kept.push_back(std::move(part));
        else if (!kept.empty() && kept.back() != "..")
            kept.pop_back();
        else if (!absolute)
            kept.push_back(std::move(part)); // above a relative start: stays; above "/": "/"
    }
    std::string result = absolute ? "/" : "";
    for (const std::string& part : kept) {
        if (!result.empty() && result.back() != '/')
            result.push_back('/');
        result += part;
    }
    return result.empty() ? std::string(path.empty() ? "" : ".") : result;
}

std::string absolutePath(std::string_view path)
{
    if (!path.empty() && path.front() == '/')
        return joinPath(path, {});
    char folder[PATH_MAX];
    if (!::getcwd(folder, sizeof folder))
        return joinPath(path, {});
    return joinPath(folder, path);
}

namespace {

bool isUnreservedByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string percentEncoded(std::string_view bytes, std::string_view alsoKept)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (const unsigned char c : bytes) {
        if (isUnreservedByte(c) || alsoKept.find(static_cast<char>(c)) != std::string_view::npos) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

std::string fileURLForPath(std::string_view path) { return "file://" + percentEncoded(path, "/"); }

std::optional<std::string> pathForFileURL(std::string_view url)
{
    constexpr std::string_view scheme = "file://";
    if (!url.starts_with(scheme))
        return std::nullopt;
    url.remove_prefix(scheme.size());
    const std::size_t slash = url.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view host = url.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return std::nullopt;
    std::string path;
    for (std::size_t i = slash; i < url.size(); ++i) {
        const int high = url[i] == '%' && i + 2 < url.size() ? hexDigitValue(url[i + 1]) : -1;
        const int low = high >= 0 ? hexDigitValue(url[i + 2]) : -1;
        if (low >= 0) {
            path += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            path += url[i];
        }
    }
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

} // namespace vistel
