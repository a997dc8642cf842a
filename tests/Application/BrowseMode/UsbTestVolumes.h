#pragma once
// Real volumes for browse-mode tests: file systems mounted below a private /media (the binary
// calls usePrivateMediaFolder() from a static initialiser) and described to the volume manager
// through its device seam as USB sticks or local disks, a picture frame holding its identity
// file from the start. The binary registers the seam once:
//   const auto* seam = ::testing::AddGlobalTestEnvironment(new UsbDeviceSeam);

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/Volumes/VolumeSources.h"
#include "Common/XML/XMLDocumentID.h"
#include "MediaTestSupport.h"
#include "TestSupport.h"

namespace vistel::test {

// The facts the seam gives for the test's devices.
struct DescribedDevices {
    std::mutex mutex;
    std::map<dev_t, BlockDeviceFacts> facts;
    static DescribedDevices& shared()
    {
        static DescribedDevices devices;
        return devices;
    }
};

class UsbDeviceSeam : public ::testing::Environment {
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

    TestVolumes()
    {
        const struct passwd* account = ::getpwuid(::getuid());
        user_ = std::string("/media/") + (account ? account->pw_name : "root");
    }
    ~TestVolumes()
    {
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it)
            unmount(*it);
    }
    TestVolumes(const TestVolumes&) = delete;
    TestVolumes& operator=(const TestVolumes&) = delete;

    // A tmpfs as a USB stick or a local disk named `name`; a frame of that resolution when
    // one is given (its identity file made before it mounts). Its volume item, null when it
    // cannot be mounted.
    Ref<FileSystemVolumeMO> mountTmpfs(const std::string& name, Kind kind = Kind::Stick,
                                       std::optional<std::pair<int, int>> frame = std::nullopt)
    {
        const std::string staging = staging_.path() + "/" + name;
        std::filesystem::create_directories(staging);
        if (::mount("tmpfs", staging.c_str(), "tmpfs", 0, "size=64m") != 0)
            return {};
        Ref<FileSystemVolumeMO> volume = attach(staging, name, kind, frame);
        if (!volume)
            ::umount2(staging.c_str(), MNT_DETACH);
        return volume;
    }
    // Describes the file system mounted at `staging` and moves it to /media/<user>/<name>.
    Ref<FileSystemVolumeMO> attach(const std::string& staging, const std::string& name, Kind kind,
                                   std::optional<std::pair<int, int>> frame)
    {
        const std::string target = user_ + "/" + name;
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
        if (frame)
            XMLDocumentID::createWithParameters("ID-" + name, name, float(frame->first), float(frame->second), std::nullopt)
                ->saveToFile(staging);
        const std::size_t before = notices_.posted.size();
        if (::mount(staging.c_str(), target.c_str(), nullptr, MS_MOVE, nullptr) != 0)
            return {};
        mounted_.push_back(target);
        if (!spinUntil([&] { return notices_.posted.size() > before; }, 10000))
            return {};
        return notices_.posted.back().userInfo.get("FileSystemItemMO").toObject<FileSystemVolumeMO>();
    }
    // Unmounts and waits for the catalogue to hear of it.
    bool unmount(const std::string& target)
    {
        const std::size_t before = notices_.posted.size();
        if (::umount2(target.c_str(), 0) != 0 && ::umount2(target.c_str(), MNT_DETACH) != 0)
            return false;
        mounted_.erase(std::remove(mounted_.begin(), mounted_.end(), target), mounted_.end());
        return spinUntil([&] { return notices_.posted.size() > before; }, 10000);
    }
    const std::string& stagingFolder() const { return staging_.path(); }

private:
    std::string user_;
    TemporaryFolder staging_ {"vistel-test-volumes"};
    std::vector<std::string> mounted_;
    MediaNotices notices_;
};

} // namespace vistel::test
