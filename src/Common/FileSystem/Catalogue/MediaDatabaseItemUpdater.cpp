// MediaDatabase: routing item requests to the updater threads, applying their results on the
// main thread (one per run-loop pass), and the item notifications.

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Exception.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Log.h"
#include "Platform/NotificationQueue.h"

namespace vistel {

using namespace updater;

namespace {

constexpr const char* kReload = "Reload";
const RunLoop::Modes kItemChangeModes = {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode};
// Results are applied after the other performs of a pass.
constexpr unsigned kApplyOrder = 1000;

bool applyScheduled = false; // main thread only

// The identifier of the path's volume for the thread registry: a volume's reference number
// (negative), a camera's identifier read as a signed 16-bit number (1..32767).
std::optional<std::int16_t> updaterVolumeID(const std::string& path)
{
    Ref<ZovDeviceInfo> info = ZovVolumeManager::sharedVolumeManager().volumeInfoForPath(path);
    if (auto* volume = dynamic_cast<ZovVolumeInfo*>(info.get()))
        return volume->refNum();
    if (auto* camera = dynamic_cast<ZovImageCaptureDeviceInfo*>(info.get()))
        return static_cast<std::int16_t>(camera->icaObject() & 0xffffu);
    return std::nullopt;
}

// Starts a registered thread that is not running, on the catalogue's results queue; the
// queue's listener is registered once for the process.
void startUpdaterThread(MediaDatabaseUpdaterThread& thread)
{
    static const bool listening = [] {
        MediaDatabase::resultsQueue()->addDequeueNotificationListner(Ref<Object>(), [](const Value&) {
            if (MediaDatabase* database = MediaDatabase::defaultMediaDatabase())
                database->notifyResultsFromThreads();
        });
        return true;
    }();
    (void)listening;
    thread.setResultsQueue(MediaDatabase::resultsQueue());
    thread.startOnce();
}

// The refresh bit a result answers.
std::int32_t refreshBitOf(const Value& result)
{
    const std::string type = result[kType].toString();
    if (type == kTypeDecodeSmall)
        return FileSystemItemMO::RefreshDecodePending;
    if (type == kTypeFile && result[kNeedsHighQualityThumbnail].toBool())
        return FileSystemItemMO::RefreshHighQualityQueued;
    return FileSystemItemMO::RefreshQueued;
}

std::optional<Date> dateOf(const Value& value)
{
    return value.isDate() ? std::optional<Date>(value.toDate()) : std::nullopt;
}

std::optional<std::string> optionalText(const Value& value)
{
    return value.isString() ? std::optional<std::string>(value.asString()) : std::nullopt;
}

// The fields of a child dictionary, found in one walk over its entries (both it and the table
// are sorted by key) instead of one search per field.
class ChildEntry {
public:
    enum Field {
        ContentKind, CreationDate, DisplayName, FileKind, IconData, IsBundle, IsLocked, IsWritable,
        ModificationDate, Name, Size, ThumbnailLargeData, Type, Visible, FieldCount
    };
    explicit ChildEntry(const Value& entry)
    {
        static constexpr std::string_view keys[FieldCount] = {
            kContentKind, kCreationDate, kDisplayName, kFileKind, kIconData, kIsBundle, kIsLocked, kIsWritable,
            kModificationDate, kName, kSize, kThumbnailLargeData, kType, kVisible};
        static_assert(std::is_sorted(std::begin(keys), std::end(keys)));
        const Value::DictionaryType& entries = entry.asDictionary();
        auto it = entries.begin();
        for (int field = 0; field < FieldCount && it != entries.end();) {
            const int order = std::string_view(it->first).compare(keys[field]);
            if (order == 0)
                fields_[field++] = &(it++)->second;
            else if (order < 0)
                ++it;
            else
                ++field;
        }
    }
    // Null when the entry does not have the field.
    const Value& operator[](Field field) const
    {
        static const Value none;
        return fields_[field] ? *fields_[field] : none;
    }
    bool contains(Field field) const { return fields_[field] != nullptr; }

private:
    const Value* fields_[FieldCount] = {};
};

// Whether a file name is decodable, asked once per run of one extension.
class DecodableByName {
public:
    bool operator()(std::string_view name)
    {
        const std::size_t dot = name.rfind('.');
        if (dot == std::string_view::npos || dot == 0)
            return RIReperesentation::isFileSystemItemDecodableByName(name, false);
        const std::string_view extension = name.substr(dot);
        if (!known_ || extension != extension_) {
            decodable_ = RIReperesentation::isFileSystemItemDecodableByName(name, false);
            extension_.assign(extension);
            known_ = true;
        }
        return decodable_;
    }

private:
    std::string extension_;
    bool known_ = false;
    bool decodable_ = false;
};

// Creates or updates the child of one entry of a listing slice.
void updateChildFromEntry(FileSystemItemMO* folder, const Value& dictionary, DecodableByName& decodableByName)
{
    using enum ChildEntry::Field;
    const ChildEntry entry(dictionary);
    const std::string name = entry[Name].toString();
    if (name.empty())
        return;
    const std::string type = entry[Type].toString();
    Ref<FileSystemItemMO> child = folder->childWithName(name);
    if (type.empty()) {
        // No attributes (the entry vanished or cannot be read): seen, and nothing more. It
        // is neither deleted (its tags and categories stay) nor created without a type.
        if (child)
            child->temporaryInvalidFlag = false;
        return;
    }
    if (child && child->entityName() != MediaDatabase::EntityVolume && child->entityName() != type) {
        folder->deleteChild(child.get(), true);
        child = nullptr;
    }
    const bool visible = entry[Visible].toString() == kVisibleYes;
    const bool isNew = !child;
    if (isNew)
        child = folder->createChildWithName(name, type, visible);
    if (!child)
        return;
    const bool isFolder = child->isFolder();
    child->temporaryInvalidFlag = false;
    bool& changed = child->temporaryCacheAttributesChangedFlag;

    const std::optional<std::string> displayName = optionalText(entry[DisplayName]);
    const std::string stored = child->displayName();
    if ((displayName || stored != child->name()) && displayName.value_or(child->name()) != stored) {
        child->setDisplayName(displayName);
        changed = true;
    }
    if (!child->valid()) {
        child->setValid(true);
        changed = true;
    }
    if (child->visible() != visible) {
        child->setVisible(visible);
        changed = true;
    }
    if (const bool writable = entry[IsWritable].toBool(); child->writable() != writable) {
        child->setWritable(writable);
        changed = true;
    }
    if (const bool locked = entry[IsLocked].toBool(); child->locked() != locked) {
        child->setLocked(locked);
        changed = true;
    }
    const auto creation = dateOf(entry[CreationDate]);
    if (creation && child->creationDate() != creation) {
        child->setCreationDate(creation);
        if (!isNew && !isFolder)
            child->resetAsChanged();
    }
    const auto modification = dateOf(entry[ModificationDate]);
    if (modification && child->modificationDate() != modification) {
        child->setModificationDate(modification);
        if (!isNew && !isFolder)
            child->resetAsChanged();
    }
    if (entry[IconData].isData() && child->iconData() != entry[IconData].asData()
        && (isFolder || (!child->hasCachedThumbnailData() && !child->hasCachedThumbnailLargeData()))) {
        child->setIconData(entry[IconData].asData());
        child->resetCachedIcon();
    }
    if (!isFolder) {
        if (entry[ThumbnailLargeData].isData() && child->thumbnailLargeData() != entry[ThumbnailLargeData].asData()) {
            child->setThumbnailLargeData(entry[ThumbnailLargeData].asData());
            child->resetCachedImage();
        }
        if (entry.contains(Size) && child->size() != entry[Size].toInt64()) {
            if (!isNew)
                child->resetAsChanged();
            child->setSize(entry[Size].toInt64());
            changed = true;
        }
        if (const auto kind = optionalText(entry[FileKind]); kind && child->userKind() != kind) {
            if (!isNew)
                child->resetAsChanged();
            child->setUserKind(kind);
        }
        if (const auto content = optionalText(entry[ContentKind]); content && child->type() != content) {
            if (!isNew)
                child->resetAsChanged();
            child->setType(content);
        }
        if (isNew || changed) {
            // A FIFO, socket or device named like a picture is listed as a bare item (no
            // data): it is never decoded.
            child->setDecodable(decodableByName(name) && child->type() != std::optional<std::string>("public.item"));
            if (isNew && child->decodable())
                folder->updateObjectInCache(child.get());
        }
    } else if (entry.contains(IsBundle) && entry[IsBundle].toBool() != child->bundle()) {
        child->setBundle(entry[IsBundle].toBool());
        changed = true;
    }
}

} // namespace

// --- routing ------------------------------------------------------------------------------------

Ref<ThreadSafeQueue> MediaDatabase::resultsQueue()
{
    static Ref<ThreadSafeQueue> queue = ThreadSafeQueue::create();
    return queue;
}

void MediaDatabase::enqueueRefresh(FileSystemItemMO* item, Value request)
{
    if (!item)
        return;
    const std::string path = item->fullPath();
    Ref<MediaDatabaseUpdaterThread> thread = item->isFolder() ? Ref<MediaDatabaseUpdaterThread>(folderUpdaterThreadForPath(path))
                                                              : fileUpdaterThreadForPath(path);
    // A folder that was refreshed once is watched from then on (camera paths never are).
    if (item->isFolder())
        FNSubscribeFileObserver::sharedFileObserver().addPath(path);
    if (request.isNull())
        return;
    if (thread) {
        thread->addRequest(std::move(request));
        return;
    }
    // Nobody will answer: the bits the request set are cleared at once.
    ZovLog("MediaDatabase::enqueueRefresh no updater thread for " + path);
    item->removeRefreshStatus(refreshBitOf(request));
}

void MediaDatabase::refreshWrittenItem(FileSystemItemMO* item)
{
    if (!item)
        return;
    Value request = item->createUpdateRequest();
    // Without a stored identifier no result could clear the bit again.
    if (!request.contains(kID))
        return;
    request.set(kFileSystemChanged, Value(true));
    item->appendRefreshStatus(FileSystemItemMO::RefreshQueued);
    enqueueRefresh(item, std::move(request));
}

Ref<MDFolderUpdaterThread> MediaDatabase::folderUpdaterThreadForPath(const std::string& path)
{
    const std::optional<std::int16_t> id = updaterVolumeID(path);
    if (!id)
        return {};
    Ref<MDFolderUpdaterThread> thread = MDFolderUpdaterThread::targetObjectWithID(*id);
    startUpdaterThread(*thread);
    return thread;
}

Ref<MediaDatabaseUpdaterThread> MediaDatabase::fileUpdaterThreadForPath(const std::string& path)
{
    Ref<MDItemUpdaterThread> thread = MDItemUpdaterThread::targetObjectWithID(updaterVolumeID(path).value_or(0));
    startUpdaterThread(*thread);
    return thread;
}

void MediaDatabase::stopJobs()
{
    MediaDatabaseUpdaterThread::stopAllThreads();
    resultsQueue()->clear();
}

// --- applying results ---------------------------------------------------------------------------------

void MediaDatabase::notifyResultsFromThreads()
{
    if (applyScheduled)
        return;
    applyScheduled = true;
    RunLoop::main()->perform(
        [] {
            applyScheduled = false;
            if (MediaDatabase* database = MediaDatabase::defaultMediaDatabase())
                database->applyNextResult();
        },
        kItemChangeModes, kApplyOrder);
}

void MediaDatabase::applyNextResult()
{
    Ref<MediaDatabase> keep(this);
    const Value result = resultsQueue()->tryDequeue(true);
    if (!result.isNull())
        processResultFromThreads(result);
    if (resultsQueue()->count() > 0)
        notifyResultsFromThreads();
}

void MediaDatabase::processResultFromThreads(const Value& result)
{
    try {
        const std::optional<store::ObjectID> id = ObjectIDReference::from(result);
        if (!id)
            return;
        Ref<FileSystemItemMO> item = objectExistingForID(*id);
        if (!item)
            return;
        const std::string type = result[kType].toString();
        if (result[kFailed].toBool()) {
            // The job failed: nothing is known, only the pending bit goes.
            item->removeRefreshStatus(refreshBitOf(result));
        } else if (result[kStatus].toString() == kStatusFinished && result[kExists].toString() != kExistsYes) {
            updateItemDoesNotExist(item.get());
            if (item->refreshStatus() != kRefreshStatusNotVerified)
                item->removeRefreshStatus(refreshBitOf(result));
        } else if (type == kTypeFile) {
            updateFileItem(item.get(), result);
        } else if (type == kTypeFolder) {
            updateFolderItem(item.get(), result[kObjects], result[kStatus].toString());
        } else if (type == kTypeDecodeSmall) {
            if (Ref<MultiImage> image = result[kThumbnailSmallImage].toObject<MultiImage>()) {
                item->setThumbnailImage(std::move(image));
                notifyFSItemThumbnailChanged(item.get());
            }
            item->removeRefreshStatus(FileSystemItemMO::RefreshDecodePending);
        } else {
            ZovLog("MediaDatabase::processResultFromThreads unknown result " + result.logDescription());
        }
        noteAndSaveChanges();
    } catch (const Exception& exception) {
        ErrorRecord error {"NSPOSIXErrorDomain", 0,
                           Value::dictionary({{"NSLocalizedFailureReason", Value(exception.reason())}}), {}};
        PlatformApplication::presentError(error);
    }
}

void MediaDatabase::updateFolderItem(FileSystemItemMO* folder, const Value& children, std::string_view status)
{
    // The children as stored (unsorted): a listing never builds the sorted child lists, it
    // only keeps those that views asked for up to date.
    if (status == kStatusStart) {
        for (const auto& child : folder->elements())
            child->temporaryInvalidFlag = true;
        return;
    }
    if (status == kStatusFinished) {
        const FileSystemItemMO::ChildList copy = folder->elements();
        for (const auto& child : copy) {
            if (child->temporaryInvalidFlag) {
                child->temporaryInvalidFlag = false;
                if (child->valid())
                    updateItemDoesNotExist(child.get());
            } else if (child->temporaryCacheAttributesChangedFlag) {
                child->temporaryCacheAttributesChangedFlag = false;
                updateItemChanged(child.get());
            }
        }
        notifyFSItemChanged(folder, true);
        if (folder->refreshStatus() != kRefreshStatusNotVerified)
            folder->removeRefreshStatus(FileSystemItemMO::RefreshQueued);
        return;
    }
    DecodableByName decodable;
    if (children.isArray())
        for (const Value& entry : children.asArray())
            updateChildFromEntry(folder, entry, decodable);
    notifyFSItemChanged(folder, true);
}

void MediaDatabase::updateFileItem(FileSystemItemMO* file, const Value& result)
{
    const std::int32_t bit = refreshBitOf(result);
    bool changed = false;
    if (result.contains(kIsDecodable) && result[kIsDecodable].toBool() != file->decodable()) {
        file->setDecodable(result[kIsDecodable].toBool());
        updateItemChanged(file);
        changed = true;
    }
    if (result[kThumbnailLargeData].isData()) {
        file->setThumbnailLargeData(result[kThumbnailLargeData].asData());
        if (file->hasCachedIconData())
            file->setIconData(std::nullopt);
        file->resetCachedIcon();
        changed = true;
    }
    if (Ref<MultiImage> image = result[kThumbnailLargeImage].toObject<MultiImage>()) {
        file->setThumbnailImageLarge(std::move(image));
        changed = true;
    }
    if (Ref<MultiImage> image = result[kThumbnailSmallImage].toObject<MultiImage>()) {
        file->setThumbnailImage(std::move(image));
        notifyFSItemThumbnailChanged(file);
        changed = true;
    }
    const Value& metadata = result[kPageMetadata];
    if (metadata.isDictionary()) {
        // Top-level facts into "{RootPageMetadata}", each dictionary into the group of its name.
        std::vector<std::string> rootNames;
        std::vector<Value> rootValues;
        for (const auto& [key, value] : metadata.asDictionary()) {
            if (value.isDictionary()) {
                std::vector<std::string> names;
                std::vector<Value> values;
                for (const auto& [name, item] : value.asDictionary()) {
                    names.push_back(name);
                    values.push_back(item);
                }
                file->setAttributesValues(values, names, key, true);
            } else {
                rootNames.push_back(key);
                rootValues.push_back(value);
            }
        }
        file->setAttributesValues(rootValues, rootNames, kTagRootPageMetadata, true);
        changed = true;
    }
    if (file->refreshStatus() != kRefreshStatusNotVerified)
        file->removeRefreshStatus(bit);
    // A picture that got its first thumbnail gets its stored one next, in the background,
    // whether or not it is drawn again.
    if (bit == FileSystemItemMO::RefreshQueued && result[kThumbnailSmallImage].isObject() && file->refreshStatus() == 0)
        file->enqueueStoredThumbnail();
    if (changed)
        notifyFSItemChanged(file, false);
}

void MediaDatabase::updateItemDoesNotExist(FileSystemItemMO* item)
{
    Ref<FileSystemItemMO> parent = item->parent();
    if (!parent)
        return;
    // Not valid, but kept with its tags, ratings and categories.
    parent->deleteChild(item, false);
    if (parent->uuid() == VolumesFolderUUID) {
        // A volume item: the volume list changes, nobody watches the hidden folder.
        resetVolumes();
        notifyFSItemChanged(nullptr, false);
        return;
    }
    if (item->isFolder())
        FNSubscribeFileObserver::sharedFileObserver().removePath(item->fullPath());
    notifyFSItemChanged(parent.get(), true);
}

void MediaDatabase::updateItemChanged(FileSystemItemMO* item)
{
    Ref<FileSystemItemMO> parent = item->parent();
    if (!parent)
        return;
    parent->updateObjectInCache(item);
    if (parent->uuid() == VolumesFolderUUID) {
        resetVolumes();
        notifyFSItemChanged(nullptr, false);
        return;
    }
    notifyFSItemChanged(parent.get(), true);
}

// --- notifications -------------------------------------------------------------------------------------

void MediaDatabase::notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren)
{
    std::string name = "MDFileChanged";
    if (item && item->isFolder())
        name = reloadChildren ? "MDFolderChangedReload" : "MDFolderChanged";
    NotificationQueue::defaultQueue().enqueueNotification(
        Notification {std::move(name), Ref<Object>(item), Value::dictionary({{kReload, Value(reloadChildren)}})},
        PostingStyle::NSPostASAP, NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender, kItemChangeModes);
}

void MediaDatabase::notifyFSItemThumbnailChanged(FileSystemItemMO* item)
{
    NotificationQueue::defaultQueue().enqueueNotification(
        Notification {"MDFileThumbnailChanged", Ref<Object>(item), Value::dictionary({{kReload, Value(false)}})},
        PostingStyle::NSPostASAP, NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender, kItemChangeModes);
}

namespace {

void dispatchItemChange(IFSItemChangedNotification* observer, const Notification& notification)
{
    observer->notifyFSItemChanged(dynamic_cast<FileSystemItemMO*>(notification.object.get()),
                                  notification.userInfo[kReload].toBool(false));
}

} // namespace

void MediaDatabase::addItemUpdateObserver(IFSItemChangedNotification* observer, FileSystemItemMO* item)
{
    if (!observer)
        throw Exception("WrongObjectType", "Object does not conform to IFSItemChangedNotification protocol");
    NotificationCenter& center = NotificationCenter::defaultCenter();
    auto callback = [observer](const Notification& n) { dispatchItemChange(observer, n); };
    center.addObserver(observer, callback, "MDFileChanged", nullptr);
    center.addObserver(observer, callback, "MDFolderChanged", item);
    center.addObserver(observer, callback, "MDFolderChangedReload", item);
}

void MediaDatabase::removeItemUpdateObserver(IFSItemChangedNotification* observer, FileSystemItemMO* item)
{
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.removeObserver(observer, "MDFileChanged", nullptr);
    center.removeObserver(observer, "MDFolderChanged", item);
    center.removeObserver(observer, "MDFolderChangedReload", item);
}

void MediaDatabase::addThumbnailUpdateObserver(IFSItemThumbnailChangedNotification* observer, FileSystemItemMO* item)
{
    if (!observer)
        throw Exception("WrongObjectType", "Object does not conform to IFSItemChangedNotification protocol");
    NotificationCenter::defaultCenter().addObserver(
        observer,
        [observer](const Notification& n) {
            observer->notifyFSItemThumbnailChanged(dynamic_cast<FileSystemItemMO*>(n.object.get()));
        },
        "MDFileThumbnailChanged", item);
}

void MediaDatabase::removeThumbnailUpdateObserver(IFSItemThumbnailChangedNotification* observer, FileSystemItemMO* item)
{
    NotificationCenter::defaultCenter().removeObserver(observer, "MDFileThumbnailChanged", item);
}

} // namespace vistel
