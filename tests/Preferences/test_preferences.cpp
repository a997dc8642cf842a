// Preferences: every registered default, the measurement default by locale, key paths into
// groups, folder fallbacks, and the item filter masks with their change notification.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "Platform/NotificationCenter.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

// A fresh preferences object over an in-memory store with every default registered.
struct Fixture {
    UserDefaults defaults {""};
    Preferences preferences {defaults};
    Fixture() { defaults.registerDefaults(Preferences::defaultsTable(QLocale("en_US"))); }
};

} // namespace

TEST(PreferencesTest, EveryKeyHasItsDefault)
{
    Fixture f;
    struct Row {
        const char* key;
        Value expected;
    };
    const Row rows[] = {
        {"UpdatePanel.AutomaticallyUpdate", Value(true)},
        {"ViewPanel.DefaultZoomMode", Value(0LL)},
        {"BrowserPanel.MakeCopyOnRotate", Value(false)},
        {"BrowserPanel.ShowRotateAlert", Value(true)},
        {"Printing.kPrefKeyPrintingDefaultPaperNamePreferences", Value("A4")},
        {"Printing.kPrefKeyPrintingCropPreferences", Value(false)},
        {"Printing.kPrefKeyPrintingAutorotatePreferences", Value(false)},
        {"ItemsView.ShowNonImagesFiles", Value(false)},
        {"BrowserPanel.Width", Value(300LL)},
        {"BrowserPanel.BrowseInsideBundles", Value(false)},
        {"ItemsView.ShowFolders", Value(true)},
        {"BrowserPanel.ShowConvertImagesAlert", Value(true)},
        {"BrowserPanel.ShowResetFrameAlert", Value(true)},
        {"BrowserPanel.LoadLastLocation", Value(true)},
        {"Camera.LaunchApplicationOnCameraConnection", Value(false)},
        {"ThumbnailStyle.Spacing", Value(3.0)},
        {"ThumbnailStyle.Size", Value(120.0)},
        {"ThumbnailStyle.UseEmbeddedThumbnails", Value(true)},
        {"ThumbnailStyle.GenerateHighQualityThumbnails", Value(true)},
        {"ThumbnailStyle.ShowSlideBorder", Value(false)},
        {"ThumbnailStyle.ShowSlideBackground", Value(false)},
        {"ThumbnailStyle.ShowFrame", Value(false)},
        {"ThumbnailStyle.ShowDropShadow", Value(false)},
        {"ThumbnailStyle.HighQualityScaling", Value(true)},
        {"ThumbnailInfo.Overlays.Locked", Value(true)},
        {"ThumbnailInfo.Overlays.Tagged", Value(false)},
        {"ThumbnailInfo.Overlays.Rating", Value(false)},
        {"ThumbnailInfo.Overlays.Icon", Value(false)},
        {"ThumbnailInfo.Information.FileName", Value(true)},
        {"ThumbnailInfo.Overlays.Category", Value(false)},
        {"ThumbnailInfo.Overlays.AutoRotate", Value(false)},
        {"Global.CheckImageCapturePreferences", Value(false)},
        {"NSDisabledCharacterPaletteMenuItem", Value(true)},
        {"Categories.DoNotShowRemoveAlert", Value(false)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(f.preferences.valueForKey(row.key), row.expected) << row.key;
    for (const char* absent : {"UpdatePanel.LastAutomaticallyUpdateDate", "ItemsView.DefaultMode",
                               "MainWindow.ScreenNumber", "BrowserPanel.PlacesList",
                               "Printing.kPrefKeyPrintingDefaultLayoutNamePreferences",
                               "Printing.kPrefKeyPrintingDefaultPrintSizePreferences"})
        EXPECT_TRUE(f.preferences.valueForKey(absent).isNull()) << absent;
}

TEST(PreferencesTest, PrintSizeListsAreTheBuiltInOnesInInches)
{
    Fixture f;
    const Value documents = f.preferences.valueForKey("Printing.kPrefKeyPrintingDocumentSizesPreferences");
    ASSERT_EQ(documents.size(), 16u);
    struct Paper {
        std::size_t index;
        const char* name;
        float width, height;
    };
    for (const Paper& p : {Paper {0, "A3", 11.7f, 16.5f}, Paper {1, "A4", 8.3f, 11.7f}, Paper {8, "B3(JIS)", 14.3f, 20.3f},
                           Paper {12, "US Letter", 8.5f, 11.0f}, Paper {14, "Ledger", 17.0f, 11.0f},
                           Paper {15, "Tabloid", 11.0f, 17.0f}}) {
        const Value& entry = documents.at(p.index);
        EXPECT_EQ(entry.get("PaperInfoDictionaryKeyName").toString(), p.name);
        EXPECT_EQ(static_cast<float>(entry.get("PaperInfoDictionaryKeyWidth").toDouble()), p.width) << p.name;
        EXPECT_EQ(static_cast<float>(entry.get("PaperInfoDictionaryKeyHeight").toDouble()), p.height) << p.name;
    }
    const Value prints = f.preferences.valueForKey("Printing.kPrefKeyPrintingPrintSizesPreferences");
    ASSERT_EQ(prints.size(), 6u);
    const float expected[][2] = {{0.98425f, 0.98425f}, {3.46456f, 5.0f}, {3.97637f, 5.98424f},
                                 {5.0f, 6.96849f},     {10.0f, 7.99211f}, {11.7f, 16.5f}};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(prints.at(i).get("PaperInfoDictionaryKeyName").toString("?"), "");
        EXPECT_EQ(static_cast<float>(prints.at(i).get("PaperInfoDictionaryKeyWidth").toDouble()), expected[i][0]);
        EXPECT_EQ(static_cast<float>(prints.at(i).get("PaperInfoDictionaryKeyHeight").toDouble()), expected[i][1]);
    }
    // 25 mm, as the list says.
    EXPECT_NEAR(prints.at(0).get("PaperInfoDictionaryKeyWidth").toDouble() / 0.0393700787, 25.0, 0.001);
}

TEST(PreferencesTest, MeasurementDefaultFollowsTheLocale)
{
    struct Case {
        const char* locale;
        long long inches;
    };
    for (const Case& c : {Case {"en_US", 1}, Case {"de_DE", 0}, Case {"en_GB", 0}}) {
        const Value table = Preferences::defaultsTable(QLocale(c.locale));
        EXPECT_EQ(table.get("Printing.kPrefKeyPrintingMeasurementInInchesPreferences"), Value(c.inches)) << c.locale;
    }
}

TEST(PreferencesTest, KeyPathsReachIntoTheGroupBeforeTheFirstDot)
{
    Fixture f;
    EXPECT_EQ(Preferences::pathForKey("BrowserPanel.Width"), "values.BrowserPanel.Width");
    EXPECT_EQ(Preferences::keyForPath("values.BrowserPanel.Width"), "BrowserPanel.Width");
    EXPECT_EQ(Preferences::keyForPath("other.BrowserPanel.Width"), "other.BrowserPanel.Width");

    EXPECT_EQ(f.preferences.valueForKeyPath("ThumbnailStyle.Size"), Value(120.0));
    EXPECT_TRUE(f.preferences.valueForKeyPath("NoSuchGroup.Size").isNull());
    // A path into a missing group writes nothing.
    f.preferences.setValueForKeyPath(Value(5LL), "NoSuchGroup.Size");
    EXPECT_TRUE(f.defaults.objectForKey("NoSuchGroup").isNull());
    f.preferences.setValueForKeyPath(Value(150.0), "ThumbnailStyle.Size");
    EXPECT_EQ(f.preferences.valueForKey("ThumbnailStyle.Size"), Value(150.0));
    EXPECT_EQ(f.preferences.valueForKey("ThumbnailStyle.Spacing"), Value(3.0)); // the rest of the group stays

    // Written through the controller, read by the typed accessors; a text number reads as its value.
    f.preferences.setValue(Value("300.000000"), "BrowserPanel.Width");
    EXPECT_EQ(f.preferences.integerForKey("BrowserPanel.Width"), 300);
}

TEST(PreferencesTest, DefaultOpenFolderFallsBackFromPicturesToHome)
{
    test::TemporaryFolder home;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    EXPECT_EQ(Preferences::defaultBrowserPanelSelectedLoaction(), home.path());
    std::filesystem::create_directory(home / "Pictures");
    EXPECT_EQ(Preferences::defaultBrowserPanelSelectedLoaction(), home / "Pictures");
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST(PreferencesTest, ItemsMasksFollowTheThreeSwitches)
{
    Fixture f;
    ItemsViewPreferences items;
    items.bindTo(f.preferences);
    struct Case {
        bool nonImages, folders, bundles;
        std::uint32_t itemsMask, foldersMask;
    };
    const Case cases[] = {
        {false, true, false, 601 + 4, 533}, {true, true, false, 537 + 4, 533}, {false, false, false, 601, 533},
        {true, false, false, 537, 533},     {false, true, true, 857 + 4, 789}, {true, false, true, 793, 789},
    };
    int posted = 0;
    NotificationCenter::defaultCenter().addObserver(&posted, [&](const Notification&) { ++posted; },
                                                    ItemsViewPreferencesItemsMaskChanged);
    for (const Case& c : cases) {
        f.preferences.setValue(Value(c.nonImages), "ItemsView.ShowNonImagesFiles");
        f.preferences.setValue(Value(c.folders), "ItemsView.ShowFolders");
        f.preferences.setValue(Value(c.bundles), "BrowserPanel.BrowseInsideBundles");
        EXPECT_EQ(items.itemsMask(), c.itemsMask) << c.nonImages << c.folders << c.bundles;
        EXPECT_EQ(items.foldersMask(), c.foldersMask);
    }
    // Turning folders on from the object: the mask grows by 4, the preference follows, one post.
    posted = 0;
    const std::uint32_t before = items.itemsMask();
    items.setShowFolders(true);
    EXPECT_EQ(items.itemsMask(), before + 4);
    EXPECT_EQ(posted, 1);
    EXPECT_TRUE(f.preferences.boolForKey("ItemsView.ShowFolders"));
    NotificationCenter::defaultCenter().removeObserver(&posted, {}, nullptr);
}

// Binding reads the stored switches without a change notice: the shared instance binds while it
// is being made, and a listener asking it for the masks then would wait on itself.
TEST(PreferencesTest, BindingReadsStoredSwitchesWithoutNotice)
{
    Fixture f;
    f.preferences.setValue(Value(true), "ItemsView.ShowNonImagesFiles");
    f.preferences.setValue(Value(false), "ItemsView.ShowFolders");
    int posted = 0;
    NotificationCenter::defaultCenter().addObserver(&posted, [&](const Notification&) { ++posted; },
                                                    ItemsViewPreferencesItemsMaskChanged);
    ItemsViewPreferences items;
    items.bindTo(f.preferences);
    EXPECT_TRUE(items.showUndecodableFiles());
    EXPECT_FALSE(items.showFolders());
    EXPECT_EQ(posted, 0);
    f.preferences.setValue(Value(false), "ItemsView.ShowNonImagesFiles");
    EXPECT_EQ(posted, 1);
    NotificationCenter::defaultCenter().removeObserver(&posted, {}, nullptr);
}

TEST(PreferencesTest, ChangesAreSavedAboutASecondLater)
{
    test::TemporaryFolder folder;
    UserDefaults defaults(folder / "prefs.plist");
    Preferences preferences(defaults);
    preferences.startSavingOnChanges(RunLoop::main());
    preferences.setValue(Value(444LL), "BrowserPanel.Width");
    EXPECT_TRUE(defaults.hasUnsavedChanges());
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(4);
    while (defaults.hasUnsavedChanges() && RunLoop::Clock::now() < deadline)
        RunLoop::main()->runUntil(RunLoop::Clock::now() + std::chrono::milliseconds(50));
    EXPECT_FALSE(defaults.hasUnsavedChanges());
    EXPECT_EQ(UserDefaults(folder / "prefs.plist").integerForKey("BrowserPanel.Width"), 444);
}

TEST(PreferencesTest, CameraSettingsReadBackFromTheirArchive)
{
    CameraDevicePreferences fresh = CameraDevicePreferences::cameraDevicePreferencesWithName(std::nullopt);
    EXPECT_EQ(fresh.name(), "");
    EXPECT_EQ(fresh.capacity(), -1);
    EXPECT_TRUE(fresh.isEnabled());

    CameraDevicePreferences camera = CameraDevicePreferences::cameraDevicePreferencesWithName("Pocket camera");
    camera.setCapacity(32000);
    camera.setEnabled(false);
    const Value archive = camera.archive();
    EXPECT_EQ(archive, Value::array({Value("Pocket camera"), Value(32000LL), Value(false)}));
    EXPECT_EQ(CameraDevicePreferences::fromArchive(archive), camera);
    const CameraDevicePreferences copy = camera;
    EXPECT_EQ(copy, camera);
    for (const Value& bad : {Value(), Value::array({Value("x"), Value(1LL)}), Value::array({Value(1LL), Value(1LL), Value(true)})})
        EXPECT_FALSE(CameraDevicePreferences::fromArchive(bad));
}
