#pragma once
// FileSystemVolumeMO: the catalogue item of one volume or camera (entity Volume).
//
// What it is. Every volume and camera the catalogue has seen keeps one Volume item, whose
// uuid is the device key (ZovDeviceInfo::key), so the same stick or frame gets the same item
// back - with its ratings, tags and options - whenever it mounts again. Through the uuid the
// item finds the live device information in the volume manager and answers its name,
// writability, ejecting and free space from it; while the device is away those questions
// answer NO / 0 and the item answers from what is stored.
//
// Paths. A mounted volume's full path is its mount point ("/" for the root item,
// "/media/<user>/CARD" for a stick), so paths below it resolve from the item. A camera's item
// is named by its camera path ("ICA:/41"), which is its full path. A volume that is away has
// the stored path under the hidden "Volumes" folder, which exists nowhere on disk.
//
// Picture-frame options (model, frame size, resolution, category, handled by the user) are
// written to the device information (and so to the frame's identity file) while the frame
// is attached, and always to the attribute group "Picture Frame Options", from which the item
// answers while it is away.
//
// Thread rules: main thread only, like every item.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Volumes/ZovDeviceInfo.h"

namespace vistel {

class ZovVolumeInfo;

inline constexpr const char* kTagPictureFrameOptions = "Picture Frame Options";

class FileSystemVolumeMO : public FileSystemItemMO {
public:
    ZOV_CLASS(FileSystemVolumeMO, FileSystemItemMO)

    // The resolution a frame is treated as having when none is known.
    static constexpr ItemSize DefaultFrameResolution {1024, 768};

    static store::ObjectModel::Factory factory();

    // --- names and paths ------------------------------------------------------------------
    std::string relativePath() const override { return name(); }
    std::string fullPath() const override;
    std::string displayName() const override { return volumeName(); }
    // The device's display name while it is attached, else the stored name.
    std::string volumeName() const;
    bool isCamera() const;

    // --- the device (NO, 0 or nothing while it is away) -------------------------------------
    Ref<ZovDeviceInfo> getDeviceInfo() const;
    bool isWritable() override;
    bool canDeleteObjects() const;
    bool isVolumeEjectable() const;
    bool isVolumeRemovable() const;
    bool isVolumeCanOpen() const;
    std::uint64_t freeBytes() const;
    std::string deviceType() const;
    // NO on network volumes and cameras.
    bool supportsMoveToTrash() const;
    // Renames the volume: a picture frame gets the name in its identity file (the volume's
    // own label stays); a disk gets it as its file system's label through the disk service,
    // and the item takes it. A name the file system cannot take shows "The name "..." cannot
    // be used."; another failure the file-error alert. YES when renamed.
    bool setVolumeName(const std::string& newName);

    // --- options ------------------------------------------------------------------------------
    void setDeviceCategory(const std::optional<std::string>& category);
    std::optional<std::string> deviceCategory();
    void setDeviceHandledByUser(bool handled);
    bool deviceHandledByUser();
    // Copies a frame's options from its device information into the stored attributes; the
    // catalogue calls it when a known volume mounts again.
    void loadValuesFromVolumeInfo();

    // --- picture frames -----------------------------------------------------------------------
    bool isDPFDevice() const;
    // Writes the frame's identity file from its device information.
    void savePictureFrameOptions();
    void setPictureFrameModel(const std::string& model);
    std::string pictureFrameModel();
    void setPictureFrameSize(const std::optional<std::string>& size);
    std::string pictureFrameSize();
    // Stores nothing at all while the frame is away.
    void setPictureFrameResolution(ItemSize resolution);
    // The frame's resolution, else the stored one, else DefaultFrameResolution.
    ItemSize pictureFrameResolution();

protected:
    FileSystemVolumeMO() = default;

private:
    Ref<ZovVolumeInfo> volumeInfo() const;
};

// Whether the item lies on a volume set up as a picture frame.
inline bool isOnPictureFrame(FileSystemItemMO* item)
{
    auto* volume = item ? dynamic_cast<FileSystemVolumeMO*>(item->volumeItem()) : nullptr;
    return volume && volume->isDPFDevice();
}

} // namespace vistel
