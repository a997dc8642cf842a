#pragma once
// Unique temporary names, and the exchange of two files' contents that safe saving relies on.
//
// ExchangeObjectsCompat swaps what two files hold while each name keeps what belongs to the
// name: its place, permissions, owner (when the process may give files away), access time
// and user extended attributes ("user.*"). The modification time travels with the contents it
// dates. The exchange itself is atomic where the file system can swap two names in one step
// (renameat2 RENAME_EXCHANGE); elsewhere (vfat, exfat, many FUSE file systems) it runs a
// sequence of renames through temporary names and undoes every step already done when one
// fails, so both files end as they were and no temporary name is left behind.
//
// Thread safety: callable from any thread; temporary names are unique within the process and
// are taken with no-replace renames, so other processes cannot be overwritten either. The test
// hooks are process-wide and meant to be installed only by tests.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "Common/FileSystem/FSRef.h"
#include "Platform/StatusCodes.h"

namespace vistel {

// The process-wide counter behind temporary names; it starts at a random value so that two
// processes do not walk the same names.
std::atomic<std::uint32_t>& temporaryNameCounter();

// A name of 8 characters, "." and 7 upper-case hexadecimal digits (bits 27 to 0 of the next
// value of `counter`, most significant first), that names nothing in either folder. The next
// counter value is tried while the name exists in one of them. 0, or the status of a failed
// lookup.
StatusCode MakeUniqueTemporaryName(std::atomic<std::uint32_t>& counter, const FSRef& firstFolder,
                                   const FSRef& secondFolder, std::string& name);
// The same with the process-wide counter.
StatusCode MakeUniqueTemporaryName(const FSRef& firstFolder, const FSRef& secondFolder,
                                   std::string& name);

// Exchanges the contents of two regular files on one volume (see above). Both out references
// are required (-50 otherwise); each starts as a copy of its input, and on success they name
// the objects now at the source's and the destination's paths. -1303 for files on different
// volumes, -1302 when either is not a regular file (a folder, a link), -43 when a reference
// no longer names its object; otherwise 0 or the status of the step that failed.
StatusCode ExchangeObjectsCompat(const FSRef& source, const FSRef& destination, FSRef* newSource,
                                 FSRef* newDestination);

// The steps of the exchange, as the test hook sees them. "Info" is what stays with a name
// (permissions, owner, access time, user attributes); the source object is the one that held
// the source's contents before the call.
enum class ExchangeStep {
    SystemExchange,            // the one-step exchange of the two names
    MoveSourceAside,           // source object to a temporary name in the destination's folder
    MoveDestinationAside,      // destination object to a temporary name in the source's folder
    SetSourceObjectInfo,       // source object takes the destination's info
    SetDestinationObjectInfo,  // destination object takes the source's info
    RenameSourceObject,        // source object to the destination's name
    RenameDestinationObject,   // destination object to the source's name
};

// Test seam: `forceFallback` skips the one-step exchange; `beforeStep` is called before each
// step and, when it answers a non-zero status, makes that step fail with it.
struct ExchangeTestHooks {
    bool forceFallback = false;
    std::function<StatusCode(ExchangeStep)> beforeStep;
};

class ScopedExchangeTestHooks {
public:
    explicit ScopedExchangeTestHooks(ExchangeTestHooks hooks);
    ~ScopedExchangeTestHooks();
    ScopedExchangeTestHooks(const ScopedExchangeTestHooks&) = delete;
    ScopedExchangeTestHooks& operator=(const ScopedExchangeTestHooks&) = delete;

private:
    ExchangeTestHooks previous_;
};

} // namespace vistel
