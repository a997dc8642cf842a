#pragma once
// Scratch folders, files and mounts for the file-system tests.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace vistel::test {

// Clears the immutable attribute so that a scratch tree can always be removed.
inline void clearImmutable(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}

// A fresh folder under /tmp, removed with everything in it (locked items included).
class ScratchFolder {
public:
    explicit ScratchFolder(mode_t mode = 0700)
    {
        char pattern[] = "/tmp/vistel-fs-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (made) {
            path_ = made;
            ::chmod(made, mode);
        }
    }
    ~ScratchFolder()
    {
        if (path_.empty())
            return;
        std::error_code ignored;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_symlink(ignored))
                continue;
            clearImmutable(it->path());
            ::chmod(it->path().c_str(), it->is_directory(ignored) ? 0700 : 0600);
        }
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& contents, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary) << contents;
    ::chmod(path.c_str(), mode);
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline mode_t modeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

inline std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

inline std::map<std::string, std::string> userAttributes(const std::string& path)
{
    std::map<std::string, std::string> attributes;
    char names[4096];
    const ssize_t size = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; size > 0 && at < size;) {
        const std::string name(names + at);
        at += ssize_t(name.size()) + 1;
        if (name.rfind("user.", 0) != 0)
            continue;
        char value[4096];
        const ssize_t length = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
        attributes[name] = std::string(value, length > 0 ? std::size_t(length) : 0);
    }
    return attributes;
}

// A tmpfs of `size` ("4m", "1m") mounted on a fresh folder for the object's lifetime. `error`
// is the errno of a mount that failed (tests skip then: mounting needs privilege).
class ScopedTmpfs {
public:
    explicit ScopedTmpfs(unsigned long flags = 0, const std::string& size = "4m")
    {
        char pattern[] = "/tmp/vistel-mnt-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) {
            path_ = made;
            const std::string options = "size=" + size + ",mode=0777";
            if (::mount("tmpfs", made, "tmpfs", flags, options.c_str()) != 0)
                error = errno;
            else
                mounted_ = true;
        } else {
            error = errno;
        }
    }
    ~ScopedTmpfs()
    {
        if (mounted_)
            ::umount2(path_.c_str(), MNT_DETACH);
        if (!path_.empty())
            ::rmdir(path_.c_str());
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return path_; }
    // After the mount was moved elsewhere: unmount there instead.
    void movedTo(std::string path)
    {
        ::rmdir(path_.c_str());
        path_ = std::move(path);
    }

    int error = 0;

private:
    std::string path_;
    bool mounted_ = false;
};

// Starts `writeForever` in a child process (its output goes to /dev/null), lets it run for
// `pause` and kills it with SIGKILL: a crash at an arbitrary point of whatever it writes.
// False when no child could be started.
template <class Function>
bool killWhileWriting(Function writeForever, std::chrono::microseconds pause)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        writeForever();
        ::_exit(0);
    }
    std::this_thread::sleep_for(pause);
    ::kill(child, SIGKILL);
    int waitStatus = 0;
    ::waitpid(child, &waitStatus, 0);
    return true;
}

// Kills a child that writes `path` for ever (writeOnce(0), writeOnce(1), ...) at a random
// moment of up to `longestPause`, `rounds` times; after each kill the file must hold one of
// `accepted`, whole. Answers "" or, for the first round where it did not, what it held.
template <class WriteOnce>
std::string killRoundsLeaveOneOf(const std::string& path, int rounds, unsigned seed, WriteOnce writeOnce,
                                 const std::vector<std::string>& accepted,
                                 std::chrono::microseconds longestPause = std::chrono::milliseconds(20))
{
    std::mt19937 random(seed);
    for (int round = 0; round < rounds; ++round) {
        const auto pause = std::chrono::microseconds(random() % (longestPause.count() + 1));
        if (!killWhileWriting(
                [&] {
                    for (unsigned i = 0;; ++i)
                        writeOnce(i);
                },
                pause))
            return "no child process could be started";
        const std::string now = readFile(path);
        if (std::find(accepted.begin(), accepted.end(), now) == accepted.end())
            return "round " + std::to_string(round) + ": " + std::to_string(now.size()) + " bytes of none of the contents";
    }
    return {};
}

// The process's file-creation mask, read from /proc without changing it.
inline mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return mode_t(-1);
}

// Sets the modification time of the file `days` days back, as if it had been left long ago.
inline void makeOld(const std::string& path, int days = 1)
{
    const timespec times[2] = {{::time(nullptr) - days * 86400, 0}, {::time(nullptr) - days * 86400, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Runs the disabled tests matching `filter` of this very test program as the unprivileged
// user 65534 (through setpriv), with `variable` set to `value` in their environment; the
// folder they work in must be usable by that user. Answers whether exactly one test ran and
// passed, with the child's output in `log`. The caller skips when ::geteuid() != 0 or setpriv
// is missing (canRunAsNobody).
inline bool canRunAsNobody(std::string& why)
{
    if (::geteuid() != 0) {
        why = "needs root to start tests as an unprivileged user";
        return false;
    }
    if (::access("/usr/bin/setpriv", X_OK) != 0) {
        why = "setpriv (util-linux) is not installed";
        return false;
    }
    return true;
}

inline bool runAsNobody(const std::string& filter, const std::string& variable, const std::string& value,
                        const std::string& outputFile, std::string& log)
{
    const pid_t child = spawnTestProcess(filter, outputFile,
                                         {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"},
                                         {variable + "=" + value}, &log);
    if (child < 0)
        return false;
    int waitStatus = 0;
    if (::waitpid(child, &waitStatus, 0) != child)
        return false;
    log = readFile(outputFile);
    return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0
        && log.find("[  PASSED  ] 1 test.") != std::string::npos && log.find("SKIPPED") == std::string::npos;
}

} // namespace vistel::test
