#include "Common/FileSystem/ObjectExchange.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>
#include <vector>

#include "Platform/FileOperations/FileTree.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// ---- test hooks ------------------------------------------------------------------------------

std::mutex& hooksMutex()
{
    static std::mutex mutex;
    return mutex;
}

ExchangeTestHooks& installedHooks()
{
    static ExchangeTestHooks hooks;
    return hooks;
}

ExchangeTestHooks currentHooks()
{
    std::lock_guard lock(hooksMutex());
    return installedHooks();
}

StatusCode injectedFailure(const ExchangeTestHooks& hooks, ExchangeStep step)
{
    return hooks.beforeStep ? hooks.beforeStep(step) : status::NoError;
}

// ---- paths and names -------------------------------------------------------------------------

std::string temporaryName(std::uint32_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string name(8, '.');
    for (int i = 0; i < 7; ++i)
        name[7 - i] = digits[(value >> (4 * i)) & 0xF];
    return name;
}

// Sets `exists` for `name` in `folder`; links count as existing whatever they point at.
StatusCode nameExists(const std::string& folder, const std::string& name, bool& exists)
{
    struct stat info {};
    if (::lstat(joinPath(folder, name).c_str(), &info) == 0) {
        exists = true;
        return status::NoError;
    }
    if (errno == ENOENT) {
        exists = false;
        return status::NoError;
    }
    return statusFromErrno(errno);
}

StatusCode uniqueName(std::atomic<std::uint32_t>& counter, const std::string& first,
                      const std::string& second, std::string& name)
{
    // 2^28 distinct names: after that many tries every name is taken.
    for (std::uint32_t tries = 0; tries < (1u << 28); ++tries) {
        const std::string candidate = temporaryName(counter.fetch_add(1, std::memory_order_relaxed) + 1);
        bool exists = false;
        if (const StatusCode error = nameExists(first, candidate, exists))
            return error;
        if (!exists && second != first)
            if (const StatusCode error = nameExists(second, candidate, exists))
                return error;
        if (!exists) {
            name = candidate;
            return status::NoError;
        }
    }
    return status::DuplicateName;
}

// Renames without ever replacing an existing object. File systems without the no-replace
// flag get a look-up first; the window between look-up and rename is theirs alone.
int renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// ---- what stays with a name ------------------------------------------------------------------

using Attributes = std::vector<std::pair<std::string, std::string>>;

struct ObjectInfo {
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    timespec accessTime {};
    timespec modificationTime {};
    Attributes attributes; // "user.*" only, sorted by name
};

bool unsupported(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

StatusCode readAttributes(const std::string& path, Attributes& attributes)
{
    attributes.clear();
    std::vector<char> names;
    for (;;) {
        const ssize_t size = ::llistxattr(path.c_str(), nullptr, 0);
        if (size < 0)
            return unsupported(errno) ? status::NoError : statusFromErrno(errno);
        names.resize(std::size_t(size));
        const ssize_t got = size ? ::llistxattr(path.c_str(), names.data(), names.size()) : 0;
        if (got >= 0) {
            names.resize(std::size_t(got));
            break;
        }
        if (errno != ERANGE) // ERANGE: an attribute was added meanwhile, ask again
            return statusFromErrno(errno);
    }
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        if (!name.starts_with("user."))
            continue;
        std::string value;
        for (;;) {
            const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
            if (size < 0)
                return errno == ENODATA ? status::NoError : statusFromErrno(errno);
            value.resize(std::size_t(size));
            const ssize_t got = size ? ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size()) : 0;
            if (got >= 0) {
                value.resize(std::size_t(got));
                break;
            }
            if (errno != ERANGE)
                return statusFromErrno(errno);
        }
        attributes.emplace_back(name, std::move(value));
    }
    std::sort(attributes.begin(), attributes.end());
    return status::NoError;
}

StatusCode readInfo(const std::string& path, ObjectInfo& info)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return statusFromErrno(errno);
    info.mode = st.st_mode & 07777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    info.accessTime = st.st_atim;
    info.modificationTime = st.st_mtim;
    return readAttributes(path, info.attributes);
}

StatusCode writeAttributes(const std::string& path, const Attributes& wanted)
{
    Attributes current;
    if (const StatusCode error = readAttributes(path, current))
        return error;
    for (const auto& attribute : current) {
        const std::string& name = attribute.first;
        const bool kept = std::any_of(wanted.begin(), wanted.end(), [&](const auto& a) { return a.first == name; });
        if (!kept && ::lremovexattr(path.c_str(), name.c_str()) != 0 && errno != ENODATA)
            return statusFromErrno(errno);
    }
    for (const auto& attribute : wanted) {
        if (std::find(current.begin(), current.end(), attribute) != current.end())
            continue;
        if (::lsetxattr(path.c_str(), attribute.first.c_str(), attribute.second.data(),
                        attribute.second.size(), 0) != 0)
            return statusFromErrno(errno);
    }
    return status::NoError;
}

// Gives the object at `path` the permissions, owner, access time and user attributes of
// `info`, and its modification time too when `withModificationTime` (used when undoing).
StatusCode applyInfo(const std::string& path, const ObjectInfo& info, bool withModificationTime)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return statusFromErrno(errno);

    // Giving a file away needs privilege; without it the object keeps the owner it has, as a
    // plain copy would.
    if ((st.st_uid != info.owner || st.st_gid != info.group)
        && ::lchown(path.c_str(), info.owner, info.group) != 0 && errno != EPERM)
        return statusFromErrno(errno);

    Attributes current;
    if (const StatusCode error = readAttributes(path, current))
        return error;
    if (current != info.attributes) {
        // User attributes can only be written while the owner may write the file.
        if (!(st.st_mode & S_IWUSR) && ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
            return statusFromErrno(errno);
        if (const StatusCode error = writeAttributes(path, info.attributes))
            return error;
    }

    if (::lstat(path.c_str(), &st) != 0)
        return statusFromErrno(errno);
    // Unchanged modes are not written: file systems that only emulate permissions (vfat)
    // refuse modes they cannot store.
    if ((st.st_mode & 07777) != info.mode && ::chmod(path.c_str(), info.mode) != 0)
        return statusFromErrno(errno);

    timespec times[2] = {info.accessTime, info.modificationTime};
    if (!withModificationTime)
        times[1].tv_nsec = UTIME_OMIT;
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return statusFromErrno(errno);
    return status::NoError;
}

// ---- undo ------------------------------------------------------------------------------------

// The steps done so far, undone in reverse order when a later step fails. An undo that fails
// is logged and the others still run: leaving fewer things changed is always better.
class UndoList {
public:
    void add(std::string what, std::function<StatusCode()> undo)
    {
        steps_.push_back({std::move(what), std::move(undo)});
    }
    void run()
    {
        for (auto step = steps_.rbegin(); step != steps_.rend(); ++step)
            if (const StatusCode error = step->undo())
                ZovLog("ExchangeObjectsCompat can't undo " + step->what + ": " + statusText(error));
        steps_.clear();
    }

private:
    struct Step {
        std::string what;
        std::function<StatusCode()> undo;
    };
    std::vector<Step> steps_;
};

struct Side {
    std::string path;
    std::string folder;
    std::string name;
    ObjectInfo info;
};

// Moves the object at `side.path` to a fresh temporary name in `folder`, unique in both
// folders; the no-replace rename makes the name ours even against other processes.
StatusCode moveAside(const Side& side, const std::string& folder, const std::string& otherFolder,
                     std::string& movedTo)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        std::string name;
        if (const StatusCode error = uniqueName(temporaryNameCounter(), folder, otherFolder, name))
            return error;
        const std::string target = joinPath(folder, name);
        const int error = renameNoReplace(side.path, target);
        if (error == 0) {
            movedTo = target;
            return status::NoError;
        }
        if (error != EEXIST)
            return statusFromErrno(error);
    }
    return status::DuplicateName;
}

StatusCode moveWithoutReplacing(const std::string& from, const std::string& to)
{
    const int error = renameNoReplace(from, to);
    return error ? statusFromErrno(error) : status::NoError;
}

// Exchange through the file system's own one-step swap, then give each name back its info.
// Answers OperationNotSupported, having changed nothing, when the file system cannot swap.
StatusCode systemExchange(const ExchangeTestHooks& hooks, const Side& source, const Side& destination)
{
    if (const StatusCode error = injectedFailure(hooks, ExchangeStep::SystemExchange))
        return error;
    if (::renameat2(AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.path.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno == EINVAL || errno == ENOSYS || unsupported(errno))
            return status::OperationNotSupported;
        return statusFromErrno(errno);
    }
    UndoList undo;
    undo.add("the exchange", [&] {
        return ::renameat2(AT_FDCWD, source.path.c_str(), AT_FDCWD, destination.path.c_str(), RENAME_EXCHANGE) == 0
            ? status::NoError
            : statusFromErrno(errno);
    });

    // Now the destination object sits at the source's path and the other way round.
    struct InfoStep {
        ExchangeStep step;
        const std::string& path;
        const ObjectInfo& wanted;
        const ObjectInfo& original;
    };
    const InfoStep steps[] = {
        {ExchangeStep::SetSourceObjectInfo, destination.path, destination.info, source.info},
        {ExchangeStep::SetDestinationObjectInfo, source.path, source.info, destination.info},
    };
    for (const InfoStep& s : steps) {
        // Registered first: a step that fails half way still gets its object restored.
        undo.add("the info of " + s.path, [&s] { return applyInfo(s.path, s.original, true); });
        StatusCode error = injectedFailure(hooks, s.step);
        if (!error)
            error = applyInfo(s.path, s.wanted, false);
        if (error) {
            undo.run();
            return error;
        }
    }
    return status::NoError;
}

// Exchange through temporary names, for file systems that cannot swap two names.
StatusCode fallbackExchange(const ExchangeTestHooks& hooks, const Side& source, const Side& destination)
{
    UndoList undo;
    auto fail = [&undo](StatusCode error) {
        undo.run();
        return error;
    };

    // Each object goes to a temporary name in the other's folder.
    std::string sourceAside;
    StatusCode error = injectedFailure(hooks, ExchangeStep::MoveSourceAside);
    if (!error)
        error = moveAside(source, destination.folder, source.folder, sourceAside);
    if (error)
        return fail(error);
    undo.add("the move of " + source.path, [&] { return moveWithoutReplacing(sourceAside, source.path); });

    std::string destinationAside;
    error = injectedFailure(hooks, ExchangeStep::MoveDestinationAside);
    if (!error)
        error = moveAside(destination, source.folder, destination.folder, destinationAside);
    if (error)
        return fail(error);
    undo.add("the move of " + destination.path, [&] { return moveWithoutReplacing(destinationAside, destination.path); });

    undo.add("the info of " + source.path, [&] { return applyInfo(sourceAside, source.info, true); });
    error = injectedFailure(hooks, ExchangeStep::SetSourceObjectInfo);
    if (!error)
        error = applyInfo(sourceAside, destination.info, false);
    if (error)
        return fail(error);

    undo.add("the info of " + destination.path, [&] { return applyInfo(destinationAside, destination.info, true); });
    error = injectedFailure(hooks, ExchangeStep::SetDestinationObjectInfo);
    if (!error)
        error = applyInfo(destinationAside, source.info, false);
    if (error)
        return fail(error);

    error = injectedFailure(hooks, ExchangeStep::RenameSourceObject);
    if (!error)
        error = moveWithoutReplacing(sourceAside, destination.path);
    if (error)
        return fail(error);
    undo.add("the rename to " + destination.path, [&] { return moveWithoutReplacing(destination.path, sourceAside); });

    error = injectedFailure(hooks, ExchangeStep::RenameDestinationObject);
    if (!error)
        error = moveWithoutReplacing(destinationAside, source.path);
    if (error)
        return fail(error);
    return status::NoError;
}

// Checks that the reference still names a regular file and fills in what the exchange needs.
StatusCode prepareSide(const FSRef& ref, Side& side, struct stat& st)
{
    if (ref.isNull())
        return status::ParameterError;
    if (::lstat(ref.path.c_str(), &st) != 0)
        return statusFromErrno(errno);
    if (S_ISLNK(st.st_mode))
        return status::NotAFile;
    if (st.st_dev != ref.device || st.st_ino != ref.inode)
        return status::NoSuchObject;
    side.path = ref.path;
    side.folder = parentFolderPath(ref.path);
    side.name = lastPathComponent(ref.path);
    return status::NoError;
}

} // namespace

std::atomic<std::uint32_t>& temporaryNameCounter()
{
    static std::atomic<std::uint32_t> counter = [] {
        std::uint32_t seed = 0;
        if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != sizeof seed)
            seed = std::uint32_t(::getpid()) << 12;
        return seed;
    }();
    return counter;
}

StatusCode MakeUniqueTemporaryName(std::atomic<std::uint32_t>& counter, const FSRef& firstFolder,
                                   const FSRef& secondFolder, std::string& name)
{
    if (const StatusCode error = verifyFSRef(firstFolder))
        return error;
    if (const StatusCode error = verifyFSRef(secondFolder))
        return error;
    return uniqueName(counter, firstFolder.path, secondFolder.path, name);
}

StatusCode MakeUniqueTemporaryName(const FSRef& firstFolder, const FSRef& secondFolder, std::string& name)
{
    return MakeUniqueTemporaryName(temporaryNameCounter(), firstFolder, secondFolder, name);
}

StatusCode ExchangeObjectsCompat(const FSRef& source, const FSRef& destination, FSRef* newSource,
                                 FSRef* newDestination)
{
    if (!newSource || !newDestination)
        return status::ParameterError;
    *newSource = source;
    *newDestination = destination;

    Side sourceSide;
    Side destinationSide;
    struct stat sourceStat {};
    struct stat destinationStat {};
    if (const StatusCode error = prepareSide(source, sourceSide, sourceStat))
        return error;
    if (const StatusCode error = prepareSide(destination, destinationSide, destinationStat))
        return error;
    if (sourceStat.st_dev != destinationStat.st_dev)
        return status::DifferentVolumes;
    if (!S_ISREG(sourceStat.st_mode) || !S_ISREG(destinationStat.st_mode))
        return status::NotAFile;
    if (sourceStat.st_ino == destinationStat.st_ino)
        return status::NoError; // two names of one file: nothing to exchange

    if (const StatusCode error = readInfo(sourceSide.path, sourceSide.info))
        return error;
    if (const StatusCode error = readInfo(destinationSide.path, destinationSide.info))
        return error;

    const ExchangeTestHooks hooks = currentHooks();
    StatusCode error = status::OperationNotSupported;
    if (!hooks.forceFallback)
        error = systemExchange(hooks, sourceSide, destinationSide);
    if (error == status::OperationNotSupported)
        error = fallbackExchange(hooks, sourceSide, destinationSide);
    if (error)
        return error;

    // Each path now holds the other object.
    newSource->device = destination.device;
    newSource->inode = destination.inode;
    newDestination->device = source.device;
    newDestination->inode = source.inode;
    return status::NoError;
}

ScopedExchangeTestHooks::ScopedExchangeTestHooks(ExchangeTestHooks hooks)
{
    std::lock_guard lock(hooksMutex());
    previous_ = std::exchange(installedHooks(), std::move(hooks));
}

ScopedExchangeTestHooks::~ScopedExchangeTestHooks()
{
    std::lock_guard lock(hooksMutex());
    installedHooks() = std::move(previous_);
}

} // namespace vistel
