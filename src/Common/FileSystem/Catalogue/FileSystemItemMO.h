#pragma once
// FileSystemItemMO: the catalogue's persistent item for a file, a folder or a volume.
//
// What it is. An object of the store entity Element (File, Folder, Volume) with the stored
// attributes (name, uuid, dates, type, the flag word ...), plus in-memory state that is never
// stored and starts empty whenever the item is read: its catalogue, the refresh-status word,
// the child lists per filter mask and the by-name dictionary of children, the flags the
// result application uses while it merges a listing, and the decoded thumbnails and icon.
//
// Refresh. The refresh-status word says whether the item was verified since it was read and
// which requests for it are queued (RefreshBit); the item builds its own requests and hands
// them to MediaDatabase::enqueueRefresh, and the applied results clear the bits. Priorities are
// major × 2^31 + minor: the views' drawing pass, then the item's refreshing priority.
//
// Pictures. Icon data and both thumbnails are stored in holder objects of their own; decoded
// thumbnails are registered with the object cache, which may drop them (release level 2).
//
// Child lists. A folder keeps, per filter mask asked for, the list of its children that pass
// the mask, sorted by compareName() (names that compare the same, img02 and img2, by their
// bytes, then by row: one total order for every list), plus its children by name. Lists are built on first demand
// (the full list with one fetch) and then kept up to date child by child as children are
// created, changed and deleted (updateObjectInCache / removeObjectFromCache): a binary search
// and a short walk over equal names. A child that must go into a list waits until a list is
// next read; the waiting children are then filed by what they are and merged in at once, so a
// listing that adds a slice of children between two reads costs one pass over each list, not
// one per child. A caller that changes a filed child's name takes the child out before and
// files it again after, or resets the lists.
//
// Attributes. What the catalogue knows beyond file attributes is text in named groups of Tag
// objects: a group is a Tag under the item, an attribute a Tag under the group with the
// attribute's name and value. "{FileSystemItem}" names the item's own properties.
//
// Filter masks: five pairs of bits, 1 visible / 2 invisible, 4 folders / 8 files, 16 valid /
// 32 invalid, 64 decodable / 128 not decodable (files only; neither bit: every file passes),
// 256 bundles / 512 plain folders (folders only). 1023 passes everything.
//
// Thread rules: main thread only, like the context the item belongs to.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Common/Tools/Cache/ObjectsCacheReleaser.h"
#include "Common/Tools/Containers/NSArrayInsertion.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/ObjectStore/ObjectStore.h"
#include "ZovClass.h"

namespace vistel {

class MediaDatabase;

// Filter-mask bits.
enum FilterMask : int {
    kMaskVisible = 1,
    kMaskInvisible = 2,
    kMaskFolders = 4,
    kMaskFiles = 8,
    kMaskValid = 16,
    kMaskInvalid = 32,
    kMaskDecodable = 64,
    kMaskNotDecodable = 128,
    kMaskBundles = 256,
    kMaskPlainFolders = 512,
    kMaskAll = 1023,
};

// Names of the attribute groups.
inline constexpr const char* kTagFileSystemItem = "{FileSystemItem}";
inline constexpr const char* kTagFileSystemItemDB = "{FileSystemItem-DB}";
inline constexpr const char* kTagRootPageMetadata = "{RootPageMetadata}";
inline constexpr const char* kTagRootImageMetadata = "{RootImageMetadata}";
inline constexpr const char* kTagCategories = "{FSICategories}";
// The item's keyword set: one attribute name per keyword.
inline constexpr const char* kTagKeywords = "{FSIKeywords}";

// The refresh-status word of an item that was not verified since it was read.
inline constexpr std::int32_t kRefreshStatusNotVerified = 0x7fffffff;
// The bit of an item that changed and needs a refresh.
inline constexpr std::int32_t kRefreshStatusChanged = 0x40000000;

struct ItemSize {
    float width = 0;
    float height = 0;
    friend bool operator==(const ItemSize&, const ItemSize&) = default;
};

class FileSystemItemMO : public store::ManagedObject, public ObjectWithCacheProtocol {
public:
    ZOV_ROOT_CLASS(FileSystemItemMO)
    using ComparisonResult = NSArrayInsertion::ComparisonResult;

    // Bits of the flag word.
    enum FlagBit : int { FlagValid = 0, FlagVisible = 1, FlagWritable = 2, FlagLocked = 3, FlagDecodable = 4 };

    // Makes the items of the catalogue's model.
    static store::ObjectModel::Factory factory();

    // --- identity ---------------------------------------------------------------------------
    FileSystemItemMO* managedObject() { return this; }
    // Permanent from insertion on.
    store::ObjectID permanentObjectID() const { return objectID(); }
    // The catalogue; taken from the parent when unset. Null (logged) for a parentless item
    // without one.
    MediaDatabase* mediaDatabase();
    void setMediaDatabase(MediaDatabase* database) { mediaDatabase_ = database; }
    std::string debugInfoString() const;

    // --- stored attributes ------------------------------------------------------------------
    // Setters store nothing when the value equals the stored one.
    std::string name() const;
    void setName(std::string_view name);
    std::optional<std::string> uuid() const;
    void setUuid(const std::optional<std::string>& uuid);
    bool bundle() const;
    void setBundle(bool bundle);
    // Nothing for folders, whatever is stored.
    std::optional<std::int64_t> size() const;
    void setSize(std::optional<std::int64_t> size);
    std::optional<Date> creationDate() const;
    void setCreationDate(std::optional<Date> date);
    std::optional<Date> modificationDate() const;
    void setModificationDate(std::optional<Date> date);
    // Folders answer the translated "Folder" for both.
    std::optional<std::string> type() const;
    void setType(const std::optional<std::string>& type);
    std::optional<std::string> userKind() const;
    void setUserKind(const std::optional<std::string>& kind);
    Ref<FileSystemItemMO> parent() const;
    void setParent(FileSystemItemMO* parent);
    // The children, unordered (row order).
    std::vector<Ref<FileSystemItemMO>> elements() const;
    std::uint64_t flags() const;
    void setFlags(std::uint64_t flags);
    bool flagFor(int bit) const;
    void setFlag(bool value, int bit);

    bool valid() const { return flagFor(FlagValid); }
    void setValid(bool value) { setFlag(value, FlagValid); }
    bool isValid() const { return valid(); }
    bool visible() const { return flagFor(FlagVisible); }
    void setVisible(bool value) { setFlag(value, FlagVisible); }
    bool isVisible() const { return visible(); }
    bool writable() const { return flagFor(FlagWritable); }
    void setWritable(bool value) { setFlag(value, FlagWritable); }
    bool locked() const { return flagFor(FlagLocked); }
    void setLocked(bool value) { setFlag(value, FlagLocked); }
    bool isLocked() const { return locked(); }
    bool decodable() const { return flagFor(FlagDecodable); }
    void setDecodable(bool value) { setFlag(value, FlagDecodable); }
    bool isDecodable() const { return decodable(); }

    // --- names and paths --------------------------------------------------------------------
    virtual std::string displayName() const;
    void setDisplayName(const std::optional<std::string>& name);
    virtual std::string relativePath() const { return name(); }
    // "/" without parent, else the parent's full path joined with the name (a volume: its
    // mount point).
    virtual std::string fullPath() const;
    bool isBundle() const { return bundle(); }
    bool isFolder() const { return constantIsFolderFlag_; }
    bool isImage() const { return temporaryIsImageFlag_; }
    bool isRAWFile() const;
    ComparisonResult compareName(const FileSystemItemMO* other) const;
    ComparisonResult compareDisplayName(const FileSystemItemMO* other) const;

    // --- place on the volume ----------------------------------------------------------------
    // The nearest Volume item up the parents (the item itself included), else the topmost item.
    FileSystemItemMO* volumeItem();
    virtual bool isWritable();

    bool isMatchingToMask(int mask) const;

    // --- in-memory state --------------------------------------------------------------------
    std::int32_t refreshStatus() const { return refreshStatus_; }
    void setRefreshStatus(std::int32_t status) { refreshStatus_ = status; }
    // Not verified since it was read, or marked as changed.
    bool needsRefresh() const { return refreshStatus_ == kRefreshStatusNotVerified || (refreshStatus_ & kRefreshStatusChanged); }
    // A refresh or thumbnail request for the item is queued.
    bool hasPendingRefreshStatusRequests() const
    {
        return refreshStatus_ != kRefreshStatusNotVerified && (refreshStatus_ & ~kRefreshStatusChanged) != 0;
    }
    bool temporaryInvalidFlag = false;
    bool temporaryCacheAttributesChangedFlag = false;
    std::int32_t temporaryRefreshingPriority = 0;

    // --- refresh status and requests ----------------------------------------------------------
    // Bits of the status word: a listing or small-thumbnail request queued, a high-quality
    // thumbnail request queued, a small thumbnail being decoded from stored data.
    enum RefreshBit : std::int32_t { RefreshQueued = 1, RefreshHighQualityQueued = 2, RefreshDecodePending = 4 };
    // A not-verified word becomes 0 first; adding RefreshQueued clears the needs-refresh bit.
    void appendRefreshStatus(std::int32_t bits);
    // Clears the bits; a not-verified word stays as it is (logged: nothing was queued).
    void removeRefreshStatus(std::int32_t bits);
    // For 0 and the not-verified word: whether the word equals it; else whether any bit is set.
    bool hasRefreshStatus(std::int32_t bits) const;
    // The file or folder changed: its thumbnails are dropped and it needs a refresh.
    void resetAsChanged();
    void setRefreshingPriority(std::int32_t priority) { temporaryRefreshingPriority = priority; }
    std::int32_t refreshingPriority() const { return temporaryRefreshingPriority; }
    // The drawing pass counter of the views (major part of request priorities).
    static std::int32_t newMajorPrioritySlice();
    static std::int32_t currentMajorPrioritySlice();

    // The request dictionary of the item: type, path, ID, dates (and size for files).
    Value createUpdateRequest();
    // Asks for what the item lacks: a listing (folders), a small thumbnail, then once verified
    // and idle a background high-quality thumbnail (decodable files without one).
    void enqueueRefresh();
    // A decodable file without a stored large thumbnail asks for one at background priority
    // (once: not while such a request is pending).
    void enqueueStoredThumbnail();
    // The same for a picture of a shown folder that may never have been drawn (not verified
    // yet): asks unless a request for it is pending (whose result asks in its turn) or it has
    // one. Answers whether a request was queued.
    bool enqueueBackgroundThumbnail();
    // A small-thumbnail request, of `size` when given.
    void enqueueThumbnailImageRequest(std::optional<float> size);
    // The views draw the item at `size`: decode a fitting small thumbnail from the stored
    // large one (once per pending request), or ask for a new thumbnail.
    void optimizeSmallThumbnailForSize(ItemSize size);
    // Moves the item's queued file jobs to its current refreshing priority.
    void enqueueReorderRequest();

    // --- stored pictures and decoded images ---------------------------------------------------
    // Stored in holder objects of their own, so that listing items never loads picture data.
    std::optional<Value::Bytes> iconData() const { return holderData("icon"); }
    void setIconData(const std::optional<Value::Bytes>& data) { setHolderData("icon", "ElementIcon", data); }
    std::optional<Value::Bytes> thumbnailData() const { return holderData("thumbnail"); }
    void setThumbnailData(const std::optional<Value::Bytes>& data) { setHolderData("thumbnail", "FileThumbnail", data); }
    std::optional<Value::Bytes> thumbnailLargeData() const { return holderData("thumbnailLarge"); }
    void setThumbnailLargeData(const std::optional<Value::Bytes>& data)
    {
        setHolderData("thumbnailLarge", "FileThumbnailLarge", data);
    }
    bool hasCachedIconData() const { return bool(toOne("icon")); }
    bool hasCachedThumbnailData() const { return bool(toOne("thumbnail")); }
    bool hasCachedThumbnailLargeData() const { return !isFolder() && bool(toOne("thumbnailLarge")); }

    // Decoded thumbnails, held in memory and registered with the object cache, which may drop
    // them (releaseCache). The getters of a file first ask for what it lacks (enqueueRefresh).
    Ref<MultiImage> thumbnailImage();
    Ref<MultiImage> thumbnailImageLarge();
    void setThumbnailImage(Ref<MultiImage> image);
    void setThumbnailImageLarge(Ref<MultiImage> image);
    // The decoded thumbnails as held now, asking for nothing (the views' geometry and hit tests).
    const Ref<MultiImage>& heldThumbnailImage() const { return cachedSmallImage_; }
    const Ref<MultiImage>& heldThumbnailImageLarge() const { return cachedLargeImage_; }
    bool hasCachedThumbnailImage() const { return bool(cachedSmallImage_); }
    bool hasCachedThumbnailImageLarge() const { return bool(cachedLargeImage_); }
    bool hasCachedIconImage() const { return bool(cachedIcon_); }
    void resetCachedImage();
    void resetCachedIcon();

    // Icons. iconImage() keeps the 32 x 32 icon; iconImageOfSize() makes one: from stored icon
    // data; for a folder that is a volume's mount point the drive icon of its device
    // (FileSystemFunctions::iconForFile); else the theme's icon of the type (folder, or the
    // file's extension), else the program's own "FSIconImage-Default", made once per type and
    // size and shared by the items of the type (so never changed by a caller). A zero size
    // keeps the image's own size.
    Ref<MultiImage> iconImage();
    Ref<MultiImage> iconImageOfSize(ItemSize size);
    Ref<MultiImage> iconImageForExtension();

    // Object cache (items may be trimmed from pressure level 2 on). Main thread only, like
    // the trim pass, so no lock is needed.
    int releaseOption() const override { return 2; }
    Ref<ObjectWithCacheInfo> cacheInformation() const override { return cacheInfo_; }
    bool releaseCache() override;
    std::int64_t cacheSize() const override;
    void addToCacheReleaser();
    void removeFromCacheReleaser();

    // --- child lists --------------------------------------------------------------------------
    // Every question about a folder's children but childrenWithMask, childrenRefreshStatusWithMask
    // and batchLoadItemsSortedByName first asks the folder for a listing when it needs one
    // (enqueueRefresh), and answers from what is known now.
    using ChildList = std::vector<Ref<FileSystemItemMO>>;
    const ChildList& childrenWithMask(int mask);
    // -1 for an item that is not a folder.
    long numberOfChildrenWithMask(int mask);
    // Null (logged "childAtIndex: Caught ...") for an index out of range.
    Ref<FileSystemItemMO> childAtIndex(long index, int mask);
    bool containsChild(const FileSystemItemMO* child, int mask);
    long numberOfChildren() { return numberOfChildrenWithMask(kMaskAll); }
    Ref<FileSystemItemMO> childAtIndex(long index) { return childAtIndex(index, kMaskAll); }
    Ref<FileSystemItemMO> childWithName(std::string_view name);
    // 1 when the item itself or a child passing the mask has a request queued, else 0.
    int childrenRefreshStatusWithMask(int mask);
    // The given items read with one fetch (the caller sorts).
    ChildList batchLoadItemsSortedByName(const ChildList& items);

    Ref<FileSystemItemMO> createChildWithName(std::string_view name, std::string_view type, bool visible);
    // Raises "DeleteError" when `child` is not a child of this item.
    void deleteChild(FileSystemItemMO* child, bool deleteForever);
    void updateObjectInCache(FileSystemItemMO* child);
    void removeObjectFromCache(FileSystemItemMO* child);
    void insertObjectInNamedCache(FileSystemItemMO* child);
    void removeObjectFromNamedCache(FileSystemItemMO* child);
    const ChildList* cacheByMask(int mask) const;
    // An empty optional removes the list.
    void setCache(std::optional<ChildList> list, int mask);
    void resetCache();
    void resetByNameCache();
    // Diagnostics: log each breach of the list invariants; answer whether there was none.
    bool checkCache();
    bool checkNamedCache();

    // --- attributes ---------------------------------------------------------------------------
    static std::optional<std::string> attributeValueToString(const Value& value);
    // Name text -> tag, over the tag's sub-tags.
    static std::map<std::string, Ref<store::ManagedObject>> objectTags(store::ManagedObject* tag);
    Ref<store::ManagedObject> subTagObjectByName(std::string_view group, bool createIfNotExists);
    void setAttribute(const Value& value, std::string_view name, std::string_view group);
    Value attributeWithName(std::string_view name, std::string_view group);
    // The names stored under the group; reading creates neither the group nor its name.
    std::set<std::string> attributeNamesForTag(std::string_view group);
    bool setAttributesValues(const std::optional<std::vector<Value>>& values, const std::vector<std::string>& names,
                             std::string_view group, bool removeOthers);
    bool removeAttributes(const std::vector<std::string>& names, std::string_view group);

    // Database fields (group "{FileSystemItem-DB}").
    Value databaseCaption() { return attributeWithName("databaseCaption", kTagFileSystemItemDB); }
    void setDatabaseCaption(const Value& v) { setAttribute(v, "databaseCaption", kTagFileSystemItemDB); }
    Value databaseDatetime() { return attributeWithName("databaseDatetime", kTagFileSystemItemDB); }
    void setDatabaseDatetime(const Value& v) { setAttribute(v, "databaseDatetime", kTagFileSystemItemDB); }
    Value databaseAuthor() { return attributeWithName("databaseAuthor", kTagFileSystemItemDB); }
    void setDatabaseAuthor(const Value& v) { setAttribute(v, "databaseAuthor", kTagFileSystemItemDB); }
    Value databaseRating() { return attributeWithName("databaseRating", kTagFileSystemItemDB); }
    void setDatabaseRating(const Value& v) { setAttribute(v, "databaseRating", kTagFileSystemItemDB); }
    Value databaseTagged() { return attributeWithName("databaseTagged", kTagFileSystemItemDB); }
    void setDatabaseTagged(const Value& v) { setAttribute(v, "databaseTagged", kTagFileSystemItemDB); }
    Value databaseNotes() { return attributeWithName("databaseNotes", kTagFileSystemItemDB); }
    void setDatabaseNotes(const Value& v) { setAttribute(v, "databaseNotes", kTagFileSystemItemDB); }
    Value databaseKeywords() { return attributeWithName("databaseKeywords", kTagFileSystemItemDB); }
    void setDatabaseKeywords(const Value& v) { setAttribute(v, "databaseKeywords", kTagFileSystemItemDB); }
    Value databaseCategories() { return attributeWithName("databaseCategories", kTagFileSystemItemDB); }
    void setDatabaseCategories(const Value& v) { setAttribute(v, "databaseCategories", kTagFileSystemItemDB); }

    // Image facts read from "{RootPageMetadata}"; nothing unless the item is decodable and the
    // values they need are present.
    std::optional<std::string> userDimensions();
    std::optional<std::string> userDimensionsInches();
    std::optional<std::string> numberOfPages();
    std::optional<std::string> uncompressedSize();
    ItemSize itemDimensions();

    // The item's own properties by key, as "{FileSystemItem}" reads and sets them. nullopt
    // when the item has no property of that name.
    std::optional<Value> valueForItemKey(std::string_view key);
    bool setValueForItemKey(const Value& value, std::string_view key);

protected:
    FileSystemItemMO() = default;
    ~FileSystemItemMO() override;
    void awakeFromInsert() override { fixFolderFlag(); }
    void awakeFromFetch() override { fixFolderFlag(); }
    void willTurnIntoFault() override;

private:
    friend class MediaDatabase;
    void fixFolderFlag();
    std::optional<Value::Bytes> holderData(std::string_view relationship) const;
    // The held image of `field`, registered with the object cache when there is one; a use
    // (`used`) of a file's thumbnail first asks for what the file lacks.
    Ref<MultiImage> heldImage(Ref<MultiImage> FileSystemItemMO::*field, bool used);
    void setHolderData(std::string_view relationship, std::string_view entity, const std::optional<Value::Bytes>& data);
    void buildNamedCache();
    void refreshBeforeChildQuestion();
    // Queues the background request for the stored large thumbnail of a decodable file that has
    // none; answers whether it did.
    bool sendStoredThumbnailRequest();
    // Merges the children waiting to be filed into the cached lists.
    void fileWaitingChildren() const;

    MediaDatabase* mediaDatabase_ = nullptr;
    std::int32_t refreshStatus_ = kRefreshStatusNotVerified;
    // Mask -> sorted list of matching children; made on first use.
    mutable std::unique_ptr<std::map<int, ChildList>> cachedElements_;
    // Children to file into the lists at the next read.
    mutable std::unique_ptr<ChildList> waitingChildren_;
    std::unique_ptr<std::unordered_map<std::string, Ref<FileSystemItemMO>>> cachedByNameChilds_;
    bool temporaryIsImageFlag_ = false;
    bool constantIsFolderFlag_ = false;
    bool waitsForParentLists_ = false; // in the parent's waitingChildren_
    Ref<MultiImage> cachedSmallImage_;
    Ref<MultiImage> cachedLargeImage_;
    Ref<MultiImage> cachedIcon_;
    // The held icon was made from the item's stored icon data (counted in cacheSize).
    bool iconIsOwnImage_ = false;
    Ref<ObjectWithCacheInfo> cacheInfo_;
};

// An icon made from an item's stored icon data; the views record the size they last drew it at.
class FileSystemItemMOImage : public MultiImage {
public:
    static Ref<FileSystemItemMOImage> create(QSizeF size = {});
    // Null when the data holds no picture.
    static Ref<FileSystemItemMOImage> createWithData(const Value::Bytes& data);
    ItemSize lastDrawnSize() const;
    void setLastDrawnSize(ItemSize size);

private:
    FileSystemItemMOImage() = default;
    mutable std::mutex mutex_;
    ItemSize lastDrawnSize_;
};

// Makes FileSystemFunctions::iconForFile answer mount points with the drive icon of their
// device type (once per process; MediaDatabase::create calls it).
void installCatalogueIconSource();

// The order of two names: runs of digits compare by value (img2 < img10, img02 = img2), other
// characters by code point, case-sensitively ("B" < "a"). Non-UTF-8 bytes compare as bytes.
FileSystemItemMO::ComparisonResult compareNamesNumerically(std::string_view a, std::string_view b);

// The catalogue item an object is, or null.
inline FileSystemItemMO* asFileSystemItem(const Object* object)
{
    return dynamic_cast<FileSystemItemMO*>(const_cast<Object*>(object));
}

} // namespace vistel
