#pragma once
// Volumes for the catalogue's and browse mode's tests: a /media that only this process sees, and
// the catalogue's "MountMedia" / "UnmountMedia" as they are posted.

#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/NotificationCenter.h"

namespace vistel::test {

// Unshares the mount namespace and mounts a private tmpfs on /media; call from a static
// initialiser, while the process has one thread. Folders are shared between namespaces, and
// removing a folder takes off whatever any namespace mounted on it: with one /media/<user>/CARD
// for all, a run ending beside another would unmount the other's card. False when the system
// does not allow it.
inline bool usePrivateMediaFolder()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return false;
    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    std::error_code ignored;
    std::filesystem::create_directories("/media", ignored);
    return ::mount("tmpfs", "/media", "tmpfs", 0, "size=1m,mode=755") == 0;
}

// /media/<user>/CARD, where this user's removable volumes mount: made for one test and taken
// away after it with whatever is still mounted on it, and /media/<user> too when it was made here.
class MediaCardFolder {
public:
    MediaCardFolder()
    {
        const struct passwd* account = ::getpwuid(::getuid());
        user_ = std::string("/media/") + (account ? account->pw_name : "root");
        path_ = user_ + "/CARD";
        madeUserFolder_ = !std::filesystem::exists(user_);
        std::filesystem::create_directories(path_);
    }
    ~MediaCardFolder()
    {
        ::umount2(path_.c_str(), MNT_DETACH); // EINVAL when nothing is mounted
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        if (madeUserFolder_)
            std::filesystem::remove(user_, ignored);
    }
    MediaCardFolder(const MediaCardFolder&) = delete;
    MediaCardFolder& operator=(const MediaCardFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string user_;
    std::string path_;
    bool madeUserFolder_ = false;
};

// "MountMedia" and "UnmountMedia" as they are posted.
class MediaNotices {
public:
    MediaNotices()
    {
        for (const char* name : {"MountMedia", "UnmountMedia"})
            NotificationCenter::defaultCenter().addObserver(
                this, [this](const Notification& n) { posted.push_back(n); }, name);
    }
    ~MediaNotices() { NotificationCenter::defaultCenter().removeObserver(this); }
    MediaNotices(const MediaNotices&) = delete;
    MediaNotices& operator=(const MediaNotices&) = delete;
    std::vector<Notification> posted;
};

} // namespace vistel::test
