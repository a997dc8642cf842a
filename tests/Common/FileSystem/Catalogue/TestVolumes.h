#pragma once
// Real volumes for tests: file systems mounted in a staging folder, described to the volume
// manager through its device seam as USB sticks or local disks, then moved to
// /media/<user>/<name>, where the catalogue picks them up. Needs usePrivateMediaFolder()
// (MediaTestSupport.h) from a static initialiser and the seam installed once by the binary:
//   const auto* seam = ::testing::AddGlobalTestEnvironment(new TestVolumeSeam);

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "../../Alert/AlertTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/XML/XMLDocumentID.h"
#include "Common/Volumes/VolumeSources.h"
#include "MediaTestSupport.h"
#include "TestSupport.h"

namespace vistel::test {

// The facts the seam gives for the test's devices, and free bytes by mount point.
struct DescribedDevices {
    std::mutex mutex;
    std::map<dev_t, BlockDeviceFacts> facts;
    std::map<std::string, std::uint64_t> freeBytes;
    static DescribedDevices& shared()
    {
        static DescribedDevices devices;
        return devices;
    }
};

class TestVolumeSeam : public ::testing::Environment {
public:
    void SetUp() override
    {
        VolumeFactsSources sources;
        sources.blockDevice = [](dev_t device) -> std::optional<BlockDeviceFacts> {
            DescribedDevices& devices = DescribedDevices::shared();
            std::lock_guard lock(devices.mutex);
            if (auto found = devices.facts.find(device); found != devices.facts.end())
                return found->second;
            return udevBlockDeviceFacts(device);
        };
        sources.freeBytes = [](const std::string& path) -> std::optional<std::uint64_t> {
            DescribedDevices& devices = DescribedDevices::shared();
            std::lock_guard lock(devices.mutex);
            for (const auto& [mountPoint, bytes] : devices.freeBytes)
                if (path == mountPoint || path.rfind(mountPoint + "/", 0) == 0)
                    return bytes;
            return statvfsFreeBytes(path);
        };
        seam_ = std::make_unique<ScopedVolumeFactsSources>(sources);
    }
    void TearDown() override { seam_.reset(); }

private:
    std::unique_ptr<ScopedVolumeFactsSources> seam_;
};

// The volumes one test mounts, all taken off when it ends.
class TestVolumes {
public:
    enum class Kind { Stick, Disk };
    // Runs on a volume's root before the catalogue sees it.
    using Prepare = std::function<void(const std::string& root)>;

    TestVolumes()
    {
        const struct passwd* account = ::getpwuid(::getuid());
        user_ = std::string("/media/") + (account ? account->pw_name : "root");
    }
    ~TestVolumes()
    {
        while (!mounted_.empty())
            unmountAt(mounted_.back());
    }
    TestVolumes(const TestVolumes&) = delete;
    TestVolumes& operator=(const TestVolumes&) = delete;

    std::string mountPoint(const std::string& name) const { return user_ + "/" + name; }
    // Where file systems are made before they are attached.
    const std::string& stagingFolder() const { return staging_.path(); }

    // A tmpfs as a USB stick or a local disk named `name`, mounted and announced by the
    // catalogue's "MountMedia": its volume item, or null.
    Ref<FileSystemVolumeMO> mount(const std::string& name, Kind kind = Kind::Stick, const Prepare& prepare = {},
                                  bool readOnly = false)
    {
        const std::string staging = stagingFolder() + "/" + name;
        std::filesystem::create_directories(staging);
        if (::mount("tmpfs", staging.c_str(), "tmpfs", 0, "size=64m") != 0)
            return {};
        if (prepare)
            prepare(staging);
        if (readOnly)
            ::mount(nullptr, staging.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        return attach(staging, name, kind);
    }
    // Describes the file system mounted at `staging` and moves it to /media/<user>/<name>; on
    // failure it is unmounted.
    Ref<FileSystemVolumeMO> attach(const std::string& staging, const std::string& name, Kind kind)
    {
        const std::string target = mountPoint(name);
        std::filesystem::create_directories(target);
        struct stat st {};
        ::stat(staging.c_str(), &st);
        {
            DescribedDevices& devices = DescribedDevices::shared();
            std::lock_guard lock(devices.mutex);
            if (kind == Kind::Stick)
                devices.facts[st.st_dev] = {{{"ID_BUS", "usb"}, {"ID_FS_UUID", "TEST-" + name}, {"ID_FS_LABEL", name}},
                                            {{"idVendor", "1d6b"}, {"idProduct", "0104"}, {"serial", "SN-" + name}}};
            else
                devices.facts[st.st_dev] = {{{"ID_BUS", "ata"}, {"ID_FS_UUID", "TEST-" + name}, {"ID_FS_LABEL", name}}, {}};
        }
        const std::size_t before = notices_.posted.size();
        if (::mount(staging.c_str(), target.c_str(), nullptr, MS_MOVE, nullptr) != 0) {
            ::umount2(staging.c_str(), MNT_DETACH);
            return {};
        }
        mounted_.push_back(target);
        // Notices of earlier volumes may still come: this one's is the one with its mount point.
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
    // What the volume manager reads as the volume's free bytes from now on.
    void setFreeBytes(const std::string& name, std::uint64_t bytes)
    {
        DescribedDevices& devices = DescribedDevices::shared();
        std::lock_guard lock(devices.mutex);
        devices.freeBytes[mountPoint(name)] = bytes;
    }
    // Unmounts it and waits for the catalogue's "UnmountMedia".
    bool unmount(const std::string& name) { return unmountAt(mountPoint(name)); }

    MediaNotices notices_;

private:
    bool unmountAt(std::string target)
    {
        const std::size_t before = notices_.posted.size();
        mounted_.erase(std::remove(mounted_.begin(), mounted_.end(), target), mounted_.end());
        if (::umount2(target.c_str(), 0) != 0 && ::umount2(target.c_str(), MNT_DETACH) != 0)
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
    TemporaryFolder staging_ {"vistel-test-volumes"};
    std::vector<std::string> mounted_;
};

// Makes a volume the picture frame `name` at width x height from the start: its identity file.
inline TestVolumes::Prepare frameIdentity(const std::string& name, int width, int height,
                                          std::optional<std::string> diagonal = std::nullopt)
{
    return [=](const std::string& root) {
        XMLDocumentID::createWithParameters("ID-" + name, name, float(width), float(height), diagonal)->saveToFile(root);
    };
}

} // namespace vistel::test
