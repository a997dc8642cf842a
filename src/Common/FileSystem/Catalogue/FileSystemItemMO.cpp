#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"

#include <algorithm>
#include <ctime>

#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/TypeIdentifiers.h"
#include "Platform/Log.h"
#include "ZovTranslatorManager.h"

namespace vistel {

using store::ManagedObject;
using ComparisonResult = FileSystemItemMO::ComparisonResult;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

FileSystemItemMO* asItem(const Ref<ManagedObject>& object)
{
    return static_cast<FileSystemItemMO*>(object.get());
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<Date> dateOf(std::optional<double> seconds)
{
    if (!seconds)
        return std::nullopt;
    return Date {*seconds};
}

// The columns of the stored attributes, looked up once per entity (the accessors run for
// every child of every listing and every comparison of a sort).
struct Columns {
    const store::ObjectModel::Entity* entity = nullptr;
    int name = -1, displayName = -1, uuid = -1, bundle = -1, size = -1, creationDate = -1, modificationDate = -1,
        type = -1, userKind = -1, flags = -1;
};

const Columns& columnsOf(const ManagedObject& item)
{
    thread_local Columns known[4];
    thread_local unsigned next = 0;
    const store::ObjectModel::Entity* entity = &item.entity();
    for (const Columns& slot : known)
        if (slot.entity == entity)
            return slot;
    Columns& slot = known[next++ % 4];
    slot.entity = entity;
    slot.name = item.columnForKey("name");
    slot.displayName = item.columnForKey("displayName");
    slot.uuid = item.columnForKey("uuid");
    slot.bundle = item.columnForKey("bundle");
    slot.size = item.columnForKey("size");
    slot.creationDate = item.columnForKey("creationDate");
    slot.modificationDate = item.columnForKey("modificationDate");
    slot.type = item.columnForKey("type");
    slot.userKind = item.columnForKey("userKind");
    slot.flags = item.columnForKey("flags");
    return slot;
}

// The stored name without a copy.
std::string_view nameOf(const ManagedObject& item)
{
    return item.stringAtColumn(columnsOf(item).name).value_or(std::string_view());
}

} // namespace

ComparisonResult compareNamesNumerically(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Digit runs compare by value: leading zeros do not count, then the longer run is
            // the larger number, then the digits decide.
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? ComparisonResult::Ascending : ComparisonResult::Descending;
            if (int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj)); c != 0)
                return c < 0 ? ComparisonResult::Ascending : ComparisonResult::Descending;
            i = ei;
            j = ej;
            continue;
        }
        // UTF-8 byte order is code-point order.
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb)
            return ca < cb ? ComparisonResult::Ascending : ComparisonResult::Descending;
        ++i;
        ++j;
    }
    if (i < a.size())
        return ComparisonResult::Descending;
    if (j < b.size())
        return ComparisonResult::Ascending;
    return ComparisonResult::Same;
}

store::ObjectModel::Factory FileSystemItemMO::factory()
{
    return [] { return static_cast<ManagedObject*>(new FileSystemItemMO); };
}

void FileSystemItemMO::fixFolderFlag()
{
    constantIsFolderFlag_ = entityName() == MediaDatabase::EntityFolder || entityName() == MediaDatabase::EntityVolume;
}

void FileSystemItemMO::willTurnIntoFault()
{
    resetCache();
    cachedByNameChilds_.reset();
}

MediaDatabase* FileSystemItemMO::mediaDatabase()
{
    if (mediaDatabase_)
        return mediaDatabase_;
    if (auto up = parent()) {
        mediaDatabase_ = up->mediaDatabase();
        return mediaDatabase_;
    }
    // An item read from the store belongs to the catalogue whose context holds it.
    if (MediaDatabase* database = MediaDatabase::defaultMediaDatabase();
        database && managedObjectContext() && database->managedObjectContext().get() == managedObjectContext()) {
        mediaDatabase_ = database;
        return database;
    }
    ZovLog("FileSystemItemMO::mediaDatabase item without catalogue " + debugInfoString());
    return nullptr;
}

std::string FileSystemItemMO::debugInfoString() const
{
    auto time = [](std::optional<Date> date) -> std::string {
        if (!date)
            return "(null)";
        std::time_t seconds = static_cast<std::time_t>(date->secondsSince1970);
        std::tm local {};
        localtime_r(&seconds, &local);
        char text[16];
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
        return text;
    };
    const char* flags[] = {visible() ? "VIS" : "INVIS", isFolder() ? "FOLD" : "FILE", valid() ? "VAL" : "INVALID",
                           decodable() ? "DEC" : "BAD"};
    if (isFolder())
        return vistel::format("[%d](%s %s %s %s) c=%@ m=%@ %@", static_cast<long long>(rowID()), flags[0], flags[1],
                              flags[2], flags[3], time(creationDate()), time(modificationDate()), fullPath());
    return vistel::format("[%d](%s %s %s %s) c=%@ m=%@ s=[%d] %@", static_cast<long long>(rowID()), flags[0], flags[1],
                          flags[2], flags[3], time(creationDate()), time(modificationDate()),
                          static_cast<long long>(size().value_or(0)), fullPath());
}

// --- stored attributes ----------------------------------------------------------------------------

std::string FileSystemItemMO::name() const
{
    return std::string(nameOf(*this));
}

void FileSystemItemMO::setName(std::string_view name)
{
    setStringAtColumn(columnsOf(*this).name, std::string(name));
}

std::optional<std::string> FileSystemItemMO::uuid() const
{
    const auto uuid = stringAtColumn(columnsOf(*this).uuid);
    return uuid ? std::optional<std::string>(*uuid) : std::nullopt;
}

void FileSystemItemMO::setUuid(const std::optional<std::string>& uuid)
{
    setStringAtColumn(columnsOf(*this).uuid, uuid);
}

bool FileSystemItemMO::bundle() const
{
    return integerAtColumn(columnsOf(*this).bundle).value_or(0) != 0;
}

void FileSystemItemMO::setBundle(bool bundle)
{
    setIntegerAtColumn(columnsOf(*this).bundle, bundle ? 1 : 0);
}

std::optional<std::int64_t> FileSystemItemMO::size() const
{
    if (isFolder())
        return std::nullopt;
    return integerAtColumn(columnsOf(*this).size);
}

void FileSystemItemMO::setSize(std::optional<std::int64_t> size)
{
    setIntegerAtColumn(columnsOf(*this).size, size);
}

std::optional<Date> FileSystemItemMO::creationDate() const
{
    return dateOf(realAtColumn(columnsOf(*this).creationDate));
}

void FileSystemItemMO::setCreationDate(std::optional<Date> date)
{
    setRealAtColumn(columnsOf(*this).creationDate, date ? std::optional(date->secondsSince1970) : std::nullopt);
}

std::optional<Date> FileSystemItemMO::modificationDate() const
{
    return dateOf(realAtColumn(columnsOf(*this).modificationDate));
}

void FileSystemItemMO::setModificationDate(std::optional<Date> date)
{
    setRealAtColumn(columnsOf(*this).modificationDate, date ? std::optional(date->secondsSince1970) : std::nullopt);
}

std::optional<std::string> FileSystemItemMO::type() const
{
    if (isFolder())
        return ZOV_TRANSLATE("Folder", "type");
    const auto type = stringAtColumn(columnsOf(*this).type);
    return type ? std::optional<std::string>(*type) : std::nullopt;
}

void FileSystemItemMO::setType(const std::optional<std::string>& type)
{
    setStringAtColumn(columnsOf(*this).type, type);
    temporaryIsImageFlag_ = !isFolder() && type && TypeIdentifiers::conformsTo(*type, "public.image");
}

std::optional<std::string> FileSystemItemMO::userKind() const
{
    if (isFolder())
        return ZOV_TRANSLATE("Folder", "userKind");
    const auto kind = stringAtColumn(columnsOf(*this).userKind);
    return kind ? std::optional<std::string>(*kind) : std::nullopt;
}

void FileSystemItemMO::setUserKind(const std::optional<std::string>& kind)
{
    setStringAtColumn(columnsOf(*this).userKind, kind);
}

Ref<FileSystemItemMO> FileSystemItemMO::parent() const
{
    auto up = toOne("parent");
    return Ref<FileSystemItemMO>(asItem(up));
}

void FileSystemItemMO::setParent(FileSystemItemMO* parent)
{
    setToOne("parent", parent);
}

std::vector<Ref<FileSystemItemMO>> FileSystemItemMO::elements() const
{
    std::vector<Ref<FileSystemItemMO>> children;
    for (const auto& child : toMany("elements"))
        children.emplace_back(asItem(child));
    return children;
}

std::uint64_t FileSystemItemMO::flags() const
{
    return static_cast<std::uint64_t>(integerAtColumn(columnsOf(*this).flags).value_or(0));
}

void FileSystemItemMO::setFlags(std::uint64_t flags)
{
    setIntegerAtColumn(columnsOf(*this).flags, static_cast<std::int64_t>(flags));
}

bool FileSystemItemMO::flagFor(int bit) const
{
    return (flags() & (std::uint64_t(1) << bit)) != 0;
}

void FileSystemItemMO::setFlag(bool value, int bit)
{
    const std::uint64_t mask = std::uint64_t(1) << bit;
    setFlags(value ? flags() | mask : flags() & ~mask);
}

// --- names and paths ----------------------------------------------------------------------------

std::string FileSystemItemMO::displayName() const
{
    if (const auto stored = stringAtColumn(columnsOf(*this).displayName))
        return std::string(*stored);
    return name();
}

void FileSystemItemMO::setDisplayName(const std::optional<std::string>& name)
{
    setStringAtColumn(columnsOf(*this).displayName, name);
}

std::string FileSystemItemMO::fullPath() const
{
    auto up = parent();
    if (!up)
        return "/";
    std::string path = up->fullPath();
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + relativePath();
}

bool FileSystemItemMO::isRAWFile() const
{
    if (isFolder())
        return false;
    auto stored = stringValue("type");
    if (!stored || stored->size() <= 9)
        return false;
    std::string lower = *stored;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    for (std::string_view suffix : {"-raw-image", ".raw-image", ".raw.image", "public.radiance"})
        if (endsWith(lower, suffix))
            return true;
    return false;
}

ComparisonResult FileSystemItemMO::compareName(const FileSystemItemMO* other) const
{
    return compareNamesNumerically(nameOf(*this), nameOf(*other));
}

ComparisonResult FileSystemItemMO::compareDisplayName(const FileSystemItemMO* other) const
{
    return compareNamesNumerically(displayName(), other->displayName());
}

// --- place on the volume ------------------------------------------------------------------------

FileSystemItemMO* FileSystemItemMO::volumeItem()
{
    FileSystemItemMO* item = this;
    Ref<FileSystemItemMO> keep;
    while (item->entityName() != MediaDatabase::EntityVolume) {
        keep = item->parent();
        if (!keep)
            break;
        item = keep.get();
    }
    return item;
}

bool FileSystemItemMO::isWritable()
{
    FileSystemItemMO* volume = volumeItem();
    if (!volume || volume == this)
        return writable();
    if (!volume->isWritable())
        return false;
    return writable();
}

bool FileSystemItemMO::isMatchingToMask(int mask) const
{
    auto pair = [mask](int yes, int no, bool value) { return ((mask & yes) && value) || ((mask & no) && !value); };
    if (!pair(kMaskValid, kMaskInvalid, valid()))
        return false;
    if (!pair(kMaskVisible, kMaskInvisible, visible()))
        return false;
    if (!pair(kMaskFolders, kMaskFiles, isFolder()))
        return false;
    if (isFolder())
        return pair(kMaskBundles, kMaskPlainFolders, bundle());
    if (!(mask & (kMaskDecodable | kMaskNotDecodable)))
        return true;
    return pair(kMaskDecodable, kMaskNotDecodable, decodable());
}

// --- child lists --------------------------------------------------------------------------------

// The order of the child lists: compareName first; names that compare the same (img02, img2)
// by their bytes, then by row. A total order, so that every filtered list keeps the order of
// the full list even among such names.
static ComparisonResult listOrder(std::string_view aName, std::int64_t aRow, std::string_view bName, std::int64_t bRow)
{
    if (const ComparisonResult byName = compareNamesNumerically(aName, bName); byName != ComparisonResult::Same)
        return byName;
    if (const int bytes = aName.compare(bName); bytes != 0)
        return bytes < 0 ? ComparisonResult::Ascending : ComparisonResult::Descending;
    if (aRow != bRow)
        return aRow < bRow ? ComparisonResult::Ascending : ComparisonResult::Descending;
    return ComparisonResult::Same;
}

// A key whose byte order is compareNamesNumerically's order of the names: every digit run,
// without its leading zeros, becomes a byte in '0'..'8' telling its length (lengths from 9 on
// as '8' and one byte of length) followed by its digits; other bytes stay. A run's first byte
// is a digit, so it compares with any other byte as the run's first digit did. Nullopt (sort
// by the comparison itself) for a name with a NUL byte or a digit run over 255 digits.
static std::optional<std::string> numericSortKey(std::string_view name)
{
    std::string key;
    key.reserve(name.size() + 2);
    for (std::size_t i = 0; i < name.size();) {
        if (!isDigit(name[i])) {
            if (name[i] == '\0')
                return std::nullopt;
            key += name[i++];
            continue;
        }
        std::size_t end = i;
        while (end < name.size() && isDigit(name[end]))
            ++end;
        while (i + 1 < end && name[i] == '0')
            ++i;
        const std::size_t length = end - i;
        if (length > 255)
            return std::nullopt;
        if (length < 9) {
            key += static_cast<char>('0' + length - 1);
        } else {
            key += '8';
            key += static_cast<char>(static_cast<unsigned char>(length));
        }
        key.append(name.substr(i, length));
        i = end;
    }
    return key;
}

static ComparisonResult listOrder(const FileSystemItemMO* a, const FileSystemItemMO* b)
{
    return listOrder(nameOf(*a), a->rowID(), nameOf(*b), b->rowID());
}

const FileSystemItemMO::ChildList& FileSystemItemMO::childrenWithMask(int mask)
{
    ZOV_ASSERT(mask >= 0 && mask <= kMaskAll, "Invalid filter mask");
    if (!cachedElements_)
        cachedElements_ = std::make_unique<std::map<int, ChildList>>();
    fileWaitingChildren();
    if (auto it = cachedElements_->find(mask); it != cachedElements_->end())
        return it->second;
    ChildList list;
    if (mask == kMaskAll) {
        // One fetch of every child, sorted by keys that compare bytewise as the names compare
        // numerically (equal keys fall back to the full order).
        struct Keyed {
            std::string key;
            std::string_view name;
            std::int64_t row;
            FileSystemItemMO* child;
        };
        std::vector<Keyed> keyed;
        const auto& members = toMany("elements");
        keyed.reserve(members.size());
        bool keysHold = true;
        for (const auto& member : members) {
            FileSystemItemMO* child = asItem(member);
            const std::string_view name = nameOf(*child);
            std::optional<std::string> key = numericSortKey(name);
            keysHold = keysHold && key.has_value();
            keyed.push_back({key ? std::move(*key) : std::string(), name, child->rowID(), child});
        }
        auto byName = [](const Keyed& a, const Keyed& b) {
            return listOrder(a.name, a.row, b.name, b.row) == ComparisonResult::Ascending;
        };
        if (keysHold)
            std::sort(keyed.begin(), keyed.end(), [&byName](const Keyed& a, const Keyed& b) {
                const int order = a.key.compare(b.key);
                return order != 0 ? order < 0 : byName(a, b);
            });
        else
            std::sort(keyed.begin(), keyed.end(), byName);
        list.reserve(keyed.size());
        for (const Keyed& k : keyed)
            list.emplace_back(k.child);
    } else {
        for (const auto& child : childrenWithMask(kMaskAll))
            if (child->isMatchingToMask(mask))
                list.push_back(child);
    }
    return (*cachedElements_)[mask] = std::move(list);
}

void FileSystemItemMO::refreshBeforeChildQuestion()
{
    // Looking at a folder is what keeps it current: a folder never listed (or changed since)
    // asks for its listing here, whoever asks about its children.
    if (isFolder())
        enqueueRefresh();
}

long FileSystemItemMO::numberOfChildrenWithMask(int mask)
{
    if (!isFolder())
        return -1;
    refreshBeforeChildQuestion();
    return static_cast<long>(childrenWithMask(mask).size());
}

Ref<FileSystemItemMO> FileSystemItemMO::childAtIndex(long index, int mask)
{
    refreshBeforeChildQuestion();
    const ChildList& list = childrenWithMask(mask);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) {
        ZovLog(vistel::format("childAtIndex: Caught %@: %@", "NSRangeException",
                              vistel::format("index %ld beyond bounds [0 .. %ld]", index,
                                             static_cast<long>(list.size()) - 1)));
        return {};
    }
    return list[static_cast<std::size_t>(index)];
}

bool FileSystemItemMO::containsChild(const FileSystemItemMO* child, int mask)
{
    refreshBeforeChildQuestion();
    const ChildList& list = childrenWithMask(mask);
    return std::find(list.begin(), list.end(), child) != list.end();
}

void FileSystemItemMO::buildNamedCache()
{
    if (cachedByNameChilds_)
        return;
    cachedByNameChilds_ = std::make_unique<std::unordered_map<std::string, Ref<FileSystemItemMO>>>();
    for (const auto& child : elements())
        (*cachedByNameChilds_)[child->name()] = child;
}

Ref<FileSystemItemMO> FileSystemItemMO::childWithName(std::string_view name)
{
    refreshBeforeChildQuestion();
    buildNamedCache();
    auto it = cachedByNameChilds_->find(std::string(name));
    return it == cachedByNameChilds_->end() ? Ref<FileSystemItemMO>() : it->second;
}

int FileSystemItemMO::childrenRefreshStatusWithMask(int mask)
{
    if (hasPendingRefreshStatusRequests())
        return 1;
    for (const auto& child : childrenWithMask(mask))
        if (child->hasPendingRefreshStatusRequests())
            return 1;
    return 0;
}

FileSystemItemMO::ChildList FileSystemItemMO::batchLoadItemsSortedByName(const ChildList& items)
{
    ChildList loaded;
    MediaDatabase* database = mediaDatabase();
    if (!database)
        return loaded;
    Value members = Value::array();
    for (const auto& item : items)
        members.append(Value(Ref<Object>(item)));
    if (auto found = database->searchObjectsBy("self IN %@", {members}, 0, MediaDatabase::EntityElement))
        for (const auto& object : *found)
            loaded.emplace_back(asItem(object));
    return loaded;
}

Ref<FileSystemItemMO> FileSystemItemMO::createChildWithName(std::string_view name, std::string_view type, bool visible)
{
    auto* context = managedObjectContext();
    if (!context)
        return {};
    auto object = context->insertNewObject(type);
    if (!object)
        return {};
    Ref<FileSystemItemMO> child(dynamic_cast<FileSystemItemMO*>(object.get()));
    if (!child) {
        context->deleteObject(object.get());
        throw Exception("WrongObjectType", "Object does not conform to IFileSystemItem protocol");
    }
    child->setName(name);
    child->setParent(this);
    child->setVisible(visible);
    child->setMediaDatabase(mediaDatabase());
    updateObjectInCache(child.get());
    insertObjectInNamedCache(child.get());
    return child;
}

void FileSystemItemMO::deleteChild(FileSystemItemMO* child, bool deleteForever)
{
    if (!child || child->parent().get() != this)
        throw Exception("DeleteError", "This is not a child.");
    if (deleteForever) {
        Ref<FileSystemItemMO> keep(child);
        removeObjectFromCache(child);
        removeObjectFromNamedCache(child);
        if (auto* context = managedObjectContext())
            context->deleteObject(child);
    } else {
        child->setValid(false);
        updateObjectInCache(child);
        child->setRefreshStatus(kRefreshStatusNotVerified);
    }
}

// Where a child belongs in a list sorted by compareName: after every element that does not
// order after it.
static std::size_t insertionIndex(const FileSystemItemMO::ChildList& list, const FileSystemItemMO* child)
{
    return static_cast<std::size_t>(
        std::upper_bound(list.begin(), list.end(), child, [](const FileSystemItemMO* c, const Ref<FileSystemItemMO>& e) {
            return listOrder(c, e.get()) == ComparisonResult::Ascending;
        }) - list.begin());
}

// Takes `child` out of a sorted list: it can only be in the run of equal names before `pos`.
static void removeFromRun(FileSystemItemMO::ChildList& list, const FileSystemItemMO* child, std::size_t pos)
{
    while (pos > 0) {
        const Ref<FileSystemItemMO>& element = list[pos - 1];
        if (element.get() == child) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(pos - 1));
        } else if (listOrder(element.get(), child) != ComparisonResult::Same) {
            break;
        }
        --pos;
    }
}

// Whether `child` is in a sorted list, `pos` being where it belongs: only in the run of equal
// names before it.
static bool runContains(const FileSystemItemMO::ChildList& list, const FileSystemItemMO* child, std::size_t pos)
{
    while (pos > 0) {
        const Ref<FileSystemItemMO>& element = list[pos - 1];
        if (element.get() == child)
            return true;
        if (listOrder(element.get(), child) != ComparisonResult::Same)
            return false;
        --pos;
    }
    return false;
}

void FileSystemItemMO::updateObjectInCache(FileSystemItemMO* child)
{
    if (!cachedElements_ || child->waitsForParentLists_)
        return; // a waiting child is filed by what it is when the lists are next read
    bool missing = false;
    for (auto& [mask, list] : *cachedElements_) {
        const std::size_t pos = insertionIndex(list, child);
        if (!child->isMatchingToMask(mask))
            removeFromRun(list, child, pos);
        else if (!runContains(list, child, pos))
            missing = true;
    }
    if (!missing)
        return;
    if (!waitingChildren_)
        waitingChildren_ = std::make_unique<ChildList>();
    waitingChildren_->emplace_back(child);
    child->waitsForParentLists_ = true;
}

void FileSystemItemMO::fileWaitingChildren() const
{
    if (!waitingChildren_ || waitingChildren_->empty())
        return;
    ChildList waiting;
    waiting.swap(*waitingChildren_);
    for (const auto& child : waiting)
        child->waitsForParentLists_ = false;
    if (!cachedElements_)
        return;
    std::erase_if(waiting, [this](const auto& child) { return child->isDeleted() || child->parent().get() != this; });
    auto ascending = [](const Ref<FileSystemItemMO>& a, const Ref<FileSystemItemMO>& b) {
        return listOrder(a.get(), b.get()) == ComparisonResult::Ascending;
    };
    std::sort(waiting.begin(), waiting.end(), ascending);
    std::vector<std::size_t> places;
    for (auto& [mask, list] : *cachedElements_) {
        // What a waiting child is now decides: out of the lists it no longer matches (it may
        // have been in them when it began to wait), into those it matches and is not in.
        for (const auto& child : waiting)
            if (!child->isMatchingToMask(mask))
                removeFromRun(list, child.get(), insertionIndex(list, child.get()));
        ChildList adds;
        places.clear();
        for (const auto& child : waiting)
            if (child->isMatchingToMask(mask)) {
                const std::size_t pos = insertionIndex(list, child.get()); // by binary search
                if (runContains(list, child.get(), pos))
                    continue;
                places.push_back(pos);
                adds.push_back(child);
            }
        if (adds.empty())
            continue;
        // Filled from the back: filed children after the i-th added one move up by i + 1.
        std::size_t end = list.size();
        list.resize(list.size() + adds.size());
        for (std::size_t i = adds.size(); i-- > 0;) {
            const auto from = list.begin() + static_cast<std::ptrdiff_t>(places[i]);
            std::move_backward(from, list.begin() + static_cast<std::ptrdiff_t>(end),
                               list.begin() + static_cast<std::ptrdiff_t>(end + i + 1));
            list[places[i] + i] = std::move(adds[i]);
            end = places[i];
        }
    }
}

void FileSystemItemMO::removeObjectFromCache(FileSystemItemMO* child)
{
    if (child->waitsForParentLists_ && waitingChildren_) {
        std::erase_if(*waitingChildren_, [child](const auto& waiting) { return waiting.get() == child; });
        child->waitsForParentLists_ = false;
    }
    if (!cachedElements_)
        return;
    for (auto& [mask, list] : *cachedElements_)
        removeFromRun(list, child, insertionIndex(list, child));
}

void FileSystemItemMO::insertObjectInNamedCache(FileSystemItemMO* child)
{
    if (cachedByNameChilds_)
        (*cachedByNameChilds_)[child->name()] = Ref<FileSystemItemMO>(child);
}

void FileSystemItemMO::removeObjectFromNamedCache(FileSystemItemMO* child)
{
    if (!cachedByNameChilds_)
        return;
    auto it = cachedByNameChilds_->find(child->name());
    if (it != cachedByNameChilds_->end() && it->second.get() == child)
        cachedByNameChilds_->erase(it);
}

const FileSystemItemMO::ChildList* FileSystemItemMO::cacheByMask(int mask) const
{
    if (!cachedElements_)
        return nullptr;
    fileWaitingChildren();
    auto it = cachedElements_->find(mask);
    return it == cachedElements_->end() ? nullptr : &it->second;
}

void FileSystemItemMO::setCache(std::optional<ChildList> list, int mask)
{
    ZOV_ASSERT(mask >= 0 && mask <= kMaskAll, "Invalid filter mask");
    fileWaitingChildren();
    if (!list) {
        if (cachedElements_)
            cachedElements_->erase(mask);
        return;
    }
    if (!cachedElements_)
        cachedElements_ = std::make_unique<std::map<int, ChildList>>();
    (*cachedElements_)[mask] = std::move(*list);
}

void FileSystemItemMO::resetCache()
{
    if (waitingChildren_) {
        for (const auto& child : *waitingChildren_)
            child->waitsForParentLists_ = false;
        waitingChildren_.reset();
    }
    cachedElements_.reset();
}

void FileSystemItemMO::resetByNameCache()
{
    cachedByNameChilds_.reset();
}

bool FileSystemItemMO::checkCache()
{
    if (!cachedElements_)
        return true;
    fileWaitingChildren();
    bool good = true;
    auto breach = [&](const std::string& line) {
        ZovLog(line);
        good = false;
    };
    const std::vector<Ref<FileSystemItemMO>> children = elements();
    const ChildList* all = cacheByMask(kMaskAll);
    for (const auto& [mask, list] : *cachedElements_) {
        std::size_t allPos = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            FileSystemItemMO* item = list[i].get();
            if (item->parent().get() != this || item->isDeleted())
                breach(vistel::format("ERROR: Wrong object %@ in cache %d.", item->debugInfoString(), mask));
            if (!item->temporaryCacheAttributesChangedFlag && !item->isMatchingToMask(mask))
                breach(vistel::format("ERROR: Object %@ is not matching to mask %d in cache.", item->debugInfoString(), mask));
            if (i > 0 && listOrder(list[i - 1].get(), item) != ComparisonResult::Ascending)
                breach(vistel::format("ERROR: Object %@ absent in cache %d. Previous object %@", item->debugInfoString(),
                                      mask, list[i - 1]->debugInfoString()));
            if (std::count(list.begin(), list.end(), list[i]) > 1)
                breach(vistel::format("ERROR: Object with name %@ in cache %d. But should not. [%@] [%@]", item->name(),
                                      mask, item->debugInfoString(), debugInfoString()));
            if (all && mask != kMaskAll) {
                // The filtered lists keep the order of the full list.
                while (allPos < all->size() && (*all)[allPos].get() != item)
                    ++allPos;
                if (allPos == all->size())
                    breach(vistel::format("ERROR: Wrong object %@ in cache %d.", item->debugInfoString(), mask));
            }
        }
        for (const auto& child : children)
            if (!child->temporaryCacheAttributesChangedFlag && child->isMatchingToMask(mask)
                && std::find(list.begin(), list.end(), child) == list.end())
                breach(vistel::format("ERROR: Object %@ absent in cache %d", child->debugInfoString(), mask));
    }
    return good;
}

bool FileSystemItemMO::checkNamedCache()
{
    if (!cachedByNameChilds_)
        return true;
    bool good = true;
    auto breach = [&](const std::string& line) {
        ZovLog(line);
        good = false;
    };
    for (const auto& [key, item] : *cachedByNameChilds_) {
        if (item->name() != key)
            breach(vistel::format("ERROR: Item %@ under wrong key %@ in named cache.", item->debugInfoString(), key));
        if (item->parent().get() != this || item->isDeleted())
            breach(vistel::format("ERROR: Wrong object %@ in named cache for %@", item->debugInfoString(), key));
    }
    for (const auto& child : elements()) {
        auto it = cachedByNameChilds_->find(child->name());
        if (it == cachedByNameChilds_->end())
            breach(vistel::format("ERROR: Item %@ is absent in named cache.", child->debugInfoString()));
        else if (it->second != child)
            breach(vistel::format("ERROR: Object absent in named cache %@", child->debugInfoString()));
    }
    return good;
}

} // namespace vistel
