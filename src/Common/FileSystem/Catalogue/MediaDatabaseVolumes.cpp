// MediaDatabase: the volume items, path lookup, path refreshes and mounts (see MediaDatabase.h).

#include <algorithm>

#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Log.h"
#include "Platform/NotificationQueue.h"

namespace vistel {

namespace {

constexpr std::size_t NoLimit = 1000000;

std::vector<Ref<FileSystemItemMO>> itemsOf(const std::optional<std::vector<Ref<store::ManagedObject>>>& objects)
{
    std::vector<Ref<FileSystemItemMO>> items;
    if (objects)
        for (const auto& object : *objects)
            if (auto item = dynamicRefCast<FileSystemItemMO>(object))
                items.push_back(item);
    return items;
}

} // namespace

// --- the volume list --------------------------------------------------------------------------

Ref<FileSystemItemMO> MediaDatabase::volumesFolder()
{
    auto found = itemsOf(searchObjectsBy("uuid==%@", {Value(VolumesFolderUUID)}, 1, EntityFolder));
    Ref<FileSystemItemMO> folder = found.empty() ? Ref<FileSystemItemMO>() : found.front();
    if (!folder) {
        auto context = managedObjectContext();
        if (!context)
            return {};
        folder = dynamicRefCast<FileSystemItemMO>(context->insertNewObject(EntityFolder));
        if (!folder)
            return {};
        folder->setName("Volumes");
        folder->setUuid(std::string(VolumesFolderUUID));
        folder->setVisible(false);
    }
    folder->setMediaDatabase(this);
    folder->setRefreshStatus(0);
    return folder;
}

void MediaDatabase::resetVolumes()
{
    volumes_.reset();
}

const std::vector<Ref<FileSystemItemMO>>& MediaDatabase::volumes()
{
    if (!volumes_) {
        volumes_.emplace();
        try {
            buildVolumes();
        } catch (const Exception& exception) {
            ErrorRecord error;
            error.domain = "NSPOSIXErrorDomain";
            error.userInfo = Value::dictionary({{"NSLocalizedFailureReason", exception.reason()}});
            PlatformApplication::presentError(error);
        }
    }
    return *volumes_;
}

void MediaDatabase::buildVolumes()
{
    const std::vector<Ref<ZovDeviceInfo>> infos = ZovVolumeManager::sharedVolumeManager().volumeInfos();
    Ref<FileSystemItemMO> folder = volumesFolder();
    auto context = managedObjectContext();
    if (!folder || !context)
        return;
    folder->resetCache();
    folder->resetByNameCache();

    for (const auto& item : itemsOf(searchObjectsBy("", {}, NoLimit, EntityVolume)))
        item->setValid(false);
    for (const auto& info : infos) {
        auto same = itemsOf(searchObjectsBy("uuid==%@", {Value(info->key())}, NoLimit, EntityVolume));
        Ref<FileSystemItemMO> item;
        if (same.empty()) {
            item = dynamicRefCast<FileSystemItemMO>(context->insertNewObject(EntityVolume));
            if (!item)
                continue;
            applyVolumeInfo(info.get(), item.get());
        } else {
            item = same.front();
            for (std::size_t i = 1; i < same.size(); ++i)
                context->deleteObject(same[i].get());
            item->setName(info->relativePath());
        }
        item->setValid(true);
        if (info->mountPoint() == "/")
            folder->setParent(item.get());
        else
            item->setParent(folder.get());
        item->setMediaDatabase(this);
    }

    std::vector<Ref<FileSystemItemMO>> valid;
    for (const auto& item : itemsOf(searchObjectsBy("", {}, NoLimit, EntityVolume)))
        if (item->isValid())
            valid.push_back(item);
    std::stable_sort(valid.begin(), valid.end(), [](const auto& a, const auto& b) {
        return a->compareDisplayName(b.get()) == FileSystemItemMO::ComparisonResult::Ascending;
    });
    *volumes_ = std::move(valid);
}

void MediaDatabase::applyVolumeInfo(ZovDeviceInfo* info, FileSystemItemMO* item)
{
    item->setUuid(info->key());
    item->setName(info->relativePath());
    item->setWritable(info->isWritable());
}

Ref<FileSystemItemMO> MediaDatabase::rootItem(std::size_t index)
{
    const auto& list = volumes();
    return index < list.size() ? list[index] : Ref<FileSystemItemMO>();
}

Ref<FileSystemItemMO> MediaDatabase::rootItem()
{
    for (const auto& item : volumes())
        if (item->fullPath() == "/")
            return item;
    return {};
}

// --- paths --------------------------------------------------------------------------------------

Ref<FileSystemItemMO> MediaDatabase::volumeItemForPath(std::string_view path)
{
    const Ref<ZovDeviceInfo> info = ZovVolumeManager::sharedVolumeManager().volumeInfoForPath(std::string(path));
    if (!info)
        return {};
    for (const auto& item : volumes())
        if (item->uuid() == info->key())
            return item;
    return objectExistingForUUID(info->key());
}

Ref<FileSystemItemMO> MediaDatabase::findExistingItemForPath(std::string_view path)
{
    try {
        if (NSStringDevices::isICADevicePath(path)) {
            // A camera answers its volume item; the files inside are not walked.
            const auto camera = NSStringDevices::icaDevicePath(path);
            Ref<FileSystemItemMO> found;
            if (camera)
                for (const auto& item : volumes())
                    if (item->fullPath() == *camera)
                        found = item;
            return found;
        }
        if (!NSStringDevices::isVolumePath(path))
            return {};
        const std::string normalized = normalizedPath(path);
        const Ref<ZovDeviceInfo> info = ZovVolumeManager::sharedVolumeManager().volumeInfoForPath(normalized);
        if (!info)
            return {};
        Ref<FileSystemItemMO> item = volumeItemForPath(normalized);
        const std::vector<std::string> components = pathComponents(normalized);
        const std::size_t inside = pathComponents(info->mountPoint()).size();
        for (std::size_t i = inside; item && i < components.size(); ++i)
            item = item->childWithName(components[i]);
        return item;
    } catch (const Exception& exception) {
        ZovLog("MediaDatabase::findExistingItemForPath " + exception.reason());
        return {};
    }
}

// --- written files -----------------------------------------------------------------------------

void MediaDatabase::receiveFileSystemNotification(const std::string& path)
{
    if (path.empty())
        return;
    Ref<FileSystemItemMO> item = findExistingItemForPath(path);
    if (!item || item->uuid() == VolumesFolderUUID)
        return;
    // Passed on even while the item has requests pending: a write seen during a listing must
    // not be lost (the folder thread replaces or restarts that listing).
    if (writtenItemRefresher_)
        writtenItemRefresher_(item.get());
    else
        refreshWrittenItem(item.get());
}

// --- path refreshes ------------------------------------------------------------------------------

Ref<MediaDatabaseRecursiveUpdater> MediaDatabase::enqueueRefreshPath(std::string_view path,
                                                                     IMediaDatabaseRefreshPathObserver* observer)
{
    Ref<MediaDatabaseRecursiveUpdater> updater = MediaDatabaseRecursiveUpdater::recursivelyUpdatePath(path, this);
    if (!updater)
        return {};
    if (observer) {
        // The catalogue stops its updaters as it goes, so none can post after it.
        MediaDatabase* self = this;
        NotificationCenter::defaultCenter().addObserver(
            observer,
            [self, observer](const Notification& n) {
                observer->notifyFSItemUpdated(n.userInfo.get("item").toObject<FileSystemItemMO>().get(),
                                              n.userInfo.get("path").toString(), n.userInfo.get("status").toBool());
                self->removeRefreshPathObserver(observer, static_cast<MediaDatabaseRecursiveUpdater*>(n.object.get()));
            },
            kMediaDatabaseRecursiveUpdaterNotification, updater.get());
    }
    updater->start();
    return updater;
}

void MediaDatabase::removeRefreshPathObserver(IMediaDatabaseRefreshPathObserver* observer,
                                              MediaDatabaseRecursiveUpdater* updater)
{
    NotificationCenter::defaultCenter().removeObserver(observer, kMediaDatabaseRecursiveUpdaterNotification, updater);
}

// --- mounts ---------------------------------------------------------------------------------------

void MediaDatabase::didMount(const Notification& notification)
{
    const auto info = notification.userInfo.get(ZovVolumeManagerVolumeInfoKey).toObject<ZovDeviceInfo>();
    if (!info)
        return;
    if (auto item = objectExistingForUUID(info->key())) {
        applyVolumeInfo(info.get(), item.get());
        markItemAsNotVerified(item.get());
    }
    resetVolumes();
    handleMount(true, info.get());
}

void MediaDatabase::didUnmount(const Notification& notification)
{
    const auto info = notification.userInfo.get(ZovVolumeManagerVolumeInfoKey).toObject<ZovDeviceInfo>();
    if (!info)
        return;
    handleMount(false, info.get());
    resetVolumes();
}

void MediaDatabase::handleMount(bool mount, ZovDeviceInfo* info)
{
    const bool identified = !info->parameter(DeviceParameter::ProductID).isNull()
        && !info->parameter(DeviceParameter::VendorID).isNull();
    volumes();
    // The list holds the devices present now: an unmounted one is found by its key.
    Ref<FileSystemItemMO> item;
    for (const auto& candidate : *volumes_)
        if (candidate->uuid() == info->key())
            item = candidate;
    if (!item)
        item = objectExistingForUUID(info->key());
    if (!item)
        return;
    item->setRefreshStatus(kRefreshStatusNotVerified);
    if (mount)
        if (auto volume = dynamicRefCast<FileSystemVolumeMO>(item))
            volume->loadValuesFromVolumeInfo();
    if (!mount || identified)
        handleMountedMedia(item.get(), mount, mount ? nullptr : info);
}

void MediaDatabase::markItemAsNotVerified(FileSystemItemMO* item)
{
    item->setRefreshStatus(kRefreshStatusNotVerified);
    if (!item->isFolder())
        return;
    for (const auto& child : item->elements())
        markItemAsNotVerified(child.get());
}

void MediaDatabase::handleMountedMedia(FileSystemItemMO* volumeItem, bool mount, ZovDeviceInfo* gone)
{
    std::string product;
    std::string vendor;
    Ref<ZovDeviceInfo> info(gone);
    if (auto volume = dynamic_cast<FileSystemVolumeMO*>(volumeItem); volume && !info)
        info = volume->getDeviceInfo();
    if (info) {
            if (!info->parameter(DeviceParameter::ProductID).isNull())
                product = info->productID();
            if (!info->parameter(DeviceParameter::VendorID).isNull())
                vendor = info->vendorID();
    }
    NotificationQueue::defaultQueue().enqueueNotification(
        Notification {mount ? "MountMedia" : "UnmountMedia", Ref<Object>(this),
                      Value::dictionary({{"ProductName", product},
                                         {"VendorName", vendor},
                                         {"FileSystemItemMO", Ref<Object>(volumeItem)}})},
        PostingStyle::NSPostWhenIdle, NSNotificationNoCoalescing, {NSModalPanelRunLoopMode, NSDefaultRunLoopMode});
}

} // namespace vistel
