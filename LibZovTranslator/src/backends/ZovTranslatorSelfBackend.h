#pragma once
// ZovTranslatorSelfBackend, key "self": the original texts themselves; it reads and writes
// nothing, and leaves the tree it is given untouched.

#include <optional>
#include <string>

#include "ZovClass.h"
#include "ZovTranslatorData.h"

namespace vistel {

class ZovTranslatorSelfBackend {
    ZOV_ROOT_CLASS(ZovTranslatorSelfBackend)
public:
    static constexpr const char* ClassName = "ZovTranslatorSelfBackend";

    static std::string key() { return "self"; }
    static std::string description();
    static std::optional<ZovTranslatorError> lastError() { return std::nullopt; }
    static bool load(Ref<ZovTranslatorData>&, const std::string&, const Value&) { return false; }
    static bool save(const Ref<ZovTranslatorData>&, const std::string&, const Value&) { return false; }
};

} // namespace vistel
