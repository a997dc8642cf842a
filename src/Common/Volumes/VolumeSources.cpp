#include "Common/Volumes/VolumeSources.h"

#include <libudev.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "Platform/FilePaths.h"

namespace vistel {

namespace {

std::mutex sourcesMutex;
VolumeFactsSources& installedSources()
{
    static VolumeFactsSources sources;
    return sources;
}

constexpr std::array<std::string_view, 9> networkFileSystems {
    "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "davfs", "9p", "afs",
};

// Kernel and desktop file systems that hold no user files.
constexpr std::array<std::string_view, 24> pseudoFileSystems {
    "proc",      "sysfs",    "devtmpfs",   "devpts",     "cgroup",      "cgroup2",    "securityfs", "debugfs",
    "tracefs",   "pstore",   "bpf",        "mqueue",     "hugetlbfs",   "configfs",   "fusectl",    "autofs",
    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",     "fuse.gvfsd-fuse", "fuse.portal", "selinuxfs", "ramfs",
};

// getpwuid_r: the volume manager's thread asks while others may read the user database too, and
// getpwuid hands every caller the same static entry.
std::string loginName()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? std::size_t(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return found ? std::string(found->pw_name) : std::string();
}

// `path` lies strictly below `folder`.
bool isStrictlyUnder(std::string_view path, std::string_view folder)
{
    return path.size() > folder.size() + 1 && isPathUnder(path, folder);
}

bool isVolumePlace(const std::string& mountPoint, const VolumeFactsSources& sources)
{
    if (mountPoint == "/")
        return true;
    if (isStrictlyUnder(mountPoint, "/media") || isStrictlyUnder(mountPoint, "/mnt"))
        return true;
    if (!sources.userName.empty() && isStrictlyUnder(mountPoint, "/run/media/" + sources.userName))
        return true;
    const std::string& home = sources.homeFolder;
    return home.size() > 1 && home.starts_with('/') && isPathUnder(mountPoint, home);
}

bool isVolumeMount(const MountTableEntry& entry, const VolumeFactsSources& sources)
{
    if (isNetworkFileSystem(entry.fileSystem))
        return true;
    if (std::find(pseudoFileSystems.begin(), pseudoFileSystems.end(), entry.fileSystem) != pseudoFileSystems.end())
        return false;
    if (!isVolumePlace(entry.mountPoint, sources))
        return false;
    // A bind mount of one file: only a mount of a part of a file system can be one, so the
    // whole file systems are never looked at (a mount point may hang on a dead device).
    if (entry.root != "/") {
        struct stat info {};
        if (::stat(entry.mountPoint.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
            return false;
    }
    return true;
}

} // namespace

VolumeFactsSources volumeFactsSources()
{
    VolumeFactsSources sources;
    {
        std::lock_guard lock(sourcesMutex);
        sources = installedSources();
    }
    if (!sources.mountTableText)
        sources.mountTableText = readMountTableText;
    if (!sources.blockDevice)
        sources.blockDevice = udevBlockDeviceFacts;
    if (!sources.freeBytes)
        sources.freeBytes = statvfsFreeBytes;
    if (sources.homeFolder.empty())
        if (const char* home = std::getenv("HOME"))
            sources.homeFolder = home;
    if (sources.userName.empty())
        sources.userName = loginName();
    return sources;
}

ScopedVolumeFactsSources::ScopedVolumeFactsSources(VolumeFactsSources sources)
{
    std::lock_guard lock(sourcesMutex);
    previous_ = std::exchange(installedSources(), std::move(sources));
}

ScopedVolumeFactsSources::~ScopedVolumeFactsSources()
{
    std::lock_guard lock(sourcesMutex);
    installedSources() = std::move(previous_);
}

std::optional<BlockDeviceFacts> udevBlockDeviceFacts(dev_t device)
{
    if (major(device) == 0)
        return std::nullopt;
    struct udev* context = ::udev_new();
    if (!context)
        return std::nullopt;
    std::optional<BlockDeviceFacts> facts;
    if (struct udev_device* block = ::udev_device_new_from_devnum(context, 'b', device)) {
        facts.emplace();
        struct udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, ::udev_device_get_properties_list_entry(block))
        {
            const char* name = ::udev_list_entry_get_name(entry);
            const char* value = ::udev_list_entry_get_value(entry);
            if (name && value)
                facts->properties[name] = value;
        }
        // Owned by `block`; not unreferenced here.
        if (struct udev_device* usb = ::udev_device_get_parent_with_subsystem_devtype(block, "usb", "usb_device")) {
            for (const char* attribute : {"idVendor", "idProduct", "serial", "product"})
                if (const char* value = ::udev_device_get_sysattr_value(usb, attribute))
                    facts->usbDevice[attribute] = value;
        }
        ::udev_device_unref(block);
    }
    ::udev_unref(context);
    return facts;
}

std::optional<std::uint64_t> statvfsFreeBytes(const std::string& path)
{
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0)
        return std::nullopt;
    return std::uint64_t(info.f_bavail) * info.f_frsize;
}

bool isNetworkFileSystem(std::string_view fileSystem)
{
    return std::find(networkFileSystems.begin(), networkFileSystems.end(), fileSystem) != networkFileSystems.end();
}

std::vector<MountTableEntry> volumeMounts(const std::vector<MountTableEntry>& table, const VolumeFactsSources& sources)
{
    std::unordered_map<std::string_view, std::size_t> topmost;
    for (std::size_t i = 0; i < table.size(); ++i)
        topmost[table[i].mountPoint] = i;
    std::vector<MountTableEntry> volumes;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (topmost[table[i].mountPoint] == i && isVolumeMount(table[i], sources))
            volumes.push_back(table[i]);
    return volumes;
}

} // namespace vistel
