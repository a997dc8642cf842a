#pragma once
// UserDefaults: the program's preferences store.
//
// Two layers answer a read: the values the user (or the program) stored, and below them the
// registered defaults. Registered defaults live in memory only and are never written to disk;
// registering again replaces them. A key may be dotted ("ThumbnailStyle.Size"): its value is
// kept as entry "Size" of the dictionary "ThumbnailStyle", on disk as well, and each layer is
// looked up along the whole path.
//
// Stored values are saved as an XML property list (a dictionary) by synchronize(), through
// writeFileAtomically: the file always holds either the old or the new contents, even if the
// process is killed while saving. A file that cannot be read is set aside as "<file>.damaged"
// on the next save; until then the registered defaults answer, and nothing crashes.
//
// Thread safety: every member may be called from any thread. Reads take a shared lock and copy
// one value (storage is shared, so the copy is cheap), which is what lets the thumbnail
// updater ask a preference on every call. Observers are called on the thread that made the
// change, after the change is visible, without any lock of the defaults held, so an observer
// may read or write the defaults itself.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "Platform/Value.h"

namespace vistel {

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
std::string configurationFolder();
// The "Application Support" folder: $XDG_DATA_HOME, or ~/.local/share.
std::string applicationSupportFolder();
// The user's download folder: XDG_DOWNLOAD_DIR from <configuration folder>/user-dirs.dirs
// ("$HOME/..." or an absolute path), else ~/Downloads. Not created here.
std::string downloadsFolder();
// <configuration folder>/Vistel/<bundle identifier>.plist
std::string preferencesPath(std::string_view bundleIdentifier);

class UserDefaults {
public:
    static constexpr const char* DefaultBundleIdentifier = "com.ZovSystems.Vistel";

    // The process-wide defaults. On first use they read preferencesPath(identifier), where
    // identifier is the one given to setStandardBundleIdentifier() before that, or
    // DefaultBundleIdentifier.
    static UserDefaults& standard();
    // Chooses the file of the standard defaults. Called once at start-up with the main
    // bundle's identifier; when the standard defaults are already in use they switch to the
    // new file (see setPath()).
    static void setStandardBundleIdentifier(std::string_view bundleIdentifier);

    // Defaults kept in `path`; the file is read now if it exists. An empty path keeps
    // everything in memory (synchronize() then has nothing to do).
    explicit UserDefaults(std::string path);
    // Saves unsaved changes.
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    std::string path() const;
    // Saves unsaved changes to the old file, then reads the stored values from `path`;
    // observers hear of every key whose value differs afterwards.
    void setPath(std::string path);

    // Registers defaults: each key of `dictionary` (dotted keys allowed) gets its value in the
    // registered layer, replacing an earlier registration of the same key.
    void registerDefaults(const Value& dictionary);

    // The stored value of `key`, else the registered one, else null. Where both layers hold a
    // dictionary, the stored entries are laid over the registered ones (recursively), so that a
    // group reads the same as its dotted keys do.
    Value objectForKey(std::string_view key) const;
    // Typed reads. Numbers convert among themselves; strings such as "YES", "true", "42",
    // "0.5" are understood as the platform's defaults understand them; anything else, or an
    // absent key, answers false / 0 / an empty value.
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }
    std::string stringForKey(std::string_view key) const; // strings only; numbers answer ""
    Value arrayForKey(std::string_view key) const;         // an array, else null
    Value dictionaryForKey(std::string_view key) const;    // a dictionary, else null
    Value::Bytes dataForKey(std::string_view key) const;

    // Stores `value` under `key`; a null value removes the key. A value without a property-list
    // form (an object reference, a null inside a container) is refused and logged. Observers of the key (and of
    // keys above or below it in the dotted path) hear of it if the value they read changed.
    void setObject(Value value, std::string_view key);
    void setBool(bool value, std::string_view key) { setObject(Value(value), key); }
    void setInteger(std::int64_t value, std::string_view key) { setObject(Value(static_cast<long long>(value)), key); }
    void setDouble(double value, std::string_view key) { setObject(Value(value), key); }
    void removeObjectForKey(std::string_view key) { setObject(Value(), key); }

    // The stored layer as one dictionary (what synchronize() writes), and the registered one.
    Value storedValues() const;
    Value registeredDefaults() const;

    // Writes the stored values when they changed since the last save. Answers false when the
    // file could not be written (the reason is logged); the changes stay unsaved then.
    bool synchronize();
    bool hasUnsavedChanges() const;

    // Observers. `callback(key, newValue)` runs once for each change of the value that
    // objectForKey(key) answers. After removeObserver() returns no new call starts.
    using ObserverCallback = std::function<void(const std::string& key, const Value& newValue)>;
    using ObserverToken = std::uint64_t;
    ObserverToken addObserver(std::string_view key, ObserverCallback callback);
    void removeObserver(ObserverToken token);

private:
    struct Observer;
    struct Change;

    Value effectiveValue(const Value& stored, const Value& registered, std::string_view key) const;
    // Applies `mutate` to the two layers under the write lock and tells the observers whose
    // value changed.
    template <class Mutation>
    void change(Mutation&& mutate);
    Value readFile(const std::string& path, bool& damaged) const;
    bool writeFile(const std::string& path, const Value& values);

    mutable std::shared_mutex mutex_; // guards the fields below
    std::string path_;
    Value stored_ {Value::DictionaryType()};
    Value registered_ {Value::DictionaryType()};
    std::uint64_t generation_ = 0; // bumped by every stored change
    std::uint64_t savedGeneration_ = 0;
    bool fileDamaged_ = false;

    std::mutex saveMutex_; // one save at a time

    mutable std::mutex observersMutex_;
    std::map<ObserverToken, std::shared_ptr<Observer>> observers_;
    ObserverToken nextToken_ = 1;
};

} // namespace vistel
