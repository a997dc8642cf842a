#include "Platform/UserDefaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <vector>

#include "Platform/AtomicFileWriter.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/tmp";
}

// XDG base directories: the variable when it holds an absolute path, else the fallback.
std::string xdgFolder(const char* variable, const char* fallbackUnderHome)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    return homeFolder() + "/" + fallbackUnderHome;
}

std::string errnoText(int error)
{
    return std::strerror(error);
}

// mkdir -p with private folders (preferences are nobody else's business).
bool makeFolders(const std::string& folder)
{
    if (folder.empty())
        return true;
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const std::string parent = parentFolderPath(folder);
    if (parent != folder && !makeFolders(parent))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string lowercase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trimmedSpace(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// Leading number of a string, as the platform's defaults read numbers stored as text.
double stringAsDouble(std::string_view text)
{
    text = trimmedSpace(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::int64_t stringAsInteger(std::string_view text)
{
    text = trimmedSpace(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range)
        return text.front() == '-' ? std::numeric_limits<std::int64_t>::min()
                                   : std::numeric_limits<std::int64_t>::max();
    if (ec != std::errc())
        return 0;
    if (end != text.data() + text.size() && *end == '.') {
        // "2.5" reads as 2; "5.1e300" saturates instead of overflowing the conversion.
        const double real = stringAsDouble(text);
        if (std::isnan(real))
            return 0;
        if (real >= 9223372036854775807.0)
            return std::numeric_limits<std::int64_t>::max();
        if (real <= -9223372036854775808.0)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(real);
    }
    return value;
}

// Same type and equal: a stored integer 1 replaced by a boolean true is a change on disk
// even though the two compare equal as numbers.
bool identical(const Value& a, const Value& b)
{
    return a.type() == b.type() && a == b;
}

std::mutex& standardMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::string& standardIdentifier()
{
    static std::string identifier = UserDefaults::DefaultBundleIdentifier;
    return identifier;
}
std::atomic<bool> standardCreated {false};

} // namespace

std::string configurationFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string applicationSupportFolder()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string downloadsFolder()
{
    const std::string home = homeFolder();
    std::ifstream dirs(configurationFolder() + "/user-dirs.dirs");
    std::string line;
    while (std::getline(dirs, line)) {
        constexpr std::string_view key = "XDG_DOWNLOAD_DIR=\"";
        if (line.compare(0, key.size(), key) != 0)
            continue;
        const std::size_t end = line.find('"', key.size());
        if (end == std::string::npos)
            break;
        std::string value = line.substr(key.size(), end - key.size());
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/' && value.find("..") == std::string::npos &&
            stripTrailingSlashes(value) != stripTrailingSlashes(home))
            return stripTrailingSlashes(value);
        break;
    }
    return home + "/Downloads";
}

std::string preferencesPath(std::string_view bundleIdentifier)
{
    return configurationFolder() + "/Vistel/" + std::string(bundleIdentifier) + ".plist";
}

// An observer may be removed from its own callback (the lock is recursive); removal from
// another thread waits for a running call to end, so the callback's captures may go away as
// soon as removeObserver() returns.
struct UserDefaults::Observer {
    std::string key;
    ObserverCallback callback;
    std::recursive_mutex callMutex;
    bool active = true; // guarded by callMutex
};

UserDefaults& UserDefaults::standard()
{
    static UserDefaults* instance = [] {
        std::lock_guard lock(standardMutex());
        // Never destroyed: other objects may use the defaults while the process exits.
        // Unsaved changes are written by an exit handler instead.
        auto* defaults = new UserDefaults(preferencesPath(standardIdentifier()));
        standardCreated = true;
        std::atexit([] { UserDefaults::standard().synchronize(); });
        return defaults;
    }();
    return *instance;
}

void UserDefaults::setStandardBundleIdentifier(std::string_view bundleIdentifier)
{
    {
        std::lock_guard lock(standardMutex());
        standardIdentifier() = std::string(bundleIdentifier);
        if (!standardCreated)
            return;
    }
    standard().setPath(preferencesPath(bundleIdentifier));
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path))
{
    if (!path_.empty())
        stored_ = readFile(path_, fileDamaged_);
}

UserDefaults::~UserDefaults()
{
    try {
        synchronize();
    } catch (const std::exception& error) {
        ZovLog(std::string("UserDefaults::~UserDefaults can't save: ") + error.what());
    }
}

std::string UserDefaults::path() const
{
    std::shared_lock lock(mutex_);
    return path_;
}

void UserDefaults::setPath(std::string path)
{
    synchronize();
    std::lock_guard saveLock(saveMutex_);
    bool damaged = false;
    Value values = path.empty() ? Value(Value::DictionaryType()) : readFile(path, damaged);
    change([&](Value& stored, Value&) {
        path_ = std::move(path);
        fileDamaged_ = damaged;
        stored = std::move(values);
        savedGeneration_ = generation_ + 1; // what is in memory now is what the new file holds
        return true;
    });
}

Value UserDefaults::readFile(const std::string& path, bool& damaged) const
{
    damaged = false;
    // Non-blocking, so that a FIFO put in the file's place cannot hang the open; only a
    // regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT)
            ZovLog("UserDefaults::readFile can't open " + path + ": " + errnoText(errno));
        return Value(Value::DictionaryType());
    }
    // No preferences file is anywhere near this size: a larger one is damaged or hostile, and is
    // set aside unread. The property-list reader bounds the cost of what is smaller.
    constexpr off_t MaxPreferencesFileSize = off_t(16) << 20;
    auto unreadable = [&](const std::string& reason) {
        ZovLog("UserDefaults::readFile can't read " + path + ": " + reason);
        ::close(fd);
        damaged = true;
        return Value(Value::DictionaryType());
    };
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return unreadable("not a regular file");
    if (info.st_size > MaxPreferencesFileSize)
        return unreadable("larger than 16 MiB");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        if (bytes.size() > std::size_t(MaxPreferencesFileSize))
            return unreadable("larger than 16 MiB"); // grew while being read
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return unreadable(errnoText(errno));
        }
        if (count == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    std::string error;
    auto values = Value::fromXmlPropertyList(bytes, &error);
    if (values && !values->isDictionary())
        error = "the property list is not a dictionary";
    if (!values || !values->isDictionary()) {
        ZovLog("UserDefaults::readFile damaged preferences " + path + ": " + error);
        damaged = true;
        return Value(Value::DictionaryType());
    }
    return std::move(*values);
}

void UserDefaults::registerDefaults(const Value& dictionary)
{
    change([&](Value&, Value& registered) {
        for (const auto& [key, value] : dictionary.asDictionary())
            registered.setPath(key, value);
        return false;
    });
}

namespace {

// Stored entries over registered ones, recursively through dictionaries on both sides.
Value merged(const Value& stored, const Value& registered)
{
    if (!stored.isDictionary() || !registered.isDictionary())
        return stored;
    Value result = registered;
    auto& entries = result.mutableDictionary();
    for (const auto& [key, value] : stored.asDictionary()) {
        auto it = entries.find(key);
        if (it == entries.end())
            entries.emplace(key, value);
        else
            it->second = merged(value, it->second);
    }
    return result;
}

} // namespace

Value UserDefaults::effectiveValue(const Value& stored, const Value& registered, std::string_view key) const
{
    const Value& value = stored.getPath(key);
    if (value.isNull())
        return registered.getPath(key);
    if (value.isDictionary())
        return merged(value, registered.getPath(key));
    return value;
}

Value UserDefaults::objectForKey(std::string_view key) const
{
    std::shared_lock lock(mutex_);
    return effectiveValue(stored_, registered_, key);
}

bool UserDefaults::boolForKey(std::string_view key) const
{
    const Value value = objectForKey(key);
    if (value.isString()) {
        const std::string text = lowercase(trimmedSpace(value.asString()));
        return text == "yes" || text == "true" || stringAsInteger(text) != 0;
    }
    return value.toBool(false);
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const
{
    const Value value = objectForKey(key);
    if (value.isString())
        return stringAsInteger(value.asString());
    return value.toInt64(0);
}

double UserDefaults::doubleForKey(std::string_view key) const
{
    const Value value = objectForKey(key);
    if (value.isString())
        return stringAsDouble(value.asString());
    return value.toDouble(0);
}

std::string UserDefaults::stringForKey(std::string_view key) const
{
    return objectForKey(key).toString();
}

Value UserDefaults::arrayForKey(std::string_view key) const
{
    Value value = objectForKey(key);
    return value.isArray() ? value : Value();
}

Value UserDefaults::dictionaryForKey(std::string_view key) const
{
    Value value = objectForKey(key);
    return value.isDictionary() ? value : Value();
}

Value::Bytes UserDefaults::dataForKey(std::string_view key) const
{
    return objectForKey(key).asData();
}

void UserDefaults::setObject(Value value, std::string_view key)
{
    // Refused here rather than at the next save, where it would block every later save.
    if (!value.isNull() && !value.toXmlPropertyList()) {
        ZovLog("UserDefaults::setObject attempt to insert a non-property-list value for key " + std::string(key));
        return;
    }
    change([&](Value& stored, Value&) {
        if (value.isNull())
            return stored.removePath(key);
        if (identical(stored.getPath(key), value))
            return false;
        stored.setPath(key, std::move(value));
        return true;
    });
}

template <class Mutation>
void UserDefaults::change(Mutation&& mutate)
{
    Value oldStored, oldRegistered, newStored, newRegistered;
    {
        std::unique_lock lock(mutex_);
        oldStored = stored_;
        oldRegistered = registered_;
        if (mutate(stored_, registered_))
            ++generation_;
        newStored = stored_;
        newRegistered = registered_;
    }
    std::vector<std::shared_ptr<Observer>> observers;
    {
        std::lock_guard lock(observersMutex_);
        observers.reserve(observers_.size());
        for (const auto& [token, observer] : observers_)
            observers.push_back(observer);
    }
    for (const auto& observer : observers) {
        const Value before = effectiveValue(oldStored, oldRegistered, observer->key);
        const Value after = effectiveValue(newStored, newRegistered, observer->key);
        if (before == after) // numbers compare by value: 128 and 128.0 are no change to a reader
            continue;
        std::lock_guard callLock(observer->callMutex);
        if (!observer->active)
            continue;
        try {
            observer->callback(observer->key, after);
        } catch (const std::exception& error) {
            ZovLog("UserDefaults::change observer of " + observer->key + " failed: " + error.what());
        }
    }
}

Value UserDefaults::storedValues() const
{
    std::shared_lock lock(mutex_);
    return stored_;
}

Value UserDefaults::registeredDefaults() const
{
    std::shared_lock lock(mutex_);
    return registered_;
}

bool UserDefaults::hasUnsavedChanges() const
{
    std::shared_lock lock(mutex_);
    return generation_ != savedGeneration_;
}

bool UserDefaults::synchronize()
{
    std::lock_guard saveLock(saveMutex_);
    std::string path;
    Value values;
    std::uint64_t generation;
    {
        std::shared_lock lock(mutex_);
        if (generation_ == savedGeneration_ || path_.empty())
            return true;
        path = path_;
        values = stored_;
        generation = generation_;
    }
    if (!writeFile(path, values))
        return false;
    std::unique_lock lock(mutex_);
    if (path_ == path)
        savedGeneration_ = generation;
    return true;
}

bool UserDefaults::writeFile(const std::string& path, const Value& values)
{
    const auto xml = values.toXmlPropertyList();
    if (!xml) {
        ZovLog("UserDefaults::synchronize can't write " + path + ": a value has no property-list form");
        return false;
    }
    const std::string folder = parentFolderPath(path);
    if (!makeFolders(folder)) {
        ZovLog("UserDefaults::synchronize can't make folder " + folder + ": " + errnoText(errno));
        return false;
    }
    bool damaged;
    {
        std::shared_lock lock(mutex_);
        damaged = fileDamaged_;
    }
    if (damaged) {
        // Keep what could not be read for the user to recover, instead of overwriting it. The
        // rename is relative to the folder and the name is cut to leave room for ".damaged",
        // so that the longest paths and names are kept aside too.
        const std::string name = lastPathComponent(path);
        const std::string aside = name.substr(0, std::min<std::size_t>(name.size(), NAME_MAX - 8)) + ".damaged";
        const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool keptAside = folderFd >= 0 && ::renameat(folderFd, name.c_str(), folderFd, aside.c_str()) == 0;
        const int error = keptAside ? 0 : errno;
        if (folderFd >= 0)
            ::close(folderFd);
        if (keptAside) {
            ZovLog("UserDefaults::synchronize kept the damaged preferences as " + joinPath(folder, aside));
        } else if (error != ENOENT) {
            ZovLog("UserDefaults::synchronize can't keep the damaged preferences " + path + " aside: " + errnoText(error));
            return false;
        }
        std::unique_lock lock(mutex_);
        fileDamaged_ = false;
    }

    // Private, as the folder is: preferences are nobody else's business.
    AtomicWriteOptions options;
    options.newFileMode = 0600;
    if (const AtomicWriteResult result = writeFileAtomically(path, *xml, options); !result) {
        ZovLog("UserDefaults::synchronize " + result.cause);
        return false;
    }
    return true;
}

UserDefaults::ObserverToken UserDefaults::addObserver(std::string_view key, ObserverCallback callback)
{
    auto observer = std::make_shared<Observer>();
    observer->key = std::string(key);
    observer->callback = std::move(callback);
    std::lock_guard lock(observersMutex_);
    const ObserverToken token = nextToken_++;
    observers_.emplace(token, std::move(observer));
    return token;
}

void UserDefaults::removeObserver(ObserverToken token)
{
    std::shared_ptr<Observer> observer;
    {
        std::lock_guard lock(observersMutex_);
        auto it = observers_.find(token);
        if (it == observers_.end())
            return;
        observer = std::move(it->second);
        observers_.erase(it);
    }
    std::lock_guard callLock(observer->callMutex);
    observer->active = false;
}

} // namespace vistel
