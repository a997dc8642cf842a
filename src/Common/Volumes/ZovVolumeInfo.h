#pragma once
// ZovVolumeInfo: one mounted volume: its name, mount point, reference number, the kind of
// device it lives on ("CD", "DVD", "USB", "HD" for local disks and local file systems without
// a device, "Nework" for network file systems), the facts of that device that make up its key,
// and, for a USB volume carrying the picture-frame identity file at its root, the frame's
// identity. Setting the category to or from "Picture Frame" writes or removes that file.
//
// The facts come from the mount table entry, udev (by device number), sysfs and the mount's
// flags (VolumeSources.h). Linux keeps no volume creation date: "creationTime", the first
// part of the key, holds the file system's UUID (with the mounted folder when only a part of
// the file system is mounted), or, for file systems without one (network, tmpfs, overlay,
// btrfs subvolumes), the mount source and the mount point. Stored keys depend on this recipe.
//
// Made by the volume manager on its thread (or on the thread that asks for a refresh); read
// from any thread; frame parameters are changed on the main thread. Free space and the
// availability check read the file system on a worker, so that a dead network share cannot
// hold the caller for more than two seconds.

#include <atomic>
#include <cstdint>
#include <memory>

#include "Common/FileSystem/MountTable.h"
#include "Common/Volumes/ZovDeviceInfo.h"

namespace vistel {

class ZovVolumeInfo : public ZovDeviceInfo {
    ZOV_CLASS(ZovVolumeInfo, ZovDeviceInfo)

    // The longest a file-system check waits for an answer.
    static constexpr double VerifyTimeoutSeconds = 2.0;

    // The information of the volume mounted as `mount`, under the reference number `refNum`.
    static Ref<ZovVolumeInfo> volumeInfoWithMount(const MountTableEntry& mount, std::int16_t refNum);

    std::int16_t refNum() const { return refNum_; }
    // The URL of a shared volume ("smb://server/share"); empty for other volumes.
    const std::string& url() const { return url_; }
    const MountTableEntry& mount() const { return mount_; }

    // The mount point without the folders volumes are mounted in: "/media/<user>/Card",
    // "/run/media/<user>/Card", "/media/Card", "/mnt/Card" are "Card"; "/" stays "/".
    std::string relativePath() const override;
    // Free bytes for an unprivileged user; the last known count when the file system does
    // not answer in time.
    std::uint64_t freeBytes() const override;
    // Whether the file system answers now (within VerifyTimeoutSeconds).
    bool verifySynchronously() const override;

    // Picture-frame parameters.
    Value pictureFrameWidth() const { return parameter(DeviceParameter::FrameWidth); }
    void setPictureFrameWidth(const Value& width) { setParameter(DeviceParameter::FrameWidth, width); }
    Value pictureFrameHeight() const { return parameter(DeviceParameter::FrameHeight); }
    void setPictureFrameHeight(const Value& height) { setParameter(DeviceParameter::FrameHeight, height); }
    // The diagonal as shown: "7", "7.5", "1,234".
    std::string pictureFrameSize() const;
    void setPictureFrameSize(const Value& size) { setParameter(DeviceParameter::FrameSize, size); }
    bool isPictureFrame() const;
    // "DeviceUUID", or the key when there is none.
    std::string deviceUUID() const;

    // Stores the category; leaving "Picture Frame" removes the identity file, entering (or
    // keeping) it writes the file.
    void setDeviceCategory(const std::optional<std::string>& category) override;
    // Writes the identity file: its save's answer (0, or 6 when nothing was written).
    std::int32_t saveDeviceParametersToXML() const;

    // The diagonal `value` as the frame-size text.
    static std::string frameSizeText(double value);

private:
    ZovVolumeInfo(const MountTableEntry& mount, std::int16_t refNum);

    void collectInformation();
    void collectNetwork();
    void collectOptical(const struct BlockDeviceFacts& facts);
    void collectUSB(const struct BlockDeviceFacts& facts);
    void collectLocalDisk(const struct BlockDeviceFacts& facts);
    void collectBlockDevice(const struct BlockDeviceFacts& facts, bool cdrom);
    void collectWithoutDevice();

    struct Probe;
    // The file system's statistics, read on a worker; false when it failed or took too long.
    bool probeFileSystem(std::uint64_t& freeBytes) const;

    MountTableEntry mount_;
    std::int16_t refNum_;
    std::string url_;
    std::string relativePath_;
    std::shared_ptr<Probe> probe_;
    mutable std::atomic<std::uint64_t> lastFreeBytes_ {0};
};

} // namespace vistel
