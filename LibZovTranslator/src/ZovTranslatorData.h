#pragma once
// The localiser's translation tree and the registry of its backends.
//
// A tree holds classes -> categories -> methods -> an ordered set of source texts, plus the
// "free" sources that belong to no class. Backends fill a tree from a file (string table,
// Objective-C source, project) and the string-table backend writes one out.
//
// Order: classes, categories, methods and sources keep the order in which they were first
// added, so that a table written from the same input is the same byte for byte.
//
// A tree is not thread-safe; each is used by one thread at a time. The registry is built once
// and immutable.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

// One translatable text. `string` is the text exactly as written between the quotes of the
// file it came from (escapes stay as written); context and comment are never absent ("").
class ZovTranslatorSource : public Object {
public:
    static Ref<ZovTranslatorSource> sourceWithString(std::string string, std::optional<std::string> context,
                                                     std::optional<std::string> comment,
                                                     std::optional<std::string> value);
    const std::string& string() const noexcept { return string_; }
    const std::string& context() const noexcept { return context_; }
    const std::string& comment() const noexcept { return comment_; }
    const std::optional<std::string>& value() const noexcept { return value_; }
    // ZovTranslatorSource:"<string>"="<value>"	[<context>]
    std::string description() const;

private:
    ZovTranslatorSource() = default;
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string string_;
    std::string context_;
    std::string comment_;
    std::optional<std::string> value_;
};

// Key of a source within a set: the string and the (possibly absent) context.
struct ZovTranslatorSourceHash {
    std::string string;
    std::optional<std::string> context;

    static ZovTranslatorSourceHash sourceHashWithString(std::string string, std::optional<std::string> context)
    {
        return {std::move(string), std::move(context)};
    }
    std::size_t hash() const noexcept;
    friend bool operator==(const ZovTranslatorSourceHash&, const ZovTranslatorSourceHash&) = default;
};

struct ZovTranslatorSourceHashHasher {
    std::size_t operator()(const ZovTranslatorSourceHash& key) const noexcept { return key.hash(); }
};

// An ordered set of sources without duplicate (string, context).
class ZovTranslatorSourceSet {
public:
    static ZovTranslatorSourceSet sourceSet() { return {}; }
    const std::vector<Ref<ZovTranslatorSource>>& sources() const noexcept { return sourcesOrder_; }
    // A new key is appended. For a known key a source with a value replaces the old one at
    // its position; a source without a value changes nothing.
    void addSource(const Ref<ZovTranslatorSource>& source);

private:
    std::unordered_map<ZovTranslatorSourceHash, std::size_t, ZovTranslatorSourceHashHasher> sources_;
    std::vector<Ref<ZovTranslatorSource>> sourcesOrder_;
};

class ZovTranslatorClassMethod : public Object {
public:
    static Ref<ZovTranslatorClassMethod> methodWithName(std::string name);
    const std::string& name() const noexcept { return name_; }
    const std::vector<Ref<ZovTranslatorSource>>& sources() const noexcept { return sources_.sources(); }
    void addSource(const Ref<ZovTranslatorSource>& source) { sources_.addSource(source); }
    std::string description() const;

private:
    explicit ZovTranslatorClassMethod(std::string name) : name_(std::move(name)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string name_;
    ZovTranslatorSourceSet sources_;
};

// Children kept by name in the order first added.
template <class T>
class ZovNamedList {
public:
    const std::vector<Ref<T>>& items() const noexcept { return order_; }
    Ref<T> find(std::string_view name) const
    {
        auto found = index_.find(std::string(name));
        return found == index_.end() ? nullptr : order_[found->second];
    }
    template <class Make>
    Ref<T> findOrAdd(const std::string& name, Make make)
    {
        auto found = index_.find(name);
        if (found != index_.end())
            return order_[found->second];
        index_.emplace(name, order_.size());
        order_.push_back(make(name));
        return order_.back();
    }

private:
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<Ref<T>> order_;
};

class ZovTranslatorClassCategory : public Object {
public:
    static Ref<ZovTranslatorClassCategory> categoryWithName(std::string name);
    const std::string& name() const noexcept { return name_; } // "" for the main implementation
    const std::vector<Ref<ZovTranslatorClassMethod>>& methods() const noexcept { return methods_.items(); }
    // The method of that name, appended when new.
    Ref<ZovTranslatorClassMethod> addMethod(const std::string& name);
    std::string description() const;

private:
    explicit ZovTranslatorClassCategory(std::string name) : name_(std::move(name)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string name_;
    ZovNamedList<ZovTranslatorClassMethod> methods_;
};

class ZovTranslatorClass : public Object {
public:
    static Ref<ZovTranslatorClass> classWithName(std::string name);
    const std::string& name() const noexcept { return name_; }
    // In the order first added.
    const std::vector<Ref<ZovTranslatorClassCategory>>& categories() const noexcept { return categories_.items(); }
    Ref<ZovTranslatorClassCategory> category(std::string_view name) const { return categories_.find(name); }
    Ref<ZovTranslatorClassCategory> addCategory(const std::string& name);

private:
    explicit ZovTranslatorClass(std::string name) : name_(std::move(name)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string name_;
    ZovNamedList<ZovTranslatorClassCategory> categories_;
};

class ZovTranslatorData;

// The failure a backend reports through lastError (domain, code, message).
struct ZovTranslatorError {
    std::string domain;
    int code = 0;
    std::string localizedDescription;
};

// A backend "class": the class methods every backend provides. Backends are classes with
// static members; backendClassOf<B>() makes their entry, so a backend that lacks one of the
// members does not compile.
struct ZovTranslatorBackendClass {
    const char* className;
    std::string (*key)();
    std::string (*description)();
    std::optional<ZovTranslatorError> (*lastError)();
    // A reading backend first sets `data` to a new empty tree; after a failure it holds what
    // was read so far.
    bool (*load)(Ref<ZovTranslatorData>& data, const std::string& path, const Value& options);
    bool (*save)(const Ref<ZovTranslatorData>& data, const std::string& path, const Value& options);
};

template <class Backend>
const ZovTranslatorBackendClass& backendClassOf()
{
    static const ZovTranslatorBackendClass entry {Backend::ClassName, &Backend::key, &Backend::description,
                                                  &Backend::lastError, &Backend::load, &Backend::save};
    return entry;
}

class ZovTranslatorData : public Object {
public:
    static Ref<ZovTranslatorData> translatorData();

    const std::vector<Ref<ZovTranslatorClass>>& classes() const noexcept { return classes_.items(); }
    Ref<ZovTranslatorClass> findClass(std::string_view name) const { return classes_.find(name); }
    const std::vector<Ref<ZovTranslatorSource>>& freeSources() const noexcept { return freeSources_.sources(); }
    Ref<ZovTranslatorClass> addClass(const std::string& name);
    void addFreeSource(const Ref<ZovTranslatorSource>& source) { freeSources_.addSource(source); }
    // Merges `other` in: its free sources, then its classes, categories, methods and sources
    // in order, by the rules of ZovTranslatorSourceSet::addSource.
    void addTranslatorData(const ZovTranslatorData& other);

    // The backends in registration order: cocoa, pbx, source, self.
    static const std::vector<const ZovTranslatorBackendClass*>& availableBackends();
    // The backend of that key, or null.
    static const ZovTranslatorBackendClass* backendForKey(std::string_view key);

    // Builds a registry from a list (the registry itself uses the fixed list above). Raises
    // "Backend with key '%@' already exists" for a duplicate key.
    static std::vector<const ZovTranslatorBackendClass*> registerBackends(
        const std::vector<const ZovTranslatorBackendClass*>& backends);

private:
    ZovTranslatorData() = default;
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    ZovNamedList<ZovTranslatorClass> classes_;
    ZovTranslatorSourceSet freeSources_;
};

} // namespace vistel
