#pragma once
// Two small modal dialogs around picture frames.
//
// SelectPhotoFrameDialog ("SelectPhotoFrame"): the picture frames connected now (the volume
// manager's mounted volumes that are frames, in its order, read afresh at every question so that
// mounts and unmounts show at once), one row each: a check box on the default frame's row
// (drawn bold) and the frame's name. Ticking a row's box (or double-clicking the row) makes its
// frame the default; unticking leaves none. OK is on while a row is selected.
//
// NewPictureFrameDialog ("NewPictureFrame"): a name for a new frame (at most 11 characters:
// letters, digits, the blank and printable ASCII punctuation except "/" and "\"), a diagonal
// from the device list and one of its resolutions.
//
// Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "ZovClass.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace vistel {

class TextFieldWithFilteredInput;
class XMLDocumentDL;

class SelectPhotoFrameDialog : public QDialog {
public:
    ZOV_ROOT_CLASS(SelectPhotoFrameDialog)

    static std::unique_ptr<SelectPhotoFrameDialog> selectPhotoFrameWithDefaultFrameID(std::optional<std::string> defaultFrameID);
    ~SelectPhotoFrameDialog() override;

    // 1 after OK, 0 after Cancel or closing the window.
    int run();
    // The device key of the selected row's frame; nil without a selected row or past the list.
    std::optional<std::string> selectedFrameID() const;
    bool isCurrentFrameSelected() const;
    // Whether the chosen frame is to be remembered as the default.
    bool setAsDefault() const { return isCurrentFrameSelected(); }
    const std::optional<std::string>& defaultFrameID() const { return defaultFrameID_; }
    // The frames connected now.
    static std::vector<Ref<ZovVolumeInfo>> photoFramesList();

    QTableWidget* table() const { return table_; }
    QPushButton* okButton() const { return okButton_; }
    // Sets the check box of a row as a click on it does; then the table is shown again.
    void setValue(bool on, int row);
    void reloadTable();

    using Responder = std::function<void(SelectPhotoFrameDialog&)>;
    static Responder setResponder(Responder responder);

private:
    explicit SelectPhotoFrameDialog(std::optional<std::string> defaultFrameID);
    void updateOK();

    QTableWidget* table_ = nullptr;
    QPushButton* okButton_ = nullptr;
    std::optional<std::string> defaultFrameID_;
    bool reloading_ = false;
};

class NewPictureFrameDialog : public QDialog {
public:
    ZOV_ROOT_CLASS(NewPictureFrameDialog)

    static std::unique_ptr<NewPictureFrameDialog> create(XMLDocumentDL* documentDL);
    ~NewPictureFrameDialog() override;

    int run();
    std::string pictureFrameName() const;
    void setPictureFrameName(const std::string& name);
    // The diagonal key of the selected diagonal item; nil without one.
    std::optional<std::string> getPictureFrameSize() const;
    // The selected resolution; nil without one.
    std::optional<ItemSize> getResolution() const;
    XMLDocumentDL* documentDL() const { return documentDL_; }
    void setDocumentDL(XMLDocumentDL* list) { documentDL_ = list; }
    // Nothing sets a volume up from this dialog.
    FileSystemItemMO* configuredVolume() const { return nullptr; }
    void loadResolutionsByFrameSize(const std::string& size);

    TextFieldWithFilteredInput* frameName() const { return frameName_; }
    QComboBox* pictureFrameSizeButton() const { return sizeButton_; }
    QComboBox* resolutionButton() const { return resolutionButton_; }
    QPushButton* okButton() const { return okButton_; }

    using Responder = std::function<void(NewPictureFrameDialog&)>;
    static Responder setResponder(Responder responder);

private:
    NewPictureFrameDialog();

    TextFieldWithFilteredInput* frameName_ = nullptr;
    QComboBox* sizeButton_ = nullptr;
    QComboBox* resolutionButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    XMLDocumentDL* documentDL_ = nullptr;
};

} // namespace vistel
