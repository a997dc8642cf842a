#pragma once
// The catalogue's updater threads: per volume one folder updater thread that lists folders and
// one file updater thread that checks files and makes thumbnails.
//
// What they are. Neither thread touches the catalogue. Work reaches a thread as a request
// dictionary in its request queue; answers go back as result dictionaries into the
// catalogue's one results queue, which the main thread drains (MediaDatabase). Requests and
// results name items by their ObjectIDs, boxed as ObjectIDReference objects; images ride as
// MultiImage objects. The keys and values are the constants below.
//
// The job engine (MediaDatabaseUpdaterThread) moves queued requests into a job stack ordered
// by priority (the request's "priority", then the job's serial number: the last job runs next,
// so among equal priorities the newest), drops or merges duplicates, and hands the top job to
// the subclass one step at a time, taking newly queued requests between steps: an urgent
// request overtakes a long listing after at most one slice.
//
// A step that throws is logged; its job gets a result marked "#Failed" (the catalogue clears
// the item's pending bit and changes nothing else) and the other jobs go on normally. A thread
// that was stopped is replaced by a new one, on the same request queue, at the next request for
// its volume.
//
// The registry maps a 16-bit volume identifier (the volume's reference number, 0 without
// volume) to each kind of thread, made on first use. stopAllThreads() cancels, wakes ("STOP")
// and joins every thread; it runs from MediaDatabase::stopAll() and, at the latest, at exit,
// before static objects are destroyed.
//
// Thread rules: the registry is used on the main thread (it is locked all the same). A
// thread's stack and jobs belong to that thread; tests drive fillJobsStack() and the stack of
// a thread that was never started from their own thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QSizeF>

#include "Common/FileSystem/Catalogue/DirectoryEnumerator.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/ObjectStore/ObjectStore.h"
#include "Platform/Value.h"

namespace vistel {

// Keys and values of requests and results.
namespace updater {
inline constexpr const char* kType = "type";
inline constexpr const char* kPath = "path";
inline constexpr const char* kID = "ID";
inline constexpr const char* kPriority = "priority";
inline constexpr const char* kNewPriority = "newPriority";
inline constexpr const char* kCreationDate = "creationDate";
inline constexpr const char* kModificationDate = "modificationDate";
inline constexpr const char* kSize = "size";
inline constexpr const char* kNeedsThumbnail = "needsThumbnail";
inline constexpr const char* kNeedsHighQualityThumbnail = "needsHighQualityThumbnail";
inline constexpr const char* kImageSize = "imageSize";
inline constexpr const char* kThumbnailSmallData = "thumbnailSmallData";
inline constexpr const char* kThumbnailLargeData = "thumbnailLargeData";
inline constexpr const char* kThumbnailSmallImage = "thumbnailSmallImage";
inline constexpr const char* kThumbnailLargeImage = "thumbnailLargeImage";
inline constexpr const char* kIsDecodable = "isDecodable";
inline constexpr const char* kFileSystemChanged = "File System Changed Notification";
inline constexpr const char* kStatus = "#Status";
inline constexpr const char* kExists = "#Exists";
inline constexpr const char* kObjects = "#Objects";
// YES in the result of a job whose step failed.
inline constexpr const char* kFailed = "#Failed";
// The picture's page metadata and metadata dictionaries, in file results.
inline constexpr const char* kPageMetadata = "pageMetadata";

inline constexpr const char* kTypeFolder = "Folder";
inline constexpr const char* kTypeFile = "File";
inline constexpr const char* kTypeChangePriority = "CP";
inline constexpr const char* kTypePutAtFront = "PAF";
inline constexpr const char* kTypeDecodeSmall = "CIFDAS";
inline constexpr const char* kTypeStop = "STOP";

inline constexpr const char* kStatusStart = "Start";
inline constexpr const char* kStatusInProgress = "InProgress";
inline constexpr const char* kStatusFinished = "Finished";
inline constexpr const char* kExistsYes = "Exists";
inline constexpr const char* kExistsNo = "NotExists";

// Child dictionaries.
inline constexpr const char* kName = "name";
inline constexpr const char* kVisible = "visible";
inline constexpr const char* kDisplayName = "displayName";
inline constexpr const char* kIsWritable = "isWritable";
inline constexpr const char* kIsLocked = "isLocked";
inline constexpr const char* kIconData = "iconData";
inline constexpr const char* kFileKind = "fileKind";
inline constexpr const char* kContentKind = "contentKind";
inline constexpr const char* kIsBundle = "isBundle";
inline constexpr const char* kVisibleYes = "Visible";
inline constexpr const char* kVisibleNo = "Invisible";
} // namespace updater

// An ObjectID as an object, so that it rides in request and result dictionaries.
class ObjectIDReference : public Object {
public:
    static Ref<ObjectIDReference> create(store::ObjectID id) { return makeRef<ObjectIDReference>(std::move(id)); }
    explicit ObjectIDReference(store::ObjectID id) : id_(std::move(id)) { }
    const store::ObjectID& objectID() const { return id_; }
    // The ID a request or result holds under "ID"; nullopt when there is none.
    static std::optional<store::ObjectID> from(const Value& dictionary);

private:
    store::ObjectID id_;
};

// Priorities: major × 2^31 + minor, minor in 0 ... 2^31 − 1.
namespace priority {
std::int64_t valueFromMinorAndMajor(std::int32_t minor, std::int32_t major);
std::int32_t minorFromValue(std::int64_t value);
std::int32_t majorFromValue(std::int64_t value);
// The request's "priority", 0 when absent.
std::int64_t fromRequest(const Value& request);
void setToRequest(std::int64_t value, Value& request);
} // namespace priority

class MDUpdaterThreadJob : public Object {
public:
    static Ref<MDUpdaterThreadJob> jobWithRequest(Value request);
    // A job that waits behind every other job of its priority, also those queued after it
    // (of two such jobs, the one made first runs first): a listing done again after a write
    // lets the others go first, so a folder written to all the time cannot keep the thread
    // from every other folder.
    static Ref<MDUpdaterThreadJob> jobBehindOthers(Value request);

    const Value& request() const { return request_; }
    void setRequest(Value request) { request_ = std::move(request); }
    int index() const { return index_; }
    bool requiresRestart() const { return requiresRestart_; }
    void setRequireRestart(bool restart) { requiresRestart_ = restart; }
    std::int64_t priority() const { return priority::fromRequest(request_); }
    // Lower priority first; equal priorities by serial number.
    int compare(const MDUpdaterThreadJob& other) const;

    // Opens the enumerator of the request's path (cache of 100 entries); the job counts as
    // started when there is one.
    void start();
    bool isStarted() const { return bool(enumerator_); }
    DirectoryEnumerator* enumerator() const { return enumerator_.get(); }

private:
    MDUpdaterThreadJob(Value request, int index);
    Ref<DirectoryEnumerator> enumerator_;
    Value request_;
    int index_;
    bool requiresRestart_ = false;
};

class MediaDatabaseUpdaterThread : public NSThreadExt {
public:
    // What fillJobsStack's duplicate check answers.
    enum DuplicateAnswer { InsertAtPosition = 0, StackChanged = 1, DropNewJob = 2 };

    // Moves queued requests into the stack; waits for the first one unless onlyTry.
    void fillJobsStack(bool onlyTry);
    std::vector<Ref<MDUpdaterThreadJob>>& jobsStack() { return jobsStack_; }
    // The position after every job that compares lower or equal.
    std::size_t insertPosition(const MDUpdaterThreadJob& job) const;
    void insertJob(Ref<MDUpdaterThreadJob> job);
    bool failed() const { return failedFlag_; }
    // Starts the thread unless it was started before.
    void startOnce();
    // Returns once the body of a started thread has ended (polling; the thread must have been
    // cancelled and woken).
    void waitUntilEnded() const;

    // Cancels, wakes and joins every registered thread and empties the registry.
    static void stopAllThreads();

protected:
    MediaDatabaseUpdaterThread() = default;
    void main() override;
    // One step of work on the top job.
    virtual void continueJobs() = 0;
    virtual DuplicateAnswer processDuplicateRequest(const Value& request, MDUpdaterThreadJob& job, std::size_t index) = 0;
    DuplicateAnswer filterDuplicates(const Value& request, std::size_t position);
    // The result that clears the pending bit of a job whose step failed.
    void sendFailure(const Value& request);
    // {"ID", "type", "path"} of the request, the start of every result.
    static Value resultFor(const Value& request, bool withType = true);

    std::vector<Ref<MDUpdaterThreadJob>> jobsStack_;
    bool failedFlag_ = false;
    // The job whose step runs now (it is off the stack meanwhile).
    Ref<MDUpdaterThreadJob> currentJob_;

private:
    std::atomic<bool> startRequested_ {false};
};

class MDFolderUpdaterThread : public MediaDatabaseUpdaterThread {
public:
    using Maker = std::function<Ref<MDFolderUpdaterThread>()>;
    // The registered thread of the volume, or a new one (not started) on the same request
    // queue as an ended predecessor.
    static Ref<MDFolderUpdaterThread> targetObjectWithID(std::int16_t volumeID);
    static Ref<MDFolderUpdaterThread> create();
    // Tests substitute threads of their own (empty: plain threads).
    static void setMaker(Maker maker);

    // Longest time of one listing slice, and the enumerator's batch.
    static constexpr double SliceSeconds = 0.2;
    static constexpr std::uint32_t CacheSize = 100;
    // A listing waits before its next slice while this many results wait for the main thread,
    // which applies one per pass: slices queued far ahead only hold their dictionaries.
    static constexpr std::size_t MaxQueuedResults = 8;
    // Node flags, node identifier, dates, permissions, Finder information, data sizes.
    static constexpr std::uint32_t DesiredInfo = 0x4C72;

protected:
    MDFolderUpdaterThread() = default;
    void continueJobs() override;
    DuplicateAnswer processDuplicateRequest(const Value& request, MDUpdaterThreadJob& job, std::size_t index) override;
    // The kind and type texts of the last entry listed, shared by the entries that follow.
    struct ListingTexts {
        Value kind;
        Value contentType;
    };
    // One child dictionary for the enumerator's current entry.
    static Value childDictionary(const std::string& name, DirectoryEnumerator& enumerator, ListingTexts& texts);
    // Waits (on its own thread only, until cancelled) while the results queue is full.
    void waitForRoomInResults();
    void sendResultFolderExists(const Value& request);
    void sendItems(Value items, const Value& request, bool completed);
    void sendItemDoesNotExist(const Value& request);

private:
    ListingTexts texts_;
};

class MultiImage;
class RIReperesentation;

// Registers the four "ThumbnailStyle" defaults the file updater threads read: "Size" 120,
// "UseEmbeddedThumbnails", "GenerateHighQualityThumbnails" and "HighQualityScaling" YES. The
// application's preferences call it before any updater thread starts.
void registerThumbnailStyleDefaults();

// The file updater thread: checks whether files changed, makes their small thumbnails (fitted
// into "ThumbnailStyle.Size", or the request's "imageSize") and large ones (long edge 320,
// stored as JPEG, or LZW TIFF for pictures with alpha), decodes small thumbnails from stored
// large ones, and re-orders queued file jobs for "CP" requests. File results of a thumbnail
// carry the picture's page metadata (upright size, resolution, depth, profile, orientation)
// and its metadata dictionaries under "pageMetadata". The preferences are followed while the
// thread runs (observers of the standard defaults, atomics read between steps). The decodes
// run on the workers of the DecodePool shared by every volume's thread, the thread's most
// urgent jobs first; stopping the thread drops what it handed there and waits for what runs.
class MDItemUpdaterThread : public MediaDatabaseUpdaterThread {
public:
    static constexpr float LargeThumbnailSize = 320;

    static Ref<MDItemUpdaterThread> targetObjectWithID(std::int16_t volumeID);
    static Ref<MDItemUpdaterThread> create();

    float smallThumbnailSize() const;
    bool useEmbeddedThumbnails() const;
    bool highQualityScaling() const;

    // A ready-to-draw image of `data` decoded into `size` (an empty size: its own). Above
    // `maximumZoom` times enlargement (0: no limit) nil, or that zoom when `createIfZoomTooLarge`.
    Ref<MultiImage> createCacheImageForData(const Value::Bytes& data, QSizeF size, float maximumZoom,
                                           bool createIfZoomTooLarge) const;
    // An upright ready-to-draw copy of the representation at `size` (empty: its own size).
    Ref<MultiImage> createCacheImageForRepresentation(RIReperesentation& representation, QSizeF size) const;

protected:
    MDItemUpdaterThread();
    ~MDItemUpdaterThread() override;
    void main() override;
    // Takes the top job; on the thread's own body a decode goes to the shared DecodePool
    // (waiting first while this thread's share of the workers is busy) and posts its result
    // there, elsewhere (a thread driven by tests) it runs in place.
    void continueJobs() override;
    // The work of one "File" or "CIFDAS" job, posting its result (any thread).
    void runDecodeJob(const Value& request);
    DuplicateAnswer processDuplicateRequest(const Value& request, MDUpdaterThreadJob& job, std::size_t index) override;
    void changePriority(const Value& request);
    void createImageWithRequest(const Value& request);
    void sendItemStatus(const Value& request, bool exists);
    void sendItemIsChanged(const Value& request, const Value& attributes);
    void generateCachedImagesIfDataIsProvided(const Value& request, Value& result) const;

private:
    struct Preferences;
    std::shared_ptr<Preferences> preferences_;
};

} // namespace vistel
