#pragma once
// DirectoryEnumerator: the names of one folder, fetched in batches with the facts the caller
// asked for, and questions about the entry handed out last.
//
// What it is. The folder updater thread lists folders through it. nextObject() answers the
// next name (nil at the end); isDirectory(), fileAttributes(), isWritable()... then describe
// that entry. enumeratorWithPath() answers a VolumeDirectoryEnumerator for a volume path, a
// CameraDirectoryEnumerator for a camera's root ("ICA:/<id>": its files are one flat list,
// read-only, described by the camera's file objects), else nothing.
//
// The volume enumerator reads the folder with getdents64 into a buffer and, per batch of
// cacheSize() names, asks statx for exactly the fields the wanted information bits need. A
// symbolic link is described as what it points to (a dangling one has no attributes). Entries
// that are mount points of volumes the volume manager registered are left out: they are
// volumes of their own. Dates go through FileSystemFunctions::dateOfFileTime, so a listing and
// fileAttributesAtPath give equal dates for the same file; the creation date is given only
// where the file system records one (statx btime). Kind and content type come from
// TypeIdentifiers. This platform has no custom icons, display names, Finder flags or preview
// service: those questions answer nothing.
//
// Thread rules: an enumerator belongs to the thread that uses it (the updater thread).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "Platform/FolderListing.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

// Information bits (what a batch fetches besides the names).
enum DirectoryInfoBits : std::uint32_t {
    kDirInfoNodeFlags = 0x2,
    kDirInfoCreateDate = 0x20,
    kDirInfoContentModDate = 0x40,
    kDirInfoAttrModDate = 0x80,
    kDirInfoAccessDate = 0x100,
    kDirInfoBackupDate = 0x200,
    kDirInfoPermissions = 0x400,
    kDirInfoFinderInfo = 0x800,
    kDirInfoFinderXInfo = 0x1000,
    kDirInfoDataSizes = 0x4000,
    kDirInfoRsrcSizes = 0x8000,
};

// Keys of the attribute dictionary beside the NSFile... keys.
inline constexpr const char* DEItemIsLocked = "DEItemIsLocked";
inline constexpr const char* DEPhysicalFileSize = "DEPhysicalFileSize";
inline constexpr const char* DEFileAttrModificationDate = "DEFileAttrModificationDate";
inline constexpr const char* DEFileAccessDate = "DEFileAccessDate";

class DirectoryEnumerator : public Object {
public:
    static constexpr std::uint32_t DefaultCacheSize = 16;

    static Ref<DirectoryEnumerator> enumeratorWithPath(const std::string& path);
    // Null (logged) for a path that is neither a volume path nor a camera path, for a folder
    // that cannot be opened, and for a camera path that is not an attached camera's root.
    static Ref<DirectoryEnumerator> enumeratorWithPath(const std::string& path, std::uint32_t cacheSize);

    std::uint32_t cacheSize() const { return cacheSize_; }
    virtual void setCacheSize(std::uint32_t size) { cacheSize_ = size; }
    // Every entry of the current batch was handed out.
    bool cacheExhausted() const { return currIndex_ >= foundItems_; }
    std::uint32_t desiredInfo() const { return whichInfo_; }
    virtual void setDesiredInfo(std::uint32_t bits) { whichInfo_ = bits; }

    // Per-entry questions; the base class answers nothing.
    virtual std::optional<std::string> nextObject() { return std::nullopt; }
    virtual std::optional<std::string> nextObjectFullPath() { return std::nullopt; }
    // Null when the entry has no attributes (vanished, unreadable, a dangling link).
    virtual Value fileAttributes() { return {}; }
    // The facts of fileAttributes() a listing sends, without making the dictionary: nullopt
    // when the entry has no attributes, each fact when fileAttributes() would hold it.
    struct ListingFacts {
        std::optional<Date> creationDate;     // "NSFileCreationDate"
        std::optional<Date> modificationDate; // "NSFileModificationDate"
        std::optional<std::uint64_t> size;    // "NSFileSize"
    };
    virtual std::optional<ListingFacts> listingFacts();
    virtual bool isInvisible() { return false; }
    virtual bool isDirectory() { return false; }
    virtual bool isWritable() { return false; }
    virtual bool isLocked() { return false; }
    virtual bool isBundle() { return false; }
    virtual std::optional<std::string> displayName() { return std::nullopt; }
    virtual std::optional<std::string> kindString() { return std::nullopt; }
    virtual std::optional<std::string> kindStringFromType() { return std::nullopt; }
    virtual std::optional<std::string> contentType() { return std::nullopt; }
    virtual std::optional<std::string> contentTypeFromType() { return std::nullopt; }
    virtual std::optional<Value::Bytes> iconDataOnlyCustom(bool onlyCustom, std::uint32_t iconSelector);
    virtual std::optional<Value::Bytes> imageDataWithQuality(float quality);

    // Whether a name is a bundle by its extension (.app, .bundle, .plugin, .kext, any case).
    static bool isBundleName(std::string_view name);

    // The names in the folder that are not hidden (no leading "."); for "/" also without the
    // names listed in "/.hidden". Empty when the folder cannot be read.
    static std::vector<std::string> visibleDirectoryContentsAtPath(const std::string& path);
    // The attributes of the item at `path` (links followed) for the information bits, as
    // fileAttributes() gives them; null when it cannot be read.
    static Value carbonFileAttributesAtPath(const std::string& path, std::uint32_t bits);
    // Writes back what the dictionary holds: "DEItemIsLocked" (the immutable flag),
    // NSFilePosixPermissions, NSFileOwnerAccountID, NSFileGroupOwnerAccountID. Finder
    // information has no place on this platform and is ignored. False when a write fails.
    static bool changeCarbonFileAttributes(const Value& attributes, const std::string& path);

protected:
    DirectoryEnumerator() = default;
    // The content type and kind of a name's extension (kind only with a type).
    struct TypeFacts {
        bool valid = false;
        std::string extension;
        std::optional<std::string> type;
        std::optional<std::string> kind;
    };
    static TypeFacts typeFactsOfExtension(const std::string& extension);
    std::uint32_t cacheSize_ = DefaultCacheSize;
    std::uint32_t foundItems_ = 0;
    std::uint32_t currIndex_ = 0;
    std::uint32_t whichInfo_ = 0;
};

class VolumeDirectoryEnumerator : public DirectoryEnumerator {
public:
    // Null when the folder cannot be opened.
    static Ref<VolumeDirectoryEnumerator> create(const std::string& path, std::uint32_t cacheSize = DefaultCacheSize);

    void setCacheSize(std::uint32_t size) override;

    std::optional<std::string> nextObject() override;
    std::optional<std::string> nextObjectFullPath() override;
    Value fileAttributes() override;
    std::optional<ListingFacts> listingFacts() override;
    bool isInvisible() override;
    bool isDirectory() override;
    bool isWritable() override;
    bool isLocked() override;
    bool isBundle() override;
    std::optional<std::string> kindString() override { return kindStringFromType(); }
    std::optional<std::string> kindStringFromType() override;
    std::optional<std::string> contentType() override { return contentTypeFromType(); }
    std::optional<std::string> contentTypeFromType() override;

    const std::string& containerPath() const { return containerPath_; }
    // The batches fetched so far (for diagnostics and tests).
    std::uint32_t batchesFetched() const { return batches_; }

private:
    struct Entry {
        std::string name;
        bool hasInfo = false;
        struct statx info {};
    };
    VolumeDirectoryEnumerator(std::string path, FileDescriptor folder);
    bool fetchBatch();
    bool readNames();
    const Entry* current() const;
    void logUnfollowedLink(const std::string& name, int error) const;
    // Content type and kind of the current entry's extension.
    const TypeFacts& typeFacts();

    std::string containerPath_;
    FileDescriptor folder_;
    std::vector<Entry> cache_;
    // Raw getdents64 bytes not yet turned into entries.
    std::vector<char> buffer_;
    std::size_t bufferOffset_ = 0;
    std::size_t bufferLength_ = 0;
    bool endOfFolder_ = false;
    std::uint32_t batches_ = 0;
    TypeFacts typeFacts_;
};

class ZovImageCaptureDeviceInfo;
class CameraFileObject;

// The files of an attached camera, listed at its root: regular, read-only files with the
// attributes the camera gives (size, file time), kind and content type by extension.
class CameraDirectoryEnumerator : public DirectoryEnumerator {
public:
    // Null unless `path` is the root of a camera the volume manager knows.
    static Ref<CameraDirectoryEnumerator> create(const std::string& path, std::uint32_t cacheSize = DefaultCacheSize);
    // Defined where CameraFileObject is complete.
    ~CameraDirectoryEnumerator() override;

    std::optional<std::string> nextObject() override;
    std::optional<std::string> nextObjectFullPath() override;
    Value fileAttributes() override;
    bool isInvisible() override;
    std::optional<std::string> kindString() override { return kindStringFromType(); }
    std::optional<std::string> kindStringFromType() override;
    std::optional<std::string> contentType() override { return contentTypeFromType(); }
    std::optional<std::string> contentTypeFromType() override;

private:
    CameraDirectoryEnumerator(std::string root, std::vector<Ref<CameraFileObject>> objects);
    const CameraFileObject* current() const;
    const TypeFacts& typeFacts();

    std::string root_;
    std::vector<Ref<CameraFileObject>> objects_;
    std::size_t next_ = 0;
    TypeFacts typeFacts_;
};

} // namespace vistel
