#pragma once
// LocalizedStrings: the main bundle's default string table for the user's language.
//
// The tables live under the resources folder as "<language>.lproj/Localizable.strings". The
// language is chosen once, from a preference list: each preferred locale is tried in full
// ("de_DE"), then without its region ("de"), and the development region ("en") last; the
// first language that has a table is used. A missing table is no failure: every key is then
// missing and the caller shows its English text.
//
// The table is read once, when the object is made, and is immutable afterwards, so lookups
// from any number of threads need no lock.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "StringsFile.h"

namespace vistel {

class LocalizedStrings {
public:
    static constexpr const char* DefaultTableName = "Localizable";

    LocalizedStrings(std::string resourcesDirectory, std::vector<std::string> preferredLocales,
                     std::string developmentRegion = "en");

    // The value of `key`, or null when the table has no such key (or there is no table).
    const std::string* localizedString(std::string_view key) const noexcept;

    // The language whose table is used ("" when none was found) and the path of its table.
    const std::string& language() const noexcept { return language_; }
    const std::string& tablePath() const noexcept { return tablePath_; }

    // Candidate languages in search order: each locale in full, then its language alone, then
    // the development region. Encoding and modifier parts ("de_DE.UTF-8@euro") are dropped,
    // "-" is read as "_", and "C" / "POSIX" name no language.
    static std::vector<std::string> searchOrder(const std::vector<std::string>& preferredLocales,
                                                const std::string& developmentRegion);

private:
    std::string language_;
    std::string tablePath_;
    StringsDictionary table_;
};

} // namespace vistel
