#include "Application/PartialCopySweep.h"

#include <set>
#include <string>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/FileOperations/FileTree.h"
#include "Platform/RunLoop.h"

namespace vistel {

namespace {

constexpr std::size_t NoLimit = 10000000;

} // namespace

void sweepPartialCopiesInCataloguedFolders(MediaDatabase& catalogue, std::function<void()> done)
{
    auto folders = std::make_shared<std::set<std::string>>();
    for (const char* entity : {MediaDatabase::EntityVolume, MediaDatabase::EntityFolder}) {
        const auto objects = catalogue.searchObjectsBy("", {}, NoLimit, entity);
        if (!objects)
            continue;
        for (const Ref<store::ManagedObject>& object : *objects)
            if (const auto item = dynamicRefCast<FileSystemItemMO>(object)) {
                std::string path = item->fullPath();
                if (NSStringDevices::isVolumePath(path)) // camera folders hold no partial copies
                    folders->insert(std::move(path));
            }
    }
    const Ref<NSThreadExt> worker = NSThreadExt::create([folders, done = std::move(done)] {
        for (const std::string& folder : *folders)
            sweepAbandonedPartialCopies(folder);
        if (done)
            RunLoop::main()->perform(done, {NSDefaultRunLoopMode});
    });
    worker->start();
}

} // namespace vistel
