#pragma once
// USB sticks for tests: tmpfs mounts made in a staging folder, described as USB devices through
// the volume manager's device seam, then moved to /media/<user>/<name>, where the catalogue
// picks them up. Needs usePrivateMediaFolder() (MediaTestSupport.h) from a static initialiser
// and the seam installed by UsbStickSeam (a global test environment).

#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "../../Alert/AlertTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/VolumeSources.h"
#include "MediaTestSupport.h"
#include "TestSupport.h"

namespace vistel::test {

// USB facts for the devices of the sticks mounted.
struct UsbStickDevices {
    std::mutex mutex;
    std::map<dev_t, BlockDeviceFacts> usb;
    static UsbStickDevices& shared()
    {
        static UsbStickDevices devices;
        return devices;
    }
};

class UsbStickSeam : public ::testing::Environment {
public:
    void SetUp() override
    {
        VolumeFactsSources sources;
        sources.blockDevice = [](dev_t device) -> std::optional<BlockDeviceFacts> {
            UsbStickDevices& devices = UsbStickDevices::shared();
            std::lock_guard lock(devices.mutex);
            if (auto found = devices.usb.find(device); found != devices.usb.end())
                return found->second;
            return udevBlockDeviceFacts(device);
        };
        seam_ = std::make_unique<ScopedVolumeFactsSources>(sources);
    }
    void TearDown() override { seam_.reset(); }

private:
    std::unique_ptr<ScopedVolumeFactsSources> seam_;
};

class UsbSticks {
public:
    UsbSticks()
    {
        const struct passwd* account = ::getpwuid(::getuid());
        user_ = std::string("/media/") + (account ? account->pw_name : "root");
    }
    ~UsbSticks()
    {
        while (!mounted_.empty())
            unmountAt(mounted_.back());
    }
    UsbSticks(const UsbSticks&) = delete;
    UsbSticks& operator=(const UsbSticks&) = delete;

    std::string mountPoint(const std::string& name) const { return user_ + "/" + name; }

    // Mounts the stick and waits for the catalogue's "MountMedia": its volume item, or null.
    // `prepare` runs on the stick's root before the catalogue sees it.
    Ref<FileSystemVolumeMO> mount(const std::string& name, bool readOnly = false,
                                  const std::function<void(const std::string& root)>& prepare = {})
    {
        const std::string staging = staging_.path() + "/" + name;
        const std::string target = mountPoint(name);
        std::filesystem::create_directories(staging);
        std::filesystem::create_directories(target);
        if (::mount("tmpfs", staging.c_str(), "tmpfs", 0, "size=1m") != 0)
            return {};
        struct stat st {};
        ::stat(staging.c_str(), &st);
        {
            UsbStickDevices& devices = UsbStickDevices::shared();
            std::lock_guard lock(devices.mutex);
            devices.usb[st.st_dev] = {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "TEST-" + name}, {"ID_FS_LABEL", name}},
                                      {{"idVendor", "1d6b"}, {"idProduct", "0104"}, {"serial", "SN-" + name}}};
        }
        if (prepare)
            prepare(staging);
        if (readOnly)
            ::mount(nullptr, staging.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        const std::size_t before = notices_.posted.size();
        if (::mount(staging.c_str(), target.c_str(), nullptr, MS_MOVE, nullptr) != 0) {
            ::umount2(staging.c_str(), MNT_DETACH);
            return {};
        }
        mounted_.push_back(target);
        // Notices of earlier sticks may still come: this stick's is the one with its mount point.
        Ref<FileSystemVolumeMO> volume;
        spinUntil(
            [&] {
                for (std::size_t i = before; i < notices_.posted.size() && !volume; ++i)
                    if (auto item = notices_.posted[i].userInfo.get("FileSystemItemMO").toObject<FileSystemVolumeMO>();
                        notices_.posted[i].name == "MountMedia" && item && item->fullPath() == target)
                        volume = item;
                return bool(volume);
            },
            10000);
        return volume;
    }
    // Unmounts it and waits for the catalogue's "UnmountMedia".
    bool unmount(const std::string& name) { return unmountAt(mountPoint(name)); }

    MediaNotices notices_;

private:
    bool unmountAt(std::string target)
    {
        const std::size_t before = notices_.posted.size();
        mounted_.erase(std::remove(mounted_.begin(), mounted_.end(), target), mounted_.end());
        if (::umount2(target.c_str(), MNT_DETACH) != 0)
            return false;
        return spinUntil(
            [&] {
                for (std::size_t i = before; i < notices_.posted.size(); ++i)
                    if (notices_.posted[i].name == "UnmountMedia")
                        return true;
                return false;
            },
            10000);
    }

    std::string user_;
    TemporaryFolder staging_ {"vistel-usb-sticks"};
    std::vector<std::string> mounted_;
};

} // namespace vistel::test
