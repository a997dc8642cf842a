#include "Platform/ProcessesUsingPath.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits.h>

#include "Platform/FilePaths.h"

namespace vistel {

namespace {

// The target of a link under /proc, or empty.
std::string linkTarget(const std::string& path)
{
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink(path.c_str(), buffer, PATH_MAX);
    if (length <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

// Whether a path the kernel shows lies at or under `folder`. Sockets, pipes and anonymous
// objects ("socket:[…]", "anon_inode:…") are not paths.
bool pathIsUnder(std::string target, const std::string& folder)
{
    static constexpr std::string_view deleted = " (deleted)";
    if (target.empty() || target.front() != '/')
        return false;
    if (target.ends_with(deleted))
        target.resize(target.size() - deleted.size());
    return isPathUnder(target, folder);
}

std::vector<std::string> folderEntries(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* folder = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(folder))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(folder);
    }
    return names;
}

// Whether one of the process's mapped files lies under `folder`. A maps line is
// "address perms offset device inode   path": the path follows the fifth field.
bool mapsUse(const std::string& process, const std::string& folder)
{
    std::ifstream maps(process + "/maps");
    for (std::string line; std::getline(maps, line);) {
        std::size_t position = 0;
        for (int field = 0; field < 5 && position != std::string::npos; ++field) {
            position = line.find_first_not_of(' ', position);
            position = position == std::string::npos ? position : line.find(' ', position);
        }
        if (position == std::string::npos)
            continue;
        position = line.find_first_not_of(' ', position);
        if (position != std::string::npos && pathIsUnder(line.substr(position), folder))
            return true;
    }
    return false;
}

bool processUses(const std::string& process, const std::string& folder)
{
    if (pathIsUnder(linkTarget(process + "/cwd"), folder) || pathIsUnder(linkTarget(process + "/root"), folder))
        return true;
    for (const std::string& fd : folderEntries(process + "/fd"))
        if (pathIsUnder(linkTarget(process + "/fd/" + fd), folder))
            return true;
    return mapsUse(process, folder);
}

} // namespace

std::vector<ProcessUsingPath> processesUsingPath(const std::string& folder, const std::string& procRoot)
{
    std::vector<ProcessUsingPath> found;
    for (const std::string& name : folderEntries(procRoot)) {
        if (!std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        const std::string process = procRoot + "/" + name;
        if (!processUses(process, folder))
            continue;
        ProcessUsingPath user;
        user.pid = static_cast<pid_t>(std::stol(name));
        std::ifstream comm(process + "/comm");
        std::getline(comm, user.command);
        found.push_back(std::move(user));
    }
    std::sort(found.begin(), found.end(), [](const ProcessUsingPath& a, const ProcessUsingPath& b) { return a.pid < b.pid; });
    return found;
}

std::string dissentingProcessName(const std::string& folder, const std::string& procRoot)
{
    const std::vector<ProcessUsingPath> users = processesUsingPath(folder, procRoot);
    const pid_t self = ::getpid();
    for (const ProcessUsingPath& user : users)
        if (user.pid != self)
            return user.command;
    return users.empty() ? std::string() : users.front().command;
}

} // namespace vistel
