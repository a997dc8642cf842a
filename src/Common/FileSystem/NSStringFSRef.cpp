#include "Common/FileSystem/NSStringFSRef.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "Platform/Exception.h"
#include "Platform/FilePaths.h"

namespace vistel::NSStringFSRef {

namespace {

// As many links as the kernel itself follows before it gives up with ELOOP.
constexpr int MaxLinkHops = 40;

std::optional<std::string> readLink(const std::string& path)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || std::size_t(length) >= target.size())
        return std::nullopt;
    target.resize(std::size_t(length));
    return target;
}

} // namespace

std::optional<std::string> stringWithFSRef(const FSRef& ref)
{
    ZOV_ASSERT(!ref.isNull(), "NSString(FSRef):stringWithFSRef - fsRef is NULL");
    if (verifyFSRef(ref) != status::NoError)
        return std::nullopt;
    return ref.path;
}

bool getFSRef(std::string_view path, FSRef& ref, bool* isDirectory)
{
    return makeFSRef(path, ref, isDirectory) == status::NoError;
}

std::optional<std::string> resolveAliasFile(std::string_view path)
{
    if (path.empty())
        return std::nullopt;
    std::string current(path);
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0)
            return std::nullopt;
        if (!S_ISLNK(st.st_mode))
            return current;
        std::optional<std::string> target = readLink(current);
        if (!target || target->empty())
            return std::nullopt;
        if (target->front() == '/') {
            current = std::move(*target);
        } else {
            const std::string folder = parentFolderPath(current);
            current = (folder == "/" ? "/" : folder + "/") + *target;
        }
    }
    return std::nullopt;
}

} // namespace vistel::NSStringFSRef
