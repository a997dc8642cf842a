// volumedump: lists the volumes the catalogue sees on this machine, one line each:
// type, key, mount point and relative path, separated by tabs, sorted by mount point.

#include <algorithm>
#include <cstdio>
#include <exception>

#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Volumes/ZovVolumeManager.h"

int main()
{
    using namespace vistel;
    try {
        NSThreadExt::recordMainThread();
        Ref<ZovVolumeManager> manager = ZovVolumeManager::create();
        std::vector<Ref<ZovDeviceInfo>> volumes = manager->volumeInfos();
        std::sort(volumes.begin(), volumes.end(),
                  [](const Ref<ZovDeviceInfo>& a, const Ref<ZovDeviceInfo>& b) { return a->mountPoint() < b->mountPoint(); });
        for (const Ref<ZovDeviceInfo>& volume : volumes)
            std::printf("%s\t%s\t%s\t%s\n", volume->type().c_str(), volume->key().c_str(), volume->mountPoint().c_str(),
                        volume->relativePath().c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "volumedump: %s\n", e.what());
        return 1;
    }
}
