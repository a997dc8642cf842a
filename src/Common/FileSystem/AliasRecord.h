#pragma once
// Alias records: a stored reference to a file or folder that can be found again later, after
// the program restarted, the volume was mounted elsewhere, or the object was replaced by one
// of the same name.
//
// A record holds the target's path, the identity of its volume (mount point, device source,
// file-system type, device number and, when the system knows it, the file-system UUID), the
// target's path inside that volume, its inode, whether it is a folder, and optionally its
// path relative to another object (a relative alias). The stored form is a versioned blob of
// our own (toBytes / fromBytes); blobs come from preferences and other files, so fromBytes
// treats them as untrusted and answers nullopt for anything malformed.
//
// Functions are safe on any thread; records are plain values.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/StatusCodes.h"

namespace vistel {

struct VolumeIdentity {
    std::string mountPoint;
    std::string source;     // what is mounted: "/dev/sdb1", "tmpfs", "server:/export"
    std::string fileSystem; // "ext4", "vfat", ...
    std::string uuid;       // the file system's UUID; empty when unknown
    std::uint64_t device = 0;

    friend bool operator==(const VolumeIdentity&, const VolumeIdentity&) = default;
};

struct AliasRecord {
    static constexpr std::uint16_t CurrentVersion = 1;

    std::string path;            // absolute path of the target when the record was made
    VolumeIdentity volume;
    std::string pathOnVolume;    // `path` inside the volume, without a leading '/'
    std::uint64_t inode = 0;
    bool isDirectory = false;
    std::string relativePath;    // from the folder of the object the alias is relative to; may be empty

    std::vector<std::uint8_t> toBytes() const;
    static std::optional<AliasRecord> fromBytes(std::span<const std::uint8_t> bytes);

    friend bool operator==(const AliasRecord&, const AliasRecord&) = default;
};

// Makes an alias record of `targetPath`. `relativeToPath`, when given and existing, is the
// object the alias is also recorded relative to (a file stands for its folder); when it does
// not exist it is left out. `flags` is reserved and must be 0 (-50 otherwise). `isDirectory`
// may be null. 0, or the status of the target's lookup (-43 for a missing target).
StatusCode NewAliasFromPathCompat(std::optional<std::string_view> relativeToPath, std::string_view targetPath,
                                  std::uint32_t flags, AliasRecord& alias, bool* isDirectory);

// Finds the target of `alias` again and sets `path` to it. Tried in order: the path relative to
// `relativeToPath` (when both the record and the caller give one), the recorded path, and the
// same place on the recorded volume mounted elsewhere, each first for the recorded object
// itself (same inode) and then for any object of that name. `wasChanged` (may be null) tells
// whether the target was found anywhere but the recorded object at the recorded path.
// 0; -43 when no candidate exists; -35 when the recorded volume is not mounted at all.
StatusCode resolveAlias(const AliasRecord& alias, std::optional<std::string_view> relativeToPath,
                        std::string& path, bool* wasChanged = nullptr);

} // namespace vistel
