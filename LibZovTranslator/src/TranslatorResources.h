#pragma once
// Where the run-time lookup finds the main bundle's string tables.

#include <string>
#include <vector>

namespace vistel::translator_resources {

// The main bundle's resources folder (holding the "<language>.lproj" folders).
std::string resourcesDirectory();
// The development region of the main bundle ("en" unless its information list names another).
std::string developmentRegion();
// The user's languages in order of preference (LANGUAGE, then LC_ALL / LC_MESSAGES / LANG).
std::vector<std::string> preferredLanguages();

} // namespace vistel::translator_resources
