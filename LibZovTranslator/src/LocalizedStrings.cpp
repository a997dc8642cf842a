#include "LocalizedStrings.h"

#include <algorithm>
#include <sys/stat.h>

#include "Platform/Log.h"
#include "TranslatorFiles.h"

namespace vistel {

LocalizedStrings::LocalizedStrings(std::string resourcesDirectory, std::vector<std::string> preferredLocales,
                                   std::string developmentRegion)
{
    for (const std::string& language : searchOrder(preferredLocales, developmentRegion)) {
        std::string path = resourcesDirectory + "/" + language + ".lproj/" + DefaultTableName + ".strings";
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        language_ = language;
        tablePath_ = path;
        // String tables are small; anything near the limit is not one.
        auto bytes = translator_files::readFile(path, 0, translator_files::MaxTableFileSize);
        if (!bytes) {
            ZovLog("LocalizedStrings::LocalizedStrings cannot read " + path);
            break;
        }
        std::string error;
        auto table = parseStringsFile(*bytes, &error);
        if (!table) {
            ZovLog("LocalizedStrings::LocalizedStrings cannot parse " + path + ": " + error);
            break;
        }
        table_ = std::move(*table);
        break;
    }
}

const std::string* LocalizedStrings::localizedString(std::string_view key) const noexcept
{
    auto found = table_.find(key);
    return found == table_.end() ? nullptr : &found->second;
}

std::vector<std::string> LocalizedStrings::searchOrder(const std::vector<std::string>& preferredLocales,
                                                       const std::string& developmentRegion)
{
    std::vector<std::string> order;
    const auto add = [&](const std::string& language) {
        if (!language.empty() && std::find(order.begin(), order.end(), language) == order.end())
            order.push_back(language);
    };
    for (std::string locale : preferredLocales) {
        locale = locale.substr(0, locale.find_first_of(".@"));
        std::replace(locale.begin(), locale.end(), '-', '_');
        if (locale == "C" || locale == "POSIX" || locale.find('/') != std::string::npos || locale == ".."
            || locale == ".")
            continue;
        add(locale);
        add(locale.substr(0, locale.find('_')));
    }
    add(developmentRegion);
    return order;
}

} // namespace vistel
