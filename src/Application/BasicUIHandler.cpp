#include "Application/BasicUIHandler.h"

#include <mutex>

#include <QGuiApplication>

#include "Application/FileOperationLauncher.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Strings/NSStringExtensions.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

std::mutex lookupMutex;
BasicUIHandler::VolumeLookup volumeLookup;

std::string mountPointOf(const std::string& path)
{
    Ref<ZovDeviceInfo> volume = BasicUIHandler::volumeInfoForPath(path);
    return volume ? volume->mountPoint() : std::string();
}

} // namespace

// --- the volume lookup ----------------------------------------------------------------------

BasicUIHandler::VolumeLookup BasicUIHandler::setVolumeLookup(VolumeLookup lookup)
{
    std::lock_guard lock(lookupMutex);
    return std::exchange(volumeLookup, std::move(lookup));
}

Ref<ZovDeviceInfo> BasicUIHandler::volumeInfoForPath(const std::string& path)
{
    VolumeLookup lookup;
    {
        std::lock_guard lock(lookupMutex);
        lookup = volumeLookup;
    }
    if (lookup)
        return lookup(path);
    return ZovVolumeManager::sharedVolumeManager().volumeInfoForPath(path);
}

// --- what concrete handlers override -------------------------------------------------------

bool BasicUIHandler::validateUserAction(const std::string&, Object*, const Items*, const QMimeData*, QObject*)
{
    return false;
}

bool BasicUIHandler::respondsToUserActionSelector(const std::string&) const { return false; }

bool BasicUIHandler::processItems(const Items&, Object*, const std::string&, const QMimeData*, QObject*)
{
    return false;
}

// --- predicates ----------------------------------------------------------------------------

bool BasicUIHandler::isFolderItem(const Object* item) { return asFileSystemItem(item) != nullptr; }

bool BasicUIHandler::isVolumeItem(const Object* item)
{
    FileSystemItemMO* object = asFileSystemItem(item);
    return object && object->entityName() == MediaDatabase::EntityVolume;
}

bool BasicUIHandler::isItemCanBeRenamed(const Object* item)
{
    FileSystemItemMO* object = asFileSystemItem(item);
    if (!object)
        return false;
    if (!isVolumeItem(object))
        return object->writable();
    Ref<ZovDeviceInfo> volume = volumeInfoForPath(object->fullPath());
    return volume && volume->type() == "USB" && volume->isWritable();
}

bool BasicUIHandler::isItemCanBeDeletedInt(const Object* item, bool)
{
    return isFolderItem(item) && !isVolumeItem(item);
}

bool BasicUIHandler::isItemCanBeDeleted(const Object* item, bool permanently)
{
    FileSystemItemMO* object = asFileSystemItem(item);
    if (!object)
        return false;
    Ref<FileSystemItemMO> parent = object->parent();
    return parent && parent->writable() && isItemCanBeDeletedInt(item, permanently);
}

bool BasicUIHandler::isItemCanCreateSubitems(const Object* item)
{
    FileSystemItemMO* object = asFileSystemItem(item);
    if (!object || !object->isFolder() || !object->writable() || !object->volumeItem())
        return false;
    Ref<ZovDeviceInfo> volume = volumeInfoForPath(object->fullPath());
    auto* volumeInfo = dynamic_cast<ZovVolumeInfo*>(volume.get());
    return volume && !(volumeInfo && volumeInfo->isPictureFrame());
}

bool BasicUIHandler::isItemCanUnmount(const Object* item)
{
    if (!isVolumeItem(item))
        return false;
    Ref<ZovDeviceInfo> volume = volumeInfoForPath(asFileSystemItem(item)->fullPath());
    return volume && (volume->isEjectable() || volume->type() == "Nework");
}

bool BasicUIHandler::isItemCanBeMovedToTrash(const Object* item)
{
    FileSystemItemMO* object = asFileSystemItem(item);
    if (!object || isVolumeItem(object))
        return false;
    const std::string path = object->fullPath();
    if (!NSStringDevices::isVolumePath(path))
        return false;
    Ref<ZovDeviceInfo> volume = volumeInfoForPath(path);
    return volume && volume->isWritable();
}

std::set<FileSystemItemMO*> BasicUIHandler::parentsForItems(const Items& items)
{
    std::set<FileSystemItemMO*> parents;
    for (const Ref<Object>& item : items)
        if (FileSystemItemMO* object = asFileSystemItem(item.get()))
            if (Ref<FileSystemItemMO> parent = object->parent())
                parents.insert(parent.get());
    return parents;
}

bool BasicUIHandler::canShowInFinder(const Items& items) const
{
    if (items.empty())
        return false;
    for (const Ref<Object>& item : items)
        if (FileSystemItemMO* object = asFileSystemItem(item.get()))
            if (!NSStringDevices::isVolumePath(object->fullPath()))
                return false;
    return true;
}

bool BasicUIHandler::canDeleteItems(const Items& items, bool permanently) const
{
    if (items.empty())
        return false;
    const std::set<FileSystemItemMO*> parents = parentsForItems(items);
    if (parents.empty())
        return false;
    for (FileSystemItemMO* parent : parents) {
        if (isVolumeItem(parent)) {
            Ref<ZovDeviceInfo> volume = volumeInfoForPath(parent->fullPath());
            if (!volume || !volume->isFileSystemObjectsCanBeDeleted())
                return false;
        } else if (!parent->writable()) {
            return false;
        }
    }
    for (const Ref<Object>& item : items)
        if (!isItemCanBeDeletedInt(item.get(), permanently))
            return false;
    return true;
}

// --- operations ----------------------------------------------------------------------------

void BasicUIHandler::moveToTrash(const Items& items)
{
    bool all = true;
    for (const Ref<Object>& item : items)
        all = all && isItemCanBeMovedToTrash(item.get());
    if (all) {
        deleteItems(items, false);
        return;
    }
    auto alert = Alert::alertWithMessageText(ZOV_TRANSLATE("Some items can not be moved to Trash.", "moveToTrash:"),
                                             ZOV_TRANSLATE("Delete Permanently", "moveToTrash:"),
                                             ZOV_TRANSLATE("Cancel", "moveToTrash:"), std::nullopt,
                                             ZOV_TRANSLATE("Do you want to delete all items permanently?", "moveToTrash:"));
    if (alert->runModal() == NSAlertDefaultReturn)
        deleteItems(items, true);
}

bool BasicUIHandler::confirmPermanentDeletion(const Items& items) const
{
    std::vector<FileSystemItemMO*> named;
    for (const Ref<Object>& item : items)
        if (FileSystemItemMO* object = asFileSystemItem(item.get()))
            named.push_back(object);
    if (named.empty())
        return false;
    const char* selector = "confirmPermanentDeletion:";
    const std::string what = named.size() == 1
        ? named.front()->displayName()
        : vistel::format(ZOV_TRANSLATE("%d items", selector), static_cast<int>(named.size()));
    auto alert = Alert::alertWithMessageText(
        vistel::format(ZOV_TRANSLATE("Are you sure you want to permanently delete %@?", selector), what),
        ZOV_TRANSLATE("Delete", selector), ZOV_TRANSLATE("Cancel", selector), std::nullopt, std::string());
    return alert->runModal() == NSAlertDefaultReturn;
}

void BasicUIHandler::deleteItems(const Items& items, bool permanently)
{
    std::vector<std::string> paths;
    for (const Ref<Object>& item : items)
        if (FileSystemItemMO* object = asFileSystemItem(item.get()))
            paths.push_back(object->fullPath());
    FileOperationLauncher* operations = FileOperationLauncher::installed();
    if (paths.empty() || !operations)
        return;
    if (permanently)
        operations->deleteObjects(paths);
    else
        operations->moveToTrash(paths);
}

Ref<FileSystemItemMO> BasicUIHandler::createSubfolder(const Value& arguments)
{
    if (!arguments.isDictionary())
        return nullptr;
    Ref<FileSystemItemMO> parent = arguments.get("keyParentItem").toObject<FileSystemItemMO>();
    FileOperationLauncher* operations = FileOperationLauncher::installed();
    if (!parent || !isItemCanCreateSubitems(parent.get()) || !operations)
        return nullptr;
    std::string path;
    const Value& name = arguments.get("keyFolderName");
    if (name.isString() && !name.asString().empty()) {
        // One name inside the parent: "..", "." or a path would make the folder elsewhere.
        if (!isPlainFileName(name.asString()))
            return nullptr;
        path = joinPath(parent->fullPath(), name.asString());
    } else {
        const std::string untitled = ZOV_TRANSLATE("untitled folder", "createSubfolder:");
        path = NSStringExtensions::createUniqueFilePathFromPath(joinPath(parent->fullPath(), untitled), 1);
    }
    if (operations->createFolder(path) != 0)
        return nullptr;
    MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
    if (!database)
        return nullptr;
    return database->createChildOf(parent.get(), lastPathComponent(path), MediaDatabase::EntityFolder);
}

std::uint32_t BasicUIHandler::dragOperationForPath(const std::string& path, const std::vector<std::string>& draggedPaths,
                                                   bool copyModifier) const
{
    const std::string folder = normalizedPath(path);
    for (const std::string& dragged : draggedPaths)
        if (normalizedPath(parentFolderPath(dragged)) == folder)
            return copyModifier ? NSDragOperationCopy : NSDragOperationNone;
    const std::string mountPoint = mountPointOf(path);
    for (const std::string& dragged : draggedPaths)
        if (mountPointOf(dragged) != mountPoint)
            return NSDragOperationCopy;
    return copyModifier ? NSDragOperationCopy : NSDragOperationMove;
}

std::uint32_t BasicUIHandler::dragOperationForPath(const std::string& path,
                                                   const std::vector<std::string>& draggedPaths) const
{
    return dragOperationForPath(path, draggedPaths,
                                QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier));
}

} // namespace vistel
