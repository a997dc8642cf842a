#pragma once
// ZovTranslatorManager: the one shared translator of user-visible texts.
//
// Every text the program shows is written in English at its call site and passed, with the
// class of the object that shows it and the Objective-C selector of the calling method, to
// translate(). In "cocoa" mode the text is looked up in the main bundle's string table under
//   [class]<class>__[category]__[method]<selector>__[context]__[source]<English text>
// for the class and then each superclass up to NSObject; the first entry found wins, and an
// empty or missing translation shows the English text. In "self" mode (the mode of a new
// manager, until the application selects "cocoa" at start-up) the English text is shown.
//
// Threads: translate() may be called from any thread at any time. The mode and the string
// tables are swapped atomically; a table is immutable once loaded.
//
// Call sites use the macros at the end of this header:
//   ZOV_TRANSLATE("Places", "awakeFromNib")                          // in a member function
//   ZOV_TRANSLATE_CLASS("Picture Frame", "deviceCategory")           // in a static member
//   ZOV_TRANSLATE_AS(SomeClass::staticZovClass(), "text", "sel:")    // anywhere else

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Object.h"
#include "ZovClass.h"

namespace vistel {

class LocalizedStrings;

// The lookup modes' keys.
inline constexpr const char* ZovTranslatorBackend_Cocoa = "cocoa";
inline constexpr const char* ZovTranslatorBackend_Self = "self";

// Kept by the manager's translator list; it translates nothing.
class ZovTranslator : public Object {
public:
    static Ref<ZovTranslator> translatorWithData(std::string data);
    // Null when the file cannot be read.
    static Ref<ZovTranslator> translatorWithContentsOfFile(const std::string& path);

    const std::string& data() const noexcept { return data_; }
    // Always the empty string.
    std::string translate(std::string_view source) const;

private:
    explicit ZovTranslator(std::string data) : data_(std::move(data)) { }
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);
    std::string data_;
};

class ZovTranslatorManager : public Object {
public:
    // Passed as the value for a missing key; never shown.
    static constexpr std::string_view NotFoundMarker = "!@#$%^&*+_)(*&^%$#@!";

    // The process-wide manager, made on first use.
    static ZovTranslatorManager& defaultTranslatorManager();
    // A new manager in mode "self" with no translators.
    static Ref<ZovTranslatorManager> translatorManager();

    std::string currentBackend() const;
    // "cocoa" or "self"; any other key raises "Invalid backend key" and keeps the mode.
    void setCurrentBackend(std::string_view key);

    std::string translate(std::string_view source, const ZovClass& cls, std::string_view selector) const;
    // File and line are accepted for the call-site macros and not used.
    std::string translate(std::string_view source, const ZovClass& cls, std::string_view selector,
                          const char* file, int lineNumber) const;

    void addTranslator(Ref<ZovTranslator> translator, const void* bundle = nullptr);
    void removeTranslator(const Ref<ZovTranslator>& translator);
    std::vector<Ref<ZovTranslator>> translators() const;

    // The string table lookups go to. By default the main bundle's table for the user's
    // language, loaded on the first lookup in "cocoa" mode; tests and tools set their own.
    void setStringTables(std::shared_ptr<const LocalizedStrings> tables);
    std::shared_ptr<const LocalizedStrings> stringTables() const;

    // Key format of the string tables (also used by the string-table backend).
    static std::string keyForClass(std::string_view cls, std::string_view category, std::string_view method,
                                   std::string_view context, std::string_view source);

    ~ZovTranslatorManager() override;

private:
    ZovTranslatorManager() = default;
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    mutable std::mutex translatorsLock_;
    std::vector<Ref<ZovTranslator>> translators_;
    std::atomic<std::int32_t> backendType_ {1}; // 0 string tables ("cocoa"), 1 none ("self")
    mutable std::atomic<std::shared_ptr<const LocalizedStrings>> tables_;
    mutable std::once_flag defaultTablesOnce_;
};

} // namespace vistel

// Translates an English text of the calling object (a member function of a class that
// declares ZOV_ROOT_CLASS or ZOV_CLASS). `selector` is the calling method's Objective-C
// selector with its colons, "showFileError:operationType:source:destination:".
#define ZOV_TRANSLATE(text, selector)                                                       \
    (::vistel::ZovTranslatorManager::defaultTranslatorManager().translate(                  \
        (text), this->zovClass(), (selector), __FILE__, __LINE__))

// The same in a static member function: the class itself is the context.
#define ZOV_TRANSLATE_CLASS(text, selector)                                                 \
    (::vistel::ZovTranslatorManager::defaultTranslatorManager().translate(                  \
        (text), staticZovClass(), (selector), __FILE__, __LINE__))

// The same with an explicit class descriptor (free functions, category functions).
#define ZOV_TRANSLATE_AS(zovClassRef, text, selector)                                       \
    (::vistel::ZovTranslatorManager::defaultTranslatorManager().translate(                  \
        (text), (zovClassRef), (selector), __FILE__, __LINE__))
