#pragma once
// Volumes for the catalogue's and browse mode's tests: a /media that only this process sees, and
// the catalogue's "MountMedia" / "UnmountMedia" as they are posted.

#include <sched.h>
#include <sys/mount.h>

#include <filesystem>
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
