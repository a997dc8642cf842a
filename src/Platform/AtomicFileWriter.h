#pragma once
// writeFileAtomically: the one way the program puts a file's new contents on disk.
//
// The bytes go to a new temporary file in the target's folder, reach the disk (fsync), get
// the replaced file's mode and, where permitted, its owner and group (a new file gets
// 0666 less the umask the process had at start-up), and then take the target's name in one
// step: a rename, or an exchange of the two names where the caller asks for one. The folder
// is flushed last, so the rename itself survives a crash. A crash or a full disk at any
// point leaves the old bytes or the new ones under the name, never a mix or a cut file; a
// failure removes the temporary file and leaves the target as it was.
//
// Temporary files are named ".vistel-tmp-" and ten lower-case letters or digits: hidden,
// without an extension (no folder listing or watcher takes one for a picture), and short and
// of fixed length, so that any name that fits its folder fits with them. Each holds an
// exclusive flock while its writer lives. A file of a killed writer stays behind; every write
// into a folder first removes those of that folder that are older than a minute and that no
// live process holds.
//
// A symbolic link at the path is written through: the file it points to gets the new bytes
// and the link stays. A folder, a FIFO, a device, a socket or a link to nothing at the path
// is refused without touching it.
//
// Thread rules: any thread, any number at once. Two writes to the same target race like two
// renames: each leaves a complete file, the later rename wins. The umask is read once, when
// the library is loaded, and never changed: a program that changes its umask later keeps
// the first one for the files written here.

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vistel {

enum class FileReplacement {
    // The temporary file is renamed over the target.
    Rename,
    // The two names are exchanged (RENAME_EXCHANGE) and the temporary name, which then holds
    // the old bytes, is removed; a plain rename where the file system cannot exchange.
    Exchange,
};

struct AtomicWriteOptions {
    FileReplacement replacement = FileReplacement::Rename;
    // Mode of the temporary file while it is written.
    mode_t writingMode = 0600;
    // Mode of a new file, before the umask is taken away.
    mode_t newFileMode = 0666;
    // For a new file: when an item takes the name while the bytes are written, fail with
    // EEXIST instead of replacing it.
    bool keepItemCreatedMeanwhile = false;
    // The write makes a new file only: an item already at the name fails it with EEXIST at the
    // Target step, one taking the name while the bytes are written with EEXIST at the Replace
    // step; either is left as it is.
    bool newFileOnly = false;
};

// The steps of a write, in order; a failure names the one it happened in.
enum class AtomicWriteStep {
    None,
    Path,      // an empty path, or one whose last component is no file name
    Link,      // the symbolic link at the path could not be followed
    Folder,    // the target's folder could not be opened
    Target,    // the target is no regular file, or could not be looked at
    Create,    // the temporary file could not be made
    Write,
    Sync,
    Mode,      // the final mode could not be set
    Replace,   // the rename or exchange failed
};

struct AtomicWriteResult {
    int error = 0;                          // errno of the failure; 0 after a write
    AtomicWriteStep step = AtomicWriteStep::None;
    std::string cause;                      // "cannot write <path>: <reason>"
    std::string temporaryName;              // name of the temporary file used, if one was made

    explicit operator bool() const noexcept { return error == 0; }
};

// Writes `bytes` to `path` as described above. On failure errno is also left set to
// result.error for callers that speak errno.
AtomicWriteResult writeFileAtomically(std::string_view path, std::span<const std::uint8_t> bytes,
                                      const AtomicWriteOptions& options = {});
AtomicWriteResult writeFileAtomically(std::string_view path, std::string_view bytes,
                                      const AtomicWriteOptions& options = {});

// The file-creation mask the process had when the platform library was loaded.
mode_t processUmask() noexcept;

// True for a name the writer gives its temporary files.
bool isAtomicWriteTemporaryName(std::string_view name) noexcept;

// Tests only: makes the writer's final mode change fail with `error` (as on vfat, which
// answers EPERM), so the tolerance for file systems without permissions can be checked
// without such a volume.
class ScopedAtomicWriteChmodFailure {
public:
    explicit ScopedAtomicWriteChmodFailure(int error);
    ~ScopedAtomicWriteChmodFailure();
    ScopedAtomicWriteChmodFailure(const ScopedAtomicWriteChmodFailure&) = delete;
    ScopedAtomicWriteChmodFailure& operator=(const ScopedAtomicWriteChmodFailure&) = delete;

private:
    int previous_;
};

} // namespace vistel
