#pragma once
// FSRef: a reference to an existing file-system object.
//
// A reference is the path it was made from (as given: never canonicalised) together with the
// identity of the object found there, (st_dev, st_ino). Services that act on a reference first
// check that the path still names that same object, so a file that was moved away or replaced
// since the reference was made is reported as missing instead of being acted on by mistake.
// Leaf symbolic links are followed when the reference is made: the identity is the target's.
//
// A default-constructed reference is the null reference.
//
// Plain value type; the functions are safe on any thread.

#include <sys/types.h>

#include <string>
#include <string_view>

#include "Platform/StatusCodes.h"

namespace vistel {

struct FSRef {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;

    bool isNull() const noexcept { return path.empty(); }
    // Same object (path aside): what "identity" means for a reference.
    bool sameObject(const FSRef& other) const noexcept
    {
        return device == other.device && inode == other.inode;
    }
    friend bool operator==(const FSRef&, const FSRef&) = default;
};

// Makes a reference to the object at `path`; `isDirectory` (may be null) tells whether it is a
// folder. 0, or the status of the failed lookup (-43 for a missing object, -50 for an empty
// path).
StatusCode makeFSRef(std::string_view path, FSRef& ref, bool* isDirectory = nullptr);

// 0 when the reference's path still names the referenced object; -43 when it names nothing or
// another object; the lookup's status when the lookup fails otherwise; -50 for a null reference.
StatusCode verifyFSRef(const FSRef& ref);

} // namespace vistel
