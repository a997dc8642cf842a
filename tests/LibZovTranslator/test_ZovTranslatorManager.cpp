// Run-time lookup: modes, the class-chain walk, fallbacks, tables and threads.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "LocalizedStrings.h"
#include "Platform/Log.h"
#include "Platform/AtomicFileWriter.h"
#include "TranslatorFiles.h"
#include "Platform/Exception.h"
#include "TestSupport.h"
#include "ZovTranslatorManager.h"

using namespace vistel;

namespace {

const std::string kData = VISTEL_TEST_DATA_DIR;

class BasePanel {
public:
    ZOV_ROOT_CLASS(BasePanel)
    virtual ~BasePanel() = default;
    std::string placesTitle() const { return ZOV_TRANSLATE("Places", "awakeFromNib"); }
    static std::string classTitle() { return ZOV_TRANSLATE_CLASS("Places", "awakeFromNib"); }
};

class DerivedPanel : public BasePanel {
public:
    ZOV_CLASS(DerivedPanel, BasePanel)
};

class LeafPanel : public DerivedPanel {
public:
    ZOV_CLASS(LeafPanel, DerivedPanel)
};

class NSApplicationWithLimitedOpenFiles {
public:
    ZOV_ROOT_CLASS_WITH_ORIGINAL_NAME(ApplicationReplacement, "NSApplicationWithLimitedOpenFiles")
    virtual ~NSApplicationWithLimitedOpenFiles() = default;
};

class ApplicationSubclass : public NSApplicationWithLimitedOpenFiles {
public:
    ZOV_CLASS(ApplicationSubclass, NSApplicationWithLimitedOpenFiles)
};

std::shared_ptr<const LocalizedStrings> germanTables(const std::string& folder = "resources")
{
    return std::make_shared<const LocalizedStrings>(kData + "/" + folder, std::vector<std::string> {"de_DE.UTF-8"});
}

Ref<ZovTranslatorManager> cocoaManager(std::shared_ptr<const LocalizedStrings> tables = germanTables())
{
    auto manager = ZovTranslatorManager::translatorManager();
    manager->setStringTables(std::move(tables));
    manager->setCurrentBackend("cocoa");
    return manager;
}

} // namespace

TEST(ZovTranslatorManager, NewManagerIsInSelfModeAndAnswersTheEnglishText)
{
    auto manager = ZovTranslatorManager::translatorManager();
    manager->setStringTables(germanTables());
    EXPECT_EQ(manager->currentBackend(), "self");
    EXPECT_EQ(manager->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Places");
    manager->setCurrentBackend("cocoa");
    EXPECT_EQ(manager->currentBackend(), "cocoa");
    EXPECT_EQ(manager->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Orte");
    manager->setCurrentBackend("self");
    EXPECT_EQ(manager->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Places");
}

TEST(ZovTranslatorManager, InvalidBackendKeyRaisesAndKeepsTheMode)
{
    auto manager = cocoaManager();
    for (const char* key : {"pbx", "source", "xml", ""}) {
        try {
            manager->setCurrentBackend(key);
            ADD_FAILURE() << "no exception for " << key;
        } catch (const Exception& error) {
            EXPECT_EQ(error.reason(), "Invalid backend key");
            EXPECT_FALSE(error.file().empty());
        }
        EXPECT_EQ(manager->currentBackend(), "cocoa");
    }
}

TEST(ZovTranslatorManager, ClassChainWalk)
{
    auto manager = cocoaManager();
    struct Case {
        const ZovClass& cls;
        const char* source;
        const char* selector;
        const char* expected;
    };
    const Case cases[] = {
        {BasePanel::staticZovClass(), "Places", "awakeFromNib", "Orte"},
        // found under the superclass
        {DerivedPanel::staticZovClass(), "Places", "awakeFromNib", "Orte"},
        {LeafPanel::staticZovClass(), "Places", "awakeFromNib", "Orte"},
        // the subclass's own entry wins
        {DerivedPanel::staticZovClass(), "Devices", "awakeFromNib", "Geräte (abgeleitet)"},
        {LeafPanel::staticZovClass(), "Devices", "awakeFromNib", "Geräte (abgeleitet)"},
        {BasePanel::staticZovClass(), "Devices", "awakeFromNib", "Geräte"},
        // an empty entry counts as untranslated and ends the walk
        {DerivedPanel::staticZovClass(), "Shared", "awakeFromNib", "Shared"},
        {BasePanel::staticZovClass(), "Shared", "awakeFromNib", "Freigegeben"},
        // a value equal to the not-found marker is never shown
        {BasePanel::staticZovClass(), "Marker", "awakeFromNib", "Marker"},
        // no entry anywhere, another method, NSObject's own entries are never consulted
        {BasePanel::staticZovClass(), "Unknown", "awakeFromNib", "Unknown"},
        {BasePanel::staticZovClass(), "Places", "dealloc", "Places"},
        {BasePanel::staticZovClass(), "Root", "awakeFromNib", "Root"},
        // escapes of the table are resolved, the key keeps the caller's exact text
        {BasePanel::staticZovClass(), "Cannot copy \"%@\".", "showFileError:operationType:source:destination:",
         "\"%@\" kann nicht\nkopiert werden."},
        // originalClassName, also inherited by a subclass
        {NSApplicationWithLimitedOpenFiles::staticZovClass(), "Are you sure you want to open %d files?",
         "application:openFiles:", "Wirklich %d Dateien öffnen?"},
        {ApplicationSubclass::staticZovClass(), "Are you sure you want to open %d files?", "application:openFiles:",
         "Wirklich %d Dateien öffnen?"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(manager->translate(c.source, c.cls, c.selector), c.expected)
            << c.cls.name() << " " << c.source;
}

TEST(ZovTranslatorManager, OriginalClassNameOfDescriptors)
{
    EXPECT_TRUE(NSApplicationWithLimitedOpenFiles::staticZovClass().respondsToOriginalClassName());
    EXPECT_EQ(NSApplicationWithLimitedOpenFiles::staticZovClass().originalClassName(),
              "NSApplicationWithLimitedOpenFiles");
    EXPECT_EQ(ApplicationSubclass::staticZovClass().originalClassName(), "NSApplicationWithLimitedOpenFiles");
    EXPECT_EQ(ApplicationSubclass::staticZovClass().name(), "ApplicationSubclass");
    EXPECT_FALSE(DerivedPanel::staticZovClass().respondsToOriginalClassName());
    EXPECT_EQ(DerivedPanel::staticZovClass().originalClassName(), "DerivedPanel");
    EXPECT_EQ(DerivedPanel::staticZovClass().superclass(), &BasePanel::staticZovClass());
    EXPECT_EQ(BasePanel::staticZovClass().superclass(), &ZovClass::nsObject());
}

TEST(ZovTranslatorManager, CallSiteMacrosPassTheDynamicClass)
{
    auto& manager = ZovTranslatorManager::defaultTranslatorManager();
    EXPECT_EQ(&manager, &ZovTranslatorManager::defaultTranslatorManager());
    const std::string previous = manager.currentBackend();
    manager.setStringTables(germanTables());
    manager.setCurrentBackend("cocoa");

    std::unique_ptr<BasePanel> panel = std::make_unique<LeafPanel>();
    EXPECT_EQ(&panel->zovClass(), &LeafPanel::staticZovClass());
    EXPECT_EQ(panel->placesTitle(), "Orte");
    EXPECT_EQ(BasePanel::classTitle(), "Orte");
    EXPECT_EQ(ZOV_TRANSLATE_AS(DerivedPanel::staticZovClass(), "Devices", "awakeFromNib"), "Geräte (abgeleitet)");
    manager.setCurrentBackend(previous);
}

TEST(ZovTranslatorManager, Utf16TablesWithByteOrderMarks)
{
    // Little endian (de) with \U escapes and a surrogate pair; big endian (fr).
    auto german = cocoaManager(germanTables("resources-utf16"));
    EXPECT_EQ(german->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Orte über UTF-16");
    EXPECT_EQ(german->translate("Devices", BasePanel::staticZovClass(), "awakeFromNib"), "Geräte \U0001F4F7");
    auto french = cocoaManager(std::make_shared<const LocalizedStrings>(kData + "/resources-utf16",
                                                                        std::vector<std::string> {"fr_CA"}));
    EXPECT_EQ(french->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Lieux");
}

TEST(ZovTranslatorManager, LanguageChoice)
{
    struct Case {
        std::vector<std::string> preferred;
        const char* language;
        const char* places;
    };
    const Case cases[] = {
        {{"de_DE.UTF-8"}, "de", "Orte"},         // de_DE has no table: de
        {{"de-AT"}, "de", "Orte"},
        {{"fr_FR", "de"}, "de", "Orte"},         // the first language that has a table
        {{"ja_JP"}, "en", "Places (en)"},        // the development region
        {{"C"}, "en", "Places (en)"},
        {{}, "en", "Places (en)"},
        {{"../de"}, "en", "Places (en)"},        // no path tricks
    };
    for (const Case& c : cases) {
        auto tables = std::make_shared<const LocalizedStrings>(kData + "/resources", c.preferred);
        EXPECT_EQ(tables->language(), c.language);
        auto manager = cocoaManager(tables);
        EXPECT_EQ(manager->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), c.places);
    }
    EXPECT_EQ(LocalizedStrings::searchOrder({"de_DE.UTF-8@euro", "fr"}, "en"),
              (std::vector<std::string> {"de_DE", "de", "fr", "en"}));
}

TEST(ZovTranslatorManager, MissingOrDamagedTableShowsTheEnglishText)
{
    auto none = cocoaManager(std::make_shared<const LocalizedStrings>("/nonexistent", std::vector<std::string> {"de"}));
    EXPECT_EQ(none->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Places");
    EXPECT_EQ(none->translate("", BasePanel::staticZovClass(), "awakeFromNib"), "");

    char pattern[] = "/tmp/vistel-resources-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    ASSERT_EQ(::mkdir((folder + "/de.lproj").c_str(), 0755), 0);
    ASSERT_TRUE(writeFileAtomically(
        folder + "/de.lproj/Localizable.strings",
        "\"[class]BasePanel__[category]__[method]awakeFromNib__[context]__[source]Places\" = \"Orte\"\n"));
    ScopedLogCapture log;
    auto damaged = cocoaManager(std::make_shared<const LocalizedStrings>(folder, std::vector<std::string> {"de"}));
    EXPECT_EQ(damaged->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Places");
    EXPECT_TRUE(log.contains("cannot parse"));
    std::system(("rm -rf '" + folder + "'").c_str());
}

TEST(ZovTranslatorManager, KeyFormat)
{
    EXPECT_EQ(ZovTranslatorManager::keyForClass("BrowserPanel", "", "awakeFromNib", "", "Places"),
              "[class]BrowserPanel__[category]__[method]awakeFromNib__[context]__[source]Places");
}

TEST(ZovTranslator, TranslatesNothingAndIsKeptByTheManager)
{
    auto translator = ZovTranslator::translatorWithData("data");
    EXPECT_EQ(translator->translate("Places"), "");
    EXPECT_EQ(ZovTranslator::translatorWithContentsOfFile("/nonexistent/file"), nullptr);
    auto fromFile = ZovTranslator::translatorWithContentsOfFile(kData + "/resources/en.lproj/Localizable.strings");
    ASSERT_TRUE(fromFile);
    EXPECT_NE(fromFile->data().find("Places (en)"), std::string::npos);

    auto manager = cocoaManager();
    manager->addTranslator(translator);
    manager->addTranslator(fromFile);
    EXPECT_EQ(manager->translators().size(), 2u);
    EXPECT_EQ(manager->translate("Places", BasePanel::staticZovClass(), "awakeFromNib"), "Orte");
    manager->removeTranslator(translator);
    ASSERT_EQ(manager->translators().size(), 1u);
    EXPECT_EQ(manager->translators()[0], fromFile);
}

TEST(ZovTranslatorManager, ConcurrentLookups)
{
    auto manager = cocoaManager();
    const int lookups = test::scaled(20000, 100000);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < lookups; ++i) {
                const bool sub = (i + t) % 2 == 0;
                const ZovClass& cls = sub ? LeafPanel::staticZovClass() : BasePanel::staticZovClass();
                const std::string got = manager->translate("Devices", cls, "awakeFromNib");
                if (got != (sub ? "Geräte (abgeleitet)" : "Geräte"))
                    ++mismatches[t];
            }
        });
    }
    // The mode may be read while the main thread sets it again.
    for (int i = 0; i < 1000; ++i)
        manager->setCurrentBackend("cocoa");
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}
