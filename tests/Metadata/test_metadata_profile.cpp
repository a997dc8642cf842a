// The metadata field tables: the database, file, EXIF, IPTC and automatic-categories tables, their
// rows against the reference listing in data/field-tables.txt, profiles and enumerators, and their
// translation each under its own function.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "LocalizedStrings.h"
#include "Metadata/MetadataProfile.h"
#include "Platform/Exception.h"
#include "ZovTranslatorManager.h"

namespace vistel::test {
namespace {

// German names set up before any table is built, each under one table's function only: a name
// shared by two tables ("Model", "Urgency", "Keywords") reads differently in each of them.
struct GermanName {
    const char* table;
    std::size_t row;
    const char* english;
    const char* german;
};
constexpr GermanName kGermanNames[] = {
    {"database", 6, "Keywords", "Stichw\u00f6rter"},
    {"file", 13, "Model", "Modell"},
    {"exif", 40, "Model", "Kameramodell"},
    {"iptc", 5, "Urgency", "Dringlichkeit"},
    {"autoCategories", 5, "Urgency", "Eile"},
};

class GermanNames : public ::testing::Environment {
public:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("vistel-metadata-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "de.lproj");
        {
            std::ofstream table(dir_ / "de.lproj" / "Localizable.strings");
            for (const GermanName& name : kGermanNames)
                table << "\"" << ZovTranslatorManager::keyForClass("MetadataProfile", "", std::string(name.table) + "Dictionary", "", name.english)
                      << "\" = \"" << name.german << "\";\n";
        }
        auto& translator = ZovTranslatorManager::defaultTranslatorManager();
        translator.setStringTables(std::make_shared<LocalizedStrings>(dir_.string(), std::vector<std::string> {"de"}));
        translator.setCurrentBackend(ZovTranslatorBackend_Cocoa);
        // Every table is built now, with the German table in place.
        MetadataProfile::databaseDictionary();
        MetadataProfile::fileDictionary();
        MetadataProfile::exifDictionary();
        MetadataProfile::iptcDictionary();
        MetadataProfile::autoCategoriesDictionary();
        translator.setCurrentBackend(ZovTranslatorBackend_Self);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

private:
    std::filesystem::path dir_;
};

const auto* const germanNames = ::testing::AddGlobalTestEnvironment(new GermanNames);

// The five tables by the name of their function.
std::vector<std::pair<std::string, Ref<MetadataProfile>>> allTables()
{
    return {{"database", MetadataProfile::databaseProfile()},
            {"file", MetadataProfile::fileProfile()},
            {"exif", MetadataProfile::exifProfile()},
            {"iptc", MetadataProfile::iptcProfile()},
            {"autoCategories", MetadataProfile::autoCategoriesProfile()}};
}

// "<table> <index>: <first key> | <second key> | <name> | <category> | <converter or -> | <uiType>"
std::string listing(const std::string& table, std::size_t index, const MetadataProfileItemInfo& info)
{
    std::ostringstream line;
    line << table << " " << index << ": " << info.sourcePath1 << " | " << info.sourcePath2 << " | " << info.name << " | "
         << info.category << " | " << (info.converterID ? info.converterID : "-") << " | " << info.uiType;
    return line.str();
}

TEST(MetadataProfile, EveryRowOfEveryTableIsTheListedOne)
{
    std::ifstream in(std::filesystem::path(VISTEL_TEST_DATA_DIR) / "field-tables.txt");
    ASSERT_TRUE(in);
    std::vector<std::string> expected;
    for (std::string line; std::getline(in, line);)
        expected.push_back(line);
    // The names translated by the test environment read in German.
    for (const GermanName& name : kGermanNames) {
        const std::string prefix = std::string(name.table) + " " + std::to_string(name.row) + ": ";
        for (std::string& line : expected)
            if (line.starts_with(prefix)) {
                const std::string english = std::string(" | ") + name.english + " | ";
                const std::size_t at = line.find(english, line.find(" | ") + 3);
                ASSERT_NE(at, std::string::npos) << line;
                line.replace(at, english.size(), std::string(" | ") + name.german + " | ");
            }
    }
    std::vector<std::string> dumped;
    for (const auto& [table, profile] : allTables())
        for (std::size_t i = 0; i < profile->count(); ++i)
            dumped.push_back(listing(table, i, *profile->infoAtIndex(i)));
    ASSERT_EQ(dumped.size(), expected.size());
    for (std::size_t i = 0; i < dumped.size(); ++i)
        EXPECT_EQ(dumped[i], expected[i]);
}

TEST(MetadataProfile, TablesHaveTheirRowCounts)
{
    const std::map<std::string, std::size_t> counts = {{"database", 7}, {"file", 25}, {"exif", 169}, {"iptc", 48}, {"autoCategories", 48}};
    for (const auto& [table, profile] : allTables()) {
        EXPECT_EQ(profile->count(), counts.at(table)) << table;
        EXPECT_THROW(profile->infoAtIndex(profile->count()), Exception) << table;
    }
}

TEST(MetadataProfile, EachTableIsTranslatedUnderItsOwnFunction)
{
    EXPECT_STREQ(MetadataProfile::databaseProfile()->infoAtIndex(6)->name, "Stichw\u00f6rter");
    EXPECT_STREQ(MetadataProfile::iptcProfile()->infoAtIndex(10)->name, "Keywords");
    EXPECT_STREQ(MetadataProfile::fileProfile()->infoAtIndex(13)->name, "Modell");
    EXPECT_STREQ(MetadataProfile::exifProfile()->infoAtIndex(40)->name, "Kameramodell");
    // Categories are never translated.
    EXPECT_STREQ(MetadataProfile::databaseProfile()->infoAtIndex(6)->category, "Keywords");
}

TEST(MetadataProfile, AutoCategoriesAreTheSameFieldsInATableOfTheirOwn)
{
    Ref<MetadataProfile> iptc = MetadataProfile::iptcProfile();
    Ref<MetadataProfile> automatic = MetadataProfile::autoCategoriesProfile();
    ASSERT_EQ(automatic->count(), 48u);
    EXPECT_NE(MetadataProfile::autoCategoriesDictionary(), MetadataProfile::iptcDictionary());
    for (std::size_t i = 0; i < 48; ++i) {
        const MetadataProfileItemInfo* a = automatic->infoAtIndex(i);
        const MetadataProfileItemInfo* b = iptc->infoAtIndex(i);
        EXPECT_STREQ(a->sourcePath1, b->sourcePath1);
        EXPECT_STREQ(a->sourcePath2, b->sourcePath2);
        EXPECT_STREQ(a->category, b->category);
        if (std::string(b->sourcePath2) != "Urgency") {
            EXPECT_STREQ(a->name, b->name);
        }
    }
    // Each table is translated under its own function.
    EXPECT_STREQ(iptc->infoAtIndex(5)->name, "Dringlichkeit");
    EXPECT_STREQ(automatic->infoAtIndex(5)->name, "Eile");
}

TEST(MetadataProfile, ProfilesShareTheRowsOfATableBuiltOnce)
{
    const std::pair<Ref<MetadataProfile> (*)(), const MetadataProfileItemInfo* (*)()> tables[] = {
        {&MetadataProfile::databaseProfile, &MetadataProfile::databaseDictionary},
        {&MetadataProfile::fileProfile, &MetadataProfile::fileDictionary},
        {&MetadataProfile::exifProfile, &MetadataProfile::exifDictionary},
        {&MetadataProfile::iptcProfile, &MetadataProfile::iptcDictionary},
        {&MetadataProfile::autoCategoriesProfile, &MetadataProfile::autoCategoriesDictionary},
    };
    for (const auto& [makeProfile, firstRow] : tables) {
        Ref<MetadataProfile> first = makeProfile();
        Ref<MetadataProfile> second = MetadataProfile::profileWithInfo(firstRow());
        EXPECT_NE(first.get(), second.get());
        EXPECT_EQ(first->infoAtIndex(0), second->infoAtIndex(0));
        EXPECT_EQ(first->infoAtIndex(first->count() - 1), firstRow() + first->count() - 1);
        EXPECT_EQ(firstRow(), makeProfile()->infoAtIndex(0));
        // The terminator follows the last row.
        EXPECT_EQ(firstRow()[first->count()].sourcePath1, nullptr);
    }
    // A profile from the middle of a table counts the rows left.
    EXPECT_EQ(MetadataProfile::profileWithInfo(MetadataProfile::iptcDictionary() + 40)->count(), 8u);
}

TEST(MetadataProfile, AnEnumeratorYieldsEveryRowThenNothing)
{
    for (const auto& [table, profile] : allTables()) {
        Ref<MetadataProfileEnumerator> rows = profile->enumerator();
        for (std::size_t i = 0; i < profile->count(); ++i)
            EXPECT_EQ(rows->nextObject(), profile->infoAtIndex(i)) << table << " " << i;
        EXPECT_EQ(rows->nextObject(), nullptr) << table;
        EXPECT_EQ(rows->nextObject(), nullptr) << table;
    }
    // Two enumerators walk independently.
    Ref<MetadataProfile> profile = MetadataProfile::exifProfile();
    Ref<MetadataProfileEnumerator> first = profile->enumerator();
    first->nextObject();
    EXPECT_EQ(profile->enumerator()->nextObject(), profile->infoAtIndex(0));
    EXPECT_EQ(first->nextObject(), profile->infoAtIndex(1));
    // The base yields nothing.
    EXPECT_EQ(makeRef<MetadataProfileEnumerator>()->nextObject(), nullptr);
}

} // namespace
} // namespace vistel::test
