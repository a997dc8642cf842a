// Fuzzes the dictionaries that travel between the catalogue and its updater threads: requests
// queued to a folder thread and a file thread (ordered, merged and dropped by their job stacks),
// and results applied to the catalogue on the main thread (listing slices with their child
// entries, file facts, thumbnails and page metadata, failures, items that no longer exist).
//
// The input is read as a small program: each dictionary takes its keys from the ones requests
// and results use (or any text) and its values of any kind, with "ID" naming one of a few items
// made for the input, or an item the catalogue does not hold. One catalogue in a private data
// folder serves the whole run; each input's items are made afresh and deleted after it. Nothing
// may crash, and a job stack stays in order; a result that cannot be applied may be reported
// (an alert, answered at once).

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Common/Tools/Threads/ThreadSafeQueue.h"
#include "Platform/ErrorRecord.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/ObjectStore/ObjectStore.h"

namespace {

using namespace vistel;
using namespace vistel::updater;

// The input, taken a byte at a time; zeros once it is used up.
class Program {
public:
    Program(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return next_ >= size_; }
    std::uint8_t byte() { return next_ < size_ ? data_[next_++] : 0; }
    std::string text(std::size_t most)
    {
        const std::size_t length = std::min<std::size_t>(byte() % (most + 1), size_ - std::min(next_, size_));
        std::string bytes(reinterpret_cast<const char*>(data_ + next_), length);
        next_ += length;
        return bytes;
    }
    std::int64_t number()
    {
        std::int64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = (value << 8) | byte();
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

const char* const kKeys[] = {kType, kPath, kID, kPriority, kNewPriority, kCreationDate, kModificationDate, kSize,
                             kNeedsThumbnail, kNeedsHighQualityThumbnail, kImageSize, kThumbnailSmallData,
                             kThumbnailLargeData, kThumbnailSmallImage, kThumbnailLargeImage, kIsDecodable,
                             kFileSystemChanged, kStatus, kExists, kObjects, kFailed, kPageMetadata, kName, kVisible,
                             kDisplayName, kIsWritable, kIsLocked, kIconData, kFileKind, kContentKind, kIsBundle};
const char* const kTexts[] = {kTypeFolder, kTypeFile, kTypeChangePriority, kTypePutAtFront, kTypeDecodeSmall,
                              kTypeStop, kStatusStart, kStatusInProgress, kStatusFinished, kExistsYes, kExistsNo,
                              kVisibleYes, kVisibleNo, "a.jpg", "sub", "new.png", "", ".hidden", "x/y", ".."};

struct Run {
    std::vector<Ref<FileSystemItemMO>> items; // a folder, its subfolder, a picture in it
};

Value anyValue(Program& program, const Run& run, int depth);

Value idValue(Program& program, const Run& run)
{
    const std::size_t which = program.byte() % (run.items.size() + 1);
    if (which < run.items.size())
        return Value(ObjectIDReference::create(run.items[which]->permanentObjectID()));
    // An item the catalogue does not hold, of an entity it knows.
    return Value(ObjectIDReference::create(store::ObjectID {"STORE", MediaDatabase::EntityFolder, 1000000 + program.byte()}));
}

Value dictionaryValue(Program& program, const Run& run, int depth)
{
    Value dictionary = Value::dictionary();
    for (int count = program.byte() % 8; count > 0 && !program.done(); --count) {
        const std::uint8_t choice = program.byte();
        const std::string key = choice < 0xF0 ? kKeys[choice % std::size(kKeys)] : program.text(8);
        if (key == kID && (program.byte() & 1))
            dictionary.set(key, idValue(program, run));
        else if (key == kObjects && (program.byte() & 1)) {
            Value children = Value::array();
            for (int n = program.byte() % 4; n > 0; --n)
                children.append(dictionaryValue(program, run, depth + 1));
            dictionary.set(key, std::move(children));
        } else
            dictionary.set(key, anyValue(program, run, depth + 1));
    }
    return dictionary;
}

Value anyValue(Program& program, const Run& run, int depth)
{
    switch (program.byte() % (depth > 3 ? 7 : 9)) {
    case 0:
        return Value();
    case 1:
        return Value(bool(program.byte() & 1));
    case 2:
        return Value(static_cast<long long>(program.number()));
    case 3: {
        const std::int64_t bits = program.number();
        double real = 0;
        std::memcpy(&real, &bits, sizeof real);
        return Value(real);
    }
    case 4:
        return Value(kTexts[program.byte() % std::size(kTexts)]);
    case 5:
        return Value(program.text(24));
    case 6: {
        const std::string bytes = program.text(64);
        return Value::data(bytes.data(), bytes.size());
    }
    case 7: {
        Value array = Value::array();
        for (int n = program.byte() % 4; n > 0; --n)
            array.append(anyValue(program, run, depth + 1));
        return array;
    }
    default:
        return dictionaryValue(program, run, depth + 1);
    }
}

class DrivenFolderThread : public MDFolderUpdaterThread {
public:
    static Ref<DrivenFolderThread> create() { return Ref<DrivenFolderThread>::adopt(new DrivenFolderThread()); }
};

class DrivenFileThread : public MDItemUpdaterThread {
public:
    static Ref<DrivenFileThread> create() { return Ref<DrivenFileThread>::adopt(new DrivenFileThread()); }
};

void checkOrder(MediaDatabaseUpdaterThread& thread)
{
    const auto& stack = thread.jobsStack();
    for (std::size_t i = 1; i < stack.size(); ++i)
        if (stack[i - 1]->compare(*stack[i]) > 0)
            std::abort();
}

// The catalogue of the whole run and the folder item under which each input gets its own items.
struct Catalogue {
    Ref<MediaDatabase> database;
    Ref<FileSystemItemMO> base;
    std::string basePath;
};

Catalogue& catalogue()
{
    static Catalogue instance;
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    char data[] = "/tmp/fuzz_CatalogueDictionaries.XXXXXX";
    char tree[] = "/tmp/fuzz_CatalogueDictionaries-tree.XXXXXX";
    if (!mkdtemp(data) || !mkdtemp(tree))
        std::abort();
    setenv("XDG_DATA_HOME", data, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The machine's buses are never used: the volume services find no bus at all.
    const std::string noBus = std::string("unix:path=") + data + "/no-bus";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", noBus.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", noBus.c_str(), 1);
    static PlatformApplication application(*argc, *argv);
    // A result the catalogue cannot apply (a child entry of an unknown entity, say) is reported
    // in an alert, which would wait for a user: it is answered at once.
    Alert::setResponder([](const AlertRecord&) { return AlertResponse::pressButton(0); });
    // The first alert loads the fonts once for the process (allocations the font library keeps):
    // done here, so that no input is blamed for them.
    PlatformApplication::presentError(ErrorRecord {"NSPOSIXErrorDomain", 0, Value::dictionary(), {}});
    ImagePropertyMapping::initialize();
    registerThumbnailStyleDefaults();
    // One catalogue for the run: making one costs far more than an input.
    Catalogue& c = catalogue();
    c.database = MediaDatabase::create();
    MediaDatabase::setDefaultMediaDatabase(c.database.get());
    c.basePath = tree;
    c.base = c.database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    for (std::size_t start = 1; start < c.basePath.size();) {
        const std::size_t slash = std::min(c.basePath.find('/', start), c.basePath.size());
        c.base = c.database->createChildOf(c.base.get(), c.basePath.substr(start, slash - start),
                                           MediaDatabase::EntityFolder);
        start = slash + 1;
    }
    c.base->setValid(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Program program(data, size);
    Catalogue& c = catalogue();
    MediaDatabase& database = *c.database;
    // This input's items: a folder, its subfolder and a picture in that, made afresh and deleted
    // with everything the results added under them.
    Run run;
    Ref<FileSystemItemMO> folder = database.createChildOf(c.base.get(), "run", MediaDatabase::EntityFolder);
    Ref<FileSystemItemMO> sub = database.createChildOf(folder.get(), "sub", MediaDatabase::EntityFolder);
    Ref<FileSystemItemMO> picture = database.createChildOf(sub.get(), "a.jpg", MediaDatabase::EntityFile);
    // Listed and waiting for their refresh, as the updater threads' results find them.
    for (const auto& item : {folder, sub, picture}) {
        item->setValid(true);
        item->setRefreshStatus(FileSystemItemMO::RefreshQueued | FileSystemItemMO::RefreshDecodePending);
    }
    run.items = {folder, sub, picture};

    Ref<DrivenFolderThread> folderThread = DrivenFolderThread::create();
    Ref<DrivenFileThread> fileThread = DrivenFileThread::create();
    fileThread->setResultsQueue(ThreadSafeQueue::create());
    while (!program.done()) {
        const std::uint8_t what = program.byte();
        Value dictionary = dictionaryValue(program, run, 0);
        if (what & 1) {
            database.processResultFromThreads(dictionary);
        } else {
            MediaDatabaseUpdaterThread& thread =
                (what & 2) ? static_cast<MediaDatabaseUpdaterThread&>(*fileThread) : *folderThread;
            thread.addRequest(std::move(dictionary));
            thread.fillJobsStack(true);
            checkOrder(thread);
        }
    }
    run.items.clear();
    c.base->deleteChild(folder.get(), true);
    database.noteAndSaveChanges();
    return 0;
}
