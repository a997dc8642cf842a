#pragma once
// AddOnSearch: finds the add-on bundles at start-up and lets their components into the menu.
//
// A worker (one NSThreadExt) walks, in order: the program's private frameworks folder
// (Bundle::privateFrameworksPath), then "Zov Systems" under $XDG_DATA_HOME and under each
// $XDG_DATA_DIRS entry; deeply, without following symbolic links; every "*.bundle" or
// "*.framework" folder is a candidate. It reads each candidate's Info.plist and keeps those
// whose CFBundleIdentifier begins with "com.ZovSystems.TestFramework". The rest happens on the
// main thread, after the worker's message arrives (so never before the main window shows):
// each kept bundle's shared object is opened (RTLD_NOW | RTLD_LOCAL), its
// ZovTestComponentCreate makes the principal class; a component whose bundle path is the
// bundle of the shared object that holds its code (dladdr) is asked to insert itself into the
// main menu, and kept when it did. Whatever does not fit is skipped with a log line.
//
// Thread rules: start() and the results on the main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Application/ZovTestComponent.h"

namespace vistel {

class Responder;

class AddOnSearch {
public:
    static constexpr const char* IdentifierPrefix = "com.ZovSystems.TestFramework";

    // The folders searched, in order.
    static std::vector<std::string> searchFolders();
    // The candidates under the folders whose identifier has the prefix (worker side).
    static std::vector<std::string> findBundles(const std::vector<std::string>& folders);
    // Loads the components of `bundles` and keeps those that insert themselves (main thread).
    static std::vector<std::unique_ptr<ZovTestComponentProtocol>> loadComponents(const std::vector<std::string>& bundles,
                                                                                  Responder& application);

    // Starts the search on its worker; `found` runs on the main thread with the bundles found
    // (the caller then loads them with loadComponents).
    using Found = std::function<void(const std::vector<std::string>& bundles)>;
    static void start(Found found);
};

} // namespace vistel
