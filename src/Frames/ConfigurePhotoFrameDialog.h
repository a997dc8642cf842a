#pragma once
// ConfigurePhotoFrameDialog: the modal dialog that sets a USB volume up as a picture frame, or
// changes a frame's settings: its name, its diagonal in inches and the resolution pictures sent
// to it are converted to (the one the device list recommends for the diagonal, another the list
// offers, or a custom one).
//
// Two forms, built in code by name: "ConfigurePhotoFrame" for a given volume, "NewPhotoFrame"
// without one, which adds a pop-up of the writable USB volumes that are not frames yet (the one
// selected in the browser preselected). OK is enabled while a volume is chosen, the name and
// diagonal are not empty and, for a custom resolution, both sides are above 0; a resolution
// outside 16…9999 is refused on OK with an alert, the dialog staying open.
//
// The dialog never holds the volume: on OK it looks the volume up by uuid and writes only to a
// volume that is still attached (marked handled by the user, diagonal, resolution, the "Picture
// Frame" category, which writes its identity file, and the name), then announces it to the
// catalogue as unmounted and mounted again. A volume that went away meanwhile gets nothing and
// the user is told. run() answers 1 only when a volume was set up.
//
// Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>

#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "ZovClass.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vistel {

class FrameDiagonalSizeFormatter;
class FrameResolutionFormatter;

// What the dialog asks of the browser's selection.
class PhotoFrameFolderSelection {
public:
    virtual bool isFolderSelected(const FileSystemItemMO* item) const = 0;

protected:
    ~PhotoFrameFolderSelection() = default;
};

class ConfigurePhotoFrameDialog : public QDialog {
public:
    ZOV_ROOT_CLASS(ConfigurePhotoFrameDialog)

    // The dialog for `volume` ("ConfigurePhotoFrame"), or for a volume to choose (null:
    // "NewPhotoFrame"). A read-only volume is refused with an alert: null.
    static std::unique_ptr<ConfigurePhotoFrameDialog> create(FileSystemVolumeMO* volume,
                                                             const PhotoFrameFolderSelection* selection);
    ~ConfigurePhotoFrameDialog() override;

    // Runs the dialog modally and applies it: 1 when a volume was set up, else 0.
    int run();
    // The volume the last OK set up, or null.
    FileSystemVolumeMO* configuredVolume() const { return configuredVolume_.get(); }
    // "USB Volume "…" no longer available."
    static void showNoDeviceAvailable(FileSystemVolumeMO* volume);

    std::string pictureFrameSize() const;
    std::string pictureFrameName() const;
    const std::optional<std::string>& volumeID() const { return currentVolumeUUID_; }
    // The chosen resolution: the recommended, the selected preset or the custom one.
    ItemSize resolution() const;
    static ItemSize stringToResoltion(const QString& text);
    static QString resolutionToString(ItemSize size);

    // Actions.
    void apply();
    void cancel();
    void selectOptionRecommended();
    void selectOptionPreset();
    void selectOptionCustom();
    void volumeSelected(int index);

    // The controls (null where the form has none).
    QComboBox* volumeName() const { return volumeName_; }
    QLineEdit* dispalyName() const { return dispalyName_; }
    QLineEdit* diagonalSize() const { return diagonalSize_; }
    QRadioButton* optionRecommended() const { return optionRecommended_; }
    QRadioButton* optionPresets() const { return optionPresets_; }
    QRadioButton* optionCustom() const { return optionCustom_; }
    QComboBox* presetsList() const { return presetsList_; }
    QLineEdit* preferredSize() const { return preferredSize_; }
    QLineEdit* customSize1() const { return customSize1_; }
    QLineEdit* customSize2() const { return customSize2_; }
    QLabel* xText() const { return xText_; }
    QPushButton* okButton() const { return okButton_; }

    // Scripted runs (tests): run() shows the dialog and calls the responder with it instead of
    // running a modal loop; the responder fills the fields and presses OK or Cancel.
    using Responder = std::function<void(ConfigurePhotoFrameDialog&)>;
    // An empty responder restores real runs; answers the previous one.
    static Responder setResponder(Responder responder);

private:
    explicit ConfigurePhotoFrameDialog(bool chooseVolume);
    void buildInterface(bool chooseVolume);
    void setCurrentVolume(const std::optional<std::string>& uuid);
    void applySelectedVolume();
    void applySelectedPhotoFrameDiaglonalSize();
    void checkOKButtonState();
    void chooseOption(QRadioButton* option);
    void writeSettings(FileSystemVolumeMO* volume);
    std::string translated(const char* text, const char* selector) const;

    QComboBox* volumeName_ = nullptr;
    QLineEdit* dispalyName_ = nullptr;
    QLineEdit* diagonalSize_ = nullptr;
    QButtonGroup* options_ = nullptr;
    QRadioButton* optionRecommended_ = nullptr;
    QRadioButton* optionPresets_ = nullptr;
    QRadioButton* optionCustom_ = nullptr;
    QComboBox* presetsList_ = nullptr;
    QLineEdit* preferredSize_ = nullptr;
    QLineEdit* customSize1_ = nullptr;
    QLineEdit* customSize2_ = nullptr;
    QLabel* xText_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    FrameDiagonalSizeFormatter* diagonalFormatter_ = nullptr;
    FrameResolutionFormatter* resolutionFormatter_ = nullptr;

    std::optional<std::string> currentVolumeUUID_;
    Ref<FileSystemVolumeMO> configuredVolume_;
    bool observing_ = false;
};

} // namespace vistel
