#pragma once
// ZovDeviceInfo: one place the catalogue shows as a volume: a mounted volume (ZovVolumeInfo)
// or an attached camera. Its facts are named parameters in one dictionary; a chosen list of
// them makes the device key, the text that names the same physical device across mounts and
// runs (the catalogue stores it as the uuid of the device's volume item).
//
// Made by the volume manager; the key is set once, at creation. Parameters may change later
// (picture-frame set-up on the main thread): every member may be called from any thread.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"
#include "ZovClass.h"

namespace vistel {

// Parameter names.
namespace DeviceParameter {
inline constexpr const char* VendorID = "ZovVendorIDParameter";
inline constexpr const char* ProductID = "ZovProductIDParameter";
inline constexpr const char* ModelVersion = "DeviceModelVersion";
inline constexpr const char* SerialNumber = "SerialNumber";
inline constexpr const char* Type = "DeviceType";
inline constexpr const char* DisplayName = "DeviceDisplayName";
inline constexpr const char* ModelName = "DeviceModelName";
inline constexpr const char* CategoryName = "DeviceCategoryName";
inline constexpr const char* HandledByUser = "DeviceHandledByUser";
inline constexpr const char* Writable = "Writable";
inline constexpr const char* Ejectable = "IsEjectable";
inline constexpr const char* Removable = "Removable";
inline constexpr const char* CanOpen = "CanOpen";
inline constexpr const char* Size = "size";
inline constexpr const char* PartitionID = "PartitionID";
inline constexpr const char* CreationTime = "creationTime";
inline constexpr const char* MediaType = "mediaType";
inline constexpr const char* UUID = "UUID";
inline constexpr const char* URL = "url";
inline constexpr const char* MountPoint = "mountPoint";
inline constexpr const char* FrameWidth = "ZovPictureFrameResolutionWidthParameter";
inline constexpr const char* FrameHeight = "ZovPictureFrameResolutionHeightParameter";
inline constexpr const char* FrameSize = "PictureFrameSize";
inline constexpr const char* DeviceUUID = "DeviceUUID";
} // namespace DeviceParameter

// Values of "DeviceType".
namespace DeviceType {
inline constexpr const char* CD = "CD";
inline constexpr const char* DVD = "DVD";
inline constexpr const char* USB = "USB";
inline constexpr const char* HD = "HD";
inline constexpr const char* Network = "Nework";
inline constexpr const char* ImageCapture = "kZVMDeviceTypeImageCapture";
} // namespace DeviceType

class ZovDeviceInfo : public Object {
    ZOV_ROOT_CLASS(ZovDeviceInfo)

    // The category names, translated once.
    static const std::string& generalUSBFileStorageCategory();
    static const std::string& pictureFrameCategory();
    static const std::string& sharedVolumeCategory();
    static const std::string& imageCapturingDeviceCategory();

    // Vendor and product: the value's description, "Unknown" for a null value.
    std::string vendorID() const;
    void setVendorID(const Value& vendor);
    std::string productID() const;
    void setProductID(const Value& product);
    // The model version (the getter keeps its historical name).
    std::string setDeviceModelVersion() const;
    void setDeviceModelVersion(const std::optional<std::string>& version);
    // "DeviceDisplayName", or the name when there is none.
    std::string displayName() const;
    void setDisplayName(const std::optional<std::string>& name);
    std::string deviceModel() const;
    void setDeviceModel(const std::optional<std::string>& model);
    std::optional<std::string> deviceCategory() const;
    virtual void setDeviceCategory(const std::optional<std::string>& category);
    bool deviceHandledByUser() const;
    void setDeviceHandledByUser(bool handled);

    bool isWritable() const { return flag(DeviceParameter::Writable); }
    bool isEjectable() const { return flag(DeviceParameter::Ejectable); }
    bool isRemovable() const { return flag(DeviceParameter::Removable); }
    bool canOpen() const { return flag(DeviceParameter::CanOpen); }
    std::string type() const;
    std::string deviceSerialNumber() const;

    const std::string& name() const { return name_; }
    const std::string& key() const { return key_; }
    const std::string& mountPoint() const { return mountPoint_; }
    virtual std::string relativePath() const { return mountPoint_; }
    virtual bool verifySynchronously() const { return true; }
    virtual std::uint64_t freeBytes() const { return 0; }
    // Same type and same key.
    virtual bool isEqual(const ZovDeviceInfo& other) const;

    // What may be done with the device's files.
    virtual bool isFileSystemObjectsCanBeDeleted() const { return isWritable(); }
    virtual bool isFileSystemObjectsCanBeUploaded() const { return isWritable(); }
    virtual bool isDeviceCanBeErased() const { return isWritable(); }
    virtual bool isDeviceCanCaptureNewImage() const { return false; }

    // A copy of the parameter dictionary.
    Value keyDictionary() const;
    // One parameter (null when absent).
    Value parameter(std::string_view name) const;

protected:
    ZovDeviceInfo() = default;

    // "name=value;" for each name of `names`, in order; a number is written as its text, a
    // missing parameter as "(null)".
    std::string generateDeviceKey(const std::vector<std::string>& names) const;
    // Raises "Invalid key" for an empty key.
    void setKey(std::string key);
    void setDeviceSerialNumber(const std::optional<std::string>& serial);
    void setType(std::string type);
    void setParameter(std::string name, Value value);
    void removeParameter(std::string_view name);
    void setName(std::string name) { name_ = std::move(name); }
    void setMountPoint(std::string mountPoint) { mountPoint_ = std::move(mountPoint); }

private:
    bool flag(std::string_view name) const;
    std::string text(std::string_view name) const;

    mutable std::mutex mutex_; // guards keyDict_
    Value keyDict_ = Value::dictionary();
    std::string name_;
    std::string key_;
    std::string mountPoint_;
};

} // namespace vistel
