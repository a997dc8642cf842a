#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"

#include <atomic>
#include <chrono>

#include "Common/Strings/NSStringDevices.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"

namespace vistel {

namespace {

std::uint32_t nextFileIdentifier()
{
    static std::atomic<std::uint32_t> next {1};
    std::uint32_t identifier = next.fetch_add(1);
    if (identifier == 0) // after 2^32 files: never 0
        identifier = next.fetch_add(1);
    return identifier;
}

std::string lowercase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

// "IMG_0001.JPG" in folder "/DCIM/101MEDIA" -> "IMG_0001 (101MEDIA).JPG".
std::string qualifiedName(const std::string& name, const std::string& qualifier)
{
    const std::string extension = pathExtension(name);
    const std::string stem = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    return stem + " (" + qualifier + ")" + (extension.empty() ? "" : "." + extension);
}

void postWritten(const Ref<Object>& object, const std::string& path)
{
    NotificationCenter::defaultCenter().postNotificationName(
        FileIsWrittenToNotification, object, Value::dictionary({{kFileObserverWriteNotificationPath, Value(path)}}));
}

} // namespace

// --- CameraFileObject --------------------------------------------------------------------------

CameraFileObject::CameraFileObject(CameraFileEntry entry, std::string name, std::uint32_t identifier)
    : entry_(std::move(entry)), name_(std::move(name)), identifier_(identifier)
{
}

Ref<CameraFileObject> CameraFileObject::create(CameraFileEntry entry, std::string name, std::uint32_t identifier)
{
    return Ref<CameraFileObject>::adopt(new CameraFileObject(std::move(entry), std::move(name), identifier));
}

std::string CameraFileObject::typeCode() const
{
    const std::string& mime = entry_.mimeType;
    if (mime.starts_with("image/"))
        return "imag";
    if (mime.starts_with("video/"))
        return "movi";
    if (mime.starts_with("audio/"))
        return "soun";
    if (mime.empty() || mime == "application/octet-stream") {
        static const char* const pictures[] = {"jpg", "jpeg", "tif", "tiff", "png", "gif", "bmp", "heic", "heif",
                                               "webp", "cr2", "cr3", "nef", "nrw", "arw", "orf", "rw2", "raf",
                                               "dng", "pef", "srw", "x3f"};
        static const char* const videos[] = {"mov", "mp4", "avi", "mts", "m2ts", "mpg", "3gp", "m4v"};
        const std::string extension = lowercase(pathExtension(entry_.name));
        for (const char* known : pictures)
            if (extension == known)
                return "imag";
        for (const char* known : videos)
            if (extension == known)
                return "movi";
    }
    return "data";
}

Date CameraFileObject::modificationDate() const
{
    if (!entry_.modificationTime)
        return Date {};
    return Date::fromTimePoint(std::chrono::system_clock::time_point(std::chrono::seconds(*entry_.modificationTime)));
}

Value CameraFileObject::properties() const
{
    Value properties = Value::dictionary({
        {"ifil", Value(name_)},
        {"icao", Value(static_cast<unsigned long long>(identifier_))},
        {"isiz", Value(static_cast<unsigned long long>(entry_.size))},
        {"file", Value(typeCode())},
    });
    if (entry_.modificationTime) {
        // Cameras give no EXIF dates here: taken and digitised are the file time.
        properties.set("9003", Value(modificationDate()));
        properties.set("9004", Value(modificationDate()));
    }
    if (entry_.width && entry_.height) {
        properties.set("0100", Value(static_cast<unsigned long long>(entry_.width)));
        properties.set("0101", Value(static_cast<unsigned long long>(entry_.height)));
    }
    return properties;
}

// --- ZovImageCaptureDeviceInfo -----------------------------------------------------------------

ZovImageCaptureDeviceInfo::ZovImageCaptureDeviceInfo(std::uint32_t identifier,
                                                     std::shared_ptr<ImageCaptureCamera> camera, std::string port,
                                                     std::string devicePath, ObjectsCacheReleaser* releaser)
    : icaObject_(identifier), camera_(std::move(camera)), port_(std::move(port)), devicePath_(std::move(devicePath)),
      releaser_(releaser)
{
}

Ref<ZovImageCaptureDeviceInfo> ZovImageCaptureDeviceInfo::create(std::uint32_t identifier,
                                                                 std::shared_ptr<ImageCaptureCamera> camera,
                                                                 std::string port, std::string devicePath,
                                                                 ObjectsCacheReleaser* releaser)
{
    if (identifier == 0 || !camera)
        return nullptr;
    Ref<ZovImageCaptureDeviceInfo> info = Ref<ZovImageCaptureDeviceInfo>::adopt(new ZovImageCaptureDeviceInfo(
        identifier, std::move(camera), std::move(port), std::move(devicePath), releaser));
    info->reloadDeviceProperties();
    {
        std::lock_guard lock(info->fileSystemLock_);
        info->buildFileSystemObjects();
        if (!info->filesListed_)
            return nullptr; // a camera that lists nothing is not registered
    }
    CameraFacts facts;
    {
        std::lock_guard lock(info->propertiesLock_);
        facts = info->facts_;
    }
    info->setVendorID(facts.usbVendor ? Value(static_cast<unsigned long long>(facts.usbVendor)) : Value());
    info->setProductID(facts.usbProduct ? Value(static_cast<unsigned long long>(facts.usbProduct)) : Value());
    info->setDeviceModel(facts.model);
    info->setDisplayName(facts.model);
    info->setName(facts.model);
    info->setDeviceModelVersion(facts.version);
    if (!facts.serialNumber.empty())
        info->setDeviceSerialNumber(facts.serialNumber);
    info->setMountPoint("ICA:/" + std::to_string(identifier));
    if (!facts.serialNumber.empty())
        info->setKey(info->generateDeviceKey({DeviceParameter::ProductID, DeviceParameter::VendorID,
                                              DeviceParameter::ModelVersion, DeviceParameter::SerialNumber,
                                              DeviceParameter::ModelVersion}));
    else
        info->setKey(!info->devicePath_.empty() ? info->devicePath_ : info->port_);
    info->setType(DeviceType::ImageCapture);
    return info;
}

bool ZovImageCaptureDeviceInfo::isFileSystemObjectsCanBeDeleted() const
{
    std::lock_guard lock(propertiesLock_);
    return facts_.canDelete;
}

void ZovImageCaptureDeviceInfo::reloadDeviceProperties()
{
    CameraFacts facts = camera_->facts();
    std::lock_guard lock(propertiesLock_);
    facts_ = std::move(facts);
}

void ZovImageCaptureDeviceInfo::reloadFileSystemObjects()
{
    std::lock_guard lock(fileSystemLock_);
    buildFileSystemObjects();
}

void ZovImageCaptureDeviceInfo::buildFileSystemObjects()
{
    std::vector<CameraFileEntry> entries;
    const StatusCode result = camera_->listFiles(entries);
    if (result != status::NoError) {
        ZovLog("ZovImageCaptureDeviceInfo::reloadFileSystemObjects can't list the files of " + port_ + ": "
               + statusText(result));
        if (filesListed_)
            return; // keep what was listed before
    }
    filesListed_ = result == status::NoError;

    // A name found in several folders is qualified by its folder; where that still clashes
    // (two folders of one name at different depths), by the folder's whole path.
    std::map<std::string, int> plainCount;
    for (const CameraFileEntry& entry : entries)
        ++plainCount[entry.name];
    std::vector<std::string> names;
    std::map<std::string, int> shownCount;
    for (const CameraFileEntry& entry : entries) {
        std::string name = entry.name;
        if (plainCount[name] > 1)
            name = qualifiedName(entry.name, lastPathComponent(entry.folder));
        names.push_back(name);
        ++shownCount[name];
    }
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (shownCount[names[index]] > 1 || (names[index] != entries[index].name && plainCount.count(names[index]))) {
            std::string folder = entries[index].folder;
            while (folder.starts_with('/'))
                folder.erase(0, 1);
            for (char& c : folder)
                if (c == '/')
                    c = '-';
            names[index] = qualifiedName(entries[index].name, folder);
        }
    }

    std::vector<Ref<CameraFileObject>> array;
    std::map<std::string, Ref<CameraFileObject>> dictionary;
    std::map<std::string, std::uint32_t> identifiers;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::string where = entries[index].folder + "/" + entries[index].name;
        const auto known = identifiers_.find(where);
        const std::uint32_t identifier = known != identifiers_.end() ? known->second : nextFileIdentifier();
        identifiers[where] = identifier;
        Ref<CameraFileObject> object = CameraFileObject::create(entries[index], names[index], identifier);
        dictionary[names[index]] = object;
        array.push_back(std::move(object));
    }
    fileSystemObjectsArray_ = std::move(array);
    fileSystemObjectsDictionary_ = std::move(dictionary);
    identifiers_ = std::move(identifiers);

    // Data of files that went, or whose size or time changed, is dropped.
    std::lock_guard cacheLock(dataCacheLock_);
    std::erase_if(cachedFileSystmeObjectsData_, [&](const auto& item) {
        for (const Ref<CameraFileObject>& object : fileSystemObjectsArray_)
            if (object->identifier() == item.first)
                return object->size() != item.second->object()->size()
                    || object->entry().modificationTime != item.second->object()->entry().modificationTime;
        return true;
    });
}

void ZovImageCaptureDeviceInfo::reloadFileSystemObjectsAndDevicePropertiesDictionary(bool notify)
{
    reloadDeviceProperties();
    reloadFileSystemObjects();
    if (notify)
        postWritten(Ref<Object>(this), mountPoint());
}

std::vector<Ref<CameraFileObject>> ZovImageCaptureDeviceInfo::fileSystemObjectsArray()
{
    std::lock_guard lock(fileSystemLock_);
    return fileSystemObjectsArray_;
}

std::size_t ZovImageCaptureDeviceInfo::fileSystemObjectsCount()
{
    std::lock_guard lock(fileSystemLock_);
    return fileSystemObjectsArray_.size();
}

Ref<CameraFileObject> ZovImageCaptureDeviceInfo::fileSystemObjectAtIndex(std::size_t index)
{
    std::lock_guard lock(fileSystemLock_);
    if (index >= fileSystemObjectsArray_.size()) {
        ZovLog("ZovImageCaptureDeviceInfo::fileSystemObjectAtIndex invalid index : " + std::to_string(index)
               + " objects count : " + std::to_string(fileSystemObjectsArray_.size()));
        return nullptr;
    }
    return fileSystemObjectsArray_[index];
}

Ref<CameraFileObject> ZovImageCaptureDeviceInfo::fileSystemObjectWithName(const std::string& name)
{
    std::lock_guard lock(fileSystemLock_);
    const auto found = fileSystemObjectsDictionary_.find(name);
    return found == fileSystemObjectsDictionary_.end() ? nullptr : found->second;
}

Ref<CameraFileObject> ZovImageCaptureDeviceInfo::fileSystemObjectAtPath(const std::string& path)
{
    const std::string& root = mountPoint();
    if (path.size() <= root.size() + 1 || !path.starts_with(root) || path[root.size()] != '/')
        return nullptr;
    return fileSystemObjectWithName(path.substr(root.size() + 1));
}

Value ZovImageCaptureDeviceInfo::fileSytemAttributesForObject(const Ref<CameraFileObject>& object)
{
    if (!object)
        return Value::dictionary();
    return Value::dictionary({
        {"NSFileSize", Value(static_cast<unsigned long long>(object->size()))},
        {"NSFileType", Value("NSFileTypeRegular")},
        {"NSFileCreationDate", Value(object->modificationDate())},
        {"NSFileModificationDate", Value(object->modificationDate())},
        {"NSFileSystemFileNumber", Value(static_cast<unsigned long long>(object->identifier()))},
        {"NSFileExtensionHidden", Value(false)},
    });
}

ZovImageCaptureDeviceInfo::Data ZovImageCaptureDeviceInfo::fileSystemObjectThumbnailData(
    const Ref<CameraFileObject>& object)
{
    if (!object || object->identifier() == 0)
        return nullptr;
    std::vector<std::uint8_t> preview;
    const StatusCode result = camera_->readPreview(object->entry(), preview);
    if (result == status::NoError && !preview.empty())
        return std::make_shared<const std::vector<std::uint8_t>>(std::move(preview));
    if (result != status::OperationNotSupported)
        ZovLog("ZovImageCaptureDeviceInfo::fileSystemObjectThumbnailData can't get thumbnail data errorCode : "
               + std::to_string(result) + " for objectDescription : " + std::to_string(object->identifier()));
    // Without a preview only a picture of bounded size is read whole; a video never is.
    if (!object->isImage() || object->size() > MaxWholeReadOfNonImage)
        return nullptr;
    return fileSystemObjectData(object);
}

StatusCode ZovImageCaptureDeviceInfo::deleteFileSystemObject(const Ref<CameraFileObject>& object)
{
    if (!object)
        return status::NoSuchObject;
    if (!isFileSystemObjectsCanBeDeleted())
        return status::PermissionDenied;
    if (object->identifier() == 0)
        return status::NoSuchObject;
    std::lock_guard lock(fileSystemLock_);
    const auto found = std::find_if(fileSystemObjectsArray_.begin(), fileSystemObjectsArray_.end(),
                                    [&](const Ref<CameraFileObject>& item) { return item.get() == object.get(); });
    if (found == fileSystemObjectsArray_.end())
        return status::NoSuchObject;
    const StatusCode result = camera_->deleteFile(object->entry());
    if (result != status::NoError)
        return result;
    fileSystemObjectsArray_.erase(found);
    fileSystemObjectsDictionary_.erase(object->name());
    identifiers_.erase(object->entry().folder + "/" + object->entry().name);
    std::lock_guard cacheLock(dataCacheLock_);
    cachedFileSystmeObjectsData_.erase(object->identifier());
    return status::NoError;
}

Ref<FileSystemObjectDataCache> ZovImageCaptureDeviceInfo::fileSystemObjectDataCache(const Ref<CameraFileObject>& object)
{
    if (!object)
        return nullptr;
    std::lock_guard lock(dataCacheLock_);
    Ref<FileSystemObjectDataCache>& cache = cachedFileSystmeObjectsData_[object->identifier()];
    if (!cache)
        cache = FileSystemObjectDataCache::create(object, camera_, releaser_);
    return cache;
}

ZovImageCaptureDeviceInfo::Data ZovImageCaptureDeviceInfo::fileSystemObjectData(const Ref<CameraFileObject>& object,
                                                                                 StatusCode* error)
{
    StatusCode result = status::NoSuchObject;
    Data data;
    if (object && (object->isImage() || object->size() <= MaxWholeReadOfNonImage)) {
        if (const Ref<FileSystemObjectDataCache> cache = fileSystemObjectDataCache(object))
            data = cache->generateCacheData(nullptr, ReadStep, true, thumbnailLock_, &result);
    }
    if (error)
        *error = data ? status::NoError : status::NoSuchObject;
    return data;
}

// --- copies ------------------------------------------------------------------------------------

void ZovImageCaptureDeviceInfo::startDownload(Ref<ZovImageCaptureDeviceInfo> camera, Transfer transfer)
{
    Ref<NSThreadExt> thread = NSThreadExt::create(
        [camera = std::move(camera), transfer = std::move(transfer)] { downloadFileSystemObjectToPath(camera, transfer); });
    thread->setName("camera download");
    thread->start();
}

StatusCode ZovImageCaptureDeviceInfo::downloadFileSystemObjectToPath(const Ref<ZovImageCaptureDeviceInfo>& camera,
                                                                     const Transfer& transfer)
{
    const Ref<CameraFileObject> object = camera ? camera->fileSystemObjectAtPath(transfer.source) : nullptr;
    const std::string name = transfer.targetName && !transfer.targetName->empty()
        ? *transfer.targetName
        : (object ? object->name() : lastPathComponent(transfer.source));
    const std::string target = joinPath(transfer.targetFolder, name);
    const std::uint64_t size = object ? object->size() : 0;

    // Reports go to the main thread; only the final one is waited for.
    auto report = [&](std::uint32_t stage, StatusCode error, std::uint64_t done, std::uint64_t total, bool wait) {
        if (!transfer.callback)
            return;
        Value dictionary = Value::dictionary({
            {kFSOperationObjectsCompleteKey, Value(stage == kFSOperationStageComplete ? 1 : 0)},
            {kFSOperationTotalObjectsKey, Value(1)},
            {kFSOperationObjectsRemainingKey, Value(stage == kFSOperationStageComplete ? 0 : 1)},
            {kFSOperationBytesCompleteKey, Value(static_cast<unsigned long long>(done))},
            {kFSOperationTotalBytesKey, Value(static_cast<unsigned long long>(total))},
            {kFSOperationBytesRemainingKey, Value(static_cast<unsigned long long>(total - std::min(done, total)))},
            {kFSOperationUserVisibleObjectsCompleteKey, Value(stage == kFSOperationStageComplete ? 1 : 0)},
            {kFSOperationTotalUserVisibleObjectsKey, Value(1)},
        });
        ThreadMessages::performSelectorOnMainThread(
            [transfer, target, stage, error, dictionary] {
                const Ref<FSFileOperation> operation = transfer.record ? transfer.record->fileOperation() : nullptr;
                transfer.callback(operation.get(), target.c_str(), stage, error, dictionary, transfer.info.get());
            },
            wait);
    };

    report(kFSOperationStagePreflighting, status::NoError, 0, size, false);
    StatusCode result = status::NoSuchObject;
    std::uint64_t done = 0;
    if (object) {
        if (const Ref<FileSystemObjectDataCache> cache = camera->fileSystemObjectDataCache(object)) {
            const Data data = cache->generateCacheData(
                transfer.record, DownloadStep, false, camera->lockThumbnailGenerationMutex(), &result,
                [&](std::uint64_t bytesDone, std::uint64_t total) {
                    report(kFSOperationStageRunning, status::NoError, bytesDone, total, false);
                });
            if (data && transfer.record && transfer.record->isCancelled())
                result = status::UserCanceled;
            if (data && result == status::NoError) {
                result = FileSystemFunctions::writeNSDataToFile(target, data.get());
                if (result == status::NoError) {
                    done = data->size();
                    ThreadMessages::performSelectorOnMainThread(
                        [target] { postWritten(nullptr, target); }, false);
                }
            } else if (result == status::NoError) {
                result = status::IOError;
            }
        }
    }
    // Exactly one final report, whatever happened.
    report(kFSOperationStageComplete, result, done, result == status::NoError ? done : size, true);
    return result;
}

} // namespace vistel
