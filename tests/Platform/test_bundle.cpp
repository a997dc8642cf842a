#include "Platform/Bundle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Platform/Log.h"

namespace vistel {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "vistel-bundle-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeFile(const fs::path& path, const std::string& contents)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

// Restores an environment variable when the test ends.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A resources folder as the program ships it, with resources that exist only in some
// languages, in Base.lproj and outside any language.
class BundleFolder : public testing::Test {
protected:
    void SetUp() override
    {
        const fs::path r = resources();
        Value info = Value::dictionary({{"CFBundleName", "Vistel"},
                                        {"CFBundleIdentifier", "com.example.Test"},
                                        {"CFBundleDevelopmentRegion", "en"},
                                        {"CFBundleVersion", "1.2.3"}});
        writeFile(r / "Info.plist", *info.toXmlPropertyList());
        writeFile(r / "VistelPrintLayouts.xml", "<layouts/>");
        writeFile(r / "images" / "Frame.png", "png");
        writeFile(r / "en.lproj" / "Localizable.strings", "en");
        writeFile(r / "de.lproj" / "Localizable.strings", "de");
        writeFile(r / "de.lproj" / "OnlyGerman.txt", "de");
        writeFile(r / "pt_BR.lproj" / "Localizable.strings", "pt_BR");
        writeFile(r / "Base.lproj" / "MainMenu.xml", "base");
        writeFile(r / "Base.lproj" / "Localizable.strings", "base");
        writeFile(r / "fr.lproj.txt", "not a localization");
    }

    fs::path resources() const { return folder_.path() / "Resources"; }
    fs::path plugIns() const { return folder_.path() / "PlugIns"; }

    Ref<Bundle> bundle(std::vector<std::string> languages) const
    {
        return Bundle::createWithPaths(resources().string(), plugIns().string(), std::move(languages));
    }

    TemporaryFolder folder_;
};

TEST_F(BundleFolder, ReadsTheInfoDictionary)
{
    const Ref<Bundle> b = bundle({"en"});
    EXPECT_EQ(b->bundleIdentifier(), "com.example.Test");
    EXPECT_EQ(b->objectForInfoDictionaryKey("CFBundleVersion"), Value("1.2.3"));
    EXPECT_TRUE(b->objectForInfoDictionaryKey("NoSuchKey").isNull());
    EXPECT_EQ(b->infoDictionary().size(), 4u);
    EXPECT_EQ(b->resourcePath(), resources().string());
    EXPECT_EQ(b->builtInPlugInsPath(), plugIns().string());
}

TEST_F(BundleFolder, ListsLocalizationsWithoutBase)
{
    EXPECT_EQ(bundle({"en"})->localizations(), (std::vector<std::string> {"de", "en", "pt_BR"}));
}

TEST_F(BundleFolder, PrefersTheUsersLanguagesThenTheDevelopmentRegion)
{
    EXPECT_EQ(bundle({"de_AT"})->preferredLocalizations(), (std::vector<std::string> {"de", "en"}));
    EXPECT_EQ(bundle({"ja", "pt-br"})->preferredLocalizations(), (std::vector<std::string> {"pt_BR", "en"}));
    EXPECT_EQ(bundle({"ja"})->preferredLocalizations(), (std::vector<std::string> {"en"}));
}

TEST_F(BundleFolder, FindsResourcesOutsideLanguagesFirstThenByLanguageThenBase)
{
    const Ref<Bundle> german = bundle({"de"});
    const std::string r = resources().string();
    EXPECT_EQ(german->pathForResource("VistelPrintLayouts", "xml"), r + "/VistelPrintLayouts.xml");
    EXPECT_EQ(german->pathForResource("VistelPrintLayouts", ".xml"), r + "/VistelPrintLayouts.xml");
    EXPECT_EQ(german->pathForResource("VistelPrintLayouts.xml", ""), r + "/VistelPrintLayouts.xml");
    EXPECT_EQ(german->pathForResource("Frame", "png", "images"), r + "/images/Frame.png");
    EXPECT_EQ(german->pathForResource("Localizable", "strings"), r + "/de.lproj/Localizable.strings");
    EXPECT_EQ(german->pathForResource("MainMenu", "xml"), r + "/Base.lproj/MainMenu.xml");
    EXPECT_EQ(german->pathForResource("Info", "plist"), r + "/Info.plist");

    const Ref<Bundle> japanese = bundle({"ja"});
    EXPECT_EQ(japanese->pathForResource("Localizable", "strings"), r + "/en.lproj/Localizable.strings");
    EXPECT_EQ(japanese->pathForResource("OnlyGerman", "txt"), "");

    EXPECT_EQ(german->pathForResource("Missing", "xml"), "");
    EXPECT_EQ(german->pathForResource("Frame", "png"), "");
    EXPECT_EQ(german->pathForResource("", "xml"), "");
}

TEST_F(BundleFolder, DamagedOrMissingInfoPlistGivesAnEmptyDictionary)
{
    writeFile(resources() / "Info.plist", "<?xml version=\"1.0\"?><plist><dict><key>x</key>");
    {
        ScopedLogCapture log;
        const Ref<Bundle> damaged = bundle({"en"});
        EXPECT_TRUE(damaged->infoDictionary().isDictionary());
        EXPECT_EQ(damaged->infoDictionary().size(), 0u);
        EXPECT_EQ(damaged->bundleIdentifier(), "");
        EXPECT_TRUE(log.contains("Bundle::infoDictionary can't parse"));
    }
    writeFile(resources() / "Info.plist", *Value::array({"not", "a dictionary"}).toXmlPropertyList());
    {
        ScopedLogCapture log;
        EXPECT_EQ(bundle({"en"})->infoDictionary().size(), 0u);
    }
    // Larger than any Info.plist can be (16 MiB): refused before parsing.
    writeFile(resources() / "Info.plist", std::string(16 * 1024 * 1024 + 1, ' '));
    {
        ScopedLogCapture log;
        EXPECT_EQ(bundle({"en"})->infoDictionary().size(), 0u);
        EXPECT_TRUE(log.contains("is too large"));
    }
    fs::remove(resources() / "Info.plist");
    {
        ScopedLogCapture log;
        EXPECT_EQ(bundle({"en"})->infoDictionary().size(), 0u);
        EXPECT_TRUE(log.contains("Bundle::infoDictionary can't read"));
    }
}

TEST(Bundle, PreferredLocalizationsFromArray)
{
    const std::vector<std::string> available = {"de", "en", "pt", "pt_BR", "zh-Hans"};
    struct Case {
        std::vector<std::string> preferences;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"pt_BR"}, {"pt_BR", "pt"}},
        {{"pt_PT", "de"}, {"pt", "de"}},
        {{"zh_hans"}, {"zh-Hans"}},
        {{"EN"}, {"en"}},
        {{"fr", "", "_x"}, {}},
        {{"de", "de_DE"}, {"de"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Bundle::preferredLocalizationsFromArray(available, c.preferences), c.expected)
            << testing::PrintToString(c.preferences);
}

TEST(Bundle, PreferredLanguagesFromTheEnvironment)
{
    {
        ScopedEnvironment language("LANGUAGE", "pt_BR:fr::de");
        ScopedEnvironment all("LC_ALL", nullptr);
        ScopedEnvironment messages("LC_MESSAGES", "de_DE.UTF-8@euro");
        ScopedEnvironment lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(Bundle::preferredLanguages(), (std::vector<std::string> {"pt_BR", "fr", "de", "de_DE"}));
    }
    {
        ScopedEnvironment language("LANGUAGE", nullptr);
        ScopedEnvironment all("LC_ALL", "C.UTF-8");
        ScopedEnvironment lang("LANG", "en_US.UTF-8");
        EXPECT_TRUE(Bundle::preferredLanguages().empty());
    }
}

TEST(Bundle, FindsTheTreeFromTheExecutable)
{
    TemporaryFolder folder;
    const fs::path prefix = folder.path() / "usr";
    fs::create_directories(prefix / "share/vistel/Resources");
    fs::create_directories(prefix / "bin");
    const fs::path build = folder.path() / "build";
    fs::create_directories(build / "stage/share/vistel/Resources");
    fs::create_directories(build / "tests");

    EXPECT_EQ(Bundle::treeRootForExecutable((prefix / "bin/vistel").string()), prefix.string());
    EXPECT_EQ(Bundle::treeRootForExecutable((build / "stage/bin/vistel").string()), (build / "stage").string());
    EXPECT_EQ(Bundle::treeRootForExecutable((build / "tests/test_bundle").string()), (build / "stage").string());
    EXPECT_EQ(Bundle::treeRootForExecutable((build / "fuzz/fuzz_formatter").string()), (build / "stage").string());
    EXPECT_EQ(Bundle::treeRootForExecutable((folder.path() / "elsewhere/bin/tool").string()), "");
    EXPECT_EQ(Bundle::treeRootForExecutable(""), "");
}

// The test executable lives in build/tests; the main bundle finds the staged resources.
TEST(Bundle, MainBundleIsTheStagedProgram)
{
    ScopedEnvironment resources("VISTEL_RESOURCES_DIR", nullptr);
    ScopedEnvironment plugIns("VISTEL_PLUGINS_DIR", nullptr);
    Bundle::setResourcePathOverride({});

    const Ref<Bundle> main = Bundle::main();
    EXPECT_EQ(main, Bundle::main());
    EXPECT_TRUE(main->resourcePath().ends_with("stage/share/vistel/Resources")) << main->resourcePath();
    EXPECT_TRUE(main->builtInPlugInsPath().ends_with("stage/lib/vistel/PlugIns")) << main->builtInPlugInsPath();
    EXPECT_TRUE(main->executablePath().ends_with("/test_bundle")) << main->executablePath();
    EXPECT_EQ(main->objectForInfoDictionaryKey("CFBundleName"), Value("Vistel"));
    EXPECT_EQ(main->bundleIdentifier(), "com.ZovSystems.Vistel");
    EXPECT_FALSE(main->objectForInfoDictionaryKey("CFBundleShortVersionString").toString().empty());
    EXPECT_FALSE(main->objectForInfoDictionaryKey("CFBundleVersion").toString().empty());
}

TEST(Bundle, OverridesReplaceTheMainBundlesFolders)
{
    TemporaryFolder folder;
    writeFile(folder.path() / "env/Info.plist", *Value::dictionary({{"CFBundleIdentifier", "env"}}).toXmlPropertyList());
    writeFile(folder.path() / "set/Info.plist", *Value::dictionary({{"CFBundleIdentifier", "set"}}).toXmlPropertyList());
    const std::string fromEnvironment = (folder.path() / "env").string();
    const std::string fromCall = (folder.path() / "set").string();

    ScopedEnvironment resources("VISTEL_RESOURCES_DIR", fromEnvironment.c_str());
    ScopedEnvironment plugIns("VISTEL_PLUGINS_DIR", "/opt/plugins");
    Bundle::setResourcePathOverride({}); // forget the main bundle made before
    const Ref<Bundle> byEnvironment = Bundle::main();
    EXPECT_EQ(byEnvironment->resourcePath(), fromEnvironment);
    EXPECT_EQ(byEnvironment->bundleIdentifier(), "env");
    EXPECT_EQ(byEnvironment->builtInPlugInsPath(), "/opt/plugins");

    Bundle::setResourcePathOverride(fromCall);
    Bundle::setPlugInsPathOverride("/srv/plugins");
    const Ref<Bundle> byCall = Bundle::main();
    EXPECT_EQ(byCall->bundleIdentifier(), "set");
    EXPECT_EQ(byCall->builtInPlugInsPath(), "/srv/plugins");
    // A bundle already handed out keeps its folders.
    EXPECT_EQ(byEnvironment->bundleIdentifier(), "env");

    Bundle::setResourcePathOverride({});
    Bundle::setPlugInsPathOverride({});
    EXPECT_EQ(Bundle::main()->resourcePath(), fromEnvironment);
}

} // namespace
} // namespace vistel
