#include "Application/PreferencePanes.h"

#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "Common/Strings/NSStringApplicationInfoAddition.h"
#include "Platform/Bundle.h"
#include "Platform/Gui/BindableButtons.h"
#include "Platform/Gui/Slider.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

ManagePreferencePane::FolderChooser& folderChooser()
{
    static ManagePreferencePane::FolderChooser chooser;
    return chooser;
}

std::string resolvedName(const std::string& text)
{
    return NSStringApplicationInfoAddition::stringByResolvingInfoKey("CFBundleName", text).value_or(text);
}

// A check box bound to `key`, added to `layout`.
CheckBox* addCheckBox(QLayout* layout, const std::string& title, const char* key)
{
    auto* box = new CheckBox(QString::fromStdString(title));
    box->setObjectName(key);
    Preferences::sharedPreferences().bind(*box, NSValueBinding, key);
    layout->addWidget(box);
    return box;
}

} // namespace

// --- PreferencePane -----------------------------------------------------------------------------

PreferencePane::~PreferencePane()
{
    if (view_ && !view_->parent())
        delete view_;
}

QWidget* PreferencePane::makeView()
{
    view_ = new QWidget;
    view_->setObjectName(QString::fromStdString(paneKey()));
    return view_;
}

void PreferencePane::awakeFromNib()
{
    if (const char* name = iconName()) {
        const std::string path = Bundle::main()->pathForResource(name, "png", "images/GeneralPreferencePanes");
        if (!path.empty())
            icon_ = QIcon(QString::fromStdString(path));
    }
    view_->adjustSize();
}

// --- General ------------------------------------------------------------------------------------

MainPreferencePane::MainPreferencePane()
{
    auto* layout = new QVBoxLayout(makeView());
    addCheckBox(layout, resolvedName(ZOV_TRANSLATE("Open CFBundleName when a camera is connected", "awakeFromNib")),
                prefs::LaunchOnCameraConnection);
    addCheckBox(layout, ZOV_TRANSLATE("Ask before converting pictures", "awakeFromNib"), prefs::ShowConvertImagesAlert);
    addCheckBox(layout, ZOV_TRANSLATE("Ask before resetting a picture frame", "awakeFromNib"),
                prefs::ShowResetFrameAlert);
    addCheckBox(layout, ZOV_TRANSLATE("Keep the original when rotating a picture", "awakeFromNib"),
                prefs::MakeCopyOnRotate);
    layout->addStretch();
    awakeFromNib();
}

std::string MainPreferencePane::paneName() const { return ZOV_TRANSLATE("General", "paneName"); }
std::optional<std::string> MainPreferencePane::paneToolTip() const
{
    return ZOV_TRANSLATE("Tool tip for main preference pane", "paneToolTip");
}

// --- Manage -------------------------------------------------------------------------------------

ManagePreferencePane::ManagePreferencePane()
{
    auto* layout = new QVBoxLayout(makeView());
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QString::fromStdString(ZOV_TRANSLATE("Start folder:", "awakeFromNib"))));
    defaultOpenLocation_ = new QLabel(QString::fromStdString(Preferences::defaultBrowserPanelSelectedLoaction()));
    defaultOpenLocation_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    defaultOpenLocation_->setMinimumWidth(220);
    row->addWidget(defaultOpenLocation_, 1);
    auto* choose = new QPushButton(QString::fromStdString(ZOV_TRANSLATE("Choose…", "awakeFromNib")));
    QObject::connect(choose, &QPushButton::clicked, [this] { onChooseDefaultLocation(); });
    row->addWidget(choose);
    layout->addLayout(row);
    addCheckBox(layout, ZOV_TRANSLATE("Show files that are not pictures", "awakeFromNib"), prefs::ShowNonImagesFiles);
    addCheckBox(layout, ZOV_TRANSLATE("Show folders", "awakeFromNib"), prefs::ShowFolders);
    addCheckBox(layout, ZOV_TRANSLATE("Browse inside bundles", "awakeFromNib"), prefs::BrowseInsideBundles);
    layout->addStretch();
    awakeFromNib();
}

ManagePreferencePane::FolderChooser ManagePreferencePane::setFolderChooser(FolderChooser chooser)
{
    return std::exchange(folderChooser(), std::move(chooser));
}

void ManagePreferencePane::onChooseDefaultLocation()
{
    const std::string start = Preferences::defaultBrowserPanelSelectedLoaction();
    std::optional<std::string> chosen;
    if (folderChooser()) {
        chosen = folderChooser()(start);
    } else {
        const QString folder = QFileDialog::getExistingDirectory(
            paneView(), QString::fromStdString(ZOV_TRANSLATE("Choose…", "onChooseDefaultLocation:")),
            QString::fromStdString(start));
        if (!folder.isEmpty())
            chosen = QDir::cleanPath(folder).toStdString();
    }
    if (!chosen || chosen->empty())
        return;
    Preferences::sharedPreferences().setValue(Value(*chosen), prefs::DefaultOpenFolder);
    defaultOpenLocation_->setText(QString::fromStdString(*chosen));
}

std::string ManagePreferencePane::paneName() const { return ZOV_TRANSLATE("Manage", "paneName"); }
std::optional<std::string> ManagePreferencePane::paneToolTip() const
{
    return ZOV_TRANSLATE("Tool tip for manage pane", "paneToolTip");
}

// --- View ---------------------------------------------------------------------------------------

ViewerPreferencePane::ViewerPreferencePane()
{
    auto* layout = new QVBoxLayout(makeView());
    auto* sizes = new QFormLayout;
    auto addSlider = [&](const std::string& title, const char* key, double low, double high) {
        auto* slider = new Slider(Qt::Horizontal);
        slider->setObjectName(key);
        slider->setRange(low, high);
        slider->setNumberOfSteps(static_cast<int>(high - low));
        slider->setMinimumWidth(200);
        Preferences::sharedPreferences().bind(*slider, NSValueBinding, key);
        sizes->addRow(QString::fromStdString(title), slider);
    };
    addSlider(ZOV_TRANSLATE("Thumbnail size:", "awakeFromNib"), "ThumbnailStyle.Size", 32, 256);
    addSlider(ZOV_TRANSLATE("Spacing:", "awakeFromNib"), "ThumbnailStyle.Spacing", 0, 20);
    layout->addLayout(sizes);

    auto* columns = new QHBoxLayout;
    auto* style = new QGroupBox(QString::fromStdString(ZOV_TRANSLATE("Thumbnails", "awakeFromNib")));
    auto* styleLayout = new QVBoxLayout(style);
    addCheckBox(styleLayout, ZOV_TRANSLATE("Use thumbnails stored in the files", "awakeFromNib"),
                "ThumbnailStyle.UseEmbeddedThumbnails");
    addCheckBox(styleLayout, ZOV_TRANSLATE("Make high-quality thumbnails", "awakeFromNib"),
                "ThumbnailStyle.GenerateHighQualityThumbnails");
    addCheckBox(styleLayout, ZOV_TRANSLATE("High-quality scaling", "awakeFromNib"), "ThumbnailStyle.HighQualityScaling");
    addCheckBox(styleLayout, ZOV_TRANSLATE("Slide border", "awakeFromNib"), "ThumbnailStyle.ShowSlideBorder");
    addCheckBox(styleLayout, ZOV_TRANSLATE("Slide background", "awakeFromNib"), "ThumbnailStyle.ShowSlideBackground");
    addCheckBox(styleLayout, ZOV_TRANSLATE("Frame", "awakeFromNib"), "ThumbnailStyle.ShowFrame");
    addCheckBox(styleLayout, ZOV_TRANSLATE("Drop shadow", "awakeFromNib"), "ThumbnailStyle.ShowDropShadow");
    styleLayout->addStretch();
    auto* info = new QGroupBox(QString::fromStdString(ZOV_TRANSLATE("Thumbnail information", "awakeFromNib")));
    auto* infoLayout = new QVBoxLayout(info);
    addCheckBox(infoLayout, ZOV_TRANSLATE("File name", "awakeFromNib"), "ThumbnailInfo.Information.FileName");
    addCheckBox(infoLayout, ZOV_TRANSLATE("Locked", "awakeFromNib"), "ThumbnailInfo.Overlays.Locked");
    addCheckBox(infoLayout, ZOV_TRANSLATE("Tagged", "awakeFromNib"), "ThumbnailInfo.Overlays.Tagged");
    addCheckBox(infoLayout, ZOV_TRANSLATE("Rating", "awakeFromNib"), "ThumbnailInfo.Overlays.Rating");
    addCheckBox(infoLayout, ZOV_TRANSLATE("Categories", "awakeFromNib"), "ThumbnailInfo.Overlays.Category");
    addCheckBox(infoLayout, ZOV_TRANSLATE("File icon", "awakeFromNib"), "ThumbnailInfo.Overlays.Icon");
    addCheckBox(infoLayout, ZOV_TRANSLATE("Rotated automatically", "awakeFromNib"), "ThumbnailInfo.Overlays.AutoRotate");
    infoLayout->addStretch();
    columns->addWidget(style);
    columns->addWidget(info);
    layout->addLayout(columns);
    awakeFromNib();
}

std::string ViewerPreferencePane::paneName() const { return ZOV_TRANSLATE("View", "paneName"); }
std::optional<std::string> ViewerPreferencePane::paneToolTip() const
{
    return ZOV_TRANSLATE("Tool tip for view pane", "paneToolTip");
}

// --- Software Update ----------------------------------------------------------------------------

UpdatePreferencePane::UpdatePreferencePane()
{
    auto* layout = new QVBoxLayout(makeView());
    addCheckBox(layout, ZOV_TRANSLATE("Check for updates automatically", "awakeFromNib"), prefs::UpdateAutomatically);
    updateMessageTextField_ = new QLabel(QString::fromStdString(resolvedName(
        ZOV_TRANSLATE("When CFBundleName starts, it asks once a day whether a newer version is available.",
                      "awakeFromNib"))));
    updateMessageTextField_->setWordWrap(true);
    updateMessageTextField_->setMinimumWidth(320);
    layout->addWidget(updateMessageTextField_);
    layout->addStretch();
    awakeFromNib();
}

std::string UpdatePreferencePane::paneName() const { return ZOV_TRANSLATE("Software Update", "paneName"); }
std::optional<std::string> UpdatePreferencePane::paneToolTip() const
{
    return ZOV_TRANSLATE("Tool tip for software update preference pane", "paneToolTip");
}

// --- Print --------------------------------------------------------------------------------------

PrintPreferencePane::PrintPreferencePane()
{
    auto* layout = new QVBoxLayout(makeView());
    layout->addWidget(new QLabel(QString::fromStdString(ZOV_TRANSLATE("Measure print sizes in:", "awakeFromNib"))));
    auto* units = new RadioGroup;
    units->setObjectName(prefs::MeasurementInInches);
    units->addChoice(QString::fromStdString(ZOV_TRANSLATE("Inches", "awakeFromNib")), Value(true));
    units->addChoice(QString::fromStdString(ZOV_TRANSLATE("Centimetres", "awakeFromNib")), Value(false));
    Preferences::sharedPreferences().bind(*units, NSValueBinding, prefs::MeasurementInInches);
    layout->addWidget(units);
    layout->addStretch();
    awakeFromNib();
}

std::string PrintPreferencePane::paneName() const { return ZOV_TRANSLATE("Print", "paneName"); }
std::optional<std::string> PrintPreferencePane::paneToolTip() const
{
    return ZOV_TRANSLATE("Tool tip for print preference pane", "paneToolTip");
}

// --- the provider -------------------------------------------------------------------------------

const std::vector<PreferencePane*>& GeneralPreferencePanesController::preferencePanes()
{
    // Made once and kept to the end of the process (their views may sit in a window).
    static const std::vector<PreferencePane*>* panes = new std::vector<PreferencePane*>{
        new MainPreferencePane, new ManagePreferencePane, new ViewerPreferencePane, new UpdatePreferencePane,
        new PrintPreferencePane};
    return *panes;
}

} // namespace vistel
