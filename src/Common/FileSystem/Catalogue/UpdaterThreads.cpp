#include "Common/FileSystem/Catalogue/UpdaterThreads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>

#include <QCoreApplication>

#include "Common/Strings/NSStringDevices.h"
#include "Platform/Exception.h"
#include "Platform/Imaging/TypeIdentifiers.h"
#include "Platform/Log.h"

namespace vistel {

using namespace updater;

// --- identifiers and priorities ------------------------------------------------------------------

std::optional<store::ObjectID> ObjectIDReference::from(const Value& dictionary)
{
    if (Ref<ObjectIDReference> reference = dictionary.get(kID).toObject<ObjectIDReference>())
        return reference->objectID();
    return std::nullopt;
}

namespace priority {

constexpr std::int64_t kMinorRange = std::int64_t(1) << 31;

std::int64_t valueFromMinorAndMajor(std::int32_t minor, std::int32_t major)
{
    const std::int64_t value = std::int64_t(major) * kMinorRange + std::int64_t(minor);
    if (minorFromValue(value) != minor || majorFromValue(value) != major)
        ZovLog("Error in priorityValueFromMinor: " + std::to_string(minor) + " andMajor: " + std::to_string(major)
               + ". Result (" + std::to_string(minorFromValue(value)) + "," + std::to_string(majorFromValue(value)) + ")");
    return value;
}

std::int32_t minorFromValue(std::int64_t value)
{
    std::int64_t minor = value % kMinorRange;
    if (minor < 0)
        minor += kMinorRange;
    return static_cast<std::int32_t>(minor);
}

std::int32_t majorFromValue(std::int64_t value)
{
    return static_cast<std::int32_t>((value - minorFromValue(value)) / kMinorRange);
}

std::int64_t fromRequest(const Value& request)
{
    return request.get(kPriority).toInt64(0);
}

void setToRequest(std::int64_t value, Value& request)
{
    request.set(kPriority, Value(static_cast<long long>(value)));
}

} // namespace priority

// --- jobs --------------------------------------------------------------------------------------

namespace {

std::atomic<int> jobSerial {0};
std::atomic<int> behindSerial {0}; // counts down: below every job of jobSerial

bool sameTypeAndPath(const Value& a, const Value& b)
{
    return a.contains(kType) && a.contains(kPath) && a[kType] == b[kType] && a[kPath] == b[kPath];
}

// Equal in every key, but the write's mark when `ignoringMark`; the item's identifiers are
// compared by the row they name (every request holds a reference object of its own).
bool sameRequest(const Value& a, const Value& b, bool ignoringMark)
{
    auto rest = [&](Value request) {
        request.remove(kID);
        if (ignoringMark)
            request.remove(kFileSystemChanged);
        return request;
    };
    return ObjectIDReference::from(a) == ObjectIDReference::from(b) && rest(a) == rest(b);
}

// A queued request the new one duplicates: equal in every key, or, for a request caused by a
// write, equal but for the write's mark (a write seen during a plain listing of the folder
// must replace or restart that listing, not run beside it).
bool duplicates(const Value& queued, const Value& request)
{
    if (!sameTypeAndPath(queued, request))
        return false;
    if (sameRequest(queued, request, false))
        return true;
    if (!request[kFileSystemChanged].toBool() || queued.contains(kFileSystemChanged))
        return false;
    return sameRequest(queued, request, true);
}

} // namespace

MDUpdaterThreadJob::MDUpdaterThreadJob(Value request, int index) : request_(std::move(request)), index_(index) { }

Ref<MDUpdaterThreadJob> MDUpdaterThreadJob::jobWithRequest(Value request)
{
    return Ref<MDUpdaterThreadJob>::adopt(new MDUpdaterThreadJob(std::move(request), ++jobSerial));
}

Ref<MDUpdaterThreadJob> MDUpdaterThreadJob::jobBehindOthers(Value request)
{
    return Ref<MDUpdaterThreadJob>::adopt(new MDUpdaterThreadJob(std::move(request), --behindSerial));
}

int MDUpdaterThreadJob::compare(const MDUpdaterThreadJob& other) const
{
    const std::int64_t mine = priority(), theirs = other.priority();
    if (mine != theirs)
        return mine < theirs ? -1 : 1;
    return index_ < other.index_ ? -1 : index_ > other.index_ ? 1 : 0;
}

void MDUpdaterThreadJob::start()
{
    enumerator_ = DirectoryEnumerator::enumeratorWithPath(request_[kPath].toString(), MDFolderUpdaterThread::CacheSize);
    if (enumerator_)
        enumerator_->setDesiredInfo(MDFolderUpdaterThread::DesiredInfo);
}

// --- registry ----------------------------------------------------------------------------------

namespace {

enum class ThreadKind { Folder, File };

struct Registry {
    std::mutex mutex;
    std::map<std::pair<ThreadKind, std::int16_t>, Ref<MediaDatabaseUpdaterThread>> threads;
    MDFolderUpdaterThread::Maker folderMaker;
};

Registry& registry()
{
    static Registry* instance = [] {
        // Threads are stopped at exit before static objects go (the registry itself is never
        // destroyed: a late request finds it whole): before Qt's type database, which listings
        // use and which is made first so that it goes after the stop, and before the
        // application object goes when it does before exit.
        TypeIdentifiers::makeTypeDatabase();
        std::atexit(&MediaDatabaseUpdaterThread::stopAllThreads);
        qAddPostRoutine(&MediaDatabaseUpdaterThread::stopAllThreads);
        return new Registry;
    }();
    return *instance;
}

// The registered thread of the kind and volume; a new one when there is none or the
// registered one has ended (it keeps the ended thread's request queue).
Ref<MediaDatabaseUpdaterThread> registeredThread(ThreadKind kind, std::int16_t id,
                                                 const std::function<Ref<MediaDatabaseUpdaterThread>()>& make)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Ref<MediaDatabaseUpdaterThread>& slot = r.threads[{kind, id}];
    if (slot && !slot->isFinished())
        return slot;
    Ref<MediaDatabaseUpdaterThread> thread = make();
    if (slot)
        thread->setRequestsQueue(slot->requestsQueue());
    slot = thread;
    return thread;
}

} // namespace

void MediaDatabaseUpdaterThread::stopAllThreads()
{
    std::vector<Ref<MediaDatabaseUpdaterThread>> threads;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (auto& [key, thread] : r.threads)
            threads.push_back(thread);
        r.threads.clear();
    }
    // Cancelled first, then woken: a body blocked on its empty queue takes the "STOP", sees
    // the cancel and ends; a busy one ends after its current step.
    for (auto& thread : threads)
        thread->cancel();
    for (auto& thread : threads)
        thread->addRequest(Value::dictionary({{kType, Value(kTypeStop)}}));
    for (auto& thread : threads) {
        thread->waitUntilEnded();
        thread->requestsQueue()->clear();
    }
}

Ref<MDFolderUpdaterThread> MDFolderUpdaterThread::create()
{
    return Ref<MDFolderUpdaterThread>::adopt(new MDFolderUpdaterThread());
}

void MDFolderUpdaterThread::setMaker(Maker maker)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.folderMaker = std::move(maker);
}

Ref<MDFolderUpdaterThread> MDFolderUpdaterThread::targetObjectWithID(std::int16_t volumeID)
{
    Maker maker;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        maker = r.folderMaker;
    }
    Ref<MediaDatabaseUpdaterThread> thread = registeredThread(ThreadKind::Folder, volumeID, [&] {
        Ref<MDFolderUpdaterThread> made = maker ? maker() : create();
        made->setName("MDFolderUpdaterThread " + std::to_string(volumeID));
        return Ref<MediaDatabaseUpdaterThread>(made);
    });
    return Ref<MDFolderUpdaterThread>(static_cast<MDFolderUpdaterThread*>(thread.get()));
}

Ref<MDItemUpdaterThread> MDItemUpdaterThread::targetObjectWithID(std::int16_t volumeID)
{
    Ref<MediaDatabaseUpdaterThread> thread = registeredThread(ThreadKind::File, volumeID, [&] {
        Ref<MDItemUpdaterThread> made = create();
        made->setName("MDItemUpdaterThread " + std::to_string(volumeID));
        return Ref<MediaDatabaseUpdaterThread>(made);
    });
    return Ref<MDItemUpdaterThread>(static_cast<MDItemUpdaterThread*>(thread.get()));
}

// --- the job engine --------------------------------------------------------------------------------

void MediaDatabaseUpdaterThread::startOnce()
{
    if (!startRequested_.exchange(true))
        start();
}

void MediaDatabaseUpdaterThread::waitUntilEnded() const
{
    // start() returns once the body runs, so a started thread is executing or finished.
    if (!startRequested_.load())
        return;
    while (!isFinished())
        NSThreadExt::sleepForTimeInterval(0.001);
}

void MediaDatabaseUpdaterThread::main()
{
    failedFlag_ = false;
    jobsStack_.clear();
    // A failed step is answered for its own job; the thread goes on with the others.
    for (;;) {
        fillJobsStack(false);
        while (!jobsStack_.empty()) {
            if (isCancelled())
                break;
            try {
                continueJobs();
            } catch (const Exception& exception) {
                const Value request = currentJob_ ? currentJob_->request() : Value();
                ZovLog(description() + " JOB FAILED: Caught exception " + exception.name() + ": " + exception.reason()
                       + ". Job type " + request[kType].toString() + " path " + request[kPath].toString() + ".");
                ZovLog(description() + " Jobs in queue:");
                for (const auto& job : jobsStack_)
                    ZovLog(description() + " " + job->request()[kPath].toString());
                failedFlag_ = true;
                sendFailure(request);
            }
            currentJob_ = nullptr;
            fillJobsStack(true);
        }
        if (isCancelled())
            break;
    }
    jobsStack_.clear();
}

void MediaDatabaseUpdaterThread::sendFailure(const Value& request)
{
    const std::string type = request[kType].toString();
    if (!request.contains(kID) || (type != kTypeFolder && type != kTypeFile && type != kTypeDecodeSmall))
        return;
    Value result = resultFor(request);
    result.set(kFailed, Value(true));
    if (request[kNeedsHighQualityThumbnail].toBool())
        result.set(kNeedsHighQualityThumbnail, Value(true));
    addResult(std::move(result));
}

Value MediaDatabaseUpdaterThread::resultFor(const Value& request, bool withType)
{
    Value result = Value::dictionary();
    if (request.contains(kID))
        result.set(kID, request[kID]);
    if (withType)
        result.set(kType, request[kType]);
    result.set(kPath, request[kPath]);
    return result;
}

std::size_t MediaDatabaseUpdaterThread::insertPosition(const MDUpdaterThreadJob& job) const
{
    auto it = std::upper_bound(jobsStack_.begin(), jobsStack_.end(), &job,
                               [](const MDUpdaterThreadJob* a, const Ref<MDUpdaterThreadJob>& b) { return a->compare(*b) < 0; });
    return static_cast<std::size_t>(it - jobsStack_.begin());
}

void MediaDatabaseUpdaterThread::insertJob(Ref<MDUpdaterThreadJob> job)
{
    const std::size_t position = insertPosition(*job);
    jobsStack_.insert(jobsStack_.begin() + static_cast<std::ptrdiff_t>(position), std::move(job));
}

void MediaDatabaseUpdaterThread::fillJobsStack(bool onlyTry)
{
    bool first = true;
    for (;;) {
        Value request = getRequestFirst(true, onlyTry || !first);
        first = false;
        if (request.isNull())
            return;
        Ref<MDUpdaterThreadJob> job = MDUpdaterThreadJob::jobWithRequest(request);
        if (!request.contains(kType) || !request.contains(kPath)) {
            insertJob(std::move(job));
            continue;
        }
        switch (filterDuplicates(request, insertPosition(*job))) {
        case DropNewJob: break;
        default: insertJob(std::move(job)); break;
        }
    }
}

MediaDatabaseUpdaterThread::DuplicateAnswer MediaDatabaseUpdaterThread::filterDuplicates(const Value& request,
                                                                                         std::size_t position)
{
    if (request[kType].toString() == kTypeChangePriority) {
        // Earlier priority changes of the same path are superseded.
        for (std::size_t i = jobsStack_.size(); i > 1; --i) {
            const Value& queued = jobsStack_[i - 1]->request();
            if (queued[kType].toString() != kTypeChangePriority)
                break;
            if (queued[kPath] == request[kPath])
                jobsStack_.erase(jobsStack_.begin() + static_cast<std::ptrdiff_t>(i - 1));
        }
        return StackChanged;
    }
    if (position == 0)
        return InsertAtPosition;
    const bool folder = request[kType].toString() == kTypeFolder;
    const std::size_t lowest = folder ? 0 : position - 1;
    for (std::size_t i = position; i > lowest; --i) {
        MDUpdaterThreadJob& job = *jobsStack_[i - 1];
        if (duplicates(job.request(), request))
            return processDuplicateRequest(request, job, i - 1);
    }
    return InsertAtPosition;
}

// --- folder thread ---------------------------------------------------------------------------------

MediaDatabaseUpdaterThread::DuplicateAnswer MDFolderUpdaterThread::processDuplicateRequest(const Value& request,
                                                                                            MDUpdaterThreadJob& job,
                                                                                            std::size_t index)
{
    if (!request[kFileSystemChanged].toBool())
        return DropNewJob;
    if (!job.isStarted()) {
        jobsStack_.erase(jobsStack_.begin() + static_cast<std::ptrdiff_t>(index));
        return StackChanged;
    }
    // A listing under way is done again from the start once it ends.
    Ref<MDUpdaterThreadJob> started(&job);
    job.setRequireRestart(true);
    jobsStack_.erase(jobsStack_.begin() + static_cast<std::ptrdiff_t>(index));
    jobsStack_.push_back(std::move(started));
    return DropNewJob;
}

namespace {

// The values most child dictionaries hold, made once and shared (values never change once
// made, so results on other threads may hold them too).
const Value& sharedFlag(bool flag)
{
    static const Value yes(true), no(false);
    return flag ? yes : no;
}

const Value& sharedVisibility(bool visible)
{
    static const Value yes(kVisibleYes), no(kVisibleNo);
    return visible ? yes : no;
}

const Value& sharedEntryType(bool directory)
{
    static const Value folder(kTypeFolder), file(kTypeFile);
    return directory ? folder : file;
}

// The kind or type text of the previous entry: folders hold runs of one extension.
const Value& sharedTypeText(Value& last, const std::string& text)
{
    if (last.asString() != text || !last.isString())
        last = Value(text);
    return last;
}

// A folder that exists but that this process may not read.
bool isUnreadableFolder(const std::string& path)
{
    struct stat info {};
    return NSStringDevices::isVolumePath(path) && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
        && ::faccessat(AT_FDCWD, path.c_str(), R_OK | X_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM);
}

} // namespace

Value MDFolderUpdaterThread::childDictionary(const std::string& name, DirectoryEnumerator& enumerator,
                                             ListingTexts& texts)
{
    Value::DictionaryType child;
    std::string stored = name;
    std::replace(stored.begin(), stored.end(), '/', ':');
    const bool visible = !enumerator.isInvisible();
    child.emplace(kVisible, sharedVisibility(visible));
    const bool directory = enumerator.isDirectory();
    std::optional<std::string> displayName = directory ? enumerator.displayName() : std::nullopt;
    if (displayName && *displayName != name)
        child.emplace(kDisplayName, Value(*displayName));
    else if (stored != name)
        child.emplace(kDisplayName, Value(name));
    child.emplace(kName, Value(std::move(stored)));
    if (const std::optional<DirectoryEnumerator::ListingFacts> facts = enumerator.listingFacts()) {
        child.emplace(kType, sharedEntryType(directory));
        if (facts->creationDate)
            child.emplace(kCreationDate, Value(*facts->creationDate));
        if (facts->modificationDate)
            child.emplace(kModificationDate, Value(*facts->modificationDate));
        if (!directory && facts->size)
            child.emplace(kSize, Value(static_cast<unsigned long long>(*facts->size)));
    }
    child.emplace(kIsWritable, sharedFlag(enumerator.isWritable()));
    child.emplace(kIsLocked, sharedFlag(enumerator.isLocked()));
    if (visible && !directory) {
        if (auto icon = enumerator.iconDataOnlyCustom(true, 0x1818))
            child.emplace(kIconData, Value(std::move(*icon)));
        if (auto kind = enumerator.kindStringFromType())
            child.emplace(kFileKind, sharedTypeText(texts.kind, *kind));
        if (auto type = enumerator.contentTypeFromType())
            child.emplace(kContentKind, sharedTypeText(texts.contentType, *type));
    } else if (visible && enumerator.isBundle()) {
        child.emplace(kIsBundle, sharedFlag(true));
    }
    return Value(std::move(child));
}

void MDFolderUpdaterThread::continueJobs()
{
    currentJob_ = jobsStack_.back();
    jobsStack_.pop_back();
    MDUpdaterThreadJob& job = *currentJob_;
    const Value& request = job.request();
    const std::string type = request[kType].toString();
    if (type == kTypePutAtFront) {
        if (!request.contains(kPath))
            return;
        for (auto it = jobsStack_.begin(); it != jobsStack_.end(); ++it)
            if ((*it)->request()[kType].toString() == kTypeFolder && (*it)->request()[kPath] == request[kPath]) {
                Ref<MDUpdaterThreadJob> found = *it;
                jobsStack_.erase(it);
                jobsStack_.push_back(std::move(found));
                return;
            }
        return;
    }
    if (type != kTypeFolder)
        return;
    auto started = std::chrono::steady_clock::now();
    if (!job.isStarted()) {
        job.start();
        if (!job.isStarted()) {
            if (!isUnreadableFolder(request[kPath].toString())) {
                sendItemDoesNotExist(request);
                return;
            }
            // There, but closed to this user: listed as empty, so that every view counts
            // what it shows (nothing) instead of what an earlier listing found.
            sendResultFolderExists(request);
            sendItems(Value::array(), request, true);
            return;
        }
        sendResultFolderExists(request);
    }
    // The time spent waiting for the catalogue does not shorten the slice.
    const auto waitBegan = std::chrono::steady_clock::now();
    waitForRoomInResults();
    started += std::chrono::steady_clock::now() - waitBegan;
    if (isCancelled()) {
        jobsStack_.push_back(currentJob_);
        return;
    }
    DirectoryEnumerator& enumerator = *job.enumerator();
    Value::ArrayType slice;
    slice.reserve(CacheSize);
    while (std::optional<std::string> name = enumerator.nextObject()) {
        slice.push_back(childDictionary(*name, enumerator, texts_));
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (enumerator.cacheExhausted() || elapsed > SliceSeconds) {
            sendItems(std::move(slice), request, false);
            jobsStack_.push_back(currentJob_);
            return;
        }
    }
    if (slice.size() > 0)
        sendItems(std::move(slice), request, false);
    sendItems(Value::array(), request, true);
    if (job.requiresRestart())
        insertJob(MDUpdaterThreadJob::jobBehindOthers(request));
}

void MDFolderUpdaterThread::waitForRoomInResults()
{
    // A thread driven from another one (tests) would wait for itself.
    if (NSThreadExt::currentThreadExt() != this)
        return;
    const Ref<ThreadSafeQueue> results = resultsQueue();
    while (results->count() >= MaxQueuedResults && !isCancelled())
        NSThreadExt::sleepForTimeInterval(0.001);
}

void MDFolderUpdaterThread::sendResultFolderExists(const Value& request)
{
    Value result = resultFor(request);
    result.set(kExists, Value(kExistsYes));
    result.set(kStatus, Value(kStatusStart));
    addResult(std::move(result));
}

void MDFolderUpdaterThread::sendItems(Value items, const Value& request, bool completed)
{
    Value result = resultFor(request);
    if (items.size() > 0)
        result.set(kObjects, std::move(items));
    result.set(kExists, Value(kExistsYes));
    result.set(kStatus, Value(completed ? kStatusFinished : kStatusInProgress));
    addResult(std::move(result));
}

void MDFolderUpdaterThread::sendItemDoesNotExist(const Value& request)
{
    Value result = resultFor(request, false);
    result.set(kExists, Value(kExistsNo));
    result.set(kStatus, Value(kStatusFinished));
    addResult(std::move(result));
}

} // namespace vistel
