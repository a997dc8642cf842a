#pragma once
// ZovTranslatorPbxBackend, key "pbx": collects the translatable texts of a whole project. It
// reads the project bundle's "project.pbxproj", walks the group tree from the main group,
// and loads every Objective-C source file (".objc" and ".objcpp" types with an available
// encoding) with the source backend, merging the results into one tree. Header, C and other
// files, and groups outside the project's source trees, are passed over.

#include <optional>
#include <string>

#include "ZovClass.h"
#include "ZovTranslatorData.h"

namespace vistel {

class ZovTranslatorPbxBackend {
    ZOV_ROOT_CLASS(ZovTranslatorPbxBackend)
public:
    static constexpr const char* ClassName = "ZovTranslatorPbxBackend";

    static std::string key() { return "pbx"; }
    static std::string description();
    static std::optional<ZovTranslatorError> lastError() { return std::nullopt; }
    // `path` is the project bundle folder holding "project.pbxproj"; options are ignored.
    static bool load(Ref<ZovTranslatorData>& data, const std::string& path, const Value& options);
    static bool save(const Ref<ZovTranslatorData>&, const std::string&, const Value&) { return false; }
};

} // namespace vistel
