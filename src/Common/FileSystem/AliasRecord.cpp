#include "Common/FileSystem/AliasRecord.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "Common/FileSystem/MountTable.h"
#include "Platform/FilePaths.h"

namespace vistel {

namespace {

// ---- the stored form -------------------------------------------------------------------------
// "VZAL", a 16-bit little-endian version, then fields as (8-bit tag, 32-bit little-endian
// length, bytes). Readers skip tags they do not know, so later versions may add fields without
// breaking older readers; the version changes only when a field's meaning does.

constexpr std::uint8_t Magic[4] = {'V', 'Z', 'A', 'L'};

enum Tag : std::uint8_t {
    TagPath = 1,
    TagMountPoint = 2,
    TagSource = 3,
    TagFileSystem = 4,
    TagUuid = 5,
    TagDevice = 6,
    TagPathOnVolume = 7,
    TagInode = 8,
    TagIsDirectory = 9,
    TagRelativePath = 10,
};

void putInteger(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

std::uint64_t getInteger(std::span<const std::uint8_t> in)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < in.size(); ++i)
        value |= std::uint64_t(in[i]) << (8 * i);
    return value;
}

void putField(std::vector<std::uint8_t>& out, Tag tag, std::span<const std::uint8_t> bytes)
{
    out.push_back(tag);
    putInteger(out, bytes.size(), 4);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void putText(std::vector<std::uint8_t>& out, Tag tag, const std::string& text)
{
    putField(out, tag, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void putNumber(std::vector<std::uint8_t>& out, Tag tag, std::uint64_t value, int bytes)
{
    std::vector<std::uint8_t> field;
    putInteger(field, value, bytes);
    putField(out, tag, field);
}

// ---- paths -----------------------------------------------------------------------------------

bool isDirectoryPath(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder an alias is relative to: the object itself when it is a folder, else its folder.
std::string relativeBase(const std::string& path)
{
    return isDirectoryPath(path) ? path : parentFolderPath(path);
}

std::string relativePathBetween(const std::string& fromFolder, const std::string& to)
{
    const std::vector<std::string> from = pathComponents(fromFolder);
    const std::vector<std::string> target = pathComponents(to);
    std::size_t common = 0;
    while (common < from.size() && common < target.size() && from[common] == target[common])
        ++common;
    std::string result;
    for (std::size_t i = common; i < from.size(); ++i)
        result += result.empty() ? ".." : "/..";
    for (std::size_t i = common; i < target.size(); ++i)
        result += (result.empty() ? "" : "/") + target[i];
    return result.empty() ? std::string(".") : result;
}

// Joins a relative path to a folder, taking ".." lexically: a moved pair of folders must
// still find each other even when the old intermediate folders are gone.
std::string joinRelative(const std::string& folder, const std::string& relative)
{
    return normalizedPath(joinPath(folder, relative));
}

// ---- mount table -----------------------------------------------------------------------------

struct MountEntry {
    VolumeIdentity volume;
    std::string root; // the folder of the file system mounted there ("/" for the whole one)
};

std::string uuidOfDevice(const std::string& source)
{
    if (!source.starts_with("/dev/"))
        return {};
    char device[PATH_MAX];
    if (!::realpath(source.c_str(), device))
        return {};
    DIR* folder = ::opendir("/dev/disk/by-uuid");
    if (!folder)
        return {};
    std::string uuid;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.')
            continue;
        char target[PATH_MAX];
        const std::string link = std::string("/dev/disk/by-uuid/") + entry->d_name;
        if (::realpath(link.c_str(), target) && std::string(target) == device) {
            uuid = entry->d_name;
            break;
        }
    }
    ::closedir(folder);
    return uuid;
}

std::vector<MountEntry> mountEntries()
{
    std::vector<MountEntry> entries;
    for (MountTableEntry& line : readMountTable())
        entries.push_back({{std::move(line.mountPoint), std::move(line.source), std::move(line.fileSystem), {}, line.device},
                           std::move(line.root)});
    return entries;
}

std::string below(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return path.substr(1);
    return path.size() > folder.size() ? path.substr(folder.size() + 1) : std::string();
}

std::optional<MountEntry> mountOf(const std::string& realPath, dev_t device)
{
    std::optional<MountEntry> best;
    for (MountEntry& entry : mountEntries()) {
        if (entry.volume.device != device || !isPathUnder(realPath, entry.volume.mountPoint))
            continue;
        // The last matching line is the one on top when mounts are stacked.
        if (!best || entry.volume.mountPoint.size() >= best->volume.mountPoint.size())
            best = std::move(entry);
    }
    if (best)
        best->volume.uuid = uuidOfDevice(best->volume.source);
    return best;
}

bool sameVolume(const VolumeIdentity& recorded, const VolumeIdentity& mounted)
{
    if (!recorded.uuid.empty() && !mounted.uuid.empty())
        return recorded.uuid == mounted.uuid;
    return recorded.source == mounted.source && recorded.fileSystem == mounted.fileSystem
        && recorded.device == mounted.device;
}

} // namespace

std::vector<std::uint8_t> AliasRecord::toBytes() const
{
    std::vector<std::uint8_t> out(std::begin(Magic), std::end(Magic));
    putInteger(out, CurrentVersion, 2);
    putText(out, TagPath, path);
    putText(out, TagMountPoint, volume.mountPoint);
    putText(out, TagSource, volume.source);
    putText(out, TagFileSystem, volume.fileSystem);
    putText(out, TagUuid, volume.uuid);
    putNumber(out, TagDevice, volume.device, 8);
    putText(out, TagPathOnVolume, pathOnVolume);
    putNumber(out, TagInode, inode, 8);
    putNumber(out, TagIsDirectory, isDirectory ? 1 : 0, 1);
    if (!relativePath.empty())
        putText(out, TagRelativePath, relativePath);
    return out;
}

std::optional<AliasRecord> AliasRecord::fromBytes(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 6 || !std::equal(std::begin(Magic), std::end(Magic), bytes.begin()))
        return std::nullopt;
    const std::uint64_t version = getInteger(bytes.subspan(4, 2));
    if (version < 1 || version > CurrentVersion)
        return std::nullopt;

    AliasRecord record;
    bool hasPath = false;
    std::span<const std::uint8_t> rest = bytes.subspan(6);
    while (!rest.empty()) {
        if (rest.size() < 5)
            return std::nullopt;
        const std::uint8_t tag = rest[0];
        const std::uint64_t length = getInteger(rest.subspan(1, 4));
        rest = rest.subspan(5);
        if (length > rest.size())
            return std::nullopt;
        const std::span<const std::uint8_t> value = rest.subspan(0, std::size_t(length));
        rest = rest.subspan(std::size_t(length));
        const std::string text(value.begin(), value.end());
        switch (tag) {
        case TagPath: record.path = text; hasPath = true; break;
        case TagMountPoint: record.volume.mountPoint = text; break;
        case TagSource: record.volume.source = text; break;
        case TagFileSystem: record.volume.fileSystem = text; break;
        case TagUuid: record.volume.uuid = text; break;
        case TagPathOnVolume: record.pathOnVolume = text; break;
        case TagRelativePath: record.relativePath = text; break;
        case TagDevice:
        case TagInode:
            if (length != 8)
                return std::nullopt;
            (tag == TagDevice ? record.volume.device : record.inode) = getInteger(value);
            break;
        case TagIsDirectory:
            if (length != 1 || value[0] > 1)
                return std::nullopt;
            record.isDirectory = value[0] == 1;
            break;
        default: break; // a field of a later version
        }
    }
    // Every use of a record starts from its path: one without an absolute path is no alias.
    if (!hasPath || !record.path.starts_with('/') || record.path.find('\0') != std::string::npos)
        return std::nullopt;
    return record;
}

StatusCode NewAliasFromPathCompat(std::optional<std::string_view> relativeToPath, std::string_view targetPath,
                                  std::uint32_t flags, AliasRecord& alias, bool* isDirectory)
{
    if (flags != 0 || targetPath.empty())
        return status::ParameterError;
    AliasRecord record;
    record.path = absolutePath(targetPath);
    struct stat st {};
    if (::stat(record.path.c_str(), &st) != 0)
        return statusFromErrno(errno);
    record.inode = st.st_ino;
    record.isDirectory = S_ISDIR(st.st_mode);
    record.volume.device = st.st_dev;

    // The place inside the volume is taken from the real path, so links on the way to the
    // target do not hide which volume holds it.
    char real[PATH_MAX];
    if (::realpath(record.path.c_str(), real)) {
        if (std::optional<MountEntry> mount = mountOf(real, st.st_dev)) {
            record.volume = mount->volume;
            std::string inside = below(real, mount->volume.mountPoint);
            if (mount->root != "/")
                inside = below(mount->root, "/") + (inside.empty() ? "" : "/" + inside);
            record.pathOnVolume = inside;
        }
    }

    if (relativeToPath && !relativeToPath->empty()) {
        const std::string from = absolutePath(*relativeToPath);
        struct stat fromStat {};
        if (::stat(from.c_str(), &fromStat) == 0)
            record.relativePath = relativePathBetween(relativeBase(from), record.path);
    }

    if (isDirectory)
        *isDirectory = record.isDirectory;
    alias = std::move(record);
    return status::NoError;
}

StatusCode resolveAlias(const AliasRecord& alias, std::optional<std::string_view> relativeToPath,
                        std::string& path, bool* wasChanged)
{
    struct Candidate {
        std::string path;
        bool anyDevice; // a volume mounted anew may carry another device number
    };
    std::vector<Candidate> candidates;
    if (!alias.relativePath.empty() && relativeToPath && !relativeToPath->empty())
        candidates.push_back({joinRelative(relativeBase(absolutePath(*relativeToPath)), alias.relativePath), false});
    candidates.push_back({alias.path, false});

    bool volumeMounted = false;
    if (!alias.volume.mountPoint.empty()) {
        for (MountEntry& entry : mountEntries()) {
            entry.volume.uuid = alias.volume.uuid.empty() ? std::string() : uuidOfDevice(entry.volume.source);
            if (!sameVolume(alias.volume, entry.volume))
                continue;
            volumeMounted = true;
            const std::string onVolume = "/" + alias.pathOnVolume;
            if (!isPathUnder(onVolume, entry.root))
                continue;
            const std::string inside = below(onVolume, entry.root);
            const std::string& mountPoint = entry.volume.mountPoint;
            std::string relocated = inside.empty() ? mountPoint
                                                   : (mountPoint == "/" ? "/" : mountPoint + "/") + inside;
            if (relocated != alias.path)
                candidates.push_back({std::move(relocated), true});
        }
    }

    auto lookUp = [](const std::string& candidate, struct stat& st) {
        return ::stat(candidate.c_str(), &st) == 0;
    };
    // First the recorded object itself, wherever it is found; then anything of its name.
    for (const Candidate& candidate : candidates) {
        struct stat st {};
        if (lookUp(candidate.path, st) && st.st_ino == alias.inode
            && (candidate.anyDevice || st.st_dev == alias.volume.device)) {
            path = candidate.path;
            if (wasChanged)
                *wasChanged = candidate.path != alias.path;
            return status::NoError;
        }
    }
    for (const Candidate& candidate : candidates) {
        struct stat st {};
        if (lookUp(candidate.path, st)) {
            path = candidate.path;
            if (wasChanged)
                *wasChanged = true;
            return status::NoError;
        }
    }
    if (!volumeMounted && !alias.volume.mountPoint.empty())
        return status::NoSuchVolume;
    return status::NoSuchObject;
}

} // namespace vistel
