#pragma once
// What the browse-mode tests share: the browse mode in a real main window, and volumes described
// at a folder's place (a picture frame, a USB stick) without mounting anything.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>

#include "../../Common/Alert/AlertTestSupport.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/MainWindow.h"

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/MountTable.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/FilePaths.h"
#include "Preferences/Preferences.h"

namespace vistel::test {

// The catalogue item of a path on disk, made with its folders as needed, all writable; the files
// made are decodable when `decodableFiles` is set.
inline Ref<FileSystemItemMO> catalogueItemAt(MediaDatabase& database, const std::string& path, bool decodableFiles)
{
    Ref<FileSystemItemMO> node = database.rootItem();
    if (!node) {
        node = database.createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        node->setWritable(true);
    }
    std::string sofar;
    for (const std::string& component : pathComponents(path)) {
        if (component == "/")
            continue;
        sofar += "/" + component;
        Ref<FileSystemItemMO> child = node->childWithName(component);
        if (!child) {
            struct stat st {};
            const bool folder = ::stat(sofar.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            child = database.createChildOf(node.get(), component,
                                           folder ? MediaDatabase::EntityFolder : MediaDatabase::EntityFile);
            child->setValid(true);
            child->setWritable(true);
            if (decodableFiles)
                child->setDecodable(!folder);
        }
        node = child;
    }
    return node;
}

// A main window with the browse mode as its only mode, shown; answers its browse mode (null
// when it has none). closeBrowseWindow lets it go and clears the mode factories.
inline BrowsingModeController* openBrowseWindow(std::unique_ptr<MainWindow>& window)
{
    MainWindow::clearModeFactories();
    BrowsingModeController::registerMode();
    window = MainWindow::create();
    window->showWindow();
    return dynamic_cast<BrowsingModeController*>(window->browsingModeController());
}
// Waits for the sidebar's own first choice, the start folder, which comes once the catalogue
// has refreshed it: a selection the test makes before then is replaced (under load, seconds
// later). False when it did not come.
inline bool waitForStartLocation(BrowsingModeController& mode, int milliseconds = 20000)
{
    const std::string start = Preferences::defaultBrowserPanelSelectedLoaction();
    return spinUntil(
        [&] {
            const ItemList& folders = mode.browsingSelection()->selectedFolders();
            return folders.size() == 1 && folders.front()->fullPath() == start;
        },
        milliseconds);
}
inline void closeBrowseWindow(std::unique_ptr<MainWindow>& window)
{
    window.reset();
    MainWindow::clearModeFactories();
}

// A read-write mount of `fileSystem` at `folder`, on the folder's own device.
inline MountTableEntry mountEntryAt(const std::string& folder, const char* fileSystem)
{
    struct stat st {};
    MountTableEntry mount;
    mount.mountPoint = folder;
    mount.fileSystem = fileSystem;
    mount.device = ::stat(folder.c_str(), &st) == 0 ? st.st_dev : 0;
    mount.mountOptions = "rw";
    mount.superOptions = "rw";
    return mount;
}

// A picture frame at `folder`: its volume registered with the volume manager under `refNum`
// (the caller removes it), and its catalogue item; null when either cannot be made.
inline Ref<FileSystemItemMO> makePictureFrame(MediaDatabase& database, const std::string& folder, std::int16_t refNum)
{
    Ref<ZovVolumeInfo> info = ZovVolumeInfo::volumeInfoWithMount(mountEntryAt(folder, "vfat"), refNum);
    if (!info)
        return nullptr;
    info->setDeviceCategory(ZovDeviceInfo::pictureFrameCategory());
    if (!ZovVolumeManager::sharedVolumeManager().addVolumeInfo(info))
        return nullptr;
    Ref<FileSystemItemMO> frame = database.createChildOf(database.volumesFolder().get(), "FRAME", MediaDatabase::EntityVolume);
    frame->setUuid(info->key());
    return frame;
}

} // namespace vistel::test
