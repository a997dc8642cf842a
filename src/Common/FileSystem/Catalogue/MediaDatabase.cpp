#include "Common/FileSystem/Catalogue/MediaDatabase.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Common/FileSystem/NSFileManagerLeopardCompatibility.h"
#include "Platform/Bundle.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Log.h"
#include "Platform/NotificationQueue.h"
#include "Platform/RunLoop.h"
#include "Platform/UserDefaults.h"
#include "ZovTranslatorManager.h"

namespace vistel {

using store::Comparison;
using store::ManagedObject;
using Op = store::Comparison::Operator;

namespace {

MediaDatabase* theDefaultDatabase = nullptr; // main thread only

constexpr const char* MediaDatabasePathKey = "MediaDatabasePath";

// The catalogue's data model.
Ref<store::ObjectModel> makeCatalogueModel()
{
    using store::AttributeType;
    using store::DeleteRule;
    auto model = makeRef<store::ObjectModel>(MediaDatabase::ModelVersion);
    model->addEntity({MediaDatabase::EntityElement, "", true,
                      {{"name", AttributeType::String},
                       {"displayName", AttributeType::String},
                       {"uuid", AttributeType::String},
                       {"bundle", AttributeType::Boolean},
                       {"size", AttributeType::Integer},
                       {"creationDate", AttributeType::Date},
                       {"modificationDate", AttributeType::Date},
                       {"type", AttributeType::String},
                       {"userKind", AttributeType::String},
                       {"flags", AttributeType::Integer}},
                      {{"parent", MediaDatabase::EntityElement, false, "elements"},
                       {"elements", MediaDatabase::EntityElement, true, "parent", DeleteRule::Cascade},
                       {"icon", "ElementIcon", false, "parent", DeleteRule::Cascade, false},
                       {"thumbnail", "FileThumbnail", false, "parent", DeleteRule::Cascade, false},
                       {"thumbnailLarge", "FileThumbnailLarge", false, "parent", DeleteRule::Cascade, false},
                       {"tags", MediaDatabase::EntityTag, true, "parentElement", DeleteRule::Cascade}}},
                     FileSystemItemMO::factory());
    for (const char* entity : {MediaDatabase::EntityFile, MediaDatabase::EntityFolder})
        model->addEntity({entity, MediaDatabase::EntityElement, false, {}, {}});
    model->addEntity({MediaDatabase::EntityVolume, MediaDatabase::EntityElement, false, {}, {}},
                     FileSystemVolumeMO::factory());
    for (const char* holder : {"ElementIcon", "FileThumbnail", "FileThumbnailLarge"}) {
        const char* inverse = std::string_view(holder) == "ElementIcon" ? "icon"
            : std::string_view(holder) == "FileThumbnail"               ? "thumbnail"
                                                                        : "thumbnailLarge";
        model->addEntity({holder, "", false, {{"imageData", AttributeType::Data}},
                          {{"parent", MediaDatabase::EntityElement, false, inverse}}});
        model->addIndex(holder, {"parent"});
    }
    model->addEntity({MediaDatabase::EntityTagName, "", false, {{"value", AttributeType::String}},
                      {{"tags", MediaDatabase::EntityTag, true, "name", DeleteRule::Nullify}}});
    model->addEntity({MediaDatabase::EntityTag, "", false, {{"value", AttributeType::String}},
                      {{"name", MediaDatabase::EntityTagName, false, "tags"},
                       {"parentElement", MediaDatabase::EntityElement, false, "tags"},
                       {"parentTag", MediaDatabase::EntityTag, false, "tags"},
                       {"tags", MediaDatabase::EntityTag, true, "parentTag", DeleteRule::Cascade}}});
    // Children are read by parent in row order; names are looked up in the parent's by-name
    // dictionary. An index on (parent) alone takes a listing's new rows at its end, where one
    // on (parent, name) took them all over the index (every save wrote ~100 index pages).
    model->addIndex(MediaDatabase::EntityElement, {"parent"});
    model->addIndex(MediaDatabase::EntityElement, {"uuid"});
    model->addIndex(MediaDatabase::EntityTag, {"parentElement"});
    model->addIndex(MediaDatabase::EntityTag, {"parentTag"});
    model->addIndex(MediaDatabase::EntityTag, {"name"});
    model->addIndex(MediaDatabase::EntityTagName, {"value"});
    return model;
}

// The store file and the files SQLite keeps beside it; a store is removed with all three, so
// a new store never meets an old write-ahead log.
bool removeStoreFiles(const std::string& path)
{
    StatusCode status = 0;
    const bool removed = NSFileManagerLeopardCompatibility::removeItemAtPathExt(path, &status);
    for (const char* suffix : {"-wal", "-shm"}) {
        StatusCode ignored = 0;
        NSFileManagerLeopardCompatibility::removeItemAtPathExt(path + suffix, &ignored);
    }
    return removed;
}

// The catalogue's predicate texts and the comparisons they stand for; %@ are filled in order.
struct PredicateForm {
    std::string_view text;
    std::vector<Comparison> (*make)(const std::vector<Value>& a);
};

const Value& argument(const std::vector<Value>& a, std::size_t i)
{
    static const Value none;
    return i < a.size() ? a[i] : none;
}

const PredicateForm predicateForms[] = {
    {"uuid==%@", [](const auto& a) { return std::vector<Comparison> {{"uuid", Op::Equal, argument(a, 0)}}; }},
    {"(name==%@) AND (parent==%@)",
     [](const auto& a) {
         return std::vector<Comparison> {{"name", Op::Equal, argument(a, 0)}, {"parent", Op::Equal, argument(a, 1)}};
     }},
    {"value==%@", [](const auto& a) { return std::vector<Comparison> {{"value", Op::Equal, argument(a, 0)}}; }},
    {"self IN %@", [](const auto& a) { return std::vector<Comparison> {{"self", Op::In, argument(a, 0)}}; }},
    {"name==%@", [](const auto& a) { return std::vector<Comparison> {{"name", Op::Equal, argument(a, 0)}}; }},
    {"value like[cd] %@", [](const auto& a) { return std::vector<Comparison> {{"value", Op::Like, argument(a, 0)}}; }},
    {"(parentTag==nil) AND (parentElement==nil) AND (name.value==%@)",
     [](const auto& a) {
         return std::vector<Comparison> {{"parentTag", Op::Equal, Value()},
                                         {"parentElement", Op::Equal, Value()},
                                         {"name.value", Op::Equal, argument(a, 0)}};
     }},
    {"NOT (parentTag==nil) AND (name.value==%@)",
     [](const auto& a) {
         return std::vector<Comparison> {{"parentTag", Op::Equal, Value(), true}, {"name.value", Op::Equal, argument(a, 0)}};
     }},
    {"(parentTag.name==%@) AND (name IN %@)",
     [](const auto& a) {
         return std::vector<Comparison> {{"parentTag.name", Op::Equal, argument(a, 0)}, {"name", Op::In, argument(a, 1)}};
     }},
};

} // namespace

Ref<MediaDatabase> MediaDatabase::create()
{
    installCatalogueIconSource();
    Ref<MediaDatabase> database = Ref<MediaDatabase>::adopt(new MediaDatabase());
    // The first use starts the volume manager; its signals reach the slots on this thread.
    ZovVolumeManager& manager = ZovVolumeManager::sharedVolumeManager();
    database->connectSignal(&manager, ZovVolumeManagerMountedNotification, "didMount:");
    database->connectSignal(&manager, ZovVolumeManagerUnmountedNotification, "didUnmount:");
    // Written files are announced on whatever thread wrote them (the watcher, camera threads,
    // the file services' workers); the catalogue takes them on the main thread only.
    MediaDatabase* self = database.get();
    std::shared_ptr<bool> alive = database->alive_;
    NotificationCenter::defaultCenter().addObserver(
        alive.get(),
        [self, alive](const Notification& n) {
            const std::string path = n.userInfo.get(kFileObserverWriteNotificationPath).toString();
            if (RunLoop::isMainThread()) {
                self->receiveFileSystemNotification(path);
                return;
            }
            if (RunLoop* main = RunLoop::main())
                main->perform([self, alive, path] {
                    if (*alive)
                        self->receiveFileSystemNotification(path);
                });
        },
        FileIsWrittenToNotification);
    return database;
}

MediaDatabase::MediaDatabase()
{
    addSlot("didMount:", [this](const Notification& n) { didMount(n); });
    addSlot("didUnmount:", [this](const Notification& n) { didUnmount(n); });
}

MediaDatabase::~MediaDatabase()
{
    *alive_ = false;
    NotificationCenter::defaultCenter().removeObserver(alive_.get());
    disconnectAll();
    MediaDatabaseRecursiveUpdater::stopAllForMediaDatabase(this);
    if (theDefaultDatabase == this)
        theDefaultDatabase = nullptr;
    releaseStack();
}

MediaDatabase* MediaDatabase::defaultMediaDatabase()
{
    return theDefaultDatabase;
}

void MediaDatabase::setDefaultMediaDatabase(MediaDatabase* database)
{
    theDefaultDatabase = database;
}

// --- the store --------------------------------------------------------------------------------

std::string MediaDatabase::applicationSupportFolder() const
{
    std::string folder = vistel::applicationSupportFolder();
    if (folder.empty())
        folder = std::filesystem::temp_directory_path().string();
    return folder;
}

std::string MediaDatabase::databaseURL() const
{
    const std::string folder = applicationSupportFolder() + "/Zov Systems";
    std::error_code ignored;
    if (!std::filesystem::exists(folder, ignored)) {
        StatusCode status = 0;
        NSFileManagerLeopardCompatibility::createDirectoryAtPathExt(folder, true, Value(), &status);
    }
    std::string identifier = Bundle::main()->bundleIdentifier();
    if (identifier.empty())
        identifier = UserDefaults::DefaultBundleIdentifier;
    return folder + "/" + identifier + ".mediaDatabase";
}

Ref<store::ObjectModel> MediaDatabase::managedObjectModel()
{
    if (!managedObjectModel_)
        managedObjectModel_ = makeCatalogueModel();
    return managedObjectModel_;
}

Ref<store::PersistentStoreCoordinator> MediaDatabase::persistentStoreCoordinator()
{
    if (persistentStoreCoordinator_)
        return persistentStoreCoordinator_;
    const std::string path = databaseURL();
    auto coordinator = store::PersistentStoreCoordinator::create(managedObjectModel());
    ErrorRecord error;
    if (coordinator->addSQLiteStore(path, &error)) {
        persistentStoreCoordinator_ = coordinator;
        return coordinator;
    }
    ZovLog("MediaDatabase::persistentStoreCoordinator " + error.description());

    // The session goes on in memory after a failure that was shown once.
    auto runInMemory = [&](const ErrorRecord& shown) {
        PlatformApplication::presentError(shown);
        coordinator = store::PersistentStoreCoordinator::create(managedObjectModel());
        ErrorRecord memoryError;
        if (!coordinator->addInMemoryStore(&memoryError))
            ZovLog("MediaDatabase::persistentStoreCoordinator " + memoryError.description());
    };

    if (error.code != store::PersistentStoreIncompatibleVersionHashError) {
        runInMemory(error);
    } else {
        ErrorRecord incompatible = error;
        Value info = error.userInfo;
        info.set(NSLocalizedDescriptionKey,
                 ZOV_TRANSLATE("Version of the existing database is incompatible with the current application.",
                               "persistentStoreCoordinator"));
        info.set(NSLocalizedRecoverySuggestionErrorKey,
                 vistel::format(ZOV_TRANSLATE("You can quit the application or recreate database. In the last case "
                                              "existing database at %@ will be deleted and created in compatible format.",
                                              "persistentStoreCoordinator"),
                                path));
        info.set(NSLocalizedRecoveryOptionsErrorKey,
                 Value::array({ZOV_TRANSLATE("Quit", "persistentStoreCoordinator"),
                               ZOV_TRANSLATE("Recreate", "persistentStoreCoordinator")}));
        info.set(MediaDatabasePathKey, path);
        ZovLog(info.logDescription());
        incompatible.userInfo = info;
        Ref<MediaDatabase> self(this);
        incompatible.recoveryAttempter = [self](const ErrorRecord& e, int optionIndex) {
            return self->attemptRecoveryFromError(e, optionIndex);
        };
        if (PlatformApplication::presentError(incompatible)) {
            coordinator = store::PersistentStoreCoordinator::create(managedObjectModel());
            ErrorRecord again;
            if (!coordinator->addSQLiteStore(path, &again)) {
                ZovLog("MediaDatabase::persistentStoreCoordinator " + again.description());
                runInMemory(again);
            }
        } else {
            PlatformApplication::terminate();
        }
    }
    persistentStoreCoordinator_ = coordinator;
    return coordinator;
}

Ref<store::ManagedObjectContext> MediaDatabase::managedObjectContext()
{
    if (managedObjectContext_)
        return managedObjectContext_;
    if (isStopped_)
        return {};
    auto coordinator = persistentStoreCoordinator();
    if (!coordinator || !coordinator->hasStore())
        return {};
    managedObjectContext_ = store::ManagedObjectContext::create(coordinator);
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& n) { noteAndSaveChanges(n); }, store::ObjectsDidChangeNotification,
        managedObjectContext_.get());
    return managedObjectContext_;
}

bool MediaDatabase::attemptRecoveryFromError(const ErrorRecord& error, int optionIndex)
{
    const std::vector<std::string> options = error.localizedRecoveryOptions();
    if (optionIndex < 0 || optionIndex >= static_cast<int>(options.size()))
        return false;
    if (options[static_cast<std::size_t>(optionIndex)] != ZOV_TRANSLATE("Recreate", "attemptRecoveryFromError:optionIndex:"))
        return false;
    return removeStoreFiles(error.userInfo.get(MediaDatabasePathKey).toString());
}

// --- saving -------------------------------------------------------------------------------------

void MediaDatabase::noteAndSaveChanges(const Notification& notification)
{
    auto* context = dynamic_cast<store::ManagedObjectContext*>(notification.object.get());
    if (!context || context != managedObjectContext_.get())
        return;
    if (context->insertedObjectsCount() + context->updatedObjectsCount() > 250) {
        Ref<MediaDatabase> self(this);
        RunLoop::main()->perform([self] { self->noteAndSaveChanges(); });
    }
    scheduleIdleSave();
}

void MediaDatabase::scheduleIdleSave()
{
    const RunLoop::TimePoint when =
        RunLoop::Clock::now() + std::chrono::duration_cast<RunLoop::Clock::duration>(std::chrono::duration<double>(IdleSaveDelay));
    if (idleSaveTimer_ && idleSaveTimer_->isValid()) {
        idleSaveTimer_->setFireDate(when);
        return;
    }
    // Default mode only: not inside a modal alert or a drag.
    idleSaveTimer_ = RunLoop::main()->scheduleTimer(IdleSaveDelay, false, [this, alive = std::weak_ptr<bool>(alive_)](RunLoop::Timer&) {
        const auto living = alive.lock();
        if (!living || !*living)
            return;
        if (managedObjectContext_ && managedObjectContext_->hasChanges()) {
            ErrorRecord error;
            if (managedObjectContext_->commitEditing(&error))
                saveChanges();
            else
                PlatformApplication::presentError(error);
        }
    });
}

void MediaDatabase::noteAndSaveChanges()
{
    auto context = managedObjectContext_;
    if (!context || context->insertedObjectsCount() + context->updatedObjectsCount() <= 100)
        return;
    ErrorRecord error;
    if (context->commitEditing(&error))
        saveChanges();
    else
        PlatformApplication::presentError(error);
}

void MediaDatabase::saveChanges()
{
    auto context = managedObjectContext_;
    if (!context)
        return;
    ErrorRecord error;
    if (!context->save(&error)) {
        ZovLog("MediaDatabase::saveChanges " + error.description());
        PlatformApplication::presentError(error);
    }
}

// --- shutting down and wiping ---------------------------------------------------------------------

void MediaDatabase::releaseStack()
{
    if (idleSaveTimer_) {
        idleSaveTimer_->invalidate();
        idleSaveTimer_ = nullptr;
    }
    if (managedObjectContext_)
        NotificationCenter::defaultCenter().removeObserver(this);
    tagNameCache_.clear();
    volumes_.reset();
    managedObjectContext_ = nullptr;
    persistentStoreCoordinator_ = nullptr;
    managedObjectModel_ = nullptr;
}

void MediaDatabase::stopAll()
{
    isStopped_ = true;
    stopJobs();
    releaseStack();
}

void MediaDatabase::clearAll()
{
    stopAll();
    removeStoreFiles(databaseURL());
    isStopped_ = false;
    NotificationQueue::defaultQueue().enqueueNotification(
        Notification {"MDFileChanged", {}, Value::dictionary({{"Reload", true}})}, PostingStyle::NSPostNow,
        NSNotificationNoCoalescing, {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode});
    ZovLog("Send notifyFSItemChanged");
}

// --- lookup -----------------------------------------------------------------------------------------

std::optional<std::vector<Ref<ManagedObject>>> MediaDatabase::searchObjectsBy(std::string_view format,
                                                                             const std::vector<Value>& arguments,
                                                                             std::size_t fetchLimit,
                                                                             std::string_view entityName)
{
    auto context = managedObjectContext();
    if (!context)
        return std::nullopt;
    store::FetchRequest request {std::string(entityName), {}, fetchLimit};
    if (!format.empty()) {
        const PredicateForm* form = nullptr;
        for (const PredicateForm& candidate : predicateForms)
            if (candidate.text == format)
                form = &candidate;
        if (!form) {
            ZovLog("MediaDatabase::searchObjectsBy unknown predicate " + std::string(format));
            return std::nullopt;
        }
        request.predicate = form->make(arguments);
    }
    return context->executeFetchRequest(request);
}

Ref<FileSystemItemMO> MediaDatabase::objectExistingForID(const store::ObjectID& id)
{
    auto context = managedObjectContext();
    if (!context)
        return {};
    auto object = context->objectRegisteredForID(id);
    if (!object)
        return {};
    auto item = dynamicRefCast<FileSystemItemMO>(object);
    if (!item)
        ZovLog("Unexpected error in objectExistingForID: object does not conform protocol IFileSystemItem.");
    return item;
}

Ref<FileSystemItemMO> MediaDatabase::objectExistingForUUID(std::string_view uuid)
{
    auto found = searchObjectsBy("uuid==%@", {Value(uuid)}, 1, EntityElement);
    if (!found || found->empty())
        return {};
    return dynamicRefCast<FileSystemItemMO>(found->front());
}

Ref<FileSystemItemMO> MediaDatabase::childOf(FileSystemItemMO* parent, std::string_view name)
{
    auto found = searchObjectsBy("(name==%@) AND (parent==%@)", {Value(name), Value(Ref<Object>(parent))}, 1000000,
                                 EntityElement);
    if (!found)
        return {};
    if (found->size() > 1) {
        ZovLog("Error in childOf:More than one item is found.");
        for (const auto& object : *found)
            if (auto item = dynamicRefCast<FileSystemItemMO>(object))
                ZovLog(item->debugInfoString());
    }
    if (found->size() != 1)
        return {};
    return dynamicRefCast<FileSystemItemMO>(found->front());
}

// --- creation and change ---------------------------------------------------------------------------

Ref<FileSystemItemMO> MediaDatabase::createChildOf(FileSystemItemMO* parent, std::string_view name,
                                                  std::string_view type)
{
    auto context = managedObjectContext();
    if (!context)
        return {};
    if (parent) {
        parent->resetCache();
        parent->resetByNameCache();
    }
    auto object = context->insertNewObject(type);
    if (!object)
        return {};
    auto item = dynamicRefCast<FileSystemItemMO>(object);
    if (!item) {
        context->deleteObject(object.get());
        throw Exception("WrongObjectType", "Object does not conform to IFileSystemItem protocol");
    }
    item->setName(name);
    item->setParent(parent);
    item->setMediaDatabase(this);
    return item;
}

void MediaDatabase::renameItem(FileSystemItemMO* item, std::string_view name)
{
    FNSubscribeFileObserver& watcher = FNSubscribeFileObserver::sharedFileObserver();
    watcher.removePath(item->fullPath());
    item->setName(name);
    watcher.addPath(item->fullPath());
    if (auto parent = item->parent()) {
        parent->resetCache();
        parent->resetByNameCache();
    }
}

// --- tags -------------------------------------------------------------------------------------------

Ref<ManagedObject> MediaDatabase::tagNameObject(std::string_view name, bool createIfNotExists)
{
    if (auto it = tagNameCache_.find(std::string(name)); it != tagNameCache_.end() && !it->second->isDeleted())
        return it->second;
    auto found = searchObjectsBy("value==%@", {Value(name)}, 1, EntityTagName);
    Ref<ManagedObject> tagName;
    if (found && !found->empty()) {
        tagName = found->front();
    } else if (createIfNotExists) {
        if (auto context = managedObjectContext()) {
            tagName = context->insertNewObject(EntityTagName);
            if (tagName)
                tagName->setStringValue("value", std::string(name));
        }
    }
    if (tagName)
        tagNameCache_[std::string(name)] = tagName;
    return tagName;
}

void MediaDatabase::removeTagNameObject(std::string_view name)
{
    auto it = tagNameCache_.find(std::string(name));
    if (it == tagNameCache_.end())
        return;
    Ref<ManagedObject> tagName = it->second;
    tagNameCache_.erase(it);
    if (auto context = managedObjectContext())
        context->deleteObject(tagName.get());
}

Ref<ManagedObject> MediaDatabase::createTagWithName(std::string_view name, ManagedObject* parent,
                                                   std::string_view parentType)
{
    auto context = managedObjectContext();
    if (!context)
        return {};
    auto tagName = tagNameObject(name, true);
    auto tag = context->insertNewObject(EntityTag);
    if (!tag)
        return {};
    tag->setToOne("name", tagName.get());
    if (parent && !parentType.empty())
        tag->setToOne(parentType, parent);
    return tag;
}

Ref<ManagedObject> MediaDatabase::tagOf(ManagedObject* parent, std::string_view parentType, std::string_view name,
                                       bool create)
{
    if (!parent)
        return {};
    auto tagName = tagNameObject(name, create);
    if (!tagName)
        return {};
    for (const auto& tag : parent->toMany("tags"))
        if (tag->toOne("name") == tagName)
            return tag;
    if (!create)
        return {};
    return createTagWithName(name, parent, parentType);
}

std::optional<std::vector<Ref<ManagedObject>>> MediaDatabase::tagsOf(FileSystemItemMO* item, std::string_view name,
                                                                    bool create)
{
    auto group = tagOf(item, "parentElement", name, create);
    if (!group)
        return std::nullopt;
    return group->toMany("tags");
}

void MediaDatabase::logObjects(const std::vector<Ref<ManagedObject>>& objects, std::string_view caption)
{
    bool first = true;
    for (const auto& object : objects) {
        auto item = dynamicRefCast<FileSystemItemMO>(object);
        if (!item)
            continue;
        if (first)
            ZovLog(vistel::format("-------%@------", std::string(caption)));
        first = false;
        ZovLog(item->name());
    }
}

} // namespace vistel
