// The volume manager on the live mount table: tmpfs volumes mounted under /mnt by the test, in
// a mount namespace of its own where the system allows one. Skipped when mounting is refused.

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "Common/Alert/NSAlertFileError.h"
#include "Common/XML/XMLDocumentID.h"
#include "VolumeTestSupport.h"
#include "MountNamespace.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::SignalRecorder;

namespace {

const auto* const environment = ::testing::AddGlobalTestEnvironment(new test::PrivateMountNamespace);

// A tmpfs mounted at a new folder under /mnt for the object's lifetime.
class MntTmpfs {
public:
    MntTmpfs()
    {
        char pattern[] = "/mnt/vistel-XXXXXX";
        if (!::mkdtemp(pattern))
            return;
        path = pattern;
        mounted = ::mount("tmpfs", pattern, "tmpfs", 0, "size=1m,mode=0777") == 0;
    }
    void unmount()
    {
        if (mounted)
            mounted = ::umount2(path.c_str(), MNT_DETACH) != 0;
    }
    ~MntTmpfs()
    {
        unmount();
        if (!path.empty())
            ::rmdir(path.c_str());
    }
    std::string path;
    bool mounted = false;
};

std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, got);
        ::pclose(pipe);
    }
    return output;
}

} // namespace

TEST(VolumeMounts, TmpfsVolumesComeAndGoWithOneSignalEach)
{
    ZovVolumeManager& manager = ZovVolumeManager::sharedVolumeManager();
    ASSERT_TRUE(manager.volumeInfoForMountPoint("/"));
    Ref<SignalRecorder> recorder = SignalRecorder::create(manager);

    MntTmpfs first;
    if (!first.mounted)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    ASSERT_TRUE(recorder->waitFor(1, 0));
    EXPECT_TRUE(recorder->allOnMainThread);
    const Ref<ZovDeviceInfo> info = recorder->mounted[0];
    EXPECT_EQ(info->mountPoint(), first.path);
    EXPECT_EQ(info->type(), "HD");
    EXPECT_TRUE(info->isWritable());
    EXPECT_TRUE(info->verifySynchronously());
    EXPECT_GT(info->freeBytes(), 0u);

    const std::pair<std::string, std::string> paths[] = {
        {first.path + "/DCIM", first.path},
        {first.path, first.path},
        {first.path + "y", "/"},
        {"ICA:/5/a", "nil"},
    };
    for (const auto& [path, mountPoint] : paths) {
        const Ref<ZovDeviceInfo> found = manager.volumeInfoForPath(path);
        EXPECT_EQ(found ? found->mountPoint() : "nil", mountPoint) << path;
    }

    // The file-error alert asks the registry.
    const auto volume = NSAlertFileError::volumeLookup()(first.path + "/picture.jpg");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->displayName, info->displayName());
    EXPECT_EQ(volume->displayName, std::filesystem::path(first.path).filename().string());
    EXPECT_TRUE(volume->available);

    // Made a picture frame and back: the identity file comes and goes.
    auto& volumeInfo = dynamic_cast<ZovVolumeInfo&>(*info);
    volumeInfo.setDeviceCategory(ZovDeviceInfo::pictureFrameCategory());
    EXPECT_TRUE(XMLDocumentID::createWithXMLFile(first.path));
    volumeInfo.setDeviceCategory(ZovDeviceInfo::generalUSBFileStorageCategory());
    EXPECT_FALSE(std::filesystem::exists(first.path + "/.VistelDPF-ID.xml"));

    // The dump tool sees the same volumes.
    const std::string dump = run(VISTEL_VOLUMEDUMP_PATH);
    EXPECT_NE(dump.find("\t/\t/\n"), std::string::npos) << dump;
    const std::string name = std::filesystem::path(first.path).filename().string();
    EXPECT_NE(dump.find("HD\t" + info->key() + "\t" + first.path + "\t" + name + "\n"), std::string::npos)
        << dump;

    MntTmpfs second;
    ASSERT_TRUE(second.mounted);
    ASSERT_TRUE(recorder->waitFor(2, 0));
    const auto& other = dynamic_cast<ZovVolumeInfo&>(*recorder->mounted[1]);
    EXPECT_EQ(other.mountPoint(), second.path);
    EXPECT_NE(other.key(), info->key());
    EXPECT_NE(other.refNum(), volumeInfo.refNum());

    first.unmount();
    ASSERT_TRUE(recorder->waitFor(2, 1));
    EXPECT_EQ(recorder->unmounted[0].get(), info.get());
    EXPECT_FALSE(manager.volumeInfoForMountPoint(first.path));
    second.unmount();
    ASSERT_TRUE(recorder->waitFor(2, 2));
    EXPECT_TRUE(recorder->allOnMainThread);
}
