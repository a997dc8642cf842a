#pragma once
// Open descriptors and folder listings: the one way the platform reads a folder's names; and
// the whole contents of one regular file.
//
// FileDescriptor and DirectoryHandle own what they hold and close it when they go. The
// listings read every name before the caller acts on any, so deleting while reading cannot
// make a file system skip entries. Nothing here follows a symbolic link to the listed folder.
// Safe on any thread.

#include <dirent.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "Platform/StatusCodes.h"

namespace vistel {

// Owns a file descriptor.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) { }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) { }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }
    explicit operator bool() const noexcept { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Owns an open directory stream.
class DirectoryHandle {
public:
    explicit DirectoryHandle(DIR* dir) noexcept : dir_(dir) { }
    ~DirectoryHandle()
    {
        if (dir_)
            ::closedir(dir_);
    }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;

private:
    DIR* dir_;
};

// The names in a folder, "." and ".." left out, in the order the file system gives them. The
// folder itself is never reached through a symbolic link. Answers 0 or the failure's status.
StatusCode listFolder(const std::string& path, std::vector<std::string>& names);
// The same for the folder `name` of the folder open as `parent` (AT_FDCWD: `name` is a path),
// which stays open in `folder` for *at() calls on its items. All names are read before the
// caller acts on any (deleting while reading may make a file system skip entries). When the
// folder opens but reading it fails, `folder` is open, `names` holds what was read and the
// failure is answered.
StatusCode readFolderAt(int parent, const std::string& name, FileDescriptor& folder, std::vector<std::string>& names);

// The bytes of the regular file at `path` (links followed), read whole. A folder (the status
// of EISDIR), FIFO, device or socket (of EINVAL) is refused without reading, so nothing blocks;
// a file of more than `maxBytes` too (of EFBIG). The failure is answered, `bytes` left empty.
StatusCode readRegularFile(const std::string& path, std::string& bytes, std::size_t maxBytes);
StatusCode readRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::size_t maxBytes);

} // namespace vistel
