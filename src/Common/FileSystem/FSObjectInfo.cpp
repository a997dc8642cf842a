#include "Common/FileSystem/FSObjectInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/FileSystem/ObjectLock.h"
#include "Common/Strings/NSStringDevices.h"
#include "Platform/FileOperations/FileTree.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

namespace {

// The identity of the item itself, a link not followed.
FSRef listedRef(const std::string& path, const struct stat& info)
{
    return FSRef {path, info.st_dev, info.st_ino};
}

bool lockedItem(const FSRef& ref, const struct stat& info)
{
    return !S_ISLNK(info.st_mode) && CheckObjectLocked(ref) == status::ObjectLocked;
}

std::uint64_t sizeOf(const struct stat& info)
{
    return S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

void collectContents(const std::string& folder, const FSRef& folderRef, bool folderLocked,
                     std::vector<Ref<FSObjectInfo>>* objects, std::uint64_t& totalSize)
{
    std::vector<std::string> names;
    if (listFolder(folder, names) != 0)
        return;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = joinPath(folder, name);
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        const FSRef ref = listedRef(path, info);
        const bool locked = lockedItem(ref, info);
        if (S_ISDIR(info.st_mode))
            collectContents(path, ref, locked, objects, totalSize);
        if (objects)
            objects->push_back(
                FSObjectInfo::createWithFSRef(&ref, &folderRef, sizeOf(info), S_ISDIR(info.st_mode), locked, folderLocked));
        totalSize += sizeOf(info);
    }
}

} // namespace

Ref<FSObjectInfo> FSObjectInfo::createWithFSRef(const FSRef* objectRef, const FSRef* parentRef, std::uint64_t objectSize,
                                                bool isFolder, bool isLocked, bool isParentLocked)
{
    Ref<FSObjectInfo> item = Ref<FSObjectInfo>::adopt(new FSObjectInfo());
    item->isFolder_ = isFolder;
    item->isLocked_ = isLocked;
    item->objectSize_ = isFolder ? 0 : objectSize;
    item->isParentLocked_ = isParentLocked;
    item->object_.type = 1;
    item->parent_.type = 1;
    if (objectRef)
        item->object_.fsRef = *objectRef;
    if (parentRef)
        item->parent_.fsRef = *parentRef;
    return item;
}

Ref<FSObjectInfo> FSObjectInfo::createWithICAStringPath(const std::string& path)
{
    if (path.empty() || !NSStringDevices::isICADevicePath(path))
        return nullptr;
    const CameraFileServices camera = cameraFileServices();
    if (!camera.fileSize)
        return nullptr;
    const std::optional<std::uint64_t> size = camera.fileSize(path);
    if (!size)
        return nullptr;
    Ref<FSObjectInfo> item = Ref<FSObjectInfo>::adopt(new FSObjectInfo());
    item->objectSize_ = *size;
    item->object_.type = 2;
    item->object_.icaFilePath = path;
    if (camera.fileAttributes)
        item->object_.icaObject = camera.fileAttributes(path);
    item->parent_.type = 2;
    return item;
}

void FSObjectInfo::collectFolderItems(const std::string& path, std::vector<Ref<FSObjectInfo>>* objects,
                                      std::uint64_t& totalSize)
{
    if (NSStringDevices::isICADevicePath(path)) {
        if (Ref<FSObjectInfo> item = createWithICAStringPath(path)) {
            // Added like every other item's size, so a selection mixing camera files and
            // volume items sums correctly.
            totalSize += item->objectSize();
            if (objects)
                objects->push_back(item);
        }
        return;
    }
    if (!NSStringDevices::isVolumePath(path)) {
        ZovLog(vistel::format("Unknown device path %@", path));
        return;
    }
    const std::string item = stripTrailingSlashes(path);
    struct stat info {};
    if (::lstat(item.c_str(), &info) != 0)
        return;
    const FSRef ref = listedRef(item, info);
    const bool locked = lockedItem(ref, info);
    FSRef parentRef;
    bool parentLocked = false;
    struct stat parentInfo {};
    const std::string parent = parentFolderPath(item);
    if (::lstat(parent.c_str(), &parentInfo) == 0) {
        parentRef = listedRef(parent, parentInfo);
        parentLocked = lockedItem(parentRef, parentInfo);
    }
    if (S_ISDIR(info.st_mode))
        collectContents(item, ref, locked, objects, totalSize);
    if (objects)
        objects->push_back(createWithFSRef(&ref, parentRef.isNull() ? nullptr : &parentRef, sizeOf(info),
                                           S_ISDIR(info.st_mode), locked, parentLocked));
    totalSize += sizeOf(info);
}

std::string FSObjectInfo::objectPath() const
{
    switch (object_.type) {
    case 1: return object_.fsRef.path;
    case 2: return object_.icaFilePath;
    default:
        ZovLog(vistel::format("FSObjectInfo::objectPath unknown type %d", object_.type));
        return {};
    }
}

StatusCode FSObjectInfo::deletePermanentlyFSObject()
{
    if (object_.type == 1) {
        StatusCode result = 0;
        if (isParentLocked_ && !parent_.fsRef.isNull()) {
            result = SetObjectLocked(parent_.fsRef, false);
            NSWorkspaceChanges::noteFileSystemChanged(parent_.fsRef.path);
        }
        if (result == 0 && isLocked_)
            result = SetObjectLocked(object_.fsRef, false);
        if (result != 0)
            return result;
        // An item someone else removed since it was listed is as deleted as it can be: done.
        const auto removed = [](int result) -> StatusCode {
            return result == 0 || errno == ENOENT ? 0 : statusFromErrno(errno);
        };
        const std::string& path = object_.fsRef.path;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            return removed(-1);
        // Never delete what took the listed item's place since it was listed.
        if (info.st_dev != object_.fsRef.device || info.st_ino != object_.fsRef.inode)
            return status::NoSuchObject;
        return removed(S_ISDIR(info.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str()));
    }
    if (object_.type == 2) {
        const CameraFileServices camera = cameraFileServices();
        if (!camera.deleteObject)
            return status::NoSuchVolume;
        const StatusCode result = camera.deleteObject(object_.icaFilePath);
        if (result == 0) {
            const std::string mountPoint = camera.mountPoint ? camera.mountPoint(object_.icaFilePath) : std::string();
            NotificationCenter::defaultCenter().postNotificationName(
                FileIsWrittenToNotification, Ref<Object>(this),
                Value::dictionary({{kFileObserverWriteNotificationPath, Value(mountPoint)}}));
        }
        return result;
    }
    ZovLog("FSObjectInfo::deletePermanentlyFSObject unknown object type");
    return status::NoSuchObject;
}

} // namespace vistel
