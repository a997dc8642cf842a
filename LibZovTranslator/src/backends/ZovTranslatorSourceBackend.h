#pragma once
// ZovTranslatorSourceBackend, key "source": finds the translatable texts of one Objective-C
// implementation file. For each class implementation and category, each method, the string
// literals passed to ZovTranslate(@"...") and ZovTranslateWithComment(@"...", @"...") in the
// method's body become sources of that class, category and method (selector with colons).
//
// The text is untrusted: every step is bounds-checked, and a malformed file fails the load
// with what was read before the fault kept in the tree.
//
// The last load error is process-wide (guarded by a lock), kept until the next failure.

#include <optional>
#include <string>
#include <string_view>

#include "ZovClass.h"
#include "ZovTranslatorData.h"

namespace vistel {

class ZovTranslatorSourceBackend {
    ZOV_ROOT_CLASS(ZovTranslatorSourceBackend)
public:
    static constexpr const char* ClassName = "ZovTranslatorSourceBackend";
    static constexpr const char* ErrorDomain = "ZovTranslatorSourceBackend";

    static std::string key() { return "source"; }
    static std::string description();
    static std::optional<ZovTranslatorError> lastError();
    // Options are ignored.
    static bool load(Ref<ZovTranslatorData>& data, const std::string& path, const Value& options);
    static bool save(const Ref<ZovTranslatorData>&, const std::string&, const Value&) { return false; }

    // Parses a preprocessed source text into `data`.
    static bool parsePreprocessedSourceString(ZovTranslatorData& data, std::u16string_view text);
};

} // namespace vistel
