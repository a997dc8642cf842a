#include "Preferences/Preferences.h"

#include <QStandardPaths>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UserDefaults.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr std::string_view ValuesPrefix = "values.";

Value paper(float width, float height, std::string name)
{
    return Value::dictionary({{"PaperInfoDictionaryKeyWidth", Value(static_cast<double>(width))},
                              {"PaperInfoDictionaryKeyHeight", Value(static_cast<double>(height))},
                              {"PaperInfoDictionaryKeyName", Value(std::move(name))}});
}

std::string standardFolder(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty()) {
        ZovLog("getApplicationSupportDirectory FSFindFolder can't get application support directory");
        return {};
    }
    return path.toStdString();
}

} // namespace

// --- the print window's size lists --------------------------------------------------------

Value PrintSizeLists::predefindedDocumentSizes()
{
    struct Size {
        const char* name;
        float width, height;
    };
    static const Size sizes[] = {
        {"A3", 11.7f, 16.5f},       {"A4", 8.3f, 11.7f},        {"A5", 5.8f, 8.3f},          {"A6", 4.1f, 5.8f},
        {"B3(ISO)", 13.9f, 19.7f},  {"B4(ISO)", 9.8f, 13.9f},   {"B5(ISO)", 6.9f, 9.8f},     {"B6(ISO)", 4.9f, 6.9f},
        {"B3(JIS)", 14.3f, 20.3f},  {"B4(JIS)", 10.1f, 14.3f},  {"B5(JIS)", 7.2f, 10.1f},    {"B6(JIS)", 5.0f, 7.2f},
        {"US Letter", 8.5f, 11.0f}, {"US Legal", 8.5f, 14.0f},  {"Ledger", 17.0f, 11.0f},    {"Tabloid", 11.0f, 17.0f},
    };
    Value list = Value::array();
    for (const Size& size : sizes)
        list.append(paper(size.width, size.height, ZOV_TRANSLATE_CLASS(size.name, "predefindedDocumentSizes")));
    return list;
}

Value PrintSizeLists::predefindedPrintSizes()
{
    static const float sizes[][2] = {{0.98425f, 0.98425f}, {3.46456f, 5.0f}, {3.97637f, 5.98424f},
                                     {5.0f, 6.96849f},     {10.0f, 7.99211f}, {11.7f, 16.5f}};
    Value list = Value::array();
    for (const auto& size : sizes)
        list.append(paper(size[0], size[1], ""));
    return list;
}

// --- Preferences --------------------------------------------------------------------------

Preferences& Preferences::sharedPreferences()
{
    static std::mutex lock;
    static Preferences* shared = nullptr;
    std::lock_guard guard(lock);
    if (!shared) {
        shared = new Preferences(UserDefaults::standard());
        shared->registerDefaults();
    }
    return *shared;
}

Preferences::Preferences(UserDefaults& defaults)
    : defaults_(defaults)
    , controller_(defaults)
{
}

Preferences::~Preferences()
{
    if (saveTimer_)
        saveTimer_->invalidate();
}

std::string Preferences::pathForKey(std::string_view key) { return std::string(ValuesPrefix) + std::string(key); }

std::string Preferences::keyForPath(std::string_view path)
{
    if (path.substr(0, ValuesPrefix.size()) == ValuesPrefix)
        path.remove_prefix(ValuesPrefix.size());
    return std::string(path);
}

std::string Preferences::userPicturesFolderPath() { return standardFolder(QStandardPaths::PicturesLocation); }
std::string Preferences::userHomeFolderPath() { return standardFolder(QStandardPaths::HomeLocation); }
std::string Preferences::userApplicationsFolderPath() { return standardFolder(QStandardPaths::ApplicationsLocation); }
std::string Preferences::userDocumentsFolderPath() { return standardFolder(QStandardPaths::DocumentsLocation); }
std::string Preferences::userDesktopFolderPath() { return standardFolder(QStandardPaths::DesktopLocation); }

std::string Preferences::defaultBrowserPanelSelectedLoaction()
{
    std::string folder = UserDefaults::standard().stringForKey(prefs::DefaultOpenFolder);
    if (folder.empty())
        folder = userPicturesFolderPath();
    bool isFolder = false;
    if (folder.empty() || !FileSystemFunctions::fileExistsAtPath(folder, &isFolder) || !isFolder)
        folder = userHomeFolderPath();
    return folder;
}

Value Preferences::defaultsTable(const QLocale& locale)
{
    const bool inches = locale.measurementSystem() == QLocale::ImperialUSSystem;
    return Value::dictionary({
        {prefs::UpdateAutomatically, Value(true)},
        {prefs::DefaultZoomMode, Value(0LL)},
        {prefs::MakeCopyOnRotate, Value(false)},
        {prefs::ShowRotateAlert, Value(true)},
        {prefs::MeasurementInInches, Value(inches ? 1LL : 0LL)},
        {prefs::DefaultPaperName, Value(std::string("A4"))},
        {prefs::PrintingCrop, Value(false)},
        {prefs::PrintingAutorotate, Value(false)},
        {prefs::PrintSizes, PrintSizeLists::predefindedPrintSizes()},
        {prefs::DocumentSizes, PrintSizeLists::predefindedDocumentSizes()},
        {prefs::ShowNonImagesFiles, Value(false)},
        {prefs::BrowserPanelWidth, Value(300LL)},
        {prefs::BrowseInsideBundles, Value(false)},
        {prefs::ShowFolders, Value(true)},
        {prefs::ShowConvertImagesAlert, Value(true)},
        {prefs::ShowResetFrameAlert, Value(true)},
        {prefs::LoadLastLocation, Value(true)},
        {prefs::DefaultOpenFolder, Value(defaultBrowserPanelSelectedLoaction())},
        {prefs::LaunchOnCameraConnection, Value(false)},
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
        {prefs::CheckImageCapturePreferences, Value(false)},
        {prefs::DisabledCharacterPalette, Value(true)},
        {prefs::CategoriesDoNotShowRemoveAlert, Value(false)},
    });
}

void Preferences::registerDefaults()
{
    defaults_.registerDefaults(defaultsTable(QLocale::system()));
    setValue(Value(true), prefs::DisabledCharacterPalette);
    defaults_.synchronize();
}

Value Preferences::valueForKey(std::string_view key) const { return defaults_.objectForKey(key); }

void Preferences::setValue(Value value, std::string_view key)
{
    controller_.setValueForKeyPath(std::move(value), pathForKey(key));
}

bool Preferences::boolForKey(std::string_view key) const { return defaults_.boolForKey(key); }
std::int64_t Preferences::integerForKey(std::string_view key) const { return defaults_.integerForKey(key); }
double Preferences::doubleForKey(std::string_view key) const { return defaults_.doubleForKey(key); }
std::string Preferences::stringForKey(std::string_view key) const { return defaults_.stringForKey(key); }

Value Preferences::valueForKeyPath(std::string_view keyPath) const
{
    const std::size_t dot = keyPath.find('.');
    if (dot == std::string_view::npos)
        return valueForKey(keyPath);
    Value group = defaults_.objectForKey(keyPath.substr(0, dot));
    if (!group.isDictionary())
        return {};
    return group.getPath(keyPath.substr(dot + 1));
}

void Preferences::setValueForKeyPath(Value value, std::string_view keyPath)
{
    const std::size_t dot = keyPath.find('.');
    if (dot == std::string_view::npos) {
        defaults_.setObject(std::move(value), keyPath);
        return;
    }
    if (!defaults_.objectForKey(keyPath.substr(0, dot)).isDictionary())
        return; // no group: nothing is written
    defaults_.setObject(std::move(value), keyPath);
}

void Preferences::bind(BindableControl& control, std::string binding, std::string_view key, const Value& options)
{
    controller_.bind(control, std::move(binding), pathForKey(key), options);
}

void Preferences::startSavingOnChanges(RunLoop* loop)
{
    if (saveTimer_)
        saveTimer_->invalidate();
    saveTimer_ = loop->scheduleTimer(1.0, true, [this](RunLoop::Timer&) {
        if (!defaults_.hasUnsavedChanges() || RunLoop::Clock::now() < retryAfter_)
            return;
        if (!defaults_.synchronize())
            retryAfter_ = RunLoop::Clock::now() + std::chrono::seconds(60);
    }, {NSRunLoopCommonModes});
}

bool Preferences::synchronize() { return defaults_.synchronize(); }

// --- CameraDevicePreferences ------------------------------------------------------------------

CameraDevicePreferences CameraDevicePreferences::cameraDevicePreferencesWithName(const std::optional<std::string>& name)
{
    CameraDevicePreferences preferences;
    preferences.name_ = name.value_or(std::string());
    return preferences;
}

std::optional<CameraDevicePreferences> CameraDevicePreferences::fromArchive(const Value& archive)
{
    if (!archive.isArray() || archive.size() != 3 || !archive.at(0).isString() || !archive.at(1).isNumber() ||
        !archive.at(2).isNumber())
        return std::nullopt;
    CameraDevicePreferences preferences = cameraDevicePreferencesWithName(archive.at(0).asString());
    preferences.capacity_ = archive.at(1).toInt64();
    preferences.enabled_ = archive.at(2).toBool();
    return preferences;
}

Value CameraDevicePreferences::archive() const
{
    return Value::array({Value(name_), Value(static_cast<long long>(capacity_)), Value(enabled_)});
}

// --- ItemsViewPreferences -----------------------------------------------------------------

ItemsViewPreferences& ItemsViewPreferences::shared()
{
    static ItemsViewPreferences* shared = [] {
        auto* instance = new ItemsViewPreferences;
        instance->bindTo(Preferences::sharedPreferences());
        return instance;
    }();
    return *shared;
}

void ItemsViewPreferences::bindTo(Preferences& preferences)
{
    const Value continuous = Value::dictionary({{NSContinuouslyUpdatesValueBindingOption, Value(true)}});
    binding_ = true;
    preferences.bind(*this, "showUndecodableFiles", prefs::ShowNonImagesFiles, continuous);
    preferences.bind(*this, "showFolders", prefs::ShowFolders, continuous);
    preferences.bind(*this, "showBundles", prefs::BrowseInsideBundles, continuous);
    binding_ = false;
}

std::uint32_t ItemsViewPreferences::itemsMask() const
{
    std::uint32_t mask = 0x219;
    if (!showUndecodableFiles_)
        mask |= 0x40;
    if (showBundles_)
        mask |= 0x100;
    if (showFolders_)
        mask |= 0x4;
    return mask;
}

std::uint32_t ItemsViewPreferences::foldersMask() const { return showBundles_ ? 0x315 : 0x215; }

bool* ItemsViewPreferences::field(std::string_view binding)
{
    if (binding == "showUndecodableFiles")
        return &showUndecodableFiles_;
    if (binding == "showFolders")
        return &showFolders_;
    if (binding == "showBundles")
        return &showBundles_;
    return nullptr;
}

Value ItemsViewPreferences::bindingValue(std::string_view binding) const
{
    bool* value = const_cast<ItemsViewPreferences*>(this)->field(binding);
    return value ? Value(*value) : Value();
}

void ItemsViewPreferences::setBindingValue(std::string_view binding, const Value& value)
{
    set(binding, value.toBool(), true);
}

void ItemsViewPreferences::set(std::string_view binding, bool value, bool fromBinding)
{
    bool* stored = field(binding);
    if (!stored || *stored == value)
        return;
    *stored = value;
    if (!fromBinding)
        bindingValueChanged(binding, true);
    if (!binding_)
        NotificationCenter::defaultCenter().postNotificationName(ItemsViewPreferencesItemsMaskChanged);
}

void ItemsViewPreferences::setShowUndecodableFiles(bool value) { set("showUndecodableFiles", value, false); }
void ItemsViewPreferences::setShowFolders(bool value) { set("showFolders", value, false); }
void ItemsViewPreferences::setShowBundles(bool value) { set("showBundles", value, false); }

} // namespace vistel
