#pragma once
// Bundle: the program's own files and facts, found beside the executable.
//
// The main bundle is what ships with the program: the resources folder (Info.plist, images, XML
// resources, "<lang>.lproj" string tables) and the built-in plug-ins folder (codec plug-ins).
// It is found relative to the running executable, the same way in an install tree and in the
// build tree:
//   install tree   <prefix>/bin/vistel, <prefix>/share/vistel/Resources, <prefix>/lib/vistel/PlugIns
//   build tree     build/stage/bin/vistel and the same folders under build/stage; programs that
//                  live elsewhere in the build folder (tests, fuzzers, benchmarks) find the stage
//                  by walking up from their own folder.
// The environment variables VISTEL_RESOURCES_DIR and VISTEL_PLUGINS_DIR, and above them
// setResourcePathOverride() / setPlugInsPathOverride(), replace the folders that were found.
//
// The info dictionary is read from Info.plist when the bundle is made and never changes for
// that bundle; a missing or damaged Info.plist gives an empty dictionary and a log line.
//
// Thread safety: a Bundle never changes after it is made, so it may be read from any thread;
// main() and the overrides are safe to call from any thread. Changing an override makes main()
// answer a new bundle from then on; bundles already handed out stay as they were.

#include <string>
#include <string_view>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class Bundle final : public Object {
public:
    // The program's bundle. Made on first use (and again after an override changed).
    static Ref<Bundle> main();

    // A bundle over explicit folders, for tools and tests. An empty list of preferred languages
    // means the user's (preferredLanguages()).
    static Ref<Bundle> createWithPaths(std::string resourcePath, std::string plugInsPath,
                                       std::vector<std::string> preferredLanguages = {});

    // Replace the main bundle's resources or plug-ins folder; an empty path removes the
    // override. Take precedence over VISTEL_RESOURCES_DIR and VISTEL_PLUGINS_DIR.
    static void setResourcePathOverride(std::string path);
    static void setPlugInsPathOverride(std::string path);

    // The user's languages in order of preference, from LANGUAGE, then the first of LC_ALL,
    // LC_MESSAGES and LANG ("de_DE.UTF-8" gives "de_DE"); the C and POSIX locales name none.
    static std::vector<std::string> preferredLanguages();

    // The localizations of `localizations` to use for `preferences`, best first: for each
    // preference its exact match, then the localization of its language alone ("pt_BR" →
    // "pt_BR", "pt"). Matching ignores case and treats '-' as '_'.
    static std::vector<std::string> preferredLocalizationsFromArray(const std::vector<std::string>& localizations,
                                                                    const std::vector<std::string>& preferences);

    // The root of the tree `executablePath` belongs to: the nearest folder, from the
    // executable's own folder up to four levels above it, that holds share/vistel/Resources
    // (an install prefix), or whose "stage" subfolder does (a build folder: answers its
    // stage). Empty when there is none.
    static std::string treeRootForExecutable(const std::string& executablePath);

    // The running executable ("/proc/self/exe"); empty for a bundle made with createWithPaths.
    const std::string& executablePath() const noexcept { return executablePath_; }
    const std::string& resourcePath() const noexcept { return resourcePath_; }
    const std::string& builtInPlugInsPath() const noexcept { return plugInsPath_; }
    // The folder of the program's own add-on frameworks: "Frameworks" beside the plug-ins
    // folder (lib/vistel/Frameworks); empty when the bundle has no plug-ins folder.
    std::string privateFrameworksPath() const;

    // The contents of Info.plist: always a dictionary, empty when the file is missing or damaged.
    const Value& infoDictionary() const noexcept { return infoDictionary_; }
    // A value of the info dictionary; null when absent.
    const Value& objectForInfoDictionaryKey(std::string_view key) const noexcept;
    // "CFBundleIdentifier"; empty when absent.
    std::string bundleIdentifier() const;

    // The path of the resource "<name>.<type>" (or just `name` when `type` is empty), looked up
    // first among the resources that belong to no language, then in "<lang>.lproj" for each
    // preferred localization, then in "Base.lproj"; within each, inside `subfolder` when given.
    // Empty when there is no such file or folder.
    std::string pathForResource(std::string_view name, std::string_view type, std::string_view subfolder = {}) const;

    // The languages the resources are translated to: the names of the "<lang>.lproj" folders,
    // without the extension and without "Base", sorted.
    const std::vector<std::string>& localizations() const noexcept { return localizations_; }
    // The localizations chosen for the preferred languages, best first, ending with the
    // development region ("CFBundleDevelopmentRegion") when the bundle has it.
    const std::vector<std::string>& preferredLocalizations() const noexcept { return preferredLocalizations_; }

private:
    Bundle(std::string executablePath, std::string resourcePath, std::string plugInsPath,
           std::vector<std::string> preferredLanguages);

    std::string executablePath_;
    std::string resourcePath_;
    std::string plugInsPath_;
    Value infoDictionary_;
    std::vector<std::string> localizations_;
    std::vector<std::string> preferredLocalizations_;
};

} // namespace vistel
