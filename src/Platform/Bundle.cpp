#include "Platform/Bundle.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

constexpr std::string_view ResourcesSubpath = "share/vistel/Resources";
constexpr std::string_view PlugInsSubpath = "lib/vistel/PlugIns";
constexpr std::string_view LocalizationExtension = ".lproj";
constexpr std::string_view BaseLocalization = "Base";
// Info.plist is small; anything far larger is not ours and is not read.
constexpr std::streamsize MaxInfoPlistSize = 16 * 1024 * 1024;
// How many folders above the executable's folder the lookup climbs: enough for build/tests,
// build/stage/bin and <prefix>/bin, not so many that an unrelated tree is found.
constexpr int MaxLevelsUp = 4;

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::string currentExecutable()
{
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string Bundle::treeRootForExecutable(const std::string& executable)
{
    std::string folder = parentFolderPath(executable);
    for (int level = 0; level <= MaxLevelsUp && folder != "."; ++level) {
        if (isDirectory(joinPath(folder, ResourcesSubpath)))
            return folder;
        const std::string stage = joinPath(folder, "stage");
        if (isDirectory(joinPath(stage, ResourcesSubpath)))
            return stage;
        if (folder == "/")
            break;
        folder = parentFolderPath(folder);
    }
    return {};
}

namespace {

Value readInfoDictionary(const std::string& resourcePath)
{
    const std::string path = joinPath(resourcePath, "Info.plist");
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ZovLog("Bundle::infoDictionary can't read " + path);
        return Value::dictionary();
    }
    // Read as it comes, up to the limit: a bundle is made often and its Info.plist is small.
    std::string text;
    char chunk[64 * 1024];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > static_cast<std::size_t>(MaxInfoPlistSize)) {
            ZovLog("Bundle::infoDictionary " + path + " is too large");
            return Value::dictionary();
        }
    }
    std::string error;
    std::optional<Value> value = Value::fromXmlPropertyList(text, &error);
    if (!value || !value->isDictionary()) {
        ZovLog("Bundle::infoDictionary can't parse " + path + (error.empty() ? "" : ": " + error));
        return Value::dictionary();
    }
    return *value;
}

std::vector<std::string> readLocalizations(const std::string& resourcePath)
{
    std::vector<std::string> names;
    DIR* folder = resourcePath.empty() ? nullptr : ::opendir(resourcePath.c_str());
    if (!folder)
        return names;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= LocalizationExtension.size() || !name.ends_with(LocalizationExtension))
            continue;
        const std::string language(name.substr(0, name.size() - LocalizationExtension.size()));
        if (language != BaseLocalization && isDirectory(joinPath(resourcePath, name)))
            names.push_back(language);
    }
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

// "de-de" and "de_DE" name the same localization.
std::string normalised(std::string_view name)
{
    std::string key(name);
    for (char& c : key) {
        if (c == '-')
            c = '_';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

// "de_DE.UTF-8@euro" → "de_DE"; the C and POSIX locales → empty.
std::string_view languageOfLocale(std::string_view locale)
{
    const std::string_view language = locale.substr(0, locale.find_first_of(".@"));
    if (language == "C" || language == "POSIX")
        return {};
    return language;
}

struct Overrides {
    std::mutex lock;
    std::string resourcePath;
    std::string plugInsPath;
    Ref<Bundle> main;
};

Overrides& overrides()
{
    static Overrides* state = new Overrides; // never destroyed: main() may be called at exit
    return *state;
}

} // namespace

Bundle::Bundle(std::string executablePath, std::string resourcePath, std::string plugInsPath,
               std::vector<std::string> preferredLanguages)
    : executablePath_(std::move(executablePath))
    , resourcePath_(std::move(resourcePath))
    , plugInsPath_(std::move(plugInsPath))
    , infoDictionary_(readInfoDictionary(resourcePath_))
    , localizations_(readLocalizations(resourcePath_))
{
    if (preferredLanguages.empty())
        preferredLanguages = Bundle::preferredLanguages();
    preferredLocalizations_ = preferredLocalizationsFromArray(localizations_, preferredLanguages);
    const std::string development = infoDictionary_.get("CFBundleDevelopmentRegion").toString("en");
    for (const std::string& localization : preferredLocalizationsFromArray(localizations_, {development}))
        if (std::find(preferredLocalizations_.begin(), preferredLocalizations_.end(), localization) ==
            preferredLocalizations_.end())
            preferredLocalizations_.push_back(localization);
}

Ref<Bundle> Bundle::main()
{
    Overrides& state = overrides();
    std::lock_guard guard(state.lock);
    if (state.main)
        return state.main;

    const std::string executable = currentExecutable();
    const std::string root = treeRootForExecutable(executable);
    std::string resources = state.resourcePath;
    if (resources.empty())
        resources = environment("VISTEL_RESOURCES_DIR");
    std::string plugIns = state.plugInsPath;
    if (plugIns.empty())
        plugIns = environment("VISTEL_PLUGINS_DIR");

    if (root.empty() && (resources.empty() || plugIns.empty()))
        ZovLog("Bundle::main can't find the program's folders near " + executable);
    // Without a tree, the folders are where an install beside the executable would put them,
    // so that what is missing shows in paths and logs.
    const std::string base = root.empty() ? parentFolderPath(parentFolderPath(executable)) : root;
    if (resources.empty())
        resources = joinPath(base, ResourcesSubpath);
    if (plugIns.empty())
        plugIns = joinPath(base, PlugInsSubpath);

    state.main = Ref<Bundle>::adopt(new Bundle(executable, std::move(resources), std::move(plugIns), {}));
    return state.main;
}

std::string Bundle::privateFrameworksPath() const
{
    if (plugInsPath_.empty())
        return {};
    return joinPath(parentFolderPath(stripTrailingSlashes(plugInsPath_)), "Frameworks");
}

Ref<Bundle> Bundle::createWithPaths(std::string resourcePath, std::string plugInsPath,
                                    std::vector<std::string> preferredLanguages)
{
    return Ref<Bundle>::adopt(
        new Bundle({}, std::move(resourcePath), std::move(plugInsPath), std::move(preferredLanguages)));
}

void Bundle::setResourcePathOverride(std::string path)
{
    Overrides& state = overrides();
    std::lock_guard guard(state.lock);
    state.resourcePath = std::move(path);
    state.main = nullptr;
}

void Bundle::setPlugInsPathOverride(std::string path)
{
    Overrides& state = overrides();
    std::lock_guard guard(state.lock);
    state.plugInsPath = std::move(path);
    state.main = nullptr;
}

std::vector<std::string> Bundle::preferredLanguages()
{
    std::vector<std::string> languages;
    auto add = [&](std::string_view locale) {
        const std::string_view language = languageOfLocale(locale);
        if (!language.empty() && std::find(languages.begin(), languages.end(), language) == languages.end())
            languages.emplace_back(language);
    };
    const std::string list = environment("LANGUAGE");
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t colon = std::min(list.find(':', start), list.size());
        if (colon > start)
            add(std::string_view(list).substr(start, colon - start));
        start = colon + 1;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string locale = environment(name);
        if (!locale.empty()) {
            add(locale);
            break;
        }
    }
    return languages;
}

std::vector<std::string> Bundle::preferredLocalizationsFromArray(const std::vector<std::string>& localizations,
                                                                 const std::vector<std::string>& preferences)
{
    std::vector<std::string> chosen;
    auto choose = [&](const std::string& key) {
        for (const std::string& localization : localizations) {
            if (normalised(localization) == key) {
                if (std::find(chosen.begin(), chosen.end(), localization) == chosen.end())
                    chosen.push_back(localization);
                return;
            }
        }
    };
    for (const std::string& preference : preferences) {
        const std::string key = normalised(preference);
        if (key.empty())
            continue;
        choose(key);
        const std::size_t underscore = key.find('_');
        if (underscore != std::string::npos && underscore > 0)
            choose(key.substr(0, underscore));
    }
    return chosen;
}

const Value& Bundle::objectForInfoDictionaryKey(std::string_view key) const noexcept
{
    return infoDictionary_.get(key);
}

std::string Bundle::bundleIdentifier() const
{
    return infoDictionary_.get("CFBundleIdentifier").toString();
}

std::string Bundle::pathForResource(std::string_view name, std::string_view type, std::string_view subfolder) const
{
    if (name.empty() || resourcePath_.empty())
        return {};
    if (type.starts_with('.'))
        type.remove_prefix(1);
    std::string fileName(name);
    if (!type.empty()) {
        fileName += '.';
        fileName += type;
    }

    auto lookIn = [&](const std::string& folder) -> std::string {
        const std::string path = joinPath(subfolder.empty() ? folder : joinPath(folder, subfolder), fileName);
        return exists(path) ? path : std::string();
    };

    if (std::string path = lookIn(resourcePath_); !path.empty())
        return path;
    for (const std::string& localization : preferredLocalizations_) {
        if (std::string path = lookIn(joinPath(resourcePath_, localization + std::string(LocalizationExtension)));
            !path.empty())
            return path;
    }
    return lookIn(joinPath(resourcePath_, std::string(BaseLocalization) + std::string(LocalizationExtension)));
}

} // namespace vistel
