#pragma once
// Preferences: the one way the program reads, writes and binds its settings.
//
// Every setting lives in UserDefaults::standard() under a dotted key ("ThumbnailStyle.Size").
// The first use of sharedPreferences() registers the defaults of every key (defaultsTable())
// before any caller gets the object. Writes go through the shared UserDefaultsController at
// "values.<key>", so that bound controls see them. The store keeps dotted keys as groups, so
// valueForKeyPath() reads the group named before the first dot and looks the rest up in it;
// valueForKey() answers the flat dotted key. Changes are saved about a second after they are
// made (a main-loop timer) and at quit (synchronize()).
//
// ItemsViewPreferences turns three settings into the item filter masks of folder listings and
// posts "ItemsViewPreferences_ItemsMask_Changed" when one of them changes.
//
// Thread rules: sharedPreferences() and reads from any thread (the defaults are thread-safe);
// bind() and the save timer on the main thread.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <QLocale>

#include "ZovClass.h"
#include "Platform/Gui/UserDefaultsController.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"
#include "Platform/Value.h"

namespace vistel {

namespace prefs {
inline constexpr const char* UpdateAutomatically = "UpdatePanel.AutomaticallyUpdate";
inline constexpr const char* LastAutomaticUpdateDate = "UpdatePanel.LastAutomaticallyUpdateDate";
inline constexpr const char* DefaultZoomMode = "ViewPanel.DefaultZoomMode";
inline constexpr const char* MakeCopyOnRotate = "BrowserPanel.MakeCopyOnRotate";
inline constexpr const char* ShowRotateAlert = "BrowserPanel.ShowRotateAlert";
inline constexpr const char* MeasurementInInches = "Printing.kPrefKeyPrintingMeasurementInInchesPreferences";
inline constexpr const char* DefaultPaperName = "Printing.kPrefKeyPrintingDefaultPaperNamePreferences";
inline constexpr const char* PrintingCrop = "Printing.kPrefKeyPrintingCropPreferences";
inline constexpr const char* PrintingAutorotate = "Printing.kPrefKeyPrintingAutorotatePreferences";
inline constexpr const char* PrintSizes = "Printing.kPrefKeyPrintingPrintSizesPreferences";
inline constexpr const char* DocumentSizes = "Printing.kPrefKeyPrintingDocumentSizesPreferences";
inline constexpr const char* DefaultPrintSize = "Printing.kPrefKeyPrintingDefaultPrintSizePreferences";
inline constexpr const char* DefaultLayoutName = "Printing.kPrefKeyPrintingDefaultLayoutNamePreferences";
inline constexpr const char* ShowNonImagesFiles = "ItemsView.ShowNonImagesFiles";
inline constexpr const char* BrowserPanelWidth = "BrowserPanel.Width";
inline constexpr const char* BrowseInsideBundles = "BrowserPanel.BrowseInsideBundles";
inline constexpr const char* ShowFolders = "ItemsView.ShowFolders";
inline constexpr const char* ShowConvertImagesAlert = "BrowserPanel.ShowConvertImagesAlert";
inline constexpr const char* ShowResetFrameAlert = "BrowserPanel.ShowResetFrameAlert";
inline constexpr const char* LoadLastLocation = "BrowserPanel.LoadLastLocation";
inline constexpr const char* DefaultOpenFolder = "BrowserPanel.DefaultOpenFolder";
inline constexpr const char* LaunchOnCameraConnection = "Camera.LaunchApplicationOnCameraConnection";
inline constexpr const char* CheckImageCapturePreferences = "Global.CheckImageCapturePreferences";
inline constexpr const char* DisabledCharacterPalette = "NSDisabledCharacterPaletteMenuItem";
inline constexpr const char* ItemsViewDefaultMode = "ItemsView.DefaultMode";
inline constexpr const char* MainWindowScreenNumber = "MainWindow.ScreenNumber";
inline constexpr const char* PlacesList = "BrowserPanel.PlacesList";
inline constexpr const char* CategoriesDoNotShowRemoveAlert = "Categories.DoNotShowRemoveAlert";
} // namespace prefs

// The built-in paper (document) and print size lists of the print window, as the paper
// dictionaries kept in the preferences: "PaperInfoDictionaryKeyWidth" / "...Height" (inches,
// 32-bit float values) and "PaperInfoDictionaryKeyName" (translated; empty for print sizes).
class PrintSizeLists {
public:
    ZOV_ROOT_CLASS(PrintWindow)
    static Value predefindedDocumentSizes();
    static Value predefindedPrintSizes();
};

class Preferences {
public:
    ZOV_ROOT_CLASS(Preferences)

    static Preferences& sharedPreferences();

    // "values." + key; keyForPath drops a leading "values." (other paths unchanged).
    static std::string pathForKey(std::string_view key);
    static std::string keyForPath(std::string_view path);

    // Every default, as registered. The measurement default follows `locale`'s measurement
    // system; the default open folder is defaultBrowserPanelSelectedLoaction() now.
    static Value defaultsTable(const QLocale& locale);

    // User folders (QStandardPaths); not created when missing.
    static std::string userPicturesFolderPath();
    static std::string userHomeFolderPath();
    static std::string userApplicationsFolderPath();
    static std::string userDocumentsFolderPath();
    static std::string userDesktopFolderPath();

    // The stored "BrowserPanel.DefaultOpenFolder", else the Pictures folder; the home folder
    // when that is not an existing folder.
    static std::string defaultBrowserPanelSelectedLoaction();

    explicit Preferences(UserDefaults& defaults);
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    UserDefaults& defaults() const { return defaults_; }
    UserDefaultsController& controller() { return controller_; }

    Value valueForKey(std::string_view key) const;
    void setValue(Value value, std::string_view key);
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    std::string stringForKey(std::string_view key) const;

    // The group before the first dot, then the rest inside it; no dot: the plain key.
    // A missing group answers null and writes nothing.
    Value valueForKeyPath(std::string_view keyPath) const;
    void setValueForKeyPath(Value value, std::string_view keyPath);

    void bind(BindableControl& control, std::string binding, std::string_view key, const Value& options = {});

    // Registers defaultsTable() for the system locale and sets the character-palette switch.
    void registerDefaults();

    // Saves about a second after each change while `loop` runs (main loop). Failed saves are
    // tried again after a minute.
    void startSavingOnChanges(RunLoop* loop);
    bool synchronize();

private:
    UserDefaults& defaults_;
    UserDefaultsController controller_;
    Ref<RunLoop::Timer> saveTimer_;
    RunLoop::TimePoint retryAfter_ {};
};

// A camera's stored settings: its name, the capacity it reported (-1 until known) and whether it
// is used. Kept as the array [name, capacity, enabled] (the fields in that order, no keys).
class CameraDevicePreferences {
public:
    static CameraDevicePreferences cameraDevicePreferencesWithName(const std::optional<std::string>& name);
    // Null when `archive` is not such an array.
    static std::optional<CameraDevicePreferences> fromArchive(const Value& archive);

    const std::string& name() const { return name_; }
    std::int64_t capacity() const { return capacity_; }
    void setCapacity(std::int64_t capacity) { capacity_ = capacity; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    Value archive() const;

    friend bool operator==(const CameraDevicePreferences&, const CameraDevicePreferences&) = default;

private:
    std::string name_;
    std::int64_t capacity_ = -1;
    bool enabled_ = true;
};

// The item filter masks of listings from three settings. Bit meanings are the catalogue's:
// 0x1 visible, 0x4 folders, 0x8 files, 0x10 valid, 0x40 decodable, 0x100 bundle folders,
// 0x200 plain folders.
inline constexpr const char* ItemsViewPreferencesItemsMaskChanged = "ItemsViewPreferences_ItemsMask_Changed";

class ItemsViewPreferences : public BindableControl {
public:
    // The shared instance, bound (continuously) to "ItemsView.ShowNonImagesFiles",
    // "ItemsView.ShowFolders" and "BrowserPanel.BrowseInsideBundles". Main thread.
    static ItemsViewPreferences& shared();
    static std::uint32_t getItemsMask() { return shared().itemsMask(); }
    static std::uint32_t getFoldersMask() { return shared().foldersMask(); }

    ItemsViewPreferences() = default;
    // Binds the three switches to the preferences of `preferences`.
    void bindTo(Preferences& preferences);

    std::uint32_t itemsMask() const;
    std::uint32_t foldersMask() const;

    bool showUndecodableFiles() const { return showUndecodableFiles_; }
    bool showFolders() const { return showFolders_; }
    bool showBundles() const { return showBundles_; }
    void setShowUndecodableFiles(bool value);
    void setShowFolders(bool value);
    void setShowBundles(bool value);

    Value bindingValue(std::string_view binding) const override;
    void setBindingValue(std::string_view binding, const Value& value) override;

private:
    bool* field(std::string_view binding);
    void set(std::string_view binding, bool value, bool fromBinding);

    bool showUndecodableFiles_ = false;
    bool showFolders_ = true;
    bool showBundles_ = false;
    // True while bindTo reads the stored values: no change notice goes out then, since a
    // listener would ask shared() for the masks while it is still being made.
    bool binding_ = false;
};

} // namespace vistel
