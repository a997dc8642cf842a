// The metadata field tables: the IPTC and automatic-categories tables, their rows, profiles
// and enumerators, and their translation each under its own function.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "LocalizedStrings.h"
#include "Metadata/MetadataProfile.h"
#include "Platform/Exception.h"
#include "ZovTranslatorManager.h"

namespace vistel::test {
namespace {

// Before any table is built: "Urgency" has a different German name in each table, so the two
// tables are seen to be translated apart.
class GermanNames : public ::testing::Environment {
public:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("vistel-metadata-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_ / "de.lproj");
        {
            std::ofstream table(dir_ / "de.lproj" / "Localizable.strings");
            table << "\"" << ZovTranslatorManager::keyForClass("MetadataProfile", "", "iptcDictionary", "", "Urgency")
                  << "\" = \"Dringlichkeit\";\n";
            table << "\"" << ZovTranslatorManager::keyForClass("MetadataProfile", "", "autoCategoriesDictionary", "", "Urgency")
                  << "\" = \"Eile\";\n";
        }
        auto& translator = ZovTranslatorManager::defaultTranslatorManager();
        translator.setStringTables(std::make_shared<LocalizedStrings>(dir_.string(), std::vector<std::string> {"de"}));
        translator.setCurrentBackend(ZovTranslatorBackend_Cocoa);
        // Both tables are built now, with the German table in place.
        MetadataProfile::iptcDictionary();
        MetadataProfile::autoCategoriesDictionary();
        translator.setCurrentBackend(ZovTranslatorBackend_Self);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

private:
    std::filesystem::path dir_;
};

const auto* const germanNames = ::testing::AddGlobalTestEnvironment(new GermanNames);

std::string row(const MetadataProfileItemInfo& info)
{
    std::string text = std::string(info.sourcePath1) + " " + info.sourcePath2 + " \"" + info.name + "\" " + info.category;
    if (info.converterID)
        text += " (" + std::string(info.converterID) + ")";
    return text + " " + std::to_string(info.uiType);
}

TEST(MetadataProfile, TheIPTCTableHas48RowsInTableOrder)
{
    Ref<MetadataProfile> profile = MetadataProfile::iptcProfile();
    ASSERT_EQ(profile->count(), 48u);
    struct Case {
        std::size_t index;
        const char* row;
    } cases[] = {
        {0, "{IPTC} ObjectTypeReference \"Object Type Reference\" Other 0"},
        {2, "{IPTC} ObjectName \"Object Name\" Origin 0"},
        {6, "{IPTC} SubjectReference \"Subject Reference\" Caption 0"},
        {10, "{IPTC} Keywords \"Keywords\" Keywords 0"},
        {33, "{IPTC} ProvinceState \"Province / State\" Origin 0"},
        {38, "{IPTC} Credit \"Credit\" Credit 0"},
        {42, "{IPTC} CaptionAbstract \"Caption / Abstract\" Caption 0"},
        {47, "{IPTC} StarRating \"Star Rating\" Categories 0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(row(*profile->infoAtIndex(c.index)), c.row) << c.index;
    for (std::size_t i = 0; i < profile->count(); ++i) {
        EXPECT_EQ(profile->infoAtIndex(i)->converterID, nullptr) << i;
        EXPECT_EQ(profile->infoAtIndex(i)->uiType, 0) << i;
    }
    EXPECT_THROW(profile->infoAtIndex(48), Exception);
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
    Ref<MetadataProfile> first = MetadataProfile::iptcProfile();
    Ref<MetadataProfile> second = MetadataProfile::profileWithInfo(MetadataProfile::iptcDictionary());
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->infoAtIndex(0), second->infoAtIndex(0));
    EXPECT_EQ(first->infoAtIndex(47), MetadataProfile::iptcDictionary() + 47);
    // The terminator follows the last row.
    EXPECT_EQ(MetadataProfile::iptcDictionary()[48].sourcePath1, nullptr);
    // A profile from the middle of a table counts the rows left.
    EXPECT_EQ(MetadataProfile::profileWithInfo(MetadataProfile::iptcDictionary() + 40)->count(), 8u);
}

TEST(MetadataProfile, AnEnumeratorYieldsEveryRowThenNothing)
{
    Ref<MetadataProfile> profile = MetadataProfile::autoCategoriesProfile();
    Ref<MetadataProfileEnumerator> rows = profile->enumerator();
    for (std::size_t i = 0; i < profile->count(); ++i)
        EXPECT_EQ(rows->nextObject(), profile->infoAtIndex(i)) << i;
    EXPECT_EQ(rows->nextObject(), nullptr);
    EXPECT_EQ(rows->nextObject(), nullptr);
    // Two enumerators walk independently.
    Ref<MetadataProfileEnumerator> other = profile->enumerator();
    EXPECT_EQ(other->nextObject(), profile->infoAtIndex(0));
    // The base yields nothing.
    EXPECT_EQ(makeRef<MetadataProfileEnumerator>()->nextObject(), nullptr);
}

} // namespace
} // namespace vistel::test
