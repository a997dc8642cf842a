#pragma once
// MediaItemPropertiesPanel: a small side panel showing the properties of one selected folder or
// volume in rows of a label and its value: "Type:", "Name:", a frame's "Model:", a USB
// volume's "Device Type:" (general storage or picture frame) and a picture frame's "Size in
// inches:" and "Resolution:", whose choices come from the picture-frame device list.
//
// Showing writes nothing: a frame without a stored size shows the list's first size and its
// first resolution selected, and stores them only when the user picks. A user's choice of a
// size stores it with its first resolution and rewrites the frame's identity file; a choice of
// resolution stores it and rewrites the file; a choice of device type stores the category
// (entering or leaving the picture frames) and rebuilds the rows.
//
// No window shows the panel yet.
//
// Thread rules: main thread only.

#include <QWidget>

#include <string>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "ZovClass.h"

class QComboBox;
class QLabel;

namespace vistel {

class FileSystemVolumeMO;

class MediaItemPropertiesPanel : public QWidget {
public:
    ZOV_ROOT_CLASS(MediaItemPropertiesPanel)

    // Row metrics, in points (pixels at 72 dots per inch; the screen's resolution scales them).
    static constexpr int LabelWidth = 76;
    static constexpr int RowHeight = 16;
    static constexpr int PopupWidth = 160;

    // A new, empty panel (the caller, or the parent it is put into, owns it).
    static MediaItemPropertiesPanel* mediaItemPropertiesPanel();

    const ItemList& selectedFolders() const { return selectedFolders_; }
    // Shows the first of the folders: rows for exactly one, none for an empty list; several
    // leave the rows as they are.
    void setSelectedFolders(const ItemList& folders);
    void applySelectedFolders();
    void clearSubviews();

    // One element of a row, added to the panel at `bounds`.
    QLabel* initText(const std::string& text, const QRect& bounds);
    QComboBox* initPopup(const QRect& bounds);

    // The pop-ups of the frame rows and of the device type (null while not shown).
    QComboBox* sizesButton() const { return sizesButton_; }
    QComboBox* resolutionsButton() const { return resolutionsButton_; }
    QComboBox* deviceTypeButton() const { return deviceTypeButton_; }

    // Fills the resolutions pop-up with the resolutions the device list gives for the size.
    void loadResolutionsFromDeviceSize(const std::string& size);
    // Selects the first resolution entry of that size; NO when there is none.
    bool setSelectedResolution(ItemSize resolution);

    // The user's choices (the pop-ups' activations).
    void deviceTypeSelected(int index);
    void pictureFrameSizeSelected(int index);
    void pictureFrameResolutionSelected(int index);

private:
    MediaItemPropertiesPanel();
    void applyOneFolderItem(FileSystemItemMO* item);
    FileSystemVolumeMO* shownVolume() const;
    // The rectangle, in pixels, of an element of a row at `x` of `width` (points).
    QRect rowRect(int row, int x, int width, int height = RowHeight) const;
    int pixels(int points) const;

    ItemList selectedFolders_;
    QComboBox* resolutionsButton_ = nullptr;
    QComboBox* sizesButton_ = nullptr;
    QComboBox* deviceTypeButton_ = nullptr;
};

} // namespace vistel
