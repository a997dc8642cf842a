#include "Common/FileSystem/Catalogue/DirectoryEnumerator.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <mutex>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/FilePaths.h"
#include "Platform/Imaging/TypeIdentifiers.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// The layout getdents64 writes.
struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

bool endsWithNoCase(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

Date dateOf(const struct statx_timestamp& time)
{
    return FileSystemFunctions::dateOfFileTime(time.tv_sec, time.tv_nsec);
}

Value dateValue(const struct statx_timestamp& time)
{
    return Value(dateOf(time));
}

// The statx fields the information bits need.
unsigned statxMaskFor(std::uint32_t bits)
{
    unsigned mask = 0;
    if (bits & (kDirInfoNodeFlags | kDirInfoFinderInfo))
        mask |= STATX_TYPE;
    if (bits & kDirInfoCreateDate)
        mask |= STATX_BTIME;
    if (bits & kDirInfoContentModDate)
        mask |= STATX_MTIME;
    if (bits & kDirInfoAttrModDate)
        mask |= STATX_CTIME;
    if (bits & kDirInfoAccessDate)
        mask |= STATX_ATIME;
    if (bits & kDirInfoPermissions)
        mask |= STATX_MODE | STATX_UID | STATX_GID;
    if (bits & kDirInfoDataSizes)
        mask |= STATX_SIZE | STATX_BLOCKS;
    return mask;
}

// What an entry is, from its mode (links are described as what they point to).
const char* fileTypeNameOf(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFDIR: return "NSFileTypeDirectory";
    case S_IFREG: return "NSFileTypeRegular";
    case S_IFCHR: return "NSFileTypeCharacterSpecial";
    case S_IFBLK: return "NSFileTypeBlockSpecial";
    case S_IFSOCK: return "NSFileTypeSocket";
    default: return "NSFileTypeUnknown"; // a FIFO
    }
}

// The attribute dictionary of statx facts, for the wanted information bits.
Value attributesOf(const struct statx& info, std::uint32_t bits)
{
    Value attributes = Value::dictionary();
    if ((bits & kDirInfoNodeFlags) && (info.stx_mask & STATX_TYPE)) {
        attributes.set(DEItemIsLocked, Value(bool(info.stx_attributes & STATX_ATTR_IMMUTABLE)));
        attributes.set("NSFileType", Value(fileTypeNameOf(info.stx_mode)));
    }
    if ((bits & kDirInfoDataSizes) && (info.stx_mask & STATX_SIZE)) {
        attributes.set("NSFileSize", Value(static_cast<unsigned long long>(info.stx_size)));
        attributes.set(DEPhysicalFileSize, Value(static_cast<unsigned long long>(info.stx_blocks) * 512ULL));
    }
    if ((bits & kDirInfoPermissions) && (info.stx_mask & STATX_MODE)) {
        attributes.set("NSFilePosixPermissions", Value(static_cast<int>(info.stx_mode & 07777)));
        attributes.set("NSFileOwnerAccountID", Value(static_cast<unsigned long long>(info.stx_uid)));
        attributes.set("NSFileGroupOwnerAccountID", Value(static_cast<unsigned long long>(info.stx_gid)));
    }
    if ((bits & kDirInfoCreateDate) && (info.stx_mask & STATX_BTIME))
        attributes.set("NSFileCreationDate", dateValue(info.stx_btime));
    if ((bits & kDirInfoContentModDate) && (info.stx_mask & STATX_MTIME))
        attributes.set("NSFileModificationDate", dateValue(info.stx_mtime));
    if ((bits & kDirInfoAttrModDate) && (info.stx_mask & STATX_CTIME))
        attributes.set(DEFileAttrModificationDate, dateValue(info.stx_ctime));
    if ((bits & kDirInfoAccessDate) && (info.stx_mask & STATX_ATIME))
        attributes.set(DEFileAccessDate, dateValue(info.stx_atime));
    return attributes;
}

} // namespace

// --- base -------------------------------------------------------------------------------------

std::optional<DirectoryEnumerator::ListingFacts> DirectoryEnumerator::listingFacts()
{
    const Value attributes = fileAttributes();
    if (!attributes.isDictionary())
        return std::nullopt;
    ListingFacts facts;
    if (attributes["NSFileCreationDate"].isDate())
        facts.creationDate = attributes["NSFileCreationDate"].toDate();
    if (attributes["NSFileModificationDate"].isDate())
        facts.modificationDate = attributes["NSFileModificationDate"].toDate();
    if (attributes["NSFileSize"].isNumber())
        facts.size = static_cast<std::uint64_t>(attributes["NSFileSize"].toInt64());
    return facts;
}

Ref<DirectoryEnumerator> DirectoryEnumerator::enumeratorWithPath(const std::string& path)
{
    return enumeratorWithPath(path, DefaultCacheSize);
}

Ref<DirectoryEnumerator> DirectoryEnumerator::enumeratorWithPath(const std::string& path, std::uint32_t cacheSize)
{
    if (NSStringDevices::isICADevicePath(path))
        return CameraDirectoryEnumerator::create(path, cacheSize);
    if (NSStringDevices::isVolumePath(path))
        return VolumeDirectoryEnumerator::create(path, cacheSize);
    ZovLog("DirectoryEnumerator::enumeratorWithPath invalid path " + path);
    return {};
}

DirectoryEnumerator::TypeFacts DirectoryEnumerator::typeFactsOfExtension(const std::string& extension)
{
    TypeFacts facts {true, extension, std::nullopt, std::nullopt};
    const std::string type = TypeIdentifiers::typeForExtension(extension);
    if (!type.empty() && TypeIdentifiers::conformsTo(type, "public.data")) {
        facts.type = type;
        if (std::string kind = TypeIdentifiers::description(type); !kind.empty())
            facts.kind = std::move(kind);
    }
    return facts;
}

std::optional<Value::Bytes> DirectoryEnumerator::iconDataOnlyCustom(bool, std::uint32_t)
{
    return std::nullopt;
}

std::optional<Value::Bytes> DirectoryEnumerator::imageDataWithQuality(float)
{
    return std::nullopt;
}

bool DirectoryEnumerator::isBundleName(std::string_view name)
{
    return (name.size() >= 6 && endsWithNoCase(name, ".app")) || (name.size() >= 9 && endsWithNoCase(name, ".bundle"))
        || (name.size() >= 9 && endsWithNoCase(name, ".plugin")) || (name.size() >= 7 && endsWithNoCase(name, ".kext"));
}

// --- volume enumerator ---------------------------------------------------------------------------

Ref<VolumeDirectoryEnumerator> VolumeDirectoryEnumerator::create(const std::string& path, std::uint32_t cacheSize)
{
    FileDescriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        ZovLog("VolumeDirectoryEnumerator cannot read the folder " + path + ": " + statusText(statusFromErrno(errno)));
        return {};
    }
    auto enumerator = Ref<VolumeDirectoryEnumerator>::adopt(new VolumeDirectoryEnumerator(path, std::move(folder)));
    enumerator->setCacheSize(cacheSize);
    return enumerator;
}

VolumeDirectoryEnumerator::VolumeDirectoryEnumerator(std::string path, FileDescriptor folder)
    : containerPath_(std::move(path)), folder_(std::move(folder))
{
}

void VolumeDirectoryEnumerator::setCacheSize(std::uint32_t size)
{
    DirectoryEnumerator::setCacheSize(std::max<std::uint32_t>(size, 1));
    cache_.clear();
    cache_.reserve(cacheSize_);
    foundItems_ = currIndex_ = 0;
}

bool VolumeDirectoryEnumerator::readNames()
{
    if (buffer_.empty())
        buffer_.resize(64 * 1024);
    const long read = ::syscall(SYS_getdents64, folder_.get(), buffer_.data(), buffer_.size());
    if (read < 0) {
        ZovLog("VolumeDirectoryEnumerator::nextObject cannot read " + containerPath_ + ": " + statusText(statusFromErrno(errno)));
        endOfFolder_ = true;
        return false;
    }
    if (read == 0) {
        endOfFolder_ = true;
        return false;
    }
    bufferOffset_ = 0;
    bufferLength_ = static_cast<std::size_t>(read);
    return true;
}

bool VolumeDirectoryEnumerator::fetchBatch()
{
    cache_.clear();
    foundItems_ = currIndex_ = 0;
    while (cache_.size() < cacheSize_) {
        if (bufferOffset_ >= bufferLength_ && (endOfFolder_ || !readNames()))
            break;
        const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer_.data() + bufferOffset_);
        bufferOffset_ += entry->d_reclen;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        cache_.push_back(Entry {name});
    }
    const unsigned mask = statxMaskFor(whichInfo_);
    const bool wantInfo = whichInfo_ != 0;
    std::erase_if(cache_, [&](Entry& entry) {
        if (!wantInfo)
            return false;
        // Links are described as what they point to.
        entry.hasInfo = ::statx(folder_.get(), entry.name.c_str(), AT_NO_AUTOMOUNT, mask | STATX_TYPE, &entry.info) == 0;
        if (!entry.hasInfo)
            logUnfollowedLink(entry.name, errno);
        if (!entry.hasInfo || !(entry.info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
            || !(entry.info.stx_attributes & STATX_ATTR_MOUNT_ROOT))
            return false;
        // A mount point below the folder: left out when it is a registered volume.
        return bool(ZovVolumeManager::sharedVolumeManager().volumeInfoForMountPoint(joinPath(containerPath_, entry.name)));
    });
    ++batches_;
    foundItems_ = static_cast<std::uint32_t>(cache_.size());
    return foundItems_ > 0;
}

std::optional<std::string> VolumeDirectoryEnumerator::nextObject()
{
    while (cacheExhausted()) {
        if (!fetchBatch() && (endOfFolder_ && bufferOffset_ >= bufferLength_))
            return std::nullopt;
    }
    return cache_[currIndex_++].name;
}

std::optional<std::string> VolumeDirectoryEnumerator::nextObjectFullPath()
{
    const std::optional<std::string> name = nextObject();
    if (!name)
        return std::nullopt;
    return joinPath(containerPath_, *name);
}

const VolumeDirectoryEnumerator::Entry* VolumeDirectoryEnumerator::current() const
{
    if (currIndex_ == 0 || currIndex_ > foundItems_)
        return nullptr;
    return &cache_[currIndex_ - 1];
}

Value VolumeDirectoryEnumerator::fileAttributes()
{
    const Entry* entry = current();
    if (!entry)
        return {};
    if (whichInfo_ == 0)
        return Value::dictionary();
    if (!entry->hasInfo)
        return {};
    return attributesOf(entry->info, whichInfo_);
}

std::optional<DirectoryEnumerator::ListingFacts> VolumeDirectoryEnumerator::listingFacts()
{
    const Entry* entry = current();
    if (!entry || !entry->hasInfo)
        return whichInfo_ == 0 && entry ? std::optional<ListingFacts>(ListingFacts {}) : std::nullopt;
    // What attributesOf() would answer for these three.
    const struct statx& info = entry->info;
    ListingFacts facts;
    if ((whichInfo_ & kDirInfoCreateDate) && (info.stx_mask & STATX_BTIME))
        facts.creationDate = dateOf(info.stx_btime);
    if ((whichInfo_ & kDirInfoContentModDate) && (info.stx_mask & STATX_MTIME))
        facts.modificationDate = dateOf(info.stx_mtime);
    if ((whichInfo_ & kDirInfoDataSizes) && (info.stx_mask & STATX_SIZE))
        facts.size = info.stx_size;
    return facts;
}

bool VolumeDirectoryEnumerator::isInvisible()
{
    const Entry* entry = current();
    return entry && !entry->name.empty() && entry->name[0] == '.';
}

bool VolumeDirectoryEnumerator::isDirectory()
{
    const Entry* entry = current();
    return entry && entry->hasInfo && (whichInfo_ & kDirInfoNodeFlags) && S_ISDIR(entry->info.stx_mode);
}

bool VolumeDirectoryEnumerator::isLocked()
{
    const Entry* entry = current();
    return entry && entry->hasInfo && (whichInfo_ & kDirInfoNodeFlags) && (entry->info.stx_attributes & STATX_ATTR_IMMUTABLE);
}

bool VolumeDirectoryEnumerator::isWritable()
{
    const Entry* entry = current();
    if (!entry || !entry->hasInfo || isLocked())
        return false;
    // What the kernel decides for this process: owner, groups, ACLs and capabilities.
    return ::faccessat(folder_.get(), entry->name.c_str(), W_OK, AT_EACCESS) == 0;
}

bool VolumeDirectoryEnumerator::isBundle()
{
    const Entry* entry = current();
    return entry && isBundleName(entry->name);
}

void VolumeDirectoryEnumerator::logUnfollowedLink(const std::string& name, int error) const
{
    // A link that leads nowhere (dangling, or a loop) is left out of the listing with one line;
    // an entry removed since the names were read is not worth one.
    struct statx link {};
    if (::statx(folder_.get(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE, &link) != 0
        || !S_ISLNK(link.stx_mode))
        return;
    const char* cause = error == ELOOP ? "symbolic link loop" : error == ENOENT ? "dangling symbolic link" : nullptr;
    ZovLog("VolumeDirectoryEnumerator leaves out " + joinPath(containerPath_, name) + ": "
           + (cause ? std::string(cause) : statusText(statusFromErrno(error))));
}

const VolumeDirectoryEnumerator::TypeFacts& VolumeDirectoryEnumerator::typeFacts()
{
    const Entry* entry = current();
    if (entry && entry->hasInfo && !S_ISREG(entry->info.stx_mode) && !S_ISDIR(entry->info.stx_mode)) {
        // A FIFO, socket or device is an item whatever its name says, never a picture.
        static const TypeFacts special {true, {}, std::string("public.item"), TypeIdentifiers::description("public.item")};
        return special;
    }
    const std::string extension = entry ? pathExtension(entry->name) : std::string();
    // Folders hold runs of one extension: the lookups are made once per run.
    if (typeFacts_.valid && typeFacts_.extension == extension)
        return typeFacts_;
    typeFacts_ = entry ? typeFactsOfExtension(extension) : TypeFacts {true, extension, std::nullopt, std::nullopt};
    return typeFacts_;
}

std::optional<std::string> VolumeDirectoryEnumerator::contentTypeFromType()
{
    return current() ? typeFacts().type : std::nullopt;
}

std::optional<std::string> VolumeDirectoryEnumerator::kindStringFromType()
{
    return current() ? typeFacts().kind : std::nullopt;
}

// --- single items -------------------------------------------------------------------------------------

std::vector<std::string> DirectoryEnumerator::visibleDirectoryContentsAtPath(const std::string& path)
{
    std::vector<std::string> names;
    Ref<VolumeDirectoryEnumerator> enumerator = VolumeDirectoryEnumerator::create(path, 256);
    if (!enumerator)
        return names;
    std::set<std::string> hidden; // hidden by name: no facts to fetch
    if (stripTrailingSlashes(path).empty() || path == "/") {
        std::ifstream list("/.hidden");
        for (std::string line; std::getline(list, line);)
            hidden.insert(line);
    }
    while (std::optional<std::string> name = enumerator->nextObject())
        if (!enumerator->isInvisible() && !hidden.count(*name))
            names.push_back(*name);
    return names;
}

Value DirectoryEnumerator::carbonFileAttributesAtPath(const std::string& path, std::uint32_t bits)
{
    struct statx info {};
    if (!NSStringDevices::isVolumePath(path)
        || ::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, statxMaskFor(bits) | STATX_TYPE, &info) != 0)
        return {};
    return attributesOf(info, bits);
}

bool DirectoryEnumerator::changeCarbonFileAttributes(const Value& attributes, const std::string& path)
{
    if (!NSStringDevices::isVolumePath(path) || !attributes.isDictionary())
        return false;
    const char* file = path.c_str();
    if (attributes.contains("NSFilePosixPermissions")
        && ::chmod(file, static_cast<mode_t>(attributes["NSFilePosixPermissions"].toInt64() & 07777)) != 0)
        return false;
    if (attributes.contains("NSFileOwnerAccountID") || attributes.contains("NSFileGroupOwnerAccountID")) {
        const uid_t owner = attributes.contains("NSFileOwnerAccountID")
            ? static_cast<uid_t>(attributes["NSFileOwnerAccountID"].toInt64()) : static_cast<uid_t>(-1);
        const gid_t group = attributes.contains("NSFileGroupOwnerAccountID")
            ? static_cast<gid_t>(attributes["NSFileGroupOwnerAccountID"].toInt64()) : static_cast<gid_t>(-1);
        if (::chown(file, owner, group) != 0)
            return false;
    }
    if (attributes.contains(DEItemIsLocked)) {
        // Locked is the file system's immutable flag.
        FileDescriptor item(::open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        int flags = 0;
        if (!item || ::ioctl(item.get(), FS_IOC_GETFLAGS, &flags) != 0)
            return false;
        const int wanted = attributes[DEItemIsLocked].toBool() ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        if (wanted != flags && ::ioctl(item.get(), FS_IOC_SETFLAGS, &wanted) != 0)
            return false;
    }
    return true;
}

// --- cameras ------------------------------------------------------------------------------------------

CameraDirectoryEnumerator::CameraDirectoryEnumerator(std::string root, std::vector<Ref<CameraFileObject>> objects)
    : root_(std::move(root)), objects_(std::move(objects))
{
}

Ref<CameraDirectoryEnumerator> CameraDirectoryEnumerator::create(const std::string& path, std::uint32_t cacheSize)
{
    const Ref<ZovImageCaptureDeviceInfo> camera = ZovVolumeManager::cameraOfPath(path);
    // A camera's files are one flat list: only its root is a folder.
    if (!camera || stripTrailingSlashes(path) != camera->mountPoint())
        return {};
    auto enumerator = Ref<CameraDirectoryEnumerator>::adopt(
        new CameraDirectoryEnumerator(camera->mountPoint(), camera->fileSystemObjectsArray()));
    enumerator->setCacheSize(cacheSize);
    return enumerator;
}

CameraDirectoryEnumerator::~CameraDirectoryEnumerator() = default;

const CameraFileObject* CameraDirectoryEnumerator::current() const
{
    return next_ > 0 && next_ <= objects_.size() ? objects_[next_ - 1].get() : nullptr;
}

std::optional<std::string> CameraDirectoryEnumerator::nextObject()
{
    if (next_ >= objects_.size()) {
        next_ = objects_.size() + 1;
        currIndex_ = foundItems_ = 0;
        return std::nullopt;
    }
    // Batches of cacheSize() names, as the volume enumerator hands them out.
    if (cacheExhausted()) {
        foundItems_ = static_cast<std::uint32_t>(std::min<std::size_t>(cacheSize(), objects_.size() - next_));
        currIndex_ = 0;
    }
    ++currIndex_;
    return objects_[next_++]->name();
}

std::optional<std::string> CameraDirectoryEnumerator::nextObjectFullPath()
{
    std::optional<std::string> name = nextObject();
    return name ? std::optional<std::string>(root_ + "/" + *name) : std::nullopt;
}

Value CameraDirectoryEnumerator::fileAttributes()
{
    if (!current())
        return {};
    Value attributes = ZovImageCaptureDeviceInfo::fileSytemAttributesForObject(objects_[next_ - 1]);
    attributes.set(DEItemIsLocked, Value(false));
    return attributes;
}

bool CameraDirectoryEnumerator::isInvisible()
{
    const CameraFileObject* object = current();
    return object && object->name().starts_with('.');
}

const DirectoryEnumerator::TypeFacts& CameraDirectoryEnumerator::typeFacts()
{
    const std::string extension = pathExtension(current()->name());
    if (!typeFacts_.valid || typeFacts_.extension != extension)
        typeFacts_ = typeFactsOfExtension(extension);
    return typeFacts_;
}

std::optional<std::string> CameraDirectoryEnumerator::kindStringFromType()
{
    return current() ? typeFacts().kind : std::nullopt;
}

std::optional<std::string> CameraDirectoryEnumerator::contentTypeFromType()
{
    return current() ? typeFacts().type : std::nullopt;
}

} // namespace vistel
