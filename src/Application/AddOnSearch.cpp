#include "Application/AddOnSearch.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "Application/MainMenu.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Tools/Threads/ThreadMessages.h"
#include "Platform/Bundle.h"
#include "Platform/Exception.h"
#include "Platform/FilePaths.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"

namespace vistel {

namespace fs = std::filesystem;

namespace {

bool isCandidate(const fs::path& path)
{
    const std::string extension = path.extension().string();
    return extension == ".bundle" || extension == ".framework";
}

// The folder's entries at any depth, links neither followed nor taken.
void collectCandidates(const std::string& folder, std::vector<std::string>& candidates)
{
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    if (error)
        return; // a folder that cannot be listed is skipped
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        const fs::file_status status = it->symlink_status(error);
        if (error || !fs::is_directory(status))
            continue;
        if (isCandidate(it->path()))
            candidates.push_back(it->path().string());
    }
}

} // namespace

std::vector<std::string> AddOnSearch::searchFolders()
{
    std::vector<std::string> folders;
    if (const std::string frameworks = Bundle::main()->privateFrameworksPath(); !frameworks.empty())
        folders.push_back(frameworks);
    folders.push_back(joinPath(applicationSupportFolder(), "Zov Systems"));
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    const std::string list = dirs && *dirs ? dirs : "/usr/local/share/:/usr/share/";
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t colon = std::min(list.find(':', start), list.size());
        const std::string entry = list.substr(start, colon - start);
        if (!entry.empty() && entry[0] == '/')
            folders.push_back(joinPath(stripTrailingSlashes(entry), "Zov Systems"));
        start = colon + 1;
    }
    return folders;
}

std::vector<std::string> AddOnSearch::findBundles(const std::vector<std::string>& folders)
{
    std::vector<std::string> candidates;
    for (const std::string& folder : folders)
        collectCandidates(folder, candidates);
    std::vector<std::string> bundles;
    const std::string_view prefix = IdentifierPrefix;
    for (const std::string& candidate : candidates) {
        const Ref<Bundle> bundle = Bundle::createWithPaths(candidate, {}, {"en"});
        const std::string identifier = bundle->bundleIdentifier();
        if (identifier.empty()) {
            ZovLog("AddOnSearch: no bundle identifier in " + candidate);
            continue;
        }
        if (identifier.compare(0, prefix.size(), prefix) != 0) {
            ZovLog("AddOnSearch: skipped " + candidate + " (identifier " + identifier + ")");
            continue;
        }
        bundles.push_back(candidate);
    }
    return bundles;
}

std::vector<std::unique_ptr<ZovTestComponentProtocol>> AddOnSearch::loadComponents(
    const std::vector<std::string>& bundles, Responder& application)
{
    std::vector<std::unique_ptr<ZovTestComponentProtocol>> kept;
    for (const std::string& path : bundles) {
        const Ref<Bundle> bundle = Bundle::createWithPaths(path, {}, {"en"});
        const std::string executable = bundle->objectForInfoDictionaryKey("CFBundleExecutable").toString();
        const std::string className = bundle->objectForInfoDictionaryKey("NSPrincipalClass").toString();
        if (executable.empty() || !isPlainFileName(executable) || className.empty()) {
            ZovLog("AddOnSearch: " + path + " names no executable or principal class");
            continue;
        }
        const std::string library = joinPath(path, executable);
        // Kept open for the rest of the run: the components' code lives there.
        void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* error = ::dlerror();
            ZovLog("AddOnSearch: cannot load " + library + ": " + (error ? error : "unknown error"));
            continue;
        }
        auto create = reinterpret_cast<ZovTestComponentCreateFunction>(::dlsym(handle, ZOV_TEST_COMPONENT_CREATE_SYMBOL));
        if (!create) {
            ZovLog("AddOnSearch: " + library + " has no " ZOV_TEST_COMPONENT_CREATE_SYMBOL);
            continue;
        }
        std::unique_ptr<ZovTestComponentProtocol> component;
        try {
            component.reset(create(className.c_str()));
        } catch (...) {
            logCaughtException("AddOnSearch " + library);
        }
        if (!component) {
            ZovLog("AddOnSearch: " + className + " of " + path + " is not a component");
            continue;
        }
        component->setBundlePath(path);
        // The bundle the component's code comes from: the shared object holding its vtable.
        Dl_info info {};
        const void* vtable = *reinterpret_cast<void* const*>(component.get());
        std::string ownBundle;
        if (::dladdr(vtable, &info) && info.dli_fname)
            ownBundle = parentFolderPath(info.dli_fname);
        if (component->bundlePath() != ownBundle) {
            ZovLog("AddOnSearch: " + className + " of " + path + " belongs to " + ownBundle);
            continue;
        }
        bool inserted = false;
        try {
            inserted = component->insertTo(application, MainMenu::main());
        } catch (...) {
            logCaughtException("AddOnSearch " + className + " insertTo:menu:");
        }
        if (inserted)
            kept.push_back(std::move(component));
    }
    return kept;
}

void AddOnSearch::start(Found found)
{
    auto worker = NSThreadExt::create([found = std::move(found)]() mutable {
        std::vector<std::string> bundles = findBundles(searchFolders());
        ThreadMessages::performSelectorOnMainThread(
            [found = std::move(found), bundles = std::move(bundles)] { found(bundles); }, false);
    });
    worker->setName("add-on search");
    worker->start();
}

} // namespace vistel
