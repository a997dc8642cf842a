#pragma once
// ZovTranslatorCocoaBackend, key "cocoa": reads and writes string tables (".strings", UTF-8)
// and owns the key format under which the run-time lookup finds translations.
//
// Saving merges: the translations already in the file being replaced are kept for every text
// still in the tree. The new file replaces the old one only when it is complete (temporary
// file and rename); an old file that cannot be read or parsed makes the save fail and stays
// as it was, so no translator's work is lost.
//
// Output is deterministic: classes, categories (the main one first), methods and texts in the
// tree's order; the header's date comes from a replaceable clock.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "StringsFile.h"
#include "ZovClass.h"
#include "ZovTranslatorData.h"

namespace vistel {

// Save options (keys of the options dictionary) and the comment levels.
inline constexpr const char* ZovTranslatorCocoaBackendSaveCategoryOption = "ZovTranslatorCocoaBackendSaveCategoryOption";
inline constexpr const char* ZovTranslatorCocoaBackendCommentsLevelOption = "ZovTranslatorCocoaBackendCommentsLevelOption";
inline constexpr const char* ZovTranslatorCocoaBackendCommentsLevelNone = "ZovTranslatorCocoaBackendCommentsLevelNone";
inline constexpr const char* ZovTranslatorCocoaBackendCommentsLevelMinimum = "ZovTranslatorCocoaBackendCommentsLevelMinimum";
inline constexpr const char* ZovTranslatorCocoaBackendCommentsLevelAll = "ZovTranslatorCocoaBackendCommentsLevelAll";

class ZovTranslatorCocoaBackend {
    ZOV_ROOT_CLASS(ZovTranslatorCocoaBackend)
public:
    static constexpr const char* ClassName = "ZovTranslatorCocoaBackend";
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static std::string keyForClass(std::string_view cls, std::string_view category, std::string_view method,
                                   std::string_view context, std::string_view source);

    static std::string key() { return "cocoa"; }
    static std::string description();
    static std::optional<ZovTranslatorError> lastError() { return std::nullopt; }
    // Options are ignored.
    static bool load(Ref<ZovTranslatorData>& data, const std::string& path, const Value& options);
    // Raises "Invalid argument for option: <key>" for a malformed option, before any file is touched.
    static bool save(const Ref<ZovTranslatorData>& data, const std::string& path, const Value& options);

    // Parses a preprocessed string table into `data`; entries read before a failure stay.
    static bool parsePreprocessedBodyString(ZovTranslatorData& data, std::u16string_view text);
    // The text save() would write (options already validated by save()).
    static std::string tableText(const ZovTranslatorData& data, const StringsDictionary* existing,
                                 bool saveCategory, int commentsLevel);

    // The clock of the header date; an empty function restores the system clock.
    static void setClock(Clock clock);
    // "2026-12-09 23:17:17 +0000": the date in the local time zone, as the header shows it.
    static std::string headerDate(std::chrono::system_clock::time_point when);
};

} // namespace vistel
